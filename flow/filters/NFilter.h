// Linear filters of the flow on x-fastest containers: mask correlation along x, y or the
// channels with half-sample mirrored borders, running-mean box filters, and the recursive
// approximation of Gaussian smoothing. Defined for float in NFilter.cpp.
#ifndef MOTIONSEG_FLOW_FILTERS_NFILTER_H
#define MOTIONSEG_FLOW_FILTERS_NFILTER_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/filters/CFilter.h"

namespace flowthreads {
class Pool;
}

namespace NFilter {

// Mask correlation: dst(p) = Σ_i tap(i)·src(p + i − delta), accumulated in tap order. The
// position of the mask among the arguments selects the direction; the int arguments are
// placeholders (callers pass 1). dst must have exactly src's sizes (else the
// EFilterIncompatibleSize line is printed and thrown) and be another container than src.
// Borders mirror with the edge sample repeated: src(−1) = src(0), src(n) = src(n − 1). A
// mask that reaches further than one line length beyond a border keeps mirroring (the
// symmetric extension has period 2n), so no read ever leaves the line; a line of one sample
// reads only that sample.

/// Along x (every row).
template <typename T>
void filter(const CMatrix<T>& src, CMatrix<T>& dst, const CFilter<T>& mask, int);
/// Along y (every column).
template <typename T>
void filter(const CMatrix<T>& src, CMatrix<T>& dst, int, const CFilter<T>& mask);
/// The same two filters of one plane for some of its rows, for callers that keep a few rows
/// of a plane at a time: each row has the bits the whole filter gives it. filterRows filters
/// `lines` rows of xSize samples along x, from src and dst on. filterColumnsOfRows forms rows
/// y0 .. y1 − 1 of the filter along y of an xSize × ySize plane into dst (row y0 first) from
/// src, which holds the plane's rows from row `first` on (row y at src + (y − first)·xSize)
/// and must hold every row the mask reaches from them, mirrored at the plane's borders.
template <typename T>
void filterRows(const T* src, T* dst, int xSize, int lines, const CFilter<T>& mask);
template <typename T>
void filterColumnsOfRows(const T* src, int first, T* dst, int xSize, int ySize, int y0, int y1,
                         const CFilter<T>& mask);
/// Plane p of the filter along z of a tensor of n planes, with the bits filter(src, dst, 1, 1,
/// mask) gives it, for callers that keep the planes apart: plane q is read from planes[q].
/// Forms elements e0 .. e1 − 1 of the plane into dst + e0.
template <typename T>
void filterPlane(const T* const* planes, int n, T* dst, int e0, int e1, const CFilter<T>& mask,
                 int p);
/// Along x, every channel.
template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, const CFilter<T>& mask, int, int);
/// Along y, every channel.
template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, int, const CFilter<T>& mask, int);
/// Along z: across the channels of every pixel.
template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, int, int, const CFilter<T>& mask);

// Box filters: dst(p) = mean of src over [p − r, p + r] clipped to the line, r = size div 2
// after an even size is raised by one; the running sum is kept in single precision and the
// divisor is the number of samples inside the line. dst must have src's sizes and be
// another container; sizes that differ, or a negative box size, throw
// std::invalid_argument.

/// Along x, every row of every channel.
template <typename T>
void boxFilterX(const CTensor<T>& src, CTensor<T>& dst, int size);
/// Along y, every column of every channel.
template <typename T>
void boxFilterY(const CTensor<T>& src, CTensor<T>& dst, int size);

// Recursive smoothing in place: a causal plus an anticausal second-order recursion per line
// approximating Gaussian smoothing of standard deviation sigma, at a cost independent of
// sigma. Sigma 0 gives not-a-number samples; a negative sigma would amplify rather than
// smooth and throws std::invalid_argument. A line of one sample is left unchanged (both
// passes start with half the sample). Tensors are smoothed channel by channel.

template <typename T>
void recursiveSmoothX(CMatrix<T>& m, float sigma);
template <typename T>
void recursiveSmoothY(CMatrix<T>& m, float sigma);
template <typename T>
void recursiveSmoothX(CTensor<T>& t, float sigma);
template <typename T>
void recursiveSmoothY(CTensor<T>& t, float sigma);

// The same filters with their lines (rows, or columns for filters along y, or pixels for the
// filter across channels) shared among `threads` threads of `pool` (a null pool starts
// threads for the call): every sample is formed by the operations above in their order, so
// the result has the bits of the one-thread call for any thread count.

template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, const CFilter<T>& mask, int, int,
            flowthreads::Pool* pool, int threads);
template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, int, const CFilter<T>& mask, int,
            flowthreads::Pool* pool, int threads);
template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, int, int, const CFilter<T>& mask,
            flowthreads::Pool* pool, int threads);
template <typename T>
void boxFilterX(const CTensor<T>& src, CTensor<T>& dst, int size, flowthreads::Pool* pool,
                int threads);
template <typename T>
void boxFilterY(const CTensor<T>& src, CTensor<T>& dst, int size, flowthreads::Pool* pool,
                int threads);
template <typename T>
void recursiveSmoothX(CMatrix<T>& m, float sigma, flowthreads::Pool* pool, int threads);
template <typename T>
void recursiveSmoothY(CMatrix<T>& m, float sigma, flowthreads::Pool* pool, int threads);
template <typename T>
void recursiveSmoothX(CTensor<T>& t, float sigma, flowthreads::Pool* pool, int threads);
template <typename T>
void recursiveSmoothY(CTensor<T>& t, float sigma, flowthreads::Pool* pool, int threads);

}  // namespace NFilter

#endif  // MOTIONSEG_FLOW_FILTERS_NFILTER_H

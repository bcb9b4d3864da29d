// Resampling of float images between pyramid levels into a separate destination: the same
// values as copying the source and resizing the copy with its member function, without the
// copy. The destination keeps its array when that has room for the new size (fitSize), and
// the reductions take an optional scratch vector that keeps its memory from call to call, so
// that a pyramid's levels allocate nothing once their buffers have their largest size.
#ifndef MOTIONSEG_FLOW_FILTERS_RESAMPLING_H
#define MOTIONSEG_FLOW_FILTERS_RESAMPLING_H

#include "flow/containers/array_memory.h"
#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"

#include <vector>

namespace flowthreads {
class Pool;
}

namespace flowresample {

/// dst = src reduced to nx × ny by CTensor::downsample(nx, ny); dst must not be src.
void downsample(const CTensor<float>& src, int nx, int ny, CTensor<float>& dst,
                flowdetail::LargeVector<float>* scratch = nullptr);

/// dst = src reduced by CTensor::downsample(nx, ny, weights); dst must not be src.
void downsample(const CTensor<float>& src, int nx, int ny, const CTensor<float>& weights,
                CTensor<float>& dst, flowdetail::LargeVector<float>* scratch = nullptr);

/// dst = src reduced by CMatrix::downsample(nx, ny); dst must not be src.
void downsample(const CMatrix<float>& src, int nx, int ny, CMatrix<float>& dst,
                flowdetail::LargeVector<float>* scratch = nullptr);

/// dst = src reduced by CMatrix::downsample(nx, ny) with the x pass taking one row at a time,
/// as the reduction reads: the definition of the bits of the reductions, which take several
/// rows at a time.
void downsampleRowByRow(const CMatrix<float>& src, int nx, int ny, CMatrix<float>& dst);

/// dst = src resized by CTensor::upsampleBilinear(nx, ny); dst must not be src.
void upsampleBilinear(const CTensor<float>& src, int nx, int ny, CTensor<float>& dst);

/// The same resamplings with the rows of each pass shared among `threads` threads of `pool`
/// (a null pool starts threads for the call): every sample is summed in the order of the
/// one-thread call, so the bits do not depend on the threads.
void downsample(const CTensor<float>& src, int nx, int ny, CTensor<float>& dst,
                flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool, int threads);
void downsample(const CTensor<float>& src, int nx, int ny, const CTensor<float>& weights,
                CTensor<float>& dst, flowdetail::LargeVector<float>* scratch,
                flowthreads::Pool* pool, int threads);
void downsample(const CMatrix<float>& src, int nx, int ny, CMatrix<float>& dst,
                flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool, int threads);
void upsampleBilinear(const CTensor<float>& src, int nx, int ny, CTensor<float>& dst,
                      flowthreads::Pool* pool, int threads);

/// dst[i] = src[i] reduced by CTensor::downsample(nx, ny, weights) for i < count, the tensors
/// of one size and every dst[i] another tensor than every src[j] and than the weights, in
/// one pass over the weights: the positions, shares and weight sums formed once, each
/// tensor's sums in the order of its own reduction, so the bits of count calls of the
/// weighted downsample above.
void downsample(const CTensor<float>* const* src, CTensor<float>* const* dst, int count, int nx,
                int ny, const CTensor<float>& weights, flowdetail::LargeVector<float>* scratch,
                flowthreads::Pool* pool, int threads);

/// The pixels of positive weight of a tensor, row after row (the rows of plane z after those
/// of plane z − 1), each row's in increasing x: what a weighted reduction visits. Formed once
/// for weights reduced to many sizes (the matches' confidence, sparse, at every pyramid level)
/// so that each reduction passes over them alone instead of over every pixel.
struct PositivePixels {
  int xSize = 0, ySize = 0, zSize = 0;
  // Row r holds x[rowStart[r]] .. x[rowStart[r + 1] − 1].
  std::vector<int> rowStart, x;
};
PositivePixels positivePixels(const CTensor<float>& weights);

/// The weighted reduction above visiting the pixels `positive` lists, which must have been
/// formed from `weights` (std::invalid_argument for another size): the same bits.
void downsample(const CTensor<float>* const* src, CTensor<float>* const* dst, int count, int nx,
                int ny, const CTensor<float>& weights, const PositivePixels& positive,
                flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool, int threads);

}  // namespace flowresample

#endif  // MOTIONSEG_FLOW_FILTERS_RESAMPLING_H

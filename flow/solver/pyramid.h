// The level plan of the coarse-to-fine scheme and the per-level warp of the second image.
#ifndef MOTIONSEG_FLOW_SOLVER_PYRAMID_H
#define MOTIONSEG_FLOW_SOLVER_PYRAMID_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"

#include <vector>

namespace flowsolver {

/// The last full-resolution pass; the passes below level 0 run without matches.
constexpr int kFinalLevel = -5;

/// One level that the scheme processes: its number L (maxLevel down to kFinalLevel), its
/// exponent p = max(L, 0), its size and the size of the next coarser level p + 1.
struct PyramidLevel {
  int level, p, xSize, ySize, coarserXSize, coarserYSize;
};

/// ⌈η^p · size⌉, with η widened to double and the power, product and ceiling in double.
int levelSize(float eta, int p, int size);

/// trunc(ln(15 / min(xSize, ySize)) / ln η), at least 0; 15 / min side in single precision.
/// eta must lie strictly between 0 and 1.
int coarsestLevel(int xSize, int ySize, float eta);

/// The levels that are processed, in order; a level as large as the next coarser one is left
/// out.
std::vector<PyramidLevel> pyramidLevels(int xSize, int ySize, float eta);

/// The second image sampled bilinearly at x + flow, into `warped` (first's size). Where the
/// sample leaves the image, mask becomes 0 and the first image is copied, so the temporal
/// difference vanishes there; mask is left as it is elsewhere.
void warpSecondImage(const CTensor<float>& first, const CTensor<float>& second,
                     const CTensor<float>& flow, CTensor<float>& warped, CMatrix<float>& mask);

/// The same warp with the rows shared among `threads` threads (those of the pool when given).
void warpSecondImage(const CTensor<float>& first, const CTensor<float>& second,
                     const CTensor<float>& flow, CTensor<float>& warped, CMatrix<float>& mask,
                     int threads, flowthreads::Pool* pool = nullptr);

/// The warp of rows yBegin..yEnd − 1 alone; the sizes must already have been checked.
void warpRows(const CTensor<float>& first, const CTensor<float>& second, const CTensor<float>& flow,
              CTensor<float>& warped, CMatrix<float>& mask, int yBegin, int yEnd);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_PYRAMID_H

// The per-level warp of the second image by the current flow.
#ifndef MOTIONSEG_FLOW_SOLVER_WARP_H
#define MOTIONSEG_FLOW_SOLVER_WARP_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"

namespace flowsolver {

/// The second image sampled bilinearly at x + flow, into `warped` (first's size). Where the
/// sample leaves the image, mask becomes 0 and the first image is copied, so the temporal
/// difference vanishes there; mask is left as it is elsewhere. The rows are shared among
/// `threads` threads (those of the pool when given); every pixel depends on its own inputs
/// only, so the result does not depend on the count.
void warpSecondImage(const CTensor<float>& first, const CTensor<float>& second,
                     const CTensor<float>& flow, CTensor<float>& warped, CMatrix<float>& mask,
                     int threads = 1, flowthreads::Pool* pool = nullptr);

/// The warp of rows yBegin..yEnd − 1 alone; the sizes must already have been checked.
void warpRows(const CTensor<float>& first, const CTensor<float>& second, const CTensor<float>& flow,
              CTensor<float>& warped, CMatrix<float>& mask, int yBegin, int yEnd);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_WARP_H

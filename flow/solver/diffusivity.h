// The smoothness weights of a pyramid level: the straightforward loops and the fast ones.
#ifndef MOTIONSEG_FLOW_SOLVER_DIFFUSIVITY_H
#define MOTIONSEG_FLOW_SOLVER_DIFFUSIVITY_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"

namespace flowsolver {

/// COpticFlow::diffusivity as its steps read: per flow component the total, its derivatives
/// and the sums of the horizontal and the vertical pairs, then the extra term and Ψ′. The
/// flow, the increment and the extra matrix are only read.
void diffusivityReference(const CTensor<float>& flow, const CTensor<float>& increment,
                          CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                          const CMatrix<float>* extra, float extraWeight);

/// The planes the fast weights form first: both flow components' totals and each one's
/// derivative along y (for the horizontal pairs) and along x (for the vertical pairs).
enum SmoothnessPlane : int {
  kTotalU,
  kTotalV,
  kUAlongY,
  kUAlongX,
  kVAlongY,
  kVAlongX,
  kSmoothnessPlanes
};

/// diffusivityReference, bit for bit: the planes are formed first (the four filters shared
/// among the threads), then every weight is summed and turned into Ψ′ in one pass over rows
/// shared among `threads` threads. `scratch`, when given, holds kSmoothnessPlanes matrices
/// for the planes (resized as needed).
void diffusivity(const CTensor<float>& flow, const CTensor<float>& increment,
                 CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                 const CMatrix<float>* extra, float extraWeight, int threads,
                 flowthreads::Pool* pool = nullptr, CMatrix<float>* scratch = nullptr);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_DIFFUSIVITY_H

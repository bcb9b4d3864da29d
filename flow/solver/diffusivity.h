// The smoothness weights of the fast level solver.
#ifndef MOTIONSEG_FLOW_SOLVER_DIFFUSIVITY_H
#define MOTIONSEG_FLOW_SOLVER_DIFFUSIVITY_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"

namespace flowsolver {

/// COpticFlow::diffusivity, bit for bit: both flow components' totals and derivatives are
/// formed first (the four filters shared among the threads), then every weight is summed and
/// turned into Ψ′ in one pass over rows shared among `threads` threads. `scratch`, when given,
/// holds six matrices for the totals and derivatives (resized as needed).
void diffusivityFast(const CTensor<float>& flow, const CTensor<float>& increment,
                     CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                     const CMatrix<float>* extra, float extraWeight, int threads,
                     flowthreads::Pool* pool = nullptr, CMatrix<float>* scratch = nullptr);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_DIFFUSIVITY_H

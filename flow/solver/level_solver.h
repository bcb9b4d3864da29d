// The solver of one pyramid level and of the whole coarse-to-fine scheme: each as the
// straightforward steps (the oracle, `...Reference`) and as the fast ones (same bits).
#ifndef MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H
#define MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/solver/level_options.h"

namespace flowsolver {

/// COpticFlow::nonlinearIteration as its steps read, on one thread, with the straightforward
/// smoothness weights and SOR sweep. Only the flow is written.
void nonlinearIterationReference(const CTensor<float>& image1, const CTensor<float>& warpedImage2,
                                 const CMatrix<float>& mask, const CTensor<float>& matchU,
                                 const CTensor<float>& matchV,
                                 const CTensor<float>& matchConfidence, CTensor<float>& flow,
                                 const CMatrix<float>* extra, float alpha, float beta, float gamma,
                                 float extraWeight, int outer, int inner, float omega);

/// nonlinearIterationReference, bit for bit, computed as the options say: fused loops over
/// the level workspace, shared among threads, and the vector SOR sweep.
void nonlinearIteration(const CTensor<float>& image1, const CTensor<float>& warpedImage2,
                        const CMatrix<float>& mask, const CTensor<float>& matchU,
                        const CTensor<float>& matchV, const CTensor<float>& matchConfidence,
                        CTensor<float>& flow, const CMatrix<float>* extra, float alpha, float beta,
                        float gamma, float extraWeight, int outer, int inner, float omega,
                        const LevelOptions& options);

/// COpticFlow::warpingGeometric as its steps read: fresh copies of the full-resolution inputs
/// reduced on every level by the containers' member functions, and nonlinearIterationReference.
/// The images are only read (with sigma > 0 they are smoothed in copies).
void warpingGeometricReference(const CTensor<float>& image1, const CTensor<float>& image2,
                               CTensor<float>& flow, const CTensor<float>& matchU,
                               const CTensor<float>& matchV, const CTensor<float>& matchConfidence,
                               const CMatrix<float>* extra, float sigma, float alpha, float beta,
                               float gamma, float extraWeight, float eta, int outer, int inner,
                               float omega);

/// warpingGeometricReference, bit for bit, computed as the options say: every buffer planned
/// for the largest level once, the reductions straight from full resolution into them, and
/// nonlinearIteration on every level.
void warpingGeometric(const CTensor<float>& image1, const CTensor<float>& image2,
                      CTensor<float>& flow, const CTensor<float>& matchU,
                      const CTensor<float>& matchV, const CTensor<float>& matchConfidence,
                      const CMatrix<float>* extra, float sigma, float alpha, float beta,
                      float gamma, float extraWeight, float eta, int outer, int inner, float omega,
                      const LevelOptions& options);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H

// The solver of one pyramid level and of the whole coarse-to-fine scheme, computed as the
// level options say.
#ifndef MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H
#define MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/solver/level_options.h"

namespace flowsolver {

/// COpticFlow::nonlinearIteration with a chosen sweep; Fast also selects the fast set-up on
/// flowthreads::threadCount() threads, Reference the straightforward one. Tests compare the
/// two.
void nonlinearIteration(CTensor<float>& image1, CTensor<float>& warpedImage2, CMatrix<float>& mask,
                        CTensor<float>& matchU, CTensor<float>& matchV,
                        CTensor<float>& matchConfidence, CTensor<float>& flow,
                        CMatrix<float>* extra, float alpha, float beta, float gamma,
                        float extraWeight, int outer, int inner, float omega, SweepKind sweep);

/// COpticFlow::nonlinearIteration computed as the options say.
void nonlinearIteration(const CTensor<float>& image1, const CTensor<float>& warpedImage2,
                        const CMatrix<float>& mask, const CTensor<float>& matchU,
                        const CTensor<float>& matchV, const CTensor<float>& matchConfidence,
                        CTensor<float>& flow, const CMatrix<float>* extra, float alpha, float beta,
                        float gamma, float extraWeight, int outer, int inner, float omega,
                        const LevelOptions& options);

/// COpticFlow::warpingGeometric with every level computed as the options say. The images are
/// only read (with sigma > 0 they are smoothed in copies, as the member function smooths its
/// own copies).
void warpingGeometric(const CTensor<float>& image1, const CTensor<float>& image2,
                      CTensor<float>& flow, CTensor<float>& matchU, CTensor<float>& matchV,
                      CTensor<float>& matchConfidence, CMatrix<float>* extra, float sigma,
                      float alpha, float beta, float gamma, float extraWeight, float eta, int outer,
                      int inner, float omega, const LevelOptions& options);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H

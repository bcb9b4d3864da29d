// The solver of one pyramid level and of the whole coarse-to-fine scheme, with a choice
// between the straightforward steps and the fast ones (same bits), the thread count and the
// worker threads they run on.
#ifndef MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H
#define MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"

#include <functional>

namespace flowsolver {

/// Which sweep a pyramid level runs.
enum class SweepKind { Reference, Fast };

/// How a pyramid level is computed. Every combination gives the same bits.
struct LevelOptions {
  /// The SOR sweep.
  SweepKind sweep = SweepKind::Fast;
  /// The per-pixel set-up of the level (motion tensors, smoothness, robust and match
  /// weights) and the resampling around it: Reference runs the loops as the steps read them,
  /// Fast runs fused loops over rows shared among `threads` threads.
  SweepKind setup = SweepKind::Fast;
  int threads = 1;
  /// A level of fewer than threads × minPixelsPerThread pixels runs on fewer threads, at
  /// least one: starting a thread costs more than a small level's loops.
  int minPixelsPerThread = 1 << 14;
  /// Worker threads to run the parallel steps on (when null, threads are started per step).
  flowthreads::Pool* pool = nullptr;
  /// Called on the calling thread before every pyramid level when set; what it throws ends
  /// the computation.
  std::function<void()> checkpoint;
};

/// COpticFlow::diffusivity, bit for bit: both flow components' totals and derivatives are
/// formed first (the four filters shared among the threads), then every weight is summed and
/// turned into Ψ′ in one pass over rows shared among `threads` threads.
void diffusivityFast(const CTensor<float>& flow, const CTensor<float>& increment,
                     CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                     const CMatrix<float>* extra, float extraWeight, int threads,
                     flowthreads::Pool* pool = nullptr);

/// The threads for `pixels` pixels of work: options.threads, fewer for small work, at least 1.
int levelThreads(const LevelOptions& options, int pixels);

/// The options the solver runs with: everything fast, on flowthreads::threadCount() threads.
LevelOptions defaultLevelOptions();

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

/// COpticFlow::warpingGeometric with every level computed as the options say.
void warpingGeometric(CTensor<float> image1, CTensor<float> image2, CTensor<float>& flow,
                      CTensor<float>& matchU, CTensor<float>& matchV,
                      CTensor<float>& matchConfidence, CMatrix<float>* extra, float sigma,
                      float alpha, float beta, float gamma, float extraWeight, float eta, int outer,
                      int inner, float omega, const LevelOptions& options);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H

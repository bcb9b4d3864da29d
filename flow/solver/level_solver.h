// The solver of one pyramid level and of the whole coarse-to-fine scheme, with a choice
// between the straightforward steps and the fast ones (same bits), the thread count and the
// worker threads they run on.
#ifndef MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H
#define MOTIONSEG_FLOW_SOLVER_LEVEL_SOLVER_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"
#include "flow/solver/sor_sweep.h"

#include <chrono>
#include <functional>
#include <vector>

namespace flowsolver {

/// Seconds spent in the solver's stages, summed over every level (for benchmarks).
struct StageTimes {
  double resample = 0;  // reductions of images and matches, and the flow carried up
  double warp = 0;      // the second image warped by the current flow
  double tensors = 0;   // derivatives and motion tensors (the level's set-up)
  double weights = 0;   // smoothness, robust and match weights of every fixed-point iteration
  double sor = 0;       // the SOR sweeps
};

/// Adds the seconds from its construction to its destruction to a stage time (nothing when
/// the time is null).
class StageClock {
 public:
  explicit StageClock(double* total)
      : total_(total), start_(total != nullptr ? Clock::now() : Clock::time_point()) {}
  ~StageClock() { stop(); }
  /// Adds the time so far and stops counting.
  void stop() {
    if (total_ != nullptr) *total_ += std::chrono::duration<double>(Clock::now() - start_).count();
    total_ = nullptr;
  }
  StageClock(const StageClock&) = delete;
  StageClock& operator=(const StageClock&) = delete;

 private:
  using Clock = std::chrono::steady_clock;
  double* total_;
  Clock::time_point start_;
};

/// Buffers of the fast level solver kept from one fixed-point iteration and one pyramid level
/// to the next. Each takes the level's size within the room it has (fitSize), so that once
/// reserve() has made room for the largest level no level allocates (and faults in) memory.
struct LevelWorkspace {
  CTensor<float> brightness, gradient, increment;
  /// The set-up's image, temporal difference and seven derivatives, then (from the first
  /// fixed-point iteration on) the smoothness weights' totals and derivatives.
  CMatrix<float> planes[9];
  CMatrix<float> horizontal, vertical;
  flowdetail::LargeVector<float> weights;
  SorScratch sor;

  /// Room for levels of up to `pixels` pixels.
  void reserve(int pixels);
};

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
  /// Buffers the fast set-up reuses (when null, each level allocates its own).
  LevelWorkspace* workspace = nullptr;
  /// When set, the seconds of each stage are added here.
  StageTimes* times = nullptr;
  /// Whether the SOR sweeps are shared by two threads of the pool when the level has two or
  /// more (same bits). The two follow each other some bands apart and meet only where one
  /// catches up; a waiting thread sleeps after a short spin, so a machine with more runnable
  /// threads than cores does not make it collapse.
  bool sorOnTwoThreads = true;
};

/// COpticFlow::diffusivity, bit for bit: both flow components' totals and derivatives are
/// formed first (the four filters shared among the threads), then every weight is summed and
/// turned into Ψ′ in one pass over rows shared among `threads` threads. `scratch`, when given,
/// holds six matrices for the totals and derivatives (resized as needed).
void diffusivityFast(const CTensor<float>& flow, const CTensor<float>& increment,
                     CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                     const CMatrix<float>* extra, float extraWeight, int threads,
                     flowthreads::Pool* pool = nullptr, CMatrix<float>* scratch = nullptr);

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

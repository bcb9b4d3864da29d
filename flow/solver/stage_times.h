// The seconds the solver spends in each of its stages, for the benchmarks.
#ifndef MOTIONSEG_FLOW_SOLVER_STAGE_TIMES_H
#define MOTIONSEG_FLOW_SOLVER_STAGE_TIMES_H

#include <chrono>

namespace flowsolver {

/// Seconds spent in the solver's stages, summed over every level (for benchmarks).
struct StageTimes {
  double resample = 0;  // reductions of images and matches, and the flow carried up
  double warp = 0;      // the second image warped by the current flow
  double tensors = 0;   // derivatives and motion tensors (the level's set-up)
  double weights = 0;   // smoothness weights of every fixed-point iteration
  double sor = 0;       // the SOR sweeps, with the robust and match weights they form
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

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_STAGE_TIMES_H

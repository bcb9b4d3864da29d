// How the fast solver computes a pyramid level: the thread count and the worker threads it
// runs on, the buffers it keeps, the stage times it reports.
#ifndef MOTIONSEG_FLOW_SOLVER_LEVEL_OPTIONS_H
#define MOTIONSEG_FLOW_SOLVER_LEVEL_OPTIONS_H

#include "flow/parallel/thread_pool.h"
#include "flow/solver/level_workspace.h"
#include "flow/solver/stage_times.h"

#include <functional>

namespace flowsolver {

/// How the fast solver computes a pyramid level (fused loops over rows shared among `threads`
/// threads). Every combination gives the bits of the straightforward solver.
struct LevelOptions {
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

/// The threads for `pixels` pixels of work: options.threads, fewer for small work, at least 1.
int levelThreads(const LevelOptions& options, int pixels);

/// The options the solver runs with: everything fast, on flowthreads::threadCount() threads.
LevelOptions defaultLevelOptions();

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_LEVEL_OPTIONS_H

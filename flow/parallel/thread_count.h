// The number of worker threads of the flow's parallel stages: from OMP_NUM_THREADS, else the
// number of cores.
#ifndef MOTIONSEG_FLOW_PARALLEL_THREAD_COUNT_H
#define MOTIONSEG_FLOW_PARALLEL_THREAD_COUNT_H

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace flowthreads {

/// The largest thread count taken from the environment or the core count.
constexpr int kMaxThreads = 1024;

/// Thread count from an OMP_NUM_THREADS value (its leading positive number; a list such as
/// "4,2" gives 4), else `cores` (at least 1). Values beyond 1024 are taken as 1024.
inline int threadCount(const char* ompNumThreads, unsigned cores) {
  if (ompNumThreads != nullptr) {
    const char* p = ompNumThreads;
    while (*p == ' ' || *p == '\t')
      ++p;
    long value = 0;
    bool digits = false;
    while (*p >= '0' && *p <= '9') {
      digits = true;
      value = std::min<long>(value * 10 + (*p - '0'), kMaxThreads);
      ++p;
    }
    if (digits && value > 0) return static_cast<int>(value);
  }
  if (cores == 0) return 1;
  return static_cast<int>(std::min<unsigned>(cores, kMaxThreads));
}

/// Thread count of this process: OMP_NUM_THREADS when set to a positive number, else the
/// number of cores the standard library reports.
inline int threadCount() {
  return threadCount(std::getenv("OMP_NUM_THREADS"), std::thread::hardware_concurrency());
}

}  // namespace flowthreads

#endif  // MOTIONSEG_FLOW_PARALLEL_THREAD_COUNT_H

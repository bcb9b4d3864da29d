// The number of threads of this process, read from /proc (Linux), for tests that check that
// no thread outlives a call.
#ifndef MOTIONSEG_TESTS_FLOW_PARALLEL_THREAD_CENSUS_H
#define MOTIONSEG_TESTS_FLOW_PARALLEL_THREAD_CENSUS_H

#include <chrono>
#include <filesystem>
#include <thread>

namespace flowtest {

/// Threads of this process, or -1 when /proc cannot be read.
inline int threadsOfThisProcess() {
  std::error_code error;
  int count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
       it.increment(error))
    ++count;
  return error ? -1 : count;
}

/// Threads of this process once it has `expected` or after a second, whichever comes first: a
/// joined thread may still be listed for a moment after the join returned.
inline int threadsSettlingAt(int expected) {
  int now = threadsOfThisProcess();
  for (int i = 0; i < 100 && now != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    now = threadsOfThisProcess();
  }
  return now;
}

}  // namespace flowtest

#endif  // MOTIONSEG_TESTS_FLOW_PARALLEL_THREAD_CENSUS_H

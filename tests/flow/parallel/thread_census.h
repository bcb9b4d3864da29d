// The number of threads of this process, read from /proc (Linux) or from a snapshot of the
// system's threads (Windows), for tests that check that no thread outlives a call.
#ifndef MOTIONSEG_TESTS_FLOW_PARALLEL_THREAD_CENSUS_H
#define MOTIONSEG_TESTS_FLOW_PARALLEL_THREAD_CENSUS_H

#include <chrono>
#include <filesystem>
#include <thread>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <tlhelp32.h>
#endif

namespace flowtest {

/// Threads of this process, or -1 when they cannot be counted.
inline int threadsOfThisProcess() {
#if defined(_WIN32)
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  const DWORD self = GetCurrentProcessId();
  int count = 0;
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  CloseHandle(snapshot);
  return count;
#else
  std::error_code error;
  int count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
       it.increment(error))
    ++count;
  return error ? -1 : count;
#endif
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

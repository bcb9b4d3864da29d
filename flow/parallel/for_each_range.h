// The split of a range of independent work items (rows, planes) over a number of threads, on
// threads started for the call or on the workers of a Pool.
#ifndef MOTIONSEG_FLOW_PARALLEL_FOR_EACH_RANGE_H
#define MOTIONSEG_FLOW_PARALLEL_FOR_EACH_RANGE_H

#include "flow/parallel/thread_pool.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace flowthreads {

/// Calls work(begin, end) on consecutive pieces that cover [0, count) once, on at most
/// `threads` threads (the calling thread takes the first piece; 1 or less: the calling thread
/// alone). The pieces must be independent: no piece may write what another reads or writes.
/// Every thread is joined before this returns; the first exception of any piece is rethrown
/// on the calling thread. When no further thread can be started, the calling thread does the
/// remaining pieces itself.
template <typename Work>
void forEachRange(int count, int threads, Work&& work) {
  if (count <= 0) return;
  const int pieces = std::max(1, std::min(threads, count));
  if (pieces == 1) {
    work(0, count);
    return;
  }
  auto begin = [&](int piece) {
    return static_cast<int>(static_cast<long long>(count) * piece / pieces);
  };
  std::vector<std::exception_ptr> failures(pieces);
  auto run = [&](int piece) {
    try {
      work(begin(piece), begin(piece + 1));
    } catch (...) {
      failures[piece] = std::current_exception();
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(pieces - 1);
  int started = 1;
  try {
    for (; started < pieces; ++started)
      pool.emplace_back(run, started);
  } catch (const std::system_error&) {
    // No more threads: the pieces not handed out are done here.
  }
  run(0);
  for (int piece = started; piece < pieces; ++piece)
    run(piece);
  for (std::thread& t : pool)
    t.join();
  for (const std::exception_ptr& f : failures) {
    if (f) std::rethrow_exception(f);
  }
}

/// The same split with the pieces run by the pool's threads (the calling thread included)
/// when a pool is given, else as above. The pieces and their bounds are those of the
/// version above, so a result that depends only on them is the same either way.
template <typename Work>
void forEachRange(Pool* pool, int count, int threads, Work&& work) {
  if (pool == nullptr) {
    forEachRange(count, threads, std::forward<Work>(work));
    return;
  }
  if (count <= 0) return;
  const int pieces = std::max(1, std::min(std::min(threads, pool->threads()), count));
  if (pieces == 1) {
    work(0, count);
    return;
  }
  auto begin = [&](int piece) {
    return static_cast<int>(static_cast<long long>(count) * piece / pieces);
  };
  pool->run(pieces, [&](int piece) { work(begin(piece), begin(piece + 1)); });
}

}  // namespace flowthreads

#endif  // MOTIONSEG_FLOW_PARALLEL_FOR_EACH_RANGE_H

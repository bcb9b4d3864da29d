// The order of the vector SOR sweep's pairs (band, sweep) on one or more threads.
#include "flow/solver/band_pipeline.h"

#include "flow/parallel/spin_pause.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace flowsolver {

using flowthreads::spinPause;

int BandPipeline::smallestRing(int bands, int sweeps) {
  return static_cast<int>(std::min<long long>(bands, 2LL * sweeps));
}

BandPipeline::BandPipeline(int bands, int sweeps, int ringBlocks, int threads)
    : bands_(bands),
      sweeps_(sweeps),
      ringBlocks_(ringBlocks),
      threads_(std::max(1, threads)),
      stages_(bands + 2 * (sweeps - 1)),
      // The last band that may be laid out before any band is swept for the last time.
      ringAfter_(ringBlocks < bands ? ringBlocks - 1 : bands),
      lowest_{0, sweeps / 2, 0},
      highest_{sweeps / 2 - 1, sweeps - 1, sweeps - 1},
      progress_(new std::atomic<int>[static_cast<std::size_t>(std::max(bands, 1))]) {
  // In stage order a band is in use from stage b to stage b + 2(sweeps − 1), and its upper
  // neighbour one stage longer: a smaller ring would make the earliest pair wait for a later
  // one, and the threads wait for ever.
  if (ringBlocks < smallestRing(bands, sweeps)) {
    throw std::logic_error("BandPipeline: a ring of " + std::to_string(ringBlocks) +
                           " blocks cannot hold the bands of " + std::to_string(sweeps) +
                           " sweeps");
  }
  for (int b = 0; b < bands; ++b)
    progress_[b].store(0, std::memory_order_relaxed);
  for (std::atomic<int>& t : taken_)
    t.store(0, std::memory_order_relaxed);
}

BandPipeline::~BandPipeline() = default;

void BandPipeline::expectLayout(int bands, int ringBlocks) const {
  if (bands != bands_ || ringBlocks != ringBlocks_) {
    throw std::logic_error("BandPipeline: made for " + std::to_string(bands_) + " bands in " +
                           std::to_string(ringBlocks_) + " blocks, handed " +
                           std::to_string(bands) + " bands in " + std::to_string(ringBlocks));
  }
}

// The next pair of the stream after `p`: stage by stage, within a stage the highest sweep of
// the stream first (the band furthest behind).
void BandPipeline::advance(Place& p, int stream) const {
  int stage = p.stage, k = p.k - 1;
  for (; stage < stages_; ++stage, k = highest_[stream]) {
    for (k = std::min(k, stage / 2); k >= lowest_[stream]; --k) {
      if (stage - 2 * k >= bands_) break;
      p = {stage, k, p.index + 1};
      return;
    }
  }
  p = {stages_, 0, p.index + 1};
}

// Sweep k of band b − 1 done, sweep k − 1 of band b + 1 done (the last band waits for its own
// sweep k − 1, which comes before), and, for a band laid out into a block of the ring, the
// last sweep of the band after the block's previous band (the last to read that band).
bool BandPipeline::ready(int b, int k) const {
  if (b > 0 && progress_[b - 1].load(std::memory_order_acquire) < k + 1) return false;
  if (k > 0 && progress_[b + 1 < bands_ ? b + 1 : b].load(std::memory_order_acquire) < k)
    return false;
  return k > 0 || b <= ringAfter_ ||
         progress_[b - ringAfter_].load(std::memory_order_acquire) >= sweeps_;
}

bool BandPipeline::take(Worker& worker, int& b, int& k) {
  Place* place = worker.place_;
  const int own = worker.own_;
  for (int spins = 0;;) {
    const unsigned seen = done_.load(std::memory_order_seq_cst);
    bool left = false;
    for (int turn = 0; turn < kStreams; ++turn) {
      const int stream = turn == 0 ? own : 1 - own;
      Place& p = place[stream];
      int taken = taken_[stream].load(std::memory_order_acquire);
      while (p.stage < stages_ && p.index < taken)
        advance(p, stream);
      if (p.stage >= stages_) continue;
      left = true;
      b = p.stage - 2 * p.k;
      k = p.k;
      if (!ready(b, k)) continue;
      if (!taken_[stream].compare_exchange_strong(taken, taken + 1, std::memory_order_acq_rel,
                                                  std::memory_order_acquire))
        break;  // another thread took it: look again
      running_.fetch_add(1, std::memory_order_seq_cst);
      return true;
    }
    if (!left) return false;
    // Nothing can run until a pair being worked on is done (when none is, the other threads
    // are between pairs, or not there, and a pair will be ready at once).
    if (++spins >= kSpinsBeforeSleep && running_.load(std::memory_order_seq_cst) > 0) {
      sleepUntilChanged(seen);
      spins = 0;
    } else {
      spinPause();
    }
  }
}

// `done_` is raised before the waker reads `sleepers_`, and `sleepers_` raised before the
// sleeper reads `done_` (all sequentially consistent): the waker sees the sleeper, or the
// sleeper sees the new count. The waker takes the mutex to notify, so a sleeper between its
// test and its wait cannot miss the call.
void BandPipeline::sleepUntilChanged(unsigned seen) {
  std::unique_lock<std::mutex> lock(mutex_);
  sleepers_.fetch_add(1, std::memory_order_seq_cst);
  while (done_.load(std::memory_order_seq_cst) == seen)
    wake_.wait(lock);
  sleepers_.fetch_sub(1, std::memory_order_seq_cst);
}

BandPipeline::Worker BandPipeline::join() {
  Worker worker;
  for (int stream = 0; stream < 3; ++stream) {
    worker.place_[stream] = {0, highest_[stream] + 1, -1};
    advance(worker.place_[stream], stream);
  }
  worker.own_ = threads_ == 1 ? 0 : next_.fetch_add(1, std::memory_order_relaxed) & 1;
  return worker;
}

bool BandPipeline::next(Worker& worker, int& b, int& k) {
  if (threads_ > 1) return take(worker, b, k);
  Place& p = worker.place_[2];
  if (p.stage >= stages_) return false;
  b = p.stage - 2 * p.k;
  k = p.k;
  advance(p, 2);
  return true;
}

void BandPipeline::finish(int b, int k) {
  if (threads_ == 1) return;
  progress_[b].store(k + 1, std::memory_order_release);
  // `running_` falls before `done_` rises: a thread that saw this pair running and then
  // sleeps until `done_` changes is woken by it.
  running_.fetch_sub(1, std::memory_order_seq_cst);
  done_.fetch_add(1u, std::memory_order_seq_cst);
  if (sleepers_.load(std::memory_order_seq_cst) > 0) {
    const std::lock_guard<std::mutex> lock(mutex_);
    wake_.notify_all();
  }
}

void BandPipeline::work(BandJob job) {
  Worker worker = join();
  for (int b = 0, k = 0; next(worker, b, k); finish(b, k))
    job.run(job.context, b, k);
}

}  // namespace flowsolver

// The order of the vector SOR sweep's pairs (band, sweep), apart from the sweep: a fake job
// records when each pair starts and checks, at that moment, that every pair it reads from is
// done and that the ring block it lays its band out into is free.
#include "flow/solver/band_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using flowsolver::BandJob;
using flowsolver::BandPipeline;

// What the sweeps of a band need, from the sweep's point of view: sweep k of band b reads
// sweep k of the band above and sweep k − 1 of the band below; a band's sweeps run in order;
// laying band b out (its sweep 0) overwrites the block of band b − ringBlocks, which the band
// after that one still reads in its last sweep.
class RecordingJob {
 public:
  RecordingJob(int bands, int sweeps, int ringBlocks)
      : bands_(bands),
        sweeps_(sweeps),
        ringBlocks_(ringBlocks),
        done_(bands, 0),
        started_(bands, 0) {}

  BandJob job() {
    return {[](void* self, int b, int k) { static_cast<RecordingJob*>(self)->run(b, k); }, this};
  }

  void run(int b, int k) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      check(b, k);
      started_[b] = k + 1;
      order_.emplace_back(b, k);
    }
    // Give the other threads a chance to come in between start and end.
    std::this_thread::yield();
    const std::lock_guard<std::mutex> lock(mutex_);
    done_[b] = k + 1;
  }

  std::vector<std::pair<int, int>> order() const { return order_; }
  std::vector<std::string> faults() const { return faults_; }

 private:
  void fault(int b, int k, const std::string& what) {
    faults_.push_back("(" + std::to_string(b) + ", " + std::to_string(k) + "): " + what);
  }

  void check(int b, int k) {
    if (b < 0 || b >= bands_ || k < 0 || k >= sweeps_) return fault(b, k, "out of range");
    if (started_[b] != k || done_[b] != k) fault(b, k, "the band's previous sweep is not done");
    if (b > 0 && done_[b - 1] < k + 1) fault(b, k, "the band above has not done this sweep");
    if (k > 0 && b + 1 < bands_ && done_[b + 1] < k)
      fault(b, k, "the band below has not done the previous sweep");
    if (b + 1 < bands_ && started_[b + 1] > k) fault(b, k, "the band below is already ahead");
    const int previous = b - ringBlocks_;  // the band whose block this one takes over
    if (k == 0 && previous >= 0) {
      if (done_[previous] != sweeps_) fault(b, k, "its ring block is still in use");
      if (previous + 1 < bands_ && done_[previous + 1] != sweeps_)
        fault(b, k, "its ring block is still read by the next band");
    }
  }

  const int bands_, sweeps_, ringBlocks_;
  std::mutex mutex_;
  std::vector<int> done_, started_;
  std::vector<std::pair<int, int>> order_;
  std::vector<std::string> faults_;
};

// Every pair in the order of the wavefront b + 2k, within a stage the higher sweep first.
std::vector<std::pair<int, int>> stageOrder(int bands, int sweeps) {
  std::vector<std::pair<int, int>> pairs;
  for (int b = 0; b < bands; ++b)
    for (int k = 0; k < sweeps; ++k)
      pairs.emplace_back(b, k);
  std::sort(pairs.begin(), pairs.end(), [](const auto& x, const auto& y) {
    const int sx = x.first + 2 * x.second, sy = y.first + 2 * y.second;
    return sx != sy ? sx < sy : x.second > y.second;
  });
  return pairs;
}

struct Case {
  int bands, sweeps, ringBlocks, threads;
};

// The pipeline's threads as threads of their own, or as calls of work() one after the other on
// this thread (as a pool runs the pieces of a call made from inside one of its pieces): the
// first call must then do every pair, the later ones none.
enum class Calls { Threads, InTurn };

TEST(BandPipeline, EveryPairOnceAfterWhatItReads) {
  const Case cases[] = {
      {1, 1, 1, 1},   {1, 5, 1, 2},   {1, 7, 1, 8},    {3, 1, 2, 2},    {7, 5, 7, 1},
      {30, 5, 10, 1}, {30, 5, 10, 2}, {30, 10, 21, 2}, {30, 10, 30, 8}, {60, 5, 10, 8},
      {2, 10, 2, 8},  {45, 6, 12, 2}, {45, 3, 45, 8},  {17, 4, 8, 8},   {17, 2, 17, 2},
  };
  for (const Calls run : {Calls::Threads, Calls::InTurn}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message()
                   << c.bands << " bands, " << c.sweeps << " sweeps, ring " << c.ringBlocks << ", "
                   << c.threads << " threads" << (run == Calls::InTurn ? " in turn" : ""));
      const std::vector<std::pair<int, int>> inStageOrder = stageOrder(c.bands, c.sweeps);
      std::vector<std::pair<int, int>> all = inStageOrder;
      std::sort(all.begin(), all.end());
      const int repeats = run == Calls::Threads && c.threads > 1 ? 8 : 1;
      for (int repeat = 0; repeat < repeats; ++repeat) {
        RecordingJob recorder(c.bands, c.sweeps, c.ringBlocks);
        BandPipeline pipeline(c.bands, c.sweeps, c.ringBlocks, c.threads);
        if (run == Calls::Threads) {
          std::vector<std::thread> others;
          for (int t = 1; t < c.threads; ++t)
            others.emplace_back([&] { pipeline.work(recorder.job()); });
          pipeline.work(recorder.job());
          for (std::thread& t : others)
            t.join();
        } else {
          pipeline.work(recorder.job());
          EXPECT_EQ(recorder.order().size(), all.size()) << "the first call left pairs undone";
          for (int t = 1; t < c.threads; ++t)
            pipeline.work(recorder.job());
        }

        EXPECT_EQ(recorder.faults(), std::vector<std::string>());
        std::vector<std::pair<int, int>> order = recorder.order();
        if (c.threads == 1) {
          EXPECT_EQ(order, inStageOrder);
        }
        std::sort(order.begin(), order.end());
        EXPECT_EQ(order, all);
      }
    }
  }
}

TEST(BandPipeline, NothingToDoReturnsAtOnce) {
  for (const Case& c : {Case{0, 5, 1, 1}, Case{0, 5, 1, 2}, Case{4, 0, 1, 2}}) {
    RecordingJob recorder(c.bands, c.sweeps, c.ringBlocks);
    BandPipeline pipeline(c.bands, c.sweeps, c.ringBlocks, c.threads);
    pipeline.work(recorder.job());
    EXPECT_TRUE(recorder.order().empty());
  }
}

TEST(BandPipeline, RingTooSmallForTheSweepsIsRefused) {
  for (const Case& c : {Case{17, 4, 7, 2}, Case{45, 6, 4, 1}, Case{3, 5, 2, 8}}) {
    EXPECT_THROW(BandPipeline(c.bands, c.sweeps, c.ringBlocks, c.threads), std::logic_error);
  }
  EXPECT_NO_THROW(BandPipeline(3, 5, 3, 2));
}

TEST(BandPipeline, JobOverAnotherLayoutIsRefused) {
  const BandPipeline pipeline(45, 6, 12, 2);
  EXPECT_NO_THROW(pipeline.expectLayout(45, 12));
  EXPECT_THROW(pipeline.expectLayout(23, 12), std::logic_error);
  EXPECT_THROW(pipeline.expectLayout(45, 13), std::logic_error);
}

}  // namespace

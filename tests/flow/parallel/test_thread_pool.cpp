// The per-call pool of worker threads, the range split on it and the choice of instruction
// set.
#include "flow/parallel/instruction_set.h"
#include "flow/parallel/for_each_range.h"
#include "flow/parallel/thread_pool.h"
#include "thread_census.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(ThreadPool, RunsEveryPieceOnceOnSeveralThreads) {
  for (int threads : {1, 2, 5}) {
    flowthreads::Pool pool(threads);
    EXPECT_EQ(pool.threads(), threads);
    for (int pieces : {1, 3, 64}) {
      // Many jobs in a row on the same workers: each piece exactly once per job.
      for (int job = 0; job < 50; ++job) {
        std::vector<std::atomic<int>> calls(pieces);
        pool.run(pieces, [&](int piece) { calls[piece].fetch_add(1); });
        for (int p = 0; p < pieces; ++p)
          ASSERT_EQ(calls[p].load(), 1) << threads << " threads, piece " << p;
      }
    }
  }
}

TEST(ThreadPool, RethrowsTheFirstFailureAfterEveryPieceHasEnded) {
  flowthreads::Pool pool(3);
  std::atomic<int> running{0}, finished{0};
  auto failing = [&](int piece) {
    running.fetch_add(1);
    if (piece == 1) throw std::runtime_error("piece 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    finished.fetch_add(1);
    running.fetch_sub(1);
  };
  try {
    pool.run(3, failing);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "piece 1");
  }
  // Nothing is still running when run returns, and the pool keeps working.
  EXPECT_EQ(running.load(), 1);  // only the failed piece never counted down
  std::atomic<int> total{0};
  pool.run(10, [&](int piece) { total.fetch_add(piece); });
  EXPECT_EQ(total.load(), 45);
}

TEST(ThreadPool, NestedRunsGoOnTheCallingThread) {
  flowthreads::Pool pool(2);
  std::atomic<int> inner{0};
  pool.run(2, [&](int) {
    const std::thread::id self = std::this_thread::get_id();
    pool.run(4, [&](int) {
      EXPECT_EQ(std::this_thread::get_id(), self);
      inner.fetch_add(1);
    });
  });
  EXPECT_EQ(inner.load(), 8);
}

TEST(ThreadPool, NoThreadOutlivesThePool) {
  const int before = flowtest::threadsOfThisProcess();
  ASSERT_GT(before, 0);
  {
    flowthreads::Pool pool(4);
    pool.run(8, [](int) {});
    EXPECT_EQ(flowtest::threadsOfThisProcess(), before + 3);
  }
  EXPECT_EQ(flowtest::threadsSettlingAt(before), before);
}

TEST(ThreadPool, RangesOnThePoolAreThoseOfStartedThreads) {
  // The same pieces with and without the pool, whatever the pool's size.
  for (int poolThreads : {1, 3}) {
    flowthreads::Pool pool(poolThreads);
    for (int count : {0, 1, 7, 100}) {
      for (int threads : {1, 2, 3}) {
        std::vector<int> owner(count, -1), ownerOnPool(count, -1);
        flowthreads::forEachRange(count, threads, [&](int b, int e) {
          for (int i = b; i < e; ++i)
            owner[i] = b;
        });
        flowthreads::forEachRange(&pool, count, threads, [&](int b, int e) {
          for (int i = b; i < e; ++i)
            ownerOnPool[i] = b;
        });
        for (int i = 0; i < count; ++i)
          EXPECT_NE(ownerOnPool[i], -1);
        if (poolThreads >= threads) {
          EXPECT_EQ(owner, ownerOnPool);
        }
      }
    }
  }
}

TEST(InstructionSet, ForcingAnUnsupportedSetChangesNothing) {
  using flowsimd::InstructionSet;
  EXPECT_TRUE(flowsimd::supported(InstructionSet::Sse2));
  for (const InstructionSet set : flowsimd::kInstructionSets) {
    SCOPED_TRACE(flowsimd::name(set));
    ASSERT_TRUE(flowsimd::force(InstructionSet::Sse2));
    EXPECT_EQ(flowsimd::active(), InstructionSet::Sse2);
    EXPECT_EQ(flowsimd::force(set), flowsimd::supported(set));
    EXPECT_EQ(flowsimd::active(), flowsimd::supported(set) ? set : InstructionSet::Sse2);
  }
  flowsimd::unforce();
  EXPECT_TRUE(flowsimd::supported(flowsimd::active()));
}

// A wider set needs the narrower ones' support (an AVX-512 processor has AVX2), and without a
// choice in the environment the widest one taken unasked is active.
TEST(InstructionSet, WidestSupportedSetIsActive) {
  using flowsimd::InstructionSet;
  InstructionSet widest = InstructionSet::Sse2, widestOfAll = InstructionSet::Sse2;
  bool narrowerMissing = false;
  for (const InstructionSet set : flowsimd::kInstructionSets) {
    if (flowsimd::supported(set)) {
      EXPECT_FALSE(narrowerMissing) << flowsimd::name(set);
      if (flowsimd::takenUnasked(set)) widest = set;
      widestOfAll = set;
    } else {
      narrowerMissing = true;
    }
  }
  flowsimd::unforce();
  if (std::getenv("MOTIONSEG_FLOW_ISA") != nullptr) GTEST_SKIP() << "MOTIONSEG_FLOW_ISA is set";
  EXPECT_EQ(flowsimd::active(), widest) << flowsimd::name(flowsimd::active());
  EXPECT_EQ(flowsimd::activeWidest(), widestOfAll) << flowsimd::name(flowsimd::activeWidest());
  // A forced set holds for both choices.
  ASSERT_TRUE(flowsimd::force(InstructionSet::Sse2));
  EXPECT_EQ(flowsimd::activeWidest(), InstructionSet::Sse2);
  flowsimd::unforce();
}

// Run by ctest once with each name in MOTIONSEG_FLOW_ISA (and alone without it): a named set
// the processor has is active, else the widest one taken unasked.
TEST(InstructionSet, EnvironmentNamesTheSet) {
  using flowsimd::InstructionSet;
  flowsimd::unforce();
  InstructionSet expected = InstructionSet::Sse2;
  for (const InstructionSet set : flowsimd::kInstructionSets)
    if (flowsimd::supported(set) && flowsimd::takenUnasked(set)) expected = set;
  const char* wanted = std::getenv("MOTIONSEG_FLOW_ISA");
  bool named = false;
  for (const InstructionSet set : flowsimd::kInstructionSets) {
    if (wanted != nullptr && std::strcmp(wanted, flowsimd::name(set)) == 0 &&
        flowsimd::supported(set)) {
      expected = set;
      named = true;
    }
  }
  EXPECT_EQ(flowsimd::active(), expected)
      << (wanted ? wanted : "(unset)") << " gave " << flowsimd::name(flowsimd::active());
  if (named) {
    // A name the processor has holds for the kernels that would take the widest set too.
    EXPECT_EQ(flowsimd::activeWidest(), expected) << wanted;
  }
  EXPECT_TRUE(flowsimd::takenUnasked(InstructionSet::Sse2));
}

TEST(InstructionSet, NamesAreTheEnvironmentsWords) {
  using flowsimd::InstructionSet;
  EXPECT_STREQ(flowsimd::name(InstructionSet::Sse2), "sse2");
  EXPECT_STREQ(flowsimd::name(InstructionSet::Avx2), "avx2");
  EXPECT_STREQ(flowsimd::name(InstructionSet::Avx512), "avx512");
}

}  // namespace

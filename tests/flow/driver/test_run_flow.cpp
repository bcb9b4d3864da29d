// The flow driver as a whole: refused frames and scales, independence of the thread count,
// and the layout conversion of the host images.
#include "flow/driver/column_major.h"
#include "flow/driver/run_flow.h"
#include "../parallel/thread_census.h"
#include "../matching/matching_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using matchingtest::image;

TEST(RunFlow, RefusesFramesAndScalesItCannotUse) {
  struct Case {
    const char* name;
    int channels1, channels2, width2;
    float sigma;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<Case> cases = {
      {"two channels", 2, 2, 16, 0.8f},     {"different channel counts", 3, 4, 16, 0.8f},
      {"different widths", 3, 3, 17, 0.8f}, {"sigma 0", 3, 3, 16, 0.0f},
      {"negative sigma", 3, 3, 16, -1.0f},  {"sigma not a number", 3, 3, 16, nan},
      {"infinite sigma", 3, 3, 16, inf},    {"sigma below 1e-38", 3, 3, 16, 1e-39f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTensor<float> a = image(16, 12, c.channels1, [](int x, int, int) { return float(x); });
    CTensor<float> b = image(c.width2, 12, c.channels2, [](int x, int, int) { return float(x); });
    CTensor<float> flow;
    EXPECT_THROW(runFlow(a, b, flow, c.sigma, 30.0f, 300.0f, 5.0f, 1), std::invalid_argument);
    EXPECT_EQ(flow.data(), nullptr);  // nothing computed
  }
}

TEST(RunFlow, SmallestSigmaStillSmooths) {
  // At 1e-38 the smoothing coefficients are still finite; the frames stay numbers.
  const matchingtest::Texture texture(4);
  CTensor<float> a = image(12, 10, 3, [&](int x, int y, int z) { return texture(x, y, z); });
  CTensor<float> b = a;
  CTensor<float> flow;
  runFlow(a, b, flow, kSmallestSigma, 30.0f, 300.0f, 5.0f, 1);
  for (int i = 0; i < a.size(); ++i)
    ASSERT_TRUE(std::isfinite(a.data()[i])) << i;
  for (int i = 0; i < flow.size(); ++i)
    ASSERT_TRUE(std::isfinite(flow.data()[i])) << i;
}

// The parameter record and the stage clocks change nothing: the same bits as the positional
// call, for the defaults and for other values of every parameter.
TEST(RunFlow, ParameterRecordAndStageClocksGiveThePositionalCallsBits) {
  const matchingtest::Texture texture(17, 1.5);
  const CTensor<float> a = image(36, 32, 3, [&](int x, int y, int z) { return texture(x, y, z); });
  const CTensor<float> b =
      image(36, 32, 3, [&](int x, int y, int z) { return texture(x + 1, y - 2, z); });
  const flowdriver::FlowParameters defaults;
  struct Case {
    float sigma, alpha, beta, gamma;
  };
  const Case cases[] = {{defaults.sigma, defaults.alpha, defaults.beta, defaults.gamma},
                        {1.5f, 10.0f, 0.0f, 0.0f},
                        {0.5f, 60.0f, 50.0f, 20.0f}};
  for (const Case& c : cases) {
    CTensor<float> a1 = a, b1 = b, positional;
    runFlow(a1, b1, positional, c.sigma, c.alpha, c.beta, c.gamma, 2);
    flowdriver::FlowParameters p;
    p.sigma = c.sigma;
    p.alpha = c.alpha;
    p.beta = c.beta;
    p.gamma = c.gamma;
    for (bool timed : {false, true}) {
      CTensor<float> a2 = a, b2 = b, flow;
      flowdriver::DriverTimes times;
      runFlow(a2, b2, flow, p, 2, {}, timed ? &times : nullptr);
      EXPECT_TRUE(matchingtest::identical(positional, flow)) << c.sigma << " " << timed;
      EXPECT_TRUE(matchingtest::identical(a1, a2));  // the presmoothed frames too
    }
  }
  // The defaults are those of the positional call the plug-in documents.
  CTensor<float> a1 = a, b1 = b, a2 = a, b2 = b, positional, record;
  runFlow(a1, b1, positional, 0.8f, 30.0f, 300.0f, 5.0f, 1);
  runFlow(a2, b2, record, flowdriver::FlowParameters(), 1);
  EXPECT_TRUE(matchingtest::identical(positional, record));
}

TEST(RunFlow, ResultDoesNotDependOnThreadCount) {
  const matchingtest::Texture texture(31, 1.5);
  const CTensor<float> a = image(40, 36, 3, [&](int x, int y, int z) { return texture(x, y, z); });
  const CTensor<float> b =
      image(40, 36, 3, [&](int x, int y, int z) { return texture(x - 2, y - 1, z); });
  CTensor<float> first;
  for (int threads : {1, 3}) {
    CTensor<float> a1 = a, b1 = b, flow;
    runFlow(a1, b1, flow, 0.8f, 30.0f, 300.0f, 5.0f, threads);
    ASSERT_EQ(flow.xSize(), 40);
    ASSERT_EQ(flow.ySize(), 36);
    ASSERT_EQ(flow.zSize(), 2);
    if (threads == 1) {
      first = flow;
    } else {
      EXPECT_TRUE(matchingtest::identical(first, flow));
    }
  }
}

TEST(RunFlow, CancelHookStopsTheCallAndLeavesNoThreadBehind) {
  const matchingtest::Texture texture(12, 1.5);
  const CTensor<float> a = image(64, 56, 3, [&](int x, int y, int z) { return texture(x, y, z); });
  const CTensor<float> b =
      image(64, 56, 3, [&](int x, int y, int z) { return texture(x - 3, y + 1, z); });
  // A hook that never fires: the same flow as without one; count its polls.
  CTensor<float> plain, hooked;
  {
    CTensor<float> a1 = a, b1 = b;
    runFlow(a1, b1, plain, 0.8f, 30.0f, 300.0f, 5.0f, 2);
  }
  // One thread: one poll after the presmoothing, one before each of the 12 grid rows and one
  // that finds none left, one before each pyramid level.
  int polls = 0;
  const std::thread::id caller = std::this_thread::get_id();
  {
    CTensor<float> a1 = a, b1 = b;
    runFlow(a1, b1, hooked, 0.8f, 30.0f, 300.0f, 5.0f, 1, [&] {
      EXPECT_EQ(std::this_thread::get_id(), caller);
      ++polls;
      return false;
    });
  }
  EXPECT_TRUE(matchingtest::identical(plain, hooked));
  const int levels = polls - 14;
  ASSERT_GT(levels, 5);
  // Firing at poll n: after the presmoothing, in the matching, in the solver. With more
  // threads the calling thread takes fewer grid rows (at least one poll in the matching, as it
  // runs the first of the workers), so at least 2 + levels polls come.
  struct Case {
    int threads, n;
  };
  const std::vector<Case> cases = {{1, 1},     {1, 2}, {1, 9}, {1, 15},
                                   {1, polls}, {3, 1}, {3, 2}, {3, levels + 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.threads << " threads, fire at poll " << c.n);
    // Counted after the trace: on Windows the test framework starts a thread of its own the
    // first time a thread keeps per-thread state (the trace's stack), which lives as long as
    // this thread and is none of the flow's.
    const int before = flowtest::threadsOfThisProcess();
    CTensor<float> a1 = a, b1 = b, flow;
    int seen = 0;
    EXPECT_THROW(
        runFlow(a1, b1, flow, 0.8f, 30.0f, 300.0f, 5.0f, c.threads, [&] { return ++seen >= c.n; }),
        flowdriver::Interrupted);
    EXPECT_EQ(seen, c.n);  // not asked again after it said stop
    EXPECT_EQ(flowtest::threadsSettlingAt(before), before);
  }
}

TEST(ColumnMajor, HostLayoutBecomesXFastest) {
  // 2 rows, 3 columns, 3 pages: host index i + 2j + 6k holds the value i + 2j + 6k.
  std::vector<double> host(18);
  for (int i = 0; i < 18; ++i)
    host[i] = i + 0.25;
  CTensor<float> t;
  columnMajorToTensor(host.data(), 2, 3, 3, t);
  ASSERT_EQ(t.xSize(), 3);
  ASSERT_EQ(t.ySize(), 2);
  ASSERT_EQ(t.zSize(), 3);
  EXPECT_EQ(t(0, 1, 1), 7.25f);  // row 1, column 0, page 1
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 2; ++i)
        EXPECT_EQ(t(j, i, k), float(i + 2 * j + 6 * k + 0.25));
  std::vector<double> back(18, -1.0);
  tensorToColumnMajor(t, back.data());
  EXPECT_EQ(back, host);
  // Rounding to single precision on the way in.
  const double third = 1.0 / 3.0;
  columnMajorToTensor(&third, 1, 1, 1, t);
  EXPECT_EQ(t(0, 0, 0), 1.0f / 3.0f);
}

}  // namespace

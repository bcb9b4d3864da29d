// regionMotionLevel through the standalone host: the means against hand-checked cases and a
// double-precision oracle, the documented checks in their order, and the refusals of input
// that would leave the arrays.
#include "gateway/standalone/host.h"
#include "superpixel/stats/region_motion_level.h"
#include "tests/common/counting_new.h"
#include "tests/plugin_calls.h"
#include "tests/superpixel/superpixel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using host::Array;

// An H-by-W-by-2 flow whose first plane is u and second plane v (column-major each).
Array flow(mwSize h, mwSize w, std::vector<std::int16_t> u, const std::vector<std::int16_t>& v) {
  u.resize(h * w);
  u.insert(u.end(), v.begin(), v.end());
  return host::make<std::int16_t>({h, w, 2}, u);
}

const auto labelMap = superpixeltest::labelMap<std::uint16_t>;

// The output has the given count of rows; the pixel counters are sized by the labels a uint16
// map can hold, and the estimate covers both.
TEST(RegionMotionLevel, MemoryEstimateCoversTheCall) {
  for (const double n : {1.0, 70000.0, 2000000.0}) {
    const Array f = flow(2, 3, {3, 0, 1, 2, 0, 4}, {4, 0, 1, 2, 0, 3});
    const Array labels = host::make<std::uint16_t>({2, 3}, {1, 1, 0, 1, 1, 1});
    const Array count = host::scalar(n);
    countingnew::resetPeak();
    const host::CallResult r = host::call(1, {f.get(), labels.get(), count.get()});
    const std::uint64_t working = countingnew::peakSinceReset();
    ASSERT_FALSE(r.failed) << r.error;
    const auto level = host::values<float>(r.outputs[0].get());
    ASSERT_EQ(level.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(level[0], (5 + 0 + 0 + std::sqrt(8.0f) + 5) / 5);
    const membudget::Estimate need = superpixel::regionMotionLevelBytes(level.size());
    EXPECT_EQ(need.outputs.value(), plugintest::outputBytes(r)) << n;
    EXPECT_GE(membudget::peakBytes(need, 0).value(), working + plugintest::outputBytes(r)) << n;
    EXPECT_LE(need.working.value(), 65535u * 4) << n;
  }
}

TEST(RegionMotionLevel, HandCheckedMeans) {
  // 1-by-4: label 1 at columns 0 and 2 with (3, 4) and (6, 8); label 0 at column 1 with a
  // long vector that must be ignored; label 3 at column 3 with (-5, 12).
  const Array f = flow(1, 4, {3, 300, 6, -5}, {4, 400, 8, 12});
  const Array l = labelMap(1, 4, {1, 0, 1, 3});
  const host::CallResult r = host::call(1, {f.get(), l.get()});
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
  EXPECT_TRUE(r.inputsUnchanged);
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{3, 1}));
  EXPECT_EQ(host::values<float>(r.outputs[0].get()), (std::vector<float>{7.5f, 0, 13}));
}

TEST(RegionMotionLevel, OutputRowsFollowTheLargestLabelOrTheGivenCount) {
  const Array f = flow(3, 1, {3, 3, 3}, {4, 4, 4});
  const Array l = labelMap(3, 1, {1, 2, 7});
  struct Case {
    const char* what;
    std::vector<const mxArray*> extra;
    std::vector<float> expected;
  };
  const Array nine = host::scalar(9.99), seven = host::scalar(7);
  const std::vector<Case> cases = {
      {"largest label", {}, {5, 5, 0, 0, 0, 0, 5}},
      {"count truncated toward zero", {nine.get()}, {5, 5, 0, 0, 0, 0, 5, 0, 0}},
      {"count equal to the largest label", {seven.get()}, {5, 5, 0, 0, 0, 0, 5}},
  };
  for (const Case& c : cases) {
    std::vector<const mxArray*> in{f.get(), l.get()};
    in.insert(in.end(), c.extra.begin(), c.extra.end());
    const host::CallResult r = host::call(1, in);
    ASSERT_FALSE(r.failed) << c.what << ": " << r.error;
    EXPECT_EQ(host::dims(r.outputs[0].get()),
              (std::vector<mwSize>{static_cast<mwSize>(c.expected.size()), 1}))
        << c.what;
    EXPECT_EQ(host::values<float>(r.outputs[0].get()), c.expected) << c.what;
  }
}

TEST(RegionMotionLevel, EmptyMapsAndNoRequestedOutput) {
  const Array f = host::make(mxINT16_CLASS, {0, 4, 2});
  const Array l = host::make(mxUINT16_CLASS, {0, 4});
  const Array three = host::scalar(3);
  host::CallResult r = host::call(1, {f.get(), l.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{0, 1}));
  EXPECT_EQ(mxGetClassID(r.outputs[0].get()), mxSINGLE_CLASS);
  r = host::call(0, {f.get(), l.get(), three.get()});
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_EQ(r.outputs.size(), 1u);
  EXPECT_EQ(host::values<float>(r.outputs[0].get()), (std::vector<float>{0, 0, 0}));
}

TEST(RegionMotionLevel, MatchesDoublePrecisionOracleOnRandomFrame) {
  std::mt19937 rng(11);
  const mwSize h = 37, w = 29;
  const std::uint16_t n = 50;  // labels 46..50 stay unused; label 0 marks skipped pixels
  std::vector<std::int16_t> u(h * w), v(h * w);
  std::vector<std::uint16_t> labels(h * w);
  std::vector<double> sum(n, 0.0), count(n, 0.0);
  for (mwSize p = 0; p < h * w; ++p) {
    u[p] = static_cast<std::int16_t>(static_cast<int>(rng() % 2001) - 1000);
    v[p] = static_cast<std::int16_t>(static_cast<int>(rng() % 2001) - 1000);
    labels[p] = static_cast<std::uint16_t>(rng() % (n - 4));
    if (p == 0) {
      // The extremes of int16 must not overflow the length.
      u[p] = v[p] = -32768;
      labels[p] = n;
    }
    if (labels[p] == 0) continue;
    sum[labels[p] - 1] += std::hypot(double(u[p]), double(v[p]));
    count[labels[p] - 1] += 1;
  }
  const Array f = flow(h, w, u, v), l = labelMap(h, w, labels), nArg = host::scalar(n);
  const host::CallResult r = host::call(1, {f.get(), l.get(), nArg.get()});
  ASSERT_FALSE(r.failed) << r.error;
  const std::vector<float> level = host::values<float>(r.outputs[0].get());
  ASSERT_EQ(level.size(), n);
  for (std::uint16_t k = 0; k < n; ++k) {
    const double mean = count[k] == 0 ? 0 : sum[k] / count[k];
    EXPECT_NEAR(level[k], mean, 1e-5 * mean) << "label " << k + 1;
  }
}

TEST(RegionMotionLevel, FlowWithMoreElementsIsReadFromItsFirstTwoPlanes) {
  // H-by-W-by-3: the components are at p and p + H*W; the third plane is never read.
  const Array f = host::make<std::int16_t>({1, 2, 3}, {3, 0, 4, 1, 99, 99});
  const Array l = labelMap(1, 2, {1, 2});
  const host::CallResult r = host::call(1, {f.get(), l.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<float>(r.outputs[0].get()), (std::vector<float>{5, 1}));
}

using ErrorCase = plugintest::CallCase;

class RegionMotionLevelErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RegionMotionLevelErrors, ReportsItsText) {
  host::CallResult r;
  plugintest::expectFailure(GetParam(), &r);
  EXPECT_TRUE(r.inputsUnchanged);
}

Array goodFlow() {
  return flow(2, 2, {1, 2, 3, 4}, {0, 0, 0, 0});
}
Array goodLabels() {
  return labelMap(2, 2, {1, 2, 2, 1});
}

host::CallResult callWith(Array f, Array l, int nlhs = 1) {
  return host::call(nlhs, {f.get(), l.get()});
}
host::CallResult callWith(Array f, Array l, Array n, int nlhs = 1) {
  return host::call(nlhs, {f.get(), l.get(), n.get()});
}

INSTANTIATE_TEST_SUITE_P(
    Documented, RegionMotionLevelErrors,
    ::testing::Values(
        ErrorCase{"one input",
                  [] {
                    const Array f = goodFlow();
                    return host::call(1, {f.get()});
                  },
                  "Invalid number of input arguments"},
        ErrorCase{"four inputs",
                  [] {
                    const Array f = goodFlow(), l = goodLabels(), n = host::scalar(2);
                    return host::call(1, {f.get(), l.get(), n.get(), n.get()});
                  },
                  "Invalid number of input arguments"},
        ErrorCase{"single flow before uint32 labels",
                  [] {
                    return callWith(host::make(mxSINGLE_CLASS, {2, 2, 2}),
                                    host::make(mxUINT32_CLASS, {2, 2}));
                  },
                  "Flow matrix must be of type int16"},
        ErrorCase{"uint32 labels",
                  [] {
                    return callWith(goodFlow(), host::make(mxUINT32_CLASS, {2, 2}));
                  },
                  "Super pixel label map must be of type uint16"},
        ErrorCase{
            "uint16 count, two outputs: classes come first",
            [] {
              return callWith(goodFlow(), goodLabels(), host::make<std::uint16_t>({1, 1}, {2}), 2);
            },
            "Number of superpixels must be of type double"},
        ErrorCase{"two outputs, 2-D flow: outputs come before ranks",
                  [] {
                    return callWith(host::make(mxINT16_CLASS, {2, 2}), goodLabels(), 2);
                  },
                  "Invalid number of output arguments"},
        ErrorCase{"2-D flow before 3-D labels",
                  [] {
                    return callWith(host::make(mxINT16_CLASS, {2, 4}),
                                    host::make(mxUINT16_CLASS, {2, 2, 2}));
                  },
                  "Flow matrix must be 3-dimensional"},
        ErrorCase{"4-D flow",
                  [] {
                    return callWith(host::make(mxINT16_CLASS, {2, 2, 2, 2}), goodLabels());
                  },
                  "Flow matrix must be 3-dimensional"},
        ErrorCase{"3-D labels",
                  [] {
                    return callWith(goodFlow(), host::make(mxUINT16_CLASS, {2, 2, 2}));
                  },
                  "Super pixel label map must be 2-dimensional"},
        ErrorCase{"two outputs with a label above the count: the documented check comes first",
                  [] {
                    return callWith(goodFlow(), labelMap(2, 2, {9, 9, 9, 9}), host::scalar(2), 2);
                  },
                  "Invalid number of output arguments"}));

INSTANTIATE_TEST_SUITE_P(
    Added, RegionMotionLevelErrors,
    ::testing::Values(
        ErrorCase{"label map beyond 32-bit rows",
                  [] {
                    return callWith(host::make(mxINT16_CLASS, {0, 0, 2}),
                                    host::make(mxUINT16_CLASS, {mwSize{1} << 31, 0}));
                  },
                  "Super pixel label map has too many rows."},
        ErrorCase{"empty count",
                  [] {
                    return callWith(goodFlow(), goodLabels(), host::make(mxDOUBLE_CLASS, {0, 1}));
                  },
                  "Number of superpixels must not be empty."},
        ErrorCase{"negative count",
                  [] { return callWith(goodFlow(), goodLabels(), host::scalar(-1)); },
                  "Number of superpixels must be between 0 and 2147483647."},
        ErrorCase{"count not a number",
                  [] { return callWith(goodFlow(), goodLabels(), host::scalar(NAN)); },
                  "Number of superpixels must be between 0 and 2147483647."},
        ErrorCase{"count beyond 32 bits",
                  [] { return callWith(goodFlow(), goodLabels(), host::scalar(3e9)); },
                  "Number of superpixels must be between 0 and 2147483647."},
        ErrorCase{"flow narrower than the label map",
                  [] {
                    return callWith(host::make(mxINT16_CLASS, {2, 1, 2}), goodLabels());
                  },
                  "Flow matrix has 4 elements but a 2-by-2 label map needs 8 (H-by-W-by-2)."},
        ErrorCase{"flow one element short",
                  [] {
                    return callWith(host::make(mxINT16_CLASS, {1, 1, 7}),
                                    host::make(mxUINT16_CLASS, {2, 2}));
                  },
                  "Flow matrix has 7 elements but a 2-by-2 label map needs 8 (H-by-W-by-2)."},
        ErrorCase{"label above the given count",
                  [] {
                    return callWith(goodFlow(), labelMap(2, 2, {1, 0, 5, 4}), host::scalar(4.5));
                  },
                  "Label 5 at element 3 of the super pixel label map is above the number of "
                  "superpixels 4."},
        ErrorCase{"count below 1 with labels",
                  [] { return callWith(goodFlow(), goodLabels(), host::scalar(0.9)); },
                  "Label 1 at element 1 of the super pixel label map is above the number of "
                  "superpixels 0."}));

// A sparse count is refused like every sparse argument, not read through the host.
TEST(RegionMotionLevelSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<std::uint16_t> labelValues(24);
  for (std::size_t p = 0; p < 24; ++p)
    labelValues[p] = static_cast<std::uint16_t>(1 + (p % 4 >= 2) + 2 * (p >= 12));
  const host::Array flow = host::make<std::int16_t>({4, 6, 2}, std::vector<std::int16_t>(48, 1));
  const host::Array map = host::make<std::uint16_t>({4, 6}, labelValues);
  const host::Array count = host::scalar(4);
  EXPECT_EQ(
      plugintest::expectSparseRefused("regionMotionLevel", 1, {flow.get(), map.get(), count.get()}),
      1);
}

}  // namespace

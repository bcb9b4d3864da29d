// regionCoverage through the standalone host: ratios and sizes against hand-checked cases and
// a brute-force count, the documented checks in their order, and the refusals of input that
// would leave the arrays.
#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"
#include "tests/superpixel/superpixel_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using host::Array;

const auto labelMap = superpixeltest::labelMap<std::uint16_t>;

Array inOut(mwSize h, mwSize w, const std::vector<bool>& inside) {
  return host::make<bool>({h, w}, inside);
}

Array count16(std::uint16_t n) {
  return host::make<std::uint16_t>({1, 1}, {n});
}

TEST(RegionCoverage, EightPixelsTwoInside) {
  // 2-by-4 map of label 1; label 2 does not occur but is requested.
  const Array l = labelMap(2, 4, {1, 1, 1, 1, 1, 1, 1, 1});
  const Array m = inOut(2, 4, {false, true, false, false, false, false, true, false});
  const Array n = count16(2);
  const host::CallResult r = host::call(2, {l.get(), m.get(), n.get()});
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
  EXPECT_TRUE(r.inputsUnchanged);
  EXPECT_EQ(host::values<float>(r.outputs[0].get()), (std::vector<float>{0.25f, 0}));
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[1].get()), (std::vector<std::uint32_t>{8, 0}));
}

TEST(RegionCoverage, RowCountsAndRequestedOutputs) {
  struct Case {
    const char* what;
    int nlhs;
    bool givenCount;
    std::vector<float> ratio;
    std::vector<std::uint32_t> size;  // empty: only the ratio comes back
  };
  // Labels {1, 3}; label 1 has one of two pixels inside, label 3 none of two.
  const Array l = labelMap(2, 2, {1, 3, 1, 3});
  const Array m = inOut(2, 2, {true, false, false, false});
  const Array five = count16(5);
  const std::vector<Case> cases = {
      {"largest label, two outputs", 2, false, {0.5f, 0, 0}, {2, 0, 2}},
      {"given count, two outputs", 2, true, {0.5f, 0, 0, 0, 0}, {2, 0, 2, 0, 0}},
      {"one output", 1, false, {0.5f, 0, 0}, {}},
      {"no output: the ratio becomes the answer", 0, true, {0.5f, 0, 0, 0, 0}, {}},
  };
  for (const Case& c : cases) {
    const host::CallResult r = c.givenCount ? host::call(c.nlhs, {l.get(), m.get(), five.get()})
                                            : host::call(c.nlhs, {l.get(), m.get()});
    ASSERT_FALSE(r.failed) << c.what << ": " << r.error;
    ASSERT_TRUE(r.hostFault.empty()) << c.what << ": " << r.hostFault;
    ASSERT_EQ(r.outputs.size(), c.size.empty() ? 1u : 2u) << c.what;
    EXPECT_EQ(host::dims(r.outputs[0].get()),
              (std::vector<mwSize>{static_cast<mwSize>(c.ratio.size()), 1}))
        << c.what;
    EXPECT_EQ(host::values<float>(r.outputs[0].get()), c.ratio) << c.what;
    if (!c.size.empty()) {
      EXPECT_EQ(host::values<std::uint32_t>(r.outputs[1].get()), c.size) << c.what;
    }
  }
}

TEST(RegionCoverage, MatchesBruteForceCountOnRandomFrame) {
  std::mt19937 rng(5);
  const mwSize h = 41, w = 23;
  const std::uint16_t n = 30;
  std::vector<std::uint16_t> labels(h * w);
  std::vector<bool> inside(h * w);
  for (mwSize p = 0; p < h * w; ++p) {
    labels[p] = static_cast<std::uint16_t>(1 + rng() % (n - 3));  // 28..30 stay unused
    inside[p] = rng() % 3 == 0;
  }
  const Array l = labelMap(h, w, labels), m = inOut(h, w, inside), nArg = count16(n);
  const host::CallResult r = host::call(2, {l.get(), m.get(), nArg.get()});
  ASSERT_FALSE(r.failed) << r.error;
  const std::vector<float> ratio = host::values<float>(r.outputs[0].get());
  const std::vector<std::uint32_t> size = host::values<std::uint32_t>(r.outputs[1].get());
  for (std::uint16_t label = 1; label <= n; ++label) {
    std::uint32_t all = 0, in = 0;
    for (mwSize p = 0; p < h * w; ++p) {
      if (labels[p] != label) continue;
      ++all;
      in += inside[p] ? 1 : 0;
    }
    EXPECT_EQ(size[label - 1], all) << "label " << label;
    EXPECT_EQ(ratio[label - 1], all == 0 ? 0.0f : static_cast<float>(in) / all)
        << "label " << label;
  }
}

TEST(RegionCoverage, InOutMapIsReadAtTheLabelMapsLinearIndices) {
  // A 1-by-4 in-out map beside a 2-by-2 label map, and a longer one: both are read at p.
  const Array l = labelMap(2, 2, {1, 2, 1, 2});
  const Array row = inOut(1, 4, {true, true, false, false});
  const Array longer = inOut(1, 6, {false, true, false, true, true, true});
  host::CallResult r = host::call(1, {l.get(), row.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<float>(r.outputs[0].get()), (std::vector<float>{0.5f, 0.5f}));
  r = host::call(1, {l.get(), longer.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<float>(r.outputs[0].get()), (std::vector<float>{0, 1}));
}

TEST(RegionCoverage, EmptyLabelMapGivesEmptyOutputs) {
  const Array l = host::make(mxUINT16_CLASS, {3, 0});
  const Array m = host::make(mxLOGICAL_CLASS, {0, 0});
  const host::CallResult r = host::call(2, {l.get(), m.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{0, 1}));
  EXPECT_EQ(host::dims(r.outputs[1].get()), (std::vector<mwSize>{0, 1}));
  EXPECT_EQ(mxGetClassID(r.outputs[1].get()), mxUINT32_CLASS);
}

using ErrorCase = plugintest::CallCase;

class RegionCoverageErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RegionCoverageErrors, ReportsItsText) {
  plugintest::expectFailure(GetParam());
}

Array goodLabels() {
  return labelMap(2, 2, {1, 2, 2, 3});
}
Array goodInOut() {
  return inOut(2, 2, {true, false, true, false});
}

host::CallResult callWith(Array l, Array m, int nlhs = 2) {
  return host::call(nlhs, {l.get(), m.get()});
}
host::CallResult callWith(Array l, Array m, Array n, int nlhs = 2) {
  return host::call(nlhs, {l.get(), m.get(), n.get()});
}

INSTANTIATE_TEST_SUITE_P(
    Documented, RegionCoverageErrors,
    ::testing::Values(
        ErrorCase{"one input",
                  [] {
                    const Array l = goodLabels();
                    return host::call(1, {l.get()});
                  },
                  "Invalid number of input arguments"},
        ErrorCase{"four inputs",
                  [] {
                    const Array l = goodLabels(), m = goodInOut(), n = count16(3);
                    return host::call(1, {l.get(), m.get(), n.get(), n.get()});
                  },
                  "Invalid number of input arguments"},
        ErrorCase{"double labels before a uint8 in-out map",
                  [] {
                    return callWith(host::make(mxDOUBLE_CLASS, {2, 2}),
                                    host::make(mxUINT8_CLASS, {2, 2}));
                  },
                  "Super pixel label map must be of type uint16"},
        ErrorCase{"uint8 in-out map",
                  [] {
                    return callWith(goodLabels(), host::make(mxUINT8_CLASS, {2, 2}));
                  },
                  "In-Out map must be of type logical"},
        ErrorCase{"double count, three outputs: classes come first",
                  [] { return callWith(goodLabels(), goodInOut(), host::scalar(3), 3); },
                  "Number of superpixels must be of type uint16"},
        ErrorCase{"three outputs, 3-D labels: outputs come before ranks",
                  [] {
                    return callWith(host::make(mxUINT16_CLASS, {2, 2, 2}), goodInOut(), 3);
                  },
                  "Invalid number of output arguments"},
        ErrorCase{"3-D labels before a 3-D in-out map",
                  [] {
                    return callWith(host::make(mxUINT16_CLASS, {2, 2, 2}),
                                    host::make(mxLOGICAL_CLASS, {2, 2, 2}));
                  },
                  "Super pixel label map must be 2-dimensional"},
        ErrorCase{"3-D in-out map",
                  [] {
                    return callWith(goodLabels(), host::make(mxLOGICAL_CLASS, {2, 2, 2}));
                  },
                  "In-Out map must be 2-dimensional"}));

INSTANTIATE_TEST_SUITE_P(
    Added, RegionCoverageErrors,
    ::testing::Values(
        ErrorCase{"label map beyond 32-bit columns",
                  [] {
                    return callWith(host::make(mxUINT16_CLASS, {0, mwSize{1} << 31}),
                                    host::make(mxLOGICAL_CLASS, {0, 0}));
                  },
                  "Super pixel label map has too many columns."},
        ErrorCase{"empty count",
                  [] {
                    return callWith(goodLabels(), goodInOut(), host::make(mxUINT16_CLASS, {0, 0}));
                  },
                  "Number of superpixels must not be empty."},
        ErrorCase{"in-out map smaller than the label map",
                  [] {
                    return callWith(goodLabels(), inOut(1, 3, {true, true, true}));
                  },
                  "In-Out map has 3 elements but the 2-by-2 label map has 4."},
        ErrorCase{"empty in-out map",
                  [] {
                    return callWith(goodLabels(), host::make(mxLOGICAL_CLASS, {0, 0}));
                  },
                  "In-Out map has 0 elements but the 2-by-2 label map has 4."},
        ErrorCase{"label 0 without a count",
                  [] {
                    return callWith(labelMap(2, 2, {1, 0, 3, 0}), goodInOut());
                  },
                  "Label 0 at element 2 of the super pixel label map is outside 1..3."},
        ErrorCase{"label 0 with a count",
                  [] {
                    return callWith(labelMap(2, 2, {1, 2, 0, 2}), goodInOut(), count16(3));
                  },
                  "Label 0 at element 3 of the super pixel label map is outside 1..3."},
        ErrorCase{"label above the given count",
                  [] { return callWith(goodLabels(), goodInOut(), count16(2)); },
                  "Label 3 at element 4 of the super pixel label map is outside 1..2."},
        ErrorCase{"count 0 with labels",
                  [] { return callWith(goodLabels(), goodInOut(), count16(0)); },
                  "Label 1 at element 1 of the super pixel label map is outside 1..0."},
        ErrorCase{"all-zero map",
                  [] {
                    return callWith(labelMap(1, 2, {0, 0}), inOut(1, 2, {}));
                  },
                  "Label 0 at element 1 of the super pixel label map is outside 1..0."}));

// A sparse In-Out map (whose data hold only the nonzero elements) is refused, not read as full.
TEST(RegionCoverageSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<std::uint16_t> labelValues(24);
  for (std::size_t p = 0; p < 24; ++p)
    labelValues[p] = static_cast<std::uint16_t>(1 + (p % 4 >= 2) + 2 * (p >= 12));
  const host::Array map = host::make<std::uint16_t>({4, 6}, labelValues);
  const host::Array inside = host::make<bool>({4, 6}, std::vector<bool>(12, true));
  const host::Array count = host::make<std::uint16_t>({1, 1}, {4});
  EXPECT_EQ(
      plugintest::expectSparseRefused("regionCoverage", 2, {map.get(), inside.get(), count.get()}),
      1);
}

}  // namespace

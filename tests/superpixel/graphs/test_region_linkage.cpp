// regionLinkage through the standalone host: the documented checks and texts in order, the
// added refusals, hand-checked flows, and a brute-force oracle.
#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"
#include "tests/superpixel/superpixel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using host::Array;
using Labels = std::vector<std::uint16_t>;
using Flow = std::vector<std::int16_t>;  // plane 0 (rows) then plane 1 (columns)
using Counts = std::vector<std::uint32_t>;

const auto labelMap = superpixeltest::labelMap<std::uint16_t>;
using superpixeltest::flowField;

host::CallResult link(const Array& flow, const Array& a, const Array& b, int nlhs = 1) {
  return host::call(nlhs, {flow.get(), a.get(), b.get()});
}

host::CallResult link(const Array& flow, const Array& a, const Array& b, double n1, double n2,
                      int nlhs = 1) {
  const Array c1 = host::scalar(n1), c2 = host::scalar(n2);
  return host::call(nlhs, {flow.get(), a.get(), b.get(), c1.get(), c2.get()});
}

struct CountCase {
  const char* what;
  mwSize h, w;
  Flow flow;
  Labels a, b;
  double n1, n2;  // negative: call with three inputs
  std::vector<mwSize> shape;
  Counts expected;  // column-major
};

void PrintTo(const CountCase& c, std::ostream* os) {
  *os << c.what;
}

class RegionLinkageCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(RegionLinkageCounts, CountsCarriedPixelsPerLabelPair) {
  const CountCase& c = GetParam();
  const Array flow = flowField(c.h, c.w, c.flow);
  const Array a = labelMap(c.h, c.w, c.a), b = labelMap(c.h, c.w, c.b);
  const host::CallResult r = c.n1 < 0 ? link(flow, a, b) : link(flow, a, b, c.n1, c.n2);
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
  EXPECT_TRUE(r.inputsUnchanged);
  EXPECT_EQ(host::dims(r.outputs[0].get()), c.shape);
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[0].get()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionLinkageCounts,
    ::testing::Values(
        // Label 2 has four pixels, labels 1 and 3 one each.
        CountCase{"zero flow and equal maps give the diagonal",
                  2,
                  3,
                  Flow(12, 0),
                  {1, 2, 2, 3, 2, 2},
                  {1, 2, 2, 3, 2, 2},
                  -1,
                  -1,
                  {3, 3},
                  {1, 0, 0, 0, 4, 0, 0, 0, 1}},
        // Pixel (0,0) goes to row -1, (1,0) to row H, (1,1) to column -1, (0,2) and (1,2) to
        // column W; only (0,1) stays, landing on label 2.
        CountCase{"landing outside the frame adds nothing",
                  2,
                  3,
                  {-1, 1, 0, 0, 0, 0, 0, 0, 0, -2, 1, 1},
                  {1, 1, 1, 1, 1, 1},
                  {1, 1, 2, 1, 1, 1},
                  -1,
                  -1,
                  {1, 2},
                  {0, 1}},
        CountCase{"label 0 on either side adds nothing",
                  1,
                  3,
                  Flow(6, 0),
                  {0, 1, 1},
                  {1, 0, 1},
                  -1,
                  -1,
                  {1, 1},
                  {1}},
        // Pixel (0,0) moves one row down and one column right onto label 4; the rest stay.
        CountCase{"diagonal move",
                  2,
                  2,
                  {1, 0, 0, 0, 1, 0, 0, 0},
                  {1, 2, 2, 2},
                  {3, 3, 3, 4},
                  -1,
                  -1,
                  {2, 4},
                  {0, 0, 0, 0, 0, 2, 1, 1}},
        // K(i, j) is element (j-1)*N1 + (i-1): label 2 onto label 1 is element 1.
        CountCase{"column-major output",
                  1,
                  2,
                  Flow(4, 0),
                  {2, 1},
                  {1, 3},
                  -1,
                  -1,
                  {2, 3},
                  {0, 1, 0, 0, 1, 0}},
        CountCase{"largest labels size the output",
                  1,
                  2,
                  Flow(4, 0),
                  {4, 4},
                  {6, 2},
                  -1,
                  -1,
                  {4, 6},
                  {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        CountCase{"given counts, truncated",
                  1,
                  2,
                  Flow(4, 0),
                  {1, 1},
                  {1, 2},
                  2.7,
                  3.2,
                  {2, 3},
                  {1, 0, 1, 0, 0, 0}},
        CountCase{"given counts of 0 with an unlabelled frame",
                  1,
                  2,
                  Flow(4, 0),
                  {0, 0},
                  {0, 0},
                  0,
                  0,
                  {0, 0},
                  {}},
        CountCase{"no rows, three inputs", 0, 3, {}, {}, {}, -1, -1, {0, 0}, {}},
        CountCase{"no rows, given counts", 0, 3, {}, {}, {}, 2, 3, {2, 3}, {0, 0, 0, 0, 0, 0}}));

// Independent oracle of the counts; labels above the counts are left out of the random maps.
Counts bruteForce(const Flow& flow, const Labels& a, const Labels& b, int h, int w, int n1,
                  int n2) {
  std::map<std::pair<int, int>, std::uint32_t> pairs;
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      const int ty = y + flow[y + x * h], tx = x + flow[y + x * h + h * w];
      if (ty < 0 || ty >= h || tx < 0 || tx >= w) continue;
      if (a[y + x * h] == 0 || b[ty + tx * h] == 0) continue;
      ++pairs[{a[y + x * h], b[ty + tx * h]}];
    }
  }
  Counts k(static_cast<std::size_t>(n1) * n2, 0);
  for (const auto& [ij, c] : pairs)
    k[(ij.second - 1) * n1 + ij.first - 1] = c;
  return k;
}

TEST(RegionLinkage, MatchesBruteForceOnRandomFrames) {
  std::mt19937 rng(23);
  for (int trial = 0; trial < 30; ++trial) {
    const int h = 1 + rng() % 12, w = 1 + rng() % 12;
    const int n1 = 1 + rng() % 7, n2 = 1 + rng() % 7;
    Labels a(h * w), b(h * w);
    Flow flow(2 * h * w);
    for (auto& l : a)
      l = static_cast<std::uint16_t>(rng() % (n1 + 1));
    for (auto& l : b)
      l = static_cast<std::uint16_t>(rng() % (n2 + 1));
    for (auto& d : flow)
      d = static_cast<std::int16_t>(static_cast<int>(rng() % 7) - 3);
    const Array fa = flowField(h, w, flow), aa = labelMap(h, w, a), ba = labelMap(h, w, b);
    const host::CallResult given = link(fa, aa, ba, n1 + 2, n2);
    ASSERT_FALSE(given.failed) << given.error;
    EXPECT_EQ(host::values<std::uint32_t>(given.outputs[0].get()),
              bruteForce(flow, a, b, h, w, n1 + 2, n2))
        << "trial " << trial;
    const host::CallResult found = link(fa, aa, ba);
    ASSERT_FALSE(found.failed) << found.error;
    const auto dims = host::dims(found.outputs[0].get());
    ASSERT_EQ(dims.size(), 2u);
    EXPECT_EQ(host::values<std::uint32_t>(found.outputs[0].get()),
              bruteForce(flow, a, b, h, w, static_cast<int>(dims[0]), static_cast<int>(dims[1])))
        << "trial " << trial;
  }
}

TEST(RegionLinkage, NoOutputsRequestedStillGivesTheCounts) {
  const Array flow = flowField(1, 1, {0, 0}), a = labelMap(1, 1, {2}), b = labelMap(1, 1, {1});
  const host::CallResult r = link(flow, a, b, 0);
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[0].get()), (Counts{0, 1}));
}

TEST(RegionLinkage, LargerFlowAndSecondMapAreReadAsHByW) {
  // A is 1-by-2; the flow is 2-by-2-by-2 and B 2-by-2: their first elements are read as 1-by-2.
  const Array flow = host::make<std::int16_t>({2, 2, 2}, {0, 0, 0, 0, 9, 9, 9, 9});
  const Array a = labelMap(1, 2, {1, 2}), b = labelMap(2, 2, {2, 1, 7, 7});
  const host::CallResult r = link(flow, a, b);
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{2, 2}));
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[0].get()), (Counts{0, 1, 1, 0}));
}

// The documented checks, in order, each with its text.
using CheckCase = plugintest::CallCase;

class RegionLinkageChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(RegionLinkageChecks, FailsWithItsText) {
  plugintest::expectFailure(GetParam());
}

Array goodFlow() {
  return flowField(1, 2, Flow(4, 0));
}
Array goodMap() {
  return labelMap(1, 2, {1, 2});
}

const char* const kInputs = "Invalid number of input arguments";
const char* const kOutputs = "Invalid number of output arguments";
const char* const kFlowClass = "Flow matrix must be of type int16";
const char* const kMapClass = "Super pixel label map must be of type uint16";
const char* const kCountClass = "Number of superpixels must be of type double";
const char* const kFlowRank = "Flow matrix must be 3-dimensional";
const char* const kMapRank = "Super pixel label map must be 2-dimensional";

INSTANTIATE_TEST_SUITE_P(
    Documented, RegionLinkageChecks,
    ::testing::Values(
        CheckCase{"four inputs",
                  [] {
                    const Array f = goodFlow(), m = goodMap(), n = host::scalar(2);
                    return host::call(1, {f.get(), m.get(), m.get(), n.get()});
                  },
                  kInputs},
        CheckCase{"two inputs",
                  [] {
                    const Array f = goodFlow(), m = goodMap();
                    return host::call(1, {f.get(), m.get()});
                  },
                  kInputs},
        CheckCase{"double flow",
                  [] {
                    return link(host::make<double>({1, 2, 2}, {}), goodMap(), goodMap());
                  },
                  kFlowClass},
        CheckCase{
            "uint32 first map, also two outputs",
            [] {
              return link(goodFlow(), host::make<std::uint32_t>({1, 2}, {1, 2}), goodMap(), 2);
            },
            kMapClass},
        CheckCase{"uint32 second map",
                  [] {
                    return link(goodFlow(), goodMap(), host::make<std::uint32_t>({1, 2}, {1}));
                  },
                  kMapClass},
        CheckCase{"uint16 fifth input",
                  [] {
                    const Array f = goodFlow(), m = goodMap(), n = host::scalar(2),
                                u = host::make<std::uint16_t>({1, 1}, {2});
                    return host::call(1, {f.get(), m.get(), m.get(), n.get(), u.get()});
                  },
                  kCountClass},
        CheckCase{"single fourth input",
                  [] {
                    const Array f = goodFlow(), m = goodMap(), n = host::scalar(2),
                                s = host::make<float>({1, 1}, {2});
                    return host::call(1, {f.get(), m.get(), m.get(), s.get(), n.get()});
                  },
                  kCountClass},
        CheckCase{"two outputs, also a 2-dimensional flow",
                  [] {
                    return link(host::make<std::int16_t>({1, 2}, {}), goodMap(), goodMap(), 2);
                  },
                  kOutputs},
        CheckCase{"2-dimensional flow, also a 3-dimensional map",
                  [] {
                    return link(host::make<std::int16_t>({1, 4}, {}),
                                host::make<std::uint16_t>({1, 2, 2}, {}), goodMap());
                  },
                  kFlowRank},
        CheckCase{"4-dimensional flow",
                  [] {
                    return link(host::make<std::int16_t>({1, 2, 2, 2}, {}), goodMap(), goodMap());
                  },
                  kFlowRank},
        CheckCase{"3-dimensional first map",
                  [] {
                    return link(goodFlow(), host::make<std::uint16_t>({1, 2, 2}, {}), goodMap());
                  },
                  kMapRank},
        CheckCase{
            "3-dimensional second map, also a negative count",
            [] {
              return link(goodFlow(), goodMap(), host::make<std::uint16_t>({1, 1, 2}, {}), -1, 2);
            },
            kMapRank}));

INSTANTIATE_TEST_SUITE_P(
    Added, RegionLinkageChecks,
    ::testing::Values(
        CheckCase{"negative first count",
                  [] { return link(goodFlow(), goodMap(), goodMap(), -1, 2); },
                  "Number of superpixels must be between 0 and 2147483647."},
        CheckCase{"second count not a number",
                  [] { return link(goodFlow(), goodMap(), goodMap(), 2, NAN); },
                  "Number of superpixels must be between 0 and 2147483647."},
        CheckCase{"count beyond 32 bits",
                  [] { return link(goodFlow(), goodMap(), goodMap(), 2, 2147483648.0); },
                  "Number of superpixels must be between 0 and 2147483647."},
        CheckCase{"empty count",
                  [] {
                    const Array f = goodFlow(), m = goodMap(), n = host::scalar(2),
                                e = host::make(mxDOUBLE_CLASS, {0, 1});
                    return host::call(1, {f.get(), m.get(), m.get(), e.get(), n.get()});
                  },
                  "Number of superpixels must not be empty."},
        CheckCase{"flow smaller than H-by-W-by-2",
                  [] {
                    return link(host::make<std::int16_t>({1, 1, 2}, {}), goodMap(), goodMap());
                  },
                  "Flow matrix has 2 elements, fewer than the 1-by-2-by-2 of the label maps."},
        CheckCase{"second map smaller",
                  [] { return link(goodFlow(), goodMap(), labelMap(1, 1, {1})); },
                  "Second super pixel label map has 1 elements, fewer than the 1-by-2 of the "
                  "first."},
        CheckCase{"first map label above N1",
                  [] {
                    return link(goodFlow(), labelMap(1, 2, {1, 3}), labelMap(1, 2, {1, 1}), 2, 1);
                  },
                  "Label 3 at element 2 of the first super pixel label map exceeds the number "
                  "of superpixels 2."},
        CheckCase{"landing label above N2",
                  [] {
                    return link(flowField(1, 2, {0, 0, 1, 0}), labelMap(1, 2, {1, 1}),
                                labelMap(1, 2, {1, 5}), 1, 4);
                  },
                  "Label 5 at element 2 of the second super pixel label map exceeds the "
                  "number of superpixels 4."},
        CheckCase{"labels with counts of 0",
                  [] { return link(goodFlow(), goodMap(), goodMap(), 0, 0); },
                  "Label 1 at element 1 of the first super pixel label map exceeds the number "
                  "of superpixels 0."}));

TEST(RegionLinkage, LabelsAboveTheCountsThatTakeNoPartAreAccepted) {
  // A's label 9 leaves the frame and B's label 9 is never landed on; A's label 7 lands on 0.
  const Array flow = flowField(1, 3, {0, 0, 0, 0, 0, 5});
  const Array a = labelMap(1, 3, {1, 7, 9}), b = labelMap(1, 3, {2, 0, 9});
  const host::CallResult r = link(flow, a, b, 1, 2);
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[0].get()), (Counts{0, 1}));
}

// Sparse counts are refused like every sparse argument, not read through the host.
TEST(RegionLinkageSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<std::uint16_t> labelValues(24);
  for (std::size_t p = 0; p < 24; ++p)
    labelValues[p] = static_cast<std::uint16_t>(1 + (p % 4 >= 2) + 2 * (p >= 12));
  const host::Array flow = host::make<std::int16_t>({4, 6, 2}, std::vector<std::int16_t>(48, 0));
  const host::Array map = host::make<std::uint16_t>({4, 6}, labelValues);
  const host::Array n1 = host::scalar(4), n2 = host::scalar(4);
  EXPECT_EQ(plugintest::expectSparseRefused("regionLinkage", 1,
                                            {flow.get(), map.get(), map.get(), n1.get(), n2.get()}),
            2);
}

}  // namespace

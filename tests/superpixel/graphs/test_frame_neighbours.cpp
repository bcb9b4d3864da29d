// frameNeighbours through the standalone host: the documented checks and their single blank,
// the added refusals, hand-checked adjacency cases, and a brute-force oracle; its core against
// the straightforward per-pixel set insertion.
#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"
#include "tests/superpixel/superpixel_test_support.h"
#include "superpixel/graphs/frame_neighbours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using host::Array;
using Labels = std::vector<std::uint32_t>;

const auto labelMap = superpixeltest::labelMap<std::uint32_t>;
using superpixeltest::cells;

// The edges as (smaller, larger) pairs in output order.
using Edges = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Edges edgesOf(const host::CallResult& r) {
  const auto a = host::values<std::uint32_t>(r.outputs.at(0).get());
  const auto b = host::values<std::uint32_t>(r.outputs.at(1).get());
  Edges e;
  for (std::size_t i = 0; i < a.size(); ++i)
    e.emplace_back(a[i], b[i]);
  return e;
}

host::CallResult neighbours(const Array& labels, double n, int nlhs = 2) {
  const Array count = host::scalar(n);
  return host::call(nlhs, {labels.get(), count.get()});
}

struct AdjacencyCase {
  const char* what;
  mwSize h, w;
  std::vector<Labels> frames;
  double n;
  Edges expected;
};

void PrintTo(const AdjacencyCase& c, std::ostream* os) {
  *os << c.what;
}

class FrameNeighboursAdjacency : public ::testing::TestWithParam<AdjacencyCase> {};

TEST_P(FrameNeighboursAdjacency, ListsEachTouchingPairOnceByLargerThenSmaller) {
  const AdjacencyCase& c = GetParam();
  std::vector<Array> maps;
  for (const Labels& f : c.frames)
    maps.push_back(labelMap(c.h, c.w, f));
  const host::CallResult r = neighbours(cells(std::move(maps)), c.n);
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
  EXPECT_TRUE(r.inputsUnchanged);
  const std::vector<mwSize> shape{static_cast<mwSize>(c.expected.size()), 1};
  EXPECT_EQ(host::dims(r.outputs[0].get()), shape);
  EXPECT_EQ(host::dims(r.outputs[1].get()), shape);
  EXPECT_EQ(edgesOf(r), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameNeighboursAdjacency,
    ::testing::Values(
        AdjacencyCase{"single label", 2, 3, {{4, 4, 4, 4, 4, 4}}, 5, {}},
        AdjacencyCase{"two labels side by side", 1, 2, {{1, 2}}, 2, {{0, 1}}},
        // Rows 1 3 / 3 2: labels 1 and 2 touch only along the main diagonal.
        AdjacencyCase{"diagonal touch", 2, 2, {{1, 3, 3, 2}}, 3, {{0, 1}, {0, 2}, {1, 2}}},
        // Rows 2 1 / 3 2: labels 1 and 3 touch only along the other diagonal.
        AdjacencyCase{"corner only", 2, 2, {{2, 3, 1, 2}}, 3, {{0, 1}, {0, 2}, {1, 2}}},
        // Rows 3 2 / 1 2: pairs (0,2), (1,2), (0,1) come out by larger index, then smaller.
        AdjacencyCase{"key order", 2, 2, {{3, 1, 2, 2}}, 4, {{0, 1}, {0, 2}, {1, 2}}},
        // Columns 1 1 2 / 3 1 1: label 2 ends column 0 and label 3 starts column 1, next to
        // each other in memory but two rows apart.
        AdjacencyCase{
            "no wrap-around between columns", 3, 2, {{1, 1, 2, 3, 1, 1}}, 3, {{0, 1}, {0, 2}}},
        AdjacencyCase{
            "pair in several frames listed once", 1, 2, {{1, 2}, {2, 1}, {1, 2}}, 2, {{0, 1}}},
        AdjacencyCase{"labels numbered across frames", 1, 2, {{1, 2}, {3, 4}}, 4, {{0, 1}, {2, 3}}},
        // Label 0 becomes index 4294967295: never the smaller side, always the larger.
        AdjacencyCase{"label 0", 1, 3, {{0, 3, 1}}, 5, {{0, 2}, {2, 4294967295u}}},
        // N only packs the keys: 2.9 truncates to 2, and a larger label still decodes.
        AdjacencyCase{"label above N", 1, 2, {{1, 7}}, 2.9, {{0, 6}}}));

// Independent oracle: every pair of pixels at chessboard distance 1, sorted by (larger, smaller).
Edges bruteForce(const std::vector<Labels>& frames, int h, int w) {
  std::set<std::pair<std::uint32_t, std::uint32_t>> byLarger;
  for (const Labels& f : frames) {
    for (int p = 0; p < h * w; ++p) {
      for (int q = 0; q < h * w; ++q) {
        const int dy = p % h - q % h, dx = p / h - q / h;
        if (std::abs(dy) > 1 || std::abs(dx) > 1 || f[p] == f[q]) continue;
        byLarger.emplace(std::max(f[p], f[q]) - 1, std::min(f[p], f[q]) - 1);
      }
    }
  }
  Edges e;
  for (const auto& [b, a] : byLarger)
    e.emplace_back(a, b);
  return e;
}

TEST(FrameNeighbours, MatchesBruteForceOnRandomVideos) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 20; ++trial) {
    const int h = 1 + rng() % 9, w = 1 + rng() % 9, frameCount = 1 + rng() % 3;
    const std::uint32_t n = 1 + rng() % 12;
    std::vector<Labels> frames(frameCount, Labels(h * w));
    std::vector<Array> maps;
    for (Labels& f : frames) {
      for (auto& l : f)
        l = 1 + rng() % n;
      maps.push_back(labelMap(h, w, f));
    }
    const host::CallResult r = neighbours(cells(std::move(maps)), n);
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(edgesOf(r), bruteForce(frames, h, w)) << "trial " << trial;
  }
}

TEST(FrameNeighbours, NoOutputsRequestedGivesTheSmallerIndicesOnly) {
  const host::CallResult r = neighbours(cells(labelMap(1, 3, {2, 3, 1})), 3, 0);
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_EQ(r.outputs.size(), 1u);
  // Pairs (1,2) and (0,2): by larger index, then smaller.
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[0].get()), (std::vector<std::uint32_t>{0, 1}));
}

TEST(FrameNeighboursCore, MatchesTheReferenceSetWithManyDistinctPairs) {
  // Far more distinct pairs than the faster core's table of recent keys holds, so that its
  // slots are shared and overwritten; label 0 and labels above N (whose keys no longer
  // decode) included.
  std::mt19937 rng(8);
  const std::size_t h = 120, w = 90;
  const std::uint64_t n = 60000;
  std::vector<Labels> store(2, Labels(h * w));
  std::vector<const std::uint32_t*> frames;
  for (Labels& f : store) {
    for (std::size_t p = 0; p < h * w; ++p) {
      f[p] = (p > 0 && rng() % 2 != 0) ? f[p - 1] : static_cast<std::uint32_t>(rng() % (n + 100));
    }
    frames.push_back(f.data());
  }
  const superpixel::PairKeys keys = superpixel::frameNeighbours(frames, h, w, n);
  EXPECT_GT(keys.size(), 20000u);
  EXPECT_EQ(keys, superpixel::frameNeighboursReference(frames, h, w, n));
}

// A budget either leaves the answer whole (the same set as without one) or stops the search
// with overBudget; small budgets stop it, large ones do not, and a budget that suffices once
// suffices for every larger one. A whole answer's keys fit the budget it was found under.
TEST(FrameNeighboursCore, BudgetStopsTheSearchOrLeavesTheAnswerWhole) {
  std::mt19937 rng(5);
  const std::size_t h = 64, w = 50;
  const std::uint64_t n = 4000;
  std::vector<Labels> store(3, Labels(h * w));
  std::vector<const std::uint32_t*> frames;
  for (Labels& f : store) {
    for (std::uint32_t& l : f)
      l = 1 + static_cast<std::uint32_t>(rng() % n);
    frames.push_back(f.data());
  }
  const superpixel::PairKeys whole = superpixel::frameNeighbours(frames, h, w, n);
  ASSERT_GT(whole.size(), 10000u);
  const std::uint64_t bytes = whole.size() * superpixel::kPairKeyBytes;
  const std::uint64_t budgets[] = {0,     1000,      bytes / 2, bytes - 1,
                                   bytes, 2 * bytes, 8 * bytes, UINT64_MAX};
  bool sufficed = false;
  for (const std::uint64_t budget : budgets) {
    bool over = false;
    const superpixel::PairKeys keys = superpixel::frameNeighbours(frames, h, w, n, budget, &over);
    if (over) {
      EXPECT_FALSE(sufficed) << budget;
      EXPECT_LT(keys.size(), whole.size()) << budget;
    } else {
      sufficed = true;
      EXPECT_EQ(keys, whole) << budget;
      EXPECT_LE(keys.size() * superpixel::kPairKeyBytes, budget);
    }
    // Eight times the whole answer's own size always suffices.
    if (budget >= 8 * bytes) {
      EXPECT_FALSE(over) << budget;
    }
  }
}

TEST(FrameNeighboursCore, LargestRadixKeepsLabelZeroKeysApart) {
  const std::uint64_t n = std::uint64_t{1} << 32;
  const Labels f{0, 0xFFFFFFFFu, 1};
  const superpixel::PairKeys keys = superpixel::frameNeighbours({f.data()}, 1, 3, n);
  std::vector<std::uint32_t> a(keys.size()), b(keys.size());
  superpixel::decodePairs(keys, n, a.data(), b.data());
  // Indices 4294967295 (label 0), 4294967294 and 0 in a row: the middle one meets both.
  EXPECT_EQ(a, (std::vector<std::uint32_t>{0, 4294967294u}));
  EXPECT_EQ(b, (std::vector<std::uint32_t>{4294967294u, 4294967295u}));
}

// Every fault of the documented checks reports a single blank, before any added check.
using BlankCase = plugintest::CallCase;

class FrameNeighboursBlank : public ::testing::TestWithParam<BlankCase> {};

TEST_P(FrameNeighboursBlank, ReportsASingleBlank) {
  plugintest::expectFailure(GetParam(), " ");
}

Array good() {
  return cells(labelMap(1, 2, {1, 2}));
}

INSTANTIATE_TEST_SUITE_P(
    Checks, FrameNeighboursBlank,
    ::testing::Values(
        BlankCase{"one input",
                  [] {
                    const Array l = good();
                    return host::call(2, {l.get()});
                  }},
        BlankCase{"three inputs",
                  [] {
                    const Array l = good(), n = host::scalar(2);
                    return host::call(2, {l.get(), n.get(), n.get()});
                  }},
        BlankCase{"labels not a cell",
                  [] {
                    return neighbours(labelMap(1, 2, {1, 2}), 2);
                  }},
        BlankCase{"no frames", [] { return neighbours(host::cell({}), 2); }},
        BlankCase{"uint16 cell",
                  [] {
                    return neighbours(cells(host::make<std::uint16_t>({1, 2}, {1, 2})), 2);
                  }},
        BlankCase{"double cell after a good one",
                  [] {
                    return neighbours(
                        cells(labelMap(1, 2, {1, 2}), host::make<double>({1, 2}, {1, 2})), 2);
                  }},
        BlankCase{"unfilled cell",
                  [] {
                    std::vector<Array> v;
                    v.push_back(labelMap(1, 2, {1, 2}));
                    v.push_back(nullptr);
                    return neighbours(cells(std::move(v)), 2);
                  }},
        BlankCase{"uint32 count",
                  [] {
                    const Array l = good(), n = host::make<std::uint32_t>({1, 1}, {2});
                    return host::call(2, {l.get(), n.get()});
                  }},
        BlankCase{"one output", [] { return neighbours(good(), 2, 1); }},
        BlankCase{"three outputs", [] { return neighbours(good(), 2, 3); }},
        BlankCase{"bad count and one output: the documented check comes first",
                  [] { return neighbours(good(), 0, 1); }}));

// Input the documented checks let through but that would read outside an array or divide by
// zero.
using RefusalCase = plugintest::CallCase;

class FrameNeighboursRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(FrameNeighboursRefusal, RefusesWithItsOwnText) {
  plugintest::expectFailure(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, FrameNeighboursRefusal,
    ::testing::Values(
        RefusalCase{"second frame smaller",
                    [] { return neighbours(cells(labelMap(2, 2, {}), labelMap(1, 3, {})), 2); },
                    "Label map 2 has 3 elements but label map 1 is 2-by-2."},
        RefusalCase{"second frame larger",
                    [] { return neighbours(cells(labelMap(1, 2, {}), labelMap(2, 2, {})), 2); },
                    "Label map 2 has 4 elements but label map 1 is 1-by-2."},
        RefusalCase{"empty later frame",
                    [] { return neighbours(cells(labelMap(1, 2, {}), labelMap(0, 0, {})), 2); },
                    "Label map 2 has 0 elements but label map 1 is 1-by-2."},
        RefusalCase{"N of 0", [] { return neighbours(good(), 0.9); },
                    "Number of superpixels must be between 1 and 4294967296."},
        RefusalCase{"negative N", [] { return neighbours(good(), -2); },
                    "Number of superpixels must be between 1 and 4294967296."},
        RefusalCase{"N not a number", [] { return neighbours(good(), NAN); },
                    "Number of superpixels must be between 1 and 4294967296."},
        RefusalCase{"N beyond 2^32", [] { return neighbours(good(), 4294967297.0); },
                    "Number of superpixels must be between 1 and 4294967296."},
        RefusalCase{"empty N",
                    [] {
                      const Array l = good(), n = host::make(mxDOUBLE_CLASS, {0, 0});
                      return host::call(2, {l.get(), n.get()});
                    },
                    "Number of superpixels must not be empty."}));

TEST(FrameNeighbours, SameCountOtherShapeIsReadWithTheFirstShape) {
  // Frame 2 is 2-by-1 but read as 1-by-2 like frame 1; 2^32 is the largest radix allowed.
  const host::CallResult r =
      neighbours(cells(labelMap(1, 2, {1, 1}), labelMap(2, 1, {3, 2})), 4294967296.0);
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(edgesOf(r), (Edges{{1, 2}}));
}

TEST(FrameNeighbours, EmptyFramesGiveNoEdges) {
  const host::CallResult r = neighbours(cells(labelMap(0, 0, {}), labelMap(0, 3, {})), 1);
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{0, 1}));
}

// A sparse count is refused like every sparse argument, not read through the host.
TEST(FrameNeighboursSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<host::Array> maps;
  maps.push_back(host::make<std::uint32_t>({2, 3}, {1, 3, 1, 3, 2, 2}));
  const host::Array cells = host::cell(std::move(maps));
  const host::Array count = host::scalar(3);
  EXPECT_EQ(plugintest::expectSparseRefused("frameNeighbours", 2, {cells.get(), count.get()}), 1);
}

}  // namespace

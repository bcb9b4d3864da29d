// trackNeighbours through the standalone host: the documented checks and their single blank,
// the added refusals, hand-checked flows, and a brute-force oracle; its core against the
// straightforward per-pixel map of single-precision tallies.
#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"
#include "tests/superpixel/superpixel_test_support.h"
#include "superpixel/graphs/track_neighbours.h"
#include "tests/common/counting_new.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using host::Array;
using Labels = std::vector<std::uint32_t>;
using Flow = std::vector<std::int16_t>;  // plane 0 (rows) then plane 1 (columns)

const auto labelMap = superpixeltest::labelMap<std::uint32_t>;
using superpixeltest::cells;
using superpixeltest::flowField;

host::CallResult track(const Array& flows, const Array& labels, double n, int nlhs = 3) {
  const Array count = host::scalar(n);
  return host::call(nlhs, {flows.get(), labels.get(), count.get()});
}

using Edge = std::tuple<std::uint32_t, std::uint32_t, float>;
using Edges = std::vector<Edge>;

Edges edgesOf(const host::CallResult& r) {
  const auto a = host::values<std::uint32_t>(r.outputs.at(0).get());
  const auto b = host::values<std::uint32_t>(r.outputs.at(1).get());
  const auto w = host::values<float>(r.outputs.at(2).get());
  Edges e;
  for (std::size_t i = 0; i < a.size(); ++i)
    e.emplace_back(a[i], b[i], w[i]);
  return e;
}

struct LinkCase {
  const char* what;
  mwSize h, w;
  std::vector<Flow> flows;
  std::vector<Labels> labels;
  double n;
  Edges expected;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
  *os << c.what;
}

class TrackNeighboursLinks : public ::testing::TestWithParam<LinkCase> {};

TEST_P(TrackNeighboursLinks, WeighsEachPairByItsSourcesLandedPixels) {
  const LinkCase& c = GetParam();
  std::vector<Array> flows, labels;
  for (const Flow& f : c.flows)
    flows.push_back(flowField(c.h, c.w, f));
  for (const Labels& l : c.labels)
    labels.push_back(labelMap(c.h, c.w, l));
  const host::CallResult r = track(cells(std::move(flows)), cells(std::move(labels)), c.n);
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
  EXPECT_TRUE(r.inputsUnchanged);
  const std::vector<mwSize> shape{static_cast<mwSize>(c.expected.size()), 1};
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(host::dims(r.outputs[k].get()), shape);
  EXPECT_EQ(edgesOf(r), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrackNeighboursLinks,
    ::testing::Values(
        LinkCase{"zero flow between identical maps",
                 2,
                 2,
                 {Flow(8, 0)},
                 {{1, 2, 2, 3}, {1, 2, 2, 3}},
                 3,
                 {{0, 0, 1.0f}, {1, 1, 1.0f}, {2, 2, 1.0f}}},
        // Pixel (0,0) moves to row -1 and pixel (0,1) to column W: neither counts for label 1.
        LinkCase{"row -1 and column W",
                 2,
                 2,
                 {{-1, 0, 0, 0, 0, 0, 1, 0}},
                 {{1, 1, 1, 1}, {2, 3, 4, 5}},
                 5,
                 {{0, 2, 0.5f}, {0, 4, 0.5f}}},
        // Pixel (1,0) moves to row H and pixel (1,1) to column -1.
        LinkCase{"row H and column -1",
                 2,
                 2,
                 {{0, 1, 0, 0, 0, 0, 0, -2}},
                 {{1, 1, 1, 1}, {2, 3, 4, 5}},
                 5,
                 {{0, 1, 0.5f}, {0, 3, 0.5f}}},
        LinkCase{"three of four pixels on label 5",
                 1,
                 4,
                 {Flow(8, 0)},
                 {{1, 1, 1, 1}, {5, 5, 5, 9}},
                 9,
                 {{0, 4, 0.75f}, {0, 8, 0.25f}}},
        // Step 0 votes (0,0) and (0,1) once each, step 1 votes (0,1) and (1,2): label 1 landed
        // three times over both steps.
        LinkCase{"same pair in two steps",
                 1,
                 2,
                 {Flow(4, 0), Flow(4, 0)},
                 {{1, 1}, {1, 2}, {2, 3}},
                 3,
                 {{0, 0, 1.0f / 3}, {0, 1, 2.0f / 3}, {1, 2, 1.0f}}},
        // Flow moves both pixels one column right: pixel 0 lands on column 1, pixel 1 leaves.
        LinkCase{"shift right", 1, 2, {{0, 0, 1, 1}}, {{1, 2}, {3, 4}}, 4, {{0, 3, 1.0f}}},
        LinkCase{"target label 0 is index 4294967295",
                 1,
                 1,
                 {{0, 0}},
                 {{1}, {0}},
                 1,
                 {{0, 4294967295u, 1.0f}}},
        LinkCase{"source label 0 that leaves the frame takes no part",
                 1,
                 2,
                 {{0, 0, -1, 0}},
                 {{0, 1}, {1, 1}},
                 1.5,
                 {{0, 0, 1.0f}}},
        LinkCase{"target label above N decodes", 1, 1, {{0, 0}}, {{2}, {9}}, 2, {{1, 8, 1.0f}}}));

// Independent oracle: counts per (source, target) and per source, sorted by target then source.
Edges bruteForce(const std::vector<Flow>& flows, const std::vector<Labels>& labels, int h, int w) {
  std::map<std::pair<std::uint32_t, std::uint32_t>, double> votes;  // (b, a) -> votes
  std::map<std::uint32_t, double> landed;
  for (std::size_t f = 0; f < flows.size(); ++f) {
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) {
        const int ty = y + flows[f][y + x * h], tx = x + flows[f][y + x * h + h * w];
        if (ty < 0 || ty >= h || tx < 0 || tx >= w) continue;
        const std::uint32_t a = labels[f][y + x * h] - 1, b = labels[f + 1][ty + tx * h] - 1;
        votes[{b, a}] += 1;
        landed[a] += 1;
      }
    }
  }
  Edges e;
  for (const auto& [ba, v] : votes) {
    e.emplace_back(ba.second, ba.first,
                   static_cast<float>(v) / static_cast<float>(landed[ba.second]));
  }
  return e;
}

// A random video: blocky labels numbered across frames, small flows that sometimes leave.
struct RandomVideo {
  int h, w;
  std::uint32_t n;
  std::vector<Flow> flows;
  std::vector<Labels> labels;
};

RandomVideo randomVideo(std::mt19937& rng, int maxSide) {
  RandomVideo v;
  v.h = 1 + rng() % maxSide;
  v.w = 1 + rng() % maxSide;
  const int steps = 1 + rng() % 3, perFrame = 1 + rng() % 6;
  v.n = static_cast<std::uint32_t>(perFrame * (steps + 1));
  for (int f = 0; f <= steps; ++f) {
    Labels l(v.h * v.w);
    for (std::size_t p = 0; p < l.size(); ++p) {
      l[p] = (p > 0 && rng() % 4 != 0) ? l[p - 1] : 1 + f * perFrame + rng() % perFrame;
    }
    v.labels.push_back(l);
  }
  for (int f = 0; f < steps; ++f) {
    Flow d(2 * v.h * v.w);
    for (auto& x : d)
      x = static_cast<std::int16_t>(static_cast<int>(rng() % 5) - 2);
    v.flows.push_back(d);
  }
  return v;
}

TEST(TrackNeighbours, MatchesBruteForceOnRandomVideos) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 25; ++trial) {
    const RandomVideo v = randomVideo(rng, 9);
    std::vector<Array> flows, labels;
    for (const Flow& f : v.flows)
      flows.push_back(flowField(v.h, v.w, f));
    for (const Labels& l : v.labels)
      labels.push_back(labelMap(v.h, v.w, l));
    const host::CallResult r = track(cells(std::move(flows)), cells(std::move(labels)), v.n);
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(edgesOf(r), bruteForce(v.flows, v.labels, v.h, v.w)) << "trial " << trial;
  }
}

TEST(TrackNeighbours, NoOutputsRequestedGivesTheSourceIndicesOnly) {
  const host::CallResult r = track(cells(flowField(1, 2, Flow(4, 0))),
                                   cells(labelMap(1, 2, {2, 1}), labelMap(1, 2, {1, 2})), 2, 0);
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_EQ(r.outputs.size(), 1u);
  // Pairs (1,0) and (0,1), sorted by target: source 1 first.
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[0].get()), (std::vector<std::uint32_t>{1, 0}));
}

TEST(TrackNeighboursCore, MatchesTheReferenceMapWithManyDistinctPairs) {
  // Far more distinct pairs than the faster core's vote table holds, so that its slots are
  // shared and evicted, with a few pairs voted for again and again.
  std::mt19937 rng(21);
  const std::size_t h = 100, w = 80;
  const std::uint32_t n = 30000;
  std::vector<Labels> labels(3, Labels(h * w));
  std::vector<Flow> flows(2, Flow(2 * h * w));
  for (Labels& l : labels) {
    for (std::size_t p = 0; p < h * w; ++p)
      l[p] = p % 7 == 0 ? 1 : 1 + rng() % n;
  }
  for (Flow& d : flows) {
    for (auto& v : d)
      v = static_cast<std::int16_t>(static_cast<int>(rng() % 9) - 4);
  }
  const std::vector<superpixel::FrameStep> steps{
      {flows[0].data(), labels[0].data(), labels[1].data()},
      {flows[1].data(), labels[1].data(), labels[2].data()}};
  const superpixel::TrackVotes votes = superpixel::countTrackVotes(steps, h, w, n);
  ASSERT_FALSE(votes.fault.found);
  EXPECT_GT(votes.votes.size(), 10000u);
  const std::size_t e = votes.votes.size();
  std::vector<std::uint32_t> source(e), target(e);
  std::vector<float> weight(e);
  superpixel::writeWeightedEdges(votes, n, source.data(), target.data(), weight.data());
  const superpixel::WeightedEdges reference = superpixel::trackNeighboursReference(steps, h, w, n);
  EXPECT_EQ(source, reference.source);
  EXPECT_EQ(target, reference.target);
  EXPECT_EQ(weight, reference.weight);
}

// A budget either leaves the votes whole (the same map as without one) or stops counting with
// overBudget; a budget that suffices once suffices for every larger one, and whole votes fit
// the budget they were counted under.
TEST(TrackNeighboursCore, BudgetStopsCountingOrLeavesTheVotesWhole) {
  std::mt19937 rng(9);
  const std::size_t h = 60, w = 70;
  const std::uint32_t n = 20000;
  std::vector<Labels> labels(2, Labels(h * w));
  for (Labels& l : labels) {
    for (std::uint32_t& v : l)
      v = 1 + rng() % n;
  }
  const Flow still(2 * h * w, 0);
  const std::vector<superpixel::FrameStep> steps{
      {still.data(), labels[0].data(), labels[1].data()}};
  const superpixel::TrackVotes whole = superpixel::countTrackVotes(steps, h, w, n);
  ASSERT_GT(whole.votes.size(), 4000u);
  ASSERT_FALSE(whole.overBudget);
  const std::uint64_t bytes = whole.votes.size() * superpixel::kVoteBytes;
  const std::uint64_t budgets[] = {0,     1000,      bytes / 2, bytes - 1,
                                   bytes, 2 * bytes, 8 * bytes, UINT64_MAX};
  bool sufficed = false;
  for (const std::uint64_t budget : budgets) {
    const superpixel::TrackVotes votes = superpixel::countTrackVotes(steps, h, w, n, budget);
    ASSERT_FALSE(votes.fault.found);
    if (votes.overBudget) {
      EXPECT_FALSE(sufficed) << budget;
    } else {
      sufficed = true;
      EXPECT_EQ(votes.votes, whole.votes) << budget;
      EXPECT_LE(votes.votes.size() * superpixel::kVoteBytes, budget);
    }
    // Eight times the whole answer's own size always suffices.
    if (budget >= 8 * bytes) {
      EXPECT_FALSE(votes.overBudget) << budget;
    }
  }
}

// Labels near 2^32 cost nothing more than small ones: the landed counts come from the votes,
// and writing the edges takes no more than trackNeighboursBytes says.
TEST(TrackNeighboursCore, MemoryFollowsTheLabelsPresentNotTheirValues) {
  const std::size_t h = 3, w = 2;
  const Labels first{4294967295u, 4294967295u, 1000000000u, 7, 7, 4294967295u};
  const Labels second{5, 4294967295u, 5, 5, 1000000000u, 5};
  const Flow zero(2 * h * w, 0);
  const std::uint64_t n = std::uint64_t{1} << 32;
  const std::vector<superpixel::FrameStep> steps{{zero.data(), first.data(), second.data()}};
  countingnew::resetPeak();
  const superpixel::TrackVotes votes = superpixel::countTrackVotes(steps, h, w, n);
  EXPECT_LT(countingnew::peakSinceReset(), 1u << 20);
  ASSERT_FALSE(votes.fault.found);
  const std::size_t e = votes.votes.size();
  countingnew::resetPeak();
  std::vector<std::uint32_t> source(e), target(e);
  std::vector<float> weight(e);
  superpixel::writeWeightedEdges(votes, n, source.data(), target.data(), weight.data());
  EXPECT_GE(membudget::peakBytes(superpixel::trackNeighboursBytes(e), 0).value(),
            countingnew::peakSinceReset());
  // Sorted by target, then source. Label 4294967295 (index 4294967294) has three pixels, two
  // landing on label 5 and one on itself; label 7 has two, label 1000000000 one.
  EXPECT_EQ(source, (std::vector<std::uint32_t>{6, 999999999u, 4294967294u, 6, 4294967294u}));
  EXPECT_EQ(target, (std::vector<std::uint32_t>{4, 4, 4, 999999999u, 4294967294u}));
  EXPECT_EQ(weight, (std::vector<float>{0.5f, 1.0f, 2.0f / 3, 0.5f, 1.0f / 3}));
}

TEST(TrackNeighboursCore, TallyFollowsRepeatedSinglePrecisionAddition) {
  float tally = 0.0f;
  const std::uint64_t last = (std::uint64_t{1} << 24) + 3;
  for (std::uint64_t votes = 0; votes <= last; ++votes) {
    if (votes < 4 || votes + 4 > last || votes % 1000003 == 0) {
      ASSERT_EQ(superpixel::voteTally(votes), tally) << votes;
    }
    tally += 1.0f;
  }
  EXPECT_EQ(superpixel::voteTally(std::uint64_t{1} << 40), 16777216.0f);
}

TEST(TrackNeighboursCore, StopsAtTheFirstLandingPixelWithALabelOutsideTheCount) {
  // Step 0 is clean; in step 1 element 1 leaves the frame (label 0 ignored), element 2 lands
  // with label 4 > n = 3.
  const Flow still(6, 0), leaving{0, -2, 0, 0, 0, 0};
  const Labels l0{1, 2, 3}, l1{1, 0, 4}, l2{1, 1, 1};
  const std::vector<superpixel::FrameStep> steps{{still.data(), l0.data(), l1.data()},
                                                 {leaving.data(), l1.data(), l2.data()}};
  const superpixel::TrackVotes votes = superpixel::countTrackVotes(steps, 3, 1, 3);
  ASSERT_TRUE(votes.fault.found);
  EXPECT_EQ(votes.fault.step, 1u);
  EXPECT_EQ(votes.fault.element, 2u);
  EXPECT_EQ(votes.fault.label, 4u);
}

// Every fault of the documented checks reports a single blank, before any added check.
using BlankCase = plugintest::CallCase;

class TrackNeighboursBlank : public ::testing::TestWithParam<BlankCase> {};

TEST_P(TrackNeighboursBlank, ReportsASingleBlank) {
  plugintest::expectFailure(GetParam(), " ");
}

Array goodFlows() {
  return cells(flowField(1, 2, Flow(4, 0)));
}
Array goodLabels() {
  return cells(labelMap(1, 2, {1, 2}), labelMap(1, 2, {3, 4}));
}

INSTANTIATE_TEST_SUITE_P(
    Checks, TrackNeighboursBlank,
    ::testing::Values(
        BlankCase{"two inputs",
                  [] {
                    const Array f = goodFlows(), l = goodLabels();
                    return host::call(3, {f.get(), l.get()});
                  }},
        BlankCase{"flows not a cell",
                  [] { return track(flowField(1, 2, Flow(4, 0)), goodLabels(), 4); }},
        BlankCase{"labels not a cell",
                  [] {
                    return track(goodFlows(), labelMap(1, 2, {1, 2}), 4);
                  }},
        BlankCase{
            "two label maps for two flow fields",
            [] { return track(cells(flowField(1, 2, {}), flowField(1, 2, {})), goodLabels(), 4); }},
        BlankCase{"no flow field",
                  [] {
                    return track(host::cell({}), cells(labelMap(1, 2, {1, 2})), 4);
                  }},
        BlankCase{"label map of another size than its flow",
                  [] {
                    return track(goodFlows(),
                                 cells(labelMap(1, 3, {1, 2, 2}), labelMap(1, 2, {3, 4})), 4);
                  }},
        BlankCase{
            "last label map of another size",
            [] {
              return track(goodFlows(), cells(labelMap(1, 2, {1, 2}), labelMap(2, 2, {3, 4})), 4);
            }},
        BlankCase{"single flow",
                  [] {
                    return track(cells(host::make<float>({1, 2, 2}, {})), goodLabels(), 4);
                  }},
        BlankCase{"empty double flow",
                  [] {
                    return track(cells(host::make(mxDOUBLE_CLASS, {0, 0})),
                                 cells(labelMap(1, 2, {1, 2}), labelMap(0, 0, {})), 4);
                  }},
        BlankCase{"uint16 first label map",
                  [] {
                    return track(
                        goodFlows(),
                        cells(host::make<std::uint16_t>({1, 2}, {1, 2}), labelMap(1, 2, {3, 4})),
                        4);
                  }},
        BlankCase{"uint16 last label map",
                  [] {
                    return track(
                        goodFlows(),
                        cells(labelMap(1, 2, {1, 2}), host::make<std::uint16_t>({1, 2}, {3, 4})),
                        4);
                  }},
        BlankCase{"uint32 count",
                  [] {
                    const Array f = goodFlows(), l = goodLabels(),
                                n = host::make<std::uint32_t>({1, 1}, {4});
                    return host::call(3, {f.get(), l.get(), n.get()});
                  }},
        BlankCase{"one output", [] { return track(goodFlows(), goodLabels(), 4, 1); }},
        BlankCase{"two outputs", [] { return track(goodFlows(), goodLabels(), 4, 2); }},
        BlankCase{"four outputs", [] { return track(goodFlows(), goodLabels(), 4, 4); }},
        BlankCase{"bad label and two outputs: the documented check comes first", [] {
                    return track(goodFlows(), cells(labelMap(1, 2, {0, 0}), labelMap(1, 2, {3, 4})),
                                 4, 2);
                  }}));

// Input the documented checks let through but that would read or write outside an array or
// divide by zero.
using RefusalCase = plugintest::CallCase;

class TrackNeighboursRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TrackNeighboursRefusal, RefusesWithItsOwnText) {
  plugintest::expectFailure(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, TrackNeighboursRefusal,
    ::testing::Values(
        RefusalCase{"empty second flow field",
                    [] {
                      return track(cells(flowField(1, 2, {}), flowField(0, 0, {})),
                                   cells(labelMap(1, 2, {1, 1}), labelMap(1, 2, {1, 1}),
                                         labelMap(1, 2, {1, 1})),
                                   2);
                    },
                    "Flow field 2 is empty."},
        RefusalCase{"empty middle label map",
                    [] {
                      return track(
                          cells(flowField(1, 2, {}), flowField(1, 2, {})),
                          cells(labelMap(1, 2, {1, 1}), labelMap(0, 0, {}), labelMap(1, 2, {1, 1})),
                          2);
                    },
                    "Label map 2 is empty."},
        RefusalCase{"every pair has an empty cell",
                    [] {
                      return track(cells(flowField(0, 0, {})),
                                   cells(labelMap(1, 2, {1, 1}), labelMap(0, 0, {})), 2);
                    },
                    "Flow field 1 is empty."},
        // Flow 1 is 1-by-3 (read by its own pair as 1-by-1), the frames 1-by-2.
        RefusalCase{"flow field smaller than the frames",
                    [] {
                      return track(cells(host::make<std::int16_t>({1, 3}, {}), flowField(1, 2, {})),
                                   cells(labelMap(1, 1, {1}), labelMap(1, 2, {1, 1}),
                                         labelMap(1, 2, {1, 1})),
                                   2);
                    },
                    "Flow field 1 has 3 elements, fewer than the 1-by-2-by-2 of the frames."},
        RefusalCase{"label map larger than the frames",
                    [] {
                      return track(
                          cells(flowField(1, 2, {}), flowField(1, 1, {})),
                          cells(labelMap(1, 2, {1, 1}), labelMap(1, 1, {1}), labelMap(1, 1, {1})),
                          2);
                    },
                    "Label map 1 has 2 elements but the frames are 1-by-1."},
        RefusalCase{"N of 0", [] { return track(goodFlows(), goodLabels(), 0); },
                    "Number of superpixels must be between 1 and 4294967296."},
        RefusalCase{"negative N", [] { return track(goodFlows(), goodLabels(), -4); },
                    "Number of superpixels must be between 1 and 4294967296."},
        RefusalCase{"N not a number", [] { return track(goodFlows(), goodLabels(), NAN); },
                    "Number of superpixels must be between 1 and 4294967296."},
        RefusalCase{"N beyond 2^32", [] { return track(goodFlows(), goodLabels(), 1e19); },
                    "Number of superpixels must be between 1 and 4294967296."},
        RefusalCase{
            "empty N",
            [] {
              const Array f = goodFlows(), l = goodLabels(), n = host::make(mxDOUBLE_CLASS, {1, 0});
              return host::call(3, {f.get(), l.get(), n.get()});
            },
            "Number of superpixels must not be empty."},
        RefusalCase{
            "landing source label 0",
            [] {
              return track(goodFlows(), cells(labelMap(1, 2, {1, 0}), labelMap(1, 2, {3, 4})), 4);
            },
            "Label 0 at element 2 of the label map of frame 1 is outside 1..4."},
        RefusalCase{"landing source label above N in the second step",
                    [] {
                      return track(cells(flowField(1, 2, {}), flowField(1, 2, {})),
                                   cells(labelMap(1, 2, {1, 2}), labelMap(1, 2, {3, 1}),
                                         labelMap(1, 2, {1, 2})),
                                   2);
                    },
                    "Label 3 at element 1 of the label map of frame 2 is outside 1..2."}));

// A sparse count is refused like every sparse argument, not read through the host.
TEST(TrackNeighboursSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<host::Array> flows, maps;
  flows.push_back(host::make<std::int16_t>({2, 3, 2}, std::vector<std::int16_t>(12, 0)));
  maps.push_back(host::make<std::uint32_t>({2, 3}, {1, 3, 1, 3, 2, 2}));
  maps.push_back(host::make<std::uint32_t>({2, 3}, {1, 3, 1, 3, 2, 2}));
  const host::Array flowCells = host::cell(std::move(flows));
  const host::Array mapCells = host::cell(std::move(maps));
  const host::Array count = host::scalar(3);
  EXPECT_EQ(plugintest::expectSparseRefused("trackNeighbours", 3,
                                            {flowCells.get(), mapCells.get(), count.get()}),
            1);
}

}  // namespace

#include "superpixel/graphs/track_neighbours.h"

#include "superpixel/graphs/flow_landing.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <utility>

namespace superpixel {

namespace {

// Votes for one pair, gathered before they reach the map.
struct Run {
  std::uint64_t key;
  std::uint64_t count;
};

}  // namespace

TrackVotes countTrackVotes(const std::vector<FrameStep>& steps, std::size_t height,
                           std::size_t width, std::uint64_t n, std::uint64_t budget) {
  assert(n >= 1 && n <= (std::uint64_t{1} << 32));
  TrackVotes out;
  std::vector<Run> runs;
  // The bytes held with `slots` slots of run buffer and `nodes` map nodes, in double so that
  // no product wraps.
  const auto fits = [&](double slots, double nodes) {
    return slots * sizeof(Run) + nodes * kVoteBytes <= double(budget);
  };
  // A full buffer doubles, and the old one is held while it is copied.
  const auto push = [&](const Run& run) {
    if (runs.size() == runs.capacity() &&
        !fits(3.0 * std::max<double>(runs.capacity(), 8), double(out.votes.size()))) {
      out.overBudget = true;
      return false;
    }
    runs.push_back(run);
    return true;
  };
  // Votes are first gathered in a small direct-mapped table of (key, count): the pixels of a
  // superpixel mostly vote for the same few pairs, so the table absorbs most of them and only
  // evicted or final entries reach the per-step sort. An entry of count 0 is empty.
  constexpr int kTableBits = 12;
  std::vector<Run> table(std::size_t{1} << kTableBits, Run{0, 0});
  for (std::size_t f = 0; f < steps.size(); ++f) {
    const FrameStep& step = steps[f];
    runs.clear();
    // Column-major order walks memory in sequence; the counts are integers, so the order in
    // which they are added does not change them.
    const bool complete =
        forEachLanding(step.flow, height, width, [&](std::size_t p, std::size_t q) {
          const std::uint32_t a = step.source[p] - 1u;
          if (a >= n) {
            out.fault = {true, f, p, step.source[p]};
            return false;
          }
          const std::uint32_t b = step.target[q] - 1u;
          const std::uint64_t key = std::uint64_t{b} * n + a;
          Run& slot = table[(key * 0x9E3779B97F4A7C15ull) >> (64 - kTableBits)];
          if (slot.count != 0 && slot.key == key) {
            ++slot.count;
          } else {
            if (slot.count != 0 && !push(slot)) return false;
            slot = {key, 1};
          }
          return true;
        });
    if (!complete) return out;
    for (Run& slot : table) {
      if (slot.count != 0 && !push(slot)) return out;
      slot = {0, 0};
    }
    // At most every run becomes a node, while the buffer is still held.
    if (!fits(double(runs.capacity()), double(out.votes.size()) + double(runs.size()))) {
      out.overBudget = true;
      return out;
    }
    // Merge the runs of this step per key, then add them to the map in ascending order.
    std::sort(runs.begin(), runs.end(), [](const Run& l, const Run& r) { return l.key < r.key; });
    auto hint = out.votes.begin();
    for (std::size_t i = 0; i < runs.size();) {
      std::uint64_t count = 0;
      const std::uint64_t key = runs[i].key;
      for (; i < runs.size() && runs[i].key == key; ++i)
        count += runs[i].count;
      hint = out.votes.emplace_hint(hint, key, 0);
      hint->second += count;
      ++hint;
    }
  }
  return out;
}

float voteTally(std::uint64_t votes) {
  // Every integer up to 2^24 is a float; 2^24 + 1 rounds back to 2^24, so the tally sticks
  // there.
  constexpr std::uint64_t kStuck = std::uint64_t{1} << 24;
  return static_cast<float>(std::min(votes, kStuck));
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> landedCounts(const TrackVotes& votes,
                                                                  std::uint64_t n) {
  using Landed = std::pair<std::uint32_t, std::uint32_t>;
  std::vector<Landed> all;
  all.reserve(votes.votes.size());
  // Counts are added modulo 2^32, as a 32-bit counter per label would hold them.
  for (const auto& [key, count] : votes.votes)
    all.emplace_back(static_cast<std::uint32_t>(key % n), static_cast<std::uint32_t>(count));
  std::sort(all.begin(), all.end(),
            [](const Landed& l, const Landed& r) { return l.first < r.first; });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (kept > 0 && all[kept - 1].first == all[i].first) {
      all[kept - 1].second += all[i].second;
    } else {
      all[kept++] = all[i];
    }
  }
  all.resize(kept);
  return all;
}

void writeWeightedEdges(const TrackVotes& votes, std::uint64_t n, std::uint32_t* source,
                        std::uint32_t* target, float* weight) {
  assert(n >= 1 && !votes.fault.found);
  const auto landed = landedCounts(votes, n);
  std::size_t i = 0;
  for (const auto& [key, count] : votes.votes) {
    const auto a = static_cast<std::uint32_t>(key % n);
    const auto of = std::lower_bound(landed.begin(), landed.end(), a,
                                     [](const std::pair<std::uint32_t, std::uint32_t>& l,
                                        std::uint32_t v) { return l.first < v; });
    assert(of != landed.end() && of->first == a);
    source[i] = a;
    target[i] = static_cast<std::uint32_t>(key / n);
    weight[i] = voteTally(count) / static_cast<float>(of->second);
    ++i;
  }
}

membudget::Estimate trackNeighboursBytes(std::uint64_t edges) {
  using membudget::Bytes;
  membudget::Estimate need;
  need.outputs = Bytes::product({edges, 2 * sizeof(std::uint32_t) + sizeof(float)});
  need.working = Bytes::product({edges, sizeof(std::pair<std::uint32_t, std::uint32_t>)});
  need.what = std::to_string(edges) + " edges";
  return need;
}

WeightedEdges trackNeighboursReference(const std::vector<FrameStep>& steps, std::size_t height,
                                       std::size_t width, std::uint64_t n) {
  std::map<std::uint64_t, float> tally;
  std::vector<std::uint32_t> landed(static_cast<std::size_t>(n), 0u);
  const auto h = static_cast<std::int32_t>(height);
  const auto w = static_cast<std::int32_t>(width);
  for (const FrameStep& step : steps) {
    for (std::int32_t y = 0; y < h; ++y) {
      for (std::int32_t x = 0; x < w; ++x) {
        const std::int32_t p = y + x * h;
        const std::int32_t ty = y + step.flow[p];
        const std::int32_t tx = x + step.flow[p + h * w];
        if (static_cast<std::uint32_t>(ty) >= static_cast<std::uint32_t>(h) ||
            static_cast<std::uint32_t>(tx) >= static_cast<std::uint32_t>(w)) {
          continue;
        }
        const std::uint32_t a = step.source[p] - 1u;
        const std::uint32_t b = step.target[ty + tx * h] - 1u;
        tally[std::uint64_t{b} * n + a] += 1.0f;
        ++landed[a];
      }
    }
  }
  WeightedEdges edges;
  for (const auto& [key, votes] : tally) {
    const std::uint64_t a = key % n;
    edges.source.push_back(static_cast<std::uint32_t>(a));
    edges.target.push_back(static_cast<std::uint32_t>(key / n));
    edges.weight.push_back(votes / static_cast<float>(landed[static_cast<std::size_t>(a)]));
  }
  return edges;
}

}  // namespace superpixel

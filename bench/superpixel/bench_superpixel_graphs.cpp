// The superpixel graph cores on a generated video: 640x480 frames cut into about 2200 wavy
// superpixels each, moving by a steady flow with per-pixel jitter. Counters give the time
// per frame (per frame step for the flow-based graphs).
#include "superpixel/graphs/frame_neighbours.h"
#include "superpixel/graphs/region_linkage.h"
#include "superpixel/graphs/track_neighbours.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kHeight = 480, kWidth = 640, kCell = 12;
constexpr std::size_t kRows = kHeight / kCell, kColumns = kWidth / kCell;
constexpr std::uint32_t kPerFrame = kRows * kColumns;
constexpr int kMoveRows = 1, kMoveColumns = 2;  // the steady part of the flow, per frame

// Label (1..kPerFrame) of pixel (y, x) of frame f: grid cells with wavy borders that move by
// (kMoveRows, kMoveColumns) per frame, so the flow carries most pixels onto the same cell.
std::uint32_t cellOf(std::size_t y, std::size_t x, int f) {
  const double sy = static_cast<double>(y) - f * kMoveRows;
  const double sx = static_cast<double>(x) - f * kMoveColumns;
  const double wy = sy + 3 * std::sin(sx / 9.0);
  const double wx = sx + 3 * std::cos(sy / 7.0);
  const auto row = static_cast<std::int64_t>(std::floor(wy / kCell));
  const auto column = static_cast<std::int64_t>(std::floor(wx / kCell));
  const auto r = static_cast<std::uint32_t>(((row % kRows) + kRows) % kRows);
  const auto c = static_cast<std::uint32_t>(((column % kColumns) + kColumns) % kColumns);
  return 1 + r + c * kRows;
}

struct Video {
  std::vector<std::vector<std::uint32_t>> labels;       // numbered across the video
  std::vector<std::vector<std::uint16_t>> frameLabels;  // numbered within each frame
  std::vector<std::vector<std::int16_t>> flows;
  std::uint64_t n = 0;
};

Video makeVideo(int frames) {
  Video v;
  std::mt19937 rng(1);
  const std::size_t plane = kHeight * kWidth;
  for (int f = 0; f < frames; ++f) {
    std::vector<std::uint32_t> l(plane);
    std::vector<std::uint16_t> fl(plane);
    for (std::size_t x = 0; x < kWidth; ++x) {
      for (std::size_t y = 0; y < kHeight; ++y) {
        const std::uint32_t c = cellOf(y, x, f);
        l[y + x * kHeight] = c + static_cast<std::uint32_t>(f) * kPerFrame;
        fl[y + x * kHeight] = static_cast<std::uint16_t>(c);
      }
    }
    v.labels.push_back(std::move(l));
    v.frameLabels.push_back(std::move(fl));
  }
  for (int f = 0; f + 1 < frames; ++f) {
    std::vector<std::int16_t> d(2 * plane);
    for (std::size_t p = 0; p < plane; ++p) {
      const int jitter = static_cast<int>(rng() % 16);  // one pixel in eight is off by one
      d[p] = static_cast<std::int16_t>(kMoveRows + (jitter == 0 ? -1 : jitter == 1 ? 1 : 0));
      d[p + plane] = static_cast<std::int16_t>(kMoveColumns + (jitter == 2   ? -1
                                                               : jitter == 3 ? 1
                                                                             : 0));
    }
    v.flows.push_back(std::move(d));
  }
  v.n = std::uint64_t{kPerFrame} * static_cast<std::uint64_t>(frames);
  return v;
}

void perFrame(benchmark::State& state, int frames) {
  // Inverted rate of frames per second: seconds per frame, printed with its unit.
  state.counters["per_frame"] = benchmark::Counter(
      frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <class Build>
void frameNeighboursBench(benchmark::State& state, Build build) {
  const int frames = static_cast<int>(state.range(0));
  const Video v = makeVideo(frames);
  std::vector<const std::uint32_t*> maps;
  for (const auto& l : v.labels)
    maps.push_back(l.data());
  for (auto _ : state) {
    const superpixel::PairKeys keys = build(maps, kHeight, kWidth, v.n);
    std::vector<std::uint32_t> a(keys.size()), b(keys.size());
    superpixel::decodePairs(keys, v.n, a.data(), b.data());
    benchmark::DoNotOptimize(a.data());
    state.counters["edges"] = static_cast<double>(keys.size());
  }
  perFrame(state, frames);
}

void BM_FrameNeighbours(benchmark::State& state) {
  frameNeighboursBench(state, [](const auto& maps, auto height, auto width, auto n) {
    return superpixel::frameNeighbours(maps, height, width, n);
  });
}
void BM_FrameNeighboursReference(benchmark::State& state) {
  frameNeighboursBench(state, superpixel::frameNeighboursReference);
}
BENCHMARK(BM_FrameNeighbours)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameNeighboursReference)->Arg(4)->Unit(benchmark::kMillisecond);

std::vector<superpixel::FrameStep> stepsOf(const Video& v) {
  std::vector<superpixel::FrameStep> steps;
  for (std::size_t f = 0; f < v.flows.size(); ++f) {
    steps.push_back({v.flows[f].data(), v.labels[f].data(), v.labels[f + 1].data()});
  }
  return steps;
}

void BM_TrackNeighbours(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  const Video v = makeVideo(frames);
  const std::vector<superpixel::FrameStep> steps = stepsOf(v);
  for (auto _ : state) {
    const superpixel::TrackVotes votes = superpixel::countTrackVotes(steps, kHeight, kWidth, v.n);
    const std::size_t e = votes.votes.size();
    std::vector<std::uint32_t> a(e), b(e);
    std::vector<float> w(e);
    superpixel::writeWeightedEdges(votes, v.n, a.data(), b.data(), w.data());
    benchmark::DoNotOptimize(w.data());
    state.counters["edges"] = static_cast<double>(e);
  }
  perFrame(state, frames - 1);
}

void BM_TrackNeighboursReference(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  const Video v = makeVideo(frames);
  const std::vector<superpixel::FrameStep> steps = stepsOf(v);
  for (auto _ : state) {
    const superpixel::WeightedEdges edges =
        superpixel::trackNeighboursReference(steps, kHeight, kWidth, v.n);
    benchmark::DoNotOptimize(edges.weight.data());
  }
  perFrame(state, frames - 1);
}
BENCHMARK(BM_TrackNeighbours)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackNeighboursReference)->Arg(4)->Unit(benchmark::kMillisecond);

// One call per frame pair, as a script calls it along a video: the largest labels, the
// zero-filled N1-by-N2 output (about 19 MB here) and the count.
void BM_RegionLinkage(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  const Video v = makeVideo(frames);
  const std::size_t plane = kHeight * kWidth;
  for (auto _ : state) {
    for (int f = 0; f + 1 < frames; ++f) {
      const superpixel::LinkFrames pair{v.flows[f].data(), v.frameLabels[f].data(),
                                        v.frameLabels[f + 1].data(), kHeight, kWidth};
      const std::size_t n1 = superpixel::largestLabel(pair.first, plane);
      const std::size_t n2 = superpixel::largestLabel(pair.second, plane);
      std::vector<std::uint32_t> counts(n1 * n2, 0u);
      superpixel::countLinks(pair, n1, counts.data());
      benchmark::DoNotOptimize(counts.data());
    }
  }
  perFrame(state, frames - 1);
}
BENCHMARK(BM_RegionLinkage)->Arg(11)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

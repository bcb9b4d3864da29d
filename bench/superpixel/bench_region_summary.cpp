// regionSummary's core on a generated video: 640x480 frames with 20x20-pixel grid superpixels.
#include "superpixel/stats/region_summary.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

void BM_RegionSummary(benchmark::State& state) {
  const std::ptrdiff_t h = 480, w = 640, cell = 20;
  const int frameCount = static_cast<int>(state.range(0));
  const std::uint32_t perFrame = static_cast<std::uint32_t>((h / cell) * (w / cell));
  const std::uint32_t n = perFrame * static_cast<std::uint32_t>(frameCount);

  std::mt19937 rng(1);
  std::vector<std::vector<std::uint8_t>> rgb(frameCount, std::vector<std::uint8_t>(h * w * 3));
  std::vector<std::vector<std::uint32_t>> labels(frameCount, std::vector<std::uint32_t>(h * w));
  std::vector<superpixel::LabelledFrame> video;
  for (int f = 0; f < frameCount; ++f) {
    for (auto& v : rgb[f])
      v = static_cast<std::uint8_t>(rng());
    for (std::ptrdiff_t x = 0; x < w; ++x) {
      for (std::ptrdiff_t y = 0; y < h; ++y) {
        labels[f][y + x * h] =
            1 + f * perFrame + static_cast<std::uint32_t>((y / cell) * (w / cell) + x / cell);
      }
    }
    video.push_back({rgb[f].data(), labels[f].data()});
  }
  std::vector<float> colour(n * 3), centre(n * 2);
  std::vector<std::uint32_t> size(n);
  for (auto _ : state) {
    std::fill(colour.begin(), colour.end(), 0.0f);
    std::fill(centre.begin(), centre.end(), 0.0f);
    std::fill(size.begin(), size.end(), 0u);
    superpixel::regionSummary(video, h, w, n, colour.data(), centre.data(), size.data());
    benchmark::DoNotOptimize(colour.data());
  }
  // Seconds per frame (printed with its unit).
  state.counters["per_frame"] = benchmark::Counter(
      frameCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RegionSummary)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

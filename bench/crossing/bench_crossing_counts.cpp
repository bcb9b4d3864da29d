// The eight-ray parity votes of a 4000-by-4000 image: a random boundary-like map (sparse 1s
// on 0s) and fully random bytes. The cost per pixel does not depend on the content.
#include "crossing/crossing_counts.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

void BM_CrossingCounts(benchmark::State& state) {
  const int side = 4000;
  const bool sparse = state.range(0) != 0;
  std::mt19937 rng(1);
  std::vector<std::uint8_t> image(static_cast<std::size_t>(side) * side);
  for (auto& v : image) {
    v = sparse ? static_cast<std::uint8_t>(rng() % 16 == 0) : static_cast<std::uint8_t>(rng());
  }
  std::vector<std::uint8_t> counts(image.size());
  for (auto _ : state) {
    std::fill(counts.begin(), counts.end(), std::uint8_t{0});
    crossing::crossingCounts(image.data(), side, side, counts.data());
    benchmark::DoNotOptimize(counts.data());
    benchmark::ClobberMemory();
  }
  state.counters["time/pixel"] = benchmark::Counter(
      static_cast<double>(image.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CrossingCounts)
    ->ArgName("sparse")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();

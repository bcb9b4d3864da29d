// The distance table of 5000 by 5000 codes of 256 bits: the byte-wise vectorised count against
// the reference nested loop (which the compiler may still vectorise over 32-bit counters).
#include "codes/bitcode_distance.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kBits = 256;
constexpr int kCodes = 5000;

struct CodeSets {
  std::vector<std::uint8_t> a, b;
  std::vector<double> out;
  CodeSets()
      : a(kBits * kCodes), b(kBits * kCodes), out(static_cast<std::size_t>(kCodes) * kCodes) {
    std::mt19937 rng(2);
    for (auto& x : a)
      x = static_cast<std::uint8_t>(rng() & 1);
    for (auto& x : b)
      x = static_cast<std::uint8_t>(rng() & 1);
  }
};

template <void (*Table)(const std::uint8_t*, const std::uint8_t*, double*, int, int, int)>
void BM_Table(benchmark::State& state) {
  CodeSets sets;
  for (auto _ : state) {
    Table(sets.a.data(), sets.b.data(), sets.out.data(), kBits, kCodes, kCodes);
    benchmark::DoNotOptimize(sets.out.data());
    benchmark::ClobberMemory();
  }
  state.counters["time/pair"] = benchmark::Counter(
      static_cast<double>(kCodes) * kCodes,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_Table, codes::computeHamming)
    ->Name("BM_HammingVectorised")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Table, codes::computeHammingReference)
    ->Name("BM_HammingReferenceLoop")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The flow's filters and resampling on a 640x480 image of three channels: the baseline for
// later speed work on the pyramid levels.
#include "flow/containers/CTensor.h"
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "flow/filters/resampling.h"
#include "flow/parallel/thread_pool.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480, kChannels = 3;

CTensor<float> image() {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> d(0.0f, 255.0f);
  CTensor<float> t(kWidth, kHeight, kChannels);
  for (int i = 0; i < t.size(); ++i)
    t.data()[i] = d(rng);
  return t;
}

// Mask correlation: direction 0 = x, 1 = y, 2 = across channels; mask 0 = 5-tap derivative,
// 1 = Gaussian of sigma 1 with precision 3 (7 taps).
void BM_MaskCorrelation(benchmark::State& state) {
  const CTensor<float> src = image();
  CTensor<float> dst(kWidth, kHeight, kChannels);
  const CFilter<float> mask = state.range(1) == 0 ? CFilter<float>(CDerivative<float>(5))
                                                  : CFilter<float>(CSmooth<float>(1.0f, 3.0f));
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0:
        NFilter::filter(src, dst, mask, 1, 1);
        break;
      case 1:
        NFilter::filter(src, dst, 1, mask, 1);
        break;
      default:
        NFilter::filter(src, dst, 1, 1, mask);
        break;
    }
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_MaskCorrelation)
    ->ArgNames({"dir", "mask"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

void BM_BoxFilter(benchmark::State& state) {
  const CTensor<float> src = image();
  CTensor<float> dst(kWidth, kHeight, kChannels);
  for (auto _ : state) {
    if (state.range(0) == 0) {
      NFilter::boxFilterX(src, dst, 7);
    } else {
      NFilter::boxFilterY(src, dst, 7);
    }
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_BoxFilter)->ArgName("dir")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Recursive smoothing in place (repeated smoothing keeps the values bounded); sigma 0.8 as
// for the input frames, 4 as for the structure tensor: the cost must not depend on it.
void BM_RecursiveSmoothing(benchmark::State& state) {
  CTensor<float> t = image();
  const float sigma = state.range(1) == 0 ? 0.8f : 4.0f;
  for (auto _ : state) {
    if (state.range(0) == 0) {
      NFilter::recursiveSmoothX(t, sigma);
    } else {
      NFilter::recursiveSmoothY(t, sigma);
    }
    benchmark::DoNotOptimize(t.data());
  }
}
BENCHMARK(BM_RecursiveSmoothing)
    ->ArgNames({"dir", "sigma4"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// One pyramid step of factor 0.95 (640x480 to 608x456) and back; the copy that each
// in-place resize needs is made outside the timing.
void BM_Resampling(benchmark::State& state) {
  const CTensor<float> src = image();
  CTensor<float> small(src);
  small.downsample(608, 456);
  CTensor<float> weights(kWidth, kHeight, kChannels);
  std::mt19937 rng(2);
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  for (int i = 0; i < weights.size(); ++i)
    weights.data()[i] = d(rng);
  for (auto _ : state) {
    state.PauseTiming();
    CTensor<float> t(state.range(0) == 2 ? small : src);
    state.ResumeTiming();
    switch (state.range(0)) {
      case 0:
        t.downsample(608, 456);
        break;
      case 1:
        t.downsample(608, 456, weights);
        break;
      default:
        t.upsampleBilinear(kWidth, kHeight);
        break;
    }
    benchmark::DoNotOptimize(t.data());
  }
}
BENCHMARK(BM_Resampling)
    ->ArgName("op")  // 0 area reduction, 1 weighted reduction, 2 bilinear resize
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);

// The reductions of a 640x480 pair's pyramid (every level above full resolution, each
// straight from full resolution, as the solver reduces them): both frames' three channels
// and the matches with their confidence (a quarter of the pixels weighted). range(0): 0 the
// one-row x pass and the three weighted reductions one after the other, 1 the x pass four rows
// at a time and the matches in one pass; range(1): threads.
void BM_LevelReductions(benchmark::State& state) {
  const CTensor<float> first = image(), second = image();
  CTensor<float> u(kWidth, kHeight, 1), v(kWidth, kHeight, 1), confidence(kWidth, kHeight, 1);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-20.0f, 20.0f);
  for (int i = 0; i < u.size(); ++i) {
    u.data()[i] = d(rng);
    v.data()[i] = d(rng);
    confidence.data()[i] = i % 4 == 0 ? 0.05f * std::abs(d(rng)) : 0.0f;
  }
  const bool together = state.range(0) == 1;
  const int threads = static_cast<int>(state.range(1));
  flowthreads::Pool pool(threads);
  flowdetail::LargeVector<float> scratch;
  CTensor<float> a, b, ru, rv, rc;
  // The frames' channels as planes, for the one-row pass.
  std::vector<CMatrix<float>> planes;
  for (const CTensor<float>* frame : {&first, &second}) {
    for (int z = 0; z < kChannels; ++z) {
      planes.emplace_back(kWidth, kHeight);
      frame->getMatrix(planes.back(), z);
    }
  }
  CMatrix<float> reduced;
  for (auto _ : state) {
    for (int nx = kWidth, ny = kHeight; nx > 15 && ny > 15;) {
      nx = static_cast<int>(nx * 0.95f);
      ny = static_cast<int>(ny * 0.95f);
      if (together) {
        flowresample::downsample(first, nx, ny, a, &scratch, &pool, threads);
        flowresample::downsample(second, nx, ny, b, &scratch, &pool, threads);
        const CTensor<float>* in[] = {&u, &v, &confidence};
        CTensor<float>* out[] = {&ru, &rv, &rc};
        flowresample::downsample(in, out, 3, nx, ny, confidence, &scratch, &pool, threads);
      } else {
        for (const CMatrix<float>& plane : planes)
          flowresample::downsampleRowByRow(plane, nx, ny, reduced);
        flowresample::downsample(u, nx, ny, confidence, ru, &scratch, &pool, threads);
        flowresample::downsample(v, nx, ny, confidence, rv, &scratch, &pool, threads);
        flowresample::downsample(confidence, nx, ny, confidence, rc, &scratch, &pool, threads);
      }
    }
    benchmark::DoNotOptimize(rc.data());
  }
}
BENCHMARK(BM_LevelReductions)
    ->ArgNames({"fast", "threads"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

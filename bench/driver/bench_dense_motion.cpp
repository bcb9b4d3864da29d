// Stages of the dense flow on a generated 640x480 colour pair whose second frame is the first
// moved by (3, -2) pixels. The straightforward matching is timed on a 320x240 crop beside the
// fast matching on the same crop (it takes far too long at full size to be run routinely).
#include "bench/textured_frame.h"
#include "flow/filters/NFilter.h"
#include "flow/matching/descriptor_matching.h"
#include "flow/matching/match_confidence.h"
#include "flow/matching/orientation_histogram.h"
#include "flow/driver/run_flow.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <thread>

namespace {

/// The benchmarks' textured frame moved by (du, dv).
CTensor<float> frame(int w, int h, float du, float dv) {
  return benchframes::texturedFrame(w, h, du, dv);
}

/// Presmoothed frames, their descriptors and the confidence map.
struct Prepared {
  CTensor<float> image1, image2, hog1, hog2;
  CMatrix<float> confidence;
  Prepared(int w, int h) : image1(frame(w, h, 0, 0)), image2(frame(w, h, 3, -2)) {
    flowdriver::presmooth(image1, flowdriver::FlowParameters().sigma);
    flowdriver::presmooth(image2, flowdriver::FlowParameters().sigma);
    computeHOG(image1, hog1);
    computeConfidence(image1, image2, confidence);
    computeHOG(image2, hog2);
  }
  flowmatch::MatchingInput input() const { return {image1, image2, hog1, hog2, confidence}; }
};

int allCores() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n);
}

void BM_PresmoothingAndDescriptors(benchmark::State& state) {
  const CTensor<float> a = frame(640, 480, 0, 0), b = frame(640, 480, 3, -2);
  for (auto _ : state) {
    CTensor<float> image1 = a, image2 = b, hog1, hog2;
    CMatrix<float> confidence;
    flowdriver::presmooth(image1, flowdriver::FlowParameters().sigma);
    flowdriver::presmooth(image2, flowdriver::FlowParameters().sigma);
    computeHOG(image1, hog1);
    computeConfidence(image1, image2, confidence);
    computeHOG(image2, hog2);
    benchmark::DoNotOptimize(hog2.data());
  }
}
BENCHMARK(BM_PresmoothingAndDescriptors)->Unit(benchmark::kMillisecond);

void BM_MatchingStraightforward(benchmark::State& state) {
  const Prepared p(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  CTensor<float> u, v, c;
  for (auto _ : state)
    flowmatch::matchReference(p.input(), u, v, c);
}
BENCHMARK(BM_MatchingStraightforward)
    ->Args({320, 240})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_MatchingFast(benchmark::State& state) {
  const Prepared p(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int threads = state.range(2) == 0 ? allCores() : static_cast<int>(state.range(2));
  state.counters["threads"] = threads;
  CTensor<float> u, v, c;
  for (auto _ : state)
    flowmatch::match(p.input(), u, v, c, threads);
}
// Third argument: thread count, 0 for all cores.
BENCHMARK(BM_MatchingFast)
    ->Args({320, 240, 1})
    ->Args({640, 480, 1})
    ->Args({640, 480, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_Solver(benchmark::State& state) {
  const Prepared p(640, 480);
  CTensor<float> u, v, c;
  flowmatch::match(p.input(), u, v, c, allCores());
  for (auto _ : state) {
    CTensor<float> flow;
    const flowdriver::FlowParameters d;
    flowdriver::solve(p.image1, p.image2, flow, u, v, c, d.alpha, d.beta, d.gamma);
    benchmark::DoNotOptimize(flow.data());
  }
}
BENCHMARK(BM_Solver)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DenseMotion(benchmark::State& state) {
  const CTensor<float> a = frame(640, 480, 0, 0), b = frame(640, 480, 3, -2);
  const int threads = state.range(0) == 0 ? allCores() : static_cast<int>(state.range(0));
  state.counters["threads"] = threads;
  for (auto _ : state) {
    CTensor<float> image1 = a, image2 = b, flow;
    runFlow(image1, image2, flow, flowdriver::FlowParameters(), threads);
    benchmark::DoNotOptimize(flow.data());
  }
}
BENCHMARK(BM_DenseMotion)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

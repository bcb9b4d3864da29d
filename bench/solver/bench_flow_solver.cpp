// Speed of the flow solver on a generated 640x480 textured pair with a smooth known motion:
// one pyramid level (nonlinearIteration with 5 × 5 sweeps), the straightforward and the fast
// SOR sweeps alone (the vector one also shared by two threads), and the whole coarse-to-fine scheme
// without matches, on the threads that OMP_NUM_THREADS asks for.
#include "flow/driver/flow_parameters.h"
#include "flow/solver/COpticFlow.h"
#include "flow/solver/level_solver.h"
#include "flow/solver/sor_sweep.h"
#include "flow/solver/sor_system_builder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

// The flow driver's parameters and solver settings.
using Settings = flowdriver::FlowParameters;

constexpr int kWidth = 640, kHeight = 480;

double texture(double x, double y, int c) {
  return 128.0 + 40.0 * std::sin(0.31 * x + 0.17 * y + c) +
         30.0 * std::sin(0.13 * x - 0.41 * y + 1.0 + 0.5 * c) +
         25.0 * std::cos(0.53 * x + 0.07 * y - c) + 15.0 * std::sin(0.05 * x + 0.23 * y);
}

// Second frame: the first moved by about (1.5 + sin, −1 + cos) pixels.
struct Pair {
  CTensor<float> image1, image2;
  Pair() : image1(kWidth, kHeight, 3), image2(kWidth, kHeight, 3) {
    for (int c = 0; c < 3; ++c)
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          const double u = 1.5 + std::sin(2 * M_PI * x / kWidth);
          const double v = -1.0 + std::cos(2 * M_PI * y / kHeight);
          image1(x, y, c) = static_cast<float>(texture(x, y, c));
          image2(x, y, c) = static_cast<float>(texture(x - u, y - v, c));
        }
  }
};

const Pair& pair() {
  static const Pair p;
  return p;
}

// The fast level solver (as the solver runs it) or the straightforward one on one thread.
void levelArguments(bool straightforward, benchmark::State& state) {
  CTensor<float> image1(pair().image1), image2(pair().image2);
  CTensor<float> none(kWidth, kHeight, 0);
  CMatrix<float> mask(kWidth, kHeight, 1.0f);
  for (auto _ : state) {
    CTensor<float> flow(kWidth, kHeight, 2, 0.0f);
    const Settings d;
    if (straightforward) {
      flowsolver::nonlinearIterationReference(
          image1, image2, mask, none, none, none, flow, nullptr, d.alpha, d.beta, d.gamma, 0.0f,
          Settings::kOuterIterations, Settings::kInnerSweeps, Settings::kOmega);
    } else {
      flowsolver::nonlinearIteration(image1, image2, mask, none, none, none, flow, nullptr, d.alpha,
                                     d.beta, d.gamma, 0.0f, Settings::kOuterIterations,
                                     Settings::kInnerSweeps, Settings::kOmega,
                                     flowsolver::defaultLevelOptions());
    }
    benchmark::DoNotOptimize(flow.data());
  }
}

void BM_NonlinearIteration(benchmark::State& state) {
  levelArguments(false, state);
}
BENCHMARK(BM_NonlinearIteration)->Unit(benchmark::kMillisecond);

// The straightforward sweep and set-up on one thread.
void BM_NonlinearIterationStraightforwardSweep(benchmark::State& state) {
  levelArguments(true, state);
}
BENCHMARK(BM_NonlinearIterationStraightforwardSweep)->Unit(benchmark::kMillisecond);

// 25 sweeps (one level's worth with the default 5 × 5) over an nx × ny system (640x480 unless
// told) of plausible weights, without the set-up of the level, laid out in planes as the
// solver lays them out.
struct System {
  std::vector<float> brightness, gradient, flow, differences, horizontal, vertical, weights;
  flowsolver::SorSystem s;
  explicit System(int nx = kWidth, int ny = kHeight) {
    const int n = nx * ny;
    // Planes of base + spread·sin, one (base, spread) per plane.
    auto make = [&](std::vector<float>& block,
                    std::initializer_list<std::pair<float, float>> planes) {
      block.clear();
      for (const auto& p : planes)
        for (int i = 0; i < n; ++i)
          block.push_back(p.first + p.second * std::sin(0.37f * i));
    };
    // J and G in the order 11, 22, 33, 12, 13, 23.
    make(brightness, {{1, 0.5f}, {1, 0.5f}, {0, 0}, {0, 0.3f}, {0, 1}, {0, 1}});
    make(gradient, {{1, 0.5f}, {1, 0.5f}, {0, 0}, {0, 0.3f}, {0, 1}, {0, 1}});
    make(flow, {{0, 2}, {0, 2}});
    const float* u = flow.data();
    const float* v = u + n;
    differences.assign(8 * static_cast<std::size_t>(n), 0.0f);
    float* d[8];
    for (int k = 0; k < 8; ++k)
      d[k] = differences.data() + static_cast<std::size_t>(k) * n;
    for (int i = 0; i < n; ++i) {
      const int x = i % nx;
      if (x > 0) d[0][i] = u[i - 1] - u[i], d[4][i] = v[i - 1] - v[i];
      if (i >= nx) d[1][i] = u[i - nx] - u[i], d[5][i] = v[i - nx] - v[i];
      if (x + 1 < nx) d[2][i] = u[i + 1] - u[i], d[6][i] = v[i + 1] - v[i];
      if (i + nx < n) d[3][i] = u[i + nx] - u[i], d[7][i] = v[i + nx] - v[i];
    }
    make(horizontal, {{2, 1}});
    make(vertical, {{2, 1}});
    make(weights, {{0.05f, 0.02f}, {0.1f, 0.05f}, {0, 0}, {0, 0}, {0, 0}});
    s = flowsolver::buildSorSystem(
        {nx, ny, brightness.data(), gradient.data(), flow.data(), differences.data(),
         horizontal.data(), vertical.data(), weights.data()},
        Settings::kOmega);
  }
};

// 25 sweeps in all, run as 25 / range(1) calls of range(1) sweeps each (a level runs five
// calls of five), so the per-call layout work of the fast versions is counted as it is paid.
void BM_SorSweeps(benchmark::State& state) {
  const System system;
  flowsolver::SorScratch scratch;
  flowthreads::Pool pool(state.range(0) == 3 ? 2 : 1);
  // Room for the doubled sweeps of the final passes, as the solver makes it.
  scratch.band.assign(flowsolver::sorScratchFloats(kWidth, kHeight, 10), 0.0f);
  std::vector<float> du(kWidth * kHeight), dv(kWidth * kHeight);
  const int perCall = static_cast<int>(state.range(1));
  for (auto _ : state) {
    std::fill(du.begin(), du.end(), 0.0f);
    std::fill(dv.begin(), dv.end(), 0.0f);
    for (int done = 0; done < 25; done += perCall) {
      switch (state.range(0)) {
        case 0:
          flowsolver::sorSweepsReference(system.s, du.data(), dv.data(), perCall);
          break;
        case 1:
          flowsolver::sorSweepsBanded(system.s, du.data(), dv.data(), perCall, scratch);
          break;
        case 2:
          flowsolver::sorSweeps(system.s, du.data(), dv.data(), perCall, scratch);
          break;
        default:
          flowsolver::sorSweeps(system.s, du.data(), dv.data(), perCall, scratch, &pool);
          break;
      }
    }
    benchmark::DoNotOptimize(du.data());
  }
  const char* names[] = {"straightforward", "banded", "vector", "vector on two threads"};
  state.SetLabel(names[state.range(0)]);
}
BENCHMARK(BM_SorSweeps)
    ->Args({0, 25})
    ->Args({1, 25})
    ->Args({1, 5})
    ->Args({2, 25})
    ->Args({2, 5})
    ->Args({3, 5})
    ->Unit(benchmark::kMillisecond);

// The vector sweeps on one thread as a level runs them (five calls of five sweeps) over an
// nx × ny system, nx = range(0), ny = range(1), in pixel updates per second: how the rate
// falls once a call's bands no longer stay in the core's own cache.
void BM_SorSweepsBySize(benchmark::State& state) {
  const int nx = static_cast<int>(state.range(0)), ny = static_cast<int>(state.range(1));
  const System system(nx, ny);
  flowsolver::SorScratch scratch;
  scratch.band.assign(flowsolver::sorScratchFloats(nx, ny, 10), 0.0f);
  const std::size_t n = static_cast<std::size_t>(nx) * ny;
  std::vector<float> du(n), dv(n);
  for (auto _ : state) {
    std::fill(du.begin(), du.end(), 0.0f);
    std::fill(dv.begin(), dv.end(), 0.0f);
    for (int done = 0; done < 25; done += 5)
      flowsolver::sorSweeps(system.s, du.data(), dv.data(), 5, scratch);
    benchmark::DoNotOptimize(du.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 25 *
                          static_cast<std::int64_t>(n));
}
BENCHMARK(BM_SorSweepsBySize)
    ->Args({160, 120})
    ->Args({320, 240})
    ->Args({640, 480})
    ->Args({1024, 436})
    ->Unit(benchmark::kMillisecond);

void BM_WarpingGeometric(benchmark::State& state) {
  CTensor<float> none(kWidth, kHeight, 0);
  for (auto _ : state) {
    CTensor<float> flow;
    const Settings d;
    COpticFlow::warpingGeometric(pair().image1, pair().image2, flow, none, none, none, nullptr,
                                 0.0f, d.alpha, d.beta, d.gamma, 0.0f, Settings::kEta,
                                 Settings::kOuterIterations, Settings::kInnerSweeps,
                                 Settings::kOmega);
    benchmark::DoNotOptimize(flow.data());
  }
}
BENCHMARK(BM_WarpingGeometric)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

// One pyramid level: the SOR sweep against the linear system it solves, the fast sweep against
// the straightforward one bit for bit, and the documented behaviours of the level solver.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/level_solver.h"
#include "flow/solver/band_pipeline.h"
#include "flow/solver/sor_band_kernel.h"
#include "flow/solver/sor_sweep.h"
#include "solver_test_support.h"
#include "tests/flow/instruction_sets.h"

#include <gtest/gtest.h>

#include "flow/parallel/instruction_set.h"
#include "flow/parallel/thread_pool.h"
#include <functional>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

using flowsolver::SorSystem;

// The arrays behind a random, diagonally dominant SorSystem.
struct RandomSystem {
  std::vector<std::vector<float>> arrays;
  SorSystem s;

  RandomSystem(int nx, int ny, std::mt19937& rng, float omega) {
    std::uniform_real_distribution<float> any(-1, 1), positive(0.05f, 2), weight(0.1f, 3);
    auto make = [&](auto& dist) {
      arrays.emplace_back(nx * ny);
      for (float& f : arrays.back())
        f = dist(rng);
      return arrays.back().data();
    };
    arrays.reserve(32);
    s.xSize = nx;
    s.ySize = ny;
    // J and G as the sum of a positive semi-definite part: J12² ≤ J11·J22 keeps the system
    // solvable.
    s.j11 = make(positive);
    s.j22 = make(positive);
    float* j12 = make(any);
    s.g11 = make(positive);
    s.g22 = make(positive);
    float* g12 = make(any);
    for (int i = 0; i < nx * ny; ++i) {
      j12[i] *= 0.9f * std::sqrt(s.j11[i] * s.j22[i]);
      g12[i] *= 0.9f * std::sqrt(s.g11[i] * s.g22[i]);
    }
    s.j12 = j12;
    s.g12 = g12;
    s.j13 = make(any);
    s.j23 = make(any);
    s.g13 = make(any);
    s.g23 = make(any);
    // The neighbour differences of a random flow, as the level solver forms them.
    const float* u = make(any);
    const float* v = make(any);
    s.u = u;
    s.v = v;
    float* d[8];
    for (float*& a : d)
      a = make(any);
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x) {
        const int i = x + y * nx;
        if (x > 0) d[0][i] = u[i - 1] - u[i], d[4][i] = v[i - 1] - v[i];
        if (y > 0) d[1][i] = u[i - nx] - u[i], d[5][i] = v[i - nx] - v[i];
        if (x + 1 < nx) d[2][i] = u[i + 1] - u[i], d[6][i] = v[i + 1] - v[i];
        if (y + 1 < ny) d[3][i] = u[i + nx] - u[i], d[7][i] = v[i + nx] - v[i];
      }
    s.uLeft = d[0];
    s.uUp = d[1];
    s.uRight = d[2];
    s.uDown = d[3];
    s.vLeft = d[4];
    s.vUp = d[5];
    s.vRight = d[6];
    s.vDown = d[7];
    s.horizontal = make(weight);
    s.vertical = make(weight);
    s.psiD = make(positive);
    s.psiG = make(positive);
    s.m = make(positive);
    s.ru = make(any);
    s.rv = make(any);
    s.omega = omega;
  }
};

// The same system with the data weights and match sums left to SorSystem::formRows: the five
// arrays start as NaN, so that a row read before it is formed spoils the result, and the job
// copies its rows from the original, counts how often each row is formed and whether du and
// dv of its rows were still as the sweeps began.
struct RowsFormedLater {
  const SorSystem& original;
  SorSystem s;
  std::vector<std::vector<float>> arrays;
  const float *du, *dv, *du0, *dv0;
  std::vector<std::atomic<int>> formed;
  std::atomic<bool> incrementsAsGiven{true};

  RowsFormedLater(const SorSystem& system, const float* du_, const float* dv_, const float* du0_,
                  const float* dv0_)
      : original(system),
        s(system),
        arrays(5, std::vector<float>(static_cast<std::size_t>(system.xSize) * system.ySize,
                                     std::nanf(""))),
        du(du_),
        dv(dv_),
        du0(du0_),
        dv0(dv0_),
        formed(static_cast<std::size_t>(system.ySize)) {
    s.psiD = arrays[0].data();
    s.psiG = arrays[1].data();
    s.m = arrays[2].data();
    s.ru = arrays[3].data();
    s.rv = arrays[4].data();
    s.formRows = {
        [](void* self, int y0, int y1) { static_cast<RowsFormedLater*>(self)->form(y0, y1); },
        this};
  }

  void form(int y0, int y1) {
    const std::size_t nx = static_cast<std::size_t>(s.xSize);
    const std::size_t begin = y0 * nx, end = y1 * nx;
    const float* from[] = {original.psiD, original.psiG, original.m, original.ru, original.rv};
    for (int a = 0; a < 5; ++a)
      std::copy(from[a] + begin, from[a] + end, arrays[a].begin() + begin);
    for (int y = y0; y < y1; ++y)
      formed[y].fetch_add(1);
    if (!std::equal(du + begin, du + end, du0 + begin) ||
        !std::equal(dv + begin, dv + end, dv0 + begin)) {
      incrementsAsGiven = false;
    }
  }

  bool everyRowOnce() const {
    return std::all_of(formed.begin(), formed.end(),
                       [](const std::atomic<int>& c) { return c.load() == 1; });
  }
};

// Residual of the equations the sweep solves, in double precision, at pixel i:
//   (ψD·J11 + ψG·G11 + M + Σφ)·du + (ψD·J12 + ψG·G12)·dv + ψD·J13 + ψG·G13 + RU
//     − Σ φ_n·(du_n + udiff_n) = 0, and the same for v.
double maxResidual(const SorSystem& s, const std::vector<float>& du, const std::vector<float>& dv) {
  double worst = 0;
  const int nx = s.xSize, ny = s.ySize;
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x) {
      const int i = x + y * nx;
      double sumPhi = 0, su = 0, sv = 0;
      auto neighbour = [&](bool exists, double phi, int j, double ud, double vd) {
        if (!exists) return;
        sumPhi += phi;
        su += phi * (du[j] + ud);
        sv += phi * (dv[j] + vd);
      };
      neighbour(x > 0, s.horizontal[i - 1 < 0 ? 0 : i - 1], i - 1, s.uLeft[i], s.vLeft[i]);
      neighbour(y > 0, s.vertical[i - nx < 0 ? 0 : i - nx], i - nx, s.uUp[i], s.vUp[i]);
      neighbour(x + 1 < nx, s.horizontal[i], i + 1, s.uRight[i], s.vRight[i]);
      neighbour(y + 1 < ny, s.vertical[i], i + nx, s.uDown[i], s.vDown[i]);
      const double a11 =
          double(s.psiD[i]) * s.j11[i] + double(s.psiG[i]) * s.g11[i] + s.m[i] + sumPhi;
      const double a22 =
          double(s.psiD[i]) * s.j22[i] + double(s.psiG[i]) * s.g22[i] + s.m[i] + sumPhi;
      const double a12 = double(s.psiD[i]) * s.j12[i] + double(s.psiG[i]) * s.g12[i];
      const double ru = double(s.psiD[i]) * s.j13[i] + double(s.psiG[i]) * s.g13[i] + s.ru[i] - su;
      const double rv = double(s.psiD[i]) * s.j23[i] + double(s.psiG[i]) * s.g23[i] + s.rv[i] - sv;
      worst = std::max(worst, std::fabs(a11 * du[i] + a12 * dv[i] + ru));
      worst = std::max(worst, std::fabs(a12 * du[i] + a22 * dv[i] + rv));
    }
  return worst;
}

TEST(SorSweep, ConvergesToTheSolutionOfTheLinearSystem) {
  std::mt19937 rng(21);
  for (const auto& size : std::vector<std::pair<int, int>>{{9, 7}, {1, 12}, {12, 1}, {2, 2}}) {
    RandomSystem r(size.first, size.second, rng, 1.5f);
    const int n = size.first * size.second;
    std::vector<float> du(n, 0.0f), dv(n, 0.0f);
    const double start = maxResidual(r.s, du, dv);
    flowsolver::sorSweepsReference(r.s, du.data(), dv.data(), 400);
    EXPECT_LT(maxResidual(r.s, du, dv), 1e-4 * start) << size.first << " x " << size.second;
  }
}

// The band kernel's vector in plain C++: kLanes floats, each operation lane by lane as the
// instruction sets do it, a lane test as one flag per lane. With 16 lanes it runs the layout
// and lane moves of the AVX-512 sweep on any processor.
template <int N>
struct PlainOps {
  static constexpr int kLanes = N;
  static constexpr bool kTransposedLayout = true;
  struct V {
    float f[N];
  };
  struct VI {
    int i[N];
  };
  struct M {
    bool b[N];
  };
  template <typename T, typename F>
  static T each(F f) {
    T r;
    for (int j = 0; j < N; ++j)
      f(r, j);
    return r;
  }
  static V set1(float a) {
    return each<V>([&](V& r, int j) { r.f[j] = a; });
  }
  static V load(const float* p) {
    return each<V>([&](V& r, int j) { r.f[j] = p[j]; });
  }
  static void store(float* p, V a) {
    for (int j = 0; j < N; ++j)
      p[j] = a.f[j];
  }
  static V add(V a, V b) {
    return each<V>([&](V& r, int j) { r.f[j] = a.f[j] + b.f[j]; });
  }
  static V sub(V a, V b) {
    return each<V>([&](V& r, int j) { r.f[j] = a.f[j] - b.f[j]; });
  }
  static V mul(V a, V b) {
    return each<V>([&](V& r, int j) { r.f[j] = a.f[j] * b.f[j]; });
  }
  static V select(M m, V yes, V no) {
    return each<V>([&](V& r, int j) { r.f[j] = m.b[j] ? yes.f[j] : no.f[j]; });
  }
  static M both(M a, M b) {
    return each<M>([&](M& r, int j) { r.b[j] = a.b[j] && b.b[j]; });
  }
  static VI laneIndex() {
    return each<VI>([&](VI& r, int j) { r.i[j] = j; });
  }
  static VI set1i(int a) {
    return each<VI>([&](VI& r, int j) { r.i[j] = a; });
  }
  static VI addi(VI a, VI b) {
    return each<VI>([&](VI& r, int j) { r.i[j] = a.i[j] + b.i[j]; });
  }
  static VI subi(VI a, VI b) {
    return each<VI>([&](VI& r, int j) { r.i[j] = a.i[j] - b.i[j]; });
  }
  static M greaterThan(VI a, VI b) {
    return each<M>([&](M& r, int j) { r.b[j] = a.i[j] > b.i[j]; });
  }
  static M lessThan(VI a, VI b) {
    return each<M>([&](M& r, int j) { r.b[j] = a.i[j] < b.i[j]; });
  }
  static V shiftUp(V a, const float* first) {
    return each<V>([&](V& r, int j) { r.f[j] = j == 0 ? *first : a.f[j - 1]; });
  }
  static V div(V a, V b) {
    return each<V>([&](V& r, int j) { r.f[j] = a.f[j] / b.f[j]; });
  }
  static M nonZero(V a) {
    return each<M>([&](M& r, int j) { r.b[j] = a.f[j] != 0.0f; });
  }
  static void transpose(V* rows) {
    V columns[N];
    for (int k = 0; k < N; ++k)
      for (int j = 0; j < N; ++j)
        columns[k].f[j] = rows[j].f[k];
    std::copy(columns, columns + N, rows);
  }
};

// The band kernel over PlainOps<N>, laid out and shared as sorSweeps does it: alone, or by
// the two threads of `pool` with a ring as long as the scratch allows.
template <int N>
void plainSweeps(const SorSystem& s, float* du, float* dv, int sweeps,
                 flowsolver::SorScratch& scratch, flowthreads::Pool* pool) {
  if (sweeps <= 0) return;
  const std::size_t size = flowsolver::BandLayout<N>(s.xSize, s.ySize, sweeps).floats();
  if (scratch.band.size() < size) scratch.band.assign(size, 0.0f);
  const int threads = pool == nullptr ? 1 : 2;
  const unsigned long long room = threads > 1 ? scratch.band.size() : 0;
  const flowsolver::BandLayout<N> layout(s.xSize, s.ySize, sweeps, room);
  flowsolver::BandPipeline pipeline(layout.bands, sweeps, layout.slots, threads);
  auto work = [&] {
    flowsolver::sweepBands<PlainOps<N>>(s, du, dv, sweeps, scratch.band.data(), room, pipeline);
  };
  if (pool == nullptr) {
    work();
  } else {
    pool->run(2, [&](int) { work(); });
  }
}

TEST(SorSweep, FastSweepGivesTheSameBits) {
  std::mt19937 rng(22);
  // Heights around multiples of the four-, eight- and sixteen-row bands, widths below and
  // above a band's length, and one of a few hundred pixels.
  const std::pair<int, int> sizes[] = {
      {1, 1},   {1, 9},   {9, 1},   {2, 2},   {3, 3},   {4, 7},  {6, 6},   {7, 6},
      {12, 10}, {31, 17}, {5, 4},   {2, 5},   {3, 8},   {17, 3}, {40, 13}, {33, 16},
      {64, 21}, {9, 30},  {10, 15}, {11, 24}, {8, 25},  {9, 7},  {1, 16},  {16, 1},
      {5, 15},  {15, 31}, {20, 32}, {13, 33}, {17, 47}, {3, 49}, {131, 67}};
  using flowsimd::InstructionSet;
  using Sweep = std::function<void(const SorSystem&, float*, float*, int, flowsolver::SorScratch&)>;
  // The vector sweeps alone and shared by the threads of a pool: of two threads, of eight, of
  // two with room for a longer ring of bands (so that one thread runs further ahead), and
  // from inside a piece of the pool, where its pieces run one after the other on one thread
  // (the first must then do every pair).
  flowthreads::Pool two(2), eight(8);
  enum class On { Alone, Two, Eight, TwoLongRing, Nested };
  auto vectorSweep = [&two, &eight](InstructionSet set, On on) {
    return [set, on, &two, &eight](const SorSystem& s, float* du, float* dv, int sweeps,
                                   flowsolver::SorScratch& scratch) {
      ASSERT_TRUE(flowsimd::force(set));
      switch (on) {
        case On::Alone:
          flowsolver::sorSweeps(s, du, dv, sweeps, scratch, nullptr);
          break;
        case On::Two:
          flowsolver::sorSweeps(s, du, dv, sweeps, scratch, &two);
          break;
        case On::Eight:
          flowsolver::sorSweeps(s, du, dv, sweeps, scratch, &eight);
          break;
        case On::TwoLongRing: {
          const std::size_t room = flowsolver::sorScratchFloats(s.xSize, s.ySize, 3 * sweeps);
          if (scratch.band.size() < room) scratch.band.assign(room, 0.0f);
          flowsolver::sorSweeps(s, du, dv, sweeps, scratch, &two);
          break;
        }
        case On::Nested:
          two.run(2, [&](int piece) {
            if (piece == 0) flowsolver::sorSweeps(s, du, dv, sweeps, scratch, &two);
          });
          break;
      }
      flowsimd::unforce();
    };
  };
  std::vector<std::pair<std::string, Sweep>> fast = {{"banded", flowsolver::sorSweepsBanded}};
  // The kernel with 16 lanes in plain C++, whatever the processor: alone, on two threads, and
  // on two threads with room for a longer ring.
  fast.push_back({"16 plain lanes", [](const SorSystem& s, float* du, float* dv, int sweeps,
                                       flowsolver::SorScratch& scratch) {
                    plainSweeps<16>(s, du, dv, sweeps, scratch, nullptr);
                  }});
  fast.push_back(
      {"16 plain lanes on two threads", [&two](const SorSystem& s, float* du, float* dv, int sweeps,
                                               flowsolver::SorScratch& scratch) {
         plainSweeps<16>(s, du, dv, sweeps, scratch, &two);
       }});
  fast.push_back({"16 plain lanes on two threads, longer ring",
                  [&two](const SorSystem& s, float* du, float* dv, int sweeps,
                         flowsolver::SorScratch& scratch) {
                    const std::size_t room =
                        flowsolver::BandLayout<16>(s.xSize, s.ySize, 3 * sweeps).floats();
                    if (scratch.band.size() < room) scratch.band.assign(room, 0.0f);
                    plainSweeps<16>(s, du, dv, sweeps, scratch, &two);
                  }});
  for (const InstructionSet set : flowtest::runnableInstructionSets()) {
    const std::string name = flowsimd::name(set);
    fast.push_back({name, vectorSweep(set, On::Alone)});
    fast.push_back({name + " on two threads", vectorSweep(set, On::Two)});
    fast.push_back({name + " on eight threads", vectorSweep(set, On::Eight)});
    fast.push_back({name + " on two threads, longer ring", vectorSweep(set, On::TwoLongRing)});
    fast.push_back({name + " on one thread of two in turn", vectorSweep(set, On::Nested)});
  }
  // Each version also runs with one scratch kept over every size, as a level keeps it.
  std::vector<flowsolver::SorScratch> kept(fast.size());
  for (const auto& size : sizes) {
    // Few sweeps over many bands reuse the fast sweep's blocks of bands within a call.
    for (const auto& run :
         std::vector<std::pair<float, int>>{{1.0f, 7}, {1.85f, 1}, {0.7f, 2}, {1.85f, 5}}) {
      const float omega = run.first;
      const int sweeps = run.second;
      RandomSystem r(size.first, size.second, rng, omega);
      const int n = size.first * size.second;
      std::vector<float> du(n), dv(n);
      for (int i = 0; i < n; ++i)
        du[i] = dv[i] = std::uniform_real_distribution<float>(-1, 1)(rng);
      const std::vector<float> du0(du), dv0(dv);
      flowsolver::sorSweepsReference(r.s, du.data(), dv.data(), sweeps);
      // A fresh scratch, then the kept one: a reused scratch must not carry anything over.
      for (std::size_t v = 0; v < fast.size(); ++v) {
        const auto& version = fast[v];
        flowsolver::SorScratch fresh;
        for (flowsolver::SorScratch* scratch : {&fresh, &kept[v]}) {
          std::vector<float> du2(du0), dv2(dv0);
          version.second(r.s, du2.data(), dv2.data(), sweeps, *scratch);
          EXPECT_EQ(std::memcmp(du.data(), du2.data(), n * sizeof(float)), 0)
              << version.first << " " << size.first << " x " << size.second << " omega " << omega
              << ", " << sweeps << " sweeps";
          EXPECT_EQ(std::memcmp(dv.data(), dv2.data(), n * sizeof(float)), 0);
        }
        // The rows' weights formed by the sweeps themselves: the same bits, each row formed
        // once, while its increments were still those given.
        std::vector<float> du3(du0), dv3(dv0);
        RowsFormedLater later(r.s, du3.data(), dv3.data(), du0.data(), dv0.data());
        version.second(later.s, du3.data(), dv3.data(), sweeps, kept[v]);
        EXPECT_EQ(std::memcmp(du.data(), du3.data(), n * sizeof(float)), 0)
            << version.first << " forming rows, " << size.first << " x " << size.second;
        EXPECT_EQ(std::memcmp(dv.data(), dv3.data(), n * sizeof(float)), 0);
        EXPECT_TRUE(later.everyRowOnce())
            << version.first << " " << size.first << " x " << size.second;
        EXPECT_TRUE(later.incrementsAsGiven) << version.first;
      }
    }
  }
}

// The transposed layout the sweeps use against packBand: both lay every band out into a
// scratch filled with the same NaN pattern, which must then be the same bits throughout (every
// slot packBand writes, the same value; no other slot touched). Widths and heights around
// multiples of the 4-, 8- and 16-row bands (blocks start at widths 9, 17 and 33), some pixels
// with a zero denominator.
TEST(SorSweep, TransposedLayoutGivesTheSameBits) {
  std::mt19937 rng(23);
  std::vector<std::pair<int, int>> sizes = {{257, 130}, {640, 35}, {300, 48}};
  for (const int nx : {1, 2, 8, 9, 10, 16, 17, 18, 32, 33, 34, 47, 48, 49, 64, 65})
    for (const int ny : {1, 3, 4, 5, 8, 9, 15, 16, 17, 32, 33})
      sizes.push_back({nx, ny});
  using Layout = std::function<std::size_t(const SorSystem&, const float*, const float*, bool,
                                           std::vector<float>*)>;
  // The floats of every band laid out, and (with a scratch) the layout into it.
  std::vector<std::pair<std::string, Layout>> layouts = {
      {"16 plain lanes", [](const SorSystem& s, const float* du, const float* dv, bool transposed,
                            std::vector<float>* band) {
         const std::size_t floats = flowsolver::BandLayout<16>(s.xSize, s.ySize, 1, ~0ULL).floats();
         if (band) flowsolver::layOutEveryBand<PlainOps<16>>(s, du, dv, transposed, band->data());
         return floats;
       }}};
  for (const flowsimd::InstructionSet set : flowtest::runnableInstructionSets()) {
    layouts.push_back(
        {flowsimd::name(set), [set](const SorSystem& s, const float* du, const float* dv,
                                    bool transposed, std::vector<float>* band) {
           EXPECT_TRUE(flowsimd::force(set));
           const std::size_t floats = flowsolver::sorLayoutFloats(s.xSize, s.ySize);
           if (band) flowsolver::sorLayOut(s, du, dv, transposed, band->data());
           flowsimd::unforce();
           return floats;
         }});
  }
  float pattern;
  const std::uint32_t bits = 0x7fc0beefu;
  std::memcpy(&pattern, &bits, sizeof pattern);
  for (const auto& size : sizes) {
    const int nx = size.first, ny = size.second, n = nx * ny;
    RandomSystem r(nx, ny, rng, 1.85f);
    // Every seventh pixel with no data term and weights of ±0 to its neighbours.
    auto writable = [](const float* p) { return const_cast<float*>(p); };
    for (int i = 0; i < n; i += 7) {
      writable(r.s.j11)[i] = writable(r.s.g22)[i] = writable(r.s.m)[i] = 0.0f;
      writable(r.s.psiD)[i] = writable(r.s.psiG)[i] = 0.0f;
      writable(r.s.horizontal)[i] = writable(r.s.vertical)[i] = -0.0f;
      if (i > 0) writable(r.s.horizontal)[i - 1] = 0.0f;
      if (i >= nx) writable(r.s.vertical)[i - nx] = 0.0f;
    }
    std::vector<float> du(n), dv(n);
    for (int i = 0; i < n; ++i) {
      du[i] = std::uniform_real_distribution<float>(-1, 1)(rng);
      dv[i] = std::uniform_real_distribution<float>(-1, 1)(rng);
    }
    for (const auto& layout : layouts) {
      const std::size_t floats = layout.second(r.s, du.data(), dv.data(), false, nullptr);
      std::vector<float> plain(floats, pattern), fast(floats, pattern);
      layout.second(r.s, du.data(), dv.data(), false, &plain);
      layout.second(r.s, du.data(), dv.data(), true, &fast);
      std::size_t differ = 0;
      while (differ < floats && std::memcmp(&plain[differ], &fast[differ], sizeof(float)) == 0)
        ++differ;
      EXPECT_EQ(differ, floats) << layout.first << " " << nx << " x " << ny;
    }
  }
}

// The operands of one level, with images, flow and matches of the given sizes.
struct Level {
  CTensor<float> image1, image2, matchU, matchV, confidence, flow;
  CMatrix<float> mask;

  Level(int nx, int ny, int channels, int candidates, std::mt19937& rng)
      : image1(solvertest::randomTensor(nx, ny, channels, rng, 0, 255)),
        image2(solvertest::randomTensor(nx, ny, channels, rng, 0, 255)),
        matchU(solvertest::randomTensor(nx, ny, candidates, rng, -3, 3)),
        matchV(solvertest::randomTensor(nx, ny, candidates, rng, -3, 3)),
        confidence(solvertest::randomTensor(nx, ny, candidates, rng, -1, 1)),
        flow(solvertest::randomTensor(nx, ny, 2, rng, -2, 2)),
        mask(nx, ny, 1.0f) {
    for (int i = 0; i < nx * ny; i += 3)
      mask.data()[i] = 0.0f;
  }

  // The fast level solver, as the solver runs it.
  void run(int outer, int inner, CMatrix<float>* extra = nullptr) {
    flowsolver::nonlinearIteration(image1, image2, mask, matchU, matchV, confidence, flow, extra,
                                   30.0f, 300.0f, 5.0f, 0.5f, outer, inner, 1.85f,
                                   flowsolver::defaultLevelOptions());
  }
  // The straightforward one.
  void runReference(int outer, int inner, CMatrix<float>* extra = nullptr) {
    flowsolver::nonlinearIterationReference(image1, image2, mask, matchU, matchV, confidence, flow,
                                            extra, 30.0f, 300.0f, 5.0f, 0.5f, outer, inner, 1.85f);
  }
};

TEST(NonlinearIteration, FastAndStraightforwardSweepsGiveTheSameFlow) {
  struct Case {
    int nx, ny, channels, candidates;
  };
  for (const Case c : {Case{23, 17, 3, 1}, Case{1, 8, 1, 0}, Case{8, 1, 2, 2}, Case{5, 5, 1, 3}}) {
    std::mt19937 rng(30 + c.nx);
    Level a(c.nx, c.ny, c.channels, c.candidates, rng);
    Level b(a);
    CMatrix<float> extra(c.nx, c.ny, 0.5f);
    a.runReference(3, 4, &extra);
    b.run(3, 4, &extra);
    EXPECT_TRUE(solvertest::sameBits(a.flow, b.flow)) << c.nx << " x " << c.ny;
  }
}

TEST(NonlinearIteration, NoIterationOrNoSweepLeavesTheFlow) {
  std::mt19937 rng(31);
  for (const auto& counts : std::vector<std::pair<int, int>>{{0, 5}, {5, 0}, {-1, 3}, {3, -2}}) {
    Level level(9, 6, 3, 1, rng);
    const CTensor<float> before(level.flow);
    level.run(counts.first, counts.second);
    EXPECT_TRUE(solvertest::sameBits(level.flow, before)) << counts.first << ", " << counts.second;
  }
}

TEST(NonlinearIteration, IdenticalImagesWithoutMatchesKeepZeroFlow) {
  std::mt19937 rng(32);
  Level level(12, 10, 3, 1, rng);
  level.image2 = level.image1;
  level.flow.fill(0.0f);
  level.confidence.fill(0.0f);
  level.mask.fill(1.0f);
  level.run(5, 10);
  for (int i = 0; i < level.flow.size(); ++i)
    EXPECT_EQ(level.flow.data()[i], 0.0f);
}

// Without data (mask 0) and matches only smoothness acts: a constant flow stays, a rough one
// is smoothed.
TEST(NonlinearIteration, ZeroMaskWithoutMatchesOnlySmooths) {
  std::mt19937 rng(33);
  Level level(10, 8, 1, 1, rng);
  level.mask.fill(0.0f);
  level.confidence.fill(0.0f);
  level.flow.fill(0.75f);
  const CTensor<float> constant(level.flow);
  level.run(3, 10);
  EXPECT_TRUE(solvertest::sameBits(level.flow, constant));

  level.flow = solvertest::randomTensor(10, 8, 2, rng, -2, 2);
  auto roughness = [](const CTensor<float>& f) {
    double sum = 0;
    for (int z = 0; z < 2; ++z)
      for (int y = 0; y < f.ySize(); ++y)
        for (int x = 0; x + 1 < f.xSize(); ++x)
          sum += std::fabs(f(x + 1, y, z) - f(x, y, z));
    return sum;
  };
  const double before = roughness(level.flow);
  level.run(3, 10);
  EXPECT_LT(roughness(level.flow), 0.5 * before);
}

// A single confident match in a textureless pair pulls the flow at and around its pixel
// towards the match vector, less with distance.
TEST(NonlinearIteration, SingleMatchPullsTheFlow) {
  std::mt19937 rng(34);
  Level level(15, 15, 1, 1, rng);
  level.image1.fill(100.0f);
  level.image2.fill(100.0f);
  level.mask.fill(1.0f);
  level.flow.fill(0.0f);
  level.confidence.fill(0.0f);
  level.matchU.fill(0.0f);
  level.matchV.fill(0.0f);
  level.confidence(7, 7, 0) = 1.0f;
  level.matchU(7, 7, 0) = 4.0f;
  level.matchV(7, 7, 0) = -2.0f;
  level.run(5, 20);
  const float u0 = level.flow(7, 7, 0), v0 = level.flow(7, 7, 1);
  // The lagged weights start from the flat smoothness weight 1000 of a constant flow, so a few
  // iterations move the flow only part of the way.
  EXPECT_GT(u0, 0.05f);
  EXPECT_LE(u0, 4.0f);
  EXPECT_GE(v0, -2.0f);
  EXPECT_NEAR(v0 / u0, -0.5f, 0.01f);  // towards the match vector
  for (int d = 1; d <= 5; ++d) {
    EXPECT_LT(level.flow(7 + d, 7, 0), level.flow(7 + d - 1, 7, 0)) << d;
    EXPECT_GT(level.flow(7 + d, 7, 0), 0.0f) << d;
    EXPECT_NEAR(level.flow(7 - d, 7, 0), level.flow(7 + d, 7, 0), 1e-2f) << d;
  }
}

// Candidates with confidence 0 or below are ignored; several candidates add up.
TEST(NonlinearIteration, MatchCandidatesCountOnlyWithPositiveConfidence) {
  std::mt19937 rng(35);
  Level one(11, 9, 2, 1, rng);
  for (int i = 0; i < one.confidence.size(); ++i) {
    one.confidence.data()[i] = std::fabs(one.confidence.data()[i]) + 0.25f;
  }
  // Channel 0 as above; channel 1 the same vectors with confidence 0 or negative.
  Level two(one);
  auto stack = [](const CTensor<float>& a, const CTensor<float>& b) {
    return solvertest::tensorOf(a.xSize(), a.ySize(), 2,
                                [&](int x, int y, int z) { return z ? b(x, y, 0) : a(x, y, 0); });
  };
  CTensor<float> ignored =
      solvertest::tensorOf(11, 9, 1, [](int x, int, int) { return x % 2 ? 0 : -1; });
  two.matchU = stack(one.matchU, one.matchU);
  two.matchV = stack(one.matchV, one.matchV);
  two.confidence = stack(one.confidence, ignored);
  // Two half-confidence candidates with equal vectors weigh as one full one.
  Level halves(one);
  CTensor<float> half(one.confidence);
  half *= 0.5f;
  halves.matchU = two.matchU;
  halves.matchV = two.matchV;
  halves.confidence = stack(half, half);
  one.run(3, 5);
  two.run(3, 5);
  halves.run(3, 5);
  EXPECT_TRUE(solvertest::sameBits(one.flow, two.flow));
  EXPECT_TRUE(solvertest::sameBits(one.flow, halves.flow));
  // No candidate channel at all is the same as candidates that never count.
  Level none(one);
  none.matchU.setSize(11, 9, 0);
  none.matchV.setSize(11, 9, 0);
  none.confidence.setSize(11, 9, 0);
  Level zero(one);
  zero.confidence.fill(0.0f);
  none.run(3, 5);
  zero.run(3, 5);
  EXPECT_TRUE(solvertest::sameBits(none.flow, zero.flow));
}

// A single level recovers a small, smooth motion of a textured pair.
TEST(NonlinearIteration, RecoversSmallMotionOfTexturedPair) {
  CTensor<float> image1, image2, truth;
  solvertest::makeMovingPair(
      40, 32, 3,
      [](double x, double y, double& u, double& v) {
        u = 0.4 + 0.2 * std::sin(x / 12);
        v = -0.3 + 0.2 * std::cos(y / 10);
      },
      image1, image2, truth);
  CTensor<float> flow(40, 32, 2, 0.0f), none(40, 32, 0);
  CMatrix<float> mask(40, 32, 1.0f);
  for (int pass = 0; pass < 3; ++pass) {
    // Warp by the current flow between passes, as the pyramid does.
    CTensor<float> warped(image2);
    CMatrix<bool> outside(40, 32);
    COpticFlow::warp(image2, warped, outside, flow);
    COpticFlow::nonlinearIteration(image1, warped, mask, none, none, none, flow, nullptr, 5.0f, 0,
                                   5.0f, 0, 5, 20, 1.85f);
  }
  const double error = solvertest::endpointError(flow, truth, 3);
  EXPECT_LT(error, 0.05) << "average endpoint error";
}

TEST(NonlinearIteration, OnePixelImageStaysFinite) {
  std::mt19937 rng(36);
  Level level(1, 1, 3, 1, rng);
  level.mask.fill(0.0f);
  level.confidence.fill(0.0f);
  const CTensor<float> before(level.flow);
  level.run(3, 5);
  EXPECT_TRUE(solvertest::sameBits(level.flow, before));
}

TEST(NonlinearIteration, OperandsOfAnotherSizeAreRefused) {
  std::mt19937 rng(37);
  struct Case {
    const char* what;
    std::function<void(Level&)> spoil;
  };
  const std::vector<Case> cases = {
      {"second image", [](Level& l) { l.image2.setSize(6, 5, 2); }},
      {"mask", [](Level& l) { l.mask.setSize(5, 6); }},
      {"match v channels", [](Level& l) { l.matchV.setSize(6, 6, 1); }},
      {"confidence channels", [](Level& l) { l.confidence.setSize(6, 6, 1); }},
      {"flow channels", [](Level& l) { l.flow.setSize(6, 6, 1); }},
  };
  for (const Case& c : cases) {
    Level level(6, 6, 2, 2, rng);
    c.spoil(level);
    EXPECT_THROW(level.run(1, 1), std::invalid_argument) << c.what;
  }
}

}  // namespace

// Smoothness weights against a double-precision oracle and the documented closed forms.
#include "flow/solver/COpticFlow.h"
#include "solver_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

const float kFlat = static_cast<float>(1.0 / std::sqrt(1e-6));  // 1/√(0 + 10⁻⁶) = 1000

// Central difference with the border sample repeated (index −1 reads 0, n reads n − 1).
double centralDifference(const std::vector<double>& line, int p) {
  const int n = static_cast<int>(line.size());
  const double before = line[p > 0 ? p - 1 : 0];
  const double after = line[p + 1 < n ? p + 1 : n - 1];
  return 0.5 * (after - before);
}

// The weights computed independently in double precision, straight from the definition.
void oracle(const CTensor<float>& flow, const CTensor<float>& increment,
            const CMatrix<float>* extra, float extraWeight, std::vector<double>& h,
            std::vector<double>& v) {
  const int nx = flow.xSize(), ny = flow.ySize();
  h.assign(nx * ny, 0.0);
  v.assign(nx * ny, 0.0);
  for (int k = 0; k < 2; ++k) {
    auto w = [&](int x, int y) { return double(flow(x, y, k)) + increment(x, y, k); };
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x) {
        std::vector<double> column(ny), row(nx);
        for (int j = 0; j < ny; ++j)
          column[j] = w(x, j);
        for (int j = 0; j < nx; ++j)
          row[j] = w(j, y);
        if (x + 1 < nx) {
          std::vector<double> next(ny);
          for (int j = 0; j < ny; ++j)
            next[j] = w(x + 1, j);
          const double across = 0.5 * (centralDifference(column, y) + centralDifference(next, y));
          h[x + y * nx] += std::pow(w(x + 1, y) - w(x, y), 2) + across * across;
        }
        if (y + 1 < ny) {
          std::vector<double> below(nx);
          for (int j = 0; j < nx; ++j)
            below[j] = w(j, y + 1);
          const double across = 0.5 * (centralDifference(row, x) + centralDifference(below, x));
          v[x + y * nx] += std::pow(w(x, y + 1) - w(x, y), 2) + across * across;
        }
      }
  }
  for (int i = 0; i < nx * ny; ++i) {
    const double e = extra ? double(extra->data()[i]) * extra->data()[i] * extraWeight : 0.0;
    h[i] = 1 / std::sqrt(h[i] + e + 1e-6);
    v[i] = 1 / std::sqrt(v[i] + e + 1e-6);
  }
}

TEST(Diffusivity, RandomFlowsMatchTheOracle) {
  std::mt19937 rng(11);
  struct Case {
    int nx, ny;
    bool withExtra;
  };
  for (const Case c : {Case{7, 5, false}, Case{1, 6, false}, Case{6, 1, false}, Case{4, 4, true},
                       Case{2, 3, true}}) {
    CTensor<float> flow = solvertest::randomTensor(c.nx, c.ny, 2, rng, -3, 3);
    CTensor<float> increment = solvertest::randomTensor(c.nx, c.ny, 2, rng, -1, 1);
    CMatrix<float> extra(c.nx, c.ny);
    for (int i = 0; i < c.nx * c.ny; ++i)
      extra.data()[i] = std::uniform_real_distribution<float>(-2, 2)(rng);
    CMatrix<float> h(c.nx, c.ny, -1.0f), v(c.nx, c.ny, -1.0f);
    COpticFlow::diffusivity(flow, increment, h, v, c.withExtra ? &extra : nullptr, 0.3f);
    std::vector<double> eh, ev;
    oracle(flow, increment, c.withExtra ? &extra : nullptr, 0.3f, eh, ev);
    for (int i = 0; i < c.nx * c.ny; ++i) {
      EXPECT_NEAR(h.data()[i], eh[i], 1e-4 * eh[i]) << c.nx << "x" << c.ny << " h at " << i;
      EXPECT_NEAR(v.data()[i], ev[i], 1e-4 * ev[i]) << c.nx << "x" << c.ny << " v at " << i;
    }
  }
}

TEST(Diffusivity, ConstantFlowGivesTheFlatWeightEverywhere) {
  CTensor<float> flow(5, 4, 2, 3.25f), increment(5, 4, 2, -1.0f);
  CMatrix<float> h(5, 4), v(5, 4);
  COpticFlow::diffusivity(flow, increment, h, v, nullptr, 99.0f);  // no extra: weight unused
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(h.data()[i], kFlat);
    EXPECT_EQ(v.data()[i], kFlat);
  }
}

// u = x: horizontal pairs see a unit difference; vertical pairs the mean x-derivative, which
// the repeated border sample halves in the first and last column. The ramp may sit in the
// flow or in the increment: only their sum counts.
TEST(Diffusivity, RampAlongX) {
  const int nx = 5, ny = 3;
  const CTensor<float> ramp =
      solvertest::tensorOf(nx, ny, 2, [](int x, int, int z) { return z == 0 ? x : 0; });
  const CTensor<float> zero(nx, ny, 2, 0.0f);
  const float unit = static_cast<float>(1 / std::sqrt(1 + 1e-6));
  const float half = static_cast<float>(1 / std::sqrt(0.25 + 1e-6));
  for (int variant = 0; variant < 2; ++variant) {
    CTensor<float> flow = variant == 0 ? ramp : zero;
    CTensor<float> increment = variant == 0 ? zero : ramp;
    CMatrix<float> h(nx, ny), v(nx, ny);
    COpticFlow::diffusivity(flow, increment, h, v, nullptr, 0.0f);
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x) {
        EXPECT_EQ(h(x, y), x + 1 < nx ? unit : kFlat) << x << "," << y;
        const float expectedV = y + 1 == ny ? kFlat : (x == 0 || x == nx - 1 ? half : unit);
        EXPECT_EQ(v(x, y), expectedV) << x << "," << y;
      }
  }
}

TEST(Diffusivity, WeightMatricesOfAnotherSizeAreRefused) {
  CTensor<float> flow(3, 2, 2, 0.0f), increment(3, 2, 2, 0.0f), shortIncrement(3, 2, 1);
  CMatrix<float> h(3, 2), v(3, 2), wrong(2, 3);
  EXPECT_THROW(COpticFlow::diffusivity(flow, increment, wrong, v, nullptr, 0),
               std::invalid_argument);
  EXPECT_THROW(COpticFlow::diffusivity(flow, increment, h, wrong, nullptr, 0),
               std::invalid_argument);
  EXPECT_THROW(COpticFlow::diffusivity(flow, shortIncrement, h, v, nullptr, 0),
               std::invalid_argument);
  EXPECT_THROW(COpticFlow::diffusivity(flow, increment, h, v, &wrong, 1), std::invalid_argument);
}

}  // namespace

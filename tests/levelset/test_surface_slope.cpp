// surface_slope through the standalone host: hand-derived upwind gradients of ramps and bowls,
// symmetry identities on random fields, and the refusals.
#include "levelset_support.h"

#include <cmath>
#include <random>

namespace {

using host::Array;
using levelsettest::callWith;
using levelsettest::field;

std::vector<double> slope(Array phi, Array speed) {
  const host::CallResult r = callWith(1, std::move(phi), std::move(speed));
  EXPECT_FALSE(r.failed) << r.error;
  return r.failed ? std::vector<double>{} : host::values<double>(r.outputs[0].get());
}

bool interior(mwSize i, mwSize j, mwSize m, mwSize n) {
  return i > 0 && j > 0 && i + 1 < m && j + 1 < n;
}

// phi = (i - c)^2 + (j - c)^2: in the quadrant right of and below the centre every difference
// is positive, so an outward front (S > 0) sees the backward differences 2d - 1 and an inward
// one the forward differences 2d + 1, d being the distance to the centre along each axis.
TEST(SurfaceSlope, UpwindDifferencesOfABowlAndARamp) {
  const mwSize m = 9, n = 9;
  constexpr int c = 3;
  auto bowl = [](int i, int j) { return double((i - c) * (i - c) + (j - c) * (j - c)); };
  for (const double s : {0.5, -2.0, 0.0}) {
    const std::vector<double> r =
        slope(field(m, n, bowl), field(m, n, [s](int, int) { return s; }));
    ASSERT_EQ(r.size(), m * n);
    for (int j = c + 1; j + 1 < int(n); ++j) {
      for (int i = c + 1; i + 1 < int(m); ++i) {
        const int k = s > 0 ? -1 : 1;
        const double expected = s * std::hypot(2 * (i - c) + k, 2 * (j - c) + k);
        EXPECT_DOUBLE_EQ(r[i + j * m], expected) << i << ", " << j << ", S = " << s;
      }
    }
    // At the centre, a strict minimum: nothing for an outward front.
    EXPECT_EQ(r[c + c * m], s > 0 ? 0.0 : s * 2.0);
  }
  // phi = i: both row differences are 1, so R = S for either sign; the border stays 0.
  for (const double s : {0.75, -0.75}) {
    const std::vector<double> r = slope(field(4, 5, [](int i, int) { return double(i); }),
                                        field(4, 5, [s](int, int) { return s; }));
    for (std::size_t p = 0; p < r.size(); ++p) {
      EXPECT_EQ(r[p], interior(p % 4, p / 4, 4, 5) ? s : 0.0) << p;
    }
  }
}

TEST(SurfaceSlope, NegationAndTranspositionIdentities) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-2, 2);
  const mwSize m = 7, n = 10;
  std::vector<double> phi(m * n), s(m * n);
  for (auto& x : phi)
    x = u(rng);
  for (auto& x : s)
    x = u(rng);
  auto at = [](const std::vector<double>& v, mwSize rows, double sign) {
    return [&v, rows, sign](int i, int j) { return sign * v[i + j * rows]; };
  };
  const std::vector<double> r = slope(field(m, n, at(phi, m, 1)), field(m, n, at(s, m, 1)));
  // Negating phi swaps the upwind branches, negating S the sign of the result.
  const std::vector<double> neg = slope(field(m, n, at(phi, m, -1)), field(m, n, at(s, m, -1)));
  // The scheme treats rows and columns alike.
  const std::vector<double> tr = slope(field(n, m, [&](int i, int j) { return phi[j + i * m]; }),
                                       field(n, m, [&](int i, int j) { return s[j + i * m]; }));
  ASSERT_EQ(r.size(), m * n);
  for (mwSize j = 0; j < n; ++j) {
    for (mwSize i = 0; i < m; ++i) {
      EXPECT_EQ(neg[i + j * m], -r[i + j * m]);
      EXPECT_NEAR(tr[j + i * n], r[i + j * m], 1e-12);
    }
  }
}

TEST(SurfaceSlope, Refusals) {
  auto zeros = [](mwSize m, mwSize n) { return host::make(mxDOUBLE_CLASS, {m, n}); };
  const levelsettest::Refusal cases[] = {
      {"one input", [&] { return callWith(1, zeros(3, 3)); },
       "Too few inputs: 1 given, 2 expected (phi, S)."},
      {"uint8 phi",
       [&] {
         return callWith(1, host::make(mxUINT8_CLASS, {3, 3}), zeros(3, 3));
       },
       "Input 1 (phi) must be a real double array, not complex or sparse."},
      {"single S",
       [&] {
         return callWith(2, zeros(3, 3), host::make(mxSINGLE_CLASS, {3, 3}));
       },
       "Input 2 (S) must be a real double array, not complex or sparse."},
      {"two outputs", [&] { return callWith(2, zeros(3, 3), zeros(3, 3)); },
       "Too many outputs: 2 requested, at most 1 returned."},
      {"S transposed but smaller", [&] { return callWith(1, zeros(3, 4), zeros(1, 11)); },
       "Input 2 (S) has 11 elements; it must have at least the 12 of the 3-by-4 input 1."},
  };
  for (const auto& c : cases)
    levelsettest::expectRefusal(c);
}

TEST(SurfaceSlopeSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<double> field(25);
  for (std::size_t p = 0; p < 25; ++p)
    field[p] = static_cast<double>((p * 7) % 11) - 5.0;
  const host::Array phi = host::make<double>({5, 5}, field);
  const host::Array speed = host::make<double>({5, 5}, field);
  EXPECT_EQ(plugintest::expectSparseRefused("surface_slope", 1, {phi.get(), speed.get()}), 2);
}

}  // namespace

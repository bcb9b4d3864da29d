// front_velocity through the standalone host: hand-checked single pixels, the curvature of
// circles as an analytic oracle, and the refusal of calls that would read outside an array.
#include "levelset_support.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

using host::Array;
using levelsettest::callWith;
using levelsettest::field;

// The nine inputs with one value per input, on a 3-by-3 grid whose only interior pixel is the
// centre.
struct Pixel {
  const char* what;
  double px, py, pxx, pyy, pxy, s, u, v, w;
  double expected;
};

host::CallResult callPixel(const Pixel& c) {
  auto all = [](double x) { return field(3, 3, [x](int, int) { return x; }); };
  return callWith(1, all(c.px), all(c.py), all(c.pxx), all(c.pyy), all(c.pxy), all(c.s), all(c.u),
                  all(c.v), host::scalar(c.w));
}

TEST(FrontVelocity, HandCheckedPixels) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Pixel cases[] = {
      {"flat phi: F = S", 0, 0, 5, 5, 5, 0.4, 3, 3, 1, 0.4},
      {"flat phi, S above 1", 0, 0, 0, 0, 0, 3, 0, 0, 0, 1},
      {"flat phi, S below -1", 0, 0, 0, 0, 0, -3, 0, 0, 0, -1},
      {"curvature 0.5, w = 0 ignores the field", 1, 0, 0, 0.5, 0, 1, 10, 10, 0, 0.85},
      {"curvature 4 acts as 1", 1, 0, 0, 4, 0, 0.5, 0.1, 0, 1, 0.7 * 0.5 - 0.1},
      {"curvature -4 acts as -1", 1, 0, 0, -4, 0, 0.5, 0, 0, 1, 1.3 * 0.5},
      {"curvature not a number acts as 1", 0, 1, nan, 0, 0, 0.5, 0, 0, 1, 0.7 * 0.5},
      {"field against the normal adds nothing", 1, 0, 0, 0, 0, 0.5, -5, 3, 1, 0.5},
      {"S = 0: F = -w d", 0, 2, 0, 0, 0, 0, 0, 0.5, 1, -0.5},
      {"S = 0, -w d below -1", 0, 2, 0, 0, 0, 0, 0, 0.5, 4, -1},
      {"mixed derivative", 1, 1, 0, 0, 0.5, 0.5, 0, 0, 0, 0.5 * (1 + 0.3 / (2 * std::sqrt(2.0)))},
  };
  for (const Pixel& c : cases) {
    const host::CallResult r = callPixel(c);
    ASSERT_FALSE(r.failed) << c.what << ": " << r.error;
    const std::vector<double> f = host::values<double>(r.outputs[0].get());
    for (int p = 0; p < 9; ++p) {
      EXPECT_NEAR(f[p], p == 4 ? c.expected : 0.0, 1e-14) << c.what << " at " << p;
    }
  }
  Pixel undefined{"S not a number stays so", 0, 0, 0, 0, 0, nan, 0, 0, 0, 0};
  EXPECT_TRUE(std::isnan(host::values<double>(callPixel(undefined).outputs[0].get())[4]));
}

// phi = distance from a centre between pixels: its level lines are circles of radius rho with
// curvature 1/rho and unit normal (x, y) / rho, so a radial field c (x, y) / rho has flux c
// outwards and none inwards.
TEST(FrontVelocity, CurvatureOfCirclesAndRadialFlux) {
  const mwSize m = 12, n = 15;
  const double cy = 5.5, cx = 7.5;
  auto rho = [&](int i, int j) { return std::hypot(j - cx, i - cy); };
  const double speed = 0.6;
  for (const double c : {0.2, -0.2}) {
    const host::CallResult r = callWith(
        1, field(m, n, [&](int i, int j) { return (j - cx) / rho(i, j); }),
        field(m, n, [&](int i, int j) { return (i - cy) / rho(i, j); }),
        field(m, n, [&](int i, int j) { return std::pow(i - cy, 2) / std::pow(rho(i, j), 3); }),
        field(m, n, [&](int i, int j) { return std::pow(j - cx, 2) / std::pow(rho(i, j), 3); }),
        field(m, n, [&](int i, int j) { return -(j - cx) * (i - cy) / std::pow(rho(i, j), 3); }),
        field(m, n, [&](int, int) { return speed; }),
        field(m, n, [&](int i, int j) { return c * (j - cx) / rho(i, j); }),
        field(m, n, [&](int i, int j) { return c * (i - cy) / rho(i, j); }), host::scalar(2));
    ASSERT_FALSE(r.failed) << r.error;
    const std::vector<double> f = host::values<double>(r.outputs[0].get());
    for (mwSize j = 0; j < n; ++j) {
      for (mwSize i = 0; i < m; ++i) {
        const bool interior = i > 0 && j > 0 && i + 1 < m && j + 1 < n;
        const double kappa = std::min(1.0, 1 / rho(i, j));
        const double expected = interior ? (1 - 0.3 * kappa) * speed - 2 * std::max(c, 0.0) : 0;
        EXPECT_NEAR(f[i + j * m], expected, 1e-12) << i << ", " << j << ", c = " << c;
      }
    }
  }
}

Array ones(mwSize m, mwSize n) {
  return field(m, n, [](int, int) { return 1.0; });
}

// The nine inputs of an m-by-n call with input `odd` (1-based) replaced.
host::CallResult callReplacing(int nlhs, int odd, Array replacement, mwSize m = 3, mwSize n = 4) {
  std::vector<Array> in;
  for (int k = 1; k <= 9; ++k)
    in.push_back(k == 9 ? host::scalar(0.5) : ones(m, n));
  if (odd > 0) in[odd - 1] = std::move(replacement);
  std::vector<const mxArray*> raw;
  for (const auto& a : in)
    raw.push_back(a.get());
  return host::call(nlhs, raw);
}

TEST(FrontVelocity, BorderSizesAndRefusals) {
  // All inputs 1 and w = 0.5: curvature 0, flux sqrt 2; too thin for an interior: all zeros.
  for (const auto& mn : {std::pair<mwSize, mwSize>{3, 3}, {2, 5}, {0, 0}}) {
    const host::CallResult r = callReplacing(0, 0, nullptr, mn.first, mn.second);
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{mn.first, mn.second}));
    std::vector<double> f = host::values<double>(r.outputs[0].get());
    if (mn.first == 3) {
      EXPECT_NEAR(f[4], 1 - 0.5 * std::sqrt(2.0), 1e-15);
      f[4] = 0;  // only the border is left to compare
    }
    EXPECT_EQ(f, std::vector<double>(mn.first * mn.second, 0.0));
  }
  // A larger array or a weight of another numeric class is read as the call describes.
  EXPECT_FALSE(callReplacing(1, 6, ones(5, 5)).failed);
  EXPECT_FALSE(callReplacing(1, 9, host::make<std::int8_t>({1, 1}, {2})).failed);

  const std::string notDouble = " must be a real double array, not complex or sparse.";
  const levelsettest::Refusal cases[] = {
      {"eight inputs",
       [] {
         return callWith(1, ones(3, 3), ones(3, 3), ones(3, 3), ones(3, 3), ones(3, 3), ones(3, 3),
                         ones(3, 3), ones(3, 3));
       },
       "Too few inputs: 8 given, 9 expected (phi_x, phi_y, phi_xx, phi_yy, phi_xy, S, U, V, w)."},
      {"single phi_xx",
       [] {
         return callReplacing(1, 3, host::make(mxSINGLE_CLASS, {3, 4}));
       },
       "Input 3 (phi_xx)" + notDouble},
      {"logical V, two outputs",
       [] {
         return callReplacing(2, 8, host::make(mxLOGICAL_CLASS, {3, 4}));
       },
       "Input 8 (V)" + notDouble},
      {"two outputs", [] { return callReplacing(2, 0, nullptr); },
       "Too many outputs: 2 requested, at most 1 returned."},
      {"S one element short", [] { return callReplacing(1, 6, ones(11, 1)); },
       "Input 6 (S) has 11 elements; it must have at least the 12 of the 3-by-4 input 1."},
      {"empty weight",
       [] {
         return callReplacing(1, 9, host::make(mxDOUBLE_CLASS, {0, 0}));
       },
       "Input 9 (w) must be a numeric scalar."},
      {"two weights", [] { return callReplacing(1, 9, ones(1, 2)); },
       "Input 9 (w) must be a numeric scalar."},
  };
  for (const auto& c : cases)
    levelsettest::expectRefusal(c);
}

// Every input sparse in turn, the weight included, is refused before anything is read.
TEST(FrontVelocitySparse, EveryArgumentRefusedWhenSparse) {
  std::vector<double> field(25);
  for (std::size_t p = 0; p < 25; ++p)
    field[p] = static_cast<double>((p * 7) % 11) - 5.0;
  std::vector<host::Array> arrays;
  std::vector<const mxArray*> inputs;
  for (int k = 0; k < 8; ++k) {
    arrays.push_back(host::make<double>({5, 5}, field));
    inputs.push_back(arrays.back().get());
  }
  const host::Array weight = host::scalar(0.5);
  inputs.push_back(weight.get());
  EXPECT_EQ(plugintest::expectSparseRefused("front_velocity", 1, inputs), 9);
}

}  // namespace

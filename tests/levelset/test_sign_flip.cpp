// sign_flip through the standalone host: the documented small cases and an oracle that marks
// each pixel by looking at its own neighbourhood (rather than pushing marks from non-negative
// pixels) on random fields full of ties, zeros and values that are not numbers.
#include "levelset_support.h"

#include <cmath>
#include <limits>
#include <random>

namespace {

using levelsettest::callWith;

std::vector<bool> flips(mwSize m, mwSize n, const std::vector<double>& phi) {
  const host::CallResult r = callWith(1, host::make<double>({m, n}, phi));
  EXPECT_FALSE(r.failed) << r.error;
  if (r.failed) return {};
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{m, n}));
  return host::values<bool>(r.outputs[0].get());
}

TEST(SignFlip, DocumentedCases) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    mwSize m, n;
    std::vector<double> phi;
    std::vector<bool> marks;
  };
  const Case cases[] = {
      {"negative nearer zero", 1, 2, {0.5, -0.2}, {false, true}},
      {"non-negative nearer zero", 1, 2, {0.2, -0.5}, {true, false}},
      {"tie marks the non-negative pixel", 1, 2, {0.3, -0.3}, {true, false}},
      {"zero beside a negative", 2, 1, {-1e-300, 0}, {false, true}},
      {"diagonal pair counts", 2, 2, {1, -2, -2, -0.5}, {true, false, false, true}},
      {"no negative value", 2, 2, {0, 1, 2, 3}, {false, false, false, false}},
      {"no non-negative value", 1, 3, {-1, -2, -3}, {false, false, false}},
      {"not a number is neither sign", 1, 3, {nan, -1, nan}, {false, false, false}},
      {"one non-negative pixel marks several", 1, 3, {-0.1, 0.5, -0.2}, {true, false, true}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(flips(c.m, c.n, c.phi), c.marks) << c.what;
  EXPECT_TRUE(flips(0, 3, {}).empty());
}

TEST(SignFlip, MatchesNeighbourhoodOracleOnRandomFields) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double pool[] = {-2, -1, -0.5, -0.0, 0, 0.5, 1, 2, nan};
  std::mt19937 rng(5);
  for (int trial = 0; trial < 60; ++trial) {
    const int m = 1 + int(rng() % 7), n = 1 + int(rng() % 7);
    std::vector<double> phi(m * n);
    for (auto& v : phi)
      v = pool[rng() % 9];
    std::vector<bool> expected(m * n, false);
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < m; ++i) {
        const double a = phi[i + j * m];
        for (int dj = -1; dj <= 1; ++dj) {
          for (int di = -1; di <= 1; ++di) {
            const int r = i + di, c = j + dj;
            if (r < 0 || c < 0 || r >= m || c >= n) continue;
            const double b = phi[r + c * m];
            // A non-negative pixel keeps the mark unless its negative partner is nearer zero;
            // a negative pixel takes it when it is strictly nearer zero than its partner.
            if (a >= 0 && b < 0 && std::fabs(b) >= a) expected[i + j * m] = true;
            if (a < 0 && b >= 0 && std::fabs(a) < b) expected[i + j * m] = true;
          }
        }
      }
    }
    EXPECT_EQ(flips(m, n, phi), expected) << "trial " << trial;
  }
}

TEST(SignFlip, Refusals) {
  const levelsettest::Refusal cases[] = {
      {"no input", [] { return host::call(1, {}); }, "Too few inputs: 0 given, 1 expected (phi)."},
      {"logical phi",
       [] {
         return callWith(1, host::make(mxLOGICAL_CLASS, {2, 2}));
       },
       "Input 1 (phi) must be a real double array, not complex or sparse."},
      {"cell phi", [] { return callWith(1, host::cell({})); },
       "Input 1 (phi) must be a real double array, not complex or sparse."},
      {"two outputs",
       [] {
         return callWith(2, host::make(mxDOUBLE_CLASS, {2, 2}));
       },
       "Too many outputs: 2 requested, at most 1 returned."},
  };
  for (const auto& c : cases)
    levelsettest::expectRefusal(c);
}

TEST(SignFlipSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<double> field(25);
  for (std::size_t p = 0; p < 25; ++p)
    field[p] = static_cast<double>((p * 7) % 11) - 5.0;
  const host::Array phi = host::make<double>({5, 5}, field);
  EXPECT_EQ(plugintest::expectSparseRefused("sign_flip", 1, {phi.get()}), 1);
}

}  // namespace

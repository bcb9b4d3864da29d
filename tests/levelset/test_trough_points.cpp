// trough_points through the standalone host: window minima against an oracle that first finds
// the smallest value and then its first occurrence, the handling of the radius argument, and
// the refusals.
#include "levelset_support.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace {

using host::Array;
using levelsettest::callWith;

struct Positions {
  std::vector<double> rows, cols;
};

Positions troughs(mwSize m, mwSize n, const std::vector<double>& v, Array radius) {
  const host::CallResult r = callWith(2, host::make<double>({m, n}, v), std::move(radius));
  EXPECT_FALSE(r.failed) << r.error;
  if (r.failed) return {};
  return {host::values<double>(r.outputs[0].get()), host::values<double>(r.outputs[1].get())};
}

// The window minimum below 2147483647 (values that are not numbers never qualify), then the
// first position holding it, column by column, top to bottom; (0, 0) when there is none.
Positions oracle(int m, int n, const std::vector<double>& v, int r) {
  Positions p{std::vector<double>(m * n, 0.0), std::vector<double>(m * n, 0.0)};
  for (int j = r; j < n - r; ++j) {
    for (int i = r; i < m - r; ++i) {
      double low = 2147483647.0;
      for (int c = j - r; c <= j + r; ++c)
        for (int a = i - r; a <= i + r; ++a)
          if (v[a + c * m] < low) low = v[a + c * m];
      if (low == 2147483647.0) continue;
      bool found = false;
      for (int c = j - r; c <= j + r && !found; ++c) {
        for (int a = i - r; a <= i + r && !found; ++a) {
          if (v[a + c * m] == low) {
            p.rows[i + j * m] = a + 1;
            p.cols[i + j * m] = c + 1;
            found = true;
          }
        }
      }
    }
  }
  return p;
}

TEST(TroughPoints, MatchesOracleWithTiesAndUndefinedValues) {
  const double pool[] = {0,    1, 2, 3, -1, std::numeric_limits<double>::quiet_NaN(), 2147483647.0,
                         1e300};
  std::mt19937 rng(3);
  for (int trial = 0; trial < 80; ++trial) {
    const int m = 1 + int(rng() % 9), n = 1 + int(rng() % 9), r = int(rng() % 4);
    std::vector<double> v(m * n);
    const int kinds = trial % 2 == 0 ? 4 : 8;  // half the fields without special values
    for (auto& x : v)
      x = pool[rng() % kinds];
    const Positions got = troughs(m, n, v, host::scalar(r));
    const Positions want = oracle(m, n, v, r);
    EXPECT_EQ(got.rows, want.rows) << "trial " << trial;
    EXPECT_EQ(got.cols, want.cols) << "trial " << trial;
  }
}

TEST(TroughPoints, RadiusArgument) {
  const int m = 5, n = 6;
  std::vector<double> v(m * n);
  std::mt19937 rng(9);
  for (auto& x : v)
    x = double(rng() % 5);
  const Positions none{std::vector<double>(m * n, 0.0), std::vector<double>(m * n, 0.0)};
  struct Case {
    const char* what;
    std::vector<double> r;
    Positions expected;
  };
  const Case cases[] = {
      {"truncated towards zero", {1.9}, oracle(m, n, v, 1)},
      {"-0.5 truncates to 0", {-0.5}, oracle(m, n, v, 0)},
      {"only the first element is used", {2, 0, 0}, oracle(m, n, v, 2)},
      {"negative", {-1}, none},
      {"window wider than the rows", {3}, none},
      {"beyond 32 bits", {1e12}, none},
      {"below 32 bits", {-1e12}, none},
      {"not a number", {std::numeric_limits<double>::quiet_NaN()}, none},
  };
  for (const Case& c : cases) {
    const Positions got =
        troughs(m, n, v, host::make<double>({1, static_cast<mwSize>(c.r.size())}, c.r));
    EXPECT_EQ(got.rows, c.expected.rows) << c.what;
    EXPECT_EQ(got.cols, c.expected.cols) << c.what;
  }
  // r = 0 gives every pixel its own position; a constant field with r = 1 the top-left
  // neighbour of every pixel with a full window.
  const Positions own = troughs(2, 2, {4, 4, 4, 4}, host::scalar(0));
  EXPECT_EQ(own.rows, (std::vector<double>{1, 2, 1, 2}));
  EXPECT_EQ(own.cols, (std::vector<double>{1, 1, 2, 2}));
  const Positions flat = troughs(3, 4, std::vector<double>(12, 7), host::scalar(1));
  EXPECT_EQ(flat.rows, (std::vector<double>{0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(flat.cols, (std::vector<double>{0, 0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0}));
}

TEST(TroughPoints, OutputsAndRefusals) {
  for (const int nlhs : {0, 1}) {
    const host::CallResult r = callWith(nlhs, host::make<double>({3, 3}, {}), host::scalar(0));
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_TRUE(r.hostFault.empty()) << r.hostFault;
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(host::values<double>(r.outputs[0].get()),
              (std::vector<double>{1, 2, 3, 1, 2, 3, 1, 2, 3}));
  }
  auto field = [] { return host::make(mxDOUBLE_CLASS, {3, 3}); };
  const levelsettest::Refusal cases[] = {
      {"one input", [&] { return callWith(2, field()); },
       "Too few inputs: 1 given, 2 expected (V, r)."},
      {"single V",
       [&] {
         return callWith(2, host::make(mxSINGLE_CLASS, {3, 3}), host::scalar(1));
       },
       "Input 1 (V) must be a real double array, not complex or sparse."},
      {"int8 radius",
       [&] {
         return callWith(2, field(), host::make<std::int8_t>({1, 1}, {1}));
       },
       "Input 2 (r) must be a real double array, not complex or sparse."},
      {"three outputs", [&] { return callWith(3, field(), host::scalar(1)); },
       "Too many outputs: 3 requested, at most 2 returned."},
      {"empty radius",
       [&] {
         return callWith(2, field(), host::make(mxDOUBLE_CLASS, {1, 0}));
       },
       "Input 2 (r) must not be empty."},
  };
  for (const auto& c : cases)
    levelsettest::expectRefusal(c);
}

TEST(TroughPointsSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<double> field(25);
  for (std::size_t p = 0; p < 25; ++p)
    field[p] = static_cast<double>((p * 7) % 11) - 5.0;
  const host::Array v = host::make<double>({5, 5}, field);
  const host::Array r = host::scalar(1);
  EXPECT_EQ(plugintest::expectSparseRefused("trough_points", 2, {v.get(), r.get()}), 2);
}

}  // namespace

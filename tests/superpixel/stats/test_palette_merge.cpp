// paletteMerge through the standalone host: merged weights and key order against hand-checked
// lists and a brute-force merge, and the usage text for every fault of the checks.
#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using host::Array;
using Colour = std::array<std::uint8_t, 3>;

const std::string kUsage =
    "Error: incorrect function call\n\nUSAGE:\t[ colours, weights ] = paletteMerge( colours, "
    "weights )\n\n\tcolours: a Nx3 uint8 matrix containing the colour list\n\tweights: a Nx1 "
    "single real valued array containing the corresponding weight of each colour\n";

// An N-by-3 uint8 list from its rows.
Array colourList(const std::vector<Colour>& rows) {
  const mwSize n = rows.size();
  std::vector<std::uint8_t> v(3 * n);
  for (mwSize i = 0; i < n; ++i) {
    for (mwSize c = 0; c < 3; ++c)
      v[i + c * n] = rows[i][c];
  }
  return host::make<std::uint8_t>({n, 3}, v);
}

Array weightList(const std::vector<float>& w) {
  return host::make<float>({static_cast<mwSize>(w.size()), 1}, w);
}

// The rows of an E-by-3 uint8 output.
std::vector<Colour> rowsOf(const mxArray* a) {
  const std::vector<std::uint8_t> v = host::values<std::uint8_t>(a);
  const std::size_t e = v.size() / 3;
  std::vector<Colour> rows(e);
  for (std::size_t i = 0; i < e; ++i)
    rows[i] = {v[i], v[i + e], v[i + 2 * e]};
  return rows;
}

struct MergeCase {
  const char* what;
  std::vector<Colour> colours;
  std::vector<float> weights;
  std::vector<Colour> merged;
  std::vector<float> sums;
};

TEST(PaletteMerge, HandCheckedLists) {
  const std::vector<MergeCase> cases = {
      {"one colour twice", {{10, 20, 30}, {10, 20, 30}}, {0.5f, 0.25f}, {{10, 20, 30}}, {0.75f}},
      {"blue, then green, then red decide the order",
       {{0, 0, 1}, {255, 0, 0}, {0, 1, 0}},
       {1, 2, 3},
       {{255, 0, 0}, {0, 1, 0}, {0, 0, 1}},
       {2, 3, 1}},
      // In row order 1e8 + 1 rounds back to 1e8, so the sum is 0; another order gives 1.
      {"sums follow the row order",
       {{7, 7, 7}, {1, 2, 3}, {7, 7, 7}, {7, 7, 7}},
       {1e8f, 4, 1, -1e8f},
       {{1, 2, 3}, {7, 7, 7}},
       {4, 0}},
      {"weights are summed unchanged",
       {{9, 0, 0}, {9, 0, 0}, {0, 0, 255}},
       {-2, 0.5f, 0},
       {{9, 0, 0}, {0, 0, 255}},
       {-1.5f, 0}},
  };
  for (const MergeCase& c : cases) {
    const Array colours = colourList(c.colours), weights = weightList(c.weights);
    const host::CallResult r = host::call(2, {colours.get(), weights.get()});
    ASSERT_FALSE(r.failed) << c.what << ": " << r.error;
    ASSERT_TRUE(r.hostFault.empty()) << c.what << ": " << r.hostFault;
    EXPECT_TRUE(r.inputsUnchanged) << c.what;
    EXPECT_EQ(host::dims(r.outputs[0].get()),
              (std::vector<mwSize>{static_cast<mwSize>(c.merged.size()), 3}))
        << c.what;
    EXPECT_EQ(rowsOf(r.outputs[0].get()), c.merged) << c.what;
    EXPECT_EQ(host::values<float>(r.outputs[1].get()), c.sums) << c.what;
  }
}

TEST(PaletteMerge, MatchesBruteForceMergeOnRandomList) {
  std::mt19937 rng(3);
  const std::size_t n = 500;
  std::vector<Colour> colours(n);
  std::vector<float> weights(n);
  for (std::size_t i = 0; i < n; ++i) {
    // Few values per channel, so that colours repeat.
    colours[i] = {static_cast<std::uint8_t>(rng() % 4 * 85), static_cast<std::uint8_t>(rng() % 3),
                  static_cast<std::uint8_t>(rng() % 3 * 127)};
    weights[i] = static_cast<float>(rng() % 1000) / 64.0f - 5.0f;  // exact in single
  }
  // Brute force: one sum per distinct colour, found by linear search.
  std::vector<Colour> distinct;
  std::vector<double> sums;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t k = 0;
    while (k < distinct.size() && distinct[k] != colours[i])
      ++k;
    if (k == distinct.size()) {
      distinct.push_back(colours[i]);
      sums.push_back(0);
    }
    sums[k] += weights[i];
  }
  const Array c = colourList(colours), w = weightList(weights);
  const host::CallResult r = host::call(2, {c.get(), w.get()});
  ASSERT_FALSE(r.failed) << r.error;
  const std::vector<Colour> merged = rowsOf(r.outputs[0].get());
  const std::vector<float> mergedSums = host::values<float>(r.outputs[1].get());
  ASSERT_EQ(merged.size(), distinct.size());
  auto key = [](const Colour& c) { return c[0] + 256u * c[1] + 65536u * c[2]; };
  for (std::size_t i = 0; i < merged.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(key(merged[i - 1]), key(merged[i])) << "row " << i;
    }
    std::size_t k = 0;
    while (k < distinct.size() && distinct[k] != merged[i])
      ++k;
    ASSERT_LT(k, distinct.size()) << "row " << i << " is not an input colour";
    // Multiples of 1/64 below 2^17 in magnitude: every partial sum is exact in single.
    EXPECT_EQ(mergedSums[i], sums[k]) << "row " << i;
  }
}

TEST(PaletteMerge, EmptyListAndFewerOutputs) {
  const Array colours = host::make(mxUINT8_CLASS, {0, 3});
  const Array weights = host::make(mxSINGLE_CLASS, {0, 1});
  host::CallResult r = host::call(2, {colours.get(), weights.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{0, 3}));
  EXPECT_EQ(host::dims(r.outputs[1].get()), (std::vector<mwSize>{0, 1}));
  EXPECT_EQ(mxGetClassID(r.outputs[0].get()), mxUINT8_CLASS);
  EXPECT_EQ(mxGetClassID(r.outputs[1].get()), mxSINGLE_CLASS);

  const Array two = colourList({{1, 2, 3}, {1, 2, 3}}), w = weightList({1, 2});
  for (int nlhs : {0, 1}) {
    r = host::call(nlhs, {two.get(), w.get()});
    ASSERT_FALSE(r.failed) << r.error;
    ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(rowsOf(r.outputs[0].get()), (std::vector<Colour>{{1, 2, 3}}));
  }
}

using UsageCase = plugintest::CallCase;

class PaletteMergeUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(PaletteMergeUsage, ReportsTheUsageText) {
  plugintest::expectFailure(GetParam(), kUsage);
}

host::CallResult callWith(Array c, Array w, int nlhs = 2) {
  return host::call(nlhs, {c.get(), w.get()});
}

INSTANTIATE_TEST_SUITE_P(
    Checks, PaletteMergeUsage,
    ::testing::Values(
        UsageCase{"one input",
                  [] {
                    const Array c = colourList({{1, 2, 3}});
                    return host::call(2, {c.get()});
                  }},
        UsageCase{"three inputs",
                  [] {
                    const Array c = colourList({{1, 2, 3}}), w = weightList({1});
                    return host::call(2, {c.get(), w.get(), w.get()});
                  }},
        UsageCase{"three outputs",
                  [] {
                    return callWith(colourList({{1, 2, 3}}), weightList({1}), 3);
                  }},
        UsageCase{"double colours",
                  [] {
                    return callWith(host::make<double>({1, 3}, {1, 2, 3}), weightList({1}));
                  }},
        UsageCase{"double weights",
                  [] {
                    return callWith(colourList({{1, 2, 3}}), host::scalar(1));
                  }},
        UsageCase{"weights as a row",
                  [] {
                    return callWith(colourList({{1, 2, 3}, {4, 5, 6}}),
                                    host::make<float>({1, 2}, {1, 2}));
                  }},
        UsageCase{"four colour columns",
                  [] {
                    return callWith(host::make(mxUINT8_CLASS, {2, 4}), weightList({1, 2}));
                  }},
        UsageCase{"more weights than colours",
                  [] {
                    return callWith(colourList({{1, 2, 3}}), weightList({1, 2}));
                  }},
        UsageCase{"two weight columns", [] {
                    return callWith(colourList({{1, 2, 3}, {4, 5, 6}}),
                                    host::make(mxSINGLE_CLASS, {2, 2}));
                  }}));

}  // namespace

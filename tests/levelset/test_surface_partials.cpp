// surface_partials through the standalone host: central differences are exact on quadratic
// fields, so each derivative is checked against its analytic value.
#include "levelset_support.h"

#include <functional>

namespace {

using levelsettest::callWith;
using levelsettest::field;

using Fn = std::function<double(int, int)>;

struct Quadratic {
  const char* what;
  Fn phi;
  Fn derivative[5];  // x, y, xx, yy, xy at (i, j)
};

TEST(SurfacePartials, ExactOnQuadraticFields) {
  auto k = [](double c) { return Fn([c](int, int) { return c; }); };
  const Quadratic cases[] = {
      {"3j - 2i + 1",
       [](int i, int j) { return 3.0 * j - 2 * i + 1; },
       {k(3), k(-2), k(0), k(0), k(0)}},
      {"i j",
       [](int i, int j) { return double(i * j); },
       {[](int i, int) { return double(i); }, [](int, int j) { return double(j); }, k(0), k(0),
        k(1)}},
      {"j^2",
       [](int, int j) { return double(j * j); },
       {[](int, int j) { return 2.0 * j; }, k(0), k(2), k(0), k(0)}},
      {"i^2 - 3 i j",
       [](int i, int j) { return double(i * i - 3 * i * j); },
       {[](int i, int) { return -3.0 * i; }, [](int i, int j) { return 2.0 * i - 3 * j; }, k(0),
        k(2), k(-3)}},
  };
  const mwSize m = 5, n = 6;
  for (const Quadratic& c : cases) {
    const host::CallResult r = callWith(5, field(m, n, c.phi));
    ASSERT_FALSE(r.failed) << r.error;
    ASSERT_EQ(r.outputs.size(), 5u);
    for (int d = 0; d < 5; ++d) {
      EXPECT_EQ(host::dims(r.outputs[d].get()), (std::vector<mwSize>{m, n}));
      const std::vector<double> v = host::values<double>(r.outputs[d].get());
      for (mwSize j = 0; j < n; ++j) {
        for (mwSize i = 0; i < m; ++i) {
          const bool inside = i > 0 && j > 0 && i + 1 < m && j + 1 < n;
          EXPECT_EQ(v[i + j * m], inside ? c.derivative[d](int(i), int(j)) : 0.0)
              << c.what << ", output " << d + 1 << " at " << i << ", " << j;
        }
      }
    }
  }
}

TEST(SurfacePartials, ReturnsAsManyOutputsAsRequested) {
  auto phi = [](int i, int j) { return double(i * j + j * j); };
  const host::CallResult all = callWith(5, field(4, 4, phi));
  for (const int nlhs : {0, 1, 3}) {
    const host::CallResult r = callWith(nlhs, field(4, 4, phi));
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_TRUE(r.hostFault.empty()) << r.hostFault;
    ASSERT_EQ(r.outputs.size(), size_t(nlhs < 1 ? 1 : nlhs));
    for (size_t d = 0; d < r.outputs.size(); ++d) {
      EXPECT_EQ(host::values<double>(r.outputs[d].get()),
                host::values<double>(all.outputs[d].get()));
    }
  }
  // Too small for an interior: zeros of the input's size.
  const host::CallResult thin = callWith(5, field(2, 7, phi), field(1, 1, phi));
  ASSERT_FALSE(thin.failed) << thin.error;
  for (const auto& out : thin.outputs) {
    EXPECT_EQ(host::values<double>(out.get()), std::vector<double>(14, 0.0));
  }
}

TEST(SurfacePartials, Refusals) {
  const levelsettest::Refusal cases[] = {
      {"no input", [] { return host::call(5, {}); }, "Too few inputs: 0 given, 1 expected (phi)."},
      {"int32 phi",
       [] {
         return callWith(5, host::make(mxINT32_CLASS, {3, 3}));
       },
       "Input 1 (phi) must be a real double array, not complex or sparse."},
      {"six outputs",
       [] {
         return callWith(6, host::make(mxDOUBLE_CLASS, {3, 3}));
       },
       "Too many outputs: 6 requested, at most 5 returned."},
  };
  for (const auto& c : cases)
    levelsettest::expectRefusal(c);
}

TEST(SurfacePartialsSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<double> field(25);
  for (std::size_t p = 0; p < 25; ++p)
    field[p] = static_cast<double>((p * 7) % 11) - 5.0;
  const host::Array phi = host::make<double>({5, 5}, field);
  EXPECT_EQ(plugintest::expectSparseRefused("surface_partials", 5, {phi.get()}), 1);
}

}  // namespace

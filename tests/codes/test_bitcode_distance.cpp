// bitcode_distance through the standalone host: the distance table against hand-checked and
// brute-force results, its identities, and the refusal of calls that would read outside the
// arrays.
#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using host::Array;

// A logical M-by-N array holding the given bytes (column-major), written as raw bytes so that
// stored values other than 0 and 1 can be tried.
Array logical(mwSize m, mwSize n, const std::vector<std::uint8_t>& bytes) {
  Array a = host::make(mxLOGICAL_CLASS, {m, n});
  auto* data = static_cast<std::uint8_t*>(mxGetData(a.get()));
  for (std::size_t k = 0; k < bytes.size() && k < static_cast<std::size_t>(m * n); ++k)
    data[k] = bytes[k];
  return a;
}

std::vector<double> table(const mxArray* a, const mxArray* b, std::vector<mwSize>* dims = nullptr) {
  const host::CallResult r = host::call(1, {a, b});
  EXPECT_FALSE(r.failed) << r.error;
  EXPECT_TRUE(r.inputsUnchanged);
  if (r.failed) return {};
  if (dims != nullptr) *dims = host::dims(r.outputs[0].get());
  return host::values<double>(r.outputs[0].get());
}

TEST(BitcodeDistance, HandCheckedTables) {
  struct Case {
    const char* what;
    mwSize m, na, nb;
    std::vector<std::uint8_t> a, b;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {"one code each", 4, 1, 1, {1, 0, 1, 1}, {1, 1, 0, 1}, {2}},
      // A's codes: 110, 000; B's: 110, 111, 001. D(j, i) at j + i*NA.
      {"two by three",
       3,
       2,
       3,
       {1, 1, 0, 0, 0, 0},
       {1, 1, 0, 1, 1, 1, 0, 0, 1},
       {0, 2, 1, 3, 3, 1}},
      // Whole bytes: stored 2 and 1 differ although both are true.
      {"whole bytes", 3, 1, 1, {2, 1, 0}, {1, 1, 0}, {1}},
      {"no bits", 0, 2, 3, {}, {}, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Array a = logical(c.m, c.na, c.a);
    const Array b = logical(c.m, c.nb, c.b);
    std::vector<mwSize> dims;
    EXPECT_EQ(table(a.get(), b.get(), &dims), c.expected) << c.what;
    EXPECT_EQ(dims, (std::vector<mwSize>{c.na, c.nb})) << c.what;
  }
}

TEST(BitcodeDistance, EmptyCodeSetsGiveEmptyTables) {
  const std::vector<std::vector<mwSize>> shapes = {{0, 3}, {3, 0}, {0, 0}};  // {NA, NB}
  for (const auto& s : shapes) {
    const Array a = host::make(mxLOGICAL_CLASS, {8, s[0]});
    const Array b = host::make(mxLOGICAL_CLASS, {8, s[1]});
    std::vector<mwSize> dims;
    EXPECT_TRUE(table(a.get(), b.get(), &dims).empty());
    EXPECT_EQ(dims, s);
  }
}

TEST(BitcodeDistance, SelfComplementAndExchangeIdentities) {
  std::mt19937 rng(23);
  const mwSize m = 300, na = 7, nb = 5;
  std::vector<std::uint8_t> a(m * na), b(m * nb);
  for (auto& x : a)
    x = static_cast<std::uint8_t>(rng() % 2);
  for (auto& x : b)
    x = static_cast<std::uint8_t>(rng() % 2);
  std::vector<std::uint8_t> complement(a);
  for (auto& x : complement)
    x = static_cast<std::uint8_t>(1 - x);
  const Array A = logical(m, na, a), B = logical(m, nb, b), C = logical(m, na, complement);

  const std::vector<double> self = table(A.get(), A.get());
  const std::vector<double> opposite = table(A.get(), C.get());
  for (mwSize j = 0; j < na; ++j) {
    EXPECT_EQ(self[j + j * na], 0);
    EXPECT_EQ(opposite[j + j * na], m);
  }
  const std::vector<double> ab = table(A.get(), B.get());
  const std::vector<double> ba = table(B.get(), A.get());
  for (mwSize i = 0; i < nb; ++i) {
    for (mwSize j = 0; j < na; ++j) {
      EXPECT_EQ(ab[j + i * na], ba[i + j * nb]);
      double d = 0;
      for (mwSize k = 0; k < m; ++k)
        d += a[k + j * m] != b[k + i * m];
      EXPECT_EQ(ab[j + i * na], d);
    }
  }
}

TEST(BitcodeDistance, RefusesCallsThatWouldReadOutsideTheArrays) {
  const Array codes3 = logical(3, 2, {});
  const Array codes4 = logical(4, 2, {});
  const Array doubles = host::make(mxDOUBLE_CLASS, {3, 2});
  const Array bytes = host::make(mxUINT8_CLASS, {3, 2});
  struct Case {
    const char* what;
    int nlhs;
    std::vector<const mxArray*> inputs;
    std::string error;
  };
  const std::string tooFew = "Two inputs are required: the code sets A and B.";
  const std::string classA = "Code set A must be a full logical matrix.";
  const std::string classB = "Code set B must be a full logical matrix.";
  const std::string outputs = "At most one output can be requested.";
  const Case cases[] = {
      {"no input", 1, {}, tooFew},
      {"one input", 1, {codes3.get()}, tooFew},
      {"one input of the wrong class", 2, {doubles.get()}, tooFew},
      {"double A", 1, {doubles.get(), codes3.get()}, classA},
      {"uint8 A", 1, {bytes.get(), codes3.get()}, classA},
      {"double B", 1, {codes3.get(), doubles.get()}, classB},
      {"class before outputs", 2, {codes3.get(), bytes.get()}, classB},
      {"two outputs", 2, {codes3.get(), codes3.get()}, outputs},
      {"outputs before rows", 2, {codes3.get(), codes4.get()}, outputs},
      {"B has more rows",
       1,
       {codes3.get(), codes4.get()},
       "Code set A has 3 rows but code set B has 4; both must have the same number of rows."},
      {"B has fewer rows",
       0,
       {codes4.get(), codes3.get()},
       "Code set A has 4 rows but code set B has 3; both must have the same number of rows."},
  };
  for (const Case& c : cases) {
    const host::CallResult r = host::call(c.nlhs, c.inputs);
    EXPECT_TRUE(r.failed) << c.what;
    EXPECT_EQ(r.error, c.error) << c.what;
  }
}

TEST(BitcodeDistance, ExtraInputsAreIgnoredAndNoOutputGivesTheTable) {
  const Array a = logical(2, 1, {1, 0});
  const Array b = logical(2, 1, {0, 0});
  const Array extra = host::scalar(5);
  const host::CallResult r = host::call(0, {a.get(), b.get(), extra.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<double>(r.outputs[0].get()), (std::vector<double>{1}));
}

TEST(BitcodeDistanceSparse, EveryArgumentRefusedWhenSparse) {
  const host::Array a = host::make<bool>({3, 2}, {true, false, true, false, false, true});
  const host::Array b = host::make<bool>({3, 4}, std::vector<bool>(12, true));
  EXPECT_EQ(plugintest::expectSparseRefused("bitcode_distance", 1, {a.get(), b.get()}), 2);
}

}  // namespace

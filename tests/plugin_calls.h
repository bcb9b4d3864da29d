// Shared by the plug-in tests: a call of the linked plug-in and the text it must fail with,
// and a call with inputs that live until it returns.
#ifndef MOTIONSEG_TESTS_PLUGIN_CALLS_H
#define MOTIONSEG_TESTS_PLUGIN_CALLS_H

#include "gateway/standalone/host.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace plugintest {

/// A named call of the linked plug-in and the text it must end with (unused by suites that
/// expect one text for every case).
struct CallCase {
  const char* what;
  std::function<host::CallResult()> call;
  std::string error = {};
};

inline void PrintTo(const CallCase& c, std::ostream* os) {
  *os << c.what;
}

/// Makes the call and expects it to fail with exactly `error`; hands the result to *result,
/// when given, for further checks.
inline void expectFailure(const CallCase& c, const std::string& error,
                          host::CallResult* result = nullptr) {
  host::CallResult r = c.call();
  ASSERT_TRUE(r.failed) << c.what;
  EXPECT_EQ(r.error, error) << c.what;
  if (result != nullptr) *result = std::move(r);
}

/// The same with the case's own text.
inline void expectFailure(const CallCase& c, host::CallResult* result = nullptr) {
  expectFailure(c, c.error, result);
}

/// Calls the plug-in with the given inputs, which live until the call returns.
template <class... Arrays>
host::CallResult callWith(int nlhs, Arrays... inputs) {
  return host::call(nlhs, {inputs.get()...});
}

/// Bytes of the elements of a call's outputs (the arrays the host would copy).
inline std::uint64_t outputBytes(const host::CallResult& r) {
  std::uint64_t bytes = 0;
  for (const host::Array& out : r.outputs) {
    if (out) bytes += mxGetNumberOfElements(out.get()) * mxGetElementSize(out.get());
  }
  return bytes;
}

/// The arguments of a call that the real host can hold as sparse arrays (double and logical
/// matrices, also inside cells), one at a time: calls check(what, inputs) with that argument
/// replaced by its sparse version, `what` naming it.
inline void forEachSparseVersion(
    const std::vector<const mxArray*>& inputs,
    const std::function<void(const std::string&, const std::vector<const mxArray*>&)>& check) {
  const auto sparsable = [](const mxArray* a) {
    return a != nullptr && (mxIsDouble(a) || mxIsLogical(a)) && mxGetNumberOfDimensions(a) == 2;
  };
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    std::vector<const mxArray*> bad = inputs;
    if (sparsable(inputs[k])) {
      const host::Array s = host::sparse(host::Array(mxDuplicateArray(inputs[k])));
      bad[k] = s.get();
      check("argument " + std::to_string(k + 1), bad);
    } else if (inputs[k] != nullptr && mxIsCell(inputs[k])) {
      for (std::size_t e = 0; e < mxGetNumberOfElements(inputs[k]); ++e) {
        const mxArray* element = mxGetCell(inputs[k], static_cast<mwIndex>(e));
        if (!sparsable(element)) continue;
        const host::Array copy(mxDuplicateArray(inputs[k]));
        mxSetCell(copy.get(), static_cast<mwIndex>(e),
                  host::sparse(host::Array(mxDuplicateArray(element))).release());
        bad[k] = copy.get();
        check("argument " + std::to_string(k + 1) + ", cell " + std::to_string(e + 1), bad);
      }
    }
  }
}

/// The call with `inputs` succeeds, and with any one argument made sparse (see
/// forEachSparseVersion) it fails with the identifier motionseg:NAME:class. Returns how many
/// sparse versions were tried.
inline int expectSparseRefused(const char* name, int nlhs,
                               const std::vector<const mxArray*>& inputs) {
  const host::CallResult good = host::call(nlhs, inputs);
  EXPECT_FALSE(good.failed) << name << ": " << good.error;
  int tried = 0;
  forEachSparseVersion(inputs,
                       [&](const std::string& what, const std::vector<const mxArray*>& bad) {
                         const host::CallResult r = host::call(nlhs, bad);
                         EXPECT_TRUE(r.failed) << name << " with a sparse " << what;
                         EXPECT_EQ(r.errorId, std::string("motionseg:") + name + ":class")
                             << name << " with a sparse " << what << ": " << r.error;
                         ++tried;
                       });
  return tried;
}

}  // namespace plugintest

#endif  // MOTIONSEG_TESTS_PLUGIN_CALLS_H

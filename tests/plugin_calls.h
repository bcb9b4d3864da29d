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

}  // namespace plugintest

#endif  // MOTIONSEG_TESTS_PLUGIN_CALLS_H

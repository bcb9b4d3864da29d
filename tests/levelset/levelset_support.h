// Helpers shared by the tests of the level-set routines.
#ifndef MOTIONSEG_TESTS_LEVELSET_SUPPORT_H
#define MOTIONSEG_TESTS_LEVELSET_SUPPORT_H

#include "gateway/standalone/host.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace levelsettest {

/// An m-by-n double array with element (i, j) = f(i, j).
inline host::Array field(mwSize m, mwSize n, const std::function<double(int, int)>& f) {
  std::vector<double> v(m * n);
  for (mwSize j = 0; j < n; ++j)
    for (mwSize i = 0; i < m; ++i)
      v[i + j * m] = f(static_cast<int>(i), static_cast<int>(j));
  return host::make<double>({m, n}, v);
}

/// A call that must fail with exactly the given text.
struct Refusal {
  const char* what;
  std::function<host::CallResult()> call;
  std::string error;
};
inline void PrintTo(const Refusal& c, std::ostream* os) {
  *os << c.what;
}

inline void expectRefusal(const Refusal& c) {
  const host::CallResult r = c.call();
  ASSERT_TRUE(r.failed) << c.what;
  EXPECT_EQ(r.error, c.error) << c.what;
  EXPECT_TRUE(r.hostFault.empty()) << r.hostFault;
}

/// Calls the plug-in with the given inputs, which live until the call returns.
template <class... Arrays>
host::CallResult callWith(int nlhs, Arrays... inputs) {
  return host::call(nlhs, {inputs.get()...});
}

}  // namespace levelsettest

#endif  // MOTIONSEG_TESTS_LEVELSET_SUPPORT_H

// Helpers shared by the tests of the level-set routines.
#ifndef MOTIONSEG_TESTS_LEVELSET_SUPPORT_H
#define MOTIONSEG_TESTS_LEVELSET_SUPPORT_H

#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"

#include <gtest/gtest.h>

#include <functional>
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
using Refusal = plugintest::CallCase;

inline void expectRefusal(const Refusal& c) {
  host::CallResult r;
  plugintest::expectFailure(c, &r);
  EXPECT_TRUE(r.hostFault.empty()) << r.hostFault;
}

using plugintest::callWith;

}  // namespace levelsettest

#endif  // MOTIONSEG_TESTS_LEVELSET_SUPPORT_H

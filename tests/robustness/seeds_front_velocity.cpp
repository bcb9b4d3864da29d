// Valid calls of front_velocity from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  std::vector<host::Array> a;
  for (int k = 0; k < 8; ++k)
    a.push_back(make<double>({5, 6}, wave(30, 1.0 + k, 0.1 * k)));
  a.push_back(scalar(0.5));
  add(p, "5-by-6 fields", std::move(a), 1, {{mxDOUBLE_CLASS, {5, 6}}});
  std::vector<host::Array> b;
  for (int k = 0; k < 8; ++k)
    b.push_back(make<double>({3, 3}, wave(9, 2.0, -0.5 * k)));
  b.push_back(scalar(-2));
  add(p, "3-by-3 fields", std::move(b), 0, {{mxDOUBLE_CLASS, {3, 3}}});
  return p;
}

}  // namespace robust

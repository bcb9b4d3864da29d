// Valid calls of sign_flip from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  add(p, "5-by-6", args(make<double>({5, 6}, wave(30, 2))), 1, {{mxLOGICAL_CLASS, {5, 6}}});
  add(p, "one row", args(make<double>({1, 2}, {0.5, -0.2})), 0, {{mxLOGICAL_CLASS, {1, 2}}});
  return p;
}

}  // namespace robust

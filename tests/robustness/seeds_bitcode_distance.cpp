// Valid calls of bitcode_distance from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  add(p, "8-bit codes",
      args(make<bool>({8, 3}, cycle<bool>(24, 2, 0, 1)),
           make<bool>({8, 4}, cycle<bool>(32, 3, 0, 1))),
      1, {{mxDOUBLE_CLASS, {3, 4}}});
  add(p, "one code each", args(make<bool>({4, 1}, {1, 0, 1, 1}), make<bool>({4, 1}, {1, 1, 0, 1})),
      0, {{mxDOUBLE_CLASS, {1, 1}}});
  return p;
}

}  // namespace robust

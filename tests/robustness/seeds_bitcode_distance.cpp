// Valid calls of bitcode_distance from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  add(p, "8-bit codes",
      args(make<mxLogical>({8, 3}, cycle<mxLogical>(24, 2, 0, 1)),
           make<mxLogical>({8, 4}, cycle<mxLogical>(32, 3, 0, 1))),
      1, {{mxDOUBLE_CLASS, {3, 4}}});
  add(p, "one code each",
      args(make<mxLogical>({4, 1}, {1, 0, 1, 1}), make<mxLogical>({4, 1}, {1, 1, 0, 1})), 0,
      {{mxDOUBLE_CLASS, {1, 1}}});
  return p;
}

}  // namespace robust

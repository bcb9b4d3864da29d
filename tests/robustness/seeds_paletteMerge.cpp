// Valid calls of paletteMerge from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  // Rows [10 20 30; 0 0 1; 10 20 30; 5 5 5; 0 0 1]: three distinct colours.
  add(p, "repeated colours",
      args(make<uint8_t>({5, 3}, {10, 0, 10, 5, 0, 20, 0, 20, 5, 0, 30, 1, 30, 5, 1}),
           make<float>({5, 1}, {0.5f, 1, 0.25f, -2, 3})),
      2, {{mxUINT8_CLASS, {3, 3}}, {mxSINGLE_CLASS, {3, 1}}});
  add(p, "distinct colours",
      args(make<uint8_t>({4, 3}, cycle<uint8_t>(12, 256, 0, 29)),
           make<float>({4, 1}, {1, 2, 3, 4})),
      1, {{mxUINT8_CLASS, {4, 3}}});
  return p;
}

}  // namespace robust

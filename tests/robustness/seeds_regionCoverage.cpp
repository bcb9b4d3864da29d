// Valid calls of regionCoverage from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  add(p, "default N, two outputs",
      args(make<uint16_t>({4, 6}, cycle<uint16_t>(24, 4, 1)),
           make<bool>({4, 6}, cycle<bool>(24, 2, 0, 1))),
      2, {{mxSINGLE_CLASS, {4, 1}}, {mxUINT32_CLASS, {4, 1}}});
  add(p, "given N",
      args(make<uint16_t>({3, 3}, cycle<uint16_t>(9, 3, 1)), make<bool>({3, 3}, cycle<bool>(9, 2)),
           make<uint16_t>({1, 1}, {6})),
      1, {{mxSINGLE_CLASS, {6, 1}}});
  return p;
}

}  // namespace robust

// Valid calls of regionMotionLevel from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  // 3-by-4 frame, labels 0..3 (0 skipped), small flows of both signs.
  add(p, "default N",
      args(make<int16_t>({3, 4, 2}, cycle<int16_t>(24, 7, -3)),
           make<uint16_t>({3, 4}, cycle<uint16_t>(12, 4))),
      1, {{mxSINGLE_CLASS, {3, 1}}});
  add(p, "given N",
      args(make<int16_t>({2, 5, 2}, cycle<int16_t>(20, 9, -4, 2)),
           make<uint16_t>({2, 5}, cycle<uint16_t>(10, 3, 1)), scalar(5)),
      0, {{mxSINGLE_CLASS, {5, 1}}});
  return p;
}

}  // namespace robust

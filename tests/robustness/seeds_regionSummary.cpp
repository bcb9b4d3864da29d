// Valid calls of regionSummary from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  // Two 3-by-4 frames, labels 1..4 in both.
  add(p, "two frames",
      args(cellOf(make<uint8_t>({3, 4, 3}, cycle<uint8_t>(36, 256, 5, 37)),
                  make<uint8_t>({3, 4, 3}, cycle<uint8_t>(36, 256, 9, 53))),
           cellOf(make<uint32_t>({3, 4}, cycle<uint32_t>(12, 4, 1)),
                  make<uint32_t>({3, 4}, cycle<uint32_t>(12, 4, 1, 3))),
           scalar(4)),
      3, {{mxSINGLE_CLASS, {4, 3}}, {mxSINGLE_CLASS, {4, 2}}, {mxUINT32_CLASS, {4, 1}}});
  // One 2-by-5 frame using labels 1..3 of 6, no output requested (the colours come back).
  add(p, "one frame, unused labels",
      args(cellOf(make<uint8_t>({2, 5, 3}, cycle<uint8_t>(30, 256, 1, 17))),
           cellOf(make<uint32_t>({2, 5}, cycle<uint32_t>(10, 3, 1))), scalar(6.5)),
      0, {{mxSINGLE_CLASS, {6, 3}}});
  return p;
}

}  // namespace robust

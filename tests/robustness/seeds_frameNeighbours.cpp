// Valid calls of frameNeighbours from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  // Frames [1 1 2; 3 3 2] and [4 4 5; 4 5 5]: pairs (0,1) (0,2) (1,2) (3,4).
  add(p, "two frames",
      args(cellOf(make<uint32_t>({2, 3}, {1, 3, 1, 3, 2, 2}),
                  make<uint32_t>({2, 3}, {4, 4, 4, 5, 5, 5})),
           scalar(5)),
      2, {{mxUINT32_CLASS, {4, 1}}, {mxUINT32_CLASS, {4, 1}}});
  // A single frame holding labels 1 and 2 side by side: one pair; only A requested.
  add(p, "one frame", args(cellOf(make<uint32_t>({3, 2}, {1, 1, 1, 2, 2, 2})), scalar(3)), 0,
      {{mxUINT32_CLASS, {1, 1}}});
  return p;
}

}  // namespace robust

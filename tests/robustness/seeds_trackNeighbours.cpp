// Valid calls of trackNeighbours from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  // Labels [1 1 2 2] -> [3 3 3 4] under zero flow: edges (0,2), (1,2), (1,3).
  add(p, "one step",
      args(cellOf(make(mxINT16_CLASS, {1, 4, 2})),
           cellOf(make<uint32_t>({1, 4}, {1, 1, 2, 2}), make<uint32_t>({1, 4}, {3, 3, 3, 4})),
           scalar(4)),
      3, {{mxUINT32_CLASS, {3, 1}}, {mxUINT32_CLASS, {3, 1}}, {mxSINGLE_CLASS, {3, 1}}});
  // 2-by-2 frames under zero flow: 1->3, 2->4, then 3->5, 3->6, 4->5, 4->6: six edges.
  add(p, "two steps",
      args(cellOf(make(mxINT16_CLASS, {2, 2, 2}), make(mxINT16_CLASS, {2, 2, 2})),
           cellOf(make<uint32_t>({2, 2}, {1, 1, 2, 2}), make<uint32_t>({2, 2}, {3, 3, 4, 4}),
                  make<uint32_t>({2, 2}, {5, 6, 5, 6})),
           scalar(6)),
      3, {{mxUINT32_CLASS, {6, 1}}, {mxUINT32_CLASS, {6, 1}}, {mxSINGLE_CLASS, {6, 1}}});
  // Row r of a 3-by-3 frame moves by r - 1 rows and columns: rows 0 and 2 leave the frame,
  // row 1 (label 2) stays and lands on labels 5, 4, 5: edges (1,4) and (1,3); only A requested.
  add(p, "moving",
      args(cellOf(make<int16_t>({3, 3, 2}, cycle<int16_t>(18, 3, -1))),
           cellOf(make<uint32_t>({3, 3}, cycle<uint32_t>(9, 3, 1)),
                  make<uint32_t>({3, 3}, cycle<uint32_t>(9, 2, 4))),
           scalar(5)),
      0, {{mxUINT32_CLASS, {2, 1}}});
  return p;
}

}  // namespace robust

// Valid calls of regionLinkage from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  // A = [1 1; 2 2], B = [1 2; 2 2] under zero flow: K = [1 1; 0 2].
  add(p, "zero flow",
      args(make(mxINT16_CLASS, {2, 2, 2}), make<uint16_t>({2, 2}, {1, 2, 1, 2}),
           make<uint16_t>({2, 2}, {1, 2, 2, 2})),
      1, {{mxUINT32_CLASS, {2, 2}}});
  // Flows of one pixel either way, unlabelled pixels, more superpixels than labels.
  add(p, "moving, given N1 and N2",
      args(make<int16_t>({3, 4, 2}, cycle<int16_t>(24, 3, -1, 2)),
           make<uint16_t>({3, 4}, cycle<uint16_t>(12, 4)),
           make<uint16_t>({3, 4}, cycle<uint16_t>(12, 3, 0, 2)), scalar(3), scalar(4.7)),
      0, {{mxUINT32_CLASS, {3, 4}}});
  return p;
}

}  // namespace robust

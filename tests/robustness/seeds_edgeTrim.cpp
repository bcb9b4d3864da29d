// Valid calls of edgeTrim from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

// A 6-by-6 square ring two pixels from the border (column-major).
std::vector<bool> ring() {
  std::vector<bool> v(36, 0);
  for (int i = 1; i <= 4; ++i) {
    for (int j = 1; j <= 4; ++j)
      v[i + 6 * j] = (i == 1 || i == 4 || j == 1 || j == 4);
  }
  return v;
}

Plan plan() {
  Plan p;
  add(p, "ring", args(make<bool>({6, 6}, ring())), 1, {{mxLOGICAL_CLASS, {6, 6}}});
  add(p, "ring and mask",
      args(make<bool>({6, 6}, ring()), make<bool>({6, 6}, cycle<bool>(36, 5, 0))), 0,
      {{mxLOGICAL_CLASS, {6, 6}}});
  add(p, "touching the border", args(make<bool>({4, 5}, cycle<bool>(20, 2, 0, 1))), 1,
      {{mxLOGICAL_CLASS, {4, 5}}});
  return p;
}

}  // namespace robust

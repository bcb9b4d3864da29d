// Valid calls of surface_slope from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  add(p, "5-by-6", args(make<double>({5, 6}, wave(30, 3)), make<double>({5, 6}, wave(30, 1, 0.2))),
      1, {{mxDOUBLE_CLASS, {5, 6}}});
  // A speed with more elements than the field: read with the field's layout.
  add(p, "longer speed",
      args(make<double>({3, 4}, wave(12, 2)), make<double>({1, 15}, wave(15, -1))), 0,
      {{mxDOUBLE_CLASS, {3, 4}}});
  return p;
}

}  // namespace robust

// Valid calls of trough_points from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  add(p, "radius 1", args(make<double>({6, 6}, wave(36, 5)), scalar(1)), 2,
      {{mxDOUBLE_CLASS, {6, 6}}, {mxDOUBLE_CLASS, {6, 6}}});
  add(p, "radius 2, one output", args(make<double>({5, 7}, wave(35, 2, 1)), scalar(2.9)), 1,
      {{mxDOUBLE_CLASS, {5, 7}}});
  return p;
}

}  // namespace robust

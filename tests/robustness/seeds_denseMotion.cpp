// Valid calls of denseMotion from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  // The flow is expensive: tiny frames and few calls.
  p.calls = 150;
  add(p, "8-by-8 frames",
      args(make<double>({8, 8, 3}, wave(192, 60, 128)),
           make<double>({8, 8, 3}, wave(192, 50, 120))),
      1, {{mxDOUBLE_CLASS, {8, 8, 2}}});
  add(p, "given parameters",
      args(make<double>({6, 5, 4}, wave(120, 40, 100)), make<double>({6, 5, 4}, wave(120, 45, 90)),
           scalar(0.6), scalar(20), scalar(100), scalar(3)),
      1, {{mxDOUBLE_CLASS, {6, 5, 2}}});
  return p;
}

}  // namespace robust

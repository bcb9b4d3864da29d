// Valid calls of surface_partials from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  p.maxNlhs = 6;
  add(p, "five outputs", args(make<double>({5, 6}, wave(30, 3))), 5,
      {{mxDOUBLE_CLASS, {5, 6}},
       {mxDOUBLE_CLASS, {5, 6}},
       {mxDOUBLE_CLASS, {5, 6}},
       {mxDOUBLE_CLASS, {5, 6}},
       {mxDOUBLE_CLASS, {5, 6}}});
  add(p, "two outputs", args(make<double>({3, 3}, wave(9, 1))), 2,
      {{mxDOUBLE_CLASS, {3, 3}}, {mxDOUBLE_CLASS, {3, 3}}});
  add(p, "no output", args(make<double>({1, 4}, wave(4, 1))), 0, {{mxDOUBLE_CLASS, {1, 4}}});
  return p;
}

}  // namespace robust

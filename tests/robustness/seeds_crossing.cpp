// Valid calls of crossingCounts and crossingRuns (one computation, two plug-ins) from which the
// robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

// A 7-by-10 image with a closed rectangular outline of ones.
std::vector<uint8_t> box() {
  std::vector<uint8_t> v(70, 0);
  for (int j = 2; j <= 7; ++j)
    v[1 + 7 * j] = v[5 + 7 * j] = 1;
  for (int i = 1; i <= 5; ++i)
    v[i + 7 * 2] = v[i + 7 * 7] = 1;
  return v;
}

Plan plan() {
  Plan p;
  add(p, "outline", args(make<uint8_t>({7, 10}, box())), 1, {{mxUINT8_CLASS, {7, 10}}});
  add(p, "grey levels", args(make<uint8_t>({4, 5}, cycle<uint8_t>(20, 256, 3, 71))), 0,
      {{mxUINT8_CLASS, {4, 5}}});
  add(p, "one row", args(make<uint8_t>({1, 6}, {0, 1, 0, 2, 2, 0})), 1, {{mxUINT8_CLASS, {1, 6}}});
  return p;
}

}  // namespace robust

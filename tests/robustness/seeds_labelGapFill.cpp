// Valid calls of labelGapFill from which the robustness harness derives its random calls.
#include "random_calls.h"

#include <cstdint>

namespace robust {

Plan plan() {
  Plan p;
  // Labels 0..3 in a 4-by-5 map: some gaps have labelled neighbours.
  add(p, "gaps", args(make<uint16_t>({4, 5}, cycle<uint16_t>(20, 4, 0, 3))), 1,
      {{mxUINT16_CLASS, {4, 5}}});
  // A gap with no labelled neighbour (printed) next to a filled one.
  add(p, "isolated gap", args(make<uint16_t>({3, 3}, {0, 0, 0, 0, 0, 0, 0, 0, 7})), 0,
      {{mxUINT16_CLASS, {3, 3}}});
  return p;
}

}  // namespace robust

// sign_flip on fixed inputs: the zero set of a distance field, ties, signed zeros and values
// that are not numbers, thin fields.
#include "levelset.h"

namespace digest {

Plan plan() {
  Plan p;
  p.calls = {
      {"a circle", [] { return arguments(distanceField(40, 35, 19, 16, 11, 1)); }, 1,
       0xd9a6320125da4b47ull},
      // A grid of 1/4 makes many ties between neighbours.
      {"ties and special values", [] { return arguments(specialField(26, 31, 2, 1)); }, 1,
       0x9c1ce39f40567969ull},
      {"one column, no output requested", [] { return arguments(gridField(45, 1, 3, 1)); }, 0,
       0xd6c228acc8f29a9dull},
  };
  return p;
}

}  // namespace digest

// surface_slope on fixed inputs: a distance field under speeds of both signs, special values,
// a speed longer than the field.
#include "levelset.h"

namespace digest {

Plan plan() {
  Plan p;
  p.calls = {
      {"a circle under mixed speeds",
       [] { return arguments(distanceField(36, 28, 17, 13, 10, 1), gridField(36, 28, 2, 2)); }, 1,
       0x53aeed92ae91c116ull},
      {"special values",
       [] { return arguments(specialField(19, 22, 3, 6), specialField(19, 22, 4, 2)); }, 1,
       0x9486543ae6ab08c3ull},
      {"a longer speed, no output requested",
       [] { return arguments(gridField(4, 9, 5, 3), gridField(40, 1, 6, 1)); }, 0,
       0x72a8b040fa427bedull},
  };
  return p;
}

}  // namespace digest

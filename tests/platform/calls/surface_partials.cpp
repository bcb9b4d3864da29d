// surface_partials on fixed inputs: a distance field, special values, fewer outputs.
#include "levelset.h"

namespace digest {

Plan plan() {
  Plan p;
  p.calls = {
      {"a circle, every output", [] { return arguments(distanceField(33, 47, 15, 22, 12, 1)); }, 5,
       0x31a64a17e67cbc42ull},
      {"random field, two outputs", [] { return arguments(gridField(21, 18, 2, 50)); }, 2,
       0xe67557adf35d9ccfull},
      {"special values, every output", [] { return arguments(specialField(12, 14, 3, 3)); }, 5,
       0x4107134ed642831dull},
      {"one row, no output requested", [] { return arguments(gridField(1, 30, 4, 2)); }, 0,
       0xe115c893d97d2c32ull},
  };
  return p;
}

}  // namespace digest

// front_velocity on fixed inputs: the derivatives of a distance field, random derivatives with
// curvatures beyond the limits, values that are not numbers, inputs longer than the first.
#include "levelset.h"

namespace digest {

Plan plan() {
  Plan p;
  p.calls = {
      {"a circle's derivatives",
       [] {
         const int h = 30, w = 41;
         return arguments(gridField(h, w, 1, 1), gridField(h, w, 2, 1), gridField(h, w, 3, 2),
                          gridField(h, w, 4, 2), gridField(h, w, 5, 1),
                          distanceField(h, w, 14, 20, 9, 6), gridField(h, w, 7, 3),
                          gridField(h, w, 8, 3), scalar(0.75));
       },
       1, 0x0cda2ffea30ba15full},
      {"flat spots and special values",
       [] {
         const int h = 17, w = 23;
         return arguments(specialField(h, w, 9, 1), gridField(h, w, 10, 1),
                          specialField(h, w, 11, 4), gridField(h, w, 12, 4),
                          specialField(h, w, 13, 2), gridField(h, w, 14, 2),
                          specialField(h, w, 15, 5), gridField(h, w, 16, 5), scalar(-2));
       },
       1, 0x9db47573b58bd763ull},
      {"longer inputs, an integer weight, no output requested",
       [] {
         return arguments(gridField(5, 6, 17, 1), gridField(6, 6, 18, 1), gridField(5, 7, 19, 1),
                          gridField(5, 6, 20, 1), gridField(31, 1, 21, 1), gridField(5, 6, 22, 1),
                          gridField(5, 6, 23, 1), gridField(5, 6, 24, 1),
                          make<std::int32_t>(size({1, 1}), std::vector<std::int32_t>{3}));
       },
       0, 0x84fa13d96c4644c5ull},
  };
  return p;
}

}  // namespace digest

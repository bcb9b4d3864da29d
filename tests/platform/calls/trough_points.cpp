// trough_points on fixed inputs: several radii, equal minima, values at or above the cut-off
// and not numbers, radii that search no window.
#include "levelset.h"

namespace digest {

namespace {

// Coarse values (many equal minima) with some at or above 2147483647.
host::Array field(int h, int w, std::uint32_t salt) {
  std::vector<double> v = noise<double>(static_cast<std::size_t>(h) * w, salt, -5, 12);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::uint32_t r = mix(static_cast<std::uint32_t>(i), salt + 1) % 41;
    if (r == 0) v[i] = 2147483647.0;
    if (r == 1) v[i] = 1e300;
    if (r == 2) v[i] = std::numeric_limits<double>::quiet_NaN();
  }
  return make<double>(size({h, w}), v);
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"radius 1", [] { return arguments(field(27, 33, 1), scalar(1)); }, 2, 0x3c929805e0b3b534ull},
      {"radius 3 from a longer array",
       [] {
         return arguments(field(27, 33, 1),
                          make<double>(size({1, 2}), std::vector<double>{3.9, 1}));
       },
       2, 0x5121a37c2774aebeull},
      {"a distance field, radius 2, rows only",
       [] { return arguments(distanceField(24, 20, 11, 9, 6, 2), scalar(2)); }, 1,
       0xd4846beecf7f23a1ull},
      {"a negative radius", [] { return arguments(field(6, 7, 3), scalar(-1)); }, 2,
       0xa836cadf1f254b37ull},
      {"a radius that is not a number",
       [] { return arguments(field(6, 7, 4), scalar(std::numeric_limits<double>::quiet_NaN())); },
       2, 0xa836cadf1f254b37ull},
  };
  return p;
}

}  // namespace digest

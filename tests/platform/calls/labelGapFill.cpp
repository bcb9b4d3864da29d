// labelGapFill on fixed inputs: scattered gaps, gaps without a labelled neighbour (with their
// warnings, past the printed limit too), thin maps.
#include "../plugin_digests.h"

namespace digest {

namespace {

host::Array labels(int h, int w, int cell, std::uint32_t salt, std::uint32_t holes) {
  return make<std::uint16_t>(size({h, w}), blockLabels<std::uint16_t>(h, w, cell, salt, 5, holes));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"scattered gaps", [] { return arguments(labels(38, 29, 5, 1, 6)); }, 1,
       0x04be54f677ab0c84ull},
      // Most pixels 0: many have no labelled neighbour, beyond the 100 warnings.
      {"mostly gaps",
       [] {
         std::vector<std::uint16_t> v(60 * 50);
         for (std::size_t i = 0; i < v.size(); ++i)
           v[i] = mix(static_cast<std::uint32_t>(i), 2) % 29 == 0
                      ? static_cast<std::uint16_t>(1 + i % 9)
                      : 0;
         return arguments(make<std::uint16_t>(size({60, 50}), v));
       },
       1, 0x082bead14ce44175ull},
      {"one row, no output requested", [] { return arguments(labels(1, 40, 3, 3, 2)); }, 0,
       0x90f10f2f8bc9f5a9ull},
      {"all gaps",
       [] {
         return arguments(make<std::uint16_t>(size({3, 4}), std::vector<std::uint16_t>()));
       },
       1, 0x0c24e396993ed325ull},
  };
  return p;
}

}  // namespace digest

// regionLinkage on fixed inputs: unlabelled pixels on both sides, flow leaving the frame, the
// numbers of superpixels from the maps and given, a second map of another shape.
#include "../plugin_digests.h"

namespace digest {

namespace {

host::Array labels(int h, int w, int cell, std::uint32_t salt, std::uint32_t holes) {
  return make<std::uint16_t>(size({h, w}), blockLabels<std::uint16_t>(h, w, cell, salt, 7, holes));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"numbers from the maps",
       [] {
         return arguments(flowField(31, 26, 7, 1), labels(31, 26, 5, 2, 10),
                          labels(31, 26, 4, 3, 8));
       },
       1, 0x4d576e67dbefbc4eull},
      {"numbers given",
       [] {
         return arguments(flowField(18, 40, 20, 4), labels(18, 40, 6, 5, 0),
                          labels(18, 40, 6, 6, 5), scalar(30), scalar(41.5));
       },
       1, 0xc0a51c12e5aa1a9full},
      {"a second map of another shape, no output requested",
       [] {
         return arguments(
             flowField(9, 8, 2, 7), labels(9, 8, 3, 8, 0),
             make<std::uint16_t>(size({72, 1}), blockLabels<std::uint16_t>(9, 8, 2, 9, 3)));
       },
       0, 0x40606ebb948fcd25ull},
  };
  return p;
}

}  // namespace digest

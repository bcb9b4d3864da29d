// frameNeighbours on fixed inputs: several frames of scattered labels, a map of another shape,
// a frame of one label, a number of superpixels that does not exceed every label.
#include "../plugin_digests.h"

namespace digest {

namespace {

host::Array labels(int h, int w, int cell, std::uint32_t salt, std::uint32_t stray) {
  return make<std::uint32_t>(size({h, w}), blockLabels<std::uint32_t>(h, w, cell, salt, stray));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"three frames",
       [] {
         return arguments(
             cellOf(labels(26, 35, 5, 1, 9), labels(26, 35, 4, 2, 0), labels(26, 35, 6, 3, 3)),
             scalar(80));
       },
       2, 0x2be915a31c546813ull},
      {"another shape and a frame of one label, first output only",
       [] {
         return arguments(
             cellOf(
                 make<std::uint32_t>(size({1, 120}), blockLabels<std::uint32_t>(10, 12, 3, 4, 4)),
                 make<std::uint32_t>(size({10, 12}), std::vector<std::uint32_t>(120, 7))),
             scalar(20.5));
       },
       0, 0x663ad24acfc8712full},
      {"keys that wrap", [] { return arguments(cellOf(labels(15, 18, 3, 5, 2)), scalar(11)); }, 2,
       0x6d9c3744989e5a20ull},
  };
  return p;
}

}  // namespace digest

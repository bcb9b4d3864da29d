// regionCoverage on fixed inputs: the default and a given number of superpixels, one and two
// outputs, a region map with more elements than the labels.
#include "../plugin_digests.h"

namespace digest {

namespace {

host::Array labels(int h, int w, int cell, std::uint32_t salt) {
  return make<std::uint16_t>(size({h, w}), blockLabels<std::uint16_t>(h, w, cell, salt, 4));
}

host::Array region(int h, int w, std::uint32_t salt, std::uint32_t share) {
  return make<bool>(size({h, w}), noise<bool>(static_cast<std::size_t>(h) * w, salt, 0, share));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"labels from the map", [] { return arguments(labels(41, 27, 5, 1), region(41, 27, 2, 2)); },
       1, 0x0c47cc22619d2391ull},
      {"given number, sizes too",
       [] {
         return arguments(labels(20, 33, 4, 3), region(20, 33, 4, 3),
                          make<std::uint16_t>(size({1, 1}), std::vector<std::uint16_t>{90}));
       },
       2, 0x40bdda4b7f24aff6ull},
      {"a larger region map, no output requested",
       [] { return arguments(labels(8, 9, 3, 5), region(13, 11, 6, 2)); }, 0,
       0x2b500f05344feb92ull},
  };
  return p;
}

}  // namespace digest

// regionMotionLevel on fixed inputs: skipped pixels, the default and a larger number of
// superpixels, a flow stored in another shape.
#include "../plugin_digests.h"

namespace digest {

namespace {

host::Array labels(int h, int w, int cell, std::uint32_t salt, std::uint32_t holes) {
  return make<std::uint16_t>(size({h, w}), blockLabels<std::uint16_t>(h, w, cell, salt, 6, holes));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"labels from the map, holes skipped",
       [] { return arguments(flowField(37, 29, 40, 1), labels(37, 29, 5, 2, 9)); }, 1,
       0x4e6008717004430bull},
      {"more superpixels than labels",
       [] { return arguments(flowField(16, 48, 300, 3), labels(16, 48, 6, 4, 0), scalar(70.9)); },
       1, 0x748bee68db7c512full},
      {"a single row, large vectors",
       [] { return arguments(flowField(1, 64, 32767, 5), labels(1, 64, 3, 6, 4)); }, 0,
       0x0e9bb871b09a578eull},
  };
  return p;
}

}  // namespace digest

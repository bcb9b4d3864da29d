// trackNeighbours on fixed inputs: several frame steps with flow leaving the frame, a label
// map of another shape, targets labelled 0, every number of outputs that computes.
#include "../plugin_digests.h"

namespace digest {

namespace {

host::Array labels(int h, int w, int cell, std::uint32_t salt, std::uint32_t holes = 0) {
  return make<std::uint32_t>(size({h, w}), blockLabels<std::uint32_t>(h, w, cell, salt, 8, holes));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"three steps",
       [] {
         return arguments(
             cellOf(flowField(24, 30, 6, 1), flowField(24, 30, 3, 2), flowField(24, 30, 12, 3)),
             cellOf(labels(24, 30, 5, 4), labels(24, 30, 6, 5), labels(24, 30, 4, 6),
                    labels(24, 30, 5, 7)),
             scalar(48));
       },
       3, 0x905977c3c3d98b5cull},
      {"targets labelled 0, another shape, first output only",
       [] {
         return arguments(cellOf(flowField(11, 14, 2, 8)),
                          cellOf(labels(11, 14, 3, 9),
                                 make<std::uint32_t>(size({14, 11}), blockLabels<std::uint32_t>(
                                                                         11, 14, 4, 10, 5, 6))),
                          scalar(25));
       },
       0, 0x188506b38b795edaull},
  };
  return p;
}

}  // namespace digest

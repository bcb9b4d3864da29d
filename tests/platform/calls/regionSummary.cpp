// regionSummary on fixed inputs: several frames, skipped pairs, unused labels, a label map of
// another shape and every number of outputs.
#include "../plugin_digests.h"

namespace digest {

namespace {

host::Array frame(int h, int w, std::uint32_t salt) {
  return make<std::uint8_t>(size({h, w, 3}), noise<std::uint8_t>(3u * h * w, salt, 0, 256));
}

host::Array labels(int h, int w, int cell, std::uint32_t salt) {
  return make<std::uint32_t>(size({h, w}), blockLabels<std::uint32_t>(h, w, cell, salt, 5));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"three frames",
       [] {
         return arguments(cellOf(frame(23, 31, 1), frame(23, 31, 2), frame(23, 31, 3)),
                          cellOf(labels(23, 31, 6, 4), labels(23, 31, 5, 5), labels(23, 31, 7, 6)),
                          scalar(36));
       },
       3, 0x7c000161c9a9215bull},
      {"pairs with an empty cell skipped, unused labels",
       [] {
         return arguments(
             cellOf(frame(9, 40, 7), make<std::uint8_t>(size({0, 0}), std::vector<std::uint8_t>()),
                    frame(9, 40, 8)),
             cellOf(labels(9, 40, 4, 9), labels(9, 40, 4, 10),
                    make<std::uint32_t>(size({0, 0}), std::vector<std::uint32_t>())),
             scalar(61.75));
       },
       3, 0x71345080126cec1dull},
      {"a label map of another shape, colours only",
       [] {
         return arguments(cellOf(frame(12, 10, 11)),
                          cellOf(make<std::uint32_t>(size({30, 4}),
                                                     blockLabels<std::uint32_t>(12, 10, 3, 12, 3))),
                          scalar(16));
       },
       0, 0x07fbd33e279f579full},
      {"one pixel per frame",
       [] {
         return arguments(cellOf(frame(1, 1, 13), frame(1, 1, 14)),
                          cellOf(make<std::uint32_t>(size({1, 1}), std::vector<std::uint32_t>{2}),
                                 make<std::uint32_t>(size({1, 1}), std::vector<std::uint32_t>{2})),
                          scalar(2));
       },
       3, 0xe7450bd099ce137cull},
  };
  return p;
}

}  // namespace digest

#include "superpixel/stats/frame_labels.h"

namespace superpixel {

FrameLabelScan scanFrameLabels(const std::uint16_t* labels, std::size_t n) {
  FrameLabelScan scan;
  for (std::size_t p = 0; p < n; ++p) {
    const std::uint16_t label = labels[p];
    if (label > scan.largest) scan.largest = label;
    if (label == 0 && scan.firstZero < 0) scan.firstZero = static_cast<std::ptrdiff_t>(p);
  }
  return scan;
}

std::ptrdiff_t findLabelAbove(const std::uint16_t* labels, std::size_t n, std::uint32_t count) {
  for (std::size_t p = 0; p < n; ++p) {
    if (labels[p] > count) return static_cast<std::ptrdiff_t>(p);
  }
  return -1;
}

}  // namespace superpixel

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

std::ptrdiff_t findLabelOutside(const std::uint16_t* labels, std::size_t n, std::uint32_t count) {
  for (std::size_t p = 0; p < n; ++p) {
    // Label 0 wraps to the largest 32-bit value, so one comparison covers both ends of 1..count.
    if (static_cast<std::uint32_t>(labels[p]) - 1u >= count) return static_cast<std::ptrdiff_t>(p);
  }
  return -1;
}

}  // namespace superpixel

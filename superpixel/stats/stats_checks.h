// The checks of the statistics functions that protect their cores beyond the documented argument
// checks, with their texts: every front end (the plug-ins, the Python module) makes them the
// same way. Each returns "" when the arguments pass, else the text to end the call with.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_STATS_CHECKS_H
#define MOTIONSEG_SUPERPIXEL_STATS_STATS_CHECKS_H

#include "common/memory_budget.h"
#include "common/text_format.h"
#include "superpixel/stats/frame_labels.h"
#include "superpixel/stats/region_summary.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace superpixel {

/// regionSummary: no frame pair holds both cells, so there is no frame size.
inline constexpr const char* kSummaryWithoutFrames =
    "No frame pair holds both a frame and a label map.";

/// regionSummary: frame f (0-based) is rows-by-(cols/3)-by-3 where frame `sized` (the one that
/// gave the size) is height-by-width-by-3.
inline std::string summaryFrameSizeFault(std::size_t f, std::size_t rows, std::size_t cols,
                                         std::size_t sized, std::size_t height, std::size_t width) {
  if (rows == height && cols / 3 == width) return {};
  return textformat::format(
      "Frame %zu is %zu-by-%zu-by-3 but frame %zu is %zu-by-%zu-by-3; all frames must have one "
      "size.",
      f + 1, rows, cols / 3, sized + 1, height, width);
}

/// regionSummary: more pixels in all frames together than the uint32 size output can count
/// (one label could wrap), refused before anything is counted.
inline std::string summaryPixelsFault(std::size_t frames, std::size_t height, std::size_t width) {
  const membudget::Bytes pixels = membudget::Bytes::product({frames, height, width});
  if (pixels.value() <= kMostSummaryPixels) return {};
  return textformat::format(
      "regionSummary counts at most %llu pixels in one call (the size output is uint32); "
      "these %zu frames of %zu-by-%zu hold %llu.",
      static_cast<unsigned long long>(kMostSummaryPixels), frames, height, width,
      static_cast<unsigned long long>(pixels.value()));
}

/// regionSummary: the first label outside 1..count of the label map of frame f (0-based).
inline std::string summaryLabelFault(const std::uint32_t* labels, std::size_t pixels,
                                     std::uint32_t count, std::size_t f) {
  const std::ptrdiff_t bad = findLabelOutside(labels, pixels, count);
  if (bad < 0) return {};
  return textformat::format(
      "Label %u at element %td of the label map of frame %zu is outside 1..%u.", labels[bad],
      bad + 1, f + 1, count);
}

/// regionMotionLevel: a flow of flowCount elements read as two height-by-width planes.
inline std::string motionLevelFlowFault(std::size_t flowCount, int height, int width,
                                        std::size_t pixels) {
  if (flowCount / 2 >= pixels) return {};
  return textformat::format(
      "Flow matrix has %zu elements but a %d-by-%d label map needs %zu (H-by-W-by-2).", flowCount,
      height, width, 2 * pixels);
}

/// regionMotionLevel with a given count: the first label above it.
inline std::string motionLevelLabelFault(const std::uint16_t* labels, std::size_t pixels,
                                         std::uint32_t count) {
  const std::ptrdiff_t bad = findLabelAbove(labels, pixels, count);
  if (bad < 0) return {};
  return textformat::format(
      "Label %u at element %td of the super pixel label map is above the number of superpixels "
      "%u.",
      static_cast<unsigned>(labels[bad]), bad + 1, count);
}

/// regionCoverage: an in-out map of insideCount elements read at the label map's positions.
inline std::string coverageInsideFault(std::size_t insideCount, int height, int width,
                                       std::size_t pixels) {
  if (insideCount >= pixels) return {};
  return textformat::format("In-Out map has %zu elements but the %d-by-%d label map has %zu.",
                            insideCount, height, width, pixels);
}

/// regionCoverage: the number of superpixels (the given one, else the largest label) and the
/// text for the first label outside 1..count ("" when every label fits).
struct CoverageCount {
  std::uint32_t count = 0;
  std::string fault;
};
inline CoverageCount coverageCount(const std::uint16_t* labels, std::size_t pixels,
                                   std::optional<std::uint16_t> given) {
  CoverageCount result;
  std::ptrdiff_t bad = -1;
  if (given) {
    result.count = *given;
    bad = findLabelOutside(labels, pixels, result.count);
  } else {
    const FrameLabelScan scan = scanFrameLabels(labels, pixels);
    result.count = scan.largest;
    bad = scan.firstZero;
  }
  if (bad >= 0) {
    result.fault =
        textformat::format("Label %u at element %td of the super pixel label map is outside 1..%u.",
                           static_cast<unsigned>(labels[bad]), bad + 1, result.count);
  }
  return result;
}

/// edgeTrim: a mask of maskCount elements read at the positions of the height-by-width input.
inline std::string edgeTrimMaskFault(std::size_t maskCount, int height, int width,
                                     std::size_t pixels) {
  if (maskCount >= pixels) return {};
  return textformat::format("Mask has %zu elements but the %d-by-%d input matrix has %zu.",
                            maskCount, height, width, pixels);
}

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_STATS_CHECKS_H

// The checks of the graph functions that protect their cores beyond the documented argument
// checks, with their texts: every front end (the plug-ins, the Python module) makes them the
// same way. Each returns "" when the arguments pass, else the text to end the call with.
#ifndef MOTIONSEG_SUPERPIXEL_GRAPHS_GRAPH_CHECKS_H
#define MOTIONSEG_SUPERPIXEL_GRAPHS_GRAPH_CHECKS_H

#include "common/text_format.h"
#include "superpixel/graphs/region_linkage.h"
#include "superpixel/graphs/track_neighbours.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace superpixel {

/// frameNeighbours: label map f (0-based) of `count` elements, read with the height-by-width
/// size of label map 1.
inline std::string frameNeighboursSizeFault(std::size_t f, std::size_t count, std::size_t height,
                                            std::size_t width) {
  if (count == height * width) return {};
  return textformat::format("Label map %zu has %zu elements but label map 1 is %zu-by-%zu.", f + 1,
                            count, height, width);
}

/// trackNeighbours: flow field f (0-based), empty or of `count` elements, read as
/// height-by-width-by-2.
inline std::string trackFlowFault(std::size_t f, bool empty, std::size_t count, std::size_t height,
                                  std::size_t width) {
  if (empty) return textformat::format("Flow field %zu is empty.", f + 1);
  if (count >= 2 * height * width) return {};
  return textformat::format(
      "Flow field %zu has %zu elements, fewer than the %zu-by-%zu-by-2 of the frames.", f + 1,
      count, height, width);
}

/// trackNeighbours: label map f (0-based), empty or of `count` elements, read as
/// height-by-width.
inline std::string trackLabelMapFault(std::size_t f, bool empty, std::size_t count,
                                      std::size_t height, std::size_t width) {
  if (empty) return textformat::format("Label map %zu is empty.", f + 1);
  if (count == height * width) return {};
  return textformat::format("Label map %zu has %zu elements but the frames are %zu-by-%zu.", f + 1,
                            count, height, width);
}

/// trackNeighbours: the label of a pixel that lands inside the next frame addresses the landed
/// counter, so it must lie in 1..n.
inline std::string trackSourceLabelFault(const SourceLabelFault& fault, std::uint64_t n) {
  if (!fault.found) return {};
  return textformat::format(
      "Label %u at element %zu of the label map of frame %zu is outside 1..%llu.", fault.label,
      fault.element + 1, fault.step + 1, static_cast<unsigned long long>(n));
}

/// regionLinkage: a flow of flowCount elements and a second map of secondCount elements, read
/// as height-by-width-by-2 and height-by-width.
inline std::string linkageSizeFault(std::size_t flowCount, std::size_t secondCount,
                                    std::size_t height, std::size_t width) {
  const std::size_t plane = height * width;
  if (flowCount < 2 * plane) {
    return textformat::format(
        "Flow matrix has %zu elements, fewer than the %zu-by-%zu-by-2 of the label maps.",
        flowCount, height, width);
  }
  if (secondCount < plane) {
    return textformat::format(
        "Second super pixel label map has %zu elements, fewer than the %zu-by-%zu of the first.",
        secondCount, height, width);
  }
  return {};
}

/// regionLinkage with given counts: the first label that would be counted outside the
/// n1-by-n2 matrix.
inline std::string linkageLabelFault(const LinkFrames& frames, std::size_t n1, std::size_t n2) {
  const LinkLabelFault fault = findLabelBeyondCounts(frames, n1, n2);
  if (fault.map == 0) return {};
  return textformat::format(
      "Label %u at element %zu of the %s super pixel label map exceeds the number of "
      "superpixels %zu.",
      static_cast<unsigned>(fault.label), fault.element + 1, fault.map == 1 ? "first" : "second",
      fault.map == 1 ? n1 : n2);
}

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_GRAPHS_GRAPH_CHECKS_H

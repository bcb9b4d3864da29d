// Flow-based pixel counts between the superpixels of two frames.
#ifndef MOTIONSEG_SUPERPIXEL_GRAPHS_REGION_LINKAGE_H
#define MOTIONSEG_SUPERPIXEL_GRAPHS_REGION_LINKAGE_H

#include "common/memory_budget.h"

#include <cstddef>
#include <cstdint>

namespace superpixel {

/// The two frames' data for one linkage count: the height-by-width-by-2 int16 flow (plane 0
/// added to the row, plane 1 to the column) and the two height-by-width uint16 label maps
/// (label 0 unlabelled), all column-major.
struct LinkFrames {
  const std::int16_t* flow;
  const std::uint16_t* first;
  const std::uint16_t* second;
  std::size_t height;
  std::size_t width;
};

/// The largest of labels[0..count), or 0 when count is 0.
std::uint16_t largestLabel(const std::uint16_t* labels, std::size_t count);

/// A label that would address a count outside the n1-by-n2 matrix.
struct LinkLabelFault {
  int map = 0;              ///< 0: none, 1: the first label map, 2: the second
  std::size_t element = 0;  ///< 0-based column-major position in that map
  std::uint16_t label = 0;
};

/// The first pixel, in column-major order, that lands inside the frame on a labelled pixel,
/// is labelled itself, and whose label is above n1 (checked first) or whose landing label is
/// above n2. Such a pixel is exactly one that countLinks would count outside its matrix.
LinkLabelFault findLabelBeyondCounts(const LinkFrames& frames, std::size_t n1, std::size_t n2);

/// Adds 1 to counts[(b - 1) * n1 + (a - 1)] for every pixel of label a >= 1 in the first map
/// whose flow carries it inside the frame onto a pixel of label b >= 1 in the second map.
/// counts is the n1-by-n2 column-major matrix; every such a must be at most n1 and every such
/// b at most n2.
void countLinks(const LinkFrames& frames, std::size_t n1, std::uint32_t* counts);

/// What regionLinkage takes for an n1-by-n2 count matrix: the matrix itself (no working
/// memory).
membudget::Estimate regionLinkageBytes(std::uint64_t n1, std::uint64_t n2);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_GRAPHS_REGION_LINKAGE_H

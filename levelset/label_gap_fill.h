// Filling of the unlabelled pixels of a superpixel label map from their neighbours.
#ifndef MOTIONSEG_LEVELSET_LABEL_GAP_FILL_H
#define MOTIONSEG_LEVELSET_LABEL_GAP_FILL_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace levelset {

/// A 0-based pixel position.
struct PixelPosition {
  std::ptrdiff_t row;
  std::ptrdiff_t col;
};

/// Gives every pixel labelled 0 in the m-by-n column-major map labels the label of its first
/// labelled neighbour in the order above, below, left, right, above-left, above-right,
/// below-left, below-right, writing into out, which holds a copy of labels on entry. Only
/// labels decides which neighbours are labelled, so a filled pixel never feeds another one.
/// Returns the pixels left at 0 (no labelled neighbour), in raster order: row by row, left to
/// right.
std::vector<PixelPosition> fillLabelGaps(std::ptrdiff_t m, std::ptrdiff_t n,
                                         const std::uint16_t* labels, std::uint16_t* out);

}  // namespace levelset

#endif  // MOTIONSEG_LEVELSET_LABEL_GAP_FILL_H

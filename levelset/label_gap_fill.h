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

/// The pixels a fill left at 0: the first ones in raster order (row by row, left to right), up
/// to the number asked for, and how many there are in all.
struct UnfilledPixels {
  std::vector<PixelPosition> first;
  std::size_t total = 0;
};

/// Gives every pixel labelled 0 in the m-by-n column-major map labels the label of its first
/// labelled neighbour in the order above, below, left, right, above-left, above-right,
/// below-left, below-right, writing into out, which holds a copy of labels on entry. Only
/// labels decides which neighbours are labelled, so a filled pixel never feeds another one.
/// Returns the pixels left at 0 (no labelled neighbour): the first `keep` of them in raster
/// order and their number, so that a map without labels costs no memory per pixel.
UnfilledPixels fillLabelGaps(std::ptrdiff_t m, std::ptrdiff_t n, const std::uint16_t* labels,
                             std::uint16_t* out, std::size_t keep);

}  // namespace levelset

#endif  // MOTIONSEG_LEVELSET_LABEL_GAP_FILL_H

// Removal of the boundary pixels connected to the image border or to a masked area.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_EDGE_TRIM_H
#define MOTIONSEG_SUPERPIXEL_STATS_EDGE_TRIM_H

#include <cstddef>
#include <cstdint>

namespace superpixel {

/// Marks the boundary pixels reached from the border (and from the mask, when mask is not
/// null) by four single directional sweeps, and writes the unmarked boundary pixels.
///
/// edges, mask and out are height-by-width, column-major, one byte per pixel (non-zero =
/// true); out receives 0 or 1. Each sweep runs once and carries a marker one column or one
/// row further per step, straight or diagonally, so a chain that turns back against a sweep
/// may keep pixels that a full flood fill would reach. Either size may be 0.
void edgeTrim(const std::uint8_t* edges, const std::uint8_t* mask, std::ptrdiff_t height,
              std::ptrdiff_t width, std::uint8_t* out);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_EDGE_TRIM_H

// Scans of the uint16 label map of one frame, used to size the per-superpixel outputs and to
// refuse labels that would address rows outside them.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_FRAME_LABELS_H
#define MOTIONSEG_SUPERPIXEL_STATS_FRAME_LABELS_H

#include <cstddef>
#include <cstdint>

namespace superpixel {

/// What one pass over a label map finds: the largest label (0 for an empty map) and the
/// column-major position of the first label 0 (-1 when there is none).
struct FrameLabelScan {
  std::uint16_t largest = 0;
  std::ptrdiff_t firstZero = -1;
};

/// One pass over labels[0..n).
FrameLabelScan scanFrameLabels(const std::uint16_t* labels, std::size_t n);

/// Position of the first label above count in labels[0..n), or -1. Label 0 is accepted.
std::ptrdiff_t findLabelAbove(const std::uint16_t* labels, std::size_t n, std::uint32_t count);

/// Position of the first label outside 1..count in labels[0..n), or -1.
std::ptrdiff_t findLabelOutside(const std::uint16_t* labels, std::size_t n, std::uint32_t count);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_FRAME_LABELS_H

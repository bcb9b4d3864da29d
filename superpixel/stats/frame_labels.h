// Scans of label maps, used to size the per-superpixel outputs and to refuse labels that would
// address rows outside them.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_FRAME_LABELS_H
#define MOTIONSEG_SUPERPIXEL_STATS_FRAME_LABELS_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

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

/// Position (column-major index) of the first label outside 1..count in labels[0..n), or -1.
/// Label is an unsigned type of at most 32 bits (uint16 and uint32 label maps).
template <class Label>
std::ptrdiff_t findLabelOutside(const Label* labels, std::size_t n, std::uint32_t count) {
  static_assert(std::is_unsigned_v<Label> && sizeof(Label) <= sizeof(std::uint32_t),
                "labels are unsigned and at most 32 bits wide");
  for (std::size_t p = 0; p < n; ++p) {
    // Label 0 wraps to the largest 32-bit value, so one comparison covers both ends of 1..count.
    if (static_cast<std::uint32_t>(labels[p]) - 1u >= count) return static_cast<std::ptrdiff_t>(p);
  }
  return -1;
}

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_FRAME_LABELS_H

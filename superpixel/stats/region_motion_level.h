// Mean flow length of every superpixel of one frame.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_REGION_MOTION_LEVEL_H
#define MOTIONSEG_SUPERPIXEL_STATS_REGION_MOTION_LEVEL_H

#include "common/memory_budget.h"

#include <cstddef>
#include <cstdint>

namespace superpixel {

/// Sums, then averages in place, the length of the flow vector of every labelled pixel.
///
/// flow holds two height-by-width planes (column-major, the second starting at
/// height * width); labels is height-by-width with labels in 0..count, where 0 marks a pixel
/// that is skipped. level is count-by-1 and zero on entry; row L-1 receives the mean length
/// over the pixels of label L. Each length is formed in double precision, rounded to single
/// and summed in single precision, rows outer and columns inner. The pixel counters are sized
/// by the labels a uint16 map can hold (at most 65535), not by count.
void regionMotionLevel(const std::int16_t* flow, const std::uint16_t* labels, std::ptrdiff_t height,
                       std::ptrdiff_t width, std::uint32_t count, float* level);

/// What regionMotionLevel takes for `count` superpixels: the count-by-1 single output and the
/// pixel counters.
membudget::Estimate regionMotionLevelBytes(std::uint64_t count);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_REGION_MOTION_LEVEL_H

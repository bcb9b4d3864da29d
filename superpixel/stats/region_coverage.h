// Share of the pixels of every superpixel of one frame that lie inside a region.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_REGION_COVERAGE_H
#define MOTIONSEG_SUPERPIXEL_STATS_REGION_COVERAGE_H

#include <cstddef>
#include <cstdint>

namespace superpixel {

/// Counts, per label, the pixels and the pixels inside the region, then turns the inside
/// tally into a ratio in place.
///
/// labels is height-by-width (column-major) with labels in 1..count; inside holds one byte
/// per pixel at the same positions, non-zero inside the region. ratio (single) and size
/// (pixel counts) are count-by-1 and zero on entry. The inside tally is summed in single
/// precision, 1.0 per pixel, rows outer and columns inner; a label without pixels keeps 0.
void regionCoverage(const std::uint16_t* labels, const std::uint8_t* inside, std::ptrdiff_t height,
                    std::ptrdiff_t width, std::uint32_t count, float* ratio, std::uint32_t* size);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_REGION_COVERAGE_H

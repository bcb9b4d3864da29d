// Merging of a weighted colour list into its distinct colours.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_PALETTE_MERGE_H
#define MOTIONSEG_SUPERPIXEL_STATS_PALETTE_MERGE_H

#include <cstddef>
#include <cstdint>
#include <map>

namespace superpixel {

/// Distinct colours by packed key (red + 256 green + 65536 blue), each with its weight sum.
using Palette = std::map<std::uint32_t, float>;

/// Merges the rows of an n-by-3 column-major colour list (red, green, blue columns) with
/// their weights. The sums are formed in single precision in the order of the rows.
Palette mergePalette(const std::uint8_t* colours, const float* weights, std::size_t n);

/// Writes the palette in ascending key order (blue, then green, then red) as an
/// E-by-3 column-major colour list and an E-by-1 weight list, E = palette.size().
void writePalette(const Palette& palette, std::uint8_t* colours, float* weights);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_PALETTE_MERGE_H

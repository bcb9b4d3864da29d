#include "superpixel/stats/palette_merge.h"

namespace superpixel {

Palette mergePalette(const std::uint8_t* colours, const float* weights, std::size_t n) {
  Palette palette;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t key = static_cast<std::uint32_t>(colours[i]) |
                              static_cast<std::uint32_t>(colours[i + n]) << 8 |
                              static_cast<std::uint32_t>(colours[i + 2 * n]) << 16;
    // One lookup per row; a new colour starts at 0 before its first weight is added.
    palette[key] += weights[i];
  }
  return palette;
}

void writePalette(const Palette& palette, std::uint8_t* colours, float* weights) {
  const std::size_t e = palette.size();
  std::size_t i = 0;
  for (const auto& entry : palette) {
    colours[i] = static_cast<std::uint8_t>(entry.first & 0xFFu);
    colours[i + e] = static_cast<std::uint8_t>(entry.first >> 8 & 0xFFu);
    colours[i + 2 * e] = static_cast<std::uint8_t>(entry.first >> 16 & 0xFFu);
    weights[i] = entry.second;
    ++i;
  }
}

}  // namespace superpixel

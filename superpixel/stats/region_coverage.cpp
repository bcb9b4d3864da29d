#include "superpixel/stats/region_coverage.h"

#include <cassert>

namespace superpixel {

void regionCoverage(const std::uint16_t* labels, const std::uint8_t* inside, std::ptrdiff_t height,
                    std::ptrdiff_t width, std::uint32_t count, float* ratio, std::uint32_t* size) {
  // Tally inside pixels in the ratio output itself and all pixels in the size output.
  for (std::ptrdiff_t y = 0; y < height; ++y) {
    for (std::ptrdiff_t x = 0; x < width; ++x) {
      const std::ptrdiff_t p = y + x * height;
      assert(labels[p] >= 1 && labels[p] <= count);
      const std::ptrdiff_t k = labels[p] - 1;
      if (inside[p] != 0) ratio[k] += 1.0f;
      size[k] += 1;
    }
  }

  // Inside tally over pixel count, in single precision.
  for (std::uint32_t k = 0; k < count; ++k) {
    if (size[k] != 0) ratio[k] /= static_cast<float>(size[k]);
  }
}

}  // namespace superpixel

#include "superpixel/stats/region_motion_level.h"

#include <cassert>
#include <cmath>
#include <vector>

namespace superpixel {

void regionMotionLevel(const std::int16_t* flow, const std::uint16_t* labels, std::ptrdiff_t height,
                       std::ptrdiff_t width, std::uint32_t count, float* level) {
  const std::ptrdiff_t plane = height * width;
  std::vector<std::uint32_t> pixels(count, 0);

  // Accumulate the lengths, rows outer and columns inner: the order fixes the single sums.
  for (std::ptrdiff_t y = 0; y < height; ++y) {
    for (std::ptrdiff_t x = 0; x < width; ++x) {
      const std::ptrdiff_t p = y + x * height;
      const std::uint16_t label = labels[p];
      if (label == 0) continue;
      assert(label <= count);
      const std::ptrdiff_t k = label - 1;
      pixels[k] += 1;
      const double u = flow[p];
      const double v = flow[p + plane];
      level[k] += static_cast<float>(std::sqrt(u * u + v * v));
    }
  }

  // Mean per label; labels without pixels stay zero.
  for (std::uint32_t k = 0; k < count; ++k) {
    if (pixels[k] != 0) level[k] /= static_cast<float>(pixels[k]);
  }
}

}  // namespace superpixel

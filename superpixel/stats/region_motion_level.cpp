#include "superpixel/stats/region_motion_level.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace superpixel {

namespace {

/// Pixel counters for labels 1..count of a uint16 map: no label exceeds 65535.
std::size_t counterCount(std::uint64_t count) {
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(count, std::numeric_limits<std::uint16_t>::max()));
}

}  // namespace

void regionMotionLevel(const std::int16_t* flow, const std::uint16_t* labels, std::ptrdiff_t height,
                       std::ptrdiff_t width, std::uint32_t count, float* level) {
  const std::ptrdiff_t plane = height * width;
  std::vector<std::uint32_t> pixels(counterCount(count), 0);

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
  for (std::size_t k = 0; k < pixels.size(); ++k) {
    if (pixels[k] != 0) level[k] /= static_cast<float>(pixels[k]);
  }
}

membudget::Estimate regionMotionLevelBytes(std::uint64_t count) {
  using membudget::Bytes;
  membudget::Estimate need;
  need.outputs = Bytes::product({count, sizeof(float)});
  need.working = Bytes::product({counterCount(count), sizeof(std::uint32_t)});
  need.what = std::to_string(count) + " superpixels";
  return need;
}

}  // namespace superpixel

#include "superpixel/stats/region_summary.h"

#include <cassert>

namespace superpixel {

void regionSummary(const std::vector<LabelledFrame>& frames, std::ptrdiff_t height,
                   std::ptrdiff_t width, std::uint32_t count, float* colour, float* centre,
                   std::uint32_t* size) {
  const std::ptrdiff_t n = count;
  const std::ptrdiff_t plane = height * width;

  // Accumulate: frames, then rows, then columns. The order fixes the single-precision sums.
  for (const LabelledFrame& frame : frames) {
    for (std::ptrdiff_t y = 0; y < height; ++y) {
      for (std::ptrdiff_t x = 0; x < width; ++x) {
        const std::ptrdiff_t p = y + x * height;
        assert(frame.labels[p] >= 1 && frame.labels[p] <= count);
        const std::ptrdiff_t k = static_cast<std::ptrdiff_t>(frame.labels[p]) - 1;
        centre[k] += static_cast<float>(y);
        centre[k + n] += static_cast<float>(x);
        colour[k] += static_cast<float>(frame.rgb[p]);
        colour[k + n] += static_cast<float>(frame.rgb[p + plane]);
        colour[k + 2 * n] += static_cast<float>(frame.rgb[p + 2 * plane]);
        size[k] += 1;
      }
    }
  }

  // Normalise in place; rows of labels that never occur stay zero.
  for (std::ptrdiff_t j = 0; j < n; ++j) {
    if (size[j] == 0) continue;
    const float s = static_cast<float>(size[j]);
    centre[j] /= s;
    centre[j + n] /= s;
    colour[j] /= s;
    colour[j + n] /= s;
    colour[j + 2 * n] /= s;
  }
}

}  // namespace superpixel

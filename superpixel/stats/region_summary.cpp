#include "superpixel/stats/region_summary.h"

#include <array>
#include <cassert>
#include <string>

namespace superpixel {

namespace {

/// The exact sums of one label: row, column, red, green, blue.
using LabelSums = std::array<std::uint64_t, 5>;

/// sum / count rounded once to single precision. The quotient is formed in double precision;
/// for a sum and a count that are both single-precision values this double rounding gives the
/// correctly rounded single-precision quotient.
float mean(std::uint64_t sum, std::uint32_t count) {
  return static_cast<float>(static_cast<double>(sum) / static_cast<double>(count));
}

}  // namespace

void regionSummary(const std::vector<LabelledFrame>& frames, std::ptrdiff_t height,
                   std::ptrdiff_t width, std::uint32_t count, float* colour, float* centre,
                   std::uint32_t* size) {
  const std::ptrdiff_t n = count;
  const std::ptrdiff_t plane = height * width;
  assert(static_cast<std::uint64_t>(plane) * frames.size() <= kMostSummaryPixels);
  std::vector<LabelSums> sums(count, LabelSums{});

  for (const LabelledFrame& frame : frames) {
    for (std::ptrdiff_t x = 0; x < width; ++x) {
      for (std::ptrdiff_t y = 0; y < height; ++y) {
        const std::ptrdiff_t p = y + x * height;
        assert(frame.labels[p] >= 1 && frame.labels[p] <= count);
        const std::ptrdiff_t k = static_cast<std::ptrdiff_t>(frame.labels[p]) - 1;
        LabelSums& s = sums[k];
        s[0] += static_cast<std::uint64_t>(y);
        s[1] += static_cast<std::uint64_t>(x);
        s[2] += frame.rgb[p];
        s[3] += frame.rgb[p + plane];
        s[4] += frame.rgb[p + 2 * plane];
        size[k] += 1;
      }
    }
  }

  // Means; rows of labels that never occur stay zero.
  for (std::ptrdiff_t j = 0; j < n; ++j) {
    if (size[j] == 0) continue;
    const LabelSums& s = sums[j];
    centre[j] = mean(s[0], size[j]);
    centre[j + n] = mean(s[1], size[j]);
    colour[j] = mean(s[2], size[j]);
    colour[j + n] = mean(s[3], size[j]);
    colour[j + 2 * n] = mean(s[4], size[j]);
  }
}

membudget::Estimate regionSummaryBytes(std::uint64_t count, std::uint64_t frames) {
  using membudget::Bytes;
  membudget::Estimate need;
  need.outputs =
      Bytes::product({count, 3 * sizeof(float) + 2 * sizeof(float) + sizeof(std::uint32_t)});
  // The sums, and the entry's list of frames with their cell indices.
  need.working = Bytes::product({count, sizeof(LabelSums)}) +
                 Bytes::product({frames, sizeof(LabelledFrame) + sizeof(std::size_t)});
  need.what = std::to_string(count) + " superpixels";
  return need;
}

}  // namespace superpixel

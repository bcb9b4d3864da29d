// Mean colour, centre of mass and size of every superpixel of a video.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_REGION_SUMMARY_H
#define MOTIONSEG_SUPERPIXEL_STATS_REGION_SUMMARY_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace superpixel {

/// One frame of a video: an H-by-W-by-3 uint8 image (red, green and blue planes) and its
/// H-by-W label map, both column-major. Labels are 1-based.
struct LabelledFrame {
  const std::uint8_t* rgb;
  const std::uint32_t* labels;
};

/// Sums, then averages in place, the colour and position of every label over all frames.
///
/// colour is count-by-3, centre count-by-2 (0-based row, then column), size count-by-1, all
/// column-major and zero on entry. Sums are formed in single precision in frame, row, column
/// order, so the means are reproducible bit for bit. Every label must lie in 1..count.
void regionSummary(const std::vector<LabelledFrame>& frames, std::ptrdiff_t height,
                   std::ptrdiff_t width, std::uint32_t count, float* colour, float* centre,
                   std::uint32_t* size);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_REGION_SUMMARY_H

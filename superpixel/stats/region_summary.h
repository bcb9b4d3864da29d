// Mean colour, centre of mass and size of every superpixel of a video.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_REGION_SUMMARY_H
#define MOTIONSEG_SUPERPIXEL_STATS_REGION_SUMMARY_H

#include "common/memory_budget.h"

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

/// The most pixels one call counts: the size output is uint32, so with more pixels in all
/// frames together one label's count could wrap.
constexpr std::uint64_t kMostSummaryPixels = 4294967295;

/// Sums, then averages, the colour and position of every label over all frames.
///
/// colour is count-by-3, centre count-by-2 (0-based row, then column), size count-by-1, all
/// column-major and zero on entry. Sums are exact (64-bit integers, one row of five per label
/// as working memory), and each mean is the sum divided by the count, rounded once to single
/// precision: where single-precision sums would have been exact (below 2^24) this is the same
/// value as dividing them in single precision, and beyond it the means stay right. Every label
/// must lie in 1..count, and the frames must hold at most kMostSummaryPixels pixels together.
void regionSummary(const std::vector<LabelledFrame>& frames, std::ptrdiff_t height,
                   std::ptrdiff_t width, std::uint32_t count, float* colour, float* centre,
                   std::uint32_t* size);

/// What regionSummary takes for `count` superpixels over `frames` frames: the three outputs
/// (24 bytes per superpixel) and the exact sums (40 bytes per superpixel).
membudget::Estimate regionSummaryBytes(std::uint64_t count, std::uint64_t frames);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_REGION_SUMMARY_H

#include "levelset/label_gap_fill.h"

namespace levelset {

namespace {

// Neighbour offsets (row, column) in order of priority.
constexpr int kOffsets[8][2] = {{-1, 0},  {1, 0},  {0, -1}, {0, 1},
                                {-1, -1}, {-1, 1}, {1, -1}, {1, 1}};

}  // namespace

UnfilledPixels fillLabelGaps(std::ptrdiff_t m, std::ptrdiff_t n, const std::uint16_t* labels,
                             std::uint16_t* out, std::size_t keep) {
  UnfilledPixels unfilled;
  if (m == 0 || n == 0) return unfilled;  // no pixels (and no empty rows to walk)
  // Raster order, so that unfilled pixels are reported row by row.
  for (std::ptrdiff_t i = 0; i < m; ++i) {
    for (std::ptrdiff_t j = 0; j < n; ++j) {
      if (labels[i + j * m] != 0) continue;
      bool filled = false;
      for (const auto& offset : kOffsets) {
        const std::ptrdiff_t r = i + offset[0];
        const std::ptrdiff_t c = j + offset[1];
        if (r < 0 || r >= m || c < 0 || c >= n) continue;
        const std::uint16_t label = labels[r + c * m];
        if (label == 0) continue;
        out[i + j * m] = label;
        filled = true;
        break;
      }
      if (filled) continue;
      if (unfilled.first.size() < keep) unfilled.first.push_back({i, j});
      ++unfilled.total;
    }
  }
  return unfilled;
}

}  // namespace levelset

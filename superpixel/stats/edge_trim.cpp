#include "superpixel/stats/edge_trim.h"

#include <vector>

namespace superpixel {

void edgeTrim(const std::uint8_t* edges, const std::uint8_t* mask, std::ptrdiff_t height,
              std::ptrdiff_t width, std::uint8_t* out) {
  const std::ptrdiff_t h = height;
  const std::ptrdiff_t w = width;
  if (h <= 0 || w <= 0) return;
  // Markers, laid out like the boundary map (pixel (y, x) at y + x * h).
  std::vector<std::uint8_t> marks(static_cast<std::size_t>(h * w), 0);
  auto e = [&](std::ptrdiff_t y, std::ptrdiff_t x) { return edges[y + x * h] != 0; };
  auto r = [&](std::ptrdiff_t y, std::ptrdiff_t x) -> std::uint8_t& { return marks[y + x * h]; };

  // Seeds on the first and last column, then on the first and last row.
  for (std::ptrdiff_t y = 0; y < h; ++y) {
    if (e(y, 0)) r(y, 0) = 1;
    if (e(y, w - 1)) r(y, w - 1) = 1;
  }
  for (std::ptrdiff_t x = 0; x < w; ++x) {
    if (e(0, x)) r(0, x) = 1;
    if (e(h - 1, x)) r(h - 1, x) = 1;
  }

  // Seeds where the mask covers a boundary pixel.
  if (mask != nullptr) {
    for (std::ptrdiff_t p = 0; p < h * w; ++p) {
      if (mask[p] != 0 && edges[p] != 0) marks[p] = 1;
    }
  }

  // A marker in column x (row y-1, y or y+1) carries over to boundary pixel (y, x+1).
  auto fromColumn = [&](std::ptrdiff_t y, std::ptrdiff_t x) {
    return r(y, x) != 0 || (y > 0 && r(y - 1, x) != 0) || (y < h - 1 && r(y + 1, x) != 0);
  };
  // A marker in row y (column x-1, x or x+1) carries over to the next row.
  auto fromRow = [&](std::ptrdiff_t y, std::ptrdiff_t x) {
    return r(y, x) != 0 || (x > 0 && r(y, x - 1) != 0) || (x < w - 1 && r(y, x + 1) != 0);
  };

  // Left to right.
  for (std::ptrdiff_t x = 0; x + 1 < w; ++x) {
    for (std::ptrdiff_t y = 0; y < h; ++y) {
      if (e(y, x + 1) && fromColumn(y, x)) r(y, x + 1) = 1;
    }
  }
  // Right to left.
  for (std::ptrdiff_t x = w - 2; x >= 0; --x) {
    for (std::ptrdiff_t y = 0; y < h; ++y) {
      if (e(y, x) && fromColumn(y, x + 1)) r(y, x) = 1;
    }
  }
  // Top to bottom: row y reads row y-1 as this sweep has left it.
  for (std::ptrdiff_t y = 1; y < h; ++y) {
    for (std::ptrdiff_t x = 0; x < w; ++x) {
      if (e(y, x) && fromRow(y - 1, x)) r(y, x) = 1;
    }
  }
  // Bottom to top.
  for (std::ptrdiff_t y = h - 2; y >= 0; --y) {
    for (std::ptrdiff_t x = 0; x < w; ++x) {
      if (e(y, x) && fromRow(y + 1, x)) r(y, x) = 1;
    }
  }

  // What stays: boundary pixels without a marker.
  for (std::ptrdiff_t p = 0; p < h * w; ++p) {
    out[p] = (edges[p] != 0 && marks[p] == 0) ? 1 : 0;
  }
}

}  // namespace superpixel

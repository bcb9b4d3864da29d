#include "levelset/trough_points.h"

#include <cmath>

namespace levelset {

std::int32_t windowRadius(double r) {
  if (std::isnan(r)) return -1;
  const double t = std::trunc(r);
  if (t <= -2147483648.0) return INT32_MIN;
  if (t >= 2147483647.0) return INT32_MAX;
  return static_cast<std::int32_t>(t);
}

void troughPoints(std::ptrdiff_t m, std::ptrdiff_t n, const double* v, std::int32_t r, double* rows,
                  double* cols) {
  if (r < 0) return;
  const std::ptrdiff_t radius = r;
  if (m - radius <= radius) return;  // no window fits a column: nothing to write
  for (std::ptrdiff_t j = radius; j < n - radius; ++j) {
    for (std::ptrdiff_t i = radius; i < m - radius; ++i) {
      const std::ptrdiff_t p = i + j * m;
      double best = 2147483647.0;
      for (std::ptrdiff_t dj = -radius; dj <= radius; ++dj) {
        const double* column = v + (j + dj) * m;
        for (std::ptrdiff_t di = -radius; di <= radius; ++di) {
          // Strictly smaller only: the first of equal minima in scan order stays.
          if (best > column[i + di]) {
            best = column[i + di];
            rows[p] = static_cast<double>(i + di + 1);
            cols[p] = static_cast<double>(j + dj + 1);
          }
        }
      }
    }
  }
}

}  // namespace levelset

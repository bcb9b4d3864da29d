#include "levelset/surface_slope.h"

#include <cmath>

namespace levelset {

namespace {

// The negative and the positive part of v (0 for the other sign, and for a value that is not
// a number).
inline double negativePart(double v) {
  return v < 0 ? v : 0.0;
}
inline double positivePart(double v) {
  return v > 0 ? v : 0.0;
}

inline double square(double v) {
  return v * v;
}

}  // namespace

void surfaceSlope(std::ptrdiff_t m, std::ptrdiff_t n, const double* phi, const double* speed,
                  double* out) {
  if (m < 3) return;  // no interior pixel: nothing to write (and no empty columns to walk)
  for (std::ptrdiff_t j = 1; j + 1 < n; ++j) {
    for (std::ptrdiff_t i = 1; i + 1 < m; ++i) {
      const std::ptrdiff_t p = i + j * m;
      // Backward and forward differences along columns (x) and rows (y).
      const double backX = phi[p] - phi[p - m];
      const double foreX = phi[p + m] - phi[p];
      const double backY = phi[p] - phi[p - 1];
      const double foreY = phi[p + 1] - phi[p];
      // Gradient magnitude for a front moving inwards (negative speed) ...
      const double gradInward =
          std::sqrt(square(negativePart(backY)) + square(positivePart(foreY)) +
                    square(negativePart(backX)) + square(positivePart(foreX)));
      // ... and outwards (positive speed).
      const double gradOutward =
          std::sqrt(square(positivePart(backY)) + square(negativePart(foreY)) +
                    square(positivePart(backX)) + square(negativePart(foreX)));
      const double s = speed[p];
      out[p] = negativePart(s) * gradInward + positivePart(s) * gradOutward;
    }
  }
}

}  // namespace levelset

#include "levelset/surface_partials.h"

namespace levelset {

void surfacePartials(std::ptrdiff_t m, std::ptrdiff_t n, const double* phi, const Partials& out) {
  if (m < 3) return;  // no interior pixel: nothing to write (and no empty columns to walk)
  for (std::ptrdiff_t j = 1; j + 1 < n; ++j) {
    for (std::ptrdiff_t i = 1; i + 1 < m; ++i) {
      const std::ptrdiff_t p = i + j * m;
      const double centre = phi[p];
      const double left = phi[p - m], right = phi[p + m];
      const double up = phi[p - 1], down = phi[p + 1];
      out.x[p] = (right - left) * 0.5;
      out.y[p] = (down - up) * 0.5;
      out.xx[p] = right - 2 * centre + left;
      out.yy[p] = down - 2 * centre + up;
      // Mixed derivative from the four diagonal neighbours.
      out.xy[p] = (phi[p + 1 + m] + phi[p - 1 - m] - phi[p + 1 - m] - phi[p - 1 + m]) * 0.25;
    }
  }
}

}  // namespace levelset

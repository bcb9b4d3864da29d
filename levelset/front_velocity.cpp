#include "levelset/front_velocity.h"

#include <cmath>

namespace levelset {

namespace {

// Keeps the divisions finite where the gradient vanishes.
constexpr double kEpsilon = 1e-16;
// How strongly curvature slows the front.
constexpr double kCurvatureFactor = 0.3;

}  // namespace

void frontVelocity(std::ptrdiff_t m, std::ptrdiff_t n, const FrontInputs& in, double weight,
                   double* out) {
  if (m < 3) return;  // no interior pixel: nothing to write (and no empty columns to walk)
  for (std::ptrdiff_t j = 1; j + 1 < n; ++j) {
    for (std::ptrdiff_t i = 1; i + 1 < m; ++i) {
      const std::ptrdiff_t p = i + j * m;
      const double px = in.phiX[p], py = in.phiY[p];
      // Step 1: squared gradient magnitude and the magnitude itself.
      const double s = px * px + py * py;
      const double g = std::sqrt(s);
      // Step 2: curvature of the level line through the pixel.
      double kappa = (py * py * in.phiXX[p] - 2 * px * py * in.phiXY[p] + px * px * in.phiYY[p]) /
                     (g * s + kEpsilon);
      // Step 3: limit it to [-1, 1]; a curvature that is not a number acts as 1.
      if (!(kappa <= 1)) {
        kappa = 1;
      } else if (kappa < -1) {
        kappa = -1;
      }
      // Step 4: unit normal.
      const double nx = px / (g + kEpsilon);
      const double ny = py / (g + kEpsilon);
      // Step 5: flux of the vector field along the normal, outward part only.
      double flux = nx * in.u[p] + ny * in.v[p];
      if (flux < 0) flux = 0;
      // Steps 6 and 7: damped speed minus weighted flux, limited to [-1, 1].
      double f = (1 - kCurvatureFactor * kappa) * in.speed[p] - weight * flux;
      if (f >= 1) {
        f = 1;
      } else if (f < -1) {
        f = -1;
      }
      out[p] = f;
    }
  }
}

}  // namespace levelset

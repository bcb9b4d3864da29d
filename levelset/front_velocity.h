// Speed of a level-set front: base speed damped by curvature, minus a one-sided flux.
#ifndef MOTIONSEG_LEVELSET_FRONT_VELOCITY_H
#define MOTIONSEG_LEVELSET_FRONT_VELOCITY_H

#include <cstddef>

namespace levelset {

/// The inputs of frontVelocity, each m-by-n, column-major.
struct FrontInputs {
  const double* phiX;   ///< first derivative of phi along a row
  const double* phiY;   ///< first derivative of phi along a column
  const double* phiXX;  ///< second derivative along a row
  const double* phiYY;  ///< second derivative along a column
  const double* phiXY;  ///< mixed second derivative
  const double* speed;  ///< base speed S
  const double* u;      ///< horizontal component of the vector field
  const double* v;      ///< vertical component of the vector field
};

/// Writes, at every interior pixel (rows 1..m-2, columns 1..n-2), the front speed
///   F = (1 - 0.3 * kappa) * S - weight * max(n . (U, V), 0)
/// limited to [-1, 1], where kappa is the level-set curvature limited to [-1, 1] (a curvature
/// that is not a number counts as 1) and n the unit normal. The border of out is left as it is.
void frontVelocity(std::ptrdiff_t m, std::ptrdiff_t n, const FrontInputs& in, double weight,
                   double* out);

}  // namespace levelset

#endif  // MOTIONSEG_LEVELSET_FRONT_VELOCITY_H

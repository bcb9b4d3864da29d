// First and second partial derivatives of a height function by central differences.
#ifndef MOTIONSEG_LEVELSET_SURFACE_PARTIALS_H
#define MOTIONSEG_LEVELSET_SURFACE_PARTIALS_H

#include <cstddef>

namespace levelset {

/// The five derivative planes of a height function, each m-by-n, column-major.
struct Partials {
  double* x;   ///< along a row (between neighbouring columns)
  double* y;   ///< along a column (between neighbouring rows)
  double* xx;  ///< second derivative along a row
  double* yy;  ///< second derivative along a column
  double* xy;  ///< mixed second derivative
};

/// Writes the central-difference derivatives of the m-by-n column-major phi at every interior
/// pixel (rows 1..m-2, columns 1..n-2) of the five planes; their border is left as it is.
/// Unit grid spacing.
void surfacePartials(std::ptrdiff_t m, std::ptrdiff_t n, const double* phi, const Partials& out);

}  // namespace levelset

#endif  // MOTIONSEG_LEVELSET_SURFACE_PARTIALS_H

// Speed times the upwind gradient magnitude of a height function.
#ifndef MOTIONSEG_LEVELSET_SURFACE_SLOPE_H
#define MOTIONSEG_LEVELSET_SURFACE_SLOPE_H

#include <cstddef>

namespace levelset {

/// For every interior pixel (rows 1..m-2, columns 1..n-2) of the m-by-n column-major arrays,
/// writes speed * |grad phi| into out, the gradient taken by the first-order upwind scheme:
/// the one-sided differences are picked by the sign of the speed so that information travels
/// with the front. The border of out is left as it is. Unit grid spacing.
void surfaceSlope(std::ptrdiff_t m, std::ptrdiff_t n, const double* phi, const double* speed,
                  double* out);

}  // namespace levelset

#endif  // MOTIONSEG_LEVELSET_SURFACE_SLOPE_H

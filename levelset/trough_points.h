// Position of the window minimum around every pixel: local minima of a field.
#ifndef MOTIONSEG_LEVELSET_TROUGH_POINTS_H
#define MOTIONSEG_LEVELSET_TROUGH_POINTS_H

#include <cstddef>
#include <cstdint>

namespace levelset {

/// The window radius a double argument stands for: truncated towards zero to a 32-bit
/// integer. Values beyond the 32-bit range are clamped to it; a value that is not a number
/// gives -1 (no window is searched).
std::int32_t windowRadius(double r);

/// For every pixel (i, j) of the m-by-n column-major field v with r <= i <= m-1-r and
/// r <= j <= n-1-r, finds the smallest value of the (2r+1)-square window centred on it and
/// writes its 1-based row and column into rows and cols. The scan runs column by column, top to
/// bottom, and only a strictly smaller value replaces the best so far (which starts at
/// 2147483647), so among equal minima the leftmost, then topmost, wins; a window without a value
/// below 2147483647 writes nothing. Other entries are left as they are; r < 0 writes nothing.
void troughPoints(std::ptrdiff_t m, std::ptrdiff_t n, const double* v, std::int32_t r, double* rows,
                  double* cols);

}  // namespace levelset

#endif  // MOTIONSEG_LEVELSET_TROUGH_POINTS_H

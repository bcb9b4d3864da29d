#include "levelset/sign_flip.h"

namespace levelset {

template <class Flag>
void signFlip(std::ptrdiff_t m, std::ptrdiff_t n, const double* phi, Flag* marks) {
  if (m == 0) return;  // no pixels (and no empty columns to walk)
  for (std::ptrdiff_t j = 0; j < n; ++j) {
    for (std::ptrdiff_t i = 0; i < m; ++i) {
      const std::ptrdiff_t p = i + j * m;
      const double here = phi[p];
      if (!(here >= 0)) continue;
      // Every negative 8-neighbour inside the image forms one sign change with this pixel.
      for (std::ptrdiff_t dj = -1; dj <= 1; ++dj) {
        if (j + dj < 0 || j + dj >= n) continue;
        for (std::ptrdiff_t di = -1; di <= 1; ++di) {
          if (i + di < 0 || i + di >= m) continue;
          const std::ptrdiff_t q = p + di + dj * m;
          if (!(phi[q] < 0)) continue;
          // The pixel nearer to zero carries the mark; a tie goes to the non-negative one.
          if (-phi[q] < here) {
            marks[q] = 1;
          } else {
            marks[p] = 1;
          }
        }
      }
    }
  }
}

template void signFlip<bool>(std::ptrdiff_t, std::ptrdiff_t, const double*, bool*);
template void signFlip<unsigned char>(std::ptrdiff_t, std::ptrdiff_t, const double*,
                                      unsigned char*);

}  // namespace levelset

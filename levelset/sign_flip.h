// One-pixel-wide map of the zero level set of a field.
#ifndef MOTIONSEG_LEVELSET_SIGN_FLIP_H
#define MOTIONSEG_LEVELSET_SIGN_FLIP_H

#include <cstddef>

namespace levelset {

/// Marks the sign changes of the m-by-n column-major field phi between 8-neighbours: of each
/// pair of a non-negative pixel (phi >= 0) and a negative neighbour (phi < 0), the one whose
/// value lies closer to zero is set to 1 in marks (the non-negative one on a tie). Marks are
/// only ever set; a value that is not a number is neither sign. Flag is the host's logical
/// element type (bool or unsigned char).
template <class Flag>
void signFlip(std::ptrdiff_t m, std::ptrdiff_t n, const double* phi, Flag* marks);

}  // namespace levelset

#endif  // MOTIONSEG_LEVELSET_SIGN_FLIP_H

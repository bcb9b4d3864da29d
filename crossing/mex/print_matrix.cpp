// printMatrix: the host-facing side of crossing::printRows.
#include "mex.h"

#include "crossing/crossing_counts.h"
#include "crossing/mex/print_matrix.h"

void printMatrix(const char* name, const std::uint8_t* const* rows, std::int16_t m,
                 std::int16_t n) {
  crossing::printRows(&mexPrintf, name, rows, m, n);
}

// Diagnostic print of a crossing-count working buffer through the host's print function.
// Carried by the crossingRuns plug-in; the computation does not call it.
#ifndef MOTIONSEG_CROSSING_MEX_PRINT_MATRIX_H
#define MOTIONSEG_CROSSING_MEX_PRINT_MATRIX_H

#include <cstdint>

/// Prints name, then the m rows of n byte counters each ("%i " per value, a line feed per row),
/// then a blank line.
void printMatrix(const char* name, const std::uint8_t* const* rows, std::int16_t m, std::int16_t n);

#endif  // MOTIONSEG_CROSSING_MEX_PRINT_MATRIX_H

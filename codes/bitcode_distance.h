// Hamming distances between every code of one set and every code of another.
#ifndef MOTIONSEG_CODES_BITCODE_DISTANCE_H
#define MOTIONSEG_CODES_BITCODE_DISTANCE_H

#include "common/memory_budget.h"

#include <cstdint>

namespace codes {

/// Fills out (na-by-nb, column-major) with the distance between every code of a and every code
/// of b: out[j + i*na] is the number of positions k in 0..m-1 at which the byte a[k + j*m]
/// differs from the byte b[k + i*m]. Bytes are compared whole, so 1 and 2 differ.
///
/// a holds na codes and b nb codes of m bytes each, one code per column. The inner count is
/// written so that the compiler vectorises it over bytes.
void computeHamming(const std::uint8_t* a, const std::uint8_t* b, double* out, int m, int na,
                    int nb);

/// The same table by the straightforward triple loop, one comparison and one integer increment per
/// byte; kept as the reference the fast version is tested and measured against.
void computeHammingReference(const std::uint8_t* a, const std::uint8_t* b, double* out, int m,
                             int na, int nb);

/// What bitcode_distance takes for na codes against nb: the na-by-nb double table (no working
/// memory).
membudget::Estimate bitcodeDistanceBytes(std::uint64_t na, std::uint64_t nb);

}  // namespace codes

#endif  // MOTIONSEG_CODES_BITCODE_DISTANCE_H

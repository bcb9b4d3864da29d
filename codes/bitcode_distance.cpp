// Pairwise Hamming distances of byte codes.
#include "codes/bitcode_distance.h"

#include <cstddef>
#include <string>

namespace codes {
namespace {

// Bytes per inner block: the per-lane byte counters of the vectorised loop cannot pass 255
// within one block, and a multiple of the widest vector keeps the block free of a scalar tail.
constexpr std::size_t kBlock = 128;

// Number of positions at which the m bytes of x and y differ.
inline std::uint32_t differing(const std::uint8_t* x, const std::uint8_t* y, std::size_t m) {
  std::uint32_t total = 0;
  std::size_t k = 0;
  for (; k + kBlock <= m; k += kBlock) {
    // Byte-wide counting: the compiler turns this into a compare, a subtract of the all-ones
    // mask and one horizontal sum per block.
    std::uint8_t block = 0;
    for (std::size_t t = 0; t < kBlock; ++t) {
      block = static_cast<std::uint8_t>(block + (x[k + t] != y[k + t]));
    }
    total += block;
  }
  std::uint8_t tail = 0;
  for (; k < m; ++k)
    tail = static_cast<std::uint8_t>(tail + (x[k] != y[k]));
  return total + tail;
}

}  // namespace

void computeHamming(const std::uint8_t* a, const std::uint8_t* b, double* out, int m, int na,
                    int nb) {
  const std::size_t bytes = m > 0 ? static_cast<std::size_t>(m) : 0;
  const std::size_t rows = na > 0 ? static_cast<std::size_t>(na) : 0;
  const std::size_t cols = nb > 0 ? static_cast<std::size_t>(nb) : 0;
  // Storage order of the table: code i of b outside, code j of a inside.
  for (std::size_t i = 0; i < cols; ++i) {
    const std::uint8_t* code = b + i * bytes;
    double* column = out + i * rows;
    for (std::size_t j = 0; j < rows; ++j) {
      column[j] = static_cast<double>(differing(a + j * bytes, code, bytes));
    }
  }
}

void computeHammingReference(const std::uint8_t* a, const std::uint8_t* b, double* out, int m,
                             int na, int nb) {
  for (int i = 0; i < nb; ++i) {
    for (int j = 0; j < na; ++j) {
      int count = 0;
      for (int k = 0; k < m; ++k) {
        if (a[k + static_cast<std::ptrdiff_t>(j) * m] !=
            b[k + static_cast<std::ptrdiff_t>(i) * m]) {
          ++count;
        }
      }
      out[j + static_cast<std::ptrdiff_t>(i) * na] = count;
    }
  }
}

membudget::Estimate bitcodeDistanceBytes(std::uint64_t na, std::uint64_t nb) {
  membudget::Estimate need;
  need.outputs = membudget::Bytes::product({na, nb, sizeof(double)});
  need.what = "a " + std::to_string(na) + "-by-" + std::to_string(nb) + " distance table";
  return need;
}

}  // namespace codes

// The vectorised distance table against a brute-force count and against the reference loop, over
// code lengths around the internal block sizes and past 255 differing bytes.
#include "codes/bitcode_distance.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

std::vector<std::uint8_t> randomBytes(std::mt19937& rng, std::size_t n, unsigned levels) {
  std::vector<std::uint8_t> v(n);
  for (auto& x : v)
    x = static_cast<std::uint8_t>(rng() % levels);
  return v;
}

TEST(HammingTable, FastAndReferenceMatchBruteForce) {
  std::mt19937 rng(17);
  const int lengths[] = {0, 1, 15, 16, 17, 191, 192, 193, 255, 256, 257, 384, 600, 1000};
  for (int m : lengths) {
    for (unsigned levels : {2u, 3u, 256u}) {
      const int na = 5, nb = 4;
      const auto a = randomBytes(rng, static_cast<std::size_t>(m) * na, levels);
      const auto b = randomBytes(rng, static_cast<std::size_t>(m) * nb, levels);
      std::vector<double> expected(na * nb);
      for (int i = 0; i < nb; ++i) {
        for (int j = 0; j < na; ++j) {
          int d = 0;
          for (int k = 0; k < m; ++k)
            d += a[k + j * m] != b[k + i * m];
          expected[j + i * na] = d;
        }
      }
      std::vector<double> fast(na * nb, -1), reference(na * nb, -1);
      codes::computeHamming(a.data(), b.data(), fast.data(), m, na, nb);
      codes::computeHammingReference(a.data(), b.data(), reference.data(), m, na, nb);
      EXPECT_EQ(fast, expected) << "m = " << m << ", " << levels << " levels";
      EXPECT_EQ(reference, expected) << "m = " << m << ", " << levels << " levels";
    }
  }
}

TEST(HammingTable, EveryByteDifferentCountsPastAByte) {
  // All m positions differ: a per-block byte counter that overflowed would show here.
  for (int m : {255, 256, 511, 1024}) {
    const std::vector<std::uint8_t> a(static_cast<std::size_t>(m), 0);
    const std::vector<std::uint8_t> b(static_cast<std::size_t>(m), 1);
    double d = -1;
    codes::computeHamming(a.data(), b.data(), &d, m, 1, 1);
    EXPECT_EQ(d, m);
  }
}

}  // namespace

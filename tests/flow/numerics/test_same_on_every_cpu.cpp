// Elementary functions rounded as from the true value: checked against extended precision,
// and at the rounding boundaries where the library's builds could disagree.
#include "flow/numerics/same_on_every_cpu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

TEST(SameOnEveryCpu, BoundaryTestsFindMidpointsAndIntegers) {
  // The midpoint of 1 and the next float, and values a few units away from it.
  const double mid = 1.0 + std::ldexp(1.0, -24);
  EXPECT_TRUE(flowmath::nearFloatBoundary(mid));
  EXPECT_TRUE(flowmath::nearFloatBoundary(std::nextafter(mid, 2.0)));
  EXPECT_FALSE(flowmath::nearFloatBoundary(1.0));
  EXPECT_FALSE(flowmath::nearFloatBoundary(mid + std::ldexp(1.0, -40)));
  EXPECT_FALSE(flowmath::nearFloatBoundary(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(flowmath::nearInteger(3.0));
  EXPECT_TRUE(flowmath::nearInteger(std::nextafter(3.0, 0.0)));
  EXPECT_FALSE(flowmath::nearInteger(3.0 + 1e-9));
}

// Bit patterns, so that zeros of either sign and not-a-number values compare as themselves.
template <typename T, typename Bits>
Bits bitsOf(T v) {
  Bits b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

TEST(SameOnEveryCpu, NeighbouringValuesAreThoseOfTheLibrary) {
  // The steps taken without the library against std::nextafter: zeros, subnormals, the
  // normal range's ends, powers of two (where the unit changes) with their neighbours, and
  // random bit patterns over the whole range.
  const double dmax = std::numeric_limits<double>::max();
  const float fmax = std::numeric_limits<float>::max();
  std::vector<double> doubles = {0.0,
                                 -0.0,
                                 std::numeric_limits<double>::denorm_min(),
                                 std::numeric_limits<double>::min(),
                                 1.0,
                                 0.75,
                                 1e300,
                                 dmax,
                                 -dmax,
                                 std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN()};
  std::vector<float> floats = {0.0f,
                               -0.0f,
                               std::numeric_limits<float>::denorm_min(),
                               -std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::min(),
                               1.0f,
                               -1.0f,
                               0.75f,
                               fmax,
                               -fmax};
  for (int e = -149; e <= 127; e += 3) {
    const float p = std::ldexp(1.0f, e);
    for (float f : {p, std::nextafter(p, 0.0f), std::nextafter(p, fmax)}) {
      floats.push_back(f);
      floats.push_back(-f);
      doubles.push_back(f);
    }
  }
  std::mt19937_64 rng(11);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t b = rng();
    double d;
    std::memcpy(&d, &b, sizeof d);
    doubles.push_back(d);
    const auto b32 = static_cast<std::uint32_t>(b >> 32);
    float f;
    std::memcpy(&f, &b32, sizeof f);
    if (std::isfinite(f)) floats.push_back(f);
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (double r : doubles) {
    const double a = std::fabs(r);
    ASSERT_EQ((bitsOf<double, std::uint64_t>(flowmath::ulpOf(r))),
              (bitsOf<double, std::uint64_t>(std::nextafter(a, inf) - a)))
        << r;
  }
  const float finf = std::numeric_limits<float>::infinity();
  for (float f : floats) {
    ASSERT_EQ((bitsOf<float, std::uint32_t>(flowmath::nextFloat(f, true))),
              (bitsOf<float, std::uint32_t>(std::nextafter(f, finf))))
        << f;
    ASSERT_EQ((bitsOf<float, std::uint32_t>(flowmath::nextFloat(f, false))),
              (bitsOf<float, std::uint32_t>(std::nextafter(f, -finf))))
        << f;
  }
}

TEST(SameOnEveryCpu, ResultsAreThoseOfTheTrueValue) {
  // Against extended precision over many arguments, including the small ones where the
  // single-precision exponential of the library is not correctly rounded.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> wide(-20.0, 2.0), small(-1e-3, 0.0), angle(-1.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    const double x = (i % 2 != 0) ? wide(rng) : small(rng);
    ASSERT_EQ(flowmath::expToFloat(x), static_cast<float>(std::exp(static_cast<long double>(x))))
        << x;
    const double y = angle(rng), z = angle(rng);
    ASSERT_EQ(
        flowmath::atan2PlusToFloat(y, z, M_PI),
        static_cast<float>(std::atan2(static_cast<long double>(y), static_cast<long double>(z)) +
                           static_cast<long double>(M_PI)))
        << y << " " << z;
  }
}

TEST(SameOnEveryCpu, ExactProductsAndQuotientsKeepTheirIntegerParts) {
  // Products and quotients that are whole numbers: ceil and trunc of the true value.
  EXPECT_EQ(flowmath::ceilPowerTimes(0.5, 3, 8.0), 1.0);
  EXPECT_EQ(flowmath::ceilPowerTimes(0.5, 3, 9.0), 2.0);
  EXPECT_EQ(static_cast<int>(flowmath::logRatio(0.25, 0.5)), 2);
  EXPECT_EQ(static_cast<int>(flowmath::logRatio(0.125, 0.5)), 3);
  // The pyramid sizes of the driver's η = 0.95 for every side up to 4000 and level up to
  // 120 are those of the extended-precision product.
  const double eta = static_cast<double>(0.95f);
  for (int p = 0; p <= 120; ++p) {
    const long double power = std::pow(static_cast<long double>(eta), p);
    for (int n = 1; n <= 4000; n += 7)
      ASSERT_EQ(flowmath::ceilPowerTimes(eta, p, n), static_cast<double>(std::ceil(power * n)))
          << p << " " << n;
  }
}

}  // namespace

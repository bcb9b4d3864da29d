// Elementary functions whose results do not depend on the processor. The C library picks one
// of several builds of exp, log, pow and atan2 at run time (with and without fused
// multiply-adds), and they differ in the last bit for some arguments. Where the flow rounds
// such a result further (to float, to an integer, to a histogram bin), the rounded value is
// the same for every build unless the double result lies within a few of its units in the
// last place of a rounding boundary: the library's builds are each within one unit of the true
// value. Only then is the value recomputed in extended precision (x87, which the library
// does not dispatch), so the rounded result is that of the true value on every processor.
// Nothing here changes a result away from such boundaries.
#ifndef MOTIONSEG_FLOW_NUMERICS_SAME_ON_EVERY_CPU_H
#define MOTIONSEG_FLOW_NUMERICS_SAME_ON_EVERY_CPU_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace flowmath {

/// Units in the last place a library result, or a product, quotient or sum of one with exact
/// operands, may be from the true value, with room to spare (each build promises less than
/// one for the function, and each further operation adds half a unit).
constexpr double kLibraryUlps = 8.0;

/// The value after `a` towards +∞ for a finite a ≥ 0 (the next bit pattern), as
/// std::nextafter(a, +∞) gives it without a library call: the boundary tests run once per
/// pixel in the histograms' directions.
inline double nextUp(double a) {
  std::uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  bits += 1;
  std::memcpy(&a, &bits, sizeof a);
  return a;
}

/// The float after a finite f towards +∞ (up) or −∞, as std::nextafter gives it: one step of
/// the magnitude's bit pattern, away from zero or towards it; from a zero the smallest
/// subnormal of the direction's sign.
inline float nextFloat(float f, bool up) {
  if (f == 0.0f) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    return up ? tiny : -tiny;
  }
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  bits = (f > 0.0f) == up ? bits + 1 : bits - 1;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

/// One unit in the last place of r.
inline double ulpOf(double r) {
  const double a = std::fabs(r);
  if (!(a <= std::numeric_limits<double>::max()))  // infinite or not a number
    return std::nextafter(a, std::numeric_limits<double>::infinity()) - a;
  return nextUp(a) - a;
}

/// Whether rounding r to float could give another float for a value within `slack` of r:
/// r is near the midpoint of two floats (or not finite: nothing to decide).
inline bool nearFloatBoundary(double r, double slack) {
  if (!std::isfinite(r)) return false;
  const float f = static_cast<float>(r);
  if (!std::isfinite(f)) return false;
  const float other = nextFloat(f, r > static_cast<double>(f));
  const double mid = 0.5 * (static_cast<double>(f) + static_cast<double>(other));
  return std::fabs(r - mid) <= slack;
}

inline bool nearFloatBoundary(double r) {
  return nearFloatBoundary(r, kLibraryUlps * ulpOf(r));
}

/// Whether r is within kLibraryUlps units of an integer (where ceil or trunc could differ).
inline bool nearInteger(double r) {
  if (!std::isfinite(r)) return false;
  return std::fabs(r - std::nearbyint(r)) <= kLibraryUlps * ulpOf(r);
}

/// float(exp(x)) rounded from the true value.
inline float expToFloat(double x) {
  const double r = std::exp(x);
  if (!nearFloatBoundary(r)) return static_cast<float>(r);
  return static_cast<float>(std::exp(static_cast<long double>(x)));
}

/// float(exp(x) / d) rounded from the true quotient (d > 0 exact).
inline float expOverToFloat(double x, double d) {
  const double r = std::exp(x) / d;
  if (!nearFloatBoundary(r)) return static_cast<float>(r);
  return static_cast<float>(std::exp(static_cast<long double>(x)) / static_cast<long double>(d));
}

/// float(a · bᵖ) rounded from the true product.
inline float timesPowerToFloat(double a, double b, int p) {
  const double r = a * std::pow(b, p);
  if (!nearFloatBoundary(r)) return static_cast<float>(r);
  return static_cast<float>(static_cast<long double>(a) * std::pow(static_cast<long double>(b), p));
}

/// ⌈bᵖ · n⌉ of the true product.
inline double ceilPowerTimes(double b, int p, double n) {
  const double r = std::pow(b, p) * n;
  if (!nearInteger(r)) return std::ceil(r);
  return static_cast<double>(std::ceil(std::pow(static_cast<long double>(b), p) * n));
}

/// ln(a) / ln(b) with the true quotient's integer part (for truncation).
inline double logRatio(double a, double b) {
  const double r = std::log(a) / std::log(b);
  if (!nearInteger(r)) return r;
  const long double e =
      std::log(static_cast<long double>(a)) / std::log(static_cast<long double>(b));
  // Away from the integer by a clear margin in the direction of the extended result, so that
  // the caller's truncation gives the extended result's integer part.
  return static_cast<double>(std::trunc(e)) + (e < 0 ? -0.5 : 0.5);
}

/// float(atan2(y, x) + c) rounded from the true sum (c a double constant).
inline float atan2PlusToFloat(double y, double x, double c) {
  const double angle = std::atan2(y, x);
  const double r = angle + c;
  // The angle's error is in units of the angle, which may be far larger than r's.
  if (!nearFloatBoundary(r, kLibraryUlps * (ulpOf(angle) + ulpOf(r)))) {
    return static_cast<float>(r);
  }
  return static_cast<float>(std::atan2(static_cast<long double>(y), static_cast<long double>(x)) +
                            static_cast<long double>(c));
}

}  // namespace flowmath

#endif  // MOTIONSEG_FLOW_NUMERICS_SAME_ON_EVERY_CPU_H

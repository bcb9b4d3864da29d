// One-dimensional filter masks: a tap vector with an origin, the normalised sampled Gaussian
// and the finite-difference derivative masks.
#ifndef MOTIONSEG_FLOW_FILTERS_CFILTER_H
#define MOTIONSEG_FLOW_FILTERS_CFILTER_H

#include "flow/containers/CVector.h"
#include "flow/numerics/same_on_every_cpu.h"

#include <cmath>
#include <iostream>
#include <stdexcept>
#include <type_traits>

/// Source and destination of a filter do not have the same sizes.
struct EFilterIncompatibleSize {};
/// No derivative mask exists for the requested size.
struct EFilterNotAvailable {};

namespace flowdetail {

/// The float nearest π (3.14159274); masks and smoothing widen it to double where used.
constexpr float kPi = 3.14159274f;

}  // namespace flowdetail

/// Mask of `size()` taps whose tap number `delta()` multiplies the sample at offset 0: tap i
/// multiplies the sample at offset i − delta.
template <typename T>
class CFilter : public CVector<T> {
 public:
  /// `size` taps (contents undefined) with origin `delta`.
  CFilter(int size, int delta) : CVector<T>(size), mDelta(delta) {}
  ~CFilter() override = default;

  int delta() const { return mDelta; }

  /// Sum of the absolute values of the taps, accumulated in index order.
  T sum() const {
    T s = T(0);
    for (int i = 0; i < this->mSize; ++i)
      s += std::abs(this->mData[i]);
    return s;
  }

 protected:
  int mDelta;
};

/// Sampled Gaussian of standard deviation sigma over the radius ceil(sigma·precision),
/// normalised so that its taps sum to 1.
template <typename T>
class CSmooth : public CFilter<T> {
 public:
  CSmooth(float sigma, float precision)
      : CFilter<T>(2 * radius(sigma, precision) + 1, radius(sigma, precision)) {
    const int r = this->mDelta;
    const float sigma2 = sigma * sigma;
    const double norm = static_cast<double>(sigma) * std::sqrt(2.0 * double(flowdetail::kPi));
    for (int i = 0; i <= r; ++i) {
      const double x = static_cast<double>(i * i) / (-2.0 * sigma2);
      // A float tap is exp(x)/norm rounded as from the true value, the same on every
      // processor (see same_on_every_cpu.h).
      T g;
      if constexpr (std::is_same<T, float>::value) {
        g = flowmath::expOverToFloat(x, norm);
      } else {
        g = static_cast<T>(std::exp(x) / norm);
      }
      this->mData[r + i] = this->mData[r - i] = g;
    }
    // Normalisation by the single-precision reciprocal of the tap sum.
    const T scale = T(1) / this->sum();
    for (int i = 0; i < this->mSize; ++i)
      this->mData[i] *= scale;
  }
  ~CSmooth() override = default;

 private:
  /// Integer part of ceilf(sigma·precision). A negative or non-numeric product has no
  /// mask, and a radius beyond the 32-bit tap count has no array.
  static int radius(float sigma, float precision) {
    if (!(sigma >= 0.0f) || !(precision >= 0.0f)) {
      throw std::invalid_argument("Gaussian mask needs a sigma and a precision of 0 or more");
    }
    const float r = std::ceil(sigma * precision);
    if (!(r <= 1.0e9f)) throw std::length_error("Gaussian mask radius exceeds 1e9 taps");
    return static_cast<int>(r);
  }
};

/// Finite-difference mask of 2 to 10 taps with origin (size − 1) div 2: centred differences
/// for odd sizes, differences half a sample right of the origin for even sizes.
template <typename T>
class CDerivative : public CFilter<T> {
 public:
  explicit CDerivative(int size) : CFilter<T>(checkedSize(size), (size - 1) / 2) {
    static const double kTaps[9][10] = {
        {-1.0, 1.0},
        {-1.0 / 2, 0.0, 1.0 / 2},
        {1.0 / 24, -9.0 / 8, 9.0 / 8, -1.0 / 24},
        {1.0 / 12, -2.0 / 3, 0.0, 2.0 / 3, -1.0 / 12},
        {-3.0 / 640, 25.0 / 384, -75.0 / 64, 75.0 / 64, -25.0 / 384, 3.0 / 640},
        {-1.0 / 60, 3.0 / 20, -3.0 / 4, 0.0, 3.0 / 4, -3.0 / 20, 1.0 / 60},
        {5.0 / 7168, -49.0 / 5120, 245.0 / 3072, -1225.0 / 1024, 1225.0 / 1024, -245.0 / 3072,
         49.0 / 5120, -5.0 / 7168},
        {1.0 / 280, -4.0 / 105, 1.0 / 5, -4.0 / 5, 0.0, 4.0 / 5, -1.0 / 5, 4.0 / 105, -1.0 / 280},
        {-35.0 / 294912, 405.0 / 229376, -567.0 / 40960, 735.0 / 8192, -19845.0 / 16384,
         19845.0 / 16384, -735.0 / 8192, 567.0 / 40960, -405.0 / 229376, 35.0 / 294912},
    };
    for (int i = 0; i < size; ++i)
      this->mData[i] = static_cast<T>(kTaps[size - 2][i]);
  }
  ~CDerivative() override = default;

 private:
  /// Refuses sizes without a mask before any tap is allocated.
  static int checkedSize(int size) {
    if (size < 2 || size > 10) {
      std::cerr << "Exception EFilterNotAvailable: Mask size: " << size << std::endl;
      throw EFilterNotAvailable();
    }
    return size;
  }
};

#endif  // MOTIONSEG_FLOW_FILTERS_CFILTER_H

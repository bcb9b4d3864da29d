// The interior of a row correlation with AVX2's 8-float vectors: the same product and sum per
// lane as the scalar blocks of eight, four vectors at a time so that their chains of additions
// overlap. This file alone is compiled with -mavx2; it includes only the intrinsics and a
// plain declaration.
#include "flow/filters/row_correlation.h"

#include <immintrin.h>

namespace NFilter {
namespace detail {

int correlateInteriorAvx2(const float* s, float* d, int lo, int hi, const float* tap, int size,
                          long long delta) {
  constexpr int kVectors = 4;
  int p = lo;
  for (; p + 8 * kVectors <= hi; p += 8 * kVectors) {
    const float* window = s + (p - delta);
    __m256 acc[kVectors];
    for (__m256& a : acc)
      a = _mm256_setzero_ps();
    for (int i = 0; i < size; ++i) {
      const __m256 t = _mm256_set1_ps(tap[i]);
      for (int v = 0; v < kVectors; ++v)
        acc[v] = _mm256_add_ps(acc[v], _mm256_mul_ps(t, _mm256_loadu_ps(window + i + 8 * v)));
    }
    for (int v = 0; v < kVectors; ++v)
      _mm256_storeu_ps(d + p + 8 * v, acc[v]);
  }
  for (; p + 8 <= hi; p += 8) {
    const float* window = s + (p - delta);
    __m256 acc = _mm256_setzero_ps();
    for (int i = 0; i < size; ++i)
      acc = _mm256_add_ps(acc, _mm256_mul_ps(_mm256_set1_ps(tap[i]), _mm256_loadu_ps(window + i)));
    _mm256_storeu_ps(d + p, acc);
  }
  return p;
}

}  // namespace detail
}  // namespace NFilter

// The row scan of the fast matching with the x86-64 baseline's 4-float vectors, two per
// Vec; and the distance of a single candidate, shared by every path.
#include "flow/matching/match_row_scan.h"

#include <emmintrin.h>

namespace flowmatch {
namespace detail {

bool candidateDistance(const float* reference, const float* hog, const long long* offsets,
                       long long plane, float limit, float& distance) {
  float e = 0.0f;
  for (int k = 0; k < kPositions; ++k) {
    const float* p = hog + offsets[k];
    const float* r = reference + k * kBins;
    for (int c0 = 0; c0 < kBins; c0 += 5) {
      for (int c = c0; c < c0 + 5; ++c, p += plane) {
        const float d = r[c] - *p;
        e += d * d;
      }
      if (e > limit) return false;
    }
  }
  distance = e;
  return true;
}

namespace {

constexpr int kLanes = 8;
// Blocks one at a time: two at a time were no faster with eight lanes.
constexpr bool kPairedBlocks = false;

struct Vec {
  __m128 lo, hi;
};
inline Vec vset1(float a) {
  return {_mm_set1_ps(a), _mm_set1_ps(a)};
}
inline Vec vload(const float* p) {
  return {_mm_loadu_ps(p), _mm_loadu_ps(p + 4)};
}
inline void vstore(float* p, Vec a) {
  _mm_storeu_ps(p, a.lo);
  _mm_storeu_ps(p + 4, a.hi);
}
inline Vec vadd(Vec a, Vec b) {
  return {_mm_add_ps(a.lo, b.lo), _mm_add_ps(a.hi, b.hi)};
}
inline Vec vsub(Vec a, Vec b) {
  return {_mm_sub_ps(a.lo, b.lo), _mm_sub_ps(a.hi, b.hi)};
}
inline Vec vmul(Vec a, Vec b) {
  return {_mm_mul_ps(a.lo, b.lo), _mm_mul_ps(a.hi, b.hi)};
}
inline Vec vabs(Vec a) {
  const __m128 sign = _mm_set1_ps(-0.0f);
  return {_mm_andnot_ps(sign, a.lo), _mm_andnot_ps(sign, a.hi)};
}
// max(a, b) lane by lane; b where either is not a number.
inline Vec vmax(Vec a, Vec b) {
  return {_mm_max_ps(a.lo, b.lo), _mm_max_ps(a.hi, b.hi)};
}
// max(a, 0) lane by lane; a lane that is not a number gives 0.
inline Vec vmaxzero(Vec a) {
  const __m128 z = _mm_setzero_ps();
  return {_mm_max_ps(a.lo, z), _mm_max_ps(a.hi, z)};
}
// All bits set in the lanes where a > b (ordered: false for not-a-number).
inline Vec vgtmask_v(Vec a, Vec b) {
  return {_mm_cmpgt_ps(a.lo, b.lo), _mm_cmpgt_ps(a.hi, b.hi)};
}
// Bit l set where lane l of a > that of b.
inline int vgtmask(Vec a, Vec b) {
  return _mm_movemask_ps(_mm_cmpgt_ps(a.lo, b.lo)) |
         (_mm_movemask_ps(_mm_cmpgt_ps(a.hi, b.hi)) << 4);
}
// +∞ in the lanes of the mask, acc elsewhere.
inline Vec vinfwhere(Vec mask, Vec acc) {
  const __m128 inf = _mm_set1_ps(__builtin_inff());
  return {_mm_or_ps(_mm_and_ps(mask.lo, inf), _mm_andnot_ps(mask.lo, acc.lo)),
          _mm_or_ps(_mm_and_ps(mask.hi, inf), _mm_andnot_ps(mask.hi, acc.hi))};
}

// All bits set in lanes 0 .. n − 1 (0 < n < 8).
inline Vec vlanesbelow(int n) {
  const __m128i index0 = _mm_set_epi32(3, 2, 1, 0), index1 = _mm_set_epi32(7, 6, 5, 4);
  const __m128i limit = _mm_set1_epi32(n);
  return {_mm_castsi128_ps(_mm_cmplt_epi32(index0, limit)),
          _mm_castsi128_ps(_mm_cmplt_epi32(index1, limit))};
}

}  // namespace
}  // namespace detail
}  // namespace flowmatch

#include "flow/matching/match_row_kernel.h"

void flowmatch::detail::scanRowSse2(const RowScan& row, ScanState& state) {
  scanRowAny(row, state);
}

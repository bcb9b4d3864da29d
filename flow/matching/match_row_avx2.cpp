// The row scan of the fast matching with AVX2's 8-float vectors. This file alone is compiled
// with -mavx2; it includes no header with inline code of its own (only the intrinsics and the
// plain interface), so none of its code can be picked by the linker for another caller.
#include "flow/matching/match_row_scan.h"

#include <immintrin.h>

namespace flowmatch {
namespace detail {
namespace {

constexpr int kLanes = 8;
// Blocks two at a time: their two chains of additions overlap (about 5% less matching time on
// a Zen 3 EPYC, which has AVX2 but not AVX-512).
constexpr bool kPairedBlocks = true;

struct Vec {
  __m256 v;
};
inline Vec vset1(float a) {
  return {_mm256_set1_ps(a)};
}
inline Vec vload(const float* p) {
  return {_mm256_loadu_ps(p)};
}
inline void vstore(float* p, Vec a) {
  _mm256_storeu_ps(p, a.v);
}
inline Vec vadd(Vec a, Vec b) {
  return {_mm256_add_ps(a.v, b.v)};
}
inline Vec vsub(Vec a, Vec b) {
  return {_mm256_sub_ps(a.v, b.v)};
}
inline Vec vmul(Vec a, Vec b) {
  return {_mm256_mul_ps(a.v, b.v)};
}
inline Vec vabs(Vec a) {
  return {_mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v)};
}
// max(a, b) lane by lane; b where either is not a number.
inline Vec vmax(Vec a, Vec b) {
  return {_mm256_max_ps(a.v, b.v)};
}
// max(a, 0) lane by lane; a lane that is not a number gives 0.
inline Vec vmaxzero(Vec a) {
  return {_mm256_max_ps(a.v, _mm256_setzero_ps())};
}
inline Vec vgtmask_v(Vec a, Vec b) {
  return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)};
}
inline int vgtmask(Vec a, Vec b) {
  return _mm256_movemask_ps(_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ));
}
inline Vec vinfwhere(Vec mask, Vec acc) {
  return {_mm256_blendv_ps(acc.v, _mm256_set1_ps(__builtin_inff()), mask.v)};
}

// All bits set in lanes 0 .. n − 1 (0 < n < 8).
inline Vec vlanesbelow(int n) {
  const __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  return {_mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_set1_epi32(n), index))};
}

}  // namespace
}  // namespace detail
}  // namespace flowmatch

#include "flow/matching/match_row_kernel.h"

void flowmatch::detail::scanRowAvx2(const RowScan& row, ScanState& state) {
  scanRowAny(row, state);
}

// The row scan of the fast matching with AVX-512's 16-float vectors, the lane tests in mask
// registers. This file alone is compiled with the AVX-512 flags; it includes no header with
// inline code of its own (only the intrinsics and the plain interface), so none of its code
// can be picked by the linker for another caller.
#include "flow/matching/match_row_scan.h"

#include <immintrin.h>

namespace flowmatch {
namespace detail {
namespace {

constexpr int kLanes = 16;
// Blocks two at a time: two chains of sums per step, some 6% less matching time.
constexpr bool kPairedBlocks = true;

struct Vec {
  __m512 v;
};
// One bit per lane.
struct Mask {
  __mmask16 m;
};
inline Vec vset1(float a) {
  return {_mm512_set1_ps(a)};
}
inline Vec vload(const float* p) {
  return {_mm512_loadu_ps(p)};
}
inline void vstore(float* p, Vec a) {
  _mm512_storeu_ps(p, a.v);
}
inline Vec vadd(Vec a, Vec b) {
  return {_mm512_add_ps(a.v, b.v)};
}
inline Vec vsub(Vec a, Vec b) {
  return {_mm512_sub_ps(a.v, b.v)};
}
inline Vec vmul(Vec a, Vec b) {
  return {_mm512_mul_ps(a.v, b.v)};
}
// The sign bit cleared, as the other paths do it.
inline Vec vabs(Vec a) {
  return {_mm512_andnot_ps(_mm512_set1_ps(-0.0f), a.v)};
}
// max(a, b) lane by lane; b where either is not a number. (The zero-masking form with every
// lane selected is the same instruction; the plain one's header trips GCC 12's
// uninitialised-value warning.)
inline Vec vmax(Vec a, Vec b) {
  return {_mm512_maskz_max_ps(0xFFFF, a.v, b.v)};
}
// max(a, 0) lane by lane; a lane that is not a number gives 0.
inline Vec vmaxzero(Vec a) {
  return {_mm512_maskz_max_ps(0xFFFF, a.v, _mm512_setzero_ps())};
}
// The lanes where a > b (ordered: false for not-a-number).
inline Mask vgtmask_v(Vec a, Vec b) {
  return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_GT_OQ)};
}
// Bit l set where lane l of a > that of b.
inline int vgtmask(Vec a, Vec b) {
  return _mm512_cmp_ps_mask(a.v, b.v, _CMP_GT_OQ);
}
// +∞ in the lanes of the mask, acc elsewhere.
inline Vec vinfwhere(Mask mask, Vec acc) {
  return {_mm512_mask_mov_ps(acc.v, mask.m, _mm512_set1_ps(__builtin_inff()))};
}

// Lanes 0 .. n − 1 (0 < n < 16).
inline Mask vlanesbelow(int n) {
  return {static_cast<__mmask16>((1u << n) - 1u)};
}

}  // namespace
}  // namespace detail
}  // namespace flowmatch

#include "flow/matching/match_row_kernel.h"

void flowmatch::detail::scanRowAvx512(const RowScan& row, ScanState& state) {
  scanRowAny(row, state);
}

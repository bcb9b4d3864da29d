// The vector SOR sweep with eight rows per band in AVX2 vectors. This file alone is compiled
// with -mavx2; it includes only the intrinsics and plain-data headers, so none of its code can
// be picked by the linker for another caller.
#include "flow/solver/sor_band_kernel.h"
#include "flow/solver/sor_system.h"

#include <immintrin.h>

namespace flowsolver {
namespace {

struct Avx2Ops {
  static constexpr int kLanes = 8;
  static constexpr bool kTransposedLayout = true;
  using V = __m256;
  using VI = __m256i;
  using M = __m256;
  static V set1(float a) { return _mm256_set1_ps(a); }
  static V load(const float* p) { return _mm256_loadu_ps(p); }
  static void store(float* p, V a) { _mm256_storeu_ps(p, a); }
  static V add(V a, V b) { return _mm256_add_ps(a, b); }
  static V sub(V a, V b) { return _mm256_sub_ps(a, b); }
  static V mul(V a, V b) { return _mm256_mul_ps(a, b); }
  static V div(V a, V b) { return _mm256_div_ps(a, b); }
  // Lanes that are not ±0 (NaN included, as for a scalar !=).
  static M nonZero(V a) { return _mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_NEQ_UQ); }
  static V select(V mask, V yes, V no) { return _mm256_blendv_ps(no, yes, mask); }
  static V both(V a, V b) { return _mm256_and_ps(a, b); }
  static VI laneIndex() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
  static VI set1i(int a) { return _mm256_set1_epi32(a); }
  static VI addi(VI a, VI b) { return _mm256_add_epi32(a, b); }
  static VI subi(VI a, VI b) { return _mm256_sub_epi32(a, b); }
  static V greaterThan(VI a, VI b) { return _mm256_castsi256_ps(_mm256_cmpgt_epi32(a, b)); }
  static V lessThan(VI a, VI b) { return _mm256_castsi256_ps(_mm256_cmpgt_epi32(b, a)); }
  // Lanes moved up by one, *first in lane 0.
  static V shiftUp(V a, const float* first) {
    const V moved = _mm256_permutevar8x32_ps(a, _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6));
    return _mm256_blend_ps(moved, _mm256_broadcast_ss(first), 1);
  }
  // The 8 × 8 block r[0..7] transposed: pairs of rows interleaved, then quadruples, then the
  // 128-bit halves exchanged.
  static void transpose(V* r) {
    V t[8], q[8];
    for (int k = 0; k < 8; k += 2) {
      t[k] = _mm256_unpacklo_ps(r[k], r[k + 1]);
      t[k + 1] = _mm256_unpackhi_ps(r[k], r[k + 1]);
    }
    for (int k = 0; k < 8; k += 4) {
      q[k] = _mm256_shuffle_ps(t[k], t[k + 2], 0x44);
      q[k + 1] = _mm256_shuffle_ps(t[k], t[k + 2], 0xEE);
      q[k + 2] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0x44);
      q[k + 3] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0xEE);
    }
    for (int k = 0; k < 4; ++k) {
      r[k] = _mm256_permute2f128_ps(q[k], q[k + 4], 0x20);
      r[k + 4] = _mm256_permute2f128_ps(q[k], q[k + 4], 0x31);
    }
  }
};

}  // namespace

void sorSweepsAvx2(const SorSystem& s, float* du, float* dv, int sweeps, float* band,
                   unsigned long long room, BandPipeline& pipeline) {
  sweepBands<Avx2Ops>(s, du, dv, sweeps, band, room, pipeline);
}

unsigned long long sorBandFloatsAvx2(int nx, int ny, int sweeps) {
  return BandLayout<Avx2Ops::kLanes>(nx, ny, sweeps).floats();
}

void sorBandRingAvx2(int nx, int ny, int sweeps, unsigned long long room, int& bands,
                     int& ringBlocks) {
  const BandLayout<Avx2Ops::kLanes> layout(nx, ny, sweeps, room);
  bands = layout.bands;
  ringBlocks = layout.slots;
}

unsigned long long sorLayoutFloatsAvx2(int nx, int ny) {
  return BandLayout<Avx2Ops::kLanes>(nx, ny, 1, ~0ULL).floats();
}

void sorLayOutAvx2(const SorSystem& s, const float* du, const float* dv, bool transposed,
                   float* band) {
  layOutEveryBand<Avx2Ops>(s, du, dv, transposed, band);
}

}  // namespace flowsolver

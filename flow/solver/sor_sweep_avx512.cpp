// The vector SOR sweep with sixteen rows per band in AVX-512 vectors. This file alone is
// compiled with the AVX-512 flags; it includes only the intrinsics and plain-data headers, so
// none of its code can be picked by the linker for another caller.
#include "flow/solver/sor_band_kernel.h"
#include "flow/solver/sor_system.h"

#include <immintrin.h>

namespace flowsolver {
namespace {

// The lane tests are mask registers here, one bit per lane.
struct Avx512Ops {
  static constexpr int kLanes = 16;
  using V = __m512;
  using VI = __m512i;
  using M = __mmask16;
  static V set1(float a) { return _mm512_set1_ps(a); }
  static V load(const float* p) { return _mm512_loadu_ps(p); }
  static void store(float* p, V a) { _mm512_storeu_ps(p, a); }
  static V add(V a, V b) { return _mm512_add_ps(a, b); }
  static V sub(V a, V b) { return _mm512_sub_ps(a, b); }
  static V mul(V a, V b) { return _mm512_mul_ps(a, b); }
  static V div(V a, V b) { return _mm512_div_ps(a, b); }
  // Lanes that are not ±0 (NaN included, as for a scalar !=).
  static M nonZero(V a) { return _mm512_cmp_ps_mask(a, _mm512_setzero_ps(), _CMP_NEQ_UQ); }
  static V select(M mask, V yes, V no) { return _mm512_mask_blend_ps(mask, no, yes); }
  static M both(M a, M b) { return static_cast<M>(a & b); }
  static VI laneIndex() {
    return _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  }
  static VI set1i(int a) { return _mm512_set1_epi32(a); }
  static VI addi(VI a, VI b) { return _mm512_add_epi32(a, b); }
  static VI subi(VI a, VI b) { return _mm512_sub_epi32(a, b); }
  static M greaterThan(VI a, VI b) { return _mm512_cmpgt_epi32_mask(a, b); }
  static M lessThan(VI a, VI b) { return _mm512_cmplt_epi32_mask(a, b); }
  // Lanes moved up by one, *first in lane 0.
  static V shiftUp(V a, const float* first) {
    // Lanes 1..15 from lanes 0..14, lane 0 from the broadcast.
    const VI from = _mm512_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14);
    return _mm512_mask_permutexvar_ps(_mm512_set1_ps(*first), 0xFFFE, from, a);
  }
  // The 16 × 16 block r[0..15] transposed: for d = 8, 4, 2, 1, bit d of the row index swapped
  // with bit d of the column index (rows k and k + d exchange the elements whose column has
  // that bit clear in one and set in the other).
  static void transpose(V* r) {
    for (int d = 8; d > 0; d /= 2) {
      alignas(64) int lower[16], upper[16];
      for (int e = 0; e < 16; ++e) {
        lower[e] = (e & d) != 0 ? 16 + e - d : e;
        upper[e] = (e & d) != 0 ? 16 + e : e + d;
      }
      const VI toLower = _mm512_load_si512(lower), toUpper = _mm512_load_si512(upper);
      for (int k = 0; k < 16; ++k) {
        if ((k & d) != 0) continue;
        const V a = r[k], b = r[k + d];
        r[k] = _mm512_permutex2var_ps(a, toLower, b);
        r[k + d] = _mm512_permutex2var_ps(a, toUpper, b);
      }
    }
  }
};

}  // namespace

void sorSweepsAvx512(const SorSystem& s, float* du, float* dv, int sweeps, float* band,
                     unsigned long long room, BandPipeline& pipeline) {
  sweepBands<Avx512Ops>(s, du, dv, sweeps, band, room, pipeline);
}

unsigned long long sorBandFloatsAvx512(int nx, int ny, int sweeps) {
  return BandLayout<Avx512Ops::kLanes>(nx, ny, sweeps).floats();
}

void sorBandRingAvx512(int nx, int ny, int sweeps, unsigned long long room, int& bands,
                       int& ringBlocks) {
  const BandLayout<Avx512Ops::kLanes> layout(nx, ny, sweeps, room);
  bands = layout.bands;
  ringBlocks = layout.slots;
}

unsigned long long sorLayoutFloatsAvx512(int nx, int ny) {
  return BandLayout<Avx512Ops::kLanes>(nx, ny, 1, ~0ULL).floats();
}

void sorLayOutAvx512(const SorSystem& s, const float* du, const float* dv, bool transposed,
                     float* band) {
  layOutEveryBand<Avx512Ops>(s, du, dv, transposed, band);
}

}  // namespace flowsolver

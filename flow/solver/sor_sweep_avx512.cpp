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
  // A 16 × 16 transpose (four stages of permutex2var) laid the bands out no faster than packBand.
  static constexpr bool kTransposedLayout = false;
  using V = __m512;
  using VI = __m512i;
  using M = __mmask16;
  static V set1(float a) { return _mm512_set1_ps(a); }
  static V load(const float* p) { return _mm512_loadu_ps(p); }
  static void store(float* p, V a) { _mm512_storeu_ps(p, a); }
  static V add(V a, V b) { return _mm512_add_ps(a, b); }
  static V sub(V a, V b) { return _mm512_sub_ps(a, b); }
  static V mul(V a, V b) { return _mm512_mul_ps(a, b); }
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

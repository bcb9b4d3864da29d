// SOR sweeps of the frozen linear system of one fixed-point iteration. For pixel i with the
// neighbour weights φ and neighbour increments (du_n, dv_n):
// clang-format off
//   du ← (1 − ω)·du + ω/(ψD·J11 + Σφ + ψG·G11 + M) · (Su − ψD·(dv·J12 + J13) − ψG·(dv·G12 + G13) − RU)
//   dv ← (1 − ω)·dv + ω/(ψD·J22 + Σφ + ψG·G22 + M) · (Sv − ψD·(du·J12 + J23) − ψG·(du·G12 + G23) − RV)
// clang-format on
// with Su = Σ (du_n + u_n − u)·φ and Sv likewise, the new du entering the update of dv.
#include "flow/solver/sor_sweep.h"

#include "flow/containers/array_memory.h"
#include "flow/parallel/instruction_set.h"
#include "flow/solver/sor_band_kernel.h"

#include <algorithm>
#include <cstddef>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace flowsolver {

namespace {

// One pixel of the fast sweep. Which neighbours exist is passed as flags; on the interior
// they are constants and the tests fold away once this is inlined.
inline void updatePixel(const SorPixel* pixels, int nx, int i, bool left, bool up, bool right,
                        bool down, float oneMinusOmega, float* du, float* dv) {
  // flow(neighbour) − flow(pixel) is formed here from the flow rather than read from the eight
  // difference arrays: the same subtraction gives the same bits, and the sweep reads less.
  const SorPixel& c = pixels[i];
  const float ui = c.u, vi = c.v;
  float su = 0.0f, sv = 0.0f;
  if (left) {
    const SorPixel& l = pixels[i - 1];
    const float phi = l.right;
    su += (du[i - 1] + (l.u - ui)) * phi;
    sv += (dv[i - 1] + (l.v - vi)) * phi;
  }
  if (up) {
    const SorPixel& t = pixels[i - nx];
    const float phi = t.down;
    su += (du[i - nx] + (t.u - ui)) * phi;
    sv += (dv[i - nx] + (t.v - vi)) * phi;
  }
  if (right) {
    const SorPixel& r = pixels[i + 1];
    const float phi = c.right;
    su += (du[i + 1] + (r.u - ui)) * phi;
    sv += (dv[i + 1] + (r.v - vi)) * phi;
  }
  if (down) {
    const SorPixel& b = pixels[i + nx];
    const float phi = c.down;
    su += (du[i + nx] + (b.u - ui)) * phi;
    sv += (dv[i + nx] + (b.v - vi)) * phi;
  }
  const float psiD = c.psiD, psiG = c.psiG;
  const float u = du[i], v = dv[i];
  const float numeratorU = su - psiD * (v * c.j12 + c.j13) - psiG * (v * c.g12 + c.g13) - c.ru;
  const float newU = oneMinusOmega * u + c.factorU * numeratorU;
  du[i] = newU;
  const float numeratorV =
      sv - psiD * (newU * c.j12 + c.j23) - psiG * (newU * c.g12 + c.g23) - c.rv;
  dv[i] = oneMinusOmega * v + c.factorV * numeratorV;
}

// A pixel that may lie on the image border: the neighbour tests at run time.
inline void updateBorderPixel(const SorPixel* pixels, int nx, int ny, int x, int y,
                              float oneMinusOmega, float* du, float* dv) {
  updatePixel(pixels, nx, x + y * nx, x > 0, y > 0, x + 1 < nx, y + 1 < ny, oneMinusOmega, du, dv);
}

}  // namespace

void sorSweepsReference(const SorSystem& s, float* du, float* dv, int sweeps) {
  if (sweeps <= 0) return;
  const int nx = s.xSize, ny = s.ySize;
  formRows(s, 0, ny);
  const float omega = s.omega;
  const float oneMinusOmega = 1.0f - omega;
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    for (int y = 0; y < ny; ++y) {
      for (int x = 0; x < nx; ++x) {
        const int i = x + y * nx;
        // Neighbour sums: left, up, right, down; visited neighbours carry their new values.
        float sumPhi = 0.0f, su = 0.0f, sv = 0.0f;
        if (x > 0) {
          const float phi = s.horizontal[i - 1];
          sumPhi += phi;
          su += (du[i - 1] + s.uLeft[i]) * phi;
          sv += (dv[i - 1] + s.vLeft[i]) * phi;
        }
        if (y > 0) {
          const float phi = s.vertical[i - nx];
          sumPhi += phi;
          su += (du[i - nx] + s.uUp[i]) * phi;
          sv += (dv[i - nx] + s.vUp[i]) * phi;
        }
        if (x + 1 < nx) {
          const float phi = s.horizontal[i];
          sumPhi += phi;
          su += (du[i + 1] + s.uRight[i]) * phi;
          sv += (dv[i + 1] + s.vRight[i]) * phi;
        }
        if (y + 1 < ny) {
          const float phi = s.vertical[i];
          sumPhi += phi;
          su += (du[i + nx] + s.uDown[i]) * phi;
          sv += (dv[i + nx] + s.vDown[i]) * phi;
        }
        // Relaxed Gauss–Seidel step for du, then for dv with the new du.
        const float denominatorU = s.psiD[i] * s.j11[i] + sumPhi + s.psiG[i] * s.g11[i] + s.m[i];
        du[i] = oneMinusOmega * du[i] + relaxedReciprocal(omega, denominatorU) *
                                            (su - s.psiD[i] * (dv[i] * s.j12[i] + s.j13[i]) -
                                             s.psiG[i] * (dv[i] * s.g12[i] + s.g13[i]) - s.ru[i]);
        const float denominatorV = s.psiD[i] * s.j22[i] + sumPhi + s.psiG[i] * s.g22[i] + s.m[i];
        dv[i] = oneMinusOmega * dv[i] + relaxedReciprocal(omega, denominatorV) *
                                            (sv - s.psiD[i] * (du[i] * s.j12[i] + s.j23[i]) -
                                             s.psiG[i] * (du[i] * s.g12[i] + s.g23[i]) - s.rv[i]);
      }
    }
  }
}

void sorSweepsBanded(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch) {
  if (sweeps <= 0) return;
  const int nx = s.xSize, ny = s.ySize;
  const int n = nx * ny;
  const float omega = s.omega;
  const float oneMinusOmega = 1.0f - omega;
  formRows(s, 0, ny);
  // The denominators change only with the weights: ω/denominator once per fixed-point
  // iteration, formed exactly as in the sweep, and stored with the pixel's other fixed terms.
  scratch.pixels.resize(n);
  SorPixel* pixels = scratch.pixels.data();
  for (int y = 0; y < ny; ++y) {
    for (int x = 0; x < nx; ++x) {
      const int i = x + y * nx;
      const float sumPhi = neighbourWeightSum(s, x, y, i);
      SorPixel& p = pixels[i];
      p.u = s.u[i];
      p.v = s.v[i];
      // The weights of pairs beyond the border are never read; 0 keeps the line defined.
      p.right = x + 1 < nx ? s.horizontal[i] : 0.0f;
      p.down = y + 1 < ny ? s.vertical[i] : 0.0f;
      p.psiD = s.psiD[i];
      p.psiG = s.psiG[i];
      p.j12 = s.j12[i];
      p.j13 = s.j13[i];
      p.j23 = s.j23[i];
      p.g12 = s.g12[i];
      p.g13 = s.g13[i];
      p.g23 = s.g23[i];
      p.ru = s.ru[i];
      p.rv = s.rv[i];
      p.factorU =
          relaxedReciprocal(omega, s.psiD[i] * s.j11[i] + sumPhi + s.psiG[i] * s.g11[i] + s.m[i]);
      p.factorV =
          relaxedReciprocal(omega, s.psiD[i] * s.j22[i] + sumPhi + s.psiG[i] * s.g22[i] + s.m[i]);
    }
  }
  // Interior rows go in bands of kBand along a diagonal wavefront: at step t, pixel x = t − j
  // of band row j. Every pixel still sees the new values of its left and upper neighbours and
  // the old values of its right and lower ones, as in the row-by-row order, so the result is
  // the same bits; the kBand updates of one step do not depend on each other and overlap in
  // the processor instead of waiting on one long chain of roundings.
  constexpr int kBand = 4;
  auto interior = [&](int i) {
    updatePixel(pixels, nx, i, true, true, true, true, oneMinusOmega, du, dv);
  };
  auto border = [&](int x, int y) {
    updateBorderPixel(pixels, nx, ny, x, y, oneMinusOmega, du, dv);
  };
  auto sweepRow = [&](int y) {
    for (int x = 0; x < nx; ++x)
      border(x, y);
  };
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    if (nx < kBand + 2 || ny < 3) {
      for (int y = 0; y < ny; ++y)
        sweepRow(y);
      continue;
    }
    sweepRow(0);
    int y = 1;
    for (; y + kBand <= ny - 1; y += kBand) {
      // Start of the wavefront: the triangle before the first full diagonal.
      for (int t = 0; t < kBand - 1; ++t) {
        for (int j = 0; j <= t; ++j) {
          if (t == j) {
            border(0, y + j);
          } else {
            interior(t - j + (y + j) * nx);
          }
        }
      }
      // Full diagonals: kBand independent updates (the last may be the left border).
      for (int t = kBand - 1; t < nx - 1; ++t) {
        const int base = t + y * nx;
        for (int j = 0; j < kBand - 1; ++j)
          interior(base + j * (nx - 1));
        if (t == kBand - 1) {
          border(0, y + kBand - 1);
        } else {
          interior(base + (kBand - 1) * (nx - 1));
        }
      }
      // End of the wavefront: the right border column and the triangle after it.
      for (int t = nx - 1; t < nx - 1 + kBand; ++t) {
        for (int j = t - (nx - 1); j < kBand; ++j) {
          if (t - j == nx - 1) {
            border(nx - 1, y + j);
          } else {
            interior(t - j + (y + j) * nx);
          }
        }
      }
    }
    for (; y < ny; ++y)
      sweepRow(y);
  }
}

#ifdef __SSE2__

namespace {

// Four rows per band in the four lanes of an SSE2 vector.
struct Sse2Ops {
  static constexpr int kLanes = 4;
  static constexpr bool kTransposedLayout = true;
  using V = __m128;
  using VI = __m128i;
  using M = __m128;
  static V set1(float a) { return _mm_set1_ps(a); }
  static V load(const float* p) { return _mm_loadu_ps(p); }
  static void store(float* p, V a) { _mm_storeu_ps(p, a); }
  static V add(V a, V b) { return _mm_add_ps(a, b); }
  static V sub(V a, V b) { return _mm_sub_ps(a, b); }
  static V mul(V a, V b) { return _mm_mul_ps(a, b); }
  static V div(V a, V b) { return _mm_div_ps(a, b); }
  // Lanes that are not ±0 (NaN included, as for a scalar !=).
  static M nonZero(V a) { return _mm_cmpneq_ps(a, _mm_setzero_ps()); }
  static V select(V mask, V yes, V no) {
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
  }
  static V both(V a, V b) { return _mm_and_ps(a, b); }
  static VI laneIndex() { return _mm_set_epi32(3, 2, 1, 0); }
  static VI set1i(int a) { return _mm_set1_epi32(a); }
  static VI addi(VI a, VI b) { return _mm_add_epi32(a, b); }
  static VI subi(VI a, VI b) { return _mm_sub_epi32(a, b); }
  static V greaterThan(VI a, VI b) { return _mm_castsi128_ps(_mm_cmpgt_epi32(a, b)); }
  static V lessThan(VI a, VI b) { return _mm_castsi128_ps(_mm_cmplt_epi32(a, b)); }
  // Lanes moved up by one, *first in lane 0.
  static V shiftUp(V a, const float* first) {
    return _mm_or_ps(_mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(a), 4)), _mm_load_ss(first));
  }
  static void transpose(V* r) { _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]); }
};

// work() on the calling thread alone, or on `threads` threads of the pool.
template <typename Work>
void runOnThreads(flowthreads::Pool* pool, int threads, const Work& work) {
  if (threads == 1) {
    work();
  } else {
    pool->run(threads, [&](int) { work(); });
  }
}

}  // namespace

std::size_t sorScratchFloats(int nx, int ny, int sweeps) {
  if (sweeps <= 0) return 0;
#ifdef MOTIONSEG_FLOW_AVX512
  if (flowsimd::active() == flowsimd::InstructionSet::Avx512)
    return sorBandFloatsAvx512(nx, ny, sweeps);
#endif
#ifdef MOTIONSEG_FLOW_AVX2
  if (flowsimd::active() == flowsimd::InstructionSet::Avx2)
    return sorBandFloatsAvx2(nx, ny, sweeps);
#endif
  return BandLayout<Sse2Ops::kLanes>(nx, ny, sweeps).floats();
}

void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch) {
  sorSweeps(s, du, dv, sweeps, scratch, nullptr);
}

void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch,
               flowthreads::Pool* pool) {
  if (sweeps <= 0) return;
  const std::size_t size = sorScratchFloats(s.xSize, s.ySize, sweeps);
  if (scratch.band.size() < size) scratch.band.assign(size, 0.0f);
  float* band = scratch.band.data();
  // Two threads take the pairs in turn; a thread that does not come soon leaves its share to
  // the other. Shared, a ring as large as the scratch lets one thread run further ahead.
  const int threads = pool == nullptr || pool->threads() < 2 ? 1 : 2;
  const unsigned long long room = threads > 1 ? scratch.band.size() : 0;
#ifdef MOTIONSEG_FLOW_AVX512
  if (flowsimd::active() == flowsimd::InstructionSet::Avx512) {
    int bands = 0, ringBlocks = 0;
    sorBandRingAvx512(s.xSize, s.ySize, sweeps, room, bands, ringBlocks);
    BandPipeline pipeline(bands, sweeps, ringBlocks, threads);
    runOnThreads(pool, threads, [&] { sorSweepsAvx512(s, du, dv, sweeps, band, room, pipeline); });
    return;
  }
#endif
#ifdef MOTIONSEG_FLOW_AVX2
  if (flowsimd::active() == flowsimd::InstructionSet::Avx2) {
    int bands = 0, ringBlocks = 0;
    sorBandRingAvx2(s.xSize, s.ySize, sweeps, room, bands, ringBlocks);
    BandPipeline pipeline(bands, sweeps, ringBlocks, threads);
    runOnThreads(pool, threads, [&] { sorSweepsAvx2(s, du, dv, sweeps, band, room, pipeline); });
    return;
  }
#endif
  const BandLayout<Sse2Ops::kLanes> layout(s.xSize, s.ySize, sweeps, room);
  BandPipeline pipeline(layout.bands, sweeps, layout.slots, threads);
  runOnThreads(pool, threads,
               [&] { sweepBands<Sse2Ops>(s, du, dv, sweeps, band, room, pipeline); });
}

std::size_t sorLayoutFloats(int nx, int ny) {
#ifdef MOTIONSEG_FLOW_AVX512
  if (flowsimd::active() == flowsimd::InstructionSet::Avx512) return sorLayoutFloatsAvx512(nx, ny);
#endif
#ifdef MOTIONSEG_FLOW_AVX2
  if (flowsimd::active() == flowsimd::InstructionSet::Avx2) return sorLayoutFloatsAvx2(nx, ny);
#endif
  return BandLayout<Sse2Ops::kLanes>(nx, ny, 1, ~0ULL).floats();
}

void sorLayOut(const SorSystem& s, const float* du, const float* dv, bool transposed, float* band) {
#ifdef MOTIONSEG_FLOW_AVX512
  if (flowsimd::active() == flowsimd::InstructionSet::Avx512) {
    sorLayOutAvx512(s, du, dv, transposed, band);
    return;
  }
#endif
#ifdef MOTIONSEG_FLOW_AVX2
  if (flowsimd::active() == flowsimd::InstructionSet::Avx2) {
    sorLayOutAvx2(s, du, dv, transposed, band);
    return;
  }
#endif
  layOutEveryBand<Sse2Ops>(s, du, dv, transposed, band);
}

#endif

#ifndef __SSE2__

std::size_t sorLayoutFloats(int, int) {
  return 0;
}

void sorLayOut(const SorSystem&, const float*, const float*, bool, float*) {}

std::size_t sorScratchFloats(int, int, int) {
  return 0;
}

void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch) {
  sorSweepsBanded(s, du, dv, sweeps, scratch);
}

void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch,
               flowthreads::Pool*) {
  sorSweepsBanded(s, du, dv, sweeps, scratch);
}

#endif

}  // namespace flowsolver

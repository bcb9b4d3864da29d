// SOR sweeps of the frozen linear system of one fixed-point iteration. For pixel i with the
// neighbour weights φ and neighbour increments (du_n, dv_n):
//   du ← (1 − ω)·du + ω/(ψD·J11 + Σφ + ψG·G11 + M) · (Su − ψD·(dv·J12 + J13) − ψG·(dv·G12 + G13) −
//   RU) dv ← (1 − ω)·dv + ω/(ψD·J22 + Σφ + ψG·G22 + M) · (Sv − ψD·(du·J12 + J23) − ψG·(du·G12 +
//   G23) − RV)
// with Su = Σ (du_n + u_n − u)·φ and Sv likewise, the new du entering the update of dv.
#include "flow/solver/sor_sweep.h"

#include <algorithm>
#include <cstddef>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace flowsolver {

namespace {

// ω divided by a denominator; a zero denominator contributes no correction.
inline float relaxedReciprocal(float omega, float denominator) {
  return denominator != 0.0f ? omega / denominator : 0.0f;
}

// Σφ over the neighbours that exist, in the order left, up, right, down.
inline float neighbourWeightSum(const SorSystem& s, int x, int y, int i) {
  float sum = 0.0f;
  if (x > 0) sum += s.horizontal[i - 1];
  if (y > 0) sum += s.vertical[i - s.xSize];
  if (x + 1 < s.xSize) sum += s.horizontal[i];
  if (y + 1 < s.ySize) sum += s.vertical[i];
  return sum;
}

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
  const int nx = s.xSize, ny = s.ySize;
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

// The four rows of a band side by side: step t of band b holds pixel (t − j, 4b + j) in lane
// j. Arrays that a neighbour is read from keep six slots per step: slot 0 the row above the
// band at x = t + 1 (so that slots 0..3 of step t − 1 are the upper neighbours of step t),
// slots 1..4 the lanes, slot 5 the row below the band at x = t − 4 (slots 2..5 of step t + 1
// are the lower neighbours of step t). Steps run from −1 to nx + 3, one of padding each side.
constexpr int kLanes = 4;
constexpr int kSlots = 6;
// The fixed terms of a step: twelve fields of four lanes.
enum Field { kPsiD, kPsiG, kJ12, kJ13, kJ23, kG12, kG13, kG23, kRu, kRv, kFactorU, kFactorV };
constexpr int kFields = 12;

// Band b lives in slot b mod slots of a ring of band-sized blocks.
struct BandLayout {
  int nx, ny, bands, steps, slots;
  std::size_t step(int band, int t) const {
    return static_cast<std::size_t>(band % slots) * steps + (t + 1);
  }
  std::size_t lane(int band, int t, int j) const { return step(band, t) * kSlots + 1 + j; }
};

inline __m128 select(__m128 mask, __m128 yes, __m128 no) {
  return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

}  // namespace

void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch) {
  if (sweeps <= 0) return;
  const int nx = s.xSize, ny = s.ySize;
  const float omega = s.omega;
  const float oneMinusOmega = 1.0f - omega;
  // Sweep k of band b runs at stage b + 2k (see below), so a band is in use from stage b to
  // stage b + 2(sweeps − 1), and its upper neighbour one stage longer: a ring of 2·sweeps
  // blocks holds every band while it is needed.
  const int bands = (ny + kLanes - 1) / kLanes;
  const int slots = static_cast<int>(std::min<long long>(bands, 2LL * sweeps));
  const BandLayout L{nx, ny, bands, nx + kLanes + 1, slots};
  const std::size_t cells = static_cast<std::size_t>(slots) * L.steps;
  // Zero everywhere at first. A lane outside the image is never taken into a sum that is
  // kept (every use of it is discarded by a select), so what a reused block leaves there
  // does not matter.
  const std::size_t size = cells * kSlots * 6 + cells * kLanes * kFields;
  if (scratch.band.size() < size) scratch.band.assign(size, 0.0f);
  float* DU = scratch.band.data();
  float* DV = DU + cells * kSlots;
  float* U = DV + cells * kSlots;
  float* V = U + cells * kSlots;
  float* R = V + cells * kSlots;
  float* D = R + cells * kSlots;
  float* C = D + cells * kSlots;

  // Band b into its block: the increments, the fixed terms with ω over the denominators
  // formed exactly as in the sweep, and the flow and lower weight of the rows above and
  // below the band in the halo slots.
  auto pack = [&](int b) {
    for (int j = 0; j < kLanes; ++j) {
      const int y = b * kLanes + j;
      if (y >= ny) break;
      for (int x = 0; x < nx; ++x) {
        const int i = x + y * nx;
        const int t = x + j;
        const std::size_t at = L.lane(b, t, j);
        const float sumPhi = neighbourWeightSum(s, x, y, i);
        DU[at] = du[i];
        DV[at] = dv[i];
        U[at] = s.u[i];
        V[at] = s.v[i];
        R[at] = x + 1 < nx ? s.horizontal[i] : 0.0f;
        D[at] = y + 1 < ny ? s.vertical[i] : 0.0f;
        float* c = C + L.step(b, t) * kLanes * kFields + j;
        c[kPsiD * kLanes] = s.psiD[i];
        c[kPsiG * kLanes] = s.psiG[i];
        c[kJ12 * kLanes] = s.j12[i];
        c[kJ13 * kLanes] = s.j13[i];
        c[kJ23 * kLanes] = s.j23[i];
        c[kG12 * kLanes] = s.g12[i];
        c[kG13 * kLanes] = s.g13[i];
        c[kG23 * kLanes] = s.g23[i];
        c[kRu * kLanes] = s.ru[i];
        c[kRv * kLanes] = s.rv[i];
        c[kFactorU * kLanes] =
            relaxedReciprocal(omega, s.psiD[i] * s.j11[i] + sumPhi + s.psiG[i] * s.g11[i] + s.m[i]);
        c[kFactorV * kLanes] =
            relaxedReciprocal(omega, s.psiD[i] * s.j22[i] + sumPhi + s.psiG[i] * s.g22[i] + s.m[i]);
      }
    }
    const int above = b * kLanes - 1, below = b * kLanes + kLanes;
    for (int x = 0; x < nx; ++x) {
      if (above >= 0) {
        // Upper halo at step x − 1.
        const std::size_t h = L.step(b, x - 1) * kSlots;
        const int i = x + above * nx;
        U[h] = s.u[i];
        V[h] = s.v[i];
        D[h] = s.vertical[i];
      }
      if (below < ny) {
        // Lower halo at step x + 4.
        const std::size_t h = L.step(b, x + kLanes) * kSlots + kSlots - 1;
        const int i = x + below * nx;
        U[h] = s.u[i];
        V[h] = s.v[i];
      }
    }
  };
  // Band b's increments back into du and dv.
  auto unpack = [&](int b) {
    for (int j = 0; j < kLanes; ++j) {
      const int y = b * kLanes + j;
      if (y >= ny) break;
      for (int x = 0; x < nx; ++x) {
        const std::size_t at = L.lane(b, x + j, j);
        du[x + y * nx] = DU[at];
        dv[x + y * nx] = DV[at];
      }
    }
  };

  const __m128 zero = _mm_setzero_ps();
  const __m128 keep = _mm_set1_ps(oneMinusOmega);
  const __m128i laneIndex = _mm_set_epi32(3, 2, 1, 0);
  const __m128i minusOne = _mm_set1_epi32(-1);
  const __m128i width = _mm_set1_epi32(nx);
  const __m128i lastX = _mm_set1_epi32(nx - 1);
  auto sweepBand = [&](int b, int k) {
    {
      // Halos of the increments: the row above as already updated in this sweep, the row
      // below as it was before (before the first sweep, that row is not laid out yet).
      const int below = b * kLanes + kLanes;
      for (int t = -1; t < L.steps - 1; ++t) {
        const std::size_t h = L.step(b, t) * kSlots;
        const bool above = b > 0 && t + kLanes < L.steps - 1;
        DU[h] = above ? DU[L.lane(b - 1, t + kLanes, kLanes - 1)] : 0.0f;
        DV[h] = above ? DV[L.lane(b - 1, t + kLanes, kLanes - 1)] : 0.0f;
        float lowerU = 0.0f, lowerV = 0.0f;
        const int x = t - kLanes;
        if (below < ny && x >= 0 && x < nx) {
          if (k == 0) {
            lowerU = du[x + below * nx];
            lowerV = dv[x + below * nx];
          } else {
            lowerU = DU[L.lane(b + 1, x, 0)];
            lowerV = DV[L.lane(b + 1, x, 0)];
          }
        }
        DU[h + kSlots - 1] = lowerU;
        DV[h + kSlots - 1] = lowerV;
      }
      // Which of the four rows exist and have an upper or lower neighbour.
      const __m128i row = _mm_add_epi32(_mm_set1_epi32(b * kLanes), laneIndex);
      const __m128i rowInside = _mm_cmplt_epi32(row, _mm_set1_epi32(ny));
      const __m128 hasUp = _mm_castsi128_ps(_mm_cmpgt_epi32(row, _mm_setzero_si128()));
      const __m128 hasDown = _mm_castsi128_ps(_mm_cmplt_epi32(row, _mm_set1_epi32(ny - 1)));
      __m128 previousU = _mm_loadu_ps(DU + L.lane(b, -1, 0));
      __m128 previousV = _mm_loadu_ps(DV + L.lane(b, -1, 0));
      for (int t = 0; t < nx + kLanes - 1; ++t) {
        const std::size_t here = L.step(b, t) * kSlots;
        const std::size_t before = here - kSlots, after = here + kSlots;
        const __m128i x = _mm_sub_epi32(_mm_set1_epi32(t), laneIndex);
        const __m128 inside = _mm_castsi128_ps(_mm_and_si128(
            rowInside, _mm_and_si128(_mm_cmpgt_epi32(x, minusOne), _mm_cmplt_epi32(x, width))));
        const __m128 hasLeft = _mm_castsi128_ps(_mm_cmpgt_epi32(x, _mm_setzero_si128()));
        const __m128 hasRight = _mm_castsi128_ps(_mm_cmplt_epi32(x, lastX));
        const __m128 ui = _mm_loadu_ps(U + here + 1), vi = _mm_loadu_ps(V + here + 1);
        __m128 su = zero, sv = zero;
        // Left: the previous step, just updated.
        {
          const __m128 phi = _mm_loadu_ps(R + before + 1);
          const __m128 tu =
              _mm_mul_ps(_mm_add_ps(previousU, _mm_sub_ps(_mm_loadu_ps(U + before + 1), ui)), phi);
          const __m128 tv =
              _mm_mul_ps(_mm_add_ps(previousV, _mm_sub_ps(_mm_loadu_ps(V + before + 1), vi)), phi);
          su = select(hasLeft, _mm_add_ps(su, tu), su);
          sv = select(hasLeft, _mm_add_ps(sv, tv), sv);
        }
        // Up: the previous step moved down one lane, the halo in lane 0.
        {
          const __m128 phi = _mm_loadu_ps(D + before);
          const __m128 du0 =
              _mm_or_ps(_mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(previousU), 4)),
                        _mm_load_ss(DU + before));
          const __m128 dv0 =
              _mm_or_ps(_mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(previousV), 4)),
                        _mm_load_ss(DV + before));
          const __m128 tu =
              _mm_mul_ps(_mm_add_ps(du0, _mm_sub_ps(_mm_loadu_ps(U + before), ui)), phi);
          const __m128 tv =
              _mm_mul_ps(_mm_add_ps(dv0, _mm_sub_ps(_mm_loadu_ps(V + before), vi)), phi);
          su = select(hasUp, _mm_add_ps(su, tu), su);
          sv = select(hasUp, _mm_add_ps(sv, tv), sv);
        }
        // Right: the next step, not yet updated.
        {
          const __m128 phi = _mm_loadu_ps(R + here + 1);
          const __m128 tu = _mm_mul_ps(
              _mm_add_ps(_mm_loadu_ps(DU + after + 1), _mm_sub_ps(_mm_loadu_ps(U + after + 1), ui)),
              phi);
          const __m128 tv = _mm_mul_ps(
              _mm_add_ps(_mm_loadu_ps(DV + after + 1), _mm_sub_ps(_mm_loadu_ps(V + after + 1), vi)),
              phi);
          su = select(hasRight, _mm_add_ps(su, tu), su);
          sv = select(hasRight, _mm_add_ps(sv, tv), sv);
        }
        // Down: the next step moved up one lane, the halo in lane 3.
        {
          const __m128 phi = _mm_loadu_ps(D + here + 1);
          const __m128 tu = _mm_mul_ps(
              _mm_add_ps(_mm_loadu_ps(DU + after + 2), _mm_sub_ps(_mm_loadu_ps(U + after + 2), ui)),
              phi);
          const __m128 tv = _mm_mul_ps(
              _mm_add_ps(_mm_loadu_ps(DV + after + 2), _mm_sub_ps(_mm_loadu_ps(V + after + 2), vi)),
              phi);
          su = select(hasDown, _mm_add_ps(su, tu), su);
          sv = select(hasDown, _mm_add_ps(sv, tv), sv);
        }
        // Relaxed Gauss–Seidel step for du, then for dv with the new du.
        const float* c = C + L.step(b, t) * kLanes * kFields;
        auto field = [c](Field f) { return _mm_loadu_ps(c + f * kLanes); };
        const __m128 psiD = field(kPsiD), psiG = field(kPsiG);
        const __m128 j12 = field(kJ12), g12 = field(kG12);
        const __m128 u = _mm_loadu_ps(DU + here + 1), v = _mm_loadu_ps(DV + here + 1);
        const __m128 numeratorU = _mm_sub_ps(
            _mm_sub_ps(
                _mm_sub_ps(su, _mm_mul_ps(psiD, _mm_add_ps(_mm_mul_ps(v, j12), field(kJ13)))),
                _mm_mul_ps(psiG, _mm_add_ps(_mm_mul_ps(v, g12), field(kG13)))),
            field(kRu));
        const __m128 newU =
            _mm_add_ps(_mm_mul_ps(keep, u), _mm_mul_ps(field(kFactorU), numeratorU));
        const __m128 numeratorV = _mm_sub_ps(
            _mm_sub_ps(
                _mm_sub_ps(sv, _mm_mul_ps(psiD, _mm_add_ps(_mm_mul_ps(newU, j12), field(kJ23)))),
                _mm_mul_ps(psiG, _mm_add_ps(_mm_mul_ps(newU, g12), field(kG23)))),
            field(kRv));
        const __m128 newV =
            _mm_add_ps(_mm_mul_ps(keep, v), _mm_mul_ps(field(kFactorV), numeratorV));
        previousU = select(inside, newU, u);
        previousV = select(inside, newV, v);
        _mm_storeu_ps(DU + here + 1, previousU);
        _mm_storeu_ps(DV + here + 1, previousV);
      }
    }
  };
  // Sweep k of band b needs sweep k of band b − 1 and sweep k − 1 of band b + 1 done, and
  // sweep k of band b + 1 not yet begun: exactly what the row order gives. Running the pairs
  // (b, k) in the order of b + 2k keeps that, and lets all sweeps pass over a few neighbouring
  // bands while they are still in the cache instead of streaming the whole layout per sweep.
  // A band is laid out just before its first sweep and written back after its last.
  for (int stage = 0; stage < bands + 2 * (sweeps - 1); ++stage) {
    for (int k = std::min(sweeps - 1, stage / 2); k >= 0; --k) {
      const int b = stage - 2 * k;
      if (b >= bands) continue;
      if (k == 0) pack(b);
      sweepBand(b, k);
      if (k == sweeps - 1) unpack(b);
    }
  }
}

#else

void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch) {
  sorSweepsBanded(s, du, dv, sweeps, scratch);
}

#endif

}  // namespace flowsolver

// The vector SOR sweep over bands of kLanes rows, written once over a vector of kLanes floats.
// Included by sor_sweep.cpp (4 lanes of SSE2), sor_sweep_avx2.cpp (8 lanes of AVX2) and
// sor_sweep_avx512.cpp (16 lanes of AVX-512), each of which first defines the vector type Ops
// (V the floats, VI as many 32-bit integers, M the result of a lane test: a vector of all-ones
// and zero lanes, or a mask register; with kTransposedLayout, transpose turns kLanes vectors
// into their columns);
// everything here has internal linkage, so no code compiled for a wider set can be shared
// with (and run by) the baseline path.
//
// The rows of a band sit side by side: step t of band b holds pixel (t − j, kLanes·b + j) in
// lane j. Arrays that a neighbour is read from keep kLanes + 2 slots per step: slot 0 the row
// above the band at x = t + 1 (so that slots 0..kLanes−1 of step t − 1 are the upper
// neighbours of step t), slots 1..kLanes the lanes, the last slot the row below the band at
// x = t − kLanes (slots 2..kLanes+1 of step t + 1 are the lower neighbours of step t). Steps
// run from −1 to nx + kLanes − 1, one of padding each side. Every pixel is updated with the
// same single-precision operations as the straightforward sweep, lane by lane, and sees the
// same neighbour values as in row order (see sorSweeps), whatever kLanes is.
#ifndef MOTIONSEG_FLOW_SOLVER_SOR_BAND_KERNEL_H
#define MOTIONSEG_FLOW_SOLVER_SOR_BAND_KERNEL_H

#include "flow/solver/band_pipeline.h"
#include "flow/solver/sor_system.h"

#include <cstddef>
#include <type_traits>

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

inline long long smaller(long long a, long long b) {
  return b < a ? b : a;
}

// The fixed terms of a step: twelve fields of kLanes lanes.
enum Field { kPsiD, kPsiG, kJ12, kJ13, kJ23, kG12, kG13, kG23, kRu, kRv, kFactorU, kFactorV };
constexpr int kFields = 12;

template <int kLanes>
struct BandLayout {
  static constexpr int kSlots = kLanes + 2;
  int nx, ny, bands, steps, slots;
  // `room`, when more than the ring needs, is the floats there are for a larger ring.
  BandLayout(int nx_, int ny_, int sweeps, unsigned long long room = 0)
      : nx(nx_),
        ny(ny_),
        bands((ny_ + kLanes - 1) / kLanes),
        steps(nx_ + kLanes + 1),
        // Sweep k of band b runs at stage b + 2k, so a band is in use from stage b to stage
        // b + 2(sweeps − 1), and its upper neighbour one stage longer: a ring of 2·sweeps
        // blocks holds every band while it is needed.
        slots(BandPipeline::smallestRing(bands, sweeps)) {
    const unsigned long long block =
        static_cast<unsigned long long>(steps) * (kSlots * 6 + kLanes * kFields);
    if (room / block > static_cast<unsigned long long>(slots))
      slots = static_cast<int>(smaller(bands, static_cast<long long>(room / block)));
  }
  std::size_t cells() const { return static_cast<std::size_t>(slots) * steps; }
  std::size_t floats() const { return cells() * kSlots * 6 + cells() * kLanes * kFields; }
  std::size_t step(int band, int t) const {
    return static_cast<std::size_t>(band % slots) * steps + (t + 1);
  }
  std::size_t lane(int band, int t, int j) const { return step(band, t) * kSlots + 1 + j; }
};

// The seven arrays of the band layout within one scratch of BandLayout::floats() floats:
// increments, flow, right and lower weights (kSlots per step) and the fixed terms.
template <int kLanes>
struct BandArrays {
  static constexpr int kSlots = BandLayout<kLanes>::kSlots;
  float *DU, *DV, *U, *V, *R, *D, *C;
  BandArrays(const BandLayout<kLanes>& L, float* band) {
    const std::size_t cells = L.cells();
    DU = band;
    DV = DU + cells * kSlots;
    U = DV + cells * kSlots;
    V = U + cells * kSlots;
    R = V + cells * kSlots;
    D = R + cells * kSlots;
    C = D + cells * kSlots;
  }
};

// The arrays that go into the layout as they are: copy(to, stride, from) for the increments,
// the flow (kSlots per step, from slot `first`) and the fixed terms of C (from `c`).
template <int kLanes, typename Copy>
void copyFields(const SorSystem& s, const float* du, const float* dv, const BandArrays<kLanes>& A,
                std::size_t first, float* c, const Copy& copy) {
  constexpr int kSlots = BandLayout<kLanes>::kSlots;
  constexpr int kStep = kLanes * kFields;
  copy(A.DU + first, kSlots, du);
  copy(A.DV + first, kSlots, dv);
  copy(A.U + first, kSlots, s.u);
  copy(A.V + first, kSlots, s.v);
  copy(c + kPsiD * kLanes, kStep, s.psiD);
  copy(c + kPsiG * kLanes, kStep, s.psiG);
  copy(c + kJ12 * kLanes, kStep, s.j12);
  copy(c + kJ13 * kLanes, kStep, s.j13);
  copy(c + kJ23 * kLanes, kStep, s.j23);
  copy(c + kG12 * kLanes, kStep, s.g12);
  copy(c + kG13 * kLanes, kStep, s.g13);
  copy(c + kG23 * kLanes, kStep, s.g23);
  copy(c + kRu * kLanes, kStep, s.ru);
  copy(c + kRv * kLanes, kStep, s.rv);
}

// Pixels xBegin..xEnd − 1 of row j of band b into the band's block: the increments, the
// fixed terms with ω over the denominators formed exactly as in the sweep, the flow and the
// weights (0 for a pair beyond the border).
//
// In passes that each read a few of the system's arrays (measured faster than reading all of
// them for each pixel: the arrays often lie at the same offset modulo 4 KiB, as pages and
// 2 MiB-aligned planes do, and then compete for the same cache sets). The denominators' Σφ
// goes through the two factor fields, which then get ω over the denominator: the same
// operations in the same order as for one pixel at a time.
template <int kLanes>
void packRow(const SorSystem& s, const float* du, const float* dv, const BandLayout<kLanes>& L,
             const BandArrays<kLanes>& A, int b, int j, int xBegin, int xEnd) {
  constexpr int kSlots = BandLayout<kLanes>::kSlots;
  constexpr int kStep = kLanes * kFields;
  const int nx = s.xSize, ny = s.ySize;
  const float omega = s.omega;
  const int y = b * kLanes + j;
  const int row = y * nx;
  // Step x + j holds pixel x of this row in lane j.
  const std::size_t first = L.lane(b, j, j);
  float* c = A.C + L.step(b, j) * kStep + j;
  for (int x = xBegin; x < xEnd; ++x) {
    const int i = x + row;
    const float sumPhi = neighbourWeightSum(s, x, y, i);
    c[x * kStep + kFactorU * kLanes] = sumPhi;
    c[x * kStep + kFactorV * kLanes] = sumPhi;
    A.R[first + x * kSlots] = x + 1 < nx ? s.horizontal[i] : 0.0f;
    A.D[first + x * kSlots] = y + 1 < ny ? s.vertical[i] : 0.0f;
  }
  for (int x = xBegin; x < xEnd; ++x) {
    const int i = x + row;
    float& f = c[x * kStep + kFactorU * kLanes];
    f = relaxedReciprocal(omega, s.psiD[i] * s.j11[i] + f + s.psiG[i] * s.g11[i] + s.m[i]);
  }
  for (int x = xBegin; x < xEnd; ++x) {
    const int i = x + row;
    float& f = c[x * kStep + kFactorV * kLanes];
    f = relaxedReciprocal(omega, s.psiD[i] * s.j22[i] + f + s.psiG[i] * s.g22[i] + s.m[i]);
  }
  auto copy = [&](float* to, std::size_t stride, const float* from) {
    for (int x = xBegin; x < xEnd; ++x)
      to[x * stride] = from[x + row];
  };
  copyFields<kLanes>(s, du, dv, A, first, c, copy);
}

// The halo slots of band b: the flow and lower weight of the row above the band, the flow of
// the row below.
template <int kLanes>
void packHalos(const SorSystem& s, const BandLayout<kLanes>& L, const BandArrays<kLanes>& A,
               int b) {
  constexpr int kSlots = BandLayout<kLanes>::kSlots;
  const int nx = s.xSize, ny = s.ySize;
  const int above = b * kLanes - 1, below = b * kLanes + kLanes;
  // Step t of the band is step −1 of its block plus t + 1.
  const std::size_t first = L.step(b, -1);
  if (above >= 0) {
    // Upper halo of pixel x at step x − 1.
    const std::size_t row = static_cast<std::size_t>(above) * nx;
    for (int x = 0; x < nx; ++x) {
      const std::size_t h = (first + x) * kSlots;
      A.U[h] = s.u[row + x];
      A.V[h] = s.v[row + x];
      A.D[h] = s.vertical[row + x];
    }
  }
  if (below < ny) {
    // Lower halo of pixel x at step x + kLanes.
    const std::size_t row = static_cast<std::size_t>(below) * nx;
    for (int x = 0; x < nx; ++x) {
      const std::size_t h = (first + x + kLanes + 1) * kSlots + kSlots - 1;
      A.U[h] = s.u[row + x];
      A.V[h] = s.v[row + x];
    }
  }
}

// Band b into its block, row by row with scalar stores: the straightforward layout.
template <int kLanes>
void packBand(const SorSystem& s, const float* du, const float* dv, const BandLayout<kLanes>& L,
              const BandArrays<kLanes>& A, int b) {
  for (int j = 0; j < kLanes && b * kLanes + j < s.ySize; ++j)
    packRow(s, du, dv, L, A, b, j, 0, s.xSize);
  packHalos(s, L, A, b);
}

// The steps of band b that packBandTransposed lays out by blocks: kLanes·m to kLanes·(m + 1)
// − 1 for m = 1 .. blocks, every lane of them an existing pixel with a left and a right
// neighbour (1 ≤ x ≤ nx − 2). None unless the band has all its rows.
template <int kLanes>
int transposedBlocks(int nx, int ny, int b) {
  if (b * kLanes + kLanes > ny || nx - 1 < 2 * kLanes) return 0;
  return (nx - 1 - kLanes) / kLanes;
}

// The same layout as packBand, value for value, with the interior by blocks of kLanes steps:
// for steps x0 .. x0 + kLanes − 1, row j of a source array read from x0 − j (kLanes floats in
// a row) and the kLanes × kLanes block transposed gives the steps' vectors (lane j: row j at
// x = step − j), each one vector store. The factor fields are formed in the rows' vectors with
// the same single-precision operations in the same order as packRow does lane by lane; the
// steps before and after the blocks, a band short of rows and the halos go as in packBand.
template <typename Ops>
void packBandTransposed(const SorSystem& s, const float* du, const float* dv,
                        const BandLayout<Ops::kLanes>& L, const BandArrays<Ops::kLanes>& A, int b) {
  using V = typename Ops::V;
  constexpr int kLanes = Ops::kLanes;
  constexpr int kSlots = BandLayout<kLanes>::kSlots;
  constexpr int kStep = kLanes * kFields;
  const int nx = s.xSize, ny = s.ySize;
  const int blocks = transposedBlocks<kLanes>(nx, ny, b);
  if (blocks == 0) {
    packBand(s, du, dv, L, A, b);
    return;
  }
  const int end = kLanes * (blocks + 1);  // the first step after the blocks
  for (int j = 0; j < kLanes; ++j) {
    packRow(s, du, dv, L, A, b, j, 0, kLanes - j);
    packRow(s, du, dv, L, A, b, j, end - j, nx);
  }
  packHalos(s, L, A, b);
  const int y0 = b * kLanes;
  // rows(j, i) gives the kLanes values of row j from pixel i on; `to` is where step 0 would go.
  auto blocksOf = [&](float* to, std::size_t stride, const auto& rows) {
    for (int x0 = kLanes; x0 < end; x0 += kLanes) {
      V r[kLanes];
      for (int j = 0; j < kLanes; ++j)
        r[j] = rows(j, x0 - j + (y0 + j) * nx);
      Ops::transpose(r);
      for (int k = 0; k < kLanes; ++k)
        Ops::store(to + (x0 + k) * stride, r[k]);
    }
  };
  auto copy = [&](float* to, std::size_t stride, const float* from) {
    blocksOf(to, stride, [from](int, int i) { return Ops::load(from + i); });
  };
  const std::size_t first = L.step(b, 0) * kSlots + 1;
  float* const c = A.C + L.step(b, 0) * kStep;
  const V zero = Ops::set1(0.0f), omega = Ops::set1(s.omega);
  // Σφ of left, up, right, down as neighbourWeightSum adds them (left and right exist here),
  // then ω over the denominator.
  auto factor = [&](const float* j11, const float* g11) {
    return [&, j11, g11](int j, int i) {
      const int y = y0 + j;
      V sum = Ops::add(zero, Ops::load(s.horizontal + i - 1));
      if (y > 0) sum = Ops::add(sum, Ops::load(s.vertical + i - nx));
      sum = Ops::add(sum, Ops::load(s.horizontal + i));
      if (y + 1 < ny) sum = Ops::add(sum, Ops::load(s.vertical + i));
      const V psiD = Ops::load(s.psiD + i), psiG = Ops::load(s.psiG + i);
      const V denominator = Ops::add(Ops::add(Ops::add(Ops::mul(psiD, Ops::load(j11 + i)), sum),
                                              Ops::mul(psiG, Ops::load(g11 + i))),
                                     Ops::load(s.m + i));
      return Ops::select(Ops::nonZero(denominator), Ops::div(omega, denominator), zero);
    };
  };
  blocksOf(c + kFactorU * kLanes, kStep, factor(s.j11, s.g11));
  blocksOf(c + kFactorV * kLanes, kStep, factor(s.j22, s.g22));
  copy(A.R + first, kSlots, s.horizontal);
  blocksOf(A.D + first, kSlots,
           [&](int j, int i) { return y0 + j + 1 < ny ? Ops::load(s.vertical + i) : zero; });
  copyFields<kLanes>(s, du, dv, A, first, c, copy);
}

// The layout the sweep uses: by transposed blocks where Ops says so (measured faster with
// SSE2 and AVX2, not with AVX-512: see bench/solver/README.md), else packBand.
template <typename Ops>
void layOutBand(const SorSystem& s, const float* du, const float* dv,
                const BandLayout<Ops::kLanes>& L, const BandArrays<Ops::kLanes>& A, int b) {
  if constexpr (Ops::kTransposedLayout) {
    packBandTransposed<Ops>(s, du, dv, L, A, b);
  } else {
    packBand(s, du, dv, L, A, b);
  }
}

// Every band in a block of its own (as many blocks as bands, not a ring) of
// BandLayout<kLanes>(nx, ny, 1, ~0ULL).floats() floats, by packBand or by the layout the sweep
// uses: what the tests compare.
template <typename Ops>
void layOutEveryBand(const SorSystem& s, const float* du, const float* dv, bool transposed,
                     float* band) {
  const BandLayout<Ops::kLanes> L(s.xSize, s.ySize, 1, ~0ULL);
  const BandArrays<Ops::kLanes> A(L, band);
  for (int b = 0; b < L.bands; ++b) {
    if (transposed) {
      layOutBand<Ops>(s, du, dv, L, A, b);
    } else {
      packBand(s, du, dv, L, A, b);
    }
  }
}

// Band b's increments back into du and dv.
template <int kLanes>
void unpackBand(const BandLayout<kLanes>& L, const BandArrays<kLanes>& A, int b, float* du,
                float* dv) {
  for (int j = 0; j < kLanes; ++j) {
    const int y = b * kLanes + j;
    if (y >= L.ny) break;
    // Pixel x of row j in lane j of step x + j.
    const std::size_t first = L.lane(b, j, j);
    const std::size_t row = static_cast<std::size_t>(y) * L.nx;
    for (int x = 0; x < L.nx; ++x) {
      const std::size_t at = first + static_cast<std::size_t>(x) * BandLayout<kLanes>::kSlots;
      du[row + x] = A.DU[at];
      dv[row + x] = A.DV[at];
    }
  }
}

// Halos of the increments before sweep k of band b: the row above as already updated in this
// sweep, the row below as it was before (before the first sweep, that row is not laid out
// yet, and is read from du and dv).
template <int kLanes>
void incrementHalos(const BandLayout<kLanes>& L, const BandArrays<kLanes>& A, int b, int k,
                    const float* du, const float* dv) {
  constexpr int kSlots = BandLayout<kLanes>::kSlots;
  const int nx = L.nx, ny = L.ny;
  const int below = b * kLanes + kLanes;
  // Step t of a band is step −1 of its block plus t + 1; the lanes of a step follow its
  // first slot.
  const std::size_t first = L.step(b, -1);
  const std::size_t upper = b > 0 ? L.lane(b - 1, -1, kLanes - 1) : 0;
  const std::size_t lower = below < ny ? L.lane(b + 1, -1, 0) : 0;
  const std::size_t row = below < ny ? static_cast<std::size_t>(below) * nx : 0;
  for (int t = -1; t < L.steps - 1; ++t) {
    const std::size_t h = (first + (t + 1)) * kSlots;
    const bool above = b > 0 && t + kLanes < L.steps - 1;
    const std::size_t from = upper + static_cast<std::size_t>(t + kLanes + 1) * kSlots;
    A.DU[h] = above ? A.DU[from] : 0.0f;
    A.DV[h] = above ? A.DV[from] : 0.0f;
    float lowerU = 0.0f, lowerV = 0.0f;
    const int x = t - kLanes;
    if (below < ny && x >= 0 && x < nx) {
      if (k == 0) {
        lowerU = du[row + x];
        lowerV = dv[row + x];
      } else {
        lowerU = A.DU[lower + static_cast<std::size_t>(x + 1) * kSlots];
        lowerV = A.DV[lower + static_cast<std::size_t>(x + 1) * kSlots];
      }
    }
    A.DU[h + kSlots - 1] = lowerU;
    A.DV[h + kSlots - 1] = lowerV;
  }
}

// What every step of a band's sweep needs: the arrays of the layout, the relaxation and the
// band's lane tests (which rows exist, have an upper and a lower neighbour).
template <typename Ops>
struct BandStep {
  using V = typename Ops::V;
  using VI = typename Ops::VI;
  using M = typename Ops::M;
  static constexpr int kLanes = Ops::kLanes;
  static constexpr int kSlots = BandLayout<kLanes>::kSlots;
  const BandLayout<kLanes>& L;
  float* DU;
  float* DV;
  const float *U, *V_, *R, *D, *C;
  V zero, keep;
  VI laneIndex, minusOne, width, lastX;
  int b;
  M rowInside, hasUp, hasDown;

  BandStep(const BandLayout<kLanes>& layout, const BandArrays<kLanes>& A, float oneMinusOmega,
           int band)
      : L(layout),
        DU(A.DU),
        DV(A.DV),
        U(A.U),
        V_(A.V),
        R(A.R),
        D(A.D),
        C(A.C),
        zero(Ops::set1(0.0f)),
        keep(Ops::set1(oneMinusOmega)),
        laneIndex(Ops::laneIndex()),
        minusOne(Ops::set1i(-1)),
        width(Ops::set1i(layout.nx)),
        lastX(Ops::set1i(layout.nx - 1)),
        b(band) {
    const VI row = Ops::addi(Ops::set1i(band * kLanes), laneIndex);
    rowInside = Ops::lessThan(row, Ops::set1i(layout.ny));
    hasUp = Ops::greaterThan(row, Ops::set1i(0));
    hasDown = Ops::lessThan(row, Ops::set1i(layout.ny - 1));
  }

  // sum + term, where the neighbour exists (without tests, everywhere).
  template <bool kTested>
  static V accumulate(M exists, V sum, V term) {
    if constexpr (kTested) {
      return Ops::select(exists, Ops::add(sum, term), sum);
    } else {
      (void)exists;
      return Ops::add(sum, term);
    }
  }

  // A neighbour's share of the sums, where it exists: (du_n + (u_n − u))·φ and likewise for v,
  // with u_n, v_n the flow at slot `at`.
  template <bool kTested>
  void neighbour(M exists, V phi, V duN, V dvN, std::size_t at, V ui, V vi, V& su, V& sv) const {
    const V tu = Ops::mul(Ops::add(duN, Ops::sub(Ops::load(U + at), ui)), phi);
    const V tv = Ops::mul(Ops::add(dvN, Ops::sub(Ops::load(V_ + at), vi)), phi);
    su = accumulate<kTested>(exists, su, tu);
    sv = accumulate<kTested>(exists, sv, tv);
  }

  // Step t, from the previous step's new increments. With kTested, lanes whose neighbour does
  // not exist leave their sums untouched and lanes outside the image keep their value, through
  // selects; without, every lane is an image pixel with all four neighbours (the interior of
  // a band with rows above and below), where each select would take its first operand: the
  // same operations on the same values, so the same bits.
  template <bool kTested>
  void step(int t, V& previousU, V& previousV) const {
    const std::size_t here = L.step(b, t) * kSlots;
    const std::size_t before = here - kSlots, after = here + kSlots;
    M inside{}, hasLeft{}, hasRight{};
    if constexpr (kTested) {
      const VI x = Ops::subi(Ops::set1i(t), laneIndex);
      inside =
          Ops::both(rowInside, Ops::both(Ops::greaterThan(x, minusOne), Ops::lessThan(x, width)));
      hasLeft = Ops::greaterThan(x, Ops::set1i(0));
      hasRight = Ops::lessThan(x, lastX);
    }
    const V ui = Ops::load(U + here + 1), vi = Ops::load(V_ + here + 1);
    V su = zero, sv = zero;
    // Left: the previous step, just updated.
    neighbour<kTested>(hasLeft, Ops::load(R + before + 1), previousU, previousV, before + 1, ui, vi,
                       su, sv);
    // Up: the previous step moved down one lane, the halo in lane 0.
    neighbour<kTested>(hasUp, Ops::load(D + before), Ops::shiftUp(previousU, DU + before),
                       Ops::shiftUp(previousV, DV + before), before, ui, vi, su, sv);
    // Right: the next step, not yet updated.
    neighbour<kTested>(hasRight, Ops::load(R + here + 1), Ops::load(DU + after + 1),
                       Ops::load(DV + after + 1), after + 1, ui, vi, su, sv);
    // Down: the next step moved up one lane, the halo in the last lane.
    neighbour<kTested>(hasDown, Ops::load(D + here + 1), Ops::load(DU + after + 2),
                       Ops::load(DV + after + 2), after + 2, ui, vi, su, sv);
    // Relaxed Gauss–Seidel step for du, then for dv with the new du.
    const float* c = C + L.step(b, t) * kLanes * kFields;
    auto field = [c](Field f) { return Ops::load(c + f * Ops::kLanes); };
    const V psiD = field(kPsiD), psiG = field(kPsiG);
    const V j12 = field(kJ12), g12 = field(kG12);
    const V u = Ops::load(DU + here + 1), v = Ops::load(DV + here + 1);
    const V numeratorU =
        Ops::sub(Ops::sub(Ops::sub(su, Ops::mul(psiD, Ops::add(Ops::mul(v, j12), field(kJ13)))),
                          Ops::mul(psiG, Ops::add(Ops::mul(v, g12), field(kG13)))),
                 field(kRu));
    const V newU = Ops::add(Ops::mul(keep, u), Ops::mul(field(kFactorU), numeratorU));
    const V numeratorV =
        Ops::sub(Ops::sub(Ops::sub(sv, Ops::mul(psiD, Ops::add(Ops::mul(newU, j12), field(kJ23)))),
                          Ops::mul(psiG, Ops::add(Ops::mul(newU, g12), field(kG23)))),
                 field(kRv));
    const V newV = Ops::add(Ops::mul(keep, v), Ops::mul(field(kFactorV), numeratorV));
    if constexpr (kTested) {
      previousU = Ops::select(inside, newU, u);
      previousV = Ops::select(inside, newV, v);
    } else {
      previousU = newU;
      previousV = newV;
    }
    Ops::store(DU + here + 1, previousU);
    Ops::store(DV + here + 1, previousV);
  }
};

// Sweep k of band b: its halos, then its steps in order, those of the interior without tests.
template <typename Ops>
void sweepBand(const SorSystem& s, const float* du, const float* dv,
               const BandLayout<Ops::kLanes>& L, const BandArrays<Ops::kLanes>& A, int b, int k) {
  using V = typename Ops::V;
  constexpr int kLanes = Ops::kLanes;
  const int nx = s.xSize, ny = s.ySize;
  incrementHalos(L, A, b, k, du, dv);
  const BandStep<Ops> band(L, A, 1.0f - s.omega, b);
  V previousU = Ops::load(A.DU + L.lane(b, -1, 0));
  V previousV = Ops::load(A.DV + L.lane(b, -1, 0));
  const int steps = nx + kLanes - 1;
  // Steps kLanes .. nx − 2 of a band with rows above and below hold, in every lane, a pixel
  // with all four neighbours.
  const bool interiorBand = b > 0 && b * kLanes + kLanes < ny;
  const int first = interiorBand ? kLanes : steps, last = interiorBand ? nx - 1 : steps;
  int t = 0;
  for (; t < first && t < steps; ++t)
    band.template step<true>(t, previousU, previousV);
  for (; t < last; ++t)
    band.template step<false>(t, previousU, previousV);
  for (; t < steps; ++t)
    band.template step<true>(t, previousU, previousV);
}

// The sweeps with `band` holding BandLayout(nx, ny, sweeps, room).floats() floats (contents
// arbitrary: a lane outside the image is never taken into a sum that is kept, every use of it
// is discarded by a select), in the order of `pipeline` (made for that layout's bands and
// ring): every thread that calls this with the same arguments runs the pairs it takes.
template <typename Ops>
void sweepBands(const SorSystem& s, float* du, float* dv, int sweeps, float* band,
                unsigned long long room, BandPipeline& pipeline) {
  constexpr int kLanes = Ops::kLanes;
  if (sweeps <= 0) return;
  const int ny = s.ySize;
  const BandLayout<kLanes> L(s.xSize, ny, sweeps, room);
  pipeline.expectLayout(L.bands, L.slots);
  const BandArrays<kLanes> arrays(L, band);
  // The pipeline decides the order of the pairs and which thread runs each; a band is laid
  // out just before its first sweep and written back after its last.
  BandPipeline::Worker worker = pipeline.join();
  for (int b = 0, k = 0; pipeline.next(worker, b, k); pipeline.finish(b, k)) {
    if (k == 0) {
      formRows(s, b * kLanes, b * kLanes + kLanes < ny ? b * kLanes + kLanes : ny);
      layOutBand<Ops>(s, du, dv, L, arrays, b);
    }
    sweepBand<Ops>(s, du, dv, L, arrays, b, k);
    if (k == sweeps - 1) unpackBand(L, arrays, b, du, dv);
  }
}

}  // namespace
}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_SOR_BAND_KERNEL_H

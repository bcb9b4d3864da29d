// The vector SOR sweep over bands of kLanes rows, written once over a vector of kLanes floats.
// Included by sor_sweep.cpp (4 lanes of SSE2) and sor_sweep_avx2.cpp (8 lanes of AVX2),
// each of which first defines the vector type Ops; everything here has internal linkage, so
// no code compiled for AVX2 can be shared with (and run by) the baseline path.
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

#include "flow/solver/sor_system.h"

#include <cstddef>

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
        slots(static_cast<int>(smaller(bands, 2LL * sweeps))) {
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

// The sweeps with `band` holding layout.floats() floats (contents arbitrary: a lane outside
// the image is never taken into a sum that is kept, every use of it is discarded by a select).
// With `shared` (next and every band's progress at 0), every thread that calls this with the same
// arguments takes a share of the work; the first caller alone would do all of it.
template <typename Ops>
void sweepBands(const SorSystem& s, float* du, float* dv, int sweeps, float* band,
                SorShare* shared) {
  using V = typename Ops::V;
  using VI = typename Ops::VI;
  constexpr int kLanes = Ops::kLanes;
  constexpr int kSlots = BandLayout<kLanes>::kSlots;
  if (sweeps <= 0) return;
  const int nx = s.xSize, ny = s.ySize;
  const float omega = s.omega;
  const float oneMinusOmega = 1.0f - omega;
  const BandLayout<kLanes> L(nx, ny, sweeps, shared != nullptr ? shared->room : 0);
  const int bands = L.bands;
  const std::size_t cells = L.cells();
  float* DU = band;
  float* DV = DU + cells * kSlots;
  float* U = DV + cells * kSlots;
  float* V_ = U + cells * kSlots;
  float* R = V_ + cells * kSlots;
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
        V_[at] = s.v[i];
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
        V_[h] = s.v[i];
        D[h] = s.vertical[i];
      }
      if (below < ny) {
        // Lower halo at step x + kLanes.
        const std::size_t h = L.step(b, x + kLanes) * kSlots + kSlots - 1;
        const int i = x + below * nx;
        U[h] = s.u[i];
        V_[h] = s.v[i];
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

  const V zero = Ops::set1(0.0f);
  const V keep = Ops::set1(oneMinusOmega);
  const VI laneIndex = Ops::laneIndex();
  const VI minusOne = Ops::set1i(-1);
  const VI width = Ops::set1i(nx);
  const VI lastX = Ops::set1i(nx - 1);
  auto sweepBand = [&](int b, int k) {
    // Halos of the increments: the row above as already updated in this sweep, the row below
    // as it was before (before the first sweep, that row is not laid out yet).
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
    // Which of the rows exist and have an upper or lower neighbour.
    const VI row = Ops::addi(Ops::set1i(b * kLanes), laneIndex);
    const V rowInside = Ops::lessThan(row, Ops::set1i(ny));
    const V hasUp = Ops::greaterThan(row, Ops::set1i(0));
    const V hasDown = Ops::lessThan(row, Ops::set1i(ny - 1));
    V previousU = Ops::load(DU + L.lane(b, -1, 0));
    V previousV = Ops::load(DV + L.lane(b, -1, 0));
    for (int t = 0; t < nx + kLanes - 1; ++t) {
      const std::size_t here = L.step(b, t) * kSlots;
      const std::size_t before = here - kSlots, after = here + kSlots;
      const VI x = Ops::subi(Ops::set1i(t), laneIndex);
      const V inside =
          Ops::both(rowInside, Ops::both(Ops::greaterThan(x, minusOne), Ops::lessThan(x, width)));
      const V hasLeft = Ops::greaterThan(x, Ops::set1i(0));
      const V hasRight = Ops::lessThan(x, lastX);
      const V ui = Ops::load(U + here + 1), vi = Ops::load(V_ + here + 1);
      V su = zero, sv = zero;
      // Left: the previous step, just updated.
      {
        const V phi = Ops::load(R + before + 1);
        const V tu = Ops::mul(Ops::add(previousU, Ops::sub(Ops::load(U + before + 1), ui)), phi);
        const V tv = Ops::mul(Ops::add(previousV, Ops::sub(Ops::load(V_ + before + 1), vi)), phi);
        su = Ops::select(hasLeft, Ops::add(su, tu), su);
        sv = Ops::select(hasLeft, Ops::add(sv, tv), sv);
      }
      // Up: the previous step moved down one lane, the halo in lane 0.
      {
        const V phi = Ops::load(D + before);
        const V du0 = Ops::shiftUp(previousU, DU + before);
        const V dv0 = Ops::shiftUp(previousV, DV + before);
        const V tu = Ops::mul(Ops::add(du0, Ops::sub(Ops::load(U + before), ui)), phi);
        const V tv = Ops::mul(Ops::add(dv0, Ops::sub(Ops::load(V_ + before), vi)), phi);
        su = Ops::select(hasUp, Ops::add(su, tu), su);
        sv = Ops::select(hasUp, Ops::add(sv, tv), sv);
      }
      // Right: the next step, not yet updated.
      {
        const V phi = Ops::load(R + here + 1);
        const V tu = Ops::mul(
            Ops::add(Ops::load(DU + after + 1), Ops::sub(Ops::load(U + after + 1), ui)), phi);
        const V tv = Ops::mul(
            Ops::add(Ops::load(DV + after + 1), Ops::sub(Ops::load(V_ + after + 1), vi)), phi);
        su = Ops::select(hasRight, Ops::add(su, tu), su);
        sv = Ops::select(hasRight, Ops::add(sv, tv), sv);
      }
      // Down: the next step moved up one lane, the halo in the last lane.
      {
        const V phi = Ops::load(D + here + 1);
        const V tu = Ops::mul(
            Ops::add(Ops::load(DU + after + 2), Ops::sub(Ops::load(U + after + 2), ui)), phi);
        const V tv = Ops::mul(
            Ops::add(Ops::load(DV + after + 2), Ops::sub(Ops::load(V_ + after + 2), vi)), phi);
        su = Ops::select(hasDown, Ops::add(su, tu), su);
        sv = Ops::select(hasDown, Ops::add(sv, tv), sv);
      }
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
      const V numeratorV = Ops::sub(
          Ops::sub(Ops::sub(sv, Ops::mul(psiD, Ops::add(Ops::mul(newU, j12), field(kJ23)))),
                   Ops::mul(psiG, Ops::add(Ops::mul(newU, g12), field(kG23)))),
          field(kRv));
      const V newV = Ops::add(Ops::mul(keep, v), Ops::mul(field(kFactorV), numeratorV));
      previousU = Ops::select(inside, newU, u);
      previousV = Ops::select(inside, newV, v);
      Ops::store(DU + here + 1, previousU);
      Ops::store(DV + here + 1, previousV);
    }
  };
  // Sweep k of band b needs sweep k of band b − 1 and sweep k − 1 of band b + 1 done, and
  // sweep k of band b + 1 not yet begun: exactly what the row order gives. Running the pairs
  // (b, k) in the order of b + 2k keeps that, and lets all sweeps pass over a few neighbouring
  // bands while they are still in the cache instead of streaming the whole layout per sweep.
  // A band is laid out just before its first sweep and written back after its last.
  const int stages = bands + 2 * (sweeps - 1);

  // Threads that share a call run two streams of pairs, each in the order above: the first
  // sweeps (with the layout) and the last ones (with the write-back). The first thread to come
  // takes the first stream and the next one the second, which follows some bands behind, so
  // that the two meet only where one catches up with the other (or the first fills the ring).
  // A thread whose next pair cannot run yet takes the next pair of the other stream if that
  // one can (so one thread alone does the whole call), else it waits: a short spin, then asleep
  // while the other thread works on a pair.
  //
  // A pair can run once what it reads is done: sweep k of band b − 1 and sweep k − 1 of band
  // b + 1 (which comes after sweep k − 1 of band b; the last band waits for that one itself),
  // and before the layout of a band into a block of the ring, the last sweep of the band after
  // the block's previous band (the last to read that band). Each of these is an earlier pair
  // in the order, so the earliest pair not done can always run: it is the next pair of its
  // stream. What a pair writes no pair can still read: band b's sweep k − 1 was last read by
  // sweep k − 1 of band b + 1 and sweep k of band b − 1 (both done); band b + 1 does not begin
  // sweep k before this pair is done. Every thread then sees the same values as in the order.
  const int ringAfter = L.slots < bands ? L.slots - 1 : bands;
  auto ready = [&](int b, int k) {
    const int* progress = shared->progress;
    if (b > 0 && __atomic_load_n(progress + b - 1, __ATOMIC_ACQUIRE) < k + 1) return false;
    if (k > 0 && __atomic_load_n(progress + (b + 1 < bands ? b + 1 : b), __ATOMIC_ACQUIRE) < k)
      return false;
    return k > 0 || b <= ringAfter ||
           __atomic_load_n(progress + b - ringAfter, __ATOMIC_ACQUIRE) >= sweeps;
  };
  // A place in a stream of the pairs of sweeps lowest to highest: the pair (stage − 2k, k)
  // and how many pairs of the stream come before it; stage == stages past the end.
  struct Place {
    int stage, k, index;
  };
  const int split = sweeps / 2;
  // Streams 0 and 1 of shared calls, and stream 2 (every sweep) of a thread alone.
  const int lowest[3] = {0, split, 0}, highest[3] = {split - 1, sweeps - 1, sweeps - 1};
  auto advance = [&](Place& p, int stream) {
    int stage = p.stage, k = p.k - 1;
    for (; stage < stages; ++stage, k = highest[stream]) {
      for (k = static_cast<int>(smaller(k, stage / 2)); k >= lowest[stream]; --k) {
        if (stage - 2 * k >= bands) break;
        p = {stage, k, p.index + 1};
        return;
      }
    }
    p = {stages, 0, p.index + 1};
  };
  Place place[3];
  for (int stream = 0; stream < 3; ++stream) {
    place[stream] = {0, highest[stream] + 1, -1};
    if (stream == 2 || shared != nullptr) advance(place[stream], stream);
  }
  // The next pair this thread runs, taken from a stream; false when none is left.
  const int own =
      shared != nullptr ? __atomic_fetch_add(&shared->next, 1, __ATOMIC_RELAXED) & 1 : 0;
  auto take = [&](int& b, int& k) {
    for (int spins = 0;;) {
      const unsigned seen = __atomic_load_n(&shared->done, __ATOMIC_SEQ_CST);
      bool left = false;
      for (int turn = 0; turn < 2; ++turn) {
        const int stream = turn == 0 ? own : 1 - own;
        Place& p = place[stream];
        int taken = __atomic_load_n(shared->taken + stream, __ATOMIC_ACQUIRE);
        while (p.stage < stages && p.index < taken)
          advance(p, stream);
        if (p.stage >= stages) continue;
        left = true;
        b = p.stage - 2 * p.k;
        k = p.k;
        if (!ready(b, k)) continue;
        if (!__atomic_compare_exchange_n(shared->taken + stream, &taken, taken + 1, false,
                                         __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
          break;  // the other thread took it: look again
        __atomic_fetch_add(&shared->running, 1, __ATOMIC_SEQ_CST);
        return true;
      }
      if (!left) return false;
      // Nothing can run until a pair being worked on is done (when none is, the other thread
      // is between pairs, or not there, and a pair will be ready at once).
      if (++spins >= 4000 && __atomic_load_n(&shared->running, __ATOMIC_SEQ_CST) > 0) {
        sorShareSleep(*shared, seen);
        spins = 0;
      } else {
        __builtin_ia32_pause();
      }
    }
  };
  for (;;) {
    int b, k;
    if (shared == nullptr) {
      Place& p = place[2];
      if (p.stage >= stages) return;
      b = p.stage - 2 * p.k;
      k = p.k;
      advance(p, 2);
    } else if (!take(b, k)) {
      return;
    }
    if (k == 0) pack(b);
    sweepBand(b, k);
    if (k == sweeps - 1) unpack(b);
    if (shared != nullptr) {
      __atomic_store_n(shared->progress + b, k + 1, __ATOMIC_RELEASE);
      // `running` falls before `done` rises: a thread that saw this pair running and then
      // sleeps until `done` changes is woken by it.
      __atomic_fetch_sub(&shared->running, 1, __ATOMIC_SEQ_CST);
      __atomic_fetch_add(&shared->done, 1u, __ATOMIC_SEQ_CST);
      if (__atomic_load_n(&shared->sleepers, __ATOMIC_SEQ_CST) > 0) sorShareWake(*shared);
    }
  }
}

}  // namespace
}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_SOR_BAND_KERNEL_H

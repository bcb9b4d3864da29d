// The row scan of the fast matching, written once over a vector of kLanes floats. Included by
// match_row_sse2.cpp and match_row_avx2.cpp (eight lanes) and match_row_avx512.cpp (sixteen),
// which first define kLanes, the vector Vec and its operations for their instruction set;
// everything here has internal linkage, so no code compiled for a wider set can be shared
// with (and run by) the baseline path.
//
// The scan gives the state of the straightforward one (see descriptor_matching.cpp): a
// candidate is left out only when its distance, as the straightforward code would round it,
// exceeds the current limit, which proves it could change neither the best nor the second.
//
// The norm bound. Write a_k, b_k (k = 0..8) for the 15 bins of the origin's and the
// candidate's descriptor at sample position k, and A_k = |a_k|, N_k = |b_k| for their
// Euclidean norms. The exact distance is e = Σ_k |a_k − b_k|² ≥ Σ_k (A_k − N_k)² = L by the
// reverse triangle inequality. The norms are formed once per frame: the 15 squares of floats
// exactly in double, summed and rooted in double, rounded to float, so with u = 2⁻²⁴ the
// stored Ã = A(1 + α) with |α| ≤ u + 2⁻⁴⁸ = ρ, plus at most 2⁻¹⁵⁰ where it is subnormal (and
// likewise Ñ). Hence |A − N| ≥ |Ã − Ñ| − ρ'(Ã + Ñ) − 2⁻¹⁴⁸ with ρ' = ρ/(1 − ρ).
// The scan forms g = max(0, fl(fl(|Ã − Ñ|) − fl(fl(ε·fl(Ã + Ñ)) + τ))) with ε = 2⁻²² and
// τ = 2⁻¹⁰⁰. The roundings of |Ã − Ñ| (at most u(Ã + Ñ) up), of the sum and the product
// (down by at most (1 − u)² and 2⁻¹⁵⁰) and of adding τ are covered because
// ε(1 − u)³ ≥ u + ρ' and τ(1 − u) ≥ 2⁻¹⁴⁸ + 2⁻¹⁵⁰, so before its own rounding the difference
// is at most |A − N|, and g ≤ |A − N|(1 + u). Squaring and summing the nine g in float add at
// most a factor (1 + u)¹¹ and 9·2⁻¹⁴⁹ (subnormal squares): L̃ ≤ L(1 + u)¹¹ + 2⁻¹⁴⁵.
// The straightforward distance ê rounds 135 differences, squares and additions of terms that
// are never negative: ê ≥ e(1 − u)¹³⁸ − 135·2⁻¹⁵⁰ (the last for squares that fall below the
// normal range). A lane is left out when fl(L̃·c) > limit with c = 1 − 2⁻¹² and only when
// limit > 2⁻¹⁰⁰: then L̃ > 2⁻¹⁰⁰, every absolute term above is below 2⁻⁴⁰ of L̃ and e, and
// ê ≥ L̃(1 + u)⁻¹¹(1 − u)¹³⁸ − 2⁻⁴⁰L̃ ≥ L̃·c·(1 + u) ≥ fl(L̃·c) > limit.
// Not-a-number norms give g = 0 (the maximum takes 0), infinite ones g = 0 or +∞ where the
// distance is +∞ or not a number too; in every case the bound stays below or equal to what
// the scan would see, or the candidate could never be kept.
//
// The partial bound. While a distance is summed, the terms still to come are bounded the
// same way: after m of the 135 terms, with the partial sum ŝ (the straightforward code's own
// partial sum, bit for bit; 0 before the summation) and positions k + 1 .. 8 not yet
// begun, write R̃ for the float sum of the g² of some of them (any order; all of them while
// summing, the first four before it, which rule out most blocks without the rest of the
// bound). Every further addition of a term t ≥ 0 rounds to at least (s + t)(1 − u), so
// ê ≥ (ŝ + T)(1 − u)¹³⁵ with T the sum of the remaining float squares. With e_rest the
// exact distance over the positions in R̃, T ≥ e_rest(1 − u)³ − 135·2⁻¹⁵⁰ (a difference
// and its square rounded, squares below the normal range; the other remaining terms are
// ≥ 0), and e_rest ≥ L_rest ≥ (R̃ − 2⁻¹⁴⁵)(1 + u)⁻¹¹ as above. A lane is left out when
// fl(fl(ŝ + R̃)·c) > limit > 2⁻¹⁰⁰: with Q = ŝ + R̃ that value is at most Q·c·(1 + u)²,
// so Q > 2⁻¹⁰⁰, the absolute terms are below 2⁻⁴⁰Q, and
// ê ≥ Q((1 + u)⁻¹¹(1 − u)¹³⁸ − 2⁻⁴⁰) ≥ Q·c·(1 + u)² ≥ fl(fl(ŝ + R̃)·c) > limit.
// An infinite g² makes the lane's distance +∞ or not a number, so leaving it out changes
// nothing either.
//
// Blocks two at a time (kPairedBlocks). The second block of a pair is tested against the
// limit before the first block's candidates are kept, not after: the limit only falls as
// candidates are kept, so the earlier one is at least the later one, and what it leaves out
// the later one would have left out too. What it keeps in addition is kept with its exact
// distance, as the lanes of a block are that exceed the limit beside one that does not:
// above the limit, such a distance cannot change the best or the second. The two blocks'
// sums are two independent chains of additions, which the processor overlaps.
#ifndef MOTIONSEG_FLOW_MATCHING_MATCH_ROW_KERNEL_H
#define MOTIONSEG_FLOW_MATCHING_MATCH_ROW_KERNEL_H

#include "flow/matching/match_row_scan.h"

namespace flowmatch {
namespace detail {
namespace {

constexpr float kNormEpsilon = 0x1.0p-22f;
constexpr float kNormTau = 0x1.0p-100f;
constexpr float kNormShrink = 1.0f - 0x1.0p-12f;
constexpr float kNormFloor = 0x1.0p-100f;
// The limit is tested after every fifth bin: often for the first entries, which decide most
// candidates, and rarely enough to cost little.
constexpr int kStep = 5;
// The norm bound of the first positions is tested before the rest is formed.
constexpr int kEarlyPositions = 4;
// The lane mask with every lane of a block set.
constexpr int kAllLanes = (1 << kLanes) - 1;

template <bool kTrackSecond>
inline void consider(ScanState& s, float e, int xc, int yc) {
  if (e < s.best) {
    s.second = s.best;
    s.best = e;
    s.bx = xc;
    s.by = yc;
  } else if (kTrackSecond && e < s.second) {
    s.second = e;
  }
}

// Distances above the limit cannot change the result: at or above the current second-best
// (best), or above the bound.
template <bool kTrackSecond>
inline float limitOf(const ScanState& s, float bound) {
  const float running = kTrackSecond ? s.second : s.best;
  // The float below `running`, which is a sum of squares (0 at least) or the initial 10⁹.
  float below;
  if (running > 0.0f && running <= 3.0e38f) {
    unsigned bits;
    __builtin_memcpy(&bits, &running, sizeof bits);
    bits -= 1;
    __builtin_memcpy(&below, &bits, sizeof below);
  } else {
    below = __builtin_nextafterf(running, -__builtin_inff());
  }
  return below < bound ? below : bound;
}

// Whether every lane of a block is known to exceed the limit after a chunk of bins: its
// partial sum does, or (kPartialBound) the larger of the partial sum and the bound `rest` of
// the positions not yet begun, shrunk by `shrink`, does; a lane whose sum is not a number
// keeps it (the maximum returns its second operand then), and stays.
template <bool kPartialBound>
inline bool ruledOut(Vec acc, Vec limitV, Vec rest, Vec shrink) {
  if (kPartialBound) return vgtmask(vmax(vmul(vadd(acc, rest), shrink), acc), limitV) == kAllLanes;
  return vgtmask(acc, limitV) == kAllLanes;
}

// The distances of kLanes candidates from j on, side by side, each lane summing in the
// straightforward order into acc. False once every lane is known to exceed the limit: its
// partial sum does, or (kPartialBound) the partial sum and the bound `rest` of the positions
// not yet begun, shrunk by `shrink`, do.
template <bool kPartialBound>
inline bool sumDistances(const RowScan& r, int j, Vec& acc, Vec limitV, const Vec* rest, Vec shrink,
                         int k0 = 0, int c00 = 0) {
  const long long plane = r.plane;
  for (int k = k0; k < kPositions; ++k) {
    const float* p = r.hog + j + r.offsets[k] + (k == k0 ? c00 * plane : 0);
    const float* ref = r.reference + k * kBins;
    for (int c0 = k == k0 ? c00 : 0; c0 < kBins; c0 += kStep) {
      for (int c = c0; c < c0 + kStep; ++c, p += plane) {
        const Vec d = vsub(vset1(ref[c]), vload(p));
        acc = vadd(acc, vmul(d, d));
      }
      if (ruledOut<kPartialBound>(acc, limitV, kPartialBound ? rest[k] : acc, shrink)) return false;
    }
  }
  return true;
}

// sumDistances for two blocks at once (ja and jb, each lane in its own order): two
// independent chains of additions. Once one block is ruled out the other goes on alone.
template <bool kPartialBound>
inline void sumDistancePair(const RowScan& r, int ja, int jb, Vec& accA, Vec& accB, bool& aliveA,
                            bool& aliveB, Vec limitV, const Vec* restA, const Vec* restB,
                            Vec shrink) {
  const long long plane = r.plane;
  const Vec none = vset1(0.0f);
  for (int k = 0; k < kPositions; ++k) {
    const float* pa = r.hog + ja + r.offsets[k];
    const float* pb = r.hog + jb + r.offsets[k];
    const float* ref = r.reference + k * kBins;
    for (int c0 = 0; c0 < kBins; c0 += kStep) {
      for (int c = c0; c < c0 + kStep; ++c, pa += plane, pb += plane) {
        const Vec e = vset1(ref[c]);
        const Vec da = vsub(e, vload(pa));
        const Vec db = vsub(e, vload(pb));
        accA = vadd(accA, vmul(da, da));
        accB = vadd(accB, vmul(db, db));
      }
      const bool outA =
          ruledOut<kPartialBound>(accA, limitV, kPartialBound ? restA[k] : none, shrink);
      const bool outB =
          ruledOut<kPartialBound>(accB, limitV, kPartialBound ? restB[k] : none, shrink);
      if (outA || outB) {
        const int nextC = c0 + kStep;
        const int k1 = nextC < kBins ? k : k + 1, c1 = nextC < kBins ? nextC : 0;
        if (outA) aliveA = false;
        if (outB) aliveB = false;
        if (aliveA && k1 < kPositions)
          aliveA = sumDistances<kPartialBound>(r, ja, accA, limitV, restA, shrink, k1, c1);
        if (aliveB && k1 < kPositions)
          aliveB = sumDistances<kPartialBound>(r, jb, accB, limitV, restB, shrink, k1, c1);
        return;
      }
    }
  }
}

// A block of kLanes candidates from j on, up to its distances, under `limit`; the lanes
// below `from` were scanned before and take no part (r.start holds the cheap tests' outcome).
// False when none can be kept (no candidate passed the tests, or the norm bound rules every
// one out); else acc holds the candidates still in (+∞ in the others), and, where the norm
// bound applies (bounded), rest[k] the bound of positions k + 1 .. 8.
struct PendingBlock {
  Vec acc;
  Vec rest[kPositions];
  bool bounded;
};
inline bool prepareBlock(const RowScan& r, int j, int from, float limit, PendingBlock& p) {
  const Vec zero = vset1(0.0f), shrink = vset1(kNormShrink);
  Vec acc = vload(r.start + j);
  if (from > j) acc = vinfwhere(vlanesbelow(from - j), acc);
  if (vgtmask(acc, zero) == kAllLanes) return false;  // no candidate of the block passed
  const Vec limitV = vset1(limit);
  p.bounded = r.useNorms && limit > kNormFloor;
  if (p.bounded) {
    const Vec epsilon = vset1(kNormEpsilon), tau = vset1(kNormTau);
    Vec squares[kPositions];
    Vec bound = zero;
    for (int k = 0; k < kPositions; ++k) {
      const Vec a = vset1(r.referenceNorms[k]);
      const Vec n = vload(r.norms + j + r.offsets[k]);
      const Vec gap = vsub(vabs(vsub(a, n)), vadd(vmul(epsilon, vadd(a, n)), tau));
      const Vec g = vmaxzero(gap);
      squares[k] = vmul(g, g);
      bound = vadd(bound, squares[k]);
      // The bound of the first positions (a partial bound) already rules out most blocks
      // that the whole bound rules out.
      if (k == kEarlyPositions - 1 &&
          vgtmask(vmax(vmul(bound, shrink), acc), limitV) == kAllLanes) {
        return false;
      }
    }
    acc = vinfwhere(vgtmask_v(vmul(bound, shrink), limitV), acc);
    if (vgtmask(acc, zero) == kAllLanes) return false;
    p.rest[kPositions - 1] = zero;
    for (int k = kPositions - 1; k > 0; --k)
      p.rest[k - 1] = vadd(p.rest[k], squares[k]);
  }
  p.acc = acc;
  return true;
}

// The block's distances summed into p.acc: false once every lane is known to exceed the limit.
inline bool sumBlock(const RowScan& r, int j, float limit, PendingBlock& p) {
  const Vec limitV = vset1(limit), shrink = vset1(kNormShrink);
  return p.bounded ? sumDistances<true>(r, j, p.acc, limitV, p.rest, shrink)
                   : sumDistances<false>(r, j, p.acc, limitV, nullptr, vset1(0.0f));
}

template <bool kTrackSecond, bool kPaired>
void scanRow(const RowScan& r, ScanState& s) {
  const float inf = __builtin_inff();
  float* start = r.start;
  const int count = r.count;
  // The two cheap tests for the whole row, branch-free so that the compiler tests several
  // candidates per instruction; 0 where a candidate passed, +∞ where it failed.
  {
    const float* c0 = r.colour[0];
    const float* c1 = r.colour[1];
    const float* c2 = r.colour[2];
    const float o0 = r.originColour[0], o1 = r.originColour[1], o2 = r.originColour[2];
    const float os = r.originSum;
    int passed = 0;
    for (int j = 0; j < count; ++j) {
      const float d0 = o0 - c0[j], d1 = o1 - c1[j], d2 = o2 - c2[j];
      float colourDist = d0 * d0;
      colourDist += d1 * d1;
      colourDist += d2 * d2;
      const float sum = r.sums[j];
      const bool fail =
          (sum > kSumRatio * os) | (os > kSumRatio * sum) | (colourDist > kColourLimit);
      start[j] = fail ? inf : 0.0f;
      passed += fail ? 0 : 1;
    }
    if (passed == 0) return;
  }

  const Vec zero = vset1(0.0f), shrink = vset1(kNormShrink);
  const long long plane = r.plane;
  auto keep = [&](int j, Vec acc) {
    float out[kLanes];
    vstore(out, acc);
    for (int l = 0; l < kLanes; ++l)
      consider<kTrackSecond>(s, out[l], r.x0 + j + l, r.y);
  };
  auto block = [&](int j, int from) {
    const float limit = limitOf<kTrackSecond>(s, r.bound);
    PendingBlock p;
    if (prepareBlock(r, j, from, limit, p) && sumBlock(r, j, limit, p)) keep(j, p.acc);
  };
  // Two neighbouring blocks under the limit before either: a limit the first block may still
  // lower is one that rules out no candidate wrongly, and the lanes are kept in the order of
  // the blocks, each with its exact distance.
  auto blockPair = [&](int j) {
    const int j2 = j + kLanes;
    const float limit = limitOf<kTrackSecond>(s, r.bound);
    PendingBlock a, b;
    const bool hasA = prepareBlock(r, j, j, limit, a);
    const bool hasB = prepareBlock(r, j2, j2, limit, b);
    if (hasA && hasB) {
      bool aliveA = true, aliveB = true;
      const Vec limitV = vset1(limit);
      if (a.bounded) {
        sumDistancePair<true>(r, j, j2, a.acc, b.acc, aliveA, aliveB, limitV, a.rest, b.rest,
                              shrink);
      } else {
        sumDistancePair<false>(r, j, j2, a.acc, b.acc, aliveA, aliveB, limitV, nullptr, nullptr,
                               zero);
      }
      if (aliveA) keep(j, a.acc);
      if (aliveB) keep(j2, b.acc);
    } else if (hasA) {
      if (sumBlock(r, j, limit, a)) keep(j, a.acc);
    } else if (hasB) {
      if (sumBlock(r, j2, limit, b)) keep(j2, b.acc);
    }
  };
  int j = 0;
  if constexpr (kPaired) {
    for (; j + 2 * kLanes <= count; j += 2 * kLanes)
      blockPair(j);
  } else {
    (void)blockPair;
  }
  for (; j + kLanes <= count; j += kLanes)
    block(j, j);
  if (j < count && count >= kLanes) {
    // The last candidates as the last lanes of one more block, in the same order.
    block(count - kLanes, j);
    return;
  }
  for (; j < count; ++j) {
    if (start[j] != 0.0f) continue;
    float e = 0.0f;
    if (!candidateDistance(r.reference, r.hog + j, r.offsets, plane,
                           limitOf<kTrackSecond>(s, r.bound), e)) {
      continue;
    }
    consider<kTrackSecond>(s, e, r.x0 + j, r.y);
  }
}

// The row scan with the blocks taken two at a time (kPaired) or one at a time.
template <bool kPaired>
void scanRowBlocks(const RowScan& r, ScanState& s) {
  if (r.trackSecond) {
    scanRow<true, kPaired>(r, s);
  } else {
    scanRow<false, kPaired>(r, s);
  }
}

// The row scan as the including file's instruction set runs it: kPairedBlocks says whether
// it takes the blocks two at a time.
inline void scanRowAny(const RowScan& r, ScanState& s) {
  scanRowBlocks<kPairedBlocks>(r, s);
}

}  // namespace
}  // namespace detail
}  // namespace flowmatch

#endif  // MOTIONSEG_FLOW_MATCHING_MATCH_ROW_KERNEL_H

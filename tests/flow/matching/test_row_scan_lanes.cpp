// The matching's row scan with its kernel compiled over 16 lanes of plain C++, on any
// processor, against the baseline scan and a straightforward loop over the candidates: the
// same state bit for bit (up to distances above the search's bound), for rows shorter and
// longer than a block or two, blocks taken one or two at a time, with and without the norm
// bound, with ties, not-a-number and infinite bins.
#include "flow/matching/match_row_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace flowmatch {
namespace detail {
namespace {

// The row scan's vector in plain C++, each operation lane by lane as the instruction sets do
// it (the maximum gives its second operand unless the first is greater, as maxps does).
constexpr int kLanes = 16;
// scanRowAny takes the blocks two at a time, as with AVX-512; the test runs both orders.
constexpr bool kPairedBlocks = true;
struct Vec {
  float f[kLanes];
};
struct Mask {
  bool b[kLanes];
};
template <typename T, typename F>
T each(F f) {
  T r;
  for (int j = 0; j < kLanes; ++j)
    f(r, j);
  return r;
}
inline Vec vset1(float a) {
  return each<Vec>([&](Vec& r, int j) { r.f[j] = a; });
}
inline Vec vload(const float* p) {
  return each<Vec>([&](Vec& r, int j) { r.f[j] = p[j]; });
}
inline void vstore(float* p, Vec a) {
  std::memcpy(p, a.f, sizeof a.f);
}
inline Vec vadd(Vec a, Vec b) {
  return each<Vec>([&](Vec& r, int j) { r.f[j] = a.f[j] + b.f[j]; });
}
inline Vec vsub(Vec a, Vec b) {
  return each<Vec>([&](Vec& r, int j) { r.f[j] = a.f[j] - b.f[j]; });
}
inline Vec vmul(Vec a, Vec b) {
  return each<Vec>([&](Vec& r, int j) { r.f[j] = a.f[j] * b.f[j]; });
}
inline Vec vabs(Vec a) {
  return each<Vec>([&](Vec& r, int j) {
    std::uint32_t bits;
    std::memcpy(&bits, &a.f[j], sizeof bits);
    bits &= 0x7FFFFFFFu;
    std::memcpy(&r.f[j], &bits, sizeof bits);
  });
}
inline Vec vmax(Vec a, Vec b) {
  return each<Vec>([&](Vec& r, int j) { r.f[j] = a.f[j] > b.f[j] ? a.f[j] : b.f[j]; });
}
inline Vec vmaxzero(Vec a) {
  return each<Vec>([&](Vec& r, int j) { r.f[j] = a.f[j] > 0.0f ? a.f[j] : 0.0f; });
}
inline Mask vgtmask_v(Vec a, Vec b) {
  return each<Mask>([&](Mask& r, int j) { r.b[j] = a.f[j] > b.f[j]; });
}
inline int vgtmask(Vec a, Vec b) {
  int bits = 0;
  for (int j = 0; j < kLanes; ++j)
    bits |= (a.f[j] > b.f[j] ? 1 : 0) << j;
  return bits;
}
inline Vec vinfwhere(Mask m, Vec acc) {
  return each<Vec>([&](Vec& r, int j) { r.f[j] = m.b[j] ? INFINITY : acc.f[j]; });
}
inline Mask vlanesbelow(int n) {
  return each<Mask>([&](Mask& r, int j) { r.b[j] = j < n; });
}

}  // namespace
}  // namespace detail
}  // namespace flowmatch

#include "flow/matching/match_row_kernel.h"

namespace {

using flowmatch::detail::kBins;
using flowmatch::detail::kPositions;
using flowmatch::detail::RowScan;
using flowmatch::detail::ScanState;

// A frame of histograms, colours, sums and norms, the origin's descriptor and its norms.
struct Frame {
  static constexpr int kStep = 4;
  int w, h;
  long long plane;
  std::vector<float> hog, colour, sums, norms, reference, referenceNorms;
  long long offsets[kPositions];

  // Every part a multiple of one 15-bin vector, the factors a few units in the last place
  // from 1: distances as small as their norm bound allows, with many ties.
  void makeTight(std::mt19937& rng) {
    std::uniform_int_distribution<int> ulps(-3, 3);
    for (long long i = 0; i < plane; ++i) {
      const float factor = 1.0f + ulps(rng) * 0x1.0p-23f;
      for (int c = 0; c < kBins; ++c)
        hog[i + c * plane] = (0.25f + 0.125f * c) * factor;
    }
    setOrigin(w / 2 + w * (h / 2));
  }

  Frame(int w_, int h_, std::mt19937& rng, int levels)
      : w(w_),
        h(h_),
        plane(static_cast<long long>(w_) * h_),
        hog(plane * kBins),
        colour(plane * 3),
        sums(plane),
        norms(plane),
        reference(kPositions * kBins),
        referenceNorms(kPositions) {
    // Few levels give many equal distances.
    std::uniform_int_distribution<int> level(0, levels - 1);
    std::uniform_real_distribution<float> shade(100.0f, 110.0f);
    for (float& v : hog)
      v = 0.5f + 0.25f * level(rng);
    for (float& v : colour)
      v = shade(rng);
    for (int k = 0; k < kPositions; ++k)
      offsets[k] = (k / 3 - 1) * kStep * static_cast<long long>(w) + (k % 3 - 1) * kStep;
    // The origin: a pixel's descriptor, so that some candidates lie close.
    setOrigin(w / 2 + w * (h / 2));
  }
  void setOrigin(long long at) {
    for (int k = 0; k < kPositions; ++k)
      for (int c = 0; c < kBins; ++c)
        reference[k * kBins + c] = hog[at + offsets[k] + c * plane];
    refresh();
    for (int k = 0; k < kPositions; ++k)
      referenceNorms[k] = norms[at + offsets[k]];
  }
  // Sums and norms as the matching forms them.
  void refresh() {
    for (long long i = 0; i < plane; ++i) {
      double squares = 0.0;
      float sum = 0.0f;
      for (int c = 0; c < kBins; ++c) {
        const double v = hog[i + c * plane];
        squares += v * v;
        sum += hog[i + c * plane];
      }
      norms[i] = static_cast<float>(std::sqrt(squares));
      sums[i] = sum;
    }
  }
  RowScan row(int x0, int y, int count, float bound, bool trackSecond, bool useNorms,
              std::vector<float>& start) {
    RowScan r{};
    const long long at = x0 + static_cast<long long>(y) * w;
    r.reference = reference.data();
    r.referenceNorms = referenceNorms.data();
    r.offsets = offsets;
    r.plane = plane;
    r.hog = hog.data() + at;
    r.norms = norms.data() + at;
    r.sums = sums.data() + at;
    for (int q = 0; q < 3; ++q)
      r.colour[q] = colour.data() + at + q * plane;
    r.originSum = sums[w / 2 + w * (h / 2)];
    for (int q = 0; q < 3; ++q)
      r.originColour[q] = 105.0f;
    r.bound = bound;
    r.x0 = x0;
    r.y = y;
    r.count = count;
    r.trackSecond = trackSecond;
    r.useNorms = useNorms;
    start.assign(count + 16, -1.0f);
    r.start = start.data();
    return r;
  }
};

// Every candidate of the row in order: the two cheap tests, then the whole distance summed as
// the straightforward matching does.
ScanState straightforward(const RowScan& r, ScanState s) {
  for (int j = 0; j < r.count; ++j) {
    const float d0 = r.originColour[0] - r.colour[0][j], d1 = r.originColour[1] - r.colour[1][j],
                d2 = r.originColour[2] - r.colour[2][j];
    float colourDist = d0 * d0;
    colourDist += d1 * d1;
    colourDist += d2 * d2;
    const float sum = r.sums[j], os = r.originSum;
    if (sum > flowmatch::detail::kSumRatio * os || os > flowmatch::detail::kSumRatio * sum ||
        colourDist > flowmatch::detail::kColourLimit)
      continue;
    float e = 0.0f;
    flowmatch::detail::candidateDistance(r.reference, r.hog + j, r.offsets, r.plane, INFINITY, e);
    if (e < s.best) {
      s.second = s.best;
      s.best = e;
      s.bx = r.x0 + j;
      s.by = r.y;
    } else if (r.trackSecond && e < s.second) {
      s.second = e;
    }
  }
  return s;
}

bool sameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The same state, up to what the search's bound leaves open: a distance above it can never be
// the search's result, so a scan may keep or skip it (which one depends on the candidates that
// share its block).
bool same(const ScanState& expected, const ScanState& got, float bound) {
  const bool bestKnown = expected.best <= bound;
  const bool secondKnown = expected.second <= bound;
  if (bestKnown
          ? !(sameBits(expected.best, got.best) && expected.bx == got.bx && expected.by == got.by)
          : got.best <= bound)
    return false;
  return secondKnown ? sameBits(expected.second, got.second) : got.second > bound;
}

TEST(RowScanLanes, SixteenPlainLanesGiveTheBaselineState) {
  std::mt19937 rng(5);
  struct Case {
    const char* name;
    int levels;
    bool broken;  // not-a-number and infinite bins
    bool tight;   // distances at their norm bound
  };
  int compared = 0, found = 0;
  for (const Case c : {Case{"ties", 2, false, false}, Case{"spread", 40, false, false},
                       Case{"broken", 8, true, false}, Case{"tight", 1, false, true}}) {
    Frame f(90, 24, rng, c.levels);
    if (c.tight) f.makeTight(rng);
    if (c.broken) {
      f.hog[30 + 12 * 90 + 3 * f.plane] = NAN;
      f.hog[47 + 11 * 90] = INFINITY;
      f.hog[61 + 13 * 90 + 9 * f.plane] = NAN;
      f.refresh();
    }
    // Rows shorter than a block, of one block, one past it, and several with an overlapping
    // last block; states fresh and part way; bounds loose and tight.
    for (const int count : {1, 7, 15, 16, 17, 31, 32, 33, 47, 70, 81}) {
      for (const bool trackSecond : {true, false}) {
        for (const bool useNorms : {true, false}) {
          for (const ScanState initial : {ScanState{1e9f, 1e9f, 0, 0}, ScanState{3.0f, 4.5f, 7, 8},
                                          ScanState{1.0f, 1e9f, 5, 6}}) {
            for (const float bound : {1e9f, 6.0f, 2.0f}) {
              // From x = 20 the origin's own pixel, the closest candidate, falls into the
              // second block of a pair.
              for (const int x0 : {4, 20}) {
                for (const int y : {8, 12, 15}) {
                  SCOPED_TRACE(testing::Message()
                               << c.name << ": " << count << " candidates from " << x0 << ", row "
                               << y << (trackSecond ? ", second" : "")
                               << (useNorms ? ", norms" : "") << ", bound " << bound << ", best "
                               << initial.best);
                  std::vector<float> start1, start2, start3;
                  const RowScan r1 = f.row(x0, y, count, bound, trackSecond, useNorms, start1);
                  const RowScan r2 = f.row(x0, y, count, bound, trackSecond, useNorms, start2);
                  const RowScan r3 = f.row(x0, y, count, bound, trackSecond, useNorms, start3);
                  ScanState lanes = initial, paired = initial, baseline = initial;
                  flowmatch::detail::scanRowBlocks<false>(r1, lanes);
                  flowmatch::detail::scanRowBlocks<true>(r3, paired);
                  flowmatch::detail::scanRowSse2(r2, baseline);
                  const ScanState expected = straightforward(r1, initial);
                  EXPECT_TRUE(same(expected, baseline, bound))
                      << baseline.best << "/" << baseline.second << " at " << baseline.bx << " for "
                      << expected.best << "/" << expected.second << " at " << expected.bx;
                  EXPECT_TRUE(same(expected, lanes, bound))
                      << lanes.best << " at " << lanes.bx << " for " << expected.best << " at "
                      << expected.bx;
                  // Two blocks at a time, the second under the limit before the first.
                  EXPECT_TRUE(same(expected, paired, bound))
                      << paired.best << "/" << paired.second << " at " << paired.bx << " for "
                      << expected.best << "/" << expected.second << " at " << expected.bx;
                  ++compared;
                  found += expected.bx != initial.bx ? 1 : 0;
                }
              }
            }
          }
        }
      }
    }
  }
  // Many rows change the state: the comparisons are not all of untouched states.
  EXPECT_GT(found, compared / 8);
}

}  // namespace

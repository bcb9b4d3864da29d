// Grid matching: the straightforward matching against an independent oracle built from
// candidate lists, hand-made scenarios (self matches, the backward check, the confidence of
// a lone candidate, the texture gate), and the fast matching bit for bit against the
// straightforward one on varied frames and thread counts.
#include "flow/filters/NFilter.h"
#include "flow/matching/descriptor_matching.h"
#include "flow/parallel/instruction_set.h"
#include "flow/matching/match_confidence.h"
#include "flow/matching/orientation_histogram.h"
#include "matching_test_support.h"
#include "tests/flow/instruction_sets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using matchingtest::identical;
using matchingtest::image;

/// Frames as the driver hands them to the matching: presmoothed, with their histograms and
/// the confidence map of the first.
struct Prepared {
  CTensor<float> image1, image2, hog1, hog2;
  CMatrix<float> confidence;
  flowmatch::MatchingInput input() const { return {image1, image2, hog1, hog2, confidence}; }
};

Prepared prepare(CTensor<float> a, CTensor<float> b) {
  Prepared p{std::move(a), std::move(b), {}, {}, {}};
  for (CTensor<float>* t : {&p.image1, &p.image2}) {
    NFilter::recursiveSmoothX(*t, 0.8f);
    NFilter::recursiveSmoothY(*t, 0.8f);
  }
  computeHOG(p.image1, p.hog1);
  computeHOG(p.image2, p.hog2);
  computeConfidence(p.image1, p.image2, p.confidence);
  return p;
}

/// A textured pair: the second frame is the first moved by (du, dv).
Prepared shiftedPair(int w, int h, int channels, int du, int dv, const matchingtest::Texture& t) {
  return prepare(image(w, h, channels, [&](int x, int y, int z) { return t(x, y, z); }),
                 image(w, h, channels, [&](int x, int y, int z) { return t(x - du, y - dv, z); }));
}

struct Matches {
  CTensor<float> u, v, confidence;
};

Matches reference(const flowmatch::MatchingInput& in) {
  Matches m;
  flowmatch::matchReference(in, m.u, m.v, m.confidence);
  return m;
}

Matches fast(const flowmatch::MatchingInput& in, int threads) {
  Matches m;
  flowmatch::match(in, m.u, m.v, m.confidence, threads);
  return m;
}

// ---- The oracle: every candidate listed, then ranked ---------------------------------------

struct Candidate {
  float distance;
  int x, y;
};

struct Expected {
  bool matched = false;
  int u = 0, v = 0;
  float confidence = 0.0f;
  float best = 0.0f, second = 0.0f;
};

std::vector<float> descriptorAt(const CTensor<float>& hog, int x, int y) {
  std::vector<float> d;
  for (int dy : {-4, 0, 4})
    for (int dx : {-4, 0, 4})
      for (int c = 0; c < 15; ++c)
        d.push_back(hog(x + dx, y + dy, c));
  return d;
}

float squaredDistance(const std::vector<float>& a, const std::vector<float>& b) {
  float e = 0.0f;
  for (size_t i = 0; i < a.size(); ++i)
    e += (a[i] - b[i]) * (a[i] - b[i]);
  return e;
}

float binSum(const CTensor<float>& hog, int x, int y) {
  float s = 0.0f;
  for (int c = 0; c < 15; ++c)
    s += hog(x, y, c);
  return s;
}

/// All candidates around (cx, cy) of the other frame that pass the sum and colour tests, in
/// scan order, ranked by distance (a stable sort keeps the earlier of equal distances first).
std::vector<Candidate> ranked(const CTensor<float>& fromImage, const CTensor<float>& fromHog,
                              int cx, int cy, const CTensor<float>& toImage,
                              const CTensor<float>& toHog) {
  const int w = toImage.xSize(), h = toImage.ySize();
  const std::vector<float> d = descriptorAt(fromHog, cx, cy);
  const float s = binSum(fromHog, cx, cy);
  std::vector<Candidate> list;
  for (int y = 4; y <= h - 5; ++y) {
    for (int x = 4; x <= w - 5; ++x) {
      if (std::abs(x - cx) > 80 || std::abs(y - cy) > 80) continue;
      const float t = binSum(toHog, x, y);
      if (t > 2 * s || s > 2 * t) continue;
      float colour = 0.0f;
      for (int q = 0; q < 3; ++q)
        colour +=
            (fromImage(cx, cy, q) - toImage(x, y, q)) * (fromImage(cx, cy, q) - toImage(x, y, q));
      if (colour > 300.0f) continue;
      list.push_back({squaredDistance(d, descriptorAt(toHog, x, y)), x, y});
    }
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
  return list;
}

Expected oracle(const flowmatch::MatchingInput& in, int x, int y) {
  Expected r;
  float total = 0.0f;
  for (int i = 0; i < in.confidence.size(); ++i)
    total += in.confidence.data()[i];
  if (0.125f * (total / float(in.confidence.size())) > in.confidence(x, y)) return r;
  const std::vector<Candidate> forward = ranked(in.image1, in.hog1, x, y, in.image2, in.hog2);
  if (forward.empty() || forward[0].distance > 1e8f) return r;
  const Candidate best = forward[0];
  const float second = forward.size() > 1 ? std::min(forward[1].distance, 1e9f) : 1e9f;
  const std::vector<Candidate> backward =
      ranked(in.image2, in.hog2, best.x, best.y, in.image1, in.hog1);
  if (backward.empty() || !(backward[0].distance < 1e9f)) return r;
  if (std::abs(backward[0].x - x) > 1 || std::abs(backward[0].y - y) > 1) return r;
  r.matched = true;
  r.u = best.x - x;
  r.v = best.y - y;
  r.best = best.distance;
  r.second = second;
  r.confidence = second < 1e9f
                     ? float(double(second - best.distance) / (double(best.distance) + 1e-6))
                     : 10.0f;
  return r;
}

/// Compares a matching result with the oracle at every grid point; returns the match count.
int expectOracle(const flowmatch::MatchingInput& in, const Matches& m) {
  int matched = 0;
  const int w = in.image1.xSize(), h = in.image1.ySize();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool grid = x % 4 == 0 && y % 4 == 0 && x >= 4 && y >= 4 && x < w - 4 && y < h - 4;
      // An accepted match whose best distance occurs twice has confidence 0: compare all
      // three values, unmatched pixels being 0 in all of them.
      const Expected e = grid ? oracle(in, x, y) : Expected{};
      matched += e.matched;
      EXPECT_EQ(m.u(x, y, 0), float(e.u)) << "x " << x << " y " << y;
      EXPECT_EQ(m.v(x, y, 0), float(e.v)) << "x " << x << " y " << y;
      EXPECT_EQ(m.confidence(x, y, 0), e.confidence) << "x " << x << " y " << y;
    }
  }
  return matched;
}

TEST(Matching, StraightforwardAgreesWithOracle) {
  struct Case {
    const char* name;
    int w, h, du, dv;
    double roughness;
  };
  const std::vector<Case> cases = {
      {"smooth texture, small shift", 36, 30, 3, 2, 1.0},
      {"rough texture, shift up and left", 41, 29, -5, -3, 3.0},
      // Near-periodic stripes: many candidates look alike, so the backward check rejects.
      {"stripes", 40, 24, 2, 0, 8.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Prepared p = shiftedPair(c.w, c.h, 3, c.du, c.dv, matchingtest::Texture(17, c.roughness));
    const Matches m = reference(p.input());
    const int matched = expectOracle(p.input(), m);
    EXPECT_GT(matched, 0);
  }
}

TEST(Matching, IdenticalFramesMatchThemselves) {
  const matchingtest::Texture texture(23, 2.0);
  const Prepared p = shiftedPair(44, 40, 3, 0, 0, texture);
  const Matches m = reference(p.input());
  int matched = 0;
  for (int y = 4; y < 36; y += 4) {
    for (int x = 4; x < 40; x += 4) {
      if (m.confidence(x, y, 0) <= 0.0f) continue;
      ++matched;
      EXPECT_EQ(m.u(x, y, 0), 0.0f);
      EXPECT_EQ(m.v(x, y, 0), 0.0f);
      // best = 0: the confidence is second / 10⁻⁶, or 10 without a second candidate.
      const Expected e = oracle(p.input(), x, y);
      ASSERT_TRUE(e.matched);
      EXPECT_EQ(e.best, 0.0f);
      const float expected = e.second < 1e9f ? float(double(e.second) / 1e-6) : 10.0f;
      EXPECT_EQ(m.confidence(x, y, 0), expected) << x << " " << y;
    }
  }
  EXPECT_GE(matched, 40);  // of 72 grid points
}

/// Synthetic matching input: equal random histograms, constant colours and a chosen
/// confidence map, so that distances and tests are under the test's control.
struct Synthetic {
  CTensor<float> image1, image2, hog1, hog2;
  CMatrix<float> confidence;
  Synthetic(int w, int h, unsigned seed)
      : image1(w, h, 3, 0.0f),
        image2(w, h, 3, 0.0f),
        hog1(w, h, 15),
        hog2(w, h, 15),
        confidence(w, h, 1.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(1.0f, 2.0f);
    for (int i = 0; i < hog1.size(); ++i)
      hog1.data()[i] = hog2.data()[i] = u(rng);
  }
  flowmatch::MatchingInput input() const { return {image1, image2, hog1, hog2, confidence}; }
};

TEST(Matching, LoneCandidateGetsConfidenceTenAndOthersFailTheBackwardCheck) {
  // Only pixel (24, 24) of the second frame has the first frame's colour: every grid point's
  // forward search ends there, but the backward search from it returns to (24, 24) itself.
  Synthetic s(48, 48, 3);
  for (int q = 0; q < 3; ++q)
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 48; ++x)
        s.image2(x, y, q) = (x == 24 && y == 24) ? 0.0f : 100.0f;
  for (const Matches& m : {reference(s.input()), fast(s.input(), 2)}) {
    for (int y = 4; y < 44; y += 4) {
      for (int x = 4; x < 44; x += 4) {
        const bool centre = x == 24 && y == 24;
        EXPECT_EQ(m.confidence(x, y, 0), centre ? 10.0f : 0.0f) << x << " " << y;
        EXPECT_EQ(m.u(x, y, 0), 0.0f);
        EXPECT_EQ(m.v(x, y, 0), 0.0f);
      }
    }
  }
}

TEST(Matching, BackwardToleranceIsOnePixel) {
  // The first frame's descriptor at a grid point is copied from the second frame at an offset
  // of (dx, 0) plus a small change; the second frame's own descriptor there is the exact
  // copy's source. The backward search lands dx pixels away from the grid point.
  for (int dx : {1, 2}) {
    SCOPED_TRACE(dx);
    Synthetic s(40, 40, 9);
    const int x = 20, y = 20;
    // The nine sample positions of (x, y) in the first frame take the second frame's values
    // around (x + dx, y) plus 0.01; the nine of (x + dx, y) take the exact values.
    for (int oy : {-4, 0, 4})
      for (int ox : {-4, 0, 4})
        for (int c = 0; c < 15; ++c) {
          s.hog1(x + dx + ox, y + oy, c) = s.hog2(x + dx + ox, y + oy, c);
          s.hog1(x + ox, y + oy, c) = s.hog2(x + dx + ox, y + oy, c) + 0.01f;
        }
    const Expected e = oracle(s.input(), x, y);
    const Matches m = reference(s.input());
    EXPECT_EQ(e.matched, dx == 1);
    EXPECT_EQ(m.confidence(x, y, 0) > 0.0f, dx == 1);
    if (dx == 1) {
      EXPECT_EQ(m.u(x, y, 0), 1.0f);
    }
  }
}

TEST(Matching, TextureGateSkipsWeakGridPoints) {
  struct Case {
    const char* name;
    float atPoint;      // C1 at grid point (20, 20)
    bool nanElsewhere;  // a not-a-number score at another pixel makes the mean not a number
    bool matched;
  };
  const std::vector<Case> cases = {
      {"far below an eighth of the mean", 0.0f, false, false},
      {"just below an eighth", 0.12f, false, false},
      {"above an eighth", 0.2f, false, true},
      {"not a number at the point", NAN, false, true},
      {"mean not a number", 0.0f, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Synthetic s(32, 32, 4);
    s.confidence(20, 20) = c.atPoint;
    if (c.nanElsewhere) s.confidence(3, 7) = NAN;
    for (const Matches& m : {reference(s.input()), fast(s.input(), 3)}) {
      EXPECT_EQ(m.confidence(20, 20, 0) > 0.0f, c.matched);
      EXPECT_GT(m.confidence(24, 20, 0), 0.0f);  // an ordinary neighbour matches itself
    }
  }
}

TEST(Matching, FramesWithoutGridPointsGetNoMatches) {
  for (const auto& size : std::vector<std::pair<int, int>>{{8, 30}, {30, 8}, {9, 9}}) {
    const Prepared p = shiftedPair(size.first, size.second, 3, 0, 0, matchingtest::Texture(1));
    const Matches m = reference(p.input());
    const Matches f = fast(p.input(), 4);
    EXPECT_TRUE(identical(m.u, f.u) && identical(m.confidence, f.confidence));
    // 9 by 9 has the single grid point (4, 4), whose only candidate is itself: if it passes
    // the texture gate, it matches itself with confidence 10.
    for (int y = 0; y < size.second; ++y) {
      for (int x = 0; x < size.first; ++x) {
        const float c = m.confidence(x, y, 0);
        if (x == 4 && y == 4 && size.first == 9) {
          EXPECT_TRUE(c == 0.0f || c == 10.0f) << c;
        } else {
          EXPECT_EQ(c, 0.0f) << x << " " << y;
        }
      }
    }
  }
}

// ---- The fast matching ----------------------------------------------------------------------

// The instruction sets this processor can run: the fast matching is checked with each.
std::vector<flowsimd::InstructionSet> instructionSets() {
  return flowtest::runnableInstructionSets();
}

void expectSameAsReference(const flowmatch::MatchingInput& in, const std::vector<int>& threads) {
  const Matches expected = reference(in);
  for (flowsimd::InstructionSet set : instructionSets()) {
    ASSERT_TRUE(flowsimd::force(set));
    for (int t : threads) {
      SCOPED_TRACE(testing::Message() << t << " threads, " << flowsimd::name(set));
      // Threads started for the call, and the workers of a pool.
      flowthreads::Pool pool(t);
      Matches onPool;
      flowmatch::match(in, onPool.u, onPool.v, onPool.confidence, &pool, t, {});
      for (const Matches& got : {fast(in, t), onPool}) {
        EXPECT_TRUE(identical(expected.u, got.u));
        EXPECT_TRUE(identical(expected.v, got.v));
        EXPECT_TRUE(identical(expected.confidence, got.confidence));
      }
    }
  }
  flowsimd::unforce();
}

TEST(FastMatching, EqualsStraightforwardBitForBit) {
  struct Case {
    const char* name;
    int w, h, channels, du, dv;
    double roughness;
    unsigned seed;
  };
  const std::vector<Case> cases = {
      {"small, no shift", 20, 17, 3, 0, 0, 1.0, 1},
      {"smooth, shift", 57, 43, 3, 5, -3, 1.0, 2},
      {"rough, 4 channels", 61, 38, 4, -7, 6, 4.0, 3},
      {"stripes with ties", 64, 30, 3, 3, 0, 8.0, 4},
      {"shift beyond the radius", 190, 26, 3, 90, 1, 1.5, 5},
      {"tall", 22, 120, 3, 1, 11, 2.0, 6},
      // Rows of 1, 8, 9 and 25 candidates (below one block of 8 lanes, one block, one and an
      // overlapping last one), and windows cut at the frame's edge at other columns.
      {"one grid column", 9, 30, 3, 0, 1, 2.0, 7},
      {"two blocks wide", 16, 21, 3, 1, 0, 3.0, 8},
      {"one past two blocks", 17, 25, 3, -1, 2, 1.0, 9},
      {"block edges", 33, 27, 3, 2, -1, 2.5, 10},
      {"shift beyond the radius, odd width", 187, 23, 3, -85, 0, 2.0, 11},
      // Rows of 15, 16, 17, 31 and 41 candidates: about one and two blocks of 16 lanes.
      {"one short of a wide block", 23, 19, 3, 1, 1, 2.0, 12},
      {"one wide block", 24, 21, 3, -1, 0, 3.0, 13},
      {"one past a wide block", 25, 20, 3, 2, 1, 1.0, 14},
      {"two wide blocks less one", 39, 18, 3, 0, -2, 2.5, 15},
      {"wide block edges", 49, 22, 4, -3, 1, 2.0, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Prepared p =
        shiftedPair(c.w, c.h, c.channels, c.du, c.dv, matchingtest::Texture(c.seed, c.roughness));
    expectSameAsReference(p.input(), {1, 2, 3, 7});
  }
}

TEST(FastMatching, EqualsStraightforwardOnFlatAndBrokenFrames) {
  const matchingtest::Texture texture(8, 2.0);
  // Flat areas beside textured blobs: many candidates fail the two cheap tests.
  auto blobs = [&](int x, int y, int z) {
    const double r = std::hypot(x % 24 - 12.0, y % 20 - 10.0);
    return r < 7 ? texture(x, y, z) : 90.0f;
  };
  const Prepared flat =
      prepare(image(70, 60, 3, blobs),
              image(70, 60, 3, [&](int x, int y, int z) { return blobs(x - 2, y + 1, z); }));
  expectSameAsReference(flat.input(), {1, 4});

  // Frames with not-a-number pixels: distances that are not numbers never win.
  CTensor<float> a = image(48, 44, 3, [&](int x, int y, int z) { return texture(x, y, z); });
  CTensor<float> b = image(48, 44, 3, [&](int x, int y, int z) { return texture(x - 1, y, z); });
  a(17, 9, 1) = NAN;
  b(30, 30, 0) = NAN;
  const Prepared broken = prepare(a, b);
  expectSameAsReference(broken.input(), {1, 3});

  // Histograms with not-a-number and infinite entries, handed in directly.
  Synthetic s(52, 44, 12);
  s.hog2(20, 21, 3) = NAN;
  s.hog2(33, 16, 0) = INFINITY;
  s.hog1(12, 12, 14) = NAN;
  expectSameAsReference(s.input(), {1, 2});

  // Colours that are not numbers pass the colour test: on a second frame far from the first's
  // colour everywhere else, they are the only candidates, beside infinite ones (which fail);
  // a grid point of the first frame without a colour lets every candidate pass.
  Synthetic c(52, 44, 13);
  c.image2.fill(100.0f);
  c.image2(20, 21, 1) = NAN;
  c.image2(33, 16, 0) = NAN;
  c.image2(8, 30, 2) = NAN;
  c.image2(9, 30, 0) = INFINITY;
  c.image2(10, 30, 1) = -INFINITY;
  c.image1(12, 12, 0) = NAN;
  expectSameAsReference(c.input(), {1, 3});
  const Matches m = reference(c.input());
  EXPECT_GT(std::count_if(m.confidence.data(), m.confidence.data() + m.confidence.size(),
                          [](float v) { return v != 0.0f; }),
            0);
}

TEST(FastMatching, RandomHistogramsWithTies) {
  // Histograms drawn from a few values give many equal distances: ties must keep the earlier
  // candidate as best and count as second-best, in both paths.
  Synthetic s(40, 36, 21);
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> level(0, 2);
  for (int i = 0; i < s.hog1.size(); ++i) {
    s.hog1.data()[i] = 1.0f + level(rng);
    s.hog2.data()[i] = 1.0f + level(rng);
  }
  expectSameAsReference(s.input(), {1, 5});
}

TEST(FastMatching, NormBoundHoldsWhereItIsTight) {
  // Every descriptor part is a multiple of one fixed 15-bin vector, so a distance equals its
  // norm bound up to rounding: the bound's margins alone keep the right candidates in. The
  // factors lie within a few units in the last place of 1 (many exact ties), within 10⁻³ of
  // 1, and span several octaves. With free rows, every third band of four rows holds free
  // histograms instead: a distance then sums free parts (far above their norm bound) before
  // tight ones, and the bound of the parts still to come decides when its summation stops.
  struct Case {
    const char* name;
    float spread;
    int ulps;
    bool freeRows;
  };
  const std::vector<Case> cases = {{"ulps", 0.0f, 3, false},
                                   {"close", 1e-3f, 0, false},
                                   {"wide", 3.0f, 0, false},
                                   {"ulps, free rows", 0.0f, 3, true},
                                   {"close, free rows", 1e-3f, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Synthetic s(72, 60, 5);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> base(0.5f, 3.0f), spread(-c.spread, c.spread);
    std::uniform_int_distribution<int> ulp(-c.ulps, c.ulps);
    float bins[15];
    for (float& b : bins)
      b = base(rng);
    auto factor = [&]() {
      float f = c.spread > 1.0f ? std::exp2(spread(rng)) : 1.0f + spread(rng);
      for (int k = ulp(rng); k != 0; k += k > 0 ? -1 : 1)
        f = std::nextafter(f, k > 0 ? 2.0f : 0.0f);
      return f;
    };
    for (CTensor<float>* hog : {&s.hog1, &s.hog2}) {
      for (int y = 0; y < 60; ++y) {
        if (c.freeRows && y % 12 < 4) continue;  // keeps Synthetic's random histograms
        for (int x = 0; x < 72; ++x) {
          const float f = factor();
          for (int b = 0; b < 15; ++b)
            (*hog)(x, y, b) = f * bins[b];
        }
      }
    }
    expectSameAsReference(s.input(), {1, 2});
  }
}

TEST(Matching, BackwardSearchKeepsTheFirstOfItsBest) {
  // Equal histograms make grid point (20, 20) its own forward best in the second frame. A
  // copy of the second frame's descriptor there, placed at point P of the first frame, gives
  // the backward search a rival outside its 3 x 3 square: as good as (20, 20) (a tie) or
  // better (the descriptor at (20, 20) itself then moved by 0.01). The first of the best in
  // scan order decides, so the match holds only against a later tie; the fast search, which
  // stops once its best is known to lie outside, must agree on every path.
  struct Case {
    const char* name;
    int px, py;
    bool better, matched;
  };
  const std::vector<Case> cases = {
      {"tie, earlier row", 20, 8, false, false},
      {"tie, later row", 20, 32, false, true},
      {"tie, earlier in the row", 8, 20, false, false},
      {"tie, later in the row", 32, 20, false, true},
      {"better, earlier row", 20, 8, true, false},
      {"better, later row", 20, 32, true, false},
      {"better, later in the row", 32, 20, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Synthetic s(48, 44, 41);
    for (int oy : {-4, 0, 4})
      for (int ox : {-4, 0, 4})
        for (int b = 0; b < 15; ++b) {
          const float value = s.hog2(20 + ox, 20 + oy, b);
          s.hog1(c.px + ox, c.py + oy, b) = value;
          if (c.better) s.hog1(20 + ox, 20 + oy, b) = value + 0.01f;
        }
    const Expected e = oracle(s.input(), 20, 20);
    EXPECT_EQ(e.matched, c.matched);
    const Matches m = reference(s.input());
    EXPECT_EQ(m.confidence(20, 20, 0) > 0.0f, c.matched);
    expectOracle(s.input(), m);
    expectSameAsReference(s.input(), {1, 2});
  }
}

TEST(Matching, TiesKeepTheEarlierCandidateAndCountAsSecond) {
  // The second frame's histograms repeat every 12 columns. Grid point (20, 20) of the first
  // frame carries that pattern, so its distance 0 occurs at columns 8, 20, 32 (and 44 is
  // outside the window's last column 43): the first, column 8, is the best, the next 0 is the
  // second-best, and the backward search from column 8 finds only (20, 20) at distance 0.
  Synthetic s(48, 40, 33);
  for (int c = 0; c < 15; ++c)
    for (int y = 0; y < 40; ++y)
      for (int x = 12; x < 48; ++x)
        s.hog2(x, y, c) = s.hog2(x % 12, y, c);
  for (int oy : {-4, 0, 4})
    for (int ox : {-4, 0, 4})
      for (int c = 0; c < 15; ++c)
        s.hog1(20 + ox, 20 + oy, c) = s.hog2(20 + ox, 20 + oy, c);
  const Expected e = oracle(s.input(), 20, 20);
  ASSERT_TRUE(e.matched);
  EXPECT_EQ(e.u, -12);
  EXPECT_EQ(e.v, 0);
  EXPECT_EQ(e.confidence, 0.0f);
  for (const Matches& m : {reference(s.input()), fast(s.input(), 2)}) {
    EXPECT_EQ(m.u(20, 20, 0), -12.0f);
    EXPECT_EQ(m.confidence(20, 20, 0), 0.0f);
    expectOracle(s.input(), m);
  }
}

TEST(FastMatching, ThreadCountFollowsTheEnvironment) {
  struct Case {
    const char* value;
    unsigned cores;
    int expected;
  };
  const std::vector<Case> cases = {
      {nullptr, 6, 6},       {nullptr, 0, 1}, {"3", 8, 3},   {" 4,2", 8, 4},
      {"0", 8, 8},           {"", 5, 5},      {"abc", 2, 2}, {"99999999999", 2, 1024},
      {nullptr, 5000, 1024},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(flowmatch::threadCount(c.value, c.cores), c.expected)
        << (c.value ? c.value : "(unset)") << " with " << c.cores << " cores";
  }
}

TEST(FastMatching, RefusesInputsOfOtherSizes) {
  Synthetic s(30, 30, 1);
  CTensor<float> small(29, 30, 15, 1.0f), twoChannels(30, 30, 2, 0.0f);
  Matches m;
  const flowmatch::MatchingInput badHog{s.image1, s.image2, s.hog1, small, s.confidence};
  const flowmatch::MatchingInput badColour{s.image1, twoChannels, s.hog1, s.hog2, s.confidence};
  for (const flowmatch::MatchingInput* in : {&badHog, &badColour}) {
    EXPECT_THROW(flowmatch::match(*in, m.u, m.v, m.confidence, 2), std::invalid_argument);
    EXPECT_THROW(flowmatch::matchReference(*in, m.u, m.v, m.confidence), std::invalid_argument);
  }
}

}  // namespace

// Orientation histograms and the confidence map: the hand-checked ramps, the wrap of the
// direction circle, the scaling with the channel count, and a double-precision oracle of the
// whole histogram pipeline on textured images.
#include "flow/matching/match_confidence.h"
#include "flow/matching/orientation_histogram.h"
#include "matching_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using matchingtest::image;

constexpr int kBins = 15;

/// Histogram of the ramp I = ±x or ±y of one channel.
CTensor<float> rampHistogram(int xSize, int ySize, int sx, int sy) {
  const CTensor<float> ramp =
      image(xSize, ySize, 1, [&](int x, int y, int) { return float(sx * x + sy * y); });
  CTensor<float> hog;
  computeHOG(ramp, hog);
  return hog;
}

TEST(OrientationHistogram, ConstantImageHasNoVotes) {
  const CTensor<float> flat = image(13, 9, 3, [](int, int, int z) { return 40.0f + z; });
  CTensor<float> hog;
  computeHOG(flat, hog);
  ASSERT_EQ(hog.xSize(), 13);
  ASSERT_EQ(hog.ySize(), 9);
  ASSERT_EQ(hog.zSize(), kBins);
  for (int i = 0; i < hog.size(); ++i)
    ASSERT_EQ(hog.data()[i], 0.0f) << i;
}

// Interior pixels of a unit ramp along each axis: all gradient in one direction, so the
// pooled histogram is the direction smoothing's response to a single bin (closed circle).
TEST(OrientationHistogram, RampDirectionsFallIntoTheirBins) {
  struct Case {
    const char* name;
    int sx, sy;
    std::vector<std::pair<int, float>> bins;  // non-zero bins after pooling
  };
  const float side = 0.2389943f, centre = 0.5220115f;
  const std::vector<Case> cases = {
      {"towards +x", 1, 0, {{6, side}, {7, centre}, {8, side}}},
      {"towards +y (down)", 0, 1, {{10, side}, {11, centre}, {12, side}}},
      {"towards -y (up)", 0, -1, {{2, side}, {3, centre}, {4, side}}},
      // θ = π gives position 15, which wraps to bin 0; the mirrored z-filter counts bin 0
      // twice (0.7610058) and the closing of the circle moves a share of it into bin 14.
      {"towards -x", -1, 0, {{0, 0.5791298f}, {1, side}, {14, 0.1818760f}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CTensor<float> hog = rampHistogram(20, 18, c.sx, c.sy);
    // At least 4 pixels from the borders the 7-by-7 pooling sees unit gradients only.
    for (int y = 4; y < 14; ++y) {
      for (int x = 4; x < 16; ++x) {
        float total = 0.0f;
        for (int b = 0; b < kBins; ++b) {
          float expected = 0.0f;
          for (const auto& nb : c.bins)
            if (nb.first == b) expected = nb.second;
          ASSERT_NEAR(hog(x, y, b), expected, 2e-6f) << "x " << x << " y " << y << " bin " << b;
          total += hog(x, y, b);
        }
        ASSERT_NEAR(total, 1.0f, 3e-6f);
      }
    }
  }
}

TEST(OrientationHistogram, EqualChannelsDoubleTheHistogram) {
  matchingtest::Texture texture(7);
  const CTensor<float> one = image(23, 17, 1, [&](int x, int y, int) { return texture(x, y, 0); });
  const CTensor<float> two = image(23, 17, 2, [&](int x, int y, int) { return texture(x, y, 0); });
  CTensor<float> h1, h2;
  computeHOG(one, h1);
  computeHOG(two, h2);
  for (int i = 0; i < h1.size(); ++i)
    ASSERT_EQ(h2.data()[i], 2.0f * h1.data()[i]) << i;  // scaling by 2 is exact
}

TEST(OrientationHistogram, NotANumberCastsNoVote) {
  CTensor<float> img = image(12, 12, 3, [](int x, int y, int z) { return float(x * y + z); });
  img(6, 6, 1) = NAN;
  CTensor<float> hog;
  computeHOG(img, hog);
  // The neighbours of the NaN pixel have no direction in channel 1; every bin stays a number.
  for (int i = 0; i < hog.size(); ++i)
    ASSERT_FALSE(std::isnan(hog.data()[i])) << i;
}

/// The histogram by its definition in double precision: mirrored central differences, the
/// bin of each direction (formed as defined, in single precision), the 3-tap smoothing across
/// a circle of bins that mirrors at its ends, the closing of the circle, and the mean over the
/// clipped 7-by-7 window.
std::vector<double> hogOracle(const CTensor<float>& img) {
  const int w = img.xSize(), h = img.ySize(), channels = img.zSize();
  auto at = [&](int x, int y, int z) {
    x = x < 0 ? -1 - x : (x >= w ? 2 * w - 1 - x : x);
    y = y < 0 ? -1 - y : (y >= h ? 2 * h - 1 - y : y);
    return double(img(x, y, z));
  };
  const double g0 = std::exp(-1.0 / (2.0 * double(0.8f * 0.8f)));  // unnormalised side tap
  const double side = g0 / (1.0 + 2.0 * g0), centre = 1.0 / (1.0 + 2.0 * g0);
  std::vector<double> votes(size_t(w) * h * kBins, 0.0), out(votes.size(), 0.0);
  auto idx = [&](int x, int y, int b) { return x + size_t(w) * (y + size_t(h) * b); };
  for (int z = 0; z < channels; ++z) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const float gx = float((at(x + 1, y, z) - at(x - 1, y, z)) / 2.0);
        const float gy = float((at(x, y + 1, z) - at(x, y - 1, z)) / 2.0);
        if (gx == 0.0f && gy == 0.0f) continue;
        const float t = float(std::atan2(double(gy), double(gx)) + double(3.14159274f));
        int bin = int(t * float(15.0 / (2.0 * double(3.14159274f))));
        if (bin == kBins) bin = 0;
        votes[idx(x, y, bin)] += std::hypot(double(gx), double(gy));
      }
    }
  }
  std::vector<double> smoothed(votes.size());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      auto v = [&](int b) { return votes[idx(x, y, std::clamp(b, 0, kBins - 1))]; };
      for (int b = 0; b < kBins; ++b)
        smoothed[idx(x, y, b)] = side * v(b - 1) + centre * v(b) + side * v(b + 1);
      const double s0 = smoothed[idx(x, y, 0)], s14 = smoothed[idx(x, y, kBins - 1)];
      smoothed[idx(x, y, 0)] = side * s14 + (1.0 - side) * s0;
      smoothed[idx(x, y, kBins - 1)] = side * s0 + (1.0 - side) * s14;
    }
  }
  for (int b = 0; b < kBins; ++b) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        double sum = 0.0;
        int n = 0;
        for (int yy = std::max(0, y - 3); yy <= std::min(h - 1, y + 3); ++yy)
          for (int xx = std::max(0, x - 3); xx <= std::min(w - 1, x + 3); ++xx, ++n)
            sum += smoothed[idx(xx, yy, b)];
        out[idx(x, y, b)] = sum / n;
      }
    }
  }
  return out;
}

TEST(OrientationHistogram, MatchesDoublePrecisionDefinition) {
  struct Case {
    int w, h, channels;
    unsigned seed;
  };
  for (const Case& c :
       std::vector<Case>{{17, 11, 3, 1}, {6, 30, 4, 2}, {3, 2, 3, 3}, {40, 33, 1, 4}}) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.channels);
    matchingtest::Texture texture(c.seed, 2.0);
    const CTensor<float> img =
        image(c.w, c.h, c.channels, [&](int x, int y, int z) { return texture(x, y, z); });
    CTensor<float> hog;
    computeHOG(img, hog);
    const std::vector<double> expected = hogOracle(img);
    double largest = 0.0;
    for (double v : expected)
      largest = std::max(largest, v);
    for (int i = 0; i < hog.size(); ++i)
      ASSERT_NEAR(hog.data()[i], expected[i], 1e-5 * largest) << i;
  }
}

// ---- Confidence ----------------------------------------------------------------------------

TEST(MatchConfidence, FlatAndStraightImagesScoreZero) {
  struct Case {
    const char* name;
    int channels;
    std::function<float(int, int, int)> f;
  };
  const std::vector<Case> cases = {
      {"constant", 3, [](int, int, int z) { return 10.0f * z; }},
      {"ramp along x", 1, [](int x, int, int) { return float(x); }},
      {"ramp along y, 3 channels", 3, [](int, int y, int z) { return float((z + 1) * y); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CTensor<float> img = image(21, 19, c.channels, c.f);
    CMatrix<float> score;
    computeConfidence(img, img, score);
    ASSERT_EQ(score.xSize(), 21);
    ASSERT_EQ(score.ySize(), 19);
    // Jxy = 0 and one of Jxx, Jyy is 0: t − √(t²) vanishes up to the rounding of t².
    for (int i = 0; i < score.size(); ++i)
      ASSERT_LE(std::abs(score.data()[i]), 1e-5f) << i;
  }
}

TEST(MatchConfidence, CornerScoresAboveStraightEdge) {
  // A bright square: its corners vary in direction, the middle of its sides, 40 pixels from
  // the corners, does not; flat pixels have no gradient and score 0 (or not a number where
  // the unclamped discriminant rounds below 0).
  const CTensor<float> img = image(128, 128, 3, [](int x, int y, int) {
    return (x >= 24 && x < 104 && y >= 24 && y < 104) ? 200.0f : 50.0f;
  });
  CMatrix<float> score;
  computeConfidence(img, img, score);
  EXPECT_GT(score(24, 24), 1e5f);
  EXPECT_GT(score(103, 103), 1e5f);
  EXPECT_LT(std::abs(score(64, 24)), 1e-3f * score(24, 24));
  EXPECT_LT(std::abs(score(24, 64)), 1e-3f * score(24, 24));
  EXPECT_FALSE(std::abs(score(5, 64)) > 0.0f);
}

TEST(MatchConfidence, IdenticalChannelsScaleByKRootK) {
  matchingtest::Texture texture(11);
  const CTensor<float> one = image(30, 26, 1, [&](int x, int y, int) { return texture(x, y, 0); });
  CMatrix<float> base;
  computeConfidence(one, one, base);
  float largest = 0.0f;
  for (int i = 0; i < base.size(); ++i)
    if (!std::isnan(base.data()[i])) largest = std::max(largest, std::abs(base.data()[i]));
  ASSERT_GT(largest, 0.0f);
  for (int k : {2, 3, 5}) {
    SCOPED_TRACE(k);
    const CTensor<float> many =
        image(30, 26, k, [&](int x, int y, int) { return texture(x, y, 0); });
    CMatrix<float> score;
    computeConfidence(many, many, score);
    const double factor = k * std::sqrt(double(k));
    for (int i = 0; i < score.size(); ++i) {
      if (std::isnan(base.data()[i]) || std::isnan(score.data()[i])) continue;
      ASSERT_NEAR(score.data()[i], factor * base.data()[i], 1e-4 * factor * largest) << i;
    }
  }
}

TEST(MatchConfidence, SecondFrameIsNotRead) {
  matchingtest::Texture texture(3);
  const CTensor<float> first =
      image(16, 12, 3, [&](int x, int y, int z) { return texture(x, y, z); });
  const CTensor<float> other = image(16, 12, 3, [](int x, int y, int) { return float(x - y); });
  const CTensor<float> none;
  CMatrix<float> a, b;
  computeConfidence(first, other, a);
  computeConfidence(first, none, b);
  ASSERT_EQ(a.size(), b.size());
  for (int i = 0; i < a.size(); ++i)
    ASSERT_EQ(std::memcmp(&a.data()[i], &b.data()[i], sizeof(float)), 0) << i;
}

TEST(MatchConfidence, ScoreIsSmallerEigenvalueTimesMagnitude) {
  // Hand-checked tensors, then the unclamped discriminant: Jxx = 1, Jyy = 1 + 2⁻²³ gives
  // t = 1 (2 + 2⁻²³ rounds to 2) and d = −2⁻²³, so the score is not a number.
  EXPECT_EQ(confidenceScore(4.0f, 1.0f, 0.0f, 2.0f), 2.0f);  // eigenvalues 4 and 1
  EXPECT_EQ(confidenceScore(2.0f, 2.0f, 1.0f, 3.0f), 3.0f);  // eigenvalues 3 and 1
  EXPECT_EQ(confidenceScore(5.0f, 0.0f, 0.0f, 7.0f), 0.0f);  // a straight edge
  EXPECT_TRUE(std::isnan(confidenceScore(1.0f, 1.0f + std::ldexp(1.0f, -23), 0.0f, 1.0f)));
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-50.0f, 50.0f);
  for (int i = 0; i < 200; ++i) {
    const float a = std::abs(u(rng)), b = std::abs(u(rng)), c = u(rng) * 0.1f, g = std::abs(u(rng));
    const double mean = (double(a) + b) / 2, half = (double(a) - b) / 2;
    const double smaller = mean - std::sqrt(half * half + double(c) * c);
    ASSERT_NEAR(confidenceScore(a, b, c, g), smaller * g, 1e-4 * (a + b) * g) << i;
  }
}

// Bitwise equality of n floats, except that any two not-a-numbers count as equal: the sign
// and payload of a not-a-number depend on which operand of a sum or product the compiler
// puts first, which it chooses differently in a loop's vector body and its scalar tail.
bool sameBitsOrBothNaN(const float* a, const float* b, int n) {
  for (int i = 0; i < n; ++i) {
    if (std::isnan(a[i]) && std::isnan(b[i])) continue;
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return false;
  }
  return true;
}

// The histograms and the confidence map with every step shared among threads against the
// one-thread calls, bit for bit, from one pixel to more rows than threads, with a
// not-a-number and an infinite sample.
TEST(DescriptorThreads, SameBitsAsTheOneThreadCalls) {
  struct Size {
    int x, y, channels;
  };
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> value(0.0f, 255.0f);
  for (const Size s : {Size{1, 1, 1}, Size{1, 7, 3}, Size{9, 1, 2}, Size{2, 3, 3}, Size{31, 17, 3},
                       Size{64, 40, 1}}) {
    CTensor<float> frame = image(s.x, s.y, s.channels, [&](int, int, int) { return value(rng); });
    if (frame.size() > 4) {
      frame.data()[frame.size() / 2] = std::numeric_limits<float>::quiet_NaN();
      frame.data()[1] = std::numeric_limits<float>::infinity();
    }
    CTensor<float> hog;
    CMatrix<float> confidence;
    computeHOG(frame, hog);
    computeConfidence(frame, frame, confidence);
    {
      // Bin by bin in place, against all bins at once through a scratch tensor.
      CTensor<float> whole;
      computeHOGWhole(frame, whole, nullptr, 1);
      EXPECT_TRUE(matchingtest::identical(hog, whole))
          << s.x << " x " << s.y << " x " << s.channels;
    }
    for (const int threads : {1, 2, 3, 8}) {
      flowthreads::Pool pool(threads);
      for (flowthreads::Pool* onPool : {static_cast<flowthreads::Pool*>(nullptr), &pool}) {
        CTensor<float> sharedHog(3, 3, 3, -1.0f);
        CMatrix<float> sharedConfidence(2, 2, -1.0f);
        computeHOG(frame, sharedHog, onPool, threads);
        computeConfidence(frame, frame, sharedConfidence, onPool, threads);
        const std::string where = std::to_string(s.x) + " x " + std::to_string(s.y) + " x " +
                                  std::to_string(s.channels) + ", " + std::to_string(threads) +
                                  " threads" + (onPool ? ", pool" : "");
        EXPECT_TRUE(matchingtest::identical(sharedHog, hog)) << where;
        ASSERT_EQ(sharedConfidence.size(), confidence.size()) << where;
        EXPECT_TRUE(
            sameBitsOrBothNaN(sharedConfidence.data(), confidence.data(), confidence.size()))
            << where;
      }
    }
  }
}

}  // namespace

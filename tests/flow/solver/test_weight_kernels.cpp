// The set-up's and the weights' per-pixel loops in AVX2 vectors against the baseline loops, bit for
// bit, over ranges that start and end anywhere within a vector, on values that reach every branch
// of the formulas: negative and not-a-number sums, infinities, signed zeros, confidences at and
// around 0.
#include "flow/parallel/instruction_set.h"
#include "flow/solver/weight_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using flowsolver::detail::MatchTerms;
using flowsolver::detail::PairTerms;
using flowsolver::detail::RobustTerms;

constexpr int kPixels = 70;

// Random values with a share of the special ones mixed in.
std::vector<float> plane(std::mt19937& rng, float lo, float hi) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float specials[] = {0.0f, -0.0f, inf, -inf, nan, -nan, 1e-30f, -1e30f, 3e38f};
  std::uniform_real_distribution<float> value(lo, hi);
  std::uniform_int_distribution<int> pick(0, 5 * static_cast<int>(sizeof specials / sizeof(float)));
  std::vector<float> p(kPixels);
  for (float& x : p) {
    const int k = pick(rng);
    x = k < static_cast<int>(sizeof specials / sizeof(float)) ? specials[k] : value(rng);
  }
  return p;
}

// Bitwise equality, except that any two not-a-numbers count as equal: the sign and payload
// of a not-a-number depend on which operand of a sum or product comes first, which the
// compiler chooses freely (and differently in a loop's vector body and its scalar tail).
bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::isnan(a[i]) && std::isnan(b[i])) continue;
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return false;
  }
  return true;
}

// The ranges every kernel is run over: empty, shorter than a vector, across vector edges.
const int kRanges[][2] = {{0, 0},  {0, 1},  {3, 4},  {0, 7},  {0, 8},      {1, 9},
                          {5, 21}, {7, 40}, {0, 64}, {2, 69}, {0, kPixels}};

class WeightKernels : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!flowsimd::supported(flowsimd::InstructionSet::Avx2)) GTEST_SKIP() << "no avx2";
  }
};

TEST_F(WeightKernels, MotionTensorsSameBits) {
  using flowsolver::detail::TensorTerms;
  std::mt19937 rng(6);
  for (int trial = 0; trial < 10; ++trial) {
    std::vector<std::vector<float>> derivatives;
    for (int d = 0; d < 8; ++d)
      derivatives.push_back(plane(rng, -30, 30));
    // A validity mask of zeros and ones, with the special values mixed in.
    std::vector<float> mask = plane(rng, 0, 1);
    for (float& m : mask)
      if (m > 0.0f && m < 1.0f) m = m < 0.5f ? 0.0f : 1.0f;
    std::vector<std::vector<float>> sums;
    for (int c = 0; c < 12; ++c)
      sums.push_back(plane(rng, 0, 100));
    // Paths: the baseline and AVX2 adding to the sums, both with the sums taken as 0 (the
    // first channel), and the baseline adding to sums filled with 0, which those must equal.
    for (const bool last : {false, true}) {
      for (const auto& r : kRanges) {
        std::vector<std::vector<float>> out[5] = {sums, sums, sums, sums, sums};
        for (auto& o : out[4])
          std::fill(o.begin() + r[0], o.begin() + r[1], 0.0f);
        for (int path = 0; path < 5; ++path) {
          TensorTerms t{derivatives[0].data(),
                        derivatives[1].data(),
                        derivatives[2].data(),
                        derivatives[3].data(),
                        derivatives[4].data(),
                        derivatives[5].data(),
                        derivatives[6].data(),
                        derivatives[7].data(),
                        mask.data(),
                        {},
                        {},
                        last,
                        path == 2 || path == 3};
          for (int c = 0; c < 6; ++c) {
            t.j[c] = out[path][c].data();
            t.g[c] = out[path][6 + c].data();
          }
          (path % 2 == 0 ? flowsolver::detail::accumulateMotionTensorsBaseline
                         : flowsolver::detail::accumulateMotionTensorsAvx2)(r[0], r[1], t);
        }
        for (int c = 0; c < 12; ++c) {
          EXPECT_TRUE(sameBits(out[0][c], out[1][c]))
              << "plane " << c << (last ? ", last channel" : "") << ", " << r[0] << ".." << r[1]
              << ", trial " << trial;
          for (int first : {2, 3})
            EXPECT_TRUE(sameBits(out[first][c], out[4][c]))
                << "first channel, path " << first << ", plane " << c << ", " << r[0] << ".."
                << r[1];
        }
      }
    }
  }
}

TEST_F(WeightKernels, RobustWeightsSameBits) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 20; ++trial) {
    const std::vector<float> du = plane(rng, -4, 4), dv = plane(rng, -4, 4);
    std::vector<std::vector<float>> tensors;
    for (int c = 0; c < 12; ++c)
      tensors.push_back(plane(rng, c % 6 < 3 ? 0.0f : -50.0f, 50.0f));
    for (const auto& r : kRanges) {
      std::vector<float> psi[2][2];  // [baseline, avx2][data, gradient]
      for (int path = 0; path < 2; ++path) {
        psi[path][0].assign(kPixels, 7.0f);
        psi[path][1].assign(kPixels, 7.0f);
        RobustTerms t{du.data(),           dv.data(),          {}, {}, 1.0f / 30.0f, 5.0f / 30.0f,
                      psi[path][0].data(), psi[path][1].data()};
        for (int c = 0; c < 6; ++c) {
          t.j[c] = tensors[c].data();
          t.g[c] = tensors[6 + c].data();
        }
        (path == 0 ? flowsolver::detail::robustWeightsBaseline
                   : flowsolver::detail::robustWeightsAvx2)(r[0], r[1], t);
      }
      EXPECT_TRUE(sameBits(psi[0][0], psi[1][0])) << r[0] << ".." << r[1] << ", trial " << trial;
      EXPECT_TRUE(sameBits(psi[0][1], psi[1][1])) << r[0] << ".." << r[1] << ", trial " << trial;
    }
  }
}

TEST_F(WeightKernels, MatchCandidateSameBits) {
  std::mt19937 rng(8);
  for (int trial = 0; trial < 20; ++trial) {
    const std::vector<float> du = plane(rng, -1, 1), dv = plane(rng, -1, 1);
    const std::vector<float> u = plane(rng, -5, 5), v = plane(rng, -5, 5);
    const std::vector<float> mu = plane(rng, -5, 5), mv = plane(rng, -5, 5);
    // Confidences on both sides of 0, so that some pixels keep their sums.
    const std::vector<float> confidence = plane(rng, -1, 1);
    const std::vector<float> sum0 = plane(rng, 0, 3), ru0 = plane(rng, -3, 3),
                             rv0 = plane(rng, -3, 3);
    // Paths: the baseline and AVX2 adding to the sums, both with the sums taken as 0 (first),
    // and the baseline adding to sums filled with 0 first, which the first two must equal.
    for (const auto& r : kRanges) {
      std::vector<float> out[5][3];
      for (int path = 0; path < 5; ++path) {
        out[path][0] = sum0, out[path][1] = ru0, out[path][2] = rv0;
        if (path == 4) {
          for (auto& o : out[path])
            std::fill(o.begin() + r[0], o.begin() + r[1], 0.0f);
        }
        const MatchTerms t{du.data(),
                           dv.data(),
                           u.data(),
                           v.data(),
                           mu.data(),
                           mv.data(),
                           confidence.data(),
                           300.0f / 30.0f,
                           out[path][0].data(),
                           out[path][1].data(),
                           out[path][2].data(),
                           path == 2 || path == 3};
        (path % 2 == 0 ? flowsolver::detail::addMatchCandidateBaseline
                       : flowsolver::detail::addMatchCandidateAvx2)(r[0], r[1], t);
      }
      for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(sameBits(out[0][k], out[1][k]))
            << "output " << k << ", " << r[0] << ".." << r[1] << ", trial " << trial;
        for (int first : {2, 3})
          EXPECT_TRUE(sameBits(out[first][k], out[4][k]))
              << "first, path " << first << ", output " << k << ", " << r[0] << ".." << r[1];
      }
    }
  }
}

TEST_F(WeightKernels, PairWeightsSameBits) {
  std::mt19937 rng(9);
  for (int trial = 0; trial < 10; ++trial) {
    // One spare row beyond the pixels, which the vertical pairs of the last ones read.
    const int step = 9;
    auto withRow = [&](float lo, float hi) {
      std::vector<float> p = plane(rng, lo, hi);
      const std::vector<float> extra = plane(rng, lo, hi);
      p.insert(p.end(), extra.begin(), extra.begin() + step);
      return p;
    };
    const std::vector<float> s0 = withRow(-3, 3), s1 = withRow(-3, 3);
    const std::vector<float> d0 = withRow(-2, 2), d1 = withRow(-2, 2);
    const std::vector<float> m = plane(rng, -2, 2);
    for (const int pairStep : {0, 1, step}) {
      for (const bool horizontal : {true, false}) {
        for (const bool extra : {false, true}) {
          for (const auto& r : kRanges) {
            std::vector<float> w[2];
            for (int path = 0; path < 2; ++path) {
              w[path].assign(kPixels, 9.0f);
              const PairTerms t{
                  s0.data(), s1.data(), d0.data(),  d1.data(),     extra ? m.data() : nullptr,
                  0.7f,      pairStep,  horizontal, w[path].data()};
              (path == 0 ? flowsolver::detail::pairWeightsBaseline
                         : flowsolver::detail::pairWeightsAvx2)(r[0], r[1], t);
            }
            EXPECT_TRUE(sameBits(w[0], w[1]))
                << "step " << pairStep << (horizontal ? ", horizontal" : ", vertical")
                << (extra ? ", extra" : "") << ", " << r[0] << ".." << r[1];
          }
        }
      }
    }
  }
}

}  // namespace

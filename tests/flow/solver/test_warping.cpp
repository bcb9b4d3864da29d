// Coarse-to-fine warping: the level plan, the per-level warp, and the whole scheme on pairs
// with a known motion.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/pyramid.h"
#include "flow/solver/warp.h"
#include "solver_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

using flowsolver::PyramidLevel;

TEST(Pyramid, LevelCountsAndSizes) {
  struct Case {
    int nx, ny, maxLevel, levels, firstX, firstY;
  };
  const Case cases[] = {
      {640, 480, 67, 73, 21, 16},  // no level skipped
      {100, 100, 36, 42, 16, 16},
      {20, 20, 5, 10, 16, 16},   // level 1 (19 × 19, like level 2) skipped
      {16, 16, 1, 1, 16, 16},    // only level 1; all full-resolution passes skipped
      {15, 200, 0, 6, 15, 200},  // smaller side ≤ 15: full resolution from the start
  };
  for (const Case& c : cases) {
    EXPECT_EQ(flowsolver::coarsestLevel(c.nx, c.ny, 0.95f), c.maxLevel) << c.nx << "x" << c.ny;
    const std::vector<PyramidLevel> levels = flowsolver::pyramidLevels(c.nx, c.ny, 0.95f);
    ASSERT_EQ(static_cast<int>(levels.size()), c.levels) << c.nx << "x" << c.ny;
    EXPECT_EQ(levels.front().level, c.maxLevel);
    EXPECT_EQ(levels.front().xSize, c.firstX);
    EXPECT_EQ(levels.front().ySize, c.firstY);
    for (std::size_t k = 1; k < levels.size(); ++k) {
      EXPECT_LT(levels[k].level, levels[k - 1].level);
      EXPECT_GE(levels[k].xSize, levels[k - 1].xSize);
    }
    if (c.levels >= 6) {
      EXPECT_EQ(levels.back().level, -5);
      EXPECT_EQ(levels.back().xSize, c.nx);
      EXPECT_EQ(levels.back().ySize, c.ny);
    }
  }
  // 20 × 20: the levels are 5, 4, 3, 2, 0, −1, …, −5 with sizes 16, 17, 18, 19, 20.
  const std::vector<PyramidLevel> l20 = flowsolver::pyramidLevels(20, 20, 0.95f);
  const int expected[][2] = {{5, 16}, {4, 17}, {3, 18}, {2, 19}, {0, 20}};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(l20[k].level, expected[k][0]);
    EXPECT_EQ(l20[k].xSize, expected[k][1]);
  }
}

TEST(Pyramid, LevelSizesFollowTheCeilingOfThePower) {
  // ⌈0.95^p·640⌉ at a few p, checked by hand: 608, 578 (577.6), 22 (21.97…), 21 (20.87…).
  EXPECT_EQ(flowsolver::levelSize(0.95f, 1, 640), 608);
  EXPECT_EQ(flowsolver::levelSize(0.95f, 2, 640), 578);
  EXPECT_EQ(flowsolver::levelSize(0.95f, 66, 640), 22);
  EXPECT_EQ(flowsolver::levelSize(0.95f, 67, 640), 21);
  EXPECT_EQ(flowsolver::levelSize(0.95f, 0, 640), 640);
}

TEST(LevelWarp, OutsideSamplesFallBackToTheFirstImage) {
  std::mt19937 rng(41);
  const CTensor<float> first = solvertest::randomTensor(6, 5, 2, rng, 0, 1);
  const CTensor<float> second = solvertest::randomTensor(6, 5, 2, rng, 2, 3);
  CTensor<float> flow(6, 5, 2, 0.0f);
  flow(1, 1, 0) = -2.0f;  // points left of the image
  flow(2, 2, 1) = 0.5f;   // inside, halfway between rows 2 and 3
  CTensor<float> warped(6, 5, 2);
  CMatrix<float> mask(6, 5, 1.0f);
  flowsolver::warpSecondImage(first, second, flow, warped, mask);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool outside = x == 5 || y == 4 || (x == 1 && y == 1);
      EXPECT_EQ(mask(x, y), outside ? 0.0f : 1.0f) << x << "," << y;
      for (int q = 0; q < 2; ++q) {
        if (outside) {
          EXPECT_EQ(warped(x, y, q), first(x, y, q));
        } else if (x == 2 && y == 2) {
          EXPECT_NEAR(warped(x, y, q), 0.5 * (second(2, 2, q) + second(2, 3, q)), 1e-6);
        } else {
          EXPECT_EQ(warped(x, y, q), second(x, y, q));
        }
      }
    }
}

struct Empty {
  CTensor<float> u, v, c;
  Empty(int nx, int ny) : u(nx, ny, 0), v(nx, ny, 0), c(nx, ny, 0) {}
};

void solve(const CTensor<float>& image1, const CTensor<float>& image2, CTensor<float>& flow,
           CTensor<float>& mu, CTensor<float>& mv, CTensor<float>& mc, int outer = 5,
           int inner = 5) {
  COpticFlow::warpingGeometric(image1, image2, flow, mu, mv, mc, nullptr, 0.0f, 30.0f, 300.0f, 5.0f,
                               0.0f, 0.95f, outer, inner, 1.85f);
}

TEST(WarpingGeometric, IdenticalImagesGiveZeroFlowOfFullSize) {
  std::mt19937 rng(42);
  const CTensor<float> image = solvertest::randomTensor(30, 22, 3, rng, 0, 255);
  Empty m(30, 22);
  CTensor<float> flow(3, 3, 2, 5.0f);
  solve(image, image, flow, m.u, m.v, m.c);
  ASSERT_EQ(flow.xSize(), 30);
  ASSERT_EQ(flow.ySize(), 22);
  ASSERT_EQ(flow.zSize(), 2);
  for (int i = 0; i < flow.size(); ++i)
    EXPECT_EQ(flow.data()[i], 0.0f);
}

// The accuracy guard: a textured pair with a known smooth motion of up to about three pixels.
TEST(WarpingGeometric, RecoversKnownSmoothMotion) {
  CTensor<float> image1, image2, truth;
  const int nx = 64, ny = 48;
  solvertest::makeMovingPair(
      nx, ny, 3,
      [&](double x, double y, double& u, double& v) {
        u = 1.5 + 1.0 * std::sin(2 * M_PI * x / nx);
        v = -1.0 + 0.8 * std::cos(2 * M_PI * y / ny);
      },
      image1, image2, truth);
  Empty m(nx, ny);
  CTensor<float> flow;
  solve(image1, image2, flow, m.u, m.v, m.c);
  const double error = solvertest::endpointError(flow, truth, 4);
  EXPECT_LT(error, 0.1) << "average endpoint error";
  // Without the solver the error is the motion itself.
  CTensor<float> zero(nx, ny, 2, 0.0f);
  EXPECT_GT(solvertest::endpointError(zero, truth, 4), 1.5);
}

// Matches everywhere on a textureless pair: the flow follows the match vector on every
// pyramid level, and the final passes without matches keep it.
TEST(WarpingGeometric, UniformMatchesOnTexturelessPairAreFollowed) {
  const int nx = 40, ny = 30;
  const CTensor<float> image(nx, ny, 1, 50.0f);
  CTensor<float> mu(nx, ny, 1, 3.0f), mv(nx, ny, 1, -2.0f), mc(nx, ny, 1, 0.0f);
  for (int y = 0; y < ny; y += 4)
    for (int x = 0; x < nx; x += 4)
      mc(x, y, 0) = 1.0f;
  CTensor<float> flow;
  solve(image, image, flow, mu, mv, mc);
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x) {
      EXPECT_NEAR(flow(x, y, 0), 3.0f, 0.05f) << x << "," << y;
      EXPECT_NEAR(flow(x, y, 1), -2.0f, 0.05f) << x << "," << y;
    }
}

TEST(WarpingGeometric, SmallAndDegenerateSizesRunAndGiveFullSizeFlow) {
  std::mt19937 rng(43);
  const std::pair<int, int> sizes[] = {{16, 16}, {15, 200}, {1, 1}, {1, 30},
                                       {30, 1},  {3, 2},    {0, 0}, {0, 7}};
  for (const auto& size : sizes) {
    const CTensor<float> image1 = solvertest::randomTensor(size.first, size.second, 3, rng, 0, 255);
    const CTensor<float> image2 = solvertest::randomTensor(size.first, size.second, 3, rng, 0, 255);
    CTensor<float> mu = solvertest::randomTensor(size.first, size.second, 1, rng, -2, 2);
    CTensor<float> mv = solvertest::randomTensor(size.first, size.second, 1, rng, -2, 2);
    CTensor<float> mc = solvertest::randomTensor(size.first, size.second, 1, rng, -1, 1);
    CTensor<float> flow;
    COpticFlow::warpingGeometric(image1, image2, flow, mu, mv, mc, nullptr, 0.8f, 30.0f, 300.0f,
                                 5.0f, 0.0f, 0.95f, 3, 3, 1.85f);
    ASSERT_EQ(flow.xSize(), size.first);
    ASSERT_EQ(flow.ySize(), size.second);
    ASSERT_EQ(flow.zSize(), 2);
    for (int i = 0; i < flow.size(); ++i) {
      EXPECT_TRUE(std::isfinite(flow.data()[i])) << size.first << "x" << size.second;
    }
  }
}

TEST(WarpingGeometric, InconsistentArgumentsAreRefused) {
  const CTensor<float> image(20, 10, 1, 1.0f), other(20, 11, 1, 1.0f);
  CTensor<float> flow;
  Empty m(20, 10), wrong(19, 10);
  CTensor<float> fewConfidence(20, 10, 0), twoU(20, 10, 2, 0.0f), twoV(20, 10, 2, 0.0f);
  EXPECT_THROW(solve(image, other, flow, m.u, m.v, m.c), std::invalid_argument);
  EXPECT_THROW(solve(image, image, flow, wrong.u, m.v, m.c), std::invalid_argument);
  EXPECT_THROW(solve(image, image, flow, twoU, twoV, fewConfidence), std::invalid_argument);
  for (const float eta : {0.0f, 1.0f, 1.5f, -0.5f}) {
    EXPECT_THROW(COpticFlow::warpingGeometric(image, image, flow, m.u, m.v, m.c, nullptr, 0, 30,
                                              300, 5, 0, eta, 1, 1, 1.85f),
                 std::invalid_argument)
        << eta;
  }
}

}  // namespace

// Area reduction, weighted reduction and bilinear resize of matrices and tensors: the worked
// examples, double-precision oracles that integrate or interpolate directly, and the
// refusal of sizes that would take the operations outside their arrays.
#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/filters/resampling.h"
#include "flow/parallel/thread_pool.h"
#include "tests/flow/capture_cerr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

CMatrix<float> matrix(int x, int y, const std::vector<float>& values) {
  CMatrix<float> m(x, y);
  std::copy(values.begin(), values.end(), m.data());
  return m;
}

std::vector<float> values(const CMatrix<float>& m) {
  return std::vector<float>(m.data(), m.data() + m.size());
}

CMatrix<float> randomMatrix(int x, int y, std::mt19937& rng, float lo = -5, float hi = 5) {
  std::uniform_real_distribution<float> d(lo, hi);
  CMatrix<float> m(x, y);
  for (int i = 0; i < m.size(); ++i)
    m.data()[i] = d(rng);
  return m;
}

// Length of [a, a + 1) ∩ [b0, b1).
double overlap(double a, double b0, double b1) {
  return std::max(0.0, std::min(a + 1, b1) - std::max(a, b0));
}

// Mean of the input over each output footprint, integrated exactly in double.
std::vector<double> areaOracle(const CMatrix<float>& in, int nx, int ny) {
  const double fx = double(in.xSize()) / nx, fy = double(in.ySize()) / ny;
  std::vector<double> out(static_cast<std::size_t>(nx) * ny);
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      double sum = 0;
      for (int y = 0; y < in.ySize(); ++y) {
        const double wy = overlap(y, j * fy, (j + 1) * fy);
        for (int x = 0; x < in.xSize(); ++x) {
          sum += wy * overlap(x, i * fx, (i + 1) * fx) * in(x, y);
        }
      }
      out[i + j * nx] = sum / (fx * fy);
    }
  }
  return out;
}

TEST(AreaReduction, WorkedExamples) {
  struct Case {
    int x, y;
    std::vector<float> in;
    int nx, ny;
    std::vector<float> expected;
  };
  const std::vector<Case> cases = {
      {4, 1, {1, 2, 3, 4}, 2, 1, {1.5f, 3.5f}},
      {3, 1, {0, 3, 6}, 2, 1, {1, 5}},
      {4,
       4,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
       2,
       2,
       {2.5f, 4.5f, 10.5f, 12.5f}},
      {3, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 2, 2, {1.3333334f, 2.6666667f, 5.3333335f, 6.6666665f}},
      {1, 4, {1, 2, 3, 4}, 1, 2, {1.5f, 3.5f}},
      {3, 2, {1, 2, 3, 4, 5, 6}, 3, 2, {1, 2, 3, 4, 5, 6}},  // same size: unchanged
  };
  for (const Case& c : cases) {
    CMatrix<float> m = matrix(c.x, c.y, c.in);
    m.downsample(c.nx, c.ny);
    ASSERT_EQ(m.xSize(), c.nx);
    ASSERT_EQ(m.ySize(), c.ny);
    const std::vector<float> got = values(m);
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_FLOAT_EQ(got[i], c.expected[i]) << c.x << "x" << c.y << " element " << i;
    }
  }
}

TEST(AreaReduction, MatchesExactAreaIntegralAndKeepsConstants) {
  std::mt19937 rng(21);
  struct Case {
    int x, y, nx, ny;
  };
  // Pyramid steps of factor 0.95 and coarse reductions, with passes skipped on either axis.
  const std::vector<Case> cases = {{40, 30, 38, 28}, {20, 19, 19, 18}, {7, 5, 3, 2},
                                   {10, 10, 9, 10},  {10, 10, 10, 4},  {5, 3, 1, 1}};
  for (const Case& c : cases) {
    const CMatrix<float> in = randomMatrix(c.x, c.y, rng);
    CMatrix<float> m(in);
    m.downsample(c.nx, c.ny);
    const std::vector<double> expected = areaOracle(in, c.nx, c.ny);
    for (int i = 0; i < m.size(); ++i) {
      EXPECT_NEAR(m.data()[i], expected[i], 2e-5)
          << c.x << "x" << c.y << " -> " << c.nx << "x" << c.ny << " at " << i;
    }
    CMatrix<float> constant(c.x, c.y, 3.25f);
    constant.downsample(c.nx, c.ny);
    for (int i = 0; i < constant.size(); ++i)
      EXPECT_NEAR(constant.data()[i], 3.25f, 2e-5);
  }
}

TEST(WeightedReduction, WorkedExamples) {
  struct Case {
    std::vector<float> weights;
    float expected;
  };
  for (const Case& c : std::vector<Case>{
           {{1, 1}, 1.0f}, {{0, 1}, 3.0f}, {{0, 0}, 0.0f}, {{-1, 2}, 3.0f}, {{2, 0}, 0.0f}}) {
    CMatrix<float> m = matrix(2, 1, {0, 3});
    const CMatrix<float> w = matrix(2, 1, c.weights);
    m.downsample(1, 1, w);
    ASSERT_EQ(m.size(), 1);
    EXPECT_FLOAT_EQ(m.data()[0], c.expected) << c.weights[0] << "," << c.weights[1];
  }
}

TEST(WeightedReduction, MatchesSplattingOracle) {
  // Halving sizes keep every ratio and position exact, so a double oracle applies directly.
  std::mt19937 rng(22);
  const int x = 16, y = 12, nx = 8, ny = 6;
  const CMatrix<float> in = randomMatrix(x, y, rng);
  CMatrix<float> w = randomMatrix(x, y, rng, -1, 2);  // about a third of the pixels skipped
  std::vector<double> s(nx * ny, 0.0), ws(nx * ny, 0.0);
  for (int py = 0; py < y; ++py) {
    for (int px = 0; px < x; ++px) {
      const double wt = w(px, py);
      if (wt <= 0) continue;
      const double gx = px * 0.5, gy = py * 0.5;
      for (int cy = 0; cy < ny; ++cy) {
        for (int cx = 0; cx < nx; ++cx) {
          const double b =
              std::max(0.0, 1 - std::fabs(gx - cx)) * std::max(0.0, 1 - std::fabs(gy - cy));
          s[cx + cy * nx] += b * wt * in(px, py);
          ws[cx + cy * nx] += b * wt;
        }
      }
    }
  }
  CMatrix<float> m(in);
  m.downsample(nx, ny, w);
  ASSERT_EQ(m.xSize(), nx);
  ASSERT_EQ(m.ySize(), ny);
  for (int i = 0; i < nx * ny; ++i) {
    const double expected = ws[i] > 0 ? s[i] / ws[i] : 0.0;
    EXPECT_NEAR(m.data()[i], expected, 1e-4) << "cell " << i;
  }
  // A constant with any positive weights stays that constant wherever a weight arrived.
  CMatrix<float> constant(x, y, -2.0f);
  constant.downsample(nx, ny, w);
  for (int i = 0; i < nx * ny; ++i) {
    EXPECT_NEAR(constant.data()[i], ws[i] > 0 ? -2.0f : 0.0f, 1e-5) << "cell " << i;
  }
}

TEST(BilinearResize, WorkedExampleAndOracle) {
  CMatrix<float> row = matrix(2, 1, {0, 4});
  row.upsampleBilinear(4, 1);
  EXPECT_EQ(values(row), (std::vector<float>{0, 1, 3, 4}));

  std::mt19937 rng(23);
  struct Case {
    int x, y, nx, ny;
  };
  for (const Case& c :
       std::vector<Case>{{5, 4, 9, 7}, {38, 28, 40, 30}, {6, 6, 3, 4}, {1, 3, 4, 5}}) {
    const CMatrix<float> in = randomMatrix(c.x, c.y, rng);
    CMatrix<float> m(in);
    m.upsampleBilinear(c.nx, c.ny);
    ASSERT_EQ(m.xSize(), c.nx);
    ASSERT_EQ(m.ySize(), c.ny);
    for (int j = 0; j < c.ny; ++j) {
      for (int i = 0; i < c.nx; ++i) {
        const double sx = std::max(0.0, (i + 0.5) * c.x / c.nx - 0.5);
        const double sy = std::max(0.0, (j + 0.5) * c.y / c.ny - 0.5);
        const int x0 = int(sx), y0 = int(sy);
        const int x1 = std::min(x0 + 1, c.x - 1), y1 = std::min(y0 + 1, c.y - 1);
        const double ax = sx - x0, ay = sy - y0;
        const double expected = (1 - ay) * ((1 - ax) * in(x0, y0) + ax * in(x1, y0)) +
                                ay * ((1 - ax) * in(x0, y1) + ax * in(x1, y1));
        EXPECT_NEAR(m(i, j), expected, 1e-4) << c.x << "x" << c.y << " at " << i << "," << j;
      }
    }
  }
}

TEST(TensorResampling, ChannelsAreResizedLikeMatrices) {
  std::mt19937 rng(24);
  const int x = 13, y = 9, z = 3;
  CTensor<float> t(x, y, z), w(x, y, z + 1);
  for (int i = 0; i < t.size(); ++i)
    t.data()[i] = std::uniform_real_distribution<float>(-3, 3)(rng);
  for (int i = 0; i < w.size(); ++i)
    w.data()[i] = std::uniform_real_distribution<float>(-1, 1)(rng);
  using Op = std::function<void(CMatrix<float>&, const CMatrix<float>&)>;
  using TOp = std::function<void(CTensor<float>&)>;
  const std::vector<std::pair<Op, TOp>> ops = {
      {[](CMatrix<float>& m, const CMatrix<float>&) { m.downsample(12, 8); },
       [](CTensor<float>& u) { u.downsample(12, 8); }},
      {[](CMatrix<float>& m, const CMatrix<float>& wm) { m.downsample(7, 5, wm); },
       [&](CTensor<float>& u) { u.downsample(7, 5, w); }},
      {[](CMatrix<float>& m, const CMatrix<float>&) { m.upsampleBilinear(20, 11); },
       [](CTensor<float>& u) { u.upsampleBilinear(20, 11); }},
  };
  for (std::size_t o = 0; o < ops.size(); ++o) {
    CTensor<float> u(t);
    ops[o].second(u);
    ASSERT_EQ(u.zSize(), z);
    for (int c = 0; c < z; ++c) {
      CMatrix<float> plane(x, y), weights(x, y);
      t.getMatrix(plane, c);
      w.getMatrix(weights, c);
      ops[o].first(plane, weights);
      ASSERT_EQ(u.xSize(), plane.xSize());
      ASSERT_EQ(u.ySize(), plane.ySize());
      CMatrix<float> got(plane.xSize(), plane.ySize());
      u.getMatrix(got, c);
      EXPECT_EQ(values(got), values(plane)) << "operation " << o << " channel " << c;
    }
  }
}

bool sameBits(const CTensor<float>& a, const CTensor<float>& b) {
  return a.xSize() == b.xSize() && a.ySize() == b.ySize() && a.zSize() == b.zSize() &&
         std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

// The free functions into a reused destination against a copy resized by the member
// function, bit for bit, through sizes that shrink and grow as a pyramid's levels do: the
// destination and the scratch keep what the last call left in them.
TEST(ResamplingInto, SameBitsAsTheMemberOnACopy) {
  std::mt19937 rng(25);
  const int x = 29, y = 17, z = 3;
  CTensor<float> t(x, y, z), w(x, y, z);
  for (int i = 0; i < t.size(); ++i)
    t.data()[i] = std::uniform_real_distribution<float>(-3, 3)(rng);
  // Weights with some pixels left out (not positive), as match confidences have.
  for (int i = 0; i < w.size(); ++i)
    w.data()[i] = std::uniform_real_distribution<float>(-0.5f, 1)(rng);
  const CMatrix<float> m = randomMatrix(x, y, rng);
  CTensor<float> reduced(x, y, z, 7.0f), weighted(x, y, z, 7.0f), grown(1, 1, z, 7.0f);
  CMatrix<float> reducedMatrix(x, y, 7.0f);
  flowdetail::LargeVector<float> scratch;
  const int sizes[][2] = {{5, 3}, {11, 7}, {29, 17}, {17, 10}, {1, 1}, {28, 2}, {2, 16}};
  for (const auto& size : sizes) {
    const int nx = size[0], ny = size[1];
    CTensor<float> expected(t);
    expected.downsample(nx, ny);
    flowresample::downsample(t, nx, ny, reduced, &scratch);
    EXPECT_TRUE(sameBits(reduced, expected)) << nx << " x " << ny << " area";

    expected = t;
    expected.downsample(nx, ny, w);
    flowresample::downsample(t, nx, ny, w, weighted, &scratch);
    EXPECT_TRUE(sameBits(weighted, expected)) << nx << " x " << ny << " weighted";

    CMatrix<float> expectedMatrix(m);
    expectedMatrix.downsample(nx, ny);
    flowresample::downsample(m, nx, ny, reducedMatrix);
    EXPECT_EQ(values(reducedMatrix), values(expectedMatrix)) << nx << " x " << ny << " matrix";

    // The reduction grown back to full size, as the flow is carried up.
    expected = reduced;
    expected.upsampleBilinear(x, y);
    flowresample::upsampleBilinear(reduced, x, y, grown);
    EXPECT_TRUE(sameBits(grown, expected)) << nx << " x " << ny << " bilinear";
  }
}

// The same resamplings with their rows shared among threads, bit for bit against the member
// on a copy: output rows fewer than, as many as and more than the threads, reductions along
// one axis only, not-a-number and infinite samples and weights.
TEST(ResamplingInto, RowsSharedAmongThreadsKeepTheBits) {
  std::mt19937 rng(26);
  const int x = 37, y = 23, z = 2;
  CTensor<float> t(x, y, z), w(x, y, z);
  for (int i = 0; i < t.size(); ++i) {
    t.data()[i] = std::uniform_real_distribution<float>(-3, 3)(rng);
    w.data()[i] = std::uniform_real_distribution<float>(-0.5f, 1)(rng);
  }
  t.data()[40] = std::numeric_limits<float>::quiet_NaN();
  t.data()[300] = std::numeric_limits<float>::infinity();
  w.data()[77] = std::numeric_limits<float>::quiet_NaN();
  w.data()[500] = std::numeric_limits<float>::infinity();
  const int sizes[][2] = {{1, 1}, {5, 2}, {36, 3}, {37, 11}, {9, 23}, {30, 20}};
  for (const int threads : {2, 3, 8}) {
    flowthreads::Pool pool(threads);
    for (flowthreads::Pool* onPool : {static_cast<flowthreads::Pool*>(nullptr), &pool}) {
      CTensor<float> reduced(3, 3, 1, 7.0f), weighted, grown;
      CMatrix<float> reducedMatrix;
      flowdetail::LargeVector<float> scratch;
      for (const auto& size : sizes) {
        const int nx = size[0], ny = size[1];
        const std::string where = std::to_string(nx) + " x " + std::to_string(ny) + ", " +
                                  std::to_string(threads) + " threads" +
                                  (onPool != nullptr ? ", pool" : "");
        CTensor<float> expected(t);
        expected.downsample(nx, ny);
        flowresample::downsample(t, nx, ny, reduced, &scratch, onPool, threads);
        EXPECT_TRUE(sameBits(reduced, expected)) << where << " area";

        expected = t;
        expected.downsample(nx, ny, w);
        flowresample::downsample(t, nx, ny, w, weighted, &scratch, onPool, threads);
        EXPECT_TRUE(sameBits(weighted, expected)) << where << " weighted";

        CMatrix<float> m(x, y), expectedMatrix(x, y);
        std::copy(t.data(), t.data() + m.size(), m.data());
        expectedMatrix = m;
        expectedMatrix.downsample(nx, ny);
        flowresample::downsample(m, nx, ny, reducedMatrix, nullptr, onPool, threads);
        EXPECT_EQ(0, std::memcmp(reducedMatrix.data(), expectedMatrix.data(),
                                 sizeof(float) * expectedMatrix.size()))
            << where << " matrix";

        expected = weighted;
        expected.upsampleBilinear(x, y);
        flowresample::upsampleBilinear(weighted, x, y, grown, onPool, threads);
        EXPECT_TRUE(sameBits(grown, expected)) << where << " bilinear";
      }
    }
  }
}

// The x pass taking several rows at a time against one row at a time, bit for bit: row
// counts below, at and past a multiple of the rows taken together, blocks of rows of the
// threads starting anywhere, pyramid steps and coarse reductions, NaN and infinities.
TEST(AreaReduction, SeveralRowsAtATimeKeepTheBitsOfOneRowAtATime) {
  std::mt19937 rng(27);
  const struct {
    int x, y, nx, ny;
  } cases[] = {{1, 1, 1, 1},   {9, 3, 5, 3},    {37, 23, 36, 22}, {64, 9, 61, 9},
               {200, 7, 7, 5}, {41, 16, 2, 15}, {300, 13, 285, 1}};
  flowthreads::Pool pool(3);
  for (const auto& c : cases) {
    CMatrix<float> in = randomMatrix(c.x, c.y, rng, -1e3f, 1e3f);
    if (in.size() > 20) {
      in.data()[7] = std::numeric_limits<float>::quiet_NaN();
      in.data()[in.size() - 3] = -std::numeric_limits<float>::infinity();
    }
    CMatrix<float> expected, got;
    flowresample::downsampleRowByRow(in, c.nx, c.ny, expected);
    for (const int threads : {1, 2, 3}) {
      flowresample::downsample(in, c.nx, c.ny, got, nullptr, &pool, threads);
      ASSERT_EQ(got.size(), expected.size());
      EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), sizeof(float) * got.size()))
          << c.x << "x" << c.y << " -> " << c.nx << "x" << c.ny << " on " << threads << " threads";
    }
  }
}

// Tensors reduced together with the same weights against one weighted reduction each, bit
// for bit, scanning every pixel and visiting the listed pixels of positive weight: one to more
// planes than a pass takes, several channels, weights that are zero, negative, not a number or
// infinite, values that are not finite, threads and a pool.
TEST(WeightedReduction, TensorsTogetherKeepTheBitsOfOneAtATime) {
  std::mt19937 rng(28);
  const int x = 41, y = 29;
  const struct {
    int count, z, nx, ny, threads;
  } cases[] = {{1, 1, 20, 14, 1}, {3, 1, 39, 28, 2}, {3, 2, 5, 3, 3},
               {9, 1, 1, 1, 1},   {10, 2, 40, 2, 2}, {2, 1, 41, 29, 1}};
  flowthreads::Pool pool(3);
  for (const auto& c : cases) {
    CTensor<float> weights(x, y, c.z);
    std::vector<CTensor<float>> src(c.count, CTensor<float>(x, y, c.z)), got(c.count);
    for (int i = 0; i < weights.size(); ++i) {
      // A quarter of the pixels weighted, as the matches are.
      weights.data()[i] = i % 4 == 0 ? std::uniform_real_distribution<float>(-0.2f, 2)(rng) : 0;
      for (CTensor<float>& t : src)
        t.data()[i] = std::uniform_real_distribution<float>(-40, 40)(rng);
    }
    weights.data()[8] = std::numeric_limits<float>::quiet_NaN();
    weights.data()[12] = std::numeric_limits<float>::infinity();
    src[0].data()[16] = -std::numeric_limits<float>::infinity();
    src[c.count - 1].data()[20] = std::numeric_limits<float>::quiet_NaN();
    std::vector<const CTensor<float>*> in;
    std::vector<CTensor<float>*> out;
    for (int i = 0; i < c.count; ++i) {
      in.push_back(&src[i]);
      out.push_back(&got[i]);
    }
    flowresample::downsample(in.data(), out.data(), c.count, c.nx, c.ny, weights, nullptr, &pool,
                             c.threads);
    // The same, visiting only the listed pixels of positive weight.
    std::vector<CTensor<float>> listed(c.count);
    std::vector<CTensor<float>*> listedOut;
    for (CTensor<float>& t : listed)
      listedOut.push_back(&t);
    flowresample::downsample(in.data(), listedOut.data(), c.count, c.nx, c.ny, weights,
                             flowresample::positivePixels(weights), nullptr, &pool, c.threads);
    for (int i = 0; i < c.count; ++i) {
      CTensor<float> expected;
      flowresample::downsample(src[i], c.nx, c.ny, weights, expected);
      EXPECT_TRUE(sameBits(got[i], expected)) << c.count << " tensors of " << c.z << " channels to "
                                              << c.nx << "x" << c.ny << ", tensor " << i;
      EXPECT_TRUE(sameBits(listed[i], expected))
          << c.count << " tensors of " << c.z << " channels to " << c.nx << "x" << c.ny
          << ", tensor " << i << ", positive pixels listed";
    }
  }
  CTensor<float> a(4, 3, 1, 1.0f), b(4, 2, 1, 1.0f), w(4, 3, 1, 1.0f), out[2];
  const CTensor<float>* in[] = {&a, &b};
  CTensor<float>* to[] = {&out[0], &out[1]};
  EXPECT_THROW(flowresample::downsample(in, to, 2, 2, 2, w, nullptr, nullptr, 1),
               std::invalid_argument);
  // A list formed from weights of another size is refused.
  const CTensor<float>* same[] = {&a};
  EXPECT_THROW(flowresample::downsample(same, to, 1, 2, 2, w,
                                        flowresample::positivePixels(CTensor<float>(4, 3, 2, 1.0f)),
                                        nullptr, nullptr, 1),
               std::invalid_argument);
}

TEST(TensorResampling, WeightsOfAnotherPlaneSizePrintAndThrow) {
  CTensor<float> t(4, 3, 2, 1.0f);
  const CTensor<float> w(5, 3, 2, 1.0f);
  CaptureCerr err;
  EXPECT_THROW(t.downsample(2, 2, w), ETensorIncompatibleSize);
  EXPECT_EQ(err.text(), "Exception ETensorIncompatibleSize: x = 4:5, y = 3:3\n");
  EXPECT_EQ(t.xSize(), 4);
}

TEST(Resampling, SizesOutsideTheArraysAreRefused) {
  const std::vector<std::function<void()>> calls = {
      [] {
        CMatrix<float> m(4, 4, 1.0f);
        m.downsample(5, 4);
      },
      [] {
        CMatrix<float> m(4, 4, 1.0f);
        m.downsample(2, 0);
      },
      [] {
        CTensor<float> t(4, 4, 2, 1.0f);
        t.downsample(4, 6);
      },
      [] {
        CTensor<float> t(4, 4, 2, 1.0f);
        t.downsample(-1, 2);
      },
      [] {
        CMatrix<float> m(4, 4, 1.0f);
        m.downsample(2, 2, CMatrix<float>(4, 3, 1.0f));
      },
      [] {
        CMatrix<float> m(4, 4, 1.0f);
        m.downsample(0, 2, CMatrix<float>(4, 4, 1.0f));
      },
      [] {
        CTensor<float> t(4, 4, 3, 1.0f);
        t.downsample(2, 2, CTensor<float>(4, 4, 2, 1.0f));
      },
      [] {
        CTensor<float> t(4, 4, 1, 1.0f);
        t.downsample(2, -2, CTensor<float>(4, 4, 1, 1.0f));
      },
      [] {
        CMatrix<float> m(4, 4, 1.0f);
        m.upsampleBilinear(0, 3);
      },
      [] {
        CMatrix<float> m;
        m.upsampleBilinear(3, 3);
      },
      [] {
        CTensor<float> t(2, 2, 1, 1.0f);
        t.upsampleBilinear(3, -3);
      },
      [] {
        CTensor<float> t(0, 2, 1);
        t.upsampleBilinear(3, 3);
      },
  };
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_THROW(calls[i](), std::invalid_argument) << "case " << i;
  }
}

}  // namespace

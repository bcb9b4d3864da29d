// Flow utilities: backward warp against a double-precision oracle, angular error, the
// colour wheel and the flow picture.
#include "flow/solver/COpticFlow.h"
#include "solver_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

struct Colour {
  float r, g, b;
};

Colour rgb(float x, float y) {
  Colour c{-1, -1, -1};
  COpticFlow::cartesianToRGB(x, y, c.r, c.g, c.b);
  return c;
}

TEST(CartesianToRGB, WheelColours) {
  const double pi = 3.14159265358979;
  struct Case {
    float x, y;
    Colour expected;
  };
  const Case cases[] = {
      {0, 0, {0, 0, 0}},       // no motion: ρ = 0
      {1, 0, {255, 0, 0}},     // red
      {0.5f, 0, {127, 0, 0}},  // half saturation, truncated
      {1, 1, {255, 0, 255}},   // a = π/8, start of the second segment
      {0, 1, {64, 64, 255}},   // a = π/4
      {-1, 0, {0, 255, 0}},    // a = π/2
      {0, -1, {254, 255, 0}},  // just below 3π/4 in single precision
      {3, 0, {255, 0, 0}},     // longer than 1: saturated
      {static_cast<float>(2 * std::cos(pi / 8)),
       static_cast<float>(2 * std::sin(pi / 8)),
       {255, 0, 127}},  // middle of the first segment
      {static_cast<float>(2 * std::cos(5 * pi / 4)),
       static_cast<float>(2 * std::sin(5 * pi / 4)),
       {127, 255, 0}},  // a = 5π/8, middle of the fifth segment
      {static_cast<float>(2 * std::cos(7 * pi / 4)),
       static_cast<float>(2 * std::sin(7 * pi / 4)),
       {255, 127, 0}},  // a = 7π/8, middle of the last segment
  };
  for (const Case& c : cases) {
    const Colour got = rgb(c.x, c.y);
    EXPECT_EQ(got.r, c.expected.r) << c.x << ", " << c.y;
    EXPECT_EQ(got.g, c.expected.g) << c.x << ", " << c.y;
    EXPECT_EQ(got.b, c.expected.b) << c.x << ", " << c.y;
  }
}

TEST(CartesianToRGB, AngleThatIsNotANumberLeavesTheColourUntouched) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const auto& v : {std::pair<float, float>{nan, 0}, {1, nan}, {nan, nan}}) {
    const Colour got = rgb(v.first, v.second);
    EXPECT_EQ(got.r, -1);
    EXPECT_EQ(got.g, -1);
    EXPECT_EQ(got.b, -1);
  }
}

TEST(FlowToImage, DivisorScalesAndNonNumericPixelsRepeatThePreviousColour) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // Pixels: NaN first (black), full red at 2√2·divisor, half red, NaN (copies half red).
  CTensor<float> flow(4, 1, 2, 0.0f);
  const float divisor = 4;
  const float values[4] = {nan, 2.8284272f * divisor, 1.4142137f * divisor, nan};
  for (int x = 0; x < 4; ++x)
    flow(x, 0, 0) = values[x];
  CTensor<float> image(1, 1, 1);
  COpticFlow::flowToImage(flow, image, divisor);
  ASSERT_EQ(image.xSize(), 4);
  ASSERT_EQ(image.ySize(), 1);
  ASSERT_EQ(image.zSize(), 3);
  const float expectedRed[4] = {0, 255, 127, 127};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(image(x, 0, 0), expectedRed[x]) << x;
    EXPECT_EQ(image(x, 0, 1), 0) << x;
    EXPECT_EQ(image(x, 0, 2), 0) << x;
  }
}

// Double-precision bilinear sample of one channel, or NaN when it leaves the image.
double oracleSample(const CTensor<float>& image, int k, double fx, double fy) {
  if (!(fx > -1 && fy > -1 && fx < image.xSize() && fy < image.ySize())) return NAN;
  const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
  if (x0 + 1 >= image.xSize() || y0 + 1 >= image.ySize()) return NAN;
  const double ax = fx - x0, ay = fy - y0;
  return (1 - ay) * ((1 - ax) * image(x0, y0, k) + ax * image(x0 + 1, y0, k)) +
         ay * ((1 - ax) * image(x0, y0 + 1, k) + ax * image(x0 + 1, y0 + 1, k));
}

TEST(Warp, MatchesBilinearOracleAndMarksSamplesOutside) {
  std::mt19937 rng(3);
  const int nx = 13, ny = 9;
  const CTensor<float> image = solvertest::randomTensor(nx, ny, 3, rng, 0, 255);
  CTensor<float> flow = solvertest::randomTensor(nx, ny, 2, rng, -3, 3);
  // Integer shifts, the left-edge extrapolation band (−1, 0) and far-off vectors.
  flow(0, 0, 0) = -0.5f;
  flow(0, 0, 1) = 0.0f;
  flow(2, 3, 0) = 1e30f;
  flow(4, 4, 1) = -std::numeric_limits<float>::infinity();
  flow(5, 5, 0) = std::numeric_limits<float>::quiet_NaN();
  CTensor<float> result(nx, ny, 3, -7.0f);
  CMatrix<bool> outside(nx, ny, true);
  COpticFlow::warp(image, result, outside, flow);
  int inside = 0;
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x) {
      const double fx = x + static_cast<double>(flow(x, y, 0));
      const double fy = y + static_cast<double>(flow(x, y, 1));
      const bool expectOutside = std::isnan(oracleSample(image, 0, fx, fy));
      EXPECT_EQ(outside(x, y), expectOutside) << x << ", " << y;
      for (int k = 0; k < 3; ++k) {
        if (expectOutside) {
          EXPECT_EQ(result(x, y, k), -7.0f);
        } else {
          EXPECT_NEAR(result(x, y, k), oracleSample(image, k, fx, fy), 1e-3);
        }
      }
      inside += !expectOutside;
    }
  EXPECT_GT(inside, nx * ny / 4);
  // At (0, 0): 1.5·I(0, 0) − 0.5·I(1, 0).
  EXPECT_FALSE(outside(0, 0));
  EXPECT_NEAR(result(0, 0, 1), 1.5 * image(0, 0, 1) - 0.5 * image(1, 0, 1), 1e-3);
}

TEST(Warp, ZeroFlowCopiesAllButTheLastColumnAndRow) {
  std::mt19937 rng(4);
  const CTensor<float> image = solvertest::randomTensor(5, 4, 2, rng, -1, 1);
  CTensor<float> flow(5, 4, 2, 0.0f);
  CTensor<float> result(5, 4, 2, 42.0f);
  CMatrix<bool> outside(5, 4);
  COpticFlow::warp(image, result, outside, flow);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool border = x == 4 || y == 3;
      EXPECT_EQ(outside(x, y), border);
      for (int k = 0; k < 2; ++k)
        EXPECT_EQ(result(x, y, k), border ? 42.0f : image(x, y, k));
    }
}

TEST(Warp, OperandsOfAnotherSizeAreRefused) {
  const CTensor<float> image(4, 3, 2, 1.0f);
  CTensor<float> flow(4, 3, 2, 0.0f), smallResult(3, 3, 2), fewChannels(4, 3, 1);
  CTensor<float> result(4, 3, 2), oneChannelFlow(4, 3, 1);
  CMatrix<bool> outside(4, 3), wrongMask(4, 2);
  EXPECT_THROW(COpticFlow::warp(image, smallResult, outside, flow), std::invalid_argument);
  EXPECT_THROW(COpticFlow::warp(image, fewChannels, outside, flow), std::invalid_argument);
  EXPECT_THROW(COpticFlow::warp(image, result, wrongMask, flow), std::invalid_argument);
  EXPECT_THROW(COpticFlow::warp(image, result, outside, oneChannelFlow), std::invalid_argument);
}

TEST(AngularError, KnownAnglesAndIgnoredPixels) {
  // Flow (1, 0) against reference (0, 0): the space-time vectors (1, 0, 1) and (0, 0, 1) meet
  // at 45°. Flow (0, 0) against (0, 0): 0°. The third pixel's reference is unknown.
  CTensor<float> flow(3, 1, 2, 0.0f), reference(3, 1, 2, 0.0f);
  flow(0, 0, 0) = 1.0f;
  flow(2, 0, 0) = 100.0f;
  reference(2, 0, 1) = 1.7e9f;
  EXPECT_NEAR(COpticFlow::angularError(flow, reference), 22.5, 1e-4);
  reference(1, 0, 0) = -2e9f;
  EXPECT_NEAR(COpticFlow::angularError(flow, reference), 45.0, 1e-4);
  reference(0, 0, 0) = 1e10f;
  EXPECT_TRUE(std::isnan(COpticFlow::angularError(flow, reference)));
}

TEST(AngularError, FlowAgainstItselfAndAgainstOpposite) {
  std::mt19937 rng(5);
  CTensor<float> flow = solvertest::randomTensor(8, 6, 2, rng, -4, 4);
  EXPECT_NEAR(COpticFlow::angularError(flow, flow), 0.0, 0.05);
  // Against a reference of opposite direction every angle is acos((1 − |w|²)/(1 + |w|²)).
  CTensor<float> opposite(flow);
  opposite *= -1.0f;
  double expected = 0;
  for (int i = 0; i < 48; ++i) {
    const double u = flow.data()[i], v = flow.data()[48 + i], s = u * u + v * v;
    expected += std::acos((1 - s) / (1 + s)) * 180 / M_PI;
  }
  EXPECT_NEAR(COpticFlow::angularError(flow, opposite), expected / 48, 1e-3);
}

}  // namespace

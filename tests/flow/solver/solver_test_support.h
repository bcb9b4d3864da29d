// Shared helpers of the solver tests: building containers, bit-exact comparison, a textured
// test pair with a known motion, and capture of standard output.
#ifndef MOTIONSEG_TESTS_FLOW_SOLVER_SOLVER_TEST_SUPPORT_H
#define MOTIONSEG_TESTS_FLOW_SOLVER_SOLVER_TEST_SUPPORT_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"

#include <cmath>
#include <cstring>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace solvertest {

/// Tensor whose element (x, y, z) is f(x, y, z).
template <typename F>
CTensor<float> tensorOf(int nx, int ny, int nz, F f) {
  CTensor<float> t(nx, ny, nz);
  for (int z = 0; z < nz; ++z)
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x)
        t(x, y, z) = static_cast<float>(f(x, y, z));
  return t;
}

/// Tensor of uniformly random values in [lo, hi).
inline CTensor<float> randomTensor(int nx, int ny, int nz, std::mt19937& rng, float lo, float hi) {
  std::uniform_real_distribution<float> d(lo, hi);
  return tensorOf(nx, ny, nz, [&](int, int, int) { return d(rng); });
}

/// Same sizes and the same bits in every element.
inline bool sameBits(const CTensor<float>& a, const CTensor<float>& b) {
  return a.xSize() == b.xSize() && a.ySize() == b.ySize() && a.zSize() == b.zSize() &&
         std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

/// A smooth texture of several orientations and frequencies (all below 0.6 rad per pixel).
inline double texture(double x, double y, int channel) {
  const double c = channel;
  return 128.0 + 40.0 * std::sin(0.31 * x + 0.17 * y + c) +
         30.0 * std::sin(0.13 * x - 0.41 * y + 1.0 + 0.5 * c) +
         25.0 * std::cos(0.53 * x + 0.07 * y - c) + 15.0 * std::sin(0.05 * x + 0.23 * y);
}

/// A first image with the texture and a second image that shows every point of the first
/// moved by the given smooth flow: image2(x + u, y + v) = image1(x, y), exactly. The flow
/// must be a contraction perturbation (|∇w| < 1), so the inverse map is found by iteration.
template <typename Flow>
void makeMovingPair(int nx, int ny, int channels, Flow w, CTensor<float>& image1,
                    CTensor<float>& image2, CTensor<float>& truth) {
  image1 = tensorOf(nx, ny, channels, [](int x, int y, int c) { return texture(x, y, c); });
  truth.setSize(nx, ny, 2);
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x) {
      double u, v;
      w(x, y, u, v);
      truth(x, y, 0) = static_cast<float>(u);
      truth(x, y, 1) = static_cast<float>(v);
    }
  image2.setSize(nx, ny, channels);
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x) {
      // q with q + w(q) = (x, y).
      double qx = x, qy = y;
      for (int it = 0; it < 60; ++it) {
        double u, v;
        w(qx, qy, u, v);
        qx = x - u;
        qy = y - v;
      }
      for (int c = 0; c < channels; ++c)
        image2(x, y, c) = static_cast<float>(texture(qx, qy, c));
    }
}

/// Average endpoint error of a flow against the truth, over pixels at least `border` pixels
/// from the image edge.
inline double endpointError(const CTensor<float>& flow, const CTensor<float>& truth, int border) {
  double sum = 0;
  int count = 0;
  for (int y = border; y < flow.ySize() - border; ++y)
    for (int x = border; x < flow.xSize() - border; ++x) {
      sum += std::hypot(flow(x, y, 0) - truth(x, y, 0), flow(x, y, 1) - truth(x, y, 1));
      ++count;
    }
  return sum / count;
}

/// Captures what the code under test writes to std::cout while the object lives.
class CaptureCout {
 public:
  CaptureCout() : mOld(std::cout.rdbuf(mBuffer.rdbuf())) {}
  ~CaptureCout() { std::cout.rdbuf(mOld); }
  CaptureCout(const CaptureCout&) = delete;
  CaptureCout& operator=(const CaptureCout&) = delete;
  std::string text() const { return mBuffer.str(); }

 private:
  std::ostringstream mBuffer;
  std::streambuf* mOld;
};

}  // namespace solvertest

#endif  // MOTIONSEG_TESTS_FLOW_SOLVER_SOLVER_TEST_SUPPORT_H

// Operations on finished flow fields: backward warping, angular error against a reference,
// and the colour-wheel picture of a flow.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/bilinear_sample.h"
#include "flow/solver/solver_checks.h"
#include "flow/numerics/NMath.h"

#include <algorithm>
#include <cmath>

namespace {

// The single-precision π of the whole flow, widened to double where a formula asks for it.
constexpr float kPi = NMath::Pi;

// Scales a wheel colour by the saturation ρ, truncates toward zero and clamps to 0..255. The
// comparisons come before the conversion, so a value that is not a number gives 0.
float saturate(float value, float rho) {
  const double v = static_cast<double>(value) * static_cast<double>(rho);
  if (!(v > 0.0)) return 0.0f;
  if (v >= 255.0) return 255.0f;
  return static_cast<float>(static_cast<int>(v));
}

}  // namespace

void COpticFlow::warp(const CTensor<float>& image, CTensor<float>& result, CMatrix<bool>& outside,
                      CTensor<float>& flow) {
  const int nx = image.xSize(), ny = image.ySize(), nc = image.zSize();
  flowsolver::requireTensor(result, nx, ny, nc, "COpticFlow::warp", "result");
  flowsolver::requireMatrix(outside, nx, ny, "COpticFlow::warp", "outside mask");
  flowsolver::requireTensor(flow, nx, ny, 2, "COpticFlow::warp", "flow");
  outside.fill(false);
  const int plane = nx * ny;
  const float* u = flow.data();
  const float* v = u + plane;
  for (int y = 0; y < ny; ++y) {
    for (int x = 0; x < nx; ++x) {
      const int i = x + y * nx;
      flowsolver::SamplePoint p;
      if (!flowsolver::locateSample(static_cast<float>(x) + u[i], static_cast<float>(y) + v[i], nx,
                                    ny, p)) {
        outside.data()[i] = true;
        continue;
      }
      for (int k = 0; k < nc; ++k) {
        result.data()[i + k * plane] = flowsolver::sampleBilinear(image.data() + k * plane, nx, p);
      }
    }
  }
}

float COpticFlow::angularError(CTensor<float>& flow, CTensor<float>& reference) {
  const int nx = flow.xSize(), ny = flow.ySize();
  flowsolver::requireTensor(flow, nx, ny, 2, "COpticFlow::angularError", "flow");
  flowsolver::requireTensor(reference, nx, ny, 2, "COpticFlow::angularError", "reference");
  const int plane = nx * ny;
  const float* u = flow.data();
  const float* v = u + plane;
  const float* ur = reference.data();
  const float* vr = ur + plane;
  float sum = 0.0f;
  int count = 0;
  for (int i = 0; i < plane; ++i) {
    // Reference vectors beyond 10⁹ mark pixels without a true flow.
    if (std::fabs(ur[i]) > 1e9f || std::fabs(vr[i]) > 1e9f) continue;
    // Cosine of the angle between the space-time vectors (u, v, 1) and (u′, v′, 1).
    const float dot = ur[i] * u[i] + vr[i] * v[i];
    const float refSquare = ur[i] * ur[i] + vr[i] * vr[i];
    const float square = u[i] * u[i] + v[i] * v[i];
    float s = static_cast<float>(
        (static_cast<double>(dot) + 1.0) /
        std::sqrt((static_cast<double>(refSquare) + 1.0) * (static_cast<double>(square) + 1.0)));
    s = std::min(1.0f, std::max(-1.0f, s));
    sum = static_cast<float>(sum + std::acos(static_cast<double>(s)) * 57.29577866666166);
    ++count;
  }
  return sum / static_cast<float>(count);
}

void COpticFlow::cartesianToRGB(float x, float y, float& r, float& g, float& b) {
  const float rho = std::min(1.0f, std::sqrt(x * x + y * y));
  // Polar angle in [0, 2π); it stays not a number for a non-numeric x.
  float theta = std::nanf("");
  if (x == 0.0f) {
    theta = y >= 0.0f ? kPi * 0.5f : kPi * 1.5f;
  } else if (x > 0.0f && y >= 0.0f) {
    theta = std::atan(y / x);
  } else if (x > 0.0f && y < 0.0f) {
    theta = static_cast<float>(std::atan(static_cast<double>(y / x)) + 2.0 * kPi);
  } else if (x < 0.0f) {
    theta = static_cast<float>(std::atan(static_cast<double>(y / x)) + static_cast<double>(kPi));
  }
  const double a = static_cast<double>(theta * 0.5f);
  const double pi = static_cast<double>(kPi);
  // Position h inside a segment of the wheel that starts at `start` and spans `width`.
  auto position = [a](double start, double width) {
    return static_cast<float>((a - start) / width);
  };
  float red, green, blue;
  if (a >= 0.0 && a < pi / 8) {
    const float h = position(0.0, pi / 8);
    red = 255.0f;
    green = 0.0f;
    blue = 255.0f * h;
  } else if (a >= pi / 8 && a < pi / 4) {
    const float h = position(pi / 8, pi / 8);
    red = 255.0f * (1.0f - h) + 64.0f * h;
    green = 64.0f * h;
    blue = 255.0f;
  } else if (a >= pi / 4 && a < 3 * pi / 8) {
    const float h = position(pi / 4, pi / 8);
    red = 64.0f * (1.0f - h);
    green = 64.0f * (1.0f - h) + 255.0f * h;
    blue = 255.0f;
  } else if (a >= 3 * pi / 8 && a < pi / 2) {
    const float h = position(3 * pi / 8, pi / 8);
    red = 0.0f;
    green = 255.0f;
    blue = 255.0f * (1.0f - h);
  } else if (a >= pi / 2 && a < 3 * pi / 4) {
    const float h = position(pi / 2, pi / 4);
    red = 255.0f * h;
    green = 255.0f;
    blue = 0.0f;
  } else if (a >= 3 * pi / 4 && a <= pi) {
    const float h = position(3 * pi / 4, pi / 4);
    red = 255.0f;
    green = 255.0f * (1.0f - h);
    blue = 0.0f;
  } else {
    return;  // no segment: the angle is not a number
  }
  r = saturate(red, rho);
  g = saturate(green, rho);
  b = saturate(blue, rho);
}

void COpticFlow::flowToImage(CTensor<float>& flow, CTensor<float>& image, float divisor) {
  const int nx = flow.xSize(), ny = flow.ySize();
  flowsolver::requireTensor(flow, nx, ny, 2, "COpticFlow::flowToImage", "flow");
  image.setSize(nx, ny, 3);
  const float f = static_cast<float>(0.3535533905932738 / static_cast<double>(divisor));
  const int plane = nx * ny;
  const float* u = flow.data();
  const float* v = u + plane;
  float* out = image.data();
  // A pixel whose angle is not a number keeps the colour of the pixel before it; black when it
  // is the first.
  float r = 0.0f, g = 0.0f, b = 0.0f;
  for (int i = 0; i < plane; ++i) {
    cartesianToRGB(f * u[i], f * v[i], r, g, b);
    out[i] = r;
    out[i + plane] = g;
    out[i + 2 * plane] = b;
  }
}

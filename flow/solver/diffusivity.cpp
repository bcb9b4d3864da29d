// Smoothness weights of the flow energy: the derivative 1/√(s + 10⁻⁶) of the robust penalty,
// s the squared spatial gradient of both flow components between neighbouring pixels.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/solver_checks.h"
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"

#include <cmath>

void COpticFlow::diffusivity(CTensor<float>& flow, CTensor<float>& increment,
                             CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                             CMatrix<float>* extra, float extraWeight) {
  const int nx = flow.xSize(), ny = flow.ySize();
  const char* const op = "COpticFlow::diffusivity";
  flowsolver::requireTensor(flow, nx, ny, 2, op, "flow");
  flowsolver::requireTensor(increment, nx, ny, 2, op, "increment");
  flowsolver::requireMatrix(horizontalWeights, nx, ny, op, "horizontal weight matrix");
  flowsolver::requireMatrix(verticalWeights, nx, ny, op, "vertical weight matrix");
  if (extra != nullptr) flowsolver::requireMatrix(*extra, nx, ny, op, "extra matrix");
  const int n = nx * ny;
  float* horizontal = horizontalWeights.data();
  float* vertical = verticalWeights.data();
  horizontalWeights.fill(0.0f);
  verticalWeights.fill(0.0f);

  const CDerivative<float> derivative(3);
  CMatrix<float> total(nx, ny), d(nx, ny);
  float* s = total.data();
  for (int k = 0; k < 2; ++k) {
    // Total flow w = flow + increment of component k.
    const float* w = flow.data() + k * n;
    const float* dw = increment.data() + k * n;
    for (int i = 0; i < n; ++i)
      s[i] = w[i] + dw[i];

    // Horizontal pairs: forward difference along x, mean of the two y-derivatives.
    NFilter::filter(total, d, 1, derivative);
    for (int y = 0; y < ny; ++y) {
      for (int x = 0; x + 1 < nx; ++x) {
        const int i = x + y * nx;
        const float forward = s[i + 1] - s[i];
        const float across = 0.5f * (d.data()[i] + d.data()[i + 1]);
        horizontal[i] += forward * forward + across * across;
      }
    }

    // Vertical pairs: mean of the two x-derivatives, forward difference along y.
    NFilter::filter(total, d, derivative, 1);
    for (int i = 0; i < n - nx; ++i) {
      const float across = 0.5f * (d.data()[i] + d.data()[i + nx]);
      const float forward = s[i + nx] - s[i];
      vertical[i] += across * across + forward * forward;
    }
  }

  if (extra != nullptr) {
    const float* m = extra->data();
    for (int i = 0; i < n; ++i) {
      horizontal[i] += m[i] * (extraWeight * m[i]);
      vertical[i] += m[i] * (extraWeight * m[i]);
    }
  }

  // Ψ′(s) = 1/√(s + 10⁻⁶) in double precision.
  for (int i = 0; i < n; ++i) {
    horizontal[i] = static_cast<float>(1.0 / std::sqrt(static_cast<double>(horizontal[i]) + 1e-6));
    vertical[i] = static_cast<float>(1.0 / std::sqrt(static_cast<double>(vertical[i]) + 1e-6));
  }
}

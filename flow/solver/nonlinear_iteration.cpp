// One pyramid level of the variational flow: lagged fixed-point iterations on the robust
// weights, each frozen linear system solved by SOR sweeps.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/solver_checks.h"
#include "flow/solver/sor_sweep.h"
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// 1/√(a² + b² + 10⁻⁶): the sum in single precision, root and division in double precision.
inline float inverseGradientNorm(float a, float b) {
  const float s = a * a + b * b + 1e-6f;
  return static_cast<float>(1.0 / std::sqrt(static_cast<double>(s)));
}

// The six distinct entries of a symmetric 3 × 3 tensor per pixel, as planes of one CTensor in
// the channel order 11, 22, 33, 12, 13, 23.
struct TensorPlanes {
  float *e11, *e22, *e33, *e12, *e13, *e23;
  TensorPlanes(CTensor<float>& t, int n)
      : e11(t.data()),
        e22(e11 + n),
        e33(e11 + 2 * n),
        e12(e11 + 3 * n),
        e13(e11 + 4 * n),
        e23(e11 + 5 * n) {}
};

}  // namespace

void flowsolver::nonlinearIteration(CTensor<float>& image1, CTensor<float>& warpedImage2,
                                    CMatrix<float>& mask, CTensor<float>& matchU,
                                    CTensor<float>& matchV, CTensor<float>& matchConfidence,
                                    CTensor<float>& flow, CMatrix<float>* extra, float alpha,
                                    float beta, float gamma, float extraWeight, int outer,
                                    int inner, float omega, SweepKind sweep) {
  const int nx = image1.xSize(), ny = image1.ySize(), nc = image1.zSize();
  const char* const op = "COpticFlow::nonlinearIteration";
  requireTensor(image1, nx, ny, nc, op, "first image");
  requireTensor(warpedImage2, nx, ny, nc, op, "warped second image");
  requireMatrix(mask, nx, ny, op, "validity mask");
  const int candidates = matchU.zSize();
  requireTensor(matchU, nx, ny, candidates, op, "match u");
  requireTensor(matchV, nx, ny, candidates, op, "match v");
  requireTensor(matchConfidence, nx, ny, candidates, op, "match confidence");
  requireTensor(flow, nx, ny, 2, op, "flow");
  if (extra != nullptr) requireMatrix(*extra, nx, ny, op, "extra matrix");
  const int n = nx * ny;

  // Step 1: motion tensors J (brightness constancy) and G (gradient constancy), each channel
  // normalised by the gradient magnitude of the first image.
  CTensor<float> brightness(nx, ny, 6, 0.0f), gradient(nx, ny, 6, 0.0f);
  const TensorPlanes J(brightness, n), G(gradient, n);
  {
    const CDerivative<float> derivative(5);
    CMatrix<float> image(nx, ny), temporal(nx, ny), ix(nx, ny), iy(nx, ny), ixx(nx, ny),
        ixy(nx, ny), iyy(nx, ny), ixt(nx, ny), iyt(nx, ny);
    for (int q = 0; q < nc; ++q) {
      image1.getMatrix(image, q);
      const float* second = warpedImage2.data() + static_cast<std::size_t>(q) * n;
      for (int i = 0; i < n; ++i)
        temporal.data()[i] = second[i] - image.data()[i];
      NFilter::filter(image, ix, derivative, 1);
      NFilter::filter(image, iy, 1, derivative);
      NFilter::filter(ix, ixx, derivative, 1);
      NFilter::filter(ix, ixy, 1, derivative);
      NFilter::filter(iy, iyy, 1, derivative);
      NFilter::filter(temporal, ixt, derivative, 1);
      NFilter::filter(temporal, iyt, 1, derivative);
      for (int i = 0; i < n; ++i) {
        const float x = ix.data()[i], y = iy.data()[i], t = temporal.data()[i];
        const float theta = inverseGradientNorm(x, y);
        J.e11[i] += theta * (x * x);
        J.e22[i] += theta * (y * y);
        J.e33[i] += theta * (t * t);
        J.e12[i] += theta * x * y;
        J.e13[i] += theta * x * t;
        J.e23[i] += theta * y * t;
        const float xx = ixx.data()[i], xy = ixy.data()[i], yy = iyy.data()[i];
        const float xt = ixt.data()[i], yt = iyt.data()[i];
        const float thetaX = inverseGradientNorm(xx, xy);
        const float thetaY = inverseGradientNorm(xy, yy);
        G.e11[i] += thetaX * (xx * xx) + thetaY * (xy * xy);
        G.e22[i] += thetaX * (xy * xy) + thetaY * (yy * yy);
        G.e33[i] += thetaX * (xt * xt) + thetaY * (yt * yt);
        G.e12[i] += (thetaX * xx + thetaY * yy) * xy;
        G.e13[i] += thetaX * xx * xt + thetaY * xy * yt;
        G.e23[i] += thetaX * xy * xt + thetaY * yy * yt;
      }
    }
  }

  // Step 2: the increment starts at zero; every data and match term is divided by α.
  CTensor<float> increment(nx, ny, 2, 0.0f);
  float* du = increment.data();
  float* dv = du + n;
  const float a = 1.0f / alpha;

  // Step 3: no data term where the warp left the second image.
  for (int c = 0; c < 6; ++c) {
    float* j = brightness.data() + static_cast<std::size_t>(c) * n;
    float* g = gradient.data() + static_cast<std::size_t>(c) * n;
    for (int i = 0; i < n; ++i) {
      j[i] *= mask.data()[i];
      g[i] *= mask.data()[i];
    }
  }

  // Step 4: flow(neighbour) − flow(pixel) of the flow passed in; entries whose neighbour lies
  // outside the image stay 0 and are never read.
  const float* u = flow.data();
  const float* v = u + n;
  std::vector<float> differences(8 * static_cast<std::size_t>(n), 0.0f);
  float* uLeft = differences.data();
  float* uUp = uLeft + n;
  float* uRight = uUp + n;
  float* uDown = uRight + n;
  float* vLeft = uDown + n;
  float* vUp = vLeft + n;
  float* vRight = vUp + n;
  float* vDown = vRight + n;
  for (int y = 0; y < ny; ++y) {
    for (int x = 0; x < nx; ++x) {
      const int i = x + y * nx;
      if (x > 0) {
        uLeft[i] = u[i - 1] - u[i];
        vLeft[i] = v[i - 1] - v[i];
      }
      if (y > 0) {
        uUp[i] = u[i - nx] - u[i];
        vUp[i] = v[i - nx] - v[i];
      }
      if (x + 1 < nx) {
        uRight[i] = u[i + 1] - u[i];
        vRight[i] = v[i + 1] - v[i];
      }
      if (y + 1 < ny) {
        uDown[i] = u[i + nx] - u[i];
        vDown[i] = v[i + nx] - v[i];
      }
    }
  }

  // Step 5: lagged fixed-point iterations.
  CMatrix<float> horizontal(nx, ny), vertical(nx, ny);
  std::vector<float> weights(5 * static_cast<std::size_t>(n));
  float* psiD = weights.data();
  float* psiG = psiD + n;
  float* matchSum = psiG + n;
  float* ru = matchSum + n;
  float* rv = ru + n;
  SorSystem system;
  system.xSize = nx;
  system.ySize = ny;
  system.j11 = J.e11;
  system.j22 = J.e22;
  system.j12 = J.e12;
  system.j13 = J.e13;
  system.j23 = J.e23;
  system.g11 = G.e11;
  system.g22 = G.e22;
  system.g12 = G.e12;
  system.g13 = G.e13;
  system.g23 = G.e23;
  system.u = u;
  system.v = v;
  system.uLeft = uLeft;
  system.uUp = uUp;
  system.uRight = uRight;
  system.uDown = uDown;
  system.vLeft = vLeft;
  system.vUp = vUp;
  system.vRight = vRight;
  system.vDown = vDown;
  system.horizontal = horizontal.data();
  system.vertical = vertical.data();
  system.psiD = psiD;
  system.psiG = psiG;
  system.m = matchSum;
  system.ru = ru;
  system.rv = rv;
  system.omega = omega;
  SorScratch scratch;
  const float aGamma = a * gamma;
  const float aBeta = a * beta;
  for (int iteration = 0; iteration < outer; ++iteration) {
    // Step 5.1: smoothness weights of the total flow.
    COpticFlow::diffusivity(flow, increment, horizontal, vertical, extra, extraWeight);

    // Step 5.2: robust data weights Ψ′ of the linearised constancy terms.
    for (int i = 0; i < n; ++i) {
      const float x = du[i], y = dv[i];
      const float quadraticD = J.e11[i] * (x * x) + J.e22[i] * (y * y) + J.e33[i];
      const float mixedD = J.e12[i] * x * y + J.e13[i] * x + J.e23[i] * y;
      float sD =
          static_cast<float>(static_cast<double>(quadraticD) + 2.0 * static_cast<double>(mixedD));
      if (sD < 0.0f) sD = 0.0f;
      psiD[i] =
          static_cast<float>(static_cast<double>(a) / std::sqrt(static_cast<double>(sD) + 1e-6));
      const float quadraticG = G.e11[i] * (x * x) + G.e22[i] * (y * y) + G.e33[i];
      const float mixedG = G.e12[i] * x * y + G.e13[i] * x + G.e23[i] * y;
      float sG =
          static_cast<float>(static_cast<double>(quadraticG) + 2.0 * static_cast<double>(mixedG));
      if (sG < 0.0f) sG = 0.0f;
      psiG[i] = static_cast<float>(static_cast<double>(aGamma) /
                                   std::sqrt(static_cast<double>(sG) + 1e-6));
    }

    // Step 5.3: match weights and the weighted flow-minus-match sums of every candidate.
    std::fill(matchSum, matchSum + 3 * static_cast<std::size_t>(n), 0.0f);
    for (int k = 0; k < candidates; ++k) {
      const std::size_t offset = static_cast<std::size_t>(k) * n;
      const float* mu = matchU.data() + offset;
      const float* mv = matchV.data() + offset;
      const float* confidence = matchConfidence.data() + offset;
      for (int i = 0; i < n; ++i) {
        const float p = confidence[i];
        if (!(p > 0.0f)) continue;
        const float eu = (du[i] + u[i]) - mu[i];
        const float ev = (dv[i] + v[i]) - mv[i];
        const float w =
            static_cast<float>(static_cast<double>(aBeta * p) /
                               std::sqrt(static_cast<double>(eu * eu + ev * ev) + 1e-6));
        matchSum[i] += w;
        ru[i] += (u[i] - mu[i]) * w;
        rv[i] += w * (v[i] - mv[i]);
      }
    }

    // Step 5.4: SOR sweeps on the frozen system.
    if (sweep == SweepKind::Reference) {
      sorSweepsReference(system, du, dv, inner);
    } else {
      sorSweeps(system, du, dv, inner, scratch);
    }
  }

  // Step 6: flow += increment.
  float* total = flow.data();
  for (int i = 0; i < 2 * n; ++i)
    total[i] += increment.data()[i];
}

void COpticFlow::nonlinearIteration(CTensor<float>& image1, CTensor<float>& warpedImage2,
                                    CMatrix<float>& mask, CTensor<float>& matchU,
                                    CTensor<float>& matchV, CTensor<float>& matchConfidence,
                                    CTensor<float>& flow, CMatrix<float>* extra, float alpha,
                                    float beta, float gamma, float extraWeight, int outer,
                                    int inner, float omega) {
  flowsolver::nonlinearIteration(image1, warpedImage2, mask, matchU, matchV, matchConfidence, flow,
                                 extra, alpha, beta, gamma, extraWeight, outer, inner, omega,
                                 flowsolver::SweepKind::Fast);
}

// Smoothness weights of the flow energy: the derivative 1/√(s + 10⁻⁶) of the robust penalty,
// s the squared spatial gradient of both flow components between neighbouring pixels.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/solver_checks.h"
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "flow/solver/diffusivity.h"
#include "flow/solver/weight_kernels.h"
#include "flow/parallel/for_each_range.h"
#include "flow/parallel/instruction_set.h"

#include <cmath>

namespace {

// Ψ′ of the pairs (i, i + step) for i in [begin, end): the squared forward difference of the
// totals s0, s1 and the squared mean of the across-derivatives d0, d1, summed from 0 in the
// order of the straightforward loops (forward term first for horizontal pairs, across term
// first for vertical ones), plus extraWeight·m² when m is given. step 0: pixels without that
// pair, whose sum is 0 plus the extra term.
template <bool kHorizontal>
void pairWeights(int begin, int end, int step, const float* __restrict s0,
                 const float* __restrict s1, const float* __restrict d0, const float* __restrict d1,
                 const float* __restrict m, float extraWeight, float* __restrict weights) {
  for (int i = begin; i < end; ++i) {
    float sum = 0.0f;
    if (step != 0) {
      const float forward0 = s0[i + step] - s0[i];
      const float across0 = 0.5f * (d0[i] + d0[i + step]);
      sum += kHorizontal ? forward0 * forward0 + across0 * across0
                         : across0 * across0 + forward0 * forward0;
      const float forward1 = s1[i + step] - s1[i];
      const float across1 = 0.5f * (d1[i] + d1[i + step]);
      sum += kHorizontal ? forward1 * forward1 + across1 * across1
                         : across1 * across1 + forward1 * forward1;
    }
    if (m != nullptr) sum += m[i] * (extraWeight * m[i]);
    weights[i] = static_cast<float>(1.0 / std::sqrt(static_cast<double>(sum) + 1e-6));
  }
}

}  // namespace

void COpticFlow::diffusivity(CTensor<float>& flow, CTensor<float>& increment,
                             CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                             CMatrix<float>* extra, float extraWeight) {
  flowsolver::diffusivityReference(flow, increment, horizontalWeights, verticalWeights, extra,
                                   extraWeight);
}

void flowsolver::diffusivityReference(const CTensor<float>& flow, const CTensor<float>& increment,
                                      CMatrix<float>& horizontalWeights,
                                      CMatrix<float>& verticalWeights, const CMatrix<float>* extra,
                                      float extraWeight) {
  const int nx = flow.xSize(), ny = flow.ySize();
  const char* const op = "COpticFlow::diffusivity";
  requireTensor(flow, nx, ny, 2, op, "flow");
  requireTensor(increment, nx, ny, 2, op, "increment");
  requireMatrix(horizontalWeights, nx, ny, op, "horizontal weight matrix");
  requireMatrix(verticalWeights, nx, ny, op, "vertical weight matrix");
  if (extra != nullptr) requireMatrix(*extra, nx, ny, op, "extra matrix");
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

void flowsolver::diffusivity(const CTensor<float>& flow, const CTensor<float>& increment,
                             CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                             const CMatrix<float>* extra, float extraWeight, int threads,
                             flowthreads::Pool* pool, CMatrix<float>* scratch) {
  const int nx = flow.xSize(), ny = flow.ySize();
  const char* const op = "COpticFlow::diffusivity";
  requireTensor(flow, nx, ny, 2, op, "flow");
  requireTensor(increment, nx, ny, 2, op, "increment");
  requireMatrix(horizontalWeights, nx, ny, op, "horizontal weight matrix");
  requireMatrix(verticalWeights, nx, ny, op, "vertical weight matrix");
  if (extra != nullptr) requireMatrix(*extra, nx, ny, op, "extra matrix");
  const int n = nx * ny;

  // Total flow of both components and, per component, the y- and the x-derivative.
  CMatrix<float> own[kSmoothnessPlanes];
  CMatrix<float>* planes = scratch != nullptr ? scratch : own;
  for (int k = 0; k < kSmoothnessPlanes; ++k)
    planes[k].fitSize(nx, ny);
  CMatrix<float>& total0 = planes[kTotalU];
  CMatrix<float>& total1 = planes[kTotalV];
  CMatrix<float>& dy0 = planes[kUAlongY];
  CMatrix<float>& dx0 = planes[kUAlongX];
  CMatrix<float>& dy1 = planes[kVAlongY];
  CMatrix<float>& dx1 = planes[kVAlongX];
  {
    const float* w = flow.data();
    const float* dw = increment.data();
    float* s0 = total0.data();
    float* s1 = total1.data();
    for (int i = 0; i < n; ++i)
      s0[i] = w[i] + dw[i];
    for (int i = 0; i < n; ++i)
      s1[i] = w[n + i] + dw[n + i];
  }
  const CDerivative<float> derivative(3);
  flowthreads::forEachRange(pool, 4, threads, [&](int begin, int end) {
    for (int f = begin; f < end; ++f) {
      switch (f) {
        case 0:
          NFilter::filter(total0, dy0, 1, derivative);
          break;
        case 1:
          NFilter::filter(total0, dx0, derivative, 1);
          break;
        case 2:
          NFilter::filter(total1, dy1, 1, derivative);
          break;
        default:
          NFilter::filter(total1, dx1, derivative, 1);
          break;
      }
    }
  });

  // Per weight, the straightforward accumulation order: 0, component 0, component 1, the
  // extra term, then Ψ′(s) = 1/√(s + 10⁻⁶) in double precision.
  const float* m = extra != nullptr ? extra->data() : nullptr;
  float* horizontal = horizontalWeights.data();
  float* vertical = verticalWeights.data();
  using flowsolver::detail::PairTerms;
  auto pairs = flowsolver::detail::pairWeightsBaseline;
#ifdef MOTIONSEG_FLOW_AVX2
  if (flowsimd::activeIncludes(flowsimd::InstructionSet::Avx2))
    pairs = flowsolver::detail::pairWeightsAvx2;
#endif
  const PairTerms across{total0.data(), total1.data(), dy0.data(), dy1.data(), m, extraWeight, 1,
                         true,          horizontal};
  const PairTerms down{total0.data(), total1.data(), dx0.data(), dx1.data(), m, extraWeight, nx,
                       false,         vertical};
  const PairTerms lastColumn{nullptr,     nullptr, nullptr, nullptr,   m,
                             extraWeight, 0,       true,    horizontal};
  const PairTerms lastRow{nullptr, nullptr, nullptr, nullptr, m, extraWeight, 0, false, vertical};
  flowthreads::forEachRange(pool, ny, threads, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const int row = y * nx;
      // Horizontal pairs of the row, then the last pixel, which has none.
      pairs(row, row + nx - 1, across);
      pairs(row + nx - 1, row + nx, lastColumn);
      // Vertical pairs with the next row; the last row has none.
      pairs(row, row + nx, y + 1 < ny ? down : lastRow);
    }
  });
}

void flowsolver::detail::pairWeightsBaseline(int begin, int end, const PairTerms& t) {
  if (t.horizontal) {
    pairWeights<true>(begin, end, t.step, t.s0, t.s1, t.d0, t.d1, t.m, t.extraWeight, t.weights);
  } else {
    pairWeights<false>(begin, end, t.step, t.s0, t.s1, t.d0, t.d1, t.m, t.extraWeight, t.weights);
  }
}

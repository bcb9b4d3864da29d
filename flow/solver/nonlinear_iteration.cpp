// One pyramid level of the variational flow: lagged fixed-point iterations on the robust
// weights, each frozen linear system solved by SOR sweeps. nonlinearIterationReference runs
// the steps as they read; nonlinearIteration runs the same operations per pixel as named
// steps over the level workspace, fused and threaded.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/solver_checks.h"
#include "flow/solver/diffusivity.h"
#include "flow/solver/level_solver.h"
#include "flow/solver/sor_sweep.h"
#include "flow/solver/sor_system_builder.h"
#include "flow/solver/weight_kernels.h"
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "flow/parallel/for_each_range.h"
#include "flow/parallel/instruction_set.h"
#include "flow/parallel/thread_count.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Step 1 for pixels [begin, end) of one channel: the contributions of its derivatives to J
// and G, in the same operations as the straightforward loop; on the last channel the result
// is also multiplied by the validity mask (Step 3), as the separate masking pass would.
template <bool kLast>
void accumulateMotionTensors(int begin, int end, const float* __restrict ix,
                             const float* __restrict iy, const float* __restrict it,
                             const float* __restrict ixx, const float* __restrict ixy,
                             const float* __restrict iyy, const float* __restrict ixt,
                             const float* __restrict iyt, const float* __restrict mask,
                             float* __restrict j11, float* __restrict j22, float* __restrict j33,
                             float* __restrict j12, float* __restrict j13, float* __restrict j23,
                             float* __restrict g11, float* __restrict g22, float* __restrict g33,
                             float* __restrict g12, float* __restrict g13, float* __restrict g23) {
  for (int i = begin; i < end; ++i) {
    const float x = ix[i], y = iy[i], t = it[i];
    const float theta = inverseGradientNorm(x, y);
    float e11 = j11[i] + theta * (x * x);
    float e22 = j22[i] + theta * (y * y);
    float e33 = j33[i] + theta * (t * t);
    float e12 = j12[i] + theta * x * y;
    float e13 = j13[i] + theta * x * t;
    float e23 = j23[i] + theta * y * t;
    const float xx = ixx[i], xy = ixy[i], yy = iyy[i];
    const float xt = ixt[i], yt = iyt[i];
    const float thetaX = inverseGradientNorm(xx, xy);
    const float thetaY = inverseGradientNorm(xy, yy);
    float f11 = g11[i] + (thetaX * (xx * xx) + thetaY * (xy * xy));
    float f22 = g22[i] + (thetaX * (xy * xy) + thetaY * (yy * yy));
    float f33 = g33[i] + (thetaX * (xt * xt) + thetaY * (yt * yt));
    float f12 = g12[i] + (thetaX * xx + thetaY * yy) * xy;
    float f13 = g13[i] + (thetaX * xx * xt + thetaY * xy * yt);
    float f23 = g23[i] + (thetaX * xy * xt + thetaY * yy * yt);
    if (kLast) {
      const float m = mask[i];
      e11 *= m, e22 *= m, e33 *= m, e12 *= m, e13 *= m, e23 *= m;
      f11 *= m, f22 *= m, f33 *= m, f12 *= m, f13 *= m, f23 *= m;
    }
    j11[i] = e11, j22[i] = e22, j33[i] = e33, j12[i] = e12, j13[i] = e13, j23[i] = e23;
    g11[i] = f11, g22[i] = f22, g33[i] = f33, g12[i] = f12, g13[i] = f13, g23[i] = f23;
  }
}

// Step 5.2 for pixels [begin, end): Ψ′ of the linearised brightness (scale a) and gradient
// (scale aGamma) terms, as in the straightforward loop; the clamp at 0 is a select that
// keeps a not-a-number sum.
void robustWeights(int begin, int end, float a, float aGamma, const float* __restrict du,
                   const float* __restrict dv, const float* __restrict j11,
                   const float* __restrict j22, const float* __restrict j33,
                   const float* __restrict j12, const float* __restrict j13,
                   const float* __restrict j23, const float* __restrict g11,
                   const float* __restrict g22, const float* __restrict g33,
                   const float* __restrict g12, const float* __restrict g13,
                   const float* __restrict g23, float* __restrict psiD, float* __restrict psiG) {
  for (int i = begin; i < end; ++i) {
    const float x = du[i], y = dv[i];
    const float quadraticD = j11[i] * (x * x) + j22[i] * (y * y) + j33[i];
    const float mixedD = j12[i] * x * y + j13[i] * x + j23[i] * y;
    float sD =
        static_cast<float>(static_cast<double>(quadraticD) + 2.0 * static_cast<double>(mixedD));
    sD = std::max(sD, 0.0f);
    psiD[i] =
        static_cast<float>(static_cast<double>(a) / std::sqrt(static_cast<double>(sD) + 1e-6));
    const float quadraticG = g11[i] * (x * x) + g22[i] * (y * y) + g33[i];
    const float mixedG = g12[i] * x * y + g13[i] * x + g23[i] * y;
    float sG =
        static_cast<float>(static_cast<double>(quadraticG) + 2.0 * static_cast<double>(mixedG));
    sG = std::max(sG, 0.0f);
    psiG[i] =
        static_cast<float>(static_cast<double>(aGamma) / std::sqrt(static_cast<double>(sG) + 1e-6));
  }
}

// `yes` where c holds, else `no`, bit for bit, by masking the bits: no branch the compiler
// could move the computation of either value into.
inline float choose(bool c, float yes, float no) {
  std::uint32_t a, b;
  std::memcpy(&a, &yes, sizeof a);
  std::memcpy(&b, &no, sizeof b);
  const std::uint32_t mask = 0u - static_cast<std::uint32_t>(c);
  const std::uint32_t bits = (a & mask) | (b & ~mask);
  float out;
  std::memcpy(&out, &bits, sizeof out);
  return out;
}

// Step 5.3 for pixels [begin, end) and one candidate: a pixel without positive confidence
// keeps its sums through a select rather than a branch, so the weight may be formed (and
// discarded) everywhere.
void addMatchCandidate(int begin, int end, float aBeta, const float* __restrict du,
                       const float* __restrict dv, const float* __restrict u,
                       const float* __restrict v, const float* __restrict mu,
                       const float* __restrict mv, const float* __restrict confidence,
                       float* __restrict matchSum, float* __restrict ru, float* __restrict rv) {
  for (int i = begin; i < end; ++i) {
    const float p = confidence[i];
    const bool counts = p > 0.0f;
    const float eu = (du[i] + u[i]) - mu[i];
    const float ev = (dv[i] + v[i]) - mv[i];
    const float w = static_cast<float>(static_cast<double>(aBeta * p) /
                                       std::sqrt(static_cast<double>(eu * eu + ev * ev) + 1e-6));
    const float oldSum = matchSum[i], oldU = ru[i], oldV = rv[i];
    const float sum = oldSum + w;
    const float r = oldU + (u[i] - mu[i]) * w;
    const float s = oldV + w * (v[i] - mv[i]);
    matchSum[i] = choose(counts, sum, oldSum);
    ru[i] = choose(counts, r, oldU);
    rv[i] = choose(counts, s, oldV);
  }
}

// The level's derivatives of one channel, 5-tap derivative filters of the image and of the
// temporal difference, each plane of `planes` where DerivativePlane says, in two independent
// chains: chain 0 Ix, Ixx, Ixy; chain 1 Iy, Iyy, Iyt and Ixt.
void derivativeChain(int chain, CMatrix<float>* planes) {
  using namespace flowsolver;
  const CDerivative<float> derivative(5);
  const CMatrix<float>& image = planes[kImage];
  const CMatrix<float>& temporal = planes[kTemporal];
  if (chain == 0) {
    NFilter::filter(image, planes[kIx], derivative, 1);
    NFilter::filter(planes[kIx], planes[kIxx], derivative, 1);
    NFilter::filter(planes[kIx], planes[kIxy], 1, derivative);
  } else {
    NFilter::filter(image, planes[kIy], 1, derivative);
    NFilter::filter(planes[kIy], planes[kIyy], 1, derivative);
    NFilter::filter(temporal, planes[kIyt], 1, derivative);
    NFilter::filter(temporal, planes[kIxt], derivative, 1);
  }
}

// Channel q of the first image and its temporal difference into their planes.
void channelPlanes(const CTensor<float>& image1, const CTensor<float>& warpedImage2, int q,
                   CMatrix<float>* planes) {
  const int n = image1.xSize() * image1.ySize();
  image1.getMatrix(planes[flowsolver::kImage], q);
  const float* first = planes[flowsolver::kImage].data();
  const float* second = warpedImage2.data() + static_cast<std::size_t>(q) * n;
  float* temporal = planes[flowsolver::kTemporal].data();
  for (int i = 0; i < n; ++i)
    temporal[i] = second[i] - first[i];
}

// Step 1 as it reads: per channel the derivatives, then J and G summed pixel by pixel (the
// mask is applied afterwards, in step 3).
void motionTensorsReference(const CTensor<float>& image1, const CTensor<float>& warpedImage2,
                            const TensorPlanes& J, const TensorPlanes& G) {
  using namespace flowsolver;
  const int nx = image1.xSize(), ny = image1.ySize(), n = nx * ny;
  CMatrix<float> planes[kDerivativePlanes];
  for (CMatrix<float>& plane : planes)
    plane.setSize(nx, ny);
  const float *ix = planes[kIx].data(), *iy = planes[kIy].data();
  const float* temporal = planes[kTemporal].data();
  const float *ixx = planes[kIxx].data(), *ixy = planes[kIxy].data(), *iyy = planes[kIyy].data();
  const float *ixt = planes[kIxt].data(), *iyt = planes[kIyt].data();
  for (int q = 0; q < image1.zSize(); ++q) {
    channelPlanes(image1, warpedImage2, q, planes);
    derivativeChain(0, planes);
    derivativeChain(1, planes);
    for (int i = 0; i < n; ++i) {
      const float x = ix[i], y = iy[i], t = temporal[i];
      const float theta = inverseGradientNorm(x, y);
      J.e11[i] += theta * (x * x);
      J.e22[i] += theta * (y * y);
      J.e33[i] += theta * (t * t);
      J.e12[i] += theta * x * y;
      J.e13[i] += theta * x * t;
      J.e23[i] += theta * y * t;
      const float xx = ixx[i], xy = ixy[i], yy = iyy[i];
      const float xt = ixt[i], yt = iyt[i];
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

// Step 3: no data term where the warp left the second image.
void applyMask(const CMatrix<float>& mask, CTensor<float>& brightness, CTensor<float>& gradient) {
  const int n = mask.xSize() * mask.ySize();
  for (int c = 0; c < 6; ++c) {
    float* j = brightness.data() + static_cast<std::size_t>(c) * n;
    float* g = gradient.data() + static_cast<std::size_t>(c) * n;
    for (int i = 0; i < n; ++i) {
      j[i] *= mask.data()[i];
      g[i] *= mask.data()[i];
    }
  }
}

// Step 4: flow(neighbour) − flow(pixel) of the flow, u towards the left, upper, right and
// lower neighbour, then v (eight planes); entries whose neighbour lies outside the image stay
// 0 and are never read.
std::vector<float> neighbourDifferences(const CTensor<float>& flow) {
  const int nx = flow.xSize(), ny = flow.ySize(), n = nx * ny;
  std::vector<float> differences(8 * static_cast<std::size_t>(n), 0.0f);
  const float* u = flow.data();
  const float* v = u + n;
  float *uLeft = differences.data(), *uUp = uLeft + n, *uRight = uUp + n, *uDown = uRight + n;
  float *vLeft = uDown + n, *vUp = vLeft + n, *vRight = vUp + n, *vDown = vRight + n;
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
  return differences;
}

// Step 6: flow += increment.
void addIncrement(CTensor<float>& flow, const CTensor<float>& increment) {
  float* total = flow.data();
  const float* d = increment.data();
  for (int i = 0; i < 2 * flow.xSize() * flow.ySize(); ++i)
    total[i] += d[i];
}

// The sizes every operand of a level must have, checked before anything is computed.
void checkLevelOperands(const CTensor<float>& image1, const CTensor<float>& warpedImage2,
                        const CMatrix<float>& mask, const CTensor<float>& matchU,
                        const CTensor<float>& matchV, const CTensor<float>& matchConfidence,
                        const CTensor<float>& flow, const CMatrix<float>* extra) {
  using flowsolver::requireMatrix;
  using flowsolver::requireTensor;
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
}

// The fast level's steps over the workspace.

// Plan the buffers: the level's size for every workspace buffer within the room it has, the
// increment zero (the set-up clears the tensors strip by strip).
void planLevelBuffers(flowsolver::LevelWorkspace& ws, int nx, int ny) {
  const int n = nx * ny;
  ws.brightness.fitSize(nx, ny, 6);
  ws.gradient.fitSize(nx, ny, 6);
  ws.increment.fitSize(nx, ny, 2);
  ws.increment.fill(0.0f);
  for (CMatrix<float>& plane : ws.planes)
    plane.fitSize(nx, ny);
  ws.horizontal.fitSize(nx, ny);
  ws.vertical.fitSize(nx, ny);
  ws.weights.resize(5 * static_cast<std::size_t>(n));
}

// Set up: steps 1 and 3 with the same derivatives and sums, bit for bit, in strips of
// kStripRows rows: for each strip, every channel's derivatives of the strip's rows and of the
// few rows around them that the filters along y read, then the strip's tensor rows summed
// over the channels in channel order. The derivative rows of a strip and its tensor rows stay
// in the cache from the filter that forms them to the sum that reads them, where whole planes
// would go to memory and back for every channel. Strips are shared among the threads; each
// forms the rows around its strips itself (a row has the same bits whichever strip forms it).
// The mask is applied with the last channel (with no channel, on its own).
constexpr int kStripRows = 32;

// One worker's rows of the derivative planes but the image (read where it is) for a strip:
// rows r0 .. r0 + capacity − 1 of the level, r0 two above the strip (the rows that Ixy, Iyy
// and Iyt read), or the level's top; kStripPlanes planes of capacity × xSize floats from
// `base` on, plane k for DerivativePlane k + 1.
constexpr int kStripPlanes = flowsolver::kDerivativePlanes - 1;
struct StripPlanes {
  float* base;
  int xSize, capacity;
  float* plane(int k) const { return base + static_cast<std::size_t>(k - 1) * capacity * xSize; }
};

// How the set-up of an nx × ny level on `threads` threads takes its strips: the rows of a
// worker's strip planes, and as many workers as keep all their planes within the three
// planes the level's workspace no longer keeps whole, and two whatever the level's size.
struct StripShape {
  int rows, workers;
  StripShape(int ny, int threads)
      : rows(std::min(ny, kStripRows + 2 * CDerivative<float>(5).delta())),
        workers(std::max(
            1, std::min(threads, std::max(2, 3 * ny / (kStripPlanes * std::max(rows, 1)))))) {}
  std::size_t floatsPerWorker(int nx) const {
    return static_cast<std::size_t>(kStripPlanes) * rows * nx;
  }
};

void strip(const CTensor<float>& image1, const CTensor<float>& warpedImage2,
           const CMatrix<float>& mask, const TensorPlanes& J, const TensorPlanes& G, int y0, int y1,
           const StripPlanes& ws, const CDerivative<float>& derivative,
           void (*accumulate)(int, int, const flowsolver::detail::TensorTerms&)) {
  using namespace flowsolver;
  const int nx = image1.xSize(), ny = image1.ySize(), nc = image1.zSize();
  const std::size_t n = static_cast<std::size_t>(nx) * ny;
  const int reach = derivative.delta();  // rows the filter along y reads on either side
  // The rows of the strip's planes: what the strip's second derivatives along y read.
  const int r0 = std::max(0, y0 - reach), r1 = std::min(ny, y1 + reach);
  const std::size_t top = static_cast<std::size_t>(y0 - r0) * nx;  // the strip in its planes
  float* ix = ws.plane(kIx);
  float* iy = ws.plane(kIy);
  float* temporal = ws.plane(kTemporal);
  float* ixx = ws.plane(kIxx);
  float* ixy = ws.plane(kIxy);
  float* iyy = ws.plane(kIyy);
  float* ixt = ws.plane(kIxt);
  float* iyt = ws.plane(kIyt);
  const std::size_t begin = static_cast<std::size_t>(y0) * nx,
                    end = static_cast<std::size_t>(y1) * nx;
  // The sums start at 0: the first channel writes them (nc > 0 here).
  for (int q = 0; q < nc; ++q) {
    const float* first = image1.data() + q * n;
    const float* second = warpedImage2.data() + q * n;
    // Rows r0 .. r1 − 1 of the temporal difference, Ix and Iy; then the strip's rows of the
    // derivatives of those.
    const std::size_t from = static_cast<std::size_t>(r0) * nx;
    for (std::size_t i = 0; i < static_cast<std::size_t>(r1 - r0) * nx; ++i)
      temporal[i] = second[from + i] - first[from + i];
    NFilter::filterRows(first + from, ix, nx, r1 - r0, derivative);
    NFilter::filterColumnsOfRows(first, 0, iy, nx, ny, r0, r1, derivative);
    NFilter::filterRows(ix + top, ixx, nx, y1 - y0, derivative);
    NFilter::filterColumnsOfRows(ix, r0, ixy, nx, ny, y0, y1, derivative);
    NFilter::filterColumnsOfRows(iy, r0, iyy, nx, ny, y0, y1, derivative);
    NFilter::filterColumnsOfRows(temporal, r0, iyt, nx, ny, y0, y1, derivative);
    NFilter::filterRows(temporal + top, ixt, nx, y1 - y0, derivative);
    const detail::TensorTerms terms{
        ix + top,
        iy + top,
        temporal + top,
        ixx,
        ixy,
        iyy,
        ixt,
        iyt,
        mask.data() + begin,
        {J.e11 + begin, J.e22 + begin, J.e33 + begin, J.e12 + begin, J.e13 + begin, J.e23 + begin},
        {G.e11 + begin, G.e22 + begin, G.e33 + begin, G.e12 + begin, G.e13 + begin, G.e23 + begin},
        q + 1 == nc,
        q == 0};
    accumulate(0, static_cast<int>(end - begin), terms);
  }
}

void motionTensors(const CTensor<float>& image1, const CTensor<float>& warpedImage2,
                   const CMatrix<float>& mask, flowsolver::LevelWorkspace& ws,
                   flowthreads::Pool* pool, int threads) {
  const int nx = image1.xSize(), ny = image1.ySize(), nc = image1.zSize(), n = nx * ny;
  const TensorPlanes J(ws.brightness, n), G(ws.gradient, n);
  if (nc == 0) {
    ws.brightness.fill(0.0f);
    ws.gradient.fill(0.0f);
    applyMask(mask, ws.brightness, ws.gradient);
    return;
  }
  auto accumulate = flowsolver::detail::accumulateMotionTensorsBaseline;
#ifdef MOTIONSEG_FLOW_AVX2
  if (flowsimd::activeIncludes(flowsimd::InstructionSet::Avx2))
    accumulate = flowsolver::detail::accumulateMotionTensorsAvx2;
#endif
  const int strips = (ny + kStripRows - 1) / kStripRows;
  const StripShape shape(ny, threads);
  // Each worker its own strip planes, in the workspace's room (made for the largest level).
  const std::size_t perWorker = shape.floatsPerWorker(nx);
  ws.setUp.resize(perWorker * shape.workers);
  std::atomic<int> nextWorker{0};
  const CDerivative<float> derivative(5);
  flowthreads::forEachRange(pool, strips, shape.workers, [&](int s0, int s1) {
    const StripPlanes planes{ws.setUp.data() + perWorker * nextWorker.fetch_add(1), nx, shape.rows};
    for (int s = s0; s < s1; ++s) {
      strip(image1, warpedImage2, mask, J, G, s * kStripRows, std::min(ny, (s + 1) * kStripRows),
            planes, derivative, accumulate);
    }
  });
}

// The terms of the robust and match weights.
struct WeightScales {
  float data, gradient, match;  // 1/α, γ/α and β/α
};

// Weights: steps 5.2 and 5.3 with the same operations per pixel, for rows y0 .. y1 − 1 at a
// time (every pixel's weights depend on that pixel alone). The sweeps form them band by band
// through SorSystem::formRows, just before they lay the band out, so that the tensor rows they
// read are read again from the cache.
class WeightRows {
 public:
  WeightRows(flowsolver::LevelWorkspace& ws, const CTensor<float>& flow,
             const CTensor<float>& matchU, const CTensor<float>& matchV,
             const CTensor<float>& matchConfidence, WeightScales scale)
      : nx_(flow.xSize()),
        n_(flow.xSize() * flow.ySize()),
        matchU_(matchU),
        matchV_(matchV),
        matchConfidence_(matchConfidence),
        scale_(scale),
        du_(ws.increment.data()),
        dv_(du_ + n_),
        u_(flow.data()),
        v_(u_ + n_),
        psiD_(ws.weights.data()),
        psiG_(psiD_ + n_),
        matchSum_(psiG_ + n_),
        ru_(matchSum_ + n_),
        rv_(ru_ + n_) {
    const TensorPlanes J(ws.brightness, n_), G(ws.gradient, n_);
    terms_ = {du_,
              dv_,
              {J.e11, J.e22, J.e33, J.e12, J.e13, J.e23},
              {G.e11, G.e22, G.e33, G.e12, G.e13, G.e23},
              scale.data,
              scale.gradient,
              psiD_,
              psiG_};
#ifdef MOTIONSEG_FLOW_AVX2
    if (flowsimd::activeIncludes(flowsimd::InstructionSet::Avx2)) {
      robust_ = flowsolver::detail::robustWeightsAvx2;
      addCandidate_ = flowsolver::detail::addMatchCandidateAvx2;
    }
#endif
  }

  void operator()(int y0, int y1) const {
    const int begin = y0 * nx_, end = y1 * nx_;
    robust_(begin, end, terms_);
    // The sums start at 0: filled here without candidates, else the first one writes them.
    if (matchU_.zSize() == 0) {
      std::fill(matchSum_ + begin, matchSum_ + end, 0.0f);
      std::fill(ru_ + begin, ru_ + end, 0.0f);
      std::fill(rv_ + begin, rv_ + end, 0.0f);
    }
    for (int k = 0; k < matchU_.zSize(); ++k) {
      const std::size_t offset = static_cast<std::size_t>(k) * n_;
      const flowsolver::detail::MatchTerms candidate{du_,
                                                     dv_,
                                                     u_,
                                                     v_,
                                                     matchU_.data() + offset,
                                                     matchV_.data() + offset,
                                                     matchConfidence_.data() + offset,
                                                     scale_.match,
                                                     matchSum_,
                                                     ru_,
                                                     rv_,
                                                     k == 0};
      addCandidate_(begin, end, candidate);
    }
  }

  /// The job that runs this object over rows, for SorSystem::formRows.
  flowsolver::RowsJob job() {
    return {[](void* self, int y0, int y1) { (*static_cast<const WeightRows*>(self))(y0, y1); },
            this};
  }

 private:
  int nx_, n_;
  const CTensor<float>&matchU_, &matchV_, &matchConfidence_;
  WeightScales scale_;
  const float *du_, *dv_, *u_, *v_;
  float *psiD_, *psiG_, *matchSum_, *ru_, *rv_;
  flowsolver::detail::RobustTerms terms_{};
  void (*robust_)(int, int, const flowsolver::detail::RobustTerms&) =
      flowsolver::detail::robustWeightsBaseline;
  void (*addCandidate_)(int, int, const flowsolver::detail::MatchTerms&) =
      flowsolver::detail::addMatchCandidateBaseline;
};

}  // namespace

void flowsolver::detail::accumulateMotionTensorsBaseline(int begin, int end, const TensorTerms& t) {
  if (t.first) {
    for (int c = 0; c < 6; ++c) {
      std::fill(t.j[c] + begin, t.j[c] + end, 0.0f);
      std::fill(t.g[c] + begin, t.g[c] + end, 0.0f);
    }
  }
  auto run = t.last ? accumulateMotionTensors<true> : accumulateMotionTensors<false>;
  run(begin, end, t.ix, t.iy, t.it, t.ixx, t.ixy, t.iyy, t.ixt, t.iyt, t.mask, t.j[0], t.j[1],
      t.j[2], t.j[3], t.j[4], t.j[5], t.g[0], t.g[1], t.g[2], t.g[3], t.g[4], t.g[5]);
}

void flowsolver::detail::robustWeightsBaseline(int begin, int end, const RobustTerms& t) {
  robustWeights(begin, end, t.data, t.gradient, t.du, t.dv, t.j[0], t.j[1], t.j[2], t.j[3], t.j[4],
                t.j[5], t.g[0], t.g[1], t.g[2], t.g[3], t.g[4], t.g[5], t.psiD, t.psiG);
}

void flowsolver::detail::addMatchCandidateBaseline(int begin, int end, const MatchTerms& t) {
  if (t.first) {
    std::fill(t.sum + begin, t.sum + end, 0.0f);
    std::fill(t.ru + begin, t.ru + end, 0.0f);
    std::fill(t.rv + begin, t.rv + end, 0.0f);
  }
  addMatchCandidate(begin, end, t.scale, t.du, t.dv, t.u, t.v, t.mu, t.mv, t.confidence, t.sum,
                    t.ru, t.rv);
}

void flowsolver::LevelWorkspace::reserve(int pixels) {
  for (CTensor<float>* t : {&brightness, &gradient})
    t->reserve(6 * pixels);
  increment.reserve(2 * pixels);
  for (CMatrix<float>& plane : planes)
    plane.reserve(pixels);
  horizontal.reserve(pixels);
  vertical.reserve(pixels);
  weights.reserve(5 * static_cast<std::size_t>(pixels));
}

std::size_t flowsolver::setUpScratchFloats(int nx, int ny, int threads) {
  const StripShape shape(ny, threads);
  return shape.floatsPerWorker(nx) * shape.workers;
}

int flowsolver::levelThreads(const LevelOptions& options, int pixels) {
  const int piece = std::max(1, options.minPixelsPerThread);
  return std::max(1, std::min(options.threads, pixels / piece));
}

flowsolver::LevelOptions flowsolver::defaultLevelOptions() {
  LevelOptions options;
  options.threads = flowthreads::threadCount();
  return options;
}

void flowsolver::nonlinearIterationReference(
    const CTensor<float>& image1, const CTensor<float>& warpedImage2, const CMatrix<float>& mask,
    const CTensor<float>& matchU, const CTensor<float>& matchV,
    const CTensor<float>& matchConfidence, CTensor<float>& flow, const CMatrix<float>* extra,
    float alpha, float beta, float gamma, float extraWeight, int outer, int inner, float omega) {
  checkLevelOperands(image1, warpedImage2, mask, matchU, matchV, matchConfidence, flow, extra);
  const int nx = image1.xSize(), ny = image1.ySize(), n = nx * ny;

  // Step 1: motion tensors J (brightness constancy) and G (gradient constancy), each channel
  // normalised by the gradient magnitude of the first image.
  CTensor<float> brightness(nx, ny, 6, 0.0f), gradient(nx, ny, 6, 0.0f);
  const TensorPlanes J(brightness, n), G(gradient, n);
  motionTensorsReference(image1, warpedImage2, J, G);

  // Step 2: the increment starts at zero; every data and match term is divided by α.
  CTensor<float> increment(nx, ny, 2, 0.0f);
  float* du = increment.data();
  float* dv = du + n;
  const float a = 1.0f / alpha;

  // Step 3: no data term where the warp left the second image.
  applyMask(mask, brightness, gradient);

  // Step 4: flow(neighbour) − flow(pixel) of the flow passed in.
  const std::vector<float> differences = neighbourDifferences(flow);
  const float* u = flow.data();
  const float* v = u + n;

  // Step 5: lagged fixed-point iterations on the system over these planes.
  CMatrix<float> horizontal(nx, ny), vertical(nx, ny);
  std::vector<float> weights(5 * static_cast<std::size_t>(n));
  float* psiD = weights.data();
  float* psiG = psiD + n;
  float* matchSum = psiG + n;
  float* ru = matchSum + n;
  float* rv = ru + n;
  const SorSystem system =
      buildSorSystem({nx, ny, brightness.data(), gradient.data(), u, differences.data(),
                      horizontal.data(), vertical.data(), weights.data()},
                     omega);
  for (int iteration = 0; iteration < outer; ++iteration) {
    // Step 5.1: smoothness weights of the total flow.
    diffusivityReference(flow, increment, horizontal, vertical, extra, extraWeight);

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
      psiG[i] = static_cast<float>(static_cast<double>(a * gamma) /
                                   std::sqrt(static_cast<double>(sG) + 1e-6));
    }

    // Step 5.3: match weights and the weighted flow-minus-match sums of every candidate.
    std::fill(matchSum, matchSum + 3 * static_cast<std::size_t>(n), 0.0f);
    for (int k = 0; k < matchU.zSize(); ++k) {
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
            static_cast<float>(static_cast<double>(a * beta * p) /
                               std::sqrt(static_cast<double>(eu * eu + ev * ev) + 1e-6));
        matchSum[i] += w;
        ru[i] += (u[i] - mu[i]) * w;
        rv[i] += w * (v[i] - mv[i]);
      }
    }

    // Step 5.4: SOR sweeps on the frozen system.
    sorSweepsReference(system, du, dv, inner);
  }

  // Step 6: flow += increment.
  addIncrement(flow, increment);
}

void flowsolver::nonlinearIteration(const CTensor<float>& image1,
                                    const CTensor<float>& warpedImage2, const CMatrix<float>& mask,
                                    const CTensor<float>& matchU, const CTensor<float>& matchV,
                                    const CTensor<float>& matchConfidence, CTensor<float>& flow,
                                    const CMatrix<float>* extra, float alpha, float beta,
                                    float gamma, float extraWeight, int outer, int inner,
                                    float omega, const LevelOptions& options) {
  checkLevelOperands(image1, warpedImage2, mask, matchU, matchV, matchConfidence, flow, extra);
  const int nx = image1.xSize(), ny = image1.ySize(), n = nx * ny;
  const int threads = levelThreads(options, n);
  StageTimes* const times = options.times;
  LevelWorkspace ownWorkspace;  // when the caller keeps none from level to level
  LevelWorkspace& ws = options.workspace != nullptr ? *options.workspace : ownWorkspace;

  StageClock tensorClock(times != nullptr ? &times->tensors : nullptr);
  planLevelBuffers(ws, nx, ny);
  motionTensors(image1, warpedImage2, mask, ws, options.pool, threads);
  tensorClock.stop();

  // The fast sweep forms the neighbour differences itself from the flow.
  SorSystem system =
      buildSorSystem({nx, ny, ws.brightness.data(), ws.gradient.data(), flow.data(), nullptr,
                      ws.horizontal.data(), ws.vertical.data(), ws.weights.data()},
                     omega);
  const float a = 1.0f / alpha;
  const WeightScales scale{a, a * gamma, a * beta};
  // The data and match weights are formed by the sweeps, band by band (see WeightRows).
  WeightRows weightRows(ws, flow, matchU, matchV, matchConfidence, scale);
  system.formRows = weightRows.job();
  float* du = ws.increment.data();
  float* dv = du + n;
  flowthreads::Pool* const sorPool =
      threads >= 2 && options.sorOnTwoThreads ? options.pool : nullptr;
  for (int iteration = 0; iteration < outer; ++iteration) {
    StageClock weightClock(times != nullptr ? &times->weights : nullptr);
    diffusivity(flow, ws.increment, ws.horizontal, ws.vertical, extra, extraWeight, threads,
                options.pool, ws.smoothnessScratch());
    weightClock.stop();

    StageClock sorClock(times != nullptr ? &times->sor : nullptr);
    sorSweeps(system, du, dv, inner, ws.sor, sorPool);
  }
  addIncrement(flow, ws.increment);
}

void COpticFlow::nonlinearIteration(CTensor<float>& image1, CTensor<float>& warpedImage2,
                                    CMatrix<float>& mask, CTensor<float>& matchU,
                                    CTensor<float>& matchV, CTensor<float>& matchConfidence,
                                    CTensor<float>& flow, CMatrix<float>* extra, float alpha,
                                    float beta, float gamma, float extraWeight, int outer,
                                    int inner, float omega) {
  flowsolver::nonlinearIteration(image1, warpedImage2, mask, matchU, matchV, matchConfidence, flow,
                                 extra, alpha, beta, gamma, extraWeight, outer, inner, omega,
                                 flowsolver::defaultLevelOptions());
}

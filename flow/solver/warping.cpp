// Coarse-to-fine warping: a fine pyramid with a constant size ratio η per level, the second
// image warped by the current flow on every level and a flow increment solved for, then five
// more full-resolution passes without the match term. warpingGeometricReference runs the
// steps as they read; warpingGeometric runs them as named steps over buffers planned once.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/solver_checks.h"
#include "flow/solver/pyramid.h"
#include "flow/solver/warp.h"
#include "flow/solver/level_solver.h"
#include "flow/solver/sor_sweep.h"
#include "flow/parallel/for_each_range.h"
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "flow/filters/resampling.h"
#include "flow/numerics/same_on_every_cpu.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using flowsolver::PyramidLevel;

// Multiplies the horizontal channel of a flow by sx and the vertical one by sy.
void scaleFlow(CTensor<float>& flow, float sx, float sy) {
  const int n = flow.xSize() * flow.ySize();
  float* u = flow.data();
  float* v = u + n;
  for (int i = 0; i < n; ++i)
    u[i] *= sx;
  for (int i = 0; i < n; ++i)
    v[i] *= sy;
}

// The sweeps of the final passes: twice the level's, at most INT_MAX.
int doubledSweeps(int inner) {
  return inner > INT_MAX / 2 ? INT_MAX : 2 * inner;
}

// γ·η^p of level p, rounded alike on every processor.
float levelGamma(float gamma, float eta, int p) {
  return flowmath::timesPowerToFloat(static_cast<double>(gamma), static_cast<double>(eta), p);
}

// The factors from full resolution to the level's pixels.
float levelScale(int levelSize, int size) {
  return static_cast<float>(levelSize) / static_cast<float>(size);
}

// The coarsest level: the still zero flow only takes this level's size and pixel scale.
void startAtCoarsestLevel(CTensor<float>& flow, const PyramidLevel& l, int xSize, int ySize) {
  flow.downsample(l.xSize, l.ySize);
  scaleFlow(flow, levelScale(l.xSize, xSize), levelScale(l.ySize, ySize));
}

// The sizes every operand must have and the reduction factor, checked before anything runs.
void checkSchemeOperands(const CTensor<float>& first, const CTensor<float>& second,
                         const CTensor<float>& matchU, const CTensor<float>& matchV,
                         const CTensor<float>& matchConfidence, const CMatrix<float>* extra,
                         float eta) {
  using flowsolver::requireMatrix;
  using flowsolver::requireTensor;
  const int xSize = first.xSize(), ySize = first.ySize(), channels = first.zSize();
  const char* const op = "COpticFlow::warpingGeometric";
  requireTensor(second, xSize, ySize, channels, op, "second image");
  const int candidates = matchU.zSize();
  requireTensor(matchU, xSize, ySize, candidates, op, "match u");
  requireTensor(matchV, xSize, ySize, candidates, op, "match v");
  requireTensor(matchConfidence, xSize, ySize, candidates, op, "match confidence");
  if (extra != nullptr) requireMatrix(*extra, xSize, ySize, op, "extra matrix");
  // Only a factor strictly between 0 and 1 shrinks the levels and gives a finite level count.
  if (!(eta > 0.0f && eta < 1.0f)) {
    throw std::invalid_argument(
        "COpticFlow::warpingGeometric: the reduction factor eta must lie strictly between 0 "
        "and 1");
  }
}

// Gaussian presmoothing of an image in place, along x, then along y.
void presmoothReference(CTensor<float>& image, float sigma) {
  const CSmooth<float> smooth(sigma, 3.0f);
  CTensor<float> smoothed(image.xSize(), image.ySize(), image.zSize());
  NFilter::filter(image, smoothed, smooth, 1, 1);
  image = smoothed;
  NFilter::filter(image, smoothed, 1, smooth, 1);
  image = smoothed;
}

// The fast scheme's inputs at full resolution.
struct SchemeInputs {
  const CTensor<float>& first;
  const CTensor<float>& second;
  const CTensor<float>& u;
  const CTensor<float>& v;
  const CTensor<float>& confidence;
  const CMatrix<float>* extra;
};

// One level's inputs: the full-resolution ones or their reductions.
struct LevelInputs {
  const CTensor<float>* first;
  const CTensor<float>* second;
  const CTensor<float>* u;
  const CTensor<float>* v;
  const CTensor<float>* confidence;
  const CMatrix<float>* extra;
};

// The fast scheme's buffers, planned for the largest level once and reused level after level.
struct SchemeWorkspace {
  // The reductions of the inputs to the current level, formed one after the other through one
  // scratch of `scratchFloats` floats.
  CTensor<float> first, second, u, v, confidence;
  CMatrix<float> extra;
  flowdetail::LargeVector<float> scratch;
  std::size_t scratchFloats = 0;
  // The matches' pixels of positive confidence, which every level's weighted reduction visits
  // (formed at the first reduced level; empty before).
  flowresample::PositivePixels positive;
  // The flow carried up, the warped second image with its validity mask, the zero confidence
  // of the final passes.
  CTensor<float> carried, warped, noMatches;
  CMatrix<float> mask;
  // The level solver's buffers (when the caller keeps none).
  flowsolver::LevelWorkspace level;

  // Frees the reductions once the levels have full resolution.
  void releaseReductions() {
    first = second = u = v = confidence = CTensor<float>();
    extra = CMatrix<float>();
    flowdetail::LargeVector<float>().swap(scratch);
    positive = flowresample::PositivePixels();
  }
};

// Presmoothing of both images in copies, each on its own thread.
void presmooth(const SchemeInputs& in, float sigma, CTensor<float>& smoothed1,
               CTensor<float>& smoothed2, flowthreads::Pool* pool, int threads) {
  smoothed1 = in.first;
  smoothed2 = in.second;
  const CSmooth<float> smooth(sigma, 3.0f);
  CTensor<float>* images[2] = {&smoothed1, &smoothed2};
  flowthreads::forEachRange(pool, 2, threads, [&](int begin, int end) {
    for (int k = begin; k < end; ++k) {
      CTensor<float>& image = *images[k];
      CTensor<float> smoothed(image.xSize(), image.ySize(), image.zSize());
      NFilter::filter(image, smoothed, smooth, 1, 1);
      image.swap(smoothed);
      NFilter::filter(image, smoothed, 1, smooth, 1);
      image.swap(smoothed);
    }
  });
}

// Plan the buffers: every buffer that follows the level's size gets room for its largest
// level at once, so that the levels, which grow one after the other, allocate (and fault in)
// nothing new; the sweep's scratch gets room for the doubled sweeps of the final passes.
void planBuffers(SchemeWorkspace& ws, flowsolver::LevelWorkspace& level,
                 const std::vector<PyramidLevel>& levels, const SchemeInputs& in, int inner,
                 const flowsolver::LevelOptions& options) {
  const int xSize = in.first.xSize(), ySize = in.first.ySize(), pixels = xSize * ySize;
  const int channels = in.first.zSize(), candidates = in.u.zSize();
  int reducedPixels = 0, reducedRows = 0;
  std::size_t setUp = 0;
  for (const PyramidLevel& l : levels) {
    const int threads = flowsolver::levelThreads(options, l.xSize * l.ySize);
    setUp = std::max(setUp, flowsolver::setUpScratchFloats(l.xSize, l.ySize, threads));
    if (l.level > 0) {
      reducedPixels = std::max(reducedPixels, l.xSize * l.ySize);
      reducedRows = std::max(reducedRows, l.xSize * ySize);  // the reductions' x passes
    }
  }
  ws.scratchFloats = static_cast<std::size_t>(std::max(reducedPixels, reducedRows));
  for (CTensor<float>* t : {&ws.first, &ws.second})
    t->reserve(reducedPixels * channels);
  for (CTensor<float>* t : {&ws.u, &ws.v, &ws.confidence})
    t->reserve(reducedPixels * candidates);
  if (in.extra != nullptr) ws.extra.reserve(reducedPixels);
  ws.warped.reserve(pixels * channels);
  ws.carried.reserve(2 * pixels);
  ws.mask.reserve(pixels);
  level.reserve(pixels);
  level.setUp.reserve(setUp);
  flowdetail::LargeVector<float>& band = level.sor.band;
  const std::size_t size = flowsolver::sorScratchFloats(xSize, ySize, doubledSweeps(inner));
  if (band.size() < size) band.assign(size, 0.0f);
}

// Reduce the level: the reductions straight from full resolution, each into its own buffer
// with its rows shared among the threads (the matches and their confidence in one pass over
// their weights), the matches rescaled to the level's pixels;
// a level of full resolution takes the inputs themselves.
LevelInputs reduceLevel(SchemeWorkspace& ws, const SchemeInputs& in, const PyramidLevel& l,
                        flowthreads::Pool* pool, int threads) {
  if (l.level <= 0) {
    ws.releaseReductions();
    return {&in.first, &in.second, &in.u, &in.v, &in.confidence, in.extra};
  }
  // One reduction after the other, on one scratch: they differ in cost too much to balance as
  // whole pieces.
  const int nx = l.xSize, ny = l.ySize;
  flowdetail::LargeVector<float>* scratch = &ws.scratch;
  scratch->reserve(ws.scratchFloats);
  using flowresample::downsample;
  downsample(in.first, nx, ny, ws.first, scratch, pool, threads);
  downsample(in.second, nx, ny, ws.second, scratch, pool, threads);
  if (in.extra != nullptr) downsample(*in.extra, nx, ny, ws.extra, scratch, pool, threads);
  // The matches and their confidence, weighted by it, in one pass over the weights.
  const CTensor<float>* matches[] = {&in.u, &in.v, &in.confidence};
  CTensor<float>* reduced[] = {&ws.u, &ws.v, &ws.confidence};
  if (ws.positive.rowStart.empty()) ws.positive = flowresample::positivePixels(in.confidence);
  downsample(matches, reduced, 3, nx, ny, in.confidence, ws.positive, scratch, pool, threads);
  ws.u *= levelScale(nx, in.first.xSize());
  ws.v *= levelScale(ny, in.first.ySize());
  return {&ws.first, &ws.second,     &ws.u,
          &ws.v,     &ws.confidence, in.extra != nullptr ? &ws.extra : nullptr};
}

// Carry the flow up: the coarser level's flow to this level's size and pixel scale (on the
// coarsest level, the zero flow to its size).
void carryFlowUp(CTensor<float>& flow, const PyramidLevel& l, int maxLevel, const SchemeInputs& in,
                 CTensor<float>& carried, flowthreads::Pool* pool, int threads) {
  if (l.level > 0 && l.p == maxLevel) {
    startAtCoarsestLevel(flow, l, in.first.xSize(), in.first.ySize());
  }
  if (l.p < maxLevel && l.level >= 0) {
    flowresample::upsampleBilinear(flow, l.xSize, l.ySize, carried, pool, threads);
    flow.swap(carried);
    scaleFlow(flow, levelScale(l.xSize, l.coarserXSize), levelScale(l.ySize, l.coarserYSize));
  }
}

// Warp: the validity mask and the second image warped towards the first, rows shared among
// the threads (on the coarsest level, the second image as it is).
const CTensor<float>& warpLevel(SchemeWorkspace& ws, const LevelInputs& level,
                                const CTensor<float>& flow, const PyramidLevel& l, int maxLevel,
                                const flowsolver::LevelOptions& options) {
  ws.mask.fitSize(l.xSize, l.ySize);
  ws.mask.fill(1.0f);
  if (l.p == maxLevel) return *level.second;
  ws.warped.fitSize(l.xSize, l.ySize, level.first->zSize());
  flowsolver::warpSecondImage(*level.first, *level.second, flow, ws.warped, ws.mask,
                              flowsolver::levelThreads(options, l.xSize * l.ySize), options.pool);
  return ws.warped;
}

// The confidence of a final pass: zero everywhere, made once.
const CTensor<float>& noMatches(SchemeWorkspace& ws, const CTensor<float>& confidence) {
  CTensor<float>& zero = ws.noMatches;
  if (zero.xSize() != confidence.xSize() || zero.ySize() != confidence.ySize() ||
      zero.zSize() != confidence.zSize()) {
    zero.setSize(confidence.xSize(), confidence.ySize(), confidence.zSize());
    zero.fill(0.0f);
  }
  return zero;
}

}  // namespace

void COpticFlow::warpingGeometric(CTensor<float> image1, CTensor<float> image2,
                                  CTensor<float>& flow, CTensor<float>& matchU,
                                  CTensor<float>& matchV, CTensor<float>& matchConfidence,
                                  CMatrix<float>* extra, float sigma, float alpha, float beta,
                                  float gamma, float extraWeight, float eta, int outer, int inner,
                                  float omega) {
  flowsolver::warpingGeometric(image1, image2, flow, matchU, matchV, matchConfidence, extra, sigma,
                               alpha, beta, gamma, extraWeight, eta, outer, inner, omega,
                               flowsolver::defaultLevelOptions());
}

void flowsolver::warpingGeometricReference(
    const CTensor<float>& firstImage, const CTensor<float>& secondImage, CTensor<float>& flow,
    const CTensor<float>& matchU, const CTensor<float>& matchV,
    const CTensor<float>& matchConfidence, const CMatrix<float>* extra, float sigma, float alpha,
    float beta, float gamma, float extraWeight, float eta, int outer, int inner, float omega) {
  checkSchemeOperands(firstImage, secondImage, matchU, matchV, matchConfidence, extra, eta);
  const int xSize = firstImage.xSize(), ySize = firstImage.ySize();

  // Step 1: the level whose smaller side is about 15 pixels.
  const int maxLevel = coarsestLevel(xSize, ySize, eta);

  // Step 2: optional presmoothing of both images, in copies.
  CTensor<float> image1(firstImage), image2(secondImage);
  if (sigma > 0.0f) {
    presmoothReference(image1, sigma);
    presmoothReference(image2, sigma);
  }

  // Step 3: start from the zero flow at full resolution.
  flow.setSize(xSize, ySize, 2);
  flow.fill(0.0f);

  // Step 4: from the coarsest level to full resolution, then the final passes; levels as
  // large as the next coarser one are left out.
  for (const PyramidLevel& l : pyramidLevels(xSize, ySize, eta)) {
    const int nx = l.xSize, ny = l.ySize;

    // The level's images, matches and extra matrix: fresh copies from full resolution,
    // reduced to the level's size.
    CTensor<float> first(image1), second(image2);
    CTensor<float> u(matchU), v(matchV), confidence(matchConfidence);
    CMatrix<float> levelExtra;
    if (extra != nullptr) levelExtra = *extra;
    if (l.level > 0) {
      first.downsample(nx, ny);
      second.downsample(nx, ny);
      if (extra != nullptr) levelExtra.downsample(nx, ny);
      // Matches: confidence-weighted means, pixels without positive confidence left out;
      // the vectors are rescaled to this level's pixels.
      u.downsample(nx, ny, matchConfidence);
      v.downsample(nx, ny, matchConfidence);
      confidence.downsample(nx, ny, matchConfidence);
      u *= levelScale(nx, xSize);
      v *= levelScale(ny, ySize);
      if (l.p == maxLevel) startAtCoarsestLevel(flow, l, xSize, ySize);
    }
    if (l.p < maxLevel && l.level >= 0) {
      // Carry the coarser level's flow to this level's size and pixel scale.
      flow.upsampleBilinear(nx, ny);
      scaleFlow(flow, levelScale(nx, l.coarserXSize), levelScale(ny, l.coarserYSize));
    }

    // Validity mask and the second image warped towards the first (on the coarsest level,
    // the second image as it is).
    CMatrix<float> mask(nx, ny, 1.0f);
    CTensor<float> warped(second);
    if (l.p != maxLevel) warpSecondImage(first, second, flow, warped, mask);

    // The final full-resolution passes: doubled sweeps, no match term.
    if (l.level == -1) inner = doubledSweeps(inner);
    if (l.level <= -1) confidence.fill(0.0f);

    nonlinearIterationReference(first, warped, mask, u, v, confidence, flow,
                                extra != nullptr ? &levelExtra : nullptr, alpha, beta,
                                levelGamma(gamma, eta, l.p), extraWeight, outer, inner, omega);
  }
}

void flowsolver::warpingGeometric(const CTensor<float>& firstImage,
                                  const CTensor<float>& secondImage, CTensor<float>& flow,
                                  const CTensor<float>& matchU, const CTensor<float>& matchV,
                                  const CTensor<float>& matchConfidence,
                                  const CMatrix<float>* extra, float sigma, float alpha, float beta,
                                  float gamma, float extraWeight, float eta, int outer, int inner,
                                  float omega, const LevelOptions& options) {
  checkSchemeOperands(firstImage, secondImage, matchU, matchV, matchConfidence, extra, eta);
  const int xSize = firstImage.xSize(), ySize = firstImage.ySize();
  const int threads = levelThreads(options, xSize * ySize);
  const int maxLevel = coarsestLevel(xSize, ySize, eta);
  // Without presmoothing the levels read the caller's images, which nothing changes.
  CTensor<float> smoothed1, smoothed2;
  const SchemeInputs given{firstImage, secondImage, matchU, matchV, matchConfidence, extra};
  if (sigma > 0.0f) presmooth(given, sigma, smoothed1, smoothed2, options.pool, threads);
  const SchemeInputs in{sigma > 0.0f ? smoothed1 : firstImage,
                        sigma > 0.0f ? smoothed2 : secondImage,
                        matchU,
                        matchV,
                        matchConfidence,
                        extra};
  flow.setSize(xSize, ySize, 2);
  flow.fill(0.0f);

  const std::vector<PyramidLevel> levels = pyramidLevels(xSize, ySize, eta);
  SchemeWorkspace ws;
  LevelOptions levelOptions = options;
  if (levelOptions.workspace == nullptr) levelOptions.workspace = &ws.level;
  planBuffers(ws, *levelOptions.workspace, levels, in, inner, levelOptions);
  StageTimes* const times = options.times;
  for (const PyramidLevel& l : levels) {
    if (options.checkpoint) options.checkpoint();
    StageClock resampleClock(times != nullptr ? &times->resample : nullptr);
    const LevelInputs level = reduceLevel(ws, in, l, options.pool, threads);
    carryFlowUp(flow, l, maxLevel, in, ws.carried, options.pool,
                levelThreads(options, l.xSize * l.ySize));
    resampleClock.stop();

    StageClock warpClock(times != nullptr ? &times->warp : nullptr);
    const CTensor<float>& warped = warpLevel(ws, level, flow, l, maxLevel, options);
    if (l.level == -1) inner = doubledSweeps(inner);
    const CTensor<float>& confidence =
        l.level <= -1 ? noMatches(ws, in.confidence) : *level.confidence;
    warpClock.stop();

    nonlinearIteration(*level.first, warped, ws.mask, *level.u, *level.v, confidence, flow,
                       level.extra, alpha, beta, levelGamma(gamma, eta, l.p), extraWeight, outer,
                       inner, omega, levelOptions);
  }
}

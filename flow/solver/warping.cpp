// Coarse-to-fine warping: a fine pyramid with a constant size ratio η per level, the second
// image warped by the current flow on every level and a flow increment solved for, then five
// more full-resolution passes without the match term.
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

void flowsolver::warpingGeometric(const CTensor<float>& firstImage,
                                  const CTensor<float>& secondImage, CTensor<float>& flow,
                                  CTensor<float>& matchU, CTensor<float>& matchV,
                                  CTensor<float>& matchConfidence, CMatrix<float>* extra,
                                  float sigma, float alpha, float beta, float gamma,
                                  float extraWeight, float eta, int outer, int inner, float omega,
                                  const LevelOptions& options) {
  const bool fast = options.setup == SweepKind::Fast;
  const int xSize = firstImage.xSize(), ySize = firstImage.ySize(), channels = firstImage.zSize();
  const int threads = fast ? levelThreads(options, xSize * ySize) : 1;
  const char* const op = "COpticFlow::warpingGeometric";
  requireTensor(secondImage, xSize, ySize, channels, op, "second image");
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

  // Step 1: the level whose smaller side is about 15 pixels.
  const int maxLevel = coarsestLevel(xSize, ySize, eta);

  // Step 2: optional presmoothing of both images, along x, then along y, in copies; without
  // it the levels read the caller's images, which nothing changes.
  CTensor<float> smoothed1, smoothed2;
  if (sigma > 0.0f) {
    smoothed1 = firstImage;
    smoothed2 = secondImage;
  }
  if (sigma > 0.0f && fast) {
    // The two images are smoothed independently, each on its own thread.
    const CSmooth<float> smooth(sigma, 3.0f);
    CTensor<float>* images[2] = {&smoothed1, &smoothed2};
    flowthreads::forEachRange(options.pool, 2, threads, [&](int begin, int end) {
      for (int k = begin; k < end; ++k) {
        CTensor<float>& image = *images[k];
        CTensor<float> smoothed(xSize, ySize, image.zSize());
        NFilter::filter(image, smoothed, smooth, 1, 1);
        image.swap(smoothed);
        NFilter::filter(image, smoothed, 1, smooth, 1);
        image.swap(smoothed);
      }
    });
  } else if (sigma > 0.0f) {
    const CSmooth<float> smooth(sigma, 3.0f);
    CTensor<float> smoothed(xSize, ySize, smoothed1.zSize());
    NFilter::filter(smoothed1, smoothed, smooth, 1, 1);
    smoothed1 = smoothed;
    NFilter::filter(smoothed1, smoothed, 1, smooth, 1);
    smoothed1 = smoothed;
    smoothed.setSize(xSize, ySize, smoothed2.zSize());
    NFilter::filter(smoothed2, smoothed, smooth, 1, 1);
    smoothed2 = smoothed;
    NFilter::filter(smoothed2, smoothed, 1, smooth, 1);
    smoothed2 = smoothed;
  }
  const CTensor<float>& image1 = sigma > 0.0f ? smoothed1 : firstImage;
  const CTensor<float>& image2 = sigma > 0.0f ? smoothed2 : secondImage;

  // Step 3: start from the zero flow at full resolution.
  flow.setSize(xSize, ySize, 2);
  flow.fill(0.0f);

  // Step 4: from the coarsest level to full resolution, then the final passes; levels as
  // large as the next coarser one are left out.
  const std::vector<PyramidLevel> levels = pyramidLevels(xSize, ySize, eta);
  struct LevelCopies {
    CTensor<float> first, second, u, v, confidence;
    CMatrix<float> extra;
    // Scratch of the reductions, one per piece of work.
    flowdetail::LargeVector<float> scratch[6];
  };
  LevelCopies copies;        // the straightforward set-up's copies of the level
  LevelCopies reduced;       // the fast set-up's reductions, reused level after level
  CTensor<float> noMatches;  // the fast set-up's zero confidence of the final passes
  // The fast set-up's warp and the flow carried up, reused level after level.
  CTensor<float> warpedLevel, carried;
  CMatrix<float> mask;
  // The fast level solver's buffers, kept from level to level.
  LevelWorkspace workspace;
  LevelOptions levelOptions = options;
  if (fast && levelOptions.workspace == nullptr) levelOptions.workspace = &workspace;
  std::size_t scratchFloats = 0;  // what the largest reduction needs of its scratch
  if (fast) {
    // Every buffer that follows the level's size gets room for its largest level at once, so
    // that the levels, which grow one after the other, allocate (and fault in) nothing new.
    const int pixels = xSize * ySize;
    int reducedPixels = 0, reducedRows = 0;
    for (const PyramidLevel& l : levels) {
      if (l.level > 0) {
        reducedPixels = std::max(reducedPixels, l.xSize * l.ySize);
        reducedRows = std::max(reducedRows, l.xSize * ySize);  // the reductions' x passes
      }
    }
    scratchFloats = std::max(reducedPixels, reducedRows);
    for (CTensor<float>* t : {&reduced.first, &reduced.second})
      t->reserve(reducedPixels * channels);
    for (CTensor<float>* t : {&reduced.u, &reduced.v, &reduced.confidence})
      t->reserve(reducedPixels * candidates);
    if (extra != nullptr) reduced.extra.reserve(reducedPixels);
    warpedLevel.reserve(pixels * channels);
    carried.reserve(2 * pixels);
    mask.reserve(pixels);
    levelOptions.workspace->reserve(pixels);
  }
  if (fast && levelOptions.sweep == SweepKind::Fast) {
    // The sweep's scratch for the largest level and the doubled sweeps of the final passes,
    // once, rather than grown (and zero-filled) level after level.
    const int most = inner > INT_MAX / 2 ? INT_MAX : 2 * inner;
    flowdetail::LargeVector<float>& band = levelOptions.workspace->sor.band;
    const std::size_t size = sorScratchFloats(xSize, ySize, most);
    if (band.size() < size) band.assign(size, 0.0f);
  }
  for (const PyramidLevel& l : levels) {
    if (options.checkpoint) options.checkpoint();
    StageClock resampleClock(options.times != nullptr ? &options.times->resample : nullptr);
    const int level = l.level, p = l.p, nx = l.xSize, ny = l.ySize;
    const int nxCoarser = l.coarserXSize, nyCoarser = l.coarserYSize;

    // The level's images, matches and extra matrix: the full-resolution ones where the level
    // has full resolution, else reductions of them.
    const CTensor<float>* first = &image1;
    const CTensor<float>* second = &image2;
    CTensor<float>* levelU = &matchU;
    CTensor<float>* levelV = &matchV;
    const CTensor<float>* levelConfidence = &matchConfidence;
    const CMatrix<float>* levelExtra = extra;
    if (!fast) {
      // Fresh copies from full resolution on every level.
      copies.first = image1;
      copies.second = image2;
      copies.u = matchU;
      copies.v = matchV;
      copies.confidence = matchConfidence;
      if (extra != nullptr) copies.extra = *extra;
      first = &copies.first;
      second = &copies.second;
      levelU = &copies.u;
      levelV = &copies.v;
      levelConfidence = &copies.confidence;
      if (extra != nullptr) levelExtra = &copies.extra;
      if (level > 0) {
        copies.first.downsample(nx, ny);
        copies.second.downsample(nx, ny);
        if (extra != nullptr) copies.extra.downsample(nx, ny);
        // Matches: confidence-weighted means, pixels without positive confidence left out;
        // the vectors are rescaled to this level's pixels.
        copies.u.downsample(nx, ny, matchConfidence);
        copies.v.downsample(nx, ny, matchConfidence);
        copies.confidence.downsample(nx, ny, matchConfidence);
      }
    } else if (level <= 0) {
      reduced = LevelCopies();  // full resolution from here on: the reductions are done
    } else {
      // The same six reductions straight from full resolution, each into its own buffer,
      // shared among the threads; each piece of work has its own scratch.
      flowthreads::forEachRange(options.pool, 6, threads, [&](int begin, int end) {
        flowdetail::LargeVector<float>* scratch = &reduced.scratch[begin];
        scratch->reserve(scratchFloats);
        for (int k = begin; k < end; ++k) {
          switch (k) {
            case 0:
              flowresample::downsampleInto(image1, nx, ny, reduced.first, scratch);
              break;
            case 1:
              flowresample::downsampleInto(image2, nx, ny, reduced.second, scratch);
              break;
            case 2:
              if (extra != nullptr) {
                flowresample::downsampleInto(*extra, nx, ny, reduced.extra, scratch);
              }
              break;
            case 3:
              flowresample::downsampleInto(matchU, nx, ny, matchConfidence, reduced.u, scratch);
              break;
            case 4:
              flowresample::downsampleInto(matchV, nx, ny, matchConfidence, reduced.v, scratch);
              break;
            default:
              flowresample::downsampleInto(matchConfidence, nx, ny, matchConfidence,
                                           reduced.confidence, scratch);
              break;
          }
        }
      });
      first = &reduced.first;
      second = &reduced.second;
      levelU = &reduced.u;
      levelV = &reduced.v;
      levelConfidence = &reduced.confidence;
      if (extra != nullptr) levelExtra = &reduced.extra;
    }
    if (level > 0) {
      const float sx = static_cast<float>(nx) / static_cast<float>(xSize);
      const float sy = static_cast<float>(ny) / static_cast<float>(ySize);
      *levelU *= sx;
      *levelV *= sy;
      if (p == maxLevel) {
        // The coarsest level: the still zero flow only takes this level's size.
        flow.downsample(nx, ny);
        scaleFlow(flow, sx, sy);
      }
    }
    if (p < maxLevel && level >= 0) {
      // Carry the coarser level's flow to this level's size and pixel scale.
      if (fast) {
        flowresample::upsampleInto(flow, nx, ny, carried);
        flow.swap(carried);
      } else {
        flow.upsampleBilinear(nx, ny);
      }
      scaleFlow(flow, static_cast<float>(nx) / static_cast<float>(nxCoarser),
                static_cast<float>(ny) / static_cast<float>(nyCoarser));
    }

    resampleClock.stop();
    // Validity mask and the second image warped towards the first.
    StageClock warpClock(options.times != nullptr ? &options.times->warp : nullptr);
    mask.fitSize(nx, ny);
    mask.fill(1.0f);
    const CTensor<float>* warped = second;  // the coarsest level: the second image as it is
    if (p != maxLevel) {
      warpedLevel.fitSize(nx, ny, channels);
      warpSecondImage(*first, *second, flow, warpedLevel, mask,
                      fast ? levelThreads(options, nx * ny) : 1, fast ? options.pool : nullptr);
      warped = &warpedLevel;
    }

    // The final full-resolution passes: doubled sweeps, no match term.
    if (level == -1) inner = inner > INT_MAX / 2 ? INT_MAX : 2 * inner;
    if (level <= -1) {
      if (!fast) {
        copies.confidence.fill(0.0f);
      } else if (noMatches.xSize() != xSize || noMatches.ySize() != ySize ||
                 noMatches.zSize() != matchConfidence.zSize()) {
        noMatches.setSize(xSize, ySize, matchConfidence.zSize());
        noMatches.fill(0.0f);
      }
      levelConfidence = fast ? &noMatches : &copies.confidence;
    }

    warpClock.stop();
    const float levelGamma =
        flowmath::timesPowerToFloat(static_cast<double>(gamma), static_cast<double>(eta), p);
    flowsolver::nonlinearIteration(*first, *warped, mask, *levelU, *levelV, *levelConfidence, flow,
                                   levelExtra, alpha, beta, levelGamma, extraWeight, outer, inner,
                                   omega, levelOptions);
  }
}

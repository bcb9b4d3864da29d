// The level plan of the coarse-to-fine scheme and the per-level warp of the second image.
#include "flow/solver/pyramid.h"

#include "flow/parallel/thread_count.h"
#include "flow/solver/bilinear_sample.h"
#include "flow/solver/solver_checks.h"
#include "flow/numerics/same_on_every_cpu.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

int flowsolver::levelSize(float eta, int p, int size) {
  // The true product's ceiling on every processor (see same_on_every_cpu.h).
  return static_cast<int>(flowmath::ceilPowerTimes(static_cast<double>(eta), p, size));
}

int flowsolver::coarsestLevel(int xSize, int ySize, float eta) {
  const int smaller = std::min(xSize, ySize);
  if (smaller <= 0) return 0;
  const float ratio = 15.0f / static_cast<float>(smaller);
  const double level = flowmath::logRatio(static_cast<double>(ratio), static_cast<double>(eta));
  // Negative counts become 0; the bound keeps the conversion inside the int range.
  if (!(level > 0.0)) return 0;
  return static_cast<int>(std::min(level, 1.0e9));
}

std::vector<flowsolver::PyramidLevel> flowsolver::pyramidLevels(int xSize, int ySize, float eta) {
  std::vector<PyramidLevel> levels;
  const int maxLevel = coarsestLevel(xSize, ySize, eta);
  for (int level = maxLevel; level >= kFinalLevel; --level) {
    const int p = std::max(level, 0);
    const PyramidLevel l{level,
                         p,
                         levelSize(eta, p, xSize),
                         levelSize(eta, p, ySize),
                         levelSize(eta, p + 1, xSize),
                         levelSize(eta, p + 1, ySize)};
    if (l.coarserXSize == l.xSize && l.coarserYSize == l.ySize) continue;
    levels.push_back(l);
  }
  return levels;
}

void flowsolver::warpSecondImage(const CTensor<float>& first, const CTensor<float>& second,
                                 const CTensor<float>& flow, CTensor<float>& warped,
                                 CMatrix<float>& mask) {
  const int nx = first.xSize(), ny = first.ySize(), nc = first.zSize();
  const char* const op = "flowsolver::warpSecondImage";
  requireTensor(second, nx, ny, nc, op, "second image");
  requireTensor(flow, nx, ny, 2, op, "flow");
  requireTensor(warped, nx, ny, nc, op, "warped image");
  requireMatrix(mask, nx, ny, op, "validity mask");
  warpRows(first, second, flow, warped, mask, 0, ny);
}

void flowsolver::warpSecondImage(const CTensor<float>& first, const CTensor<float>& second,
                                 const CTensor<float>& flow, CTensor<float>& warped,
                                 CMatrix<float>& mask, int threads, flowthreads::Pool* pool) {
  const int nx = first.xSize(), ny = first.ySize(), nc = first.zSize();
  const char* const op = "flowsolver::warpSecondImage";
  requireTensor(second, nx, ny, nc, op, "second image");
  requireTensor(flow, nx, ny, 2, op, "flow");
  requireTensor(warped, nx, ny, nc, op, "warped image");
  requireMatrix(mask, nx, ny, op, "validity mask");
  // Every pixel writes only its own warped samples and mask entry.
  flowthreads::forEachRange(pool, ny, threads, [&](int y0, int y1) {
    warpRows(first, second, flow, warped, mask, y0, y1);
  });
}

void flowsolver::warpRows(const CTensor<float>& first, const CTensor<float>& second,
                          const CTensor<float>& flow, CTensor<float>& warped, CMatrix<float>& mask,
                          int yBegin, int yEnd) {
  const int nx = first.xSize(), ny = first.ySize(), nc = first.zSize();
  const std::size_t plane = static_cast<std::size_t>(nx) * ny;
  const float* u = flow.data();
  const float* v = u + plane;
  for (int y = yBegin; y < yEnd; ++y) {
    for (int x = 0; x < nx; ++x) {
      const std::size_t i = x + static_cast<std::size_t>(y) * nx;
      SamplePoint p;
      if (locateSample(static_cast<float>(x) + u[i], static_cast<float>(y) + v[i], nx, ny, p)) {
        for (int q = 0; q < nc; ++q) {
          warped.data()[i + q * plane] = sampleBilinear(second.data() + q * plane, nx, p);
        }
      } else {
        mask.data()[i] = 0.0f;
        for (int q = 0; q < nc; ++q)
          warped.data()[i + q * plane] = first.data()[i + q * plane];
      }
    }
  }
}

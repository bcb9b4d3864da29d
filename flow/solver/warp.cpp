// The per-level warp of the second image by the current flow.
#include "flow/solver/warp.h"

#include "flow/parallel/for_each_range.h"
#include "flow/solver/bilinear_sample.h"
#include "flow/solver/solver_checks.h"

#include <cstddef>

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

#include "flow/matching/match_confidence.h"

#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "flow/parallel/for_each_range.h"

#include <cmath>

void computeConfidence(const CTensor<float>& first, const CTensor<float>& second,
                       CMatrix<float>& result) {
  computeConfidence(first, second, result, nullptr, 1);
}

void computeConfidence(const CTensor<float>& first, const CTensor<float>& /*second*/,
                       CMatrix<float>& result, flowthreads::Pool* pool, int threads) {
  const int xSize = first.xSize(), ySize = first.ySize(), channels = first.zSize();
  const int plane = xSize * ySize;

  // Step 1.
  result.setSize(xSize, ySize);

  // Step 2: central differences along x and y, every channel, mirrored borders.
  const CDerivative<float> derivative(3);
  CTensor<float> gx(xSize, ySize, channels), gy(xSize, ySize, channels);
  NFilter::filter(first, gx, derivative, 1, 1, pool, threads);
  NFilter::filter(first, gy, 1, derivative, 1, pool, threads);

  // Step 3: structure tensor summed over the channels, in channel order.
  // Steps 3 and 4 per pixel, the pixels shared among the threads.
  CMatrix<float> jxx(xSize, ySize, 0.0f), jyy(xSize, ySize, 0.0f), jxy(xSize, ySize, 0.0f);
  CMatrix<float> magnitude(xSize, ySize);
  flowthreads::forEachRange(pool, plane, threads, [&](int i0, int i1) {
    for (int k = 0; k < channels; ++k) {
      const float* dx = gx.data() + static_cast<long long>(k) * plane;
      const float* dy = gy.data() + static_cast<long long>(k) * plane;
      for (int i = i0; i < i1; ++i) {
        jxx.data()[i] += dx[i] * dx[i];
        jyy.data()[i] += dy[i] * dy[i];
        jxy.data()[i] += dx[i] * dy[i];
      }
    }

    // Step 4: gradient magnitude before any smoothing.
    for (int i = i0; i < i1; ++i)
      magnitude.data()[i] = std::sqrt(jxx.data()[i] + jyy.data()[i]);
  });

  // Step 5: integrate the tensor over a neighbourhood of scale 4.
  for (CMatrix<float>* component : {&jxx, &jyy, &jxy}) {
    NFilter::recursiveSmoothX(*component, 4.0f, pool, threads);
    NFilter::recursiveSmoothY(*component, 4.0f, pool, threads);
  }

  // Step 6: smaller eigenvalue t − √d of the smoothed tensor, times the magnitude.
  flowthreads::forEachRange(pool, plane, threads, [&](int i0, int i1) {
    for (int i = i0; i < i1; ++i) {
      result.data()[i] =
          confidenceScore(jxx.data()[i], jyy.data()[i], jxy.data()[i], magnitude.data()[i]);
    }
  });
}

#include "flow/matching/match_confidence.h"

#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"

#include <cmath>

void computeConfidence(const CTensor<float>& first, const CTensor<float>& /*second*/,
                       CMatrix<float>& result) {
  const int xSize = first.xSize(), ySize = first.ySize(), channels = first.zSize();
  const int plane = xSize * ySize;

  // Step 1.
  result.setSize(xSize, ySize);

  // Step 2: central differences along x and y, every channel, mirrored borders.
  const CDerivative<float> derivative(3);
  CTensor<float> gx(xSize, ySize, channels), gy(xSize, ySize, channels);
  NFilter::filter(first, gx, derivative, 1, 1);
  NFilter::filter(first, gy, 1, derivative, 1);

  // Step 3: structure tensor summed over the channels, in channel order.
  CMatrix<float> jxx(xSize, ySize, 0.0f), jyy(xSize, ySize, 0.0f), jxy(xSize, ySize, 0.0f);
  for (int k = 0; k < channels; ++k) {
    const float* dx = gx.data() + static_cast<long long>(k) * plane;
    const float* dy = gy.data() + static_cast<long long>(k) * plane;
    for (int i = 0; i < plane; ++i) {
      jxx.data()[i] += dx[i] * dx[i];
      jyy.data()[i] += dy[i] * dy[i];
      jxy.data()[i] += dx[i] * dy[i];
    }
  }

  // Step 4: gradient magnitude before any smoothing.
  CMatrix<float> magnitude(xSize, ySize);
  for (int i = 0; i < plane; ++i)
    magnitude.data()[i] = std::sqrt(jxx.data()[i] + jyy.data()[i]);

  // Step 5: integrate the tensor over a neighbourhood of scale 4.
  for (CMatrix<float>* component : {&jxx, &jyy, &jxy}) {
    NFilter::recursiveSmoothX(*component, 4.0f);
    NFilter::recursiveSmoothY(*component, 4.0f);
  }

  // Step 6: smaller eigenvalue t − √d of the smoothed tensor, times the magnitude.
  for (int i = 0; i < plane; ++i) {
    result.data()[i] =
        confidenceScore(jxx.data()[i], jyy.data()[i], jxy.data()[i], magnitude.data()[i]);
  }
}

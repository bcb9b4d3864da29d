#include "flow/frontend/run_flow.h"

#include "flow/containers/CMatrix.h"
#include "flow/filters/NFilter.h"
#include "flow/frontend/descriptor_matching.h"
#include "flow/frontend/match_confidence.h"
#include "flow/frontend/orientation_histogram.h"
#include "flow/solver/COpticFlow.h"

#include <cmath>
#include <stdexcept>

namespace NFlowDriver {

void presmooth(CTensor<float>& image, float sigma) {
  NFilter::recursiveSmoothX(image, sigma);
  NFilter::recursiveSmoothY(image, sigma);
}

bool validSigma(float sigma) {
  return sigma >= kSmallestSigma && std::isfinite(sigma);
}

void solve(const CTensor<float>& image1, const CTensor<float>& image2, CTensor<float>& flow,
           CTensor<float>& matchU, CTensor<float>& matchV, CTensor<float>& matchConfidence,
           float alpha, float beta, float gamma) {
  COpticFlow::warpingGeometric(image1, image2, flow, matchU, matchV, matchConfidence, nullptr, 0.0f,
                               alpha, beta, gamma, 0.0f, 0.95f, 5, 5, 1.85f);
}

}  // namespace NFlowDriver

void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma) {
  runFlow(image1, image2, flow, sigma, alpha, beta, gamma, NMatch::threadCount());
}

void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma, int threads) {
  const int xSize = image1.xSize(), ySize = image1.ySize();
  if (image2.xSize() != xSize || image2.ySize() != ySize || image2.zSize() != image1.zSize()) {
    throw std::invalid_argument("runFlow: the two frames must have the same size");
  }
  // The colour test of the matching reads channels 0, 1 and 2.
  if (image1.zSize() < 3)
    throw std::invalid_argument("runFlow: the frames need 3 channels or more");
  // Sigma 0 or below (or too small to form the smoothing coefficients) would turn both
  // frames into not-a-number images.
  if (!NFlowDriver::validSigma(sigma)) {
    throw std::invalid_argument("runFlow: sigma must be finite and at least 1e-38");
  }

  // Step 1: no matches yet.
  CTensor<float> matchU(xSize, ySize, 1, 0.0f), matchV(xSize, ySize, 1, 0.0f),
      matchConfidence(xSize, ySize, 1, 0.0f);

  // Step 2: presmoothing of both frames, in place.
  NFlowDriver::presmooth(image1, sigma);
  NFlowDriver::presmooth(image2, sigma);

  {
    // Steps 3 and 4: descriptors of both frames, the confidence map of the first.
    CTensor<float> hog1, hog2;
    CMatrix<float> confidence;
    computeHOG(image1, hog1);
    computeConfidence(image1, image2, confidence);
    computeHOG(image2, hog2);

    // Step 5: grid matching with the backward check.
    NMatch::match({image1, image2, hog1, hog2, confidence}, matchU, matchV, matchConfidence,
                  threads);
  }

  // Step 6: the variational solver on the smoothed frames.
  NFlowDriver::solve(image1, image2, flow, matchU, matchV, matchConfidence, alpha, beta, gamma);
}

// The flow driver behind denseMotion: presmoothing, orientation descriptors, confidence,
// sparse descriptor matches, and the coarse-to-fine variational solver with fixed settings.
#ifndef MOTIONSEG_FLOW_FRONTEND_RUN_FLOW_H
#define MOTIONSEG_FLOW_FRONTEND_RUN_FLOW_H

#include "flow/containers/CTensor.h"

/// Smallest presmoothing scale runFlow accepts: below it the recursive smoothing's
/// coefficients overflow and every smoothed value would be not a number.
constexpr float kSmallestSigma = 1.0e-38f;

/// Dense flow from image1 to image2 (xSize × ySize × Nc each, Nc ≥ 3). On return `flow` is
/// xSize × ySize × 2 (channel 0 u, channel 1 v, in pixels) and both images hold their
/// presmoothed versions. sigma is the presmoothing scale (finite, at least kSmallestSigma),
/// alpha the smoothness weight, beta the weight of the descriptor matches and gamma that of
/// gradient constancy. The matching runs on NMatch::threadCount() threads.
/// Throws std::invalid_argument for frames of different sizes, fewer than 3 channels or a
/// sigma outside that range.
void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma);

/// The same with an explicit thread count for the matching (the result does not depend on
/// it).
void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma, int threads);

namespace NFlowDriver {

/// Step 2 of the driver: recursive Gaussian presmoothing of a frame in place, along x then y.
void presmooth(CTensor<float>& image, float sigma);

/// Whether runFlow accepts sigma as a presmoothing scale.
bool validSigma(float sigma);

/// The variational solver call of the driver with its fixed settings: no extra matrix, no
/// further smoothing, η = 0.95, 5 outer iterations, 5 inner sweeps, ω = 1.85.
void solve(const CTensor<float>& image1, const CTensor<float>& image2, CTensor<float>& flow,
           CTensor<float>& matchU, CTensor<float>& matchV, CTensor<float>& matchConfidence,
           float alpha, float beta, float gamma);

}  // namespace NFlowDriver

#endif  // MOTIONSEG_FLOW_FRONTEND_RUN_FLOW_H

// Cornerness score of every pixel, which decides which grid points take part in the
// descriptor matching.
#ifndef MOTIONSEG_FLOW_MATCHING_MATCH_CONFIDENCE_H
#define MOTIONSEG_FLOW_MATCHING_MATCH_CONFIDENCE_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"

#include <cmath>

/// Writes into `result` (resized to first's xSize by ySize) the smaller eigenvalue of the
/// channel-summed structure tensor of `first`, smoothed with sigma 4, times the unsmoothed
/// gradient magnitude. `second` belongs to the interface and is not read. The discriminant
/// is not clamped: where rounding makes it negative the score is not a number.
void computeConfidence(const CTensor<float>& first, const CTensor<float>& second,
                       CMatrix<float>& result);

/// The same scores with every step's rows (or pixels) shared among `threads` threads of
/// `pool` (a null pool starts threads for the call); the bits do not depend on the threads.
void computeConfidence(const CTensor<float>& first, const CTensor<float>& second,
                       CMatrix<float>& result, flowthreads::Pool* pool, int threads);

/// The score of one pixel from its smoothed structure tensor (jxx, jyy, jxy) and unsmoothed
/// gradient magnitude g: (t − √d)·g with t = (jxx + jyy)/2 and d = t² + jxy² − jxx·jyy in
/// single precision, the root, difference and product in double.
inline float confidenceScore(float jxx, float jyy, float jxy, float g) {
  const float t = (jxx + jyy) * 0.5f;
  const float d = t * t + jxy * jxy - jxx * jyy;
  return static_cast<float>((static_cast<double>(t) - std::sqrt(static_cast<double>(d))) *
                            static_cast<double>(g));
}

#endif  // MOTIONSEG_FLOW_MATCHING_MATCH_CONFIDENCE_H

// The colour-wheel picture of a whole flow field as the programs and the Python module draw
// it: saturated at a chosen length, by default at the longest known vector. Flow files mark the
// pixels whose flow is unknown with huge vectors (1e10 in the ground truth of the usual
// benchmarks); such vectors are drawn white and left out of the automatic saturation.
#ifndef MOTIONSEG_FLOW_SOLVER_FLOW_COLOUR_H
#define MOTIONSEG_FLOW_SOLVER_FLOW_COLOUR_H

#include "flow/containers/CTensor.h"
#include "flow/solver/COpticFlow.h"

#include <cmath>
#include <limits>
#include <vector>

namespace flowsolver {

/// Vectors longer than this many pixels mark unknown flow (infinite ones included).
constexpr double kUnknownFlowLength = 1e9;

/// The colour of unknown vectors, each of red, green and blue: white, which no known vector
/// gets (a saturated one always has a channel below 255; the zero vector is black).
constexpr float kUnknownFlowColour = 255.0f;

/// True when (u, v) marks unknown flow: longer than kUnknownFlowLength. The squares of two
/// floats are exact in double and their sum is rounded once, so every front end decides alike.
inline bool unknownFlow(float u, float v) {
  const double du = u, dv = v;
  return du * du + dv * dv > kUnknownFlowLength * kUnknownFlowLength;
}

/// Length of the longest known vector of a two-channel flow; vectors whose length is not a
/// number and unknown vectors are ignored.
inline float longestVector(const CTensor<float>& flow) {
  float longest = 0.0f;
  const int n = flow.xSize() * flow.ySize();
  for (int i = 0; i < n; ++i) {
    const float u = flow.data()[i], v = flow.data()[n + i];
    if (unknownFlow(u, v)) continue;
    const float length = std::hypot(u, v);
    if (length > longest) longest = length;
  }
  return longest;
}

/// The colour image (xSize × ySize × 3, whole numbers 0..255 in red, green, blue) of a
/// two-channel flow, drawn at full colour from `saturation` pixels on (0 or less: from the
/// longest known vector on; a zero flow then uses 1). That is COpticFlow::flowToImage with the
/// divisor saturation/(2√2), at which it saturates, on the flow whose unknown vectors are made
/// not a number: a pixel without a direction takes the colour of the last pixel before it (in
/// row order) that has one. Unknown pixels are then drawn white (kUnknownFlowColour).
inline void saturatedColour(const CTensor<float>& flow, float saturation, CTensor<float>& image) {
  float full = saturation > 0.0f ? saturation : longestVector(flow);
  if (!(full > 0.0f)) full = 1.0f;
  CTensor<float> copy(flow);  // flowToImage takes a mutable flow
  const int n = flow.xSize() * flow.ySize();
  float* u = copy.data();
  float* v = u + n;
  std::vector<int> unknown;
  for (int i = 0; i < n; ++i) {
    if (!unknownFlow(u[i], v[i])) continue;
    unknown.push_back(i);
    u[i] = v[i] = std::numeric_limits<float>::quiet_NaN();
  }
  COpticFlow::flowToImage(copy, image, static_cast<float>(full / (2.0 * std::sqrt(2.0))));
  for (int i : unknown) {
    for (int c = 0; c < 3; ++c)
      image.data()[i + c * n] = kUnknownFlowColour;
  }
}

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_FLOW_COLOUR_H

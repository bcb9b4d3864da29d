// The colour-wheel picture of a whole flow field as the programs and the Python module draw
// it: saturated at a chosen length, by default at the longest vector.
#ifndef MOTIONSEG_FLOW_SOLVER_FLOW_COLOUR_H
#define MOTIONSEG_FLOW_SOLVER_FLOW_COLOUR_H

#include "flow/containers/CTensor.h"
#include "flow/solver/COpticFlow.h"

#include <cmath>

namespace flowsolver {

/// Length of the longest vector of a two-channel flow; vectors whose length is not a number
/// are ignored.
inline float longestVector(const CTensor<float>& flow) {
  float longest = 0.0f;
  const int n = flow.xSize() * flow.ySize();
  for (int i = 0; i < n; ++i) {
    const float length = std::hypot(flow.data()[i], flow.data()[n + i]);
    if (length > longest) longest = length;
  }
  return longest;
}

/// The colour image (xSize × ySize × 3, whole numbers 0..255 in red, green, blue) of a
/// two-channel flow, drawn at full colour from `saturation` pixels on (0 or less: from the
/// longest vector on; a zero flow then uses 1). That is COpticFlow::flowToImage with the
/// divisor saturation/(2√2), at which it saturates.
inline void saturatedColour(const CTensor<float>& flow, float saturation, CTensor<float>& image) {
  float full = saturation > 0.0f ? saturation : longestVector(flow);
  if (!(full > 0.0f)) full = 1.0f;
  CTensor<float> copy(flow);  // flowToImage takes a mutable flow
  COpticFlow::flowToImage(copy, image, static_cast<float>(full / (2.0 * std::sqrt(2.0))));
}

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_FLOW_COLOUR_H

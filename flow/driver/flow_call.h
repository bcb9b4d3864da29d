// What every front end of the flow (the denseMotion plug-in, the Python module) checks before
// a flow computation and how it words what can go wrong inside one, so that all of them refuse
// the same frames and parameters with the same texts.
#ifndef MOTIONSEG_FLOW_DRIVER_FLOW_CALL_H
#define MOTIONSEG_FLOW_DRIVER_FLOW_CALL_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/filters/CFilter.h"
#include "flow/driver/run_flow.h"

#include "common/text_format.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>

namespace flowdriver {

/// Channels of the descriptor field, the widest container of a flow computation.
constexpr std::int64_t kDescriptorChannels = 15;

/// Frames of rows x cols x channels that the flow computation cannot work with: fewer than 3
/// channels (the matching's colour test reads channels 0 to 2), or sizes whose 32-bit element
/// counts would overflow in some container. "" when the frames can be used.
inline std::string frameShapeFault(std::int64_t rows, std::int64_t cols, std::int64_t channels) {
  if (channels < 3) {
    return "Input images must have at least 3 channels; the colour test reads channels 1 to 3.";
  }
  const std::int64_t widest = channels > kDescriptorChannels ? channels : kDescriptorChannels;
  if (rows > INT_MAX || cols > INT_MAX || channels > INT_MAX ||
      (rows > 0 && cols > INT_MAX / rows) ||
      (rows * cols > 0 && widest > INT_MAX / (rows * cols))) {
    return "Input images are too large: rows x columns x max(channels, 15) must stay below 2^31.";
  }
  return {};
}

/// Largest presmoothing scale the front ends accept. The recursive smoothing decays through the
/// pole exp(-2.5 / (sqrt(pi) * sigma)); from about 4.7e7 on that pole rounds to 1 in single
/// precision, the filter no longer smooths, and beyond about 1e16 its gain is 0/0. 1e6 pixels
/// is far above any frame size and well inside that range.
constexpr float kLargestSigma = 1.0e6f;

/// A presmoothing scale the computation refuses: not a number, not finite or below 1e-38.
inline std::string sigmaFault(float sigma) {
  if (!flowdriver::validSigma(sigma)) {
    return "Sigma must be a finite number of at least 1e-38; smaller values leave no image to "
           "match.";
  }
  if (sigma > kLargestSigma) {
    return "Sigma must be at most 1e6; larger values smooth the frames into not-a-number images.";
  }
  return {};
}

/// Weights that can only give a flow that is not a number: a smoothness weight alpha of 0 or
/// below leaves the flow undetermined, and negative (or not finite) match and gradient weights
/// turn the energy's minimum into a maximum. "" when the weights can be used.
inline std::string weightFault(float alpha, float beta, float gamma) {
  if (!(alpha > 0.0f && alpha < HUGE_VALF)) {
    return "Alpha must be a finite number above 0; without smoothness the flow is undetermined.";
  }
  if (!(beta >= 0.0f && beta < HUGE_VALF)) return "Beta must be a finite number of 0 or more.";
  if (!(gamma >= 0.0f && gamma < HUGE_VALF)) return "Gamma must be a finite number of 0 or more.";
  return {};
}

/// How a flow computation failed: the text, and whether memory ran out or the caller's cancel
/// hook stopped it.
struct FlowFailure {
  std::string text;
  bool outOfMemory = false;
  bool interrupted = false;
  explicit operator bool() const { return !text.empty(); }
};

/// Runs work(), a flow computation on frames that passed the checks above (the conversion of
/// the frames included). The containers' and filters' exception structs and allocation
/// failures, and the driver's Interrupted, become a FlowFailure instead of leaving the call.
template <class Work>
FlowFailure catchFlowFailure(Work&& work) {
  FlowFailure failure;
  try {
    work();
  } catch (const Interrupted&) {
    failure = {"Interrupted.", false, true};
  } catch (const std::bad_alloc&) {
    failure = {"Out of memory while computing the flow.", true, false};
  } catch (const ETensorIncompatibleSize&) {
    failure.text = "Internal error: tensor size mismatch in the flow computation.";
  } catch (const EFilterIncompatibleSize&) {
    failure.text = "Internal error: filter size mismatch in the flow computation.";
  } catch (const EFilterNotAvailable&) {
    failure.text = "Internal error: missing filter mask in the flow computation.";
  } catch (const EIncompatibleMatrices&) {
    failure.text = "Internal error: matrix size mismatch in the flow computation.";
  }
  return failure;
}

/// A flow field that runFlow returned without the frames' rows x cols size and two channels.
inline std::string flowSizeFault(const CTensor<float>& flow, int rows, int cols) {
  if (flow.xSize() == cols && flow.ySize() == rows && flow.zSize() == 2) return {};
  return "Internal error: the flow field does not have the images' size.";
}

/// The range of the values of one or more frames, as the flow computation reads them (in
/// single precision).
struct ValueRange {
  float lo = HUGE_VALF;
  float hi = -HUGE_VALF;
  bool notFinite = false;  ///< some value is NaN or infinite
};

/// Widens `range` by every value of `frame`.
inline void widenRange(ValueRange& range, const CTensor<float>& frame) {
  const std::int64_t n = static_cast<std::int64_t>(frame.xSize()) * frame.ySize() * frame.zSize();
  const float* v = frame.data();
  for (std::int64_t i = 0; i < n; ++i) {
    if (!std::isfinite(v[i])) {
      range.notFinite = true;
      continue;
    }
    if (v[i] < range.lo) range.lo = v[i];
    if (v[i] > range.hi) range.hi = v[i];
  }
}

/// True for frames scaled to 0..1 (as image libraries' floating-point images are): every value
/// within 0..1 and not all of them equal. The flow's parameters are tuned for 0..255, and such
/// frames give a far less accurate flow; the front ends warn but compute it as asked.
inline bool unitRange(const ValueRange& range) {
  return !range.notFinite && range.lo >= 0.0f && range.hi <= 1.0f && range.lo < range.hi;
}

/// The warning of unitRange frames.
constexpr const char* kUnitRangeWarning =
    "Both frames lie within 0..1, but the flow is tuned for frames of 0..255 and is far less "
    "accurate on these; multiply them by 255.";

/// Frames whose values reach this far are the likely cause of a flow that is not finite.
constexpr float kLargestUsualValue = 1.0e6f;

/// A flow that holds values that are not finite numbers, worded with what leads there: frames
/// that are not finite or reach far beyond 0..255, or parameters far beyond their usual values.
/// "" for a finite flow.
inline std::string notFiniteFlowFault(const CTensor<float>& flow, const ValueRange& frames,
                                      float alpha, float beta, float gamma) {
  const std::int64_t n = static_cast<std::int64_t>(flow.xSize()) * flow.ySize() * flow.zSize();
  std::int64_t bad = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    if (!std::isfinite(flow.data()[i])) ++bad;
  }
  if (bad == 0) return {};
  std::string cause;
  if (frames.notFinite) {
    cause = "the frames hold values that are not finite numbers";
  } else if (frames.hi > kLargestUsualValue || frames.lo < -kLargestUsualValue) {
    cause = textformat::format("the frames hold values from %g to %g; scale them to 0..255",
                               static_cast<double>(frames.lo), static_cast<double>(frames.hi));
  } else {
    const char* names[3] = {"alpha", "beta", "gamma"};
    const float values[3] = {alpha, beta, gamma};
    for (int k = 0; k < 3; ++k) {
      if (values[k] <= kLargestUsualValue) continue;
      cause += textformat::format("%s%s = %g", cause.empty() ? "" : ", ", names[k],
                                  static_cast<double>(values[k]));
    }
    cause = cause.empty() ? std::string("the parameters give no usable flow for these frames")
                          : cause +
                                " is far too large (the defaults are alpha 30, beta 300, "
                                "gamma 5)";
  }
  return textformat::format("The flow holds %lld of %lld values that are not finite numbers: %s.",
                            static_cast<long long>(bad), static_cast<long long>(n), cause.c_str());
}

}  // namespace flowdriver

#endif  // MOTIONSEG_FLOW_DRIVER_FLOW_CALL_H

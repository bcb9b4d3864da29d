// What every front end of the flow (the denseMotion plug-in, the Python module) checks before
// a flow computation and how it words what can go wrong inside one, so that all of them refuse
// the same frames and parameters with the same texts.
#ifndef MOTIONSEG_FLOW_DRIVER_FLOW_CALL_H
#define MOTIONSEG_FLOW_DRIVER_FLOW_CALL_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/filters/CFilter.h"
#include "flow/driver/run_flow.h"

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

}  // namespace flowdriver

#endif  // MOTIONSEG_FLOW_DRIVER_FLOW_CALL_H

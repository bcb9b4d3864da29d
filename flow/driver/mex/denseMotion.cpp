// denseMotion: dense optical flow between two colour frames.
//
//   flow = denseMotion(image1, image2[, sigma[, alpha[, beta[, gamma]]]])
#include "mex.h"

#include "flow/containers/CTensor.h"
#include "flow/driver/column_major.h"
#include "flow/driver/flow_call.h"
#include "flow/driver/flow_memory.h"
#include "flow/driver/run_flow.h"
#include "flow/parallel/thread_count.h"
#include "gateway/interrupt.h"
#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

enum { IN_IMAGE1, IN_IMAGE2, IN_SIGMA, IN_ALPHA, IN_BETA, IN_GAMMA, IN_END };
enum { OUT_FLOW, OUT_END };

constexpr int kMinInputs = IN_SIGMA;

/// A 3-dimensional double array: the only shape the two frames may have.
bool isColourImage(const mxArray* a) {
  return gw::hasClass(a, mxDOUBLE_CLASS) && mxGetNumberOfDimensions(a) == 3;
}

/// Parameter `slot` as a single-precision value if the caller gave it, else `fallback`.
float parameter(int nrhs, const mxArray* prhs[], int slot, float fallback, const char* name,
                const char* text) {
  if (nrhs <= slot) return fallback;
  gw::requireFull(prhs[slot], name);
  return static_cast<float>(gw::scalar(prhs[slot], text));
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    if (nrhs < kMinInputs || nrhs > IN_END) {
      gw::fail(gw::Kind::Nargin, "INPUT: (image1, image2, sigma, alpha, beta, gamma) ");
    }
    if (nlhs != OUT_END) gw::fail(gw::Kind::Nargout, "OUTPUT: optical_flow ");
    if (!isColourImage(prhs[IN_IMAGE1])) {
      gw::fail(gw::Kind::Class, "First input must be a 3-dimensional array of noncomplex doubles.");
    }
    if (!isColourImage(prhs[IN_IMAGE2])) {
      gw::fail(gw::Kind::Class,
               "Second input must be a 3-dimensional array of noncomplex doubles.");
    }
    const std::vector<std::int64_t> dims = gw::dimensions(prhs[IN_IMAGE1]);
    if (dims != gw::dimensions(prhs[IN_IMAGE2]))
      gw::fail(gw::Kind::Size, "Input images must have the same size !");

    // Beyond the documented checks: what the flow computation cannot work with.
    const std::int64_t m = dims[0], n = dims[1], k = dims[2];
    const std::string shapeFault = flowdriver::frameShapeFault(m, n, k);
    if (!shapeFault.empty()) gw::fail(gw::Kind::Size, shapeFault);
    const flowdriver::FlowParameters defaults;
    const float sigma = parameter(nrhs, prhs, IN_SIGMA, defaults.sigma, "Sigma",
                                  "Sigma must be a numeric scalar.");
    const float alpha = parameter(nrhs, prhs, IN_ALPHA, defaults.alpha, "Alpha",
                                  "Alpha must be a numeric scalar.");
    const float beta = parameter(nrhs, prhs, IN_BETA, defaults.beta, "Beta",
                                 "Beta must be a numeric scalar.");
    const float gamma = parameter(nrhs, prhs, IN_GAMMA, defaults.gamma, "Gamma",
                                  "Gamma must be a numeric scalar.");
    const std::string sigmaFault = flowdriver::sigmaFault(sigma);
    if (!sigmaFault.empty()) gw::fail(gw::Kind::Value, sigmaFault);
    const std::string weightFault = flowdriver::weightFault(alpha, beta, gamma);
    if (!weightFault.empty()) gw::fail(gw::Kind::Value, weightFault);

    const int rows = static_cast<int>(m), cols = static_cast<int>(n),
              channels = static_cast<int>(k);
    gw::requireMemory("denseMotion", flowdriver::denseMotionBytes(static_cast<std::uint64_t>(m),
                                                                  static_cast<std::uint64_t>(n),
                                                                  static_cast<std::uint64_t>(k)));
    CTensor<float> flow;
    flowdriver::ValueRange frames;
    // The flow computation signals size faults with its own exception structs, which the
    // guard does not know; they, allocation failures and an interrupt end the call here.
    const flowdriver::FlowFailure failure = flowdriver::catchFlowFailure([&] {
      CTensor<float> image1, image2;
      columnMajorToTensor(gw::data<double>(prhs[IN_IMAGE1]), rows, cols, channels, image1);
      columnMajorToTensor(gw::data<double>(prhs[IN_IMAGE2]), rows, cols, channels, image2);
      flowdriver::widenRange(frames, image1);
      flowdriver::widenRange(frames, image2);
      // Ctrl-C, where the host lets a plug-in notice it, stops the computation between
      // pyramid levels and grid rows of the matching (polled on this thread only).
      runFlow(image1, image2, flow, sigma, alpha, beta, gamma, flowthreads::threadCount(),
              gw::interruptPending);
    });
    if (failure.interrupted) gw::endInterrupted();
    if (failure)
      gw::fail(failure.outOfMemory ? gw::Kind::Memory : gw::Kind::Internal, failure.text);
    const std::string sizeFault = flowdriver::flowSizeFault(flow, rows, cols);
    if (!sizeFault.empty()) gw::fail(gw::Kind::Internal, sizeFault);
    // Frames of 0..1 give a poor flow, which is still the one asked for: a warning only.
    if (flowdriver::unitRange(frames)) {
      mexWarnMsgIdAndTxt("motionseg:denseMotion:range", "%s", flowdriver::kUnitRangeWarning);
    }
    const std::string finiteFault =
        flowdriver::notFiniteFlowFault(flow, frames, alpha, beta, gamma);
    if (!finiteFault.empty()) gw::fail(gw::Kind::Value, finiteFault);

    // The flow tensor into an M-by-N-by-2 double array.
    mxArray* out = gw::createArray<double>(
        {static_cast<std::size_t>(m), static_cast<std::size_t>(n), std::size_t{2}});
    tensorToColumnMajor(flow, gw::mutableData<double>(out));
    plhs[OUT_FLOW] = out;
  });
}

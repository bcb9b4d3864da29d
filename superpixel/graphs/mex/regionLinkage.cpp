// regionLinkage: how many pixels of each superpixel of one frame the flow carries onto each
// superpixel of the next frame.
//
//   K = regionLinkage(flow, A, B)
//   K = regionLinkage(flow, A, B, N1, N2)
#include "mex.h"

#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"
#include "superpixel/graphs/graph_checks.h"
#include "superpixel/graphs/region_linkage.h"

#include <cstdint>
#include <string>

namespace {

enum { IN_FLOW, IN_FIRST, IN_SECOND, IN_COUNT_FIRST, IN_COUNT_SECOND, IN_END };
enum { OUT_COUNTS, OUT_END };
constexpr int kInputsWithoutCounts = IN_COUNT_FIRST;

// A count argument truncated toward zero; it sizes the output, so it must be a non-negative
// 32-bit size.
std::size_t countArgument(const mxArray* a) {
  return static_cast<std::size_t>(gw::truncatedScalar(a, "Number of superpixels", 0, 2147483647));
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    gw::requireInputCount(nrhs, {kInputsWithoutCounts, IN_END});
    gw::requireClass(prhs[IN_FLOW], mxINT16_CLASS, "Flow matrix must be of type int16");
    gw::requireClass(prhs[IN_FIRST], mxUINT16_CLASS,
                     "Super pixel label map must be of type uint16");
    gw::requireClass(prhs[IN_SECOND], mxUINT16_CLASS,
                     "Super pixel label map must be of type uint16");
    const bool countsGiven = nrhs == IN_END;
    if (countsGiven) {
      gw::requireClass(prhs[IN_COUNT_FIRST], mxDOUBLE_CLASS,
                       "Number of superpixels must be of type double");
      gw::requireClass(prhs[IN_COUNT_SECOND], mxDOUBLE_CLASS,
                       "Number of superpixels must be of type double");
    }
    gw::requireOutputCount(nlhs, OUT_END);
    gw::requireDimensions(prhs[IN_FLOW], 3, "Flow matrix must be 3-dimensional");
    if (mxGetNumberOfDimensions(prhs[IN_FIRST]) != 2 ||
        mxGetNumberOfDimensions(prhs[IN_SECOND]) != 2) {
      gw::fail(gw::Kind::Size, "Super pixel label map must be 2-dimensional");
    }

    // Beyond the documented checks: the counts size the output, and the flow and the second
    // map are read as H-by-W-by-2 and H-by-W.
    const mxArray* first = prhs[IN_FIRST];
    const mxArray* second = prhs[IN_SECOND];
    const mxArray* flow = prhs[IN_FLOW];
    std::size_t n1 = 0, n2 = 0;
    if (countsGiven) {
      n1 = countArgument(prhs[IN_COUNT_FIRST]);
      n2 = countArgument(prhs[IN_COUNT_SECOND]);
    }
    const superpixel::LinkFrames frames{
        gw::data<std::int16_t>(flow), gw::data<std::uint16_t>(first),
        gw::data<std::uint16_t>(second), gw::rows(first), gw::cols(first)};
    const std::size_t plane = frames.height * frames.width;
    const std::string sizeFault = superpixel::linkageSizeFault(gw::count(flow), gw::count(second),
                                                               frames.height, frames.width);
    if (!sizeFault.empty()) gw::fail(gw::Kind::Size, sizeFault);

    if (frames.height == 0) {
      // Nothing to count: the given counts shape the answer, or it is 0-by-0.
      gw::requireMemory("regionLinkage", superpixel::regionLinkageBytes(n1, n2));
      plhs[OUT_COUNTS] = gw::createMatrix<std::uint32_t>(n1, n2);
      return;
    }
    if (countsGiven) {
      const std::string labelFault = superpixel::linkageLabelFault(frames, n1, n2);
      if (!labelFault.empty()) gw::fail(gw::Kind::Value, labelFault);
    } else {
      n1 = superpixel::largestLabel(frames.first, plane);
      n2 = superpixel::largestLabel(frames.second, plane);
    }
    gw::requireMemory("regionLinkage", superpixel::regionLinkageBytes(n1, n2));
    mxArray* counts = gw::createMatrix<std::uint32_t>(n1, n2);
    superpixel::countLinks(frames, n1, gw::mutableData<std::uint32_t>(counts));
    plhs[OUT_COUNTS] = counts;
  });
}

// regionMotionLevel: mean flow length of every superpixel of one frame.
//
//   level = regionMotionLevel(flow, labels[, N])
#include "mex.h"

#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"
#include "superpixel/stats/frame_labels.h"
#include "superpixel/stats/mex/label_map_argument.h"
#include "superpixel/stats/region_motion_level.h"
#include "superpixel/stats/stats_checks.h"

#include <cstdint>
#include <string>

namespace {

enum { IN_FLOW, IN_LABELS, IN_COUNT, IN_END };
enum { OUT_LEVEL, OUT_END };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    gw::requireInputCount(nrhs, {IN_END - 1, IN_END});
    gw::requireClass(prhs[IN_FLOW], mxINT16_CLASS, "Flow matrix must be of type int16");
    gw::requireClass(prhs[IN_LABELS], mxUINT16_CLASS,
                     "Super pixel label map must be of type uint16");
    const bool counted = nrhs == IN_END;
    if (counted) {
      gw::requireClass(prhs[IN_COUNT], mxDOUBLE_CLASS,
                       "Number of superpixels must be of type double");
    }
    gw::requireOutputCount(nlhs, OUT_END);
    gw::requireDimensions(prhs[IN_FLOW], 3, "Flow matrix must be 3-dimensional");
    gw::requireDimensions(prhs[IN_LABELS], 2, "Super pixel label map must be 2-dimensional");

    // Beyond the documented checks: everything that would take the call outside an array.
    const auto [height, width, pixels, labels] = superpixel::labelMapArgument(prhs[IN_LABELS]);
    std::uint32_t count = 0;
    if (counted) {
      count = static_cast<std::uint32_t>(
          gw::truncatedScalar(prhs[IN_COUNT], "Number of superpixels", 0, 2147483647));
    }
    const std::string flowFault =
        superpixel::motionLevelFlowFault(gw::count(prhs[IN_FLOW]), height, width, pixels);
    if (!flowFault.empty()) gw::fail(gw::Kind::Size, flowFault);
    if (counted) {
      const std::string labelFault = superpixel::motionLevelLabelFault(labels, pixels, count);
      if (!labelFault.empty()) gw::fail(gw::Kind::Value, labelFault);
    } else {
      count = superpixel::scanFrameLabels(labels, pixels).largest;
    }

    gw::requireMemory("regionMotionLevel", superpixel::regionMotionLevelBytes(count));
    mxArray* level = gw::createMatrix<float>(count, 1);
    superpixel::regionMotionLevel(gw::data<std::int16_t>(prhs[IN_FLOW]), labels, height, width,
                                  count, gw::mutableData<float>(level));
    plhs[OUT_LEVEL] = level;
  });
}

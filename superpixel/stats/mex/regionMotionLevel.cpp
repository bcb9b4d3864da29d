// regionMotionLevel: mean flow length of every superpixel of one frame.
//
//   level = regionMotionLevel(flow, labels[, N])
#include "mex.h"

#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"
#include "superpixel/stats/frame_labels.h"
#include "superpixel/stats/mex/label_map_argument.h"
#include "superpixel/stats/region_motion_level.h"

#include <cstdint>

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
    const std::size_t flowCount = gw::count(prhs[IN_FLOW]);
    if (flowCount / 2 < pixels) {
      gw::fail(gw::Kind::Size,
               gw::format("Flow matrix has %zu elements but a %d-by-%d label map needs %zu "
                          "(H-by-W-by-2).",
                          flowCount, height, width, 2 * pixels));
    }
    if (counted) {
      const std::ptrdiff_t bad = superpixel::findLabelAbove(labels, pixels, count);
      if (bad >= 0) {
        gw::fail(gw::Kind::Value,
                 gw::format("Label %u at element %td of the super pixel label map is above the "
                            "number of superpixels %u.",
                            static_cast<unsigned>(labels[bad]), bad + 1, count));
      }
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

// regionCoverage: share of the pixels of every superpixel of one frame that lie inside a
// region, and the pixel count of every superpixel.
//
//   [ratio, size] = regionCoverage(labels, inOut[, N])
#include "mex.h"

#include "common/size_checks.h"
#include "gateway/mex_gateway.h"
#include "superpixel/stats/mex/label_map_argument.h"
#include "superpixel/stats/region_coverage.h"
#include "superpixel/stats/stats_checks.h"

#include <cstdint>
#include <optional>
#include <string>

namespace {

enum { IN_LABELS, IN_INOUT, IN_COUNT, IN_END };
enum { OUT_RATIO, OUT_SIZE, OUT_END };

static_assert(sizeof(mxLogical) == 1, "logical elements are read as bytes");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    gw::requireInputCount(nrhs, {IN_END - 1, IN_END});
    gw::requireClass(prhs[IN_LABELS], mxUINT16_CLASS,
                     "Super pixel label map must be of type uint16");
    gw::requireClass(prhs[IN_INOUT], mxLOGICAL_CLASS, "In-Out map must be of type logical");
    const bool counted = nrhs == IN_END;
    if (counted) {
      gw::requireClass(prhs[IN_COUNT], mxUINT16_CLASS,
                       "Number of superpixels must be of type uint16");
    }
    gw::requireOutputCount(nlhs, OUT_END);
    gw::requireDimensions(prhs[IN_LABELS], 2, "Super pixel label map must be 2-dimensional");
    gw::requireDimensions(prhs[IN_INOUT], 2, "In-Out map must be 2-dimensional");

    // Beyond the documented checks: everything that would take the call outside an array.
    gw::requireFull(prhs[IN_INOUT], "In-Out map");
    const auto [height, width, pixels, labels] = superpixel::labelMapArgument(prhs[IN_LABELS]);
    if (counted && gw::isEmpty(prhs[IN_COUNT])) {
      gw::fail(gw::Kind::Size, sizecheck::emptyText("Number of superpixels"));
    }
    const std::string insideFault =
        superpixel::coverageInsideFault(gw::count(prhs[IN_INOUT]), height, width, pixels);
    if (!insideFault.empty()) gw::fail(gw::Kind::Size, insideFault);
    std::optional<std::uint16_t> given;
    if (counted) given = gw::data<std::uint16_t>(prhs[IN_COUNT])[0];
    const superpixel::CoverageCount labelCount = superpixel::coverageCount(labels, pixels, given);
    if (!labelCount.fault.empty()) gw::fail(gw::Kind::Value, labelCount.fault);
    const std::uint32_t count = labelCount.count;

    mxArray* ratio = gw::createMatrix<float>(count, 1);
    mxArray* size = gw::createMatrix<std::uint32_t>(count, 1);
    superpixel::regionCoverage(
        labels, reinterpret_cast<const std::uint8_t*>(gw::logicals(prhs[IN_INOUT])), height, width,
        count, gw::mutableData<float>(ratio), gw::mutableData<std::uint32_t>(size));
    // With fewer than two outputs requested the ratio alone is returned (as ans for none).
    gw::handOver(nlhs, plhs, {ratio, size});
  });
}

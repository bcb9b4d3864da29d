// regionCoverage: share of the pixels of every superpixel of one frame that lie inside a
// region, and the pixel count of every superpixel.
//
//   [ratio, size] = regionCoverage(labels, inOut[, N])
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "superpixel/stats/frame_labels.h"
#include "superpixel/stats/region_coverage.h"

#include <cstdint>

namespace {

enum { IN_LABELS, IN_INOUT, IN_COUNT, IN_END };
enum { OUT_RATIO, OUT_SIZE, OUT_END };

static_assert(sizeof(mxLogical) == 1, "logical elements are read as bytes");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    if (nrhs != IN_END - 1 && nrhs != IN_END) gw::fail("Invalid number of input arguments");
    gw::requireClass(prhs[IN_LABELS], mxUINT16_CLASS,
                     "Super pixel label map must be of type uint16");
    gw::requireClass(prhs[IN_INOUT], mxLOGICAL_CLASS, "In-Out map must be of type logical");
    const bool counted = nrhs == IN_END;
    if (counted) {
      gw::requireClass(prhs[IN_COUNT], mxUINT16_CLASS,
                       "Number of superpixels must be of type uint16");
    }
    if (nlhs > OUT_END) gw::fail("Invalid number of output arguments");
    if (mxGetNumberOfDimensions(prhs[IN_LABELS]) != 2) {
      gw::fail("Super pixel label map must be 2-dimensional");
    }
    if (mxGetNumberOfDimensions(prhs[IN_INOUT]) != 2) gw::fail("In-Out map must be 2-dimensional");

    // Beyond the documented checks: everything that would take the call outside an array.
    const mxArray* labelMap = prhs[IN_LABELS];
    const int height = gw::toInt(mxGetM(labelMap), "Super pixel label map has too many rows.");
    const int width = gw::toInt(mxGetN(labelMap), "Super pixel label map has too many columns.");
    const std::size_t pixels = gw::count(labelMap);
    const std::uint16_t* labels = gw::data<std::uint16_t>(labelMap);
    if (counted && gw::isEmpty(prhs[IN_COUNT])) {
      gw::fail("Number of superpixels must not be empty.");
    }
    if (gw::count(prhs[IN_INOUT]) < pixels) {
      gw::fail(gw::format("In-Out map has %zu elements but the %d-by-%d label map has %zu.",
                          gw::count(prhs[IN_INOUT]), height, width, pixels));
    }
    std::uint32_t count = 0;
    std::ptrdiff_t bad = -1;
    if (counted) {
      count = gw::data<std::uint16_t>(prhs[IN_COUNT])[0];
      bad = superpixel::findLabelOutside(labels, pixels, count);
    } else {
      const superpixel::FrameLabelScan scan = superpixel::scanFrameLabels(labels, pixels);
      count = scan.largest;
      bad = scan.firstZero;
    }
    if (bad >= 0) {
      gw::fail(gw::format("Label %u at element %td of the super pixel label map is outside 1..%u.",
                          static_cast<unsigned>(labels[bad]), bad + 1, count));
    }

    mxArray* ratio = gw::createMatrix<float>(count, 1);
    mxArray* size = gw::createMatrix<std::uint32_t>(count, 1);
    superpixel::regionCoverage(
        labels, reinterpret_cast<const std::uint8_t*>(gw::logicals(prhs[IN_INOUT])), height, width,
        count, gw::mutableData<float>(ratio), gw::mutableData<std::uint32_t>(size));
    plhs[OUT_RATIO] = ratio;
    if (nlhs < OUT_END) {
      // The host offers a single slot: the ratio alone is returned (as ans when nlhs is 0).
      mxDestroyArray(size);
      return;
    }
    plhs[OUT_SIZE] = size;
  });
}

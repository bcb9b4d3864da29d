// crossingRuns: the same eight-ray parity votes as crossingCounts, as a plug-in of its own.
//
//   counts = crossingRuns(image)
#include "mex.h"

#include "crossing/crossing_counts.h"
#include "gateway/mex_gateway.h"

#include <cstdint>

namespace {

enum { IN_IMAGE, IN_END };
enum { OUT_COUNTS, OUT_END };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    if (nrhs != IN_END) gw::fail("Invalid number of input arguments");
    const mxArray* image = prhs[IN_IMAGE];
    gw::requireClass(image, mxUINT8_CLASS, "Input matrix must be of type uint8");
    if (nlhs > OUT_END) gw::fail("Invalid number of output arguments");
    if (mxGetNumberOfDimensions(image) > 2) gw::fail("Input matrix must be 2-dimensional");

    // Beyond the documented checks: sizes are held in 16 bits.
    const std::size_t m = gw::rows(image);
    const std::size_t n = gw::cols(image);
    if (m > static_cast<std::size_t>(crossing::kMaxSide) ||
        n > static_cast<std::size_t>(crossing::kMaxSide)) {
      gw::fail(
          gw::format("Input matrix is %zu-by-%zu; at most %d rows and %d columns are supported.", m,
                     n, crossing::kMaxSide, crossing::kMaxSide));
    }

    mxArray* counts = gw::createMatrix<std::uint8_t>(m, n);
    if (m > 0 && n > 0) {
      crossing::crossingCounts(gw::data<std::uint8_t>(image), static_cast<int>(m),
                               static_cast<int>(n), gw::mutableData<std::uint8_t>(counts));
    }
    plhs[OUT_COUNTS] = counts;
  });
}

// The entry code shared by the crossingCounts and crossingRuns plug-ins. Header-only, since it
// is compiled against each host's mex.h with the entry files.
#ifndef MOTIONSEG_CROSSING_MEX_CROSSING_ENTRY_H
#define MOTIONSEG_CROSSING_MEX_CROSSING_ENTRY_H

#include "mex.h"

#include "crossing/crossing_counts.h"
#include "gateway/mex_gateway.h"

#include <cstdint>

namespace crossing {
namespace entry {

enum { IN_IMAGE, IN_END };
enum { OUT_COUNTS, OUT_END };

}  // namespace entry

/// The whole call of crossingCounts and crossingRuns: the two plug-ins share checks, texts and
/// results, and differ only in their names.
inline void crossingPlugin(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    gw::requireInputCount(nrhs, {entry::IN_END});
    const mxArray* image = prhs[entry::IN_IMAGE];
    gw::requireClass(image, mxUINT8_CLASS, "Input matrix must be of type uint8");
    gw::requireOutputCount(nlhs, entry::OUT_END);
    if (mxGetNumberOfDimensions(image) > 2)
      gw::fail(gw::Kind::Size, "Input matrix must be 2-dimensional");

    // Beyond the documented checks: sizes are held in 16 bits.
    const std::size_t m = gw::rows(image);
    const std::size_t n = gw::cols(image);
    if (m > static_cast<std::size_t>(kMaxSide) || n > static_cast<std::size_t>(kMaxSide)) {
      gw::fail(
          gw::Kind::Size,
          gw::format("Input matrix is %zu-by-%zu; at most %d rows and %d columns are supported.", m,
                     n, kMaxSide, kMaxSide));
    }

    mxArray* counts = gw::createMatrix<std::uint8_t>(m, n);
    if (m > 0 && n > 0) {
      crossingCounts(gw::data<std::uint8_t>(image), static_cast<int>(m), static_cast<int>(n),
                     gw::mutableData<std::uint8_t>(counts));
    }
    plhs[entry::OUT_COUNTS] = counts;
  });
}

}  // namespace crossing

#endif  // MOTIONSEG_CROSSING_MEX_CROSSING_ENTRY_H

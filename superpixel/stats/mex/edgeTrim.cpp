// edgeTrim: a boundary map without the boundary pixels connected to the image border or to a
// masked area.
//
//   cleaned = edgeTrim(edges[, mask])
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "superpixel/stats/edge_trim.h"
#include "superpixel/stats/stats_checks.h"

#include <cstdint>
#include <string>

namespace {

enum { IN_EDGES, IN_MASK, IN_END };
enum { OUT_CLEANED, OUT_END };

static_assert(sizeof(mxLogical) == 1, "logical elements are read and written as bytes");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    gw::requireInputCount(nrhs, {IN_END - 1, IN_END});
    gw::requireClass(prhs[IN_EDGES], mxLOGICAL_CLASS, "Input matrix must be of type logical");
    const bool masked = nrhs == IN_END;
    if (masked) gw::requireClass(prhs[IN_MASK], mxLOGICAL_CLASS, "Mask must be of type logical");
    gw::requireOutputCount(nlhs, OUT_END);
    gw::requireDimensions(prhs[IN_EDGES], 2, "Input matrix must be 2-dimensional");
    if (masked) gw::requireDimensions(prhs[IN_MASK], 2, "Mask must be 2-dimensional");

    // Beyond the documented checks: everything that would take the call outside an array.
    const mxArray* edges = prhs[IN_EDGES];
    gw::requireFull(edges, "Input matrix");
    if (masked) gw::requireFull(prhs[IN_MASK], "Mask");
    const auto [height, width] = gw::intSize(edges, "Input matrix");
    const std::uint8_t* mask = nullptr;
    if (masked) {
      const std::string fault =
          superpixel::edgeTrimMaskFault(gw::count(prhs[IN_MASK]), height, width, gw::count(edges));
      if (!fault.empty()) gw::fail(gw::Kind::Size, fault);
      mask = reinterpret_cast<const std::uint8_t*>(gw::logicals(prhs[IN_MASK]));
    }

    mxArray* cleaned = mxCreateLogicalMatrix(mxGetM(edges), mxGetN(edges));
    superpixel::edgeTrim(reinterpret_cast<const std::uint8_t*>(gw::logicals(edges)), mask, height,
                         width, reinterpret_cast<std::uint8_t*>(mxGetLogicals(cleaned)));
    plhs[OUT_CLEANED] = cleaned;
  });
}

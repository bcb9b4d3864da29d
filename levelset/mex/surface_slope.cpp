// surface_slope: speed times the upwind gradient magnitude of the height function.
//
//   R = surface_slope(phi, S)
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "levelset/mex/argument_checks.h"
#include "levelset/surface_slope.h"

#include <cstddef>

namespace {

enum { IN_PHI, IN_SPEED, IN_END };
enum { OUT_SLOPE, OUT_END };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    namespace args = levelset::args;
    const auto [m, n] = args::requireCall(nlhs, nrhs, prhs, {"phi", "S"}, IN_END, OUT_END);
    args::requireSizeOfFirst(prhs[IN_SPEED], IN_SPEED + 1, "S", prhs[IN_PHI]);

    args::requireOutputMemory({m, n}, sizeof(double), 1);
    mxArray* slope = gw::createMatrix<double>(m, n);
    levelset::surfaceSlope(static_cast<std::ptrdiff_t>(m), static_cast<std::ptrdiff_t>(n),
                           gw::data<double>(prhs[IN_PHI]), gw::data<double>(prhs[IN_SPEED]),
                           gw::mutableData<double>(slope));
    plhs[OUT_SLOPE] = slope;
  });
}

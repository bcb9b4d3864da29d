// trough_points: 1-based position of the window minimum around every pixel.
//
//   [Ri, Rj] = trough_points(V, r)
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "levelset/mex/argument_checks.h"
#include "levelset/trough_points.h"

#include <cstddef>

namespace {

enum { IN_FIELD, IN_RADIUS, IN_END };
enum { OUT_ROWS, OUT_COLS, OUT_END };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    const auto [m, n] = levelset::args::requireCall(nlhs, nrhs, prhs, {"V", "r"}, IN_END, OUT_END);
    // Only the first element of r is read, so any non-empty array will do.
    if (gw::isEmpty(prhs[IN_RADIUS])) gw::fail(gw::Kind::Size, "Input 2 (r) must not be empty.");

    const std::int32_t radius = levelset::windowRadius(gw::data<double>(prhs[IN_RADIUS])[0]);
    levelset::args::requireOutputMemory({m, n}, sizeof(double), 2);
    mxArray* rows = gw::createMatrix<double>(m, n);
    mxArray* cols = gw::createMatrix<double>(m, n);
    levelset::troughPoints(static_cast<std::ptrdiff_t>(m), static_cast<std::ptrdiff_t>(n),
                           gw::data<double>(prhs[IN_FIELD]), radius, gw::mutableData<double>(rows),
                           gw::mutableData<double>(cols));
    // With fewer than two outputs requested only the first slot exists.
    gw::handOver(nlhs, plhs, {rows, cols});
  });
}

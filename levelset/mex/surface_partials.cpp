// surface_partials: first and second partial derivatives of the height function.
//
//   [phi_x, phi_y, phi_xx, phi_yy, phi_xy] = surface_partials(phi)
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "levelset/mex/argument_checks.h"
#include "levelset/surface_partials.h"

#include <cstddef>

namespace {

enum { IN_PHI, IN_END };
enum { OUT_X, OUT_Y, OUT_XX, OUT_YY, OUT_XY, OUT_END };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    const auto [m, n] = levelset::args::requireCall(nlhs, nrhs, prhs, {"phi"}, IN_END, OUT_END);

    levelset::args::requireOutputMemory({m, n}, sizeof(double), OUT_END);
    mxArray* out[OUT_END];
    for (auto& plane : out)
      plane = gw::createMatrix<double>(m, n);
    const levelset::Partials partials{
        gw::mutableData<double>(out[OUT_X]), gw::mutableData<double>(out[OUT_Y]),
        gw::mutableData<double>(out[OUT_XX]), gw::mutableData<double>(out[OUT_YY]),
        gw::mutableData<double>(out[OUT_XY])};
    levelset::surfacePartials(static_cast<std::ptrdiff_t>(m), static_cast<std::ptrdiff_t>(n),
                              gw::data<double>(prhs[IN_PHI]), partials);
    // The host offers max(nlhs, 1) slots: hand over what fits, free the rest.
    gw::handOver(nlhs, plhs, {out[OUT_X], out[OUT_Y], out[OUT_XX], out[OUT_YY], out[OUT_XY]});
  });
}

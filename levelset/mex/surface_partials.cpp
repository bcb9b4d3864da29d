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
    namespace args = levelset::args;
    args::requireInputs(nrhs, IN_END, "phi");
    args::requireRealDouble(prhs[IN_PHI], IN_PHI + 1, "phi");
    args::requireOutputs(nlhs, OUT_END);

    const std::size_t m = gw::rows(prhs[IN_PHI]);
    const std::size_t n = gw::cols(prhs[IN_PHI]);
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
    const int slots = nlhs < 1 ? 1 : nlhs;
    for (int k = 0; k < OUT_END; ++k) {
      if (k < slots) {
        plhs[k] = out[k];
      } else {
        mxDestroyArray(out[k]);
      }
    }
  });
}

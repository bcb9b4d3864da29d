// front_velocity: speed of the level-set front at every interior pixel.
//
//   F = front_velocity(phi_x, phi_y, phi_xx, phi_yy, phi_xy, S, U, V, w)
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "levelset/mex/argument_checks.h"
#include "levelset/front_velocity.h"

#include <cstddef>

namespace {

enum {
  IN_PHI_X,
  IN_PHI_Y,
  IN_PHI_XX,
  IN_PHI_YY,
  IN_PHI_XY,
  IN_SPEED,
  IN_U,
  IN_V,
  IN_WEIGHT,
  IN_END
};
enum { OUT_SPEED, OUT_END };

const char* const kNames[IN_END] = {"phi_x", "phi_y", "phi_xx", "phi_yy", "phi_xy",
                                    "S",     "U",     "V",      "w"};

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    namespace args = levelset::args;
    const auto [m, n] = args::requireCall(nlhs, nrhs, prhs, kNames, IN_WEIGHT, OUT_END);
    for (int k = IN_PHI_Y; k < IN_WEIGHT; ++k) {
      args::requireSizeOfFirst(prhs[k], k + 1, kNames[k], prhs[IN_PHI_X]);
    }
    const mxArray* weightArg = prhs[IN_WEIGHT];
    gw::requireFull(weightArg, "Input 9 (w)");
    if (gw::count(weightArg) != 1)
      gw::fail(gw::Kind::Size, "Input 9 (w) must be a numeric scalar.");
    const double weight = gw::scalar(weightArg, "Input 9 (w) must be a numeric scalar.");

    const levelset::FrontInputs in{
        gw::data<double>(prhs[IN_PHI_X]),  gw::data<double>(prhs[IN_PHI_Y]),
        gw::data<double>(prhs[IN_PHI_XX]), gw::data<double>(prhs[IN_PHI_YY]),
        gw::data<double>(prhs[IN_PHI_XY]), gw::data<double>(prhs[IN_SPEED]),
        gw::data<double>(prhs[IN_U]),      gw::data<double>(prhs[IN_V])};
    args::requireOutputMemory({m, n}, sizeof(double), 1);
    mxArray* speed = gw::createMatrix<double>(m, n);
    levelset::frontVelocity(static_cast<std::ptrdiff_t>(m), static_cast<std::ptrdiff_t>(n), in,
                            weight, gw::mutableData<double>(speed));
    plhs[OUT_SPEED] = speed;
  });
}

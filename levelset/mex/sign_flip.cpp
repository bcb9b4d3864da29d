// sign_flip: one-pixel-wide map of the zero level set of a field.
//
//   Z = sign_flip(phi)
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "levelset/mex/argument_checks.h"
#include "levelset/sign_flip.h"

#include <cstddef>

namespace {

enum { IN_PHI, IN_END };
enum { OUT_MARKS, OUT_END };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    const auto [m, n] = levelset::args::requireCall(nlhs, nrhs, prhs, {"phi"}, IN_END, OUT_END);

    levelset::args::requireOutputMemory({m, n}, sizeof(mxLogical), 1);
    mxArray* marks = mxCreateLogicalMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n));
    levelset::signFlip(static_cast<std::ptrdiff_t>(m), static_cast<std::ptrdiff_t>(n),
                       gw::data<double>(prhs[IN_PHI]), mxGetLogicals(marks));
    plhs[OUT_MARKS] = marks;
  });
}

// A test-only plug-in: gatewayProbe(mode, ...) takes one path through the gateway's error funnel
// so that both hosts can be checked to end the call cleanly on each kind of failure.
#include "mex.h"

#include "gateway/interrupt.h"
#include "gateway/mex_gateway.h"

#include <chrono>
#include <new>
#include <vector>

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    if (nrhs < 1) gw::fail(gw::Kind::Nargin, "gatewayProbe needs a mode.");
    const int mode = static_cast<int>(gw::scalar(prhs[0], "Mode must be a numeric scalar."));
    switch (mode) {
      case 1:
        gw::fail(gw::Kind::Value, "Probe failure with a\n\tline feed and a tab.");
      case 2:
        throw std::bad_alloc();
      case 3:
        mexErrMsgTxt("Raised by the host itself.");
        break;  // not reached: not every host's mex.h marks mexErrMsgTxt [[noreturn]]
      case 4:
        (void)std::vector<int>(2).at(5);
        break;
      case 5:
        (void)gw::toInt(static_cast<mwSize>(3000000000.0), "Size does not fit in 32 bits.");
        break;
      case 6: {
        const double value =
            gw::scalar(nrhs > 1 ? prhs[1] : nullptr, "Second input must be a numeric scalar.");
        plhs[0] = mxCreateDoubleScalar(value);
        return;
      }
      case 7:
        plhs[0] = gw::createMatrix<double>(2, 2);
        gw::fail(gw::Kind::Internal, "Failed after creating an output.");
      case 8:
        mexPrintf("printed %d\n", 42);
        break;
      case 9:
        gw::fail(gw::Kind::Value, "100% of 0 is %d.");
      case 10: {
        // Polls for an interrupt for up to `seconds`; returns the number of polls if none came.
        const double seconds =
            gw::scalar(nrhs > 1 ? prhs[1] : nullptr, "Second input must be a numeric scalar.");
        const auto start = std::chrono::steady_clock::now();
        double polls = 0;
        do {
          ++polls;
          if (gw::interruptPending()) gw::endInterrupted();
        } while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
                 seconds);
        plhs[0] = mxCreateDoubleScalar(polls);
        return;
      }
      default:
        break;
    }
    if (nlhs > 1) gw::fail(gw::Kind::Nargout, "Too many outputs.");
    plhs[0] = gw::createMatrix<double>(1, 1);
  });
}

// crossingCounts: eight-ray parity votes of a uint8 image.
//
//   counts = crossingCounts(image)
#include "mex.h"

#include "crossing/mex/crossing_entry.h"

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  crossing::crossingPlugin(nlhs, plhs, nrhs, prhs);
}

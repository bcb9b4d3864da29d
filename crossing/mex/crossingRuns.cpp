// crossingRuns: the same eight-ray parity votes as crossingCounts, as a plug-in of its own.
//
//   counts = crossingRuns(image)
#include "mex.h"

#include "crossing/mex/crossing_entry.h"

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  crossing::crossingPlugin(nlhs, plhs, nrhs, prhs);
}

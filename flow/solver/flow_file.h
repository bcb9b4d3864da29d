// .flo files for callers that report problems themselves (programs, the Python module): the
// same reading and writing as COpticFlow::readMiddlebury and writeMiddlebury, which print the
// texts these functions return.
#ifndef MOTIONSEG_FLOW_SOLVER_FLOW_FILE_H
#define MOTIONSEG_FLOW_SOLVER_FLOW_FILE_H

#include "flow/containers/CTensor.h"

#include <string>

namespace flowsolver {

/// What reading a .flo file reports: `problem` is empty when the flow was read; `opened` tells
/// a file that could not be opened from one whose contents are not a flow.
struct FlowFileRead {
  std::string problem;
  bool opened = false;
};

/// Replaces flow by the contents of the .flo file at path. Reports the problem when the file
/// cannot be opened, is shorter than its header or its announced data, or announces an
/// implausible size; the flow is then unchanged.
FlowFileRead readFlowFile(const char* path, CTensor<float>& flow);

/// What writing a .flo file reports: `notice` when the name does not end in ".flo" (the file
/// is written all the same), `problem` when the file was not written (the flow has fewer than
/// two channels, the file cannot be opened) or not completely (a header or data write failed).
struct FlowFileWrite {
  std::string notice;
  std::string problem;
};

/// Writes channels 0 and 1 of flow to path: the tag "PIEH", width and height as 32-bit
/// integers, then u and v interleaved pixel by pixel in row order, in the machine's byte order.
FlowFileWrite writeFlowFile(const CTensor<float>& flow, const char* path);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_FLOW_FILE_H

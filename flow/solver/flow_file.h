// .flo files for callers that report problems themselves (programs, the Python module): the
// same reading and writing as COpticFlow::readMiddlebury and writeMiddlebury, which print the
// texts these functions return.
#ifndef MOTIONSEG_FLOW_SOLVER_FLOW_FILE_H
#define MOTIONSEG_FLOW_SOLVER_FLOW_FILE_H

#include "flow/containers/CTensor.h"

#include <string>

namespace flowsolver {

/// What reading a .flo file reports: `problem` is empty when the flow was read; `opened` tells
/// a file that could not be opened from one whose contents are not a flow, and `error` holds
/// the C library's error number of a failed open.
struct FlowFileRead {
  std::string problem;
  bool opened = false;
  int error = 0;
};

/// Whether a reader compares the tag with "PIEH". The readers of the toolbox's users (the
/// Python module, the Octave readFlo) refuse another tag, so that a picture or any other file
/// is not taken for a flow; COpticFlow::readMiddlebury keeps reading any tag.
enum class FlowTag { compared, ignored };

/// Whether a header's width and height describe a flow this toolbox can hold: neither
/// negative, and 2 x W x H values within a 32-bit count where a zero size counts as 1 (a flow
/// without pixels still gets its other size as a dimension, which must be one a flow could
/// have).
bool plausibleFlowSize(long long width, long long height);

/// Whether path ends in exactly ".flo" (the extension writers expect; others get a notice).
bool hasFloExtension(const std::string& path);

/// Replaces flow by the contents of the .flo file at path. Reports the problem when the file
/// cannot be opened, is shorter than its header, does not start with the tag "PIEH" (when
/// compared), announces an implausible size (plausibleFlowSize) or holds less data than it
/// announces; the flow is then unchanged. The checks run in this order, with the texts of the
/// Octave readFlo.
FlowFileRead readFlowFile(const char* path, CTensor<float>& flow, FlowTag tag = FlowTag::compared);

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

// The steps both programs take for one pair of frames: read the frames (sizes and memory
// judged from their headers first), compute the flow on a chosen number of threads, refuse a
// flow that is not finite, and write it as a .flo file and a colour image, each complete or
// not at all.
#ifndef MOTIONSEG_APPS_PAIR_FLOW_H
#define MOTIONSEG_APPS_PAIR_FLOW_H

#include "apps/command_line.h"
#include "flow/containers/CTensor.h"
#include "flow/driver/video_flows.h"

#include <string>
#include <vector>

namespace pairflow {

/// Reads both frames as colour images (grey repeated), after checking from their headers
/// that they have one size and that the flow of that size fits in memory. Returns "" or a
/// one-line reason naming the file.
std::string readFrames(const std::string& first, const std::string& second, CTensor<float>& image1,
                       CTensor<float>& image2);

/// Refuses a frame size whose flow computation needs more memory than this process can
/// take. Returns "" or a one-line reason.
std::string checkMemory(int width, int height);

/// The same for the flows of a video with its frames prepared once (VideoFlows).
std::string checkVideoMemory(int width, int height);

/// The flow from image1 to image2 (both left unchanged) with the parameters' sigma, alpha,
/// beta, gamma and threads. Returns "" or a one-line reason; a flow holding a value that is
/// not a finite number is a failure.
std::string computeFlow(const CTensor<float>& image1, const CTensor<float>& image2,
                        const cli::FlowParameters& parameters, CTensor<float>& flow);

/// The flow from frame `from` to frame `to` of `video` (both prepared, width x height), with
/// computeFlow's warning, failures and checks; its bits are computeFlow's for the two frames.
std::string computeFlow(flowdriver::VideoFlows& video, long long from, long long to,
                        CTensor<float>& flow, int width, int height);

/// Prepares frame `index` of `video` from `image` (consumed; frames other than `keep` are
/// dropped first). Returns "" or computeFlow's one-line reason.
std::string prepareFrame(flowdriver::VideoFlows& video, long long index, CTensor<float>&& image,
                         long long keep);

/// "" for a width x height two-channel flow of finite numbers, else the reason.
std::string checkFlow(const CTensor<float>& flow, int width, int height);

/// The bytes of a .flo file of a two-channel flow: "PIEH", width and height as 32-bit
/// integers, then u and v interleaved pixel by pixel in row order, all in the machine's byte
/// order (as COpticFlow::writeMiddlebury writes them).
std::vector<char> floBytes(const CTensor<float>& flow);

/// Whether `path` holds a complete .flo file of a width x height flow: the tag "PIEH", that
/// width and height in its header, and exactly 12 + 8 * width * height bytes.
bool floComplete(const std::string& path, int width, int height);

/// Length of the longest vector of a two-channel flow.
float longestVector(const CTensor<float>& flow);

/// Writes the flow as a .flo file and, when `colourPath` is not empty, as a colour-wheel
/// PNG saturated at `saturation` pixels (0: at the longest vector; a zero flow uses 1). The
/// old files are replaced only when both new ones are whole. Returns "" or a one-line reason.
std::string writeFlow(const CTensor<float>& flow, const std::string& floPath,
                      const std::string& colourPath, float saturation);

}  // namespace pairflow

#endif  // MOTIONSEG_APPS_PAIR_FLOW_H

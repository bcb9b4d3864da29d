// regionSummary: mean colour, centre of mass and size of every superpixel of a video.
//
//   [colour, centre, size] = regionSummary(frames, labels, N)
#include "mex.h"

#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"
#include "superpixel/stats/region_summary.h"
#include "superpixel/stats/stats_checks.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

enum { IN_FRAMES, IN_LABELS, IN_COUNT, IN_END };
enum { OUT_COLOUR, OUT_CENTRE, OUT_SIZE, OUT_END };

// Every fault of the documented checks reports this one text.
constexpr const char* kUsage =
    "regionsSummary USAGE:\n"
    "\tExpected inputs:\n"
    "\t\t1 - Frames: a cell array of length frames. Each cell i contains a HxWx3 uint8 matrix "
    "containing the color values of frame i.\n"
    "\t\t2 - Superpixels: a cell array of length frames. Each cell i contains a HxW uint32 "
    "superpixel label map of frame i.\n"
    "\t\t3 - Number of superpixels: a double value containing the total number of superpixel "
    "labels.\n"
    "\n"
    "\tOutputs:\n"
    "\t\t1 - Superpixel mean colour: a single array of length N, where N is the number of "
    "superpixels in the video sequence, containing the mean colour (RGB) value of each "
    "superpixel.\n"
    "\t\t2 - Superpixel centre of mass: a single array of length N, containing the centre of mass "
    "of each superpixel.\n"
    "\t\t3 - Superpixel size: a single array of length N, containing the size of each superpixel "
    "in pixels.\n";

constexpr gw::Refusal usage{kUsage};

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    if (nrhs != IN_END) usage(gw::Kind::Nargin);
    const mxArray* frames = prhs[IN_FRAMES];
    const mxArray* labels = prhs[IN_LABELS];
    if (!mxIsCell(frames) || !mxIsCell(labels)) usage(gw::Kind::Class);
    const std::size_t frameCount = gw::count(frames);
    if (frameCount != gw::count(labels)) usage(gw::Kind::Size);
    if (frameCount == 0) usage(gw::Kind::Size);

    // The frame size comes from the last pair in which neither cell is empty.
    const gw::PairSize size = gw::lastFilledPairSize(frames, labels, frameCount, 3, kUsage);
    const std::size_t height = size.rows, width = size.cols;
    for (std::size_t f = 0; f < frameCount; ++f) {
      if (!gw::hasClass(gw::cellAt(frames, f), mxUINT8_CLASS)) usage(gw::Kind::Class);
      if (!gw::hasClass(gw::cellAt(labels, f), mxUINT32_CLASS)) usage(gw::Kind::Class);
    }
    if (!mxIsDouble(prhs[IN_COUNT])) usage(gw::Kind::Class);
    if (nlhs != 0 && nlhs != OUT_END) usage(gw::Kind::Nargout);

    // Beyond the documented checks: everything that would take the call outside an array.
    if (size.pair < 0) gw::fail(gw::Kind::Size, superpixel::kSummaryWithoutFrames);
    std::vector<superpixel::LabelledFrame> video;
    std::vector<std::size_t> videoFrame;  // 0-based cell index of each entry of video
    video.reserve(frameCount);
    videoFrame.reserve(frameCount);
    // A pair with an empty cell has nothing to count.
    gw::forEachFilledPair(
        frames, labels, frameCount, [&](std::size_t f, const mxArray* rgb, const mxArray* map) {
          const std::string fault = superpixel::summaryFrameSizeFault(
              f, gw::rows(rgb), gw::cols(rgb), static_cast<std::size_t>(size.pair), height, width);
          if (!fault.empty()) gw::fail(gw::Kind::Size, fault);
          video.push_back({gw::data<std::uint8_t>(rgb), gw::data<std::uint32_t>(map)});
          videoFrame.push_back(f);
        });
    const auto count = static_cast<std::uint32_t>(
        gw::truncatedScalar(prhs[IN_COUNT], "Number of superpixels", 0, 2147483647));
    // The size output counts in 32 bits: with more pixels in all frames together one label
    // could wrap, so such a call is refused before anything is counted.
    const std::string pixelsFault = superpixel::summaryPixelsFault(video.size(), height, width);
    if (!pixelsFault.empty()) gw::fail(gw::Kind::Size, pixelsFault);
    gw::requireMemory("regionSummary", superpixel::regionSummaryBytes(count, video.size()));
    for (std::size_t i = 0; i < video.size(); ++i) {
      const std::string fault =
          superpixel::summaryLabelFault(video[i].labels, height * width, count, videoFrame[i]);
      if (!fault.empty()) gw::fail(gw::Kind::Value, fault);
    }

    mxArray* pixels = gw::createMatrix<std::uint32_t>(count, 1);
    mxArray* centre = gw::createMatrix<float>(count, 2);
    mxArray* colour = gw::createMatrix<float>(count, 3);
    superpixel::regionSummary(video, static_cast<std::ptrdiff_t>(height),
                              static_cast<std::ptrdiff_t>(width), count,
                              gw::mutableData<float>(colour), gw::mutableData<float>(centre),
                              gw::mutableData<std::uint32_t>(pixels));
    // With no output requested only the colour table is returned (as ans).
    gw::handOver(nlhs, plhs, {colour, centre, pixels});
  });
}

#include "apps/pair_flow.h"

#include "apps/image_io.h"
#include "apps/safe_output.h"
#include "flow/driver/flow_call.h"
#include "flow/driver/flow_memory.h"
#include "flow/driver/run_flow.h"
#include "flow/solver/flow_colour.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace pairflow {

namespace {

std::string checkNeed(const membudget::Bytes& need, int width, int height) {
  const membudget::Limit limit = membudget::currentLimit();
  if (!limit.problem.empty()) return limit.problem;
  if (membudget::fits(need, limit)) return "";
  return "the flow of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels needs " + membudget::formatBytes(need.value()) + " of memory but " +
         limit.description;
}

}  // namespace

std::string checkMemory(int width, int height) {
  const std::uint64_t x = static_cast<std::uint64_t>(width), y = static_cast<std::uint64_t>(height);
  // While the driver runs: the two frames as read, the copies it smooths in place, and its
  // own working memory (the flow included). Reading and writing need less.
  return checkNeed(flowdriver::flowInputBytes(x, y, 3) * 2 + flowdriver::flowWorkingBytes(x, y, 3),
                   width, height);
}

std::string checkVideoMemory(int width, int height) {
  const std::uint64_t x = static_cast<std::uint64_t>(width), y = static_cast<std::uint64_t>(height);
  // The frame being read and the flows' working memory with the prepared frames they keep.
  return checkNeed(flowdriver::flowInputBytes(x, y, 3) + flowdriver::videoWorkingBytes(x, y, 3),
                   width, height);
}

std::string readFrames(const std::string& first, const std::string& second, CTensor<float>& image1,
                       CTensor<float>& image2) {
  int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  std::string error;
  if (!imageio::readImageSize(first, w1, h1, error) ||
      !imageio::readImageSize(second, w2, h2, error)) {
    return error;
  }
  if (w1 != w2 || h1 != h2) {
    return first + " is " + std::to_string(w1) + " x " + std::to_string(h1) + " pixels but " +
           second + " is " + std::to_string(w2) + " x " + std::to_string(h2) +
           " pixels; the images must have the same size";
  }
  error = checkMemory(w1, h1);
  if (!error.empty()) return error;
  // Both frames as colour images: the flow's colour test reads three channels.
  if (!imageio::readImage(first, image1, imageio::Channels::Colour, error) ||
      !imageio::readImage(second, image2, imageio::Channels::Colour, error)) {
    return error;
  }
  // A file changed between the two reads would show here.
  if (image1.xSize() != w1 || image1.ySize() != h1 || image2.xSize() != w1 ||
      image2.ySize() != h1) {
    return first + " or " + second + " changed while it was read";
  }
  return "";
}

std::string computeFlow(const CTensor<float>& image1, const CTensor<float>& image2,
                        const cli::FlowParameters& p, CTensor<float>& flow) {
  flowdriver::ValueRange range;
  flowdriver::widenRange(range, image1);
  flowdriver::widenRange(range, image2);
  // Frames of 0..1 give a poor flow, which is still the one asked for: a line on standard
  // error, no failure.
  if (flowdriver::unitRange(range)) {
    std::fprintf(stderr, "warning: %s\n", flowdriver::kUnitRangeWarning);
  }
  // The driver's failures in the words every front end uses; it smooths its frames in place.
  const flowdriver::FlowFailure failure = flowdriver::catchFlowFailure([&] {
    CTensor<float> first(image1), second(image2);
    runFlow(first, second, flow, p.sigma, p.alpha, p.beta, p.gamma,
            p.threads > 0 ? p.threads : cli::defaultThreads());
  });
  if (failure) return failure.text;
  return checkFlow(flow, image1.xSize(), image1.ySize());
}

std::string computeFlow(flowdriver::VideoFlows& video, long long from, long long to,
                        CTensor<float>& flow, int width, int height) {
  if (flowdriver::unitRange(video.range(from, to))) {
    std::fprintf(stderr, "warning: %s\n", flowdriver::kUnitRangeWarning);
  }
  const flowdriver::FlowFailure failure =
      flowdriver::catchFlowFailure([&] { video.flow(from, to, flow); });
  if (failure) return failure.text;
  return checkFlow(flow, width, height);
}

std::string prepareFrame(flowdriver::VideoFlows& video, long long index, CTensor<float>&& image,
                         long long keep) {
  const flowdriver::FlowFailure failure =
      flowdriver::catchFlowFailure([&] { video.add(index, std::move(image), keep); });
  return failure ? failure.text : "";
}

std::string checkFlow(const CTensor<float>& flow, int width, int height) {
  const std::string shape = flowdriver::flowSizeFault(flow, height, width);
  if (!shape.empty()) return shape;
  long long notFinite = 0;
  const long long count = static_cast<long long>(flow.xSize()) * flow.ySize() * 2;
  for (long long i = 0; i < count; ++i) {
    if (!std::isfinite(flow.data()[i])) ++notFinite;
  }
  if (notFinite > 0) {
    return "the flow holds " + std::to_string(notFinite) + " of " + std::to_string(count) +
           " values that are not finite numbers (the parameters give no usable flow for these "
           "frames)";
  }
  return "";
}

std::vector<char> floBytes(const CTensor<float>& flow) {
  const std::int32_t width = flow.xSize(), height = flow.ySize();
  const std::size_t plane = static_cast<std::size_t>(width) * height;
  std::vector<char> bytes(12 + 8 * plane);
  std::memcpy(bytes.data(), "PIEH", 4);
  std::memcpy(bytes.data() + 4, &width, 4);
  std::memcpy(bytes.data() + 8, &height, 4);
  const float* u = flow.data();
  const float* v = u + plane;
  char* out = bytes.data() + 12;
  for (std::size_t i = 0; i < plane; ++i) {
    std::memcpy(out + 8 * i, u + i, 4);
    std::memcpy(out + 8 * i + 4, v + i, 4);
  }
  return bytes;
}

bool floComplete(const std::string& path, int width, int height) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (width < 0 || height < 0 ||
      static_cast<std::uintmax_t>(info.st_size) !=
          12 + 8 * static_cast<std::uintmax_t>(width) * static_cast<std::uintmax_t>(height)) {
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char header[12];
  const bool read = std::fread(header, 1, 12, file) == 12;
  std::fclose(file);
  std::int32_t w = 0, h = 0;
  std::memcpy(&w, header + 4, 4);
  std::memcpy(&h, header + 8, 4);
  return read && std::memcmp(header, "PIEH", 4) == 0 && w == width && h == height;
}

float longestVector(const CTensor<float>& flow) {
  return flowsolver::longestVector(flow);
}

std::string writeFlow(const CTensor<float>& flow, const std::string& floPath,
                      const std::string& colourPath, float saturation) {
  std::vector<unsigned char> png;
  if (!colourPath.empty()) {
    CTensor<float> colour;
    flowsolver::saturatedColour(flow, saturation, colour);
    std::string error;
    if (!imageio::encodePng(colour, png, colourPath, error)) return error;
  }
  // Both files replace the old ones only once both are whole.
  const std::vector<char> flo = floBytes(flow);
  std::vector<safeout::FileContents> files = {{floPath, flo.data(), flo.size()}};
  if (!colourPath.empty()) files.push_back({colourPath, png.data(), png.size()});
  return safeout::writeFiles(files);
}

}  // namespace pairflow

// Reading and writing flow fields as .flo files: the four tag bytes "PIEH", width and height
// as 32-bit integers, then u and v interleaved pixel by pixel in row order, all in the
// machine's byte order.
#include "flow/solver/COpticFlow.h"
#include "flow/solver/flow_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

const char* printable(const char* path) {
  return path != nullptr ? path : "";
}

}  // namespace

namespace flowsolver {

bool hasFloExtension(const std::string& path) {
  const std::string::size_type dot = path.rfind('.');
  return dot != std::string::npos && path.compare(dot, std::string::npos, ".flo") == 0;
}

bool plausibleFlowSize(long long width, long long height) {
  if (width < 0 || height < 0 || width > INT_MAX || height > INT_MAX) return false;
  // Both channels must fit in one container, whose element count is a 32-bit integer.
  return 2 * std::max(width, 1LL) * std::max(height, 1LL) <= INT_MAX;
}

FlowFileRead readFlowFile(const char* path, CTensor<float>& flow, FlowTag tagCheck) {
  const char* name = printable(path);
  File file(std::fopen(name, "rb"));
  if (!file) {
    const int error = errno;  // before anything else can change it
    return {std::string("Could not open ") + name, false, error};
  }
  char tag[4];
  std::int32_t width = 0, height = 0;
  if (std::fread(tag, 1, 4, file.get()) != 4 || std::fread(&width, 4, 1, file.get()) != 1 ||
      std::fread(&height, 4, 1, file.get()) != 1) {
    return {std::string(name) + " is shorter than the 12-byte header of a flow file", true};
  }
  if (tagCheck == FlowTag::compared && std::memcmp(tag, "PIEH", 4) != 0) {
    return {std::string(name) + " does not start with the tag PIEH of a flow file", true};
  }
  if (!plausibleFlowSize(width, height)) {
    return {std::string(name) + " announces an implausible flow size of " + std::to_string(width) +
                " x " + std::to_string(height),
            true};
  }
  const long long count = 2LL * width * height;
  // The body is gathered before the flow is touched, and grows only with what the file really
  // holds, so a header that promises more than the file does costs no large allocation.
  std::vector<float> body;
  const std::size_t wanted = static_cast<std::size_t>(count);
  const std::size_t chunk = 1 << 16;
  while (body.size() < wanted) {
    const std::size_t have = body.size();
    const std::size_t step = std::min(chunk, wanted - have);
    body.resize(have + step);
    const std::size_t got = std::fread(body.data() + have, sizeof(float), step, file.get());
    if (got < step) {
      return {std::string(name) + " holds less flow data than its header announces (" +
                  std::to_string(width) + " x " + std::to_string(height) + ")",
              true};
    }
  }
  flow.setSize(width, height, 2);
  const std::size_t plane = static_cast<std::size_t>(width) * height;
  float* u = flow.data();
  float* v = u + plane;
  for (std::size_t i = 0; i < plane; ++i) {
    u[i] = body[2 * i];
    v[i] = body[2 * i + 1];
  }
  return {"", true};
}

FlowFileWrite writeFlowFile(const CTensor<float>& flow, const char* path) {
  const char* name = printable(path);
  FlowFileWrite result;
  if (!hasFloExtension(name)) result.notice = std::string(name) + " should have extension '.flo'";
  // A flow without its second channel would be read past its end; refuse before the file is
  // created or truncated.
  if (flow.zSize() < 2) {
    result.problem = std::string("Cannot write ") + name + ": the flow has " +
                     std::to_string(flow.zSize()) + " channels, two are needed";
    return result;
  }
  File file(std::fopen(name, "wb"));
  if (!file) {
    result.problem = std::string("Could not open ") + name;
    return result;
  }
  bool complete = std::fwrite("PIEH", 1, 4, file.get()) == 4;
  const std::int32_t width = flow.xSize(), height = flow.ySize();
  if (std::fwrite(&width, 4, 1, file.get()) != 1 || std::fwrite(&height, 4, 1, file.get()) != 1) {
    // As documented, the body is still written after this.
    result.problem = "Problem writing header";
  }
  // One interleaved row at a time: u(x, y), v(x, y) for x = 0..width−1, stored bit for bit.
  const std::size_t plane = static_cast<std::size_t>(width) * height;
  const float* u = flow.data();
  const float* v = u + plane;
  // A flow without rows needs no row buffer, however wide it is.
  std::vector<float> row(height > 0 ? 2 * static_cast<std::size_t>(width) : 0);
  for (int y = 0; y < height && width > 0; ++y) {
    const std::size_t start = static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      row[2 * x] = u[start + x];
      row[2 * x + 1] = v[start + x];
    }
    complete =
        std::fwrite(row.data(), sizeof(float), row.size(), file.get()) == row.size() && complete;
  }
  complete = std::fclose(file.release()) == 0 && complete;
  if (!complete && result.problem.empty()) result.problem = std::string("Problem writing ") + name;
  return result;
}

}  // namespace flowsolver

void COpticFlow::readMiddlebury(const char* path, CTensor<float>& flow) {
  const flowsolver::FlowFileRead result =
      flowsolver::readFlowFile(path, flow, flowsolver::FlowTag::ignored);
  if (!result.problem.empty()) std::cout << result.problem << std::endl;
}

void COpticFlow::writeMiddlebury(CTensor<float>& flow, const char* path) {
  const flowsolver::FlowFileWrite result = flowsolver::writeFlowFile(flow, path);
  if (!result.notice.empty()) std::cout << result.notice << std::endl;
  if (!result.problem.empty()) std::cout << result.problem << std::endl;
}

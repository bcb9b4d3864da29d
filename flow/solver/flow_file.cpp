// Reading and writing flow fields as .flo files: the four tag bytes "PIEH", width and height
// as 32-bit integers, then u and v interleaved pixel by pixel in row order, all in the
// machine's byte order.
#include "flow/solver/COpticFlow.h"

#include <algorithm>
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

bool hasFloExtension(const std::string& path) {
  const std::string::size_type dot = path.rfind('.');
  return dot != std::string::npos && path.compare(dot, std::string::npos, ".flo") == 0;
}

}  // namespace

void COpticFlow::readMiddlebury(const char* path, CTensor<float>& flow) {
  const char* name = printable(path);
  File file(std::fopen(name, "rb"));
  if (!file) {
    std::cout << "Could not open " << name << std::endl;
    return;
  }
  // The tag is read but not compared: files with another tag are read all the same.
  char tag[4];
  std::int32_t width = 0, height = 0;
  if (std::fread(tag, 1, 4, file.get()) != 4 || std::fread(&width, 4, 1, file.get()) != 1 ||
      std::fread(&height, 4, 1, file.get()) != 1) {
    std::cout << name << " is shorter than the 12-byte header of a flow file" << std::endl;
    return;
  }
  // Both channels must fit in one container, whose element count is a 32-bit integer.
  const long long count = 2LL * width * height;
  if (width < 0 || height < 0 || count > INT_MAX) {
    std::cout << name << " announces an implausible flow size of " << width << " x " << height
              << std::endl;
    return;
  }
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
      std::cout << name << " holds less flow data than its header announces (" << width << " x "
                << height << ")" << std::endl;
      return;
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
}

void COpticFlow::writeMiddlebury(CTensor<float>& flow, const char* path) {
  const char* name = printable(path);
  if (!hasFloExtension(name)) {
    std::cout << name << " should have extension '.flo'" << std::endl;
  }
  // A flow without its second channel would be read past its end; refuse before the file is
  // created or truncated.
  if (flow.zSize() < 2) {
    std::cout << "Cannot write " << name << ": the flow has " << flow.zSize()
              << " channels, two are needed" << std::endl;
    return;
  }
  File file(std::fopen(name, "wb"));
  if (!file) {
    std::cout << "Could not open " << name << std::endl;
    return;
  }
  std::fwrite("PIEH", 1, 4, file.get());
  const std::int32_t width = flow.xSize(), height = flow.ySize();
  if (std::fwrite(&width, 4, 1, file.get()) != 1 || std::fwrite(&height, 4, 1, file.get()) != 1) {
    std::cout << "Problem writing header" << std::endl;
  }
  // One interleaved row at a time: u(x, y), v(x, y) for x = 0..width−1, stored bit for bit.
  const std::size_t plane = static_cast<std::size_t>(width) * height;
  const float* u = flow.data();
  const float* v = u + plane;
  std::vector<float> row(2 * static_cast<std::size_t>(width));
  for (int y = 0; y < height && width > 0; ++y) {
    const std::size_t start = static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      row[2 * x] = u[start + x];
      row[2 * x + 1] = v[start + x];
    }
    std::fwrite(row.data(), sizeof(float), row.size(), file.get());
  }
}

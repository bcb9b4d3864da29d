// Accuracy and time of the whole flow driver (presmoothing, descriptor matching, variational
// solver; the computation behind denseMotion) on the real frame pairs of ../shared/data/flow.
// For every pair it prints the average endpoint error over the pixels with a known reference
// vector (|u|, |v| <= 1e9, and not marked in invalid10.png where a pair has one), the same over
// the pixels not marked occluded in occ10.png where a pair has one, and the time of runFlow.
// Usage: bench_frontend_accuracy [data folder [pair name ...]]. Exits 0, printing a note, when
// the folder is absent.
#include "apps/image_io.h"
#include "flow/frontend/run_flow.h"
#include "flow/solver/COpticFlow.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

/// Mean endpoint error over the pixels with a known reference vector that no mask excludes
/// (a mask excludes where it is non-zero). NaN when no pixel counts.
double endpointError(const CTensor<float>& flow, const CTensor<float>& truth,
                     const std::vector<const CTensor<float>*>& excluded) {
  double sum = 0;
  long long count = 0;
  for (int y = 0; y < flow.ySize(); ++y)
    for (int x = 0; x < flow.xSize(); ++x) {
      const double tu = truth(x, y, 0), tv = truth(x, y, 1);
      if (std::fabs(tu) > 1e9 || std::fabs(tv) > 1e9) continue;
      bool skip = false;
      for (const CTensor<float>* mask : excluded)
        skip = skip || (*mask)(x, y, 0) != 0;
      if (skip) continue;
      sum += std::hypot(flow(x, y, 0) - tu, flow(x, y, 1) - tv);
      ++count;
    }
  return count > 0 ? sum / count : std::nan("");
}

/// Reads an optional mask of the pair; false when the file is absent or unreadable.
bool readMask(const fs::path& path, CTensor<float>& mask, int nx, int ny) {
  std::string error;
  if (!fs::exists(path)) return false;
  if (!imageio::readImage(path.string(), mask, imageio::Channels::Grey, error)) {
    std::printf("  (%s)\n", error.c_str());
    return false;
  }
  return mask.xSize() == nx && mask.ySize() == ny;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = argc > 1
                            ? fs::path(argv[1])
                            : fs::path(MOTIONSEG_SOURCE_DIR) / ".." / "shared" / "data" / "flow";
  if (!fs::is_directory(root)) {
    std::printf("no frame pairs at %s: skipped\n", root.string().c_str());
    return 0;
  }
  std::vector<std::string> names;
  for (int k = 2; k < argc; ++k)
    names.push_back(argv[k]);
  if (names.empty()) {
    for (const auto& entry : fs::directory_iterator(root)) {
      if (fs::exists(entry.path() / "flow10.flo"))
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
  }
  std::printf("runFlow with sigma 0.8, alpha 30, beta 300, gamma 5\n");
  std::printf("%-28s %10s %10s %12s %9s\n", "pair", "size", "AEE (px)", "AEE noc (px)", "time (s)");
  double totalSeconds = 0;
  int pairs = 0;
  for (const std::string& name : names) {
    const fs::path dir = root / name;
    CTensor<float> image1, image2, truth, invalid, occluded;
    std::string error;
    if (!imageio::readImage((dir / "frame10.png").string(), image1, imageio::Channels::Colour,
                            error) ||
        !imageio::readImage((dir / "frame11.png").string(), image2, imageio::Channels::Colour,
                            error)) {
      std::printf("%-28s frames unreadable: %s\n", name.c_str(), error.c_str());
      continue;
    }
    const int nx = image1.xSize(), ny = image1.ySize();
    COpticFlow::readMiddlebury((dir / "flow10.flo").string().c_str(), truth);
    if (truth.xSize() != nx || truth.ySize() != ny || truth.zSize() != 2 || image2.xSize() != nx ||
        image2.ySize() != ny) {
      std::printf("%-28s sizes disagree\n", name.c_str());
      continue;
    }
    std::vector<const CTensor<float>*> excluded;
    if (readMask(dir / "invalid10.png", invalid, nx, ny)) excluded.push_back(&invalid);
    const bool hasOcclusions = readMask(dir / "occ10.png", occluded, nx, ny);

    CTensor<float> flow;
    const auto start = std::chrono::steady_clock::now();
    runFlow(image1, image2, flow, 0.8f, 30.0f, 300.0f, 5.0f);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    totalSeconds += seconds;
    ++pairs;

    const double all = endpointError(flow, truth, excluded);
    std::string noc = "-";
    if (hasOcclusions) {
      excluded.push_back(&occluded);
      char text[32];
      std::snprintf(text, sizeof text, "%.3f", endpointError(flow, truth, excluded));
      noc = text;
    }
    const std::string size = std::to_string(nx) + "x" + std::to_string(ny);
    std::printf("%-28s %10s %10.3f %12s %9.2f\n", name.c_str(), size.c_str(), all, noc.c_str(),
                seconds);
    std::fflush(stdout);
  }
  if (pairs > 0) std::printf("mean time per pair: %.2f s\n", totalSeconds / pairs);
  return 0;
}

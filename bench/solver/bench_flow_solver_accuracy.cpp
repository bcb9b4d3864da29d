// Accuracy of the variational solver alone (no descriptor matches) on the real frame pairs of
// ../shared/data/flow: prints the average endpoint error and angular error of every pair.
// Usage: bench_flow_solver_accuracy [data folder [pair name ...]]. Exits 0, printing a note,
// when the folder is absent.
#include "apps/image_io.h"
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

// A PNG frame (3 channels) or mask (1 channel) as a float tensor.
bool readPng(const fs::path& path, int channels, CTensor<float>& image) {
  std::string error;
  return imageio::readImage(path.string(), image,
                            channels == 3 ? imageio::Channels::Colour : imageio::Channels::Grey,
                            error);
}

struct Score {
  double endpoint = 0, angular = 0;
  int pixels = 0;
};

// Errors over pixels with a known reference (|u|, |v| ≤ 10⁹) outside the invalid mask.
Score score(const CTensor<float>& flow, const CTensor<float>& truth,
            const CTensor<float>* invalid) {
  Score s;
  for (int y = 0; y < flow.ySize(); ++y)
    for (int x = 0; x < flow.xSize(); ++x) {
      const double tu = truth(x, y, 0), tv = truth(x, y, 1);
      if (std::fabs(tu) > 1e9 || std::fabs(tv) > 1e9) continue;
      if (invalid != nullptr && (*invalid)(x, y, 0) != 0) continue;
      const double u = flow(x, y, 0), v = flow(x, y, 1);
      s.endpoint += std::hypot(u - tu, v - tv);
      const double c =
          (u * tu + v * tv + 1) / std::sqrt((u * u + v * v + 1) * (tu * tu + tv * tv + 1));
      s.angular += std::acos(std::clamp(c, -1.0, 1.0)) * 180 / M_PI;
      ++s.pixels;
    }
  if (s.pixels > 0) {
    s.endpoint /= s.pixels;
    s.angular /= s.pixels;
  }
  return s;
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
  std::printf("%-28s %10s %10s %10s %9s\n", "pair", "size", "AEE (px)", "AAE (deg)", "time (s)");
  std::fflush(stdout);
  for (const std::string& name : names) {
    const fs::path dir = root / name;
    CTensor<float> image1, image2, truth, invalid;
    if (!readPng(dir / "frame10.png", 3, image1) || !readPng(dir / "frame11.png", 3, image2)) {
      std::printf("%-28s frames unreadable\n", name.c_str());
      continue;
    }
    COpticFlow::readMiddlebury((dir / "flow10.flo").string().c_str(), truth);
    const bool hasInvalid =
        fs::exists(dir / "invalid10.png") && readPng(dir / "invalid10.png", 1, invalid);
    if (truth.xSize() != image1.xSize() || truth.ySize() != image1.ySize() ||
        image2.xSize() != image1.xSize() || image2.ySize() != image1.ySize()) {
      std::printf("%-28s sizes disagree\n", name.c_str());
      continue;
    }
    // The solver with the flow driver's settings, presmoothing σ = 0.8, no matches.
    CTensor<float> none(image1.xSize(), image1.ySize(), 0), flow;
    const auto start = std::chrono::steady_clock::now();
    COpticFlow::warpingGeometric(image1, image2, flow, none, none, none, nullptr, 0.8f, 30.0f,
                                 300.0f, 5.0f, 0.0f, 0.95f, 5, 5, 1.85f);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Score s = score(flow, truth, hasInvalid ? &invalid : nullptr);
    const std::string size = std::to_string(image1.xSize()) + "x" + std::to_string(image1.ySize());
    std::printf("%-28s %10s %10.3f %10.3f %9.2f\n", name.c_str(), size.c_str(), s.endpoint,
                s.angular, seconds);
    std::fflush(stdout);
  }
  return 0;
}

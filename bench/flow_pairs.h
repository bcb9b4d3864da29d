// The real frame pairs of ../shared/data/flow for the accuracy benchmarks: finding them,
// reading a pair (frames, reference flow, optional invalid and occlusion masks) and scoring a
// flow against the reference.
#ifndef MOTIONSEG_BENCH_FLOW_PAIRS_H
#define MOTIONSEG_BENCH_FLOW_PAIRS_H

#include "apps/image_io.h"
#include "flow/containers/CTensor.h"
#include "flow/solver/COpticFlow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace flowpairs {

namespace fs = std::filesystem;

/// The data folder: the first program argument, else ../shared/data/flow beside the sources.
inline fs::path dataRoot(int argc, char** argv) {
  return argc > 1 ? fs::path(argv[1])
                  : fs::path(MOTIONSEG_SOURCE_DIR) / ".." / "shared" / "data" / "flow";
}

/// The pairs named after the folder on the command line, else every folder holding a
/// reference flow, in name order.
inline std::vector<std::string> pairNames(const fs::path& root, int argc, char** argv) {
  std::vector<std::string> names(argv + std::min(argc, 2), argv + argc);
  if (names.empty()) {
    for (const auto& entry : fs::directory_iterator(root)) {
      if (fs::exists(entry.path() / "flow10.flo")) {
        names.push_back(entry.path().filename().string());
      }
    }
    std::sort(names.begin(), names.end());
  }
  return names;
}

/// One pair: frame10 and frame11 as colour tensors, the reference flow, and the masks a pair
/// may have (non-zero where the reference is invalid, or where frame10 is occluded).
struct Pair {
  CTensor<float> image1, image2, truth, invalid, occluded;
  bool hasInvalid = false, hasOccluded = false;
};

/// Reads an optional grey mask of the pair's size; false when absent, unreadable or misfit.
inline bool readMask(const fs::path& path, CTensor<float>& mask, int nx, int ny) {
  std::string error;
  if (!fs::exists(path)) return false;
  if (!imageio::readImage(path.string(), mask, imageio::Channels::Grey, error)) {
    std::printf("  (%s)\n", error.c_str());
    return false;
  }
  return mask.xSize() == nx && mask.ySize() == ny;
}

/// Reads the pair in dir; on failure returns false with the reason in problem.
inline bool readPair(const fs::path& dir, Pair& pair, std::string& problem) {
  if (!imageio::readImage((dir / "frame10.png").string(), pair.image1, imageio::Channels::Colour,
                          problem) ||
      !imageio::readImage((dir / "frame11.png").string(), pair.image2, imageio::Channels::Colour,
                          problem)) {
    return false;
  }
  const int nx = pair.image1.xSize(), ny = pair.image1.ySize();
  COpticFlow::readMiddlebury((dir / "flow10.flo").string().c_str(), pair.truth);
  if (pair.truth.xSize() != nx || pair.truth.ySize() != ny || pair.truth.zSize() != 2 ||
      pair.image2.xSize() != nx || pair.image2.ySize() != ny) {
    problem = "sizes disagree";
    return false;
  }
  pair.hasInvalid = readMask(dir / "invalid10.png", pair.invalid, nx, ny);
  pair.hasOccluded = readMask(dir / "occ10.png", pair.occluded, nx, ny);
  return true;
}

/// Average endpoint error (pixels) and angular error (degrees) of a flow.
struct Score {
  double endpoint = std::nan(""), angular = std::nan("");
};

/// Scores flow over the pixels with a known reference vector (|u|, |v| <= 1e9) that none of
/// the masks excludes (a mask excludes where it is non-zero).
inline Score score(const CTensor<float>& flow, const CTensor<float>& truth,
                   const std::vector<const CTensor<float>*>& excluded) {
  double endpoint = 0, angular = 0;
  long long count = 0;
  for (int y = 0; y < flow.ySize(); ++y) {
    for (int x = 0; x < flow.xSize(); ++x) {
      const double tu = truth(x, y, 0), tv = truth(x, y, 1);
      if (std::fabs(tu) > 1e9 || std::fabs(tv) > 1e9) continue;
      bool skip = false;
      for (const CTensor<float>* mask : excluded)
        skip = skip || (*mask)(x, y, 0) != 0;
      if (skip) continue;
      const double u = flow(x, y, 0), v = flow(x, y, 1);
      endpoint += std::hypot(u - tu, v - tv);
      const double c =
          (u * tu + v * tv + 1) / std::sqrt((u * u + v * v + 1) * (tu * tu + tv * tv + 1));
      angular += std::acos(std::clamp(c, -1.0, 1.0)) * 180 / M_PI;
      ++count;
    }
  }
  Score s;
  if (count > 0) {
    s.endpoint = endpoint / count;
    s.angular = angular / count;
  }
  return s;
}

}  // namespace flowpairs

#endif  // MOTIONSEG_BENCH_FLOW_PAIRS_H

// Generated frames for the front-end tests: textures, ramps and shifted copies.
#ifndef MOTIONSEG_TESTS_FLOW_MATCHING_SUPPORT_H
#define MOTIONSEG_TESTS_FLOW_MATCHING_SUPPORT_H

#include "flow/containers/CTensor.h"

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

namespace matchingtest {

/// An xSize × ySize × channels tensor with element (x, y, z) = f(x, y, z).
inline CTensor<float> image(int xSize, int ySize, int channels,
                            const std::function<float(int, int, int)>& f) {
  CTensor<float> t(xSize, ySize, channels);
  for (int z = 0; z < channels; ++z)
    for (int y = 0; y < ySize; ++y)
      for (int x = 0; x < xSize; ++x)
        t(x, y, z) = f(x, y, z);
  return t;
}

/// A smooth random colour texture of values in about 0..255, defined on the whole plane so
/// that a shifted copy is the same texture seen at another place: a sum of sinusoids with
/// random frequencies and phases per channel.
class Texture {
 public:
  explicit Texture(unsigned seed, double roughness = 1.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> freq(0.05 * roughness, 0.6 * roughness);
    std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
    for (auto& channel : waves)
      for (auto& w : channel)
        w = {freq(rng), freq(rng), phase(rng)};
  }
  float operator()(double x, double y, int z) const {
    double v = 0.0;
    for (const auto& w : waves[z % 3])
      v += std::sin(w[0] * x + w[1] * y + w[2]) + std::cos(w[1] * x - w[0] * y + w[2]);
    return static_cast<float>(127.5 + 127.5 * v / 12.0);
  }

 private:
  std::array<std::array<std::array<double, 3>, 6>, 3> waves;
};

/// Bitwise equality of two tensors of the same sizes.
inline bool identical(const CTensor<float>& a, const CTensor<float>& b) {
  return a.xSize() == b.xSize() && a.ySize() == b.ySize() && a.zSize() == b.zSize() &&
         std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

}  // namespace matchingtest

#endif  // MOTIONSEG_TESTS_FLOW_MATCHING_SUPPORT_H

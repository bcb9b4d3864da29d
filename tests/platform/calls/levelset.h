// Fields shared by the level-set plug-ins' calls: exact on every platform.
#ifndef MOTIONSEG_TESTS_PLATFORM_CALLS_LEVELSET_H
#define MOTIONSEG_TESTS_PLATFORM_CALLS_LEVELSET_H

#include "../plugin_digests.h"

#include <cmath>
#include <limits>

namespace digest {

/// The signed distance (sqrt is exactly rounded everywhere) from a circle of radius `radius`
/// about (cy, cx) plus a ripple on a grid of 1/64, h-by-w.
inline host::Array distanceField(int h, int w, double cy, double cx, double radius,
                                 std::uint32_t salt) {
  std::vector<double> v(static_cast<std::size_t>(h) * w);
  const std::vector<double> ripple = gridNoise(v.size(), salt, 1);
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      const double dy = y - cy, dx = x - cx;
      v[y + h * x] = std::sqrt(dy * dy + dx * dx) - radius + ripple[y + h * x] / 8.0;
    }
  }
  return make<double>(size({h, w}), v);
}

/// h-by-w values on a grid of 1/64 in [-range, range).
inline host::Array gridField(int h, int w, std::uint32_t salt, int range) {
  return make<double>(size({h, w}), gridNoise(static_cast<std::size_t>(h) * w, salt, range));
}

/// The same with a NaN, an infinity of each sign and a zero of each sign at fixed places.
inline host::Array specialField(int h, int w, std::uint32_t salt, int range) {
  std::vector<double> v = gridNoise(static_cast<std::size_t>(h) * w, salt, range);
  const double specials[] = {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 0.0, -0.0};
  for (std::size_t k = 0; k < 5; ++k)
    v[(mix(static_cast<std::uint32_t>(k), salt) % v.size())] = specials[k];
  return make<double>(size({h, w}), v);
}

}  // namespace digest

#endif  // MOTIONSEG_TESTS_PLATFORM_CALLS_LEVELSET_H

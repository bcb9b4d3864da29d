// crossingCounts and crossingRuns (one computation, two plug-ins) on fixed inputs: outlines,
// grey levels, thin and empty images.
#include "../plugin_digests.h"

#include <algorithm>

namespace digest {

namespace {

// Closed outlines of a few rectangles on a background of sparse dots.
host::Array outlines(int h, int w, std::uint32_t salt) {
  std::vector<std::uint8_t> v(static_cast<std::size_t>(h) * w);
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = mix(static_cast<std::uint32_t>(i), salt) % 31 == 0 ? 1 : 0;
  for (std::uint32_t r = 0; r < 5; ++r) {
    const int top = static_cast<int>(mix(r, salt + 1) % static_cast<std::uint32_t>(h - 2));
    const int left = static_cast<int>(mix(r, salt + 2) % static_cast<std::uint32_t>(w - 2));
    const int bottom =
        top + 2 + static_cast<int>(mix(r, salt + 3) % static_cast<std::uint32_t>(h - top - 1));
    const int right =
        left + 2 + static_cast<int>(mix(r, salt + 4) % static_cast<std::uint32_t>(w - left - 1));
    for (int x = left; x < right && x < w; ++x)
      v[top + h * x] = v[std::min(bottom, h - 1) + h * x] = 1;
    for (int y = top; y < bottom && y < h; ++y)
      v[y + h * left] = v[y + h * std::min(right, w - 1)] = 1;
  }
  return make<std::uint8_t>(size({h, w}), v);
}

host::Array grey(int h, int w, std::uint32_t salt) {
  return make<std::uint8_t>(size({h, w}),
                            noise<std::uint8_t>(static_cast<std::size_t>(h) * w, salt, 0, 256));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"outlines", [] { return arguments(outlines(45, 62, 1)); }, 1, 0x31a607e26fa6b6c3ull},
      {"grey levels", [] { return arguments(grey(29, 37, 2)); }, 1, 0xdfd9f97dd3a917d0ull},
      {"one row, no output requested", [] { return arguments(grey(1, 70, 3)); }, 0,
       0x9e451d8671b1dae1ull},
      {"one column", [] { return arguments(grey(50, 1, 4)); }, 1, 0x68d2aa13c8839ac7ull},
      {"no columns",
       [] {
         return arguments(make<std::uint8_t>(size({6, 0}), std::vector<std::uint8_t>()));
       },
       1, 0x4535c049824fcde3ull},
  };
  return p;
}

}  // namespace digest

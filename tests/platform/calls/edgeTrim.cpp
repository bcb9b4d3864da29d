// edgeTrim on fixed inputs: random boundary maps with chains reaching the border, closed
// outlines, with and without a mask.
#include "../plugin_digests.h"

#include <algorithm>

namespace digest {

namespace {

// Random boundary pixels (one in `share`) and the outlines of a few rectangles.
host::Array edges(int h, int w, std::uint32_t salt, std::uint32_t share) {
  std::vector<bool> v(static_cast<std::size_t>(h) * w);
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = mix(static_cast<std::uint32_t>(i), salt) % share == 0;
  for (int r = 0; r < 4; ++r) {
    const int top = static_cast<int>(mix(r, salt + 1) % static_cast<std::uint32_t>(h));
    const int left = static_cast<int>(mix(r, salt + 2) % static_cast<std::uint32_t>(w));
    const int bottom = std::min(h - 1, top + 2 + static_cast<int>(mix(r, salt + 3) % 9u));
    const int right = std::min(w - 1, left + 2 + static_cast<int>(mix(r, salt + 4) % 9u));
    for (int x = left; x <= right; ++x)
      v[top + h * x] = v[bottom + h * x] = true;
    for (int y = top; y <= bottom; ++y)
      v[y + h * left] = v[y + h * right] = true;
  }
  return make<bool>(size({h, w}), v);
}

host::Array mask(int h, int w, std::uint32_t salt) {
  std::vector<bool> v(static_cast<std::size_t>(h) * w);
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = mix(static_cast<std::uint32_t>(i), salt) % 23 == 0;
  return make<bool>(size({h, w}), v);
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"sparse boundaries", [] { return arguments(edges(40, 52, 1, 6)); }, 1,
       0x76fb732c6d933a76ull},
      {"dense boundaries", [] { return arguments(edges(33, 21, 2, 2)); }, 1, 0x9c944597a8be1c86ull},
      {"with a mask", [] { return arguments(edges(40, 52, 1, 6), mask(40, 52, 3)); }, 1,
       0xce93c251bc414172ull},
      {"a larger mask, no output requested",
       [] { return arguments(edges(17, 12, 4, 4), mask(20, 15, 5)); }, 0, 0x94ff01752f40fa87ull},
      {"one column", [] { return arguments(edges(25, 1, 6, 2)); }, 1, 0xdcf05513d81c4a80ull},
  };
  return p;
}

}  // namespace digest

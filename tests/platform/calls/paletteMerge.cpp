// paletteMerge on fixed inputs: many repeats of few colours, weights of both signs, all
// colours distinct, a single row.
#include "../plugin_digests.h"

namespace digest {

namespace {

// n colours drawn from `distinct` of them, column-major n-by-3.
host::Array colours(int n, std::uint32_t distinct, std::uint32_t salt) {
  std::vector<std::uint8_t> v(3u * n);
  for (int i = 0; i < n; ++i) {
    const std::uint32_t c = mix(mix(static_cast<std::uint32_t>(i), salt) % distinct, salt + 1);
    for (int k = 0; k < 3; ++k)
      v[i + n * k] = static_cast<std::uint8_t>(c >> (8 * k));
  }
  return make<std::uint8_t>(size({n, 3}), v);
}

// Weights on a grid of 1/1024 of both signs, several orders of magnitude apart.
host::Array weights(int n, std::uint32_t salt) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) {
    const std::uint32_t r = mix(static_cast<std::uint32_t>(i), salt);
    v[i] =
        (static_cast<float>(r % 20000u) - 9000.0f) / 1024.0f * static_cast<float>(1u << (r >> 28));
  }
  return make<float>(size({n, 1}), v);
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"repeats of few colours", [] { return arguments(colours(700, 37, 1), weights(700, 2)); }, 2,
       0x3f5a6c9bcbbf79d5ull},
      {"all distinct, colours only",
       [] { return arguments(colours(64, 1u << 30, 3), weights(64, 4)); }, 1,
       0x9d27588c9ffd8141ull},
      {"one row", [] { return arguments(colours(1, 1, 5), weights(1, 6)); }, 2,
       0xe326e2162c2e0ec3ull},
  };
  return p;
}

}  // namespace digest

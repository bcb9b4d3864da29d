// denseMotion on fixed inputs, on every instruction-set path and with one and two threads:
// textured frames moved by whole pixels, with and without descriptor matches, more than
// three channels, frames too small for a match.
#include "../environment.h"
#include "../plugin_digests.h"
#include "flow/parallel/instruction_set.h"

namespace digest {

namespace {

// Blocks of pseudo-random grey levels per channel (coarse enough for the descriptors to
// match), the scene moved by (dx, dy) pixels; h-by-w-by-channels, values 20 to 219.
host::Array frame(int h, int w, int channels, int dx, int dy, std::uint32_t salt) {
  std::vector<double> v(static_cast<std::size_t>(h) * w * channels);
  for (int c = 0; c < channels; ++c) {
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) {
        const std::uint32_t block =
            static_cast<std::uint32_t>(((x - dx) >> 2) * 7919 + ((y - dy) >> 2) * 104729 + c);
        v[y + h * x + h * w * c] = 20.0 + mix(block, salt) % 200u;
      }
    }
  }
  return make<double>(size({h, w, channels}), v);
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"default parameters",
       [] { return arguments(frame(36, 44, 3, 0, 0, 1), frame(36, 44, 3, 2, -1, 1)); }, 1,
       0x7a239f6b5d3f6901ull},
      {"no matches, four channels",
       [] {
         return arguments(frame(27, 33, 4, 0, 0, 2), frame(27, 33, 4, -1, 2, 2), scalar(0.6),
                          scalar(20), scalar(0), scalar(3));
       },
       1, 0xf2922c04d6fc7922ull},
      {"tiny frames", [] { return arguments(frame(5, 7, 3, 0, 0, 3), frame(5, 7, 3, 1, 0, 3)); }, 1,
       0x5abf82618122ca2cull},
  };
  for (flowsimd::InstructionSet set : flowsimd::kInstructionSets) {
    for (const char* threads : {"1", "2"}) {
      p.settings.push_back(
          {std::string(flowsimd::name(set)) + ", " + threads + " threads", [set, threads] {
             setenv("OMP_NUM_THREADS", threads, 1);
             return flowsimd::force(set);
           }});
    }
  }
  p.restore = [] {
    flowsimd::unforce();
    unsetenv("OMP_NUM_THREADS");
  };
  return p;
}

}  // namespace digest

// The flow's bits on every platform and every instruction-set path: flows of generated frames
// are hashed and compared with digests recorded once. The frames are made with integer
// arithmetic only, so that they are the same everywhere; a digest that differs means a
// platform's compiler, C library or kernels change a result.
#include "flow/driver/run_flow.h"
#include "flow/parallel/instruction_set.h"
#include "tests/flow/instruction_sets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

/// 64-bit FNV-1a over bytes, continuing from `hash`.
std::uint64_t fnv1a(const void* data, std::size_t bytes, std::uint64_t hash) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < bytes; ++i) {
    hash ^= p[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

/// The digest of a flow's sizes and the bits of every value.
std::uint64_t digestOf(const CTensor<float>& flow) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  const int sizes[3] = {flow.xSize(), flow.ySize(), flow.zSize()};
  hash = fnv1a(sizes, sizeof sizes, hash);
  for (int z = 0; z < flow.zSize(); ++z) {
    for (int y = 0; y < flow.ySize(); ++y) {
      for (int x = 0; x < flow.xSize(); ++x) {
        std::uint32_t bits;
        const float v = flow(x, y, z);
        std::memcpy(&bits, &v, sizeof bits);
        hash = fnv1a(&bits, sizeof bits, hash);
      }
    }
  }
  return hash;
}

/// Texture value at (x, y) of channel z: blocks of pseudo-random grey levels (an integer
/// hash, the same on every platform), coarse enough for the descriptors to match.
float texture(int x, int y, int z) {
  // Products taken modulo 2^32 in unsigned arithmetic: the same bits as a wrapping
  // signed product, without the overflow.
  std::uint32_t h = static_cast<std::uint32_t>(x >> 2) * 73856093u ^
                    static_cast<std::uint32_t>(y >> 2) * 19349663u ^
                    static_cast<std::uint32_t>(z) * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<float>(h % 200u) + 20.0f;
}

/// A frame and the same scene moved by (dx, dy) whole pixels.
void frames(int w, int h, int dx, int dy, CTensor<float>& a, CTensor<float>& b) {
  a.setSize(w, h, 3);
  b.setSize(w, h, 3);
  for (int z = 0; z < 3; ++z) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        a(x, y, z) = texture(x, y, z);
        b(x, y, z) = texture(x - dx, y - dy, z);
      }
    }
  }
}

struct FlowCase {
  const char* name;
  int w, h, dx, dy;
  float beta;  ///< weight of the descriptor matches: 0 leaves them out
  std::uint64_t digest;
};

// Recorded on 64-bit Linux; every platform and path must give the same.
const FlowCase kCases[] = {
    {"tiny", 9, 7, 1, 0, 300.0f, 0x943c21b92af57b09ull},
    {"small with matches", 48, 36, 2, 1, 300.0f, 0x087f71826ef344ecull},
    {"small without matches", 48, 36, 2, 1, 0.0f, 0xd9617aea539ae89full},
    {"wide with matches", 120, 40, -3, 2, 300.0f, 0x0388d7b407064d97ull},
    {"tall without matches", 33, 90, 1, -2, 0.0f, 0xeadbdc08a9f26f70ull},
};

TEST(FlowDigests, SameOnEveryPlatformAndInstructionSet) {
  for (flowsimd::InstructionSet set : flowtest::runnableInstructionSets()) {
    ASSERT_TRUE(flowsimd::force(set));
    for (const FlowCase& c : kCases) {
      for (int threads : {1, 2}) {
        CTensor<float> a, b, flow;
        frames(c.w, c.h, c.dx, c.dy, a, b);
        runFlow(a, b, flow, 0.8f, 30.0f, c.beta, 5.0f, threads);
        char text[19];
        std::snprintf(text, sizeof text, "0x%016llx",
                      static_cast<unsigned long long>(digestOf(flow)));
        char wanted[19];
        std::snprintf(wanted, sizeof wanted, "0x%016llx",
                      static_cast<unsigned long long>(c.digest));
        EXPECT_STREQ(text, wanted)
            << c.name << " on " << flowsimd::name(set) << ", " << threads << " threads";
      }
    }
  }
  flowsimd::unforce();
}

}  // namespace

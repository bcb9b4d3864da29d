// bitcode_distance on fixed inputs: codes of many lengths (whole and partial words), empty
// sets.
#include "../plugin_digests.h"

namespace digest {

namespace {

host::Array codes(int bits, int count, std::uint32_t salt) {
  return make<bool>(size({bits, count}),
                    noise<bool>(static_cast<std::size_t>(bits) * count, salt, 0, 2));
}

}  // namespace

Plan plan() {
  Plan p;
  p.calls = {
      {"64-bit codes", [] { return arguments(codes(64, 21, 1), codes(64, 34, 2)); }, 1,
       0x8cd15fa9d402bd9aull},
      {"odd lengths", [] { return arguments(codes(203, 9, 3), codes(203, 13, 4)); }, 1,
       0x3e439d33660d2dd3ull},
      {"short codes, no output requested",
       [] { return arguments(codes(3, 40, 5), codes(3, 7, 6)); }, 0, 0x22aa8f7f9733f4aaull},
      {"codes of no bits", [] { return arguments(codes(0, 4, 9), codes(0, 3, 10)); }, 1,
       0x640184c62191544aull},
      {"no codes in B", [] { return arguments(codes(8, 4, 11), codes(8, 0, 12)); }, 1,
       0xd491136a5d071b29ull},
  };
  return p;
}

}  // namespace digest

#include "superpixel/graphs/region_linkage.h"

#include <algorithm>

namespace superpixel {

namespace {

// Calls visit(p, q) for every pixel p whose flow lands inside the frame at q, column by column
// (the counts are integers, so the order does not change them).
template <class Visit>
bool forEachLanding(const LinkFrames& frames, Visit&& visit) {
  const std::size_t h = frames.height, w = frames.width, plane = h * w;
  for (std::size_t x = 0; x < w; ++x) {
    for (std::size_t y = 0; y < h; ++y) {
      const std::size_t p = y + x * h;
      // Negative coordinates wrap to huge unsigned values and fail the same test.
      const auto ty = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(y) + frames.flow[p]);
      const auto tx =
          static_cast<std::size_t>(static_cast<std::ptrdiff_t>(x) + frames.flow[p + plane]);
      if (ty >= h || tx >= w) continue;
      if (!visit(p, ty + tx * h)) return false;
    }
  }
  return true;
}

}  // namespace

std::uint16_t largestLabel(const std::uint16_t* labels, std::size_t count) {
  return count == 0 ? std::uint16_t{0} : *std::max_element(labels, labels + count);
}

LinkLabelFault findLabelBeyondCounts(const LinkFrames& frames, std::size_t n1, std::size_t n2) {
  LinkLabelFault fault;
  forEachLanding(frames, [&](std::size_t p, std::size_t q) {
    const std::uint16_t a = frames.first[p], b = frames.second[q];
    if (a == 0 || b == 0) return true;  // unlabelled pixels take no part
    if (a > n1) {
      fault = {1, p, a};
      return false;
    }
    if (b > n2) {
      fault = {2, q, b};
      return false;
    }
    return true;
  });
  return fault;
}

void countLinks(const LinkFrames& frames, std::size_t n1, std::uint32_t* counts) {
  forEachLanding(frames, [&](std::size_t p, std::size_t q) {
    const std::uint16_t a = frames.first[p], b = frames.second[q];
    if (a != 0 && b != 0) ++counts[(b - 1u) * n1 + (a - 1u)];
    return true;
  });
}

}  // namespace superpixel

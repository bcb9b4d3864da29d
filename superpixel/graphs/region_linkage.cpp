#include "superpixel/graphs/region_linkage.h"

#include "superpixel/graphs/flow_landing.h"

#include <algorithm>
#include <string>

namespace superpixel {

std::uint16_t largestLabel(const std::uint16_t* labels, std::size_t count) {
  return count == 0 ? std::uint16_t{0} : *std::max_element(labels, labels + count);
}

LinkLabelFault findLabelBeyondCounts(const LinkFrames& frames, std::size_t n1, std::size_t n2) {
  LinkLabelFault fault;
  forEachLanding(frames.flow, frames.height, frames.width, [&](std::size_t p, std::size_t q) {
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
  // Column by column: the counts are integers, so the order does not change them.
  forEachLanding(frames.flow, frames.height, frames.width, [&](std::size_t p, std::size_t q) {
    const std::uint16_t a = frames.first[p], b = frames.second[q];
    if (a != 0 && b != 0) ++counts[(b - 1u) * n1 + (a - 1u)];
    return true;
  });
}

membudget::Estimate regionLinkageBytes(std::uint64_t n1, std::uint64_t n2) {
  membudget::Estimate need;
  need.outputs = membudget::Bytes::product({n1, n2, sizeof(std::uint32_t)});
  need.what = "a " + std::to_string(n1) + "-by-" + std::to_string(n2) + " table";
  return need;
}

}  // namespace superpixel

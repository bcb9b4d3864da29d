#include "superpixel/graphs/frame_neighbours.h"

#include <algorithm>
#include <cassert>

namespace superpixel {

namespace {

// Adds the keys of one frame's sorted, duplicate-free candidates to the set. The hint keeps
// insertion cheap when, as with labels numbered across a video, new keys follow the old ones.
void insertSorted(const std::vector<std::uint64_t>& sorted, PairKeys& keys) {
  auto hint = keys.begin();
  for (const std::uint64_t key : sorted) {
    hint = keys.insert(hint, key);
    ++hint;
  }
}

}  // namespace

PairKeys frameNeighbours(const std::vector<const std::uint32_t*>& frames, std::size_t height,
                         std::size_t width, std::uint64_t n, std::uint64_t budget,
                         bool* overBudget) {
  assert(n >= 1 && n <= (std::uint64_t{1} << 32));
  PairKeys keys;
  std::vector<std::uint64_t> found;
  bool over = false;
  // The bytes held with `candidates` slots of candidate buffer and `nodes` set nodes, in
  // double so that no product wraps.
  const auto fits = [&](double candidates, double nodes) {
    return candidates * sizeof(std::uint64_t) + nodes * kPairKeyBytes <= double(budget);
  };
  // The neighbourhood is symmetric, so the pair found from the smaller label of two adjacent
  // pixels is the pair of the two pixels whichever one looks. Visiting each adjacent pixel pair
  // once (towards below, right, below-right and above-right) gives the same set with half the
  // work. A border is met again and again along its length, so a small direct-mapped table of
  // recent keys drops most repeats before the per-frame sort. It holds key + 1, which never
  // wraps (keys stay below 2^64 - 1), so that 0 can mark an empty slot.
  constexpr int kCacheBits = 12;
  std::vector<std::uint64_t> recent(std::size_t{1} << kCacheBits);
  const auto note = [&](std::uint32_t l, std::uint32_t m) {
    if (l == m) return;
    const std::uint32_t a = std::min(l, m), b = std::max(l, m);
    const std::uint64_t key = std::uint64_t{b} * n + a;
    std::uint64_t& slot = recent[(key * 0x9E3779B97F4A7C15ull) >> (64 - kCacheBits)];
    if (slot == key + 1) return;
    slot = key + 1;
    // A full buffer doubles, and the old one is held while it is copied.
    if (found.size() == found.capacity() &&
        !fits(3.0 * std::max<double>(found.capacity(), 8), double(keys.size()))) {
      over = true;
      return;
    }
    found.push_back(key);
  };
  for (const std::uint32_t* labels : frames) {
    found.clear();
    if (height == 0) break;  // no pixels (and no empty columns to walk)
    for (std::size_t x = 0; x < width && !over; ++x) {
      const std::uint32_t* column = labels + x * height;
      const bool hasRight = x + 1 < width;
      const std::uint32_t* right = hasRight ? column + height : nullptr;
      for (std::size_t y = 0; y < height; ++y) {
        const std::uint32_t l = column[y] - 1u;
        const bool hasBelow = y + 1 < height;
        if (hasBelow) note(l, column[y + 1] - 1u);
        if (hasRight) {
          note(l, right[y] - 1u);
          if (hasBelow) note(l, right[y + 1] - 1u);
          if (y > 0) note(l, right[y - 1] - 1u);
        }
      }
    }
    if (over) break;
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    // At most every candidate becomes a node, while the buffer is still held.
    if (!fits(double(found.capacity()), double(keys.size()) + double(found.size()))) {
      over = true;
      break;
    }
    insertSorted(found, keys);
  }
  if (overBudget != nullptr) *overBudget = over;
  return keys;
}

PairKeys frameNeighboursReference(const std::vector<const std::uint32_t*>& frames,
                                  std::size_t height, std::size_t width, std::uint64_t n) {
  constexpr int kRowStep[8] = {-1, 0, 1, 0, -1, -1, 1, 1};
  constexpr int kColumnStep[8] = {0, -1, 0, 1, -1, 1, -1, 1};
  const auto h = static_cast<std::ptrdiff_t>(height);
  const auto w = static_cast<std::ptrdiff_t>(width);
  PairKeys keys;
  for (const std::uint32_t* labels : frames) {
    for (std::ptrdiff_t y = 0; y < h; ++y) {
      for (std::ptrdiff_t x = 0; x < w; ++x) {
        const std::uint32_t a = labels[y + x * h] - 1u;
        for (int k = 0; k < 8; ++k) {
          const std::ptrdiff_t ny = y + kRowStep[k], nx = x + kColumnStep[k];
          if (ny < 0 || ny >= h || nx < 0 || nx >= w) continue;
          const std::uint32_t b = labels[ny + nx * h] - 1u;
          if (a < b) keys.insert(std::uint64_t{b} * n + a);
        }
      }
    }
  }
  return keys;
}

void decodePairs(const PairKeys& keys, std::uint64_t n, std::uint32_t* smaller,
                 std::uint32_t* larger) {
  assert(n >= 1);
  std::size_t i = 0;
  for (const std::uint64_t key : keys) {
    smaller[i] = static_cast<std::uint32_t>(key % n);
    larger[i] = static_cast<std::uint32_t>(key / n);
    ++i;
  }
}

}  // namespace superpixel

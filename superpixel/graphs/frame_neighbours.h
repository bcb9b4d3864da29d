// Adjacency of superpixels within the frames of a video, as an ordered set of packed pair keys.
#ifndef MOTIONSEG_SUPERPIXEL_GRAPHS_FRAME_NEIGHBOURS_H
#define MOTIONSEG_SUPERPIXEL_GRAPHS_FRAME_NEIGHBOURS_H

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace superpixel {

/// Packed keys b*n + a of label pairs, in ascending order: by b, then by a.
using PairKeys = std::set<std::uint64_t>;

/// Working memory a set of `keys` pair keys takes: each key is a node of the ordered set (its
/// key, three links and a colour, rounded up as allocators do).
constexpr std::uint64_t kPairKeyBytes = sizeof(std::uint64_t) + 4 * sizeof(void*) + 8;

/// Every unordered pair of distinct labels that meet in 8-connected neighbouring pixels of one
/// frame, pooled over all frames. Each frame is a height-by-width column-major label map.
/// Labels are 1-based; a label L is handled as the 0-based index L - 1 in 32-bit unsigned
/// arithmetic, so label 0 becomes 4294967295 and is the larger index of every pair it is in.
/// A pair of indices a < b is stored as the key b*n + a. Requires 1 <= n <= 2^32 (so no key
/// overflows).
///
/// How many pairs a video has shows only while they are found, so the working memory is
/// weighed as it grows: when the set and one frame's candidates would take more than
/// `budget` bytes, the search stops, `overBudget` is set (when given) and the keys found so far
/// are returned. The budget counts kPairKeyBytes per key and the candidate buffer at the size
/// it is about to grow to (with the old one while it is copied).
PairKeys frameNeighbours(const std::vector<const std::uint32_t*>& frames, std::size_t height,
                         std::size_t width, std::uint64_t n, std::uint64_t budget = UINT64_MAX,
                         bool* overBudget = nullptr);

/// The same set, built exactly as the definition reads: every pixel visits its eight
/// neighbours (above, left, below, right, above-left, above-right, below-left, below-right)
/// and inserts the key of each neighbour with a larger index. Kept as the reference for the
/// faster frameNeighbours.
PairKeys frameNeighboursReference(const std::vector<const std::uint32_t*>& frames,
                                  std::size_t height, std::size_t width, std::uint64_t n);

/// Decodes the keys in ascending order: smaller[i] = key mod n, larger[i] = key div n, each
/// converted to 32 bits. Both arrays hold keys.size() elements. Requires n >= 1.
void decodePairs(const PairKeys& keys, std::uint64_t n, std::uint32_t* smaller,
                 std::uint32_t* larger);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_GRAPHS_FRAME_NEIGHBOURS_H

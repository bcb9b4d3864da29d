// Flow-based links between the superpixels of consecutive frames, as a weighted edge list.
#ifndef MOTIONSEG_SUPERPIXEL_GRAPHS_TRACK_NEIGHBOURS_H
#define MOTIONSEG_SUPERPIXEL_GRAPHS_TRACK_NEIGHBOURS_H

#include "common/memory_budget.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace superpixel {

/// One frame step: the flow from frame f to frame f+1 (height-by-width-by-2 int16, plane 0
/// added to the row, plane 1 to the column) and the label maps of both frames (height-by-width
/// uint32, 1-based labels), all column-major.
struct FrameStep {
  const std::int16_t* flow;
  const std::uint32_t* source;
  const std::uint32_t* target;
};

/// Where counting stopped: a pixel that lands inside the next frame but whose own label is
/// outside 1..n, so it would address a landed counter that does not exist.
struct SourceLabelFault {
  bool found = false;
  std::size_t step = 0;     ///< 0-based frame step (the label map of frame `step`)
  std::size_t element = 0;  ///< 0-based column-major position in that map
  std::uint32_t label = 0;
};

/// The votes of all frame steps.
struct TrackVotes {
  /// Pair key b*n + a (a the 0-based source index, b the 0-based target index) -> the number
  /// of source pixels of a that landed on b, in ascending key order.
  std::map<std::uint64_t, std::uint64_t> votes;
  SourceLabelFault fault;   ///< when set, the votes are incomplete
  bool overBudget = false;  ///< counting stopped at its memory budget; the votes are incomplete
};

/// Working memory of one pair in the votes: a node of the ordered map (key, count, three links
/// and a colour, rounded up as allocators do).
constexpr std::uint64_t kVoteBytes = 2 * sizeof(std::uint64_t) + 4 * sizeof(void*) + 8;

/// The edges of a weighted edge list, row i of the three vectors being one edge.
struct WeightedEdges {
  std::vector<std::uint32_t> source;
  std::vector<std::uint32_t> target;
  std::vector<float> weight;
};

/// Moves every pixel of each frame step by its flow vector and counts, for every pixel that
/// lands inside the frame, one vote for (its label, the label where it lands). A label's landed
/// pixels are the sum of its votes, so nothing is sized by the largest label. Stops at the first
/// landing pixel (in step order, then column-major order) whose label is outside 1..n. Target
/// labels are not limited: label 0 is the index 4294967295. Requires 1 <= n <= 2^32.
///
/// How many pairs get votes shows only while they are counted, so the working memory is
/// weighed as it grows: when the votes (kVoteBytes each) and one step's gathered runs would
/// take more than `budget` bytes, counting stops with overBudget set.
TrackVotes countTrackVotes(const std::vector<FrameStep>& steps, std::size_t height,
                           std::size_t width, std::uint64_t n, std::uint64_t budget = UINT64_MAX);

/// The single-precision tally that adding 1.0f `votes` times to 0.0f gives: exact up to 2^24,
/// where adding 1 no longer changes a float.
float voteTally(std::uint64_t votes);

/// Landed pixels of every source index that has votes, as (index, count modulo 2^32) in
/// ascending index order: one entry per source label present, whatever its value.
std::vector<std::pair<std::uint32_t, std::uint32_t>> landedCounts(const TrackVotes& votes,
                                                                  std::uint64_t n);

/// Writes the edges of complete votes in ascending key order: source[i] = key mod n,
/// target[i] = key div n, weight[i] = tally / landed count of the source, in single precision.
/// Each array holds votes.votes.size() elements.
void writeWeightedEdges(const TrackVotes& votes, std::uint64_t n, std::uint32_t* source,
                        std::uint32_t* target, float* weight);

/// What the edge list of `edges` edges takes once the votes are counted: the three E-by-1
/// outputs and the landed counts of writeWeightedEdges.
membudget::Estimate trackNeighboursBytes(std::uint64_t edges);

/// The edge list built exactly as the definition reads: rows outer, columns inner, a map from
/// key to a single-precision tally that grows by 1 per landed pixel, and a landed counter of n
/// entries. Every landing source label must lie in 1..n. Kept as the reference for
/// countTrackVotes and writeWeightedEdges.
WeightedEdges trackNeighboursReference(const std::vector<FrameStep>& steps, std::size_t height,
                                       std::size_t width, std::uint64_t n);

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_GRAPHS_TRACK_NEIGHBOURS_H

// Sparse descriptor matching of the flow driver: on a grid of every fourth pixel, the best
// match of each textured point within ±80 pixels of the second frame, kept when the backward
// search from it returns to the point, with a confidence from the gap between the best and
// the second-best distance.
#ifndef MOTIONSEG_FLOW_MATCHING_DESCRIPTOR_MATCHING_H
#define MOTIONSEG_FLOW_MATCHING_DESCRIPTOR_MATCHING_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_count.h"
#include "flow/parallel/thread_pool.h"

#include <functional>

namespace flowmatch {

/// Grid step and first grid coordinate; also the descriptor sample offset.
constexpr int kGridStep = 4;
/// Search radius in x and in y.
constexpr int kSearchRadius = 80;
/// Entries of a matching descriptor: 3 × 3 sample positions times 15 bins.
constexpr int kDescriptorLength = 9 * 15;

/// What the matching reads: the presmoothed frames (at least 3 channels each, channels 0..2
/// enter the colour test), their orientation histograms (15 channels) and the confidence map
/// of the first frame, all of the frames' xSize by ySize.
struct MatchingInput {
  const CTensor<float>& image1;
  const CTensor<float>& image2;
  const CTensor<float>& hog1;
  const CTensor<float>& hog2;
  const CMatrix<float>& confidence;
};

/// The straightforward matching, step by step in scan order with the three descriptor vectors
/// filled and compared entry by entry. It defines the right answer for `match`.
/// matchU, matchV and matchConfidence are resized to xSize by ySize by 1 and filled with 0;
/// accepted grid points get their integer displacement and a positive confidence.
void matchReference(const MatchingInput& in, CTensor<float>& matchU, CTensor<float>& matchV,
                    CTensor<float>& matchConfidence);

/// The same result, bit for bit, computed faster: a distance stops once it can no longer
/// change the best or second-best, a bound from descriptor norms rules out most candidates
/// before their distance is summed, candidates along x are compared several at a time (each in
/// its own summation order), and grid rows are shared among `threads` threads (1 or less: the
/// calling thread alone). An exception of a worker is rethrown on the calling thread.
void match(const MatchingInput& in, CTensor<float>& matchU, CTensor<float>& matchV,
           CTensor<float>& matchConfidence, int threads);

/// The same on the threads of `pool` (when not null, else on threads started here), at most
/// `threads` of them. `checkpoint`, when set, is called on the calling thread before each grid
/// row it takes; if it throws, the other threads finish the row they are in, and the
/// exception leaves this function after every thread has stopped.
void match(const MatchingInput& in, CTensor<float>& matchU, CTensor<float>& matchV,
           CTensor<float>& matchConfidence, flowthreads::Pool* pool, int threads,
           const std::function<void()>& checkpoint);

/// Thread count from OMP_NUM_THREADS or the cores, shared with the solver.
using flowthreads::threadCount;

}  // namespace flowmatch

#endif  // MOTIONSEG_FLOW_MATCHING_DESCRIPTOR_MATCHING_H

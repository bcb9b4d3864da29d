#include "flow/driver/video_flows.h"

#include "flow/matching/descriptor_matching.h"
#include "flow/matching/match_confidence.h"
#include "flow/matching/orientation_histogram.h"
#include "flow/solver/level_solver.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <utility>

namespace flowdriver {

void prepareFrame(CTensor<float>&& image, const FlowParameters& parameters, bool confidence,
                  flowthreads::Pool* pool, int threads, PreparedFrame& frame) {
  if (image.zSize() < 3) throw std::invalid_argument("runFlow: the frames need 3 channels or more");
  if (!validSigma(parameters.sigma)) {
    throw std::invalid_argument("runFlow: sigma must be finite and at least 1e-38");
  }
  threads = std::max(1, threads);
  frame.range = ValueRange();
  widenRange(frame.range, image);
  frame.smoothed.swap(image);
  // runFlow's steps for one frame, in its order: the presmoothing in place, then the
  // histograms and the confidence map, each on every thread and one after the other, as
  // runFlow forms them (so that no two hold their scratch at once).
  presmooth(frame.smoothed, parameters.sigma);
  computeHOG(frame.smoothed, frame.hog, pool, threads);
  if (confidence)
    computeConfidence(frame.smoothed, frame.smoothed, frame.confidence, pool, threads);
  frame.hasConfidence = confidence;
}

void flowOfPrepared(const PreparedFrame& first, const PreparedFrame& second, CTensor<float>& flow,
                    const FlowParameters& parameters, flowthreads::Pool* pool, int threads,
                    const CancelHook& cancel, DriverTimes* times) {
  const CTensor<float>& image1 = first.smoothed;
  const CTensor<float>& image2 = second.smoothed;
  const int xSize = image1.xSize(), ySize = image1.ySize();
  if (image2.xSize() != xSize || image2.ySize() != ySize || image2.zSize() != image1.zSize()) {
    throw std::invalid_argument("runFlow: the two frames must have the same size");
  }
  if (!first.hasConfidence) {
    throw std::invalid_argument("flowOfPrepared: the first frame has no confidence map");
  }
  threads = std::max(1, threads);
  const WorkingMemory arena;
  std::function<void()> checkpoint;
  if (cancel) {
    checkpoint = [&cancel] {
      if (cancel()) throw Interrupted();
    };
  }
  if (checkpoint) checkpoint();
  CTensor<float> matchU(xSize, ySize, 1, 0.0f), matchV(xSize, ySize, 1, 0.0f),
      matchConfidence(xSize, ySize, 1, 0.0f);
  {
    flowsolver::StageClock matchingClock(times != nullptr ? &times->matching : nullptr);
    flowmatch::match({image1, image2, first.hog, second.hog, first.confidence}, matchU, matchV,
                     matchConfidence, pool, threads, checkpoint);
  }
  flowsolver::StageClock solverClock(times != nullptr ? &times->solver : nullptr);
  // runFlow's solver options.
  flowsolver::LevelOptions options = flowsolver::defaultLevelOptions();
  options.threads = threads;
  options.pool = pool;
  options.minPixelsPerThread = 1 << 12;
  options.checkpoint = checkpoint;
  if (times != nullptr) options.times = &times->solverStages;
  solve(image1, image2, flow, matchU, matchV, matchConfidence, parameters.alpha, parameters.beta,
        parameters.gamma, options);
}

VideoFlows::VideoFlows(const FlowParameters& parameters, int threads)
    : parameters_(parameters),
      threads_(std::max(1, threads)),
      pool_(new flowthreads::Pool(threads_)) {}

void VideoFlows::add(long long index, CTensor<float>&& image, long long keep) {
  if (has(index)) return;
  for (auto f = frames_.begin(); f != frames_.end();) {
    f = f->first == keep ? std::next(f) : frames_.erase(f);
  }
  // Prepared in its place (the containers copy, they do not move).
  try {
    prepareFrame(std::move(image), parameters_, false, pool_.get(), threads_, frames_[index]);
  } catch (...) {
    frames_.erase(index);
    throw;
  }
}

void VideoFlows::flow(long long from, long long to, CTensor<float>& result,
                      const CancelHook& cancel) {
  PreparedFrame& first = frames_.at(from);
  const PreparedFrame& second = frames_.at(to);
  if (!first.hasConfidence) {
    computeConfidence(first.smoothed, first.smoothed, first.confidence, pool_.get(), threads_);
    first.hasConfidence = true;
  }
  flowOfPrepared(first, second, result, parameters_, pool_.get(), threads_, cancel);
}

ValueRange VideoFlows::range(long long a, long long b) const {
  ValueRange r = frames_.at(a).range;
  const ValueRange& s = frames_.at(b).range;
  r.lo = std::min(r.lo, s.lo);
  r.hi = std::max(r.hi, s.hi);
  r.notFinite = r.notFinite || s.notFinite;
  return r;
}

}  // namespace flowdriver

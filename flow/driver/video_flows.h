// The flows of a sequence of frames with each frame's own work done once: a frame takes part
// in the pair it ends and the pair it starts (and in both directions of a pair), and its
// presmoothed version, orientation descriptors and confidence map depend on that frame
// alone, so they are computed when the frame first comes and kept while a pair needs them.
// Every flow has runFlow's bits for the same two frames.
#ifndef MOTIONSEG_FLOW_DRIVER_VIDEO_FLOWS_H
#define MOTIONSEG_FLOW_DRIVER_VIDEO_FLOWS_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/driver/flow_call.h"
#include "flow/driver/flow_memory.h"
#include "flow/driver/flow_parameters.h"
#include "flow/driver/run_flow.h"
#include "flow/parallel/thread_pool.h"

#include <cstdint>
#include <map>
#include <memory>

namespace flowdriver {

/// What a frame brings to every flow it takes part in: its presmoothed version, its
/// orientation histograms, its confidence map (formed the first time the frame is the first
/// of a pair) and the range of its values as given (for the unit-range warning).
struct PreparedFrame {
  CTensor<float> smoothed;
  CTensor<float> hog;
  CMatrix<float> confidence;
  bool hasConfidence = false;
  ValueRange range;
};

/// Presmooths `image` (≥ 3 channels, consumed) with the parameters' sigma and forms its
/// descriptors into `frame`, on `threads` threads of `pool` (may be null); with `confidence`
/// its confidence map too. Throws std::invalid_argument for fewer than 3 channels or a sigma
/// runFlow refuses.
void prepareFrame(CTensor<float>&& image, const FlowParameters& parameters, bool confidence,
                  flowthreads::Pool* pool, int threads, PreparedFrame& frame);

/// The flow from `first` to `second` (one size; the first with its confidence map): runFlow's
/// matching and solver on the prepared frames, runFlow's bits. Throws std::invalid_argument
/// for frames of different sizes or a first frame without confidence map, Interrupted when
/// `cancel` returns true.
void flowOfPrepared(const PreparedFrame& first, const PreparedFrame& second, CTensor<float>& flow,
                    const FlowParameters& parameters, flowthreads::Pool* pool, int threads,
                    const CancelHook& cancel = {}, DriverTimes* times = nullptr);

/// Bytes one prepared frame of xSize × ySize × channels takes: the smoothed frame, 15
/// histogram channels and the confidence map.
inline membudget::Bytes preparedFrameBytes(std::uint64_t xSize, std::uint64_t ySize,
                                           std::uint64_t channels) {
  return membudget::Bytes::product({sizeof(float), xSize, ySize, channels + 16});
}

/// Peak bytes a VideoFlows takes for frames of xSize × ySize × channels, the flow included
/// and the frames as given excluded: one flow's working memory and the prepared frames it
/// holds (at most VideoFlows::kHeldFrames, and one being prepared).
inline membudget::Bytes videoWorkingBytes(std::uint64_t xSize, std::uint64_t ySize,
                                          std::uint64_t channels) {
  return flowWorkingBytes(xSize, ySize, channels) + preparedFrameBytes(xSize, ySize, channels) * 3;
}

/// The flows between frames of one sequence, each frame prepared once. Frames are named by
/// their index in the sequence; the object keeps one pool of threads and the working memory
/// of its flows from one to the next (WorkingMemory).
class VideoFlows {
 public:
  /// Prepared frames held at most between two flows: those of the last pair.
  static constexpr int kHeldFrames = 2;

  /// Flows with these parameters on `threads` threads (1 or less: the calling thread alone).
  VideoFlows(const FlowParameters& parameters, int threads);

  /// Whether frame `index` is prepared.
  bool has(long long index) const { return frames_.count(index) != 0; }

  /// Prepares frame `index` from `image` (consumed), unless it is prepared already; frames
  /// other than `keep` are dropped first, so that no more than kHeldFrames stay. Throws as
  /// prepareFrame does.
  void add(long long index, CTensor<float>&& image, long long keep);

  /// The flow from frame `from` to frame `to` (both prepared), runFlow's bits for the two
  /// frames as given. Throws as flowOfPrepared does.
  void flow(long long from, long long to, CTensor<float>& result, const CancelHook& cancel = {});

  /// The value range of the frames `a` and `b` as given (both prepared).
  ValueRange range(long long a, long long b) const;

  /// Drops every prepared frame.
  void clear() { frames_.clear(); }

 private:
  FlowParameters parameters_;
  int threads_;
  std::unique_ptr<flowthreads::Pool> pool_;
  WorkingMemory memory_;
  std::map<long long, PreparedFrame> frames_;
};

}  // namespace flowdriver

#endif  // MOTIONSEG_FLOW_DRIVER_VIDEO_FLOWS_H

// An upper bound of the memory one flow computation takes, from the frame size alone, so that
// callers can refuse a frame size before any of it is allocated.
#ifndef MOTIONSEG_FLOW_DRIVER_FLOW_MEMORY_H
#define MOTIONSEG_FLOW_DRIVER_FLOW_MEMORY_H

#include "common/memory_budget.h"

#include <cstdint>
#include <string>

namespace flowdriver {

/// Peak bytes runFlow allocates for two xSize × ySize × channels frames, the returned flow
/// field included and the caller's two input tensors excluded. Measured peaks are about
/// 230 bytes per pixel for three channels on frames of 640 x 480 and more (levels reuse their
/// buffers), and some 12 more per pixel for every further channel; the SSE2 path keeps a
/// little less scratch than the AVX2 one (up to about 35 bytes per pixel on small frames).
/// The working arena (WorkingMemory) adds what its chunks hold free between arrays of other
/// sizes: some 10% on large frames, up to about 6 bytes per pixel above the rest of the bound
/// on frames of some 200 x 150. More per pixel on small frames; the bound adds a margin, a few
/// kilobytes per row and column and a fixed allowance (tested against the real peak of both paths
/// over shapes and thread counts).
inline membudget::Bytes flowWorkingBytes(std::uint64_t xSize, std::uint64_t ySize,
                                         std::uint64_t channels) {
  using membudget::Bytes;
  const Bytes perPixel = Bytes(212) + Bytes::product({16, channels});
  return perPixel * xSize * ySize + Bytes::product({4096, xSize}) + Bytes::product({4096, ySize}) +
         Bytes(1 << 20);
}

/// Bytes of the two single-precision frames a caller hands to runFlow.
inline membudget::Bytes flowInputBytes(std::uint64_t xSize, std::uint64_t ySize,
                                       std::uint64_t channels) {
  return membudget::Bytes::product({2, sizeof(float), xSize, ySize, channels});
}

/// What one denseMotion call takes for two rows-by-cols-by-channels frames: the
/// rows-by-cols-by-2 double flow it returns, and as working memory the two single-precision
/// frames handed to runFlow, everything runFlow allocates and the single-precision flow.
inline membudget::Estimate denseMotionBytes(std::uint64_t rows, std::uint64_t cols,
                                            std::uint64_t channels) {
  membudget::Estimate need;
  need.outputs = membudget::Bytes::product({rows, cols, 2, sizeof(double)});
  need.working = flowInputBytes(cols, rows, channels) + flowWorkingBytes(cols, rows, channels);
  need.what = "the flow of two " + std::to_string(rows) + "-by-" + std::to_string(cols) + "-by-" +
              std::to_string(channels) + " frames";
  return need;
}

}  // namespace flowdriver

#endif  // MOTIONSEG_FLOW_DRIVER_FLOW_MEMORY_H

// The flow's memory bound against the peak the computation really allocates, counted by the
// replaced global allocation functions of counting_new.cpp.
#include "flow/driver/flow_memory.h"
#include "flow/driver/run_flow.h"
#include "flow/driver/video_flows.h"
#include "flow/parallel/instruction_set.h"
#include "tests/flow/instruction_sets.h"
#include "tests/common/counting_new.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>

namespace {

/// Two textured frames, the second shifted, so that matching and solver do real work.
void frames(int w, int h, int c, CTensor<float>& a, CTensor<float>& b) {
  a.setSize(w, h, c);
  b.setSize(w, h, c);
  for (int z = 0; z < c; ++z) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        a(x, y, z) = 128 + 60 * std::sin(0.3f * x + z) + 50 * std::cos(0.21f * y);
        b(x, y, z) = 128 + 60 * std::sin(0.3f * (x - 2) + z) + 50 * std::cos(0.21f * (y - 1));
      }
    }
  }
}

// On every instruction-set path this processor has: the paths' scratch differs (the AVX2
// sweeps keep more), and the bound must cover the largest while staying close to the smallest,
// which is all a processor without AVX2 runs.
TEST(FlowMemory, BoundCoversThePeakOfEveryShape) {
  const struct {
    int w, h, c, threads;
  } shapes[] = {{1, 1, 3, 1},     {2, 2, 3, 1},     {64, 48, 3, 1},   {64, 48, 3, 2},
                {2000, 2, 3, 2},  {3, 700, 3, 2},   {400, 5, 4, 2},   {200, 150, 3, 1},
                {200, 150, 6, 2}, {100, 90, 20, 2}, {160, 120, 3, 4}, {320, 240, 12, 2}};
  for (flowsimd::InstructionSet set : flowtest::runnableInstructionSets()) {
    ASSERT_TRUE(flowsimd::force(set));
    SCOPED_TRACE(flowsimd::name(set));
    for (const auto& s : shapes) {
      CTensor<float> a, b, flow;
      frames(s.w, s.h, s.c, a, b);
      countingnew::resetPeak();
      runFlow(a, b, flow, 0.8f, 30.0f, 300.0f, 5.0f, s.threads);
      const std::uint64_t used = countingnew::peakSinceReset();
      const std::uint64_t bound = flowdriver::flowWorkingBytes(s.w, s.h, s.c).value();
      EXPECT_GE(bound, used) << s.w << "x" << s.h << "x" << s.c << " on " << s.threads
                             << " threads: peak " << used << " bytes";
      // A bound far above the real need would refuse frames the machine can take.
      if (static_cast<long long>(s.w) * s.h >= 30000) {
        EXPECT_LE(bound, used + used / 2) << s.w << "x" << s.h << "x" << s.c << " on " << s.threads
                                          << " threads: peak " << used << " bytes";
      }
    }
  }
  flowsimd::unforce();
}

// The flows of a video with each frame prepared once keep the prepared frames of the last
// pair beside one flow's working memory: the video bound covers the peak over a run of
// pairs in both directions.
TEST(FlowMemory, VideoBoundCoversThePeakOfARun) {
  const struct {
    int w, h, threads;
  } shapes[] = {{1, 1, 1}, {64, 48, 2}, {200, 150, 1}, {160, 120, 2}, {3, 700, 2}};
  for (const auto& s : shapes) {
    CTensor<float> a, b;
    frames(s.w, s.h, 3, a, b);
    countingnew::resetPeak();
    {
      flowdriver::VideoFlows video(flowdriver::FlowParameters(), s.threads);
      for (int k = 0; k < 3; ++k) {
        CTensor<float> f(k % 2 == 0 ? a : b), g(k % 2 == 0 ? b : a), flow;
        video.add(k, std::move(f), k + 1);
        video.add(k + 1, std::move(g), k);
        video.flow(k, k + 1, flow);
        video.flow(k + 1, k, flow);
      }
    }
    const std::uint64_t used = countingnew::peakSinceReset();
    const std::uint64_t bound = flowdriver::videoWorkingBytes(s.w, s.h, 3).value();
    EXPECT_GE(bound, used) << s.w << "x" << s.h << " on " << s.threads << " threads: peak " << used
                           << " bytes";
  }
}

TEST(FlowMemory, BoundSaturatesForImpossibleSizes) {
  EXPECT_TRUE(flowdriver::flowWorkingBytes(1ull << 40, 1ull << 40, 3).saturated());
  EXPECT_FALSE(flowdriver::flowWorkingBytes(8000, 8000, 3).saturated());
  // Above the some 230 bytes per pixel measured for three channels on large frames.
  EXPECT_GT(flowdriver::flowWorkingBytes(8000, 8000, 3).value(), 230ull * 8000 * 8000);
}

}  // namespace

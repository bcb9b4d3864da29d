// The flows of a frame sequence with each frame prepared once, against runFlow on each pair
// as given, bit for bit: forward and backward, sizes from one pixel to a few hundred, thread
// counts, frames without texture (no matches) and frames holding NaN and infinities; and a
// kept working memory, which serves the next call without changing a bit.
#include "flow/driver/run_flow.h"
#include "flow/driver/video_flows.h"
#include "../matching/matching_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

using matchingtest::image;

// Frame k of a sequence: a texture moving by (2, 1) pixels per frame, optionally flat (no
// grid point passes the confidence test) or with NaN and infinite pixels.
CTensor<float> frame(int w, int h, int k, const matchingtest::Texture& texture, bool flat,
                     bool notFinite) {
  CTensor<float> f = image(w, h, 3, [&](int x, int y, int z) {
    return flat ? 90.0f + z : texture(x - 2 * k, y - k, z);
  });
  if (notFinite && w * h > 4) {
    f(w / 2, h / 2, 1) = std::numeric_limits<float>::quiet_NaN();
    f(0, h - 1, 0) = std::numeric_limits<float>::infinity();
    f(w - 1, 0, 2) = -std::numeric_limits<float>::infinity();
  }
  return f;
}

CTensor<float> pairFlow(const CTensor<float>& a, const CTensor<float>& b, int threads) {
  CTensor<float> first(a), second(b), flow;
  runFlow(first, second, flow, 0.8f, 30.0f, 300.0f, 5.0f, threads);
  return flow;
}

TEST(VideoFlows, EveryPairInBothDirectionsHasRunFlowsBits) {
  const matchingtest::Texture texture(17, 1.5);
  const struct {
    int w, h, threads;
    bool flat, notFinite;
  } cases[] = {{1, 1, 1, false, false},    {3, 2, 2, false, false},    {23, 17, 1, false, false},
               {64, 48, 2, false, false},  {64, 48, 5, false, true},   {40, 30, 3, true, false},
               {181, 97, 2, false, false}, {300, 12, 8, false, false}, {9, 220, 1, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.w << "x" << c.h << " on " << c.threads << " threads"
                 << (c.flat ? ", flat" : "") << (c.notFinite ? ", not finite" : ""));
    std::vector<CTensor<float>> frames;
    for (int k = 0; k < 4; ++k)
      frames.push_back(frame(c.w, c.h, k, texture, c.flat, c.notFinite && k == 1));
    flowdriver::VideoFlows video(flowdriver::FlowParameters(), c.threads);
    for (int k = 0; k + 1 < 4; ++k) {
      for (int j : {k, k + 1}) {
        CTensor<float> copy(frames[j]);
        video.add(j, std::move(copy), k);
      }
      EXPECT_TRUE(video.has(k));
      EXPECT_TRUE(video.has(k + 1));
      EXPECT_FALSE(video.has(k - 1)) << "only the frames of the last pair stay";
      CTensor<float> forward, backward;
      video.flow(k, k + 1, forward);
      video.flow(k + 1, k, backward);
      EXPECT_TRUE(matchingtest::identical(forward, pairFlow(frames[k], frames[k + 1], c.threads)))
          << "pair " << k;
      EXPECT_TRUE(matchingtest::identical(backward, pairFlow(frames[k + 1], frames[k], c.threads)))
          << "pair " << k << " backward";
    }
  }
}

TEST(VideoFlows, RangeIsThatOfBothFramesAsGiven) {
  flowdriver::VideoFlows video(flowdriver::FlowParameters(), 1);
  CTensor<float> a(5, 4, 3, 0.25f), b(5, 4, 3, 0.5f);
  a(1, 1, 0) = 0.0f;
  b(2, 3, 2) = std::numeric_limits<float>::quiet_NaN();
  video.add(0, std::move(a), 0);
  video.add(1, std::move(b), 0);
  const flowdriver::ValueRange r = video.range(0, 1);
  EXPECT_EQ(r.lo, 0.0f);
  EXPECT_EQ(r.hi, 0.5f);
  EXPECT_TRUE(r.notFinite);
  EXPECT_FALSE(video.range(0, 0).notFinite);
}

TEST(VideoFlows, RefusesWhatRunFlowRefuses) {
  flowdriver::VideoFlows video(flowdriver::FlowParameters(), 1);
  EXPECT_THROW(video.add(0, CTensor<float>(4, 4, 2, 1.0f), 0), std::invalid_argument);
  EXPECT_FALSE(video.has(0)) << "a refused frame is not kept";
  video.add(0, CTensor<float>(4, 4, 3, 1.0f), 0);
  video.add(1, CTensor<float>(5, 4, 3, 1.0f), 0);
  CTensor<float> flow;
  EXPECT_THROW(video.flow(0, 1, flow), std::invalid_argument);
  flowdriver::FlowParameters zeroSigma;
  zeroSigma.sigma = 0.0f;
  flowdriver::VideoFlows unsmoothed(zeroSigma, 1);
  EXPECT_THROW(unsmoothed.add(0, CTensor<float>(4, 4, 3, 1.0f), 0), std::invalid_argument);
}

TEST(VideoFlows, CancelHookStopsAFlow) {
  const matchingtest::Texture texture(5, 1.5);
  flowdriver::VideoFlows video(flowdriver::FlowParameters(), 2);
  video.add(0, frame(64, 48, 0, texture, false, false), 0);
  video.add(1, frame(64, 48, 1, texture, false, false), 0);
  CTensor<float> flow;
  int asked = 0;
  EXPECT_THROW(video.flow(0, 1, flow, [&] { return ++asked > 3; }), flowdriver::Interrupted);
  EXPECT_GT(asked, 3);
}

#if !defined(__SANITIZE_ADDRESS__)
// A kept working memory: the second call of one size takes no new memory from the system,
// and neither call changes a bit.
TEST(WorkingMemory, KeptAcrossCallsServesTheNextOneWithTheSameBits) {
  const matchingtest::Texture texture(3, 1.5);
  const CTensor<float> a = frame(160, 120, 0, texture, false, false);
  const CTensor<float> b = frame(160, 120, 1, texture, false, false);
  const CTensor<float> expected = pairFlow(a, b, 2);
  const flowdriver::WorkingMemory kept;
  std::size_t reserved = 0;
  for (int call = 0; call < 3; ++call) {
    const CTensor<float> flow = pairFlow(a, b, 2);
    EXPECT_TRUE(matchingtest::identical(flow, expected)) << "call " << call;
    if (call == 1) reserved = flowdetail::workingArena().reservedBytes();
    if (call == 2) {
      EXPECT_EQ(flowdetail::workingArena().reservedBytes(), reserved);
    }
  }
  EXPECT_GT(reserved, 0u);
}
#endif

}  // namespace

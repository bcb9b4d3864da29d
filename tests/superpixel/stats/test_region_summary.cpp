// regionSummary through the standalone host: the documented checks and their text, the added
// refusals of input that would leave the arrays, and the statistics against a double-precision
// oracle.
#include "gateway/standalone/host.h"
#include "superpixel/stats/region_summary.h"
#include "tests/common/counting_new.h"
#include "tests/plugin_calls.h"
#include "tests/superpixel/superpixel_test_support.h"
#include "superpixel/stats/frame_labels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <cstdint>
#include <random>
#include <string>

namespace {

using host::Array;

const std::string kUsagePrefix = "regionsSummary USAGE:\n\tExpected inputs:\n\t\t1 - Frames: ";

bool isUsage(const host::CallResult& r) {
  return r.failed && r.error.rfind(kUsagePrefix, 0) == 0 && r.error.size() > 700 &&
         r.error.back() == '\n';
}

// A frame of H-by-W pixels whose red, green and blue values are given per pixel (column-major).
Array frame(mwSize h, mwSize w, const std::vector<std::uint8_t>& rgb) {
  return host::make<std::uint8_t>({h, w, 3}, rgb);
}

const auto labelMap = superpixeltest::labelMap<std::uint32_t>;
using superpixeltest::cells;

TEST(RegionSummary, SinglePixelVideo) {
  // 2-by-2 frame: label 1 is the top-left pixel alone, label 2 the rest; label 3 is unused.
  const Array frames = cells(frame(2, 2, {255, 10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90}));
  const Array labels = cells(labelMap(2, 2, {1, 2, 2, 2}));
  const Array n = host::scalar(3.9);  // truncated to 3
  const host::CallResult r = host::call(3, {frames.get(), labels.get(), n.get()});
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
  EXPECT_TRUE(r.inputsUnchanged);

  const auto colour = r.outputs[0].get();
  const auto centre = r.outputs[1].get();
  const auto size = r.outputs[2].get();
  EXPECT_EQ(host::dims(colour), (std::vector<mwSize>{3, 3}));
  EXPECT_EQ(host::dims(centre), (std::vector<mwSize>{3, 2}));
  EXPECT_EQ(host::dims(size), (std::vector<mwSize>{3, 1}));
  // Column-major N-by-3: red of labels 1..3, then green, then blue. No rescaling of 255.
  EXPECT_EQ(host::values<float>(colour), (std::vector<float>{255, 20, 0, 255, 50, 0, 255, 80, 0}));
  // 0-based centres: label 1 at (0, 0); label 2 at rows {1, 0, 1}, columns {0, 1, 1}.
  EXPECT_EQ(host::values<float>(centre), (std::vector<float>{0, 2.0f / 3, 0, 0, 2.0f / 3, 0}));
  EXPECT_EQ(host::values<std::uint32_t>(size), (std::vector<std::uint32_t>{1, 3, 0}));
}

TEST(RegionSummary, LabelInSeveralFramesIsOneRowOverAllItsPixels) {
  // Frame 1 (1-by-2): label 1 at column 0 with red 10; frame 2: label 1 at column 1, red 40.
  const Array frames = cells(frame(1, 2, {10, 0, 0, 0, 0, 0}), frame(1, 2, {0, 40, 0, 0, 0, 0}));
  const Array labels = cells(labelMap(1, 2, {1, 2}), labelMap(1, 2, {2, 1}));
  const Array n = host::scalar(2);
  const host::CallResult r = host::call(3, {frames.get(), labels.get(), n.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<float>(r.outputs[0].get())[0], 25.0f);
  EXPECT_EQ(host::values<float>(r.outputs[1].get()), (std::vector<float>{0, 0, 0.5f, 0.5f}));
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[2].get()), (std::vector<std::uint32_t>{2, 2}));
}

TEST(RegionSummary, MatchesDoublePrecisionOracleOnRandomVideo) {
  std::mt19937 rng(7);
  const mwSize h = 23, w = 31, frameCount = 4;
  const std::uint32_t n = 40;
  std::vector<Array> frameCells, labelCells;
  std::vector<double> sum(n * 5, 0.0), count(n, 0.0);
  for (mwSize f = 0; f < frameCount; ++f) {
    std::vector<std::uint8_t> rgb(h * w * 3);
    std::vector<std::uint32_t> labels(h * w);
    for (auto& v : rgb)
      v = static_cast<std::uint8_t>(rng() % 256);
    for (auto& l : labels)
      l = 1 + rng() % (n - 5);  // labels n-4..n stay unused
    for (mwSize x = 0; x < w; ++x) {
      for (mwSize y = 0; y < h; ++y) {
        const mwSize p = y + x * h, k = labels[p] - 1;
        sum[k] += y;
        sum[k + n] += x;
        for (int c = 0; c < 3; ++c)
          sum[k + (2 + c) * n] += rgb[p + c * h * w];
        count[k] += 1;
      }
    }
    frameCells.push_back(frame(h, w, rgb));
    labelCells.push_back(labelMap(h, w, labels));
  }
  const Array frames = host::cell(std::move(frameCells));
  const Array labels = host::cell(std::move(labelCells));
  const Array nArg = host::scalar(n);
  const host::CallResult r = host::call(3, {frames.get(), labels.get(), nArg.get()});
  ASSERT_FALSE(r.failed) << r.error;
  const auto colour = host::values<float>(r.outputs[0].get());
  const auto centre = host::values<float>(r.outputs[1].get());
  const auto size = host::values<std::uint32_t>(r.outputs[2].get());
  for (std::uint32_t k = 0; k < n; ++k) {
    EXPECT_EQ(size[k], count[k]);
    const double c = count[k] == 0 ? 1 : count[k];
    EXPECT_NEAR(centre[k], sum[k] / c, 1e-4);
    EXPECT_NEAR(centre[k + n], sum[k + n] / c, 1e-4);
    for (int ch = 0; ch < 3; ++ch)
      EXPECT_NEAR(colour[k + ch * n], sum[k + (2 + ch) * n] / c, 1e-3);
  }
}

// Where single-precision sums would stall (a colour sum passes 2^32 after 16.8 million pixels
// of 255), the exact sums still give the mean.
TEST(RegionSummary, MeansOfALabelOverManyPixelsAreExact) {
  const mwSize h = 1000, w = 1000;
  const std::vector<std::uint8_t> rgb(h * w * 3, 255);
  std::vector<Array> frameCells, labelCells;
  for (int f = 0; f < 20; ++f) {
    frameCells.push_back(frame(h, w, rgb));
    labelCells.push_back(labelMap(h, w, std::vector<std::uint32_t>(h * w, 1)));
  }
  const host::CallResult r = plugintest::callWith(
      3, host::cell(std::move(frameCells)), host::cell(std::move(labelCells)), host::scalar(1));
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<float>(r.outputs[0].get()), (std::vector<float>{255, 255, 255}));
  EXPECT_EQ(host::values<float>(r.outputs[1].get()), (std::vector<float>{499.5f, 499.5f}));
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[2].get())[0], 20000000u);
}

// The estimate's outputs are exactly the arrays returned, and with the working memory it
// covers the peak of what the call allocates.
TEST(RegionSummary, MemoryEstimateCoversTheCall) {
  const struct {
    std::uint32_t n;
    std::size_t frames;
  } shapes[] = {{1, 1}, {4000, 3}, {300000, 2}};
  for (const auto& s : shapes) {
    std::vector<Array> frameCells, labelCells;
    for (std::size_t f = 0; f < s.frames; ++f) {
      std::vector<std::uint32_t> labels(7 * 9);
      for (std::size_t p = 0; p < labels.size(); ++p)
        labels[p] = 1 + static_cast<std::uint32_t>((p * 31 + f) % s.n);
      frameCells.push_back(frame(7, 9, std::vector<std::uint8_t>(7 * 9 * 3, 9)));
      labelCells.push_back(labelMap(7, 9, labels));
    }
    const Array frames = host::cell(std::move(frameCells));
    const Array labels = host::cell(std::move(labelCells));
    const Array n = host::scalar(s.n);
    countingnew::resetPeak();
    const host::CallResult r = host::call(3, {frames.get(), labels.get(), n.get()});
    const std::uint64_t working = countingnew::peakSinceReset();
    ASSERT_FALSE(r.failed) << r.error;
    const membudget::Estimate need = superpixel::regionSummaryBytes(s.n, s.frames);
    EXPECT_EQ(need.outputs.value(), plugintest::outputBytes(r)) << s.n;
    EXPECT_GE(membudget::peakBytes(need, 0).value(), working + plugintest::outputBytes(r)) << s.n;
  }
}

TEST(RegionSummary, NoOutputsRequestedGivesTheColourTableOnly) {
  const Array frames = cells(frame(1, 1, {9, 8, 7}));
  const Array labels = cells(labelMap(1, 1, {1}));
  const Array n = host::scalar(1);
  const host::CallResult r = host::call(0, {frames.get(), labels.get(), n.get()});
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_EQ(r.outputs.size(), 1u);
  EXPECT_EQ(host::values<float>(r.outputs[0].get()), (std::vector<float>{9, 8, 7}));
}

TEST(RegionSummary, TransposedLabelMapOfTheRightCountIsReadColumnMajor) {
  const Array frames = cells(frame(2, 3, std::vector<std::uint8_t>(18, 1)));
  const Array labels = cells(labelMap(3, 2, {1, 1, 1, 2, 2, 2}));
  const Array n = host::scalar(2);
  const host::CallResult r = host::call(3, {frames.get(), labels.get(), n.get()});
  ASSERT_FALSE(r.failed) << r.error;
  // Read as 2-by-3: label 1 at p = 0, 1, 2 -> (0,0), (1,0), (0,1).
  EXPECT_EQ(host::values<float>(r.outputs[1].get())[0], 1.0f / 3);
  EXPECT_EQ(host::values<float>(r.outputs[1].get())[2], 1.0f / 3);
}

// Every fault of the documented checks gives the usage text, before the added checks run.
using UsageCase = plugintest::CallCase;

class RegionSummaryUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(RegionSummaryUsage, ReportsTheUsageText) {
  const host::CallResult r = GetParam().call();
  EXPECT_TRUE(isUsage(r)) << GetParam().what << ": " << r.error;
}

host::CallResult callWith(Array frames, Array labels, Array n, int nlhs = 3) {
  return host::call(nlhs, {frames.get(), labels.get(), n.get()});
}

Array goodFrames() {
  return cells(frame(2, 2, std::vector<std::uint8_t>(12, 1)));
}
Array goodLabels() {
  return cells(labelMap(2, 2, {1, 1, 2, 2}));
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RegionSummaryUsage,
    ::testing::Values(
        UsageCase{"two inputs",
                  [] {
                    const Array f = goodFrames(), l = goodLabels();
                    return host::call(3, {f.get(), l.get()});
                  }},
        UsageCase{"frames not a cell",
                  [] { return callWith(frame(2, 2, {}), goodLabels(), host::scalar(2)); }},
        UsageCase{"cells of different lengths",
                  [] {
                    return callWith(cells(frame(2, 2, {}), frame(2, 2, {})), goodLabels(),
                                    host::scalar(2));
                  }},
        UsageCase{"no frames",
                  [] { return callWith(host::cell({}), host::cell({}), host::scalar(2)); }},
        UsageCase{
            "label count differs from H*W",
            [] { return callWith(goodFrames(), cells(labelMap(2, 3, {})), host::scalar(2)); }},
        UsageCase{"uint16 label map",
                  [] {
                    return callWith(goodFrames(), cells(host::make<std::uint16_t>({2, 2}, {1})),
                                    host::scalar(2));
                  }},
        UsageCase{"double frame",
                  [] {
                    return callWith(cells(host::make<double>({2, 2, 3}, {})), goodLabels(),
                                    host::scalar(2));
                  }},
        UsageCase{"empty frame of another class",
                  [] {
                    return callWith(cells(host::make(mxDOUBLE_CLASS, {0, 0})),
                                    cells(labelMap(0, 0, {})), host::scalar(2));
                  }},
        UsageCase{
            "uint32 superpixel count",
            [] {
              return callWith(goodFrames(), goodLabels(), host::make<std::uint32_t>({1, 1}, {2}));
            }},
        UsageCase{"one output",
                  [] { return callWith(goodFrames(), goodLabels(), host::scalar(2), 1); }},
        UsageCase{"two outputs",
                  [] { return callWith(goodFrames(), goodLabels(), host::scalar(2), 2); }},
        UsageCase{"bad label and one output: the documented check comes first", [] {
                    return callWith(goodFrames(), cells(labelMap(2, 2, {0, 1, 1, 1})),
                                    host::scalar(2), 1);
                  }}));

// Input the documented checks let through but that would read or write outside an array.
using RefusalCase = plugintest::CallCase;

class RegionSummaryRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RegionSummaryRefusal, RefusesWithItsOwnText) {
  plugintest::expectFailure(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RegionSummaryRefusal,
    ::testing::Values(
        RefusalCase{
            "label 0",
            [] {
              return callWith(goodFrames(), cells(labelMap(2, 2, {1, 1, 0, 2})), host::scalar(2));
            },
            "Label 0 at element 3 of the label map of frame 1 is outside 1..2."},
        RefusalCase{"label above N in the second frame",
                    [] {
                      return callWith(
                          cells(frame(2, 2, {}), frame(2, 2, {})),
                          cells(labelMap(2, 2, {1, 1, 1, 1}), labelMap(2, 2, {2, 3, 1, 1})),
                          host::scalar(2));
                    },
                    "Label 3 at element 2 of the label map of frame 2 is outside 1..2."},
        RefusalCase{"N of 0 with labels",
                    [] { return callWith(goodFrames(), goodLabels(), host::scalar(0.5)); },
                    "Label 1 at element 1 of the label map of frame 1 is outside 1..0."},
        RefusalCase{"every pair has an empty cell",
                    [] {
                      return callWith(cells(frame(2, 2, {}), frame(0, 0, {})),
                                      cells(labelMap(0, 0, {}), labelMap(2, 2, {})),
                                      host::scalar(2));
                    },
                    "No frame pair holds both a frame and a label map."},
        RefusalCase{"frames of different sizes",
                    [] {
                      return callWith(
                          cells(frame(1, 4, {}), frame(2, 2, {})),
                          cells(labelMap(1, 4, {1, 1, 1, 1}), labelMap(2, 2, {1, 1, 1, 1})),
                          host::scalar(2));
                    },
                    "Frame 1 is 1-by-4-by-3 but frame 2 is 2-by-2-by-3; all frames must have "
                    "one size."},
        RefusalCase{
            "empty superpixel count",
            [] {
              return callWith(goodFrames(), goodLabels(), host::make(mxDOUBLE_CLASS, {0, 0}));
            },
            "Number of superpixels must not be empty."},
        RefusalCase{"negative superpixel count",
                    [] { return callWith(goodFrames(), goodLabels(), host::scalar(-3)); },
                    "Number of superpixels must be between 0 and 2147483647."},
        RefusalCase{"superpixel count not a number",
                    [] { return callWith(goodFrames(), goodLabels(), host::scalar(NAN)); },
                    "Number of superpixels must be between 0 and 2147483647."}));

TEST(RegionSummary, PairWithOneEmptyCellIsSkipped) {
  const Array frames = cells(frame(1, 1, {10, 20, 30}), frame(0, 0, {}));
  const Array labels = cells(labelMap(1, 1, {1}), labelMap(1, 1, {1}));
  const Array n = host::scalar(1);
  const host::CallResult r = host::call(3, {frames.get(), labels.get(), n.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<std::uint32_t>(r.outputs[2].get()), std::vector<std::uint32_t>{1});
}

TEST(FindLabelOutside, FindsTheFirstLabelOutsideTheRange) {
  const std::vector<std::uint32_t> labels{1, 5, 0, 6, 0xFFFFFFFFu};
  EXPECT_EQ(superpixel::findLabelOutside(labels.data(), 2, 5), -1);
  EXPECT_EQ(superpixel::findLabelOutside(labels.data(), 5, 5), 2);
  EXPECT_EQ(superpixel::findLabelOutside(labels.data() + 3, 2, 5), 0);
  EXPECT_EQ(superpixel::findLabelOutside(labels.data() + 4, 1, 0xFFFFFFFFu), -1);
}

// A sparse count is refused like every sparse argument, not read through the host.
TEST(RegionSummarySparse, EveryArgumentRefusedWhenSparse) {
  std::vector<host::Array> frames, maps;
  frames.push_back(host::make<std::uint8_t>({4, 6, 3}, std::vector<std::uint8_t>(72, 9)));
  maps.push_back(host::make<std::uint32_t>({4, 6}, std::vector<std::uint32_t>(24, 2)));
  const host::Array frameCells = host::cell(std::move(frames));
  const host::Array mapCells = host::cell(std::move(maps));
  const host::Array count = host::scalar(4);
  EXPECT_EQ(plugintest::expectSparseRefused("regionSummary", 3,
                                            {frameCells.get(), mapCells.get(), count.get()}),
            1);
}

}  // namespace

// The superpixel functions of the Python module: graphs over the superpixels of a video and
// per-superpixel statistics, each a thin front end over the core of the plug-in of the same
// name, with its checks and texts. Arrays keep the plug-ins' meaning of rows and columns:
// label maps are indexed [row, column], flows [row, column, plane] with plane 0 added to the
// row. The cores read column-major data: column-major (Fortran-ordered) arrays are read in
// place, others are copied into that order once.
#include "python/module_parts.h"
#include "python/numpy_arguments.h"

#include "common/memory_budget.h"
#include "common/size_checks.h"
#include "common/text_format.h"
#include "superpixel/graphs/frame_neighbours.h"
#include "superpixel/graphs/graph_checks.h"
#include "superpixel/graphs/region_linkage.h"
#include "superpixel/graphs/track_neighbours.h"
#include "superpixel/stats/edge_trim.h"
#include "superpixel/stats/frame_labels.h"
#include "superpixel/stats/palette_merge.h"
#include "superpixel/stats/region_coverage.h"
#include "superpixel/stats/region_motion_level.h"
#include "superpixel/stats/region_summary.h"
#include "superpixel/stats/stats_checks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;
using npargs::check;
using npargs::columnMajor;
using npargs::hostShape;
using npargs::isEmpty;
using npargs::typeError;
using npargs::valueError;
using textformat::format;

namespace {

template <class T>
using ColumnMajor = py::array_t<T, py::array::f_style>;

const char* const kCountNumber = "Number of superpixels must be a number.";
constexpr const char* kCount = "Number of superpixels";

/// A count given as a number, truncated toward zero, in lo..hi.
std::uint64_t countIn(double value, std::uint64_t lo, std::uint64_t hi) {
  const std::optional<std::uint64_t> count = sizecheck::truncatedCount(value, lo, hi);
  if (!count) valueError(sizecheck::rangeText(kCount, lo, hi));
  return *count;
}

/// The rows and columns of a 2-D argument in the cores' 32-bit sizes, else ValueError with
/// "<what> has too many rows." (or columns).
std::pair<int, int> intSize(const npargs::HostShape& shape, const char* what) {
  if (!sizecheck::fitsInt(shape.rows())) valueError(sizecheck::tooManyText(what, true));
  if (!sizecheck::fitsInt(shape.cols())) valueError(sizecheck::tooManyText(what, false));
  return {static_cast<int>(shape.rows()), static_cast<int>(shape.cols())};
}

/// Requires `a` to have `n` dimensions as the plug-ins count them, else ValueError with text.
void requireDimensions(const py::array& a, std::size_t n, const char* text) {
  if (hostShape(a).ndims() != n) valueError(text);
}

/// The arrays of a list argument; `text` is the type error's text for an item that holds no
/// array, formatted with the item's 1-based position.
std::vector<py::array> arrayList(const std::vector<py::object>& items, const char* text) {
  std::vector<py::array> arrays;
  for (std::size_t i = 0; i < items.size(); ++i)
    arrays.push_back(npargs::itemArray(items[i], format(text, i + 1)));
  return arrays;
}

/// Requires every array of a list to hold elements of type T.
template <class T>
void requireTypes(const std::vector<py::array>& arrays, const char* text) {
  for (std::size_t i = 0; i < arrays.size(); ++i)
    npargs::requireType<T>(arrays[i], format(text, i + 1));
}

// Texts of the checks whose plug-in text is a usage text or a blank: Python says what is wrong.
const char* const kLabelMapsList = "Label maps must be a list of uint32 arrays, one per frame.";
const char* const kLabelMapType = "Label map %zu must be of type uint32.";
const char* const kFlowFieldType = "Flow field %zu must be of type int16.";
const char* const kFrameType = "Frame %zu must be of type uint8.";

py::tuple frameNeighbours(const py::object& labelsValue, const py::object& countValue) {
  const std::vector<py::array> maps =
      arrayList(npargs::items(labelsValue, kLabelMapsList), kLabelMapType);
  if (maps.empty()) valueError("Label maps must not be an empty list.");
  requireTypes<std::uint32_t>(maps, kLabelMapType);
  const double count = npargs::number(countValue, kCountNumber);

  // Every frame is read with the size of the first.
  const std::size_t height = hostShape(maps[0]).rows(), width = hostShape(maps[0]).cols();
  for (std::size_t f = 0; f < maps.size(); ++f)
    check(superpixel::frameNeighboursSizeFault(f, npargs::count(maps[f]), height, width));
  // N is the radix of the pair keys: 0 would divide by zero, and above 2^32 the keys of 32-bit
  // labels could overflow.
  const std::uint64_t n = countIn(count, 1, std::uint64_t{1} << 32);

  std::vector<ColumnMajor<std::uint32_t>> held;
  std::vector<const std::uint32_t*> frames;
  for (const py::array& map : maps) {
    held.push_back(columnMajor<std::uint32_t>(map));
    frames.push_back(held.back().data());
  }
  superpixel::PairKeys keys;
  {
    py::gil_scoped_release release;
    keys = superpixel::frameNeighbours(frames, height, width, n);
  }
  const auto edges = static_cast<py::ssize_t>(keys.size());
  py::array_t<std::uint32_t> smaller(edges), larger(edges);
  {
    py::gil_scoped_release release;
    superpixel::decodePairs(keys, n, smaller.mutable_data(), larger.mutable_data());
    keys.clear();
  }
  return py::make_tuple(smaller, larger);
}

py::tuple trackNeighbours(const py::object& flowsValue, const py::object& labelsValue,
                          const py::object& countValue) {
  const std::vector<py::array> flows = arrayList(
      npargs::items(flowsValue, "Flow fields must be a list of int16 arrays, one per frame step."),
      kFlowFieldType);
  const std::vector<py::array> maps =
      arrayList(npargs::items(labelsValue, kLabelMapsList), kLabelMapType);
  const std::size_t steps = flows.size();
  if (maps.size() != steps + 1) {
    valueError("Label maps must be one more than the flow fields: one per frame.");
  }
  if (steps == 0) valueError("Flow fields must not be an empty list.");

  // The frame size comes from the last flow/label pair in which neither is empty.
  std::size_t height = 0, width = 0;
  for (std::size_t f = 0; f < steps; ++f) {
    if (isEmpty(flows[f]) || isEmpty(maps[f])) continue;
    height = hostShape(flows[f]).rows();
    width = hostShape(flows[f]).cols() / 2;
    if (npargs::count(maps[f]) != height * width) {
      check(superpixel::trackLabelMapFault(f, false, npargs::count(maps[f]), height, width));
    }
  }
  if (npargs::count(maps[steps]) != height * width) {
    check(superpixel::trackLabelMapFault(steps, isEmpty(maps[steps]), npargs::count(maps[steps]),
                                         height, width));
  }
  for (std::size_t f = 0; f < steps; ++f) {
    npargs::requireType<std::int16_t>(flows[f], format(kFlowFieldType, f + 1));
    npargs::requireType<std::uint32_t>(maps[f], format(kLabelMapType, f + 1));
  }
  npargs::requireType<std::uint32_t>(maps[steps], format(kLabelMapType, steps + 1));
  const double count = npargs::number(countValue, kCountNumber);

  // Every frame step reads its flow as H-by-W-by-2 and both label maps as H-by-W.
  for (std::size_t f = 0; f <= steps; ++f) {
    if (f < steps) {
      check(
          superpixel::trackFlowFault(f, isEmpty(flows[f]), npargs::count(flows[f]), height, width));
    }
    check(
        superpixel::trackLabelMapFault(f, isEmpty(maps[f]), npargs::count(maps[f]), height, width));
  }
  // N sizes the landed counter and is the radix of the pair keys.
  const std::uint64_t n = countIn(count, 1, std::uint64_t{1} << 32);

  std::vector<ColumnMajor<std::int16_t>> heldFlows;
  std::vector<ColumnMajor<std::uint32_t>> heldMaps;
  for (std::size_t f = 0; f <= steps; ++f) {
    if (f < steps) heldFlows.push_back(columnMajor<std::int16_t>(flows[f]));
    heldMaps.push_back(columnMajor<std::uint32_t>(maps[f]));
  }
  std::vector<superpixel::FrameStep> frameSteps;
  for (std::size_t f = 0; f < steps; ++f)
    frameSteps.push_back({heldFlows[f].data(), heldMaps[f].data(), heldMaps[f + 1].data()});
  superpixel::TrackVotes votes;
  {
    py::gil_scoped_release release;
    votes = superpixel::countTrackVotes(frameSteps, height, width, n);
  }
  // The label of a pixel that lands inside the next frame addresses the landed counter.
  check(superpixel::trackSourceLabelFault(votes.fault, n));

  npargs::requireMemory(superpixel::trackNeighboursBytes(votes.votes.size()), "track_neighbours");
  const auto edges = static_cast<py::ssize_t>(votes.votes.size());
  py::array_t<std::uint32_t> source(edges), target(edges);
  py::array_t<float> weight(edges);
  {
    py::gil_scoped_release release;
    superpixel::writeWeightedEdges(votes, n, source.mutable_data(), target.mutable_data(),
                                   weight.mutable_data());
    votes = {};
  }
  return py::make_tuple(source, target, weight);
}

py::array regionLinkage(const py::object& flowValue, const py::object& firstValue,
                        const py::object& secondValue, const py::object& firstCountValue,
                        const py::object& secondCountValue) {
  const bool countsGiven = !firstCountValue.is_none();
  if (countsGiven == secondCountValue.is_none()) typeError("Invalid number of input arguments");
  const py::array flow =
      npargs::typedArray<std::int16_t>(flowValue, "Flow matrix must be of type int16");
  const char* const labelType = "Super pixel label map must be of type uint16";
  const py::array first = npargs::typedArray<std::uint16_t>(firstValue, labelType);
  const py::array second = npargs::typedArray<std::uint16_t>(secondValue, labelType);
  double firstCount = 0, secondCount = 0;
  if (countsGiven) {
    const char* const countType = "Number of superpixels must be of type double";
    firstCount = npargs::number(firstCountValue, countType);
    secondCount = npargs::number(secondCountValue, countType);
  }
  requireDimensions(flow, 3, "Flow matrix must be 3-dimensional");
  if (hostShape(first).ndims() != 2 || hostShape(second).ndims() != 2) {
    valueError("Super pixel label map must be 2-dimensional");
  }

  // The counts size the output, and the flow and the second map are read as H-by-W-by-2 and
  // H-by-W.
  std::size_t n1 = 0, n2 = 0;
  if (countsGiven) {
    n1 = countIn(firstCount, 0, 2147483647);
    n2 = countIn(secondCount, 0, 2147483647);
  }
  const std::size_t height = hostShape(first).rows(), width = hostShape(first).cols();
  check(superpixel::linkageSizeFault(npargs::count(flow), npargs::count(second), height, width));
  const ColumnMajor<std::int16_t> flowData = columnMajor<std::int16_t>(flow);
  const ColumnMajor<std::uint16_t> firstData = columnMajor<std::uint16_t>(first);
  const ColumnMajor<std::uint16_t> secondData = columnMajor<std::uint16_t>(second);
  const superpixel::LinkFrames frames{flowData.data(), firstData.data(), secondData.data(), height,
                                      width};
  if (height > 0) {
    py::gil_scoped_release release;
    if (countsGiven) {
      const std::string fault = superpixel::linkageLabelFault(frames, n1, n2);
      if (!fault.empty()) valueError(fault);
    } else {
      n1 = superpixel::largestLabel(frames.first, height * width);
      n2 = superpixel::largestLabel(frames.second, height * width);
    }
  }
  npargs::requireMemory(superpixel::regionLinkageBytes(n1, n2), "region_linkage");
  ColumnMajor<std::uint32_t> counts =
      npargs::zeros<std::uint32_t>({static_cast<py::ssize_t>(n1), static_cast<py::ssize_t>(n2)});
  if (height > 0) {
    py::gil_scoped_release release;
    superpixel::countLinks(frames, n1, counts.mutable_data());
  }
  return std::move(counts);
}

py::tuple regionSummary(const py::object& framesValue, const py::object& labelsValue,
                        const py::object& countValue) {
  const std::vector<py::array> frames =
      arrayList(npargs::items(framesValue, "Frames must be a list of uint8 arrays, one per frame."),
                kFrameType);
  const std::vector<py::array> maps =
      arrayList(npargs::items(labelsValue, kLabelMapsList), kLabelMapType);
  const std::size_t frameCount = frames.size();
  if (maps.size() != frameCount) valueError("Frames and label maps must be lists of one length.");
  if (frameCount == 0) valueError("Frames must not be an empty list.");

  // The frame size comes from the last pair in which neither is empty.
  std::size_t height = 0, width = 0;
  std::ptrdiff_t sized = -1;
  for (std::size_t f = 0; f < frameCount; ++f) {
    if (isEmpty(frames[f]) || isEmpty(maps[f])) continue;
    height = hostShape(frames[f]).rows();
    width = hostShape(frames[f]).cols() / 3;
    sized = static_cast<std::ptrdiff_t>(f);
    if (npargs::count(maps[f]) != height * width) {
      valueError(format("Label map %zu has %zu elements but frame %zu is %zu-by-%zu-by-3.", f + 1,
                        npargs::count(maps[f]), f + 1, height, width));
    }
  }
  for (std::size_t f = 0; f < frameCount; ++f) {
    npargs::requireType<std::uint8_t>(frames[f], format(kFrameType, f + 1));
    npargs::requireType<std::uint32_t>(maps[f], format(kLabelMapType, f + 1));
  }
  const double countValueAsNumber = npargs::number(countValue, kCountNumber);

  if (sized < 0) valueError(superpixel::kSummaryWithoutFrames);
  std::vector<ColumnMajor<std::uint8_t>> heldFrames;
  std::vector<ColumnMajor<std::uint32_t>> heldMaps;
  std::vector<superpixel::LabelledFrame> video;
  std::vector<std::size_t> videoFrame;  // 0-based list index of each entry of video
  // A pair with an empty array has nothing to count.
  for (std::size_t f = 0; f < frameCount; ++f) {
    if (isEmpty(frames[f]) || isEmpty(maps[f])) continue;
    const npargs::HostShape shape = hostShape(frames[f]);
    check(superpixel::summaryFrameSizeFault(f, shape.rows(), shape.cols(),
                                            static_cast<std::size_t>(sized), height, width));
    heldFrames.push_back(columnMajor<std::uint8_t>(frames[f]));
    heldMaps.push_back(columnMajor<std::uint32_t>(maps[f]));
    video.push_back({heldFrames.back().data(), heldMaps.back().data()});
    videoFrame.push_back(f);
  }
  const auto count = static_cast<std::uint32_t>(countIn(countValueAsNumber, 0, 2147483647));
  // The size output counts in 32 bits: refused before anything is counted.
  check(superpixel::summaryPixelsFault(video.size(), height, width));
  {
    py::gil_scoped_release release;
    for (std::size_t i = 0; i < video.size(); ++i) {
      const std::string fault =
          superpixel::summaryLabelFault(video[i].labels, height * width, count, videoFrame[i]);
      if (!fault.empty()) valueError(fault);
    }
  }

  npargs::requireMemory(superpixel::regionSummaryBytes(count, video.size()), "region_summary");
  const auto n = static_cast<py::ssize_t>(count);
  ColumnMajor<float> colour = npargs::zeros<float>({n, 3});
  ColumnMajor<float> centre = npargs::zeros<float>({n, 2});
  ColumnMajor<std::uint32_t> size = npargs::zeros<std::uint32_t>({n});
  {
    py::gil_scoped_release release;
    superpixel::regionSummary(video, static_cast<std::ptrdiff_t>(height),
                              static_cast<std::ptrdiff_t>(width), count, colour.mutable_data(),
                              centre.mutable_data(), size.mutable_data());
  }
  return py::make_tuple(colour, centre, size);
}

py::array regionMotionLevel(const py::object& flowValue, const py::object& labelsValue,
                            const py::object& countValue) {
  const py::array flow =
      npargs::typedArray<std::int16_t>(flowValue, "Flow matrix must be of type int16");
  const py::array labels = npargs::typedArray<std::uint16_t>(
      labelsValue, "Super pixel label map must be of type uint16");
  const bool counted = !countValue.is_none();
  double given = 0;
  if (counted) given = npargs::number(countValue, "Number of superpixels must be of type double");
  requireDimensions(flow, 3, "Flow matrix must be 3-dimensional");
  requireDimensions(labels, 2, "Super pixel label map must be 2-dimensional");

  const auto [height, width] = intSize(hostShape(labels), "Super pixel label map");
  const std::size_t pixels = npargs::count(labels);
  std::uint32_t count = 0;
  if (counted) count = static_cast<std::uint32_t>(countIn(given, 0, 2147483647));
  check(superpixel::motionLevelFlowFault(npargs::count(flow), height, width, pixels));
  const ColumnMajor<std::int16_t> flowData = columnMajor<std::int16_t>(flow);
  const ColumnMajor<std::uint16_t> labelData = columnMajor<std::uint16_t>(labels);
  {
    py::gil_scoped_release release;
    if (counted) {
      const std::string fault = superpixel::motionLevelLabelFault(labelData.data(), pixels, count);
      if (!fault.empty()) valueError(fault);
    } else {
      count = superpixel::scanFrameLabels(labelData.data(), pixels).largest;
    }
  }

  npargs::requireMemory(superpixel::regionMotionLevelBytes(count), "region_motion_level");
  ColumnMajor<float> level = npargs::zeros<float>({static_cast<py::ssize_t>(count)});
  {
    py::gil_scoped_release release;
    superpixel::regionMotionLevel(flowData.data(), labelData.data(), height, width, count,
                                  level.mutable_data());
  }
  return std::move(level);
}

py::tuple regionCoverage(const py::object& labelsValue, const py::object& insideValue,
                         const py::object& countValue) {
  const py::array labels = npargs::typedArray<std::uint16_t>(
      labelsValue, "Super pixel label map must be of type uint16");
  const py::array inside =
      npargs::typedArray<bool>(insideValue, "In-Out map must be of type logical");
  std::optional<std::uint16_t> given;
  if (!countValue.is_none()) {
    given = static_cast<std::uint16_t>(
        npargs::integer(countValue, 0, 65535, "Number of superpixels must be of type uint16",
                        sizecheck::rangeText(kCount, 0, 65535)));
  }
  requireDimensions(labels, 2, "Super pixel label map must be 2-dimensional");
  requireDimensions(inside, 2, "In-Out map must be 2-dimensional");

  const auto [height, width] = intSize(hostShape(labels), "Super pixel label map");
  const std::size_t pixels = npargs::count(labels);
  check(superpixel::coverageInsideFault(npargs::count(inside), height, width, pixels));
  const ColumnMajor<std::uint16_t> labelData = columnMajor<std::uint16_t>(labels);
  const ColumnMajor<bool> insideData = columnMajor<bool>(inside);
  superpixel::CoverageCount labelCount;
  {
    py::gil_scoped_release release;
    labelCount = superpixel::coverageCount(labelData.data(), pixels, given);
  }
  check(labelCount.fault);

  const auto n = static_cast<py::ssize_t>(labelCount.count);
  ColumnMajor<float> ratio = npargs::zeros<float>({n});
  ColumnMajor<std::uint32_t> size = npargs::zeros<std::uint32_t>({n});
  {
    py::gil_scoped_release release;
    superpixel::regionCoverage(labelData.data(),
                               reinterpret_cast<const std::uint8_t*>(insideData.data()), height,
                               width, labelCount.count, ratio.mutable_data(), size.mutable_data());
  }
  return py::make_tuple(ratio, size);
}

py::tuple paletteMerge(const py::object& coloursValue, const py::object& weightsValue) {
  const py::array colourList =
      npargs::typedArray<std::uint8_t>(coloursValue, "Colours must be of type uint8.");
  const py::array weightList =
      npargs::typedArray<float>(weightsValue, "Weights must be of type float32.");
  const npargs::HostShape colourShape = hostShape(colourList), weightShape = hostShape(weightList);
  const std::size_t n = colourShape.rows();
  if (weightShape.rows() != n || colourShape.cols() != 3 || weightShape.cols() != 1) {
    valueError("Colours must be N x 3 and weights N values (N x 1).");
  }

  const ColumnMajor<std::uint8_t> colourData = columnMajor<std::uint8_t>(colourList);
  const ColumnMajor<float> weightData = columnMajor<float>(weightList);
  superpixel::Palette palette;
  {
    py::gil_scoped_release release;
    palette = superpixel::mergePalette(colourData.data(), weightData.data(), n);
  }
  const auto e = static_cast<py::ssize_t>(palette.size());
  ColumnMajor<std::uint8_t> colours = npargs::zeros<std::uint8_t>({e, 3});
  ColumnMajor<float> weights = npargs::zeros<float>({e});
  {
    py::gil_scoped_release release;
    superpixel::writePalette(palette, colours.mutable_data(), weights.mutable_data());
    palette.clear();
  }
  return py::make_tuple(colours, weights);
}

py::array edgeTrim(const py::object& edgesValue, const py::object& maskValue) {
  const py::array edges =
      npargs::typedArray<bool>(edgesValue, "Input matrix must be of type logical");
  const bool masked = !maskValue.is_none();
  py::array mask;
  if (masked) mask = npargs::typedArray<bool>(maskValue, "Mask must be of type logical");
  requireDimensions(edges, 2, "Input matrix must be 2-dimensional");
  if (masked) requireDimensions(mask, 2, "Mask must be 2-dimensional");

  const auto [height, width] = intSize(hostShape(edges), "Input matrix");
  std::optional<ColumnMajor<bool>> maskData;
  if (masked) {
    check(superpixel::edgeTrimMaskFault(npargs::count(mask), height, width, npargs::count(edges)));
    maskData = columnMajor<bool>(mask);
  }
  const ColumnMajor<bool> edgeData = columnMajor<bool>(edges);
  // The cleaned map has the input's shape.
  std::vector<py::ssize_t> shape(edges.shape(), edges.shape() + edges.ndim());
  ColumnMajor<bool> cleaned(shape);
  {
    py::gil_scoped_release release;
    superpixel::edgeTrim(
        reinterpret_cast<const std::uint8_t*>(edgeData.data()),
        maskData ? reinterpret_cast<const std::uint8_t*>(maskData->data()) : nullptr, height, width,
        reinterpret_cast<std::uint8_t*>(cleaned.mutable_data()));
  }
  return std::move(cleaned);
}

}  // namespace

void addSuperpixelFunctions(py::module_& m) {
  m.def("frame_neighbours", &frameNeighbours, py::arg("labels"), py::arg("n"),
        R"(frame_neighbours(labels, n)

Pairs of superpixels that touch (8-connected) inside a frame, pooled over a video; each pair
once, sorted by the larger index, then the smaller.

labels: list of H x W uint32 label maps, one per frame; labels 1..n, numbered across the video.
n: number of superpixels (truncated toward zero), 1 to 2**32.
Returns (smaller, larger): two uint32 arrays of E elements, the 0-based indices (label - 1) of
each pair.

Example:
    >>> a, b = motionseg.frame_neighbours([np.array([[1, 2]], np.uint32)], 2)
    >>> a, b
    (array([0], dtype=uint32), array([1], dtype=uint32))
)");

  m.def("track_neighbours", &trackNeighbours, py::arg("flows"), py::arg("labels"), py::arg("n"),
        R"(track_neighbours(flows, labels, n)

Flow-based links from the superpixels of each frame to those of the next, as a weighted edge
list: every pixel moved by its flow votes for (its label, the label where it lands).

flows: list of F H x W x 2 int16 flows; flow f moves frame f to frame f + 1, [..., 0] added to
    the row, [..., 1] to the column: motionseg.integer_flow(dense_motion(frame_f, frame_f1))
    makes one (not flow.astype(np.int16), which keeps u first and truncates).
labels: list of F + 1 H x W uint32 label maps; labels 1..n, numbered across the video.
n: number of superpixels (truncated toward zero), 1 to 2**32.
Returns (source, target, weight): uint32, uint32 and float32 arrays of E elements; source and
target are 0-based indices (label - 1), weight the share of the source's landed pixels that
went to the target. Sorted by target, then source.

Example:
    >>> labels = np.array([[1, 2]], np.uint32)
    >>> motionseg.track_neighbours([np.zeros((1, 2, 2), np.int16)], [labels, labels], 2)
    (array([0, 1], dtype=uint32), array([0, 1], dtype=uint32), array([1., 1.], dtype=float32))
)");

  m.def("region_linkage", &regionLinkage, py::arg("flow"), py::arg("first"), py::arg("second"),
        py::arg("n1") = py::none(), py::arg("n2") = py::none(),
        R"(region_linkage(flow, first, second, n1=None, n2=None)

Pixels the flow carries from each superpixel of a frame onto each superpixel of the next.

flow: H x W x 2 int16 flow, [..., 0] added to the row, [..., 1] to the column:
    motionseg.integer_flow(dense_motion(frame1, frame2)) makes one (not flow.astype(np.int16),
    which keeps u first and truncates).
first, second: H x W uint16 label maps of the two frames; label 0 marks unlabelled pixels.
n1, n2: numbers of superpixels of the two frames (both or neither; truncated toward zero,
    0 to 2**31 - 1); None: the largest labels.
Returns an n1 x n2 uint32 array K: K[i - 1, j - 1] pixels of label i land on label j.

Example:
    >>> a = np.array([[1, 2]], np.uint16)
    >>> motionseg.region_linkage(np.zeros((1, 2, 2), np.int16), a, a)
    array([[1, 0],
           [0, 1]], dtype=uint32)
)");

  m.def("region_summary", &regionSummary, py::arg("frames"), py::arg("labels"), py::arg("n"),
        R"(region_summary(frames, labels, n)

Mean colour, centre of mass and size of every superpixel of a video.

frames: list of H x W x 3 uint8 frames (red, green, blue).
labels: list of H x W uint32 label maps, one per frame; labels 1..n, numbered across the video.
n: number of superpixels (truncated toward zero), 0 to 2**31 - 1.
Returns (colour, centre, size): n x 3 float32 mean colours (0..255), n x 2 float32 mean
0-based (row, column), n uint32 pixel counts; superpixel L is row L - 1.

Example:
    >>> colour, centre, size = motionseg.region_summary([frame], [labels], labels.max())
)");

  m.def("region_motion_level", &regionMotionLevel, py::arg("flow"), py::arg("labels"),
        py::arg("n") = py::none(),
        R"(region_motion_level(flow, labels, n=None)

Mean flow length of every superpixel of one frame.

flow: H x W x 2 int16 flow (only the length of each step counts):
    motionseg.integer_flow(dense_motion(frame1, frame2)) makes one.
labels: H x W uint16 label map; label 0 pixels are skipped.
n: number of superpixels (truncated toward zero, 0 to 2**31 - 1); None: the largest label.
Returns n float32 mean lengths; superpixel L is element L - 1 (0 when it has no pixel).

Example:
    >>> flow = np.zeros((2, 2, 2), np.int16); flow[..., 0] = 3; flow[..., 1] = 4
    >>> motionseg.region_motion_level(flow, np.ones((2, 2), np.uint16))
    array([5.], dtype=float32)
)");

  m.def("region_coverage", &regionCoverage, py::arg("labels"), py::arg("inside"),
        py::arg("n") = py::none(),
        R"(region_coverage(labels, inside, n=None)

Share of the pixels of every superpixel of one frame inside a region, and its pixel count.

labels: H x W uint16 label map, labels 1..n.
inside: H x W bool map, True inside the region.
n: number of superpixels, an integer 0 to 65535; None: the largest label.
Returns (ratio, size): n float32 shares and n uint32 pixel counts; superpixel L is element L - 1.

Example:
    >>> labels = np.array([[1, 1, 2, 2]], np.uint16)
    >>> motionseg.region_coverage(labels, np.array([[True, False, False, False]]))
    (array([0.5, 0. ], dtype=float32), array([2, 2], dtype=uint32))
)");

  m.def("palette_merge", &paletteMerge, py::arg("colours"), py::arg("weights"),
        R"(palette_merge(colours, weights)

A weighted colour list with its repeated colours merged (weights summed), sorted by blue, then
green, then red.

colours: N x 3 uint8 colours (red, green, blue).
weights: N float32 weights (or N x 1).
Returns (colours, weights): E x 3 uint8 distinct colours and E float32 summed weights.

Example:
    >>> c = np.array([[10, 20, 30], [10, 20, 30]], np.uint8)
    >>> motionseg.palette_merge(c, np.array([0.5, 0.25], np.float32))
    (array([[10, 20, 30]], dtype=uint8), array([0.75], dtype=float32))
)");

  m.def("edge_trim", &edgeTrim, py::arg("edges"), py::arg("mask") = py::none(),
        R"(edge_trim(edges, mask=None)

A boundary map without the boundary pixels connected to the image border (or to the mask)
through boundary pixels, found by one sweep in each of the four directions.

edges: H x W bool boundary map.
mask: H x W bool map, or None.
Returns an H x W bool array.

Example:
    >>> ring = np.zeros((6, 6), bool); ring[1:5, 1:5] = True; ring[2:4, 2:4] = False
    >>> bool((motionseg.edge_trim(ring) == ring).all())
    True
)");
}

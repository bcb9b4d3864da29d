// trackNeighbours: flow-based links from the superpixels of each frame to those of the next,
// as a weighted edge list.
//
//   [a, b, w] = trackNeighbours(flows, labels, N)
#include "mex.h"

#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"
#include "superpixel/graphs/graph_checks.h"
#include "superpixel/graphs/track_neighbours.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

enum { IN_FLOWS, IN_LABELS, IN_COUNT, IN_END };
enum { OUT_SOURCE, OUT_TARGET, OUT_WEIGHT, OUT_END };

// Every fault of the documented checks reports this one text, a single blank.
using gw::blank;

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    if (nrhs != IN_END) blank(gw::Kind::Nargin);
    const mxArray* flows = prhs[IN_FLOWS];
    const mxArray* labels = prhs[IN_LABELS];
    if (!mxIsCell(flows) || !mxIsCell(labels)) blank(gw::Kind::Class);
    const std::size_t stepCount = gw::count(flows);
    if (gw::count(labels) != stepCount + 1) blank(gw::Kind::Size);
    if (stepCount + 1 < 2) blank(gw::Kind::Size);

    // The frame size comes from the last flow/label pair in which neither cell is empty.
    const gw::PairSize size = gw::lastFilledPairSize(flows, labels, stepCount, 2, blank.text);
    const std::size_t height = size.rows, width = size.cols;
    if (gw::count(gw::cellAt(labels, stepCount)) != height * width) blank(gw::Kind::Size);
    for (std::size_t f = 0; f < stepCount; ++f) {
      if (!gw::hasClass(gw::cellAt(flows, f), mxINT16_CLASS)) blank(gw::Kind::Class);
      if (!gw::hasClass(gw::cellAt(labels, f), mxUINT32_CLASS)) blank(gw::Kind::Class);
    }
    if (!gw::hasClass(gw::cellAt(labels, stepCount), mxUINT32_CLASS)) blank(gw::Kind::Class);
    if (!mxIsDouble(prhs[IN_COUNT])) blank(gw::Kind::Class);
    if (nlhs != 0 && nlhs != OUT_END) blank(gw::Kind::Nargout);

    // Beyond the documented checks: every frame step reads its flow field as H-by-W-by-2 and
    // both of its label maps as H-by-W, so every cell must hold that much.
    for (std::size_t f = 0; f <= stepCount; ++f) {
      if (f < stepCount) {
        const mxArray* flow = gw::cellAt(flows, f);
        const std::string fault =
            superpixel::trackFlowFault(f, gw::isEmpty(flow), gw::count(flow), height, width);
        if (!fault.empty()) gw::fail(gw::Kind::Size, fault);
      }
      const mxArray* map = gw::cellAt(labels, f);
      const std::string fault =
          superpixel::trackLabelMapFault(f, gw::isEmpty(map), gw::count(map), height, width);
      if (!fault.empty()) gw::fail(gw::Kind::Size, fault);
    }
    // N bounds the source labels and is the radix of the pair keys: 0 would divide by zero,
    // and above 2^32 the keys of 32-bit labels could overflow.
    const std::uint64_t n =
        gw::truncatedScalar(prhs[IN_COUNT], "Number of superpixels", 1, std::uint64_t{1} << 32);

    std::vector<superpixel::FrameStep> steps;
    for (std::size_t f = 0; f < stepCount; ++f) {
      steps.push_back({gw::data<std::int16_t>(gw::cellAt(flows, f)),
                       gw::data<std::uint32_t>(gw::cellAt(labels, f)),
                       gw::data<std::uint32_t>(gw::cellAt(labels, f + 1))});
    }
    // The pairs that get votes show only as they are counted: counting weighs its working
    // memory as it grows, and the outputs are weighed once their size is known.
    const membudget::Limit limit = gw::growthLimit();
    const superpixel::TrackVotes votes =
        superpixel::countTrackVotes(steps, height, width, n, limit.bytes);
    // The label of a pixel that lands inside the next frame addresses the landed counter.
    const std::string labelFault = superpixel::trackSourceLabelFault(votes.fault, n);
    if (!labelFault.empty()) gw::fail(gw::Kind::Value, labelFault);
    if (votes.overBudget) {
      gw::failGrowth(
          "trackNeighbours",
          gw::format("the votes of %zu frame steps of %zu-by-%zu pixels", stepCount, height, width),
          limit);
    }

    const std::size_t edgeCount = votes.votes.size();
    gw::requireMemory("trackNeighbours", superpixel::trackNeighboursBytes(edgeCount));
    mxArray* source = gw::createMatrix<std::uint32_t>(edgeCount, 1);
    mxArray* target = gw::createMatrix<std::uint32_t>(edgeCount, 1);
    mxArray* weight = gw::createMatrix<float>(edgeCount, 1);
    superpixel::writeWeightedEdges(votes, n, gw::mutableData<std::uint32_t>(source),
                                   gw::mutableData<std::uint32_t>(target),
                                   gw::mutableData<float>(weight));
    // With no output requested only the source indices are returned (as ans).
    gw::handOver(nlhs, plhs, {source, target, weight});
  });
}

// frameNeighbours: the pairs of superpixels that touch inside a frame, pooled over a video.
//
//   [a, b] = frameNeighbours(labels, N)
#include "mex.h"

#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"
#include "superpixel/graphs/frame_neighbours.h"
#include "superpixel/graphs/graph_checks.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

enum { IN_LABELS, IN_COUNT, IN_END };
enum { OUT_SMALLER, OUT_LARGER, OUT_END };

// Every fault of the documented checks reports this one text, a single blank.
using gw::blank;

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    if (nrhs != IN_END) blank(gw::Kind::Nargin);
    const mxArray* labels = prhs[IN_LABELS];
    if (!mxIsCell(labels)) blank(gw::Kind::Class);
    const std::size_t frameCount = gw::count(labels);
    if (frameCount == 0) blank(gw::Kind::Size);
    for (std::size_t f = 0; f < frameCount; ++f) {
      if (!gw::hasClass(gw::cellAt(labels, f), mxUINT32_CLASS)) blank(gw::Kind::Class);
    }
    if (!mxIsDouble(prhs[IN_COUNT])) blank(gw::Kind::Class);
    if (nlhs != 0 && nlhs != OUT_END) blank(gw::Kind::Nargout);

    // Beyond the documented checks: every frame is read with the size of the first.
    const mxArray* first = gw::cellAt(labels, 0);
    const std::size_t height = gw::rows(first);
    const std::size_t width = gw::cols(first);
    std::vector<const std::uint32_t*> frames;
    for (std::size_t f = 0; f < frameCount; ++f) {
      const mxArray* map = gw::cellAt(labels, f);
      const std::string fault =
          superpixel::frameNeighboursSizeFault(f, gw::count(map), height, width);
      if (!fault.empty()) gw::fail(gw::Kind::Size, fault);
      frames.push_back(gw::data<std::uint32_t>(map));
    }
    // N is the radix of the pair keys: 0 would divide by zero, and above 2^32 the keys of
    // 32-bit labels could overflow.
    const std::uint64_t n =
        gw::truncatedScalar(prhs[IN_COUNT], "Number of superpixels", 1, std::uint64_t{1} << 32);

    // The pairs of a video show only as they are found: the search weighs its working memory
    // as it grows, and the outputs are weighed once their size is known.
    const membudget::Limit limit = gw::growthLimit();
    bool overBudget = false;
    const superpixel::PairKeys keys =
        superpixel::frameNeighbours(frames, height, width, n, limit.bytes, &overBudget);
    const std::string what = gw::format("the neighbour pairs of %zu frames of %zu-by-%zu pixels",
                                        frameCount, height, width);
    if (overBudget) gw::failGrowth("frameNeighbours", what, limit);
    membudget::Estimate need;
    need.outputs = membudget::Bytes::product({keys.size(), 2 * sizeof(std::uint32_t)});
    need.working = membudget::Bytes::product({keys.size(), superpixel::kPairKeyBytes});
    need.what = what;
    gw::requireMemory("frameNeighbours", need);
    mxArray* smaller = gw::createMatrix<std::uint32_t>(keys.size(), 1);
    mxArray* larger = gw::createMatrix<std::uint32_t>(keys.size(), 1);
    superpixel::decodePairs(keys, n, gw::mutableData<std::uint32_t>(smaller),
                            gw::mutableData<std::uint32_t>(larger));
    // With no output requested only the smaller indices are returned (as ans).
    gw::handOver(nlhs, plhs, {smaller, larger});
  });
}

// frameNeighbours: the pairs of superpixels that touch inside a frame, pooled over a video.
//
//   [a, b] = frameNeighbours(labels, N)
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "superpixel/graphs/frame_neighbours.h"

#include <cstdint>
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
      if (gw::count(map) != height * width) {
        gw::fail(gw::Kind::Size,
                 gw::format("Label map %zu has %zu elements but label map 1 is %zu-by-%zu.", f + 1,
                            gw::count(map), height, width));
      }
      frames.push_back(gw::data<std::uint32_t>(map));
    }
    // N is the radix of the pair keys: 0 would divide by zero, and above 2^32 the keys of
    // 32-bit labels could overflow.
    const std::uint64_t n =
        gw::truncatedScalar(prhs[IN_COUNT], "Number of superpixels", 1, std::uint64_t{1} << 32);

    const superpixel::PairKeys keys = superpixel::frameNeighbours(frames, height, width, n);
    mxArray* smaller = gw::createMatrix<std::uint32_t>(keys.size(), 1);
    mxArray* larger = gw::createMatrix<std::uint32_t>(keys.size(), 1);
    superpixel::decodePairs(keys, n, gw::mutableData<std::uint32_t>(smaller),
                            gw::mutableData<std::uint32_t>(larger));
    // With no output requested only the smaller indices are returned (as ans).
    gw::handOver(nlhs, plhs, {smaller, larger});
  });
}

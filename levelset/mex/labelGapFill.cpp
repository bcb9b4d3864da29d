// labelGapFill: gives every unlabelled pixel of a label map the label of a labelled neighbour.
//
//   O = labelGapFill(L)
#include "mex.h"

#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"
#include "levelset/label_gap_fill.h"

#include <cstddef>
#include <cstdint>

namespace {

enum { IN_LABELS, IN_END };
enum { OUT_LABELS, OUT_END };

// Warnings printed one by one; the rest are summed up in one line.
constexpr std::size_t kWarningsShown = 100;

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    gw::requireInputCount(nrhs, {IN_END});
    const mxArray* labels = prhs[IN_LABELS];
    gw::requireClass(labels, mxUINT16_CLASS, "Input matrix must be of type uint16");
    gw::requireOutputCount(nlhs, OUT_END);
    gw::requireDimensions(labels, 2, "Input matrix must be 2-dimensional");

    const std::size_t m = gw::rows(labels);
    const std::size_t n = gw::cols(labels);
    // The copy, and the host's copy of it on return, are weighed first: the host's own
    // allocation failure would reach the caller without the toolbox's identifier.
    membudget::Estimate need;
    need.outputs = membudget::Bytes::product({m, n, sizeof(std::uint16_t)});
    need.what = gw::format("a %zu-by-%zu label map", m, n);
    gw::requireMemory("labelGapFill", need);
    mxArray* filled = mxDuplicateArray(labels);
    if (filled == nullptr)
      gw::fail(gw::Kind::Memory, "Could not copy the label map (out of memory).");
    const levelset::UnfilledPixels unfilled = levelset::fillLabelGaps(
        static_cast<std::ptrdiff_t>(m), static_cast<std::ptrdiff_t>(n),
        gw::data<std::uint16_t>(labels), gw::mutableData<std::uint16_t>(filled), kWarningsShown);
    // Not an error: the pixel stays 0. The text has no line break, so warnings run on; past
    // the first ones a single line says how many more there were.
    for (const levelset::PixelPosition& p : unfilled.first) {
      mexPrintf("Warning: point (%lld,%lld) could not be filled in - all neighbours are unlabeled",
                static_cast<long long>(p.row), static_cast<long long>(p.col));
    }
    if (unfilled.total > unfilled.first.size()) {
      mexPrintf(
          "\nWarning: %llu more points could not be filled in - all neighbours are "
          "unlabeled\n",
          static_cast<unsigned long long>(unfilled.total - unfilled.first.size()));
    }
    plhs[OUT_LABELS] = filled;
  });
}

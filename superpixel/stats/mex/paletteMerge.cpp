// paletteMerge: a weighted colour list with its repeated colours merged.
//
//   [colours, weights] = paletteMerge(colours, weights)
#include "mex.h"

#include "gateway/mex_gateway.h"
#include "superpixel/stats/palette_merge.h"

#include <cstdint>

namespace {

enum { IN_COLOURS, IN_WEIGHTS, IN_END };
enum { OUT_COLOURS, OUT_WEIGHTS, OUT_END };

// Every fault of the checks reports this one text.
constexpr const char* kUsage =
    "Error: incorrect function call\n\nUSAGE:\t[ colours, weights ] = paletteMerge( colours, "
    "weights )\n\n\tcolours: a Nx3 uint8 matrix containing the colour list\n\tweights: a Nx1 "
    "single real valued array containing the corresponding weight of each colour\n";

constexpr gw::Refusal usage{kUsage};

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    if (nrhs != IN_END) usage(gw::Kind::Nargin);
    if (nlhs > OUT_END) usage(gw::Kind::Nargout);
    const mxArray* colourList = prhs[IN_COLOURS];
    const mxArray* weightList = prhs[IN_WEIGHTS];
    if (!gw::hasClass(colourList, mxUINT8_CLASS)) usage(gw::Kind::Class);
    if (!gw::hasClass(weightList, mxSINGLE_CLASS)) usage(gw::Kind::Class);
    const std::size_t n = gw::rows(colourList);
    if (gw::rows(weightList) != n || gw::cols(colourList) != 3 || gw::cols(weightList) != 1) {
      usage(gw::Kind::Size);
    }

    const superpixel::Palette palette = superpixel::mergePalette(gw::data<std::uint8_t>(colourList),
                                                                 gw::data<float>(weightList), n);
    mxArray* colours = gw::createMatrix<std::uint8_t>(palette.size(), 3);
    mxArray* weights = gw::createMatrix<float>(palette.size(), 1);
    superpixel::writePalette(palette, gw::mutableData<std::uint8_t>(colours),
                             gw::mutableData<float>(weights));
    // With fewer than two outputs requested the colours alone are returned (as ans for none).
    gw::handOver(nlhs, plhs, {colours, weights});
  });
}

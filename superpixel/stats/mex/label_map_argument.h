// The uint16 label map argument of the per-frame statistics plug-ins (regionMotionLevel,
// regionCoverage), read after its documented class and rank checks.
#ifndef MOTIONSEG_SUPERPIXEL_STATS_MEX_LABEL_MAP_ARGUMENT_H
#define MOTIONSEG_SUPERPIXEL_STATS_MEX_LABEL_MAP_ARGUMENT_H

#include "mex.h"

#include "gateway/mex_gateway.h"

#include <cstddef>
#include <cstdint>

namespace superpixel {

/// A height-by-width label map, column-major; the cores take 32-bit sizes.
struct LabelMapArgument {
  int height;
  int width;
  std::size_t pixels;
  const std::uint16_t* labels;
};

/// Reads a uint16 label map argument; fails with "Super pixel label map has too many rows."
/// (or columns) beyond 2147483647.
inline LabelMapArgument labelMapArgument(const mxArray* a) {
  const gw::IntSize size = gw::intSize(a, "Super pixel label map");
  return {size.rows, size.cols, gw::count(a), gw::data<std::uint16_t>(a)};
}

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_STATS_MEX_LABEL_MAP_ARGUMENT_H

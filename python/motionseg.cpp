// The motionseg Python module: the toolbox's functions over the same cores as the plug-ins,
// with NumPy arrays.
#include "python/module_parts.h"

#include <pybind11/pybind11.h>

#ifndef MOTIONSEG_VERSION
#error "MOTIONSEG_VERSION must be defined by the build"
#endif

PYBIND11_MODULE(motionseg, m) {
  // Every docstring starts with its own signature.
  pybind11::options options;
  options.disable_function_signatures();
  m.doc() = R"(Motion segmentation toolbox: dense optical flow, .flo files, and graphs and
statistics over superpixels, computed by the same code as the GNU Octave and MATLAB functions.

Arrays are NumPy arrays indexed [row, column, channel]. Every function checks its arguments as
the toolbox's functions do, with the same texts, raised as TypeError (element type), ValueError
(shape, size, value) or MemoryError; long computations let other Python threads run.

Flow: dense_motion, integer_flow, read_flo, write_flo, flow_to_colour. The graph functions take
integer flows (int16 whole-pixel steps, the row step first): make one from a flow with
integer_flow(flow).
Superpixels: frame_neighbours, track_neighbours, region_linkage, region_summary,
region_motion_level, region_coverage, palette_merge, edge_trim.)";
  m.attr("__version__") = MOTIONSEG_VERSION;
  addFlowFunctions(m);
  addSuperpixelFunctions(m);
}

// The motionseg Python module: the toolbox's functions over the same cores as the plug-ins,
// with NumPy arrays.
#include "python/module_parts.h"
#include "python/video_source.h"

#include <pybind11/eval.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace py = pybind11;

namespace {

/// Gives every function of the module a last overload. Every parameter takes any object, so
/// pybind11 reaches it only for a call whose count or names of arguments fit no signature; it
/// raises the one-line TypeError of Python's own functions ("dense_motion(): got an unexpected
/// keyword argument 'colour'") instead of pybind11's list of overloads and the arguments
/// passed (a dump of whole arrays).
void addArgumentFaults(py::module_& m) {
  std::vector<std::string> names;
  for (const auto item : py::reinterpret_borrow<py::dict>(m.attr("__dict__"))) {
    // Callable, but no function: the module's classes keep their constructors.
    if (py::isinstance<py::cpp_function>(item.second) && !PyType_Check(item.second.ptr()))
      names.push_back(item.first.cast<std::string>());
  }
  const py::handle module = m;
  for (const std::string& name : names) {
    m.def(name.c_str(), [module, name](const py::args& args, const py::kwargs& kwargs) {
      const py::object function = module.attr(name.c_str());
      const py::object signature = py::module_::import("inspect").attr("signature")(function);
      // A name the function does not know is the fault to name first, as Python does.
      const py::object parameters = signature.attr("parameters");
      for (const auto item : kwargs) {
        if (!parameters.contains(item.first)) {
          throw py::type_error(name + "() got an unexpected keyword argument '" +
                               item.first.cast<std::string>() + "'");
        }
      }
      try {
        signature.attr("bind")(*args, **kwargs);
      } catch (const py::error_already_set& e) {
        if (!e.matches(PyExc_TypeError)) throw;
        throw py::type_error(name + "(): " + py::str(e.value()).cast<std::string>());
      }
      throw py::type_error(name + "(): the arguments do not fit " + name +
                           py::str(signature).cast<std::string>());
    });
  }
}

}  // namespace

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

Flow: dense_motion, integer_flow, read_flo, write_flo, flow_to_colour, flow_colour_wheel. The
graph functions take integer flows (int16 whole-pixel steps, the row step first): make one from a
flow with integer_flow(flow).
Superpixels: frame_neighbours, track_neighbours, region_linkage, region_summary,
region_motion_level, region_coverage, palette_merge, edge_trim.
Crossing counts: crossing_counts, crossing_runs.
Level sets: surface_partials, surface_slope, front_velocity, sign_flip, trough_points,
label_gap_fill.
Binary codes: bitcode_distance.
Whole videos: video_flows, write_video_flows, list_frames, read_frame.)";
  m.attr("__version__") = MOTIONSEG_VERSION;
  addFlowFunctions(m);
  addSuperpixelFunctions(m);
  addLevelsetFunctions(m);
  addCrossingFunctions(m);
  addColourFunctions(m);
#ifdef MOTIONSEG_FRAME_FILES
  addVideoFunctions(m);
#endif
  addArgumentFaults(m);
  // video_flows and write_video_flows, defined in the module's own namespace.
  pybind11::exec(kVideoSource, m.attr("__dict__"));
}

// The parts of the motionseg module, each adding its functions.
#ifndef MOTIONSEG_PYTHON_MODULE_PARTS_H
#define MOTIONSEG_PYTHON_MODULE_PARTS_H

#include <pybind11/pybind11.h>

/// dense_motion, integer_flow, read_flo, write_flo, flow_to_colour.
void addFlowFunctions(pybind11::module_& m);

/// The superpixel graphs and statistics.
void addSuperpixelFunctions(pybind11::module_& m);

/// front_velocity, surface_slope, surface_partials, sign_flip, trough_points, label_gap_fill.
void addLevelsetFunctions(pybind11::module_& m);

/// crossing_counts, crossing_runs, bitcode_distance.
void addCrossingFunctions(pybind11::module_& m);

/// flow_colour_wheel.
void addColourFunctions(pybind11::module_& m);

/// list_frames, read_frame (built with the programs' image reader only).
void addVideoFunctions(pybind11::module_& m);

#endif  // MOTIONSEG_PYTHON_MODULE_PARTS_H

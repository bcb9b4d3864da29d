// The parts of the motionseg module, each adding its functions.
#ifndef MOTIONSEG_PYTHON_MODULE_PARTS_H
#define MOTIONSEG_PYTHON_MODULE_PARTS_H

#include <pybind11/pybind11.h>

/// dense_motion, integer_flow, read_flo, write_flo, flow_to_colour.
void addFlowFunctions(pybind11::module_& m);

/// The superpixel graphs and statistics.
void addSuperpixelFunctions(pybind11::module_& m);

#endif  // MOTIONSEG_PYTHON_MODULE_PARTS_H

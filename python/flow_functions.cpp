// The flow functions of the Python module: dense_motion over the flow driver, .flo files and
// the colour picture of a flow. Arrays are indexed [row, column, channel]; the flow's channel 0
// is the horizontal component u, channel 1 the vertical component v.
#include "python/module_parts.h"
#include "python/numpy_arguments.h"

#include "flow/containers/CTensor.h"
#include "flow/driver/flow_call.h"
#include "flow/driver/flow_memory.h"
#include "flow/solver/flow_colour.h"
#include "flow/solver/flow_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

namespace py = pybind11;
using npargs::check;
using npargs::typeError;
using npargs::valueError;

namespace {

/// Copies a rows x cols x channels array (any strides) into a cols × rows × channels tensor:
/// element [y, x, c] becomes tensor element (x, y, c), rounded to single precision.
template <class T>
void arrayToTensor(const py::array& a, CTensor<float>& tensor) {
  const auto in = a.unchecked<T, 3>();
  const int rows = static_cast<int>(in.shape(0)), cols = static_cast<int>(in.shape(1)),
            channels = static_cast<int>(in.shape(2));
  tensor.setSize(cols, rows, channels);
  float* out = tensor.data();
  for (int c = 0; c < channels; ++c) {
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < cols; ++x)
        *out++ = static_cast<float>(in(y, x, c));
    }
  }
}

/// Writes the tensor (cols × rows × channels) into `out`, a rows x cols x channels C-order
/// array.
void tensorToArray(const CTensor<float>& tensor, float* out) {
  const std::size_t plane = static_cast<std::size_t>(tensor.ySize()) * tensor.xSize();
  const float* in = tensor.data();
  for (std::size_t p = 0; p < plane; ++p) {
    for (int c = 0; c < tensor.zSize(); ++c)
      *out++ = in[p + c * plane];
  }
}

/// Converts a frame (float32, float64 or uint8) to a tensor; the caller has checked the type.
void frameToTensor(const py::array& frame, CTensor<float>& tensor) {
  if (npargs::hasType<float>(frame)) {
    arrayToTensor<float>(frame, tensor);
  } else if (npargs::hasType<double>(frame)) {
    arrayToTensor<double>(frame, tensor);
  } else {
    arrayToTensor<std::uint8_t>(frame, tensor);
  }
}

/// A frame argument: float32, float64 or uint8 with three dimensions.
py::array frameArgument(const py::object& value, const char* which) {
  const std::string text = std::string(which) +
                           " input must be a 3-dimensional array of float32, float64 or uint8 "
                           "values (rows x columns x channels).";
  py::array frame = npargs::asArray(value, text);
  if (!npargs::hasType<float>(frame) && !npargs::hasType<double>(frame) &&
      !npargs::hasType<std::uint8_t>(frame)) {
    typeError(text);
  }
  if (frame.ndim() != 3) valueError(text);
  return frame;
}

/// A flow argument: float32, rows x columns x 2.
py::array flowArgument(const py::object& value) {
  const char* text = "Flow must be a float32 array of rows x columns x 2.";
  py::array flow = npargs::typedArray<float>(value, text);
  if (flow.ndim() != 3 || flow.shape(2) != 2) valueError(text);
  return flow;
}

/// A parameter of dense_motion as single precision.
float parameter(const py::object& value, const char* text) {
  return static_cast<float>(npargs::number(value, text));
}

/// A path argument (str, bytes or os.PathLike) as bytes for the C library.
std::string pathArgument(const py::object& value) {
  py::object path = py::module_::import("os").attr("fsencode")(value);
  std::string bytes = path.cast<std::string>();
  if (bytes.find('\0') != std::string::npos) valueError("Path must not hold a null byte.");
  return bytes;
}

py::array_t<float> denseMotion(const py::object& frame1, const py::object& frame2,
                               const py::object& sigmaValue, const py::object& alphaValue,
                               const py::object& betaValue, const py::object& gammaValue,
                               const py::object& threadsValue) {
  const py::array first = frameArgument(frame1, "First");
  const py::array second = frameArgument(frame2, "Second");
  for (int d = 0; d < 3; ++d) {
    if (first.shape(d) != second.shape(d)) valueError("Input images must have the same size !");
  }
  const std::int64_t rows = first.shape(0), cols = first.shape(1), channels = first.shape(2);
  check(flowdriver::frameShapeFault(rows, cols, channels));
  const float sigma = parameter(sigmaValue, "Sigma must be a numeric scalar.");
  const float alpha = parameter(alphaValue, "Alpha must be a numeric scalar.");
  const float beta = parameter(betaValue, "Beta must be a numeric scalar.");
  const float gamma = parameter(gammaValue, "Gamma must be a numeric scalar.");
  check(flowdriver::sigmaFault(sigma));
  check(flowdriver::weightFault(alpha, beta, gamma));
  std::optional<int> threads;
  if (!threadsValue.is_none()) {
    threads = static_cast<int>(npargs::integer(threadsValue, 1, 1024,
                                               "Threads must be a whole number or None.",
                                               "Threads must be between 1 and 1024."));
  }
  // The two single-precision frames and the computation, and the float32 result.
  membudget::Estimate need;
  need.outputs = membudget::Bytes::product(
      {2, sizeof(float), static_cast<std::uint64_t>(rows), static_cast<std::uint64_t>(cols)});
  need.working = flowdriver::flowInputBytes(cols, rows, channels) +
                 flowdriver::flowWorkingBytes(cols, rows, channels);
  need.what = std::to_string(rows) + "-by-" + std::to_string(cols) + "-by-" +
              std::to_string(channels) + " frames";
  npargs::requireMemory(need, "dense_motion");

  py::array_t<float> result({rows, cols, std::int64_t{2}});
  float* out = result.mutable_data();
  // One stretch without the interpreter lock: conversion, computation and the result's copy.
  flowdriver::FlowFailure failure;
  std::string sizeFault;
  {
    py::gil_scoped_release release;
    CTensor<float> flow;
    failure = flowdriver::catchFlowFailure([&] {
      CTensor<float> image1, image2;
      frameToTensor(first, image1);
      frameToTensor(second, image2);
      if (threads) {
        runFlow(image1, image2, flow, sigma, alpha, beta, gamma, *threads);
      } else {
        runFlow(image1, image2, flow, sigma, alpha, beta, gamma);
      }
    });
    if (!failure) {
      sizeFault = flowdriver::flowSizeFault(flow, static_cast<int>(rows), static_cast<int>(cols));
      if (sizeFault.empty()) tensorToArray(flow, out);
    }
  }
  if (failure.outOfMemory) npargs::memoryError(failure.text);
  if (failure) throw std::runtime_error(failure.text);
  if (!sizeFault.empty()) throw std::runtime_error(sizeFault);
  return result;
}

py::array_t<float> readFlo(const py::object& pathValue) {
  const std::string path = pathArgument(pathValue);
  CTensor<float> flow;
  flowsolver::FlowFileRead result;
  {
    py::gil_scoped_release release;
    result = flowsolver::readFlowFile(path.c_str(), flow);
  }
  if (!result.opened) {
    PyErr_SetString(PyExc_OSError, result.problem.c_str());
    throw py::error_already_set();
  }
  if (!result.problem.empty()) valueError(result.problem);
  py::array_t<float> a({flow.ySize(), flow.xSize(), 2});
  float* out = a.mutable_data();
  {
    py::gil_scoped_release release;
    tensorToArray(flow, out);
  }
  return a;
}

void writeFlo(const py::object& pathValue, const py::object& flowValue) {
  const std::string path = pathArgument(pathValue);
  const py::array flow = flowArgument(flowValue);
  flowsolver::FlowFileWrite result;
  {
    py::gil_scoped_release release;
    CTensor<float> tensor;
    arrayToTensor<float>(flow, tensor);
    result = flowsolver::writeFlowFile(tensor, path.c_str());
  }
  if (!result.notice.empty()) {
    if (PyErr_WarnEx(PyExc_UserWarning, result.notice.c_str(), 1) != 0) {
      throw py::error_already_set();
    }
  }
  if (!result.problem.empty()) {
    PyErr_SetString(PyExc_OSError, result.problem.c_str());
    throw py::error_already_set();
  }
}

py::array_t<std::uint8_t> flowToColour(const py::object& flowValue,
                                       const py::object& saturationValue) {
  const py::array flow = flowArgument(flowValue);
  float saturation = 0.0f;  // at the longest vector
  if (!saturationValue.is_none()) {
    const char* text = "Saturation must be a finite number above 0, or None.";
    saturation = static_cast<float>(npargs::number(saturationValue, text));
    if (!(saturation > 0.0f) || !std::isfinite(saturation)) valueError(text);
  }
  const py::ssize_t rows = flow.shape(0), cols = flow.shape(1);
  py::array_t<std::uint8_t> picture({rows, cols, py::ssize_t{3}});
  std::uint8_t* out = picture.mutable_data();
  {
    py::gil_scoped_release release;
    CTensor<float> tensor, colour;
    arrayToTensor<float>(flow, tensor);
    flowsolver::saturatedColour(tensor, saturation, colour);
    // The colours are whole numbers 0..255.
    const std::size_t plane = static_cast<std::size_t>(rows) * cols;
    for (std::size_t p = 0; p < plane; ++p) {
      for (int c = 0; c < 3; ++c)
        *out++ = static_cast<std::uint8_t>(colour.data()[p + c * plane]);
    }
  }
  return picture;
}

// The default as the shortest decimal that reads back as it (0.8 rather than the double
// nearest 0.8f), so that the signature shows what a caller would write.
double shortestDefault(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return std::strtod(text, nullptr);
}

}  // namespace

void addFlowFunctions(py::module_& m) {
  const flowdriver::FlowParameters d;
  m.def("dense_motion", &denseMotion, py::arg("frame1"), py::arg("frame2"),
        py::arg("sigma") = shortestDefault(d.sigma), py::arg("alpha") = shortestDefault(d.alpha),
        py::arg("beta") = shortestDefault(d.beta), py::arg("gamma") = shortestDefault(d.gamma),
        py::arg("threads") = py::none(),
        R"(dense_motion(frame1, frame2, sigma=0.8, alpha=30, beta=300, gamma=5, threads=None)

Dense optical flow from frame1 to frame2: descriptor matches on a grid, then a coarse-to-fine
variational solver. The same computation, bit for bit, as denseMotion in GNU Octave or MATLAB.

frame1, frame2: H x W x C arrays (C >= 3; channels 0 to 2 are compared as colours) of float32,
    float64 or uint8 (uint8 values are taken as 0..255), indexed [row, column, channel]. Any
    memory layout.
sigma: presmoothing scale (1e-38 to 1e6); alpha: smoothness weight (above 0); beta: weight of
    the descriptor matches (0 or more); gamma: weight of gradient constancy (0 or more).
threads: number of threads (1 to 1024); None: OMP_NUM_THREADS, else the number of cores. The
    result does not depend on it. Other Python threads run during the computation.

Returns an H x W x 2 float32 array: [..., 0] the horizontal component u (towards larger
columns), [..., 1] the vertical component v (towards larger rows), in pixels; pixel (r, c) of
frame1 corresponds to (r + v, c + u) in frame2.

Raises TypeError for other element types or non-numeric parameters, ValueError for other
shapes or a bad sigma, MemoryError when the computation needs more memory than this process
may take (MOTIONSEG_MEMORY_LIMIT sets a ceiling, e.g. "8G").

Example:
    >>> import cv2, motionseg
    >>> f1 = cv2.imread("a.png")[..., ::-1]   # BGR -> RGB
    >>> f2 = cv2.imread("b.png")[..., ::-1]
    >>> flow = motionseg.dense_motion(f1, f2)
    >>> flow.shape, flow.dtype
    ((480, 640, 2), dtype('float32'))
)");

  m.def("read_flo", &readFlo, py::arg("path"),
        R"(read_flo(path)

Reads a .flo flow file (the tag "PIEH", width and height as 32-bit integers, then u and v
interleaved pixel by pixel in row order, little-endian float32).

path: str, bytes or os.PathLike.
Returns an H x W x 2 float32 array ([..., 0] horizontal, [..., 1] vertical).
Raises OSError when the file cannot be opened, ValueError when it is shorter than its header
or its data, or announces an implausible size.

Example:
    >>> flow = motionseg.read_flo("out.flo")
)");

  m.def("write_flo", &writeFlo, py::arg("path"), py::arg("flow"),
        R"(write_flo(path, flow)

Writes a flow as a .flo file, byte for byte as other .flo writers do (the tag "PIEH", width and
height as 32-bit integers, then u and v interleaved in row order, little-endian float32).

path: str, bytes or os.PathLike; a name not ending in ".flo" gives a UserWarning (the file is
    written all the same).
flow: H x W x 2 float32 array ([..., 0] horizontal, [..., 1] vertical), any memory layout.
Raises TypeError or ValueError for another element type or shape, OSError when the file
cannot be written completely.

Example:
    >>> motionseg.write_flo("out.flo", flow)
)");

  m.def("flow_to_colour", &flowToColour, py::arg("flow"), py::arg("saturation") = py::none(),
        R"(flow_to_colour(flow, saturation=None)

The colour-wheel picture of a flow: the direction gives the hue (right red, down blue, left
green, up yellow), the length the saturation, full from `saturation` pixels on (None: from the
longest vector on). The same picture as flow_between's colour image.

flow: H x W x 2 float32 array ([..., 0] horizontal, [..., 1] vertical).
saturation: length in pixels drawn at full colour (above 0), or None.
Returns an H x W x 3 uint8 array of red, green, blue (for cv2.imwrite reverse the channels:
picture[..., ::-1]).

Example:
    >>> picture = motionseg.flow_to_colour(flow, saturation=10)
)");
}

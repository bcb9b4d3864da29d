// The flow functions of the Python module: dense_motion over the flow driver, .flo files and
// the colour picture of a flow. Arrays are indexed [row, column, channel]; the flow's channel 0
// is the horizontal component u, channel 1 the vertical component v.
#include "python/module_parts.h"
#include "python/numpy_arguments.h"

#include "flow/containers/CTensor.h"
#include "flow/driver/flow_call.h"
#include "flow/driver/run_flow.h"
#include "flow/driver/video_flows.h"
#include "flow/driver/flow_memory.h"
#include "flow/parallel/thread_count.h"
#include "flow/solver/flow_colour.h"
#include "flow/solver/flow_file.h"

#include "apps/safe_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

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

/// The flow argument of flow_to_colour: float32 or float64 (rounded to single precision, as
/// flowToColour takes it), rows x columns x 2.
py::array colourFlowArgument(const py::object& value) {
  const char* text = "Flow must be a float32 or float64 array of rows x columns x 2.";
  py::array flow = npargs::asArray(value, text);
  if (!npargs::hasType<float>(flow) && !npargs::hasType<double>(flow)) typeError(text);
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

/// The flow's parameters as dense_motion checks them, and the threads (None: the default).
struct FlowArguments {
  flowdriver::FlowParameters parameters;
  int threads = 1;
};

FlowArguments flowArguments(const py::object& sigmaValue, const py::object& alphaValue,
                            const py::object& betaValue, const py::object& gammaValue,
                            const py::object& threadsValue) {
  FlowArguments a;
  flowdriver::FlowParameters& p = a.parameters;
  p.sigma = parameter(sigmaValue, "Sigma must be a numeric scalar.");
  p.alpha = parameter(alphaValue, "Alpha must be a numeric scalar.");
  p.beta = parameter(betaValue, "Beta must be a numeric scalar.");
  p.gamma = parameter(gammaValue, "Gamma must be a numeric scalar.");
  check(flowdriver::sigmaFault(p.sigma));
  check(flowdriver::weightFault(p.alpha, p.beta, p.gamma));
  a.threads = flowthreads::threadCount();
  if (!threadsValue.is_none()) {
    a.threads = static_cast<int>(npargs::integer(threadsValue, 1, 1024,
                                                 "Threads must be a whole number or None.",
                                                 "Threads must be between 1 and 1024."));
  }
  return a;
}

/// Refuses (MemoryError, naming `function`) the flow of rows x cols x channels frames when
/// `working` and the float32 result are more than the process may take.
void requireFlowMemory(std::int64_t rows, std::int64_t cols, std::int64_t channels,
                       const membudget::Bytes& working, const char* function) {
  membudget::Estimate need;
  need.outputs = membudget::Bytes::product(
      {2, sizeof(float), static_cast<std::uint64_t>(rows), static_cast<std::uint64_t>(cols)});
  need.working = working;
  need.what = std::to_string(rows) + "-by-" + std::to_string(cols) + "-by-" +
              std::to_string(channels) + " frames";
  npargs::requireMemory(need, function);
}

/// A failure of the flow driver as the Python exception dense_motion raises.
void raiseFailure(const flowdriver::FlowFailure& failure) {
  if (failure.interrupted) throw py::error_already_set();
  if (failure.outOfMemory) npargs::memoryError(failure.text);
  if (failure) throw std::runtime_error(failure.text);
}

/// One flow computed without the interpreter lock into `result` (rows x cols x 2):
/// compute(flow, cancel) fills the flow and `frames` the range of the frames as given. Then,
/// with the lock, what dense_motion raises for a failure, a flow of another size or one that
/// is not finite, and its warning for frames of 0..1.
void flowInto(py::array_t<float>& result, const flowdriver::FlowParameters& p,
              flowdriver::ValueRange& frames,
              const std::function<void(CTensor<float>&, const flowdriver::CancelHook&)>& compute) {
  const int rows = static_cast<int>(result.shape(0)), cols = static_cast<int>(result.shape(1));
  float* out = result.mutable_data();
  flowdriver::FlowFailure failure;
  std::string sizeFault, finiteFault;
  {
    py::gil_scoped_release release;
    CTensor<float> flow;
    // Ctrl-C: Python's signal handlers run only with the interpreter lock, so the hook,
    // polled on this thread between pyramid levels and grid rows of the matching, takes the
    // lock just for the poll. A handler that raised (KeyboardInterrupt) leaves its error set
    // for the raise below.
    const flowdriver::CancelHook cancel = [] {
      py::gil_scoped_acquire acquire;
      return PyErr_CheckSignals() != 0;
    };
    failure = flowdriver::catchFlowFailure([&] { compute(flow, cancel); });
    if (!failure) {
      sizeFault = flowdriver::flowSizeFault(flow, rows, cols);
      if (sizeFault.empty()) {
        finiteFault = flowdriver::notFiniteFlowFault(flow, frames, p.alpha, p.beta, p.gamma);
        tensorToArray(flow, out);
      }
    }
  }
  raiseFailure(failure);
  if (!sizeFault.empty()) throw std::runtime_error(sizeFault);
  // Frames of 0..1 give a poor flow, which is still the one asked for: a warning only.
  if (flowdriver::unitRange(frames) &&
      PyErr_WarnEx(PyExc_UserWarning, flowdriver::kUnitRangeWarning, 1) != 0) {
    throw py::error_already_set();
  }
  if (!finiteFault.empty()) valueError(finiteFault);
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
  const FlowArguments a =
      flowArguments(sigmaValue, alphaValue, betaValue, gammaValue, threadsValue);
  // The two single-precision frames and the computation.
  requireFlowMemory(rows, cols, channels,
                    flowdriver::flowInputBytes(cols, rows, channels) +
                        flowdriver::flowWorkingBytes(cols, rows, channels),
                    "dense_motion");
  py::array_t<float> result({rows, cols, std::int64_t{2}});
  // One stretch without the interpreter lock: conversion, computation and the result's copy.
  flowdriver::ValueRange frames;
  flowInto(result, a.parameters, frames,
           [&](CTensor<float>& flow, const flowdriver::CancelHook& cancel) {
             CTensor<float> image1, image2;
             frameToTensor(first, image1);
             frameToTensor(second, image2);
             flowdriver::widenRange(frames, image1);
             flowdriver::widenRange(frames, image2);
             runFlow(image1, image2, flow, a.parameters, a.threads, cancel, nullptr);
           });
  return result;
}

/// The flows of one video with each frame's own work done once (flowdriver::VideoFlows), for
/// video_flows: frames are added by their index in the video and flows asked between two of
/// them, with dense_motion's checks, texts, warnings and bits.
class VideoFlowsBinding {
 public:
  VideoFlowsBinding(const py::object& sigmaValue, const py::object& alphaValue,
                    const py::object& betaValue, const py::object& gammaValue,
                    const py::object& threadsValue)
      : arguments_(flowArguments(sigmaValue, alphaValue, betaValue, gammaValue, threadsValue)),
        video_(new flowdriver::VideoFlows(arguments_.parameters, arguments_.threads)) {}

  bool has(long long index) const { return video_->has(index); }

  /// Frame `index` from `value` (checked as dense_motion checks its frame1, or with `first`
  /// false its frame2), unless it is there already; frames other than `keep` are dropped
  /// first.
  void add(long long index, const py::object& value, long long keep, bool first) {
    if (video_->has(index)) return;
    const py::array frame = frameArgument(value, first ? "First" : "Second");
    const Shape shape{frame.shape(0), frame.shape(1), frame.shape(2)};
    // As dense_motion: a second frame unlike the first is a size fault before a shape fault.
    const auto other = shapes_.find(keep);
    if (!first && other != shapes_.end() && other->second != shape)
      valueError("Input images must have the same size !");
    check(flowdriver::frameShapeFault(shape[0], shape[1], shape[2]));
    requireMemory(shape);
    flowdriver::FlowFailure failure;
    {
      py::gil_scoped_release release;
      failure = flowdriver::catchFlowFailure([&] {
        CTensor<float> image;
        frameToTensor(frame, image);
        video_->add(index, std::move(image), keep);
      });
    }
    for (auto s = shapes_.begin(); s != shapes_.end();)
      s = video_->has(s->first) ? std::next(s) : shapes_.erase(s);
    raiseFailure(failure);
    shapes_[index] = shape;
  }

  /// The flow from frame `from` to frame `to`, both added: dense_motion's result for them.
  py::array_t<float> flow(long long from, long long to) {
    if (!video_->has(from) || !video_->has(to))
      throw std::logic_error("_VideoFlows: a frame of the pair was not added");
    const Shape& shape = shapes_.at(from);
    if (shapes_.at(to) != shape) valueError("Input images must have the same size !");
    requireMemory(shape);
    py::array_t<float> result({shape[0], shape[1], std::int64_t{2}});
    flowdriver::ValueRange frames = video_->range(from, to);
    flowInto(result, arguments_.parameters, frames,
             [&](CTensor<float>& flow, const flowdriver::CancelHook& cancel) {
               video_->flow(from, to, flow, cancel);
             });
    return result;
  }

 private:
  using Shape = std::array<std::int64_t, 3>;

  // The frame being converted and the flows' working memory with the frames they keep.
  static void requireMemory(const Shape& shape) {
    const std::int64_t rows = shape[0], cols = shape[1], channels = shape[2];
    requireFlowMemory(rows, cols, channels,
                      flowdriver::flowInputBytes(cols, rows, channels) +
                          flowdriver::videoWorkingBytes(cols, rows, channels),
                      "video_flows");
  }

  FlowArguments arguments_;
  std::unique_ptr<flowdriver::VideoFlows> video_;
  std::map<long long, Shape> shapes_;  // of the frames video_ holds
};

/// Raises the OSError subclass Python gives the C library's error number (FileNotFoundError,
/// PermissionError, IsADirectoryError, NotADirectoryError, else OSError) with text, its
/// errno set; `detail` (if any) is added as a note.
[[noreturn]] void fileError(int error, const std::string& text, const std::string& detail = "") {
  PyObject* type = PyExc_OSError;
  if (error == ENOENT) {
    type = PyExc_FileNotFoundError;
  } else if (error == EACCES || error == EPERM) {
    type = PyExc_PermissionError;
  } else if (error == EISDIR) {
    type = PyExc_IsADirectoryError;
  } else if (error == ENOTDIR) {
    type = PyExc_NotADirectoryError;
  }
  py::object exception = py::reinterpret_borrow<py::object>(type)(text);
  if (error != 0) exception.attr("errno") = error;
  if (!detail.empty() && py::hasattr(exception, "add_note")) exception.attr("add_note")(detail);
  PyErr_SetObject(type, exception.ptr());
  throw py::error_already_set();
}

py::array_t<float> readFlo(const py::object& pathValue) {
  const std::string path = pathArgument(pathValue);
  CTensor<float> flow;
  flowsolver::FlowFileRead result;
  {
    py::gil_scoped_release release;
    result = flowsolver::readFlowFile(path.c_str(), flow);
  }
  if (!result.opened) fileError(result.error, result.problem);
  if (!result.problem.empty()) valueError(result.problem);
  py::array_t<float> a({flow.ySize(), flow.xSize(), 2});
  float* out = a.mutable_data();
  {
    py::gil_scoped_release release;
    tensorToArray(flow, out);
  }
  return a;
}

/// A flow argument of write_flo: float32 or float64 (stored rounded to single precision, as
/// the Octave writeFlo stores it), rows x columns x 2.
py::array floFlowArgument(const py::object& value) {
  const char* text = "Flow must be a float32 or float64 array of rows x columns x 2.";
  py::array flow = npargs::asArray(value, text);
  if (!npargs::hasType<float>(flow) && !npargs::hasType<double>(flow)) typeError(text);
  if (flow.ndim() != 3 || flow.shape(2) != 2) valueError(text);
  return flow;
}

/// The bytes of a .flo file of flow (rows x columns x 2 of T): the tag, the width and the
/// height, then u and v of every pixel, row by row, in single precision.
template <class T>
void floBytes(const py::array& flow, std::vector<unsigned char>& bytes) {
  const auto in = flow.unchecked<T, 3>();
  const std::int32_t height = static_cast<std::int32_t>(in.shape(0)),
                     width = static_cast<std::int32_t>(in.shape(1));
  bytes.resize(12 + 8 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::memcpy(bytes.data(), "PIEH", 4);
  std::memcpy(bytes.data() + 4, &width, 4);
  std::memcpy(bytes.data() + 8, &height, 4);
  unsigned char* out = bytes.data() + 12;
  for (py::ssize_t y = 0; y < height; ++y) {
    for (py::ssize_t x = 0; x < width; ++x) {
      const float uv[2] = {static_cast<float>(in(y, x, 0)), static_cast<float>(in(y, x, 1))};
      std::memcpy(out, uv, 8);
      out += 8;
    }
  }
}

void writeFlo(const py::object& pathValue, const py::object& flowValue) {
  const std::string path = pathArgument(pathValue);
  const py::array flow = floFlowArgument(flowValue);
  const py::ssize_t rows = flow.shape(0), cols = flow.shape(1);
  // What the readers refuse is not written: the sizes are the file's 32-bit fields and a
  // flow's container.
  if (!flowsolver::plausibleFlowSize(cols, rows)) {
    valueError("Flow is " + std::to_string(rows) + "-by-" + std::to_string(cols) +
               "-by-2; a flow file holds at most 2147483647 values (2 x rows x columns, a size "
               "of 0 counted as 1).");
  }
  membudget::Estimate need;
  need.working = membudget::Bytes::product(
      {8, static_cast<std::uint64_t>(rows), static_cast<std::uint64_t>(cols)});
  need.what = "the file's " + std::to_string(rows) + "-by-" + std::to_string(cols) + " flow";
  npargs::requireMemory(need, "write_flo");
  if (!flowsolver::hasFloExtension(path)) {
    const std::string notice = path + " should have extension '.flo'";
    if (PyErr_WarnEx(PyExc_UserWarning, notice.c_str(), 1) != 0) throw py::error_already_set();
  }

  // The whole file is made first, then written beside the target and renamed into place, so
  // a failed write leaves the old file (or none), never a part. A target that exists and is
  // no regular file (a device, a pipe) is written to directly: renaming would replace it.
  int error = 0;  // of the failure, if any
  std::string failure, detail;
  {
    py::gil_scoped_release release;
    const std::string created = "Cannot create " + path + ".";
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const char* place = folder.empty() ? "." : folder.c_str();
    struct stat target {};
    struct stat folderStat {};
    const bool exists = stat(path.c_str(), &target) == 0;
    const bool direct = exists && !S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode);
    // Where the file cannot be made, nothing is computed.
    if (exists && S_ISDIR(target.st_mode)) {
      error = EISDIR;
    } else if (!direct && stat(place, &folderStat) != 0) {
      error = errno;
    } else if (!direct && !S_ISDIR(folderStat.st_mode)) {
      error = ENOTDIR;
    } else if (!direct && access(place, W_OK | X_OK) != 0) {
      error = errno;
    }
    if (error != 0) failure = created;
    std::vector<unsigned char> bytes;
    if (failure.empty()) {
      if (npargs::hasType<float>(flow)) {
        floBytes<float>(flow, bytes);
      } else {
        floBytes<double>(flow, bytes);
      }
    }
    if (failure.empty() && direct) {
      std::FILE* file = std::fopen(path.c_str(), "wb");
      if (file == nullptr) {
        error = errno;
        failure = created;
      } else {
        const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        const int writeError = errno;
        const bool closed = std::fclose(file) == 0;
        if (!whole || !closed) {
          error = whole ? errno : writeError;
          failure = "Could not write all of " + path + ".";
        }
      }
    } else if (failure.empty()) {
      detail = safeout::writeFile(path, bytes.data(), bytes.size());
      if (!detail.empty()) failure = "Could not write all of " + path + ".";
    }
  }
  if (!failure.empty()) fileError(error, failure, detail);
}

py::array_t<std::uint8_t> flowToColour(const py::object& flowValue,
                                       const py::object& saturationValue) {
  const py::array flow = colourFlowArgument(flowValue);
  float saturation = 0.0f;  // at the longest known vector
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
    frameToTensor(flow, tensor);
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

/// int16 of x as MATLAB and GNU Octave convert a double: the nearest whole number, halves
/// away from zero, saturated to -32768..32767, NaN to 0.
std::int16_t toInt16(double x) {
  if (std::isnan(x)) return 0;
  const double whole = std::round(x);  // halves away from zero
  if (whole <= -32768.0) return -32768;
  if (whole >= 32767.0) return 32767;
  return static_cast<std::int16_t>(whole);
}

/// The steps of a flow of elements T (rows x columns x 2, u then v) into `out`, a rows x
/// columns x 2 C-order int16 array: round(v), then round(u), each value first taken as a
/// double as the Octave integerFlow does.
template <class T>
void integerSteps(const py::array& flow, std::int16_t* out) {
  const auto in = flow.unchecked<T, 3>();
  for (py::ssize_t y = 0; y < in.shape(0); ++y) {
    for (py::ssize_t x = 0; x < in.shape(1); ++x) {
      *out++ = toInt16(static_cast<double>(in(y, x, 1)));
      *out++ = toInt16(static_cast<double>(in(y, x, 0)));
    }
  }
}

/// Calls integerSteps for the element type of flow; false when it is none of the real
/// numeric types.
template <class T, class... Others>
bool integerStepsOf(const py::array& flow, std::int16_t* out) {
  if (npargs::hasType<T>(flow)) {
    integerSteps<T>(flow, out);
    return true;
  }
  if constexpr (sizeof...(Others) > 0) {
    return integerStepsOf<Others...>(flow, out);
  } else {
    return false;
  }
}

/// Whether flow's element type is one integerFlow takes (a real number or bool, not int16).
template <class... Types>
bool hasOneOf(const py::array& flow) {
  return (npargs::hasType<Types>(flow) || ...);
}

py::array_t<std::int16_t> integerFlow(const py::object& flowValue) {
  const char* text = "Flow must be a real numeric array of rows x columns x 2 (u, then v).";
  const py::array flow = npargs::asArray(flowValue, text);
  if (npargs::hasType<std::int16_t>(flow)) {
    typeError(
        "Flow is int16, the type integer_flow returns; pass the flow of dense_motion or "
        "read_flo.");
  }
  if (!hasOneOf<bool, std::int8_t, std::uint8_t, std::uint16_t, std::int32_t, std::uint32_t,
                std::int64_t, std::uint64_t, float, double>(flow)) {
    typeError(text);
  }
  if (flow.ndim() != 3 || flow.shape(2) != 2) valueError(text);
  const py::ssize_t rows = flow.shape(0), cols = flow.shape(1);
  membudget::Estimate need;
  need.outputs =
      membudget::Bytes::product({2, sizeof(std::int16_t), static_cast<std::uint64_t>(rows),
                                 static_cast<std::uint64_t>(cols)});
  need.what = std::to_string(rows) + "-by-" + std::to_string(cols) + " steps";
  npargs::requireMemory(need, "integer_flow");
  py::array_t<std::int16_t> steps({rows, cols, py::ssize_t{2}});
  std::int16_t* out = steps.mutable_data();
  {
    py::gil_scoped_release release;
    integerStepsOf<float, double, bool, std::int8_t, std::uint8_t, std::uint16_t, std::int32_t,
                   std::uint32_t, std::int64_t, std::uint64_t>(flow, out);
  }
  return steps;
}

// The default as the shortest decimal that reads back as it (0.8 rather than the double
// nearest 0.8f), so that the signature shows what a caller would write.
double shortestDefault(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return std::strtod(text, nullptr);
}

// dense_motion's signature line, for inspect and help(), with the defaults of the one
// parameters record.
std::string signatureLine(const flowdriver::FlowParameters& d) {
  char text[160];
  std::snprintf(text, sizeof text,
                "dense_motion(frame1, frame2, sigma=%g, alpha=%g, beta=%g, gamma=%g, threads=None)",
                static_cast<double>(d.sigma), static_cast<double>(d.alpha),
                static_cast<double>(d.beta), static_cast<double>(d.gamma));
  return text;
}

void addDenseMotion(py::module_& m) {
  const flowdriver::FlowParameters d;
  m.def("dense_motion", &denseMotion, py::arg("frame1"), py::arg("frame2"),
        py::arg("sigma") = shortestDefault(d.sigma), py::arg("alpha") = shortestDefault(d.alpha),
        py::arg("beta") = shortestDefault(d.beta), py::arg("gamma") = shortestDefault(d.gamma),
        py::arg("threads") = py::none(),
        (signatureLine(d) + R"(
--

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

Frames whose values all lie within 0..1 (floating-point images of image libraries) give a
UserWarning: the flow is tuned for 0..255 and far less accurate on them; multiply them by 255.

Raises TypeError for other element types or non-numeric parameters, ValueError for other
shapes, a bad sigma or a flow that is not finite (the message names the frames' range or the
parameter that leads there), MemoryError when the computation needs more memory than this process
may take (MOTIONSEG_MEMORY_LIMIT sets a ceiling, e.g. "8G").

Example:
    >>> import cv2, motionseg
    >>> f1 = cv2.imread("a.png")[..., ::-1]   # BGR -> RGB
    >>> f2 = cv2.imread("b.png")[..., ::-1]
    >>> flow = motionseg.dense_motion(f1, f2)
    >>> flow.shape, flow.dtype
    ((480, 640, 2), dtype('float32'))
)")
            .c_str());
}

}  // namespace

void addFlowFunctions(py::module_& m) {
  addDenseMotion(m);
  // Held by video_flows across its pairs: each frame's presmoothing and descriptors are made
  // once, and the working memory of one flow serves the next.
  py::class_<VideoFlowsBinding>(m, "_VideoFlows",
                                "The flows of one video, each frame prepared once (for "
                                "video_flows).")
      .def(py::init<const py::object&, const py::object&, const py::object&, const py::object&,
                    const py::object&>(),
           py::arg("sigma"), py::arg("alpha"), py::arg("beta"), py::arg("gamma"),
           py::arg("threads"))
      .def("has", &VideoFlowsBinding::has, py::arg("index"))
      .def("add", &VideoFlowsBinding::add, py::arg("index"), py::arg("frame"), py::arg("keep"),
           py::arg("first"))
      .def("flow", &VideoFlowsBinding::flow, py::arg("first"), py::arg("second"));
  m.def("read_flo", &readFlo, py::arg("path"),
        R"(read_flo(path)
--

Reads a .flo flow file (the tag "PIEH", width and height as 32-bit integers, then u and v
interleaved pixel by pixel in row order, little-endian float32), with the checks and texts of
the Octave readFlo.

path: str, bytes or os.PathLike.
Returns an H x W x 2 float32 array ([..., 0] horizontal, [..., 1] vertical).
Raises OSError when the file cannot be opened (FileNotFoundError when it does not exist,
PermissionError, IsADirectoryError), ValueError when it is shorter than its header or its
data, does not start with the tag PIEH, or announces an implausible size (2 x W x H above
2**31 - 1, a size of 0 counted as 1).

Example:
    >>> flow = motionseg.read_flo("out.flo")
)");

  m.def("write_flo", &writeFlo, py::arg("path"), py::arg("flow"),
        R"(write_flo(path, flow)
--

Writes a flow as a .flo file, byte for byte as other .flo writers do (the tag "PIEH", width and
height as 32-bit integers, then u and v interleaved in row order, little-endian float32). The
file is written beside path under a temporary name and renamed into place once whole, so a
failed write leaves the old file as it was (a symbolic link at path is replaced by the file; a
device or pipe at path is written to directly).

path: str, bytes or os.PathLike; a name not ending in ".flo" gives a UserWarning (the file is
    written all the same).
flow: H x W x 2 float32 or float64 array ([..., 0] horizontal, [..., 1] vertical), any memory
    layout; float64 values are stored rounded to float32 (beyond its range as +-inf), as the
    Octave writeFlo stores them.
Raises TypeError or ValueError for another element type or shape, or a size read_flo would
refuse; OSError when the file cannot be created ("Cannot create PATH.": FileNotFoundError for
a missing folder, PermissionError, IsADirectoryError) or written completely ("Could not write
all of PATH.", with the reason as a note).

Example:
    >>> motionseg.write_flo("out.flo", flow)
)");

  m.def("integer_flow", &integerFlow, py::arg("flow"),
        R"(integer_flow(flow)
--

A flow as the whole-pixel int16 steps that track_neighbours, region_linkage and
region_motion_level take, bit for bit as the Octave integerFlow: the vertical component first,
both rounded to the nearest whole pixel with halves away from zero (2.5 -> 3, -2.5 -> -3),
beyond the int16 range saturated to -32768 or 32767 (their targets then lie outside any frame),
NaN to 0. flow.astype(np.int16) is not the same: it keeps u first and truncates.

flow: H x W x 2 array of u, then v ([..., 0] horizontal), e.g. from dense_motion or read_flo;
    any real numeric type but int16 (which is already steps: a second conversion would swap
    the planes back), any memory layout.
Returns an H x W x 2 int16 array: [..., 0] = round(v), added to the row, [..., 1] = round(u),
added to the column.
Raises TypeError for int16 or another element type, ValueError for another shape.

Example:
    >>> flow = np.array([[[2.5, -0.5], [np.nan, 1e6]]], np.float32)
    >>> motionseg.integer_flow(flow)
    array([[[   -1,     3],
            [32767,     0]]], dtype=int16)
)");

  m.def("flow_to_colour", &flowToColour, py::arg("flow"), py::arg("saturation") = py::none(),
        R"(flow_to_colour(flow, saturation=None)
--

The colour-wheel picture of a flow: the direction gives the hue (right red, down blue, left
green, up yellow), the length the saturation, full from `saturation` pixels on (None: from the
longest known vector on). The same picture as flow_between's colour image and as flowToColour
in GNU Octave or MATLAB. Unknown flow, vectors longer than 1e9 pixels (ground-truth .flo files
mark pixels without truth with 1e10), is drawn white and left out of the saturation.

flow: H x W x 2 float32 or float64 array ([..., 0] horizontal, [..., 1] vertical); float64
    values are rounded to float32.
saturation: length in pixels drawn at full colour (above 0), or None.
Returns an H x W x 3 uint8 array of red, green, blue (for cv2.imwrite reverse the channels:
picture[..., ::-1]).

Example:
    >>> picture = motionseg.flow_to_colour(flow, saturation=10)
)");
}

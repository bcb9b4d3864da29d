// flow_colour_wheel: the legend of the flow pictures, drawn by the same colour code as
// flow_to_colour and computed as the toolbox's flowColourWheel computes it.
#include "python/module_parts.h"
#include "python/numpy_arguments.h"

#include "flow/containers/CTensor.h"
#include "flow/solver/flow_colour.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace py = pybind11;

namespace {

/// The side N: a whole number of 3 or more (an int, or a float or NumPy number of whole value).
std::int64_t wheelSide(const py::object& value) {
  const char* text = "N must be a whole number of 3 or more.";
  if (PyBool_Check(value.ptr())) npargs::typeError(text);
  const double n = npargs::number(value, text);
  if (!(n >= 3) || !std::isfinite(n) || n != std::trunc(n)) npargs::valueError(text);
  // Beyond 2^31 the picture could never be held; the memory check below says so in bytes.
  return n > 2147483647.0 ? std::int64_t{2147483647} : static_cast<std::int64_t>(n);
}

py::array_t<std::uint8_t> flowColourWheel(const py::object& nValue) {
  const std::int64_t n = wheelSide(nValue);
  const auto side = static_cast<std::uint64_t>(n);
  membudget::Estimate need;
  need.outputs = membudget::Bytes::product({side, side, 3});
  // The flow (2 planes) and the colours (3 planes) in single precision, and the flow's copy.
  need.working = membudget::Bytes::product({side, side, 7, sizeof(float)});
  need.what = "a " + std::to_string(n) + "-by-" + std::to_string(n) + " legend";
  npargs::requireMemory(need, "flow_colour_wheel");

  py::array_t<std::uint8_t> picture(
      {static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(n), py::ssize_t{3}});
  std::uint8_t* out = picture.mutable_data();
  {
    py::gil_scoped_release release;
    // The vector (dx, dy) from the centre (N + 1) / 2 (1-based) to every pixel, the edge of the
    // disc (radius (N - 1) / 2) at full colour.
    const double centre = (static_cast<double>(n) + 1) / 2,
                 radius = (static_cast<double>(n) - 1) / 2;
    const int size = static_cast<int>(n);
    CTensor<float> flow(size, size, 2), colour;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        flow(x, y, 0) = static_cast<float>((x + 1) - centre);
        flow(x, y, 1) = static_cast<float>((y + 1) - centre);
      }
    }
    flowsolver::saturatedColour(flow, static_cast<float>(radius), colour);
    // Row-major RGB, white outside the disc.
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const bool outside = std::hypot((x + 1) - centre, (y + 1) - centre) > radius;
        for (int c = 0; c < 3; ++c)
          *out++ = outside ? 255 : static_cast<std::uint8_t>(colour(x, y, c));
      }
    }
  }
  return picture;
}

}  // namespace

void addColourFunctions(py::module_& m) {
  m.def("flow_colour_wheel", &flowColourWheel, py::arg("n") = 151,
        R"(flow_colour_wheel(n=151)
--

Legend of flow_to_colour's colour coding: the pixel at column offset dx and row offset dy
from the centre has the colour flow_to_colour gives the flow vector (u, v) = (dx, dy), with
the edge of the disc (radius (n - 1) / 2) at full colour; white outside the disc. The same
picture, bit for bit, as flowColourWheel in GNU Octave.

n: side in pixels, a whole number of 3 or more.
Returns an n x n x 3 uint8 array of red, green, blue.

Raises TypeError for an n that is no number, ValueError for other values ("N must be a whole
number of 3 or more."), MemoryError for a legend that does not fit in memory.

Example:
    >>> legend = motionseg.flow_colour_wheel(101)
)");
}

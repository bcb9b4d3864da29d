// The level-set steps of the Python module: front_velocity, surface_slope, surface_partials,
// sign_flip, trough_points and label_gap_fill over the same cores as the plug-ins, with their
// checks and texts. A field is an M x N float64 array indexed [row, column], as in the
// toolbox; the cores read every array in column-major order (a copy is made when needed).
#include "python/module_parts.h"
#include "python/numpy_arguments.h"

#include "levelset/front_velocity.h"
#include "levelset/label_gap_fill.h"
#include "levelset/sign_flip.h"
#include "levelset/surface_partials.h"
#include "levelset/surface_slope.h"
#include "levelset/trough_points.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace py = pybind11;
using npargs::typeError;
using npargs::valueError;

namespace {

using Field = py::array_t<double, py::array::f_style>;

/// The plug-ins' texts, formatted.
template <class... Args>
std::string format(const char* pattern, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

/// Input `position` (1-based, named `name`) as a column-major float64 array, else TypeError with
/// the plug-ins' text. A Python int or float counts as a 1 x 1 field, as a number typed in
/// Octave does.
Field doubleInput(const py::object& value, int position, const char* name) {
  const std::string text =
      format("Input %d (%s) must be a real double array, not complex or sparse.", position, name);
  if (py::isinstance<py::float_>(value) ||
      (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value))) {
    Field number(py::ssize_t{1});
    number.mutable_data()[0] = value.cast<double>();
    return number;
  }
  return npargs::columnMajor<double>(npargs::typedArray<double>(value, text));
}

/// The layout every input is read with: the rows and columns of input 1 as the plug-ins see it.
struct Layout {
  std::size_t m = 0, n = 0;
  std::size_t count() const { return m * n; }
};

Layout layoutOf(const py::array& first) {
  const npargs::HostShape shape = npargs::hostShape(first);
  return {shape.rows(), shape.cols()};
}

/// ValueError unless input `position` holds at least the elements of input 1.
void requireSizeOfFirst(const py::array& a, int position, const char* name, Layout layout) {
  if (npargs::count(a) < layout.count()) {
    valueError(
        format("Input %d (%s) has %zu elements; it must have at least the %zu of the "
               "%zu-by-%zu input 1.",
               position, name, npargs::count(a), layout.count(), layout.m, layout.n));
  }
}

/// A zero-filled M x N column-major float64 result (the plug-ins' outputs start at zero, and
/// the steps leave the border as it is).
Field zeroField(Layout layout) {
  return npargs::zeros<double>(
      {static_cast<py::ssize_t>(layout.m), static_cast<py::ssize_t>(layout.n)});
}

const double* in(const Field& a) {
  return a.data();
}

Field frontVelocity(const std::vector<py::object>& values) {
  static const char* const names[] = {"phi_x", "phi_y", "phi_xx", "phi_yy", "phi_xy",
                                      "S",     "U",     "V",      "w"};
  std::vector<Field> fields;
  for (int k = 0; k < 8; ++k)
    fields.push_back(doubleInput(values[k], k + 1, names[k]));
  const Layout layout = layoutOf(fields[0]);
  for (int k = 1; k < 8; ++k)
    requireSizeOfFirst(fields[k], k + 1, names[k], layout);
  // w: one number of any numeric type.
  const char* text = "Input 9 (w) must be a numeric scalar.";
  const py::array weightArray = npargs::asArray(values[8], text);
  if (weightArray.dtype().kind() == 'c' ||
      !(weightArray.dtype().kind() == 'f' || weightArray.dtype().kind() == 'i' ||
        weightArray.dtype().kind() == 'u' || weightArray.dtype().kind() == 'b')) {
    typeError(text);
  }
  if (npargs::count(weightArray) != 1) valueError(text);
  const double weight = npargs::number(weightArray.attr("item")(), text);

  Field speed = zeroField(layout);
  double* out = speed.mutable_data();
  {
    py::gil_scoped_release release;
    const levelset::FrontInputs inputs{in(fields[0]), in(fields[1]), in(fields[2]), in(fields[3]),
                                       in(fields[4]), in(fields[5]), in(fields[6]), in(fields[7])};
    levelset::frontVelocity(static_cast<std::ptrdiff_t>(layout.m),
                            static_cast<std::ptrdiff_t>(layout.n), inputs, weight, out);
  }
  return speed;
}

Field surfaceSlope(const py::object& phiValue, const py::object& speedValue) {
  const Field phi = doubleInput(phiValue, 1, "phi");
  const Field speed = doubleInput(speedValue, 2, "S");
  const Layout layout = layoutOf(phi);
  requireSizeOfFirst(speed, 2, "S", layout);
  Field slope = zeroField(layout);
  double* out = slope.mutable_data();
  {
    py::gil_scoped_release release;
    levelset::surfaceSlope(static_cast<std::ptrdiff_t>(layout.m),
                           static_cast<std::ptrdiff_t>(layout.n), in(phi), in(speed), out);
  }
  return slope;
}

py::tuple surfacePartials(const py::object& phiValue) {
  const Field phi = doubleInput(phiValue, 1, "phi");
  const Layout layout = layoutOf(phi);
  Field planes[5] = {zeroField(layout), zeroField(layout), zeroField(layout), zeroField(layout),
                     zeroField(layout)};
  const levelset::Partials partials{planes[0].mutable_data(), planes[1].mutable_data(),
                                    planes[2].mutable_data(), planes[3].mutable_data(),
                                    planes[4].mutable_data()};
  {
    py::gil_scoped_release release;
    levelset::surfacePartials(static_cast<std::ptrdiff_t>(layout.m),
                              static_cast<std::ptrdiff_t>(layout.n), in(phi), partials);
  }
  return py::make_tuple(planes[0], planes[1], planes[2], planes[3], planes[4]);
}

py::array_t<bool, py::array::f_style> signFlip(const py::object& phiValue) {
  const Field phi = doubleInput(phiValue, 1, "phi");
  const Layout layout = layoutOf(phi);
  auto marks =
      npargs::zeros<bool>({static_cast<py::ssize_t>(layout.m), static_cast<py::ssize_t>(layout.n)});
  bool* out = marks.mutable_data();
  {
    py::gil_scoped_release release;
    levelset::signFlip(static_cast<std::ptrdiff_t>(layout.m), static_cast<std::ptrdiff_t>(layout.n),
                       in(phi), out);
  }
  return marks;
}

py::tuple troughPoints(const py::object& fieldValue, const py::object& radiusValue) {
  const Field field = doubleInput(fieldValue, 1, "V");
  const Field radiusArray = doubleInput(radiusValue, 2, "r");
  // Only the first element of r is read, so any non-empty array will do.
  if (npargs::isEmpty(radiusArray)) valueError("Input 2 (r) must not be empty.");
  const std::int32_t radius = levelset::windowRadius(in(radiusArray)[0]);
  const Layout layout = layoutOf(field);
  Field rows = zeroField(layout), cols = zeroField(layout);
  const std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(layout.m),
                                       static_cast<py::ssize_t>(layout.n)};
  py::array_t<std::int64_t, py::array::f_style> rowIndex(shape), colIndex(shape);
  double* r = rows.mutable_data();
  double* c = cols.mutable_data();
  std::int64_t* ri = rowIndex.mutable_data();
  std::int64_t* ci = colIndex.mutable_data();
  {
    py::gil_scoped_release release;
    levelset::troughPoints(static_cast<std::ptrdiff_t>(layout.m),
                           static_cast<std::ptrdiff_t>(layout.n), in(field), radius, r, c);
    // The core's 1-based positions (0: none) as 0-based indices (-1: none).
    for (std::size_t p = 0; p < layout.count(); ++p) {
      ri[p] = static_cast<std::int64_t>(r[p]) - 1;
      ci[p] = static_cast<std::int64_t>(c[p]) - 1;
    }
  }
  return py::make_tuple(rowIndex, colIndex);
}

py::array labelGapFill(const py::object& labelsValue) {
  const char* typeText = "Input matrix must be of type uint16";
  const py::array labels = npargs::typedArray<std::uint16_t>(labelsValue, typeText);
  const npargs::HostShape shape = npargs::hostShape(labels);
  if (shape.ndims() > 2) valueError("Input matrix must be 2-dimensional");
  const auto source = npargs::columnMajor<std::uint16_t>(labels);
  auto filled = npargs::zeros<std::uint16_t>(
      {static_cast<py::ssize_t>(shape.rows()), static_cast<py::ssize_t>(shape.cols())});
  std::uint16_t* out = filled.mutable_data();
  // The plug-in prints its first 100 warnings one by one and sums up the rest.
  constexpr std::size_t kWarningsShown = 100;
  levelset::UnfilledPixels unfilled;
  {
    py::gil_scoped_release release;
    std::copy(source.data(), source.data() + shape.count(), out);
    unfilled = levelset::fillLabelGaps(static_cast<std::ptrdiff_t>(shape.rows()),
                                       static_cast<std::ptrdiff_t>(shape.cols()), source.data(),
                                       out, kWarningsShown);
  }
  // The plug-in's printed text, as one UserWarning: not an error, the pixels stay 0.
  std::string text;
  for (const levelset::PixelPosition& p : unfilled.first) {
    text += format(
        "Warning: point (%lld,%lld) could not be filled in - all neighbours are "
        "unlabeled",
        static_cast<long long>(p.row), static_cast<long long>(p.col));
  }
  if (unfilled.total > unfilled.first.size()) {
    text += format(
        "\nWarning: %llu more points could not be filled in - all neighbours are "
        "unlabeled\n",
        static_cast<unsigned long long>(unfilled.total - unfilled.first.size()));
  }
  if (!text.empty() && PyErr_WarnEx(PyExc_UserWarning, text.c_str(), 1) != 0) {
    throw py::error_already_set();
  }
  // The input's own shape (a 1-D map stays 1-D).
  return filled.attr("reshape")(labels.attr("shape"), py::arg("order") = "F");
}

}  // namespace

void addLevelsetFunctions(py::module_& m) {
  m.def(
      "front_velocity",
      [](const py::object& phi_x, const py::object& phi_y, const py::object& phi_xx,
         const py::object& phi_yy, const py::object& phi_xy, const py::object& S,
         const py::object& U, const py::object& V, const py::object& w) {
        return frontVelocity({phi_x, phi_y, phi_xx, phi_yy, phi_xy, S, U, V, w});
      },
      py::arg("phi_x"), py::arg("phi_y"), py::arg("phi_xx"), py::arg("phi_yy"), py::arg("phi_xy"),
      py::arg("S"), py::arg("U"), py::arg("V"), py::arg("w"),
      R"(front_velocity(phi_x, phi_y, phi_xx, phi_yy, phi_xy, S, U, V, w)
--

Front speed at every interior pixel: F = (1 - 0.3 * kappa) * S - w * max(n . (U, V), 0),
limited to [-1, 1], with kappa the curvature of the level sets of phi (limited to [-1, 1]; not
a number counts as 1) and n their unit normal. The same values as front_velocity in GNU Octave.

phi_x ... phi_xy: the partial derivatives of phi (surface_partials gives them), S the base
    speed, U and V the vector field: M x N float64 arrays (a Python number is 1 x 1), indexed
    [row, column]. Every input after the first is read in column-major order as an array of
    the first one's size, so it needs at least as many elements.
w: weight of the flux, a number (or a one-element array of any numeric type).
Returns an M x N float64 array; the border rows and columns are 0.

Raises TypeError for a field that is not float64 ("Input 3 (phi_xx) must be a real double
array, not complex or sparse.") or a w that is no number, ValueError for a field with too
few elements or a w of other than one element.

Example:
    >>> x, y, xx, yy, xy = motionseg.surface_partials(phi)
    >>> F = motionseg.front_velocity(x, y, xx, yy, xy, S, U, V, 0.5)
)");

  m.def("surface_slope", &surfaceSlope, py::arg("phi"), py::arg("S"),
        R"(surface_slope(phi, S)
--

S times the upwind gradient magnitude of phi at every interior pixel: the one-sided
differences are chosen by the sign of S, so that information travels with the front (unit
grid spacing). The same values as surface_slope in GNU Octave.

phi, S: M x N float64 arrays indexed [row, column]; S is read in column-major order as an
    array of phi's size (at least as many elements).
Returns an M x N float64 array; the border rows and columns are 0.

Raises TypeError for an input that is not float64, ValueError for an S with too few elements.

Example:
    >>> slope = motionseg.surface_slope(phi, np.ones_like(phi))
)");

  m.def("surface_partials", &surfacePartials, py::arg("phi"),
        R"(surface_partials(phi)
--

First and second partial derivatives of phi by central differences at every interior pixel
(unit grid spacing): x along a row (between neighbouring columns), y along a column. The same
values as surface_partials in GNU Octave.

phi: M x N float64 array indexed [row, column].
Returns the tuple (phi_x, phi_y, phi_xx, phi_yy, phi_xy) of M x N float64 arrays; their border
rows and columns are 0.

Raises TypeError for a phi that is not float64.

Example:
    >>> phi_x, phi_y, phi_xx, phi_yy, phi_xy = motionseg.surface_partials(phi)
)");

  m.def("sign_flip", &signFlip, py::arg("phi"),
        R"(sign_flip(phi)
--

One-pixel-wide map of the zero level set of phi: for every pair of 8-neighbours of which one
is non-negative and the other negative, the one closer to zero is marked (on a tie the
non-negative one). Border pixels take part; a value that is not a number is neither sign.
The same map as sign_flip in GNU Octave.

phi: M x N float64 array indexed [row, column].
Returns an M x N bool array.

Raises TypeError for a phi that is not float64.

Example:
    >>> motionseg.sign_flip(np.array([[0.5, -0.2]]))
    array([[False,  True]])
)");

  m.def("trough_points", &troughPoints, py::arg("V"), py::arg("r"),
        R"(trough_points(V, r)
--

Position of the smallest value in the (2r+1) x (2r+1) window around every pixel at least r
rows and columns from the border. The window is searched column by column, top to bottom,
for values below 2147483647, and only a strictly smaller value replaces the best so far, so
among equal minima the leftmost, then topmost, wins. A pixel whose own position comes back is
a local minimum of V. The same positions as trough_points in GNU Octave, 0-based.

V: M x N float64 array indexed [row, column].
r: the window radius, a number or a float64 array whose first element is taken, truncated
    towards zero (beyond the 32-bit range clamped to it; not a number searches no window).
Returns (rows, cols): two M x N int64 arrays of 0-based positions, so that
    V[rows[i, j], cols[i, j]] is the window's minimum; -1 for pixels too close to the border,
    for r < 0 and where no value lies below 2147483647. (GNU Octave's positions are these
    plus 1, with 0 for none.)

Raises TypeError for a V or an r array that is not float64, ValueError for an empty r.

Example:
    >>> rows, cols = motionseg.trough_points(V, 1)
    >>> i, j = np.indices(V.shape)
    >>> minima = (rows == i) & (cols == j)
)");

  m.def("label_gap_fill", &labelGapFill, py::arg("labels"),
        R"(label_gap_fill(labels)
--

Fills the unlabelled (0) pixels of a label map from their labelled neighbours, in the order
and with the priorities of labelGapFill in GNU Octave (the same map, bit for bit).

labels: M x N uint16 array indexed [row, column] (a 1-D array is one column).
Returns a uint16 array of the same shape. Pixels that cannot be filled (all neighbours
unlabelled) stay 0, and one UserWarning carries the text the Octave function prints for them
("Warning: point (3,4) could not be filled in - all neighbours are unlabeled...").

Raises TypeError ("Input matrix must be of type uint16") for another element type, ValueError
("Input matrix must be 2-dimensional") for more dimensions.

Example:
    >>> motionseg.label_gap_fill(np.array([[1, 0, 2]], dtype=np.uint16))
)");
}

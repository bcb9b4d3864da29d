// Crossing counts and binary codes in the Python module: crossing_counts, crossing_runs and
// bitcode_distance over the plug-ins' cores, with their checks and texts. Arrays keep the
// toolbox's [row, column] meaning; the cores read them in column-major order.
#include "python/module_parts.h"
#include "python/numpy_arguments.h"

#include "codes/bitcode_distance.h"
#include "crossing/crossing_counts.h"

#include <climits>
#include <cstdint>
#include <string>

namespace py = pybind11;
using npargs::valueError;

namespace {

/// The one computation behind crossing_counts and crossing_runs, as behind the two plug-ins.
py::array crossingCounts(const py::object& imageValue) {
  const py::array image =
      npargs::typedArray<std::uint8_t>(imageValue, "Input matrix must be of type uint8");
  const npargs::HostShape shape = npargs::hostShape(image);
  if (shape.ndims() > 2) valueError("Input matrix must be 2-dimensional");
  const std::size_t m = shape.rows(), n = shape.cols();
  // Sizes are held in 16 bits.
  const auto side = static_cast<std::size_t>(crossing::kMaxSide);
  if (m > side || n > side) {
    valueError("Input matrix is " + std::to_string(m) + "-by-" + std::to_string(n) + "; at most " +
               std::to_string(side) + " rows and " + std::to_string(side) +
               " columns are supported.");
  }
  const auto source = npargs::columnMajor<std::uint8_t>(image);
  auto counts =
      npargs::zeros<std::uint8_t>({static_cast<py::ssize_t>(m), static_cast<py::ssize_t>(n)});
  std::uint8_t* out = counts.mutable_data();
  if (m > 0 && n > 0) {
    py::gil_scoped_release release;
    crossing::crossingCounts(source.data(), static_cast<int>(m), static_cast<int>(n), out);
  }
  // The image's own shape (a 1-D image stays 1-D).
  return counts.attr("reshape")(image.attr("shape"), py::arg("order") = "F");
}

const char* const kCrossingDoc = R"(--

For every pixel of a uint8 image, the number of the eight straight rays from it (left, right,
up, down and the four diagonals) along which the image rises (a step p -> q with
image[p] < image[q]) an odd number of times: 0 to 8. The same counts as %s in GNU Octave.

image: M x N uint8 array indexed [row, column] (a 1-D array is one column), at most 32767 rows
    and columns.
Returns a uint8 array of the image's shape.

Raises TypeError ("Input matrix must be of type uint8") for another element type, ValueError
for more than two dimensions ("Input matrix must be 2-dimensional") or a larger image.

Example:
    >>> counts = motionseg.%s(np.uint8(mask) * 255)
)";

std::string crossingDoc(const char* python, const char* octave) {
  std::string text = std::string(python) + "(image)\n" + kCrossingDoc;
  for (const char* name : {octave, python})
    text.replace(text.find("%s"), 2, name);
  return text;
}

py::array_t<double, py::array::f_style> bitcodeDistance(const py::object& aValue,
                                                        const py::object& bValue) {
  const py::array a = npargs::typedArray<bool>(aValue, "Code set A must be a full logical matrix.");
  const py::array b = npargs::typedArray<bool>(bValue, "Code set B must be a full logical matrix.");
  const npargs::HostShape as = npargs::hostShape(a), bs = npargs::hostShape(b);
  if (as.rows() != bs.rows()) {
    valueError("Code set A has " + std::to_string(as.rows()) + " rows but code set B has " +
               std::to_string(bs.rows()) + "; both must have the same number of rows.");
  }
  for (std::size_t size : {as.rows(), as.cols(), bs.cols()}) {
    if (size > static_cast<std::size_t>(INT_MAX))
      valueError("Code sets must have fewer than 2^31 rows and columns.");
  }
  const int m = static_cast<int>(as.rows());
  const int na = static_cast<int>(as.cols()), nb = static_cast<int>(bs.cols());
  npargs::requireMemory(
      codes::bitcodeDistanceBytes(static_cast<std::uint64_t>(na), static_cast<std::uint64_t>(nb)),
      "bitcode_distance");
  const auto codesA = npargs::columnMajor<bool>(a);
  const auto codesB = npargs::columnMajor<bool>(b);
  auto distance = npargs::zeros<double>({na, nb});
  double* out = distance.mutable_data();
  // With no bits every distance is the zero the table starts with.
  if (m > 0 && na > 0 && nb > 0) {
    py::gil_scoped_release release;
    // NumPy's bool elements are single bytes of 0 or 1, as the host's logical ones.
    codes::computeHamming(reinterpret_cast<const std::uint8_t*>(codesA.data()),
                          reinterpret_cast<const std::uint8_t*>(codesB.data()), out, m, na, nb);
  }
  return distance;
}

}  // namespace

void addCrossingFunctions(py::module_& m) {
  m.def("crossing_counts", &crossingCounts, py::arg("image"),
        crossingDoc("crossing_counts", "crossingCounts").c_str());
  m.def("crossing_runs", &crossingCounts, py::arg("image"),
        crossingDoc("crossing_runs", "crossingRuns").c_str());
  m.def("bitcode_distance", &bitcodeDistance, py::arg("A"), py::arg("B"),
        R"(bitcode_distance(A, B)
--

Pairwise Hamming distances between two sets of binary codes stored one code per column, as in
the toolbox: D[i, j] is the number of rows where column i of A and column j of B differ. The
same table, bit for bit, as bitcode_distance in GNU Octave. (For codes stored one per row,
pass A.T and B.T.)

A: M x NA bool array, B: M x NB bool array (a 1-D array is one column).
Returns an NA x NB float64 array (all 0 when M is 0).

Raises TypeError ("Code set A must be a full logical matrix.") for another element type,
ValueError for different numbers of rows or 2^31 rows or columns or more, MemoryError when
the table does not fit in the memory this process may take (MOTIONSEG_MEMORY_LIMIT sets a
ceiling).

Example:
    >>> codes = np.random.default_rng(0).random((64, 100)) > 0.5
    >>> D = motionseg.bitcode_distance(codes, codes)   # 100 x 100, zero diagonal
)");
}

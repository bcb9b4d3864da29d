// How the Python functions read their arguments: NumPy arrays checked for their element type,
// seen with the dimensions the plug-ins would see for the same array, handed to the cores in
// the column-major order they read, and the errors raised in Python's conventions.
#ifndef MOTIONSEG_PYTHON_NUMPY_ARGUMENTS_H
#define MOTIONSEG_PYTHON_NUMPY_ARGUMENTS_H

#include "common/memory_budget.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace npargs {

namespace py = pybind11;

/// Raises TypeError (a wrong type or element type) with text.
[[noreturn]] inline void typeError(const std::string& text) {
  throw py::type_error(text);
}

/// Raises ValueError (a wrong shape, size or value) with text.
[[noreturn]] inline void valueError(const std::string& text) {
  throw py::value_error(text);
}

/// Raises ValueError with fault unless it is empty (the shared checks return "" on success).
inline void check(const std::string& fault) {
  if (!fault.empty()) valueError(fault);
}

/// Raises MemoryError with text. Needs the interpreter lock.
[[noreturn]] inline void memoryError(const std::string& text) {
  PyErr_SetString(PyExc_MemoryError, text.c_str());
  throw py::error_already_set();
}

/// Refuses a call that needs more memory than this process may take now (Linux overcommits: a
/// huge request would succeed and get the interpreter killed when touched) with MemoryError:
/// "FUNCTION needs 17.2 GB for WHAT; this machine has 3.10 GB available." The estimate is the
/// core's own (outputs and working memory; NumPy keeps the outputs without a copy). A ceiling
/// that cannot be read is ValueError.
inline void requireMemory(const membudget::Estimate& need, const std::string& function) {
  const membudget::Limit limit = membudget::currentLimit();
  if (!limit.problem.empty()) valueError(limit.problem);
  const membudget::Bytes total = membudget::peakBytes(need, 0);
  if (!membudget::fits(total, limit)) {
    memoryError(function + (total.saturated() ? " needs more than " : " needs ") +
                membudget::formatBytes(total.value()) + " for " + need.what + "; " +
                limit.description + ".");
  }
}

/// The array an argument holds (NumPy's asarray), or TypeError with text when it holds none
/// (None included).
inline py::array asArray(const py::handle& value, const std::string& text) {
  if (value.is_none()) typeError(text);
  py::array a = py::array::ensure(value);
  if (!a) typeError(text);
  return a;
}

/// True when a holds elements of type T (in the machine's byte order).
template <class T>
bool hasType(const py::array& a) {
  return py::isinstance<py::array_t<T>>(a);
}

/// a with elements of type T, TypeError with text otherwise.
template <class T>
py::array requireType(const py::array& a, const std::string& text) {
  if (!hasType<T>(a)) typeError(text);
  return a;
}

/// The array argument `value` with elements of type T, else TypeError with text.
template <class T>
py::array typedArray(const py::handle& value, const std::string& text) {
  return requireType<T>(asArray(value, text), text);
}

/// The dimensions the plug-ins see for the same array: at least two, trailing singleton
/// dimensions beyond the second dropped, a 1-D array of n elements as n-by-1 and a 0-D array
/// as 1-by-1. Rows are the first dimension, columns the product of the others.
struct HostShape {
  std::vector<std::size_t> dims{0, 0};

  std::size_t ndims() const { return dims.size(); }
  std::size_t rows() const { return dims[0]; }
  std::size_t cols() const {
    std::size_t n = 1;
    for (std::size_t i = 1; i < dims.size(); ++i)
      n *= dims[i];
    return n;
  }
  std::size_t count() const { return rows() * cols(); }
};

/// The HostShape of a.
inline HostShape hostShape(const py::array& a) {
  HostShape shape;
  shape.dims.assign(a.shape(), a.shape() + a.ndim());
  while (shape.dims.size() < 2)
    shape.dims.push_back(1);
  while (shape.dims.size() > 2 && shape.dims.back() == 1)
    shape.dims.pop_back();
  return shape;
}

/// The element count of a.
inline std::size_t count(const py::array& a) {
  return static_cast<std::size_t>(a.size());
}

/// True for an array without elements.
inline bool isEmpty(const py::array& a) {
  return a.size() == 0;
}

/// a (elements of type T) in column-major order, the order the cores read: the array itself
/// when it already is (no copy), else a column-major copy.
template <class T>
py::array_t<T, py::array::f_style> columnMajor(const py::array& a) {
  return py::array_t<T, py::array::f_style>(a);  // raises the Python error of a failed copy
}

/// A new zero-filled column-major array of the given shape.
template <class T>
py::array_t<T, py::array::f_style> zeros(const std::vector<py::ssize_t>& shape) {
  py::array_t<T, py::array::f_style> a(shape);
  if (a.size() > 0) std::memset(a.mutable_data(), 0, static_cast<std::size_t>(a.nbytes()));
  return a;
}

/// A Python number as a double (ints, floats, NumPy scalars, anything with __float__), else
/// TypeError with text.
inline double number(const py::handle& value, const std::string& text) {
  if (value.is_none() || py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value)) {
    typeError(text);
  }
  try {
    return value.cast<double>();
  } catch (const py::cast_error&) {
    typeError(text);
  }
}

/// A Python integer (anything with __index__) if it lies in lo..hi: TypeError with typeText
/// for other values, ValueError with rangeText outside the range.
inline long long integer(const py::handle& value, long long lo, long long hi,
                         const std::string& typeText, const std::string& rangeText) {
  if (value.is_none() || PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
    typeError(typeText);
  }
  const py::int_ index = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (overflow != 0 || v < lo || v > hi) valueError(rangeText);
  return v;
}

/// The items of a list argument, which may be any sequence (a list, a tuple, a NumPy array
/// read along its first axis, any collections.abc.Sequence), else TypeError with text; an
/// iterator or generator, a str, a dict or a set is no sequence. The sequence is copied into
/// a new list once: each item is fetched exactly once, the list keeps it alive (items a
/// sequence makes on access, such as the rows of an array, exist only as long as a reference
/// holds them) and the call sees one consistent set of items, whatever the sequence does when
/// it is read again.
inline std::vector<py::object> items(const py::handle& value, const std::string& text) {
  if (value.is_none() || py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) ||
      py::isinstance<py::dict>(value) || !PySequence_Check(value.ptr())) {
    typeError(text);
  }
  const py::list copy = py::reinterpret_steal<py::list>(PySequence_List(value.ptr()));
  if (!copy) throw py::error_already_set();  // the sequence's own error while it was read
  std::vector<py::object> result;
  result.reserve(copy.size());
  for (const py::handle item : copy)
    result.push_back(py::reinterpret_borrow<py::object>(item));
  return result;
}

/// An item of a list of arrays: its array, or for None an empty array of no element type the
/// functions take (like an unfilled cell: empty, and refused by every type check). Anything
/// else that is no array is TypeError with text.
inline py::array itemArray(const py::object& item, const std::string& text) {
  if (item.is_none()) return py::array();
  return asArray(item, text);
}

}  // namespace npargs

#endif  // MOTIONSEG_PYTHON_NUMPY_ARGUMENTS_H

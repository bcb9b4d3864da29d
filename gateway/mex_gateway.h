// The host array interface shared by every entry file: typed access, class and size checks,
// output creation and the error funnel. Header-only, because each entry file is compiled
// against more than one host's mex.h (GNU Octave's, MATLAB's and the standalone test host's).
//
// Error handling: checks throw gw::Error; guarded() catches it (and the few standard
// exceptions our code can raise), leaves the handler and only then calls mexErrMsgIdAndTxt. The
// host's own error is itself a C++ exception derived from std::runtime_error in GNU Octave, so
// guarded() deliberately does not catch std::exception or "...": that would swallow the host's
// unwinding and let the call return as if it had succeeded.
//
// Every error carries the identifier motionseg:NAME:KIND, NAME the plug-in's name as the host
// reports it (mexFunctionName) and KIND one word of a small fixed vocabulary (gw::Kind), so
// that scripts can catch errors by kind while the texts stay those of each function.
#ifndef MOTIONSEG_GATEWAY_MEX_GATEWAY_H
#define MOTIONSEG_GATEWAY_MEX_GATEWAY_H

#include "mex.h"

#include "common/size_checks.h"
#include "common/text_format.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace gw {

/// What kind of fault ended a call: the last part of the error identifier motionseg:NAME:KIND.
/// The vocabulary is fixed (scripts rely on it); a new check picks the kind of what it tests.
enum class Kind {
  Nargin,    ///< "nargin": the number of inputs
  Nargout,   ///< "nargout": the number of outputs
  Class,     ///< "class": an argument's class, complexity or sparsity, or a cell where an
             ///< array belongs
  Size,      ///< "size": rank, dimensions or element counts, empty arrays, sizes beyond the
             ///< supported range
  Value,     ///< "value": element values (labels, counts, parameters) outside their range
  Memory,    ///< "memory": more memory than the machine or the user's ceiling gives
  System,    ///< "system": a failure of the operating system (a thread that cannot start)
  Internal,  ///< "internal": a fault of the toolbox itself
};

/// The identifier word of a kind.
inline const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::Nargin:
      return "nargin";
    case Kind::Nargout:
      return "nargout";
    case Kind::Class:
      return "class";
    case Kind::Size:
      return "size";
    case Kind::Value:
      return "value";
    case Kind::Memory:
      return "memory";
    case Kind::System:
      return "system";
    case Kind::Internal:
      break;
  }
  return "internal";
}

/// A failure to report to the caller through the host's error function.
class Error {
 public:
  Error(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind() const { return kind_; }
  const std::string& text() const { return text_; }

 private:
  Kind kind_;
  std::string text_;
};

/// Ends the call with the given kind and text (through guarded()).
[[noreturn]] inline void fail(Kind kind, std::string text) {
  throw Error(kind, std::move(text));
}

/// The one text with which every documented check of some entry files ends the call (a usage
/// text, a single blank): declared once, e.g. `constexpr gw::Refusal usage{kUsage};`, and
/// raised with the kind of the failed check, e.g. `usage(gw::Kind::Class)`.
struct Refusal {
  const char* text;
  [[noreturn]] void operator()(Kind kind) const { fail(kind, text); }
};

/// The refusal of the entry files whose documented checks all report a single blank.
inline constexpr Refusal blank{" "};

/// printf-style formatting into a std::string, for error and warning texts (shared with the
/// other front ends).
using textformat::format;

/// The error identifier motionseg:NAME:KIND of a failed call of the plug-in `name`. Characters
/// that an identifier part cannot hold become '_'.
inline std::string errorId(const char* name, Kind kind) {
  std::string part = name != nullptr && *name != '\0' ? name : "plugin";
  for (char& c : part) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!word) c = '_';
  }
  return "motionseg:" + part + ":" + kindName(kind);
}

/// Runs an entry file's body; any gw::Error, allocation failure or internal fault ends the call
/// through mexErrMsgIdAndTxt once the handler has been left. Host errors pass through untouched.
template <class Body>
void guarded(Body&& body) {
  bool failed = false;
  Kind kind = Kind::Internal;
  std::string text;
  try {
    body();
  } catch (const Error& e) {
    failed = true;
    kind = e.kind();
    text = e.text();
  } catch (const std::bad_alloc&) {
    failed = true;
    kind = Kind::Memory;
    text = "Out of memory.";
  } catch (const std::logic_error& e) {
    failed = true;
    kind = Kind::Internal;
    text = std::string("Internal error: ") + e.what();
  } catch (const std::system_error& e) {
    failed = true;
    kind = Kind::System;
    text = std::string("System error: ") + e.what();
  }
  if (failed) {
    const std::string id = errorId(mexFunctionName(), kind);
    // The text goes through "%s", so that a '%' in it is printed as it stands.
    mexErrMsgIdAndTxt(id.c_str(), "%s", text.c_str());
  }
}

/// The host class of a C++ element type.
template <class T>
struct ClassOf;
template <>
struct ClassOf<double> {
  static constexpr mxClassID id = mxDOUBLE_CLASS;
};
template <>
struct ClassOf<float> {
  static constexpr mxClassID id = mxSINGLE_CLASS;
};
// Logical arrays: mxLogical is bool in some hosts and unsigned char in GNU Octave's, so logical
// data is read through mxLogical pointers (logicals()) rather than through ClassOf.
template <>
struct ClassOf<bool> {
  static constexpr mxClassID id = mxLOGICAL_CLASS;
};
template <>
struct ClassOf<std::uint8_t> {
  static constexpr mxClassID id = mxUINT8_CLASS;
};
template <>
struct ClassOf<std::int8_t> {
  static constexpr mxClassID id = mxINT8_CLASS;
};
template <>
struct ClassOf<std::int16_t> {
  static constexpr mxClassID id = mxINT16_CLASS;
};
template <>
struct ClassOf<std::uint16_t> {
  static constexpr mxClassID id = mxUINT16_CLASS;
};
template <>
struct ClassOf<std::int32_t> {
  static constexpr mxClassID id = mxINT32_CLASS;
};
template <>
struct ClassOf<std::uint32_t> {
  static constexpr mxClassID id = mxUINT32_CLASS;
};
template <>
struct ClassOf<std::uint64_t> {
  static constexpr mxClassID id = mxUINT64_CLASS;
};
/// True when a is an array (not an unfilled cell) of class id.
inline bool hasClass(const mxArray* a, mxClassID id) {
  return a != nullptr && mxGetClassID(a) == id;
}

/// True when a is a real, full (not sparse) array of class id: the layout mxGetData describes
/// as one element per position, column-major, with nothing else in the way.
inline bool isRealFull(const mxArray* a, mxClassID id) {
  return hasClass(a, id) && !mxIsComplex(a) && !mxIsSparse(a);
}

/// The text with which a sparse argument is refused: "<what> must be a full array, not sparse."
inline std::string sparseText(const char* what) {
  return std::string(what) + " must be a full array, not sparse.";
}

/// Fails (kind class) when a is a sparse array. A sparse array's data holds only its nonzero
/// elements, so reading it as one element per position would read past its end or give wrong
/// answers; every argument whose data a call reads goes through this check.
inline void requireFull(const mxArray* a, const char* what) {
  if (a != nullptr && mxIsSparse(a)) fail(Kind::Class, sparseText(what));
}

/// Fails with text unless a is of class id.
inline void requireClass(const mxArray* a, mxClassID id, const char* text) {
  if (!hasClass(a, id)) fail(Kind::Class, text);
}

/// Fails with text unless a has exactly n dimensions.
inline void requireDimensions(const mxArray* a, mwSize n, const char* text) {
  if (mxGetNumberOfDimensions(a) != n) fail(Kind::Size, text);
}

/// The argument-count checks of the entry files that report "Invalid number of input
/// arguments" and "Invalid number of output arguments".
inline void requireInputCount(int nrhs, std::initializer_list<int> allowed) {
  for (int n : allowed) {
    if (nrhs == n) return;
  }
  fail(Kind::Nargin, "Invalid number of input arguments");
}
inline void requireOutputCount(int nlhs, int most) {
  if (nlhs > most) fail(Kind::Nargout, "Invalid number of output arguments");
}

/// True for an empty array and for an unfilled cell (a null pointer in some hosts).
inline bool isEmpty(const mxArray* a) {
  return a == nullptr || mxIsEmpty(a);
}

/// Element i of a cell array; may be null for an unfilled cell.
inline const mxArray* cellAt(const mxArray* cells, std::size_t i) {
  return mxGetCell(cells, static_cast<mwIndex>(i));
}

/// Row count, and column count (the product of all trailing dimensions), as std::size_t
/// whatever the signedness of the host's mwSize.
inline std::size_t rows(const mxArray* a) {
  return static_cast<std::size_t>(mxGetM(a));
}
inline std::size_t cols(const mxArray* a) {
  return static_cast<std::size_t>(mxGetN(a));
}

/// Element count of an array (0 for an unfilled cell).
inline std::size_t count(const mxArray* a) {
  return a == nullptr ? 0 : mxGetNumberOfElements(a);
}

/// Typed read access; the caller has checked the class.
template <class T>
const T* data(const mxArray* a) {
  assert(hasClass(a, ClassOf<T>::id));
  return static_cast<const T*>(mxGetData(a));
}

/// Logical elements (one byte each, 0 or 1); the caller has checked the class.
inline const mxLogical* logicals(const mxArray* a) {
  assert(hasClass(a, mxLOGICAL_CLASS));
  return static_cast<const mxLogical*>(mxGetData(a));
}

/// Typed write access to an array the call created.
template <class T>
T* mutableData(mxArray* a) {
  assert(hasClass(a, ClassOf<T>::id));
  return static_cast<T*>(mxGetData(a));
}

/// The dimension list of a, each dimension as a 64-bit value whatever mwSize is.
inline std::vector<std::int64_t> dimensions(const mxArray* a) {
  const mwSize n = mxGetNumberOfDimensions(a);
  const mwSize* d = mxGetDimensions(a);
  return std::vector<std::int64_t>(d, d + n);
}

/// Narrows a host size to the 32-bit sizes the cores use, failing with text when it does not fit.
inline int toInt(mwSize value, const char* text) {
  if (static_cast<std::uint64_t>(value) >
      static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
    fail(Kind::Size, text);
  }
  return static_cast<int>(value);
}

/// Rows and columns of a matrix in the 32-bit sizes the cores use.
struct IntSize {
  int rows;
  int cols;
};

/// The size of a as an IntSize; fails with "<what> has too many rows." (or columns) beyond
/// 2147483647.
inline IntSize intSize(const mxArray* a, const char* what) {
  return {toInt(mxGetM(a), sizecheck::tooManyText(what, true).c_str()),
          toInt(mxGetN(a), sizecheck::tooManyText(what, false).c_str())};
}

/// Calls visit(f, a{f}, b{f}) for every f < n, in order, at which neither cell of the two cell
/// arrays is empty (frames given as a pair of cells, one of which may be left out).
template <class Visit>
void forEachFilledPair(const mxArray* a, const mxArray* b, std::size_t n, Visit&& visit) {
  for (std::size_t f = 0; f < n; ++f) {
    const mxArray* first = cellAt(a, f);
    const mxArray* second = cellAt(b, f);
    if (isEmpty(first) || isEmpty(second)) continue;
    visit(f, first, second);
  }
}

/// The frame size that the last filled pair gives (see forEachFilledPair): rows(a{f}) by
/// cols(a{f}) / planes, a{f} holding `planes` planes of the frame. Every filled pair must hold
/// as many elements in b{f} as its frame has pixels, else the call fails with text. `pair` is
/// the 0-based index of that last pair, -1 (and a 0-by-0 size) when no pair is filled.
struct PairSize {
  std::size_t rows = 0;
  std::size_t cols = 0;
  std::ptrdiff_t pair = -1;
};
inline PairSize lastFilledPairSize(const mxArray* a, const mxArray* b, std::size_t n,
                                   std::size_t planes, const char* text) {
  PairSize size;
  forEachFilledPair(a, b, n, [&](std::size_t f, const mxArray* first, const mxArray* second) {
    size = {rows(first), cols(first) / planes, static_cast<std::ptrdiff_t>(f)};
    if (size.rows * size.cols != count(second)) fail(Kind::Size, text);
  });
  return size;
}

/// A new zero-filled M-by-N array of element type T.
template <class T>
mxArray* createMatrix(std::size_t m, std::size_t n) {
  return mxCreateNumericMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n), ClassOf<T>::id,
                               mxREAL);
}

/// Hands the outputs of a call over to the host, which offers max(nlhs, 1) slots: the first
/// outputs fill the slots (with nlhs 0 the first becomes the caller's answer), the others are
/// freed.
inline void handOver(int nlhs, mxArray* plhs[], std::initializer_list<mxArray*> outputs) {
  const std::size_t slots = nlhs < 1 ? 1 : static_cast<std::size_t>(nlhs);
  std::size_t k = 0;
  for (mxArray* out : outputs) {
    if (k < slots) {
      plhs[k] = out;
    } else {
      mxDestroyArray(out);
    }
    ++k;
  }
}

/// A new zero-filled N-D array of element type T.
template <class T>
mxArray* createArray(const std::vector<std::size_t>& dims) {
  std::vector<mwSize> d(dims.begin(), dims.end());
  return mxCreateNumericArray(static_cast<mwSize>(d.size()), d.data(), ClassOf<T>::id, mxREAL);
}

/// The first element of a numeric argument as a double, failing with text for an empty array
/// or an unfilled cell (kind size) and for a non-numeric array (kind class), where the hosts'
/// mxGetScalar would raise their own error or return garbage. A sparse array is refused with
/// text too (kind class): callers that can name the argument check requireFull() first.
inline double scalar(const mxArray* a, const char* text) {
  if (a != nullptr && (mxIsCell(a) || mxIsSparse(a) || !(mxIsNumeric(a) || mxIsLogical(a)))) {
    fail(Kind::Class, text);
  }
  if (isEmpty(a)) fail(Kind::Size, text);
  return mxGetScalar(a);
}

/// The first element of a numeric argument truncated toward zero, required to lie in lo..hi
/// (NaN never does). Fails with "<what> must not be empty." or "<what> must be between lo and
/// hi." (kinds size, class and value), or "<what> must be a full array, not sparse.". The
/// range test comes before the conversion, which is undefined for doubles out of range.
inline std::uint64_t truncatedScalar(const mxArray* a, const char* what, std::uint64_t lo,
                                     std::uint64_t hi) {
  requireFull(a, what);
  const std::optional<std::uint64_t> t =
      sizecheck::truncatedCount(scalar(a, sizecheck::emptyText(what).c_str()), lo, hi);
  if (!t) fail(Kind::Value, sizecheck::rangeText(what, lo, hi));
  return *t;
}

}  // namespace gw

#endif  // MOTIONSEG_GATEWAY_MEX_GATEWAY_H

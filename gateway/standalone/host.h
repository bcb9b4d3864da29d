// Test side of the standalone host: building input arrays, calling the linked plug-in's
// mexFunction as a real host would, and reading the outputs back.
//
// A test executable links exactly one plug-in (every plug-in defines mexFunction).
#ifndef MOTIONSEG_STANDALONE_HOST_H
#define MOTIONSEG_STANDALONE_HOST_H

#include "mex.h"
#include "gateway/mex_gateway.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace host {

/// Raised by mexErrMsgTxt and mexErrMsgIdAndTxt. Like the real host's error it is a
/// std::runtime_error, so a plug-in that catches std::exception around host calls would swallow
/// it; tests see that as a fault.
struct HostError : std::runtime_error {
  explicit HostError(const std::string& text, std::string identifier = "")
      : std::runtime_error(text), id(std::move(identifier)) {}
  std::string id;  ///< the error identifier; empty for mexErrMsgTxt
};

/// Raised when a call ends as interrupted. Like GNU Octave's interrupt it is no
/// std::runtime_error, so gw::guarded lets it pass.
struct Interrupted : std::exception {
  const char* what() const noexcept override { return "interrupted"; }
};

/// Makes the next gw::interruptPending() of a call report an interrupt, as if the user had
/// pressed Ctrl-C (once).
void requestInterrupt();

struct ArrayDeleter {
  void operator()(mxArray* a) const { mxDestroyArray(a); }
};
using Array = std::unique_ptr<mxArray, ArrayDeleter>;

using gw::ClassOf;

/// A zero-filled array of the given class and dimensions.
Array make(mxClassID id, std::vector<mwSize> dims);

/// The element type an array of class T holds: mxLogical for bool (a byte that is bool in
/// one host and unsigned char in another), T itself otherwise. Tests name logical arrays by
/// bool, never by mxLogical, which may be the same type as std::uint8_t.
template <class T>
using Element = typename std::conditional<std::is_same<T, bool>::value, mxLogical, T>::type;

/// An array of class T with the given dimensions, filled column-major from values
/// (values may be shorter than the array; the rest stays zero).
template <class T>
Array make(std::vector<mwSize> dims, const std::vector<T>& values) {
  Array a = make(ClassOf<T>::id, std::move(dims));
  auto* data = static_cast<Element<T>*>(mxGetData(a.get()));
  const std::size_t n = std::min<std::size_t>(values.size(), mxGetNumberOfElements(a.get()));
  for (std::size_t i = 0; i < n; ++i)
    data[i] = static_cast<Element<T>>(values[i]);
  return a;
}

/// The array marked sparse, as GNU Octave's sparse() makes a double or logical matrix (other
/// arrays are refused with std::logic_error). Only the mark: the data keep the full layout, so
/// tests check that plug-ins refuse such arrays, not what reading them would do.
Array sparse(Array a);

/// A 1-by-1 double.
Array scalar(double value);

/// A 1-by-n cell array holding the given arrays (null entries stay unfilled).
Array cell(std::vector<Array> elements);

/// The elements of an array of class T, column-major. Throws if the class differs.
template <class T>
std::vector<T> values(const mxArray* a) {
  if (mxGetClassID(a) != ClassOf<T>::id) throw std::logic_error("values: class mismatch");
  const auto* data = static_cast<const Element<T>*>(mxGetData(a));
  std::vector<T> v(mxGetNumberOfElements(a));
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<T>(data[i]);
  return v;
}

/// The dimension list of an array.
std::vector<mwSize> dims(const mxArray* a);

/// What one call of mexFunction did.
struct CallResult {
  bool failed = false;          ///< mexErrMsgTxt ended the call
  bool interrupted = false;     ///< the call ended as interrupted (no outputs)
  std::string error;            ///< its text
  std::string errorId;          ///< its identifier (motionseg:NAME:KIND), empty if it had none
  std::string printed;          ///< everything printed through mexPrintf
  std::vector<Array> outputs;   ///< max(nlhs, 1) slots, as the plug-in left them
  bool inputsUnchanged = true;  ///< the plug-in did not write into its inputs
  std::string hostFault;        ///< what a real host would refuse (an output left unset)
};

/// Calls the linked plug-in with the given inputs, as a real host does: one output slot even
/// when nlhs is 0, arrays created during a failed call freed, inputs checked for writes.
CallResult call(int nlhs, std::initializer_list<const mxArray*> inputs);
CallResult call(int nlhs, const std::vector<const mxArray*>& inputs);

}  // namespace host

#endif  // MOTIONSEG_STANDALONE_HOST_H

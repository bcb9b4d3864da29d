// The standalone host's arrays, reporting and call harness.
#include "host.h"

#include "common/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>
#include <type_traits>

struct mxArray_tag {
  mxClassID id = mxDOUBLE_CLASS;
  std::vector<mwSize> dims;
  unsigned char* data = nullptr;  // numeric and logical arrays: calloc'd, zero-filled
  std::vector<mxArray*> cells;    // cell arrays: owned elements, null when unfilled
  bool sparse = false;            // marked by host::sparse; the data keep the full layout
};

namespace {

// Arrays created and not yet handed to a cell or destroyed. A real host frees whatever a
// plug-in created when a call ends with an error; the harness does the same from this set.
std::set<mxArray*>& liveArrays() {
  static std::set<mxArray*> live;
  return live;
}

bool& interruptRequested() {
  static bool requested = false;
  return requested;
}

// The host's own errors (an array it cannot create, a misuse of an operation) carry the
// identifier "standalone:host", as a real host's errors carry its own.
[[noreturn]] void hostError(const char* text) {
  throw host::HostError(text, "standalone:host");
}

std::string& printSink() {
  static std::string sink;
  return sink;
}

std::size_t elementSize(mxClassID id) {
  switch (id) {
    case mxLOGICAL_CLASS:
    case mxINT8_CLASS:
    case mxUINT8_CLASS:
    case mxCHAR_CLASS:
      return 1;
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
      return 2;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS:
      return 4;
    case mxDOUBLE_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS:
      return 8;
    case mxCELL_CLASS:
      return sizeof(mxArray*);
    default:
      return 0;
  }
}

// Whether a size is below zero (possible where mwSize is signed).
template <typename Size>
bool negative(Size value) {
  if constexpr (std::is_signed<Size>::value) {
    return value < 0;
  } else {
    return false;
  }
}

std::size_t countOf(const std::vector<mwSize>& dims) {
  // An array with a zero dimension is empty, however large the others (their product alone
  // may not fit, as 2^31-by-2 in 32 bits).
  for (mwSize d : dims) {
    if (negative(d)) hostError("negative dimension");
  }
  if (std::find(dims.begin(), dims.end(), mwSize{0}) != dims.end()) return 0;
  std::size_t n = 1;
  for (mwSize d : dims) {
    const auto size = static_cast<std::uint64_t>(d);
    if (size > std::numeric_limits<std::size_t>::max() / n) {
      hostError("out of memory or dimension too large");
    }
    n *= static_cast<std::size_t>(size);
  }
  return n;
}

mxArray* create(mxClassID id, std::vector<mwSize> dims) {
  // Trailing singleton dimensions beyond the second are dropped, as the hosts do.
  while (dims.size() > 2 && dims.back() == 1)
    dims.pop_back();
  while (dims.size() < 2)
    dims.push_back(dims.empty() ? 0 : 1);
  const std::size_t n = countOf(dims);
  const std::size_t size = elementSize(id);
  if (size == 0) hostError("standalone host: unsupported class");
  // At most 2^40 bytes per array (in 64 bits: std::size_t may have only 32).
  if (static_cast<std::uint64_t>(n) > (std::uint64_t{1} << 40) / size) {
    hostError("out of memory or dimension too large");
  }
  auto* a = new mxArray_tag;
  a->id = id;
  a->dims = std::move(dims);
  if (id == mxCELL_CLASS) {
    a->cells.assign(n, nullptr);
  } else {
    a->data = static_cast<unsigned char*>(std::calloc(n == 0 ? 1 : n, size));
    if (a->data == nullptr) {
      delete a;
      hostError("out of memory or dimension too large");
    }
  }
  liveArrays().insert(a);
  return a;
}

void destroy(mxArray* a) {
  if (a == nullptr) return;
  for (mxArray* c : a->cells)
    destroy(c);
  std::free(a->data);
  delete a;
}

bool withinCells(const mxArray* a, mwIndex i) {
  // mwIndex is signed in Octave's flavour: a negative index turns into a huge one here.
  return static_cast<std::uint64_t>(i) < a->cells.size();
}

#if defined(MOTIONSEG_STANDALONE_OCTAVE_TYPES)
// The 0-by-0 double matrix Octave reads from an unfilled cell element: one for the whole
// process, never a call's to free (a plug-in only reads its inputs).
mxArray* unfilledElement() {
  static mxArray_tag empty = [] {
    mxArray_tag a;
    a.id = mxDOUBLE_CLASS;
    a.dims = {0, 0};
    static double storage = 0.0;
    a.data = reinterpret_cast<unsigned char*>(&storage);
    return a;
  }();
  return &empty;
}
#endif

bool sameContents(const mxArray* a, const mxArray* b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->id != b->id || a->dims != b->dims) return false;
  if (a->id == mxCELL_CLASS) {
    for (std::size_t i = 0; i < a->cells.size(); ++i) {
      if (!sameContents(a->cells[i], b->cells[i])) return false;
    }
    return true;
  }
  return std::memcmp(a->data, b->data, countOf(a->dims) * elementSize(a->id)) == 0;
}

}  // namespace

extern "C" {

mwSize mxGetM(const mxArray* a) {
  return a->dims[0];
}

mwSize mxGetN(const mxArray* a) {
  mwSize n = 1;
  for (std::size_t i = 1; i < a->dims.size(); ++i)
    n *= a->dims[i];
  return n;
}

mwSize mxGetNumberOfDimensions(const mxArray* a) {
  return a->dims.size();
}
const mwSize* mxGetDimensions(const mxArray* a) {
  return a->dims.data();
}
std::size_t mxGetNumberOfElements(const mxArray* a) {
  return countOf(a->dims);
}
std::size_t mxGetElementSize(const mxArray* a) {
  return elementSize(a->id);
}
mxClassID mxGetClassID(const mxArray* a) {
  return a->id;
}
bool mxIsDouble(const mxArray* a) {
  return a->id == mxDOUBLE_CLASS;
}
bool mxIsSingle(const mxArray* a) {
  return a->id == mxSINGLE_CLASS;
}
bool mxIsLogical(const mxArray* a) {
  return a->id == mxLOGICAL_CLASS;
}
bool mxIsCell(const mxArray* a) {
  return a->id == mxCELL_CLASS;
}
bool mxIsComplex(const mxArray*) {
  return false;
}
// The standalone host has no sparse storage: host::sparse only marks an array as sparse.
bool mxIsSparse(const mxArray* a) {
  return a->sparse;
}
bool mxIsEmpty(const mxArray* a) {
  return mxGetNumberOfElements(a) == 0;
}

bool mxIsNumeric(const mxArray* a) {
  return a->id >= mxDOUBLE_CLASS && a->id <= mxUINT64_CLASS;
}

void* mxGetData(const mxArray* a) {
  return a->data;
}

double* mxGetPr(const mxArray* a) {
  return a->id == mxDOUBLE_CLASS ? reinterpret_cast<double*>(a->data) : nullptr;
}

mxLogical* mxGetLogicals(const mxArray* a) {
  return a->id == mxLOGICAL_CLASS ? reinterpret_cast<mxLogical*>(a->data) : nullptr;
}

double mxGetScalar(const mxArray* a) {
  if (a->id == mxCELL_CLASS || mxIsEmpty(a)) hostError("mxGetScalar: not a numeric scalar");
  switch (a->id) {
    case mxDOUBLE_CLASS:
      return *reinterpret_cast<const double*>(a->data);
    case mxSINGLE_CLASS:
      return *reinterpret_cast<const float*>(a->data);
    case mxLOGICAL_CLASS:
      return *reinterpret_cast<const mxLogical*>(a->data) ? 1.0 : 0.0;
    case mxINT8_CLASS:
      return *reinterpret_cast<const std::int8_t*>(a->data);
    case mxUINT8_CLASS:
      return *reinterpret_cast<const std::uint8_t*>(a->data);
    case mxINT16_CLASS:
      return *reinterpret_cast<const std::int16_t*>(a->data);
    case mxUINT16_CLASS:
      return *reinterpret_cast<const std::uint16_t*>(a->data);
    case mxINT32_CLASS:
      return *reinterpret_cast<const std::int32_t*>(a->data);
    case mxUINT32_CLASS:
      return *reinterpret_cast<const std::uint32_t*>(a->data);
    case mxINT64_CLASS:
      return static_cast<double>(*reinterpret_cast<const std::int64_t*>(a->data));
    case mxUINT64_CLASS:
      return static_cast<double>(*reinterpret_cast<const std::uint64_t*>(a->data));
    default:
      hostError("mxGetScalar: not a numeric scalar");
  }
}

mxArray* mxGetCell(const mxArray* a, mwIndex i) {
  if (a->id != mxCELL_CLASS || !withinCells(a, i)) {
    hostError("mxGetCell: index outside the cell array");
  }
#if defined(MOTIONSEG_STANDALONE_OCTAVE_TYPES)
  // Octave stores the empty matrix in a cell's unfilled elements and hands it over as such.
  if (a->cells[static_cast<std::size_t>(i)] == nullptr) return unfilledElement();
#endif
  return a->cells[static_cast<std::size_t>(i)];
}

void mxSetCell(mxArray* a, mwIndex i, mxArray* value) {
  if (a->id != mxCELL_CLASS || !withinCells(a, i)) {
    hostError("mxSetCell: index outside the cell array");
  }
  destroy(a->cells[static_cast<std::size_t>(i)]);
  liveArrays().erase(value);
  a->cells[static_cast<std::size_t>(i)] = value;
}

mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID id, mxComplexity) {
  return create(id, {m, n});
}

mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID id, mxComplexity) {
  return create(id, std::vector<mwSize>(dims, dims + ndim));
}

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity) {
  return create(mxDOUBLE_CLASS, {m, n});
}

mxArray* mxCreateDoubleScalar(double value) {
  mxArray* a = create(mxDOUBLE_CLASS, {1, 1});
  *reinterpret_cast<double*>(a->data) = value;
  return a;
}

mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n) {
  return create(mxLOGICAL_CLASS, {m, n});
}

mxArray* mxCreateLogicalArray(mwSize ndim, const mwSize* dims) {
  return create(mxLOGICAL_CLASS, std::vector<mwSize>(dims, dims + ndim));
}

mxArray* mxCreateCellMatrix(mwSize m, mwSize n) {
  return create(mxCELL_CLASS, {m, n});
}

mxArray* mxCreateCellArray(mwSize ndim, const mwSize* dims) {
  return create(mxCELL_CLASS, std::vector<mwSize>(dims, dims + ndim));
}

mxArray* mxDuplicateArray(const mxArray* a) {
  mxArray* copy = create(a->id, a->dims);
  if (a->id == mxCELL_CLASS) {
    for (std::size_t i = 0; i < a->cells.size(); ++i) {
      if (a->cells[i] != nullptr) mxSetCell(copy, i, mxDuplicateArray(a->cells[i]));
    }
  } else {
    std::memcpy(copy->data, a->data, countOf(a->dims) * elementSize(a->id));
  }
  copy->sparse = a->sparse;
  return copy;
}

void mxDestroyArray(mxArray* a) {
  if (a == nullptr) return;
  liveArrays().erase(a);
  destroy(a);
}

void mexErrMsgTxt(const char* text) {
  throw host::HostError(text);
}

void mexErrMsgIdAndTxt(const char* id, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = textformat::formatList(format, args);
  va_end(args);
  throw host::HostError(text, id != nullptr ? id : "");
}

// The C99 formatter on every C library (see textformat::format), as the real hosts have.
int mexPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = textformat::formatList(format, args);
  va_end(args);
  printSink() += text;
  return static_cast<int>(text.size());
}

bool mexStandaloneInterruptPending(void) {
  const bool pending = interruptRequested();
  interruptRequested() = false;
  return pending;
}

void mexStandaloneInterrupt(void) {
  throw host::Interrupted();
}

void mexWarnMsgTxt(const char* text) {
  printSink() += "Warning: ";
  printSink() += text;
  printSink() += "\n";
}

void mexWarnMsgIdAndTxt(const char* id, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? static_cast<std::size_t>(n) + 1 : 1, '\0');
  if (n > 0) std::vsnprintf(&text[0], text.size(), format, again);
  va_end(again);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  // The identifier in brackets, so that tests can tell warnings apart.
  printSink() += "Warning [" + std::string(id) + "]: " + text + "\n";
}

}  // extern "C"

namespace host {

void requestInterrupt() {
  interruptRequested() = true;
}

Array make(mxClassID id, std::vector<mwSize> dims) {
  mxArray* a = create(id, std::move(dims));
  liveArrays().erase(a);  // owned by the test, not by a call
  return Array(a);
}

Array sparse(Array a) {
  if (!(a->id == mxDOUBLE_CLASS || a->id == mxLOGICAL_CLASS) || a->dims.size() != 2) {
    throw std::logic_error("host::sparse: only double and logical matrices can be sparse");
  }
  a->sparse = true;
  return a;
}

Array scalar(double value) {
  Array a = make(mxDOUBLE_CLASS, {1, 1});
  *mxGetPr(a.get()) = value;
  return a;
}

Array cell(std::vector<Array> elements) {
  Array c = make(mxCELL_CLASS, {1, static_cast<mwSize>(elements.size())});
  for (std::size_t i = 0; i < elements.size(); ++i)
    c->cells[i] = elements[i].release();
  return c;
}

std::vector<mwSize> dims(const mxArray* a) {
  return a->dims;
}

CallResult call(int nlhs, std::initializer_list<const mxArray*> inputs) {
  return call(nlhs, std::vector<const mxArray*>(inputs));
}

CallResult call(int nlhs, const std::vector<const mxArray*>& inputs) {
  CallResult result;
  std::vector<Array> before;
  for (const mxArray* in : inputs) {
    before.emplace_back(in == nullptr ? nullptr : mxDuplicateArray(in));
    liveArrays().erase(before.back().get());
  }
  liveArrays().clear();
  printSink().clear();

  // Exactly max(nlhs, 1) slots, so a plug-in writing past them is caught by the sanitizers.
  std::vector<mxArray*> plhs(static_cast<std::size_t>(nlhs < 1 ? 1 : nlhs), nullptr);
  std::vector<const mxArray*> prhs(inputs);
  try {
    mexFunction(nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
  } catch (const HostError& e) {
    result.failed = true;
    result.error = e.what();
    result.errorId = e.id;
  } catch (const Interrupted&) {
    result.interrupted = true;
  }
  interruptRequested() = false;
  result.printed = printSink();

  if (result.failed || result.interrupted) {
    // The host frees what the failed call created, outputs included.
    for (mxArray* a : liveArrays())
      destroy(a);
    liveArrays().clear();
  } else {
    for (mxArray* out : plhs) {
      liveArrays().erase(out);
      result.outputs.emplace_back(out);
    }
    for (mxArray* a : liveArrays())
      destroy(a);  // temporaries the call did not free
    liveArrays().clear();
    for (int i = 0; i < nlhs; ++i) {
      if (result.outputs[static_cast<std::size_t>(i)] == nullptr) {
        result.hostFault = "output " + std::to_string(i + 1) + " was not set";
        break;
      }
    }
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (!sameContents(before[i].get(), inputs[i])) result.inputsUnchanged = false;
  }
  return result;
}

}  // namespace host

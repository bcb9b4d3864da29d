// The standalone host: the host array operations the plug-ins use, implemented in plain C++
// so that every entry file can be compiled unchanged and called in-process by the C++ tests
// and fuzzers (under AddressSanitizer and UndefinedBehaviorSanitizer).
//
// Semantics follow the real hosts where the plug-ins depend on them: arrays are real and
// column-major, created zero-filled, mxGetN of an N-D array is the product of the trailing
// dimensions, an unfilled cell is a null pointer, and mexErrMsgTxt never returns (it throws
// HostError, which, like the real host's error, derives from std::runtime_error).
#ifndef MOTIONSEG_STANDALONE_MEX_H
#define MOTIONSEG_STANDALONE_MEX_H

#include <cstddef>
#include <cstdint>

typedef std::size_t mwSize;
typedef std::size_t mwIndex;
typedef std::ptrdiff_t mwSignedIndex;
typedef bool mxLogical;
typedef char mxChar;

typedef enum {
  mxUNKNOWN_CLASS = 0,
  mxCELL_CLASS,
  mxSTRUCT_CLASS,
  mxLOGICAL_CLASS,
  mxCHAR_CLASS,
  mxVOID_CLASS,
  mxDOUBLE_CLASS,
  mxSINGLE_CLASS,
  mxINT8_CLASS,
  mxUINT8_CLASS,
  mxINT16_CLASS,
  mxUINT16_CLASS,
  mxINT32_CLASS,
  mxUINT32_CLASS,
  mxINT64_CLASS,
  mxUINT64_CLASS,
  mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

struct mxArray_tag;
typedef struct mxArray_tag mxArray;

extern "C" {

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Sizes and classes.
mwSize mxGetM(const mxArray* a);
mwSize mxGetN(const mxArray* a);
mwSize mxGetNumberOfDimensions(const mxArray* a);
const mwSize* mxGetDimensions(const mxArray* a);
std::size_t mxGetNumberOfElements(const mxArray* a);
std::size_t mxGetElementSize(const mxArray* a);
mxClassID mxGetClassID(const mxArray* a);
bool mxIsDouble(const mxArray* a);
bool mxIsSingle(const mxArray* a);
bool mxIsLogical(const mxArray* a);
bool mxIsCell(const mxArray* a);
bool mxIsNumeric(const mxArray* a);
bool mxIsComplex(const mxArray* a);
bool mxIsSparse(const mxArray* a);
bool mxIsEmpty(const mxArray* a);

// Data access.
void* mxGetData(const mxArray* a);
double* mxGetPr(const mxArray* a);
mxLogical* mxGetLogicals(const mxArray* a);
double mxGetScalar(const mxArray* a);
mxArray* mxGetCell(const mxArray* a, mwIndex i);
void mxSetCell(mxArray* a, mwIndex i, mxArray* value);

// Creation (all elements zero) and destruction.
mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID id, mxComplexity c);
mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID id, mxComplexity c);
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity c);
mxArray* mxCreateDoubleScalar(double value);
mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n);
mxArray* mxCreateLogicalArray(mwSize ndim, const mwSize* dims);
mxArray* mxCreateCellMatrix(mwSize m, mwSize n);
mxArray* mxCreateCellArray(mwSize ndim, const mwSize* dims);
mxArray* mxDuplicateArray(const mxArray* a);
void mxDestroyArray(mxArray* a);

// Reporting.
[[noreturn]] void mexErrMsgTxt(const char* text);
[[noreturn]] void mexErrMsgIdAndTxt(const char* id, const char* format, ...);
int mexPrintf(const char* format, ...);
void mexWarnMsgTxt(const char* text);
// Test-host extensions, in no real host: whether a test has requested an interrupt (taken
// over by the call that asks), and the end of an interrupted call (throws host::Interrupted).
bool mexStandaloneInterruptPending(void);
[[noreturn]] void mexStandaloneInterrupt(void);

}  // extern "C"

#endif  // MOTIONSEG_STANDALONE_MEX_H

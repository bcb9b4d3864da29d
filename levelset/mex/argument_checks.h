// Argument checks shared by the entry files of the level-set routines. Those routines read
// their inputs as real double arrays of the first input's size without checking them; these
// checks refuse exactly the calls that would take them outside an array, each with its own text.
#ifndef MOTIONSEG_LEVELSET_MEX_ARGUMENT_CHECKS_H
#define MOTIONSEG_LEVELSET_MEX_ARGUMENT_CHECKS_H

#include "mex.h"

#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace levelset {
namespace args {

/// Fails when fewer than `needed` inputs were passed; `names` lists them for the message.
inline void requireInputs(int nrhs, int needed, const char* names) {
  if (nrhs < needed) {
    gw::fail(gw::Kind::Nargin,
             gw::format("Too few inputs: %d given, %d expected (%s).", nrhs, needed, names));
  }
}

/// Fails unless input `position` (1-based) is a real, full double array.
inline void requireRealDouble(const mxArray* a, int position, const char* name) {
  if (!gw::isRealFull(a, mxDOUBLE_CLASS)) {
    gw::fail(gw::Kind::Class,
             gw::format("Input %d (%s) must be a real double array, not complex or sparse.",
                        position, name));
  }
}

/// Fails when more than `most` outputs were requested.
inline void requireOutputs(int nlhs, int most) {
  if (nlhs > most) {
    gw::fail(gw::Kind::Nargout,
             gw::format("Too many outputs: %d requested, at most %d returned.", nlhs, most));
  }
}

/// Fails when input `position` holds fewer elements than the first input, whose layout it is
/// read with.
inline void requireSizeOfFirst(const mxArray* a, int position, const char* name,
                               const mxArray* first) {
  const std::size_t m = gw::rows(first), n = gw::cols(first);
  if (gw::count(a) < m * n) {
    gw::fail(gw::Kind::Size, gw::format("Input %d (%s) has %zu elements; it must have at least the "
                                        "%zu of the %zu-by-%zu input 1.",
                                        position, name, gw::count(a), m * n, m, n));
  }
}

/// The rows m and columns n of input 1, the layout every input of a level-set routine is read
/// with.
struct FieldSize {
  std::size_t m;
  std::size_t n;
};

/// The checks every level-set entry file starts with, in this order: at least as many inputs as
/// `names` lists (their names, in order), the first `doubles` of them real full double arrays,
/// and at most `outputs` outputs. Returns the size of input 1.
template <std::size_t N>
FieldSize requireCall(int nlhs, int nrhs, const mxArray* const prhs[],
                      const char* const (&names)[N], int doubles, int outputs) {
  std::string list;
  for (const char* name : names)
    list += (list.empty() ? "" : ", ") + std::string(name);
  requireInputs(nrhs, static_cast<int>(N), list.c_str());
  for (int k = 0; k < doubles; ++k)
    requireRealDouble(prhs[k], k + 1, names[k]);
  requireOutputs(nlhs, outputs);
  return {gw::rows(prhs[0]), gw::cols(prhs[0])};
}

/// Ends the call (kind memory) when `outputs` m-by-n outputs of `bytes` bytes per element, and
/// the host's copy of each on return, do not fit what the machine can give now or the user's
/// ceiling. The routines allocate nothing else; without this check the host's own allocation
/// failure reaches the caller without the toolbox's identifier.
inline void requireOutputMemory(FieldSize size, std::uint64_t bytes, std::uint64_t outputs) {
  membudget::Estimate need;
  need.outputs = membudget::Bytes::product({size.m, size.n, bytes, outputs});
  need.what = gw::format("%llu %zu-by-%zu output%s", static_cast<unsigned long long>(outputs),
                         size.m, size.n, outputs == 1 ? "" : "s");
  gw::requireMemory(mexFunctionName(), need);
}

}  // namespace args
}  // namespace levelset

#endif  // MOTIONSEG_LEVELSET_MEX_ARGUMENT_CHECKS_H

// The interior of a row correlation in AVX2 vectors (row_correlation_avx2.cpp, only where the
// processor has AVX2): plain declarations, so that the file compiled for AVX2 shares no inline
// code with the rest of the program.
#ifndef MOTIONSEG_FLOW_FILTERS_ROW_CORRELATION_H
#define MOTIONSEG_FLOW_FILTERS_ROW_CORRELATION_H

namespace NFilter {
namespace detail {

/// Positions p = lo, lo + 8, ... of a row while p + 8 ≤ hi: d[p + k] = Σᵢ tap[i]·s[p + k + i −
/// delta], each sum from 0 in tap order, as the scalar interior forms it (every window inside
/// the row). Returns the first position not written.
int correlateInteriorAvx2(const float* s, float* d, int lo, int hi, const float* tap, int size,
                          long long delta);

}  // namespace detail
}  // namespace NFilter

#endif  // MOTIONSEG_FLOW_FILTERS_ROW_CORRELATION_H

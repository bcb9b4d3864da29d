// The inner loop of the fast grid matching: one row of candidates of one search, with the
// two cheap tests, a lower bound on the descriptor distance from per-position descriptor
// norms, and the distances of eight (sixteen) neighbouring candidates at once. Compiled for
// the x86-64 baseline, for AVX2 and for AVX-512 (same bits); plain data only, so that the
// wider objects share no inline code with the rest of the program.
#ifndef MOTIONSEG_FLOW_MATCHING_MATCH_ROW_SCAN_H
#define MOTIONSEG_FLOW_MATCHING_MATCH_ROW_SCAN_H

namespace flowmatch {
namespace detail {

/// Entries of a matching descriptor (3 × 3 positions times 15 bins) and its positions.
constexpr int kBins = 15;
constexpr int kPositions = 9;

/// The two cheap tests of a candidate: neither descriptor sum more than kSumRatio times the
/// other, and a colour distance (sum of squared differences over channels 0..2) of at most
/// kColourLimit.
constexpr float kSumRatio = 2.0f;
constexpr float kColourLimit = 300.0f;

/// One row of candidates (x0 .. x0 + count − 1, y) of a search.
struct RowScan {
  const float* reference;       // the origin's descriptor, kPositions × kBins entries
  const float* referenceNorms;  // the norm of each of its kPositions parts
  const long long* offsets;     // the kPositions sample offsets from a candidate's pixel
  long long plane;              // distance between two bins of the histogram
  const float* hog;             // bin 0 of the candidate frame's histogram at (x0, y)
  const float* norms;           // the candidate frame's histogram norms at (x0, y)
  const float* sums;            // the candidate frame's descriptor sums at (x0, y)
  const float* colour[3];       // channels 0..2 of the candidate frame at (x0, y)
  float originSum;              // descriptor sum of the origin
  float originColour[3];        // channels 0..2 of the origin
  float bound;                  // distances above this cannot be the result (see search)
  int x0, y, count;
  bool trackSecond;  // forward search: best and second-best; else best alone
  bool useNorms;     // whether to test the norm bound before the distances
  float* start;      // scratch of count + 16 entries
};

/// The state of the straightforward scan: smallest and second-smallest distance (10⁹ at
/// most) and the first candidate with the smallest.
struct ScanState {
  float best, second;
  int bx, by;
};

/// The row scanned with the baseline instruction set, with AVX2 and with AVX-512 (each only
/// where the processor has it). Each leaves `state` as the straightforward scan over the row
/// would.
void scanRowSse2(const RowScan& row, ScanState& state);
void scanRowAvx2(const RowScan& row, ScanState& state);
void scanRowAvx512(const RowScan& row, ScanState& state);

/// One candidate's distance to the reference, summed as the straightforward matching does;
/// stops once the partial sum exceeds `limit` and returns false then.
bool candidateDistance(const float* reference, const float* hog, const long long* offsets,
                       long long plane, float limit, float& distance);

}  // namespace detail
}  // namespace flowmatch

#endif  // MOTIONSEG_FLOW_MATCHING_MATCH_ROW_SCAN_H

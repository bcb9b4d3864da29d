#include "flow/matching/descriptor_matching.h"

#include "flow/containers/array_memory.h"
#include "flow/matching/match_row_scan.h"
#include "flow/matching/orientation_histogram.h"
#include "flow/parallel/for_each_range.h"
#include "flow/parallel/instruction_set.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace flowmatch {
namespace {

constexpr float kInitialDistance = 1.0e9f;
constexpr float kLargestBest = 1.0e8f;
using detail::kColourLimit;
using detail::kSumRatio;
constexpr float kNoSecondConfidence = 10.0f;
constexpr double kConfidenceOffset = 1.0e-6;

/// Per-call data shared by every grid point: the inputs, the descriptor sums and the score
/// below which a grid point is taken as untextured.
struct Context {
  const MatchingInput& in;
  int xSize, ySize, plane;
  CMatrix<float> sums1, sums2;
  float minimumConfidence;
  // Euclidean norm of the 15 bins at every pixel (fast matching only).
  CMatrix<float> norms1, norms2;
};

/// Sum of the 15 descriptor channels at every pixel, channels added in order.
void channelSums(const CTensor<float>& hog, CMatrix<float>& sums) {
  const int plane = hog.xSize() * hog.ySize();
  sums.setSize(hog.xSize(), hog.ySize());
  sums.fill(0.0f);
  for (int c = 0; c < hog.zSize(); ++c) {
    const float* channel = hog.data() + static_cast<long long>(c) * plane;
    for (int i = 0; i < plane; ++i)
      sums.data()[i] += channel[i];
  }
}

/// Norm of the 15 descriptor channels at every pixel: the squares exact in double, summed in
/// bin order and rooted in double, rounded once to float (the rounding the bound of the row
/// scan allows for).
void channelNorms(const CTensor<float>& hog, CMatrix<float>& norms) {
  const int plane = hog.xSize() * hog.ySize();
  norms.setSize(hog.xSize(), hog.ySize());
  flowdetail::LargeVector<double> squares(static_cast<std::size_t>(plane), 0.0);
  for (int c = 0; c < hog.zSize(); ++c) {
    const float* channel = hog.data() + static_cast<long long>(c) * plane;
    for (int i = 0; i < plane; ++i) {
      const double h = channel[i];
      squares[i] += h * h;
    }
  }
  for (int i = 0; i < plane; ++i)
    norms.data()[i] = static_cast<float>(std::sqrt(squares[i]));
}

void requireSize(bool ok, const char* what) {
  if (!ok) throw std::invalid_argument(std::string("descriptor matching: ") + what);
}

/// Checks the inputs' sizes (they would otherwise be read past their ends), resets the three
/// match tensors and computes the shared per-call data.
void prepare(Context& ctx, CTensor<float>& matchU, CTensor<float>& matchV,
             CTensor<float>& matchConfidence) {
  const MatchingInput& in = ctx.in;
  const int xs = in.image1.xSize(), ys = in.image1.ySize();
  requireSize(in.image2.xSize() == xs && in.image2.ySize() == ys,
              "the frames must have the same size");
  requireSize(in.image1.zSize() >= 3 && in.image2.zSize() >= 3,
              "the frames need at least 3 channels");
  requireSize(in.hog1.xSize() == xs && in.hog1.ySize() == ys &&
                  in.hog1.zSize() == kOrientationBins && in.hog2.xSize() == xs &&
                  in.hog2.ySize() == ys && in.hog2.zSize() == kOrientationBins,
              "the histograms must have the frames' size and 15 channels");
  requireSize(in.confidence.xSize() == xs && in.confidence.ySize() == ys,
              "the confidence map must have the frames' size");
  ctx.xSize = xs;
  ctx.ySize = ys;
  ctx.plane = xs * ys;

  for (CTensor<float>* t : {&matchU, &matchV, &matchConfidence}) {
    t->setSize(xs, ys, 1);
    t->fill(0.0f);
  }
  channelSums(in.hog1, ctx.sums1);
  channelSums(in.hog2, ctx.sums2);
  // Mean score, summed in single precision in pixel order.
  float total = 0.0f;
  for (int i = 0; i < ctx.plane; ++i)
    total += in.confidence.data()[i];
  const float mean = total / static_cast<float>(ctx.plane);
  ctx.minimumConfidence = 0.125f * mean;
}

/// Whether both descriptor sums lie within a factor 2 of each other.
inline bool similarSums(float a, float b) {
  return !(b > kSumRatio * a || a > kSumRatio * b);
}

/// Sum of the squared differences of channels 0, 1, 2 in single precision, in channel order.
inline float colourDistance(const CTensor<float>& a, int xa, int ya, const CTensor<float>& b,
                            int xb, int yb) {
  float s = 0.0f;
  for (int q = 0; q < 3; ++q) {
    const float d = a(xa, ya, q) - b(xb, yb, q);
    s += d * d;
  }
  return s;
}

/// The confidence of an accepted match from its best and second-best distance.
inline float matchConfidenceOf(float best, float second) {
  if (!(second < kInitialDistance)) return kNoSecondConfidence;
  return static_cast<float>(static_cast<double>(second - best) /
                            (static_cast<double>(best) + kConfidenceOffset));
}

inline void store(const Context& ctx, int x, int y, int bx, int by, float best, float second,
                  CTensor<float>& matchU, CTensor<float>& matchV, CTensor<float>& matchConfidence) {
  const int i = x + y * ctx.xSize;
  matchU.data()[i] = static_cast<float>(bx - x);
  matchV.data()[i] = static_cast<float>(by - y);
  matchConfidence.data()[i] = matchConfidenceOf(best, second);
}

// ---- The straightforward matching -----------------------------------------------------------

/// The matching descriptor at (x, y): rows y − 4, y, y + 4 (outermost), columns x − 4, x,
/// x + 4, then the 15 bins.
void fillDescriptor(const CTensor<float>& hog, int x, int y, float* d) {
  int i = 0;
  for (int dy = -kGridStep; dy <= kGridStep; dy += kGridStep) {
    for (int dx = -kGridStep; dx <= kGridStep; dx += kGridStep) {
      for (int c = 0; c < kOrientationBins; ++c)
        d[i++] = hog(x + dx, y + dy, c);
    }
  }
}

/// Σ (a − b)² over the descriptor entries in vector order, in single precision.
float descriptorDistance(const float* a, const float* b) {
  float e = 0.0f;
  for (int i = 0; i < kDescriptorLength; ++i) {
    const float d = a[i] - b[i];
    e += d * d;
  }
  return e;
}

void matchPointReference(const Context& ctx, int x, int y, float* d1, float* d2, float* d3,
                         CTensor<float>& matchU, CTensor<float>& matchV,
                         CTensor<float>& matchConfidence) {
  const MatchingInput& in = ctx.in;
  // Untextured grid points take no part.
  if (ctx.minimumConfidence > in.confidence(x, y)) return;
  fillDescriptor(in.hog1, x, y, d1);

  // Forward search over the window where the whole descriptor fits.
  const float s1 = ctx.sums1(x, y);
  float best = kInitialDistance, second = kInitialDistance;
  int bx = 0, by = 0;
  for (int yc = std::max(y - kSearchRadius, kGridStep);
       yc <= std::min(y + kSearchRadius, ctx.ySize - 5); ++yc) {
    for (int xc = std::max(x - kSearchRadius, kGridStep);
         xc <= std::min(x + kSearchRadius, ctx.xSize - 5); ++xc) {
      if (!similarSums(s1, ctx.sums2(xc, yc))) continue;
      if (colourDistance(in.image1, x, y, in.image2, xc, yc) > kColourLimit) continue;
      fillDescriptor(in.hog2, xc, yc, d2);
      const float e = descriptorDistance(d1, d2);
      if (e < best) {
        second = best;
        best = e;
        bx = xc;
        by = yc;
      } else if (e < second) {
        second = e;
      }
    }
  }
  if (best > kLargestBest) return;

  // Backward search from the best match into the first frame.
  fillDescriptor(in.hog2, bx, by, d2);
  const float sb = ctx.sums2(bx, by);
  float best2 = kInitialDistance;
  int bx2 = 0, by2 = 0;
  for (int yc = std::max(by - kSearchRadius, kGridStep);
       yc <= std::min(by + kSearchRadius, ctx.ySize - 5); ++yc) {
    for (int xc = std::max(bx - kSearchRadius, kGridStep);
         xc <= std::min(bx + kSearchRadius, ctx.xSize - 5); ++xc) {
      if (!similarSums(sb, ctx.sums1(xc, yc))) continue;
      if (colourDistance(in.image2, bx, by, in.image1, xc, yc) > kColourLimit) continue;
      fillDescriptor(in.hog1, xc, yc, d3);
      const float e = descriptorDistance(d3, d2);
      if (e < best2) {
        best2 = e;
        bx2 = xc;
        by2 = yc;
      }
    }
  }
  if (!(best2 < kInitialDistance) || std::abs(bx2 - x) > 1 || std::abs(by2 - y) > 1) return;
  store(ctx, x, y, bx, by, best, second, matchU, matchV, matchConfidence);
}

// ---- The fast matching ----------------------------------------------------------------------
//
// The straightforward search keeps, over the candidates in scan order, best = the smallest
// distance, (bx, by) = the first candidate with it, and second = the second-smallest distance
// (10⁹ at most); distances that are not numbers are never kept. Two kinds of candidate can
// therefore be left out without changing any of these:
//  - one whose distance is at least the current second-best (forward) or best (backward):
//    the scan would not change its state for it;
//  - one whose distance exceeds a bound U that two other candidates reach (forward: U is the
//    larger of two candidates' distances) or one other candidate reaches (backward): it can be
//    neither the smallest nor the second-smallest.
// The bound comes from a few hint candidates computed first: around the displacement of the
// previous grid point of the row (forward) and around the grid point itself (backward).
// Since squared differences are not negative, a partial sum already above the limit proves
// the whole distance is, and its summation stops. Before any summation, a lower bound from
// the norms of the descriptors' nine parts rules out most candidates at once; during it, the
// partial sum plus the bound of the parts not yet summed stops it earlier (the rounding
// arguments are in match_row_kernel.h).

/// Candidates of a row scanned with one vector, the most of any instruction set.
constexpr int kLanes = 16;

/// Scratch of one worker, allocated once per worker.
struct Workspace {
  float reference[kDescriptorLength];
  std::vector<float> start;  // per candidate of a row: 0 if it passed both tests, else +inf
  Workspace() : start(2 * kSearchRadius + 1 + kLanes) {}
};

/// The search window of a point: candidates (x, y) with x0 ≤ x ≤ x1, y0 ≤ y ≤ y1.
struct Window {
  int x0, x1, y0, y1;
  Window(const Context& ctx, int cx, int cy)
      : x0(std::max(cx - kSearchRadius, kGridStep)),
        x1(std::min(cx + kSearchRadius, ctx.xSize - 5)),
        y0(std::max(cy - kSearchRadius, kGridStep)),
        y1(std::min(cy + kSearchRadius, ctx.ySize - 5)) {}
  bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

/// The reference point of a search: its descriptor lives in the workspace.
struct Origin {
  int x, y;
  float sum;
  float colour[3];
};

/// Whether a candidate passes the descriptor-sum and colour tests, with the rounding of the
/// straightforward code.
inline bool passesTests(const Origin& o, float sum, float c0, float c1, float c2) {
  const float d0 = o.colour[0] - c0, d1 = o.colour[1] - c1, d2 = o.colour[2] - c2;
  float colourDist = d0 * d0;
  colourDist += d1 * d1;
  colourDist += d2 * d2;
  return similarSums(o.sum, sum) && !(colourDist > kColourLimit);
}

/// The frame a search looks for candidates in.
struct CandidateFrame {
  const CTensor<float>& image;
  const CTensor<float>& hog;
  const CMatrix<float>& sums;
  const CMatrix<float>& norms;
};

/// One exhaustive search around the origin in the candidate frame, with the same result as
/// the straightforward search. `hintX`, `hintY` centre the 3 × 3 hint candidates that bound
/// the result before the scan; `originNorms` are the histogram norms of the origin's frame.
/// The backward search (kTrackSecond false) may stop as soon as its best is known to lie
/// outside the hint square: its caller then reads no more than that.
template <bool kTrackSecond>
detail::ScanState search(const Context& ctx, const Origin& o, int hintX, int hintY,
                         const CandidateFrame& f, const CMatrix<float>& originNorms,
                         Workspace& ws) {
  const int xSize = ctx.xSize;
  const long long plane = ctx.plane;
  const long long offsets[9] = {-kGridStep * xSize - kGridStep,
                                -kGridStep * xSize,
                                -kGridStep * xSize + kGridStep,
                                -kGridStep,
                                0,
                                kGridStep,
                                kGridStep * xSize - kGridStep,
                                kGridStep * xSize,
                                kGridStep * xSize + kGridStep};
  const float inf = std::numeric_limits<float>::infinity();
  const Window w(ctx, o.x, o.y);
  auto candidateTests = [&](int x, int y) {
    const long long i = x + static_cast<long long>(y) * xSize;
    const float* c = f.image.data() + i;
    return passesTests(o, f.sums.data()[i], c[0], c[plane], c[2 * plane]);
  };

  // The bound: the smallest two (forward) or the smallest (backward) distance among the
  // distinct hint candidates that are real candidates of this search.
  float smallest = inf, secondSmallest = inf;
  for (int hy = hintY - 1; hy <= hintY + 1; ++hy) {
    for (int hx = hintX - 1; hx <= hintX + 1; ++hx) {
      if (!w.contains(hx, hy) || !candidateTests(hx, hy)) continue;
      float e = 0.0f;
      detail::candidateDistance(ws.reference,
                                f.hog.data() + hx + static_cast<long long>(hy) * xSize, offsets,
                                plane, inf, e);
      if (e < smallest) {
        secondSmallest = smallest;
        smallest = e;
      } else if (e < secondSmallest) {
        secondSmallest = e;
      }
    }
  }

  float referenceNorms[9];
  const long long originAt = o.x + static_cast<long long>(o.y) * xSize;
  for (int k = 0; k < 9; ++k)
    referenceNorms[k] = originNorms.data()[originAt + offsets[k]];

  [[maybe_unused]] const flowsimd::InstructionSet set = flowsimd::activeWidest();
  detail::RowScan row{};
  row.reference = ws.reference;
  row.referenceNorms = referenceNorms;
  row.offsets = offsets;
  row.plane = plane;
  row.originSum = o.sum;
  for (int q = 0; q < 3; ++q)
    row.originColour[q] = o.colour[q];
  row.bound = kTrackSecond ? secondSmallest : smallest;
  row.x0 = w.x0;
  row.count = w.x1 - w.x0 + 1;
  row.trackSecond = kTrackSecond;
  row.useNorms = true;
  row.start = ws.start.data();
  detail::ScanState s{kInitialDistance, kInitialDistance, 0, 0};
  // The backward search decides only whether its best lies within the hint square (the
  // 3 × 3 candidates around the origin of the forward search). Once the best so far lies
  // outside it at a distance below the smallest one within it, or at that distance (the first
  // in scan order with it), no later candidate can bring the best back inside: the rest of the
  // window is left unscanned.
  auto decidedOutside = [&] {
    if (kTrackSecond) return false;
    const bool outside = std::abs(s.bx - hintX) > 1 || std::abs(s.by - hintY) > 1;
    return s.best < smallest || (s.best == smallest && outside);
  };
  for (int yc = w.y0; yc <= w.y1 && !decidedOutside(); ++yc) {
    const long long at = static_cast<long long>(yc) * xSize + w.x0;
    row.y = yc;
    row.hog = f.hog.data() + at;
    row.norms = f.norms.data() + at;
    row.sums = f.sums.data() + at;
    row.colour[0] = f.image.data() + at;
    row.colour[1] = row.colour[0] + plane;
    row.colour[2] = row.colour[1] + plane;
#ifdef MOTIONSEG_FLOW_AVX512
    if (set == flowsimd::InstructionSet::Avx512) {
      detail::scanRowAvx512(row, s);
      continue;
    }
#endif
#ifdef MOTIONSEG_FLOW_AVX2
    if (set == flowsimd::InstructionSet::Avx2) {
      detail::scanRowAvx2(row, s);
      continue;
    }
#endif
    detail::scanRowSse2(row, s);
  }
  return s;
}

/// Matches grid point (x, y); (predictU, predictV) is the displacement the forward search
/// looks at first. Returns the forward best's displacement, or (0, 0) when there is none.
std::pair<int, int> matchPointFast(const Context& ctx, int x, int y, int predictU, int predictV,
                                   Workspace& ws, CTensor<float>& matchU, CTensor<float>& matchV,
                                   CTensor<float>& matchConfidence) {
  const MatchingInput& in = ctx.in;
  if (ctx.minimumConfidence > in.confidence(x, y)) return {predictU, predictV};

  fillDescriptor(in.hog1, x, y, ws.reference);
  const Origin first{
      x, y, ctx.sums1(x, y), {in.image1(x, y, 0), in.image1(x, y, 1), in.image1(x, y, 2)}};
  const detail::ScanState forward =
      search<true>(ctx, first, x + predictU, y + predictV,
                   {in.image2, in.hog2, ctx.sums2, ctx.norms2}, ctx.norms1, ws);
  if (forward.best > kLargestBest) return {predictU, predictV};

  const int bx = forward.bx, by = forward.by;
  fillDescriptor(in.hog2, bx, by, ws.reference);
  const Origin second{bx,
                      by,
                      ctx.sums2(bx, by),
                      {in.image2(bx, by, 0), in.image2(bx, by, 1), in.image2(bx, by, 2)}};
  const detail::ScanState backward =
      search<false>(ctx, second, x, y, {in.image1, in.hog1, ctx.sums1, ctx.norms1}, ctx.norms2, ws);
  if (backward.best < kInitialDistance && std::abs(backward.bx - x) <= 1 &&
      std::abs(backward.by - y) <= 1) {
    store(ctx, x, y, bx, by, forward.best, forward.second, matchU, matchV, matchConfidence);
  }
  return {bx - x, by - y};
}

}  // namespace

void matchReference(const MatchingInput& in, CTensor<float>& matchU, CTensor<float>& matchV,
                    CTensor<float>& matchConfidence) {
  Context ctx{in, 0, 0, 0, {}, {}, 0.0f, {}, {}};
  prepare(ctx, matchU, matchV, matchConfidence);
  // The three descriptor vectors, allocated once and refilled for every point and candidate.
  std::vector<float> d1(kDescriptorLength), d2(kDescriptorLength), d3(kDescriptorLength);
  for (int y = kGridStep; y < ctx.ySize - kGridStep; y += kGridStep) {
    for (int x = kGridStep; x < ctx.xSize - kGridStep; x += kGridStep) {
      matchPointReference(ctx, x, y, d1.data(), d2.data(), d3.data(), matchU, matchV,
                          matchConfidence);
    }
  }
}

void match(const MatchingInput& in, CTensor<float>& matchU, CTensor<float>& matchV,
           CTensor<float>& matchConfidence, int threads) {
  match(in, matchU, matchV, matchConfidence, nullptr, threads, {});
}

void match(const MatchingInput& in, CTensor<float>& matchU, CTensor<float>& matchV,
           CTensor<float>& matchConfidence, flowthreads::Pool* pool, int threads,
           const std::function<void()>& checkpoint) {
  Context ctx{in, 0, 0, 0, {}, {}, 0.0f, {}, {}};
  prepare(ctx, matchU, matchV, matchConfidence);
  const int gridRows = ctx.ySize > 2 * kGridStep ? (ctx.ySize - kGridStep - 1) / kGridStep : 0;
  if (gridRows == 0 || ctx.xSize <= 2 * kGridStep) return;
  flowthreads::forEachRange(pool, 2, threads, [&](int begin, int end) {
    for (int k = begin; k < end; ++k)
      channelNorms(k == 0 ? in.hog1 : in.hog2, k == 0 ? ctx.norms1 : ctx.norms2);
  });

  // Grid rows are handed out one at a time; every grid point writes only its own pixel of
  // the match tensors, so the order in which rows finish does not matter. The calling thread
  // passes the checkpoint before each row it takes; when the checkpoint throws, the other
  // threads end after their current row.
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<int> nextRow{0};
  std::atomic<bool> stop{false};
  auto work = [&]() {
    Workspace ws;
    for (;;) {
      if (checkpoint && std::this_thread::get_id() == caller) {
        try {
          checkpoint();
        } catch (...) {
          stop.store(true);
          throw;
        }
      }
      const int r = nextRow.fetch_add(1);
      if (r >= gridRows || stop.load()) return;
      const int y = kGridStep * (r + 1);
      // Neighbouring grid points tend to move alike: each search first looks where the
      // previous point of the row went.
      std::pair<int, int> prediction{0, 0};
      try {
        for (int x = kGridStep; x < ctx.xSize - kGridStep; x += kGridStep) {
          prediction = matchPointFast(ctx, x, y, prediction.first, prediction.second, ws, matchU,
                                      matchV, matchConfidence);
        }
      } catch (...) {
        stop.store(true);
        throw;
      }
    }
  };
  const int workers = std::max(1, std::min(threads, gridRows));
  flowthreads::forEachRange(pool, workers, workers, [&](int begin, int end) {
    for (int k = begin; k < end; ++k)
      work();
  });
}

}  // namespace flowmatch

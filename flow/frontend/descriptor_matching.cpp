#include "flow/frontend/descriptor_matching.h"

#include "flow/frontend/orientation_histogram.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace NMatch {
namespace {

constexpr float kInitialDistance = 1.0e9f;
constexpr float kLargestBest = 1.0e8f;
constexpr float kSumRatio = 2.0f;
constexpr float kColourLimit = 300.0f;
constexpr float kNoSecondConfidence = 10.0f;
constexpr double kConfidenceOffset = 1.0e-6;

/// Per-call data shared by every grid point: the inputs, the descriptor sums and the score
/// below which a grid point is taken as untextured.
struct Context {
  const MatchingInput& in;
  int xSize, ySize, plane;
  CMatrix<float> sums1, sums2;
  float minimumConfidence;
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
// the whole distance is, and its summation stops.

/// Candidates compared at once along x.
constexpr int kLanes = 8;

/// Scratch of one worker, allocated once per worker.
struct Workspace {
  float reference[kDescriptorLength];
  std::vector<float> start;  // per candidate of a row: 0 if it passed both tests, else +inf
  Workspace() : start(2 * kSearchRadius + 1 + kLanes) {}
};

/// Best (and, when tracked, second-best) distance of one search and the best position.
struct Search {
  float best = kInitialDistance;
  float second = kInitialDistance;
  int bx = 0, by = 0;
};

/// Adds to acc[0..W) the squared descriptor differences of W neighbouring candidates, whose
/// first-bin values at the nine sample positions are base + offsets[k], entry by entry in
/// vector order, so each lane sums exactly as the straightforward distance does. Stops after
/// a sample position once every lane is above `limit` and returns false then.
template <int W>
bool laneDistances(const float* reference, const float* base, const long long* offsets,
                   long long plane, float limit, float* acc) {
  // The limit is tested after every fifth bin: often for the first entries, which decide
  // most candidates, and rarely enough to cost little.
  constexpr int kStep = 5;
  for (int k = 0; k < 9; ++k) {
    const float* p = base + offsets[k];
    const float* r = reference + k * kOrientationBins;
    for (int c0 = 0; c0 < kOrientationBins; c0 += kStep) {
      for (int c = c0; c < c0 + kStep; ++c, p += plane) {
        const float a = r[c];
        for (int j = 0; j < W; ++j) {
          const float d = a - p[j];
          acc[j] += d * d;
        }
      }
      bool open = false;
      for (int j = 0; j < W; ++j)
        open |= !(acc[j] > limit);
      if (!open) return false;
    }
  }
  return true;
}

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

/// One exhaustive search around the origin in the candidate frame (image, hog, sums), with
/// the same result as the straightforward search. `hintX`, `hintY` centre the 3 × 3 hint
/// candidates that bound the result before the scan.
template <bool kTrackSecond>
Search search(const Context& ctx, const Origin& o, int hintX, int hintY,
              const CTensor<float>& image, const CTensor<float>& hog, const CMatrix<float>& sums,
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
    const float* c = image.data() + i;
    return passesTests(o, sums.data()[i], c[0], c[plane], c[2 * plane]);
  };

  // The bound: the smallest two (forward) or the smallest (backward) distance among the
  // distinct hint candidates that are real candidates of this search.
  float smallest = inf, secondSmallest = inf;
  for (int hy = hintY - 1; hy <= hintY + 1; ++hy) {
    for (int hx = hintX - 1; hx <= hintX + 1; ++hx) {
      if (!w.contains(hx, hy) || !candidateTests(hx, hy)) continue;
      float e = 0.0f;
      laneDistances<1>(ws.reference, hog.data() + hx + static_cast<long long>(hy) * xSize, offsets,
                       plane, inf, &e);
      if (e < smallest) {
        secondSmallest = smallest;
        smallest = e;
      } else if (e < secondSmallest) {
        secondSmallest = e;
      }
    }
  }
  const float bound = kTrackSecond ? secondSmallest : smallest;

  Search s;
  auto consider = [&s](float e, int xc, int yc) {
    if (e < s.best) {
      s.second = s.best;
      s.best = e;
      s.bx = xc;
      s.by = yc;
    } else if (kTrackSecond && e < s.second) {
      s.second = e;
    }
  };
  // Distances above the limit cannot change the result: at or above the current second-best
  // (best), or above the bound.
  auto limit = [&]() {
    const float running = kTrackSecond ? s.second : s.best;
    return std::min(bound, std::nextafter(running, -inf));
  };

  const int count = w.x1 - w.x0 + 1;
  float* start = ws.start.data();
  for (int yc = w.y0; yc <= w.y1; ++yc) {
    // The two cheap tests for the whole row of candidates.
    const long long row = static_cast<long long>(yc) * xSize + w.x0;
    const float* sumRow = sums.data() + row;
    const float* c0 = image.data() + row;
    const float* c1 = c0 + plane;
    const float* c2 = c1 + plane;
    // Branch-free, so that the compiler can test several candidates per instruction.
    int passed = 0;
    for (int j = 0; j < count; ++j) {
      const float d0 = o.colour[0] - c0[j], d1 = o.colour[1] - c1[j], d2 = o.colour[2] - c2[j];
      float colourDist = d0 * d0;
      colourDist += d1 * d1;
      colourDist += d2 * d2;
      const bool fail = (sumRow[j] > kSumRatio * o.sum) | (o.sum > kSumRatio * sumRow[j]) |
                        (colourDist > kColourLimit);
      start[j] = fail ? inf : 0.0f;
      passed += fail ? 0 : 1;
    }
    const bool any = passed > 0;
    if (!any) continue;

    const float* base = hog.data() + row;
    int j = 0;
    for (; j + kLanes <= count; j += kLanes) {
      bool open = false;
      for (int l = 0; l < kLanes; ++l)
        open |= start[j + l] == 0.0f;
      if (!open) continue;
      float acc[kLanes];
      std::copy(start + j, start + j + kLanes, acc);
      if (!laneDistances<kLanes>(ws.reference, base + j, offsets, plane, limit(), acc)) continue;
      for (int l = 0; l < kLanes; ++l)
        consider(acc[l], w.x0 + j + l, yc);
    }
    for (; j < count; ++j) {
      if (start[j] != 0.0f) continue;
      float acc = 0.0f;
      if (!laneDistances<1>(ws.reference, base + j, offsets, plane, limit(), &acc)) continue;
      consider(acc, w.x0 + j, yc);
    }
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
  const Search forward =
      search<true>(ctx, first, x + predictU, y + predictV, in.image2, in.hog2, ctx.sums2, ws);
  if (forward.best > kLargestBest) return {predictU, predictV};

  const int bx = forward.bx, by = forward.by;
  fillDescriptor(in.hog2, bx, by, ws.reference);
  const Origin second{bx,
                      by,
                      ctx.sums2(bx, by),
                      {in.image2(bx, by, 0), in.image2(bx, by, 1), in.image2(bx, by, 2)}};
  const Search backward = search<false>(ctx, second, x, y, in.image1, in.hog1, ctx.sums1, ws);
  if (backward.best < kInitialDistance && std::abs(backward.bx - x) <= 1 &&
      std::abs(backward.by - y) <= 1) {
    store(ctx, x, y, bx, by, forward.best, forward.second, matchU, matchV, matchConfidence);
  }
  return {bx - x, by - y};
}

}  // namespace

void matchReference(const MatchingInput& in, CTensor<float>& matchU, CTensor<float>& matchV,
                    CTensor<float>& matchConfidence) {
  Context ctx{in, 0, 0, 0, {}, {}, 0.0f};
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
  Context ctx{in, 0, 0, 0, {}, {}, 0.0f};
  prepare(ctx, matchU, matchV, matchConfidence);
  const int gridRows = ctx.ySize > 2 * kGridStep ? (ctx.ySize - kGridStep - 1) / kGridStep : 0;
  if (gridRows == 0 || ctx.xSize <= 2 * kGridStep) return;

  // Grid rows are handed out one at a time; every grid point writes only its own pixel of
  // the match tensors, so the order in which rows finish does not matter.
  std::atomic<int> nextRow{0};
  std::atomic<bool> stop{false};
  auto work = [&]() {
    Workspace ws;
    for (;;) {
      const int r = nextRow.fetch_add(1);
      if (r >= gridRows || stop.load()) return;
      const int y = kGridStep * (r + 1);
      // Neighbouring grid points tend to move alike: each search first looks where the
      // previous point of the row went.
      std::pair<int, int> prediction{0, 0};
      for (int x = kGridStep; x < ctx.xSize - kGridStep; x += kGridStep) {
        prediction = matchPointFast(ctx, x, y, prediction.first, prediction.second, ws, matchU,
                                    matchV, matchConfidence);
      }
    }
  };

  const int workers = std::max(1, std::min(threads, gridRows));
  std::vector<std::exception_ptr> failures(workers);
  auto run = [&](int w) {
    try {
      work();
    } catch (...) {
      // Carried to the calling thread, which rethrows it after every worker has ended.
      failures[w] = std::current_exception();
      stop.store(true);
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(workers - 1);
  for (int w = 1; w < workers; ++w) {
    try {
      pool.emplace_back(run, w);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones running share the work
    }
  }
  run(0);
  for (std::thread& t : pool)
    t.join();
  for (const std::exception_ptr& f : failures) {
    if (f) std::rethrow_exception(f);
  }
}

}  // namespace NMatch

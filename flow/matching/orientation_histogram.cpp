#include "flow/matching/orientation_histogram.h"

#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "flow/numerics/NMath.h"
#include "flow/numerics/same_on_every_cpu.h"
#include "flow/parallel/for_each_range.h"

#include <algorithm>
#include <cmath>

void computeHOG(const CTensor<float>& image, CTensor<float>& histogram) {
  computeHOG(image, histogram, nullptr, 1);
}

namespace {

// Steps 1 to 3: the votes of every channel's gradients into the bins, unsmoothed.
void vote(const CTensor<float>& image, CTensor<float>& histogram, flowthreads::Pool* pool,
          int threads) {
  const int xSize = image.xSize(), ySize = image.ySize(), channels = image.zSize();
  const int plane = xSize * ySize;

  // Step 1: an empty histogram of the image's size.
  histogram.setSize(xSize, ySize, kOrientationBins);
  histogram.fill(0.0f);

  {
    // Step 2: central differences along x and y of every channel, mirrored at the borders.
    const CDerivative<float> derivative(3);
    CTensor<float> gx(xSize, ySize, channels), gy(xSize, ySize, channels);
    NFilter::filter(image, gx, derivative, 1, 1, pool, threads);
    NFilter::filter(image, gy, 1, derivative, 1, pool, threads);

    // Step 3: every channel votes its gradient magnitude into the bin of its direction.
    // 15/(2π) is formed in double and rounded once; the bin index is the truncated product.
    const float binScale = static_cast<float>(15.0 / (2.0 * static_cast<double>(NMath::Pi)));
    // Pixels [i0, i1) on one thread, their channels in order.
    float* bins = histogram.data();
    flowthreads::forEachRange(pool, plane, threads, [&](int i0, int i1) {
      for (int k = 0; k < channels; ++k) {
        const float* dx = gx.data() + static_cast<long long>(k) * plane;
        const float* dy = gy.data() + static_cast<long long>(k) * plane;
        for (int i = i0; i < i1; ++i) {
          const float u = dx[i], v = dy[i];
          if (u == 0.0f && v == 0.0f) continue;
          const float magnitude = std::sqrt(u * u + v * v);
          // atan2 + π rounded to float as from the true angle, the same on every processor
          // (see same_on_every_cpu.h).
          const float angle = flowmath::atan2PlusToFloat(
              static_cast<double>(v), static_cast<double>(u), static_cast<double>(NMath::Pi));
          const float position = angle * binScale;
          // A derivative that is not a number gives no direction (and truncating it would be
          // undefined); every other position lies in [0, 15].
          if (!(position >= 0.0f && position < 16.0f)) continue;
          int bin = static_cast<int>(position);
          if (bin == kOrientationBins) bin = 0;  // θ = π closes the circle onto bin 0
          bins[i + static_cast<long long>(bin) * plane] += magnitude;
        }
      }
    });
  }  // the derivatives are released before the scratch of the next steps is allocated
}

// The 3-tap Gaussian (sigma 0.8) of step 4 and its two outer taps, which step 5 uses.
struct Softening {
  CSmooth<float> smooth{0.8f, 1.0f};
  float rMinus = smooth.data()[smooth.delta() - 1];
  float rPlus = smooth.data()[smooth.delta() + 1];
  double keep = 1.0 - static_cast<double>(rMinus);
};

// Step 5 on the softened bins 0 (`first`) and 14 (`last`), pixels [i0, i1): bin 0 takes its
// share of bin 14 in place of its mirrored self, and bin 14 its share of bin 0; both from
// the step-4 values, the products r·s in single precision, (1 − r−) and the sums in double.
void closeCircle(const Softening& w, float* first, float* last, int i0, int i1) {
  for (int i = i0; i < i1; ++i) {
    const float s0 = first[i], s14 = last[i];
    first[i] = static_cast<float>(static_cast<double>(w.rMinus * s14) + w.keep * s0);
    last[i] = static_cast<float>(static_cast<double>(w.rPlus * s0) + w.keep * s14);
  }
}

// Steps 4 to 6 over the whole histogram at once, with one scratch tensor of its size.
void smoothWhole(CTensor<float>& histogram, flowthreads::Pool* pool, int threads) {
  const int plane = histogram.xSize() * histogram.ySize();
  const Softening w;
  // Step 4: soften across neighbouring directions. The filter mirrors at bins 0 and 14
  // instead of wrapping; step 5 mends that. The steps alternate between the histogram and
  // one scratch tensor of its size instead of copying.
  CTensor<float> softened(histogram.xSize(), histogram.ySize(), kOrientationBins);
  NFilter::filter(histogram, softened, 1, 1, w.smooth, pool, threads);
  // Step 5: close the circle.
  float* first = softened.data();
  float* last = softened.data() + static_cast<long long>(kOrientationBins - 1) * plane;
  flowthreads::forEachRange(pool, plane, threads,
                            [&](int i0, int i1) { closeCircle(w, first, last, i0, i1); });
  // Step 6: mean over the 7-by-7 window around every pixel, clipped at the borders: along x
  // into the histogram, along y back into the scratch, which then becomes the result.
  NFilter::boxFilterX(softened, histogram, 7, pool, threads);
  NFilter::boxFilterY(histogram, softened, 7, pool, threads);
  histogram.swap(softened);
}

// The same steps bin by bin, in place, with five planes of scratch instead of fifteen: the
// same operations on the same values. Bins 0 and 14 are softened and closed first (step 5
// needs both); bin b (0 < b < 14) is softened from the votes of bins b − 1 (kept aside
// before bin b − 1 was overwritten), b and b + 1, then averaged and written over its votes.
void smoothByBin(CTensor<float>& histogram, flowthreads::Pool* pool, int threads) {
  const int xSize = histogram.xSize(), ySize = histogram.ySize();
  const long long plane = static_cast<long long>(xSize) * ySize;
  const Softening w;
  CTensor<float> first(xSize, ySize, 1), last(xSize, ySize, 1), previous(xSize, ySize, 1),
      softened(xSize, ySize, 1), alongX(xSize, ySize, 1);
  const float* votes[kOrientationBins];
  for (int b = 0; b < kOrientationBins; ++b)
    votes[b] = histogram.data() + b * plane;
  auto soften = [&](float* into, int b) {
    flowthreads::forEachRange(pool, static_cast<int>(plane), threads, [&](int i0, int i1) {
      NFilter::filterPlane(votes, kOrientationBins, into, i0, i1, w.smooth, b);
    });
  };
  soften(first.data(), 0);
  soften(last.data(), kOrientationBins - 1);
  flowthreads::forEachRange(pool, static_cast<int>(plane), threads, [&](int i0, int i1) {
    closeCircle(w, first.data(), last.data(), i0, i1);
  });
  for (int b = 0; b < kOrientationBins; ++b) {
    float* bin = histogram.data() + b * plane;
    CTensor<float>* source = &softened;
    if (b == 0) {
      source = &first;
    } else if (b == kOrientationBins - 1) {
      source = &last;
    } else {
      soften(softened.data(), b);
    }
    // Bin b + 1 reads the votes of bin b, which are about to be overwritten.
    if (b + 1 < kOrientationBins - 1) {
      std::copy(bin, bin + plane, previous.data());
      votes[b] = previous.data();
    }
    NFilter::boxFilterX(*source, alongX, 7, pool, threads);
    NFilter::boxFilterY(alongX, *source, 7, pool, threads);
    std::copy(source->data(), source->data() + plane, bin);
  }
}

}  // namespace

void computeHOG(const CTensor<float>& image, CTensor<float>& histogram, flowthreads::Pool* pool,
                int threads) {
  vote(image, histogram, pool, threads);
  smoothByBin(histogram, pool, threads);
}

void computeHOGWhole(const CTensor<float>& image, CTensor<float>& histogram,
                     flowthreads::Pool* pool, int threads) {
  vote(image, histogram, pool, threads);
  smoothWhole(histogram, pool, threads);
}

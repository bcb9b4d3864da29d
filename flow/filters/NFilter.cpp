// Mask correlation, box filters and recursive smoothing. Every element loop runs over
// contiguous memory with x fastest: filters along y or across channels work on whole rows or
// planes at a time, with the same operations per element, in the same order, as the line by
// line formula.
#include "flow/filters/NFilter.h"
#include "flow/filters/row_correlation.h"
#include "flow/numerics/same_on_every_cpu.h"
#include "flow/parallel/for_each_range.h"
#include "flow/parallel/instruction_set.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace NFilter {
namespace {

/// Position of sample q in a line of n ≥ 1 samples under the half-sample symmetric
/// extension, repeated as often as needed (it is periodic with period 2n).
int mirror(long long q, int n) {
  if (q >= 0 && q < n) return static_cast<int>(q);
  const long long period = 2LL * n;
  long long r = q % period;
  if (r < 0) r += period;
  return static_cast<int>(r < n ? r : period - 1 - r);
}

[[noreturn]] void incompatibleSize(int sourceCount, int destinationCount) {
  std::cerr << "Exception EFilterIncompatibleSize: Initial container size: " << sourceCount
            << "  Resulting container size: " << destinationCount << std::endl;
  throw EFilterIncompatibleSize();
}

template <typename T>
void requireSameSize(const CMatrix<T>& src, const CMatrix<T>& dst) {
  if (src.xSize() != dst.xSize() || src.ySize() != dst.ySize()) {
    incompatibleSize(src.size(), dst.size());
  }
}

template <typename T>
void requireSameSize(const CTensor<T>& src, const CTensor<T>& dst) {
  if (src.xSize() != dst.xSize() || src.ySize() != dst.ySize() || src.zSize() != dst.zSize()) {
    incompatibleSize(src.size(), dst.size());
  }
}

/// Correlates `lines` contiguous lines of n samples (line l at src + l·n) with the mask.
template <typename T>
void correlateRows(const T* src, T* dst, int n, int lines, const CFilter<T>& mask) {
  if (n == 0) return;
  const T* tap = mask.data();
  const int size = mask.size();
  const long long delta = mask.delta();
  // Positions [lo, hi) have their whole window inside the line and skip the reflection.
  const long long right = size - 1 - delta;
  const int lo = static_cast<int>(std::min<long long>(std::max<long long>(delta, 0), n));
  const int hi = static_cast<int>(
      std::max<long long>(lo, std::min<long long>(n, n - std::max<long long>(right, 0))));
  // Float rows take their interior blocks in AVX2 vectors where the processor has them (the
  // same sums, lane by lane); the blocks below are their twin and the other processors' path.
  bool vectors = false;
#ifdef MOTIONSEG_FLOW_AVX2
  if constexpr (std::is_same<T, float>::value)
    vectors = flowsimd::activeIncludes(flowsimd::InstructionSet::Avx2);
#endif
  for (int l = 0; l < lines; ++l) {
    const T* s = src + static_cast<long long>(l) * n;
    T* d = dst + static_cast<long long>(l) * n;
    auto border = [&](int p) {
      T acc = T(0);
      for (int i = 0; i < size; ++i)
        acc += tap[i] * s[mirror(p + i - delta, n)];
      d[p] = acc;
    };
    for (int p = 0; p < lo; ++p)
      border(p);
    // Interior blocks of eight positions: taps outer, positions inner, so that the eight
    // sums run side by side in vector lanes, each from 0 in tap order as below.
    int p = lo;
#ifdef MOTIONSEG_FLOW_AVX2
    if constexpr (std::is_same<T, float>::value) {
      if (vectors) p = detail::correlateInteriorAvx2(s, d, lo, hi, tap, size, delta);
    }
#endif
    for (; p + 8 <= hi; p += 8) {
      const T* window = s + (p - delta);
      T acc[8] = {};
      for (int i = 0; i < size; ++i) {
        const T t = tap[i];
        for (int k = 0; k < 8; ++k)
          acc[k] += t * window[i + k];
      }
      for (int k = 0; k < 8; ++k)
        d[p + k] = acc[k];
    }
    for (; p < hi; ++p) {
      const T* window = s + (p - delta);
      T acc = T(0);
      for (int i = 0; i < size; ++i)
        acc += tap[i] * window[i];
      d[p] = acc;
    }
    for (p = hi; p < n; ++p)
      border(p);
  }
}

/// Unit p of the correlation of a line of n units with the mask into the `len` elements at d,
/// where unit q is the `len` elements at unit(q): every element of a unit is one sample of
/// its own line.
template <typename T, typename Unit>
void correlateUnit(const Unit& unit, int n, T* d, int len, const CFilter<T>& mask, int p) {
  const T* tap = mask.data();
  const int delta = mask.delta();
  std::fill(d, d + len, T(0));
  for (int i = 0; i < mask.size(); ++i) {
    const T* s = unit(mirror(static_cast<long long>(p) + i - delta, n));
    const T t = tap[i];
    for (int e = 0; e < len; ++e)
      d[e] += t * s[e];
  }
}

/// Units p0 .. p1 − 1 of the correlation of a line of n units with the mask, where unit p is
/// the `len` contiguous elements at offset (p − first)·stride of src and (p − p0)·stride of
/// dst.
template <typename T>
void correlateUnitRange(const T* src, int first, T* dst, int n, long long stride, int len,
                        const CFilter<T>& mask, int p0, int p1) {
  auto unit = [=](int q) { return src + (q - first) * stride; };
  for (int p = p0; p < p1; ++p)
    correlateUnit(unit, n, dst + (p - p0) * stride, len, mask, p);
}

/// All n units of the line.
template <typename T>
void correlateUnits(const T* src, T* dst, int n, long long stride, int len,
                    const CFilter<T>& mask) {
  correlateUnitRange(src, 0, dst, n, stride, len, mask, 0, n);
}

/// Reciprocals w[i] = 1/i (w[0] = 1) in double, rounded to T, for i up to `last`.
template <typename T>
std::vector<T> reciprocals(int last) {
  std::vector<T> w(static_cast<std::size_t>(last) + 1);
  w[0] = T(1);
  for (int i = 1; i <= last; ++i)
    w[i] = static_cast<T>(1.0 / i);
  return w;
}

/// Box radius of a box size (an even size grows by one), refusing negative sizes.
int boxRadius(int size) {
  if (size < 0) throw std::invalid_argument("box filter size must not be negative");
  return size / 2;  // same as (size + 1) div 2 for even sizes raised to odd
}

/// Largest number of samples a box of radius r covers in a line of n samples.
int maxCount(int r, int n) {
  return static_cast<int>(std::min(2LL * r + 1, static_cast<long long>(n)));
}

template <typename T>
void requireSameBoxSize(const CTensor<T>& src, const CTensor<T>& dst) {
  if (src.xSize() != dst.xSize() || src.ySize() != dst.ySize() || src.zSize() != dst.zSize()) {
    throw std::invalid_argument("box filter destination must have the source's sizes");
  }
}

/// Coefficients of the recursive smoothing, with the rounding of each step.
struct Recursion {
  float k, a1, a2, b1, b2;
  double c0;
  explicit Recursion(float sigma) {
    if (sigma < 0.0f) {
      throw std::invalid_argument("recursive smoothing needs a sigma of 0 or more");
    }
    const float alpha =
        static_cast<float>(2.5 / (std::sqrt(static_cast<double>(flowdetail::kPi)) * sigma));
    // The single-precision exponential, rounded from the true value (the same on every
    // processor; see same_on_every_cpu.h).
    const float e = flowmath::expToFloat(-static_cast<double>(alpha));
    b1 = e + e;
    b2 = e * e;
    const double ad = alpha, ed = e;
    k = static_cast<float>((1.0 - ed) * (1.0 - ed) / (1.0 + 2.0 * ad * ed - double(b2)));
    a1 = static_cast<float>((ad - 1.0) * ed);
    a2 = static_cast<float>((ad + 1.0) * ed);
    c0 = 2.0 * ed - double(b2);
  }
};

/// Smooths `count` contiguous lines of n ≥ 2 samples in place, with scratch y and z of n.
template <typename T>
void smoothRows(T* data, int n, int count, const Recursion& c, std::vector<T>& y,
                std::vector<T>& z) {
  const T k = c.k, a1 = c.a1, a2 = c.a2, b1 = c.b1, b2 = c.b2;
  for (int l = 0; l < count; ++l) {
    T* x = data + static_cast<long long>(l) * n;
    // Causal pass with its fixed start.
    y[0] = T(0.5) * x[0];
    y[1] = static_cast<T>(double(k * (a1 * x[0] + x[1])) + c.c0 * double(y[0]));
    for (int i = 2; i < n; ++i) {
      y[i] = k * (a1 * x[i - 1] + x[i]) + b1 * y[i - 1] - b2 * y[i - 2];
    }
    // Anticausal pass with its fixed start.
    z[n - 1] = T(0.5) * x[n - 1];
    z[n - 2] = k * ((a2 - b2) * x[n - 1]) + (b1 - b2) * z[n - 1];
    for (int i = n - 3; i >= 0; --i) {
      z[i] = k * (a2 * x[i + 1] - b2 * x[i + 2]) + b1 * z[i + 1] - b2 * z[i + 2];
    }
    for (int i = 0; i < n; ++i)
      x[i] = y[i] + z[i];
  }
}

/// Smooths the first w columns of a plane of n ≥ 2 rows, `stride` elements apart, in place, w
/// samples of a row at a time; y and z are scratch planes of w·n elements.
template <typename T>
void smoothColumns(T* data, int w, long long stride, int n, const Recursion& c,
                   std::vector<T>& yPlane, std::vector<T>& zPlane) {
  const T k = c.k, a1 = c.a1, a2 = c.a2, b1 = c.b1, b2 = c.b2;
  auto row = [w](T* base, int i) { return base + static_cast<long long>(i) * w; };
  auto xRow = [stride](T* base, int i) { return base + static_cast<long long>(i) * stride; };
  T* x = data;
  T* y = yPlane.data();
  T* z = zPlane.data();
  // Causal pass.
  for (int e = 0; e < w; ++e)
    row(y, 0)[e] = T(0.5) * xRow(x, 0)[e];
  for (int e = 0; e < w; ++e) {
    row(y, 1)[e] = static_cast<T>(double(k * (a1 * xRow(x, 0)[e] + xRow(x, 1)[e])) +
                                  c.c0 * double(row(y, 0)[e]));
  }
  for (int i = 2; i < n; ++i) {
    const T* x0 = xRow(x, i - 1);
    const T* x1 = xRow(x, i);
    const T* y1 = row(y, i - 1);
    const T* y2 = row(y, i - 2);
    T* yi = row(y, i);
    for (int e = 0; e < w; ++e)
      yi[e] = k * (a1 * x0[e] + x1[e]) + b1 * y1[e] - b2 * y2[e];
  }
  // Anticausal pass.
  for (int e = 0; e < w; ++e)
    row(z, n - 1)[e] = T(0.5) * xRow(x, n - 1)[e];
  for (int e = 0; e < w; ++e) {
    row(z, n - 2)[e] = k * ((a2 - b2) * xRow(x, n - 1)[e]) + (b1 - b2) * row(z, n - 1)[e];
  }
  for (int i = n - 3; i >= 0; --i) {
    const T* x1 = xRow(x, i + 1);
    const T* x2 = xRow(x, i + 2);
    const T* z1 = row(z, i + 1);
    const T* z2 = row(z, i + 2);
    T* zi = row(z, i);
    for (int e = 0; e < w; ++e)
      zi[e] = k * (a2 * x1[e] - b2 * x2[e]) + b1 * z1[e] - b2 * z2[e];
  }
  for (int i = 0; i < n; ++i) {
    T* xi = xRow(x, i);
    const T* yi = row(y, i);
    const T* zi = row(z, i);
    for (int e = 0; e < w; ++e)
      xi[e] = yi[e] + zi[e];
  }
}

template <typename T>
void smoothX(T* data, int xSize, int lines, float sigma, flowthreads::Pool* pool, int threads) {
  const Recursion c(sigma);
  if (xSize < 2 || lines == 0) return;  // a single sample stays as it is
  flowthreads::forEachRange(pool, lines, threads, [&](int l0, int l1) {
    std::vector<T> y(xSize), z(xSize);
    smoothRows(data + static_cast<long long>(l0) * xSize, xSize, l1 - l0, c, y, z);
  });
}

template <typename T>
void smoothY(T* data, int xSize, int ySize, int planes, float sigma, flowthreads::Pool* pool,
             int threads) {
  const Recursion c(sigma);
  if (ySize < 2 || xSize == 0 || planes == 0) return;
  const long long plane = static_cast<long long>(xSize) * ySize;
  // Columns [e0, e1) of every plane on one thread, with scratch of their width.
  flowthreads::forEachRange(pool, xSize, threads, [&](int e0, int e1) {
    const long long width = e1 - e0;
    std::vector<T> y(width * ySize), z(width * ySize);
    for (int p = 0; p < planes; ++p)
      smoothColumns(data + p * plane + e0, e1 - e0, xSize, ySize, c, y, z);
  });
}

/// Box means along x of lines [l0, l1) of n samples, radius r (at most n), reciprocals w.
template <typename T>
void boxRows(const T* src, T* dst, int n, int l0, int l1, int r, const std::vector<T>& w) {
  for (int l = l0; l < l1; ++l) {
    const T* s = src + static_cast<long long>(l) * n;
    T* d = dst + static_cast<long long>(l) * n;
    const int m = r < n ? r : n - 1;
    T sum = s[0];
    for (int i = 1; i <= m; ++i)
      sum += s[i];
    int count = m + 1;
    for (int p = 0; p < n; ++p) {
      d[p] = sum * w[count];
      if (p - r >= 0) {
        sum -= s[p - r];
        --count;
      }
      if (p + 1LL + r < n) {
        sum += s[p + r + 1];
        ++count;
      }
    }
  }
}

/// Box means along y of the first w columns of a plane of n rows `stride` elements apart,
/// radius r (at most n), reciprocals rec; `sum` is scratch of w elements.
template <typename T>
void boxColumns(const T* s, T* d, int w, long long stride, int n, int r, const std::vector<T>& rec,
                std::vector<T>& sum) {
  auto row = [stride](const T* base, int i) { return base + static_cast<long long>(i) * stride; };
  // Running sums of all columns at once, one row per step.
  const int m = r < n ? r : n - 1;
  std::copy(s, s + w, sum.begin());
  for (int i = 1; i <= m; ++i) {
    const T* si = row(s, i);
    for (int e = 0; e < w; ++e)
      sum[e] += si[e];
  }
  int count = m + 1;
  for (int p = 0; p < n; ++p) {
    const T scale = rec[count];
    T* dp = d + static_cast<long long>(p) * stride;
    for (int e = 0; e < w; ++e)
      dp[e] = sum[e] * scale;
    if (p - r >= 0) {
      const T* out = row(s, p - r);
      for (int e = 0; e < w; ++e)
        sum[e] -= out[e];
      --count;
    }
    if (p + 1LL + r < n) {
      const T* in = row(s, p + r + 1);
      for (int e = 0; e < w; ++e)
        sum[e] += in[e];
      ++count;
    }
  }
}

}  // namespace

template <typename T>
void filterRows(const T* src, T* dst, int xSize, int lines, const CFilter<T>& mask) {
  correlateRows(src, dst, xSize, lines, mask);
}

template <typename T>
void filterColumnsOfRows(const T* src, int first, T* dst, int xSize, int ySize, int y0, int y1,
                         const CFilter<T>& mask) {
  correlateUnitRange(src, first, dst, ySize, xSize, xSize, mask, y0, y1);
}

template <typename T>
void filterPlane(const T* const* planes, int n, T* dst, int e0, int e1, const CFilter<T>& mask,
                 int p) {
  correlateUnit([=](int q) { return planes[q] + e0; }, n, dst + e0, e1 - e0, mask, p);
}

template <typename T>
void filter(const CMatrix<T>& src, CMatrix<T>& dst, const CFilter<T>& mask, int) {
  requireSameSize(src, dst);
  correlateRows(src.data(), dst.data(), src.xSize(), src.ySize(), mask);
}

template <typename T>
void filter(const CMatrix<T>& src, CMatrix<T>& dst, int, const CFilter<T>& mask) {
  requireSameSize(src, dst);
  correlateUnits(src.data(), dst.data(), src.ySize(), src.xSize(), src.xSize(), mask);
}

template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, const CFilter<T>& mask, int, int) {
  filter(src, dst, mask, 1, 1, nullptr, 1);
}

template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, int, const CFilter<T>& mask, int) {
  filter(src, dst, 1, mask, 1, nullptr, 1);
}

template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, int, int, const CFilter<T>& mask) {
  filter(src, dst, 1, 1, mask, nullptr, 1);
}

template <typename T>
void boxFilterX(const CTensor<T>& src, CTensor<T>& dst, int size) {
  boxFilterX(src, dst, size, nullptr, 1);
}

template <typename T>
void boxFilterY(const CTensor<T>& src, CTensor<T>& dst, int size) {
  boxFilterY(src, dst, size, nullptr, 1);
}

template <typename T>
void recursiveSmoothX(CMatrix<T>& m, float sigma) {
  recursiveSmoothX(m, sigma, nullptr, 1);
}

template <typename T>
void recursiveSmoothY(CMatrix<T>& m, float sigma) {
  recursiveSmoothY(m, sigma, nullptr, 1);
}

template <typename T>
void recursiveSmoothX(CTensor<T>& t, float sigma) {
  recursiveSmoothX(t, sigma, nullptr, 1);
}

template <typename T>
void recursiveSmoothY(CTensor<T>& t, float sigma) {
  recursiveSmoothY(t, sigma, nullptr, 1);
}

template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, const CFilter<T>& mask, int, int,
            flowthreads::Pool* pool, int threads) {
  requireSameSize(src, dst);
  const int n = src.xSize();
  flowthreads::forEachRange(pool, src.ySize() * src.zSize(), threads, [&](int l0, int l1) {
    const long long first = static_cast<long long>(l0) * n;
    correlateRows(src.data() + first, dst.data() + first, n, l1 - l0, mask);
  });
}

template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, int, const CFilter<T>& mask, int,
            flowthreads::Pool* pool, int threads) {
  requireSameSize(src, dst);
  const long long plane = static_cast<long long>(src.xSize()) * src.ySize();
  if (plane == 0) return;
  flowthreads::forEachRange(pool, src.xSize(), threads, [&](int e0, int e1) {
    for (int z = 0; z < src.zSize(); ++z) {
      correlateUnits(src.data() + z * plane + e0, dst.data() + z * plane + e0, src.ySize(),
                     src.xSize(), e1 - e0, mask);
    }
  });
}

template <typename T>
void filter(const CTensor<T>& src, CTensor<T>& dst, int, int, const CFilter<T>& mask,
            flowthreads::Pool* pool, int threads) {
  requireSameSize(src, dst);
  const int plane = src.xSize() * src.ySize();
  if (src.zSize() == 0) return;
  flowthreads::forEachRange(pool, plane, threads, [&](int e0, int e1) {
    correlateUnits(src.data() + e0, dst.data() + e0, src.zSize(), plane, e1 - e0, mask);
  });
}

template <typename T>
void boxFilterX(const CTensor<T>& src, CTensor<T>& dst, int size, flowthreads::Pool* pool,
                int threads) {
  requireSameBoxSize(src, dst);
  const int n = src.xSize();
  const int lines = src.ySize() * src.zSize();
  if (n == 0 || lines == 0) return;
  // A radius of n or more already covers every line whole.
  const int r = std::min(boxRadius(size), n);
  const std::vector<T> w = reciprocals<T>(maxCount(r, n));
  flowthreads::forEachRange(pool, lines, threads, [&](int l0, int l1) {
    boxRows(src.data(), dst.data(), n, l0, l1, r, w);
  });
}

template <typename T>
void boxFilterY(const CTensor<T>& src, CTensor<T>& dst, int size, flowthreads::Pool* pool,
                int threads) {
  requireSameBoxSize(src, dst);
  const int w = src.xSize(), n = src.ySize();
  if (n == 0 || w == 0 || src.zSize() == 0) return;
  const int r = std::min(boxRadius(size), n);
  const std::vector<T> rec = reciprocals<T>(maxCount(r, n));
  const long long plane = static_cast<long long>(w) * n;
  // Columns [e0, e1) of every channel on one thread.
  flowthreads::forEachRange(pool, w, threads, [&](int e0, int e1) {
    std::vector<T> sum(e1 - e0);
    for (int z = 0; z < src.zSize(); ++z)
      boxColumns(src.data() + z * plane + e0, dst.data() + z * plane + e0, e1 - e0, w, n, r, rec,
                 sum);
  });
}

template <typename T>
void recursiveSmoothX(CMatrix<T>& m, float sigma, flowthreads::Pool* pool, int threads) {
  smoothX(m.data(), m.xSize(), m.ySize(), sigma, pool, threads);
}

template <typename T>
void recursiveSmoothY(CMatrix<T>& m, float sigma, flowthreads::Pool* pool, int threads) {
  smoothY(m.data(), m.xSize(), m.ySize(), 1, sigma, pool, threads);
}

template <typename T>
void recursiveSmoothX(CTensor<T>& t, float sigma, flowthreads::Pool* pool, int threads) {
  smoothX(t.data(), t.xSize(), t.ySize() * t.zSize(), sigma, pool, threads);
}

template <typename T>
void recursiveSmoothY(CTensor<T>& t, float sigma, flowthreads::Pool* pool, int threads) {
  smoothY(t.data(), t.xSize(), t.ySize(), t.zSize(), sigma, pool, threads);
}

// The flow filters single-precision images only.
template void filterRows(const float*, float*, int, int, const CFilter<float>&);
template void filterColumnsOfRows(const float*, int, float*, int, int, int, int,
                                  const CFilter<float>&);
template void filterPlane(const float* const*, int, float*, int, int, const CFilter<float>&, int);
template void filter(const CMatrix<float>&, CMatrix<float>&, const CFilter<float>&, int);
template void filter(const CMatrix<float>&, CMatrix<float>&, int, const CFilter<float>&);
template void filter(const CTensor<float>&, CTensor<float>&, const CFilter<float>&, int, int);
template void filter(const CTensor<float>&, CTensor<float>&, int, const CFilter<float>&, int);
template void filter(const CTensor<float>&, CTensor<float>&, int, int, const CFilter<float>&);
template void boxFilterX(const CTensor<float>&, CTensor<float>&, int);
template void boxFilterY(const CTensor<float>&, CTensor<float>&, int);
template void recursiveSmoothX(CMatrix<float>&, float);
template void recursiveSmoothY(CMatrix<float>&, float);
template void recursiveSmoothX(CTensor<float>&, float);
template void recursiveSmoothY(CTensor<float>&, float);
using flowthreads::Pool;
template void filter(const CTensor<float>&, CTensor<float>&, const CFilter<float>&, int, int, Pool*,
                     int);
template void filter(const CTensor<float>&, CTensor<float>&, int, const CFilter<float>&, int, Pool*,
                     int);
template void filter(const CTensor<float>&, CTensor<float>&, int, int, const CFilter<float>&, Pool*,
                     int);
template void boxFilterX(const CTensor<float>&, CTensor<float>&, int, Pool*, int);
template void boxFilterY(const CTensor<float>&, CTensor<float>&, int, Pool*, int);
template void recursiveSmoothX(CMatrix<float>&, float, Pool*, int);
template void recursiveSmoothY(CMatrix<float>&, float, Pool*, int);
template void recursiveSmoothX(CTensor<float>&, float, Pool*, int);
template void recursiveSmoothY(CTensor<float>&, float, Pool*, int);

}  // namespace NFilter

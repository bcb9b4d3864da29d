// Resizing of float images between pyramid levels: area-averaging reduction, weighted
// reduction by bilinear splatting, and bilinear resize with pixel-centre alignment. Each
// resizes in place: the new array is built, the old one released, the sizes updated; a
// tensor is resized plane by plane with the matrix operation.
#include "flow/filters/resampling.h"

#include "flow/containers/array_memory.h"
#include "flow/parallel/for_each_range.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

/// One step of the area walk: output sample j receives weight·input sample k.
struct Share {
  int j;
  int k;
  float weight;
};

/// Walk of the area reduction of a line of oldN samples to newN < oldN: each unit-wide input
/// sample is split over the output footprints [j·f, (j + 1)·f), f = oldN/newN. The walk
/// depends only on the sizes, so it is formed once and applied to every row or column.
std::vector<Share> areaWalk(int oldN, int newN) {
  std::vector<Share> walk;
  walk.reserve(static_cast<std::size_t>(oldN) + newN);
  const float f = static_cast<float>(oldN) / static_cast<float>(newN);
  int j = 0, k = 0;
  float g = f;     // coverage output j still owes
  float h = 1.0f;  // share of input k not yet handed out
  while (j < newN && k < oldN) {
    if (g > 1.0f) {
      walk.push_back({j, k, h});
      g = g - h;
      ++k;
      if (g <= 0.0f) {
        ++j;
        g = f;
      }
      h = 1.0f;
    } else {
      // The rest of input k goes to the next output sample.
      walk.push_back({j, k, g});
      ++j;
      h = 1.0f - g;
      g = f;
    }
  }
  return walk;
}

/// One row of the area reduction's x pass: dst[j] += weight·src[k] over the walk, whose j
/// never decreases: each output sample is summed in a register, from 0 in the walk's order,
/// and added to dst once.
void areaRow(const std::vector<Share>& walk, const float* src, float* dst) {
  if (walk.empty()) return;
  int j = walk.front().j;
  float sum = 0.0f;
  for (const Share& s : walk) {
    if (s.j != j) {
      dst[j] += sum;
      j = s.j;
      sum = 0.0f;
    }
    sum += s.weight * src[s.k];
  }
  dst[j] += sum;
}

/// areaRow for kRows rows at once (row r from src + r·stride into dst + r·nx): each row's sums
/// take the same steps in the same order, bit for bit those of areaRow, while the rows'
/// independent chains of additions overlap.
constexpr int kAreaRows = 4;
void areaRows(const std::vector<Share>& walk, const float* src, long long stride, float* dst,
              int nx) {
  if (walk.empty()) return;
  int j = walk.front().j;
  float sum[kAreaRows] = {};
  for (const Share& s : walk) {
    if (s.j != j) {
      for (int r = 0; r < kAreaRows; ++r) {
        dst[j + static_cast<long long>(r) * nx] += sum[r];
        sum[r] = 0.0f;
      }
      j = s.j;
    }
    for (int r = 0; r < kAreaRows; ++r)
      sum[r] += s.weight * src[s.k + r * stride];
  }
  for (int r = 0; r < kAreaRows; ++r)
    dst[j + static_cast<long long>(r) * nx] += sum[r];
}

/// Area-averaging reduction of an xs-by-ys plane into the nx-by-ny plane `out`
/// (1 ≤ nx ≤ xs, 1 ≤ ny ≤ ys); `rows` is scratch for the x pass. The rows of each pass are
/// shared among `threads` threads of `pool`: every sample is summed in the same order on any
/// number of threads. With `oneRowAtATime` the x pass takes its rows one by one (areaRow, the
/// definition of the bits), else kAreaRows at a time (areaRows, the same bits).
void areaReduce(const float* in, int xs, int ys, float* out, int nx, int ny,
                flowdetail::LargeVector<float>& rows, flowthreads::Pool* pool, int threads,
                bool oneRowAtATime = false) {
  // Step 1: x pass, integrating every row over the output footprints.
  const float* xPassed = in;
  if (nx < xs) {
    const std::vector<Share> walk = areaWalk(xs, nx);
    rows.resize(static_cast<std::size_t>(nx) * ys);
    flowthreads::forEachRange(pool, ys, threads, [&](int y0, int y1) {
      std::fill(rows.data() + static_cast<long long>(y0) * nx,
                rows.data() + static_cast<long long>(y1) * nx, 0.0f);
      int y = y0;
      if (!oneRowAtATime) {
        for (; y + kAreaRows <= y1; y += kAreaRows) {
          areaRows(walk, in + static_cast<long long>(y) * xs, xs,
                   rows.data() + static_cast<long long>(y) * nx, nx);
        }
      }
      for (; y < y1; ++y)
        areaRow(walk, in + static_cast<long long>(y) * xs,
                rows.data() + static_cast<long long>(y) * nx);
    });
    xPassed = rows.data();
  }
  // Step 2: y pass down every column, a whole row at a time; output rows [j0, j1) take the
  // walk's steps into them, in the walk's order. Step 3: integrals to means, dividing by the
  // footprint area.
  const std::vector<Share> walk = ny < ys ? areaWalk(ys, ny) : std::vector<Share>();
  const float scale = static_cast<float>(nx * ny) / static_cast<float>(xs * ys);
  flowthreads::forEachRange(pool, ny, threads, [&](int j0, int j1) {
    float* first = out + static_cast<long long>(j0) * nx;
    float* last = out + static_cast<long long>(j1) * nx;
    if (ny < ys) {
      std::fill(first, last, 0.0f);
      auto s = std::lower_bound(walk.begin(), walk.end(), j0,
                                [](const Share& a, int j) { return a.j < j; });
      for (; s != walk.end() && s->j < j1; ++s) {
        const float* src = xPassed + static_cast<long long>(s->k) * nx;
        float* dst = out + static_cast<long long>(s->j) * nx;
        for (int x = 0; x < nx; ++x)
          dst[x] += s->weight * src[x];
      }
    } else {
      std::copy(xPassed + static_cast<long long>(j0) * nx,
                xPassed + static_cast<long long>(j1) * nx, first);
    }
    for (float* o = first; o < last; ++o)
      *o *= scale;
  });
}

/// Weighted reduction of an xs-by-ys plane into nx-by-ny: every pixel of positive weight is
/// splatted bilinearly at (x·nx/xs, y·ny/ys); out = value sum / weight sum, 0 where no
/// weight arrived. `weightSum` is scratch. The output rows are shared among `threads`
/// threads of `pool`: rows [j0, j1) take the shares of the input rows that reach them, in the
/// order of the input pixels, so every sum has the same order on any number of threads.
///
/// `count` planes in[i] with the same weights go into out[i] in one pass: the positions, the
/// shares and the weight sums are those of every plane, and each plane's sums take the steps
/// of its own pass in the same order, bit for bit.
constexpr int kMostPlanesTogether = 8;
/// When `positive` is given (row r of it: x[rowStart[r]] .. of input row r, in increasing x),
/// only those pixels are visited, in the same order: the pixels of other weights add nothing.
void splatReduce(const float* const* in, float* const* out, int count, const float* weights, int xs,
                 int ys, int nx, int ny, flowdetail::LargeVector<float>& weightSum,
                 flowthreads::Pool* pool, int threads, const int* rowStart = nullptr,
                 const int* positiveX = nullptr) {
  const long long n = static_cast<long long>(nx) * ny;
  weightSum.resize(static_cast<std::size_t>(n));
  float* wSum = weightSum.data();
  const float rx = static_cast<float>(nx) / static_cast<float>(xs);
  const float ry = static_cast<float>(ny) / static_cast<float>(ys);
  flowthreads::forEachRange(pool, ny, threads, [&](int j0, int j1) {
    const long long first = static_cast<long long>(j0) * nx, last = static_cast<long long>(j1) * nx;
    for (int i = 0; i < count; ++i)
      std::fill(out[i] + first, out[i] + last, 0.0f);
    std::fill(wSum + first, wSum + last, 0.0f);
    for (int y = 0; y < ys; ++y) {
      const float py = static_cast<float>(y) * ry;
      const int iy = static_cast<int>(py);
      const float ay = py - static_cast<float>(iy);
      const bool below = iy + 1 < ny;
      if (iy >= ny) continue;  // only reachable through rounding of huge sizes
      // The rows this input row reaches: iy, and iy + 1 when below.
      const bool top = iy >= j0 && iy < j1;
      const bool bottom = below && iy + 1 >= j0 && iy + 1 < j1;
      if (!top && !bottom) continue;
      const long long row = static_cast<long long>(y) * xs;
      const float* wt = weights + row;
      auto visit = [&](int x) {
        const float w = wt[x];
        if (!(w > 0.0f)) return;
        const float px = static_cast<float>(x) * rx;
        const int ix = static_cast<int>(px);
        if (ix >= nx) return;
        const float ax = px - static_cast<float>(ix);
        const bool right = ix + 1 < nx;
        const long long c = ix + static_cast<long long>(iy) * nx;
        float v[kMostPlanesTogether];
        for (int i = 0; i < count; ++i)
          v[i] = w * in[i][row + x];
        // Shares that would fall outside the new grid are dropped.
        auto share = [&](long long at, float b) {
          for (int i = 0; i < count; ++i)
            out[i][at] += v[i] * b;
          wSum[at] += w * b;
        };
        if (top) {
          share(c, (1.0f - ax) * (1.0f - ay));
          if (right) share(c + 1, ax * (1.0f - ay));
        }
        if (bottom) {
          share(c + nx, (1.0f - ax) * ay);
          if (right) share(c + nx + 1, ax * ay);
        }
      };
      if (rowStart != nullptr) {
        for (int k = rowStart[y]; k < rowStart[y + 1]; ++k)
          visit(positiveX[k]);
      } else {
        for (int x = 0; x < xs; ++x)
          visit(x);
      }
    }
    for (int i = 0; i < count; ++i) {
      for (long long k = first; k < last; ++k)
        out[i][k] = wSum[k] > 0.0f ? out[i][k] / wSum[k] : 0.0f;
    }
  });
}

/// One plane's weighted reduction.
void splatReduce(const float* in, const float* weights, int xs, int ys, float* out, int nx, int ny,
                 flowdetail::LargeVector<float>& weightSum, flowthreads::Pool* pool, int threads) {
  splatReduce(&in, &out, 1, weights, xs, ys, nx, ny, weightSum, pool, threads);
}

/// Source sample pair and weight of one output position of the bilinear resize.
struct Tap {
  int i0;
  int i1;
  float a;
};

/// Pixel-centre aligned source positions (i + 0.5)·oldN/newN − 0.5, raised to 0 at the
/// start and sharing the last sample at the end.
std::vector<Tap> bilinearTaps(int oldN, int newN) {
  std::vector<Tap> taps(newN);
  const float s = static_cast<float>(oldN) / static_cast<float>(newN);
  for (int i = 0; i < newN; ++i) {
    float p = static_cast<float>((i + 0.5) * double(s) - 0.5);
    if (p < 0.0f) p = 0.0f;
    int i0 = static_cast<int>(p);
    if (i0 > oldN - 1) i0 = oldN - 1;  // only reachable through rounding of huge sizes
    taps[i] = {i0, std::min(i0 + 1, oldN - 1), p - static_cast<float>(i0)};
  }
  return taps;
}

/// Bilinear resize of an xs-by-ys plane into nx-by-ny, the output rows shared among
/// `threads` threads of `pool`.
void bilinearResize(const float* in, int xs, int ys, float* out, int nx, int ny,
                    flowthreads::Pool* pool, int threads) {
  const std::vector<Tap> tx = bilinearTaps(xs, nx);
  const std::vector<Tap> ty = bilinearTaps(ys, ny);
  flowthreads::forEachRange(pool, ny, threads, [&](int i0, int i1) {
    for (int i = i0; i < i1; ++i) {
      const Tap& t = ty[i];
      const float* r0 = in + static_cast<long long>(t.i0) * xs;
      const float* r1 = in + static_cast<long long>(t.i1) * xs;
      float* dst = out + static_cast<long long>(i) * nx;
      for (int j = 0; j < nx; ++j) {
        const Tap& u = tx[j];
        // Each bracket in double with its ax product in single precision, then the blend in
        // double with its ay product in single precision.
        const float top = static_cast<float>((1.0 - u.a) * r0[u.i0] + double(u.a * r0[u.i1]));
        const float bottom = static_cast<float>((1.0 - u.a) * r1[u.i0] + double(u.a * r1[u.i1]));
        dst[j] = static_cast<float>((1.0 - t.a) * top + double(t.a * bottom));
      }
    }
  });
}

void requireReduction(int newXSize, int newYSize, int xSize, int ySize) {
  if (newXSize < 1 || newYSize < 1 || newXSize > xSize || newYSize > ySize) {
    throw std::invalid_argument("downsample: the new size must lie between 1 and the current size");
  }
}

void requirePositive(const char* what, int newXSize, int newYSize) {
  if (newXSize < 1 || newYSize < 1) {
    throw std::invalid_argument(std::string(what) + ": the new size must be at least 1");
  }
}

void requireSource(int xSize, int ySize) {
  if (xSize < 1 || ySize < 1) {
    throw std::invalid_argument("upsampleBilinear: an empty image cannot be resized");
  }
}

// What every in-place resampling of a container does around its planes: a fresh array for
// `planes` planes of nx × ny, resample(old plane, new plane, z) for each plane, then the fresh
// array in place of the old one and the new size. Nothing changes when an allocation fails.
template <typename Resample>
void resampleInPlace(float*& data, int& capacity, int& xSize, int& ySize, int planes, int nx,
                     int ny, const Resample& resample) {
  const int count =
      planes == 1 ? flowdetail::elementCount(nx, ny) : flowdetail::elementCount(nx, ny, planes);
  flowdetail::ArrayHolder<float> fresh(count);
  const long long oldPlane = static_cast<long long>(xSize) * ySize;
  const long long newPlane = static_cast<long long>(nx) * ny;
  for (int z = 0; z < planes; ++z)
    resample(data + z * oldPlane, fresh.get() + z * newPlane, z);
  fresh.replace(data, capacity);
  xSize = nx;
  ySize = ny;
}

}  // namespace

template <>
void CMatrix<float>::downsample(int newXSize, int newYSize) {
  requireReduction(newXSize, newYSize, mXSize, mYSize);
  flowdetail::LargeVector<float> rows;
  resampleInPlace(mData, mCapacity, mXSize, mYSize, 1, newXSize, newYSize,
                  [&](const float* in, float* out, int) {
                    areaReduce(in, mXSize, mYSize, out, newXSize, newYSize, rows, nullptr, 1);
                  });
}

template <>
void CMatrix<float>::downsample(int newXSize, int newYSize, const CMatrix<float>& weights) {
  if (weights.xSize() != mXSize || weights.ySize() != mYSize) {
    throw std::invalid_argument("downsample: the weight matrix must have the matrix's size");
  }
  requirePositive("downsample", newXSize, newYSize);
  flowdetail::LargeVector<float> weightSum;
  resampleInPlace(mData, mCapacity, mXSize, mYSize, 1, newXSize, newYSize,
                  [&](const float* in, float* out, int) {
                    splatReduce(in, weights.data(), mXSize, mYSize, out, newXSize, newYSize,
                                weightSum, nullptr, 1);
                  });
}

template <>
void CMatrix<float>::upsampleBilinear(int newXSize, int newYSize) {
  requirePositive("upsampleBilinear", newXSize, newYSize);
  requireSource(mXSize, mYSize);
  resampleInPlace(mData, mCapacity, mXSize, mYSize, 1, newXSize, newYSize,
                  [&](const float* in, float* out, int) {
                    bilinearResize(in, mXSize, mYSize, out, newXSize, newYSize, nullptr, 1);
                  });
}

template <>
void CTensor<float>::downsample(int newXSize, int newYSize) {
  requireReduction(newXSize, newYSize, mXSize, mYSize);
  flowdetail::LargeVector<float> rows;
  resampleInPlace(mData, mCapacity, mXSize, mYSize, mZSize, newXSize, newYSize,
                  [&](const float* in, float* out, int) {
                    areaReduce(in, mXSize, mYSize, out, newXSize, newYSize, rows, nullptr, 1);
                  });
}

template <>
void CTensor<float>::downsample(int newXSize, int newYSize, const CTensor<float>& weights) {
  if (weights.xSize() != mXSize || weights.ySize() != mYSize) {
    flowdetail::tensorIncompatibleSize(mXSize, mYSize, weights.xSize(), weights.ySize());
  }
  requirePositive("downsample", newXSize, newYSize);
  if (weights.zSize() < mZSize) {
    throw std::invalid_argument("downsample: the weight tensor has fewer channels than the tensor");
  }
  const long long oldPlane = static_cast<long long>(mXSize) * mYSize;
  flowdetail::LargeVector<float> weightSum;
  resampleInPlace(mData, mCapacity, mXSize, mYSize, mZSize, newXSize, newYSize,
                  [&](const float* in, float* out, int z) {
                    splatReduce(in, weights.data() + z * oldPlane, mXSize, mYSize, out, newXSize,
                                newYSize, weightSum, nullptr, 1);
                  });
}

template <>
void CTensor<float>::upsampleBilinear(int newXSize, int newYSize) {
  requirePositive("upsampleBilinear", newXSize, newYSize);
  requireSource(mXSize, mYSize);
  resampleInPlace(mData, mCapacity, mXSize, mYSize, mZSize, newXSize, newYSize,
                  [&](const float* in, float* out, int) {
                    bilinearResize(in, mXSize, mYSize, out, newXSize, newYSize, nullptr, 1);
                  });
}

void flowresample::downsample(const CTensor<float>& src, int nx, int ny, CTensor<float>& dst,
                              flowdetail::LargeVector<float>* scratch) {
  downsample(src, nx, ny, dst, scratch, nullptr, 1);
}

void flowresample::downsample(const CTensor<float>& src, int nx, int ny,
                              const CTensor<float>& weights, CTensor<float>& dst,
                              flowdetail::LargeVector<float>* scratch) {
  downsample(src, nx, ny, weights, dst, scratch, nullptr, 1);
}

void flowresample::downsample(const CMatrix<float>& src, int nx, int ny, CMatrix<float>& dst,
                              flowdetail::LargeVector<float>* scratch) {
  downsample(src, nx, ny, dst, scratch, nullptr, 1);
}

void flowresample::upsampleBilinear(const CTensor<float>& src, int nx, int ny,
                                    CTensor<float>& dst) {
  upsampleBilinear(src, nx, ny, dst, nullptr, 1);
}

void flowresample::downsample(const CTensor<float>& src, int nx, int ny, CTensor<float>& dst,
                              flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool,
                              int threads) {
  requireReduction(nx, ny, src.xSize(), src.ySize());
  dst.fitSize(nx, ny, src.zSize());
  const long long oldPlane = static_cast<long long>(src.xSize()) * src.ySize();
  const long long newPlane = static_cast<long long>(nx) * ny;
  flowdetail::LargeVector<float> own;
  flowdetail::LargeVector<float>& rows = scratch != nullptr ? *scratch : own;
  for (int z = 0; z < src.zSize(); ++z) {
    areaReduce(src.data() + z * oldPlane, src.xSize(), src.ySize(), dst.data() + z * newPlane, nx,
               ny, rows, pool, threads);
  }
}

void flowresample::downsample(const CTensor<float>& src, int nx, int ny,
                              const CTensor<float>& weights, CTensor<float>& dst,
                              flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool,
                              int threads) {
  if (weights.xSize() != src.xSize() || weights.ySize() != src.ySize()) {
    flowdetail::tensorIncompatibleSize(src.xSize(), src.ySize(), weights.xSize(), weights.ySize());
  }
  requirePositive("downsample", nx, ny);
  if (weights.zSize() < src.zSize()) {
    throw std::invalid_argument("downsample: the weight tensor has fewer channels than the tensor");
  }
  dst.fitSize(nx, ny, src.zSize());
  const long long oldPlane = static_cast<long long>(src.xSize()) * src.ySize();
  const long long newPlane = static_cast<long long>(nx) * ny;
  flowdetail::LargeVector<float> own;
  flowdetail::LargeVector<float>& weightSum = scratch != nullptr ? *scratch : own;
  for (int z = 0; z < src.zSize(); ++z) {
    splatReduce(src.data() + z * oldPlane, weights.data() + z * oldPlane, src.xSize(), src.ySize(),
                dst.data() + z * newPlane, nx, ny, weightSum, pool, threads);
  }
}

void flowresample::downsampleRowByRow(const CMatrix<float>& src, int nx, int ny,
                                      CMatrix<float>& dst) {
  requireReduction(nx, ny, src.xSize(), src.ySize());
  dst.fitSize(nx, ny);
  flowdetail::LargeVector<float> rows;
  areaReduce(src.data(), src.xSize(), src.ySize(), dst.data(), nx, ny, rows, nullptr, 1, true);
}

namespace {

void weightedReduction(const CTensor<float>* const* src, CTensor<float>* const* dst, int count,
                       int nx, int ny, const CTensor<float>& weights,
                       const flowresample::PositivePixels* positive,
                       flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool,
                       int threads) {
  if (count <= 0) return;
  const CTensor<float>& first = *src[0];
  for (int i = 0; i < count; ++i) {
    if (src[i]->xSize() != first.xSize() || src[i]->ySize() != first.ySize() ||
        src[i]->zSize() != first.zSize()) {
      throw std::invalid_argument("downsample: the tensors reduced together differ in size");
    }
  }
  if (weights.xSize() != first.xSize() || weights.ySize() != first.ySize()) {
    flowdetail::tensorIncompatibleSize(first.xSize(), first.ySize(), weights.xSize(),
                                       weights.ySize());
  }
  requirePositive("downsample", nx, ny);
  if (weights.zSize() < first.zSize()) {
    throw std::invalid_argument("downsample: the weight tensor has fewer channels than the tensor");
  }
  for (int i = 0; i < count; ++i)
    dst[i]->fitSize(nx, ny, first.zSize());
  const long long oldPlane = static_cast<long long>(first.xSize()) * first.ySize();
  const long long newPlane = static_cast<long long>(nx) * ny;
  flowdetail::LargeVector<float> own;
  flowdetail::LargeVector<float>& weightSum = scratch != nullptr ? *scratch : own;
  for (int z = 0; z < first.zSize(); ++z) {
    for (int i0 = 0; i0 < count; i0 += kMostPlanesTogether) {
      const int together = std::min(kMostPlanesTogether, count - i0);
      const float* in[kMostPlanesTogether];
      float* out[kMostPlanesTogether];
      for (int i = 0; i < together; ++i) {
        in[i] = src[i0 + i]->data() + z * oldPlane;
        out[i] = dst[i0 + i]->data() + z * newPlane;
      }
      const int* rowStart = positive != nullptr ? positive->rowStart.data() +
                                                      static_cast<long long>(z) * first.ySize()
                                                : nullptr;
      splatReduce(in, out, together, weights.data() + z * oldPlane, first.xSize(), first.ySize(),
                  nx, ny, weightSum, pool, threads, rowStart,
                  positive != nullptr ? positive->x.data() : nullptr);
    }
  }
}

}  // namespace

flowresample::PositivePixels flowresample::positivePixels(const CTensor<float>& weights) {
  PositivePixels p;
  p.xSize = weights.xSize();
  p.ySize = weights.ySize();
  p.zSize = weights.zSize();
  const long long rows = static_cast<long long>(p.ySize) * p.zSize;
  p.rowStart.reserve(static_cast<std::size_t>(rows) + 1);
  const float* w = weights.data();
  for (long long r = 0; r < rows; ++r, w += p.xSize) {
    p.rowStart.push_back(static_cast<int>(p.x.size()));
    for (int x = 0; x < p.xSize; ++x) {
      if (w[x] > 0.0f) p.x.push_back(x);
    }
  }
  p.rowStart.push_back(static_cast<int>(p.x.size()));
  return p;
}

void flowresample::downsample(const CTensor<float>* const* src, CTensor<float>* const* dst,
                              int count, int nx, int ny, const CTensor<float>& weights,
                              flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool,
                              int threads) {
  weightedReduction(src, dst, count, nx, ny, weights, nullptr, scratch, pool, threads);
}

void flowresample::downsample(const CTensor<float>* const* src, CTensor<float>* const* dst,
                              int count, int nx, int ny, const CTensor<float>& weights,
                              const PositivePixels& positive,
                              flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool,
                              int threads) {
  if (positive.xSize != weights.xSize() || positive.ySize != weights.ySize() ||
      positive.zSize != weights.zSize()) {
    throw std::invalid_argument("downsample: the positive pixels are of weights of another size");
  }
  weightedReduction(src, dst, count, nx, ny, weights, &positive, scratch, pool, threads);
}

void flowresample::downsample(const CMatrix<float>& src, int nx, int ny, CMatrix<float>& dst,
                              flowdetail::LargeVector<float>* scratch, flowthreads::Pool* pool,
                              int threads) {
  requireReduction(nx, ny, src.xSize(), src.ySize());
  dst.fitSize(nx, ny);
  flowdetail::LargeVector<float> own;
  areaReduce(src.data(), src.xSize(), src.ySize(), dst.data(), nx, ny,
             scratch != nullptr ? *scratch : own, pool, threads);
}

void flowresample::upsampleBilinear(const CTensor<float>& src, int nx, int ny, CTensor<float>& dst,
                                    flowthreads::Pool* pool, int threads) {
  requirePositive("upsampleBilinear", nx, ny);
  requireSource(src.xSize(), src.ySize());
  dst.fitSize(nx, ny, src.zSize());
  const long long oldPlane = static_cast<long long>(src.xSize()) * src.ySize();
  const long long newPlane = static_cast<long long>(nx) * ny;
  for (int z = 0; z < src.zSize(); ++z) {
    bilinearResize(src.data() + z * oldPlane, src.xSize(), src.ySize(), dst.data() + z * newPlane,
                   nx, ny, pool, threads);
  }
}

// The filters with their lines shared among threads against the one-thread calls, bit for
// bit: sizes from one sample to more lines than threads, on a pool and on threads started
// per call, with not-a-number and infinite samples among the values.
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "flow/parallel/thread_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

CTensor<float> randomTensor(int x, int y, int z, std::mt19937& rng) {
  std::uniform_real_distribution<float> d(-10.0f, 10.0f);
  CTensor<float> t(x, y, z);
  for (int i = 0; i < t.size(); ++i)
    t.data()[i] = d(rng);
  if (t.size() > 3) {
    t.data()[t.size() / 3] = std::numeric_limits<float>::quiet_NaN();
    t.data()[t.size() - 2] = std::numeric_limits<float>::infinity();
  }
  return t;
}

// Bitwise equality of n floats, except that any two not-a-numbers count as equal: the sign
// of a not-a-number depends on which operand of a sum the compiler puts first, which it
// chooses differently in a loop's vector body and its scalar tail (and so with the split).
bool sameBits(const float* a, const float* b, int n) {
  for (int i = 0; i < n; ++i) {
    if (std::isnan(a[i]) && std::isnan(b[i])) continue;
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return false;
  }
  return true;
}

bool sameBits(const CTensor<float>& a, const CTensor<float>& b) {
  return a.xSize() == b.xSize() && a.ySize() == b.ySize() && a.zSize() == b.zSize() &&
         sameBits(a.data(), b.data(), a.size());
}

struct Size {
  int x, y, z;
};
const Size kSizes[] = {{1, 1, 1}, {1, 9, 2}, {9, 1, 3}, {2, 2, 1}, {13, 8, 3}, {40, 33, 15}};

// A filter both ways: `serial` is the one-thread call, `shared` the call on threads.
struct Filter {
  const char* name;
  std::function<void(const CTensor<float>&, CTensor<float>&)> serial;
  std::function<void(const CTensor<float>&, CTensor<float>&, flowthreads::Pool*, int)> shared;
};

TEST(FilterThreads, EveryFilterHasTheBitsOfItsOneThreadCall) {
  const CDerivative<float> derivative(5);
  const CSmooth<float> smooth(0.8f, 1.0f);
  using flowthreads::Pool;
  const Filter filters[] = {
      {"correlation along x", [&](auto& s, auto& d) { NFilter::filter(s, d, derivative, 1, 1); },
       [&](auto& s, auto& d, Pool* p, int t) { NFilter::filter(s, d, derivative, 1, 1, p, t); }},
      {"correlation along y", [&](auto& s, auto& d) { NFilter::filter(s, d, 1, derivative, 1); },
       [&](auto& s, auto& d, Pool* p, int t) { NFilter::filter(s, d, 1, derivative, 1, p, t); }},
      {"correlation across channels",
       [&](auto& s, auto& d) { NFilter::filter(s, d, 1, 1, smooth); },
       [&](auto& s, auto& d, Pool* p, int t) { NFilter::filter(s, d, 1, 1, smooth, p, t); }},
      {"box along x", [](auto& s, auto& d) { NFilter::boxFilterX(s, d, 7); },
       [](auto& s, auto& d, Pool* p, int t) { NFilter::boxFilterX(s, d, 7, p, t); }},
      {"box along y", [](auto& s, auto& d) { NFilter::boxFilterY(s, d, 4); },
       [](auto& s, auto& d, Pool* p, int t) { NFilter::boxFilterY(s, d, 4, p, t); }},
      {"recursive along x",
       [](auto& s, auto& d) {
         d = s;
         NFilter::recursiveSmoothX(d, 2.5f);
       },
       [](auto& s, auto& d, Pool* p, int t) {
         d = s;
         NFilter::recursiveSmoothX(d, 2.5f, p, t);
       }},
      {"recursive along y",
       [](auto& s, auto& d) {
         d = s;
         NFilter::recursiveSmoothY(d, 4.0f);
       },
       [](auto& s, auto& d, Pool* p, int t) {
         d = s;
         NFilter::recursiveSmoothY(d, 4.0f, p, t);
       }},
  };
  std::mt19937 rng(31);
  for (const Size size : kSizes) {
    const CTensor<float> source = randomTensor(size.x, size.y, size.z, rng);
    for (const Filter& f : filters) {
      CTensor<float> expected(size.x, size.y, size.z);
      f.serial(source, expected);
      for (const int threads : {1, 2, 3, 8}) {
        Pool pool(threads);
        for (Pool* onPool : {static_cast<Pool*>(nullptr), &pool}) {
          CTensor<float> result(size.x, size.y, size.z, -1.0f);
          f.shared(source, result, onPool, threads);
          EXPECT_TRUE(sameBits(result, expected))
              << f.name << ", " << size.x << " x " << size.y << " x " << size.z << ", " << threads
              << " threads" << (onPool ? ", pool" : "");
        }
      }
    }
  }
}

TEST(FilterThreads, MatrixSmoothingHasTheBitsOfItsOneThreadCall) {
  std::mt19937 rng(32);
  for (const Size size : kSizes) {
    const CTensor<float> source = randomTensor(size.x, size.y, 1, rng);
    CMatrix<float> expected(size.x, size.y);
    std::memcpy(expected.data(), source.data(), sizeof(float) * expected.size());
    NFilter::recursiveSmoothX(expected, 4.0f);
    NFilter::recursiveSmoothY(expected, 4.0f);
    for (const int threads : {2, 5}) {
      flowthreads::Pool pool(threads);
      CMatrix<float> result(size.x, size.y);
      std::memcpy(result.data(), source.data(), sizeof(float) * result.size());
      NFilter::recursiveSmoothX(result, 4.0f, &pool, threads);
      NFilter::recursiveSmoothY(result, 4.0f, &pool, threads);
      EXPECT_TRUE(sameBits(result.data(), expected.data(), result.size()))
          << size.x << " x " << size.y << ", " << threads << " threads";
    }
  }
}

// Some rows of a plane filtered from a copy of just the rows the mask reaches (mirrored at the
// borders): every row with the bits the whole filter gives it. Masks of 2 to 9 taps, planes
// shorter than a mask (whose mirror wraps more than once) and ranges at either border.
TEST(FilterRows, RowsOfAPlaneHaveTheBitsOfTheWholeFilter) {
  std::mt19937 rng(33);
  const Size sizes[] = {{1, 1, 1}, {5, 1, 1}, {3, 2, 1}, {7, 3, 1}, {13, 8, 1}, {17, 40, 1}};
  for (const Size size : sizes) {
    const CTensor<float> source = randomTensor(size.x, size.y, 1, rng);
    CMatrix<float> plane(size.x, size.y);
    std::memcpy(plane.data(), source.data(), sizeof(float) * plane.size());
    for (const int taps : {2, 5, 9}) {
      const CDerivative<float> mask(taps);
      CMatrix<float> alongX(size.x, size.y), alongY(size.x, size.y);
      NFilter::filter(plane, alongX, mask, 1);
      NFilter::filter(plane, alongY, 1, mask);
      for (int y0 = 0; y0 < size.y; ++y0) {
        for (int y1 = y0 + 1; y1 <= size.y; y1 += 3) {
          const int lines = y1 - y0;
          std::vector<float> out(static_cast<std::size_t>(lines) * size.x);
          NFilter::filterRows(plane.data() + y0 * size.x, out.data(), size.x, lines, mask);
          EXPECT_TRUE(sameBits(out.data(), alongX.data() + y0 * size.x, lines * size.x))
              << size.x << " x " << size.y << ", rows " << y0 << ".." << y1;
          // The rows the mask reaches, and only those, in a copy of their own.
          int first = size.y, last = -1;
          for (int y = y0; y < y1; ++y) {
            for (int i = 0; i < mask.size(); ++i) {
              long long q = y + i - mask.delta();
              const long long period = 2LL * size.y;
              q = ((q % period) + period) % period;
              const int row = static_cast<int>(q < size.y ? q : period - 1 - q);
              first = std::min(first, row);
              last = std::max(last, row);
            }
          }
          const std::vector<float> reached(plane.data() + first * size.x,
                                           plane.data() + (last + 1) * size.x);
          NFilter::filterColumnsOfRows(reached.data(), first, out.data(), size.x, size.y, y0, y1,
                                       mask);
          EXPECT_TRUE(sameBits(out.data(), alongY.data() + y0 * size.x, lines * size.x))
              << size.x << " x " << size.y << ", " << taps << " taps, rows " << y0 << ".." << y1;
        }
      }
    }
  }
}

// One plane of the filter across the planes, each plane read from a copy of its own in
// reverse order of memory, against the filter of the whole tensor: tensors of fewer planes
// than a mask (whose mirror wraps more than once), masks of 2 to 9 taps and a Gaussian, every
// plane, and a part of a plane.
TEST(FilterPlane, PlanesApartHaveTheBitsOfTheWholeFilter) {
  std::mt19937 rng(34);
  const CDerivative<float> two(2), five(5), nine(9);
  const CSmooth<float> smooth(0.8f, 1.0f);
  const CFilter<float>* masks[] = {&two, &five, &nine, &smooth};
  for (const Size size : {Size{1, 1, 1}, Size{3, 2, 2}, Size{7, 3, 3}, Size{5, 4, 15}}) {
    const CTensor<float> source = randomTensor(size.x, size.y, size.z, rng);
    const int plane = size.x * size.y;
    // The planes copied into one buffer, last plane first.
    std::vector<float> copies(static_cast<std::size_t>(plane) * size.z);
    std::vector<const float*> planes(size.z);
    for (int z = 0; z < size.z; ++z) {
      float* to = copies.data() + static_cast<std::size_t>(size.z - 1 - z) * plane;
      std::memcpy(to, source.data() + static_cast<std::size_t>(z) * plane, sizeof(float) * plane);
      planes[z] = to;
    }
    for (const CFilter<float>* mask : masks) {
      CTensor<float> whole(size.x, size.y, size.z);
      NFilter::filter(source, whole, 1, 1, *mask);
      for (int z = 0; z < size.z; ++z) {
        std::vector<float> out(plane, -1.0f);
        NFilter::filterPlane(planes.data(), size.z, out.data(), 0, plane, *mask, z);
        const float* expected = whole.data() + static_cast<std::size_t>(z) * plane;
        EXPECT_TRUE(sameBits(out.data(), expected, plane))
            << size.x << " x " << size.y << " x " << size.z << ", mask of " << mask->size()
            << ", plane " << z;
        // Elements 1 .. plane − 2 alone leave the others as they were.
        if (plane < 3) continue;
        std::vector<float> part(plane, -1.0f);
        NFilter::filterPlane(planes.data(), size.z, part.data(), 1, plane - 1, *mask, z);
        EXPECT_EQ(part.front(), -1.0f);
        EXPECT_EQ(part.back(), -1.0f);
        EXPECT_TRUE(sameBits(part.data() + 1, expected + 1, plane - 2));
      }
    }
  }
}

}  // namespace

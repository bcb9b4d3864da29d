// The filters with their lines shared among threads against the one-thread calls, bit for
// bit: sizes from one sample to more lines than threads, on a pool and on threads started
// per call, with not-a-number and infinite samples among the values.
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "flow/parallel/thread_pool.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>

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

}  // namespace

// Owning two-dimensional image of the flow, x fastest: element (x, y) at data[x + y·xSize].
// Also the small dense matrix algebra of the numerics library (rows = y, columns = x).
#ifndef MOTIONSEG_FLOW_CONTAINERS_CMATRIX_H
#define MOTIONSEG_FLOW_CONTAINERS_CMATRIX_H

#include "flow/containers/CVector.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <iostream>
#include <vector>

/// Operand sizes of a matrix operation do not fit together.
struct EIncompatibleMatrices {};
/// A square matrix was required.
struct ENonquadraticMatrix {};

namespace flowdetail {

/// Writes the diagnostic line of EIncompatibleMatrices and throws it. A vector operand is
/// passed as 1 by its size.
[[noreturn]] inline void incompatibleMatrices(int x1, int y1, int x2, int y2) {
  std::cerr << "Exception EIncompatibleMatrices: M1 = " << x1 << "x" << y1 << "  M2 = " << x2 << "x"
            << y2 << std::endl;
  throw EIncompatibleMatrices();
}

/// Writes the diagnostic line of ENonquadraticMatrix (its historical spelling) and throws it.
[[noreturn]] inline void nonquadraticMatrix(int x, int y) {
  std::cerr << "Exception ENonquadarticMatrix: M = " << x << "x" << y << std::endl;
  throw ENonquadraticMatrix();
}

}  // namespace flowdetail

/// Owning xSize-by-ySize matrix of T. Copies, assignments and `setSize` always allocate a
/// fresh array; `fitSize` keeps the array when it has room (buffers sized level after level).
template <typename T>
class CMatrix {
 public:
  /// Empty matrix: sizes 0, no array.
  CMatrix() : mXSize(0), mYSize(0), mCapacity(0), mData(nullptr) {}
  /// xSize·ySize elements, contents undefined.
  CMatrix(int xSize, int ySize)
      : mXSize(xSize),
        mYSize(ySize),
        mCapacity(flowdetail::elementCount(xSize, ySize)),
        mData(flowdetail::newArray<T>(mCapacity)) {}
  /// xSize·ySize elements, all set to `value`.
  CMatrix(int xSize, int ySize, T value) : CMatrix(xSize, ySize) { fill(value); }
  /// Deep copy; a source without array gives a copy without array.
  CMatrix(const CMatrix& m) : mXSize(m.mXSize), mYSize(m.mYSize), mCapacity(0), mData(nullptr) {
    if (m.mData != nullptr) {
      mData = flowdetail::newArray<T>(m.size());
      mCapacity = m.size();
      std::copy(m.mData, m.mData + m.size(), mData);
    }
  }
  virtual ~CMatrix() { flowdetail::deleteArray(mData, mCapacity); }

  /// Deep copy into a fresh array. A source without array leaves this matrix without array
  /// but with the source's sizes.
  CMatrix& operator=(const CMatrix& m) {
    if (this == &m) return *this;
    T* fresh = nullptr;
    if (m.mData != nullptr) {
      fresh = flowdetail::newArray<T>(m.size());
      std::copy(m.mData, m.mData + m.size(), fresh);
    }
    flowdetail::deleteArray(mData, mCapacity);
    mData = fresh;
    mCapacity = fresh != nullptr ? m.size() : 0;
    mXSize = m.mXSize;
    mYSize = m.mYSize;
    return *this;
  }

  /// Releases the array and allocates xSize·ySize new elements (contents undefined), also
  /// when the sizes do not change.
  void setSize(int xSize, int ySize) {
    const int n = flowdetail::elementCount(xSize, ySize);
    flowdetail::deleteArray(mData, mCapacity);
    mData = nullptr;
    mXSize = mYSize = mCapacity = 0;
    mData = flowdetail::newArray<T>(n);
    mCapacity = n;
    mXSize = xSize;
    mYSize = ySize;
  }

  /// Gives the matrix the sizes xSize by ySize (contents undefined), keeping its array when
  /// that holds at least xSize·ySize elements and allocating a fresh one otherwise.
  void fitSize(int xSize, int ySize) {
    const int n = flowdetail::elementCount(xSize, ySize);
    if (n > mCapacity) {
      setSize(xSize, ySize);
      return;
    }
    mXSize = xSize;
    mYSize = ySize;
  }

  /// Makes room for `count` elements (a fresh array when the current one is smaller), keeping
  /// the sizes and the elements.
  void reserve(int count) { flowdetail::growArray(mData, mCapacity, size(), count); }

  /// Elements the array holds (at least size()).
  int capacity() const { return mCapacity; }

  /// Exchanges arrays and sizes with m; no element is copied.
  void swap(CMatrix& m) {
    std::swap(mXSize, m.mXSize);
    std::swap(mYSize, m.mYSize);
    std::swap(mCapacity, m.mCapacity);
    std::swap(mData, m.mData);
  }

  void fill(T value) { std::fill(mData, mData + size(), value); }

  int xSize() const { return mXSize; }
  int ySize() const { return mYSize; }
  /// Element count xSize·ySize.
  int size() const { return mXSize * mYSize; }
  T* data() { return mData; }
  const T* data() const { return mData; }
  T& operator()(int x, int y) {
    assert(x >= 0 && x < mXSize && y >= 0 && y < mYSize);
    return mData[x + y * mXSize];
  }
  const T& operator()(int x, int y) const {
    assert(x >= 0 && x < mXSize && y >= 0 && y < mYSize);
    return mData[x + y * mXSize];
  }

  /// Matrix product this·b (this matrix's xSize must equal b's ySize); the result, of b's
  /// xSize by this matrix's ySize, replaces this matrix's array.
  CMatrix& operator*=(const CMatrix& b) {
    if (mXSize != b.mYSize) flowdetail::incompatibleMatrices(mXSize, mYSize, b.mXSize, b.mYSize);
    const int n = flowdetail::elementCount(b.mXSize, mYSize);
    T* product = flowdetail::newArray<T>(n);
    multiplyInto(*this, b, product);
    flowdetail::deleteArray(mData, mCapacity);
    mData = product;
    mCapacity = n;
    mXSize = b.mXSize;
    return *this;
  }

  /// Element-wise sum; both sizes must agree.
  CMatrix& operator+=(const CMatrix& b) {
    requireSameSize(b);
    for (int i = 0; i < size(); ++i)
      mData[i] += b.mData[i];
    return *this;
  }

  /// Element-wise difference; both sizes must agree.
  CMatrix& operator-=(const CMatrix& b) {
    requireSameSize(b);
    for (int i = 0; i < size(); ++i)
      mData[i] -= b.mData[i];
    return *this;
  }

  /// Gauss-Jordan inversion in place with partial pivoting. Returns false when a column has
  /// no non-zero pivot: the inversion then ends early and the matrix is left partly
  /// transformed. A non-square matrix throws ENonquadraticMatrix.
  bool inv();

  /// Area-averaging reduction to newXSize by newYSize (1 ≤ new size ≤ current size in each
  /// direction). Defined for float in flow/filters/resampling.cpp.
  void downsample(int newXSize, int newYSize);
  /// Reduction by bilinear splatting of the pixels whose weight is positive; `weights` has
  /// this matrix's sizes.
  void downsample(int newXSize, int newYSize, const CMatrix<T>& weights);
  /// Bilinear resize with pixel-centre alignment to any positive size.
  void upsampleBilinear(int newXSize, int newYSize);

  /// out[x + y·b.xSize] = Σ_k a(k, y)·b(x, k), summed in k order from zero. `out` holds
  /// b.xSize·a.ySize elements.
  static void multiplyInto(const CMatrix& a, const CMatrix& b, T* out) {
    const int n = a.mXSize, w = b.mXSize;
    for (int y = 0; y < a.mYSize; ++y) {
      const T* row = a.mData + y * n;
      for (int x = 0; x < w; ++x) {
        T acc = T(0);
        for (int k = 0; k < n; ++k)
          acc += row[k] * b.mData[x + k * w];
        out[x + y * w] = acc;
      }
    }
  }

 private:
  void requireSameSize(const CMatrix& b) const {
    if (mXSize != b.mXSize || mYSize != b.mYSize) {
      flowdetail::incompatibleMatrices(mXSize, mYSize, b.mXSize, b.mYSize);
    }
  }

  int mXSize;
  int mYSize;
  int mCapacity;
  T* mData;
};

template <typename T>
bool CMatrix<T>::inv() {
  if (mXSize != mYSize) flowdetail::nonquadraticMatrix(mXSize, mYSize);
  const int n = mXSize;
  CMatrix<T>& a = *this;
  std::vector<int> pivotRow(n);
  for (int k = 0; k < n; ++k) {
    // Partial pivoting: the row at or below k with the largest magnitude in column k.
    int p = k;
    for (int i = k + 1; i < n; ++i) {
      if (std::abs(a(k, i)) > std::abs(a(k, p))) p = i;
    }
    if (a(k, p) == T(0)) return false;
    pivotRow[k] = p;
    if (p != k) {
      for (int j = 0; j < n; ++j)
        std::swap(a(j, k), a(j, p));
    }
    // Normalise the pivot row; column k then holds the inverse's column in place.
    const T pivot = a(k, k);
    a(k, k) = T(1);
    for (int j = 0; j < n; ++j)
      a(j, k) /= pivot;
    // Eliminate column k from every other row.
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      const T f = a(k, i);
      a(k, i) = T(0);
      for (int j = 0; j < n; ++j)
        a(j, i) -= f * a(j, k);
    }
  }
  // The row exchanges act on the inverse's columns: undo them in reverse order.
  for (int k = n - 1; k >= 0; --k) {
    if (pivotRow[k] != k) {
      for (int i = 0; i < n; ++i)
        std::swap(a(k, i), a(pivotRow[k], i));
    }
  }
  return true;
}

/// Matrix product a·b into a new matrix (a's xSize must equal b's ySize).
template <typename T>
CMatrix<T> operator*(const CMatrix<T>& a, const CMatrix<T>& b) {
  if (a.xSize() != b.ySize()) {
    flowdetail::incompatibleMatrices(a.xSize(), a.ySize(), b.xSize(), b.ySize());
  }
  CMatrix<T> result(b.xSize(), a.ySize(), T(0));
  CMatrix<T>::multiplyInto(a, b, result.data());
  return result;
}

/// Element-wise sum into a new matrix; both sizes must agree.
template <typename T>
CMatrix<T> operator+(const CMatrix<T>& a, const CMatrix<T>& b) {
  CMatrix<T> result(a);
  result += b;
  return result;
}

/// Every element of a multiplied by s.
template <typename T>
CMatrix<T> operator*(const CMatrix<T>& a, T s) {
  CMatrix<T> result(a.xSize(), a.ySize());
  for (int i = 0; i < a.size(); ++i)
    result.data()[i] = a.data()[i] * s;
  return result;
}

/// Matrix-vector product: result(y) = Σ_k a(k, y)·v(k), summed in k order from zero; a's
/// xSize must equal v's size.
template <typename T>
CVector<T> operator*(const CMatrix<T>& a, const CVector<T>& v) {
  if (a.xSize() != v.size()) flowdetail::incompatibleMatrices(a.xSize(), a.ySize(), 1, v.size());
  CVector<T> result(a.ySize(), T(0));
  for (int y = 0; y < a.ySize(); ++y) {
    T acc = T(0);
    for (int k = 0; k < a.xSize(); ++k)
      acc += a(k, y) * v(k);
    result(y) = acc;
  }
  return result;
}

/// Transpose: a new matrix of a's ySize by a's xSize with element (y, x) = a(x, y).
template <typename T>
CMatrix<T> trans(const CMatrix<T>& a) {
  CMatrix<T> result(a.ySize(), a.xSize());
  for (int y = 0; y < a.ySize(); ++y) {
    for (int x = 0; x < a.xSize(); ++x)
      result(y, x) = a(x, y);
  }
  return result;
}

// The resampling members exist for float images only; flow_filters defines them.
template <>
void CMatrix<float>::downsample(int newXSize, int newYSize);
template <>
void CMatrix<float>::downsample(int newXSize, int newYSize, const CMatrix<float>& weights);
template <>
void CMatrix<float>::upsampleBilinear(int newXSize, int newYSize);

#endif  // MOTIONSEG_FLOW_CONTAINERS_CMATRIX_H

// Owning one-dimensional array of the flow: plain value type, deep copies, no bounds checks
// outside debug builds.
#ifndef MOTIONSEG_FLOW_CONTAINERS_CVECTOR_H
#define MOTIONSEG_FLOW_CONTAINERS_CVECTOR_H

#include "flow/containers/array_memory.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <stdexcept>

namespace flowdetail {

/// Element count x·y·z of a container. Sizes are 32-bit and so is the count; sizes that are
/// negative or whose product leaves that range would allocate an array smaller than the
/// indices reach, so they are refused before anything is allocated.
inline int elementCount(int x, int y = 1, int z = 1) {
  if (x < 0 || y < 0 || z < 0) {
    throw std::length_error("container sizes must not be negative");
  }
  const long long n = static_cast<long long>(x) * y * z;
  if (n > INT_MAX) {
    throw std::length_error("container holds more than 2147483647 elements");
  }
  return static_cast<int>(n);
}

}  // namespace flowdetail

/// Owning vector of `size()` elements of T. Copies and `setSize` always allocate afresh.
template <typename T>
class CVector {
 public:
  /// Empty vector: size 0, no array.
  CVector() : mSize(0), mData(nullptr) {}
  /// `size` elements, contents undefined.
  explicit CVector(int size)
      : mSize(size), mData(flowdetail::newArray<T>(flowdetail::elementCount(size))) {}
  /// `size` elements, all set to `value`.
  CVector(int size, T value) : CVector(size) { fill(value); }
  CVector(const CVector& v) : mSize(v.mSize), mData(flowdetail::newArray<T>(v.mSize)) {
    std::copy(v.mData, v.mData + v.mSize, mData);
  }
  virtual ~CVector() { flowdetail::deleteArray(mData, mSize); }

  /// Deep copy into a fresh array; self-assignment does nothing.
  CVector& operator=(const CVector& v) {
    if (this == &v) return *this;
    T* fresh = flowdetail::newArray<T>(v.mSize);
    std::copy(v.mData, v.mData + v.mSize, fresh);
    flowdetail::deleteArray(mData, mSize);
    mData = fresh;
    mSize = v.mSize;
    return *this;
  }

  /// Releases the array and allocates `size` new elements (contents undefined), also when
  /// the size does not change.
  void setSize(int size) {
    const int n = flowdetail::elementCount(size);
    flowdetail::deleteArray(mData, mSize);
    mData = nullptr;
    mSize = 0;
    mData = flowdetail::newArray<T>(n);
    mSize = size;
  }

  void fill(T value) { std::fill(mData, mData + mSize, value); }

  /// Multiplies every element by s.
  CVector& operator*=(T s) {
    for (int i = 0; i < mSize; ++i)
      mData[i] *= s;
    return *this;
  }

  int size() const { return mSize; }
  T* data() { return mData; }
  const T* data() const { return mData; }
  T& operator()(int i) {
    assert(i >= 0 && i < mSize);
    return mData[i];
  }
  const T& operator()(int i) const {
    assert(i >= 0 && i < mSize);
    return mData[i];
  }

 protected:
  int mSize;
  T* mData;
};

#endif  // MOTIONSEG_FLOW_CONTAINERS_CVECTOR_H

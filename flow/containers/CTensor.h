// Owning multi-channel image of the flow: element (x, y, z) at data[x + (y + z·ySize)·xSize],
// so every channel is one contiguous plane laid out like a CMatrix.
#ifndef MOTIONSEG_FLOW_CONTAINERS_CTENSOR_H
#define MOTIONSEG_FLOW_CONTAINERS_CTENSOR_H

#include "flow/containers/CMatrix.h"

#include <algorithm>
#include <cassert>
#include <iostream>
#include <stdexcept>

/// A matrix handed to a tensor operation does not have the tensor's plane size.
struct ETensorIncompatibleSize {};

namespace flowdetail {

/// Writes the diagnostic line of ETensorIncompatibleSize for a matrix of mx by my against a
/// tensor plane of tx by ty, and throws it.
[[noreturn]] inline void tensorIncompatibleSize(int mx, int my, int tx, int ty) {
  std::cerr << "Exception ETensorIncompatibleSize: x = " << mx << ":" << tx << ", y = " << my << ":"
            << ty << std::endl;
  throw ETensorIncompatibleSize();
}

}  // namespace flowdetail

/// Owning xSize-by-ySize-by-zSize tensor of T. Copies, assignments and `setSize` always
/// allocate a fresh array; `fitSize` keeps the array when it has room (buffers sized level
/// after level).
template <typename T>
class CTensor {
 public:
  /// Empty tensor: sizes 0, no array.
  CTensor() : mXSize(0), mYSize(0), mZSize(0), mCapacity(0), mData(nullptr) {}
  /// xSize·ySize·zSize elements, contents undefined.
  CTensor(int xSize, int ySize, int zSize)
      : mXSize(xSize),
        mYSize(ySize),
        mZSize(zSize),
        mCapacity(flowdetail::elementCount(xSize, ySize, zSize)),
        mData(flowdetail::newArray<T>(mCapacity)) {}
  /// xSize·ySize·zSize elements, all set to `value`.
  CTensor(int xSize, int ySize, int zSize, T value) : CTensor(xSize, ySize, zSize) { fill(value); }
  CTensor(const CTensor& t)
      : mXSize(t.mXSize),
        mYSize(t.mYSize),
        mZSize(t.mZSize),
        mCapacity(t.size()),
        mData(flowdetail::newArray<T>(t.size())) {
    std::copy(t.mData, t.mData + t.size(), mData);
  }
  virtual ~CTensor() { flowdetail::deleteArray(mData, mCapacity); }

  /// Deep copy into a fresh array; a source without array empties this tensor.
  CTensor& operator=(const CTensor& t) {
    if (this == &t) return *this;
    T* fresh = nullptr;
    if (t.mData != nullptr) {
      fresh = flowdetail::newArray<T>(t.size());
      std::copy(t.mData, t.mData + t.size(), fresh);
    }
    flowdetail::deleteArray(mData, mCapacity);
    mData = fresh;
    mCapacity = fresh != nullptr ? t.size() : 0;
    if (fresh == nullptr) {
      mXSize = mYSize = mZSize = 0;
    } else {
      mXSize = t.mXSize;
      mYSize = t.mYSize;
      mZSize = t.mZSize;
    }
    return *this;
  }

  /// Releases the array and allocates xSize·ySize·zSize new elements (contents undefined),
  /// also when the sizes do not change.
  void setSize(int xSize, int ySize, int zSize) {
    const int n = flowdetail::elementCount(xSize, ySize, zSize);
    flowdetail::deleteArray(mData, mCapacity);
    mData = nullptr;
    mXSize = mYSize = mZSize = mCapacity = 0;
    mData = flowdetail::newArray<T>(n);
    mCapacity = n;
    mXSize = xSize;
    mYSize = ySize;
    mZSize = zSize;
  }

  /// Gives the tensor the sizes xSize by ySize by zSize (contents undefined), keeping its
  /// array when that holds at least xSize·ySize·zSize elements and allocating a fresh one
  /// otherwise.
  void fitSize(int xSize, int ySize, int zSize) {
    const int n = flowdetail::elementCount(xSize, ySize, zSize);
    if (n > mCapacity) {
      setSize(xSize, ySize, zSize);
      return;
    }
    mXSize = xSize;
    mYSize = ySize;
    mZSize = zSize;
  }

  /// Makes room for `count` elements (a fresh array when the current one is smaller), keeping
  /// the sizes and the elements.
  void reserve(int count) { flowdetail::growArray(mData, mCapacity, size(), count); }

  /// Elements the array holds (at least size()).
  int capacity() const { return mCapacity; }

  /// Exchanges arrays and sizes with t; no element is copied.
  void swap(CTensor& t) {
    std::swap(mXSize, t.mXSize);
    std::swap(mYSize, t.mYSize);
    std::swap(mZSize, t.mZSize);
    std::swap(mCapacity, t.mCapacity);
    std::swap(mData, t.mData);
  }

  void fill(T value) { std::fill(mData, mData + size(), value); }

  int xSize() const { return mXSize; }
  int ySize() const { return mYSize; }
  int zSize() const { return mZSize; }
  /// Element count xSize·ySize·zSize.
  int size() const { return mXSize * mYSize * mZSize; }
  T* data() { return mData; }
  const T* data() const { return mData; }
  T& operator()(int x, int y, int z) {
    assert(x >= 0 && x < mXSize && y >= 0 && y < mYSize && z >= 0 && z < mZSize);
    return mData[x + (y + z * mYSize) * mXSize];
  }
  const T& operator()(int x, int y, int z) const {
    assert(x >= 0 && x < mXSize && y >= 0 && y < mYSize && z >= 0 && z < mZSize);
    return mData[x + (y + z * mYSize) * mXSize];
  }

  /// Adds b element by element over this tensor's element count; b must have these sizes
  /// (a b with fewer elements throws std::invalid_argument).
  CTensor& operator+=(const CTensor& b) {
    // The sizes are not compared, but b must hold at least as many elements as are read.
    if (b.size() < size()) {
      throw std::invalid_argument("tensor sum: the added tensor has fewer elements");
    }
    const int n = size();
    for (int i = 0; i < n; ++i)
      mData[i] += b.mData[i];
    return *this;
  }

  /// Multiplies every element by s.
  CTensor& operator*=(T s) {
    const int n = size();
    for (int i = 0; i < n; ++i)
      mData[i] *= s;
    return *this;
  }

  /// Copies channel z into m, which must already be xSize by ySize (it is not resized);
  /// 0 ≤ z < zSize.
  void getMatrix(CMatrix<T>& m, int z) const {
    if (m.xSize() != mXSize || m.ySize() != mYSize) {
      flowdetail::tensorIncompatibleSize(m.xSize(), m.ySize(), mXSize, mYSize);
    }
    assert(z >= 0 && z < mZSize);
    const int plane = mXSize * mYSize;
    std::copy(mData + z * plane, mData + (z + 1) * plane, m.data());
  }

  /// Area-averaging reduction of every channel (see CMatrix::downsample).
  void downsample(int newXSize, int newYSize);
  /// Reduction by splatting, channel z weighted by channel z of `weights`, which must have
  /// this tensor's xSize and ySize (else ETensorIncompatibleSize) and at least zSize
  /// channels.
  void downsample(int newXSize, int newYSize, const CTensor<T>& weights);
  /// Bilinear resize of every channel (see CMatrix::upsampleBilinear).
  void upsampleBilinear(int newXSize, int newYSize);

 private:
  int mXSize;
  int mYSize;
  int mZSize;
  int mCapacity;
  T* mData;
};

// The resampling members exist for float images only; flow_filters defines them.
template <>
void CTensor<float>::downsample(int newXSize, int newYSize);
template <>
void CTensor<float>::downsample(int newXSize, int newYSize, const CTensor<float>& weights);
template <>
void CTensor<float>::upsampleBilinear(int newXSize, int newYSize);

#endif  // MOTIONSEG_FLOW_CONTAINERS_CTENSOR_H

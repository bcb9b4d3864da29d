// Allocation of the containers' arrays. A flow computation writes a few hundred megabytes of
// freshly allocated memory per call, and the kernel maps it in one page fault per 4 KiB page;
// on some virtual machines a fault costs 10 µs or more, a fifth of the whole computation.
// Large arrays therefore carry the advice to back them with huge pages (Linux transparent huge
// pages, which in their usual "madvise" mode serve only memory so advised): one fault per
// 2 MiB. Such arrays are aligned to a huge page, so that their first and last pages can be
// huge too. Neither changes a value or a size; every array still comes from operator new[]
// (the aligned form for large ones), so whatever counts allocations sees them. Elsewhere, and
// under AddressSanitizer (whose allocator keeps its own mappings), nothing is advised.
#ifndef MOTIONSEG_FLOW_CONTAINERS_ARRAY_MEMORY_H
#define MOTIONSEG_FLOW_CONTAINERS_ARRAY_MEMORY_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <vector>

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <sys/mman.h>
#if defined(MADV_HUGEPAGE)
#define MOTIONSEG_FLOW_HUGE_PAGES 1
#endif
#endif

namespace flowdetail {

/// Size of a huge page on x86-64 and of the alignment the advice needs.
constexpr std::size_t kHugePageBytes = std::size_t{1} << 21;

/// Advises huge pages for the whole huge pages inside [p, p + bytes), before they are first
/// written. Small ranges, and systems without the advice, are left alone; a refusal by the
/// kernel is harmless.
inline void adviseHugePages(void* p, std::size_t bytes) {
#ifdef MOTIONSEG_FLOW_HUGE_PAGES
  if (p == nullptr || bytes < kHugePageBytes) return;
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (begin + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePageBytes - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

/// Arrays of at least this many bytes are aligned to a huge page, so that every huge page
/// they span can be one (a smaller array stays with the allocator's usual alignment).
constexpr std::size_t kLargeArrayBytes = std::size_t{1} << 20;

/// Whether an array of `count` elements of T takes the large-array path.
/// Without the advice (Windows, macOS, sanitizer builds) nothing takes that path: the
/// alignment would only cost memory, up to a huge page per array in the allocator's padding.
template <typename T>
constexpr bool isLargeArray(std::size_t count) {
#ifndef MOTIONSEG_FLOW_HUGE_PAGES
  (void)count;
  return false;
#endif
  return std::is_trivially_default_constructible<T>::value &&
         std::is_trivially_destructible<T>::value && sizeof(T) * count >= kLargeArrayBytes;
}

/// `count` elements of T (count ≥ 0, contents undefined). A large array comes from the
/// aligned operator new[] with huge pages advised for every huge page it touches, a small one
/// from new T[]. Released by deleteArray with the same count.
template <typename T>
T* newArray(std::size_t count) {
  const std::size_t n = count;
  if (!isLargeArray<T>(n)) return new T[n];
  const std::size_t bytes = sizeof(T) * n;
  void* array = ::operator new[](bytes, std::align_val_t(kHugePageBytes));
  adviseHugePages(array, (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1));
  // The elements are trivial: the storage holds them without construction.
  return static_cast<T*>(array);
}

/// Releases an array of newArray<T>(count); null does nothing.
template <typename T>
void deleteArray(T* array, std::size_t count) noexcept {
  if (array == nullptr) return;
  if (isLargeArray<T>(count)) {
    ::operator delete[](array, std::align_val_t(kHugePageBytes));
  } else {
    delete[] array;
  }
}

/// Owns an array of newArray<T>(count) until it is handed on, so that an exception while it is
/// being filled releases it.
template <typename T>
class ArrayHolder {
 public:
  explicit ArrayHolder(int count) : array_(newArray<T>(count)), count_(count) {}
  ~ArrayHolder() { deleteArray(array_, count_); }
  ArrayHolder(const ArrayHolder&) = delete;
  ArrayHolder& operator=(const ArrayHolder&) = delete;
  T* get() const { return array_; }
  /// Hands the array on; the holder no longer releases it.
  T* release() {
    T* array = array_;
    array_ = nullptr;
    return array;
  }
  /// Releases `array` (of `capacity` elements, from newArray) and hands the held array on in
  /// its place.
  void replace(T*& array, int& capacity) {
    deleteArray(array, capacity);
    capacity = count_;
    array = release();
  }

 private:
  T* array_;
  int count_;
};

/// Makes `array` (of `capacity` elements, the first `live` of them in use) hold at least
/// `count`: a fresh array with the live elements copied when it holds fewer.
template <typename T>
void growArray(T*& array, int& capacity, int live, int count) {
  if (count <= capacity) return;
  ArrayHolder<T> fresh(count);
  std::copy(array, array + live, fresh.get());
  fresh.replace(array, capacity);
}

/// The allocator of std::vector for large buffers: newArray and deleteArray.
template <typename T>
struct LargeArrayAllocator {
  using value_type = T;
  LargeArrayAllocator() = default;
  template <typename U>
  explicit LargeArrayAllocator(const LargeArrayAllocator<U>&) {}
  T* allocate(std::size_t n) { return newArray<T>(n); }
  void deallocate(T* p, std::size_t n) noexcept { deleteArray(p, n); }
  friend bool operator==(const LargeArrayAllocator&, const LargeArrayAllocator&) { return true; }
  friend bool operator!=(const LargeArrayAllocator&, const LargeArrayAllocator&) { return false; }
};

/// A vector whose array, when large, is aligned to and advised for huge pages.
template <typename T>
using LargeVector = std::vector<T, LargeArrayAllocator<T>>;

}  // namespace flowdetail

#endif  // MOTIONSEG_FLOW_CONTAINERS_ARRAY_MEMORY_H

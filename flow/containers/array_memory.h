// Allocation of the containers' arrays. A flow computation writes a few hundred megabytes of
// freshly allocated memory per call, and the kernel maps it in one page fault per 4 KiB page;
// on some virtual machines a fault costs 10 µs or more, a fifth of the whole computation.
// Large arrays therefore carry the advice to back them with huge pages (Linux transparent huge
// pages, which in their usual "madvise" mode serve only memory so advised): one fault per
// 2 MiB. Such arrays are aligned to a huge page, so that their first and last pages can be
// huge too. Neither changes a value or a size; every array still comes from operator new[]
// (the aligned form for large ones), so whatever counts allocations sees them. Elsewhere, and
// under AddressSanitizer (whose allocator keeps its own mappings), nothing is advised.
//
// The allocator gives a large block back to the system when it is freed (munmap), and the
// kernel clears every page of the next one again on first touch. While a working arena is
// open (ArenaUse), large arrays are therefore carved out of chunks the arena keeps: a freed
// array's room goes back to the arena and serves the next arrays of the call, and of the
// following calls while a caller keeps the arena open; chunks go back to the system only
// once no user holds the arena and nothing lives in them.
#ifndef MOTIONSEG_FLOW_CONTAINERS_ARRAY_MEMORY_H
#define MOTIONSEG_FLOW_CONTAINERS_ARRAY_MEMORY_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <unordered_map>
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

/// Chunks of memory from which large arrays are carved while the arena is open, and to
/// which they return when freed. Blocks are whole pages at page offsets of a chunk; a request
/// takes the smallest free range that holds it (the fewest bytes left over), freed neighbours
/// merge, and a request no free range holds gets a chunk of its own (whole huge pages,
/// aligned to one and advised like the large arrays). Thread-safe.
class ArrayArena {
 public:
  /// Granularity of the blocks, and of a chunk's size.
  static constexpr std::size_t kBlockBytes = 4096;
  /// Alignment of a chunk: a huge page where huge pages are advised, so that every huge page
  /// a chunk spans can be one; elsewhere a block, since an aligned allocation may cost its
  /// alignment again in padding (Windows' C library carves it out of a larger block).
#ifdef MOTIONSEG_FLOW_HUGE_PAGES
  static constexpr std::size_t kChunkAlignment = kHugePageBytes;
#else
  static constexpr std::size_t kChunkAlignment = kBlockBytes;
#endif

  ArrayArena() = default;
  ArrayArena(const ArrayArena&) = delete;
  ArrayArena& operator=(const ArrayArena&) = delete;
  /// Releases every chunk; nothing may live in them any more.
  ~ArrayArena() {
    for (const std::unique_ptr<Chunk>& c : chunks_)
      ::operator delete(c->base, std::align_val_t(kChunkAlignment));
  }

  /// One more user: until the matching close(), freed blocks stay in the arena.
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++users_;
  }
  /// One user fewer; when none is left, the chunks with nothing live in them are released.
  void close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--users_ == 0) releaseFreeChunks();
  }
  bool isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return users_ > 0;
  }

  /// A block of at least `bytes` bytes (at least 1), aligned to kBlockBytes, or null when no
  /// user holds the arena. Throws std::bad_alloc when a new chunk cannot be had.
  void* take(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0) return nullptr;
    const std::size_t need = roundUp(std::max<std::size_t>(bytes, 1), kBlockBytes);
    Chunk* best = nullptr;
    std::map<std::size_t, std::size_t>::iterator range;
    for (const std::unique_ptr<Chunk>& c : chunks_) {
      for (auto r = c->free.begin(); r != c->free.end(); ++r) {
        if (r->second >= need && (best == nullptr || r->second < range->second)) {
          best = c.get();
          range = r;
        }
      }
    }
    if (best == nullptr) {
      // No free range holds the request: the chunks with nothing live in them go back to
      // the system first, so that the arena never holds more than the call's live arrays
      // need, then a chunk of the request's size.
      releaseFreeChunks();
      const std::size_t size = need;
      std::unique_ptr<Chunk> chunk(new Chunk);
      chunk->base = static_cast<char*>(::operator new(size, std::align_val_t(kChunkAlignment)));
      chunk->bytes = size;
      adviseHugePages(chunk->base, size);
      range = chunk->free.emplace(0, size).first;
      best = chunk.get();
      chunks_.push_back(std::move(chunk));
      reserved_ += size;
      hasChunks_.store(true, std::memory_order_release);
    }
    const std::size_t offset = range->first, length = range->second;
    best->free.erase(range);
    if (length > need) best->free.emplace(offset + need, length - need);
    best->live += need;
    char* block = best->base + offset;
    live_.emplace(block, Block{best, offset, need});
    return block;
  }

  /// Takes back a block of take(); false (and nothing done) for memory the arena did not give.
  bool give(void* p) {
    if (!hasChunks_.load(std::memory_order_acquire)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = live_.find(p);
    if (found == live_.end()) return false;
    const Block b = found->second;
    live_.erase(found);
    b.chunk->live -= b.bytes;
    // The freed range, merged with free neighbours on either side.
    std::size_t offset = b.offset, length = b.bytes;
    auto next = b.chunk->free.lower_bound(offset);
    if (next != b.chunk->free.end() && next->first == offset + length) {
      length += next->second;
      next = b.chunk->free.erase(next);
    }
    if (next != b.chunk->free.begin()) {
      const auto previous = std::prev(next);
      if (previous->first + previous->second == offset) {
        offset = previous->first;
        length += previous->second;
        b.chunk->free.erase(previous);
      }
    }
    b.chunk->free.emplace(offset, length);
    if (users_ == 0) releaseFreeChunks();
    return true;
  }

  /// Bytes of all chunks held (live blocks and free room).
  std::size_t reservedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reserved_;
  }
  /// Bytes of the blocks live now.
  std::size_t liveBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t sum = 0;
    for (const std::unique_ptr<Chunk>& c : chunks_)
      sum += c->live;
    return sum;
  }

 private:
  struct Chunk {
    char* base = nullptr;
    std::size_t bytes = 0, live = 0;
    // Free ranges by offset: their lengths.
    std::map<std::size_t, std::size_t> free;
  };
  struct Block {
    Chunk* chunk;
    std::size_t offset, bytes;
  };

  static std::size_t roundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

  void releaseFreeChunks() {
    auto keep = std::partition(chunks_.begin(), chunks_.end(),
                               [](const std::unique_ptr<Chunk>& c) { return c->live > 0; });
    for (auto c = keep; c != chunks_.end(); ++c) {
      reserved_ -= (*c)->bytes;
      ::operator delete((*c)->base, std::align_val_t(kChunkAlignment));
    }
    chunks_.erase(keep, chunks_.end());
    hasChunks_.store(!chunks_.empty(), std::memory_order_release);
  }

  mutable std::mutex mutex_;
  int users_ = 0;
  std::size_t reserved_ = 0;
  std::vector<std::unique_ptr<Chunk>> chunks_;
  std::unordered_map<void*, Block> live_;
  std::atomic<bool> hasChunks_{false};
};

/// The process's working arena, which newArray and deleteArray use for large arrays (never
/// destroyed: arrays may outlive every static object).
inline ArrayArena& workingArena() {
  static ArrayArena* const arena = new ArrayArena;
  return *arena;
}

/// Arrays of at least this many bytes are carved from the working arena while it is open.
constexpr std::size_t kArenaArrayBytes = std::size_t{1} << 16;

/// Whether an array of `count` elements of T is carved from the working arena while it is
/// open: trivial arrays of kArenaArrayBytes or more, except under AddressSanitizer, which should
/// see every array as an allocation of its own.
template <typename T>
constexpr bool isArenaArray(std::size_t count) {
#if defined(__SANITIZE_ADDRESS__)
  (void)count;
  return false;
#endif
  return std::is_trivially_default_constructible<T>::value &&
         std::is_trivially_destructible<T>::value && sizeof(T) * count >= kArenaArrayBytes;
}

/// Holds the working arena open while it lives: the arrays the holder's calls free stay
/// ready for their next arrays instead of going back to the system.
class ArenaUse {
 public:
  ArenaUse() { workingArena().open(); }
  ~ArenaUse() { workingArena().close(); }
  ArenaUse(const ArenaUse&) = delete;
  ArenaUse& operator=(const ArenaUse&) = delete;
};

/// `count` elements of T (count ≥ 0, contents undefined). While the working arena is open a
/// large array is carved from it; otherwise a large array comes from the aligned operator
/// new[] with huge pages advised for every huge page it touches, a small one from new T[].
/// Released by deleteArray with the same count.
template <typename T>
T* newArray(std::size_t count) {
  const std::size_t n = count;
  if (isArenaArray<T>(n)) {
    if (void* block = workingArena().take(sizeof(T) * n)) return static_cast<T*>(block);
  }
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
  if (isArenaArray<T>(count) && workingArena().give(array)) return;
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

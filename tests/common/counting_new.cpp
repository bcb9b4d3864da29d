// Replaces the global allocation functions of the test executable that links this file, so
// that its tests can measure the peak of what a call allocates.
#include "tests/common/counting_new.h"

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> allocated{0}, peak{0}, base{0};

#if defined(_WIN32)
// Windows' C library has no posix_memalign, and its aligned blocks tell their size only
// through a function MinGW does not always declare: an aligned block is carved out of a larger
// malloc block whose address is kept just before it.
void* allocateBlock(std::size_t n, std::size_t alignment) {
  if (alignment == 0) return std::malloc(n);
  if (alignment < sizeof(void*)) alignment = sizeof(void*);
  void* raw = std::malloc(n + alignment + sizeof(void*));
  if (raw == nullptr) return nullptr;
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
  void** aligned = reinterpret_cast<void**>((start + alignment - 1) & ~(alignment - 1));
  aligned[-1] = raw;
  return aligned;
}
void* rawBlock(void* p, std::size_t alignment) {
  return alignment == 0 ? p : static_cast<void**>(p)[-1];
}
std::size_t blockSize(void* p, std::size_t alignment) {
  return _msize(rawBlock(p, alignment));
}
// The whole malloc block counts: Windows' heap commits all of it.
std::size_t bytesAllocated(void* p, std::size_t, std::size_t alignment) {
  return blockSize(p, alignment);
}
std::size_t bytesReleased(void* p, std::size_t alignment) {
  return blockSize(p, alignment);
}
void freeBlock(void* p, std::size_t alignment) {
  std::free(rawBlock(p, alignment));
}
#else
void* allocateBlock(std::size_t n, std::size_t alignment) {
  if (alignment == 0) return std::malloc(n);
  void* p = nullptr;
  return posix_memalign(&p, alignment, n) == 0 ? p : nullptr;
}
// glibc's usable size of a block aligned to a huge page takes in the rest of its mapping, up
// to one alignment (2 MiB) past the bytes asked for: address space the program never receives
// or touches, so no memory. Aligned blocks therefore count as the bytes asked for, remembered
// here until they are freed (under a spin lock: the flow takes few such blocks); should the
// table be full, a block counts with its usable size at both ends.
struct AlignedBlock {
  void* p;
  std::size_t bytes;
};
constexpr std::size_t kAlignedSlots = 4096;
AlignedBlock alignedBlocks[kAlignedSlots];
std::atomic_flag alignedLock = ATOMIC_FLAG_INIT;

class AlignedTable {
 public:
  AlignedTable() {
    while (alignedLock.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~AlignedTable() { alignedLock.clear(std::memory_order_release); }
  AlignedTable(const AlignedTable&) = delete;
  AlignedTable& operator=(const AlignedTable&) = delete;
  AlignedBlock* find(void* p) {
    for (AlignedBlock& b : alignedBlocks)
      if (b.p == p) return &b;
    return nullptr;
  }
};

std::size_t bytesAllocated(void* p, std::size_t n, std::size_t alignment) {
  if (alignment == 0) return malloc_usable_size(p);
  AlignedTable table;
  AlignedBlock* free = table.find(nullptr);
  if (free == nullptr) return malloc_usable_size(p);
  *free = {p, n};
  return n;
}
std::size_t bytesReleased(void* p, std::size_t alignment) {
  if (alignment != 0) {
    AlignedTable table;
    if (AlignedBlock* b = table.find(p)) {
      const std::size_t bytes = b->bytes;
      *b = {nullptr, 0};
      return bytes;
    }
  }
  return malloc_usable_size(p);
}
void freeBlock(void* p, std::size_t) {
  std::free(p);
}
#endif

void* counted(std::size_t n, std::size_t alignment = 0) {
  void* p = allocateBlock(n == 0 ? 1 : n, alignment);
  if (p == nullptr) throw std::bad_alloc();
  const long long now = allocated += static_cast<long long>(bytesAllocated(p, n, alignment));
  long long seen = peak.load();
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
  return p;
}

void uncounted(void* p, std::size_t alignment = 0) noexcept {
  if (p == nullptr) return;
  allocated -= static_cast<long long>(bytesReleased(p, alignment));
  freeBlock(p, alignment);
}

}  // namespace

namespace countingnew {

long long live() {
  return allocated.load();
}

void resetPeak() {
  base = allocated.load();
  peak = base.load();
}

std::uint64_t peakSinceReset() {
  return static_cast<std::uint64_t>(peak.load() - base.load());
}

}  // namespace countingnew

void* operator new(std::size_t n) {
  return counted(n);
}
void* operator new[](std::size_t n) {
  return counted(n);
}
void operator delete(void* p) noexcept {
  uncounted(p);
}
void operator delete[](void* p) noexcept {
  uncounted(p);
}
void operator delete(void* p, std::size_t) noexcept {
  uncounted(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  uncounted(p);
}
// The flow's containers take large arrays from the aligned forms.
void* operator new(std::size_t n, std::align_val_t a) {
  return counted(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return counted(n, static_cast<std::size_t>(a));
}
void operator delete(void* p, std::align_val_t a) noexcept {
  uncounted(p, static_cast<std::size_t>(a));
}
void operator delete[](void* p, std::align_val_t a) noexcept {
  uncounted(p, static_cast<std::size_t>(a));
}
void operator delete(void* p, std::size_t, std::align_val_t a) noexcept {
  uncounted(p, static_cast<std::size_t>(a));
}
void operator delete[](void* p, std::size_t, std::align_val_t a) noexcept {
  uncounted(p, static_cast<std::size_t>(a));
}

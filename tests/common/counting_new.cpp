// Replaces the global allocation functions of the test executable that links this file, so
// that its tests can measure the peak of what a call allocates.
#include "tests/common/counting_new.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> allocated{0}, peak{0}, base{0};

void* counted(std::size_t n, std::size_t alignment = 0) {
  void* p = nullptr;
  if (alignment == 0) {
    p = std::malloc(n == 0 ? 1 : n);
  } else if (posix_memalign(&p, alignment, n == 0 ? 1 : n) != 0) {
    p = nullptr;
  }
  if (p == nullptr) throw std::bad_alloc();
  const long long now = allocated += static_cast<long long>(malloc_usable_size(p));
  long long seen = peak.load();
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
  return p;
}

void uncounted(void* p) noexcept {
  if (p == nullptr) return;
  allocated -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
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
void operator delete(void* p, std::align_val_t) noexcept {
  uncounted(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  uncounted(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  uncounted(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  uncounted(p);
}

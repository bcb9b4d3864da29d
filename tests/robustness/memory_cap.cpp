// A memory ceiling for the random-call tests. A mutated call may be perfectly valid and still
// ask for far more memory than a test should take (a superpixel count of 2^31 - 1, a label
// 65535 read as the number of superpixels); the plug-in must then end with its out-of-memory
// error. Capping allocations makes that path the one taken, instead of exhausting the
// machine or, under AddressSanitizer, aborting the test on the first huge request; requests
// the plug-ins weigh first end with the memory guard's refusal instead.
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define MOTIONSEG_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MOTIONSEG_ASAN 1
#endif
#endif

#include "tests/platform/environment.h"

// Windows commits what it grants (no overcommit), so a huge calloc of the host fails there by
// itself: no address-space limit is needed.
#if !defined(MOTIONSEG_ASAN) && !defined(_WIN32)
#define MOTIONSEG_ADDRESS_SPACE_LIMIT 1
#include <sys/resource.h>
#endif

namespace {

constexpr std::size_t kLargestAllocation = std::size_t{512} << 20;

// The plug-ins' memory guard weighs large requests against the same ceiling, so that a huge
// request gets the same answer whatever the machine has free at the moment (a repeated call
// must answer alike).
struct GuardCeiling {
  GuardCeiling() { setenv("MOTIONSEG_MEMORY_LIMIT", "512MiB", 1); }
} guardCeiling;

void* allocate(std::size_t size) {
  if (size > kLargestAllocation) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

#ifdef MOTIONSEG_ADDRESS_SPACE_LIMIT
// Without the sanitizer's allocator options, the host's own calloc is bounded through the
// address-space limit; set before main, so it holds for every test of the executable.
struct AddressSpaceLimit {
  AddressSpaceLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0) {
      const rlim_t cap = rlim_t{2} << 30;
      if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > cap) {
        limit.rlim_cur = cap;
        setrlimit(RLIMIT_AS, &limit);
      }
    }
  }
} addressSpaceLimit;
#endif

}  // namespace

#ifdef MOTIONSEG_ASAN
// Large calloc/malloc requests (the host's arrays) return null instead of aborting.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=512";
}
#endif

// Every non-aligned form of new and delete, on malloc and free so that they pair up whichever
// runtime (plain or sanitizer) provides the allocator.
void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

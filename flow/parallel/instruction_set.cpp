#include "flow/parallel/instruction_set.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
#include <immintrin.h>
#include <intrin.h>
#endif

namespace flowsimd {
namespace {

// -1: nothing forced; else the forced set.
std::atomic<int> forced{-1};

InstructionSet fromEnvironmentOrWidest() {
  const char* wanted = std::getenv("MOTIONSEG_FLOW_ISA");
  if (wanted != nullptr && std::strcmp(wanted, "sse2") == 0) return InstructionSet::Sse2;
  return supported(InstructionSet::Avx2) ? InstructionSet::Avx2 : InstructionSet::Sse2;
}

}  // namespace

#if defined(MOTIONSEG_FLOW_AVX2) && defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
/// AVX2 as Microsoft's compiler finds it: the processor's flag (CPUID leaf 7, EBX bit 5), and
/// the system saving the 256-bit registers (OSXSAVE, then XCR0's SSE and AVX state bits).
bool processorHasAvx2() {
  int regs[4];
  __cpuid(regs, 0);
  if (regs[0] < 7) return false;
  __cpuid(regs, 1);
  const bool osxsave = (regs[2] & (1 << 27)) != 0, avx = (regs[2] & (1 << 28)) != 0;
  if (!osxsave || !avx || (_xgetbv(0) & 0x6) != 0x6) return false;
  __cpuidex(regs, 7, 0);
  return (regs[1] & (1 << 5)) != 0;
}
#endif

bool supported(InstructionSet set) {
  if (set == InstructionSet::Sse2) return true;
    // AVX2 kernels exist in x86-64 builds only (32-bit builds have the SSE2 path alone).
#if defined(MOTIONSEG_FLOW_AVX2) && defined(__x86_64__) && defined(__GNUC__)
  return __builtin_cpu_supports("avx2");
#elif defined(MOTIONSEG_FLOW_AVX2) && defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
  static const bool has = processorHasAvx2();
  return has;
#else
  return false;
#endif
}

InstructionSet active() {
  const int f = forced.load(std::memory_order_relaxed);
  if (f >= 0) return static_cast<InstructionSet>(f);
  static const InstructionSet chosen = fromEnvironmentOrWidest();
  return chosen;
}

bool force(InstructionSet set) {
  if (!supported(set)) return false;
  forced.store(static_cast<int>(set), std::memory_order_relaxed);
  return true;
}

void unforce() {
  forced.store(-1, std::memory_order_relaxed);
}

const char* name(InstructionSet set) {
  return set == InstructionSet::Avx2 ? "avx2" : "sse2";
}

}  // namespace flowsimd

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

// The set MOTIONSEG_FLOW_ISA names where the processor has it, else the widest supported set
// (of those taken unasked, unless `anyWidest`).
InstructionSet fromEnvironmentOrWidest(bool anyWidest) {
  const char* wanted = std::getenv("MOTIONSEG_FLOW_ISA");
  if (wanted != nullptr) {
    for (const InstructionSet set : kInstructionSets)
      if (std::strcmp(wanted, name(set)) == 0 && supported(set)) return set;
  }
  InstructionSet widest = InstructionSet::Sse2;
  for (const InstructionSet set : kInstructionSets)
    if (supported(set) && (anyWidest || takenUnasked(set))) widest = set;
  return widest;
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

#if defined(MOTIONSEG_FLOW_AVX512) && defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
/// The AVX-512 subsets the kernels are compiled for (F, DQ, BW and VL: CPUID leaf 7, EBX bits
/// 16, 17, 30 and 31), and the system saving the mask and 512-bit registers (XCR0's SSE, AVX,
/// opmask, ZMM_Hi256 and Hi16_ZMM state bits).
bool processorHasAvx512() {
  int regs[4];
  __cpuid(regs, 0);
  if (regs[0] < 7) return false;
  __cpuid(regs, 1);
  const bool osxsave = (regs[2] & (1 << 27)) != 0;
  if (!osxsave || (_xgetbv(0) & 0xE6) != 0xE6) return false;
  __cpuidex(regs, 7, 0);
  const unsigned ebx = static_cast<unsigned>(regs[1]);
  const unsigned wanted = (1u << 16) | (1u << 17) | (1u << 30) | (1u << 31);
  return (ebx & wanted) == wanted;
}
#endif

bool supported(InstructionSet set) {
  switch (set) {
    case InstructionSet::Sse2:
      return true;
    case InstructionSet::Avx2:
      // The wider kernels exist in x86-64 builds only (32-bit builds run the SSE2 path alone).
#if defined(MOTIONSEG_FLOW_AVX2) && defined(__x86_64__) && defined(__GNUC__)
      return __builtin_cpu_supports("avx2");
#elif defined(MOTIONSEG_FLOW_AVX2) && defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
    {
      static const bool has = processorHasAvx2();
      return has;
    }
#else
      return false;
#endif
    case InstructionSet::Avx512:
      // Every subset the kernels' files are compiled for, since the compiler may use any.
#if defined(MOTIONSEG_FLOW_AVX512) && defined(__x86_64__) && defined(__GNUC__)
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#elif defined(MOTIONSEG_FLOW_AVX512) && defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
    {
      static const bool has = processorHasAvx512();
      return has;
    }
#else
      return false;
#endif
  }
  return false;
}

bool takenUnasked(InstructionSet set) {
  return set != InstructionSet::Avx512;
}

InstructionSet active() {
  const int f = forced.load(std::memory_order_relaxed);
  if (f >= 0) return static_cast<InstructionSet>(f);
  static const InstructionSet chosen = fromEnvironmentOrWidest(false);
  return chosen;
}

InstructionSet activeWidest() {
  const int f = forced.load(std::memory_order_relaxed);
  if (f >= 0) return static_cast<InstructionSet>(f);
  static const InstructionSet chosen = fromEnvironmentOrWidest(true);
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
  switch (set) {
    case InstructionSet::Avx2:
      return "avx2";
    case InstructionSet::Avx512:
      return "avx512";
    case InstructionSet::Sse2:
      break;
  }
  return "sse2";
}

}  // namespace flowsimd

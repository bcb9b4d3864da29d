#include "flow/parallel/instruction_set.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

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

bool supported(InstructionSet set) {
  if (set == InstructionSet::Sse2) return true;
#if defined(MOTIONSEG_FLOW_AVX2) && defined(__x86_64__) && defined(__GNUC__)
  return __builtin_cpu_supports("avx2");
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

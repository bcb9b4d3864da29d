// The vector instruction set the flow's kernels run with. Every kernel has a version for the
// x86-64 baseline (SSE2) and, where it pays, ones for AVX2 and AVX-512; all versions give the
// same bits, so the choice only changes the speed.
#ifndef MOTIONSEG_FLOW_PARALLEL_INSTRUCTION_SET_H
#define MOTIONSEG_FLOW_PARALLEL_INSTRUCTION_SET_H

namespace flowsimd {

enum class InstructionSet { Sse2, Avx2, Avx512 };

/// Every set, narrowest first (tests run each one the processor has).
constexpr InstructionSet kInstructionSets[] = {InstructionSet::Sse2, InstructionSet::Avx2,
                                               InstructionSet::Avx512};

/// Whether this processor (and this build) can run the kernels of `set`.
bool supported(InstructionSet set);

/// Whether active() takes `set` without being asked, where the processor has it: false for
/// AVX-512, whose kernels are chosen only when named or forced: the sweep is slower with them
/// on an AMD Zen 4 (which runs 512-bit operations as two halves), on an Intel Xeon
/// (bench/solver/README.md) and on an AMD Zen 5 (bench/flow/README.md).
/// The kernels that gain from them ask activeWidest() instead.
bool takenUnasked(InstructionSet set);

/// The set the kernels use now: the one forced last, else the one the environment variable
/// MOTIONSEG_FLOW_ISA names ("sse2", "avx2" or "avx512"; a set the processor lacks is
/// ignored), else the widest supported set that is taken unasked.
InstructionSet active();

/// The set of the kernels whose widest version is the fastest on the processors measured (the
/// matching's row scan, which sixteen lanes make 4-6% faster on an AMD Zen 4 where the sweep
/// loses): the forced or named set as for active(), else the widest supported set, AVX-512
/// included.
InstructionSet activeWidest();

/// Makes the kernels use `set` from now on (tests run every path this way); false, and no
/// change, when the processor cannot run it. Not to be called while a flow is computed.
bool force(InstructionSet set);

/// Back to the choice of active() without a forced set.
void unforce();

/// Whether the active set includes the instructions of `set`: the sets are nested, each
/// holding the narrower ones, so a kernel written for AVX2 alone also serves where AVX-512 is
/// active.
inline bool activeIncludes(InstructionSet set) {
  return static_cast<int>(active()) >= static_cast<int>(set);
}

/// "sse2", "avx2" or "avx512".
const char* name(InstructionSet set);

}  // namespace flowsimd

#endif  // MOTIONSEG_FLOW_PARALLEL_INSTRUCTION_SET_H

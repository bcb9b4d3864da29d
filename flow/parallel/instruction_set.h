// The vector instruction set the flow's kernels run with. Every kernel has a version for the
// x86-64 baseline (SSE2) and, where it pays, one for AVX2; all versions give the same bits,
// so the choice only changes the speed.
#ifndef MOTIONSEG_FLOW_PARALLEL_INSTRUCTION_SET_H
#define MOTIONSEG_FLOW_PARALLEL_INSTRUCTION_SET_H

namespace flowsimd {

enum class InstructionSet { Sse2, Avx2 };

/// Whether this processor (and this build) can run the kernels of `set`.
bool supported(InstructionSet set);

/// The set the kernels use now: the one forced last, else the widest supported one, unless
/// the environment variable MOTIONSEG_FLOW_ISA names another ("sse2" or "avx2"; a set the
/// processor lacks is ignored).
InstructionSet active();

/// Makes the kernels use `set` from now on (tests run every path this way); false, and no
/// change, when the processor cannot run it. Not to be called while a flow is computed.
bool force(InstructionSet set);

/// Back to the choice of active() without a forced set.
void unforce();

/// "sse2" or "avx2".
const char* name(InstructionSet set);

}  // namespace flowsimd

#endif  // MOTIONSEG_FLOW_PARALLEL_INSTRUCTION_SET_H

// The instruction sets that the tests run every fast path with: each one this processor and
// build can run. Each one they cannot is named on standard output as skipped, so that a path
// left untested shows in the log rather than passing silently.
#ifndef MOTIONSEG_TESTS_FLOW_INSTRUCTION_SETS_H
#define MOTIONSEG_TESTS_FLOW_INSTRUCTION_SETS_H

#include "flow/parallel/instruction_set.h"

#include <cstdio>
#include <vector>

namespace flowtest {

inline std::vector<flowsimd::InstructionSet> runnableInstructionSets() {
  std::vector<flowsimd::InstructionSet> sets;
  for (const flowsimd::InstructionSet set : flowsimd::kInstructionSets) {
    if (flowsimd::supported(set)) {
      sets.push_back(set);
    } else {
      // Not GoogleTest's skip marker, which would make ctest count the whole test as skipped.
      std::printf("[ no path  ] %s skipped: this processor or build cannot run it\n",
                  flowsimd::name(set));
    }
  }
  return sets;
}

}  // namespace flowtest

#endif  // MOTIONSEG_TESTS_FLOW_INSTRUCTION_SETS_H

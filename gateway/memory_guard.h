// The memory guard of the entry files: before a plug-in allocates anything large it weighs
// what the call will take (its core's estimate of outputs and working memory, plus the host's
// copy of every output) against what the machine can give now, and refuses the call with a
// text that says both. Linux overcommits: without this check a huge request succeeds, and the
// host session is killed when the memory is touched, never reaching the "Out of memory." path.
//
// The estimates live beside the cores (host-independent, reused by programs and bindings);
// this header only adds the host's copy, compares and words the refusal.
#ifndef MOTIONSEG_GATEWAY_MEMORY_GUARD_H
#define MOTIONSEG_GATEWAY_MEMORY_GUARD_H

#include "common/memory_budget.h"
#include "gateway/mex_gateway.h"

#include <string>

namespace gw {

/// What the call takes in the host: its working memory, its outputs and the host's copy of
/// them (GNU Octave zero-fills each output and copies it on return).
inline membudget::Bytes hostBytes(const membudget::Estimate& need) {
  return membudget::peakBytes(need, 1);
}

/// The refusal of a call of `name` that needs more than `limit` allows, e.g. "regionLinkage
/// needs 34.4 GB for a 65535-by-65535 table (twice that while the host copies it); this
/// machine has 23.1 GB available."
inline std::string memoryRefusal(const char* name, const membudget::Estimate& need,
                                 const membudget::Limit& limit) {
  const membudget::Bytes total = hostBytes(need);
  if (total.saturated()) {
    return format("%s needs more than %s for %s; %s.", name,
                  membudget::formatBytes(total.value()).c_str(), need.what.c_str(),
                  limit.description.c_str());
  }
  if (need.working.value() == 0) {
    return format("%s needs %s for %s (twice that while the host copies it); %s.", name,
                  membudget::formatBytes(total.value()).c_str(), need.what.c_str(),
                  limit.description.c_str());
  }
  return format(
      "%s needs %s for %s (%s of output, twice while the host copies it, and %s of "
      "working memory); %s.",
      name, membudget::formatBytes(total.value()).c_str(), need.what.c_str(),
      membudget::formatBytes(need.outputs.value()).c_str(),
      membudget::formatBytes(need.working.value()).c_str(), limit.description.c_str());
}

/// Ends the call of `name` with memoryRefusal when its need does not fit what the machine can
/// give now (or the user's ceiling MOTIONSEG_MEMORY_LIMIT), and with the ceiling's own text
/// when that variable cannot be read. The check is an estimate taken before any work: a call
/// that passes may still fail with "Out of memory.".
inline void requireMemory(const char* name, const membudget::Estimate& need) {
  const membudget::Limit limit = membudget::currentLimit();
  if (!limit.problem.empty()) fail(Kind::Memory, limit.problem);
  if (!membudget::fits(hostBytes(need), limit)) {
    fail(Kind::Memory, memoryRefusal(name, need, limit));
  }
}

/// What the machine can give now (or the user's ceiling) for a core whose need shows only as
/// it works, and which therefore weighs its working memory as it grows: the budget handed to
/// it is limit.bytes less the bookkeeping allowance. Ends the call when the ceiling cannot be
/// read.
inline membudget::Limit growthLimit() {
  membudget::Limit limit = membudget::currentLimit();
  if (!limit.problem.empty()) fail(Kind::Memory, limit.problem);
  limit.bytes =
      limit.bytes > membudget::kBookkeepingBytes ? limit.bytes - membudget::kBookkeepingBytes : 0;
  return limit;
}

/// Ends the call of `name` whose working memory for `what` grew past the budget of growthLimit,
/// e.g. "frameNeighbours needs more than 100 MB for the neighbour pairs of 2 frames of
/// 2048-by-2048 pixels; the limit MOTIONSEG_MEMORY_LIMIT=100M allows 100 MB."
[[noreturn]] inline void failGrowth(const char* name, const std::string& what,
                                    const membudget::Limit& limit) {
  fail(Kind::Memory,
       format("%s needs more than %s for %s; %s.", name,
              membudget::formatBytes(limit.bytes + membudget::kBookkeepingBytes).c_str(),
              what.c_str(), limit.description.c_str()));
}

}  // namespace gw

#endif  // MOTIONSEG_GATEWAY_MEMORY_GUARD_H

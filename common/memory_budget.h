// How much memory a call may take before it starts: what the system can give now, capped by
// the process's address-space limit and by a ceiling the user sets, and overflow-checked
// byte arithmetic to compare a request against it.
//
// Linux overcommits: a huge allocation succeeds and the process is killed only when the
// memory is touched, so a request must be weighed before it is made, not caught after.
#ifndef MOTIONSEG_COMMON_MEMORY_BUDGET_H
#define MOTIONSEG_COMMON_MEMORY_BUDGET_H

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>

namespace membudget {

/// Name of the environment variable holding the user's ceiling ("8G", "512M", "1.5GB", or a
/// plain byte count; K, M, G, T are powers of 1000, KiB, MiB, GiB, TiB powers of 1024).
constexpr const char* kLimitVariable = "MOTIONSEG_MEMORY_LIMIT";

/// A byte count that saturates instead of wrapping: once any step overflows, the count stays
/// at its largest value, which no budget admits.
class Bytes {
 public:
  static constexpr std::uint64_t kSaturated = std::numeric_limits<std::uint64_t>::max();

  constexpr Bytes() = default;
  constexpr explicit Bytes(std::uint64_t value) : value_(value) {}

  /// The product of factors, saturated.
  static Bytes product(std::initializer_list<std::uint64_t> factors) {
    Bytes b(1);
    for (std::uint64_t f : factors)
      b *= f;
    return b;
  }

  Bytes& operator+=(Bytes other) {
    value_ = (value_ > kSaturated - other.value_) ? kSaturated : value_ + other.value_;
    return *this;
  }
  Bytes& operator*=(std::uint64_t factor) {
    if (factor != 0 && value_ > kSaturated / factor) {
      value_ = kSaturated;
    } else {
      value_ *= factor;
    }
    return *this;
  }
  friend Bytes operator+(Bytes a, Bytes b) { return a += b; }
  friend Bytes operator*(Bytes a, std::uint64_t f) { return a *= f; }

  constexpr std::uint64_t value() const { return value_; }
  constexpr bool saturated() const { return value_ == kSaturated; }

 private:
  std::uint64_t value_ = 0;
};

/// What one call will allocate, estimated from its arguments before any of it is taken: the
/// arrays it hands to its caller and the working memory it frees before it returns (an upper
/// bound of the peak of both together). `what` names the request for a refusal ("a
/// 65535-by-65535 table", "1000000000 superpixels").
struct Estimate {
  Bytes outputs;
  Bytes working;
  std::string what;
};

/// Allowance for a call's small bookkeeping (argument lists, the host's array headers), added
/// to every estimate by peakBytes so that the total is never below the real use of a small
/// call.
constexpr std::uint64_t kBookkeepingBytes = std::uint64_t{64} << 10;

/// The peak of a call whose host holds `outputCopies` more copies of each output while it
/// returns (GNU Octave and MATLAB copy each output once): outputs, their copies, working
/// memory and the bookkeeping allowance.
inline Bytes peakBytes(const Estimate& need, std::uint64_t outputCopies) {
  return need.outputs * (1 + outputCopies) + need.working + Bytes(kBookkeepingBytes);
}

/// What a call may take, and how to say so in a refusal.
struct Limit {
  std::uint64_t bytes = 0;
  /// The end of a refusal sentence: "this machine has 23.1 GB available" or "the limit
  /// MOTIONSEG_MEMORY_LIMIT=2G allows 2.00 GB".
  std::string description;
  /// Not empty when the user's ceiling cannot be read; the call should be refused with it.
  std::string problem;
};

/// The limit for this process now: MemAvailable from /proc/meminfo (else the physical memory),
/// capped by the room left under the address-space limit (RLIMIT_AS minus what the process
/// already maps) and by MOTIONSEG_MEMORY_LIMIT when set.
Limit currentLimit();

/// The pure part of currentLimit, for tests: the smallest of the given bounds. `ceilingText`
/// is the environment variable's value (null when unset).
Limit combineLimit(std::optional<std::uint64_t> memAvailable, std::uint64_t physical,
                   std::optional<std::uint64_t> addressSpaceLeft, const char* ceilingText);

/// MemAvailable of a /proc/meminfo text, in bytes.
std::optional<std::uint64_t> parseMemAvailable(const std::string& meminfo);

/// A size such as "8G", "512 MiB", "1.5GB" or "1000000" in bytes; nothing for other texts,
/// for 0 and negative values, and for sizes beyond 2^64.
std::optional<std::uint64_t> parseSize(const std::string& text);

/// "34.4 GB", "512 MB", "12.0 kB", "17 bytes": three significant digits, powers of 1000.
std::string formatBytes(std::uint64_t bytes);

/// True when `needed` fits in `limit`.
inline bool fits(Bytes needed, const Limit& limit) {
  return !needed.saturated() && needed.value() <= limit.bytes;
}

/// The budget handed to a core whose need shows only as it works (the sets and maps of the
/// graph functions), which weighs its working memory as it grows: what `limit` allows less the
/// bookkeeping allowance.
inline std::uint64_t growthBudget(const Limit& limit) {
  return limit.bytes > kBookkeepingBytes ? limit.bytes - kBookkeepingBytes : 0;
}

/// The refusal of a call of `name` whose working memory for `what` grew past the growthBudget
/// of `limit`, e.g.
/// "frameNeighbours needs more than 100 MB for the neighbour pairs of 2 frames of 2048-by-2048
/// pixels; the limit MOTIONSEG_MEMORY_LIMIT=100M allows 100 MB."
inline std::string growthRefusal(const std::string& name, const std::string& what,
                                 const Limit& limit) {
  return name + " needs more than " + formatBytes(limit.bytes) +
         " for " + what + "; " + limit.description + ".";
}

}  // namespace membudget

#endif  // MOTIONSEG_COMMON_MEMORY_BUDGET_H

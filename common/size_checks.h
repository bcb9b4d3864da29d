// Checks of counts and sizes that every front end makes the same way, with the same texts:
// counts given as numbers (truncated toward zero, then range-tested) and sizes that must fit
// the 32-bit sizes of the cores.
#ifndef MOTIONSEG_COMMON_SIZE_CHECKS_H
#define MOTIONSEG_COMMON_SIZE_CHECKS_H

#include "common/text_format.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace sizecheck {

/// value truncated toward zero when the result lies in lo..hi (NaN never does), else nothing.
/// The range test comes before the conversion, which is undefined for doubles out of range.
inline std::optional<std::uint64_t> truncatedCount(double value, std::uint64_t lo,
                                                   std::uint64_t hi) {
  const double t = std::trunc(value);
  if (!(t >= static_cast<double>(lo) && t <= static_cast<double>(hi))) return std::nullopt;
  return static_cast<std::uint64_t>(t);
}

/// "<what> must not be empty."
inline std::string emptyText(const char* what) {
  return textformat::format("%s must not be empty.", what);
}

/// "<what> must be between lo and hi."
inline std::string rangeText(const char* what, std::uint64_t lo, std::uint64_t hi) {
  return textformat::format("%s must be between %llu and %llu.", what,
                            static_cast<unsigned long long>(lo),
                            static_cast<unsigned long long>(hi));
}

/// True when a size fits the cores' 32-bit signed sizes.
inline bool fitsInt(std::uint64_t size) {
  return size <= static_cast<std::uint64_t>(std::numeric_limits<int>::max());
}

/// "<what> has too many rows." or "<what> has too many columns."
inline std::string tooManyText(const char* what, bool rows) {
  return textformat::format("%s has too many %s.", what, rows ? "rows" : "columns");
}

}  // namespace sizecheck

#endif  // MOTIONSEG_COMMON_SIZE_CHECKS_H

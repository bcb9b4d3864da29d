// Reading a superpixel count given as a double: truncation toward zero into a checked range.
#ifndef MOTIONSEG_SUPERPIXEL_GRAPHS_SUPERPIXEL_COUNT_H
#define MOTIONSEG_SUPERPIXEL_GRAPHS_SUPERPIXEL_COUNT_H

#include <cmath>
#include <cstdint>
#include <optional>

namespace superpixel {

/// value truncated toward zero, when the result lies in lo..hi; nothing otherwise (NaN
/// included). The range test comes before the conversion, which is undefined for doubles the
/// target type cannot hold.
inline std::optional<std::uint64_t> truncatedCount(double value, std::uint64_t lo,
                                                   std::uint64_t hi) {
  const double t = std::trunc(value);
  if (!(t >= static_cast<double>(lo) && t <= static_cast<double>(hi))) return std::nullopt;
  return static_cast<std::uint64_t>(t);
}

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_GRAPHS_SUPERPIXEL_COUNT_H

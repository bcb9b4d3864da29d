// Inputs shared by the superpixel plug-in tests: label maps, int16 flow fields and cell arrays
// of frames.
#ifndef MOTIONSEG_TESTS_SUPERPIXEL_SUPERPIXEL_TEST_SUPPORT_H
#define MOTIONSEG_TESTS_SUPERPIXEL_SUPERPIXEL_TEST_SUPPORT_H

#include "gateway/standalone/host.h"

#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace superpixeltest {

/// An h-by-w label map of element type Label, filled column-major from labels (the rest 0).
/// A test binds the class it needs: `const auto labelMap = labelMap<std::uint16_t>;`.
template <class Label>
host::Array labelMap(mwSize h, mwSize w, const std::vector<Label>& labels) {
  return host::make<Label>({h, w}, labels);
}

/// An h-by-w-by-2 int16 flow field: plane 0 (added to the rows), then plane 1 (the columns).
inline host::Array flowField(mwSize h, mwSize w, const std::vector<std::int16_t>& flow) {
  return host::make<std::int16_t>({h, w, 2}, flow);
}

/// A 1-by-n cell array holding the given arrays (null entries stay unfilled).
inline host::Array cells(std::vector<host::Array> v) {
  return host::cell(std::move(v));
}
template <class... More>
host::Array cells(host::Array first, More... more) {
  static_assert((std::is_same_v<More, host::Array> && ...), "cells holds arrays");
  std::vector<host::Array> v;
  v.push_back(std::move(first));
  (v.push_back(std::move(more)), ...);
  return cells(std::move(v));
}

}  // namespace superpixeltest

#endif  // MOTIONSEG_TESTS_SUPERPIXEL_SUPERPIXEL_TEST_SUPPORT_H

// Digests of every plug-in's outputs on fixed inputs, which every platform must reproduce: each
// plug-in's executable (every plug-in defines mexFunction) supplies its calls and the digests
// recorded for them; the runner of plugin_digests.cpp makes each call through the standalone
// host and hashes the class, size and bytes of every output and the printed text.
//
// The inputs are made with integer arithmetic (and exactly rounded operations such as sqrt of
// an exact value) only, so that they are the same bits everywhere; a digest that differs means
// a platform's compiler, C library or host types change a result.
#ifndef MOTIONSEG_TESTS_PLATFORM_PLUGIN_DIGESTS_H
#define MOTIONSEG_TESTS_PLATFORM_PLUGIN_DIGESTS_H

#include "gateway/standalone/host.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace digest {

using host::make;
using host::scalar;

/// One call: its arguments, the outputs requested and the digest recorded on 64-bit Linux.
struct Call {
  std::string name;
  std::function<std::vector<host::Array>()> arguments;
  int nlhs = 1;
  std::uint64_t digest = 0;
};

/// A state the calls are repeated in (an instruction-set path, a thread count): apply() makes
/// it current and returns false when this processor or build lacks it.
struct Setting {
  std::string name;
  std::function<bool()> apply;
};

/// What a plug-in's executable gives the runner.
struct Plan {
  std::vector<Call> calls;
  std::vector<Setting> settings;  ///< empty: the calls run once, as they are
  std::function<void()> restore;  ///< run after the settings, when given
};

/// Defined once per plug-in.
Plan plan();

/// 64-bit FNV-1a over bytes, continuing from `hash`.
std::uint64_t fnv1a(const void* data, std::size_t bytes, std::uint64_t hash);

/// The digest of a call's outputs (class, dimensions and element bytes of each slot, cells
/// element by element; characters as 16-bit codes whatever the host's mxChar) and of the text
/// it printed. A call that failed digests its error text instead.
std::uint64_t digestOf(const host::CallResult& result);

/// Builds argument lists: arguments(a, b, c) moves the arrays into a vector.
template <class... A>
std::vector<host::Array> arguments(A&&... a) {
  std::vector<host::Array> v;
  (v.push_back(std::forward<A>(a)), ...);
  return v;
}

/// A 1-by-n cell array of the given arrays.
template <class... A>
host::Array cellOf(A&&... a) {
  return host::cell(arguments(std::forward<A>(a)...));
}

/// A well-mixed 32-bit hash of (i, salt), the same on every platform.
inline std::uint32_t mix(std::uint32_t i, std::uint32_t salt) {
  std::uint32_t h = i * 0x9e3779b1u ^ salt * 0x85ebca6bu;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h;
}

/// n pseudo-random values in [low, low + span) (span > 0), converted to T.
template <class T>
std::vector<T> noise(std::size_t n, std::uint32_t salt, long low, std::uint32_t span) {
  std::vector<T> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = static_cast<T>(low + static_cast<long>(mix(static_cast<std::uint32_t>(i), salt) % span));
  return v;
}

/// n pseudo-random doubles on a grid of 1/64 in [-range, range): exact in every precision
/// the plug-ins compute in.
inline std::vector<double> gridNoise(std::size_t n, std::uint32_t salt, int range) {
  std::vector<double> v(n);
  const std::uint32_t span = static_cast<std::uint32_t>(range) * 128u;
  for (std::size_t i = 0; i < n; ++i)
    v[i] = (static_cast<double>(mix(static_cast<std::uint32_t>(i), salt) % span) - range * 64.0) /
           64.0;
  return v;
}

/// An h-by-w label map (column-major) of blocks of about cell-by-cell pixels numbered from 1
/// row of blocks by row of blocks, with one pixel in `stray` (0: none) taking a random
/// label of 1..count instead; one in `holes` (0: none) is 0.
template <class T>
std::vector<T> blockLabels(int h, int w, int cell, std::uint32_t salt, std::uint32_t stray,
                           std::uint32_t holes = 0) {
  const int across = (w + cell - 1) / cell;
  const std::uint32_t count = static_cast<std::uint32_t>(across * ((h + cell - 1) / cell));
  std::vector<T> v(static_cast<std::size_t>(h) * static_cast<std::size_t>(w));
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      const std::uint32_t i = static_cast<std::uint32_t>(y + h * x);
      const std::uint32_t r = mix(i, salt);
      std::uint32_t label = static_cast<std::uint32_t>(1 + x / cell + across * (y / cell));
      if (stray != 0 && r % stray == 0) label = 1 + (r >> 8) % count;
      if (holes != 0 && (r >> 4) % holes == 0) label = 0;
      v[i] = static_cast<T>(label);
    }
  }
  return v;
}

/// An h-by-w-by-2 int16 flow of whole pixels in [-range, range], smooth in blocks of 4 with
/// one vector in 7 random.
inline host::Array flowField(int h, int w, int range, std::uint32_t salt) {
  std::vector<std::int16_t> v(static_cast<std::size_t>(h) * static_cast<std::size_t>(w) * 2);
  const std::uint32_t span = static_cast<std::uint32_t>(2 * range + 1);
  for (int plane = 0; plane < 2; ++plane) {
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) {
        const std::uint32_t block = static_cast<std::uint32_t>((x / 4) * 1000 + y / 4 + plane);
        std::uint32_t r = mix(block, salt);
        const std::uint32_t i = static_cast<std::uint32_t>(y + h * x + h * w * plane);
        if (mix(i, salt + 1) % 7 == 0) r = mix(i, salt + 2);
        v[i] = static_cast<std::int16_t>(static_cast<int>(r % span) - range);
      }
    }
  }
  return make<std::int16_t>({static_cast<mwSize>(h), static_cast<mwSize>(w), 2}, v);
}

/// The dimensions h-by-w (and more) as the host's sizes.
inline std::vector<mwSize> size(std::initializer_list<int> dims) {
  std::vector<mwSize> v;
  for (int d : dims)
    v.push_back(static_cast<mwSize>(d));
  return v;
}

}  // namespace digest

#endif  // MOTIONSEG_TESTS_PLATFORM_PLUGIN_DIGESTS_H

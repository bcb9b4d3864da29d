// Test-only oracle for the eight-ray parity votes: walks every ray of every pixel.
#ifndef MOTIONSEG_TESTS_CROSSING_RAY_ORACLE_H
#define MOTIONSEG_TESTS_CROSSING_RAY_ORACLE_H

#include <cstdint>
#include <random>
#include <vector>

namespace oracle {

// A column-major M-by-N image.
struct Image {
  int m = 0;
  int n = 0;
  std::vector<std::uint8_t> v;
  std::uint8_t at(int i, int j) const { return v[static_cast<std::size_t>(i + j * m)]; }
  bool inside(int i, int j) const { return i >= 0 && i < m && j >= 0 && j < n; }
};

// For each pixel and each of the four scan steps s (right, down, down-right, up-right): the
// forward ray counts the rises of the steps q -> q + s from the pixel to the image border; the
// backward ray counts the rises of the steps q - s -> q over the pixels strictly before it.
// The step entering the pixel belongs to neither ray. Each odd count is one vote.
inline std::vector<std::uint8_t> votes(const Image& im) {
  static const int steps[4][2] = {{0, 1}, {1, 0}, {1, 1}, {-1, 1}};
  std::vector<std::uint8_t> out(im.v.size(), 0);
  for (int j = 0; j < im.n; ++j) {
    for (int i = 0; i < im.m; ++i) {
      int total = 0;
      for (const auto& s : steps) {
        int forward = 0;
        for (int a = i, b = j; im.inside(a + s[0], b + s[1]); a += s[0], b += s[1]) {
          forward += im.at(a, b) < im.at(a + s[0], b + s[1]);
        }
        int backward = 0;
        for (int a = i - s[0], b = j - s[1]; im.inside(a - s[0], b - s[1]); a -= s[0], b -= s[1]) {
          backward += im.at(a - s[0], b - s[1]) < im.at(a, b);
        }
        total += forward % 2 + backward % 2;
      }
      out[static_cast<std::size_t>(i + j * im.m)] = static_cast<std::uint8_t>(total);
    }
  }
  return out;
}

// A random image whose values lie in 0..levels-1 (few levels give many equal steps).
inline Image random(std::mt19937& rng, int m, int n, int levels) {
  Image im{m, n, std::vector<std::uint8_t>(static_cast<std::size_t>(m) * n)};
  for (auto& x : im.v)
    x = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(levels));
  return im;
}

}  // namespace oracle

#endif  // MOTIONSEG_TESTS_CROSSING_RAY_ORACLE_H

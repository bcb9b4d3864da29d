// Eight-ray parity votes from running rise counts along the four line families.
//
// The working buffer P holds, for one family at a time, the number of rises (mod 256) from the
// start of each pixel's line up to that pixel. It is stored column-major like the image, so
// that every family can be built column by column: each pixel's predecessor on a row, a
// diagonal or an anti-diagonal lies in the previous column, and the inner loops run over
// contiguous memory. Only parities are used, and wrapping modulo 256 keeps them; the parity of
// a difference of two counters is the low bit of their exclusive or.
#include "crossing/crossing_counts.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <vector>

namespace crossing {
namespace {

using Byte = std::uint8_t;

// One step p -> q counts as a rise when the value strictly increases.
inline Byte rise(Byte p, Byte q) {
  return static_cast<Byte>(p < q);
}

// The buffer and image geometry shared by the four families.
struct Grid {
  const Byte* image;
  Byte* counts;
  Byte* p;        // rise counts of the current family, column-major
  Byte* lineEnd;  // rise count at the last pixel of each diagonal line (M + N - 1 entries)
  std::size_t m;
  std::size_t n;

  const Byte* imageColumn(std::size_t j) const { return image + j * m; }
  Byte* countColumn(std::size_t j) const { return counts + j * m; }
  Byte* pColumn(std::size_t j) const { return p + j * m; }
};

// Rows, scanned left to right: the left ray of (i, j) sees the rises before it, P(i, j-1); the
// right ray sees the rises from (i, j) to the row's end, P(i, N-1) - P(i, j).
void rowVotes(const Grid& g) {
  std::fill(g.pColumn(0), g.pColumn(0) + g.m, Byte{0});
  for (std::size_t j = 1; j < g.n; ++j) {
    const Byte* before = g.imageColumn(j - 1);
    const Byte* here = g.imageColumn(j);
    const Byte* pBefore = g.pColumn(j - 1);
    Byte* p = g.pColumn(j);
    Byte* out = g.countColumn(j);
    for (std::size_t i = 0; i < g.m; ++i) {
      p[i] = static_cast<Byte>(pBefore[i] + rise(before[i], here[i]));
      out[i] = static_cast<Byte>(out[i] + (pBefore[i] & 1));
    }
  }
  const Byte* last = g.pColumn(g.n - 1);
  for (std::size_t j = 0; j + 1 < g.n; ++j) {
    const Byte* p = g.pColumn(j);
    Byte* out = g.countColumn(j);
    for (std::size_t i = 0; i < g.m; ++i)
      out[i] = static_cast<Byte>(out[i] + ((last[i] ^ p[i]) & 1));
  }
}

// Columns, scanned top to bottom: the upward ray of (i, j) sees P(i-1, j), the downward ray
// P(M-1, j) - P(i, j). Each column is a line of its own, so both votes follow its build.
void columnVotes(const Grid& g) {
  for (std::size_t j = 0; j < g.n; ++j) {
    const Byte* v = g.imageColumn(j);
    Byte* p = g.pColumn(j);
    Byte* out = g.countColumn(j);
    p[0] = 0;
    for (std::size_t i = 1; i < g.m; ++i) {
      p[i] = static_cast<Byte>(p[i - 1] + rise(v[i - 1], v[i]));
      out[i] = static_cast<Byte>(out[i] + (p[i - 1] & 1));
    }
    const Byte last = p[g.m - 1];
    for (std::size_t i = 0; i + 1 < g.m; ++i)
      out[i] = static_cast<Byte>(out[i] + ((last ^ p[i]) & 1));
  }
}

// Diagonals, scanned from top-left to bottom-right; lines start in row 0 or column 0. The
// diagonal through (i, j) is numbered j - i + M - 1 and ends in the bottom row or the right
// column, each diagonal meeting exactly one pixel of those.
void diagonalVotes(const Grid& g) {
  const std::size_t m = g.m;
  std::fill(g.pColumn(0), g.pColumn(0) + m, Byte{0});
  for (std::size_t j = 1; j < g.n; ++j) {
    const Byte* before = g.imageColumn(j - 1);
    const Byte* here = g.imageColumn(j);
    const Byte* pBefore = g.pColumn(j - 1);
    Byte* p = g.pColumn(j);
    Byte* out = g.countColumn(j);
    p[0] = 0;
    // Up-left ray: the rises strictly before (i, j), P(i-1, j-1).
    for (std::size_t i = 1; i < m; ++i) {
      p[i] = static_cast<Byte>(pBefore[i - 1] + rise(before[i - 1], here[i]));
      out[i] = static_cast<Byte>(out[i] + (pBefore[i - 1] & 1));
    }
  }
  // Last pixels: the bottom row (diagonal j) and the right column (diagonal N-1-i+M-1).
  for (std::size_t j = 0; j < g.n; ++j)
    g.lineEnd[j] = g.pColumn(j)[m - 1];
  const Byte* right = g.pColumn(g.n - 1);
  for (std::size_t i = 0; i < m; ++i)
    g.lineEnd[g.n - 1 - i + m - 1] = right[i];
  // Down-right ray for i <= M-2, j <= N-2: P(e) - P(i, j).
  for (std::size_t j = 0; j + 1 < g.n; ++j) {
    const Byte* p = g.pColumn(j);
    const Byte* end = g.lineEnd + j + m - 1;  // end[-i] belongs to the diagonal of (i, j)
    Byte* out = g.countColumn(j);
    for (std::size_t i = 0; i + 1 < m; ++i) {
      out[i] = static_cast<Byte>(out[i] + ((*(end - i) ^ p[i]) & 1));
    }
  }
}

// Anti-diagonals, scanned from bottom-left to top-right; lines start in column 0 or the bottom
// row. The anti-diagonal through (i, j) is numbered i + j and ends in the top row or the right
// column.
void antiDiagonalVotes(const Grid& g) {
  const std::size_t m = g.m;
  std::fill(g.pColumn(0), g.pColumn(0) + m, Byte{0});
  for (std::size_t j = 1; j < g.n; ++j) {
    const Byte* before = g.imageColumn(j - 1);
    const Byte* here = g.imageColumn(j);
    const Byte* pBefore = g.pColumn(j - 1);
    Byte* p = g.pColumn(j);
    Byte* out = g.countColumn(j);
    // Down-left ray: the rises strictly before (i, j), P(i+1, j-1).
    for (std::size_t i = 0; i + 1 < m; ++i) {
      p[i] = static_cast<Byte>(pBefore[i + 1] + rise(before[i + 1], here[i]));
      out[i] = static_cast<Byte>(out[i] + (pBefore[i + 1] & 1));
    }
    p[m - 1] = 0;
  }
  // Last pixels: the top row (anti-diagonal j) and the right column (anti-diagonal i+N-1).
  for (std::size_t j = 0; j < g.n; ++j)
    g.lineEnd[j] = g.pColumn(j)[0];
  const Byte* right = g.pColumn(g.n - 1);
  for (std::size_t i = 0; i < m; ++i)
    g.lineEnd[i + g.n - 1] = right[i];
  // Up-right ray for i >= 1, j <= N-2: P(e) - P(i, j).
  for (std::size_t j = 0; j + 1 < g.n; ++j) {
    const Byte* p = g.pColumn(j);
    const Byte* end = g.lineEnd + j;  // end[i] belongs to the anti-diagonal of (i, j)
    Byte* out = g.countColumn(j);
    for (std::size_t i = 1; i < m; ++i)
      out[i] = static_cast<Byte>(out[i] + ((end[i] ^ p[i]) & 1));
  }
}

}  // namespace

void crossingCounts(const std::uint8_t* image, int m, int n, std::uint8_t* counts) {
  assert(m >= 0 && m <= kMaxSide && n >= 0 && n <= kMaxSide);
  if (m <= 0 || n <= 0) return;  // no line holds a pixel
  const std::size_t rows = static_cast<std::size_t>(m);
  const std::size_t cols = static_cast<std::size_t>(n);
  std::vector<Byte> buffer(rows * cols);
  std::vector<Byte> lineEnd(rows + cols - 1);
  const Grid g{image, counts, buffer.data(), lineEnd.data(), rows, cols};
  // One buffer serves the families in turn: each family votes before the next overwrites it.
  rowVotes(g);
  columnVotes(g);
  diagonalVotes(g);
  antiDiagonalVotes(g);
}

void printRows(Printer print, const char* name, const std::uint8_t* const* rows, std::int16_t m,
               std::int16_t n) {
  print("%s\n", name);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j)
      print("%i ", static_cast<int>(rows[i][j]));
    print("\n");
  }
  print("\n");
}

}  // namespace crossing

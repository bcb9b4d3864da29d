// Eight-ray parity votes of an 8-bit image: for every pixel, the number of straight rays
// (left, right, up, down and the four diagonals) along which the image rises an odd number
// of times.
#ifndef MOTIONSEG_CROSSING_CROSSING_COUNTS_H
#define MOTIONSEG_CROSSING_CROSSING_COUNTS_H

#include <cstdint>

namespace crossing {

/// Largest number of rows, and of columns, an image may have (sizes are held in 16 bits).
constexpr int kMaxSide = 32767;

/// Adds to counts (M-by-N, column-major, zero on entry) the eight-ray parity votes of image
/// (M-by-N, column-major). A step p -> q along a line is a rise when image(p) < image(q).
///
/// Each pixel is visited a fixed number of times whatever the content, and the working memory
/// is one byte per pixel plus M + N bytes. Requires 0 <= m, n <= kMaxSide; an empty image adds
/// nothing. Throws std::bad_alloc when the working buffer cannot be allocated.
void crossingCounts(const std::uint8_t* image, int m, int n, std::uint8_t* counts);

/// Signature of a printf-like printer such as the host's print function.
using Printer = int (*)(const char* format, ...);

/// Prints a buffer of m rows of n byte counters through print: the name and a line feed, then
/// each row as its values each followed by a blank, a line feed after each row, and one more
/// line feed at the end.
void printRows(Printer print, const char* name, const std::uint8_t* const* rows, std::int16_t m,
               std::int16_t n);

}  // namespace crossing

#endif  // MOTIONSEG_CROSSING_CROSSING_COUNTS_H

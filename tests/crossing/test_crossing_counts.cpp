// The crossing-count core against a brute-force ray walk and against hand-checked images, and
// the diagnostic buffer print.
#include "crossing/crossing_counts.h"
#include "tests/crossing/ray_oracle.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> run(const oracle::Image& im) {
  std::vector<std::uint8_t> out(im.v.size(), 0);
  crossing::crossingCounts(im.v.data(), im.m, im.n, out.data());
  return out;
}

oracle::Image zeros(int m, int n) {
  return {m, n, std::vector<std::uint8_t>(static_cast<std::size_t>(m) * n, 0)};
}

void set(oracle::Image& im, int i, int j, std::uint8_t value) {
  im.v[static_cast<std::size_t>(i + j * im.m)] = value;
}

TEST(CrossingCounts, MatchesRayWalkOnRandomImages) {
  std::mt19937 rng(11);
  const int sides[][2] = {{1, 1}, {1, 7},  {7, 1},  {2, 2},   {2, 9},  {9, 2},
                          {5, 5}, {6, 13}, {13, 6}, {17, 17}, {3, 40}, {40, 3}};
  for (const auto& s : sides) {
    for (int levels : {2, 3, 256}) {
      const oracle::Image im = oracle::random(rng, s[0], s[1], levels);
      EXPECT_EQ(run(im), oracle::votes(im)) << s[0] << "x" << s[1] << ", " << levels << " levels";
    }
  }
}

TEST(CrossingCounts, ParityHoldsPastTwoHundredFiftyFiveRises) {
  // One row and one column of alternating 0 and 1: 300 rises along the line, so 8-bit
  // counters wrap, and each line end sees an even count while its neighbour sees an odd one.
  for (const auto& s : {std::pair<int, int>{1, 601}, std::pair<int, int>{601, 1}}) {
    oracle::Image im = zeros(s.first, s.second);
    for (std::size_t k = 0; k < im.v.size(); ++k)
      im.v[k] = static_cast<std::uint8_t>(k % 2);
    EXPECT_EQ(run(im), oracle::votes(im));
  }
  std::mt19937 rng(3);
  const oracle::Image square = oracle::random(rng, 300, 300, 2);
  EXPECT_EQ(run(square), oracle::votes(square));
}

TEST(CrossingCounts, ImageWithoutRisesGivesZeros) {
  oracle::Image constant = zeros(4, 6);
  for (auto& x : constant.v)
    x = 200;
  // Non-increasing in every scan direction: values fall to the right and downward, and
  // rise nowhere along the up-right scan because they are largest at the top-left.
  oracle::Image falling = zeros(5, 5);
  for (int j = 0; j < 5; ++j) {
    for (int i = 0; i < 5; ++i)
      set(falling, i, j, static_cast<std::uint8_t>(100 - 10 * (i + j)));
  }
  // Up-right scan steps from (i+1, j-1) to (i, j): same i + j, so equal values.
  for (const oracle::Image* im : {&constant, &falling}) {
    EXPECT_EQ(run(*im), std::vector<std::uint8_t>(im->v.size(), 0));
  }
}

TEST(CrossingCounts, SingleInteriorPixelVotesAlongItsFourLines) {
  const int m = 6, n = 8, pi = 2, pj = 3;
  oracle::Image im = zeros(m, n);
  set(im, pi, pj, 1);
  const std::vector<std::uint8_t> out = run(im);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i) {
      const bool onLine = i == pi || j == pj || i - j == pi - pj || i + j == pi + pj;
      const int expected = (i == pi && j == pj) ? 0 : (onLine ? 1 : 0);
      EXPECT_EQ(out[static_cast<std::size_t>(i + j * m)], expected) << "at " << i << "," << j;
    }
  }
}

TEST(CrossingCounts, InsideOfClosedOutlineScoresEight) {
  // Outline of 1s on rows 1..5 and columns 2..7 of a 7-by-10 image.
  const int m = 7, n = 10;
  oracle::Image im = zeros(m, n);
  for (int j = 2; j <= 7; ++j) {
    set(im, 1, j, 1);
    set(im, 5, j, 1);
  }
  for (int i = 1; i <= 5; ++i) {
    set(im, i, 2, 1);
    set(im, i, 7, 1);
  }
  const std::vector<std::uint8_t> out = run(im);
  for (int j = 3; j <= 6; ++j) {
    for (int i = 2; i <= 4; ++i)
      EXPECT_EQ(out[static_cast<std::size_t>(i + j * m)], 8);
  }
  EXPECT_EQ(out, oracle::votes(im));
}

TEST(CrossingCounts, FirstPixelOfARowHasNoEnteringRise) {
  // A 1 in column 0 of a single row: no step enters it, so no pixel of the row sees a rise;
  // only the falling step leaves it.
  oracle::Image im = zeros(1, 5);
  set(im, 0, 0, 1);
  EXPECT_EQ(run(im), std::vector<std::uint8_t>(5, 0));
  // The same value in column 1 is entered by a rise: the pixel before it votes right, and the
  // pixels after it vote left.
  oracle::Image shifted = zeros(1, 5);
  set(shifted, 0, 1, 1);
  EXPECT_EQ(run(shifted), (std::vector<std::uint8_t>{1, 0, 1, 1, 1}));
}

// A printf-like sink for the print routine.
std::string printed;
int capture(const char* format, ...) {
  char text[64];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  printed += text;
  return n;
}

TEST(PrintRows, PrintsNameRowsAndTrailingBlankLine) {
  const std::uint8_t row0[] = {0, 255, 7};
  const std::uint8_t row1[] = {12, 1, 0};
  const std::uint8_t* rows[] = {row0, row1};
  struct Case {
    std::int16_t m, n;
    std::string expected;
  };
  const Case cases[] = {
      {2, 3, "P\n0 255 7 \n12 1 0 \n\n"},
      {1, 2, "P\n0 255 \n\n"},
      {0, 3, "P\n\n"},
      {2, 0, "P\n\n\n\n"},
  };
  for (const Case& c : cases) {
    printed.clear();
    crossing::printRows(&capture, "P", rows, c.m, c.n);
    EXPECT_EQ(printed, c.expected) << c.m << "x" << c.n;
  }
}

}  // namespace

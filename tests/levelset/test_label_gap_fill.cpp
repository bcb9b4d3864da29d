// labelGapFill through the standalone host: the neighbour priority, the warnings and their
// raster order, and the documented checks in their order.
#include "levelset_support.h"

#include <cstdint>
#include <string>

namespace {

using host::Array;
using levelsettest::callWith;

Array labels(mwSize m, mwSize n, const std::vector<std::uint16_t>& v) {
  return host::make<std::uint16_t>({m, n}, v);
}

std::string warning(int i, int j) {
  return "Warning: point (" + std::to_string(i) + "," + std::to_string(j) +
         ") could not be filled in - all neighbours are unlabeled";
}

TEST(LabelGapFill, FillsByPriorityAndWarnsInRasterOrder) {
  struct Case {
    const char* what;
    mwSize m, n;
    std::vector<std::uint16_t> in, out;
    std::string printed;
  };
  const Case cases[] = {
      {"no gaps, touching labels", 2, 2, {1, 2, 3, 4}, {1, 2, 3, 4}, ""},
      {"a gap inside label 5", 3, 3, {5, 5, 5, 5, 0, 5, 5, 5, 5}, {5, 5, 5, 5, 5, 5, 5, 5, 5}, ""},
      // Column-major 3-by-2: the gap at (1, 1) has 0 above, 4 on its left and 9 below.
      {"below before left", 3, 2, {1, 4, 2, 0, 0, 9}, {1, 4, 2, 1, 9, 9}, ""},
      {"above before below", 3, 1, {3, 0, 7}, {3, 3, 7}, ""},
      {"filled pixels feed nothing",
       4,
       1,
       {5, 0, 0, 0},
       {5, 5, 0, 0},
       warning(2, 0) + warning(3, 0)},
      {"all unlabelled, row by row",
       2,
       2,
       {0, 0, 0, 0},
       {0, 0, 0, 0},
       warning(0, 0) + warning(0, 1) + warning(1, 0) + warning(1, 1)},
      {"empty map", 0, 0, {}, {}, ""},
  };
  for (const Case& c : cases) {
    const host::CallResult r = callWith(1, labels(c.m, c.n, c.in));
    ASSERT_FALSE(r.failed) << c.what << ": " << r.error;
    EXPECT_TRUE(r.inputsUnchanged) << c.what;
    EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{c.m, c.n})) << c.what;
    EXPECT_EQ(host::values<std::uint16_t>(r.outputs[0].get()), c.out) << c.what;
    EXPECT_EQ(r.printed, c.printed) << c.what;
  }
}

// Past the first 100 warnings one line says how many more there were; exactly 100 unfilled
// pixels print no such line. The 100 shown are the first in raster order.
TEST(LabelGapFill, WarnsAboutTheFirstHundredAndCountsTheRest) {
  for (const mwSize n : {100, 150}) {
    const host::CallResult r = callWith(1, labels(1, n, std::vector<std::uint16_t>(n, 0)));
    ASSERT_FALSE(r.failed) << r.error;
    std::string expected;
    for (int j = 0; j < 100; ++j)
      expected += warning(0, j);
    if (n == 150) {
      expected +=
          "\nWarning: 50 more points could not be filled in - all neighbours are "
          "unlabeled\n";
    }
    EXPECT_EQ(r.printed, expected) << n;
    EXPECT_EQ(host::values<std::uint16_t>(r.outputs[0].get()), std::vector<std::uint16_t>(n, 0));
  }
}

// The centre of a 3-by-3 map whose neighbours all carry different labels takes them in the
// order above, below, left, right, above-left, above-right, below-left, below-right, as the
// neighbours before it are removed one by one.
TEST(LabelGapFill, NeighbourPriority) {
  const int order[8][2] = {{0, 1}, {2, 1}, {1, 0}, {1, 2}, {0, 0}, {0, 2}, {2, 0}, {2, 2}};
  std::vector<std::uint16_t> map(9, 0);
  for (int k = 0; k < 8; ++k)
    map[order[k][0] + 3 * order[k][1]] = std::uint16_t(10 + k);
  for (int k = 0; k < 8; ++k) {
    const host::CallResult r = callWith(0, labels(3, 3, map));
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(host::values<std::uint16_t>(r.outputs[0].get())[4], 10 + k);
    map[order[k][0] + 3 * order[k][1]] = 0;
  }
}

TEST(LabelGapFill, DocumentedChecksInOrder) {
  auto map = [] { return labels(2, 2, {1, 0, 0, 1}); };
  const levelsettest::Refusal cases[] = {
      {"no input", [] { return host::call(1, {}); }, "Invalid number of input arguments"},
      {"two inputs of another class",
       [&] {
         return callWith(1, host::make(mxUINT8_CLASS, {2, 2}), map());
       },
       "Invalid number of input arguments"},
      {"uint32 map and two outputs",
       [] {
         return callWith(2, host::make(mxUINT32_CLASS, {2, 2}));
       },
       "Input matrix must be of type uint16"},
      {"two outputs of a 3-D map",
       [] {
         return callWith(2, host::make(mxUINT16_CLASS, {2, 2, 2}));
       },
       "Invalid number of output arguments"},
      {"3-D map",
       [] {
         return callWith(1, host::make(mxUINT16_CLASS, {2, 2, 2}));
       },
       "Input matrix must be 2-dimensional"},
  };
  for (const auto& c : cases)
    levelsettest::expectRefusal(c);
}

}  // namespace

// edgeTrim through the standalone host: hand-drawn maps (including the pixels the single
// sweeps cannot reach), a flood-fill bound on random maps, empty shapes, the documented checks
// in their order and the refusal of a mask smaller than the map.
#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using host::Array;

// A map drawn as rows of text, '#' for true; column-major like the host's arrays.
struct Picture {
  mwSize h = 0, w = 0;
  std::vector<bool> bits;
};

Picture draw(const std::vector<std::string>& rows) {
  Picture p{
      static_cast<mwSize>(rows.size()), static_cast<mwSize>(rows.empty() ? 0 : rows[0].size()), {}};
  p.bits.assign(static_cast<std::size_t>(p.h * p.w), false);
  for (mwSize y = 0; y < p.h; ++y) {
    for (mwSize x = 0; x < p.w; ++x)
      p.bits[y + x * p.h] = rows[y][x] == '#';
  }
  return p;
}

Array logical(const Picture& p) {
  return host::make<bool>({p.h, p.w}, p.bits);
}

// The cleaned map of edges (with the mask when given); fails the test on an error.
std::vector<bool> trim(const Picture& edges, const Picture* mask = nullptr) {
  const Array e = logical(edges);
  const Array m = mask ? logical(*mask) : nullptr;
  const host::CallResult r = mask ? host::call(1, {e.get(), m.get()}) : host::call(1, {e.get()});
  EXPECT_FALSE(r.failed) << r.error;
  EXPECT_TRUE(r.inputsUnchanged);
  if (r.failed) return {};
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{edges.h, edges.w}));
  return host::values<bool>(r.outputs[0].get());
}

TEST(EdgeTrim, SingleSweepsLeaveThePixelTheyCannotReach) {
  // Row 1 from the border, down column 4, back along row 5 and up column 2: each sweep runs
  // once, so only (5, 2) keeps its place.
  const Picture e =
      draw({".......", "#####..", "....#..", "..#.#..", "..#.#..", "..###..", "......."});
  EXPECT_EQ(
      trim(e),
      draw({".......", ".......", ".......", ".......", ".......", "..#....", "......."}).bits);
}

TEST(EdgeTrim, RingIsKeptUnlessTheMaskTouchesIt) {
  const Picture ring = draw({"......", ".####.", ".#..#.", ".#..#.", ".####.", "......"});
  EXPECT_EQ(trim(ring), ring.bits);
  const std::vector<bool> none(36, false);
  for (mwSize p = 0; p < 36; ++p) {
    Picture mask{6, 6, std::vector<bool>(36, false)};
    mask.bits[p] = true;
    // A mask pixel on the ring removes all of it; one off the ring changes nothing.
    EXPECT_EQ(trim(ring, &mask), ring.bits[p] ? none : ring.bits) << "mask at " << p;
  }
}

TEST(EdgeTrim, LinesFromTheBorderAreRemoved) {
  const std::vector<std::vector<std::string>> maps = {
      {"..........", "#######...", "..........", ".........."},                // from the left
      {"..........", "..........", "...#######", ".........."},                // from the right
      {"..#.......", "..#.......", "..#.......", "..........", ".........."},  // from the top
      {"..........", "......#...", "......#...", "......#..."},                // from the bottom
      {"#.........", ".#........", "..#.......", "...#......", "..........", ".........."},
      {"..........", ".........#", "........#.", ".......#..", "......#...", ".........."},
      {"..........", "..#.......", "..#.......", "..#.......", "..#.......", ".........."},
  };
  for (std::size_t i = 0; i + 1 < maps.size(); ++i) {
    EXPECT_EQ(trim(draw(maps[i])), std::vector<bool>(maps[i].size() * 10, false)) << "map " << i;
  }
  // The last one touches no border and is kept.
  EXPECT_EQ(trim(draw(maps.back())), draw(maps.back()).bits);
}

TEST(EdgeTrim, OuterRowsAndColumnsAreAlwaysRemoved) {
  std::mt19937 rng(1);
  for (const auto& size : std::vector<std::pair<mwSize, mwSize>>{{1, 9}, {9, 1}, {1, 1}, {5, 7}}) {
    Picture e{size.first, size.second, {}};
    for (mwSize p = 0; p < e.h * e.w; ++p)
      e.bits.push_back(rng() % 2 == 0);
    const std::vector<bool> out = trim(e);
    for (mwSize y = 0; y < e.h; ++y) {
      for (mwSize x = 0; x < e.w; ++x) {
        if (y == 0 || x == 0 || y == e.h - 1 || x == e.w - 1) {
          EXPECT_FALSE(out[y + x * e.h]) << e.h << "-by-" << e.w << " at " << y << "," << x;
        }
      }
    }
  }
}

// Boundary pixels 8-connected through boundary pixels to the border or to a masked one.
std::vector<bool> floodFill(const Picture& e, const std::vector<bool>& mask) {
  const long h = static_cast<long>(e.h), w = static_cast<long>(e.w);
  std::vector<bool> seen(e.bits.size(), false);
  std::deque<long> queue;
  for (long p = 0; p < h * w; ++p) {
    const long y = p % h, x = p / h;
    const bool seed = y == 0 || x == 0 || y == h - 1 || x == w - 1 || mask[p];
    if (e.bits[p] && seed) {
      seen[p] = true;
      queue.push_back(p);
    }
  }
  while (!queue.empty()) {
    const long p = queue.front();
    queue.pop_front();
    for (long dy = -1; dy <= 1; ++dy) {
      for (long dx = -1; dx <= 1; ++dx) {
        const long y = p % h + dy, x = p / h + dx;
        if (y < 0 || x < 0 || y >= h || x >= w || !e.bits[y + x * h] || seen[y + x * h]) continue;
        seen[y + x * h] = true;
        queue.push_back(y + x * h);
      }
    }
  }
  return seen;
}

TEST(EdgeTrim, RemovesOnlyConnectedBoundaryPixelsOnRandomMaps) {
  std::mt19937 rng(9);
  for (int trial = 0; trial < 40; ++trial) {
    Picture e{static_cast<mwSize>(3 + rng() % 20), static_cast<mwSize>(3 + rng() % 20), {}};
    Picture mask{e.h, e.w, {}};
    for (mwSize p = 0; p < e.h * e.w; ++p) {
      e.bits.push_back(rng() % 100 < 45);
      mask.bits.push_back(trial % 2 == 1 && rng() % 100 < 3);
    }
    const std::vector<bool> out = trial % 2 == 1 ? trim(e, &mask) : trim(e);
    const std::vector<bool> reach = floodFill(e, mask.bits);
    for (std::size_t p = 0; p < e.bits.size(); ++p) {
      // Kept pixels are boundary pixels; a removed boundary pixel is reachable from a seed.
      const bool kept = out[p], edge = e.bits[p];
      EXPECT_TRUE(!kept || edge) << "trial " << trial << " at " << p;
      EXPECT_TRUE(!edge || reach[p] || kept) << "trial " << trial << " at " << p;
    }
  }
}

TEST(EdgeTrim, EmptyShapesAndLargerMasks) {
  for (const auto& size : std::vector<std::vector<mwSize>>{{0, 5}, {5, 0}, {0, 0}}) {
    const Array e = host::make(mxLOGICAL_CLASS, size);
    const Array m = host::make(mxLOGICAL_CLASS, {0, 0});
    const host::CallResult r = host::call(1, {e.get(), m.get()});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(host::dims(r.outputs[0].get()), size);
    EXPECT_EQ(mxGetClassID(r.outputs[0].get()), mxLOGICAL_CLASS);
  }
  // A mask with more elements is read at the map's linear indices: element 4 is (1, 1).
  const Picture ring = draw({".....", ".###.", ".#.#.", ".###.", "....."});
  Picture wide{1, 30, std::vector<bool>(30, false)};
  wide.bits[6] = true;
  EXPECT_EQ(trim(ring, &wide), std::vector<bool>(25, false));
  wide.bits[6] = false;
  wide.bits[25] = true;  // beyond the map: never read
  EXPECT_EQ(trim(ring, &wide), ring.bits);
}

using ErrorCase = plugintest::CallCase;

class EdgeTrimErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(EdgeTrimErrors, ReportsItsText) {
  plugintest::expectFailure(GetParam());
}

host::CallResult callWith(Array e, Array m, int nlhs = 1) {
  return host::call(nlhs, {e.get(), m.get()});
}
Array edges() {
  return host::make(mxLOGICAL_CLASS, {2, 2});
}

INSTANTIATE_TEST_SUITE_P(
    Checks, EdgeTrimErrors,
    ::testing::Values(ErrorCase{"no input", [] { return host::call(1, {}); },
                                "Invalid number of input arguments"},
                      ErrorCase{"three inputs",
                                [] {
                                  const Array e = edges();
                                  return host::call(1, {e.get(), e.get(), e.get()});
                                },
                                "Invalid number of input arguments"},
                      ErrorCase{"double input before a uint8 mask",
                                [] {
                                  return callWith(host::make(mxDOUBLE_CLASS, {2, 2}),
                                                  host::make(mxUINT8_CLASS, {2, 2}));
                                },
                                "Input matrix must be of type logical"},
                      ErrorCase{"uint8 mask, two outputs: classes come first",
                                [] {
                                  return callWith(edges(), host::make(mxUINT8_CLASS, {2, 2}), 2);
                                },
                                "Mask must be of type logical"},
                      ErrorCase{"two outputs, 3-D input: outputs come before ranks",
                                [] {
                                  const Array e = host::make(mxLOGICAL_CLASS, {2, 2, 2});
                                  return host::call(2, {e.get()});
                                },
                                "Invalid number of output arguments"},
                      ErrorCase{"3-D input before a 3-D mask",
                                [] {
                                  return callWith(host::make(mxLOGICAL_CLASS, {2, 2, 2}),
                                                  host::make(mxLOGICAL_CLASS, {2, 2, 2}));
                                },
                                "Input matrix must be 2-dimensional"},
                      ErrorCase{"3-D mask",
                                [] {
                                  return callWith(edges(), host::make(mxLOGICAL_CLASS, {1, 2, 2}));
                                },
                                "Mask must be 2-dimensional"},
                      ErrorCase{"input beyond 32-bit rows",
                                [] {
                                  const Array e = host::make(mxLOGICAL_CLASS, {mwSize{1} << 31, 0});
                                  return host::call(1, {e.get()});
                                },
                                "Input matrix has too many rows."},
                      ErrorCase{"mask smaller than the map",
                                [] {
                                  return callWith(edges(), host::make(mxLOGICAL_CLASS, {1, 3}));
                                },
                                "Mask has 3 elements but the 2-by-2 input matrix has 4."},
                      ErrorCase{"empty mask",
                                [] {
                                  return callWith(edges(), host::make(mxLOGICAL_CLASS, {0, 0}));
                                },
                                "Mask has 0 elements but the 2-by-2 input matrix has 4."}));

// A sparse map or mask (whose data hold only the nonzero elements) is refused, not read as full.
TEST(EdgeTrimSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<bool> ring(36);
  for (std::size_t p = 0; p < 36; ++p) {
    const std::size_t y = p % 6, x = p / 6;
    ring[p] = (y == 1 || y == 4 || x == 1 || x == 4) && y >= 1 && y <= 4 && x >= 1 && x <= 4;
  }
  const host::Array edges = host::make<bool>({6, 6}, ring);
  const host::Array mask = host::make(mxLOGICAL_CLASS, {6, 6});
  EXPECT_EQ(plugintest::expectSparseRefused("edgeTrim", 1, {edges.get(), mask.get()}), 2);
}

}  // namespace

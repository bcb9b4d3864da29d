// The working arena of the containers' arrays: blocks that never overlap and keep their
// contents, freed room that serves later requests, chunks released when nobody holds the
// arena, and the containers' arrays carved from it while it is open.
#include "flow/containers/CTensor.h"
#include "flow/containers/array_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace {

using flowdetail::ArrayArena;

struct Live {
  unsigned char* p;
  std::size_t bytes;
  unsigned char tag;
};

// Every live block holds its own tag in every byte: a block that overlapped another or lost
// its contents shows as a wrong byte.
void expectIntact(const Live& b) {
  for (std::size_t i = 0; i < b.bytes; ++i) {
    if (b.p[i] != b.tag) {
      ADD_FAILURE() << "byte " << i << " of a block of " << b.bytes << " changed";
      return;
    }
  }
}

// Random requests and releases, checked against a model of what is live: aligned blocks of
// at least the size asked, pairwise disjoint, contents kept until released, room within
// what the arena reports, and nothing held once everything is back and the arena closed.
TEST(ArrayArena, RandomRequestsGiveDisjointBlocksThatKeepTheirContents) {
  const struct {
    unsigned seed;
    std::size_t largest;
    int steps;
  } cases[] = {{1, 1 << 16, 400}, {2, 1 << 20, 300}, {3, 3 << 20, 200}, {4, 4097, 500}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seed);
    ArrayArena arena;
    arena.open();
    std::mt19937 random(c.seed);
    std::vector<Live> live;
    unsigned char tag = 0;
    for (int step = 0; step < c.steps; ++step) {
      if (!live.empty() && random() % 5 < 2) {
        const std::size_t k = random() % live.size();
        expectIntact(live[k]);
        EXPECT_TRUE(arena.give(live[k].p));
        live.erase(live.begin() + static_cast<std::ptrdiff_t>(k));
        continue;
      }
      const std::size_t bytes = 1 + random() % c.largest;
      auto* p = static_cast<unsigned char*>(arena.take(bytes));
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % ArrayArena::kBlockBytes, 0u);
      for (const Live& other : live) {
        EXPECT_TRUE(p + bytes <= other.p || other.p + other.bytes <= p) << "blocks overlap";
      }
      ++tag;
      std::memset(p, tag, bytes);
      live.push_back({p, bytes, tag});
      std::size_t liveBytes = 0;
      for (const Live& b : live)
        liveBytes += b.bytes;
      EXPECT_GE(arena.liveBytes(), liveBytes);
      EXPECT_GE(arena.reservedBytes(), arena.liveBytes());
    }
    for (const Live& b : live) {
      expectIntact(b);
      EXPECT_TRUE(arena.give(b.p));
    }
    EXPECT_EQ(arena.liveBytes(), 0u);
    arena.close();
    EXPECT_EQ(arena.reservedBytes(), 0u);
  }
}

TEST(ArrayArena, FreedRoomServesTheNextRequestsAndMergesWithItsNeighbours) {
  ArrayArena arena;
  EXPECT_EQ(arena.take(1 << 20), nullptr) << "a closed arena gives nothing";
  arena.open();
  const std::size_t mb = std::size_t{1} << 20;
  void* a = arena.take(mb);
  ASSERT_TRUE(arena.give(a));
  // The same room again, twice in a row: nothing new from the system.
  void* b = arena.take(mb / 2);
  void* c = arena.take(mb / 2);
  EXPECT_EQ(b, a);
  EXPECT_EQ(arena.reservedBytes(), mb);
  // Both halves back: merged, they hold the whole megabyte again.
  EXPECT_TRUE(arena.give(c));
  EXPECT_TRUE(arena.give(b));
  void* d = arena.take(mb);
  EXPECT_EQ(d, a);
  EXPECT_EQ(arena.reservedBytes(), mb);
  // A request no free range holds: the empty chunk goes back before a new one is taken.
  EXPECT_TRUE(arena.give(d));
  void* e = arena.take(2 * mb);
  EXPECT_EQ(arena.reservedBytes(), 2 * mb);
  // Memory the arena did not give is not taken back.
  int local = 0;
  EXPECT_FALSE(arena.give(&local));
  // A block live when the last user leaves keeps its chunk until it is given back.
  arena.close();
  EXPECT_EQ(arena.reservedBytes(), 2 * mb);
  EXPECT_EQ(arena.take(mb), nullptr);
  EXPECT_TRUE(arena.give(e));
  EXPECT_EQ(arena.reservedBytes(), 0u);
}

#if !defined(__SANITIZE_ADDRESS__)
// The containers' large arrays come from the process's arena while it is open, and from the
// allocator otherwise; the values are the same either way.
TEST(ArrayArena, ContainersCarveTheirArraysFromTheOpenArena) {
  flowdetail::ArrayArena& arena = flowdetail::workingArena();
  const std::size_t before = arena.liveBytes();
  CTensor<float> outside(300, 200, 3, 1.5f);
  EXPECT_EQ(arena.liveBytes(), before);
  {
    const flowdetail::ArenaUse use;
    CTensor<float> inside(outside);
    EXPECT_GE(arena.liveBytes(), before + sizeof(float) * 300 * 200 * 3);
    EXPECT_EQ(std::memcmp(inside.data(), outside.data(), sizeof(float) * 300 * 200 * 3), 0);
    const std::size_t withInside = arena.liveBytes();
    CTensor<float> small(10, 10, 1, 0.0f);
    EXPECT_EQ(arena.liveBytes(), withInside) << "small arrays stay with the allocator";
  }
  EXPECT_EQ(arena.liveBytes(), before);
}
#endif

}  // namespace

#include "common/blockarena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

bool Aligned(const void* p, uintptr_t to) { return reinterpret_cast<uintptr_t>(p) % to == 0; }

TEST(BlockArena, BlocksFollowEachOtherAndATrimGivesBackOnlyTheLastBlocksTail) {
  CBlockArena arena;
  auto* a = static_cast<unsigned char*>(arena.pAlloc(1000));
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(Aligned(a, uintptr_t{2} << 20));
  auto* b = static_cast<unsigned char*>(arena.pAlloc(100));
  EXPECT_EQ(b, a + 1008);
  arena.Trim(a, 10);  // not the last block: nothing moves
  EXPECT_EQ(arena.pAlloc(16), b + 112);
  auto* c = static_cast<unsigned char*>(arena.pAlloc(5000));
  arena.Trim(c, 33);
  EXPECT_EQ(arena.pAlloc(1), c + 48);
  memset(a, 0xAB, 1000);
  EXPECT_TRUE(arena.bOwns(a) && arena.bOwns(c + 40));
  int local = 0;
  EXPECT_FALSE(arena.bOwns(&local));
}

TEST(BlockArena, ASlabThatCannotTakeTheBlockGivesWayToANewOne) {
  CBlockArena arena;
  const size_t big = CBlockArena::kSlabBytes - 64;
  void* first = arena.pAlloc(big);
  void* second = arena.pAlloc(128);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(Aligned(second, uintptr_t{2} << 20));
  EXPECT_NE(second, static_cast<unsigned char*>(first) + big);
  EXPECT_EQ(arena.pAlloc(CBlockArena::kSlabBytes + 1), nullptr);
  EXPECT_EQ(arena.pAlloc(0), nullptr);
  arena.Free();
  EXPECT_FALSE(arena.bOwns(first));
  EXPECT_NE(arena.pAlloc(64), nullptr);
}

}  // namespace

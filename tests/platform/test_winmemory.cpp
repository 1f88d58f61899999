// Memory blocks keep their contents when they grow, MulDiv rounds on a 64-bit product, rectangle
// arithmetic, the Latin-1 alphanumeric table.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/winmemory.h"

namespace {

TEST(MulDiv, RoundsHalvesAwayFromZeroAndRefusesResultsBeyond32Bits) {
  const int rows[][4] = {
      {7, 3, 2, 11},           {-7, 3, 2, -11},       {7, -3, -2, 11},           {1, 1, 0, -1},
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX},            {INT_MIN, INT_MAX, INT_MAX, INT_MIN},
      {INT_MAX, 2, 2, INT_MAX}, {INT_MAX, 2, 1, -1},  {INT_MIN, 1, -1, -1},      {INT_MIN, -1, 1, -1},
      {65536, 65536, 65536, 65536},                    {5, 1, 2, 3},              {-5, 1, 2, -3},
  };
  for (const auto& r : rows) EXPECT_EQ(MulDiv(r[0], r[1], r[2]), r[3]) << r[0] << " " << r[1] << " " << r[2];
}

bool bAll(const void* p, size_t n, unsigned char value) {
  return std::vector<unsigned char>(static_cast<const unsigned char*>(p), static_cast<const unsigned char*>(p) + n) ==
         std::vector<unsigned char>(n, value);
}

TEST(MemoryBlocks, GrowthKeepsContentsAndZeroesOnlyTheNewBytes) {
  auto* heap = static_cast<unsigned char*>(HeapAlloc(nullptr, 8, 8));
  ASSERT_TRUE(heap != nullptr && reinterpret_cast<uintptr_t>(heap) % 16 == 0 && bAll(heap, 8, 0));
  memset(heap, 0xAB, 8);
  heap = static_cast<unsigned char*>(HeapReAlloc(nullptr, 8, heap, 4096));
  ASSERT_NE(heap, nullptr);
  EXPECT_TRUE(bAll(heap, 8, 0xAB) && bAll(heap + 8, 4088, 0));
  EXPECT_TRUE(HeapFree(nullptr, 0, heap));
  auto* global = static_cast<unsigned char*>(GlobalAlloc(0, 16));
  memset(global, 0xCD, 16);
  EXPECT_EQ(GlobalReAlloc(global, 1 << 20, 0x80), global);
  global = static_cast<unsigned char*>(GlobalReAlloc(global, 1 << 20, 0x40));
  ASSERT_NE(global, nullptr);
  EXPECT_TRUE(bAll(global, 16, 0xCD) && bAll(global + 16, (1 << 20) - 16, 0));
  global = static_cast<unsigned char*>(GlobalReAlloc(global, 4, 0));
  EXPECT_TRUE(bAll(global, 4, 0xCD));
  EXPECT_EQ(GlobalFree(global), nullptr);
  EXPECT_EQ(HeapAlloc(nullptr, 0, SIZE_MAX), nullptr);
  unsigned int thrown = 0;
  try {
    HeapAlloc(nullptr, 4, SIZE_MAX - 8);
  } catch (unsigned int code) {
    thrown = code;
  }
  EXPECT_EQ(thrown, 0xC0000017u);
}

TEST(Rectangles, Operations) {
  const tagRECT a{0, 0, 10, 10};
  struct Row {
    tagRECT b;
    BOOL sub;
    tagRECT subtracted;
    BOOL inter;
    tagRECT intersection, uni;
  } rows[] = {
      {{0, 0, 10, 4}, TRUE, {0, 4, 10, 10}, TRUE, {0, 0, 10, 4}, {0, 0, 10, 10}},
      {{0, 6, 10, 12}, TRUE, {0, 0, 10, 6}, TRUE, {0, 6, 10, 10}, {0, 0, 10, 12}},
      {{-5, -1, 3, 11}, TRUE, {3, 0, 10, 10}, TRUE, {0, 0, 3, 10}, {-5, -1, 10, 11}},
      {{2, 2, 4, 4}, TRUE, {0, 0, 10, 10}, TRUE, {2, 2, 4, 4}, {0, 0, 10, 10}},
      {{-1, -1, 11, 11}, FALSE, {0, 0, 0, 0}, TRUE, {0, 0, 10, 10}, {-1, -1, 11, 11}},
      {{10, 0, 20, 10}, TRUE, {0, 0, 10, 10}, FALSE, {0, 0, 0, 0}, {0, 0, 20, 10}},
      {{5, 5, 5, 9}, TRUE, {0, 0, 10, 10}, FALSE, {0, 0, 0, 0}, {0, 0, 10, 10}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.b.left << "," << r.b.top << "," << r.b.right << "," << r.b.bottom);
    tagRECT out{9, 9, 9, 9};
    EXPECT_TRUE(SubtractRect(&out, &a, &r.b) == r.sub && EqualRect(&out, &r.subtracted)) << "subtract";
    EXPECT_TRUE(IntersectRect(&out, &a, &r.b) == r.inter && EqualRect(&out, &r.intersection)) << "intersect";
    EXPECT_TRUE(UnionRect(&out, &a, &r.b) && EqualRect(&out, &r.uni)) << "union";
  }
  EXPECT_TRUE(PtInRect(&a, {0, 0}) && !PtInRect(&a, {10, 5}));
  tagRECT r = a;
  EXPECT_TRUE(IsRectEmpty(SetRectEmpty(&r)));
  EXPECT_FALSE(UnionRect(&r, &r, &r));
}

TEST(CharAlphaNumeric, Latin1Table) {
  const unsigned char extra[] = {0x83, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F, 0xB2, 0xB3, 0xB9};
  for (int c = 0; c < 256; ++c) {
    const bool want = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      (c >= 0xC0 && c != 0xD7 && c != 0xF7) || memchr(extra, c, sizeof extra) != nullptr;
    EXPECT_EQ(LinuxIsCharAlphaNumericA(static_cast<char>(c)), want ? TRUE : FALSE) << c;
    EXPECT_EQ(gpbyIsChaAlphaNumeric_Latin1_Data[c >> 3], gpbyIsChaAlphaNumeric_Latin1[c >> 3]);
  }
}

}  // namespace

// What the product's tests rely on from the stand-in host: its allocator keeps the block layout
// and its books, fails on demand and refuses blocks it did not hand out.
#include <gtest/gtest.h>

#include <cstring>

#include "host/host_services.h"

namespace {

TEST(HostAllocator, KeepsTheHeaderAcrossGrowthAndFailsOnDemand) {
  CHostStrMemAlloc& a = *CHostServices::Instance().Allocator();
  const long live = a.nLiveBlocks(), oldCalls = a.nAllocCalls(false), newCalls = a.nAllocCalls(true);
  void* p = nullptr;
  ASSERT_EQ(a.nAllocStrMemNew(&p, 10, 0), 0);
  STStrMemHeader* h = StrMemHeader(p);
  EXPECT_EQ(h->nRefCount, 1);
  memset(p, 'x', 14);  // capacity plus the 4 spare bytes are usable
  *h = STStrMemHeader{1, 3, h->dwCapacity, 10};
  ASSERT_EQ(a.nReallocStrMemOld(&p, 5000), 0);
  h = StrMemHeader(p);
  EXPECT_EQ(h->dwFlags, 1u);
  EXPECT_EQ(h->nRefCount, 3);
  EXPECT_EQ(h->dwLength, 10u);
  EXPECT_GE(h->dwCapacity, 5000u);
  EXPECT_EQ(memcmp(p, "xxxxxxxxxx", 10), 0);
  EXPECT_EQ(a.nLiveBlocks(), live + 1);
  a.FailNext(1);
  void* before = p;
  EXPECT_EQ(a.nReallocStrMemNew(&p, 9000, 0), CHostStrMemAlloc::kErrNoMemory);
  EXPECT_EQ(p, before);
  EXPECT_EQ(a.nAllocCalls(false), oldCalls + 1);
  EXPECT_EQ(a.nAllocCalls(true), newCalls + 2);
  a.FreeStrMem(p);
  EXPECT_EQ(a.nLiveBlocks(), live);
}

TEST(HostAllocatorDeathTest, RefusesBlocksItDidNotHandOut) {
  CHostStrMemAlloc& a = *CHostServices::Instance().Allocator();
  void* p = nullptr;
  ASSERT_EQ(a.nAllocStrMemNew(&p, 8, 0), 0);
  a.FreeStrMem(p);
  EXPECT_DEATH(a.FreeStrMem(p), "does not own");
}

}  // namespace

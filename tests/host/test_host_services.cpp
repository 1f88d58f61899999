// The stand-in host: its allocator keeps the block layout and its books, its "Execution" answers
// every product query with the services, and the install helper fills the runtime's statics.
#include <gtest/gtest.h>

#include <cstring>

#include "host/host_services.h"
#include "platform/component.h"
#include "platform/information_dll.h"

namespace {

CHostServices& Host() { return CHostServices::Instance(); }

TEST(HostAllocator, BlocksCarryTheHeaderAndAreCounted) {
  CHostStrMemAlloc& a = *Host().Allocator();
  const long live = a.nLiveBlocks();
  void* p = nullptr;
  ASSERT_EQ(a.nAllocStrMemNew(&p, 10, 0), 0);
  ASSERT_NE(p, nullptr);
  STStrMemHeader* h = StrMemHeader(p);
  EXPECT_EQ(h->dwFlags, 0u);
  EXPECT_EQ(h->nRefCount, 1);
  EXPECT_GE(h->dwCapacity, 10u);
  EXPECT_EQ(h->dwLength, 0u);
  memset(p, 'x', 14);  // capacity plus the 4 spare bytes are usable
  EXPECT_EQ(a.nLiveBlocks(), live + 1);

  h->dwFlags = 1;
  h->nRefCount = 3;
  h->dwLength = 10;
  ASSERT_EQ(a.nReallocStrMemOld(&p, 5000), 0);
  h = StrMemHeader(p);
  EXPECT_EQ(h->dwFlags, 1u);
  EXPECT_EQ(h->nRefCount, 3);
  EXPECT_EQ(h->dwLength, 10u);
  EXPECT_GE(h->dwCapacity, 5000u);
  EXPECT_EQ(memcmp(p, "xxxxxxxxxx", 10), 0);
  memset(p, 'y', 5004);
  EXPECT_EQ(a.nLiveBlocks(), live + 1);
  a.FreeStrMem(p);
  EXPECT_EQ(a.nLiveBlocks(), live);
  a.FreeStrMem(nullptr);
}

TEST(HostAllocator, FailsTheNextRequestsOnDemandAndCountsForms) {
  CHostStrMemAlloc& a = *Host().Allocator();
  const long oldCalls = a.nAllocCalls(false), newCalls = a.nAllocCalls(true);
  a.FailNext(2);
  void* p = nullptr;
  EXPECT_EQ(a.nAllocStrMemOld(&p, 4), CHostStrMemAlloc::kErrNoMemory);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(a.nAllocStrMemNew(&p, 4, 0), CHostStrMemAlloc::kErrNoMemory);
  ASSERT_EQ(a.nAllocStrMemNew(&p, 4, 0), 0);
  a.FailNext(1);
  void* q = p;
  EXPECT_EQ(a.nReallocStrMemNew(&p, 400, 0), CHostStrMemAlloc::kErrNoMemory);
  EXPECT_EQ(p, q);  // a failed reallocation leaves the block where it was
  a.FreeStrMem(p);
  EXPECT_EQ(a.nAllocCalls(false), oldCalls + 1);
  EXPECT_EQ(a.nAllocCalls(true), newCalls + 3);
  EXPECT_EQ(a.nAllocStrMemNew(&p, 0x7FFFFF01u, 0), CHostStrMemAlloc::kErrNoMemory);
}

TEST(HostAllocatorDeathTest, RefusesBlocksItDidNotHandOut) {
  CHostStrMemAlloc& a = *Host().Allocator();
  void* p = nullptr;
  ASSERT_EQ(a.nAllocStrMemNew(&p, 8, 0), 0);
  a.FreeStrMem(p);
  EXPECT_DEATH(a.FreeStrMem(p), "does not own");
}

TEST(HostExecution, AnswersEveryProductQuery) {
  CHostServices& host = Host();
  host.ClearCalls();
  auto ask = [&](int q) { return host.Execution(EXEC_HOST_QUERY, reinterpret_cast<void*>(static_cast<intptr_t>(q))); };
  EXPECT_EQ(ask(HOST_QUERY_STRING_ALLOCATOR), reinterpret_cast<intptr_t>(static_cast<IStrMemAlloc*>(host.Allocator())));
  EXPECT_EQ(ask(HOST_QUERY_LOCALE), reinterpret_cast<intptr_t>(static_cast<IInfoLocale*>(host.Locale())));
  EXPECT_EQ(ask(HOST_QUERY_GLOBAL_FACTORY), reinterpret_cast<intptr_t>(host.GlobalFactory()));
  EXPECT_EQ(reinterpret_cast<CHostGlobalFactory*>(ask(HOST_QUERY_GLOBAL_FACTORY))->nGetVersion(), 2);
  EXPECT_EQ(ask(HOST_QUERY_INTERNAL_LANGUAGE), 12);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(ask(HOST_QUERY_PRODUCT_NAME)), L"Quenda");
  EXPECT_EQ(ask(HOST_QUERY_ACTIVE_VERSION), 20);
  EXPECT_NE(ask(HOST_QUERY_TOPOLOGY_COLLECTOR), 0);
  EXPECT_NE(ask(HOST_QUERY_COMPONENT_INFORMATION), 0);
  EXPECT_NE(ask(HOST_QUERY_MULTITHREAD_FLAG), 0);
  EXPECT_EQ(*reinterpret_cast<int*>(ask(HOST_QUERY_MULTITHREAD_FLAG)), 0);
  for (int q : {int{HOST_QUERY_PRODUCT_CODE}, int{HOST_QUERY_REAL_PRODUCT_CODE}}) EXPECT_GT(ask(q), 0);
  for (int q : {int{HOST_QUERY_OPTIONS}, int{HOST_QUERY_DOTNET}, int{HOST_QUERY_SMARTPHONE_MODE}, 16, 0}) EXPECT_EQ(ask(q), 0);
  EXPECT_EQ(host.Execution(EXEC_HOST_END_NOTICE, nullptr), 0);
  const auto calls = host.Calls();
  ASSERT_EQ(calls.size(), 19u);
  EXPECT_EQ(calls.front(), std::make_pair(static_cast<unsigned int>(EXEC_HOST_QUERY), intptr_t{13}));
  EXPECT_EQ(calls.back().first, static_cast<unsigned int>(EXEC_HOST_END_NOTICE));
}

TEST(HostInstall, FillsTheRuntimeStatics) {
  // The test main installed them already.
  EXPECT_EQ(CInformationModule::ms_piStrMemAlloc, Host().Allocator());
  EXPECT_EQ(CInformationDLL::ms_piInfoLocale, Host().Locale());
  EXPECT_EQ(CInformationDLL::ms_piGlobalFactory, Host().GlobalFactory());
  // The facts keep their defaults until the component start-up asks the host.
  EXPECT_EQ(CInformationDLL::ms_nLangueInterne, 12);
  EXPECT_STREQ(CInformationDLL::ms_pszNomProduit, L"Quenda");
  EXPECT_EQ(CInformationDLL::ms_dwVersionActive, 20u);
}

TEST(HostLocale, CurrentFactsCanBeChanged) {
  CHostInfoLocale& l = *Host().Locale();
  EXPECT_EQ(l.nGetLCID(), 1036);
  EXPECT_EQ(l.nGetCodePage(), 1252);
  l.SetCurrent(1036, 65001, 0);
  // Narrow text is now read as UTF-8.
  EXPECT_EQ(l.nCompareStringCurA(3, "\xC3\xA9t\xC3\xA9", -1, "ETE", -1), 0);
  char out[16] = {};
  EXPECT_EQ(l.nMapStringCurA(1, out, sizeof out, "\xC3\xA9", 2), 2);
  EXPECT_STREQ(out, "\xC3\x89");
  l.SetCurrent(1036, 1252, 0);
  EXPECT_EQ(l.nMapStringCurA(1, out, sizeof out, "\xE9", 1), 1);
  EXPECT_EQ(out[0], '\xC9');
  // Too small a destination writes nothing and answers 0; size 0 asks for the count.
  wchar_t w[2];
  EXPECT_EQ(l.nMapStringW(1036, 1, w, 2, L"abc", 3), 0);
  EXPECT_EQ(l.nMapStringW(1036, 1, nullptr, 0, L"abc", -1), 4);
}

}  // namespace

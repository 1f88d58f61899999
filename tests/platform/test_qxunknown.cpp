// CQXUnknown: release rules and the atomic count under concurrent holders.
#include "platform/qxunknown.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct CProbe : CQXUnknown {
  explicit CProbe(int* deleted) : m_pnDeleted(deleted) {}
  ~CProbe() override { ++*m_pnDeleted; }
  int* m_pnDeleted;
};

TEST(CQXUnknown, ReleaseRulesAndConcurrentHolders) {
  int deleted = 0;
  CProbe* p = new CProbe(&deleted);
  EXPECT_EQ(p->dwRelease(), 0u);  // without a reference: no wrap, no delete
  p->AddRef();
  p->AddRef();
  EXPECT_EQ(p->dwRelease(), 1u);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([p] {
      for (int i = 0; i < 20000; ++i) {
        p->AddRef();
        p->dwRelease();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(p->dwGetRefCount(), 1u);
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(p->dwRelease(), 0u);
  EXPECT_EQ(deleted, 1);
}

}  // namespace

// CInterf's release rules and CSimpleBuffer's ownership of its block.
#include "common/interf.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/simplebuffer.h"

namespace {

struct CProbe : CInterf {
  explicit CProbe(int* deleted) : m_pnDeleted(deleted) {}
  ~CProbe() override { ++*m_pnDeleted; }
  int* m_pnDeleted;
};

TEST(CInterf, ReleaseRules) {
  int deleted = 0;
  CProbe* p = new CProbe(&deleted);
  EXPECT_EQ(p->nRelease(), 0);  // no reference: nothing happens
  for (int i = 0; i < 3; ++i) p->AddRef();
  EXPECT_EQ(p->nRelease(), 2);
  EXPECT_EQ(p->nRelease(), 1);
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(p->nRelease(), 0);
  EXPECT_EQ(deleted, 1);  // through the derived destructor
  CProbe embedded(&deleted);
  embedded.SetStatic(true);
  embedded.AddRef();
  EXPECT_EQ(embedded.nRelease(), 0);
  EXPECT_EQ(deleted, 1);
}

TEST(CSimpleBuffer, SizeAndCopies) {
  CSimpleBuffer b("abcd", 4);
  b.SetSize(4);
  EXPECT_EQ(memcmp(b.pGetData(), "abcd", 4), 0);  // same size keeps the bytes
  CSimpleBuffer d(&b), e(b);                      // independent blocks, not second owners
  static_cast<char*>(d.pGetData())[0] = 'Q';
  EXPECT_EQ(memcmp(b.pGetData(), "abcd", 4), 0);
  EXPECT_NE(e.pGetData(), b.pGetData());
  b.SetSize(0);
  EXPECT_EQ(b.pGetData(), nullptr);
  e.CopyBuffer("p", 0);
  EXPECT_EQ(e.nGetSize(), 0u);
  CSimpleBuffer s("0123456789", 10);
  s.CopyBuffer(static_cast<char*>(s.pGetData()) + 4, 3);  // from the block the resize frees
  ASSERT_EQ(s.nGetSize(), 3u);
  EXPECT_EQ(memcmp(s.pGetData(), "456", 3), 0);
}

}  // namespace

// The entry points from load to unload, in the order the host calls them; one process, one run.
#include <gtest/gtest.h>

#include "driver/naentry.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"

namespace {

TEST(EntryPoints, LifetimeFromLoadToUnload) {
  ASSERT_EQ(gnNbInitialisation, 0) << "must run first in its process";
  unsigned int required = 0;
  EXPECT_FALSE(bDLLCompatible(7, 20, &required));
  EXPECT_TRUE(bDLLCompatible(28, 40, &required));
  EXPECT_EQ(CNADriver::s_nID_QXKJ, 20u);
  EXPECT_EQ(CNADriver::s_nID_QXSQL, 40u);
  EXPECT_TRUE(bInitLibrary(nullptr));  // clears what was recorded before it
  EXPECT_EQ(CNADriver::s_nID_QXKJ + CNADriver::s_nID_QXSQL, 0u);
  EXPECT_FALSE(bDLLCompatible(7, 31, &required));
  EXPECT_TRUE(bInitLibrary(nullptr));  // initialises nothing again
  EXPECT_EQ(CNADriver::s_nID_QXKJ, 31u);
  EXPECT_EQ(gnNbInitialisation, 2);

  // Several drivers: the newest one alive is designated, the last release clears it.
  for (bool newerFirst : {true, false}) {
    INADriver* older = piQueryInterface();
    INADriver* newer = piQueryInterface();
    EXPECT_EQ(CNADriver::s_pclDriver.load(), newer);
    auto* driver = static_cast<CNADriver*>(older);
    EXPECT_EQ(driver->nGetExternalRefCount(), 1u);
    ASSERT_NE(driver->pclGetErrorNoRef(), nullptr);
    EXPECT_EQ(driver->pclGetErrorNoRef()->nGetRefCount(), 1u);
    EXPECT_EQ(driver->llGetDefaultCacheSize(), 100);
    EXPECT_EQ((newerFirst ? newer : older)->nExternalRelease(), 0);
    EXPECT_EQ(CNADriver::s_pclDriver.load(), newerFirst ? older : newer);
    EXPECT_EQ((newerFirst ? older : newer)->nExternalRelease(), 0);
    EXPECT_EQ(CNADriver::s_pclDriver.load(), nullptr);
  }

  INADriver* kept = piQueryInterface();
  IKJForNA* kj = reinterpret_cast<IKJForNA*>(&required);
  EXPECT_TRUE(kept->bSetKJ(kj));
  EXPECT_EQ(static_cast<CNADriver*>(kept)->piGetKJ(), kj);
  EXPECT_TRUE(TermLibrary());
  EXPECT_TRUE(TermLibrary());
  EXPECT_EQ(kept->nExternalRelease(), 0);  // after the end of the module
  EXPECT_TRUE(CNADriver::m_gstDriverCriticalSection.bTryLock());
  CNADriver::m_gstDriverCriticalSection.Unlock();
  EXPECT_FALSE(CNADriver::m_gstDriverCriticalSection.bHeldByMe());
}

}  // namespace

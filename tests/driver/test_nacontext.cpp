// Contexts: their data accesses by file id, lock modes, closing all of them, leaving the driver's
// registry, and an exception inside a locked entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "driver_doubles.h"
#include "host/host_context.h"
#include "host/host_nadescription.h"

namespace {

class Contexts : public testing::Test {
 protected:
  void SetUp() override {
    g_log.Take();
    m_pclConnection = m_pDriver->_pclGetConnection(&m_host);
  }
  void TearDown() override {
    m_pDriver->nReleaseConnection(m_pclConnection);
    delete m_pDriver;
    EXPECT_EQ(m_host.nGetRefCount() + m_desc.nGetRefCount(), 0);
  }
  CLogDataAccess* Get(CNAContext* context, INAContext* ctx, int* created) {
    return static_cast<CLogDataAccess*>(context->pclGetDataAccess(ctx, m_pclConnection, &m_desc, created));
  }

  CLogDriver* m_pDriver = new CLogDriver();
  CHostConnectionDescription m_host;
  CHostDataSourceDescription m_desc{L"Orders"};
  CNAConnectionDescription* m_pclConnection = nullptr;
};

TEST_F(Contexts, DataAccessesAreKeptByFileIdAndLeaveWithTheirContext) {
  CHostContext file1(9, 1), file2(9, 2);
  int created = -1;
  CNAContext* context = m_pDriver->pclGetContext(&file1, &created);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(context->dwGetContextID(), 9u);
  EXPECT_EQ(m_pDriver->pclGetContext(&file2, &created), context);  // same context id
  EXPECT_EQ(created, 0);
  context->nRelease();
  CLogDataAccess* first = Get(context, &file1, &created);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(Get(context, &file1, &created), first);
  EXPECT_EQ(created, 0);
  first->nRelease();
  first->nRelease();
  context->SetNextLogicalName(L"Alias");
  first->_SetAliasNameFromContext();
  CNADataAccess* byAlias = context->pclFindDataAccessByAliasName(m_pclConnection, L"ALIAS");
  CNADataAccess* byTable = context->pclFindDataAccessByDBTableName(m_pclConnection, L"orders");
  EXPECT_TRUE(byAlias == first && byTable == first);
  byAlias->nRelease();
  byTable->nRelease();
  EXPECT_EQ(context->pclFindDataAccessByAliasName(nullptr, L"Alias"), nullptr);  // another connection
  EXPECT_EQ(m_pDriver->nReleaseContext(&file1, context), 1);  // holds a data access: stays
  context->RemoveDataAccess(&file1, nullptr);
  EXPECT_EQ(g_log.Take(), Events{"~access"});
  context->AddRef();
  EXPECT_EQ(m_pDriver->nReleaseContext(&file1, context), 0);  // empty: leaves the registry
  EXPECT_EQ(m_pDriver->dwGetContextCount(), 0u);
  EXPECT_EQ(g_log.Take(), Events{"~context"});
}

TEST_F(Contexts, LockModeBecomesTheDefaultWhateverMatches) {
  CNAContext context(nullptr);
  EXPECT_EQ(context.dwGetContextID(), 0xFFFFFFFFu);  // not registered
  EXPECT_EQ(context.eGetDefaultMode(), 1);
  CHostContext ctx(4, 1);
  int created = 0;
  CLogDataAccess* access = Get(&context, &ctx, &created);
  struct Row {
    const wchar_t* name;
    int mode, accessMode;
  } rows[] = {{L"Nothing", 3, 1}, {L"ORDERS", 5, 5}, {L"Orders", 2, 2}};
  for (const Row& row : rows) {
    EXPECT_TRUE(context.bHMode(row.name, static_cast<_eNA_HMODE>(row.mode)));
    EXPECT_EQ(context.eGetDefaultMode(), row.mode);
    EXPECT_EQ(access->eGetHMode(), row.accessMode);
  }
  access->nRelease();
  context.CloseAllDataAccess();
}

TEST_F(Contexts, CloseAllClosesOnlyOpenAccessesAndReleasesEach) {
  CNAContext context(nullptr);
  CHostContext closed(1, 1), open(1, 2);
  int created = 0;
  Get(&context, &closed, &created)->nRelease();
  CLogDataAccess* opened = Get(&context, &open, &created);
  opened->SetOpened();
  opened->nRelease();
  context.CloseAllDataAccess();
  Events events = g_log.Take();
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events, (Events{"access close", "~access", "~access"}));
  EXPECT_FALSE(context.bHasDataAccess());
}

TEST_F(Contexts, ExceptionInsideALockedEntryLeavesTheMutexFree) {
  CNAContext context(nullptr);
  CHostContext ctx(1, 1);
  int created = 0;
  CLogDataAccess* access = Get(&context, &ctx, &created);
  access->SetOpened();
  access->m_bThrow = true;
  access->nRelease();
  EXPECT_THROW(context.CloseAllDataAccess(), std::runtime_error);
  EXPECT_EQ(g_log.Take(), (Events{"access close", "~access"}));  // released on the way out
  bool locked = false;
  std::thread other([&] {
    locked = CNADriver::m_gstDriverCriticalSection.bTryLock();
    if (locked) CNADriver::m_gstDriverCriticalSection.Unlock();
  });
  other.join();
  EXPECT_TRUE(locked);
}

}  // namespace

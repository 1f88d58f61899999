// The driver's registries through the driver double: connections shared by identification text,
// failed opens, close counting against a table that still holds the connection, query results,
// the order of destruction, and every registry operation from four threads at once.
#include <gtest/gtest.h>

#include <functional>
#include <list>
#include <thread>

#include "driver_doubles.h"
#include "host/host_context.h"
#include "host/host_nadescription.h"
#include "sql/naconvertvariant.h"

namespace {

class Registry : public testing::Test {
 protected:
  void SetUp() override { g_log.Take(); }
  void TearDown() override {
    delete m_pDriver;
    EXPECT_EQ(g_nLiveConnections, 0);
  }
  // Host objects outlive the driver, as in the host.
  CHostConnectionDescription* NewHost(const wchar_t* password = L"Secret") {
    m_hosts.emplace_back().m_pszPassword = password;
    return &m_hosts.back();
  }
  CNAConnectionDescription* Open(CHostConnectionDescription* host) {
    CNAConnectionDescription* cnx = m_pDriver->_pclGetConnection(host);
    m_pDriver->_bOpenConnection(cnx);
    m_pDriver->nReleaseConnection(cnx);
    return cnx;
  }

  std::list<CHostConnectionDescription> m_hosts;
  CHostDataSourceDescription m_desc{L"Orders"};
  CLogDriver* m_pDriver = new CLogDriver();
};

TEST_F(Registry, IdentificationTextsKeyEveryParameter) {
  const wchar_t* tail = L";Provider=8:provider;ExtendedInformation=NULL;Data source=6:server;user id=4:user;"
                        L"password=6:Secret";
  struct Row {
    std::function<void(CHostConnectionDescription*)> change;
    std::wstring expected;
  } rows[] = {
      {[](auto*) {}, L"Connection=3:cnx" + std::wstring(tail) + L";access=RW"},
      {[](auto* d) { d->m_nAccess = 1; }, L"Connection=3:cnx" + std::wstring(tail) + L";access=R"},
      {[](auto* d) { d->m_nAccess = 2; }, L"Connection=3:cnx" + std::wstring(tail) + L";access=RW"},
      {[](auto* d) { d->m_pszUser = d->m_pszPassword = d->m_pszProvider = nullptr; },
       L"Connection=3:cnx;Provider=NULL;ExtendedInformation=NULL;Data source=6:server;user id=NULL;password=NULL;"
       L"access=RW"},
      {[](auto* d) { d->m_pszExtendedInfo = L"a=1"; d->m_clName.SetName(L""); },
       L"Connection=0:;Provider=8:provider;ExtendedInformation=3:a=1;Data source=6:server;user id=4:user;"
       L"password=6:Secret;access=RW"},
  };
  for (Row& row : rows) {
    CHostConnectionDescription host;
    row.change(&host);
    CTString text;
    EXPECT_TRUE(m_pDriver->bBuildCnxIdentification(&text, &host));
    EXPECT_EQ(text.pszGet(), row.expected);
  }
  CHostContext ctx(42, 1);
  CTString table, query, item;
  m_pDriver->bBuildTableIdentification(&table, L"T", L"C");
  m_pDriver->bBuildQueryIdentification(&query, L"Q", L"C", &ctx);
  CNADriver::g_GenerateItemName(&item, 5);
  EXPECT_STREQ(table.pszGet(), L"Table=1:T;C");
  EXPECT_STREQ(query.pszGet(), L"CTX=42;Table=1:Q;C");
  EXPECT_STREQ(item.pszGet(), L"Expr1005");
}

// Fields joined without lengths let one user's text spill into the password and a null match
// the text "NULL": the second description was handed the first one's session.
TEST_F(Registry, ConnectionKeysNeverConfuseDifferentFields) {
  struct Row {
    const wchar_t* user[2];
    const wchar_t* password[2];
    const wchar_t* provider[2];
  } rows[] = {
      {{L"u;password=p", L"u"}, {L"x", L"p;password=x"}, {L"p", L"p"}},
      {{L"u", L"u"}, {nullptr, L"NULL"}, {L"p", L"p"}},
      {{L"u", L"u"}, {L"NULL", nullptr}, {L"NULL", nullptr}},
      {{L"a;user id=b", L"a"}, {L"s", L"s"}, {L"p", L"p;ExtendedInformation=NULL;Data source=6:server;user id=b"}},
      {{L"", nullptr}, {L"s", L"s"}, {L"p", L"p"}},
  };
  for (const Row& row : rows) {
    CHostConnectionDescription hosts[2];
    CTString keys[2];
    for (int i = 0; i < 2; ++i) {
      hosts[i].m_pszUser = row.user[i];
      hosts[i].m_pszPassword = row.password[i];
      hosts[i].m_pszProvider = row.provider[i];
      m_pDriver->bBuildCnxIdentification(&keys[i], &hosts[i]);
    }
    EXPECT_STRNE(keys[0].pszGet(), keys[1].pszGet());
  }
  CHostConnectionDescription* split = NewHost(L"x");
  split->m_pszUser = L"u;password=p";
  CHostConnectionDescription* joined = NewHost(L"p;password=x");
  joined->m_pszUser = L"u";
  EXPECT_NE(Open(split), Open(joined));
  EXPECT_NE(Open(NewHost(nullptr)), Open(NewHost(L"NULL")));
}

// Table keys compared without case and accents bound the second of two connections that differ
// only so to the first one's table object; the table's own name is still the host's, without case.
TEST_F(Registry, TablesOfConnectionsDifferingInCaseAreApart) {
  struct Row {
    const wchar_t* database[2];
    const wchar_t* password[2];
    const wchar_t* table[2];
    bool shared;
  } rows[] = {
      {{L"Sales", L"sales"}, {L"s", L"s"}, {L"Orders", L"Orders"}, false},
      {{L"db", L"db"}, {L"Secret", L"secret"}, {L"Orders", L"Orders"}, false},
      {{L"Café", L"Cafe"}, {L"s", L"s"}, {L"Orders", L"Orders"}, false},
      {{L"db", L"db"}, {L"s", L"s"}, {L"Orders", L"orders"}, true},
      {{L"db", L"db"}, {L"s", L"s"}, {L"Orders;x", L"Orders"}, false},
  };
  CHostContext ctx(7, 1);
  for (const Row& row : rows) {
    CNATable* tables[2];
    CNATable* queries[2];
    CNAConnectionDescription* cnx[2];
    std::list<CHostDataSourceDescription> descs;
    for (int i = 0; i < 2; ++i) {
      CHostConnectionDescription* host = NewHost(row.password[i]);
      host->m_pszDataSource = row.database[i];
      cnx[i] = Open(host);
      tables[i] = m_pDriver->_pclGetTable(&descs.emplace_back(row.table[i]), cnx[i]);
      queries[i] = m_pDriver->_pclGetQuery(&ctx, row.table[i], cnx[i], FALSE, TRUE);
      m_pDriver->_AddTable(queries[i]);
      queries[i]->nRelease();  // the registry's is left
      queries[i] = m_pDriver->_pclGetQuery(&ctx, row.table[i], cnx[i], FALSE, FALSE);
      ASSERT_NE(queries[i], nullptr);
      queries[i]->nRelease();
    }
    EXPECT_EQ(tables[0] == tables[1], row.shared) << row.database[1] << L" " << row.table[1];
    EXPECT_EQ(queries[0] == queries[1], row.shared) << row.database[1] << L" " << row.table[1];
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(tables[i]->pclGetConnectionNoRef(), cnx[i]);
      EXPECT_EQ(queries[i]->pclGetConnectionNoRef(), cnx[i]);
      m_pDriver->nReleaseTable(tables[i]);  // the registry's query results go with the driver
    }
  }
}

TEST_F(Registry, EqualParametersShareAConnectionAndPasswordsCompareExactly) {
  CHostConnectionDescription* a = NewHost();
  CNAConnectionDescription* first = Open(a);
  EXPECT_EQ(Open(NewHost()), first);
  EXPECT_NE(Open(NewHost(L"secret")), first);
  EXPECT_EQ(m_pDriver->dwGetConnectionCount(), 2u);
  CNAConnectionDescription* byId = m_pDriver->pclGetConnectionByID(static_cast<int>(first->nGetConnectionID()));
  EXPECT_EQ(byId, first);
  m_pDriver->nReleaseConnection(byId);
  CNAConnectionDescription* byName = m_pDriver->pclGetConnectionByName(L"CNX");  // case ignored
  EXPECT_NE(byName, nullptr);
  m_pDriver->nReleaseConnection(byName);
  EXPECT_EQ(first->nGetRefCount(), 3u);  // the registry's and two opens
  EXPECT_TRUE(m_pDriver->_bCloseConnectionById(static_cast<int>(first->nGetConnectionID())));
  EXPECT_EQ(first->nGetRefCount(), 2u);
  CTString key;
  m_pDriver->bBuildCnxIdentification(&key, a);
  key.Majuscule();
  EXPECT_EQ(m_pDriver->_pclFindConnection(key.pszGet()), nullptr);
}

TEST_F(Registry, FailedOpenUnregistersAndTheNextOpenMakesANewObject) {
  CHostConnectionDescription& host = *NewHost(L"bad");
  CNAConnectionDescription* cnx = m_pDriver->_pclGetConnection(&host);
  const unsigned int id = cnx->nGetConnectionID();
  EXPECT_FALSE(m_pDriver->_bOpenConnection(cnx));
  EXPECT_EQ(m_pDriver->dwGetConnectionCount(), 0u);
  EXPECT_EQ(m_pDriver->piGetLastError()->eGetErrorLevel(), NAERRORLEVEL_WARNING);
  EXPECT_EQ(m_pDriver->nReleaseConnection(cnx), 0);
  EXPECT_EQ(g_log.Take(), Events{"~cnx"});
  host.m_pszPassword = L"Secret";
  CNAConnectionDescription* again = m_pDriver->_pclGetConnection(&host);
  EXPECT_NE(again->nGetConnectionID(), id);
  EXPECT_TRUE(m_pDriver->_bOpenConnection(again));
  m_pDriver->nReleaseConnection(again);
  EXPECT_EQ(host.nGetRefCount(), 1);
}

TEST_F(Registry, ExtraClosesNeverFreeAConnectionATableHolds) {
  CHostConnectionDescription& host = *NewHost();
  CHostDataSourceDescription& desc = m_desc;
  CNAConnectionDescription* cnx = Open(&host);
  Open(&host);
  EXPECT_EQ(cnx->nGetRefCount(), 3u);  // the registry's and two opens
  CNATable* table = m_pDriver->_pclGetTable(&desc, cnx);
  EXPECT_EQ(m_pDriver->_pclGetTable(&desc, cnx), table);
  m_pDriver->nReleaseTable(table);
  for (int i = 0; i < 3; ++i) m_pDriver->_bCloseConnection(cnx);
  EXPECT_EQ(cnx->nGetRefCount(), 2u);  // the registry's and the table's
  EXPECT_EQ(g_log.Take(), Events{"open"});
  EXPECT_EQ(m_pDriver->nReleaseTable(table), 0);  // the last user: unregistered and freed
  EXPECT_EQ(g_log.Take(), (Events{"~table", "close", "~cnx"}));
  EXPECT_EQ(m_pDriver->dwGetConnectionCount() + m_pDriver->dwGetTableCount(), 0u);
  EXPECT_EQ(host.nGetRefCount() + desc.nGetRefCount(), 0);
}

TEST_F(Registry, ConverterLastToLetGoClosesAConnectionWhoseCloseWasRequested) {
  for (bool bByCopy : {false, true}) {  // destroyed, or taking the connection of the value it copies
    CNAConnectionDescription* cnx = Open(NewHost());
    CNAConnectionDescription* other = Open(NewHost(L"other"));
    CNAConvertVariant* conv = m_pDriver->pclAllocVariant(nullptr, cnx);
    CNAConvertVariant* source = m_pDriver->pclAllocVariant(nullptr, other);
    conv->AddRef();
    source->AddRef();
    m_pDriver->_bCloseConnection(cnx);
    EXPECT_EQ(g_log.Take(), (Events{"open", "open"}));
    if (bByCopy)
      conv->bCopyVariant(source);
    else
      conv->nRelease();
    EXPECT_EQ(g_log.Take(), (Events{"close", "~cnx"})) << bByCopy;
    EXPECT_EQ(m_pDriver->dwGetConnectionCount(), 1u) << bByCopy;
    if (bByCopy) conv->nRelease();
    source->nRelease();
    m_pDriver->_bCloseConnection(other);
    EXPECT_EQ(g_log.Take(), (Events{"close", "~cnx"})) << bByCopy;
  }
}

TEST_F(Registry, QueryResultsAreRegisteredByTheCaller) {
  CHostContext ctx(7, 1);
  CNAConnectionDescription* cnx = Open(NewHost());
  CNATable* first = m_pDriver->_pclGetQuery(&ctx, L"Q", cnx, FALSE, TRUE);
  CNATable* second = m_pDriver->_pclGetQuery(&ctx, L"Q", cnx, FALSE, TRUE);
  EXPECT_NE(first, second);  // not registered yet: another one
  EXPECT_EQ(m_pDriver->_pclGetQuery(&ctx, L"Q", cnx, FALSE, FALSE), nullptr);
  m_pDriver->_AddTable(first);
  m_pDriver->_AddTable(second);  // the name is taken: nothing changes
  EXPECT_EQ(m_pDriver->dwGetTableCount(), 1u);
  second->nRelease();
  CNATable* found = m_pDriver->_pclGetQuery(&ctx, L"Q", cnx, FALSE, FALSE);
  EXPECT_EQ(found, first);
  m_pDriver->nReleaseTable(found);
  CNATable* renewed = m_pDriver->_pclGetQuery(&ctx, L"Q", cnx, TRUE, TRUE);  // closes, drops, makes
  EXPECT_NE(renewed, first);
  renewed->nRelease();
  EXPECT_EQ(m_pDriver->dwGetTableCount(), 1u);
  m_pDriver->nReleaseTable(first);
  EXPECT_EQ(g_log.Take(), (Events{"open", "~table", "table close", "~table", "~table"}));
  EXPECT_EQ(m_pDriver->dwGetTableCount(), 0u);
}

TEST_F(Registry, DestructionReleasesContextsThenTablesThenConnections) {
  CHostConnectionDescription& host = *NewHost();
  CHostDataSourceDescription& desc = m_desc;
  CHostContext ctx(3, 1);
  CNAConnectionDescription* cnx = Open(&host);
  m_pDriver->_pclGetTable(&desc, cnx)->nRelease();  // only the registry holds it
  int created = 0;
  CNAContext* context = m_pDriver->pclGetContext(&ctx, &created);
  context->pclGetDataAccess(&ctx, cnx, &desc, &created)->nRelease();  // the context keeps it
  m_pDriver->nReleaseContext(&ctx, context);
  EXPECT_EQ(m_pDriver->dwGetContextCount(), 1u);  // it holds a data access
  g_log.Take();
  delete m_pDriver;
  m_pDriver = nullptr;
  EXPECT_EQ(g_log.Take(), (Events{"~context", "~access", "~table", "~cnx"}));
  EXPECT_EQ(host.nGetRefCount() + desc.nGetRefCount(), 0);
}

TEST_F(Registry, FourThreadsLeaveNoCountAndNoEntry) {
  CHostConnectionDescription* hosts[3] = {NewHost(), NewHost(L"secret"), NewHost(L"bad")};
  auto work = [&](int seed) {
    for (int i = 0; i < 400; ++i) {
      CHostConnectionDescription* host = hosts[(seed + i) % 3];
      CNAConnectionDescription* cnx = m_pDriver->_pclGetConnection(host);
      if ((i + seed) % 4 != 0 && m_pDriver->_bOpenConnection(cnx)) {
        if (CNAConnectionDescription* found = m_pDriver->_pclFindConnection(host)) m_pDriver->nReleaseConnection(found);
        m_pDriver->_bCloseConnection(cnx);
      }
      m_pDriver->nReleaseConnection(cnx);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work, t);
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(m_pDriver->dwGetConnectionCount(), 0u);
  EXPECT_EQ(g_nLiveConnections, 0);
  for (const CHostConnectionDescription* host : hosts) EXPECT_EQ(host->nGetRefCount(), 0);
}

}  // namespace

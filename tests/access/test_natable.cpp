// The table object without a server: its slots where the host calls them, the answer of a file
// not open in a context, the refusals, the opens and closes over a data access that answers as
// the test says, the one-entry cache, the host SQL engine's check, and what a context closed or
// a table destroyed leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host_context.h"
#include "host/host_nadescription.h"
#include "host/host_sqlparser.h"
#include "sql/sqlparserinfo.h"
#include "tests/driver/driver_doubles.h"
#include "tests/support/parse_bench.h"
#include "tests/support/slot_of.h"

namespace {

constexpr unsigned int kNotOpened = 19, kNotSupported = 8, kEngine = 16, kMissingTable = 15;

// Answers its opens, creations and deletions as s_bSucceed says, and counts what reaches it.
class CScriptedAccess final : public CNADataAccess {
 public:
  using CNADataAccess::CNADataAccess;
  BOOL bHOuvre(eNA_ACCESS, const wchar_t* password) override {
    s_csPassword = password != nullptr ? password : L"";
    return _bAnswer();
  }
  BOOL bHCreation(const wchar_t*, int dropFirst) override {
    s_nDropFirst = dropFirst;
    return _bAnswer();
  }
  BOOL bHCreationSiInexistant(eNA_ACCESS, const wchar_t*) override { return _bAnswer(); }
  BOOL bSupprimeFichier() override { return _bAnswer(); }
  BOOL bHLitxxx(const wchar_t*, eNA_PARSEDIRECTION, int, eNA_LOCKTYPE, eNA_LOCKTYPE*, NA_WRITEPARSEFLAGS) override {
    ++s_nReads;
    return TRUE;
  }
  // The walks' calls, logged as "<operation> <logical name> <context id>[ <tag>]".
  BOOL bHFerme() override {
    _Log("close");
    CNADataAccess::bHFerme();
    return s_bSucceed;
  }
  void CancelRecordLock(INAConnectionDescription*, CNATransaction*) override { _Log("cancel"); }
  BOOL bSetFiltreAuto(int, const wchar_t*, const wchar_t*, INADataSourceDescription*) override {
    _Log("filter");
    return s_bSucceed;
  }
  void SetFiltreAuto(int) override { _Log("filter1"); }
  // The access runs query (held like the query road holds it).
  void SetSourceQuery(ISQLParserInformation* query) {
    m_pclSourceQuery = new CSQLParserInfo(pclGetErrorNoRef(), query, nullptr, 0);
    m_pclSourceQuery->AddRef();
    m_bSourceIsQuery = 1;
  }
  static inline BOOL s_bSucceed = TRUE;
  static inline int s_nDropFirst = -1, s_nReads = 0;
  static inline std::wstring s_csPassword;
  static inline std::vector<std::string> s_tabLog;

 private:
  void _Log(const char* op) {
    s_tabLog.push_back(std::string(op) + " " + ParseBench::Narrow(pszGetLogicalName()) + " " +
                       std::to_string(dwGetContextID()));
  }
  BOOL _bAnswer() {
    if (s_bSucceed) {
      m_bOpened = 1;
      return TRUE;
    }
    CNAError::g_RaiseUserError(pclGetErrorNoRef(), NA_ERRORTYPE_DEFAULT, NA_SRC_DATAACCESS, 99, nullptr,
                               pszGetLogicalName(), nullptr, kMissingTable, pszGetLogicalName(), L"");
    return FALSE;
  }
};

class CTableDriver final : public CLogDriver {
 public:
  // Contexts made while it is set have no error object (their driver could not make one).
  static inline bool s_bContextsWithoutError = false;
  CNAContext* pclAllocContext() const override {
    return s_bContextsWithoutError ? new CLogContext(nullptr) : CLogDriver::pclAllocContext();
  }
  CNATable* _pclAllocTable(const wchar_t* id, INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                           CNAError* error) override {
    return new CNATable(id, desc, cnx, error);
  }
  CNADataAccess* pclAllocDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                    CNAError* error) const override {
    return new CScriptedAccess(desc, cnx, error);
  }
};

CNAError* Err(INAError* e) { return static_cast<CNAError*>(e); }

class Table : public testing::Test {
 protected:
  void SetUp() override {
    CScriptedAccess::s_bSucceed = TRUE;
    CScriptedAccess::s_nReads = 0;
    CScriptedAccess::s_nDropFirst = -1;
    CScriptedAccess::s_tabLog.clear();
    CTableDriver::s_bContextsWithoutError = false;
    m_pTable = Get(&m_desc);
  }
  void TearDown() override {
    for (INATable* t : m_tabHeld) t->nExternalRelease();
    delete m_pDriver;
    EXPECT_EQ(g_nLiveConnections, 0);
    EXPECT_EQ(m_desc.nGetRefCount(), 0);
  }
  CNATable* Get(INADataSourceDescription* desc) {
    INATable* t = m_pDriver->piGetTable(&m_host, desc);
    m_tabHeld.push_back(t);
    return static_cast<CNATable*>(t);
  }
  BOOL Read(CNATable* table, INAContext* ctx) {
    return table->bHLitxxx(ctx, L"id", NA_PARSE_NEXT, 1, eNA_LOCKTYPE{0}, nullptr, 0);
  }
  unsigned int TableError(CNATable* table) { return Err(table->piGetLastError())->nGetUserErrorCode(); }

  CTableDriver* m_pDriver = new CTableDriver();
  CHostConnectionDescription m_host;
  CHostDataSourceDescription m_desc{L"Orders"};
  CNATable* m_pTable = nullptr;
  std::vector<INATable*> m_tabHeld;
};

TEST(TableInterface, SlotsStandWhereTheHostCallsThem) {
  using T = INATable;
  using ByQuery = BOOL (T::*)(INAContext*, ISQLParserInformation*, wchar_t*);
  using ByItem = BOOL (T::*)(INAContext*, const wchar_t*, const CAny*, int, const CAny*, int, ISQLParserInformation*);
  const std::pair<long, long> rows[] = {
      {SlotOf(&T::NAVersion_EmptySlot_3), 4},   {SlotOf(&T::ExternalAddRef), 5},
      {SlotOf(&T::bIsOpened), 8},               {SlotOf(&T::bHReindexe), 12},
      {SlotOf(&T::bHOuvre), 15},                {SlotOf(&T::bHFerme), 17},
      {SlotOf(&T::bHLitxxx), 26},               {SlotOf(&T::llGetRecNum), 35},
      {SlotOf(static_cast<ByQuery>(&T::bHFiltre)), 37}, {SlotOf(static_cast<ByItem>(&T::bHFiltre)), 38},
      {SlotOf(&T::bGetRecord), 50},             {SlotOf(&T::bCalculateKeyValue), 59},
      {SlotOf(&T::bSupprimeTout), 64},          {SlotOf(&T::EmptySlot579), 65},
      {SlotOf(&T::EmptySlot594), 78},           {SlotOf(&CNATable::bSupprimeFichier), 79},
      {SlotOf(&CNATable::bExecuteQuery), 82},  // after the two destructor slots
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

TEST_F(Table, FileNotOpenInTheContextAnswersUserError19NamingTheTable) {
  CHostContext ctx(5, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));  // another file of another context
  CHostContext never(6, 1);
  struct Row {
    const char* op;
    std::function<BOOL()> call;
    BOOL result;
  } rows[] = {
      {"bHLitxxx", [&] { return Read(m_pTable, &never); }, FALSE},
      {"bHAjoute", [&] { return m_pTable->bHAjoute(&never, 0, eNA_LOCKTYPE{0}); }, FALSE},
      {"bGetRecord", [&] { CNAKJRecord* r = nullptr; return m_pTable->bGetRecord(&never, &r); }, FALSE},
      {"bHNbEnr", [&] { long long n = 0; return m_pTable->bHNbEnr(&never, &n, 0, 0); }, FALSE},
      {"bHSauvePosition", [&] { int id = 0; return m_pTable->bHSauvePosition(&never, L"id", &id, 0); }, FALSE},
      {"llGetRecNum", [&] { return BOOL(m_pTable->llGetRecNum(&never) != 0); }, FALSE},
      {"bHFerme", [&] { return m_pTable->bHFerme(&never); }, TRUE},
      {"bHLiberePosition", [&] { return m_pTable->bHLiberePosition(&never, 3); }, TRUE},
      {"bHDesactiveFiltre", [&] { return m_pTable->bHDesactiveFiltre(&never, L"id", 0); }, TRUE},
      {"bIsOpened", [&] { return m_pTable->bIsOpened(&never); }, FALSE},
  };
  for (Row& row : rows) {
    Err(m_pTable->piGetLastError())->Reset();
    EXPECT_EQ(row.call(), row.result) << row.op;
    const bool quiet = row.result || std::string(row.op) == "bIsOpened";
    EXPECT_EQ(TableError(m_pTable), quiet ? 0u : kNotOpened) << row.op;
    if (!quiet) {
      EXPECT_STREQ(m_pTable->piGetLastError()->pszGetLogicalTableName(), L"Orders") << row.op;
      // Without a context of its own the host reads the table's error.
      EXPECT_EQ(m_pTable->piGetLastError(&never), m_pTable->piGetLastError()) << row.op;
    }
  }
  EXPECT_EQ(CScriptedAccess::s_nReads, 0);
  EXPECT_TRUE(Read(m_pTable, &ctx));
}

TEST_F(Table, RefusalsRaiseError8IntoTheTableAndTheContext) {
  CHostContext ctx(5, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
  const std::function<BOOL()> rows[] = {
      [&] { return m_pTable->FreeMemory(&ctx, nullptr); },
      [&] { return m_pTable->bHInterditModif(&ctx); },
      [&] { return m_pTable->bHFinInterditModif(&ctx); },
      [&] { return m_pTable->bCalculateKeyValue(&ctx, L"id", nullptr, nullptr, nullptr, 0, 0); },
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    Err(m_pTable->piGetLastError())->Reset();
    EXPECT_FALSE(rows[i]()) << i;
    EXPECT_EQ(TableError(m_pTable), kNotSupported) << i;
    EXPECT_EQ(m_pTable->piGetLastError()->eGetErrorType(), 7) << i;
    EXPECT_EQ(Err(m_pTable->piGetLastError(&ctx))->nGetUserErrorCode(), kNotSupported) << i;
  }
  // Raised over an earlier error, it becomes its sub-error and the whole reaches the context.
  Err(m_pTable->piGetLastError())->Reset();
  CHostContext never(6, 1);
  EXPECT_FALSE(Read(m_pTable, &never));
  EXPECT_FALSE(m_pTable->bHInterditModif(&ctx));
  for (INAError* e : {m_pTable->piGetLastError(), m_pTable->piGetLastError(&ctx)}) {
    EXPECT_EQ(e->pclGetXError()->nGetUserErrorCode(), kNotOpened);
    EXPECT_EQ(Err(e)->nGetUserErrorCode(), kNotSupported);  // the last one
  }
}

TEST_F(Table, OpensDropTheAccessTheyMadeOnFailureAndKeepOneThatExisted) {
  CHostContext made(1, 1), existed(1, 2);
  // One that existed before the call: made by a reindex, never opened.
  ASSERT_TRUE(m_pTable->bHReindexe(&existed, 0, nullptr));
  CScriptedAccess::s_bSucceed = FALSE;
  struct Row {
    const char* op;
    std::function<BOOL(INAContext*)> open;
  } rows[] = {
      {"bHOuvre", [&](INAContext* c) { return m_pTable->bHOuvre(c, eNA_ACCESS{0}, L"pw"); }},
      {"bHCreation", [&](INAContext* c) { return m_pTable->bHCreation(c, L"pw"); }},
      {"bHCreationSiInexistant", [&](INAContext* c) { return m_pTable->bHCreationSiInexistant(c, eNA_ACCESS{0}, L"pw"); }},
  };
  for (Row& row : rows) {
    EXPECT_FALSE(row.open(&made)) << row.op;
    EXPECT_EQ(TableError(m_pTable), kMissingTable) << row.op << ": the access's error is kept by the table";
    EXPECT_FALSE(Read(m_pTable, &made)) << row.op;
    EXPECT_EQ(TableError(m_pTable), kNotOpened) << row.op;
    EXPECT_FALSE(row.open(&existed)) << row.op;
    EXPECT_TRUE(Read(m_pTable, &existed)) << row.op;
  }
  EXPECT_EQ(m_pTable->dwGetDataAccessCount(), 1u);
  EXPECT_EQ(CScriptedAccess::s_csPassword, L"pw");
  CScriptedAccess::s_bSucceed = TRUE;
  EXPECT_TRUE(m_pTable->bHCreation(&made, nullptr));
  EXPECT_EQ(CScriptedAccess::s_nDropFirst, 1);
}

TEST_F(Table, DeletingTheFileDropsItsAccessWhateverTheResult) {
  CHostContext ctx(2, 1);
  for (BOOL succeed : {TRUE, FALSE}) {
    CScriptedAccess::s_bSucceed = TRUE;
    ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
    CScriptedAccess::s_bSucceed = succeed;
    EXPECT_EQ(m_pTable->bSupprimeFichier(&ctx), succeed);
    EXPECT_EQ(TableError(m_pTable), succeed ? 0u : kMissingTable);
    EXPECT_FALSE(Read(m_pTable, &ctx));
    EXPECT_EQ(TableError(m_pTable), kNotOpened);
    EXPECT_EQ(m_pTable->dwGetDataAccessCount(), 0u);
  }
}

TEST_F(Table, AConnectionThatCannotOpenMakesNoAccessAndTellsTheContext) {
  CHostConnectionDescription bad;
  bad.m_pszPassword = L"bad";
  CNATable* table = static_cast<CNATable*>(m_pDriver->piGetTable(&bad, &m_desc));
  CHostContext ctx(3, 1);
  int created = 0;
  CNAContext* context = m_pDriver->pclGetContext(&ctx, &created);
  EXPECT_FALSE(table->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
  EXPECT_EQ(Err(table->piGetLastError(&ctx))->nGetUserErrorCode(), 1u);
  EXPECT_EQ(table->dwGetDataAccessCount(), 0u);
  EXPECT_FALSE(context->bHasDataAccess());
  m_pDriver->nReleaseContext(&ctx, context);
  EXPECT_EQ(table->nExternalRelease(), 0);
}

// A context the host named a next file in, holding no file yet: the table's lookups leave it
// registered with its name and its error object, which the host reads after the call.
TEST_F(Table, LookupsKeepAContextWithoutFilesAndItsErrorObject) {
  CHostConnectionDescription bad;
  bad.m_pszPassword = L"bad";
  CNATable* refused = static_cast<CNATable*>(m_pDriver->piGetTable(&bad, &m_desc));
  const struct Row {
    const char* op;
    std::function<void(INAContext*)> call;
    unsigned int contextError;
  } rows[] = {
      {"nothing", [](INAContext*) {}, 0},
      {"piGetLastError", [&](INAContext* c) { m_pTable->piGetLastError(c); }, 0},
      {"bIsOpened", [&](INAContext* c) { m_pTable->bIsOpened(c); }, 0},
      {"bHLitxxx", [&](INAContext* c) { Read(m_pTable, c); }, 0},
      {"bHFerme", [&](INAContext* c) { m_pTable->bHFerme(c); }, 0},
      {"bHMode", [&](INAContext* c) { m_pTable->bHMode(c, _eNA_HMODE{2}); }, 0},
      {"bHOuvre, connection refused", [&](INAContext* c) { refused->bHOuvre(c, eNA_ACCESS{0}, nullptr); }, 1},
  };
  DWORD id = 40;
  for (const Row& row : rows) {
    CHostContext ctx(++id, 1);
    ASSERT_TRUE(m_pDriver->SetNextLogicalName(&ctx, L"Alias")) << row.op;
    row.call(&ctx);
    INAError* error = m_pTable->piGetLastError(&ctx);
    EXPECT_EQ(Err(error)->nGetUserErrorCode(), row.contextError) << row.op;
    CNAContext* context = m_pDriver->pclFindContext(&ctx);
    EXPECT_NE(context, nullptr) << row.op;
    if (context == nullptr) continue;
    EXPECT_EQ(context->pclGetErrorNoRef(), error) << row.op;
    EXPECT_STREQ(context->pszGetNextLogicalName(), L"Alias") << row.op;
    context->nRelease();
  }
  EXPECT_EQ(m_pTable->dwGetDataAccessCount(), 0u);
  EXPECT_EQ(refused->nExternalRelease(), 0);
}

TEST_F(Table, ClosingAFileNeverOpenedKeepsTheBindVariables) {
  CHostQueryParameters* values = new CHostQueryParameters();
  m_pTable->SetQueryBindVariable(values);
  CHostContext open(4, 1), never(4, 2);
  ASSERT_TRUE(m_pTable->bHOuvre(&open, eNA_ACCESS{0}, nullptr));
  EXPECT_TRUE(m_pTable->bHFerme(&never));
  EXPECT_EQ(m_pTable->piGetQueryBindVariableNoRef(), values);
  EXPECT_TRUE(m_pTable->bIsOpened(&open));
  EXPECT_TRUE(m_pTable->bHFerme(&open));
  EXPECT_EQ(m_pTable->piGetQueryBindVariableNoRef(), nullptr);
  EXPECT_EQ(values->nGetRefCount(), 1);
  values->nRelease();
  EXPECT_FALSE(Read(m_pTable, &open));
  EXPECT_EQ(TableError(m_pTable), kNotOpened);
}

// A context that counts how often the driver asks for its two ids.
class CCountingContext final : public INAContext {
 public:
  CCountingContext(DWORD ctx, DWORD data) : m_dwCtx(ctx), m_dwData(data) {}
  DWORD dwGetCtxID() const override { return ++m_nCalls, m_dwCtx; }
  DWORD dwGetDataID() const override { return ++m_nCalls, m_dwData; }
  int nCalls() const { return m_nCalls; }
  void ResetCalls() { m_nCalls = 0; }

 private:
  DWORD m_dwCtx;
  DWORD m_dwData;
  mutable int m_nCalls = 0;
};

TEST_F(Table, TheSameFileAgainCostsTwoContextCallsAndTwoTablesEachFindTheirOwn) {
  CHostDataSourceDescription other{L"Lines"};
  CNATable* second = static_cast<CNATable*>(m_pDriver->piGetTable(&m_host, &other));
  CCountingContext orders(7, 1), lines(7, 2);
  ASSERT_TRUE(m_pTable->bHOuvre(&orders, eNA_ACCESS{0}, nullptr));
  ASSERT_TRUE(second->bHOuvre(&lines, eNA_ACCESS{0}, nullptr));
  ASSERT_TRUE(Read(m_pTable, &orders));
  orders.ResetCalls();
  EXPECT_TRUE(Read(m_pTable, &orders));
  EXPECT_EQ(orders.nCalls(), 2);
  CNADataAccess* forOrders = m_pTable->_pclFindDataAccess(&orders);
  CNADataAccess* forLines = second->_pclFindDataAccess(&lines);
  for (int i = 0; i < 3; ++i) {
    CNADataAccess* a = m_pTable->_pclFindDataAccess(&orders);
    CNADataAccess* b = second->_pclFindDataAccess(&lines);
    EXPECT_EQ(a, forOrders);
    EXPECT_EQ(b, forLines);
    EXPECT_EQ(CNATable::gpclLastDataAccess, forLines);
    a->nRelease();
    b->nRelease();
  }
  EXPECT_NE(forOrders, forLines);
  EXPECT_EQ(forOrders->pclGetTableNoRef(), m_pTable);
  EXPECT_EQ(forLines->pclGetTableNoRef(), second);
  forOrders->nRelease();
  forLines->nRelease();
  // Closed, the cached access is gone from the cache too.
  ASSERT_TRUE(Read(m_pTable, &orders));
  EXPECT_TRUE(m_pTable->bHFerme(&orders));
  EXPECT_EQ(CNATable::gpclLastDataAccess, nullptr);
  EXPECT_FALSE(Read(m_pTable, &orders));
  EXPECT_EQ(TableError(m_pTable), kNotOpened);
  EXPECT_TRUE(second->bHFerme(&lines));
  EXPECT_EQ(second->nExternalRelease(), 0);
}

// A context whose id getters throw once told to.
class CThrowingContext final : public INAContext {
 public:
  DWORD dwGetCtxID() const override { return bThrow ? throw std::runtime_error("ctx"), 0 : 9; }
  DWORD dwGetDataID() const override { return bThrow ? throw std::runtime_error("data"), 0 : 1; }
  bool bThrow = false;
};

// What the host's getters throw leaves the entries that ask them with the driver mutex given up,
// on the cache's hit and on its miss alike.
TEST_F(Table, HostGetterThatThrowsLeavesTheDriverMutexFree) {
  CThrowingContext ctx;
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
  CNAKJRecord* record = nullptr;
  int out = 0;
  const std::pair<const char*, std::function<BOOL()>> rows[] = {
      {"bHLitxxx", [&] { return m_pTable->bHLitxxx(&ctx, L"id", NA_PARSE_NEXT, 1, eNA_LOCKTYPE{0}, nullptr, 0); }},
      {"bHEnDehors", [&] { return m_pTable->bHEnDehors(&ctx, L"id", &out); }},
      {"bGetRecord", [&] { return m_pTable->bGetRecord(&ctx, &record); }},
      {"bHVersion", [&] { return m_pTable->bHVersion(&ctx, &out); }},
  };
  for (const bool cached : {true, false}) {
    for (const auto& [op, call] : rows) {
      SCOPED_TRACE(testing::Message() << op << " cached " << cached);
      ctx.bThrow = false;
      ASSERT_TRUE(Read(m_pTable, &ctx));
      if (!cached) CNATable::g_ForgetDataAccess(CNATable::gpclLastDataAccess);
      ctx.bThrow = true;
      EXPECT_THROW(call(), std::runtime_error);
      EXPECT_FALSE(CNADriver::m_gstDriverCriticalSection.bHeldByMe());
    }
  }
  ctx.bThrow = false;
  EXPECT_TRUE(m_pTable->bHFerme(&ctx));
}

TEST_F(Table, ClosedContextLeavesNoAccessInItsTablesOrTheCache) {
  CHostContext ctx(8, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
  ASSERT_TRUE(Read(m_pTable, &ctx));  // now cached
  EXPECT_TRUE(m_pDriver->bCloseContext(&ctx));
  EXPECT_EQ(m_pTable->dwGetDataAccessCount(), 0u);
  EXPECT_EQ(CNATable::gpclLastDataAccess, nullptr);
  EXPECT_FALSE(Read(m_pTable, &ctx));
  EXPECT_EQ(TableError(m_pTable), kNotOpened);
  EXPECT_EQ(CScriptedAccess::s_nReads, 1);
  EXPECT_FALSE(m_pDriver->bCloseContext(&ctx));
}

TEST_F(Table, DestroyedTableLeavesItsAccessesWithoutATableAndTheNextTableAdoptsThem) {
  CHostContext ctx(9, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
  CNADataAccess* access = m_pTable->_pclFindDataAccess(&ctx);
  // The host's last release of a table only the registry holds: the table goes, the context keeps
  // its open file.
  EXPECT_EQ(m_pTable->nExternalRelease(), 0);
  m_tabHeld.clear();
  EXPECT_EQ(m_pDriver->dwGetTableCount(), 0u);
  EXPECT_EQ(access->pclGetTableNoRef(), nullptr);
  CNATable* again = Get(&m_desc);
  EXPECT_TRUE(Read(again, &ctx));
  EXPECT_EQ(access->pclGetTableNoRef(), again);
  EXPECT_EQ(again->dwGetDataAccessCount(), 1u);
  access->nRelease();
  EXPECT_TRUE(again->bHFerme(&ctx));
  EXPECT_EQ(again->dwGetDataAccessCount(), 0u);
}

TEST_F(Table, ReleasesWhileTheDriverHoldsTheTableKeepIt) {
  INATable* same = m_pDriver->piGetTable(&m_host, &m_desc);
  EXPECT_EQ(same, m_pTable);
  EXPECT_EQ(same->nExternalRelease(), 1);
  m_pTable->AddRef();  // driver code holding it
  EXPECT_EQ(m_pTable->nExternalRelease(), 0);
  m_tabHeld.clear();
  EXPECT_EQ(m_pDriver->dwGetTableCount(), 1u);
  EXPECT_EQ(m_pDriver->nReleaseTable(m_pTable), 0);
  EXPECT_EQ(m_pDriver->dwGetTableCount(), 0u);
}

TEST_F(Table, TheHostEngineIsCheckedUntilItPassesOnce) {
  ParseBench bench;
  CHostContext ctx(10, 1);
  struct Row {
    BOOL answer;
    uint32_t id;
    unsigned int error;
    const wchar_t* first;
  } rows[] = {
      {FALSE, 40, kEngine, L"qx200msql.so"},
      {TRUE, 31, kEngine, L"qx200sql.so"},
      {TRUE, 31, kEngine, L"qx200sql.so"},  // again: the check is made each time until it passes
      {TRUE, 32, kNotOpened, nullptr},
  };
  for (const Row& row : rows) {
    ISQLParserInformation* parse = bench.Parse(L"SELECT nom FROM clients");
    CHostSQLParser::SetHandshake(parse, row.answer, row.id);
    // A failed check comes before the table's error is reset: each row reads its own.
    Err(m_pTable->piGetLastError())->Reset();
    EXPECT_FALSE(m_pTable->bHFiltre(&ctx, parse, nullptr));
    EXPECT_EQ(CHostSQLParser::nHandshakeCalls(parse), 1);
    EXPECT_EQ(TableError(m_pTable), row.error) << row.id;
    if (row.first != nullptr) {
      const std::wstring message = m_pTable->piGetLastError()->pszGetError();
      EXPECT_LT(message.find(row.first), message.find(row.first == std::wstring(L"qx200sql.so") ? L"qx200msql.so"
                                                                                                 : L"qx200sql.so"))
          << row.id;
    }
    parse->nRelease();
  }
  // Passed once, it is never made again, by any table; a null parse never makes it.
  ISQLParserInformation* parse = bench.Parse(L"SELECT nom FROM clients");
  EXPECT_FALSE(m_pTable->bHFiltre(&ctx, L"nom", nullptr, 1, nullptr, 1, parse));
  EXPECT_FALSE(m_pTable->bHFiltre(&ctx, L"nom", nullptr, 1, nullptr, 1, nullptr));
  EXPECT_EQ(CHostSQLParser::nHandshakeCalls(parse), 0);
  parse->nRelease();
}

TEST_F(Table, NullContextIsAnsweredWithError19AndNeverAsked) {
  CHostContext ctx(11, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
  long long n = 0;
  int id = 0;
  const std::pair<const char*, std::function<BOOL()>> rows[] = {
      {"bHLitxxx", [&] { return Read(m_pTable, nullptr); }},
      {"bHNbEnr", [&] { return m_pTable->bHNbEnr(nullptr, &n, 16, 0); }},
      {"bHSauvePosition", [&] { return m_pTable->bHSauvePosition(nullptr, L"id", &id, 0); }},
      {"bHFerme", [&] { return m_pTable->bHFerme(nullptr); }},
      {"bHLiberePosition", [&] { return m_pTable->bHLiberePosition(nullptr, 1); }},
      {"bHDesactiveFiltre", [&] { return m_pTable->bHDesactiveFiltre(nullptr, L"id", 0); }},
      {"bIsOpened", [&] { return m_pTable->bIsOpened(nullptr); }},
      {"bHOuvre", [&] { return m_pTable->bHOuvre(nullptr, eNA_ACCESS{0}, nullptr); }},
      {"bHCreation", [&] { return m_pTable->bHCreation(nullptr, nullptr); }},
      {"bSupprimeFichier", [&] { return m_pTable->bSupprimeFichier(nullptr); }},
      {"bHMode", [&] { return m_pTable->bHMode(nullptr, _eNA_HMODE{1}); }},
      {"bHReindexe", [&] { return m_pTable->bHReindexe(nullptr, 0, nullptr); }},
      {"bNeedCloseQuery", [&] { return m_pTable->bNeedCloseQuery(nullptr, nullptr); }},
      {"llGetRecNum", [&] { return BOOL(m_pTable->llGetRecNum(nullptr) != 0); }},
  };
  for (const auto& [op, call] : rows) {
    Err(m_pTable->piGetLastError())->Reset();
    EXPECT_FALSE(call()) << op;
    EXPECT_EQ(TableError(m_pTable), kNotOpened) << op;
    EXPECT_EQ(m_pTable->piGetLastError(nullptr), m_pTable->piGetLastError()) << op;
  }
  // The refusals read no argument: 8 as always, for no context.
  Err(m_pTable->piGetLastError())->Reset();
  EXPECT_FALSE(m_pTable->bHInterditModif(nullptr));
  EXPECT_EQ(TableError(m_pTable), kNotSupported);
  EXPECT_EQ(m_pTable->dwGetDataAccessCount(), 1u);
  EXPECT_TRUE(Read(m_pTable, &ctx));
}

TEST_F(Table, NullAnswerPointerIsRefusedWithError4) {
  CHostContext ctx(12, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
  const std::pair<const char*, std::function<BOOL()>> rows[] = {
      {"bHVersion", [&] { return m_pTable->bHVersion(&ctx, nullptr); }},
      {"bHNbEnr", [&] { return m_pTable->bHNbEnr(&ctx, nullptr, 16, 0); }},
      {"bHSauvePosition", [&] { return m_pTable->bHSauvePosition(&ctx, L"id", nullptr, 0); }},
      {"bGetRecord", [&] { return m_pTable->bGetRecord(&ctx, nullptr); }},
      {"bCompareTablePosition", [&] { return m_pTable->bCompareTablePosition(&ctx, 1, 1, nullptr); }},
      {"bNbEnrNeedParse", [&] { return m_pTable->bNbEnrNeedParse(&ctx, nullptr, L"id"); }},
  };
  for (const auto& [op, call] : rows) {
    EXPECT_FALSE(call()) << op;
    EXPECT_EQ(Err(m_pTable->piGetLastError(&ctx))->nGetUserErrorCode(), 4u) << op;
  }
  CNADataAccess* access = m_pTable->_pclFindDataAccess(&ctx);
  EXPECT_EQ(access->nGetSavedPositionCount(), 0);
  access->nRelease();
}

// A table made without an error object (its driver had none) forwards as any table: its entries
// answer through the context's access, the access's failures reach the context, and the host
// reads no error of the table's own, before the cache holds the access and once it does.
TEST_F(Table, TableWithoutAnErrorObjectForwardsAndHandsOutNone) {
  CHostContext ctx(14, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
  CNATable* bare = new CNATable(L"bare", &m_desc, nullptr, nullptr);
  bare->ExternalAddRef();
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    int version = -1;
    EXPECT_TRUE(bare->bHVersion(&ctx, &version));
    EXPECT_FALSE(bare->bHVersion(&ctx, nullptr));
    EXPECT_EQ(Err(bare->piGetLastError(&ctx))->nGetUserErrorCode(), 4u);
    EXPECT_TRUE(bare->bHVersion(&ctx, &version));
    EXPECT_EQ(Err(bare->piGetLastError(&ctx))->nGetUserErrorCode(), 0u);
    EXPECT_FALSE(bare->bHVersion(nullptr, &version));
    EXPECT_EQ(bare->piGetLastError(), nullptr);
  }
  EXPECT_EQ(bare->nExternalRelease(), 0);
}

// The cache's hit resets the error of the access it finds, whichever access it held before: a
// failure in one context stays for its host to read while another context's file is read, and
// the next success in its own context clears it. An access without an error object is cached and
// answers as any other.
TEST_F(Table, TheCacheHitResetsTheErrorOfTheAccessItFindsAlone) {
  CTableDriver::s_bContextsWithoutError = true;
  CHostContext bare(23, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&bare, eNA_ACCESS{0}, nullptr));
  CTableDriver::s_bContextsWithoutError = false;
  CHostContext first(21, 1), second(22, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&first, eNA_ACCESS{0}, nullptr));
  ASSERT_TRUE(m_pTable->bHOuvre(&second, eNA_ACCESS{0}, nullptr));
  auto code = [&](CHostContext* ctx) { return Err(m_pTable->piGetLastError(ctx))->nGetUserErrorCode(); };
  CNAKJRecord* record = nullptr;
  struct Step {
    CHostContext* ctx;
    bool outGiven;
    unsigned int firstAfter, secondAfter;
  };
  const Step steps[] = {
      {&first, false, 4, 0}, {&second, true, 4, 0}, {&second, true, 4, 0},  {&bare, true, 4, 0},
      {&bare, true, 4, 0},   {&first, true, 0, 0},  {&first, false, 4, 0}, {&second, false, 4, 4},
      {&second, true, 4, 0}, {&first, true, 0, 0},  {&bare, false, 0, 0},  {&bare, true, 0, 0},
  };
  for (int round = 0; round < 2; ++round) {
    for (const Step& step : steps) {
      SCOPED_TRACE(testing::Message() << round << " " << (&step - steps));
      // The cached entries: the one that reads the record, whose file holds none here.
      EXPECT_FALSE(m_pTable->bGetRecord(step.ctx, step.outGiven ? &record : nullptr));
      CNADataAccess* const cached = CNATable::gpclLastDataAccess;
      CNADataAccess* const own = m_pTable->_pclFindDataAccess(step.ctx);
      EXPECT_EQ(cached, own);
      own->nRelease();
      EXPECT_EQ(code(&first), step.firstAfter);
      EXPECT_EQ(code(&second), step.secondAfter);
      EXPECT_EQ(m_pTable->piGetLastError(&bare), nullptr);
    }
  }
}

// The table's context forwarders answer what the driver's registry holds: a context made for a
// host context without a file leaves the registry with its last release, one with a file stays.
TEST_F(Table, ContextForwardersReachTheDriversRegistry) {
  CHostContext bare(11, 1), opened(12, 1);
  EXPECT_EQ(m_pTable->_pclFindContext(&bare), nullptr);
  EXPECT_EQ(m_pTable->_pclFindContext(nullptr), nullptr);
  int created = -1;
  EXPECT_EQ(m_pTable->_pclGetContext(nullptr, &created), nullptr);
  EXPECT_EQ(created, 0);
  CNAContext* made = m_pTable->_pclGetContext(&bare, &created);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(m_pTable->_nReleaseContext(&bare, made), 0);
  EXPECT_EQ(m_pTable->_pclFindContext(&bare), nullptr);
  EXPECT_EQ(m_pTable->_nReleaseContext(&bare, nullptr), 0);

  ASSERT_TRUE(m_pTable->bHOuvre(&opened, eNA_ACCESS{0}, nullptr));
  CNAContext* again = m_pTable->_pclGetContext(&opened, &created);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(created, 0);
  EXPECT_TRUE(again->bHasDataAccess());
  CNAContext* found = m_pTable->_pclFindContext(&opened);
  EXPECT_EQ(found, again);
  EXPECT_GT(m_pTable->_nReleaseContext(&opened, found), 0);
  EXPECT_GT(m_pTable->_nReleaseContext(&opened, again), 0);
  EXPECT_TRUE(Read(m_pTable, &opened));
  EXPECT_TRUE(m_pTable->bHFerme(&opened));
  EXPECT_EQ(m_pTable->_pclFindContext(&opened), nullptr);
}

// A data access's source query type is its parsed statement's kind; none for a table.
TEST_F(Table, SourceQueryTypeIsTheParsedStatementsKind) {
  ParseBench bench;
  const struct {
    const wchar_t* query;  // null: a table
    eNAQUERYTYPE type;
  } rows[] = {
      {nullptr, NA_QUERY_NONE},
      {L"SELECT nom FROM clients", NA_QUERY_SELECT},
      {L"UPDATE clients SET nom = 'a'", NA_QUERY_UPDATE},
      {L"INSERT INTO clients (nom) VALUES ('a')", NA_QUERY_INSERT},
      {L"DELETE FROM clients WHERE nom = 'a'", NA_QUERY_DELETE},
  };
  DWORD file = 1;
  for (const auto& row : rows) {
    CHostContext ctx(13, file++);
    ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr));
    CNADataAccess* access = m_pTable->_pclFindDataAccess(&ctx);
    ASSERT_NE(access, nullptr);
    if (row.query != nullptr) {
      ISQLParserInformation* query = bench.Parse(row.query);
      ASSERT_NE(query, nullptr) << ParseBench::Narrow(row.query);
      static_cast<CScriptedAccess*>(access)->SetSourceQuery(query);
      query->nRelease();
    }
    EXPECT_EQ(access->eSourceQueryType(), row.type) << (row.query != nullptr ? ParseBench::Narrow(row.query) : "table");
    access->nRelease();
    EXPECT_TRUE(m_pTable->bHFerme(&ctx));
  }
}

// Orders open in three files of two contexts, Lines in a third file of context 1, and Orders on a
// second connection in context 3.
class TableWalk : public Table {
 protected:
  void SetUp() override {
    Table::SetUp();
    m_other.m_pszPassword = L"other";
    m_pLines = Get(&m_linesDesc);
    INATable* t = m_pDriver->piGetTable(&m_other, &m_desc);
    m_tabHeld.push_back(t);
    m_pOtherOrders = static_cast<CNATable*>(t);
    ASSERT_NE(m_pOtherOrders, m_pTable);
    OpenAll();
  }
  void OpenAll() {
    for (CHostContext* ctx : {&m_c11, &m_c12, &m_c21}) ASSERT_TRUE(m_pTable->bHOuvre(ctx, eNA_ACCESS{0}, nullptr));
    ASSERT_TRUE(m_pLines->bHOuvre(&m_c13, eNA_ACCESS{0}, nullptr));
    ASSERT_TRUE(m_pOtherOrders->bHOuvre(&m_c31, eNA_ACCESS{0}, nullptr));
    CScriptedAccess::s_tabLog.clear();
  }
  static std::vector<std::string> Calls() {
    std::vector<std::string> log = CScriptedAccess::s_tabLog;
    std::sort(log.begin(), log.end());
    return log;
  }

  CHostDataSourceDescription m_linesDesc{L"Lines"}, m_emptyDesc{L"Empty"};
  CHostConnectionDescription m_other;
  CNATable* m_pLines = nullptr;
  CNATable* m_pOtherOrders = nullptr;
  CHostContext m_c11{1, 1}, m_c12{1, 2}, m_c13{1, 3}, m_c21{2, 1}, m_c31{3, 1};
};

TEST_F(TableWalk, EachWalkReachesTheAccessesItNames) {
  const std::string o1 = " Orders 1", o2 = " Orders 2";
  // Run with every close and filter failing as well (fail), unless the row says it cannot.
  struct Row {
    const char* walk;
    std::function<BOOL()> call;
    BOOL answer;
    std::vector<std::string> log;
    DWORD ordersLeft;
    bool failToo;
  } rows[] = {
      {"close all", [&] { return m_pTable->bCloseAllDataAccess(); }, TRUE,
       {"close" + o1, "close" + o1, "close" + o2}, 3, true},
      {"close by name, case and accents ignored", [&] { return m_pTable->bCloseAllDataAccess(&m_c11, L"ÔRDERS"); },
       TRUE, {"close" + o1, "close" + o1}, 1, true},
      {"close by another name", [&] { return m_pTable->bCloseAllDataAccess(&m_c11, L"Lines"); }, TRUE, {}, 3, false},
      {"close all of a table without files", [&] { return Get(&m_emptyDesc)->bCloseAllDataAccess(); }, TRUE, {}, 3,
       false},
      {"filter with a star", [&] { return m_pTable->bFiltreAuto(&m_c12, 2, L"*Lines", L"x", nullptr); }, TRUE,
       {"filter" + o1, "filter" + o1}, 3, true},
      {"filter by name", [&] { return m_pTable->bFiltreAuto(&m_c21, 2, L"orders", L"x", nullptr); }, TRUE,
       {"filter" + o2}, 3, true},
      {"filter by another name", [&] { return m_pTable->bFiltreAuto(&m_c11, 2, L"Lines", L"x", nullptr); }, TRUE, {},
       3, false},
      {"first filter only", [&] { return m_pTable->bFiltreAuto(&m_c11, 2, L"ORDERS"); }, TRUE, {"filter1" + o1}, 3,
       false},
      {"first filter, another name", [&] { return m_pTable->bFiltreAuto(&m_c11, 2, L"Lines"); }, TRUE, {}, 3, false},
      {"record locks of one host connection",
       [&] {
         m_pDriver->CancelRecordLock(&m_host, nullptr);
         return TRUE;
       },
       TRUE, {"cancel Lines 1", "cancel" + o1, "cancel" + o1, "cancel" + o2}, 3, false},
      {"record locks of the other",
       [&] {
         m_pDriver->CancelRecordLock(&m_other, nullptr);
         return TRUE;
       },
       TRUE, {"cancel Orders 3"}, 3, false},
      {"close by name without a context", [&] { return m_pTable->bCloseAllDataAccess(nullptr, L"Orders"); }, FALSE,
       {}, 3, false},
      {"filter without a context", [&] { return m_pTable->bFiltreAuto(nullptr, 2, L"*", L"x", nullptr); }, FALSE, {},
       3, false},
      {"first filter without a context", [&] { return m_pTable->bFiltreAuto(nullptr, 2, L"Orders"); }, FALSE, {}, 3,
       false},
  };
  for (Row& row : rows) {
    for (BOOL succeed : {TRUE, FALSE}) {
      if (!succeed && !row.failToo) continue;
      OpenAll();
      Err(m_pTable->piGetLastError())->Reset();
      CScriptedAccess::s_bSucceed = succeed;
      const BOOL answer = row.call();
      CScriptedAccess::s_bSucceed = TRUE;
      EXPECT_EQ(answer, succeed ? row.answer : FALSE) << row.walk << (succeed ? "" : ", failing");
      EXPECT_EQ(Calls(), row.log) << row.walk;
      EXPECT_EQ(m_pTable->dwGetDataAccessCount(), row.ordersLeft) << row.walk;
      EXPECT_EQ(TableError(m_pTable), row.answer ? 0u : kNotOpened) << row.walk;
      // Removed files answer 19, the others read on; Lines and the other connection are never touched.
      EXPECT_EQ(Read(m_pTable, &m_c11), row.ordersLeft == 3) << row.walk;
      EXPECT_TRUE(Read(m_pTable, &m_c21)) << row.walk;
      EXPECT_TRUE(Read(m_pLines, &m_c13)) << row.walk;
      EXPECT_TRUE(Read(m_pOtherOrders, &m_c31)) << row.walk;
    }
  }
}

TEST_F(TableWalk, ClosingFilesByNameLeavesTheCallersFileOfAnotherTableOpen) {
  // The caller's own file id (3) is a file of Lines; the Orders files of its context are 1 and 2.
  ASSERT_TRUE(Read(m_pTable, &m_c11));  // the one-entry cache on an Orders file
  EXPECT_TRUE(m_pTable->bCloseAllDataAccess(&m_c13, L"Orders"));
  EXPECT_TRUE(Read(m_pLines, &m_c13));
  for (CHostContext* ctx : {&m_c11, &m_c12}) {
    EXPECT_FALSE(Read(m_pTable, ctx));
    EXPECT_EQ(TableError(m_pTable), kNotOpened);
  }
  EXPECT_EQ(m_pTable->dwGetDataAccessCount(), 1u);
  EXPECT_EQ(m_pLines->dwGetDataAccessCount(), 1u);
}

TEST_F(TableWalk, HModeReachesTheContextsFilesOfTheTablesNameAndBecomesTheContextsDefault) {
  const _eNA_HMODE mode{2};
  ASSERT_TRUE(m_pTable->bHMode(&m_c13, mode));  // the caller's own file is a file of Lines
  struct Row {
    CNATable* table;
    CHostContext* ctx;
    int mode;
  } rows[] = {{m_pTable, &m_c11, 2}, {m_pTable, &m_c12, 2}, {m_pTable, &m_c21, 1}, {m_pLines, &m_c13, 1}};
  for (const Row& r : rows) {
    CNADataAccess* access = r.table->_pclFindDataAccess(r.ctx);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(static_cast<int>(access->eGetHMode()), r.mode) << r.ctx->dwGetCtxID() << "." << r.ctx->dwGetDataID();
    access->nRelease();
  }
  CNAContext* context = m_pDriver->pclFindContext(&m_c11);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(static_cast<int>(context->eGetDefaultMode()), 2);
  m_pDriver->nReleaseContext(&m_c11, context);
  // A context without files: TRUE, and no file is made for it.
  CHostContext fresh(8, 1);
  EXPECT_TRUE(m_pTable->bHMode(&fresh, mode));
  EXPECT_EQ(m_pTable->dwGetDataAccessCount(), 3u);
  EXPECT_FALSE(Read(m_pTable, &fresh));
}

TEST_F(TableWalk, AccessesFoundByContextAndTheQueryTest) {
  for (DWORD id : {1u, 2u, 9u}) {
    CNADataAccess* found = m_pTable->pclFindDataAccessByContext(id);
    EXPECT_EQ(found != nullptr, id != 9) << id;
    if (found == nullptr) continue;
    EXPECT_EQ(found->dwGetContextID(), id);
    EXPECT_EQ(found->pclGetTableNoRef(), m_pTable);
    found->nRelease();
  }
  ParseBench bench;
  ISQLParserInformation* runs = bench.Parse(L"SELECT nom FROM clients");
  CHostContext fresh(4, 1);
  struct Row {
    const char* question;
    INAContext* ctx;
    const wchar_t* query;
    BOOL answer;
  } rows[] = {
      {"no file yet: one is made", &fresh, L"SELECT nom FROM clients", FALSE},
      {"a file without a query", &fresh, L"SELECT nom FROM clients", TRUE},
      {"the same query, other case", &m_c11, L"select NOM from CLIENTS", FALSE},
      {"another query", &m_c11, L"SELECT ville FROM clients", TRUE},
      {"no context", nullptr, L"SELECT nom FROM clients", FALSE},
  };
  CNADataAccess* access = m_pTable->_pclFindDataAccess(&m_c11);
  static_cast<CScriptedAccess*>(access)->SetSourceQuery(runs);
  access->nRelease();
  for (const Row& row : rows) {
    ISQLParserInformation* query = bench.Parse(row.query);
    EXPECT_EQ(m_pTable->bNeedCloseQuery(row.ctx, query), row.answer) << row.question;
    query->nRelease();
  }
  EXPECT_EQ(m_pTable->dwGetDataAccessCount(), 4u);
  EXPECT_EQ(TableError(m_pTable), kNotOpened);  // the last row's
  EXPECT_TRUE(m_pTable->bHFerme(&fresh));
  EXPECT_TRUE(m_pTable->bHFerme(&m_c11));
  runs->nRelease();
}

}  // namespace

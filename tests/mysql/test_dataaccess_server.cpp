// The data access's lifecycle against the private server, on tables whose names need backquotes:
// opening checks the table once, a missing table is an error the host can read, a table that
// does not match is refused untouched. Every text the driver sends is counted at the client
// library's query call.
#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <new>
#include <string>

#include "access/nadataaccess.h"
#include "host/host_datasource.h"
#include "tests/mysql/live_connection.h"

// The allocation seam: every nothrow allocation of the driver is counted, and the one numbered
// g_nFailAt (when not 0) answers null. Memory comes from the ordinary operator new, so the
// ordinary delete frees it.
namespace {
long g_nNewCalls = 0, g_nFailAt = 0;
void* CountedNew(std::size_t n, bool array) noexcept {
  if (g_nFailAt != 0 && ++g_nNewCalls == g_nFailAt) return nullptr;
  try {
    return array ? ::operator new[](n) : ::operator new(n);
  } catch (...) {
    return nullptr;
  }
}
}  // namespace
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return CountedNew(n, false); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return CountedNew(n, true); }

namespace {

int g_nSent = 0;
decltype(__mysql_real_query) g_pfnQuery = nullptr;
int CountingQuery(MYSQL* h, const char* text, unsigned long length) {
  ++g_nSent;
  return g_pfnQuery(h, text, length);
}

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) {
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else {
      s += static_cast<char>(0xC0 | (c >> 6));
      s += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return s;
}

class LiveAccess : public LiveConnection {
 protected:
  LiveAccess() : LiveConnection("_acc") {}
  void SetUp() override {
    // The fixture owns its error object: the accesses only count on it.
    CNAError::s_Hold(&m_error);
    LiveConnection::SetUp();
    ASSERT_FALSE(HasFatalFailure());
    // The fixture owns its connection: the accesses give back their references, never delete it.
    m_pCnx->SetStatic(true);
    g_pfnQuery = __mysql_real_query;
    __mysql_real_query = CountingQuery;
  }
  void TearDown() override {
    for (const std::wstring& t : m_tabCreated) RunUtf8("DROP TABLE IF EXISTS " + Quoted(t));
    if (g_pfnQuery != nullptr) __mysql_real_query = g_pfnQuery;
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = nullptr;
    LiveConnection::TearDown();
  }
  // A table name the server only takes between backquotes.
  std::wstring Name(const std::wstring& shape) {
    std::wstring name = shape + std::to_wstring(getpid());
    m_tabCreated.push_back(name);
    return name;
  }
  static std::string Quoted(const std::wstring& name) {
    std::string q = "`";
    for (char c : Narrow(name)) q += c == '`' ? std::string("``") : std::string(1, c);
    return q + "`";
  }
  // Names go as UTF-8: the raw connection's character set.
  BOOL RunUtf8(const std::string& sql) {
    std::string err;
    ::RawRows rows;
    return m_raw.query(sql, &rows, &err) ? TRUE : FALSE;
  }
  std::string Count(const std::wstring& table) { return Rows("SELECT COUNT(*) FROM " + Quoted(table), true); }
  CHostItemDescription* Item(const wchar_t* name, eNA_ITEMTYPE type, unsigned int size, unsigned short keys = 0) {
    CHostItemDescription& item = m_items.emplace_back(name, type, size);
    item.m_wKeyFlags = keys;
    m_desc.Add(&item);
    return &item;
  }
  // The access over the items added, on the driver's connection.
  CNADataAccess* Access(const std::wstring& table) {
    m_csTable = table;
    m_desc.m_pszName = m_desc.m_pszDBTableName = m_desc.m_pszPhysicalName = m_csTable.c_str();
    m_pAccess = m_driver.pclAllocDataAccess(&m_desc, m_pCnx.get(), &m_error);
    m_pAccess->AddRef();
    m_error.Reset();
    g_nSent = 0;
    return m_pAccess;
  }

  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_desc;
  std::wstring m_csTable;
  std::vector<std::wstring> m_tabCreated;
  CNADataAccess* m_pAccess = nullptr;
};

const wchar_t* const kShapes[] = {L"qx blank ", L"select", L"qx`tick", L"qx\u00e9t\u00e9"};

TEST_P(LiveAccess, OpenChecksTheTableOnceAndThenSendsNothing) {
  for (const wchar_t* shape : kShapes) {
    const std::wstring table = Name(shape);
    ASSERT_TRUE(RunUtf8("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, t VARCHAR(20), n INT)"));
    ASSERT_TRUE(RunUtf8("INSERT INTO " + Quoted(table) + " VALUES (1, 'a', NULL)"));
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = nullptr;
    m_items.clear();
    m_desc = CHostRecordDescription();
    Item(L"id", NA_IT_I4, 4, 0x8000);
    Item(L"T", NA_IT_TEXTE, 21);
    Item(L"n", NA_IT_I4, 4);
    CNADataAccess* a = Access(table);
    ASSERT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Narrow(table) << " " << m_error.pszGetError();
    EXPECT_TRUE(a->bIsOpened());
    EXPECT_GT(g_nSent, 0);
    EXPECT_NE(a->pclGetCurrentRecordNoRef(), nullptr);
    g_nSent = 0;
    EXPECT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr));
    EXPECT_TRUE(a->bHCreationSiInexistant(eNA_ACCESS{0}, nullptr) || g_nSent > 0);
    a->bHFerme();
    EXPECT_FALSE(a->bIsOpened());
    // Closed, then opened again: the table matched once, it is not asked again.
    g_nSent = 0;
    EXPECT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr));
    EXPECT_EQ(g_nSent, 0) << Narrow(table);
    EXPECT_EQ(Count(table), "1");
  }
}

TEST_P(LiveAccess, TableThatDoesNotMatchIsRefusedAndKeepsItsRows) {
  const std::wstring table = Name(L"qx mis`match ");
  ASSERT_TRUE(RunUtf8("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, t VARCHAR(20))"));
  ASSERT_TRUE(RunUtf8("INSERT INTO " + Quoted(table) + " VALUES (1, 'a'), (2, 'b')"));
  Item(L"id", NA_IT_I4, 4, 0x8000);
  Item(L"t", NA_IT_TEXTE, 21);
  Item(L"absent", NA_IT_I4, 4);
  CNADataAccess* a = Access(table);
  struct Row {
    const char* name;
    BOOL (*call)(CNADataAccess*);
  } rows[] = {
      {"open", [](CNADataAccess* x) { return x->bHOuvre(eNA_ACCESS{0}, nullptr); }},
      {"open or create", [](CNADataAccess* x) { return x->bHCreationSiInexistant(eNA_ACCESS{0}, nullptr); }},
      // Asked again: a mismatch is never remembered as a match.
      {"open again", [](CNADataAccess* x) { return x->bHOuvre(eNA_ACCESS{0}, nullptr); }},
  };
  for (const Row& r : rows) {
    m_error.Reset();
    g_nSent = 0;
    EXPECT_FALSE(r.call(a)) << r.name;
    EXPECT_GT(g_nSent, 0) << r.name;
    EXPECT_FALSE(a->bIsOpened()) << r.name;
    EXPECT_EQ(static_cast<int>(m_error.eGetErrorLevel()), 2) << r.name;
    EXPECT_EQ(m_error.dwGetErrorId(), 20u) << r.name;
    EXPECT_EQ(Count(table), "2") << r.name;
  }
}

TEST_P(LiveAccess, MissingTableIsAnErrorTheHostCanRead) {
  Item(L"id", NA_IT_I4, 4, 0x8000);
  CNADataAccess* a = Access(Name(L"qx never made "));
  int exists = -1, compatible = -1;
  // Nothing held yet: error 15; after that the missing-file text is put first.
  EXPECT_FALSE(a->bFichierExiste(&exists, &compatible));
  EXPECT_EQ(exists, 0);
  EXPECT_EQ(compatible, 0);
  EXPECT_FALSE(a->bHOuvre(eNA_ACCESS{0}, nullptr));
  EXPECT_EQ(static_cast<int>(m_error.eGetErrorLevel()), 2);
  const std::wstring dump = m_error.pszGetError();
  EXPECT_NE(dump.find(L"qx never made "), std::wstring::npos) << Narrow(dump);
  EXPECT_FALSE(a->bIsOpened());
  EXPECT_EQ(a->pclGetImportedDataSourceDesc(), nullptr);
}

// A failure at each allocation of an open: the open fails with an error and leaves the access
// closed, or it did not need that allocation; nothing leaks (LeakSanitizer checks at exit).
TEST_P(LiveAccess, FailedAllocationInAnOpenLeavesAnErrorAndNoHalfOpenAccess) {
  const std::wstring table = Name(L"qx fail ");
  ASSERT_TRUE(RunUtf8("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, t VARCHAR(20), m TEXT, KEY (t))"));
  Item(L"id", NA_IT_I4, 4, 0x8000);
  Item(L"t", NA_IT_TEXTE, 21, 0x2000);
  Item(L"m", NA_IT_MEMOTEXTE, 8);
  int failures = 0;
  for (long at = 1;; ++at) {
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = nullptr;
    CNADataAccess* a = Access(table);
    g_nNewCalls = 0;
    g_nFailAt = at;
    const BOOL ok = a->bHOuvre(eNA_ACCESS{0}, nullptr);
    const bool failed = g_nNewCalls >= at;
    g_nFailAt = 0;
    if (!failed) {
      EXPECT_TRUE(ok) << at;
      break;
    }
    ASSERT_LT(at, 10000);
    if (ok) {
      // An allocation the open could do without: the access is whole.
      EXPECT_NE(a->pclGetCurrentRecordNoRef(), nullptr) << at;
      EXPECT_NE(a->pclGetImportedDescNoRef(), nullptr) << at;
      continue;
    }
    ++failures;
    EXPECT_FALSE(a->bIsOpened()) << at;
    EXPECT_NE(static_cast<int>(m_error.eGetErrorLevel()), 1) << at;
  }
  EXPECT_GT(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveAccess,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

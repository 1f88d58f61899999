// The data access's lifecycle against the private server, on tables whose names need backquotes:
// opening checks the table once, a missing table is an error the host can read, a table that
// does not match is refused untouched, creation makes the table with its indexes, deletions send
// one statement, an UPDATE that finds no row is an error, a record save outlives a change on the
// server. Every text the driver sends is counted (and kept) at the client library's query call;
// every host object the access referenced is given back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "access/nadataaccess.h"
#include "access/nadatasourcedescription.h"
#include "access/narecord.h"
#include "mysql/mysqlstatementsql.h"
#include "sql/nacolumn.h"
#include "sql/nastatement.h"
#include "tests/support/any_test_values.h"
#include "tests/support/search_values.h"
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
std::vector<std::string> g_tabSent;
decltype(__mysql_real_query) g_pfnQuery = nullptr;
int CountingQuery(MYSQL* h, const char* text, unsigned long length) {
  ++g_nSent;
  g_tabSent.emplace_back(text, length);
  return g_pfnQuery(h, text, length);
}

class LiveAccess : public LiveConnection {
 protected:
  // Values are converted by the VM's functions.
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveAccess() : LiveConnection("_acc") {}
  static void SetUpTestSuite() { VM::Bind(); }
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
    // The access gave back every reference it took on the host's objects.
    EXPECT_EQ(m_desc.nGetRefCount(), 0);
    for (const CHostItemDescription& item : m_items) EXPECT_EQ(item.nGetRefCount(), 0) << Utf8(item.pszGetName());
    LiveConnection::TearDown();
  }
  // A table name the server only takes between backquotes.
  std::wstring Name(const std::wstring& shape) {
    std::wstring name = shape + std::to_wstring(getpid());
    m_tabCreated.push_back(name);
    return name;
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
    // A table's item is its own column.
    item.m_pszNameInSource = name;
    item.m_pszSourceName = L"";
    m_desc.Add(&item);
    return &item;
  }
  // The access over the items added, on the driver's connection, in place of any former one.
  CNADataAccess* Access(const std::wstring& table) {
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_csTable = table;
    m_desc.m_pszName = m_desc.m_pszDBTableName = m_desc.m_pszPhysicalName = m_csTable.c_str();
    m_pAccess = m_driver.pclAllocDataAccess(&m_desc, m_pCnx.get(), &m_error);
    m_pAccess->AddRef();
    m_error.Reset();
    g_nSent = 0;
    g_tabSent.clear();
    return m_pAccess;
  }
  // Items for a new access: none yet (the former access, which holds the items, goes first).
  void NoItems() {
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = nullptr;
    m_desc = CHostRecordDescription();
    m_items.clear();
  }
  // table made on the server with columns and rows, and an opened access over the items added;
  // null (a failure added) when either cannot be.
  CNADataAccess* OpenNew(const std::wstring& table, const std::string& columns, const std::string& rows) {
    if (!RunUtf8("CREATE TABLE " + Quoted(table) + " " + columns) ||
        !RunUtf8("INSERT INTO " + Quoted(table) + " VALUES " + rows)) {
      ADD_FAILURE() << "cannot make " << Utf8(table);
      return nullptr;
    }
    CNADataAccess* access = Access(table);
    if (access->bHOuvre(eNA_ACCESS{0}, nullptr)) return access;
    ADD_FAILURE() << "cannot open " << Utf8(table) << ": " << Utf8(m_error.pszGetError());
    return nullptr;
  }
  // The texts sent since the access was made that start with prefix.
  static int SentStarting(const std::string& prefix) {
    return static_cast<int>(std::count_if(g_tabSent.begin(), g_tabSent.end(),
                                          [&](const std::string& t) { return t.rfind(prefix, 0) == 0; }));
  }
  // The table's indexes as "name:non-unique:columns", sorted; generated names read "QXIDX".
  std::string Indexes(const std::wstring& table) {
    std::string literal;
    for (char c : Utf8(table)) literal += c == '\'' ? std::string("''") : std::string(1, c);
    ::RawRows rows;
    std::string err;
    if (!m_raw.query("SELECT INDEX_NAME, NON_UNIQUE, GROUP_CONCAT(COLUMN_NAME ORDER BY SEQ_IN_INDEX) "
                     "FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" +
                         literal + "' GROUP BY INDEX_NAME, NON_UNIQUE",
                     &rows, &err))
      return "error: " + err;
    std::vector<std::string> found;
    for (const ::RawRow& r : rows) {
      std::string name = r.at(0).value_or("NULL");
      if (name.rfind("QXIDX", 0) == 0) name = "QXIDX";
      found.push_back(name + ":" + r.at(1).value_or("NULL") + ":" + r.at(2).value_or("NULL"));
    }
    std::sort(found.begin(), found.end());
    std::string out;
    for (const std::string& f : found) out += (out.empty() ? "" : " ") + f;
    return out;
  }

  // The row of the access's table that where selects, read into the current record as a browse
  // reads it (each column's value from the server, then the record as read becomes the
  // original); FALSE without a row.
  bool Read(CNADataAccess* access, const std::string& where) {
    CNARecord* record = access->pclGetCurrentRecordNoRef();
    std::wstring columns;
    for (int i = 0; i < record->nGetNbColumn(); ++i)
      columns += (i > 0 ? L", " : L"") + std::wstring(record->pclGetColumnNoRef(i)->pszGetFormatedName());
    CMySQLStatementSQL sql(m_pCnx.get(), &m_error);
    sql.SetStatic(true);
    const std::wstring text =
        L"SELECT " + columns + L" FROM " + access->pszGetFormatedTableName() + L" WHERE " + Wide(where);
    if (!sql.bExecuteDirect(text.c_str(), nullptr, 0) || !sql.bFetch(0) || sql.bIsEnd()) return false;
    for (int i = 0; i < record->nGetNbColumn(); ++i) {
      CNAColumn* c = record->pclGetColumnNoRef(i);
      if (!sql.bGetValue(c->pclGetNAValue(), static_cast<unsigned int>(i), 0)) return false;
      c->_SetItemValueDefinedInKJRecord(c->pclGetNAValue()->bIsNull() ? FALSE : TRUE, 0);
      c->SetNotModified();
    }
    return record->bCopyCurrentRecordToOriginalRecord() != 0;
  }
  // The current record's values as "name=value;" ("NULL" for NULL).
  static std::wstring Values(CNARecord* record) {
    std::wstring out;
    for (int i = 0; i < record->nGetNbColumn(); ++i) {
      CAny v;
      CNAColumn* c = record->pclGetColumnNoRef(i);
      c->bGetCurrentValue(&v, 0);
      out += std::wstring(c->pszGetName()) + L"=" + Show(v) + L";";
    }
    return out;
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
    NoItems();
    Item(L"id", NA_IT_I4, 4, 0x8000);
    Item(L"T", NA_IT_TEXTE, 21);
    Item(L"n", NA_IT_I4, 4);
    CNADataAccess* a = OpenNew(table, "(id INT PRIMARY KEY, t VARCHAR(20), n INT)", "(1, 'a', NULL)");
    ASSERT_NE(a, nullptr);
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
    EXPECT_EQ(g_nSent, 0) << Utf8(table);
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
    unsigned int error;
  } rows[] = {
      {"open", [](CNADataAccess* x) { return x->bHOuvre(eNA_ACCESS{0}, nullptr); }, 20},
      {"open or create", [](CNADataAccess* x) { return x->bHCreationSiInexistant(eNA_ACCESS{0}, nullptr); }, 20},
      // Asked again: a mismatch is never remembered as a match.
      {"open again", [](CNADataAccess* x) { return x->bHOuvre(eNA_ACCESS{0}, nullptr); }, 20},
      // A creation that does not drop first is the server's refusal.
      {"create over it", [](CNADataAccess* x) { return x->bHCreation(nullptr, 0); }, 22},
  };
  for (const Row& r : rows) {
    m_error.Reset();
    g_nSent = 0;
    EXPECT_FALSE(r.call(a)) << r.name;
    EXPECT_GT(g_nSent, 0) << r.name;
    EXPECT_FALSE(a->bIsOpened()) << r.name;
    EXPECT_EQ(static_cast<int>(m_error.eGetErrorLevel()), 2) << r.name;
    EXPECT_EQ(m_error.dwGetErrorId(), r.error) << r.name << ": " << Utf8(m_error.pszGetError());
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
  EXPECT_NE(dump.find(L"qx never made "), std::wstring::npos) << Utf8(dump);
  EXPECT_FALSE(a->bIsOpened());
  EXPECT_EQ(a->pclGetImportedDataSourceDesc(), nullptr);
}

// A failure at each allocation of an open, a creation (dropping the table first, or of a missing
// table) and a deletion of every row: the operation fails with an error and leaves the access
// closed, or it did not need that allocation and is whole; nothing leaks (LeakSanitizer checks at
// exit).
TEST_P(LiveAccess, FailedAllocationInAnOpenLeavesAnErrorAndNoHalfOpenAccess) {
  const std::wstring table = Name(L"qx fail ");
  ASSERT_TRUE(RunUtf8("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, t VARCHAR(20), m TEXT, KEY (t))"));
  Item(L"id", NA_IT_I4, 4, 0x8000);
  Item(L"t", NA_IT_TEXTE, 21, 0x2000);
  Item(L"m", NA_IT_MEMOTEXTE, 8);
  struct Row {
    const char* name;
    BOOL (*call)(CNADataAccess*);
    bool opens, missing;
  } rows[] = {
      {"open", [](CNADataAccess* x) { return x->bHOuvre(eNA_ACCESS{0}, nullptr); }, true, false},
      {"create", [](CNADataAccess* x) { return x->bHCreation(nullptr, 1); }, true, false},
      {"create when missing", [](CNADataAccess* x) { return x->bHCreationSiInexistant(eNA_ACCESS{0}, nullptr); },
       true, true},
      {"delete all", [](CNADataAccess* x) { return x->bSupprimeTout(); }, false, false},
  };
  for (const Row& r : rows) {
    int failures = 0;
    for (long at = 1;; ++at) {
      if (r.missing) {
        ASSERT_TRUE(RunUtf8("DROP TABLE IF EXISTS " + Quoted(table)));
      }
      CNADataAccess* a = Access(table);
      g_nNewCalls = 0;
      g_nFailAt = at;
      const BOOL ok = r.call(a);
      const bool failed = g_nNewCalls >= at;
      g_nFailAt = 0;
      if (!failed) {
        EXPECT_TRUE(ok) << r.name << " " << at << ": " << Utf8(m_error.pszGetError());
        break;
      }
      ASSERT_LT(at, 10000);
      if (ok) {
        // An allocation the operation could do without: the access is whole.
        EXPECT_NE(a->pclGetCurrentRecordNoRef(), nullptr) << r.name << " " << at;
        EXPECT_EQ(a->bIsOpened(), r.opens ? TRUE : FALSE) << r.name << " " << at;
        continue;
      }
      ++failures;
      EXPECT_FALSE(a->bIsOpened()) << r.name << " " << at;
      EXPECT_NE(static_cast<int>(m_error.eGetErrorLevel()), 1) << r.name << " " << at;
    }
    EXPECT_GT(failures, 0) << r.name;
  }
}

// A creation over a missing or an existing table, on tables named with blanks, reserved words,
// backquotes and accents: the table made has the columns' keys and the indexes the host asks for
// (one generated name per item with duplicates, the composite keys under their own names, UNIQUE
// for a unique one), and the access is opened; a second open sends nothing. An existing table is
// opened by the creation-if-missing, never dropped or emptied.
TEST_P(LiveAccess, CreationMakesTheTableWithItsIndexesAndOpensIt) {
  // Two items with duplicates: their generated names differ within one second.
  const std::string made = "PRIMARY:0:id QXIDX:1:t QXIDX:1:v kab:0:a,b kta:1:t,a u:0:u";
  struct Row {
    const char* name;
    BOOL (*call)(CNADataAccess*);
    bool exists;
    int drops, creates, rows;
    const char* indexes;
  } rows[] = {
      {"created when missing", [](CNADataAccess* x) { return x->bHCreationSiInexistant(eNA_ACCESS{0}, L"pwd"); },
       false, 0, 1, 0, nullptr},
      {"created dropping first, missing", [](CNADataAccess* x) { return x->bHCreation(L"pwd", 1); }, false, 1, 1, 0,
       nullptr},
      {"created dropping first, existing", [](CNADataAccess* x) { return x->bHCreation(L"pwd", 1); }, true, 1, 1, 0,
       nullptr},
      {"opened when it exists", [](CNADataAccess* x) { return x->bHCreationSiInexistant(eNA_ACCESS{0}, L"pwd"); },
       true, 0, 0, 1, "PRIMARY:0:id u:0:u"},
  };
  int n = 0;
  for (const Row& r : rows) {
    for (const wchar_t* shape : kShapes) {
      const std::wstring table = Name(shape + std::to_wstring(n++));
      const std::string what = std::string(r.name) + " " + Utf8(table);
      if (r.exists) {
        ASSERT_TRUE(RunUtf8("CREATE TABLE " + Quoted(table) +
                            " (id INT PRIMARY KEY, t VARCHAR(20), u INT UNIQUE, a INT, b INT, v VARCHAR(20))"));
        ASSERT_TRUE(RunUtf8("INSERT INTO " + Quoted(table) + " VALUES (1, 'x', 2, 3, 4, 'y')"));
      }
      NoItems();
      Item(L"id", NA_IT_I4, 4, 0x8000);
      CHostItemDescription* t = Item(L"t", NA_IT_TEXTE, 21, 0x2000);
      Item(L"u", NA_IT_I4, 4, 0x4000);
      CHostItemDescription* a = Item(L"a", NA_IT_I4, 4);
      CHostItemDescription* b = Item(L"b", NA_IT_I4, 4);
      Item(L"v", NA_IT_TEXTE, 21, 0x2000);
      Item(L"kab", NA_IT_BINAIRE, 8, 0x1000 | 0x4000)->m_tabComponents = {a, b};
      Item(L"kta", NA_IT_BINAIRE, 25, 0x1000 | 0x2000)->m_tabComponents = {t, a};
      CNADataAccess* access = Access(table);
      ASSERT_TRUE(r.call(access)) << what << ": " << Utf8(m_error.pszGetError());
      EXPECT_TRUE(access->bIsOpened()) << what;
      EXPECT_NE(access->pclGetImportedDescNoRef(), nullptr) << what;
      EXPECT_EQ(SentStarting("DROP TABLE"), r.drops) << what;
      EXPECT_EQ(SentStarting("CREATE TABLE"), r.creates) << what;
      EXPECT_EQ(SentStarting("CREATE UNIQUE INDEX `kab` ON "), r.creates) << what;
      EXPECT_EQ(SentStarting("CREATE  INDEX QXIDX"), 2 * r.creates) << what;
      EXPECT_EQ(Count(table), std::to_string(r.rows)) << what;
      EXPECT_EQ(Indexes(table), r.indexes != nullptr ? r.indexes : made) << what;
      g_nSent = 0;
      EXPECT_TRUE(access->bHOuvre(eNA_ACCESS{0}, nullptr)) << what;
      EXPECT_EQ(g_nSent, 0) << what;
    }
  }
}

// A CREATE the server refuses for a text column past its VARCHAR length is corrected once to the
// long text type and run again; the error of the refusal is gone. A refusal with nothing to
// correct keeps its error.
TEST_P(LiveAccess, CreateRefusedForALongTextIsCorrectedOnceAndRunAgain) {
  struct Row {
    const char* name;
    unsigned int size;
    const char* item;  // the item's row in the columns read back
    int creates;
    BOOL ok;
  } rows[] = {
      {"text past the limit", 70001, "t:longtext", 2, TRUE},
      {"text within it", 21, "t:varchar", 1, TRUE},
  };
  int n = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::wstring table = Name(L"qx cr`eate " + std::to_wstring(n++));
    NoItems();
    Item(L"id", NA_IT_I4, 4, 0x8000);
    Item(L"t", NA_IT_TEXTE, r.size);
    CNADataAccess* access = Access(table);
    EXPECT_EQ(access->bHCreation(nullptr, 0), r.ok) << Utf8(m_error.pszGetError());
    EXPECT_EQ(SentStarting("CREATE TABLE"), r.creates);
    EXPECT_EQ(m_error.eGetErrorLevel(), NAERRORLEVEL_NONE) << Utf8(m_error.pszGetError());
    std::string literal;
    for (char c : Utf8(table)) literal += c == '\'' ? std::string("''") : std::string(1, c);
    EXPECT_EQ(Rows("SELECT CONCAT(COLUMN_NAME, ':', DATA_TYPE) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                   "DATABASE() AND TABLE_NAME = '" + literal + "' AND COLUMN_NAME = 't'", true),
              r.item);
  }
  // A refusal of another kind is not corrected.
  const std::wstring table = Name(L"qx cr`eate bad");
  NoItems();
  Item(L"id", NA_IT_I4, 4, 0x8000);
  Item(L"id ", NA_IT_I4, 4);
  CNADataAccess* access = Access(table);
  EXPECT_FALSE(access->bHCreation(nullptr, 0));
  EXPECT_EQ(SentStarting("CREATE TABLE"), 1);
  EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), 1166u) << Utf8(m_error.pszGetError());
}

// The access borrows the host's items only while it holds them: once it is given back, every
// reference it took on them is given back too, after an open or a creation (whose index
// creation and pairing with the table read back walk every column).
TEST_P(LiveAccess, HostItemsAreGivenBackAfterOpenAndCreation) {
  struct Row {
    const char* name;
    bool exists;
    BOOL (*call)(CNADataAccess*);
  } rows[] = {
      {"open", true, [](CNADataAccess* x) { return x->bHOuvre(eNA_ACCESS{0}, nullptr); }},
      {"create", false, [](CNADataAccess* x) { return x->bHCreation(nullptr, 0); }},
      {"create when missing", false,
       [](CNADataAccess* x) { return x->bHCreationSiInexistant(eNA_ACCESS{0}, nullptr); }},
  };
  int n = 0;
  for (const Row& r : rows) {
    const std::wstring table = Name(L"qx gi`ven " + std::to_wstring(n++));
    if (r.exists) {
      ASSERT_TRUE(RunUtf8("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, t VARCHAR(20))"));
    }
    NoItems();
    Item(L"id", NA_IT_I4, 4, 0x8000);
    Item(L"t", NA_IT_TEXTE, 21, 0x2000);
    ASSERT_TRUE(r.call(Access(table))) << r.name << ": " << Utf8(m_error.pszGetError());
    m_pAccess->nRelease();
    m_pAccess = nullptr;
    for (const CHostItemDescription& item : m_items)
      EXPECT_EQ(item.nGetRefCount(), 0) << r.name << " " << Utf8(item.pszGetName());
  }
}

// Deleting every row sends one DELETE and keeps the table; dropping the file drops it; both
// leave the access closed. Dropping a table that is not there is no failure.
TEST_P(LiveAccess, DeletionsSendOneStatementAndCloseTheAccess) {
  const std::wstring table = Name(L"qx del`ete ");
  Item(L"id", NA_IT_I4, 4, 0x8000);
  Item(L"t", NA_IT_TEXTE, 21);
  CNADataAccess* a = OpenNew(table, "(id INT PRIMARY KEY, t VARCHAR(20))", "(1, 'a'), (2, 'b'), (3, 'c')");
  ASSERT_NE(a, nullptr);
  struct Row {
    const char* name;
    BOOL (*call)(CNADataAccess*);
    std::string sent;
    std::string count;
  } rows[] = {
      {"delete all", [](CNADataAccess* x) { return x->bSupprimeTout(); }, "DELETE FROM " + Quoted(table), "0"},
      {"drop", [](CNADataAccess* x) { return x->bSupprimeFichier(); }, "DROP TABLE " + Quoted(table), "error"},
      {"drop again", [](CNADataAccess* x) { return x->bSupprimeFichier(); }, "DROP TABLE " + Quoted(table), "error"},
  };
  for (const Row& r : rows) {
    g_tabSent.clear();
    m_error.Reset();
    EXPECT_TRUE(r.call(a)) << r.name << ": " << Utf8(m_error.pszGetError());
    ASSERT_EQ(g_tabSent.size(), 1u) << r.name;
    EXPECT_EQ(g_tabSent[0], r.sent) << r.name;
    EXPECT_FALSE(a->bIsOpened()) << r.name;
    EXPECT_EQ(Count(table), r.count) << r.name;
  }
}

// A table the access dropped is no longer known to match: opening it again asks the server and
// fails as for any missing table, instead of opening an access over nothing.
TEST_P(LiveAccess, TableDroppedByTheAccessIsNotOpenedAgain) {
  const struct {
    const char* name;
    BOOL (*drop)(CNADataAccess*);
    BOOL opens;
  } rows[] = {
      {"dropped", [](CNADataAccess* x) { return x->bSupprimeFichier(); }, FALSE},
      {"emptied", [](CNADataAccess* x) { return x->bSupprimeTout(); }, TRUE},
  };
  int n = 0;
  for (const auto& r : rows) {
    const std::wstring table = Name(L"qx dro`pped " + std::to_wstring(n++));
    NoItems();
    Item(L"id", NA_IT_I4, 4, 0x8000);
    CNADataAccess* a = OpenNew(table, "(id INT PRIMARY KEY)", "(1)");
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(r.drop(a)) << r.name;
    m_error.Reset();
    g_nSent = 0;
    EXPECT_EQ(a->bHOuvre(eNA_ACCESS{0}, nullptr), r.opens) << r.name;
    EXPECT_EQ(a->bIsOpened(), r.opens) << r.name;
    EXPECT_EQ(g_nSent > 0, !r.opens) << r.name;
    EXPECT_EQ(static_cast<int>(m_error.eGetErrorLevel()), r.opens ? 1 : 2) << r.name;
  }
}

// Random opens, closes, creations, deletions and drops on one access against a model of the table
// (there or not, its rows) and of the access (opened or not): every answer, the opened state and
// the rows on the server follow the model.
TEST_P(LiveAccess, LifecycleFollowsAModelOfTheTable) {
  const std::wstring table = Name(L"qx li`fe ");
  Item(L"id", NA_IT_I4, 4, 0x8000);
  Item(L"t", NA_IT_TEXTE, 21, 0x2000);
  CNADataAccess* a = Access(table);
  bool exists = false, opened = false;
  int rows = 0;
  std::mt19937 random(1252);
  for (int step = 0; step < 200; ++step) {
    const unsigned int op = random() % 7;
    m_error.Reset();
    BOOL ok = FALSE, want = TRUE;
    switch (op) {
      case 0:
        ok = a->bHOuvre(eNA_ACCESS{0}, nullptr);
        want = opened || exists;
        opened = want;
        break;
      case 1:
        ok = a->bHFerme();
        opened = false;
        break;
      case 2:
        ok = a->bHCreation(nullptr, 1);
        exists = opened = true;
        rows = 0;
        break;
      case 3:
        ok = a->bHCreationSiInexistant(eNA_ACCESS{0}, nullptr);
        if (!exists) rows = 0;
        exists = opened = true;
        break;
      case 4:
        ok = a->bSupprimeTout();
        want = exists;
        rows = 0;
        opened = false;
        break;
      case 5:
        ok = a->bSupprimeFichier();
        exists = opened = false;
        break;
      default:
        if (!exists) continue;
        ASSERT_TRUE(RunUtf8("INSERT INTO " + Quoted(table) + " VALUES (" + std::to_string(step) + ", 'r')"));
        ++rows;
        continue;
    }
    ASSERT_EQ(ok, want) << "step " << step << " op " << op << ": " << Utf8(m_error.pszGetError());
    ASSERT_EQ(a->bIsOpened(), opened ? TRUE : FALSE) << "step " << step << " op " << op;
    ASSERT_EQ(Count(table), exists ? std::to_string(rows) : "error") << "step " << step << " op " << op;
    if (!want) {
      ASSERT_EQ(static_cast<int>(m_error.eGetErrorLevel()), 2) << "step " << step;
    }
  }
}

// An access over a query source.
class CQueryAccess final : public CNADataAccess {
 public:
  CQueryAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx, CNAError* error)
      : CNADataAccess(desc, cnx, error) {
    m_bSourceIsQuery = 1;
  }
};

// Deleting every row of a query goes through its browse: a browse that cannot be read deletes
// nothing and leaves the read's reason, with error level 2.
TEST_P(LiveAccess, DeletingEveryRowOfAQueryWhoseBrowseFailsDeletesNothing) {
  Item(L"id", NA_IT_I4, 4, 0x8000);
  m_desc.m_pszName = L"query";
  auto* a = new CQueryAccess(&m_desc, m_pCnx.get(), &m_error);
  a->AddRef();
  m_error.Reset();
  g_nSent = 0;
  EXPECT_FALSE(a->bSupprimeTout());
  EXPECT_EQ(g_nSent, 1);
  EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), 1064u) << Utf8(m_error.pszGetError());
  EXPECT_EQ(static_cast<int>(m_error.eGetErrorLevel()), 2);
  a->nRelease();
}

// An access that recreates its table reads it by the columns made, not by those of the table it
// dropped: a text memo over a binary column before is a text column after, read as text.
TEST_P(LiveAccess, RecreatedTableIsReadByItsNewColumns) {
  const std::wstring table = Name(L"qx re`made ");
  Item(L"id", NA_IT_I4, 4, 0x8000);
  Item(L"m", NA_IT_MEMOTEXTE, 8);
  CNADataAccess* a = OpenNew(table, "(id INT PRIMARY KEY, m BLOB)", "(1, NULL)");
  ASSERT_NE(a, nullptr);
  ASSERT_TRUE(a->bHCreation(nullptr, 1)) << Utf8(m_error.pszGetError());
  ASSERT_TRUE(RunUtf8("INSERT INTO " + Quoted(table) + " VALUES (1, 'd\xC3\xA9j\xC3\xA0 \xE2\x82\xAC')"));
  ASSERT_TRUE(Read(a, "id = 1")) << Utf8(m_error.pszGetError());
  CNARecord* record = a->pclGetCurrentRecordNoRef();
  CAny v;
  ASSERT_TRUE(record->pclGetColumnNoRef(L"m")->bGetCurrentValue(&v, 0));
  EXPECT_EQ(Show(v), L"d\u00e9j\u00e0 \u20ac");
  // Every column is paired with an item of the table as it is now.
  CNADataSourceDescription* imported = a->pclGetImportedDescNoRef();
  for (int c = 0; c < record->nGetNbColumn(); ++c) {
    const CNAItemDescription* item = record->pclGetColumnNoRef(c)->piGetImportedItemDescNoRef();
    bool current = false;
    for (int i = 0; i < imported->nGetNumItems(); ++i) current = current || imported->pclGetItemNoRef(i) == item;
    EXPECT_TRUE(current) << c;
  }
}

// An UPDATE of the row read that finds no row is user error 13 of type 9; one that finds the row
// and changes nothing in it (the server already holds the value) succeeds.
TEST_P(LiveAccess, UpdateMatchingNoRowIsError13OfType9) {
  const std::wstring table = Name(L"qx up date ");
  Item(L"id", NA_IT_I4, 4, 0x8000);
  Item(L"a", NA_IT_I4, 4);
  CNADataAccess* access = OpenNew(table, "(id INT PRIMARY KEY, a INT)", "(1, 10), (2, 20)");
  ASSERT_NE(access, nullptr);
  CNARecord* record = access->pclGetCurrentRecordNoRef();
  CNAStatement* stmt = access->_pclInitStatement(L"");
  ASSERT_NE(stmt, nullptr);
  // the row read, the server's change behind the record, the value written, success, the rows
  const struct {
    int id, a;
    const char* behind;
    int written;
    bool ok;
    const char* after;
  } rows[] = {
      {1, 10, "UPDATE %T SET a = 11 WHERE id = 1", 11, true, "11|20"},
      {1, 11, "DELETE FROM %T WHERE id = 1", 12, false, "20"},
      {2, 20, "UPDATE %T SET id = 3 WHERE id = 2", 21, false, "20"},
  };
  for (const auto& r : rows) {
    std::string behind = r.behind;
    behind.replace(behind.find("%T"), 2, Quoted(table));
    const CAny id = Int(r.id), read = Int(r.a);
    ASSERT_TRUE(record->pclGetColumnNoRef(L"id")->bSetValue(&id, 0));
    ASSERT_TRUE(record->pclGetColumnNoRef(L"a")->bSetValue(&read, 0));
    ASSERT_TRUE(record->bCopyCurrentRecordToOriginalRecord());
    ASSERT_TRUE(RunUtf8(behind));
    const CAny written = Int(r.written);
    ASSERT_TRUE(record->pclGetColumnNoRef(L"a")->bSetValue(&written, 0));
    m_error.Reset();
    EXPECT_EQ(access->_bOperation(stmt, NA_QUERY_UPDATE, 0, nullptr), r.ok ? TRUE : FALSE) << behind;
    EXPECT_EQ(m_error.nGetUserErrorCode(), r.ok ? 0u : 13u) << behind << Utf8(m_error.pszGetError());
    EXPECT_EQ(static_cast<int>(access->eGetNAErrorType()), r.ok ? 0 : 9) << behind;
    EXPECT_EQ(Rows("SELECT a FROM " + Quoted(table) + " ORDER BY a", true), r.after) << behind;
  }
  stmt->nRelease();
}

// A record save keeps the row as read: after the server changed the row and the record read it
// again, restoring the save brings back every value kept (a text above U+FFFF, 38 digits, a
// time with milliseconds, bytes with NUL, a memo, NULL), whatever the change was.
TEST_P(LiveAccess, RestoreAfterTheRowChangedOnTheServerBringsBackWhatWasKept) {
  const std::wstring table = Name(L"qx sa`ved ");
  ASSERT_TRUE(RunUtf8("CREATE TABLE " + Quoted(table) +
                      " (id INT PRIMARY KEY, t VARCHAR(30), d DECIMAL(38,18), dt DATETIME(3), bin VARBINARY(10), "
                      "m TEXT, n INT) DEFAULT CHARSET=utf8mb4"));
  ASSERT_TRUE(RunUtf8("INSERT INTO " + Quoted(table) +
                      " VALUES (1, 'it''s \xF0\x9F\x98\x80 \xC3\xA9', 12345678901234567890.123456789012345678, "
                      "'2024-02-29 23:59:59.999', X'61006200', 'memo \xF0\x90\x8D\x88', NULL)"));
  INADataSourceDescription* server = static_cast<INADriver&>(m_driver).piGetTableDesc(table.c_str(), &m_host);
  auto* desc = dynamic_cast<CNADataSourceDescription*>(server);
  ASSERT_NE(desc, nullptr) << Utf8(m_error.pszGetError());
  desc->UpdateRecordSize();
  CNADataAccess* access = m_driver.pclAllocDataAccess(desc, m_pCnx.get(), &m_error);
  access->AddRef();
  desc->nExternalRelease();
  ASSERT_TRUE(access->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
  CNARecord* record = access->pclGetCurrentRecordNoRef();
  ASSERT_TRUE(Read(access, "id = 1")) << Utf8(m_error.pszGetError());
  const std::wstring kept = Values(record);
  const int id = access->nKeepCurrentRecordSave();
  ASSERT_GE(id, 0);
  access->AddRefRecordSave(id);
  const char* const changes[] = {
      "UPDATE %T SET t = 'other', d = -1, dt = '1999-12-31 00:00:00.001', bin = X'00', m = NULL, n = 5",
      "UPDATE %T SET t = NULL, d = NULL, dt = NULL, bin = NULL, m = '', n = NULL",
      "UPDATE %T SET t = '', m = 'x', n = 0",
  };
  for (const char* change : changes) {
    std::string sql = change;
    sql.replace(sql.find("%T"), 2, Quoted(table));
    ASSERT_TRUE(RunUtf8(sql + " WHERE id = 1")) << sql;
    ASSERT_TRUE(Read(access, "id = 1")) << sql;
    ASSERT_NE(Values(record), kept) << sql;
    ASSERT_TRUE(access->bRestoreOriginalRecordSave(id)) << sql;
    ASSERT_TRUE(record->bCopyOriginalRecordToCurrentRecord()) << sql;
    EXPECT_EQ(Values(record), kept) << sql;
  }
  access->nReleaseRecordSave(id);
  access->nRelease();
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveAccess,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

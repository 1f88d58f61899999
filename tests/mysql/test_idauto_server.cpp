// The driver's internal queries and the automatic identifiers they compute, against the private
// server: rows read as text with the caller's separators, failures that keep whole rows only, and
// identifiers by largest-plus-one for the columns the server does not number, on tables whose
// names need backquotes; a value past the column's type and a racing writer are refused by the
// server, never written wrapped or over another row.
#include "access/naidauto.h"
#include "access/nainternalparse.h"
#include "tests/mysql/browse_bench.h"

namespace {

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

class LiveInternal : public LiveBrowse {
 protected:
  // The text of sql's rows appended to start: "FALSE:" in front when the parse answered FALSE.
  std::wstring Parse(const std::wstring& sql, const std::wstring& start, const wchar_t* line, const wchar_t* column) {
    CXYStringConcat<wchar_t> out;
    out.Add(start.c_str());
    const BOOL ok = CNAInternalParse::s_bDoInternalParse(sql.c_str(), &m_error, m_pCnx.get(), &out, line, column);
    return (ok ? L"" : L"FALSE:") + std::wstring(out.pszGet());
  }
};

TEST_P(LiveInternal, RowsBecomeTextBetweenTheCallersSeparators) {
  const std::wstring two = L"SELECT 1, 'a' UNION ALL SELECT 2, NULL";
  struct Row {
    const char* name;
    std::wstring sql;
    std::wstring start;
    const wchar_t* line;
    const wchar_t* column;
    std::wstring text;
  } rows[] = {
      {"two rows", two, L"", L"\r\n", L"\t", L"1\ta\r\n2\t"},
      {"after text", two, L"x", L"\r\n", L"\t", L"x\r\n1\ta\r\n2\t"},
      {"no line separator", two, L"", L"", L"\t", L"1\ta2\t"},
      {"no column separator", two, L"", L"\r\n", L"", L"1a\r\n2"},
      {"no rows", L"SELECT 1 FROM DUAL WHERE 1 = 0", L"kept", L"\r\n", L"\t", L"kept"},
      {"no result columns", L"DO 1", L"kept", L"\r\n", L"\t", L"kept"},
      {"refused", L"SELECT nothere", L"kept", L"\r\n", L"\t", L"FALSE:kept"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    m_error.Reset();
    EXPECT_EQ(Parse(r.sql, r.start, r.line, r.column), r.text) << Utf8(m_error.pszGetError());
  }
  EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), 1054u);
}

// A value the driver cannot read (a negative time) fails the read: the text ends after the last
// whole row, and the caller is told.
TEST_P(LiveInternal, FetchAllFailsOnAValueItCannotReadAndKeepsWholeRowsOnly) {
  const std::wstring first = Parse(L"SELECT 1, CAST('01:02:03' AS TIME)", L"", L"\r\n", L"\t");
  ASSERT_EQ(first.rfind(L"1\t", 0), 0u) << Utf8(first);
  m_error.Reset();
  EXPECT_EQ(Parse(L"SELECT 1, CAST('01:02:03' AS TIME) UNION ALL SELECT 2, CAST('-01:02:03' AS TIME)", L"", L"\r\n",
                  L"\t"),
            L"FALSE:" + first);
  CNAInternalParse* parse = CNAInternalParse::s_pclGetNAInternalParse(
      L"SELECT 2, CAST('-01:02:03' AS TIME)", &m_error, m_pCnx.get());
  ASSERT_NE(parse, nullptr);
  parse->AddRef();
  CXYStringConcat<wchar_t> out;
  out.Add(L"kept");
  int outOfRange = 1;
  EXPECT_FALSE(parse->bFetchData(NA_PARSE_FIRST, &outOfRange, &out, L"\r\n", L"\t"));
  EXPECT_EQ(std::wstring(out.pszGet()), L"kept");
  EXPECT_FALSE(parse->bFetchAll(&out, L"\r\n", L"\t"));
  EXPECT_EQ(std::wstring(out.pszGet()), L"kept");
  parse->dwRelease();
}

TEST_P(LiveInternal, TextWithoutResultHasNoStatement) {
  CNAInternalParse* parse = CNAInternalParse::s_pclGetNAInternalParse(L"DO 1", &m_error, m_pCnx.get());
  ASSERT_NE(parse, nullptr);
  parse->AddRef();
  int outOfRange = 0;
  EXPECT_TRUE(parse->bFetch(NA_PARSE_FIRST, &outOfRange));
  EXPECT_EQ(outOfRange, 1);
  CAny value;
  EXPECT_FALSE(parse->bFetchData(NA_PARSE_FIRST, &outOfRange, &value, 1));
  EXPECT_EQ(parse->nGetColumnNbr(), 0);
  parse->dwRelease();
  EXPECT_EQ(CNAInternalParse::s_pclGetNAInternalParse(L"SELEC 1", &m_error, m_pCnx.get()), nullptr);
  EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), 1064u);
}

// A generator whose next value another writer takes first: the other writer inserts a row with
// that identifier between the computing and the INSERT.
class CRacedIDAuto final : public CNAIDAuto {
 public:
  explicit CRacedIDAuto(std::function<void(long long)> other) : m_fnOther(std::move(other)) {}
  BOOL bGetNextValue(CNADataAccess* access, CNAColumn* column, CNAError* error, CAny* value) override {
    const BOOL ok = CNAIDAuto::bGetNextValue(access, column, error, value);
    long long next = 0;
    if (ok && value->nGetINT_64(&next) <= 99) m_fnOther(next);
    return ok;
  }

 private:
  std::function<void(long long)> m_fnOther;
};

class CRacedAccess final : public CMySQLDataAccess {
 public:
  using CMySQLDataAccess::CMySQLDataAccess;
  CNAIDAuto* _pclAllocIDAuto() override {
    return m_fnOther ? new CRacedIDAuto(m_fnOther) : CMySQLDataAccess::_pclAllocIDAuto();
  }
  std::function<void(long long)> m_fnOther;
};

class LiveIDAuto : public LiveInternal {
 protected:
  // A table (id INT PRIMARY KEY, the server not numbering it; v VARCHAR(10)) with rows, and an
  // opened access whose id is an automatic identifier of the host.
  CRacedAccess* OpenTable(const std::string& rows) {
    m_table = Name(L"qx id`auto ");
    Raw("CREATE TABLE " + Quoted(m_table) + " (id INT NOT NULL PRIMARY KEY, v VARCHAR(10) NULL)");
    if (!rows.empty()) Raw("INSERT INTO " + Quoted(m_table) + " VALUES " + rows);
    CHostRecordDescription* desc = Description(m_table);
    Item(desc, L"id", NA_IT_IDAUTO4, 4, 0x8000)->m_bNullAllowed = FALSE;
    Item(desc, L"v", Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE, Unicode() ? 22 : 11);
    auto* a = new CRacedAccess(desc, Connect(nullptr), &m_error);
    a->AddRef();
    m_accesses.push_back(a);
    EXPECT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
    m_error.Reset();
    return a;
  }
  std::string Ids() { return LiveConnection::Rows("SELECT GROUP_CONCAT(id ORDER BY id) FROM " + Quoted(m_table), true); }
  static CNAColumn* Column(CNADataAccess* a, const wchar_t* name) {
    return a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(name);
  }
  static void SetText(CNADataAccess* a, const wchar_t* text) {
    const CAny v = FromText(ZV_DSTRW, text);
    ASSERT_TRUE(Column(a, L"v")->bSetValue(&v, 0));
  }
  std::wstring m_table;
};

TEST_P(LiveIDAuto, NextValueIsTheLargestPlusOne) {
  struct Row {
    const char* name;
    std::string rows;
    const wchar_t* next;
    const wchar_t* largest;
  } rows[] = {
      {"empty table", "", L"1", L"NULL"},
      {"largest 41", "(41, 'a'), (7, 'b')", L"42", L"41"},
      {"negative", "(-5, 'a')", L"-4", L"-5"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    CRacedAccess* a = OpenTable(r.rows);
    CNAIDAuto* generator = a->pclGetIDAuto();
    ASSERT_NE(generator, nullptr);
    CAny next, largest;
    EXPECT_TRUE(generator->bGetNextValue(a, Column(a, L"id"), &m_error, &next)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Show(next), r.next);
    EXPECT_TRUE(generator->bGetMaxCurrentValue(a, Column(a, L"id"), &m_error, &largest));
    EXPECT_EQ(largest.bIsNull() ? std::wstring(L"NULL") : Show(largest), r.largest);
    generator->nRelease();
    Raw("DROP TABLE " + Quoted(m_table));
  }
}

TEST_P(LiveIDAuto, AddNumbersTheRecordAndTheServerHoldsIt) {
  CRacedAccess* a = OpenTable("(41, 'a')");
  SetText(a, L"new");
  ASSERT_TRUE(a->bHAjoute(0, kNoLock)) << Utf8(m_error.pszGetError());
  CAny id;
  ASSERT_TRUE(Column(a, L"id")->bGetCurrentValue(&id, 0));
  EXPECT_EQ(Show(id), L"42");
  EXPECT_EQ(Ids(), "41,42");
}

// The next value of an INT at its largest is past the type: the server refuses it (strict mode),
// nothing wrapped or cut is written and the record keeps what it held.
TEST_P(LiveIDAuto, NextValuePastTheColumnsTypeIsRefusedByTheServer) {
  CRacedAccess* a = OpenTable("(2147483647, 'top')");
  SetText(a, L"over");
  CAny before;
  ASSERT_TRUE(Column(a, L"id")->bGetCurrentValue(&before, 0));
  EXPECT_FALSE(a->bHAjoute(0, kNoLock));
  EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), 1264u) << Utf8(m_error.pszGetError());
  EXPECT_EQ(static_cast<int>(a->eGetNAErrorType()), 0);
  EXPECT_EQ(Ids(), "2147483647");
  CAny after;
  ASSERT_TRUE(Column(a, L"id")->bGetCurrentValue(&after, 0));
  EXPECT_EQ(Show(after), Show(before));
}

// Two writers compute the same next value: the second INSERT is a duplicate naming the item; the
// first writer's row stays as it was written.
TEST_P(LiveIDAuto, RacingWritersGiveOneDuplicateNeverAnOverwrittenRow) {
  CRacedAccess* a = OpenTable("(1, 'a')");
  a->m_fnOther = [this](long long id) {
    Raw("INSERT INTO " + Quoted(m_table) + " VALUES (" + std::to_string(id) + ", 'other')");
  };
  SetText(a, L"mine");
  CAny before;
  ASSERT_TRUE(Column(a, L"id")->bGetCurrentValue(&before, 0));
  EXPECT_FALSE(a->bHAjoute(0, kNoLock));
  EXPECT_EQ(static_cast<int>(m_error.eGetErrorType()), 3) << Utf8(m_error.pszGetError());
  EXPECT_STREQ(m_error.pszGetItemName(), L"id");
  EXPECT_EQ(LiveConnection::Rows("SELECT CONCAT(id, v) FROM " + Quoted(m_table) + " ORDER BY id", true), "1a|2other");
  CAny after;
  ASSERT_TRUE(Column(a, L"id")->bGetCurrentValue(&after, 0));
  EXPECT_EQ(Show(after), Show(before));
}

INSTANTIATE_TEST_SUITE_P(Live, LiveInternal,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Values(false, true)));
INSTANTIATE_TEST_SUITE_P(Live, LiveIDAuto,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Values(false, true)));

}  // namespace

// Dialect features, column type texts, identifiers and transaction chains, and the MySQL dialect,
// on connections that record the SQL their direct operations send.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/tstringconcataw.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "driver/natransaction.h"
#include "mysql/mysqlconnection.h"
#include "host/host_nadescription.h"
#include "sql/naitemdescription.h"
#include "values/any.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

// The test links with every wcsstr call routed here: a search that starts outside any text is
// counted instead of run (the sanitizer build knows which memory no text owns).
std::atomic<int> g_nStrayHaystacks{0};
extern "C" wchar_t* __real_wcsstr(const wchar_t* haystack, const wchar_t* needle);
extern "C" wchar_t* __wrap_wcsstr(const wchar_t* haystack, const wchar_t* needle) {
#if defined(__SANITIZE_ADDRESS__)
  if (__asan_region_is_poisoned(const_cast<wchar_t*>(haystack), sizeof(wchar_t)) != nullptr) {
    ++g_nStrayHaystacks;
    return nullptr;
  }
#endif
  return __real_wcsstr(haystack, needle);
}

namespace {

// The host description is built before the connection that reads it and outlives it.
struct CHostHolder { CHostConnectionDescription m_host; };

// Answers its resume and activation with a set value and logs both.
class CAnsweringTransaction : public CNATransaction {
 public:
  CAnsweringTransaction(CNAConnectionDescription* cnx, BOOL answer, std::string* log)
      : CNATransaction(cnx), m_nAnswer(answer), m_pLog(log) {}
  BOOL bResume(CNAError*) override {
    *m_pLog += "resume|";
    return m_nAnswer;
  }
  BOOL bSetActive(CNAError*, int active) override {
    *m_pLog += "active " + std::to_string(active) + "|";
    return m_nAnswer;
  }

 private:
  BOOL m_nAnswer;
  std::string* m_pLog;
};

// The generic or the MySQL connection, logging the SQL of its direct operations; it never opens.
template <typename Base>
class CRecording : private CHostHolder, public Base {
 public:
  explicit CRecording(int dialect, const wchar_t* quote = L"`", const wchar_t* version = L"")
      : Base(L"id", &m_host) {
    this->m_eDataSource = dialect;
    this->m_csQuoteOpen = this->m_csQuoteClose = quote;
    this->m_nQuoteOpenLength = this->m_nQuoteCloseLength = static_cast<int>(wcslen(quote));
    this->m_csServerVersion = version;
    this->_bDecomposeServerVersion(nullptr);
  }
  BOOL bOpen(CNAError*) override {
    if (!m_bOpen && !m_bFailOpen) m_strLog += "open|";
    return m_bOpen = !m_bFailOpen;
  }
  BOOL bIsOpen() override { return m_bOpen; }
  BOOL bClose(CNAError*) override { return !(m_bOpen = FALSE); }
  BOOL bExecuteQueryNoResult(CNAError*, const wchar_t* sql) override {
    m_strLog += std::string(sql, sql + wcslen(sql)) + "|";
    return m_strFail != sql;
  }
  BOOL bExecuteQueryIgnoreResult(CNAError* error, const wchar_t* sql) override {
    return bExecuteQueryNoResult(error, sql);
  }
  // Transaction objects to be had (-1: any number); with an answer of 0 or more they answer so.
  CNATransaction* pclAllocTransaction() override {
    if (m_nTransactionsLeft == 0) return nullptr;
    if (m_nTransactionsLeft > 0) --m_nTransactionsLeft;
    if (m_nAnswer < 0) return Base::pclAllocTransaction();
    return new CAnsweringTransaction(this, m_nAnswer, &m_strLog);
  }
  std::string m_strLog;
  std::wstring m_strFail;
  BOOL m_bOpen = TRUE, m_bFailOpen = FALSE;
  int m_nTransactionsLeft = -1;
  BOOL m_nAnswer = -1;
  using Base::m_bNestedTransactions;
  using Base::m_bUnicodeTypes;
  using Base::m_pclTransaction;
};
using CRecordingConnection = CRecording<CNAConnectionDescription>;
using CRecordingMySQL = CRecording<CMySQLConnection>;

// The type text of an item; "none" when there is none.
std::wstring TypeText(CNAConnectionDescription& cnx, eNA_ITEMTYPE type, unsigned int size = 11, int integer = 10,
                      int decimals = 2, CNAError* error = nullptr) {
  CNAItemDescription item;
  item.bInit(L"c", L"t", L"c", 1, size, type, 0, -1, 0, 20, 10);
  item.SetIntegerPart(integer);
  item.SetDecimalPart(decimals);
  CTString out;
  return cnx.bGetMatchingSQLType(error, &item, &out) ? out.pszGet() : L"none";
}

TEST(Dialect, EachDialectAnswersItsFeatures) {
  // sub-queries, LIMIT or TOP, 0000 date NULL, VARCHAR, NVARCHAR, ms digits, ORDER BY limit
  constexpr int M = INT_MAX;
  const int rows[15][7] = {{0, 0, 0, -1, -1, 3, M},   {1, 1, 0, 4000, 2000, 3, M}, {1, 1, 1, 8000, 4000, 3, M},
                           {0, 1, 0, -1, -1, 3, M},   {1, 0, 0, -1, -1, 3, 31},    {0, 1, 0, 255, 255, 3, M},
                           {0, 1, 0, -1, -1, 3, M},   {1, 0, 0, -1, -1, 0, M},     {0, 0, 0, -1, -1, 0, M},
                           {1, 0, 0, -1, -1, 3, M},   {0, 0, 0, -1, -1, 3, M},     {0, 0, 0, -1, -1, 0, M},
                           {1, 0, 0, -1, -1, 3, M},   {1, 0, 0, -1, -1, 3, M},     {0, 0, 0, -1, -1, 3, M}};
  for (int d = 0; d < 15; ++d) {
    CRecordingConnection c(d);
    const int got[7] = {c.bSupportSubQuery(), c.bSupportLimitOrTop(), c.bTreat0000DateAsNULL(), c.nGetVarCharMaxLen(),
                        c.nGetNVarCharMaxLen(), c.nGetTimeMillisecondDigits(), c.nGetOrderByMaxExpressionNbr()};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(got[i], rows[d][i]) << "dialect " << d << " column " << i;
    EXPECT_STREQ(c.pszGetCLOBType(), d == 5 ? L"LONGBLOB" : L"CLOB");  // MySQL before the version is known
  }
}

TEST(Dialect, TypeTextsGiveTheItemTypeFromTheNumbersAfterTheName) {
  using Row = std::tuple<const wchar_t*, const wchar_t*, eNA_ITEMTYPE, unsigned int, unsigned int, unsigned int>;
  const Row rows[] = {  // declaration, charset, type, size, integer and decimal digits
      {L"int(11) unsigned", nullptr, NA_IT_UI4, 4, 0, 0}, {L"unsigned int", nullptr, NA_IT_UI4, 4, 0, 0},
      {L"bigint(20)", nullptr, NA_IT_I8, 8, 0, 0}, {L"INT8", nullptr, NA_IT_I8, 8, 0, 0},
      {L"varchar( 40 )", L"", NA_IT_TEXTE, 41, 0, 0}, {L"varchar(40)", L"utf8mb4_general_ci", NA_IT_UNICODE, 82, 0, 0},
      {L"text", L"ucs2", NA_IT_MEMOUNICODE, 8, 0, 0}, {L"decimal(10,2) unsigned", nullptr, NA_IT_MONETAIRE, 10, 8, 2},
      {L"DEC(10,2)", nullptr, NA_IT_MONETAIRE, 10, 8, 2}, {L"decimal(10)", nullptr, NA_IT_I8, 8, 10, 0},
      {L"decimal", nullptr, NA_IT_I8, 8, 10, 0}, {L"char(5)", nullptr, NA_IT_TEXTE, 6, 0, 0},
      {L"CHAR", nullptr, NA_IT_CHAR, 1, 0, 0}, {L"year(4)", nullptr, NA_IT_I2, 2, 0, 0},
      {L"varchar(", nullptr, NA_IT_TEXTE, 2, 0, 0}, {L"varbinary(16)", nullptr, NA_IT_BINAIRE, 18, 0, 0},
      {L"geometry", L"utf8", NA_IT_MEMOUNICODE, 8, 0, 0}};
  CRecordingConnection c(5);
  for (const Row& r : rows) {
    Row got = r;
    EXPECT_TRUE(c.bSQLTypeNameToNAType(nullptr, &std::get<2>(got), &std::get<3>(got), &std::get<4>(got),
                                       &std::get<5>(got), std::get<0>(r), std::get<1>(r)));
    EXPECT_EQ(got, r) << std::get<0>(r);
  }
  EXPECT_EQ(CNAConnectionDescription::_nGetSizeInTypeDecl(L"DECIMAL(10,2)", L"DECIMAL"), 1);
}

// Items hold what the column holds: a year is a number (a date would be refused when written
// back), a time keeps its seconds and its fraction's milliseconds, a date-time its fraction's
// digits, and every Unicode collation
// is Unicode (utf16 and utf32 texts read as ANSI lose every character outside the code page).
TEST(Dialect, YearTimeAndEveryUnicodeCollationKeepWhatTheColumnHolds) {
  using Row = std::tuple<const wchar_t*, const wchar_t*, eNA_ITEMTYPE, unsigned int, unsigned int>;
  const Row rows[] = {  // declaration, collation, type, size, decimal digits
      {L"year(4)", nullptr, NA_IT_I2, 2, 0},
      {L"YEAR", nullptr, NA_IT_I2, 2, 0},
      {L"time", nullptr, NA_IT_HEURE, 7, 0},
      {L"time(0)", nullptr, NA_IT_HEURE, 7, 0},
      {L"time(3)", nullptr, NA_IT_HEURE, 10, 3},
      {L"time(6)", nullptr, NA_IT_HEURE, 10, 6},
      {L"timestamp", nullptr, NA_IT_DATETIME, 8, 0},
      {L"timestamp(4)", nullptr, NA_IT_DATETIME, 8, 4},
      {L"datetime", nullptr, NA_IT_DATETIME, 8, 0},
      {L"datetime(6)", nullptr, NA_IT_DATETIME, 8, 6},
      {L"varchar(5)", L"utf16_general_ci", NA_IT_UNICODE, 12, 0},
      {L"varchar(5)", L"utf16le_general_ci", NA_IT_UNICODE, 12, 0},
      {L"varchar(5)", L"UTF32_general_ci", NA_IT_UNICODE, 12, 0},
      {L"text", L"utf8mb3_bin", NA_IT_MEMOUNICODE, 8, 0},
      {L"varchar(5)", L"latin1_swedish_ci", NA_IT_TEXTE, 6, 0},
  };
  CRecordingConnection c(5);
  for (const Row& r : rows) {
    eNA_ITEMTYPE type = NA_IT_EMPTY;
    unsigned int size = 0, integer = 9, decimals = 9;
    EXPECT_TRUE(c.bSQLTypeNameToNAType(nullptr, &type, &size, &integer, &decimals, std::get<0>(r), std::get<1>(r)));
    EXPECT_EQ(std::make_tuple(type, size, decimals), std::make_tuple(std::get<2>(r), std::get<3>(r), std::get<4>(r)))
        << std::get<0>(r);
  }
}

// BIT(n) is its (n + 7) / 8 bytes, BINARY(n) its n bytes: binary items (an integer item refused
// a BIT's bytes, a text item decoded a BINARY's and cut them at a NUL).
TEST(Dialect, BitAndBinaryColumnsAreBinaryItemsOfTheirBytes) {
  using Row = std::tuple<const wchar_t*, const wchar_t*, eNA_ITEMTYPE, unsigned int>;
  const Row rows[] = {  // declaration, collation, type, size
      {L"bit(1)", nullptr, NA_IT_BINAIRE, 3},         {L"BIT", nullptr, NA_IT_BINAIRE, 3},
      {L"bit(8)", nullptr, NA_IT_BINAIRE, 3},         {L"bit(9)", nullptr, NA_IT_BINAIRE, 4},
      {L"bit(64)", nullptr, NA_IT_BINAIRE, 10},       {L"binary(12)", nullptr, NA_IT_BINAIRE, 14},
      {L"binary", nullptr, NA_IT_BINAIRE, 3},         {L"BINARY(255)", L"utf8mb4_bin", NA_IT_BINAIRE, 257},
      {L"varbinary(16)", nullptr, NA_IT_BINAIRE, 18}, {L"bigint(20)", nullptr, NA_IT_I8, 8},
  };
  CRecordingConnection c(5);
  for (const Row& r : rows) {
    eNA_ITEMTYPE type = NA_IT_EMPTY;
    unsigned int size = 0, integer = 9, decimals = 9;
    EXPECT_TRUE(c.bSQLTypeNameToNAType(nullptr, &type, &size, &integer, &decimals, std::get<0>(r), std::get<1>(r)));
    EXPECT_EQ(std::make_tuple(type, size), std::make_tuple(std::get<2>(r), std::get<3>(r))) << std::get<0>(r);
  }
}

TEST(Dialect, EmptyDeclarationSearchesUnsignedOnlyInsideTheText) {
  g_nStrayHaystacks = 0;
  CRecordingConnection c(5);
  for (const wchar_t* declaration : {L"", static_cast<const wchar_t*>(nullptr)}) {
    eNA_ITEMTYPE type = NA_IT_EMPTY;
    unsigned int size = 0, integer = 9, decimals = 9;
    EXPECT_TRUE(c.bSQLTypeNameToNAType(nullptr, &type, &size, &integer, &decimals, declaration, nullptr));
    EXPECT_EQ(std::make_tuple(type, size, integer, decimals), std::make_tuple(NA_IT_MEMOTEXTE, 8u, 0u, 0u));
  }
  EXPECT_EQ(g_nStrayHaystacks, 0);
}

TEST(Dialect, MatchingSQLTypeCapsDecimalsAndRefusesUnicodeWhenNotAllowed) {
  CRecordingConnection mysql(5), other(3), generic(0);
  EXPECT_EQ(TypeText(mysql, NA_IT_DECIMAL, 40, 60, 40) + L" " + TypeText(other, NA_IT_TEXTE, 301) + L" " +
                TypeText(generic, NA_IT_TEXTE, 301),
            L"NUMERIC(64,30) TEXT VARCHAR(300)");
  CNAError error;
  mysql.m_bUnicodeTypes = 0;
  EXPECT_EQ(TypeText(mysql, NA_IT_UNICODE, 22, 0, 0, &error), L"none");
  EXPECT_EQ(error.dwGetErrorId(), 46u);
}

TEST(Dialect, QuotedNamesNeverEndTheirIdentifier) {
  const std::tuple<const wchar_t*, const wchar_t*, std::wstring> rows[] = {
      // quote, name: item, table and the item unquoted again
      {L"`", L"a`b", L"`a``b` `a``b` a`b"}, {L"`", L"`ab`", L"`ab` `ab` ab"}, {L"`", L"`a.b`", L"`a.b` `a.b` a.b"},
      {L"`", L"`a`b`", L"```a``b``` ```a``b``` `a`b`"},
      {L"`", L"base.table", L"`base.table` `base`.`table` base.table"},
      {L"`", L"`base`.`t`", L"```base``.``t``` `base`.`t` `base`.`t`"}, {L"", L"a`b", L"a`b a`b a`b"},
      {L"`", L"", L"`` `` ``"}, {L"`", L"``", L"`` `` ``"}, {L"\"\"", L"a\"\"b\"c", L"\"\"a\"\"\"\"b\"c\"\" \"\"a\"\"\"\"b\"c\"\" a\"\"b\"c"}};
  for (const auto& [quote, name, want] : rows) {
    CRecordingConnection c(5, quote);
    CTString item, table, plain;
    c.bFormatItemName(nullptr, name, &item);
    c.bFormatTableName(nullptr, name, &table);
    c.UnFormatItemName(item.pszGet(), &plain);
    EXPECT_EQ(std::wstring(item.pszGet()) + L" " + table.pszGet() + L" " + plain.pszGet(), want) << name;
    // The name may be the output's own text.
    CTString inPlace(name);
    c.bFormatItemName(nullptr, inPlace.pszGet(), &inPlace);
    EXPECT_EQ(std::wstring(inPlace.pszGet()), std::wstring(item.pszGet())) << name;
  }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Under an address-space limit, a name whose quoted form cannot be allocated: 0 when both the
// item's form answers FALSE with the no-memory error and an empty name.
int FormatWithoutMemory() {
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = 768u << 20;
  setrlimit(RLIMIT_AS, &limit);
  // 80 million quotes: the name takes 320 MiB, its quoted form (each quote doubled) twice that.
  std::wstring name((80u << 20) + 1, L'`');
  name[0] = L'a';
  CRecordingConnection c(5);
  CNAError error;
  CTString item(L"kept");
  const BOOL answer = c.bFormatItemName(&error, name.c_str(), &item);
  return !answer && item.nTaille() == 0 && error.dwGetSystemErrorCode() == 12u ? 0 : 10 + answer;
}
#endif

// A quoted name whose buffer cannot be had is no empty name ("SELECT  FROM"): FALSE with the
// no-memory error.
TEST(Dialect, QuotedNameWithoutMemoryIsTheNoMemoryError) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's allocator does not fail under an address-space limit";
#else
  EXPECT_EXIT(std::exit(FormatWithoutMemory()), testing::ExitedWithCode(0), "");
#endif
}

TEST(Transactions, ChainsSendTheirSQLInOrder) {
  // Steps: B begin, C commit, R roll back, L lock table t, Q lock a query, then the name and "=" the
  // outcome: 1 TRUE, 0 FALSE, else FALSE with that error; K the session is lost (2013), S the same
  // with a transaction the host's SQL text may have opened on it. Connection: o
  // closed, f its open fails, x its COMMIT fails, n nested transactions off, a digit the dialect. The
  // log ends with "none" without a transaction object, "active" while a transaction is, "lost" while
  // a loss is kept.
  const std::pair<const char*, const char*> rows[] = {
      {"5 B=1 B=1 C=1 C=1", "BEGIN|SAVEPOINT qx_savepoint_1|RELEASE SAVEPOINT qx_savepoint_1|COMMIT|"},
      {"5 Bt=1 Bt=1 CT=10", "BEGIN|SAVEPOINT qx_savepoint_1|active"},
      {"5 Ba=1 Bb=1 Ra=1 Ra=1", "BEGIN|SAVEPOINT qx_savepoint_1|ROLLBACK TO SAVEPOINT qx_savepoint_1|ROLLBACK|"},
      {"5 B=1 B=1 B=1 C=1 R=1 R=1", "BEGIN|SAVEPOINT qx_savepoint_1|SAVEPOINT qx_savepoint_2|"
                                    "RELEASE SAVEPOINT qx_savepoint_2|ROLLBACK TO SAVEPOINT qx_savepoint_1|ROLLBACK|"},
      {"0 B=1 B=1 C=1 C=1", "BEGIN|BEGIN|COMMIT|COMMIT|"},
      {"5n B=1 B=1 C=1 C=1", "BEGIN|COMMIT|"},
      {"5 Cx=9 R=9", "none"},
      {"5 Ba=1 Rzz=9 Czz=0 C=1 R=1", "BEGIN|COMMIT|"},
      {"5o B=1", "open|BEGIN|active"},
      {"5of B=0 C=9", "none"},
      {"5x B=1 C=0 R=1 L=1 Q=1", "BEGIN|COMMIT|LOCK TABLE t|SELECT 1 FOR UPDATE|"},
      // A loss outside a transaction is not kept; inside one, nothing commits (each commit is
      // refused naming the transaction, 320103) until a commit or roll-back leaves no level
      // active or a new outermost transaction begins (on a session opened since). A roll-back of
      // a lost level sends nothing: the server rolled it back with the session.
      {"5 K B=1 C=1", "BEGIN|COMMIT|"},
      {"5 B=1 K C=320103 C=1 R=1 C=1", "BEGIN|COMMIT|COMMIT|"},
      {"5 B=1 K R=1 B=1 C=1", "BEGIN|BEGIN|COMMIT|"},
      {"5 B=1 B=1 K C=320103 C=320103 R=1", "BEGIN|SAVEPOINT qx_savepoint_1|"},
      {"5 B=1 B=1 K R=1 C=320103", "BEGIN|SAVEPOINT qx_savepoint_1|"},
      {"5 BT=1 BU=1 K RT=1 C=320103", "BEGIN|SAVEPOINT qx_savepoint_1|"},
      {"5 B=1 K C=320103 B=1 C=1", "BEGIN|BEGIN|COMMIT|"},
      {"5 B=1 K B=1 C=320103", "BEGIN|SAVEPOINT qx_savepoint_1|activelost"},
      {"5n B=1 B=1 K C=1 C=320103 R=1", "BEGIN|"},
      {"5n B=1 B=1 K R=1 R=1", "BEGIN|"},
      // The host's own lost transaction ends by either entry, whatever the connection ran before:
      // the roll-back answers TRUE, the commit is refused naming the database (320104).
      {"5 S R=1 R=9", "none"},
      {"5 S C=320104 C=9", "none"},
      {"5 B=1 C=1 S R=1", "BEGIN|COMMIT|"},
      {"5 B=1 R=1 S Cz=320104", "BEGIN|ROLLBACK|"},
  };
  for (const auto& [script, log] : rows) {
    std::istringstream steps(script);
    std::string flags, step;
    steps >> flags;
    auto has = [&](char f) { return flags.find(f) != std::string::npos; };
    CRecordingConnection c(flags[0] - '0');
    c.m_bNestedTransactions = !has('n');
    c.m_bOpen = !has('o');
    c.m_bFailOpen = has('f');
    c.m_strFail = has('x') ? L"COMMIT" : L"";
    while (steps >> step) {
      if (step == "K" || step == "S") {
        c.MarkTransactionLost(2013, L"Lost connection to server during query", step == "S");
        continue;
      }
      const size_t eq = step.find('=');
      const std::wstring name(step.begin() + 1, step.begin() + static_cast<long>(eq));
      const unsigned int want = static_cast<unsigned int>(std::stoul(step.substr(eq + 1)));
      CNAError error;
      const BOOL got = step[0] == 'B'   ? c.bTransactionBegin(&error, name.c_str())
                       : step[0] == 'C' ? c.bTransactionCommit(&error, name.c_str())
                       : step[0] == 'R' ? c.bTransactionRollBack(&error, name.c_str())
                       : step[0] == 'L' ? c.bSQLBloque(&error, L"t")
                                        : c.bSQLBloqueRequete(&error, L"SELECT 1");
      EXPECT_EQ(std::tuple(got, error.dwGetErrorId()), std::tuple(BOOL(want == 1), want == 1 ? 0u : want)) << step;
      EXPECT_EQ(error.dwGetDataBaseErrorCode(), want == 320103 || want == 320104 ? 2013u : 0u) << step;
    }
    EXPECT_EQ(c.m_strLog + (c.m_pclTransaction == nullptr ? "none" : c._bTransactionOpened() ? "active" : "") +
                  (c.bTransactionLost() ? "lost" : ""),
              log)
        << script;
  }
}

TEST(Transactions, ResumeAndActivationReachOnlyAnActiveTransaction) {
  const struct {
    const char* pszSteps;  // B begin, C commit, before both calls
    BOOL nAnswer;          // of the transaction's own operations
    BOOL bResult;          // of both calls
    const char* pszLog;
  } rows[] = {
      {"", 0, TRUE, ""},  // no transaction object
      {"BC", 0, TRUE, "BEGIN|COMMIT|"},
      {"B", 1, TRUE, "BEGIN|resume|active 7|"},
      {"B", 3, TRUE, "BEGIN|resume|active 7|"},
      {"B", 2, FALSE, "BEGIN|resume|active 7|"},
      {"B", 0, FALSE, "BEGIN|resume|active 7|"},
  };
  for (const auto& row : rows) {
    CRecordingConnection c(5);
    c.m_nAnswer = row.nAnswer;
    CNAError error;
    for (const char* p = row.pszSteps; *p != 0; ++p)
      ASSERT_TRUE(*p == 'B' ? c.bTransactionBegin(&error, L"") : c.bTransactionCommit(&error, L""));
    const BOOL resumed = c.bResumeCurrentTransaction(&error);
    const BOOL activated = c.bActiveCurrentTransaction(&error, 7);
    EXPECT_EQ(std::tuple(resumed, activated, c.m_strLog), std::tuple(row.bResult, row.bResult, std::string(row.pszLog)))
        << row.pszSteps << " " << row.nAnswer;
  }
}

TEST(Transactions, NoMemoryForATransactionIsTheNoMemoryError) {
  _CXErrorModule32 want;
  want.SetErrorNoMemory();
  const unsigned char byte = 0;
  const struct {
    const char* pszCase;
    int nTransactionsLeft;
    std::function<BOOL(CRecordingConnection&, CNAError*)> run;
    const char* pszLog;  // "active" while a transaction is
  } rows[] = {
      {"first begin", 0, [](auto& c, CNAError* e) { return c.bTransactionBegin(e, L""); }, "none"},
      {"nested begin", 1,
       [](auto& c, CNAError* e) { return c.bTransactionBegin(e, L"") && c.bTransactionBegin(e, L""); },
       "BEGIN|active"},
      {"hexadecimal literal", -1,
       [&](auto&, CNAError* e) {
         CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
         return CNAConnectionDescription::s_bBinaryToStringHexa(e, &byte, 0x40000000u, &out);
       },
       "none"},
  };
  for (const auto& row : rows) {
    CRecordingConnection c(5);
    c.m_nTransactionsLeft = row.nTransactionsLeft;
    CNAError error;
    EXPECT_FALSE(row.run(c, &error)) << row.pszCase;
    EXPECT_EQ(std::tuple(error.dwGetErrorId(), error.eGetErrorType(), error.eGetErrorLevel(),
                         error.dwGetSystemErrorCode(), std::wstring(error.pclGetXError()->pszGetUserMessage())),
              std::tuple(0u, NA_ERRORTYPE_DEFAULT, NAERRORLEVEL_ERROR, 12u, std::wstring(want.pszGetUserMessage())))
        << row.pszCase;
    EXPECT_EQ(c.m_strLog + (c.m_pclTransaction == nullptr ? "none" : c._bTransactionOpened() ? "active" : ""),
              row.pszLog)
        << row.pszCase;
  }
}

TEST(MySQLDialect, CreateTypesFollowTheServerVersion) {
  const std::tuple<const wchar_t*, int, int, int, std::wstring> rows[] = {
      // version and its split: UNICODE, MEMOTEXTE, MEMOUNICODE, BINAIRE
      {L"", -1, 0, 0, L"VARCHAR(10) LONGBLOB LONGBLOB VARCHAR(10) BINARY"},
      {L"3.23.58", 3, 23, 58, L"VARCHAR(10) LONGBLOB LONGBLOB VARCHAR(10) BINARY"},
      {L"4.0.27", 4, 0, 27, L"VARCHAR(10) LONGTEXT LONGTEXT VARCHAR(10) BINARY"},
      {L"4.1.1", 4, 1, 1, L"VARCHAR(10) CHARACTER SET ucs2 LONGTEXT LONGTEXT CHARACTER SET ucs2 VARCHAR(10) BINARY"},
      {L"4.1.2", 4, 1, 2, L"VARCHAR(10) CHARACTER SET ucs2 LONGTEXT LONGTEXT CHARACTER SET ucs2 VARBINARY(10)"},
      {L"10.11.x-MariaDB-1", 10, 11, 0,
       L"VARCHAR(10) CHARACTER SET ucs2 LONGTEXT LONGTEXT CHARACTER SET ucs2 VARBINARY(10)"}};
  for (const auto& [version, major, minor, patch, texts] : rows) {
    CRecordingMySQL cnx(5, L"`", version);
    EXPECT_EQ(std::tuple(cnx.nGetServerVersionMajor(), cnx.nGetServerVersionMinor(), cnx.nGetServerVersionPatch()),
              std::tuple(major, minor, patch));
    EXPECT_EQ(TypeText(cnx, NA_IT_UNICODE, 22) + L" " + TypeText(cnx, NA_IT_MEMOTEXTE) + L" " +
                  TypeText(cnx, NA_IT_MEMOUNICODE) + L" " + TypeText(cnx, NA_IT_BINAIRE, 12),
              texts)
        << version;
  }
  CRecordingMySQL cnx(5);
  EXPECT_TRUE(cnx.bSQLBloque(nullptr, L"`t`"));
  EXPECT_EQ(cnx.m_strLog, "SELECT * FROM `t` FOR UPDATE|");
  CTStringConcatAW out;
  CNAError error;
  unsigned char byte = 'x';
  EXPECT_FALSE(cnx._bEscapeString(&error, &out, ZV_BIN, &byte, 1) || error.dwGetErrorId() != 14);  // no handle
}

TEST(MySQLDialect, ResultColumnsMapToItemTypes) {
  const std::tuple<int, unsigned int, unsigned int, eNA_ITEMTYPE, unsigned int> rows[] = {
      // field type, length (~0u: LONGTEXT and JSON), charset, item type, size
      {15, 100, 33, NA_IT_UNICODE, 202}, {15, 100, 8, NA_IT_TEXTE, 101}, {253, 40000, 33, NA_IT_MEMOUNICODE, 8},
      {253, 40000, 8, NA_IT_TEXTE, 40001}, {254, 65535, 8, NA_IT_MEMOTEXTE, 8}, {252, ~0u, 45, NA_IT_MEMOUNICODE, 8},
      {252, 65535, 63, NA_IT_MEMOBINAIRE, 8}, {252, 65535, 0, NA_IT_MEMOTEXTE, 8}, {245, ~0u, 8, NA_IT_MEMOTEXTE, 8},
      {245, ~0u, 45, NA_IT_MEMOUNICODE, 8}, {16, 0, 63, NA_IT_BINAIRE, 3}, {16, 8, 63, NA_IT_BINAIRE, 10},
      {246, 12, 63, NA_IT_MONETAIRE, 10}, {6, 0, 63, NA_IT_EMPTY, 0}, {13, 4, 63, NA_IT_I2, 2},
      {11, 14, 63, NA_IT_HEURE, 10}};
  for (const auto& [field, length, charset, type, size] : rows) {
    std::tuple got(NA_IT_IDAUTO, 99u);
    CMySQLConnection::ConvertItemType(&std::get<0>(got), &std::get<1>(got), field, length, 8, 2, charset);
    EXPECT_EQ(got, std::tuple(type, size)) << field << " " << length;
  }
  const std::vector<unsigned int> unicode = {12, 17, 33, 35, 45, 46, 54, 55, 56, 60, 61, 62, 76, 83, 90, 91};
  for (unsigned int c = 0; c <= 300; ++c)
    EXPECT_EQ(CMySQLConnection::bCharsetUnicode(c), c > 98 || std::count(unicode.begin(), unicode.end(), c)) << c;
}

// The binary character set gives binary items, the memo form past a binary item's length; the
// unsigned flag gives the unsigned integers (the signed ones refused the upper half). A JSON
// column, which the server reports in the binary character set, stays a text memo.
TEST(MySQLDialect, ResultColumnsHonourTheBinaryCharsetAndTheUnsignedFlag) {
  const std::tuple<int, unsigned int, unsigned int, BOOL, eNA_ITEMTYPE, unsigned int> rows[] = {
      // field type, length, charset, unsigned, item type, size
      {253, 16, 63, FALSE, NA_IT_BINAIRE, 18},    {254, 4, 63, FALSE, NA_IT_BINAIRE, 6},
      {15, 65533, 63, FALSE, NA_IT_BINAIRE, 65535}, {253, 65534, 63, FALSE, NA_IT_MEMOBINAIRE, 8},
      {254, 0, 63, FALSE, NA_IT_MEMOBINAIRE, 8},  {253, 16, 33, FALSE, NA_IT_UNICODE, 34},
      {1, 3, 63, TRUE, NA_IT_UI1, 1},             {2, 5, 63, TRUE, NA_IT_UI2, 2},
      {9, 8, 63, TRUE, NA_IT_UI4, 4},             {3, 10, 63, TRUE, NA_IT_UI4, 4},
      {8, 20, 63, TRUE, NA_IT_UI8, 8},            {8, 20, 63, FALSE, NA_IT_I8, 8},
      {1, 4, 63, FALSE, NA_IT_I1, 1},             {16, 8, 63, TRUE, NA_IT_BINAIRE, 10},
      {245, ~0u, 63, FALSE, NA_IT_MEMOTEXTE, 8}};
  for (const auto& [field, length, charset, isUnsigned, type, size] : rows) {
    std::tuple got(NA_IT_IDAUTO, 99u);
    CMySQLConnection::ConvertItemType(&std::get<0>(got), &std::get<1>(got), field, length, 0, 0, charset, isUnsigned);
    EXPECT_EQ(got, std::tuple(type, size)) << field << " " << length << " " << charset;
  }
}

TEST(MySQLDialect, EveryClientTypeCodeHasItsName) {
  const char* names[] = {"DECIMAL", "TINY", "SHORT", "LONG", "FLOAT", "DOUBLE", "NULL", "TIMESTAMP", "LONGLONG",
                         "INT24", "DATE", "TIME", "DATETIME", "YEAR", "NEWDATE", "VARCHAR", "BIT", "NEWDECIMAL",
                         "ENUM", "SET", "TINY_BLOB", "MEDIUM_BLOB", "LONG_BLOB", "BLOB", "VAR_STRING", "STRING"};
  CRecordingMySQL cnx(5);
  CTString out;
  for (int i = 0; i < 26; ++i)  // codes 0 to 16, then 246 to 254
    EXPECT_TRUE(cnx.bDBTypeToString(&out, i <= 16 ? i : i + 229) &&
                out.pszGet() == L"MYSQL_TYPE_" + std::wstring(names[i], names[i] + strlen(names[i])));
  EXPECT_FALSE(cnx.bDBTypeToString(&out, 17) || out.pszGet() != std::wstring(L"MYSQL_TYPE_NEWDECIMAL"));
}

}  // namespace

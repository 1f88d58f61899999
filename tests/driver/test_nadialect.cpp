// Dialect features, column type texts, identifiers and transaction chains, on a connection that
// records the SQL its direct operations send.
#include <gtest/gtest.h>

#include <string>

#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "driver/natransaction.h"
#include "host/host_nadescription.h"
#include "sql/naitemdescription.h"

namespace {

// The host description is built before the connection that reads it and outlives it.
struct CHostHolder {
  CHostConnectionDescription m_host;
};

class CRecordingConnection : private CHostHolder, public CNAConnectionDescription {
 public:
  explicit CRecordingConnection(int dialect, const wchar_t* quote = L"`")
      : CNAConnectionDescription(L"id", &m_host) {
    m_eDataSource = dialect;
    m_csQuoteOpen = m_csQuoteClose = quote;
    m_nQuoteOpenLength = m_nQuoteCloseLength = static_cast<int>(wcslen(quote));
  }
  BOOL bOpen(CNAError*) override {
    if (m_bFailOpen) return FALSE;
    if (!m_bOpen) m_strLog += "open|";
    return m_bOpen = TRUE;
  }
  BOOL bIsOpen() override { return m_bOpen; }
  BOOL bClose(CNAError*) override { return !(m_bOpen = FALSE); }
  BOOL bExecuteQueryNoResult(CNAError*, const wchar_t* sql) override {
    m_strLog += std::string(sql, sql + wcslen(sql)) + "|";
    return m_strFail != sql;
  }
  std::string m_strLog;
  std::wstring m_strFail;
  BOOL m_bOpen = TRUE, m_bFailOpen = FALSE;
  using CNAConnectionDescription::m_bNestedTransactions;
  using CNAConnectionDescription::m_bUnicodeTypes;
  using CNAConnectionDescription::m_csServerVersion;
  using CNAConnectionDescription::m_pclTransaction;
};

TEST(Dialect, EachDialectAnswersItsFeatures) {
  // sub-queries, LIMIT or TOP, 0000 date NULL, VARCHAR, NVARCHAR, ms digits, ORDER BY limit
  const int rows[15][7] = {{0, 0, 0, -1, -1, 3, INT_MAX},  {1, 1, 0, 4000, 2000, 3, INT_MAX}, {1, 1, 1, 8000, 4000, 3, INT_MAX},
                           {0, 1, 0, -1, -1, 3, INT_MAX},  {1, 0, 0, -1, -1, 3, 31},          {0, 1, 0, 255, 255, 3, INT_MAX},
                           {0, 1, 0, -1, -1, 3, INT_MAX},  {1, 0, 0, -1, -1, 0, INT_MAX},     {0, 0, 0, -1, -1, 0, INT_MAX},
                           {1, 0, 0, -1, -1, 3, INT_MAX},  {0, 0, 0, -1, -1, 3, INT_MAX},     {0, 0, 0, -1, -1, 0, INT_MAX},
                           {1, 0, 0, -1, -1, 3, INT_MAX},  {1, 0, 0, -1, -1, 3, INT_MAX},     {0, 0, 0, -1, -1, 3, INT_MAX}};
  for (int d = 0; d < 15; ++d) {
    CRecordingConnection c(d);
    const int got[7] = {c.bSupportSubQuery(), c.bSupportLimitOrTop(), c.bTreat0000DateAsNULL(), c.nGetVarCharMaxLen(),
                        c.nGetNVarCharMaxLen(), c.nGetTimeMillisecondDigits(), c.nGetOrderByMaxExpressionNbr()};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(got[i], rows[d][i]) << "dialect " << d << " column " << i;
    EXPECT_STREQ(c.pszGetVarCharType(), d == 1 ? L"VARCHAR2" : L"VARCHAR");
    EXPECT_STREQ(c.pszGetCLOBType(), d == 5 ? L"LONGBLOB" : L"CLOB");  // MySQL before the version is known
  }
}

TEST(Dialect, TypeTextsGiveTheItemTypeFromTheNumbersAfterTheName) {
  const struct {
    const wchar_t *pszDecl, *pszCharset;
    eNA_ITEMTYPE eType;
    unsigned int nSize, nInt, nDec;
  } rows[] = {
      {L"int(11) unsigned", nullptr, NA_IT_UI4, 4, 0, 0},   {L"unsigned  int", nullptr, NA_IT_UI4, 4, 0, 0},
      {L"bigint(20)", nullptr, NA_IT_I8, 8, 0, 0},          {L"INT8", nullptr, NA_IT_I8, 8, 0, 0},
      {L"tinyint(1)", nullptr, NA_IT_I1, 1, 0, 0},          {L"varchar( 40 )", L"", NA_IT_TEXTE, 41, 0, 0},
      {L"varchar(40)", L"utf8mb4_general_ci", NA_IT_UNICODE, 82, 0, 0}, {L"text", L"ucs2", NA_IT_MEMOUNICODE, 8, 0, 0},
      {L"decimal(10,2) unsigned", nullptr, NA_IT_MONETAIRE, 10, 8, 2}, {L"DEC(10,2)", nullptr, NA_IT_MONETAIRE, 10, 8, 2},
      {L"decimal(10)", nullptr, NA_IT_I8, 8, 10, 0},        {L"decimal", nullptr, NA_IT_I8, 8, 10, 0},
      {L"decimal(10,", nullptr, NA_IT_I8, 8, 10, 0},        {L"char(5)", nullptr, NA_IT_TEXTE, 6, 0, 0},
      {L"CHAR", nullptr, NA_IT_CHAR, 1, 0, 0},              {L"year(4)", nullptr, NA_IT_DATE8, 9, 0, 0},
      {L"varchar(", nullptr, NA_IT_TEXTE, 2, 0, 0},         {L"varbinary(16)", nullptr, NA_IT_BINAIRE, 18, 0, 0},
      {L"geometry", L"utf8", NA_IT_MEMOUNICODE, 8, 0, 0},   {L"timestamp", nullptr, NA_IT_DATETIME, 8, 0, 0},
  };
  CRecordingConnection c(5);
  for (const auto& r : rows) {
    eNA_ITEMTYPE type = NA_IT_EMPTY;
    unsigned int size = 0, integer = 99, decimals = 99;
    EXPECT_TRUE(c.bSQLTypeNameToNAType(nullptr, &type, &size, &integer, &decimals, r.pszDecl, r.pszCharset));
    EXPECT_EQ(type, r.eType) << r.pszDecl;
    EXPECT_EQ(size, r.nSize) << r.pszDecl;
    EXPECT_EQ(integer, r.nInt) << r.pszDecl;
    EXPECT_EQ(decimals, r.nDec) << r.pszDecl;
  }
  EXPECT_EQ(CNAConnectionDescription::_nGetSizeInTypeDecl(L"VARCHAR ( 40 )", L"VARCHAR"), 40);
  EXPECT_EQ(CNAConnectionDescription::_nGetSizeInTypeDecl(L"DECIMAL(10,2)", L"DECIMAL"), 1);
}

TEST(Dialect, MatchingSQLTypeCapsDecimalsAndRefusesUnicodeWhenNotAllowed) {
  const struct {
    int nDialect;
    eNA_ITEMTYPE eType;
    unsigned int nSize;
    int nInt, nDec, bUnicode;
    const wchar_t* pszOut;  // null: error 46
  } rows[] = {{5, NA_IT_DECIMAL, 40, 60, 40, 1, L"NUMERIC(64,30)"}, {3, NA_IT_TEXTE, 301, 0, 0, 1, L"TEXT"},
              {0, NA_IT_TEXTE, 301, 0, 0, 1, L"VARCHAR(300)"},     {5, NA_IT_UNICODE, 10, 0, 0, 0, nullptr}};
  for (const auto& r : rows) {
    CRecordingConnection c(r.nDialect);
    c.m_bUnicodeTypes = r.bUnicode;
    CNAItemDescription item;
    item.bInit(L"i", L"t", L"i", 1, r.nSize, r.eType, 0, -1, 0, 20, 10);
    item.SetIntegerPart(r.nInt);
    item.SetDecimalPart(r.nDec);
    CNAError error;
    CTString out;
    EXPECT_EQ(c.bGetMatchingSQLType(&error, &item, &out), r.pszOut != nullptr);
    EXPECT_STREQ(out.pszGet(), r.pszOut != nullptr ? r.pszOut : L"");
    EXPECT_EQ(error.dwGetErrorId(), r.pszOut != nullptr ? 0u : 46u);
  }
}

TEST(Dialect, VersionSplitStopsAtThePieceWithoutANumber) {
  const struct {
    const wchar_t* pszText;
    int n[3];
  } rows[] = {{L"5.7.31-log", {5, 7, 31}}, {L"10.11.6-MariaDB-0+deb12u1", {10, 11, 6}},
              {L"10.11.x-MariaDB-1", {10, 11, 7}}, {L"x.1.2", {7, 7, 7}}, {L"8", {8, 7, 7}}};
  for (const auto& r : rows) {
    int n[3] = {7, 7, 7};
    const CTString text(r.pszText);
    EXPECT_TRUE(CNAConnectionDescription::g_bDecomposeVersion(nullptr, &text, &n[0], &n[1], &n[2]));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(n[i], r.n[i]) << r.pszText;
  }
}

TEST(Dialect, QuotedNamesNeverEndTheirIdentifier) {
  const struct {
    const wchar_t *pszQuote, *pszName, *pszItem, *pszTable, *pszPlain;
  } rows[] = {
      {L"`", L"a`b", L"`a``b`", L"`a``b`", L"a`b"},        {L"`", L"`ab`", L"`ab`", L"`ab`", L"ab"},
      {L"`", L"`a`b`", L"```a``b```", L"```a``b```", L"`a`b`"}, {L"`", L"base.table", L"`base.table`", L"`base`.`table`", L"base.table"},
      {L"`", L"`base`.`t`", L"```base``.``t```", L"`base`.`t`", L"`base`.`t`"}, {L"`", L"`a.b`", L"`a.b`", L"`a.b`", L"a.b"},
      {L"", L"a`b", L"a`b", L"a`b", L"a`b"},               {L"[", L"x", L"[x[", L"[x[", L"x"},
  };
  for (const auto& r : rows) {
    CRecordingConnection c(5, r.pszQuote);
    CTString item, table;
    c.bFormatItemName(nullptr, r.pszName, &item);
    c.bFormatTableName(nullptr, r.pszName, &table);
    EXPECT_STREQ(item.pszGet(), r.pszItem) << r.pszName;
    EXPECT_STREQ(table.pszGet(), r.pszTable) << r.pszName;
    c.UnFormatItemName(item.pszGet(), &item);
    EXPECT_STREQ(item.pszGet(), r.pszPlain) << r.pszName;
  }
  CTString first, second, table;
  CNAConnectionDescription::DecomposeTableName(&first, &second, &table, L" a . b . c.d ");
  EXPECT_EQ(std::wstring(first.pszGet()) + L"|" + second.pszGet() + L"|" + table.pszGet(), L"a|b|c.d");
  CTString owner, name;
  CNAConnectionDescription::bExtractOwner(L"", L"o.t", &owner, &name);
  EXPECT_EQ(std::wstring(owner.pszGet()) + L"|" + name.pszGet(), L"o|t");
}

struct STStep {
  char cOp;  // B begin, C commit, R roll back
  const wchar_t* pszName;
  int bResult;
  unsigned int nError;
};

TEST(Transactions, ChainsSendTheirSQLInOrder) {
  const struct {
    int nDialect, bNested;
    std::vector<STStep> steps;
    const char* pszLog;
  } rows[] = {
      {5, 1, {{'B', L"", 1, 0}, {'B', L"", 1, 0}, {'C', L"", 1, 0}, {'C', L"", 1, 0}},
       "BEGIN|SAVEPOINT qx_savepoint_1|RELEASE SAVEPOINT qx_savepoint_1|COMMIT|"},
      {5, 1, {{'B', L"t", 1, 0}, {'B', L"t", 1, 0}, {'C', L"T", 0, 10}}, "BEGIN|SAVEPOINT qx_savepoint_1|"},
      {5, 1, {{'B', L"a", 1, 0}, {'B', L"b", 1, 0}, {'R', L"a", 1, 0}, {'R', L"a", 1, 0}},
       "BEGIN|SAVEPOINT qx_savepoint_1|ROLLBACK TO SAVEPOINT qx_savepoint_1|ROLLBACK|"},
      {5, 1, {{'B', L"", 1, 0}, {'B', L"", 1, 0}, {'B', L"", 1, 0}, {'C', L"", 1, 0}, {'R', L"", 1, 0}, {'R', L"", 1, 0}},
       "BEGIN|SAVEPOINT qx_savepoint_1|SAVEPOINT qx_savepoint_2|RELEASE SAVEPOINT qx_savepoint_2|"
       "ROLLBACK TO SAVEPOINT qx_savepoint_1|ROLLBACK|"},
      {0, 1, {{'B', L"", 1, 0}, {'B', L"", 1, 0}, {'C', L"", 1, 0}, {'C', L"", 1, 0}}, "BEGIN|BEGIN|COMMIT|COMMIT|"},
      {5, 0, {{'B', L"", 1, 0}, {'B', L"", 1, 0}, {'C', L"", 1, 0}, {'C', L"", 1, 0}}, "BEGIN|COMMIT|"},
      {5, 1, {{'C', L"x", 0, 9}, {'R', L"", 0, 9}}, ""},
      {5, 1, {{'B', L"a", 1, 0}, {'R', L"zz", 0, 9}, {'C', L"zz", 0, 0}, {'C', L"", 1, 0}, {'R', L"", 1, 0}}, "BEGIN|COMMIT|"},
  };
  for (const auto& r : rows) {
    CRecordingConnection c(r.nDialect);
    c.m_bNestedTransactions = r.bNested;
    for (const STStep& s : r.steps) {
      CNAError error;
      const BOOL got = s.cOp == 'B'   ? c.bTransactionBegin(&error, s.pszName)
                       : s.cOp == 'C' ? c.bTransactionCommit(&error, s.pszName)
                                      : c.bTransactionRollBack(&error, s.pszName);
      EXPECT_EQ(got, s.bResult) << r.pszLog << " " << s.cOp;
      EXPECT_EQ(error.dwGetErrorId(), s.nError) << r.pszLog << " " << s.cOp;
    }
    EXPECT_EQ(c.m_strLog, r.pszLog);
  }
}

TEST(Transactions, BeginOpensAFailedEndLeavesNothingActive) {
  CRecordingConnection closed(5), failing(5), ending(5);
  closed.m_bOpen = FALSE;
  EXPECT_TRUE(closed.bTransactionBegin(nullptr, L""));
  EXPECT_EQ(closed.m_strLog, "open|BEGIN|");
  failing.m_bOpen = FALSE;
  failing.m_bFailOpen = TRUE;
  EXPECT_FALSE(failing.bTransactionBegin(nullptr, L""));
  EXPECT_EQ(failing.m_pclTransaction, nullptr);
  ending.m_strFail = L"COMMIT";
  EXPECT_TRUE(ending.bTransactionBegin(nullptr, L""));
  EXPECT_FALSE(ending.bTransactionCommit(nullptr, L""));
  EXPECT_FALSE(ending._bTransactionOpened());
  EXPECT_TRUE(ending.bSQLBloque(nullptr, L"t") && ending.bSQLBloqueRequete(nullptr, L"SELECT 1"));
  EXPECT_EQ(ending.m_strLog, "BEGIN|COMMIT|LOCK TABLE t|SELECT 1 FOR UPDATE|");
}

}  // namespace

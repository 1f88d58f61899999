// Queries of the stand-in SQL engine rewritten by commands on connections of several dialects that
// never open: the per-dialect tables (spot rows), typing of parameters, empty dates, ORDER BY,
// filters, qualifiers, the host's lists of free text, errors 48 and 32, and every reference given
// back to the host.
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "host/host_nadescription.h"
#include "mysql/mysqldriver.h"
#include "sql/inaitemdescription.h"
#include "sql/nacommand.h"
#include "sql/naconvertvariant.h"
#include "sql/sqlparserinfo.h"
#include "tests/support/any_test_values.h"
#include "tests/support/parse_bench.h"

namespace {

struct CHostHolder {
  CHostConnectionDescription m_host;
};
// The generic connection on a dialect, with the backquote; NULL ordering and the number of ORDER
// BY entries chosen by the test.
class CDialectCnx : private CHostHolder, public CNAConnectionDescription {
 public:
  CDialectCnx(int dialect, BOOL nullFirst = TRUE, int orderMax = INT_MAX, int serverCP = -1)
      : CNAConnectionDescription(L"id", &m_host), m_bNullFirst(nullFirst), m_nOrderMax(orderMax) {
    m_eDataSource = dialect, m_nServerVersionMajor = 8;
    SetHostCodePage(1252);
    SetServerCodePage(serverCP);
    m_csQuoteOpen = m_csQuoteClose = L"`";
    m_nQuoteOpenLength = m_nQuoteCloseLength = 1;
    SetStatic(true);
  }
  BOOL bOpen(CNAError*) override { return TRUE; }
  BOOL bIsOpen() override { return TRUE; }
  BOOL bClose(CNAError*) override { return TRUE; }
  BOOL bNULLBeforeNotNULL() const override { return m_bNullFirst; }
  int nGetOrderByMaxExpressionNbr() const override { return m_nOrderMax; }

 private:
  BOOL m_bNullFirst;
  int m_nOrderMax;
};

// A parse-tree node of any operator with n arguments, for the typing tables.
class CTestNode final : public IExpOpExpression {
 public:
  CTestNode(int op, int n) : m_eOp(static_cast<eOPEXPRESSION>(op)) {
    for (int i = 0; i < n; ++i) m_tabArgs.push_back(std::make_unique<CTestNode>(NA_OPEXP_LITERAL, 0));
  }
  int nRelease() override { return --m_nRef; }
  eOPEXPRESSION eGetOperator() override { return m_eOp; }
  IExpOpExpression* piGetLeft() override { return Give(0); }
  IExpOpExpression* piGetRight() override { return Give(1); }
  const wchar_t* pszGetColumnName() override { return L""; }
  BOOL bGetLiteral(CAny*) override { return FALSE; }
  stTEXTPOSITION stGetPosition() override { return {}; }
  const wchar_t* pszGetQualifier() override { return L""; }
  stTEXTPOSITION stGetExtent() override { return {}; }
  BOOL bIsOuterJoinColumn() override { return FALSE; }
  int nGetHostType() override { return 0; }
  wchar_t cGetLikeEscape() override { return 0; }
  IExpOpExpression* piGetNextArgument(IExpOpExpression* previous) override {
    for (size_t i = 0; i < m_tabArgs.size(); ++i)
      if (previous == nullptr || m_tabArgs[i].get() == previous) return Give(previous == nullptr ? i : i + 1);
    return nullptr;
  }
  int nGetIntegerParameter() override { return 0; }
  int nRefs() const { return m_nRef; }

 private:
  IExpOpExpression* Give(size_t i) {
    if (i >= m_tabArgs.size()) return nullptr;
    m_tabArgs[i]->AddRef();
    return m_tabArgs[i].get();
  }
  eOPEXPRESSION m_eOp;
  std::vector<std::unique_ptr<CTestNode>> m_tabArgs;
};

class Rewrite : public ParseTest {
 protected:
  struct VM : AnyTest { static void Bind() { SetUpTestSuite(); } };
  static void SetUpTestSuite() { VM::Bind(); }
  Rewrite() {
    CNAError::s_Hold(&m_error);
    CHostRecordDescription* t = m_bench.Table(L"t", L"phys t");
    m_bench.Item(t, L"x", NA_IT_I4, 4);
    m_bench.Item(t, L"y", NA_IT_I4, 4);
    m_bench.Item(t, L"h", NA_IT_HEURE, 10);
    m_bench.Item(t, L"dt", NA_IT_DATETIME, 8);
  }
  void TearDown() override {
    for (CNACommand* c : m_commands) c->nRelease();
    for (CSQLParserInfo* q : m_queries) q->nRelease();
    m_commands.clear();
    m_queries.clear();
    for (const CHostItemDescription& item : m_bench.m_items)
      EXPECT_EQ(item.nGetRefCount(), 0) << "item " << ParseBench::Narrow(item.pszGetName()) << " kept";
    for (const CHostRecordDescription& table : m_bench.m_tables)
      EXPECT_EQ(table.nGetRefCount(), 0) << "table " << ParseBench::Narrow(table.pszGetLogicalName()) << " kept";
    ParseTest::TearDown();
  }
  CDialectCnx* Cnx(int dialect, BOOL nullFirst = TRUE, int orderMax = INT_MAX, int serverCP = -1) {
    return m_cnx.emplace_back(std::make_unique<CDialectCnx>(dialect, nullFirst, orderMax, serverCP)).get();
  }
  CNACommand* Make(CNAConnectionDescription* cnx) {
    CNACommand* c = pclAllocCommand(&m_error, cnx);
    c->AddRef();
    m_commands.push_back(c);
    return c;
  }
  CSQLParserInfo* Query(const std::wstring& text) {
    ISQLParserInformation* parse = m_bench.Parse(text);
    if (parse == nullptr) return nullptr;
    CSQLParserInfo* info = new CSQLParserInfo(&m_error, parse, nullptr, 0);
    info->AddRef();
    parse->nRelease();
    m_queries.push_back(info);
    return info;
  }
  // The formatted SQL of the host query rewritten; "<error N>" when the rewrite fails.
  std::wstring Sent(CNAConnectionDescription* cnx, const std::wstring& host, CNACommand* filter = nullptr,
                    int keepOrderBy = 1, int mode = 0, CNACommand** made = nullptr) {
    CSQLParserInfo* info = Query(host);
    if (info == nullptr) return L"<no parse>";
    CNACommand* c = Make(cnx);
    if (made != nullptr) *made = c;
    m_error.Reset();
    if (!c->bFormatCondition(info, filter, keepOrderBy, mode))
      return L"<error " + std::to_wstring(m_error.nGetUserErrorCode()) + L">";
    const wchar_t* sent = c->pszGetFormatedSQL(NA_PARAMCONV_ALL);
    return sent != nullptr ? sent : L"<not formatted>";
  }
  // Each host query of the dialect-5 connection sent holding its piece of text.
  void ExpectSentHolds(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> queries) {
    for (const auto& [host, piece] : queries) {
      const std::wstring sent = Sent(Cnx(5), host);
      EXPECT_NE(sent.find(piece), std::wstring::npos) << ParseBench::Narrow(sent);
    }
  }
  CNACommand* Filter(CNAConnectionDescription* cnx, const std::wstring& condition, const wchar_t* from) {
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParseCondition(condition.c_str(), from, m_bench.m_catalogue, &error);
    EXPECT_NE(parse, nullptr) << ParseBench::Narrow(error.pszGet());
    if (parse == nullptr) return nullptr;
    CSQLParserInfo* info = new CSQLParserInfo(&m_error, parse, nullptr, 0);
    info->AddRef();
    parse->nRelease();
    m_queries.push_back(info);
    CNACommand* filter = Make(cnx);
    EXPECT_TRUE(filter->bAddFilterExpression(info));
    return filter;
  }

  CMySQLDriver m_driver;
  CNAError m_error;
  ParseBench m_bench;
  std::vector<std::unique_ptr<CDialectCnx>> m_cnx;
  std::vector<CNACommand*> m_commands;
  std::vector<CSQLParserInfo*> m_queries;
};

// ---------------------------------------------------------------- the per-dialect tables

TEST_F(Rewrite, FunctionsTakeTheDialectsNamesAndArguments) {
  struct Row {
    int dialect;
    const wchar_t* expression;
    const wchar_t* sent;
  } rows[] = {
      {5, L"LEFT(nom, 2)", L"LEFT(`nom`, '2' )"},
      {5, L"RIGHT(nom, 2)", L"RIGHT(`nom`, '2' )"},
      {5, L"IFNULL(nom, ville)", L"IFNULL(`nom`, `ville`)"},
      {5, L"LTRIM(nom)", L"LTRIM(`nom`)"},
      {1, L"LEFT(nom, 2)", L"SUBSTR(nom,1, '2' )"},
      {6, L"LEFT(nom, 2)", L"SUBSTRING(`nom`,1, '2' )"},
      {6, L"RIGHT(nom, 2)", L"SUBSTRING(`nom`,-(2 ) , '2' )"},
      {13, L"RIGHT(nom, 2)", L"SUBSTR(`nom`,-(2 ) , '2' )"},
      {1, L"RIGHT(nom, 2)", L"SUBSTR(nom,-LEAST(LENGTH(nom),2 ), GREATEST(0 , '2' ))"},
      {11, L"LTRIM(nom)", L"TRIM(LEADING FROM `nom`)"},
      {11, L"RTRIM(nom)", L"TRIM(TRAILING FROM `nom`)"},
      {11, L"IFNULL(nom, ville)", L"NVL(`nom`, `ville`)"},
      {2, L"LENGTH(nom)", L"LEN(`nom`)"},
      {4, L"LENGTH(nom)", L"CHAR_LENGTH(`nom`)"},
      {1, L"LENGTH(nom)", L"LENGTH(nom)"},
      {7, L"UPPER(nom)", L"UCASE(`nom`)"},
      {7, L"SUBSTRING(nom, 1, 2)", L"SYSIBM.SUBSTR(`nom`, '1' , '2' )"},
      {2, L"SUBSTRING(nom, 1, 2)", L"SUBSTRING(`nom`, '1' , '2' )"},
      {1, L"CEILING(id)", L"CEIL(id)"},
      {5, L"CEILING(id)", L"CEILING(`id`)"},
  };
  for (const Row& row : rows) {
    const std::wstring sent = Sent(Cnx(row.dialect), std::wstring(L"SELECT ") + row.expression + L" AS e FROM clients");
    EXPECT_NE(sent.find(row.sent), std::wstring::npos)
        << row.dialect << " " << ParseBench::Narrow(row.expression) << ": " << ParseBench::Narrow(sent);
  }
}

TEST_F(Rewrite, ArgumentTypesAndWhatTheItemStillTypes) {
  CHostItemDescription text(L"s", NA_IT_TEXTE, 11), date(L"d", NA_IT_DATE8, 9), number(L"n", NA_IT_I4, 4);
  struct Row {
    int op, nargs;
    unsigned int arg;
    eNA_ITEMTYPE incoming;
    CHostItemDescription* item;
    int serverCP;
    eNA_ITEMTYPE type;
    bool kept;
  } rows[] = {
      {1, 1, 0, NA_IT_I4, nullptr, -1, NA_IT_I4, true},
      {3, 2, 1, NA_IT_I4, &text, -1, NA_IT_EMPTY, true},
      {59, 2, 1, NA_IT_EMPTY, &text, -1, NA_IT_EMPTY, false},
      {74, 4, 3, NA_IT_EMPTY, &text, -1, NA_IT_EMPTY, false},
      {88, 2, 0, NA_IT_EMPTY, &text, 1252, NA_IT_TEXTE, false},
      {88, 2, 1, NA_IT_EMPTY, &text, 65001, NA_IT_UNICODE, false},
      {94, 4, 0, NA_IT_EMPTY, &text, -1, NA_IT_EMPTY, true},
      {94, 4, 1, NA_IT_EMPTY, &text, -1, NA_IT_EMPTY, true},
      {94, 4, 2, NA_IT_EMPTY, &text, -1, NA_IT_EMPTY, false},
      {106, 4, 3, NA_IT_EMPTY, &text, -1, NA_IT_EMPTY, false},
      {98, 2, 0, NA_IT_EMPTY, &date, -1, NA_IT_EMPTY, true},
      {98, 2, 0, NA_IT_EMPTY, &text, -1, NA_IT_DATETIME, true},
      {98, 2, 1, NA_IT_EMPTY, &date, -1, NA_IT_I4, false},
      {99, 2, 0, NA_IT_EMPTY, nullptr, -1, NA_IT_DATE8, true},
      {100, 3, 2, NA_IT_EMPTY, &date, -1, NA_IT_DATE8, true},
      {101, 2, 1, NA_IT_EMPTY, &date, -1, NA_IT_EMPTY, false},
      {102, 3, 2, NA_IT_EMPTY, &date, -1, NA_IT_TEXTE, false},
      {9, 2, 1, NA_IT_EMPTY, &date, -1, NA_IT_TEXTE, true},
      {9, 2, 1, NA_IT_EMPTY, &number, -1, NA_IT_EMPTY, true},
      {33, 1, 0, NA_IT_EMPTY, &date, -1, NA_IT_EMPTY, true},
  };
  for (const Row& row : rows) {
    CNACommand* c = Make(Cnx(5, TRUE, INT_MAX, row.serverCP));
    CTestNode node(row.op, row.nargs);
    INAItemDescription* item = row.item != nullptr ? row.item->ExternalAddRef() : nullptr;
    EXPECT_EQ(c->_eTypeParameter(CNASqlElt::NA_SQLELT_WHERE, &node, row.arg, row.incoming, &item), row.type)
        << row.op << "/" << row.arg;
    EXPECT_EQ(item != nullptr, row.kept && row.item != nullptr) << row.op << "/" << row.arg;
    CNACommand::__FreeItem(&item);
  }
  struct After {
    int op;
    CHostItemDescription* item;
    bool kept;
  } after[] = {{9, &text, false}, {32, &text, false}, {42, &text, true}, {42, &number, false}, {86, &text, true},
               {98, &date, true}, {98, &text, false}, {40, &number, true}, {150, &number, false}, {135, &date, false}};
  for (const After& row : after) {
    CTestNode node(row.op, 1);
    INAItemDescription* item = row.item->ExternalAddRef();
    Make(Cnx(5))->_TypeRetour(CNASqlElt::NA_SQLELT_WHERE, &node, &item);
    EXPECT_EQ(item != nullptr, row.kept) << row.op;
    CNACommand::__FreeItem(&item);
  }
  for (CHostItemDescription* item : {&text, &date, &number}) EXPECT_EQ(item->nGetRefCount(), 0);
  // Literals in WHERE take the item type of the host type of what they are compared with.
  const std::pair<int, eNA_ITEMTYPE> kinds[] = {{0, NA_IT_EMPTY},  {1, NA_IT_MEMOTEXTE}, {8, NA_IT_I2},
                                                {12, NA_IT_CHAR},  {24, NA_IT_IDAUTO},   {33, NA_IT_I4},
                                                {41, NA_IT_DECIMAL}, {42, NA_IT_MEMOTEXTE}};
  for (const auto& [kj, type] : kinds) EXPECT_EQ(g_eGetNAItemTypeFromKJ(kj), type) << kj;
}

TEST_F(Rewrite, DatesAndTimesAreComparedAsTheHostsDigits) {
  struct Row {
    CNASqlElt::eSQLELT kind;
    eNA_ITEMTYPE item;
    int op;
    eNA_ITEMTYPE format;
  } rows[] = {
      {CNASqlElt::NA_SQLELT_WHERE, NA_IT_HEURE, 40, NA_IT_TEXTE},  {CNASqlElt::NA_SQLELT_SELECT, NA_IT_HEURE, 40, NA_IT_EMPTY},
      {CNASqlElt::NA_SQLELT_SELECT, NA_IT_DATE8, 9, NA_IT_TEXTE},  {CNASqlElt::NA_SQLELT_WHERE, NA_IT_DATE8, 33, NA_IT_EMPTY},
      {CNASqlElt::NA_SQLELT_WHERE, NA_IT_DATETIME, 32, NA_IT_TEXTE}, {CNASqlElt::NA_SQLELT_WHERE, NA_IT_I4, 9, NA_IT_EMPTY},
      {CNASqlElt::NA_SQLELT_GROUPBY, NA_IT_DATE8, 45, NA_IT_TEXTE}, {CNASqlElt::NA_SQLELT_WHERE, NA_IT_DATE6, 9, NA_IT_EMPTY},
  };
  CNACommand* c = Make(Cnx(5));
  for (const Row& row : rows)
    EXPECT_EQ(c->eGetFormatExpressionColonne(row.kind, row.item, static_cast<eOPEXPRESSION>(row.op), nullptr), row.format)
        << row.kind << "/" << row.item << "/" << row.op;
  // Compared for equality, a partial date or time is completed to the column's length.
  ExpectSentHolds({
      {L"SELECT x FROM t WHERE dt = '20240105'",
       L"WHERE SUBSTR(DATE_FORMAT(`dt`,'%Y%m%d%H%i%S%f'), 1, 17) = '20240105000000000'"},
      {L"SELECT x FROM t WHERE dt <> '2024010512'", L"<> '20240105120000000'"},
      {L"SELECT x FROM t WHERE dt > '2024'", L"> '2024'"},
      {L"SELECT x FROM t WHERE h = '0830'", L"WHERE SUBSTR(TIME_FORMAT(`h`,'%H%i%S%f'), 1, 9) = '083000000'"},
      {L"SELECT num FROM commandes WHERE date_cde = '202402'", L"WHERE DATE_FORMAT(`date_cde`,'%Y%m%d') = '20240201'"},
      {L"INSERT INTO commandes (num, date_cde) VALUES (1, '20240229')", L"VALUES (1 , '2024-02-29' )"},
  });
}

// A date written the server's way is sent as the whole digit text of the column it is compared
// with, so that text order is date order; any other text that is no host digits goes as written
// rather than read as digits into another date.
TEST_F(Rewrite, IsoDatesAreSentAsTheColumnsDigitsAndOtherTextsAsWritten) {
  ExpectSentHolds({
      {L"SELECT x FROM t WHERE dt = '2024-02-29'",
       L"WHERE SUBSTR(DATE_FORMAT(`dt`,'%Y%m%d%H%i%S%f'), 1, 17) = '20240229000000000'"},
      {L"SELECT x FROM t WHERE dt < '2024-02-29 13:14:15'", L"< '20240229131415000'"},
      {L"SELECT x FROM t WHERE dt >= '2024-02-29T13:14:15.5'", L">= '20240229131415500'"},
      {L"SELECT x FROM t WHERE dt <= '2024-02-29 13:14'", L"<= '20240229131400000'"},
      {L"SELECT num FROM commandes WHERE date_cde = '2024-02-29'", L"WHERE DATE_FORMAT(`date_cde`,'%Y%m%d') = '20240229'"},
      {L"SELECT num FROM commandes WHERE date_cde <= '2024-02-29 00:00:00.000'", L"<= '20240229'"},
      {L"SELECT num FROM commandes WHERE date_cde > '2024-02-29 13:14:15'", L"> '20240229131415000'"},
      {L"SELECT x FROM t WHERE dt = '2024/02/29'", L"= '2024/02/29'"},
      {L"SELECT x FROM t WHERE dt = '2024-02'", L"= '2024-02'"},
      {L"SELECT x FROM t WHERE dt < '2024-02-29 13:14:15.1234'", L"< '2024-02-29 13:14:15.1234'"},
      {L"SELECT x FROM t WHERE dt > '2024-02-29 13'", L"> '2024-02-29 13'"},
      {L"SELECT num FROM commandes WHERE date_cde = '2024-2-9'", L"= '2024-2-9'"},
      {L"SELECT num FROM commandes WHERE date_cde <> '29.02.24'", L"<> '29.02.24'"},
      {L"SELECT x FROM t WHERE dt LIKE '2024-02-29'", L"LIKE '2024-02-29'"},
  });
}

// ---------------------------------------------------------------- empty dates

TEST_F(Rewrite, EmptyDatesBecomeNullTestsOrConstantsByTheNullOrdering) {
  struct Row {
    const wchar_t* op;
    const wchar_t* nullFirst;
    const wchar_t* nullLast;
  } rows[] = {{L"=", L"IS NULL", L"IS NULL"},       {L"<>", L"IS NOT NULL", L"IS NOT NULL"},
              {L"<", L"0=1", L"IS NOT NULL"},       {L"<=", L"IS NULL", L"1=1"},
              {L">", L"IS NOT NULL", L"0=1"},       {L">=", L"1=1", L"IS NULL"}};
  const std::wstring date = L"DATE_FORMAT(`date_cde`,'%Y%m%d')";
  const std::wstring datetime = L"SUBSTR(DATE_FORMAT(`dt`,'%Y%m%d%H%i%S%f'), 1, 17)";
  for (const Row& row : rows)
    for (BOOL nullFirst : {TRUE, FALSE}) {
      const std::wstring test = nullFirst ? row.nullFirst : row.nullLast;
      const bool constant = test.find(L"=1") != std::wstring::npos;
      EXPECT_EQ(Sent(Cnx(5, nullFirst), L"SELECT num FROM commandes WHERE num > 1 AND date_cde " +
                                            std::wstring(row.op) + L" '' OR num = 2"),
                L"SELECT `db_commandes`.`num` FROM `db_commandes` WHERE `db_commandes`.`num` > 1 AND " +
                    (constant ? L" " + test : date + L" " + test) + L"  OR `db_commandes`.`num` = 2")
          << ParseBench::Narrow(row.op) << " " << nullFirst;
      EXPECT_EQ(Sent(Cnx(5, nullFirst), L"SELECT x FROM t WHERE dt " + std::wstring(row.op) + L" ''"),
                L"SELECT `phys t`.`x` FROM `phys t` WHERE " + (constant ? L" " + test : datetime + L" " + test) + L" ")
          << ParseBench::Narrow(row.op) << " " << nullFirst;
    }
  // A bind variable's value is the host's: no empty date; neither is a literal on the left.
  EXPECT_EQ(Sent(Cnx(5), L"SELECT num FROM commandes WHERE date_cde = {d}"),
            L"SELECT `db_commandes`.`num` FROM `db_commandes` WHERE " + date + L" = NULL");
  EXPECT_EQ(Sent(Cnx(5), L"SELECT num FROM commandes WHERE '' = date_cde"),
            L"SELECT `db_commandes`.`num` FROM `db_commandes` WHERE '' = " + date);
}

// ---------------------------------------------------------------- names

TEST_F(Rewrite, QualifiersAliasesAndTheStar) {
  struct Row {
    int dialect;
    const wchar_t* host;
    const wchar_t* sent;
  } rows[] = {
      {5, L"SELECT * FROM t", L"SELECT `phys t`.`x`,`phys t`.`y`,`phys t`.`h`,`phys t`.`dt` FROM `phys t`"},
      {5, L"SELECT * FROM t a WHERE x = 1", L"SELECT `a`.`x`,`a`.`y`,`a`.`h`,`a`.`dt` FROM `phys t` `a` WHERE `a`.`x` = 1"},
      {5, L"SELECT x AS v, y w FROM t", L"SELECT `phys t`.`x` AS `v`, `phys t`.`y` w FROM `phys t`"},
      {1, L"SELECT a.x FROM t AS a", L"SELECT a.x FROM `phys t`  a"},
      {5, L"UPDATE t a SET a.x = a.y + 1 WHERE a.x = 2", L"UPDATE `phys t` `a` SET `a`.`x` = `a`.`y` + 1 WHERE `a`.`x` = 2"},
      {6, L"UPDATE t SET t.x = 1", L"UPDATE `phys t` SET `x` = 1"},
      {5, L"UPDATE t SET t.x = 1", L"UPDATE `phys t` SET `phys t`.`x` = 1"},
      {5, L"SELECT c.nom, o.num FROM clients c JOIN commandes o ON o.client = c.id AND o.montant > 1",
       L"SELECT `c`.`nom`, `o`.`num` FROM `db_clients` `c` JOIN `db_commandes` `o` ON `o`.`client` = `c`.`id` AND "
       L"`o`.`montant` > 1"},
      {5, L"SELECT x, COUNT(*) AS n FROM t GROUP BY x HAVING n > 1 ORDER BY n",
       L"SELECT `phys t`.`x`, COUNT(*) AS `n` FROM `phys t` GROUP BY `phys t`.`x` HAVING COUNT(*) > 1 ORDER BY 2"},
      {5, L"DELETE FROM t WHERE t.x = 1", L"DELETE FROM `phys t` WHERE `phys t`.`x` = 1"},
  };
  for (const Row& row : rows) EXPECT_EQ(Sent(Cnx(row.dialect), row.host), row.sent) << ParseBench::Narrow(row.host);
}

// A column that names a SELECT column of an aliased table is written with that alias; the host
// answers a physical name for an alias too, which the FROM clause no longer names.
TEST_F(Rewrite, UnqualifiedColumnOfAnAliasedTableTakesTheAlias) {
  EXPECT_EQ(Sent(Cnx(5), L"SELECT c.nom FROM clients c WHERE nom = 'a'"),
            L"SELECT `c`.`nom` FROM `db_clients` `c` WHERE `c`.`nom` = 'a'");
}

TEST_F(Rewrite, QualifierThatIsAnAliasStays) {
  EXPECT_EQ(Sent(Cnx(5), L"SELECT o.num FROM commandes o WHERE o.montant > 1 GROUP BY o.client"),
            L"SELECT `o`.`num` FROM `db_commandes` `o` WHERE `o`.`montant` > 1 GROUP BY `o`.`client`");
}

TEST_F(Rewrite, AliasBeginningWithAsIsNotTakenForTheKeyword) {
  EXPECT_EQ(Sent(Cnx(5), L"SELECT x astre, y AS asy FROM t"),
            L"SELECT `phys t`.`x` astre, `phys t`.`y` AS `asy` FROM `phys t`");
}

// What the host throws while names are looked up answers "none": a table without its physical name
// takes its database name, a column without its item stays as the host wrote it.
TEST_F(Rewrite, HostThatThrowsLeavesNamesUnresolved) {
  CSQLParserInfo* info = Query(L"SELECT c.nom, ville FROM clients c WHERE ville = 'a' ORDER BY c.nom");
  CHostSQLParser::SetThrow(info->piGetParserNoRef(), CHostSQLParser::kThrowColumnLookup |
                                                         CHostSQLParser::kThrowItemDescription |
                                                         CHostSQLParser::kThrowPhysicalName);
  CNACommand* c = Make(Cnx(5));
  ASSERT_TRUE(c->bFormatCondition(info, nullptr, 1, 0));
  EXPECT_STREQ(c->pszGetFormatedSQL(NA_PARAMCONV_ALL),
               L"SELECT `c`.`nom`, `c`.`ville` FROM `DB`.`clients` `c` WHERE `ville` = 'a' ORDER BY `c`.`nom`");
  CHostSQLParser::SetThrow(info->piGetParserNoRef(), 0);
}

// ---------------------------------------------------------------- ORDER BY

TEST_F(Rewrite, OrderByTurnedOverKeptOrDropped) {
  struct Row {
    int orderMax;
    const wchar_t* host;
    int keepDirection, useShownName;
    const wchar_t* orderBy;
  } rows[] = {
      {INT_MAX, L"SELECT x, y FROM t ORDER BY x, y DESC", 0, 0, L"ORDER BY `phys t`.`x` DESC, `phys t`.`y` ASC"},
      {INT_MAX, L"SELECT x, y FROM t ORDER BY x ASC, y", 0, 0, L"ORDER BY `phys t`.`x` DESC, `phys t`.`y` DESC"},
      {INT_MAX, L"SELECT x, y FROM t ORDER BY x, y DESC", 1, 0, L"ORDER BY `phys t`.`x`, `phys t`.`y` DESC"},
      {INT_MAX, L"SELECT x AS a, y FROM t ORDER BY a DESC", 1, 1, L"ORDER BY `a` DESC"},
      {INT_MAX, L"SELECT x, COUNT(*) AS n FROM t GROUP BY x ORDER BY n, x", 0, 0, L"ORDER BY 2 DESC, `phys t`.`x` DESC"},
      // After a unique column nothing more orders.
      {INT_MAX, L"SELECT nom, id FROM clients ORDER BY id DESC, nom", 0, 0, L"ORDER BY `db_clients`.`id` ASC"},
      {1, L"SELECT x, y FROM t ORDER BY y, x", 0, 0, L"ORDER BY `phys t`.`y` DESC"},
      {0, L"SELECT x, y FROM t ORDER BY y, x", 0, 0, L""},
  };
  for (const Row& row : rows) {
    CNACommand* c = nullptr;
    Sent(Cnx(5, TRUE, row.orderMax), row.host, nullptr, 0, 0, &c);
    const int before = c->nGetOriginalSQLLength();
    ASSERT_TRUE(c->bFormatORDERBY(row.useShownName, row.keepDirection));
    EXPECT_EQ(std::wstring(c->pszGetOriginalSQL() + before), row.orderBy) << ParseBench::Narrow(row.host);
  }
}

// The rewrite writes at most the entries the server takes: the rest of the clause goes too.
TEST_F(Rewrite, OrderByBeyondTheDialectsMaximumIsLeftOut) {
  EXPECT_EQ(Sent(Cnx(4, TRUE, 1), L"SELECT x, y FROM t ORDER BY y, x DESC LIMIT 2"),
            L"SELECT `phys t`.`x`, `phys t`.`y` FROM `phys t` ORDER BY `phys t`.`y` LIMIT 2");
}

// Passed through, the query loses its own ORDER BY only: not the words in a literal.
TEST_F(Rewrite, TrailingOrderByIsCutOutsideLiterals) {
  struct Row {
    const wchar_t* host;
    const wchar_t* sent;
  } rows[] = {
      {L"SELECT x FROM t WHERE y <> 'a ORDER BY b'", L"SELECT x FROM t WHERE y <> 'a ORDER BY b'"},
      {L"SELECT x FROM t WHERE y <> 'ORDER BY' Order By x", L"SELECT x FROM t WHERE y <> 'ORDER BY' "},
      {L"SELECT x FROM t ORDER BY x LIMIT 3", L"SELECT x FROM t "},
  };
  for (const Row& row : rows)
    for (int mode : {1, 4}) EXPECT_EQ(Sent(Cnx(5), row.host, nullptr, 0, mode), row.sent) << ParseBench::Narrow(row.host);
  // Kept, it is the host's as it stands.
  EXPECT_EQ(Sent(Cnx(5), L"SELECT x FROM t ORDER BY x", nullptr, 1, 1), L"SELECT x FROM t ORDER BY `phys t`.`x`");
}

// ---------------------------------------------------------------- filters

TEST_F(Rewrite, FilterJoinsTheWhereOrComesBeforeTheNextClause) {
  struct Row {
    const wchar_t* host;
    const wchar_t* sent;
  } rows[] = {
      {L"SELECT x FROM t WHERE x = 1 OR x = 2", L"SELECT `phys t`.`x` FROM `phys t` WHERE ( `phys t`.`x` = 1 OR "
                                                L"`phys t`.`x` = 2 ) AND ((`y` > 3 ))"},
      {L"SELECT x FROM t", L"SELECT `phys t`.`x` FROM `phys t` WHERE (`y` > 3 ) "},
      {L"SELECT x FROM t GROUP BY x", L"SELECT `phys t`.`x` FROM `phys t` WHERE  (`y` > 3 ) GROUP BY `phys t`.`x`"},
      {L"SELECT x FROM t ORDER BY x", L"SELECT `phys t`.`x` FROM `phys t` WHERE  (`y` > 3 ) ORDER BY `phys t`.`x`"},
  };
  CDialectCnx* cnx = Cnx(5);
  for (const Row& row : rows) EXPECT_EQ(Sent(cnx, row.host, Filter(cnx, L"(y > 3)", L"t")), row.sent);
  // A name at the very start has no place the host can give (0 and 0 is none): it stays as written.
  EXPECT_EQ(Sent(cnx, L"SELECT x FROM t", Filter(cnx, L"y > 3", L"t")), L"SELECT `phys t`.`x` FROM `phys t` WHERE y > 3 ");
}

TEST_F(Rewrite, FilterOnAQueryEndingInLimitGoesBeforeTheLimit) {
  CDialectCnx* cnx = Cnx(5);
  EXPECT_EQ(Sent(cnx, L"SELECT x FROM t LIMIT 2", Filter(cnx, L"(x <> 3)", L"t")),
            L"SELECT `phys t`.`x` FROM `phys t` WHERE  (`x` <> 3 ) LIMIT 2");
}

// ---------------------------------------------------------------- free text

TEST_F(Rewrite, FreeTextTakesItsBindValuesAndNames) {
  const std::wstring text = L"SELECT nom FROM clients WHERE id = {p} OR nom = {q}";
  ISQLParserInformation* parse = m_bench.Parse(text);
  ASSERT_NE(parse, nullptr);
  parse->pclGetParameters()->ppEntries[0]->clValue.SetI4(7);
  CHostSQLParser::AddItemReference(parse, true, static_cast<int>(text.find(L"id =")), 2, L"id", L"");
  CHostSQLParser::AddItemReference(parse, true, static_cast<int>(text.find(L"nom =")), 3, L"nom", L"clients");
  CNACommand* c = Make(Cnx(5));
  EXPECT_TRUE(c->bComplete(parse));
  EXPECT_STREQ(c->pszGetFormatedSQL(NA_PARAMCONV_ALL),
               L"SELECT nom FROM clients WHERE `id` = 7 OR `DB`.`clients`.`nom` = NULL");
  ASSERT_EQ(c->nGetParameterNbr(), 2);
  // The item reference before a bind value types it.
  ASSERT_NE(c->pclGetParameterNoRef(1)->piGetItemNoRef(), nullptr);
  EXPECT_STREQ(c->pclGetParameterNoRef(1)->piGetItemNoRef()->pszGetName(), L"nom");
  parse->nRelease();
}

// The host's item references of a query passed through are rewritten in the text between the
// pieces, once: the text before them is not written a second time, the ORDER BY is still rebuilt.
TEST_F(Rewrite, ItemReferencesAreRewrittenOnceBetweenPieces) {
  const std::wstring text = L"SELECT nom FROM clients WHERE ville = 'a' ORDER BY nom";
  ISQLParserInformation* parse = m_bench.Parse(text);
  ASSERT_NE(parse, nullptr);
  CHostSQLParser::AddItemReference(parse, false, 7, 3, L"nom", L"clients");
  CHostSQLParser::AddItemReference(parse, false, static_cast<int>(text.find(L"ville")), 5, L"ville", L"clients");
  CSQLParserInfo* info = new CSQLParserInfo(&m_error, parse, nullptr, 0);
  info->AddRef();
  parse->nRelease();
  m_queries.push_back(info);
  CNACommand* c = Make(Cnx(5));
  ASSERT_TRUE(c->bFormatCondition(info, nullptr, 1, 1));
  EXPECT_STREQ(c->pszGetFormatedSQL(NA_PARAMCONV_ALL),
               L"SELECT `db_clients`.`nom` FROM clients WHERE `db_clients`.`ville` = 'a' ORDER BY `db_clients`.`nom`");
}

// A filter over a query resolves its names against the query's columns.
TEST_F(Rewrite, FilterOverAQueryTakesTheQuerysNames) {
  CSQLParserInfo* query = Query(L"SELECT nom AS n, ville FROM clients c");
  CTString error;
  ISQLParserInformation* parse = CHostSQLParser::piParseCondition(L"(ville = 'x' AND nom <> '')", L"clients",
                                                                  m_bench.m_catalogue, &error);
  ASSERT_NE(parse, nullptr) << ParseBench::Narrow(error.pszGet());
  CSQLParserInfo* condition = new CSQLParserInfo(&m_error, parse, nullptr, 0);
  condition->AddRef();
  parse->nRelease();
  m_queries.push_back(condition);
  for (CSQLParserInfo* names : {query, static_cast<CSQLParserInfo*>(nullptr)}) {
    CNACommand* c = Make(Cnx(5));
    unsigned int cursor = 0;
    ASSERT_TRUE(c->bAddTreeExpression(condition, names, parse->pszGetFilterCondition(), nullptr,
                                      condition->piGetWhereTreeNoRef(), CNASqlElt::NA_SQLELT_WHERE, &cursor, nullptr));
    EXPECT_STREQ(c->pszGetFormatedSQL(NA_PARAMCONV_ALL),
                 names != nullptr ? L"(`c`.`ville` = 'x' AND `nom` <> ''" : L"(`ville` = 'x' AND `nom` <> ''");
  }
}

TEST_F(Rewrite, HostListsOutOfOrderAreRefused) {
  const std::wstring text = L"SELECT a FROM b WHERE c = ? AND d = ?";
  struct Row {
    int start0, length0, start1, length1, item, itemLength;
    bool accepted;
  } rows[] = {
      {26, 1, 36, 1, 22, 1, true},   {36, 1, 26, 1, 22, 1, false}, {26, 1, 26, 1, 22, 1, false},
      {26, 11, 36, 1, 22, 1, false}, {26, 1, 37, 1, 22, 1, false}, {-1, 1, 36, 1, 22, 1, false},
      {26, 1, 36, 1, 25, 2, false},  {26, 1, 36, -1, 22, 1, false},
  };
  for (const Row& row : rows) {
    STValParser v0, v1;
    v0.clValue.SetI4(1), v1.clValue.SetI4(2);
    v0.nStart = row.start0, v0.nLength = row.length0, v1.nStart = row.start1, v1.nLength = row.length1;
    STValParser* values[] = {&v0, &v1};
    STItemParser item{row.item, row.itemLength, L"c", L""};
    STItemParser* items[] = {&item};
    CTabValParser table{2, values, 1, items};
    CNACommand* c = Make(Cnx(5));
    m_error.Reset();
    EXPECT_EQ(c->_bAddClause(&table, text.c_str(), nullptr, FALSE) != FALSE, row.accepted) << row.start0;
    EXPECT_EQ(m_error.nGetUserErrorCode(), row.accepted ? 0u : 24u) << row.start0;
    if (row.accepted) {
      EXPECT_STREQ(c->pszGetFormatedSQL(NA_PARAMCONV_ALL), L"SELECT a FROM b WHERE `c` = 1 AND d = 2");
    }
  }
}

// ---------------------------------------------------------------- calculated columns and errors

TEST_F(Rewrite, CalculatedColumnsWrittenWhereTheirAliasStands) {
  EXPECT_EQ(Sent(Cnx(5), L"SELECT x + 1 AS a, y FROM t WHERE a > 2 GROUP BY a"),
            L"SELECT `x` + 1 AS `a`, `phys t`.`y` FROM `phys t` WHERE `x` + 1 > 2 GROUP BY `x` + 1");
  // Written for its text only, a calculated column keeps its literals in place.
  CSQLParserInfo* info = Query(L"SELECT LEFT(nom, 2) AS k FROM clients");
  CTString text;
  ASSERT_TRUE(CNACommand::s_bFormatExpressionColonneCalculee(&text, info, L"k", CNASqlElt::NA_SQLELT_SELECT, &m_error,
                                                             Cnx(5)));
  EXPECT_STREQ(text.pszGet(), L"LEFT(`nom`, 2)");
  EXPECT_FALSE(CNACommand::s_bFormatExpressionColonneCalculee(&text, info, L"nom", CNASqlElt::NA_SQLELT_SELECT,
                                                              &m_error, Cnx(5)));
}

TEST_F(Rewrite, OperatorTheServerCannotRunRaises48) {
  for (const wchar_t* host : {L"SELECT x FROM t WHERE y = 1 AND PHONETIC(x) = 'a'", L"SELECT PHONETIC(x) AS p FROM t",
                              L"SELECT x + 1 AS a FROM t WHERE x = 1 OR PHONETIC(a) > 0"}) {
    EXPECT_EQ(Sent(Cnx(5), host), L"<error 48>") << ParseBench::Narrow(host);
    EXPECT_NE(std::wstring(m_error.pszGetError()).find(L"MySQL"), std::wstring::npos);
  }
}

TEST_F(Rewrite, CalculatedColumnsReferringToEachOtherRaise32) {
  struct Row {
    const wchar_t* host;
    const wchar_t* column;
  } rows[] = {
      {L"SELECT x + 1 AS x FROM t", L"x"},
      {L"SELECT y + 1 AS x, x + 1 AS y FROM t", L"y"},
      {L"SELECT x FROM t WHERE x > 0 GROUP BY x HAVING SUM(y) > 0 ORDER BY x", nullptr},
      {L"SELECT y + 1 AS x, h + 1 AS y, x + 1 AS h FROM t", L"y"},
  };
  for (const Row& row : rows) {
    const std::wstring sent = Sent(Cnx(5), row.host);
    if (row.column == nullptr) {
      EXPECT_EQ(sent.find(L"<error"), std::wstring::npos) << ParseBench::Narrow(sent);
      continue;
    }
    EXPECT_EQ(sent, L"<error 32>") << ParseBench::Narrow(row.host);
    EXPECT_NE(std::wstring(m_error.pszGetError()).find(std::wstring(L"<") + row.column + L">"), std::wstring::npos)
        << ParseBench::Narrow(m_error.pszGetError());
  }
}

}  // namespace

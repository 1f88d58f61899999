// The statement's building rules without a server: the ORDER BY list (browse column, completion to
// a total order, the connection's maximum, a trailing LIMIT), the DISTINCT rule, the size
// correction of CREATE texts, sub-queries named on the dialects that need it, and the user errors
// a build raises. The texts' effects are proved on the server by the live statement tests.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>

#include "sql/nacommand.h"
#include "sql/nastatement.h"
#include "tests/support/parse_bench.h"
#include "tests/support/record_bench.h"

namespace {

std::string Narrow(const std::wstring& w) { return ParseBench::Narrow(w); }

class Statement : public ParseTest {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  static void SetUpTestSuite() { VM::Bind(); }

  // A statement over bench's record (built first), with a command to build into.
  struct Built {
    explicit Built(RecordBench& bench) {
      statement = new CNAStatement(bench.m_pAccess, &bench.m_error);
      statement->AddRef();
      statement->SetCurrentRecord(bench.Record());
      command = pclAllocCommand(&bench.m_error, bench.m_pAccess->pclGetConnectionNoRef());
      command->AddRef();
    }
    ~Built() {
      statement->nRelease();
      command->nRelease();
    }
    Built(const Built&) = delete;
    Built& operator=(const Built&) = delete;
    std::wstring Text() const { return command->pszGetOriginalSQL(); }

    CNAStatement* statement;
    CNACommand* command;
  };
  // A snapshot of text parsed by the stand-in engine (released by the fixture).
  CSQLParserInfo* Query(const std::wstring& text) {
    ISQLParserInformation* parse = m_parses.Parse(text);
    if (parse == nullptr) return nullptr;
    CSQLParserInfo* info = new CSQLParserInfo(nullptr, parse, nullptr, 0);
    info->AddRef();
    parse->nRelease();
    m_queries.emplace_back(info, [](CSQLParserInfo* q) { q->nRelease(); });
    return info;
  }
  void TearDown() override {
    m_queries.clear();
    ParseTest::TearDown();
  }

  ParseBench m_parses;
  std::vector<std::unique_ptr<CSQLParserInfo, void (*)(CSQLParserInfo*)>> m_queries;
};

// Builds the bench's record with the items' names as the server's column names.
bool BuildTable(RecordBench& bench) {
  for (CHostItemDescription& item : bench.m_items) item.m_pszNameInSource = L"";
  return bench.Build() != FALSE;
}

// The text from " ORDER BY" on; "" without one.
std::wstring OrderBy(const std::wstring& text) {
  const size_t at = text.find(L" ORDER BY");
  return at == std::wstring::npos ? L"" : text.substr(at);
}

TEST_F(Statement, OrderByListOfATable) {
  struct Row {
    const char* name;
    unsigned short dKeys;         // the duplicates key d
    unsigned short kKeys;         // the composite key k over a and b
    unsigned int kDescending;     // per component, from bit 0
    const wchar_t* item;
    int forward;
    NA_WRITEPARSEFLAGS flags;
    unsigned int completion;
    int maximum;
    const wchar_t* want;
  } rows[] = {
      {"duplicates key completed by the primary key", kDuplicates, kDuplicates, 0, L"d", 1, 0, 3, INT_MAX,
       L" ORDER BY `d`,`id`"},
      {"read backward, every entry turned", kDuplicates, kDuplicates, 0, L"d", 0, 0, 3, INT_MAX,
       L" ORDER BY `d` DESC,`id` DESC"},
      {"descending key read forward", kDuplicates | 0x400, kDuplicates, 0, L"d", 1, 0, 3, INT_MAX,
       L" ORDER BY `d` DESC,`id` DESC"},
      {"composite key, second component descending, read backward", kDuplicates, kComposite | kDuplicates, 2, L"k",
       0, 0, 3, INT_MAX, L" ORDER BY `a` DESC,`b`,`id` DESC"},
      {"descending composite key read forward", kDuplicates, kComposite | kDuplicates | 0x400, 0, L"k", 1, 0, 3,
       INT_MAX, L" ORDER BY `a` DESC,`b` DESC,`id` DESC"},
      {"the primary key alone is a total order", kDuplicates, kDuplicates, 0, L"id", 1, 0, 3, INT_MAX,
       L" ORDER BY `id`"},
      {"no completion asked", kDuplicates, kDuplicates, 0, L"d", 1, NA_WPF_NO_ORDER_COMPLETION, 3, INT_MAX,
       L" ORDER BY `d`"},
      {"completion off forward", kDuplicates, kDuplicates, 0, L"d", 1, 0, 2, INT_MAX, L" ORDER BY `d`"},
      {"completion off forward, on backward", kDuplicates, kDuplicates, 0, L"d", 0, 0, 2, INT_MAX,
       L" ORDER BY `d` DESC,`id` DESC"},
      {"list cut at the connection's maximum", kDuplicates, kComposite | kDuplicates, 0, L"k", 1, 0, 3, 2,
       L" ORDER BY `a`,`b`"},
      {"no item: no order", kDuplicates, kDuplicates, 0, nullptr, 1, 0, 3, INT_MAX, L""},
  };
  for (const Row& row : rows) {
    RecordBench bench(5, row.maximum);
    bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
    bench.Add(L"d", NA_IT_I4, 4, row.dKeys);
    CHostItemDescription* a = bench.Add(L"a", NA_IT_I4, 4);
    CHostItemDescription* b = bench.Add(L"b", NA_IT_TEXTE, 11);
    bench.Add(L"k", NA_IT_TEXTE, 15, row.kKeys, TRUE, {a, b})->m_dwDescendingComponents = row.kDescending;
    ASSERT_TRUE(BuildTable(bench)) << row.name;
    Built built(bench);
    built.statement->SetOrderCompletion(row.completion);
    ASSERT_TRUE(built.statement->bBuildQuerySELECT(built.command, row.flags, row.item, row.forward, nullptr))
        << row.name;
    EXPECT_EQ(OrderBy(built.Text()), row.want) << row.name << ": " << Narrow(built.Text());
    EXPECT_EQ(built.statement->bInvertFetch(), row.item != nullptr && !row.forward) << row.name;
  }
}

// Without a unique key, rows a text collation holds equal come in no fixed order: the bytes of the
// list's texts end it, in the direction of their column, where the connection leaves room.
TEST_F(Statement, OrderByWithoutAUniqueKeyEndsWithTheTextsBytes) {
  const struct {
    const wchar_t* item;
    int forward;
    NA_WRITEPARSEFLAGS flags;
    int maximum;
    const wchar_t* want;
  } rows[] = {
      {L"x", 1, 0, INT_MAX, L" ORDER BY `x`,`s`,CAST(CAST(`s` AS CHAR) AS BINARY)"},
      {L"s", 0, 0, INT_MAX, L" ORDER BY `s` DESC,`x` DESC,CAST(CAST(`s` AS CHAR) AS BINARY) DESC"},
      {L"s", 1, NA_WPF_NO_ORDER_COMPLETION, INT_MAX, L" ORDER BY `s`,CAST(CAST(`s` AS CHAR) AS BINARY)"},
      {L"x", 1, NA_WPF_NO_ORDER_COMPLETION, INT_MAX, L" ORDER BY `x`"},
      {L"x", 1, 0, 2, L" ORDER BY `x`,`s`"},
  };
  for (const auto& row : rows) {
    RecordBench bench(5, row.maximum);
    bench.Add(L"x", NA_IT_I4, 4);
    bench.Add(L"s", NA_IT_TEXTE, 11);
    ASSERT_TRUE(BuildTable(bench));
    Built built(bench);
    built.statement->SetOrderCompletion(3);
    ASSERT_TRUE(built.statement->bBuildQuerySELECT(built.command, row.flags, row.item, row.forward, nullptr));
    EXPECT_EQ(Narrow(OrderBy(built.Text())), Narrow(row.want)) << Narrow(row.item) << " " << row.forward;
  }
}

// A list with no room at all would leave " ORDER BY " with nothing after it: refused by the server.
TEST_F(Statement, OrderByWithoutRoomWritesNoKeyword) {
  RecordBench bench(5, 0);
  bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
  bench.Add(L"d", NA_IT_I4, 4, kDuplicates);
  ASSERT_TRUE(BuildTable(bench));
  Built built(bench);
  ASSERT_TRUE(built.statement->bBuildQuerySELECT(built.command, 0, L"d", 1, nullptr));
  EXPECT_EQ(built.Text(), L"SELECT `id`,`d` FROM `file`");
}

TEST_F(Statement, OrderByOfAHostQuery) {
  struct Row {
    const char* name;
    const wchar_t* query;
    const wchar_t* item;
    int forward;
    NA_WRITEPARSEFLAGS flags;
    int maximum;
    const wchar_t* want;  // the text from the last FROM table on
  } rows[] = {
      {"a trailing LIMIT stays last", L"SELECT nom, ville FROM clients LIMIT 5", L"nom", 1, 0, INT_MAX,
       L" ORDER BY `db_clients`.`nom`,`db_clients`.`ville` LIMIT 5"},
      {"backward on a limited query reads forward", L"SELECT nom, ville FROM clients LIMIT 5", L"nom", 0, 0,
       INT_MAX, L" ORDER BY `db_clients`.`nom`,`db_clients`.`ville` LIMIT 5"},
      {"the query's own order completed", L"SELECT nom, ville FROM clients ORDER BY ville DESC", nullptr, 1,
       NA_WPF_DEFAULT_PARSE_ITEM, INT_MAX, L" ORDER BY `db_clients`.`ville` DESC,`db_clients`.`nom`"},
      {"no room left after the query's own order", L"SELECT nom, ville FROM clients ORDER BY ville, nom", nullptr,
       1, NA_WPF_DEFAULT_PARSE_ITEM, 2, L" ORDER BY `db_clients`.`ville`, `db_clients`.`nom`"},
      {"own order read backward", L"SELECT nom, ville FROM clients ORDER BY ville DESC", nullptr, 0,
       NA_WPF_DEFAULT_PARSE_ITEM, INT_MAX, L" ORDER BY `db_clients`.`ville` ASC,`db_clients`.`nom` DESC"},
      {"the statement's order replaces the query's, keeping its directions", 
       L"SELECT nom, ville FROM clients ORDER BY ville DESC", L"nom", 1, 0, INT_MAX,
       L" ORDER BY `db_clients`.`nom`,`db_clients`.`ville` DESC"},
  };
  for (const Row& row : rows) {
    CSQLParserInfo* query = Query(row.query);
    ASSERT_NE(query, nullptr) << row.name;
    RecordBench bench(5, row.maximum);
    for (const wchar_t* name : {L"nom", L"ville"}) {
      CHostItemDescription* item = bench.Add(name, NA_IT_TEXTE, 21, name[0] == L'n' ? kDuplicates : 0);
      item->m_pszNameInSource = name;
      item->m_pszSourceName = L"db_clients";
    }
    ASSERT_TRUE(bench.Build(query)) << row.name;
    Built built(bench);
    ASSERT_TRUE(built.statement->bBuildQuerySELECT(built.command, row.flags, row.item, row.forward, nullptr))
        << row.name;
    EXPECT_EQ(OrderBy(built.Text()), row.want) << row.name << ": " << Narrow(built.Text());
  }
}

// The columns an INSERT names, built twice on one statement: the second build (on a statement its
// caller reset) names the same ones, none left over from the first.
TEST_F(Statement, InsertNamesItsColumnsOnEveryBuild) {
  struct Row {
    const char* name;
    eNA_ITEMTYPE type;
    NA_WRITEPARSEFLAGS flags;
    const wchar_t* list;
  } rows[] = {
      {"no identifier", NA_IT_I4, 0, L"(`k`,`v`)"},
      {"identifier kept as written", NA_IT_IDAUTO, NA_WPF_IDAUTO_KEEP, L"(`k`,`v`)"},
      {"identifier forced", NA_IT_IDAUTO4, NA_WPF_IDAUTO_FORCE, L"(`k`,`v`)"},
  };
  for (const Row& row : rows) {
    RecordBench bench;
    bench.Add(L"k", row.type, row.type == NA_IT_IDAUTO ? 8 : 4);
    bench.Add(L"v", NA_IT_I4, 4);
    ASSERT_TRUE(BuildTable(bench)) << row.name;
    Built built(bench);
    ASSERT_TRUE(built.statement->bBuildQuery(NA_QUERY_INSERT, built.command, row.flags)) << row.name;
    const std::wstring first = built.Text();
    EXPECT_NE(first.find(row.list), std::wstring::npos) << row.name << ": " << Narrow(first);
    built.statement->ResetQuery();
    ASSERT_TRUE(built.statement->bBuildResetQuery(NA_QUERY_INSERT, built.command, row.flags)) << row.name;
    EXPECT_EQ(built.Text(), first) << row.name;
  }
}

TEST_F(Statement, DistinctOnlyWhereTheBestItemLetsEqualRowsThrough) {
  struct Row {
    const char* name;
    eNA_ITEMTYPE type;
    unsigned short keys;
    BOOL nullable;
    int version;
    NA_WRITEPARSEFLAGS flags;
    bool distinct;
  } rows[] = {
      {"not asked", NA_IT_I4, kDuplicates, TRUE, 9, 0, false},
      {"primary key", NA_IT_I4, kPrimary, FALSE, 9, NA_WPF_DISTINCT, false},
      {"unique, not NULL", NA_IT_I4, kUnique, FALSE, 9, NA_WPF_DISTINCT, false},
      {"unique, NULL allowed", NA_IT_I4, kUnique, TRUE, 9, NA_WPF_DISTINCT, true},
      {"duplicates", NA_IT_I4, kDuplicates, FALSE, 9, NA_WPF_DISTINCT, true},
      {"older unique identifier", NA_IT_IDAUTO, kUnique, TRUE, 8, NA_WPF_DISTINCT, false},
      {"older unique identifier of 4 bytes", NA_IT_IDAUTO4, kUnique, TRUE, 8, NA_WPF_DISTINCT, false},
      {"older unique number", NA_IT_I4, kUnique, FALSE, 8, NA_WPF_DISTINCT, true},
  };
  for (const Row& row : rows) {
    RecordBench bench;
    CHostItemDescription* best = bench.Add(L"k", row.type, 4, row.keys, row.nullable);
    best->m_nVersion = row.version;
    bench.Add(L"v", NA_IT_I4, 4);
    bench.m_desc.m_pBestParseItem = best;
    ASSERT_TRUE(BuildTable(bench)) << row.name;
    Built built(bench);
    ASSERT_TRUE(built.statement->bBuildQuerySELECT(built.command, row.flags, nullptr, 1, nullptr)) << row.name;
    EXPECT_EQ(built.Text().rfind(L"SELECT DISTINCT ", 0) == 0, row.distinct) << row.name << ": " << Narrow(built.Text());
  }
}

TEST_F(Statement, VarcharSizesAboveTheMaximumTakeTheLongType) {
  struct Row {
    const wchar_t* text;
    bool corrected;
    const wchar_t* want;
  } rows[] = {
      {L"CREATE TABLE t( a VARCHAR(9000), b VARCHAR(10) )", true, L"CREATE TABLE t( a TEXT, b VARCHAR(10) )"},
      {L"CREATE TABLE t( a VARCHAR(10), b VARCHAR(255) )", false, L""},
      {L"CREATE TABLE t( a VARCHAR(256), b VARCHAR(99999) )", true, L"CREATE TABLE t( a TEXT, b TEXT )"},
      // Digits that no integer holds are above any maximum, never a small size after wrapping.
      {L"CREATE TABLE t( a VARCHAR(18446744073709551617) )", true, L"CREATE TABLE t( a TEXT )"},
      {L"CREATE TABLE t( a VARCHAR(4294967297) )", true, L"CREATE TABLE t( a TEXT )"},
      {L"CREATE TABLE t( a INT )", false, L""},
      {L"VARCHAR(", false, L""},
  };
  for (const Row& row : rows) {
    CXYStringConcat<wchar_t> out;
    out.Add(L"stale", 5);
    EXPECT_EQ(CNAStatement::bQueryCREATE_AutoCorrectVarcharMax(&out, row.text, L"VARCHAR", 255, L"TEXT") != FALSE,
              row.corrected)
        << Narrow(row.text);
    EXPECT_EQ(std::wstring(out.pszGet()), row.want) << Narrow(row.text);
  }
}

// MariaDB, like dialects 2, 4 and 7, refuses "SELECT COUNT(*) FROM (SELECT ...)" without a name.
TEST_F(Statement, CountSubQueryIsNamedOnMariaDBToo) {
  CSQLParserInfo* query = Query(L"SELECT nom, ville FROM clients WHERE ville = 'x'");
  ASSERT_NE(query, nullptr);
  for (int dialect = 1; dialect <= 8; ++dialect) {
    RecordBench bench(dialect);
    bench.Add(L"nom", NA_IT_TEXTE, 31, kDuplicates);
    bench.Add(L"ville", NA_IT_TEXTE, 21);
    ASSERT_TRUE(bench.Build(query));
    Built built(bench);
    ASSERT_TRUE(built.statement->_bBuildQueryCOUNT(built.command, 0, 1)) << dialect;
    const std::wstring text = built.Text();
    const bool named = dialect == 2 || dialect == 4 || dialect == 5 || dialect == 7;
    EXPECT_EQ(text.size() >= 12 && text.compare(text.size() - 12, 12, L" QX_SUBQUERY") == 0, named)
        << dialect << ": " << Narrow(text);
    EXPECT_EQ(text.rfind(L"SELECT COUNT(*) AS QXACCESNATIF_NBENR FROM (", 0), 0u) << Narrow(text);
  }
}

TEST_F(Statement, BuildsRefusedWithTheirUserErrors) {
  struct Row {
    const char* name;
    const wchar_t* query;  // null: the table
    unsigned int queryFlags;
    int dialect;
    std::function<BOOL(CNAStatement*, CNACommand*, CNACommand*)> build;
    unsigned int code;
    int type;
    const wchar_t* item;
  } rows[] = {
      {"ORDER BY on an unknown item", nullptr, 0, 5,
       [](CNAStatement* s, CNACommand* c, CNACommand*) { return s->bBuildQuerySELECT(c, 0, L"zz", 1, nullptr); }, 6,
       0, L"zz"},
      {"DELETE before any read", nullptr, 0, 5,
       [](CNAStatement* s, CNACommand* c, CNACommand*) { return s->bBuildQueryDELETE(c, 0); }, 7, 0, nullptr},
      {"INSERT into a query over two tables", L"SELECT c.nom, o.num FROM clients c, commandes o", 0, 5,
       [](CNAStatement* s, CNACommand* c, CNACommand*) { return s->bBuildQueryINSERT(c, 0); }, 8, 7, L"nom"},
      {"DELETE of every row of a query", L"SELECT nom, ville FROM clients", 0, 5,
       [](CNAStatement* s, CNACommand* c, CNACommand*) { return s->bBuildQuery(NA_QUERY_DELETEALL, c, 0); }, 8, 7,
       L"nom"},
      {"condition on a query sent as written, no sub-queries", L"SELECT nom, ville FROM clients", 4, 5,
       [](CNAStatement* s, CNACommand* c, CNACommand* w) { return s->bBuildQuerySELECT(c, 0, nullptr, 1, w); }, 41, 0,
       nullptr},
  };
  for (const Row& row : rows) {
    CSQLParserInfo* query = row.query != nullptr ? Query(row.query) : nullptr;
    RecordBench bench(row.dialect);
    bench.m_desc.m_pszName = L"logical";
    bench.Add(L"nom", NA_IT_TEXTE, 31, kDuplicates);
    bench.Add(L"ville", NA_IT_TEXTE, 21);
    if (query != nullptr) {
      ASSERT_TRUE(bench.Build(query)) << row.name;
      bench.m_pAccess->SetQueryFlags(row.queryFlags);
    } else {
      ASSERT_TRUE(BuildTable(bench)) << row.name;
    }
    Built built(bench);
    built.statement->SetParseItem(L"nom");
    CNACommand* condition = pclAllocCommand(&bench.m_error, &bench.m_cnx);
    condition->AddRef();
    condition->bComplete(L"`ville`='x'");
    bench.m_error.Reset();
    EXPECT_FALSE(row.build(built.statement, built.command, condition)) << row.name;
    EXPECT_EQ(bench.m_error.nGetUserErrorCode(), row.code) << row.name;
    EXPECT_EQ(static_cast<int>(bench.m_error.eGetErrorType()), row.type) << row.name;
    EXPECT_STREQ(bench.m_error.pszGetLogicalTableName(), L"logical") << row.name;
    if (row.item != nullptr) {
      EXPECT_STREQ(bench.m_error.pszGetItemName(), row.item) << row.name;
    }
    condition->nRelease();
  }
}

// The LIMIT set aside for the ORDER BY must not take the condition's last value with it.
TEST_F(Statement, OrderByBeforeALimitKeepsTheConditionsLastValue) {
  CSQLParserInfo* query = Query(L"SELECT nom, ville FROM clients WHERE ville = 'x' LIMIT 5");
  ASSERT_NE(query, nullptr);
  RecordBench bench(5);
  for (const wchar_t* name : {L"nom", L"ville"}) {
    CHostItemDescription* item = bench.Add(name, NA_IT_TEXTE, 21, name[0] == L'n' ? kDuplicates : 0);
    item->m_pszNameInSource = name;
    item->m_pszSourceName = L"db_clients";
  }
  ASSERT_TRUE(bench.Build(query));
  Built built(bench);
  ASSERT_TRUE(built.statement->bBuildQuerySELECT(built.command, 0, L"nom", 1, nullptr));
  const std::wstring text = built.Text();
  ASSERT_EQ(built.command->nGetParameterNbr(), 1) << Narrow(text);
  const size_t value = built.command->pclGetParameterNoRef(0)->nGetPosition();
  EXPECT_EQ(text.substr(0, value).rfind(L"`db_clients`.`ville` ="), value - 23) << Narrow(text);
  EXPECT_LE(value, text.find(L" ORDER BY")) << Narrow(text);
  EXPECT_EQ(OrderBy(text), L" ORDER BY `db_clients`.`nom`,`db_clients`.`ville` LIMIT 5") << Narrow(text);
}

}  // namespace

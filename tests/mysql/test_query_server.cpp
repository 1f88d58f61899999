// Queries run as data accesses against the private server: host queries parsed by the stand-in
// SQL engine over tables whose physical names need backquotes, and texts of the driver's own.
// Every text the driver sends is kept at the client library's query call.
#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "access/naidauto.h"
#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "access/natable.h"
#include "access/natablecache.h"
#include "host/host_context.h"
#include "host/host_queryexecution.h"
#include "sql/nacolumn.h"
#include "sql/nastatement.h"
#include "sql/sqlparserinfo.h"
#include "tests/mysql/browse_bench.h"
#include "tests/support/any_test_values.h"
#include "tests/support/parse_bench.h"

namespace {

std::vector<std::string>& g_tabSent = ClientCounts::tabSent;

class LiveQuery : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveQuery() : LiveConnection("_qry"), m_strPeople(m_strTable + " p`eople"), m_strOrders(m_strTable + " orders") {
    CNAError::s_Hold(&m_error);
  }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    ASSERT_FALSE(HasFatalFailure());
    m_pCnx->SetStatic(true);
    for (const std::string& sql :
         {"CREATE TABLE " + Quoted(Wide(m_strPeople)) + " (id INT PRIMARY KEY, nom VARCHAR(20))",
          "INSERT INTO " + Quoted(Wide(m_strPeople)) + " VALUES (3,'c'),(1,'b'),(2,'a')",
          "CREATE TABLE " + Quoted(Wide(m_strOrders)) + " (num INT PRIMARY KEY, client INT)",
          "INSERT INTO " + Quoted(Wide(m_strOrders)) + " VALUES (10,1),(11,3)",
          "CREATE TABLE " + m_strTable + " (id INT PRIMARY KEY, nom VARCHAR(20))",
          "INSERT INTO " + m_strTable + " VALUES (3,'c'),(1,'b'),(2,'a')"}) {
      std::string err;
      ASSERT_TRUE(m_raw.exec(sql, &err)) << sql << ": " << err;
    }
    m_wPeople = Wide(m_strPeople);
    m_wOrders = Wide(m_strOrders);
    CHostRecordDescription* t = m_bench.Table(L"people", m_wPeople.c_str());
    t->m_pszDBTableName = t->m_pszPhysicalName;
    m_bench.Item(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    m_bench.Item(t, L"nom", NA_IT_TEXTE, 21);
    t = m_bench.Table(L"orders", m_wOrders.c_str());
    t->m_pszDBTableName = t->m_pszPhysicalName;
    m_bench.Item(t, L"num", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    m_bench.Item(t, L"client", NA_IT_I4, 4);
    // The host names each item's source column and table.
    for (int i = 0; i < 4; ++i) {
      CHostItemDescription& item = m_bench.m_items[m_bench.m_items.size() - 4 + static_cast<size_t>(i)];
      item.m_pszNameInSource = item.pszGetName();
      item.m_pszSourceName = i < 2 ? m_wPeople.c_str() : m_wOrders.c_str();
    }
    // A text sent as written names the server's table: the host knows it by that name.
    m_wPlain = Wide(m_strTable);
    t = m_bench.Table(m_wPlain.c_str(), m_wPlain.c_str());
    t->m_pszDBTableName = t->m_pszPhysicalName;
    m_bench.Item(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    m_bench.Item(t, L"nom", NA_IT_TEXTE, 21);
    for (size_t i = m_bench.m_items.size() - 2; i < m_bench.m_items.size(); ++i) {
      m_bench.m_items[i].m_pszNameInSource = m_bench.m_items[i].pszGetName();
      m_bench.m_items[i].m_pszSourceName = m_wPlain.c_str();
    }
    ClientCounts::Install();
  }
  void TearDown() override {
    ClientCounts::Remove();
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = nullptr;
    for (ISQLParserInformation* p : m_parses) p->nRelease();
    m_parses.clear();
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS " + Quoted(m_wPeople) + ", " + Quoted(m_wOrders), &err);
    LiveConnection::TearDown();
  }
  // A new access with no description, as the driver makes one for a query.
  CNADataAccess* Access() {
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = m_driver.pclAllocDataAccess(nullptr, m_pCnx.get(), &m_error);
    m_pAccess->AddRef();
    m_error.Reset();
    g_tabSent.clear();
    return m_pAccess;
  }
  ISQLParserInformation* Parse(const std::wstring& text) {
    ISQLParserInformation* parse = m_bench.Parse(text);
    if (parse != nullptr) m_parses.push_back(parse);
    return parse;
  }
  // The query text with the tables' names (people, orders) turned into their physical names.
  std::wstring Physical(std::wstring text) const {
    for (const auto& [from, to] :
         {std::pair{std::wstring(L"@people"), Wide(Quoted(m_wPeople))}, {L"@orders", Wide(Quoted(m_wOrders))}})
      for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at)) text.replace(at, from.size(), to);
    return text;
  }
  static int Sent(const std::string& prefix) {
    return static_cast<int>(std::count_if(g_tabSent.begin(), g_tabSent.end(),
                                          [&](const std::string& t) { return t.rfind(prefix, 0) == 0; }));
  }
  // The current record's values as "value|value".
  static std::wstring Values(CNADataAccess* access) {
    CNARecord* record = access->pclGetCurrentRecordNoRef();
    if (record == nullptr) return L"<no record>";
    std::wstring out;
    for (int i = 0; i < record->nGetNbColumn(); ++i) {
      CAny v;
      record->pclGetColumnNoRef(i)->bGetCurrentValue(&v, 0);
      out += (i > 0 ? L"|" : L"") + Show(v);
    }
    return out;
  }
  std::string Rows(const std::string& sql) { return LiveConnection::Rows(sql, true); }

  ParseBench m_bench;
  std::vector<ISQLParserInformation*> m_parses;
  const std::string m_strPeople, m_strOrders;
  std::wstring m_wPeople, m_wOrders, m_wPlain;
  CNADataAccess* m_pAccess = nullptr;
};

const eNA_LOCKTYPE kNoLock = static_cast<eNA_LOCKTYPE>(1);

// A SELECT the driver may rewrite is described from the parse, run once and read at its first
// record in its best item's order (or the order of the column the host asks for).
TEST_P(LiveQuery, CorrectedSelectIsReadOnceAtItsFirstRecordByItsBestItem) {
  struct Row {
    const char* name;
    const wchar_t* column;  // null: no execution options
    const wchar_t* first;
    const wchar_t* next;
  } rows[] = {
      {"best item", nullptr, L"1|b", L"2|a"},
      {"asked column", L"nom", L"2|a", L"1|b"},
      {"unknown column", L"ville", L"1|b", L"2|a"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    CNADataAccess* access = Access();
    ISQLParserInformation* parse = Parse(L"SELECT id, nom FROM people");
    ASSERT_NE(parse, nullptr);
    CHostQueryExecution execution(0, r.column != nullptr ? r.column : L"");
    int result = -1;
    ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(8),
                                      r.column != nullptr ? &execution : nullptr))
        << Utf8(m_error.pszGetError());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Sent("SELECT"), 1);
    EXPECT_EQ(Values(access), r.first);
    EXPECT_TRUE(access->bQueryParseStarted());
    eNA_LOCKTYPE out{};
    const wchar_t* item = access->pclGetLastStatementNoRef()->pszGetParseItem();
    ASSERT_TRUE(access->bHLitxxx(item, NA_PARSE_NEXT, 1, kNoLock, &out, 0));
    EXPECT_EQ(Values(access), r.next);
  }
}

// Any other query, or a query sent as written, is one command run once; its result columns are
// described from the server's answer.
TEST_P(LiveQuery, OtherQueriesRunOnceAsOneCommand) {
  struct Row {
    const char* name;
    std::wstring text;
    unsigned int mode;
    int result;
    const char* firstWord;
    std::string check;  // raw SQL (@people, @orders) and its rows after the run
    const char* rows;
    const wchar_t* values;  // the current record after a first read on the best item
  } rows[] = {
      {"sent as written", L"@plain", 4, 1, "SELECT", "SELECT COUNT(*) FROM @people", "3", L"c|3"},
      {"insert", L"INSERT INTO people (id, nom) VALUES (7, 'g')", 8, 0, "INSERT", "SELECT nom FROM @people WHERE id = 7",
       "g", nullptr},
      {"update", L"UPDATE people SET nom = 'z' WHERE id = 3", 8, 0, "UPDATE", "SELECT nom FROM @people WHERE id = 3",
       "z", nullptr},
      {"delete", L"DELETE FROM people WHERE id = 2", 8, 0, "DELETE", "SELECT COUNT(*) FROM @people", "3", nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    CNADataAccess* access = Access();
    ISQLParserInformation* parse = Parse(r.text == L"@plain" ? L"SELECT nom, id FROM " + m_wPlain + L" ORDER BY nom DESC" : r.text);
    ASSERT_NE(parse, nullptr);
    int result = -1;
    ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(r.mode), nullptr))
        << Utf8(m_error.pszGetError());
    EXPECT_EQ(result, r.result);
    // Besides the query, a result's text columns are looked up in their tables' descriptions.
    ASSERT_EQ(g_tabSent.size() - static_cast<size_t>(Sent("SHOW FULL COLUMNS")), 1u);
    EXPECT_EQ(g_tabSent[0].rfind(r.firstWord, 0), 0u) << g_tabSent[0];
    std::string check = r.check;
    for (const auto& [from, to] : {std::pair{std::string("@people"), Quoted(m_wPeople)}, {"@orders", Quoted(m_wOrders)}})
      for (size_t at = check.find(from); at != std::string::npos; at = check.find(from)) check.replace(at, from.size(), to);
    EXPECT_EQ(Rows(check), r.rows);
    if (r.values == nullptr) continue;
    // The result is browsed as a table: from its run's rows, then (reused) from its row cache.
    eNA_LOCKTYPE out{};
    const CTString best(access->pszGetBestParseItemName());
    ASSERT_TRUE(access->bHLitxxx(best.pszGet(), NA_PARSE_FIRST, 1, kNoLock, &out, 0)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Values(access), r.values);
    ASSERT_TRUE(access->bHLitxxx(best.pszGet(), NA_PARSE_LAST, 1, kNoLock, &out, 0x2000)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Values(access), L"a|2");
    EXPECT_EQ(Sent("SELECT"), 1);
  }
}

// A query sent as written is browsed in its own order from the table cache its run fills: the
// place of each row read counts that order, before and after a row cache taken whole.
TEST_P(LiveQuery, PlacesInAQuerySentAsWrittenFollowItsOwnOrder) {
  CNADataAccess* access = Access();
  ISQLParserInformation* parse = Parse(L"SELECT nom, id FROM " + m_wPlain + L" ORDER BY nom DESC");
  ASSERT_NE(parse, nullptr);
  int result = -1;
  ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(4), nullptr))
      << Utf8(m_error.pszGetError());
  const CTString best(access->pszGetBestParseItemName());
  const struct {
    eNA_PARSEDIRECTION dir;
    NA_WRITEPARSEFLAGS flags;
    const wchar_t* values;
    int place;
  } reads[] = {{NA_PARSE_FIRST, 0, L"c|3", 334},       {NA_PARSE_NEXT, 0, L"b|1", 667},
               {NA_PARSE_NEXT, 0, L"a|2", 1000},       {NA_PARSE_PREVIOUS, 0, L"b|1", 667},
               {NA_PARSE_LAST, 0x2000, L"a|2", 1000},  {NA_PARSE_FIRST, 0x2000, L"c|3", 334}};
  for (const auto& r : reads) {
    eNA_LOCKTYPE out{};
    ASSERT_TRUE(access->bHLitxxx(best.pszGet(), r.dir, 1, kNoLock, &out, r.flags)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Values(access), r.values);
    int place = -1;
    EXPECT_TRUE(access->bHPositionCourante(&place, best.pszGet(), eNA_PRECISION{0})) << Utf8(m_error.pszGetError());
    EXPECT_EQ(place, r.place) << Utf8(r.values);
  }
}

TEST_P(LiveQuery, WritesToAQuerySentAsWrittenAreRefusedWith35AndSendNothing) {
  CNADataAccess* access = Access();
  ISQLParserInformation* parse = Parse(L"SELECT id, nom FROM " + m_wPlain);
  ASSERT_NE(parse, nullptr);
  int result = 0;
  ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(4 | 8), nullptr));
  g_tabSent.clear();
  for (int op = 0; op < 3; ++op) {
    m_error.Reset();
    const BOOL ok = op == 0   ? access->bHAjoute(0, kNoLock)
                    : op == 1 ? access->bHModifie(0, 0, kNoLock)
                              : access->bHSupprime(0, kNoLock);
    EXPECT_FALSE(ok) << op;
    EXPECT_EQ(m_error.nGetUserErrorCode(), 35u) << op;
  }
  EXPECT_TRUE(g_tabSent.empty()) << g_tabSent[0];
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + m_strTable), "3");
}

// Delete-all of a query deletes the rows its browse reads, one by one by their keys: a WHERE of
// the query keeps the rows it does not select; a query sent as written refuses its first delete
// with 35 and keeps every row.
TEST_P(LiveQuery, DeleteAllOfAQueryDeletesTheRowsItsBrowseReads) {
  const struct {
    const char* name;
    std::wstring text;
    unsigned int mode;
    BOOL ok;
    unsigned int error;
    int deletes;       // DELETE texts sent, each naming its row
    const char* left;  // ids left in the table, read over the raw connection
  } rows[] = {
      {"whole table", L"SELECT id, nom FROM people", 8, TRUE, 0, 3, ""},
      {"where", L"SELECT id, nom FROM people WHERE id >= 2", 8, TRUE, 0, 2, "1"},
      {"nothing selected", L"SELECT id, nom FROM people WHERE id > 9", 8, TRUE, 0, 0, "1|2|3"},
      {"sent as written", L"SELECT id, nom FROM @plain", 4 | 8, FALSE, 35, 0, "1|2|3"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    std::string err;
    for (const std::string& t : {Quoted(m_wPeople), m_strTable})
      ASSERT_TRUE(m_raw.exec("DELETE FROM " + t, &err) &&
                  m_raw.exec("INSERT INTO " + t + " VALUES (3,'c'),(1,'b'),(2,'a')", &err))
          << err;
    const bool plain = r.text.find(L"@plain") != std::wstring::npos;
    std::wstring text = r.text;
    if (plain) text.replace(text.find(L"@plain"), 6, m_wPlain);
    CNADataAccess* access = Access();
    ISQLParserInformation* parse = Parse(text);
    ASSERT_NE(parse, nullptr);
    int result = 0;
    ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(r.mode), nullptr))
        << Utf8(m_error.pszGetError());
    m_error.Reset();
    g_tabSent.clear();
    EXPECT_EQ(access->bSupprimeTout(), r.ok) << Utf8(m_error.pszGetError());
    EXPECT_EQ(m_error.nGetUserErrorCode(), r.error);
    const std::string table = plain ? m_strTable : Quoted(m_wPeople);
    EXPECT_EQ(Sent("DELETE FROM " + table + " WHERE"), r.deletes);
    EXPECT_EQ(Sent("DELETE"), r.deletes);
    EXPECT_EQ(Rows("SELECT id FROM " + table + " ORDER BY id"), r.left);
  }
}

// A read on the default item (0x20000) of a query sent as written browses the column its first
// ORDER BY entry orders; without an ORDER BY, the description's best item.
TEST_P(LiveQuery, DefaultItemOfAQueryIsTheColumnItsFirstOrderByOrders) {
  const struct {
    const wchar_t* tail;
    const wchar_t* browsed;  // null: the best item
    const wchar_t* first;
  } rows[] = {
      {L" ORDER BY nom DESC, id", L"nom", L"3|c"},
      {L" ORDER BY id DESC", L"id", L"3|c"},
      {L"", nullptr, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(Utf8(r.tail));
    CNADataAccess* access = Access();
    ISQLParserInformation* parse = Parse(L"SELECT id, nom FROM " + m_wPlain + r.tail);
    ASSERT_NE(parse, nullptr);
    int result = 0;
    ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(4), nullptr))
        << Utf8(m_error.pszGetError());
    const CTString best(access->pszGetBestParseItemName());
    eNA_LOCKTYPE out{};
    ASSERT_TRUE(access->bHLitxxx(best.pszGet(), NA_PARSE_FIRST, 1, kNoLock, &out, 0x20000)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(std::wstring(access->pclGetLastStatementNoRef()->pszGetBrowseItem()),
              r.browsed != nullptr ? r.browsed : best.pszGet());
    if (r.first != nullptr) {
      EXPECT_EQ(Values(access), r.first);
    }
  }
}

// A calculated column the host's parse types narrower than the server's result (UPPER of a text
// the host describes as 4 bytes, over a VARCHAR(20)) takes the result's type at the query's
// first run: the record is laid out again and the values read are the server's whole texts. A
// plain column keeps the type the host gives its source column, and the host's description
// keeps its own.
TEST_P(LiveQuery, CalculatedColumnTakesTheTypeOfTheServersResult) {
  std::string err;
  ASSERT_TRUE(m_raw.exec("UPDATE " + m_strTable + " SET nom = 'abcdefghij' WHERE id = 2", &err)) << err;
  // The test's plain table, as a host that gives its text 4 bytes describes it.
  CHostRecordDescription* t = m_bench.Table(L"wide", m_wPlain.c_str());
  t->m_pszDBTableName = t->m_pszPhysicalName;
  m_bench.Item(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
  CHostItemDescription* nom = m_bench.Item(t, L"nom", NA_IT_TEXTE, 4);
  for (size_t i = m_bench.m_items.size() - 2; i < m_bench.m_items.size(); ++i) {
    m_bench.m_items[i].m_pszNameInSource = m_bench.m_items[i].pszGetName();
    m_bench.m_items[i].m_pszSourceName = m_wPlain.c_str();
  }
  CNADataAccess* access = Access();
  ISQLParserInformation* parse = Parse(L"SELECT id, UPPER(nom) AS big, nom FROM wide WHERE id < 3 ORDER BY id");
  ASSERT_NE(parse, nullptr);
  int result = 0;
  ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(8), nullptr))
      << Utf8(m_error.pszGetError());
  INADataSourceDescription* desc = access->piGetDataSourceDescription();
  ASSERT_NE(desc, nullptr);
  const struct {
    const wchar_t* item;
    bool wider;  // than the 4 bytes the host gave
  } types[] = {{L"big", true}, {L"nom", false}};
  for (const auto& r : types) {
    INAItemDescription* item = desc->piNAGetItem(r.item);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->nGetItemSize() > 4, r.wider) << Utf8(r.item);
    item->nExternalRelease();
  }
  EXPECT_EQ(nom->nGetItemSize(), 4u);
  desc->nExternalRelease();
  EXPECT_EQ(Values(access), L"1|B|b");
  eNA_LOCKTYPE out{};
  ASSERT_TRUE(access->bHLitxxx(L"id", NA_PARSE_NEXT, 1, kNoLock, &out, 0)) << Utf8(m_error.pszGetError());
  EXPECT_EQ(Values(access).substr(0, 13), L"2|ABCDEFGHIJ|");
  ASSERT_TRUE(access->bHLitxxx(L"big", NA_PARSE_FIRST, 1, kNoLock, &out, 0)) << Utf8(m_error.pszGetError());
  EXPECT_EQ(Values(access).substr(0, 13), L"2|ABCDEFGHIJ|");
}

// Rows of a DISTINCT, grouped or aggregated result stand for several table rows, and a result
// whose items name no table is no table's: an add, modify or delete on them reached every table
// row of the value (or sent "DELETE FROM  WHERE"). Each is refused with 8 before anything is sent,
// a delete-all too before its browse reads a row.
TEST_P(LiveQuery, WritesToRowsThatAreNotTableRowsAreRefusedWith8AndSendNothing) {
  const std::wstring villes = Wide(m_strTable + " v`illes");
  std::string err;
  struct Drop {
    RawConnection* raw;
    std::string table;
    ~Drop() {
      std::string e;
      raw->exec("DROP TABLE IF EXISTS " + table, &e);
    }
  } drop{&m_raw, Quoted(villes)};
  m_raw.exec("DROP TABLE IF EXISTS " + Quoted(villes), &err);
  ASSERT_TRUE(m_raw.exec("CREATE TABLE " + Quoted(villes) + " (id INT PRIMARY KEY, ville VARCHAR(20))", &err)) << err;
  ASSERT_TRUE(m_raw.exec("INSERT INTO " + Quoted(villes) + " VALUES (1,'Paris'),(2,'Paris'),(3,'Lyon')", &err)) << err;
  CHostRecordDescription* t = m_bench.Table(L"villes", villes.c_str());
  t->m_pszDBTableName = t->m_pszPhysicalName;
  for (const wchar_t* name : {L"id", L"ville"}) {
    CHostItemDescription* item = m_bench.Item(t, name, name[0] == L'i' ? NA_IT_I4 : NA_IT_TEXTE,
                                              name[0] == L'i' ? 4 : 21, name[0] == L'i' ? ParseBench::kPrimary : 0);
    item->m_pszNameInSource = item->pszGetName();
    item->m_pszSourceName = t->m_pszPhysicalName;
  }
  // The same table known by items that name no source.
  t = m_bench.Table(L"anonymes", villes.c_str());
  t->m_pszDBTableName = t->m_pszPhysicalName;
  for (CHostItemDescription* item : {m_bench.Item(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE),
                                     m_bench.Item(t, L"ville", NA_IT_TEXTE, 21)}) {
    item->m_pszNameInSource = item->pszGetName();
    item->m_pszSourceName = nullptr;
  }
  const std::string held = "1:Paris|2:Paris|3:Lyon";
  const std::string dump = "SELECT CONCAT(id, ':', ville) FROM " + Quoted(villes) + " ORDER BY id";
  for (const wchar_t* text : {L"SELECT DISTINCT ville FROM villes", L"SELECT ville FROM villes GROUP BY ville",
                              L"SELECT ville, COUNT(*) AS n FROM villes GROUP BY ville",
                              L"SELECT MAX(id) AS m FROM villes", L"SELECT id, ville FROM anonymes"}) {
    for (int op = 0; op < 4; ++op) {
      SCOPED_TRACE(Utf8(text) + " op " + std::to_string(op));
      CNADataAccess* access = Access();
      ISQLParserInformation* parse = Parse(text);
      ASSERT_NE(parse, nullptr);
      int result = 0;
      ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(8), nullptr))
          << Utf8(m_error.pszGetError());
      CNARecord* record = access->pclGetCurrentRecordNoRef();
      ASSERT_NE(record, nullptr);
      if (CNAColumn* ville = record->pclGetColumnNoRef(L"ville")) {
        const CAny nice = FromText(ZV_DSTRW, L"Nice");
        ASSERT_TRUE(ville->bSetValue(&nice, 0));
      }
      g_tabSent.clear();
      m_error.Reset();
      const BOOL ok = op == 0   ? access->bHAjoute(0, kNoLock)
                      : op == 1 ? access->bHModifie(0, 0, kNoLock)
                      : op == 2 ? access->bHSupprime(0, kNoLock)
                                : access->bSupprimeTout();
      EXPECT_FALSE(ok);
      EXPECT_EQ(m_error.nGetUserErrorCode(), 8u);
      EXPECT_TRUE(g_tabSent.empty()) << g_tabSent[0];
      EXPECT_EQ(Rows(dump), held);
      ASSERT_TRUE(m_raw.exec("DELETE FROM " + Quoted(villes) + " WHERE id > 3", &err)) << err;
      ASSERT_TRUE(m_raw.exec("REPLACE INTO " + Quoted(villes) + " VALUES (1,'Paris'),(2,'Paris'),(3,'Lyon')", &err))
          << err;
    }
  }
  // A plain result of the same table stays writable: one row, and only it, goes.
  CNADataAccess* access = Access();
  int result = 0;
  ASSERT_TRUE(access->bExecuteQuery(&result, L"q", Parse(L"SELECT id, ville FROM villes"),
                                    static_cast<eNA_QUERYMODE>(8), nullptr));
  EXPECT_TRUE(access->bHSupprime(0, kNoLock)) << Utf8(m_error.pszGetError());
  EXPECT_EQ(Rows(dump), "2:Paris|3:Lyon");
  // Modified with nothing changed, the row it deleted is written back, as on a table.
  EXPECT_TRUE(access->bHModifie(0, 0, kNoLock)) << Utf8(m_error.pszGetError());
  EXPECT_EQ(Rows(dump), "1:Paris|2:Paris|3:Lyon");
}

// Prepare only keeps the execution statement and runs nothing; the server's statement cannot
// prepare, so the answer is a refusal with a reason.
TEST_P(LiveQuery, PrepareOnlyRunsNothing) {
  CNADataAccess* access = Access();
  ISQLParserInformation* parse = Parse(L"SELECT id, nom FROM " + m_wPlain);
  ASSERT_NE(parse, nullptr);
  int result = -1;
  EXPECT_FALSE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(4 | 16), nullptr));
  EXPECT_EQ(result, 0);
  EXPECT_NE(access->pclGetExecuteStatementNoRef(), nullptr);
  EXPECT_TRUE(g_tabSent.empty());
  EXPECT_NE(m_error.eGetErrorLevel(), NAERRORLEVEL_NONE);
}

// The driver's own text (mode 132): a result hands out the statement that ran it with one
// reference; a text without result columns none; a refused text its server error.
TEST_P(LiveQuery, InternalTextHandsOutItsStatementWithOneReference) {
  struct Row {
    const char* name;
    std::wstring text;
    BOOL ok;
    bool statement;
    unsigned int serverError;
  } rows[] = {
      {"select", Physical(L"SELECT MAX(id) FROM @people"), TRUE, true, 0},
      {"no columns", Physical(L"UPDATE @people SET nom = nom WHERE id = 0"), TRUE, false, 0},
      {"refused", Physical(L"SELECT MAX(nothere) FROM @people"), FALSE, false, 1054},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    CNADataAccess* access = Access();
    CNAStatement* stmt = reinterpret_cast<CNAStatement*>(1);
    EXPECT_EQ(access->bExecuteQueryInternal(&stmt, L"$QXInternal", r.text.c_str()), r.ok);
    EXPECT_EQ(stmt != nullptr, r.statement);
    EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), r.serverError);
    EXPECT_EQ(g_tabSent.size(), 1u);
    if (stmt == nullptr) continue;
    const unsigned int held = stmt->nGetRefCount();
    stmt->nRelease();
    EXPECT_EQ(stmt->nGetRefCount(), held - 1);
    CAny value;
    int out = 1;
    ASSERT_TRUE(stmt->bFetchData(NA_PARSE_FIRST, &out, &value, 1));
    EXPECT_EQ(out, 0);
    EXPECT_EQ(Show(value), L"3");
  }
}

// " JOIN " after the first character of a query that may be rewritten forbids a record limit.
TEST_P(LiveQuery, JoinSetsTheTopFlagOfAQueryThatMayBeRewritten) {
  struct Row {
    const wchar_t* text;
    unsigned int mode;
    bool join;
  } rows[] = {
      {L"SELECT people.id, orders.num FROM people JOIN orders ON orders.client = people.id", 8, true},
      {L"SELECT people.id, orders.num FROM people inner join orders ON orders.client = people.id", 8, true},
      {L"SELECT people.id, orders.num FROM people, orders WHERE orders.client = people.id", 8, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(ParseBench::Narrow(r.text));
    CNADataAccess* access = Access();
    ISQLParserInformation* parse = Parse(r.text);
    ASSERT_NE(parse, nullptr);
    int result = 0;
    ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(r.mode), nullptr))
        << Utf8(m_error.pszGetError());
    EXPECT_EQ((access->dwGetQueryFlags() & 0x80000000u) != 0, r.join);
    EXPECT_EQ(access->dwGetQueryFlags() & 0x7fffffffu, r.mode);
    EXPECT_EQ(result, 1);
  }
}

// A text sent as written that the connection's single-byte code page cannot hold is refused
// before anything is sent; a UTF-8 connection takes it.
TEST_P(LiveQuery, TextTheCodePageCannotHoldIsRefusedWith77) {
  CNADataAccess* access = Access();
  ISQLParserInformation* parse = Parse(L"SELECT id FROM " + m_wPlain + L" WHERE nom = '\u0100'");
  ASSERT_NE(parse, nullptr);
  int result = -1;
  const BOOL ok = access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(4), nullptr);
  if (std::get<0>(GetParam()) == 65001) {
    EXPECT_TRUE(ok) << Utf8(m_error.pszGetError());
    return;
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(m_error.nGetUserErrorCode(), 77u);
  EXPECT_TRUE(g_tabSent.empty());
}

// Operations that need the whole result refuse until the table cache holds it.
TEST_P(LiveQuery, NextOperationWaitsForTheWholeResult) {
  CNADataAccess* access = Access();
  ISQLParserInformation* parse = Parse(L"SELECT id, nom FROM " + m_wPlain);
  ASSERT_NE(parse, nullptr);
  int result = 0;
  ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(4), nullptr));
  ASSERT_NE(access->pclGetTableCacheNoRef(), nullptr);
  EXPECT_FALSE(access->bSetNextOperation(static_cast<eNA_OPERATION>(1)));
  EXPECT_EQ(m_error.nGetUserErrorCode(), 55u);
  EXPECT_FALSE(access->bSetNextOperation(static_cast<eNA_OPERATION>(2)));
  // With an error held the message goes first instead.
  EXPECT_FALSE(access->bSetNextOperation(static_cast<eNA_OPERATION>(3)));
  EXPECT_EQ(m_error.nGetUserErrorCode(), 55u);
  EXPECT_NE(std::wstring(m_error.pszGetError()).find(L"pas encore"), std::wstring::npos);
  EXPECT_TRUE(access->bSetNextOperation(static_cast<eNA_OPERATION>(4)));
  ASSERT_NE(access->pclGetTableCacheNoRef()->pclGetFullCache(), nullptr) << Utf8(m_error.pszGetError());
  m_error.Reset();
  for (int op : {1, 2, 3}) EXPECT_TRUE(access->bSetNextOperation(static_cast<eNA_OPERATION>(op))) << op;
}

// The next identifier of a query's column is computed on its source column and table, not on the
// query's result column.
TEST_P(LiveQuery, NextIdentifierOfAQueryNamesItsSourceColumnAndTable) {
  CNADataAccess* access = Access();
  ISQLParserInformation* parse = Parse(L"SELECT id AS ref, nom FROM people");
  ASSERT_NE(parse, nullptr);
  int result = 0;
  ASSERT_TRUE(access->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(8), nullptr))
      << Utf8(m_error.pszGetError());
  CNAColumn* column = access->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(L"ref");
  ASSERT_NE(column, nullptr);
  CNAIDAuto* generator = access->pclGetIDAuto();
  ASSERT_NE(generator, nullptr);
  CXYStringConcat<wchar_t> text;
  ASSERT_TRUE(generator->_bBuildQueryGetNextValue(&text, access, column));
  EXPECT_EQ(std::wstring(text.pszGet()), L"SELECT MAX(`id`)+1 FROM " + Wide(Quoted(m_wPeople)));
  CAny next;
  EXPECT_TRUE(generator->bGetNextValue(access, column, &m_error, &next)) << Utf8(m_error.pszGetError());
  EXPECT_EQ(Show(next), L"4");
  generator->nRelease();
}

// The query table the driver's query entry runs a host query through, for one context after
// another: a run with a result gives the table the result's description, one without keeps the
// former; a failed run leaves its error in the table's own error and drops the context's access,
// unless the host prepared the query.
TEST_P(LiveQuery, TableTakesTheResultsDescriptionOrDropsTheAccessOfAFailedRun) {
  CHostRecordDescription* ghost = m_bench.Table(L"ghost", L"qx_no_such_ghost");
  m_bench.Item(ghost, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
  CNATable* table = new CNATable(L"q", nullptr, m_pCnx.get(), &m_error);
  table->AddRef();
  CHostQueryParameters* binds = new CHostQueryParameters();
  table->SetQueryBindVariable(binds);
  struct Row {
    const char* name;
    std::wstring text;
    bool prepared;
    BOOL ok;
    int result;
    DWORD accesses;  // the table's after the run
    int items;       // of the table's description after the run (-1: none)
  } rows[] = {
      {"select", L"SELECT id, nom FROM people", false, TRUE, 1, 1, 2},
      {"update: no result", L"UPDATE people SET nom = 'z' WHERE id = 3", false, TRUE, 0, 2, 2},
      {"another select", L"SELECT nom FROM people", false, TRUE, 1, 3, 1},
      {"failing", L"SELECT id FROM ghost", false, FALSE, 0, 3, 1},
      {"failing, prepared by the host", L"SELECT id FROM ghost", true, FALSE, 0, 4, 1},
  };
  std::deque<CHostContext> contexts;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    CHostContext* ctx = &contexts.emplace_back(40, static_cast<DWORD>(contexts.size() + 1));
    binds->m_bPrepared = r.prepared ? TRUE : FALSE;
    m_error.Reset();
    int result = -1;
    EXPECT_EQ(table->bExecuteQuery(&result, ctx, L"q", Parse(r.text), 8, nullptr), r.ok) << Utf8(m_error.pszGetError());
    EXPECT_EQ(result, r.result);
    EXPECT_EQ(table->dwGetDataAccessCount(), r.accesses);
    INADataSourceDescription* desc = table->piGetDataSourceDescription();
    EXPECT_EQ(desc != nullptr ? desc->nGetNumItems() : -1, r.items);
    if (desc != nullptr) {
      EXPECT_STREQ(desc->pszGetLogicalName(), L"q");
      desc->nExternalRelease();
    }
    // The table's error is the one the driver reads after a failed run.
    EXPECT_EQ(table->piGetLastError()->eGetErrorLevel() != NAERRORLEVEL_NONE, !r.ok);
    if (!r.prepared) {
      EXPECT_EQ(table->bIsOpened(ctx), r.ok && r.result != 0);
    }
  }
  // The first context's file runs its select: the same text in other case needs no close, another
  // text does.
  EXPECT_FALSE(table->bNeedCloseQuery(&contexts[0], Parse(L"select ID, NOM from PEOPLE")));
  EXPECT_TRUE(table->bNeedCloseQuery(&contexts[0], Parse(L"SELECT nom FROM people")));
  // Without a place for the result: refused before anything runs.
  g_tabSent.clear();
  m_error.Reset();
  EXPECT_FALSE(table->bExecuteQuery(nullptr, &contexts[0], L"q", Parse(L"SELECT nom FROM people"), 8, nullptr));
  EXPECT_EQ(table->piGetLastError()->pclGetXError()->nGetUserErrorCode(), 4u);
  EXPECT_TRUE(g_tabSent.empty());
  for (CHostContext& ctx : contexts) m_driver.bCloseContext(&ctx);
  EXPECT_EQ(table->dwGetDataAccessCount(), 0u);
  table->SetQueryBindVariable(nullptr);
  binds->nRelease();
  table->nRelease();
}

INSTANTIATE_TEST_SUITE_P(Live, LiveQuery,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Values(false, true)));

}  // namespace

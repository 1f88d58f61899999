// The catalogue lists against the private server, in both code pages and SQL modes: tables with
// a view beside them and a second database holding tables, databases, columns, column types,
// links read from the server's CREATE TABLE text, and the SHOW road of a server that reports
// version 4.1.
#include <algorithm>
#include <functional>
#include <thread>

#include "driver/nadriversql.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/any_test_values.h"

namespace {

// A connection whose server says it is 4.1: the SHOW texts still run on the real server.
class CMySQL41Connection : public CMySQLConnection {
 public:
  using CMySQLConnection::CMySQLConnection;
  BOOL _bDecomposeServerVersion(CNAError* error) override {
    if (!CMySQLConnection::_bDecomposeServerVersion(error)) return FALSE;
    m_nServerVersionMajor = 4;
    m_nServerVersionMinor = 1;
    return TRUE;
  }
};

// A connection that says it speaks another dialect.
class COtherDialectConnection : public CMySQLConnection {
 public:
  COtherDialectConnection(const wchar_t* id, INAConnectionDescription* host) : CMySQLConnection(id, host) {
    m_eDataSource = 3;
  }
};

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& sep) {
  std::vector<std::wstring> out;
  if (text.empty()) return out;
  for (size_t at = 0;;) {
    const size_t next = text.find(sep, at);
    out.push_back(text.substr(at, next - at));
    if (next == std::wstring::npos) return out;
    at = next + sep.size();
  }
}

class LiveCatalogue : public LiveConnection {
 protected:
  struct VM : AnyTest { static void Bind() { SetUpTestSuite(); } };
  LiveCatalogue() : LiveConnection("_cat") { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    if (HasFatalFailure()) return;
    m_pCnx->AddRef();
    m_driver.AllocError();
    m_pService = static_cast<CNADriverSQL*>(m_driver.piGetInterface(1));
    ASSERT_NE(m_pService, nullptr);
    ASSERT_TRUE(m_pService->bOpenConnection(&m_nCnx, &m_host));
    if (std::get<1>(GetParam())) Exec(L"SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')");
    for (const std::string& db : {m_strTable + "_db2", m_strTable + "_db3"}) Raw("DROP DATABASE IF EXISTS " + db);
  }
  void TearDown() override {
    for (auto it = m_objects.rbegin(); it != m_objects.rend(); ++it) Raw("DROP " + *it, true);
    if (m_pService != nullptr) {
      m_pService->bCloseConnection(m_nCnx);
      m_pService->nExternalRelease();
    }
    LiveConnection::TearDown();
  }
  void Raw(const std::string& sql, bool quiet = false) {
    std::string err;
    if (!m_raw.exec(sql, &err) && !quiet) ADD_FAILURE() << sql << ": " << err;
  }
  // Runs sql and remembers what to drop ("TABLE x", "VIEW x", "DATABASE x").
  void Make(const std::string& sql, const std::string& drop) {
    Raw(sql);
    m_objects.push_back(drop);
  }
  void Exec(const std::wstring& sql) {
    int stmt = -1;
    EXPECT_TRUE(m_pService->bExecute(&stmt, m_nCnx, sql.c_str(), nullptr, 0));
  }
  std::string N(const std::string& suffix) const { return m_strTable + suffix; }
  std::wstring W(const std::string& suffix) const { return Wide(N(suffix)); }
  // The text of a list, "<not a list>" unless it is wide text of type 16 without flags.
  static std::wstring List(const CAny& out) {
    if (out.wGetTypeWord() != ZV_DSTRW) return L"<not a list>";
    return Show(out);
  }
  // The lines of a list that name this test's objects, in order.
  std::wstring Ours(const std::wstring& list, const std::wstring& sep = L"\r\n") const {
    std::wstring out;
    for (const std::wstring& line : Split(list, sep))
      if (line.rfind(W(""), 0) == 0) out += (out.empty() ? L"" : L"|") + line;
    return out;
  }
  CNAConnectionDescription* ServiceConnection() {
    CNAConnectionDescription* c = m_driver.pclGetConnectionByID(m_nCnx);
    m_driver.nReleaseConnection(c);  // the service's connection outlives the test body
    return c;
  }
  void MakeTables() {
    Make("CREATE TABLE " + N("_b") + " (id INT PRIMARY KEY, a INT, b INT, UNIQUE KEY k_ab (a, b))", "TABLE " + N("_b"));
    Make("CREATE VIEW " + N("_v") + " AS SELECT id FROM " + N("_b"), "VIEW " + N("_v"));
    Make("CREATE DATABASE " + N("_db2"), "DATABASE " + N("_db2"));
    Make("CREATE TABLE " + N("_db2") + "." + N("_t2") + " (id INT)", "TABLE " + N("_db2") + "." + N("_t2"));
    Make("CREATE VIEW " + N("_db2") + "." + N("_v2") + " AS SELECT 1 AS x", "VIEW " + N("_db2") + "." + N("_v2"));
    Make("CREATE DATABASE " + N("_db3"), "DATABASE " + N("_db3"));
  }

  CNADriverSQL* m_pService = nullptr;
  int m_nCnx = 0;
  std::vector<std::string> m_objects;
};

TEST_P(LiveCatalogue, TableListWithViewsListsNoOtherSchema) {
  MakeTables();
  const std::wstring b = W("_b"), v = W("_v"), db = Wide(m_server.database);
  const std::wstring like = L"AND TABLE_NAME LIKE '" + W("") + L"%'";
  const struct {
    unsigned int flags;
    const wchar_t* extra;
    std::wstring want;
  } rows[] = {
      {1, nullptr, b},
      {2, nullptr, v},
      {1 | 2, nullptr, b + L"|" + v},
      {1 | 2, like.c_str(), b + L"|" + v},
      {1 | 2 | 16, like.c_str(), b + L"|" + v},
      {4, nullptr, L""},
      {1 | 2 | 4 | 32, like.c_str(), b + L"\t" + db + L"\t\tTABLE|" + v + L"\t" + db + L"\t\tVIEW"},
      {0, like.c_str(), L""},
  };
  for (const auto& row : rows) {
    CAny out;
    out.SetNull(true);
    EXPECT_TRUE(m_pService->bGetTableList(&out, m_nCnx, row.extra, row.flags)) << row.flags;
    EXPECT_EQ(Ours(List(out)), row.want) << row.flags;
    if (row.extra == nullptr) {
      // The host's entry reaches the same list through its own connection.
      CAny host;
      EXPECT_TRUE(m_driver.bGetTableList(&host, &m_host, row.flags));
      EXPECT_EQ(Ours(List(host)), row.want) << row.flags;
    }
  }
  // The whole list, not only this test's lines: with the extra text nothing else matches.
  CAny out;
  EXPECT_TRUE(m_pService->bGetTableList(&out, m_nCnx, like.c_str(), 1 | 2 | 16));
  EXPECT_EQ(List(out), b + L"\r\n" + v);
}

TEST_P(LiveCatalogue, DatabaseListsWhatTheUserSees) {
  MakeTables();
  const std::wstring db2 = W("_db2"), db3 = W("_db3"), t2 = W("_t2"), v2 = W("_v2");
  const struct {
    unsigned int flags;
    std::wstring sep, want;
  } rows[] = {
      {0, L"\t", db2 + L"|" + db3},
      {16, L"\t", db2 + L"|" + db3},
      {1, L"\r\n", db2 + L"\t" + t2 + L"|" + db3 + L"\t"},
      {1 | 2 | 16, L"\r\n", db2 + L"\t" + t2 + L"\t" + v2 + L"|" + db3 + L"\t"},
      {2, L"\r\n", db2 + L"\t" + v2 + L"|" + db3 + L"\t"},
  };
  for (const auto& row : rows) {
    CXYString<wchar_t> out;
    EXPECT_TRUE(m_driver.bGetDatabaseList(&out, &m_host, row.flags)) << row.flags;
    const std::wstring text = out.pszGet() != nullptr ? out.pszGet() : L"";
    EXPECT_EQ(Ours(text, row.sep), row.want) << row.flags;
    EXPECT_EQ(text.find(L"mysql"), std::wstring::npos);  // not granted to the test user
    EXPECT_FALSE(text.ends_with(L"\r\n"));
  }
}

TEST_P(LiveCatalogue, ColumnListsStopAtTheFirstCompositeKey) {
  MakeTables();
  const std::wstring b = W("_b");
  CNAConnectionDescription* cnx = ServiceConnection();
  const struct {
    const char* road;
    std::function<BOOL(CAny*, const wchar_t*)> call;
  } roads[] = {
      {"mysql", [&](CAny* out, const wchar_t* t) { return m_pService->bGetColumnList(out, m_nCnx, t, 0); }},
      {"generic", [&](CAny* out, const wchar_t* t) {
         CNADriverLock lock;
         return m_pService->CNADriverSQL::bGetColumnList(out, cnx, t, 0);
       }},
  };
  for (const auto& road : roads) {
    CAny out;
    EXPECT_TRUE(road.call(&out, b.c_str())) << road.road;
    EXPECT_EQ(List(out), L"id\r\na\r\nb") << road.road;
    CAny missing;
    EXPECT_FALSE(road.call(&missing, W("_none").c_str())) << road.road;
  }
}

TEST_P(LiveCatalogue, ColumnTypeListIsTheSameEverywhere) {
  CAny open, unopened, host;
  EXPECT_TRUE(m_pService->bGetColumnTypeList(&open, m_nCnx, 0));
  EXPECT_TRUE(m_pService->bGetColumnTypeList(&unopened, 987654, 0));
  EXPECT_TRUE(m_driver.bSQLFormatColonne(&m_host, &host));
  const std::vector<std::wstring> lines = Split(List(open), L"\r\n");
  ASSERT_EQ(lines.size(), 35u);
  EXPECT_EQ(lines.front(), L"bit\t1");
  EXPECT_EQ(lines[20], L"long varchar\t7");
  EXPECT_EQ(lines.back(), L"timestamp\t19");
  for (const std::wstring& line : lines) EXPECT_EQ(Split(line, L"\t").size(), 2u) << line;
  EXPECT_EQ(List(unopened), List(open));
  EXPECT_EQ(List(host), List(open));
}

TEST_P(LiveCatalogue, FakeConstraintInACommentGivesNoLineAndHidesNone) {
  // Constraint names are the schema's: each process makes its own.
  const std::string p = N("_p"), c = N("_c"), c2 = N("_c2"), fk1 = N("_fk1"), f2 = N("_f`2"), x = N("_x");
  Make("CREATE TABLE " + p + " (id INT PRIMARY KEY, a INT, b INT, UNIQUE KEY k_pab (a, b))", "TABLE " + p);
  Make("CREATE TABLE " + c + " (id INT PRIMARY KEY, a INT, b INT COMMENT 'CONSTRAINT', " +
           "c INT COMMENT 'it''s \\\\'' CONSTRAINT `evil` FOREIGN KEY (`c`) REFERENCES `" + p + "` (`id`)', " +
           "UNIQUE KEY k_ab (a, b), CONSTRAINT " + fk1 + " FOREIGN KEY (a) REFERENCES " + p +
           " (id) ON DELETE CASCADE ON UPDATE SET NULL, CONSTRAINT `" + N("_f``2") + "` FOREIGN KEY (a, b) REFERENCES " +
           p + " (a, b))",
       "TABLE " + c);
  // The server wants an index led by the link's columns: a wider one, so that none is made.
  Make("CREATE TABLE " + c2 + " (id INT, a INT, b INT, UNIQUE KEY k_ba (b, a), KEY k_abi (a, b, id), CONSTRAINT " +
           x + " FOREIGN KEY (a, b) REFERENCES " + p + " (a, b) ON UPDATE NO ACTION)",
       "TABLE " + c2);
  const std::wstring wp = Wide(p);
  const struct {
    std::string table;
    unsigned int flags;
    std::wstring want;  // lines sorted, "|" between them
  } rows[] = {
      {c, 32,
       Wide(f2) + L"\t" + wp + L"\tk_pab\t0,N\t" + Wide(c) + L"\tk_ab\t0,1\t2021\t2021|" + Wide(fk1) + L"\t" + wp +
           L"\tid\t0,N\t" + Wide(c) + L"\ta\t0,1\t2023\t2022"},
      {c, 0, L""},
      {c2, 32, Wide(x) + L"\t" + wp + L"\tk_pab\t0,N\t" + Wide(c2) + L"\ta,b\t0,1\t2020\t2021"},
      {p, 32, L""},
  };
  for (const auto& row : rows) {
    CAny out;
    out.SetNull(true);
    EXPECT_TRUE(m_driver.bGetLinkList(&out, Wide(row.table).c_str(), nullptr, &m_host, row.flags)) << row.table;
    std::vector<std::wstring> lines = Split(List(out), L"\r\n");
    std::sort(lines.begin(), lines.end());
    std::wstring got;
    for (const std::wstring& l : lines) got += (got.empty() ? L"" : L"|") + l;
    EXPECT_EQ(got, row.want) << row.table << " " << row.flags;
  }
  // Another dialect's connection: the value is left as it was.
  COtherDialectConnection other(L"other", &m_host);
  CAny untouched;
  untouched.SetI4(7);
  {
    CNADriverLock lock;
    EXPECT_TRUE(m_pService->bGetLinkList(&untouched, &other, Wide(c).c_str(), nullptr, 32));
  }
  EXPECT_EQ(Show(untouched), L"7");
}

// A backend that reads its links from the catalogue writes, from the server's own rule texts,
// the line the CREATE TABLE reading writes for the same link, but for the link's name.
TEST_P(LiveCatalogue, CatalogueLinkLinesAgreeWithTheCreateTableReading) {
  const std::string p = N("_lp"), c = N("_lc");
  Make("CREATE TABLE " + p + " (id INT PRIMARY KEY)", "TABLE " + p);
  const char* const rules[][2] = {
      {"CASCADE", "SET NULL"}, {"SET NULL", "NO ACTION"}, {"NO ACTION", "RESTRICT"}, {"RESTRICT", "CASCADE"}};
  std::string columns, links;
  for (size_t i = 0; i < std::size(rules); ++i) {
    const std::string col = "a" + std::to_string(i);
    columns += ", " + col + " INT NULL";
    links += ", CONSTRAINT " + N("_l" + std::to_string(i)) + " FOREIGN KEY (" + col + ") REFERENCES " + p +
             " (id) ON UPDATE " + rules[i][0] + " ON DELETE " + rules[i][1];
  }
  Make("CREATE TABLE " + c + " (id INT PRIMARY KEY" + columns + links + ")", "TABLE " + c);
  ::RawRows catalogue;
  std::string err;
  ASSERT_TRUE(m_raw.query("SELECT r.CONSTRAINT_NAME, r.UPDATE_RULE, r.DELETE_RULE, k.COLUMN_NAME,"
                          " k.REFERENCED_TABLE_NAME, k.REFERENCED_COLUMN_NAME"
                          " FROM information_schema.REFERENTIAL_CONSTRAINTS r JOIN information_schema.KEY_COLUMN_USAGE k"
                          " ON k.CONSTRAINT_SCHEMA = r.CONSTRAINT_SCHEMA AND k.CONSTRAINT_NAME = r.CONSTRAINT_NAME"
                          " AND k.TABLE_NAME = r.TABLE_NAME"
                          " WHERE r.CONSTRAINT_SCHEMA = SCHEMA() AND r.TABLE_NAME = '" + c + "' ORDER BY 1",
                          &catalogue, &err))
      << err;
  ASSERT_EQ(catalogue.size(), std::size(rules));
  CAny read;
  read.SetNull(true);
  ASSERT_TRUE(m_driver.bGetLinkList(&read, Wide(c).c_str(), nullptr, &m_host, 32));
  std::vector<std::wstring> expected = Split(List(read), L"\r\n");
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(expected.size(), std::size(rules)) << List(read);
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const ::RawRow& row = catalogue[i];
    CNADriverSQL::eSQLForeignKeysRules update{}, remove{};
    EXPECT_TRUE(CNADriverSQL::_bTextToeSQLForeignKeysRules(&update, Wide(row.at(1).value_or("")).c_str()));
    EXPECT_TRUE(CNADriverSQL::_bTextToeSQLForeignKeysRules(&remove, Wide(row.at(2).value_or("")).c_str()));
    CXYStringConcat<wchar_t> line;
    EXPECT_TRUE(CNADriverSQL::s_bConcatConstraint(&line, 32, L"", Wide(row.at(4).value_or("")).c_str(),
                                                  Wide(row.at(5).value_or("")).c_str(), L"", Wide(c).c_str(),
                                                  Wide(row.at(3).value_or("")).c_str(), update, remove));
    const std::wstring& want = expected[i];
    EXPECT_EQ(std::wstring(line.pszGet()), Wide(p) + L"_" + Wide(c) + want.substr(want.find(L'\t')))
        << row.at(1).value_or("") << " / " << row.at(2).value_or("");
  }
}

// The reading of CREATE TABLE texts the server may print: quoted texts and names hide nothing
// and show nothing, an unreadable constraint gives way to the next one.
TEST_P(LiveCatalogue, ConstraintReadingStepsOverQuotedTextsAndNames) {
  const wchar_t* fk = L"CONSTRAINT `r` FOREIGN KEY (`a`) REFERENCES `p` (`id`) ON DELETE SET NULL";
  const std::wstring line = L"r\tp\tid\t0,N\tt\ta\t0,1\t2021\t2023";
  const struct {
    std::wstring text, want;
  } rows[] = {
      {std::wstring(L"`x` COMMENT 'CONSTRAINT', ") + fk, line},
      {std::wstring(L"COMMENT 'a\\' CONSTRAINT `e` FOREIGN KEY (`a`) REFERENCES `q` (`id`)', ") + fk, line},
      {std::wstring(L"COMMENT 'a'' CONSTRAINT `e` FOREIGN KEY (`a`) REFERENCES `q` (`id`)', ") + fk, line},
      {std::wstring(L"`CONSTRAINT `` FOREIGN KEY` INT, ") + fk, line},
      {std::wstring(L"CONSTRAINT CHECK (1), ") + fk, line},
      {std::wstring(L"CONSTRAINT `c` CHECK (`a` > 0), ") + fk, line},
      {L"CONSTRAINT `r` FOREIGN KEY (`a`) REFERENCES `p` (`id`) ON DELETE RESTRICT ON UPDATE CASCADE",
       L"r\tp\tid\t0,N\tt\ta\t0,1\t2022\t2021"},
      {L"CONSTRAINT `r` FOREIGN KEY (`a`) REFERENCES `p` (`id`) ON DELETE SET DEFAULT",
       L"r\tp\tid\t0,N\tt\ta\t0,1\t2021\t2023"},
      {L"CONSTRAINT `r` FOREIGN KEY (`a` REFERENCES `p` (`id`)", L""},
      {L"CONSTRAINT `r", L""},
      {L"CONSTRAINT", L""},
  };
  for (const auto& row : rows) {
    CXYStringConcat<wchar_t> out;
    CNADriverLock lock;
    EXPECT_TRUE(m_pService->_bExtraitLink_FromShowCreateTable(&out, row.text.c_str(), L"t", ServiceConnection(),
                                                              nullptr, 32));
    EXPECT_EQ(std::wstring(out.pszGet()), row.want) << row.text;
  }
}

TEST_P(LiveCatalogue, ServerBelow5ListsThroughShow) {
  MakeTables();
  CMySQL41Connection old(L"old", &m_host);
  old.AddRef();  // the test's own: statements on it never delete it
  const std::wstring like = L"LIKE '" + W("") + L"%'", db = Wide(m_server.database);
  const struct {
    unsigned int flags;
    std::wstring want;
  } rows[] = {
      {1, W("_b") + L"\r\n" + W("_v")},
      {1 | 32 | 16, W("_b") + L"\t" + db + L"\t\tTABLE\r\n" + W("_v") + L"\t" + db + L"\t\tTABLE"},
  };
  CNADriverLock lock;
  // Without base tables the answer comes before any server call: the connection is not open.
  CAny none;
  EXPECT_TRUE(m_pService->bGetTableList(&none, &old, like.c_str(), 2 | 16));
  EXPECT_EQ(List(none), L"");
  ASSERT_TRUE(old.bOpen(&m_error) && old.nGetServerVersionMajor() == 4);
  if (std::get<1>(GetParam())) old.bExecuteQueryNoResult(&m_error, L"SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')");
  for (const auto& row : rows) {
    CAny out;
    EXPECT_TRUE(m_pService->bGetTableList(&out, &old, like.c_str(), row.flags)) << row.flags;
    EXPECT_EQ(List(out), row.want) << row.flags;
  }
  // Databases of other processes come and go: this one's are read one by one.
  CXYString<wchar_t> dbs;
  EXPECT_TRUE(m_pService->bGetDatabaseList(&dbs, &old, 0));
  EXPECT_EQ(Ours(dbs.pszGet() != nullptr ? dbs.pszGet() : L"", L"\t"), W("_db2") + L"|" + W("_db3"));
  for (const auto& [db, want] : {std::pair(W("_db2"), W("_t2") + L"\t" + W("_v2")), std::pair(W("_db3"), std::wstring())}) {
    CTStringConcatAW query(CTStringConcatAW::kWideContent, 1252);
    CXYStringConcat<wchar_t> tables;
    ASSERT_TRUE(m_pService->_bGetDatabaseTableListQuery(&query, db.c_str(), &old, 1));
    EXPECT_TRUE(m_pService->_bGetList(&tables, &old, query.pszGetW(), 1, 0, L"\t"));
    EXPECT_EQ(std::wstring(tables.pszGet()), want);
  }
}

// The list entries share the host's connection in the registry: four threads, each with its own
// list, see the same answers and leave the registry as one thread would.
TEST_P(LiveCatalogue, ListsFromFourThreadsAgree) {
  MakeTables();
  const std::function<std::wstring()> lists[] = {
      [&] {
        CAny out;
        return m_driver.bGetTableList(&out, &m_host, 1 | 2) ? Ours(List(out)) : L"failed";
      },
      [&] {
        CXYString<wchar_t> out;
        return m_driver.bGetDatabaseList(&out, &m_host, 1) ? Ours(out.pszGet() != nullptr ? out.pszGet() : L"")
                                                           : L"failed";
      },
      [&] {
        CAny out;
        return m_driver.bGetLinkList(&out, W("_b").c_str(), nullptr, &m_host, 32) ? List(out) : L"failed";
      },
      [&] {
        CAny out;
        return m_driver.bSQLFormatColonne(&m_host, &out) ? List(out).substr(0, 6) : L"failed";
      },
  };
  std::wstring want[4];
  for (int i = 0; i < 4; ++i) want[i] = lists[i]();
  const DWORD connections = m_driver.dwGetConnectionCount();
  std::wstring got[4][20];
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int n = 0; n < 20; ++n) got[t][n] = lists[(t + n) % 4]();
    });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 4; ++t)
    for (int n = 0; n < 20; ++n) EXPECT_EQ(got[t][n], want[(t + n) % 4]) << t << " " << n;
  EXPECT_EQ(m_driver.dwGetConnectionCount(), connections);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveCatalogue,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

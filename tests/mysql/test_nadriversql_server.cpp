// The SQL-function service against the private server, in both code pages and SQL modes: numbered
// connections and statements with their values read back exactly, failing texts, transactions
// and row locks seen from a second session, one-value queries and ignored results, a close with
// statements left, and four threads.
#include <chrono>
#include <functional>
#include <thread>

#include "driver/nadriversql.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/any_test_values.h"

namespace {

std::wstring Hex(int from, int to) {
  std::wstring hex;
  for (int i = from; i < to; ++i) hex += {L"0123456789ABCDEF"[i >> 4], L"0123456789ABCDEF"[i & 15]};
  return hex;
}

// "WITH RECURSIVE" rows 1 to n in column i.
std::wstring Numbers(int n) {
  return L"WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < " + std::to_wstring(n) +
         L") SELECT i FROM r";
}

class LiveService : public LiveConnection {
 protected:
  struct VM : AnyTest { static void Bind() { SetUpTestSuite(); } };
  LiveService() : LiveConnection("_sqlf") { CNAError::s_Hold(&m_error); }  // never freed by a holder
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    if (HasFatalFailure()) return;
    m_pCnx->AddRef();  // the fixture's own: statements on it never delete it
    m_driver.AllocError();
    m_pService = static_cast<CNADriverSQL*>(m_driver.piGetInterface(1));
    ASSERT_NE(m_pService, nullptr);
    m_nBaseConnections = m_driver.dwGetConnectionCount();
    m_nCnx = OpenOne();
  }
  void TearDown() override {
    if (m_pService != nullptr) {
      m_pService->bCloseConnection(m_nCnx);
      EXPECT_EQ(m_pService->dwGetStatementCount(), 0u);
      EXPECT_EQ(m_driver.dwGetConnectionCount(), m_nBaseConnections);
      EXPECT_EQ(m_pService->nExternalRelease(), 0);
    }
    LiveConnection::TearDown();
  }
  bool Unicode() const { return std::get<0>(GetParam()) == 65001; }
  // A new numbered connection in the fixture's SQL mode.
  int OpenOne() {
    int n = 0;
    EXPECT_TRUE(m_pService->bOpenConnection(&n, &m_host)) << Error();
    if (std::get<1>(GetParam())) Exec(n, L"SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')");
    return n;
  }
  // The statement number of sql (0 without result columns); a failure fails the test.
  int Exec(int cnx, const std::wstring& sql) {
    int stmt = -1;
    EXPECT_TRUE(m_pService->bExecute(&stmt, cnx, sql.c_str(), nullptr, 0)) << Error();
    return stmt;
  }
  int Exec(const std::wstring& sql) { return Exec(m_nCnx, sql); }
  // An error as "<user code>/<server code>", "" without one; the service's by default.
  std::string Error(const INAError* error = nullptr) const {
    const auto* e = static_cast<const CNAError*>(error != nullptr ? error : m_pService->piGetLastError());
    if (e->dwGetErrorId() == 0) return "";
    return std::to_string(e->dwGetErrorId()) + "/" + std::to_string(e->dwGetDataBaseErrorCode());
  }
  std::wstring T() const { return Wide(m_strTable); }
  // The rows of stmt, "|" between columns and ";" between rows, read through bFetch and bGetRow.
  std::wstring Rows(int stmt) {
    std::wstring out;
    while (m_pService->bFetch(m_nCnx, stmt, 0)) {
      CAny row;
      EXPECT_TRUE(m_pService->bGetRow(&row, m_nCnx, stmt, L"|", 0, 0));
      out += (out.empty() ? L"" : L";") + Show(row);
    }
    return out;
  }

  CNADriverSQL* m_pService = nullptr;
  DWORD m_nBaseConnections = 0;
  int m_nCnx = 0;
};

TEST_P(LiveService, OpensAreNeverSharedAndAnUpdateIsSeenByAnotherSession) {
  const int other = OpenOne();
  std::wstring ids[2];
  for (int i : {0, 1}) {
    CNAConnectionDescription* c = m_driver.pclGetConnectionByID(i == 0 ? m_nCnx : other);
    ASSERT_TRUE(c != nullptr && c->bIsSQLService() && c->bIsOpen());
    ids[i] = c->pszGetIdentification();
    m_driver.nReleaseConnection(c);
  }
  const size_t at = ids[0].rfind(L";SQLConnecte") + 12;
  EXPECT_EQ(ids[0].substr(0, at), ids[1].substr(0, at));
  EXPECT_EQ(std::stoi(ids[1].substr(at)), std::stoi(ids[0].substr(at)) + 1);

  EXPECT_EQ(Exec(L"CREATE TABLE " + T() + L" (id INT PRIMARY KEY, v INT)"), 0);
  EXPECT_EQ(Exec(L"INSERT INTO " + T() + L" VALUES (1, 10), (2, 20)"), 0);
  EXPECT_EQ(Exec(L"UPDATE " + T() + L" SET v = v + 1 WHERE id = 2"), 0);
  EXPECT_EQ(LiveConnection::Rows("SELECT v FROM " + m_strTable + " ORDER BY id", true), "10|21");
  const int stmt = Exec(other, L"SELECT v FROM " + T() + L" ORDER BY id");
  EXPECT_EQ(Rows(stmt), L"10;21");
  EXPECT_TRUE(m_pService->bFreeStmt(other, stmt, 0) && m_pService->bCloseConnection(other));
}

TEST_P(LiveService, MixedResultIsReadExactly) {
  // The second session writes in utf8mb4; the driver's session reads in its own code page.
  const std::string text3 = Unicode() ? "\xF0\x9F\x98\x80 \xE4\xB8\xAD" : "\xC3\xA9\xE2\x82\xAC";
  const std::wstring wide3 = Unicode() ? L"\U0001F600 \u4e2d" : L"\u00e9\u20ac";
  const std::wstring bytes = Hex(0, 256);
  std::string err;
  ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_strTable +
                             " (id INT PRIMARY KEY, txt VARCHAR(20) CHARACTER SET utf8mb4, bin BLOB, n BIGINT)",
                         &err)) << err;
  ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_strTable + " VALUES (1, 'a''b\\\\c', X'" +
                             std::string(bytes.begin(), bytes.end()) + "', NULL), (2, NULL, '', 7), (3, '" +
                             text3 + "', NULL, -9223372036854775808)",
                         &err)) << err;
  const int stmt = Exec(L"SELECT id, txt, bin, n FROM " + T() + L" ORDER BY id");
  ASSERT_NE(stmt, 0);
  int count = 0;
  EXPECT_TRUE(m_pService->bGetColumnNbr(&count, m_nCnx, stmt, 0));
  EXPECT_EQ(count, 4);
  CAny name, list;
  std::wstring names;
  for (unsigned int c = 1; c <= 4; ++c)
    names += (m_pService->bGetColumnName(&name, m_nCnx, stmt, c, 0) ? Show(name) : L"?") + L",";
  EXPECT_TRUE(m_pService->bGetColumnList(&list, m_nCnx, stmt, 0));
  EXPECT_EQ(names + Show(list), L"id,txt,bin,n,id\r\ntxt\r\nbin\r\nn");

  const struct {
    std::wstring id, txt, bin, n, row;  // row: the first two columns
  } want[] = {
      {L"1", L"a'b\\c", bytes, L"NULL", L"1|a'b\\c"},
      {L"2", L"NULL", L"", L"7", L"2|"},
      {L"3", wide3, L"NULL", L"-9223372036854775808", L"3|" + wide3},
  };
  for (const auto& row : want) {
    ASSERT_TRUE(m_pService->bFetch(m_nCnx, stmt, 0)) << row.id;
    CAny id, txt, bin, n, whole;
    EXPECT_TRUE(m_pService->bGetValue(&id, m_nCnx, stmt, 1, 0) && m_pService->bGetValue(&txt, m_nCnx, stmt, 2, 0) &&
                m_pService->bGetBLOBValue(&bin, m_nCnx, stmt, 3, 0) && m_pService->bGetValue(&n, m_nCnx, stmt, 4, 0) &&
                m_pService->bGetRow(&whole, m_nCnx, stmt, L"|", 2, 0));
    EXPECT_EQ(std::vector({Show(id), Show(txt), Show(bin), Show(n), Show(whole)}),
              std::vector({row.id, row.txt, row.bin, row.n, row.row}));
  }
  CAny after;
  EXPECT_FALSE(m_pService->bFetch(m_nCnx, stmt, 0));
  EXPECT_FALSE(m_pService->bGetValue(&after, m_nCnx, stmt, 1, 0));
  EXPECT_TRUE(m_pService->bFreeStmt(m_nCnx, stmt, 0));
}

TEST_P(LiveService, FailingTextLeavesTheServerErrorAndNeverTheKey) {
  const int stmt = Exec(L"SELECT 1");
  int failed = -1;
  EXPECT_FALSE(m_pService->bExecute(&failed, m_nCnx, L"SELEC 1", nullptr, 0));
  EXPECT_EQ(std::tuple(failed, Error()), std::tuple(0, std::string("22/1064")));
  INAError* error = nullptr;
  ASSERT_TRUE(m_pService->bGetStmtLastError(&error, m_nCnx, stmt) && error != nullptr);
  EXPECT_EQ(Error(error), "22/1064");
  // The identification holds the password: no report may show it.
  const std::wstring dump = error->pszGetError();
  EXPECT_EQ(dump.find(Wide(m_server.password)), std::wstring::npos) << dump;
  EXPECT_EQ(dump.find(L"SQLConnecte"), std::wstring::npos) << dump;
  EXPECT_NE(dump.find(L"SELEC 1"), std::wstring::npos) << dump;
  EXPECT_TRUE(m_pService->bFetch(m_nCnx, stmt, 0));  // a statement operation starts clean
  EXPECT_EQ(error->dwGetErrorId(), 0u);
  m_pService->bFreeStmt(m_nCnx, stmt, 0);
}

TEST_P(LiveService, TransactionsNestUnderOneNameAndEndAsTheSecondSessionSees) {
  Exec(L"CREATE TABLE " + T() + L" (v CHAR(1)) ENGINE=InnoDB");
  // B begin, a / b insert, C commit, R roll back, X a commit refused (the shared name is the outer
  // transaction's, which cannot end before the nested one: error 10); the rows a second session
  // sees after the script
  const std::pair<const char*, const char*> rows[] = {
      {"BaR", ""}, {"BaC", "a"}, {"BaBbRC", "a"}, {"BaBbXRC", "a"}, {"BaBbRRC", ""}};
  for (const auto& [steps, want] : rows) {
    Exec(L"DELETE FROM " + T());
    for (const char* s = steps; *s != 0; ++s) {
      const BOOL ok = *s == 'B'   ? m_pService->bTrsBegin(nullptr, m_nCnx, 0)
                      : *s == 'C' ? m_pService->bTrsCommit(m_nCnx, 0, 0)
                      : *s == 'X' ? !m_pService->bTrsCommit(m_nCnx, 0, 0) && Error() == "10/0"
                      : *s == 'R' ? m_pService->bTrsRollBack(m_nCnx, 0, 0)
                                  : Exec(L"INSERT INTO " + T() + L" VALUES ('" + wchar_t(*s) + L"')") == 0;
      ASSERT_TRUE(ok) << steps << " " << *s << " " << Error();
    }
    EXPECT_EQ(LiveConnection::Rows("SELECT v FROM " + m_strTable + " ORDER BY v", true), want) << steps;
  }
}

TEST_P(LiveService, OneValueQueriesAndIgnoredResults) {
  CMySQLConnection* cnx = m_pCnx.get();
  const std::wstring none = L"SELECT 1 FROM DUAL WHERE 1 = 0";
  const struct {
    int column;
    std::wstring sql;
    BOOL ok;
    std::wstring value, text;  // through bGetRequestedValue, bGetRequestedValueString
    std::string error;
  } rows[] = {
      {1, L"SELECT 42, 'x'", TRUE, L"x", L"x", ""},
      {0, L"SELECT 42, 'x'", TRUE, L"42", L"42", ""},
      {0, L"SELECT NULL", TRUE, L"NULL", L"", ""},
      {0, none, TRUE, L"keep", L"keep", ""},
      {2, L"SELECT 42, 'x'", FALSE, L"keep", L"keep", "50/0"},
      {0, L"SELEC 1", FALSE, L"keep", L"keep", "22/1064"},
  };
  for (const auto& row : rows) {
    CAny value = FromText(ZV_DSTRW, L"keep");
    CTString text(L"keep");
    EXPECT_EQ(cnx->bGetRequestedValue(&m_error, &value, row.column, row.sql.c_str()), row.ok);
    EXPECT_EQ(Error(&m_error), row.error) << row.sql;
    m_error.Reset();
    EXPECT_EQ(cnx->bGetRequestedValueString(&m_error, &text, row.column, row.sql.c_str()), row.ok);
    m_error.Reset();
    EXPECT_EQ(std::tuple(Show(value), std::wstring(text.pszGet())), std::tuple(row.value, row.text)) << row.sql;
  }
  // Rows and further results are read and dropped: the next text finds the connection ready.
  const std::wstring ignored[] = {Numbers(1000), L"SELECT 1; SELECT 2; DO 3", none};
  for (const std::wstring& sql : ignored) {
    EXPECT_TRUE(cnx->bExecuteQueryIgnoreResult(&m_error, sql.c_str())) << m_error.pszGetError();
    EXPECT_EQ(LiveConnection::Rows("SELECT 7"), "7");
  }
  EXPECT_FALSE(cnx->bExecuteQueryIgnoreResult(&m_error, L"SELECT 1; SELEC 2"));
  EXPECT_EQ(Error(&m_error), "22/1064");
  m_error.Reset();
  // The generic run goes through a statement of the service too.
  auto generic = [&](const std::wstring& sql) {
    return cnx->CNAConnectionDescription::bExecuteQueryNoResult(&m_error, sql.c_str());
  };
  EXPECT_TRUE(generic(L"CREATE TABLE " + T() + L" (v INT)"));
  EXPECT_TRUE(generic(L"INSERT INTO " + T() + L" VALUES (5)"));
  EXPECT_EQ(LiveConnection::Rows("SELECT v FROM " + m_strTable, true), "5");
  EXPECT_FALSE(generic(L"SELEC 1"));
  EXPECT_EQ(Error(&m_error), "22/1064");
  m_error.Reset();
  EXPECT_EQ(cnx->nGetRefCount(), 1u);  // every statement gave its reference back
}

// A statement left on a closed connection held its server session open until it was freed.
TEST_P(LiveService, CloseEndsTheSessionWhileAStatementIsLeft) {
  const int id = Exec(L"SELECT CONNECTION_ID()");
  ASSERT_TRUE(m_pService->bFetch(m_nCnx, id, 0));
  CAny session;
  ASSERT_TRUE(m_pService->bGetValue(&session, m_nCnx, id, 1, 0));
  const std::wstring sessionId = Show(session);
  m_pService->bFreeStmt(m_nCnx, id, 0);
  const int stmt = Exec(Numbers(3));
  CNAConnectionDescription* cnx = m_driver.pclGetConnectionByID(m_nCnx);
  ASSERT_NE(cnx, nullptr);
  EXPECT_TRUE(m_pService->bCloseConnection(m_nCnx));
  EXPECT_FALSE(cnx->bIsOpen());
  const std::string alive = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " +
                            std::string(sessionId.begin(), sessionId.end());
  std::string count = "1";
  for (int i = 0; i < 100 && count != "0"; ++i) {  // the server ends the session when it reads the quit
    count = LiveConnection::Rows(alive, true);
    if (count != "0") std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(count, "0");
  EXPECT_EQ(Rows(stmt), L"1;2;3");  // stored rows stay readable
  int unused = -7;
  EXPECT_FALSE(m_pService->bExecute(&unused, m_nCnx, L"SELECT 1", nullptr, 0));  // the number is closed
  EXPECT_FALSE(m_pService->bTrsBegin(nullptr, m_nCnx, 0));
  CAny value;
  EXPECT_FALSE(cnx->bGetRequestedValue(&m_error, &value, 0, L"SELECT 1"));  // needs the server
  EXPECT_EQ(std::tuple(unused, m_error.dwGetErrorId()), std::tuple(-7, 14u));
  m_error.Reset();
  m_driver.nReleaseConnection(cnx);
  EXPECT_TRUE(m_pService->bFreeStmt(m_nCnx, stmt, 0));
}

// The statement's own release of its connection never let a closed connection leave the registry.
TEST_P(LiveService, ClosedConnectionLeavesWithItsLastStatement) {
  const int first = Exec(Numbers(2)), second = Exec(Numbers(2));
  EXPECT_TRUE(m_pService->bCloseConnection(m_nCnx));
  EXPECT_EQ(m_driver.dwGetConnectionCount(), m_nBaseConnections + 1);
  EXPECT_TRUE(m_pService->bFreeStmt(m_nCnx, first, 0));
  EXPECT_EQ(m_driver.dwGetConnectionCount(), m_nBaseConnections + 1);
  EXPECT_EQ(Rows(second), L"1;2");
  EXPECT_TRUE(m_pService->bFreeStmt(m_nCnx, second, 0));
  EXPECT_EQ(m_driver.dwGetConnectionCount(), m_nBaseConnections);
  EXPECT_EQ(m_host.nGetRefCount(), 1);  // the fixture's own connection only
}

TEST_P(LiveService, FourThreadsEachOnItsConnectionLeaveNothing) {
  constexpr int kThreads = 4, kRounds = 40;
  std::vector<int> numbers, good(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) numbers.push_back(OpenOne());
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      const int cnx = numbers[static_cast<size_t>(t)];
      for (int r = 0; r < kRounds; ++r) {
        int stmt = 0, rows = 0, sum = 0;
        if (!m_pService->bExecute(&stmt, cnx, Numbers(t + 2).c_str(), nullptr, 0) || stmt == 0) continue;
        for (; m_pService->bFetch(cnx, stmt, 0); ++rows) {
          CAny v;
          if (m_pService->bGetValue(&v, cnx, stmt, 1, 0)) sum += std::stoi(Show(v));
        }
        m_pService->bFreeStmt(cnx, stmt, 0);
        good[static_cast<size_t>(t)] += rows == t + 2 && sum == (t + 2) * (t + 3) / 2;
      }
      m_pService->bCloseConnection(cnx);
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(good, std::vector<int>(kThreads, kRounds));
  EXPECT_EQ(m_pService->dwGetStatementCount(), 0u);
  EXPECT_EQ(m_driver.dwGetConnectionCount(), m_nBaseConnections + 1);
  EXPECT_EQ(std::tuple(m_pService->nGetRef(), m_pService->nGetExternalRef()), std::tuple(1, 1));
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveService,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

// Row locks wait a second each: one code page and mode is enough.
class LiveServiceLocks : public LiveService {};

TEST_P(LiveServiceLocks, LocksHoldRowsUntilTheCommitAndOnlyInsideATransaction) {
  Exec(L"CREATE TABLE " + T() + L" (id INT PRIMARY KEY, v INT) ENGINE=InnoDB");
  Exec(L"INSERT INTO " + T() + L" VALUES (1, 0), (2, 0)");
  std::string err;
  ASSERT_TRUE(m_raw.exec("SET SESSION innodb_lock_wait_timeout = 1", &err)) << err;
  const std::string update = "UPDATE " + m_strTable + " SET v = v + 1 WHERE id = 1";
  const std::wstring missing = T() + L"_missing";
  const std::pair<const char*, std::function<BOOL(const std::wstring&)>> forms[] = {
      {"table", [&](const std::wstring& t) { return m_pService->bSQLBloqueTable(m_nCnx, t.c_str(), 0); }},
      {"query", [&](const std::wstring& t) {
         return m_pService->bSQLBloqueRequete(m_nCnx, (L"SELECT * FROM " + t + L" WHERE id = 1").c_str(), 0);
       }},
  };
  for (const auto& [form, lock] : forms) {
    // Outside a transaction nothing is sent: a missing table would give the server's 1146.
    EXPECT_FALSE(lock(missing)) << form;
    const wchar_t* name = m_pService->piGetLastError()->pszGetLogicalTableName();
    EXPECT_EQ(std::tuple(Error(), std::wstring(name != nullptr ? name : L"")),
              std::tuple(std::string("29/0"), std::string(form) == "table" ? missing : L""))
        << form;
    EXPECT_TRUE(m_raw.exec(update, &err)) << form << " " << err;
    ASSERT_TRUE(m_pService->bTrsBegin(nullptr, m_nCnx, 0));
    ASSERT_TRUE(lock(T())) << form << " " << Error();
    const int count = Exec(L"SELECT COUNT(*) FROM " + T());  // the lock's rows left nothing behind
    EXPECT_EQ(Rows(count), L"2") << form;
    m_pService->bFreeStmt(m_nCnx, count, 0);
    EXPECT_FALSE(m_raw.exec(update, &err)) << form;
    EXPECT_EQ(m_raw.lastErrno(), 1205u) << form << " " << err;
    ASSERT_TRUE(m_pService->bTrsCommit(m_nCnx, 0, 0));
    EXPECT_TRUE(m_raw.exec(update, &err)) << form << " " << err;
  }
}

INSTANTIATE_TEST_SUITE_P(OneCodePage, LiveServiceLocks,
                         ::testing::Values(std::tuple(65001, false)));

}  // namespace

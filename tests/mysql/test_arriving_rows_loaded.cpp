// A whole result longer than the rows taken before the read answers goes on arriving while the
// host reads, through the loaded driver and the fault client in both host code pages: the host
// must meet every row once, in the server's order, or an error; never a short result as success.
#include <functional>
#include <string>
#include <vector>

#include "driver/inadriversql.h"
#include "host/host_queryexecution.h"
#include "tests/mysql/fault_bench.h"
#include "tests/support/host_text.h"

namespace {

class ArrivingLoaded : public FaultBench, public testing::WithParamInterface<int> {
 protected:
  static constexpr int kMany = 4000;
  void SetUp() override {
    FaultBench::SetUp();
    if (HasFatalFailure()) return;
    Rebuild();
    std::string err, values;
    for (int id = kRows + 1; id <= kMany; ++id) values += (id > kRows + 1 ? "," : "") + Literal(Initial(id));
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_table + " VALUES " + values, &err)) << err;
  }
  CHostConnectionDescription* Open() {
    return Host(std::string(";QX Cache Size=-1;QX Unicode Support=") + (GetParam() == 65001 ? "1" : "0"));
  }
  // A file of the table on host, opened.
  INATable* File(CHostConnectionDescription* host, INAContext* ctx) {
    if (!m_loader.bOpenConnection(host)) return ADD_FAILURE() << Short(m_driver->piGetLastError()->pszGetError()), nullptr;
    INATable* t = m_loader.piGetTable(host, &m_desc);
    if (t == nullptr || !t->bHOuvre(ctx, kReadWrite, nullptr)) return ADD_FAILURE() << "no file", t;
    return t;
  }
  std::string Error(INATable* t, INAContext* ctx) { return Short(t->piGetLastError(ctx)->pszGetError()); }
  // Reads on from the current record in dir until the end or a failure; the ids read, each
  // checked against what the table holds. *failed: the error of a failed read ("" at the end).
  std::vector<int> ReadOn(INATable* t, INAContext* ctx, eNA_PARSEDIRECTION dir, std::string* failed) {
    std::vector<int> ids;
    failed->clear();
    for (;;) {
      if (!Read(t, ctx, dir)) {
        *failed = Error(t, ctx);
        return ids;
      }
      int out = 0;
      if (!t->bHEnDehors(ctx, L"id", &out) || out != 0) return ids;
      const std::optional<BenchRow> row = Current(t, ctx);
      if (!row || *row != Initial(row->id)) {
        ADD_FAILURE() << "a row unlike the table's after " << ids.size();
        return ids;
      }
      ids.push_back(row->id);
    }
  }
  // The SQL functions' interface; its statements' first column of each row fetched, up to n rows
  // (-1: to the end). *failed: the error of a failed fetch ("" at the end).
  INADriverSQL* Service() { return static_cast<INADriverSQL*>(m_driver->piGetInterface(1)); }
  static std::vector<std::string> Fetch(INADriverSQL* sql, int cnx, int stmt, long n, std::string* failed,
                                        unsigned int column = 1) {
    std::vector<std::string> out;
    failed->clear();
    for (; n < 0 || static_cast<long>(out.size()) < n;) {
      if (!sql->bFetch(cnx, stmt, 0)) {
        INAError* error = nullptr;
        sql->bGetStmtLastError(&error, cnx, stmt);
        *failed = error != nullptr ? Short(error->pszGetError()) : "?";
        // The end of the rows leaves an error of no code.
        if (*failed == "0/0") failed->clear();
        return out;
      }
      CAny value;
      out.push_back(sql->bGetValue(&value, cnx, stmt, column, 0) ? DecodedAny(value) : "<unread>");
    }
    return out;
  }
  // A long result that stalls at row stall for seconds: its first rows come at once.
  static std::wstring Stalling(int rows, int stall, double seconds) {
    return WideOf("SELECT seq, CONNECTION_ID(), REPEAT('x', 200) FROM seq_1_to_" + std::to_string(rows) +
                  " WHERE IF(seq = " + std::to_string(stall) + ", SLEEP(" + std::to_string(seconds) + ") = 0, 1)");
  }
  static std::vector<std::string> Texts(int from, int to) {
    std::vector<std::string> out;
    for (int id = from; id <= to; ++id) out.push_back(std::to_string(id));
    return out;
  }
  static std::vector<int> Ids(int from, int to) {
    std::vector<int> out;
    for (int id = from; from <= to ? id <= to : id >= to; id += from <= to ? 1 : -1) out.push_back(id);
    return out;
  }
};

INSTANTIATE_TEST_SUITE_P(Pages, ArrivingLoaded, testing::Values(1252, 65001));

TEST_P(ArrivingLoaded, EveryRowOnceInEitherDirection) {
  CHostConnectionDescription* host = Open();
  CHostContext ctx{1, 1};
  INATable* t = File(host, &ctx);
  ASSERT_NE(t, nullptr);
  std::string failed;
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << Error(t, &ctx);
  std::vector<int> ids = ReadOn(t, &ctx, NA_PARSE_NEXT, &failed);
  ids.insert(ids.begin(), 1);
  EXPECT_EQ(ids, Ids(1, kMany));
  EXPECT_EQ(failed, "");
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_LAST)) << Error(t, &ctx);
  ids = ReadOn(t, &ctx, NA_PARSE_PREVIOUS, &failed);
  ids.insert(ids.begin(), kMany);
  EXPECT_EQ(ids, Ids(kMany, 1));
  CloseFile(t, &ctx, host);
}

TEST_P(ArrivingLoaded, OtherFilesOfTheConnectionRunWhileRowsArrive) {
  CHostConnectionDescription* host = Open();
  CHostContext ctx{1, 1}, other{2, 1};
  INATable* t = File(host, &ctx);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << Error(t, &ctx);
  INATable* u = File(host, &other);
  ASSERT_NE(u, nullptr);
  // Writes and reads of a second file on the same session, inside a transaction of the host's.
  ASSERT_TRUE(m_driver->bTransactionBegin(host, L"work"));
  const BenchRow added{kMany + 1, "added", 1};
  EXPECT_TRUE(SetCurrent(u, &other, added) && u->bHAjoute(&other, 0, eNA_LOCKTYPE{0})) << Error(u, &other);
  EXPECT_TRUE(Read(u, &other, NA_PARSE_LAST)) << Error(u, &other);
  EXPECT_EQ(Current(u, &other), added);
  EXPECT_TRUE(m_driver->bTransactionCommit(host, L"work"));
  // The first file's rows are those its read found.
  std::string failed;
  std::vector<int> ids = ReadOn(t, &ctx, NA_PARSE_NEXT, &failed);
  EXPECT_EQ(ids, Ids(2, kMany));
  EXPECT_EQ(failed, "");
  EXPECT_TRUE(u->bHFerme(&other));
  m_driver->bCloseContext(&other);
  // The same file's object in a second context: its last release is the first file's.
  u->nExternalRelease();
  CloseFile(t, &ctx, host);
}

TEST_P(ArrivingLoaded, ServerLostWhileRowsArriveFailsTheReadsThatFollow) {
  CHostConnectionDescription* host = Open();
  CHostContext ctx{1, 1};
  INATable* t = File(host, &ctx);
  ASSERT_NE(t, nullptr);
  // A fetch well past the rows the read waits for, taken while the host reads.
  m_fault.arm(2500, 0);
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << Error(t, &ctx);
  std::string failed;
  std::vector<int> ids = ReadOn(t, &ctx, NA_PARSE_NEXT, &failed);
  EXPECT_TRUE(m_fault.fired());
  EXPECT_EQ(m_fault.Call(2500), "mysql_fetch_row");
  EXPECT_EQ(failed.substr(failed.find('/')), "/2013");
  EXPECT_LT(ids.size(), static_cast<size_t>(kMany - 1));
  EXPECT_EQ(ids, Ids(2, static_cast<int>(ids.size()) + 1));
  // No read of the broken result answers a row; a new read of the file answers the server's.
  EXPECT_FALSE(Read(t, &ctx, NA_PARSE_LAST) && Current(t, &ctx) != Initial(kMany)) << Error(t, &ctx);
  m_fault.arm(0, 0);
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << Error(t, &ctx);
  ids = ReadOn(t, &ctx, NA_PARSE_NEXT, &failed);
  EXPECT_EQ(ids, Ids(2, kMany)) << failed;
  CloseFile(t, &ctx, host);
}

// The session ended by the server while the rest of a long result arrives.
TEST_P(ArrivingLoaded, SessionKilledWhileRowsArriveFailsTheReadAndTheNextStatementRuns) {
  CHostConnectionDescription* host = Open();
  INADriverSQL* sql = Service();
  int cnx = 0, stmt = 0, next = 0;
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  ASSERT_TRUE(sql->bOpenConnection(&cnx, host));
  ASSERT_TRUE(sql->bExecute(&stmt, cnx, Stalling(3000, 2500, 30).c_str(), nullptr, 0));
  std::string failed;
  EXPECT_EQ(Fetch(sql, cnx, stmt, 1, &failed), Texts(1, 1));
  const std::vector<std::string> session = Fetch(sql, cnx, stmt, 1, &failed, 2);
  ASSERT_EQ(session.size(), 1u) << failed;
  std::string err;
  ASSERT_TRUE(m_raw.exec("KILL " + session[0], &err)) << err;
  const std::vector<std::string> rest = Fetch(sql, cnx, stmt, -1, &failed);
  EXPECT_LT(rest.size(), 2497u);
  EXPECT_NE(failed, "");
  // Read again from the first row, the broken result answers no row.
  EXPECT_TRUE(Fetch(sql, cnx, stmt, -1, &failed).empty());
  EXPECT_NE(failed, "");
  // As after any loss of an idle session, the first text may meet the loss once more.
  if (!sql->bExecute(&next, cnx, L"SELECT 7", nullptr, 0)) {
    EXPECT_EQ(Short(sql->piGetLastError()->pszGetError()), "22/2006");
    EXPECT_TRUE(sql->bExecute(&next, cnx, L"SELECT 7", nullptr, 0)) << Short(sql->piGetLastError()->pszGetError());
  }
  EXPECT_EQ(Fetch(sql, cnx, next, -1, &failed), std::vector<std::string>{"7"}) << failed;
  for (int s : {stmt, next}) sql->bFreeStmt(cnx, s, 0);
  EXPECT_TRUE(sql->bCloseConnection(cnx));
  EXPECT_EQ(sql->nExternalRelease(), 0);
  EXPECT_TRUE(m_driver->bCloseConnection(host));
}

// The host may end the driver while a statement's rows still arrive: nothing of the driver may
// run after its end.
TEST_P(ArrivingLoaded, DriverEndedWhileRowsArriveRunsNothingOfItAfterwards) {
  // The child starts afresh: a fork of a process with threads may find a lock held.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto run = [&] {
        CHostConnectionDescription* host = Open();
        INADriverSQL* sql = Service();
        int cnx = 0, stmt = 0;
        if (!sql->bOpenConnection(&cnx, host) || !sql->bExecute(&stmt, cnx, Stalling(3000, 2500, 1).c_str(), nullptr, 0))
          _exit(2);
        std::string failed;
        if (Fetch(sql, cnx, stmt, 1, &failed) != Texts(1, 1)) _exit(3);
        m_loader.Stop();
        m_loader.~CHostLoader();
        new (&m_loader) CHostLoader();
        usleep(1500000);
        _exit(0);
      };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

// A fetch of the rows' thread fails on every road that takes a whole result (a file, the host's
// parsed query with and without its row cache, the same query sent as written), each browsed from
// either end: a browse answers the rows in the server's order up to an error, never fewer rows as
// a whole result; a LAST read and a count answer the server's last row and count or fail. A
// query's run waits for all its rows (the run reads more of the connection after its SELECT): the
// failure fails the run itself, with the error.
TEST_P(ArrivingLoaded, EveryRoadMeetsAFailedFetchOfTheArrivingRowsAsAnError) {
  constexpr unsigned int kNoRowCache = 0x10000;
  // Execution flag of a query sent as written.
  constexpr unsigned int kAsWritten = 4;
  for (const int road : {0, 1, 2})
    for (const unsigned int flags : {0u, kNoRowCache})
      for (const bool backward : {false, true}) {
        const bool query = road != 0;
        if (!query && flags != 0) continue;
        SCOPED_TRACE(std::string(road == 0 ? "file" : road == 1 ? "query" : "query as written") +
                     (flags != 0 ? ", no row cache" : "") + (backward ? ", backward" : ", forward"));
        CHostConnectionDescription* host = Open();
        CHostContext ctx{1, 1};
        ASSERT_TRUE(m_loader.bOpenConnection(host));
        INATable* t = nullptr;
        ISQLParserInformation* parse = query ? Parse() : nullptr;
        m_fault.arm(2500, 0);
        if (query) {
          CHostQueryExecution execution(0, L"id");
          if (!m_driver->bHExecuteRequeteSQLEx(&t, &ctx, L"QARRIVE", host, parse, road == 2 ? kAsWritten : 0,
                                               &execution)) {
            EXPECT_NE(Short(m_driver->piGetLastError()->pszGetError()), "");
          }
        } else {
          t = File(host, &ctx);
        }
        const auto read = [&](eNA_PARSEDIRECTION dir) {
          return t->bHLitxxx(&ctx, L"id", dir, 1, eNA_LOCKTYPE{0}, nullptr, flags);
        };
        // Read from the end given, as far as the rows go: a prefix of the whole, shorter only by
        // an error.
        const auto browse = [&](bool down) {
          std::vector<int> ids;
          std::string failed;
          for (eNA_PARSEDIRECTION dir = down ? NA_PARSE_LAST : NA_PARSE_FIRST;;
               dir = down ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT) {
            if (!read(dir)) {
              failed = Error(t, &ctx);
              break;
            }
            int out = 0;
            if (!t->bHEnDehors(&ctx, L"id", &out) || out != 0) break;
            const std::optional<BenchRow> row = Current(t, &ctx);
            if (!row || *row != Initial(row->id)) return ADD_FAILURE() << "a row unlike the table's", ids.size();
            ids.push_back(row->id);
          }
          const std::vector<int> all = down ? Ids(kMany, 1) : Ids(1, kMany);
          EXPECT_EQ(ids, std::vector<int>(all.begin(), all.begin() + static_cast<long>(std::min(ids.size(), all.size()))));
          EXPECT_EQ(ids.size() == all.size(), failed.empty()) << ids.size() << " rows, " << failed;
          return ids.size();
        };
        if (t != nullptr) {
          browse(backward);
          EXPECT_TRUE(m_fault.fired());
          m_fault.arm(0, 0);
          long long count = -1;
          if (t->bHNbEnr(&ctx, &count, 16, 0)) {
            EXPECT_EQ(count, kMany);
          }
          if (read(NA_PARSE_LAST)) {
            EXPECT_EQ(Current(t, &ctx), Initial(kMany));
          }
          browse(!backward);
        }
        m_fault.arm(0, 0);
        if (query) {
          EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"QARRIVE", host));
          parse->nRelease();
        } else if (t != nullptr) {
          EXPECT_TRUE(t->bHFerme(&ctx));
        }
        m_driver->bCloseContext(&ctx);
        if (t != nullptr) {
          EXPECT_EQ(t->nExternalRelease(), 0);
        }
        EXPECT_TRUE(m_driver->bCloseConnection(host));
      }
}

// The server rolls back the host's transaction for a deadlock met while the rows of its locking
// read still arrive, and the host goes on without reading them (writing on, or first freeing the
// read): its transaction is lost, its next write refused and its commit fails, as when the
// deadlock ends a statement at once.
TEST_P(ArrivingLoaded, DeadlockWhileRowsArriveLosesTheTransactionBeforeTheNextWrite) {
  const std::string heavy = m_table + "_heavy";
  std::string err;
  ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + heavy, &err)) << err;
  ASSERT_TRUE(m_raw.exec("CREATE TABLE " + heavy + " (id INT PRIMARY KEY, v INT) ENGINE=InnoDB", &err)) << err;
  ASSERT_TRUE(m_raw.exec("INSERT INTO " + heavy + " SELECT seq, 0 FROM seq_1_to_20000", &err)) << err;
  for (const bool freed : {false, true}) {
    SCOPED_TRACE(freed ? "read freed first" : "writes on");
    CHostConnectionDescription* host = Open();
    INADriverSQL* sql = Service();
    int cnx = 0, write = 0, rows = 0;
    ASSERT_TRUE(sql->bOpenConnection(&cnx, host));
    const auto run = [&](int* stmt, const std::string& text) {
      return sql->bExecute(stmt, cnx, WideOf(text).c_str(), nullptr, 0);
    };
    ASSERT_TRUE(sql->bTrsBegin(nullptr, cnx, 0));
    ASSERT_TRUE(run(&write, "UPDATE " + m_table + " SET n = -5 WHERE id = " + std::to_string(kMany)));
    // Another session, the heavier to roll back, holds a row the locking read reaches later.
    RawConnection other{m_lib};
    ASSERT_TRUE(other.connect(m_server, RawTransport::Tcp, &err)) << err;
    ASSERT_TRUE(other.exec("BEGIN", &err) && other.exec("UPDATE " + heavy + " SET v = v + 1", &err)) << err;
    RawRows got;
    ASSERT_TRUE(other.query("SELECT id FROM " + m_table + " WHERE id = 3000 FOR UPDATE", &got, &err)) << err;
    ASSERT_TRUE(run(&rows, "SELECT id, REPEAT('x', 200) FROM " + m_table + " ORDER BY id FOR UPDATE"));
    std::string failed;
    EXPECT_EQ(Fetch(sql, cnx, rows, 1, &failed), Texts(1, 1));
    usleep(200000);
    // The other session waits for the host's row: the host's read is the deadlock's victim.
    EXPECT_TRUE(other.query("SELECT id FROM " + m_table + " WHERE id = " + std::to_string(kMany) + " FOR UPDATE",
                            &got, &err))
        << err;
    EXPECT_TRUE(other.exec("ROLLBACK", &err)) << err;
    if (freed) {
      sql->bFreeStmt(cnx, rows, 0);
      rows = 0;
    }
    const BOOL wrote = run(&write, "UPDATE " + m_table + " SET n = -6 WHERE id = 1");
    const BOOL committed = sql->bTrsCommit(cnx, 0, 0);
    if (!committed) sql->bTrsRollBack(cnx, 0, 0);
    RawRows raw;
    ASSERT_TRUE(m_raw.query(
        "SELECT n FROM " + m_table + " WHERE id IN (1, " + std::to_string(kMany) + ") ORDER BY id", &raw, &err))
        << err;
    // None of the answered writes: the first went with the deadlock.
    EXPECT_FALSE(committed);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(raw[0][0].value_or("NULL") + " " + raw[1][0].value_or("NULL"), "10 NULL");
    if (!freed) {
      // The locking read's rows end on the deadlock, read in a transaction begun since: that
      // transaction is not the one the deadlock took.
      ASSERT_TRUE(sql->bTrsBegin(nullptr, cnx, 0));
      EXPECT_LT(Fetch(sql, cnx, rows, -1, &failed).size(), 2999u);
      EXPECT_EQ(failed, "22/1213");
      EXPECT_TRUE(run(&write, "UPDATE " + m_table + " SET n = -7 WHERE id = 2"));
      EXPECT_TRUE(sql->bTrsCommit(cnx, 0, 0));
      ASSERT_TRUE(m_raw.query("SELECT n FROM " + m_table + " WHERE id = 2", &raw, &err)) << err;
      EXPECT_EQ(raw[0][0].value_or("NULL"), "-7");
    }
    for (int stmt : {write, rows})
      if (stmt != 0) sql->bFreeStmt(cnx, stmt, 0);
    EXPECT_TRUE(sql->bCloseConnection(cnx));
    EXPECT_EQ(sql->nExternalRelease(), 0);
  }
  m_raw.exec("DROP TABLE IF EXISTS " + heavy, &err);
}

}  // namespace

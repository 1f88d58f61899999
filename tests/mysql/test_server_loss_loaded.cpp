// The driver's session ended while a call waits on the server, through the loaded driver in both
// host code pages: a raw connection holds a lock the call needs, and a second one ends the
// waiting statement (KILL QUERY) or its whole session (KILL). Reads (a whole result, the next block
// of a browse, a seek, a count), writes (modify, delete, the delete-all of a table and of a query,
// an SQL-function text), writes pending in a transaction when its session goes, and the catalogue
// lists after a KILL. Every answer must say what the server holds, in bounded time, with an error
// naming what happened, and the next call must work.
#include <signal.h>

#include <atomic>
#include <fstream>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "common/xystring.h"
#include "driver/inadriversql.h"
#include "host/host_queryexecution.h"
#include "host/host_sqlparser.h"
#include "platform/information_dll.h"
#include "tests/mysql/own_server_bench.h"
#include "values/any.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class eEnd { kKillQuery, kKill };

bool Lost(const std::string& error) {
  return error.find("/2013") != std::string::npos || error.find("/2006") != std::string::npos;
}

}  // namespace

void PrintTo(const BenchRow& r, std::ostream* os) {
  *os << "(" << r.id << ", " << r.t.value_or("NULL") << ", " << (r.n ? std::to_string(*r.n) : "NULL") << ")";
}

namespace {

class ServerLoss : public FaultBench, public testing::WithParamInterface<std::tuple<int, eEnd>> {
 protected:
  void SetUp() override {
    FaultBench::SetUp();
    if (HasFatalFailure()) return;
    // A database of the test's own tells the driver's sessions apart on the server.
    m_db = m_server.database + "_loss" + std::to_string(getpid());
    std::string err;
    ASSERT_TRUE(m_raw.exec("CREATE DATABASE IF NOT EXISTS " + m_db, &err)) << err;
    ASSERT_TRUE(m_raw.exec("USE " + m_db, &err)) << err;
    m_server.database = m_db;
    ASSERT_TRUE(m_locker.connect(m_server, RawTransport::Tcp, &err)) << err;
    m_rawIds = Ids("CONNECTION_ID()", m_raw) + "," + Ids("CONNECTION_ID()", m_locker);
    Rebuild();
    // The lists and values the driver hands over are the host's strings, freed as the host does.
    CInformationModule::ms_piStrMemAlloc = m_loader.Control()->Allocator();
  }
  void TearDown() override {
    CInformationModule::ms_piStrMemAlloc = nullptr;
    FaultBench::TearDown();
    std::string err;
    m_raw.exec("DROP DATABASE IF EXISTS " + m_db, &err);
  }
  static std::string Ids(const std::string& what, RawConnection& raw) {
    RawRows rows;
    std::string err;
    EXPECT_TRUE(raw.query("SELECT " + what, &rows, &err)) << err;
    return rows.empty() ? "0" : *rows[0][0];
  }
  bool Utf8() const { return std::get<0>(GetParam()) == 65001; }
  eEnd End() const { return std::get<1>(GetParam()); }
  CHostConnectionDescription* Open(const std::string& extra = "") {
    return Host(std::string(";QX Unicode Support=") + (Utf8() ? "1" : "0") + extra);
  }
  // The error a call ended as the parameter says must carry.
  bool Ended(const std::string& error) const { return End() == eEnd::kKill ? Lost(error) : error == "22/1317"; }

  // The driver's sessions in the test's database; busy: only those that have been running one
  // statement for a while, which here only a lock holds up (a statement merely running, seen in
  // a slow build, is not yet where the test means to end it).
  std::vector<std::string> DriverSessions(bool busy) {
    RawRows ids;
    std::string err;
    EXPECT_TRUE(m_raw.query("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = '" + m_db + "' AND ID NOT IN (" +
                                m_rawIds + ") AND COMMAND <> 'Killed'" + (busy ? " AND INFO IS NOT NULL AND TIME_MS >= 250" : ""),
                            &ids, &err))
        << err;
    std::vector<std::string> out;
    for (const RawRow& r : ids) out.push_back(*r[0]);
    return out;
  }
  // KILL of every driver session; false when there was none.
  bool KillDriver() {
    std::string err;
    const std::vector<std::string> ids = DriverSessions(false);
    for (const std::string& id : ids) m_raw.exec("KILL " + id, &err);
    return !ids.empty();
  }
  // Runs call while lock (a raw text taking a lock) holds what it needs; once the driver's
  // statement waits, it is ended as the parameter says, the lock released by unlock. The answer;
  // the call must come back in time.
  BOOL EndedWhileWaiting(const std::string& lock, const std::string& unlock, const std::function<BOOL()>& call) {
    std::string err;
    for (const std::string& text : Split(lock)) EXPECT_TRUE(m_locker.exec(text, &err)) << text << ": " << err;
    std::atomic<bool> done{false};
    BOOL answer = FALSE;
    const Clock::time_point start = Clock::now();
    std::thread caller([&] {
      answer = call();
      done = true;
    });
    bool ended = false;
    while (!ended && !done && Clock::now() - start < std::chrono::seconds(5)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const std::vector<std::string> busy = DriverSessions(true);
      if (busy.size() == 1)
        ended = m_raw.exec((End() == eEnd::kKill ? "KILL " : "KILL QUERY ") + busy[0], &err);
    }
    for (const std::string& text : Split(unlock)) m_locker.exec(text, &err);
    caller.join();
    EXPECT_TRUE(ended) << "the call never waited";
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
    return answer;
  }
  static std::vector<std::string> Split(const std::string& texts) {
    std::vector<std::string> out;
    for (size_t at = 0; at < texts.size();) {
      const size_t end = std::min(texts.find(';', at), texts.size());
      if (end > at) out.push_back(texts.substr(at, end - at));
      at = end + 1;
    }
    return out;
  }
  std::string LockTable() const { return "LOCK TABLES " + m_table + " WRITE"; }
  std::string LockRow(int id) const {
    return "START TRANSACTION;SELECT * FROM " + m_table + " WHERE id = " + std::to_string(id) + " FOR UPDATE";
  }
  std::vector<BenchRow> InitialRows(const std::function<bool(int)>& keep = nullptr) {
    std::vector<BenchRow> rows;
    for (int id = 1; id <= kRows; ++id)
      if (!keep || keep(id)) rows.push_back(Initial(id));
    return rows;
  }
  std::string TableError(INATable* t, INAContext* ctx) { return Short(t->piGetLastError(ctx)->pszGetError()); }
  std::string DriverError() { return Short(m_driver->piGetLastError()->pszGetError()); }
  // A value read by the SQL functions as text.
  static std::string Text(const CAny& value) {
    CAny copy(value);
    CXYString<wchar_t> text;
    copy.__nCastTo(ZV_DSTRW, nullptr, 1);
    copy.__nFillString(text, nullptr);
    return Narrow(text.pszGet());
  }
  // The CR LF lines of a list answered as wide text.
  static std::multiset<std::wstring> Lines(const CAny& any) {
    void* p = nullptr;
    unsigned int n = 0;
    std::multiset<std::wstring> out;
    if (any.wGetTypeWord() != ZV_DSTRW || any.Intern()->nGetDataAdr(&p) != 0 || any.Intern()->nGetUtilDataSize(&n) != 0)
      return out;
    const std::wstring text(static_cast<const wchar_t*>(p), n / sizeof(wchar_t));
    for (size_t at = 0; at < text.size();) {
      const size_t end = std::min(text.find(L"\r\n", at), text.size());
      out.insert(text.substr(at, end - at).substr(0, text.substr(at, end - at).find(L'\t')));
      at = end + 2;
    }
    return out;
  }


  // One road of writes with its transaction entries: a file of the table on the host's
  // connection, or a numbered connection of the SQL functions. Error() is the last write's error,
  // EntryError() the last entry's, each as "<user>/<server>".
  class Lane {
   public:
    Lane(ServerLoss* bench, bool service)
        : m_bench(bench), m_service(service), m_host(bench->Open(";QX Cache Size=15")),
          m_sql(bench->m_driver->piGetInterface(1)) {}
    // Opened, and with a transaction begun when begin says.
    void Open(bool begin) {
      if (m_service) {
        ASSERT_TRUE(m_sql->bOpenConnection(&m_cnx, m_host));
        ASSERT_TRUE(begin ? Begin() : Run("SELECT 1")) << EntryError() << Error();
      } else if (begin) {
        ASSERT_NO_FATAL_FAILURE(m_bench->OpenInTransaction(m_host, &m_ctx, &m_table));
      } else {
        ASSERT_TRUE(m_bench->m_loader.bOpenConnection(m_host)) << m_bench->DriverError();
        m_table = m_bench->m_loader.piGetTable(m_host, &m_bench->m_desc);
        ASSERT_NE(m_table, nullptr);
        ASSERT_TRUE(m_table->bHOuvre(&m_ctx, kReadWrite, nullptr)) << Error();
      }
    }
    // Closed, and every reference the lane took released.
    void Close() {
      if (m_service) {
        if (m_stmt != 0) m_sql->bFreeStmt(m_cnx, m_stmt, 0);
        EXPECT_TRUE(m_sql->bCloseConnection(m_cnx));
      } else {
        m_bench->CloseFile(m_table, &m_ctx, m_host);
      }
      EXPECT_EQ(m_sql->nExternalRelease(), 0);
    }
    BOOL Run(const std::string& text) {
      if (m_stmt != 0) m_sql->bFreeStmt(m_cnx, m_stmt, 0);
      m_stmt = 0;
      return m_sql->bExecute(&m_stmt, m_cnx, WideOf(text).c_str(), nullptr, 0);
    }
    // The row of row.id (the file's record found by reading from the first) given row's values.
    BOOL Modify(const BenchRow& row) {
      if (m_service)
        return Run("UPDATE " + m_bench->m_table + " SET t = " + Quoted(row.t) + ", n = " +
                   (row.n ? std::to_string(*row.n) : "NULL") + " WHERE id = " + std::to_string(row.id));
      return Find(row.id) && m_bench->SetCurrent(m_table, &m_ctx, row) &&
             m_table->bHModifie(&m_ctx, 0, 0, eNA_LOCKTYPE{0});
    }
    BOOL Add(const BenchRow& row) {
      if (m_service) return Run("INSERT INTO " + m_bench->m_table + " VALUES " + Literal(row));
      return m_bench->SetCurrent(m_table, &m_ctx, row) && m_table->bHAjoute(&m_ctx, 0, eNA_LOCKTYPE{0});
    }
    // The row of id deleted, the delete itself run through around when given (the file's record
    // is found before).
    BOOL Delete(int id, const std::function<BOOL(const std::function<BOOL()>&)>& around = nullptr) {
      if (!m_service && !Find(id)) return FALSE;
      const std::function<BOOL()> del = [&] {
        if (m_service) return Run("DELETE FROM " + m_bench->m_table + " WHERE id = " + std::to_string(id));
        return m_table->bHSupprime(&m_ctx, 0, eNA_LOCKTYPE{0});
      };
      return around ? around(del) : del();
    }
    BOOL Begin() {
      return m_service ? m_sql->bTrsBegin(nullptr, m_cnx, 0) : m_bench->m_driver->bTransactionBegin(m_host, L"work");
    }
    BOOL Commit() {
      return m_service ? m_sql->bTrsCommit(m_cnx, 0, 0) : m_bench->m_driver->bTransactionCommit(m_host, L"work");
    }
    BOOL RollBack() {
      return m_service ? m_sql->bTrsRollBack(m_cnx, 0, 0) : m_bench->m_driver->bTransactionRollBack(m_host, L"work");
    }
    std::string Error() {
      return m_service ? Short(m_sql->piGetLastError()->pszGetError()) : m_bench->TableError(m_table, &m_ctx);
    }
    std::string EntryError() {
      return m_service ? Short(m_sql->piGetLastError()->pszGetError()) : m_bench->DriverError();
    }

   private:
    static std::string Quoted(const std::optional<std::string>& t) {
      if (!t) return "NULL";
      std::string q = "'";
      for (char c : *t) q += c == '\'' ? std::string("''") : c == '\\' ? std::string("\\\\") : std::string(1, c);
      return q + "'";
    }
    BOOL Find(int id) {
      for (eNA_PARSEDIRECTION dir = NA_PARSE_FIRST;; dir = NA_PARSE_NEXT) {
        if (!m_bench->Read(m_table, &m_ctx, dir)) return FALSE;
        const std::optional<BenchRow> at = m_bench->Current(m_table, &m_ctx);
        if (!at || at->id > id) return FALSE;
        if (at->id == id) return TRUE;
      }
    }

    ServerLoss* m_bench;
    bool m_service;
    CHostConnectionDescription* m_host;
    INADriverSQL* m_sql;
    int m_cnx = 0, m_stmt = 0;
    INATable* m_table = nullptr;
    CHostContext m_ctx{1, 1};
  };

  std::string m_db, m_rawIds;
  RawConnection m_locker{m_lib};
};

std::string Name(const testing::TestParamInfo<std::tuple<int, eEnd>>& p) {
  return std::to_string(std::get<0>(p.param)) + (std::get<1>(p.param) == eEnd::kKill ? "Kill" : "KillQuery");
}

INSTANTIATE_TEST_SUITE_P(PagesAndEnds, ServerLoss,
                         testing::Combine(testing::Values(1252, 65001), testing::Values(eEnd::kKillQuery, eEnd::kKill)),
                         Name);

// What a KILL of the whole session (or a deadlock, which ends no statement on its own) meets.
class SessionKilled : public ServerLoss {};
INSTANTIATE_TEST_SUITE_P(Pages, SessionKilled,
                         testing::Combine(testing::Values(1252, 65001), testing::Values(eEnd::kKill)),
                         Name);

// A file's read, seek or count ended while its SELECT waits: FALSE with the error, the record
// where it was, and the next call answers from the server.
TEST_P(ServerLoss, AReadEndedWhileItWaitsFailsAndTheNextReadAnswers) {
  const BenchRow seventeen = Initial(17);
  const struct {
    const char* name;
    const char* extra;
    int before;  // rows read before the lock
    std::function<BOOL(INATable*, INAContext*)> call;
    std::function<void(INATable*, INAContext*)> after;
  } rows[] = {
      {"whole result", ";QX Cache Size=-1", 0, [&](INATable* t, INAContext* c) { return Read(t, c, NA_PARSE_FIRST); },
       [&](INATable* t, INAContext* c) {
         ASSERT_TRUE(Read(t, c, NA_PARSE_FIRST)) << TableError(t, c);
         EXPECT_EQ(Current(t, c), Initial(1));
       }},
      {"next block", ";QX Cache Size=15", 15, [&](INATable* t, INAContext* c) { return Read(t, c, NA_PARSE_NEXT); },
       [&](INATable* t, INAContext* c) {
         EXPECT_EQ(Current(t, c), Initial(15));
         ASSERT_TRUE(Read(t, c, NA_PARSE_NEXT)) << TableError(t, c);
         EXPECT_EQ(Current(t, c), Initial(16));
       }},
      {"seek", ";QX Cache Size=15", 3,
       [&](INATable* t, INAContext* c) {
         CAny key;
         key.SetI4(17);
         return t->bHRecherche(c, L"id", &key, 0, 1, eNA_LOCKTYPE{0}, nullptr, 1, 0);
       },
       [&](INATable* t, INAContext* c) {
         EXPECT_EQ(Current(t, c), Initial(3));
         CAny key;
         key.SetI4(17);
         int out = 1;
         ASSERT_TRUE(t->bHRecherche(c, L"id", &key, 0, 1, eNA_LOCKTYPE{0}, nullptr, 1, 0)) << TableError(t, c);
         EXPECT_TRUE(t->bHEnDehors(c, L"id", &out));
         EXPECT_EQ(out, 0);
         EXPECT_EQ(Current(t, c), seventeen);
       }},
      {"count", ";QX Cache Size=15", 3,
       [&](INATable* t, INAContext* c) {
         long long n = -1;
         return t->bHNbEnr(c, &n, 16, 0);
       },
       [&](INATable* t, INAContext* c) {
         long long n = -1;
         ASSERT_TRUE(t->bHNbEnr(c, &n, 16, 0)) << TableError(t, c);
         EXPECT_EQ(n, kRows);
       }},
  };
  // A file of the table, and the host's named query of it (whose whole result is read at its
  // run, before the lock).
  for (const bool query : {false, true})
    for (const auto& row : rows) {
      if (query && row.before == 0) continue;
      SCOPED_TRACE(std::string(query ? "query, " : "file, ") + row.name);
      CHostConnectionDescription* host = Open(row.extra);
      CHostContext ctx(1, 1);
      INATable* t = nullptr;
      ISQLParserInformation* parse = query ? Parse() : nullptr;
      if (query) {
        ASSERT_TRUE(m_loader.bOpenConnection(host)) << DriverError();
        CHostQueryExecution execution(0, L"id");
        ASSERT_TRUE(m_driver->bHExecuteRequeteSQLEx(&t, &ctx, L"QREAD", host, parse, 0, &execution)) << DriverError();
      } else {
        t = m_loader.piGetTable(host, &m_desc);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << TableError(t, &ctx);
      }
      for (int i = 0; i < row.before; ++i) ASSERT_TRUE(Read(t, &ctx, i == 0 ? NA_PARSE_FIRST : NA_PARSE_NEXT));
      const BOOL answer = EndedWhileWaiting(LockTable(), "UNLOCK TABLES", [&] { return row.call(t, &ctx); });
      EXPECT_FALSE(answer);
      EXPECT_TRUE(Ended(TableError(t, &ctx))) << TableError(t, &ctx);
      row.after(t, &ctx);
      if (query) {
        EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"QREAD", host));
        parse->nRelease();
        m_driver->bCloseContext(&ctx);
        EXPECT_EQ(t->nExternalRelease(), 0);
        EXPECT_TRUE(m_driver->bCloseConnection(host));
      } else {
        CloseFile(t, &ctx, host);
      }
    }
}

// A write ended while it waits for a row's lock: FALSE, the server holds the row as it was, and
// the same write then lands.
TEST_P(ServerLoss, AWriteEndedWhileItWaitsFailsLeavesTheRowAndThenLands) {
  BenchRow changed = Initial(1);
  changed.t = "changed'\\";
  changed.n.reset();
  const struct {
    const char* name;
    int locked;
    std::function<BOOL(INATable*, INAContext*)> write;
    std::vector<BenchRow> done;  // the server's rows once the write landed
  } rows[] = {
      {"modify", 1,
       [&](INATable* t, INAContext* c) {
         return SetCurrent(t, c, changed) && t->bHModifie(c, 0, 0, eNA_LOCKTYPE{0});
       },
       [&] {
         std::vector<BenchRow> r = InitialRows();
         r[0] = changed;
         return r;
       }()},
      {"delete", 1, [&](INATable* t, INAContext* c) { return t->bHSupprime(c, 0, eNA_LOCKTYPE{0}); },
       InitialRows([](int id) { return id != 1; })},
      {"delete all", 30, [&](INATable* t, INAContext* c) { return t->bSupprimeTout(c); }, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Rebuild();
    CHostConnectionDescription* host = Open(";QX Cache Size=15");
    INATable* t = m_loader.piGetTable(host, &m_desc);
    ASSERT_NE(t, nullptr);
    CHostContext ctx(1, 1);
    ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << TableError(t, &ctx);
    ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST));
    const BOOL answer =
        EndedWhileWaiting(LockRow(row.locked), "ROLLBACK", [&] { return row.write(t, &ctx); });
    EXPECT_FALSE(answer);
    EXPECT_TRUE(Ended(TableError(t, &ctx))) << TableError(t, &ctx);
    EXPECT_EQ(ServerRows(), InitialRows());
    // The same write again (the delete-all closed the file: opened again).
    if (!t->bIsOpened(&ctx)) {
      ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << TableError(t, &ctx);
    }
    ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST) || Read(t, &ctx, NA_PARSE_FIRST)) << TableError(t, &ctx);
    EXPECT_TRUE(row.write(t, &ctx)) << TableError(t, &ctx);
    EXPECT_EQ(ServerRows(), row.done);
    if (t->bIsOpened(&ctx)) {
      CloseFile(t, &ctx, host);
    } else {
      m_driver->bCloseContext(&ctx);
      EXPECT_EQ(t->nExternalRelease(), 0);
    }
  }
}

// Writes of every kind answered TRUE inside a transaction (the host's on a file, and the SQL
// functions' on a numbered connection), then one ended while it waits: the commit must hold every
// write answered TRUE or answer FALSE with none of them on the server; after a roll-back the
// next write lands alone.
TEST_P(ServerLoss, ATransactionWhoseWriteWasEndedCommitsAllItAnsweredOrNothing) {
  BenchRow changed = Initial(1);
  changed.t = "tx'\\";
  const BenchRow added{1001, "added", 7}, fresh{1002, "fresh", 2};
  for (const bool service : {false, true}) {
    SCOPED_TRACE(service ? "SQL functions" : "file");
    Rebuild();
    Lane lane(this, service);
    ASSERT_NO_FATAL_FAILURE(lane.Open(true));
    // Modify 1, add 1001, then delete 2 waits for its lock and is ended.
    std::vector<BenchRow> answered = InitialRows();
    ASSERT_TRUE(lane.Modify(changed)) << lane.Error();
    answered[0] = changed;
    ASSERT_TRUE(lane.Add(added)) << lane.Error();
    answered.push_back(added);
    EXPECT_FALSE(lane.Delete(2, [&](const std::function<BOOL()>& del) {
      return EndedWhileWaiting(LockRow(2), "ROLLBACK", del);
    }));
    EXPECT_TRUE(Ended(lane.Error())) << lane.Error();
    const BOOL committed = lane.Commit();
    // A KILL QUERY leaves the session and its transaction: the commit holds what was answered.
    EXPECT_EQ(committed, End() == eEnd::kKillQuery) << lane.EntryError();
    if (committed) {
      EXPECT_EQ(ServerRows(), answered);
    } else {
      EXPECT_TRUE(Lost(lane.EntryError())) << lane.EntryError();
      EXPECT_EQ(ServerRows(), InitialRows());
      EXPECT_TRUE(lane.RollBack()) << lane.EntryError();
    }
    // The next write lands at its first try.
    std::vector<BenchRow> want = ServerRows();
    EXPECT_TRUE(lane.Add(fresh)) << lane.Error();
    want.push_back(fresh);
    EXPECT_EQ(ServerRows(), want);
    lane.Close();
  }
}

// Writes of every kind pending in a transaction when its session is killed, before the commit.
TEST_P(SessionKilled, AKillBetweenTheWritesAndTheCommitFailsTheCommitAndLeavesNone) {
  BenchRow changed = Initial(5);
  changed.n = 12345;
  const BenchRow added{1001, "added'", std::nullopt};
  CHostConnectionDescription* host = Open(";QX Cache Size=15");
  CHostContext ctx(1, 1);
  INATable* t = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenInTransaction(host, &ctx, &t));
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST));
  ASSERT_TRUE(t->bHSupprime(&ctx, 0, eNA_LOCKTYPE{0})) << TableError(t, &ctx);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(Read(t, &ctx, NA_PARSE_NEXT)) << TableError(t, &ctx);
  ASSERT_EQ(Current(t, &ctx), Initial(5));
  ASSERT_TRUE(SetCurrent(t, &ctx, changed) && t->bHModifie(&ctx, 0, 0, eNA_LOCKTYPE{0})) << TableError(t, &ctx);
  ASSERT_TRUE(SetCurrent(t, &ctx, added) && t->bHAjoute(&ctx, 0, eNA_LOCKTYPE{0})) << TableError(t, &ctx);
  ASSERT_TRUE(KillDriver());
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(m_driver->bTransactionCommit(host, L"work"));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(Lost(DriverError())) << DriverError();
  EXPECT_EQ(ServerRows(), InitialRows());
  EXPECT_TRUE(m_driver->bTransactionRollBack(host, L"work")) << DriverError();
  // The file reads the server's rows: none of the lost writes comes back from a cache.
  std::vector<BenchRow> read;
  for (eNA_PARSEDIRECTION dir = NA_PARSE_FIRST; read.size() <= kRows; dir = NA_PARSE_NEXT) {
    ASSERT_TRUE(Read(t, &ctx, dir)) << TableError(t, &ctx);
    int out = 0;
    t->bHEnDehors(&ctx, L"id", &out);
    if (out != 0) break;
    read.push_back(*Current(t, &ctx));
  }
  EXPECT_EQ(read, InitialRows());
  AddLandsAloneThenClose(t, &ctx, host, {1002, "after", 4});
}

// The delete-all of a query goes row by row: ended at a row it waits for, it answers FALSE; the
// rows before it are gone, the rest stay, and the next delete-all takes them.
TEST_P(ServerLoss, ADeleteAllOfAQueryEndedAtARowFailsAndKeepsTheRest) {
  ISQLParserInformation* parse = Parse();
  ASSERT_NE(parse, nullptr);
  CHostConnectionDescription* host = Open(";QX Cache Size=15");
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  CHostContext ctx(1, 1);
  INATable* t = nullptr;
  CHostQueryExecution execution(0, L"id");
  ASSERT_TRUE(m_driver->bHExecuteRequeteSQLEx(&t, &ctx, L"QALL", host, parse, 0, &execution)) << DriverError();
  const BOOL deleted = EndedWhileWaiting(LockRow(20), "ROLLBACK", [&] { return t->bSupprimeTout(&ctx); });
  EXPECT_FALSE(deleted);
  EXPECT_TRUE(Ended(TableError(t, &ctx))) << TableError(t, &ctx);
  EXPECT_EQ(ServerRows(), InitialRows([](int id) { return id >= 20; }));
  EXPECT_TRUE(t->bSupprimeTout(&ctx) || t->bSupprimeTout(&ctx)) << TableError(t, &ctx);
  EXPECT_EQ(ServerRows(), std::vector<BenchRow>());
  EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"QALL", host));
  parse->nRelease();
  m_driver->bCloseContext(&ctx);
  EXPECT_EQ(t->nExternalRelease(), 0);
  EXPECT_TRUE(m_driver->bCloseConnection(host));
}

// The catalogue lists of the host's connection and of a numbered one, each right after a KILL of
// the driver's sessions: FALSE naming the lost session, or TRUE with the whole list, never an
// empty or partial list answered TRUE; the same call then answers in full.
TEST_P(SessionKilled, ACatalogueListAfterAKillFailsOrAnswersWhole) {
  CHostConnectionDescription* host = Open();
  ASSERT_TRUE(m_loader.bOpenConnection(host)) << DriverError();
  INADriverSQL* sql = m_driver->piGetInterface(1);
  int cnx = 0;
  ASSERT_TRUE(sql->bOpenConnection(&cnx, Open()));
  const std::wstring table = m_wtable;
  auto hostError = [&] { return DriverError(); };
  auto sqlError = [&] { return Short(sql->piGetLastError()->pszGetError()); };
  // Each call says whether its answer holds what the server holds.
  const struct {
    const char* name;
    std::function<BOOL(bool* whole)> call;
    std::function<std::string()> error;
  } rows[] = {
      {"table list",
       [&](bool* whole) {
         CAny out;
         const BOOL ok = m_driver->bGetTableList(&out, host, 1);
         *whole = Lines(out).count(table) == 1;
         return ok;
       },
       hostError},
      {"database list",
       [&](bool* whole) {
         CXYString<wchar_t> out;
         const BOOL ok = m_driver->bGetDatabaseList(&out, host, 0);
         const std::wstring text = out.pszGet() != nullptr ? out.pszGet() : L"";
         *whole = text.find(WideOf(m_db)) != std::wstring::npos;
         return ok;
       },
       hostError},
      {"table description",
       [&](bool* whole) {
         INADataSourceDescription* desc = m_driver->piGetTableDesc(table.c_str(), host);
         *whole = desc != nullptr && desc->nGetNumItems() == 3;
         if (desc != nullptr) desc->nExternalRelease();
         return desc != nullptr;
       },
       hostError},
      {"table exists",
       [&](bool* whole) {
         int exists = -1;
         const BOOL ok = m_driver->bTableExists(&exists, table.c_str(), host);
         *whole = exists == 1;
         return ok;
       },
       hostError},
      {"numbered table list",
       [&](bool* whole) {
         CAny out;
         const BOOL ok = sql->bGetTableList(&out, cnx, nullptr, 1);
         *whole = Lines(out).count(table) == 1;
         return ok;
       },
       sqlError},
      {"numbered column list",
       [&](bool* whole) {
         CAny out;
         const BOOL ok = sql->bGetColumnList(&out, cnx, table.c_str(), 0);
         *whole = Lines(out).size() == 3;
         return ok;
       },
       sqlError},
      {"numbered table description",
       [&](bool* whole) {
         INADataSourceDescription* desc = sql->piGetTableDesc(cnx, table.c_str(), 0);
         *whole = desc != nullptr && desc->nGetNumItems() == 3;
         if (desc != nullptr) desc->nExternalRelease();
         return desc != nullptr;
       },
       sqlError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(KillDriver());
    bool whole = false;
    const Clock::time_point start = Clock::now();
    const BOOL ok = row.call(&whole);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    if (ok) {
      EXPECT_TRUE(whole);
    } else {
      EXPECT_TRUE(Lost(row.error())) << row.error();
    }
    whole = false;
    EXPECT_TRUE(row.call(&whole)) << row.error();
    EXPECT_TRUE(whole);
  }
  EXPECT_TRUE(sql->bCloseConnection(cnx));
  EXPECT_EQ(sql->nExternalRelease(), 0);
  EXPECT_TRUE(m_driver->bCloseConnection(host));
}

// A numbered connection's text run, its rows fetched and its columns read, each with a KILL
// before: the rows already on the client read right, a call that needs the server fails naming
// the lost session, and the next text runs.
TEST_P(SessionKilled, SQLFunctionsAfterAKillReadWhatTheyHoldAndRunTheNextText) {
  INADriverSQL* sql = m_driver->piGetInterface(1);
  int cnx = 0, stmt = 0;
  ASSERT_TRUE(sql->bOpenConnection(&cnx, Open()));
  auto error = [&] { return Short(sql->piGetLastError()->pszGetError()); };
  const std::wstring select = L"SELECT id, t, n FROM " + m_wtable + L" ORDER BY id";
  // Killed before the text: it fails, the next runs.
  ASSERT_TRUE(KillDriver());
  EXPECT_FALSE(sql->bExecute(&stmt, cnx, select.c_str(), nullptr, 0));
  EXPECT_TRUE(Lost(error())) << error();
  ASSERT_TRUE(sql->bExecute(&stmt, cnx, select.c_str(), nullptr, 0)) << error();
  // Killed between fetches and before column reads: every row and its columns as the server sent.
  std::vector<BenchRow> read;
  for (int i = 0; i < kRows; ++i) {
    // The first KILL ends the session; the rows stay on the client, and no later call reopens it.
    if (i % 10 == 3) {
      EXPECT_EQ(KillDriver(), i == 3);
    }
    if (!sql->bFetch(cnx, stmt, 0)) {
      ADD_FAILURE() << "fetch " << i << ": " << error();
      break;
    }
    CAny id, t, n, names;
    if (!sql->bGetValue(&id, cnx, stmt, 1, 0)) break;
    EXPECT_TRUE(sql->bGetValue(&t, cnx, stmt, 2, 0)) << error();
    EXPECT_TRUE(sql->bGetValue(&n, cnx, stmt, 3, 0)) << error();
    EXPECT_TRUE(sql->bGetColumnList(&names, cnx, stmt, 0)) << error();
    if (id.bIsNull()) break;
    BenchRow r{std::stoi(Text(id)), std::nullopt, std::nullopt};
    if (!t.bIsNull()) r.t = Text(t);
    if (!n.bIsNull()) r.n = std::stoi(Text(n));
    read.push_back(r);
  }
  EXPECT_EQ(read, InitialRows());
  // The end of the rows, not the lost session.
  EXPECT_FALSE(sql->bFetch(cnx, stmt, 0));
  EXPECT_EQ(error(), "0/0");
  EXPECT_TRUE(sql->bFreeStmt(cnx, stmt, 0));
  // The next text meets the lost session; the one after runs on a new one.
  EXPECT_FALSE(sql->bExecute(&stmt, cnx, L"SELECT 1", nullptr, 0));
  EXPECT_TRUE(Lost(error())) << error();
  EXPECT_TRUE(sql->bExecute(&stmt, cnx, L"SELECT 1", nullptr, 0)) << error();
  if (stmt != 0) sql->bFreeStmt(cnx, stmt, 0);
  EXPECT_TRUE(sql->bCloseConnection(cnx));
  EXPECT_EQ(sql->nExternalRelease(), 0);
}

// The server chooses the driver's transaction as a deadlock's victim and rolls all of it back,
// its session living on: the write that met it fails, nothing more runs in its place outside
// the transaction, the commit answers FALSE naming the deadlock, and after the roll-back the next
// write lands on the same session.
TEST_P(SessionKilled, ADeadlockInsideATransactionFailsItsCommitAndLeavesNoneOfItsWork) {
  for (const bool service : {false, true}) {
    SCOPED_TRACE(service ? "SQL functions" : "file");
    Rebuild();
    Lane lane(this, service);
    ASSERT_NO_FATAL_FAILURE(lane.Open(true));
    ASSERT_TRUE(lane.Modify({1, "first", 10})) << lane.Error();
    const std::vector<std::string> session = DriverSessions(false);
    // The raw side writes more rows than the driver: the server picks the driver as the victim.
    std::string err;
    ASSERT_TRUE(m_locker.exec("START TRANSACTION", &err)) << err;
    ASSERT_TRUE(m_locker.exec("UPDATE " + m_table + " SET n = 7 WHERE id >= 2", &err)) << err;
    BOOL second = TRUE;
    std::thread waiting([&] { second = lane.Modify({2, "second", 20}); });
    while (DriverSessions(true).empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(m_locker.exec("UPDATE " + m_table + " SET n = 8 WHERE id = 1", &err)) << err;
    waiting.join();
    EXPECT_TRUE(m_locker.exec("ROLLBACK", &err)) << err;
    EXPECT_FALSE(second);
    EXPECT_EQ(lane.Error(), "22/1213");
    // A third write would land outside the transaction, and stay after its roll-back.
    EXPECT_FALSE(lane.Modify({3, "third", 30}));
    EXPECT_NE(lane.Error().find("/1213"), std::string::npos) << lane.Error();
    EXPECT_FALSE(lane.Commit());
    EXPECT_NE(lane.EntryError().find("/1213"), std::string::npos) << lane.EntryError();
    EXPECT_EQ(ServerRows(), InitialRows());
    EXPECT_TRUE(lane.RollBack()) << lane.EntryError();
    // The session lives on: the next write lands on it at its first try.
    EXPECT_TRUE(lane.Modify({1, "after", 10})) << lane.Error();
    EXPECT_EQ(DriverSessions(false), session);
    std::vector<BenchRow> want = InitialRows();
    want[0] = {1, "after", 10};
    EXPECT_EQ(ServerRows(), want);
    lane.Close();
  }
}

// A begin whose BEGIN meets a session killed while idle fails naming the loss, and no transaction
// is open: the next write lands at its first try (on a new session) and stays, and the begin
// after it opens a transaction that rolls back.
TEST_P(SessionKilled, ABeginMeetingAKilledSessionFailsAloneAndTheNextWriteLands) {
  for (const bool service : {false, true}) {
    SCOPED_TRACE(service ? "SQL functions" : "file");
    Rebuild();
    Lane lane(this, service);
    ASSERT_NO_FATAL_FAILURE(lane.Open(false));
    ASSERT_TRUE(KillDriver());
    EXPECT_FALSE(lane.Begin());
    EXPECT_TRUE(Lost(lane.EntryError())) << lane.EntryError();
    EXPECT_TRUE(lane.Modify({1, "alone", 10})) << lane.Error();
    std::vector<BenchRow> want = InitialRows();
    want[0] = {1, "alone", 10};
    EXPECT_EQ(ServerRows(), want);
    ASSERT_TRUE(lane.Begin()) << lane.EntryError();
    EXPECT_TRUE(lane.Modify({1, "undone", 10})) << lane.Error();
    EXPECT_TRUE(lane.RollBack()) << lane.EntryError();
    EXPECT_EQ(ServerRows(), want);
    lane.Close();
  }
}

// A server of the test's own that dies (SIGKILL) or is stopped while a write of the driver waits
// for a row's lock, inside a transaction of the host's file and of the SQL functions, each with
// writes answered TRUE before: the waiting write, and every commit while the server is away,
// answer FALSE in time; once it is back, the server holds none of the work, the roll-backs answer
// TRUE and the next writes land.
class ServerDeath : public OwnServerBench {
 protected:
  // The server's process killed at once, as a crash would; started again, same port and socket.
  void Crash(const std::function<void()>& whileDown) {
    std::ifstream pidFile(m_dir + "/mariadbd.pid");
    pid_t pid = 0;
    ASSERT_TRUE(pidFile >> pid);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    // Gone once its socket no longer answers.
    for (int i = 0; i < 500 && kill(pid, 0) == 0; ++i) {
      std::string stat;
      std::ifstream("/proc/" + std::to_string(pid) + "/stat") >> stat >> stat >> stat;
      if (stat == "Z" || stat.empty()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    whileDown();
    TestServer again;
    ASSERT_TRUE(Testdb("start", &again));
    ASSERT_EQ(again.port, m_own.port);
    Reconnect();
  }
};

TEST_F(ServerDeath, AWriteWaitingWhenTheServerDiesFailsAndNoneOfItsTransactionStays) {
  for (const bool crash : {true, false}) {
    SCOPED_TRACE(crash ? "SIGKILL" : "stop");
    Rebuild();
    CHostConnectionDescription* host = Host(";QX Cache Size=15", &m_own, false);
    CHostContext ctx(1, 1);
    INATable* t = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenInTransaction(host, &ctx, &t));
    INADriverSQL* sql = m_driver->piGetInterface(1);
    int cnx = 0, stmt = 0;
    ASSERT_TRUE(sql->bOpenConnection(&cnx, Host(crash ? ";QX Unicode Support=1" : "", &m_own, false)));
    auto run = [&](const std::string& text) {
      if (stmt != 0) sql->bFreeStmt(cnx, stmt, 0);
      stmt = 0;
      return sql->bExecute(&stmt, cnx, WideOf(text).c_str(), nullptr, 0);
    };
    auto sqlError = [&] { return Short(sql->piGetLastError()->pszGetError()); };
    ASSERT_TRUE(sql->bTrsBegin(nullptr, cnx, 0)) << sqlError();
    ASSERT_TRUE(run("UPDATE " + m_table + " SET n = -1 WHERE id = 40")) << sqlError();
    ASSERT_TRUE(run("INSERT INTO " + m_table + " VALUES (2001, 'sql', 1)")) << sqlError();
    ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST));
    ASSERT_TRUE(SetCurrent(t, &ctx, {1, "tx", 1}) && t->bHModifie(&ctx, 0, 0, eNA_LOCKTYPE{0}))
        << Short(t->piGetLastError(&ctx)->pszGetError());
    ASSERT_TRUE(SetCurrent(t, &ctx, {1001, "tx", 1}) && t->bHAjoute(&ctx, 0, eNA_LOCKTYPE{0}))
        << Short(t->piGetLastError(&ctx)->pszGetError());
    ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST) && Read(t, &ctx, NA_PARSE_NEXT));
    // The file's delete of row 2 waits for the raw connection's lock when the server goes.
    std::string err;
    ASSERT_TRUE(m_raw.exec("START TRANSACTION", &err)) << err;
    ASSERT_TRUE(m_raw.exec("SELECT * FROM " + m_table + " WHERE id = 2 FOR UPDATE", &err)) << err;
    BOOL deleted = TRUE;
    std::string deleteError;
    Clock::duration took{};
    std::thread deleter([&] {
      const Clock::time_point start = Clock::now();
      deleted = t->bHSupprime(&ctx, 0, eNA_LOCKTYPE{0});
      took = Clock::now() - start;
      deleteError = Short(t->piGetLastError(&ctx)->pszGetError());
    });
    // The delete waits once the server shows it.
    for (int i = 0; i < 200; ++i) {
      RawRows busy;
      m_raw.query("SELECT ID FROM information_schema.PROCESSLIST WHERE INFO LIKE 'DELETE%'", &busy, &err);
      if (!busy.empty()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    auto whileDown = [&] {
      deleter.join();
      EXPECT_FALSE(deleted);
      EXPECT_LT(took, std::chrono::seconds(10));
      // A stopping server names its shutdown; a dead one is a lost session.
      EXPECT_TRUE(Lost(deleteError) || deleteError == "22/1053" || deleteError == "22/1927") << deleteError;
      Clock::time_point start = Clock::now();
      EXPECT_FALSE(sql->bTrsCommit(cnx, 0, 0));
      Down("SQL-function commit", sqlError(), Clock::now() - start);
      start = Clock::now();
      EXPECT_FALSE(m_driver->bTransactionCommit(host, L"work"));
      Down("host commit", Short(m_driver->piGetLastError()->pszGetError()), Clock::now() - start);
    };
    if (crash) {
      ASSERT_NO_FATAL_FAILURE(Crash(whileDown));
    } else {
      ASSERT_NO_FATAL_FAILURE(Restart(whileDown));
    }
    EXPECT_EQ(ServerRows(), [] {
      std::vector<BenchRow> rows;
      for (int id = 1; id <= kRows; ++id) rows.push_back(Initial(id));
      return rows;
    }());
    EXPECT_TRUE(sql->bTrsRollBack(cnx, 0, 0)) << sqlError();
    EXPECT_TRUE(m_driver->bTransactionRollBack(host, L"work")) << Short(m_driver->piGetLastError()->pszGetError());
    EXPECT_TRUE(run("INSERT INTO " + m_table + " VALUES (2002, 'sql', 2)")) << sqlError();
    if (stmt != 0) sql->bFreeStmt(cnx, stmt, 0);
    EXPECT_TRUE(sql->bCloseConnection(cnx));
    EXPECT_EQ(sql->nExternalRelease(), 0);
    std::string rawErr;
    ASSERT_TRUE(m_raw.exec("DELETE FROM " + m_table + " WHERE id = 2002", &rawErr)) << rawErr;
    AddLandsAloneThenClose(t, &ctx, host, {1002, "after", 4});
  }
}

}  // namespace

// Sessions lost inside a transaction, through the loaded driver on a server of the test's own:
// the driver's session is ended by a KILL from a raw connection or by a restart of the server,
// inside a transaction its SQL text opened (three ways), inside the driver's own, and with
// autocommit off and nothing pending, on the SQL functions' connection and on the host's (a file
// and its texts). The host then ends it by its roll-back or commit entry, or by a ROLLBACK or
// COMMIT text. Every answer must say what the server holds, the next write must land at its
// first try, and a raw connection must read exactly the rows those answers promise.
#include <set>
#include <string>

#include "common/ctstring.h"
#include "driver/inadriversql.h"
#include "host/host_sqlparser.h"
#include "tests/mysql/own_server_bench.h"

namespace {

enum class eKill { kKill, kRestart };
enum class eRoad { kSQLFunctions, kTable };
// What was open when the session went.
enum class eOpen { kStartTransaction, kBegin, kAutocommitOff, kDriverTransaction, kAutocommitOffIdle };
// How the host ends it.
enum class eEnd { kRollBackEntry, kCommitEntry, kRollBackText, kCommitText };

const char* Name(eOpen open) {
  switch (open) {
    case eOpen::kStartTransaction: return "START TRANSACTION";
    case eOpen::kBegin: return "BEGIN";
    case eOpen::kAutocommitOff: return "SET autocommit=0";
    case eOpen::kDriverTransaction: return "the driver's transaction";
    case eOpen::kAutocommitOffIdle: return "autocommit off, nothing pending";
  }
  return "";
}

const char* Name(eEnd end) {
  switch (end) {
    case eEnd::kRollBackEntry: return "roll-back entry";
    case eEnd::kCommitEntry: return "commit entry";
    case eEnd::kRollBackText: return "ROLLBACK";
    case eEnd::kCommitText: return "COMMIT";
  }
  return "";
}

bool Lost(const std::string& error) {
  return error.find("/2013") != std::string::npos || error.find("/2006") != std::string::npos;
}

class LostSession : public OwnServerBench, public testing::WithParamInterface<eKill> {
 protected:
  // One connection of a road: its texts, writes of rows (id, 'tx', 1) and transaction entries.
  // After each call, m_error holds its error as "<user>/<server>" and m_full its whole text.
  class Lane {
   public:
    Lane(LostSession* bench, eRoad road, const std::string& unicode) : m_bench(bench), m_road(road) {
      m_host = bench->Host(";QX Unicode Support=" + unicode, &bench->m_own, false);
      m_service = bench->m_driver->piGetInterface(1);
    }
    ~Lane() {
      if (m_service != nullptr) m_service->nExternalRelease();
    }
    void Open() {
      if (m_road == eRoad::kSQLFunctions) {
        ASSERT_TRUE(m_service->bOpenConnection(&m_cnx, m_host)) << Error(m_service->piGetLastError());
        return;
      }
      ASSERT_TRUE(m_bench->m_loader.bOpenConnection(m_host)) << Error(m_bench->m_driver->piGetLastError());
      m_table = m_bench->m_loader.piGetTable(m_host, &m_bench->m_desc);
      ASSERT_NE(m_table, nullptr);
      ASSERT_TRUE(m_table->bHOuvre(&m_ctx, kReadWrite, nullptr)) << Error(m_table->piGetLastError(&m_ctx));
    }
    void Close() {
      if (m_road == eRoad::kSQLFunctions) {
        if (m_stmt != 0) m_service->bFreeStmt(m_cnx, m_stmt, 0);
        EXPECT_TRUE(m_service->bCloseConnection(m_cnx));
        return;
      }
      m_bench->m_driver->bCloseContext(&m_texts);
      m_bench->CloseFile(m_table, &m_ctx, m_host);
    }
    BOOL Run(const std::string& sql) {
      const std::wstring text = WideOf(sql);
      if (m_road == eRoad::kSQLFunctions) {
        if (m_stmt != 0) m_service->bFreeStmt(m_cnx, m_stmt, 0);
        m_stmt = 0;
        const BOOL ran = m_service->bExecute(&m_stmt, m_cnx, text.c_str(), nullptr, 0);
        Error(m_service->piGetLastError());
        return ran;
      }
      CTString parseError;
      ISQLParserInformation* parse = CHostSQLParser::piParse(text.c_str(), m_bench->m_catalogue, &parseError);
      EXPECT_NE(parse, nullptr) << Narrow(parseError.pszGet());
      if (parse == nullptr) return FALSE;
      INATable* out = nullptr;
      const BOOL ran = m_bench->m_driver->bHExecuteRequeteSQL(&out, &m_texts, L"S", m_host, parse, 0);
      Error(m_bench->m_driver->piGetLastError());
      if (out != nullptr) out->nExternalRelease();
      m_bench->m_driver->bFreeDataSource(&m_texts, L"S", m_host);
      parse->nRelease();
      return ran;
    }
    BOOL Write(int id) {
      if (m_road == eRoad::kSQLFunctions)
        return Run("INSERT INTO " + m_bench->m_table + " VALUES (" + std::to_string(id) + ", 'tx', 1)");
      const BOOL added =
          m_bench->SetCurrent(m_table, &m_ctx, {id, "tx", 1}) && m_table->bHAjoute(&m_ctx, 0, eNA_LOCKTYPE{0});
      Error(m_table->piGetLastError(&m_ctx));
      return added;
    }
    BOOL Begin() {
      if (m_road == eRoad::kSQLFunctions) return Answer(m_service->bTrsBegin(nullptr, m_cnx, 0));
      return Answer(m_bench->m_driver->bTransactionBegin(m_host, L"work"));
    }
    BOOL Entry(bool commit) {
      if (m_road == eRoad::kSQLFunctions)
        return Answer(commit ? m_service->bTrsCommit(m_cnx, 0, 0) : m_service->bTrsRollBack(m_cnx, 0, 0));
      INADriver* driver = m_bench->m_driver;
      return Answer(commit ? driver->bTransactionCommit(m_host, L"work") : driver->bTransactionRollBack(m_host, L"work"));
    }

    std::string m_error, m_full;

   private:
    std::string Error(INAError* e) {
      m_full = Narrow(e->pszGetError());
      m_error = Short(e->pszGetError());
      return m_full;
    }
    BOOL Answer(BOOL result) {
      Error(m_road == eRoad::kSQLFunctions ? m_service->piGetLastError() : m_bench->m_driver->piGetLastError());
      return result;
    }

    LostSession* m_bench;
    eRoad m_road;
    CHostConnectionDescription* m_host = nullptr;
    INADriverSQL* m_service = nullptr;
    int m_cnx = 0, m_stmt = 0;
    INATable* m_table = nullptr;
    // The file's context, and the host's texts' own.
    CHostContext m_ctx{1, 1}, m_texts{2, 1};
  };

  void SetUp() override {
    OwnServerBench::SetUp();
    if (HasFatalFailure()) return;
    Rebuild();
    Parse()->nRelease();
  }
  // The driver's session ends, as the parameter says.
  void EndSessions() {
    if (GetParam() == eKill::kKill) {
      ASSERT_TRUE(KillSessions());
    } else {
      ASSERT_NO_FATAL_FAILURE(Restart([] {}));
    }
  }
  // The ids above base and below base + 100 that the server holds.
  std::set<int> Held(int base) {
    RawRows rows;
    std::string err;
    std::set<int> ids;
    EXPECT_TRUE(m_raw.query("SELECT id FROM " + m_table + " WHERE id > " + std::to_string(base) + " AND id < " +
                                std::to_string(base + 100),
                            &rows, &err))
        << err;
    for (const RawRow& r : rows) ids.insert(std::stoi(*r[0]));
    return ids;
  }

  // One scenario on a new connection, with ids from base + 1 up: opened as open says, a write
  // pending (base + 2) unless idle, the session ended, a write meeting the loss (base + 3) and one
  // refused for it (base + 4), then ended as end says. Then base + 5 is written and a ROLLBACK
  // sent, base + 6 written and a COMMIT sent: the new session keeps autocommit off when the lost
  // one had it off, so base + 5 stays only when autocommit is on.
  void Scenario(eRoad road, eOpen open, eEnd end, int base) {
    // The code page alternates from one scenario to the next.
    const char* unicode = base % 200 == 0 ? "0" : "1";
    SCOPED_TRACE(std::string(road == eRoad::kTable ? "table, " : "SQL functions, ") + Name(open) + ", " + Name(end) +
                 ", Unicode " + unicode);
    Lane lane(this, road, unicode);
    ASSERT_NO_FATAL_FAILURE(lane.Open());
    std::set<int> want;
    const bool driver = open == eOpen::kDriverTransaction;
    const bool autocommitOff = open == eOpen::kAutocommitOff || open == eOpen::kAutocommitOffIdle;
    switch (open) {
      case eOpen::kDriverTransaction:
        ASSERT_TRUE(lane.Begin()) << lane.m_error;
        break;
      case eOpen::kAutocommitOffIdle:
        ASSERT_TRUE(lane.Run("SET autocommit=0")) << lane.m_error;
        ASSERT_TRUE(lane.Write(base + 1)) << lane.m_error;
        ASSERT_TRUE(lane.Run("COMMIT")) << lane.m_error;
        want.insert(base + 1);
        break;
      default:
        ASSERT_TRUE(lane.Run(Name(open))) << lane.m_error;
    }
    if (open != eOpen::kAutocommitOffIdle) {
      ASSERT_TRUE(lane.Write(base + 2)) << lane.m_error;
    }
    ASSERT_NO_FATAL_FAILURE(EndSessions());
    EXPECT_FALSE(lane.Write(base + 3));
    EXPECT_TRUE(Lost(lane.m_error)) << lane.m_full;
    // The loss is kept, named: the driver's transaction by its name, the session's by its database.
    const std::string kept = driver ? "320103/" : "320104/";
    EXPECT_FALSE(lane.Write(base + 4));
    EXPECT_EQ(lane.m_error.substr(0, 7), kept) << lane.m_full;
    const std::string named = driver ? (road == eRoad::kTable ? "<work>" : "<SQLTransaction>") : "<" + m_own.database + ">";
    EXPECT_NE(lane.m_full.find(named), std::string::npos) << lane.m_full;

    switch (end) {
      case eEnd::kRollBackEntry:
        EXPECT_TRUE(lane.Entry(false)) << lane.m_full;
        break;
      case eEnd::kCommitEntry:
        EXPECT_FALSE(lane.Entry(true));
        EXPECT_EQ(lane.m_error.substr(0, 7), kept) << lane.m_full;
        break;
      case eEnd::kRollBackText:
      case eEnd::kCommitText: {
        const bool commit = end == eEnd::kCommitText;
        // The host's ROLLBACK runs on a new session; its COMMIT is told nothing was committed. The
        // driver's transaction stays open under a text: its own entry ends it.
        EXPECT_EQ(lane.Run(commit ? "COMMIT" : "ROLLBACK"), !commit && !driver);
        if (commit || driver) {
          EXPECT_EQ(lane.m_error.substr(0, 7), kept) << lane.m_full;
        }
        if (driver) {
          EXPECT_TRUE(lane.Entry(false)) << lane.m_full;
        }
        break;
      }
    }
    EXPECT_EQ(Held(base), want) << "after the end";

    // Ended: the next write lands at its first try.
    EXPECT_TRUE(lane.Write(base + 5)) << lane.m_full;
    EXPECT_TRUE(lane.Run("ROLLBACK")) << lane.m_full;
    if (!autocommitOff) want.insert(base + 5);
    EXPECT_TRUE(lane.Write(base + 6)) << lane.m_full;
    EXPECT_TRUE(lane.Run("COMMIT")) << lane.m_full;
    want.insert(base + 6);
    EXPECT_EQ(Held(base), want);
    lane.Close();
  }
  // Every road and every end for each way of opening, ids in steps of 100 from 100,000.
  void Scenarios(std::initializer_list<eOpen> opens) {
    int base = 100000;
    for (const eRoad road : {eRoad::kSQLFunctions, eRoad::kTable})
      for (const eOpen open : opens)
        for (const eEnd end : {eEnd::kRollBackEntry, eEnd::kCommitEntry, eEnd::kRollBackText, eEnd::kCommitText}) {
          Scenario(road, open, end, base += 100);
          if (HasFatalFailure()) return;
        }
    INADriverSQL* service = m_driver->piGetInterface(1);
    EXPECT_EQ(service->nExternalRelease(), 0);
  }
};

INSTANTIATE_TEST_SUITE_P(Ended, LostSession, testing::Values(eKill::kKill, eKill::kRestart),
                         [](const testing::TestParamInfo<eKill>& p) {
                           return p.param == eKill::kKill ? "Killed" : "Restarted";
                         });

TEST_P(LostSession, TheHostsEntriesEndALostTransactionThatItsSQLTextOpened) {
  Scenarios({eOpen::kStartTransaction, eOpen::kBegin, eOpen::kAutocommitOff});
}

TEST_P(LostSession, ALostDriverTransactionRollsBackWithoutTheDeadSessionAndTheNextCallLands) {
  Scenarios({eOpen::kDriverTransaction});
}

TEST_P(LostSession, ASessionLostWithAutocommitOffIsReplacedByOneWithAutocommitOff) {
  Scenarios({eOpen::kAutocommitOffIdle});
}

// The loss of a transaction that SQL text opened names the connection's database, not the
// server's address, on either code page.
TEST_P(LostSession, TheLostSessionErrorNamesTheDatabase) {
  for (const char* unicode : {"0", "1"}) {
    SCOPED_TRACE(std::string("Unicode ") + unicode);
    Lane lane(this, eRoad::kSQLFunctions, unicode);
    ASSERT_NO_FATAL_FAILURE(lane.Open());
    ASSERT_TRUE(lane.Run("START TRANSACTION")) << lane.m_error;
    ASSERT_TRUE(lane.Write(200001)) << lane.m_error;
    ASSERT_NO_FATAL_FAILURE(EndSessions());
    EXPECT_FALSE(lane.Write(200002));
    EXPECT_FALSE(lane.Write(200003));
    EXPECT_EQ(lane.m_error.substr(0, 7), "320104/") << lane.m_full;
    EXPECT_NE(lane.m_full.find("La session de la base <" + m_own.database + ">"), std::string::npos) << lane.m_full;
    EXPECT_EQ(lane.m_full.find("<" + m_own.host + ">"), std::string::npos) << lane.m_full;
    EXPECT_TRUE(lane.Entry(false)) << lane.m_full;
    lane.Close();
  }
}

}  // namespace

// Transactions against the driver's caches: the host writes inside a transaction, reads its own
// writes back through browses in blocks (row cache on and off), seeks, counts and saved
// positions, then commits or rolls back; every later read must be the server's rows as a raw
// connection reads them, never a row the roll-back undid.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/support/host_text.h"
#include "tests/support/loaded_roads.h"
#include "tests/support/loaded_types.h"

namespace {

constexpr unsigned int kNoRowCache = 0x10000;

CAny Int(int v) {
  CAny any;
  any.SetI4(v);
  return any;
}

class TransactionCache : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    m_table = NameOfRun("qxtrs_");
  }
  void TearDown() override { StopService(m_table); }
  CHostConnectionDescription* Connect(const std::string& more) {
    return AddConnection(std::get<0>(GetParam()) == 65001, more);
  }
  void Make() {
    Raw("DROP TABLE IF EXISTS `" + m_table + "`");
    Raw("CREATE TABLE `" + m_table + "` (id INT PRIMARY KEY, v INT) ENGINE=InnoDB");
    Raw("INSERT INTO `" + m_table + "` VALUES (1,10),(2,20),(3,30),(4,40),(5,50),(6,60)");
  }
  // The rows in v order as "id:v ", read over the raw connection.
  std::string Truth() {
    RawRows rows;
    std::string err;
    if (!m_raw.query("SELECT id, v FROM `" + m_table + "` ORDER BY v, id", &rows, &err)) return "error " + err;
    std::string out;
    for (const auto& r : rows) out += r[0].value_or("?") + ":" + r[1].value_or("NULL") + " ";
    return out;
  }
  static std::string Reversed(const std::string& rows) {
    std::string out;
    for (size_t end = rows.size(); end > 0;) {
      const size_t start = rows.rfind(' ', end - 2);
      const size_t from = start == std::string::npos ? 0 : start + 1;
      out += rows.substr(from, end - from);
      end = from;
    }
    return out;
  }
  // A browse on v in the given direction as "id:v ".
  static std::string Rows(COpenRoad& r, bool forward, unsigned int flags) {
    std::string out;
    for (eNA_PARSEDIRECTION dir = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;;
         dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS) {
      if (!r->bHLitxxx(&r.ctx, L"v", dir, 1, eNA_LOCKTYPE{0}, nullptr, flags)) return out + "read failed " + r.Error();
      const std::string id = r.Current();
      if (id == "out") return out;
      out += id + ":" + r.Int(L"v") + " ";
      if (out.size() > 400) return out + "...";
    }
  }
  static std::string Count(COpenRoad& r) {
    long long n = -1;
    return r->bHNbEnr(&r.ctx, &n, 16, 0) ? std::to_string(n) : "FALSE " + r.Error();
  }
  // Every read the host has of the rows: both browses, a count, the current record read again.
  static std::string Reads(COpenRoad& r, unsigned int flags) {
    return "forward " + Rows(r, true, flags) + "| backward " + Reversed(Rows(r, false, flags)) + "| count " + Count(r);
  }
  static std::string Expect(const std::string& rows, int count) {
    return "forward " + rows + "| backward " + rows + "| count " + std::to_string(count);
  }
  // v of row id becomes to, found by a seek of from.
  static std::string Modify(COpenRoad& r, int from, int to) {
    const std::string found = r.Seek(Int(from));
    if (found.rfind("found ", 0) != 0) return found;
    if (!r.Put(Int(to))) return "put refused";
    return r->bHModifie(&r.ctx, 0, 0, eNA_LOCKTYPE{0}) ? "modified" : "FALSE " + r.Error();
  }

  std::string m_table;
};

const std::string kBefore = "1:10 2:20 3:30 4:40 5:50 6:60 ";
const std::string kInside = "1:10 2:20 3:35 4:40 6:60 7:70 ";

// Inside a transaction the host reads its own add, modify and delete through every block size
// with the row cache on and off; after the end every read, seek, saved position and modify is
// the server's rows: the roll-back's undone rows never come back from a cache, and a modify of
// the row the roll-back removed is a failure, not a success that wrote nothing.
TEST_P(TransactionCache, ReadsAfterTheEndAreTheServersRowsInEveryBlockAndCacheMode) {
  const struct {
    const char* cacheSize;
    unsigned int flags;
  } modes[] = {{";QX Cache Size=1", 0},          {";QX Cache Size=3", 0},  {"", 0}, {";QX Cache Size=0", 0},
               {";QX Cache Size=1", kNoRowCache}, {";QX Cache Size=3", kNoRowCache}, {"", kNoRowCache},
               {";QX Cache Size=0", kNoRowCache}};
  for (const auto& m : modes) {
    for (const bool commit : {false, true}) {
      SCOPED_TRACE(std::string(m.cacheSize) + (m.flags != 0 ? " no row cache" : "") + (commit ? " commit" : " roll-back"));
      Make();
      CHostConnectionDescription* host = Connect(m.cacheSize);
      COpenRoad a, b;
      ASSERT_EQ(a.Open(m_driver, &m_loader, host, ERoad::kTable, m_table), "");
      ASSERT_EQ(b.Open(m_driver, &m_loader, host, ERoad::kTable, m_table), "");
      EXPECT_EQ(Reads(a, m.flags), Expect(kBefore, 6));
      EXPECT_EQ(Reads(b, m.flags), Expect(kBefore, 6));
      int saved = 0;
      ASSERT_EQ(a.Seek(Int(30)), "found 3");
      ASSERT_TRUE(a->bHSauvePosition(&a.ctx, L"v", &saved, 0)) << a.Error();

      ASSERT_TRUE(m_driver->bTransactionBegin(host, L"w"));
      EXPECT_EQ(Modify(a, 30, 35), "modified");
      EXPECT_EQ(a.Seek(Int(50)), "found 5");
      EXPECT_TRUE(a->bHSupprime(&a.ctx, 0, eNA_LOCKTYPE{0})) << a.Error();
      EXPECT_TRUE(a.Put(Int(7), L"id") && a.Put(Int(70)));
      EXPECT_TRUE(a->bHAjoute(&a.ctx, 0, eNA_LOCKTYPE{0})) << a.Error();
      // Its own writes, on both files of the connection; another session sees none yet.
      EXPECT_EQ(Reads(a, m.flags), Expect(kInside, 6));
      EXPECT_EQ(Reads(b, m.flags), Expect(kInside, 6));
      EXPECT_EQ(a.Seek(Int(35)) + ", " + a.Seek(Int(30)), "found 3, not found");
      EXPECT_EQ(Truth(), kBefore);
      // The current record is the added row when the transaction ends.
      ASSERT_EQ(a.Seek(Int(70)), "found 7");

      ASSERT_TRUE(commit ? m_driver->bTransactionCommit(host, L"w") : m_driver->bTransactionRollBack(host, L"w"));
      const std::string truth = commit ? kInside : kBefore;
      ASSERT_EQ(Truth(), truth);
      // The row the roll-back removed is no longer there to modify.
      EXPECT_EQ(a.Put(Int(71)) && a->bHModifie(&a.ctx, 0, 0, eNA_LOCKTYPE{0}), commit ? TRUE : FALSE);
      const std::string after = commit ? "1:10 2:20 3:35 4:40 6:60 7:71 " : kBefore;
      EXPECT_EQ(Truth(), after);
      EXPECT_EQ(Reads(a, m.flags), Expect(after, 6));
      EXPECT_EQ(Reads(b, m.flags), Expect(after, 6));
      EXPECT_EQ(a.Seek(Int(35)) + ", " + a.Seek(Int(30)), commit ? "found 3, not found" : "not found, found 3");
      wchar_t item[64] = {};
      ASSERT_TRUE(a->bHRetourPosition(&a.ctx, saved, item, 1, 0)) << a.Error();
      EXPECT_EQ(a.Current() + ":" + a.Int(L"v"), commit ? "3:35" : "3:30");
      EXPECT_TRUE(a->bHLiberePosition(&a.ctx, saved));
      // A modify names the row as it is now and touches no other.
      EXPECT_EQ(Modify(a, commit ? 35 : 30, 33), "modified");
      std::string expected = after;
      expected.replace(expected.find(commit ? "3:35" : "3:30"), 4, "3:33");
      EXPECT_EQ(Truth(), expected);
    }
  }
}

// A saved position comes back on the row as the server holds it after every chain of nested
// begins, commits and roll-backs: a write the roll-back undid leaves the kept copy of the row
// too, a write a commit handed to the transaction around it stays until that one ends.
TEST_P(TransactionCache, SavedPositionReturnsTheRowAsTheNestedRollBacksLeftIt) {
  const struct {
    std::vector<std::string> steps;  // B begin, C commit, R roll-back (no name), a number: v of row 3
    const char* row3;
  } cases[] = {
      {{"B", "35", "R"}, "30"},
      {{"B", "35", "C"}, "35"},
      {{"B", "B", "35", "R", "C"}, "30"},
      {{"B", "35", "B", "36", "R", "C"}, "35"},
      {{"B", "35", "B", "36", "R", "R"}, "30"},
      {{"B", "B", "35", "C", "R"}, "30"},
      {{"B", "35", "C", "B", "R"}, "35"},
      {{"B", "35", "36", "R"}, "30"},
  };
  CHostConnectionDescription* host = Connect("");
  for (const auto& c : cases) {
    std::string script;
    for (const std::string& s : c.steps) script += s + " ";
    SCOPED_TRACE(script);
    Make();
    COpenRoad a;
    ASSERT_EQ(a.Open(m_driver, &m_loader, host, ERoad::kTable, m_table), "");
    int saved = 0;
    ASSERT_EQ(a.Seek(Int(30)), "found 3");
    ASSERT_TRUE(a->bHSauvePosition(&a.ctx, L"v", &saved, 0)) << a.Error();
    for (const std::string& s : c.steps) {
      if (s == "B") {
        EXPECT_TRUE(m_driver->bTransactionBegin(host, L""));
      } else if (s == "C" || s == "R") {
        EXPECT_TRUE(s == "C" ? m_driver->bTransactionCommit(host, L"") : m_driver->bTransactionRollBack(host, L""));
      } else {
        // Row 3 as the saved position gives it, then its new value.
        wchar_t item[64] = {};
        ASSERT_TRUE(a->bHRetourPosition(&a.ctx, saved, item, 1, 0)) << a.Error();
        EXPECT_EQ(Modify(a, std::stoi(a.Int(L"v")), std::stoi(s)), "modified");
      }
    }
    EXPECT_EQ(Truth(), "1:10 2:20 3:" + std::string(c.row3) + " 4:40 5:50 6:60 ");
    wchar_t item[64] = {};
    ASSERT_TRUE(a->bHRetourPosition(&a.ctx, saved, item, 1, 0)) << a.Error();
    EXPECT_EQ(a.Current() + ":" + a.Int(L"v"), "3:" + std::string(c.row3));
  }
}


// A position saved right after a modify that moved the row in the browse's order gives back the
// row as written (as the roll-back or commit around it left it), not the copy of the place the
// browse goes on from; an edit the host did not write is never what it gives back.
TEST_P(TransactionCache, PositionSavedAfterAKeyMovingModifyReturnsTheRowAsWritten) {
  const struct {
    const char* before;  // B: begin, before the read
    const char* after;   // after the position is saved: C commit, R roll-back, E an edit not written
    const char* row3;
  } cases[] = {
      {"", "", "55"}, {"", "E", "55"}, {"B", "R", "30"}, {"B", "C", "55"}, {"B", "", "55"},
  };
  for (int block : {0, 1, 3}) {
    CHostConnectionDescription* host = Connect(block == 0 ? "" : ";QX Cache Size=" + std::to_string(block));
    for (unsigned int flags : {0u, kNoRowCache}) {
      for (const auto& c : cases) {
        for (ERoad road : {ERoad::kTable, ERoad::kParsed}) {
          SCOPED_TRACE(std::string(RoadName(road)) + " block " + std::to_string(block) + " flags " +
                       std::to_string(flags) + " case " + c.before + "/" + c.after);
          Make();
          COpenRoad a;
          ASSERT_EQ(a.Open(m_driver, &m_loader, host, road, m_table), "");
          if (*c.before == 'B') {
            ASSERT_TRUE(m_driver->bTransactionBegin(host, L""));
          }
          EXPECT_EQ(Modify(a, 30, 55), "modified");
          int saved = 0;
          ASSERT_TRUE(a->bHSauvePosition(&a.ctx, L"v", &saved, 0)) << a.Error();
          if (*c.after == 'C') {
            EXPECT_TRUE(m_driver->bTransactionCommit(host, L""));
          } else if (*c.after == 'R') {
            EXPECT_TRUE(m_driver->bTransactionRollBack(host, L""));
          } else if (*c.after == 'E') {
            ASSERT_TRUE(a.Put(Int(77)));
          }
          // The raw connection sees no write of a transaction still open.
          const bool seen = std::string(c.row3) == "55" && !(*c.before == 'B' && *c.after == 0);
          EXPECT_EQ(Truth(), seen ? "1:10 2:20 4:40 5:50 3:55 6:60 " : kBefore);
          wchar_t item[64] = {};
          ASSERT_TRUE(a->bHRetourPosition(&a.ctx, saved, item, 1, 0)) << a.Error();
          EXPECT_EQ(a.Current() + ":" + a.Int(L"v"), "3:" + std::string(c.row3));
          // The browse goes on from the row's former place, as a move right after the modify does.
          ASSERT_TRUE(a->bHLitxxx(&a.ctx, L"v", NA_PARSE_NEXT, 1, eNA_LOCKTYPE{0}, nullptr, flags)) << a.Error();
          EXPECT_EQ(a.Current() + ":" + a.Int(L"v"), "4:40");
          if (*c.before == 'B' && *c.after == 0) {
            EXPECT_TRUE(m_driver->bTransactionCommit(host, L""));
          }
        }
      }
    }
  }
}

// After the modify, a read or a return to another position moves the record off the written row:
// a position saved then gives back that row.
TEST_P(TransactionCache, PositionSavedAfterAModifyAndAMoveReturnsTheRowMovedTo) {
  CHostConnectionDescription* host = Connect("");
  for (const char* move : {"next", "return", "seek"}) {
    SCOPED_TRACE(move);
    Make();
    COpenRoad a;
    ASSERT_EQ(a.Open(m_driver, &m_loader, host, ERoad::kTable, m_table), "");
    int first = 0, second = 0;
    ASSERT_EQ(a.Seek(Int(20)), "found 2");
    ASSERT_TRUE(a->bHSauvePosition(&a.ctx, L"v", &first, 0)) << a.Error();
    EXPECT_EQ(Modify(a, 30, 55), "modified");
    wchar_t item[64] = {};
    if (std::string(move) == "next") {
      ASSERT_TRUE(a->bHLitxxx(&a.ctx, L"v", NA_PARSE_NEXT, 1, eNA_LOCKTYPE{0}, nullptr, 0)) << a.Error();
    } else if (std::string(move) == "return") {
      ASSERT_TRUE(a->bHRetourPosition(&a.ctx, first, item, 1, 0)) << a.Error();
    } else {
      ASSERT_EQ(a.Seek(Int(50)), "found 5");
    }
    const std::string at = a.Current() + ":" + a.Int(L"v");
    ASSERT_TRUE(a->bHSauvePosition(&a.ctx, L"v", &second, 0)) << a.Error();
    ASSERT_TRUE(a->bHLitxxx(&a.ctx, L"v", NA_PARSE_FIRST, 1, eNA_LOCKTYPE{0}, nullptr, 0)) << a.Error();
    ASSERT_TRUE(a->bHRetourPosition(&a.ctx, second, item, 1, 0)) << a.Error();
    EXPECT_EQ(a.Current() + ":" + a.Int(L"v"), at);
  }
}

// A commit or roll-back with no transaction begun on the connection is refused with user error 9.
TEST_P(TransactionCache, EndWithoutBeginIsRefusedWithError9) {
  Make();
  CHostConnectionDescription* host = Connect("");
  COpenRoad a;
  ASSERT_EQ(a.Open(m_driver, &m_loader, host, ERoad::kTable, m_table), "");
  EXPECT_FALSE(m_driver->bTransactionCommit(host, L"w"));
  EXPECT_EQ(m_driver->piGetLastError()->dwGetErrorId(), 9u);
  EXPECT_FALSE(m_driver->bTransactionRollBack(host, L"w"));
  EXPECT_EQ(m_driver->piGetLastError()->dwGetErrorId(), 9u);
  EXPECT_EQ(Rows(a, true, 0), kBefore);
}

// The SQL functions' transactions on their numbered connection of the same description and the
// table's reads are two sessions: neither sees the other's uncommitted rows, and each sees the
// other's committed ones at its next read, never a row from before the commit.
TEST_P(TransactionCache, SqlFunctionTransactionsAndTheTableSeeOnlyEachOthersCommits) {
  Make();
  m_host = Connect("");
  OpenService();
  if (HasFatalFailure()) return;
  COpenRoad a;
  ASSERT_EQ(a.Open(m_driver, &m_loader, m_host, ERoad::kTable, m_table), "");
  auto viaService = [&]() {
    int stmt = 0;
    const std::wstring sql = WideOfUTF8("SELECT GROUP_CONCAT(id, ':', v ORDER BY v, id SEPARATOR ' ') FROM `" + m_table + "`");
    if (!m_service->bExecute(&stmt, m_cnx, sql.c_str(), nullptr, 0) || !m_service->bFetch(m_cnx, stmt, 0))
      return std::string("refused");
    CAny out;
    m_service->bGetValue(&out, m_cnx, stmt, 1, 0);
    m_service->bFreeStmt(m_cnx, stmt, 0);
    return DecodedAny(out) + " ";
  };
  auto serviceWrite = [&](const std::string& sql) {
    int stmt = 0;
    return m_service->bExecute(&stmt, m_cnx, WideOfUTF8(sql).c_str(), nullptr, 0);
  };
  const std::string row2 = "1:10 2:25 3:30 4:40 5:50 6:60 ";
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "roll-back");
    EXPECT_EQ(Rows(a, true, 0), kBefore);
    ASSERT_TRUE(m_service->bTrsBegin(nullptr, m_cnx, 0));
    EXPECT_TRUE(serviceWrite("UPDATE `" + m_table + "` SET v = 25 WHERE id = 2"));
    EXPECT_EQ(viaService(), row2);
    EXPECT_EQ(Reads(a, 0), Expect(kBefore, 6));
    ASSERT_TRUE(commit ? m_service->bTrsCommit(m_cnx, 0, 0) : m_service->bTrsRollBack(m_cnx, 0, 0));
    EXPECT_EQ(Truth(), commit ? row2 : kBefore);
    EXPECT_EQ(Reads(a, 0), Expect(commit ? row2 : kBefore, 6));
  }
  // The table's transaction as the SQL functions see it.
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "table commit" : "table roll-back");
    ASSERT_TRUE(m_driver->bTransactionBegin(m_host, L"w"));
    EXPECT_EQ(Modify(a, 25, 26), "modified");
    EXPECT_EQ(viaService(), row2);
    ASSERT_TRUE(commit ? m_driver->bTransactionCommit(m_host, L"w") : m_driver->bTransactionRollBack(m_host, L"w"));
    EXPECT_EQ(viaService(), commit ? "1:10 2:26 3:30 4:40 5:50 6:60 " : row2);
  }
}

// A text whose later statement fails answers FALSE with that statement's error however many rows
// its first statement gives: a host that took TRUE would commit the half of the text that ran.
TEST_P(TransactionCache, AFailingLaterStatementFailsTheTextWhateverTheRowsBeforeIt) {
  Make();
  m_host = Connect("");
  OpenService();
  if (HasFatalFailure()) return;
  const std::string w = "`" + m_table + "_w`";
  Raw("DROP TABLE IF EXISTS " + w);
  Raw("CREATE TABLE " + w + " (s VARCHAR(4)) ENGINE=InnoDB");
  const auto written = [&] {
    RawRows rows;
    std::string err;
    if (!m_raw.query("SELECT COALESCE(GROUP_CONCAT(s ORDER BY s), '') FROM " + w, &rows, &err)) return "error " + err;
    return rows[0][0].value_or("NULL");
  };
  for (const int rows : {999, 1000, 50000}) {
    for (const bool inTransaction : {true, false}) {
      SCOPED_TRACE(std::to_string(rows) + (inTransaction ? " rows, in a transaction" : " rows, autocommit"));
      Raw("DELETE FROM " + w);
      if (inTransaction) {
        ASSERT_TRUE(m_service->bTrsBegin(nullptr, m_cnx, 0));
      }
      const std::string text = "SELECT seq FROM seq_1_to_" + std::to_string(rows) + "; INSERT INTO " + w +
                               " VALUES ('a'); INSERT INTO `" + m_table + "` VALUES (1, 0); INSERT INTO " + w +
                               " VALUES ('b')";
      int stmt = 0;
      EXPECT_FALSE(m_service->bExecute(&stmt, m_cnx, WideOfUTF8(text).c_str(), nullptr, 0));
      const std::string error = Narrow(m_service->piGetLastError()->pszGetError());
      EXPECT_NE(error.find("<1062>"), std::string::npos) << error;
      if (stmt != 0) m_service->bFreeStmt(m_cnx, stmt, 0);
      if (inTransaction) {
        EXPECT_TRUE(m_service->bTrsRollBack(m_cnx, 0, 0));
        EXPECT_EQ(written(), "");
      } else {
        // Each statement before the failing one committed on its own.
        EXPECT_EQ(written(), "a");
      }
      EXPECT_EQ(Truth(), kBefore);
    }
  }
  Raw("DROP TABLE " + w);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, TransactionCache,
                         testing::Combine(testing::Values(1252, 65001), testing::Bool()));

}  // namespace

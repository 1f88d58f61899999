// The host's own SQL text on each road that sends it (the SQL functions with and without bound
// values, their row lock, a query parsed or sent as written) through the loaded driver against
// the private server: a 1252 connection refuses a text holding a character its page cannot
// carry, sends nothing, and touches no row; every text the page carries, and every text on a
// 65001 connection, reaches the row it names. The rows are read back over a raw connection.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "driver/inadriversql.h"
#include "driver/inaerror.h"
#include "host/host_control.h"
#include "sql/isqlparserinformation.h"
#include "tests/support/loaded_roads.h"
#include "tests/support/loaded_types.h"
#include "values/any.h"

namespace {

// U+0151, which 1252 lacks, and 1252's own é and € above 0x7F.
const std::string kOdbl = "a\xC5\x91", kInPage = "a\xC3\xA9\xE2\x82\xAC";

enum class EWay { kSql, kSqlBound, kLockQuery, kParsed, kAsWritten };

class SqlTextPage : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    m_host = AddConnection(Utf8());
    m_table = NameOfRun("qxsqltext_");
    std::string err;
    ASSERT_TRUE(m_raw.exec("SET NAMES utf8mb4", &err)) << err;
    OpenService();
  }
  void TearDown() override { StopService(m_table); }
  bool Utf8() const { return std::get<0>(GetParam()) == 65001; }
  // The table anew: the row the host names, the row its '?' would name, and one of 1252's own.
  void Make() {
    std::string err;
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS `" + m_table + "`", &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE `" + m_table + "` (id INT PRIMARY KEY, v VARCHAR(20) CHARACTER SET utf8mb4)",
                           &err))
        << err;
    ASSERT_TRUE(m_raw.exec("INSERT INTO `" + m_table + "` VALUES (1, 'a?'), (2, '" + kOdbl + "'), (3, '" + kInPage + "')",
                           &err))
        << err;
  }
  // The ids left in the table, read over the raw connection.
  std::string Left() {
    RawRows rows;
    std::string err;
    if (!m_raw.query("SELECT GROUP_CONCAT(id ORDER BY id) FROM `" + m_table + "`", &rows, &err)) return "error " + err;
    return rows.empty() ? "none" : rows[0][0].value_or("");
  }
  std::string Refused() { return "refused " + std::to_string(m_service->piGetLastError()->dwGetErrorId()); }

  // sql (UTF-8; "{t}" stands for the table) run the way given: "done", "read <id>" for a row read,
  // "refused <error>".
  std::string Run(EWay way, std::string sql) {
    for (size_t at; (at = sql.find("{t}")) != std::string::npos;) sql.replace(at, 3, "`" + m_table + "`");
    const std::wstring text = WideOfUTF8(sql);
    if (way == EWay::kAsWritten || way == EWay::kParsed) {
      COpenRoad road;
      const std::string why =
          road.Open(m_driver, &m_loader, m_host, way == EWay::kParsed ? ERoad::kParsed : ERoad::kAsWritten, m_table, sql);
      if (!why.empty()) return "refused " + std::to_string(m_driver->piGetLastError()->dwGetErrorId());
      const std::string ids = road.Browse(true);
      return ids.empty() ? "read none" : "read " + ids.substr(0, ids.size() - 1);
    }
    if (way == EWay::kLockQuery) {
      if (!m_service->bTrsBegin(nullptr, m_cnx, 0)) return "no transaction";
      const BOOL locked = m_service->bSQLBloqueRequete(m_cnx, text.c_str(), 0);
      const std::string answer = locked ? "done" : Refused();
      m_service->bTrsRollBack(m_cnx, 0, 0);
      return answer;
    }
    // A bound value stands for "@" (the id bound: 0).
    STValParser entry;
    STValParser* entries[] = {&entry};
    CTabValParser values{1, entries, 0, nullptr};
    entry.clValue.SetI4(0);
    entry.nStart = static_cast<int>(text.find(L'@'));
    entry.nLength = 1;
    int stmt = 0;
    if (!m_service->bExecute(&stmt, m_cnx, text.c_str(), way == EWay::kSqlBound ? &values : nullptr, 0))
      return Refused();
    if (stmt == 0) return "done";
    CAny value;
    const wchar_t* id = nullptr;
    const std::string answer = !m_service->bFetch(m_cnx, stmt, 0)                ? "read none"
                               : !m_service->bGetValue(&value, m_cnx, stmt, 1, 0) ? Refused()
                               : value.__nCastToString(&id, nullptr) < 100        ? "read " + Narrow(id)
                                                                                  : "unreadable";
    m_service->bFreeStmt(m_cnx, stmt, 0);
    return answer;
  }

  std::string m_table;
};

// A text holding a character the 1252 page lacks used to go with '?' in its place and reach the
// row holding '?': refused now with the conversion error, nothing sent, no row touched.
TEST_P(SqlTextPage, TextBeyondThePageIsRefusedAndTouchesNoRow) {
  const std::string kConversion = "refused 60";
  const struct {
    EWay way;
    std::string sql;
    std::string on1252, on65001, left1252, left65001;
  } cases[] = {
      {EWay::kSql, "DELETE FROM {t} WHERE v='" + kOdbl + "'", kConversion, "done", "1,2,3", "1,3"},
      {EWay::kSql, "SELECT id FROM {t} WHERE v='" + kOdbl + "'", kConversion, "read 2", "1,2,3", "1,2,3"},
      {EWay::kSqlBound, "DELETE FROM {t} WHERE v='" + kOdbl + "' AND id > @", kConversion, "done", "1,2,3", "1,3"},
      {EWay::kSqlBound, "INSERT INTO {t} VALUES (@, '" + kOdbl + "')", kConversion, "done", "1,2,3", "0,1,2,3"},
      {EWay::kLockQuery, "SELECT * FROM {t} WHERE v='" + kOdbl + "'", kConversion, "done", "1,2,3", "1,2,3"},
      {EWay::kParsed, " WHERE v='" + kOdbl + "'", kConversion, "read 2", "1,2,3", "1,2,3"},
      {EWay::kAsWritten, " WHERE v='" + kOdbl + "'", "refused 77", "read 2", "1,2,3", "1,2,3"},
      // What the page carries goes as it always went.
      {EWay::kSql, "SELECT id FROM {t} WHERE v='" + kInPage + "'", "read 3", "read 3", "1,2,3", "1,2,3"},
      {EWay::kSqlBound, "DELETE FROM {t} WHERE v='" + kInPage + "' AND id > @", "done", "done", "1,2", "1,2"},
      {EWay::kLockQuery, "SELECT * FROM {t} WHERE v='" + kInPage + "'", "done", "done", "1,2,3", "1,2,3"},
      {EWay::kAsWritten, " WHERE v='" + kInPage + "'", "read 3", "read 3", "1,2,3", "1,2,3"},
  };
  for (const auto& c : cases) {
    Make();
    const std::string got = Run(c.way, c.sql);
    const std::string& want = Utf8() ? c.on65001 : c.on1252;
    EXPECT_EQ(got, want) << c.sql;
    EXPECT_EQ(Left(), Utf8() ? c.left65001 : c.left1252) << c.sql;
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, SqlTextPage, testing::Combine(testing::Values(1252, 65001), testing::Bool()));

}  // namespace

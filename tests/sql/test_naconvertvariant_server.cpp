// The date and time texts the private server sends, taken through the tests' raw client, land in
// DATE8, DATETIME and HEURE items as the host lays them out, or raise error 53; through the
// driver's own connection, dates that are no calendar date and empty texts.
#include <cstring>

#include "tests/mysql/live_connection.h"
#include "tests/sql/convert_test_util.h"
#include "tests/support/rawmysql.h"

namespace {

class ServerDates : public AnyTest {};

TEST_F(ServerDates, EveryServerDateAndTimeFormLandsOrRaises53) {
  TestServer server;
  if (!TestServer::fromEnv(&server)) FAIL() << TestServer::setupHint();
  RawMySQL lib;
  std::string err;
  // The server's own text for each SQL expression; bad: no date or time of day in it.
  const struct {
    const char* sql;
    const char* text;
    bool date, bad;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  } kRows[] = {
      {"CAST('2024-01-15' AS DATE)", "2024-01-15", true, false, 2024, 1, 15},
      {"CAST('2024-01-15 10:30:45.123456' AS DATETIME(0))", "2024-01-15 10:30:45", true, false, 2024, 1, 15, 10, 30,
       45},
      {"CAST('2024-01-15 10:30:45.123456' AS DATETIME(1))", "2024-01-15 10:30:45.1", true, false, 2024, 1, 15, 10, 30,
       45, 100},
      {"CAST('2024-01-15 10:30:45.123456' AS DATETIME(2))", "2024-01-15 10:30:45.12", true, false, 2024, 1, 15, 10, 30,
       45, 120},
      {"CAST('2024-01-15 10:30:45.123456' AS DATETIME(3))", "2024-01-15 10:30:45.123", true, false, 2024, 1, 15, 10, 30,
       45, 123},
      {"CAST('2024-01-15 10:30:45.123456' AS DATETIME(4))", "2024-01-15 10:30:45.1234", true, false, 2024, 1, 15, 10,
       30, 45, 123},
      {"CAST('2024-01-15 10:30:45.123456' AS DATETIME(5))", "2024-01-15 10:30:45.12345", true, false, 2024, 1, 15, 10,
       30, 45, 123},
      {"CAST('2024-01-15 10:30:45.987654' AS DATETIME(6))", "2024-01-15 10:30:45.987654", true, false, 2024, 1, 15, 10,
       30, 45, 987},
      {"TIMESTAMP('2024-01-15 10:30:45')", "2024-01-15 10:30:45", true, false, 2024, 1, 15, 10, 30, 45},
      {"CAST('10:30:45.123456' AS TIME(0))", "10:30:45", false, false, 0, 0, 0, 10, 30, 45},
      {"CAST('10:30:45.123456' AS TIME(1))", "10:30:45.1", false, false, 0, 0, 0, 10, 30, 45, 100},
      {"CAST('10:30:45.123456' AS TIME(2))", "10:30:45.12", false, false, 0, 0, 0, 10, 30, 45, 120},
      {"CAST('10:30:45.123456' AS TIME(3))", "10:30:45.123", false, false, 0, 0, 0, 10, 30, 45, 123},
      {"CAST('10:30:45.123456' AS TIME(4))", "10:30:45.1234", false, false, 0, 0, 0, 10, 30, 45, 123},
      {"CAST('10:30:45.123456' AS TIME(5))", "10:30:45.12345", false, false, 0, 0, 0, 10, 30, 45, 123},
      {"CAST('23:59:59.999999' AS TIME(6))", "23:59:59.999999", false, false, 0, 0, 0, 23, 59, 59, 999},
      {"CAST('-01:00:00' AS TIME)", "-01:00:00", false, true},
      {"CAST('24:00:00' AS TIME)", "24:00:00", false, true},
      {"CAST('838:59:59' AS TIME)", "838:59:59", false, true},
      {"CAST('-838:59:59.5' AS TIME(1))", "-838:59:59.5", false, true},
  };
  std::string sql = "SELECT ";
  for (const auto& row : kRows) sql += std::string(&row == kRows ? "" : ", ") + row.sql;
  RawRows rows;
  ASSERT_TRUE(rawQuery(lib, server, RawTransport::Tcp, sql, &rows, &err)) << err;
  ASSERT_EQ(rows.size(), 1u);
  CHostConnectionDescription host;
  CTestCnx cnx(&host, CP_UTF8, CP_UTF8);
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
  } kItems[] = {{NA_IT_DATE8, 9}, {NA_IT_DATETIME, 8}, {NA_IT_HEURE, 5}, {NA_IT_HEURE, 7}, {NA_IT_HEURE, 10}};
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const auto& row = kRows[i];
    ASSERT_TRUE(rows[0][i].has_value());
    const std::string& text = *rows[0][i];
    EXPECT_EQ(text, row.text) << row.sql;
    for (const auto& item : kItems) {
      Slot slot(&cnx, item.type, item.size);
      const bool bad = row.bad || (item.type == NA_IT_DATE8 && !row.date);
      EXPECT_EQ(slot.conv.bSetValueDB(text.c_str(), static_cast<unsigned int>(text.size()), CP_UTF8), !bad) << text;
      EXPECT_EQ(slot.bytes, bad ? Bytes(item.size, 0)
                                : DateBytes(item.type, item.size, row.y, row.mo, row.d, row.h, row.mi, row.s, row.ms))
          << text << " " << item.type << " " << item.size;
      EXPECT_EQ(slot.Raised(), bad ? Error53(ZV_PSTRA, item.type, text) : L"") << text;
    }
  }
}

// What the server sends through the driver's own connection, on both code pages and in both SQL
// modes, taken by converters on that connection.
class LiveServerValues : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveServerValues() : LiveConnection("_values") {}
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    if (m_pCnx) m_pCnx->SetStatic(true);  // the fixture owns it; the converters only count it
  }
};

TEST_P(LiveServerValues, ServerDatesUnderAllowInvalidDatesRaise53OrAreTheEmptyDate) {
  ASSERT_TRUE(Run("SET SESSION sql_mode = CONCAT(@@sql_mode, ',ALLOW_INVALID_DATES')"));
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT, d DATE, dt DATETIME(3))"));
  const struct {
    const char* date;
    const char* datetime;
    bool bad;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  } kRows[] = {
      {"2023-02-30", "2023-02-30 10:30:45.500", true},
      {"2023-04-31", "2023-04-31 23:59:59.999", true},
      {"2024-00-15", "2024-00-15 10:30:45.000", false, 0, 0, 0, 10, 30, 45, 0},
      {"2024-05-00", "2024-05-00 10:30:45.500", false, 0, 0, 0, 10, 30, 45, 500},
      {"0000-00-00", "0000-00-00 00:00:00.000", false},
      {"2024-02-29", "2024-02-29 10:30:45.500", false, 2024, 2, 29, 10, 30, 45, 500},
  };
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
  } kItems[] = {{NA_IT_DATE8, 9}, {NA_IT_DATETIME, 8}, {NA_IT_HEURE, 10}};
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const auto& row = kRows[i];
    ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (" + std::to_string(i) + ", '" + row.datetime + "', '" +
                    row.datetime + "')"));
    const std::string where = " FROM " + m_strTable + " WHERE id = " + std::to_string(i);
    const std::string date = Rows("SELECT d" + where), datetime = Rows("SELECT dt" + where);
    ASSERT_EQ(date, row.date);
    ASSERT_EQ(datetime, row.datetime);
    for (bool withTime : {false, true}) {
      const std::string& text = withTime ? datetime : date;
      for (const auto& item : kItems) {
        for (bool held : {false, true}) {
          Slot slot(m_pCnx.get(), item.type, item.size);
          if (held) {
            slot.conv.InitTypeVariantAny(ZV_DATETIME, 0);
            slot.conv.SetItemDesc(&slot.item, nullptr);
          }
          const std::string at = text + " " + std::to_string(item.type) + (held ? " held" : " slot");
          EXPECT_EQ(slot.conv.bSetValueDB(text.c_str(), static_cast<unsigned int>(text.size()),
                                          static_cast<unsigned>(m_pCnx->nGetServerCodePage())),
                    !row.bad)
              << at;
          EXPECT_EQ(slot.Raised(), row.bad ? Error53(ZV_PSTRA, item.type, text) : L"") << at;
          const Bytes want = row.bad ? Bytes(item.size, 0)
                                     : DateBytes(item.type, item.size, row.y, row.mo, row.d, withTime ? row.h : 0,
                                                 withTime ? row.mi : 0, withTime ? row.s : 0, withTime ? row.ms : 0);
          if (!held) {
            EXPECT_EQ(slot.bytes, want) << at;
            continue;
          }
          EXPECT_EQ(slot.conv.bIsNull(), row.bad) << at;
          // A held value goes back into a slot of the same item as it came.
          Slot back(m_pCnx.get(), item.type, item.size);
          CAny value;
          if (!row.bad && slot.conv.bGetValue(&value)) {
            EXPECT_TRUE(back.conv.bSetValue(&value)) << at;
          }
          EXPECT_EQ(back.bytes, row.bad ? Bytes(item.size, 0xEE) : want) << at;
        }
      }
    }
  }
}

TEST_P(LiveServerValues, EmptyServerTextIntoADateTimeOrNumberIsRefused) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT, v VARCHAR(8), b VARBINARY(8))"));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, '', ''), (2, NULL, NULL)"));
  // Taken as the client hands it over: a terminated text of length 0, no NULL pointer.
  MYSQL* h = m_pCnx->pGetHandle();
  const std::string sql = "SELECT v, b FROM " + m_strTable + " ORDER BY id";
  ASSERT_EQ(__mysql_real_query(h, sql.data(), sql.size()), 0);
  MYSQL_RES* result = __mysql_store_result(h);
  ASSERT_NE(result, nullptr);
  MYSQL_ROW empty = __mysql_fetch_row(result), null = __mysql_fetch_row(result);
  ASSERT_TRUE(empty != nullptr && null != nullptr && empty[0] != nullptr && null[0] == nullptr);
  ASSERT_EQ(__mysql_fetch_lengths(result)[0], 0u);
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
    bool refused;
  } kItems[] = {{NA_IT_DATETIME, 8, true}, {NA_IT_DATE8, 9, true},      {NA_IT_HEURE, 10, true},
                {NA_IT_R8, 8, true},       {NA_IT_I4, 4, true},         {NA_IT_MONETAIRE, 10, true},
                {NA_IT_TEXTE, 8, false},   {NA_IT_BINAIRE, 8, false}};
  const unsigned int cp = static_cast<unsigned>(m_pCnx->nGetServerCodePage());
  for (const auto& item : kItems) {
    for (int column : {0, 1}) {
      for (bool held : {false, true}) {
        Slot slot(m_pCnx.get(), item.type, item.size);
        if (held) {
          slot.conv.InitTypeVariantAny(ConverteItemToZVType(item.type), 0);
          slot.conv.SetItemDesc(&slot.item, nullptr);
        }
        const std::string at = std::to_string(item.type) + " " + std::to_string(column) + (held ? " held" : " slot");
        EXPECT_EQ(slot.conv.bSetValueDB(empty[column], 0, cp), !item.refused) << at;
        EXPECT_EQ(slot.Raised(), item.refused ? Error53(ZV_PSTRA, item.type, "") : L"") << at;
        EXPECT_EQ(slot.conv.bIsNull(), item.refused && held) << at;
        EXPECT_TRUE(held || slot.bytes == Bytes(item.size, 0)) << at;
        // The server's NULL is NULL for every type, never refused.
        EXPECT_TRUE(slot.conv.bSetValueDB(null[column], 0, cp)) << at;
        EXPECT_TRUE(slot.conv.bIsNull()) << at;
      }
    }
  }
  __mysql_free_result(result);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveServerValues,
                         testing::Combine(testing::Values(1252, 65001), testing::Bool()));

}  // namespace

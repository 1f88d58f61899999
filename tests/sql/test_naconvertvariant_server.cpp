// The date and time texts the private server sends, taken through the tests' raw client, land in
// DATE8, DATETIME and HEURE items as the host lays them out, or raise error 53.
#include <cstring>

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

}  // namespace

// Browses, seeks, filters and writes keyed by columns that are no text (integers at their limits,
// decimals, reals, dates and times, years, bits, enumerations and sets, binaries with NUL and 0xFF
// bytes), single and composite, unique with NULLs, descending, through the loaded library beside
// a raw connection of the client library. Each key is read through the item the host declares for
// its column and through a narrower one that holds some of its values inexactly. On the table road
// and a parsed query, in blocks of 1, 3, the default and the whole result, row cache on and off,
// on both code pages and in both SQL modes:
// - a browse both ways reads each row once in the order the raw connection reads them;
// - a seek from the first or the last match goes on from it in that order;
// - a filter between two bounds, each included or not, reads the rows the raw SELECT reads;
// - a modify or delete of each row read reaches that row alone (read back over the raw
//   connection), or is refused with a user error and nothing written.
// Left out: values an item cannot hold at all (a TIME beyond a day, an unsigned BIGINT above the
// signed range in a signed item), whose read fails; seeks and filter bounds compared at the
// item's precision (a date-time's milliseconds, a 4-byte real), which the host's value holds as
// its item does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "access/inatable.h"
#include "common/utf.h"
#include "driver/inadatasourcedescription.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_itemdescription.h"
#include "host/host_loader.h"
#include "host/host_sqlparser.h"
#include "host/host_values.h"
#include "platform/xerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nakjrecord.h"
#include "tests/support/loaded_file.h"
#include "tests/support/loaded_types.h"
#include "values/any.h"

namespace {

constexpr eNA_LOCKTYPE kNoLock{0};
constexpr unsigned int kNoRowCache = 0x10000;
constexpr unsigned short kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000, kComposite = 0x1000,
                         kDescending = 0x0400;

// A host item of the key: the type the driver's import gives its column (NA_IT_EMPTY), or one
// of the test's own.
struct SKeyItem {
  const wchar_t* name;
  eNA_ITEMTYPE type = NA_IT_EMPTY;
  unsigned int size = 0;
  int digits = 0, decimals = 0;
};

// A value the host hands over (a wide text the record converts to the item) and the same value
// as an SQL literal.
struct SValue {
  std::string host, sql;
};

// A filter's bounds.
struct SBounds {
  SValue low;
  bool lowIncluded;
  SValue high;
  bool highIncluded;
};

// A table keyed on v (or on the composite of its key columns), the host's items over it, and what
// is sought and filtered on it.
struct SKeyShape {
  std::string name;
  std::string columns;                  // the CREATE TABLE body; n INT NOT NULL tells the rows apart
  std::vector<std::string> keyColumns;  // the browse's order on the server
  std::vector<SKeyItem> items;          // the key's items, by column name
  unsigned short keyFlags;              // of the browse item (v, or the composite)
  std::vector<std::string> rows;        // each row's key literals, "," separated, in keyColumns' order
  std::vector<SValue> sought;           // single keys only
  std::vector<SBounds> filters;         // single keys only
  bool composite = false;
};

// The column's definition in a CREATE TABLE body allows NULL.
bool Nullable(const std::string& columns, const std::string& name) {
  size_t at = columns.rfind(name + " ", 0) == 0 ? 0 : columns.find(", " + name + " ");
  if (at == std::string::npos) return false;
  int depth = 0;
  size_t end = at + 2;
  for (; end < columns.size() && !(depth == 0 && columns[end] == ','); ++end)
    depth += columns[end] == '(' ? 1 : columns[end] == ')' ? -1 : 0;
  return columns.substr(at, end - at).find("NOT NULL") == std::string::npos;
}

std::string Joined(const std::vector<int>& v) {
  std::string s;
  for (int n : v) s += (s.empty() ? "" : " ") + std::to_string(n);
  return s;
}

SKeyShape Single(std::string name, const std::string& type, std::vector<std::string> values, std::vector<SValue> sought,
                 std::vector<SBounds> filters, SKeyItem item = {L"v"}, unsigned short flags = kUnique,
                 const std::string& key = "UNIQUE KEY (v)") {
  item.name = L"v";
  // Without NULLs v is NOT NULL: a unique key is browsed in blocks then.
  const bool nulls = std::find(values.begin(), values.end(), "NULL") != values.end();
  return {std::move(name),
          "id INT NOT NULL PRIMARY KEY, v " + type + (nulls ? " NULL" : " NOT NULL") + ", n INT NOT NULL, " + key,
          {"v"},
          {item},
          flags,
          std::move(values),
          std::move(sought),
          std::move(filters)};
}

// Values with each NULL twice over: a unique key holds several.
std::vector<std::string> Twice(std::vector<std::string> v) {
  const size_t n = v.size();
  for (size_t i = 0; i < n; ++i)
    if (v[i] == "NULL") v.push_back(v[i]);
  return v;
}

// A unique key allowing NULL on v held in item, the table's only key: its rows are named by v.
SKeyShape Alone(std::string name, const std::string& type, SKeyItem item, std::vector<std::string> rows,
                std::vector<SValue> sought = {}, std::vector<SBounds> filters = {}) {
  item.name = L"v";
  return {std::move(name), "v " + type + " NULL, n INT NOT NULL, UNIQUE KEY (v)", {"v"}, {item}, kUnique,
          std::move(rows), std::move(sought), std::move(filters)};
}

std::vector<SKeyShape> Shapes() {
  std::vector<SKeyShape> s;
  s.push_back(Single("TINYINT", "TINYINT", Twice({"-128", "127", "0", "-1", "NULL"}), {{"-128", "-128"}, {"127", "127"}},
                     {{{"-128", "-128"}, true, {"0", "0"}, false}, {{"-1", "-1"}, false, {"127", "127"}, true}}));
  s.push_back(Single("TINYINT UNSIGNED", "TINYINT UNSIGNED", Twice({"255", "0", "128", "127"}), {{"255", "255"}},
                     {{{"127", "127"}, false, {"255", "255"}, true}}));
  s.push_back(Single("SMALLINT UNSIGNED", "SMALLINT UNSIGNED", Twice({"65535", "0", "32768", "32767"}),
                     {{"65535", "65535"}, {"32768", "32768"}}, {{{"32767", "32767"}, true, {"65535", "65535"}, false}}));
  s.push_back(Single("MEDIUMINT", "MEDIUMINT", Twice({"-8388608", "8388607", "0"}), {{"-8388608", "-8388608"}},
                     {{{"-8388608", "-8388608"}, false, {"8388607", "8388607"}, true}}));
  s.push_back(Single("INT UNSIGNED", "INT UNSIGNED", Twice({"4294967295", "0", "2147483648", "2147483647"}),
                     {{"4294967295", "4294967295"}, {"2147483648", "2147483648"}},
                     {{{"2147483647", "2147483647"}, false, {"4294967295", "4294967295"}, true}}));
  s.push_back(Single("BIGINT", "BIGINT",
                     Twice({"-9223372036854775808", "9223372036854775807", "0", "-9223372036854775807", "NULL"}),
                     {{"-9223372036854775808", "-9223372036854775808"}, {"9223372036854775807", "9223372036854775807"}},
                     {{{"-9223372036854775808", "-9223372036854775808"}, true, {"0", "0"}, true},
                      {{"-9223372036854775808", "-9223372036854775808"}, false, {"9223372036854775807", "9223372036854775807"}, false}}));
  s.push_back(Single("BIGINT UNSIGNED", "BIGINT UNSIGNED",
                     Twice({"18446744073709551615", "0", "9223372036854775808", "9223372036854775807", "18446744073709551614"}),
                     {{"18446744073709551615", "18446744073709551615"}, {"9223372036854775808", "9223372036854775808"}},
                     {{{"9223372036854775807", "9223372036854775807"}, false, {"18446744073709551615", "18446744073709551615"}, true},
                      {{"9223372036854775808", "9223372036854775808"}, true, {"18446744073709551614", "18446744073709551614"}, false}}));
  s.push_back(Single("BIGINT UNSIGNED in a signed 8-byte item", "BIGINT UNSIGNED",
                     Twice({"9223372036854775807", "0", "9223372036854775806", "1"}),
                     {{"9223372036854775807", "9223372036854775807"}}, {}, {L"v", NA_IT_I8, 8}));
  s.push_back(Single("BIGINT in a 4-byte item", "BIGINT", Twice({"2147483647", "1", "-2147483648", "-1", "0"}),
                     {{"1", "1"}}, {}, {L"v", NA_IT_I4, 4}));
  s.push_back(Single("DECIMAL(38,0)", "DECIMAL(38,0)",
                     Twice({"99999999999999999999999999999999999999", "-99999999999999999999999999999999999999", "0",
                            "12345678901234567890123456789012345678", "NULL"}),
                     {{"99999999999999999999999999999999999999", "99999999999999999999999999999999999999"},
                      {"-99999999999999999999999999999999999999", "-99999999999999999999999999999999999999"}},
                     {{{"0", "0"}, false, {"99999999999999999999999999999999999999", "99999999999999999999999999999999999999"}, true}}));
  s.push_back(Single("DECIMAL(38,10)", "DECIMAL(38,10)",
                     Twice({"9999999999999999999999999999.9999999999", "-9999999999999999999999999999.9999999999",
                            "0.0000000001", "0", "-0.0000000001"}),
                     {{"0.0000000001", "0.0000000001"}, {"-9999999999999999999999999999.9999999999", "-9999999999999999999999999999.9999999999"}},
                     {{{"-0.0000000001", "-0.0000000001"}, true, {"0.0000000001", "0.0000000001"}, false}}));
  s.push_back(Single("DECIMAL(5,5)", "DECIMAL(5,5)", Twice({"0.99999", "-0.99999", "0", "0.00001", "-0.00001"}),
                     {{"0.00001", "0.00001"}, {"-0.99999", "-0.99999"}}, {{{"-0.00001", "-0.00001"}, false, {"0.99999", "0.99999"}, false}}));
  s.push_back(Single("DECIMAL(20,6) in a 2-decimal item", "DECIMAL(20,6)",
                     Twice({"1.005", "1.004", "1.006", "-1.005", "0.000001", "0"}), {{"0", "0"}}, {},
                     {L"v", NA_IT_DECIMAL, 9, 18, 2}));
  s.push_back(Single("DOUBLE", "DOUBLE",
                     Twice({"1.7976931348623157e308", "-1.7976931348623157e308", "4.9e-324", "-4.9e-324", "0.1", "0.3",
                            "-0.5e-300", "0", "2.2250738585072014e-308", "NULL"}),
                     {{"0.1", "0.1"}, {"1.7976931348623157e308", "1.7976931348623157e308"}},
                     {{{"0", "0"}, false, {"0.3", "0.3"}, true}, {{"-4.9e-324", "-4.9e-324"}, true, {"0.1", "0.1"}, false}}));
  s.push_back(Single("DOUBLE in a 4-byte real", "DOUBLE",
                     Twice({"0.1", "0.30000000000000004", "0.3", "16777217", "16777216", "1e-300", "-1e-300", "3.4028234663852886e38"}),
                     {}, {}, {L"v", NA_IT_R4, 4}));
  s.push_back(Single("FLOAT", "FLOAT", Twice({"3.40282e38", "-3.40282e38", "1.17549e-38", "0.1", "-0.1", "1.5", "0"}),
                     {{"1.5", "1.5"}}, {{{"-0.5", "-0.5"}, true, {"1.5", "1.5"}, false}}));
  s.push_back(Single("DATE", "DATE", Twice({"'1000-01-01'", "'9999-12-31'", "'2024-02-29'", "'1970-01-01'", "NULL"}),
                     {{"20240229", "'2024-02-29'"}, {"10000101", "'1000-01-01'"}},
                     {{{"10000101", "'1000-01-01'"}, false, {"20240229", "'2024-02-29'"}, true}}));
  s.push_back(Single("DATETIME(6)", "DATETIME(6)",
                     Twice({"'2024-02-29 23:59:59.999999'", "'2024-02-29 23:59:59.999'", "'2024-02-29 23:59:59.9995'",
                            "'1000-01-01 00:00:00.000001'", "'1000-01-01 00:00:00'", "'9999-12-31 23:59:59.999999'"}),
                     {}, {}));
  s.push_back(Single("DATETIME(3)", "DATETIME(3)",
                     Twice({"'2024-02-29 23:59:59.999'", "'2024-02-29 23:59:59.998'", "'1000-01-01 00:00:00.001'",
                            "'9999-12-31 23:59:59.999'", "NULL"}),
                     {{"20240229235959999", "'2024-02-29 23:59:59.999'"}},
                     {{{"20240229235959998", "'2024-02-29 23:59:59.998'"}, false, {"99991231235959999", "'9999-12-31 23:59:59.999'"}, true}}));
  s.push_back(Single("DATETIME in a date item", "DATETIME",
                     Twice({"'2024-02-29 00:00:00'", "'2024-02-29 12:00:00'", "'2024-02-29 23:59:59'", "'2024-03-01 00:00:00'"}),
                     {}, {}, {L"v", NA_IT_DATE8, 9}));
  s.push_back(Single("TIMESTAMP(2)", "TIMESTAMP(2)",
                     Twice({"'2024-02-29 23:59:59.99'", "'1970-01-01 00:00:01'", "'2038-01-19 03:14:07.99'", "NULL"}),
                     {{"19700101000001000", "'1970-01-01 00:00:01'"}}, {}));
  s.push_back(Single("TIME(3)", "TIME(3)", Twice({"'00:00:00'", "'23:59:59.999'", "'12:00:00.001'", "'00:00:00.001'"}),
                     {{"235959999", "'23:59:59.999'"}}, {{{"000000001", "'00:00:00.001'"}, true, {"235959999", "'23:59:59.999'"}, false}}));
  s.push_back(Single("YEAR", "YEAR", Twice({"1901", "2155", "0000", "2000", "NULL"}), {{"2155", "2155"}, {"1901", "1901"}},
                     {{{"1901", "1901"}, false, {"2155", "2155"}, false}}));
  s.push_back(Single("BIT(1)", "BIT(1)", Twice({"b'0'", "b'1'", "NULL"}), {}, {}));
  s.push_back(Single("BIT(64)", "BIT(64)",
                     Twice({"X'FFFFFFFFFFFFFFFF'", "X'0000000000000000'", "X'8000000000000001'", "X'7FFFFFFFFFFFFFFF'",
                            "X'00000000000000FF'"}),
                     {}, {}));
  s.push_back(Single("BIT(12)", "BIT(12)", Twice({"X'0FFF'", "X'0001'", "X'0100'", "X'0000'"}), {}, {}));
  s.push_back(Single("ENUM", "ENUM('z','a','m')", Twice({"'z'", "'a'", "'m'", "NULL"}), {{"a", "'a'"}, {"z", "'z'"}},
                     {{{"z", "'z'"}, false, {"m", "'m'"}, true}}));
  s.push_back(Single("SET", "SET('z','a','m')", Twice({"'z'", "'a'", "'z,a'", "'m'", "''"}),
                     {{"a", "'a'"}, {"z,a", "'z,a'"}}, {}));
  s.push_back(Single("BINARY(4)", "BINARY(4)",
                     Twice({"X'00000000'", "X'FFFFFFFF'", "X'00FF0000'", "X'FF000000'", "X'01'", "NULL"}), {}, {}));
  s.push_back(Single("VARBINARY(6)", "VARBINARY(6)",
                     Twice({"X'00'", "X'0000'", "''", "X'FF'", "X'FF00'", "X'FFFF'", "X'7F'", "X'80'"}), {}, {}));
  // A unique key allowing NULL, several rows NULL, alone: the rows have no other key.
  s.push_back(Alone("unique nullable BIGINT UNSIGNED, no primary key", "BIGINT UNSIGNED", {L"v"},
                    {"NULL", "18446744073709551615", "NULL", "0", "9223372036854775808", "NULL", "1"},
                    {{"18446744073709551615", "18446744073709551615"}},
                    {{{"0", "0"}, false, {"18446744073709551615", "18446744073709551615"}, true}}));
  s.push_back(Alone("unique nullable DATETIME(6), no primary key", "DATETIME(6)", {L"v"},
                    {"NULL", "'2024-02-29 23:59:59.999999'", "'2024-02-29 23:59:59.999'", "NULL", "'2024-02-29 23:59:59.9991'",
                    "'2024-02-29 23:59:59.9989'"}));
  s.push_back(Alone("unique DOUBLE in a 4-byte real, no primary key", "DOUBLE", {L"v", NA_IT_R4, 4},
                    {"0.1", "0.30000000000000004", "0.3", "16777217", "16777216", "NULL", "NULL", "0.1000000001"}));
  // Zero dates, which the default SQL mode allows.
  s.push_back(Single("DATE with zero dates", "DATE", {"'0000-00-00'", "'2024-02-29'", "'1000-01-01'", "'2024-00-00'", "'2024-02-00'"},
                     {{"20240229", "'2024-02-29'"}}, {}));
  s.push_back(Single("DATETIME with zero dates", "DATETIME",
                     {"'0000-00-00 00:00:00'", "'0000-00-00 00:00:01'", "'2024-02-29 00:00:00'", "'1000-01-01 00:00:00'"},
                     {}, {}));
  s.push_back(Alone("unique BIGINT in an 8-byte real, no primary key", "BIGINT", {L"v", NA_IT_R8, 8},
                    {"9007199254740993", "9007199254740992", "9007199254740994", "-9007199254740993", "-9007199254740992", "NULL"}));
  s.push_back(Alone("unique DECIMAL(38,10) in an 8-byte real, no primary key", "DECIMAL(38,10)", {L"v", NA_IT_R8, 8},
                    {"0.1", "0.1000000001", "0.3", "0.3000000001", "12345678901234567890.1234567890", "12345678901234567890.1234567891"}));
  s.push_back({"composite descending (DATE, DATETIME(6) in a date item)",
               "a DATE NOT NULL, b DATETIME(6) NOT NULL, n INT NOT NULL, PRIMARY KEY (a, b)",
               {"a", "b"},
               {{L"a"}, {L"b", NA_IT_DATE8, 9}},
               static_cast<unsigned short>(kPrimary | kDescending),
               {"'2024-02-29','2024-02-29 00:00:00'", "'2024-02-29','2024-02-29 00:00:00.000001'", "'2024-02-29','2024-02-29 12:00:00'",
                "'2024-02-29','2024-03-01 00:00:00'", "'1000-01-01','9999-12-31 23:59:59.999999'", "'1000-01-01','1000-01-01 00:00:00'"},
               {},
               {},
               true});
  s.push_back(Single("DECIMAL(38,38)", "DECIMAL(38,38)",
                     {"0.99999999999999999999999999999999999999", "-0.99999999999999999999999999999999999999",
                      "0.00000000000000000000000000000000000001", "0", "-0.00000000000000000000000000000000000001"},
                     {{"0.00000000000000000000000000000000000001", "0.00000000000000000000000000000000000001"}},
                     {{{"-0.00000000000000000000000000000000000001", "-0.00000000000000000000000000000000000001"}, false,
                       {"0.99999999999999999999999999999999999999", "0.99999999999999999999999999999999999999"}, true}}));
  s.push_back(Single("TIMESTAMP(6) in a date-time item, nullable", "TIMESTAMP(6) NULL",
                     {"'2024-02-29 23:59:59.999999'", "'2024-02-29 23:59:59.999'", "'2024-02-29 23:59:59.9995'", "NULL",
                      "'1970-01-01 00:00:01'", "'1970-01-01 00:00:01.000001'"},
                     {}, {}));
  s.push_back(Single("YEAR in a 2-byte item", "YEAR", {"1901", "2155", "0000", "2000"}, {{"2000", "2000"}},
                     {{{"1901", "1901"}, true, {"2155", "2155"}, false}}, {L"v", NA_IT_I2, 2}));
  s.push_back(Single("descending nullable DATETIME(6)", "DATETIME(6)",
                     {"'2024-02-29 23:59:59.999999'", "'2024-02-29 23:59:59.999'", "NULL", "'2024-02-29 23:59:59.9995'", "NULL"},
                     {}, {}, {L"v"}, kUnique | kDescending, "UNIQUE KEY (v DESC)"));
  s.push_back({"composite (TIME(6), YEAR, BIT(64))",
               "a TIME(6) NOT NULL, b YEAR NOT NULL, c BIT(64) NOT NULL, n INT NOT NULL, PRIMARY KEY (a, b, c)",
               {"a", "b", "c"},
               {{L"a"}, {L"b"}, {L"c"}},
               kPrimary,
               {"'12:00:00','2000',X'FFFFFFFFFFFFFFFF'", "'12:00:00','2000',X'0000000000000000'", "'12:00:00.000001','2000',X'01'",
                "'12:00:00.0005','1901',X'01'", "'12:00:00.0001','2155',X'8000000000000000'", "'00:00:00','0000',X'7FFFFFFFFFFFFFFF'"},
               {},
               {},
               true});
  // Descending browse key.
  s.push_back(Single("descending BIGINT", "BIGINT",
                     Twice({"-9223372036854775808", "9223372036854775807", "0", "NULL"}),
                     {{"0", "0"}}, {{{"-9223372036854775808", "-9223372036854775808"}, false, {"9223372036854775807", "9223372036854775807"}, true}},
                     {L"v"}, kUnique | kDescending, "UNIQUE KEY (v DESC)"));
  s.push_back(Single("descending ENUM", "ENUM('z','a','m')", {"'z'", "'a'", "'m'"}, {{"a", "'a'"}}, {}, {L"v"},
                     kUnique | kDescending, "UNIQUE KEY (v DESC)"));
  s.push_back(Single("ENUM, duplicates", "ENUM('z','a','m')", {"'a'", "'z'", "'m'", "'a'", "NULL", "'z'", "'a'"},
                     {{"a", "'a'"}, {"z", "'z'"}}, {}, {L"v"}, kDuplicates, "KEY (v)"));
  s.push_back(Single("BIGINT, duplicates", "BIGINT",
                     {"-9223372036854775808", "9223372036854775807", "0", "NULL", "0", "-9223372036854775808", "NULL"},
                     {{"0", "0"}}, {{{"-9223372036854775808", "-9223372036854775808"}, false, {"0", "0"}, true}},
                     {L"v"}, kDuplicates, "KEY (v)"));
  // Composite keys of mixed types, the primary key among them.
  s.push_back({"composite (BIGINT UNSIGNED, DATETIME(6), VARBINARY)",
               "a BIGINT UNSIGNED NOT NULL, b DATETIME(6) NOT NULL, c VARBINARY(4) NOT NULL, n INT NOT NULL, "
               "PRIMARY KEY (a, b, c)",
               {"a", "b", "c"},
               {{L"a"}, {L"b"}, {L"c"}},
               kPrimary,
               {"18446744073709551615,'2024-02-29 23:59:59.999999',X'00'",
                "18446744073709551615,'2024-02-29 23:59:59.999999',X'FF'",
                "18446744073709551615,'2024-02-29 23:59:59.999',X'00'",
                "18446744073709551615,'2024-02-29 23:59:59.9995',X''",
                "0,'1000-01-01 00:00:00',X'0000'",
                "0,'1000-01-01 00:00:00',X'00'",
                "0,'1000-01-01 00:00:00.000001',X'00'",
                "9223372036854775808,'1970-01-01 00:00:00',X'FFFF'",
                "9223372036854775808,'1970-01-01 00:00:00',X'FF'",
                "9223372036854775807,'9999-12-31 23:59:59.999999',X'7F'"},
               {},
               {},
               true});
  s.push_back({"composite (DOUBLE, DECIMAL(38,10), TIME(6))",
               "a DOUBLE NOT NULL, b DECIMAL(38,10) NOT NULL, c TIME(6) NOT NULL, n INT NOT NULL, UNIQUE KEY (a, b, c)",
               {"a", "b", "c"},
               {{L"a"}, {L"b"}, {L"c"}},
               kUnique,
               {"0.1,-0.0000000001,'23:59:59.999999'", "0.1,-0.0000000001,'23:59:59.999'", "0.1,0,'00:00:00.000001'",
                "0.1,0,'00:00:00'", "0.30000000000000004,1,'12:00:00'", "0.3,1,'12:00:00'",
                "-0e0,9999999999999999999999999999.9999999999,'00:00:00'", "1e300,-1,'00:00:00.0005'",
                "1e300,-1,'00:00:00.0001'", "1e300,-1,'00:00:00'"},
               {},
               {},
               true});
  return s;
}

class TypedKeysLoaded : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    ASSERT_TRUE(HostBindValues(m_loader.Control()));
  }
  void TearDown() override {
    std::string err;
    for (const std::string& t : m_tables) m_raw.exec("DROP TABLE IF EXISTS `" + t + "`", &err);
    Stop();
  }

  struct STable : SHostTable {
    const SKeyShape* shape = nullptr;
    std::wstring browse;
  };
  // The shape's table made and filled on the server, with the host's descriptions of it: each
  // column's item as the import describes it unless the shape says otherwise.
  STable* Make(const SKeyShape& shape) {
    STable& t = m_made.emplace_back();
    t.shape = &shape;
    const std::string name = NameOfRun("qx_tk") + "_" + std::to_string(m_made.size());
    m_tables.push_back(name);
    Raw("DROP TABLE IF EXISTS `" + name + "`");
    Raw("CREATE TABLE `" + name + "` (" + shape.columns + ")");
    Fill(name, shape);
    INADataSourceDescription* imported = m_driver->piGetTableDesc(WideOfUTF8(name).c_str(), HostOfCache(0));
    EXPECT_NE(imported, nullptr);
    std::vector<SHostItem> items;
    std::vector<int> parts;
    std::vector<std::pair<int, int>> digits;
    for (int i = 0; imported != nullptr && i < imported->nGetNumItems(); ++i) {
      INAItemDescription* item = imported->piNAGetItem(static_cast<unsigned int>(i));
      // The import's own composite keys: the shape says which the host declares.
      if (item->bIsComposedKey()) {
        item->nExternalRelease();
        continue;
      }
      const std::wstring& column = m_names.emplace_back(item->pszGetName());
      SHostItem h{column.c_str(), item->eNAGetItemType(), item->nGetItemSize(), 0, {}};
      digits.emplace_back(item->nGetIntegerPart(), item->nGetDecimalPart());
      item->nExternalRelease();
      if (column == L"id") h.keys = kPrimary;
      for (const SKeyItem& k : shape.items) {
        if (column != k.name) continue;
        if (k.type != NA_IT_EMPTY) h.type = k.type, h.size = k.size;
        if (!shape.composite) h.keys = shape.keyFlags;
        parts.push_back(static_cast<int>(items.size()));
      }
      items.push_back(h);
    }
    if (imported != nullptr) imported->nExternalRelease();
    if (shape.composite) items.push_back({L"k", NA_IT_BINAIRE, 40, static_cast<unsigned short>(shape.keyFlags | kComposite), parts});
    t.browse = shape.composite ? L"k" : L"v";
    t.Describe(name, items, [](const SHostItem& s) { return (s.keys & kPrimary) == 0; });
    // NULL where the server allows it.
    for (CHostItemDescription& h : t.items)
      if (h.m_wKeyFlags != kPrimary) h.m_bNullAllowed = Nullable(shape.columns, Narrow(h.pszGetName())) ? TRUE : FALSE;
    // Digits as the import gives them, or as the shape does.
    for (size_t i = 0; i < t.items.size(); ++i) {
      CHostItemDescription& h = t.items[i];
      const size_t column = i % items.size();
      if (column < digits.size()) std::tie(h.m_nIntegerPart, h.m_nDecimalPart) = digits[column];
      for (const SKeyItem& k : shape.items)
        if (std::wstring(h.pszGetName()) == k.name && k.type != NA_IT_EMPTY)
          h.m_nIntegerPart = k.digits - k.decimals, h.m_nDecimalPart = k.decimals;
    }
    return &t;
  }
  void Fill(const std::string& name, const SKeyShape& shape) {
    std::string values, columns;
    for (const std::string& c : shape.keyColumns) columns += c + ", ";
    if (shape.columns.rfind("id ", 0) == 0) columns += "id, ";
    for (size_t r = 0; r < shape.rows.size(); ++r) {
      const std::string n = std::to_string(r + 1);
      values += (values.empty() ? "(" : ",(") + shape.rows[r] + ", " +
                (shape.columns.rfind("id ", 0) == 0 ? n + ", " : "") + n + ")";
    }
    Raw("DELETE FROM `" + name + "`");
    Raw("INSERT INTO `" + name + "` (" + columns + "n) VALUES " + values);
  }
  // A descending key turns a table's browse round; a query's browse follows the query.
  std::string OrderBy(const STable& t, bool forward, bool parsed = false) {
    const bool descending = (t.shape->keyFlags & kDescending) != 0 && !parsed;
    const char* dir = forward != descending ? "" : " DESC";
    std::string s;
    for (const std::string& k : t.shape->keyColumns) s += (s.empty() ? "" : ", ") + k + dir;
    return " ORDER BY " + s + ", n" + dir;
  }
  // The n of the rows the raw SELECT reads in the browse's order.
  std::vector<int> Order(const STable& t, bool forward, bool parsed, const std::string& where = "") {
    RawRows rows;
    std::vector<int> out;
    if (!Raw("SELECT n FROM `" + t.name + "`" + where + OrderBy(t, forward, parsed), &rows)) return out;
    for (const RawRow& r : rows) out.push_back(std::stoi(r.at(0).value_or("0")));
    return out;
  }
  // Every row as key bytes and n, in the order of n.
  std::string State(const STable& t) {
    std::string hex;
    for (const std::string& k : t.shape->keyColumns) hex += (hex.empty() ? "IFNULL(HEX(" : ", '|', IFNULL(HEX(") + k + "), 'N')";
    RawRows rows;
    if (!Raw("SELECT CONCAT(" + hex + ", '=', n) FROM `" + t.name + "` ORDER BY n", &rows)) return "";
    std::string s;
    for (const RawRow& r : rows) s += r.at(0).value_or("NULL") + " ";
    return s;
  }

  std::string Open(SLoadedFile* f, STable& t, bool parsed, int cache, const std::string& where = "") {
    f->host = HostOfCache(cache);
    f->ctx = &m_contexts.emplace_back(static_cast<DWORD>(100 + m_contexts.size()), 1);
    f->item = t.browse.c_str();
    if (!parsed) return f->OpenTable(m_loader, &t.file, L"n");
    std::string columns;
    for (const std::string& c : t.shape->keyColumns) columns += c + ", ";
    if (t.shape->columns.rfind("id ", 0) == 0) columns += "id, ";
    return f->OpenQuery(m_driver, "SELECT " + columns + "n FROM " + t.name + where, t.catalogue, 0, nullptr, L"n");
  }
  // The last error's code and its message's first line.
  static std::string Error(const SLoadedFile& f) {
    // "<code> Message :\r\n<text>\r\n...": the code and the text.
    const std::string full = f.Error();
    const size_t text = full.find('\n');
    const std::string line = text == std::string::npos ? "" : full.substr(text + 1, full.find('\r', text) - text - 1);
    return full.substr(0, full.find(' ')) + " " + line;
  }
  // A query's result has no composite item: a composite key is browsed on the table alone.
  static bool Roads(const STable& t, bool parsed) { return !parsed || !t.shape->composite; }
  static std::string Where(const STable& t, bool parsed, int cache, bool rowCache) {
    return t.shape->name + (parsed ? ", parsed query" : ", table") + ", blocks of " +
           (cache == 0 ? "default" : cache < 0 ? "whole" : std::to_string(cache)) + (rowCache ? "" : ", no row cache");
  }

  // A browse from one end to the other: each row once, in the server's order.
  std::string Browse(STable& t, bool parsed, int cache, bool rowCache, bool forward) {
    const std::string where = Where(t, parsed, cache, rowCache) + (forward ? ", forward" : ", backward");
    SLoadedFile f;
    if (const std::string why = Open(&f, t, parsed, cache); !why.empty()) {
      f.Close(m_driver);
      return where + ": " + why.substr(0, why.find('\r')) + "\n";
    }
    const unsigned int flags = rowCache ? 0 : kNoRowCache;
    std::vector<int> seen;
    int n = f.Read(forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
    for (size_t guard = 0; n > 0 && guard < 2 * t.shape->rows.size() + 4; ++guard) {
      seen.push_back(n);
      n = f.Read(forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, flags);
    }
    std::string failure;
    if (n < 0) failure = where + ": read failed after " + Joined(seen) + ": " + Error(f) + "\n";
    const std::vector<int> want = Order(t, forward, parsed);
    if (seen != want) failure += where + ": read " + Joined(seen) + ", the server's " + Joined(want) + "\n";
    f.Close(m_driver);
    return failure;
  }

  // A seek of value from the first match (or the last), then reads to that end (back: to the
  // other end): the rows from the match on, in the server's order.
  std::string Seek(STable& t, bool parsed, int cache, bool rowCache, const SValue& value, bool fromFirst,
                   bool back = false) {
    const std::string where = Where(t, parsed, cache, rowCache) + ", seek of " + value.sql +
                              (fromFirst ? " from the first" : " from the last") + (back ? ", read back" : "");
    std::vector<int> want = Order(t, fromFirst != back, parsed);
    RawRows match;
    Raw("SELECT n FROM `" + t.name + "` WHERE v = " + value.sql + OrderBy(t, fromFirst, parsed) + " LIMIT 1", &match);
    const int first = match.empty() ? 0 : std::stoi(match[0].at(0).value_or("0"));
    want.erase(want.begin(), std::find(want.begin(), want.end(), first));
    SLoadedFile f;
    if (const std::string why = Open(&f, t, parsed, cache); !why.empty()) {
      f.Close(m_driver);
      return where + ": " + why.substr(0, why.find('\r')) + "\n";
    }
    const unsigned int flags = rowCache ? 0 : kNoRowCache;
    const CAny any = HostAny(false, false, value.host);
    std::vector<int> seen;
    int found = 0;
    int n = f.table->bHRecherche(f.ctx, f.item, &any, 0, 1, kNoLock, nullptr, fromFirst ? 1 : 0, flags) &&
                    f.table->bEvalHTrouve(f.ctx, f.item, &found, nullptr)
                ? (found != 0 ? f.Current() : 0)
                : -1;
    for (size_t guard = 0; n > 0 && guard < 2 * t.shape->rows.size() + 4; ++guard) {
      seen.push_back(n);
      n = f.Read(fromFirst != back ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, flags);
    }
    std::string failure;
    if (n < 0) failure = where + ": failed after " + Joined(seen) + ": " + Error(f) + "\n";
    if (seen != want) failure += where + ": read " + Joined(seen) + ", the server's " + Joined(want) + "\n";
    f.Close(m_driver);
    return failure;
  }

  // A filter between bounds, browsed both ways: the rows the raw SELECT reads, in its order.
  std::string Filter(STable& t, bool parsed, int cache, bool rowCache, const SBounds& b) {
    const std::string where = Where(t, parsed, cache, rowCache) + ", filter " + (b.lowIncluded ? "[" : "]") + b.low.sql +
                              ", " + b.high.sql + (b.highIncluded ? "]" : "[");
    const std::string condition = " WHERE v " + std::string(b.lowIncluded ? ">= " : "> ") + b.low.sql + " AND v " +
                                  (b.highIncluded ? "<= " : "< ") + b.high.sql;
    SLoadedFile f;
    if (const std::string why = Open(&f, t, parsed, cache); !why.empty()) {
      f.Close(m_driver);
      return where + ": " + why.substr(0, why.find('\r')) + "\n";
    }
    const unsigned int flags = rowCache ? 0 : kNoRowCache;
    const CAny low = HostAny(false, false, b.low.host), high = HostAny(false, false, b.high.host);
    std::string failure;
    if (!f.table->bHFiltre(f.ctx, f.item, &low, b.lowIncluded ? 1 : 0, &high, b.highIncluded ? 1 : 0, nullptr)) {
      failure = where + ": refused: " + Error(f) + "\n";
    } else {
      for (const bool forward : {true, false}) {
        std::vector<int> seen;
        int n = f.Read(forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
        for (size_t guard = 0; n > 0 && guard < 2 * t.shape->rows.size() + 4; ++guard) {
          seen.push_back(n);
          n = f.Read(forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, flags);
        }
        if (n < 0) failure += where + ": failed after " + Joined(seen) + ": " + Error(f) + "\n";
        const std::vector<int> want = Order(t, forward, parsed, condition);
        if (seen != want)
          failure += where + (forward ? " forward" : " backward") + ": read " + Joined(seen) + ", the server's " +
                     Joined(want) + "\n";
      }
    }
    f.Close(m_driver);
    return failure;
  }

  // A modify (n + 500) or a delete of the row n read on the browse item: that row alone changes,
  // or the write is refused with a user error and nothing is written.
  std::string Write(STable& t, bool parsed, bool modify, int row) {
    const std::string where = t.shape->name + (parsed ? ", parsed query" : ", table") + (modify ? ", modify" : ", delete") +
                              " of row " + std::to_string(row);
    const std::string q = "`" + t.name + "`", nText = std::to_string(row);
    Fill(t.name, *t.shape);
    const std::string before = State(t);
    Raw(modify ? "UPDATE " + q + " SET n = n + 500 WHERE n = " + nText : "DELETE FROM " + q + " WHERE n = " + nText);
    const std::string written = State(t);
    Fill(t.name, *t.shape);
    SLoadedFile f;
    if (const std::string why = Open(&f, t, parsed, 3); !why.empty()) {
      f.Close(m_driver);
      return where + ": " + why.substr(0, why.find('\r')) + "\n";
    }
    int n = f.Read(NA_PARSE_FIRST, 0);
    for (size_t guard = 0; n > 0 && n != row && guard < 2 * t.shape->rows.size(); ++guard) n = f.Read(NA_PARSE_NEXT, 0);
    if (n != row) {
      f.Close(m_driver);
      return where + ": the row is not read\n";
    }
    BOOL ok = FALSE;
    if (!modify) {
      ok = f.table->bHSupprime(f.ctx, 0, kNoLock);
    } else {
      CNAKJRecord* record = nullptr;
      ok = f.table->bGetRecord(f.ctx, &record) && record != nullptr;
      if (ok) {
        const int32_t value = row + 500;
        record->vSetItemValue(f.number, &value, 4, 0);
        ok = m_loader.bSetRecord(f.table, f.ctx, record) && f.table->bHModifie(f.ctx, 0, 0, kNoLock);
        record->vnRelease();
      }
    }
    int code = 0;
    if (!ok) code = f.table->piGetLastError(f.ctx)->pclGetXError()->nGetUserErrorCode();
    const std::string after = State(t);
    std::string failure;
    if (ok && after != written)
      failure = where + ": TRUE, the server holds " + after + "\nfor " + written + "\n";
    else if (!ok && (code == 0 || after != before))
      failure = where + ": FALSE (" + Error(f) + ", user error " + std::to_string(code) + "), the server holds " + after +
                "\nfor " + before + "\n";
    f.Close(m_driver);
    return failure;
  }

  // The shape named name, made.
  STable* MakeShape(const std::string& name) {
    for (const SKeyShape& shape : m_shapes)
      if (shape.name == name) return Make(shape);
    ADD_FAILURE() << "no shape " << name;
    return Make(m_shapes.front());
  }

  const std::vector<SKeyShape> m_shapes = Shapes();
  std::deque<STable> m_made;
  std::deque<std::wstring> m_names;
  std::vector<std::string> m_tables;
  std::deque<CHostContext> m_contexts;
};

const std::vector<int> kCaches = {1, 3, 0, -1};

TEST_P(TypedKeysLoaded, BrowsesReadEachRowOnceInTheServersOrder) {
  std::string failures;
  for (const SKeyShape& shape : m_shapes) {
    STable* t = Make(shape);
    for (const bool parsed : {false, true})
      if (Roads(*t, parsed))
        for (const int cache : kCaches)
          for (const bool rowCache : {true, false})
            for (const bool forward : {true, false}) failures += Browse(*t, parsed, cache, rowCache, forward);
  }
  EXPECT_EQ(failures, "");
}

TEST_P(TypedKeysLoaded, SeeksGoOnFromTheMatchInTheServersOrder) {
  std::string failures;
  for (const SKeyShape& shape : m_shapes) {
    if (shape.sought.empty()) continue;
    STable* t = Make(shape);
    for (const SValue& value : shape.sought)
      for (const bool parsed : {false, true})
        if (Roads(*t, parsed))
          for (const int cache : kCaches)
            for (const bool rowCache : {true, false})
              for (const bool fromFirst : {true, false}) failures += Seek(*t, parsed, cache, rowCache, value, fromFirst);
  }
  EXPECT_EQ(failures, "");
}

TEST_P(TypedKeysLoaded, FiltersReadTheRowsBetweenTheirBounds) {
  std::string failures;
  for (const SKeyShape& shape : m_shapes) {
    if (shape.filters.empty()) continue;
    STable* t = Make(shape);
    for (const SBounds& b : shape.filters)
      for (const bool parsed : {false, true})
        if (Roads(*t, parsed))
          for (const int cache : kCaches)
            for (const bool rowCache : {true, false}) failures += Filter(*t, parsed, cache, rowCache, b);
  }
  EXPECT_EQ(failures, "");
}

TEST_P(TypedKeysLoaded, WritesReachTheRowReadOrAreRefused) {
  std::string failures;
  for (const SKeyShape& shape : m_shapes) {
    STable* t = Make(shape);
    for (size_t r = 1; r <= shape.rows.size(); ++r)
      for (const bool parsed : {false, true})
        if (Roads(*t, parsed))
          for (const bool modify : {true, false}) failures += Write(*t, parsed, modify, static_cast<int>(r));
  }
  EXPECT_EQ(failures, "");
}

// A composite key of a DATETIME(6) that its date-time item holds to the millisecond goes on from
// block to block by the server's value of each row (it compared the item's 17 digits, which rows
// of other microseconds share, and skipped or read again rows beside them).
TEST_P(TypedKeysLoaded, CompositeKeyOfMicrosecondsReadsEachRowOnceInBlocks) {
  STable* t = MakeShape("composite (BIGINT UNSIGNED, DATETIME(6), VARBINARY)");
  std::string failures;
  for (const int cache : {1, 3})
    for (const bool forward : {true, false}) failures += Browse(*t, false, cache, true, forward);
  EXPECT_EQ(failures, "");
}

// A modify or delete of a row keyed by a value its item holds rounded (a DATETIME(6) held to the
// millisecond, a DOUBLE in a 4-byte real, a BIGINT or a DECIMAL in an 8-byte real) reaches that
// row alone (it reached every row the rounded value named).
TEST_P(TypedKeysLoaded, WriteOfARowKeyedByAValueItsItemRoundsReachesThatRowAlone) {
  std::string failures;
  for (const char* name : {"unique nullable DATETIME(6), no primary key", "unique DOUBLE in a 4-byte real, no primary key",
                           "composite (DOUBLE, DECIMAL(38,10), TIME(6))", "unique BIGINT in an 8-byte real, no primary key",
                           "unique DECIMAL(38,10) in an 8-byte real, no primary key"}) {
    STable* t = MakeShape(name);
    for (size_t r = 1; r <= t->shape->rows.size(); ++r)
      for (const bool modify : {true, false}) failures += Write(*t, false, modify, static_cast<int>(r));
  }
  EXPECT_EQ(failures, "");
}

// A seek on an ENUM or SET key goes on past the matches, either way, in the server's member order
// (it went on in the order of the members' texts).
TEST_P(TypedKeysLoaded, SeekOnAnEnumOrSetKeyGoesOnInMemberOrder) {
  std::string failures;
  for (const char* name : {"ENUM", "SET", "descending ENUM", "ENUM, duplicates"}) {
    STable* t = MakeShape(name);
    for (const SValue& value : t->shape->sought)
      for (const bool parsed : {false, true})
        for (const int cache : {1, -1})
          for (const bool fromFirst : {true, false})
            for (const bool back : {false, true}) failures += Seek(*t, parsed, cache, true, value, fromFirst, back);
  }
  EXPECT_EQ(failures, "");
}

// A parsed query browsed backward in blocks past a zero date of a NOT NULL column reads it once:
// the next block selects the NULLs in a form that takes no zero date for one (it read the zero
// date again and again).
TEST_P(TypedKeysLoaded, ParsedQueryReadsAZeroDateOnceBackwardInBlocks) {
  std::string failures;
  for (const char* name : {"DATE with zero dates", "DATETIME with zero dates"}) {
    STable* t = MakeShape(name);
    for (const bool rowCache : {true, false}) failures += Browse(*t, true, 1, rowCache, false);
  }
  EXPECT_EQ(failures, "");
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, TypedKeysLoaded,
                         testing::Combine(testing::Values(1252, 65001), testing::Bool()));

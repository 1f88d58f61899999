// Every MySQL column type with its edge values, for the tests that compare what the driver reads
// or writes with what the client library reads directly. The read comparison puts them all in one
// table (row r holds each column's value r, NULL past a column's last value; the key `id` holds
// 1, 2, ... in row order); the write comparison writes each value of a type through the host's add
// and modify and compares the server's bytes with those of a raw INSERT of its literal.
//
// A value is its SQL literal (UTF-8, for a connection in utf8mb4 in the default SQL mode) and,
// where the host can hold it, the same value as the host hands it: a wide text the record converts
// to the item's type (digits for dates and times, milliseconds at most), bytes for a binary item,
// or NULL. A value only SQL gives (an expression, or more than an item holds) is read only.
// Flags say where a value cannot be carried: kBeyond1252 holds characters a 1252 connection
// cannot write (refused there with user error 60 when the text reaches the driver wide),
// kNulInText a NUL only a memo holds.
//
// Zero dates are read only: the host's text of zeros is its empty date, which is written as NULL.
//
// Left out, with the reason: TIME values outside one day and dates that are no calendar date
// (their row cannot be read into the item; a browse's continuation past them is tested on its own).
#pragma once

#include <string>
#include <vector>

struct SColumnValue {
  enum Kind { kText, kBytes, kNull, kReadOnly };
  Kind kind;
  std::string host;  // UTF-8 text for kText (widened by the test), raw bytes for kBytes
  std::string sql;   // the literal of a raw INSERT
  unsigned int flags = 0;
};
inline constexpr unsigned int kBeyond1252 = 1;
// A NUL inside a text: a text item of the host's record ends at its first NUL, so only a memo
// carries it.
inline constexpr unsigned int kNulInText = 2;

struct SColumnType {
  const char* pszName;
  std::string type;  // the column's SQL type, NULL allowed
  std::vector<SColumnValue> values;
};

inline SColumnValue VText(std::string host, std::string sql) {
  return {SColumnValue::kText, std::move(host), std::move(sql)};
}
// A text whose literal is the same text quoted.
inline SColumnValue VQuoted(const std::string& text, unsigned int flags = 0) {
  std::string sql = "'";
  for (char c : text) sql += c == '\'' ? std::string("''") : c == '\\' ? std::string("\\\\") : std::string(1, c);
  return {SColumnValue::kText, text, sql + "'", flags};
}
inline SColumnValue VNumber(const std::string& n) { return {SColumnValue::kText, n, n}; }
inline std::string HexDigits(const std::string& bytes) {
  static const char* const hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) out += {hex[c >> 4], hex[c & 15]};
  return out;
}
// Bytes, written as a hexadecimal literal (a BIT(n) column takes them as its bits, most
// significant first).
inline SColumnValue VBytes(const std::string& bytes) {
  return {SColumnValue::kBytes, bytes, bytes.empty() ? "''" : "X'" + HexDigits(bytes) + "'"};
}
inline SColumnValue VNull() { return {SColumnValue::kNull, "", "NULL"}; }
inline SColumnValue VReadOnly(std::string sql) { return {SColumnValue::kReadOnly, "", std::move(sql)}; }

inline const std::vector<SColumnType>& EveryColumnType() {
  static const std::vector<SColumnType> columns = [] {
    const std::string quote = "it's \\ \"q\"", nul("a\0b", 3), emoji = "\xF0\x9F\x98\x80", euro = "\xE2\x82\xAC",
                      eacute = "\xC3\xA9", han = "\xE6\x9D\xB1", wide = "a" + han + "b" + euro + "c";
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string eacutes, zeroFF;
    for (int i = 0; i < 5000; ++i) eacutes += eacute;
    for (int i = 0; i < 40000; ++i) zeroFF += std::string("\0\xFF", 2);
    return std::vector<SColumnType>{
        {"i1", "TINYINT", {VNumber("-128"), VNumber("127"), VNumber("0"), VNull()}},
        {"u1", "TINYINT UNSIGNED", {VNumber("255"), VNumber("0"), VNumber("128"), VNull()}},
        {"i2", "SMALLINT", {VNumber("-32768"), VNumber("32767"), VNumber("0"), VNull()}},
        {"u2", "SMALLINT UNSIGNED", {VNumber("65535"), VNumber("0"), VNumber("32768")}},
        {"i3", "MEDIUMINT", {VNumber("-8388608"), VNumber("8388607"), VNumber("0")}},
        {"u3", "MEDIUMINT UNSIGNED", {VNumber("16777215"), VNumber("0")}},
        {"i4", "INT", {VNumber("-2147483648"), VNumber("2147483647"), VNumber("0"), VNull()}},
        {"u4", "INT UNSIGNED", {VNumber("4294967295"), VNumber("0"), VNumber("2147483648")}},
        {"i8", "BIGINT", {VNumber("-9223372036854775808"), VNumber("9223372036854775807"), VNumber("0"), VNull()}},
        {"u8", "BIGINT UNSIGNED", {VNumber("18446744073709551615"), VNumber("0"), VNumber("9223372036854775808")}},
        {"bo", "BOOLEAN", {VNumber("1"), VNumber("0"), VNumber("-128")}},
        {"d5", "DECIMAL(5,5)", {VNumber("0.99999"), VNumber("-0.99999"), VNumber("0"), VNumber("0.00001")}},
        {"d10",
         "DECIMAL(10,2)",
         {VNumber("99999999.99"), VNumber("-99999999.99"), VNumber("0"), VNumber("0.01"), VNumber("-12345678.99")}},
        {"d18", "DECIMAL(18,0)", {VNumber("999999999999999999"), VNumber("-999999999999999999"), VNumber("0")}},
        {"d20", "DECIMAL(20,6)", {VNumber("99999999999999.999999"), VNumber("-0.000001"), VNumber("0")}},
        {"d38",
         "DECIMAL(38,10)",
         {VNumber("9999999999999999999999999999.9999999999"), VNumber("-9999999999999999999999999999.9999999999"),
          VNumber("0.0000000001"), VNumber("0"), VNumber("-1234567890123456789012345678.0123456789")}},
        {"d38i",
         "DECIMAL(38,0)",
         {VNumber("99999999999999999999999999999999999999"), VNumber("-99999999999999999999999999999999999999"),
          VNumber("0"), VNull()}},
        {"f",
         "FLOAT",
         {VNumber("3.40282e38"), VNumber("-1.17549e-38"), VNumber("0"), VNumber("1.5"), VNumber("-0.000123457"),
          VNumber("-123457"), VNull()}},
        {"db",
         "DOUBLE",
         {VNumber("1.7976931348623157e308"), VNumber("-2.2250738585072014e-308"), VNumber("0"),
          VNumber("4.9e-324"), VNumber("0.1"), VNull()}},
        {"dt",
         "DATE",
         {VText("10000101", "'1000-01-01'"), VText("99991231", "'9999-12-31'"), VText("20240229", "'2024-02-29'"),
          VReadOnly("'0000-00-00'"), VNull()}},
        {"tm",
         "TIME",
         {VText("000000000", "'00:00:00'"), VText("235959000", "'23:59:59'"), VText("120001000", "'12:00:01'"),
          VNull()}},
        {"tm3",
         "TIME(3)",
         {VText("235959999", "'23:59:59.999'"), VText("000000001", "'00:00:00.001'"),
          VText("000000000", "'00:00:00'"), VText("123456789", "'12:34:56.789'")}},
        {"tm6",
         "TIME(6)",
         {VReadOnly("'23:59:59.999999'"), VReadOnly("'00:00:00.000001'"), VText("102030500", "'10:20:30.5'")}},
        {"dm",
         "DATETIME",
         {VText("10000101000000000", "'1000-01-01 00:00:00'"), VText("99991231235959000", "'9999-12-31 23:59:59'"),
          VReadOnly("'0000-00-00 00:00:00'"), VNull()}},
        {"dm1",
         "DATETIME(1)",
         {VText("20240229123456700", "'2024-02-29 12:34:56.7'"), VText("10000101000000100", "'1000-01-01 00:00:00.1'"),
          VText("20240229235959900", "'2024-02-29 23:59:59.9'")}},
        {"dm2", "DATETIME(2)", {VText("20240229235959990", "'2024-02-29 23:59:59.99'")}},
        {"dm3",
         "DATETIME(3)",
         {VText("99991231235959999", "'9999-12-31 23:59:59.999'"),
          VText("10000101000000001", "'1000-01-01 00:00:00.001'")}},
        {"dm4", "DATETIME(4)", {VText("20240229235959999", "'2024-02-29 23:59:59.999'")}},
        {"dm5", "DATETIME(5)", {VText("00010101000000001", "'0001-01-01 00:00:00.001'")}},
        {"dm6",
         "DATETIME(6)",
         {VReadOnly("'9999-12-31 23:59:59.999999'"), VReadOnly("'2000-01-01 00:00:00.000001'"),
          VText("20240229235959999", "'2024-02-29 23:59:59.999'")}},
        {"ts",
         "TIMESTAMP NULL",
         {VText("19700102000001000", "'1970-01-02 00:00:01'"), VText("20380118031407000", "'2038-01-18 03:14:07'"),
          VReadOnly("'0000-00-00 00:00:00'"), VNull()}},
        {"ts3", "TIMESTAMP(3) NULL", {VText("20240229235959123", "'2024-02-29 23:59:59.123'"), VNull()}},
        {"ts6",
         "TIMESTAMP(6) NULL",
         {VReadOnly("'2038-01-18 03:14:07.999999'"), VReadOnly("'2001-02-03 04:05:06.000001'"),
          VText("20380119031407999", "'2038-01-19 03:14:07.999'")}},
        {"yr", "YEAR", {VNumber("1901"), VNumber("2155"), VNumber("0000"), VNull()}},
        {"cu",
         "CHAR(10) CHARACTER SET utf8mb4",
         {VQuoted("a"), VQuoted(""), VQuoted(eacute + euro + emoji, kBeyond1252), VQuoted("0123456789"),
          VQuoted(nul, kNulInText), VQuoted(quote), VQuoted(eacute + euro), VQuoted(han, kBeyond1252), VNull()}},
        {"vu",
         "VARCHAR(20) CHARACTER SET utf8mb4",
         {VQuoted("x"), VQuoted(""), VQuoted(quote), VQuoted(emoji + " \xF0\x90\x8D\x88", kBeyond1252),
          VQuoted("Z\xC3\xBCrich \xC5\x91", kBeyond1252), VQuoted(nul, kNulInText), VQuoted(wide, kBeyond1252),
          VNull()}},
        {"vub",
         "VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin",
         {VQuoted("Ab"), VQuoted(emoji, kBeyond1252), VQuoted(""), VNull()}},
        {"vl",
         "VARCHAR(20) CHARACTER SET latin1",
         {VQuoted("Gr\xC3\xB6\xC3\x9F!"), VQuoted(""), VQuoted(euro + " \xC3\xBF"), VQuoted(nul, kNulInText),
          VQuoted(quote), VNull()}},
        {"vlb",
         "VARCHAR(20) CHARACTER SET latin1 COLLATE latin1_bin",
         // The five characters 1252 leaves undefined.
         {VQuoted("\xC3\x89t\xC3\xA9"), VQuoted(""), VReadOnly("_latin1 X'818D8F909D'")}},
        {"tu",
         "TEXT CHARACTER SET utf8mb4",
         {VQuoted("memo"), VQuoted(""), VQuoted(nul, kNulInText), VQuoted(emoji + " " + eacute, kBeyond1252),
          VQuoted(std::string(1, '\0'), kNulInText), VQuoted(quote), VQuoted(eacute + euro),
          VQuoted("a" + han + "b", kBeyond1252), VNull()}},
        {"tub",
         "MEDIUMTEXT CHARACTER SET utf8mb4 COLLATE utf8mb4_bin",
         {VQuoted(emoji, kBeyond1252), VQuoted(std::string("a\0", 2), kNulInText), VQuoted(""), VQuoted("AbC"),
          VNull()}},
        {"tl", "TEXT CHARACTER SET latin1", {VQuoted(nul, kNulInText), VQuoted(eacute + euro), VQuoted(""),
                                             VQuoted(quote + eacute), VNull()}},
        {"ltx", "LONGTEXT CHARACTER SET utf8mb4", {VQuoted(eacutes), VQuoted("")}},
        // The columns the driver creates for wide items.
        {"vs2", "VARCHAR(20) CHARACTER SET ucs2", {VQuoted(wide, kBeyond1252), VQuoted(""), VQuoted(eacute), VNull()}},
        {"ls2", "LONGTEXT CHARACTER SET ucs2", {VQuoted(wide, kBeyond1252), VQuoted(""), VQuoted(quote), VNull()}},
        // BINARY pads with NUL bytes.
        {"bn",
         "BINARY(4)",
         {VBytes(std::string("\0\1\2\xFF", 4)), VBytes(std::string(1, '\0')), VBytes("abc"), VBytes(""),
          VBytes(std::string("a\0\0\0", 4)), VNull()}},
        {"bn12", "BINARY(12)", {VBytes("abc"), VBytes(std::string("\0a\0", 3)), VNull()}},
        {"vb",
         "VARBINARY(16)",
         {VBytes(std::string("\0\xFF\x80\xE9", 4)), VBytes(""), VBytes(std::string(1, '\0')), VBytes("\\'"),
          VNull()}},
        // Every byte value.
        {"vb256", "VARBINARY(256)", {VBytes(all)}},
        {"bl256", "MEDIUMBLOB", {VBytes(all)}},
        {"vcb", "VARCHAR(8) CHARACTER SET binary", {VBytes("\xFF" + std::string(1, '\0')), VBytes("")}},
        {"bl", "BLOB", {VBytes(std::string("\0\xFF\x80\xE9", 4)), VBytes(""), VBytes(std::string(1, '\0')),
                        VBytes(nul), VNull()}},
        {"lbl", "LONGBLOB", {VBytes(zeroFF), VBytes("")}},
        {"en",
         "ENUM('a','\xC3\xA9','\xF0\x9F\x98\x80','c d')",
         {VQuoted("a"), VQuoted(eacute), VQuoted(emoji, kBeyond1252), VQuoted("c d"), VNull()}},
        {"st", "SET('a','b','c')", {VQuoted("a,c"), VQuoted(""), VQuoted("a,b,c"), VNull()}},
        // A BIT(n) is its (n + 7) / 8 bytes, most significant first.
        {"b1", "BIT(1)", {VBytes(std::string(1, '\0')), VBytes("\x01"), VNull()}},
        {"b8", "BIT(8)", {VBytes("\xFF"), VBytes(std::string(1, '\0')), VBytes("\x80"), VNull()}},
        {"b12", "BIT(12)", {VBytes("\x0F\xFF"), VBytes(std::string("\0\x01", 2))}},
        {"b64",
         "BIT(64)",
         {VBytes(std::string(8, '\xFF')), VBytes(std::string(8, '\0')),
          VBytes(std::string("\x80\0\0\0\0\0\0\x01", 8)), VNull()}},
        {"js",
         "JSON",
         {VQuoted("{\"a\": \"" + emoji + "\"}", kBeyond1252), VQuoted("[]"), VQuoted("\"\\u0000\""),
          VQuoted("{\"a\": [1, \"x\"]}"), VNull()}},
    };
  }();
  return columns;
}

// The rows a table of the columns holds: the most values of any column.
inline size_t EveryColumnTypeRows(const std::vector<SColumnType>& columns = EveryColumnType()) {
  size_t n = 0;
  for (const SColumnType& c : columns) n = c.values.size() > n ? c.values.size() : n;
  return n;
}

// "(id INT PRIMARY KEY, <column> <type>, ...)" for the columns (every type unless given).
inline std::string EveryColumnTypeBody(const std::vector<SColumnType>& columns = EveryColumnType()) {
  std::string body = "(id INT PRIMARY KEY";
  for (const SColumnType& c : columns) body += std::string(", `") + c.pszName + "` " + c.type;
  return body + ")";
}

// The INSERT of row r (0-based) into table (quoted).
inline std::string EveryColumnTypeInsert(const std::string& table, size_t r,
                                         const std::vector<SColumnType>& columns = EveryColumnType()) {
  std::string sql = "INSERT INTO " + table + " VALUES (" + std::to_string(r + 1);
  for (const SColumnType& c : columns)
    sql += ", " + (r < c.values.size() ? c.values[r].sql : std::string("NULL"));
  return sql + ")";
}

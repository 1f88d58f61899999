// Every MySQL column type with its edge values (tests/support/every_column_type.h, and values only
// a text can carry) read through the SQL functions of the loaded driver, on both code pages and in
// both SQL modes, each value compared with what the client library reads directly. The host gets
// every value as a wide text, and a binary column's bytes through the BLOB read; the driver's
// value is decoded from the host's value, the client's text brought to the same form. Where the
// host's form differs from the client's text, the expected value is the client's with the
// difference applied:
// - a DATE comes as its eight digits and a DATETIME as its date digits, a blank and the time: the
//   host's date text forms, which its conversions take by length;
// - on a 1252 connection the server sends '?' for each character its page cannot hold (the
//   five bytes 1252 leaves undefined are characters of that page, and come as they are);
// - a row's text is a zero-terminated wide text: a NUL ends it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "driver/inadriversql.h"
#include "driver/inaerror.h"
#include "host/host_control.h"
#include "tests/support/every_column_type.h"
#include "tests/support/host_text.h"
#include "tests/support/loaded_types.h"
#include "values/any.h"

namespace {

// A long value's start, for the report of a difference.
std::string Cut(const std::string& s) { return s.size() <= 100 ? s : s.substr(0, 100) + "..."; }

// The columns: every type, and values beyond what a record's items hold.
const std::vector<SColumnType>& Columns() {
  static const std::vector<SColumnType> columns = [] {
    std::vector<SColumnType> all = EveryColumnType();
    const std::string nines35(35, '9'), nines30(30, '9');
    all.push_back({"d65",
                   "DECIMAL(65,30)",
                   {VNumber(nines35 + "." + nines30), VNumber("-" + nines35 + "." + nines30),
                    VNumber("0." + std::string(29, '0') + "1"), VNumber("0"), VNull()}});
    all.push_back({"d65i", "DECIMAL(65,0)", {VNumber(std::string(65, '9')), VNumber("-" + std::string(65, '9'))}});
    all.push_back({"tmx",
                   "TIME(6)",
                   {VReadOnly("'838:59:59'"), VReadOnly("'-838:59:59'"), VReadOnly("'-00:00:01.5'"),
                    VReadOnly("'100:00:00.000001'")}});
    all.push_back(
        {"dm6z", "DATETIME(6)", {VReadOnly("'0000-00-00 00:00:00.000000'"), VReadOnly("'2024-02-29 00:00:00.5'")}});
    return all;
  }();
  return columns;
}

// Bytes only the BLOB read hands over as they are.
bool Binary(const SColumnType& c) {
  return c.type.find("BINARY") != std::string::npos || c.type.find("BLOB") != std::string::npos ||
         c.type.find("BIT") != std::string::npos || c.type.find("binary") != std::string::npos;
}

// The client's text as the host's wide text holds it.
std::string Expected(const SColumnType& c, const std::string& raw, bool cp1252) {
  if (c.type == "DATE" || c.type.rfind("DATETIME", 0) == 0) {
    std::string digits;
    for (char ch : raw)
      if (ch != '-') digits += ch;
    return digits;
  }
  std::u32string cps = CodePoints(raw);
  static const std::u32string undefined = U"\u0081\u008D\u008F\u0090\u009D";
  if (cp1252)
    for (char32_t& ch : cps)
      if (!In1252(ch) && undefined.find(ch) == std::u32string::npos) ch = U'?';
  return Utf8Of(cps);
}

// A text (UTF-8) in the connection's page, as the server sends it: UTF-8, or 1252 (where the
// five bytes 1252 leaves undefined stand for themselves).
std::string InPage(const std::string& text, bool cp1252) {
  if (!cp1252) return text;
  static const std::map<char32_t, char> bytes = [] {
    std::map<char32_t, char> m;
    for (int b = 0; b < 256; ++b) {
      const std::u32string c = CodePoints(FromPage("CP1252", std::string(1, static_cast<char>(b))));
      m[c == U"?" && b != '?' ? static_cast<char32_t>(b) : c[0]] = static_cast<char>(b);
    }
    return m;
  }();
  std::string out;
  for (char32_t c : CodePoints(text)) out += bytes.count(c) != 0 ? bytes.at(c) : '?';
  return out;
}

class SqlFunctionTypes : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    m_table = NameOfRun("qx_sqlf_types_");
    std::string err;
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_table + " " + EveryColumnTypeBody(Columns()), &err)) << err;
    for (size_t r = 0; r < EveryColumnTypeRows(Columns()); ++r)
      ASSERT_TRUE(m_raw.exec(EveryColumnTypeInsert(m_table, r, Columns()), &err)) << err;
    m_columns = "id";
    for (const SColumnType& c : Columns()) m_columns += std::string(", ") + c.pszName;
    ASSERT_TRUE(m_raw.query("SELECT " + m_columns + " FROM " + m_table + " ORDER BY id", &m_rows, &err)) << err;
    m_host = AddConnection(!Cp1252());
    OpenService();
  }
  void TearDown() override { StopService(m_table); }
  bool Cp1252() const { return std::get<0>(GetParam()) == 1252; }
  std::string Error() { return Narrow(m_service->piGetLastError()->pszGetError()); }

  RawRows m_rows;
  std::string m_table, m_columns;
};

TEST_P(SqlFunctionTypes, EveryValueReadsAsTheClientReadsIt) {
  const std::string text = "SELECT " + m_columns + " FROM " + m_table + " ORDER BY id";
  const std::wstring sql(text.begin(), text.end());
  int stmt = 0;
  ASSERT_TRUE(m_service->bExecute(&stmt, m_cnx, sql.c_str(), nullptr, 0)) << Error();
  ASSERT_NE(stmt, 0);
  // The row text is read over the columns before the first binary one.
  int rowColumns = 1;
  while (!Binary(Columns()[static_cast<size_t>(rowColumns - 1)])) ++rowColumns;
  std::string diff;
  size_t r = 0;
  for (; m_service->bFetch(m_cnx, stmt, 0); ++r) {
    ASSERT_LT(r, m_rows.size());
    const RawRow& raw = m_rows[r];
    std::string rowWant;
    for (size_t c = 0; c < raw.size(); ++c) {
      const SColumnType* type = c == 0 ? nullptr : &Columns()[c - 1];
      const bool binary = type != nullptr && Binary(*type);
      CAny value;
      const BOOL read = binary ? m_service->bGetBLOBValue(&value, m_cnx, stmt, static_cast<unsigned int>(c + 1), 0)
                               : m_service->bGetValue(&value, m_cnx, stmt, static_cast<unsigned int>(c + 1), 0);
      const std::string got = read ? DecodedAny(value) : "<not read: " + Error() + ">";
      const std::string want = !raw[c]     ? "NULL"
                               : binary    ? Hex(reinterpret_cast<const unsigned char*>(raw[c]->data()), raw[c]->size())
                               : c == 0    ? *raw[c]
                                           : Expected(*type, *raw[c], Cp1252());
      const std::string where = "row " + std::to_string(r + 1) + " " + (c == 0 ? "id" : type->pszName);
      if (got != want) diff += where + ": " + Cut(got) + " <> " + Cut(want) + "\n";
      // A text's bytes are those the server sent.
      if (!binary && raw[c]) {
        const std::string bytes = InPage(want, Cp1252());
        const std::string blobWant = Hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        const std::string blob = m_service->bGetBLOBValue(&value, m_cnx, stmt, static_cast<unsigned int>(c + 1), 0)
                                     ? DecodedAny(value)
                                     : "<not read: " + Error() + ">";
        if (blob != blobWant) diff += where + " bytes: " + Cut(blob) + " <> " + Cut(blobWant) + "\n";
      }
      if (static_cast<int>(c) < rowColumns) rowWant += (c > 0 ? "|" : "") + (raw[c] ? want : "");
    }
    rowWant.resize(std::min(rowWant.size(), rowWant.find('\0')));
    CAny row;
    const std::string rowGot = m_service->bGetRow(&row, m_cnx, stmt, L"|", rowColumns, 0) ? DecodedAny(row) : Error();
    if (rowGot != rowWant) diff += "row " + std::to_string(r + 1) + ": " + Cut(rowGot) + " <> " + Cut(rowWant) + "\n";
  }
  EXPECT_EQ(r, m_rows.size());
  EXPECT_EQ(diff, "");
  EXPECT_TRUE(m_service->bFreeStmt(m_cnx, stmt, 0));
}

// A date-time with a fraction used to come with the server's dashes, one without it as digits:
// each comes as digits now, whether read as a text, as bytes or in a row.
TEST_P(SqlFunctionTypes, DateTimeWithAFractionComesAsDigitsLikeOneWithout) {
  int stmt = 0;
  ASSERT_TRUE(m_service->bExecute(&stmt, m_cnx,
                                  L"SELECT CAST('2024-02-29 12:34:56' AS DATETIME), "
                                  L"CAST('2024-02-29 12:34:56.7' AS DATETIME(1)), "
                                  L"CAST('0000-00-00 00:00:00.000001' AS DATETIME(6))",
                                  nullptr, 0))
      << Error();
  ASSERT_TRUE(m_service->bFetch(m_cnx, stmt, 0));
  std::vector<std::string> got;
  CAny value;
  for (unsigned int c = 1; c <= 3; ++c) {
    got.push_back(m_service->bGetValue(&value, m_cnx, stmt, c, 0) ? DecodedAny(value) : Error());
    got.push_back(m_service->bGetBLOBValue(&value, m_cnx, stmt, c, 0) ? DecodedAny(value) : Error());
  }
  got.push_back(m_service->bGetRow(&value, m_cnx, stmt, L",", 0, 0) ? DecodedAny(value) : Error());
  const std::vector<std::string> want = {
      "20240229 12:34:56",        Hex(reinterpret_cast<const unsigned char*>("20240229 12:34:56"), 17),
      "20240229 12:34:56.7",      Hex(reinterpret_cast<const unsigned char*>("20240229 12:34:56.7"), 19),
      "00000000 00:00:00.000001", Hex(reinterpret_cast<const unsigned char*>("00000000 00:00:00.000001"), 24),
      "20240229 12:34:56,20240229 12:34:56.7,00000000 00:00:00.000001"};
  EXPECT_EQ(got, want);
  EXPECT_TRUE(m_service->bFreeStmt(m_cnx, stmt, 0));
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, SqlFunctionTypes,
                         testing::Combine(testing::Values(1252, 65001), testing::Bool()));

}  // namespace

// Host values bound into the host's own SQL text (the SQL functions' execute with values) through
// the loaded driver, against a raw INSERT of each value's literal: for every column type and every
// host value type the host binds to it, the server must then hold the same bytes (read over a raw
// connection), and "WHERE v = <value>" must find the rows the raw literal finds. Connections in
// code page 1252 and 65001, each in the default SQL mode and with NO_BACKSLASH_ESCAPES.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "driver/inadriversql.h"
#include "driver/inaerror.h"
#include "host/host_control.h"
#include "host/host_values.h"
#include "platform/codepage.h"
#include "sql/isqlparserinformation.h"
#include "tests/support/every_column_type.h"
#include "tests/support/loaded_roads.h"
#include "tests/support/loaded_types.h"
#include "values/any.h"
#include "values/vmbind.h"

namespace {

// The host types the host binds to a column of each kind.
std::vector<unsigned short> HostTypes(const std::string& type) {
  auto is = [&](const char* prefix) { return type.rfind(prefix, 0) == 0; };
  if (is("TINYINT") || is("SMALLINT") || is("MEDIUMINT") || is("INT") || is("BIGINT") || is("YEAR"))
    return {ZV_I1, ZV_I2, ZV_I4, ZV_I8, ZV_UI1, ZV_UI2, ZV_UI4, ZV_UI8};
  if (is("BOOLEAN")) return {ZV_BOOL, ZV_I1, ZV_I4};
  if (is("DECIMAL")) return {ZV_DECIMAL, ZV_CY};
  if (is("FLOAT")) return {ZV_R4, ZV_R8};
  if (is("DOUBLE")) return {ZV_R8};
  if (is("DATETIME") || is("TIMESTAMP")) return {ZV_DATETIME};
  if (is("DATE")) return {ZV_DATEW, ZV_DATEA};
  if (is("TIME")) return {ZV_TIMEW, ZV_TIMEA};
  if (is("BINARY") || is("VARBINARY") || is("BLOB") || is("MEDIUMBLOB") || is("LONGBLOB") || is("BIT") ||
      type.find("SET binary") != std::string::npos)
    return {ZV_BIN, ZV_BUFFER};
  return {ZV_DSTRW, ZV_PSTRW, ZV_DSTRA, ZV_PSTRA};
}

// The host's page of a UTF-8 text; false when a character has no byte there.
bool AnsiOf(const std::string& utf8, std::string* out) {
  const std::wstring w = WideOfUTF8(utf8);
  int lost = 0;
  out->assign(w.size() * 2 + 1, '\0');
  const int n = w.empty() ? 0
                          : WideCharToMultiByte(1252, 0, w.data(), static_cast<int>(w.size()), out->data(),
                                                static_cast<int>(out->size()), nullptr, &lost);
  out->resize(static_cast<size_t>(n));
  return lost == 0;
}

// The value v of the column's table as the host holds it in type code; false when that type
// cannot hold it (out of range, a number with more decimals, a text beyond the host's page).
bool HostValue(const SColumnValue& v, unsigned short code, CAny* any) {
  *any = CAny();
  if (v.kind == SColumnValue::kNull) {
    any->__SetType(code, 0);
    any->SetNull(true);
    return true;
  }
  if (v.kind == SColumnValue::kBytes) {
    any->__SetType(code, 0);
    any->SetValueByte(v.host.data(), static_cast<unsigned int>(v.host.size()));
    return true;
  }
  const bool text = code == ZV_DSTRW || code == ZV_PSTRW || code == ZV_DSTRA || code == ZV_PSTRA;
  const bool nul = v.host.find('\0') != std::string::npos;
  // A text behind a pointer ends at its first NUL.
  if ((code == ZV_PSTRW || code == ZV_PSTRA) && nul) return false;
  if (code == ZV_DSTRA || code == ZV_PSTRA) {
    std::string ansi;
    if (!AnsiOf(v.host, &ansi)) return false;
    any->__SetType(ZV_DSTRA, 0);
    any->SetValueByte(ansi.data(), static_cast<unsigned int>(ansi.size()));
  } else {
    const std::wstring w = WideOfUTF8(v.host);
    any->__SetType(ZV_DSTRW, 0);
    any->SetValueByte(w.data(), static_cast<unsigned int>(w.size() * sizeof(wchar_t)));
  }
  if (text) return code == ZV_DSTRW || code == ZV_DSTRA || any->__nCastTo(code, nullptr, 1) < 100;
  // A number the type holds exactly: its text again when cast back.
  const std::wstring digits = WideOfUTF8(v.host);
  if (any->__nCastTo(code, nullptr, 1) >= 100) return false;
  if (code == ZV_DATEW || code == ZV_DATEA || code == ZV_TIMEW || code == ZV_TIMEA || code == ZV_DATETIME ||
      code == ZV_R4 || code == ZV_R8)
    return true;
  CAny back(*any);
  const wchar_t* shown = nullptr;
  if (back.__nCastToString(&shown, nullptr) >= 100 || shown == nullptr) return false;
  auto strip = [](std::wstring s) {  // "0.50" and ".5" are "0.5"
    if (s.find(L'.') != std::wstring::npos) {
      while (!s.empty() && s.back() == L'0') s.pop_back();
      if (!s.empty() && s.back() == L'.') s.pop_back();
    }
    if (s.rfind(L"-0.", 0) == 0 || s.rfind(L"0.", 0) == 0) s.erase(s[0] == L'-' ? 1 : 0, 1);
    return s == L"-0" || s.empty() ? std::wstring(L"0") : s;
  };
  return strip(shown) == strip(digits);
}

class SqlFunctionBind : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    // The test's own values are made by the same VM and host services as the driver's.
    m_vm = dlopen((CHostLoader::LibraryDir() + "/libqxvm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(m_vm != nullptr && bInitZVConvFromVM(m_vm, 2, 2) && bInitZVCalcFromVM(m_vm, 2, 2));
    ASSERT_TRUE(HostBindValues(m_loader.Control()));
    m_table = NameOfRun("qxsqlbind_");
    std::string err;
    ASSERT_TRUE(m_raw.exec("SET NAMES utf8mb4", &err)) << err;
    m_host = AddConnection(Utf8());
    OpenService();
  }
  void TearDown() override {
    StopService(m_table);
    if (m_vm != nullptr) dlclose(m_vm);
  }
  bool Utf8() const { return std::get<0>(GetParam()) == 65001; }
  // The ids of the rows the raw connection finds, in order.
  std::string RawIds(const std::string& where) {
    RawRows rows;
    std::string err;
    if (!m_raw.query("SELECT GROUP_CONCAT(id ORDER BY id) FROM `" + m_table + "` WHERE " + where, &rows, &err))
      return "error " + err;
    return rows.empty() ? "" : rows[0][0].value_or("");
  }
  // sql (UTF-8, "{t}" the table) run with one value in place of each "@": "done", the ids read
  // (one a row, ","-separated), or "refused <error>".
  std::string Run(std::string sql, std::vector<STValParser*> entries) {
    for (size_t at; (at = sql.find("{t}")) != std::string::npos;) sql.replace(at, 3, "`" + m_table + "`");
    const std::wstring text = WideOfUTF8(sql);
    size_t at = 0;
    for (STValParser* entry : entries) {
      at = text.find(L'@', at);
      entry->nStart = static_cast<int>(at++);
      entry->nLength = 1;
    }
    CTabValParser values{static_cast<int>(entries.size()), entries.data(), 0, nullptr};
    int stmt = 0;
    if (!m_service->bExecute(&stmt, m_cnx, text.c_str(), &values, 0))
      return "refused " + std::to_string(m_service->piGetLastError()->dwGetErrorId());
    if (stmt == 0) return "done";
    std::string ids;
    CAny id;
    const wchar_t* shown = nullptr;
    while (m_service->bFetch(m_cnx, stmt, 0))
      ids += (ids.empty() ? "" : ",") +
             (m_service->bGetValue(&id, m_cnx, stmt, 1, 0) && id.__nCastToString(&shown, nullptr) < 100 ? Narrow(shown)
                                                                                                     : "?");
    m_service->bFreeStmt(m_cnx, stmt, 0);
    return ids;
  }
  // The bound value inserted as row 1000 and sought: "<stored> | <ids found>"; a refusal as such.
  std::string Bound(const CAny& value, unsigned int flags = 0) {
    STValParser id, v, sought;
    id.clValue.SetI4(1000);
    v.clValue = sought.clValue = value;
    v.dwFlags = sought.dwFlags = flags;
    const std::string inserted = Run("INSERT INTO {t} (id, v) VALUES (@, @)", {&id, &v});
    if (inserted != "done") return inserted;
    return Stored(m_table, 1000) + " | " + Run("SELECT id FROM {t} WHERE v = @ ORDER BY id", {&sought});
  }
  // What the raw literal gives: stored as row 999, found among the others as row 1000.
  std::string Reference(const std::string& literal) {
    if (!Raw("INSERT INTO `" + m_table + "` VALUES (999, " + literal + ")")) return "raw INSERT refused";
    std::string ids = RawIds("v = " + literal);
    for (size_t at; (at = ids.find("999")) != std::string::npos;) ids.replace(at, 3, "1000");
    const std::string stored = Stored(m_table, 999);
    Raw("DELETE FROM `" + m_table + "` WHERE id >= 999");
    return stored + " | " + ids;
  }
  // The table of the type with every value of it as rows 1, 2, ...
  bool MakeTable(const SColumnType& type) {
    if (!Raw("DROP TABLE IF EXISTS `" + m_table + "`") ||
        !Raw("CREATE TABLE `" + m_table + "` (id INT PRIMARY KEY, v " + type.type + ")"))
      return false;
    for (size_t i = 0; i < type.values.size(); ++i)
      if (type.values[i].kind != SColumnValue::kReadOnly &&
          !Raw("INSERT INTO `" + m_table + "` VALUES (" + std::to_string(i + 1) + ", " + type.values[i].sql + ")"))
        return false;
    return true;
  }
  // Each value of the type bound in each host type that holds it; the differences as text.
  std::string Compare(const SColumnType& type) {
    if (!MakeTable(type)) return type.type + ": no table\n";
    std::string out;
    for (const SColumnValue& value : type.values) {
      if (value.kind == SColumnValue::kReadOnly) continue;
      for (unsigned short code : HostTypes(type.type)) {
        CAny any;
        if (!HostValue(value, code, &any)) continue;
        const std::string want = Want(type, value, code), got = Bound(any);
        ++m_nBound;
        Raw("DELETE FROM `" + m_table + "` WHERE id >= 999");
        if (got != want)
          out += type.type + " " + value.sql.substr(0, 60) + " as " + std::to_string(code) + ": " + got.substr(0, 120) +
                 ", want " + want.substr(0, 120) + "\n";
      }
    }
    return out;
  }
  std::string Want(const SColumnType& type, const SColumnValue& value, unsigned short code);
  struct SCase {
    const char* type;
    CAny value;
    unsigned int flags;
    std::string want;  // the raw literal, or "refused <error>"
  };
  std::string Cases(const std::vector<SCase>& cases);

  std::string m_table;
  void* m_vm = nullptr;
  int m_nBound = 0;  // values Compare bound
};

// What a bound value must give: what its raw literal gives, but where a documented limit says
// otherwise.
std::string SqlFunctionBind::Want(const SColumnType& type, const SColumnValue& value, unsigned short code) {
  // A 1252 connection refuses a wide text its page cannot carry (conversion error), nothing sent.
  if ((value.flags & kBeyond1252) != 0 && !Utf8() && (code == ZV_DSTRW || code == ZV_PSTRW)) return "refused 60";
  // A 4-byte real goes as the double it widens to, so it finds a FLOAT column's row where its
  // shortest text, another double, does not.
  if (code == ZV_R4 && type.type == "FLOAT" && value.kind == SColumnValue::kText) {
    char widened[40];
    snprintf(widened, sizeof widened, "%.17g", static_cast<double>(strtof(value.sql.c_str(), nullptr)));
    return Reference(widened);
  }
  return Reference(value.sql);
}

CAny Real(unsigned short code, double d) {
  CAny a;
  code == ZV_R4 ? a.SetR4(static_cast<float>(d)) : a.SetR8(d);
  return a;
}
// A value of the type holding these bytes (or wide characters) as they are.
template <typename C>
CAny Bytes(unsigned short code, const std::basic_string<C>& raw) {
  CAny a;
  a.__SetType(code, 0);
  a.SetValueByte(raw.data(), static_cast<unsigned int>(raw.size() * sizeof(C)));
  return a;
}
// The host's cast of a UTF-8 text to the type.
CAny Of(unsigned short code, const std::string& utf8) {
  CAny a = Bytes(ZV_DSTRW, WideOfUTF8(utf8));
  EXPECT_LT(a.__nCastTo(code, nullptr, 1), 100) << code;
  return a;
}

// Each value bound into a table of its column type against the raw literal, or the refusal
// wanted (nothing stored); the differences as text.
std::string SqlFunctionBind::Cases(const std::vector<SCase>& cases) {
  std::string differences;
  for (const SCase& c : cases) {
    if (!MakeTable({"", c.type, {}})) continue;
    const std::string want = c.want.rfind("refused", 0) == 0 ? c.want : Reference(c.want), got = Bound(c.value, c.flags);
    if (got != want) differences += std::string(c.type) + " " + c.want + ": " + got + ", want " + want + "\n";
    if (got.rfind("refused", 0) == 0 && RawIds("TRUE") != "") differences += "a refused value left a row\n";
    Raw("DELETE FROM `" + m_table + "`");
  }
  return differences;
}

// Values no column's table holds: not-finite reals, single characters, durations, a file's
// content, a number the column cannot take.
TEST_P(SqlFunctionBind, SpecialValuesAreStoredAsTheirLiteralOrRefused) {
  const std::string binary("\0'\\\xFF\0\x27\x5C", 7), text("a'b\\c\0d", 7);
  const std::string path = testing::TempDir() + "qxsqlbind_" + std::to_string(getpid());
  for (const auto& [name, content] : {std::pair(path, binary), std::pair(path + ".txt", text),
                                      std::pair(path + ".empty", std::string())}) {
    FILE* f = fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
  }
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Cases({
                // "inf" or "nan" would name a column.
                {"DOUBLE", Real(ZV_R8, inf), 0, "refused 60"},
                {"DOUBLE", Real(ZV_R8, -inf), 0, "refused 60"},
                {"DOUBLE", Real(ZV_R8, nan), 0, "refused 60"},
                {"FLOAT", Real(ZV_R4, -inf), 0, "refused 60"},
                {"DECIMAL(19,4)", Of(ZV_CY, "-922337203685477.5808"), 0, "-922337203685477.5808"},
                {"DECIMAL(19,4)", Of(ZV_CY, "922337203685477.5807"), 0, "922337203685477.5807"},
                // The host's empty date is no date.
                {"DATE", Bytes(ZV_DATEW, std::wstring()), 0, "NULL"},
                // What no calendar holds goes as it is, for the server to judge.
                {"DATE", Bytes(ZV_DATEW, std::wstring(L"20240230")), 0, "refused 22"},
                {"TIME(3)", Bytes(ZV_TIMEW, std::wstring(L"250000000")), 0, "'25:00:00.000'"},
                {"VARCHAR(8) CHARACTER SET utf8mb4", Of(ZV_CARW, "\xF0\x9F\x98\x80"), 0,
                 Utf8() ? "'\xF0\x9F\x98\x80'" : "refused 60"},
                {"VARCHAR(8) CHARACTER SET latin1", Bytes(ZV_DSTRA, std::string("\x81\x8D\x8F\x90\x9D")), 0,
                 "_latin1 X'818D8F909D'"},
                {"CHAR(1)", Of(ZV_CARW, "'"), 0, "''''"},
                {"CHAR(1)", Of(ZV_CARA, "\\"), 0, "'\\\\'"},
                {"VARCHAR(8)", Of(ZV_DSTRW, "a\\"), 0, "'a\\\\'"},
                {"VARCHAR(8)", Of(ZV_DSTRA, "\\'"), 0, "'\\\\'''"},
                {"BIGINT", Of(ZV_DUREE, "-1020304005"), 0, "-1020304005"},
                {"BIGINT", Of(ZV_UI8, "18446744073709551615"), 0, "refused 22"},
                // A file's content: bytes, or with 0x10 the host's text.
                {"BLOB", Of(ZV_DSTRW, path), 1, "X'" + HexDigits(binary) + "'"},
                {"BLOB", Of(ZV_DSTRW, path + ".txt"), 0x11, "X'" + HexDigits(text) + "'"},
                {"TEXT CHARACTER SET latin1", Of(ZV_DSTRW, path + ".txt"), 0x11, "_latin1 X'" + HexDigits(text) + "'"},
                {"BLOB", Of(ZV_DSTRW, path + ".none"), 1, "refused 15"},
                {"BLOB", Of(ZV_DSTRW, path + ".empty"), 1, "''"},
            }),
            "");
  for (const char* suffix : {"", ".txt", ".empty"}) remove((path + suffix).c_str());
}

// A wide text holding a surrogate (alone or paired) or a code point past U+10FFFF used to reach a
// UTF-8 connection with '?' in its place: refused now, as 1252 refuses what it cannot carry, in a
// value and in the text around it.
TEST_P(SqlFunctionBind, TextUtf8CannotCarryIsRefusedNotStoredWithQuestionMarks) {
  const wchar_t kLone = 0xD800, kPast = 0x110000, kHigh = 0xD83D, kLow = 0xDE00;
  const char* kType = "VARCHAR(8) CHARACTER SET utf8mb4";
  EXPECT_EQ(Cases({{kType, Bytes(ZV_DSTRW, std::wstring{L'a', kLone}), 0, "refused 60"},
                   {kType, Bytes(ZV_DSTRW, std::wstring{L'a', kPast}), 0, "refused 60"},
                   {kType, Bytes(ZV_DSTRW, std::wstring{L'a', kHigh, kLow}), 0, "refused 60"},
                   {kType, Bytes(ZV_CARW, std::wstring{kLone}), 0, "refused 60"}}),
            "");
  const std::wstring text = L"INSERT INTO " + WideOfUTF8("`" + m_table + "`") + L" VALUES (@, 'a" + kLone + L"')";
  STValParser id;
  id.clValue.SetI4(1);
  id.nStart = static_cast<int>(text.find(L'@'));
  id.nLength = 1;
  STValParser* entries[] = {&id};
  CTabValParser values{1, entries, 0, nullptr};
  int stmt = 0;
  EXPECT_FALSE(m_service->bExecute(&stmt, m_cnx, text.c_str(), &values, 0));
  const std::wstring unbound = text.substr(0, text.find(L'@')) + L"1" + text.substr(text.find(L'@') + 1);
  EXPECT_FALSE(m_service->bExecute(&stmt, m_cnx, unbound.c_str(), nullptr, 0));
  EXPECT_EQ(RawIds("TRUE"), "");
}

// The host's own text may switch NO_BACKSLASH_ESCAPES on or off: the values bound after it are
// escaped for the mode the session is in then.
TEST_P(SqlFunctionBind, ValuesAreEscapedForTheModeTheHostsTextSet) {
  EXPECT_EQ(Run(std::get<1>(GetParam()) ? "SET SESSION sql_mode = REPLACE(@@sql_mode, 'NO_BACKSLASH_ESCAPES', '')"
                                        : "SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')",
                {}),
            "done");
  EXPECT_EQ(Cases({{"VARCHAR(20) CHARACTER SET utf8mb4", Of(ZV_DSTRW, "it's \\ \"q\""), 0, "'it''s \\\\ \"q\"'"},
                   {"VARCHAR(20) CHARACTER SET latin1", Of(ZV_DSTRA, "\\'\xC3\xA9"), 0, "'\\\\''\xC3\xA9'"},
                   {"VARBINARY(8)", Bytes(ZV_BIN, std::string("\\'\0\xFF", 4)), 0, "X'5C2700FF'"}}),
            "");
}

TEST_P(SqlFunctionBind, EveryTypeBoundIsStoredAndFoundAsItsRawLiteral) {
  std::string differences;
  for (const SColumnType& type : EveryColumnType()) differences += Compare(type);
  EXPECT_EQ(differences, "");
  EXPECT_GE(m_nBound, 600);  // each value in each host type that holds it, not a few
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, SqlFunctionBind, testing::Combine(testing::Values(1252, 65001), testing::Bool()));

}  // namespace

// Formatted commands run through the MySQL SQL statement on the private server, in both code
// pages and SQL modes: every value class spliced as a literal comes back as itself, starts-with
// patterns select exactly their rows, row limits hold.
#include <algorithm>
#include <optional>

#include "mysql/mysqlstatementsql.h"
#include "sql/nacommand.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/any_test_values.h"

namespace {

const eOPEXPRESSION kNoOp = static_cast<eOPEXPRESSION>(-1);

// For messages: ASCII as it is, anything else as its code.
std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out += c >= 32 && c < 127 ? std::string(1, static_cast<char>(c)) : "<" + std::to_string(c) + ">";
  return out;
}

class LiveCommand : public LiveConnection {
 protected:
  struct VM : AnyTest { static void Bind() { SetUpTestSuite(); } };
  LiveCommand() : LiveConnection("_cmd"), m_strLike("`" + m_strTable + " like`") { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    if (m_pCnx) m_pCnx->AddRef();  // the fixture's own: commands never delete it
  }
  void TearDown() override {
    if (m_pCnx) Run("DROP TABLE IF EXISTS " + m_strLike);
    for (CNACommand* c : m_commands) c->nRelease();
    LiveConnection::TearDown();
  }
  bool Utf8() const { return std::get<0>(GetParam()) == 65001; }
  CNACommand* Make(const std::wstring& text = L"") {
    CNACommand* c = pclAllocCommand(&m_error, m_pCnx.get());
    c->AddRef();
    m_commands.push_back(c);
    c->bComplete(text.c_str());
    return c;
  }
  static void Param(CNACommand* c, const CAny& v, unsigned int options = 0, wchar_t escape = 0) {
    ASSERT_TRUE(c->bAddParameter(&v, kNoOp, options, nullptr, escape, CNAParameter::NA_PARAM_IN));
  }
  // The command's formatted text run by the MySQL statement: its length in bytes is what is sent.
  std::unique_ptr<CMySQLStatementSQL> Execute(CNACommand* c) {
    auto st = std::make_unique<CMySQLStatementSQL>(m_pCnx.get(), &m_error);
    CTStringConcatAW* sql = c->pclGetFormatedSQL(NA_PARAMCONV_ALL);
    EXPECT_NE(sql, nullptr) << m_error.pszGetError();
    if (sql == nullptr || !st->bReset() || !st->_bExecuteDirect(sql, nullptr, 0)) {
      ADD_FAILURE() << m_error.pszGetError();
      return nullptr;
    }
    return st;
  }
  // The values of every row's columns as raw bytes (nullopt: NULL).
  std::vector<std::vector<std::optional<std::string>>> Result(CNACommand* c) {
    std::vector<std::vector<std::optional<std::string>>> rows;
    auto st = Execute(c);
    while (st && st->bFetch(0) && !st->bIsEnd()) {
      auto& row = rows.emplace_back();
      for (unsigned int i = 0; i < st->nGetColumnCount(); ++i) {
        unsigned char* bytes = nullptr;
        unsigned int length = 0;
        EXPECT_TRUE(st->bGetValue(&bytes, &length, i));
        row.push_back(bytes != nullptr ? std::optional(std::string(reinterpret_cast<char*>(bytes), length)) : std::nullopt);
      }
    }
    return rows;
  }
  static CAny Wtext(const std::wstring& s) {
    CAny v;
    v.__SetType(ZV_DSTRW, 0);
    v.SetValueByte(s.data(), static_cast<unsigned int>(s.size() * sizeof(wchar_t)));
    return v;
  }

  const std::string m_strLike;
  std::vector<CNACommand*> m_commands;
};

TEST_P(LiveCommand, EveryValueClassComesBackAsItself) {
  std::string all(256, 0);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
  const std::wstring hostile = std::wstring(L"q'b\\s\\'\0c\rl\nz\x1a%_\u00e9\u20ac", 18) + (Utf8() ? L"\U0001F600" : L"");
  const std::string hostileBytes = std::string("q'b\\s\\'\0c\rl\nz\x1a%_", 16) +
                                   (Utf8() ? "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" : "\xE9\x80");
  struct Row {
    CAny value;
    std::optional<std::string> want;
  };
  auto of = [](unsigned short type, const wchar_t* text) { return FromText(type, text); };
  CAny null = of(ZV_I4, L"7"), bin, date, time, real, single;
  null.SetNull(true);
  bin.SetBIN(reinterpret_cast<const unsigned char*>(all.data()), 256);
  date.SetDATEA("20240229");
  time.SetTIMEA("093005007");
  real.SetR8(0.1);
  single.SetR4(0.5f);
  const Row rows[] = {
      {of(ZV_BOOL, L"1"), "1"}, {of(ZV_BOOL, L"0"), "0"}, {of(ZV_UI1, L"255"), "255"}, {of(ZV_I1, L"-128"), "-128"},
      {of(ZV_UI2, L"65535"), "65535"}, {of(ZV_I2, L"-32768"), "-32768"}, {of(ZV_UI4, L"4294967295"), "4294967295"},
      {of(ZV_I4, L"-2147483648"), "-2147483648"}, {of(ZV_UI8, L"18446744073709551615"), "18446744073709551615"},
      {of(ZV_I8, L"-9223372036854775808"), "-9223372036854775808"}, {of(ZV_I8, L"9223372036854775807"), "9223372036854775807"},
      {real, "0.1"}, {single, "0.5"}, {of(ZV_CY, L"-604462909807314587.353088"), "-604462909807314587.353088"},
      {of(ZV_DECIMAL, L"-12345678901234567890123456789012345678"), "-12345678901234567890123456789012345678"},
      {null, std::nullopt}, {date, "2024-02-29"}, {time, "09:30:05.007"},
      {of(ZV_DATETIME, L"20240229235959999"), "2024-02-29 23:59:59.999"}, {bin, all}, {Wtext(hostile), hostileBytes},
      {Wtext(L""), ""}, {Wtext(L"1 OR 1=1"), "1 OR 1=1"},
  };
  CNACommand* c = Make(L"SELECT ");
  for (size_t i = 0; i < std::size(rows); ++i) {
    if (i > 0) c->bComplete(L", ");
    Param(c, rows[i].value);
  }
  const auto result = Result(c);
  ASSERT_EQ(result.size(), 1u);
  ASSERT_EQ(result[0].size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(result[0][i], rows[i].want) << "column " << i;
}

// Names that need backquotes; texts that the pattern must take literally. A pattern is the text
// made literal, with "%" for starts-with.
TEST_P(LiveCommand, StartsWithPatternsSelectExactlyTheirRows) {
  std::vector<std::wstring> names = {L"a'b",  L"a'b\\c", L"a\\'b", L"a\\",   L"50%",  L"50%x",   L"500",
                                     L"a_b",  L"axb",    L"q\r\n\x1a", L"q\r", L"''", L"'",     L"\\\\",
                                     L"\\",   L"\u00e9t\u00e9", L"et\u00e9", L"\u20ac%", L"\u20acx", L"a\\%", L"a\\x"};
  if (Utf8()) names.insert(names.end(), {L"\U0001F600x", L"\U0001F600"});
  ASSERT_TRUE(Run("CREATE TABLE " + m_strLike + " (id INT, `the name` VARCHAR(32) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin)"));
  for (size_t i = 0; i < names.size(); ++i) {
    CNACommand* insert = Make(L"INSERT INTO " + Wide(m_strLike) + L" VALUES (" + std::to_wstring(i) + L", ");
    Param(insert, Wtext(names[i]));
    insert->bComplete(L")");
    ASSERT_TRUE(Execute(insert));
  }
  auto select = [&](const CAny& pattern, wchar_t escape) {
    CNACommand* c = Make(L"SELECT id FROM " + Wide(m_strLike) + L" WHERE `the name` LIKE ");
    Param(c, pattern, NA_PARAM_LIKE, escape);
    c->bComplete(L" ORDER BY id");
    std::string ids;
    for (const auto& row : Result(c)) ids += (ids.empty() ? "" : ",") + row.at(0).value_or("NULL");
    return ids;
  };
  for (const std::wstring& prefix : names) {
    std::string starts, exact;
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i].compare(0, prefix.size(), prefix) == 0) starts += (starts.empty() ? "" : ",") + std::to_string(i);
      if (names[i] == prefix) exact += (exact.empty() ? "" : ",") + std::to_string(i);
    }
    CXYString<wchar_t> pattern;
    ASSERT_TRUE(Make()->bEscapeLIKEParamAsKJParam(&pattern, prefix.c_str(), 0));
    EXPECT_EQ(select(Wtext(std::wstring(pattern.pszGet()) + L"%"), 0), starts) << Narrow(prefix);
    EXPECT_EQ(select(Wtext(pattern.pszGet()), 0), exact) << Narrow(prefix);
  }
  // A host pattern with its own escape: its backslash is a character, "!%" a percent sign.
  const size_t escaped = std::find(names.begin(), names.end(), L"a\\%") - names.begin();
  EXPECT_EQ(select(Wtext(L"a\\!%"), L'!'), std::to_string(escaped));
}

TEST_P(LiveCommand, RowLimitedSelectReturnsThatManyRows) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT)"));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1), (2), (3), (4), (5)"));
  const struct { const char* text; long long limit, offset; size_t rows; int first; } rows[] = {
      {"SELECT id FROM %s ORDER BY id", 3, -1, 3, 1}, {"SELECT id FROM %s ORDER BY id", 2, 1, 2, 2},
      {"SELECT TOP 2 id FROM %s ORDER BY id", -1, -1, 2, 1}, {"select top 4 id FROM %s ORDER BY id", -1, 3, 2, 4},
      {"SELECT id FROM %s ORDER BY id", -1, -1, 5, 1}, {"SELECT id FROM %s ORDER BY id", 3000000000LL, 4, 1, 5},
  };
  for (const auto& r : rows) {
    std::string text = r.text;
    text.replace(text.find("%s"), 2, m_strTable);
    CNACommand* c = Make(Wide(text));
    c->SetRowLimit(r.limit, r.offset);
    const auto result = Result(c);
    ASSERT_EQ(result.size(), r.rows) << text;
    EXPECT_EQ(result[0][0], std::to_string(r.first)) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveCommand,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

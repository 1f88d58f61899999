// Escaped literals read back by the server in both SQL modes; LIKE patterns match what they mean.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/sql_escape.h"
#include "common/utf.h"
#include "tests/common/sql_escape_test.h"
#include "tests/support/rawmysql.h"

namespace {

std::string U8(const std::wstring& w) {
  std::string out(w.size() * 4 + 1, '\0');
  out.resize(nWideToUTF8(out.data(), static_cast<int>(out.size()), w.data(), static_cast<int>(w.size())));
  return out;
}

// The literal body for text in the given mode: quotes doubled, and backslashes doubled when they
// are escapes. The functions take terminated texts, so a NUL can only come between two escaped
// pieces; escaping is per character, so that is the escaping of the whole.
std::string Literal(const std::wstring& text, bool backslashEscapes) {
  std::wstring out;
  for (size_t start = 0, nul = 0; nul != std::wstring::npos; start = nul + 1) {
    nul = text.find(L'\0', start);
    out += Take(pszEscape(text.substr(start, nul - start).c_str(), TRUE, backslashEscapes, FALSE, FALSE, FALSE,
                          FALSE, FALSE, FALSE, L'\'', L'!'));
    if (nul != std::wstring::npos) out += L'\0';
  }
  return U8(out);
}

bool Matches(const std::vector<Elem>& p, const std::wstring& t, size_t i = 0, size_t j = 0) {
  if (i == p.size()) return j == t.size();
  if (p[i].kind == Elem::Any) {
    for (size_t k = j; k <= t.size(); ++k)
      if (Matches(p, t, i + 1, k)) return true;
    return false;
  }
  return j < t.size() && (p[i].kind == Elem::One || t[j] == p[i].c) && Matches(p, t, i + 1, j + 1);
}

class EscapeServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestServer::fromEnv(&m_server)) FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_lib.load(&err)) << err;
    ASSERT_TRUE(m_conn.connect(m_server, RawTransport::Socket, &err)) << err;
  }
  // Backslash escapes on (the default mode) or off (NO_BACKSLASH_ESCAPES).
  void SetBackslashEscapes(bool on) {
    std::string err;
    const std::string mode = on ? "@@sql_mode" : "CONCAT_WS(',', NULLIF(@@sql_mode, ''), 'NO_BACKSLASH_ESCAPES')";
    ASSERT_TRUE(m_conn.exec("SET SESSION sql_mode = DEFAULT", &err)) << err;
    ASSERT_TRUE(m_conn.exec("SET SESSION sql_mode = " + mode, &err)) << err;
    ASSERT_EQ(Value("SELECT CHAR_LENGTH('\\\\')"), RawCell(on ? "1" : "2"));  // two backslashes read as one?
  }
  RawCell Value(const std::string& sql) {
    const RawRow row = Row(sql);
    return row.size() == 1 ? row[0] : RawCell("<no value>");
  }
  RawRow Row(const std::string& sql) {
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_conn.query(sql, &rows, &err)) << sql << ": " << err;
    EXPECT_EQ(rows.size(), 1u) << sql;
    return rows.empty() ? RawRow{} : rows[0];
  }
  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_conn{m_lib};
};

const std::wstring kAdversarial[] = {
    L"", L"'", L"''", L"\\", L"\\'", L"'\\", L"\\\\'", L"x\\", std::wstring(L"a\0b", 3), std::wstring(L"\\\0'", 3),
    L"\r\n\x1A", L"\\%\\_%_", L"`tbl`\"col\"", L"'; DROP TABLE t; -- ", L"\\'; SELECT 1; -- ",
    L"caf\u00E9 \u20AC \u65E5\u672C", L"\U0001F600\U0010FFFF", L"!'\\%_\\\\''!!\u00E9\r"};

TEST_F(EscapeServerTest, EscapedTextReadsBackInBothModes) {
  for (const bool backslashEscapes : {true, false}) {
    SetBackslashEscapes(backslashEscapes);
    for (const std::wstring& text : kAdversarial) {
      EXPECT_EQ(Value("SELECT '" + Literal(text, backslashEscapes) + "' AS v"), RawCell(U8(text)))
          << (backslashEscapes ? "default mode" : "NO_BACKSLASH_ESCAPES");
      // The narrow form on UTF-8 bytes escapes the same bytes.
      const std::string narrow =
          Take(pszEscape(U8(text).c_str(), TRUE, TRUE, FALSE, FALSE, FALSE, FALSE, FALSE, FALSE, '\'', '!'));
      EXPECT_TRUE(!backslashEscapes || text.find(L'\0') != std::wstring::npos || narrow == Literal(text, true));
    }
  }
}

// Each pattern source is checked against a text made from what it means (Intended, not the
// escaping) and against its own text.
TEST_F(EscapeServerTest, VerruePatternsMatchExactlyWhatTheyMean) {
  SetBackslashEscapes(true);
  const std::wstring patterns[] = {L"50\\%", L"a_b", L"a\\_b", L"it''s", L"\\\\'", L"\\\\%", L"x\\", L"!!%", L"a!b!%",
                                   L"!'", L"%'; --", L"\\'%", L"\u00E9_\U0001F600%", L"_!\\%!_\\\\!!%''\\"};
  for (const wchar_t e : {L'\\', L'!'}) {
    const std::string escapeClause = e == L'\\' ? " ESCAPE '\\\\'" : " ESCAPE '!'";
    for (const std::wstring& src : patterns) {
      const std::string pattern = U8(Take(pszVerrueEscapeMySQL(src.c_str(), e)));
      EXPECT_EQ(Take(pszVerrueEscapeMySQL(U8(src).c_str(), e)), pattern);
      std::wstring purged = src;
      PurgeQuote(purged.data(), TRUE);
      const std::vector<Elem> meant = Intended(std::wstring(purged.c_str()), e);
      std::wstring texts[] = {L"", src};  // the first: the meaning, wildcards filled in
      for (const Elem& m : meant)
        texts[0] += m.kind == Elem::Lit ? std::wstring(1, m.c) : m.kind == Elem::One ? L"\\" : L"%'x";
      std::string sql = "SELECT ";
      for (const std::wstring& t : texts)
        sql += (&t == texts ? "'" : ", '") + Literal(t, true) + "' COLLATE utf8mb4_bin LIKE '" + pattern + "'" +
               escapeClause;
      const RawRow row = Row(sql);
      ASSERT_EQ(row.size(), 2u) << sql;
      for (size_t k = 0; k < 2; ++k)
        EXPECT_EQ(row[k], RawCell(Matches(meant, texts[k]) ? "1" : "0")) << "text " << k << "\n" << sql;
    }
  }
}

}  // namespace

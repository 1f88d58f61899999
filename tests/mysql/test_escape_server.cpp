// Escaped literals and LIKE patterns as the server reads them: text escaped for a SQL mode comes
// back unchanged in that mode, and pszVerrueEscapeMySQL patterns match exactly what they mean.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/sql_escape.h"
#include "common/utf.h"
#include "tests/support/rawmysql.h"

namespace {

std::string U8(const std::wstring& w) {
  std::string out(w.size() * 4 + 1, '\0');
  out.resize(nWideToUTF8(out.data(), static_cast<int>(out.size()), w.data(),
                         static_cast<int>(w.size())));
  return out;
}

template <typename T>
std::basic_string<T> Take(T* p) {
  EXPECT_NE(p, nullptr);
  std::basic_string<T> s = p ? p : std::basic_string<T>();
  free(p);
  return s;
}

// The literal body for text in the given mode: quotes doubled, and backslashes doubled when they
// are escapes. The functions take terminated texts, so a NUL can only come between two escaped
// pieces; escaping is per character, so that is the escaping of the whole.
std::string Literal(const std::wstring& text, bool backslashEscapes) {
  std::wstring out;
  size_t start = 0;
  for (;;) {
    const size_t nul = text.find(L'\0', start);
    const std::wstring piece = text.substr(start, nul - start);
    out += Take(pszEscape(piece.c_str(), TRUE, backslashEscapes, FALSE, FALSE, FALSE, FALSE,
                          FALSE, FALSE, L'\'', L'!'));
    if (nul == std::wstring::npos) break;
    out += L'\0';
    start = nul + 1;
  }
  return U8(out);
}

// ---- LIKE model: what a pattern source means, and what matches it ----

struct Elem {
  enum Kind { Lit, Any, One } kind;
  wchar_t c;
};

// The quote-purged source: e '%', e '_', e e and a lone e are literals, bare '%' and '_'
// wildcards.
std::vector<Elem> Intended(const std::wstring& src, wchar_t e) {
  std::vector<wchar_t> buf(src.begin(), src.end());
  buf.push_back(0);
  PurgeQuote(buf.data(), TRUE);
  const std::wstring s(buf.data());
  std::vector<Elem> out;
  for (size_t i = 0; i < s.size(); ++i) {
    const wchar_t n = i + 1 < s.size() ? s[i + 1] : 0;
    if (s[i] == e && (n == L'%' || n == L'_' || n == e)) out.push_back({Elem::Lit, s[++i]});
    else if (s[i] == e) out.push_back({Elem::Lit, e});
    else if (s[i] == L'%') out.push_back({Elem::Any, 0});
    else if (s[i] == L'_') out.push_back({Elem::One, 0});
    else out.push_back({Elem::Lit, s[i]});
  }
  return out;
}

bool Matches(const std::vector<Elem>& p, const std::wstring& t, size_t i = 0, size_t j = 0) {
  if (i == p.size()) return j == t.size();
  switch (p[i].kind) {
    case Elem::Any:
      for (size_t k = j; k <= t.size(); ++k)
        if (Matches(p, t, i + 1, k)) return true;
      return false;
    case Elem::One: return j < t.size() && Matches(p, t, i + 1, j + 1);
    default: return j < t.size() && t[j] == p[i].c && Matches(p, t, i + 1, j + 1);
  }
}

// Quotes, backslashes, wildcards, the escapes, backquotes, controls and non-ASCII.
const std::wstring kAlphabet = L"'\\%_!`\"\r\n\x1A aZn0\u00E9\u20AC\u65E5\U0001F600\U0010FFFF";

std::wstring Random(std::mt19937& rng, size_t maxLen) {
  std::wstring s(rng() % (maxLen + 1), L' ');
  for (wchar_t& c : s) c = kAlphabet[rng() % kAlphabet.size()];
  return s;
}

// A text the pattern matches: wildcards filled with random characters.
std::wstring Instance(std::mt19937& rng, const std::vector<Elem>& p) {
  std::wstring t;
  for (const Elem& e : p) {
    if (e.kind == Elem::Lit) t += e.c;
    else if (e.kind == Elem::One) t += kAlphabet[rng() % kAlphabet.size()];
    else t += Random(rng, 2);
  }
  return t;
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
    Exec("SET SESSION sql_mode = DEFAULT");
    if (!on)
      Exec("SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@sql_mode, ''), "
           "'NO_BACKSLASH_ESCAPES')");
    // Two backslashes read as one only when they are escapes.
    ASSERT_EQ(Value("SELECT CHAR_LENGTH('\\\\')"), on ? "1" : "2");
  }

  void Exec(const std::string& sql) {
    std::string err;
    ASSERT_TRUE(m_conn.exec(sql, &err)) << sql << ": " << err;
  }

  RawRow Row(const std::string& sql) {
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_conn.query(sql, &rows, &err)) << sql << ": " << err;
    EXPECT_EQ(rows.size(), 1u) << sql;
    return rows.empty() ? RawRow{} : rows[0];
  }

  std::string Value(const std::string& sql) {
    const RawRow row = Row(sql);
    return row.size() == 1 && row[0] ? *row[0] : std::string("<no value>");
  }

  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_conn{m_lib};
};

std::vector<std::wstring> AdversarialTexts() {
  std::vector<std::wstring> texts = {
      L"",
      L"'",
      L"''",
      L"\\",
      L"\\'",
      L"'\\",
      L"\\\\'",
      L"x\\",
      std::wstring(L"a\0b", 3),
      std::wstring(L"\\\0'", 3),
      L"\r\n\x1A",
      L"\\%\\_%_",
      L"`tbl`\"col\"",
      L"'; DROP TABLE t; -- ",
      L"\\'; SELECT 1; -- ",
      L"caf\u00E9 \u20AC \u65E5\u672C",
      L"\U0001F600\U0010FFFF",
  };
  std::mt19937 rng(3);
  for (int i = 0; i < 200; ++i) texts.push_back(Random(rng, 12));
  return texts;
}

TEST_F(EscapeServerTest, QuoteAndBackslashDoublingReadsBackInDefaultMode) {
  SetBackslashEscapes(true);
  for (const std::wstring& text : AdversarialTexts()) {
    const std::string expected = U8(text);
    EXPECT_EQ(Value("SELECT '" + Literal(text, true) + "' AS v"), expected);
    // The narrow form on UTF-8 bytes escapes the same bytes.
    if (text.find(L'\0') == std::wstring::npos) {
      EXPECT_EQ(Take(pszEscape(expected.c_str(), TRUE, TRUE, FALSE, FALSE, FALSE, FALSE, FALSE,
                               FALSE, '\'', '!')),
                Literal(text, true));
    }
  }
}

TEST_F(EscapeServerTest, QuoteDoublingReadsBackWithoutBackslashEscapes) {
  SetBackslashEscapes(false);
  for (const std::wstring& text : AdversarialTexts())
    EXPECT_EQ(Value("SELECT '" + Literal(text, false) + "' AS v"), U8(text));
}

// Each pattern source is checked against a text it must match, its own text and a random text;
// the expectation comes from what the source means (Intended), not from the escaping.
TEST_F(EscapeServerTest, VerruePatternsMatchExactlyWhatTheyMean) {
  SetBackslashEscapes(true);
  std::vector<std::wstring> patterns = {
      L"50\\%", L"a_b",    L"a\\_b",  L"it''s",  L"\\\\'",      L"\\\\%",  L"x\\",
      L"!!%",   L"a!b!%",  L"!'",     L"%'; --", L"\u00E9_\U0001F600%",   L"\\'%",
  };
  std::mt19937 rng(11);
  for (int i = 0; i < 150; ++i) patterns.push_back(Random(rng, 10));

  for (const wchar_t e : {L'\\', L'!'}) {
    const std::string escapeClause = e == L'\\' ? " ESCAPE '\\\\'" : " ESCAPE '!'";
    for (const std::wstring& src : patterns) {
      const std::string pattern = U8(Take(pszVerrueEscapeMySQL(src.c_str(), e)));
      EXPECT_EQ(Take(pszVerrueEscapeMySQL(U8(src).c_str(), e)), pattern);

      const std::vector<Elem> meant = Intended(src, e);
      const std::wstring texts[] = {Instance(rng, meant), src, Random(rng, 6)};
      std::string sql = "SELECT ";
      for (const std::wstring& t : texts) {
        if (&t != texts) sql += ", ";
        sql += "'" + Literal(t, true) + "' COLLATE utf8mb4_bin LIKE '" + pattern + "'" +
               escapeClause;
      }
      const RawRow row = Row(sql);
      ASSERT_EQ(row.size(), 3u) << sql;
      for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(row[k], RawCell(Matches(meant, texts[k]) ? "1" : "0"))
            << "text " << k << ": " << U8(texts[k]) << "\n" << sql;
    }
  }
}

}  // namespace

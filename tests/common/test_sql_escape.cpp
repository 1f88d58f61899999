// SQL literal and LIKE escaping in both widths: the 2n + 1 bound, round trips, and
// pszVerrueEscapeMySQL against a model of the server's literal lexer and LIKE reader.
#include "common/sql_escape.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "tests/common/sql_escape_test.h"
#include "tests/support/exact_alloc.h"

namespace {

constexpr char B = '\\';
template <typename T>
using Str = std::basic_string<T>;

template <typename T>
Str<T> S(std::string_view a) {  // ASCII text in either width
  return Str<T>(a.begin(), a.end());
}

// flags: bit i is flag i + 1. The destination is exactly 2n + 1 characters of heap, so
// AddressSanitizer reports a write past it; the allocating form must agree.
template <typename T>
Str<T> Esc(const Str<T>& src, unsigned flags, T q, T e) {
  auto f = [flags](int i) -> BOOL { return (flags >> i) & 1; };
  T* dst = static_cast<T*>(malloc((2 * src.size() + 1) * sizeof(T)));
  const size_t n = Escape(src.c_str(), dst, f(0), f(1), f(2), f(3), f(4), f(5), f(6), f(7), q, e);
  EXPECT_EQ(dst[n], T(0));
  Str<T> out(dst, n);
  free(dst);
  EXPECT_EQ(Take(pszEscape(src.c_str(), f(0), f(1), f(2), f(3), f(4), f(5), f(6), f(7), q, e)), out);
  return out;
}

enum Purge { kQuote, kQuoteBackslash, kEscape, kEscapeEscape, kBackslash };
template <typename T>
Str<T> Purged(Str<T> text, Purge how, T e = B) {
  T* p = text.data();
  switch (how) {
    case kQuote: PurgeQuote(p, FALSE); break;
    case kQuoteBackslash: PurgeQuote(p, TRUE); break;
    case kEscape: PurgeEscape(p, e); break;
    case kEscapeEscape: PurgeEscapeEscape(p, e); break;
    case kBackslash: PurgeEscapeBackSlash(p); break;
  }
  return Str<T>(p);
}

// ---- The server's reading: literal lexing (default SQL mode) and LIKE patterns ----

// The value of a single-quoted literal whose body is `body`, or nothing when body and the closing
// quote do not lex as exactly one literal (a quote ends it early, or a trailing backslash
// swallows the closing quote).
template <typename T>
std::optional<Str<T>> LexLiteralBody(const Str<T>& body) {
  const Str<T> text = body + T('\''), from = S<T>("0bnrtZ"), to = {T(0), T(8), T('\n'), T('\r'), T('\t'), T(26)};
  Str<T> v;
  for (size_t i = 0; i < text.size(); ++i) {
    const T c = text[i];
    if (c == '\'' && i + 1 == text.size()) return v;  // the closing quote
    if (c != '\'' && c != B) {
      v += c;
      continue;
    }
    if (++i == text.size() || (c == '\'' && text[i] != '\'')) return std::nullopt;  // ended early
    const T n = text[i];
    const size_t k = c == B ? from.find(n) : Str<T>::npos;
    if (k != Str<T>::npos) v += to[k];
    else v += c == B && (n == '%' || n == '_') ? Str<T>{B, n} : Str<T>(1, n);  // kept for LIKE
  }
  return std::nullopt;
}

// With escape e (not a wildcard): e and a following character is that character, e at the end
// is itself.
template <typename T>
std::vector<Elem> ReadPattern(const Str<T>& p, T e) {
  std::vector<Elem> out;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == e && i + 1 < p.size()) out.push_back({Elem::Lit, wchar_t(p[++i])});
    else if (p[i] == '%' || p[i] == '_') out.push_back({p[i] == '%' ? Elem::Any : Elem::One, 0});
    else out.push_back({Elem::Lit, wchar_t(p[i])});
  }
  return out;
}

// Quotes, backslashes, wildcards, escape candidates and letters the server's lexer maps.
template <typename T>
Str<T> Alphabet() {
  if constexpr (sizeof(T) > 1) return L"'\\%_!\"abnrtZ0\u00E9\U0001F600";
  else return "'\\%_!\"abnrtZ0";
}

template <typename T>
class SqlEscapeTest : public ::testing::Test {};
using Widths = ::testing::Types<char, wchar_t>;
TYPED_TEST_SUITE(SqlEscapeTest, Widths);

TYPED_TEST(SqlEscapeTest, Escape) {
  using T = TypeParam;
  struct Row { const char* src; unsigned flags; char q, e; const char* out; };
  const Row rows[] = {
      {"a'b", 0xFF, '\'', B, "a''b"},          {"50%", 0xFF, '\'', B, "50\\%"},     {"a_b", 0xFF, '\'', B, "a\\_b"},
      {"\\%", 0xFF, '\'', B, "\\\\\\%"},       {"\\_", 0xFF, '\'', B, "\\\\\\_"},   {"\\\\", 0xFF, '\'', B, "\\\\\\\\"},
      {"\\x", 0xFF, '\'', B, "\\\\x"},         {"x\\", 0xFF, '\'', B, "x\\\\"},     {"", 0xFF, '\'', B, ""},
      {"!x", 0x04, '\'', '!', "!!x"},          {"!%", 0x04, '\'', '!', "!%"},       {"!!", 0x04, '\'', '!', "!!"},
      {"%'", 0x04, '\'', '!', "%'"},           {"'!'", 0x01, '\'', '!', "''!''"},   {"a\\b", 0x02, '\'', '!', "a\\\\b"},
      {"a\\b", 0x02, '\'', B, "a\\b"},  // the backslash as escape is not doubled
      {"%!%", 0x08, '\'', '!', "!%!%"},        {"!%", 0x20, '\'', '!', "!%"},       {"!%!_", 0x78, '\'', '!', "!!%!!_"},
      {"!!", 0x84, '\'', '!', "!!!!"},         {"!%!%", 0xFF, '\'', '!', "!!!%!!!%"},
      {"''%", 0xFF, B, '\'', "\\'\\''%"},  // a quote is a quote even when named as the escape
  };
  for (const Row& r : rows) EXPECT_EQ(Esc<T>(S<T>(r.src), r.flags, r.q, r.e), S<T>(r.out)) << r.src << " " << r.flags;
  // The 2n + 1 destination holds for every input, flag set, quote-escape and escape character.
  std::mt19937 rng(1109);
  const Str<T> specials = S<T>("'\\%_!a");
  for (int i = 0; i < 5000; ++i) {
    const T q = specials[rng() % specials.size()], e = specials[rng() % specials.size()];
    Esc<T>(RandomText(rng, Alphabet<T>().c_str(), 24), rng() % 256, q, e);
  }
}

TYPED_TEST(SqlEscapeTest, ChangeEscape) {
  using T = TypeParam;
  const Str<T> pct = S<T>("%"), pre = S<T>("["), post = S<T>("]"), und = S<T>("?");
  const std::tuple<const char*, char, const char*> rows[] = {{"a\\%b", B, "a[%]b"}, {"a%b_", B, "a%b_"},
                                                           {"\\_\\\\\\x\\", B, "?\\\\x\\"}, {"!%!!", '!', "[%]!"},
                                                           {"", B, ""}};
  for (auto [src, e, out] : rows) {
    EXPECT_EQ(Take(pszChangeEscape(S<T>(src).c_str(), pct.c_str(), pre.c_str(), post.c_str(), und.c_str(), nullptr,
                                   nullptr, T(e))),
              S<T>(out));
  }
  const T* none = nullptr;
  EXPECT_EQ(Take(pszChangeEscape(none, none, none, none, none, none, none, T(B))), S<T>(""));
  // A destination of length x max(1, sum of the six texts) + 1, exactly, is enough.
  std::mt19937 rng(2024);
  const Str<T> alphabet = S<T>("\\%_!ab");
  for (int i = 0; i < 3000; ++i) {
    const Str<T> src = RandomText(rng, alphabet.c_str(), 20);
    Str<T> t[6];
    size_t sum = 0;
    for (Str<T>& text : t) sum += (text = RandomText(rng, alphabet.c_str(), 4)).size();
    const T e = alphabet[rng() % 4];
    const size_t cap = src.size() * std::max<size_t>(1, sum) + 1;
    T* dst = static_cast<T*>(malloc(cap * sizeof(T)));
    const size_t n = ChangeEscape(src.c_str(), dst, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(),
                                  t[4].c_str(), t[5].c_str(), e);
    ASSERT_LT(n, cap);
    EXPECT_EQ(Take(pszChangeEscape(src.c_str(), t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(), t[4].c_str(),
                                   t[5].c_str(), e)),
              Str<T>(dst, n));
    free(dst);
  }
}

TYPED_TEST(SqlEscapeTest, Purge) {
  using T = TypeParam;
  const std::tuple<Purge, const char*, const char*> rows[] = {
      {kQuoteBackslash, "''", "''"},   {kQuote, "''''", "''"},           {kQuote, "it''s", "it's"},
      {kQuote, "a\\'b", "a\\'b"},      {kQuoteBackslash, "a\\'b", "a'b"}, {kQuote, "'''", "''"},
      {kQuoteBackslash, "x\\''", "x\\'"},  // walked from the end
      {kQuoteBackslash, "'", "'"},     {kQuoteBackslash, "", ""},        {kEscape, "a\\%b\\x", "a%b\\x"},
      {kEscape, "\\\\\\_\\", "\\_\\"}, {kBackslash, "\\\\\\\\", "\\\\"},  {kBackslash, "\\\\\\'", "\\'"},
      {kBackslash, "", ""}};
  for (auto [how, src, out] : rows) EXPECT_EQ(Purged(S<T>(src), how), S<T>(out)) << src;
  EXPECT_EQ(Purged(S<T>("!!!%"), kEscape, T('!')), S<T>("!%"));
  EXPECT_EQ(Purged(S<T>("!!!"), kEscapeEscape, T('!')), S<T>("!!"));
  EXPECT_EQ(Purged(S<T>("a!!b!%"), kEscapeEscape, T('!')), S<T>("a!b!%"));
  PurgeQuote(static_cast<T*>(nullptr), TRUE);  // null texts are left alone
  PurgeEscape(static_cast<T*>(nullptr), B);
  PurgeEscapeEscape(static_cast<T*>(nullptr), B);
  PurgeEscapeBackSlash(static_cast<T*>(nullptr));
}

// Escaping then undoing gives the source back, for the three pairings callers use.
TYPED_TEST(SqlEscapeTest, EscapingRoundTrips) {
  using T = TypeParam;
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    const Str<T> src = RandomText(rng, Alphabet<T>().c_str(), 16);
    const Str<T> back = src == S<T>("'") ? S<T>("''") : src;  // "''" is kept as the empty literal
    EXPECT_EQ(Purged(Esc<T>(src, 0b1, '\'', '!'), kQuote), back);
    EXPECT_EQ(Purged(Esc<T>(src, 0b11, B, '!'), kBackslash), src);
    for (T e : S<T>("\\!"))  // a LIKE value: everything escaped but backslashes
      EXPECT_EQ(Purged(Purged(Esc<T>(src, 0xFD, '\'', e), kEscape, e), kQuote), back) << "e=" << char(e);
  }
}

TYPED_TEST(SqlEscapeTest, VerrueEscapeMySQL) {
  using T = TypeParam;
  const std::tuple<const char*, char, const char*> rows[] = {
      {"it''s 50\\%", B, "it\\'s 50\\%"}, {"a!b!%", '!', "a!!b!%"}, {"", B, ""}, {"a_\\_", B, "a_\\_"},
      // A backslash before a quote used to pair with the inserted backslash and leave the quote
      // bare: each is now its own pair.
      {"\\\\'", B, "\\\\\\\\\\'"}, {"\\'", '!', "\\'"}, {"\\\\'", '!', "\\\\\\'"},
      {"x\\", B, "x\\\\\\\\"}, {"x\\", '!', "x\\\\"},  // a trailing backslash would swallow the closing quote
      {"\\\\%", B, "\\\\\\\\%"}, {"!!%", '!', "!!%"},  // a doubled escape reaches the LIKE matcher doubled
      {"a'%b", '\'', "a\\'%b"}};                      // a quote as the escape is still written backslash-quote
  for (auto [src, e, out] : rows) EXPECT_EQ(Take(pszVerrueEscapeMySQL(S<T>(src).c_str(), e)), S<T>(out)) << src;
  EXPECT_EQ(Take(pszVerrueEscapeMySQL(static_cast<const T*>(nullptr), B)), S<T>(""));
  // For any source the result read as a literal body never ends the literal early, and the LIKE
  // pattern the server reads from it is exactly the one the source means.
  std::mt19937 rng(42);
  for (wchar_t e : std::wstring(L"\\!'")) {
    for (int i = 0; i < 8000; ++i) {
      const Str<T> src = RandomText(rng, Alphabet<T>().c_str(), 24);
      const std::optional<Str<T>> value = LexLiteralBody(Take(pszVerrueEscapeMySQL(src.c_str(), e)));
      ASSERT_TRUE(value.has_value()) << "e=" << char(e) << " case " << i;
      EXPECT_EQ(ReadPattern(*value, T(e)), Intended(Purged(src, kQuoteBackslash), T(e))) << "e=" << char(e) << " " << i;
    }
  }
}

TEST(SqlEscapeNarrow, TheEscapeCharacterIsItsCodePage1252Byte) {
  EXPECT_EQ(Take(pszVerrueEscapeMySQL("a\xA7" "b\xA7%", L'\u00A7')), "a\xA7\xA7" "b\xA7%");
  EXPECT_EQ(Take(pszVerrueEscapeMySQL("\x80x", L'\u20AC')), "\x80\x80x");
}

}  // namespace

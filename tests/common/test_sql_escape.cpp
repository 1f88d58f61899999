#include "common/sql_escape.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char B = '\\';

template <typename T>
using Str = std::basic_string<T>;

// ASCII text in either width.
template <typename T>
Str<T> S(std::string_view a) {
  return Str<T>(a.begin(), a.end());
}

template <typename T>
Str<T> Take(T* p) {
  EXPECT_NE(p, nullptr);
  if (!p) return {};
  Str<T> s(p);
  free(p);
  return s;
}

// flags: bit i is flag i + 1. The destination is exactly the documented 2n + 1 characters at the
// end of a heap block, so AddressSanitizer reports any write past it.
template <typename T>
Str<T> Esc(const Str<T>& src, unsigned flags, T q, T e) {
  auto f = [flags](int i) -> BOOL { return (flags >> i) & 1; };
  T* dst = static_cast<T*>(malloc((2 * src.size() + 1) * sizeof(T)));
  const size_t n = Escape(src.c_str(), dst, f(0), f(1), f(2), f(3), f(4), f(5), f(6), f(7), q, e);
  EXPECT_LE(n, 2 * src.size());
  EXPECT_EQ(dst[n], T(0));
  Str<T> out(dst, n);
  free(dst);
  EXPECT_EQ(Take(pszEscape(src.c_str(), f(0), f(1), f(2), f(3), f(4), f(5), f(6), f(7), q, e)),
            out);
  return out;
}

template <typename T, typename Fn>
Str<T> InPlace(const Str<T>& text, Fn fn) {
  std::vector<T> buf(text.begin(), text.end());
  buf.push_back(0);
  fn(buf.data());
  return Str<T>(buf.data());
}

template <typename T>
Str<T> Quote(const Str<T>& t, BOOL bBackslash) {
  return InPlace(t, [&](T* p) { PurgeQuote(p, bBackslash); });
}

template <typename T>
Str<T> Verrue(const Str<T>& src, wchar_t e) {
  return Take(pszVerrueEscapeMySQL(src.c_str(), e));
}

// ---- A model of the server: literal lexing (default SQL mode) and LIKE pattern reading ----

// The value of a single-quoted literal whose body is `body`, or nothing when the body followed
// by the closing quote does not lex as exactly one literal (a quote ends it early, or a trailing
// backslash swallows the closing quote).
template <typename T>
std::optional<Str<T>> LexLiteralBody(const Str<T>& body) {
  const Str<T> text = body + T('\'');
  Str<T> v;
  for (size_t i = 0;;) {
    if (i >= text.size()) return std::nullopt;
    const T c = text[i];
    if (c == '\'') {
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        v += c;
        i += 2;
        continue;
      }
      if (i + 1 != text.size()) return std::nullopt;
      return v;
    }
    if (c != B) {
      v += c;
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return std::nullopt;
    const T n = text[i + 1];
    switch (n) {
      case '0': v += T(0); break;
      case 'b': v += T(8); break;
      case 'n': v += T('\n'); break;
      case 'r': v += T('\r'); break;
      case 't': v += T('\t'); break;
      case 'Z': v += T(26); break;
      case '%':
      case '_': v += T(B); v += n; break;  // kept for LIKE
      default: v += n; break;
    }
    i += 2;
  }
}

struct Elem {
  enum Kind { Lit, Any, One } kind;
  wchar_t c;
  bool operator==(const Elem&) const = default;
};

void PrintTo(const Elem& e, std::ostream* os) {
  if (e.kind == Elem::Any) *os << "<%>";
  else if (e.kind == Elem::One) *os << "<_>";
  else *os << "U+" << std::hex << static_cast<unsigned>(e.c) << std::dec;
}

// The server's reading of a LIKE pattern with escape e (e not a wildcard): e and a following
// character is that character, an e at the end is itself.
template <typename T>
std::vector<Elem> ReadPattern(const Str<T>& p, T e) {
  std::vector<Elem> out;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == e && i + 1 < p.size()) out.push_back({Elem::Lit, wchar_t(p[++i])});
    else if (p[i] == '%') out.push_back({Elem::Any, 0});
    else if (p[i] == '_') out.push_back({Elem::One, 0});
    else out.push_back({Elem::Lit, wchar_t(p[i])});
  }
  return out;
}

// What the caller means by a (quote-purged) source pattern: e '%', e '_', e e and a lone e are
// literals, bare '%' and '_' wildcards.
template <typename T>
std::vector<Elem> Intended(const Str<T>& s, T e) {
  std::vector<Elem> out;
  for (size_t i = 0; i < s.size(); ++i) {
    const T n = i + 1 < s.size() ? s[i + 1] : T(0);
    if (s[i] == e && (n == '%' || n == '_' || n == e)) out.push_back({Elem::Lit, wchar_t(s[++i])});
    else if (s[i] == e) out.push_back({Elem::Lit, wchar_t(e)});
    else if (s[i] == '%') out.push_back({Elem::Any, 0});
    else if (s[i] == '_') out.push_back({Elem::One, 0});
    else out.push_back({Elem::Lit, wchar_t(s[i])});
  }
  return out;
}

template <typename T>
Str<T> RandomText(std::mt19937& rng, const Str<T>& alphabet, size_t maxLen) {
  Str<T> s(rng() % (maxLen + 1), T(0));
  for (T& c : s) c = alphabet[rng() % alphabet.size()];
  return s;
}

// Quotes, backslashes, wildcards, escape candidates and letters the server's lexer maps.
template <typename T>
Str<T> Alphabet() {
  Str<T> a = S<T>("'\\%_!\"abnrtZ0");
  if constexpr (sizeof(T) > 1) a += L"\u00E9\U0001F600";
  return a;
}

template <typename T>
class SqlEscapeTest : public ::testing::Test {};
using Widths = ::testing::Types<char, wchar_t>;
TYPED_TEST_SUITE(SqlEscapeTest, Widths);

// ---- Escape ----

TYPED_TEST(SqlEscapeTest, EscapeWithEveryFlag) {
  using T = TypeParam;
  auto all = [](std::string_view s) { return Esc<T>(S<T>(s), 0xFF, '\'', B); };
  EXPECT_EQ(all("a'b"), S<T>("a''b"));
  EXPECT_EQ(all("50%"), S<T>("50\\%"));
  EXPECT_EQ(all("a_b"), S<T>("a\\_b"));
  EXPECT_EQ(all("\\%"), S<T>("\\\\\\%"));
  EXPECT_EQ(all("\\_"), S<T>("\\\\\\_"));
  EXPECT_EQ(all("\\\\"), S<T>("\\\\\\\\"));
  EXPECT_EQ(all("\\x"), S<T>("\\\\x"));
  EXPECT_EQ(all("x\\"), S<T>("x\\\\"));
  EXPECT_EQ(all(""), S<T>(""));
}

TYPED_TEST(SqlEscapeTest, EscapeFlagsActAlone) {
  using T = TypeParam;
  auto only = [](int flag, std::string_view s, char e = '!') {
    return Esc<T>(S<T>(s), 1u << (flag - 1), '\'', e);
  };
  EXPECT_EQ(only(3, "!x"), S<T>("!!x"));
  EXPECT_EQ(only(3, "!%"), S<T>("!%"));
  EXPECT_EQ(only(3, "!!"), S<T>("!!"));
  EXPECT_EQ(only(3, "%'"), S<T>("%'"));
  EXPECT_EQ(only(1, "'!'"), S<T>("''!''"));
  EXPECT_EQ(only(2, "a\\b"), S<T>("a\\\\b"));
  EXPECT_EQ(only(2, "a\\b", B), S<T>("a\\b"));  // the backslash as escape is not doubled
  EXPECT_EQ(only(4, "%!%"), S<T>("!%!%"));
  EXPECT_EQ(only(6, "!%"), S<T>("!%"));
  EXPECT_EQ(Esc<T>(S<T>("!%!_"), 0b01111000, '\'', '!'), S<T>("!!%!!_"));
  EXPECT_EQ(Esc<T>(S<T>("!!"), 0b10000100, '\'', '!'), S<T>("!!!!"));
  // A quote is a quote even when named as the escape.
  EXPECT_EQ(Esc<T>(S<T>("''%"), 0xFF, B, '\''), S<T>("\\'\\''%"));
}

// The documented destination of 2n + 1 characters holds for every input, flag set and choice of
// quote-escape and escape characters (Esc writes into exactly that much heap).
TYPED_TEST(SqlEscapeTest, EscapeNeverExceedsTwiceTheSource) {
  using T = TypeParam;
  std::mt19937 rng(1109);
  const Str<T> alphabet = Alphabet<T>();
  const Str<T> specials = S<T>("'\\%_!a");
  size_t tight = 0;
  for (int i = 0; i < 20000; ++i) {
    const Str<T> src = RandomText(rng, alphabet, 24);
    const T q = specials[rng() % specials.size()], e = specials[rng() % specials.size()];
    const Str<T> out = Esc<T>(src, rng() % 256, q, e);
    tight += out.size() == 2 * src.size() && !src.empty();
  }
  EXPECT_GT(tight, 0u);  // the bound is reached, not just respected
  EXPECT_EQ(Esc<T>(S<T>("!%!%"), 0xFF, '\'', '!').size(), 8u);
}

// ---- ChangeEscape ----

TYPED_TEST(SqlEscapeTest, ChangeEscapeRewritesSequences) {
  using T = TypeParam;
  const Str<T> pct = S<T>("%"), pre = S<T>("["), post = S<T>("]"), und = S<T>("?");
  auto change = [&](std::string_view s, T e) {
    return Take(pszChangeEscape(S<T>(s).c_str(), pct.c_str(), pre.c_str(), post.c_str(),
                                und.c_str(), nullptr, nullptr, e));
  };
  EXPECT_EQ(change("a\\%b", B), S<T>("a[%]b"));
  EXPECT_EQ(change("a%b_", B), S<T>("a%b_"));
  EXPECT_EQ(change("\\_\\\\\\x\\", B), S<T>("?\\\\x\\"));
  EXPECT_EQ(change("!%!!", '!'), S<T>("[%]!"));
  EXPECT_EQ(change("", B), S<T>(""));
  EXPECT_EQ(Take(pszChangeEscape(static_cast<const T*>(nullptr), nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, B)),
            S<T>(""));
}

// dst of length x max(1, sum of the six texts) + 1, exactly, is enough for any input; the
// allocating form gives the same text.
TYPED_TEST(SqlEscapeTest, ChangeEscapeFitsItsDocumentedBound) {
  using T = TypeParam;
  std::mt19937 rng(2024);
  const Str<T> alphabet = S<T>("\\%_!ab");
  for (int i = 0; i < 5000; ++i) {
    const Str<T> src = RandomText(rng, alphabet, 20);
    Str<T> texts[6];
    size_t sum = 0;
    for (Str<T>& t : texts) sum += (t = RandomText(rng, alphabet, 4)).size();
    const T e = alphabet[rng() % 4];
    const size_t cap = src.size() * std::max<size_t>(1, sum) + 1;
    T* dst = static_cast<T*>(malloc(cap * sizeof(T)));
    const size_t n = ChangeEscape(src.c_str(), dst, texts[0].c_str(), texts[1].c_str(),
                                  texts[2].c_str(), texts[3].c_str(), texts[4].c_str(),
                                  texts[5].c_str(), e);
    ASSERT_LT(n, cap);
    const Str<T> out(dst, n);
    free(dst);
    EXPECT_EQ(Take(pszChangeEscape(src.c_str(), texts[0].c_str(), texts[1].c_str(),
                                   texts[2].c_str(), texts[3].c_str(), texts[4].c_str(),
                                   texts[5].c_str(), e)),
              out);
  }
}

// ---- Undoing ----

TYPED_TEST(SqlEscapeTest, PurgeFunctions) {
  using T = TypeParam;
  EXPECT_EQ(Quote(S<T>("''"), TRUE), S<T>("''"));
  EXPECT_EQ(Quote(S<T>("''''"), FALSE), S<T>("''"));
  EXPECT_EQ(Quote(S<T>("it''s"), FALSE), S<T>("it's"));
  EXPECT_EQ(Quote(S<T>("a\\'b"), FALSE), S<T>("a\\'b"));
  EXPECT_EQ(Quote(S<T>("a\\'b"), TRUE), S<T>("a'b"));
  EXPECT_EQ(Quote(S<T>("'''"), FALSE), S<T>("''"));
  EXPECT_EQ(Quote(S<T>("x\\''"), TRUE), S<T>("x\\'"));  // walked from the end
  EXPECT_EQ(Quote(S<T>("'"), TRUE), S<T>("'"));
  EXPECT_EQ(Quote(S<T>(""), TRUE), S<T>(""));

  auto purge = [](std::string_view s, T e) {
    return InPlace(S<T>(s), [e](T* p) { PurgeEscape(p, e); });
  };
  EXPECT_EQ(purge("a\\%b\\x", B), S<T>("a%b\\x"));
  EXPECT_EQ(purge("\\\\\\_\\", B), S<T>("\\_\\"));
  EXPECT_EQ(purge("!!!%", '!'), S<T>("!%"));

  auto purgeEsc = [](std::string_view s, T e) {
    return InPlace(S<T>(s), [e](T* p) { PurgeEscapeEscape(p, e); });
  };
  EXPECT_EQ(purgeEsc("!!!", '!'), S<T>("!!"));
  EXPECT_EQ(purgeEsc("a!!b!%", '!'), S<T>("a!b!%"));

  auto purgeBs = [](std::string_view s) {
    return InPlace(S<T>(s), [](T* p) { PurgeEscapeBackSlash(p); });
  };
  EXPECT_EQ(purgeBs("\\\\\\\\"), S<T>("\\\\"));
  EXPECT_EQ(purgeBs("\\\\\\'"), S<T>("\\'"));
  EXPECT_EQ(purgeBs(""), S<T>(""));

  // Null texts are left alone.
  PurgeQuote(static_cast<T*>(nullptr), TRUE);
  PurgeEscape(static_cast<T*>(nullptr), B);
  PurgeEscapeEscape(static_cast<T*>(nullptr), B);
  PurgeEscapeBackSlash(static_cast<T*>(nullptr));
}

// Escaping then undoing gives the source back, for the three pairings callers use.
TYPED_TEST(SqlEscapeTest, EscapingRoundTrips) {
  using T = TypeParam;
  std::mt19937 rng(7);
  const Str<T> alphabet = Alphabet<T>();
  for (int i = 0; i < 5000; ++i) {
    const Str<T> src = RandomText(rng, alphabet, 16);
    // A lone quote doubled is "''", which PurgeQuote keeps as the empty literal.
    const Str<T> back = src == S<T>("'") ? S<T>("''") : src;

    // Quote doubling.
    EXPECT_EQ(Quote(Esc<T>(src, 0b1, '\'', '!'), FALSE), back);
    // Backslash-escaped quotes and doubled backslashes.
    EXPECT_EQ(InPlace(Esc<T>(src, 0b11, B, '!'), [](T* p) { PurgeEscapeBackSlash(p); }), src);
    // A LIKE value (everything escaped but backslashes) for each escape character.
    for (T e : S<T>("\\!")) {
      const Str<T> like = Esc<T>(src, 0xFD, '\'', e);
      EXPECT_EQ(Quote(InPlace(like, [e](T* p) { PurgeEscape(p, e); }), FALSE), back)
          << "e=" << char(e);
    }
  }
}

// ---- MySQL LIKE literal ----

TYPED_TEST(SqlEscapeTest, VerrueEscapeMySQL) {
  using T = TypeParam;
  auto v = [](std::string_view s, wchar_t e) { return Verrue(S<T>(s), e); };
  EXPECT_EQ(v("it''s 50\\%", B), S<T>("it\\'s 50\\%"));
  EXPECT_EQ(v("a!b!%", '!'), S<T>("a!!b!%"));
  EXPECT_EQ(v("", B), S<T>(""));
  EXPECT_EQ(Take(pszVerrueEscapeMySQL(static_cast<const T*>(nullptr), B)), S<T>(""));
  EXPECT_EQ(v("a_\\_", B), S<T>("a_\\_"));
  // A backslash before a quote used to pair with the inserted backslash and leave the quote
  // bare: each now becomes its own pair.
  EXPECT_EQ(v("\\\\'", B), S<T>("\\\\\\\\\\'"));   // purged to B': literal B, then quote
  EXPECT_EQ(v("\\'", '!'), S<T>("\\'"));           // purged to a quote
  EXPECT_EQ(v("\\\\'", '!'), S<T>("\\\\\\'"));
  // A trailing backslash would swallow the closing quote.
  EXPECT_EQ(v("x\\", B), S<T>("x\\\\\\\\"));
  EXPECT_EQ(v("x\\", '!'), S<T>("x\\\\"));
  // A doubled backslash escape must reach the LIKE matcher doubled.
  EXPECT_EQ(v("\\\\%", B), S<T>("\\\\\\\\%"));
  EXPECT_EQ(v("!!%", '!'), S<T>("!!%"));
  // A quote as the escape character is still written as backslash-quote.
  EXPECT_EQ(v("a'%b", '\''), S<T>("a\\'%b"));
}

// For any source, the result read as a literal body never ends the literal early, and the LIKE
// pattern the server reads from it is exactly the one the source means.
TYPED_TEST(SqlEscapeTest, VerrueResultIsASafeLiteralOfTheIntendedPattern) {
  using T = TypeParam;
  std::mt19937 rng(42);
  const Str<T> alphabet = Alphabet<T>();
  for (wchar_t e : std::wstring(L"\\!'")) {
    for (int i = 0; i < 20000; ++i) {
      const Str<T> src = RandomText(rng, alphabet, 24);
      const Str<T> body = Verrue(src, e);
      const std::optional<Str<T>> value = LexLiteralBody(body);
      ASSERT_TRUE(value.has_value()) << "e=" << char(e) << " case " << i;
      EXPECT_EQ(ReadPattern(*value, T(e)), Intended(Quote(src, TRUE), T(e)))
          << "e=" << char(e) << " case " << i;
    }
  }
}

TEST(SqlEscapeNarrow, EscapeCharacterGoesThroughCodePage1252) {
  EXPECT_EQ(Verrue<char>("a\xA7" "b\xA7%", L'\u00A7'), "a\xA7\xA7" "b\xA7%");
  EXPECT_EQ(Verrue<char>("\x80x", L'\u20AC'), "\x80\x80x");
}

TEST(SqlEscapeWidths, NarrowAndWideAgree) {
  std::mt19937 rng(99);
  const std::string alphabet = Alphabet<char>();
  for (int i = 0; i < 3000; ++i) {
    const std::string s = RandomText(rng, alphabet, 16);
    const std::wstring w = S<wchar_t>(s);
    const unsigned flags = rng() % 256;
    const char e = "\\!%'"[rng() % 4];
    EXPECT_EQ(S<wchar_t>(Esc<char>(s, flags, '\'', e)), Esc<wchar_t>(w, flags, L'\'', e));
    EXPECT_EQ(S<wchar_t>(Verrue(s, e)), Verrue(w, e));
    EXPECT_EQ(S<wchar_t>(Quote(s, TRUE)), Quote(w, TRUE));
  }
}

}  // namespace

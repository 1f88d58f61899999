#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/ctstring.h"

namespace {

using Wide = std::optional<std::wstring>;  // nullopt: the call answered 0
constexpr size_t kIconvFail = static_cast<size_t>(-1);

// Narrow -> wide. lenient: invalid input and a cut final sequence are dropped.
Wide refToWide(const char* from, bool lenient, const std::string& in) {
  iconv_t cd = iconv_open(lenient ? "UTF32LE//IGNORE" : "UTF32LE", from);
  std::wstring out(in.size() + 8, L'\0');
  char *ip = const_cast<char*>(in.data()), *op = reinterpret_cast<char*>(out.data());
  size_t il = in.size(), ol = out.size() * sizeof(wchar_t);
  bool ok = true;
  for (char* before = nullptr; ok && il > 0 && ip != before;) {  // glibc answers EILSEQ for what it dropped
    before = ip;
    ok = iconv(cd, &ip, &il, &op, &ol) != kIconvFail || (lenient && (errno == EILSEQ || errno == EINVAL));
    if (errno == EINVAL) break;
  }
  ok = ok && iconv(cd, nullptr, nullptr, &op, &ol) != kIconvFail;
  iconv_close(cd);
  out.resize(out.size() - ol / sizeof(wchar_t));
  return ok && !out.empty() ? Wide(out) : std::nullopt;
}

// Wide -> narrow, each refused character replaced by rep after a return to the initial state.
std::string refFromWide(const char* to, const std::wstring& in, const std::string& rep, bool* used) {
  iconv_t cd = iconv_open(to, "UTF32LE");
  std::string out(in.size() * (8 + rep.size()) + 16, '\0');
  char *ip = reinterpret_cast<char*>(const_cast<wchar_t*>(in.data())), *op = out.data();
  size_t il = in.size() * sizeof(wchar_t), ol = out.size();
  for (*used = false; iconv(cd, &ip, &il, &op, &ol) == kIconvFail; ip += 4, il -= 4) {
    *used = true;
    iconv(cd, nullptr, nullptr, &op, &ol);
    op = std::copy(rep.begin(), rep.end(), op);
    ol -= rep.size();
  }
  iconv(cd, nullptr, nullptr, &op, &ol);
  iconv_close(cd);
  return out.substr(0, out.size() - ol);
}

// The function under test: counted, converted into exactly the count and into one unit less
// (which fails and leaves an empty text). nullopt for 0.
template <typename T, typename Call>
std::optional<std::basic_string<T>> Convert(Call call) {
  const int need = call(nullptr, 0);
  if (need == 0) return std::nullopt;
  std::basic_string<T> out(static_cast<size_t>(need), T(0x5A)), less = out;
  EXPECT_EQ(call(out.data(), need), need);
  EXPECT_TRUE(need == 1 || (call(less.data(), need - 1) == 0 && less[0] == T(0))) << "one unit short";
  return out;
}

Wide toWide(unsigned int cp, unsigned int flags, const std::string& in) {
  return Convert<wchar_t>([&](wchar_t* d, int n) {
    return MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), d, n);
  });
}

std::string fromWide(unsigned int cp, const std::wstring& in, const char* def, bool* used) {
  int flags[3] = {7, 7, 7}, calls = 0;  // counting, converting, one byte short
  const auto out = Convert<char>([&](char* d, int n) {
    return WideCharToMultiByte(cp, 0, in.data(), static_cast<int>(in.size()), d, n, def, &flags[calls++]);
  });
  EXPECT_TRUE(calls < 2 || flags[0] == flags[1]);
  *used = flags[calls > 1 ? 1 : 0] != 0;
  return out.value_or("");
}

const unsigned int kAllPages[] = {1, 874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258,
                                  1361, 50220, 65001};

std::string u8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

TEST(CodePage, NamesLanguagesAndLocales) {
  const struct { int cp; const char* name; } names[] = {
      {0, "CP1252"}, {1252, "CP1252"}, {12345, "CP1252"}, {437, "CP1252"},         {-1, "CP1252"},
      {1, "CP437"},  {1257, "CP1257"}, {1361, "CP1361"},  {50220, "ISO-2022-JP"}, {65001, "UTF-8"}};
  for (const auto& r : names) EXPECT_STREQ(CodePageToIConv(r.cp), r.name) << r.cp;
  EXPECT_EQ(GetSystemDefaultLangID(), 0x800);
  EXPECT_EQ(GetUserDefaultLangID(), 0x800);
  const struct { unsigned int lang; int langue; } langs[] = {{12, 0}, {4, 2}, {7, 1}};  // French, Chinese, English
  for (const auto& r : langs) EXPECT_EQ(static_cast<int>(LANG_To_ELangueProduit(r.lang)), r.langue) << r.lang;
  const unsigned int back[] = {12, 9, 4, 9, 9, 9};  // product languages 0 to 5; any other gives English
  for (int l = 0; l < 6; ++l) EXPECT_EQ(ELangueProduit_To_LANG(static_cast<_ELangueProduit>(l)), back[l]) << l;
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  const char* name = SetLocaleUTF8();  // the platform has C.utf8 at least
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), name);
  EXPECT_STREQ(UnsetLocale(LC_CTYPE), "C");
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(CodePage, WideningDropsInvalidAndCutInputUnlessStrictAndCountsWhatFits) {
  const struct { unsigned int cp, flags; std::string in; int len; Wide want; } rows[] = {
      {1252, 0, "abc", -1, std::wstring(L"abc\0", 4)}, {1252, 0, "x", -2, {}}, {1252, 8, "\x81", 1, {}},
      {65001, 8, "a\xFF", 2, {}}, {65001, 0, "a\xFF" "b", 3, L"ab"},  // strict fails, else dropped
      // A final sequence cut short is dropped like any invalid one; whole characters stay.
      {65001, 0, "abc\xC3", 4, L"abc"}, {65001, 8, "abc\xC3", 4, {}}, {65001, 0, "ab\xC3" "cd", 5, L"abcd"},
      {65001, 0, "a\xE2\x82", 3, L"a"}, {932, 0, "AB\x8E", 3, L"AB"},  {932, 8, "AB\x8E", 3, {}},
      {936, 0, "AB\x8E", 3, L"AB"},      {949, 0, "AB\x8E", 3, L"AB"},  {949, 8, "AB\x8E", 3, {}},
      {949, 0, "\xA2\xE8" "A", 3, L"A"},             // glibc's //IGNORE reads past the input here
      {65001, 0, "a\xF4\x90\x80\x80", 5, L"a"},        // counts 1: converting into 1 must work too
      {1258, 0, "a\xDE", 2, L"\u00E3"}};               // the base letter 1258 holds back is flushed
  wchar_t w[8];
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.cp << " " << testing::PrintToString(r.in));
    EXPECT_TRUE(r.len < 0 || toWide(r.cp, r.flags, r.in.substr(0, static_cast<size_t>(r.len))) == r.want);
    EXPECT_EQ(MultiByteToWideChar(r.cp, r.flags, r.in.c_str(), r.len, w, 8), r.want ? int(r.want->size()) : 0);
  }
  EXPECT_EQ(MultiByteToWideChar(1252, 0, nullptr, 3, w, 8), 0);
  // Any bytes on any page: the counted size fits exactly (toWide checks it), and a text that
  // converts strictly converts the same way leniently. Two threads a page share the descriptors.
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 2 * std::size(kAllPages); ++t)
    threads.emplace_back([t] {
      std::mt19937 rng(static_cast<unsigned int>(t));
      const unsigned int cp = kAllPages[t % std::size(kAllPages)];
      for (int round = 0; round < 200; ++round) {
        std::string s;
        for (int k = static_cast<int>(rng() % 8); k > 0; --k) s += static_cast<char>(rng() % 3 ? 0x80 | rng() : rng());
        const Wide strict = toWide(cp, 8, s);
        EXPECT_TRUE(!strict || toWide(cp, 0, s) == strict) << cp << testing::PrintToString(s);
      }
    });
  for (std::thread& th : threads) th.join();
}

TEST(CodePage, CP1252MatchesIconvForEveryByteAndCharacter) {
  std::string bytes;
  for (size_t b = 0; b < 512; ++b) {  // each byte alone, leniently and strictly
    const std::string one(1, static_cast<char>(b));
    if (b < 256) bytes += one;
    EXPECT_EQ(toWide(1252, b < 256 ? 0 : 8, one), refToWide("CP1252", b < 256, one));
  }
  EXPECT_EQ(toWide(1252, 0, bytes)->size(), 251u);  // the five holes dropped
  std::wstring all;
  for (uint32_t c = 1; c < 0x110000; ++c) all += static_cast<wchar_t>(c);  // surrogates included
  for (int64_t c : {0x110000LL, 0x7FFFFFFFLL, -1LL, -5LL}) all += static_cast<wchar_t>(c);
  iconv_t cd = iconv_open("CP1252", "UTF32LE");  // one character at a time: iconv restarts slowly
  std::string want;
  for (wchar_t c : all) {
    char out[8], *ip = reinterpret_cast<char*>(&c), *op = out;
    size_t il = sizeof c, ol = sizeof out;
    want += iconv(cd, &ip, &il, &op, &ol) == kIconvFail ? std::string("?") : std::string(out, sizeof out - ol);
  }
  iconv_close(cd);
  bool used = false;
  EXPECT_TRUE(fromWide(1252, all, nullptr, &used) == want);  // no million-character printout
  EXPECT_TRUE(used);
}

TEST(CodePage, UTF8MatchesIconvOnValidAndInvalidInput) {
  const unsigned char odd[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0,
                               0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xF7, 0xF8, 0xFB, 0xFC,
                               0xFE, 0xFF};
  auto check = [](const std::string& s) {
    EXPECT_EQ(toWide(65001, 0, s), refToWide("UTF-8", true, s)) << testing::PrintToString(s);
    EXPECT_EQ(toWide(65001, 8, s), refToWide("UTF-8", false, s)) << testing::PrintToString(s);
  };
  for (size_t i = 0; i < 30 * 30 * 30; ++i) {  // up to three odd bytes, at the end and before ASCII
    const std::string s{char(odd[i % 30]), char(odd[i / 30 % 30]), char(odd[i / 900])};
    check(s);
    check("x" + s + "y");
    check(s.substr(0, 2));
  }
  std::mt19937 rng(1234);
  for (int round = 0; round < 500; ++round) {  // random texts (surrogates, values above U+10FFFF), then damaged
    std::wstring w;
    for (int k = rng() % 40; k > 0; --k)
      w += static_cast<wchar_t>(rng() % 12 == 0 ? 0xD800 + rng() % 0x800 : rng() % 3 ? rng() % 0x110400 : rng() % 0x80);
    bool used = false, refUsed = false;
    std::string s = fromWide(65001, w, "[?]", &used);
    EXPECT_TRUE(s == refFromWide("UTF-8", w, "[?]", &refUsed) && used == refUsed) << testing::PrintToString(w);
    check(s);
    if (s.empty()) continue;
    s[rng() % s.size()] = static_cast<char>(odd[rng() % sizeof odd]);
    check(s);
    check(s.substr(0, rng() % s.size()));
  }
  for (int round = 0; round < 300; ++round) {  // runs of ASCII of every length beside other bytes, read in blocks
    std::string s;
    for (int k = rng() % 6; k >= 0; --k) {
      s += std::string(rng() % 20, static_cast<char>('a' + rng() % 26));
      s += rng() % 2 ? std::string("\xC3\xA9") : rng() % 2 ? std::string("\xF0\x9F\x98\x80") : std::string(1, char(odd[rng() % sizeof odd]));
    }
    check(s);
    check(s.substr(0, rng() % (s.size() + 1)));
  }
  EXPECT_EQ(nGetUTF8Len(L"\u00E9t\u00E9"), 6);
  EXPECT_EQ(nGetUTF8Len(L""), 1);
}

TEST(CodePage, RoundTripThroughEveryPageMatchesIconv) {
  const std::wstring text =
      L"Az09 \\~\u00E9\u00E8\u00FC\u00DF\u00A0\u20AC\u0152\u0160\u0178\u00C0\u0142\u0107\u0410\u044F\u03A9"
      L"\u05D0\u0627\u0E01\u65E5\u672C\u8868\u4E2D\u6587\uAC00\uD55C\u30A2\u3042\u1EA0\u0303\U0001F600 end";
  for (unsigned int cp : kAllPages) {
    const char* name = CodePageToIConv(static_cast<int>(cp));
    bool used = false, refUsed = false;
    const std::string narrow = fromWide(cp, text, nullptr, &used);
    EXPECT_EQ(narrow, refFromWide(name, text, "?", &refUsed)) << cp;
    EXPECT_TRUE(used == refUsed && used == (cp != 65001)) << cp;
    EXPECT_EQ(toWide(cp, 0, narrow), refToWide(name, true, narrow)) << cp;
    EXPECT_EQ(toWide(cp, 8, narrow), refToWide(name, false, narrow)) << cp;
  }
}

TEST(CodePage, ReplacementText) {
  const struct { unsigned int cp; const wchar_t* in; int len, room; const char* def; int want, used; const char* text; }
  rows[] = {
      {1252, L"a\u4E2Db", 3, 16, nullptr, 3, 1, "a?b"}, {1252, L"a\u4E2D", 2, 16, "<?>", 4, 1, "a<?>"},  // last one
      {1252, L"abc", -1, 4, nullptr, 4, 0, "abc"}, {1252, L"abc", -1, 3, nullptr, 0, 0, ""},  // no room for the zero
      // A replacement that does not fit fails and writes nothing past the destination.
      {1252, L"a\u4E2D", 2, 3, "<?>", 0, 1, ""},  {1250, L"a\u4E2D", 2, 3, "<?>", 0, 1, ""},
      {65001, L"a\xD800", 2, 3, "<?>", 0, 1, ""}, {65001, L"a\xD800", 2, 4, "<?>", 4, 1, "a<?>"},
      {1252, L"ab", 2, 16, "<?>", 2, 0, "ab"},          // the flag is cleared by every call
      {1250, L"\u0160\uAC00", 2, 1, "", 1, 1, "\x8A"},    // an empty replacement needs no room
      {1252, L"a\U000E0041b", 3, 16, nullptr, 2, 0, "ab"}};  // tag characters vanish, as in glibc
  for (const auto& r : rows) {
    char out[16];
    std::memset(out, 'Z', sizeof out);
    int used = 7;
    EXPECT_EQ(WideCharToMultiByte(r.cp, 0, r.in, r.len, out, r.room, r.def, &used), r.want) << r.text;
    EXPECT_EQ(std::string(out, std::strlen(r.text)), r.text);
    EXPECT_TRUE(r.want != 0 || out[0] == '\0') << "failure leaves an empty text";
    EXPECT_TRUE(r.room == 16 || out[r.room] == 'Z');
    EXPECT_EQ(used, r.used) << r.text;
  }
}

// Code page (0: the host's, through the _CurrentCharset forms), source (len -1: with its zero),
// room, result, first bytes written, replacement flag (-1: not asked).
struct NarrowRow {
  unsigned int cp; std::string in; int len; unsigned int room; int want; std::string text; int used = -1;
};

template <typename F>
void RunNarrowRows(const std::vector<NarrowRow>& rows, F convert) {
  for (const NarrowRow& r : rows) {
    char out[32];
    std::memset(out, 'Z', sizeof out);
    int used = 7;
    const unsigned int len = r.len < 0 ? 0xFFFFFFFFu : static_cast<unsigned int>(r.len);
    EXPECT_EQ(convert(r.cp, r.in.c_str(), len, out, r.room, &used), r.want) << r.cp << testing::PrintToString(r.in);
    EXPECT_EQ(std::string(out, r.text.size()), r.text) << testing::PrintToString(r.in);
    EXPECT_TRUE(r.want != 0 || r.room == 0 || out[0] == '\0') << "failure leaves an empty text";
    EXPECT_TRUE(r.used < 0 || used == r.used) << testing::PrintToString(r.in);
  }
}

// Double-byte and stateful pages convert whole (Shift-JIS 0x95 0x5C is a kanji); Johab's 0x5C is U+20A9.
TEST(CodePage, NarrowToUTF8AndToOtherPages) {
  const std::string hanzi = u8(u8"a\u4E2D\u6587b\u8868"), kanji = u8(u8"\u65E5\u672Ca\u8868 b");
  const std::string jis = "\x1B$BF|K\\\x1B(Ba\x1B$BI=\x1B(B b";
  RunNarrowRows({{1252, "caf\xE9", 4, 16, 5, u8(u8"caf\u00E9") + std::string(11, '\0')},  // zero-filled
                 {65001, "abcd", 3, 16, 3, std::string("abc\0", 4)},  // bounded by the source length
                 {65001, "abcdef", 6, 4, 3, std::string("abc\0", 4)}, {1252, "ab", 2, 0, 0, "Z"},
                 {1252, "abcdef", 6, 4, 4, "abcdZ"},  // ASCII is cut, not terminated
                 {1252, "ab\xE9", 3, 3, 0, ""}, {1252, "ab\xE9", 3, 4, 4, "ab\xC3\xA9"},  // a run fits whole or fails
                 {1252, "ab", 0, 4, 0, std::string(4, '\0')}, {1252, "ab", -1, 16, 3, std::string("ab\0", 3)},
                 // A run of bytes that convert to nothing fails the call; a run giving something stays.
                 {1252, "\x81\x8D\x8F\x90\x9D", 5, 16, 0, ""}, {1252, "a\x81" "b", 3, 16, 0, ""},
                 {1252, "a\x81\xE9", 3, 16, 3, "a\xC3\xA9"}, {1250, "a\x98", 2, 16, 0, ""},
                 {932, "AB\x8E", 3, 16, 0, ""}, {932, "A\x82\xA0\x8E", 4, 16, 4, u8(u8"A\u3042")},
                 {1361, "a\\", 2, 16, 4, u8(u8"a\u20A9")},
                 {932, "\x95\x5C\x83\x41x\\", 6, 16, 8, u8(u8"\u8868\u30A2x\\")}, {50220, jis, 21, 32, 12, kanji},
                 {936, "a\xD6\xD0\xCE\xC4" "b\xB1\xED", 8, 16, 11, hanzi}, {0, "\xE9t", 2, 16, 3, "\xC3\xA9t"},
                 {949, "a\xF1\xE9\xD9\xFE" "b\xF8\xFA", 8, 16, 11, hanzi},
                 {950, "a\xA4\xA4\xA4\xE5" "b\xAA\xED", 8, 16, 11, hanzi}},
                [](unsigned int cp, const char* s, unsigned int n, char* d, unsigned int room, int*) {
                  return cp == 0 ? MultiByteToUTF8_CurrentCharset(s, n, d, room, 0)
                                 : MultiByteToUTF8(cp, s, n, d, room, 0);
                });
  RunNarrowRows({{1252, "caf\xE9", 4, 16, 5, u8(u8"caf\u00E9")}, {1252, "caf\xE9", 4, 0, 5, "ZZ"},
                 {1252, "caf\xE9", 4, 4, 0, ""}, {65001, "\xE4\xB8\xAD", 3, 16, 0, ""}},  // no form in 1252
                [](unsigned int cp, const char* s, unsigned int n, char* d, unsigned int room, int*) {
                  return MultiByteToMultiByte(cp, s, n, cp == 65001 ? 1252 : 65001, room ? d : nullptr, room, 0);
                });
}

TEST(CodePage, UTF8ToMultiByte) {
  const std::string text = u8(u8"\u00E9\u4E2D x \u00E8"), jis = "\x1B$BF|K\\\x1B(Ba\x1B$BI=\x1B(B b";
  RunNarrowRows({{65001, "abcdefghij", 10, 4, 3, std::string("abc\0", 4)},
                 {65001, "ab", 2, 16, 2, std::string("ab") + std::string(14, '\0')}, {1252, "abcdef", 6, 3, 3, "abcZ"},
                 {1252, text, -1, 16, 7, "\xE9# x \xE8", 1},  // the flag reports a replacement in any run
                 {1250, text, 10, 16, 6, "\xE9# x #", 1}, {1252, "abc", 3, 16, 3, "abc", 0},
                 {1252, text, -1, 1, 0, std::string("\0Z", 2)},  // a stretch that does not fit fails
                 {1252, "x\xC3" "A", 3, 10, 0, ""}, {1252, "a\xFF" "b", 3, 10, 0, ""},  // a run giving nothing fails
                 {1252, "a\xFF\xC3\xA9", 4, 10, 2, "a\xE9"}, {50220, "a\xFF" "b", 3, 10, 0, ""},  // also whole
                 {932, u8(u8"\u8868\u30A2x\\"), 8, 16, 6, "\x95\x5C\x83\x41x\\"}, {1361, "a\\b", 3, 16, 3, "a#b", 1},
                 {50220, u8(u8"\u65E5\u672Ca\u8868 b"), 12, 32, 21, jis}, {0, "\xC3\xA9t", 3, 16, 2, "\xE9t"},
                 // A replacement inside a kanji stretch reads as ASCII; the text ends shifted back.
                 {50220, u8(u8"\u65E5\u00E9\u672C"), 8, 32, 17, "\x1B$BF|\x1B(B#\x1B$BK\\\x1B(B", 1}},
                [](unsigned int cp, const char* s, unsigned int n, char* d, unsigned int room, int* used) {
                  return cp == 0 ? UTF8ToMultiByte_CurrentCharset(s, n, d, room, 0)
                                 : UTF8ToMultiByte(cp, s, n, d, room, 0, "#", used);
                });
}

// A run that narrows to nothing (tag characters, an empty default text) fails both directions,
// but only where the output reaches it: a destination full before it ends the conversion first.
TEST(CodePage, RunsThatGiveNothingFailWhereTheOutputReachesThem) {
  const std::string tag = "\xF3\xA0\x81\x81", macron = "\xC4\x80", e = "\xC3\xA9", han = "\xE4\xB8\xAD";
  RunNarrowRows({{1252, "a" + tag + "b", 6, 16, 0, ""}, {1252, "a" + macron + "b", 4, 16, 0, "", 1},
                 {1252, "a" + macron + e + "b", 6, 16, 3, "a\xE9" "b", 1}, {1252, "a" + tag + e, 7, 16, 2, "a\xE9"},
                 {1250, "a" + han + "b", 5, 16, 0, ""}, {932, "a" + tag + "b", 6, 16, 0, ""},
                 {50220, "a" + e + "b", 4, 16, 0, ""}, {1252, "ab" + tag, 6, 2, 2, "ab"},
                 {1252, "ab" + tag, 6, 3, 0, ""}},
                [](unsigned int cp, const char* s, unsigned int n, char* d, unsigned int room, int* used) {
                  return UTF8ToMultiByte(cp, s, n, d, room, 0, "", used);
                });
  RunNarrowRows({{1250, "ab\x81", 3, 2, 2, "ab"}, {1250, "ab\x81", 3, 3, 0, ""}, {1250, "\x81" "ab", 3, 2, 0, ""},
                 {1250, "a\xE9" "b\x81", 4, 3, 3, "a\xC3\xA9"}, {1250, "a\xE9" "b\x81", 4, 4, 4, "a\xC3\xA9" "b"},
                 {1250, "a\xE9" "b\x81", 4, 5, 0, ""},
                 {932, "AB\x8E", 3, 2, 2, "AB"}, {932, "AB\x8E", 3, 3, 0, ""}, {1252, "ab\x81", 3, 2, 2, "ab"}},
                [](unsigned int cp, const char* s, unsigned int n, char* d, unsigned int room, int*) {
                  return MultiByteToUTF8(cp, s, n, d, room, 0);
                });
}

TEST(CodePage, UTF16AndOwnedStringsGoThroughWideText) {
  unsigned short out[8];
  EXPECT_EQ(MultiByteToUTF16(65001, 0, "\xF0\x9F\x98\x80" "a", -1, out, 8), 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(out), 4), std::u16string(u"\U0001F600a\0", 4));
  EXPECT_EQ(MultiByteToUTF16_CurrentCharset("\x80", 1, out, 8, 0), 1);
  EXPECT_EQ(out[0], 0x20AC);
  EXPECT_EQ(MultiByteToUTF16(65001, 8, "a\xFF", 2, out, 8), 0);
  EXPECT_EQ(out[0], 0);  // failure leaves an empty text
  const unsigned short u16[] = {'a', 0xD83D, 0xDE00, 0xDC00, 'b', 0};
  char narrow[16];
  int used = 0;
  EXPECT_EQ(UTF16ToMultiByte(65001, 0, u16, -1, narrow, 16, nullptr, &used), 8);
  EXPECT_EQ(std::string(narrow), u8(u8"a\U0001F600") + "?b");  // the lone surrogate is replaced
  EXPECT_EQ(used, 1);
  // CTString sizes its buffer by the count: a cut or invalid tail does not empty the text.
  const struct { const char* in; const wchar_t* want; } rows[] = {
      {"abc\xC3", L"abc"}, {"abc\xF4\x90\x80\x80", L"abc"}, {"\xC3", L""}, {"\xC3\xA9t", L"\u00E9t"}};
  for (const auto& r : rows) {
    CTString s;
    s.SetANSIEx(r.in, -1, 65001);
    EXPECT_EQ(std::wstring(s.pszGet()), r.want) << testing::PrintToString(std::string(r.in));
  }
}

}  // namespace

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

// ---- Reference: glibc iconv used directly, with the conversion rules of the runtime ----

// Narrow -> wide. ignore: invalid input and a cut final sequence dropped (glibc's EILSEQ for what
// it dropped is success). An empty result is nullopt like a failure: the interface answers 0 for both.
std::optional<std::wstring> refToWide(const char* from, bool ignore, const std::string& in) {
  iconv_t cd = iconv_open(ignore ? "UTF32LE//IGNORE" : "UTF32LE", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::wstring out(in.size() + 8, L'\0');
  char* ip = const_cast<char*>(in.data());
  size_t il = in.size();
  char* op = reinterpret_cast<char*>(out.data());
  size_t ol = out.size() * sizeof(wchar_t);
  bool ok = true;
  for (char* before = nullptr; ok && il > 0 && ip != before;) {
    before = ip;
    ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) || (ignore && (errno == EILSEQ || errno == EINVAL));
    if (errno == EINVAL) break;
  }
  ok = ok && iconv(cd, nullptr, nullptr, &op, &ol) != static_cast<size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - ol / sizeof(wchar_t));
  if (!ok || out.empty()) return std::nullopt;
  return out;
}

// Wide -> narrow, each refused character replaced by rep after a return to the initial state.
std::string refFromWide(const char* to, const std::wstring& in, const std::string& rep, bool* used) {
  iconv_t cd = iconv_open(to, "UTF32LE");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
  std::string out(in.size() * 8 + rep.size() * in.size() + 16, '\0');
  char* ip = reinterpret_cast<char*>(const_cast<wchar_t*>(in.data()));
  size_t il = in.size() * sizeof(wchar_t);
  char* op = out.data();
  size_t ol = out.size();
  *used = false;
  while (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) {
    EXPECT_EQ(errno, EILSEQ);
    *used = true;
    iconv(cd, nullptr, nullptr, &op, &ol);
    std::memcpy(op, rep.data(), rep.size());
    op += rep.size();
    ol -= rep.size();
    ip += 4;
    il -= 4;
  }
  iconv(cd, nullptr, nullptr, &op, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

// ---- The functions under test, in both modes ----

// Converts and checks that counting gives the same number. nullopt for a failure (0).
std::optional<std::wstring> toWide(unsigned int cp, unsigned int flags, const std::string& in) {
  const int need = MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
  std::wstring out(in.size() + 8, L'\x5A5A');
  const int got = MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), out.data(),
                                      static_cast<int>(out.size()));
  EXPECT_EQ(need, got) << "cp " << cp;
  if (got == 0) return std::nullopt;
  out.resize(static_cast<size_t>(got));
  return out;
}

std::string fromWide(unsigned int cp, const std::wstring& in, const char* def, bool* used) {
  int usedCount = 7;
  const int need = WideCharToMultiByte(cp, 0, in.data(), static_cast<int>(in.size()), nullptr, 0, def, &usedCount);
  int usedConv = 7;
  std::string out(in.size() * 8 + 64, '\x5A');
  const int got = WideCharToMultiByte(cp, 0, in.data(), static_cast<int>(in.size()), out.data(),
                                      static_cast<int>(out.size()), def, &usedConv);
  EXPECT_EQ(need, got) << "cp " << cp;
  EXPECT_EQ(usedCount, usedConv);
  *used = usedConv != 0;
  out.resize(static_cast<size_t>(got));
  return out;
}

const unsigned int kAllPages[] = {1,    874,  932,  936,  949,  950,  1250,  1251, 1252, 1253,
                                  1254, 1255, 1256, 1257, 1258, 1361, 50220, 65001};

std::string u8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

TEST(CodePage, NameTable) {
  EXPECT_STREQ(CodePageToIConv(0), "CP1252");
  EXPECT_STREQ(CodePageToIConv(1252), "CP1252");
  EXPECT_STREQ(CodePageToIConv(12345), "CP1252");
  EXPECT_STREQ(CodePageToIConv(437), "CP1252");
  EXPECT_STREQ(CodePageToIConv(-1), "CP1252");
  EXPECT_STREQ(CodePageToIConv(1), "CP437");
  EXPECT_STREQ(CodePageToIConv(1257), "CP1257");
  EXPECT_STREQ(CodePageToIConv(1361), "CP1361");
  EXPECT_STREQ(CodePageToIConv(50220), "ISO-2022-JP");
  EXPECT_STREQ(CodePageToIConv(65001), "UTF-8");
}

TEST(CodePage, WideningBasics) {
  wchar_t w[8];
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, w, 8), 4);
  EXPECT_EQ(std::wstring(w), L"abc");
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, w, 4), 4);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, w, 3), 0);        // one too small
  EXPECT_EQ(MultiByteToWideChar(65001, 0, "ab\xC3\xA9", 4, w, 2), 0);
  EXPECT_EQ(MultiByteToWideChar(1250, 0, "ab\xE9", 3, w, 2), 0);
  EXPECT_EQ(MultiByteToWideChar(65001, 8, "a\xFF", 2, w, 8), 0);      // strict: invalid fails
  EXPECT_EQ(MultiByteToWideChar(65001, 0, "a\xFF" "b", 3, w, 8), 2);  // lenient: dropped
  EXPECT_EQ(MultiByteToWideChar(1252, 8, "\x81", 1, w, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "x", -2, w, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, nullptr, 3, w, 8), 0);
  // A sequence cut short at the end is dropped without flag 8, whole characters before it kept.
  EXPECT_EQ(MultiByteToWideChar(65001, 0, "a\xE2\x82", 3, w, 8), 1);
  EXPECT_EQ(MultiByteToWideChar(932, 0, "a\x95", 2, nullptr, 0), 1);
  EXPECT_EQ(MultiByteToWideChar(932, 8, "a\x95", 2, nullptr, 0), 0);
}

TEST(CodePage, CP1252EveryByteMatchesIconv) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    all += one;
    for (unsigned int flags : {0u, 8u}) {
      EXPECT_EQ(toWide(1252, flags, one), refToWide("CP1252", flags == 0, one)) << b;
      EXPECT_EQ(toWide(0, flags, one), refToWide("CP1252", flags == 0, one)) << b;
    }
  }
  EXPECT_EQ(toWide(1252, 0, all), refToWide("CP1252", true, all));
  ASSERT_TRUE(toWide(1252, 0, all).has_value());
  EXPECT_EQ(toWide(1252, 0, all)->size(), 251u);  // the five holes dropped
  EXPECT_FALSE(toWide(1252, 8, all).has_value());
}

TEST(CodePage, CP1252EveryCharacterMatchesIconv) {
  std::wstring all;
  for (uint32_t c = 1; c < 0x110000; ++c) all += static_cast<wchar_t>(c);  // surrogates included
  for (int64_t c : {0x110000LL, 0x7FFFFFFFLL, -1LL, -5LL}) all += static_cast<wchar_t>(c);
  // Reference one character at a time: iconv is slow to restart on a long text.
  iconv_t cd = iconv_open("CP1252", "UTF32LE");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string want;
  for (wchar_t c : all) {
    char out[8];
    char* ip = reinterpret_cast<char*>(&c);
    size_t il = sizeof c;
    char* op = out;
    size_t ol = sizeof out;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) want += '?';
    else want.append(out, sizeof out - ol);
  }
  iconv_close(cd);
  bool used = false;
  // Compared without printing a million characters on failure.
  EXPECT_TRUE(fromWide(1252, all, nullptr, &used) == want);
  EXPECT_TRUE(used);
  bool refUsed = false;
  const std::wstring low = all.substr(0, 0x2200);
  EXPECT_EQ(fromWide(1252, low, "<>", &used), refFromWide("CP1252", low, "<>", &refUsed));
  // Tag characters vanish without a replacement, as glibc drops them for 8-bit pages.
  EXPECT_EQ(fromWide(1252, L"a\U000E0041b", nullptr, &used), "ab");
  EXPECT_FALSE(used);
}

TEST(CodePage, UTF8MatchesIconvOnValidAndInvalidInput) {
  std::mt19937 rng(1234);
  const unsigned char interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                       0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5,
                                       0xF7, 0xF8, 0xFB, 0xFC, 0xFE, 0xFF};
  auto check = [](const std::string& s) {
    EXPECT_EQ(toWide(65001, 0, s), refToWide("UTF-8", true, s)) << testing::PrintToString(s);
    EXPECT_EQ(toWide(65001, 8, s), refToWide("UTF-8", false, s)) << testing::PrintToString(s);
  };
  // Every sequence of up to three interesting bytes, at the end of the text and before ASCII.
  for (unsigned char a : interesting)
    for (unsigned char b : interesting)
      for (unsigned char c : interesting) {
        const std::string s{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
        check(s);
        check("x" + s + "y");
        check(s.substr(0, 2));
      }
  // Random texts of valid characters, with and without damage.
  for (int round = 0; round < 2000; ++round) {
    std::wstring w;
    for (int k = rng() % 40; k > 0; --k) {
      uint32_t c = rng() % 4 == 0 ? rng() % 0x80 : rng() % 0x110000;
      if (c >= 0xD800 && c < 0xE000) c = 0xE9;
      w += static_cast<wchar_t>(c);
    }
    bool used = false;
    std::string s = fromWide(65001, w, nullptr, &used);
    EXPECT_FALSE(used);
    if (!w.empty()) {
      EXPECT_EQ(toWide(65001, 8, s), w);
    }
    check(s);
    if (!s.empty()) {
      s[rng() % s.size()] = static_cast<char>(interesting[rng() % sizeof interesting]);
      check(s);
      check(s.substr(0, rng() % s.size()));
    }
  }
}

TEST(CodePage, WideToUTF8MatchesIconvAndReplacesNonCharacters) {
  std::mt19937 rng(99);
  for (int round = 0; round < 2000; ++round) {
    std::wstring w;
    for (int k = rng() % 30; k > 0; --k) {
      const uint32_t pick = rng() % 10;
      const uint32_t c = pick == 0 ? 0xD800 + rng() % 0x800 : pick == 1 ? 0x110000 + rng() % 1000 : rng() % 0x110000;
      w += static_cast<wchar_t>(c);
    }
    bool used = false;
    bool refUsed = false;
    EXPECT_EQ(fromWide(65001, w, "[?]", &used), refFromWide("UTF-8", w, "[?]", &refUsed));
    EXPECT_EQ(used, refUsed);
  }
  EXPECT_EQ(nGetUTF8Len(L"\u00E9t\u00E9"), 6);
  EXPECT_EQ(nGetUTF8Len(L""), 1);
}

TEST(CodePage, RoundTripThroughEveryPageMatchesIconv) {
  const std::wstring text =
      L"Az09 \\~\u00E9\u00E8\u00FC\u00DF\u00A0\u20AC\u0152\u0160\u0178\u00C0\u0142\u0107\u0410\u044F\u03A9"
      L"\u05D0\u0627\u0E01\u65E5\u672C\u8868\u4E2D\u6587\uAC00\uD55C\u30A2\u3042\u1EA0\u0303\U0001F600 end";
  for (unsigned int cp : kAllPages) {
    SCOPED_TRACE(cp);
    const char* name = CodePageToIConv(static_cast<int>(cp));
    bool used = false;
    bool refUsed = false;
    const std::string narrow = fromWide(cp, text, nullptr, &used);
    EXPECT_EQ(narrow, refFromWide(name, text, "?", &refUsed));
    EXPECT_EQ(used, refUsed);
    EXPECT_EQ(used, cp != 65001);
    EXPECT_EQ(toWide(cp, 0, narrow), refToWide(name, true, narrow));
    EXPECT_EQ(toWide(cp, 8, narrow), refToWide(name, false, narrow));
    // Destination exactly right, then one too small.
    const int n = static_cast<int>(narrow.size());
    std::string dst(narrow.size(), '\0');
    const int len = static_cast<int>(text.size());
    EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), len, dst.data(), n, nullptr, nullptr), n);
    EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), len, dst.data(), n - 1, nullptr, nullptr), 0);
    const std::optional<std::wstring> wide = toWide(cp, 0, narrow);
    ASSERT_TRUE(wide.has_value());
    std::wstring wdst(wide->size(), L'\0');
    const int wn = static_cast<int>(wide->size());
    EXPECT_EQ(MultiByteToWideChar(cp, 0, narrow.data(), n, wdst.data(), wn), wn);
    EXPECT_EQ(MultiByteToWideChar(cp, 0, narrow.data(), n, wdst.data(), wn - 1), 0);
  }
}

TEST(CodePage, ReplacementText) {
  char out[16];
  int used = 0;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a\u4E2Db", 3, out, 16, nullptr, &used), 3);
  EXPECT_EQ(std::string(out, 3), "a?b");
  EXPECT_EQ(used, 1);
  used = 0;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a\u4E2D", 2, out, 16, "<?>", &used), 4);  // replaced last
  EXPECT_EQ(std::string(out, 4), "a<?>");
  EXPECT_EQ(used, 1);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a\u4E2D", 2, nullptr, 0, "<?>", &used), 4);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"ab", 2, out, 16, "<?>", &used), 2);
  EXPECT_EQ(used, 0);  // cleared by every call
  // A replacement that does not fit fails the call and writes nothing past the destination.
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a\u4E2D", 2, out, 3, "<?>", &used), 0);
  EXPECT_EQ(out[3], 'Z');
  EXPECT_EQ(WideCharToMultiByte(1250, 0, L"a\u4E2D", 2, out, 3, "<?>", &used), 0);  // iconv path
  EXPECT_EQ(out[3], 'Z');
  EXPECT_EQ(WideCharToMultiByte(65001, 0, L"a\xD800", 2, out, 3, "<?>", &used), 0);
  EXPECT_EQ(out[3], 'Z');
  EXPECT_EQ(WideCharToMultiByte(65001, 0, L"a\xD800", 2, out, 4, "<?>", &used), 4);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"abc", -1, out, 3, nullptr, nullptr), 0);  // no room for the zero
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"abc", -1, out, 4, nullptr, nullptr), 4);
  EXPECT_STREQ(out, "abc");
}

TEST(CodePage, StatefulPagesEndInTheirInitialState) {
  bool used = false;
  bool refUsed = false;
  // A replacement inside a kanji stretch must read as ASCII, and the text ends shifted back.
  const std::string jis = fromWide(50220, L"\u65E5\u00E9\u672C", nullptr, &used);
  EXPECT_TRUE(used);
  EXPECT_EQ(toWide(50220, 8, jis), std::wstring(L"\u65E5?\u672C"));
  EXPECT_EQ(jis, refFromWide("ISO-2022-JP", L"\u65E5\u00E9\u672C", "?", &refUsed));
  EXPECT_EQ(jis.substr(jis.size() - 3), "\x1B(B");
  // 1258 holds a base letter back for a combining mark: the last one is not lost.
  EXPECT_EQ(toWide(1258, 0, "ab"), std::wstring(L"ab"));
  EXPECT_EQ(toWide(1258, 0, "a\xDE"), std::wstring(L"\u00E3"));
}

TEST(CodePage, MultiByteToMultiByte) {
  char out[16];
  EXPECT_EQ(MultiByteToMultiByte(1252, "caf\xE9", 4, 65001, out, 16, 0), 5);
  EXPECT_EQ(std::string(out, 5), u8(u8"caf\u00E9"));
  EXPECT_EQ(MultiByteToMultiByte(1252, "caf\xE9", 4, 65001, nullptr, 0, 0), 5);
  EXPECT_EQ(MultiByteToMultiByte(1252, "caf\xE9", 4, 65001, out, 4, 0), 0);
  EXPECT_EQ(MultiByteToMultiByte(65001, "\xE4\xB8\xAD", 3, 1252, out, 16, 0), 0);  // no form in 1252
  EXPECT_EQ(MultiByteToMultiByte(1252, "ab", 0xFFFFFFFFu, 932, out, 16, 0), 3);
}

TEST(CodePage, MultiByteToUTF8) {
  char out[16];
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(MultiByteToUTF8(1252, "caf\xE9", 4, out, 16, 0), 5);
  EXPECT_EQ(std::string(out, 5), u8(u8"caf\u00E9"));
  for (int i = 5; i < 16; ++i) EXPECT_EQ(out[i], 0) << i;
  // 65001: copied, bounded by the source length (no terminator needed) and terminated.
  const char unterminated[4] = {'a', 'b', 'c', 'd'};
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(MultiByteToUTF8(65001, unterminated, 3, out, 16, 0), 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(out[15], 0);
  EXPECT_EQ(MultiByteToUTF8(65001, "abcdef", 6, out, 4, 0), 3);
  EXPECT_STREQ(out, "abc");
  // Cut at the end of the destination: ASCII is cut, a non-ASCII stretch fails.
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(MultiByteToUTF8(1252, "abcdef", 6, out, 4, 0), 4);
  EXPECT_EQ(std::string(out, 4), "abcd");
  EXPECT_EQ(out[4], 'Z');
  EXPECT_EQ(MultiByteToUTF8(1252, "ab\xE9", 3, out, 3, 0), 0);
  EXPECT_EQ(MultiByteToUTF8(1252, "ab\xE9", 3, out, 4, 0), 4);
  EXPECT_EQ(MultiByteToUTF8(1252, "ab", 0, out, 4, 0), 0);
  EXPECT_EQ(MultiByteToUTF8(1252, "ab", 2, out, 0, 0), 0);
  EXPECT_EQ(MultiByteToUTF8(1252, "ab", 0xFFFFFFFFu, out, 16, 0), 3);  // the zero is converted
  // A run of bytes 1252 leaves undefined converts to nothing: the call fails.
  EXPECT_EQ(MultiByteToUTF8(1252, "a\x81" "b", 3, out, 16, 0), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(MultiByteToUTF8_CurrentCharset("\xE9t\xE9", 3, out, 16, 0), 5);  // the host's 1252
  EXPECT_EQ(std::string(out), u8(u8"\u00E9t\u00E9"));
}

TEST(CodePage, DoubleBytePagesKeepAsciiTrailBytes) {
  // Shift-JIS: 0x95 0x5C is a kanji whose trail byte is a backslash; 0x83 0x41 ends in 'A'.
  const std::string sjis = "\x95\x5C\x83\x41x\\";
  const std::string utf8 = u8(u8"\u8868\u30A2x\\");
  char out[32];
  EXPECT_EQ(MultiByteToUTF8(932, sjis.data(), static_cast<unsigned>(sjis.size()), out, 32, 0),
            static_cast<int>(utf8.size()));
  EXPECT_EQ(std::string(out), utf8);
  EXPECT_EQ(UTF8ToMultiByte(932, utf8.data(), static_cast<unsigned>(utf8.size()), out, 32, 0, nullptr, nullptr),
            static_cast<int>(sjis.size()));
  EXPECT_EQ(std::string(out), sjis);
  // The same through GBK, Big5 and UHC, against iconv.
  for (unsigned int cp : {936u, 949u, 950u}) {
    bool used = false;
    const std::wstring w = L"a\u4E2D\u6587b\u8868";
    const std::string narrow = refFromWide(CodePageToIConv(static_cast<int>(cp)), w, "?", &used);
    const std::string want = u8(u8"a\u4E2D\u6587b\u8868");
    std::memset(out, 'Z', sizeof out);
    if (!used) {
      EXPECT_EQ(MultiByteToUTF8(cp, narrow.data(), static_cast<unsigned>(narrow.size()), out, 32, 0),
                static_cast<int>(want.size()));
      EXPECT_EQ(std::string(out), want);
    }
  }
  // Johab writes U+20A9 at 0x5C: a backslash has no form there and the byte reads as the won sign.
  int used = 0;
  EXPECT_EQ(UTF8ToMultiByte(1361, "a\\b", 3, out, 32, 0, nullptr, &used), 3);
  EXPECT_STREQ(out, "a?b");
  EXPECT_EQ(used, 1);
  EXPECT_EQ(MultiByteToUTF8(1361, "a\\", 2, out, 32, 0), 4);
  EXPECT_EQ(std::string(out), u8(u8"a\u20A9"));
  // ISO-2022-JP: the text ends in its initial state and reads back.
  const std::string mixed = u8(u8"\u65E5\u672Ca\u8868 b");
  const int n = UTF8ToMultiByte(50220, mixed.data(), static_cast<unsigned>(mixed.size()), out, 32, 0, nullptr, nullptr);
  ASSERT_GT(n, 0);
  char back[32];
  EXPECT_EQ(MultiByteToUTF8(50220, out, static_cast<unsigned>(n), back, 32, 0), static_cast<int>(mixed.size()));
  EXPECT_EQ(std::string(back), mixed);
}

TEST(CodePage, UTF8ToMultiByte) {
  char out[16];
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(UTF8ToMultiByte(65001, "abcdefghij", 10, out, 4, 0, nullptr, nullptr), 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(UTF8ToMultiByte(65001, "ab", 2, out, 16, 0, nullptr, nullptr), 2);
  for (int i = 2; i < 16; ++i) EXPECT_EQ(out[i], 0) << i;
  const std::string text = u8(u8"\u00E9\u4E2D x \u00E8");
  int used = 0;
  EXPECT_EQ(UTF8ToMultiByte(1252, text.data(), static_cast<unsigned>(text.size()), out, 16, 0, "#", &used), 6);
  EXPECT_EQ(std::string(out), "\xE9# x \xE8");
  EXPECT_EQ(used, 1);  // replaced in the first stretch, kept through the later one
  EXPECT_EQ(UTF8ToMultiByte(1252, "abc", 3, out, 16, 0, "#", &used), 3);
  EXPECT_EQ(used, 0);
  // 1250 has no \u00E8.
  EXPECT_EQ(UTF8ToMultiByte(1250, text.data(), static_cast<unsigned>(text.size()), out, 16, 0, "##", &used), 8);
  EXPECT_EQ(used, 1);
  // Cut at the destination: ASCII is cut, a stretch that does not fit fails.
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(UTF8ToMultiByte(1252, "abcdef", 6, out, 3, 0, nullptr, nullptr), 3);
  EXPECT_EQ(out[3], 'Z');
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(UTF8ToMultiByte(1252, text.data(), static_cast<unsigned>(text.size()), out, 1, 0, "##", nullptr), 0);
  EXPECT_EQ(out[1], 'Z');
  EXPECT_EQ(UTF8ToMultiByte_CurrentCharset(u8(u8"\u00E9").c_str(), 2, out, 16, 0), 1);
  EXPECT_EQ(out[0], '\xE9');
}

TEST(CodePage, UTF16) {
  unsigned short out[8];
  EXPECT_EQ(MultiByteToUTF16(65001, 0, "\xF0\x9F\x98\x80" "a", -1, out, 8), 4);
  EXPECT_EQ(out[0], 0xD83D);
  EXPECT_EQ(out[1], 0xDE00);
  EXPECT_EQ(out[2], 'a');
  EXPECT_EQ(MultiByteToUTF16(1252, 0, "caf\xE9", 4, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToUTF16_CurrentCharset("\x80", 1, out, 8, 0), 1);
  EXPECT_EQ(out[0], 0x20AC);
  const unsigned short u16[] = {'a', 0xD83D, 0xDE00, 0xDC00, 'b', 0};
  char narrow[16];
  int used = 0;
  EXPECT_EQ(UTF16ToMultiByte(65001, 0, u16, -1, narrow, 16, nullptr, &used), 8);
  EXPECT_EQ(std::string(narrow), u8(u8"a\U0001F600") + "?b");  // the lone surrogate is replaced
  EXPECT_EQ(used, 1);
  EXPECT_EQ(UTF16ToMultiByte(1252, 0, u16, 5, nullptr, 0, nullptr, nullptr), 4);
}

TEST(CodePage, LanguagesAndLocales) {
  EXPECT_EQ(GetSystemDefaultLangID(), 0x800);
  EXPECT_EQ(GetUserDefaultLangID(), 0x800);
  EXPECT_EQ(LANG_To_ELangueProduit(12), LANGUE_PRODUIT_FRANCAIS);
  EXPECT_EQ(LANG_To_ELangueProduit(4), LANGUE_PRODUIT_CHINOIS);
  EXPECT_EQ(LANG_To_ELangueProduit(7), LANGUE_PRODUIT_ANGLAIS);
  EXPECT_EQ(ELangueProduit_To_LANG(LANGUE_PRODUIT_FRANCAIS), 12u);
  EXPECT_EQ(ELangueProduit_To_LANG(LANGUE_PRODUIT_ANGLAIS), 9u);
  EXPECT_EQ(ELangueProduit_To_LANG(LANGUE_PRODUIT_CHINOIS), 4u);
  EXPECT_EQ(ELangueProduit_To_LANG(static_cast<_ELangueProduit>(5)), 9u);
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  if (const char* name = SetLocaleUTF8()) {
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), name);
  }
  EXPECT_STREQ(UnsetLocale(LC_CTYPE), "C");
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(CodePage, ConcurrentConversionsShareTheDescriptorCache) {
  const std::wstring text = L"\u0104\u0141\u00F3d\u017A \u65E5\u672C \u0416 caf\u00E9";
  std::vector<std::thread> threads;
  std::vector<int> failures(6, 0);
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      const unsigned int cp = t % 3 == 0 ? 1250 : t % 3 == 1 ? 932 : 1251;
      bool used = false;
      const std::string want = refFromWide(CodePageToIConv(static_cast<int>(cp)), text, "?", &used);
      char narrow[64];
      wchar_t wide[64];
      for (int i = 0; i < 300; ++i) {
        const int n =
            WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), narrow, 64, nullptr, nullptr);
        if (std::string(narrow, static_cast<size_t>(n)) != want) ++failures[static_cast<size_t>(t)];
        if (MultiByteToWideChar(cp, 0, narrow, n, wide, 64) <= 0) ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

TEST(CodePage, CutFinalSequencesAndCountsThatFit) {
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

// CTString sizes its buffer by the count: a cut or invalid tail no longer empties the text.
TEST(CodePage, OwnedStringKeepsTheTextBeforeACutTail) {
  const struct { const char* in; const wchar_t* want; } rows[] = {
      {"abc\xC3", L"abc"}, {"abc\xF4\x90\x80\x80", L"abc"}, {"\xC3", L""}, {"\xC3\xA9t", L"\u00E9t"}};
  for (const auto& r : rows) {
    CTString s;
    s.SetANSIEx(r.in, -1, 65001);
    EXPECT_EQ(std::wstring(s.pszGet()), r.want) << testing::PrintToString(std::string(r.in));
  }
}

// A run that converts to nothing fails the call; a failing call leaves an empty text.
TEST(CodePage, FailedCallsLeaveAnEmptyText) {
  char out[16];
  std::memset(out, 'Z', sizeof out);
  auto failed = [&](int got) {
    EXPECT_EQ(got, 0);
    EXPECT_EQ(out[0], '\0');
    std::memset(out, 'Z', sizeof out);
  };
  failed(MultiByteToUTF8(1252, "\x81\x8D\x8F\x90\x9D", 5, out, 16, 0));
  failed(MultiByteToUTF8(932, "AB\x8E", 3, out, 16, 0));
  failed(UTF8ToMultiByte(1252, "x\xC3" "A", 3, out, 10, 0, nullptr, nullptr));
  failed(UTF8ToMultiByte(1252, "a\xFF" "b", 3, out, 10, 0, nullptr, nullptr));
  failed(WideCharToMultiByte(1252, 0, L"abc", 3, out, 2, nullptr, nullptr));
  failed(MultiByteToMultiByte(1252, "caf\xE9", 4, 65001, out, 4, 0));
  EXPECT_EQ(MultiByteToUTF8(932, "A\x82\xA0\x8E", 4, out, 16, 0), 4);
  EXPECT_EQ(std::string(out), "A\xE3\x81\x82");
  EXPECT_EQ(WideCharToMultiByte(1250, 0, L"\u0160\uAC00", 2, nullptr, 0, "", nullptr), 1);
  EXPECT_EQ(WideCharToMultiByte(1250, 0, L"\u0160\uAC00", 2, out, 1, "", nullptr), 1);
}

}  // namespace

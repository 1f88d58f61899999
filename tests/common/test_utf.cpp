#include "common/utf.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using U16 = std::basic_string<unsigned short>;

// Independent converter: glibc iconv. Returns false when it rejects the input.
bool viaIconv(const char* to, const char* from, const void* data, size_t bytes, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.assign(bytes * 4 + 16, '\0');
  char* in = static_cast<char*>(const_cast<void*>(data));
  char* o = out.data();
  size_t inLeft = bytes, outLeft = out.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return r != static_cast<size_t>(-1);
}

std::string iconvUtf8(const std::wstring& w) {
  std::string out;
  EXPECT_TRUE(viaIconv("UTF-8", "WCHAR_T", w.data(), w.size() * sizeof(wchar_t), out));
  return out;
}

U16 iconvUtf16(const std::wstring& w) {
  std::string out;
  EXPECT_TRUE(viaIconv("UTF-16LE", "UTF-32LE", w.data(), w.size() * sizeof(wchar_t), out));
  return U16(reinterpret_cast<const unsigned short*>(out.data()), out.size() / 2);
}

// Mostly ASCII, some Latin, BMP (no surrogates) and supplementary characters; no zero.
std::wstring randomText(std::mt19937& rng, size_t n, unsigned asciiPercent = 55) {
  std::wstring s;
  for (size_t i = 0; i < n; ++i) {
    const unsigned r = rng() % 100 < asciiPercent ? 0 : 1 + rng() % 10;
    uint32_t c;
    if (r == 0) c = 0x20 + rng() % 0x5F;
    else if (r <= 5) c = 0xA0 + rng() % 0x1B0;
    else if (r <= 8) do c = 0x800 + rng() % 0xF7FE; while (c >= 0xD800 && c < 0xE000);
    else c = 0x10000 + rng() % 0x100000;
    s += static_cast<wchar_t>(c);
  }
  return s;
}

// Byte soup made of valid characters and troublesome bytes.
std::string randomBytes(std::mt19937& rng, size_t n) {
  static const unsigned char odd[] = {0x80, 0xBF, 0xC0, 0xC1, 0xC3, 0xE0, 0xED, 0xEF,
                                      0xF0, 0xF4, 0xF5, 0xF8, 0xFC, 0xFF, 'a'};
  std::string s;
  while (s.size() < n) {
    if (rng() % 3 == 0) s += static_cast<char>(odd[rng() % sizeof odd]);
    else s += iconvUtf8(randomText(rng, 1));
  }
  return s;
}

// The bytes of s at the very end of an allocation of their exact size: ASan flags any
// over-read. ExactText adds a terminator that ends the block.
std::unique_ptr<char[]> ExactChars(const std::string& s) {
  auto p = std::make_unique_for_overwrite<char[]>(s.size());
  std::memcpy(p.get(), s.data(), s.size());
  return p;
}
std::unique_ptr<char[]> ExactText(const std::string& s) { return ExactChars(s + std::string(1, '\0')); }

// Decodes s placed at the very end of its allocation.
std::wstring decodeAll(const std::string& s) {
  std::vector<wchar_t> out(s.size() + 1);
  const auto p = ExactChars(s);
  return std::wstring(out.data(), nUTF8ToWide(out.data(), static_cast<int>(out.size()), p.get(), static_cast<int>(s.size())));
}

}  // namespace

TEST(Utf8Walk, StepsMatchDecodingAndStayInText) {
  const char text[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x80\xE2\x82" "A\xFC\x80\x80\x80\x80\x80";
  const int steps[] = {1, 2, 3, 4, 1, 2, 1, 6};
  const char* p = text;
  for (int step : steps) {
    EXPECT_EQ(UTF8Len(p), step) << (p - text);
    const char* q = p;
    UTF8_GetNext(&q);
    EXPECT_EQ(q, UTF8next(p));
    p = UTF8next(p);
  }
  EXPECT_EQ(UTF8next(p), p);  // at the terminator
  EXPECT_EQ(UTF8ToWideLen(text), 8);

  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    const std::string s = randomBytes(rng, rng() % 40);
    EXPECT_EQ(static_cast<size_t>(UTF8ToWideLen(s.c_str())), decodeAll(s).size());
  }
}

TEST(Utf8Walk, CharacterCountFromEveryAlignment) {
  std::mt19937 rng(11);
  for (int len = 0; len < 70; ++len) {
    const std::string s = len == 5 ? std::string("\xC3\xA9t\xC3\xA9") : iconvUtf8(randomText(rng, len)).substr(0, len);
    int expected = 0;
    for (unsigned char b : s) expected += (b & 0xC0) != 0x80;
    for (int off = 0; off < 8; ++off) {
      const auto q = ExactText(std::string(off, 'x') + s);
      EXPECT_EQ(StrLenUTF8(q.get() + off), expected) << len << '/' << off;
      EXPECT_EQ(StrNLenUTF8(q.get() + off, 1000), expected);
    }
    const auto unterminated = ExactChars(s);  // StrNLenUTF8 must keep within maxBytes
    EXPECT_EQ(StrNLenUTF8(unterminated.get(), len), expected);
  }
  EXPECT_EQ(StrLenUTF8("\xC3\xA9t\xC3\xA9"), 3);
  EXPECT_EQ(StrNLenUTF8("\xC3\xA9t\xC3\xA9", 3), 2);
  EXPECT_EQ(StrNLenUTF8("abc", 0), 0);
}

TEST(Utf8Decode, SingleCharacters) {
  const char* p = "\xF0\x9F\x98\x80";
  EXPECT_EQ(UTF8_GetNext(&p), 0x1F600);
  EXPECT_EQ(*p, 0);
  p = "\x80z";
  EXPECT_EQ(UTF8_GetNext(&p), '?');
  EXPECT_EQ(*p, 'z');
  p = "\xC3" "A";  // cut short by a non-continuation byte: that byte is kept
  EXPECT_EQ(UTF8_GetNext(&p), '?');
  EXPECT_EQ(UTF8_GetNext(&p), 'A');

  // Overlong forms, surrogates and values beyond U+10FFFF are refused.
  for (const char* bad : {"\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80"}) {
    const char* q = bad;
    EXPECT_EQ(UTF8_GetNext(&q), '?') << bad;
    EXPECT_EQ(*q, 0);
    int n = static_cast<int>(std::strlen(bad));
    EXPECT_EQ(UTF8FirstChar(bad, n), -1);
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(UTF8Valide(bad, -1));
  }

  int n = 4;
  EXPECT_EQ(UTF8FirstChar("\xE2\x82\xAC!", n), 0x20AC);
  EXPECT_EQ(n, 3);
  n = 2;
  EXPECT_EQ(UTF8FirstChar("\xE2\x82\xAC", n), -1);  // only two bytes available
  n = 1;
  EXPECT_EQ(UTF8FirstChar("?", n), '?');
  n = 1;
  EXPECT_EQ(UTF8FirstChar(nullptr, n), -1);

  unsigned int left = 3;
  p = "\xF0\x9F\x98\x80";
  EXPECT_EQ(UTF8_GetNext(&p, &left), '?');  // budget cuts the sequence
  EXPECT_EQ(left, 0u);
  const char* before = p;
  EXPECT_EQ(UTF8_GetNext(&p, &left), 0);
  EXPECT_EQ(p, before);
  left = 2;
  p = "\x80\xC3\xA9";
  EXPECT_EQ(UTF8_GetNext(&p, &left), '?');
  EXPECT_EQ(left, 1u);
}

TEST(Utf8Decode, NeverReadsPastTerminatorOrLength) {
  // A long non-ASCII run first, so that cuts also fall inside the bulk paths.
  const std::wstring w = std::wstring(20, L'\u4E2D') + std::wstring(30, L'\u00E9') + L"a\u00E9\u20AC\U0001F600";
  const std::string s = iconvUtf8(w);
  // Every cut of the text, at the very end of its allocation.
  for (size_t cut = 0; cut <= s.size(); ++cut) {
    const std::string part = s.substr(0, cut);
    std::wstring expected;
    size_t used = 0;
    for (wchar_t c : w) {
      const size_t size = iconvUtf8(std::wstring(1, c)).size();
      if (used + size > cut) {
        if (used < cut) expected += L'?';
        break;
      }
      expected += c;
      used += size;
    }
    EXPECT_EQ(decodeAll(part), expected) << cut;
    const auto p = ExactChars(part);
    EXPECT_EQ(UTF8ToUTF16Len(p.get(), static_cast<unsigned>(cut)), iconvUtf16(expected).size());
    EXPECT_EQ(UTF8Valide(p.get(), static_cast<int>(cut)), expected.find(L'?') == std::wstring::npos);

    const auto z = ExactText(part);
    wchar_t out[64];
    EXPECT_EQ(UTF8ToWide(out, 64, z.get()), static_cast<int>(expected.size()));
    EXPECT_EQ(std::wstring(out), expected);
    EXPECT_EQ(UTF8ToWideLen(z.get()), static_cast<int>(expected.size()));
    const char* q = z.get();
    while (*q != 0) UTF8_GetNext(&q);
    EXPECT_EQ(q, z.get() + cut);
  }
  wchar_t two[3];  // a long bad sequence must not cut the next character short
  EXPECT_EQ(UTF8ToWide(two, 3, "\xFC\x80\x80\x80\x80\x80\xE2\x82\xAC"), 2);
  EXPECT_EQ(std::wstring(two), L"?\u20AC");
  EXPECT_FALSE(UTF8Valide("\xC3", -1));
  EXPECT_TRUE(UTF8Valide(nullptr, 0));
  EXPECT_FALSE(UTF8Valide(nullptr, 1));
  EXPECT_TRUE(UTF8Valide("", -1));
}

TEST(Utf8Decode, ValidityAgreesWithIconv) {
  std::mt19937 rng(3);
  for (int i = 0; i < 500; ++i) {
    const std::string s = randomBytes(rng, 1 + rng() % 12);
    const std::string soup = s + randomBytes(rng, 200);  // long enough for the bulk paths
    std::wstring stepwise;
    unsigned left = static_cast<unsigned>(soup.size());
    for (const char* p = soup.data(); left > 0;) stepwise += UTF8_GetNext(&p, &left);
    EXPECT_EQ(decodeAll(soup), stepwise);
    std::string out;
    const bool ok = viaIconv("UTF-32LE", "UTF-8", s.data(), s.size(), out);
    const auto p = ExactChars(s);
    EXPECT_EQ(UTF8Valide(p.get(), static_cast<int>(s.size())) != FALSE, ok);
    if (ok) {
      EXPECT_EQ(decodeAll(s), std::wstring(reinterpret_cast<const wchar_t*>(out.data()), out.size() / 4));
    }
  }
}

TEST(UtfRoundTrip, RandomTextAgainstIconv) {
  std::mt19937 rng(2024);
  for (int i = 0; i < 200; ++i) {
    // Odd rounds are mostly ASCII, for the long-run paths.
    const std::wstring w = randomText(rng, rng() % 300, i % 2 ? 97 : 55);
    const std::string u8 = iconvUtf8(w);
    const U16 u16 = iconvUtf16(w);
    const int n = static_cast<int>(w.size());

    std::string enc(u8.size() + 40, '#');
    EXPECT_EQ(nWideToUTF8(enc.data(), static_cast<int>(enc.size()), w.data(), n), static_cast<int>(u8.size()));
    EXPECT_EQ(enc, u8 + std::string(40, '#'));
    EXPECT_EQ(UTF8ByteLen(w.c_str()), static_cast<int>(u8.size()));
    std::string terminated(u8.size() + 1, 'x');
    EXPECT_EQ(WideToUTF8(terminated.data(), w.c_str()), static_cast<int>(u8.size()));
    EXPECT_EQ(terminated.c_str(), u8);

    EXPECT_EQ(decodeAll(u8), w);
    std::vector<wchar_t> wide(w.size() + 20, L'#');
    EXPECT_EQ(UTF8ToWide(wide.data(), static_cast<unsigned>(wide.size()), u8.c_str()), n);
    EXPECT_EQ(std::wstring(wide.data()), w);
    EXPECT_EQ(std::wstring(wide.data() + n + 1, 19), std::wstring(19, L'#'));  // nothing past the result

    U16 units(u16.size(), 0);
    EXPECT_EQ(UTF8ToUTF16Len(u8.data(), static_cast<unsigned>(u8.size())), u16.size());
    EXPECT_EQ(UTF8ToUTF16(units.data(), static_cast<unsigned>(units.size()), u8.data(), static_cast<unsigned>(u8.size())), u16.size());
    EXPECT_EQ(units, u16);
    EXPECT_EQ(WideCharToUTF16(w.data(), n, nullptr, 0), static_cast<int>(u16.size()));
    EXPECT_EQ(WideCharToUTF16(w.data(), n, units.data(), static_cast<int>(units.size())), static_cast<int>(u16.size()));
    EXPECT_EQ(units, u16);
    if (u16.empty()) continue;
    EXPECT_EQ(UTF16ToWideChar(u16.data(), static_cast<int>(u16.size()), nullptr, 0), n);
    std::fill(wide.begin(), wide.end(), 0);
    EXPECT_EQ(UTF16ToWideChar(u16.data(), static_cast<int>(u16.size()), wide.data(), static_cast<int>(wide.size())), n);
    EXPECT_EQ(std::wstring(wide.data()), w);
  }
}

TEST(UtfLimits, DestinationsTooSmall) {
  std::wstring w;
  for (int i = 0; i < 5; ++i) w += L"a\u00E9\u20AC\U0001F600b\U0001F600 0123456789abcdefghij";
  const std::string u8 = iconvUtf8(w);
  const U16 u16 = iconvUtf16(w);
  std::vector<size_t> bytesBefore{0}, unitsBefore{0};  // encoded size of each prefix of w
  for (wchar_t c : w) {
    bytesBefore.push_back(bytesBefore.back() + iconvUtf8(std::wstring(1, c)).size());
    unitsBefore.push_back(unitsBefore.back() + (c > 0xFFFF ? 2 : 1));
  }
  auto fit = [&](const std::vector<size_t>& before, size_t cap) {
    size_t k = 0;
    while (k < w.size() && before[k + 1] <= cap) ++k;
    return k;
  };
  // Every destination size: the result is the longest whole-character prefix that fits, the
  // exact-size allocations let ASan catch a write past them, and nothing past the result changes.
  for (size_t cap = 1; cap <= u8.size(); ++cap) {
    const size_t k = fit(bytesBefore, cap);
    auto d = std::make_unique<char[]>(cap);
    std::memset(d.get(), '#', cap);
    ASSERT_EQ(nWideToUTF8(d.get(), static_cast<int>(cap), w.data(), static_cast<int>(w.size())), static_cast<int>(bytesBefore[k]));
    EXPECT_EQ(std::string(d.get(), cap), u8.substr(0, bytesBefore[k]) + std::string(cap - bytesBefore[k], '#'));
    const size_t kz = fit(bytesBefore, cap - 1);  // WideToUTF8 keeps a byte for the terminator
    ASSERT_EQ(WideToUTF8(d.get(), static_cast<unsigned>(cap), w.c_str()), static_cast<int>(bytesBefore[kz]));
    EXPECT_EQ(std::string(d.get()), u8.substr(0, bytesBefore[kz]));

    auto wd = std::make_unique<wchar_t[]>(cap);
    const int got = nUTF8ToWide(wd.get(), static_cast<int>(cap), u8.c_str(), -1);
    ASSERT_EQ(got, static_cast<int>(std::min(cap, w.size() + 1)));
    EXPECT_EQ(std::wstring(wd.get(), std::min<size_t>(got, w.size())), w.substr(0, got));
    UTF8ToWide(wd.get(), static_cast<unsigned>(cap), u8.c_str());
    EXPECT_EQ(std::wstring(wd.get()), w.substr(0, cap - 1));
  }
  for (size_t cap = 1; cap <= u16.size(); ++cap) {
    const U16 want = u16.substr(0, unitsBefore[fit(unitsBefore, cap)]);
    auto d = std::make_unique<unsigned short[]>(cap);
    ASSERT_EQ(UTF8ToUTF16(d.get(), static_cast<unsigned>(cap), u8.data(), static_cast<unsigned>(u8.size())), want.size());
    EXPECT_EQ(U16(d.get(), want.size()), want);
    ASSERT_EQ(WideCharToUTF16(w.data(), static_cast<int>(w.size()), d.get(), static_cast<int>(cap)), static_cast<int>(want.size()));
    EXPECT_EQ(U16(d.get(), want.size()), want);
    // A pair is never split when the destination of characters is short.
    auto wd = std::make_unique<wchar_t[]>(cap);
    const int got = UTF16ToWideChar(u16.data(), static_cast<int>(u16.size()), wd.get(), static_cast<int>(cap));
    ASSERT_EQ(got, static_cast<int>(std::min(cap, w.size())));
    EXPECT_EQ(std::wstring(wd.get(), got), w.substr(0, got));
  }
  char out[3] = {1, 1, 1};
  EXPECT_EQ(WideToUTF8(out, 3, L"\u00E9a"), 2);
  EXPECT_EQ(std::string(out), "\xC3\xA9");
  wchar_t wout[1] = {7};
  EXPECT_EQ(nUTF8ToWide(wout, 0, "a", 1), 0);
  EXPECT_EQ(wout[0], 7);
  EXPECT_EQ(WideToUTF8(out, 0u, L"a"), 0);
  EXPECT_EQ(out[0], '\xC3');
}

TEST(UtfEncode, InvalidWideValuesBecomeQuestionMark) {
  const wchar_t bad[] = {L'a', static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1), static_cast<wchar_t>(0xD800), L'b', 0};
  char out[16];
  EXPECT_EQ(nWideToUTF8(out, sizeof out, bad, -1), 6);
  EXPECT_STREQ(out, "a???b");
  EXPECT_EQ(UTF8ByteLen(bad), 5);
  EXPECT_EQ(UTF8ByteLenTotal(bad, 10), 6);
  EXPECT_EQ(UTF8ByteLenTotal(bad, 2), 2);
  EXPECT_EQ(UTF8ByteLenTotal(L"", 1), 1);
  EXPECT_EQ(UTF8ByteLenTotal(L"abc", 0), 0);
  for (wchar_t c : {static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1), static_cast<wchar_t>(-200), static_cast<wchar_t>(0xDFFF)}) {
    EXPECT_EQ(UTF32ToUTF8(c, out), 1);
    EXPECT_STREQ(out, "?");
  }
  EXPECT_EQ(UTF32ToUTF8(0x10FFFF, out), 4);
  EXPECT_STREQ(out, "\xF4\x8F\xBF\xBF");
  unsigned short units[4];
  EXPECT_EQ(WideCharToUTF16(bad, 3, units, 4), 3);
  EXPECT_EQ(units[1], '?');
}

TEST(Utf16, PairsJoinedInPlaceAndLoneSurrogatesKept) {
  std::mt19937 rng(5);
  for (int i = 0; i < 200; ++i) {
    U16 u;
    for (size_t k = rng() % 40; k > 0; --k) {
      const unsigned r = rng() % 6;
      u += static_cast<unsigned short>(r == 0 ? 0xD800 + rng() % 0x400 : r == 1 ? 0xDC00 + rng() % 0x400 : 1 + rng() % 0xFFFF);
    }
    u += static_cast<unsigned short>(0);
    std::wstring expected;  // reference decoding
    for (size_t k = 0; k < u.size(); ++k) {
      if (u[k] >= 0xD800 && u[k] < 0xDC00 && k + 1 < u.size() && u[k + 1] >= 0xDC00 && u[k + 1] < 0xE000) {
        expected += static_cast<wchar_t>(0x10000 + ((u[k] - 0xD800) << 10) + (u[k + 1] - 0xDC00));
        ++k;
      } else {
        expected += static_cast<wchar_t>(u[k]);
      }
    }
    std::vector<wchar_t> buf(u.size());
    std::memcpy(buf.data(), u.data(), u.size() * 2);
    const auto* src = reinterpret_cast<const unsigned short*>(buf.data());
    ASSERT_EQ(UTF16ToWideChar(src, -1, nullptr, 0), static_cast<int>(expected.size()));
    ASSERT_EQ(UTF16ToWideChar(src, -1, buf.data(), static_cast<int>(buf.size())), static_cast<int>(expected.size()));
    EXPECT_EQ(std::wstring(buf.data(), expected.size()), expected);
    // And back in place: the lone surrogates come back unchanged.
    ASSERT_EQ(WideCharToUTF16(buf.data(), static_cast<int>(expected.size()), reinterpret_cast<unsigned short*>(buf.data()), static_cast<int>(u.size())), static_cast<int>(u.size()));
    EXPECT_EQ(U16(reinterpret_cast<const unsigned short*>(buf.data()), u.size()), u);
  }
}

TEST(Utf16, StringHelpers) {
  const U16 hay = {'A', 'b', 'C', 'a', 'B', 0};
  const U16 ab = {'a', 'B', 0};
  EXPECT_EQ(utf16len(hay.c_str()), 5);
  EXPECT_EQ(utf16nlen(hay.c_str(), 3), 3);
  EXPECT_EQ(utf16nlen(hay.c_str(), 0), 0);
  EXPECT_EQ(utf16niutf16(hay.c_str(), ab.c_str(), 5), hay.c_str());  // first position is tried
  EXPECT_EQ(utf16niutf16(hay.c_str() + 1, ab.c_str(), 4), hay.c_str() + 3);
  EXPECT_EQ(utf16niutf16(hay.c_str() + 1, ab.c_str(), 3), nullptr);  // match must lie within n
  EXPECT_EQ(utf16niutf16(hay.c_str(), U16(1, 0).c_str(), 0), hay.c_str());
  EXPECT_EQ(utf16nicmp(hay.c_str(), ab.c_str(), 2), 0);
  EXPECT_GT(utf16nicmp(hay.c_str(), ab.c_str(), 3), 0);  // 'c' against the terminator
  EXPECT_EQ(utf16nicmp(ab.c_str(), hay.c_str() + 3, 10), 0);  // both end together
  unsigned short dst[6] = {9, 9, 9, 9, 9, 9};
  utf16ncpy(dst, ab.c_str(), 6);
  EXPECT_EQ(U16(dst, 3), (U16{'a', 'B', 9}));  // no terminator, no padding
}

TEST(Narrow, AnsiLimitsAndLatin1) {
  char out[4];
  EXPECT_EQ(WideCharToANSI(out, 4, L"\u00E9abc"), out + 3);
  EXPECT_STREQ(out, "\xE9" "ab");
  auto one = std::make_unique<char[]>(1);
  EXPECT_EQ(WideCharToANSI(one.get(), 1, L"abc"), one.get());
  EXPECT_EQ(one[0], 0);
  EXPECT_EQ(WideCharToANSI(one.get(), 0, L"abc"), one.get());
  wchar_t wide[4];
  EXPECT_EQ(ANSIToWideChar(wide, 4, "\xE9\xFFz!"), wide + 3);
  EXPECT_EQ(std::wstring(wide), L"\u00E9\u00FFz");
  EXPECT_EQ(ANSIToWideChar(wide, 4, nullptr), wide);
  EXPECT_EQ(wide[0], 0);
}

TEST(UtfNull, NullSourcesConvertNothing) {
  wchar_t w[4] = {1, 1, 1, 1};
  char c[4] = {1, 1, 1, 1};
  unsigned short u[4];
  EXPECT_EQ(UTF8next(static_cast<const char*>(nullptr)), nullptr);
  EXPECT_EQ(StrLenUTF8(nullptr), 0);
  EXPECT_EQ(UTF8ToWideLen(nullptr), 0);
  EXPECT_EQ(nUTF8ToWide(w, 4, nullptr, -1), 0);
  EXPECT_EQ(UTF8ToWide(w, 4, nullptr), 0);
  EXPECT_EQ(w[0], 0);
  EXPECT_EQ(nWideToUTF8(c, 4, nullptr, -1), 0);
  EXPECT_EQ(WideToUTF8(c, 4u, nullptr), 0);
  EXPECT_EQ(c[0], 0);
  EXPECT_EQ(UTF8ToUTF16(u, 4, nullptr, 3), 0u);
  EXPECT_EQ(UTF16ToWideChar(nullptr, -1, w, 4), 0);
  EXPECT_EQ(WideCharToUTF16(nullptr, -1, u, 4), 0);
  EXPECT_EQ(UTF32ToWideChar(nullptr, -1, w, 4), 0);
  EXPECT_EQ(UTF8ByteLen(nullptr), 0);
  const char* p = nullptr;
  EXPECT_EQ(UTF8_GetNext(&p), 0);
  EXPECT_EQ(UTF32ToWideChar(L"abc", -1, nullptr, 0), 4);
  EXPECT_EQ(WideCharToUTF32(L"abc", 2, w, 4), 2);
}

// Unicode transforms against iconv, in exact-size blocks so that a unit too far is reported.
#include "common/utf.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/exact_alloc.h"

namespace {

using U16 = std::basic_string<unsigned short>;
int I(size_t n) { return static_cast<int>(n); }
unsigned U(size_t n) { return static_cast<unsigned>(n); }
constexpr wchar_t WC(int64_t c) { return static_cast<wchar_t>(c); }

// Independent converter: glibc iconv. Returns false when it rejects the input.
bool viaIconv(const char* to, const char* from, const void* data, size_t bytes, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  out.assign(bytes * 4 + 16, '\0');
  char *in = static_cast<char*>(const_cast<void*>(data)), *o = out.data();
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
  while (s.size() < n) {
    static const uint32_t base[] = {0x20, 0xA0, 0x800, 0x10000}, span[] = {0x5F, 0x1B0, 0xF7FE, 0x100000};
    const unsigned r = rng() % 100 < asciiPercent ? 0 : 1 + rng() % 10, kind = r == 0 ? 0 : r <= 5 ? 1 : r <= 8 ? 2 : 3;
    const uint32_t c = base[kind] + rng() % span[kind];
    if (c < 0xD800 || c >= 0xE000) s += WC(c);
  }
  return s;
}
// Valid characters mixed with troublesome bytes.
std::string randomBytes(std::mt19937& rng, size_t n) {
  static const char odd[] = "\x80\xBF\xC0\xC1\xC3\xE0\xED\xEF\xF0\xF4\xF5\xF8\xFC\xFF";
  std::string s;
  while (s.size() < n) s += rng() % 3 == 0 ? std::string(1, odd[rng() % 14]) : iconvUtf8(randomText(rng, 1));
  return s;
}
// Decodes s placed at the very end of its allocation, with no terminator.
std::wstring decodeAll(const std::string& s) {
  std::vector<wchar_t> out(s.size() + 1);
  const auto p = std::make_unique_for_overwrite<char[]>(s.size());
  std::memcpy(p.get(), s.data(), s.size());
  return std::wstring(out.data(), nUTF8ToWide(out.data(), I(s.size()) + 1, p.get(), I(s.size())));
}

TEST(Utf8Walk, StepsAndCharacterCounts) {
  // A stray continuation byte is one step, so UTF8ToWideLen sizes what the decoders produce.
  const char text[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x80\xE2\x82" "A\xFC\x80\x80\x80\x80\x80";
  const char* p = text;
  for (int step : {1, 2, 3, 4, 1, 2, 1, 6}) {
    EXPECT_EQ(UTF8Len(p), step) << (p - text);
    const char* q = p;
    UTF8_GetNext(&q);
    EXPECT_EQ(q, p = UTF8next(p));
  }
  EXPECT_EQ(UTF8next(p), p);  // at the terminator
  EXPECT_EQ(UTF8ToWideLen(text), 8);
  // Counting by continuation bytes, from every alignment (the word-at-a-time loop), within maxBytes.
  std::mt19937 rng(11);
  for (int len = 0; len < 70; ++len) {
    const std::string s = len == 5 ? std::string("\xC3\xA9t\xC3\xA9") : iconvUtf8(randomText(rng, len)).substr(0, len);
    int expected = 0;
    for (unsigned char b : s) expected += (b & 0xC0) != 0x80;
    for (int off = 0; off < 8; ++off) {
      const Heap<char> q = ExactText(std::string(off, 'x') + s);
      EXPECT_EQ(StrLenUTF8(q.get() + off), expected) << len << '/' << off;
      EXPECT_EQ(StrNLenUTF8(q.get() + off, 1000), expected);
    }
    EXPECT_EQ(StrNLenUTF8(ExactChars(s).get(), len), expected);
  }
  EXPECT_EQ(StrNLenUTF8("\xC3\xA9t\xC3\xA9", 3), 2);
}

TEST(Utf8Decode, OneCharacter) {
  // budget -1: the unbudgeted form. Overlong forms, surrogates and values above U+10FFFF are '?'.
  struct Row {
    const char* bytes;
    int budget;
    wchar_t value;
    int advance, left;
  };
  const Row rows[] = {
      {"\xF0\x9F\x98\x80", -1, 0x1F600, 4, 0}, {"\x80z", -1, '?', 1, 0},
      {"\xC3" "A", -1, '?', 1, 0},  // cut short by a non-continuation byte: that byte is kept
      {"\xC0\x80", -1, '?', 2, 0},             {"\xE0\x80\xAF", -1, '?', 3, 0},
      {"\xED\xA0\x80", -1, '?', 3, 0},         {"\xF4\x90\x80\x80", -1, '?', 4, 0},
      {"\xF8\x88\x80\x80\x80", -1, '?', 5, 0}, {"\xF0\x9F\x98\x80", 3, '?', 3, 0},  // the budget cuts it
      {"\x80\xC3\xA9", 2, '?', 1, 1},          {"\xF0\x9F\x98\x80", 0, 0, 0, 0},
  };
  for (const Row& r : rows) {
    const char* p = r.bytes;
    unsigned left = U(r.budget);
    EXPECT_EQ(r.budget < 0 ? UTF8_GetNext(&p) : UTF8_GetNext(&p, &left), r.value) << r.bytes;
    EXPECT_EQ(p - r.bytes, r.advance) << r.bytes;
    EXPECT_TRUE(r.budget < 0 || left == U(r.left)) << r.bytes;
  }
  // UTF8FirstChar: bytes available on entry, the value and the length it reports.
  const Row first[] = {{"\xE2\x82\xAC!", 4, 0x20AC, 3, 0}, {"\xE2\x82\xAC", 2, -1, 0, 0}, {"?", 1, '?', 1, 0},
                       {nullptr, 1, -1, 0, 0},            {"\xC0\x80", 2, -1, 0, 0},    {"\xED\xA0\x80", 3, -1, 0, 0},
                       {"\xF4\x90\x80\x80", 4, -1, 0, 0},  {"\xE0\x80\xAF", 3, -1, 0, 0}};
  for (const Row& r : first) {
    int n = r.budget;
    EXPECT_EQ(UTF8FirstChar(r.bytes, n), static_cast<int>(r.value)) << (r.bytes ? r.bytes : "null");
    EXPECT_EQ(n, r.advance);
  }
  for (const char* bad : {"\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80", "\xC3"})
    EXPECT_FALSE(UTF8Valide(bad, -1)) << bad;
  EXPECT_TRUE(UTF8Valide(nullptr, 0));
  EXPECT_FALSE(UTF8Valide(nullptr, 1));
  EXPECT_TRUE(UTF8Valide("", -1));
}

TEST(Utf8Decode, NeverReadsPastTerminatorOrLength) {
  // A long non-ASCII run first, so that cuts also fall inside the bulk paths.
  const std::wstring w = std::wstring(20, L'\u4E2D') + std::wstring(30, L'\u00E9') + L"a\u00E9\u20AC\U0001F600";
  const std::string s = iconvUtf8(w);
  for (size_t cut = 0; cut <= s.size(); ++cut) {
    std::wstring expected;  // whole characters, then '?' for a cut one
    for (size_t k = 0, used = 0; k < w.size() && used < cut; ++k) {
      used += iconvUtf8(w.substr(k, 1)).size();
      expected += used <= cut ? w[k] : L'?';
    }
    const std::string part = s.substr(0, cut);
    EXPECT_EQ(decodeAll(part), expected) << cut;
    const Heap<char> p = ExactChars(part), z = ExactText(part);
    EXPECT_EQ(UTF8ToUTF16Len(p.get(), U(cut)), iconvUtf16(expected).size());
    EXPECT_EQ(UTF8Valide(p.get(), I(cut)), expected.find(L'?') == std::wstring::npos);
    wchar_t out[64];
    EXPECT_EQ(UTF8ToWide(out, 64, z.get()), I(expected.size()));
    EXPECT_EQ(std::wstring(out), expected);
    EXPECT_EQ(UTF8ToWideLen(z.get()), I(expected.size()));
    const char* q = z.get();
    while (*q != 0) UTF8_GetNext(&q);
    EXPECT_EQ(q, z.get() + cut);
  }
  wchar_t two[3];  // a long bad sequence must not cut the next character short
  EXPECT_EQ(UTF8ToWide(two, 3, "\xFC\x80\x80\x80\x80\x80\xE2\x82\xAC"), 2);
  EXPECT_EQ(std::wstring(two), L"?\u20AC");
}

TEST(Utf8Decode, ValidityAndDecodingAgreeWithIconv) {
  std::mt19937 rng(3);
  for (int i = 0; i < 250; ++i) {
    const std::string s = randomBytes(rng, 1 + rng() % 12);
    const std::string soup = s + randomBytes(rng, 200);  // long enough for the bulk paths
    std::wstring stepwise;
    unsigned left = U(soup.size());
    for (const char* p = soup.data(); left > 0;) stepwise += UTF8_GetNext(&p, &left);
    EXPECT_EQ(decodeAll(soup), stepwise);
    EXPECT_EQ(static_cast<size_t>(UTF8ToWideLen(soup.c_str())), stepwise.size());
    std::string out;
    const bool ok = viaIconv("UTF-32LE", "UTF-8", s.data(), s.size(), out);
    EXPECT_EQ(UTF8Valide(ExactChars(s).get(), I(s.size())) != FALSE, ok);
    EXPECT_TRUE(!ok || decodeAll(s) == std::wstring(reinterpret_cast<const wchar_t*>(out.data()), out.size() / 4));
  }
}

// Random texts (some mostly ASCII, for the long-run paths) and one with pairs, through every UTF-8
// and wide destination size: the longest whole-character prefix that fits, no write past an
// exact-size destination, and the whole text as iconv gives it.
TEST(UtfEncode, EveryDestinationSizeAgainstIconv) {
  std::mt19937 rng(2024);
  std::vector<std::wstring> texts = {L"a\u00E9\u20AC\U0001F600b\U0001F600 0123456789abcdefghij"};
  for (int i = 0; i < 12; ++i) texts.push_back(randomText(rng, rng() % 200, i % 2 ? 97 : 55));
  for (const std::wstring& w : texts) {
    const std::string u8 = iconvUtf8(w);
    const U16 u16 = iconvUtf16(w);
    const int n = I(w.size());
    EXPECT_EQ(UTF8ByteLen(w.c_str()), I(u8.size()));
    EXPECT_EQ(UTF8ToUTF16Len(u8.data(), U(u8.size())), u16.size());
    EXPECT_EQ(WideCharToUTF16(w.data(), n, nullptr, 0), I(u16.size()));
    EXPECT_EQ(u16.empty() ? n : UTF16ToWideChar(u16.data(), I(u16.size()), nullptr, 0), n);
    std::string terminated(u8.size() + 1, 'x');
    EXPECT_EQ(WideToUTF8(terminated.data(), w.c_str()), I(u8.size()));
    EXPECT_EQ(terminated.c_str(), u8);
    EXPECT_EQ(decodeAll(u8), w);
    std::vector<size_t> bytesBefore{0};  // encoded size of each prefix of w
    for (wchar_t c : w) bytesBefore.push_back(bytesBefore.back() + iconvUtf8(std::wstring(1, c)).size());
    auto fit = [&](size_t cap) {
      size_t k = 0;
      while (k < w.size() && bytesBefore[k + 1] <= cap) ++k;
      return k;
    };
    for (size_t cap = 1; cap <= u8.size() + 1; ++cap) {
      const size_t k = fit(cap), kz = fit(cap - 1);  // kz: room kept for the terminator
      Heap<char> d = Exact<char>(cap);
      std::memset(d.get(), '#', cap);
      ASSERT_EQ(nWideToUTF8(d.get(), I(cap), w.data(), n), I(bytesBefore[k]));
      EXPECT_EQ(std::string(d.get(), cap), u8.substr(0, bytesBefore[k]) + std::string(cap - bytesBefore[k], '#'));
      ASSERT_EQ(WideToUTF8(d.get(), U(cap), w.c_str()), I(bytesBefore[kz]));
      EXPECT_EQ(std::string(d.get()), u8.substr(0, bytesBefore[kz]));
      Heap<wchar_t> wd = Exact<wchar_t>(cap);
      const int got = nUTF8ToWide(wd.get(), I(cap), u8.c_str(), -1);
      ASSERT_EQ(got, I(std::min(cap, w.size() + 1)));
      EXPECT_EQ(std::wstring(wd.get(), std::min<size_t>(got, w.size())), w.substr(0, got));
      UTF8ToWide(wd.get(), U(cap), u8.c_str());
      EXPECT_EQ(std::wstring(wd.get()), w.substr(0, cap - 1));
    }
  }
  // A pair is written when two units remain, and never split.
  const unsigned short pair[] = {'a', 0xD83D, 0xDE00};
  for (unsigned cap = 1; cap <= 3; ++cap) {
    const unsigned want = cap == 2 ? 1 : cap;
    Heap<unsigned short> d = Exact<unsigned short>(cap);
    ASSERT_EQ(UTF8ToUTF16(d.get(), cap, "a\xF0\x9F\x98\x80", 5), want);
    EXPECT_EQ(memcmp(d.get(), pair, want * 2), 0);
    ASSERT_EQ(WideCharToUTF16(L"a\U0001F600", 2, d.get(), I(cap)), I(want));
    EXPECT_EQ(memcmp(d.get(), pair, want * 2), 0);
    Heap<wchar_t> wd = Exact<wchar_t>(cap);
    ASSERT_EQ(UTF16ToWideChar(pair, 3, wd.get(), I(cap)), I(std::min(cap, 2u)));
  }
  char out[3] = {1, 1, 1};
  EXPECT_EQ(WideToUTF8(out, 3, L"\u00E9a"), 2);
  EXPECT_EQ(std::string(out), "\xC3\xA9");
  EXPECT_EQ(WideToUTF8(out, 0u, L"a"), 0);
  EXPECT_EQ(out[0], '\xC3');
  wchar_t wout[1] = {7};
  EXPECT_EQ(nUTF8ToWide(wout, 0, "a", 1), 0);
  EXPECT_EQ(wout[0], 7);
}

TEST(UtfEncode, InvalidWideValuesBecomeQuestionMark) {
  const wchar_t bad[] = {L'a', WC(0x110000), WC(-1), WC(0xD800), L'b', 0};
  char out[16];
  EXPECT_EQ(nWideToUTF8(out, sizeof out, bad, -1), 6);
  EXPECT_STREQ(out, "a???b");
  EXPECT_EQ(UTF8ByteLen(bad), 5);  // an invalid value counts the byte of its '?'
  EXPECT_EQ(UTF8ByteLenTotal(bad, 10), 6);
  EXPECT_EQ(UTF8ByteLenTotal(bad, 2), 2);
  EXPECT_EQ(UTF8ByteLenTotal(L"", 1), 1);
  EXPECT_EQ(UTF8ByteLenTotal(L"abc", 0), 0);
  for (wchar_t c : {WC(0x110000), WC(-1), WC(-200), WC(0xDFFF)}) {
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
  for (int i = 0; i < 100; ++i) {
    U16 u;
    for (size_t k = rng() % 40; k > 0; --k) {
      const unsigned r = rng() % 6, v = rng();
      u += static_cast<unsigned short>(r == 0 ? 0xD800 + v % 0x400 : r == 1 ? 0xDC00 + v % 0x400 : 1 + v % 0xFFFF);
    }
    u += static_cast<unsigned short>(0);
    std::wstring expected;  // reference decoding
    for (size_t k = 0; k < u.size(); ++k) {
      const bool pair = u[k] >= 0xD800 && u[k] < 0xDC00 && k + 1 < u.size() && u[k + 1] >= 0xDC00 && u[k + 1] < 0xE000;
      expected += pair ? WC(0x10000 + ((u[k] - 0xD800) << 10) + (u[k + 1] - 0xDC00)) : WC(u[k]);
      k += pair;
    }
    std::vector<wchar_t> buf(u.size());
    std::memcpy(buf.data(), u.data(), u.size() * 2);
    auto* units = reinterpret_cast<unsigned short*>(buf.data());
    ASSERT_EQ(UTF16ToWideChar(units, -1, nullptr, 0), I(expected.size()));
    ASSERT_EQ(UTF16ToWideChar(units, -1, buf.data(), I(buf.size())), I(expected.size()));
    EXPECT_EQ(std::wstring(buf.data(), expected.size()), expected);
    // And back in place: the lone surrogates come back unchanged.
    ASSERT_EQ(WideCharToUTF16(buf.data(), I(expected.size()), units, I(u.size())), I(u.size()));
    EXPECT_EQ(U16(units, u.size()), u);
  }
}

TEST(UtfHelpers, SearchLimitsAndNullSources) {
  const U16 hay = {'A', 'b', 'C', 'a', 'B', 0}, ab = {'a', 'B', 0};
  EXPECT_EQ(utf16niutf16(hay.c_str(), ab.c_str(), 5), hay.c_str());  // the first position is tried
  EXPECT_EQ(utf16niutf16(hay.c_str() + 1, ab.c_str(), 4), hay.c_str() + 3);
  EXPECT_EQ(utf16niutf16(hay.c_str() + 1, ab.c_str(), 3), nullptr);  // the match must lie within n
  EXPECT_EQ(utf16nicmp(ab.c_str(), hay.c_str() + 3, 10), 0);          // both end together
  char out[4];
  EXPECT_EQ(WideCharToANSI(out, 4, L"\u00E9abc"), out + 3);
  EXPECT_STREQ(out, "\xE9" "ab");
  EXPECT_EQ(WideCharToANSI(out, 0, L"abc"), out);  // nothing written into no room
  EXPECT_EQ(out[0], '\xE9');
  wchar_t wide[4] = {1, 1, 1, 1};
  EXPECT_EQ(ANSIToWideChar(wide, 4, "\xE9\xFFz!"), wide + 3);
  EXPECT_EQ(std::wstring(wide), L"\u00E9\u00FFz");  // bytes widen as Latin-1
  EXPECT_EQ(ANSIToWideChar(wide, 4, nullptr), wide);
  EXPECT_EQ(wide[0], 0);
  const char* p = nullptr;
  EXPECT_EQ(UTF8next(p), nullptr);
  EXPECT_EQ(UTF8_GetNext(&p) + StrLenUTF8(nullptr) + UTF8ToWideLen(nullptr) + UTF8ByteLen(nullptr), 0);
  EXPECT_EQ(nUTF8ToWide(wide, 4, nullptr, -1) + nWideToUTF8(out, 4, nullptr, -1), 0);
  unsigned short units[4];
  EXPECT_EQ(UTF16ToWideChar(nullptr, -1, wide, 4) + WideCharToUTF16(nullptr, -1, units, 4), 0);
}

}  // namespace

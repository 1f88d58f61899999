// Character classes, the 1252 table against iconv, the fold table against its rules, the
// allocating conversions, and the Unicode transforms against iconv.
#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/str_charclass.h"
#include "common/utf.h"
#include "host/host_services.h"
#include "tests/support/exact_alloc.h"

namespace {

using namespace std::string_literals;

// One descriptor for many calls: bytes written for the whole input, -1 when iconv refuses any of it.
struct Iconv {
  iconv_t cd;
  Iconv(const char* to, const char* from) : cd(iconv_open(to, from)) {}
  ~Iconv() { iconv_close(cd); }
  long Convert(const void* in, size_t inBytes, void* out, size_t room) {
    char *pin = static_cast<char*>(const_cast<void*>(in)), *pout = static_cast<char*>(out);
    size_t left = room;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return iconv(cd, &pin, &inBytes, &pout, &left) == static_cast<size_t>(-1) ? -1 : static_cast<long>(room - left);
  }
};

TEST(Cp1252Table, EveryByteDecodesAsIconvAndUndefinedBytesKeepTheirValue) {
  Iconv dec("UCS-4LE", "CP1252");
  char all[256];
  for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
  wchar_t wide[256];
  ASSERT_EQ(STR_CP1252ToWideChar(all, 256, wide, 256), 256);
  std::string undefined;
  for (int b = 0; b < 256; ++b) {
    uint32_t cp = 0;
    if (dec.Convert(&all[b], 1, &cp, 4) != 4) {
      undefined += all[b];
      cp = static_cast<uint32_t>(b);
    }
    EXPECT_EQ(static_cast<uint32_t>(STR_FromCP1252(all[b])), cp) << b;
    EXPECT_EQ(static_cast<uint32_t>(wide[b]), cp) << b;
  }
  EXPECT_EQ(undefined, "\x81\x8D\x8F\x90\x9D");
}

TEST(Cp1252Table, RepresentabilityOfEveryCodePointMatchesIconv) {
  Iconv enc("CP1252", "UCS-4LE");
  int aboveFF = 0;
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
    unsigned char ref = 0;
    // iconv swallows some code points (the tag characters) without output; U+0080-U+009F are
    // never representable, even the five the forward table produces.
    const bool refOk = enc.Convert(&c, 4, &ref, 1) == 1 && (c < 0x80 || c > 0x9F);
    unsigned char b = 0x5A;
    const bool got = STR_bIsCp1252(static_cast<wchar_t>(c), b) != FALSE;
    if (refOk != got) {
      ADD_FAILURE() << std::hex << "U+" << c << " iconv " << refOk;
      continue;
    }
    EXPECT_EQ(STR_bIsCp1252(static_cast<wchar_t>(c)) != FALSE, got);
    EXPECT_EQ(b, got ? ref : 0x5A) << std::hex << "U+" << c << " (untouched when not representable)";
    aboveFF += got && c > 0xFF;
  }
  EXPECT_EQ(aboveFF, 27);
  for (wchar_t c : {static_cast<wchar_t>(-1), static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0x100000AC)}) {
    EXPECT_FALSE(STR_bIsCp1252(c));
  }
}

TEST(Cp1252Table, TextsAndSingleCharactersWithADefault) {
  const struct { const wchar_t* s; bool ok; } texts[] = {
      {L"", true}, {L"\u0152uvre \u20AC \u00FF", true}, {L"abc\u0100", false}, {L"abc\u0090", false}};
  for (const auto& t : texts) EXPECT_EQ(STR_bIsCp1252(t.s) != FALSE, t.ok) << t.s;
  const struct { wchar_t c; char want; int lost; } chars[] = {
      {L'\u0153', '\x9C', 0}, {L'A', 'A', 0}, {L'\u00FF', '\xFF', 0}, {L'\u0081', '#', 1}, {L'\u4E00', '#', 1}};
  for (const auto& r : chars) {
    int lost = 0;
    EXPECT_EQ(STR_ToCP1252(r.c, '#', &lost), r.want) << static_cast<uint32_t>(r.c);
    EXPECT_EQ(lost, r.lost) << static_cast<uint32_t>(r.c);
  }
  EXPECT_EQ(STR_ToCP1252(L'\u4E00', '#', nullptr), '#');
}

TEST(Cp1252Table, WideCharFromTableCountsStopsAndRejects) {
  // room -1: no destination; what is not written stays untouched. A full destination stops the
  // copy unterminated; explicit lengths pass zero bytes and count no terminator.
  const struct { const char* src; int len, room, want; std::wstring written; } rows[] = {
      {"a\x80", -1, -1, 3, L""},  {"a\x80", -1, 0, 3, L""},      {"a\x80", -1, 3, 3, L"a\u20AC\0"s},
      {"\xE9t\xE9", -1, 2, 2, L"\u00E9t"}, {"a\0b", 3, -1, 3, L""}, {"a\0b", 3, 4, 3, L"a\0b"s},
      {"abc", 0, 4, 0, L""},      {nullptr, -1, -1, 0, L""},    {"abc", -2, 4, 0, L""}, {"abc", -2, -1, 0, L""}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.len) + " " + std::to_string(r.room));
    wchar_t dst[5] = {L'x', L'x', L'x', L'x', L'x'};
    EXPECT_EQ(STR_CP1252ToWideChar(r.src, r.len, r.room < 0 ? nullptr : dst, r.room < 0 ? 0 : r.room), r.want);
    EXPECT_EQ(std::wstring(dst, r.written.size()), r.written);
    EXPECT_EQ(dst[r.written.size()], L'x');
  }
}

TEST(FoldTable, EveryEntryFollowsItsRules) {
  unsigned char want[256];
  for (int i = 0; i < 256; ++i) want[i] = static_cast<unsigned char>(i >= 'a' && i <= 'z' ? i - 32 : i);
  const struct { int from, to; unsigned char v; } rules[] = {
      {0x8A, 0x8A, 'S'}, {0x9A, 0x9A, 'S'}, {0x8E, 0x8E, 'Z'}, {0x9E, 0x9E, 'Z'}, {0x9C, 0x9C, 0x8C},
      {0x9F, 0x9F, 'Y'}, {0xDD, 0xDD, 'Y'}, {0xFD, 0xFD, 'Y'}, {0xFF, 0xFF, 'Y'}, {0xC0, 0xC5, 'A'},
      {0xE0, 0xE5, 'A'}, {0xC7, 0xC7, 'C'}, {0xE7, 0xE7, 'C'}, {0xC8, 0xCB, 'E'}, {0xE8, 0xEB, 'E'},
      {0xCC, 0xCF, 'I'}, {0xEC, 0xEF, 'I'}, {0xD1, 0xD1, 'N'}, {0xF1, 0xF1, 'N'}, {0xD2, 0xD6, 'O'},
      {0xD8, 0xD8, 'O'}, {0xF2, 0xF6, 'O'}, {0xF8, 0xF8, 'O'}, {0xD9, 0xDC, 'U'}, {0xF9, 0xFC, 'U'},
      {0xE6, 0xE6, 0xC6}, {0xF0, 0xF0, 0xD0}, {0xFE, 0xFE, 0xDE}};
  for (const auto& r : rules)
    for (int i = r.from; i <= r.to; ++i) want[i] = r.v;
  for (int b = 0; b < 256; ++b) EXPECT_EQ(pToNoAccentUpper_Latin1[b], want[b]) << std::hex << "byte 0x" << b;
}

TEST(FoldTable, QuickOrderingComparesFoldedBytesUnsigned) {
  // 0xC6 (AE) sorts after 'Z', the symbols after the letters.
  const struct { const char *a, *b; int want; } rows[] = {
      {"ecole", "\xC9" "COLE", 0}, {"\xC6on", "\xE6ON", 0}, {"abc", "abcd", -1}, {"abcd", "abc", 1}, {"", "", 0},
      {"", "a", -1}, {"b", "A", 1}, {"\xE9t\xE9", "ETF", -1}, {"\xE6", "z", 1}, {"z", "\xE6", -1}, {"{", "z", 1}};
  for (const auto& r : rows) EXPECT_EQ(STR_nCmpLogiqueAnsiFast(r.a, r.b), r.want) << r.a << " " << r.b;
}

bool Punct(uint32_t u) { return (u >= 33 && u <= 47) || (u >= 58 && u <= 64) || (u >= 91 && u <= 95); }

TEST(CharClass, NarrowFormsReadBytesUnsignedAndWideFormsTheWhole32Bits) {
  for (int i = 0; i < 256; ++i) {
    const char c = static_cast<char>(i);
    SCOPED_TRACE(i);
    EXPECT_EQ(bEstUnChiffreA(c) != 0, i >= '0' && i <= '9');
    EXPECT_EQ(bMajusculeA(c) != 0, i >= 'A' && i <= 'Z');
    EXPECT_EQ(bMinusculeA(c) != 0, i >= 'a' && i <= 'z');
    EXPECT_EQ(bExtendedASCII(c) != 0, i > 127);
    EXPECT_EQ(bUnprintable(c) != 0, i < 32);
    EXPECT_EQ(bPonctuation(c) != 0, Punct(static_cast<uint32_t>(i)));
    EXPECT_EQ(STR_bIsANSI7(c) != 0, i < 0x80);
    EXPECT_EQ(STR_FromAnsi7(c, L'#'), i < 0x80 ? static_cast<wchar_t>(i) : L'#');
    EXPECT_EQ(STR_nGetNbByteUTF8(static_cast<unsigned char>(i)),
              i < 0x80 ? 1 : i < 0xE0 ? 2 : i < 0xF0 ? 3 : i < 0xF8 ? 4 : i < 0xFC ? 5 : i < 0xFE ? 6 : 1);
  }
  EXPECT_EQ(nGetChiffre('7'), 7);
  const wchar_t wide[] = {0, 31, 32, '0', '9', ':', '@', 'A', 'Z', '[', '_', '`', 'a', 'z', '{', '~', 127, 128, 0xFF,
                          0x100, 0xFF10, 0x10FFFF, static_cast<wchar_t>(-1), static_cast<wchar_t>(0x80000030)};
  for (wchar_t w : wide) {
    const uint32_t u = static_cast<uint32_t>(w);
    SCOPED_TRACE(u);
    EXPECT_EQ(bEstUnChiffreW(w) != 0, u >= '0' && u <= '9');
    EXPECT_EQ(bMajusculeW(w) != 0, u >= 'A' && u <= 'Z');
    EXPECT_EQ(bMinusculeW(w) != 0, u >= 'a' && u <= 'z');
    EXPECT_EQ(bExtendedASCII(w) != 0, u > 127);
    EXPECT_EQ(bUnprintable(w) != 0, u < 32);
    EXPECT_EQ(bPonctuation(w) != 0, Punct(u));
    EXPECT_EQ(STR_ToAnsi7(w, '#'), u <= 127 ? static_cast<char>(u) : '#');
  }
}

TEST(CharClass, TextPredicates) {
  const struct { BOOL (*f)(const wchar_t*); const wchar_t* s; bool want; } wide[] = {
      {bEstUnNombreEntierNaturel, L"", true}, {bEstUnNombreEntierNaturel, L"0123456789", true},
      {bEstUnNombreEntierNaturel, L"12a", false}, {bEstUnNombreEntierNaturel, L"-1", false},
      {bEstUnNombreEntierNaturel, L"1\uFF12", false},  // a full-width digit is not ASCII
      {STR_bNeContientRienDeLisibleW, L"\t \n", true}, {STR_bNeContientRienDeLisibleW, L" \u00A0", false},
      {STR_bNeContientRienDeLisibleW, L"  x", false}, {STR_bContainSpace, nullptr, false},
      {STR_bContainSpace, L"", false}, {STR_bContainSpace, L"a\tb\u00A0c", false}, {STR_bContainSpace, L"ab c", true},
      {STR_bIsANSI7, L"", true}, {STR_bIsANSI7, L"abc\x7F", true}, {STR_bIsANSI7, L"ab\x80", false},
      {STR_bIsANSI7, L"\xFFFFFFFF", false}};
  for (const auto& r : wide) EXPECT_EQ(r.f(r.s) != FALSE, r.want) << (r.s ? r.s : L"(null)");
  const struct { BOOL (*f)(const char*); const char* s; bool want; } narrow[] = {
      {bEstUnNombreEntierNaturel, "", true}, {bEstUnNombreEntierNaturel, "12 ", false},
      {STR_bNeContientRienDeLisibleA, "", true}, {STR_bNeContientRienDeLisibleA, " \t\r\n ", true},
      {STR_bNeContientRienDeLisibleA, " \v", false}, {STR_bNeContientRienDeLisibleA, " \xA0", false},
      {STR_bIsANSI7, "abc", true}, {STR_bIsANSI7, "ab\xE9", false}};
  for (const auto& r : narrow) EXPECT_EQ(r.f(r.s) != FALSE, r.want) << r.s;
  // A count goes past a zero.
  const struct { const wchar_t* s; int n; bool want; } counted[] = {
      {L"ab\u00E9", 2, true}, {L"ab\u00E9", 3, false}, {L"a\0\u00E9", 2, true}, {L"a\0\u00E9", 3, false}};
  for (const auto& r : counted) {
    EXPECT_EQ(STR_bIsANSI7(r.s, r.n) != FALSE, r.want) << r.n;
    const std::string bytes(r.s, r.s + r.n);
    EXPECT_EQ(STR_bIsANSI7(bytes.c_str(), r.n) != FALSE, r.want) << r.n;
  }
}

TEST(SingleCharacter, ThroughTheConvertersAndZeroWhenNothingConverts) {
  // Two UTF-8 bytes do not fit the one byte given; a lone lead byte is no character.
  const struct { wchar_t c; unsigned cp; char want; } narrowing[] = {
      {L'\u00E9', 1252, '\xE9'}, {L'\u20AC', 1252, '\x80'}, {L'\u0416', 1251, '\xC6'}, {L'\u00E9', 65001, 0}};
  for (const auto& r : narrowing) EXPECT_EQ(STR_WCharToAChar(r.c, 0, r.cp), r.want) << r.cp;
  const struct { char b; unsigned flags, cp; wchar_t want; } widening[] = {
      {'\xE9', 0, 1252, L'\u00E9'}, {'\x80', 0, 0, L'\u20AC'}, {'\xC6', 0, 1251, L'\u0416'}, {'A', 0, 65001, L'A'},
      {'\xC3', 8, 65001, 0},        {'\xC3', 0, 65001, 0},     {'\x81', 8, 1252, 0}};
  for (const auto& r : widening) EXPECT_EQ(STR_CharToWChar(r.b, r.flags, r.cp), r.want) << int{r.b} << " " << r.cp;
  EXPECT_EQ(STR_CharToWChar_CurrentCharset('\x80', 0), L'\u20AC');
}

TEST(CurrentCodePage, ConversionsFollowTheLocaleService) {
  CHostServices::Instance().SetCurrentLocale(1049, 1251, 204);
  const wchar_t one = STR_CharToWChar_CurrentCharset('\xC0', 0);
  wchar_t* w = nullptr;
  char* a = nullptr;
  const BOOL toWide = STR_CharToWChar_CurrentCharset(&w, "\xCC\xE8\xF0", 0);
  const BOOL toNarrow = STR_WCharToChar_CurrentCharset(&a, L"\u041C\u0438\u0440");
  CHostServices::Instance().SetCurrentLocale(1036, 1252, 0);
  EXPECT_EQ(one, L'\u0410');
  ASSERT_TRUE(toWide && toNarrow);
  EXPECT_STREQ(w, L"\u041C\u0438\u0440");
  EXPECT_STREQ(a, "\xCC\xE8\xF0");
  free(w);
  free(a);
}

// Output slots start with garbage, which a failure must clear; a success fills exactly want and a
// NUL in a buffer that AddressSanitizer bounds.
template <typename T>
T* Garbage() {
  static volatile uintptr_t g = 1;
  return reinterpret_cast<T*>(g);
}
template <typename T, typename F>
void ExpectOutput(F call, bool wantOk, const std::basic_string<T>& want) {
  T* out = Garbage<T>();
  int len = 99;
  ASSERT_EQ(call(&out, &len) != FALSE, wantOk);
  EXPECT_EQ(len, static_cast<int>(want.size()));
  if (!wantOk) {
    EXPECT_EQ(out, nullptr);
    return;
  }
  EXPECT_EQ(std::basic_string<T>(out, want.size() + 1), want + T{0});
  free(out);
}

TEST(Allocating, WideToNarrow) {
  const struct { BOOL (*f)(const wchar_t*, int, char**, int*, unsigned); const wchar_t* src; int len; unsigned cp;
                 bool ok; std::string want; } rows[] = {
      {__STR_WCharToChar, L"caf\u00E9", -1, 1252, true, "caf\xE9\0"s},
      {STR_WCharToChar_AnyCodepage, L"caf\u00E9!", 4, 1252, true, "caf\xE9"},
      {__STR_WCharToChar, L"\u00E9\u20AC", -1, 65001, true, "\xC3\xA9\xE2\x82\xAC\0"s},
      {__STR_WCharToChar, L"\u00E9\u20AC", 2, 65001, true, "\xC3\xA9\xE2\x82\xAC"},
      {__STR_WCharToChar, L"a\u0100b", 3, 1252, true, "a?b"},  // what the code page lacks becomes '?'
      {__STR_WCharToChar, L"abc", 0, 1252, false, ""}, {__STR_WCharToChar, nullptr, -1, 65001, false, ""}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.want);
    ExpectOutput([&](char** out, int* len) { return r.f(r.src, r.len, out, len, r.cp); }, r.ok, r.want);
  }
  char* out = nullptr;
  ASSERT_TRUE(__STR_WCharToChar(L"xy", -1, &out, nullptr, 0));  // no length wanted
  EXPECT_STREQ(out, "xy");
  free(out);
  out = Garbage<char>();
  EXPECT_FALSE(STR_WCharToChar_CurrentCharset(&out, L"", 0));
  EXPECT_EQ(out, nullptr);
}

TEST(Allocating, NarrowToWide) {
  // Without the strict flag (8) what the code page does not define is dropped.
  const struct { BOOL (*f)(const char*, int, unsigned, wchar_t**, int*, unsigned); const char* src; int len;
                 unsigned cp, flags; bool ok; std::wstring want; } rows[] = {
      {__STR_CharToWChar, "caf\xE9", -1, 1252, 0, true, L"caf\u00E9\0"s},
      {__STR_CharToWChar, "caf\xC3\xA9", 3, 65001, 8, true, L"caf"},
      {STR_CharToWChar_AnyCodepage, "caf\xC3\xA9", -1, 65001, 0, true, L"caf\u00E9\0"s},
      {STR_CharToWChar_AnyCodepage, "\x80\xE9", 2, 1252, 0, true, L"\u20AC\u00E9"},
      {STR_CharToWChar_AnyCodepage, "a\x81" "b", 3, 1252, 0, true, L"ab"},
      {STR_CharToWChar_AnyCodepage, "a\xC3(", 3, 65001, 0, true, L"a("},
      {__STR_CharToWChar, "a\xC3(", -1, 65001, 8, false, L""},
      {__STR_CharToWChar, "caf\xC3\xA9", 4, 65001, 8, false, L""},  // the length cuts a sequence
      {STR_CharToWChar_AnyCodepage, "abc", 0, 1252, 0, false, L""},
      {__STR_CharToWChar, nullptr, -1, 1252, 0, false, L""}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.src != nullptr ? r.src : "(null)");
    ExpectOutput([&](wchar_t** out, int* len) { return r.f(r.src, r.len, r.cp, out, len, r.flags); }, r.ok, r.want);
  }
  wchar_t* out = nullptr;  // the whole-text form is strict 1252
  ASSERT_TRUE(STR_CharToWChar(&out, "\x9C" "uf"));
  EXPECT_STREQ(out, L"\u0153uf");
  free(out);
  EXPECT_FALSE(STR_CharToWChar(&out, "a\x81"));
  EXPECT_EQ(out, nullptr);
  out = Garbage<wchar_t>();
  EXPECT_TRUE(STR_CharToWChar_CurrentCharset(&out, nullptr, 0, -1));
  EXPECT_EQ(out, nullptr);
}

TEST(Allocating, CodePageToCodePage) {
  // Equal code pages copy, and -1 counts no terminator there.
  const struct { const char* src; int len; unsigned from, to; bool ok; std::string want; } rows[] = {
      {"caf\xE9", -1, 1252, 1252, true, "caf\xE9"}, {"a\0b", 3, 65001, 65001, true, "a\0b"s},
      {"", 0, 1252, 1252, true, ""}, {"caf\xE9", -1, 1252, 65001, true, "caf\xC3\xA9\0"s},
      {"\xC5\x93\xE2\x82\xAC", 5, 65001, 1252, true, "\x9C\x80"}, {"\xCC\xE8\xF0", 3, 1251, 1252, true, "???"},
      {"abc", 0, 1252, 65001, false, ""}, {nullptr, -1, 1252, 1252, false, ""}, {"abc", -5, 1252, 1252, false, ""}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.want + " " + std::to_string(r.from) + "->" + std::to_string(r.to));
    ExpectOutput([&](char** out, int* len) { return STR_CharToChar_AnyCodepage(r.src, r.len, r.from, out, len, r.to); },
                 r.ok, r.want);
  }
}

TEST(Compatibility, RoundTripThroughTheCodePage) {
  // A real '?' is not a replacement; U+0081 decodes from 0x81 locally, but the code page lacks it.
  const struct { const wchar_t* s; unsigned cp; bool want; } rows[] = {
      {nullptr, 1252, true}, {L"", 932, true}, {L"\u0152uvre \u00E0 5\u20AC", 1252, true}, {L"A\u0100", 1252, false},
      {L"why?", 1252, true}, {L"\u0081", 1252, false}, {L"\u4E00?", 1252, false}, {L"\u041C\u0438\u0440", 1251, true},
      {L"\u041C\u00E9", 1251, false}, {L"\u65E5\u672C", 932, true}, {L"\u65E5\u672C\U0001F600", 65001, true},
      {L"a\xD800", 65001, false}, {L"a\x110000", 65001, false}, {L"\u00E9", 0, true}};
  for (const auto& r : rows) {
    EXPECT_EQ(bAnsiCompatible(r.s, r.cp) != FALSE, r.want) << (r.s ? r.s : L"(null)") << " " << r.cp;
    if (r.cp == 1252) {
      EXPECT_EQ(bLatin1(r.s) != FALSE, r.want);
    }
  }
}


using U16 = std::basic_string<unsigned short>;
int I(size_t n) { return static_cast<int>(n); }
unsigned U(size_t n) { return static_cast<unsigned>(n); }
constexpr wchar_t WC(int64_t c) { return static_cast<wchar_t>(c); }

// The whole input through iconv; false when it refuses any of it.
bool viaIconv(const char* to, const char* from, const void* data, size_t bytes, std::string& out) {
  out.assign(bytes * 4 + 16, '\0');
  const long n = Iconv(to, from).Convert(data, bytes, out.data(), out.size());
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return n >= 0;
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
  struct Row { const char* bytes; int budget; wchar_t value; int advance, left; };
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

// UTF8ToUTF16 of s, from a source allocated to its exact size, into every destination size: the
// units of the characters UTF8_GetNext steps out (pairs above U+FFFF), cut before the first that
// does not fit.
void ExpectStepwiseAtEverySize(const std::string& s) {
  std::vector<U16> chars;
  unsigned left = U(s.size());
  for (const char* p = s.data(); left > 0;) chars.push_back(iconvUtf16(std::wstring(1, UTF8_GetNext(&p, &left))));
  size_t total = 0;
  for (const U16& c : chars) total += c.size();
  for (unsigned cap = 0; cap <= total + 1; ++cap) {
    U16 want;
    for (const U16& c : chars) {
      if (want.size() + c.size() > cap) break;
      want += c;
    }
    const Heap<char> src = ExactChars(s);
    Heap<unsigned short> d = Exact<unsigned short>(std::max(cap, 1u));
    const unsigned got = UTF8ToUTF16(d.get(), cap, src.get(), U(s.size()));
    ASSERT_EQ(got, want.size()) << testing::PrintToString(s) << " " << cap;
    EXPECT_EQ(U16(d.get(), got), want) << testing::PrintToString(s) << " " << cap;
  }
}

TEST(UtfEncode, UTF8ToUTF16IsTheStepwiseDecodingAtEveryDestinationSize) {
  // ASCII read eight bytes at a time and two-byte sequences read in place: the units are those
  // of the characters UTF8_GetNext steps out (pairs above U+FFFF), cut before the first that does
  // not fit, from a source allocated to its exact size.
  std::mt19937 rng(16);
  for (int i = 0; i < 150; ++i) {
    std::string s = randomBytes(rng, rng() % 30);
    if (i % 3 == 0) s = std::string(rng() % 20, 'a') + s + std::string(rng() % 20, 'z');
    if (i % 5 == 0) s += iconvUtf8(randomText(rng, rng() % 40, 90));
    ExpectStepwiseAtEverySize(s);
  }
}

TEST(UtfEncode, PiecesOfEveryKindInAnyOrderAreTheStepwiseDecodingAtEveryDestinationSize) {
  // Characters are read a load of four or eight bytes at a time: random texts of valid and broken
  // pieces of every length (overlong forms, surrogates, values past U+10FFFF, leads without
  // their continuation, stray continuations, runs of two-byte characters with a space after them,
  // of four-byte characters and of ASCII), cut at every destination size.
  const char* const kPieces[] = {"a",          "ab",         "abc",          "abcd",         "abcdefghijklmnopq",
                                 "\xCE\xB1",   "\xD0\xAF",   "\xC2\x80",     "\xDF\xBF",     "\xC0\x80",
                                 "\xC1\xBF",   "\xCE",       "\xCE\x41",     "\xE4\xB8\x80", "\xE0\xA0\x80",
                                 "\xE0\x9F\xBF", "\xED\x9F\xBF", "\xED\xA0\x80", "\xEF\xBF\xBF", "\xE4\xB8",
                                 "\xF0\x9F\x98\x80", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
                                 "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                                 "\xF0\x9F\x98", "\x80",       "\xBF\xBF",     "\xFF",         "\xCE\xB1\xCE\xB2\xCE\xB3\xCE\xB4",
                                 "\xCE\xB3\xCE\xAC ", "\xD0\xB6\xD0\xB5 ", "\xF0\x9D\x94\x98\xF0\x9D\x94\xAB"};
  std::mt19937 rng(69);
  for (int i = 0; i < 400; ++i) {
    std::string s;
    for (int k = static_cast<int>(rng() % 12); k >= 0; --k) s += kPieces[rng() % std::size(kPieces)];
    ExpectStepwiseAtEverySize(s);
  }
}

TEST(UtfEncode, ThreeByteSequencesAreTheStepwiseDecodingBetweenOtherCharacters) {
  // Three-byte characters are read in place: the smallest and largest, those beside the
  // surrogates, a surrogate, overlong forms and cut or broken sequences, each after and before
  // ASCII, a two-byte and a three-byte character, at the source's end too.
  const std::string kCases[] = {"\xE0\xA0\x80", "\xEF\xBF\xBF", "\xED\x9F\xBF", "\xEE\x80\x80",
                                "\xED\xA0\x80", "\xED\xBF\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF",
                                "\xE2\x82", "\xE2", "\xE2\x82\x41", "\xE2\x41\x82", "\xE2\xC3\xA9",
                                "\xE2\x82\xAC\xAC", "\xF0\x82\x82\xAC", "\xE4\xB8\x80\xE4\xB8\x80"};
  const std::string kAround[] = {"", "a", "\xC3\xA9", "\xE4\xB8\x80"};
  for (const std::string& c : kCases)
    for (const std::string& before : kAround)
      for (const std::string& after : kAround) ExpectStepwiseAtEverySize(before + c + after);
}

TEST(UtfEncode, RunsOfThreeByteCharactersWithOneBrokenAtEachPlaceAreTheStepwiseDecoding) {
  // Runs of three-byte characters are taken four at a time: runs of four to nine, the smallest
  // and largest characters and those beside the surrogates among them, with one overlong form,
  // surrogate, cut or four-byte sequence at each place, after and before other characters.
  const std::string kGood[] = {"\xE4\xB8\x80", "\xE0\xA0\x80", "\xEF\xBF\xBF", "\xED\x9F\xBF", "\xEE\x80\x80",
                               "\xE3\x81\x8B"};
  const std::string kBroken[] = {"",           "\xE0\x9F\xBF", "\xED\xA0\x80",     "\xE4\xB8",
                                 "\xE4\x41\x80", "a",          "\xF0\x9F\x98\x80", "\xC3\xA9"};
  const std::string kAround[] = {"", "a", "\xC3\xA9", "\xF0\x9F\x98\x80"};
  for (size_t length = 4; length <= 9; ++length)
    for (const std::string& broken : kBroken)
      for (size_t at = 0; at <= length; at += broken.empty() ? length + 1 : 1)
        for (const std::string& around : kAround) {
          std::string run;
          for (size_t i = 0; i < length; ++i) run += (i == at ? broken : "") + kGood[(i + length) % std::size(kGood)];
          ExpectStepwiseAtEverySize(around + run + (at == length ? broken : "") + around);
        }
}

TEST(UtfEncode, CharactersTakenWithTheOneBeforeThemAreTheStepwiseDecoding) {
  // A step takes the ASCII byte after a two-, three- or four-byte character, a second three-byte
  // character after a first, a run of four to seven ASCII bytes, and the text's last one to
  // three bytes from a load of its last four: each next to what must not be taken with it.
  const std::string kCases[] = {"\xCE\xB1 ", "\xCE\xB1" + std::string(1, '\0'), "\xCE\xB1\xCE", "\xE4\xB8\x80 ",
                                "\xE4\xB8\x80" + std::string(1, '\0'), "\xE4\xB8\x80\xE4\xB8\x81",
                                "\xE4\xB8\x80\xE0\x9F\xBF", "\xE4\xB8\x80\xED\xA0\x80", "\xE4\xB8\x80\xE4\xB8",
                                "\xE4\xB8\x80\xE4\x41\x80", "\xE4\xB8\x80\xF0\x9F\x98\x80", "\xCE\xB1wxyz\xCE\xB2",
                                "\xCE\xB1wxyzabc\xCE\xB2", "\xCE\xB1wxyzabcd\xCE\xB2", "\xC3", "\xC3\xA9",
                                "a\xC3\xA9", "\xE2\x82\xAC", "\xE2\x82", "\xED\xA0\x80", "\xC0\x80", "\x80\x80",
                                "\xF0\x9F\x98\x80 ", "\xF0\x9F\x98\x80" + std::string(1, '\0'),
                                "\xF0\x9F\x98\x80\xCE\xB1", "\xF0\x9F\x98\x80\xF4\x90\x80\x80"};
  const std::string kAround[] = {"", "a", "abcd", "\xC3\xA9", "\xE4\xB8\x80", "\xF0\x9F\x98\x80"};
  for (const std::string& c : kCases)
    for (const std::string& before : kAround)
      for (const std::string& after : kAround) ExpectStepwiseAtEverySize(before + c + after);
}

TEST(UtfEncode, ShortASCIIRunsAroundOtherCharactersAtEveryDestinationSize) {
  // ASCII runs of every length up to seventeen before and after a two-, three- or four-byte
  // character (or none), read eight bytes at once from their start or from the source's end.
  const struct {
    std::string middle;
    U16 units;
  } kMiddles[] = {{"", U16()},
                  {"\xC3\xA9", U16(1, 0xE9)},
                  {"\xE2\x82\xAC", U16(1, 0x20AC)},
                  {"\xF0\x9F\x98\x80", U16{0xD83D, 0xDE00}},
                  {"\xC3", U16(1, '?')},
                  {std::string(1, '\0'), U16(1, 0)}};
  for (const auto& middle : kMiddles) {
    for (size_t before = 0; before <= 17; ++before) {
      for (size_t after = 0; after <= 17; ++after) {
        std::string s;
        U16 all;
        for (size_t i = 0; i < before; ++i)
          s += static_cast<char>('a' + i), all += static_cast<unsigned short>('a' + i);
        s += middle.middle;
        all += middle.units;
        for (size_t i = 0; i < after; ++i) s += static_cast<char>('A' + i), all += static_cast<unsigned short>('A' + i);
        for (unsigned cap = 0; cap <= all.size() + 1; ++cap) {
          // A pair is not split: the cut falls before it.
          size_t want = std::min<size_t>(cap, all.size());
          if (want > 0 && want < all.size() && all[want - 1] >= 0xD800 && all[want - 1] < 0xDC00) --want;
          const Heap<char> src = ExactChars(s);
          Heap<unsigned short> d = Exact<unsigned short>(std::max(cap, 1u));
          const unsigned got = UTF8ToUTF16(d.get(), cap, src.get(), U(s.size()));
          ASSERT_EQ(got, want) << testing::PrintToString(s) << " " << cap;
          EXPECT_EQ(U16(d.get(), got), all.substr(0, want)) << testing::PrintToString(s) << " " << cap;
        }
      }
    }
  }
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

// A host record packs its items: a UTF-16 slot may start at an odd byte. Every UTF-16 routine
// reads and writes such a buffer as it does an aligned one (the sanitizer build refuses a
// misaligned unit access).
TEST(Utf16, BuffersAtAnOddAddressAreWrittenAndReadLikeAlignedOnes) {
  const std::string utf8 = "ab\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80xyz0123456789abcdefghij";
  const std::wstring wide = L"ab\u00e9\u20ac\U0001F600xyz0123456789abcdefghij";
  alignas(8) unsigned char aligned[256] = {};
  alignas(8) unsigned char odd[257] = {};
  auto* a = reinterpret_cast<unsigned short*>(aligned);
  auto* o = reinterpret_cast<unsigned short*>(odd + 1);
  const unsigned int n = UTF8ToUTF16(a, 100, utf8.data(), static_cast<unsigned int>(utf8.size()));
  ASSERT_EQ(UTF8ToUTF16(o, 100, utf8.data(), static_cast<unsigned int>(utf8.size())), n);
  EXPECT_EQ(memcmp(aligned, odd + 1, 2 * n), 0);
  EXPECT_EQ(utf16nlen(o, 100), static_cast<int>(n));
  EXPECT_EQ(utf16len(o), static_cast<int>(n));
  wchar_t back[100] = {};
  ASSERT_EQ(UTF16ToWideChar(o, static_cast<int>(n), back, 100), static_cast<int>(wide.size()));
  EXPECT_EQ(std::wstring(back, wide.size()), wide);
  memset(odd, 0, sizeof odd);
  ASSERT_EQ(WideCharToUTF16(wide.c_str(), static_cast<int>(wide.size()), o, 100), static_cast<int>(n));
  EXPECT_EQ(memcmp(aligned, odd + 1, 2 * n), 0);
  alignas(8) unsigned char copy[257] = {};
  auto* c = reinterpret_cast<unsigned short*>(copy + 1);
  utf16ncpy(c, o, 100);
  EXPECT_EQ(memcmp(copy + 1, odd + 1, 2 * n), 0);
  EXPECT_EQ(utf16nicmp(c, o, 100), 0);
  EXPECT_EQ(utf16niutf16(o, c + 3, 100), o + 3);
}

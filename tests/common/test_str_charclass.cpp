// Character classes, the 1252 table against iconv, the fold table against its rules, and the
// allocating conversions.
#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/str_charclass.h"
#include "host/host_services.h"

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
template <typename T>
void ExpectOutput(BOOL ok, T* out, int len, bool wantOk, const std::basic_string<T>& want) {
  ASSERT_EQ(ok != FALSE, wantOk);
  if (!wantOk) {
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(len, 0);
    return;
  }
  EXPECT_EQ(len, static_cast<int>(want.size()));
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
    char* out = Garbage<char>();
    int len = 99;
    const BOOL ok = r.f(r.src, r.len, &out, &len, r.cp);
    ExpectOutput(ok, out, len, r.ok, r.want);
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
    wchar_t* out = Garbage<wchar_t>();
    int len = 99;
    const BOOL ok = r.f(r.src, r.len, r.cp, &out, &len, r.flags);
    ExpectOutput(ok, out, len, r.ok, r.want);
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
    char* out = Garbage<char>();
    int len = 99;
    const BOOL ok = STR_CharToChar_AnyCodepage(r.src, r.len, r.from, &out, &len, r.to);
    ExpectOutput(ok, out, len, r.ok, r.want);
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

}  // namespace

// Character classes, the Windows-1252 and fold tables (checked entry by entry against the
// platform's iconv and a table built here from the published rules), and the allocating
// conversions over the real code-page converters.
#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "common/str_charclass.h"
#include "platform/iinfolocale.h"
#include "platform/information_dll.h"

namespace {

// ---- iconv as the independent reference ----

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts in whole; false when iconv refuses any of it.
  bool Convert(const void* in, size_t inBytes, void* out, size_t outRoom, size_t* outBytes) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* pin = static_cast<char*>(const_cast<void*>(in));
    char* pout = static_cast<char*>(out);
    size_t left = outRoom;
    if (iconv(cd_, &pin, &inBytes, &pout, &left) == static_cast<size_t>(-1)) return false;
    *outBytes = outRoom - left;
    return true;
  }

 private:
  iconv_t cd_;
};

// The code point iconv decodes a Windows-1252 byte to, or -1 when it calls the byte undefined.
int64_t IconvDecode1252(Iconv& dec, unsigned char b) {
  uint32_t cp[2] = {0, 0};
  size_t n = 0;
  if (!dec.Convert(&b, 1, cp, sizeof cp, &n)) return -1;
  EXPECT_EQ(n, 4u) << "byte " << int{b};
  return cp[0];
}

const unsigned char kUndefined1252[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool IsUndefined1252(unsigned b) {
  for (unsigned char u : kUndefined1252) {
    if (u == b) return true;
  }
  return false;
}

// The fold table as its rules state it, built independently of the one under test.
struct FoldTable {
  unsigned char t[256];
  FoldTable() {
    for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
    auto set = [this](int from, int to, unsigned char v) {
      for (int i = from; i <= to; ++i) t[i] = v;
    };
    for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 'a' + 'A');
    set(0x8A, 0x8A, 'S');
    set(0x9A, 0x9A, 'S');
    set(0x8E, 0x8E, 'Z');
    set(0x9E, 0x9E, 'Z');
    set(0x9C, 0x9C, 0x8C);
    for (int c : {0x9F, 0xDD, 0xFD, 0xFF}) t[c] = 'Y';
    set(0xC0, 0xC5, 'A');
    set(0xE0, 0xE5, 'A');
    set(0xC7, 0xC7, 'C');
    set(0xE7, 0xE7, 'C');
    set(0xC8, 0xCB, 'E');
    set(0xE8, 0xEB, 'E');
    set(0xCC, 0xCF, 'I');
    set(0xEC, 0xEF, 'I');
    set(0xD1, 0xD1, 'N');
    set(0xF1, 0xF1, 'N');
    set(0xD2, 0xD6, 'O');
    set(0xD8, 0xD8, 'O');
    set(0xF2, 0xF6, 'O');
    set(0xF8, 0xF8, 'O');
    set(0xD9, 0xDC, 'U');
    set(0xF9, 0xFC, 'U');
    set(0xE6, 0xE6, 0xC6);
    set(0xF0, 0xF0, 0xD0);
    set(0xFE, 0xFE, 0xDE);
  }
};

// A locale service that only answers a code page; the conversions ask nothing else.
class CCodePageLocale : public IInfoLocale {
 public:
  explicit CCodePageLocale(int cp) : cp_(cp) {}
  void vNotCalled1() override {}
  void vNotCalled2() override {}
  int nGetCharset() override { return 0; }
  int nGetCodePage() override { return cp_; }
  int nGetLCID() override { return 1036; }
  int nCompareStringA(int, unsigned int, const char*, int, const char*, int) override { return 0; }
  int nCompareStringW(int, unsigned int, const wchar_t*, int, const wchar_t*, int) override { return 0; }
  int nCompareStringCurA(unsigned int, const char*, int, const char*, int) override { return 0; }
  int nCompareStringCurW(unsigned int, const wchar_t*, int, const wchar_t*, int) override { return 0; }
  int nMapStringSortA(int, char*, int, const char*, int) override { return 0; }
  void vNotCalled11() override {}
  int nMapStringA(int, unsigned int, char*, int, const char*, int) override { return 0; }
  int nMapStringW(int, unsigned int, wchar_t*, int, const wchar_t*, int) override { return 0; }
  int nMapStringCurA(unsigned int, char*, int, const char*, int) override { return 0; }
  int nMapStringCurW(unsigned int, wchar_t*, int, const wchar_t*, int) override { return 0; }
  int nGetSafeLCID() override { return 1036; }

 private:
  int cp_;
};

class CurrentCodePage1251 : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = CInformationDLL::ms_piInfoLocale;
    CInformationDLL::ms_piInfoLocale = &locale_;
  }
  void TearDown() override { CInformationDLL::ms_piInfoLocale = saved_; }
  CCodePageLocale locale_{1251};
  IInfoLocale* saved_ = nullptr;
};

// ---- Windows-1252 ----

TEST(Cp1252Table, EveryByteDecodesAsIconvWithUndefinedBytesKeepingTheirValue) {
  Iconv dec("UCS-4LE", "CP1252");
  ASSERT_TRUE(dec.ok());
  char all[256];
  for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
  wchar_t wide[256];
  ASSERT_EQ(STR_CP1252ToWideChar(all, 256, wide, 256), 256);
  int undefined = 0;
  for (int b = 0; b < 256; ++b) {
    int64_t expected = IconvDecode1252(dec, static_cast<unsigned char>(b));
    if (expected < 0) {
      EXPECT_TRUE(IsUndefined1252(b)) << "iconv leaves byte " << b << " undefined";
      ++undefined;
      expected = b;
    }
    EXPECT_EQ(static_cast<int64_t>(STR_FromCP1252(static_cast<char>(b))), expected) << "byte " << b;
    EXPECT_EQ(static_cast<int64_t>(wide[b]), expected) << "byte " << b;
  }
  EXPECT_EQ(undefined, 5);
}

TEST(Cp1252Table, RepresentabilityOfEveryCodePointMatchesIconv) {
  Iconv enc("CP1252", "UCS-4LE");
  ASSERT_TRUE(enc.ok());
  int aboveFF = 0;
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
    unsigned char ref = 0;
    size_t n = 0;
    // iconv swallows some code points (the tag characters) without output: not representable.
    bool refOk = enc.Convert(&c, 4, &ref, 1, &n) && n == 1;
    if (c >= 0x80 && c <= 0x9F) refOk = false;  // U+0080-U+009F are never representable
    unsigned char b = 0x5A;
    const BOOL got = STR_bIsCp1252(static_cast<wchar_t>(c), b);
    if (refOk != (got != FALSE)) {
      ADD_FAILURE() << std::hex << "U+" << c << " iconv " << refOk;
      continue;
    }
    EXPECT_EQ(STR_bIsCp1252(static_cast<wchar_t>(c)), got);
    if (got) {
      EXPECT_EQ(b, ref) << std::hex << "U+" << c;
      if (c > 0xFF) ++aboveFF;
    } else {
      EXPECT_EQ(b, 0x5A) << "byte touched for U+" << std::hex << c;
    }
  }
  EXPECT_EQ(aboveFF, 27);
  for (wchar_t c : {static_cast<wchar_t>(-1), static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0x100000AC)}) {
    EXPECT_FALSE(STR_bIsCp1252(c));
  }
}

TEST(Cp1252Table, DocumentedCases) {
  unsigned char b = 0;
  EXPECT_TRUE(STR_bIsCp1252(L'\u20AC', b));
  EXPECT_EQ(b, 0x80);
  EXPECT_FALSE(STR_bIsCp1252(L'\u0081'));
  EXPECT_EQ(STR_FromCP1252('\x81'), L'\u0081');
  EXPECT_TRUE(STR_bIsCp1252(L'\u00E9', b));
  EXPECT_EQ(b, 0xE9);
  EXPECT_FALSE(STR_bIsCp1252(L'\u0100'));
  EXPECT_TRUE(STR_bIsCp1252(L""));
  EXPECT_TRUE(STR_bIsCp1252(L"\u0152uvre \u20AC \u00FF"));
  EXPECT_FALSE(STR_bIsCp1252(L"abc\u0100"));
  EXPECT_FALSE(STR_bIsCp1252(L"abc\u0090"));
}

TEST(Cp1252Table, ToCP1252ReportsLossOnlyWhenNotRepresentable) {
  int lost = 0;
  EXPECT_EQ(STR_ToCP1252(L'\u0153', '?', &lost), '\x9C');
  EXPECT_EQ(STR_ToCP1252(L'A', '?', &lost), 'A');
  EXPECT_EQ(STR_ToCP1252(L'\u00FF', '?', &lost), '\xFF');
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(STR_ToCP1252(L'\u0081', '#', &lost), '#');
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(STR_ToCP1252(L'\u4E00', '#', nullptr), '#');
}

TEST(Cp1252Table, WideCharFromTableCountsStopsAndRejects) {
  EXPECT_EQ(STR_CP1252ToWideChar("a\x80", -1, nullptr, 0), 3);
  wchar_t dst[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_EQ(STR_CP1252ToWideChar("a\x80", -1, dst, 0), 3);
  EXPECT_EQ(dst[0], L'x');
  EXPECT_EQ(STR_CP1252ToWideChar("a\x80", -1, dst, 3), 3);
  EXPECT_EQ(dst[0], L'a');
  EXPECT_EQ(dst[1], L'\u20AC');
  EXPECT_EQ(dst[2], L'\0');
  EXPECT_EQ(dst[3], L'x');
  // A full destination stops the copy.
  wchar_t two[3] = {L'x', L'x', L'x'};
  EXPECT_EQ(STR_CP1252ToWideChar("\xE9t\xE9", -1, two, 2), 2);
  EXPECT_EQ(two[0], L'\u00E9');
  EXPECT_EQ(two[1], L't');
  EXPECT_EQ(two[2], L'x');
  // Explicit lengths go past zero bytes and count no terminator.
  EXPECT_EQ(STR_CP1252ToWideChar("a\0b", 3, nullptr, 0), 3);
  EXPECT_EQ(STR_CP1252ToWideChar("a\0b", 3, dst, 4), 3);
  EXPECT_EQ(dst[2], L'b');
  EXPECT_EQ(STR_CP1252ToWideChar("abc", 0, dst, 4), 0);
  EXPECT_EQ(STR_CP1252ToWideChar(nullptr, -1, nullptr, 0), 0);
  EXPECT_EQ(STR_CP1252ToWideChar("abc", -2, dst, 4), 0);
  EXPECT_EQ(STR_CP1252ToWideChar("abc", -2, nullptr, 0), 0);
}

// ---- Fold table and quick ordering ----

TEST(FoldTable, EveryEntryFollowsTheRules) {
  const FoldTable ref;
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(pToNoAccentUpper_Latin1[b], ref.t[b]) << std::hex << "byte 0x" << b;
  }
}

TEST(FoldTable, QuickOrdering) {
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("ecole", "\xC9" "COLE"), 0);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("\xC6on", "\xE6ON"), 0);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("abc", "abcd"), -1);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("abcd", "abc"), 1);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("", ""), 0);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("", "a"), -1);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("b", "A"), 1);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("\xE9t\xE9", "ETF"), -1);
  // Folded bytes compare unsigned: 0xC6 (AE) sorts after 'Z', the symbols after letters.
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("\xE6", "z"), 1);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("z", "\xE6"), -1);
  EXPECT_EQ(STR_nCmpLogiqueAnsiFast("{", "z"), 1);
}

// ---- Character classes ----

TEST(CharClass, NarrowFormsOverEveryByte) {
  for (int i = 0; i < 256; ++i) {
    const char c = static_cast<char>(i);
    SCOPED_TRACE(i);
    EXPECT_EQ(bEstUnChiffreA(c) != 0, i >= '0' && i <= '9');
    EXPECT_EQ(bMajusculeA(c) != 0, i >= 'A' && i <= 'Z');
    EXPECT_EQ(bMinusculeA(c) != 0, i >= 'a' && i <= 'z');
    EXPECT_EQ(bExtendedASCII(c) != 0, i > 127);
    EXPECT_EQ(bUnprintable(c) != 0, i < 32);
    EXPECT_EQ(bPonctuation(c) != 0, (i >= 33 && i <= 47) || (i >= 58 && i <= 64) || (i >= 91 && i <= 95));
    EXPECT_EQ(STR_bIsANSI7(c) != 0, i < 0x80);
    EXPECT_EQ(STR_FromAnsi7(c, L'#'), i < 0x80 ? static_cast<wchar_t>(i) : L'#');
  }
  EXPECT_EQ(nGetChiffre('7'), 7);
  EXPECT_EQ(nGetChiffre(L'0'), 0);
}

TEST(CharClass, WideFormsReadTheUnsigned32BitValue) {
  const wchar_t samples[] = {0, 31, 32, '0', '9', ':', '@', 'A', 'Z', '[', '_', '`', 'a', 'z', '{', '~', 127, 128, 0xFF,
                             0x100, 0x130, 0xFF10, 0x10FFFF, static_cast<wchar_t>(-1), static_cast<wchar_t>(0x80000030)};
  for (wchar_t w : samples) {
    const uint32_t u = static_cast<uint32_t>(w);
    SCOPED_TRACE(u);
    EXPECT_EQ(bEstUnChiffreW(w) != 0, u >= '0' && u <= '9');
    EXPECT_EQ(bMajusculeW(w) != 0, u >= 'A' && u <= 'Z');
    EXPECT_EQ(bMinusculeW(w) != 0, u >= 'a' && u <= 'z');
    EXPECT_EQ(bExtendedASCII(w) != 0, u > 127);
    EXPECT_EQ(bUnprintable(w) != 0, u < 32);
    EXPECT_EQ(bPonctuation(w) != 0, (u >= 33 && u <= 47) || (u >= 58 && u <= 64) || (u >= 91 && u <= 95));
    EXPECT_EQ(STR_ToAnsi7(w, '#'), u <= 127 ? static_cast<char>(u) : '#');
  }
}

TEST(CharClass, TextForms) {
  EXPECT_TRUE(bEstUnNombreEntierNaturel(L""));
  EXPECT_TRUE(bEstUnNombreEntierNaturel(L"0123456789"));
  EXPECT_FALSE(bEstUnNombreEntierNaturel(L"12a"));
  EXPECT_FALSE(bEstUnNombreEntierNaturel(L"-1"));
  EXPECT_FALSE(bEstUnNombreEntierNaturel(L"1\uFF12"));  // a full-width digit is not ASCII
  EXPECT_TRUE(bEstUnNombreEntierNaturel(""));
  EXPECT_FALSE(bEstUnNombreEntierNaturel("12 "));

  EXPECT_TRUE(STR_bNeContientRienDeLisibleA(""));
  EXPECT_TRUE(STR_bNeContientRienDeLisibleA(" \t\r\n "));
  EXPECT_FALSE(STR_bNeContientRienDeLisibleA(" \v"));
  EXPECT_FALSE(STR_bNeContientRienDeLisibleA(" \xA0"));
  EXPECT_TRUE(STR_bNeContientRienDeLisibleW(L"\t \n"));
  EXPECT_FALSE(STR_bNeContientRienDeLisibleW(L" \u00A0"));
  EXPECT_FALSE(STR_bNeContientRienDeLisibleW(L"  x"));

  EXPECT_FALSE(STR_bContainSpace(nullptr));
  EXPECT_FALSE(STR_bContainSpace(L""));
  EXPECT_FALSE(STR_bContainSpace(L"a\tb\u00A0c"));
  EXPECT_TRUE(STR_bContainSpace(L"ab c"));

  EXPECT_TRUE(STR_bIsANSI7(L""));
  EXPECT_TRUE(STR_bIsANSI7(L"abc\x7F"));
  EXPECT_FALSE(STR_bIsANSI7(L"ab\x80"));
  EXPECT_FALSE(STR_bIsANSI7(L"\xFFFFFFFF"));
  EXPECT_TRUE(STR_bIsANSI7(L"ab\u00E9", 2));
  EXPECT_FALSE(STR_bIsANSI7(L"ab\u00E9", 3));
  EXPECT_TRUE(STR_bIsANSI7(L"a\0\u00E9", 2));  // a count goes past a zero
  EXPECT_FALSE(STR_bIsANSI7(L"a\0\u00E9", 3));
  EXPECT_TRUE(STR_bIsANSI7("abc"));
  EXPECT_FALSE(STR_bIsANSI7("ab\xE9"));
  EXPECT_TRUE(STR_bIsANSI7("ab\xE9", 2));
  EXPECT_FALSE(STR_bIsANSI7("a\0\xE9", 3));
}

TEST(CharClass, Utf8SequenceLengthOfEveryLeadByte) {
  for (int b = 0; b < 256; ++b) {
    int expected;
    if (b < 0x80) expected = 1;
    else if (b < 0xE0) expected = 2;
    else if (b < 0xF0) expected = 3;
    else if (b < 0xF8) expected = 4;
    else if (b < 0xFC) expected = 5;
    else if (b < 0xFE) expected = 6;
    else expected = 1;
    EXPECT_EQ(STR_nGetNbByteUTF8(static_cast<unsigned char>(b)), expected) << b;
  }
  EXPECT_EQ(STR_nGetNbByteUTF8(0xC3), 2);
  EXPECT_EQ(STR_nGetNbByteUTF8(0xE2), 3);
  EXPECT_EQ(STR_nGetNbByteUTF8('\xF0'), 4);
}

// ---- One character through the converters ----

TEST(SingleCharacter, ThroughTheConverters) {
  EXPECT_EQ(STR_WCharToAChar(L'\u00E9', 0, 1252), '\xE9');
  EXPECT_EQ(STR_WCharToAChar(L'\u20AC', 0, 1252), '\x80');
  EXPECT_EQ(STR_WCharToAChar(L'\u0416', 0, 1251), '\xC6');
  EXPECT_EQ(STR_CharToWChar('\xE9', 0, 1252), L'\u00E9');
  EXPECT_EQ(STR_CharToWChar('\x80', 0, 0), L'\u20AC');
  EXPECT_EQ(STR_CharToWChar('\xC6', 0, 1251), L'\u0416');
  EXPECT_EQ(STR_CharToWChar('A', 0, 65001), L'A');
  EXPECT_EQ(STR_CharToWChar_CurrentCharset('\x80', 0), L'\u20AC');  // the stand-in host is in 1252
}

TEST(SingleCharacter, NothingConvertedGivesZero) {
  // Two UTF-8 bytes do not fit the one byte given; a lone lead byte is no character.
  EXPECT_EQ(STR_WCharToAChar(L'\u00E9', 0, 65001), '\0');
  EXPECT_EQ(STR_CharToWChar('\xC3', 8, 65001), L'\0');
  EXPECT_EQ(STR_CharToWChar('\xC3', 0, 65001), L'\0');
  EXPECT_EQ(STR_CharToWChar('\x81', 8, 1252), L'\0');
}

TEST_F(CurrentCodePage1251, SingleCharacterUsesTheServiceCodePage) {
  EXPECT_EQ(STR_CharToWChar_CurrentCharset('\xC0', 0), L'\u0410');
}

// ---- Allocating conversions ----

// Output slots preset to garbage, so a failure must clear them.
struct Out {
  char* a = reinterpret_cast<char*>(0x1);
  wchar_t* w = reinterpret_cast<wchar_t*>(0x1);
  int len = 99;
  void Free() {
    if (a != reinterpret_cast<char*>(0x1)) free(a);
    if (w != reinterpret_cast<wchar_t*>(0x1)) free(w);
  }
  ~Out() { Free(); }
};

TEST(Allocating, WideToNarrow) {
  {
    Out o;
    ASSERT_TRUE(__STR_WCharToChar(L"caf\u00E9", -1, &o.a, &o.len, 1252));
    EXPECT_EQ(o.len, 5);
    EXPECT_EQ(memcmp(o.a, "caf\xE9\0\0", 6), 0);
  }
  {
    Out o;
    ASSERT_TRUE(STR_WCharToChar_AnyCodepage(L"caf\u00E9!", 4, &o.a, &o.len, 1252));
    EXPECT_EQ(o.len, 4);
    EXPECT_EQ(memcmp(o.a, "caf\xE9\0", 5), 0);
  }
  {
    Out o;
    ASSERT_TRUE(__STR_WCharToChar(L"\u00E9\u20AC", -1, &o.a, &o.len, 65001));
    EXPECT_EQ(o.len, 6);
    EXPECT_STREQ(o.a, "\xC3\xA9\xE2\x82\xAC");
  }
  {
    Out o;
    ASSERT_TRUE(__STR_WCharToChar(L"\u00E9\u20AC", 2, &o.a, &o.len, 65001));
    EXPECT_EQ(o.len, 5);
    EXPECT_EQ(memcmp(o.a, "\xC3\xA9\xE2\x82\xAC\0", 6), 0);
  }
  {
    Out o;  // what the code page lacks becomes '?'
    ASSERT_TRUE(__STR_WCharToChar(L"a\u0100b", -1, &o.a, &o.len, 1252));
    EXPECT_STREQ(o.a, "a?b");
  }
  {
    Out o;  // no length wanted
    ASSERT_TRUE(__STR_WCharToChar(L"xy", -1, &o.a, nullptr, 0));
    EXPECT_STREQ(o.a, "xy");
  }
}

TEST(Allocating, WideToNarrowFailuresLeaveNothing) {
  {
    Out o;
    EXPECT_FALSE(__STR_WCharToChar(L"abc", 0, &o.a, &o.len, 1252));
    EXPECT_EQ(o.a, nullptr);
    EXPECT_EQ(o.len, 0);
  }
  {
    Out o;
    EXPECT_FALSE(__STR_WCharToChar(nullptr, -1, &o.a, &o.len, 65001));
    EXPECT_EQ(o.a, nullptr);
    EXPECT_EQ(o.len, 0);
  }
  {
    Out o;
    EXPECT_FALSE(STR_WCharToChar_CurrentCharset(&o.a, L"", 0));
    EXPECT_EQ(o.a, nullptr);
  }
}

TEST(Allocating, NarrowToWide) {
  {
    Out o;
    ASSERT_TRUE(__STR_CharToWChar("caf\xE9", -1, 1252, &o.w, &o.len, 0));
    EXPECT_EQ(o.len, 5);
    EXPECT_EQ(wmemcmp(o.w, L"caf\u00E9\0\0", 6), 0);
  }
  {
    Out o;
    ASSERT_TRUE(__STR_CharToWChar("caf\xC3\xA9", 3, 65001, &o.w, &o.len, 8));
    EXPECT_EQ(o.len, 3);
    EXPECT_EQ(wmemcmp(o.w, L"caf\0", 4), 0);
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToWChar_AnyCodepage("caf\xC3\xA9", -1, 65001, &o.w, &o.len, 0));
    EXPECT_EQ(o.len, 5);
    EXPECT_STREQ(o.w, L"caf\u00E9");
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToWChar_AnyCodepage("\x80\xE9", 2, 1252, &o.w, &o.len, 0));
    EXPECT_EQ(o.len, 2);
    EXPECT_EQ(wmemcmp(o.w, L"\u20AC\u00E9\0", 3), 0);
  }
  {
    Out o;  // without the strict flag what the code page does not define is dropped
    ASSERT_TRUE(STR_CharToWChar_AnyCodepage("a\x81" "b", -1, 1252, &o.w, &o.len, 0));
    EXPECT_STREQ(o.w, L"ab");
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToWChar_AnyCodepage("a\xC3(", 3, 65001, &o.w, &o.len, 0));
    EXPECT_STREQ(o.w, L"a(");
  }
  {
    Out o;  // the whole-text form is strict 1252
    ASSERT_TRUE(STR_CharToWChar(&o.w, "\x9C" "uf"));
    EXPECT_STREQ(o.w, L"\u0153uf");
  }
  {
    Out o;
    EXPECT_TRUE(STR_CharToWChar_CurrentCharset(&o.w, nullptr, 0, -1));
    EXPECT_EQ(o.w, nullptr);
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToWChar_CurrentCharset(&o.w, "\x80", 0));
    EXPECT_STREQ(o.w, L"\u20AC");
  }
}

TEST(Allocating, NarrowToWideFailuresLeaveNothing) {
  {
    Out o;  // invalid UTF-8 under the strict flag
    EXPECT_FALSE(__STR_CharToWChar("a\xC3(", -1, 65001, &o.w, &o.len, 8));
    EXPECT_EQ(o.w, nullptr);
    EXPECT_EQ(o.len, 0);
  }
  {
    Out o;  // a length that cuts a sequence short, under the strict flag
    EXPECT_FALSE(__STR_CharToWChar("caf\xC3\xA9", 4, 65001, &o.w, &o.len, 8));
    EXPECT_EQ(o.w, nullptr);
    EXPECT_EQ(o.len, 0);
  }
  {
    Out o;  // 0x81 is undefined in Windows-1252
    EXPECT_FALSE(STR_CharToWChar(&o.w, "a\x81"));
    EXPECT_EQ(o.w, nullptr);
  }
  {
    Out o;
    EXPECT_FALSE(STR_CharToWChar_AnyCodepage("abc", 0, 1252, &o.w, &o.len, 0));
    EXPECT_EQ(o.w, nullptr);
    EXPECT_EQ(o.len, 0);
  }
  {
    Out o;
    EXPECT_FALSE(__STR_CharToWChar(nullptr, -1, 1252, &o.w, &o.len, 0));
    EXPECT_EQ(o.w, nullptr);
    EXPECT_EQ(o.len, 0);
  }
}

TEST_F(CurrentCodePage1251, TextConversionsUseTheServiceCodePage) {
  Out o;
  ASSERT_TRUE(STR_CharToWChar_CurrentCharset(&o.w, "\xCC\xE8\xF0", 0));
  EXPECT_STREQ(o.w, L"\u041C\u0438\u0440");
  ASSERT_TRUE(STR_WCharToChar_CurrentCharset(&o.a, L"\u041C\u0438\u0440"));
  EXPECT_STREQ(o.a, "\xCC\xE8\xF0");
}

TEST(Allocating, CodePageToCodePage) {
  {
    Out o;  // equal code pages copy; -1 counts no terminator
    ASSERT_TRUE(STR_CharToChar_AnyCodepage("caf\xE9", -1, 1252, &o.a, &o.len, 1252));
    EXPECT_EQ(o.len, 4);
    EXPECT_STREQ(o.a, "caf\xE9");
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToChar_AnyCodepage("a\0b", 3, 65001, &o.a, &o.len, 65001));
    EXPECT_EQ(o.len, 3);
    EXPECT_EQ(memcmp(o.a, "a\0b\0", 4), 0);
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToChar_AnyCodepage("", 0, 1252, &o.a, &o.len, 1252));
    EXPECT_EQ(o.len, 0);
    EXPECT_STREQ(o.a, "");
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToChar_AnyCodepage("caf\xE9", -1, 1252, &o.a, &o.len, 65001));
    EXPECT_EQ(o.len, 6);
    EXPECT_STREQ(o.a, "caf\xC3\xA9");
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToChar_AnyCodepage("\xC5\x93\xE2\x82\xAC", 5, 65001, &o.a, &o.len, 1252));
    EXPECT_EQ(o.len, 2);
    EXPECT_EQ(memcmp(o.a, "\x9C\x80\0", 3), 0);
  }
  {
    Out o;
    ASSERT_TRUE(STR_CharToChar_AnyCodepage("\xCC\xE8\xF0", 3, 1251, &o.a, &o.len, 1252));
    EXPECT_STREQ(o.a, "???");
  }
  {
    Out o;
    EXPECT_FALSE(STR_CharToChar_AnyCodepage("abc", 0, 1252, &o.a, &o.len, 65001));
    EXPECT_EQ(o.a, nullptr);
    EXPECT_EQ(o.len, 0);
  }
  {
    Out o;
    EXPECT_FALSE(STR_CharToChar_AnyCodepage(nullptr, -1, 1252, &o.a, &o.len, 1252));
    EXPECT_EQ(o.a, nullptr);
    EXPECT_EQ(o.len, 0);
  }
  {
    Out o;
    EXPECT_FALSE(STR_CharToChar_AnyCodepage("abc", -5, 1252, &o.a, &o.len, 1252));
    EXPECT_EQ(o.a, nullptr);
  }
}

TEST(Compatibility, RoundTripThroughTheCodePage) {
  EXPECT_TRUE(bAnsiCompatible(nullptr, 1252));
  EXPECT_TRUE(bAnsiCompatible(L"", 932));
  EXPECT_TRUE(bLatin1(L"\u0152uvre \u00E0 5\u20AC"));
  EXPECT_FALSE(bLatin1(L"A\u0100"));
  EXPECT_TRUE(bLatin1(L"why?"));          // a real '?' is not a replacement
  EXPECT_FALSE(bLatin1(L"\u0081"));       // decodes from 0x81 locally, but the code page lacks it
  EXPECT_FALSE(bLatin1(L"\u4E00?"));
  EXPECT_TRUE(bAnsiCompatible(L"\u041C\u0438\u0440", 1251));
  EXPECT_FALSE(bAnsiCompatible(L"\u041C\u00E9", 1251));
  EXPECT_TRUE(bAnsiCompatible(L"\u65E5\u672C", 932));
  EXPECT_TRUE(bAnsiCompatible(L"\u65E5\u672C\U0001F600", 65001));
  EXPECT_FALSE(bAnsiCompatible(L"a\xD800", 65001));
  EXPECT_FALSE(bAnsiCompatible(L"a\x110000", 65001));
  EXPECT_TRUE(bAnsiCompatible(L"\u00E9", 0));
}

}  // namespace

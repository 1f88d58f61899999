// Text comparison and mapping: the service operation, locale, flags and lengths each function asks
// for (through a recording service) and what the orderings answer over the stand-in's service;
// charset, code-page and language tables, conversion preparation, and the locale switch.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <clocale>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/charset.h"
#include "common/str_compare.h"
#include "platform/information_dll.h"

namespace {
std::vector<std::string> g_setlocaleNames;
}  // namespace

// Every setlocale of the process comes here first; the real one still does the work.
extern "C" char* setlocale(int category, const char* locale) noexcept {
  using Fn = char* (*)(int, const char*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "setlocale"));
  if (locale != nullptr && category == LC_ALL) g_setlocaleNames.emplace_back(locale);
  return real(category, locale);
}

namespace {

// A locale service that records every call: the operation, locale id (-1: the current-locale
// operation), flags, and both lengths of a comparison or the destination size and source length of a
// mapping. Comparisons answer compareAnswer, sort keys 11, mappings copy the source. RecordingTest
// puts it in place of the service.
using Call = std::tuple<std::string, int, unsigned, int, int>;

class CRecordingLocale : public IInfoLocale {
  using A = char*;
  using W = wchar_t*;
  using CA = const char*;
  using CW = const wchar_t*;

 public:
  std::vector<Call> calls;
  int compareAnswer = 0;
  int charset = 0;
  int codePage = 1252;

  void vNotCalled1() override {}
  void vNotCalled2() override {}
  void vNotCalled11() override {}
  int nGetCharset() override { return charset; }
  int nGetCodePage() override { return codePage; }
  int nGetLCID() override { return 1049; }
  int nGetSafeLCID() override { return 1050; }
  int nCompareStringA(int l, unsigned f, CA, int a, CA, int b) override { return Cmp("CmpA", l, f, a, b); }
  int nCompareStringW(int l, unsigned f, CW, int a, CW, int b) override { return Cmp("CmpW", l, f, a, b); }
  int nCompareStringCurA(unsigned f, CA, int a, CA, int b) override { return Cmp("CmpCurA", -1, f, a, b); }
  int nCompareStringCurW(unsigned f, CW, int a, CW, int b) override { return Cmp("CmpCurW", -1, f, a, b); }
  int nMapStringSortA(int l, A, int size, CA, int len) override { return Cmp("SortA", l, 0, size, len); }
  int nMapStringA(int l, unsigned f, A d, int n, CA s, int len) override { return Map("MapA", l, f, d, n, s, len); }
  int nMapStringW(int l, unsigned f, W d, int n, CW s, int len) override { return Map("MapW", l, f, d, n, s, len); }
  int nMapStringCurA(unsigned f, A d, int n, CA s, int len) override { return Map("MapCurA", -1, f, d, n, s, len); }
  int nMapStringCurW(unsigned f, W d, int n, CW s, int len) override { return Map("MapCurW", -1, f, d, n, s, len); }

 private:
  int Cmp(const char* op, int lcid, unsigned int flags, int a, int b) {
    calls.push_back({op, lcid, flags, a, b});
    return op[0] == 'S' ? 11 : compareAnswer;
  }
  template <typename T>
  int Map(const char* op, int lcid, unsigned int flags, T* dst, int size, const T* src, int len) {
    calls.push_back({op, lcid, flags, size, len});
    int n = len;
    if (n < 0)
      for (n = 1; src[n - 1] != 0;) ++n;
    if (size == 0) return n;
    if (n > size) return 0;
    memcpy(dst, src, n * sizeof(T));
    return n;
  }
};

class RecordingTest : public testing::Test {
 protected:
  void SetUp() override { std::swap(CInformationDLL::ms_piInfoLocale, saved_); }
  void TearDown() override { std::swap(CInformationDLL::ms_piInfoLocale, saved_); }
  CRecordingLocale rec_;
  IInfoLocale* saved_ = &rec_;
};

TEST_F(RecordingTest, EachFunctionAsksOneOperationWithItsLocaleFlagsAndLengths) {
  // Bit 0x10000000 picks the current locale and never reaches the service.
  static char n[] = "ab";
  static wchar_t w[] = L"ab";
  const struct { const char* name; void (*run)(); Call want; } rows[] = {
      {"nCompareW", [] { STR_nCompareW(L"a", L"b", 3); }, {"CmpW", 1024, 3, -1, -1}},
      {"nCompareW current", [] { STR_nCompareW(L"a", L"b", 0x10000003); }, {"CmpCurW", -1, 3, -1, -1}},
      {"nUpCompareW", [] { STR_nUpCompareW(L"a", L"b", 0); }, {"CmpW", 1024, 1, -1, -1}},
      {"nAcCompare", [] { STR_nAcCompare(L"a", L"b", 0); }, {"CmpW", 1024, 2, -1, -1}},
      {"nUpCompareA", [] { STR_nUpCompareA("a", "b", 0); }, {"CmpA", 1024, 0x40000001, -1, -1}},
      {"nUpCompareA current", [] { STR_nUpCompareA("a", "b", 0x10000000); }, {"CmpCurA", -1, 0x40000001, -1, -1}},
      {"CharLexicoA", [] { STR_nCompareCharLexicoA('a', 'b', 0); }, {"CmpA", 1036, 0x20000000, 1, 1}},
      {"CharLexicoA current", [] { STR_nCompareCharLexicoA('a', 'b', 0x10000000); }, {"CmpA", 1049, 0x20000000, 1, 1}},
      {"StringLexicoW", [] { STR_nCompareStringLexicoW(L"ab", 2, L"a", 1, 0); }, {"CmpW", 1024, 0x20000000, 2, 1}},
      {"CharLexicoW current", [] { STR_nCompareCharLexicoW(L'a', L'b', 0x10000000); }, {"CmpW", 1049, 0x20000000, 1, 1}},
      {"CharSoupleA", [] { STR_nCompareCharSoupleA('a', 'b'); }, {"CmpA", 1036, 3, 1, 1}},
      {"CharSoupleW", [] { STR_nCompareCharSoupleW(L'a', L'b'); }, {"CmpW", 1024, 3, 1, 1}},
      // Lengths capped at n, a null text counting 0; a narrow empty b with a negative n passes n.
      {"NCompare", [] { STR_nNCompare<wchar_t>(L"abcd", L"ab", 3, 1); }, {"CmpW", 1036, 1, 3, 2}},
      {"NCompare current", [] { STR_nNCompare<wchar_t>(nullptr, L"", 3, 0x10000000); }, {"CmpW", 1049, 0, 0, 0}},
      {"NCompare narrow", [] { STR_nNCompare<char>("abc", "", -1, 0); }, {"CmpA", 1036, 0, -1, -1}},
      {"ToUpperBuff narrow", [] { STR_ToUpperBuff(n, 1); }, {"MapA", 1024, 1, 2, 1}},
      {"ToLowerBuff narrow", [] { STR_ToLowerBuff(n, 1); }, {"MapA", 1024, 0x100, 2, 1}},
      {"ToUpperBuff wide", [] { STR_ToUpperBuff(w, 1); }, {"MapCurW", -1, 1, 2, 1}},
      {"GetMapStringLenEx", [] { STR_nGetMapStringLenEx(3, L"abc", -1); }, {"MapW", 1036, 3, 0, -1}},
      {"MapStringEx current", [] { STR_nMapStringEx(0x10000001, w, 3, L"ab", 2); }, {"MapW", 1049, 1, 3, 2}},
      {"MapCharIgnoreCaseAccent", [] { STR_nMapCharIgnoreCaseAccent(w, L'x'); }, {"MapW", 1036, 3, 2, 1}},
      {"MapStringSortEx current", [] { STR_MapStringSortEx(n, 3, "ab", 2, TRUE); }, {"SortA", 1049, 0, 3, 2}},
      {"MapStringSortEx", [] { STR_MapStringSortEx(n, 3, "ab", 2, FALSE); }, {"SortA", 1036, 0, 3, 2}},
      {"WhiteCharOrPunctA", [] { STR_bWhiteCharOrPunctA('x'); }, {"MapA", 1036, 4, 2, 1}},
      {"WhiteCharOrPunctW", [] { STR_bWhiteCharOrPunctW(L'x'); }, {"MapW", 1024, 4, 2, 1}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    rec_.calls.clear();
    r.run();
    ASSERT_EQ(rec_.calls.size(), 1u);
    EXPECT_EQ(rec_.calls[0], r.want);
  }
  rec_.calls.clear();
  STR_ToLower(w);
  EXPECT_EQ(rec_.calls.size(), 2u);  // one call per character
  EXPECT_EQ(STR_nGetMapStringLenEx(3, L"abc", -1), 5);  // the service counts the terminator, plus one
}

TEST_F(RecordingTest, ThreeValuedResultFollowsTheSignOfTheAnswer) {
  const int answers[] = {-7, -2, -1, 0, 1, 2, 7, 42};
  for (int answer : answers) {
    rec_.compareAnswer = answer;
    const int sign = answer < 0 ? -1 : answer > 0 ? 1 : 0;
    EXPECT_EQ(__STR_CompareStringEx<wchar_t>(0, L"a", 1, L"b", 1), sign + 2) << answer;
    EXPECT_EQ(STR_nNCompare<wchar_t>(L"a", L"b", 5, 0), sign) << answer;
    EXPECT_EQ(STR_nNCompare<char>("a", "b", 5, 0), sign) << answer;
  }
  rec_.compareAnswer = 2;
  EXPECT_FALSE(STR_bDebut(L"abc", L"ab"));
}

TEST_F(RecordingTest, LocaleFacts) {
  rec_.charset = 127;
  EXPECT_EQ(STR_nGetCurrentChangeCharset(), 0);
  EXPECT_EQ(STR_nGetCurrentChangeCharsetInterne(), 127);
  rec_.charset = 238;
  EXPECT_EQ(STR_nGetCurrentChangeCharset(), 238);
  EXPECT_EQ(STR_nGetCurrentCodePage(), 1252);
  EXPECT_EQ(STR_nGetCurrentLCID(), 1049);
  EXPECT_EQ(STR_nGetSafeCurrentLCID(), 1050);
  EXPECT_EQ(STR_piGetInfoLocale(), &rec_);
  CInformationDLL::ms_piInfoLocale = nullptr;
  EXPECT_EQ(STR_nGetCurrentCodePage(), 0);
}

TEST_F(RecordingTest, PreparedComparisonMapsWithTheCurrentLocale) {
  // Ignoring case through the options maps both texts, then compares bytes.
  EXPECT_EQ(STR_ChaineCompareW(L"abc", 3, L"abd", 3, 0x10), -1);
  ASSERT_EQ(rec_.calls.size(), 2u);
  EXPECT_EQ(rec_.calls[1], Call("MapCurW", -1, 1, 4, 3));
  rec_.calls.clear();
  STR_ChaineCompareW(L"abc", 3, L"abd", 3, 0x8 | 0x80000000);
  ASSERT_EQ(rec_.calls.size(), 1u);
  EXPECT_EQ(rec_.calls[0], Call("CmpW", 1049, 0xA0000000, 3, 3));
}

TEST(OptionTranslation, EveryOptionBit) {
  // Lower case (0x40) wins over ignoring case; trim, lexical, numeric and 0x80000000 map to nothing.
  const struct { unsigned options, flags; } rows[] = {
      {0, 0}, {0x2, 4}, {0x4, 2}, {0x10, 1}, {0x20, 1}, {0x40, 0x100}, {0x10 | 0x40, 0x100}, {0x100, 0x800},
      {0x1 | 0x8 | 0x80 | 0x80000000, 0}, {0x2 | 0x4 | 0x20, 7}};
  for (const auto& r : rows) EXPECT_EQ(OptionZV2FlagSTR(r.options), r.flags) << std::hex << r.options;
}

int Sign(int n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

TEST(NumericOrdering, DigitRunsCompareByValueWithLeadingZeroTieBreak) {
  // The first pair that differs only in leading zeros decides a tie; a real difference later wins.
  const struct { const wchar_t *a, *b; int want; } rows[] = {
      {L"a10", L"a9", 1},  {L"a9", L"a10", -1},   {L"a01", L"a1", -1},     {L"a1", L"a01", 1},
      {L"0010", L"9", 1},  {L"abc", L"abc1", -1}, {L"", L"x", -1},         {L"x", L"", 1},
      {L"", L"", 0},       {L"x007y", L"x7y", -1}, {L"a01b1", L"a1b01", -1}, {L"a01b2", L"a1b1", 1},
      {L"12345678901234567890", L"12345678901234567891", -1}};
  for (unsigned int flags : {0u, 0x20000000u}) {
    for (const auto& r : rows) {
      const int la = static_cast<int>(wcslen(r.a)), lb = static_cast<int>(wcslen(r.b));
      EXPECT_EQ(Sign(STR_nCompareRespecteNumeriqueW(r.a, la, r.b, lb, flags)), r.want) << r.a << " " << r.b;
      const std::string na(r.a, r.a + la), nb(r.b, r.b + lb);
      EXPECT_EQ(Sign(STR_nCompareRespecteNumeriqueA(na.c_str(), la, nb.c_str(), lb, flags)), r.want) << na << " " << nb;
    }
  }
  // Narrow bytes are unsigned: by value without the lexical flag, as their character with it.
  EXPECT_EQ(Sign(STR_nCompareRespecteNumeriqueA("\xE9", 1, "f", 1, 0)), 1);
  EXPECT_EQ(Sign(STR_nCompareRespecteNumeriqueA("\xE9", 1, "f", 1, 0x20000000)), -1);
  int tie = 0;
  EXPECT_EQ(__nCompareNumeriqueChaineW(L"007", 3, L"7", 1, &tie), 0);
  EXPECT_EQ(tie, -1);
  EXPECT_EQ(__nCompareNumeriqueChaineA("7", 1, "07", 2, &tie), 0);
  EXPECT_EQ(tie, -1);  // an earlier verdict stays
  tie = 0;
  EXPECT_EQ(__nCompareNumeriqueChaineA("17", 2, "9", 1, &tie), 1);
}

TEST(NumericOrdering, VersionComparison) {
  const struct { const char *a, *b; int want; } rows[] = {
      {"1.10", "1.9", 1}, {"1.9", "1.10", -1}, {"2.0", "2.0", 0}, {"20.0.9.0", "20.0.10.0", -1}};
  for (const auto& r : rows) {
    const std::wstring a(r.a, r.a + strlen(r.a)), b(r.b, r.b + strlen(r.b));
    EXPECT_EQ(Sign(nCompareVersionModule(a.c_str(), b.c_str())), r.want) << r.a << " " << r.b;
    EXPECT_EQ(Sign(nCompareVersionModuleA(r.a, r.b)), r.want) << r.a << " " << r.b;
  }
}

TEST(PreparedComparison, TrimFoldLexicalAndNumericOptions) {
  // 0x1 trim, 0x2 punctuation, 0x4 accents, 0x10/0x20 case, 0x8 lexical, 0x80 numeric. Byte-wise
  // without options (longer is greater); lexical goes by collation, not code order.
  const std::wstring longA(20000, L'x');
  std::wstring longB = longA;
  longB.back() = L'y';  // texts above the stack buffers
  const struct { std::wstring a, b; unsigned options; int want; } rows[] = {
      {L"  abc\t", L"abc", 0x1, 0}, {L" \t\r\n ", L"", 0x1, 0}, {L"  abc", L"abc", 0, -1},
      {L"\u00C9T\u00C9", L"\u00E9t\u00E9", 0x10, 0}, {L"\u00C9t\u00E9", L"ete", 0x10 | 0x4, 0},
      {L"ABC", L"abc", 0x20, 0}, {L"a-b c", L"abc", 0x2, 0},
      {L"ab", L"abc", 0, -1}, {L"abd", L"abc", 0, 1}, {L"\u00E9a", L"f", 0x8, -1}, {L"\u00E9a", L"f", 0, 1},
      {L"file10", L"file9", 0x80, 1}, {L"File10", L"file9", 0x80 | 0x8 | 0x10, 1}, {longA, longB, 0, -1},
      {longA, longB, 0x10 | 0x1, -1}};
  for (const auto& r : rows) {
    EXPECT_EQ(Sign(STR_ChaineCompareW(r.a.c_str(), -1, r.b.c_str(), -1, r.options)), r.want)
        << r.a.substr(0, 20) << " " << r.b.substr(0, 20) << " " << std::hex << r.options;
  }
  const struct { std::string a, b; unsigned options; int want; } narrow[] = {
      {"  abc\t", "abc", 0x1, 0}, {"\xC9T\xC9", "ete", 0x10 | 0x4, 0}, {"\xE9" "a", "f", 0x8, -1},
      {std::string(40000, 'x'), std::string(40000, 'X'), 0x10, 0}};
  for (const auto& r : narrow) {
    EXPECT_EQ(Sign(STR_ChaineCompareA(r.a.c_str(), -1, r.b.c_str(), -1, r.options)), r.want) << r.a.substr(0, 20);
  }
  wchar_t dst[4];
  EXPECT_EQ(STR_PrepareChaineW(0, L"abcdef", 6, dst, 4), 3);
  EXPECT_STREQ(dst, L"abc");
  char n[8];
  EXPECT_EQ(STR_PrepareChaineA(0x1, "  ab  ", 6, n, 8), 2);
  EXPECT_STREQ(n, "ab");
  EXPECT_EQ(STR_PrepareChaineA(0x1, "    ", 4, n, 8), 0);
  EXPECT_STREQ(n, "");
}

TEST(Comparisons, BoundedNullAwareAndFlexible) {
  const struct { int (*f)(const wchar_t*, const wchar_t*, int, unsigned); const wchar_t *a, *b; int n;
                 unsigned flags; int want; } bounded[] = {
      {STR_nNCompare<wchar_t>, L"abcd", L"abcX", 3, 0, 0}, {STR_nNCompare<wchar_t>, L"abcd", L"abcX", 4, 0, -1},
      {STR_nNCompare<wchar_t>, nullptr, L"", 3, 0, 0},     {STR_nNCompare<wchar_t>, L"b", L"a", 3, 0, 1},
      {STR_nNCompare<wchar_t>, L"a", L"b", 3, 0x10000000, -1}, {STR_nNullNCompare, nullptr, L"x", 1, 0, -1},
      {STR_nNullNCompare, L"xa", L"Xb", 1, 1, 0}};
  for (const auto& r : bounded) EXPECT_EQ(Sign(r.f(r.a, r.b, r.n, r.flags)), r.want) << &r - bounded;
  const struct { int (*f)(const wchar_t*, const wchar_t*, unsigned); const wchar_t *a, *b; unsigned flags;
                 int want; } nullAware[] = {
      {STR_nNullCompare, nullptr, L"x", 0, -1},     {STR_nNullCompare, L"x", nullptr, 0, 1},
      {STR_nNullCompare, nullptr, nullptr, 0, 0},   {STR_nNullCompare, L"X", L"x", 1, 0},
      {STR_nEmptyNullCompare, nullptr, L"", 0, 0},  {STR_nEmptyNullCompare, L"", nullptr, 0, 0},
      {STR_nEmptyNullCompare, L"a", nullptr, 0, 1}, {STR_nEmptyNullCompare, nullptr, L"a", 0, -1},
      {STR_nCompareW, L"\u00C9t\u00E9", L"ETE", 3, 0}, {STR_nCompareW, L"\u00E9", L"e", 2, 0},
      {STR_nCompareW, L"abc", L"abd", 3, -1}};
  for (const auto& r : nullAware) EXPECT_EQ(Sign(r.f(r.a, r.b, r.flags)), r.want) << &r - nullAware;
  EXPECT_EQ(STR_nNCompare<char>("abcd", "ABCx", 3, 3), 0);
  EXPECT_EQ(STR_nUpCompareA("\xE9t\xE9", "\xC9T\xC9", 0), 0);
  EXPECT_EQ(STR_nCompareCharSoupleA('\xE7', 'C'), 0);
  EXPECT_TRUE(STR_bDebut(L"\u00C9t\u00E9 chaud", L"ete"));
  EXPECT_FALSE(STR_bDebut(L"et", L"ete"));
  EXPECT_TRUE(STR_bDebut(L"abc", L""));
}

TEST(Mappings, CaseStandardFormsAndSingleCharacters) {
  // One character at a time, beyond the BMP too; characters without case stay.
  wchar_t w[] = L"\u00E9t\u00E9 \U00010428 1-\u4E2D";
  STR_ToUpper(w);
  EXPECT_STREQ(w, L"\u00C9T\u00C9 \U00010400 1-\u4E2D");
  STR_ToLower(w);
  EXPECT_STREQ(w, L"\u00E9t\u00E9 \U00010428 1-\u4E2D");
  char n[] = "\xE9t\xE9";
  STR_ToUpper(n);
  STR_ToLowerBuff(n, 2);
  EXPECT_STREQ(n, "\xE9t\xC9");
  // Buffers sized by the service's count.
  wchar_t* std = STR_pszCreateStandard(L"\u00C9l\u00E8ve na\u00EFve \u00C5");
  char* nstd = STR_pszCreateStandard("\xE9l\xE8ve");
  wchar_t* out = nullptr;
  char* nout = nullptr;
  STR_nCreateMapString(0x100, &out, L"ABC\u00C9");
  STR_nCreateMapString(4, &nout, "a, b; c!");
  EXPECT_STREQ(std, L"ELEVE NAIVE A");
  EXPECT_STREQ(nstd, "ELEVE");
  EXPECT_STREQ(out, L"abc\u00E9");
  EXPECT_STREQ(nout, "abc");
  free(std), free(nstd), free(out), free(nout);
  EXPECT_EQ(STR_pszCreateStandard(static_cast<const wchar_t*>(nullptr)), nullptr);
  wchar_t c = 0;
  char nc = 0;
  EXPECT_EQ(STR_nMapCharIgnoreCaseAccent(&c, L'\u00E0'), 1);
  EXPECT_EQ(c, L'A');
  EXPECT_EQ(STR_nMapCharEx(3, &nc, '\xE7') + STR_nMapCharExANSI(1, &nc, 'q'), 2);
  EXPECT_EQ(nc, 'Q');
  const struct { wchar_t c; bool want; } punct[] = {{L' ', true}, {L',', true}, {L'\u00AB', true}, {L'x', false},
                                                    {L'7', false}, {L'.', true}, {L'\u00E9', false}};
  for (const auto& r : punct) {
    EXPECT_EQ(STR_bWhiteCharOrPunctW(r.c) != FALSE, r.want) << static_cast<int>(r.c);
    EXPECT_EQ(STR_bWhiteCharOrPunctA(static_cast<char>(r.c)) != FALSE, r.want) << static_cast<int>(r.c);
  }
}

// The tables agree with each other over every argument: a charset's code page leads back to it
// (but OEM 255 and Johab's shared language), its language leads back to it.
TEST(CharsetTables, EveryCharsetCodePageAndLanguageAgree) {
  std::map<int, int> charsets;  // charset -> code page
  for (int cs = -1000; cs <= 70000; ++cs)
    if (DWORD cp = dwGetCodePageFromCharset(cs)) charsets[cs] = static_cast<int>(cp);
  EXPECT_EQ(charsets.size(), 17u);
  for (auto [cs, cp] : charsets) {
    EXPECT_EQ(nGetCharsetFromCodePage(cp), cs == 255 ? 0 : cs) << cs;
    const WORD lang = wGetLanguageID(cs);
    EXPECT_EQ(lang != 0, cs >= 128 && cs <= 238) << cs;
    EXPECT_TRUE(lang == 0 || cs == 130 || nGetCharsetFromLanguage(lang) == cs) << cs;
  }
  int codePages = 0;
  for (int cp = -1000; cp <= 70000; ++cp) codePages += nGetCharsetFromCodePage(cp) != -1;
  EXPECT_EQ(codePages, 17);  // the 16 charsets' pages and 0
  for (unsigned int id = 0; id <= 0xFFFF; ++id)
    ASSERT_EQ(GetCharSetFromLanguageID(id), nGetCharsetFromLanguage(static_cast<unsigned short>(id))) << id;
  for (int v : {INT_MIN, INT_MAX, 65001 + 128}) EXPECT_EQ(dwGetCodePageFromCharset(v) + wGetLanguageID(v), 0u);

  const std::tuple<int, DWORD, WORD> byCharset[] = {{255, 1252, 0}, {1, 0, 0}, {65001, 65001, 0}, {130, 1361, 0x0012},
                                                    {0, 1252, 0},   {186, 1257, 0x0025}};
  for (auto [cs, cp, lang] : byCharset)
    EXPECT_EQ(std::make_pair(dwGetCodePageFromCharset(cs), wGetLanguageID(cs)), std::make_pair(cp, lang)) << cs;
  const std::pair<int, int> byCodePage[] = {{0, 127}, {437, -1}, {1252, 0}, {INT_MIN, -1}};
  for (auto [cp, cs] : byCodePage) EXPECT_EQ(nGetCharsetFromCodePage(cp), cs);
  // Primary language in the low 10 bits, sublanguage above; primary languages above 67 are Western.
  const std::pair<unsigned short, int> byLanguage[] = {{0x0C1A, 204}, {0x041A, 238}, {0x0404, 136}, {0x0804, 134},
                                                       {0x0409, 0},   {0x0419, 204}, {0x0844, 0},   {0x0843, 204},
                                                       {0x0443, 238}, {0x002B, 65001}, {0x0037, 65001}};
  for (auto [id, cs] : byLanguage) EXPECT_EQ(nGetCharsetFromLanguage(id), cs) << std::hex << id;
}

TEST_F(RecordingTest, MappingsRunUnderTheCharsetLanguage) {
  char a[8];
  wchar_t w[8];
  EXPECT_EQ(STR_MapStringSortEx_Charset(204, a, 8, "abc", 3), 11);
  EXPECT_EQ(STR_nMapStringEx_Charset(161, 0x3u, a, 8u, "abc", -1), 4);  // the service's answer
  EXPECT_EQ(STR_nMapStringEx_Charset(0, 0x101u, w, 6u, L"abc", 2), 2);
  // A size beyond the service's int is passed as the largest it takes.
  EXPECT_EQ(STR_MapStringSortEx_Charset(238, a, 0x80000000u, "abc", 3), 11);
  EXPECT_EQ(STR_nMapStringEx_Charset(130, 0x2u, w, 0xFFFFFFFFu, L"abc", 3), 3);
  const std::vector<Call> expected = {{"SortA", 0x0419, 0, 8, 3}, {"MapA", 0x0008, 0x3, 8, -1},
                                                        {"MapW", 0, 0x101, 6, 2},   {"SortA", 0x0015, 0, INT_MAX, 3},
                                                        {"MapW", 0x0012, 0x2, INT_MAX, 3}};
  EXPECT_EQ(rec_.calls, expected);
}

TEST_F(RecordingTest, ConversionPreparationForEveryType) {
  rec_.codePage = 1251;
  // type, code page set (kUnset: none), answer with bDynamic, answer without
  const uint32_t kUnset = 0xDEADBEEF;
  std::map<unsigned int, std::tuple<uint32_t, unsigned int, unsigned int>> rows = {
      {121, {1252, 16, 16}}, {122, {1252, 16, 110}}, {126, {0, 16, 16}},         {127, {0, 16, 110}},
      {130, {1251, 16, 16}}, {131, {1251, 16, 110}}, {110, {kUnset, 16, 110}}, {18, {kUnset, 19, 18}}};
  for (unsigned int type = 0; type <= 0xFFFF; ++type) {
    const auto it = rows.find(type);
    const auto [cp, dynamic, fixed] = it != rows.end() ? it->second : std::tuple(kUnset, type, type);
    for (int both = 0; both < 4; ++both) {
      const int bDynamic = both & 1, bMark = both >> 1;
      unsigned int flags = 0x5;
      STOCAW conv{kUnset};
      ASSERT_EQ(PrepareConversionAnsiUnicode(type, flags, conv, bDynamic, bMark), bDynamic ? dynamic : fixed) << type;
      ASSERT_EQ(conv.dwCodePage, cp) << type;
      ASSERT_EQ(flags, cp != kUnset && bMark ? 0x45u : 0x5u) << type;
    }
    STOCAW conv{kUnset};
    const bool sets = cp != kUnset && type != 110 && type != 18;
    ASSERT_EQ(PrepareConversionUnicodeAnsi(static_cast<unsigned short>(type), conv), sets ? TRUE : FALSE) << type;
    ASSERT_EQ(conv.dwCodePage, sets ? cp : kUnset) << type;
  }
  unsigned int flags = 0x40;  // a mark already present stays single
  STOCAW conv{kUnset};
  PrepareConversionAnsiUnicode(121, flags, conv, 0, 1);
  EXPECT_EQ(flags, 0x40u);
}

// Five charsets set their locale (none of which this system has: refused, answered as 0, locale
// unchanged); the others answer their code page and leave the locale alone.
TEST(LocaleSwitch, FiveCharsetsSetTheirLocaleOthersAnswerTheirCodePage) {
  const std::string saved = ::setlocale(LC_ALL, nullptr);
  const std::pair<int, const char*> rows[] = {
      {161, "greek_greece.1253"}, {162, "turkey_turkish.1254"}, {177, ".1255"}, {178, ".1256"},
      {204, "russian_russia.1251"}, {186, nullptr}, {0, nullptr}, {128, nullptr}, {163, nullptr}, {255, nullptr},
      {65001, nullptr}, {1, nullptr}, {-1, nullptr}};
  for (auto [cs, name] : rows) {
    ::setlocale(LC_ALL, "C");
    g_setlocaleNames.clear();
    const intptr_t r = ChangeLocale(cs);
    EXPECT_EQ(g_setlocaleNames, name ? std::vector<std::string>{name} : std::vector<std::string>{}) << cs;
    EXPECT_EQ(::setlocale(LC_ALL, nullptr), std::string(r != 0 && name ? reinterpret_cast<const char*>(r) : "C"));
    EXPECT_TRUE(name || r == static_cast<intptr_t>(dwGetCodePageFromCharset(cs))) << cs;
  }
  EXPECT_EQ(ChangeLocale(186), 1257);
  ::setlocale(LC_ALL, saved.c_str());
}

}  // namespace

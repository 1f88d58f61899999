// Text comparison and mapping: which service operation, locale id and flags each function asks for
// (through a recording service), and what the orderings answer over the stand-in host's service.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/str_compare.h"
#include "platform/information_dll.h"

namespace {

struct Call {
  std::string op;
  int lcid;
  unsigned int flags;
  int la;
  int lb;
};

// Records every call and answers with a fixed comparison result; mappings copy the source.
class CRecordingLocale : public IInfoLocale {
 public:
  std::vector<Call> calls;
  int compareAnswer = 0;
  int charset = 0;

  void vNotCalled1() override { calls.push_back({"slot1", 0, 0, 0, 0}); }
  void vNotCalled2() override { calls.push_back({"slot2", 0, 0, 0, 0}); }
  int nGetCharset() override { return charset; }
  int nGetCodePage() override { return 1252; }
  int nGetLCID() override { return 1049; }
  int nCompareStringA(int lcid, unsigned int flags, const char*, int la, const char*, int lb) override {
    calls.push_back({"CompareA", lcid, flags, la, lb});
    return compareAnswer;
  }
  int nCompareStringW(int lcid, unsigned int flags, const wchar_t*, int la, const wchar_t*, int lb) override {
    calls.push_back({"CompareW", lcid, flags, la, lb});
    return compareAnswer;
  }
  int nCompareStringCurA(unsigned int flags, const char*, int la, const char*, int lb) override {
    calls.push_back({"CompareCurA", -1, flags, la, lb});
    return compareAnswer;
  }
  int nCompareStringCurW(unsigned int flags, const wchar_t*, int la, const wchar_t*, int lb) override {
    calls.push_back({"CompareCurW", -1, flags, la, lb});
    return compareAnswer;
  }
  int nMapStringSortA(int lcid, char*, int dstSize, const char*, int srcLen) override {
    calls.push_back({"SortA", lcid, 0, dstSize, srcLen});
    return 0;
  }
  void vNotCalled11() override { calls.push_back({"slot11", 0, 0, 0, 0}); }
  template <typename T>
  int Copy(T* dst, int dstSize, const T* src, int srcLen) {
    int n = srcLen;
    if (n < 0) {
      n = 0;
      while (src[n]) ++n;
      ++n;
    }
    if (dstSize == 0) return n;
    if (n > dstSize) return 0;
    memcpy(dst, src, n * sizeof(T));
    return n;
  }
  int nMapStringA(int lcid, unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) override {
    calls.push_back({"MapA", lcid, flags, dstSize, srcLen});
    return Copy(dst, dstSize, src, srcLen);
  }
  int nMapStringW(int lcid, unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) override {
    calls.push_back({"MapW", lcid, flags, dstSize, srcLen});
    return Copy(dst, dstSize, src, srcLen);
  }
  int nMapStringCurA(unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) override {
    calls.push_back({"MapCurA", -1, flags, dstSize, srcLen});
    return Copy(dst, dstSize, src, srcLen);
  }
  int nMapStringCurW(unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) override {
    calls.push_back({"MapCurW", -1, flags, dstSize, srcLen});
    return Copy(dst, dstSize, src, srcLen);
  }
  int nGetSafeLCID() override { return 1050; }
};

class RecordingTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = CInformationDLL::ms_piInfoLocale;
    CInformationDLL::ms_piInfoLocale = &rec_;
  }
  void TearDown() override { CInformationDLL::ms_piInfoLocale = saved_; }
  const Call& Only() {
    EXPECT_EQ(rec_.calls.size(), 1u);
    return rec_.calls.back();
  }
  void ExpectOnly(const char* op, int lcid, unsigned int flags) {
    const Call& c = Only();
    EXPECT_EQ(c.op, op);
    EXPECT_EQ(c.lcid, lcid);
    EXPECT_EQ(c.flags, flags);
    rec_.calls.clear();
  }
  CRecordingLocale rec_;
  IInfoLocale* saved_ = nullptr;
};

TEST_F(RecordingTest, ComparisonsAskTheDocumentedOperationLocaleAndFlags) {
  STR_nCompareW(L"a", L"b", 3);
  ExpectOnly("CompareW", 1024, 3);
  STR_nCompareW(L"a", L"b", 0x10000003);
  ExpectOnly("CompareCurW", -1, 3);
  STR_nUpCompareW(L"a", L"b", 0);
  ExpectOnly("CompareW", 1024, 1);
  STR_nAcCompare(L"a", L"b", 0);
  ExpectOnly("CompareW", 1024, 2);
  STR_nUpCompareA("a", "b", 0);
  ExpectOnly("CompareA", 1024, 0x40000001);
  STR_nUpCompareA("a", "b", 0x10000000);
  ExpectOnly("CompareCurA", -1, 0x40000001);
  STR_nCompareCharLexicoA('a', 'b', 0);
  ExpectOnly("CompareA", 1036, 0x20000000);
  STR_nCompareCharLexicoA('a', 'b', 0x10000000);
  ExpectOnly("CompareA", 1049, 0x20000000);
  STR_nCompareStringLexicoW(L"ab", 2, L"a", 1, 0);
  ExpectOnly("CompareW", 1024, 0x20000000);
  STR_nCompareCharLexicoW(L'a', L'b', 0x10000000);
  ExpectOnly("CompareW", 1049, 0x20000000);
  STR_nCompareCharSoupleA('a', 'b');
  ExpectOnly("CompareA", 1036, 3);
  STR_nCompareCharSoupleW(L'a', L'b');
  ExpectOnly("CompareW", 1024, 3);
}

TEST_F(RecordingTest, BoundedCompareCapsLengthsAndChoosesLocale) {
  STR_nNCompare<wchar_t>(L"abcd", L"ab", 3, 1);
  Call c = Only();
  EXPECT_EQ(c.lcid, 1036);
  EXPECT_EQ(c.flags, 1u);
  EXPECT_EQ(c.la, 3);
  EXPECT_EQ(c.lb, 2);
  rec_.calls.clear();
  STR_nNCompare<wchar_t>(nullptr, L"", 3, 0x10000000);
  c = Only();
  EXPECT_EQ(c.lcid, 1049);
  EXPECT_EQ(c.flags, 0u);
  EXPECT_EQ(c.la, 0);
  EXPECT_EQ(c.lb, 0);
  rec_.calls.clear();
  // Narrow: an empty b with a negative n passes n itself.
  STR_nNCompare<char>("abc", "", -1, 0);
  c = Only();
  EXPECT_EQ(c.op, "CompareA");
  EXPECT_EQ(c.lb, -1);
}

TEST_F(RecordingTest, ThreeValuedResultFollowsTheSignOfTheAnswer) {
  const int answers[] = {-7, -1, 0, 1, 2, 42};
  const int expected[] = {-1, -1, 0, 1, 1, 1};
  for (size_t i = 0; i < 6; ++i) {
    rec_.compareAnswer = answers[i];
    EXPECT_EQ(__STR_CompareStringEx<wchar_t>(0, L"a", 1, L"b", 1), expected[i] + 2) << answers[i];
    EXPECT_EQ(STR_nNCompare<wchar_t>(L"a", L"b", 5, 0), expected[i]) << answers[i];
    EXPECT_EQ(STR_nNCompare<char>("a", "b", 5, 0), expected[i]) << answers[i];
  }
  rec_.compareAnswer = 2;
  EXPECT_FALSE(STR_bDebut(L"abc", L"ab"));
}

TEST_F(RecordingTest, MappingsAskTheDocumentedOperation) {
  char n[] = "ab";
  STR_ToUpperBuff(n, 1);
  ExpectOnly("MapA", 1024, 1);
  STR_ToLowerBuff(n, 1);
  ExpectOnly("MapA", 1024, 0x100);
  wchar_t w[] = L"ab";
  STR_ToUpperBuff(w, 1);
  ExpectOnly("MapCurW", -1, 1);
  STR_ToLower(w);
  EXPECT_EQ(rec_.calls.size(), 2u);  // one call per character
  rec_.calls.clear();
  EXPECT_EQ(STR_nGetMapStringLenEx(3, L"abc", -1), 5);  // the service counts the terminator
  ExpectOnly("MapW", 1036, 3);
  STR_nMapStringEx(0x10000001, w, 3, L"ab", 2);
  ExpectOnly("MapW", 1049, 1);
  STR_nMapCharIgnoreCaseAccent(w, L'x');
  ExpectOnly("MapW", 1036, 3);
  STR_MapStringSortEx(n, 3, "ab", 2, TRUE);
  ExpectOnly("SortA", 1049, 0);
  STR_MapStringSortEx(n, 3, "ab", 2, FALSE);
  ExpectOnly("SortA", 1036, 0);
  STR_bWhiteCharOrPunctA('x');
  ExpectOnly("MapA", 1036, 4);
  STR_bWhiteCharOrPunctW(L'x');
  ExpectOnly("MapW", 1024, 4);
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
  CInformationDLL::ms_piInfoLocale = &rec_;
}

TEST_F(RecordingTest, PreparedComparisonTranslatesOptionsAndUsesCurrentLocale) {
  // Ignoring case through the options maps both texts with the current locale, then compares bytes.
  EXPECT_EQ(STR_ChaineCompareW(L"abc", 3, L"abd", 3, 0x10), -1);
  ASSERT_EQ(rec_.calls.size(), 2u);
  EXPECT_EQ(rec_.calls[0].op, "MapCurW");
  EXPECT_EQ(rec_.calls[0].flags, 1u);
  rec_.calls.clear();
  STR_ChaineCompareW(L"abc", 3, L"abd", 3, 0x8 | 0x80000000);
  ASSERT_EQ(rec_.calls.size(), 1u);
  EXPECT_EQ(rec_.calls[0].op, "CompareW");
  EXPECT_EQ(rec_.calls[0].lcid, 1049);
  EXPECT_EQ(rec_.calls[0].flags, 0xA0000000u);
}

TEST(OptionTranslation, EveryOptionBit) {
  EXPECT_EQ(OptionZV2FlagSTR(0), 0u);
  EXPECT_EQ(OptionZV2FlagSTR(0x2), 4u);
  EXPECT_EQ(OptionZV2FlagSTR(0x4), 2u);
  EXPECT_EQ(OptionZV2FlagSTR(0x10), 1u);
  EXPECT_EQ(OptionZV2FlagSTR(0x20), 1u);
  EXPECT_EQ(OptionZV2FlagSTR(0x40), 0x100u);
  EXPECT_EQ(OptionZV2FlagSTR(0x10 | 0x40), 0x100u);
  EXPECT_EQ(OptionZV2FlagSTR(0x100), 0x800u);
  EXPECT_EQ(OptionZV2FlagSTR(0x1 | 0x8 | 0x80 | 0x80000000), 0u);
  EXPECT_EQ(OptionZV2FlagSTR(0x2 | 0x4 | 0x20), 7u);
}

// Over the stand-in host's ICU-backed service.

int Sign(int n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }
int Num(const wchar_t* a, const wchar_t* b, unsigned int flags = 0) {
  return Sign(STR_nCompareRespecteNumeriqueW(a, static_cast<int>(wcslen(a)), b, static_cast<int>(wcslen(b)), flags));
}
int NumA(const char* a, const char* b, unsigned int flags = 0) {
  return Sign(STR_nCompareRespecteNumeriqueA(a, static_cast<int>(strlen(a)), b, static_cast<int>(strlen(b)), flags));
}

TEST(NumericOrdering, DigitRunsCompareByValueWithLeadingZeroTieBreak) {
  for (unsigned int flags : {0u, 0x20000000u}) {
    EXPECT_EQ(Num(L"a10", L"a9", flags), 1);
    EXPECT_EQ(Num(L"a9", L"a10", flags), -1);
    EXPECT_EQ(Num(L"a01", L"a1", flags), -1);
    EXPECT_EQ(Num(L"a1", L"a01", flags), 1);
    EXPECT_EQ(Num(L"0010", L"9", flags), 1);
    EXPECT_EQ(Num(L"abc", L"abc1", flags), -1);
    EXPECT_EQ(Num(L"", L"x", flags), -1);
    EXPECT_EQ(Num(L"x", L"", flags), 1);
    EXPECT_EQ(Num(L"", L"", flags), 0);
    EXPECT_EQ(Num(L"x007y", L"x7y", flags), -1);
    // The first pair that differs only in leading zeros decides, later ones do not override.
    EXPECT_EQ(Num(L"a01b1", L"a1b01", flags), -1);
    // A real difference later wins over an earlier leading-zero tie.
    EXPECT_EQ(Num(L"a01b2", L"a1b1", flags), 1);
    EXPECT_EQ(Num(L"12345678901234567890", L"12345678901234567891", flags), -1);
    EXPECT_EQ(NumA("a10", "a9", flags), 1);
    EXPECT_EQ(NumA("a01", "a1", flags), -1);
    EXPECT_EQ(NumA("0010", "9", flags), 1);
    EXPECT_EQ(NumA("abc", "abc1", flags), -1);
    EXPECT_EQ(NumA("", "", flags), 0);
  }
  int tie = 0;
  EXPECT_EQ(__nCompareNumeriqueChaineW(L"007", 3, L"7", 1, &tie), 0);
  EXPECT_EQ(tie, -1);
  EXPECT_EQ(__nCompareNumeriqueChaineA("7", 1, "07", 2, &tie), 0);
  EXPECT_EQ(tie, -1);  // an earlier verdict stays
  tie = 0;
  EXPECT_EQ(__nCompareNumeriqueChaineA("17", 2, "9", 1, &tie), 1);
}

TEST(NumericOrdering, VersionComparison) {
  EXPECT_GT(nCompareVersionModule(L"1.10", L"1.9"), 0);
  EXPECT_LT(nCompareVersionModule(L"1.9", L"1.10"), 0);
  EXPECT_EQ(nCompareVersionModule(L"2.0", L"2.0"), 0);
  EXPECT_LT(nCompareVersionModule(L"20.0.9.0", L"20.0.10.0"), 0);
  EXPECT_GT(nCompareVersionModuleA("1.10", "1.9"), 0);
  EXPECT_EQ(nCompareVersionModuleA("2.0", "2.0"), 0);
}

TEST(PreparedComparison, TrimAndFoldOptions) {
  EXPECT_EQ(STR_ChaineCompareW(L"  abc\t", -1, L"abc", -1, 0x1), 0);
  EXPECT_EQ(STR_ChaineCompareW(L" \t\r\n ", -1, L"", 0, 0x1), 0);
  EXPECT_NE(STR_ChaineCompareW(L"  abc", -1, L"abc", -1, 0), 0);
  EXPECT_EQ(STR_ChaineCompareA("  abc\t", -1, "abc", -1, 0x1), 0);
  // Case and accents folded through the host service.
  EXPECT_EQ(STR_ChaineCompareW(L"\u00C9T\u00C9", -1, L"\u00E9t\u00E9", -1, 0x10), 0);
  EXPECT_EQ(STR_ChaineCompareW(L"\u00C9t\u00E9", -1, L"ete", -1, 0x10 | 0x4), 0);
  EXPECT_EQ(STR_ChaineCompareW(L"\u0394\u0395\u039B\u03A4\u0391", -1, L"\u03B4\u03B5\u03BB\u03C4\u03B1", -1, 0x20), 0);
  EXPECT_EQ(STR_ChaineCompareW(L"a-b c", -1, L"abc", -1, 0x2), 0);
  EXPECT_EQ(STR_ChaineCompareA("\xC9T\xC9", -1, "ete", -1, 0x10 | 0x4), 0);  // code page 1252
  // Byte-wise without options: longer is greater, and a trailing difference decides.
  EXPECT_EQ(STR_ChaineCompareW(L"ab", -1, L"abc", -1, 0), -1);
  EXPECT_EQ(STR_ChaineCompareW(L"abd", -1, L"abc", -1, 0), 1);
  // Lexical: collation order, not code order.
  EXPECT_LT(STR_ChaineCompareW(L"\u00E9a", -1, L"f", -1, 0x8), 0);
  EXPECT_GT(STR_ChaineCompareW(L"\u00E9a", -1, L"f", -1, 0), 0);
  EXPECT_LT(STR_ChaineCompareA("\xE9" "a", -1, "f", -1, 0x8), 0);
  // Numeric with and without lexical.
  EXPECT_GT(STR_ChaineCompareW(L"file10", -1, L"file9", -1, 0x80), 0);
  EXPECT_GT(STR_ChaineCompareW(L"File10", -1, L"file9", -1, 0x80 | 0x8 | 0x10), 0);
}

TEST(PreparedComparison, LongTextsUseTheHeap) {
  std::wstring a(20000, L'x'), b(20000, L'x');
  b.back() = L'y';
  EXPECT_LT(STR_ChaineCompareW(a.c_str(), -1, b.c_str(), -1, 0), 0);
  EXPECT_LT(STR_ChaineCompareW(a.c_str(), -1, b.c_str(), -1, 0x10 | 0x1), 0);
  std::string na(40000, 'x'), nb(40000, 'X');
  EXPECT_EQ(STR_ChaineCompareA(na.c_str(), -1, nb.c_str(), -1, 0x10), 0);
}

TEST(PrepareChaine, BoundsAndTermination) {
  wchar_t dst[4];
  EXPECT_EQ(STR_PrepareChaineW(0, L"abcdef", 6, dst, 4), 3);
  EXPECT_STREQ(dst, L"abc");
  char n[8];
  EXPECT_EQ(STR_PrepareChaineA(0x1, "  ab  ", 6, n, 8), 2);
  EXPECT_STREQ(n, "ab");
  EXPECT_EQ(STR_PrepareChaineA(0x1, "    ", 4, n, 8), 0);
  EXPECT_STREQ(n, "");
}

TEST(Comparisons, FlexibleRuleOverTheWholeOfUnicode) {
  EXPECT_EQ(STR_nCompareW(L"\u00C9t\u00E9", L"ETE", 3), 0);
  EXPECT_EQ(STR_nCompareW(L"\u00C5ngstr\u00F6m", L"angstrom", 3), 0);
  EXPECT_EQ(STR_nCompareW(L"\u041C\u043E\u0441\u043A\u0432\u0430", L"\u043C\u043E\u0441\u043A\u0432\u0430", 1), 0);
  EXPECT_NE(STR_nCompareW(L"\u00E9", L"e", 1), 0);   // case only: accents still count
  EXPECT_EQ(STR_nCompareW(L"\u00E9", L"e", 2), 0);   // accents only
  EXPECT_NE(STR_nCompareW(L"\u00E9", L"E", 2), 0);   // ...but case counts
  EXPECT_NE(STR_nCompareW(L"abc", L"ABC", 0), 0);
  EXPECT_EQ(STR_nCompareW(L"\U0001D400x", L"\U0001D400X", 1), 0);  // beyond the BMP
  EXPECT_LT(STR_nCompareW(L"abc", L"abd", 3), 0);
  EXPECT_GT(STR_nCompareW(L"b", L"A", 3), 0);
  EXPECT_EQ(STR_nUpCompareA("\xE9t\xE9", "\xC9T\xC9", 0), 0);
  EXPECT_EQ(STR_nCompareCharSoupleW(L'\u00E7', L'C'), 0);
  EXPECT_EQ(STR_nCompareCharSoupleA('\xE7', 'C'), 0);
}

TEST(Comparisons, BoundedAndNullAware) {
  EXPECT_EQ(STR_nNCompare<wchar_t>(L"abcd", L"abcX", 3, 0), 0);
  EXPECT_NE(STR_nNCompare<wchar_t>(L"abcd", L"abcX", 4, 0), 0);
  EXPECT_EQ(STR_nNCompare<char>("abcd", "ABCx", 3, 3), 0);
  EXPECT_EQ(STR_nNCompare<wchar_t>(nullptr, L"", 3, 0), 0);
  EXPECT_EQ(STR_nNCompare<wchar_t>(L"b", L"a", 3, 0), 1);
  EXPECT_EQ(STR_nNCompare<wchar_t>(L"a", L"b", 3, 0x10000000), -1);
  EXPECT_EQ(STR_nNullCompare(nullptr, L"x", 0), -1);
  EXPECT_EQ(STR_nNullCompare(L"x", nullptr, 0), 1);
  EXPECT_EQ(STR_nNullCompare(nullptr, nullptr, 0), 0);
  EXPECT_EQ(STR_nNullCompare(L"X", L"x", 1), 0);
  EXPECT_EQ(STR_nNullNCompare(nullptr, L"x", 1, 0), -1);
  EXPECT_EQ(STR_nNullNCompare(L"xa", L"Xb", 1, 1), 0);
  EXPECT_EQ(STR_nEmptyNullCompare(nullptr, L"", 0), 0);
  EXPECT_EQ(STR_nEmptyNullCompare(L"", nullptr, 0), 0);
  EXPECT_GT(STR_nEmptyNullCompare(L"a", nullptr, 0), 0);
  EXPECT_LT(STR_nEmptyNullCompare(nullptr, L"a", 0), 0);
  EXPECT_TRUE(STR_bDebut(L"\u00C9t\u00E9 chaud", L"ete"));
  EXPECT_FALSE(STR_bDebut(L"et", L"ete"));
  EXPECT_TRUE(STR_bDebut(L"abc", L""));
}

TEST(Mappings, CaseAndStandardForms) {
  wchar_t w[] = L"\u00E9t\u00E9 \u0161\u0111 \u03C9 \U00010428";
  STR_ToUpper(w);
  EXPECT_STREQ(w, L"\u00C9T\u00C9 \u0160\u0110 \u03A9 \U00010400");
  STR_ToLower(w);
  EXPECT_STREQ(w, L"\u00E9t\u00E9 \u0161\u0111 \u03C9 \U00010428");
  char n[] = "\xE9t\xE9 \xFF";
  STR_ToUpper(n);
  EXPECT_STREQ(n, "\xC9T\xC9 \x9F");  // 1252: y with diaeresis upper is 0x9F
  STR_ToLowerBuff(n, 2);
  EXPECT_STREQ(n, "\xE9t\xC9 \x9F");
  // A character without case and one that maps to nothing stay as they are.
  wchar_t k[] = L"1-\u4E2D";
  STR_ToUpper(k);
  EXPECT_STREQ(k, L"1-\u4E2D");

  wchar_t* std = STR_pszCreateStandard(L"\u00C9l\u00E8ve na\u00EFve \u00C5");
  ASSERT_NE(std, nullptr);
  EXPECT_STREQ(std, L"ELEVE NAIVE A");
  free(std);
  EXPECT_EQ(STR_pszCreateStandard(static_cast<const wchar_t*>(nullptr)), nullptr);
  char* nstd = STR_pszCreateStandard("\xE9l\xE8ve");
  ASSERT_NE(nstd, nullptr);
  EXPECT_STREQ(nstd, "ELEVE");
  free(nstd);

  wchar_t* out = nullptr;
  STR_nCreateMapString(0x100, &out, L"ABC\u00C9");
  ASSERT_NE(out, nullptr);
  EXPECT_STREQ(out, L"abc\u00E9");
  free(out);
  char* nout = nullptr;
  STR_nCreateMapString(4, &nout, "a, b; c!");
  ASSERT_NE(nout, nullptr);
  EXPECT_STREQ(nout, "abc");
  free(nout);
}

TEST(Mappings, SingleCharactersAndPunctuation) {
  wchar_t c = 0;
  EXPECT_EQ(STR_nMapCharIgnoreCaseAccent(&c, L'\u00E0'), 1);
  EXPECT_EQ(c, L'A');
  EXPECT_EQ(STR_nMapCharEx(0x100, &c, L'\u0130'), 1);
  EXPECT_EQ(c, L'i');
  char nc = 0;
  EXPECT_EQ(STR_nMapCharEx(3, &nc, '\xE7'), 1);
  EXPECT_EQ(nc, 'C');
  EXPECT_EQ(STR_nMapCharExANSI(1, &nc, 'q'), 1);
  EXPECT_EQ(nc, 'Q');
  EXPECT_TRUE(STR_bWhiteCharOrPunctW(L' '));
  EXPECT_TRUE(STR_bWhiteCharOrPunctW(L','));
  EXPECT_TRUE(STR_bWhiteCharOrPunctW(L'\u00AB'));
  EXPECT_FALSE(STR_bWhiteCharOrPunctW(L'x'));
  EXPECT_FALSE(STR_bWhiteCharOrPunctW(L'7'));
  EXPECT_TRUE(STR_bWhiteCharOrPunctA('.'));
  EXPECT_FALSE(STR_bWhiteCharOrPunctA('\xE9'));
}

TEST(Mappings, SortKeysOrderLikeTheCollation) {
  char ka[64], kb[64];
  const int na = STR_MapStringSortEx(ka, sizeof ka, "cote", -1, FALSE);
  const int nb = STR_MapStringSortEx(kb, sizeof kb, "c\xF4t\xE9", -1, FALSE);
  ASSERT_GT(na, 0);
  ASSERT_GT(nb, 0);
  EXPECT_LT(memcmp(ka, kb, static_cast<size_t>(na < nb ? na : nb)), 0);
  EXPECT_EQ(STR_MapStringSortEx(ka, 2, "cote", -1, FALSE), 0);  // too small: nothing written
}

}  // namespace

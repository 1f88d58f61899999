// Conversions of the host dynamic strings and binary buffers: round trips through code page 1252,
// UTF-8, UTF-16 and UTF-32, the end-marker rule, the current code page, results of conversions
// that produce nothing, and allocation failures under both allocator versions.
#include "common/xystring_conversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/utf.h"
#include "common/zvbin.h"
#include "platform/codepage.h"
#include "tests/common/host_string_test.h"

namespace {

constexpr wchar_t kMarker = static_cast<wchar_t>(0xFFFFFFFFu);

std::wstring WideOf(const CZVBIN& b) {
  return std::wstring(reinterpret_cast<const wchar_t*>(b.pGetData()), static_cast<size_t>(b.nGetSize() / 4));
}
// A wide value ending with the marker, flagged as the host would hand it over.
WStr MarkedWide(const std::wstring& text) {
  WStr w = W(text + kMarker);
  SetFlags(w.pGetData(), 1);
  return w;
}

const std::wstring kLatin = L"A\u00E9\u20AC\u00FF\u0152z";  // A é € ÿ Œ z
const std::string kLatin1252 = "A\xE9\x80\xFF\x8Cz";
const std::wstring kAstral = L"a\u00E9\U0001F600\u4E2D";  // a é 😀 中
const std::string kAstralUTF8 = "a\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD";

TEST(XYStringConversion, RoundTripThroughCodePage1252) {
  AStr narrow;
  EXPECT_EQ(narrow.__nConversion(kLatin.c_str(), -1, 0, 1252, 0, nullptr), 0);
  EXPECT_EQ(Text(narrow), kLatin1252);
  EXPECT_EQ(memcmp(narrow.pGetData() + narrow.nGetLength(), "\0\0\0\0", 4), 0);
  WStr back;
  EXPECT_EQ(back.__nConversion(narrow.pGetData(), narrow.nGetLength(), 0, 1252, 0, nullptr), 0);
  EXPECT_EQ(Text(back), kLatin);
  EXPECT_EQ(back.pGetData()[back.nGetLength()], 0);
  WStr viaConverter;  // any flag: the platform converter instead of the table
  EXPECT_EQ(viaConverter.__nConversion(kLatin1252.c_str(), -1, 0, 1252, 1, nullptr), 0);
  EXPECT_EQ(Text(viaConverter), kLatin);
  EXPECT_EQ(Text(PCASTR_To_CWString(Text(PCWSTR_To_CAString(kLatin.c_str(), 1252, -1)).c_str(), 1252, -1)), kLatin);

  // The table keeps an undefined byte; the converter drops it.
  WStr table;
  EXPECT_EQ(table.__nConversion("\x80\x81", 2, 0, 1252, 0, nullptr), 0);
  EXPECT_EQ(Text(table), L"\u20AC\u0081");
  WStr dropped;
  EXPECT_EQ(dropped.__nConversion("\x81", 1, 0, 1252, 1, nullptr), 0) << "nothing converted is still 0";
  EXPECT_EQ(dropped.pGetData(), nullptr);

  // Room asked beyond the text.
  WStr roomy;
  EXPECT_EQ(roomy.__nConversion("ab", 2, 10, 1252, 0, nullptr), 0);
  EXPECT_GE(roomy.nGetCapacity(), 13);
  EXPECT_EQ(Text(roomy), L"ab");
}

TEST(XYStringConversion, RoundTripThroughUTF8) {
  AStr utf8;
  EXPECT_EQ(utf8.nAffecteToUTF8(kAstral.c_str(), static_cast<int>(kAstral.size()), 0), 0);
  EXPECT_EQ(Text(utf8), kAstralUTF8);
  WStr back;
  EXPECT_EQ(back.nAffecteUTF8(utf8.pGetData(), utf8.nGetLength()), 0);
  EXPECT_EQ(Text(back), kAstral);
  EXPECT_EQ(Text(PCWSTR_To_UTF8(kAstral.c_str())), kAstralUTF8);
  EXPECT_EQ(Text(PCWSTR_N_To_UTF8(kAstral.c_str(), 2)), "a\xC3\xA9");
  EXPECT_EQ(Text(UTF8_To_CWString(kAstralUTF8.c_str())), kAstral);
  EXPECT_EQ(Text(UTF8_To_CWString(kAstralUTF8.c_str(), 3)), L"a\u00E9");
  EXPECT_EQ(Text(CWString_To_UTF8(W(kAstral))), kAstralUTF8);

  // UTF-8 <-> code page 1252, both ways and through the free forms.
  AStr latin;
  int used = -1;
  EXPECT_EQ(latin.nAffecteUTF8("t\xC3\xA9t\xC3\xA9", 6, 1252, 0, nullptr, &used), 0);
  EXPECT_EQ(Text(latin), "t\xE9t\xE9");
  EXPECT_EQ(used, 0);
  AStr again;
  EXPECT_EQ(again.nAffecteToUTF8(latin.pGetData(), latin.nGetLength(), 1252), 0);
  EXPECT_EQ(Text(again), "t\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(Text(UTF8_To_CAString("\xC3\xA9\xE2\x82\xAC", 1252)), "\xE9\x80");
  EXPECT_EQ(Text(UTF8_To_CAString("\xC3\xA9xyz", 3, 1252)), "\xE9x");
  EXPECT_EQ(Text(UTF8_To_CAString("\xC3\xA9", 65001)), "\xC3\xA9");
  EXPECT_EQ(Text(UTF8_To_CAString("abc", 2, 65001)), "ab");
  EXPECT_EQ(Text(PCASTR_To_UTF8("\xE9\x80", 1252)), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(Text(PCASTR_N_To_UTF8("\xE9\x80", 1, 1252)), "\xC3\xA9");
  EXPECT_EQ(Text(PCASTR_To_UTF8("\xC3\xA9", 65001)), "\xC3\xA9");
  EXPECT_EQ(Text(CAString_To_UTF8(A("\xE9t\xE9"), 1252)), "\xC3\xA9t\xC3\xA9");
  const AStr already = A("d\xC3\xA9j\xC3\xA0");
  const AStr shared = CAString_To_UTF8(already, 65001);
  EXPECT_EQ(shared.pGetData(), already.pGetData()) << "UTF-8 to UTF-8 shares the block";

  // Code page 65001 forms are plain copies.
  AStr copy;
  EXPECT_EQ(copy.nAffecteUTF8("\xFF\xFE", 2, 65001, 0, nullptr, nullptr), 0);
  EXPECT_EQ(Text(copy), "\xFF\xFE");
  EXPECT_EQ(copy.nAffecteToUTF8("\xE9", 1, 65001), 0);
  EXPECT_EQ(Text(copy), "\xE9");
}

TEST(XYStringConversion, RoundTripThroughUTF16AndUTF32) {
  unsigned short units[16] = {};
  const int count = WideCharToUTF16(kAstral.c_str(), static_cast<int>(kAstral.size()), units, 16);
  ASSERT_EQ(count, 5);  // the emoji takes a surrogate pair
  WStr wide;
  EXPECT_EQ(wide.nAffecteUTF16(units, count), 0);
  EXPECT_EQ(Text(wide), kAstral) << "a surrogate pair gives one character";
  AStr utf8;
  EXPECT_EQ(utf8.nAffecteUTF16(units, count, 65001, 0, nullptr), 0);
  EXPECT_EQ(Text(utf8), kAstralUTF8);
  AStr latin;
  EXPECT_EQ(latin.nAffecteUTF16(units, count, 1252, 0, nullptr), 0);
  EXPECT_EQ(Text(latin), "a\xE9??");

  WStr copy;
  EXPECT_EQ(copy.nAffecteUTF32(kAstral.c_str(), static_cast<int>(kAstral.size())), 0);
  EXPECT_EQ(Text(copy), kAstral);
  AStr narrow;
  EXPECT_EQ(narrow.nAffecteUTF32(kAstral.c_str(), static_cast<int>(kAstral.size()), 65001, 0, nullptr), 0);
  EXPECT_EQ(Text(narrow), kAstralUTF8);

  CZVBIN bin;
  EXPECT_EQ(bin.nAffecteToUNICODE(kLatin1252.c_str(), -1, 1252, 0), 0);
  EXPECT_EQ(WideOf(bin), kLatin);
  EXPECT_EQ(bin.nGetSize(), 4 * static_cast<int>(kLatin.size()));
  CZVBIN ansi;
  EXPECT_EQ(ansi.nAffecteToANSI(kLatin.c_str(), static_cast<int>(kLatin.size()), 1252, 0, nullptr, nullptr), 0);
  EXPECT_EQ(Text(ansi), kLatin1252);
  EXPECT_EQ(ansi.nAffecteToANSI(&bin, 1252, 0, nullptr, nullptr), 0);
  EXPECT_EQ(Text(ansi), kLatin1252);
}

TEST(XYStringConversion, CurrentCodePageForMinusOne) {
  CHostServices::Instance().SetCurrentLocale(1049, 1251, 204);
  const AStr cyrillic = PCWSTR_To_CAString(L"\u0416a", -1, 2);
  const WStr back = PCASTR_To_CWString("\xC6", -1, 1);
  CHostServices::Instance().SetCurrentLocale(1036, 1252, 0);
  EXPECT_EQ(Text(cyrillic), "\xC6" "a");
  EXPECT_EQ(Text(back), L"\u0416");
  EXPECT_EQ(Text(PCWSTR_To_CAString(L"\u00E9", -1, 1)), "\xE9");
}

TEST(XYStringConversion, EndMarkerRule) {
  const WStr marked = MarkedWide(L"AB");
  AStr narrow;
  EXPECT_EQ(narrow.nAffecteConversionExplicite(marked, 1252, 0, nullptr), 0);
  EXPECT_EQ(Text(narrow), "AB\xFF");
  EXPECT_EQ(narrow.dwGetFlags(), 1u);
  EXPECT_EQ(narrow.pGetData()[3], 0);
  // UTF-8 takes the marker as a character (it has no form there).
  AStr utf8;
  EXPECT_EQ(utf8.nAffecteConversionExplicite(marked, 65001, 0, nullptr), 0);
  EXPECT_EQ(Text(utf8), "AB?");
  EXPECT_EQ(utf8.dwGetFlags(), 0u);
  EXPECT_EQ(Text(CWString_To_UTF8(marked)), "AB?");
  // Only the marker.
  EXPECT_EQ(narrow.nAffecteConversionExplicite(MarkedWide(L""), 1252, 0, nullptr), 0);
  EXPECT_EQ(Text(narrow), "\xFF");
  EXPECT_EQ(narrow.dwGetFlags(), 1u);
  // Without the flag the last character is converted like the others.
  EXPECT_EQ(narrow.nAffecteConversionExplicite(W(std::wstring(L"AB") + kMarker), 1252, 0, nullptr), 0);
  EXPECT_EQ(Text(narrow), "AB?");
  EXPECT_EQ(narrow.dwGetFlags(), 0u);

  // Binary buffers holding wide text, the source being the target itself too.
  CZVBIN bin;
  bin.nAssign(marked.pGetData(), 12);
  SetFlags(bin.pGetData(), 1);
  EXPECT_EQ(bin.nAffecteToANSI(&bin, 1252, 0, nullptr, nullptr), 0);
  EXPECT_EQ(Text(bin), "AB\xFF");
  EXPECT_EQ(bin.dwGetFlags(), 1u);

  // Heap copies.
  char* out = nullptr;
  EXPECT_TRUE(marked.bCreateY(out, 1252));
  EXPECT_STREQ(out, "AB\xFF");
  free(out);
  EXPECT_TRUE(MarkedWide(L"").bCreateY(out, 1252));
  EXPECT_STREQ(out, "\xFF");
  free(out);
  EXPECT_TRUE(W(L"\u00E9").bCreateY(out, 1252));
  EXPECT_STREQ(out, "\xE9");
  free(out);
  EXPECT_TRUE(WStr().bCreateY(out, 1252));
  EXPECT_EQ(out, nullptr);

  AStr markedNarrow = A("AB\xFF");
  SetFlags(markedNarrow.pGetData(), 1);
  wchar_t* wout = nullptr;
  EXPECT_TRUE(markedNarrow.bCreateY(wout, 1252));
  EXPECT_EQ(std::wstring(wout), std::wstring(L"AB") + kMarker);
  free(wout);
  // The marker byte never reaches the converter: in code page 932 it is no character at all.
  EXPECT_TRUE(markedNarrow.bCreateY(wout, 932));
  EXPECT_EQ(std::wstring(wout), std::wstring(L"AB") + kMarker);
  free(wout);
  EXPECT_TRUE(A("\xE9").bCreateY(wout, 1252));
  EXPECT_STREQ(wout, L"\u00E9");
  free(wout);
  EXPECT_TRUE(AStr().bCreateY(wout, 1252));
  EXPECT_EQ(wout, nullptr);

  // Narrow to UTF-8 through a wide temporary: the marker goes through as a marker character.
  EXPECT_EQ(Text(CAString_To_UTF8(markedNarrow, 1252)), "AB?");
  EXPECT_EQ(Text(CAString_To_UTF8(A("AB\xFF"), 1252)), "AB\xC3\xBF");
  // A reused block holding new text is no longer marked: its last 0xFF is a character again.
  EXPECT_EQ(markedNarrow.nAffecte("xy\xFF", 3), 0);
  EXPECT_EQ(Text(CAString_To_UTF8(markedNarrow, 1252)), "xy\xC3\xBF");
}

TEST(XYStringConversion, ConversionsThatProduceNothing) {
  AStr a = A("old");
  EXPECT_EQ(a.nAffecteUTF8("\xFF\xFE", 2, 1252, 0, nullptr, nullptr), XYSTR_ERR_CONVERSION);
  EXPECT_EQ(a.pGetData(), nullptr);
  a = A("old");
  EXPECT_EQ(a.nAffecteToUTF8("\x82", 1, 932), XYSTR_ERR_CONVERSION);  // a lone lead byte
  EXPECT_EQ(a.pGetData(), nullptr);
  CZVBIN x = CZVBIN("old", 3);
  EXPECT_EQ(x.nAffecteToUNICODE("\xFF", 1, 65001, 0), XYSTR_ERR_CONVERSION);
  EXPECT_EQ(x.pGetData(), nullptr);
  a = A("old");
  EXPECT_EQ(a.__nConversion(L"x", 0, 0, 1252, 0, nullptr), 0);
  EXPECT_EQ(a.pGetData(), nullptr);
  WStr w = W(L"old");
  EXPECT_EQ(w.__nConversion("\xFF", 1, 0, 65001, 0, nullptr), 0);
  EXPECT_EQ(w.pGetData(), nullptr);
  EXPECT_EQ(w.nAffecteUTF16(nullptr, 3), 0);
  EXPECT_EQ(w.nAffecteUTF32(L"x", 0), 0);
  // The wide string has no UTF-8 forms: they do nothing.
  w = W(L"kept");
  EXPECT_EQ(w.nAffecteToUTF8(L"x", 1, 0), 0);
  EXPECT_EQ(w.nAffecteToUTF8("x", 1, 1252), 0);
  EXPECT_EQ(Text(w), L"kept");
  EXPECT_EQ(PCWSTR_To_UTF8(nullptr).pGetData(), nullptr);
  EXPECT_EQ(UTF8_To_CWString("").pGetData(), nullptr);
}

TEST(XYStringConversion, ResultsLongerThanFirstSized) {
  // A default text longer than one byte is counted in the size.
  AStr a;
  EXPECT_EQ(a.__nConversion(L"a\u4E2Db", -1, 0, 1252, 0, "[?]"), 0);
  EXPECT_EQ(Text(a), "a[?]b");
  EXPECT_EQ(a.nAffecteUTF32(L"\u4E2D\u4E2D", 2, 1252, 0, "<none>"), 0);
  EXPECT_EQ(Text(a), "<none><none>");
  const unsigned short units[] = {0x4E2D, 'x'};
  EXPECT_EQ(a.nAffecteUTF16(units, 2, 1252, 0, "[?]"), 0);
  EXPECT_EQ(Text(a), "[?]x");
  CZVBIN x;
  int used = 0;
  EXPECT_EQ(x.nAffecteToANSI(L"\u4E2D", 1, 1252, 0, "[?]", &used), 0);
  EXPECT_EQ(Text(x), "[?]");
  EXPECT_EQ(used, 1);

  // UTF-8 whose code-page form is longer than itself: a long default text, a stateful page.
  int usedDefault = 0;
  EXPECT_EQ(a.nAffecteUTF8("\xC4\x80" "abc", 5, 1252, 0, "[?]", &usedDefault), 0);
  EXPECT_EQ(Text(a), "[?]abc");
  EXPECT_EQ(usedDefault, 1);
  EXPECT_EQ(a.nAffecteUTF8("\xE6\x97\xA5", 3, 50220, 0, nullptr, nullptr), 0);
  EXPECT_GT(a.nGetLength(), 3);
  WStr back;
  EXPECT_EQ(back.__nConversion(a.pGetData(), a.nGetLength(), 0, 50220, 0, nullptr), 0);
  EXPECT_EQ(Text(back), L"\u65E5");
}

TEST(XYStringConversion, SourceMayBeTheTargetsOwnText) {
  AStr a = A("t\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(a.nAffecteUTF8(a.pGetData(), a.nGetLength(), 1252, 0, nullptr, nullptr), 0);
  EXPECT_EQ(Text(a), "t\xE9t\xE9");
  EXPECT_EQ(a.nAffecteToUTF8(a.pGetData(), a.nGetLength(), 1252), 0);
  EXPECT_EQ(Text(a), "t\xC3\xA9t\xC3\xA9");
  WStr w = W(L"self");
  EXPECT_EQ(w.nAffecteUTF32(w.pGetData(), w.nGetLength()), 0);
  EXPECT_EQ(Text(w), L"self");
  CZVBIN x = CZVBIN("abc", 3);
  EXPECT_EQ(x.nAffecteToUNICODE(reinterpret_cast<const char*>(x.pGetData()), 3, 1252, 0), 0);
  EXPECT_EQ(WideOf(x), L"abc");
  EXPECT_EQ(x.nAffecteToANSI(&x, 1252, 0, nullptr, nullptr), 0);
  EXPECT_EQ(Text(x), "abc");
}

// ---- Allocation failures, under both allocator versions ----

struct Targets {
  AStr a;
  WStr w;
  CZVBIN x, y;
  AStr narrowResult;
  WStr wideResult;
};

std::vector<FailureCase<Targets>> ConversionCases() {
  const auto old = [](Targets& s) {
    s.a = A("old");
    s.w = W(L"old");
    s.x = CZVBIN("old", 3);
  };
  const auto narrowEmpty = [](Targets& s) { EXPECT_EQ(s.a.pGetData(), nullptr); };
  const auto wideEmpty = [](Targets& s) { EXPECT_EQ(s.w.pGetData(), nullptr); };
  const auto binEmpty = [](Targets& s) { EXPECT_EQ(s.x.pGetData(), nullptr); };
  const auto narrowResultEmpty = [](Targets& s) { EXPECT_EQ(s.narrowResult.pGetData(), nullptr); };
  const auto wideResultEmpty = [](Targets& s) { EXPECT_EQ(s.wideResult.pGetData(), nullptr); };
  static const unsigned short units[] = {'a', 0xD83D, 0xDE00};
  return {
      {"narrow __nConversion", old, [](Targets& s) { return s.a.__nConversion(L"a\u00E9", -1, 0, 1252, 0, nullptr); },
       narrowEmpty},
      {"wide __nConversion by table", old,
       [](Targets& s) { return s.w.__nConversion("a\xE9", -1, 0, 1252, 0, nullptr); }, wideEmpty},
      {"wide __nConversion", old, [](Targets& s) { return s.w.__nConversion("a\xC3\xA9", 3, 0, 65001, 0, nullptr); },
       wideEmpty},
      {"nAffecteConversionExplicite with marker",
       [](Targets& s) {
         s.a = A("old");
         s.w = MarkedWide(L"AB");
       },
       [](Targets& s) { return s.a.nAffecteConversionExplicite(s.w, 1252, 0, nullptr); },
       [](Targets& s) {
         EXPECT_EQ(s.a.pGetData(), nullptr);
         EXPECT_EQ(Text(s.w), std::wstring(L"AB") + kMarker);
       }},
      {"nAffecteToUTF8 from a code page", old, [](Targets& s) { return s.a.nAffecteToUTF8("\xE9", 1, 1252); },
       narrowEmpty},
      {"nAffecteToUTF8 from wide", old, [](Targets& s) { return s.a.nAffecteToUTF8(L"\u00E9", 1, 0); }, narrowEmpty},
      {"narrow nAffecteUTF8", old,
       [](Targets& s) { return s.a.nAffecteUTF8("\xC3\xA9", 2, 1252, 0, nullptr, nullptr); }, narrowEmpty},
      {"narrow nAffecteUTF8 growing", old,
       [](Targets& s) { return s.a.nAffecteUTF8("\xE6\x97\xA5", 3, 50220, 0, nullptr, nullptr); }, narrowEmpty},
      {"narrow nAffecteUTF16", old, [](Targets& s) { return s.a.nAffecteUTF16(units, 3, 65001, 0, nullptr); },
       narrowEmpty},
      {"narrow nAffecteUTF32", old, [](Targets& s) { return s.a.nAffecteUTF32(L"xy", 2, 1252, 0, nullptr); },
       narrowEmpty},
      {"wide nAffecteUTF8", old, [](Targets& s) { return s.w.nAffecteUTF8("\xC3\xA9", 2); }, wideEmpty},
      {"wide nAffecteUTF16", old, [](Targets& s) { return s.w.nAffecteUTF16(units, 3); }, wideEmpty},
      {"wide nAffecteUTF32", old, [](Targets& s) { return s.w.nAffecteUTF32(L"xy", 2); }, wideEmpty},
      {"nAffecteToUNICODE", old, [](Targets& s) { return s.x.nAffecteToUNICODE("\xE9", -1, 1252, 0); }, binEmpty},
      {"nAffecteToANSI", old,
       [](Targets& s) { return s.x.nAffecteToANSI(L"\u00E9", 1, 1252, 0, nullptr, nullptr); }, binEmpty},
      {"nAffecteToANSI from a marked buffer",
       [](Targets& s) {
         const WStr marked = MarkedWide(L"AB");
         s.y.nAssign(marked.pGetData(), 12);
         SetFlags(s.y.pGetData(), 1);
         s.x = s.y;
       },
       [](Targets& s) { return s.x.nAffecteToANSI(&s.x, 1252, 0, nullptr, nullptr); },
       [](Targets& s) {
         EXPECT_EQ(s.x.pGetData(), nullptr);
         EXPECT_EQ(s.y.nGetSize(), 12);
       }},
      {"PCWSTR_To_CAString", old,
       [](Targets& s) { return s.narrowResult = PCWSTR_To_CAString(L"x", 1252, 1), kNoResult; }, narrowResultEmpty},
      {"PCASTR_To_CWString", old,
       [](Targets& s) { return s.wideResult = PCASTR_To_CWString("x", 1252, 1), kNoResult; }, wideResultEmpty},
      {"UTF8_To_CAString", old,
       [](Targets& s) { return s.narrowResult = UTF8_To_CAString("\xC3\xA9", 2, 1252), kNoResult; },
       narrowResultEmpty},
      {"PCASTR_N_To_UTF8", old,
       [](Targets& s) { return s.narrowResult = PCASTR_N_To_UTF8("\xE9", 1, 1252), kNoResult; }, narrowResultEmpty},
      {"CAString_To_UTF8 with marker",
       [](Targets& s) {
         s.a = A("AB\xFF");
         SetFlags(s.a.pGetData(), 1);
       },
       [](Targets& s) { return s.narrowResult = CAString_To_UTF8(s.a, 1252), kNoResult; }, narrowResultEmpty},
  };
}

class HostStringConversionFailures : public testing::TestWithParam<int> {};

TEST_P(HostStringConversionFailures, ConversionsFailCleanlyAtEveryAllocation) {
  ExpectCleanFailures(ConversionCases(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(AllocatorVersions, HostStringConversionFailures, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                           return info.param < 2 ? std::string("OldSlots") : std::string("NewSlots");
                         });

}  // namespace

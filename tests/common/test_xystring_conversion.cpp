// Conversions of the host strings and binaries: 1252, UTF-8/16/32, the end marker, failures.
#include "common/xystring_conversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>

#include "common/zvbin.h"
#include "tests/common/host_string_test.h"

namespace {

constexpr wchar_t kMarker = static_cast<wchar_t>(0xFFFFFFFFu);
const std::wstring kLatin = L"A\u00E9\u20AC\u00FF\u0152z";  // A é € ÿ Œ z
const std::string kLatin1252 = "A\xE9\x80\xFF\x8Cz";
const std::wstring kLatinBytes = L"A\xE9\x80\xFF\x8Cz";       // kLatin1252 byte for character
const std::wstring kAstral = L"a\u00E9\U0001F600\u4E2D";       // a é 😀 中
const std::string kAstralUTF8 = "a\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD";
const std::wstring kAstralBytes = L"a\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD";
const unsigned short kUnits[] = {'a', 0xE9, 0xD83D, 0xDE00, 0x4E2D};  // kAstral in UTF-16

// A wide value ending with the marker, flagged as the host would hand it over.
WStr MarkedWide(const std::wstring& text) {
  WStr w = W(text + kMarker);
  SetFlags(w.pGetData(), 1);
  return w;
}

// (result code, content with one character per unit or byte, flags); "<none>" for no block.
using Result = std::tuple<int, std::wstring, uint32_t>;
template <typename V>
Result R(int code, const V& v) {
  if (v.pGetData() == nullptr) return {code, L"<none>", 0};
  std::wstring text;
  if constexpr (std::is_same_v<V, WStr>) {
    text = Text(v);
    EXPECT_EQ(v.pGetData()[v.nGetLength()], 0) << "terminator";
  } else {
    for (unsigned char c : Text(v)) text += static_cast<wchar_t>(c);
  }
  return {code, text, v.dwGetFlags()};
}
Result RW(int code, const CZVBIN& b) {  // a binary holding wide text
  std::wstring text(reinterpret_cast<const wchar_t*>(b.pGetData()), static_cast<size_t>(b.nGetSize() / 4));
  return {code, b.pGetData() ? text : L"<none>", b.dwGetFlags()};
}

// One target of each kind, "old" or empty, run through one operation.
Result Narrow(std::function<int(AStr&)> op, AStr a = AStr()) { return R(op(a), a); }
Result Wide(std::function<int(WStr&)> op, WStr w = WStr()) { return R(op(w), w); }
Result Bin(std::function<int(CZVBIN&)> op, Result (*read)(int, const CZVBIN&) = R<CZVBIN>, CZVBIN x = CZVBIN()) {
  return read(op(x), x);
}

Result Explicit(const WStr& w, int cp) {
  AStr a;
  return R(a.nAffecteConversionExplicite(w, cp, 0, nullptr), a);
}

TEST(XYStringConversion, MemberConversions) {
  int used[3] = {-1, -1, -1};  // whether the default text was used
  CZVBIN markedBin;
  markedBin.nAssign(MarkedWide(L"AB").pGetData(), 12);
  SetFlags(markedBin.pGetData(), 1);
  const std::pair<Result, Result> rows[] = {
      {Narrow([](AStr& a) { return a.__nConversion(kLatin.c_str(), -1, 0, 1252, 0, nullptr); }), {0, kLatinBytes, 0}},
      // Code page 1252 without flags by the table, which keeps an undefined byte; any flag: the
      // converter, which drops it. Nothing converted is still 0 for __nConversion.
      {Wide([](WStr& w) { return w.__nConversion("\x80\x81", 2, 0, 1252, 0, nullptr); }), {0, L"\u20AC\u0081", 0}},
      {Wide([](WStr& w) { return w.__nConversion(kLatin1252.c_str(), -1, 0, 1252, 1, nullptr); }), {0, kLatin, 0}},
      {Wide([](WStr& w) { return w.__nConversion("\x81", 1, 0, 1252, 1, nullptr); }, W(L"old")), {0, L"<none>", 0}},
      {Wide([](WStr& w) { return w.__nConversion("\xFF", 1, 0, 65001, 0, nullptr); }, W(L"old")), {0, L"<none>", 0}},
      {Narrow([](AStr& a) { return a.nAffecteToUTF8(kAstral.c_str(), 4, 0); }), {0, kAstralBytes, 0}},
      {Narrow([&](AStr& a) { return a.nAffecteUTF8("t\xC3\xA9t\xC3\xA9", 6, 1252, 0, nullptr, &used[0]); }),
       {0, L"t\xE9t\xE9", 0}},
      {Narrow([](AStr& a) { return a.nAffecteToUTF8("t\xE9t\xE9", 4, 1252); }), {0, L"t\xC3\xA9t\xC3\xA9", 0}},
      {Narrow([](AStr& a) { return a.nAffecteUTF8("\xFF\xFE", 2, 65001, 0, nullptr, nullptr); }), {0, L"\xFF\xFE", 0}},
      {Narrow([](AStr& a) { return a.nAffecteUTF8("\xFF\xFE", 2, 1252, 0, nullptr, nullptr); }, A("old")),
       {XYSTR_ERR_CONVERSION, L"<none>", 0}},
      {Narrow([](AStr& a) { return a.nAffecteToUTF8("\x82", 1, 932); }, A("old")),
       {XYSTR_ERR_CONVERSION, L"<none>", 0}},
      {Wide([](WStr& w) { return w.nAffecteUTF16(kUnits, 5); }), {0, kAstral, 0}},  // a pair is one character
      {Narrow([](AStr& a) { return a.nAffecteUTF16(kUnits, 5, 1252, 0, nullptr); }), {0, L"a\xE9??", 0}},
      {Wide([](WStr& w) { return w.nAffecteUTF16(nullptr, 3) + w.nAffecteUTF32(L"x", 0); }, W(L"old")),
       {0, L"<none>", 0}},
      // The wide string has no UTF-8 forms: they do nothing.
      {Wide([](WStr& w) { return w.nAffecteToUTF8(L"x", 1, 0) + w.nAffecteToUTF8("x", 1, 1252); }, W(L"kept")),
       {0, L"kept", 0}},
      {Bin([](CZVBIN& x) { return x.nAffecteToUNICODE(kLatin1252.c_str(), -1, 1252, 0); }, RW), {0, kLatin, 0}},
      {Bin([](CZVBIN& x) { return x.nAffecteToUNICODE("\xFF", 1, 65001, 0); }, RW, CZVBIN("old", 3)),
       {XYSTR_ERR_CONVERSION, L"<none>", 0}},
      {Bin([](CZVBIN& x) { return x.nAffecteToANSI(kLatin.c_str(), 6, 1252, 0, nullptr, nullptr); }),
       {0, kLatinBytes, 0}},
      // Default texts longer than one byte are counted in the size.
      {Narrow([](AStr& a) { return a.__nConversion(L"a\u4E2Db", -1, 0, 1252, 0, "[?]"); }), {0, L"a[?]b", 0}},
      {Narrow([](AStr& a) { return a.nAffecteUTF32(L"\u4E2D\u4E2D", 2, 1252, 0, "<none>"); }), {0, L"<none><none>", 0}},
      {Narrow([](AStr& a) { return a.nAffecteUTF16(kUnits + 4, 1, 1252, 0, "[?]"); }), {0, L"[?]", 0}},
      {Bin([&](CZVBIN& x) { return x.nAffecteToANSI(L"\u4E2D", 1, 1252, 0, "[?]", &used[1]); }), {0, L"[?]", 0}},
      {Narrow([&](AStr& a) { return a.nAffecteUTF8("\xC4\x80" "abc", 5, 1252, 0, "[?]", &used[2]); }),
       {0, L"[?]abc", 0}},
      // The source may be the target's own text.
      {Narrow([](AStr& a) { return a.nAffecteUTF8(a.pGetData(), 6, 1252, 0, nullptr, nullptr); },
              A("t\xC3\xA9t\xC3\xA9")),
       {0, L"t\xE9t\xE9", 0}},
      {Narrow([](AStr& a) { return a.nAffecteToUTF8(a.pGetData(), 2, 1252); }, A("t\xE9")), {0, L"t\xC3\xA9", 0}},
      {Wide([](WStr& w) { return w.nAffecteUTF32(w.pGetData(), 4); }, W(L"self")), {0, L"self", 0}},
      {Bin([](CZVBIN& x) { return x.nAffecteToUNICODE(reinterpret_cast<const char*>(x.pGetData()), 3, 1252, 0); }, RW,
           CZVBIN("abc", 3)),
       {0, L"abc", 0}},
      // End marker: carried as a marker to a code page, converted as a character to UTF-8.
      {Explicit(MarkedWide(L"AB"), 1252), {0, L"AB\xFF", 1}}, {Explicit(MarkedWide(L"AB"), 65001), {0, L"AB?", 0}},
      {Explicit(MarkedWide(L""), 1252), {0, L"\xFF", 1}},
      {Explicit(W(std::wstring(L"AB") + kMarker), 1252), {0, L"AB?", 0}},  // not flagged
      {Bin([](CZVBIN& x) { return x.nAffecteToANSI(&x, 1252, 0, nullptr, nullptr); }, R<CZVBIN>, markedBin),
       {0, L"AB\xFF", 1}}};
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
  EXPECT_EQ(std::vector<int>(used, used + 3), std::vector<int>({0, 1, 1}));

  WStr roomy;  // room asked beyond the text
  EXPECT_EQ(roomy.__nConversion("ab", 2, 10, 1252, 0, nullptr), 0);
  EXPECT_GE(roomy.nGetCapacity(), 13);
  AStr stateful;  // UTF-8 whose code-page form is longer than itself
  EXPECT_EQ(stateful.nAffecteUTF8("\xE6\x97\xA5", 3, 50220, 0, nullptr, nullptr), 0);
  EXPECT_GT(stateful.nGetLength(), 3);
  EXPECT_EQ(Text(PCASTR_To_CWString(stateful.pszGet(), 50220, stateful.nGetLength())), L"\u65E5");
}

TEST(XYStringConversion, FreeFunctions) {
  const AStr marked = [] {
    AStr a = A("AB\xFF");
    SetFlags(a.pGetData(), 1);
    return a;
  }();
  const std::pair<AStr, std::string> narrow[] = {
      {PCWSTR_To_UTF8(kAstral.c_str()), kAstralUTF8}, {PCWSTR_N_To_UTF8(kAstral.c_str(), 2), "a\xC3\xA9"},
      {CWString_To_UTF8(MarkedWide(L"AB")), "AB?"}, {UTF8_To_CAString("\xC3\xA9\xE2\x82\xAC", 1252), "\xE9\x80"},
      {UTF8_To_CAString("\xC3\xA9xyz", 3, 1252), "\xE9x"}, {UTF8_To_CAString("abc", 2, 65001), "ab"},
      {PCASTR_To_UTF8("\xE9\x80", 1252), "\xC3\xA9\xE2\x82\xAC"}, {PCASTR_N_To_UTF8("\xE9\x80", 1, 1252), "\xC3\xA9"},
      {PCASTR_To_UTF8("\xC3\xA9", 65001), "\xC3\xA9"}, {CAString_To_UTF8(A("\xE9t\xE9"), 1252), "\xC3\xA9t\xC3\xA9"},
      {CAString_To_UTF8(marked, 1252), "AB?"}, {CAString_To_UTF8(A("AB\xFF"), 1252), "AB\xC3\xBF"}};
  for (const auto& [got, want] : narrow) EXPECT_EQ(Text(got), want);
  EXPECT_EQ(Text(PCASTR_To_CWString(kLatin1252.c_str(), 1252, -1)), kLatin);
  EXPECT_EQ(Text(UTF8_To_CWString(kAstralUTF8.c_str())), kAstral);
  EXPECT_EQ(Text(UTF8_To_CWString(kAstralUTF8.c_str(), 3)), L"a\u00E9");
  EXPECT_EQ(PCWSTR_To_UTF8(nullptr).pGetData(), nullptr);
  EXPECT_EQ(UTF8_To_CWString("").pGetData(), nullptr);
  const AStr already = A("d\xC3\xA9j\xC3\xA0");
  EXPECT_EQ(CAString_To_UTF8(already, 65001).pGetData(), already.pGetData()) << "UTF-8 to UTF-8 shares the block";
  // A reused block holding new text is no longer marked: its last 0xFF is a character again.
  AStr reused = marked;
  EXPECT_EQ(reused.nAffecte("xy\xFF", 3), 0);
  EXPECT_EQ(Text(CAString_To_UTF8(reused, 1252)), "xy\xC3\xBF");

  // Code page -1 is the host's current one.
  CHostServices::Instance().SetCurrentLocale(1049, 1251, 204);
  const AStr cyrillic = PCWSTR_To_CAString(L"\u0416a", -1, 2);
  const WStr back = PCASTR_To_CWString("\xC6", -1, 1);
  CHostServices::Instance().SetCurrentLocale(1036, 1252, 0);
  EXPECT_EQ(Text(cyrillic), "\xC6" "a");
  EXPECT_EQ(Text(back), L"\u0416");
}

TEST(XYStringConversion, HeapCopiesCarryTheMarker) {
  const std::pair<WStr, const char*> narrow[] = {
      {MarkedWide(L"AB"), "AB\xFF"}, {MarkedWide(L""), "\xFF"}, {W(L"\u00E9"), "\xE9"}, {WStr(), nullptr}};
  for (const auto& [value, want] : narrow) {
    char* out = nullptr;
    EXPECT_TRUE(value.bCreateY(out, 1252));
    EXPECT_EQ(out ? std::string(out) : "<null>", want ? want : "<null>");
    free(out);
  }
  AStr marked = A("AB\xFF");
  SetFlags(marked.pGetData(), 1);
  // The marker byte never reaches the converter: in code page 932 it is no character at all.
  const std::tuple<AStr, int, const wchar_t*> wide[] = {{marked, 1252, L"AB\xFFFFFFFF"}, {marked, 932, L"AB\xFFFFFFFF"},
                                                        {A("\xE9"), 1252, L"\u00E9"},     {AStr(), 1252, nullptr}};
  for (const auto& [value, cp, want] : wide) {
    wchar_t* out = nullptr;
    EXPECT_TRUE(value.bCreateY(out, cp));
    EXPECT_EQ(out ? std::wstring(out) : L"<null>", want ? want : L"<null>");
    free(out);
  }
}

// ---- Allocation failures, under both allocator versions ----

struct Targets {
  AStr a = A("old"), result;
  WStr w = W(L"old"), wideResult;
  CZVBIN x = CZVBIN("old", 3), y;
};
template <auto M>
void Emptied(Targets& s) {
  EXPECT_EQ((s.*M).pGetData(), nullptr);
}

std::vector<FailureCase<Targets>> ConversionCases() {
  const auto none = [](Targets&) {};
  const auto a = Emptied<&Targets::a>, w = Emptied<&Targets::w>, x = Emptied<&Targets::x>;
  const auto result = Emptied<&Targets::result>;
  static const unsigned short units[] = {'a', 0xD83D, 0xDE00};
  using T = Targets&;
  return {
      FAILURE_CASE(none, a, s.a.__nConversion(L"a\u00E9", -1, 0, 1252, 0, nullptr)),
      FAILURE_CASE(none, w, s.w.__nConversion("a\xE9", -1, 0, 1252, 0, nullptr)),
      FAILURE_CASE(none, w, s.w.__nConversion("a\xC3\xA9", 3, 0, 65001, 0, nullptr)),
      {"with marker", [](T s) { s.w = MarkedWide(L"AB"); },
       [](T s) { return s.a.nAffecteConversionExplicite(s.w, 1252, 0, nullptr); },
       [](T s) {
         EXPECT_EQ(s.a.pGetData(), nullptr);
         EXPECT_EQ(Text(s.w), std::wstring(L"AB") + kMarker);
       }},
      FAILURE_CASE(none, a, s.a.nAffecteToUTF8("\xE9", 1, 1252)),
      FAILURE_CASE(none, a, s.a.nAffecteUTF8("\xC3\xA9", 2, 1252, 0, nullptr, nullptr)),
      FAILURE_CASE(none, a, s.a.nAffecteUTF8("\xE6\x97\xA5", 3, 50220, 0, nullptr, nullptr)),
      FAILURE_CASE(none, a, s.a.nAffecteUTF16(units, 3, 65001, 0, nullptr)),
      FAILURE_CASE(none, a, s.a.nAffecteUTF32(L"xy", 2, 1252, 0, nullptr)),
      FAILURE_CASE(none, w, s.w.nAffecteUTF16(units, 3)), FAILURE_CASE(none, w, s.w.nAffecteUTF32(L"xy", 2)),
      FAILURE_CASE(none, x, s.x.nAffecteToUNICODE("\xE9", -1, 1252, 0)),
      FAILURE_CASE(none, x, s.x.nAffecteToANSI(L"\u00E9", 1, 1252, 0, nullptr, nullptr)),
      {"marked binary into itself",
       [](T s) {
         s.y.nAssign(MarkedWide(L"AB").pGetData(), 12);
         SetFlags(s.y.pGetData(), 1);
         s.x = s.y;
       },
       [](T s) { return s.x.nAffecteToANSI(&s.x, 1252, 0, nullptr, nullptr); },
       [](T s) {
         EXPECT_EQ(s.x.pGetData(), nullptr);
         EXPECT_EQ(s.y.nGetSize(), 12);
       }},
      FAILURE_CASE(none, result, s.result = PCWSTR_To_CAString(L"x", 1252, 1), kNoResult),
      FAILURE_CASE(none, Emptied<&Targets::wideResult>, s.wideResult = PCASTR_To_CWString("x", 1252, 1), kNoResult),
      FAILURE_CASE(none, result, s.result = UTF8_To_CAString("\xC3\xA9", 2, 1252), kNoResult),
      FAILURE_CASE(none, result, s.result = PCASTR_N_To_UTF8("\xE9", 1, 1252), kNoResult),
      {"CAString_To_UTF8 with marker", [](T s) { s.a = A("AB\xFF"), SetFlags(s.a.pGetData(), 1); },
       [](T s) { return s.result = CAString_To_UTF8(s.a, 1252), kNoResult; }, result}};
}

class HostStringConversionFailures : public testing::TestWithParam<int> {};
TEST_P(HostStringConversionFailures, ConversionsFailCleanlyAtEveryAllocation) {
  ExpectCleanFailures(ConversionCases(), GetParam());
}
INSTANTIATE_TEST_SUITE_P(AllocatorVersions, HostStringConversionFailures, testing::Values(1, 2));

}  // namespace

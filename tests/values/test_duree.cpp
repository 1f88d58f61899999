// Durations: the texts against a reference built from the fields and read back by every reader
// (bounds included), the hundredths rounding with its carry, and reading by position.
#include "values/duree.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/xystring.h"
#include "common/zvbin.h"

namespace {

CDureeBase Du(int64_t ms) { return CDureeBase{ms}; }

// Sign, days, then HHMMSS and the fraction on fixed widths, from the magnitude (rounded to
// hundredths, halves up, for the short form).
std::wstring Reference(int64_t v, bool hundredths) {
  const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  const uint64_t units = hundredths ? (mag + 5) / 10 : mag, perSecond = hundredths ? 100 : 1000, s = units / perSecond;
  wchar_t b[64];
  swprintf(b, 64, hundredths ? L"%ls%llu%02d%02d%02d%02d" : L"%ls%llu%02d%02d%02d%03d", v < 0 ? L"-" : L"",
           static_cast<unsigned long long>(s / 86400), static_cast<int>(s / 3600 % 24), static_cast<int>(s / 60 % 60),
           static_cast<int>(s % 60), static_cast<int>(units % perSecond));
  return b;
}

// Writing: 995 to 999 ms carry into the seconds, as far as the days; a negative duration keeps its
// '-'; a cut text is reported and terminated. Reading: after the sign, fields by position from the
// end, a non-digit ending its field only; texts too short or beyond 64 bits are refused, the value
// kept.
TEST(Duree, TextEdges) {
  const struct { int64_t ms; const wchar_t* text; } written[] = {
      {994, L"000000099"},        {995, L"000000100"}, {59999, L"000010000"}, {86399995, L"100000000"},
      {-86399996, L"-100000000"}, {-5, L"-000000001"}, {-4, L"-000000000"},   {-1, L"-000000000"}};
  wchar_t b[kDureeTextChars + 1];
  for (const auto& r : written) {
    const int n = Du(r.ms).__nVersChaine(b, CDureeBase::ms_cpszFormatAffichageCentieme, kDureeTextChars);
    EXPECT_EQ(n, static_cast<int>(wcslen(r.text)));
    EXPECT_STREQ(b, r.text) << r.ms;
  }
  EXPECT_EQ(Du(-1020304005).__nVersChaine(b, CDureeBase::ms_pcszFormatAffichageMillieme, 5), -1);
  EXPECT_STREQ(b, L"-1119");
  EXPECT_EQ(Du(-1).__nVersChaine(b, CDureeBase::ms_pcszFormatAffichageMillieme, 0), -1);
  EXPECT_STREQ(b, L"");
  const struct { const wchar_t* text; bool hundredths; int result; int64_t ms; } read[] = {
      {L"-1020304005", false, 0, -93784005}, {L"\uFF0D1020304005", false, 0, -93784005},
      {L"+0000000001", false, 0, 1}, {L"002030405", true, 0, 7384050}, {L"1 20304005", false, 0, 93784005},
      {L"10203040x5", false, 0, 93784000}, {L"\uFF11020304005", false, 0, 7384005},
      {L"-x020304005", false, 0, -7384005}, {L"020304005", false, 112, 77}, {L"02030405", true, 112, 77},
      {L"", false, 112, 77}, {L"-", false, 112, 77}, {nullptr, false, 112, 77},
      {L"106751991167300000000", false, 112, 77}, {L"99999999999999999999999999999999", false, 112, 77}};
  for (const auto& r : read) {
    CDureeBase d = Du(77);
    EXPECT_EQ(r.hundredths ? d.nDepuisChaineCentieme(r.text) : d.nDepuisChaine(r.text), r.result);
    EXPECT_EQ(d.m_llMilli, r.ms) << (r.text ? std::string(r.text, r.text + wcslen(r.text)) : "null");
  }
  CDureeBase d = Du(77);
  CZVBIN empty, high("\xB1" "020304005", 10);  // a signed byte widens to a negative character: no day digit
  EXPECT_EQ(d.nDepuisBinaire(nullptr) + d.nDepuisBinaire(&empty), 2 * DUREE_ERR_TEXT);
  EXPECT_EQ(d.nDepuisBinaire(&high), 0);
  EXPECT_EQ(d.m_llMilli, 7384005);
  EXPECT_EQ(CDureeBase::nCompare(Du(-1), Du(1)) * 10 + CDureeBase::nCompare(Du(INT64_MAX), Du(INT64_MAX)), -10);
}

TEST(Duree, EveryWriterRoundTripsOverTheWholeRange) {
  std::mt19937_64 rng(20240229);
  for (int i = 0; i < 3000; ++i) {
    const int64_t fixed[] = {0, 1, -1, 999, -999, 86400000, -86400000, INT64_MAX, INT64_MIN, INT64_MIN + 1};
    const int64_t v = i < 10 ? fixed[i] : static_cast<int64_t>(rng()) >> (rng() % 64);
    const std::wstring expected = Reference(v, false), hundredths = Reference(v, true);
    CXYString<wchar_t> s;
    CZVBIN bin;
    CDureeBase back;
    wchar_t* heap = Du(v).pszCreeChaine();
    ASSERT_EQ(std::wstring(heap), expected) << v;
    free(heap);
    ASSERT_EQ(Du(v).nVersChaine(&s) + Du(v).nVersBinaire(&bin), 0);
    ASSERT_EQ(std::wstring(s.pszGet()), expected);
    ASSERT_TRUE(back.nDepuisChaine(expected.c_str()) == 0 && back.m_llMilli == v) << v;
    back.m_llMilli = 0;
    ASSERT_TRUE(back.nDepuisBinaire(&bin) == 0 && back.m_llMilli == v) << v;
    ASSERT_EQ(Du(v).nVersChaineCentieme(&s), 0);
    ASSERT_EQ(std::wstring(s.pszGet()), hundredths) << v;
    // Read back: the value rounded to 10 ms, unless that no longer fits 64 bits.
    const uint64_t rounded = ((v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v)) + 5) / 10 * 10;
    const bool fits = rounded <= static_cast<uint64_t>(INT64_MAX) + (v < 0 ? 1 : 0);
    ASSERT_EQ(back.nDepuisChaineCentieme(s.pszGet()), fits ? 0 : DUREE_ERR_TEXT) << v;
    ASSERT_EQ(back.m_llMilli, fits ? static_cast<int64_t>(v < 0 ? 0 - rounded : rounded) : v) << v;
  }
}

}  // namespace

// Durations: the texts against a reference built from the fields, round trips through every
// writer and reader (bounds included), and the hundredths rounding with its carry.
#include "values/duree.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/xystring.h"
#include "common/zvbin.h"

namespace {

CDureeBase Du(int64_t ms) {
  CDureeBase d;
  d.m_llMilli = ms;
  return d;
}

std::wstring Millieme(int64_t ms) {
  wchar_t b[kDureeTextChars + 1];
  EXPECT_GT(Du(ms).__nVersChaine(b, CDureeBase::ms_pcszFormatAffichageMillieme, kDureeTextChars), 0);
  return b;
}

std::wstring Centieme(int64_t ms) {
  wchar_t b[kDureeTextChars + 1];
  EXPECT_GT(Du(ms).__nVersChaine(b, CDureeBase::ms_cpszFormatAffichageCentieme, kDureeTextChars), 0);
  return b;
}

// Reference: sign, days, then fixed two-digit fields and the fraction, from a magnitude.
std::wstring Reference(bool negative, uint64_t days, int h, int m, int s, int frac, int fracDigits) {
  wchar_t b[64];
  swprintf(b, 64, fracDigits == 3 ? L"%ls%llu%02d%02d%02d%03d" : L"%ls%llu%02d%02d%02d%02d", negative ? L"-" : L"",
           static_cast<unsigned long long>(days), h, m, s, frac);
  return b;
}

TEST(Duree, DocumentedTexts) {
  const int64_t v = -((((1LL * 24 + 2) * 60 + 3) * 60 + 4) * 1000 + 5);
  CDureeBase d;
  EXPECT_EQ(d.nDepuisChaine(L"-1020304005"), 0);
  EXPECT_EQ(d.m_llMilli, v);
  EXPECT_EQ(Millieme(v), L"-1020304005");
  EXPECT_EQ(d.nDepuisChaine(L"\xFF0D" L"1020304005"), 0);
  EXPECT_EQ(d.m_llMilli, v);
  EXPECT_EQ(d.nDepuisChaine(L"+0000000001"), 0);
  EXPECT_EQ(d.m_llMilli, 1);
  EXPECT_EQ(d.nDepuisChaineCentieme(L"002030405"), 0);
  EXPECT_EQ(d.m_llMilli, ((2 * 60 + 3) * 60 + 4) * 1000 + 50);
  EXPECT_EQ(Millieme(0), L"0000000000");
  EXPECT_EQ(CDureeBase::nCompare(Du(-1), Du(1)), -1);
  EXPECT_EQ(CDureeBase::nCompare(Du(INT64_MAX), Du(INT64_MAX)), 0);
}

// Fields are read by position: a non-digit ends its field only.
TEST(Duree, FieldsAreReadByPosition) {
  const struct {
    const wchar_t* text;
    int64_t ms;
  } cases[] = {{L"1 20304005", 93784005},  {L"10203040x5", 93784000}, {L"１020304005", 7384005},
               {L"-x020304005", -7384005}};
  for (const auto& c : cases) {
    CDureeBase d;
    EXPECT_EQ(d.nDepuisChaine(c.text), 0);
    EXPECT_EQ(d.m_llMilli, c.ms);
  }
}

// Too short, or beyond 64 bits: no duration, and the value stays.
TEST(Duree, ShortOrOversizedTextsAreRefused) {
  CDureeBase d = Du(77);
  for (const wchar_t* text : {L"020304005", L"", L"-", L"106751991167300000000", L"99999999999999999999999999999999"}) {
    EXPECT_EQ(d.nDepuisChaine(text), DUREE_ERR_TEXT) << text;
    EXPECT_EQ(d.m_llMilli, 77);
  }
  EXPECT_EQ(d.nDepuisChaine(nullptr), DUREE_ERR_TEXT);
  EXPECT_EQ(d.nDepuisChaineCentieme(L"02030405"), DUREE_ERR_TEXT);
  EXPECT_EQ(d.nDepuisBinaire(nullptr), DUREE_ERR_TEXT);
  CZVBIN empty;
  EXPECT_EQ(d.nDepuisBinaire(&empty), DUREE_ERR_TEXT);
  CZVBIN high("\xB1" "020304005", 10);  // a signed byte widens to a negative character: no day digit
  EXPECT_EQ(d.nDepuisBinaire(&high), 0);
  EXPECT_EQ(d.m_llMilli, 7384005);
}

TEST(Duree, EveryWriterRoundTripsOverTheWholeRange) {
  std::mt19937_64 rng(20240229);
  std::vector<int64_t> values = {0, 1, -1, 999, -999, 1000, 86399999, 86400000, -86400000, INT64_MAX, INT64_MIN,
                                 INT64_MIN + 1};
  for (int i = 0; i < 20000; ++i) {
    const int64_t v = static_cast<int64_t>(rng());
    values.push_back(v);
    values.push_back(v >> (rng() % 63));
  }
  for (const int64_t v : values) {
    const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    const uint64_t seconds = mag / 1000;
    const std::wstring expected = Reference(v < 0, seconds / 86400, static_cast<int>(seconds / 3600 % 24),
                                            static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                                            static_cast<int>(mag % 1000), 3);
    ASSERT_EQ(Millieme(v), expected) << v;
    CDureeBase back;
    ASSERT_EQ(back.nDepuisChaine(expected.c_str()), 0) << v;
    ASSERT_EQ(back.m_llMilli, v);

    CXYString<wchar_t> s;
    ASSERT_EQ(Du(v).nVersChaine(&s), 0);
    ASSERT_EQ(std::wstring(s.pszGet()), expected);
    CZVBIN bin;
    ASSERT_EQ(Du(v).nVersBinaire(&bin), 0);
    ASSERT_EQ(bin.nGetSize(), static_cast<int>(expected.size()));
    back.m_llMilli = 0;
    ASSERT_EQ(back.nDepuisBinaire(&bin), 0);
    ASSERT_EQ(back.m_llMilli, v);

    // The hundredths text stands for the magnitude rounded to 10 ms, halves up.
    ASSERT_EQ(Du(v).nVersChaineCentieme(&s), 0);
    const uint64_t rounded = (mag + 5) / 10 * 10;
    ASSERT_EQ(back.nDepuisChaineCentieme(s.pszGet()), rounded > static_cast<uint64_t>(INT64_MAX) ? DUREE_ERR_TEXT : 0)
        << v;
    if (rounded <= static_cast<uint64_t>(INT64_MAX)) {
      ASSERT_EQ(back.m_llMilli, v < 0 ? -static_cast<int64_t>(rounded) : static_cast<int64_t>(rounded)) << v;
    }
  }
  wchar_t* heap = Du(-1).pszCreeChaine();
  EXPECT_STREQ(heap, L"-0000000001");
  free(heap);
}

// 995 to 999 ms round up to a whole second and carry, as far as the days; the fraction never
// takes three digits.
TEST(Duree, HundredthsCarryIntoTheSeconds) {
  EXPECT_EQ(Centieme(994), L"000000099");
  EXPECT_EQ(Centieme(995), L"000000100");
  EXPECT_EQ(Centieme(59999), L"000010000");
  EXPECT_EQ(Centieme(86399995), L"100000000");
  EXPECT_EQ(Centieme(-86399996), L"-100000000");
  EXPECT_EQ(Centieme(-5), L"-000000001") << "halves go away from zero on both sides";
  EXPECT_EQ(Centieme(-4), L"-000000000") << "a negative duration keeps its sign";
  for (int64_t ms = -200000; ms <= 200000; ++ms) {
    const std::wstring text = Centieme(ms);
    const size_t sign = ms < 0 && text[0] == L'-' ? 1 : 0;
    ASSERT_EQ(text.size() - sign, 9u) << ms;
  }
}

TEST(Duree, CutTextsAreReportedAndTerminated) {
  wchar_t b[8];
  EXPECT_EQ(Du(-1020304005).__nVersChaine(b, CDureeBase::ms_pcszFormatAffichageMillieme, 5), -1);
  EXPECT_EQ(std::wstring(b).size(), 5u);
  EXPECT_EQ(Du(-1).__nVersChaine(b, CDureeBase::ms_pcszFormatAffichageMillieme, 0), -1);
  EXPECT_STREQ(b, L"");
}

}  // namespace

// Date-times against the standard library's civil calendar (every day from 1800 to 9999), the
// Julian era walked day by day, then shifts, refusals, texts and digit fields.
#include "values/datetime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/ctstring.h"
#include "common/xystring.h"
#include "common/zvbin.h"
#include "values/duree.h"

namespace {

CDateTimeBase D(int y, int m, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  CDateTimeBase v;
  v.Set(y, m, d, h, mi, s, ms);
  return v;
}

std::wstring Text(const CDateTimeBase& v) {
  wchar_t b[kDateTimeTextChars + 1];
  v.VersChaine(b, kDateTimeTextChars);
  return b;
}

bool Same(const CDateTimeBase& a, const CDateTimeBase& b) { return memcmp(&a, &b, sizeof a) == 0; }

bool InitFrom(const _SYSTEMTIME& st, const CDateTimeBase& expected) {
  CDateTimeBase v;
  return v.InitDate(&st) && Same(v, expected);
}

int Digits(const wchar_t* p, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - L'0');
  return v;
}

TEST(DateTimeLayout, DateWordIsTheFirstFourBytesAndOrdersByDate) {
  const CDateTimeBase v = D(2024, 3, 9, 1, 2, 3, 4);
  uint32_t word;
  memcpy(&word, &v, 4);
  EXPECT_EQ(word, v.dwGetMotDate());
  EXPECT_EQ(word, (2024u << 16) | (3u << 8) | 9u);
  EXPECT_EQ(v.m_dwMilli, 3723004u);
  EXPECT_EQ(CDateTimeBase::nCompare(D(2023, 12, 31, 23), D(2024, 1, 1)), -1);
  EXPECT_EQ(CDateTimeBase::nCompare(D(2024, 1, 1, 0, 0, 0, 2), D(2024, 1, 1, 0, 0, 0, 1)), 1);
  EXPECT_EQ(CDateTimeBase::s_nCompareDateSeule(D(2024, 1, 1, 5), D(2024, 1, 1, 6)), 0);
  EXPECT_TRUE(CDateTimeBase().bEstDateVide());
}

// The date of every day in range against std::chrono: day number, weekday, Julian day number,
// day of year, ISO week, conversion back, successive bDecaleJour(1), and the 17-digit text.
TEST(DateTimeCalendar, EveryDayFrom1800To9999MatchesTheCivilCalendar) {
  using namespace std::chrono;
  const sys_days dayZero{year{1799} / December / 31};
  const sys_days last{year{9999} / December / 31};
  CDateTimeBase walker = D(1800, 1, 1);
  int failures = 0;
  long checked = 0;
  wchar_t text[kDateTimeTextChars + 1];
  for (sys_days day = dayZero + days{1}; day <= last; day += days{1}, ++checked) {
    const year_month_day ymd{day};
    const int y = static_cast<int>(ymd.year());
    const int m = static_cast<int>(static_cast<unsigned>(ymd.month()));
    const int d = static_cast<int>(static_cast<unsigned>(ymd.day()));
    const int number = static_cast<int>((day - dayZero).count());
    CDateTimeBase v = D(y, m, d);
    v.m_dwMilli = static_cast<uint32_t>(number) * 7919u % kMillisecondsPerDay;

    const unsigned iso = weekday{day}.iso_encoding();
    const sys_days thursday = day + days{4 - static_cast<int>(iso)};
    const year_month_day thursdayYmd{thursday};
    const int isoWeek = static_cast<int>((thursday - sys_days{thursdayYmd.year() / January / 1}).count()) / 7 + 1;
    int isoYear, week, isoDay, backD = 0, backM = 0, backY = 0;

    bool ok = CDateTimeBase::s_nDateVersEntier(d, m, y) == number &&
              v.nGetJourDeLaSemaine() == static_cast<int>(weekday{day}.c_encoding()) &&
              v.nVersJourJulien() == day.time_since_epoch().count() + 2440588 &&
              v.nGetJourDansAnnee() == (day - sys_days{ymd.year() / January / 1}).count() + 1 &&
              v.VersISO8601YWD(isoYear, week, isoDay) && isoYear == static_cast<int>(thursdayYmd.year()) &&
              week == isoWeek && isoDay == static_cast<int>(iso) &&
              CDateTimeBase::__bEntierVersDate(number, &backD, &backM, &backY) && backD == d && backM == m &&
              backY == y && walker.dwGetMotDate() == v.dwGetMotDate();
    v.VersChaine(text, kDateTimeTextChars);
    CDateTimeBase back;
    back.FromString(text);
    ok = ok && text[kDateTimeTextChars] == 0 && Digits(text, 8) == y * 10000 + m * 100 + d && Same(back, v);
    if (!ok && ++failures <= 5) ADD_FAILURE() << y << "-" << m << "-" << d;
    walker.bDecaleJour(1);
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(checked, 2994988);
  EXPECT_FALSE(walker.bDecaleJour(1)) << "no day after 31 December 9999";
  EXPECT_EQ(walker.dwGetMotDate(), D(9999, 12, 31).dwGetMotDate());
}

// Before 1800 the day numbers keep counting one a day on the Julian calendar up to 4 October 1582
// (leap every 4th year), then skip to 15 October; the weekdays are the historical ones.
TEST(DateTimeCalendar, JulianEraCountsDayByDayDownToYearOne) {
  CDateTimeBase walker = D(1, 1, 1);
  int n;
  ASSERT_EQ(walker.nVersEntier(&n), 0);
  EXPECT_EQ(n, -657072);
  EXPECT_EQ(walker.nVersJourJulien(), 1721424);
  EXPECT_EQ(walker.nGetJourDeLaSemaine(), 6);  // a Saturday
  int failures = 0;
  while (walker.m_wAnnee < 1800) {
    CDateTimeBase next = walker;
    int expectedDay = walker.m_byJour + 1, expectedMonth = walker.m_byMois, expectedYear = walker.m_wAnnee;
    if (walker.m_wAnnee == 1582 && walker.m_byMois == 10 && walker.m_byJour == 4) expectedDay = 15;
    if (expectedDay > CDateTimeBase::s_nGetNbJourMois(expectedMonth, expectedYear)) {
      expectedDay = 1;
      if (++expectedMonth > 12) expectedMonth = 1, ++expectedYear;
    }
    int a, b;
    const bool ok = next.bDecaleJour(1) && next.dwGetMotDate() == D(expectedYear, expectedMonth, expectedDay).dwGetMotDate() &&
                    walker.nVersEntier(&a) == 0 && next.nVersEntier(&b) == 0 && b == a + 1 &&
                    next.nGetJourDeLaSemaine() == (walker.nGetJourDeLaSemaine() + 1) % 7;
    if (!ok && ++failures <= 5) ADD_FAILURE() << walker.m_wAnnee << "-" << +walker.m_byMois << "-" << +walker.m_byJour;
    walker = next;
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(CDateTimeBase::s_nDateVersEntier(1, 1, 1800), 1);
  EXPECT_EQ(D(1582, 10, 4).nGetJourDeLaSemaine(), 4);   // Thursday
  EXPECT_EQ(D(1582, 10, 15).nGetJourDeLaSemaine(), 5);  // Friday
  EXPECT_EQ(CDateTimeBase::s_nDateVersEntier(29, 2, 1500) + 1, CDateTimeBase::s_nDateVersEntier(1, 3, 1500));
  EXPECT_EQ(CDateTimeBase::s_nDateVersEntier(31, 12, 1500) + 1, CDateTimeBase::s_nDateVersEntier(1, 1, 1501));
}

TEST(DateTimeCalendar, DocumentedValues) {
  EXPECT_EQ(CDateTimeBase::s_nDateVersEntier(31, 12, 1799), 0);
  EXPECT_EQ(CDateTimeBase::s_nDateVersEntier(31, 12, 9999), 2994988);
  int d = 0, m = 0, y = 0;
  EXPECT_TRUE(CDateTimeBase::__bEntierVersDate(2994989, &d, &m, &y));
  EXPECT_EQ(y * 10000 + m * 100 + d, 100000101) << "1 January 10000";
  EXPECT_FALSE(CDateTimeBase::__bEntierVersDate(2994990, &d, &m, &y));
  EXPECT_EQ(y * 10000 + m * 100 + d, 100000101);
  EXPECT_FALSE(CDateTimeBase::__bEntierVersDate(-657073, &d, &m, &y));
  EXPECT_EQ(D(1800, 1, 1).nGetJourDeLaSemaine(), 3);
  EXPECT_EQ(D(1582, 10, 15).nVersJourJulien(), 2299161);
  EXPECT_EQ(D(1582, 10, 10).nVersJourJulien(), 2299161);
  EXPECT_EQ(D(1582, 10, 4).nVersJourJulien(), 2299160);
  EXPECT_EQ(D(2000, 1, 1).nVersJourJulien(), 2451545);
  EXPECT_EQ(CDateTimeBase::__nBissextile(1900), 0);
  EXPECT_EQ(CDateTimeBase::__nBissextile(2000), 1);
  EXPECT_EQ(CDateTimeBase::__nBissextile(1500), 1);
  int yy, ww, wd;
  EXPECT_TRUE(D(2021, 1, 7).VersISO8601YWD(yy, ww, wd));
  EXPECT_EQ(yy * 1000 + ww * 10 + wd, 2021014);
  EXPECT_TRUE(D(2021, 1, 1).VersISO8601YWD(yy, ww, wd));
  EXPECT_EQ(yy * 1000 + ww * 10 + wd, 2020535);
}

TEST(DateTimeCalendar, InvalidDatesAreReportedNotComputed) {
  int n = 7;
  for (const CDateTimeBase& v : {CDateTimeBase(), D(2023, 2, 29), D(2024, 13, 1), D(0, 1, 1), D(10000, 1, 1)}) {
    EXPECT_EQ(v.nVersEntier(&n), DATETIME_ERR_INVALID_DATE);
    EXPECT_EQ(v.nGetJourDeLaSemaine(), -1);
    EXPECT_EQ(v.nVersJourJulien(), 0);
    int a = 1, b = 1, c = 1;
    EXPECT_FALSE(v.VersISO8601YWD(a, b, c));
    EXPECT_EQ(a + b + c, 0);
  }
  EXPECT_EQ(n, 7);
  EXPECT_EQ(CDateTimeBase::s_nGetNbJourMois(13, 2024), 0);
  EXPECT_EQ(CDateTimeBase::__nRectifieFinMois(31, 13, 2024), 31) << "no read past the month table";
  int a = 1, b = 1, c = 1;
  EXPECT_FALSE(D(1, 1, 1).VersISO8601YWD(a, b, c)) << "its Thursday lies in year 0";
}

typedef BOOL (*Shift)(CDateTimeBase&);

TEST(DateTimeShift, MonthsYearsAndMilliseconds) {
  const struct {
    CDateTimeBase from;
    Shift shift;
    CDateTimeBase to;
  } cases[] = {
      {D(2023, 1, 31), [](CDateTimeBase& v) { return v.bModifieMois(2); }, D(2023, 2, 28)},
      {D(2024, 1, 31), [](CDateTimeBase& v) { return v.bModifieMois(2); }, D(2024, 2, 29)},
      {D(2024, 3, 31), [](CDateTimeBase& v) { return v.bDecaleMois(-1); }, D(2024, 2, 29)},
      {D(2023, 12, 15), [](CDateTimeBase& v) { return v.bDecaleMois(13); }, D(2025, 1, 15)},
      {D(2024, 1, 15), [](CDateTimeBase& v) { return v.bDecaleMois(-13); }, D(2022, 12, 15)},
      {D(9999, 1, 31), [](CDateTimeBase& v) { return v.bDecaleMois(11); }, D(9999, 12, 31)},
      {D(2024, 2, 29), [](CDateTimeBase& v) { return v.bDecaleAnnee(1); }, D(2025, 2, 28)},
      {D(2024, 3, 1), [](CDateTimeBase& v) { return v.bDecaleMilli(-1); }, D(2024, 2, 29, 23, 59, 59, 999)},
      {D(2024, 2, 29, 23, 59, 59, 999), [](CDateTimeBase& v) { return v.bDecaleMilli(1); }, D(2024, 3, 1)},
      {D(2024, 3, 1), [](CDateTimeBase& v) { return v.bDecaleMilli(-3 * int64_t{kMillisecondsPerDay} - 1); },
       D(2024, 2, 26, 23, 59, 59, 999)},
      {D(9999, 12, 31, 23, 59, 59, 999), [](CDateTimeBase& v) { return v.bDecaleMilli(0); },
       D(9999, 12, 31, 23, 59, 59, 999)},
      // A value with an empty date is a time of day: it wraps, and days do not move it.
      {D(0, 0, 0, 23), [](CDateTimeBase& v) { return v.bDecaleMilli(2 * 3600000); }, D(0, 0, 0, 1)},
      {D(0, 0, 0, 1), [](CDateTimeBase& v) { return v.bDecaleJour(5); }, D(0, 0, 0, 1)},
  };
  for (const auto& c : cases) {
    CDateTimeBase v = c.from;
    EXPECT_TRUE(c.shift(v)) << std::string(Text(c.from).begin(), Text(c.from).end());
    EXPECT_TRUE(Same(v, c.to)) << std::string(Text(v).begin(), Text(v).end());
  }
}

// Every refused shift leaves the whole value as it was, the time of day included.
TEST(DateTimeShift, ResultsOutsideYearsOneTo9999AreRefused) {
  const CDateTimeBase end = D(9999, 12, 31, 12);
  const CDateTimeBase start = D(1, 1, 1, 12);
  struct Case {
    CDateTimeBase from;
    Shift shift;
  };
  const Case cases[] = {
      {end, [](CDateTimeBase& v) { return v.bDecaleAnnee(1); }},
      {start, [](CDateTimeBase& v) { return v.bDecaleAnnee(-1); }},
      {end, [](CDateTimeBase& v) { return v.bDecaleAnnee(INT_MAX); }},
      {start, [](CDateTimeBase& v) { return v.bDecaleAnnee(INT_MIN); }},
      {end, [](CDateTimeBase& v) { return v.bDecaleMois(1); }},
      {start, [](CDateTimeBase& v) { return v.bDecaleMois(-1); }},
      {end, [](CDateTimeBase& v) { return v.bDecaleMois(INT_MAX); }},
      {start, [](CDateTimeBase& v) { return v.bDecaleMois(INT_MIN); }},
      {end, [](CDateTimeBase& v) { return v.bDecaleJour(1); }},
      {start, [](CDateTimeBase& v) { return v.bDecaleJour(-1); }},
      {end, [](CDateTimeBase& v) { return v.bDecaleJour(INT_MAX); }},
      {start, [](CDateTimeBase& v) { return v.bDecaleJour(INT_MIN); }},
      {end, [](CDateTimeBase& v) { return v.bDecaleMilli(12 * 3600000); }},
      {start, [](CDateTimeBase& v) { return v.bDecaleMilli(-12 * 3600000 - 1); }},
      {end, [](CDateTimeBase& v) { return v.bDecaleMilli(INT64_MAX); }},
      {start, [](CDateTimeBase& v) { return v.bDecaleMilli(INT64_MIN); }},
      {D(0, 1, 1), [](CDateTimeBase& v) { return v.bDecaleMois(1); }},
      {D(2024, 13, 1), [](CDateTimeBase& v) { return v.bDecaleJour(1); }},
  };
  for (const Case& c : cases) {
    CDateTimeBase v = c.from;
    EXPECT_FALSE(c.shift(v)) << std::string(Text(c.from).begin(), Text(c.from).end());
    EXPECT_TRUE(Same(v, c.from));
  }
}

TEST(DateTimeFields, SettersRefuseOutOfRangeAndKeepTheOtherFields) {
  CDateTimeBase v = D(2024, 5, 31, 13, 45, 30, 250);
  const BOOL refused = v.bModifieAnnee(0) || v.bModifieAnnee(10000) || v.bModifieMois(13) || v.bModifieJour(32) ||
                       v.bModifieHeure(24) || v.bModifieHeure(-1) || v.bModifieMinute(60) || v.bModifieSeconde(60) ||
                       v.bModifieMilli(1000);
  EXPECT_FALSE(refused);
  EXPECT_TRUE(Same(v, D(2024, 5, 31, 13, 45, 30, 250)));
  EXPECT_TRUE(v.bModifieHeure(2) && v.bModifieMinute(3) && v.bModifieSeconde(4) && v.bModifieMilli(5) &&
              v.bModifieMois(6));
  EXPECT_TRUE(Same(v, D(2024, 6, 30, 2, 3, 4, 5))) << "the day clamped to June";
}

TEST(DateTimeFields, InitDateClampsTheDayAndRefusesOtherFieldsWhole) {
  CDateTimeBase v = D(2020, 1, 1);
  _SYSTEMTIME st{2023, 2, 0, 29, 23, 59, 58, 999};
  EXPECT_TRUE(v.InitDate(&st));
  EXPECT_TRUE(Same(v, D(2023, 2, 28, 23, 59, 58, 999))) << "29 February 2023 clamped to the 28th";
  st.wYear = 2024;
  EXPECT_TRUE(v.InitDate(&st));
  EXPECT_TRUE(Same(v, D(2024, 2, 29, 23, 59, 58, 999)));
  for (_SYSTEMTIME bad : {_SYSTEMTIME{0, 1, 0, 1, 0, 0, 0, 0}, _SYSTEMTIME{10000, 1, 0, 1, 0, 0, 0, 0},
                          _SYSTEMTIME{2024, 13, 0, 1, 0, 0, 0, 0}, _SYSTEMTIME{2024, 1, 0, 0, 0, 0, 0, 0},
                          _SYSTEMTIME{2024, 1, 0, 1, 24, 0, 0, 0}, _SYSTEMTIME{2024, 1, 0, 1, 0, 0, 0, 1000}}) {
    EXPECT_FALSE(v.InitDate(&bad));
    EXPECT_TRUE(Same(v, D(2024, 2, 29, 23, 59, 58, 999)));
  }
  EXPECT_FALSE(v.InitDate(nullptr));
  EXPECT_TRUE(v.InitDateCourante());
  EXPECT_EQ(v.nVersEntier(nullptr), 0);
}

TEST(DateTimeDifference, DurationAndDays) {
  CDureeBase d;
  d.m_llMilli = 42;
  EXPECT_EQ(CDateTimeBase::nCalculeDuree(D(2024, 3, 1), D(2024, 2, 28, 12), &d), 0);
  EXPECT_EQ(d.m_llMilli, 36 * 3600000LL);
  EXPECT_EQ(CDateTimeBase::nCalculeDuree(D(1, 1, 1), D(9999, 12, 31, 23, 59, 59, 999), &d), 0);
  EXPECT_EQ(d.m_llMilli, -(2994988LL + 657072) * kMillisecondsPerDay - 86399999);
  EXPECT_EQ(CDateTimeBase::nCalculeDuree(D(2024, 2, 30), D(2024, 1, 1), &d), DATETIME_ERR_INVALID_DATE);
  int n = 0;
  EXPECT_TRUE(CDateTimeBase::bCalculeDiffJour(D(2024, 3, 1), D(2023, 3, 1), &n));
  EXPECT_EQ(n, 366);
  EXPECT_FALSE(CDateTimeBase::bCalculeDiffJour(D(1800, 1, 2), CDateTimeBase(), &n));
  EXPECT_EQ(n, 2);
}

TEST(DateTimeText, PrefixesAndComparison) {
  const CDateTimeBase v = D(2024, 2, 3, 4, 5, 6, 7);
  wchar_t w[18];
  char a[18];
  v.VersChaine(w, 5);
  EXPECT_STREQ(w, L"20240");
  v.VersChaine(a, 40);
  EXPECT_STREQ(a, "20240203040506007");
  v.VersChaine(w, -3);
  EXPECT_STREQ(w, L"");
  EXPECT_EQ(v.nVersDate(w, 99), 0);
  EXPECT_STREQ(w, L"20240203");
  v.nVersHeure(a, 4);
  EXPECT_STREQ(a, "0405");
  EXPECT_STREQ(v.VersChaineFormate().pszGet(), L"2024-2-3 4:5:6,7");
  wchar_t* heap = v.pszCreeChaine();
  EXPECT_STREQ(heap, L"20240203040506007");
  free(heap);
  // A field stored beyond its width (Set does not check) keeps the text's 17 positions.
  EXPECT_EQ(Text(D(12345, 1, 1, 100)), L"23450101000000000");

  EXPECT_EQ(CDateTimeBase::nCompareDate(L"2024", L"20240101"), 0);
  EXPECT_EQ(CDateTimeBase::nCompareDate(L"", L"2024"), -1);
  EXPECT_EQ(CDateTimeBase::nCompareDate(L"2024", nullptr), 1);
  EXPECT_EQ(CDateTimeBase::nCompare(v, L"202402"), 0);
  EXPECT_EQ(CDateTimeBase::nCompare(v, L"20240204"), -1);
}

TEST(DateTimeText, HostStringAndBinaryRoundTrip) {
  const CDateTimeBase v = D(1999, 12, 31, 23, 59, 59, 999);
  CXYString<wchar_t> s;
  EXPECT_EQ(v.nVersChaine(&s), 0);
  EXPECT_STREQ(s.pszGet(), L"19991231235959999");
  CZVBIN bin;
  EXPECT_EQ(v.nVersBinaire(&bin), 0);
  EXPECT_EQ(bin.nGetSize(), 17);
  CDateTimeBase back;
  back.DepuisBinaire(&bin);
  EXPECT_TRUE(Same(back, v));
  back = CDateTimeBase();
  EXPECT_EQ(back.nDepuisBinaireValide(&bin), 0);
  EXPECT_TRUE(Same(back, v));
}

TEST(DateTimeText, CheckedReadingRefusesAndKeepsTheValue) {
  struct Case {
    const char* text;
    int result;
  };
  const Case cases[] = {
      {"", DATETIME_ERR_INVALID_DATE},         {"2024013", DATETIME_ERR_INVALID_DATE},
      {"20240230", DATETIME_ERR_INVALID_DATE}, {"00001301", DATETIME_ERR_INVALID_DATE},
      {"2024a101", DATETIME_ERR_INVALID_DATE}, {"20241301", DATETIME_ERR_INVALID_DATE},
      {"20240101240000", DATETIME_ERR_INVALID_TIME}, {"202401011", DATETIME_ERR_INVALID_TIME},
      {"2024010112a4", DATETIME_ERR_INVALID_TIME},
  };
  const CDateTimeBase before = D(2000, 6, 15, 1, 2, 3, 4);
  for (const Case& c : cases) {
    CZVBIN bin(c.text, static_cast<int>(strlen(c.text)));
    CDateTimeBase v = before;
    EXPECT_EQ(v.nDepuisBinaireValide(&bin), c.result) << c.text;
    EXPECT_TRUE(Same(v, before)) << c.text;
  }
  CZVBIN dateOnly("20240229", 8);
  CDateTimeBase v = before;
  EXPECT_EQ(v.nDepuisBinaireValide(&dateOnly), 0);
  EXPECT_TRUE(Same(v, D(2024, 2, 29)));
}

TEST(DateTimeText, TimePartValidation) {
  const struct {
    const wchar_t* text;
    uint32_t ms;
  } accepted[] = {{L"12", 12 * 3600000u},           {L"1234", 45240000u},        {L"123456", 45296000u},
                  {L"1234567", 45296700u},          {L"12345678", 45296780u},    {L"123456789", 45296789u},
                  {L"123456abc", 45296000u},        {L"1234567899", 45296789u},  {L"", 0u},
                  {L"235959999", kMillisecondsPerDay - 1}};
  for (const auto& c : accepted) {
    CDateTimeBase v = D(2024, 1, 1, 5);
    EXPECT_TRUE(v.__bSetPartieHeureValide(c.text)) << c.text;
    EXPECT_EQ(v.m_dwMilli, c.ms) << c.text;
  }
  for (const wchar_t* text : {L"1", L"123", L"12345", L"12a456", L"240000", L"126000", L"125960", L"a2"}) {
    CDateTimeBase v = D(2024, 1, 1, 5);
    EXPECT_FALSE(v.__bSetPartieHeureValide(text)) << text;
    EXPECT_EQ(v.m_dwMilli, 5 * 3600000u);
  }
  CDateTimeBase v;
  EXPECT_TRUE(v.__bSetPartieDateValide("99991231"));
  EXPECT_TRUE(v.__bSetPartieDateValide(L"00000229")) << "year 0 passes, a leap year";
  EXPECT_EQ(v.dwGetMotDate(), (2u << 8) | 29u);
  EXPECT_FALSE(v.__bSetPartieDateValide(L"00000230"));
  EXPECT_FALSE(v.__bSetPartieDateValide(static_cast<const char*>(nullptr)));
}

TEST(DateTimeText, UncheckedReadingAndSystemTimes) {
  CDateTimeBase v = D(1, 1, 1, 1);
  v.FromString(L"202403");
  EXPECT_TRUE(Same(v, D(2024, 3, 0))) << "a missing field reads 0, the time is cleared";
  v.FromString("2024030512345");
  EXPECT_TRUE(Same(v, D(2024, 3, 5, 12, 34, 0, 0)));
  _SYSTEMTIME st{9, 9, 9, 9, 9, 9, 9, 9};
  D(2024, 2, 3, 4, 5, 6, 7).nVersSysteme(&st);
  EXPECT_TRUE(InitFrom(st, D(2024, 2, 3, 4, 5, 6, 7)));
  EXPECT_EQ(st.wDayOfWeek, 9);
  CDateTimeBase::nHeureVersSysteme(L"23595912", &st);
  EXPECT_EQ(st.wYear + st.wMonth + st.wDay, 0);
  EXPECT_EQ(st.wHour * 10000 + st.wMinute * 100 + st.wSecond + st.wMilliseconds, 235959 + 120);
}

TEST(DateTimeDigitFields, ReadingAndWriting) {
  EXPECT_EQ(CDateTimeBase::nGetPropDateTime(L"20240315", 4, 2, FALSE), 3);
  EXPECT_EQ(CDateTimeBase::nGetPropDateTime("1234565", 6, 3, TRUE), 500);
  EXPECT_EQ(CDateTimeBase::nGetPropDateTime("12345612", 6, 3, FALSE), 0);
  EXPECT_EQ(CDateTimeBase::nGetPropDateTime("123456", 6, 3, TRUE), 0);
  EXPECT_EQ(CDateTimeBase::nGetPropDateTime(L" -7x", 0, 4, FALSE), -7);
  EXPECT_EQ(CDateTimeBase::nGetPropDateTime(L"99999999999999", 0, 14, FALSE), INT_MAX);
  EXPECT_EQ(CDateTimeBase::nGetPropDateTime(L"9", 0, 2000000000, TRUE), INT_MAX);

  wchar_t w[16];
  wmemset(w, L'#', 16);
  CDateTimeBase::SetPropDateTime(w + 4, 2, 3, 7, 6);
  EXPECT_STREQ(w + 4, L"##007#");
  CDateTimeBase::SetPropDateTime(w + 4, 0, 2, 12345, 2);
  EXPECT_STREQ(w + 4, L"45") << "a longer number keeps its last digits";
  EXPECT_EQ(w[3], L'#') << "nothing written before the field";
  char a[8];
  memset(a, '#', sizeof a);
  CDateTimeBase::SetPropDateTime(a, 3, 4, 1, 5);
  EXPECT_STREQ(a, "###00");

  wchar_t g[8] = {};
  EXPECT_EQ(FAST_SETI2DATE(g, 2024, 4) - g, 4);
  EXPECT_STREQ(g, L"2024");
  FAST_SETI2DATE(g, 45, 3);
  EXPECT_STREQ(g, L"0454");
}

}  // namespace

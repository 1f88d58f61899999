// Date-times: every day from year 1 to 9999, against std::chrono from 15 October 1582 on and the
// Julian count before; then shifts, setters, texts and digit fields, one table per operation.
#include "values/datetime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
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

std::string Text(const CDateTimeBase& v) {
  char b[kDateTimeTextChars + 1];
  v.VersChaine(b, kDateTimeTextChars);
  return b;
}

bool Same(const CDateTimeBase& a, const CDateTimeBase& b) { return memcmp(&a, &b, sizeof a) == 0; }

TEST(DateTimeCalendar, EveryDayFromYearOneTo9999) {
  using namespace std::chrono;
  constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const sys_days dayZero{year{1799} / December / 31};
  CDateTimeBase v = D(1, 1, 1);
  int failures = 0, previous = -657073, previousWeekday = 5;
  for (bool more = true; more; more = v.bDecaleJour(1)) {
    const int y = v.m_wAnnee, m = v.m_byMois, d = v.m_byJour;
    v.m_dwMilli = static_cast<uint32_t>(y * 7919 + m * 31 + d) * 1009u % kMillisecondsPerDay;
    int n = 0, back[3] = {}, isoYear, week, isoDay;
    bool ok = v.nVersEntier(&n) == 0 && n == previous + 1 && v.nGetJourDeLaSemaine() == (previousWeekday + 1) % 7 &&
              CDateTimeBase::__bEntierVersDate(n, back, back + 1, back + 2) && back[0] == d && back[1] == m &&
              back[2] == y;
    if (y < 1582 || (y == 1582 && (m < 10 || (m == 10 && d < 15)))) {
      // The Julian calendar: a leap day every 4th year, counted from 1 January of year 1.
      ok = ok && n == 365 * (y - 1) + (y - 1) / 4 + kDaysBefore[m - 1] + (m > 2 && y % 4 == 0) + d - 1 - 657072;
    } else {
      const sys_days day{year{y} / m / d};
      const sys_days thursday = day + days{4 - static_cast<int>(weekday{day}.iso_encoding())};
      ok = ok && n == (day - dayZero).count() &&
           v.nGetJourDeLaSemaine() == static_cast<int>(weekday{day}.c_encoding()) &&
           v.nVersJourJulien() == day.time_since_epoch().count() + 2440588 &&
           v.nGetJourDansAnnee() == (day - sys_days{year{y} / January / 1}).count() + 1 &&
           (y == 1582 ||  // the Thursday of a week may lie in the skipped days
            (v.VersISO8601YWD(isoYear, week, isoDay) && isoYear == static_cast<int>(year_month_day{thursday}.year()) &&
             week == (thursday - sys_days{year{isoYear} / January / 1}).count() / 7 + 1 &&
             isoDay == static_cast<int>(weekday{day}.iso_encoding())));
    }
    CDateTimeBase back17;
    back17.FromString(Text(v).c_str());
    ok = ok && Same(back17, v);
    if (!ok && ++failures <= 5) ADD_FAILURE() << Text(v);
    previous = n;
    previousWeekday = v.nGetJourDeLaSemaine();
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(previous, 2994988);
  EXPECT_EQ(Text(v).substr(0, 8), "99991231") << "no day after 31 December 9999";
}

// Decisions at the ends of the range and at the change of calendar; invalid dates, comparison
// and differences.
TEST(DateTimeCalendar, Edges) {
  int d = 0, m = 0, y = 0;
  EXPECT_TRUE(CDateTimeBase::__bEntierVersDate(2994989, &d, &m, &y));
  EXPECT_EQ(y * 10000 + m * 100 + d, 100000101) << "1 January 10000";
  EXPECT_FALSE(CDateTimeBase::__bEntierVersDate(2994990, &d, &m, &y));
  EXPECT_FALSE(CDateTimeBase::__bEntierVersDate(-657073, &d, &m, &y));
  EXPECT_EQ(y * 10000 + m * 100 + d, 100000101) << "outputs untouched";
  for (int day = 5; day <= 15; ++day) EXPECT_EQ(D(1582, 10, day).nVersJourJulien(), 2299161) << day;
  EXPECT_EQ(D(1582, 10, 4).nVersJourJulien(), 2299160);
  EXPECT_TRUE(CDateTimeBase::__nBissextile(1500) && !CDateTimeBase::__nBissextile(1900));
  int a = 1, b = 1, c = 1, n = 7;
  // D(1, 1, 1): its ISO week's Thursday lies in year 0.
  for (const CDateTimeBase& bad : {CDateTimeBase(), D(2023, 2, 29), D(2024, 13, 1), D(0, 1, 1), D(10000, 1, 1)}) {
    EXPECT_EQ(bad.nVersEntier(&n) * 100 + bad.nGetJourDeLaSemaine() * 10 + bad.nVersJourJulien(), 10990);
    EXPECT_TRUE(!bad.VersISO8601YWD(a, b, c) && a + b + c == 0);
  }
  EXPECT_TRUE(!D(1, 1, 1).VersISO8601YWD(a, b, c) && n == 7);
  EXPECT_EQ(CDateTimeBase::__nRectifieFinMois(31, 13, 2024), 31) << "no read past the month table";
  EXPECT_EQ(CDateTimeBase::nCompare(D(2023, 12, 31, 23), D(2024, 1, 1)), -1) << "the date word first";
  EXPECT_EQ(CDateTimeBase::nCompare(D(2024, 1, 1, 0, 0, 0, 2), D(2024, 1, 1, 0, 0, 0, 1)), 1);
  EXPECT_EQ(CDateTimeBase::s_nCompareDateSeule(D(2024, 1, 1, 5), D(2024, 1, 1, 6)), 0);
  EXPECT_EQ(CDateTimeBase::nCompareDate(L"2024", L"20240101"), 0) << "compared over the shorter text";
  EXPECT_EQ(CDateTimeBase::nCompareDate(L"", L"2024") * 10 + CDateTimeBase::nCompareDate(L"2024", nullptr), -9);
  EXPECT_EQ(CDateTimeBase::nCompare(D(2024, 2, 3, 4), L"20240204"), -1);
  CDureeBase span;
  const int64_t all = -(2994988LL + 657072) * kMillisecondsPerDay - 86399999;
  EXPECT_TRUE(CDateTimeBase::nCalculeDuree(D(1, 1, 1), D(9999, 12, 31, 23, 59, 59, 999), &span) == 0 &&
              span.m_llMilli == all);
  EXPECT_EQ(CDateTimeBase::nCalculeDuree(D(2024, 2, 30), D(2024, 1, 1), &span), DATETIME_ERR_INVALID_DATE);
  EXPECT_EQ(span.m_llMilli, all) << "untouched";
  EXPECT_TRUE(CDateTimeBase::bCalculeDiffJour(D(2024, 3, 1), D(2023, 3, 1), &n) && n == 366);
  EXPECT_FALSE(CDateTimeBase::bCalculeDiffJour(D(1800, 1, 2), CDateTimeBase(), &n));
  EXPECT_EQ(n, 2) << "written, the invalid side as 0";
}

// Shifts and month changes clamp the day; a refused one leaves the whole value as it was.
TEST(DateTimeShift, ResultOrRefusal) {
  enum Kind { kYears, kMonths, kDays, kMillis, kSetMonth };
  const CDateTimeBase end = D(9999, 12, 31, 12), start = D(1, 1, 1, 12);
  const struct { CDateTimeBase from; Kind kind; int64_t n; CDateTimeBase to; } rows[] = {  // to == from: refused
      {D(2023, 1, 31), kSetMonth, 2, D(2023, 2, 28)}, {D(2024, 1, 31), kSetMonth, 2, D(2024, 2, 29)},
      {D(2024, 3, 31), kMonths, -1, D(2024, 2, 29)}, {D(2023, 12, 15), kMonths, 13, D(2025, 1, 15)},
      {D(2024, 1, 15), kMonths, -13, D(2022, 12, 15)}, {D(9999, 1, 31), kMonths, 11, D(9999, 12, 31)},
      {D(2024, 2, 29), kYears, 1, D(2025, 2, 28)}, {D(2024, 3, 1), kMillis, -1, D(2024, 2, 29, 23, 59, 59, 999)},
      {D(2024, 2, 29, 23, 59, 59, 999), kMillis, 1, D(2024, 3, 1)},
      {D(2024, 3, 1), kMillis, -3 * int64_t{kMillisecondsPerDay} - 1, D(2024, 2, 26, 23, 59, 59, 999)},
      {D(0, 0, 0, 23), kMillis, 2 * 3600000, D(0, 0, 0, 1)},  // an empty date is a time of day: it wraps
      {D(0, 0, 0, 1), kDays, 5, D(0, 0, 0, 1)}, {end, kYears, 1, end}, {start, kYears, -1, start},
      {end, kYears, INT_MAX, end}, {start, kYears, INT_MIN, start}, {end, kMonths, 1, end}, {start, kMonths, -1, start},
      {end, kMonths, INT_MAX, end}, {start, kMonths, INT_MIN, start}, {end, kDays, 1, end}, {start, kDays, -1, start},
      {end, kDays, INT_MAX, end}, {start, kDays, INT_MIN, start}, {end, kMillis, 12 * 3600000, end},
      {start, kMillis, -12 * 3600000 - 1, start}, {end, kMillis, INT64_MAX, end}, {start, kMillis, INT64_MIN, start},
      {D(0, 1, 1), kMonths, 1, D(0, 1, 1)}, {D(2024, 13, 1), kDays, 1, D(2024, 13, 1)}};
  for (const auto& r : rows) {
    CDateTimeBase v = r.from;
    const int n = static_cast<int>(r.n);
    const BOOL done = r.kind == kYears    ? v.bDecaleAnnee(n)
                      : r.kind == kMonths ? v.bDecaleMois(n)
                      : r.kind == kDays   ? v.bDecaleJour(n)
                      : r.kind == kMillis ? v.bDecaleMilli(r.n)
                                          : v.bModifieMois(n);
    EXPECT_EQ(done != FALSE, !Same(r.from, r.to) || r.from.bEstDateVide()) << Text(r.from);
    EXPECT_EQ(Text(v), Text(r.to)) << Text(r.from);
  }
}

// The setters in turn: the day is clamped to its month; any other refused field refuses the whole.
TEST(DateTimeFields, InitDateFromSystemTime) {
  const CDateTimeBase before = D(2020, 1, 1, 1);
  const struct { _SYSTEMTIME st; CDateTimeBase expected; } rows[] = {  // expected == before: refused
      {{2023, 2, 6, 29, 23, 59, 58, 999}, D(2023, 2, 28, 23, 59, 58, 999)},
      {{2024, 4, 0, 31, 0, 0, 0, 0}, D(2024, 4, 30)}, {{2024, 2, 0, 29, 0, 0, 0, 0}, D(2024, 2, 29)},
      {{0, 1, 0, 1, 0, 0, 0, 0}, before}, {{10000, 1, 0, 1, 0, 0, 0, 0}, before},
      {{2024, 13, 0, 1, 0, 0, 0, 0}, before}, {{2024, 1, 0, 0, 0, 0, 0, 0}, before},
      {{2024, 1, 0, 1, 24, 0, 0, 0}, before}, {{2024, 1, 0, 1, 0, 60, 0, 0}, before},
      {{2024, 1, 0, 1, 0, 0, 60, 0}, before}, {{2024, 1, 0, 1, 0, 0, 0, 1000}, before}};
  for (const auto& r : rows) {
    CDateTimeBase v = before;
    EXPECT_EQ(v.InitDate(&r.st) != FALSE, !Same(r.expected, before)) << Text(r.expected);
    EXPECT_EQ(Text(v), Text(r.expected));
  }
  CDateTimeBase v = D(2024, 5, 31, 13, 45, 30, 250);
  EXPECT_FALSE(v.bModifieHeure(-1) || v.bModifieJour(32) || v.InitDate(nullptr));
  EXPECT_TRUE(v.bModifieHeure(2) && v.bModifieMinute(3) && v.bModifieMois(6) && Same(v, D(2024, 6, 30, 2, 3, 30, 250)))
      << "the other fields kept, the day clamped to June";
  EXPECT_TRUE(v.InitDateCourante() && v.nVersEntier(nullptr) == 0);
  _SYSTEMTIME st{9, 9, 9, 9, 9, 9, 9, 9};
  D(2024, 2, 3, 4, 5, 6, 7).nVersSysteme(&st);
  EXPECT_TRUE(v.InitDate(&st) && Same(v, D(2024, 2, 3, 4, 5, 6, 7)));
  EXPECT_EQ(st.wDayOfWeek, 9) << "not written";
  CDateTimeBase::nHeureVersSysteme(L"23595912", &st);
  EXPECT_EQ(st.wYear + st.wMonth + st.wDay, 0);
  EXPECT_EQ(st.wHour * 10000 + st.wMinute * 100 + st.wSecond + st.wMilliseconds, 235959 + 120);
}

// Prefixes of the 17 digits and the other writers; the checked reader: 110 for the date part (year
// 0 passes), 111 for the time part (a non-digit after the seconds ends it; 17 bytes at most read),
// the value kept on refusal; the unchecked reader; the digit fields.
TEST(DateTimeText, WritersAndReaders) {
  const CDateTimeBase t = D(2024, 2, 3, 4, 5, 6, 7);
  wchar_t w[18];
  char a[18];
  t.VersChaine(w, 5);
  EXPECT_STREQ(w, L"20240");
  t.VersChaine(w, -3);
  EXPECT_STREQ(w, L"");
  t.nVersDate(a, 99);
  EXPECT_STREQ(a, "20240203");
  t.nVersHeure(a, 4);
  EXPECT_STREQ(a, "0405");
  EXPECT_STREQ(t.VersChaineFormate().pszGet(), L"2024-2-3 4:5:6,7");
  EXPECT_EQ(Text(D(12345, 1, 1, 100)), "23450101000000000") << "a field beyond its width keeps 17 positions";
  CXYString<wchar_t> s;
  CZVBIN bin;
  EXPECT_EQ(t.nVersChaine(&s) + t.nVersBinaire(&bin), 0);
  EXPECT_STREQ(s.pszGet(), L"20240203040506007");
  EXPECT_EQ(bin.nGetSize(), 17);
  CDateTimeBase back;
  back.DepuisBinaire(&bin);
  EXPECT_TRUE(Same(back, t));
  const CDateTimeBase before = D(2000, 6, 15, 1, 2, 3, 4);
  const struct { const char* text; int result; CDateTimeBase value; } checked[] = {
      {"", 110, before}, {"2024013", 110, before}, {"20240230", 110, before}, {"00001301", 110, before},
      {"2024a101", 110, before}, {"20240229", 0, D(2024, 2, 29)}, {"00000230", 110, before},
      {"00000229", 0, D(0, 2, 29)}, {"2024010112", 0, D(2024, 1, 1, 12)}, {"202401011234", 0, D(2024, 1, 1, 12, 34)},
      {"20240101123456", 0, D(2024, 1, 1, 12, 34, 56)}, {"202401011234567", 0, D(2024, 1, 1, 12, 34, 56, 700)},
      {"2024010112345678", 0, D(2024, 1, 1, 12, 34, 56, 780)}, {"20240101123456abc", 0, D(2024, 1, 1, 12, 34, 56)},
      {"20240101123456789", 0, D(2024, 1, 1, 12, 34, 56, 789)},
      {"202401012359599999", 0, D(2024, 1, 1, 23, 59, 59, 999)},
      {"202401011", 111, before}, {"20240101123", 111, before}, {"2024010112345", 111, before},
      {"2024010112a456", 111, before}, {"20240101240000", 111, before}, {"20240101126000", 111, before},
      {"20240101125960", 111, before}, {"20240101a2", 111, before}};
  for (const auto& r : checked) {
    CZVBIN bin(r.text, static_cast<int>(strlen(r.text)));
    CDateTimeBase v = before;
    EXPECT_EQ(v.nDepuisBinaireValide(&bin), r.result) << r.text;
    EXPECT_TRUE(Same(v, r.value)) << r.text;
  }
  CDateTimeBase v = before;
  EXPECT_TRUE(v.__bSetPartieHeureValide(L"") && v.m_dwMilli == 0) << "midnight";
  EXPECT_FALSE(v.__bSetPartieDateValide(static_cast<const char*>(nullptr)));
  v.FromString(L"202403");
  EXPECT_TRUE(Same(v, D(2024, 3, 0))) << "unchecked: a missing field reads 0, the time is cleared";
  v.FromString("2024030512345");
  EXPECT_TRUE(Same(v, D(2024, 3, 5, 12, 34)));
  const struct { const char* text; int start, count; BOOL partial; int value; } fields[] = {
      {"20240315", 4, 2, FALSE, 3}, {"1234565", 6, 3, TRUE, 500}, {"12345612", 6, 3, FALSE, 0},
      {"123456", 6, 3, TRUE, 0}, {" -7x", 0, 4, FALSE, -7}, {"99999999999999", 0, 14, FALSE, INT_MAX},
      {"9", 0, 2000000000, TRUE, INT_MAX}};
  for (const auto& r : fields) {
    EXPECT_EQ(CDateTimeBase::nGetPropDateTime(r.text, r.start, r.count, r.partial), r.value) << r.text;
    const std::wstring wide(r.text, r.text + strlen(r.text));
    EXPECT_EQ(CDateTimeBase::nGetPropDateTime(wide.c_str(), r.start, r.count, r.partial), r.value) << r.text;
  }
  // Right-aligned, '0'-filled, the last digits of a longer number, ended at total; nothing before the field.
  const struct { int start, count, value, total; const wchar_t* text; } writes[] = {
      {2, 3, 7, 6, L"###007#"}, {0, 2, 12345, 2, L"#45"}, {3, 4, 1, 5, L"####00"}};
  for (const auto& r : writes) {
    wmemset(w, L'#', 16);
    memset(a, '#', 16);
    CDateTimeBase::SetPropDateTime(w + 1, r.start, r.count, r.value, r.total);
    CDateTimeBase::SetPropDateTime(a + 1, r.start, r.count, r.value, r.total);
    EXPECT_EQ(std::wstring(w), r.text);
    EXPECT_EQ(std::wstring(a, a + strlen(a)), r.text);
  }
  wchar_t g[8] = {};
  EXPECT_EQ(FAST_SETI2DATE(g, 2024, 4) - g, 4);
  FAST_SETI2DATE(g, 45, 3);
  EXPECT_STREQ(g, L"0454");
}

}  // namespace

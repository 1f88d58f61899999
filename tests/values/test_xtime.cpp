// Calendar time: every writer read back (by its reader, or by scanf for the SQL forms), the
// partial-text bounds checked against date arithmetic, and the local/UTC conversions in three
// zones (UTC, Paris and New York, in winter and in summer).
#include "values/xtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <random>
#include <string>
#include <tuple>

#include "common/ctstring.h"

namespace {

typedef std::tuple<int, int, int, int, int, int, int> Fields;

Fields F(const CXTime& x) {
  const tm& t = *x.nGetTimeTm();
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, x.nGetMilli()};
}
Fields F(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) { return {y, mo, d, h, mi, s, ms}; }

std::wstring W(const CTString& s) { return s.pszGet(); }

CXTime Make(int y, int mo, int d, int h, int mi, int s, int ms) {
  CXTime x(y, mo, d, h, mi, s, -1);
  x.m_nMilli = ms;
  return x;
}

std::wstring Full(const CDateTimeBase& d) {
  wchar_t b[kDateTimeTextChars + 1];
  d.VersChaine(b, kDateTimeTextChars);
  return b;
}

bool StartsWith(const std::wstring& s, const std::wstring& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

TEST(XTime, EmptyValueAndPaddedYears) {
  CXTime empty;
  wchar_t w[kXTimeTextChars];
  char a[kXTimeTextChars];
  empty.GetZVDate(w);
  EXPECT_STREQ(w, L"00000101");
  empty.FormatToOdbcDate(w);
  EXPECT_STREQ(w, L"{d '0000-01-01'}");
  EXPECT_EQ(empty.nGetTimeTm()->tm_wday, -1);
  EXPECT_EQ(empty.nGetTimeTm()->tm_isdst, -1);

  const CXTime early = Make(5, 3, 4, 6, 7, 8, 9);
  CTString s;
  early.GetZVDate(s);
  EXPECT_EQ(W(s), L"00050304");
  early.GetZVTimeAAAAMMJJ_HHMMSS(s);
  EXPECT_EQ(W(s), L"00050304 060708");
  early.GetZVTimeAAAAMMJJHHMMSSCCm(s);
  EXPECT_EQ(W(s), L"00050304060708009");
  early.GetZVDate(a);
  EXPECT_STREQ(a, "00050304");
  early.Format(L"%Y-%m-%d|%%Y|%EY", s);
  EXPECT_EQ(W(s).substr(0, 14), L"0005-03-04|%Y|");
  early.Format(nullptr, w);
  EXPECT_STREQ(w, L"");
}

// The SQL and readable forms are read back by scanf in EveryWriterReadsBack; here their exact text.
TEST(XTime, FixedFormats) {
  const CXTime x = Make(2024, 2, 29, 13, 5, 9, 42);
  wchar_t w[kXTimeTextChars];
  CTString s;
  x.FormatToSQLServerTimeStamp(w);
  EXPECT_STREQ(w, L"20240229 13:05:09.042");
  x.FormatToOdbcTime(s);
  EXPECT_EQ(W(s), L"{t '13:05:09.042'}");
  x.FormatToOdbcDate(w);
  EXPECT_STREQ(w, L"{d '2024-02-29'}");
  x.GetZVTimeReadableSS(s);
  EXPECT_EQ(W(s), L"29/02/2024 13:05:09");
  // Fields out of range still fit the documented buffer.
  const CXTime wild = Make(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN);
  wild.FormatToOdbcTimeStamp(w);
  EXPECT_LT(wcslen(w), kXTimeTextChars);
}

TEST(XTime, ReadingHostTexts) {
  CXTime x;
  EXPECT_TRUE(x.bSetZVDate(L"20240009"));
  EXPECT_EQ(F(x), F(2024, 1, 9));
  EXPECT_FALSE(x.bSetZVDate(L"202401"));
  EXPECT_FALSE(x.bSetZVDate(L"202401011"));
  EXPECT_TRUE(x.bSetZVTime(L"1234567"));
  EXPECT_EQ(F(x), F(0, 1, 1, 12, 34, 56, 700)) << "one fraction digit is tenths";
  EXPECT_TRUE(x.bSetZVTime(L"12345678"));
  EXPECT_EQ(x.nGetMilli(), 780);
  EXPECT_TRUE(x.bSetZVTime(L"1234"));
  EXPECT_EQ(F(x), F(0, 1, 1, 12, 34));
  EXPECT_FALSE(x.bSetZVTime(L"123"));

  EXPECT_TRUE(x.bSetZVDateTime(L"20240102030405", -1)) << "to the second, as GetZVTimeAAAAMMJJ_HHMMSS writes";
  EXPECT_EQ(F(x), F(2024, 1, 2, 3, 4, 5));
  EXPECT_TRUE(x.bSetZVDateTime(L"2024010203040567", -1));
  EXPECT_EQ(x.nGetMilli(), 670);
  EXPECT_TRUE(x.bSetZVDateTime(L"20240102 030405678", 1));
  EXPECT_EQ(F(x), F(2024, 1, 2, 3, 4, 5, 678));
  EXPECT_EQ(x.nGetTimeTm()->tm_isdst, 1);
  EXPECT_TRUE(x.bSetZVDateTime("202401020304056789", 0));
  EXPECT_EQ(x.nGetMilli(), 678);
  EXPECT_FALSE(x.bSetZVDateTime(L"2024010203040", -1));
  EXPECT_FALSE(x.bSetZVDateTime(L"20240102 03040", -1));
  EXPECT_EQ(F(x), F(0, 1, 1));
  EXPECT_FALSE(x.bSetZVDateTime(static_cast<const char*>(nullptr), -1));
}

TEST(XTime, DocumentedBounds) {
  CXTime x;
  const struct {
    const wchar_t* text;
    Fields min, max;
  } cases[] = {
      {L"2024", F(2024, 1, 1), F(2025, 1, 1)},
      {L"20241", F(2024, 10, 1), F(2025, 1, 1)},
      {L"2024031", F(2024, 3, 10), F(2024, 3, 20)},
      {L"20240310 1", F(2024, 3, 10, 10), F(2024, 3, 10, 20)},
      {L"202412", F(2024, 12, 1), F(2025, 1, 1)},
      {L"20240229", F(2024, 2, 29), F(2024, 3, 1)},
      {L"20240131", F(2024, 1, 31), F(2024, 2, 1)},
      {L"2024013", F(2024, 1, 30), F(2024, 2, 1)},
      {L"2024030105", F(2024, 3, 1, 5), F(2024, 3, 1, 6)},
      {L"20240301 05", F(2024, 3, 1, 5), F(2024, 3, 1, 6)},
      {L"2024030123", F(2024, 3, 1, 23), F(2024, 3, 2)},
      {L"20231231235959999", F(2023, 12, 31, 23, 59, 59, 999), F(2024, 1, 1)},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(x.bSetZVDateTimeMin(c.text, -1));
    EXPECT_EQ(F(x), c.min) << c.text;
    EXPECT_TRUE(x.bSetZVDateTimeMax(c.text, -1));
    EXPECT_EQ(F(x), c.max) << c.text;
  }
  for (const wchar_t* text : {L"9999", L"", L"2024013a", L"202403011200000000"})
    EXPECT_FALSE(x.bSetZVDateTimeMax(text, -1)) << text;
  EXPECT_TRUE(x.bSetZVDateTimeMin(L"", 0));
  EXPECT_EQ(F(x), F(0, 1, 1));
  EXPECT_EQ(x.nGetTimeTm()->tm_isdst, 0);

  const struct {
    const wchar_t* text;
    int hour, minute;
  } times[] = {{L"1", 20, 0}, {L"19", 20, 0}, {L"0959", 10, 0}, {L"123", 12, 40}};
  for (const auto& c : times) {
    EXPECT_TRUE(x.bSetZVTimeMax(c.text, -1));
    EXPECT_EQ(F(x), F(0, 1, 1, c.hour, c.minute)) << c.text;
  }
  for (const wchar_t* text : {L"2", L"23", L"235959999", L"", L"1234567890", L"1x"})
    EXPECT_FALSE(x.bSetZVTimeMax(text, -1)) << text;
  // The minimum of a time starts from midnight whatever the value held.
  x = Make(2024, 5, 6, 7, 8, 9, 10);
  EXPECT_TRUE(x.bSetZVTimeMin(L"1", 1));
  EXPECT_EQ(F(x), F(2024, 5, 6, 10));
}

// For prefixes of real date-times: the minimum starts with the prefix and the millisecond
// before it does not; the value just before the maximum starts with it and the maximum does not.
// From 1600 on, where the two classes share the Gregorian calendar.
TEST(XTime, BoundsAreTheFirstAndThePastTheLastValueOfAPrefix) {
  std::mt19937 rng(17);
  int failures = 0;
  for (int i = 0; i < 3000; ++i) {
    CDateTimeBase d;
    d.Set(1600 + static_cast<int>(rng() % 7400), 1 + static_cast<int>(rng() % 12), 1, 0, 0, 0, 0);
    d.m_byJour = static_cast<uint8_t>(1 + rng() % CDateTimeBase::s_nGetNbJourMois(d.m_byMois, d.m_wAnnee));
    d.m_dwMilli = rng() % kMillisecondsPerDay;
    const std::wstring full = Full(d);
    for (size_t len = 1; len <= full.size(); ++len) {
      std::wstring prefix = full.substr(0, len);
      if (len > 8 && (i & 1)) prefix.insert(8, 1, L' ');
      const std::wstring plain = full.substr(0, len);
      CXTime lo, hi;
      CDateTime a, b;
      bool ok = lo.bSetZVDateTimeMin(prefix.c_str(), -1) && lo.GetZVDateTime(&a) && StartsWith(Full(a), plain) &&
                hi.bSetZVDateTimeMax(prefix.c_str(), -1) && hi.GetZVDateTime(&b) && !StartsWith(Full(b), plain) &&
                a.bDecaleMilli(-1) && !StartsWith(Full(a), plain) && b.bDecaleMilli(-1) && StartsWith(Full(b), plain);
      if (!ok && ++failures <= 5) ADD_FAILURE() << std::string(prefix.begin(), prefix.end());
    }
    // The same for the time of day alone.
    CDateTimeBase t;
    t.m_dwMilli = d.m_dwMilli;
    wchar_t time[kTimeTextChars + 1];
    t.nVersHeure(time, kTimeTextChars);
    for (int len = 1; len <= kTimeTextChars; ++len) {
      const std::wstring prefix(time, len);
      CXTime lo, hi;
      wchar_t text[kXTimeTextChars];
      bool ok = lo.bSetZVTimeMin(prefix.c_str(), -1);
      lo.GetZVTime(text);
      ok = ok && StartsWith(text, prefix);
      if (hi.bSetZVTimeMax(prefix.c_str(), -1)) {
        const tm& h = *hi.nGetTimeTm();
        CDateTimeBase before;
        before.m_dwMilli = static_cast<uint32_t>(((h.tm_hour * 60 + h.tm_min) * 60 + h.tm_sec) * 1000 + hi.nGetMilli() - 1);
        hi.GetZVTime(text);
        wchar_t prev[kTimeTextChars + 1];
        before.nVersHeure(prev, kTimeTextChars);
        ok = ok && !StartsWith(text, prefix) && StartsWith(prev, prefix);
      } else {
        ok = ok && StartsWith(L"235959999", prefix);
      }
      if (!ok && ++failures <= 5) ADD_FAILURE() << std::string(prefix.begin(), prefix.end());
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(XTime, EveryWriterReadsBack) {
  std::mt19937 rng(29);
  for (int i = 0; i < 5000; ++i) {
    const int y = 1 + static_cast<int>(rng() % 9999), mo = 1 + static_cast<int>(rng() % 12);
    const CXTime x = Make(y, mo, 1 + static_cast<int>(rng() % CXTime::nGetDayInMonth(y, mo)),
                          static_cast<int>(rng() % 24), static_cast<int>(rng() % 60), static_cast<int>(rng() % 60),
                          static_cast<int>(rng() % 1000));
    const auto [Y, M, D, h, m, s, ms] = F(x);
    CTString text;
    wchar_t w[kXTimeTextChars];
    char a[kXTimeTextChars], b[kXTimeTextChars];
    CXTime r;
    x.GetZVTimeAAAAMMJJHHMMSSCCm(text);
    ASSERT_TRUE(r.bSetZVDateTime(text.pszGet(), -1));
    ASSERT_EQ(F(r), F(x));
    x.GetZVTimeAAAAMMJJ_HHMMSS(text);
    ASSERT_TRUE(r.bSetZVDateTime(text.pszGet(), -1));
    ASSERT_EQ(F(r), F(Y, M, D, h, m, s));
    x.GetZVDate(a);
    x.GetZVTime(b);
    ASSERT_TRUE(r.bSetZVDateTime((std::string(a) + b).c_str(), -1));
    ASSERT_EQ(F(r), F(x));
    x.GetZVDate(text);
    ASSERT_TRUE(r.bSetZVDate(text.pszGet()));
    x.GetZVDate(w);
    ASSERT_EQ(W(text), w);
    ASSERT_EQ(F(r), F(Y, M, D));
    x.GetZVTime(w);
    x.GetZVTimeHHMMSSCCm(text);
    ASSERT_EQ(W(text), w);
    ASSERT_TRUE(r.bSetZVTime(w));
    ASSERT_EQ(F(r), F(0, 1, 1, h, m, s, ms));

    int v[7];
    x.FormatToOdbcTimeStamp(w);
    ASSERT_EQ(swscanf(w, L"{ts '%d-%d-%d %d:%d:%d.%d'}", v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6), 7);
    ASSERT_EQ(F(v[0], v[1], v[2], v[3], v[4], v[5], v[6]), F(x));
    x.FormatToSQLServerTimeStamp(w);
    ASSERT_EQ(swscanf(w, L"%4d%2d%2d %d:%d:%d.%d", v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6), 7);
    ASSERT_EQ(F(v[0], v[1], v[2], v[3], v[4], v[5], v[6]), F(x));
    x.GetZVTimeReadable(text);
    ASSERT_EQ(swscanf(text.pszGet(), L"%d/%d/%d %d:%d:%d,%d", v + 2, v + 1, v, v + 3, v + 4, v + 5, v + 6), 7);
    ASSERT_EQ(F(v[0], v[1], v[2], v[3], v[4], v[5], v[6]), F(x));

    CDateTime dt;
    ASSERT_TRUE(x.GetZVDateTime(&dt));
    CXTime back;
    back.SetTime(dt);
    ASSERT_EQ(F(back), F(x));
  }
}

TEST(XTime, ConversionsWithoutZone) {
  EXPECT_EQ(F(CXTime(0x5821, 0x6000, -1)), F(2024, 1, 1, 12));
  _FILETIME ft;
  EXPECT_TRUE(CXTime::UnixTimeToFileTime(&ft, 0));
  EXPECT_EQ((uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime, 116444736000000000ULL);
  const uint64_t halfBefore = 116444736000000000ULL - 5000000;  // 1969-12-31 23:59:59.5
  ft = {static_cast<DWORD>(halfBefore), static_cast<DWORD>(halfBefore >> 32)};
  EXPECT_EQ(CXTime::FileTimeToUnixTime(ft), -1) << "rounded down, not toward zero";
  EXPECT_FALSE(CXTime::UnixTimeToFileTime(&ft, -20000000000L)) << "before 1601";
  const _SYSTEMTIME st{2024, 7, 1, 1, 12, 0, 0, 0};
  EXPECT_EQ(CXTime::SystemTimeToUnixTime(st), 1719835200);
  EXPECT_EQ(CXTime::SystemTimeToUnixTime(_SYSTEMTIME{2024, 13, 0, 1, 0, 0, 0, 0}), -1);
  const _SYSTEMTIME back = CXTime::UnixTimeToSystemTime(1719835200);
  EXPECT_EQ(memcmp(&back, &st, sizeof st), 0);

  CXTime x;
  x.SetUTCTime(1719835200);
  EXPECT_EQ(F(x), F(2024, 7, 1, 12));
  x.SetUTCTime(-1);
  EXPECT_EQ(F(x), F(0, 1, 1));
  _SYSTEMTIME out{};
  EXPECT_FALSE(Make(70000, 1, 1, 0, 0, 0, 0).bGetAsSystemTime(out)) << "no year wraps into 16 bits";
  EXPECT_EQ(out.wYear, 0);
  CDateTime dt;
  dt.Set(2000, 1, 1, 0, 0, 0, 0);
  EXPECT_FALSE(CXTime().GetZVDateTime(&dt)) << "year 0";
  EXPECT_EQ(dt.m_wAnnee, 2000);

  EXPECT_TRUE(Make(2024, 1, 1, 0, 0, 0, 1) > Make(2024, 1, 1, 0, 0, 0, 0));
  EXPECT_FALSE(Make(2023, 12, 31, 23, 59, 59, 999) >= Make(2024, 1, 1, 0, 0, 0, 0));
  EXPECT_TRUE(Make(2024, 1, 1, 0, 0, 0, 0) >= Make(2024, 1, 1, 0, 0, 0, 0));
  const CXTime low = Make(INT32_MIN + 1900, 1, 1, 0, 0, 0, 0), high = Make(INT32_MAX, 1, 1, 0, 0, 0, 0);
  EXPECT_LT(CXTime::snCompare(low.nGetTimeTm(), high.nGetTimeTm()), 0);

  EXPECT_EQ(CXTime::nGetDayInMonth(2024, 13), -1);
  EXPECT_FALSE(CXTime::bBissextile(1500)) << "the Gregorian rule for every year";
  EXPECT_EQ(CXTime::nGetDayInMonth(L"20240"), 31) << "a missing month digit counts as 0: January";
  EXPECT_EQ(CXTime::nGetDayInMonth(L"202402"), 29);
  EXPECT_EQ(CXTime::nGetDayInMonth(L"2023021"), 28);
  EXPECT_TRUE(CXTime::bBissextile(L"2"));  // year 2000
}

// ---- In a zone ----

struct Zone {
  const char* name;
  long winterOffset;  // seconds east of UTC
  long summerOffset;
};

class XTimeZone : public testing::TestWithParam<Zone> {
 protected:
  void SetUp() override {
    const char* old = getenv("TZ");
    m_bHad = old != nullptr;
    if (m_bHad) m_saved = old;
    setenv("TZ", GetParam().name, 1);
    tzset();
    // A zone the system does not know would silently be UTC.
    ASSERT_EQ(LocalOffset(kWinter), GetParam().winterOffset);
    ASSERT_EQ(LocalOffset(kSummer), GetParam().summerOffset);
  }
  void TearDown() override {
    if (m_bHad) setenv("TZ", m_saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  static long LocalOffset(time_t t) {
    tm local;
    localtime_r(&t, &local);
    return local.tm_gmtoff;
  }

  static constexpr time_t kWinter = 1705320000;  // 2024-01-15 12:00 UTC
  static constexpr time_t kSummer = 1719835200;  // 2024-07-01 12:00 UTC

 private:
  bool m_bHad = false;
  std::string m_saved;
};

TEST_P(XTimeZone, UTCFieldsReadAsUTCInEverySeason) {
  EXPECT_EQ(Make(2024, 7, 1, 12, 0, 0, 0).nGetTime32_t_UTC(), kSummer);
  EXPECT_EQ(Make(2024, 1, 15, 12, 0, 0, 0).nGetTime32_t_UTC(), kWinter);
  const time_t now = time(nullptr);
  EXPECT_EQ(CXTime::__s_nGetOffsetMkTime(), LocalOffset(now));
}

TEST_P(XTimeZone, LocalAndUTCConversions) {
  for (const time_t t : {kWinter, kSummer}) {
    const long offset = t == kWinter ? GetParam().winterOffset : GetParam().summerOffset;
    const CXTime local{static_cast<long>(t)};
    EXPECT_EQ(local.nGetTimeTm()->tm_hour, 12 + offset / 3600);
    EXPECT_EQ(local.nGetTime32_t(), t);
    tm utc, back;
    ASSERT_TRUE(CXTime::Local2UTC(*local.nGetTimeTm(), utc));
    EXPECT_EQ(utc.tm_hour, 12);
    ASSERT_TRUE(CXTime::UTC2Local(utc, back));
    EXPECT_EQ(CXTime::snCompare(&back, local.nGetTimeTm()), 0);
  }
  const CXTime empty{-1L};
  EXPECT_EQ(F(empty), F(0, 1, 1));
  CXTime now, nowUtc;
  now.SetFromLocalTime();
  nowUtc.SetFromUTCTime();
  EXPECT_LE(std::abs(now.nGetTime32_t() - time(nullptr)), 2);
  EXPECT_LE(std::abs(nowUtc.nGetTime32_t_UTC() - time(nullptr)), 2);
}

// File time -> local CXTime -> file time, to the millisecond, away from the hours the clock
// changes (a local time there stands for two instants).
TEST_P(XTimeZone, FileTimesRoundTripToTheMillisecond) {
  std::mt19937_64 rng(7);
  int checked = 0;
  for (int i = 0; i < 3000; ++i) {
    const time_t t = static_cast<time_t>(rng() % 4102444800ULL);  // 1970 to 2100
    if (LocalOffset(t - 7200) != LocalOffset(t + 7200)) continue;
    const uint64_t v = static_cast<uint64_t>(t) * 10000000 + 116444736000000000ULL + (rng() % 1000) * 10000;
    const _FILETIME ft{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
    const CXTime x(ft, -1);
    _FILETIME back{};
    ASSERT_TRUE(x.bGetAsFileTime(back));
    ASSERT_EQ((uint64_t{back.dwHighDateTime} << 32) | back.dwLowDateTime, v) << t;
    ASSERT_EQ(x.nGetTimeTm()->tm_hour, static_cast<int>((t + LocalOffset(t)) / 3600 % 24));
    ++checked;
  }
  EXPECT_GT(checked, 2900);
  _FILETIME untouched{1, 2};
  EXPECT_FALSE(CXTime().bGetAsFileTime(untouched));
  EXPECT_EQ(untouched.dwLowDateTime + untouched.dwHighDateTime, 3u);
}

INSTANTIATE_TEST_SUITE_P(Zones, XTimeZone,
                         testing::Values(Zone{"UTC", 0, 0}, Zone{"Europe/Paris", 3600, 7200},
                                         Zone{"America/New_York", -18000, -14400}),
                         [](const testing::TestParamInfo<Zone>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == '/') c = '_';
                           return name;
                         });

}  // namespace

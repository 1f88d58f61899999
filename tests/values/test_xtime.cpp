// Calendar time: writers and readers (every writer read back over random dates), partial-text
// bounds checked against date arithmetic, and the local/UTC conversions under three zones.
#include "values/xtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>

#include "common/ctstring.h"
#include "tests/support/time_oracle.h"

namespace {

typedef std::tuple<int, int, int, int, int, int, int> Fields;

Fields F(const CXTime& x) {
  const tm& t = *x.nGetTimeTm();
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, x.nGetMilli()};
}
Fields F(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) { return {y, mo, d, h, mi, s, ms}; }

CXTime Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  CXTime x(y, mo, d, h, mi, s, -1);
  x.m_nMilli = ms;
  return x;
}

// What a writer writes: into a CTString, a wide or a narrow buffer.
std::wstring Out(const CXTime& x, void (CXTime::*write)(CTString&) const) {
  CTString s;
  (x.*write)(s);
  return s.pszGet();
}
template <typename T>
std::wstring Out(const CXTime& x, void (CXTime::*write)(T*) const) {
  T b[kXTimeTextChars];
  (x.*write)(b);
  return std::wstring(b, b + std::char_traits<T>::length(b));
}

std::wstring Full(const CDateTimeBase& d) {
  wchar_t b[kDateTimeTextChars + 1];
  d.VersChaine(b, kDateTimeTextChars);
  return b;
}
bool StartsWith(const std::wstring& s, const std::wstring& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Years on four digits at least; fields out of range stay within the buffer. Each reader resets
// first; FALSE leaves the reset value.
TEST(XTime, TextsWrittenAndRead) {
  const CXTime empty, early = Make(5, 3, 4, 6, 7, 8, 9), x = Make(2024, 2, 29, 13, 5, 9, 42);
  const CXTime wild = Make(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN);
  CTString formatted;
  early.Format(L"%Y-%m-%d|%%Y|", formatted);
  const struct { std::wstring got; const wchar_t* text; } written[] = {
      {Out<wchar_t>(empty, &CXTime::GetZVDate), L"00000101"},
      {Out<wchar_t>(empty, &CXTime::FormatToOdbcDate), L"{d '0000-01-01'}"},
      {Out(early, &CXTime::GetZVDate), L"00050304"}, {Out<char>(early, &CXTime::GetZVDate), L"00050304"},
      {Out(early, &CXTime::GetZVTimeAAAAMMJJ_HHMMSS), L"00050304 060708"},
      {Out(early, &CXTime::GetZVTimeAAAAMMJJHHMMSSCCm), L"00050304060708009"}, {formatted.pszGet(), L"0005-03-04|%Y|"},
      {Out<wchar_t>(x, &CXTime::FormatToSQLServerTimeStamp), L"20240229 13:05:09.042"},
      {Out(x, &CXTime::FormatToOdbcTime), L"{t '13:05:09.042'}"}, {Out(x, &CXTime::GetZVTimeHHMM), L"1305"},
      {Out(x, &CXTime::FormatToOdbcTimeStamp), L"{ts '2024-02-29 13:05:09.042'}"},
      {Out(x, &CXTime::GetZVTimeReadableSS), L"29/02/2024 13:05:09"},
      {Out(x, &CXTime::GetZVTimeReadable), L"29/02/2024 13:05:09,042"}};
  for (const auto& r : written) EXPECT_EQ(r.got, r.text);
  EXPECT_LT(Out<wchar_t>(wild, &CXTime::FormatToOdbcTimeStamp).size(), kXTimeTextChars);
  EXPECT_EQ(empty.nGetTimeTm()->tm_wday * 10 + empty.nGetTimeTm()->tm_isdst, -11);

  typedef BOOL (*Read)(CXTime&, const wchar_t*);
  const Read date = [](CXTime& v, const wchar_t* t) { return v.bSetZVDate(t); };
  const Read time = [](CXTime& v, const wchar_t* t) { return v.bSetZVTime(t); };
  const Read both = [](CXTime& v, const wchar_t* t) { return v.bSetZVDateTime(t, -1); };
  const struct { const wchar_t* text; Read read; bool ok; Fields fields; } read[] = {
      {L"20240009", date, true, F(2024, 1, 9)}, {L"202401", date, false, F(0, 1, 1)},
      {L"202401011", date, false, F(0, 1, 1)}, {L"1234567", time, true, F(0, 1, 1, 12, 34, 56, 700)},
      {L"12345678", time, true, F(0, 1, 1, 12, 34, 56, 780)}, {L"1234", time, true, F(0, 1, 1, 12, 34)},
      {L"123", time, false, F(0, 1, 1)}, {L"20240102030405", both, true, F(2024, 1, 2, 3, 4, 5)},
      {L"2024010203040567", both, true, F(2024, 1, 2, 3, 4, 5, 670)},
      {L"20240102 030405678", both, true, F(2024, 1, 2, 3, 4, 5, 678)},
      {L"2024010203040", both, false, F(0, 1, 1)}, {L"20240102 03040", both, false, F(0, 1, 1)}};
  for (const auto& r : read) {
    CXTime v = Make(1999, 9, 9, 9);
    EXPECT_EQ(r.read(v, r.text) != FALSE, r.ok) << r.text;
    EXPECT_EQ(F(v), r.fields) << r.text;
  }
  CXTime v;
  EXPECT_TRUE(v.bSetZVDateTime("202401020304056789", 1) && v.nGetMilli() == 678 && v.nGetTimeTm()->tm_isdst == 1);
  EXPECT_FALSE(v.bSetZVDateTime(static_cast<const char*>(nullptr), -1));
}

// The bounds of partial texts; then over random date-times from 1600 on (both classes on the
// Gregorian calendar): writers read back, and for each prefix of the 17 digits, the minimum starts
// with it and the millisecond before does not, the millisecond before the maximum does and the
// maximum does not.
TEST(XTime, PartialTextBounds) {
  const struct { const wchar_t* text; Fields min, max; } rows[] = {
      {L"2024", F(2024, 1, 1), F(2025, 1, 1)}, {L"20241", F(2024, 10, 1), F(2025, 1, 1)},
      {L"2024031", F(2024, 3, 10), F(2024, 3, 20)}, {L"20240310 1", F(2024, 3, 10, 10), F(2024, 3, 10, 20)},
      {L"202412", F(2024, 12, 1), F(2025, 1, 1)}, {L"20240229", F(2024, 2, 29), F(2024, 3, 1)},
      {L"20240131", F(2024, 1, 31), F(2024, 2, 1)}, {L"2024013", F(2024, 1, 30), F(2024, 2, 1)},
      {L"2024030105", F(2024, 3, 1, 5), F(2024, 3, 1, 6)}, {L"20240301 05", F(2024, 3, 1, 5), F(2024, 3, 1, 6)},
      {L"2024030123", F(2024, 3, 1, 23), F(2024, 3, 2)},
      {L"20231231235959999", F(2023, 12, 31, 23, 59, 59, 999), F(2024, 1, 1)}};
  CXTime x;
  for (const auto& r : rows) {
    EXPECT_TRUE(x.bSetZVDateTimeMin(r.text, -1) && F(x) == r.min) << r.text;
    EXPECT_TRUE(x.bSetZVDateTimeMax(r.text, -1) && F(x) == r.max) << r.text;
  }
  for (const wchar_t* text : {L"9999", L"", L"2024013a", L"202403011200000000"})
    EXPECT_FALSE(x.bSetZVDateTimeMax(text, -1)) << text;
  EXPECT_TRUE(x.bSetZVDateTimeMin(L"", 0) && F(x) == F(0, 1, 1) && x.nGetTimeTm()->tm_isdst == 0);
  const struct { const wchar_t* text; int hour, minute; } times[] = {  // hour -1: no later time
      {L"1", 20, 0}, {L"19", 20, 0}, {L"0959", 10, 0}, {L"123", 12, 40}, {L"2", -1, 0}, {L"23", -1, 0},
      {L"235959999", -1, 0}, {L"", -1, 0}, {L"1234567890", -1, 0}, {L"1x", -1, 0}};
  for (const auto& r : times) {
    EXPECT_EQ(x.bSetZVTimeMax(r.text, -1) != FALSE, r.hour >= 0) << r.text;
    EXPECT_EQ(F(x), F(0, 1, 1, r.hour < 0 ? 0 : r.hour, r.minute)) << r.text << ": a refusal leaves the reset value";
  }
  x = Make(2024, 5, 6, 7, 8, 9, 10);
  EXPECT_TRUE(x.bSetZVTimeMin(L"1", 1) && F(x) == F(2024, 5, 6, 10)) << "the time of day only, from midnight";
  std::mt19937 rng(17);
  int failures = 0;
  for (int i = 0; i < 1000; ++i) {
    const int y = 1600 + static_cast<int>(rng() % 7400), mo = 1 + static_cast<int>(rng() % 12);
    const CXTime x = Make(y, mo, 1 + static_cast<int>(rng() % CXTime::nGetDayInMonth(y, mo)), rng() % 24, rng() % 60,
                          rng() % 60, rng() % 1000);
    CXTime r;
    CDateTime dt;
    ASSERT_TRUE(r.bSetZVDateTime(Out(x, &CXTime::GetZVTimeAAAAMMJJHHMMSSCCm).c_str(), -1) && F(r) == F(x));
    ASSERT_TRUE(x.GetZVDateTime(&dt));
    r.SetTime(dt);
    ASSERT_EQ(F(r), F(x));
    const std::wstring full = Full(dt);
    for (size_t len = 1; len <= full.size(); ++len) {
      std::wstring prefix = full.substr(0, len);
      if (len > 8 && (i & 1)) prefix.insert(8, 1, L' ');
      const std::wstring plain = full.substr(0, len);
      CXTime lo, hi;
      CDateTime a, b;
      const bool ok = lo.bSetZVDateTimeMin(prefix.c_str(), -1) && lo.GetZVDateTime(&a) && StartsWith(Full(a), plain) &&
                      hi.bSetZVDateTimeMax(prefix.c_str(), -1) && hi.GetZVDateTime(&b) && !StartsWith(Full(b), plain) &&
                      a.bDecaleMilli(-1) && !StartsWith(Full(a), plain) && b.bDecaleMilli(-1) &&
                      StartsWith(Full(b), plain);
      if (!ok && ++failures <= 5) ADD_FAILURE() << std::string(prefix.begin(), prefix.end());
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(XTime, ConversionsWithoutZone) {
  EXPECT_EQ(F(CXTime(0x5821, 0x6000, -1)), F(2024, 1, 1, 12));
  _FILETIME ft;
  EXPECT_TRUE(CXTime::UnixTimeToFileTime(&ft, 0));
  EXPECT_EQ((uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime, 116444736000000000ULL);
  EXPECT_FALSE(CXTime::UnixTimeToFileTime(&ft, -20000000000L)) << "before 1601";
  const uint64_t halfBefore = 116444736000000000ULL - 5000000;  // 1969-12-31 23:59:59.5
  EXPECT_EQ(CXTime::FileTimeToUnixTime({static_cast<DWORD>(halfBefore), static_cast<DWORD>(halfBefore >> 32)}), -1)
      << "rounded down, not toward zero";
  const _SYSTEMTIME st{2024, 7, 1, 1, 12, 0, 0, 0}, back = CXTime::UnixTimeToSystemTime(1719835200);
  EXPECT_EQ(CXTime::SystemTimeToUnixTime(st), 1719835200);
  EXPECT_EQ(CXTime::SystemTimeToUnixTime(_SYSTEMTIME{2024, 13, 0, 1, 0, 0, 0, 0}), -1);
  EXPECT_EQ(memcmp(&back, &st, sizeof st), 0);
  CXTime x;
  x.SetUTCTime(1719835200);
  EXPECT_EQ(F(x), F(2024, 7, 1, 12));
  x.SetUTCTime(-1);
  EXPECT_EQ(F(x), F(0, 1, 1));
  _SYSTEMTIME out{};
  EXPECT_TRUE(!Make(70000, 1, 1).bGetAsSystemTime(out) && out.wYear == 0) << "no year wraps into 16 bits";
  CDateTime dt;
  EXPECT_TRUE(Make(2023, 2, 29).GetZVDateTime(&dt) && dt.m_byJour == 28) << "clamped to the month";
  EXPECT_TRUE(!CXTime().GetZVDateTime(&dt) && dt.m_byJour == 28) << "year 0 refused, the date kept";
  EXPECT_TRUE(Make(2024, 1, 1, 0, 0, 0, 1) > Make(2024, 1, 1) && !(Make(2023, 12, 31, 23, 59, 59) >= Make(2024, 1, 1)));
  EXPECT_LT(CXTime::snCompare(Make(INT32_MIN + 1900, 1, 1).nGetTimeTm(), Make(INT32_MAX, 1, 1).nGetTimeTm()), 0);
  EXPECT_TRUE(!CXTime::bBissextile(1500) && CXTime::nGetDayInMonth(2024, 13) == -1) << "Gregorian for every year";
  EXPECT_EQ(CXTime::nGetDayInMonth(L"20240"), 31) << "a missing month digit counts as 0: January";
  EXPECT_EQ(CXTime::nGetDayInMonth(L"2023021"), 28);
  EXPECT_TRUE(CXTime::bBissextile(L"2"));  // year 2000
}

class XTimeZone : public time_oracle::ZoneTest {};
INSTANTIATE_ZONE_TESTS(XTimeZone);

// Local time and UTC in winter and summer; file time -> local CXTime -> file time to the
// millisecond, away from the hours the clock changes (a local time there stands for two instants).
TEST_P(XTimeZone, LocalAndUTCConversions) {
  const struct { time_t t; int month, day; } noons[] = {{1705320000, 1, 15}, {1719835200, 7, 1}};
  for (const auto& [t, month, day] : noons) {
    const CXTime local{static_cast<long>(t)};
    tm utc, back;
    EXPECT_EQ(local.nGetTimeTm()->tm_hour, 12 + time_oracle::RuleOffset(zone_, t) / 3600);
    EXPECT_EQ(local.nGetTime32_t(), t);
    EXPECT_EQ(Make(2024, month, day, 12).nGetTime32_t_UTC(), t) << "the offset from timegm in every season";
    ASSERT_TRUE(CXTime::Local2UTC(*local.nGetTimeTm(), utc) && utc.tm_hour == 12);
    ASSERT_TRUE(CXTime::UTC2Local(utc, back));
    EXPECT_EQ(CXTime::snCompare(&back, local.nGetTimeTm()), 0);
  }
  EXPECT_EQ(CXTime::__s_nGetOffsetMkTime(), time_oracle::RuleOffset(zone_, time(nullptr)));
  EXPECT_EQ(F(CXTime{-1L}), F(0, 1, 1));
  CXTime now, nowUtc;
  now.SetFromLocalTime();
  nowUtc.SetFromUTCTime();
  EXPECT_LE(std::abs(now.nGetTime32_t() - time(nullptr)), 2);
  EXPECT_LE(std::abs(nowUtc.nGetTime32_t_UTC() - time(nullptr)), 2);
  std::mt19937_64 rng(7);
  for (int i = 0; i < 1000; ++i) {
    const int64_t t = static_cast<int64_t>(rng() % 1924992000ULL) + 1199145600;  // 2008 to 2069
    const int64_t offset = time_oracle::RuleOffset(zone_, t);
    if (offset != time_oracle::RuleOffset(zone_, t - 7200) || offset != time_oracle::RuleOffset(zone_, t + 7200))
      continue;
    const uint64_t v = static_cast<uint64_t>(t) * 10000000 + 116444736000000000ULL + (rng() % 1000) * 10000;
    const CXTime x(_FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}, -1);
    _FILETIME back{};
    ASSERT_TRUE(x.bGetAsFileTime(back));
    ASSERT_EQ((uint64_t{back.dwHighDateTime} << 32) | back.dwLowDateTime, v) << t;
    ASSERT_EQ(x.nGetTimeTm()->tm_hour, static_cast<int>((t + offset) / 3600 % 24));
  }
  _FILETIME untouched{1, 2};
  EXPECT_FALSE(CXTime().bGetAsFileTime(untouched));
  EXPECT_EQ(untouched.dwLowDateTime + untouched.dwHighDateTime, 3u);
}

}  // namespace

// SYSTEMTIME / FILETIME conversions against the civil calendar; UTC <-> local time under UTC and two
// zones with summer time, against their rules; the clock readers; SetLocalTime, never the real clock.
#include "platform/wintime.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <thread>

#include "tests/support/time_oracle.h"

using namespace time_oracle;

// The runtime's settimeofday lands here: it is recorded (failing with errno failWith when set) and
// never reaches the system.
static struct SetClockCall { int calls = 0; timeval tv{}; int failWith = 0; } g_setClock;
extern "C" int settimeofday(const struct timeval* tv, const struct timezone*) noexcept {
  ++g_setClock.calls;
  g_setClock.tv = *tv;
  errno = g_setClock.failWith;
  return g_setClock.failWith != 0 ? -1 : 0;
}

namespace {

_SYSTEMTIME ST(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  return _SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

// The system time of Unix seconds t by the civil calendar, day of week included.
_SYSTEMTIME STOfUnix(int64_t t, int ms = 0) {
  const int64_t days = FloorDiv(t, 86400), secs = t - days * 86400;
  const std::chrono::year_month_day c = CivilOf(days);
  _SYSTEMTIME st = ST(static_cast<int>(c.year()), static_cast<unsigned>(c.month()), static_cast<unsigned>(c.day()),
                      static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60), ms);
  st.wDayOfWeek = static_cast<WORD>(std::chrono::weekday{std::chrono::sys_days{std::chrono::days{days}}}.c_encoding());
  return st;
}

int64_t UnixOf(const _SYSTEMTIME& st) {
  return DaysOf(st.wYear, st.wMonth, st.wDay) * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
}

_FILETIME FT(uint64_t v) { return _FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; }
uint64_t U64(const _FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
constexpr uint64_t kEpoch = 116444736000000000ULL;  // 1970-01-01 as a file time
uint64_t FTOfUnix(int64_t t) { return static_cast<uint64_t>(t + 11644473600LL) * 10000000ULL; }

std::string Show(const _SYSTEMTIME& s) {
  char b[64];
  snprintf(b, sizeof b, "%04u-%02u-%02u (%u) %02u:%02u:%02u.%03u", s.wYear, s.wMonth, s.wDay, s.wDayOfWeek, s.wHour,
           s.wMinute, s.wSecond, s.wMilliseconds);
  return b;
}

const _SYSTEMTIME kUntouched = ST(1111, 11, 11, 11, 11, 11, 111);
constexpr int64_t kRefused = INT64_MIN;

// Whole seconds, rounded down (also before 1970); the day of week filled, milliseconds 0. Fields
// are checked before timegm/mktime, which would roll them over; nothing is written on a refusal.
TEST(FileTime, ConversionsAndRefusals) {
  const struct { uint64_t ft; int64_t unix; } rows[] = {
      {kEpoch, 0}, {kEpoch + 5000000, 0}, {kEpoch - 1, -1}, {kEpoch - 10000000, -1},
      {0, -11644473600LL},  // 1601-01-01, a Monday
      {INT64_MAX, (INT64_MAX - static_cast<int64_t>(kEpoch)) / 10000000}, {uint64_t{1} << 63, kRefused}};
  for (const auto& r : rows) {
    _SYSTEMTIME st = kUntouched;
    const _FILETIME ft = FT(r.ft);
    EXPECT_EQ(r.unix != kRefused, FileTimeToSystemTime(&ft, &st) != FALSE) << r.ft;
    EXPECT_EQ(Show(r.unix != kRefused ? STOfUnix(r.unix) : kUntouched), Show(st)) << r.ft;
  }
  for (const long t : {0L, 1700000000L, -11644473600L, -11644473601L, LONG_MAX, LONG_MIN}) {
    _FILETIME ft = FT(77);
    const bool inRange = t >= -11644473600L && t <= 1700000000L;
    EXPECT_EQ(inRange, TimeToFileTime(t, &ft) != FALSE) << t;
    EXPECT_EQ(inRange ? FTOfUnix(t) : 77u, U64(ft)) << t;
  }
  EXPECT_FALSE(TimeToFileTime(0, nullptr));
  g_setClock = SetClockCall{};
  for (const _SYSTEMTIME& st : {ST(2024, 0, 1), ST(2024, 13, 1), ST(2024, 1, 0), ST(2024, 1, 32), ST(2023, 2, 29),
                                ST(2100, 2, 29), ST(2024, 4, 31), ST(2024, 1, 1, 24), ST(2024, 1, 1, 0, 60),
                                ST(2024, 1, 1, 0, 0, 60), ST(1600, 12, 31), ST(30828, 1, 1), ST(0, 0, 0),
                                ST(2024, 1, 1, 0, 0, 0, 1000)}) {
    _FILETIME ft = FT(42);
    _SYSTEMTIME out = kUntouched;
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft) || bUTCVersLocal(&st, &out) || bLocalVersUTC(&st, &out) ||
                 SetLocalTime(&st))
        << Show(st);
    EXPECT_EQ(42u, U64(ft));
    EXPECT_EQ(Show(kUntouched), Show(out));
  }
  _FILETIME ft;
  for (const _SYSTEMTIME& st : {ST(2024, 2, 29), ST(2000, 2, 29), ST(1601, 1, 1), ST(30827, 12, 31, 23, 59, 59, 999)})
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft)) << Show(st);
  EXPECT_FALSE(SystemTimeToFileTime(&kUntouched, nullptr) || SystemTimeToFileTime(nullptr, &ft));
  EXPECT_EQ(0, g_setClock.calls);
}

class WinTimeZone : public ZoneTest {};
INSTANTIATE_ZONE_TESTS(WinTimeZone);

// About two thousand instants from 2008 to 2030, and every second around each transition.
TEST_P(WinTimeZone, UTCAndLocalFollowTheZoneRules) {
  using namespace std::chrono;
  std::vector<int64_t> instants;
  for (int64_t t = UnixOf(ST(2008, 1, 1)); t < UnixOf(ST(2031, 1, 1)); t += 97 * 3600 + 7 * 60 + 13)
    instants.push_back(t);
  for (int y = 2008; y <= 2030; ++y)
    for (const sys_days day : {sys_days{year{y} / March / Sunday[last]}, sys_days{year{y} / October / Sunday[last]},
                               sys_days{year{y} / March / Sunday[2]}, sys_days{year{y} / November / Sunday[1]}})
      for (int64_t h = 0; h < 24 * 3600; h += 3600)
        for (int64_t d = -2; d <= 2; ++d) instants.push_back(day.time_since_epoch().count() * 86400 + h + d);
  std::mt19937 rng(7);
  for (const int64_t t : instants) {
    const int ms = static_cast<int>(rng() % 1000);
    const uint64_t rest = rng() % 10000000;
    const int64_t off = RuleOffset(zone_, t);
    const _SYSTEMTIME utc = STOfUnix(t, ms);
    _SYSTEMTIME local, back;
    ASSERT_TRUE(bUTCVersLocal(&utc, &local)) << Show(utc);
    ASSERT_EQ(Show(STOfUnix(t + off, ms)), Show(local)) << "UTC " << Show(utc);
    _FILETIME ft = FT(FTOfUnix(t) + rest), lft, fb;
    ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &lft));
    ASSERT_EQ(FTOfUnix(t + off) + rest, U64(lft)) << "UTC " << Show(utc);

    // Back to UTC: a wall-clock time that occurs twice may come back as either instant.
    const std::vector<int64_t> candidates = InstantsOfLocal(zone_, t + off);
    ASSERT_TRUE(bLocalVersUTC(&local, &back));
    ASSERT_TRUE(std::count(candidates.begin(), candidates.end(), UnixOf(back)) == 1) << "local " << Show(local);
    ASSERT_EQ(Show(STOfUnix(UnixOf(back), ms)), Show(back));
    ASSERT_TRUE(LocalFileTimeToFileTime(&lft, &fb));
    ASSERT_TRUE(std::count(candidates.begin(), candidates.end(), FloorDiv(U64(fb) - kEpoch, 10000000)) == 1);
    ASSERT_EQ(rest, (U64(fb) - kEpoch) % 10000000);
  }
}

// The readers agree with the clock and with each other (retried when a second boundary is crossed);
// the tick counts milliseconds.
TEST_P(WinTimeZone, ClockReadersAgree) {
  const DWORD tick = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  const DWORD elapsed = GetTickCount() - tick;  // unsigned difference: correct across the wrap
  EXPECT_TRUE(elapsed >= 40 && elapsed < 5000) << elapsed;
  for (int attempt = 0; attempt < 5; ++attempt) {
    _SYSTEMTIME utc = kUntouched, local = kUntouched;
    _FILETIME ft = FT(0);
    const time_t before = time(nullptr);
    GetSystemTime(&utc);
    GetLocalTime(&local);
    GetSystemTimeAsFileTime(&ft);
    const int64_t t = UnixOf(utc);
    if (t != UnixOf(local) - RuleOffset(zone_, t) || t != FloorDiv(U64(ft) - kEpoch, 10000000)) continue;
    EXPECT_LE(std::abs(t - before), 1);
    EXPECT_EQ(Show(STOfUnix(t, utc.wMilliseconds)), Show(utc));
    return;
  }
  FAIL() << "the readers never agreed";
}

TEST_P(WinTimeZone, SetLocalTimeSetsTheUTCInstant) {
  g_setClock = SetClockCall{};
  const _SYSTEMTIME st = ST(2024, 7, 1, 12, 0, 0, 250);
  ASSERT_TRUE(SetLocalTime(&st));
  ASSERT_EQ(1, g_setClock.calls);
  EXPECT_EQ(InstantsOfLocal(zone_, UnixOf(st)), std::vector<int64_t>{g_setClock.tv.tv_sec});
  EXPECT_EQ(250000, g_setClock.tv.tv_usec);
  g_setClock.failWith = EPERM;
  EXPECT_FALSE(SetLocalTime(&st));
  EXPECT_FALSE(SetLocalTime(nullptr));
  EXPECT_EQ(2, g_setClock.calls);
  g_setClock = SetClockCall{};
}

}  // namespace

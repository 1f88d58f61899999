// SYSTEMTIME / FILETIME conversions against a civil-calendar reference, UTC <-> local time under
// UTC and two zones with summer time (checked against their published rules, transitions
// included), the clock readers, and SetLocalTime with settimeofday wrapped so that the machine's
// clock is never touched.
#include "platform/wintime.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

struct SetClockCall {
  int calls = 0;
  timeval tv{};
  bool zoneGiven = false;
  int failWith = 0;  // errno to fail with, 0 to succeed
};
SetClockCall g_setClock;

}  // namespace

// The runtime's settimeofday lands here: it is recorded and never reaches the system.
extern "C" int settimeofday(const struct timeval* tv, const struct timezone* tz) noexcept {
  ++g_setClock.calls;
  g_setClock.tv = *tv;
  g_setClock.zoneGiven = tz != nullptr;
  if (g_setClock.failWith != 0) {
    errno = g_setClock.failWith;
    return -1;
  }
  return 0;
}

namespace {

// ---- Reference calendar (proleptic Gregorian, days since 1970-01-01) ----

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }
unsigned WeekDay(int64_t days) { return static_cast<unsigned>(((days % 7) + 11) % 7); }  // 1970-01-01: Thursday

_SYSTEMTIME ST(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return _SYSTEMTIME{static_cast<WORD>(y), static_cast<WORD>(mo), 0,
                     static_cast<WORD>(d), static_cast<WORD>(h),  static_cast<WORD>(mi),
                     static_cast<WORD>(s), static_cast<WORD>(ms)};
}

// The system time of Unix seconds t, with the day of week, by the reference calendar.
_SYSTEMTIME STOfUnix(int64_t t, int ms = 0) {
  const int64_t days = FloorDiv(t, 86400);
  const int64_t secs = t - days * 86400;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  _SYSTEMTIME st = ST(static_cast<int>(y), m, d, static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                      static_cast<int>(secs % 60), ms);
  st.wDayOfWeek = static_cast<WORD>(WeekDay(days));
  return st;
}

int64_t UnixOf(const _SYSTEMTIME& st) {
  return DaysFromCivil(st.wYear, st.wMonth, st.wDay) * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
}

_FILETIME FT(uint64_t v) { return _FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; }
uint64_t U64(const _FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
uint64_t FTOfUnix(int64_t t) { return static_cast<uint64_t>(t + 11644473600LL) * 10000000ULL; }

std::string Show(const _SYSTEMTIME& s) {
  char b[64];
  snprintf(b, sizeof b, "%04u-%02u-%02u (%u) %02u:%02u:%02u.%03u", s.wYear, s.wMonth, s.wDay, s.wDayOfWeek, s.wHour,
           s.wMinute, s.wSecond, s.wMilliseconds);
  return b;
}
#define EXPECT_ST(expected, actual) EXPECT_EQ(Show(expected), Show(actual))

const _SYSTEMTIME kUntouched = ST(1111, 11, 11, 11, 11, 11, 111);

// ---- Reference zone rules (valid from 2007 on) ----

int64_t LastSunday(int y, unsigned m, unsigned lastDay) {
  int64_t d = DaysFromCivil(y, m, lastDay);
  return d - WeekDay(d);
}
int64_t FirstSunday(int y, unsigned m) {
  const int64_t d = DaysFromCivil(y, m, 1);
  return d + (7 - WeekDay(d)) % 7;
}
int YearOf(int64_t t) {
  int64_t y;
  unsigned m, d;
  CivilFromDays(FloorDiv(t, 86400), &y, &m, &d);
  return static_cast<int>(y);
}

// Seconds east of UTC at Unix time t.
int64_t RuleOffset(const std::string& zone, int64_t t) {
  const int y = YearOf(t);
  if (zone == "Europe/Paris") {  // summer time from the last Sunday of March to that of October, at 01:00 UTC
    const int64_t start = LastSunday(y, 3, 31) * 86400 + 3600, end = LastSunday(y, 10, 31) * 86400 + 3600;
    return t >= start && t < end ? 7200 : 3600;
  }
  if (zone == "America/New_York") {  // second Sunday of March 02:00 EST to first Sunday of November 02:00 EDT
    const int64_t start = (FirstSunday(y, 3) + 7) * 86400 + 7 * 3600, end = FirstSunday(y, 11) * 86400 + 6 * 3600;
    return t >= start && t < end ? -4 * 3600 : -5 * 3600;
  }
  return 0;
}

// The UTC instants whose local wall-clock time is the given one (0, 1 or 2 of them).
std::vector<int64_t> InstantsOfLocal(const std::string& zone, int64_t wall) {
  std::vector<int64_t> out;
  for (int64_t off : {-5 * 3600, -4 * 3600, 0, 3600, 7200}) {
    const int64_t t = wall - off;
    if (RuleOffset(zone, t) == off) out.push_back(t);
  }
  return out;
}

class ZoneTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const char* old = getenv("TZ");
    saved_ = old ? std::optional<std::string>(old) : std::nullopt;
    Use(GetParam());
  }
  void TearDown() override {
    if (saved_)
      setenv("TZ", saved_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  static void Use(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  std::string zone_ = GetParam();

 private:
  std::optional<std::string> saved_;
};

// ---- FILETIME <-> SYSTEMTIME (UTC) ----

TEST(FileTime, UnixEpochAndWholeSeconds) {
  _FILETIME ft = FT(1);
  const _SYSTEMTIME half = ST(1970, 1, 1, 0, 0, 0, 500);
  ASSERT_TRUE(SystemTimeToFileTime(&half, &ft));
  EXPECT_EQ(116444736000000000ULL, U64(ft));
  _SYSTEMTIME st = kUntouched;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  _SYSTEMTIME expected = ST(1970, 1, 1);
  expected.wDayOfWeek = 4;
  EXPECT_ST(expected, st);

  ASSERT_TRUE(TimeToFileTime(0, &ft));
  EXPECT_EQ(116444736000000000ULL, U64(ft));
  ASSERT_TRUE(TimeToFileTime(1700000000, &ft));
  EXPECT_EQ(FTOfUnix(1700000000), U64(ft));
}

TEST(FileTime, BoundsOfTheRange) {
  _SYSTEMTIME st = kUntouched;
  _FILETIME ft = FT(0);
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_ST(STOfUnix(-11644473600LL), st);
  EXPECT_EQ(1, st.wDayOfWeek);  // 1601-01-01 was a Monday

  ft = FT(INT64_MAX);
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_ST(STOfUnix(static_cast<int64_t>((INT64_MAX - 116444736000000000LL) / 10000000)), st);
  EXPECT_EQ(30828, st.wYear);

  st = kUntouched;
  ft = FT(static_cast<uint64_t>(INT64_MAX) + 1);
  EXPECT_FALSE(FileTimeToSystemTime(&ft, &st));
  EXPECT_ST(kUntouched, st);

  ft = FT(77);
  EXPECT_TRUE(TimeToFileTime(-11644473600L, &ft));
  EXPECT_EQ(0u, U64(ft));
  ft = FT(77);
  EXPECT_FALSE(TimeToFileTime(-11644473601L, &ft));
  EXPECT_FALSE(TimeToFileTime(LONG_MAX, &ft));
  EXPECT_FALSE(TimeToFileTime(LONG_MIN, &ft));
  EXPECT_FALSE(TimeToFileTime(0, nullptr));
  EXPECT_EQ(77u, U64(ft));
}

TEST(FileTime, BeforeNineteenSeventyRoundsDown) {
  _SYSTEMTIME st;
  _FILETIME ft = FT(116444736000000000ULL - 1);  // 100 ns before 1970
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_ST(STOfUnix(-1), st);
  ft = FT(116444736000000000ULL - 10000000ULL);
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_ST(STOfUnix(-1), st);
}

TEST(FileTime, FieldsOutOfRangeAreRefused) {
  const _SYSTEMTIME bad[] = {
      ST(2024, 0, 1),        ST(2024, 13, 1),
      ST(2024, 1, 0),        ST(2024, 1, 32),
      ST(2023, 2, 29),       ST(2100, 2, 29),
      ST(2024, 4, 31),       ST(2024, 1, 1, 24),
      ST(2024, 1, 1, 0, 60), ST(2024, 1, 1, 0, 0, 60),
      ST(1600, 12, 31),      ST(30828, 1, 1),
      ST(0, 0, 0),           ST(2024, 1, 1, 0, 0, 0, 1000),
  };
  for (const _SYSTEMTIME& st : bad) {
    _FILETIME ft = FT(42);
    _SYSTEMTIME out = kUntouched;
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << Show(st);
    EXPECT_EQ(42u, U64(ft));
    EXPECT_FALSE(bUTCVersLocal(&st, &out)) << Show(st);
    EXPECT_FALSE(bLocalVersUTC(&st, &out)) << Show(st);
    EXPECT_ST(kUntouched, out);
  }
  _FILETIME ft;
  for (const _SYSTEMTIME& st : {ST(2024, 2, 29), ST(2000, 2, 29), ST(1601, 1, 1), ST(30827, 12, 31, 23, 59, 59, 999)})
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft)) << Show(st);
  const _SYSTEMTIME good = ST(2024, 1, 1);
  EXPECT_FALSE(SystemTimeToFileTime(&good, nullptr));
  EXPECT_FALSE(SystemTimeToFileTime(nullptr, &ft));
}

TEST(FileTime, RandomTimesAgainstTheCalendar) {
  std::mt19937_64 rng(20240331);
  std::uniform_int_distribution<uint64_t> any(0, INT64_MAX);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t v =
        i < 10000 ? any(rng)
                  : FTOfUnix(0) + (any(rng) % (200ULL * 365 * 86400 * 10000000)) - 100ULL * 365 * 86400 * 10000000;
    const _FILETIME ft = FT(v);
    const int64_t t = FloorDiv(static_cast<int64_t>(v) - 116444736000000000LL, 10000000);
    _SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << v;
    ASSERT_EQ(Show(STOfUnix(t)), Show(st)) << v;
    st.wMilliseconds = static_cast<WORD>(i % 1000);
    _FILETIME back;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
    ASSERT_EQ(FTOfUnix(t), U64(back));
  }
}

// ---- Local time, under UTC and zones with summer time ----

INSTANTIATE_TEST_SUITE_P(Zones, ZoneTest, testing::Values("UTC", "Europe/Paris", "America/New_York"),
                         [](const testing::TestParamInfo<const char*>& p) {
                           std::string n = p.param;
                           for (char& c : n)
                             if (c == '/') c = '_';
                           return n;
                         });

// Every 181 minutes from 2008 to 2030, and every second around each transition.
TEST_P(ZoneTest, UTCAndLocalFollowTheZoneRules) {
  std::vector<int64_t> instants;
  const int64_t from = UnixOf(ST(2008, 1, 1)), to = UnixOf(ST(2031, 1, 1));
  for (int64_t t = from; t < to; t += 181 * 60 + 7) instants.push_back(t);
  for (int y = 2008; y <= 2030; ++y) {
    for (int64_t edge : {LastSunday(y, 3, 31) * 86400 + 3600, LastSunday(y, 10, 31) * 86400 + 3600,
                         (FirstSunday(y, 3) + 7) * 86400 + 7 * 3600, FirstSunday(y, 11) * 86400 + 6 * 3600})
      for (int64_t d = -3; d <= 3; ++d) instants.push_back(edge + d);
  }
  std::mt19937 rng(7);
  for (const int64_t t : instants) {
    const int ms = static_cast<int>(rng() % 1000);
    const uint64_t rest = rng() % 10000000;
    const int64_t off = RuleOffset(zone_, t);
    const _SYSTEMTIME utc = STOfUnix(t, ms);

    _SYSTEMTIME local;
    ASSERT_TRUE(bUTCVersLocal(&utc, &local)) << Show(utc);
    ASSERT_EQ(Show(STOfUnix(t + off, ms)), Show(local)) << "UTC " << Show(utc);
    _FILETIME ft = FT(FTOfUnix(t) + rest), lft;
    ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &lft));
    ASSERT_EQ(FTOfUnix(t + off) + rest, U64(lft)) << "UTC " << Show(utc);

    // Back to UTC: a wall-clock time that occurs twice may come back as either instant.
    const std::vector<int64_t> candidates = InstantsOfLocal(zone_, t + off);
    ASSERT_FALSE(candidates.empty());
    _SYSTEMTIME back;
    ASSERT_TRUE(bLocalVersUTC(&local, &back));
    const int64_t tb = UnixOf(back);
    ASSERT_TRUE(std::find(candidates.begin(), candidates.end(), tb) != candidates.end()) << "local " << Show(local);
    if (candidates.size() == 1) {
      ASSERT_EQ(t, tb);
    }
    ASSERT_EQ(Show(STOfUnix(tb, ms)), Show(back));
    _FILETIME fb;
    ASSERT_TRUE(LocalFileTimeToFileTime(&lft, &fb));
    ASSERT_TRUE(std::find(candidates.begin(), candidates.end(), FloorDiv(U64(fb) - FTOfUnix(0), 10000000)) !=
                candidates.end());
    ASSERT_EQ(rest, (U64(fb) - FTOfUnix(0)) % 10000000);
  }
}

// A wall-clock time in the hour skipped in spring still converts: to one side of the gap or the other.
TEST_P(ZoneTest, SkippedHourStillConverts) {
  const _SYSTEMTIME gap = zone_ == "America/New_York" ? ST(2024, 3, 10, 2, 30) : ST(2024, 3, 31, 2, 30);
  const int64_t wall = UnixOf(gap);
  _SYSTEMTIME utc;
  ASSERT_TRUE(bLocalVersUTC(&gap, &utc));
  const int64_t t = UnixOf(utc);
  if (zone_ == "UTC") {
    EXPECT_EQ(wall, t);
  } else {
    EXPECT_TRUE(InstantsOfLocal(zone_, wall).empty());
    const int64_t standard = zone_ == "Europe/Paris" ? 3600 : -5 * 3600;
    EXPECT_TRUE(t == wall - standard || t == wall - standard - 3600) << Show(utc);
  }
}

TEST(LocalTime, TransitionsSpelledOut) {
  struct Row {
    const char* zone;
    _SYSTEMTIME utc, local;
  } rows[] = {
      {"Europe/Paris", ST(2024, 3, 31, 0, 59, 59), ST(2024, 3, 31, 1, 59, 59)},
      {"Europe/Paris", ST(2024, 3, 31, 1, 0, 0), ST(2024, 3, 31, 3, 0, 0)},
      {"Europe/Paris", ST(2024, 10, 27, 0, 59, 59), ST(2024, 10, 27, 2, 59, 59)},
      {"Europe/Paris", ST(2024, 10, 27, 1, 0, 0), ST(2024, 10, 27, 2, 0, 0)},
      {"America/New_York", ST(2024, 3, 10, 6, 59, 59), ST(2024, 3, 10, 1, 59, 59)},
      {"America/New_York", ST(2024, 3, 10, 7, 0, 0), ST(2024, 3, 10, 3, 0, 0)},
      {"America/New_York", ST(2024, 11, 3, 5, 59, 59), ST(2024, 11, 3, 1, 59, 59)},
      {"America/New_York", ST(2024, 11, 3, 6, 0, 0), ST(2024, 11, 3, 1, 0, 0)},
      {"America/New_York", ST(2024, 1, 1, 3, 0, 0, 250), ST(2023, 12, 31, 22, 0, 0, 250)},
  };
  const char* old = getenv("TZ");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  for (const Row& r : rows) {
    setenv("TZ", r.zone, 1);  // no tzset: a changed zone counts at once, as it does for localtime
    _SYSTEMTIME local;
    ASSERT_TRUE(bUTCVersLocal(&r.utc, &local));
    _SYSTEMTIME expected = r.local;
    expected.wDayOfWeek = static_cast<WORD>(WeekDay(DaysFromCivil(expected.wYear, expected.wMonth, expected.wDay)));
    EXPECT_ST(expected, local) << r.zone << " " << Show(r.utc);
  }
  if (saved)
    setenv("TZ", saved->c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

// ---- Clock ----

// time() may read a coarser clock that lags the one the readers use by a few milliseconds, so
// the second is taken from the same clock as theirs.
time_t PreciseNow() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return tv.tv_sec;
}

TEST_P(ZoneTest, ClockReadersAgree) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const time_t before = PreciseNow();
    _SYSTEMTIME utc = kUntouched, local = kUntouched;
    _FILETIME ft = FT(0);
    GetSystemTime(&utc);
    GetLocalTime(&local);
    GetSystemTimeAsFileTime(&ft);
    if (PreciseNow() != before) continue;  // a second boundary was crossed: try again
    EXPECT_ST(STOfUnix(before, utc.wMilliseconds), utc);
    EXPECT_ST(STOfUnix(before + RuleOffset(zone_, before), local.wMilliseconds), local);
    EXPECT_EQ(FTOfUnix(before), U64(ft) / 10000000 * 10000000);
    return;
  }
  FAIL() << "the clock never stayed within one second";
}

TEST(Clock, TickCountsMilliseconds) {
  const DWORD a = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  const DWORD elapsed = GetTickCount() - a;  // unsigned difference: correct across the wrap
  EXPECT_GE(elapsed, 120u);
  EXPECT_LT(elapsed, 5000u);
}

// ---- Setting the clock (through the wrapped settimeofday) ----

TEST_P(ZoneTest, SetLocalTimeSetsTheUTCInstant) {
  g_setClock = SetClockCall{};
  const _SYSTEMTIME st = ST(2024, 7, 1, 12, 0, 0, 250);
  ASSERT_TRUE(SetLocalTime(&st));
  ASSERT_EQ(1, g_setClock.calls);
  const std::vector<int64_t> instant = InstantsOfLocal(zone_, UnixOf(st));
  ASSERT_EQ(1u, instant.size());
  EXPECT_EQ(instant[0], g_setClock.tv.tv_sec);
  EXPECT_EQ(250000, g_setClock.tv.tv_usec);
  EXPECT_FALSE(g_setClock.zoneGiven);
}

TEST(SetLocalTime, RefusalAndBadFields) {
  g_setClock = SetClockCall{};
  g_setClock.failWith = EPERM;
  const _SYSTEMTIME st = ST(2024, 1, 15, 8, 30);
  EXPECT_FALSE(SetLocalTime(&st));
  EXPECT_EQ(1, g_setClock.calls);
  g_setClock = SetClockCall{};
  const _SYSTEMTIME bad = ST(2024, 2, 30);
  EXPECT_FALSE(SetLocalTime(&bad));
  EXPECT_FALSE(SetLocalTime(nullptr));
  EXPECT_EQ(0, g_setClock.calls);
}

}  // namespace

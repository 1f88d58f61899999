#include "platform/wintime.h"

#include <sys/time.h>

#include <climits>
#include <ctime>

namespace {

constexpr int64_t kSecondsBefore1970 = static_cast<int64_t>(kFileTimeUnixEpoch / kFileTimePerSecond);

// localtime_r, unlike localtime, need not look at TZ again; tzset makes a changed zone count.
bool bToLocal(time_t t, tm* out) {
  tzset();
  return localtime_r(&t, out) != nullptr;
}

bool bIsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool bValidSystemTime(const _SYSTEMTIME* st) {
  static const unsigned char kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (st == nullptr || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12) return false;
  const unsigned days = kDays[st->wMonth - 1] + (st->wMonth == 2 && bIsLeapYear(st->wYear) ? 1 : 0);
  return st->wDay >= 1 && st->wDay <= days && st->wHour < 24 && st->wMinute < 60 && st->wSecond < 60 &&
         st->wMilliseconds < 1000;
}

tm TmOf(const _SYSTEMTIME& st) {
  tm t{};
  t.tm_year = st.wYear - 1900;
  t.tm_mon = st.wMonth - 1;
  t.tm_mday = st.wDay;
  t.tm_hour = st.wHour;
  t.tm_min = st.wMinute;
  t.tm_sec = st.wSecond;
  t.tm_isdst = -1;
  t.tm_wday = -1;  // mktime and timegm fill it only when they succeed
  return t;
}

bool bSystemTimeOf(const tm& t, WORD ms, _SYSTEMTIME* st) {
  if (t.tm_year < 1 - 1900 || t.tm_year > 65535 - 1900) return false;
  st->wYear = static_cast<WORD>(t.tm_year + 1900);
  st->wMonth = static_cast<WORD>(t.tm_mon + 1);
  st->wDayOfWeek = static_cast<WORD>(t.tm_wday);
  st->wDay = static_cast<WORD>(t.tm_mday);
  st->wHour = static_cast<WORD>(t.tm_hour);
  st->wMinute = static_cast<WORD>(t.tm_min);
  st->wSecond = static_cast<WORD>(t.tm_sec);
  st->wMilliseconds = ms;
  return true;
}

// Local broken-down time -> Unix seconds; the daylight flag is left to mktime.
bool bLocalToUnix(const _SYSTEMTIME& st, time_t* out) {
  tm t = TmOf(st);
  const time_t r = mktime(&t);
  if (t.tm_wday < 0) return false;
  *out = r;
  return true;
}

bool bUTCToUnix(const _SYSTEMTIME& st, time_t* out) {
  tm t = TmOf(st);
  const time_t r = timegm(&t);
  if (t.tm_wday < 0) return false;
  *out = r;
  return true;
}

uint64_t U64Of(const _FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

void SetU64(_FILETIME* ft, uint64_t v) {
  ft->dwLowDateTime = static_cast<DWORD>(v);
  ft->dwHighDateTime = static_cast<DWORD>(v >> 32);
}

// File time -> whole Unix seconds (rounded down, also before 1970) and the 100 ns left over.
// File times of 2^63 and above are not valid.
bool bSplitFileTime(const _FILETIME& ft, int64_t* seconds, uint64_t* rest) {
  const uint64_t v = U64Of(ft);
  if (v > static_cast<uint64_t>(INT64_MAX)) return false;
  const int64_t since1970 = static_cast<int64_t>(v) - static_cast<int64_t>(kFileTimeUnixEpoch);
  int64_t s = since1970 / static_cast<int64_t>(kFileTimePerSecond);
  if (since1970 % static_cast<int64_t>(kFileTimePerSecond) < 0) --s;
  *seconds = s;
  *rest = static_cast<uint64_t>(since1970 - s * static_cast<int64_t>(kFileTimePerSecond));
  return true;
}

bool bJoinFileTime(int64_t seconds, uint64_t rest, _FILETIME* ft) {
  int64_t since1601;
  uint64_t v;
  if (__builtin_add_overflow(seconds, kSecondsBefore1970, &since1601) || since1601 < 0 ||
      __builtin_mul_overflow(static_cast<uint64_t>(since1601), kFileTimePerSecond, &v) ||
      __builtin_add_overflow(v, rest, &v) || v > static_cast<uint64_t>(INT64_MAX))
    return false;
  SetU64(ft, v);
  return true;
}

}  // namespace

void GetSystemTime(_SYSTEMTIME* st) {
  timeval tv;
  tm t;
  if (st == nullptr || gettimeofday(&tv, nullptr) != 0 || gmtime_r(&tv.tv_sec, &t) == nullptr) return;
  bSystemTimeOf(t, static_cast<WORD>(tv.tv_usec / 1000), st);
}

void GetLocalTime(_SYSTEMTIME* st) {
  timeval tv;
  tm t;
  if (st == nullptr || gettimeofday(&tv, nullptr) != 0 || !bToLocal(tv.tv_sec, &t)) return;
  bSystemTimeOf(t, static_cast<WORD>(tv.tv_usec / 1000), st);
}

void GetSystemTimeAsFileTime(_FILETIME* ft) {
  timeval tv;
  if (ft == nullptr || gettimeofday(&tv, nullptr) != 0) return;
  bJoinFileTime(tv.tv_sec, static_cast<uint64_t>(tv.tv_usec) * 10, ft);
}

DWORD GetTickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000);
}

BOOL TimeToFileTime(long t, _FILETIME* ft) { return ft != nullptr && bJoinFileTime(t, 0, ft); }

BOOL SystemTimeToFileTime(const _SYSTEMTIME* st, _FILETIME* ft) {
  time_t t;
  return ft != nullptr && bValidSystemTime(st) && bUTCToUnix(*st, &t) && bJoinFileTime(t, 0, ft);
}

BOOL FileTimeToSystemTime(const _FILETIME* ft, _SYSTEMTIME* st) {
  int64_t seconds;
  uint64_t rest;
  tm t;
  if (ft == nullptr || st == nullptr || !bSplitFileTime(*ft, &seconds, &rest)) return FALSE;
  const time_t tt = seconds;
  return gmtime_r(&tt, &t) != nullptr && bSystemTimeOf(t, 0, st);
}

BOOL FileTimeToLocalFileTime(const _FILETIME* utc, _FILETIME* local) {
  int64_t seconds;
  uint64_t rest;
  tm t;
  return utc != nullptr && local != nullptr && bSplitFileTime(*utc, &seconds, &rest) && bToLocal(seconds, &t) &&
         bJoinFileTime(seconds + t.tm_gmtoff, rest, local);
}

BOOL LocalFileTimeToFileTime(const _FILETIME* local, _FILETIME* utc) {
  int64_t seconds;
  uint64_t rest;
  tm t;
  if (local == nullptr || utc == nullptr || !bSplitFileTime(*local, &seconds, &rest)) return FALSE;
  const time_t tt = seconds;
  if (gmtime_r(&tt, &t) == nullptr) return FALSE;
  t.tm_isdst = -1;
  t.tm_wday = -1;
  const time_t r = mktime(&t);
  return t.tm_wday >= 0 && bJoinFileTime(r, rest, utc);
}

BOOL bUTCVersLocal(const _SYSTEMTIME* utc, _SYSTEMTIME* local) {
  time_t t;
  tm lt;
  return local != nullptr && bValidSystemTime(utc) && bUTCToUnix(*utc, &t) && bToLocal(t, &lt) &&
         bSystemTimeOf(lt, utc->wMilliseconds, local);
}

BOOL bLocalVersUTC(const _SYSTEMTIME* local, _SYSTEMTIME* utc) {
  time_t t;
  tm ut;
  return utc != nullptr && bValidSystemTime(local) && bLocalToUnix(*local, &t) && gmtime_r(&t, &ut) != nullptr &&
         bSystemTimeOf(ut, local->wMilliseconds, utc);
}

BOOL SetLocalTime(const _SYSTEMTIME* st) {
  time_t t;
  if (!bValidSystemTime(st) || !bLocalToUnix(*st, &t)) return FALSE;
  const timeval tv{t, static_cast<suseconds_t>(st->wMilliseconds) * 1000};
  return settimeofday(&tv, nullptr) == 0;
}

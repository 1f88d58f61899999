// Win32-style time of the platform layer: SYSTEMTIME and FILETIME, the clock, and conversions
// between UTC, local time (the process time zone, TZ) and Unix seconds. Free functions on
// caller structures; no state of their own. Every conversion that fails returns FALSE and leaves
// its output untouched.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

// Broken-down time; the layout is the Windows one (eight 16-bit fields, 16 bytes).
struct _SYSTEMTIME {
  WORD wYear;       // full year, 1601-30827
  WORD wMonth;      // 1-12
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
typedef _SYSTEMTIME SYSTEMTIME;

// 100-nanosecond intervals since 1601-01-01 00:00 UTC, as two 32-bit halves (8 bytes).
struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
typedef _FILETIME FILETIME;

static_assert(sizeof(_SYSTEMTIME) == 16 && offsetof(_SYSTEMTIME, wDayOfWeek) == 4 && offsetof(_SYSTEMTIME, wDay) == 6 &&
                  offsetof(_SYSTEMTIME, wMilliseconds) == 14,
              "SYSTEMTIME keeps the Windows layout");
static_assert(sizeof(_FILETIME) == 8 && offsetof(_FILETIME, dwHighDateTime) == 4, "FILETIME keeps the Windows layout");

// FILETIME of 1970-01-01 00:00 UTC, and FILETIME units per second.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;
constexpr uint64_t kFileTimePerSecond = 10000000ULL;

// Now, in UTC or local time, to the millisecond. The structure is left untouched when the clock
// or the conversion fails.
void GetSystemTime(_SYSTEMTIME* st);
void GetLocalTime(_SYSTEMTIME* st);
// Now as a file time, to the microsecond.
void GetSystemTimeAsFileTime(_FILETIME* ft);
// A millisecond tick for time-outs: monotonic (unaffected by clock changes), wraps at 2^32.
// Only differences between two ticks mean anything.
DWORD GetTickCount();

// Unix seconds -> file time. FALSE (output untouched) for a null pointer or a time before 1601
// or beyond the file-time range.
BOOL TimeToFileTime(long t, _FILETIME* ft);

// The structure read as UTC, to the whole second: milliseconds and day of week are ignored.
// FALSE for fields out of range (year 1601-30827, a real day of the month, hour 0-23,
// minute and second 0-59, milliseconds 0-999).
BOOL SystemTimeToFileTime(const _SYSTEMTIME* st, _FILETIME* ft);
// The whole seconds of the file time broken down in UTC, day of week filled, milliseconds 0.
// Times before 1970 go to the second at or before them. FALSE for a file time of 2^63 or more.
BOOL FileTimeToSystemTime(const _FILETIME* ft, _SYSTEMTIME* st);
// UTC file time -> the file time that reads as the local wall-clock time, and back. Only the
// zone offset in force is added or taken away; the sub-second part is kept. A local time in the
// hour skipped by a move to summer time, or repeated by the move back, is resolved by the
// platform's mktime.
BOOL FileTimeToLocalFileTime(const _FILETIME* utc, _FILETIME* local);
BOOL LocalFileTimeToFileTime(const _FILETIME* local, _FILETIME* utc);

// UTC <-> local broken-down time; day of week filled, milliseconds carried over. FALSE for
// fields out of range (as for SystemTimeToFileTime; year or month 0 among them).
BOOL bUTCVersLocal(const _SYSTEMTIME* utc, _SYSTEMTIME* local);
BOOL bLocalVersUTC(const _SYSTEMTIME* local, _SYSTEMTIME* utc);

// Sets the system clock to this local time (milliseconds included). Needs the privilege to
// set the clock; FALSE without it or for fields out of range.
BOOL SetLocalTime(const _SYSTEMTIME* st);

// CXTime: calendar time as the platform's broken-down time (struct tm) with milliseconds. Reads
// the host language's date and time texts (also partial ones completed to the first or past the
// last value they can stand for, for search bounds), writes host texts and SQL / ODBC literals,
// and converts between local time, UTC, Unix time, _FILETIME, _SYSTEMTIME and CDateTime.
//
// A plain value that owns nothing. Fields are not range-checked: they are stored and written as
// they are (a month "13" is month index 12). Years are written on at least four digits. Local
// time is the process time zone (TZ); the daylight flag matters only to mktime.
#pragma once

#include <ctime>

#include "platform/wintime.h"
#include "platform/wintypes.h"
#include "values/datetime.h"

class CTString;

// Characters (terminator included) the writers into caller buffers need: enough for every field
// at its widest, so even a value with out-of-range fields stays within the buffer.
constexpr unsigned int kXTimeTextChars = 96;
// The buffer of Format(format, wchar_t*).
constexpr unsigned int kXTimeFormatChars = 256;

class CXTime {
 public:
  // The empty value: year 0 January 1, 00:00:00.000, day of week and of year -1, daylight flag
  // -1 (unknown).
  CXTime();
  CXTime(const CXTime& other) = default;
  CXTime& operator=(const CXTime& other) = default;
  // Month below 1: January; day below 1: the 1st.
  CXTime(int year, int month, int day, int hour, int minute, int second, int isdst);
  CXTime(const _SYSTEMTIME& st, int isdst);
  // MS-DOS packed date and time (2-second resolution, years from 1980).
  CXTime(unsigned short dosDate, unsigned short dosTime, int isdst);
  // Local time of Unix time t; -1 or a time that does not convert: the empty value.
  explicit CXTime(long t);
  CXTime(const _FILETIME& ft, int isdst);
  virtual ~CXTime();

  // ---- Setting ----
  // Resets every field but the daylight flag.
  void SetTo0();
  void SetTime(const CXTime& other) { *this = other; }
  void SetTime(int year, int month, int day, int hour, int minute, int second, int isdst);
  // Every field, the day of the week included; day of year -1.
  void SetTime(const _SYSTEMTIME& st, int isdst);
  void SetTime(unsigned short dosDate, unsigned short dosTime, int isdst);
  void SetTime(const tm& t);
  // Month 0: January; day 0: the 1st; the time of day with its milliseconds.
  void SetTime(const CDateTimeBase& dt);
  void SetTime(long t);
  CXTime& operator=(long t);
  // UTC broken-down time of t; -1 or a failure: the empty value.
  void SetUTCTime(long t);
  // The local time of a UTC file time, to the millisecond; a failure gives the empty value.
  void SetTime(const _FILETIME& ft, int isdst);
  // Now; day of year and daylight flag -1. A clock that cannot be read gives the empty value.
  void SetFromLocalTime();
  void SetFromUTCTime();

  // ---- Reading host texts (each resets the value first; FALSE leaves it reset) ----
  // AAAAMMJJ, exactly 8 characters.
  BOOL bSetZVDate(const wchar_t* text);
  // HHMM[SS[m[m[m]]]]: at least 4 characters; a fraction of 1, 2 or 3 digits gives tenths,
  // hundredths or milliseconds.
  BOOL bSetZVTime(const wchar_t* text);
  // AAAAMMJJ[ ]HHMMSS[m[m[m]]]: the seconds are required, the fraction as in bSetZVTime.
  BOOL bSetZVDateTime(const wchar_t* text, int isdst);
  BOOL bSetZVDateTime(const char* text, int isdst);
  // The first time (date-time) whose 9-digit (17-digit) text begins with text: missing digits
  // count as '0', then a month or a day of 0 is taken as 1. A blank may stand at position 8 of a
  // date-time. The Min forms always give TRUE (an empty date-time text: the empty value) and
  // set the daylight flag; bSetZVTimeMin changes only the time of day.
  BOOL bSetZVTimeMin(const wchar_t* text, int isdst);
  BOOL bSetZVDateTimeMin(const wchar_t* text, int isdst);
  // The first time (date-time) after every one whose text begins with text, i.e. the exclusive
  // upper bound of a search: the last digit goes up by one within its field's limits, carrying
  // into the digits before. FALSE for an empty text, a text longer than a full one, a non-digit,
  // or no later value ("2", "23", "9999").
  BOOL bSetZVTimeMax(const wchar_t* text, int isdst);
  BOOL bSetZVDateTimeMax(const wchar_t* text, int isdst);

  // Days of the month (Gregorian rule for every year); -1 for a month outside 1-12.
  static int nGetDayInMonth(int year, int month);
  static BOOL bBissextile(int year);
  // The same for the year in the first 4 characters and the month in the next 2 of text (missing
  // characters count as '0', a month of 0 as January).
  static int nGetDayInMonth(const wchar_t* text);
  static BOOL bBissextile(const wchar_t* text);

  // ---- Writing ----
  void GetZVTimeAAAAMMJJ_HHMMSS(CTString& s) const;   // AAAAMMJJ HHMMSS
  void GetZVTimeHHMMSS(CTString& s) const;
  void GetZVTimeHHMM(CTString& s) const;
  void GetZVDate(CTString& s) const;                  // AAAAMMJJ
  void GetZVTimeHHMMSSCCm(CTString& s) const;         // HHMMSSmmm
  void GetZVTimeAAAAMMJJHHMMSSCCm(CTString& s) const; // AAAAMMJJHHMMSSmmm
  // Into buffers of kXTimeTextChars characters.
  void GetZVTime(wchar_t* buffer) const;  // HHMMSSmmm
  void GetZVTime(char* buffer) const;
  void GetZVDate(wchar_t* buffer) const;  // AAAAMMJJ
  void GetZVDate(char* buffer) const;
  void FormatToSQLServerTimeStamp(wchar_t* buffer) const;  // AAAAMMJJ HH:MM:SS.mmm
  void FormatToOdbcTimeStamp(wchar_t* buffer) const;       // {ts 'AAAA-MM-JJ HH:MM:SS.mmm'}
  void FormatToOdbcTimeStamp(CTString& s) const;
  void FormatToOdbcTime(wchar_t* buffer) const;            // {t 'HH:MM:SS.mmm'}
  void FormatToOdbcTime(CTString& s) const;
  void FormatToOdbcDate(wchar_t* buffer) const;            // {d 'AAAA-MM-JJ'}
  void FormatToOdbcDate(CTString& s) const;
  void GetZVTimeReadableSS(CTString& s) const;  // JJ/MM/AAAA HH:MM:SS
  void GetZVTimeReadable(CTString& s) const;    // JJ/MM/AAAA HH:MM:SS,mmm
  // Any wcsftime format ("%Y" and "%G" written on at least four digits) into a buffer of
  // kXTimeFormatChars characters; an empty text when it fails or does not fit.
  void Format(const wchar_t* format, wchar_t* buffer) const;
  void Format(const wchar_t* format, CTString& s) const;

  // ---- Conversions ----
  // The fields as they are (an unknown day of the week, -1, gives 0xFFFF). FALSE (st untouched)
  // when another field does not fit 16 bits, so that no year or month wraps into a valid one.
  BOOL bGetAsSystemTime(_SYSTEMTIME& st) const;
  static void GetAsSystemTime(_SYSTEMTIME& st, const tm& t);
  // Through CDateTimeBase::InitDate: FALSE (dt unchanged) for a field it refuses.
  BOOL GetZVDateTime(CDateTimeBase* dt) const;
  // The fields read as local time, to the millisecond. FALSE (ft untouched) when they do not
  // convert.
  BOOL bGetAsFileTime(_FILETIME& ft) const;
  // Unix time of the fields read as local time (mktime, with the daylight flag) or as UTC
  // (timegm); -1 when they do not convert.
  long nGetTime32_t() const;
  static long s_nGetTime_t(const tm& t);
  long nGetTime32_t_UTC() const;
  static long s_nGetTime_t_UTC(const tm& t);
  // Local time minus UTC now, in seconds (+7200 in Paris in summer).
  static long __s_nGetOffsetMkTime();
  // FALSE (out untouched) when the time does not convert.
  static BOOL Local2UTC(const tm& local, tm& utc);
  static BOOL UTC2Local(const tm& utc, tm& local);
  tm* nGetTimeTm() { return &m_tm; }
  const tm* nGetTimeTm() const { return &m_tm; }
  int nGetMilli() const { return m_nMilli; }

  static long nGetCurrentTime();
  static void nGetCurrentTime(_SYSTEMTIME* st);
  static void GetLocalTime(_SYSTEMTIME* st);
  // Set the system clock (privileged); FALSE on refusal.
  static BOOL bSetLocalTime(const _SYSTEMTIME* st);
  BOOL bInitLocalTime() const;
  // FALSE (ft untouched) for a time before 1601 or beyond the file-time range.
  static BOOL UnixTimeToFileTime(_FILETIME* ft, long t);
  // Whole seconds, rounded down (also before 1970).
  static long FileTimeToUnixTime(const _FILETIME& ft);
  // -1 for a structure that does not convert.
  static long SystemTimeToUnixTime(const _SYSTEMTIME& st);
  // All zero for a time that does not convert.
  static _SYSTEMTIME UnixTimeToSystemTime(long t);

  // ---- Comparison ----
  // First non-zero difference of year, month, day, hour, minute, second; 0 when all are equal.
  static int snCompare(const tm* a, const tm* b);
  bool operator>(const CXTime& other) const;
  bool operator>=(const CXTime& other) const;

  tm m_tm;
  int m_nMilli;

 private:
  int nCompareTo(const CXTime& other) const;
};

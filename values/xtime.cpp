// The fixed host and SQL texts are written with printf ("%04d" pads the year, which "%Y" of
// wcsftime does not); only Format goes through wcsftime. Conversions between local time and UTC
// use mktime / timegm directly, never a difference of "now" offsets, which is an hour off
// whenever the summer-time state of now and of the converted time differ.
#include "values/xtime.h"

#include <climits>
#include <cstdarg>
#include <string>

#include "common/ctstring.h"
#include "common/str_number.h"
#include "platform/winformat.h"

namespace {

constexpr wchar_t kFmtDate[] = L"%04d%02d%02d";
constexpr wchar_t kFmtTimeMs[] = L"%02d%02d%02d%03d";
constexpr wchar_t kFmtDateTimeMs[] = L"%04d%02d%02d%02d%02d%02d%03d";
constexpr wchar_t kFmtOdbcTimeStamp[] = L"{ts '%04d-%02d-%02d %02d:%02d:%02d.%03d'}";
constexpr wchar_t kFmtOdbcTime[] = L"{t '%02d:%02d:%02d.%03d'}";
constexpr wchar_t kFmtOdbcDate[] = L"{d '%04d-%02d-%02d'}";
constexpr int kTimeDigits = 9;       // HHMMSSmmm
constexpr int kDateTimeDigits = 17;  // AAAAMMJJHHMMSSmmm

int Year(const tm& t) { return static_cast<int>(static_cast<int64_t>(t.tm_year) + 1900); }
int Month(const tm& t) { return static_cast<int>(static_cast<int64_t>(t.tm_mon) + 1); }

void Write(wchar_t* buffer, const wchar_t* format, ...) {
  if (buffer == nullptr) return;
  va_list ap;
  va_start(ap, format);
  vsnwprintfWin(buffer, kXTimeTextChars, format, ap);
  va_end(ap);
}

void Write(char* buffer, const char* format, ...) {
  if (buffer == nullptr) return;
  va_list ap;
  va_start(ap, format);
  vsznprintf(buffer, kXTimeTextChars - 1, format, ap);
  va_end(ap);
}

void Write(CTString& s, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  s.FormatV(format, ap);
  va_end(ap);
}

int nLen(const wchar_t* text, int max) { return static_cast<int>(xwcsnlen(text, static_cast<unsigned int>(max))); }
int nLen(const char* text, int max) { return static_cast<int>(xstrnlen(text, static_cast<unsigned int>(max))); }

template <typename T>
int Field(const T* text, int start, int count) {
  return CDateTimeBase::nGetPropDateTime(text, start, count, FALSE);
}

// The first n characters of text, then '0' up to size characters, terminated.
void PadZeros(wchar_t* out, const wchar_t* text, int n, int size) {
  for (int i = 0; i < size; ++i) out[i] = i < n ? text[i] : L'0';
  out[size] = 0;
}

bool bAllDigits(const wchar_t* text, int n) {
  for (int i = 0; i < n; ++i)
    if (text[i] < L'0' || text[i] > L'9') return false;
  return true;
}

template <typename T>
void SetDateFields(tm& t, const T* text) {
  t.tm_year = Field(text, 0, 4) - 1900;
  const int month = Field(text, 4, 2);
  const int day = Field(text, 6, 2);
  t.tm_mon = month < 1 ? 0 : month - 1;
  t.tm_mday = day < 1 ? 1 : day;
}

// HHMM[SS[fraction]] at text, len characters long.
template <typename T>
void SetTimeFields(tm& t, int& ms, const T* text, int len) {
  t.tm_hour = Field(text, 0, 2);
  t.tm_min = Field(text, 2, 2);
  if (len >= 6) t.tm_sec = Field(text, 4, 2);
  if (len > 6) ms = CDateTimeBase::nGetPropDateTime(text, 6, 3, TRUE);
}

// The highest digit at position pos of a time text (HHMMSSmmm).
wchar_t TimeLimit(int pos, const wchar_t* time) {
  switch (pos) {
    case 0:
      return L'2';
    case 1:
      return time[0] >= L'2' ? L'3' : L'9';
    case 2:
    case 4:
      return L'5';
    default:
      return L'9';
  }
}

wchar_t DateTimeLimit(int pos, const wchar_t* text) {
  if (pos >= 8) return TimeLimit(pos - 8, text + 8);
  switch (pos) {
    case 4:
      return L'1';
    case 5:
      return text[4] == L'0' ? L'9' : L'2';
    case 6:
    case 7: {
      const int days = CXTime::nGetDayInMonth(text);
      if (days < 0) return L'0';
      if (pos == 6) return static_cast<wchar_t>(L'0' + days / 10);
      return text[6] < L'0' + days / 10 ? L'9' : static_cast<wchar_t>(L'0' + days % 10);
    }
    default:
      return L'9';
  }
}

// Raises the last of the len digits by one; a digit at its limit is dropped and the rise moves to
// the one before. The new length, or 0 when no digit could rise.
template <typename Limit>
int nRaise(wchar_t* digits, int len, Limit limit) {
  for (int i = len - 1; i >= 0; --i) {
    digits[i + 1] = 0;
    if (digits[i] < limit(i, digits)) {
      ++digits[i];
      return i + 1;
    }
  }
  return 0;
}

bool bMkTime(const tm& in, time_t* out) {
  tm t = in;
  t.tm_wday = -1;  // set only by a conversion that succeeds
  const time_t r = mktime(&t);
  if (t.tm_wday < 0) return false;
  *out = r;
  return true;
}

bool bTimeGm(const tm& in, time_t* out) {
  tm t = in;
  t.tm_wday = -1;
  const time_t r = timegm(&t);
  if (t.tm_wday < 0) return false;
  *out = r;
  return true;
}

// localtime_r need not look at TZ again; tzset makes a changed zone count.
bool bLocal(time_t t, tm* out) {
  tzset();
  return localtime_r(&t, out) != nullptr;
}

uint64_t U64Of(const _FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

bool bFits16(int64_t v) { return v >= 0 && v <= 0xFFFF; }

int nDiff(int a, int b) {
  const int64_t d = static_cast<int64_t>(a) - b;
  return d > INT_MAX ? INT_MAX : d < INT_MIN ? INT_MIN : static_cast<int>(d);
}

}  // namespace

// ---- Construction and setting ----

CXTime::CXTime() : m_tm(), m_nMilli(0) {
  m_tm.tm_isdst = -1;
  SetTo0();
}

CXTime::CXTime(int year, int month, int day, int hour, int minute, int second, int isdst) : CXTime() {
  SetTime(year, month, day, hour, minute, second, isdst);
}

CXTime::CXTime(const _SYSTEMTIME& st, int isdst) : CXTime() { SetTime(st, isdst); }

CXTime::CXTime(unsigned short dosDate, unsigned short dosTime, int isdst) : CXTime() {
  SetTime(dosDate, dosTime, isdst);
}

CXTime::CXTime(long t) : CXTime() { SetTime(t); }

CXTime::CXTime(const _FILETIME& ft, int isdst) : CXTime() { SetTime(ft, isdst); }

CXTime::~CXTime() = default;

void CXTime::SetTo0() {
  const int isdst = m_tm.tm_isdst;
  m_tm = tm();
  m_tm.tm_isdst = isdst;
  m_tm.tm_year = -1900;
  m_tm.tm_mday = 1;
  m_tm.tm_wday = -1;
  m_tm.tm_yday = -1;
  m_nMilli = 0;
}

void CXTime::SetTime(int year, int month, int day, int hour, int minute, int second, int isdst) {
  SetTo0();
  m_tm.tm_year = static_cast<int>(static_cast<int64_t>(year) - 1900);
  m_tm.tm_mon = month < 1 ? 0 : month - 1;
  m_tm.tm_mday = day < 1 ? 1 : day;
  m_tm.tm_hour = hour;
  m_tm.tm_min = minute;
  m_tm.tm_sec = second;
  m_tm.tm_isdst = isdst;
}

void CXTime::SetTime(const _SYSTEMTIME& st, int isdst) {
  SetTo0();
  m_tm.tm_year = st.wYear - 1900;
  m_tm.tm_mon = st.wMonth - 1;
  m_tm.tm_wday = st.wDayOfWeek;
  m_tm.tm_mday = st.wDay;
  m_tm.tm_hour = st.wHour;
  m_tm.tm_min = st.wMinute;
  m_tm.tm_sec = st.wSecond;
  m_tm.tm_isdst = isdst;
  m_nMilli = st.wMilliseconds;
}

void CXTime::SetTime(unsigned short dosDate, unsigned short dosTime, int isdst) {
  SetTo0();
  m_tm.tm_sec = (dosTime & 31) * 2;
  m_tm.tm_min = (dosTime >> 5) & 63;
  m_tm.tm_hour = dosTime >> 11;
  m_tm.tm_mday = dosDate & 31;
  m_tm.tm_mon = ((dosDate >> 5) & 15) - 1;
  m_tm.tm_year = (dosDate >> 9) + 80;
  m_tm.tm_isdst = isdst;
}

void CXTime::SetTime(const tm& t) {
  m_tm = t;
  m_nMilli = 0;
}

void CXTime::SetTime(const CDateTimeBase& dt) {
  SetTo0();
  m_tm.tm_year = dt.m_wAnnee - 1900;
  m_tm.tm_mon = dt.m_byMois == 0 ? 0 : dt.m_byMois - 1;
  m_tm.tm_mday = dt.m_byJour < 1 ? 1 : dt.m_byJour;
  m_tm.tm_hour = static_cast<int>(dt.m_dwMilli / 3600000);
  m_tm.tm_min = static_cast<int>(dt.m_dwMilli / 60000 % 60);
  m_tm.tm_sec = static_cast<int>(dt.m_dwMilli / 1000 % 60);
  m_nMilli = static_cast<int>(dt.m_dwMilli % 1000);
}

void CXTime::SetTime(long t) {
  tm r;
  if (t == -1 || !bLocal(t, &r)) {
    SetTo0();
    return;
  }
  SetTime(r);
}

CXTime& CXTime::operator=(long t) {
  SetTime(t);
  return *this;
}

void CXTime::SetUTCTime(long t) {
  tm r;
  const time_t tt = t;
  if (t == -1 || gmtime_r(&tt, &r) == nullptr) {
    SetTo0();
    return;
  }
  SetTime(r);
}

void CXTime::SetTime(const _FILETIME& ft, int isdst) {
  _FILETIME local;
  _SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) {
    SetTo0();
    return;
  }
  // The system-time conversion keeps whole seconds only.
  st.wMilliseconds = static_cast<WORD>(U64Of(local) % kFileTimePerSecond / (kFileTimePerSecond / 1000));
  SetTime(st, isdst);
}

void CXTime::SetFromLocalTime() {
  _SYSTEMTIME st{};
  ::GetLocalTime(&st);
  if (st.wYear == 0) {
    SetTo0();
    return;
  }
  SetTime(st, -1);
}

void CXTime::SetFromUTCTime() {
  _SYSTEMTIME st{};
  ::GetSystemTime(&st);
  if (st.wYear == 0) {
    SetTo0();
    return;
  }
  SetTime(st, -1);
}

// ---- Reading host texts ----

BOOL CXTime::bSetZVDate(const wchar_t* text) {
  SetTo0();
  if (nLen(text, 9) != 8) return FALSE;
  SetDateFields(m_tm, text);
  return TRUE;
}

BOOL CXTime::bSetZVTime(const wchar_t* text) {
  SetTo0();
  const int len = nLen(text, kTimeDigits + 1);
  if (len < 4) return FALSE;
  SetTimeFields(m_tm, m_nMilli, text, len);
  return TRUE;
}

template <typename T>
static BOOL bSetZVDateTimeT(tm& t, int& ms, const T* text) {
  const int len = nLen(text, 64);
  const int p = len > 8 && text[8] == ' ' ? 9 : 8;
  if (len < p + 6) return FALSE;
  SetDateFields(t, text);
  SetTimeFields(t, ms, text + p, len - p);
  return TRUE;
}

BOOL CXTime::bSetZVDateTime(const wchar_t* text, int isdst) {
  SetTo0();
  m_tm.tm_isdst = isdst;
  return bSetZVDateTimeT(m_tm, m_nMilli, text);
}

BOOL CXTime::bSetZVDateTime(const char* text, int isdst) {
  SetTo0();
  m_tm.tm_isdst = isdst;
  return bSetZVDateTimeT(m_tm, m_nMilli, text);
}

BOOL CXTime::bSetZVTimeMin(const wchar_t* text, int isdst) {
  wchar_t padded[kTimeDigits + 1];
  PadZeros(padded, text, nLen(text, kTimeDigits), kTimeDigits);
  m_tm.tm_isdst = isdst;
  m_tm.tm_hour = Field(padded, 0, 2);
  m_tm.tm_min = Field(padded, 2, 2);
  m_tm.tm_sec = Field(padded, 4, 2);
  m_nMilli = Field(padded, 6, 3);
  return TRUE;
}

BOOL CXTime::bSetZVDateTimeMin(const wchar_t* text, int isdst) {
  SetTo0();
  m_tm.tm_isdst = isdst;
  const int len = nLen(text, 9);
  if (len == 0) return TRUE;
  wchar_t date[9];
  PadZeros(date, text, len < 8 ? len : 8, 8);
  SetDateFields(m_tm, date);
  if (len > 8) bSetZVTimeMin(text + (text[8] == L' ' ? 9 : 8), isdst);
  return TRUE;
}

BOOL CXTime::bSetZVTimeMax(const wchar_t* text, int isdst) {
  SetTo0();
  const int len = nLen(text, kTimeDigits + 1);
  if (len == 0 || len > kTimeDigits || !bAllDigits(text, len)) return FALSE;
  wchar_t copy[kTimeDigits + 1];
  PadZeros(copy, text, len, len);
  if (nRaise(copy, len, TimeLimit) == 0) return FALSE;
  return bSetZVTimeMin(copy, isdst);
}

BOOL CXTime::bSetZVDateTimeMax(const wchar_t* text, int isdst) {
  SetTo0();
  int len = nLen(text, kDateTimeDigits + 1);
  if (len == 0) return FALSE;
  wchar_t copy[kDateTimeDigits + 2];
  PadZeros(copy, text, len, len);
  if (len > 8 && copy[8] == L' ') {
    for (int i = 8; i < len; ++i) copy[i] = copy[i + 1];
    --len;
  }
  if (len > kDateTimeDigits || !bAllDigits(copy, len)) return FALSE;
  if (nRaise(copy, len, DateTimeLimit) == 0) return FALSE;
  return bSetZVDateTimeMin(copy, isdst);
}

int CXTime::nGetDayInMonth(int year, int month) {
  if (month < 1 || month > 12) return -1;
  return month == 2 && bBissextile(year) ? 29 : CDateTimeBase::ms_pbyNbJoursMois[month - 1];
}

BOOL CXTime::bBissextile(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int CXTime::nGetDayInMonth(const wchar_t* text) {
  wchar_t padded[7];
  PadZeros(padded, text, nLen(text, 6), 6);
  const int month = Field(padded, 4, 2);
  return nGetDayInMonth(Field(padded, 0, 4), month == 0 ? 1 : month);
}

BOOL CXTime::bBissextile(const wchar_t* text) {
  wchar_t padded[5];
  PadZeros(padded, text, nLen(text, 4), 4);
  return bBissextile(Field(padded, 0, 4));
}

// ---- Writing ----

void CXTime::GetZVTimeAAAAMMJJ_HHMMSS(CTString& s) const {
  Write(s, L"%04d%02d%02d %02d%02d%02d", Year(m_tm), Month(m_tm), m_tm.tm_mday, m_tm.tm_hour, m_tm.tm_min,
        m_tm.tm_sec);
}

void CXTime::GetZVTimeHHMMSS(CTString& s) const { Write(s, L"%02d%02d%02d", m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec); }

void CXTime::GetZVTimeHHMM(CTString& s) const { Write(s, L"%02d%02d", m_tm.tm_hour, m_tm.tm_min); }

void CXTime::GetZVDate(CTString& s) const { Write(s, kFmtDate, Year(m_tm), Month(m_tm), m_tm.tm_mday); }

void CXTime::GetZVTimeHHMMSSCCm(CTString& s) const {
  Write(s, kFmtTimeMs, m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec, m_nMilli);
}

void CXTime::GetZVTimeAAAAMMJJHHMMSSCCm(CTString& s) const {
  Write(s, kFmtDateTimeMs, Year(m_tm), Month(m_tm), m_tm.tm_mday, m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec, m_nMilli);
}

void CXTime::GetZVTime(wchar_t* buffer) const {
  Write(buffer, kFmtTimeMs, m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec, m_nMilli);
}

void CXTime::GetZVTime(char* buffer) const {
  Write(buffer, "%02d%02d%02d%03d", m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec, m_nMilli);
}

void CXTime::GetZVDate(wchar_t* buffer) const { Write(buffer, kFmtDate, Year(m_tm), Month(m_tm), m_tm.tm_mday); }

void CXTime::GetZVDate(char* buffer) const { Write(buffer, "%04d%02d%02d", Year(m_tm), Month(m_tm), m_tm.tm_mday); }

void CXTime::FormatToSQLServerTimeStamp(wchar_t* buffer) const {
  Write(buffer, L"%04d%02d%02d %02d:%02d:%02d.%03d", Year(m_tm), Month(m_tm), m_tm.tm_mday, m_tm.tm_hour,
        m_tm.tm_min, m_tm.tm_sec, m_nMilli);
}

void CXTime::FormatToOdbcTimeStamp(wchar_t* buffer) const {
  Write(buffer, kFmtOdbcTimeStamp, Year(m_tm), Month(m_tm), m_tm.tm_mday, m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec,
        m_nMilli);
}

void CXTime::FormatToOdbcTimeStamp(CTString& s) const {
  Write(s, kFmtOdbcTimeStamp, Year(m_tm), Month(m_tm), m_tm.tm_mday, m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec,
        m_nMilli);
}

void CXTime::FormatToOdbcTime(wchar_t* buffer) const {
  Write(buffer, kFmtOdbcTime, m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec, m_nMilli);
}

void CXTime::FormatToOdbcTime(CTString& s) const {
  Write(s, kFmtOdbcTime, m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec, m_nMilli);
}

void CXTime::FormatToOdbcDate(wchar_t* buffer) const {
  Write(buffer, kFmtOdbcDate, Year(m_tm), Month(m_tm), m_tm.tm_mday);
}

void CXTime::FormatToOdbcDate(CTString& s) const { Write(s, kFmtOdbcDate, Year(m_tm), Month(m_tm), m_tm.tm_mday); }

void CXTime::GetZVTimeReadableSS(CTString& s) const {
  Write(s, L"%02d/%02d/%04d %02d:%02d:%02d", m_tm.tm_mday, Month(m_tm), Year(m_tm), m_tm.tm_hour, m_tm.tm_min,
        m_tm.tm_sec);
}

void CXTime::GetZVTimeReadable(CTString& s) const {
  Write(s, L"%02d/%02d/%04d %02d:%02d:%02d,%03d", m_tm.tm_mday, Month(m_tm), Year(m_tm), m_tm.tm_hour, m_tm.tm_min,
        m_tm.tm_sec, m_nMilli);
}

void CXTime::Format(const wchar_t* format, wchar_t* buffer) const {
  if (buffer == nullptr) return;
  buffer[0] = 0;
  if (format == nullptr) return;
  // "%Y" and "%G" are not padded by the C library; "%04Y" is.
  std::wstring padded;
  for (const wchar_t* p = format; *p != 0; ++p) {
    if (*p == L'%' && p[1] != 0) {
      if (p[1] == L'Y' || p[1] == L'G') padded += L"%04";
      else padded += L'%';
      padded += *++p;
    } else {
      padded += *p;
    }
  }
  if (wcsftime(buffer, kXTimeFormatChars, padded.c_str(), &m_tm) == 0) buffer[0] = 0;
}

void CXTime::Format(const wchar_t* format, CTString& s) const {
  wchar_t buffer[kXTimeFormatChars];
  Format(format, buffer);
  s.Set(buffer);
}

// ---- Conversions ----

BOOL CXTime::bGetAsSystemTime(_SYSTEMTIME& st) const {
  const int64_t year = static_cast<int64_t>(m_tm.tm_year) + 1900;
  const int64_t month = static_cast<int64_t>(m_tm.tm_mon) + 1;
  if (!bFits16(year) || !bFits16(month) || !bFits16(m_tm.tm_mday) || !bFits16(m_tm.tm_hour) ||
      !bFits16(m_tm.tm_min) || !bFits16(m_tm.tm_sec) || !bFits16(m_nMilli))
    return FALSE;
  GetAsSystemTime(st, m_tm);
  st.wMilliseconds = static_cast<WORD>(m_nMilli);
  return TRUE;
}

void CXTime::GetAsSystemTime(_SYSTEMTIME& st, const tm& t) {
  st.wYear = static_cast<WORD>(t.tm_year + 1900);
  st.wMonth = static_cast<WORD>(t.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
  st.wDay = static_cast<WORD>(t.tm_mday);
  st.wHour = static_cast<WORD>(t.tm_hour);
  st.wMinute = static_cast<WORD>(t.tm_min);
  st.wSecond = static_cast<WORD>(t.tm_sec);
  st.wMilliseconds = 0;
}

BOOL CXTime::GetZVDateTime(CDateTimeBase* dt) const {
  _SYSTEMTIME st;
  return dt != nullptr && bGetAsSystemTime(st) && dt->InitDate(&st);
}

BOOL CXTime::bGetAsFileTime(_FILETIME& ft) const {
  _SYSTEMTIME local, utc;
  _FILETIME result;
  if (!bGetAsSystemTime(local) || !bLocalVersUTC(&local, &utc) || !SystemTimeToFileTime(&utc, &result)) return FALSE;
  const uint64_t v = U64Of(result) + static_cast<uint64_t>(utc.wMilliseconds) * (kFileTimePerSecond / 1000);
  ft.dwLowDateTime = static_cast<DWORD>(v);
  ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
  return TRUE;
}

long CXTime::nGetTime32_t() const { return s_nGetTime_t(m_tm); }

long CXTime::s_nGetTime_t(const tm& t) {
  time_t r;
  return bMkTime(t, &r) ? r : -1;
}

long CXTime::nGetTime32_t_UTC() const { return s_nGetTime_t_UTC(m_tm); }

long CXTime::s_nGetTime_t_UTC(const tm& t) {
  time_t r;
  return bTimeGm(t, &r) ? r : -1;
}

long CXTime::__s_nGetOffsetMkTime() {
  const time_t now = time(nullptr);
  tm local;
  time_t asUtc;
  if (!bLocal(now, &local) || !bTimeGm(local, &asUtc)) return 0;
  return asUtc - now;
}

BOOL CXTime::Local2UTC(const tm& local, tm& utc) {
  time_t t;
  tm r;
  if (!bMkTime(local, &t) || gmtime_r(&t, &r) == nullptr) return FALSE;
  utc = r;
  return TRUE;
}

BOOL CXTime::UTC2Local(const tm& utc, tm& local) {
  time_t t;
  tm r;
  if (!bTimeGm(utc, &t) || !bLocal(t, &r)) return FALSE;
  local = r;
  return TRUE;
}

long CXTime::nGetCurrentTime() { return time(nullptr); }
void CXTime::nGetCurrentTime(_SYSTEMTIME* st) { ::GetSystemTime(st); }
void CXTime::GetLocalTime(_SYSTEMTIME* st) { ::GetLocalTime(st); }
BOOL CXTime::bSetLocalTime(const _SYSTEMTIME* st) { return st != nullptr && ::SetLocalTime(st); }

BOOL CXTime::bInitLocalTime() const {
  _SYSTEMTIME st;
  return bGetAsSystemTime(st) && ::SetLocalTime(&st);
}

BOOL CXTime::UnixTimeToFileTime(_FILETIME* ft, long t) { return TimeToFileTime(t, ft); }

long CXTime::FileTimeToUnixTime(const _FILETIME& ft) {
  const __int128 since1970 = static_cast<__int128>(U64Of(ft)) - kFileTimeUnixEpoch;
  const __int128 perSecond = kFileTimePerSecond;
  return static_cast<long>(since1970 / perSecond - (since1970 % perSecond < 0 ? 1 : 0));
}

long CXTime::SystemTimeToUnixTime(const _SYSTEMTIME& st) {
  _FILETIME ft;
  return SystemTimeToFileTime(&st, &ft) ? FileTimeToUnixTime(ft) : -1;
}

_SYSTEMTIME CXTime::UnixTimeToSystemTime(long t) {
  _SYSTEMTIME st{};
  _FILETIME ft;
  if (TimeToFileTime(t, &ft)) FileTimeToSystemTime(&ft, &st);
  return st;
}

// ---- Comparison ----

int CXTime::snCompare(const tm* a, const tm* b) {
  if (a == b) return 0;
  if (a == nullptr || b == nullptr) return a == nullptr ? -1 : 1;
  if (a->tm_year != b->tm_year) return nDiff(a->tm_year, b->tm_year);
  if (a->tm_mon != b->tm_mon) return nDiff(a->tm_mon, b->tm_mon);
  if (a->tm_mday != b->tm_mday) return nDiff(a->tm_mday, b->tm_mday);
  if (a->tm_hour != b->tm_hour) return nDiff(a->tm_hour, b->tm_hour);
  if (a->tm_min != b->tm_min) return nDiff(a->tm_min, b->tm_min);
  return nDiff(a->tm_sec, b->tm_sec);
}

int CXTime::nCompareTo(const CXTime& other) const {
  const int r = snCompare(&m_tm, &other.m_tm);
  return r != 0 ? r : nDiff(m_nMilli, other.m_nMilli);
}

bool CXTime::operator>(const CXTime& other) const { return nCompareTo(other) > 0; }
bool CXTime::operator>=(const CXTime& other) const { return nCompareTo(other) >= 0; }

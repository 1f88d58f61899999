// Day numbers go through the Julian day number: one formula per calendar, and its standard
// inverse, keep every conversion O(1) and exact over years 1 to 9999.
#include "values/datetime.h"

#include <climits>
#include <cwchar>

#include "common/ctstring.h"
#include "common/str_buffer.h"
#include "common/str_number.h"
#include "common/xystring.h"
#include "common/zvbin.h"
#include "values/duree.h"

const wchar_t* CDateTimeBase::ms_pcszValeurInitDate = L"";
const wchar_t* CDateTimeBase::ms_pcszValeurInitTime = L"0000";
const uint8_t CDateTimeBase::ms_pbyNbJoursMois[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const uint8_t CDateTimeBase::ms_pbyNbJoursMoisBissextile[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

namespace {

constexpr int kJdnOfDayZero = 2378496;     // 31 December 1799
constexpr int kJdnGregorian = 2299161;     // 15 October 1582
constexpr int kFirstDayNumber = -657072;   // 1 January 1 (Julian)
constexpr int kLastDayNumber = 2994988;    // 31 December 9999
constexpr int kLastConvertible = 2994989;  // 1 January 10000, the end of the range
constexpr int kWeekdayShift = 657071;      // day number + this: 0 on a Sunday
constexpr int64_t kDay = kMillisecondsPerDay;
constexpr uint32_t kHour = 3600000;
constexpr uint32_t kMinute = 60000;
constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

template <typename T>
bool bDigit(T c) {
  return c >= '0' && c <= '9';
}

template <typename T>
bool bBlank(T c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Length of text, counting no further than max.
int64_t nLenMax(const wchar_t* text, int64_t max) { return xwcsnlen(text, static_cast<unsigned int>(max)); }
int64_t nLenMax(const char* text, int64_t max) { return xstrnlen(text, static_cast<unsigned int>(max)); }

// The n digits at p (checked by the caller).
template <typename T>
int nDigits(const T* p, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
  return v;
}

// The Julian day number on the class's calendar (month 1-12, day within its month).
int nJdn(int day, int month, int year) {
  const int a = (14 - month) / 12;
  const int y = year + 4800 - a;
  const int m = month + 12 * a - 3;
  const int common = day + (153 * m + 2) / 5 + 365 * y + y / 4;
  if (year < 1582 || (year == 1582 && (month < 10 || (month == 10 && day < 5)))) return common - 32083;
  if (year == 1582 && month == 10 && day < 15) return kJdnGregorian;
  return common - y / 100 + y / 400 - 32045;
}

void FromJdn(int jdn, int* day, int* month, int* year) {
  int b = 0;
  int c = jdn + 32082;
  if (jdn >= kJdnGregorian) {
    const int a = jdn + 32044;
    b = (4 * a + 3) / 146097;
    c = a - 146097 * b / 4;
  }
  const int d = (4 * c + 3) / 1461;
  const int e = c - 1461 * d / 4;
  const int m = (5 * e + 2) / 153;
  *day = e - (153 * m + 2) / 5 + 1;
  *month = m + 3 - 12 * (m / 10);
  *year = 100 * b + d - 4800 + m / 10;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

char* ToDecimal(int v, char* buffer) { return itoa(v, buffer, 10); }
wchar_t* ToDecimal(int v, wchar_t* buffer) { return itow(v, buffer, 10); }

template <typename T>
T* SetDigits(T* p, unsigned int v, int width) {
  switch (width < 4 ? width : 4) {
    case 4:
      *p++ = static_cast<T>('0' + v / 1000 % 10);
      [[fallthrough]];
    case 3:
      *p++ = static_cast<T>('0' + v / 100 % 10);
      [[fallthrough]];
    case 2:
      *p++ = static_cast<T>('0' + v / 10 % 10);
      [[fallthrough]];
    default:
      *p++ = static_cast<T>('0' + v % 10);
  }
  return p;
}

// Decimal number of the n characters at p, as the C library reads one; saturates.
template <typename T>
int64_t nReadDecimal(const T* p, int n) {
  constexpr int64_t kCap = static_cast<int64_t>(INT_MAX) + 1;
  int i = 0;
  while (i < n && bBlank(p[i])) ++i;
  bool negative = false;
  if (i < n && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
  int64_t v = 0;
  for (; i < n && bDigit(p[i]); ++i)
    if (v < kCap) v = v * 10 + (p[i] - '0');
  if (v > kCap) v = kCap;
  return negative ? -v : v;
}

int nClampInt(int64_t v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v); }

template <typename T>
int nProp(const T* text, int start, int count, BOOL partial) {
  if (text == nullptr || start < 0 || count <= 0) return 0;
  const int64_t end = static_cast<int64_t>(start) + count;
  const int64_t len = nLenMax(text, end);
  if (len <= start) return 0;
  const int present = static_cast<int>(len - start);
  if (present < count && !partial) return 0;
  int64_t v = nReadDecimal(text + start, present);
  for (int i = present; i < count && v != 0 && v < INT_MAX && v > INT_MIN; ++i) v *= 10;
  return nClampInt(v);
}

template <typename T>
void SetProp(T* buffer, int start, int count, int value, int total) {
  if (buffer == nullptr || start < 0 || count < 0 || total < 0) return;
  if (static_cast<int64_t>(start) + count <= total) {
    T digits[16];
    const T* src = ToDecimal(value, digits);
    int len = 0;
    while (src[len] != 0) ++len;
    if (len > count) {
      src += len - count;
      len = count;
    }
    int i = start;
    for (; i < start + count - len; ++i) buffer[i] = '0';
    for (int k = 0; k < len; ++k) buffer[i + k] = src[k];
  } else {
    for (int i = start; i < total; ++i) buffer[i] = '0';
  }
  buffer[total] = 0;
}

template <typename T>
void CopyCut(T* buffer, const T* full, int available, int n) {
  if (buffer == nullptr) return;
  n = n < 0 ? 0 : n > available ? available : n;
  for (int i = 0; i < n; ++i) buffer[i] = full[i];
  buffer[n] = 0;
}

// At most max bytes of bin up to a zero byte, terminated; the length.
int nBinText(const CZVBIN* bin, char* out, int max) {
  int n = 0;
  if (bin != nullptr) {
    const BYTE* p = bin->pGetData();
    const int size = bin->nGetSize();
    while (n < max && n < size && p[n] != 0) {
      out[n] = static_cast<char>(p[n]);
      ++n;
    }
  }
  out[n] = 0;
  return n;
}

int nCompareTexts(const wchar_t* a, const wchar_t* b) {
  const bool emptyA = a == nullptr || *a == 0;
  const bool emptyB = b == nullptr || *b == 0;
  if (emptyA) return emptyB ? 0 : -1;
  if (emptyB) return 1;
  const size_t la = wcslen(a);
  const size_t lb = wcslen(b);
  const int r = wcsncmp(a, b, la < lb ? la : lb);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

template <typename T>
int nSign(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

wchar_t* FAST_SETI2DATE(wchar_t* buffer, unsigned int value, int width) { return SetDigits(buffer, value, width); }
char* FAST_SETI2DATE(char* buffer, unsigned int value, int width) { return SetDigits(buffer, value, width); }

// ---- Comparison ----

int CDateTimeBase::nCompare(const CDateTimeBase& a, const CDateTimeBase& b) {
  const int r = nSign(a.dwGetMotDate(), b.dwGetMotDate());
  return r != 0 ? r : nSign(a.m_dwMilli, b.m_dwMilli);
}

int CDateTimeBase::s_nCompareDateSeule(const CDateTimeBase& a, const CDateTimeBase& b) {
  return nSign(a.dwGetMotDate(), b.dwGetMotDate());
}

int CDateTimeBase::nCompare(const CDateTimeBase& value, const wchar_t* text) {
  wchar_t buffer[kDateTimeTextChars + 1];
  value.VersChaine(buffer, kDateTimeTextChars);
  return nCompareDate(buffer, text);
}

int CDateTimeBase::nCompareDate(const wchar_t* a, const wchar_t* b) { return nCompareTexts(a, b); }
int CDateTimeBase::nCompareHeure(const wchar_t* a, const wchar_t* b) { return nCompareTexts(a, b); }

// ---- Setting fields ----

void CDateTimeBase::Set(int year, int month, int day, int hour, int minute, int second, int ms) {
  m_byJour = static_cast<uint8_t>(day);
  m_byMois = static_cast<uint8_t>(month);
  m_wAnnee = static_cast<uint16_t>(year);
  m_dwMilli = static_cast<uint32_t>(static_cast<int64_t>(hour) * kHour + static_cast<int64_t>(minute) * kMinute +
                                    static_cast<int64_t>(second) * 1000 + ms);
}

BOOL CDateTimeBase::bModifieAnnee(int year) {
  if (year < 1 || year > 9999) return FALSE;
  m_wAnnee = static_cast<uint16_t>(year);
  m_byJour = static_cast<uint8_t>(__nRectifieFinMois(m_byJour, m_byMois, m_wAnnee));
  return TRUE;
}

BOOL CDateTimeBase::bModifieMois(int month) {
  if (month < 1 || month > 12) return FALSE;
  m_byMois = static_cast<uint8_t>(month);
  m_byJour = static_cast<uint8_t>(__nRectifieFinMois(m_byJour, m_byMois, m_wAnnee));
  return TRUE;
}

BOOL CDateTimeBase::bModifieJour(int day) {
  if (day < 1 || day > 31) return FALSE;
  m_byJour = static_cast<uint8_t>(__nRectifieFinMois(day, m_byMois, m_wAnnee));
  return TRUE;
}

BOOL CDateTimeBase::bModifieHeure(int hour) {
  if (static_cast<unsigned>(hour) > 23) return FALSE;
  m_dwMilli = static_cast<uint32_t>(hour) * kHour + m_dwMilli % kHour;
  return TRUE;
}

BOOL CDateTimeBase::bModifieMinute(int minute) {
  if (static_cast<unsigned>(minute) > 59) return FALSE;
  m_dwMilli = m_dwMilli - m_dwMilli % kHour + static_cast<uint32_t>(minute) * kMinute + m_dwMilli % kMinute;
  return TRUE;
}

BOOL CDateTimeBase::bModifieSeconde(int second) {
  if (static_cast<unsigned>(second) > 59) return FALSE;
  m_dwMilli = m_dwMilli - m_dwMilli % kMinute + static_cast<uint32_t>(second) * 1000 + m_dwMilli % 1000;
  return TRUE;
}

BOOL CDateTimeBase::bModifieMilli(int ms) {
  if (static_cast<unsigned>(ms) > 999) return FALSE;
  m_dwMilli = m_dwMilli - m_dwMilli % 1000 + static_cast<uint32_t>(ms);
  return TRUE;
}

int CDateTimeBase::__nRectifieFinMois(int day, int month, int year) {
  if (day == 0 || month == 0 || year == 0) return day;
  const int last = s_nGetNbJourMois(month, year);
  return last != 0 && day > last ? last : day;
}

int CDateTimeBase::s_nGetNbJourMois(int month, int year) {
  if (month < 1 || month > 12) return 0;
  return (__nBissextile(year) ? ms_pbyNbJoursMoisBissextile : ms_pbyNbJoursMois)[month - 1];
}

BOOL CDateTimeBase::InitDate(const _SYSTEMTIME* st) {
  if (st == nullptr) return FALSE;
  // Each setter clamps to what the earlier ones set, so 29 February of a common year becomes the
  // 28th; a field a setter refuses fails the whole call, since keeping the old field would give
  // a date nobody asked for.
  CDateTimeBase result = *this;
  if (!result.bModifieAnnee(st->wYear) || !result.bModifieMois(st->wMonth) || !result.bModifieJour(st->wDay) ||
      !result.bModifieHeure(st->wHour) || !result.bModifieMinute(st->wMinute) ||
      !result.bModifieSeconde(st->wSecond) || !result.bModifieMilli(st->wMilliseconds))
    return FALSE;
  *this = result;
  return TRUE;
}

BOOL CDateTimeBase::InitDateCourante() {
  _SYSTEMTIME st{};
  ::GetLocalTime(&st);
  return InitDate(&st);
}

BOOL CDateTimeBase::InitDateCouranteUTC() {
  _SYSTEMTIME st{};
  ::GetSystemTime(&st);
  return InitDate(&st);
}

// ---- Calendar arithmetic ----

int CDateTimeBase::__nBissextile(int year) {
  return year % 4 == 0 && (year < 1583 || year % 100 != 0 || year % 400 == 0) ? 1 : 0;
}

int CDateTimeBase::s_nDateVersEntier(int day, int month, int year) {
  int n = 0;
  return __bDateVersEntier(day, month, year, &n, TRUE) ? n : 0;
}

BOOL CDateTimeBase::__bDateVersEntier(int day, int month, int year, int* n, BOOL check) {
  if (check ? year < 1 || year > 9999 : year < 0 || year > 65535) return FALSE;
  if (day < 1 || day > s_nGetNbJourMois(month, year)) return FALSE;
  if (n != nullptr) *n = nJdn(day, month, year) - kJdnOfDayZero;
  return TRUE;
}

BOOL CDateTimeBase::__bEntierVersDate(int n, int* day, int* month, int* year) {
  if (n < kFirstDayNumber || n > kLastConvertible || day == nullptr || month == nullptr || year == nullptr)
    return FALSE;
  FromJdn(n + kJdnOfDayZero, day, month, year);
  return TRUE;
}

bool CDateTimeBase::bJour(int* n) const { return __bDateVersEntier(m_byJour, m_byMois, m_wAnnee, n, TRUE); }

int CDateTimeBase::nVersEntier(int* n) const {
  int v;
  if (!bJour(&v)) return DATETIME_ERR_INVALID_DATE;
  if (n != nullptr) *n = v;
  return 0;
}

int CDateTimeBase::nVersJourJulien() const {
  int v;
  return bJour(&v) ? v + kJdnOfDayZero : 0;
}

int CDateTimeBase::nGetJourDeLaSemaine() const {
  int v;
  if (!bJour(&v)) return -1;
  const int r = (v + kWeekdayShift) % 7;
  return r < 0 ? r + 7 : r;
}

int CDateTimeBase::nGetJourDansAnnee() const {
  if (m_byMois < 1 || m_byMois > 12) return 0;
  return m_byJour + kDaysBeforeMonth[m_byMois - 1] + (m_byMois > 2 ? __nBissextile(m_wAnnee) : 0);
}

BOOL CDateTimeBase::VersISO8601YWD(int& year, int& week, int& weekday) const {
  year = week = weekday = 0;
  int n;
  if (!bJour(&n)) return FALSE;
  const int w = (nGetJourDeLaSemaine() + 6) % 7 + 1;
  int d, m, y;
  if (!__bEntierVersDate(n + 4 - w, &d, &m, &y)) return FALSE;
  CDateTimeBase thursday;
  thursday.Set(y, m, d, 0, 0, 0, 0);
  year = y;
  week = (thursday.nGetJourDansAnnee() - 1) / 7 + 1;
  weekday = w;
  return TRUE;
}

bool CDateTimeBase::bDecaleJours(int64_t n) {
  if (bEstDateVide()) return true;
  int current;
  if (!bJour(&current)) return false;
  if (n == 0) return true;
  const int64_t target = current + n;
  int d, m, y;
  if (target < kFirstDayNumber || target > kLastDayNumber ||
      !__bEntierVersDate(static_cast<int>(target), &d, &m, &y))
    return false;
  m_byJour = static_cast<uint8_t>(d);
  m_byMois = static_cast<uint8_t>(m);
  m_wAnnee = static_cast<uint16_t>(y);
  return true;
}

BOOL CDateTimeBase::bDecaleJour(int n) { return bDecaleJours(n); }

BOOL CDateTimeBase::bDecaleMilli(int64_t n) {
  const int64_t t = static_cast<int64_t>(m_dwMilli) + n % kDay;
  const int64_t days = n / kDay + FloorDiv(t, kDay);
  CDateTimeBase result = *this;
  result.m_dwMilli = static_cast<uint32_t>(t - FloorDiv(t, kDay) * kDay);
  if (days != 0 && !result.bDecaleJours(days)) return FALSE;
  *this = result;
  return TRUE;
}

bool CDateTimeBase::bDeplaceAnneeMois(int64_t years, int month) {
  if (m_wAnnee < 1 || m_wAnnee > 9999) return false;
  const int64_t year = m_wAnnee + years;
  if (year < 1 || year > 9999) return false;
  m_wAnnee = static_cast<uint16_t>(year);
  m_byMois = static_cast<uint8_t>(month);
  m_byJour = static_cast<uint8_t>(__nRectifieFinMois(m_byJour, m_byMois, m_wAnnee));
  return true;
}

BOOL CDateTimeBase::bDecaleMois(int n) {
  if (m_byMois < 1 || m_byMois > 12) return FALSE;
  int month = m_byMois + n % 12;
  int years = n / 12;
  if (month < 1) {
    month += 12;
    --years;
  } else if (month > 12) {
    month -= 12;
    ++years;
  }
  return bDeplaceAnneeMois(years, month);
}

BOOL CDateTimeBase::bDecaleAnnee(int n) { return bDeplaceAnneeMois(n, m_byMois); }

int CDateTimeBase::nCalculeDuree(const CDateTimeBase& a, const CDateTimeBase& b, CDureeBase* d) {
  int na, nb;
  if (!a.bJour(&na) || !b.bJour(&nb)) return DATETIME_ERR_INVALID_DATE;
  if (d != nullptr)
    d->m_llMilli = (static_cast<int64_t>(na) - nb) * kDay + static_cast<int64_t>(a.m_dwMilli) - b.m_dwMilli;
  return 0;
}

BOOL CDateTimeBase::bCalculeDiffJour(const CDateTimeBase& a, const CDateTimeBase& b, int* n) {
  int na = 0, nb = 0;
  const bool validA = a.bJour(&na);
  const bool validB = b.bJour(&nb);
  if (n != nullptr) *n = (validA ? na : 0) - (validB ? nb : 0);
  return validA && validB;
}

// ---- Platform structures ----

int CDateTimeBase::nVersSysteme(_SYSTEMTIME* st) const {
  if (st == nullptr) return 0;
  st->wYear = m_wAnnee;
  st->wMonth = m_byMois;
  st->wDay = m_byJour;
  st->wHour = static_cast<WORD>(m_dwMilli / kHour);
  st->wMinute = static_cast<WORD>(m_dwMilli / kMinute % 60);
  st->wSecond = static_cast<WORD>(m_dwMilli / 1000 % 60);
  st->wMilliseconds = static_cast<WORD>(m_dwMilli % 1000);
  return 0;
}

int CDateTimeBase::nDateVersSysteme(const wchar_t* text, _SYSTEMTIME* st) {
  if (st == nullptr) return 0;
  st->wYear = static_cast<WORD>(nProp(text, 0, 4, FALSE));
  st->wMonth = static_cast<WORD>(nProp(text, 4, 2, FALSE));
  st->wDay = static_cast<WORD>(nProp(text, 6, 2, FALSE));
  st->wHour = st->wMinute = st->wSecond = st->wMilliseconds = 0;
  return 0;
}

int CDateTimeBase::nHeureVersSysteme(const wchar_t* text, _SYSTEMTIME* st) {
  if (st == nullptr) return 0;
  st->wYear = st->wMonth = st->wDay = 0;
  st->wHour = static_cast<WORD>(nProp(text, 0, 2, FALSE));
  st->wMinute = static_cast<WORD>(nProp(text, 2, 2, FALSE));
  st->wSecond = static_cast<WORD>(nProp(text, 4, 2, FALSE));
  st->wMilliseconds = static_cast<WORD>(nProp(text, 6, 3, TRUE));
  return 0;
}

// ---- Digit texts ----

template <typename T>
void CDateTimeBase::TexteComplet(T* out) const {
  T* p = SetDigits(out, m_wAnnee, 4);
  p = SetDigits(p, m_byMois, 2);
  p = SetDigits(p, m_byJour, 2);
  p = SetDigits(p, m_dwMilli / kHour, 2);
  p = SetDigits(p, m_dwMilli / kMinute % 60, 2);
  p = SetDigits(p, m_dwMilli / 1000 % 60, 2);
  SetDigits(p, m_dwMilli % 1000, 3);
}

void CDateTimeBase::VersChaine(wchar_t* buffer, int n) const {
  wchar_t full[kDateTimeTextChars];
  TexteComplet(full);
  CopyCut(buffer, full, kDateTimeTextChars, n);
}

void CDateTimeBase::VersChaine(char* buffer, int n) const {
  char full[kDateTimeTextChars];
  TexteComplet(full);
  CopyCut(buffer, full, kDateTimeTextChars, n);
}

int CDateTimeBase::nVersDate(wchar_t* buffer, int n) const {
  wchar_t full[kDateTimeTextChars];
  TexteComplet(full);
  CopyCut(buffer, full, kDateTextChars, n);
  return 0;
}

int CDateTimeBase::nVersDate(char* buffer, int n) const {
  char full[kDateTimeTextChars];
  TexteComplet(full);
  CopyCut(buffer, full, kDateTextChars, n);
  return 0;
}

int CDateTimeBase::nVersHeure(wchar_t* buffer, int n) const {
  wchar_t full[kDateTimeTextChars];
  TexteComplet(full);
  CopyCut(buffer, full + kDateTextChars, kTimeTextChars, n);
  return 0;
}

int CDateTimeBase::nVersHeure(char* buffer, int n) const {
  char full[kDateTimeTextChars];
  TexteComplet(full);
  CopyCut(buffer, full + kDateTextChars, kTimeTextChars, n);
  return 0;
}

wchar_t* CDateTimeBase::pszCreeChaine() const {
  wchar_t* p = STR_pszCreate(static_cast<unsigned int>(kDateTimeTextChars));
  if (p != nullptr) VersChaine(p, kDateTimeTextChars);
  return p;
}

void CDateTimeBase::VersChaine(CTString* s) const {
  if (s == nullptr) return;
  wchar_t buffer[kDateTimeTextChars + 1];
  VersChaine(buffer, kDateTimeTextChars);
  s->Set(buffer);
}

CTString CDateTimeBase::VersChaine() const {
  CTString s;
  VersChaine(&s);
  return s;
}

int CDateTimeBase::nVersChaine(CXYString<wchar_t>* s) const {
  if (s == nullptr) return 0;
  wchar_t buffer[kDateTimeTextChars + 1];
  VersChaine(buffer, kDateTimeTextChars);
  return s->nAffecte(buffer, kDateTimeTextChars);
}

int CDateTimeBase::nVersBinaire(CZVBIN* bin) const {
  if (bin == nullptr) return 0;
  char buffer[kDateTimeTextChars + 1];
  VersChaine(buffer, kDateTimeTextChars);
  return bin->nAssign(buffer, kDateTimeTextChars);
}

CTString CDateTimeBase::VersChaineFormate() const {
  CTString s;
  s.printf(L"%d-%d-%d %d:%d:%d,%d", m_wAnnee, m_byMois, m_byJour, static_cast<int>(m_dwMilli / kHour),
           static_cast<int>(m_dwMilli / kMinute % 60), static_cast<int>(m_dwMilli / 1000 % 60),
           static_cast<int>(m_dwMilli % 1000));
  return s;
}

template <typename T>
void CDateTimeBase::SetPartieHeureT(const T* text) {
  const int64_t ms = static_cast<int64_t>(nProp(text, 0, 2, FALSE)) * kHour +
                     static_cast<int64_t>(nProp(text, 2, 2, FALSE)) * kMinute +
                     static_cast<int64_t>(nProp(text, 4, 2, FALSE)) * 1000 + nProp(text, 6, 3, TRUE);
  m_dwMilli = static_cast<uint32_t>(ms);
}

template <typename T>
void CDateTimeBase::FromStringT(const T* text) {
  m_wAnnee = static_cast<uint16_t>(nProp(text, 0, 4, FALSE));
  m_byMois = static_cast<uint8_t>(nProp(text, 4, 2, FALSE));
  m_byJour = static_cast<uint8_t>(nProp(text, 6, 2, FALSE));
  m_dwMilli = 0;
  if (nLenMax(text, kDateTextChars + 1) > kDateTextChars) SetPartieHeureT(text + kDateTextChars);
}

void CDateTimeBase::FromString(const wchar_t* text) { FromStringT(text); }
void CDateTimeBase::FromString(const char* text) { FromStringT(text); }
void CDateTimeBase::__SetPartieHeure(const wchar_t* text) { SetPartieHeureT(text); }
void CDateTimeBase::__SetPartieHeure(const char* text) { SetPartieHeureT(text); }

void CDateTimeBase::DepuisBinaire(const CZVBIN* bin) {
  char text[kDateTimeTextChars + 1];
  nBinText(bin, text, kDateTimeTextChars);
  FromString(text);
}

int CDateTimeBase::nDepuisBinaireValide(const CZVBIN* bin) {
  char text[kDateTimeTextChars + 1];
  const int len = nBinText(bin, text, kDateTimeTextChars);
  CDateTimeBase result = *this;
  result.m_dwMilli = 0;
  if (!result.bPartieDateValideT(text)) return DATETIME_ERR_INVALID_DATE;
  if (len > kDateTextChars && !result.bPartieHeureValideT(text + kDateTextChars)) return DATETIME_ERR_INVALID_TIME;
  *this = result;
  return 0;
}

template <typename T>
bool CDateTimeBase::bPartieDateValideT(const T* text) {
  if (text == nullptr) return false;
  for (int i = 0; i < kDateTextChars; ++i)
    if (!bDigit(text[i])) return false;  // also a text that ends early
  const int year = nDigits(text, 4);
  const int month = nDigits(text + 4, 2);
  const int day = nDigits(text + 6, 2);
  if (day < 1 || day > s_nGetNbJourMois(month, year)) return false;
  m_wAnnee = static_cast<uint16_t>(year);
  m_byMois = static_cast<uint8_t>(month);
  m_byJour = static_cast<uint8_t>(day);
  return true;
}

template <typename T>
bool CDateTimeBase::bPartieHeureValideT(const T* text) {
  if (text == nullptr || *text == 0) {
    m_dwMilli = 0;
    return true;
  }
  const int64_t len = nLenMax(text, kTimeTextChars + 1);
  if (len == 1 || len == 3 || len == 5 || !bDigit(text[0])) return false;
  int timeLen = 0;
  for (; timeLen < len && timeLen < kTimeTextChars && bDigit(text[timeLen]); ++timeLen) {
  }
  if (timeLen < 6 && timeLen < len) return false;
  const int hour = nDigits(text, 2);
  const int minute = timeLen >= 4 ? nDigits(text + 2, 2) : 0;
  const int second = timeLen >= 6 ? nDigits(text + 4, 2) : 0;
  int ms = 0;
  if (timeLen > 6) {
    ms = nDigits(text + 6, timeLen - 6);
    for (int i = timeLen; i < kTimeTextChars; ++i) ms *= 10;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  m_dwMilli = static_cast<uint32_t>(hour) * kHour + static_cast<uint32_t>(minute) * kMinute +
              static_cast<uint32_t>(second) * 1000 + static_cast<uint32_t>(ms);
  return true;
}

BOOL CDateTimeBase::__bSetPartieDateValide(const wchar_t* text) { return bPartieDateValideT(text); }
BOOL CDateTimeBase::__bSetPartieDateValide(const char* text) { return bPartieDateValideT(text); }
BOOL CDateTimeBase::__bSetPartieHeureValide(const wchar_t* text) { return bPartieHeureValideT(text); }
BOOL CDateTimeBase::__bSetPartieHeureValide(const char* text) { return bPartieHeureValideT(text); }

// ---- Digit fields ----

int CDateTimeBase::nGetPropDateTime(const wchar_t* text, int start, int count, BOOL partial) {
  return nProp(text, start, count, partial);
}
int CDateTimeBase::nGetPropDateTime(const char* text, int start, int count, BOOL partial) {
  return nProp(text, start, count, partial);
}
void CDateTimeBase::SetPropDateTime(wchar_t* buffer, int start, int count, int value, int total) {
  SetProp(buffer, start, count, value, total);
}
void CDateTimeBase::SetPropDateTime(char* buffer, int start, int count, int value, int total) {
  SetProp(buffer, start, count, value, total);
}

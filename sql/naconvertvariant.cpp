#include "sql/naconvertvariant.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/charset.h"
#include "common/ctstring.h"
#include "common/str_charclass.h"
#include "common/str_compare.h"
#include "common/utf.h"
#include "common/xmath.h"
#include "common/xystring.h"
#include "common/xystring_conversion.h"
#include "common/zvbin.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "platform/codepage.h"
#include "platform/cp1252.h"
#include "sql/inaitemdescription.h"
#include "sql/naitemdescription.h"
#include "sql/nakjrecord.h"
#include "values/any_display.h"
#include "values/any_operators.h"
#include "values/datetime.h"
#include "values/idecimal.h"
#include "values/money.h"
#include "values/xtime.h"

namespace {

constexpr int kSiteConversion = 3;
constexpr unsigned int kErrConversion = 53;
constexpr unsigned int kAll = 0xFFFFFFFFu;
// Longest number or date text parsed on the stack; longer ones are no number or date anyway.
constexpr unsigned int kShortText = 96;
// Longest server text converted on the stack into a held wide string.
constexpr unsigned int kStackChars = 256;

bool bTextKind(unsigned short t) {
  return (t >= 16 && t <= 25) || t == 81 || t == 110 || t == 128 || t == 129 || t == 134;
}
bool bNumberKind(unsigned short t) { return t >= ZV_UI1 && t <= ZV_UIX; }
bool bDateKind(unsigned short t) {
  return t == ZV_DATEW || t == ZV_TIMEW || t == ZV_DATETIME || t == ZV_DATEA || t == ZV_TIMEA;
}

bool bDecimalForm(const INAItemDescription* item, int* precision, int* scale) {
  if (item == nullptr || item->eNAGetItemType() != NA_IT_DECIMAL) return false;
  const long long s = item->nGetDecimalPart(), p = item->nGetIntegerPart() + s;
  if (s < 0 || p < s || p > IDecimal::kMaxPrecision) return false;
  *precision = static_cast<int>(p);
  *scale = static_cast<int>(s);
  return true;
}

unsigned int nFormSize(int precision) { return precision == 0 ? IDecimal::kFormSize : IDecimal::mg_PToN[precision]; }

// The largest k <= n for which convert(k) succeeds (convert(0) always does), then its result:
// the cut of a text at the last character that fits, for converters that fail when the whole
// result does not fit.
template <typename F>
int nLongestFit(unsigned int n, F convert) {
  const int whole = convert(n);
  if (whole > 0 || n == 0) return whole;
  unsigned int lo = 0, hi = n;
  while (hi - lo > 1) {
    const unsigned int mid = lo + (hi - lo) / 2;
    (convert(mid) > 0 ? lo : hi) = mid;
  }
  return lo == 0 ? 0 : convert(lo);
}

int nResolve(int cp) { return cp <= 0 ? 1252 : cp; }

// One character in code page cp (at most 8 bytes); '?' when the page has no form for it.
int nEncodeOne(int cp, wchar_t c, char out[8]) {
  int n = 0;
  if (cp == CP_UTF8)
    n = UTF32ToUTF8(c, out);
  else if (cp == 1252 && CP1252ByteOf(static_cast<uint32_t>(c)) >= 0)
    out[0] = static_cast<char>(CP1252ByteOf(static_cast<uint32_t>(c))), n = 1;
  else if (cp != 1252)
    n = WideCharToMultiByte(static_cast<unsigned>(cp), 0, &c, 1, out, 8, nullptr, nullptr);
  if (n <= 0) out[0] = '?', n = 1;
  return n;
}

// Wide text into at most cap bytes of code page cp, cut before the first character that does
// not fit; bytes written.
int nWideToCodePage(int cp, const wchar_t* s, unsigned int n, char* dst, unsigned int cap) {
  if (cap == 0 || n == 0) return 0;
  if (cp == CP_UTF8) return std::max(0, nWideToUTF8(dst, static_cast<int>(cap), s, static_cast<int>(n)));
  unsigned int used = 0;
  for (unsigned int i = 0; i < n; ++i) {
    char one[8];
    const unsigned int k = static_cast<unsigned int>(nEncodeOne(cp, s[i], one));
    if (used + k > cap) break;
    memcpy(dst + used, one, k);
    used += k;
  }
  return static_cast<int>(used);
}

wchar_t Widen1252(unsigned char b) {
  if (b < 0x80 || b >= 0xA0) return b;
  const uint32_t c = kCP1252High[b - 0x80];
  return static_cast<wchar_t>(c != 0 ? c : b);
}

// Narrow text of cp into at most cap UTF-16 units, cut before a character that does not fit.
int nCodePageToUTF16(int cp, const char* s, unsigned int n, unsigned short* dst, unsigned int cap) {
  if (cap == 0 || n == 0) return 0;
  if (cp == CP_UTF8) return static_cast<int>(UTF8ToUTF16(dst, cap, s, n));
  if (cp == 1252) {
    unsigned int i = 0;
    // dst may be a record slot at an odd address: each unit goes through memcpy.
    for (; i < n && i < cap; ++i) {
      const auto unit = static_cast<unsigned short>(Widen1252(static_cast<unsigned char>(s[i])));
      memcpy(dst + i, &unit, sizeof unit);
    }
    return static_cast<int>(i);
  }
  const int r = nLongestFit(n, [&](unsigned int k) {
    return k == 0 ? 0
                  : MultiByteToUTF16(static_cast<unsigned>(cp), 0, s, static_cast<int>(k), dst, static_cast<int>(cap));
  });
  return r;
}

// Narrow text of cp into at most cap wide characters.
int nCodePageToWide(int cp, const char* s, unsigned int n, wchar_t* dst, unsigned int cap) {
  if (cap == 0 || n == 0) return 0;
  if (cp == CP_UTF8) return std::max(0, nUTF8ToWide(dst, static_cast<int>(cap), s, static_cast<int>(n)));
  if (cp == 1252) {
    unsigned int i = 0;
    for (; i < n && i < cap; ++i) dst[i] = Widen1252(static_cast<unsigned char>(s[i]));
    return static_cast<int>(i);
  }
  return nLongestFit(n, [&](unsigned int k) {
    return k == 0
               ? 0
               : MultiByteToWideChar(static_cast<unsigned>(cp), 0, s, static_cast<int>(k), dst, static_cast<int>(cap));
  });
}

// Copies the ASCII bytes that start s, n at most, to dst (room for n): eight bytes a step while
// none has its high bit. Their count.
[[gnu::always_inline]] inline unsigned int nCopyAsciiRun(const char* s, unsigned int n, char* dst) {
  unsigned int i = 0;
  for (uint64_t w; i + 8 <= n; i += 8) {
    memcpy(&w, s + i, 8);
    if ((w & 0x8080808080808080ull) != 0) break;
    memcpy(dst + i, &w, 8);
  }
  if (i + 4 <= n) {
    uint32_t w;
    memcpy(&w, s + i, 4);
    if ((w & 0x80808080u) == 0) {
      memcpy(dst + i, &w, 4);
      i += 4;
    }
  }
  for (; i < n && static_cast<unsigned char>(s[i]) < 0x80; ++i) dst[i] = s[i];
  return i;
}

// The 1252 byte of the UTF-8 pair at p (two bytes there) when it is a Latin-1 letter or sign
// (U+00A0 to U+00FF, the same byte in 1252); -1 for any other bytes.
[[gnu::always_inline]] inline int nLatin1Pair(const char* p) {
  const auto lead = static_cast<unsigned char>(p[0]), next = static_cast<unsigned char>(p[1]);
  if (lead == 0xC3 && (next & 0xC0) == 0x80) return next + 0x40;
  if (lead == 0xC2 && next >= 0xA0 && next <= 0xBF) return next;
  return -1;
}

// Narrow text of cp re-encoded into at most cap bytes of code page to.
[[gnu::always_inline]] inline int nCodePageToCodePage(int cp, int to, const char* s, unsigned int n, char* dst,
                                                      unsigned int cap) {
  if (cap == 0 || n == 0) return 0;
  if (cp == to) {
    unsigned int k = std::min(n, cap);
    // Never half a UTF-8 sequence.
    if (cp == CP_UTF8 && k < n)
      while (k > 0 && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) --k;
    memcpy(dst, s, k);
    return static_cast<int>(k);
  }
  if (cp == CP_UTF8 || cp == 1252) {
    const char* p = s;
    unsigned int left = n, used = 0;
    // ASCII is itself in both pages: copied as it stands.
    const bool ascii = to == CP_UTF8 || to == 1252;
    while (left > 0) {
      if (ascii) {
        const unsigned int run = nCopyAsciiRun(p, std::min(left, cap - used), dst + used);
        used += run, p += run, left -= run;
        if (left == 0) break;
        if (static_cast<unsigned char>(*p) < 0x80) break;  // no room left
      }
      // The accented letters of most texts a 1252 host reads, without decoding and encoding them.
      if (cp == CP_UTF8 && to == 1252 && left >= 2) {
        const int byte = nLatin1Pair(p);
        if (byte >= 0) {
          if (used == cap) break;
          dst[used++] = static_cast<char>(byte);
          p += 2, left -= 2;
          continue;
        }
      }
      wchar_t c;
      if (cp == CP_UTF8) {
        c = UTF8_GetNext(&p, &left);
      } else {
        c = Widen1252(static_cast<unsigned char>(*p++));
        --left;
      }
      char one[8];
      const unsigned int k = static_cast<unsigned int>(nEncodeOne(to, c, one));
      if (used + k > cap) break;
      memcpy(dst + used, one, k);
      used += k;
    }
    return static_cast<int>(used);
  }
  // Another source page: the longest prefix the converters take whole.
  return nLongestFit(n, [&](unsigned int k) {
    if (k == 0) return 0;
    if (to == CP_UTF8) return MultiByteToUTF8(static_cast<unsigned>(cp), s, k, dst, cap, 0);
    return MultiByteToMultiByte(static_cast<unsigned>(cp), s, k, static_cast<unsigned>(to), dst, cap, 0);
  });
}

// The same out of line, for the rest of a text after its ASCII start.
template <int From, int To>
[[gnu::noinline]] int nCodePageToCodePageOutline(const char* s, unsigned int n, char* dst, unsigned int cap) {
  return nCodePageToCodePage(From, To, s, n, dst, cap);
}

// The text of a host text value and its length in characters ("" and 0 without one). Inline date
// and time texts report no length of their own: theirs runs to their terminator.
const char* pszHostText(const CAny* value, unsigned int* length) {
  const char* text = nullptr;
  value->Intern()->nGetPCASTR(&text);
  if (text == nullptr) {
    *length = 0;
    return "";
  }
  if (value->Intern()->nGetSTRLEN(length) != 0) *length = static_cast<unsigned int>(strlen(text));
  return text;
}
const wchar_t* pszHostWideText(const CAny* value, unsigned int* length) {
  const wchar_t* text = nullptr;
  value->Intern()->nGetPCWSTR(&text);
  if (text == nullptr) {
    *length = 0;
    return L"";
  }
  if (value->Intern()->nGetSTRLEN(length) != 0) *length = static_cast<unsigned int>(wcslen(text));
  return text;
}

// The string a held DSTRW or DSTRA value owns: its value area starts with the string's block
// pointer, as a CXYString is laid out.
template <typename T>
CXYString<T>& HeldString(CAny& value) {
  return *reinterpret_cast<CXYString<T>*>(value.pGetValueArea());
}

// ---- Server date and time texts ----

struct STDateParts {
  bool bDate = false;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
};

bool bDigits(const char* t, unsigned int at, unsigned int n, int* v) {
  int r = 0;
  for (unsigned int i = at; i < at + n; ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    r = r * 10 + (t[i] - '0');
  }
  *v = r;
  return true;
}

// The value of the digits in the N bytes of w (a little-endian load of the text: its first
// character most significant), N 4 or 8; false when one is no digit.
template <unsigned int N>
inline bool bDigitWord(uint64_t w, uint64_t* v) {
  constexpr uint64_t kMask = N == 8 ? ~0ULL : 0xFFFFFFFFULL;
  w &= kMask;
  if ((w & (0xF0F0F0F0F0F0F0F0ULL & kMask)) != (0x3030303030303030ULL & kMask) ||
      ((w + (0x0606060606060606ULL & kMask)) & (0xF0F0F0F0F0F0F0F0ULL & kMask)) != (0x3030303030303030ULL & kMask))
    return false;
  w -= 0x3030303030303030ULL & kMask;
  // Neighbouring digits, then pairs, then quadruples, each with its more significant half.
  w = (w * 10 + (w >> 8)) & 0x00FF00FF00FF00FFULL;
  w = (w * 100 + (w >> 16)) & 0x0000FFFF0000FFFFULL;
  if (N == 8) w = (w * 10000 + (w >> 32)) & 0xFFFFFFFFULL;
  *v = w;
  return true;
}

// The eight digits of w (as bDigitWord reads them) in pairs: byte 2k of *pairs holds the value
// of characters 2k and 2k + 1. False when one is no digit.
inline bool bDigitPairs(uint64_t w, uint64_t* pairs) {
  if ((w & 0xF0F0F0F0F0F0F0F0ULL) != 0x3030303030303030ULL ||
      ((w + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) != 0x3030303030303030ULL)
    return false;
  w -= 0x3030303030303030ULL;
  *pairs = (w * 10 + (w >> 8)) & 0x00FF00FF00FF00FFULL;
  return true;
}

inline int nPair(uint64_t pairs, int k) { return static_cast<int>((pairs >> (16 * k)) & 0xFF); }

// A date's year, month and day as the server gives them: a zero month or day is the server's
// empty date (0), any other day lies in its month (1; the server sends 30 February under
// ALLOW_INVALID_DATES); -1 for no date.
[[gnu::always_inline]] inline int nDateKind(int y, int mo, int d) {
  if (mo > 12 || d > 31) return -1;
  if (mo == 0 || d == 0) return 0;
  return d <= 28 || d <= CDateTimeBase::s_nGetNbJourMois(mo, y) ? 1 : -1;
}

// The same into parts, those of the empty date all zero.
[[gnu::always_inline]] inline bool bDateParts(int y, int mo, int d, STDateParts* p) {
  p->bDate = true;
  p->y = y, p->mo = mo, p->d = d;
  const int kind = nDateKind(y, mo, d);
  if (kind == 0) p->y = p->mo = p->d = 0;
  return kind >= 0;
}

bool bDate(const char* t, unsigned int at, bool dashes, STDateParts* p) {
  const unsigned int step = dashes ? 1 : 0;
  if (dashes && (t[at + 4] != '-' || t[at + 7] != '-')) return false;
  p->bDate = true;
  if (!dashes) {
    uint64_t w, pairs;
    memcpy(&w, t + at, 8);
    if (!bDigitPairs(w, &pairs)) return false;
    return bDateParts(nPair(pairs, 0) * 100 + nPair(pairs, 1), nPair(pairs, 2), nPair(pairs, 3), p);
  }
  int y, mo, d;
  if (!bDigits(t, at, 4, &y) || !bDigits(t, at + 4 + step, 2, &mo) || !bDigits(t, at + 6 + 2 * step, 2, &d)) return false;
  return bDateParts(y, mo, d, p);
}

// "YYYYMMDD HH:MM:SS" (17 characters, t[8] the space): true with a date-time of the calendar.
[[gnu::always_inline]] inline bool bDateTimeDigits(const char* t, STDateParts* p) {
  // Only HH:MM:SS fills the eight characters after the date: its digits closed up as HHMMSS00.
  uint64_t date, w, pairs;
  memcpy(&date, t, 8);
  memcpy(&w, t + 9, 8);
  const uint64_t digits =
      (w & 0xFFFF) | ((w >> 8) & 0xFFFF0000ULL) | ((w >> 16) & 0xFFFF00000000ULL) | 0x3030000000000000ULL;
  if (!bDigitPairs(date, &pairs) ||
      !bDateParts(nPair(pairs, 0) * 100 + nPair(pairs, 1), nPair(pairs, 2), nPair(pairs, 3), p) ||
      (w & 0x0000FF0000FF0000ULL) != 0x00003A00003A0000ULL || !bDigitPairs(digits, &pairs))
    return false;
  p->h = nPair(pairs, 0), p->mi = nPair(pairs, 1), p->s = nPair(pairs, 2);
  return p->h <= 23 && p->mi <= 59 && p->s <= 59;
}

// The server's own "YYYY-MM-DD HH:MM:SS" (19 characters): true with the bytes of a date-time of
// the calendar read to the second (SecondsDateTime's).
[[gnu::always_inline]] inline bool bServerDateTime(const char* t, uint64_t* word) {
  // Three words against the form: each byte xor its form's is a digit's value, or zero for the
  // dashes, space and colons; adding 0x76 (0x7F at those) sets the top bit of any other.
  uint64_t a, b, c;
  memcpy(&a, t, 8);       // "YYYY-MM-"
  memcpy(&b, t + 8, 8);   // "DD HH:MM"
  memcpy(&c, t + 11, 8);  // "HH:MM:SS"
  a ^= 0x2D30302D30303030ULL;
  b ^= 0x30303A3030203030ULL;
  c ^= 0x30303A30303A3030ULL;
  if ((((a + 0x7F76767F76767676ULL) | a) | ((b + 0x76767F76767F7676ULL) | b) |
       ((c + 0x76767F76767F7676ULL) | c)) &
      0x8080808080808080ULL)
    return false;
  // Byte k of x * 10 + (x >> 8) is the pair of digits at k and k + 1.
  a = a * 10 + (a >> 8);
  b = b * 10 + (b >> 8);
  c = c * 10 + (c >> 8);
  const int y = static_cast<int>(a & 0xFF) * 100 + static_cast<int>((a >> 16) & 0xFF);
  const int mo = static_cast<int>((a >> 40) & 0xFF), d = static_cast<int>(b & 0xFF);
  const int h = static_cast<int>((b >> 24) & 0xFF), mi = static_cast<int>((b >> 48) & 0xFF);
  const int s = static_cast<int>((c >> 48) & 0xFF);
  const int kind = h <= 23 && mi <= 59 && s <= 59 ? nDateKind(y, mo, d) : -1;
  if (kind < 0) return false;
  // Day, month and year make the low word, the milliseconds of the day the high one.
  const uint64_t date = kind == 0 ? 0 : static_cast<uint64_t>(d | mo << 8 | y << 16);
  *word = date | static_cast<uint64_t>(((h * 60 + mi) * 60 + s) * 1000) << 32;
  return true;
}

// The date-time of parts read to the second.
inline CDateTimeBase SecondsDateTime(const STDateParts& parts) {
  CDateTimeBase dt;
  dt.m_byJour = static_cast<uint8_t>(parts.d);
  dt.m_byMois = static_cast<uint8_t>(parts.mo);
  dt.m_wAnnee = static_cast<uint16_t>(parts.y);
  dt.m_dwMilli = static_cast<uint32_t>(((parts.h * 60 + parts.mi) * 60 + parts.s) * 1000);
  return dt;
}

// 1 to 6 fraction digits; the first three make the milliseconds.
bool bFraction(const char* t, unsigned int at, unsigned int n, STDateParts* p) {
  if (n < 1 || n > 6) return false;
  int v = 0;
  if (!bDigits(t, at, n, &v)) return false;
  p->ms = 0;
  for (unsigned int i = 0; i < 3; ++i) p->ms = p->ms * 10 + (i < n ? t[at + i] - '0' : 0);
  return true;
}

// [-]H..H:MM[:SS[.f..f]]: 0 a time of day, 1 no such text, 2 a time outside a day.
int nTime(const char* t, unsigned int n, STDateParts* p) {
  unsigned int i = 0;
  const bool neg = n > 0 && t[0] == '-';
  if (neg) ++i;
  unsigned int hd = 0;
  while (i + hd < n && t[i + hd] >= '0' && t[i + hd] <= '9') ++hd;
  if (hd < 1 || hd > 3 || !bDigits(t, i, hd, &p->h)) return 1;
  i += hd;
  if (i + 3 > n || t[i] != ':' || !bDigits(t, i + 1, 2, &p->mi)) return 1;
  i += 3;
  if (i < n) {
    if (i + 3 > n || t[i] != ':' || !bDigits(t, i + 1, 2, &p->s)) return 1;
    i += 3;
    if (i < n && (t[i] != '.' || !bFraction(t, i + 1, n - i - 1, p))) return 1;
  }
  if (p->mi > 59 || p->s > 59) return 1;
  return neg || p->h > 23 ? 2 : 0;
}

// 0 parsed, 1 not a date or time, 2 a time outside a day.
int nParseDBDate(const char* t, unsigned int n, STDateParts* p) {
  const bool allDigits = n > 0 && n < 15 && std::all_of(t, t + n, [](char c) { return c >= '0' && c <= '9'; });
  if (allDigits && (n == 4 || n == 6)) {
    bDigits(t, 0, 2, &p->h);
    bDigits(t, 2, 2, &p->mi);
    if (n == 6) bDigits(t, 4, 2, &p->s);
    return p->h > 23 || p->mi > 59 || p->s > 59 ? 2 : 0;
  }
  if (allDigits && (n == 8 || n == 14)) {
    if (!bDate(t, 0, false, p)) return 1;
    if (n == 14) bDigits(t, 8, 2, &p->h), bDigits(t, 10, 2, &p->mi), bDigits(t, 12, 2, &p->s);
    return p->h > 23 || p->mi > 59 || p->s > 59 ? 1 : 0;
  }
  if (n == 10 && t[4] == '-') return bDate(t, 0, true, p) ? 0 : 1;
  if (n == 17 && t[8] == ' ') return bDateTimeDigits(t, p) ? 0 : 1;
  if (n >= 19 && n <= 26 && t[4] == '-' && t[10] == ' ') {
    if (!bDate(t, 0, true, p)) return 1;
    STDateParts time;
    if (t[13] != ':' || nTime(t + 11, n - 11, &time) != 0) return 1;
    p->h = time.h, p->mi = time.mi, p->s = time.s, p->ms = time.ms;
    return 0;
  }
  return memchr(t, ':', n) != nullptr ? nTime(t, n, p) : 1;
}

// Which form a date or time takes: by the host item, else by the value type.
enum eDateForm { FORM_NONE, FORM_DATE8, FORM_DATETIME, FORM_HEURE };

eDateForm eFormOf(eNA_ITEMTYPE analysis, unsigned short type) {
  switch (analysis) {
    case NA_IT_DATE8:
      return FORM_DATE8;
    case NA_IT_DATETIME:
      return FORM_DATETIME;
    case NA_IT_HEURE:
      return FORM_HEURE;
    case NA_IT_EMPTY:
      break;
    default:
      return FORM_NONE;
  }
  if (type == ZV_DATETIME) return FORM_DATETIME;
  if (type == ZV_DATEA || type == ZV_DATEW) return FORM_DATE8;
  if (type == ZV_TIMEA || type == ZV_TIMEW) return FORM_HEURE;
  return FORM_NONE;
}

// Digits of a date-time: YYYYMMDD and HHMMSSmmm, each terminated.
void DateDigits(const CDateTimeBase& dt, char date[9], char time[10]) {
  const unsigned int y = dt.m_wAnnee % 10000u, mo = dt.m_byMois % 100u, d = dt.m_byJour % 100u;
  const unsigned int digits[8] = {y / 1000, y / 100 % 10, y / 10 % 10, y % 10, mo / 10, mo % 10, d / 10, d % 10};
  for (int i = 0; i < 8; ++i) date[i] = static_cast<char>('0' + digits[i]);
  date[8] = 0;
  dt.nVersHeure(time, kTimeTextChars);
}

// The digits of t[0, n), n 1 to 8, as a number: from four on, the text is read in two loads and
// placed at the end of a word of '0's. False when one is no digit.
[[gnu::always_inline]] inline bool bDigitRun8(const char* t, unsigned int n, uint64_t* v) {
  if (n < 4) {
    // A few digits are quicker one by one.
    uint64_t r = 0;
    for (unsigned int i = 0; i < n; ++i) {
      const unsigned int digit = static_cast<unsigned int>(static_cast<unsigned char>(t[i])) - '0';
      if (digit > 9) return false;
      r = r * 10 + digit;
    }
    *v = r;
    return true;
  }
  uint32_t lo, hi;
  memcpy(&lo, t, 4);
  memcpy(&hi, t + n - 4, 4);
  uint64_t w = lo | (static_cast<uint64_t>(hi) << (8 * (n - 4)));
  if (n < 8) w = (w << (8 * (8 - n))) | (0x3030303030303030ULL >> (8 * n));
  return bDigitWord<8>(w, v);
}

// The same for n 1 to 16.
[[gnu::always_inline]] inline bool bDigitRun(const char* t, unsigned int n, uint64_t* v) {
  if (n <= 8) return bDigitRun8(t, n, v);
  uint64_t high, low;
  if (!bDigitRun8(t, n - 8, &high) || !bDigitRun8(t + n - 8, 8, &low)) return false;
  *v = high * 100000000 + low;
  return true;
}

// A number text every row of a result is made of: "[-]digits" (at most 20) for the integer
// types, and for currency "[-]digits[.digits]" with at most 12 integer digits and 6 decimals,
// read as millionths. FALSE for any other text.
[[gnu::always_inline]] inline bool bPlainNumber(const char* t, unsigned int n, bool currency, bool* negative,
                                                unsigned long long* value) {
  *negative = n > 0 && t[0] == '-';
  const unsigned int start = *negative ? 1 : 0;
  // A currency's point lies among its last seven characters: its integer part ends there.
  unsigned int end = n;
  if (currency && n >= start + 3 && t[n - 3] == '.')
    end = n - 3;  // two decimals, the common scale
  else if (currency)
    for (unsigned int k = n; k > start && k + 7 > n; --k)
      if (t[k - 1] == '.') {
        end = k - 1;
        break;
      }
  const unsigned int digits = end - start;
  uint64_t v = 0;
  if (digits == 0 || digits > (currency ? 12u : 20u)) return false;
  if (digits <= 16) {
    if (!bDigitRun(t + start, digits, &v)) return false;
  } else {
    for (unsigned int i = start; i < end; ++i)
      if (t[i] < '0' || t[i] > '9' || __builtin_mul_overflow(v, 10ULL, &v) ||
          __builtin_add_overflow(v, static_cast<unsigned int>(t[i] - '0'), &v))
        return false;
  }
  if (!currency) {
    *value = v;
    return true;
  }
  static constexpr unsigned long long kScale[7] = {1000000, 100000, 10000, 1000, 100, 10, 1};
  const unsigned int decimals = end < n ? n - end - 1 : 0;
  uint64_t fraction = 0;
  if (end < n && (decimals == 0 || !bDigitRun8(t + end + 1, decimals, &fraction))) return false;
  *value = v * 1000000 + fraction * kScale[decimals];
  return true;
}

// The currency's bytes of the millionths bPlainNumber reads (below 10^18): the 80-bit two's
// complement is the 64-bit one sign-extended.
inline void CurrencyForm(bool negative, unsigned long long magnitude, unsigned char bytes[sizeof(CMoney)]) {
  const long long millionths = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  const uint16_t sign = millionths < 0 ? 0xFFFF : 0;
  memcpy(bytes, &millionths, 8);
  memcpy(bytes + 8, &sign, 2);
}

using u128 = unsigned __int128;

// 10^0 .. 10^38: the magnitudes of every decimal precision.
constexpr struct SPow10Wide {
  u128 v[IDecimal::kMaxPrecision + 1];
  constexpr SPow10Wide() : v() {
    v[0] = 1;
    for (int i = 1; i <= IDecimal::kMaxPrecision; ++i) v[i] = v[i - 1] * 10;
  }
} kPow10Wide;

// "[-]digits[.digits]" as the host's decimal of precision (1 to 38) and scale holds it: the
// unscaled value in two's complement, more decimals than the scale rounded half away from zero,
// as the VM reads the text and then writes its decimal at that precision and scale. Only texts
// the VM reads without a rounding of its own (at most 38 significant digits and 38 decimals)
// and values of at most precision digits: FALSE for any other, which the VM reads and refuses.
[[gnu::noinline]] bool bPlainDecimal(const char* t, unsigned int n, unsigned int precision, unsigned int scale,
                                     u128* twos) {
  const char *p = t, *const end = t + n;
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  // Digits gather in a word; the word goes into the value every 19 of them.
  u128 magnitude = 0;
  uint64_t word = 0;
  unsigned int inWord = 0, significant = 0, integers = 0, decimals = 0;
  bool point = false;
  for (; p < end; ++p) {
    const unsigned int digit = static_cast<unsigned int>(static_cast<unsigned char>(*p)) - '0';
    if (digit > 9) {
      if (*p != '.' || point || integers == 0) return false;
      point = true;
      continue;
    }
    if (point)
      ++decimals;
    else
      ++integers;
    if (significant == 0 && digit == 0) continue;
    if (++significant > IDecimal::kMaxPrecision) return false;
    word = word * 10 + digit;
    if (++inWord == 19) {
      magnitude = magnitude * CXMath::kPow10[18] * 10 + word;
      word = 0;
      inWord = 0;
    }
  }
  if (integers == 0 || (point && decimals == 0) || decimals > IDecimal::kMaxPrecision) return false;
  magnitude = magnitude * kPow10Wide.v[inWord] + word;
  if (decimals <= scale) {
    // The value's digits at the scale.
    if (significant != 0 && significant + scale > precision + decimals) return false;
    magnitude *= kPow10Wide.v[scale - decimals];
  } else {
    const u128 unit = kPow10Wide.v[decimals - scale], rest = magnitude % unit;
    magnitude = magnitude / unit + (rest != 0 && rest >= unit - rest ? 1 : 0);
    if (magnitude >= kPow10Wide.v[precision]) return false;
  }
  *twos = negative ? 0 - magnitude : magnitude;
  return true;
}

// A number text ("[-]digits[.digits][(e|E)[+|-]digits]", a point without digits on one side
// too) as a real (a float when single) into bytes, as the VM reads such a text: from_chars on its
// characters, which must take them all. A text that starts with no digit or point after its sign
// (the infinities and NaNs from_chars reads), and a value beyond the type's range, are left to the
// VM.
[[gnu::always_inline]] inline bool bPlainReal(const char* t, unsigned int n, bool single, unsigned char bytes[8]) {
  const char* const end = t + n;
  const char* p = n > 0 && *t == '-' ? t + 1 : t;
  if (p == end || (static_cast<unsigned int>(static_cast<unsigned char>(*p)) - '0' > 9 && *p != '.')) return false;
  if (single) {
    float f;
    const std::from_chars_result r = std::from_chars(t, end, f);
    if (r.ec != std::errc() || r.ptr != end) return false;
    memcpy(bytes, &f, sizeof f);
  } else {
    double d;
    const std::from_chars_result r = std::from_chars(t, end, d);
    if (r.ec != std::errc() || r.ptr != end) return false;
    memcpy(bytes, &d, sizeof d);
  }
  return true;
}

}  // namespace

// ---- Construction and kind ----

CNAConvertVariant::CNAConvertVariant(CNAError* error, CNAConnectionDescription* cnx)
    : m_pclCnx(cnx), m_pclError(error) {
  // A converter born where another lived must not pass for it.
  CNAReadStamp::nMove();
  if (m_pclCnx != nullptr) m_pclCnx->AddRef();
  CNAError::s_Hold(m_pclError);
}

CNAConvertVariant::~CNAConvertVariant() {
  ResetVariant();
  // Through the driver: the last user of a connection whose close was requested closes it.
  CNADriver::g_nReleaseConnection(m_pclCnx);
  CNAError::s_Drop(&m_pclError);
}

void CNAConvertVariant::_SetKind(eNAVARTYPE kind, bool keepItems) {
  if (m_eVarType == NA_VAR_OWNBUFFER) free(m_pbyBuffer);
  m_pbyBuffer = nullptr;
  m_nBufferSize = m_nDataSize = 0;
  if (!keepItems) SetItemDesc(nullptr, nullptr);
  m_eVarType = kind;
  m_nDBState = kind == NA_VAR_POINTER || kind == NA_VAR_OWNBUFFER ? 1 : 0;
  _MoveShapeStamp(1);
}

void CNAConvertVariant::InitTypeVariantAny(unsigned short type, unsigned int) {
  _SetKind(NA_VAR_ANY);
  m_clValue.__SetType(type, 0);
}

void CNAConvertVariant::InitTypeVariantAny(unsigned short type, INAItemDescription* analysis,
                                           INAItemDescription* database) {
  // The same two again (a holder retyped for the next value): what they gave is still theirs.
  const bool same = analysis != nullptr && analysis == m_piAnalysis && database == m_piDatabase;
  _SetKind(NA_VAR_ANY, same);
  m_clValue.__SetType(type, 0);
  if (same) {
    _MoveShapeStamp(1);
    m_clValue.__SetType(m_wAnalysisZV, 0);
  } else {
    SetItemDesc(analysis, database);
  }
}

BOOL CNAConvertVariant::bInitTypeVariant(eNAVARTYPE kind, void* buffer, unsigned int size, unsigned short type) {
  if (kind != NA_VAR_BUFFER && kind != NA_VAR_POINTER && kind != NA_VAR_OWNBUFFER) return FALSE;
  unsigned char* own = nullptr;
  if (kind == NA_VAR_OWNBUFFER) {
    own = static_cast<unsigned char*>(calloc(std::max(size, 1u), 1));
    if (own == nullptr) {
      if (m_pclError != nullptr) m_pclError->pclGetXError()->SetErrorNoMemory();
      return FALSE;
    }
  }
  _SetKind(kind);
  m_pbyBuffer = own != nullptr ? own : static_cast<unsigned char*>(buffer);
  m_nBufferSize = m_pbyBuffer != nullptr ? size : 0;
  m_clValue.__SetType(type, 0);
  return TRUE;
}

BOOL CNAConvertVariant::bInitTypeVariantBuffer(unsigned short type, unsigned int size) {
  return bInitTypeVariant(NA_VAR_OWNBUFFER, nullptr, size, type) && _bInitTypeBind();
}

void CNAConvertVariant::ResetVariant() {
  _SetKind(NA_VAR_NONE);
  m_clValue.__SetType(ZV_VIDE, 0);
}

void CNAConvertVariant::Restart(bool keepItems) {
  _SetKind(NA_VAR_NONE, keepItems);
  // The value is made new whole: no emptying first.
  m_clValue.~CAny();
  new (&m_clValue) CAny();
  m_nDBLength = 0;
  m_nDBState = 0;
}

BOOL CNAConvertVariant::bRenewPlainNumber(INAItemDescription* analysis, INAItemDescription* database,
                                          const CAny* value) {
  // The typing keeps the two and the type they gave; bSetValue then copies a value of that type.
  if (value == nullptr || value == &m_clValue || analysis == nullptr || analysis != m_piAnalysis ||
      database != m_piDatabase || value->bIsNull() || value->wGetType() != m_wAnalysisZV ||
      nPlainNumberWidth(m_wAnalysisZV) == 0)
    return FALSE;
  if (m_eVarType == NA_VAR_ANY) {
    // Restart's kind, then the typing's retype by the two: nothing of a buffer to drop.
    m_pbyBuffer = nullptr;
    m_nDataSize = m_nBufferSize = 0;
    m_nDBState = 0;
    _MoveHeldShapeStamp(3);
  } else {
    _SetKind(NA_VAR_ANY, true);
    // Restart's kind, then the typing's retype by the two, moved the stamp too.
    _MoveShapeStamp(2);
  }
  m_nDBLength = 0;
  m_clValue.AssignLike(*value);
  m_clValue.SetFlags(0);
  return TRUE;
}

void CNAConvertVariant::SetItemDesc(INAItemDescription* analysis, INAItemDescription* database) {
  if (analysis != m_piAnalysis || database != m_piDatabase) _MoveShapeStamp(1);
  if (analysis != m_piAnalysis) {
    if (analysis != nullptr) analysis->ExternalAddRef();
    if (m_piAnalysis != nullptr) m_piAnalysis->nExternalRelease();
    m_piAnalysis = analysis;
    m_eAnalysisType = analysis != nullptr ? analysis->eNAGetItemType() : NA_IT_EMPTY;
    if (!bDecimalForm(analysis, &m_nAnalysisPrecision, &m_nAnalysisScale)) m_nAnalysisPrecision = m_nAnalysisScale = -1;
    m_wAnalysisZV = analysis != nullptr ? ConverteItemToZVType(analysis) : 0;
    if (analysis != nullptr) m_clValue.__SetType(m_wAnalysisZV, 0);
  }
  if (database != m_piDatabase) {
    if (database != nullptr) database->ExternalAddRef();
    if (m_piDatabase != nullptr) m_piDatabase->nExternalRelease();
    m_piDatabase = database;
  }
}

bool CNAConvertVariant::_bBinarySlot() const { return _bBuffered() && eNAGetItemTypeAnalyse() == NA_IT_BINAIRE; }

void CNAConvertVariant::_Touch() {
  if (m_eVarType == NA_VAR_NOTREAD) m_eVarType = NA_VAR_ANY;
  m_clValue.SetFlags(0);
}

int CNAConvertVariant::_nHostCodePage() const {
  const int cp = m_pclCnx != nullptr ? m_pclCnx->nGetHostCodePage() : -1;
  return nResolve(cp > 0 ? cp : static_cast<int>(dwGetCodePageFromCharset(STR_nGetCurrentChangeCharset())));
}

int CNAConvertVariant::_nServerCodePage() const {
  const int cp = m_pclCnx != nullptr ? m_pclCnx->nGetServerCodePage() : -1;
  return cp > 0 ? cp : CP_UTF8;
}

void CNAConvertVariant::_ZeroBuffer() {
  if (_bBuffered() && m_pbyBuffer != nullptr) memset(m_pbyBuffer, 0, m_nBufferSize);
  m_nDataSize = 0;
}

// ---- Item types ----

eNA_ITEMTYPE CNAConvertVariant::eNAGetItemType() const {
  return m_piAnalysis != nullptr ? eNAGetItemTypeAnalyse() : eNAGetItemTypeDatabase();
}
eNA_ITEMTYPE CNAConvertVariant::eNAGetItemTypeDatabaseEx() const {
  if (m_piDatabase != nullptr) return eNAGetItemTypeDatabase();
  if (m_piAnalysis != nullptr) return eNAGetItemTypeAnalyse();
  return ConvertZVTypeToeItem(wGetType());
}
BOOL CNAConvertVariant::bIsMemo() const {
  const eNA_ITEMTYPE t = eNAGetItemType();
  return t == NA_IT_MEMOTEXTE || t == NA_IT_MEMOBINAIRE4 || t == NA_IT_MEMOBINAIRE || t == NA_IT_MEMOUNICODE;
}
BOOL CNAConvertVariant::bIsMemoBinaire() const {
  const eNA_ITEMTYPE t = eNAGetItemType();
  return t == NA_IT_MEMOBINAIRE4 || t == NA_IT_MEMOBINAIRE;
}
BOOL CNAConvertVariant::bUnicodeDB() const {
  if (m_piDatabase != nullptr || m_piAnalysis != nullptr) {
    const eNA_ITEMTYPE t = m_piDatabase != nullptr ? eNAGetItemTypeDatabase() : eNAGetItemTypeAnalyse();
    return bIsTextUnicode(t);
  }
  return g_bIsZVTextWide(wGetType());
}
unsigned short CNAConvertVariant::eGetZVTypeDB() const {
  return m_piDatabase != nullptr ? ConverteItemToZVType(m_piDatabase) : 0;
}
eNA_ITEMTYPE CNAConvertVariant::eNAGetDBType() const {
  // Only the driver's own descriptions know a server type code.
  const auto* item = dynamic_cast<const CNAItemDescription*>(m_piDatabase);
  return item != nullptr ? item->eNAGetDBType(m_pclCnx) : NA_IT_EMPTY;
}
const wchar_t* CNAConvertVariant::pszGetItemName() const {
  if (m_piAnalysis != nullptr) return m_piAnalysis->pszGetName();
  return m_piDatabase != nullptr ? m_piDatabase->pszGetName() : nullptr;
}
const wchar_t* CNAConvertVariant::pszGetTableName() const {
  if (m_piAnalysis != nullptr) return m_piAnalysis->pszGetSourceName();
  return m_piDatabase != nullptr ? m_piDatabase->pszGetSourceName() : nullptr;
}

// ---- Errors ----

void CNAConvertVariant::_SetErrorConversionFailed(unsigned short from, const wchar_t* text) {
  // A buffer keeps no half-written value and a held value no stale one.
  _ZeroBuffer();
  if (!_bBuffered()) {
    m_clValue.__SetType(wGetType(), 0);
    m_clValue.SetNull(true);
  }
  eNA_ITEMTYPE item = eNAGetItemType();
  if (item == NA_IT_EMPTY) item = ConvertZVTypeToeItem(wGetType());
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteConversion, m_pclCnx,
                             pszGetTableName(), pszGetItemName(), kErrConversion, static_cast<int>(from),
                             static_cast<int>(item), text != nullptr ? text : L"");
}

void CNAConvertVariant::_SetErrorConversionFailed(unsigned short from, const char* text, unsigned int length,
                                                  int codePage) {
  const CXYString<wchar_t> wide = PCASTR_To_CWString(text, codePage, static_cast<int>(length));
  _SetErrorConversionFailed(from, wide.pszGet());
}

// ---- Buffer writers ----

BOOL CNAConvertVariant::_bStoreBytes(const void* bytes, unsigned int length, unsigned int reserve) {
  if (m_pbyBuffer == nullptr) return FALSE;
  unsigned int used = 0;
  const eNA_ITEMTYPE analysis = _bBuffered() ? eNAGetItemTypeAnalyse() : NA_IT_EMPTY;
  if (analysis == NA_IT_BINAIRE) {
    const unsigned int n = m_nBufferSize >= 2 ? std::min({length, m_nBufferSize - 2, 0xFFFFu}) : 0;
    if (m_nBufferSize >= 2) {
      m_pbyBuffer[0] = static_cast<unsigned char>(n);
      m_pbyBuffer[1] = static_cast<unsigned char>(n >> 8);
      if (n > 0) memmove(m_pbyBuffer + 2, bytes, n);
      used = n + 2;
    }
    m_nDataSize = n;
  } else {
    used = m_nBufferSize > reserve ? std::min(length, m_nBufferSize - reserve) : 0;
    // UTF-16 units are kept whole.
    if (_bUTF16Slot(analysis)) used &= ~1u;
    if (used > 0) memmove(m_pbyBuffer, bytes, used);
    m_nDataSize = used;
  }
  if (used < m_nBufferSize) memset(m_pbyBuffer + used, 0, m_nBufferSize - used);
  return TRUE;
}

template <unsigned int N>
[[gnu::always_inline]] inline bool CNAConvertVariant::_bStoreFixed(const void* bytes, eNA_ITEMTYPE analysis) {
  // A slot of a number or date-time type keeps no length and no UTF-16 units: _bStoreBytes
  // writes these bytes and zeros, unless the slot is too short or a BINAIRE item's.
  if (!_bBuffered() || m_pbyBuffer == nullptr || m_nBufferSize < N || analysis == NA_IT_BINAIRE) return false;
  memcpy(m_pbyBuffer, bytes, N);
  if (m_nBufferSize > N) memset(m_pbyBuffer + N, 0, m_nBufferSize - N);
  m_nDataSize = N;
  return true;
}

BOOL CNAConvertVariant::_bStoreWide(const wchar_t* text, unsigned int length) {
  if (m_pbyBuffer == nullptr) return FALSE;
  const unsigned short type = wGetType();
  unsigned int used = 0;
  if (length == 0) {
  } else if (type == ZV_CARW) {
    if (m_nBufferSize >= sizeof(wchar_t)) memcpy(m_pbyBuffer, text, used = sizeof(wchar_t));
  } else if (type == ZV_CARA) {
    if (m_nBufferSize >= 1) {
      char c = '?';
      nWideToCodePage(_nHostCodePage(), text, 1, &c, 1);
      m_pbyBuffer[0] = static_cast<unsigned char>(c);
      used = 1;
    }
  } else if (_bUTF16Slot()) {
    const unsigned int cap = m_nBufferSize / 2 > 0 ? m_nBufferSize / 2 - 1 : 0;
    const int units = cap > 0 ? WideCharToUTF16(text, static_cast<int>(length),
                                                reinterpret_cast<unsigned short*>(m_pbyBuffer), static_cast<int>(cap))
                              : 0;
    used = 2 * static_cast<unsigned int>(std::max(units, 0));
  } else if (g_bIsZVTextWide(type)) {
    const unsigned int cap = m_nBufferSize / sizeof(wchar_t) > 0 ? m_nBufferSize / sizeof(wchar_t) - 1 : 0;
    used = std::min(length, cap) * static_cast<unsigned int>(sizeof(wchar_t));
    memmove(m_pbyBuffer, text, used);
  } else if (g_bIsZVTextAnsi(type)) {
    const unsigned int cap = m_nBufferSize > 0 ? m_nBufferSize - 1 : 0;
    const int n = nWideToCodePage(_nHostCodePage(), text, length, reinterpret_cast<char*>(m_pbyBuffer), cap);
    if (n <= 0 && cap > 0) {
      _ZeroBuffer();
      return FALSE;
    }
    used = static_cast<unsigned int>(std::max(n, 0));
  } else {
    return _bStoreBytes(text, length * static_cast<unsigned int>(sizeof(wchar_t)), 0);
  }
  memset(m_pbyBuffer + used, 0, m_nBufferSize - used);
  m_nDataSize = used;
  return TRUE;
}

BOOL CNAConvertVariant::_bStoreAnsi(const char* text, unsigned int length, int codePage) {
  if (m_pbyBuffer == nullptr) return FALSE;
  const unsigned short type = wGetType();
  unsigned int used = 0;
  int n = 0;
  if (length == 0) {
  } else if (type == ZV_CARA) {
    if (m_nBufferSize >= 1) m_pbyBuffer[used++] = static_cast<unsigned char>(text[0]);
  } else if (type == ZV_CARW) {
    wchar_t c = 0;
    if (m_nBufferSize >= sizeof(wchar_t) && nCodePageToWide(codePage, text, length, &c, 1) == 1)
      memcpy(m_pbyBuffer, &c, used = sizeof(wchar_t));
  } else if (_bUTF16Slot()) {
    const unsigned int cap = m_nBufferSize / 2 > 0 ? m_nBufferSize / 2 - 1 : 0;
    n = nCodePageToUTF16(codePage, text, length, reinterpret_cast<unsigned short*>(m_pbyBuffer), cap);
    used = 2 * static_cast<unsigned int>(std::max(n, 0));
  } else if (g_bIsZVTextWide(type)) {
    const unsigned int cap = m_nBufferSize / sizeof(wchar_t) > 0 ? m_nBufferSize / sizeof(wchar_t) - 1 : 0;
    n = nCodePageToWide(codePage, text, length, reinterpret_cast<wchar_t*>(m_pbyBuffer), cap);
    used = static_cast<unsigned int>(std::max(n, 0)) * static_cast<unsigned int>(sizeof(wchar_t));
  } else {
    const unsigned int cap = m_nBufferSize > 0 ? m_nBufferSize - 1 : 0;
    n = nCodePageToCodePage(codePage, _nHostCodePage(), text, length, reinterpret_cast<char*>(m_pbyBuffer), cap);
    used = static_cast<unsigned int>(std::max(n, 0));
  }
  // A text that converts to nothing while there was room is a failed conversion.
  if (length > 0 && used == 0 && m_nBufferSize > 2 * sizeof(wchar_t)) {
    _ZeroBuffer();
    return FALSE;
  }
  memset(m_pbyBuffer + used, 0, m_nBufferSize - used);
  m_nDataSize = used;
  return TRUE;
}

// ---- From the host ----

void CNAConvertVariant::SetNull() {
  if (m_eVarType == NA_VAR_NOTREAD) m_eVarType = NA_VAR_ANY;
  if (_bBuffered()) {
    _ZeroBuffer();
  } else {
    m_clValue.__SetType(wGetType(), 0);
  }
  m_clValue.SetNull(true);
}

BOOL CNAConvertVariant::_bSetSameType(const CAny* value, unsigned short from, const wchar_t* shown) {
  const unsigned short type = wGetType();
  if (type == ZV_DECIMAL) {
    IDecimal* dec = nullptr;
    value->Intern()->nFillBuffer(&dec);
    int p = 0, s = 0;
    if (!_bAnalysisDecimal(&p, &s) && dec != nullptr) dec->GetPrecisionScale(&p, &s);
    unsigned char form[IDecimal::kFormSize] = {};
    if (dec == nullptr || nFormSize(p) > m_nBufferSize || dec->nWrite(p, s, form) > 99) {
      CXYString<wchar_t> text;
      if (shown == nullptr) nGetString(&text, *value, nullptr, 0);
      _SetErrorConversionFailed(shown != nullptr ? from : value->wGetType(), shown != nullptr ? shown : text.pszGet());
      return FALSE;
    }
    return _bStoreBytes(form, nFormSize(p), 0);
  }
  if (type == ZV_BOOL) {
    int b = 0;
    value->nGetINT(&b);
    const unsigned char byte = b != 0 ? 1 : 0;
    return _bStoreBytes(&byte, 1, 0);
  }
  if (type == ZV_DATETIME) {
    CDateTimeBase dt;
    value->Intern()->nFillBuffer(&dt);
    const eDateForm form = eFormOf(eNAGetItemTypeAnalyse(), type);
    char date[9], time[10];
    DateDigits(dt, date, time);
    if (form == FORM_DATE8) return _bSetDateDigits(date, 8);
    if (form == FORM_HEURE) return _bSetDateDigits(time, 9);
    return _bStoreBytes(&dt, sizeof dt, 0);
  }
  if (g_bIsZVTextWide(type) && type != ZV_CARW) {
    unsigned int n = 0;
    const wchar_t* text = pszHostWideText(value, &n);
    return _bStoreWide(text, n);
  }
  if (g_bIsZVTextAnsi(type) && type != ZV_CARA) {
    unsigned int n = 0;
    const char* text = pszHostText(value, &n);
    return _bStoreAnsi(text, n, _nHostCodePage());
  }
  void* data = nullptr;
  unsigned int n = 0;
  if (value->Intern()->nGetDataAdr(&data) != 0 || value->Intern()->nGetUtilDataSize(&n) != 0) return FALSE;
  return _bStoreBytes(data, data != nullptr ? n : 0, 0);
}

BOOL CNAConvertVariant::_bSetDateDigits(const char* digits, int count) {
  // DATE8 and HEURE slots hold ASCII digits and their terminator.
  if (m_pbyBuffer == nullptr || m_nBufferSize == 0) return FALSE;
  const unsigned int n = std::min(static_cast<unsigned int>(count), m_nBufferSize - 1);
  memcpy(m_pbyBuffer, digits, n);
  memset(m_pbyBuffer + n, 0, m_nBufferSize - n);
  m_nDataSize = n;
  return TRUE;
}

BOOL CNAConvertVariant::bSetValue(const CAny* value) {
  if (value == nullptr || value->bIsNull() || value->wGetType() == ZV_VIDE) {
    SetNull();
    return TRUE;
  }
  if (m_eVarType == NA_VAR_NOTREAD) m_eVarType = NA_VAR_ANY;
  // No value to set (kind 0) or only a caller's pointer (kind 4): nothing is written.
  if (value == &m_clValue || m_eVarType == NA_VAR_NONE || m_eVarType == NA_VAR_POINTER) return TRUE;
  const unsigned short from = value->wGetType();
  if (m_eVarType == NA_VAR_ANY && wGetType() == ZV_VIDE) m_clValue.__SetType(from, 0);
  const unsigned short type = wGetType();
  if (from == type) {
    if (m_eVarType == NA_VAR_ANY) {
      m_clValue = *value;
      m_clValue.SetFlags(0);
      return TRUE;
    }
    if (!_bBuffered()) return TRUE;
    m_clValue.SetFlags(0);
    return _bSetSameType(value);
  }
  if (bTextKind(type) && g_bIsZVTextAnsi(from)) {
    unsigned int n = 0;
    const char* text = pszHostText(value, &n);
    return bSetValue(text, n);
  }
  if (bTextKind(type) && g_bIsZVTextWide(from)) {
    unsigned int n = 0;
    const wchar_t* text = pszHostWideText(value, &n);
    return bSetValue(text, n);
  }
  CAny copy(*value);
  int result = 0;
  if (type == ZV_DATETIME && (from == ZV_TIMEW || from == ZV_TIMEA)) {
    CDateTime dt;
    dt.InitDate();
    if (from == ZV_TIMEA) {
      const char* text = nullptr;
      value->Intern()->nGetPCASTR(&text);
      dt.__SetPartieHeure(text != nullptr ? text : "");
    } else {
      const wchar_t* text = nullptr;
      value->Intern()->nGetPCWSTR(&text);
      dt.__SetPartieHeure(text != nullptr ? text : L"");
    }
    copy.SetDATETIME(dt);
  } else {
    if (type == ZV_DUREE && (bTextKind(from) || from == ZV_DECIMAL || from == ZV_CY))
      result = copy.__nCastTo(ZV_I8, nullptr, 1);
    if (result <= 99) result = copy.__nCastTo(type, nullptr, 1);
  }
  if (result > 99 || copy.wGetType() != type) {
    CXYString<wchar_t> shown;
    nGetString(&shown, *value, nullptr, 0);
    _SetErrorConversionFailed(from, shown.pszGet());
    return FALSE;
  }
  return bSetValue(&copy);
}

BOOL CNAConvertVariant::bSetValue(const unsigned char* bytes, unsigned int length) {
  _Touch();
  const unsigned short type = wGetType();
  switch (m_eVarType) {
    case NA_VAR_ANY:
      m_clValue.SetValueByte(bytes, length);
      return TRUE;
    case NA_VAR_POINTER:
      m_pbyBuffer = const_cast<unsigned char*>(bytes);
      m_nBufferSize = m_nDataSize = length;
      return TRUE;
    case NA_VAR_BUFFER:
    case NA_VAR_OWNBUFFER:
      return _bStoreBytes(bytes, length, g_bIsZVTextAnsi(type) ? 1 : (g_bIsZVTextWide(type) ? 2 : 0));
    default:
      return FALSE;
  }
}

BOOL CNAConvertVariant::bSetValue(CZVBIN* bin) {
  if (bin == nullptr) {
    SetNull();
    return TRUE;
  }
  if (m_eVarType != NA_VAR_BUFFER && m_eVarType != NA_VAR_OWNBUFFER && wGetType() == ZV_BIN &&
      (m_eVarType == NA_VAR_ANY || m_eVarType == NA_VAR_NOTREAD)) {
    _Touch();
    // Shares the host's block.
    m_clValue.Intern()->SetValue(bin);
    m_clValue.SetFlags(0);
    return TRUE;
  }
  return bSetValue(bin->pGetData(), static_cast<unsigned int>(bin->nGetSize()));
}

BOOL CNAConvertVariant::bSetValue(const wchar_t* text, unsigned int length) {
  if (text == nullptr) text = L"";
  if (length == kAll) length = static_cast<unsigned int>(wcslen(text));
  const unsigned short type = wGetType();
  if (m_eVarType == NA_VAR_ANY || m_eVarType == NA_VAR_NOTREAD) {
    if (bTextKind(type)) {
      _Touch();
      if (g_bIsZVTextAnsi(type)) {
        const CXYString<char> narrow = PCWSTR_To_CAString(text, _nHostCodePage(), static_cast<int>(length));
        const char* p = narrow.pszGet() != nullptr ? narrow.pszGet() : "";
        // Counted, as the wide text was: a NUL of a memo's text is one of its characters.
        m_clValue.Intern()->SetValue(p, static_cast<unsigned int>(narrow.nGetLength()));
      } else {
        m_clValue.Intern()->SetValue(text, length * static_cast<unsigned int>(sizeof(wchar_t)));
      }
      m_clValue.SetFlags(0);
      return TRUE;
    }
  } else if (_bBuffered() && bTextKind(type)) {
    _Touch();
    return _bStoreWide(text, length);
  }
  CAny wide;
  wide.__SetType(ZV_DSTRW, 0);
  wide.Intern()->SetValue(text, length * static_cast<unsigned int>(sizeof(wchar_t)));
  wide.SetFlags(0);
  return bSetValue(&wide);
}

BOOL CNAConvertVariant::bSetValue(const char* text, unsigned int length) {
  if (text == nullptr) text = "";
  if (length == kAll) length = static_cast<unsigned int>(strlen(text));
  if (bTextKind(wGetType())) return _bSetValue(text, length, _nHostCodePage());
  CAny ansi;
  ansi.__SetType(ZV_DSTRA, 0);
  ansi.Intern()->SetValue(text, length);
  ansi.SetFlags(0);
  return bSetValue(&ansi);
}

BOOL CNAConvertVariant::_bSetValue(const char* text, unsigned int length, int codePage) {
  _Touch();
  const unsigned short type = wGetType();
  if (m_eVarType == NA_VAR_ANY) {
    wchar_t stack[kStackChars];
    if (type == ZV_DSTRW || (type == ZV_DSTRA && codePage == _nHostCodePage() && length <= ZV_MAX_LENGTH))
      return _bSetHeldString(text, length, codePage);
    if (g_bIsZVTextWide(type) && length <= kStackChars) {
      // As PCASTR_To_CWString converts, without its block: the held string's own is reused.
      const int n = codePage == 1252 ? STR_CP1252ToWideChar(text, static_cast<int>(length), stack, kStackChars)
                                     : MultiByteToWideChar(static_cast<unsigned>(codePage), 0, text,
                                                           static_cast<int>(length), stack, kStackChars);
      // A held string is counted: a NUL of the text is one of its characters.
      const size_t chars = static_cast<size_t>(std::max(n, 0));
      m_clValue.Intern()->SetValue(stack, static_cast<unsigned int>(chars * sizeof(wchar_t)));
    } else if (g_bIsZVTextWide(type)) {
      const CXYString<wchar_t> wide = PCASTR_To_CWString(text, codePage, static_cast<int>(length));
      const wchar_t* p = wide.pszGet() != nullptr ? wide.pszGet() : L"";
      m_clValue.Intern()->SetValue(p, static_cast<unsigned int>(wide.nGetLength()) * static_cast<unsigned int>(sizeof(wchar_t)));
    } else if (codePage != _nHostCodePage()) {
      const CXYString<wchar_t> wide = PCASTR_To_CWString(text, codePage, static_cast<int>(length));
      const CXYString<char> narrow = PCWSTR_To_CAString(wide.pszGet() != nullptr ? wide.pszGet() : L"",
                                                        _nHostCodePage(), wide.nGetLength());
      const char* p = narrow.pszGet() != nullptr ? narrow.pszGet() : "";
      m_clValue.Intern()->SetValue(p, static_cast<unsigned int>(narrow.nGetLength()));
    } else {
      m_clValue.Intern()->SetValue(text, length);
    }
    m_clValue.SetFlags(0);
    return TRUE;
  }
  if (_bBuffered()) return _bStoreAnsi(text, length, codePage);
  return FALSE;
}

BOOL CNAConvertVariant::_bSetHeldString(const char* text, unsigned int length, int codePage) {
  // The block is kept from value to value, however short the text: a column read row after row
  // allocates only for a longer text than any before.
  const bool wide = wGetType() == ZV_DSTRW;
  CXYString<wchar_t>& wideString = HeldString<wchar_t>(m_clValue);
  CXYString<char>& narrowString = HeldString<char>(m_clValue);
  const int n = static_cast<int>(length);
  if ((wide ? wideString.nPrepareRewrite(n) : narrowString.nPrepareRewrite(n)) != 0) {
    // A failed growth would keep the last value's text: the value becomes NULL instead.
    wide ? wideString.ReleaseDynStr() : narrowString.ReleaseDynStr();
    m_clValue.SetNull(true);
    if (m_pclError != nullptr) m_pclError->pclGetXError()->SetErrorNoMemory();
    return FALSE;
  }
  if (!wide) {
    if (n > 0) memmove(narrowString.pGetData(), text, length);
    narrowString.SetUtilLength(n);
  } else if (n > 0) {
    // Every page makes at most one character of a byte; a zero byte is a character of the
    // counted string. Both pages below take ASCII as it is: only what follows it goes through
    // their converters.
    wchar_t* out = wideString.pGetData();
    const int ascii = codePage == CP_UTF8 || codePage == 1252 ? static_cast<int>(nWidenASCII(out, text, length)) : 0;
    int chars = ascii;
    if (ascii < n) {
      const int rest = codePage == 1252 ? STR_CP1252ToWideChar(text + ascii, n - ascii, out + ascii, n - ascii)
                                        : MultiByteToWideChar(static_cast<unsigned>(codePage), 0, text + ascii,
                                                              n - ascii, out + ascii, n - ascii);
      chars += std::max(rest, 0);
    }
    wideString.SetUtilLength(chars);
  } else {
    wideString.SetUtilLength(0);
  }
  m_clValue.SetFlags(0);
  return TRUE;
}

#define QX_TYPED_SETTER(T, setter)         \
  BOOL CNAConvertVariant::bSetValue(T v) { \
    CAny value;                            \
    value.setter(v);                       \
    return bSetValue(&value);              \
  }
QX_TYPED_SETTER(unsigned char, SetUI1)
QX_TYPED_SETTER(unsigned short, SetUI2)
QX_TYPED_SETTER(unsigned int, SetUI4)
QX_TYPED_SETTER(unsigned long long, SetUI8)
QX_TYPED_SETTER(char, SetI1)
QX_TYPED_SETTER(short, SetI2)
QX_TYPED_SETTER(int, SetI4)
QX_TYPED_SETTER(long long, SetI8)
QX_TYPED_SETTER(float, SetR4)
QX_TYPED_SETTER(double, SetR8)
#undef QX_TYPED_SETTER

BOOL CNAConvertVariant::bSetValue(bool v) {
  CAny value;
  value.SetBOOL(v ? 1 : 0);
  return bSetValue(&value);
}

BOOL CNAConvertVariant::bSetValue(const CMoney& v) {
  CAny value;
  value.__SetType(ZV_CY, 0);
  value.Intern()->SetValue(&v);
  value.SetFlags(0);
  return bSetValue(&value);
}

BOOL CNAConvertVariant::bSetValue(CDateTime* v) {
  if (v == nullptr) {
    SetNull();
    return TRUE;
  }
  CAny value;
  value.SetDATETIME(*v);
  return bSetValue(&value);
}

BOOL CNAConvertVariant::bSetValue(_SYSTEMTIME* v) {
  if (v == nullptr) {
    SetNull();
    return TRUE;
  }
  if (eNAGetItemType() != NA_IT_TEXTE) {
    CDateTime dt;
    dt.InitDate(v);
    return bSetValue(&dt);
  }
  const CXTime time(*v, -1);
  CTString text;
  switch (_bBuffered() ? m_nBufferSize : nGetSize()) {
    case 5:
      time.GetZVTimeHHMM(text);
      break;
    case 7:
      time.GetZVTimeHHMMSS(text);
      break;
    case 9:
      time.GetZVTimeHHMMSSCCm(text);
      text = text.clMilieu(0, 8);
      break;
    case 10:
      time.GetZVTimeHHMMSSCCm(text);
      break;
    default:
      time.GetZVTimeAAAAMMJJ_HHMMSS(text);
      break;
  }
  return bSetValue(text.pszGet(), static_cast<unsigned int>(text.nTaille()));
}

// ---- From the server ----

BOOL CNAConvertVariant::_bSetNumberDB(const wchar_t* text, const wchar_t* shown, unsigned short from) {
  const unsigned short type = wGetType();
  // The host reads the empty text as 0; from the server it is no number.
  if (*text == 0) {
    _SetErrorConversionFailed(from, shown);
    return FALSE;
  }
  unsigned char area[ZV_VALUE_SIZE] = {};
  // The host VM's exact conversion: 64-bit integers and decimals never pass through a double.
  const int rc = CAny::__s_nCastTo(area, text, type, nullptr);
  CAny parsed;
  CAny& target = m_eVarType == NA_VAR_ANY ? m_clValue : parsed;
  if (rc <= 99) target.__TransfertValeurInterne(type, area);
  if (rc > 99 || target.wGetType() != type) {
    _SetErrorConversionFailed(from, shown);
    return FALSE;
  }
  if (m_eVarType == NA_VAR_ANY) return TRUE;
  if (!_bBuffered()) return FALSE;
  return _bSetSameType(&parsed, from, shown);
}

BOOL CNAConvertVariant::_bSetNumberByVM(const char* text, unsigned int length, int codePage) {
  // Number texts are ASCII: widened on the stack, whatever the code page.
  wchar_t wide[kShortText + 1];
  if (length > kShortText) {
    _SetErrorConversionFailed(ZV_PSTRA, text, length, codePage);
    return FALSE;
  }
  for (unsigned int i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  wide[length] = 0;
  return _bSetNumberDB(wide, wide, ZV_PSTRA);
}

namespace {
// Widths and largest magnitudes (positive, negative) of ZV_UI1 to ZV_I8.
constexpr unsigned char kIntegerWidth[8] = {1, 2, 4, 8, 1, 2, 4, 8};
constexpr unsigned long long kIntegerMax[8][2] = {
    {0xFFULL, 0},       {0xFFFFULL, 0},       {0xFFFFFFFFULL, 0},             {~0ULL, 0},
    {0x7FULL, 0x80ULL}, {0x7FFFULL, 0x8000ULL}, {0x7FFFFFFFULL, 0x80000000ULL}, {~0ULL >> 1, 1ULL << 63},
};
}  // namespace

BOOL CNAConvertVariant::_bSetNumberDB(const char* text, unsigned int length, int codePage) {
  const unsigned short type = wGetType();
  const bool buffered = _bBuffered();
  int precision = 0, scale = 0;
  u128 twos = 0;
  // A decimal slot of its item's digits takes a plain text as the VM would write it there.
  if (type == ZV_DECIMAL && buffered && m_pbyBuffer != nullptr && _bAnalysisDecimal(&precision, &scale) &&
      precision > 0 && nFormSize(precision) <= m_nBufferSize &&
      bPlainDecimal(text, length, static_cast<unsigned int>(precision), static_cast<unsigned int>(scale), &twos))
    return _bStoreBytes(&twos, nFormSize(precision), 0);
  // A real as the VM reads it, from the same characters.
  unsigned char real[8];
  if ((type == ZV_R8 || type == ZV_R4) && (m_eVarType == NA_VAR_ANY || buffered)) {
    const unsigned int width = type == ZV_R4 ? 4 : 8;
    if (!bPlainReal(text, length, width == 4, real)) return _bSetNumberByVM(text, length, codePage);
    if (!buffered) return _bHoldPlainNumber(type, real, width);
    const eNA_ITEMTYPE analysis = eNAGetItemTypeAnalyse();
    return (width == 8 ? _bStoreFixed<8>(real, analysis) : _bStoreFixed<4>(real, analysis)) ||
           _bStoreBytes(real, width, 0);
  }
  bool negative = false;
  unsigned long long magnitude = 0;
  // Plain integer and currency texts are stored without the host VM; it takes all others.
  if (type < ZV_UI1 || type > ZV_CY || (m_eVarType != NA_VAR_ANY && !buffered) ||
      !bPlainNumber(text, length, type == ZV_CY, &negative, &magnitude))
    return _bSetNumberByVM(text, length, codePage);
  unsigned char bytes[sizeof(CMoney)];
  unsigned int width = sizeof(CMoney);
  if (type == ZV_CY) {
    CurrencyForm(negative, magnitude, bytes);
  } else {
    // Out of range (or a signed text for an unsigned type): the host VM raises the error.
    const unsigned int k = type - ZV_UI1;
    if (magnitude > kIntegerMax[k][negative ? 1 : 0] || (negative && type < ZV_I1))
      return _bSetNumberByVM(text, length, codePage);
    const unsigned long long value = negative ? 0 - magnitude : magnitude;
    memcpy(bytes, &value, 8);
    width = kIntegerWidth[k];
  }
  if (!buffered) return _bHoldPlainNumber(type, bytes, width);
  const eNA_ITEMTYPE analysis = eNAGetItemTypeAnalyse();
  const bool fixed = width == 4    ? _bStoreFixed<4>(bytes, analysis)
                     : width == 10 ? _bStoreFixed<10>(bytes, analysis)
                     : width == 8  ? _bStoreFixed<8>(bytes, analysis)
                     : width == 2  ? _bStoreFixed<2>(bytes, analysis)
                                   : _bStoreFixed<1>(bytes, analysis);
  return fixed || _bStoreBytes(bytes, width, 0);
}

BOOL CNAConvertVariant::_bHoldPlainNumber(unsigned short type, const unsigned char* bytes, unsigned int width) {
  if (type == ZV_CY) {
    CMoney money;
    memcpy(money.m_awLimb, bytes, sizeof money);
    m_clValue.__SetType(ZV_CY, 0);
    m_clValue.Intern()->SetValue(&money);
  } else {
    unsigned char area[ZV_VALUE_SIZE] = {};
    memcpy(area, bytes, width);
    m_clValue.__TransfertValeurInterne(type, area);
  }
  m_clValue.SetFlags(0);
  return TRUE;
}

BOOL CNAConvertVariant::_bSetValueDB_AndConvertToDate(const char* text, unsigned int length, unsigned short from) {
  STDateParts parts;
  const int parsed = nParseDBDate(text, length, &parts);
  const unsigned short type = wGetType();
  const eNA_ITEMTYPE analysis = eNAGetItemTypeAnalyse();
  const eDateForm form = eFormOf(analysis, type);
  // A date form asks for a date; a time text (a TIME column) has none to give.
  if (parsed != 0 || form == FORM_NONE || (form == FORM_DATE8 && !parts.bDate)) {
    _SetErrorConversionFailed(from, text, length, 1252);
    return FALSE;
  }
  CDateTime dt;
  dt.Set(parts.y, parts.mo, parts.d, parts.h, parts.mi, parts.s, parts.ms);
  if (_bBuffered() && form == FORM_DATETIME)
    return _bStoreFixed<sizeof dt>(&dt, analysis) || _bStoreBytes(&dt, sizeof dt, 0);
  char date[9], time[10];
  DateDigits(dt, date, time);
  if (_bBuffered()) {
    _ZeroBuffer();
    if (form == FORM_DATE8) return _bSetDateDigits(date, 8);
    if (form == FORM_HEURE) return _bSetDateDigits(time, 9);
    return _bStoreBytes(&dt, sizeof dt, 0);
  }
  if (m_eVarType != NA_VAR_ANY) return FALSE;
  switch (type) {
    case ZV_DATETIME:
      m_clValue.SetDATETIME(dt);
      break;
    case ZV_DATEA:
      m_clValue.SetDATEA(date);
      break;
    case ZV_TIMEA:
      m_clValue.SetTIMEA(time);
      break;
    default: {
      wchar_t wide[10] = {};
      const char* digits = type == ZV_DATEW ? date : time;
      for (int i = 0; digits[i] != 0; ++i) wide[i] = static_cast<unsigned char>(digits[i]);
      if (type == ZV_DATEW)
        m_clValue.SetDATEW(wide);
      else
        m_clValue.SetTIMEW(wide);
    }
  }
  return TRUE;
}

BOOL CNAConvertVariant::_bSlotInteger(const char* text, unsigned int length, unsigned int codePage) {
  if (!_bIntoSlot(NA_ROWSLOT_INTEGER, text, length)) return _bSetValueDBGeneral(text, length, codePage);
  return TRUE;
}

BOOL CNAConvertVariant::_bSlotCurrency(const char* text, unsigned int length, unsigned int codePage) {
  if (!_bIntoSlot(NA_ROWSLOT_CURRENCY, text, length)) return _bSetValueDBGeneral(text, length, codePage);
  return TRUE;
}

BOOL CNAConvertVariant::_bSlotDateTime(const char* text, unsigned int length, unsigned int codePage) {
  const eNA_ITEMTYPE analysis = eNAGetItemTypeAnalyse();
  STDateParts parts;
  if (length != 17 || text[8] != ' ' || eFormOf(analysis, ZV_DATETIME) != FORM_DATETIME ||
      !bDateTimeDigits(text, &parts))
    return _bSetValueDBGeneral(text, length, codePage);
  const CDateTimeBase dt = SecondsDateTime(parts);
  if (!_bStoreFixed<sizeof dt>(&dt, analysis)) return _bSetValueDBGeneral(text, length, codePage);
  m_clValue.SetFlags(0);
  return TRUE;
}

BOOL CNAConvertVariant::bSetServerDateTimeDB(const char* text, unsigned int length) {
  // The conditions of bSetValueDB's road to _bSlotDateTime, which takes the digit form.
  if (m_nDBState == 0 || m_eVarType != NA_VAR_BUFFER || wGetType() != ZV_DATETIME || text == nullptr)
    return FALSE;
  return _bIntoSlot(NA_ROWSLOT_DATETIME, text, length);
}

namespace {
constexpr const uint64_t* kPow10 = CXMath::kPow10;

// Zeros n bytes at p: tails up to a few lines with a few stores, no call.
[[gnu::always_inline]] inline void ZeroTail(unsigned char* p, unsigned int n) {
  const uint64_t zero[2] = {0, 0};
  if (n > 256) {
    memset(p, 0, n);
  } else if (n >= 32) {
    // Two lines a step: the tails of text slots are most of a row's zeros.
    for (unsigned int k = 0; k + 32 < n; k += 32) memcpy(p + k, zero, 16), memcpy(p + k + 16, zero, 16);
    memcpy(p + n - 32, zero, 16);
    memcpy(p + n - 16, zero, 16);
  } else if (n >= 16) {
    memcpy(p, zero, 16);
    memcpy(p + n - 16, zero, 16);
  } else if (n >= 8) {
    memcpy(p, zero, 8);
    memcpy(p + n - 8, zero, 8);
  } else if (n >= 4) {
    memcpy(p, zero, 4);
    memcpy(p + n - 4, zero, 4);
  } else {
    for (unsigned int i = 0; i < n; ++i) p[i] = 0;
  }
}

// The width low bytes of value at the slot, zeros after them to its end.
[[gnu::always_inline]] inline void StoreWord(unsigned char* slot, unsigned int size, uint64_t value,
                                             unsigned int width) {
  if (size >= 8) {
    const uint64_t kept = width >= 8 ? value : value & ((1ULL << (8 * width)) - 1);
    memcpy(slot, &kept, 8);
    if (size > 8) ZeroTail(slot + 8, size - 8);
    return;
  }
  switch (width) {
    case 4:
      memcpy(slot, &value, 4);
      break;
    case 2:
      memcpy(slot, &value, 2);
      break;
    case 1:
      memcpy(slot, &value, 1);
      break;
    default:
      memcpy(slot, &value, width);
  }
  if (size > width) ZeroTail(slot + width, size - width);
}

// The digits of [p, end) as a number, a digit at a time (quicker than a word read for fewer than
// four); false at the first character that is no digit. Wraps past 20 digits: callers bound the
// count.
[[gnu::always_inline]] inline bool bDigitLoop(const char* p, const char* end, uint64_t* value) {
  uint64_t v = 0;
  for (; p < end; ++p) {
    const unsigned int digit = static_cast<unsigned int>(static_cast<unsigned char>(*p)) - '0';
    if (digit > 9) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

// The n digits (4 to 8) at t as a number, read in two loads of four that lie within them; false
// when one is no digit. Ids, counts and codes of most tables have that many.
[[gnu::always_inline]] inline bool bDigitWord(const char* t, unsigned int n, uint64_t* value) {
  uint32_t head, tail;
  memcpy(&head, t, 4);
  memcpy(&tail, t + n - 4, 4);
  // Each digit its value, the first in the lowest byte; the bytes past the last (which borrow only
  // upwards) shifted out, so that zeros, leading digits 0, come in below the first.
  uint64_t w = (head | uint64_t{tail} << (8 * (n - 4))) - 0x3030303030303030ULL;
  w <<= 8 * (8 - n);
  if (((w + 0x7676767676767676ULL) | w) & 0x8080808080808080ULL) return false;
  w = (w * 10 + (w >> 8)) & 0x00FF00FF00FF00FFULL;
  w = (w * 100 + (w >> 16)) & 0x0000FFFF0000FFFFULL;
  *value = (w * 10000 + (w >> 32)) & 0xFFFFFFFFULL;
  return true;
}

// "[-]digits" of at most 16 digits whose magnitude lies below limit[negative].
[[gnu::always_inline]] inline bool bRowInteger(const char* text, unsigned int length, const uint64_t limit[2],
                                               uint64_t* value) {
  const unsigned int negative = length > 0 && text[0] == '-' ? 1 : 0, digits = length - negative;
  uint64_t magnitude = 0;
  if (digits - 1 >= 16 ||
      !(digits - 4 <= 4 ? bDigitWord(text + negative, digits, &magnitude)
                        : bDigitLoop(text + negative, text + length, &magnitude)) ||
      magnitude >= limit[negative])
    return false;
  *value = negative != 0 ? 0 - magnitude : magnitude;
  return true;
}

// "[-]digits[.digits]" with at most 16 integer digits and scale decimals whose value lies below
// 10^precision, as the unscaled two's complement (precision 1 to 18).
[[gnu::always_inline]] inline bool bRowDecimal(const char* text, unsigned int length, unsigned int precision,
                                               unsigned int scale, uint64_t* value) {
  const unsigned int negative = length > 0 && text[0] == '-' ? 1 : 0;
  const char *start = text + negative, *end = text + length, *p = start;
  uint64_t magnitude = 0;
  for (unsigned int digit; p < end && (digit = static_cast<unsigned int>(static_cast<unsigned char>(*p)) - '0') <= 9;
       ++p)
    magnitude = magnitude * 10 + digit;
  // No integer digit, or too many to have been read without a wrap.
  const auto integers = static_cast<unsigned int>(p - start);
  if (integers - 1 >= 16 || magnitude >= kPow10[precision - scale]) return false;
  unsigned int decimals = 0;
  if (p < end) {
    // A point with digits after it, no more than the scale: more would round, the VM says how.
    decimals = static_cast<unsigned int>(end - p) - 1;
    uint64_t low = 0;
    if (*p != '.' || decimals - 1 >= scale || !bDigitLoop(p + 1, end, &low)) return false;
    magnitude = magnitude * kPow10[decimals] + low;
  }
  // |value| < 10^precision fits the form's bytes: their two's complement is the 64-bit one cut.
  magnitude *= kPow10[scale - decimals];
  *value = negative != 0 ? 0 - magnitude : magnitude;
  return true;
}

// Narrow text of page From into at most cap bytes of page To, as nCodePageToCodePage cuts it:
// its ASCII start copied here, the rest through the character road.
template <int From, int To>
[[gnu::always_inline]] inline int nRowText(const char* text, unsigned int length, char* dst, unsigned int cap) {
  if (From == To) return nCodePageToCodePage(From, To, text, length, dst, cap);
  const unsigned int run = nCopyAsciiRun(text, std::min(length, cap), dst);
  if (run == length || run == cap) return static_cast<int>(run);
  return static_cast<int>(run) + nCodePageToCodePageOutline<From, To>(text + run, length - run, dst + run, cap - run);
}

// UTF-8 into 1252 the same, the Latin-1 pairs here too. Eight bytes are read and written at a
// time where the text and the room allow (the last eight of the text for its end); what goes
// past the ASCII bytes among them lies within cap and is written over or cleared after.
template <>
[[gnu::always_inline]] inline int nRowText<CP_UTF8, 1252>(const char* s, unsigned int n, char* dst,
                                                          unsigned int cap) {
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  // Most key codes are a few ASCII bytes (1 to 7): two overlapping reads tell them and copy them.
  if (n - 1 < 7 && n <= cap) {
    // By value: a closure of references would keep the row loop's text, length and slot in
    // memory, their addresses set up at every row.
    auto copied = [s, n, dst](auto word) {
      using W = decltype(word);
      W a, b;
      memcpy(&a, s, sizeof a);
      memcpy(&b, s + n - sizeof b, sizeof b);
      if (((a | b) & static_cast<W>(kHigh)) != 0) return false;
      memcpy(dst, &a, sizeof a);
      memcpy(dst + n - sizeof b, &b, sizeof b);
      return true;
    };
    if (n >= 4 ? copied(uint32_t{}) : n >= 2 ? copied(uint16_t{}) : copied(uint8_t{})) return static_cast<int>(n);
  }
  const char *p = s, *const end = s + n;
  char *q = dst, *const last = dst + cap;
  for (;;) {
    uint64_t w, high = 0;
    for (size_t steps = static_cast<size_t>(std::min(end - p, last - q)) / 8; steps > 0; --steps, p += 8, q += 8) {
      memcpy(&w, p, 8);
      memcpy(q, &w, 8);
      if ((high = w & kHigh) != 0) break;
    }
    if (high == 0 && p < end && n >= 8 && last - q >= 8) {
      // Fewer than eight bytes left: the text's last eight, those left at the bottom.
      memcpy(&w, end - 8, 8);
      w >>= 8 * (8 - (end - p));
      memcpy(q, &w, 8);
      if ((high = w & kHigh) == 0) return static_cast<int>(q - dst + (end - p));
    }
    if (high != 0) {
      const unsigned int ascii = static_cast<unsigned int>(__builtin_ctzll(high)) / 8;
      p += ascii, q += ascii;
    } else {
      while (p < end && q < last && static_cast<unsigned char>(*p) < 0x80) *q++ = *p++;
      if (p == end || q == last) return static_cast<int>(q - dst);
    }
    // *p starts a character of two bytes or more; a Latin-1 letter or sign is its 1252 byte.
    const int byte = end - p >= 2 ? nLatin1Pair(p) : -1;
    if (byte < 0)
      return static_cast<int>(q - dst) +
             nCodePageToCodePageOutline<CP_UTF8, 1252>(p, static_cast<unsigned int>(end - p), q,
                                                       static_cast<unsigned int>(last - q));
    if (q == last) return static_cast<int>(q - dst);
    *q++ = static_cast<char>(byte);
    p += 2;
    if (p == end) return static_cast<int>(q - dst);
  }
}

}  // namespace

CNAConvertVariant::eNAROWSLOT CNAConvertVariant::_eDecimalSlotKind() const {
  // The 18-byte form of precision 0 goes through the VM.
  if (m_pbyBuffer == nullptr || m_nAnalysisPrecision <= 0 || m_nAnalysisPrecision > IDecimal::kMaxPrecision ||
      IDecimal::mg_PToN[m_nAnalysisPrecision] > m_nBufferSize)
    return NA_ROWSLOT_NONE;
  return m_nAnalysisPrecision <= 18 ? NA_ROWSLOT_DECIMAL : NA_ROWSLOT_WIDEDECIMAL;
}

BOOL CNAConvertVariant::_bSlotDecimal(const char* text, unsigned int length, unsigned int codePage) {
  if (!_bIntoSlot(m_nAnalysisPrecision <= 18 ? NA_ROWSLOT_DECIMAL : NA_ROWSLOT_WIDEDECIMAL, text, length))
    return _bSetValueDBGeneral(text, length, codePage);
  return TRUE;
}

BOOL CNAConvertVariant::_bSlotUTF16(const char* text, unsigned int length, unsigned int codePage) {
  if (!_bIntoSlot(NA_ROWSLOT_UTF16, text, length)) return _bSetValueDBGeneral(text, length, codePage);
  return TRUE;
}

BOOL CNAConvertVariant::_bSlotText(const char* text, unsigned int length, unsigned int codePage) {
  const unsigned short type = wGetType();
  if (!bTextKind(type) || bNumberKind(type) || bDateKind(type)) return _bSetValueDBUnslotted(text, length, codePage);
  _Touch();
  return _bStoreAnsi(text, length, nResolve(static_cast<int>(codePage)));
}

CNAConvertVariant::eNAROWSLOT CNAConvertVariant::_eRowSlotKind(eNAROWTEXT form, int server, int host) const {
  // bSetValueDB's gate to its slot roads, then what the road of this type tests of the slot
  // before its step; the tests of the text stay in the step.
  if (form == NA_ROWTEXT_OTHER || m_eVarType != NA_VAR_BUFFER || m_nDBState == 0 || m_pbyBuffer == nullptr)
    return NA_ROWSLOT_NONE;
  const unsigned short type = wGetType();
  const eNA_ITEMTYPE analysis = eNAGetItemTypeAnalyse();
  if (form == NA_ROWTEXT_DATETIME) {
    // What bSetServerDateTimeDB does not take goes as digits: the general road's.
    return type == ZV_DATETIME && eFormOf(analysis, ZV_DATETIME) == FORM_DATETIME && analysis != NA_IT_BINAIRE &&
                   m_nBufferSize >= sizeof(CDateTimeBase)
               ? NA_ROWSLOT_DATETIME
               : NA_ROWSLOT_NONE;
  }
  if (form == NA_ROWTEXT_DATE)
    return bDateKind(type) && eFormOf(analysis, type) == FORM_DATE8 && m_nBufferSize > 0 ? NA_ROWSLOT_DATE8
                                                                                           : NA_ROWSLOT_NONE;
  if (type >= ZV_UI1 && type <= ZV_I8)
    return analysis != NA_IT_BINAIRE && m_nBufferSize >= kIntegerWidth[type - ZV_UI1] ? NA_ROWSLOT_INTEGER
                                                                                      : NA_ROWSLOT_NONE;
  if (type == ZV_CY)
    return analysis != NA_IT_BINAIRE && m_nBufferSize >= sizeof(CMoney) ? NA_ROWSLOT_CURRENCY : NA_ROWSLOT_NONE;
  if (type == ZV_R8 || type == ZV_R4)
    return analysis != NA_IT_BINAIRE && m_nBufferSize >= (type == ZV_R4 ? 4u : 8u) ? NA_ROWSLOT_REAL : NA_ROWSLOT_NONE;
  if (type == ZV_DECIMAL) return _eDecimalSlotKind();
  if (server == CP_UTF8 && (type == ZV_DSTRW || type == ZV_PSTRW || type == 20 || type == 81))
    return m_nBufferSize > 2 * sizeof(wchar_t) && bIsTextUnicode(analysis) ? NA_ROWSLOT_UTF16 : NA_ROWSLOT_NONE;
  // _bSlotText's narrow slots, for the pages a host and a server mostly use; the host's page
  // as _nHostCodePage reads it, when the connection has one.
  if (!bTextKind(type) || bNumberKind(type) || bDateKind(type) || type == ZV_CARA || type == ZV_CARW ||
      g_bIsZVTextWide(type) || host <= 0)
    return NA_ROWSLOT_NONE;
  if (server == CP_UTF8 && host == 1252) return NA_ROWSLOT_UTF8_1252;
  if (server == CP_UTF8 && host == CP_UTF8) return NA_ROWSLOT_UTF8_UTF8;
  if (server == 1252 && host == 1252) return NA_ROWSLOT_1252_1252;
  if (server == 1252 && host == CP_UTF8) return NA_ROWSLOT_1252_UTF8;
  return NA_ROWSLOT_NONE;
}

void CNAConvertVariant::_FillRowSlot(eNAROWSLOT kind, STRowSlot* slot) {
  slot->pclValue = this;
  slot->pbySlot = m_pbyBuffer;
  slot->nSize = m_nBufferSize;
  slot->nShapeStamp = m_nShapeStamp;
  slot->eKind = kind;
  if (kind == NA_ROWSLOT_INTEGER) {
    const unsigned int k = wGetType() - ZV_UI1;
    slot->nWidth = kIntegerWidth[k];
    // Magnitudes below these; no negative one for the unsigned types.
    for (int negative = 0; negative < 2; ++negative) {
      const unsigned long long max = kIntegerMax[k][negative];
      slot->nLimit[negative] = negative != 0 && k < ZV_I1 - ZV_UI1 ? 0 : (max == ~0ULL ? max : max + 1);
    }
  } else if (kind == NA_ROWSLOT_REAL) {
    slot->nWidth = wGetType() == ZV_R4 ? 4 : 8;
  } else if (kind == NA_ROWSLOT_DECIMAL || kind == NA_ROWSLOT_WIDEDECIMAL) {
    slot->nPrecision = static_cast<uint8_t>(m_nAnalysisPrecision);
    slot->nScale = static_cast<uint8_t>(m_nAnalysisScale);
    slot->nWidth = IDecimal::mg_PToN[m_nAnalysisPrecision];
  }
  s_NoteStep(slot);
}

void CNAConvertVariant::GetRowSlot(eNAROWTEXT form, const CNAConnectionDescription* cnx, STRowSlot* slot) {
  const uint32_t column = slot->nColumn;
  const uint64_t bit = slot->nDefinedBit;
  *slot = STRowSlot{};
  slot->nColumn = column, slot->nDefinedBit = bit;
  if (cnx == nullptr || cnx != m_pclCnx) return;
  const int server = cnx->nGetServerCodePage() > 0 ? cnx->nGetServerCodePage() : 1252;
  const eNAROWSLOT kind = _eRowSlotKind(form, server, cnx->nGetHostCodePage());
  if (kind != NA_ROWSLOT_NONE) _FillRowSlot(kind, slot);
}

namespace {

// A narrow text slot's step. The empty text is no slot road's; a text that converts to nothing
// is the general road's to fail.
template <int From, int To>
[[gnu::always_inline]] inline int nTextRowSlot(unsigned char* slot, unsigned int size, const char* text,
                                               unsigned int length) {
  if (length == 0 || size == 0) return -1;
  const int n = nRowText<From, To>(text, length, reinterpret_cast<char*>(slot), size - 1);
  if (n <= 0) return -1;
  ZeroTail(slot + n, size - static_cast<unsigned int>(n));
  return n;
}

// The high bit of each byte of w that is 0, or with Ascii from 0x80 up, and maybe of bytes above
// the first such: the lowest one set is exact, since a decrement's borrow runs up only from a 0.
template <bool Ascii, typename W>
[[gnu::always_inline]] constexpr W StopBytes(W w) {
  constexpr auto kOnes = static_cast<W>(0x0101010101010101ULL), kHigh = static_cast<W>(0x8080808080808080ULL);
  return static_cast<W>(((Ascii ? w : 0) | ((w - kOnes) & ~w)) & kHigh);
}

// No byte of text is 0, and with Ascii every one is ASCII (each page writes it as it is).
template <bool Ascii>
[[gnu::always_inline]] inline bool bCleanBytes(const char* text, unsigned int length) {
  const auto bad = [](uint64_t w) { return StopBytes<Ascii>(w) != 0; };
#if defined(__SSE2__)
  if (length >= 16) {
    // Sixteen at a time, the text's last sixteen again: as signed bytes, 1 to 0x7F are above 0.
    const auto good = [](const char* at) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      if (Ascii) return _mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_setzero_si128())) == 0xFFFF;
      return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0;
    };
    for (unsigned int i = 0; i + 16 <= length; i += 16)
      if (!good(text + i)) return false;
    return good(text + length - 16);
  }
#endif
  uint64_t w;
  if (length >= 8) {
    for (unsigned int i = 0; i + 8 <= length; i += 8) {
      memcpy(&w, text + i, 8);
      if (bad(w)) return false;
    }
    memcpy(&w, text + length - 8, 8);
    return !bad(w);
  }
  if (length >= 4) {
    uint32_t a, b;
    memcpy(&a, text, 4);
    memcpy(&b, text + length - 4, 4);
    return !bad(uint64_t{a} | uint64_t{b} << 32);
  }
  for (unsigned int i = 0; i < length; ++i)
    if (Ascii ? static_cast<unsigned char>(text[i]) - 1u >= 0x7Fu : text[i] == 0) return false;
  return true;
}

// A narrow text slot asked (bAskHeld) held its text: an ASCII text written whole, or from UTF-8
// into 1252 one of ASCII and Latin-1 letters and signs, a byte each, every one written. Out of
// the row's loop, which most slots take without asking.
[[gnu::noinline]] bool bNarrowHeld(CNAConvertVariant::eNAROWSLOT kind, const char* text, unsigned int length,
                                   int written) {
  if (written <= 0) return false;
  if (static_cast<unsigned int>(written) == length) return bCleanBytes<true>(text, length);
  if (kind != CNAConvertVariant::NA_ROWSLOT_UTF8_1252) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = p + length;
  int characters = 0;
  while (p < end) {
    if (length >= 8) {
      // The ASCII bytes before the first that is not (or is 0), eight at a time (at the end the
      // text's last eight, those before p shifted out and zeros in, which stop the count): the
      // lowest flagged byte, since a borrow only runs up from a 0.
      const auto left = static_cast<unsigned int>(end - p);
      uint64_t w;
      memcpy(&w, left >= 8 ? p : end - 8, 8);
      if (left < 8) w >>= 8 * (8 - left);
      const uint64_t flagged = StopBytes<true>(w);
      const unsigned int ascii = flagged == 0 ? 8 : static_cast<unsigned int>(__builtin_ctzll(flagged)) / 8;
      p += ascii, characters += static_cast<int>(ascii);
      if (ascii != 0) continue;
    }
    const unsigned int b = *p;
    if (b - 1u < 0x7Fu)
      p += 1;
    else if (end - p >= 2 && (p[1] & 0xC0) == 0x80 && (b == 0xC3 || (b == 0xC2 && p[1] >= 0xA0)))
      p += 2;
    else
      return false;
    ++characters;
  }
  return characters == written;
}

template <int From, int To>
[[gnu::always_inline]] inline int nNarrowRowSlot(const CNAConvertVariant::STRowSlot& s, const char* text,
                                                 unsigned int length) {
  const int n = nTextRowSlot<From, To>(s.pbySlot, s.nSize, text, length);
  if (s.bAskHeld) [[unlikely]] s.bHeld = bNarrowHeld(s.eKind, text, length, n);
  return n;
}

// The first length bytes (1 to 8) of text, zeros after them, as a little-endian word read within
// the text.
[[gnu::always_inline]] inline uint64_t nShortTextWord(const char* text, unsigned int length) {
  if (length >= 4) {
    uint32_t a, b;
    memcpy(&a, text, 4);
    memcpy(&b, text + length - 4, 4);
    return a | (uint64_t{b} >> (8 * (8 - length))) << 32;
  }
  if (length >= 2) {
    uint16_t a, b;
    memcpy(&a, text, 2);
    memcpy(&b, text + length - 2, 2);
    return a | (uint64_t{b} >> (8 * (4 - length))) << 16;
  }
  return static_cast<unsigned char>(text[0]);
}

// The slot (size 2 or more) as w's bytes then zeros, from stores of whole words: w's bytes past
// the slot must be zeros. Least 4 or 8: the caller knows the size below twice that, and at least.
template <unsigned int Least = 0>
[[gnu::always_inline]] inline void StoreShortText(unsigned char* slot, unsigned int size, uint64_t w) {
  if (Least == 0 && size >= 16) {
    memcpy(slot, &w, 8);
    ZeroTail(slot + 8, size - 8);
  } else if (Least == 8 || (Least == 0 && size >= 8)) {
    const uint64_t last = w >> (8 * (size - 8));
    memcpy(slot, &w, 8);
    memcpy(slot + size - 8, &last, 8);
  } else if (Least == 4 || size >= 4) {
    const auto first = static_cast<uint32_t>(w), last = static_cast<uint32_t>(w >> (8 * (size - 4)));
    memcpy(slot, &first, 4);
    memcpy(slot + size - 4, &last, 4);
  } else {
    const auto first = static_cast<uint16_t>(w), last = static_cast<uint16_t>(w >> (8 * (size - 2)));
    memcpy(slot, &first, 2);
    memcpy(slot + size - 2, &last, 2);
  }
}

// An asked slot from UTF-8 into 1252 whose text is ASCII and Latin-1 letters and signs, no NUL,
// with room for all of it: written (the bytes nRowText writes) and answered in one pass. Any
// other text takes the step and bNarrowHeld from its start, over what this pass left.
[[gnu::noinline]] int nLatin1AnyHeldRowSlot(const CNAConvertVariant::STRowSlot& s, const char* text,
                                            unsigned int length) {
  unsigned char* const slot = s.pbySlot;
  const unsigned int size = s.nSize;
  if (length != 0 && length < size) {
    const char *p = text, *const end = text + length;
    unsigned char* q = slot;
    // q never passes p's place in the slot: a store of n bytes from q while n bytes of text
    // remain stays within it.
    for (;;) {
#if defined(__SSE2__)
      if (end - p >= 16) {
        // Sixteen at a time the same (as signed bytes, 1 to 0x7F are above 0): the long
        // texts of a query's rows are mostly ASCII.
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), v);
        const auto stop =
            static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_setzero_si128()))) ^ 0xFFFFu;
        if (stop == 0) {
          p += 16, q += 16;
          continue;
        }
        const auto ascii = static_cast<unsigned int>(__builtin_ctz(stop));
        p += ascii, q += ascii;
      } else
#endif
      if (end - p >= 8) {
        uint64_t w;
        memcpy(&w, p, 8);
        // The lowest flagged byte is the first that is no ASCII letter or a 0.
        const uint64_t flagged = StopBytes<true>(w);
        memcpy(q, &w, 8);
        const unsigned int ascii = flagged == 0 ? 8 : static_cast<unsigned int>(__builtin_ctzll(flagged)) / 8;
        p += ascii, q += ascii;
        if (ascii == 8) continue;
      } else if (p == end) {
        break;
      } else if (length >= 8 && slot + size - q >= 8) {
        // The text's last eight, those before p shifted out and zeros in, which stop the run.
        const auto left = static_cast<unsigned int>(end - p);
        uint64_t w;
        memcpy(&w, end - 8, 8);
        w >>= 8 * (8 - left);
        const uint64_t flagged = StopBytes<true>(w);
        memcpy(q, &w, 8);
        const unsigned int ascii = static_cast<unsigned int>(__builtin_ctzll(flagged)) / 8;
        p += ascii, q += ascii;
        if (p == end) break;
      } else {
        while (p < end && static_cast<unsigned char>(*p) - 1u < 0x7Fu) *q++ = static_cast<unsigned char>(*p++);
        if (p == end) break;
      }
      const int byte = end - p >= 2 ? nLatin1Pair(p) : -1;
      if (byte < 0) break;
      *q++ = static_cast<unsigned char>(byte);
      p += 2;
      if (p == end) break;
    }
    if (p == end) {
      const auto n = static_cast<unsigned int>(q - slot);
      ZeroTail(q, size - n);
      s.bHeld = true;
      return static_cast<int>(n);
    }
  }
  const int n = nTextRowSlot<CP_UTF8, 1252>(slot, size, text, length);
  s.bHeld = bNarrowHeld(s.eKind, text, length, n);
  return n;
}

#if defined(__SSE2__)
// The short text v (ShortTextVector's) is length ASCII bytes, none of them 0: as signed bytes, 1 to
// 0x7F are above 0; the zeros past the text are not.
[[gnu::always_inline]] inline bool bShortAscii(__m128i v, unsigned int length) {
  return static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_setzero_si128()))) == (1u << length) - 1;
}
#endif

// An asked slot from UTF-8 into 1252. Most keys and codes, 1 to 8 ASCII bytes with no NUL and
// room for them, are told from one word and written with the slot's zeros in two stores. The
// slot's bit OR-ed into *held when it held the text. Least: StoreShortText's, from the step.
template <unsigned int Least>
[[gnu::always_inline]] inline bool bLatin1ShortRowSlot(const CNAConvertVariant::STRowSlot& s, const char* text,
                                                       unsigned int length, uint64_t* held, unsigned int* written) {
  const unsigned int size = s.nSize;
  if (length - 1 < 8 && length < size) {
    const uint64_t w = nShortTextWord(text, length);
#if defined(__SSE2__)
    if (bShortAscii(_mm_cvtsi64_si128(static_cast<long long>(w)), length)) {
#else
    if ((StopBytes<true>(w) & (~0ULL >> (64 - 8 * length))) == 0) {
#endif
      StoreShortText<Least>(s.pbySlot, size, w);
      s.bHeld = true;
      *held |= s.nDefinedBit;
      *written = length;
      return true;
    }
  }
  // Any other text: nothing written, bHeld as it was.
  return false;
}

template <unsigned int Least>
[[gnu::always_inline]] inline bool bLatin1HeldRowSlot(const CNAConvertVariant::STRowSlot& s, const char* text,
                                                      unsigned int length, uint64_t* held, unsigned int* written) {
  if (bLatin1ShortRowSlot<Least>(s, text, length, held, written)) return true;
  const int n = nLatin1AnyHeldRowSlot(s, text, length);
  if (n < 0) return false;
  if (s.bHeld) *held |= s.nDefinedBit;
  *written = static_cast<unsigned int>(n);
  return true;
}

// A row's short text (at most 16 bytes) of ASCII and two- and three-byte characters into at most
// room units, in one pass: false for any other text (longer, a four-byte character, a byte that
// is no UTF-8), which the general decoder takes from the start. *units: those written; *clean:
// no NUL among them.
[[gnu::always_inline]] inline bool bLeanUtf16(unsigned char* slot, unsigned int room, const char* text,
                                              unsigned int length, unsigned int* units, bool* clean) {
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  const auto zero = [](uint64_t w) { return StopBytes<false>(w) != 0; };
#if defined(__SSE2__)
  // Most key texts: 4 to 16 ASCII bytes, widened by two overlapping loads.
  if (length - 4 < 13 && length <= room) {
    uint64_t a, b;
    if (length >= 8) {
      memcpy(&a, text, 8);
      memcpy(&b, text + length - 8, 8);
    } else {
      uint32_t a4, b4;
      memcpy(&a4, text, 4);
      memcpy(&b4, text + length - 4, 4);
      a = a4 | 0x0101010100000000ULL, b = b4 | 0x0101010100000000ULL;
    }
    if (((a | b) & kHigh) == 0) {
      const __m128i z = _mm_setzero_si128();
      const __m128i wa = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(a)), z);
      const __m128i wb = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(b)), z);
      if (length >= 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(slot), wa);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + 2 * (length - 8)), wb);
      } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(slot), wa);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(slot + 2 * (length - 4)), wb);
      }
      *units = length;
      *clean = !zero(a) && !zero(b);
      return true;
    }
  }
#endif
  // Longer texts are the general decoder's, sixteen bytes a step.
  if (length > 16) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = p + length;
  unsigned int o = 0;
  bool nul = false;
  for (; p < end && o < room; ++o) {
    const unsigned int c = *p;
    uint32_t u;
    if (c < 0x80) {
      nul |= c == 0;
      u = c, p += 1;
    } else if (c - 0xC2u < 0x1Eu && end - p >= 2 && (p[1] & 0xC0u) == 0x80u) {
      u = (c & 0x1Fu) << 6 | (p[1] & 0x3Fu), p += 2;
    } else if (end - p >= 3) {
      // A lead of 0xE0 takes a second byte from 0xA0 (no overlong form), one of 0xED a second
      // byte below 0xA0 (no surrogate).
      const uint32_t w = c | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
      if ((w & 0xC0C0F0u) != 0x8080E0u || (w & 0x20FFu) == 0x00E0u || (w & 0x20FFu) == 0x20EDu) return false;
      u = (c & 0x0Fu) << 12 | (w & 0x3F00u) >> 2 | (w >> 16 & 0x3Fu), p += 3;
    } else {
      return false;
    }
    const auto unit = static_cast<unsigned short>(u);
    memcpy(slot + 2 * o, &unit, 2);
  }
  *units = o;
  *clean = !nul;
  return true;
}

// bLeanUtf16 for any text, out of the asked slot's step.
[[gnu::noinline]] unsigned int nUtf16General(unsigned char* slot, unsigned int room, const char* text,
                                             unsigned int length, bool* clean) {
  bool replaced = false;
  const unsigned int n = UTF8ToUTF16(reinterpret_cast<unsigned short*>(slot), room, text, length, &replaced);
  *clean = !replaced && bCleanBytes<false>(text, length);
  return n;
}

// A UTF-16 slot's step; with Held it tells bHeld: no byte replaced, no character cut off (two
// units of room left), no NUL read.
template <bool Held>
[[gnu::always_inline]] inline int nUtf16RowSlot(const CNAConvertVariant::STRowSlot& s, const char* text,
                                                unsigned int length) {
  unsigned char* slot = s.pbySlot;
  const unsigned int size = s.nSize, room = size / 2 - 1;
  unsigned int units;
  bool clean = false;
  // The lean pass is the asked slot's, out of the row's loop; the loop keeps the general call.
  if (!Held)
    units = UTF8ToUTF16(reinterpret_cast<unsigned short*>(slot), room, text, length);
  else if (!bLeanUtf16(slot, room, text, length, &units, &clean)) [[unlikely]]
    units = nUtf16General(slot, room, text, length, &clean);
  if (Held) s.bHeld = false;
  // A text that gives nothing while there was room fails on the general road.
  if (units == 0) return -1;
  ZeroTail(slot + 2 * units, size - 2 * units);
  if (Held) s.bHeld = clean && units + 2 <= room;
  return static_cast<int>(2 * units);
}

#if defined(__SSE2__)
// The slot's first 32 bytes from two vectors, the zeros after them stored first (size 34 or more).
// Most 64 or 96: the caller knows the size at most that, and above the class before.
template <unsigned int Most = 0>
[[gnu::always_inline]] inline void StoreShortUtf16(unsigned char* slot, unsigned int size, __m128i a, __m128i b) {
  const __m128i z = _mm_setzero_si128();
  if (Most == 64 || (Most == 0 && size <= 64)) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + size - 32), z);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + size - 16), z);
  } else if (Most == 96 || size <= 96) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + 32), z);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + 48), z);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + size - 32), z);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + size - 16), z);
  } else {
    ZeroTail(slot + 32, size - 32);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(slot), a);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + 16), b);
}

// The first length bytes (1 to 16) of text, zeros after them, read within the text.
[[gnu::always_inline]] inline __m128i ShortTextVector(const char* text, unsigned int length) {
  if (length <= 8) return _mm_cvtsi64_si128(static_cast<long long>(nShortTextWord(text, length)));
  // Past eight, the text's last eight shifted down.
  uint64_t a, b;
  memcpy(&a, text, 8);
  memcpy(&b, text + length - 8, 8);
  return _mm_unpacklo_epi64(_mm_cvtsi64_si128(static_cast<long long>(a)),
                            _mm_cvtsi64_si128(static_cast<long long>(b >> (8 * (16 - length)))));
}

// The UTF-16 unit of the two-byte character at p (a lead C2 to DF, a continuation byte); false
// for any other pair of bytes. Both bytes must be the text's.
[[gnu::always_inline]] inline bool bTwoByteUnit(const char* p, unsigned short* unit) {
  const unsigned int lead = static_cast<unsigned char>(p[0]);
  if (lead - 0xC2u >= 0x1Eu) return false;
  const unsigned int next = static_cast<unsigned char>(p[1]);
  if ((next & 0xC0u) != 0x80u) return false;
  *unit = static_cast<unsigned short>((lead & 0x1Fu) << 6 | (next & 0x3Fu));
  return true;
}

// A short text (1 to 16 bytes) of ASCII and two-byte characters, no NUL, into a slot of 17 units
// or more: its ASCII runs moved from the widened text sixteen units a step, each character
// written over the run's end. The units written, 0 for any other text (nothing written).
[[gnu::always_inline]] inline unsigned int nPairsUtf16(unsigned char* slot, unsigned int size, const char* text,
                                                       unsigned int length) {
  const __m128i v = ShortTextVector(text, length), z = _mm_setzero_si128();
  auto high = static_cast<unsigned int>(_mm_movemask_epi8(v));
  const auto ascii = static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, z)));
  if ((ascii | high) != (1u << length) - 1) return 0;
  alignas(16) unsigned char wide[64], out[64];
  _mm_store_si128(reinterpret_cast<__m128i*>(wide), _mm_unpacklo_epi8(v, z));
  _mm_store_si128(reinterpret_cast<__m128i*>(wide + 16), _mm_unpackhi_epi8(v, z));
  _mm_store_si128(reinterpret_cast<__m128i*>(wide + 32), z);
  _mm_store_si128(reinterpret_cast<__m128i*>(wide + 48), z);
  _mm_store_si128(reinterpret_cast<__m128i*>(out), z);
  _mm_store_si128(reinterpret_cast<__m128i*>(out + 16), z);
  unsigned int o = 0, p = 0;
  while (high != 0) {
    const auto i = static_cast<unsigned int>(__builtin_ctz(high));
    unsigned short unit;
    if (i + 1 >= length || !bTwoByteUnit(text + i, &unit)) return 0;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * o),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide + 2 * p)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * o + 16),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide + 2 * p + 16)));
    o += i - p;
    memcpy(out + 2 * o, &unit, 2);
    o += 1, p = i + 2;
    high &= high - 1;
    high &= high - 1;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * o),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide + 2 * p)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * o + 16),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide + 2 * p + 16)));
  StoreShortUtf16(slot, size, _mm_load_si128(reinterpret_cast<const __m128i*>(out)),
                  _mm_load_si128(reinterpret_cast<const __m128i*>(out + 16)));
  return o + (length - p);
}
// A short text (1 to 16 bytes) of ASCII and one two-byte character, no NUL, into a slot whose
// first 64 bytes take the widened text moved by a unit: the widened text and the zeros after it
// stored, the part past the character moved down over its second byte, the character written.
// Most: as StoreShortUtf16's. The units written, 0 for any other text (nothing written).
template <unsigned int Most>
[[gnu::always_inline]] inline unsigned int nOnePairUtf16(unsigned char* slot, unsigned int size, const char* text,
                                                         unsigned int length, __m128i v, unsigned int ascii) {
  const __m128i z = _mm_setzero_si128();
  const auto high = static_cast<unsigned int>(_mm_movemask_epi8(v));
  const auto i = static_cast<unsigned int>(__builtin_ctz(high | 0x10000u));
  unsigned short unit;
  if ((ascii | high) != (1u << length) - 1 || high != 3u << i || 2 * i + 36 > size || !bTwoByteUnit(text + i, &unit))
    return 0;
  StoreShortUtf16<Most>(slot, size, _mm_unpacklo_epi8(v, z), _mm_unpackhi_epi8(v, z));
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot + 2 * i + 4));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot + 2 * i + 20));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + 2 * i + 2), a);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + 2 * i + 18), b);
  memcpy(slot + 2 * i, &unit, 2);
  return length - 1;
}

#endif

[[gnu::noinline]] int nUtf16AnyHeldRowSlot(const CNAConvertVariant::STRowSlot& s, const char* text,
                                           unsigned int length) {
#if defined(__SSE2__)
  const unsigned int size = s.nSize;
  if (length - 1 < 16 && size >= 34) {
    const unsigned int units = nPairsUtf16(s.pbySlot, size, text, length);
    if (units != 0) {
      s.bHeld = units + 2 <= size / 2 - 1;
      return static_cast<int>(2 * units);
    }
  }
#endif
  return nUtf16RowSlot<true>(s, text, length);
}

// An asked UTF-16 slot. Most keys and words, 1 to 16 ASCII bytes with no NUL in a slot of 17
// units or more, are told from one vector and widened into the slot's first 32 bytes, the zeros
// after them stored first. The slot's bit OR-ed into *held when it held the text. Most:
// StoreShortUtf16's, from the step, which noted nHeldUnits then. kOnePair: the lean step's, where
// a text with one two-byte character is written too (the general road's writer has its own).
template <unsigned int Most, bool kOnePair = false>
[[gnu::always_inline]] inline bool bUtf16ShortRowSlot(const CNAConvertVariant::STRowSlot& s, const char* text,
                                                      unsigned int length, uint64_t* held, unsigned int* written) {
#if defined(__SSE2__)
  const unsigned int size = s.nSize;
  if (length - 1 < 16 && (Most != 0 || size >= 34)) {
    const __m128i v = ShortTextVector(text, length);
    const __m128i z = _mm_setzero_si128();
    const auto ascii = static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, z)));
    if (ascii == (1u << length) - 1) [[likely]] {
      StoreShortUtf16<Most>(s.pbySlot, size, _mm_unpacklo_epi8(v, z), _mm_unpackhi_epi8(v, z));
      const bool whole = Most != 0 ? length <= s.nHeldUnits : length + 2 <= size / 2 - 1;
      s.bHeld = whole;
      *held |= s.nDefinedBit & (0 - static_cast<uint64_t>(whole));
      *written = 2 * length;
      return true;
    }
    // An accented word: one two-byte character moved in the slot, any other by the caller's road.
    if constexpr (kOnePair && Most != 0) {
      const unsigned int units = nOnePairUtf16<Most>(s.pbySlot, size, text, length, v, ascii);
      if (units != 0) {
        const bool whole = units <= s.nHeldUnits;
        s.bHeld = whole;
        *held |= s.nDefinedBit & (0 - static_cast<uint64_t>(whole));
        *written = 2 * units;
        return true;
      }
    }
  }
#else
  (void)s, (void)text, (void)length, (void)held, (void)written;
#endif
  // Any other text: nothing written, bHeld as it was.
  return false;
}

template <unsigned int Most>
[[gnu::always_inline]] inline bool bUtf16HeldRowSlot(const CNAConvertVariant::STRowSlot& s, const char* text,
                                                     unsigned int length, uint64_t* held, unsigned int* written) {
  if (bUtf16ShortRowSlot<Most>(s, text, length, held, written)) return true;
  const int n = nUtf16AnyHeldRowSlot(s, text, length);
  if (n < 0) return false;
  if (s.bHeld) *held |= s.nDefinedBit;
  *written = static_cast<unsigned int>(n);
  return true;
}

// The kinds few tables have, out of the row's loop so that it keeps its values in registers.
[[gnu::noinline]] int nRareRowSlot(const CNAConvertVariant::STRowSlot& s, const char* text, unsigned int length) {
  using F = CNAConvertVariant;
  unsigned char* slot = s.pbySlot;
  const unsigned int size = s.nSize;
  switch (s.eKind) {
    case F::NA_ROWSLOT_WIDEDECIMAL: {
      u128 twos;
      if (!bPlainDecimal(text, length, s.nPrecision, s.nScale, &twos)) return -1;
      memcpy(slot, &twos, s.nWidth);
      ZeroTail(slot + s.nWidth, size - s.nWidth);
      return s.nWidth;
    }
    case F::NA_ROWSLOT_CURRENCY: {
      bool negative = false;
      unsigned long long magnitude = 0;
      if (!bPlainNumber(text, length, true, &negative, &magnitude)) return -1;
      unsigned char bytes[sizeof(CMoney)];
      CurrencyForm(negative, magnitude, bytes);
      memcpy(slot, bytes, sizeof bytes);
      ZeroTail(slot + sizeof bytes, size - static_cast<unsigned int>(sizeof bytes));
      return sizeof bytes;
    }
    case F::NA_ROWSLOT_UTF8_UTF8:
      return nNarrowRowSlot<CP_UTF8, CP_UTF8>(s, text, length);
    case F::NA_ROWSLOT_1252_1252:
      return nNarrowRowSlot<1252, 1252>(s, text, length);
    case F::NA_ROWSLOT_1252_UTF8:
      return nNarrowRowSlot<1252, CP_UTF8>(s, text, length);
    default:
      return -1;
  }
}

// An integer slot that holds just its value, of Width bytes (most integer items): its bytes, no
// tail.
template <unsigned int Width>
[[gnu::always_inline]] inline int nJustInteger(const CNAConvertVariant::STRowSlot& s, const char* text,
                                               unsigned int length) {
  uint64_t value;
  if (!bRowInteger(text, length, s.nLimit, &value)) return -1;
  memcpy(s.pbySlot, &value, Width);
  return Width;
}

// One text into a slot by its step (CNAConvertVariant::s_bWriteRowSlot); the converter's data
// size and flags are the caller's. The bytes written in *written, or false with nothing written
// (each road's answer apart, so that a row's loop goes on from a write it knows done). A text
// slot asked (bAskHeld, its asked step for the usual kinds) tells in bHeld whether it holds the
// text character for character, whole and with no NUL, and then ORs its bit into *held.
[[gnu::always_inline]] inline bool bWriteRowSlot(const CNAConvertVariant::STRowSlot& s,
                                                 CNAConvertVariant::eNAROWSLOT step, const char* text,
                                                 unsigned int length, uint64_t* held, unsigned int* written) {
  using F = CNAConvertVariant;
  unsigned char* slot = s.pbySlot;
  const unsigned int size = s.nSize;
  const auto put = [written](int n) {
    if (n < 0) return false;
    *written = static_cast<unsigned int>(n);
    return true;
  };
  switch (step) {
    case F::NA_ROWSLOT_INTEGER_1:
      return put(nJustInteger<1>(s, text, length));
    case F::NA_ROWSLOT_INTEGER_2:
      return put(nJustInteger<2>(s, text, length));
    case F::NA_ROWSLOT_INTEGER_4:
      return put(nJustInteger<4>(s, text, length));
    case F::NA_ROWSLOT_INTEGER_8:
      return put(nJustInteger<8>(s, text, length));
    case F::NA_ROWSLOT_INTEGER: {
      uint64_t value;
      if (!bRowInteger(text, length, s.nLimit, &value)) return false;
      StoreWord(slot, size, value, s.nWidth);
      *written = s.nWidth;
      return true;
    }
    case F::NA_ROWSLOT_REAL: {
      unsigned char bytes[8];
      if (!bPlainReal(text, length, s.nWidth == 4, bytes)) return false;
      memcpy(slot, bytes, s.nWidth);
      ZeroTail(slot + s.nWidth, size - s.nWidth);
      *written = s.nWidth;
      return true;
    }
    case F::NA_ROWSLOT_DECIMAL: {
      uint64_t value;
      if (!bRowDecimal(text, length, s.nPrecision, s.nScale, &value)) return false;
      StoreWord(slot, size, value, s.nWidth);
      *written = s.nWidth;
      return true;
    }
    case F::NA_ROWSLOT_DATETIME: {
      uint64_t word;
      if (length != 19 || !bServerDateTime(text, &word)) return false;
      StoreWord(slot, size, word, 8);
      *written = 8;
      return true;
    }
    case F::NA_ROWSLOT_DATE8: {
      // A date of the calendar (not the empty one) is its own digits, at most size - 1 of them.
      uint64_t head, digits, pairs;
      uint16_t day;
      if (length != 10) return false;
      memcpy(&head, text, 8);
      memcpy(&day, text + 8, 2);
      digits = (head & 0xFFFFFFFFULL) | ((head >> 8) & 0xFFFF00000000ULL) | (uint64_t{day} << 48);
      if ((head & 0xFF0000FF00000000ULL) != 0x2D00002D00000000ULL || !bDigitPairs(digits, &pairs) ||
          nDateKind(nPair(pairs, 0) * 100 + nPair(pairs, 1), nPair(pairs, 2), nPair(pairs, 3)) != 1)
        return false;
      const unsigned int n = std::min(8u, size - 1);
      StoreWord(slot, size, digits, n);
      *written = n;
      return true;
    }
    case F::NA_ROWSLOT_UTF16:
      return put(nUtf16RowSlot<false>(s, text, length));
    case F::NA_ROWSLOT_UTF16_ASKED:
      return bUtf16HeldRowSlot<0>(s, text, length, held, written);
    case F::NA_ROWSLOT_UTF16_ASKED_64:
      return bUtf16HeldRowSlot<64>(s, text, length, held, written);
    case F::NA_ROWSLOT_UTF16_ASKED_96:
      return bUtf16HeldRowSlot<96>(s, text, length, held, written);
    case F::NA_ROWSLOT_UTF8_1252:
      return put(nTextRowSlot<CP_UTF8, 1252>(slot, size, text, length));
    case F::NA_ROWSLOT_UTF8_1252_ASKED:
      return bLatin1HeldRowSlot<0>(s, text, length, held, written);
    case F::NA_ROWSLOT_UTF8_1252_ASKED_4:
      return bLatin1HeldRowSlot<4>(s, text, length, held, written);
    case F::NA_ROWSLOT_UTF8_1252_ASKED_8:
      return bLatin1HeldRowSlot<8>(s, text, length, held, written);
    case F::NA_ROWSLOT_WIDEDECIMAL:
    case F::NA_ROWSLOT_CURRENCY:
    case F::NA_ROWSLOT_UTF8_UTF8:
    case F::NA_ROWSLOT_1252_1252:
    case F::NA_ROWSLOT_1252_UTF8: {
      const int n = nRareRowSlot(s, text, length);
      // An asked narrow slot's answer (never yes for a text not written).
      if (s.bHeld) *held |= s.nDefinedBit;
      return put(n);
    }
    case F::NA_ROWSLOT_NONE:
      return false;
  }
  // A slot's kind is one of the above (GetRowSlot's): the step's table needs no bound.
  __builtin_unreachable();
}

// bWriteRowSlot for the steps a row's run takes (s_pfnRowStep's): the integers that fill their
// slot, the short texts of the usual asked kinds of a bounded size, none of which calls. False,
// nothing written (bHeld as it was), for any text it does not write so.
template <CNAConvertVariant::eNAROWSLOT Step>
[[gnu::always_inline]] inline bool bWriteRowSlotLean(const CNAConvertVariant::STRowSlot& s, const char* text,
                                                     unsigned int length, uint64_t* held, unsigned int* written) {
  using F = CNAConvertVariant;
  if constexpr (Step == F::NA_ROWSLOT_UTF16_ASKED_64) return bUtf16ShortRowSlot<64, true>(s, text, length, held, written);
  if constexpr (Step == F::NA_ROWSLOT_UTF16_ASKED_96) return bUtf16ShortRowSlot<96, true>(s, text, length, held, written);
  if constexpr (Step == F::NA_ROWSLOT_UTF8_1252_ASKED_4) return bLatin1ShortRowSlot<4>(s, text, length, held, written);
  if constexpr (Step == F::NA_ROWSLOT_UTF8_1252_ASKED_8) return bLatin1ShortRowSlot<8>(s, text, length, held, written);
  // The integers: bWriteRowSlot's own step, which calls nothing.
  return bWriteRowSlot(s, Step, text, length, held, written);
}

}  // namespace

CNAConvertVariant::eNAROWSLOT CNAConvertVariant::s_eStep(const STRowSlot& slot) {
  const unsigned int size = slot.nSize;
  if (slot.eKind == NA_ROWSLOT_INTEGER && size == slot.nWidth) {
    switch (size) {
      case 1:
        return NA_ROWSLOT_INTEGER_1;
      case 2:
        return NA_ROWSLOT_INTEGER_2;
      case 4:
        return NA_ROWSLOT_INTEGER_4;
      case 8:
        return NA_ROWSLOT_INTEGER_8;
      default:
        break;
    }
  }
  if (!slot.bAskHeld) return slot.eKind;
  // The short texts' stores by the slot's size, chosen here and not at each row (the UTF-16
  // ones by s_NoteStep, with nHeldUnits).
  if (slot.eKind == NA_ROWSLOT_UTF16) return NA_ROWSLOT_UTF16_ASKED;
  if (slot.eKind == NA_ROWSLOT_UTF8_1252)
    return size - 4 < 4 ? NA_ROWSLOT_UTF8_1252_ASKED_4
                        : size - 8 < 8 ? NA_ROWSLOT_UTF8_1252_ASKED_8 : NA_ROWSLOT_UTF8_1252_ASKED;
  return slot.eKind;
}

void CNAConvertVariant::s_NoteStep(STRowSlot* slot) {
  const unsigned int size = slot->nSize;
  slot->eStep = s_eStep(*slot);
  slot->nHeldUnits = 0;
  if (slot->eStep == NA_ROWSLOT_UTF16_ASKED && size >= 34 && size <= 96) {
    slot->eStep = size <= 64 ? NA_ROWSLOT_UTF16_ASKED_64 : NA_ROWSLOT_UTF16_ASKED_96;
    slot->nHeldUnits = static_cast<uint8_t>(size / 2 - 3);
  }
}

BOOL CNAConvertVariant::s_bWriteRowSlot(const STRowSlot& slot, const char* text, unsigned int length) {
  if (slot.eKind == NA_ROWSLOT_NONE) return FALSE;
  uint64_t held = 0;
  unsigned int n = 0;
  if (!bWriteRowSlot(slot, s_eStep(slot), text, length, &held, &n)) return FALSE;
  slot.pclValue->m_nDataSize = n;
  slot.pclValue->m_clValue.SetFlags(0);
  return TRUE;
}

BOOL CNAConvertVariant::_bIntoSlot(eNAROWSLOT kind, const char* text, unsigned int length) {
  const int server = kind == NA_ROWSLOT_UTF16 ? CP_UTF8 : 0;
  if (_eRowSlotKind(kind == NA_ROWSLOT_DATETIME ? NA_ROWTEXT_DATETIME : NA_ROWTEXT_DB, server, 0) != kind)
    return FALSE;
  STRowSlot slot;
  _FillRowSlot(kind, &slot);
  return s_bWriteRowSlot(slot, text, length);
}

// In the row's loop too: a third of the values of some tables are NULL.
[[gnu::always_inline]] inline BOOL CNAConvertVariant::_s_bNullSlot(const STRowSlot& slot) {
  if (!slot.bNullInRow || slot.pclValue->m_nShapeStamp != slot.nShapeStamp) return FALSE;
  ZeroTail(slot.pbySlot, slot.nSize);
  slot.pclValue->m_nDataSize = 0;
  slot.pclValue->m_clValue.SetNull(true);
  return TRUE;
}

BOOL CNAConvertVariant::s_bNullRowSlot(const STRowSlot& slot) { return _s_bNullSlot(slot); }

template <bool Stepped>
[[gnu::always_inline]] inline const CNAConvertVariant::STRowSlot* CNAConvertVariant::_s_pWriteRun(
    const STRowSlot* p, const STRowSlot* last, const char* const* texts, const unsigned long* lengths,
    uint64_t* defined, uint64_t* nulls, uint64_t* held, unsigned int* written) {
  uint64_t bits = 0, nullBits = 0, heldBits = 0;
  for (; p != last; ++p) {
    const STRowSlot& s = *p;
    // A slot without a step may name a column the row does not have.
    if (!Stepped && s.eKind == NA_ROWSLOT_NONE) break;
    const char* text = texts[s.nColumn];
    if (text == nullptr) [[unlikely]] {
      if (!_s_bNullSlot(s)) break;
      nullBits |= s.nDefinedBit;
      continue;
    }
    if (!Stepped && s.pclValue->m_nShapeStamp != s.nShapeStamp) break;
    unsigned int n = 0;
    if (!bWriteRowSlot(s, Stepped ? s.eStep : s_eStep(s), text, static_cast<unsigned int>(lengths[s.nColumn]),
                       &heldBits, &n))
      break;
    s.pclValue->m_nDataSize = n;
    s.pclValue->m_clValue.SetFlags(0);
    if (!Stepped && s.nDefinedBit == 0) {
      *written = kRowWritten;
      break;
    }
    if (!Stepped) bits |= s.nDefinedBit;
  }
  if (!Stepped) *defined |= bits;
  *nulls |= nullBits;
  if (Stepped) *held |= heldBits;
  return p;
}

unsigned int CNAConvertVariant::s_nWriteRow(const STRowSlot* slots, unsigned int from, unsigned int count,
                                            const char* const* texts, const unsigned long* lengths,
                                            uint64_t* defined, uint64_t* nulls) {
  unsigned int written = 0;
  const STRowSlot* p =
      _s_pWriteRun<false>(slots + from, slots + count, texts, lengths, defined, nulls, nullptr, &written);
  return static_cast<unsigned int>(p - slots) | written;
}

const CNAConvertVariant::STRowSlot* CNAConvertVariant::s_pWriteRowStepped(const STRowSlot* first,
                                                                        const STRowSlot* last,
                                                                        const char* const* texts,
                                                                        const unsigned long* lengths,
                                                                        uint64_t* nulls, uint64_t* held) {
  unsigned int written = 0;
  return _s_pWriteRun<true>(first, last, texts, lengths, nullptr, nulls, held, &written);
}

[[gnu::always_inline]] inline BOOL CNAConvertVariant::_s_bEndRowRun(const STRowRun* run, const STRowSlot* end,
                                                                    uint64_t held) {
  // Every slot written, none NULL.
  if (run->bFlagWord8) [[likely]] {
    // Eight bytes of the buffer: those past the flag word's own are written back as read.
    uint64_t word;
    memcpy(&word, run->pbyFlags, 8);
    word |= run->nAllBits;
    memcpy(run->pbyFlags, &word, 8);
  } else {
    uint64_t bits = run->nAllBits;
    for (unsigned int k = 0; k < run->nFlagBytes; ++k, bits >>= 8)
      run->pbyFlags[k] = static_cast<BYTE>(run->pbyFlags[k] | bits);
  }
  if ((held & run->nHeldMask) == run->nHeldWant) [[likely]] return TRUE;
  return run->pfnNoted(run, end, held);
}

template <CNAConvertVariant::eNAROWSLOT Step, bool Last>
BOOL CNAConvertVariant::_s_bRowStep(const STRowRun* run, const STRowSlot* p, uint64_t held) {
  const STRowSlot& s = *p;
  const char* text = run->ppTexts[s.nColumn];
  if (text == nullptr) [[unlikely]]
    return run->pfnStopped(run, p, held);
  unsigned int n = 0;
  // Any other text by the step's call, out of this one's way.
  if (!bWriteRowSlotLean<Step>(s, text, static_cast<unsigned int>(run->pnLengths[s.nColumn]), &held, &n)) [[unlikely]]
    return _s_bRowStepAny<Step, Last>(run, p, held);
  s.pclValue->m_nDataSize = n;
  s.pclValue->m_clValue.SetFlags(0);
  if (!Last) return p[1].pfnStep(run, p + 1, held);
  return _s_bEndRowRun(run, p + 1, held);
}

template <CNAConvertVariant::eNAROWSLOT Step, bool Last>
[[gnu::noinline]] BOOL CNAConvertVariant::_s_bRowStepAny(const STRowRun* run, const STRowSlot* p,
                                                         uint64_t held) {
  const STRowSlot& s = *p;
  const char* text = run->ppTexts[s.nColumn];
  const auto length = static_cast<unsigned int>(run->pnLengths[s.nColumn]);
  int n = -1;
  // The asked texts' own passes after their short one (bUtf16HeldRowSlot's, bLatin1HeldRowSlot's);
  // an integer the lean step refused, the full step refuses too.
  if constexpr (Step == NA_ROWSLOT_UTF16_ASKED_64 || Step == NA_ROWSLOT_UTF16_ASKED_96)
    n = nUtf16AnyHeldRowSlot(s, text, length);
  else if constexpr (Step == NA_ROWSLOT_UTF8_1252_ASKED_4 || Step == NA_ROWSLOT_UTF8_1252_ASKED_8)
    n = nLatin1AnyHeldRowSlot(s, text, length);
  if (n < 0) return run->pfnStopped(run, p, held);
  if (s.bHeld) held |= s.nDefinedBit;
  s.pclValue->m_nDataSize = static_cast<unsigned int>(n);
  s.pclValue->m_clValue.SetFlags(0);
  if (!Last) return p[1].pfnStep(run, p + 1, held);
  return _s_bEndRowRun(run, p + 1, held);
}

template <bool Last>
CNAConvertVariant::PFNROWSTEP CNAConvertVariant::_s_pfnRowStep(eNAROWSLOT step) {
  switch (step) {
    case NA_ROWSLOT_INTEGER_1:
      return &_s_bRowStep<NA_ROWSLOT_INTEGER_1, Last>;
    case NA_ROWSLOT_INTEGER_2:
      return &_s_bRowStep<NA_ROWSLOT_INTEGER_2, Last>;
    case NA_ROWSLOT_INTEGER_4:
      return &_s_bRowStep<NA_ROWSLOT_INTEGER_4, Last>;
    case NA_ROWSLOT_INTEGER_8:
      return &_s_bRowStep<NA_ROWSLOT_INTEGER_8, Last>;
    case NA_ROWSLOT_UTF16_ASKED_64:
      return &_s_bRowStep<NA_ROWSLOT_UTF16_ASKED_64, Last>;
    case NA_ROWSLOT_UTF16_ASKED_96:
      return &_s_bRowStep<NA_ROWSLOT_UTF16_ASKED_96, Last>;
    case NA_ROWSLOT_UTF8_1252_ASKED_4:
      return &_s_bRowStep<NA_ROWSLOT_UTF8_1252_ASKED_4, Last>;
    case NA_ROWSLOT_UTF8_1252_ASKED_8:
      return &_s_bRowStep<NA_ROWSLOT_UTF8_1252_ASKED_8, Last>;
    default:
      // Steps that may call: the bound road's loop.
      return nullptr;
  }
}

CNAConvertVariant::PFNROWSTEP CNAConvertVariant::s_pfnRowStep(const STRowSlot& slot, bool last) {
  return last ? _s_pfnRowStep<true>(slot.eStep) : _s_pfnRowStep<false>(slot.eStep);
}

BOOL CNAConvertVariant::_bSetValueDBUnslotted(const char* text, unsigned int length, unsigned int codePage) {
  if (m_nDBState != 0 && text != nullptr && length != kAll && m_eVarType == NA_VAR_ANY && wGetType() == ZV_DSTRW) {
    m_clValue.SetFlags(0);
    return _bSetHeldString(text, length, nResolve(static_cast<int>(codePage)));
  }
  return _bSetValueDBGeneral(text, length, codePage);
}

BOOL CNAConvertVariant::_bSetValueDBGeneral(const char* text, unsigned int length, unsigned int codePage) {
  if (!bInitBufferDB()) return FALSE;
  if (text == nullptr) {
    SetNull();
    return TRUE;
  }
  if (length == kAll) length = static_cast<unsigned int>(strlen(text));
  const unsigned short type = wGetType();
  const int cp = nResolve(static_cast<int>(codePage));
  // The routes the rules below give numbers, dates and slot texts, taken first.
  if (bNumberKind(type)) return _Touch(), _bSetNumberDB(text, length, cp);
  if (bDateKind(type)) return _Touch(), _bSetValueDB_AndConvertToDate(text, length, ZV_PSTRA);
  if (_bBuffered() && length > 0 && bTextKind(type)) return _Touch(), _bStoreAnsi(text, length, cp);
  if (m_eVarType == NA_VAR_ANY && type == ZV_DSTRW) return _Touch(), _bSetHeldString(text, length, cp);
  if (m_eVarType == NA_VAR_ANY && type == ZV_DSTRA) return _bSetValue(text, length, cp);
  // The empty text is a text's or a binary's empty value; a number, date or time parses it as
  // any other text, and refuses it.
  if (length == 0) return bSetValue(reinterpret_cast<const unsigned char*>(""), 0);
  _Touch();
  if (bTextKind(type)) return _bSetValue(text, length, cp);
  if (type == ZV_BOOL) {
    const BOOL b = s_bTextToBool(text);
    if (m_eVarType == NA_VAR_ANY) {
      m_clValue.SetBOOL(b);
      return TRUE;
    }
    const unsigned char byte = b ? 1 : 0;
    return _bStoreBytes(&byte, 1, 0);
  }
  if (type == ZV_BIN) {
    if (_bBuffered()) return _bStoreBytes(text, length, 0);
    m_clValue.SetBIN(reinterpret_cast<const unsigned char*>(text), length);
    return TRUE;
  }
  CAny ansi;
  ansi.__SetType(ZV_DSTRA, 0);
  ansi.Intern()->SetValue(text, length);
  ansi.SetFlags(0);
  return bSetValue(&ansi);
}

BOOL CNAConvertVariant::bSetValueDB(const wchar_t* text, unsigned int length) {
  if (!bInitBufferDB()) return FALSE;
  return bSetValueFromDB(text, length);
}

BOOL CNAConvertVariant::bSetValueFromDB(const wchar_t* text, unsigned int length) {
  if (text == nullptr) {
    SetNull();
    return TRUE;
  }
  if (length == kAll) length = static_cast<unsigned int>(wcslen(text));
  _Touch();
  const unsigned short type = wGetType();
  if (type == ZV_BOOL) {
    const BOOL b = length > 0 && s_bTextToBool(text);
    if (m_eVarType == NA_VAR_ANY) {
      m_clValue.SetBOOL(b);
      return TRUE;
    }
    const unsigned char byte = b ? 1 : 0;
    return _bStoreBytes(&byte, 1, 0);
  }
  if (bNumberKind(type) || bDateKind(type)) {
    wchar_t wide[kShortText + 1];
    char narrow[kShortText + 1];
    if (length > kShortText) {
      _SetErrorConversionFailed(ZV_PSTRW, std::wstring(text, length).c_str());
      return FALSE;
    }
    if (bNumberKind(type)) {
      wmemcpy(wide, text, length);
      wide[length] = 0;
      return _bSetNumberDB(wide, wide, ZV_PSTRW);
    }
    for (unsigned int i = 0; i < length; ++i) {
      const int b = CP1252ByteOf(static_cast<uint32_t>(text[i]));
      narrow[i] = static_cast<char>(b < 0 ? '?' : b);
    }
    return _bSetValueDB_AndConvertToDate(narrow, length, ZV_PSTRW);
  }
  if (bTextKind(type)) return bSetValue(text, length);
  if (type == ZV_BIN)
    return bSetValueDB(reinterpret_cast<const unsigned char*>(text),
                       length * static_cast<unsigned int>(sizeof(wchar_t)));
  CAny wide;
  wide.__SetType(ZV_DSTRW, 0);
  wide.Intern()->SetValue(text, length * static_cast<unsigned int>(sizeof(wchar_t)));
  wide.SetFlags(0);
  return bSetValue(&wide);
}

BOOL CNAConvertVariant::bSetValueDB(const CAny* value) {
  if (!bInitBufferDB()) return FALSE;
  if (value == nullptr || value->bIsNull() || value->wGetType() == ZV_VIDE) {
    SetNull();
    return TRUE;
  }
  const unsigned short from = value->wGetType();
  if (from != wGetType() && g_bIsZVTextAnsi(from)) {
    unsigned int n = 0;
    const char* text = pszHostText(value, &n);
    return bSetValueDB(text, n, static_cast<unsigned>(_nServerCodePage()));
  }
  if (from != wGetType() && g_bIsZVTextWide(from)) {
    unsigned int n = 0;
    const wchar_t* text = pszHostWideText(value, &n);
    return bSetValueDB(text, n);
  }
  return bSetValue(value);
}

BOOL CNAConvertVariant::bSetValueDB(const unsigned char* bytes, unsigned int length) {
  if (!bInitBufferDB()) return FALSE;
  m_nDBLength = length;
  if (m_eVarType == NA_VAR_ANY || m_eVarType == NA_VAR_NOTREAD) {
    _Touch();
    m_clValue.SetValueByte(bytes, length);
    return TRUE;
  }
  if (!_bBuffered()) return bSetValue(bytes, length);
  _Touch();
  const BOOL ok = _bStoreBytes(bytes, length, 0);
  m_nDBLength = m_nDataSize;
  return ok;
}

// ---- Database preparation ----

BOOL CNAConvertVariant::_bPrepareBufferDB() {
  if (!_bInitTypeBind()) return FALSE;
  if (m_eVarType == NA_VAR_NOTREAD) m_eVarType = NA_VAR_ANY;
  if (m_eVarType == NA_VAR_ANY) return _bInitBufferDB_Any();
  if (m_eVarType == NA_VAR_BUFFER) return _bInitBufferDB_Ptr();
  return FALSE;
}

BOOL CNAConvertVariant::_bInitBufferDB_Ptr() {
  m_nDBState = 1;
  return TRUE;
}

BOOL CNAConvertVariant::_bInitBufferDB_Any() {
  // The held value is its own database form: pGetData and nGetSize read it where it is.
  if (wGetType() == ZV_VIDE) SetNull();
  m_nDBState = 1;
  return TRUE;
}

// ---- Reading ----

BOOL CNAConvertVariant::bGetValue(CAny* out) const {
  if (out == nullptr) return FALSE;
  if (m_eVarType == NA_VAR_ANY || m_eVarType == NA_VAR_NOTREAD) return CNAVariant::bGetValue(out);
  if (!_bBuffered() || m_pbyBuffer == nullptr) return FALSE;
  const unsigned short type = wGetType();
  const unsigned char* p = m_pbyBuffer;
  const unsigned int size = m_nBufferSize;
  if (m_clValue.bIsNull()) {
    out->__SetType(type, 0);
    out->SetNull(true);
    return TRUE;
  }
  if (type == ZV_DECIMAL) {
    out->__SetType(ZV_DECIMAL, 0);
    IDecimal* dec = nullptr;
    out->Intern()->nFillBuffer(&dec);
    int precision = 0, scale = 0;
    _bAnalysisDecimal(&precision, &scale);
    unsigned char form[IDecimal::kFormSize] = {};
    memcpy(form, p, std::min(size, nFormSize(precision)));
    if (dec != nullptr) {
      if (precision == 0)
        dec->nLoadForm(form);
      else
        dec->nLoad(precision, scale, form);
    }
  } else if (type == ZV_BIN) {
    if (_bBinarySlot()) {
      const unsigned int n = size >= 2 ? std::min(size - 2, static_cast<unsigned int>(p[0] | (p[1] << 8))) : 0;
      out->SetBIN(p + 2, n);
    } else {
      out->SetBIN(p, size);
    }
  } else if (type == ZV_DATETIME) {
    CDateTime dt;
    const eDateForm form = eFormOf(eNAGetItemTypeAnalyse(), type);
    char digits[kDateTimeTextChars + 1] = {};
    memcpy(digits, p, std::min(size, static_cast<unsigned int>(kDateTimeTextChars)));
    digits[strnlen(digits, std::min(size, static_cast<unsigned int>(kDateTimeTextChars)))] = 0;
    if (form == FORM_DATE8)
      dt.FromString(digits);
    else if (form == FORM_HEURE)
      dt.__SetPartieHeure(digits);
    else if (form == FORM_DATETIME && size >= sizeof(CDateTimeBase))
      memcpy(static_cast<void*>(&dt), p, sizeof(CDateTimeBase));
    out->SetDATETIME(dt);
  } else if (_bUTF16Slot()) {
    const unsigned short* units = reinterpret_cast<const unsigned short*>(p);
    CAny_ZVDSTRW::s_SetFromUTF16(out, units, utf16nlen(units, static_cast<int>(size / 2)));
    if (type != ZV_DSTRW) out->__nCastTo(type, nullptr, 1);
  } else if (g_bIsZVTextWide(type) && type != ZV_CARW) {
    const unsigned int chars = size / sizeof(wchar_t);
    const wchar_t* w = reinterpret_cast<const wchar_t*>(p);
    out->__SetType(type, 0);
    out->Intern()->SetValue(w, static_cast<unsigned int>(wcsnlen(w, chars) * sizeof(wchar_t)));
  } else if (g_bIsZVTextAnsi(type) && type != ZV_CARA) {
    out->__SetType(type, 0);
    out->Intern()->SetValue(p, static_cast<unsigned int>(strnlen(reinterpret_cast<const char*>(p), size)));
  } else {
    // Fixed-size classes read their own width: the buffer is given padded to a value area.
    unsigned char area[ZV_VALUE_SIZE] = {};
    memcpy(area, p, std::min(size, ZV_VALUE_SIZE));
    out->__SetType(type, 0);
    out->Intern()->SetValue(area, std::min(size, ZV_VALUE_SIZE));
  }
  out->SetFlags(0);
  return TRUE;
}

const void* CNAConvertVariant::pGetData() const {
  if (m_eVarType == NA_VAR_ANY || m_eVarType == NA_VAR_NOTREAD) return CNAVariant::pGetData();
  return m_eVarType == NA_VAR_NONE ? nullptr : m_pbyBuffer;
}

unsigned int CNAConvertVariant::nGetSize() const {
  if (m_eVarType == NA_VAR_ANY || m_eVarType == NA_VAR_NOTREAD) return CNAVariant::nGetSize();
  return m_nDataSize;
}

unsigned int CNAConvertVariant::nGetUtilDataSize() const {
  if (m_eVarType == NA_VAR_ANY || m_eVarType == NA_VAR_NOTREAD) return CNAVariant::nGetUtilDataSize();
  if (m_pbyBuffer == nullptr) return 0;
  const unsigned short type = wGetType();
  if (_bUTF16Slot())
    return static_cast<unsigned int>(
        utf16nlen(reinterpret_cast<const unsigned short*>(m_pbyBuffer), static_cast<int>(m_nBufferSize / 2)));
  if (g_bIsZVTextAnsi(type) && type != ZV_DATEA && type != ZV_TIMEA)
    return static_cast<unsigned int>(strnlen(reinterpret_cast<const char*>(m_pbyBuffer), m_nBufferSize));
  if (type == ZV_DSTRW || type == 20 || type == ZV_CARW || type == ZV_PSTRW)
    return static_cast<unsigned int>(
        wcsnlen(reinterpret_cast<const wchar_t*>(m_pbyBuffer), m_nBufferSize / sizeof(wchar_t)));
  return m_nDataSize;
}

BOOL CNAConvertVariant::bGetBufferDB(unsigned char** data, unsigned int* size, unsigned int** dbLength) {
  if (!bInitBufferDB()) return FALSE;
  const bool held = m_eVarType == NA_VAR_ANY;
  if (data != nullptr)
    *data = static_cast<unsigned char*>(const_cast<void*>(held ? CNAVariant::pGetData() : m_pbyBuffer));
  if (size != nullptr) *size = held ? CNAVariant::nGetSize() : m_nBufferSize;
  if (dbLength != nullptr) *dbLength = &m_nDBLength;
  return TRUE;
}

BOOL CNAConvertVariant::bGetDecimalInfo(int* precision, int* scale) const {
  int p = 0, s = 0;
  if (_bAnalysisDecimal(&p, &s)) {
    if (precision != nullptr) *precision = p;
    if (scale != nullptr) *scale = s;
    return TRUE;
  }
  // Dialect 2 takes a value's digits from its type, a decimal's from its own object.
  if (m_pclCnx != nullptr && m_pclCnx->nGetDataSource() == 2 && wGetType() != ZV_DECIMAL) {
    if (precision != nullptr) *precision = 0;
    if (scale != nullptr) *scale = 0;
    return CNAItemDescription::s_bGetDecimalInfo(wGetType(), precision, scale);
  }
  return CNAVariant::bGetDecimalInfo(precision, scale);
}

BOOL CNAConvertVariant::vbChangeZVType(unsigned short type, int keepLength) {
  CAny value;
  bGetValue(&value);
  if (!value.bIsNull() && value.wGetType() != ZV_VIDE && bTextKind(type) && eNAGetItemTypeAnalyse() == NA_IT_HEURE) {
    if (value.__nCastTo(ZV_DSTRW, nullptr, 1) > 99) return FALSE;
    const wchar_t* text = nullptr;
    value.Intern()->nGetPCWSTR(&text);
    const size_t want = m_piAnalysis->nGetItemSize() > 0 ? m_piAnalysis->nGetItemSize() - 1 : 0;
    std::wstring s = text != nullptr ? text : L"";
    if (s.size() > want)
      s.resize(want);
    else if (!keepLength)
      s.append(want - s.size(), L'0');
    value.__SetType(ZV_DSTRW, 0);
    value.Intern()->SetValue(s.c_str(), static_cast<unsigned int>(s.size() * sizeof(wchar_t)));
    value.SetFlags(0);
  }
  InitTypeVariantAny(type, 0);
  return bSetValue(&value);
}

// ---- Comparison and copy ----

BOOL CNAConvertVariant::bEqualsNAVariant(const CNAConvertVariant* other) const {
  if (other == this) return TRUE;
  if (other == nullptr) return FALSE;
  if (m_eVarType == NA_VAR_NONE && other->m_eVarType == NA_VAR_NONE) return TRUE;
  if (bIsNull() && other->bIsNull()) return TRUE;
  if (m_eVarType == other->m_eVarType) {
    if (m_eVarType == NA_VAR_ANY) return CNAVariant::bEqualsNAVariant(static_cast<const CNAVariant*>(other));
    if (m_eVarType == NA_VAR_NONE || m_eVarType == NA_VAR_NOTREAD) return FALSE;
  }
  // Buffers of different encodings compare by their values.
  if (_bUTF16Slot() != other->_bUTF16Slot()) return CNAVariant::bEqualsNAVariant(static_cast<const CNAVariant*>(other));
  return nCmp(other) == 0 ? TRUE : FALSE;
}

BOOL CNAConvertVariant::bCopyVariant(const CNAConvertVariant* source) {
  if (source == nullptr) {
    SetNull();
    return TRUE;
  }
  if (source == this) return TRUE;
  if (source->m_pclCnx != m_pclCnx) {
    if (source->m_pclCnx != nullptr) source->m_pclCnx->AddRef();
    CNADriver::g_nReleaseConnection(m_pclCnx);
    m_pclCnx = source->m_pclCnx;
    _MoveShapeStamp(1);
  }
  m_nDBLength = source->m_nDBLength;
  // A buffer of this converter (a record slot) takes the value in its own encoding.
  if (wGetType() == source->wGetType() && (m_nDBState != 0 || _bBuffered())) {
    if (source->m_eVarType == NA_VAR_NOTREAD) {
      SetNull();
      if (m_eVarType == NA_VAR_ANY) m_eVarType = NA_VAR_NOTREAD;
      return TRUE;
    }
    if (m_eVarType == NA_VAR_ANY && source->m_eVarType == NA_VAR_ANY) return CNAVariant::bCopyVariant(source);
    CAny value;
    if (!source->bGetValue(&value)) return FALSE;
    return bSetValue(&value);
  }
  CAny value;
  // A value held as it is is copied straight from its holder, past the copy aside.
  const bool held = source->m_eVarType == NA_VAR_ANY;
  const bool bRead = source->m_eVarType != NA_VAR_NOTREAD && (held || source->bGetValue(&value));
  const bool bOwnBuffer = source->m_eVarType == NA_VAR_OWNBUFFER;
  if (bOwnBuffer) {
    if (!bInitTypeVariant(NA_VAR_OWNBUFFER, nullptr, source->m_nBufferSize, source->wGetType())) return FALSE;
    if (m_nBufferSize > 0) memcpy(m_pbyBuffer, source->m_pbyBuffer, m_nBufferSize);
    m_nDataSize = source->m_nDataSize;
    SetItemDesc(source->m_piAnalysis, source->m_piDatabase);
  } else {
    InitTypeVariantAny(source->wGetType(), source->m_piAnalysis, source->m_piDatabase);
  }
  // The items are set before the value: taking a new item retypes the value, which would turn a
  // NULL copied earlier into an empty value.
  if (bOwnBuffer) {
    m_clValue.SetFlags(source->m_clValue.wGetTypeWord());
  } else if (source->m_eVarType == NA_VAR_NOTREAD) {
    m_eVarType = NA_VAR_NOTREAD;
    m_clValue.SetNull(true);
  } else if (bRead) {
    m_clValue = held ? source->m_clValue : value;
  }
  m_nDBLength = source->m_nDBLength;
  return TRUE;
}

BOOL CNAConvertVariant::bRenewCopy(const CNAConvertVariant* source) {
  if (source == nullptr || source == this || source->m_eVarType != NA_VAR_ANY || m_eVarType != NA_VAR_ANY ||
      source->m_pclCnx != m_pclCnx || source->m_piAnalysis == nullptr || source->m_piAnalysis != m_piAnalysis ||
      source->m_piDatabase != m_piDatabase)
    return FALSE;
  // The restart's kind, then InitTypeVariantAny's kind and retyping under the same descriptions.
  m_pbyBuffer = nullptr;
  m_nBufferSize = m_nDataSize = 0;
  m_nDBState = 0;
  _MoveHeldShapeStamp(3);
  // The copy's value whole: type, flags and bytes.
  m_clValue.AssignLike(source->m_clValue);
  m_nDBLength = source->m_nDBLength;
  return TRUE;
}

CNAConvertVariant* CNAConvertVariant::pclGetCloneVariant() const {
  CNADriver* driver = CNADriver::s_pclDriver;
  CNAConvertVariant* clone = driver != nullptr ? driver->pclAllocVariant(m_pclError, m_pclCnx) : nullptr;
  if (clone != nullptr) clone->bCopyVariant(this);
  return clone;
}

BOOL CNAConvertVariant::bLoadFile(const wchar_t* path, CNAError* error, int binary) {
  if (!_bBuffered()) {
    const BOOL ok = gbLoadFile(&m_clValue, path, error, binary);
    if (m_eVarType == NA_VAR_NOTREAD) m_eVarType = NA_VAR_ANY;
    return ok;
  }
  CAny value;
  return gbLoadFile(&value, path, error, binary) && bSetValue(&value);
}

void CNAConvertVariant::CompleteSpaces(int n) {
  if (m_clValue.bIsNull()) return;
  const unsigned short type = wGetType();
  const bool ansi = type == ZV_PSTRA || type == ZV_DSTRA, wide = type == ZV_DSTRW || type == ZV_PSTRW;
  if (!ansi && !wide) return;
  if (_bBuffered()) {
    if (m_pbyBuffer == nullptr) return;
    if (_bUTF16Slot()) {
      const int cap = static_cast<int>(m_nBufferSize / 2) - 1;
      n = n < 0 || n > cap ? cap : n;
      if (n < 0) return;
      auto* units = reinterpret_cast<unsigned short*>(m_pbyBuffer);
      const unsigned short blank = L' ', end = 0;
      for (int i = utf16nlen(units, n); i < n; ++i) memcpy(units + i, &blank, sizeof blank);
      memcpy(units + n, &end, sizeof end);
      m_nDataSize = 2 * static_cast<unsigned int>(n);
    } else if (wide) {
      const int cap = static_cast<int>(m_nBufferSize / sizeof(wchar_t)) - 1;
      n = n < 0 || n > cap ? cap : n;
      if (n < 0) return;
      auto* w = reinterpret_cast<wchar_t*>(m_pbyBuffer);
      for (int i = static_cast<int>(wcsnlen(w, static_cast<size_t>(n))); i < n; ++i) w[i] = L' ';
      w[n] = 0;
      m_nDataSize = static_cast<unsigned int>(n) * static_cast<unsigned int>(sizeof(wchar_t));
    } else {
      const int cap = static_cast<int>(m_nBufferSize) - 1;
      n = n < 0 || n > cap ? cap : n;
      if (n < 0) return;
      char* a = reinterpret_cast<char*>(m_pbyBuffer);
      for (int i = static_cast<int>(strnlen(a, static_cast<size_t>(n))); i < n; ++i) a[i] = ' ';
      a[n] = 0;
      m_nDataSize = static_cast<unsigned int>(n);
    }
    return;
  }
  if (m_eVarType != NA_VAR_ANY) return;
  if (ansi) {
    const char* text = nullptr;
    m_clValue.Intern()->nGetPCASTR(&text);
    std::string s = text != nullptr ? text : "";
    if (n < 0) n = static_cast<int>(nGetSize()) - 1;
    if (n < 0) return;
    s.resize(static_cast<size_t>(n), ' ');
    m_clValue.Intern()->SetValue(s.c_str(), static_cast<unsigned int>(s.size()));
  } else {
    const wchar_t* text = nullptr;
    m_clValue.Intern()->nGetPCWSTR(&text);
    std::wstring s = text != nullptr ? text : L"";
    if (n < 0) n = static_cast<int>(nGetSize() / sizeof(wchar_t));
    s.resize(static_cast<size_t>(n), L' ');
    m_clValue.__SetType(ZV_DSTRW, 0);
    m_clValue.Intern()->SetValue(s.c_str(), static_cast<unsigned int>(s.size() * sizeof(wchar_t)));
    if (type != ZV_DSTRW) m_clValue.__nCastTo(type, nullptr, 1);
  }
  m_clValue.SetFlags(0);
}

BOOL CNAConvertVariant::bConvertDataToKJ(CNAKJRecord* record) {
  if (m_eVarType == NA_VAR_NOTREAD) m_eVarType = NA_VAR_ANY;
  if (m_nDBState != 0 && m_eVarType == NA_VAR_BUFFER && m_pbyBuffer != nullptr &&
      eNAGetItemTypeAnalyse() == NA_IT_TEXTE && eNAGetItemTypeDatabase() == NA_IT_TEXTE) {
    const size_t n = strnlen(reinterpret_cast<const char*>(m_pbyBuffer), m_nBufferSize);
    memset(m_pbyBuffer + n, 0, m_nBufferSize - n);
  }
  if (record != nullptr && m_piAnalysis != nullptr)
    record->vSetItemValueDefined(m_piAnalysis, m_clValue.bIsNull() ? FALSE : TRUE, 0);
  return _bConvertDataToKJ();
}

// Values reach the server only as literals written into the SQL text; date and time columns are
// compared through the digit expressions written here. Every per-dialect form is a table row.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>

#include "common/sql_escape.h"
#include "common/tstringconcataw.h"
#include "common/xystring.h"
#include "driver/naconnectiondescription.h"
#include "platform/codepage.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "driver/naliteraltext.h"
#include "sql/inaitemdescription.h"
#include "sql/naconvertvariant.h"
#include "sql/naitemdescription.h"
#include "sql/naitemtype.h"
#include "values/any.h"
#include "values/datetime.h"
#include "values/xtime.h"

namespace {

enum { kSiteDate = 8, kSiteTime = 9, kSiteNotFinite = 11, kSiteNarrowCast = 12, kSiteSQLText = 13 };
enum { kKindHeure = 14, kKindDate = 15, kKindOther = 16 };

// Expression templates: '@' stands for the column expression, '#' for n - 6 as a digit and '~' for
// n - 6 zeros. A null cell takes the rule of the code (dialect 2 HHMM; the last row's variants).
struct STExpressionForms {
  const wchar_t *pszDate, *pszHHMM, *pszHHMMSS, *pszHHMMSSmmm, *pszDateTime;
};
// Row 0: dialects without a row of their own.
constexpr STExpressionForms kExpressions[] = {
    {L"TO_CHAR(@,'YYYYMMDD')", L"TO_CHAR(@,'HH24MI')", L"TO_CHAR(@,'HH24MISS')", nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
    {L"REPLACE(CONVERT(varchar(10),@,20),'-','')", nullptr, L"REPLACE(CONVERT(varchar(8),@,108),':','')",
     L"REPLACE(REPLACE(CONVERT(varchar(12),@,114),':',''),'.','')",
     L"REPLACE(REPLACE(REPLACE(REPLACE(CONVERT(varchar(10),@,20),'-',''),' ',''),':',''),'.','')"},
    {L"FORMAT(@,'YYYYMMdd')", L"FORMAT(@,'HHmm')", L"FORMAT(@,'HHmmss')", L"(FORMAT(@,'HHmmss') + '~')",
     L"(FORMAT(@,'YYYYMMddHHmmss') + '000')"},
    {L"CONVERT(VARCHAR(8),@,112)", L"STUFF(CONVERT(VARCHAR(5),@,108), 3, 1, NULL)",
     L"STUFF(STUFF(CONVERT(VARCHAR(8),@,108), 3, 1, NULL), 5, 1, NULL)",
     L"STUFF(STUFF(CONVERT(VARCHAR(8),@,108), 3, 1, NULL), 5, 1, NULL)+SUBSTRING(CONVERT(CHAR(4), "
     L"1000+DATEPART(ms,@)),2,4)",
     L"(CONVERT(VARCHAR(8),@,112)+STUFF(STUFF(CONVERT(VARCHAR(8),@,108), 3, 1, NULL), 5, 1, "
     L"NULL)+SUBSTRING(CONVERT(CHAR(4), 1000+DATEPART(ms,@)),2,4))"},
    {L"DATE_FORMAT(@,'%Y%m%d')", L"TIME_FORMAT(@,'%H%i')", L"TIME_FORMAT(@,'%H%i%S')", L"TIME_FORMAT(@,'%H%i%S%f')",
     L"SUBSTR(DATE_FORMAT(@,'%Y%m%d%H%i%S%f'), 1, 17)"},
    {nullptr, nullptr, nullptr, L"TO_CHAR(@,'HH24MISSMS')", L"TO_CHAR(@,'YYYYMMDDHH24MISSMS')"},
    {L"REPLACE(CHAR(DATE(@)), '-', '')", L"SUBSTR(REPLACE(CHAR(TIME(@)), '.', ''), 1, 4)",
     L"REPLACE(CHAR(TIME(@)), '.', '')", L"SUBSTR(REPLACE(REPLACE(CHAR(TIMESTAMP_ISO(@)), '-', ''), '.', ''),9,9)",
     L"SUBSTR(REPLACE(REPLACE(CHAR(TIMESTAMP_ISO(@)), '-', ''), '.', ''),1,17)"},
    {nullptr, nullptr, nullptr, L"TO_CHAR(@,'HH24MISSMLS')", L"TO_CHAR(@,'YYYYMMDDHH24MISSMLS')"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
    {L"TO_CHAR(@,'%Y%m%d')", L"TO_CHAR(@,'%H%M')", L"TO_CHAR(@,'%H%M%S')", L"TO_CHAR(@,'%H%M%S%F#')",
     L"TO_CHAR(@,'%Y%m%d%H%M%S%F3')"},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
    {L"strftime('%Y%m%d',@)", L"strftime('%H%M',@)", L"strftime('%H%M%S',@)", L"REPLACE(strftime('%H%M%f',@),'.','')",
     L"REPLACE(strftime('%Y%m%d%H%M%f',@),'.','')"},
};
// The last row's HHMMSSmmm and date-time: a TIMESTAMP column, a DATE column on a server above 8,
// and the rest.
constexpr const wchar_t* kOtherHHMMSSmmm[] = {L"TO_CHAR(@,'HH24MISSFF3')",
                                              L"TO_CHAR( CAST(@ AS TIMESTAMP),'HH24MISSFF3')",
                                              L"(TO_CHAR(@,'HH24MISS')+'000')"};
constexpr const wchar_t* kOtherDateTime[] = {L"TO_CHAR(@,'YYYYMMDDHH24MISSFF3')",
                                             L"TO_CHAR( CAST(@ AS TIMESTAMP),'YYYYMMDDHH24MISSFF3')",
                                             L"(TO_CHAR(@,'YYYYMMDDHH24MISS')+'000')"};

// The cell of a dialect, falling back on row 0.
const wchar_t* Cell(int dialect, const wchar_t* STExpressionForms::*cell) {
  const wchar_t* own = dialect >= 1 && dialect <= 13 ? kExpressions[dialect].*cell : nullptr;
  return own != nullptr ? own : kExpressions[0].*cell;
}

std::wstring Expand(const wchar_t* form, const wchar_t* x, int n) {
  std::wstring s;
  for (const wchar_t* p = form; *p != 0; ++p) {
    if (*p == L'@')
      s += x;
    else if (*p == L'#')
      s += static_cast<wchar_t>(L'0' + n - 6);
    else if (*p == L'~')
      s.append(static_cast<size_t>(n - 6), L'0');
    else
      s += *p;
  }
  return s;
}

void Put(CTStringConcatAW* out, const std::wstring& s) {
  out->Vide();
  out->Add(s.c_str(), static_cast<int>(s.size()));
}

std::wstring Cut(const wchar_t* function, const std::wstring& expr, int n) {
  return std::wstring(function) + expr + L", 1, " + std::to_wstring(n) + L")";
}

void Put(CTStringConcatAW* out, const CLiteralText& text) {
  out->Vide();
  text.AppendTo(out);
}

// text, or with escape the escape form: open + text + "}".
void Escaped(CLiteralText* out, const char* open, const CLiteralText& text, int escape) {
  if (escape) out->Text(open);
  out->Prefix(text, text.nGetLength());
  if (escape) out->Char('}');
}

void PutEscaped(CTStringConcatAW* out, const char* open, const CLiteralText& text, int escape) {
  CLiteralText s;
  Escaped(&s, open, text, escape);
  Put(out, s);
}

// The value needs no cast to the item's host type target.
bool bHasTargetType(unsigned short type, unsigned short target) {
  return type == target || (target == ZV_DSTRA && type == ZV_PSTRA) || (target == ZV_DSTRW && type == ZV_PSTRW);
}

// The fields of a date-time value whose host text "YYYYMMDDHHMMSSmmm" has its fixed layout (each
// field within its digits) and is not empty: read from the text, they are these. false otherwise.
bool bFixedLayout(const CDateTimeBase& dt) {
  if (dt.m_wAnnee == 0 && dt.m_byMois == 0 && dt.m_byJour == 0 && dt.m_dwMilli == 0) return false;
  return dt.m_wAnnee <= 9999 && dt.m_byMois <= 99 && dt.m_byJour <= 99 && dt.m_dwMilli < 100u * 3600000u;
}

bool bFixedLayoutDateTime(const CAny& value, CDateTimeBase* dt) {
  return value.Intern()->nFillBuffer(dt) == 0 && bFixedLayout(*dt);
}

int Year(const CXTime& t) { return t.m_tm.tm_year + 1900; }
int Month(const CXTime& t) { return t.m_tm.tm_mon + 1; }

// "%04d-%02d-%02d" of year, month and day.
void DateFields(CLiteralText* s, const CXTime& t) {
  s->Padded(Year(t), 4);
  s->Char('-');
  s->Padded(Month(t), 2);
  s->Char('-');
  s->Padded(t.m_tm.tm_mday, 2);
}

// "%02d:%02d:%02d.%03d" of hours, minutes, seconds and milliseconds.
void TimeFields(CLiteralText* s, const CXTime& t) {
  s->Padded(t.m_tm.tm_hour, 2);
  s->Char(':');
  s->Padded(t.m_tm.tm_min, 2);
  s->Char(':');
  s->Padded(t.m_tm.tm_sec, 2);
  s->Char('.');
  s->Padded(t.nGetMilli(), 3);
}

// "'" + the date of t (or the text date in its place) + " " + its time + "'".
void QuotedDateTime(CLiteralText* s, const CXTime& t, const char* date) {
  s->Char('\'');
  if (date != nullptr)
    s->Text(date);
  else
    DateFields(s, t);
  s->Char(' ');
  TimeFields(s, t);
  s->Char('\'');
}

// Doubles every quote after the opening one.
template <typename T>
std::basic_string<T> Quoted(const T* open, const T* s, size_t n) {
  std::basic_string<T> r(open);
  for (size_t i = 0; i < n; ++i) {
    r += s[i];
    if (s[i] == T('\'')) r += T('\'');
  }
  return r + T('\'');
}

int HexaDigit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

template <typename T>
void HexaToBinary(const T* text, unsigned char* out, unsigned int size) {
  if (out == nullptr) return;
  memset(out, 0, size);
  if (text == nullptr) return;
  for (unsigned int i = 0; i < size && text[0] != 0 && text[1] != 0; ++i, text += 2)
    out[i] = static_cast<unsigned char>(HexaDigit(text[0]) << 4 | HexaDigit(text[1]));
}

template <typename T>
void BinaryToHexa(const unsigned char* bytes, unsigned int count, T* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (unsigned int i = 0; i < count; ++i) {
    *out++ = static_cast<T>(kDigits[bytes[i] >> 4]);
    *out++ = static_cast<T>(kDigits[bytes[i] & 15]);
  }
  *out = 0;
}

}  // namespace

// ---- Values ----

BOOL CNAConnectionDescription::bConvertValueToString(CNAError* error, CTStringConcatAW* out, const CAny* value,
                                                     eNA_ITEMTYPE itemType, eNA_ITEMTYPE itemType2) {
  out->Vide();
  if (value->bIsNull()) {
    out->Add(L"NULL", 4);
    return TRUE;
  }
  // Only a value to be cast is copied: one of the item's host type already is written as it is.
  CAny copy;
  const CAny* written = value;
  const unsigned short target = ConverteItemToZVType(itemType != NA_IT_EMPTY ? itemType : itemType2);
  if ((itemType != NA_IT_EMPTY || itemType2 != NA_IT_EMPTY) && !bHasTargetType(value->wGetType(), target)) {
    // A narrow text for a wide column is escaped from its wide text on the stack, the bytes and
    // size its cast would hand over (the terminator counted).
    if (target == ZV_DSTRW) {
      wchar_t wide[kNarrowTextMax + 1];
      const int n = nNarrowTextToWide(*value, wide, kNarrowTextMax);
      if (n > 0) {
        wide[n] = 0;
        return _bEscapeString(error, out, ZV_DSTRW, reinterpret_cast<unsigned char*>(wide),
                              static_cast<unsigned int>(n + 1) * static_cast<unsigned int>(sizeof(wchar_t)));
      }
    }
    // A wide text cast to a narrow one on a single-byte connection would put '?' where a
    // character has no byte: refused, as the escape of the wide text refuses it.
    if (bRefuseWideTextLost(error, *value, target)) return FALSE;
    // A decimal for a currency column is made into the copy directly (the cast's own result).
    if (target == ZV_CY && bDecimalToCurrency(*value, &copy)) {
      written = &copy;
    } else {
      copy = *value;
      if (bCastCAnyIntoDBType(error, &copy, itemType, itemType2, 1)) written = &copy;
    }
  }
  const unsigned short type = written->wGetType();
  CLiteralText digits;
  if (bIntegerLiteralText(*written, &digits) || bDecimalLiteralText(*written, &digits) ||
      bCurrencyLiteralText(*written, &digits)) {
    Put(out, digits);
    return TRUE;
  }
  // A number's text with a decimal point, whatever the host's separator.
  auto number = [&](const CAny* v) {
    CXYString<wchar_t> text;
    bCopyString(error, &text, v);
    std::wstring s(text.pszGet());
    for (wchar_t& c : s)
      if (c == L',') c = L'.';
    Put(out, s);
    return TRUE;
  };
  switch (type) {
    case ZV_VIDE: out->Add(L"NULL", 4); return TRUE;
    case ZV_BOOL: {
      int b = 0;
      written->nGetINT(&b);
      return _bBoolToString(error, out, b);
    }
    case ZV_R4:
    case ZV_R8: {
      double d = 0;
      const bool read = written->nGetREAL(&d) < 100;
      if (read && !std::isfinite(d)) {
        // "inf" or "nan" would reach the server as a column name.
        if (error != nullptr)
          error->SetAnyError(102, type, type, NA_SRC_CONNECTION, kKindOther, this, nullptr, nullptr);
        return FALSE;
      }
      if (type == ZV_R4 && read) {
        // The server reads the literal as a double: the float's own shortest text is another
        // double (above FLT_MAX at the limits); the double the float widens to is the float.
        CAny widened;
        widened.SetR8(d);
        return number(&widened);
      }
      return number(written);
    }
    case ZV_CY:
    case ZV_DECIMAL: return number(written);
    case ZV_DSTRW: case ZV_CARA: case ZV_PSTRA: case ZV_DSTRA: case ZV_BIN: case ZV_BUFFER: case ZV_MEMOIMG:
    case ZV_CARW: case ZV_PSTRW: {
      void* data = nullptr;
      unsigned int size = 0;
      if (written->Intern()->nGetDataAdr(&data) >= 100 || written->Intern()->nGetDataSize(&size) >= 100) {
        out->Add(L"NULL", 4);
        return TRUE;
      }
      // An empty binary holds no bytes at all, yet it is a value: only the NULL flag writes NULL.
      if (data == nullptr || (type == ZV_CARA && *static_cast<char*>(data) == 0) ||
          (type == ZV_CARW && *static_cast<wchar_t*>(data) == 0))
        size = 0;
      return _bEscapeString(error, out, type, static_cast<unsigned char*>(data), size);
    }
    case ZV_DATEW: case ZV_TIMEW: case ZV_DATETIME: case ZV_DATEA: case ZV_TIMEA:
      return _bDateToString(error, out, written, itemType);
    default: {
      CXYString<wchar_t> text;
      bCopyString(error, &text, written);
      Put(out, text.pszGet());
      return TRUE;
    }
  }
}

bool CNAConnectionDescription::bTextLostInPage(const wchar_t* text, int n) const {
  if (m_nServerCodePage == CTStringConcatAW::kWideContent || text == nullptr) return false;
  if (n < 0) n = static_cast<int>(wcslen(text));
  // UTF-8 has no bytes for a surrogate or a code point past U+10FFFF either: its converter
  // would put '?' there.
  if (m_nServerCodePage == 65001)
    return std::any_of(text, text + n, [](wchar_t c) {
      const auto u = static_cast<uint32_t>(c);
      return (u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF;
    });
  int lost = 0;
  if (n > 0)
    WideCharToMultiByte(static_cast<unsigned int>(m_nServerCodePage), 0, text, n, nullptr, 0, nullptr, &lost);
  return lost != 0;
}

bool CNAConnectionDescription::_bWideTextLostInPage(const CAny& value, unsigned short target) const {
  const unsigned short type = value.wGetType();
  if ((target != ZV_DSTRA && target != ZV_PSTRA && target != ZV_CARA) ||
      (type != ZV_DSTRW && type != ZV_PSTRW && type != ZV_CARW) || value.bIsNull())
    return false;
  void* data = nullptr;
  unsigned int size = 0;
  if (value.Intern()->nGetDataAdr(&data) >= 100 || value.Intern()->nGetDataSize(&size) >= 100 || data == nullptr)
    return false;
  const auto* wide = static_cast<const wchar_t*>(data);
  return bTextLostInPage(wide, static_cast<int>(nWideTextChars(wide, size, type)));
}

BOOL CNAConnectionDescription::bRefuseTextLost(CNAError* error, const wchar_t* text, int n) {
  if (!bTextLostInPage(text, n)) return FALSE;
  if (error != nullptr)
    error->SetAnyError(XYSTR_ERR_CONVERSION, ZV_PSTRW, ZV_PSTRA, NA_SRC_CONNECTION, kSiteSQLText, this, nullptr,
                       nullptr);
  return TRUE;
}

BOOL CNAConnectionDescription::bRefuseWideTextLost(CNAError* error, const CAny& value) {
  return bRefuseWideTextLost(error, value, ZV_DSTRA);
}

BOOL CNAConnectionDescription::bRefuseWideTextLost(CNAError* error, const CAny& value, unsigned short target) {
  if (!_bWideTextLostInPage(value, target)) return FALSE;
  if (error != nullptr)
    error->SetAnyError(XYSTR_ERR_CONVERSION, value.wGetType(), ZV_PSTRA, NA_SRC_CONNECTION, kSiteNarrowCast, this,
                       nullptr, nullptr);
  return TRUE;
}

int CNAConnectionDescription::nNarrowTextToString(CNAError* error, CTStringConcatAW* out, const char* text,
                                                   unsigned int n, eNA_ITEMTYPE itemType, eNA_ITEMTYPE itemType2) {
  // bConvertValueToString's steps for such a value: a cast to a wide text the driver makes, or
  // none, then the escape of its bytes and terminator.
  const unsigned short target = ConverteItemToZVType(itemType != NA_IT_EMPTY ? itemType : itemType2);
  auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(text));
  if ((itemType != NA_IT_EMPTY || itemType2 != NA_IT_EMPTY) && !bHasTargetType(ZV_DSTRA, target)) {
    if (target != ZV_DSTRW) return -1;
    wchar_t wide[kNarrowTextMax + 1];
    const int m = nNarrowTextToWide(bytes, n, wide, kNarrowTextMax);
    if (m <= 0) return -1;
    out->Vide();
    wide[m] = 0;
    return _bEscapeString(error, out, ZV_DSTRW, reinterpret_cast<unsigned char*>(wide),
                          static_cast<unsigned int>(m + 1) * static_cast<unsigned int>(sizeof(wchar_t)))
               ? 1
               : 0;
  }
  out->Vide();
  return _bEscapeString(error, out, ZV_DSTRA, bytes, n + 1) ? 1 : 0;
}

BOOL CNAConnectionDescription::bCastCAnyIntoDBType(CNAError* error, CAny* value, eNA_ITEMTYPE itemType,
                                                   eNA_ITEMTYPE itemType2, int strict) {
  const unsigned short target = ConverteItemToZVType(itemType != NA_IT_EMPTY ? itemType : itemType2);
  const unsigned short type = value->wGetType();
  if (bHasTargetType(type, target)) return TRUE;
  auto cast = [&](unsigned short to, int kind) {
    const int result = value->__nCastTo(to, nullptr, 0);
    if (result < 100) return TRUE;
    if (error != nullptr)
      error->SetAnyError(result, value->wGetType(), to, NA_SRC_CONNECTION, kind, this, nullptr, nullptr);
    return FALSE;
  };
  if (target == ZV_DATEA || target == ZV_TIMEA || target == ZV_DATETIME) {
    if (type == ZV_DATETIME) return TRUE;
    if (type == ZV_TIMEA || type == ZV_TIMEW) {
      if (target == ZV_DATEA) value->__SetType(ZV_DATEA, 0);
      return TRUE;
    }
    if (!cast(ZV_PSTRA, kKindDate)) return FALSE;
    if (itemType2 == NA_IT_HEURE) {
      const char* text = nullptr;
      value->__nCastToString(&text, nullptr);
      const size_t n = text != nullptr ? strlen(text) : 0;
      if (n <= 3) {
        std::wstring padded(text != nullptr ? text : "", text != nullptr ? text + n : nullptr);
        padded.resize(4, L'0');
        value->__nSetString(padded.c_str(), 4, nullptr);
      }
      return cast(ZV_TIMEA, kKindHeure);
    }
    return cast(target, kKindDate);
  }
  if (type == ZV_BIN || type == ZV_BUFFER || type == ZV_MEMOIMG) return TRUE;
  if (target == ZV_CY && bDecimalToCurrency(value)) return TRUE;
  if (target == ZV_DSTRW && bNarrowTextToWide(value)) return TRUE;
  if (!strict) {
    long long v = 0;
    const bool wide = type == ZV_I8 && value->nGetINT_64(&v) < 100 && (v < -2147483647LL || v > 2147483646LL);
    auto in = [&](std::initializer_list<unsigned short> targets) {
      for (unsigned short t : targets)
        if (t == target) return true;
      return false;
    };
    if ((type == ZV_I2 && in({ZV_I1, ZV_I2})) || (type == ZV_I4 && in({ZV_I1, ZV_I2, ZV_I4, ZV_R4})) ||
        (type == ZV_I8 && (in({ZV_I1, ZV_I2, ZV_I8, ZV_R4, ZV_R8}) || (target == ZV_I4 && wide))) ||
        (type == ZV_R4 && in({ZV_I1, ZV_I2, ZV_I4, ZV_I8, ZV_R4})) ||
        (type == ZV_R8 && in({ZV_I1, ZV_I2, ZV_I4, ZV_I8, ZV_R4, ZV_R8})))
      return TRUE;
  }
  return cast(target, kKindOther);
}

BOOL CNAConnectionDescription::bCopyString(CNAError*, CXYString<wchar_t>* out, const CAny* value) {
  *out = CXYString<wchar_t>();
  CAny copy(*value);
  if (copy.__nCastTo(ZV_DSTRW, nullptr, 0) >= 100 || copy.bIsNull()) return TRUE;
  copy.__nFillString(*out, nullptr);
  return TRUE;
}

int CNAConnectionDescription::_bEscapeString(CNAError*, CTStringConcatAW* out, unsigned short hostType,
                                             unsigned char* bytes, unsigned int size) {
  out->Vide();
  if (size == 0 || bytes == nullptr) {
    out->Add(L"''", 2);
    return TRUE;
  }
  if (hostType != ZV_DSTRW && hostType != 20 && hostType != ZV_CARW && hostType != ZV_PSTRW) {
    const char* s = reinterpret_cast<const char*>(bytes);
    const bool text = hostType == ZV_CARA || hostType == ZV_PSTRA || hostType == ZV_DSTRA;
    const std::string q = Quoted("'", s, text ? strnlen(s, size) : size);
    out->Add(q.data(), static_cast<int>(q.size()), static_cast<unsigned int>(m_nHostCodePage));
    return TRUE;
  }
  const wchar_t* w = reinterpret_cast<const wchar_t*>(bytes);
  size_t n = size / sizeof(wchar_t);
  while (n > 0 && w[n - 1] == 0) --n;
  const bool national = m_eDataSource == 1 || m_eDataSource == 2;
  const std::wstring q = Quoted(national ? L"N'" : L"'", w, n);
  const int cp = out->nGetCodePage();
  if (cp == CTStringConcatAW::kWideContent || cp == 65001 || !national) {
    out->Add(q.c_str(), static_cast<int>(q.size()));
    return TRUE;
  }
  CXYString<char> utf8;
  utf8.nAffecteToUTF8(q.c_str(), static_cast<int>(q.size()), 0);
  out->Add(utf8.pszGet(), utf8.nGetLength(), static_cast<unsigned int>(cp));
  return TRUE;
}

BOOL CNAConnectionDescription::_bBoolToString(CNAError*, CTStringConcatAW* out, int value) {
  out->Vide();
  out->Add(value != 0 ? L"1" : L"0", 1);
  return TRUE;
}

// ---- Dates and times ----

BOOL CNAConnectionDescription::_bDateToString(CNAError* error, CTStringConcatAW* out, const CAny* value,
                                              eNA_ITEMTYPE itemType) {
  // The escape forms answer like the others: a text that cannot be read is a failure there too.
  return _bDateToString(error, out, value, m_eDataSource == 7 || m_eDataSource == 8, itemType);
}

BOOL CNAConnectionDescription::_bDateToString(CNAError* error, CTStringConcatAW* out, const CAny* value, int escape,
                                              eNA_ITEMTYPE itemType) {
  out->Vide();
  CXTime t;
  // A date-time as its fields, written through dialect's form; zero: its date part is all zeros.
  auto dateTime = [&](bool zero) {
    CLiteralText s;
    _DateTimeLiteral(t, zero, escape, itemType, &s);
    Put(out, s);
    return TRUE;
  };
  // A date-time of the fixed text layout is read from its fields, as its text would be.
  CDateTimeBase fields;
  if (value->wGetType() == ZV_DATETIME && !value->bIsNull() && bFixedLayoutDateTime(*value, &fields)) {
    t.SetTime(fields);
    return dateTime(fields.m_wAnnee == 0 && fields.m_byMois == 0 && fields.m_byJour == 0);
  }
  CAny copy(*value);
  const wchar_t* text = nullptr;
  if (copy.__nCastTo(ZV_PSTRW, nullptr, 0) >= 100 || copy.bIsNull() || copy.__nCastToString(&text, nullptr) >= 100 ||
      text == nullptr || *text == 0) {
    out->Add(L"NULL", 4);
    return TRUE;
  }
  const bool zero = m_eDataSource == 5 && wcsncmp(text, L"00000000", 8) == 0;
  auto fail = [&](int site) {
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_CONNECTION, site, this, nullptr, nullptr, 43);
    return FALSE;
  };
  switch (value->wGetType()) {
    case ZV_DATETIME:
      t.bSetZVDateTimeMin(text, -1);
      return dateTime(zero);
    case ZV_DATEW:
    case ZV_DATEA:
      if (zero) return _bDateToString(error, out, L"'0000-00-00'", escape);
      if (!t.bSetZVDateTimeMin(text, -1)) return fail(kSiteDate);
      if (m_eDataSource == 11) {
        CLiteralText s;
        s.Text("MDY(");
        s.Padded(Month(t), 2);
        s.Char(',');
        s.Padded(t.m_tm.tm_mday, 2);
        s.Char(',');
        s.Padded(Year(t), 4);
        s.Char(')');
        Put(out, s);
        return TRUE;
      }
      return _bDateToString(error, out, t, escape);
    case ZV_TIMEW:
    case ZV_TIMEA:
      if (!t.bSetZVTimeMin(text, -1)) return fail(kSiteTime);
      if (m_eDataSource == 11) {
        CLiteralText s;
        s.Text("DATETIME(");
        s.Padded(t.m_tm.tm_hour, 2);
        s.Char(':');
        s.Padded(t.m_tm.tm_min, 2);
        s.Text(") HOUR TO MINUTE");
        Put(out, s);
        return TRUE;
      }
      return _bTimeToString(error, out, t, escape);
    default: return TRUE;
  }
}

BOOL CNAConnectionDescription::_bDateToString(CNAError*, CTStringConcatAW* out, const wchar_t* text, int escape) {
  Put(out, escape ? L"{d " + std::wstring(text) + L"}" : std::wstring(text));
  return TRUE;
}

BOOL CNAConnectionDescription::_bDateToString(CNAError*, CTStringConcatAW* out, CXTime& t, int escape) {
  CLiteralText s;
  s.Char('\'');
  DateFields(&s, t);
  s.Char('\'');
  PutEscaped(out, "{d ", s, escape);
  return TRUE;
}

BOOL CNAConnectionDescription::_bDateTimeToString(CNAError*, CTStringConcatAW* out, const wchar_t* text, int escape) {
  Put(out, escape ? L"{ts " + std::wstring(text) + L"}" : std::wstring(text));
  return TRUE;
}

BOOL CNAConnectionDescription::_bDateTimeToString(CNAError*, CTStringConcatAW* out, CXTime& t, int escape) {
  CLiteralText s;
  QuotedDateTime(&s, t, nullptr);
  PutEscaped(out, "{ts ", s, escape);
  return TRUE;
}

BOOL CNAConnectionDescription::_bTimeToString(CNAError*, CTStringConcatAW* out, CXTime& t, int escape) {
  CLiteralText s;
  _TimeLiteral(t, escape, &s);
  Put(out, s);
  return TRUE;
}

void CNAConnectionDescription::_TimeLiteral(const CXTime& t, int escape, CLiteralText* out) const {
  CLiteralText time;
  TimeFields(&time, t);
  const int digits = m_eDataSource >= 7 && m_eDataSource <= 11 ? nGetTimeMillisecondDigits() : 3;
  // "HH:MM:SS" is 8 characters; the fraction's point goes with its first digit.
  const int kept = digits >= 3 ? time.nGetLength() : digits == 0 ? 8 : 9 + digits;
  CLiteralText s;
  s.Char('\'');
  s.Prefix(time, kept);
  s.Char('\'');
  Escaped(out, "{t ", s, escape);
}

void CNAConnectionDescription::_DateTimeLiteral(CXTime& t, bool zero, int escape, eNA_ITEMTYPE itemType,
                                                CLiteralText* out) const {
  if (itemType == NA_IT_HEURE) return _TimeLiteral(t, escape, out);
  CLiteralText s;
  if (zero && m_eDataSource == 5) {
    QuotedDateTime(&s, t, "00000-00-00");
    return Escaped(out, "{ts ", s, escape);
  }
  if (m_eDataSource == 11) {
    out->Text("DATETIME(");
    DateFields(out, t);
    out->Char(' ');
    TimeFields(out, t);
    out->Text(") YEAR TO FRACTION");
    return;
  }
  if (m_eDataSource == 2 && Year(t) == 0) t.m_tm.tm_year = 0;
  if (!escape) return QuotedDateTime(out, t, nullptr);
  QuotedDateTime(&s, t, nullptr);
  Escaped(out, "{ts ", s, escape);
}

bool CNAConnectionDescription::bDateTimeFieldsLiteral(const unsigned char* element, unsigned int size,
                                                      eNA_ITEMTYPE itemType, eNA_ITEMTYPE itemType2,
                                                      CLiteralText* out) const {
  // bConvertValueToString's road for a DATETIME value of these bytes: no cast, then
  // _bDateToString's reading of a fixed layout.
  const bool typed = itemType != NA_IT_EMPTY || itemType2 != NA_IT_EMPTY;
  if (element == nullptr || size != sizeof(CDateTimeBase) ||
      (typed && ConverteItemToZVType(itemType != NA_IT_EMPTY ? itemType : itemType2) != ZV_DATETIME))
    return false;
  CDateTimeBase fields;
  memcpy(&fields, element, sizeof fields);
  if (!bFixedLayout(fields)) return false;
  CXTime t;
  t.SetTime(fields);
  _DateTimeLiteral(t, fields.m_wAnnee == 0 && fields.m_byMois == 0 && fields.m_byJour == 0,
                   m_eDataSource == 7 || m_eDataSource == 8, itemType, out);
  return true;
}

bool CNAConnectionDescription::s_bAppendIntegerLiteral(CTStringConcatAW* out, const CAny* value, eNA_ITEMTYPE itemType,
                                                       eNA_ITEMTYPE itemType2) {
  CLiteralText digits;
  if (!s_bIntegerLiteral(*out, value, itemType, itemType2, &digits)) return false;
  digits.AppendTo(out);
  return true;
}

bool CNAConnectionDescription::s_bIntegerLiteral(const CTStringConcatAW& out, const CAny* value, eNA_ITEMTYPE itemType,
                                                 eNA_ITEMTYPE itemType2, CLiteralText* digits) {
  if (out.bIsWide() || !bLiteralAsciiCodePage(out.nGetCodePage()) || value->bIsNull()) return false;
  if ((itemType != NA_IT_EMPTY || itemType2 != NA_IT_EMPTY) &&
      !bHasTargetType(value->wGetType(), ConverteItemToZVType(itemType != NA_IT_EMPTY ? itemType : itemType2)))
    return false;
  return bIntegerLiteralText(*value, digits);
}

// ---- Hexadecimal and digit texts ----

void CNAConnectionDescription::s_BinaryToStringHexa(const unsigned char* bytes, unsigned int count, wchar_t* out) {
  BinaryToHexa(bytes, count, out);
}
void CNAConnectionDescription::s_BinaryToStringHexa(const unsigned char* bytes, unsigned int count, char* out) {
  BinaryToHexa(bytes, count, out);
}

BOOL CNAConnectionDescription::s_bBinaryToStringHexa(CNAError* error, const unsigned char* bytes, unsigned int count,
                                                     CTStringConcatAW* out) {
  if (count == 0) return TRUE;
  std::unique_ptr<char[]> scratch(count <= 0x3FFFFFFEu ? new (std::nothrow) char[2 * size_t{count} + 1] : nullptr);
  if (!scratch) {
    CNAError::g_RaiseNoMemory(error, nullptr);
    return FALSE;
  }
  BinaryToHexa(bytes, count, scratch.get());
  out->Add(scratch.get(), static_cast<int>(2 * count));
  return TRUE;
}

void CNAConnectionDescription::s_StringHexaToBinary(const wchar_t* text, unsigned char* out, unsigned int size) {
  HexaToBinary(text, out, size);
}
void CNAConnectionDescription::s_StringHexaToBinary(const char* text, unsigned char* out, unsigned int size) {
  HexaToBinary(text, out, size);
}

void CNAConnectionDescription::s_DateStandardise(CTString* text) {
  std::wstring s;
  for (const wchar_t* p = text->pszGet(); *p != 0; ++p)
    if (wcschr(L":- /.", *p) == nullptr) s += *p;
  *text = s.c_str();
}

BOOL CNAConnectionDescription::s_bTimeToStringIncomplete(CNAError*, CTStringConcatAW* out, const wchar_t* digits,
                                                         wchar_t separator) {
  out->Vide();
  std::wstring s;
  for (int i = 0; i < 9 && digits != nullptr && digits[i] != 0; ++i) {
    if (i == 2 || i == 4) s += L':';
    if (i == 6) s += separator;
    s += digits[i];
  }
  out->Add(s.c_str(), static_cast<int>(s.size()));
  return TRUE;
}

// ---- Expressions ----

BOOL CNAConnectionDescription::bConvertExpressionToString(CNAError*, CTStringConcatAW* out, const wchar_t* x,
                                                          INAItemDescription* item, INAItemDescription* item2) {
  const eNA_ITEMTYPE type = item != nullptr ? item->eNAGetItemType() : NA_IT_EMPTY;
  const int size = item != nullptr ? static_cast<int>(item->nGetItemSize()) : 0;
  if (type == NA_IT_DATE8) return _bConvertToString_Date8(out, x);
  if (type == NA_IT_DATETIME) return _bConvertToString_DateTime(out, x, item2);
  if (type == NA_IT_HEURE && size == 5)
    return m_eDataSource == 2 ? _bConvertToString_Heure6(out, x, 4) : _bConvertToString_Heure4(out, x);
  if (type == NA_IT_HEURE && (size == 6 || size == 7)) return _bConvertToString_Heure6(out, x, size - 1);
  if (type == NA_IT_HEURE && size >= 8 && size <= 10) return _bConvertToString_Heure9(out, x, size - 1, item2);
  Put(out, x);
  return FALSE;
}

BOOL CNAConnectionDescription::_bConvertToString_Date8(CTStringConcatAW* out, const wchar_t* x) {
  Put(out, Expand(Cell(m_eDataSource, &STExpressionForms::pszDate), x, 0));
  return TRUE;
}

BOOL CNAConnectionDescription::_bConvertToString_Heure4(CTStringConcatAW* out, const wchar_t* x) {
  Put(out, Expand(Cell(m_eDataSource, &STExpressionForms::pszHHMM), x, 0));
  return TRUE;
}

BOOL CNAConnectionDescription::_bConvertToString_Heure6(CTStringConcatAW* out, const wchar_t* x, int n) {
  std::wstring s = Expand(Cell(m_eDataSource, &STExpressionForms::pszHHMMSS), x, n);
  if (n <= 5) s = Cut(m_eDataSource >= 2 && m_eDataSource <= 4 ? L"SUBSTRING(" : L"SUBSTR(", s, n);
  Put(out, s);
  return TRUE;
}

namespace {
// Which of the last row's variants a column takes.
int OtherVariant(const INAItemDescription* item2, int serverMajor) {
  const wchar_t* dbType = item2 != nullptr ? item2->pszGetDBType() : nullptr;
  if (dbType != nullptr && wcscmp(dbType, L"TIMESTAMP") == 0) return 0;
  if ((dbType == nullptr || *dbType == 0 || wcscmp(dbType, L"DATE") == 0) && serverMajor > 8) return 1;
  return 2;
}
}  // namespace

BOOL CNAConnectionDescription::_bConvertToString_Heure9(CTStringConcatAW* out, const wchar_t* x, int n,
                                                        INAItemDescription* item2) {
  const wchar_t* form = Cell(m_eDataSource, &STExpressionForms::pszHHMMSSmmm);
  std::wstring s = Expand(form != nullptr ? form : kOtherHHMMSSmmm[OtherVariant(item2, m_nServerVersionMajor)], x, n);
  if (m_eDataSource != 3 && (n <= 8 || m_eDataSource == 5))
    s = Cut(m_eDataSource == 4 || (m_eDataSource == 2 && n <= 8) ? L"SUBSTRING(" : L"SUBSTR(", s, n);
  Put(out, s);
  return TRUE;
}

BOOL CNAConnectionDescription::_bConvertToString_DateTime(CTStringConcatAW* out, const wchar_t* x,
                                                          INAItemDescription* item2) {
  const wchar_t* form = Cell(m_eDataSource, &STExpressionForms::pszDateTime);
  Put(out, Expand(form != nullptr ? form : kOtherDateTime[OtherVariant(item2, m_nServerVersionMajor)], x, 0));
  return TRUE;
}

// ---- Column defaults ----

BOOL CNAConnectionDescription::bConvertStringToDefaultValue(CAny* out, const wchar_t* text, CNAItemDescription* item,
                                                            CNAError* error) {
  const unsigned short hostType = ConverteItemToZVType(item);
  out->__SetType(hostType, 0);
  if (text == nullptr || (*text == 0 && m_eDataSource == 1) || wcscasecmp(text, L"NULL") == 0) {
    out->SetNull(true);
    return TRUE;
  }
  if (*text == 0) return TRUE;
  CNADriver* driver = CNADriver::s_pclDriver;
  CNAConvertVariant* converter =
      driver != nullptr ? driver->pclGetNewVariant_NV_Any(error, this, nullptr, hostType) : nullptr;
  if (converter == nullptr) return FALSE;
  converter->AddRef();
  converter->SetItemDesc(item, item);
  std::wstring s(text);
  if (s.size() >= 2 && s.front() == L'\'' && s.back() == L'\'') {
    s = s.substr(1, s.size() - 2);
    PurgeEscapeBackSlash(s.data());
    s.resize(wcslen(s.c_str()));
  }
  const BOOL ok =
      converter->bSetValueFromDB(s.c_str(), static_cast<unsigned int>(s.size())) && converter->bGetValue(out);
  converter->nRelease();
  return ok;
}

// Dialect features, column type texts and identifier quoting of CNAConnectionDescription.
#include <algorithm>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <new>

#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/naitemdescription.h"
#include "sql/natypeinfo.h"

namespace {

enum { kSiteUnicodeTypes = 11 };

struct STDialect {
  bool bSubQuery, bLimitOrTop, b0000DateNull;
  int nVarChar, nNVarChar, nMillisecondDigits;
};

// Dialects 1 to 13; anything else takes kOther.
constexpr STDialect kDialects[] = {
    {true, true, false, 4000, 2000, 3},  {true, true, true, 8000, 4000, 3},  {false, true, false, -1, -1, 3},
    {true, false, false, -1, -1, 3},     {false, true, false, 255, 255, 3},  {false, true, false, -1, -1, 3},
    {true, false, false, -1, -1, 0},     {false, false, false, -1, -1, 0},   {true, false, false, -1, -1, 3},
    {false, false, false, -1, -1, 3},    {false, false, false, -1, -1, 0},   {true, false, false, -1, -1, 3},
    {true, false, false, -1, -1, 3},
};
constexpr STDialect kOther = {false, false, false, -1, -1, 3};

const STDialect& Dialect(int n) { return n >= 1 && n <= 13 ? kDialects[n - 1] : kOther; }

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }
const wchar_t* SkipBlanks(const wchar_t* p) {
  while (IsBlank(*p)) ++p;
  return p;
}
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Decimal digits at *p (advanced past them), saturated; -1 when there is none.
int ReadNumber(const wchar_t** p) {
  if (!IsDigit(**p)) return -1;
  long long v = 0;
  for (; IsDigit(**p); ++*p) v = v < INT_MAX ? v * 10 + (**p - L'0') : v;
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

// "(" after optional blanks: the first number inside; -1 without parentheses or number.
int FirstNumberInParentheses(const wchar_t* p) {
  p = SkipBlanks(p);
  if (*p != L'(') return -1;
  p = SkipBlanks(p + 1);
  return ReadNumber(&p);
}

bool StartsWith(const wchar_t* s, const wchar_t* prefix) { return wcsncmp(s, prefix, wcslen(prefix)) == 0; }
bool StartsWithNoCase(const wchar_t* s, const wchar_t* prefix) {
  for (; *prefix != 0; ++s, ++prefix)
    if (towlower(*s) != towlower(*prefix)) return false;
  return true;
}

enum eRule {
  kFixed, kSized, kUnicodeSized, kSigned, kReal, kDecimal, kChar, kVarBinary, kBinary, kBits, kTime, kDateTime
};
struct STTypeName {
  const wchar_t* pszName;
  eRule eHow;
  eNA_ITEMTYPE eType;  // signed form, or the type of a fixed rule
  eNA_ITEMTYPE eUnsigned;
  unsigned int nSize;
};

// Matched in this order on the upper-cased declaration: the first prefix wins.
constexpr STTypeName kTypeNames[] = {
    // A year is a number, as the server's result columns give it.
    {L"YEAR", kFixed, NA_IT_I2, NA_IT_I2, 2},
    {L"VARCHAR", kSized, NA_IT_TEXTE, NA_IT_TEXTE, 0},
    {L"VARYING CHARACTER", kSized, NA_IT_TEXTE, NA_IT_TEXTE, 0},
    {L"CHARACTER", kSized, NA_IT_TEXTE, NA_IT_TEXTE, 0},
    {L"NCHAR", kUnicodeSized, NA_IT_UNICODE, NA_IT_UNICODE, 0},
    {L"NATIVE CHARACTER", kUnicodeSized, NA_IT_UNICODE, NA_IT_UNICODE, 0},
    {L"NVARCHAR", kUnicodeSized, NA_IT_UNICODE, NA_IT_UNICODE, 0},
    {L"TINYTEXT", kFixed, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE, 8},
    {L"TINYINT", kSigned, NA_IT_I1, NA_IT_UI1, 1},
    {L"TINYBLOB", kFixed, NA_IT_MEMOBINAIRE, NA_IT_MEMOBINAIRE, 8},
    {L"TIMESTAMP", kDateTime, NA_IT_DATETIME, NA_IT_DATETIME, 8},
    {L"TIME", kTime, NA_IT_HEURE, NA_IT_HEURE, 7},
    {L"TEXT", kFixed, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE, 8},
    {L"NTEXT", kFixed, NA_IT_MEMOUNICODE, NA_IT_MEMOUNICODE, 8},
    {L"CLOB", kFixed, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE, 8},
    {L"SMALLINT", kSigned, NA_IT_I2, NA_IT_UI2, 2},
    {L"INT2", kSigned, NA_IT_I2, NA_IT_UI2, 2},
    {L"SET", kFixed, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE, 8},
    {L"REAL", kReal, NA_IT_R4, NA_IT_R4, 4},
    {L"MEDIUMTEXT", kFixed, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE, 8},
    {L"INT8", kSigned, NA_IT_I8, NA_IT_UI8, 8},
    {L"MEDIUMINT", kSigned, NA_IT_I4, NA_IT_UI4, 4},
    {L"INTEGER", kSigned, NA_IT_I4, NA_IT_UI4, 4},
    {L"INT", kSigned, NA_IT_I4, NA_IT_UI4, 4},
    {L"MEDIUMBLOB", kFixed, NA_IT_MEMOBINAIRE, NA_IT_MEMOBINAIRE, 8},
    {L"LONGTEXT", kFixed, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE, 8},
    {L"LONGBLOB", kFixed, NA_IT_MEMOBINAIRE, NA_IT_MEMOBINAIRE, 8},
    {L"FLOAT", kFixed, NA_IT_R4, NA_IT_R4, 4},
    {L"ENUM", kFixed, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE, 8},
    {L"DOUBLE", kFixed, NA_IT_R8, NA_IT_R8, 8},
    {L"DECIMAL", kDecimal, NA_IT_EMPTY, NA_IT_EMPTY, 0},
    {L"DEC", kDecimal, NA_IT_EMPTY, NA_IT_EMPTY, 0},
    {L"NUMERIC", kDecimal, NA_IT_EMPTY, NA_IT_EMPTY, 0},
    {L"DATETIME", kDateTime, NA_IT_DATETIME, NA_IT_DATETIME, 8},
    {L"DATE", kFixed, NA_IT_DATE8, NA_IT_DATE8, 9},
    {L"CHAR", kChar, NA_IT_TEXTE, NA_IT_TEXTE, 0},
    {L"BOOL", kFixed, NA_IT_I1, NA_IT_I1, 1},
    {L"BLOB", kFixed, NA_IT_MEMOBINAIRE, NA_IT_MEMOBINAIRE, 8},
    {L"BIGINT", kSigned, NA_IT_I8, NA_IT_UI8, 8},
    {L"BIG INT", kSigned, NA_IT_I8, NA_IT_UI8, 8},
    // The server sends a BIT(n) as its (n + 7) / 8 bytes: an integer item would refuse them.
    {L"BIT", kBits, NA_IT_BINAIRE, NA_IT_BINAIRE, 0},
    {L"VARBINARY", kVarBinary, NA_IT_BINAIRE, NA_IT_BINAIRE, 0},
    // Bytes, pad bytes included: as text they would be decoded and cut at a NUL.
    {L"BINARY", kBinary, NA_IT_BINAIRE, NA_IT_BINAIRE, 0},
};

}  // namespace

// ---------------------------------------------------------------- features

BOOL CNAConnectionDescription::bSupportSubQuery() const { return Dialect(m_eDataSource).bSubQuery; }
BOOL CNAConnectionDescription::bSupportLimitOrTop() const { return Dialect(m_eDataSource).bLimitOrTop; }
BOOL CNAConnectionDescription::bTreat0000DateAsNULL() const { return Dialect(m_eDataSource).b0000DateNull; }
int CNAConnectionDescription::nGetVarCharMaxLen() const { return Dialect(m_eDataSource).nVarChar; }
int CNAConnectionDescription::nGetNVarCharMaxLen() const { return Dialect(m_eDataSource).nNVarChar; }
int CNAConnectionDescription::nGetTimeMillisecondDigits() const { return Dialect(m_eDataSource).nMillisecondDigits; }
const wchar_t* CNAConnectionDescription::pszGetVarCharType() const {
  return m_eDataSource == 1 ? L"VARCHAR2" : L"VARCHAR";
}
const wchar_t* CNAConnectionDescription::pszGetNVarCharType() const {
  return m_eDataSource == 1 ? L"NVARCHAR2" : L"NVARCHAR";
}
const wchar_t* CNAConnectionDescription::pszGetCLOBType() const {
  if (m_eDataSource != 5) return L"CLOB";
  return m_nServerVersionMajor <= 3 ? L"LONGBLOB" : L"LONGTEXT";
}
const wchar_t* CNAConnectionDescription::pszGetNCLOBType() const {
  if (m_eDataSource != 5) return L"NCLOB";
  return m_nServerVersionMajor <= 3 ? L"LONGBLOB" : L"LONGTEXT CHARACTER SET ucs2";
}
int CNAConnectionDescription::nGetOrderByMaxExpressionNbr() const { return m_eDataSource == 4 ? 31 : INT_MAX; }

BOOL CNAConnectionDescription::bFormatTextBytes(CTString* out, const wchar_t*) const {
  out->Vide();
  return FALSE;
}

BOOL CNAConnectionDescription::bFormatServerText(CTString* out, int, const char*, size_t) const {
  out->Vide();
  return FALSE;
}

BOOL CNAConnectionDescription::bFormatKeyBytesColumn(CTString* out, const wchar_t*, const wchar_t*) const {
  out->Vide();
  return FALSE;
}

BOOL CNAConnectionDescription::g_bDecomposeVersion(CNAError*, const CTString* text, int* major, int* minor,
                                                   int* patch) {
  int* const outs[3] = {major, minor, patch};
  const wchar_t* p = text != nullptr ? text->pszGet() : L"";
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      p = wcschr(p, L'.');
      if (p == nullptr) break;
      ++p;
    }
    const wchar_t* q = SkipBlanks(p);
    const bool negative = *q == L'-';
    if (negative || *q == L'+') ++q;
    const int v = ReadNumber(&q);
    if (v < 0) break;
    *outs[i] = negative ? -v : v;
  }
  return TRUE;
}

// ---------------------------------------------------------------- type texts

int CNAConnectionDescription::_nGetSizeInTypeDecl(const wchar_t* declaration, const wchar_t* keyword) {
  const size_t nKeyword = wcslen(keyword);
  if (wcslen(declaration) < nKeyword + 3) return 1;
  const wchar_t* p = SkipBlanks(declaration + nKeyword);
  if (*p != L'(') return 1;
  p = SkipBlanks(p + 1);
  const int n = ReadNumber(&p);
  if (n < 0) return 1;
  p = SkipBlanks(p);
  return *p == L')' ? n : 1;
}

BOOL CNAConnectionDescription::bSQLTypeNameToNAType(CNAError*, eNA_ITEMTYPE* type, unsigned int* size,
                                                    unsigned int* integerDigits, unsigned int* decimalDigits,
                                                    const wchar_t* declaration, const wchar_t* charset) {
  if (declaration == nullptr) declaration = L"";
  CTString upper(declaration);
  upper.Majuscule();
  const wchar_t* u = upper.pszGet();
  size_t skip = 0;
  bool bUnsigned = false;
  if (StartsWith(u, L"UNSIGNED") && IsBlank(u[8])) {
    skip = static_cast<size_t>(SkipBlanks(u + 8) - u);
    bUnsigned = true;
  }
  // Later occurrences need a blank before them; an empty text has none to search.
  for (const wchar_t* f = wcsstr(u, L"UNSIGNED"); !bUnsigned && f != nullptr; f = wcsstr(f + 1, L"UNSIGNED"))
    bUnsigned = f > u && IsBlank(f[-1]) && (f[8] == 0 || IsBlank(f[8]));
  const wchar_t* name = u + skip;
  const wchar_t* original = declaration + skip;

  const STTypeName* match = nullptr;
  for (const STTypeName& t : kTypeNames) {
    if (StartsWith(name, t.pszName)) {
      match = &t;
      break;
    }
  }
  eNA_ITEMTYPE result = NA_IT_MEMOTEXTE;
  unsigned int resultSize = 8;
  unsigned int intDigits = 0, decDigits = 0;
  if (match != nullptr) {
    const size_t nName = wcslen(match->pszName);
    const int n = _nGetSizeInTypeDecl(original, match->pszName);
    const int inParentheses = FirstNumberInParentheses(original + nName);
    result = bUnsigned ? match->eUnsigned : match->eType;
    resultSize = match->nSize;
    switch (match->eHow) {
      case kFixed:
      case kSigned: break;
      case kSized: resultSize = static_cast<unsigned int>(n) + 1; break;
      case kUnicodeSized: resultSize = 2u * static_cast<unsigned int>(n) + 2; break;
      case kReal:
        if (m_eDataSource == 13) result = NA_IT_R8, resultSize = 8;
        break;
      case kChar:
        if (wcslen(name) == 4) {
          result = NA_IT_CHAR;
          resultSize = 1;
        } else {
          resultSize = static_cast<unsigned int>(inParentheses < 0 ? 1 : inParentheses) + 1;
        }
        break;
      case kVarBinary: resultSize = static_cast<unsigned int>(inParentheses < 0 ? 0 : inParentheses) + 2; break;
      case kBinary: resultSize = static_cast<unsigned int>(n) + 2; break;
      case kBits: resultSize = (static_cast<unsigned int>(n) + 7) / 8 + 2; break;
      case kTime:
        // Every digit the column holds: HHMMSS, and milliseconds with fractional seconds.
        if (inParentheses > 0) {
          resultSize = 10;
          decDigits = static_cast<unsigned int>(inParentheses);
        }
        break;
      case kDateTime:
        // The fraction's digits, which a browse needs to know whether the item keeps them all.
        if (inParentheses > 0) decDigits = static_cast<unsigned int>(inParentheses);
        break;
      case kDecimal: {
        // (precision[, scale]); no scale is 0, no parentheses the SQL default (10,0).
        int precision = 10, scale = 0;
        const wchar_t* p = SkipBlanks(original + nName);
        if (*p == L'(') {
          p = SkipBlanks(p + 1);
          const int digits = ReadNumber(&p);
          if (digits >= 0) precision = digits;
          p = SkipBlanks(p);
          if (*p == L',') {
            p = SkipBlanks(p + 1);
            const int s = ReadNumber(&p);
            if (s >= 0) scale = s;
          }
        }
        if (scale > precision) scale = precision;
        intDigits = static_cast<unsigned int>(precision - scale);
        decDigits = static_cast<unsigned int>(scale);
        CNAItemDescription::s_GetTypeFromFormat(precision - scale, scale, &result, &resultSize);
        break;
      }
    }
  }
  if (charset != nullptr && *charset != 0 && (result == NA_IT_TEXTE || result == NA_IT_MEMOTEXTE) &&
      (StartsWithNoCase(charset, L"ucs2") || StartsWithNoCase(charset, L"utf8") || StartsWithNoCase(charset, L"utf16") ||
       StartsWithNoCase(charset, L"utf32"))) {
    if (result == NA_IT_TEXTE) {
      result = NA_IT_UNICODE;
      resultSize *= 2;
    } else {
      result = NA_IT_MEMOUNICODE;
    }
  }
  if (type != nullptr) *type = result;
  if (size != nullptr) *size = resultSize;
  if (integerDigits != nullptr) *integerDigits = intDigits;
  if (decimalDigits != nullptr) *decimalDigits = decDigits;
  return TRUE;
}

BOOL CNAConnectionDescription::bGetMatchingSQLType(CNAError* error, INAItemDescription* item, CTString* out) {
  const eNA_ITEMTYPE type = item->eNAGetItemType();
  if (bIsTextUnicode(type) && !m_bUnicodeTypes) {
    const wchar_t* source = pszGetDataBase();
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_CONNECTION, kSiteUnicodeTypes, this,
                               item->pszGetSourceName(), item->pszGetName(), 46, pszGetDefaultDataBaseEx(),
                               source != nullptr ? source : L"");
    return FALSE;
  }
  if (m_eDataSource == 5 && type == NA_IT_DECIMAL) {
    const int decimals = item->nGetDecimalPart() > 30 ? 30 : item->nGetDecimalPart();
    const long long total = static_cast<long long>(item->nGetIntegerPart()) + decimals;
    out->printf(L"NUMERIC(%d,%d)", static_cast<int>(total > 64 ? 64 : total), decimals);
    return TRUE;
  }
  if (m_eDataSource == 3 && type == NA_IT_TEXTE && item->nGetLogicalSize(0) > 255) {
    *out = L"TEXT";
    return TRUE;
  }
  if (m_pclMapConvertType == nullptr) {
    m_pclMapConvertType = new (std::nothrow) CNAMapConvertType();
    if (m_pclMapConvertType == nullptr) {
      CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_CONNECTION, kSiteUnicodeTypes, this, nullptr,
                                 nullptr, 12);
      return FALSE;
    }
    m_pclMapConvertType->_Init();
    _InitKJ2NativeType();
  }
  return m_pclMapConvertType->bFormat(item, out);
}

// ---------------------------------------------------------------- identifiers

BOOL CNAConnectionDescription::_bNeedFormatName(CNAError*, const wchar_t* name) const {
  if (m_nQuoteOpenLength == 0 && m_nQuoteCloseLength == 0) return FALSE;
  if (name == nullptr) return FALSE;
  if (m_eDataSource == 1 && !s_bNeedFormat_Oracle(name)) return FALSE;
  const size_t nOpen = static_cast<size_t>(m_nQuoteOpenLength), nClose = static_cast<size_t>(m_nQuoteCloseLength);
  const size_t n = wcslen(name);
  if (n < nOpen + nClose || wcsncmp(name, m_csQuoteOpen.pszGet(), nOpen) != 0 ||
      wcsncmp(name + n - nClose, m_csQuoteClose.pszGet(), nClose) != 0)
    return TRUE;
  if (nClose == 0) return FALSE;
  // Inside, every closing quote must come doubled.
  const wchar_t* close = m_csQuoteClose.pszGet();
  for (size_t i = nOpen; i < n - nClose;) {
    if (wcsncmp(name + i, close, nClose) != 0) {
      ++i;
      continue;
    }
    if (i + 2 * nClose > n - nClose || wcsncmp(name + i + nClose, close, nClose) != 0) return TRUE;
    i += 2 * nClose;
  }
  return FALSE;
}

BOOL CNAConnectionDescription::s_bNeedFormat_Oracle(const wchar_t* name) {
  if (name == nullptr || *name == L'[' || *name == L'"') return FALSE;
  if (*name == L'_' || wcspbrk(name, L" \u00B0-") != nullptr) return TRUE;
  return s_bReservedSQLWord(name);
}

BOOL CNAConnectionDescription::s_bReservedSQLWord(const wchar_t* name) {
  return name != nullptr && wcscasecmp(name, L"GROUP") == 0;
}

BOOL CNAConnectionDescription::bFormatItemName(CNAError* error, const wchar_t* name, CTString* out) const {
  if (!_bNeedFormatName(error, name)) {
    *out = name != nullptr ? name : L"";
    return TRUE;
  }
  // Every seek and block names its columns: the quoted name is measured, then written into one
  // buffer (name may lie in out's own text).
  const wchar_t *open = m_csQuoteOpen.pszGet(), *close = m_csQuoteClose.pszGet();
  const size_t nOpen = wcslen(open), nClose = static_cast<size_t>(m_nQuoteCloseLength);
  auto doubled = [&](const wchar_t* p) { return nClose > 0 && wcsncmp(p, close, nClose) == 0; };
  size_t length = nOpen + nClose;
  for (const wchar_t* p = name; *p != 0;) {
    if (doubled(p)) {
      length += 2 * nClose;
      p += nClose;
    } else {
      ++length;
      ++p;
    }
  }
  CTString quoted;
  if (!quoted._SetBufferSize(static_cast<int>(std::min<size_t>(length, INT_MAX)))) {
    // An empty name would go out as "SELECT  FROM ...".
    out->Vide();
    CNAError::g_RaiseNoMemory(error, const_cast<CNAConnectionDescription*>(this));
    return FALSE;
  }
  wchar_t* at = const_cast<wchar_t*>(quoted.pszGet());
  at = std::copy_n(open, nOpen, at);
  for (const wchar_t* p = name; *p != 0;) {
    if (doubled(p)) {
      at = std::copy_n(close, nClose, std::copy_n(close, nClose, at));
      p += nClose;
    } else {
      *at++ = *p++;
    }
  }
  at = std::copy_n(close, nClose, at);
  *at = 0;
  *out = std::move(quoted);
  return TRUE;
}

BOOL CNAConnectionDescription::bFormatTableName(CNAError* error, const wchar_t* name, CTString* out) const {
  if (!_bNeedFormatName(error, name)) {
    *out = name != nullptr ? name : L"";
    return TRUE;
  }
  const size_t nOpen = static_cast<size_t>(m_nQuoteOpenLength), nClose = static_cast<size_t>(m_nQuoteCloseLength);
  CTString result, piece;
  bool quoted = false;
  for (const wchar_t* p = name;; ) {
    // A "." inside a quoted piece belongs to the name.
    if (!quoted && piece.nTaille() == 0 && nOpen > 0 && wcsncmp(p, m_csQuoteOpen.pszGet(), nOpen) == 0) {
      quoted = true;
      piece.Add(p, static_cast<int>(nOpen));
      p += nOpen;
      continue;
    }
    if (quoted && nClose > 0 && wcsncmp(p, m_csQuoteClose.pszGet(), nClose) == 0) {
      piece.Add(p, static_cast<int>(nClose));
      p += nClose;
      if (wcsncmp(p, m_csQuoteClose.pszGet(), nClose) == 0) {
        piece.Add(p, static_cast<int>(nClose));
        p += nClose;
      } else {
        quoted = false;
      }
      continue;
    }
    if (*p == 0 || (*p == L'.' && !quoted)) {
      CTString formatted;
      if (!bFormatItemName(error, piece.pszGet(), &formatted)) {
        out->Vide();
        return FALSE;
      }
      result.Add(formatted.pszGet());
      if (*p == 0) break;
      result.Add(L'.');
      piece.Vide();
      quoted = false;
      ++p;
      continue;
    }
    piece.Add(*p++);
  }
  *out = result;
  return TRUE;
}

void CNAConnectionDescription::UnFormatItemName(const wchar_t* name, CTString* out) const {
  if (name == nullptr) {
    out->Vide();
    return;
  }
  const size_t nOpen = static_cast<size_t>(m_nQuoteOpenLength), nClose = static_cast<size_t>(m_nQuoteCloseLength);
  const size_t n = wcslen(name);
  if (n <= nOpen + nClose || nOpen == 0 || wcsncmp(name, m_csQuoteOpen.pszGet(), nOpen) != 0 ||
      (nClose > 0 && wcsncmp(name + n - nClose, m_csQuoteClose.pszGet(), nClose) != 0)) {
    if (out->pszGet() != name) *out = name;
    return;
  }
  CTString plain;
  for (size_t i = nOpen; i < n - nClose;) {
    if (nClose > 0 && wcsncmp(name + i, m_csQuoteClose.pszGet(), nClose) == 0 &&
        wcsncmp(name + i + nClose, m_csQuoteClose.pszGet(), nClose) == 0 && i + 2 * nClose <= n - nClose) {
      plain.Add(m_csQuoteClose.pszGet());
      i += 2 * nClose;
    } else {
      plain.Add(name[i++]);
    }
  }
  *out = plain;
}

void CNAConnectionDescription::DecomposeTableName(CTString* first, CTString* second, CTString* table,
                                                  const wchar_t* name) {
  first->Vide();
  second->Vide();
  table->Vide();
  if (name == nullptr) return;
  const wchar_t* dot1 = wcschr(name, L'.');
  if (dot1 == nullptr) {
    *table = name;
  } else {
    const wchar_t* dot2 = wcschr(dot1 + 1, L'.');
    if (dot2 == nullptr) {
      second->Set(name, static_cast<unsigned int>(dot1 - name));
      *table = dot1 + 1;
    } else {
      first->Set(name, static_cast<unsigned int>(dot1 - name));
      second->Set(dot1 + 1, static_cast<unsigned int>(dot2 - dot1 - 1));
      *table = dot2 + 1;
    }
  }
  first->Trim();
  second->Trim();
  table->Trim();
}

BOOL CNAConnectionDescription::bExtractOwner(const wchar_t* owner, const wchar_t* name, CTString* ownerOut,
                                             CTString* tableOut) {
  if (owner != nullptr && *owner != 0) *ownerOut = owner;
  if (name == nullptr) name = L"";
  if (ownerOut->nTaille() > 0) {
    *tableOut = name;
    return TRUE;
  }
  const wchar_t* dot = wcschr(name, L'.');
  if (dot == nullptr) {
    *tableOut = name;
  } else {
    ownerOut->Set(name, static_cast<unsigned int>(dot - name));
    *tableOut = dot + 1;
  }
  return TRUE;
}

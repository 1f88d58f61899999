// The MySQL answers of the dialect: literals, CREATE column types, row locks, type names and the
// item types of result columns.
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "common/tstringconcataw.h"
#include "common/utf.h"
#include "common/xystring.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "driver/naliteraltext.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqlguard.h"
#include "platform/codepage.h"
#include "platform/iinfolocale.h"
#include "platform/information_dll.h"
#include "sql/naitemdescription.h"
#include "sql/naitemtype.h"
#include "sql/naservertext.h"
#include "sql/natypeinfo.h"
#include "values/any.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

enum { kSiteEscapeNoHandle = 40, kSiteEscapeMemory, kSiteEscape, kSiteEscapeConversion, kSiteEscapeRefused };

constexpr unsigned int kBinaryCharset = 63;
constexpr int kJsonField = 245;
// A binary item's length is 16 bits and its size, length included, a text item's largest.
constexpr unsigned int kBinaryItemMax = 65533;

// The client's escaper leaves these bytes as they are in either SQL mode, whatever character set
// the connection reads them in: ASCII but NUL, LF, CR, backslash, both quotes and Ctrl-Z; and,
// with utf8, whole two- and three-byte characters other than surrogates, which every escaper of
// utf8, utf8mb4 and latin1 copies (no byte of them is ASCII).
constexpr char kEscapedBytes[] = {'\0', '\n', '\r', '\\', '\'', '"', '\x1A'};
constexpr struct STEscaped {
  bool a[128] = {};
  constexpr STEscaped() {
    for (char c : kEscapedBytes) a[static_cast<unsigned char>(c)] = true;
  }
} kEscaped;

bool bEscapesToItself(const unsigned char* p, size_t n, bool utf8) {
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      if (kEscaped.a[c]) return false;
      ++i;
      continue;
    }
    auto tail = [&](size_t k, unsigned char low, unsigned char high) {
      return i + k < n && p[i + k] >= low && p[i + k] <= high;
    };
    if (!utf8) return false;
    if (c >= 0xC2 && c <= 0xDF && tail(1, 0x80, 0xBF)) {
      i += 2;
    } else if (c >= 0xE0 && c <= 0xEF && tail(1, c == 0xE0 ? 0xA0 : 0x80, c == 0xED ? 0x9F : 0xBF) &&
               tail(2, 0x80, 0xBF)) {
      i += 3;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

bool CMySQLConnection::bAppendPlainNarrowText(CXYStringConcat<char>* out, const char* text, unsigned int n,
                                              eNA_ITEMTYPE itemType, eNA_ITEMTYPE itemType2) {
  // nNarrowTextToString's road: the text as it is for a narrow column (or none), its cast to wide
  // for a wide one; anything else is not a plain text.
  const bool typed = itemType != NA_IT_EMPTY || itemType2 != NA_IT_EMPTY;
  const unsigned short target = ConverteItemToZVType(itemType != NA_IT_EMPTY ? itemType : itemType2);
  const bool wide = typed && target != ZV_DSTRA;
  const auto server = static_cast<unsigned int>(nGetServerCodePage());
  if ((wide && target != ZV_DSTRW) || m_pMySQL == nullptr || text == nullptr || n == 0 || n > 256 ||
      !bAsciiIsOwnByte(server) || !bAsciiIsOwnByte(static_cast<unsigned int>(nGetHostCodePage())))
    return false;
  // The page a cast to wide reads the text in (nNarrowTextToWide's); a narrow text needs none.
  const int page = !wide                                      ? 0
                   : CInformationDLL::ms_piInfoLocale != nullptr ? CInformationDLL::ms_piInfoLocale->nGetCodePage()
                                                                 : 1252;
  if (wide && !bLiteralAsciiCodePage(page)) return false;
  const bool high = wide && server == CP_UTF8 && page >= 1250 && page <= 1258;
  if (high && page != m_nHighBytesPage) {
    // Each byte alone, through the very cast: a single-byte page widens byte by byte.
    for (int b = 0x80; b < 0x100; ++b) {
      const auto byte = static_cast<unsigned char>(b);
      wchar_t c = 0;
      unsigned char* utf8 = m_abyHighBytes[b - 0x80];
      utf8[3] = 0;
      if (nNarrowTextToWide(&byte, 1, &c, 1) == 1 && c > 0 && c <= 0xFFFF && (c < 0xD800 || c > 0xDFFF))
        utf8[3] = static_cast<unsigned char>(UTF32ToUTF8(c, reinterpret_cast<char*>(utf8)));
    }
    m_nHighBytesPage = page;
  }
  char quoted[2 + 3 * 256];
  unsigned int k = 0;
  quoted[k++] = '\'';
  unsigned int i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time while they are ASCII with nothing to escape: they go as they are.
  for (; i + 16 <= n; i += 16, k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    __m128i hit = _mm_setzero_si128();
    for (char e : kEscapedBytes) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(e)));
    if ((_mm_movemask_epi8(hit) | _mm_movemask_epi8(v)) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(quoted + k), v);
  }
#endif
  for (; i < n; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (kEscaped.a[c]) return false;
      quoted[k++] = static_cast<char>(c);
    } else {
      const unsigned char* utf8 = high ? m_abyHighBytes[c - 0x80] : nullptr;
      if (utf8 == nullptr || utf8[3] == 0) return false;
      for (unsigned int j = 0; j < utf8[3]; ++j) quoted[k++] = static_cast<char>(utf8[j]);
    }
  }
  quoted[k++] = '\'';
  out->Add(quoted, static_cast<int>(k));
  return true;
}

int CMySQLConnection::_bEscapeString(CNAError* error, CTStringConcatAW* out, unsigned short valueType,
                                     unsigned char* data, unsigned int size) {
  if (size == 0 || data == nullptr) {
    out->Vide();
    out->Add(L"''", 2);
    return 1;
  }
  if (!_bHasHandle(error, kSiteEscapeNoHandle)) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  size_t n = size;
  CXYString<char> converted;
  // A quote, then up to 256 characters of three bytes at most, then room for a quote.
  char narrowed[768 + 2];
  // narrowed holds the text's bytes and none of them is to be escaped.
  bool plain = false;
  // A conversion's result: anything but 0, or nothing made of something, refuses the literal
  // rather than writing '' in its place.
  int conversion = -1;
  size_t source = 0;
  // A text behind a pointer (and a character) ends at its NUL; a dynamic string carries its
  // length (and one terminator), so a NUL inside it is data and reaches the server.
  if (valueType == ZV_CARA || valueType == ZV_PSTRA || valueType == ZV_DSTRA) {
    n = valueType != ZV_DSTRA ? strnlen(bytes, size) : size - (bytes[size - 1] == 0 ? 1 : 0);
    if (nGetServerCodePage() == 65001) {
      // Widened by the module's own table, so the five bytes 1252 leaves undefined become
      // U+0081..., as the server's latin1 reads them.
      CXYString<wchar_t> wide;
      conversion = wide.__nConversion(bytes, static_cast<int>(n), 0, nGetHostCodePage(), 0, nullptr);
      if (conversion == 0)
        conversion = converted.__nConversion(wide.pGetData(), wide.nGetLength(), 0, 65001, 0, nullptr);
      source = n;
    }
  } else if (valueType == ZV_CARW || valueType == ZV_DSTRW || valueType == ZV_PSTRW) {
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(data);
    const size_t chars = nWideTextChars(wide, size, valueType);
    // ASCII is its own bytes in the server's UTF-8 or single-byte Windows page; under UTF-8 the
    // other characters below U+10000 but surrogates have their two or three bytes written here.
    size_t done = 0, length = 1;
    bool escaped = false;
    if (chars <= 256 && bAsciiIsOwnByte(static_cast<unsigned int>(nGetServerCodePage()))) {
      const bool utf8 = nGetServerCodePage() == 65001;
      for (; done < chars; ++done) {
        const auto c = static_cast<uint32_t>(wide[done]);
        if (c > 0 && c < 0x80) {
          narrowed[length++] = static_cast<char>(c);
          escaped = escaped || kEscaped.a[c];
        } else if (!utf8 || c == 0 || c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) {
          break;
        } else {
          // Its terminator lands where the next byte or the closing quote goes.
          length += static_cast<size_t>(UTF32ToUTF8(wide[done], narrowed + length));
        }
      }
    }
    if (chars > 0 && done == chars) {
      // The UTF-8 written here is whole characters of the BMP, which no escaper changes.
      bytes = narrowed + 1;
      n = length - 1;
      plain = !escaped;
    } else {
      // A single-byte page would put "?" where a character has no byte: the value is refused,
      // as UTF-8 refuses what it cannot carry.
      conversion = bTextLostInPage(wide, static_cast<int>(chars))
                       ? XYSTR_ERR_CONVERSION
                       : converted.__nConversion(wide, static_cast<int>(chars), 0, nGetServerCodePage(), 0, nullptr);
      source = chars;
    }
  }
  if (conversion >= 0) {
    if (conversion != 0 || (source > 0 && converted.nGetLength() == 0)) {
      if (error != nullptr)
        error->SetAnyError(conversion != 0 ? conversion : XYSTR_ERR_CONVERSION, valueType, ZV_PSTRA,
                           NA_SRC_MYSQL_CONNECTION, kSiteEscapeConversion, this, nullptr, nullptr);
      return 0;
    }
    bytes = converted.pszGet();
    n = static_cast<size_t>(converted.nGetLength());
  }
  // Nothing to escape: the quoted bytes are the client's literal, without the call.
  if (plain || (n <= static_cast<size_t>(INT_MAX) - 2 &&
                bEscapesToItself(reinterpret_cast<const unsigned char*>(bytes), n, nGetServerCodePage() == 65001))) {
    const auto cp = static_cast<unsigned int>(nGetServerCodePage());
    out->Vide();
    out->SetCodePages(nGetServerCodePage(), nGetHostCodePage());
    char quoted[sizeof narrowed];
    if (plain) {
      narrowed[0] = '\'';
      narrowed[n + 1] = '\'';
      out->Add(narrowed, static_cast<int>(n + 2), cp);
    } else if (n + 2 <= sizeof quoted) {
      quoted[0] = '\'';
      memcpy(quoted + 1, bytes, n);
      quoted[n + 1] = '\'';
      out->Add(quoted, static_cast<int>(n + 2), cp);
    } else {
      out->Add("'", 1, cp);
      out->Add(bytes, static_cast<int>(n), cp);
      out->Add("'", 1, cp);
    }
    return 1;
  }
  // The builder counts in int: a literal it cannot hold is refused like one that cannot be allocated.
  // A short literal (every one narrowed above among them) is escaped on the stack.
  char small[2 * sizeof narrowed + 3];
  std::unique_ptr<char[]> large(2 * n + 3 <= sizeof small || 2 * n + 3 > INT_MAX ? nullptr
                                                                                  : new (std::nothrow) char[2 * n + 3]);
  char* const buffer = 2 * n + 3 <= sizeof small ? small : large.get();
  if (buffer == nullptr) {
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_MYSQL_CONNECTION, kSiteEscapeMemory, this, nullptr,
                               nullptr, 12);
    return 0;
  }
  buffer[0] = '\'';
  unsigned long escaped = 0;
  // The connection's escaper knows the server's SQL mode: under NO_BACKSLASH_ESCAPES it doubles
  // quotes, where a backslash would leave the literal open. A client that knows the quote
  // refuses the quote-blind form in that mode, so the form told the quote comes first.
  if (!bMySQLGuard(error, this, NA_SRC_MYSQL_CONNECTION, kSiteEscape, [&] {
        escaped = QX_MYSQL_RESOLVED(mysql_real_escape_string_quote)
                      ? __mysql_real_escape_string_quote(m_pMySQL, buffer + 1, bytes, n, '\'')
                  : QX_MYSQL_RESOLVED(mysql_real_escape_string)
                      ? __mysql_real_escape_string(m_pMySQL, buffer + 1, bytes, n)
                      : __mysql_escape_string(buffer + 1, bytes, n);
      }))
    return 0;
  if (escaped == static_cast<unsigned long>(-1) || escaped > 2 * n) {
    // The client's own reason when it gives one; a refusal either way, never an empty literal.
    unsigned int code = 0;
    if (bGetLastError(nullptr, &code) && code != 0)
      bInitError(error, NA_SRC_MYSQL_CONNECTION, kSiteEscapeRefused);
    else if (error != nullptr)
      error->SetAnyError(XYSTR_ERR_CONVERSION, valueType, ZV_PSTRA, NA_SRC_MYSQL_CONNECTION, kSiteEscapeRefused, this,
                         nullptr, nullptr);
    return 0;
  }
  buffer[escaped + 1] = '\'';
  buffer[escaped + 2] = 0;
  // The literal is narrow text of the connection's code page, sent byte for byte: a wide
  // builder would lose the bytes no code page maps.
  out->Vide();
  out->SetCodePages(nGetServerCodePage(), nGetHostCodePage());
  out->Add(buffer, static_cast<int>(escaped + 2), static_cast<unsigned int>(nGetServerCodePage()));
  return 1;
}

BOOL CMySQLConnection::bSQLBloque(CNAError* error, const wchar_t* table) {
  CTString sql;
  sql.printf(L"SELECT * FROM %s FOR UPDATE", table != nullptr ? table : L"");
  return bExecuteQueryIgnoreResult(error, sql.pszGet());
}

void CMySQLConnection::_InitKJ2NativeType() {
  const BOOL b4_1 = bServerVersionGreaterThan4_1();
  const int major = m_nServerVersionMajor;
  struct STEntry {
    eNA_ITEMTYPE eType;
    const wchar_t* pszText;
    int bSized;
  };
  const STEntry entries[] = {
      {NA_IT_IDAUTO, L"BIGINT", 0},
      {NA_IT_I1, L"TINYINT", 0},
      {NA_IT_I8, L"BIGINT", 0},
      {NA_IT_UI1, L"TINYINT UNSIGNED", 0},
      {NA_IT_UI2, L"SMALLINT UNSIGNED", 0},
      {NA_IT_UI4, L"INTEGER UNSIGNED", 0},
      {NA_IT_UI8, L"BIGINT UNSIGNED", 0},
      {NA_IT_BOOLEEN, L"TINYINT", 0},
      {NA_IT_R4, L"FLOAT", 0},
      {NA_IT_R8, L"DOUBLE", 0},
      {NA_IT_REELTURBO, L"DOUBLE", 0},
      {NA_IT_UNICODE, b4_1 ? L"VARCHAR(%d) CHARACTER SET ucs2" : L"VARCHAR(%d)", 1},
      {NA_IT_MEMOTEXTE, major >= 4 ? L"LONGTEXT" : L"LONGBLOB", 0},
      {NA_IT_MEMOUNICODE, b4_1 ? L"LONGTEXT CHARACTER SET ucs2" : major == 4 ? L"LONGTEXT" : L"LONGBLOB", 0},
      {NA_IT_MEMOBINAIRE, L"LONGBLOB", 0},
      {NA_IT_MEMOBINAIRE4, L"LONGBLOB", 0},
      {NA_IT_BINAIRE, bServerVersionGreaterThan4_1_2() ? L"VARBINARY(%d)" : L"VARCHAR(%d) BINARY", 1},
      {NA_IT_DATETIME, L"DATETIME", 0},
      {NA_IT_TIMELENGHT, L"BIGINT", 0},
  };
  for (const STEntry& e : entries) m_pclMapConvertType->Add(e.eType, e.pszText, e.bSized);
}

// The column's text in the connection's character set (a CAST to CHAR converts to it), as bytes:
// a value the driver sends is in that set too, so the same text has the same bytes on both sides.
BOOL CMySQLConnection::bFormatTextBytes(CTString* out, const wchar_t* name) const {
  out->Vide();
  out->Add(L"CAST(CAST(");
  out->Add(name);
  out->Add(L" AS CHAR) AS BINARY)");
  return TRUE;
}

BOOL CMySQLConnection::bFormatServerText(CTString* out, int kind, const char* text, size_t length) const {
  out->Vide();
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  auto hex = [&] {
    out->Add(L'X');
    out->Add(L'\'');
    for (size_t i = 0; i < length; ++i) {
      const unsigned char b = static_cast<unsigned char>(text[i]);
      out->Add(kHex[b >> 4]);
      out->Add(kHex[b & 15]);
    }
    out->Add(L'\'');
  };
  switch (kind) {
    case NA_SERVERTEXT_TEXT:
    case NA_SERVERTEXT_TEXTUTF8: {
      // The bytes in the character set they were received in: the column's own collation compares
      // them, whatever the literal's.
      const bool mb4 = m_nServerVersionMajor > 5 || (m_nServerVersionMajor == 5 && m_nServerVersionMinor >= 5);
      out->Add(kind == NA_SERVERTEXT_TEXTUTF8 || nGetServerCodePage() == 65001 ? (mb4 ? L"_utf8mb4 " : L"_utf8 ")
                                                                            : L"_latin1 ");
      hex();
      return TRUE;
    }
    case NA_SERVERTEXT_BINARY:
      hex();
      return TRUE;
    case NA_SERVERTEXT_BIT:
      // The number the bytes make: a BIT column never compares as a binary string.
      if (length == 0) {
        out->Add(L'0');
        return TRUE;
      }
      out->Add(L"0x");
      for (size_t i = 0; i < length; ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        out->Add(kHex[b >> 4]);
        out->Add(kHex[b & 15]);
      }
      return TRUE;
    case NA_SERVERTEXT_TIME:
    case NA_SERVERTEXT_NUMBER: {
      // The server's own digits; a date or time quoted, a number as it is (a quoted one would be
      // compared as a double).
      for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        const bool allowed = (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == ':' || c == ' ' ||
                             c == 'e' || c == 'E';
        if (!allowed) return out->Vide(), FALSE;
      }
      if (length == 0) return FALSE;
      if (kind == NA_SERVERTEXT_TIME) out->Add(L'\'');
      for (size_t i = 0; i < length; ++i) out->Add(static_cast<wchar_t>(text[i]));
      if (kind == NA_SERVERTEXT_TIME) out->Add(L'\'');
      return TRUE;
    }
    default:
      return FALSE;
  }
}

BOOL CMySQLConnection::bFormatKeyBytesColumn(CTString* out, const wchar_t* name, const wchar_t* alias) const {
  out->Vide();
  // utf8mb4 holds every character of every column.
  if (!(m_nServerVersionMajor > 5 || (m_nServerVersionMajor == 5 && m_nServerVersionMinor >= 5))) return FALSE;
  out->Add(L"CAST(CONVERT(");
  out->Add(name);
  out->Add(L" USING utf8mb4) AS BINARY)");
  if (alias == nullptr) return TRUE;
  out->Add(L" AS `");
  out->Add(alias);
  out->Add(L"`");
  return TRUE;
}

BOOL CMySQLConnection::bDBTypeToString(CTString* out, int fieldType) const {
  static const wchar_t* const kLow[] = {
      L"MYSQL_TYPE_DECIMAL",  L"MYSQL_TYPE_TINY",     L"MYSQL_TYPE_SHORT",    L"MYSQL_TYPE_LONG",
      L"MYSQL_TYPE_FLOAT",    L"MYSQL_TYPE_DOUBLE",   L"MYSQL_TYPE_NULL",     L"MYSQL_TYPE_TIMESTAMP",
      L"MYSQL_TYPE_LONGLONG", L"MYSQL_TYPE_INT24",    L"MYSQL_TYPE_DATE",     L"MYSQL_TYPE_TIME",
      L"MYSQL_TYPE_DATETIME", L"MYSQL_TYPE_YEAR",     L"MYSQL_TYPE_NEWDATE",  L"MYSQL_TYPE_VARCHAR",
      L"MYSQL_TYPE_BIT"};
  static const wchar_t* const kHigh[] = {
      L"MYSQL_TYPE_NEWDECIMAL",  L"MYSQL_TYPE_ENUM",      L"MYSQL_TYPE_SET",
      L"MYSQL_TYPE_TINY_BLOB",   L"MYSQL_TYPE_MEDIUM_BLOB", L"MYSQL_TYPE_LONG_BLOB",
      L"MYSQL_TYPE_BLOB",        L"MYSQL_TYPE_VAR_STRING", L"MYSQL_TYPE_STRING"};
  if (fieldType >= 0 && fieldType <= 16) {
    *out = kLow[fieldType];
    return TRUE;
  }
  if (fieldType >= 246 && fieldType <= 254) {
    *out = kHigh[fieldType - 246];
    return TRUE;
  }
  *out = kHigh[0];
  return FALSE;
}

BOOL CMySQLConnection::bCharsetUnicode(unsigned int charset) {
  // Ranges of single-byte and multi-byte non-Unicode character sets; everything else is Unicode.
  static const unsigned int kNotUnicode[][2] = {{0, 11},  {13, 16}, {18, 32}, {34, 34}, {36, 44}, {47, 53},
                                                {57, 59}, {63, 75}, {77, 82}, {84, 89}, {92, 98}};
  for (const auto& r : kNotUnicode)
    if (charset >= r[0] && charset <= r[1]) return FALSE;
  return TRUE;
}

uint32_t CMySQLConnection::s_dwColumnFacts(int fieldType, unsigned int fieldFlags, const wchar_t* charset) {
  constexpr unsigned int kEnumFlag = 256, kSetFlag = 2048;
  if (fieldType == 16) return NA_ITEM_BIT;
  const bool enumSet = fieldType == 247 || fieldType == 248 || (fieldFlags & (kEnumFlag | kSetFlag)) != 0;
  const bool text = enumSet || fieldType == 15 || fieldType == kJsonField || (fieldType >= 249 && fieldType <= 254);
  if (!text) return 0;
  uint32_t facts = enumSet ? static_cast<uint32_t>(NA_ITEM_ENUMSET) : 0u;
  auto named = [&](const wchar_t* name) { return charset != nullptr && wcscasecmp(charset, name) == 0; };
  // A JSON column is reported in the binary character set, yet holds text.
  if (named(L"binary") && fieldType != kJsonField) return facts | NA_ITEM_BINARY;
  if (!named(L"latin1") && !named(L"ascii")) facts |= NA_ITEM_WIDETEXT;
  if (named(L"ucs2") || named(L"utf8") || named(L"utf8mb3")) facts |= NA_ITEM_BMPONLY;
  return facts;
}

void CMySQLConnection::ConvertItemType(eNA_ITEMTYPE* type, unsigned int* size, int fieldType, unsigned int length,
                                       int integerDigits, int decimals, unsigned int charset, BOOL bUnsigned) {
  auto set = [&](eNA_ITEMTYPE t, unsigned int s) {
    *type = t;
    *size = s;
  };
  switch (fieldType) {
    case 0:
    case 246: CNAItemDescription::s_GetTypeFromFormat(integerDigits, decimals, type, size); return;
    // An unsigned column's upper half does not fit the signed item of its size.
    case 1: set(bUnsigned ? NA_IT_UI1 : NA_IT_I1, 1); return;
    case 2: set(bUnsigned ? NA_IT_UI2 : NA_IT_I2, 2); return;
    case 3:
    case 9: set(bUnsigned ? NA_IT_UI4 : NA_IT_I4, 4); return;
    case 4: set(NA_IT_R4, 4); return;
    case 5: set(NA_IT_R8, 8); return;
    case 6: set(NA_IT_EMPTY, 0); return;
    case 7: set(NA_IT_DATETIME, 8); return;
    case 8: set(bUnsigned ? NA_IT_UI8 : NA_IT_I8, 8); return;
    case 10: set(NA_IT_DATE8, 9); return;
    // A time as the table's own column of that type is described: a time of day, with its
    // milliseconds when it keeps fractional seconds. As a date-time, a seek by a time's text
    // would read a date.
    case 11: set(NA_IT_HEURE, decimals > 0 ? 10 : 7); return;
    case 12:
    case 14: set(NA_IT_DATETIME, 8); return;
    // A year is a number: as a date-time its four digits would read as a time of day, and a
    // date written back into the column is refused.
    case 13: set(NA_IT_I2, 2); return;
    case 16: set(NA_IT_BINAIRE, length >= 1 && length < 0xFFFFFFFDu ? length + 2 : 3); return;
    case 247:
    case 248: set(NA_IT_I4, 4); return;
    case 249:
    case 250:
    case 251:
    case 252:
      set(charset == kBinaryCharset ? NA_IT_MEMOBINAIRE
          : charset != 0 && bCharsetUnicode(charset) ? NA_IT_MEMOUNICODE
                                                     : NA_IT_MEMOTEXTE,
          8);
      return;
    default: break;
  }
  // Bytes of the binary character set are no text of any code page: a text item would convert them.
  // A JSON column is reported in the binary character set too, yet holds text.
  if (charset == kBinaryCharset && fieldType != kJsonField) {
    if (length >= 1 && length <= kBinaryItemMax)
      set(NA_IT_BINAIRE, length + 2);
    else
      set(NA_IT_MEMOBINAIRE, 8);
    return;
  }
  // LONGTEXT and JSON report 4294967295: unsigned, it is a memo.
  const BOOL unicode = bCharsetUnicode(charset);
  if (length >= 1 && length <= 65534) {
    if (!unicode)
      set(NA_IT_TEXTE, length + 1);
    else if ((length + 1) * 2 <= 65534)
      set(NA_IT_UNICODE, (length + 1) * 2);
    else
      set(NA_IT_MEMOUNICODE, 8);
    return;
  }
  set(unicode ? NA_IT_MEMOUNICODE : NA_IT_MEMOTEXTE, 8);
}

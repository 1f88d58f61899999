#include "sql/naservertext.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "common/ctstring.h"
#include "driver/naconnectiondescription.h"
#include "access/narecord.h"
#include "platform/codepage.h"
#include "platform/cp1252.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/nacolumnsql.h"
#include "sql/naitemdescription.h"
#include "sql/nakjrecord.h"
#include "values/any.h"

namespace {

constexpr unsigned int kUnbounded = 0xFFFFFFFFu;

bool IsTextItem(eNA_ITEMTYPE t) {
  return t == NA_IT_TEXTE || t == NA_IT_CHAR || t == NA_IT_UNICODE || t == NA_IT_MEMOTEXTE || t == NA_IT_MEMOUNICODE;
}
bool IsBinaryItem(eNA_ITEMTYPE t) {
  return t == NA_IT_BINAIRE || t == NA_IT_MEMOBINAIRE || t == NA_IT_MEMOBINAIRE4 || t == NA_IT_IMAGE;
}
bool IsTimeItem(eNA_ITEMTYPE t) {
  return t == NA_IT_DATE6 || t == NA_IT_DATE8 || t == NA_IT_DATETIME || t == NA_IT_HEURE;
}

bool Ascii(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  return true;
}

std::wstring Wide(int page, const char* text, size_t length) {
  if (length == 0) return {};
  const int n = MultiByteToWideChar(static_cast<unsigned int>(page), 0, text, static_cast<int>(length), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(static_cast<unsigned int>(page), 0, text, static_cast<int>(length), out.data(), n);
  return out;
}

// text in page; false when a character has no place there. Wide characters outside Unicode's
// scalar values count as such.
bool Narrow(int page, const std::wstring& text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  int replaced = 0;
  const int n = WideCharToMultiByte(static_cast<unsigned int>(page), 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, &replaced);
  if (n <= 0 || replaced) return false;
  out->resize(static_cast<size_t>(n));
  WideCharToMultiByte(static_cast<unsigned int>(page), 0, text.data(), static_cast<int>(text.size()), out->data(), n,
                      nullptr, &replaced);
  return replaced == 0;
}

// The wide text as UTF-16 units.
std::u16string Utf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    const uint32_t u = static_cast<uint32_t>(c);
    if (u >= 0x10000 && u <= 0x10FFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((u - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(u));
    }
  }
  return out;
}

// A fixed text slot's bytes up to its terminator (or its whole size).
std::string SlotBytes(const BYTE* slot, unsigned int size) {
  const void* end = memchr(slot, 0, size);
  return std::string(reinterpret_cast<const char*>(slot),
                     end != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(end) - slot) : size);
}

// The fraction digits of a server text past the first kept: any of them not 0.
bool DropsDigits(const char* text, size_t length, int kept) {
  const char* point = static_cast<const char*>(memchr(text, '.', length));
  if (point == nullptr) return false;
  const char* end = text + length;
  const char* p = point + 1;
  for (int k = 0; k < kept && p < end && *p >= '0' && *p <= '9'; ++k) ++p;
  for (; p < end && *p >= '0' && *p <= '9'; ++p)
    if (*p != '0') return true;
  return false;
}

// The next character of UTF-8 text at *p (advanced past it); -1 for a sequence that is none.
int32_t NextUtf8(const unsigned char** p, const unsigned char* end) {
  const unsigned char* s = *p;
  const unsigned int lead = *s;
  int need = lead < 0x80 ? 0 : lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2 : lead >= 0xF0 && lead <= 0xF4 ? 3 : -1;
  if (need < 0 || end - s <= need) return *p = end, -1;
  uint32_t c = need == 0 ? lead : lead & (0x3F >> need);
  for (int k = 1; k <= need; ++k) {
    if ((s[k] & 0xC0) != 0x80) return *p = end, -1;
    c = (c << 6) | (s[k] & 0x3F);
  }
  *p = s + need + 1;
  return static_cast<int32_t>(c);
}

// Whether a UTF-16 slot of units (up to its first 0) holds UTF-8 text character for character,
// in one pass over the text; -1 for bytes that are no shortest UTF-8 of a scalar value, which
// the long road judges.
int Utf8HeldAsUtf16(const char* text, size_t length, const BYTE* slot, unsigned int units) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = p + length;
  const auto unit = [&](unsigned int i) {
    char16_t u;
    memcpy(&u, slot + 2 * static_cast<size_t>(i), 2);
    return static_cast<uint32_t>(u);
  };
  unsigned int at = 0;
  while (p < end) {
    uint32_t c = *p;
    if (c < 0x80) {
      if (c == 0) return 0;
      ++p;
    } else {
      const unsigned char* from = p;
      const int32_t d = NextUtf8(&p, end);
      if (d < 0) return -1;
      c = static_cast<uint32_t>(d);
      const ptrdiff_t bytes = p - from;
      if ((bytes == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (bytes == 4 && (c < 0x10000 || c > 0x10FFFF)))
        return -1;
    }
    if (c >= 0x10000) {
      if (at + 2 > units || unit(at) != 0xD800 + ((c - 0x10000) >> 10) || unit(at + 1) != 0xDC00 + ((c - 0x10000) & 0x3FF))
        return 0;
      at += 2;
    } else {
      if (at >= units || unit(at) != c) return 0;
      ++at;
    }
  }
  return at == units || unit(at) == 0 ? 1 : 0;
}

// Whether UTF-8 text is, character by character, the 1252 bytes held (held null: whether 1252
// has a byte for each character).
bool Utf8As1252(const char* text, size_t length, const BYTE* held, size_t heldLength) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  size_t at = 0;
  while (p < end) {
    // ASCII eight bytes at a time: each its own byte.
    if (end - p >= 8) {
      uint64_t w;
      memcpy(&w, p, 8);
      if ((w & 0x8080808080808080ULL) == 0) {
        if (held != nullptr && (at + 8 > heldLength || memcmp(held + at, p, 8) != 0)) return false;
        p += 8, at += 8;
        continue;
      }
    }
    int b;
    if (*p < 0x80) {
      b = *p++;
    } else if (end - p >= 2 && (p[0] == 0xC3 || (p[0] == 0xC2 && p[1] >= 0xA0)) && (p[1] & 0xC0) == 0x80) {
      // A Latin-1 letter or sign: its own 1252 byte.
      b = p[0] == 0xC3 ? p[1] + 0x40 : p[1];
      p += 2;
    } else {
      const int32_t c = NextUtf8(&p, end);
      b = c < 0 ? -1 : CP1252ByteOf(static_cast<uint32_t>(c));
    }
    if (b < 0) return false;
    if (held != nullptr && (at >= heldLength || held[at] != b)) return false;
    ++at;
  }
  return held == nullptr || at == heldLength;
}

// A 1252 text holding none of the five bytes the page leaves undefined.
bool Defined1252(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b >= 0x80 && b <= 0x9F && kCP1252High[b - 0x80] == 0) return false;
  }
  return true;
}

// The element of the check's slot in values, or null when it lies outside them.
const BYTE* Element(const STServerTextCheck& check, const BYTE* values, size_t valuesSize) {
  if (values == nullptr || check.nOffset < 0 || static_cast<uint64_t>(check.nOffset) + check.nSlotSize > valuesSize)
    return nullptr;
  return values + check.nOffset;
}

int TextHeld(const STServerTextCheck& check, const BYTE* values, size_t valuesSize, const char* text, size_t length) {
  // The server replaced a character the connection's page cannot carry: its text names the row no
  // better than the record.
  if (check.bMayLose && memchr(text, '?', length) != nullptr) return -1;
  const bool utf8To1252 = check.nServerPage == CP_UTF8 && check.nHostPage == 1252;
  if (check.eItem == NA_IT_MEMOTEXTE || check.eItem == NA_IT_MEMOUNICODE) {
    // A memo keeps every character of the text, but for those its page has no place for.
    if (check.eItem == NA_IT_MEMOUNICODE || Ascii(text, length)) return 1;
    if (check.nHostPage == check.nServerPage) return check.nServerPage != 1252 || Defined1252(text, length) ? 1 : 0;
    if (utf8To1252) return Utf8As1252(text, length, nullptr, 0) ? 1 : 0;
    std::string narrow;
    return Narrow(check.nHostPage, Wide(check.nServerPage, text, length), &narrow) ? 1 : 0;
  }
  const BYTE* element = Element(check, values, valuesSize);
  if (element == nullptr) return 1;
  const unsigned int size = check.nSlotSize;
  if (check.eItem != NA_IT_UNICODE && length < size && element[length] == 0) {
    // Every row of a table with a text key comes here: the slot holding the text's very bytes,
    // none of them 0, is the usual answer (one pass over the key).
    size_t i = 0;
    if (length >= 16) {
      // A long text: the library's wide compares.
      i = memcmp(element, text, length) == 0 && memchr(text, 0, length) == nullptr ? length : 0;
    } else {
      while (i < length && element[i] == static_cast<BYTE>(text[i]) && element[i] != 0) ++i;
    }
    // Equal bytes from UTF-8 into 1252 are ASCII; a 1252 text is written back through its
    // characters, so a byte the page leaves undefined would not come back.
    if (i == length) return check.nServerPage != 1252 || Defined1252(text, length) ? 1 : 0;
  }
  if (check.eItem == NA_IT_UNICODE && check.nServerPage == CP_UTF8) {
    // Every row of a table keyed by a wide text comes here.
    const int held = Utf8HeldAsUtf16(text, length, element, size / 2);
    if (held >= 0) return held;
  }
  if (memchr(text, 0, length) != nullptr) return 0;
  if (check.eItem == NA_IT_UNICODE) {
    const unsigned int units = size / 2;
    std::u16string held;
    for (unsigned int i = 0; i < units; ++i) {
      char16_t u;
      memcpy(&u, element + 2 * i, 2);
      if (u == 0) break;
      held.push_back(u);
    }
    return Utf16(Wide(check.nServerPage, text, length)) == held ? 1 : 0;
  }
  if (Ascii(text, length)) return 0;
  const void* stop = memchr(element, 0, size);
  const size_t heldLength = stop != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(stop) - element) : size;
  if (utf8To1252) return Utf8As1252(text, length, element, heldLength) ? 1 : 0;
  if (check.nHostPage == check.nServerPage) return 0;
  std::string narrow;
  if (!Narrow(check.nHostPage, Wide(check.nServerPage, text, length), &narrow)) return 0;
  return narrow.size() == heldLength && memcmp(narrow.data(), element, heldLength) == 0 ? 1 : 0;
}

int BinaryHeld(const STServerTextCheck& check, size_t length) {
  // A memo keeps every byte; a binary item keeps its bytes' count and as many as it has room for.
  return length <= check.nRoom ? 1 : 0;
}

// A real item of type host may round a value of a column of type db: a double or a number of
// more digits than its mantissa, or a decimal.
bool RealRounds(eNA_ITEMTYPE host, eNA_ITEMTYPE db) {
  const bool wide = db == NA_IT_I8 || db == NA_IT_UI8 || db == NA_IT_DECIMAL || db == NA_IT_MONETAIRE;
  if (host == NA_IT_R8) return wide;
  return host == NA_IT_R4 && (wide || db == NA_IT_R8 || db == NA_IT_I4 || db == NA_IT_UI4);
}

int TimeHeld(const STServerTextCheck& check, const char* text, size_t length) {
  if (g_bServerZeroDate(text, length)) return 0;
  // A column of no more digits than the item keeps, into an item that keeps its time of day.
  if (check.bDigitsKept) return 1;
  if (DropsDigits(text, length, check.nKeptDigits < 0 ? 3 : check.nKeptDigits)) return 0;
  if (check.bDateOnly) {
    // "YYYY-MM-DD hh:mm:ss": a time of day other than midnight is none of a date item's.
    const char* blank = static_cast<const char*>(memchr(text, ' ', length));
    for (const char* p = blank; p != nullptr && p < text + length; ++p)
      if (*p >= '1' && *p <= '9') return 0;
  }
  if (check.eItem == NA_IT_HEURE) {
    // A time item holds a time of day: the server's times run from -838 to 838 hours.
    if (length > 0 && text[0] == '-') return 0;
    const char* colon = static_cast<const char*>(memchr(text, ':', length));
    if (colon != nullptr && colon - text > 2) return 0;
    if (colon != nullptr && colon - text == 2 && (text[0] > '2' || (text[0] == '2' && text[1] > '3'))) return 0;
  }
  return 1;
}

}  // namespace

STServerTextCheck g_stServerTextCheck(CNAColumn* column, const CNAColumnSQL* sqlColumn,
                                      const CNAConnectionDescription* cnx) {
  STServerTextCheck check;
  if (column == nullptr || cnx == nullptr || column->bIsComposedKey()) return check;
  INAItemDescription* item = column->piGetItemNoRef();
  if (item == nullptr) return check;
  check.pclColumn = column;
  check.nPhysical = column->nGetPhysicalIndice();
  check.eItem = column->eNAGetItemType();
  check.nServerPage = cnx->nGetServerCodePage() > 0 ? cnx->nGetServerCodePage() : 1252;
  check.nHostPage = cnx->nGetHostCodePage() > 0 ? cnx->nGetHostCodePage() : 1252;
  const CNAItemDescription* imported = column->piGetImportedItemDescNoRef();
  const eNA_ITEMTYPE db = sqlColumn != nullptr ? sqlColumn->m_eItemType
                          : imported != nullptr ? imported->eNAGetItemType()
                                                : NA_IT_EMPTY;
  const int dbDigits = sqlColumn != nullptr ? sqlColumn->m_nDecimals : imported != nullptr ? imported->nGetDecimalPart() : -1;
  const unsigned int size = item->nGetItemSize();
  if (IsTextItem(check.eItem)) {
    check.eKind = IsBinaryItem(db) ? NA_SERVERTEXT_BINARY : NA_SERVERTEXT_TEXT;
    check.nRoom = check.eItem == NA_IT_UNICODE ? size / 2 : check.eItem == NA_IT_MEMOTEXTE || check.eItem == NA_IT_MEMOUNICODE ? kUnbounded : size;
    // A '?' of a page connection is its own unless the column's character set holds more than
    // the page (a column not described: any text column may).
    check.bMayLose = check.nServerPage != CP_UTF8 && !IsBinaryItem(db) && (imported == nullptr || imported->bWideText());
    if (check.eItem == NA_IT_TEXTE || check.eItem == NA_IT_CHAR || check.eItem == NA_IT_UNICODE) {
      const STItemSlot& slot = column->Slot();
      check.bSlotBytes = !slot.bMemo && check.eKind == NA_SERVERTEXT_TEXT && check.eItem != NA_IT_UNICODE;
      check.nOffset = slot.bMemo ? -1 : slot.nOffset;
      check.nSlotSize = slot.nSize;
    }
    return check;
  }
  if (check.eItem == NA_IT_BINAIRE && imported != nullptr && imported->bBit()) {
    // Its bytes, most significant first, after their 16-bit count: a value that fits is held.
    check.eKind = NA_SERVERTEXT_BIT;
    check.nRoom = size >= 2 ? size - 2 : 0;
    return check;
  }
  if (IsBinaryItem(check.eItem) && !IsTimeItem(db) && !g_bIsNumberItemType(db)) {
    check.eKind = NA_SERVERTEXT_BINARY;
    // A binary item holds its bytes' count before them.
    check.nRoom = check.eItem == NA_IT_BINAIRE ? (size > 2 ? size - 2 : 0) : kUnbounded;
    return check;
  }
  if (IsTimeItem(check.eItem) && IsTimeItem(db)) {
    check.bDateOnly = (check.eItem == NA_IT_DATE8 || check.eItem == NA_IT_DATE6) && db != NA_IT_DATE8 && db != NA_IT_DATE6;
    check.nKeptDigits = 3;
    check.bDigitsKept = !check.bDateOnly && dbDigits >= 0 && dbDigits <= 3 && check.eItem != NA_IT_HEURE;
    check.bNamedByText = check.bDateOnly || dbDigits > 3;
    check.eKind = NA_SERVERTEXT_TIME;
    return check;
  }
  if (RealRounds(check.eItem, db)) {
    // A real item holds such a column's value rounded, alike for values near each other: the
    // server's digits name every row.
    check.eKind = NA_SERVERTEXT_NUMBER;
    check.bNamedByText = true;
    return check;
  }
  const int kept = g_nKeptFractionDigits(item, check.eItem);
  if (kept >= 0 && (db == NA_IT_DECIMAL || db == NA_IT_MONETAIRE || dbDigits > kept)) {
    if (dbDigits >= 0 && dbDigits <= kept) return STServerTextCheck{};
    check.nKeptDigits = kept;
    check.eKind = NA_SERVERTEXT_NUMBER;
    return check;
  }
  return STServerTextCheck{};
}

int g_nServerTextHeld(const STServerTextCheck& check, const BYTE* values, size_t valuesSize, const char* text,
                      size_t length) {
  if (text == nullptr) return 1;
  switch (check.eKind) {
    case NA_SERVERTEXT_TEXT:
      return TextHeld(check, values, valuesSize, text, length);
    case NA_SERVERTEXT_BINARY:
      if (IsTextItem(check.eItem)) {
        // The bytes of a binary column in a text item: held when the slot has them as they are.
        if (check.nRoom == kUnbounded) return 1;
        const BYTE* element = Element(check, values, valuesSize);
        if (element == nullptr) return 1;
        const std::string held = SlotBytes(element, check.nSlotSize);
        return held.size() == length && memcmp(held.data(), text, length) == 0 ? 1 : 0;
      }
      return BinaryHeld(check, length);
    case NA_SERVERTEXT_TIME:
      return TimeHeld(check, text, length);
    case NA_SERVERTEXT_NUMBER:
      return DropsDigits(text, length, check.nKeptDigits) ? 0 : 1;
    case NA_SERVERTEXT_BIT:
      return BinaryHeld(check, length);
    default:
      return 1;
  }
}

int g_nKeptFractionDigits(const INAItemDescription* item, eNA_ITEMTYPE type) {
  switch (type) {
    case NA_IT_IDAUTO: case NA_IT_IDAUTO4: case NA_IT_I1: case NA_IT_I2: case NA_IT_I4: case NA_IT_I8:
    case NA_IT_UI1: case NA_IT_UI2: case NA_IT_UI4: case NA_IT_UI8: case NA_IT_BOOLEEN:
      return 0;
    case NA_IT_MONETAIRE:
      return 6;
    case NA_IT_DECIMAL:
      return item->nGetDecimalPart();
    default:
      return -1;
  }
}

bool g_bNamesRows(CNARecord* record, CNAColumn* column, const CNAColumn* browsed) {
  if (record == nullptr || column == nullptr || column->piGetItemNoRef() == nullptr) return false;
  if (column == browsed || column->piGetItemNoRef()->bIsKey()) return true;
  bool keyless = true;
  for (int i = 0; i < record->nGetNbColumn() && keyless; ++i) {
    const CNAColumn* c = record->pclGetColumnNoRef(i);
    if (c != nullptr && c->piGetItemNoRef() != nullptr && c->piGetItemNoRef()->bUnique()) keyless = false;
  }
  if (keyless) return true;
  for (int k = 0; k < record->nGetNbComposedKey(); ++k) {
    CNAColumn* key = record->pclGetComposedKeyNoRef(k);
    if (key != nullptr && key->bIsComposedKeyComponent(column)) return true;
  }
  for (int k = 0; k < record->nGetNbColumnOrder(); ++k)
    if (record->pclGetColumnOrderNoRef(k) == column) return true;
  return false;
}

bool g_bReadsKeyBytes(CNARecord* record, CNAColumn* column, const CNAConnectionDescription* cnx,
                      const CNAColumn* browsed) {
  // A query's SELECT is the host's: nothing is read beside its columns.
  if (cnx == nullptr || cnx->nGetServerCodePage() == CP_UTF8 || column == nullptr || column->bIsComposedKey() ||
      !IsTextItem(column->eNAGetItemType()) || column->pclGetSourceQueryNoRef() != nullptr)
    return false;
  const CNAItemDescription* imported = column->piGetImportedItemDescNoRef();
  return imported != nullptr && imported->bWideText() && g_bNamesRows(record, column, browsed);
}

void g_KeyBytesAlias(CTString* out, const CNAColumn* column) {
  wchar_t alias[40];
  swprintf(alias, 40, L"QX_KEY_BYTES_%u", column->nGetPhysicalIndice());
  *out = alias;
}

bool g_bUtf8InPage(const char* text, size_t length, int page, std::string* out) {
  return Narrow(page, Wide(CP_UTF8, text, length), out);
}

BOOL g_bServerTextLiteral(CTString* out, eNASERVERTEXT kind, const char* text, size_t length,
                          const CNAConnectionDescription* cnx) {
  out->Vide();
  return cnx != nullptr && text != nullptr && cnx->bFormatServerText(out, kind, text, length);
}

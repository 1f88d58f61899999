// Whether a row's value reached its record exactly as the server holds it, and the literal that
// names the row by the server's own text when it did not.
//
// A record may hold a value otherwise than the server: a character its item's page has no place
// for becomes '?', a text longer than its item is cut, a NUL ends a fixed text, fraction digits
// beyond the item's are dropped. A condition written from such a record names another row or
// none. The statement notes, for the columns that name rows (keys, the browse order, every column
// of a table without a unique key), the server's text of each value its record does not hold
// exactly (CNARecordMemo::STServerText); conditions built from that row then take the server's
// text as their literal.
//
// Nothing here holds state; the check is worked out once per result and column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/cp1252.h"
#include "platform/wintypes.h"
#include "sql/naitemtype.h"

class CNAColumn;
class CNAColumnSQL;
class CNAConnectionDescription;
class CNAKJRecord;
class CNARecord;
class CTString;
class INAItemDescription;

// How a column's server text is compared with its item, and how it is written as a literal.
enum eNASERVERTEXT : uint8_t {
  NA_SERVERTEXT_NONE = 0,  // the item holds every value of the column as the server sends it
  NA_SERVERTEXT_TEXT,      // a text: written as the connection's character set's bytes
  NA_SERVERTEXT_BINARY,    // bytes of a binary column
  NA_SERVERTEXT_TIME,      // a date, time or date-time: written as the server's text
  NA_SERVERTEXT_NUMBER,    // a number with fraction digits: written as the server's digits
  NA_SERVERTEXT_BIT,       // the bytes of a BIT column: written as the number they make
  NA_SERVERTEXT_TEXTUTF8,  // a text read again as its UTF-8 bytes, whatever the connection's page
};

struct STServerTextCheck {
  CNAColumn* pclColumn = nullptr;
  unsigned int nPhysical = 0;
  eNASERVERTEXT eKind = NA_SERVERTEXT_NONE;
  eNA_ITEMTYPE eItem = NA_IT_EMPTY;
  // The item's room: bytes of a text of the host's page or of a binary, UTF-16 units of a
  // Unicode text; 0xFFFFFFFF for a memo (no bound).
  unsigned int nRoom = 0;
  // Fraction digits the item keeps (-1: every one).
  int nKeptDigits = -1;
  // A date item: a time of day is none of it.
  bool bDateOnly = false;
  // A date-time item of a column of at most the item's fraction digits: only a zero date differs.
  bool bDigitsKept = false;
  // A value the item holds in a form several of the column's values share (a date item over a
  // date-time, more fraction digits than a date-time item keeps, a real item over a double, a
  // decimal or a wide integer): the server's text names every row, also one the item holds, as
  // no comparison of the item's value orders and tells rows apart as the column does.
  bool bNamedByText = false;
  // A '?' of the server's text may stand for a character the connection's page lost.
  bool bMayLose = false;
  // The result column holding the value's UTF-8 bytes as well (the column's key bytes read
  // beside it on a page connection); -1 for none.
  int nKeyBytes = -1;
  // A fixed text item's slot: nOffset (-1 for none) and nSlotSize bytes in the record's values.
  // bSlotBytes: one of a page, held exactly when its slot holds the text's very bytes
  // (g_bServerTextHeldAsBytes), the usual answer.
  bool bSlotBytes = false;
  int64_t nOffset = -1;
  unsigned int nSlotSize = 0;
  int nServerPage = 0;
  int nHostPage = 0;
  // Set by the row binding: the row slot whose writer tells (bHeld) whether it held the row's
  // text exactly (-1: none).
  int nHeldSlot = -1;
};

// The check of column for the result column sqlColumn (may be null) on cnx; eKind is
// NA_SERVERTEXT_NONE when the item holds every value of the column exactly.
STServerTextCheck g_stServerTextCheck(CNAColumn* column, const CNAColumnSQL* sqlColumn,
                                      const CNAConnectionDescription* cnx);

// Compares the server's text of a row with what record holds of the check's column: 1 held
// exactly, 0 not (the text names the row), -1 the server's text itself had lost a character
// (nothing names the row). keyBytes, when the check has them, are the value's UTF-8 bytes.
int g_nServerTextHeld(const STServerTextCheck& check, const BYTE* values, size_t valuesSize, const char* text,
                      size_t length);

// The fraction digits an item of type keeps; -1 for one that holds no exact number.
int g_nKeptFractionDigits(const INAItemDescription* item, eNA_ITEMTYPE type);

// A date of zeros (or a zero month or day): the host's empty date, which a condition writes as
// NULL.
inline bool g_bServerZeroDate(const char* text, size_t length) {
  return length >= 10 && text[4] == '-' && text[7] == '-' &&
         ((text[5] == '0' && text[6] == '0') || (text[8] == '0' && text[9] == '0'));
}

// The usual answer of g_nServerTextHeld for a check with bSlotBytes, in line for every row: the slot
// at values (the record's values area) holds text's very bytes, terminated, none of them 0 (and no
// '?' a page may have put, no byte a 1252 page leaves undefined). False: ask g_nServerTextHeld.
// keyBytes: text is the value's UTF-8 bytes read beside it (the check's nKeyBytes column).
inline bool g_bServerTextHeldAsBytes(const STServerTextCheck& check, const BYTE* values, size_t valuesSize,
                                     const char* text, size_t length, bool keyBytes = false) {
  if (check.nOffset < 0 || static_cast<uint64_t>(check.nOffset) + check.nSlotSize > valuesSize ||
      check.nSlotSize == 0)
    return false;
  const int serverPage = keyBytes ? 65001 : check.nServerPage;
  // A '?' a page may have put asks the long road.
  const bool mayLose = check.bMayLose && !keyBytes;
  const BYTE* element = values + check.nOffset;
  const size_t room = check.nSlotSize - 1;
  if (length >= 16 && length <= room && element[length] == 0 && memcmp(element, text, length) == 0) {
    // A long text of the slot's very bytes: ASCII from UTF-8 into 1252; a 1252 text with bytes from
    // 0x80 up asks whether its page defines them.
    if (memchr(text, 0, length) != nullptr || (mayLose && memchr(text, '?', length) != nullptr)) return false;
    if (serverPage != 1252) return true;
    // A 1252 text is written back through its characters: a byte the page leaves undefined asks
    // the long road.
    size_t i = 0;
    for (uint64_t w; i + 8 <= length; i += 8) {
      memcpy(&w, element + i, 8);
      if ((w & 0x8080808080808080ULL) != 0) break;
    }
    for (; i < length; ++i) {
      const BYTE b = element[i];
      if (b >= 0x80 && b <= 0x9F && kCP1252High[b - 0x80] == 0) return false;
    }
    return true;
  }
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  const bool latin1 = serverPage == 65001 && check.nHostPage == 1252;
  const bool page = serverPage == 1252 && check.nHostPage == 1252;
  size_t j = 0;
  for (size_t i = 0; i < length;) {
    unsigned int b = t[i];
    if (b >= 0x80 && page) {
      // The page's own byte, unless the page leaves it undefined.
      if (b <= 0x9F && kCP1252High[b - 0x80] == 0) return false;
      ++i;
    } else if (b >= 0x80) {
      // UTF-8 into 1252: a Latin-1 letter or sign is its own byte; anything else asks the long road.
      if (!latin1 || i + 1 >= length || (t[i + 1] & 0xC0) != 0x80 || !(b == 0xC3 || (b == 0xC2 && t[i + 1] >= 0xA0)))
        return false;
      b = b == 0xC3 ? t[i + 1] + 0x40u : t[i + 1];
      i += 2;
    } else {
      if (b == 0 || (mayLose && b == '?')) return false;
      ++i;
    }
    if (j >= room || element[j] != b) return false;
    ++j;
  }
  return element[j] == 0;
}

// Whether a browse of record on cnx reads column's UTF-8 bytes beside it: a text column that
// names rows and whose character set holds more than the connection's page can carry.
bool g_bReadsKeyBytes(CNARecord* record, CNAColumn* column, const CNAConnectionDescription* cnx,
                      const CNAColumn* browsed = nullptr);
// Whether column names record's rows: a key, a part of one, the browse order, the column browsed
// (may be null), or any column of a record without a unique key.
bool g_bNamesRows(CNARecord* record, CNAColumn* column, const CNAColumn* browsed = nullptr);
// The alias of the result column of column's key bytes.
void g_KeyBytesAlias(CTString* out, const CNAColumn* column);

// out = the UTF-8 text in page; false when a character has no place there.
bool g_bUtf8InPage(const char* text, size_t length, int page, std::string* out);

// out = the literal of column's value given as the server's text (ASCII only); FALSE when the
// connection has no way to write it.
BOOL g_bServerTextLiteral(CTString* out, eNASERVERTEXT kind, const char* text, size_t length,
                          const CNAConnectionDescription* cnx);

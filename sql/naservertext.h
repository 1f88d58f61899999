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
#include <string>

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
  // A '?' of the server's text may stand for a character the connection's page lost.
  bool bMayLose = false;
  // The result column holding the value's UTF-8 bytes as well (the column's key bytes read
  // beside it on a page connection); -1 for none.
  int nKeyBytes = -1;
  int nServerPage = 0;
  int nHostPage = 0;
};

// The check of column for the result column sqlColumn (may be null) on cnx; eKind is
// NA_SERVERTEXT_NONE when the item holds every value of the column exactly.
STServerTextCheck g_stServerTextCheck(CNAColumn* column, const CNAColumnSQL* sqlColumn,
                                      const CNAConnectionDescription* cnx);

// Compares the server's text of a row with what record holds of the check's column: 1 held
// exactly, 0 not (the text names the row), -1 the server's text itself had lost a character
// (nothing names the row). keyBytes, when the check has them, are the value's UTF-8 bytes.
int g_nServerTextHeld(const STServerTextCheck& check, const CNAKJRecord* record, const char* text, size_t length);

// The fraction digits an item of type keeps; -1 for one that holds no exact number.
int g_nKeptFractionDigits(const INAItemDescription* item, eNA_ITEMTYPE type);

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

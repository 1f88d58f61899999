// Item (column) type codes shared by descriptions, conversions and backends, their names, and
// the maps between them and the host value types (ZV codes of values/any.h). The two maps are
// not inverse: an ANSI dynamic string gives MEMOTEXTE and a binary MEMOBINAIRE, the memo forms.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

class CAny;
class INAItemDescription;

enum eNA_ITEMTYPE : int32_t {
  NA_IT_EMPTY = 0,
  NA_IT_IDAUTO = 1,
  NA_IT_TEXTE = 2,
  NA_IT_I2 = 3,
  NA_IT_I1 = 4,
  NA_IT_I4 = 5,
  NA_IT_R4 = 6,
  NA_IT_R8 = 7,
  // 8 has no name and no host type.
  NA_IT_UI2 = 9,
  NA_IT_DATE6 = 10,
  NA_IT_HEURE = 11,
  NA_IT_UI1 = 12,
  NA_IT_REELTURBO = 13,
  NA_IT_DATE8 = 14,
  NA_IT_MEMOTEXTE = 15,
  NA_IT_MEMOBINAIRE4 = 16,
  NA_IT_MONETAIRE = 17,
  NA_IT_MEMOBINAIRE = 18,
  NA_IT_I8 = 19,
  NA_IT_UI8 = 20,
  NA_IT_IMAGE = 21,
  NA_IT_UI4 = 22,
  NA_IT_BINAIRE = 23,
  NA_IT_DATETIME = 24,
  NA_IT_TIMELENGHT = 25,
  NA_IT_CHAR = 26,
  NA_IT_BOOLEEN = 27,
  NA_IT_IDAUTO4 = 28,
  NA_IT_UNICODE = 29,
  NA_IT_MEMOUNICODE = 30,
  NA_IT_DECIMAL = 31,
};
constexpr int NA_IT_LAST = NA_IT_DECIMAL;

// "NA_IT_TEXTE" and so on; "Type inconnu" for 8 and any code outside 0..31.
const wchar_t* g_pszGetNAItemTypeName(eNA_ITEMTYPE type);
// Host value type of an item type; 0 for 0, 8 and codes outside 1..31. The int is not used.
unsigned short ConverteItemToZVType(eNA_ITEMTYPE type, int unused = 0);
unsigned short ConverteItemToZVType(const INAItemDescription* item);
// Item type of a host value type; NA_IT_EMPTY for 0, codes above 129 and types without one.
eNA_ITEMTYPE ConvertZVTypeToeItem(unsigned short zvType);

// Item type of a host engine item type code (the host's descriptions and parse trees): 0 to 41
// through a table, MEMOTEXTE above.
eNA_ITEMTYPE g_eGetNAItemTypeFromKJ(int kjType);

// The integer, real, currency and decimal item types: their host values are numbers (never a
// boolean nor text).
constexpr bool g_bIsNumberItemType(eNA_ITEMTYPE type) {
  switch (type) {
    case NA_IT_IDAUTO: case NA_IT_IDAUTO4: case NA_IT_I1: case NA_IT_I2: case NA_IT_I4: case NA_IT_I8:
    case NA_IT_UI1: case NA_IT_UI2: case NA_IT_UI4: case NA_IT_UI8: case NA_IT_R4: case NA_IT_R8:
    case NA_IT_REELTURBO: case NA_IT_MONETAIRE: case NA_IT_DECIMAL: return true;
    default: return false;
  }
}

// TEXTE and MEMOTEXTE / UNICODE and MEMOUNICODE / any of the four.
BOOL bIsTextAnsi(eNA_ITEMTYPE type);
inline BOOL bIsTextUnicode(eNA_ITEMTYPE type) { return type == NA_IT_UNICODE || type == NA_IT_MEMOUNICODE; }
BOOL bIsTextAW(eNA_ITEMTYPE type);

// Host text kinds: ANSI (17, 18, 19, 21-23, 128, 129, 134), wide (16, 20, 24, 25, 81, 110) and either.
inline bool g_bIsZVTextAnsi(unsigned short zvType) {
  switch (zvType) {
    case 17: case 18: case 19: case 21: case 22: case 23: case 128: case 129: case 134: return true;
    default: return false;
  }
}
inline bool g_bIsZVTextWide(unsigned short zvType) {
  switch (zvType) {
    case 16: case 20: case 24: case 25: case 81: case 110: return true;
    default: return false;
  }
}
inline bool g_bIsZVText(unsigned short zvType) { return g_bIsZVTextAnsi(zvType) || g_bIsZVTextWide(zvType); }

// Converts value in place to zvType through the host (flags 1): 0, a warning below 100, or the
// host's error code (the value then unchanged). For an HEURE item, ANSI text (18, 19) bound for
// a date-time becomes the empty date with the time of day read from it as HHMMSS[mmm]; 0.
int nCastTo(CAny* value, unsigned short zvType, const INAItemDescription* item);

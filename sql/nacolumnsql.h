// CNAColumnSQL: what a statement knows of one column of its result, a plain record. A statement
// owns an array of them for its current result; the backend fills the fields it can, the rest
// stay as constructed (numbers 0, texts empty).
#pragma once

#include <cstdint>

#include "common/ctstring.h"
#include "sql/naitemtype.h"

class CNAColumnSQL {
 public:
  CNAColumnSQL() = default;
  CNAColumnSQL(const CNAColumnSQL&) = delete;
  CNAColumnSQL& operator=(const CNAColumnSQL&) = delete;
  virtual ~CNAColumnSQL() = default;

  CTString m_csName;
  // The server's declared width (bytes), or the result's longest values when it declares none.
  long long m_llLength = 0;
  unsigned int m_nItemSize = 0;
  // Digits before and after the decimal point.
  int m_nPrecision = 0;
  int m_nDecimals = 0;
  // The server's own type code.
  int m_nDBType = 0;
  CTString m_csDBTypeName;
  unsigned int m_nCharset = 0;
  // The server's UNSIGNED_FLAG.
  bool m_bUnsigned = false;
  // What the server's description of the column says beyond its item type (NA_ITEM_SERVERFACTS
  // flags of its item description).
  uint32_t m_dwItemFacts = 0;
  eNA_ITEMTYPE m_eItemType = NA_IT_EMPTY;
  unsigned short m_wKeyFlags = 0;
  int m_nKeyPosition = 0;
  CTString m_csTableName;
  CTString m_csColumnName;
};

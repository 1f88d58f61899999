// Client-side indexes over a table cache's full row cache: one CNATableCacheIndex per statement
// and column, holding a CIndexFixedSizeItem (a B+tree of sortable keys, for ordinary columns) or
// a CIndexMemo (a sorted list of row numbers, for memo columns). A "row" is a row index of the
// full cache; rows whose state is not 0 are not indexed when an index is built.
//
// Ownership: the index holds one reference on the full cache and on its column and a count on
// its error object, owns its item, and borrows its statement (which owns the index). An item
// borrows all four and owns its tree, key buffer, list and scratch row.
//
// Order:
// - fixed-size: the key is the column's value as a binary-sortable key of the column's host type
//   (option word 0x2800: no folding, so texts order by code unit, which can differ from the
//   server's collation; NULL keys as the empty value). Equal keys are ordered by row number.
// - memo: the memo values compared as raw bytes, a wide text's by its characters (the shorter
//   first when one is a prefix of the other); empty values first, in arrival order; equal values
//   in arrival order.
// The statement's user search, when its value holds one, bounds reading first and last. Moves
// that cannot be made answer TRUE with row -1. Out of memory while building raises the no-memory
// error. Upkeep failures leave the index as it was, unreported. Everything here runs under the
// driver mutex.
#pragma once

#include "common/ttableau.h"
#include "driver/nahost.h"
#include "platform/qxunknown.h"
#include "platform/wintypes.h"
#include "sql/nacommand.h"

class CAny;
class CMemBTree;
class CNAColumn;
class CNAError;
class CNARecordCache;
class CNARecordValue;
class CNAStatement;

class CIndexItem {
 public:
  // Borrows all four.
  CIndexItem(CNAError* error, CNAStatement* statement, CNARecordCache* cache, CNAColumn* column);
  virtual ~CIndexItem();
  CIndexItem(const CIndexItem&) = delete;
  CIndexItem& operator=(const CIndexItem&) = delete;

  // Builds the index from the full cache; FALSE at the first row that cannot be read or
  // indexed.
  virtual BOOL bInit() = 0;
  virtual BOOL bInsertRecord(int row, CAny* value) = 0;
  virtual BOOL bDeleteRecord(int row, CAny* value) = 0;
  // row = the row n entries from where d starts (first, last) or from the current entry (next,
  // previous; any other d stays), which becomes current; -1 when there is none. dupIndex, when
  // asked, counts the entries just before it whose rows equal it (bytes and memos).
  virtual BOOL bGetRecordPosition(eNA_PARSEDIRECTION d, int n, int* row, unsigned int* dupIndex) = 0;
  virtual int nGetCurrentRecordId() = 0;
  virtual int nGetRecordNbr() = 0;
  virtual int nGetPreviousRecordNbr() = 0;
  // Puts the current entry on row pos, or with pos -1 on the record's original value (found =
  // whether it is there).
  virtual BOOL bSetCurrentPos(int pos, int dup, int* found) = 0;

 protected:
  // a = row's memo value for the column; FALSE when the row cannot be read.
  BOOL _bGetRecordValue(CAny* a, int row);
  // a = row's item value for the column (NULL of its host type when not defined).
  BOOL _bGetItemValue(CAny* a, int row);
  // The bytes of a's value (a text's without its terminator); a NULL value or a size of 0 gives
  // no address.
  static BOOL _bGetDataAdr(const unsigned char** data, unsigned int* size, const CAny* a);
  // row's memo value against the key bytes: -1, 0 or 1; with prefix, a value that starts with the
  // key is 0.
  BOOL _bCompareValues(int* cmp, int row, const unsigned char* key, unsigned int keySize, bool prefix = false);
  unsigned short _eGetTypeZV() const;
  // The statement's user search value, null when it holds none.
  const CAny* _pclGetSearchValue() const;

  CNAError* m_pclError;
  CNARecordCache* m_pclCache;
  CNAColumn* m_pclColumn;
  CNAStatement* m_pclStatement;

 private:
  // A row value read from the cache, made on first use (counted).
  CNARecordValue* _pclScratch();
  CNARecordValue* m_pclScratch = nullptr;
};

class CIndexFixedSizeItem : public CIndexItem {
 public:
  using CIndexItem::CIndexItem;
  ~CIndexFixedSizeItem() override;

  BOOL bInit() override;
  // The key of value, or of the row's own value when value is null.
  BOOL bInsertRecord(int row, CAny* value) override;
  BOOL bDeleteRecord(int row, CAny* value) override;
  BOOL bGetRecordPosition(eNA_PARSEDIRECTION d, int n, int* row, unsigned int* dupIndex) override;
  int nGetCurrentRecordId() override;
  int nGetRecordNbr() override;
  int nGetPreviousRecordNbr() override;
  // pos -1 among equal keys: the first row equal to the original value, then dup more equal
  // ones passed (back to the first equal one with found 0 when they are not all equal).
  BOOL bSetCurrentPos(int pos, int dup, int* found) override;

  // The most bytes a key takes.
  static constexpr unsigned int kMaxKeySize = 10240;

 private:
  // The key buffer = value's key (zeroed first).
  void _MakeKey(const CAny* value);
  // The key of a sought value as the column's item holds it: a time's text, which the key would
  // cut to its own size, is first cut to the item's digits (the start of one completed to them).
  // last: for a starts-with of a text, the key past which no key starts with it.
  void _MakeSearchKey(const CAny* search, bool last);
  // The key of value, or of row's own value when value is null; FALSE when the row cannot be
  // read.
  BOOL _bMakeRowKey(int row, const CAny* value);
  int _nReadRow() const;
  // Rows from the current entry back that equal the current row, at most as many as its key's
  // duplicates; the position is restored.
  unsigned int _nCountEqualBefore(int row);

  CMemBTree* m_pclTree = nullptr;
  unsigned int m_nKeySize = 0;
  unsigned char* m_pbyKey = nullptr;
  // A binary item's key ends with its value's length (2 bytes, most significant first) after its
  // bytes padded with zeros: X'27' and X'2700' are two keys, the shorter first, as the server
  // orders them.
  bool m_bKeyLength = false;
};

class CIndexMemo : public CIndexItem {
 public:
  CIndexMemo(CNAError* error, CNAStatement* statement, CNARecordCache* cache, CNAColumn* column);
  ~CIndexMemo() override;

  BOOL bInit() override;
  // The value argument is not read: the row's memo value is.
  BOOL bInsertRecord(int row, CAny* value) override;
  BOOL bDeleteRecord(int row, CAny* value) override;
  BOOL bGetRecordPosition(eNA_PARSEDIRECTION d, int n, int* row, unsigned int* dupIndex) override;
  int nGetCurrentRecordId() override;
  int nGetRecordNbr() override { return m_tabRow.nGetCount(); }
  int nGetPreviousRecordNbr() override { return m_nCurrent; }
  // pos -1: the last entry equal to the original row's memo value, or its place; another row:
  // that row's entry (FALSE when it has none).
  BOOL bSetCurrentPos(int pos, int dup, int* found) override;

  // Binary search of key: found, and pos the first (modeA without modeB) or last equal entry;
  // without one, the first greater entry (modeA; -1 past the end) or the last smaller one.
  // With prefix, a row that starts with the key is equal to it.
  BOOL _bFind(int* found, int* pos, const unsigned char* key, unsigned int size, int modeA, int modeB,
              bool prefix = false);
  int nGetRowAt(int i) const { return m_tabRow[i]; }
  int nGetEmptyEnd() const { return m_nEmptyEnd; }

 private:
  int32_t m_bCurrentDeleted = 0;
  CTTableau<int> m_tabRow;
  int m_nCurrent = -1;
  int m_nEmptyEnd = -1;
};

class CNATableCacheIndex : public CQXUnknown {
 public:
  // Takes a count on error and a reference on cache and column; borrows statement.
  CNATableCacheIndex(CNAError* error, CNAStatement* statement, CNARecordCache* cache, CNAColumn* column);
  ~CNATableCacheIndex() override;
  CNATableCacheIndex(const CNATableCacheIndex&) = delete;
  CNATableCacheIndex& operator=(const CNATableCacheIndex&) = delete;

  // Builds a memo index for a memo column, else a fixed-size one. FALSE when it cannot be built
  // (out of memory: the no-memory error).
  BOOL bInit();
  // Forwarded to the item. Without one (never built, or a build that failed): row -1 and
  // FALSE, -1, 0, 0 and FALSE.
  BOOL bGetRecordPosition(eNA_PARSEDIRECTION d, int n, int* row, unsigned int* dupIndex);
  int nGetCurrentRecordId();
  int nGetRecordNbr();
  int nGetPreviousRecordNbr();
  BOOL bSetCurrentPos(int pos, int dup, int* found);
  // After a write of row (the full cache already holds it): an update or delete takes the
  // column's value in the record's original value out, an insert or update puts its current
  // value in; an update that leaves the value equal changes nothing.
  void OnNotifyOperation(eNAQUERYTYPE type, int row, unsigned int);

  CNARecordCache* pclGetRecordCacheNoRef() const { return m_pclCache; }
  CIndexItem* pclGetItemNoRef() const { return m_pclItem; }

 private:
  CNAError* m_pclError = nullptr;
  CNARecordCache* m_pclCache;
  CIndexItem* m_pclItem = nullptr;
  CNAColumn* m_pclColumn;
  CNAStatement* m_pclStatement;
};

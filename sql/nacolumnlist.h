// Small value classes that statements and search expressions carry:
// - CColumnList: the comma-separated column names of INSERT, UPDATE and index texts. It owns its
//   text buffer; a name that cannot get its room is dropped (the count still goes up).
// - CColumnNullValueExcluded: per column, whether a search or filter still selects the rows whose
//   value is NULL (a column not in the set does). Two sets combine under AND and OR as the
//   conditions that made them. The columns are borrowed: a set lives inside one statement's build
//   and never outlives the record's columns. Operations answer FALSE only when memory runs out.
// - CNAUserSearch: the value of the host's last user search on one item (external reference held
//   on the item), and whether the current record matches it.
#pragma once

#include <cstdint>

#include "common/ttableau.h"
#include "common/xystringconcat.h"
#include "platform/wintypes.h"
#include "values/any.h"

class CNAColumn;
class CNARecord;
class CNAStatement;
class INAItemDescription;

// Operators of search expressions (sql/naexpression.h writes them).
enum eNAOperator : int32_t {
  NA_OP_NONE = 0,
  NA_OP_OR = 1,
  NA_OP_AND = 2,
  NA_OP_NOT = 3,
  NA_OP_EQ = 4,
  NA_OP_GT = 5,
  NA_OP_LT = 6,
  NA_OP_GE = 7,
  NA_OP_LE = 8,
  // A condition the host parsed.
  NA_OP_SQL = 9,
  NA_OP_FALSE = 10,
  NA_OP_TRUE = 11,
  NA_OP_NE = 12,
  NA_OP_ISNULL = 13,
  NA_OP_ISNOTNULL = 14,
};

class CColumnList {
 public:
  CColumnList() : m_clText(kGrowStep) {}

  // Length and count back to 0; the buffer stays for reuse.
  void Empty() {
    m_clText.Vide();
    m_nCount = 0;
  }
  // "," first when a column is already listed, then the name (null or empty: nothing); the count
  // goes up in every case.
  void AddColumn(const wchar_t* name);
  // The columns of statement's record in order whose bMustDefine holds for the statement's
  // bind/define flag, by formatted name; automatic identifiers only with withIdAuto.
  void BuildColumnList(CNAStatement* statement, int withIdAuto);

  const wchar_t* pszGet() const { return m_clText.pszGet(); }
  unsigned int nGetLength() const { return m_clText.nGetLength(); }
  unsigned int nGetCapacity() const { return m_clText.nGetCapacity(); }
  int nGetCount() const { return m_nCount; }

  static constexpr unsigned int kGrowStep = 1024;

 private:
  CXYStringConcat<wchar_t> m_clText;
  int m_nCount = 0;
};

class CColumnNullValueExcluded {
 public:
  CColumnNullValueExcluded() : m_tabColumn(10, 30), m_tabSelected(10, 30) {}

  // The column's flag; TRUE for a column not in the set.
  BOOL bColumnValuesNullSelected(const CNAColumn* column) const;
  // The same by original name, case ignored.
  BOOL bColumnValuesNullSelected(const wchar_t* name) const;
  // Sets (or appends) the column's flag; a null column does nothing.
  BOOL bSetColumnValuesNullSelected(CNAColumn* column, int selected);
  // This set op the one-column set {column: selected}.
  BOOL bCombineColumnValuesNullSelected(eNAOperator op, CNAColumn* column, int selected);
  // This set op other; a null other selects every column.
  BOOL bCombineColumnValuesNullSelected(eNAOperator op, const CColumnNullValueExcluded* other);
  // Appends a op b to this set (which is expected empty); a null operand selects every column.
  BOOL bCombineColumnValuesNullSelected(eNAOperator op, const CColumnNullValueExcluded* a,
                                        const CColumnNullValueExcluded* b);
  // Appends other's entries in order, each flag negated when negate is non-zero; duplicates are
  // not merged.
  BOOL bCopyColumnValuesNullSelected(const CColumnNullValueExcluded* other, int negate);
  // Every column selected again.
  void Reset();

  int nGetCount() const { return m_tabColumn.nGetCount(); }
  CNAColumn* pclGetColumnNoRef(int i) const { return m_tabColumn[i]; }
  BOOL bGetSelected(int i) const { return m_tabSelected[i]; }

 private:
  int _nFind(const CNAColumn* column) const;
  BOOL _bAppend(CNAColumn* column, BOOL selected);
  // Combines one entry of another set into this one.
  BOOL _bCombineOne(eNAOperator op, CNAColumn* column, BOOL selected);

  CTTableauPtr<CNAColumn> m_tabColumn;
  CTTableau<BOOL> m_tabSelected;
};

class CNAUserSearch {
 public:
  CNAUserSearch() = default;
  virtual ~CNAUserSearch();
  CNAUserSearch(const CNAUserSearch&) = delete;
  CNAUserSearch& operator=(const CNAUserSearch&) = delete;

  // Bit 0 of the flags: the current value need only start with the searched one.
  static constexpr unsigned int kPrefix = 0x1;

  // Replaces the search: the item (external reference), a copy of the value and the flags.
  void SetUserSearch(INAItemDescription* item, const CAny* value, unsigned int flags);
  void CancelUserSearch();
  // Cancels when other has no item, else takes other's search.
  void Copy(const CNAUserSearch* other);
  // TRUE without a search; otherwise whether the record's column of the item holds the value
  // (FALSE when the record has no such column).
  BOOL bGetHTrouve(CNARecord* record) const;

  INAItemDescription* piGetItemNoRef() const { return m_piItem; }
  const CAny* pclGetValue() const { return &m_clValue; }
  unsigned int dwGetFlags() const { return m_dwFlags; }

 private:
  CAny m_clValue;
  unsigned int m_dwFlags = 0;
  INAItemDescription* m_piItem = nullptr;
};

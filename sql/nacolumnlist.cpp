#include "sql/nacolumnlist.h"

#include <cwchar>

#include "access/narecord.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/nastatement.h"

// ================================================================ CColumnList

void CColumnList::AddColumn(const wchar_t* name) {
  if (m_nCount > 0) m_clText.Add(L",");
  if (name != nullptr && *name != 0) m_clText.Add(name);
  ++m_nCount;
}

void CColumnList::BuildColumnList(CNAStatement* statement, int withIdAuto) {
  CNARecord* record = statement != nullptr ? statement->pclGetCurrentRecordNoRef() : nullptr;
  if (record == nullptr) return;
  const unsigned int mode = static_cast<unsigned int>(statement->nGetBindDefineFlag());
  for (int i = 0; i < record->nGetNbColumn(); ++i) {
    CNAColumn* c = record->pclGetColumnNoRef(i);
    if (!c->bMustDefine(mode) || (c->bIsIdAuto() && withIdAuto == 0)) continue;
    AddColumn(c->pszGetFormatedName());
  }
}

// ================================================================ CColumnNullValueExcluded

int CColumnNullValueExcluded::_nFind(const CNAColumn* column) const {
  for (int i = 0; i < m_tabColumn.nGetCount(); ++i)
    if (m_tabColumn[i] == column) return i;
  return -1;
}

BOOL CColumnNullValueExcluded::_bAppend(CNAColumn* column, BOOL selected) {
  if (m_tabColumn.Ajoute(column) == nullptr) return FALSE;
  if (m_tabSelected.Ajoute(selected ? TRUE : FALSE) != nullptr) return TRUE;
  m_tabColumn.Supprime(m_tabColumn.nGetCount() - 1, 1);
  return FALSE;
}

BOOL CColumnNullValueExcluded::bColumnValuesNullSelected(const CNAColumn* column) const {
  const int i = _nFind(column);
  return i < 0 || m_tabSelected[i] ? TRUE : FALSE;
}

BOOL CColumnNullValueExcluded::bColumnValuesNullSelected(const wchar_t* name) const {
  if (name == nullptr) return TRUE;
  for (int i = 0; i < m_tabColumn.nGetCount(); ++i)
    if (wcscasecmp(m_tabColumn[i]->pszGetOriginalName(), name) == 0) return m_tabSelected[i] ? TRUE : FALSE;
  return TRUE;
}

BOOL CColumnNullValueExcluded::bSetColumnValuesNullSelected(CNAColumn* column, int selected) {
  if (column == nullptr) return TRUE;
  const int i = _nFind(column);
  if (i < 0) return _bAppend(column, selected != 0);
  m_tabSelected[i] = selected != 0 ? TRUE : FALSE;
  return TRUE;
}

BOOL CColumnNullValueExcluded::_bCombineOne(eNAOperator op, CNAColumn* column, BOOL selected) {
  const int i = _nFind(column);
  if (i >= 0) {
    m_tabSelected[i] = op == NA_OP_AND ? (m_tabSelected[i] && selected) : (m_tabSelected[i] || selected);
    return TRUE;
  }
  // Absent means selected: only AND with an excluding side changes it.
  return op == NA_OP_AND && !selected ? _bAppend(column, FALSE) : TRUE;
}

BOOL CColumnNullValueExcluded::bCombineColumnValuesNullSelected(eNAOperator op, CNAColumn* column, int selected) {
  return column != nullptr ? _bCombineOne(op, column, selected != 0) : TRUE;
}

BOOL CColumnNullValueExcluded::bCombineColumnValuesNullSelected(eNAOperator op,
                                                                const CColumnNullValueExcluded* other) {
  if (other == nullptr) {
    if (op == NA_OP_OR) Reset();
    return TRUE;
  }
  if (other == this) return TRUE;
  // Under OR a column the other set leaves out is selected there, so it is here too: keeping this
  // set's flag would exclude rows the other condition selects.
  if (op == NA_OP_OR)
    for (int i = 0; i < m_tabColumn.nGetCount(); ++i)
      if (other->_nFind(m_tabColumn[i]) < 0) m_tabSelected[i] = TRUE;
  for (int i = 0; i < other->m_tabColumn.nGetCount(); ++i)
    if (!_bCombineOne(op, other->m_tabColumn[i], other->m_tabSelected[i])) return FALSE;
  return TRUE;
}

BOOL CColumnNullValueExcluded::bCombineColumnValuesNullSelected(eNAOperator op, const CColumnNullValueExcluded* a,
                                                                const CColumnNullValueExcluded* b) {
  if ((a == nullptr && b == nullptr) || (op == NA_OP_OR && (a == nullptr || b == nullptr))) return TRUE;
  if (a != nullptr && !bCopyColumnValuesNullSelected(a, 0)) return FALSE;
  if (b == nullptr) return TRUE;
  if (a == nullptr) return bCopyColumnValuesNullSelected(b, 0);
  return bCombineColumnValuesNullSelected(op, b);
}

BOOL CColumnNullValueExcluded::bCopyColumnValuesNullSelected(const CColumnNullValueExcluded* other, int negate) {
  if (other == nullptr) return TRUE;
  const int n = other->m_tabColumn.nGetCount();
  for (int i = 0; i < n; ++i) {
    const BOOL selected = other->m_tabSelected[i];
    if (!_bAppend(other->m_tabColumn[i], negate != 0 ? !selected : selected)) return FALSE;
  }
  return TRUE;
}

void CColumnNullValueExcluded::Reset() {
  m_tabColumn.Supprime(0, m_tabColumn.nGetCount());
  m_tabSelected.Supprime(0, m_tabSelected.nGetCount());
}

// ================================================================ CNAUserSearch

CNAUserSearch::~CNAUserSearch() { CancelUserSearch(); }

void CNAUserSearch::SetUserSearch(INAItemDescription* item, const CAny* value, unsigned int flags) {
  // The item and value may be this search's own; every seek sets them, copied once (the item
  // most often the one already held).
  if (item != m_piItem) {
    if (item != nullptr) item->ExternalAddRef();
    if (m_piItem != nullptr) m_piItem->nExternalRelease();
    m_piItem = item;
  }
  if (value == nullptr)
    m_clValue = CAny();
  else if (value != &m_clValue)
    m_clValue.AssignLike(*value);
  m_dwFlags = flags;
}

void CNAUserSearch::CancelUserSearch() {
  if (m_piItem != nullptr) m_piItem->nExternalRelease();
  m_piItem = nullptr;
  m_clValue.__SetType(ZV_VIDE, 0);
  m_dwFlags = 0;
}

void CNAUserSearch::Copy(const CNAUserSearch* other) {
  if (other == this) return;
  if (other == nullptr || other->m_piItem == nullptr)
    CancelUserSearch();
  else
    SetUserSearch(other->m_piItem, &other->m_clValue, other->m_dwFlags);
}

BOOL CNAUserSearch::bGetHTrouve(CNARecord* record) const {
  if (m_piItem == nullptr) return TRUE;
  CNAColumn* column = record != nullptr ? record->pclGetColumnNoRef(m_piItem) : nullptr;
  if (column == nullptr) return FALSE;
  return column->bSameValue(&m_clValue, (m_dwFlags & kPrefix) != 0 ? NA_SAMEVALUE_PREFIX : 0);
}

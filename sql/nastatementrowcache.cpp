// The row-cache side of CNAStatement's read: a row the fetch has just appended to the row cache
// from the current value is handed out without reading its bytes back.
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "access/narecordid.h"
#include "sql/nakjrecord.h"
#include "sql/nastatement.h"

void CNAStatement::_RestaureFetchedRow(int index) {
  CNARecordValue* original = m_pclRecord != nullptr ? m_pclRecord->pclGetOriginalValueNoRef() : nullptr;
  CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  CNAKJRecord* to = original != nullptr ? original->pclGetNAKJRecord() : nullptr;
  const CNAKJRecord* from = current != nullptr ? current->pclGetNAKJRecord() : nullptr;
  const CNARecordId* id = original != nullptr ? original->pclGetRecordIdNoRef() : nullptr;
  // Read back, the row would put the current bytes into the original value and copy the original
  // value back into the current one. Anything more than bytes, a state and an identifier over the
  // record's own bytes (a template to take, memos, another kind of identifier, another layout)
  // goes the whole way.
  // A pending row is the current value's, plain and without memos.
  const bool held = m_pclRecordCache != nullptr &&
                    (index >= m_pclRecordCache->nGetCount()
                         ? index < _nCacheRows()
                         : m_pclRecordCache->bRecordInCache(static_cast<unsigned int>(index)) &&
                               !m_pclRecordCache->bMemoInCache(index));
  const bool plain = to != nullptr && from != nullptr && original != current && held &&
                     original->pclGetTabMemoNoRef() == nullptr &&
                     current->pclGetTabMemoNoRef() == nullptr &&
                     (id == nullptr || id->eGetKind() == NA_RECORDID_RECORDVALUES) && to->Copy(from);
  if (!plain) {
    _RestaureRecordFromCache(index);
    return;
  }
  current->SetState(original->eGetState());
  if (id != nullptr) current->bCopyRecordID(original->pclGetRecordIdNoRef());
  m_bRowFromCache = 1;
  m_llCurrentRecord = index;
}

// A statement told of a write on its data access (its own or a sibling's): the rows it holds are
// kept right (a deleted row marked and skipped, an updated row shown in its new version), and a
// browse the write may have moved is marked to be rebuilt or put back on its record.
#include <new>

#include "access/nadataaccess.h"
#include "access/naposition.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "access/natablecache.h"
#include "access/natablecacheindex.h"
#include "common/refhashtable.h"
#include "driver/naerror.h"
#include "sql/nacolumn.h"
#include "sql/nastatement.h"

namespace {
enum : unsigned int { kKeepAsOriginal = 0x40, kContinue = 0x4000 };
}  // namespace

void CNAStatement::OnNotifyOperation(eNAQUERYTYPE type, int row, CNAStatement* writer, NA_WRITEPARSEFLAGS flags,
                                     CNARecordValue* original) {
  // An index moves off an entry it removes: a browse standing on the deleted row is put back on
  // its place, or its next move would pass over the row that followed it.
  bool leftEntry = false;
  // Whether a deleted row is the one this browse stands on (marked there), not another it holds.
  bool ownRowDeleted = true;
  if (writer != this) {
    if (m_pclTableCacheIndex != nullptr) {
      leftEntry = type == NA_QUERY_DELETE && row >= 0 && !m_bOutOfRange && m_pclTableCacheIndex->nGetCurrentRecordId() == row;
      m_pclTableCacheIndex->OnNotifyOperation(type, row, flags);
    } else if (type == NA_QUERY_INSERT) {
      OnNotifyInsertOperation(writer, flags);
    } else if (type == NA_QUERY_DELETE) {
      ownRowDeleted = OnNotifyDeleteOperation(writer, flags) != FALSE;
    } else if (type == NA_QUERY_UPDATE) {
      OnNotifyUpdateOperation(writer, flags);
    }
  }
  const bool onRow = m_llCurrentRecord >= 0;
  bool rebuild = false;
  if (m_bParseStarted) {
    if (type == NA_QUERY_INSERT) {
      rebuild = true;
    } else if (type == NA_QUERY_UPDATE && onRow) {
      rebuild = true;
      if (original != nullptr && pclGetStmtOriginalRecord() != nullptr && original->bEquals(pclGetStmtOriginalRecord(), 1) &&
          _bBrowseKeyKept()) {
        // The row keeps its place: the browse shows its new version when it comes back to it.
        rebuild = false;
        const int id = m_pclDataAccess != nullptr ? m_pclDataAccess->nKeepCurrentRecordSave() : -1;
        const long long at = m_llCurrentRecord - m_nBlockBase;
        if (id != -1 && !bCacheEnabled()) bKeepModifiedRecordSave(at, id);
      }
    } else if (type == NA_QUERY_UPDATE) {
      _KeepPlaceOfRowToPutBack(original);
    } else if (type == NA_QUERY_DELETE && onRow && m_eParseNeedUpdate != NA_PARSE_RERUN) {
      // A row the browse marked deleted (the current one, or with a row cache any row it holds)
      // is skipped by the next move; any other goes by a rebuild.
      if (bCacheEnabled()) {
        _KeepPendingRows();
        const int at = m_pclRecordCache->nGetRecordIndice(_pclDeletedValue(writer));
        rebuild = leftEntry || at < 0 || !m_pclRecordCache->_bRecordDeleted(at);
      } else {
        // A row marked deleted earlier says nothing of another row deleted now: that one is still
        // in the rows held, and only a rebuild leaves it out.
        rebuild = !m_bCurrentRowDeleted || !ownRowDeleted;
      }
    }
  }
  if ((flags & kKeepAsOriginal) != 0) bSetStmtOriginalRecord(NA_PARSE_CURRENT);
  if (rebuild)
    bSetParseNeedUpdate(m_pclTableCacheIndex == nullptr && m_pclRecordCache == nullptr ? NA_PARSE_RERUN
                                                                                      : NA_PARSE_REPLACE);
}

bool CNAStatement::_bBrowseKeyKept() {
  CNAColumn* column = m_pclRecord != nullptr ? m_pclRecord->pclGetColumnNoRef(m_csBrowseItem.pszGet()) : nullptr;
  CAny was;
  return column != nullptr && !column->bIsComposedKey() && column->bGetOriginalValue(&was, 0) &&
         column->bSameValue(&was, 0);
}

void CNAStatement::_KeepPlaceOfRowToPutBack(const CNARecordValue* original) {
  if (m_eParseNeedUpdate == NA_PARSE_UPTODATE || m_nRecordSaveId == -1 || original == nullptr ||
      m_pclDataAccess == nullptr || m_pclRecord == nullptr)
    return;
  // The saves took the write first: the browse's save holds the row as written only when the
  // write was of its row.
  CNARecordCachePosition* saves = m_pclDataAccess->pclGetRecordSaveCacheNoRef();
  const CNARecordValue* written = m_pclRecord->pclGetCurrentValueNoRef();
  if (saves == nullptr || written == nullptr || !saves->bEquals(m_nRecordSaveId, written, 0) || _bBrowseKeyKept())
    return;
  const int id = m_pclDataAccess->_nKeepRecordSave(original);
  if (id != -1) _SetRecordSaveId(id);
}

void CNAStatement::OnNotifyInsertOperation(CNAStatement* writer, NA_WRITEPARSEFLAGS flags) {
  if ((m_dwParseFlags & kContinue) == 0 && (flags & kKeepAsOriginal) == 0) return;
  // Only a cache that holds the whole result: one still filling would get the row again from a
  // later block of the server's.
  if (!bCacheCompleted() || m_pclDataAccess == nullptr) return;
  // A row cache that is the access's table cache got the row from the access already.
  const CNATableCache* table = m_pclDataAccess->pclGetTableCacheNoRef();
  if (table != nullptr && table->bIsRecordCache(m_pclRecordCache)) return;
  const CNARecord* record = writer != nullptr && writer->m_pclRecord != nullptr ? writer->m_pclRecord : m_pclRecord;
  CNARecordValue* inserted = record != nullptr ? record->pclGetCurrentValueNoRef() : nullptr;
  if (inserted == nullptr) return;
  _KeepPendingRows();
  const int reversed = bInvertFetch() ? 1 : 0;
  const int at = m_pclRecordCache->nOnNotifyOperation(NA_QUERY_INSERT, inserted, nullptr, flags, reversed);
  if (at < 0) return;
  // A reversed cache took the row first: every row moved up by one, and places saved by row
  // number are found again by their records.
  if (reversed) _InvalidatePositionRowIds();
  // The written row becomes the browse's own record (OnNotifyOperation): the browse stands on it.
  if ((flags & kKeepAsOriginal) != 0) {
    m_llCurrentRecord = at;
    m_bCurrentRowDeleted = 0;
  } else if (reversed && m_llCurrentRecord >= 0) {
    // The browse keeps its row.
    ++m_llCurrentRecord;
  }
}

void CNAStatement::OnNotifyUpdateOperation(CNAStatement*, NA_WRITEPARSEFLAGS flags) {
  // The row cache shows the row as written when the browse comes back to it.
  if (bCacheEnabled() && m_pclDataAccess != nullptr) {
    _KeepPendingRows();
    m_pclDataAccess->nUpdateRecordInCache(flags, m_pclRecordCache);
  }
}

CNARecordValue* CNAStatement::_pclDeletedValue(CNAStatement* writer) const {
  const CNARecord* record = writer != nullptr && writer->m_pclRecord != nullptr ? writer->m_pclRecord : m_pclRecord;
  return record != nullptr ? record->pclGetOriginalValueNoRef() : nullptr;
}

BOOL CNAStatement::OnNotifyDeleteOperation(CNAStatement* writer, NA_WRITEPARSEFLAGS flags) {
  CNARecordValue* deleted = _pclDeletedValue(writer);
  if (deleted == nullptr) return FALSE;
  if (bCacheEnabled()) {
    // The row cache keeps the row marked deleted: moves pass over it, and the places saved on it
    // come back by search.
    _KeepPendingRows();
    const int at = m_pclRecordCache->nOnNotifyOperation(NA_QUERY_DELETE, nullptr, deleted, flags, 0);
    if (at >= 0) {
      _UpdateSavedPositionAfterDelete(at);
      if (at == m_llCurrentRecord) m_bCurrentRowDeleted = 1;
    }
  }
  if (pclGetStmtOriginalRecord() == nullptr || !deleted->bEquals(pclGetStmtOriginalRecord(), 0)) return FALSE;
  if (m_eParseNeedUpdate == NA_PARSE_REPLACE) {
    m_eParseNeedUpdate = NA_PARSE_RERUN;
    m_bPlainReady = 0;
    return TRUE;
  }
  if (m_eParseNeedUpdate == NA_PARSE_RERUN || bCacheEnabled()) return TRUE;
  _UpdateSavedPositionAfterDelete(m_llCurrentRecord);
  const long long at = m_llCurrentRecord - m_nBlockBase;
  if (m_pclStatementSQL == nullptr || at < 0 || at >= m_pclStatementSQL->llGetRowCount()) return TRUE;
  // A row deleted once already is counted off once.
  if (m_pnRecordSave != nullptr && m_pnRecordSave[at] == -2) return TRUE;
  if (!bKeepModifiedRecordSave(at, -1)) return FALSE;
  m_pnRecordSave[at] = -2;
  ++m_nDeletedRows;
  m_bCurrentRowDeleted = 1;
  return TRUE;
}

void CNAStatement::_UpdateSavedPositionAfterDelete(long long row) {
  if (m_pTabSavedPosition == nullptr || row < 0) return;
  unsigned int cursor = 0;
  void* value = nullptr;
  void* key = nullptr;
  while (m_pTabSavedPosition->bParseTable(&cursor, FALSE, &value, &key)) {
    auto* position = static_cast<CNAPosition*>(value);
    if (position != nullptr && position->nGetRowIndex() == row) position->SetDeleted();
  }
}

// The table-cache side of CNAStatement: a browse moved onto the access's table cache and read
// through a client-side index on its item, put back in that index after a rebuild, and let go
// when the table cache goes.
//
// While an index is held, the statement's row cache is the table cache's full cache and rows
// are row indexes of it; the index, not the row order, says which row comes next.
#include <utility>

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "access/natablecache.h"
#include "access/natablecacheindex.h"
#include "driver/inadatasourcedescription.h"
#include "sql/inaitemdescription.h"
#include "sql/nastatement.h"

using naguards::CHeldItemDesc;

void CNAStatement::_SetRecordCache(CNARecordCache* cache) {
  _EndPlainStep();
  if (cache == m_pclRecordCache) return;
  if (cache != nullptr) cache->AddRef();
  if (m_pclRecordCache != nullptr) {
    _LeavePendingRows();
    m_pclRecordCache->nRelease();
  }
  m_pclRecordCache = cache;
}

void CNAStatement::_ReleaseTableCacheIndex() {
  CNATableCacheIndex* index = std::exchange(m_pclTableCacheIndex, nullptr);
  if (index != nullptr) index->dwRelease();
}

BOOL CNAStatement::_bCreateTableCacheIndex() {
  CNATableCache* cache = m_pclDataAccess != nullptr ? m_pclDataAccess->pclGetTableCacheNoRef() : nullptr;
  if (cache == nullptr || m_pclRecord == nullptr || m_piDescription == nullptr) return FALSE;
  // Taking the full cache may read the rest of a result and move browses: the rebuild point
  // outlives it.
  const int saved = m_nRecordSaveId;
  const ePARSENEEDUPDATECAUSE cause = m_eParseNeedUpdate;
  if (saved != -1) m_pclDataAccess->AddRefRecordSave(saved);
  m_csParseItem = m_csBrowseItem.pszGet();
  CHeldItemDesc item(m_piDescription->piNAGetItem(m_csBrowseItem.pszGet()));
  CNAColumn* column = item.get() != nullptr ? m_pclRecord->pclGetColumnNoRef(item.get()) : nullptr;
  CNATableCacheIndex* index = column != nullptr ? cache->pclGetCacheIndex(this, column) : nullptr;
  if (index != nullptr) {
    _ReleaseTableCacheIndex();
    m_pclTableCacheIndex = index;
    _SetRecordCache(index->pclGetRecordCacheNoRef());
    // Rows come from the full cache now: the server's result and its row marks are done with.
    delete[] m_pnRecordSave;
    m_pnRecordSave = nullptr;
    m_nDeletedRows = 0;
    // The index's order is the browse's: no direction of the SELECT that was let go applies.
    m_bReverse = 0;
    if (m_pclStatementSQL != nullptr) m_pclStatementSQL->bReset();
  }
  m_eParseNeedUpdate = cause;
  m_bPlainReady = 0;
  _SetRecordSaveId(saved);
  if (saved != -1) m_pclDataAccess->nReleaseRecordSave(saved);
  return index != nullptr ? TRUE : FALSE;
}

BOOL CNAStatement::bOpenUsingTableCache() {
  if (m_pclTableCacheIndex != nullptr) return bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
  CNATableCache* cache = m_pclDataAccess != nullptr ? m_pclDataAccess->pclGetTableCacheNoRef() : nullptr;
  if (cache == nullptr || cache->pclGetFullCache() == nullptr) return FALSE;
  Close();
  if (!_bCreateTableCacheIndex()) return FALSE;
  SetParseStarted();
  return TRUE;
}

BOOL CNAStatement::DestroyCacheIndex() {
  if (m_pclTableCacheIndex == nullptr) return TRUE;
  BOOL ok = TRUE;
  if (m_bParseStarted) {
    if (m_bOutOfRange || m_llCurrentRecord < 0) {
      m_bCurrentRecordLost = 1;
      m_bOutOfRange = 1;
      m_bPlainReady = 0;
      m_bFound = 0;
    } else {
      ok = bSetParseNeedUpdate(NA_PARSE_REPLACE);
    }
  }
  _ReleaseTableCacheIndex();
  _SetRecordCache(nullptr);
  // The row indexes named rows of the cache that went.
  _InvalidatePositionRowIds();
  m_llCurrentRecord = -1;
  return ok;
}

BOOL CNAStatement::_bFetchCacheIndex(eNA_PARSEDIRECTION direction, long long count, long long* moved, int* out) {
  *out = 1;
  *moved = 0;
  CNATableCacheIndex* index = m_pclTableCacheIndex;
  int row = -1;
  unsigned int before = 0;
  if (direction == NA_PARSE_CURRENT || count == 0) {
    row = m_nOutSide == 0 ? index->nGetCurrentRecordId() : -1;
  } else {
    const int n = count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(count);
    if (!index->bGetRecordPosition(direction, n, &row, &before)) return FALSE;
    if (row < 0) _SetOutSide(direction == NA_PARSE_FIRST || direction == NA_PARSE_NEXT ? 1 : -1);
  }
  m_nIndexEqualBefore = before;
  if (row < 0) {
    m_llCurrentRecord = -1;
    return TRUE;
  }
  m_nOutSide = 0;
  _RestaureRecordFromCache(row);
  if (!m_bRowFromCache) return FALSE;
  m_bCurrentRowDeleted = 0;
  *moved = count;
  *out = 0;
  return TRUE;
}

BOOL CNAStatement::bUpdateParsePositionInCacheIndex(eNA_PARSEDIRECTION* direction, long long* count) {
  CNATableCacheIndex* index = m_pclTableCacheIndex;
  const int id = m_nRecordSaveId;
  if (id == -1) return bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
  // The index looks for the saved record by the record's original value.
  if (m_pclDataAccess == nullptr || !m_pclDataAccess->bRestoreOriginalRecordSave(id)) return FALSE;
  // The row is told from its equal keys by its whole record: the rank among equal keys says
  // nothing of rows equal in every value, which are all the same row to the host.
  int found = 0;
  if (!index->bSetCurrentPos(-1, 0, &found)) return FALSE;
  // A key held once is taken as found whatever its row: the row must be the saved one too.
  const int at = index->nGetCurrentRecordId();
  CNARecordValue* saved = m_pclRecord->pclGetOriginalValueNoRef();
  if (found && (at < 0 || saved == nullptr || !m_pclRecordCache->bEquals(at, saved, 1))) found = 0;
  m_nOutSide = 0;
  bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
  // The browse stands on the saved row again, or (gone) on no row a position could name.
  m_llCurrentRecord = found ? at : -1;
  if (found) return TRUE;
  const bool next = *direction == NA_PARSE_NEXT;
  if (index->nGetCurrentRecordId() >= 0) {
    // On the row that followed it: that row is the first next reads.
    if (next) --*count;
  } else {
    // Every row lies before it: previous reads the last one, next none.
    int row = -1;
    if (!index->bGetRecordPosition(NA_PARSE_LAST, 1, &row, nullptr)) return FALSE;
    if (row < 0) {
      _SetOutSide(next ? 1 : -1);
      return TRUE;
    }
    if (!next) --*count;
  }
  if (*count <= 0) {
    *direction = NA_PARSE_CURRENT;
    *count = 0;
  }
  return TRUE;
}

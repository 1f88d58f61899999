// The table-cache choices of the reading road: which first and last reads of a query the
// access's table cache serves, and when a statement moves onto an index of it.
#include <cwchar>

#include "access/nadataaccess.h"
#include "access/natablecache.h"
#include "driver/naconnectiondescription.h"
#include "sql/nastatement.h"
#include "sql/sqlparserinfo.h"

namespace {

enum : unsigned int { kReuse = 0x2000, kNoRowCache = 0x10000, kNoCache = 0x100000 };
constexpr unsigned int kContinue = NA_WPF_CACHE, kDefaultItem = NA_WPF_DEFAULT_PARSE_ITEM;

}  // namespace

BOOL CNADataAccess::_bTableCacheRoad(NA_WRITEPARSEFLAGS flags) {
  if (!m_bSourceIsQuery || (flags & (kNoRowCache | kNoCache)) != 0) return FALSE;
  if ((flags & kContinue) != 0 || bRequeteSansCorrection()) return TRUE;
  return m_pclSourceQuery != nullptr && m_pclSourceQuery->bQueryResultsetLimited(m_pclConnection) ? TRUE : FALSE;
}

BOOL CNADataAccess::_bReadsTableCache(const CNAStatement* stmt) const {
  if (m_pclTableCache == nullptr) return FALSE;
  if (stmt->pclGetTableCacheIndexNoRef() != nullptr || m_pclTableCache->bIsStatementParse(stmt)) return TRUE;
  return m_pclTableCache->bIsRecordCache(stmt->pclGetRecordCacheNoRef());
}

BOOL CNADataAccess::_bChooseTableCache(CNAStatement* stmt, const wchar_t* item, NA_WRITEPARSEFLAGS flags, int* reopen) {
  const bool reuse = *reopen == 0 && (flags & kReuse) != 0;
  if (reuse && m_pclTableCache != nullptr) {
    const bool filling = !m_pclTableCache->bCacheCompleted();
    // The statement holding the cache's rows reads them in the query's own order.
    const bool own = stmt->pclGetTableCacheIndexNoRef() == nullptr &&
                     m_pclTableCache->bIsRecordCache(stmt->pclGetRecordCacheNoRef());
    const bool goOn = own || ((flags & kDefaultItem) != 0 && bRequeteSansCorrection()) ||
                      (filling && wcscasecmp(item != nullptr ? item : L"", m_csLastParseItem.pszGet()) == 0) ||
                      (filling && (flags & kDefaultItem) != 0) ||
                      (m_pclConnection != nullptr && m_pclConnection->bIsSQLService());
    return goOn ? TRUE : _bOpenOnTableCache(stmt);
  }
  if (!_bCreateNewTableCache(stmt)) return FALSE;
  // The rows the statement already holds fill the new cache when they are the whole browse.
  if (reuse && stmt->bCacheEnabled() && stmt->bFilterUnchanged() && !stmt->bExistRechercheObject() &&
      stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE && stmt->llGetRecordLimit() == CNAStatement::NO_LIMIT &&
      stmt->bGetFirstBlock())
    m_pclTableCache->bSetStatementParse(stmt);
  else
    *reopen = 1;
  return TRUE;
}

BOOL CNADataAccess::_bOpenOnTableCache(CNAStatement* stmt) {
  const BOOL moved = stmt->bOpenUsingTableCache();
  // Taking the cache whole may have put another browse back: stmt's stays the current one.
  m_pclLastStatement = stmt;
  return moved;
}

BOOL CNADataAccess::_bMoveOntoTableCache(CNAStatement* stmt) {
  // Moving closes the browse, which drops its rebuild point: it is held across and given back.
  const ePARSENEEDUPDATECAUSE cause = stmt->eParseNeedUpdate();
  const int save = stmt->nGetRecordSaveID();
  if (save != -1) AddRefRecordSave(save);
  const BOOL moved = _bOpenOnTableCache(stmt);
  if (moved) stmt->bSetParseNeedUpdate(cause, save);
  if (save != -1) nReleaseRecordSave(save);
  return moved;
}

// The step road of CNADataAccess::bHLitxxx: a next or previous read that moves the current
// statement by one row without the general road's choices (see _bStepRead in nadataaccess.h).
#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/natablecache.h"
#include "sql/nastatement.h"

using naguards::CHeldStatement;

// bHLitxxx asked the access's part: a next or previous read, the step road on, no query run being
// handed over, no table cache, not the default item, a current statement.
bool CNADataAccess::_bStepRead(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                               eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags, BOOL* read) {
  // The general road would find the same statement, keep it current and carry no filter. It is
  // held only once it is known to be the current one.
  CNAStatement* stmt = _pclPeekStatement(item);
  if (stmt == nullptr || stmt != m_pclLastStatement || !stmt->bGetParseStarted() || !stmt->bFilterUnchanged() ||
      stmt->bExistRechercheObject())
    return false;
  CHeldStatement held(CHeldStatement::Take(stmt));
  stmt->AnnuleRechercheUser();
  stmt->SetParseFlags(flags);
  stmt->SetBrowseItem(item);
  const bool against = stmt->bInvertFetch() ? dir == NA_PARSE_NEXT : dir == NA_PARSE_PREVIOUS;
  BOOL ok;
  if (stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE && !stmt->bGetOutOfRange() && !stmt->bGetStay() &&
      stmt->bGetOpened() && (!against || stmt->bCacheEnabled() || stmt->bCanFetchBackward()))
    ok = stmt->bSetLockType(lock) ? _bFetchMove(stmt, item, dir, 1, setRead, lock, lockOut, flags) : FALSE;
  else
    ok = _bFetch(stmt, item, dir, 1, setRead, lock, lockOut, flags, 0);
  *read = ok;
  if (ok) return true;
  ok = _bRepriseErreurParcours(stmt, item, dir, lock, lockOut, flags);
  // A failed read lets a table cache the fetch made go, as on the general road.
  if (!ok && m_pclTableCache != nullptr &&
      !(m_pclTableCache->pclGetStatementParseNoRef() != nullptr && !m_pclTableCache->bIsStatementParse(stmt)))
    _FreeTableCache();
  *read = ok;
  return true;
}

// The step road of CNADataAccess::bHLitxxx, its parts kept out of line (the ones in line are in
// nadataaccessstep.h): a next or previous read that moves the current statement by one row
// without the general road's choices (see _stStepRead in nadataaccess.h); and the move every
// read ends with, _bFetchMove.
#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/nadataaccessstep.h"
#include "access/naposition.h"
#include "access/natablecache.h"
#include "sql/nastatement.h"

using naguards::CHeldStatement;

// A fetch that failed. FALSE.
[[gnu::noinline, gnu::cold]] BOOL CNADataAccess::_bFetchMoveFailed(CNAStatement* stmt) {
  // A block the server failed left no result: the next read finds the host's record again
  // (on a reopened session) and goes on from there.
  if (!stmt->bGetOpened() && stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE) {
    const int id = nKeepOriginalRecordSave(nullptr);
    if (id != -1) stmt->bSetParseNeedUpdate(NA_PARSE_REPLACE, id);
  }
  return FALSE;
}

// A long skip's rest, left by the SELECT's small first block: the move asked is the first
// block's rows and the rest. false when the further fetch failed.
[[gnu::noinline]] bool CNADataAccess::_bFetchMoveRest(CNAStatement* stmt, eNA_PARSEDIRECTION dir, int setRead,
                                                      long long* count, long long* moved, int* out) {
  const long long rest = stmt->llGetRemainingSkip();
  stmt->SetRecordLimit(stmt->llGetRecordLimit(), 0);
  *count += rest;
  if (*out) return true;
  const eNA_PARSEDIRECTION on = dir == NA_PARSE_FIRST ? NA_PARSE_NEXT : dir == NA_PARSE_LAST ? NA_PARSE_PREVIOUS : dir;
  long long more = 0;
  if (!stmt->bFetch(on, setRead, rest, &more)) return false;
  *moved += more;
  stmt->HEndehors(out);
  return true;
}

// A lock that may be refused after the row is read: the browse goes back to where it stood.
[[gnu::noinline]] BOOL CNADataAccess::_bFetchMoveLocked(CNAStatement* stmt, const wchar_t* item,
                                                        eNA_PARSEDIRECTION dir, long long count, int setRead,
                                                        eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut,
                                                        NA_WRITEPARSEFLAGS flags) {
  CHeldRef<CNAPosition> before(_pclPositionBeforeLock(stmt));
  long long moved = 0;
  if (!stmt->bFetch(dir, setRead, count, &moved)) return _bFetchMoveFailed(stmt);
  return _bFetchMoveLanded(stmt, item, dir, count, moved, setRead, lock, lockOut, flags, before.get());
}

BOOL CNADataAccess::_bFetchMove(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                                int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags) {
  return _bFetchMoveInLine(stmt, item, dir, count, setRead, lock, lockOut, flags);
}

// _stStepRead's road when the last read was no plain step.
[[gnu::noinline]] bool CNADataAccess::_bStepChecked(const wchar_t* name, bool known, uint32_t stamp,
                                                    const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead,
                                                    eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut,
                                                    NA_WRITEPARSEFLAGS flags, BOOL* read) {
  CNAStatement* stmt = known ? m_pclLastStatement : _pclPeekStatement(name);
  if (stmt == nullptr || stmt != m_pclLastStatement || !stmt->bGetParseStarted() || !stmt->bFilterUnchanged() ||
      stmt->bExistRechercheObject())
    return false;
  CHeldStatement held(CHeldStatement::Take(stmt));
  stmt->AnnuleRechercheUser();
  stmt->SetParseFlags(flags);
  if (!known) {
    stmt->SetBrowseItem(name);
    stmt->NoteFoundAt(stamp);
  }
  const bool ready = stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE && !stmt->bGetOutOfRange() && !stmt->bGetStay() &&
                     stmt->bGetOpened();
  *read = _bStepMove(stmt, item, dir, setRead, lock, lockOut, flags, ready);
  return true;
}

// The step road's failed read: the backend's recovery, and a table cache the fetch made let go
// when it fails too, as on the general road.
[[gnu::noinline]] BOOL CNADataAccess::_bStepReadFailed(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir,
                                                       eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut,
                                                       NA_WRITEPARSEFLAGS flags) {
  const BOOL ok = _bRepriseErreurParcours(stmt, item, dir, lock, lockOut, flags);
  if (!ok && m_pclTableCache != nullptr &&
      !(m_pclTableCache->pclGetStatementParseNoRef() != nullptr && !m_pclTableCache->bIsStatementParse(stmt)))
    _FreeTableCache();
  return ok;
}

[[gnu::noinline]] BOOL CNADataAccess::_bHostReadRest(const STReadCall& c, bool generic) {
  if (generic && _bStepRoadOpen(c.dir, c.flags)) {
    const STStepRead step = _stStepRead<false>(c.item, c.dir, c.setRead, c.lock, c.lockOut, c.flags);
    if (step.taken) return step.read;
  }
  AddRef();
  CHeldRef<CNADataAccess> self(this);
  return generic ? _bReadGeneral(c.item, c.dir, c.setRead, c.lock, c.lockOut, c.flags)
                 : bHLitxxx(c.item, c.dir, c.setRead, c.lock, c.lockOut, c.flags);
}

[[gnu::noinline]] BOOL CNADataAccess::_bStepFetchHeld(const STReadCall& c, CNAStatement* stmt) {
  CHeldStatement held(CHeldStatement::Take(stmt));
  return _bFetch(stmt, c.item, c.dir, 1, c.setRead, c.lock, c.lockOut, c.flags, 0);
}

[[gnu::noinline]] BOOL CNADataAccess::_bStepFailedHeld(const STReadCall& c, CNAStatement* stmt) {
  CHeldStatement held(CHeldStatement::Take(stmt));
  return _bStepReadFailed(stmt, c.item, c.dir, c.lock, c.lockOut, c.flags);
}

[[gnu::noinline]] BOOL CNADataAccess::_bFetchMoveLockedOf(const STReadCall& c, CNAStatement* stmt, long long count) {
  return _bFetchMoveLocked(stmt, c.item, c.dir, count, c.setRead, c.lock, c.lockOut, c.flags);
}

[[gnu::noinline]] BOOL CNADataAccess::_bContinueSearchOf(const STReadCall& c, CNAStatement* stmt, long long count) {
  return _bContinueSearch(stmt, c.item, c.dir, count, c.setRead, c.lockOut, c.flags);
}

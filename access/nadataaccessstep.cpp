// The step road of CNADataAccess::bHLitxxx: a next or previous read that moves the current
// statement by one row without the general road's choices (see _bStepRead in nadataaccess.h);
// and the move every read ends with, _bFetchMove.
#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
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

// The move's end once the fetch moved by moved rows; before: where a lock of kind 2 or 3 puts
// the browse back when it is refused (null for the other locks).
[[gnu::always_inline]] inline BOOL CNADataAccess::_bFetchMoveLanded(CNAStatement* stmt, const wchar_t* item,
                                                                    eNA_PARSEDIRECTION dir, long long count,
                                                                    long long moved, int setRead, eNA_LOCKTYPE lock,
                                                                    eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags,
                                                                    CNAPosition* before) {
  int out = 1;
  stmt->HEndehors(&out);
  if (stmt->llGetRemainingSkip() > 0 && !_bFetchMoveRest(stmt, dir, setRead, &count, &moved, &out)) return FALSE;
  if (!out) {
    if (bLockUnlockRecord(stmt, lock, 0, lockOut)) return TRUE;
    if (before != nullptr) {
      // Without a row cache a place counts in the block read: once the move read a further
      // block it names another row, so the browse is found again by its record instead.
      if (!stmt->bCacheEnabled()) before->ClearSet();
      stmt->bSetPosition(before, static_cast<eNAPOSITION>(0));
    }
    return FALSE;
  }
  // A seek's rows ran out: the browse goes on past them.
  if (m_pclTableCache == nullptr && count - moved > 0) return _bContinueSearch(stmt, item, dir, count - moved, setRead, lockOut, flags);
  return TRUE;
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

// _bFetchMove's body, in line in the step road too, where a one-row move folds its checks away
// and the rarer roads stay out of line.
[[gnu::always_inline]] inline BOOL CNADataAccess::_bFetchMoveInLine(CNAStatement* stmt, const wchar_t* item,
                                                                   eNA_PARSEDIRECTION dir, long long count, int setRead,
                                                                   eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut,
                                                                   NA_WRITEPARSEFLAGS flags) {
  if (setRead == 0 && count == 0) return TRUE;
  if (lock == 2 || lock == 3) return _bFetchMoveLocked(stmt, item, dir, count, setRead, lock, lockOut, flags);
  long long moved = 0;
  if (!stmt->bFetch(dir, setRead, count, &moved)) return _bFetchMoveFailed(stmt);
  return _bFetchMoveLanded(stmt, item, dir, count, moved, setRead, lock, lockOut, flags, nullptr);
}

BOOL CNADataAccess::_bFetchMove(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                                int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags) {
  return _bFetchMoveInLine(stmt, item, dir, count, setRead, lock, lockOut, flags);
}

// The step's move once the statement is ready (no rebuild, inside its open result) or not.
[[gnu::always_inline]] inline BOOL CNADataAccess::_bStepMove(CNAStatement* stmt, const wchar_t* item,
                                                             eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                                                             eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags,
                                                             bool ready) {
  const bool against = stmt->bInvertFetch() ? dir == NA_PARSE_NEXT : dir == NA_PARSE_PREVIOUS;
  BOOL ok;
  if (ready && (!against || stmt->bCacheEnabled() || stmt->bCanFetchBackward()))
    ok = stmt->bSetLockType(lock) ? _bFetchMoveInLine(stmt, item, dir, 1, setRead, lock, lockOut, flags) : FALSE;
  else
    ok = _bFetch(stmt, item, dir, 1, setRead, lock, lockOut, flags, 0);
  return ok != FALSE ? ok : _bStepReadFailed(stmt, item, dir, lock, lockOut, flags);
}

// bHLitxxx asked the access's part: a next or previous read, the step road on, no query run being
// handed over, no table cache, not the default item, a current statement.
bool CNADataAccess::_bStepRead(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                               eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags, BOOL* read) {
  // The general road would find the same statement, keep it current and carry no filter. It is
  // held only once it is known to be the current one. The current one is found again by its
  // browse item's text alone while the statements stayed as they were when it was found for it.
  const wchar_t* name = item != nullptr ? item : L"";
  const uint32_t stamp = m_tabStatement.dwGetStamp();
  CNAStatement* const last = m_pclLastStatement;
  const bool known = last->bFoundAt(stamp) && last->bBrowseItemIs(name);
  // After a plain step every check of _bStepChecked holds: the move's own are left.
  if (!known || !last->bPlainStepReady()) return _bStepChecked(name, known, stamp, item, dir, setRead, lock, lockOut, flags, read);
  CHeldStatement held(CHeldStatement::Take(last));
  last->SetParseFlags(flags);
  *read = _bStepMove(last, item, dir, setRead, lock, lockOut, flags, true);
  return true;
}

// _bStepRead's road when the last read was no plain step.
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

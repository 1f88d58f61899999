// The step road of CNADataAccess::bHLitxxx, in line wherever a read enters it: the access's own
// bHLitxxx and the table's host entry, which thus reads a row without a further call frame. Its
// rarer roads stay out of line in nadataaccessstep.cpp.
#pragma once

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/naposition.h"
#include "sql/nastatement.h"
#include "sql/nastatementstep.h"

// The move's end once the fetch moved by moved rows; before: where a lock of kind 2 or 3 puts
// the browse back when it is refused (null for the other locks).
[[gnu::always_inline]] inline BOOL CNADataAccess::_bFetchMoveLanded(CNAStatement* stmt, const wchar_t* item,
                                                                    eNA_PARSEDIRECTION dir, long long count,
                                                                    long long moved, int setRead, eNA_LOCKTYPE lock,
                                                                    eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags,
                                                                    CNAPosition* before) {
  int out = 1;
  stmt->HEndehors(&out);
  if (stmt->llGetRemainingSkip() > 0) {
    // Copies of its own, so that the one-row move keeps its counts in registers.
    long long more = count, done = moved;
    int left = out;
    if (!_bFetchMoveRest(stmt, dir, setRead, &more, &done, &left)) return FALSE;
    count = more;
    moved = done;
    out = left;
  }
  if (!out) {
    // The generic lock of a row read takes none: TRUE, nothing written.
    if (_bLocksAsGeneric() || bLockUnlockRecord(stmt, lock, 0, lockOut)) return TRUE;
    if (before != nullptr) {
      // Without a row cache a place counts in the block read: once the move read a further
      // block it names another row, so the browse is found again by its record instead.
      if (!stmt->bCacheEnabled()) before->ClearSet();
      stmt->bSetPosition(before, static_cast<eNAPOSITION>(0));
    }
    return FALSE;
  }
  // A seek's rows ran out: the browse goes on past them.
  if (m_pclTableCache == nullptr && count - moved > 0)
    return _bContinueSearchOf(STReadCall{item, dir, setRead, lock, lockOut, flags}, stmt, count - moved);
  return TRUE;
}

// _bFetchMove's body, in line in the step road too, where a one-row move folds its checks away
// and the rarer roads stay out of line.
[[gnu::always_inline]] inline BOOL CNADataAccess::_bFetchMoveInLine(CNAStatement* stmt, const wchar_t* item,
                                                                   eNA_PARSEDIRECTION dir, long long count, int setRead,
                                                                   eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut,
                                                                   NA_WRITEPARSEFLAGS flags) {
  if (setRead == 0 && count == 0) return TRUE;
  if (lock == 2 || lock == 3)
    return _bFetchMoveLockedOf(STReadCall{item, dir, setRead, lock, lockOut, flags}, stmt, count);
  long long moved = 0;
  if (!stmt->bFetch(dir, setRead, count, &moved)) return _bFetchMoveFailed(stmt);
  return _bFetchMoveLanded(stmt, item, dir, count, moved, setRead, lock, lockOut, flags, nullptr);
}

// The step's move once the statement is ready (no rebuild, inside its open result) or not.
[[gnu::always_inline]] inline BOOL CNADataAccess::_bStepMove(CNAStatement* stmt, const wchar_t* item,
                                                             eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                                                             eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags,
                                                             bool ready) {
  // The way against the statement's own order, a move that needs a row cache or a backward fetch.
  const eNA_PARSEDIRECTION against = stmt->bInvertFetch() ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
  BOOL ok;
  if (ready && (dir != against || stmt->bCacheEnabled() || stmt->bCanFetchBackward())) {
    ok = stmt->bSetLockType(lock) ? _bFetchMoveInLine(stmt, item, dir, 1, setRead, lock, lockOut, flags) : FALSE;
  } else {
    ok = _bStepFetchHeld(STReadCall{item, dir, setRead, lock, lockOut, flags}, stmt);
  }
  if (ok != FALSE) return ok;
  return _bStepFailedHeld(STReadCall{item, dir, setRead, lock, lockOut, flags}, stmt);
}

// Whether bHLitxxx may take the step road: a next or previous read, the step road on, no query
// run being handed over, no table cache, not the default item, a current statement.
[[gnu::always_inline]] inline bool CNADataAccess::_bStepRoadOpen(eNA_PARSEDIRECTION dir,
                                                                  NA_WRITEPARSEFLAGS flags) const {
  return (dir == NA_PARSE_NEXT || dir == NA_PARSE_PREVIOUS) && s_bStepRoad && !m_bQueryParseStarted &&
         m_pclTableCache == nullptr && (flags & NA_WPF_DEFAULT_PARSE_ITEM) == 0 && m_pclLastStatement != nullptr;
}

// The step road, once open. The general road would find the same statement, keep it current and
// carry no filter. The current one is found again by its browse item's text alone while the
// statements stayed as they were when it was found for it; after a plain step every check of
// _bStepChecked holds and only the move's own are left: that statement, else null.
[[gnu::always_inline]] inline CNAStatement* CNADataAccess::_pclPlainStep(const wchar_t* item) const {
  CNAStatement* const last = m_pclLastStatement;
  const bool known = last->bFoundAt(m_tabStatement.dwGetStamp()) &&
                     s_bSameItem(item != nullptr ? item : L"", last->pszGetBrowseItem());
  return known && last->bPlainStepReady() ? last : nullptr;
}

// The plain step's move. Only closing the access, its creation, deletion or a new source let its
// statements go, never a read: the plain move takes no reference on the statement, its recovery
// and rebuild do.
[[gnu::always_inline]] inline BOOL CNADataAccess::_bPlainStepMove(CNAStatement* last, const wchar_t* item,
                                                                  eNA_PARSEDIRECTION dir, int setRead,
                                                                  eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut,
                                                                  NA_WRITEPARSEFLAGS flags) {
  last->SetParseFlags(flags);
  // _bStepMove's one-row move, the statement's step in line (bFetch for a step it leaves): a lock
  // that may put the browse back and a move against the statement's order go through _bStepMove.
  const eNA_PARSEDIRECTION against = last->bInvertFetch() ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
  if (dir != against && lock != 2 && lock != 3) {
    last->bSetLockType(lock);
    long long moved = 0;
    int plain = last->nPlainStep(dir, setRead, &moved);
    if (plain < 0) plain = last->bFetch(dir, setRead, 1, &moved);
    return _bPlainStepEnded(last, plain, moved, item, dir, setRead, lock, lockOut, flags);
  }
  return _bPlainStepRest(STReadCall{item, dir, setRead, lock, lockOut, flags}, last);
}

// A one-row step's end once its statement answered plain (TRUE, or FALSE when it failed).
[[gnu::always_inline]] inline BOOL CNADataAccess::_bPlainStepEnded(CNAStatement* last, int plain, long long moved,
                                                                   const wchar_t* item, eNA_PARSEDIRECTION dir,
                                                                   int setRead, eNA_LOCKTYPE lock,
                                                                   eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags) {
  const BOOL ok = plain ? _bFetchMoveLanded(last, item, dir, 1, moved, setRead, lock, lockOut, flags, nullptr)
                        : _bFetchMoveFailed(last);
  if (ok != FALSE) return ok;
  return _bStepFailedHeld(STReadCall{item, dir, setRead, lock, lockOut, flags}, last);
}

// Out of the host entry that inlines the plain step, which it would make too large to be inlined
// in its turn.
[[gnu::noinline]] inline BOOL CNADataAccess::_bPlainStepRest(const STReadCall& c, CNAStatement* last) {
  return _bStepMove(last, c.item, c.dir, c.setRead, c.lock, c.lockOut, c.flags, true);
}

// The step road after anything but a plain step. kHeld: the caller holds this access; else it
// goes without a reference on it for a plain step (only the host's close of the file or of its
// context lets an access go, never a read), and this road, which checks more, takes one.
template <bool kHeld>
[[gnu::always_inline]] inline CNADataAccess::STStepRead CNADataAccess::_stStepRead(const wchar_t* item,
                                                                                  eNA_PARSEDIRECTION dir, int setRead,
                                                                                  eNA_LOCKTYPE lock,
                                                                                  eNA_LOCKTYPE* lockOut,
                                                                                  NA_WRITEPARSEFLAGS flags) {
  const wchar_t* name = item != nullptr ? item : L"";
  const uint32_t stamp = m_tabStatement.dwGetStamp();
  CNAStatement* const last = m_pclLastStatement;
  const bool known = last->bFoundAt(stamp) && last->bBrowseItemIs(name);
  if constexpr (!kHeld) AddRef();
  CHeldRef<CNADataAccess> self(kHeld ? nullptr : this);
  BOOL read = FALSE;
  const bool taken = _bStepChecked(name, known, stamp, item, dir, setRead, lock, lockOut, flags, &read);
  return {taken, read};
}

[[gnu::always_inline]] inline BOOL CNADataAccess::_bReadAsGeneric(const wchar_t* item, eNA_PARSEDIRECTION dir,
                                                                  int setRead, eNA_LOCKTYPE lock,
                                                                  eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags) {
  if (_bStepRoadOpen(dir, flags)) {
    if (CNAStatement* plain = _pclPlainStep(item))
      return _bPlainStepMove(plain, item, dir, setRead, lock, lockOut, flags);
    const STStepRead step = _stStepRead<true>(item, dir, setRead, lock, lockOut, flags);
    if (step.taken) return step.read;
  }
  return _bReadGeneral(item, dir, setRead, lock, lockOut, flags);
}

[[gnu::always_inline]] inline BOOL CNADataAccess::bHostLitxxx(const wchar_t* item, eNA_PARSEDIRECTION dir,
                                                              int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut,
                                                              NA_WRITEPARSEFLAGS flags) {
  // The host's entry holds the mutex quietly (CNADriverMutex::LockQuiet). An armed step and a
  // whole plain step move nothing an armed statement stands for; every other road moves the
  // entry count. The arm asked first: a statement that is not armed pays that test alone.
  // Armed, the step road is open and the locks are taken as generic.
  CNAStatement* const last = m_pclLastStatement;
  if (last != nullptr && last->bArmed() && dir == last->eArmedWay() && (flags & NA_WPF_DEFAULT_PARSE_ITEM) == 0 &&
      setRead != 0 && lock != 2 && lock != 3) {
    if (s_bSameItem(item != nullptr ? item : L"", last->pszGetBrowseItem())) {
      last->SetParseFlags(flags);
      last->bSetLockType(lock);
      long long moved = 0;
      const int plain = last->nArmedStep(dir, &moved);
      // Landed on the row as armed: out of range 0, no rows to skip, locks taken as generic.
      if (plain == CNAStatement::kOnRow) return TRUE;
      // Any other end (the result's, a failure, a landing of its own) lets the arm go.
      CNADriverMutex::s_Moved();
      if (plain >= 0) return _bPlainStepEnded(last, plain, moved, item, dir, setRead, lock, lockOut, flags);
      // The row beyond the result's rows: the road below reads it.
    }
  }
  const bool generic = _bReadsAsGeneric();
  if (generic && _bStepRoadOpen(dir, flags)) {
    if (CNAStatement* plain = _pclPlainStep(item)) {
      plain->ClearSteppedPlain();
      const BOOL ok = _bPlainStepMove(plain, item, dir, setRead, lock, lockOut, flags);
      if (ok == TRUE && plain->bSteppedPlain())
        plain->ArmAfterPlainStep();
      else
        CNADriverMutex::s_Moved();
      return ok;
    }
  }
  CNADriverMutex::s_Moved();
  return _bHostReadRest(STReadCall{item, dir, setRead, lock, lockOut, flags}, generic);
}

// The plain step of CNAStatement::bFetch, in line in the access's step road (nadataaccessstep.h),
// which thus moves a browse one row without a frame of the statement's, and the parts of it that
// bFetch's own plain road shares (nastatementfetch.cpp). Its rarer ends stay out of line there.
#pragma once

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "driver/nadrivermutex.h"
#include "sql/nastatement.h"
#include "sql/nastatementsql.h"

[[gnu::always_inline]] inline void CNAStatement::_StartFetch(eNA_PARSEDIRECTION direction) {
  m_eLastDirection = direction;
  m_bRowFromCache = 0;
  m_bRowForTwin = 0;
  m_bRowValid = 0;
}

[[gnu::always_inline]] inline bool CNAStatement::_bBrowseKeyUnique() const {
  const CNARecord* record = m_pclRecord;
  if (record != nullptr && record == m_clUniqueBrowse.record && record->nGetColumnStamp() == m_clUniqueBrowse.columns)
    return m_clUniqueBrowse.uniqueColumns != 0;
  return _bBrowseKeyUniqueAgain();
}

[[gnu::always_inline]] inline bool CNAStatement::_bPlainKeyUnique() const {
  const CNARecord* record = m_pclRecord;
  if (record == m_clUniqueBrowse.record && record->nGetColumnStamp() == m_clUniqueBrowse.uniqueColumns) return true;
  return _bBrowseKeyUnique();
}

[[gnu::always_inline]] inline bool CNAStatement::_bPlainTwinHolds() const {
  // The row before's landing left the original the record's twin; still the twin, nothing read or
  // wrote the original since, and this row's copy into it is a plain one the access reads as its
  // own.
  const CNARecord* record = m_pclRecord;
  return m_eParseNeedUpdate != NA_PARSE_REPLACE && m_pclDataAccess != nullptr &&
         m_pclDataAccess->bPlainRowReadOf(record) && record->bPlainCopyKeepsTwin(m_pclOriginalRecord);
}

[[gnu::always_inline]] inline bool CNAStatement::_bPlainStepTwinHolds() const {
  // _bPlainTwinHolds where the ready mark holds (nothing but its setters, which clear the mark,
  // changes what it sums): no rebuild asked, a record and an access.
  const CNARecord& record = *m_pclRecord;
  return m_pclDataAccess->bPlainRowReadOf(record) && record.bPlainCopyKeepsTwin(m_pclOriginalRecord);
}

[[gnu::always_inline]] inline void CNAStatement::_PlainTwinLand(int rank) {
  CNARecord* record = m_pclRecord;
  m_nEqualRows = rank;
  record->SetEqualRows(rank);
  record->CopyPlainCurrentToTwinnedOriginal();
  m_bOutOfRange = 0;
  m_bFound = 1;
  m_bParseStarted = 1;
}

// Both plain steps' fetch onto row target of the result, one row on: kOnRow there, else the
// step's answer (the fetch failed, or the result ended).
[[gnu::always_inline]] inline int CNAStatement::_nPlainFetch(CNAStatementSQL* sql, long long target, long long* moved) {
  // bFetch's plain road from here (its _bReadRowAt<true> onto the next row).
  *moved = 1;
  m_bFoundByFetch = 0;
  _StartFetch(NA_PARSE_NEXT);
  if (!sql->bFetch(0)) return _bPlainStepFetchFailed();
  if (sql->bIsEnd()) return _bPlainStepEnd(TRUE, 1);
  // Ready: on a row (m_nOutSide 0), a record, no row marks (what _bUpdateNARecord asks).
  m_llCurrentRecord = m_nBlockBase + target;
  m_bCurrentRowDeleted = 0;
  return kOnRow;
}

// Both plain steps' landing on the row read.
[[gnu::always_inline]] inline void CNAStatement::_PlainStepLand(eNA_PARSEDIRECTION direction) {
  m_bRowValid = 1;
  m_bFoundByFetch = 1;
  m_llLastMoved = 1;
  // No two rows share the key: each row's run starts afresh (-1 from the end: previous, the one
  // after next).
  static_assert(NA_PARSE_PREVIOUS == NA_PARSE_NEXT + 1);
  _PlainTwinLand(NA_PARSE_NEXT - direction);
}

[[gnu::always_inline]] inline int CNAStatement::nPlainStep(eNA_PARSEDIRECTION direction, int update,
                                                            long long* moved) {
  // What bFetch's plain road asks beyond what the step road knew (bPlainStepReady: on a row):
  // the rest of it takes bFetch.
  if (!update) return -1;
  // A step not against the statement's order, where no table-cache index (which ends the plain
  // step) turns it: forward in the result's rows.
  const eNA_PARSEDIRECTION way = NA_PARSE_NEXT;
  if (m_pclRecordCache != nullptr) return m_pclRecordCache->bIsActive() ? _bPlainCacheStep(way, moved) : -1;
  CNAStatementSQL* const sql = m_pclStatementSQL;
  const long long target = sql->llGetPosition() + 1;
  // A browse whose rows may repeat its key takes bFetch, which works out their rank.
  if (target < 0 || target >= sql->llGetRowCount() || !_bPlainKeyUnique()) return -1;
  if (const int fetched = _nPlainFetch(sql, target, moved); fetched != kOnRow) return fetched;
  if (!_bUpdateNARecordFromDB()) return _bPlainStepEnd(FALSE, 1);
  if (!_bPlainStepTwinHolds()) return _bPlainStepEnd(TRUE, 0);
  _PlainStepLand(direction);
  m_bSteppedPlain = 1;
  // Ready, no rows were left to skip, and nothing since set any: the landing need not ask.
  if (m_llRemainingSkip > 0) __builtin_unreachable();
  return TRUE;
}

[[gnu::always_inline]] inline bool CNAStatement::bArmed() const {
  return m_nArmedEntries == CNADriverMutex::s_nEntriesNow();
}

[[gnu::always_inline]] inline int CNAStatement::nArmedStep(eNA_PARSEDIRECTION direction, long long* moved) {
  CNAStatementSQL* const sql = m_pclStatementSQL;
  const long long target = sql->llGetPosition() + 1;
  if (target >= sql->llGetRowCount()) return -1;
  if (const int fetched = _nPlainFetch(sql, target, moved); fetched != kOnRow) return fetched;
  // What a row may change: the texts the row before left noted, this row's lengths; a binding
  // not armed lean asks all of it.
  CNARecordValue* current = m_pclRecord->pclGetCurrentValueNoRef();
  const char* const* texts = nullptr;
  const unsigned long* lengths = nullptr;
  if (!m_bArmedLean || current->bHasServerTexts() || !sql->bGetRowTexts(&texts, &lengths)) [[unlikely]] {
    if (!_bUpdateNARecordFromDB()) return _bPlainStepEnd(FALSE, 1);
    if (!_bPlainStepTwinHolds()) return _bPlainStepEnd(TRUE, 0);
  } else {
    current->SetState(NA_RECORDSTATE_NONE);
    if (!m_clRowBinding.bRunRow(texts, lengths)) return _bPlainStepEnd(FALSE, 1);
    // A row the run left (its texts noted, or read by the binding's own road) is asked as
    // nPlainStep asks it.
    if (!bArmed() && !_bPlainStepTwinHolds()) return _bPlainStepEnd(TRUE, 0);
  }
  _PlainStepLand(direction);
  return kOnRow;
}

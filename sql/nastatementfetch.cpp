// The read side of CNAStatement: moving in the open result, the row cache, further blocks of a
// limited result, the statement's original record, searches and the browse-started state.
//
// Directions inside this file are the server's order of the open result: bFetch mirrors the
// host's direction once for a reversed command. A further block is always asked of the access in
// the host's terms, so that it may come back reversed or not.
#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "access/natablecacheindex.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "sql/nacolumn.h"
#include "sql/naitemdescription.h"
#include "sql/nakjrecord.h"
#include "sql/narecherche.h"
#include "sql/nastatement.h"
#include "sql/nastatementstep.h"

namespace {

enum : int { kSiteRecordLost = 13 };

eNA_PARSEDIRECTION Mirror(eNA_PARSEDIRECTION d) {
  switch (d) {
    case NA_PARSE_FIRST:
      return NA_PARSE_LAST;
    case NA_PARSE_LAST:
      return NA_PARSE_FIRST;
    case NA_PARSE_PREVIOUS:
      return NA_PARSE_NEXT;
    case NA_PARSE_NEXT:
      return NA_PARSE_PREVIOUS;
    default:
      // The current row is the current row whichever way the rows arrive.
      return d;
  }
}

bool Forward(eNA_PARSEDIRECTION d) { return d == NA_PARSE_FIRST || d == NA_PARSE_NEXT; }

// test holds for column, or for a part of the composite key it is.
template <typename F>
bool AnyKeyPart(const CNAColumn* column, F&& test) {
  if (column == nullptr || !column->bIsComposedKey()) return test(column);
  const CRefArray<CNAColumn>* parts = column->pclGetTabComponent();
  for (int k = 0; parts != nullptr && k < parts->nGetCount(); ++k)
    if (test((*parts)[k])) return true;
  return false;
}

// CNAKJRecord::bEquals, asked of every row a browse reads against the row before: rows of a
// browse mostly differ in their first eight bytes already (the flags and the first values).
[[gnu::always_inline]] inline bool bSameRecordBytes(const CNAKJRecord* a, const CNAKJRecord* b) {
  if (b == nullptr) return false;
  if (a->nGetTotalSize() >= 8 && a->nGetTotalSize() == b->nGetTotalSize()) {
    uint64_t x, y;
    memcpy(&x, a->pbyGetNullValuesFlags(), 8);
    memcpy(&y, b->pbyGetNullValuesFlags(), 8);
    if (x != y) return false;
  }
  return a->bEquals(b) != FALSE;
}

}  // namespace

// The record's current and original values as they stood before a move that reads into them
// rows it may not land on (a block's edge row, the rows a row cache fetches on the way): given
// back when the move ends past either end or fails, as a move inside the rows held leaves them,
// the host's own changes included. The statement's own copy of its row and its rank the same
// when the move lands on no row: a position saved there, or a new run, starts from the row the
// browse stood on, not from one it passed. Kept only once such a row is about to be read.
class CNAStatement::CCurrentBeforeMove {
 public:
  explicit CCurrentBeforeMove(CNAStatement* stmt) : m_pclStmt(stmt) {}
  void Keep() {
    CNARecord* record = m_pclStmt->m_pclRecord;
    if (m_kept || record == nullptr) return;
    // An edge row read copies the row into the original as well: a modify after the move would
    // name that row with the host's values.
    m_kept.emplace(record);
    m_standing.emplace(m_pclStmt);
  }
  // The move's answer; the values are given back when this goes, unless the move landed on a row.
  BOOL bEnded(BOOL ok, int out) {
    if (!m_kept) return ok;
    if (ok && !out) {
      m_kept->Keep();
      return ok;
    }
    if (ok) m_standing->GiveBack();
    m_kept.reset();
    return ok;
  }

 private:
  CNAStatement* m_pclStmt;
  std::optional<naguards::CKeptRecordValues> m_kept;
  std::optional<CStandingKept> m_standing;
};

CNAStatement::CStandingKept::CStandingKept(CNAStatement* stmt)
    : m_pclStmt(stmt), m_nRank(stmt->m_nEqualRows) {
  if (stmt->m_pclRecord != nullptr) m_nRecordRank = stmt->m_pclRecord->nGetEqualRows();
  if (stmt->m_pclDataAccess != nullptr && stmt->m_nRecordSaveId != -1) {
    m_nPoint = stmt->m_nRecordSaveId;
    stmt->m_pclDataAccess->AddRefRecordSave(m_nPoint);
  }
  if (const CNARecordValue* own = stmt->pclGetStmtOriginalRecord()) {
    m_pclOwn = own->pclGetClone(NA_COPY_ALL);
    m_bOwnKept = m_pclOwn != nullptr;
    if (m_pclOwn != nullptr) m_pclOwn->AddRef();
  }
}

CNAStatement::CStandingKept::~CStandingKept() {
  if (m_pclOwn != nullptr) m_pclOwn->nRelease();
  if (m_nPoint != -1) m_pclStmt->m_pclDataAccess->nReleaseRecordSave(m_nPoint);
}

void CNAStatement::CStandingKept::GiveBack() {
  if (!m_bOwnKept) return;
  m_bOwnKept = false;
  m_pclStmt->_GiveBackOwnOriginal(std::exchange(m_pclOwn, nullptr), m_nRank, m_nPoint);
  if (m_pclStmt->m_pclRecord != nullptr) m_pclStmt->m_pclRecord->SetEqualRows(m_nRecordRank);
}

void CNAStatement::_GiveBackOwnOriginal(CNARecordValue* kept, int rank, int pointBefore) {
  // The twin gets its copy first: the row passed may stay as the anchor.
  CNARecordValue* passed = pclGetStmtOriginalRecord();
  m_pclOriginalRecord = kept;
  m_nEqualRows = rank;
  _DropEdgeAnchor();
  // A rebuild marked on the way starts from where the browse stood, as one marked before it.
  if (m_pclDataAccess != nullptr && m_nRecordSaveId != -1 && m_nRecordSaveId != pointBefore) {
    int id = pointBefore;
    if (id == -1 && kept != nullptr) id = m_pclDataAccess->nKeepOriginalRecordSave(this);
    if (id != -1) _SetRecordSaveId(id);
  }
  if (passed == nullptr) return;
  // Only a move back from an empty further block reads from the row passed last: any other
  // block starts from a row it reads then.
  if (!bCacheEnabled() && m_pclStatementSQL != nullptr && _bOnEmptyFurtherBlock())
    m_pclEdgeAnchor = passed;
  else
    passed->nRelease();
}

void CNAStatement::_TakeEdgeAnchor() {
  if (m_pclEdgeAnchor == nullptr) return;
  if (CNARecordValue* own = pclGetStmtOriginalRecord()) own->nRelease();
  m_pclOriginalRecord = std::exchange(m_pclEdgeAnchor, nullptr);
}

void CNAStatement::_DropEdgeAnchor() {
  if (m_pclEdgeAnchor != nullptr) std::exchange(m_pclEdgeAnchor, nullptr)->nRelease();
}

// ---------------------------------------------------------------- browse state

void CNAStatement::CurrentRecordNotFound(const wchar_t* item, int file, int site) {
  m_bCurrentRecordLost = 1;
  m_bOutOfRange = 1;
  m_bPlainReady = 0;
  m_bFound = 0;
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, static_cast<unsigned int>(file),
                             static_cast<unsigned int>(site), pclGetConnectionNoRef(), _pszLogicalName(), item, 13);
  if (m_pclRecord != nullptr) {
    CXYStringConcat<wchar_t> dump;
    m_pclRecord->CurrentRecordToString(&dump);
    m_pclError->AddDebugMessageNoFormat(dump.pszGet());
  }
}

BOOL CNAStatement::bOutOfSearchRows() const {
  if (!m_bOutOfRange) return FALSE;
  if (m_bFirstBlock) return TRUE;
  return bCacheEnabled() && m_nOutSide < 0 ? TRUE : FALSE;
}

CNARecherche* CNAStatement::pclGetRecherche() {
  if (m_pclRecherche == nullptr) {
    CNARecherche* search = pclAllocRecherche();
    if (search == nullptr) {
      CNAError::g_RaiseNoMemory(m_pclError, pclGetConnectionNoRef());
      return nullptr;
    }
    _SetRecherche(search);
  }
  m_pclRecherche->AddRef();
  return m_pclRecherche;
}

void CNAStatement::PrepareInternalSearch() {
  m_bInternalSearch = 1;
  _EndPlainStep();
  m_clUserSearch.CancelUserSearch();
}

void CNAStatement::AnnuleRecherche() {
  if (m_pclRecherche != nullptr) m_pclRecherche->Desactivate();
  m_bInternalSearch = 0;
}

void CNAStatement::_AnnuleRechercheUser() {
  // Every read cancels the host's search; nearly always there is none, and cancelling none
  // changes nothing.
  if (m_clUserSearch.piGetItemNoRef() != nullptr || m_clUserSearch.dwGetFlags() != 0 ||
      m_clUserSearch.pclGetValue()->wGetTypeWord() != ZV_VIDE)
    m_clUserSearch.CancelUserSearch();
  if (m_bInternalSearch) return;
  if (m_pclRecherche != nullptr) m_pclRecherche->Desactivate();
  m_bInternalSearch = 0;
}

void CNAStatement::DesactivateRechercheUserAndInternal() {
  m_clUserSearch.CancelUserSearch();
  AnnuleRecherche();
}

void CNAStatement::DropSearch() {
  DesactivateRechercheUserAndInternal();
  _SetRecherche(nullptr);
}

BOOL CNAStatement::bSetContinueParcours(eNA_PARSEDIRECTION direction) {
  return m_pclRecherche != nullptr ? m_pclRecherche->bSetContinueParcours(direction) : FALSE;
}

// ---------------------------------------------------------------- reading

BOOL CNAStatement::bFetch(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved) {
  // Every row of a browse read one after the other: the row before landed the same way, nothing
  // it relied on changed since (m_bPlainStep), and this one lands inside the rows held.
  if (m_bPlainStep && count == 1 && update && (direction == NA_PARSE_NEXT || direction == NA_PARSE_PREVIOUS) &&
      CNADataAccess::s_bStepRoad && m_nOutSide == 0) {
    const eNA_PARSEDIRECTION way = m_bReverse ? Mirror(direction) : direction;
    // A row cache's browse takes the cache's own road, without what the plain step makes sure of.
    if (m_pclRecordCache != nullptr) {
      if (m_pclRecordCache->bIsActive()) return _bPlainCacheStep(way, moved);
      return _bFetchRoad(direction, update, count, moved);
    }
    const long long pos = m_pclStatementSQL->llGetPosition();
    const long long target = way == NA_PARSE_NEXT ? pos + 1 : pos - 1;
    if (target >= 0 && target < m_pclStatementSQL->llGetRowCount()) {
      if (moved != nullptr) *moved = 1;
      m_bFoundByFetch = 0;
      _StartFetch(way);
      int out = 1;
      const BOOL ok = _bReadRowAt<true>(target, way, &out);
      // A plain step has no table-cache index: the host's direction is the one asked.
      if (ok && !out && _bPlainTwinLanded(direction)) return TRUE;
      return _bFetchLanded<true>(ok, out, 1, 1);
    }
  }
  return _bFetchRoad(direction, update, count, moved);
}

[[gnu::always_inline]] inline bool CNAStatement::_bPlainTwinLanded(eNA_PARSEDIRECTION host) {
  if (!_bPlainTwinHolds()) return false;
  m_bRowValid = 1;
  m_bFoundByFetch = 1;
  m_llLastMoved = 1;
  // A step, after a row read: a browse whose key no two rows share starts each row's run afresh.
  const CNARecord* record = m_pclRecord;
  _PlainTwinLand(_bBrowseKeyUnique() ? (host == NA_PARSE_PREVIOUS ? -1 : 0)
                                     : _nRankAfter(host, record->pclPeekOriginalValueNoRef(),
                                                   record->pclGetCurrentValueNoRef()));
  return true;
}

[[gnu::noinline]] BOOL CNAStatement::_bPlainStepEnd(BOOL ok, int outOfRange) {
  return _bFetchLanded<true>(ok, outOfRange, 1, 1);
}

[[gnu::noinline, gnu::cold]] BOOL CNAStatement::_bPlainStepFetchFailed() {
  m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
  return _bPlainStepEnd(FALSE, 1);
}

[[gnu::noinline]] BOOL CNAStatement::_bPlainCacheStep(eNA_PARSEDIRECTION way, long long* moved) {
  long long local = 0;
  if (moved == nullptr) moved = &local;
  *moved = 0;
  m_bFoundByFetch = 0;
  _StartFetch(way);
  int out = 1;
  const int pending = way == NA_PARSE_NEXT ? _nPendingStep(moved, &out) : -1;
  const BOOL ok = pending >= 0 ? pending : _bFetchCacheEnabled(way, 1, 1, moved, &out);
  return _bFetchLanded<true>(ok, out, 1, *moved);
}

[[gnu::always_inline]] inline int CNAStatement::_nPendingStep(long long* moved, int* out) {
  // Rows pending were left so by _nFetchRowIntoCache for a whole result's first block, which
  // is never edged by a block limit; what it asked of them is asked again as it stands now.
  CNARecordCache* cache = m_pclRecordCache;
  CNAStatementSQL* sql = m_pclStatementSQL;
  const long long start = m_llCurrentRecord;
  if (m_nPendingRows <= 0 || start != cache->nGetCount() + m_nPendingRows - 1 || cache->bIsFetchComplete() ||
      sql == nullptr || m_nBlockLimit != -1 || !m_bFirstBlock || m_nBlockBase != 0 || sql->llGetRowCount() <= 0)
    return -1;
  if (!sql->bFetch(0)) {
    m_pclError->Copy(sql->pclGetErrorNoRef());
    return FALSE;
  }
  int o = 1;
  if (sql->llGetRowCount() <= 0 || sql->bIsEnd()) {
    if (!_bFetchAndCacheFromNextBlock(cache, &o)) return FALSE;
  } else {
    // The first row pending took the cache's room for the block already: no row was kept since.
    if (!_bUpdateNARecordFromDB()) return FALSE;
    const CNARecordValue* current = m_pclRecord->pclGetCurrentValueNoRef();
    if (cache->bAppendsPlain(current)) {
      // Pending too, the last of them: the step lands on it. The twin road is asked first, of
      // what the test above just read.
      const bool twin = _bFreshRowTakesTwin();
      ++m_nPendingRows;
      const int row = static_cast<int>(start + 1);
      if (twin)
        _TwinRowLanded(row);
      else if (!_bLandInCache(row, true, 1, 1))
        return FALSE;
      *moved = 1;
      *out = 0;
      return TRUE;
    } else {
      _KeepPendingRows();
      cache->nAjoute(current);
    }
    o = 0;
  }
  const int landed = _nFreshStepLanded(start, o, 1, moved, out);
  // No row held after start (a kept row left empty): the cache's general move from start.
  return landed >= 0 ? landed : _bFetchCacheEnabled(NA_PARSE_NEXT, 1, 1, moved, out);
}

[[gnu::noinline]] BOOL CNAStatement::_bFetchRoad(eNA_PARSEDIRECTION direction, int update, long long count,
                                                long long* moved) {
  long long local = 0;
  if (moved == nullptr) moved = &local;
  _EndPlainStep();
  // A one-row move that marks the row read, with no row cache and no index, landing inside the
  // rows held (else the road below from the start).
  if (count == 1 && update && (direction == NA_PARSE_NEXT || direction == NA_PARSE_PREVIOUS) &&
      m_pclTableCacheIndex == nullptr && (m_pclRecordCache == nullptr || !bCacheEnabled())) {
    *moved = 0;
    m_bFoundByFetch = 0;
    const eNA_PARSEDIRECTION way = bInvertFetch() ? Mirror(direction) : direction;
    _StartFetch(way);
    int out = 1;
    long long one = 0;
    const int stepped = _nStepInRows(way, &one, &out);
    if (stepped >= 0) {
      *moved = one;
      return _bFetchLanded(stepped, out, 1, 1);
    }
  }
  *moved = 0;
  m_bFoundByFetch = 0;
  if (bInvertFetch()) direction = Mirror(direction);
  // Up to date with no record save held, it has nothing left to drop (a new result's first row).
  if ((direction == NA_PARSE_FIRST || direction == NA_PARSE_LAST) &&
      (m_eParseNeedUpdate != NA_PARSE_UPTODATE || (!m_bParseStarted && m_nRecordSaveId != -1)) &&
      m_csBrowseItem.pszGet()[0] != 0)
    bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
  else if ((direction == NA_PARSE_NEXT || direction == NA_PARSE_PREVIOUS) && m_pclTableCacheIndex != nullptr &&
           m_eParseNeedUpdate != NA_PARSE_UPTODATE && !bUpdateParsePositionInCacheIndex(&direction, &count))
    return FALSE;
  _StartFetch(direction);
  int out = 1;
  BOOL ok;
  if (m_pclTableCacheIndex != nullptr)
    ok = _bFetchCacheIndex(direction, count, moved, &out);
  else if (bCacheEnabled())
    ok = _bFetchCacheEnabled(direction, update, count, moved, &out);
  else if (count != 1 || (direction != NA_PARSE_NEXT && direction != NA_PARSE_PREVIOUS) ||
           (ok = _nStepInRows(direction, moved, &out)) < 0)
    ok = _bFetchCacheDisabled(direction, update, count, moved, &out);
  return _bFetchLanded(ok, out, update, *moved);
}

template <bool kPlain>
[[gnu::always_inline]] inline BOOL CNAStatement::_bFetchLanded(BOOL ok, int out, int update, long long moved) {
  if (ok && !out) {
    m_bRowValid = 1;
    if constexpr (!kPlain) _DropEdgeAnchor();
    const bool searching = !kPlain && m_pclRecherche != nullptr && m_pclRecherche->nGetState() != 0;
    m_bFoundByFetch = searching ? m_pclRecherche->bHTrouve() : 1;
    m_llLastMoved = moved;
    if (update && moved <= 1 && (m_bRowForTwin || _bTwinRead())) {
      // Every row of a browse: one copy of the row instead of two.
      ok = _bSetStmtOriginalRecordAsTwin(m_eLastDirection);
      if (ok && moved == 1) {
        if constexpr (kPlain) {
          m_bOutOfRange = 0;
          m_bFound = 1;
          m_bParseStarted = 1;
          return TRUE;
        }
        m_bPlainStep = _bPlainStepHolds();
        // The landing below leaves the browse started and on a row.
        m_bPlainReady = m_bPlainStep && m_eParseNeedUpdate == NA_PARSE_UPTODATE && !m_bCurrentRecordLost &&
                        m_nOutSide == 0 && m_pclDataAccess != nullptr && m_llRemainingSkip <= 0;
      }
    } else if (update && moved <= 1 && _bSpareTwinRead()) {
      // A result's first row (every seek's): the same.
      ok = _bSetSpareOriginalRecordAsTwin(m_eLastDirection);
    } else {
      ok = bSetStmtOriginalRecord(m_eLastDirection);
      // A move over several rows may land inside a run of equal rows it did not compare: the rows
      // just before the landing tell the rank (rows with a unique key set are never equal).
      if (ok && moved > 1 && m_pclTableCacheIndex != nullptr) {
        SetEqualRows(static_cast<int>(m_nIndexEqualBefore));
      } else if (ok && moved > 1 && m_pclRecord->pclGetUniqueKeyNotNullNoRef() == nullptr) {
        int before = 0;
        ok = _bCountEqualRowsBefore(&before);
        if (ok) SetEqualRows(bInvertFetch() ? -(before + 1) : before);
      }
      if (ok && update && m_pclDataAccess != nullptr) ok = m_pclDataAccess->bSetCurrentRecordRead(0);
    }
  }
  if constexpr (kPlain) _EndPlainStep();
  m_bOutOfRange = ok && !out ? 0 : 1;
  if (m_bOutOfRange) {
    m_bFoundByFetch = 0;
    m_bPlainReady = 0;
  }
  m_bFound = m_bInternalSearch || m_pclTableCacheIndex != nullptr ? m_clUserSearch.bGetHTrouve(m_pclRecord)
                                                                  : m_bFoundByFetch;
  SetParseStarted();
  return ok;
}

BOOL CNAStatement::_bNextBlockCanExist(eNA_PARSEDIRECTION direction) const {
  const bool noMore = m_nBlockLimit == -1 || bCacheCompleted();
  const bool backward = direction == NA_PARSE_PREVIOUS || direction == NA_PARSE_LAST;
  return noMore && (m_bFirstBlock || !backward) ? FALSE : TRUE;
}

BOOL CNAStatement::_bFetchCacheDisabled(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved,
                                        int* out) {
  if (m_pclStatementSQL == nullptr) return FALSE;
  CCurrentBeforeMove before(this);
  const BOOL ok = _bFetchBlocks(direction, update, count, moved, out, &before);
  return before.bEnded(ok, *out);
}

BOOL CNAStatement::_bFetchBlocks(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved, int* out,
                                 CCurrentBeforeMove* before) {
  long long want = count;
  // An empty further block: the browse still stands just past the original record, which a
  // move back reaches first.
  if (_bOnEmptyFurtherBlock() && count > 0 && direction != NA_PARSE_CURRENT) {
    if (Forward(direction) || (m_pclOriginalRecord == nullptr && m_pclEdgeAnchor == nullptr)) {
      _SetOutSide(Forward(direction) ? 1 : -1);
      *out = 1;
      return TRUE;
    }
    // The block on the record reads in the host's order; the rows equal to the record are
    // reached from the side the browse left them by.
    const bool pastEnd = nGetOutSide() != 0 ? nGetOutSide() > 0
                                            : (bInvertFetch() ? Mirror(direction) : direction) == NA_PARSE_PREVIOUS;
    long long one = 1;
    before->Keep();
    _TakeEdgeAnchor();
    if (!_bFetchNextBloc(NA_PARSE_PREVIOUS, 1, &one)) return FALSE;
    direction = pastEnd ? NA_PARSE_LAST : NA_PARSE_FIRST;
    m_eLastDirection = direction;
  }
  BOOL ok = _bFetch(direction, update, out, want, moved);
  while (ok && *out && want > 0 && *moved < want && direction != NA_PARSE_CURRENT && _bNextBlockCanExist(direction)) {
    const bool forward = Forward(direction);
    before->Keep();
    // The block's last row passed is where the next block starts, a row deleted since among
    // them: a live row before it would start the next block behind the browse, where rows
    // added meanwhile were never passed.
    if (m_pclStatementSQL->llGetRowCount() > 0) {
      int edgeOut = 1;
      // An edge row its record cannot hold fails here again (its own read already told the
      // host): the SQL statement still stands on it, and the browse goes on from it as from a
      // key the record cannot hold.
      const BOOL readable = _bReadRowAt(forward ? m_pclStatementSQL->llGetRowCount() - 1 : 0,
                                        forward ? NA_PARSE_LAST : NA_PARSE_FIRST, &edgeOut);
      const char* const* texts = nullptr;
      const unsigned long* lengths = nullptr;
      if (!readable && (m_pclStatementSQL->bIsEnd() || !m_pclStatementSQL->bGetRowTexts(&texts, &lengths)))
        return FALSE;
      if (readable && !edgeOut && !bSetStmtOriginalRecord(NA_PARSE_FIRST)) return FALSE;
      // A key the record does not hold as sent cannot say where the next block starts: the
      // rest is read from the whole browse, from that row.
      if (!readable || (!edgeOut && _bRowKeyInexact())) {
        bool whole = false;
        _KeepEdgeRow();
        if (!_bGoOnWhole(&whole)) return FALSE;
        if (!readable && !whole) return FALSE;
        if (!readable) m_pclError->Reset();
        if (whole) {
          long long more = 0;
          ok = _bFetch(direction, update, out, want - *moved, &more);
          *moved += more;
          continue;
        }
        // Not found again: the row left the browse meanwhile; the block after it goes on.
      }
    }
    long long rest = want - *moved;
    const long long asked = rest;
    if (!_bFetchNextBloc(forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 0, &rest)) return FALSE;
    if (rest != asked && m_pclStatementSQL->llGetRowCount() == 0) {
      // Fewer rows follow than the server was asked to pass over: one block of every row left
      // tells how far the move really goes (the empty block runs the way of the move).
      long long reach = -asked;
      rest = asked;
      if (!_bFetchNextBloc(NA_PARSE_NEXT, 0, &reach)) return FALSE;
    }
    // Rows the server skipped for the move.
    *moved += asked - rest;
    long long more = 0;
    // The new block goes on the same way in its own order.
    direction = NA_PARSE_NEXT;
    m_eLastDirection = direction;
    ok = _bFetch(NA_PARSE_FIRST, update, out, rest, &more);
    *moved += more;
  }
  return ok;
}

bool CNAStatement::_bRowKeyInexact() const {
  // The row read names itself by its server texts where its record does not hold a value
  // exactly; only a text the connection's page had already lost names it no better.
  const CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  if (current == nullptr || !current->bHasServerTexts()) return false;
  auto lost = [&](const CNAColumn* column) {
    if (column == nullptr) return false;
    const CNARecordMemo::STServerText* text = current->pGetServerText(column->nGetPhysicalIndice());
    return text != nullptr && text->bLost;
  };
  // The columns the next block's condition is made of: the browse item's, and the unique key's
  // that orders its equal values.
  auto lostKey = [&](const CNAColumn* column) { return AnyKeyPart(column, lost); };
  const CNAColumn* browsed = m_pclRecord->pclGetColumnNoRef(pszGetBrowseItem());
  if (lostKey(browsed)) return true;
  const INAItemDescription* item = browsed != nullptr ? browsed->piGetItemNoRef() : nullptr;
  if (item != nullptr && item->bUnique()) return false;
  const CNAColumn* unique = m_pclRecord->pclGetUniqueKeyNotNullNoRef();
  if (unique != nullptr) return lostKey(unique);
  // Without a unique key the whole row names it.
  for (int i = 0; i < m_pclRecord->nGetNbColumn(); ++i)
    if (lost(m_pclRecord->pclGetColumnNoRef(i))) return true;
  return false;
}

void CNAStatement::_KeepEdgeRow() {
  const char* const* texts = nullptr;
  const unsigned long* lengths = nullptr;
  m_tabEdgeRow.clear();
  m_tabEdgeNull.clear();
  if (m_pclStatementSQL == nullptr || !m_pclStatementSQL->bGetRowTexts(&texts, &lengths)) return;
  for (unsigned int i = 0; i < m_pclStatementSQL->nGetColumnCount(); ++i) {
    m_tabEdgeNull.push_back(texts[i] == nullptr);
    m_tabEdgeRow.emplace_back(texts[i] != nullptr ? texts[i] : "", texts[i] != nullptr ? lengths[i] : 0);
  }
}

bool CNAStatement::_bKeepEdgeRowOf(const CNARecordValue* value) {
  m_tabEdgeRow.clear();
  m_tabEdgeNull.clear();
  const CNARecordMemo::STServerText* row = value != nullptr ? value->pGetServerText(CNARecordMemo::kRowTexts) : nullptr;
  if (row == nullptr) return false;
  const std::string& s = row->sText;
  for (size_t at = 0; at + 5 <= s.size();) {
    uint32_t n = 0;
    memcpy(&n, s.data() + at + 1, sizeof n);
    if (at + 5 + n > s.size()) break;
    m_tabEdgeNull.push_back(s[at] == 0);
    m_tabEdgeRow.emplace_back(s.data() + at + 5, n);
    at += 5 + n;
  }
  return !m_tabEdgeRow.empty();
}

BOOL CNAStatement::bGoToKeptRowWhole(const CNARecordValue* kept, int rank, eNA_PARSEDIRECTION direction,
                                     long long count, int update) {
  if (!_bKeepEdgeRowOf(kept)) {
    CurrentRecordNotFound(pszGetBrowseItem(), kSourceFile, kSiteRecordLost);
    return FALSE;
  }
  return _bGoToEdgeRowWhole(rank, direction, count, update);
}

BOOL CNAStatement::bGoToCurrentRowWhole(eNA_PARSEDIRECTION direction, long long count, int update) {
  _KeepEdgeRow();
  if (m_tabEdgeRow.empty()) {
    CurrentRecordNotFound(pszGetBrowseItem(), kSourceFile, kSiteRecordLost);
    return FALSE;
  }
  return _bGoToEdgeRowWhole(0, direction, count, update);
}

BOOL CNAStatement::_bGoToEdgeRowWhole(int rank, eNA_PARSEDIRECTION direction, long long count, int update) {
  const CTString item(pszGetBrowseItem());
  // The whole browse under its filter alone: the search that found the row is none of it.
  AnnuleRecherche();
  EnableCache(0);
  bool whole = false;
  if (!_bGoOnWhole(&whole, rank > 0 ? rank : 0)) return FALSE;
  if (!whole) {
    CurrentRecordNotFound(item.pszGet(), kSourceFile, kSiteRecordLost);
    return FALSE;
  }
  m_bFirstBlock = 1;
  if (direction == NA_PARSE_NEXT || direction == NA_PARSE_PREVIOUS) return bFetch(direction, update, count);
  return bFetch(NA_PARSE_CURRENT, update, 0);
}

bool CNAStatement::bSearchOrdersByMember() const {
  INAItemDescription* item = m_pclRecherche != nullptr ? m_pclRecherche->piGetFetchItemNoRef() : nullptr;
  if (item == nullptr || m_pclRecord == nullptr) return false;
  auto byMember = [](const CNAColumn* column) {
    const CNAItemDescription* db = column != nullptr ? column->piGetImportedItemDescNoRef() : nullptr;
    return db != nullptr && db->bEnumSet();
  };
  if (AnyKeyPart(m_pclRecord->pclGetColumnNoRef(item), byMember)) return true;
  return !item->bUnique() && AnyKeyPart(m_pclRecord->pclGetUniqueKeyNotNullNoRef(), byMember);
}

BOOL CNAStatement::_bGoOnWhole(bool* whole, int equalBefore) {
  *whole = false;
  if (m_pclDataAccess == nullptr || m_tabEdgeRow.empty()) return TRUE;
  _KeepPendingRows();
  m_bContinuing = 1;
  const BOOL ok = m_pclDataAccess->_bOpenWhole(this, bInvertFetch() ? 0 : 1);
  m_bContinuing = 0;
  m_nOutSide = 0;
  if (!ok || m_pclStatementSQL == nullptr) return FALSE;
  // The row is found again by every byte the server sent for it: rows the record cannot tell
  // apart by their key still differ there.
  CNAStatementSQL* sql = m_pclStatementSQL;
  const size_t columns = m_tabEdgeRow.size();
  while (sql->bFetch(0) && !sql->bIsEnd()) {
    const char* const* texts = nullptr;
    const unsigned long* lengths = nullptr;
    if (!sql->bGetRowTexts(&texts, &lengths) || sql->nGetColumnCount() != columns) break;
    size_t i = 0;
    for (; i < columns; ++i) {
      if ((texts[i] == nullptr) != m_tabEdgeNull[i]) break;
      if (texts[i] != nullptr && (lengths[i] != m_tabEdgeRow[i].size() ||
                                  memcmp(texts[i], m_tabEdgeRow[i].data(), lengths[i]) != 0))
        break;
    }
    if (i == columns && equalBefore-- <= 0) {
      *whole = true;
      break;
    }
  }
  m_tabEdgeRow.clear();
  m_tabEdgeNull.clear();
  return TRUE;
}

BOOL CNAStatement::_bFetchNextBloc(eNA_PARSEDIRECTION direction, int atRecord, long long* skip) {
  if (m_pclDataAccess == nullptr || m_pclOriginalRecord == nullptr) return FALSE;
  const eNA_PARSEDIRECTION host = bInvertFetch() ? Mirror(direction) : direction;
  _KeepPendingRows();
  if (m_pclRecordCache != nullptr) m_nBlockBase = m_pclRecordCache->nGetCount();
  m_bContinuing = 1;
  const BOOL ok = m_pclDataAccess->_bOpenBlock(this, host, atRecord, skip);
  m_bContinuing = 0;
  m_bFirstBlock = 0;
  m_nOutSide = 0;
  // A block on the record alone says nothing of what follows it.
  if (ok && atRecord && m_pclStatementSQL != nullptr)
    m_nBlockLimit = static_cast<int>(m_pclStatementSQL->llGetRowCount());
  return ok;
}

BOOL CNAStatement::_bFetch(eNA_PARSEDIRECTION direction, int, int* out, long long count, long long* moved) {
  *out = 1;
  *moved = 0;
  if (m_pclStatementSQL == nullptr) return FALSE;
  const long long rows = m_pclStatementSQL->llGetRowCount();
  if (rows <= 0) {
    // An empty block lies past the rows in the direction that looked for it.
    if (count > 0 && direction != NA_PARSE_CURRENT) _SetOutSide(Forward(direction) ? 1 : -1);
    return TRUE;
  }
  long long pos = m_pclStatementSQL->llGetPosition();
  // After leaving the result the browse stands past its end or before its start.
  if (m_nOutSide > 0) pos = rows;
  if (m_nOutSide < 0) pos = -1;
  long long from = pos;
  int step = 1;
  switch (direction) {
    case NA_PARSE_FIRST:
      from = -1;
      break;
    case NA_PARSE_LAST:
      from = rows;
      step = -1;
      break;
    case NA_PARSE_PREVIOUS:
      step = -1;
      break;
    default:
      break;
  }
  if (direction == NA_PARSE_CURRENT || count == 0) {
    if (pos < 0 || pos >= rows) return TRUE;
    from = pos;
    count = 0;
  }
  long long target = from;
  for (long long left = count; left > 0;) {
    target += step;
    if (target < 0 || target >= rows) {
      _SetOutSide(step);
      return TRUE;
    }
    if (m_pnRecordSave != nullptr && m_pnRecordSave[target] == -2) continue;
    --left;
    ++*moved;
  }
  return _bReadRowAt(target, direction, out);
}

[[gnu::always_inline]] inline int CNAStatement::_nStepInRows(eNA_PARSEDIRECTION direction, long long* moved, int* out) {
  if (!CNADataAccess::s_bStepRoad || m_pclStatementSQL == nullptr || m_nOutSide != 0 || m_pnRecordSave != nullptr)
    return -1;
  const long long pos = m_pclStatementSQL->llGetPosition();
  const long long target = direction == NA_PARSE_NEXT ? pos + 1 : pos - 1;
  if (target < 0 || target >= m_pclStatementSQL->llGetRowCount()) return -1;
  *out = 1;
  *moved = 1;
  return _bReadRowAt(target, direction, out);
}

// Every row of a browse passes here: kept in line in its two callers.
template <bool kStep>
[[gnu::always_inline]] inline BOOL CNAStatement::_bReadRowAt(long long target, eNA_PARSEDIRECTION direction, int* out) {
  // A step's target is never the current row: the row is fetched; forward, with no seek.
  const long long pos = m_pclStatementSQL->llGetPosition();
  if (kStep || target != pos || m_pclStatementSQL->bIsEnd()) {
    if (target != pos + 1 && !m_pclStatementSQL->bDataSeek(target)) {
      m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
      return FALSE;
    }
    if (!m_pclStatementSQL->bFetch(0)) {
      m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
      return FALSE;
    }
    if (m_pclStatementSQL->bIsEnd()) return TRUE;
  }
  m_nOutSide = 0;
  m_llCurrentRecord = m_nBlockBase + target;
  m_bCurrentRowDeleted = 0;
  if (!_bUpdateNARecord(direction)) return FALSE;
  *out = 0;
  return TRUE;
}

[[gnu::noinline]] BOOL CNAStatement::_bUpdateNARecordFromSave() {
  const long long row = m_pclStatementSQL != nullptr ? m_pclStatementSQL->llGetPosition() : -1;
  const int saved = row >= 0 ? m_pnRecordSave[row] : -1;
  if (saved >= 0)
    return m_pclDataAccess->bRestoreOriginalRecordSave(saved) && m_pclRecord->bCopyOriginalRecordToCurrentRecord();
  return _bUpdateNARecordFromDB();
}

namespace {

// Each column of record up to its first composite key by its own read; kept out of the row
// binding's way.
[[gnu::noinline]] BOOL bReadEachColumn(CNAStatement* statement, CNARecord* record) {
  const int columns = record->nGetNbColumn();
  for (int i = 0; i < columns; ++i) {
    CNAColumn* column = record->pclGetColumnNoRef(i);
    if (column == nullptr || column->Slot().bComposedKey) break;
    if (!column->bSetValueFromDB(statement, 0)) return FALSE;
  }
  return TRUE;
}

// A failed row read leaves the access no row read.
void ForgetRowRead(const CNAStatement* statement) {
  if (CNADataAccess* access = statement->pclGetDataAccessNoRef()) access->ForgetRowRead();
}

// Any row off the bound road in line: the record's state and server texts of the row before
// cleared, then the binding's own road (bound again where it must be), or each column by its
// own read without an SQL statement.
[[gnu::noinline]] BOOL bUpdateRecordAsked(CNAStatement* statement, CNARowBinding* binding) {
  CNARecord* record = statement->pclGetCurrentRecordNoRef();
  if (record == nullptr) return FALSE;
  // A row from the server carries no state of the row the record held before (a deleted mark
  // would go into the row cache with it).
  CNARecordValue* current = record->pclGetCurrentValueNoRef();
  if (current != nullptr) {
    current->SetState(NA_RECORDSTATE_NONE);
    // Nor the server's texts of the row before (the binding notes this row's).
    current->ClearServerTexts();
  }
  // Bound at a result's first row (or after a change the binding saw); a converter that has
  // seen no server value yet takes its writer after its first own read. A run stopped at a slot
  // comes back here.
  CNAStatementSQL* sql = statement->pclGetStatementSQLNoRef();
  const BOOL read = sql != nullptr ? binding->bReadRow(statement, record, sql, current)
                                   : bReadEachColumn(statement, record);
  if (!read) ForgetRowRead(statement);
  return read;
}

}  // namespace

// In one road with the rows off the run.
BOOL CNARowBinding::s_bRunStopped(const CNAConvertVariant::STRowRun* run, const CNAConvertVariant::STRowSlot*,
                                  uint64_t) {
  // Off the run: what an armed statement stands for may move.
  CNADriverMutex::s_Moved();
  CNARowBinding* binding = s_pclOf(run);
  return bUpdateRecordAsked(binding->pclGetStatementNoRef(), binding);
}

BOOL CNAStatement::_bUpdateNARecordFromDB() {
  // Most rows take the binding's run, whose steps jump from one to the next: this calls nothing
  // and keeps no frame, every other road is a jump.
  // A binding whose steps may call reads each row by its own road, asked first.
  if (!m_clRowBinding.bRunLean()) return bUpdateRecordAsked(this, &m_clRowBinding);
  CNARecord* record = m_pclRecord;
  CNARecordValue* current = record != nullptr ? record->pclGetCurrentValueNoRef() : nullptr;
  CNAStatementSQL* sql = m_pclStatementSQL;
  const char* const* texts = nullptr;
  const unsigned long* lengths = nullptr;
  if (current == nullptr || sql == nullptr || current->bHasServerTexts() ||
      !m_clRowBinding.bRunReady(record, sql, current, &texts, &lengths)) [[unlikely]]
    return bUpdateRecordAsked(this, &m_clRowBinding);
  // A row from the server carries no state of the row the record held before.
  current->SetState(NA_RECORDSTATE_NONE);
  return m_clRowBinding.bRunRow(texts, lengths);
}

void CNAStatement::ArmAfterPlainStep() {
  // The whole plain step asked the rest this row (no row cache, a key no two rows share, on a
  // row, nothing to skip) and moves none of it. Left: whether the binding's lean run is ready,
  // its stamps then standing for _bUpdateNARecordFromDB's checks; rows of any other binding take
  // them at each row.
  const CNARecord* record = m_pclRecord;
  const CNARecordValue* current = record->pclGetCurrentValueNoRef();
  const char* const* texts = nullptr;
  const unsigned long* lengths = nullptr;
  m_bArmedLean = current != nullptr && m_clRowBinding.bRunLean() &&
                 m_clRowBinding.bRunReady(record, m_pclStatementSQL, current, &texts, &lengths);
  m_eArmedWay = bInvertFetch() ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT;
  m_nArmedEntries = CNADriverMutex::s_nEntriesNow();
}

CNARecordValue* CNAStatement::pclGetStmtOriginalRecord() const {
  if (m_pclRecord != nullptr) m_pclRecord->EndOriginalTwin(m_pclOriginalRecord);
  return m_pclOriginalRecord;
}

BOOL CNAStatement::bUpdateChangedTypeInCurrentRecord() {
  // Rows copied in the former layout would be read at the new offsets: the copy of the last row
  // is made again in the new one, the rows' writers are worked out again, and the rebuild point
  // goes with the record saves the access dropped.
  m_clRowBinding.Forget();
  _ForgetUniqueBrowse();
  m_nRecordSaveId = -1;
  if (m_pclSpareOriginalRecord != nullptr) m_pclSpareOriginalRecord->nRelease();
  m_pclSpareOriginalRecord = nullptr;
  _DropEdgeAnchor();
  if (m_pclOriginalRecord == nullptr) return TRUE;
  if (m_pclRecord != nullptr) m_pclRecord->DropOriginalTwin(m_pclOriginalRecord);
  m_pclOriginalRecord->nRelease();
  m_pclOriginalRecord = nullptr;
  const CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  if (current == nullptr) return TRUE;
  m_pclOriginalRecord = _pclNewStmtOriginalRecord(current);
  return m_pclOriginalRecord != nullptr ? TRUE : FALSE;
}

[[gnu::always_inline]] inline int CNAStatement::_nRankAfter(eNA_PARSEDIRECTION host, const CNARecordValue* before,
                              const CNARecordValue* current) const {
  // The rank among equal rows, in the browse's order whichever way the rows were read: a row
  // reached from the end starts counting from the end.
  const int fresh = host == NA_PARSE_LAST || host == NA_PARSE_PREVIOUS ? -1 : 0;
  if (before == nullptr) return fresh;
  // The same row read again keeps its rank.
  if (host == NA_PARSE_CURRENT) return m_nEqualRows;
  const bool step = host == NA_PARSE_NEXT || host == NA_PARSE_PREVIOUS;
  if (step && _bBrowseKeyUnique()) return fresh;
  // The bytes alone (CNARecordValue::bEquals without memos), asked at every row read: rows that
  // differ (nearly all) go no further.
  const CNAKJRecord* bytes = before->pclGetNAKJRecord();
  if (!step || current == nullptr || bytes == nullptr || !bSameRecordBytes(bytes, current->pclGetNAKJRecord()))
    return fresh;
  // The same bytes as the row read before: further along a run of equal rows, by the rows moved.
  const int moved = m_llLastMoved > 0 && m_llLastMoved < 0x7FFFFFFF ? static_cast<int>(m_llLastMoved) : 1;
  // Past the last of a run counted from its end: the rows changed; the run ends here.
  if (host == NA_PARSE_NEXT) return m_nEqualRows >= 0 ? m_nEqualRows + moved : std::min(m_nEqualRows + moved, -1);
  return m_nEqualRows < 0 ? m_nEqualRows - moved : std::max(m_nEqualRows - moved, 0);
}

bool CNAStatement::_bBrowseKeyUniqueAgain() const {
  _ForgetUniqueBrowse();
  if (m_pclRecord == nullptr) return false;
  // A query's rows may repeat a table's key (a join): only a table's own rows are counted on.
  const CNAColumn* column = m_pclRecord->bSourceIsQuery() ? nullptr : pclGetBrowsedColumnNoRef();
  const bool unique =
      column != nullptr && (column->bUniqueNotNull() || (column->bIsUnique() && !column->bIsNullableOnDataBase()));
  const unsigned int columns = m_pclRecord->nGetColumnStamp();
  // A stamp of 0 (the counter wrapped) would read as no verdict: it is not kept.
  if (columns == 0) return unique;
  m_clUniqueBrowse.columns = columns;
  m_clUniqueBrowse.uniqueColumns = unique ? columns : 0;
  m_clUniqueBrowse.record = m_pclRecord;
  return unique;
}

BOOL CNAStatement::bSetStmtOriginalRecord(eNA_PARSEDIRECTION direction) {
  if (m_pclRecord == nullptr) return FALSE;
  if (m_eParseNeedUpdate == NA_PARSE_REPLACE) bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
  CNARecordValue* current = m_pclRecord->pclGetCurrentValueNoRef();
  if (current == nullptr) return FALSE;
  const eNA_PARSEDIRECTION host = bInvertFetch() ? Mirror(direction) : direction;
  CNARecordValue* own = pclGetStmtOriginalRecord();
  m_nEqualRows = _nRankAfter(host, own, current);
  if (own == nullptr) {
    m_pclOriginalRecord = _pclNewStmtOriginalRecord(current);
    if (m_pclOriginalRecord == nullptr) return FALSE;
  } else if (!own->bCopyRecordValue(current, NA_COPY_ALL)) {
    return FALSE;
  }
  m_pclRecord->SetEqualRows(m_nEqualRows);
  return TRUE;
}

// In line: bFetch asks it of every row a browse reads.
[[gnu::always_inline]] inline BOOL CNAStatement::_bTwinRead() const {
  // A row from the row cache came through the record's original, which gave the twin its copy
  // already: taking it again would only add the checks.
  if (m_bRowFromCache || m_pclRecord == nullptr || m_pclOriginalRecord == nullptr || m_pclDataAccess == nullptr ||
      m_pclDataAccess->pclGetCurrentRecordNoRef() != m_pclRecord)
    return FALSE;
  // A row of another state would reach the two copies apart (the access marks the record's as
  // read first); a memo set would make the later copy one that can fail.
  const CNARecordValue* current = m_pclRecord->pclGetCurrentValueNoRef();
  if (current == nullptr || current->eGetState() != NA_RECORDSTATE_NONE || current->pclGetTabMemoNoRef() != nullptr)
    return FALSE;
  if (m_pclRecord->pclGetOriginalTwinNoRef() != m_pclOriginalRecord)
    return m_pclRecord->bTwinFits(m_pclOriginalRecord, current);
  // Still the twin of the row before: only the row's layout is left to ask.
  const CNAKJRecord* from = current->pclGetNAKJRecord();
  const CNAKJRecord* to = m_pclRecord->pclPeekOriginalValueNoRef()->pclGetNAKJRecord();
  return from != nullptr && from->nGetTotalSize() == to->nGetTotalSize() &&
         from->nGetFlagFieldSize() == to->nGetFlagFieldSize();
}

[[gnu::always_inline]] inline BOOL CNAStatement::_bSpareTwinRead() const {
  const CNARecordValue* spare = m_pclSpareOriginalRecord;
  if (spare == nullptr || m_pclOriginalRecord != nullptr || m_bRowFromCache || m_pclRecord == nullptr ||
      m_pclDataAccess == nullptr || m_pclDataAccess->pclGetCurrentRecordNoRef() != m_pclRecord)
    return FALSE;
  const CNARecordValue* current = m_pclRecord->pclGetCurrentValueNoRef();
  if (current == nullptr || current->eGetState() != NA_RECORDSTATE_NONE || current->pclGetTabMemoNoRef() != nullptr)
    return FALSE;
  // What _pclNewStmtOriginalRecord asks of it, its identifier kept: then only its bytes are owed,
  // which the twin's copy gives.
  const CNAKJRecord* from = current->pclGetNAKJRecord();
  const CNAKJRecord* to = spare->pclGetNAKJRecord();
  const CNARecordId* mine = spare->pclGetRecordIdNoRef();
  const CNARecordId* theirs = current->pclGetRecordIdNoRef();
  return spare->pclGetErrorNoRef() == current->pclGetErrorNoRef() && from != nullptr && to != nullptr &&
         to->nGetRefCount() == 1 && to->nGetItemCount() == from->nGetItemCount() && mine != nullptr &&
         theirs != nullptr && mine->dwGetRefCount() == 1 && mine->eGetKind() == NA_RECORDID_RECORDVALUES &&
         theirs->eGetKind() == NA_RECORDID_RECORDVALUES && m_pclRecord->bTwinFits(spare, current);
}

BOOL CNAStatement::_bSetSpareOriginalRecordAsTwin(eNA_PARSEDIRECTION direction) {
  if (m_eParseNeedUpdate == NA_PARSE_REPLACE) bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
  CNARecordValue* current = m_pclRecord->pclGetCurrentValueNoRef();
  const eNA_PARSEDIRECTION host = bInvertFetch() ? Mirror(direction) : direction;
  m_nEqualRows = _nRankAfter(host, nullptr, current);
  m_pclOriginalRecord = std::exchange(m_pclSpareOriginalRecord, nullptr);
  m_pclRecord->SetEqualRows(m_nEqualRows);
  if (m_pclDataAccess->bSetCurrentRecordRead(0)) {
    m_pclRecord->TakeOriginalTwin(m_pclOriginalRecord, false);
    return TRUE;
  }
  m_pclOriginalRecord->bCopyRecordValue(current, NA_COPY_ALL);
  return FALSE;
}

[[gnu::always_inline]] inline BOOL CNAStatement::_bSetStmtOriginalRecordAsTwin(eNA_PARSEDIRECTION direction) {
  if (m_eParseNeedUpdate == NA_PARSE_REPLACE) bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
  CNARecordValue* current = m_pclRecord->pclGetCurrentValueNoRef();
  const eNA_PARSEDIRECTION host = bInvertFetch() ? Mirror(direction) : direction;
  // The row read before, where it stands: still the record's original when this is its twin.
  const bool twin = m_pclRecord->pclGetOriginalTwinNoRef() == m_pclOriginalRecord;
  m_nEqualRows = _nRankAfter(host, twin ? m_pclRecord->pclPeekOriginalValueNoRef() : m_pclOriginalRecord, current);
  m_pclRecord->SetEqualRows(m_nEqualRows);
  // Its former content is not wanted any more: it becomes the row just read.
  const bool held = m_pclRecord->bDetachOriginalTwin(m_pclOriginalRecord);
  if (m_pclDataAccess->bSetPlainRowRead()) {
    m_pclRecord->TakeOriginalTwin(m_pclOriginalRecord, held);
    return TRUE;
  }
  if (held) m_pclOriginalRecord->nRelease();
  m_pclOriginalRecord->bCopyRecordValue(current, NA_COPY_ALL);
  return FALSE;
}

BOOL CNAStatement::_bCountEqualRowsBefore(int* count) {
  *count = 0;
  if (m_pclRecord == nullptr || pclGetStmtOriginalRecord() == nullptr) return FALSE;
  if (m_bRowFromCache) {
    _KeepPendingRows();
    CNARecordValue* row = new (std::nothrow) CNARecordValue(m_pclError);
    if (row == nullptr) return FALSE;
    row->AddRef();
    for (long long at = m_llCurrentRecord - 1; at >= 0 && m_pclRecordCache->bGetAt(row, static_cast<unsigned int>(at));
         --at) {
      // A row deleted since it was read is no longer one of the run.
      if (m_pclRecordCache->_bRecordDeleted(static_cast<int>(at))) continue;
      if (!m_pclOriginalRecord->bEquals(row, 0)) break;
      ++*count;
    }
    row->nRelease();
    return TRUE;
  }
  if (m_pclStatementSQL == nullptr) return FALSE;
  const long long landed = m_pclStatementSQL->llGetPosition();
  bool moved = false;
  BOOL ok = TRUE;
  for (long long at = landed - 1; ok && at >= 0; --at) {
    if (m_pnRecordSave != nullptr && m_pnRecordSave[at] == -2) continue;
    moved = true;
    ok = m_pclStatementSQL->bDataSeek(at) && m_pclStatementSQL->bFetch(0) && _bUpdateNARecordFromDB();
    if (!ok || !m_pclOriginalRecord->bEquals(m_pclRecord->pclGetCurrentValueNoRef(), 0)) break;
    ++*count;
  }
  if (moved) {
    if (!m_pclStatementSQL->bDataSeek(landed) || !m_pclStatementSQL->bFetch(0)) ok = FALSE;
    if (ok) ok = _bUpdateNARecord(NA_PARSE_CURRENT);
  }
  if (!ok) m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
  return ok;
}

void CNAStatement::SetEqualRows(int rank) {
  m_nEqualRows = rank;
  if (m_pclRecord != nullptr) m_pclRecord->SetEqualRows(rank);
}

// ---------------------------------------------------------------- row cache

void CNAStatement::_RestaureRecordFromCache(int index) {
  if (m_pclRecord == nullptr || m_pclRecordCache == nullptr) return;
  _KeepPendingRows();
  CNARecordValue* original = m_pclRecord->pclGetOriginalValueNoRef();
  if (original == nullptr || !m_pclRecordCache->bGetAt(original, static_cast<unsigned int>(index))) return;
  m_pclRecord->bCopyOriginalRecordToCurrentRecord();
  m_bRowFromCache = 1;
  m_llCurrentRecord = index;
}

[[gnu::always_inline]] inline bool CNAStatement::_bFreshRowTakesTwin() const {
  // Peeked: the original must not give a twin its copy here, the twin road drops it. The row
  // just appended from the current value holds a memo set exactly when the current value does,
  // which _bTwinRead refuses.
  const CNARecordValue* original = m_pclRecord != nullptr ? m_pclRecord->pclPeekOriginalValueNoRef() : nullptr;
  const CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  if (original == nullptr || current == nullptr || original->eGetState() != NA_RECORDSTATE_NONE) return false;
  const CNARecordId* id = current->pclGetRecordIdNoRef();
  return (id == nullptr || id->eGetKind() == NA_RECORDID_RECORDVALUES) && _bTwinRead();
}

inline void CNAStatement::_TwinRowLanded(int index) {
  m_nOutSide = 0;
  m_bRowFromCache = 1;
  m_bRowForTwin = 1;
  m_llCurrentRecord = index;
}

BOOL CNAStatement::_bRowIntoCurrentForTwin(int index, bool fresh) {
  if (fresh) {
    if (!_bFreshRowTakesTwin()) return FALSE;
    _TwinRowLanded(index);
    return TRUE;
  }
  _KeepPendingRows();
  CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  const CNARecordValue* original = m_pclRecord != nullptr ? m_pclRecord->pclPeekOriginalValueNoRef() : nullptr;
  if (current == nullptr || original == nullptr || original->eGetState() != NA_RECORDSTATE_NONE ||
      current->pclGetTabMemoNoRef() != nullptr || m_pclRecordCache->bMemoInCache(index))
    return FALSE;
  const CNARecordId* id = current->pclGetRecordIdNoRef();
  if (id != nullptr && id->eGetKind() != NA_RECORDID_RECORDVALUES) return FALSE;
  // What the restore leaves in the current value: the row's bytes and the original's state,
  // asked of the twin road before the bytes are read (a failed read changes nothing).
  const eNA_RECORDSTATE was = current->eGetState();
  current->SetState(NA_RECORDSTATE_NONE);
  if (!_bTwinRead() || !m_pclRecordCache->bGetAt(current, static_cast<unsigned int>(index))) {
    current->SetState(was);
    return FALSE;
  }
  _TwinRowLanded(index);
  return TRUE;
}

int CNAStatement::_nFetchRowIntoCache(CNARecordCache* cache, bool pending) {
  CNAStatementSQL* sql = m_pclStatementSQL;
  if (sql->llGetRowCount() <= 0) return 0;
  if (!sql->bFetch(0)) {
    m_pclError->Copy(sql->pclGetErrorNoRef());
    return -1;
  }
  if (sql->llGetRowCount() <= 0 || sql->bIsEnd()) return 0;
  // The last row of a block the next one would start after.
  const bool edge = m_nBlockLimit > 0 && sql->llGetPosition() == m_nBlockLimit - 1;
  if (!_bUpdateNARecordFromDB()) {
    // A row its record cannot hold is no place to start the next block from.
    if (edge) {
      m_bEdgeInexact = true;
      _KeepEdgeRow();
    }
    return -1;
  }
  if (edge) {
    m_bEdgeInexact = _bRowKeyInexact();
    if (m_bEdgeInexact) _KeepEdgeRow();
  }
  // A stored block's rows are all counted: the cache takes room for them at its first. A
  // streamed result's count (2^32 - 1) is no count: nothing is taken for it.
  if (cache->nGetCount() == m_nBlockBase) {
    const long long rows = m_nBlockBase + sql->llGetRowCount();
    if (rows < 0x7FFFFFFF) cache->Reserve(static_cast<int>(rows));
  }
  const CNARecordValue* current = m_pclRecord->pclGetCurrentValueNoRef();
  // Only a whole result's rows wait: they stay on the client as long as it is open, and no later
  // block comes to push them out. Rows pending already tell that it is one (whatever lets the
  // result go keeps them first).
  if (pending && m_nBlockLimit == -1 && m_bFirstBlock && m_nBlockBase == 0 &&
      (m_nPendingRows > 0 || sql->bRowsSeekable()) &&
      cache->bAppendsPlain(current)) {
    ++m_nPendingRows;
    return 1;
  }
  _KeepPendingRows();
  cache->nAjoute(current);
  return 1;
}

long long CNAStatement::_nCacheRows() const { return m_pclRecordCache->nGetCount() + m_nPendingRows; }

namespace {

// work(held) runs with record's current value given back afterwards (bytes, state, identifier,
// memos); held is false when no copy could be made, and nothing is given back then.
template <typename F>
auto WithCurrentValueKept(CNARecord* record, F&& work) {
  naguards::CKeptValue kept(record, false);
  return work(kept.bKept());
}

}  // namespace

void CNAStatement::_KeepPendingRowsNow() {
  const int pending = m_nPendingRows;
  m_nPendingRows = 0;
  CNARecordCache* cache = m_pclRecordCache;
  CNAStatementSQL* sql = m_pclStatementSQL;
  if (cache == nullptr) return;
  WithCurrentValueKept(m_pclRecord, [&](bool held) {
    const long long at = sql != nullptr ? sql->llGetPosition() : -1;
    const bool end = sql == nullptr || sql->bIsEnd();
    const long long first = cache->nGetCount() - m_nBlockBase;
    // A seek walks the stored rows from the first: a browse reading forward stands on its last
    // pending row, which the rows read again end on, and a single one is the current row itself.
    const bool onLast = !end && at == first + pending - 1;
    const bool here = onLast && pending == 1;
    bool ok = held && sql != nullptr && (here || sql->bDataSeek(first));
    for (int k = 0; k < pending; ++k) {
      ok = ok && (here || (sql->bFetch(0) && !sql->bIsEnd())) && _bUpdateNARecordFromDB();
      cache->nAjoute(ok ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr);
    }
    if (sql != nullptr && !(onLast && ok)) {
      // Back where the browse left the result: on its row, or past it with none current.
      if (end)
        sql->bDataSeek(at + 1);
      else if (sql->bDataSeek(at))
        sql->bFetch(0);
    }
    return ok;
  });
}

BOOL CNAStatement::_bFetchAndCache(int* out, bool pending) {
  *out = 1;
  CNARecordCache* cache = m_pclRecordCache;
  if (cache == nullptr || cache->bIsFetchComplete()) return TRUE;
  return _bFetchIntoCache(cache, out, pending);
}

[[gnu::always_inline]] inline BOOL CNAStatement::_bFetchIntoCache(CNARecordCache* cache, int* out, bool pending) {
  *out = 1;
  if (m_pclStatementSQL == nullptr) return TRUE;
  const int got = _nFetchRowIntoCache(cache, pending);
  if (got != 0) {
    *out = got > 0 ? 0 : 1;
    return got > 0 ? TRUE : FALSE;
  }
  return _bFetchAndCacheFromNextBlock(cache, out);
}

BOOL CNAStatement::_bFetchAndCacheFromNextBlock(CNARecordCache* cache, int* out) {
  *out = 1;
  // A new block is another result: the plain step is asked again of its first row.
  _EndPlainStep();
  if ((cache->nGetCount() > 0 || m_bEdgeInexact) && _bNextBlockCanExist(NA_PARSE_NEXT)) {
    // The next block starts after the last row kept.
    if (m_pclOriginalRecord == nullptr) {
      m_pclOriginalRecord = new (std::nothrow) CNARecordValue(m_pclError);
      if (m_pclOriginalRecord == nullptr) return FALSE;
      m_pclOriginalRecord->AddRef();
    }
    if (cache->nGetCount() > 0 &&
        !cache->bGetAt(pclGetStmtOriginalRecord(), static_cast<unsigned int>(cache->nGetCount() - 1)))
      return FALSE;
    bool whole = false;
    if (m_bEdgeInexact) {
      m_bEdgeInexact = false;
      const int count = cache->nGetCount();
      if (!_bGoOnWhole(&whole)) return FALSE;
      // The whole result's rows up to the kept one stand for the cache's last ones.
      if (whole) m_nBlockBase = count - static_cast<int>(m_pclStatementSQL->llGetPosition() + 1);
      // Gone meanwhile, and no row kept to start after: the browse ends here.
      if (!whole && count == 0) {
        cache->SetFetchComplete();
        return TRUE;
      }
    }
    long long none = 0;
    if (!whole && !_bFetchNextBloc(NA_PARSE_NEXT, 0, &none)) return FALSE;
    const int got = _nFetchRowIntoCache(cache);
    if (got < 0) return FALSE;
    if (got > 0) {
      *out = 0;
      return TRUE;
    }
  }
  cache->SetFetchComplete();
  return TRUE;
}

inline BOOL CNAStatement::_bLandInCache(int row, bool fresh, int update, long long count) {
  m_nOutSide = 0;
  // A read of one row that marks it read needs it in the current value only (a memo set there
  // says at once that it does not qualify).
  const CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  const bool twin = update && count <= 1 && current != nullptr && current->pclGetTabMemoNoRef() == nullptr &&
                    _bRowIntoCurrentForTwin(row, fresh);
  if (!twin && fresh)
    _RestaureFetchedRow(row);
  else if (!twin)
    _RestaureRecordFromCache(row);
  return m_bRowFromCache;
}

[[gnu::always_inline]] inline int CNAStatement::_nFreshStepLanded(long long start, int o, int update, long long* moved,
                                                                 int* out) {
  if (!o && (start + 1 >= m_pclRecordCache->nGetCount()
                 ? start + 1 < _nCacheRows()
                 : m_pclRecordCache->bRecordInCache(static_cast<unsigned int>(start + 1)))) {
    const int row = static_cast<int>(start + 1);
    if (update && _bFreshRowTakesTwin())
      _TwinRowLanded(row);
    else if (!_bLandInCache(row, true, update, 1))
      return FALSE;
    *moved = 1;
    *out = 0;
    return TRUE;
  }
  if (o) {
    _SetOutSide(1);
    m_llCurrentRecord = _nCacheRows();
    *moved = 0;
    return TRUE;
  }
  return -1;
}

BOOL CNAStatement::_bFetchCacheEnabled(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved,
                                       int* out) {
  *out = 1;
  CNARecordCache* cache = m_pclRecordCache;
  long long start = m_llCurrentRecord;
  if (m_nOutSide > 0) start = _nCacheRows();
  if (m_nOutSide < 0) start = -1;
  // One step past the last row kept of a cache still filling, what a browse asks row after row:
  // that row comes from the server, and deleted rows are all behind. A row the cache could not
  // keep goes the whole way below. The row may stay pending: it is the current value's.
  if (direction == NA_PARSE_NEXT && count == 1 && start == _nCacheRows() - 1 && cache->bIsActive() &&
      !cache->bIsFetchComplete()) {
    // _bFetchAndCache, whose own checks this road made already.
    int o = 1;
    if (!_bFetchIntoCache(cache, &o, true)) return FALSE;
    const int landed = _nFreshStepLanded(start, o, update, moved, out);
    if (landed >= 0) return landed;
  }
  _KeepPendingRows();
  // Each row fetched on the way is read into the current value first: a move over several rows
  // may pass rows it does not land on.
  CCurrentBeforeMove before(this);
  if (direction != NA_PARSE_CURRENT && (count > 1 || direction == NA_PARSE_LAST)) before.Keep();
  const BOOL ok = _bMoveInCache(direction, update, count, start, moved, out);
  return before.bEnded(ok, *out);
}

BOOL CNAStatement::_bMoveInCache(eNA_PARSEDIRECTION direction, int update, long long count, long long start,
                                 long long* moved, int* out) {
  CNARecordCache* cache = m_pclRecordCache;
  long long target = start;
  // The row the last fetch appended from the current value, which still holds it.
  long long fresh = -1;
  if (direction == NA_PARSE_CURRENT || count == 0) {
    if (start < 0 || start >= cache->nGetCount()) return TRUE;
  } else {
    if (direction == NA_PARSE_LAST) {
      for (int o = 0; !cache->bIsFetchComplete() && o == 0;)
        if (!_bFetchAndCache(&o)) return FALSE;
    }
    target = cache->nGetPosition(start, direction, count);
    while (target >= 0 && cache->bMustFetch(static_cast<int>(target))) {
      int o = 0;
      if (!_bFetchAndCache(&o)) return FALSE;
      fresh = o ? -1 : cache->nGetCount() - 1;
      if (o) break;
      target = cache->nGetPosition(start, direction, count);
    }
    if (direction == NA_PARSE_LAST && target >= cache->nGetCount()) target = cache->nGetCount();
  }
  if (target < 0) {
    _SetOutSide(-1);
    m_llCurrentRecord = -1;
    *moved = start > 0 ? start : 0;
    return TRUE;
  }
  if (target >= cache->nGetCount()) {
    _SetOutSide(1);
    m_llCurrentRecord = cache->nGetCount();
    *moved = cache->nGetCount() - 1 - start;
    return TRUE;
  }
  if (!_bLandInCache(static_cast<int>(target), target == fresh, update, count)) return FALSE;
  *moved = count;
  *out = 0;
  return TRUE;
}

BOOL CNAStatement::_bCompleteCache() {
  // Without an open result nothing tells how many rows are still to come.
  if (!bCacheEnabled() || m_pclStatementSQL == nullptr || !m_pclStatementSQL->bIsResultOpen()) return FALSE;
  _KeepPendingRows();
  const BOOL ok = WithCurrentValueKept(m_pclRecord, [&](bool) {
    BOOL fetched = TRUE;
    for (int o = 0; fetched && !m_pclRecordCache->bIsFetchComplete() && o == 0;) fetched = _bFetchAndCache(&o);
    return fetched;
  });
  return ok && bCacheCompleted();
}

// ---------------------------------------------------------------- re-reading

BOOL CNAStatement::bMove(long long, int update) {
  if (m_pclDataAccess == nullptr) return FALSE;
  ResetQuery();
  EnableCache(0);
  auto condition = CHeldRef<CNACommand>::Take(m_pclDataAccess->pclAllocCommand(m_pclError));
  auto command = CHeldRef<CNACommand>::Take(m_pclDataAccess->pclAllocCommand(m_pclError));
  if (condition.get() == nullptr || command.get() == nullptr) return FALSE;
  if (!_bAddWHERELatestRead(condition.get(), 0, nullptr)) return FALSE;
  if (!bBuildQuerySELECT(command.get(), 0, nullptr, 1, condition.get())) return FALSE;
  if (!bExecute(0, update != 0 ? NA_ST_PREPARE : NA_ST_NOPREPARE)) return FALSE;
  // The row read again keeps its rank among equal rows in the browse that reached it.
  const int rank = m_pclRecord != nullptr ? m_pclRecord->nGetEqualRows() : 0;
  const BOOL ok = bFetch(NA_PARSE_FIRST, update, 1);
  if (m_pclRecord != nullptr) m_pclRecord->SetEqualRows(rank);
  return ok;
}

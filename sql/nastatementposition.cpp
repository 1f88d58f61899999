// The positions side of CNAStatement: saved positions (made, put back, forgotten), the user
// search of a seek, and the host's positioning by thousandths.
//
// A saved position's row index is the current row's place in the open result, or in the row
// cache while it is active; every Close forgets it, so that an index never names a row of
// another result. A position whose index is gone comes back by a search on its record save.
#include <cwchar>
#include <new>

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/naposition.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "access/natablecacheindex.h"
#include "common/refhashtable.h"
#include "common/str_buffer.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/narecherche.h"
#include "sql/nastatement.h"

using naguards::CHeldItemDesc;

namespace {
enum : int { kSiteCachedRowLost = 11 };
}  // namespace

// ---------------------------------------------------------------- the table of saved positions

BOOL CNAStatement::bAddSavedPosition(int id, CNAPosition* position) {
  if (position == nullptr) return FALSE;
  if (m_pTabSavedPosition == nullptr) {
    m_pTabSavedPosition = new (std::nothrow) CRefHashTable<int, CNAPosition*>(7);
    if (m_pTabSavedPosition == nullptr) {
      CNAError::g_RaiseNoMemory(m_pclError, pclGetConnectionNoRef());
      return FALSE;
    }
  }
  m_pTabSavedPosition->bRemoveValue(id);
  return m_pTabSavedPosition->bAddValue(id, position);
}

CNAPosition* CNAStatement::pclGetSavedPosition(int id) const {
  CNAPosition* position = nullptr;
  if (m_pTabSavedPosition == nullptr || !m_pTabSavedPosition->bGetValue(id, &position) || position == nullptr)
    return nullptr;
  position->AddRef();
  return position;
}

BOOL CNAStatement::bRemoveSavedPosition(int id) {
  return m_pTabSavedPosition != nullptr && m_pTabSavedPosition->bRemoveValue(id) ? TRUE : FALSE;
}

void CNAStatement::_InvalidateSavedRowIds() {
  unsigned int cursor = 0;
  void* value = nullptr;
  void* key = nullptr;
  while (m_pTabSavedPosition->bParseTable(&cursor, FALSE, &value, &key))
    if (value != nullptr) static_cast<CNAPosition*>(value)->InvalidateRowID();
}

// ---------------------------------------------------------------- saving and restoring

BOOL CNAStatement::bGetPosition(CNAPosition* position, eNAPOSITION) {
  if (position == nullptr || m_pclDataAccess == nullptr) return FALSE;
  position->SetStatement(this);
  // The filter the browse runs under: its own while unchanged since it started, else the one
  // the host set last.
  position->bKeepFilter(bFilterUnchanged() ? (bExistFilter() ? m_pclFilter : nullptr)
                                           : m_pclDataAccess->pclGetLatestFilterNoRef());
  if (m_bParseStarted && m_eParseNeedUpdate == NA_PARSE_UPTODATE && m_llCurrentRecord >= 0 && !m_bCurrentRowDeleted &&
      !m_bOutOfRange && m_pclOriginalRecord != nullptr && m_llCurrentRecord <= 0x7FFFFFFF) {
    const int id = m_pclDataAccess->nKeepOriginalRecordSave(this);
    if (id != -1) {
      position->bSetParameters(static_cast<int>(m_llCurrentRecord), id, &m_clUserSearch, m_nEqualRows);
      return _bSetPositionParametersEx(position);
    }
  }
  // Off a row, or with a rebuild pending: a copy of the row the browse is to come back to.
  bool fresh = false;
  int id = m_nRecordSaveId;
  if (id == -1 && m_pclOriginalRecord != nullptr) id = m_pclDataAccess->nKeepOriginalRecordSave(this);
  if (id == -1) id = m_pclDataAccess->nGetRecordSaveID();
  if (id == -1) {
    id = m_pclDataAccess->nKeepCurrentRecordSave();
    fresh = true;
  }
  position->bSetParameters(-1, id, &m_clUserSearch, m_pclRecord != nullptr ? m_pclRecord->nGetEqualRows() : 0);
  if (fresh) position->ClearSet();
  return TRUE;
}

BOOL CNAStatement::bSetPosition(CNAPosition* position, eNAPOSITION mode) {
  if (position == nullptr || m_pclDataAccess == nullptr) return FALSE;
  BOOL ok = TRUE;
  const int id = position->nGetStatementSave();
  if (id != -1) {
    const bool byRow = position->bIsSet() && !m_pclDataAccess->bRecordDeleted(id) && !position->bIsDeleted() &&
                       position->nGetRowIndex() >= 0 && m_eParseNeedUpdate != NA_PARSE_RERUN;
    ok = byRow ? _bGoToRowId(position->nGetRowIndex(), position) : _bSetPositionBySearch(position);
  }
  if (!ok) return FALSE;
  _EndPlainStep();
  _DropEdgeAnchor();
  m_clUserSearch.Copy(position->pclGetUserSearch());
  // A seek made since the save is not the position's: the browse goes on without it. The open
  // result holds the seek's rows only: the browse, and the places saved in that result, are found
  // again by their records.
  if (m_clUserSearch.piGetItemNoRef() == nullptr && m_pclRecherche != nullptr) {
    DropSearch();
    _InvalidatePositionRowIds();
    if (m_eParseNeedUpdate == NA_PARSE_UPTODATE && !bSetParseNeedUpdate(NA_PARSE_REPLACE)) return FALSE;
  }
  m_bInternalSearch = 1;
  m_bOutOfRange = 0;
  m_nOutSide = 0;
  m_bFound = m_clUserSearch.bGetHTrouve(m_pclRecord);
  if ((static_cast<unsigned int>(mode) & 1) != 0) {
    CNAFilter* filter = position->pclGetFilterSave()->pclGetFilterNoRef();
    if (filter != nullptr) filter->ActivateFilter(position->pclGetFilterSave()->bWasActive());
    _SetFilter(filter);
    m_pclDataAccess->SetLatestFilter(filter);
  }
  return TRUE;
}

BOOL CNAStatement::_bGoToRowId(int row, CNAPosition* position) {
  if (m_pclRecord == nullptr || position == nullptr) return FALSE;
  const int formerRank = m_nEqualRows;
  if (bCacheEnabled()) {
    _KeepPendingRows();
    CNARecordValue* original = m_pclRecord->pclGetOriginalValueNoRef();
    if (original == nullptr || !m_pclRecordCache->bGetAt(original, static_cast<unsigned int>(row))) {
      CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteCachedRowLost,
                                 pclGetConnectionNoRef(), _pszLogicalName(), pszGetParseItem(), 11);
      return FALSE;
    }
    m_pclRecord->bCopyOriginalRecordToCurrentRecord();
    m_bRowFromCache = 1;
    if (m_pclTableCacheIndex == nullptr) {
      bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
      if (!bSetStmtOriginalRecord(NA_PARSE_CURRENT)) return FALSE;
    } else {
      // The statement's copy follows the row; the index is put back on it at the next move.
      if (!bSetStmtOriginalRecord(NA_PARSE_CURRENT)) return FALSE;
      bSetParseNeedUpdate(NA_PARSE_REPLACE, position->nGetStatementSave());
    }
  } else {
    if (m_pclStatementSQL == nullptr) return FALSE;
    bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
    const long long at = static_cast<long long>(row) - m_nBlockBase;
    // Only a result standing on the wanted row is read again without moving it.
    const bool standing = at == m_pclStatementSQL->llGetPosition() && !m_pclStatementSQL->bIsEnd();
    BOOL moved = standing ? TRUE : FALSE;
    if (!standing && at >= 0 && at < m_pclStatementSQL->llGetRowCount())
      moved = m_pclStatementSQL->bDataSeek(at) && m_pclStatementSQL->bFetch(0) && !m_pclStatementSQL->bIsEnd();
    if (!moved || !_bUpdateNARecord(NA_PARSE_CURRENT)) {
      if (!moved) m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
      SetEqualRows(formerRank);
      return FALSE;
    }
    if (!m_pclRecord->bCopyCurrentRecordToOriginalRecord() || !bSetStmtOriginalRecord(NA_PARSE_CURRENT)) return FALSE;
  }
  SetEqualRows(position->nGetDuplicateRank());
  m_llCurrentRecord = row;
  m_bCurrentRowDeleted = 0;
  m_bRowValid = 1;
  return TRUE;
}

BOOL CNAStatement::_bSetPositionBySearch(CNAPosition* position) {
  const int id = position->nGetStatementSave();
  // A pending new run keeps its cause; it is put back on this save all the same.
  bSetParseNeedUpdate(m_eParseNeedUpdate == NA_PARSE_RERUN ? NA_PARSE_RERUN : NA_PARSE_REPLACE, id);
  if (!m_pclDataAccess->bRestoreOriginalRecordSave(id) || !m_pclRecord->bCopyOriginalRecordToCurrentRecord())
    return FALSE;
  // The row the browse stands on until it is found again: counts before it are counted from it.
  if (pclGetStmtOriginalRecord() != nullptr &&
      !pclGetStmtOriginalRecord()->bCopyRecordValue(m_pclRecord->pclGetCurrentValueNoRef(), NA_COPY_ALL))
    return FALSE;
  m_bRowFromCache = 1;
  m_bRowValid = 0;
  SetEqualRows(position->nGetDuplicateRank());
  return TRUE;
}

// ---------------------------------------------------------------- seeks

void CNAStatement::STSoughtItem::Drop() {
  if (item != nullptr) item->nExternalRelease();
  item = nullptr;
  browse = false;
}

INAItemDescription* CNAStatement::_piFindSoughtItemNoRef(const wchar_t* name) {
  STSoughtItem& kept = m_clSoughtItem;
  // The browse item's own text, the one a seek on the item it browses asks by.
  const bool browse = name == m_csBrowseItem.pszGet();
  // The host finds a name in any case: the item kept is its answer only for the very text it was
  // asked, which the item itself still bears.
  if (kept.item != nullptr && ((browse && kept.browse) || STR_bSameW(kept.name.pszGet(), name))) {
    const wchar_t* own = kept.item->pszGetName();
    if (own != nullptr && STR_bSameW(own, name)) {
      kept.browse = browse;
      return kept.item;
    }
  }
  INAItemDescription* found = m_piDescription->piNAGetItem(name);
  kept.Drop();
  if (found != nullptr) {
    // The description's reference becomes the kept one.
    kept.item = found;
    kept.name = name;
    kept.browse = browse;
  }
  return found;
}

BOOL CNAStatement::bSetUserSearch(const wchar_t* item, const CAny* value, eNA_PARSEDIRECTION dir, int exact) {
  if (m_piDescription == nullptr || item == nullptr) return FALSE;
  // Held by the kept item until the user search below holds it too.
  INAItemDescription* desc = _piFindSoughtItemNoRef(item);
  if (desc == nullptr) return FALSE;
  // A starts-with of a text that carries its terminator is the text itself, for a client-side
  // index and the found state as for the server.
  CAny whole;
  if (exact == 0 && value != nullptr && CNARecherche::s_bTextWithTerminator(*value, &whole)) {
    value = &whole;
    exact = 1;
  }
  m_clUserSearch.SetUserSearch(desc, value, exact != 0 ? 0 : CNAUserSearch::kPrefix);
  _EndPlainStep();
  m_bInternalSearch = 0;
  CNARecherche* search = pclGetRecherche();
  if (search == nullptr) return FALSE;
  const BOOL ok = search->bSetRecherche(m_pclRecord, desc, value, dir, exact, 0);
  search->nRelease();
  bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
  return ok;
}

void CNAStatement::EvalHTrouve(int* found, int* second) const {
  const int answer = !m_bOutOfRange && m_bFound ? 1 : 0;
  if (found != nullptr) *found = answer;
  if (second != nullptr) *second = answer;
}

// ---------------------------------------------------------------- host positioning

BOOL CNAStatement::bHPositionne(unsigned int position, eNA_PRECISION, NA_WRITEPARSEFLAGS flags) {
  if (m_pclDataAccess == nullptr) return FALSE;
  long long target = 1;
  if (position != 0) {
    long long count = 0;
    if (!m_pclDataAccess->bGetNbEnr(&count, 16, NA_WPF_CACHE, this, static_cast<eNA_PARSEDIRECTION>(-1)))
      return FALSE;
    target = count * static_cast<long long>(position) / 1000;
    if (target < 1) target = 1;
  }
  // The place is one of the whole browse: a seek in force is left, as a browse read leaves it
  // (also a sought value a returned position brought back, which bounds an index's first row).
  DropSearch();
  eNA_LOCKTYPE lockOut{};
  const CTString item(m_csBrowseItem.pszGet());
  return m_pclDataAccess->bSkipRecord(item.pszGet(), NA_PARSE_FIRST, target, 1, eNA_LOCKTYPE{}, &lockOut,
                                      flags | 0x2000);
}

BOOL CNAStatement::bHPositionCourante(int* position, eNA_PRECISION) {
  if (position == nullptr || m_pclDataAccess == nullptr) return FALSE;
  *position = 1;
  long long total = 0;
  long long rank = 0;
  if (m_pclTableCacheIndex != nullptr) {
    // The place in the index's order: a browse to be put back is put back first.
    total = m_pclTableCacheIndex->nGetRecordNbr();
    eNA_PARSEDIRECTION stay = NA_PARSE_CURRENT;
    long long none = 0;
    if (m_eParseNeedUpdate != NA_PARSE_UPTODATE && !bUpdateParsePositionInCacheIndex(&stay, &none)) return FALSE;
    rank = m_pclTableCacheIndex->nGetPreviousRecordNbr() + 1;
  } else {
    // The place among the rows of the filter in force, as HPositionne counts them.
    if (!m_pclDataAccess->bGetNbEnr(&total, 16, NA_WPF_CACHE, this, static_cast<eNA_PARSEDIRECTION>(-1))) return FALSE;
    // A result of the rows a seek selected holds them only, also once the seek was left: a row's
    // place in it is not its rank in the browse; nor is it in a result of another filter.
    const bool searching = m_bSoughtRows || (m_pclRecherche != nullptr && m_pclRecherche->nGetState() != 0);
    if (searching || m_eParseNeedUpdate != NA_PARSE_UPTODATE || !m_bFirstBlock || m_nDeletedRows != 0 ||
        !bFilterUnchanged()) {
      long long before = 0;
      if (!m_pclDataAccess->bGetNbEnr(&before, 16, NA_WPF_CACHE, this, NA_PARSE_PREVIOUS)) return FALSE;
      rank = before + 1;
    } else {
      rank = bInvertFetch() ? total - m_llCurrentRecord : m_llCurrentRecord + 1;
    }
  }
  if (total > 0) {
    // A current row outside the filter has all of its rows before it, or none: the place is a
    // thousandth still, the end or the start.
    if (rank > total) rank = total;
    if (rank < 0) rank = 0;
    const long long scaled = rank * 1000;
    *position = static_cast<int>(scaled / total + (scaled % total != 0 ? 1 : 0));
  }
  return TRUE;
}

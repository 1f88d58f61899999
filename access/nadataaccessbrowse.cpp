// The reading road of CNADataAccess: choosing the statement of a browse item, opening it with
// its record limit, moving it, opening further blocks of a limited browse, putting a rebuilt
// browse back on its record and re-reading the current record.
#include <algorithm>
#include <cwchar>
#include <optional>

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/nadataaccessstep.h"
#include "access/naposition.h"
#include "access/narecord.h"
#include "access/natablecache.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "platform/codepage.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/naitemdescription.h"
#include "sql/narecherche.h"
#include "sql/naservertext.h"
#include "sql/nastatement.h"
#include "sql/sqlparserinfo.h"

using naguards::CHeldItemDesc;
using naguards::CHeldStatement;
using naguards::CInternalSearch;
using naguards::CLentValue;

namespace {

enum : int { kSourceFile = 3 };
enum : int { kSiteBadRecordNumber = 18, kSiteNoBackward = 82, kSiteNoRebuild = 83, kSiteNoBrowse = 5 };

// What a read does about a filter changed since its browse read its rows.
enum : int { kFilterSame = 0, kFilterEndAnew = 1, kFilterFoundAgain = 2 };

// Flag bits of the reading road.
enum : unsigned int {
  kReuse = 0x2000,
  kNoRowCache = 0x10000,
  kDefaultItem = NA_WPF_DEFAULT_PARSE_ITEM,
  kInternalPositioning = 0x40000,
  kNoCache = 0x100000,
};

bool IsReal(eNA_ITEMTYPE type) { return type == NA_IT_R4 || type == NA_IT_R8; }

// A browse continues after a literal of the value as the host holds it: a value the host cannot
// hold exactly would re-read rows or never get past them. db: the imported description of the
// item's column, null for none. mayLose: a text of the column may come with a '?' for a
// character the connection's page lost, and no other form of it is read.
bool HostHoldsExactly(INAItemDescription* it, const CNAItemDescription* db, bool mayLose) {
  // The host's type asked once.
  const eNA_ITEMTYPE host = it->eNAGetItemType();
  if (IsReal(host)) return false;
  if (mayLose && (host == NA_IT_TEXTE || host == NA_IT_UNICODE || host == NA_IT_CHAR || host == NA_IT_MEMOTEXTE ||
                  host == NA_IT_MEMOUNICODE))
    return false;
  if (db == nullptr) return true;
  // The server orders an ENUM or SET by member number, a literal compared with it by its text: no
  // block goes on from one (the whole result is read, as a table's ENUM, imported as a memo, is).
  if (db->bEnumSet()) return false;
  const eNA_ITEMTYPE type = db->eNAGetItemType();
  if (IsReal(type)) return false;
  // The host keeps milliseconds, and a date item no time of day.
  if (type == NA_IT_DATETIME || type == NA_IT_HEURE) {
    if (db->nGetDecimalPart() > 3) return false;
    return !(type == NA_IT_DATETIME && (host == NA_IT_DATE8 || host == NA_IT_DATE6 || host == NA_IT_HEURE));
  }
  // A text item keeps as many characters (a binary one bytes) of a text column as it has room
  // for.
  const bool textItem = host == NA_IT_TEXTE || host == NA_IT_UNICODE || host == NA_IT_CHAR ||
                        (host == NA_IT_BINAIRE && !it->bIsComposedKey());
  if (textItem && (type == NA_IT_TEXTE || type == NA_IT_UNICODE || type == NA_IT_CHAR || type == NA_IT_BINAIRE ||
                   db->bMemo()))
    return !db->bMemo() && db->nGetLogicalSize(0) <= it->nGetLogicalSize(0);
  // A number item keeps its own fraction digits only; a currency column has up to 6, which
  // its description does not tell.
  const int kept = g_nKeptFractionDigits(it, host);
  const int digits = type == NA_IT_MONETAIRE ? 6 : db->nGetDecimalPart();
  return kept < 0 || digits <= kept;
}

}  // namespace

// ---------------------------------------------------------------- statements of items

const wchar_t* CNADataAccess::pszGetBestParseItemName() {
  INADataSourceDescription* desc = piGetDataSourceDescriptionNoRef();
  CHeldItemDesc best(desc != nullptr ? desc->piGetBestParseItemDesc() : nullptr);
  m_csBestParseItem = best.get() != nullptr ? best.get()->pszGetName() : L"";
  return m_csBestParseItem.pszGet();
}

const wchar_t* CNADataAccess::_pszGetDefaultParseItem() {
  const wchar_t* ordered = m_pclSourceQuery != nullptr ? m_pclSourceQuery->pszGetOrderByItem() : nullptr;
  return ordered != nullptr && *ordered != 0 ? ordered : pszGetBestParseItemName();
}

CNAStatement* CNADataAccess::_pclGetNewItemStatement(const wchar_t* item, eNA_PARSEDIRECTION, NA_WRITEPARSEFLAGS flags) {
  CNAStatement* former = m_pclLastStatement;
  CNAStatement* stmt = _pclFindStatement(item);
  if (stmt == nullptr) {
    stmt = _pclInitStatement(item);
    if (stmt == nullptr) return nullptr;
    stmt->SetBrowseItem(item);
  }
  m_pclLastStatement = stmt;
  if ((flags & 0x8000) != 0 && former != nullptr && former != stmt && former->bExistFilter())
    stmt->_SetFilter(former->pclGetFilterNoRef());
  return stmt;
}

CNAStatement* CNADataAccess::_pclGetLastStatement() {
  if (m_pclLastStatement != nullptr) {
    m_pclLastStatement->AddRef();
    return m_pclLastStatement;
  }
  const CTString best(pszGetBestParseItemName());
  // The statement "" is the writes': no browse of its own.
  if (best.nTaille() == 0) return nullptr;
  return _pclGetNewItemStatement(best.pszGet(), NA_PARSE_CURRENT, 0);
}

// ---------------------------------------------------------------- reads

BOOL CNADataAccess::bHLitxxx(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                             eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags) {
  return _bReadAsGeneric(item, dir, setRead, lock, lockOut, flags);
}

BOOL CNADataAccess::_bReadGeneral(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                                  eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags) {
  const int afterQuery = m_bQueryParseStarted;
  CNAStatement* taken = afterQuery ? _pclFirstReadAfterQuery(item, &flags) : nullptr;
  m_bQueryParseStarted = 0;
  CHeldStatement held(taken != nullptr ? taken : _pclGetNewItemStatement(item, dir, flags));
  CNAStatement* stmt = held.get();
  if (stmt == nullptr) return FALSE;
  // An open result of the default item is not in the asked item's order, nor the other way round:
  // only a table cache, which orders by its own indexes, may still serve the read.
  if ((dir == NA_PARSE_FIRST || dir == NA_PARSE_LAST) && (flags & kReuse) != 0 && stmt->bGetOpened() &&
      ((flags & kDefaultItem) != 0) != ((stmt->dwGetParseFlags() & kDefaultItem) != 0) && m_pclTableCache == nullptr)
    flags &= ~static_cast<NA_WRITEPARSEFLAGS>(kReuse);
  int changed = 0;
  BOOL ok = _bFollowFilterChange(stmt, dir, &changed);
  int reopen = changed == kFilterEndAnew ? 1 : 0;
  const bool ends = dir == NA_PARSE_FIRST || dir == NA_PARSE_LAST;
  const bool indexed = stmt->pclGetTableCacheIndexNoRef() != nullptr && m_pclTableCache != nullptr;
  if (stmt->bExistRechercheObject()) {
    if (reopen == 0 && (indexed || (!ends && bRequeteSansCorrection() && m_pclTableCache != nullptr))) {
      // An index holds every row: a seek made in it bounds nothing further (a browse whose index
      // went gets one again to move on).
      stmt->DropSearch();
    } else if (!(m_pclTableCache != nullptr && reopen == 0 && (flags & kReuse) != 0)) {
      // Next and previous from a row a seek found go on from that row in the whole browse; from
      // outside the rows, as any browse does from there.
      const bool moving = (dir == NA_PARSE_NEXT || dir == NA_PARSE_PREVIOUS) && reopen == 0 &&
                          stmt->bGetParseStarted() && stmt->bCanUpdateParse();
      const bool fromFound = moving && stmt->pclGetRechercheNoRef()->nGetState() != 0 && !stmt->bGetOutOfRange();
      const bool outside = moving && stmt->bGetOutOfRange() && stmt->nGetOutSide() != 0;
      // A search switched off is dropped: left behind, it would run every later read again from
      // the browse's end.
      stmt->DropSearch();
      // A rebuild already pending keeps its own record (a position returned to).
      if (fromFound && stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE)
        ok = stmt->bSetParseNeedUpdate(NA_PARSE_REPLACE);
      else if (!fromFound && !outside)
        reopen = 1;
    }
  }
  stmt->AnnuleRechercheUser();
  stmt->SetParseFlags(flags);
  stmt->SetBrowseItem((flags & kDefaultItem) != 0 ? _pszGetDefaultParseItem() : item);
  // A move from the current row goes on in the index it stands in; a query sent as written keeps
  // its cache for any move, as the only place its browses can be found again.
  if (reopen || ((flags & kReuse) == 0 && (ends || !(indexed || bRequeteSansCorrection())))) _FreeTableCache();
  if (ok && ends && _bTableCacheRoad(flags)) ok = _bChooseTableCache(stmt, item, flags, &reopen);
  if (ok) ok = _bFetch(stmt, item, dir, 1, setRead, lock, lockOut, flags, reopen);
  if (!ok) ok = _bRepriseErreurParcours(stmt, item, dir, lock, lockOut, flags);
  // A failed read lets the table cache go, unless another statement is still filling it.
  if (!ok && m_pclTableCache != nullptr &&
      !(m_pclTableCache->pclGetStatementParseNoRef() != nullptr && !m_pclTableCache->bIsStatementParse(stmt)))
    _FreeTableCache();
  // A query whose text cannot be reversed is read again through its full table cache, which
  // then serves the last record too.
  if (ok && bRequeteSansCorrection() && (flags & (kDefaultItem | kReuse)) == 0 &&
      (dir == NA_PARSE_FIRST || dir == NA_PARSE_LAST)) {
    return bHLitxxx(item, dir, setRead, lock, lockOut, flags | kReuse);
  }
  return ok;
}

BOOL CNADataAccess::_bFollowFilterChange(CNAStatement* stmt, eNA_PARSEDIRECTION dir, int* changed) {
  *changed = kFilterSame;
  if (!stmt->bGetParseStarted() || stmt->bFilterUnchanged()) return TRUE;
  // The rows read were another filter's: an end is read anew, a move goes on from the current
  // record's place among the rows of the filter in force.
  if (dir == NA_PARSE_FIRST || dir == NA_PARSE_LAST) {
    *changed = kFilterEndAnew;
    return TRUE;
  }
  *changed = kFilterFoundAgain;
  return stmt->bSetParseNeedUpdate(NA_PARSE_REPLACE);
}

BOOL CNADataAccess::bSkipRecord(const wchar_t* item, eNA_PARSEDIRECTION dir, long long count, int setRead,
                                eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags) {
  CHeldStatement held(_pclGetNewItemStatement(item, dir, flags));
  CNAStatement* stmt = held.get();
  if (stmt == nullptr) return FALSE;
  if (stmt->pszGetBrowseItem()[0] == 0) stmt->SetBrowseItem(item);
  int changed = kFilterSame;
  if (!_bFollowFilterChange(stmt, dir, &changed)) return FALSE;
  // A table cache holds the rows of the filter it was filled under; an index of it, or a query
  // sent as written, finds the browse again there.
  const bool indexed = stmt->pclGetTableCacheIndexNoRef() != nullptr && m_pclTableCache != nullptr;
  if (changed == kFilterEndAnew || (changed == kFilterFoundAgain && !indexed && !bRequeteSansCorrection()))
    _FreeTableCache();
  // A skip over several rows may land on a row of a short first block (taking the record, and
  // letting go of the saves the host's record stood for) before it goes on past either end: one
  // that lands on no row gives the record and its saves back as the host had them, as a skip
  // inside the rows held leaves them, and the browse its own copy of the row it stood on (a skip
  // that goes on past a seek's rows leaves the last of them there).
  std::optional<naguards::CKeptRecordValues> values;
  const bool guarded = count > 1 && m_pclCurrentRecord != nullptr;
  const int heldSave = m_nRecordSaveID, writtenSave = m_nWrittenSaveID;
  std::optional<CNAStatement::CStandingKept> standing;
  if (guarded) {
    values.emplace(m_pclCurrentRecord);
    if (heldSave != -1) AddRefRecordSave(heldSave);
    if (writtenSave != -1) AddRefRecordSave(writtenSave);
    standing.emplace(stmt);
  }
  const BOOL ok = _bFetch(stmt, item, dir, count, setRead, lock, lockOut, flags, changed == kFilterEndAnew ? 1 : 0);
  if (guarded) {
    int out = 1;
    if (ok) stmt->HEndehors(&out);
    // A failure's recovery finds the browse again itself.
    const bool back = ok && out;
    // The reference taken above becomes the access's again, or goes.
    auto settle = [&](int kept, int* now) {
      if (kept == -1) return;
      if (back && *now != kept) {
        if (*now != -1) nReleaseRecordSave(*now);
        *now = kept;
      } else {
        nReleaseRecordSave(kept);
      }
    };
    settle(heldSave, &m_nRecordSaveID);
    settle(writtenSave, &m_nWrittenSaveID);
    if (!back) values->Keep();
    values.reset();
    if (back) standing->GiveBack();
  }
  if (ok) return TRUE;
  return _bRepriseErreurParcours(stmt, item, dir, lock, lockOut, flags);
}

BOOL CNADataAccess::_bFetch(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                            int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags,
                            int reopen) {
  if (!stmt->bSetLockType(lock)) return FALSE;
  const bool opened = stmt->bGetOpened() != 0;
  bool open = reopen != 0;
  bool cameBack = false;
  // A move by no row reads the current row again, also when the browse must be found again.
  if (count == 0 && (dir == NA_PARSE_NEXT || dir == NA_PARSE_PREVIOUS) && !stmt->bGetOutOfRange()) dir = NA_PARSE_CURRENT;
  if (!open && (dir == NA_PARSE_NEXT || dir == NA_PARSE_PREVIOUS) && stmt->bGetParseStarted() &&
      stmt->bGetOutOfRange() && stmt->nGetOutSide() != 0) {
    // Out past one end of the browse, whatever happened to the statement since: going on, or a
    // move by no row, stays out; coming back reads from that end.
    const bool back = (dir == NA_PARSE_PREVIOUS) == (stmt->nGetOutSide() > 0);
    if (!back || count == 0) return TRUE;
    dir = dir == NA_PARSE_PREVIOUS ? NA_PARSE_LAST : NA_PARSE_FIRST;
    cameBack = true;
  }
  if (!open && dir != NA_PARSE_FIRST && dir != NA_PARSE_LAST) {
    if (stmt->bGetStay()) return TRUE;
    const bool against = stmt->bInvertFetch() ? dir == NA_PARSE_NEXT : dir == NA_PARSE_PREVIOUS;
    if (stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE && opened && !stmt->bCanFetchBackward() &&
        m_pclTableCache == nullptr && !stmt->bCacheEnabled() && against) {
      if (!stmt->bCanUpdateParse()) {
        CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoBackward, m_pclConnection,
                                   pszGetLogicalName(), item, 82);
        return FALSE;
      }
      stmt->bSetParseNeedUpdate(NA_PARSE_REPLACE);
    }
    // A query sent as written has no search to find a browse again by: a browse to be put back
    // is read through an index of its table cache, on its saved record.
    if (stmt->eParseNeedUpdate() != NA_PARSE_UPTODATE && bRequeteSansCorrection() && m_pclTableCache != nullptr &&
        stmt->pclGetTableCacheIndexNoRef() == nullptr && !_bMoveOntoTableCache(stmt))
      return FALSE;
    if ((stmt->eParseNeedUpdate() != NA_PARSE_UPTODATE || !opened) && m_pclTableCache == nullptr) {
      // A browse never opened and given no record to start from (a move right after an add or
      // an open) has nothing to go on from: said, rather than a failure without a reason.
      if (!opened && stmt->nGetRecordSaveID() == -1 && stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE) {
        CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoBrowse, m_pclConnection,
                                   pszGetLogicalName(), item, 5, item);
        return FALSE;
      }
      const BOOL found = _bUpdateParse(0, stmt, setRead, dir, count);
      // Found again in the whole browse and moved out of it: a seek in force no longer says
      // where the browse stands.
      if (found && stmt->bGetOutOfRange() && stmt->bExistRechercheObject()) stmt->DropSearch();
      return found;
    }
  } else if (!open && ((flags & kReuse) != 0 || cameBack) && _bReadsTableCache(stmt)) {
    // The table cache serves it, whole for any statement but the one still filling it.
    if (!m_pclTableCache->bIsStatementParse(stmt) && m_pclTableCache->pclGetFullCache() == nullptr) return FALSE;
  } else if (!open) {
    // A first or last read runs the SELECT again unless the open result may serve it.
    open = true;
    // Coming back from an end is a move in the open result, which serves it when it can: never
    // one that holds only the rows a seek selected.
    if (((flags & kReuse) != 0 || cameBack) && stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE && opened &&
        !stmt->bGetSoughtRows()) {
      const long long limit = stmt->llGetRecordLimit();
      const bool whole = limit == CNAStatement::NO_LIMIT;
      if (whole || limit >= count) {
        if (!stmt->bInvertFetch())
          open = !((stmt->bGetFirstBlock() || dir == NA_PARSE_LAST) && (dir == NA_PARSE_FIRST || whole));
        else
          open = !((stmt->bGetFirstBlock() || dir == NA_PARSE_FIRST) && (whole || dir == NA_PARSE_LAST));
      }
    }
  }
  if (open) {
    stmt->ClearStay();
    stmt->bSetParseNeedUpdate(NA_PARSE_UPTODATE, -1);
    if (bRequeteSansCorrection() && stmt->bExistFilter()) {
      CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, 35, m_pclConnection,
                                 pszGetLogicalName(), item, 35);
      return FALSE;
    }
    int forward = dir == NA_PARSE_LAST || dir == NA_PARSE_PREVIOUS ? 0 : 1;
    if (bRequeteSansCorrection()) forward = 1;
    CSQLParserInfo* query = m_pclSourceQuery;
    const auto prepare = query != nullptr && query->bHPrepareRequeteCalled() ? static_cast<CNAStatement::eNA_ST_PREPARE>(3)
                                                                              : CNAStatement::NA_ST_PREPARE;
    if (!_bOpenStatement(stmt, item, forward, flags, &count, prepare)) return FALSE;
  }
  return _bFetchMove(stmt, item, dir, count, setRead, lock, lockOut, flags);
}

CNAPosition* CNADataAccess::_pclPositionBeforeLock(CNAStatement* stmt) {
  CNAPosition* made = pclAllocPosition();
  if (made == nullptr) return nullptr;
  made->AddRef();
  if (stmt->bGetPosition(made, static_cast<eNAPOSITION>(0))) return made;
  made->nRelease();
  return nullptr;
}

// ---------------------------------------------------------------- opening

BOOL CNADataAccess::_bOpenStatement(CNAStatement* stmt, const wchar_t* item, int forward, NA_WRITEPARSEFLAGS flags,
                                    long long* count, CNAStatement::eNA_ST_PREPARE prepare) {
  // A seek the statement's kept SELECT may serve most often leaves the command unused.
  CNACommand* command = _pclSelectCommand(!stmt->bHasKeptSeekSELECT());
  if (command == nullptr) return FALSE;
  command->AddRef();
  BOOL ok = bBuildSelect(command, stmt, item, forward, flags, count) && stmt->bExecute(flags, prepare);
  if (ok) {
    // A result put on a record by a search holds only the rows on one side of it: the row cache,
    // which cannot take rows before its first, is left to browses opened from an end.
    if ((flags & (kNoRowCache | kNoCache | kInternalPositioning)) != 0)
      stmt->EnableCache(0);
    else if (m_pclTableCache != nullptr && _bTableCacheRoad(flags))
      ok = m_pclTableCache->bSetStatementParse(stmt);
    else if (stmt->bDefaultParseNeedRecordCache())
      stmt->EnableCache(1);
  }
  command->nRelease();
  return ok;
}

BOOL CNADataAccess::bBuildSelect(CNACommand* command, CNAStatement* stmt, const wchar_t* item, int forward,
                                 NA_WRITEPARSEFLAGS flags, long long* count) {
  if (command == nullptr || stmt == nullptr) return FALSE;
  command->SetNAQueryType(NA_QUERY_SELECT);
  // A further block keeps the statement's search, state and row cache.
  const bool continuing = stmt->bGetContinuing() != 0;
  if (!continuing) stmt->ResetQuery();
  // The limits read nothing the SELECT's text is built from; they are set once it is built.
  long long limit = CNAStatement::NO_LIMIT;
  const bool query = m_bSourceIsQuery != 0;
  const bool unlimited = query && (bRequeteSansCorrection() || (m_dwQueryFlags & 0x80000000u) != 0 ||
                                   (m_pclSourceQuery != nullptr && m_pclSourceQuery->bQueryResultsetLimited(m_pclConnection)));
  if (!unlimited && !m_bWholeSelect && _bEnableRecordLimit(item)) {
    limit = m_pclConnection != nullptr ? m_pclConnection->llGetCacheSize() : -2;
    CNADriver* driver = CNADriver::s_pclDriver;
    if (limit == -2) limit = driver != nullptr ? driver->llGetDefaultCacheSize() : -1;
  }
  long long skip = 0;
  long long offset = -1;
  long long rows = limit;
  long long moved = count != nullptr ? *count : 0;
  if (limit > 0 && count != nullptr && moved < 0 && continuing) {
    // A further block that reaches -*count rows, none skipped.
    rows = std::max(limit, -moved);
    moved = 0;
  } else if (limit > 0 && count != nullptr && moved >= 1 && moved >= limit) {
    if (continuing) {
      // The server passes over the rows of a long move.
      offset = moved - 1;
      moved = 1;
    } else {
      const long long small = limit > 20 ? 10 : limit / 3 + 1;
      skip = moved - small;
      moved = small;
    }
  }
  const long long rowLimit = rows > 0 ? rows : -1;
  // A seek or a further block that differs from the last one by its value only sends the kept SELECT
  // (the statement's command then, not this one): the SELECTs this access builds are run through
  // their statement.
  if (!_bOwnSelectCommand(command) || !stmt->bBuildKeptSeekSELECT(flags, item, forward, rowLimit, offset)) {
    if (command->bRecycleOwed()) {
      command->Recycle();
      command->SetNAQueryType(NA_QUERY_SELECT);
    }
    CNACommand* condition = _pclSelectCommand();
    if (condition == nullptr) return FALSE;
    condition->AddRef();
    const BOOL built = stmt->bGetClauseWHERE(condition) && stmt->bBuildQuerySELECT(command, flags, item, forward, condition);
    condition->nRelease();
    if (!built) return FALSE;
    command->SetRowLimit(rowLimit, offset);
    stmt->KeepSeekSELECT(command, flags, item, forward);
  }
  stmt->SetRecordLimit(limit, skip);
  if (count != nullptr) *count = moved;
  return TRUE;
}

void CNADataAccess::STExactItem::Drop() {
  if (item != nullptr) item->nExternalRelease();
  if (imported != nullptr) imported->nExternalRelease();
  item = nullptr;
  imported = nullptr;
  record = nullptr;
  column = nullptr;
}

BOOL CNADataAccess::_bEnableRecordLimit(const wchar_t* item) {
  INADataSourceDescription* desc = piGetDataSourceDescriptionNoRef();
  if (desc == nullptr) return FALSE;
  // noted: the answer is kept for the next ask on it, while the column and description it read
  // stay (the named item's: a browse or seek asks it again and again).
  auto exact = [this](INAItemDescription* it, bool noted) {
    STExactItem& kept = m_clExactItem;
    CNARecord* record = m_pclCurrentRecord;
    if (noted && it == kept.item && record != nullptr && record == kept.record &&
        record->nGetColumnStamp() == kept.columns &&
        (kept.column != nullptr ? kept.column->piGetImportedItemDescNoRef() : nullptr) == kept.imported)
      return kept.exact;
    CNAColumn* column = record != nullptr ? record->pclGetColumnNoRef(it) : nullptr;
    CNAItemDescription* db = column != nullptr ? column->piGetImportedItemDescNoRef() : nullptr;
    // A text a page connection may have cut short of a character, with nothing else read of it
    // (a query's column, or a table's not read as its bytes).
    const CNAConnectionDescription* cnx = m_pclConnection;
    const bool mayLose = column != nullptr && cnx != nullptr && cnx->nGetServerCodePage() != CP_UTF8 &&
                         (db == nullptr || db->bWideText()) && !g_bReadsKeyBytes(record, column, cnx, column);
    const bool answer = HostHoldsExactly(it, db, mayLose);
    if (noted) {
      it->ExternalAddRef();
      if (db != nullptr) db->ExternalAddRef();
      kept.Drop();
      kept.item = it;
      kept.imported = db;
      kept.record = record;
      kept.columns = record != nullptr ? record->nGetColumnStamp() : 0u;
      kept.column = column;
      kept.exact = answer;
    }
    return answer;
  };
  if (item != nullptr && *item != 0) {
    // The item the seek under way found for this very name needs no look-up again.
    const STSeekItem& seek = m_clSeekItem;
    const bool noted = seek.item != nullptr && seek.name == item && seek.desc == desc;
    CHeldItemDesc held(noted ? nullptr : desc->piNAGetItem(item));
    INAItemDescription* it = noted ? seek.item : held.get();
    if (it != nullptr) {
      if (!exact(it, true)) return FALSE;
      if (it->bUnique()) return TRUE;
    }
  }
  CHeldItemDesc best(desc->piGetBestParseItemDesc());
  if (best.get() == nullptr || !best.get()->bUnique()) return FALSE;
  for (int i = 0; i < desc->nGetNumItems(); ++i) {
    CHeldItemDesc it(desc->piNAGetItem(static_cast<unsigned int>(i)));
    if (it.get() == nullptr) continue;
    if (it.get() == best.get() || wcscmp(it.get()->pszGetName(), best.get()->pszGetName()) == 0)
      return exact(it.get(), false) ? TRUE : FALSE;
    if (!exact(it.get(), false)) return FALSE;
  }
  return FALSE;
}

BOOL CNADataAccess::_bOpenBlock(CNAStatement* stmt, eNA_PARSEDIRECTION dir, int atRecord, long long* skip) {
  CNARecordValue* original = stmt->pclGetStmtOriginalRecord();
  if (m_pclCurrentRecord == nullptr || original == nullptr) return FALSE;
  CLentValue lent(m_pclCurrentRecord, original, false);
  if (!lent.bOk()) return FALSE;
  CHeldItemDesc item(m_piDescription != nullptr ? m_piDescription->piNAGetItem(stmt->pszGetBrowseItem()) : nullptr);
  if (item.get() == nullptr) return FALSE;
  CInternalSearch held(stmt);
  CNARecherche* search = held.get();
  if (search == nullptr) return FALSE;
  BOOL ok = search->bRechercheEnreg(m_pclCurrentRecord, item.get(), dir, atRecord, nullptr);
  if (ok && !atRecord) ok = search->bSetContinueParcours(dir == NA_PARSE_NEXT ? NA_PARSE_FIRST : NA_PARSE_LAST);
  if (ok) {
    const int forward = dir == NA_PARSE_NEXT || atRecord ? 1 : 0;
    CNACommand* command = _pclSelectCommand(!stmt->bHasKeptSeekSELECT());
    ok = command != nullptr;
    if (ok) {
      command->AddRef();
      ok = bBuildSelect(command, stmt, stmt->pszGetBrowseItem(), forward, stmt->dwGetParseFlags(), skip) &&
           stmt->bExecute(stmt->dwGetParseFlags(), CNAStatement::NA_ST_PREPARE);
      command->nRelease();
    }
  }
  return ok;
}

BOOL CNADataAccess::_bOpenWhole(CNAStatement* stmt, int forward) {
  CNACommand* command = _pclSelectCommand();
  if (command == nullptr) return FALSE;
  command->AddRef();
  m_bWholeSelect = true;
  const BOOL ok = bBuildSelect(command, stmt, stmt->pszGetBrowseItem(), forward, stmt->dwGetParseFlags(), nullptr) &&
                  stmt->bExecute(stmt->dwGetParseFlags(), CNAStatement::NA_ST_PREPARE);
  m_bWholeSelect = false;
  command->nRelease();
  return ok;
}

// ---------------------------------------------------------------- finding the record again

BOOL CNADataAccess::_bUpdateParse(int keep, CNAStatement* stmt, int setRead, eNA_PARSEDIRECTION dir, long long count) {
  // A query sent as written has no search to find its row again once its table cache is gone
  // (a transaction's end drops it): it is refused as one read without a cache is.
  if (!stmt->bCanUpdateParse() && ((stmt->dwGetParseFlags() & kNoCache) != 0 || bRequeteSansCorrection())) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoRebuild, m_pclConnection,
                               pszGetLogicalName(), stmt->pszGetBrowseItem(), 83);
    return FALSE;
  }
  if (stmt->nGetRecordSaveID() == -1 || m_pclCurrentRecord == nullptr) return FALSE;
  // The rebuild point stands in the original value for the search only: a browse that lands on
  // no row gives the record back as the host had it, and a write then names the row it shows
  // (after a modify that moved it, not its former key).
  CLentValue hostOriginal(m_pclCurrentRecord, m_pclCurrentRecord->pclGetOriginalValueNoRef(), true);
  if (!hostOriginal.bOk() || !bRestoreOriginalRecordSave(stmt->nGetRecordSaveID())) return FALSE;
  // The rank among equal rows goes with the rebuild point, as the row does: the record's is the
  // last row read's, perhaps on another item.
  const int hostRank = m_pclCurrentRecord->nGetEqualRows();
  m_pclCurrentRecord->SetEqualRows(stmt->nGetEqualRows());
  const BOOL found = bGoToOriginalRecord(keep, stmt, setRead, dir, count);
  int out = 1;
  stmt->HEndehors(&out);
  if (found && !keep && !out)
    hostOriginal.Keep();
  else
    m_pclCurrentRecord->SetEqualRows(hostRank);
  return found;
}

BOOL CNADataAccess::bGoToOriginalRecord(int keep, CNAStatement* stmt, int setRead, eNA_PARSEDIRECTION dir,
                                        long long count) {
  CHeldItemDesc item(m_piDescription != nullptr ? m_piDescription->piNAGetItem(stmt->pszGetBrowseItem()) : nullptr);
  if (item.get() == nullptr) return TRUE;
  return _bGoToOriginalRecord(keep, stmt, item.get(), setRead, dir, count);
}

BOOL CNADataAccess::_bGoToOriginalRecord(int keep, CNAStatement* stmt, INAItemDescription* item, int setRead,
                                         eNA_PARSEDIRECTION dir, long long count) {
  if (m_pclCurrentRecord == nullptr) return FALSE;
  // The current buffer takes the original one for the search; both come back unless the browse
  // landed on a row.
  CLentValue current(m_pclCurrentRecord, m_pclCurrentRecord->pclGetOriginalValueNoRef(), false);
  CLentValue originalKept(m_pclCurrentRecord, m_pclCurrentRecord->pclGetOriginalValueNoRef(), true);
  if (!current.bOk()) return FALSE;
  const BOOL found = _bGoToCurrentRecord(stmt, item, setRead, dir, count);
  int out = 1;
  stmt->HEndehors(&out);
  if (found && !keep && !out) {
    current.Keep();
    originalKept.Keep();
  }
  if (!found || out) {
    const int id = nKeepOriginalRecordSave(nullptr);
    if (id != -1) stmt->bSetParseNeedUpdate(NA_PARSE_REPLACE, id);
  }
  return found;
}

BOOL CNADataAccess::_bGoToCurrentRecord(CNAStatement* stmt, INAItemDescription* item, int setRead,
                                        eNA_PARSEDIRECTION dir, long long count) {
  long long rank = m_pclCurrentRecord->nGetEqualRows();
  INADataSourceDescription* desc = m_piDescription;
  CHeldItemDesc best(desc != nullptr ? desc->piGetBestParseItemDesc() : nullptr);
  CNAColumn* bestColumn = best.get() != nullptr ? m_pclCurrentRecord->pclGetColumnNoRef(best.get()) : nullptr;
  const bool duplicates = !(best.get() != nullptr && best.get()->bUnique() && bestColumn != nullptr &&
                            bestColumn->bValueDefined());
  CInternalSearch held(stmt);
  CNARecherche* search = held.get();
  if (search == nullptr) return FALSE;
  BOOL ok = search->bRechercheEnreg(m_pclCurrentRecord, item, dir, 0, nullptr);
  // A key whose character the connection's page lost names no row: the row is found by its texts.
  if (ok && search->bNamesByLostText())
    return stmt->bGoToKeptRowWhole(m_pclCurrentRecord->pclGetCurrentValueNoRef(), duplicates ? static_cast<int>(rank) : 0,
                                   dir, count, setRead);
  const NA_WRITEPARSEFLAGS flags = stmt->dwGetParseFlags() | kInternalPositioning;
  const wchar_t* name = stmt->pszGetBrowseItem();
  if (ok && (dir == NA_PARSE_NEXT || dir == NA_PARSE_PREVIOUS) && stmt->bSearchOrdersByMember()) {
    // The server orders an ENUM or SET by member number, and no literal says which rows follow
    // one: the row is found by its key, then in the whole browse by its texts, the move made
    // from there.
    eNA_PARSEDIRECTION here = NA_PARSE_CURRENT;
    long long landing = 0;
    if (duplicates && !_bGotoCurrentRecord_DuplicateProcess(stmt, rank, &here, &landing)) return FALSE;
    if (!_bFetch(stmt, name, NA_PARSE_FIRST, std::max(landing, 1LL), 0, static_cast<eNA_LOCKTYPE>(0), nullptr, flags, 1))
      return FALSE;
    if (!stmt->bGetFound() || stmt->bGetOutOfRange()) {
      stmt->CurrentRecordNotFound(name, 3, 23);
      return FALSE;
    }
    return stmt->bGoToCurrentRowWhole(dir, count, setRead);
  }
  if (ok && duplicates) ok = _bGotoCurrentRecord_DuplicateProcess(stmt, rank, &dir, &count);
  if (ok) {
    switch (dir) {
      case NA_PARSE_FIRST:
      case NA_PARSE_NEXT:
        search->bSetContinueParcours(NA_PARSE_FIRST);
        ok = _bFetch(stmt, name, NA_PARSE_FIRST, count, setRead, static_cast<eNA_LOCKTYPE>(0), nullptr, flags, 1);
        break;
      case NA_PARSE_LAST:
      case NA_PARSE_PREVIOUS:
        search->bSetContinueParcours(NA_PARSE_LAST);
        ok = _bFetch(stmt, name, NA_PARSE_LAST, count, setRead, static_cast<eNA_LOCKTYPE>(0), nullptr, flags, 1);
        break;
      case NA_PARSE_CURRENT: {
        const long long landing = count == 0 ? 1 : count;
        ok = _bFetch(stmt, name, NA_PARSE_FIRST, landing, setRead, static_cast<eNA_LOCKTYPE>(0), nullptr, flags, 1);
        // The rows passed over were the equal rows before the one found.
        if (ok && duplicates && !stmt->bGetOutOfRange() && landing <= 0x7FFFFFFF)
          stmt->SetEqualRows(static_cast<int>(landing - 1));
        if (ok && !stmt->bGetFound()) {
          stmt->CurrentRecordNotFound(name, 3, 23);
          ok = FALSE;
        }
        break;
      }
      default:
        ok = FALSE;
    }
  }
  return ok;
}

BOOL CNADataAccess::_bGotoCurrentRecord_DuplicateProcess(CNAStatement* stmt, long long rank, eNA_PARSEDIRECTION* dir,
                                                         long long* count) {
  // Equal rows on the browse item the rank was counted on (a table without a key has no best
  // item); the current buffer already holds the rebuild point.
  long long n = 0;
  if (!_bCountFromRecord(&n, 16, stmt->pszGetBrowseItem(), NA_PARSE_CURRENT, nullptr)) return FALSE;
  // A rank counted from the run's end becomes one from its start.
  const long long r = rank >= 0 ? rank + 1 : std::max(n + rank + 1, 1LL);
  switch (*dir) {
    case NA_PARSE_CURRENT:
      if (r <= n)
        *count = r;
      else if (n > 0)
        *count = n;
      break;
    case NA_PARSE_NEXT:
      if (*count + r <= n) {
        *dir = NA_PARSE_CURRENT;
        *count += r;
      } else if (r <= n) {
        *count = *count + r - n;
      }
      break;
    case NA_PARSE_PREVIOUS:
      if (*count < r && *count < n) {
        *count = r - *count;
        *dir = NA_PARSE_CURRENT;
      } else {
        *count = *count - r + 1;
      }
      break;
    default:
      break;
  }
  return TRUE;
}

BOOL CNADataAccess::bGoToStmtOriginalRecord(int keep, CNAStatement* stmt, int setRead, eNA_PARSEDIRECTION dir,
                                            long long count) {
  if (m_pclCurrentRecord == nullptr) return FALSE;
  CLentValue lent(m_pclCurrentRecord, stmt->pclGetStmtOriginalRecord(), true);
  const BOOL ok = bGoToOriginalRecord(keep, stmt, setRead, dir, count);
  int out = 1;
  stmt->HEndehors(&out);
  if (ok && !keep && !out) lent.Keep();
  return ok;
}

// ---------------------------------------------------------------- the current record

BOOL CNADataAccess::bSetCurrentRecordRead(int keepSave) {
  if (m_pclCurrentRecord == nullptr) return FALSE;
  CNARecordValue* current = m_pclCurrentRecord->pclGetCurrentValueNoRef();
  if (current != nullptr) current->SetState(NA_RECORDSTATE_NONE);
  // The save touches the saved rows only: let go first, the copy ends the call (every row read
  // comes here).
  if (!keepSave && m_nRecordSaveID != -1) {
    nReleaseRecordSave(m_nRecordSaveID);
    m_nRecordSaveID = -1;
  }
  if (!keepSave) _DropWrittenSave();
  return m_pclCurrentRecord->bCopyCurrentRecordToOriginalRecord();
}

void CNADataAccess::ForgetRowRead() {
  if (m_nRecordSaveID != -1) {
    nReleaseRecordSave(m_nRecordSaveID);
    m_nRecordSaveID = -1;
  }
  _DropWrittenSave();
  if (m_pclCurrentRecord != nullptr) m_pclCurrentRecord->ForgetOriginal();
}

BOOL CNADataAccess::bHLit(long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) {
  if (m_nRecordSaveID == -1) return bMove(recnum, 1, lock, lockOut);
  const int held = m_nRecordSaveID;
  AddRefRecordSave(held);
  BOOL ok = bSetCurrentRecordRead(1);
  if (ok) ok = bMove(recnum, 1, lock, lockOut);
  // The fetch's own release of the save happens only when it read a row.
  if (m_nRecordSaveID == held) nReleaseRecordSave(held);
  m_nRecordSaveID = held;
  return ok;
}

BOOL CNADataAccess::bMove(long long recnum, int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) {
  if (!_bIsValidRecordNumber(recnum)) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteBadRecordNumber, m_pclConnection,
                               pszGetLogicalName(), nullptr, 18);
    return FALSE;
  }
  CHeldStatement held(_pclGetWriteStatement());
  CNAStatement* stmt = held.get();
  if (stmt == nullptr) return FALSE;
  BOOL ok = bLockRecord(stmt, lock, recnum, lockOut);
  if (ok) ok = _bMove(recnum, setRead);
  if (stmt->eGetLockType() == 1) stmt->ResetStatement();
  return ok;
}

BOOL CNADataAccess::_bMove(long long recnum, int setRead) {
  CHeldStatement held(_pclGetWriteStatement());
  CNAStatement* stmt = held.get();
  if (stmt == nullptr || m_pclCurrentRecord == nullptr) return FALSE;
  const BOOL ok = stmt->bMove(recnum, setRead);
  int out = 1;
  stmt->HEndehors(&out);
  if (ok && out) {
    m_pclCurrentRecord->bCopyOriginalRecordToCurrentRecord();
    m_pclCurrentRecord->SetDeleted();
  }
  stmt->ResetStatement();
  return ok;
}

BOOL CNADataAccess::_bIsValidRecordNumber(long long recnum) { return recnum == 0 ? TRUE : FALSE; }

// Out of line: a raise's pushed arguments would cost the host entries that ask this after every
// read a frame pointer.
[[gnu::noinline]] BOOL CNADataAccess::_bHEndehorsLookedUp(const wchar_t* item, int* out) {
  CNAStatement* stmt = _pclPeekStatement(item != nullptr ? item : L"");
  return stmt != nullptr ? stmt->HEndehors(out) : _bNoBrowse(item);
}

[[gnu::noinline]] BOOL CNADataAccess::_bNoBrowse(const wchar_t* item) {
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoBrowse, m_pclConnection,
                             pszGetLogicalName(), item, 5, item);
  return FALSE;
}

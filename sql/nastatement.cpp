#include "sql/nastatement.h"

#include <cwchar>
#include <new>
#include <typeinfo>
#include <utility>
#include <vector>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "access/narecordid.h"
#include "access/natablecacheindex.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/nadriversql.h"
#include "driver/naerror.h"
#include "sql/nacolumn.h"
#include "sql/nafilter.h"
#include "sql/nakjrecord.h"
#include "sql/narecherche.h"
#include "sql/naservertext.h"
#include "sql/sqlparserinfo.h"
#include "platform/codepage.h"
#include "common/str_compare.h"
#include "values/any.h"

namespace {

// A constant text appended with its length known.
template <size_t N>
void Append(CNACommand* command, const wchar_t (&text)[N]) {
  command->bComplete(text, static_cast<unsigned int>(N - 1));
}

// *held becomes p: a reference taken on p, the former one's given back.
template <typename T>
void Hold(T** held, T* p) {
  if (p == *held) return;
  if (p != nullptr) p->AddRef();
  if (*held != nullptr) (*held)->nRelease();
  *held = p;
}

}  // namespace

CNAStatement::CNAStatement(CNADataAccess* access, CNAError* error) : m_pclError(error), m_pclDataAccess(access) {
  CNAError::s_Hold(m_pclError);
  if (m_pclDataAccess == nullptr) return;
  INADataSourceDescription* desc = m_pclDataAccess->piGetDataSourceDescriptionNoRef();
  if (desc != nullptr) m_piDescription = desc->ExternalAddRef();
  m_pclRecord = m_pclDataAccess->pclGetCurrentRecordNoRef();
  if (m_pclRecord != nullptr) m_pclRecord->AddRef();
  CNADriver* driver = CNADriver::s_pclDriver;
  CNADriverSQL* service = driver != nullptr ? driver->pclGetDriverSQL() : nullptr;
  if (service != nullptr) m_pclStatementSQL = service->pclAllocStatementSQL(m_pclDataAccess->pclGetConnectionNoRef(), m_pclError);
  if (m_pclStatementSQL != nullptr) m_pclStatementSQL->AddRef();
}

CNAStatement::~CNAStatement() {
  m_eParseNeedUpdate = NA_PARSE_UPTODATE;
  _SetRecordSaveId(-1);
  if (m_pclRecherche != nullptr) m_pclRecherche->nRelease();
  if (m_pclFilter != nullptr) m_pclFilter->nRelease();
  if (m_pclTableCacheIndex != nullptr) m_pclTableCacheIndex->dwRelease();
  if (m_pclRecordCache != nullptr) {
    _LeavePendingRows();
    m_pclRecordCache->nRelease();
  }
  delete[] m_pnRecordSave;
  if (m_pclOriginalRecord != nullptr) {
    if (m_pclRecord != nullptr) m_pclRecord->DropOriginalTwin(m_pclOriginalRecord);
    m_pclOriginalRecord->nRelease();
  }
  if (m_pclSpareOriginalRecord != nullptr) m_pclSpareOriginalRecord->nRelease();
  _DropEdgeAnchor();
  if (m_pclBestColumn != nullptr) m_pclBestColumn->nRelease();
  delete m_pTabSavedPosition;
  if (m_pclCommand != nullptr) m_pclCommand->nRelease();
  if (m_pclStatementSQL != nullptr) m_pclStatementSQL->nRelease();
  if (m_pclRecord != nullptr) m_pclRecord->nRelease();
  m_clSoughtItem.Drop();
  if (m_piDescription != nullptr) m_piDescription->nExternalRelease();
  CNAError::s_Drop(&m_pclError);
}

void CNAStatement::_SetFilter(CNAFilter* filter) {
  _EndPlainStep();
  Hold(&m_pclFilter, filter);
}

void CNAStatement::_SetRecherche(CNARecherche* search) {
  _EndPlainStep();
  Hold(&m_pclRecherche, search);
}

void CNAStatement::_ChangeRecordSaveId(int id) {
  if (m_pclDataAccess != nullptr) {
    if (id != -1) m_pclDataAccess->AddRefRecordSave(id);
    if (m_nRecordSaveId != -1) m_pclDataAccess->nReleaseRecordSave(m_nRecordSaveId);
  }
  m_nRecordSaveId = id;
}

void CNAStatement::EnableCache(int enable) {
  _EndPlainStep();
  if (enable) {
    if (m_pclRecordCache == nullptr) {
      m_pclRecordCache = new (std::nothrow) CNARecordCache();
      if (m_pclRecordCache == nullptr) return;
      m_pclRecordCache->AddRef();
    }
    m_pclRecordCache->SetActive(TRUE);
    return;
  }
  if (m_pclRecordCache == nullptr) return;
  _LeavePendingRows();
  if (m_pclRecordCache->nGetRefCount() > 1) {
    m_pclRecordCache->nRelease();
    m_pclRecordCache = nullptr;
    return;
  }
  m_pclRecordCache->SupprimeTout();
  m_pclRecordCache->SetActive(FALSE);
}

BOOL CNAStatement::bCacheEnabled() const {
  return m_pclRecordCache != nullptr && m_pclRecordCache->bIsActive() ? TRUE : FALSE;
}

BOOL CNAStatement::bCacheCompleted() const {
  return bCacheEnabled() && m_pclRecordCache->bIsFetchComplete() ? TRUE : FALSE;
}

CNARecordCache* CNAStatement::pclGetFullRecordCache() {
  if (!bCacheCompleted() && !_bCompleteCache()) return nullptr;
  if (!bCacheCompleted()) return nullptr;
  _KeepPendingRows();
  return m_pclRecordCache;
}

void CNAStatement::_LeavePendingRows() {
  if (m_pclRecordCache != nullptr && m_pclRecordCache->nGetRefCount() > 1)
    _KeepPendingRows();
  else
    m_nPendingRows = 0;
}

// ---------------------------------------------------------------- helpers

namespace {

// Raise sites of this file.
enum : int {
  kSiteMultipleTables = 2,
  kSiteDeleteAllQuery = 3,
  kSiteNoRecordRead = 4,
  kSiteNeverBuilt = 5,
  kSiteNoSubQuery = 6,
  kSiteOrderByItem = 9,
  kSiteNoRowUpdated = 12,
  kSiteRowNotNamed = 13,
  kSiteNoRowDeleted = 14,
};

constexpr eNA_ERRORTYPE kErrorTypeWrite = static_cast<eNA_ERRORTYPE>(7);
constexpr eNA_ERRORTYPE kErrorTypeNoRow = static_cast<eNA_ERRORTYPE>(9);

bool bEmpty(const wchar_t* text) { return text == nullptr || *text == 0; }

bool bConditionEmpty(CNACommand* condition) { return condition == nullptr || condition->nGetOriginalSQLLength() == 0; }

}  // namespace

const wchar_t* CNAStatement::_pszLogicalName() const {
  return m_pclDataAccess != nullptr ? m_pclDataAccess->pszGetLogicalName() : L"";
}

CSQLParserInfo* CNAStatement::_pclGetSourceQueryNoRef() const {
  return m_pclDataAccess != nullptr && m_pclDataAccess->bSourceIsQuery() ? m_pclDataAccess->pclGetSourceQueryNoRef()
                                                                         : nullptr;
}

CNAConnectionDescription* CNAStatement::pclGetConnectionNoRef() const {
  return m_pclDataAccess != nullptr ? m_pclDataAccess->pclGetConnectionNoRef() : nullptr;
}

const wchar_t* CNAStatement::pszGetTableName() const {
  return m_pclDataAccess != nullptr ? m_pclDataAccess->pszGetDBTableName() : L"";
}

void CNAStatement::SetDataSource(INADataSourceDescription* desc) {
  if (desc == m_piDescription) return;
  m_clSoughtItem.Drop();
  if (desc != nullptr) desc->ExternalAddRef();
  if (m_piDescription != nullptr) m_piDescription->nExternalRelease();
  m_piDescription = desc;
}

void CNAStatement::SetCurrentRecord(CNARecord* record) {
  Hold(&m_pclRecord, record);
  m_clRowBinding.Forget();
  _ForgetUniqueBrowse();
  _EndPlainStep();
}

void CNAStatement::_SetQuery(CNACommand* command) { Hold(&m_pclCommand, command); }

eNAQUERYTYPE CNAStatement::eGetQueryType() const {
  if (m_pclTableCacheIndex != nullptr || m_pclCommand == nullptr) return NA_QUERY_SELECT;
  return m_pclCommand->eGetQueryType();
}

int CNAStatement::nGetBindDefineFlag() const { return m_pclCommand != nullptr ? m_pclCommand->nGetDefineMode() : 0; }

unsigned int CNAStatement::nGetRowMaxLen() const {
  return m_pclStatementSQL != nullptr ? m_pclStatementSQL->nGetRowMaxLength() : 0;
}

// ---------------------------------------------------------------- building by type

BOOL CNAStatement::bBuildQuery(eNAQUERYTYPE type, CNACommand* command, NA_WRITEPARSEFLAGS flags) {
  if (command == nullptr) return FALSE;
  ResetQuery();
  return bBuildResetQuery(type, command, flags);
}

BOOL CNAStatement::bBuildResetQuery(eNAQUERYTYPE type, CNACommand* command, NA_WRITEPARSEFLAGS flags) {
  if (command == nullptr) return FALSE;
  _SetQuery(command);
  command->SetNAQueryType(type);
  switch (type) {
    case NA_QUERY_SELECT:
      return bBuildQuerySELECT(command, flags, nullptr, 1, nullptr);
    case NA_QUERY_UPDATE:
      return bBuildQueryUPDATE(command, flags);
    case NA_QUERY_INSERT:
      return bBuildQueryINSERT(command, flags);
    case NA_QUERY_DELETE:
      return bBuildQueryDELETE(command, flags);
    case NA_QUERY_DELETEALL:
      return bBuildQueryDELETEALL(command, flags);
    case NA_QUERY_CREATE:
      return bBuildQueryCREATE(command);
    case NA_QUERY_DROPTABLE: {
      if (m_pclDataAccess == nullptr) return FALSE;
      command->bComplete(L"DROP TABLE ");
      command->bComplete(m_pclDataAccess->pszGetFormatedTableName());
      CNAConnectionDescription* cnx = pclGetConnectionNoRef();
      if (cnx != nullptr && cnx->nGetDataSource() == 1) command->bComplete(L" CASCADE CONSTRAINT");
      return TRUE;
    }
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------- SELECT

BOOL CNAStatement::_bAddDistinct(NA_WRITEPARSEFLAGS flags) {
  if ((flags & NA_WPF_DISTINCT) == 0 || m_piDescription == nullptr) return FALSE;
  CHeldRef<INAItemDescription> best(m_piDescription->piGetBestParseItemDesc());
  INAItemDescription* item = best.get();
  if (item == nullptr) return FALSE;
  if (item->bPrimary()) return FALSE;
  if (!item->bUnique()) return TRUE;
  // A unique item sets rows apart unless it lets several NULLs in.
  if (item->nGetVersion() > 8) return item->vbConstraintNullAllowed() ? TRUE : FALSE;
  const eNA_ITEMTYPE type = item->eNAGetItemType();
  return type == NA_IT_IDAUTO || type == NA_IT_IDAUTO4 ? FALSE : TRUE;
}

BOOL CNAStatement::bBuildQuerySELECT(CNACommand* command, NA_WRITEPARSEFLAGS flags, const wchar_t* item, int forward,
                                     CNACommand* condition) {
  if (command == nullptr || m_pclDataAccess == nullptr) return FALSE;
  _SetQuery(command);
  command->SetDefineMode(2);
  CSQLParserInfo* query = _pclGetSourceQueryNoRef();
  if (query == nullptr) {
    command->bComplete(L"SELECT ");
    const bool distinct = _bAddDistinct(flags) != FALSE;
    if (distinct) command->bComplete(L"DISTINCT ");
    if (!command->bAddSelectColumns(m_pclRecord, 0)) return FALSE;
    // Keys a page connection may read with a '?' are read as their UTF-8 bytes too: the row is
    // then named by them (not under DISTINCT, whose rows they would split).
    if (!distinct) _AddKeyBytesColumns(command);
    return _bBuildQuerySELECTFromTable(command, m_pclDataAccess->pszGetFormatedTableName(), flags, item, forward,
                                       condition, 1);
  }
  for (int i = 0; m_pclRecord != nullptr && i < m_pclRecord->nGetNbColumn(); ++i)
    command->AddDefine(m_pclRecord->pclGetColumnNoRef(i));
  return _bBuildQuerySELECTFromQuery(command, query, flags, item, forward, condition, 1, 0);
}

CNAColumn* CNAStatement::pclGetBrowsedColumnNoRef() const {
  const wchar_t* item = m_csBrowseItem.pszGet();
  return m_pclRecord != nullptr && item != nullptr && *item != 0 ? m_pclRecord->pclGetColumnNoRef(item) : nullptr;
}

void CNAStatement::_AddKeyBytesColumns(CNACommand* command) {
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  if (m_pclRecord == nullptr || cnx == nullptr || cnx->nGetServerCodePage() == CP_UTF8) return;
  const CNAColumn* browsed = pclGetBrowsedColumnNoRef();
  for (int i = 0; i < m_pclRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclRecord->pclGetColumnNoRef(i);
    if (!g_bReadsKeyBytes(m_pclRecord, column, cnx, browsed)) continue;
    CTString alias, entry;
    g_KeyBytesAlias(&alias, column);
    if (!cnx->bFormatKeyBytesColumn(&entry, column->pszGetFormatedSelectName(0), alias.pszGet())) return;
    command->bComplete(L",");
    command->bComplete(entry.pszGet());
  }
}

BOOL CNAStatement::_bBuildQuerySELECTFromTable(CNACommand* command, const wchar_t* table, NA_WRITEPARSEFLAGS flags,
                                               const wchar_t* item, int forward, CNACommand* condition,
                                               int withOrderBy) {
  command->SetNAQueryType(NA_QUERY_SELECT);
  command->bComplete(L" FROM ");
  command->bComplete(table);
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  if (cnx == nullptr || !(cnx->nGetDataSource() == 8 && cnx->nGetServerVersionMajor() > 9)) command->bAddRecordLock();
  if (!bConditionEmpty(condition)) {
    command->bComplete(L" WHERE ");
    if (!command->bAdd(condition, NA_ADD_CLONE)) return FALSE;
    if (!command->bCopyColumnValuesNullSelected(condition->pclGetColumnNullValueExcludedNoRef())) return FALSE;
  }
  if (withOrderBy) return _bFormatOrderBy(command, table, nullptr, flags, item, forward);
  return TRUE;
}

BOOL CNAStatement::_bCloseSubQuery(CNACommand* command) {
  command->bComplete(L")");
  // MariaDB, like the dialects 2, 4 and 7, refuses a derived table without a name.
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  const int dialect = cnx != nullptr ? cnx->nGetDataSource() : 0;
  if (dialect == 2 || dialect == 4 || dialect == 5 || dialect == 7) command->bComplete(L" QX_SUBQUERY");
  return TRUE;
}

BOOL CNAStatement::_bBuildQuerySELECTFromQuery(CNACommand* command, CSQLParserInfo* query, NA_WRITEPARSEFLAGS flags,
                                               const wchar_t* item, int forward, CNACommand* condition,
                                               int withOrderBy, int asSubQuery) {
  if (command->eGetQueryType() == NA_QUERY_NONE) command->SetNAQueryType(NA_QUERY_SELECT);
  const int mode = static_cast<int>(m_pclDataAccess->dwGetQueryFlags());
  const bool hasCondition = !bConditionEmpty(condition);
  if (!asSubQuery && m_pclDataAccess->bRequeteSansCorrection()) {
    if (!hasCondition) {
      if (!command->bFormatCondition(query, nullptr, withOrderBy, mode)) return FALSE;
      m_bReverse = 0;
      return command->bFormatEndOfQuery();
    }
    CNAConnectionDescription* cnx = pclGetConnectionNoRef();
    if (cnx == nullptr || !cnx->bSupportSubQuery() || command->eGetQueryType() != NA_QUERY_SELECT) {
      CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoSubQuery, cnx,
                                 _pszLogicalName(), nullptr, 41, _pszLogicalName());
      return FALSE;
    }
    command->bComplete(_bAddDistinct(flags) ? L"SELECT DISTINCT * FROM " : L"SELECT * FROM ");
    asSubQuery = 1;
  }
  if (!asSubQuery) {
    if (!command->bFormatCondition(query, condition, 0, mode)) return FALSE;
    if (withOrderBy && !_bFormatOrderBy(command, nullptr, query, flags, item, forward)) return FALSE;
    return command->bFormatEndOfQuery();
  }
  command->bComplete(L" (");
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  if (!command->bFormatCondition(query, nullptr, query->bQueryResultsetLimited(cnx), mode)) return FALSE;
  if (!command->bFormatEndOfQuery()) return FALSE;
  _bCloseSubQuery(command);
  if (hasCondition) {
    command->bComplete(L" WHERE ");
    if (!command->bAdd(condition, NA_ADD_CLONE)) return FALSE;
    if (!command->bCopyColumnValuesNullSelected(condition->pclGetColumnNullValueExcludedNoRef())) return FALSE;
  }
  m_bReverse = 0;
  return TRUE;
}

// ---------------------------------------------------------------- ORDER BY

BOOL CNAStatement::_bFormatOrderBy(CNACommand* command, const wchar_t* table, CSQLParserInfo* query,
                                   NA_WRITEPARSEFLAGS flags, const wchar_t* item, int forward) {
  (void)table;
  const bool defaultItem = (flags & NA_WPF_DEFAULT_PARSE_ITEM) != 0;
  if (query != nullptr && !defaultItem && bEmpty(item)) item = m_csParseItem.pszGet();
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  if (!forward && query != nullptr && query->bQueryResultsetLimited(cnx)) forward = 1;
  m_bReverse = 0;
  if (!bEmpty(item) && !defaultItem) {
    CHeldRef<INAItemDescription> found(m_piDescription != nullptr ? m_piDescription->piNAGetItem(item) : nullptr);
    INAItemDescription* desc = found.get();
    if (desc == nullptr) {
      CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteOrderByItem, cnx,
                                 _pszLogicalName(), item, 6, item);
      return FALSE;
    }
    // Rows come reversed when read against the item's own order; a descending key written DESC
    // for a forward read still gives them in key order.
    m_bReverse = forward ? 0 : 1;
    if (query == nullptr && desc->bGetDescendant(-1)) forward = !forward;
    CNAColumn* column = nullptr;
    if (!desc->bMemo() || (cnx != nullptr && cnx->bSupportOrderByMemo()))
      column = m_pclRecord != nullptr ? m_pclRecord->pclGetColumnNoRef(desc) : nullptr;
    return _FormatORDERBYList(command, column, forward, query, flags);
  }
  if (query != nullptr && defaultItem && !m_pclDataAccess->bRequeteSansCorrection()) {
    const BOOL rebuilt = command->bFormatORDERBY(0, forward);
    _FormatORDERBYList(command, nullptr, forward, query, flags);
    m_bReverse = forward ? 0 : 1;
    return rebuilt;
  }
  return TRUE;
}

struct CNAStatement::STOrderLists {
  CRefArray<CNAColumn> columns{10, 30};
  std::vector<int> directions;
};

namespace {

// The ORDER BY list being made, in the statement's kept lists (or lists of its own when they
// cannot be had): columns (referenced) and their directions (1 ascending). Emptied on every way out.
struct STOrderList {
  explicit STOrderList(CNAStatement::STOrderLists* kept)
      : columns(kept != nullptr ? kept->columns : own.columns),
        directions(kept != nullptr ? kept->directions : own.directions) {}
  ~STOrderList() {
    columns.SupprimeTout();
    directions.clear();
  }
  STOrderList(const STOrderList&) = delete;
  STOrderList& operator=(const STOrderList&) = delete;
  CNAStatement::STOrderLists own;
  CRefArray<CNAColumn>& columns;
  std::vector<int>& directions;
  bool unique = false;
};

int nOwnOrderByCount(CSQLParserInfo* query) {
  int n = 0;
  for (IInfoOrderBy* o = query != nullptr ? query->piEnumRubriqueClauseOrder(1) : nullptr; o != nullptr;
       o = query->piEnumRubriqueClauseOrder(0))
    ++n;
  return n;
}

}  // namespace

BOOL CNAStatement::_FormatORDERBYList(CNACommand* command, CNAColumn* column, int forward, CSQLParserInfo* query,
                                      NA_WRITEPARSEFLAGS flags) {
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  const bool memoOrder = cnx != nullptr && cnx->bSupportOrderByMemo();
  const int ownCount = nOwnOrderByCount(query);
  const bool keyword = query == nullptr || column != nullptr || ownCount == 0;
  const bool asWritten = m_pclDataAccess != nullptr && m_pclDataAccess->bRequeteSansCorrection();
  if (m_pOrderLists == nullptr) m_pOrderLists.reset(new (std::nothrow) STOrderLists());
  STOrderList list(m_pOrderLists.get());

  auto add = [&](CNAColumn* c, int direction) {
    if (list.unique || c == nullptr) return;
    for (int i = 0; i < list.columns.nGetCount(); ++i) {
      CNAColumn* listed = list.columns[i];
      if (STR_nCompareW(listed->pszGetSourceName(), c->pszGetSourceName(), 3) == 0 &&
          STR_nCompareW(listed->pszGetOriginalName(), c->pszGetOriginalName(), 3) == 0)
        return;
    }
    if (c->bIsMemoDB() && !memoOrder && !(query != nullptr && c->eGetTypeColonne() != 0)) return;
    if (list.columns.AjouteRef(c) == nullptr) return;
    list.directions.push_back(direction);
    CColumnNullValueExcluded* nulls = command->pclGetColumnNullValueExcludedNoRef();
    if (c->bUniqueNotNull() || (c->bIsUnique() && !command->bColumnValuesNullSelected(c)))
      list.unique = true;
    else if (m_pclRecord != nullptr && list.columns.nGetCount() >= 2 &&
             m_pclRecord->bComposedKeyUniqueNotNullAdded(&list.columns, list.columns.nGetCount(), nulls))
      list.unique = true;
  };

  // The browse column.
  if (column != nullptr) {
    CRefArray<CNAColumn>* parts = column->pclGetTabComponent();
    if (column->bIsComposedKey() && parts != nullptr) {
      // A descending key has flipped the direction already: a component is turned round only
      // where its own direction differs from the key's (descriptions answer the key's flag for a
      // component that has none of its own).
      const bool keyDescending = column->bGetDescendantComponent(-1) != FALSE;
      for (int k = 0; k < parts->nGetCount(); ++k) {
        const bool reversed = query == nullptr && (column->bGetDescendantComponent(k + 1) != FALSE) != keyDescending;
        add((*parts)[k], reversed ? !forward : forward);
      }
    } else {
      add(column, forward);
    }
  }

  // Completion to a total order.
  const unsigned int bit = forward ? 1u : 2u;
  if ((flags & NA_WPF_NO_ORDER_COMPLETION) == 0 && (m_dwOrderCompletion & bit) != 0 && m_pclRecord != nullptr) {
    for (int i = 0; i < m_pclRecord->nGetNbColumnOrder() && !list.unique; ++i) {
      CNAColumn* c = m_pclRecord->pclGetColumnOrderNoRef(i);
      if (c == nullptr || c == column || c->bIsComposedKey()) continue;
      if (c->bIsMemo() && !memoOrder) continue;
      if (query != nullptr && (asWritten || query->bRubriqueSourceIsMemo(c))) continue;
      if (!keyword && query != nullptr && query->piGetRubriqueClauseOrder(c) != nullptr) continue;
      add(c, forward);
    }
  }

  // Writing.
  const int count = list.columns.nGetCount();
  if (count == 0) return TRUE;
  int room = cnx != nullptr ? cnx->nGetOrderByMaxExpressionNbr() : count;
  if (!keyword) room -= ownCount;
  if (room <= 0) return TRUE;
  CTString limit;
  if (query != nullptr) {
    const wchar_t* text = command->pszGetOriginalSQL();
    const int at = CNACommand::s_nGetClauseStart(cnx, text, L"LIMIT", -1);
    if (at > 0) {
      limit = text + at;
      int cut = at;
      while (cut > 0 && CNARecherche::s_bEspaceSQL(text[cut - 1])) --cut;
      // A value that ends the condition may stand among those separators: it stays, and the
      // text is cut no shorter than its place.
      int kept = 0;
      for (; kept < command->nGetParameterNbr(); ++kept) {
        const unsigned int position = command->pclGetParameterNoRef(kept)->nGetPosition();
        if (position > static_cast<unsigned int>(at)) break;
        if (position > static_cast<unsigned int>(cut)) cut = static_cast<int>(position);
      }
      command->TronqueParameters(static_cast<unsigned int>(cut), kept);
    }
  }
  if (keyword) command->bComplete(L" ORDER BY ");
  CTString entry;
  for (int i = 0; i < count && i < room; ++i) {
    if (i > 0 || !keyword) command->bComplete(L",");
    int direction = list.directions[static_cast<size_t>(i)];
    _FormatItemORDERBY(list.columns[i], query, 0, &entry, &direction);
    command->bComplete(entry.pszGet());
    if (direction == 0) command->bComplete(L" DESC");
  }
  // Rows a text column's collation holds equal (case, trailing blanks) come in no fixed order:
  // their bytes end the order, so that rows of equal bytes, which a browse counts as one run, stand
  // together. The record search on a record without a unique key ends its comparison the same way.
  if (!list.unique && query == nullptr && count <= room) {
    int added = 0;
    for (int i = 0; i < count && count + added < room; ++i) {
      CNAColumn* c = list.columns[i];
      if (!c->bComparedByCollation() || cnx == nullptr ||
          !cnx->bFormatTextBytes(&entry, c->pszGetFormatedName()))
        continue;
      command->bComplete(L",");
      command->bComplete(entry.pszGet());
      if (list.directions[static_cast<size_t>(i)] == 0) command->bComplete(L" DESC");
      ++added;
    }
  }
  if (limit.nTaille() > 0) {
    command->bComplete(L" ");
    command->bComplete(limit.pszGet());
  }
  return TRUE;
}

void CNAStatement::_FormatItemORDERBY(CNAColumn* column, CSQLParserInfo* query, int byName, CTString* text,
                                      int* direction) {
  if (column == nullptr || text == nullptr) return;
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  const int kind = column->eGetTypeColonne();
  if (!byName && (kind == 1 || kind == 2) && cnx != nullptr && cnx->bOrderByIndiceAllowed())
    text->SetI4(static_cast<int>(column->nGetPhysicalIndice()) + 1);
  else
    *text = byName ? column->pszGetFormatedName() : column->pszGetFormatedSelectName(0);
  if (query != nullptr && direction != nullptr && m_pclDataAccess != nullptr &&
      !m_pclDataAccess->bRequeteSansCorrection()) {
    IInfoOrderBy* own = query->piGetRubriqueClauseOrder(column);
    if (own != nullptr && own->nGetDirection() == 1) *direction = !*direction;
  }
}

// ---------------------------------------------------------------- WHERE of searches and filters

BOOL CNAStatement::bGetClauseWHERE(CNACommand* command) {
  if (command == nullptr) return FALSE;
  CNAFilter* filter = m_pclFilter != nullptr && m_pclFilter->bIsFilterActive() ? m_pclFilter : nullptr;
  if (m_pclRecherche != nullptr && m_pclRecherche->nGetState() != 0)
    return m_pclRecherche->bGetSQL(command, filter, m_pclRecord);
  if (filter != nullptr) return filter->bGetSQL(command, nullptr, m_pclRecord);
  return TRUE;
}

// ---------------------------------------------------------------- COUNT

BOOL CNAStatement::_bBuildQueryCOUNT(CNACommand* command, unsigned int flags, int withoutCondition) {
  if (command == nullptr || m_pclDataAccess == nullptr) return FALSE;
  auto condition = CHeldRef<CNACommand>::Take(withoutCondition ? nullptr : m_pclDataAccess->pclAllocCommand(m_pclError));
  // A query is counted as a derived table, its condition written behind it.
  if (condition.get() != nullptr && _pclGetSourceQueryNoRef() != nullptr) condition->SetBehindSubQuery(TRUE);
  if (!withoutCondition && (condition.get() == nullptr || !bGetClauseWHERE(condition.get()))) return FALSE;
  command->ResetCommand(0);
  _SetQuery(command);
  command->bComplete(L"SELECT ");
  if (!command->bAddSelectAdditionnalColumn(L"COUNT(*) AS QXACCESNATIF_NBENR", ZV_I4)) return FALSE;
  CSQLParserInfo* query = _pclGetSourceQueryNoRef();
  if (query != nullptr) {
    command->SetNAQueryType(NA_QUERY_SELECT);
    command->bComplete(L" FROM");
    return _bBuildQuerySELECTFromQuery(command, query, flags, nullptr, 1, condition.get(), 0, 1);
  }
  return _bBuildQuerySELECTFromTable(command, m_pclDataAccess->pszGetFormatedTableName(), flags, nullptr, 1,
                                     condition.get(), 0);
}

BOOL CNAStatement::bGetNbEnr(long long* count, unsigned int flags, int withoutCondition) {
  if (count != nullptr) *count = -1;
  if (m_pclDataAccess == nullptr) return FALSE;
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  ResetQuery();
  EnableCache(0);
  auto command = CHeldRef<CNACommand>::Take(m_pclDataAccess->pclAllocCommand(m_pclError));
  if (command.get() == nullptr) return FALSE;
  BOOL result = FALSE;
  long long rows = -1;
  if (_pclGetSourceQueryNoRef() != nullptr && (cnx == nullptr || !cnx->bSupportSubQuery())) {
    // No sub-query to count in: the browse is read through and its rows counted.
    if (m_pclDataAccess->bBuildSelect(command.get(), this, nullptr, 1, 0, nullptr)) {
      _SetQuery(command.get());
      result = bExecute(0, NA_ST_PREPARE);
      for (rows = 0; result;) {
        if (!m_pclStatementSQL->bFetch(0)) {
          m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
          result = FALSE;
        } else if (m_pclStatementSQL->bIsEnd()) {
          break;
        } else {
          ++rows;
        }
      }
    }
  } else if (_bBuildQueryCOUNT(command.get(), flags, withoutCondition)) {
    CAny value;
    result = bGetRequestedValue(&value);
    if (result && !value.bIsNull()) {
      long long n = 0;
      if (value.nGetINT_64(&n) == 0 || (value.__nCastTo(ZV_I8, nullptr, 0) <= 99 && value.nGetINT_64(&n) == 0))
        rows = n;
      else
        result = FALSE;
    }
  }
  ResetQuery();
  if (count != nullptr) *count = result ? rows : -1;
  return result;
}

BOOL CNAStatement::bGetNbEnrCurrentParse(long long* count, unsigned int flags, int ignoreFilter) {
  if (count == nullptr) return FALSE;
  // A result of the rows a seek selected counts those only, also once the seek was left.
  const bool searchActive = m_bSoughtRows || (m_pclRecherche != nullptr && m_pclRecherche->nGetState() != 0);
  const bool filterSame = m_clFilterSave.bFilterEquals(m_pclFilter) != FALSE;
  const bool filterOff = !ignoreFilter || m_pclFilter == nullptr || !m_pclFilter->bIsFilterActive();
  if (bCacheCompleted() && !searchActive && filterSame && filterOff && (m_dwParseFlags & NA_WPF_CACHE) != 0 &&
      (flags & NA_WPF_CACHE) != 0) {
    *count = _nCacheRows() - m_pclRecordCache->nGetDeletedCount();
    return TRUE;
  }
  if (m_bParseStarted && m_nBlockLimit == -1 && m_bFirstBlock && !searchActive && filterSame && filterOff &&
      m_eParseNeedUpdate != NA_PARSE_RERUN) {
    if (m_pclTableCacheIndex != nullptr) {
      *count = m_pclTableCacheIndex->nGetRecordNbr();
      return TRUE;
    }
    if (m_pclStatementSQL != nullptr && m_pclStatementSQL->llGetRowCount() >= 0) {
      // With a row cache, rows deleted are marked there, not counted in m_nDeletedRows.
      *count = m_pclStatementSQL->llGetRowCount() -
               (bCacheEnabled() ? m_pclRecordCache->nGetDeletedCount() : m_nDeletedRows);
      return TRUE;
    }
  }
  return FALSE;
}

// ---------------------------------------------------------------- INSERT, UPDATE, DELETE

BOOL CNAStatement::_bBuildQueryStart(CNACommand* command, eNAQUERYTYPE type) {
  if (command == nullptr || m_pclDataAccess == nullptr) return FALSE;
  command->ResetCommand(0);
  _SetQuery(command);
  switch (type) {
    case NA_QUERY_INSERT:
      Append(command, L"INSERT INTO ");
      break;
    case NA_QUERY_UPDATE:
      Append(command, L"UPDATE ");
      break;
    case NA_QUERY_DELETE:
      Append(command, L"DELETE FROM ");
      break;
    default:
      return FALSE;
  }
  command->SetNAQueryType(type);
  if (_pclGetSourceQueryNoRef() == nullptr) return command->bComplete(m_pclDataAccess->pszGetFormatedTableName());
  CTString table;
  if (!m_pclDataAccess->bGetQueryWriteTable(&table, 1)) {
    CNAError::g_RaiseUserError(m_pclError, kErrorTypeWrite, kSourceFile, kSiteMultipleTables, pclGetConnectionNoRef(),
                               _pszLogicalName(), m_csParseItem.pszGet(), 8, _pszLogicalName());
    return FALSE;
  }
  return command->bComplete(table.pszGet());
}

BOOL CNAStatement::_bAddColumnValue(CNACommand* values, CNAColumn* column, eNAQUERYTYPE, NA_WRITEPARSEFLAGS flags) {
  if (column->bIsIdAuto() && (flags & 0x500) == 0 &&
      ((flags & NA_WPF_IDAUTO_NEW) != 0 || !column->bIsAutoIncrementOnDataBase())) {
    CAny unheld;
    unheld.SetI8(0);
    unheld.SetNull(true);
    if (!m_pclDataAccess->bSetNewAutoId(&unheld)) return FALSE;
    // A value past the record's item goes as it is, never wrapped: the server refuses it.
    if (!unheld.bIsNull())
      return values->bAddParameter(&unheld, static_cast<eOPEXPRESSION>(-1), 0, nullptr, 0, CNAParameter::NA_PARAM_IN);
  }
  // A deleted row written back keeps the server's text of a column the host left as read: the
  // record may hold it otherwise (a character its page lacks, a text cut to its item).
  // Asked of the state first: every other write's columns pass by at one test.
  const CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  const CNARecordValue* row = current != nullptr && current->eGetState() == NA_RECORDSTATE_DELETED &&
                                      m_pclRecord->bOriginalSet()
                                  ? m_pclRecord->pclGetOriginalValueNoRef()
                                  : nullptr;
  if (row != nullptr && row->bHasServerTexts() && !column->bValueModified()) {
    const CNARecordMemo::STServerText* text = row->pGetServerText(column->nGetPhysicalIndice());
    CTString literal;
    if (text != nullptr && !text->bLost &&
        g_bServerTextLiteral(&literal, static_cast<eNASERVERTEXT>(text->nKind), text->sText.data(), text->sText.size(),
                             pclGetConnectionNoRef()))
      return values->bComplete(literal.pszGet());
  }
  // The record's bytes first, where they tell the literal without the value.
  const int written = values->nAddColumnLiteral(column);
  if (written >= 0) return written;
  CAny value;
  if (!column->bGetCurrentValue(&value, 0)) return FALSE;
  return values->bAddValueLiteral(&value, column);
}

void CNAStatement::_ChooseWriteColumns(std::vector<CNAColumn*>* chosen, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags) {
  CNAColumn* fallback = nullptr;
  // An add's check set the plain columns' bits already.
  const bool checked = m_pclDataAccess != nullptr && m_pclDataAccess->bKJRecordChecked();
  // A record numbers its first identifier column when it is made: without one, no column is.
  const bool identified = m_pclRecord != nullptr && m_pclRecord->pclGetColumnIDAutoNoRef() != nullptr;
  for (int i = 0; m_pclRecord != nullptr && i < m_pclRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclRecord->pclGetColumnNoRef(i);
    if (column == nullptr || column->bIsComposedKey()) break;
    if (!checked || column->bIsMemo()) column->_SetItemValueDefinedInKJRecord(column->bValueDefined(), 0);
    // Each fact of the column is asked once: the fallback and the choice read the same ones.
    if (column->eGetTypeColonne() != 0) continue;
    if (identified && column->bIsIdAuto()) {
      if (type == NA_QUERY_UPDATE && !column->bValueModified()) continue;
      if ((flags & 0x700) != 0 || !column->bIsAutoIncrementOnDataBase()) chosen->push_back(column);
      continue;
    }
    if (!column->bUpdatable()) continue;
    if (fallback == nullptr) fallback = column;
    if (type != NA_QUERY_UPDATE || column->bValueModified()) chosen->push_back(column);
  }
  if (type == NA_QUERY_INSERT && chosen->empty() && fallback != nullptr) chosen->push_back(fallback);
}

BOOL CNAStatement::_bWriteColumnValues(CNACommand* command, const std::vector<CNAColumn*>& chosen, eNAQUERYTYPE type,
                                       NA_WRITEPARSEFLAGS flags) {
  const bool fromQuery = _pclGetSourceQueryNoRef() != nullptr;
  for (size_t i = 0; i < chosen.size(); ++i) {
    CNAColumn* column = chosen[i];
    if (i > 0) Append(command, L", ");
    if (type == NA_QUERY_UPDATE) {
      command->bComplete(fromQuery ? column->pszGetFormatedOriginalName() : column->pszGetFormatedName());
      Append(command, L" = ");
    }
    if (!_bAddColumnValue(command, column, type, flags)) return FALSE;
  }
  return TRUE;
}

BOOL CNAStatement::_bBuildQueryInsertUpdate(CNACommand* command, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags) {
  // The columns are chosen first, so that their values go straight into the command after the
  // list that names them. Their room is the last write's (a write built inside this one takes
  // its own: the room is taken, not shared).
  struct STRoom {
    std::vector<CNAColumn*>& home;
    std::vector<CNAColumn*> taken;
    ~STRoom() {
      taken.clear();
      home = std::move(taken);
    }
  } room{m_tabWriteColumns, std::move(m_tabWriteColumns)};
  std::vector<CNAColumn*>& chosen = room.taken;
  chosen.reserve(m_pclRecord != nullptr ? static_cast<size_t>(m_pclRecord->nGetNbColumn()) + 1 : 1);
  const bool onTable = command != nullptr && m_pclDataAccess != nullptr && _pclGetSourceQueryNoRef() == nullptr;
  if (onTable) _ChooseWriteColumns(&chosen, type, flags);
  if (onTable && type == NA_QUERY_INSERT) {
    const int formated = _nBuildInsertFormated(command, chosen, flags);
    if (formated >= 0) return formated;
  }
  if (!_bBuildQueryStart(command, type)) {
    if (command != nullptr) command->ResetCommand(0);
    return FALSE;
  }
  if (!onTable) _ChooseWriteColumns(&chosen, type, flags);
  BOOL ok = TRUE;
  if (!chosen.empty()) {
    if (type == NA_QUERY_INSERT) {
      const bool fromQuery = _pclGetSourceQueryNoRef() != nullptr;
      Append(command, L" (");
      for (size_t i = 0; i < chosen.size(); ++i) {
        if (i > 0) command->bComplete(L",", 1);
        command->bComplete(fromQuery ? chosen[i]->pszGetFormatedOriginalName() : chosen[i]->pszGetFormatedName());
      }
      Append(command, L") VALUES ( ");
      ok = _bWriteColumnValues(command, chosen, type, flags);
      Append(command, L" )");
    } else {
      Append(command, L" SET ");
      ok = _bWriteColumnValues(command, chosen, type, flags) && _bAddWHERELatestRead(command, 1, nullptr, 1);
    }
    CNAConnectionDescription* cnx = pclGetConnectionNoRef();
    if (ok && cnx != nullptr && cnx->bSupportInsertReturning()) ok = _bAddClauseReturning(type, flags);
  } else if (type == NA_QUERY_INSERT) {
    Append(command, L"VALUES ( DEFAULT )");
  } else {
    command->ResetCommand(0);
    // Nothing changed leaves a row as it is, but a row this record deleted is not there to
    // leave: the modify writes the record back, as after an UPDATE that found no row.
    const CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
    if (current != nullptr && current->eGetState() == NA_RECORDSTATE_DELETED) return FALSE;
  }
  if (!ok) command->ResetCommand(0);
  return ok;
}

BOOL CNAStatement::bBuildQueryINSERT(CNACommand* command, NA_WRITEPARSEFLAGS flags) {
  return _bBuildQueryInsertUpdate(command, NA_QUERY_INSERT, flags);
}

BOOL CNAStatement::bBuildQueryUPDATE(CNACommand* command, NA_WRITEPARSEFLAGS flags) {
  return _bBuildQueryInsertUpdate(command, NA_QUERY_UPDATE, flags);
}

BOOL CNAStatement::_bAddClauseReturning(eNAQUERYTYPE type, NA_WRITEPARSEFLAGS) {
  CNAColumn* idAuto = m_pclRecord != nullptr ? m_pclRecord->pclGetColumnIDAutoNoRef() : nullptr;
  if (type != NA_QUERY_INSERT || idAuto == nullptr || m_pclCommand == nullptr) return TRUE;
  return m_pclCommand->bAddReturning(idAuto->pszGetFormatedName());
}

BOOL CNAStatement::bBuildQueryDELETE(CNACommand* command, NA_WRITEPARSEFLAGS) {
  if (!_bBuildQueryStart(command, NA_QUERY_DELETE) || !_bAddWHERELatestRead(command, 1, nullptr, 1)) {
    if (command != nullptr) command->ResetCommand(0);
    return FALSE;
  }
  return TRUE;
}

BOOL CNAStatement::bBuildQueryDELETEALL(CNACommand* command, NA_WRITEPARSEFLAGS) {
  if (command == nullptr || m_pclDataAccess == nullptr) return FALSE;
  if (_pclGetSourceQueryNoRef() != nullptr) {
    CNAError::g_RaiseUserError(m_pclError, kErrorTypeWrite, kSourceFile, kSiteDeleteAllQuery, pclGetConnectionNoRef(),
                               _pszLogicalName(), m_csParseItem.pszGet(), 8, _pszLogicalName());
    return FALSE;
  }
  command->ResetCommand(0);
  _SetQuery(command);
  command->SetNAQueryType(NA_QUERY_DELETEALL);
  command->bComplete(L"DELETE FROM ");
  return command->bComplete(m_pclDataAccess->pszGetFormatedTableName());
}

BOOL CNAStatement::bLatestReadWithoutUniqueKey() const {
  if (m_pclRecord == nullptr || !m_pclRecord->bOriginalSet() || m_pclRecord->pclGetUniqueKeyNotNullNoRef() != nullptr)
    return FALSE;
  CNARecordValue* original = m_pclRecord->pclGetOriginalValueNoRef();
  CNARecordId* id = original != nullptr ? original->pclGetRecordIdNoRef() : nullptr;
  return id == nullptr || id->eGetRecordIdType() != NA_RECORDID_ROWID ? TRUE : FALSE;
}

BOOL CNAStatement::_bAddWHERELatestRead(CNACommand* command, int withKeyword, const CNARefArray<CNAColumn>* columns,
                                        int withMemos) {
  if (m_pclRecord == nullptr || !m_pclRecord->bOriginalSet()) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoRecordRead,
                               pclGetConnectionNoRef(), _pszLogicalName(), nullptr, 7, _pszLogicalName());
    return FALSE;
  }
  CNARecordValue* original = m_pclRecord->pclGetOriginalValueNoRef();
  CNARecordId* id = original != nullptr ? original->pclGetRecordIdNoRef() : nullptr;
  if (id != nullptr && id->eGetRecordIdType() == NA_RECORDID_ROWID) {
    if (withKeyword) command->bComplete(L" WHERE ");
    command->bComplete(L" ROWID=");
    return command->bAddParameter(static_cast<CNARecordId_RowId*>(id)->pclGetValueNoRef(),
                                  static_cast<eOPEXPRESSION>(-1), 0, nullptr, nullptr, 0, CNAParameter::NA_PARAM_IN);
  }
  // The condition is built on the row as read, the current values set aside meanwhile.
  CNAKJRecord* current = m_pclRecord->pclGetNAKJRecord();
  CNAKJRecord* saved = current != nullptr ? current->pclGetClone() : nullptr;
  if (saved == nullptr) {
    CNAError::g_RaiseNoMemory(m_pclError, pclGetConnectionNoRef());
    return FALSE;
  }
  saved->AddRef();
  const CNARecordValue* memos = withMemos != 0 && bLatestReadWithoutUniqueKey() ? original : nullptr;
  // The row is named by its own server texts where its buffer does not hold them exactly.
  m_pclRecord->SetNamedBy(original);
  BOOL result = m_pclRecord->bSetNAKJRecord(m_pclRecord->pclGetOriginalNAKJRecord()) &&
                _bAddWHERECurrentRecord(command, withKeyword, columns, memos);
  m_pclRecord->SetNamedBy(nullptr);
  if (!m_pclRecord->bSetNAKJRecord(saved)) result = FALSE;
  saved->nRelease();
  return result;
}

BOOL CNAStatement::_bAddWHERECurrentRecord(CNACommand* command, int withKeyword,
                                           const CNARefArray<CNAColumn>* columns, const CNARecordValue* memos) {
  CNARecherche* search = pclAllocRecherche();
  if (search == nullptr) {
    CNAError::g_RaiseNoMemory(m_pclError, pclGetConnectionNoRef());
    return FALSE;
  }
  search->AddRef();
  CHeldRef<INAItemDescription> best(m_piDescription != nullptr ? m_piDescription->piGetBestParseItemDesc() : nullptr);
  // Without a best item the record's first column leads; the search completes it to a unique row.
  CNAColumn* first = m_pclRecord != nullptr ? m_pclRecord->pclGetColumnNoRef(0) : nullptr;
  CHeldRef<INAItemDescription> fallback(best.get() == nullptr && first != nullptr ? first->piGetItem() : nullptr);
  INAItemDescription* item = best.get() != nullptr ? best.get() : fallback.get();
  auto condition = CHeldRef<CNACommand>::Take(m_pclDataAccess->pclAllocCommand(m_pclError));
  const eNAQUERYTYPE type = command->eGetQueryType();
  CTString written;
  if (condition.get() != nullptr && (type == NA_QUERY_UPDATE || type == NA_QUERY_DELETE) &&
      _pclGetSourceQueryNoRef() != nullptr && m_pclDataAccess->bGetQueryWriteTable(&written, 0))
    condition->SetWrittenTable(written.pszGet());
  BOOL result = condition.get() != nullptr && item != nullptr &&
                search->bRechercheEnreg(m_pclRecord, item, NA_PARSE_FIRST, 1, columns) &&
                (memos == nullptr || search->bAndMemoValues(m_pclRecord, memos));
  // A value whose character the connection's page lost names no row for sure: nothing is sent.
  if (result && search->bNamesByLostText()) {
    CNAError::g_RaiseUserError(m_pclError, kErrorTypeWrite, kSourceFile, kSiteRowNotNamed, pclGetConnectionNoRef(),
                               _pszLogicalName(), search->pszGetLostItem(), 320105, search->pszGetLostItem(),
                               _pszLogicalName());
    result = FALSE;
  }
  result = result && search->bGetSQL(condition.get(), nullptr, m_pclRecord);
  if (result && condition->nGetOriginalSQLLength() > 0) {
    if (withKeyword) command->bComplete(L" WHERE ");
    result = command->bAdd(condition.get(), NA_ADD_CLONE);
  }
  search->nRelease();
  return result;
}

// ---------------------------------------------------------------- CREATE

BOOL CNAStatement::_bGetNativeDataType(CNAColumn* column, CTString* type) {
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  return cnx != nullptr && cnx->bGetMatchingSQLType(m_pclError, column->piGetItemNoRef(), type);
}

BOOL CNAStatement::_bGetNativeConstraint(CNAColumn* column, CTString* constraint) {
  constraint->Vide();
  INAItemDescription* item = column->piGetItemNoRef();
  const eNA_ITEMTYPE type = item->eNAGetItemType();
  if (item->bPrimary() || type == NA_IT_IDAUTO || type == NA_IT_IDAUTO4) {
    *constraint = L" PRIMARY KEY ";
    return TRUE;
  }
  CTString text;
  if (item->bUnique()) text = L" UNIQUE ";
  const bool nullSupported = m_piDescription != nullptr && m_piDescription->nGetVersion() >= 6 &&
                             m_piDescription->bGetNullSupported();
  if (nullSupported && item->nGetVersion() > 8 && !item->vbConstraintNullAllowed())
    text = CTString(text.pszGet(), L" NOT NULL ", nullptr);
  *constraint = text;
  return TRUE;
}

BOOL CNAStatement::_bBuildSubQueryCREATEColumn(CNACommand* command, CNAColumn* column) {
  CTString type;
  CTString constraint;
  if (!_bGetNativeDataType(column, &type) || !_bGetNativeConstraint(column, &constraint)) return FALSE;
  command->bComplete(column->pszGetFormatedName());
  command->bComplete(L" ");
  command->bComplete(type.pszGet());
  if (constraint.nTaille() > 0) {
    command->bComplete(L" ");
    command->bComplete(constraint.pszGet());
  }
  return TRUE;
}

BOOL CNAStatement::bBuildQueryCREATE(CNACommand* command) {
  if (command == nullptr || m_pclDataAccess == nullptr || m_pclRecord == nullptr) return FALSE;
  _SetQuery(command);
  command->SetNAQueryType(NA_QUERY_CREATE);
  command->bComplete(L"CREATE TABLE ");
  command->bComplete(m_pclDataAccess->pszGetFormatedTableName());
  command->bComplete(L"( ");
  bool first = true;
  for (int i = 0; i < m_pclRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclRecord->pclGetColumnNoRef(i);
    if (column == nullptr || column->bIsComposedKey()) continue;
    if (!first) command->bComplete(L", ");
    first = false;
    if (!_bBuildSubQueryCREATEColumn(command, column)) return FALSE;
  }
  return command->bComplete(L" )");
}

BOOL CNAStatement::bQueryCREATE_AutoCorrectVarcharMax(CXYStringConcat<wchar_t>* out, const wchar_t* text,
                                                      const wchar_t* type, int maximum, const wchar_t* replacement) {
  if (out == nullptr) return FALSE;
  out->Vide();
  if (text == nullptr || bEmpty(type)) return FALSE;
  CTString pattern(type, L"(", nullptr);
  const size_t patternLength = static_cast<size_t>(pattern.nTaille());
  const wchar_t* rest = text;
  bool replaced = false;
  for (const wchar_t* at = wcsstr(rest, pattern.pszGet()); at != nullptr; at = wcsstr(rest, pattern.pszGet())) {
    const wchar_t* digits = at + patternLength;
    const wchar_t* end = digits;
    // A size is compared digit by digit, never summed past the maximum: no overflow.
    bool above = false;
    long long size = 0;
    for (; *end >= L'0' && *end <= L'9'; ++end) {
      if (!above) {
        size = size * 10 + (*end - L'0');
        if (size > maximum) above = true;
      }
    }
    if (above && end > digits) {
      out->Add(rest, static_cast<int>(at - rest));
      if (replacement != nullptr) out->Add(replacement, static_cast<int>(wcslen(replacement)));
      rest = *end != 0 ? end + 1 : end;
      replaced = true;
    } else {
      out->Add(rest, static_cast<int>(end - rest));
      rest = end;
    }
  }
  if (!replaced) {
    out->Vide();
    return FALSE;
  }
  out->Add(rest, static_cast<int>(wcslen(rest)));
  return TRUE;
}

// ---------------------------------------------------------------- running

void CNAStatement::Close() {
  delete[] m_pnRecordSave;
  m_pnRecordSave = nullptr;
  // The rows marked deleted were the result's: the next one has none.
  m_nDeletedRows = 0;
  _InvalidatePositionRowIds();
  if (!m_bContinuing) {
    m_clFilterSave.SetFilter(nullptr);
    if (m_pclDataAccess != nullptr) m_pclDataAccess->ClosingStatement(this);
    m_bParseStarted = 0;
    m_bPlainReady = 0;
    m_llCurrentRecord = -1;
    m_nBlockBase = 0;
    m_bEdgeInexact = false;
    EnableCache(0);
    // The index read the full cache the row cache lent: both go together.
    _ReleaseTableCacheIndex();
  }
  _SetRecordSaveId(-1);
  m_bFirstBlock = 1;
  _DropEdgeAnchor();
  _KeepPendingRows();
  if (m_pclStatementSQL != nullptr) m_pclStatementSQL->bReset();
}

void CNAStatement::ResetQuery() {
  Close();
  _SetQuery(nullptr);
  m_bRowValid = 0;
}

BOOL CNAStatement::bExecute(NA_WRITEPARSEFLAGS flags, eNA_ST_PREPARE prepare) {
  if (m_bParseStarted) Close();
  if (!m_bContinuing && m_pclOriginalRecord != nullptr) {
    if (m_pclRecord != nullptr) m_pclRecord->DropOriginalTwin(m_pclOriginalRecord);
    CNARecordValue* last = std::exchange(m_pclOriginalRecord, nullptr);
    // Held by nobody else, it may serve the next result's first row (_pclNewStmtOriginalRecord).
    if (last->nGetRefCount() == 1 && !last->bIsStatic() && typeid(*last) == typeid(CNARecordValue)) {
      if (m_pclSpareOriginalRecord != nullptr) m_pclSpareOriginalRecord->nRelease();
      m_pclSpareOriginalRecord = last;
    } else {
      last->nRelease();
    }
  }
  if (m_pclCommand == nullptr || m_pclCommand->bIsEmpty()) return TRUE;
  if (!bExecuteDirect(flags, prepare)) return FALSE;
  // A block going on keeps the rows cached before it, unless there is no row cache.
  if ((!m_bContinuing || !bCacheEnabled()) && m_pclDataAccess != nullptr)
    m_nRunSerial = m_pclDataAccess->nNextResultSerial();
  const bool select = m_pclCommand->eGetQueryType() == NA_QUERY_SELECT ||
                      (m_pclCommand->bIsRewriteMode() && m_pclCommand->pclGetParsedQueryNoRef() != nullptr);
  // A one-value query (a count) describes no browse.
  // A result that cannot be described (its source tables no longer reachable) is not read.
  if (select && (flags & NA_WPF_REQUESTED_VALUE) == 0 && m_pclDataAccess != nullptr &&
      m_pclDataAccess->pclGetImportedDescNoRef() == nullptr && !m_pclDataAccess->bInitImportedDataSourceDesc(this))
    return FALSE;
  return TRUE;
}

CNARecordValue* CNAStatement::_pclNewStmtOriginalRecord(const CNARecordValue* current) {
  if (CNARecordValue* spare = std::exchange(m_pclSpareOriginalRecord, nullptr)) {
    const CNAKJRecord* from = current->pclGetNAKJRecord();
    const CNAKJRecord* to = spare->pclGetNAKJRecord();
    // Its record buffer takes current's bytes as a clone's new one would; memo and identifier
    // are made as a clone's are.
    if (spare->pclGetErrorNoRef() == current->pclGetErrorNoRef() && from != nullptr && to != nullptr &&
        to->nGetRefCount() == 1 && to->nGetTotalSize() == from->nGetTotalSize() &&
        to->nGetFlagFieldSize() == from->nGetFlagFieldSize() && to->nGetItemCount() == from->nGetItemCount()) {
      // A record-values identifier of its own is what a clone's would be once the copy set it
      // again: it is kept rather than made anew.
      const CNARecordId* mine = spare->pclGetRecordIdNoRef();
      const CNARecordId* theirs = current->pclGetRecordIdNoRef();
      const bool keepId = mine != nullptr && theirs != nullptr && mine->dwGetRefCount() == 1 &&
                          mine->eGetKind() == NA_RECORDID_RECORDVALUES && theirs->eGetKind() == NA_RECORDID_RECORDVALUES;
      if (!keepId) spare->bShareRecordID(nullptr);
      spare->bShareTabMemoValue(nullptr);
      if (spare->bCopyRecordValue(current, NA_COPY_ALL)) return spare;
    }
    spare->nRelease();
  }
  CNARecordValue* clone = current->pclGetClone(NA_COPY_ALL);
  if (clone != nullptr) clone->AddRef();
  return clone;
}

BOOL CNAStatement::bExecuteDirectNewCommand(CNACommand* command, NA_WRITEPARSEFLAGS flags, eNA_ST_PREPARE prepare) {
  _SetQuery(command);
  return bExecuteDirect(flags, prepare);
}

BOOL CNAStatement::bExecuteDirect(NA_WRITEPARSEFLAGS, eNA_ST_PREPARE) {
  if (m_pclCommand == nullptr) return FALSE;
  CTStringConcatAW* text = m_pclCommand->pclGetFormatedSQL(NA_PARAMCONV_ALL);
  if (text == nullptr) return FALSE;
  if (text->nGetLength() == 0) return TRUE;
  if (!_bNewStatementSQL()) return FALSE;
  // Sent by its byte count: a literal may hold NUL bytes.
  if (!m_pclStatementSQL->_bExecuteDirect(text, nullptr, 0)) return FALSE;
  // A row someone else changed or deleted since it was read is named by nothing any more: its
  // UPDATE or DELETE wrote nothing. A row this record deleted already is gone as asked.
  const eNAQUERYTYPE type = m_pclCommand->eGetQueryType();
  const CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  const bool goneAlready = type == NA_QUERY_DELETE && current != nullptr && current->eGetState() == NA_RECORDSTATE_DELETED;
  if ((type == NA_QUERY_UPDATE || type == NA_QUERY_DELETE) && m_pclRecord != nullptr && !goneAlready) {
    unsigned long long touched = 0;
    if (m_pclStatementSQL->bGetAffected_rows(&touched) && touched == 0) {
      CNAError::g_RaiseUserError(m_pclError, kErrorTypeNoRow, kSourceFile,
                                 type == NA_QUERY_UPDATE ? kSiteNoRowUpdated : kSiteNoRowDeleted, pclGetConnectionNoRef(),
                                 _pszLogicalName(), nullptr, 13, _pszLogicalName());
      CXYStringConcat<wchar_t> dump;
      m_pclRecord->CurrentRecordToString(&dump);
      m_pclError->AddDebugMessageNoFormat(dump.pszGet());
      return FALSE;
    }
  }
  m_nOutSide = 0;
  const long long limit = m_pclCommand->llGetRowLimit();
  m_nBlockLimit = limit > 0 && m_pclStatementSQL->llGetRowCount() == limit ? static_cast<int>(limit) : -1;
  // Rows found again from a record start inside the browse, and the rows equal to it end inside
  // it too: further blocks may follow on both sides.
  // A host's seek (also one a returned position put back) selects rows, it does not position.
  const bool hostSeek = m_clUserSearch.piGetItemNoRef() != nullptr && m_pclRecherche != nullptr &&
                        m_pclRecherche->nGetState() != 0;
  const int positioned = m_bInternalSearch && !hostSeek && m_pclRecherche != nullptr ? m_pclRecherche->nGetState() : 0;
  m_bFirstBlock = m_pclCommand->llGetRowOffset() <= 0 && positioned == 0 ? 1 : 0;
  if (positioned == 1) m_nBlockLimit = static_cast<int>(m_pclStatementSQL->llGetRowCount());
  m_bSoughtRows = hostSeek ? 1 : 0;
  return TRUE;
}

BOOL CNAStatement::_bNewStatementSQL() {
  if (m_pclStatementSQL != nullptr) {
    _KeepPendingRows();
    delete[] m_pnRecordSave;
    m_pnRecordSave = nullptr;
    m_nDeletedRows = 0;
    return m_pclStatementSQL->bReset();
  }
  CNADriver* driver = CNADriver::s_pclDriver;
  CNADriverSQL* service = driver != nullptr ? driver->pclGetDriverSQL() : nullptr;
  _EndPlainStep();
  m_pclStatementSQL = service != nullptr ? service->pclAllocStatementSQL(pclGetConnectionNoRef(), m_pclError) : nullptr;
  if (m_pclStatementSQL == nullptr) {
    CNAError::g_RaiseNoMemory(m_pclError, pclGetConnectionNoRef());
    return FALSE;
  }
  m_pclStatementSQL->AddRef();
  return TRUE;
}

BOOL CNAStatement::bExecuteAndFetch(CAny* values, int count, eNA_ST_PREPARE prepare) {
  BOOL result = bExecute(0, prepare);
  if (result) result = bFetch(NA_PARSE_FIRST, 0, 1);
  if (result) result = _vbGetQueryResult(values, static_cast<unsigned int>(count));
  Close();
  return result;
}

BOOL CNAStatement::bGetRequestedValue(CAny* value) {
  return bExecute(NA_WPF_REQUESTED_VALUE, NA_ST_PREPARE) && bGetResultValue(value, 0);
}

BOOL CNAStatement::_bFetchSQLRow() {
  if (m_pclStatementSQL == nullptr) return FALSE;
  if (!m_pclStatementSQL->bFetch(0)) {
    m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
    return FALSE;
  }
  return m_pclStatementSQL->bIsEnd() ? FALSE : TRUE;
}

BOOL CNAStatement::bGetResultValue(CAny* value, unsigned int column) {
  return _bFetchSQLRow() && bGetSQLColumnValue(value, column);
}

BOOL CNAStatement::_vbGetQueryResult(CAny* values, unsigned int count) {
  if (!_bFetchSQLRow()) return FALSE;
  for (unsigned int i = 0; i < count; ++i)
    if (!bGetSQLColumnValue(&values[i], i)) return FALSE;
  return TRUE;
}

BOOL CNAStatement::bGetSQLColumnValue(CNAConvertVariant* value, unsigned int column) {
  if (m_pclStatementSQL == nullptr) return FALSE;
  if (m_pclStatementSQL->bGetValue(value, column, 0)) return TRUE;
  m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
  return FALSE;
}

BOOL CNAStatement::bGetSQLColumnValue(CAny* value, unsigned int column) {
  if (m_pclStatementSQL == nullptr) return FALSE;
  if (m_pclStatementSQL->bGetValue(value, column, 0)) return TRUE;
  m_pclError->Copy(m_pclStatementSQL->pclGetErrorNoRef());
  return FALSE;
}

BOOL CNAStatement::bPrepare(CNACommand* command, unsigned int flags) {
  _SetQuery(command);
  if ((flags & 2) != 0) return TRUE;
  return _bPrepare();
}

BOOL CNAStatement::bExecutePreparedQuery(NA_WRITEPARSEFLAGS flags, int refresh) {
  if (refresh && m_pclCommand != nullptr && !m_pclCommand->bUpdateParametersValues()) return FALSE;
  if ((m_pclCommand == nullptr || m_pclCommand->eGetQueryType() == NA_QUERY_NONE) && m_pclTableCacheIndex == nullptr) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNeverBuilt, pclGetConnectionNoRef(),
                               _pszLogicalName(), m_csParseItem.pszGet(), 2);
    return FALSE;
  }
  Close();
  return _bExecutePreparedQuery(flags);
}

BOOL CNAStatement::_bExecutePreparedQuery(NA_WRITEPARSEFLAGS flags) {
  return m_pclStatementSQL != nullptr && m_pclStatementSQL->bExecutePreparedQuery(flags);
}

// ---------------------------------------------------------------- after writes

BOOL CNAStatement::bUpdateRecordAfterInsert(eNAQUERYTYPE, int flags) {
  if ((flags & 0x500) != 0 || m_pclRecord == nullptr) return TRUE;
  CNAColumn* idAuto = m_pclRecord->pclGetColumnIDAutoNoRef();
  if (idAuto == nullptr) return TRUE;
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  if (cnx != nullptr && cnx->bSupportInsertReturning()) {
    CAny value;
    return bGetResultValue(&value, 0) && idAuto->bSetValue(&value, 0);
  }
  return m_pclDataAccess != nullptr && m_pclDataAccess->bSetNewAutoId();
}

BOOL CNAStatement::bUpdateRecordAfterUpdate(eNAQUERYTYPE, int flags) {
  if ((flags & 0x500) != 0 || m_pclRecord == nullptr) return TRUE;
  CNAColumn* idAuto = m_pclRecord->pclGetColumnIDAutoNoRef();
  CNAKJRecord* current = m_pclRecord->pclGetNAKJRecord();
  CNAKJRecord* original = m_pclRecord->pclGetOriginalNAKJRecord();
  if (idAuto == nullptr || current == nullptr || original == nullptr) return TRUE;
  INAItemDescription* item = idAuto->piGetItemNoRef();
  const BYTE* bytes = original->vpbyGetItemValue(item, 0);
  if (bytes != nullptr) current->vSetItemValue(item, bytes, item->nGetItemSize(), 0);
  current->SetItemValueDefined(item, original->vbItemValueDefined(item, 0), 0);
  m_pclRecord->OnNAKJRecordChanged();
  return TRUE;
}

// ---------------------------------------------------------------- memos

BOOL CNAStatement::bGetBLOB(INAItemDescription* item, CAny* value) {
  CNAColumn* column = m_pclRecord != nullptr && item != nullptr ? m_pclRecord->pclGetColumnNoRef(item) : nullptr;
  return column != nullptr && column->bGetBLOB(value);
}

BOOL CNAStatement::bExtraitMemo(INAItemDescription* item, const wchar_t* path) {
  CNAColumn* column = m_pclRecord != nullptr && item != nullptr ? m_pclRecord->pclGetColumnNoRef(item) : nullptr;
  return column != nullptr && column->bHExtraitMemo(path);
}

// ---------------------------------------------------------------- searches and filters

void CNAStatement::DesactivateRecherche() {
  if (m_pclRecherche != nullptr) m_pclRecherche->Desactivate();
}

CNARecherche* CNAStatement::pclAllocRecherche() {
  return new (std::nothrow) CNARecherche(m_pclError, pclGetConnectionNoRef());
}

CNAFilter* CNAStatement::pclAllocFilter(CNAError* error) {
  return new (std::nothrow) CNAFilter(error, pclGetConnectionNoRef());
}

// ---------------------------------------------------------------- rebuild cause

BOOL CNAStatement::bSetParseNeedUpdate(ePARSENEEDUPDATECAUSE cause, int recordSaveId) {
  if (cause == NA_PARSE_REPLACE && m_eParseNeedUpdate == NA_PARSE_RERUN) return TRUE;
  m_eParseNeedUpdate = cause;
  m_bPlainReady = 0;
  _SetRecordSaveId(recordSaveId);
  if (cause == NA_PARSE_RERUN && m_pclStatementSQL != nullptr) {
    _KeepPendingRows();
    m_pclStatementSQL->bReset();
  }
  return TRUE;
}

BOOL CNAStatement::bSetParseNeedUpdate(ePARSENEEDUPDATECAUSE cause) {
  int id = -1;
  if (cause != NA_PARSE_UPTODATE) {
    id = m_pclDataAccess != nullptr ? m_pclDataAccess->nKeepOriginalRecordSave(this) : -1;
    if (id == -1) return TRUE;
  }
  // A kept save starts without a holder; the statement becomes one.
  return bSetParseNeedUpdate(cause, id);
}

BOOL CNAStatement::bCanUpdateParse() const {
  if (m_pclDataAccess == nullptr) return TRUE;
  if (m_pclDataAccess->bRequeteSansCorrection()) return FALSE;
  CSQLParserInfo* query = _pclGetSourceQueryNoRef();
  if (query != nullptr && (m_dwParseFlags & NA_WPF_DEFAULT_PARSE_ITEM) != 0)
    return query->piEnumRubriqueClauseOrder(1) != nullptr ? TRUE : FALSE;
  return TRUE;
}

BOOL CNAStatement::bKeepModifiedRecordSave(long long row, int id) {
  if (m_pclStatementSQL == nullptr || row < 0 || row >= m_pclStatementSQL->llGetRowCount()) return FALSE;
  const long long rows = m_pclStatementSQL->llGetRowCount();
  if (m_pnRecordSave == nullptr) {
    _EndPlainStep();
    m_pnRecordSave = new (std::nothrow) int[static_cast<size_t>(rows)];
    if (m_pnRecordSave == nullptr) {
      CNAError::g_RaiseNoMemory(m_pclError, pclGetConnectionNoRef());
      return FALSE;
    }
    for (long long i = 0; i < rows; ++i) m_pnRecordSave[i] = -1;
  }
  int& slot = m_pnRecordSave[row];
  if (slot == id) return TRUE;
  if (id >= 0 && m_pclDataAccess != nullptr) m_pclDataAccess->AddRefRecordSave(id);
  if (slot >= 0 && m_pclDataAccess != nullptr) m_pclDataAccess->nReleaseRecordSave(slot);
  slot = id;
  return TRUE;
}

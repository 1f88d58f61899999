#include "access/nadatasourcedescription.h"

#include <climits>
#include <cstdint>
#include <new>
#include <string>

#include "common/str_compare.h"
#include "common/xystringconcat.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/nadriversql.h"
#include "driver/naerror.h"
#include "sql/naitemtype.h"
#include "sql/nastatementsql.h"
#include "sql/sqlparserinfo.h"

namespace {

enum { kSiteCompatible = 1, kSiteCorresponding = 2, kSiteNoItem = 3 };
constexpr unsigned int kErrMissingItem = 20, kErrNoSuchItem = 26, kErrNoColumn = 30;
constexpr unsigned short kKindBits = NA_KEY_PRIMARY | NA_KEY_UNIQUE | NA_KEY_DUPLICATES;

const wchar_t* Text(const wchar_t* s) { return s != nullptr ? s : L""; }

bool bSameName(const wchar_t* a, const wchar_t* b) { return STR_nCompareW(Text(a), Text(b), 3) == 0; }

// The strength of a key kind: primary, unique, duplicates, none.
int nKindRank(unsigned short flags) {
  if ((flags & NA_KEY_PRIMARY) != 0) return 3;
  if ((flags & NA_KEY_UNIQUE) != 0) return 2;
  return (flags & NA_KEY_DUPLICATES) != 0 ? 1 : 0;
}

// One reference on a statement, given back however the scope is left.
struct HeldStatement {
  CNAStatementSQL* p;
  ~HeldStatement() {
    if (p != nullptr) p->nRelease();
  }
};

}  // namespace

eNA_ITEMTYPE CNADataSourceDescription::g_eGetNAItemType(int hostType) { return g_eGetNAItemTypeFromKJ(hostType); }

// ---------------------------------------------------------------- lifetime

CNADataSourceDescription::CNADataSourceDescription(CNAConnectionDescription* cnx, CNAError* error)
    : m_pclError(error), m_pclConnection(cnx) {
  CNAError::s_Hold(m_pclError);
  if (m_pclConnection != nullptr) m_pclConnection->AddRef();
}

CNADataSourceDescription::~CNADataSourceDescription() {
  CNADriver::g_nReleaseConnection(m_pclConnection);
  CNAError::s_Drop(&m_pclError);
  if (m_piBestParseItem != nullptr) m_piBestParseItem->nExternalRelease();
  m_tabMemo.SupprimeTout();
  m_tabKey.SupprimeTout();
  m_tabItem.SupprimeTout();
}

void CNADataSourceDescription::_DeleteIfFree() {
  if (m_nRef == 0 && m_nExternalRef == 0) delete this;
}

int CNADataSourceDescription::nRelease() {
  if (m_nRef == 0) return 0;
  const int left = static_cast<int>(--m_nRef);
  _DeleteIfFree();
  return left;
}

INADataSourceDescription* CNADataSourceDescription::ExternalAddRef() {
  ++m_nExternalRef;
  return this;
}

int CNADataSourceDescription::nExternalRelease() {
  if (m_nExternalRef == 0) return 0;
  const int left = static_cast<int>(--m_nExternalRef);
  _DeleteIfFree();
  return left;
}

void CNADataSourceDescription::_NoMemory() { CNAError::g_RaiseNoMemory(m_pclError, m_pclConnection); }

// ---------------------------------------------------------------- interface

const wchar_t* CNADataSourceDescription::pszGetDefaultDatabase() const {
  return m_pclConnection != nullptr ? Text(m_pclConnection->pszGetDefaultDataBase()) : L"";
}

INAItemDescription* CNADataSourceDescription::piNAGetItem(const wchar_t* name) { return pclNAGetItem(name, 2); }

namespace {

INAItemDescription* pGive(CNAItemDescription* item) { return item != nullptr ? item->ExternalAddRef() : nullptr; }

}  // namespace

INAItemDescription* CNADataSourceDescription::piNAGetItem(unsigned int i) {
  return pGive(pclGetItemNoRef(i <= INT_MAX ? static_cast<int>(i) : -1));
}

INAItemDescription* CNADataSourceDescription::piNAGetKey(unsigned int i) {
  return pGive(pclGetKeyNoRef(i <= INT_MAX ? static_cast<int>(i) : -1));
}

INAItemDescription* CNADataSourceDescription::piNAGetMemo(unsigned int i) {
  return pGive(pclGetMemoNoRef(i <= INT_MAX ? static_cast<int>(i) : -1));
}

CNAItemDescription* CNADataSourceDescription::pclGetItemNoRef(int i) const {
  return i >= 0 && i < m_tabItem.nGetCount() ? m_tabItem[i] : nullptr;
}
CNAItemDescription* CNADataSourceDescription::pclGetKeyNoRef(int i) const {
  return i >= 0 && i < m_tabKey.nGetCount() ? m_tabKey[i] : nullptr;
}
CNAItemDescription* CNADataSourceDescription::pclGetMemoNoRef(int i) const {
  return i >= 0 && i < m_tabMemo.nGetCount() ? m_tabMemo[i] : nullptr;
}

INAItemDescription* CNADataSourceDescription::piGetBestParseItemDesc() {
  if (m_piBestParseItem == nullptr) {
    CNAItemDescription* best = nullptr;
    if (m_tabKey.nGetCount() > 0) {
      for (int i = 0; i < m_tabKey.nGetCount(); ++i) {
        CNAItemDescription* key = m_tabKey[i];
        if (key->bPrimary()) {
          best = key;
          break;
        }
        // A later unique key wins only by being sure where the first one found is not.
        if (key->bUnique() && (best == nullptr || (best->vbConstraintNullAllowed() && !key->vbConstraintNullAllowed())))
          best = key;
      }
      if (best == nullptr) best = m_tabKey[0];
    } else if (m_tabItem.nGetCount() > 0) {
      best = m_tabItem[0];
      for (int i = 0; i < m_tabItem.nGetCount(); ++i) {
        if (m_tabItem[i]->bMemo()) continue;
        best = m_tabItem[i];
        break;
      }
    }
    if (best == nullptr) return nullptr;
    m_piBestParseItem = best->ExternalAddRef();
  }
  return m_piBestParseItem->ExternalAddRef();
}

// ---------------------------------------------------------------- lookups

CNAItemDescription* CNADataSourceDescription::pclNAGetItemNoRef(const wchar_t* name, int mode) const {
  if ((mode & 1) == 0) {
    for (int i = 0; i < m_tabItem.nGetCount(); ++i)
      if (bSameName(m_tabItem[i]->pszGetName(), name)) return m_tabItem[i];
    return nullptr;
  }
  CTString wanted(Text(name));
  wanted.SansEspace();
  for (int i = 0; i < m_tabItem.nGetCount(); ++i) {
    CTString own(m_tabItem[i]->pszGetName());
    own.SansEspace();
    if (bSameName(own.pszGet(), wanted.pszGet())) return m_tabItem[i];
  }
  return nullptr;
}

CNAItemDescription* CNADataSourceDescription::pclNAGetItem(const wchar_t* name, int mode) {
  CNAItemDescription* item = pclNAGetItemNoRef(name, mode);
  if (item != nullptr) item->ExternalAddRef();
  return item;
}

INAItemDescription* CNADataSourceDescription::piNAGetKey(const wchar_t* name) {
  CTString wanted(Text(name));
  wanted.SansEspace();
  for (int i = 0; i < m_tabKey.nGetCount(); ++i) {
    CTString own(m_tabKey[i]->pszGetName());
    own.SansEspace();
    if (bSameName(own.pszGet(), wanted.pszGet())) return m_tabKey[i]->ExternalAddRef();
  }
  return nullptr;
}

CNAItemDescription* CNADataSourceDescription::pclNAGetItemByPhysicalIndiceDB(unsigned int n) {
  for (int i = 0; i < m_tabItem.nGetCount(); ++i) {
    CNAItemDescription* item = m_tabItem[i];
    if (item->nGetPhysicalIndiceDB() >= 0 && static_cast<unsigned int>(item->nGetPhysicalIndiceDB()) == n) {
      item->ExternalAddRef();
      return item;
    }
  }
  return nullptr;
}

CNAItemDescription* CNADataSourceDescription::pclNAGetCorrespondingItem(const wchar_t* name) {
  CNAItemDescription* item = pclNAGetItem(name, 2);
  if (item == nullptr)
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_DATASOURCE, kSiteCorresponding,
                               m_pclConnection, pszGetDBTableName(), Text(name), kErrNoSuchItem, pszGetDBTableName(),
                               Text(name));
  return item;
}

void CNADataSourceDescription::_SetBestParseItem(INAItemDescription* item) {
  if (item == nullptr) return;
  item->ExternalAddRef();
  if (m_piBestParseItem != nullptr) m_piBestParseItem->nExternalRelease();
  m_piBestParseItem = item;
}

void CNADataSourceDescription::_SetBestParseItem(const wchar_t* name) { _SetBestParseItem(pclNAGetItemNoRef(name, 2)); }

BOOL CNADataSourceDescription::bAreDescriptionCompatible(INADataSourceDescription* other) {
  if (other == nullptr) return TRUE;
  const int n = other->nGetNumItems();
  for (int i = 0; i < n; ++i) {
    INAItemDescription* item = other->piNAGetItem(static_cast<unsigned int>(i));
    if (item == nullptr) continue;
    const bool bMissing = pclNAGetItemNoRef(item->pszGetName(), 3) == nullptr && !item->bIsComposedKey();
    if (bMissing)
      CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_DATASOURCE, kSiteCompatible,
                                 m_pclConnection, pszGetLogicalName(), nullptr, kErrMissingItem, pszGetLogicalName(),
                                 Text(item->pszGetName()));
    item->nExternalRelease();
    if (bMissing) return FALSE;
  }
  return TRUE;
}

void CNADataSourceDescription::MakeNewName(CTString* out, const wchar_t* base, int n) {
  out->printf(L"%s%d", Text(base), n);
}

// ---------------------------------------------------------------- adding

BOOL CNADataSourceDescription::_AddItem(CNAItemDescription* item) {
  if (item == nullptr) return FALSE;
  if (*Text(item->pszGetName()) == 0) {
    CTString name;
    CNADriver::g_GenerateItemName(&name, m_nSubItems);
    item->bSetName(name.pszGet());
  }
  if (pclNAGetItemNoRef(item->pszGetName(), 2) != nullptr) {
    const CTString base(item->pszGetName());
    CTString candidate;
    for (int n = 2;; ++n) {
      MakeNewName(&candidate, base.pszGet(), n);
      if (pclNAGetItemNoRef(candidate.pszGet(), 2) == nullptr || n == INT_MAX) break;
    }
    item->bSetName(candidate.pszGet());
  }
  const int count = m_tabItem.nGetCount();
  if (item->m_nPhysicalIndice == 0 && count > 0) {
    if (m_tabItem.Insere(item, 0) == nullptr) return _NoMemory(), FALSE;
    m_tabItem._AddRef(item);
    for (int i = 1; i <= count; ++i) m_tabItem[i]->m_nPhysicalIndice = static_cast<unsigned int>(i);
  } else {
    if (item->m_nPhysicalIndice == UINT_MAX) item->m_nPhysicalIndice = static_cast<unsigned int>(count);
    if (m_tabItem.AjouteRef(item) == nullptr) return _NoMemory(), FALSE;
  }
  BOOL result = TRUE;
  if (item->bIsKey()) result = _AddKey(item);
  if (item->bMemo() && m_tabMemo.AjouteRef(item) == nullptr) result = FALSE, _NoMemory();
  return result;
}

BOOL CNADataSourceDescription::_AddKey(CNAItemDescription* item) {
  const int count = m_tabKey.nGetCount();
  if (item->nGetKeyIndice() == 0 && count > 0) {
    if (m_tabKey.Insere(item, 0) == nullptr) return _NoMemory(), FALSE;
    m_tabKey._AddRef(item);
    _RenumberKeys(1);
    return TRUE;
  }
  if (item->nGetKeyIndice() == -1) item->bSetKeyIndice(count);
  if (m_tabKey.AjouteRef(item) == nullptr) return _NoMemory(), FALSE;
  return TRUE;
}

void CNADataSourceDescription::_RenumberKeys(int first) {
  for (int i = first; i < m_tabKey.nGetCount(); ++i) m_tabKey[i]->bSetKeyIndice(i);
}

int CNADataSourceDescription::_nFind(const CRefArray<CNAItemDescription>& list, const CNAItemDescription* item) {
  for (int i = 0; i < list.nGetCount(); ++i)
    if (list[i] == item) return i;
  return -1;
}

BOOL CNADataSourceDescription::bAddItem(const wchar_t* name, const wchar_t* sourceName, const wchar_t* nameInSource,
                                        unsigned int dimension, unsigned int size, eNA_ITEMTYPE type, int physical,
                                        int keyIndex, unsigned short keyFlags, int integerPart, int decimalPart) {
  CNADriver* driver = CNADriver::s_pclDriver;
  CNAItemDescription* item = driver != nullptr ? driver->pclAllocItemDescription() : nullptr;
  if (item == nullptr) return _NoMemory(), FALSE;
  item->AddRef();
  if (physical == -1) physical = nGetNumItems();
  BOOL result = item->bInit(name, sourceName, nameInSource, dimension, size, type, static_cast<unsigned int>(physical),
                            keyIndex, keyFlags, integerPart, decimalPart);
  if (result) result = _AddItem(item);
  item->nRelease();
  return result;
}

BOOL CNADataSourceDescription::_bSetKeyType(const wchar_t* name, unsigned short flags) {
  CNAItemDescription* item = pclNAGetCorrespondingItem(name);
  if (item == nullptr) return FALSE;
  const BOOL result = _bSetKeyType(item, flags);
  item->nExternalRelease();
  return result;
}

BOOL CNADataSourceDescription::_bSetKeyType(CNAItemDescription* item, unsigned short flags) {
  if (item == nullptr) return FALSE;
  if (item->bPrimary()) return TRUE;
  // Not among the keys yet (a key index without key flags lists nothing): the next key.
  if (!item->bIsKey() || item->nGetKeyIndice() < 0) {
    item->bSetKey(nGetNumKeys(), flags);
    return _AddKey(item);
  }
  const unsigned short own = item->m_wKeyFlags;
  const unsigned short kind = nKindRank(flags) > nKindRank(own) ? (flags & kKindBits) : (own & kKindBits);
  item->m_wKeyFlags = static_cast<unsigned short>(((own | flags) & ~kKindBits) | kind);
  return TRUE;
}

BOOL CNADataSourceDescription::_bSetKeyType(int i, unsigned short flags) {
  return _bSetKeyType(pclGetItemNoRef(i), flags);
}

BOOL CNADataSourceDescription::_bAddItemComponent(CNAItemDescription* composite, const wchar_t* name) {
  if (composite == nullptr) return FALSE;
  CNAItemDescription* item = pclNAGetCorrespondingItem(name);
  if (item == nullptr) return FALSE;
  const BOOL result = composite->bAddComponent(item);
  item->nExternalRelease();
  if (!result) _NoMemory();
  return result;
}

BOOL CNADataSourceDescription::_bAddItemComponent(CNAItemDescription* composite, int i) {
  CNAItemDescription* item = pclGetItemNoRef(i);
  if (composite == nullptr || item == nullptr) return FALSE;
  if (composite->bAddComponent(item)) return TRUE;
  _NoMemory();
  return FALSE;
}

// ---------------------------------------------------------------- layout

void CNADataSourceDescription::UpdateRecordSize() {
  int64_t offset = 0, disk = 0, memory = 0, subItems = 0;
  for (int i = 0; i < m_tabItem.nGetCount(); ++i) {
    CNAItemDescription* item = m_tabItem[i];
    const int64_t total = static_cast<int64_t>(item->nGetDimension()) * item->nGetItemSize();
    // A record past the int range has no place to give: such an item stays unlaid.
    item->m_nOffset = offset <= INT_MAX ? static_cast<int32_t>(offset) : -1;
    item->m_nSubItemIndice = subItems <= INT_MAX ? static_cast<int32_t>(subItems) : -1;
    offset += total;
    subItems += item->nGetDimension();
    memory += total;
    if (!item->bIsComposedKey()) disk += total;
  }
  m_nDiskRecordSize = static_cast<int32_t>(disk <= INT_MAX ? disk : INT_MAX);
  m_nMemoryRecordSize = static_cast<int32_t>(memory <= INT_MAX ? memory : INT_MAX);
  m_nSubItems = static_cast<int32_t>(subItems <= INT_MAX ? subItems : INT_MAX);
}

// ---------------------------------------------------------------- clone

CNADataSourceDescription* CNADataSourceDescription::pclGetCloneDataSourceDescription(
    CNAItemDescription::eCLONEDESC mode) {
  CNADriver* driver = CNADriver::s_pclDriver;
  CNADataSourceDescription* clone =
      driver != nullptr ? driver->pclAllocDataSourceDescription(m_pclConnection, m_pclError) : nullptr;
  if (clone == nullptr) return _NoMemory(), nullptr;
  clone->m_csLogicalName = m_csLogicalName;
  clone->m_csDBTableName = m_csDBTableName;
  clone->m_csExtendedInfo = m_csExtendedInfo;
  clone->m_csType = m_csType;
  clone->m_csOwner = m_csOwner;
  clone->m_nDiskRecordSize = m_nDiskRecordSize;
  clone->m_nMemoryRecordSize = m_nMemoryRecordSize;
  clone->m_nSubItems = m_nSubItems;
  for (int i = 0; i < m_tabItem.nGetCount(); ++i) {
    CNAItemDescription* item = m_tabItem[i]->pclGetCloneItemDescription(clone, mode);
    if (item != nullptr) item->AddRef();
    const BOOL added = item != nullptr && clone->_AddItem(item);
    if (item != nullptr) item->nRelease();
    if (!added) {
      _NoMemory();
      delete clone;
      return nullptr;
    }
  }
  if (m_tabItem.nGetCount() > 0) {
    INAItemDescription* best = piGetBestParseItemDesc();
    CNAItemDescription* own = best != nullptr ? clone->pclNAGetCorrespondingItem(best->pszGetName()) : nullptr;
    if (own != nullptr) {
      clone->_SetBestParseItem(own);
      own->nExternalRelease();
    }
    if (best != nullptr) best->nExternalRelease();
  }
  clone->UpdateRecordSize();
  return clone;
}

// ---------------------------------------------------------------- from the database

BOOL CNADataSourceDescription::bInitDataSourceDescriptionFromDB(const wchar_t* name, int option) {
  m_csLogicalName = name;
  m_csDBTableName = name;
  m_eOrigin = NA_DESC_DATABASE;
  return _bGetDataSourceInfo(option);
}

BOOL CNADataSourceDescription::_bGetDataSourceInfo(int) { return _bImportItems() && _bImportIndex(); }

BOOL CNADataSourceDescription::_bGetQueryShowColumns(CXYStringConcat<wchar_t>*) { return FALSE; }
BOOL CNADataSourceDescription::_bCompleteServerFacts(CNAStatementSQL*) { return TRUE; }
BOOL CNADataSourceDescription::_bInitItemFromQueryShowColumns(CNAStatementSQL*) { return FALSE; }
BOOL CNADataSourceDescription::_bGetQueryShowIndex(CXYStringConcat<wchar_t>*) { return FALSE; }
BOOL CNADataSourceDescription::_bInitKeysFromQueryShowIndex(CNAStatementSQL*) { return FALSE; }

BOOL CNADataSourceDescription::_bImport(BOOL (CNADataSourceDescription::*text)(CXYStringConcat<wchar_t>*),
                                        BOOL (CNADataSourceDescription::*read)(CNAStatementSQL*)) {
  CNADriverSQL* service = CNADriver::s_pclGetDriverSQL();
  if (service == nullptr) return FALSE;
  CXYStringConcat<wchar_t> query(1024);
  if (!(this->*text)(&query)) return FALSE;
  HeldStatement st{nullptr};
  if (!service->bExecute(m_pclError, &st.p, m_pclConnection, query.pszGet(), nullptr, 0)) return FALSE;
  return st.p == nullptr || (this->*read)(st.p);
}

BOOL CNADataSourceDescription::_bImportItems() {
  if (!_bImport(&CNADataSourceDescription::_bGetQueryShowColumns,
                &CNADataSourceDescription::_bInitItemFromQueryShowColumns))
    return FALSE;
  if (nGetNumItems() > 0) return TRUE;
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_DATASOURCE, kSiteNoItem, m_pclConnection,
                             pszGetLogicalName(), nullptr, kErrNoColumn, pszGetLogicalName());
  return FALSE;
}

BOOL CNADataSourceDescription::_bImportIndex() {
  return _bImport(&CNADataSourceDescription::_bGetQueryShowIndex,
                  &CNADataSourceDescription::_bInitKeysFromQueryShowIndex);
}

// ---------------------------------------------------------------- from a statement

BOOL CNADataSourceDescription::bInitDataSourceDescriptionFromStatement(CNAStatementSQL* statement) {
  m_eOrigin = NA_DESC_STATEMENT;
  if (m_csLogicalName.nTaille() == 0) {
    // The statement's whole address: unique among the statements alive.
    const std::wstring address = std::to_wstring(reinterpret_cast<uintptr_t>(statement));
    m_csLogicalName = address.c_str();
    m_csDBTableName = address.c_str();
  }
  const BOOL result = _bInitItems(statement) && _bCompleteServerFacts(statement);
  UpdateRecordSize();
  return result;
}

BOOL CNADataSourceDescription::_bInitItems(CNAStatementSQL* statement) {
  int n = 0;
  if (statement == nullptr || !statement->bGetColumnNbr(&n, 0)) return FALSE;
  int key = 0;
  for (int i = 0; i < n; ++i) {
    const CNAColumnSQL* column = statement->pclGetNAColumnSQL(i);
    if (column == nullptr) return FALSE;
    CNAItemDescription* item = new (std::nothrow) CNAItemDescription();
    if (item == nullptr) return _NoMemory(), FALSE;
    item->AddRef();
    const wchar_t* source = column->m_csTableName.nTaille() != 0 ? column->m_csTableName.pszGet() : pszGetPhysicalName();
    const wchar_t* nameInSource =
        column->m_csColumnName.nTaille() != 0 ? column->m_csColumnName.pszGet() : column->m_csName.pszGet();
    const bool bKey = column->m_wKeyFlags != 0;
    BOOL result = item->bInit(column->m_csName.pszGet(), source, nameInSource, 1, column->m_nItemSize,
                              column->m_eItemType, static_cast<unsigned int>(i), bKey ? key : -1, column->m_wKeyFlags,
                              column->m_nPrecision, column->m_nDecimals);
    if (bKey) ++key;
    if (result) {
      item->SetDBType(column->m_csDBTypeName.pszGet(), column->m_nDBType);
      item->SetServerFacts(column->m_dwItemFacts);
      result = _AddItem(item);
    }
    item->nRelease();
    if (!result) return FALSE;
  }
  return TRUE;
}

// ---------------------------------------------------------------- from the parsed query

BOOL CNADataSourceDescription::bCompleteDescription(CSQLParserInfo* parser) {
  m_eOrigin = NA_DESC_STATEMENT;
  ISQLParserInformation* parse = parser != nullptr ? parser->piGetParserNoRef() : nullptr;
  IInfoClauseList* lists = parse != nullptr ? parse->piGetClauseList() : nullptr;
  if (lists == nullptr) return TRUE;
  lists->nRelease();
  const int singleTable = parser->nGetFichierFromNbr() < 2 ? 1 : 0;
  BOOL result = TRUE;
  int i = 0;
  for (IInfoRubrique* column = parser->piEnumRubriqueOUT(1); column != nullptr && result;
       column = parser->piEnumRubriqueOUT(0), ++i)
    result = _bCompleteItemDescription(parser, singleTable, column, i);
  bool bFirst = true;
  for (IInfoOrderBy* entry = parser->piEnumRubriqueClauseOrder(1); entry != nullptr;
       entry = parser->piEnumRubriqueClauseOrder(0)) {
    // An entry that names no item (an expression outside the SELECT list, or an item not made)
    // orders nothing here.
    CNAItemDescription* item = pclGetItemNoRef(entry->nGetIndex());
    if (item != nullptr) {
      if (bFirst) _SetBestParseItem(item);
      item->SetSensTri(entry->nGetDirection() == 0 ? NA_SENS_ASCENDANT : NA_SENS_DESCENDANT);
    }
    bFirst = false;
  }
  UpdateRecordSize();
  return result;
}

BOOL CNADataSourceDescription::_bCompleteItemDescription(CSQLParserInfo* parser, int singleTable,
                                                         IInfoRubrique* column, int i) {
  const int calculation = column->nGetCalculKind();
  INAItemDescription* host = calculation == 0 ? parser->piGetItemDescription(column) : nullptr;
  BOOL result = TRUE;
  if (i < nGetNumItems()) {
    CNAItemDescription* item = m_tabItem[i];
    const bool bWasMemo = item->bMemo();
    const int keyPlace = _nFind(m_tabKey, item);
    item->m_nCalculation = calculation;
    // A key that stays one keeps its place, so its key index stays its place in the keys.
    if (host != nullptr)
      result = item->bCompleteDescription(host, singleTable, keyPlace >= 0 ? keyPlace : nGetNumKeys());
    else if (calculation == 1)
      result = item->bCompleteDescriptionCalcul(column);
    // A plain column has the type the host gives its source column; a calculated one the type
    // the parse worked out, which the server's result may correct.
    item->m_bQueryTyped = host == nullptr && calculation == 1;
    if (item->bIsKey() && keyPlace < 0) {
      if (m_tabKey.AjouteRef(item) == nullptr) result = FALSE, _NoMemory();
    } else if (!item->bIsKey() && keyPlace >= 0) {
      m_tabKey.SupprimeRef(keyPlace);
      _RenumberKeys(keyPlace);
    }
    if (item->bMemo() && !bWasMemo) {
      if (m_tabMemo.AjouteRef(item) == nullptr) result = FALSE, _NoMemory();
    } else if (!item->bMemo() && bWasMemo) {
      m_tabMemo.SupprimeRef(_nFind(m_tabMemo, item));
    }
    if (result) _bCompleteItemDescription(item, parser, column);
  } else if (host == nullptr) {
    CNADriver* driver = CNADriver::s_pclDriver;
    CNAItemDescription* item = driver != nullptr ? driver->pclAllocItemDescription() : nullptr;
    if (item == nullptr) return _NoMemory(), FALSE;
    item->AddRef();
    result = item->bInit(column->pszGetName(), L"", L"", 1, static_cast<unsigned int>(column->nGetSize()),
                         g_eGetNAItemType(column->nGetHostType()), static_cast<unsigned int>(nGetNumItems()), -1, 0,
                         0, 0);
    if (result) result = _AddItem(item);
    item->m_nCalculation = calculation;
    item->m_bQueryTyped = true;
    item->nRelease();
  } else if (!host->bIsComposedKey()) {
    result = _bAjouteItemDescription(host, parser, column, singleTable);
  }
  if (host != nullptr) host->nExternalRelease();
  return result;
}

BOOL CNADataSourceDescription::_bAjouteItemDescription(INAItemDescription* host, CSQLParserInfo* parser,
                                                       IInfoRubrique* column, int singleTable) {
  CNADriver* driver = CNADriver::s_pclDriver;
  CNAItemDescription* item = driver != nullptr ? driver->pclAllocItemDescription() : nullptr;
  if (item == nullptr) return _NoMemory(), FALSE;
  item->AddRef();
  unsigned short flags = 0;
  int keyIndex = -1;
  if (host->bIsKey()) {
    if (singleTable && host->bPrimary()) flags |= NA_KEY_PRIMARY;
    if (host->bUnique()) flags |= singleTable ? NA_KEY_UNIQUE : NA_KEY_DUPLICATES;
    if (host->bDuplicates()) flags |= NA_KEY_DUPLICATES;
    if (host->bIsComposedKey()) flags |= NA_KEY_COMPOSED;
    if (host->bGetAscendant(-1)) flags |= NA_KEY_ASCENDANT;
    if (host->bGetDescendant(-1)) flags |= NA_KEY_DESCENDANT;
    if (host->bGetIgnoreCase(-1)) flags |= NA_KEY_IGNORECASE;
    if (host->bGetIgnorePunctuation(-1)) flags |= NA_KEY_IGNOREPUNCTUATION;
    if (host->bGetIgnoreAccent(-1)) flags |= NA_KEY_IGNOREACCENT;
    keyIndex = nGetNumKeys();
  }
  const wchar_t* name = *Text(column->pszGetName()) != 0 ? column->pszGetName() : host->pszGetName();
  BOOL result = item->bInit(name, host->pszGetSourceName(), host->pszGetNameInSource(), host->nGetDimension(),
                            host->nGetItemSize(), host->eNAGetItemType(), static_cast<unsigned int>(nGetNumItems()),
                            keyIndex, flags, host->nGetIntegerPart(), host->nGetDecimalPart());
  if (result) {
    _bCompleteItemDescription(item, parser, column);
    result = _AddItem(item);
  }
  item->nRelease();
  return result;
}

BOOL CNADataSourceDescription::_bCompleteItemDescription(CNAItemDescription* item, CSQLParserInfo* parser,
                                                         IInfoRubrique* column) {
  item->m_nCalculation = column->nGetCalculKind();
  if (item->m_nCalculation != 0) return TRUE;
  const wchar_t* alias = column->pszGetSourceTableAlias();
  const wchar_t* table = column->pszGetSourceTableName();
  if (!bSameName(alias, table)) {
    item->m_csPhysicalSourceTable = alias;
    return TRUE;
  }
  const wchar_t* physical = parser->pszGetPhysicalName(table);
  if (physical != nullptr && *physical != 0) {
    item->m_csPhysicalSourceTable = physical;
    return TRUE;
  }
  if (INADataSourceDescription* desc = parser->piGetNADataSourceDescription(table)) {
    item->m_csPhysicalSourceTable = desc->pszGetDBTableName();
    desc->nExternalRelease();
  }
  return TRUE;
}

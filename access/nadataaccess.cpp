#include "access/nadataaccess.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <new>

#include "access/nadatasourcedescription.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "access/narecordid.h"
#include "access/naidauto.h"
#include "access/natable.h"
#include "access/natablecache.h"
#include "driver/inadatasourcedescription.h"
#include "driver/nacontext.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "driver/naregistrywalk.h"
#include "sql/nacolumn.h"
#include "sql/nacolumnlist.h"
#include "sql/naconvertvariant.h"
#include "sql/nafilter.h"
#include "sql/nainsertform.h"
#include "sql/naitemdescription.h"
#include "sql/nakjrecord.h"
#include "sql/nastatement.h"
#include "sql/sqlparserinfo.h"

namespace {

constexpr unsigned int kErrNotSupported = 8, kErrMissingTable = 15;
constexpr unsigned int kMsgMissingTable = 28541;
constexpr eNA_ERRORTYPE kTypeNotSupported = static_cast<eNA_ERRORTYPE>(7);
enum : int { kSiteNotSupported = 1, kSiteMissingTable = 2 };
// The writes of one row whose former forms a saved position may still hold.
constexpr size_t kWrittenChain = 16;

// Record saves are kept with a grow step of 50 rows.
CNARecordCachePosition* NewRecordSaveCache() {
  CNARecordCachePosition* cache = new (std::nothrow) CNARecordCachePosition();
  if (cache == nullptr) return nullptr;
  cache->SetGrowStep(50, 0);
  cache->AddRef();
  return cache;
}

// A query's binary memo read into a host text is a text memo of the host's width.
void MatchQueryMemo(const INAItemDescription* host, CNAItemDescription* imported) {
  if (imported->eNAGetItemType() != NA_IT_MEMOBINAIRE) return;
  const eNA_ITEMTYPE type = host->eNAGetItemType();
  if (type == NA_IT_TEXTE || type == NA_IT_MEMOTEXTE)
    imported->bChangeTypeMemo(NA_IT_MEMOTEXTE);
  else if (type == NA_IT_UNICODE || type == NA_IT_MEMOUNICODE)
    imported->bChangeTypeMemo(NA_IT_MEMOUNICODE);
}

template <typename T>
void ReleaseInterf(T** pp) {
  if (*pp == nullptr) return;
  T* p = *pp;
  *pp = nullptr;
  p->nRelease();
}

}  // namespace

unsigned int CNADataAccess::ms_nIndexNameCounter = 0;

CNADataAccess::CNADataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx, CNAError* error)
    : m_pclError(error), m_pclConnection(cnx), m_tabStatement(7) {
  // The virtual table is still the generic class's here.
  m_pfnGenericLitxxx = _pfnLitxxx();
  m_pfnGenericLockUnlock = _pfnLockUnlock();
  m_pclRecordSave = NewRecordSaveCache();
  m_pclRecordSave2 = NewRecordSaveCache();
  if (m_pclConnection != nullptr) m_pclConnection->AddRef();
  CNAError::s_Hold(m_pclError);
  if (desc == nullptr) return;
  m_piDescription = desc->ExternalAddRef();
  if (m_pclConnection != nullptr)
    m_pclConnection->bFormatTableName(m_pclError, desc->pszGetDBTableName(), &m_csFormatedTableName);
  CNAInsertForm::NoteNameMade();
}

// Reset first: its statements and current record hand their record saves back to the caches,
// which must still be there.
CNADataAccess::~CNADataAccess() {
  CNATable::g_ForgetDataAccess(this);
  _ResetDataAccess();
  CNADriver::g_nReleaseConnection(m_pclConnection);
  m_pclConnection = nullptr;
  CNAError::s_Drop(&m_pclError);
  m_tabStatement.RemoveAll();
  ReleaseInterf(&m_pclRecordSave);
  ReleaseInterf(&m_pclRecordSave2);
}

// ---------------------------------------------------------------- reset and close

void CNADataAccess::_ResetDataAccess() {
  _Close();
  ReleaseInterf(&m_pclLatestFilter);
  _ResetRecordCache();
  // The query may outlive the access: it lets go of the record first.
  if (m_pclSourceQuery != nullptr) m_pclSourceQuery->SetRecord(nullptr);
  ReleaseInterf(&m_pclSourceQuery);
  ReleaseInterf(&m_pclCurrentRecord);
  m_clExactItem.Drop();
  if (m_piDescription != nullptr) m_piDescription->nExternalRelease();
  if (m_piDescriptionForKJ != nullptr) m_piDescriptionForKJ->nExternalRelease();
  if (m_pclImportedDesc != nullptr) m_pclImportedDesc->nExternalRelease();
  m_piDescription = m_piDescriptionForKJ = nullptr;
  m_pclImportedDesc = nullptr;
}

void CNADataAccess::_ResetRecordCache() {
  _DropSaveUndo(0);
  if (m_pclRecordSave != nullptr) m_pclRecordSave->SupprimeTout();
  if (m_pclRecordSave2 != nullptr) m_pclRecordSave2->SupprimeTout();
  // Its row is gone with the others.
  m_nRecordSaveID = -1;
  m_nWrittenSaveID = -1;
  m_nWrittenRowID = -1;
  _ForgetWrittenRow();
}

bool CNADataAccess::_bOnWrittenRow() const {
  if (m_nWrittenSaveID == -1 || m_pclRecordSave == nullptr || m_pclCurrentRecord == nullptr) return false;
  const CNARecordValue* original = m_pclCurrentRecord->pclGetOriginalValueNoRef();
  return original != nullptr && m_pclRecordSave->nGetRefCount(m_nWrittenSaveID) > 0 &&
         m_pclRecordSave->bEquals(m_nWrittenSaveID, original, 1);
}

void CNADataAccess::_DropWrittenSave() {
  if (m_nWrittenSaveID != -1) nReleaseRecordSave(m_nWrittenSaveID);
  m_nWrittenSaveID = -1;
}

void CNADataAccess::_NoteWrittenRow(CNARecordValue* before) {
  if (m_pclRecordSave == nullptr || m_pclCurrentRecord == nullptr || before == nullptr) return;
  // A write of the row as the last one left it goes on the same chain.
  const bool chained = m_nWrittenRowID != -1 && m_pclRecordSave->bEquals(m_nWrittenRowID, before, 1);
  if (!chained || m_tabWrittenBefore.size() >= kWrittenChain) _ForgetWrittenRow();
  // before is the modify's own clone, changed by nobody after the write: it is held, not copied.
  try {
    m_tabWrittenBefore.push_back({before, nNextResultSerial()});
  } catch (...) {
    return _ForgetWrittenRow();
  }
  before->AddRef();
  const int after = nKeepCurrentRecordSave();
  if (after != -1) AddRefRecordSave(after);
  if (m_nWrittenRowID != -1) nReleaseRecordSave(m_nWrittenRowID);
  m_nWrittenRowID = after;
  if (after == -1) _ForgetWrittenRow();
}

void CNADataAccess::_ForgetWrittenRow() {
  for (const STWrittenBefore& before : m_tabWrittenBefore) before.row->nRelease();
  m_tabWrittenBefore.clear();
  if (m_nWrittenRowID != -1 && m_pclRecordSave != nullptr) nReleaseRecordSave(m_nWrittenRowID);
  m_nWrittenRowID = -1;
}

int CNADataAccess::_nWrittenRowOf(int save, unsigned int readSince) const {
  if (save < 0 || m_nWrittenRowID == -1 || m_pclRecordSave == nullptr) return -1;
  for (const STWrittenBefore& before : m_tabWrittenBefore)
    if (readSince < before.serial && m_pclRecordSave->bEquals(save, before.row, 1)) return m_nWrittenRowID;
  return -1;
}

void CNADataAccess::_Close() {
  // Positions hold their statements: they go with them.
  _bDeleteAllSavedPosition();
  if (m_pclTableCache != nullptr) {
    CNATableCache* cache = m_pclTableCache;
    m_pclTableCache = nullptr;
    cache->dwRelease();
  }
  _CloseAllStatement();
  ReleaseInterf(&m_pclExecuteStatement);
  for (CNACommand*& kept : m_tabSelectCommand) ReleaseInterf(&kept);
  m_bOpened = 0;
}

void CNADataAccess::_CloseAllStatement() {
  m_pclLastStatement = nullptr;
  m_tabStatement.RemoveAll();
  ReleaseInterf(&m_pclIDAuto);
}

BOOL CNADataAccess::bHFerme() {
  _Close();
  return TRUE;
}

// ---------------------------------------------------------------- names and state

DWORD CNADataAccess::dwGetContextID() const { return m_pclContext != nullptr ? m_pclContext->dwGetContextID() : 0; }

BOOL CNADataAccess::bHMode(_eNA_HMODE mode) {
  m_eHMode = mode;
  return TRUE;
}

BOOL CNADataAccess::bHVersion(int* version) {
  if (version != nullptr) *version = 0;
  return TRUE;
}

const wchar_t* CNADataAccess::pszGetLogicalName() const {
  return m_piDescription != nullptr ? m_piDescription->pszGetLogicalName() : L"";
}

const wchar_t* CNADataAccess::pszGetDBTableName() const {
  return m_piDescription != nullptr ? m_piDescription->pszGetDBTableName() : L"";
}

void CNADataAccess::_SetAliasNameFromContext() {
  const wchar_t* next = m_pclContext != nullptr ? m_pclContext->pszGetNextLogicalName() : L"";
  m_csAliasName = *next != 0 ? next : pszGetLogicalName();
}

INADataSourceDescription* CNADataAccess::piGetDataSourceDescription() const {
  return m_piDescription != nullptr ? m_piDescription->ExternalAddRef() : nullptr;
}

INADataSourceDescription* CNADataAccess::piGetDataSourceDescriptionForKJ() {
  if (m_piDescription == nullptr) return nullptr;
  if (!m_bSourceIsQuery) return m_piDescription->ExternalAddRef();
  if (m_piDescriptionForKJ == nullptr) {
    auto* host = dynamic_cast<CNADataSourceDescription*>(m_piDescription);
    CNADataSourceDescription* clone =
        host != nullptr ? host->pclGetCloneDataSourceDescription(CNAItemDescription::NA_CLONE_KEYDUPLICATES) : nullptr;
    if (clone == nullptr) return nullptr;
    m_piDescriptionForKJ = clone->ExternalAddRef();
  }
  return m_piDescriptionForKJ->ExternalAddRef();
}

INAItemDescription* CNADataAccess::pclGetIdAutoItem() const {
  const int keys = m_piDescription != nullptr ? m_piDescription->nGetNumKeys() : 0;
  for (int i = 0; i < keys; ++i) {
    INAItemDescription* key = m_piDescription->piNAGetKey(static_cast<unsigned int>(i));
    if (key == nullptr) continue;
    const eNA_ITEMTYPE type = key->eNAGetItemType();
    if (type == NA_IT_IDAUTO4 || type == NA_IT_IDAUTO) return key;
    key->nExternalRelease();
  }
  return nullptr;
}

BOOL CNADataAccess::bSupportROWID() const {
  const CNARecordValue* value = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetCurrentValueNoRef() : nullptr;
  const CNARecordId* id = value != nullptr ? value->pclGetRecordIdNoRef() : nullptr;
  return id != nullptr && id->eGetRecordIdType() == NA_RECORDID_ROWID ? TRUE : FALSE;
}

CNADataSourceDescription* CNADataAccess::pclGetImportedDataSourceDesc() const {
  if (m_pclImportedDesc != nullptr) m_pclImportedDesc->ExternalAddRef();
  return m_pclImportedDesc;
}

CNARecord* CNADataAccess::pclGetCurrentRecord() const {
  if (m_pclCurrentRecord != nullptr) m_pclCurrentRecord->AddRef();
  return m_pclCurrentRecord;
}

BOOL CNADataAccess::bGetRecord(CNAKJRecord** out) {
  CNAKJRecord* record = m_bOpened && m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetNAKJRecord() : nullptr;
  if (out != nullptr) *out = record;
  if (record == nullptr) return FALSE;
  record->AddRef();
  return TRUE;
}

BOOL CNADataAccess::bSetRecord(CNAKJRecord* record) {
  const BOOL ok = m_bOpened && m_pclCurrentRecord != nullptr && m_pclCurrentRecord->bSetNAKJRecord(record);
  if (record != nullptr) record->nRelease();
  return ok;
}

void CNADataAccess::_NoMemory() { CNAError::g_RaiseNoMemory(m_pclError, m_pclConnection); }

void CNADataAccess::_RaiseNotSupported() {
  CNAError::g_RaiseUserError(m_pclError, kTypeNotSupported, NA_SRC_DATAACCESS, kSiteNotSupported, m_pclConnection,
                             pszGetLogicalName(), nullptr, kErrNotSupported, pszGetLogicalName());
}

// ---------------------------------------------------------------- factories

CNAStatement* CNADataAccess::_pclAllocStatement(CNADataAccess* access, CNAError* error) {
  CNADriver* driver = CNADriver::s_pclDriver;
  return driver != nullptr ? driver->pclAllocStatement(access, m_pclConnection, error) : nullptr;
}

CNADataSourceDescription* CNADataAccess::_pclAllocDataSource(CNAConnectionDescription* cnx, CNAError* error) {
  CNADriver* driver = CNADriver::s_pclDriver;
  return driver != nullptr ? driver->pclAllocDataSourceDescription(cnx, error) : nullptr;
}

CNARecord* CNADataAccess::_pclAllocRecord(CNAError* error) { return new (std::nothrow) CNARecord(error, this); }

CNAIDAuto* CNADataAccess::_pclAllocIDAuto() {
  CNADriver* driver = CNADriver::s_pclDriver;
  return driver != nullptr ? driver->pclAllocIDAuto() : nullptr;
}

CNACommand* CNADataAccess::pclAllocCommand(CNAError*) const {
  CNADriver* driver = CNADriver::s_pclDriver;
  CNACommand* command = driver != nullptr ? driver->pclAllocCommand(m_pclError, m_pclConnection) : nullptr;
  if (command == nullptr) CNAError::g_RaiseNoMemory(m_pclError, m_pclConnection);
  return command;
}

CNACommand* CNADataAccess::_pclSelectCommand(bool recycle) {
  CNACommand** room = nullptr;
  for (CNACommand*& kept : m_tabSelectCommand) {
    if (kept == nullptr) {
      if (room == nullptr) room = &kept;
    } else if (kept->nGetRefCount() == 1) {
      if (recycle)
        kept->Recycle();
      else
        kept->OweRecycle();
      return kept;
    }
  }
  CNACommand* command = pclAllocCommand(m_pclError);
  if (command != nullptr && room != nullptr) {
    command->AddRef();
    *room = command;
  }
  return command;
}

bool CNADataAccess::_bOwnSelectCommand(const CNACommand* command) const {
  for (const CNACommand* kept : m_tabSelectCommand)
    if (kept != nullptr && kept == command) return true;
  return false;
}

CNATableCache* CNADataAccess::_AllocTableCache() { return new (std::nothrow) CNATableCache(m_pclError, this); }

// ---------------------------------------------------------------- statements

CNAStatement* CNADataAccess::_pclPeekStatement(const wchar_t* item) {
  CNAStatement* stmt = nullptr;
  return m_tabStatement.bPeekValue(item != nullptr ? item : L"", &stmt) ? stmt : nullptr;
}

CNAStatement* CNADataAccess::_pclInitStatement(const wchar_t* item) {
  CNAStatement* stmt = _pclAllocStatement(this, m_pclError);
  if (stmt == nullptr) return nullptr;
  stmt->AddRef();
  if (!m_tabStatement.bAddValue(item != nullptr ? item : L"", stmt)) {
    stmt->nRelease();
    return nullptr;
  }
  stmt->SetParseItem(item != nullptr ? item : L"");
  return stmt;
}

CNAStatement* CNADataAccess::_pclGetWriteStatement() {
  CNAStatement* stmt = _pclFindStatement(L"");
  return stmt != nullptr ? stmt : _pclInitStatement(L"");
}

// The rows cached before the end may be gone on the server (a roll-back): the table cache goes
// with them, and the statements read again.
void CNADataAccess::SetTransactionTermined() {
  // A roll-back may have given the written row back: the place's copy tells it again.
  _DropWrittenSave();
  _ForgetWrittenRow();
  _UndoSaves();
  _FreeTableCache();
  CNARegistryWalk<CNAStatement*> walk(&m_tabStatement);
  CNAStatement* stmt = nullptr;
  while (walk.bNext(&stmt)) {
    stmt->AddRef();
    _SetTransactionTermined(stmt);
    stmt->nRelease();
  }
}

void CNADataAccess::TransactionCommitted() {
  const int open = m_pclConnection != nullptr ? m_pclConnection->nOpenTransactions() : 0;
  if (open == 0) {
    _DropSaveUndo(0);
    return;
  }
  // A nested commit hands its writes to the transaction around it.
  for (STSaveUndo& undo : m_tabSaveUndo) undo.depth = std::min(undo.depth, open);
}

CNADataAccess::STSaveBefore CNADataAccess::_stSaveBefore() const {
  STSaveBefore before;
  // Outside a transaction nothing is undone: no search of the kept copies for every write.
  if (m_pclRecordSave == nullptr || m_pclCurrentRecord == nullptr || m_pclConnection == nullptr ||
      m_pclConnection->nOpenTransactions() == 0)
    return before;
  before.value = m_pclCurrentRecord->pclGetOriginalValueNoRef();
  before.row = m_pclRecordSave->nGetRecordIndice(before.value);
  if (before.row >= 0) before.state = m_pclRecordSave->eGetRecordState(before.row);
  return before;
}

void CNADataAccess::_KeepSaveUndo(const STSaveBefore& before, const CNARecordValue* after) {
  const int depth = m_pclConnection != nullptr ? m_pclConnection->nOpenTransactions() : 0;
  if (before.row < 0 || depth == 0 || before.value == nullptr) return;
  STSaveUndo undo{before.row, depth, before.state, before.value->pclGetClone(NA_COPY_ALL), nullptr};
  if (undo.before != nullptr) undo.before->AddRef();
  if (after != nullptr) {
    undo.after = after->pclGetClone(NA_COPY_ALL);
    if (undo.after != nullptr) undo.after->AddRef();
  }
  try {
    m_tabSaveUndo.push_back(undo);
  } catch (...) {
    // Without memory the copy keeps the write, as it would outside a transaction.
    ReleaseInterf(&undo.before);
    ReleaseInterf(&undo.after);
  }
}

void CNADataAccess::_UndoSaves() {
  const int open = m_pclConnection != nullptr ? m_pclConnection->nOpenTransactions() : 0;
  size_t kept = m_tabSaveUndo.size();
  while (kept > 0 && m_tabSaveUndo[kept - 1].depth > open) --kept;
  // The latest write first, so that a row written twice ends as it was before the first.
  for (size_t i = m_tabSaveUndo.size(); i > kept; --i) {
    const STSaveUndo& undo = m_tabSaveUndo[i - 1];
    // A row freed and kept again for another value since the write is not this write's.
    CNARecordCachePosition* saves = m_pclRecordSave;
    const CNARecordValue* now = undo.after != nullptr ? undo.after : undo.before;
    if (saves == nullptr || undo.before == nullptr || saves->nGetRefCount(undo.row) <= 0 ||
        !saves->bEquals(undo.row, now, 1))
      continue;
    if (undo.after != nullptr)
      saves->Update(static_cast<unsigned int>(undo.row), undo.before);
    saves->SetRecordState(undo.row, undo.state);
  }
  _DropSaveUndo(kept);
}

void CNADataAccess::_DropSaveUndo(size_t from) {
  for (size_t i = from; i < m_tabSaveUndo.size(); ++i) {
    ReleaseInterf(&m_tabSaveUndo[i].before);
    ReleaseInterf(&m_tabSaveUndo[i].after);
  }
  m_tabSaveUndo.resize(std::min(from, m_tabSaveUndo.size()));
}

// ---------------------------------------------------------------- table cache

void CNADataAccess::_FreeTableCache() {
  if (m_pclTableCache == nullptr) return;
  // Browses read through indexes of the cache first let them go (and are put back later).
  CNARegistryWalk<CNAStatement*> walk(&m_tabStatement);
  CNAStatement* stmt = nullptr;
  while (walk.bNext(&stmt)) stmt->DestroyCacheIndex();
  CNATableCache* cache = m_pclTableCache;
  m_pclTableCache = nullptr;
  cache->dwRelease();
}

BOOL CNADataAccess::bFreeCache() {
  _FreeTableCache();
  return TRUE;
}

BOOL CNADataAccess::_bCreateNewTableCache(CNAStatement*) {
  _FreeTableCache();
  m_pclTableCache = _AllocTableCache();
  if (m_pclTableCache == nullptr) {
    _NoMemory();
    return FALSE;
  }
  m_pclTableCache->AddRef();
  return TRUE;
}

void CNADataAccess::ClosingStatement(CNAStatement* stmt) {
  if (m_pclTableCache != nullptr && m_pclTableCache->bIsStatementParse(stmt)) _FreeTableCache();
}

// ---------------------------------------------------------------- opening

BOOL CNADataAccess::bHOuvre(eNA_ACCESS, const wchar_t*) {
  _SetAliasNameFromContext();
  if (m_bOpened) return TRUE;
  if (bCheckCompatibilityWithDatabase() && _bInitCurrentRecord()) {
    m_bOpened = 1;
    return TRUE;
  }
  m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
  return FALSE;
}

BOOL CNADataAccess::bCheckCompatibilityWithDatabase() {
  if (m_nDBCompatibility == 1) return TRUE;
  int exists = 0, compatible = 0;
  m_nDBCompatibility = bFichierExiste(&exists, &compatible) && exists && compatible ? 1 : 0;
  return m_nDBCompatibility;
}

BOOL CNADataAccess::bFichierExiste(int* exists, int* compatible) {
  CNADataSourceDescription* desc = pclGetDataSourceDescriptionFromDB(pszGetDBTableName(), 1);
  if (desc != nullptr) {
    _SetImportedDataSourceDesc(desc);
    if (exists != nullptr) *exists = 1;
    if (compatible != nullptr) *compatible = desc->bAreDescriptionCompatible(m_piDescription) ? 1 : 0;
    desc->nRelease();
    return TRUE;
  }
  if (exists != nullptr) *exists = 0;
  if (compatible != nullptr) *compatible = 0;
  if (m_pclError->eGetErrorLevel() == NAERRORLEVEL_NONE)
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_DATAACCESS, kSiteMissingTable,
                               m_pclConnection, pszGetLogicalName(), nullptr, kErrMissingTable, pszGetLogicalName(),
                               L"");
  else
    m_pclError->AddUserMessageFirst(kMsgMissingTable, pszGetLogicalName(), L"");
  return FALSE;
}

CNADataSourceDescription* CNADataAccess::pclGetDataSourceDescriptionFromDB(const wchar_t* dbTableName, int option) {
  if (m_pclConnection == nullptr || !m_pclConnection->bOpen(m_pclError)) return nullptr;
  CNADataSourceDescription* desc = _pclAllocDataSource(m_pclConnection, m_pclError);
  if (desc == nullptr) {
    _NoMemory();
    return nullptr;
  }
  desc->AddRef();
  if (desc->bInitDataSourceDescriptionFromDB(dbTableName, option)) return desc;
  desc->nRelease();
  return nullptr;
}

BOOL CNADataAccess::bHCreationSiInexistant(eNA_ACCESS access, const wchar_t* password) {
  _SetAliasNameFromContext();
  int exists = 0, compatible = 0;
  if (bFichierExiste(&exists, &compatible)) {
    m_nDBCompatibility = exists && compatible ? 1 : 0;
    if (exists) {
      // An existing table is only ever opened: one that does not match fails here, untouched.
      if (bHOuvre(access, password)) return TRUE;
      m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
      return FALSE;
    }
  } else {
    m_nDBCompatibility = 0;
  }
  m_pclError->Reset();
  if (bHCreation(password, 0)) return TRUE;
  m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
  return FALSE;
}

BOOL CNADataAccess::bHCreation(const wchar_t*, int dropFirst) {
  _SetAliasNameFromContext();
  if (_bHCreation(dropFirst, 1) && _bInitCurrentRecord()) {
    m_bOpened = 1;
    return TRUE;
  }
  m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
  return FALSE;
}

BOOL CNADataAccess::bSupprimeFichier() {
  _SetAliasNameFromContext();
  return _bClosedAfter(_bHCreation(1, 0));
}

BOOL CNADataAccess::bSupprimeTout() {
  _SetAliasNameFromContext();
  return _bClosedAfter(_bSupprimeTout());
}

BOOL CNADataAccess::_bClosedAfter(BOOL deleted) {
  if (deleted) {
    m_bOpened = 0;
    return TRUE;
  }
  m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
  return FALSE;
}

// ---------------------------------------------------------------- current record

BOOL CNADataAccess::_bInitCurrentRecord() {
  if (m_pclCurrentRecord == nullptr) {
    CNARecord* record = _pclAllocRecord(m_pclError);
    if (record == nullptr) {
      _NoMemory();
      return FALSE;
    }
    record->AddRef();
    if (!record->bInitRecord(m_piDescription, m_pclImportedDesc, m_pclConnection)) {
      record->nRelease();
      return FALSE;
    }
    m_pclCurrentRecord = record;
  } else if (m_pclImportedDesc != nullptr && m_pclCurrentRecord->nGetNbColumn() > 0 &&
             m_pclCurrentRecord->pclGetColumnNoRef(0)->piGetImportedItemDescNoRef() == nullptr) {
    _bInitCurrentRecord_SetImportedItemDesc();
  }
  if (m_pclSourceQuery != nullptr) {
    m_pclSourceQuery->SetRecord(m_pclCurrentRecord);
    if (!bRequeteSansCorrection()) _InitAliasFichierColonne(m_piDescription);
  }
  return TRUE;
}

void CNADataAccess::_InitAliasFichierColonne(INADataSourceDescription* desc) {
  auto* own = dynamic_cast<CNADataSourceDescription*>(desc);
  if (own == nullptr || m_pclCurrentRecord == nullptr) return;
  for (int i = 0; i < m_pclCurrentRecord->nGetNbColumn() && i < own->nGetNumItems(); ++i) {
    const CNAItemDescription* item = own->pclGetItemNoRef(i);
    const wchar_t* source = item != nullptr ? item->pszGetPhysicalSourceTable() : nullptr;
    if (source == nullptr || *source == 0) continue;
    // The host's physical name of an alias is its table's, which the query's FROM has renamed.
    const wchar_t* physical =
        m_pclSourceQuery->bIsTableAlias(source, nullptr) ? nullptr : m_pclSourceQuery->pszGetPhysicalName(source);
    const CTString alias(physical != nullptr ? physical : source);
    CTString formatted;
    if (m_pclConnection == nullptr || !m_pclConnection->bFormatTableName(m_pclError, alias.pszGet(), &formatted))
      formatted = alias;
    m_pclCurrentRecord->pclGetColumnNoRef(i)->SetAliasNomTable(alias.pszGet(), formatted.pszGet());
  }
}

BOOL CNADataAccess::_bInitCurrentRecord_SetImportedItemDesc() {
  for (int i = 0; i < m_pclCurrentRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(i);
    INAItemDescription* item = column->piGetItemNoRef();
    if (item == nullptr || item->bIsComposedKey()) continue;
    CNAItemDescription* imported = m_pclImportedDesc->pclNAGetItem(item->pszGetName(), 3);
    if (imported == nullptr) continue;
    const BOOL ok = column->bSetImportedItemDesc(imported);
    imported->nExternalRelease();
    if (!ok) return FALSE;
  }
  return TRUE;
}

void CNADataAccess::_SetImportedDataSourceDesc(CNADataSourceDescription* desc) {
  // Items may be retyped in place below.
  m_clExactItem.Drop();
  if (desc != nullptr) desc->ExternalAddRef();
  if (m_pclImportedDesc != nullptr) m_pclImportedDesc->nExternalRelease();
  m_pclImportedDesc = desc;
  if (desc == nullptr) return;
  const bool bNoHost = m_piDescription == nullptr || m_piDescription == static_cast<INADataSourceDescription*>(desc);
  bool typesChanged = false;
  for (int i = 0; i < desc->nGetNumItems(); ++i) {
    CNAItemDescription* imported = desc->pclGetItemNoRef(i);
    if (imported == nullptr) continue;
    if (bNoHost) {
      if (!imported->bUpdatable()) break;
      continue;
    }
    INAItemDescription* host = m_piDescription->piNAGetItem(imported->pszGetName());
    if (host == nullptr && m_bSourceIsQuery) host = _piRenameQueryItem(i, imported->pszGetName());
    if (host == nullptr) continue;
    if (!imported->bUpdatable()) host->SetUpdatable(0);
    if (m_bSourceIsQuery) {
      if (_bAdoptResultType(host, imported)) typesChanged = true;
      MatchQueryMemo(host, imported);
    }
    host->nExternalRelease();
  }
  if (m_pclCurrentRecord == nullptr) return;
  if (typesChanged) _bUpdateChangedTypeInCurrentRecord();
  // A record paired with a former description (a table read again, or dropped and made anew)
  // takes the new one's items.
  _bInitCurrentRecord_SetImportedItemDesc();
  _bInitCurrentRecord();
}

bool CNADataAccess::_bAdoptResultType(INAItemDescription* host, CNAItemDescription* imported) {
  // Only an item the parsed query typed is the driver's to retype; the host's own keep theirs.
  auto* own = dynamic_cast<CNAItemDescription*>(host);
  if (own == nullptr || !own->bQueryTyped() || own->bMemo() != imported->bMemo()) return false;
  if (!own->bTypeMatch(imported, 1, 1)) {
    own->bChangeType(imported, 0);
    return true;
  }
  return !own->bTypeMatch(imported, 0, 1);
}

BOOL CNADataAccess::_bUpdateChangedTypeInCurrentRecord() {
  auto* host = dynamic_cast<CNADataSourceDescription*>(m_piDescription);
  if (host != nullptr) host->UpdateRecordSize();
  // The host's layout is made again from the new types when next asked.
  if (m_piDescriptionForKJ != nullptr) m_piDescriptionForKJ->nExternalRelease();
  m_piDescriptionForKJ = nullptr;
  BOOL ok = m_pclCurrentRecord->bUpdateChangedTypeInCurrentRecord(m_piDescription);
  // Saved records are of the former layout.
  _ResetRecordCache();
  CNARegistryWalk<CNAStatement*> walk(&m_tabStatement);
  CNAStatement* each = nullptr;
  while (ok && walk.bNext(&each)) ok = each->bUpdateChangedTypeInCurrentRecord();
  return ok;
}

INAItemDescription* CNADataAccess::_piRenameQueryItem(int i, const wchar_t* name) {
  if (i >= m_piDescription->nGetNumItems()) return nullptr;
  INAItemDescription* host = m_piDescription->piNAGetItem(static_cast<unsigned int>(i));
  auto* own = dynamic_cast<CNAItemDescription*>(host);
  if (own == nullptr) {
    // The host's own items keep the names it gave them.
    if (host != nullptr) host->nExternalRelease();
    return nullptr;
  }
  own->bSetName(name);
  CNAColumn* column = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetColumnNoRef(i) : nullptr;
  if (column != nullptr) column->bFormatName();
  return host;
}

// ---------------------------------------------------------------- record saves

int CNADataAccess::_nKeepRecordSave(const CNARecordValue* value) {
  if (m_pclRecordSave == nullptr || value == nullptr) return -1;
  return m_pclRecordSave->nKeepRecordSave(value);
}

int CNADataAccess::nKeepCurrentRecordSave() {
  return _nKeepRecordSave(m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetCurrentValueNoRef() : nullptr);
}

int CNADataAccess::nKeepOriginalRecordSave(CNAStatement* stmt) {
  if (stmt != nullptr) return _nKeepRecordSave(stmt->pclGetStmtOriginalRecord());
  return _nKeepRecordSave(m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetOriginalValueNoRef() : nullptr);
}

void CNADataAccess::AddRefRecordSave(int id) {
  if (m_pclRecordSave != nullptr) m_pclRecordSave->AddRefRecordSave(id);
}

int CNADataAccess::nReleaseRecordSave(int id) {
  return m_pclRecordSave != nullptr ? m_pclRecordSave->nReleaseRecordSave(id) : 0;
}

BOOL CNADataAccess::bCopySaveToRecord(int id, CNARecordValue* dest) {
  // A freed row may already hold another record's save.
  if (m_pclRecordSave == nullptr || m_pclRecordSave->nGetRefCount(id) <= 0) return FALSE;
  return m_pclRecordSave->bGetAt(dest, static_cast<unsigned int>(id));
}

BOOL CNADataAccess::bRestoreOriginalRecordSave(int id) {
  CNARecordValue* original = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetOriginalValueNoRef() : nullptr;
  return original != nullptr && bCopySaveToRecord(id, original);
}

BOOL CNADataAccess::bRestoreOriginalRecordSave(CNAStatement* stmt) {
  return stmt != nullptr && bRestoreOriginalRecordSave(stmt->nGetRecordSaveID());
}

BOOL CNADataAccess::_bGetItemValueInRecordSave(CAny* out, int id, INAItemDescription* item) {
  CNARecordValue* value = new (std::nothrow) CNARecordValue(m_pclError);
  if (value == nullptr) {
    _NoMemory();
    return FALSE;
  }
  value->AddRef();
  const BOOL ok = bCopySaveToRecord(id, value) && value->bGetItemValue(out, item);
  value->nRelease();
  return ok;
}

BOOL CNADataAccess::bRecordDeleted(int id) const {
  return m_pclRecordSave != nullptr && m_pclRecordSave->_bRecordDeleted(id);
}

CNARecordId* CNADataAccess::pclAllocRecordID(const CNARecordValue* value) const {
  switch (eEvaluateRecordIdType()) {
    case NA_RECORDID_RECORDVALUES:
      return new (std::nothrow) CNARecordId_RecordValues(value);
    case NA_RECORDID_ROWID: {
      CNADriver* driver = CNADriver::s_pclDriver;
      CNAConvertVariant* rowId = driver != nullptr ? driver->pclAllocVariantRowID(m_pclError, m_pclConnection) : nullptr;
      if (rowId == nullptr) return nullptr;
      CNARecordId* id = new (std::nothrow) CNARecordId_RowId(rowId);
      if (id == nullptr) {
        rowId->AddRef();
        rowId->nRelease();
      }
      return id;
    }
    default:
      return nullptr;
  }
}

// ---------------------------------------------------------------- errors

eNA_ERRORTYPE CNADataAccess::eGetNAErrorType() {
  const eNA_ERRORTYPE own = m_pclError->eGetErrorType();
  if (own != NA_ERRORTYPE_DEFAULT && own != NA_ERRORTYPE_NONE) return own;
  return m_pclConnection != nullptr ? m_pclConnection->eGetNAErrorType(m_pclError->dwGetDataBaseErrorCode())
                                    : NA_ERRORTYPE_DEFAULT;
}

// ---------------------------------------------------------------- answers without effect

BOOL CNADataAccess::bHBloqueNumEnr(long long, eNA_LOCKTYPE, eNA_LOCKTYPE*) {
  _RaiseNotSupported();
  m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
  return FALSE;
}
BOOL CNADataAccess::bHBloqueFichier(eNA_LOCKTYPE, eNA_LOCKTYPE*) {
  _RaiseNotSupported();
  m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
  return FALSE;
}
BOOL CNADataAccess::bHRaye(long long, eNA_LOCKTYPE) {
  _RaiseNotSupported();
  return FALSE;
}
BOOL CNADataAccess::bHConstruitValCle(CAny*, const wchar_t*, unsigned int, CAny**) {
  _RaiseNotSupported();
  return FALSE;
}
BOOL CNADataAccess::bHLibere() {
  _RaiseNotSupported();
  return FALSE;
}
BOOL CNADataAccess::bHDebloqueFichier() { return TRUE; }
BOOL CNADataAccess::bHDebloqueNumEnr(long long) { return TRUE; }
BOOL CNADataAccess::bHReindexe(unsigned int, IGaugeControl*) { return TRUE; }
BOOL CNADataAccess::bSetFiltreAuto(int, const wchar_t*, const wchar_t*, INADataSourceDescription*) { return TRUE; }
BOOL CNADataAccess::bLockRecord(CNAStatement*, eNA_LOCKTYPE, long long, eNA_LOCKTYPE*) { return TRUE; }
BOOL CNADataAccess::bUnlockRecord(CNAStatement*, eNA_LOCKTYPE, long long, eNA_LOCKTYPE*) { return TRUE; }
BOOL CNADataAccess::bLockUnlockRecord(CNAStatement*, eNA_LOCKTYPE, long long, eNA_LOCKTYPE*) { return TRUE; }
long long CNADataAccess::_nGetSequenceCurrentVal(CNAColumn*) { return -1; }
BOOL CNADataAccess::_bUpdateIdAutoAfterInsertFailure(CNAColumn*) { return FALSE; }
void CNADataAccess::SetFiltreAuto(int) {}
void CNADataAccess::CancelRecordLock(INAConnectionDescription*, CNATransaction*) {}
void CNADataAccess::_vUpdateRecordInCacheLock(NA_WRITEPARSEFLAGS) {}
BOOL CNADataAccess::bNbEnrNeedParse(int* needParse, const wchar_t*) {
  if (needParse != nullptr) *needParse = 1;
  return TRUE;
}
long long CNADataAccess::llGetRecNum() { return 0; }

// ---------------------------------------------------------------- hooks of the backends

void CNADataAccess::_SetTransactionTermined(CNAStatement* stmt) {
  if (stmt != nullptr && stmt->bGetParseStarted() && stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE)
    stmt->bSetParseNeedUpdate(NA_PARSE_RERUN);
}
// No recovery of a failed browse, and no row identifier to compare positions by, in the generic
// access: a backend may give either.
BOOL CNADataAccess::_bRepriseErreurParcours(CNAStatement*, const wchar_t*, eNA_PARSEDIRECTION, eNA_LOCKTYPE,
                                            eNA_LOCKTYPE*, NA_WRITEPARSEFLAGS) {
  return FALSE;
}
BOOL CNADataAccess::_bCheckReccordId(CNAPosition*, CNAPosition*, int*) { return FALSE; }

// ---------------------------------------------------------------- creation, deletion, indexes

BOOL CNADataAccess::_bHCreation(int drop, int create) {
  _Close();
  if (m_pclConnection == nullptr || !m_pclConnection->bOpen(m_pclError) || !_bInitCurrentRecord()) return FALSE;
  CNAStatement* stmt = _pclGetWriteStatement();
  if (stmt == nullptr) {
    _NoMemory();
    return FALSE;
  }
  BOOL answer = TRUE;
  // A table this access drops no longer matches: the next open asks the server again.
  if (drop) m_nDBCompatibility = 0;
  if (drop && !_bOperation(stmt, NA_QUERY_DROPTABLE, 0, nullptr) &&
      m_pclError->eGetErrorType() == static_cast<eNA_ERRORTYPE>(1))
    answer = FALSE;
  else if (create) {
    answer = _bOperation(stmt, NA_QUERY_CREATE, 0, nullptr);
    if (answer) {
      m_pclError->Reset();
      _bCreateIndex(stmt, static_cast<unsigned int>(m_nIndexCreationFlags));
      // The table as created is read back: it becomes the imported description.
      m_nDBCompatibility = 0;
      answer = bCheckCompatibilityWithDatabase();
    }
  } else if (drop) {
    // A failed DROP of a missing table leaves nothing to report.
    m_pclError->Reset();
  }
  stmt->ResetStatement();
  stmt->nRelease();
  return answer;
}

BOOL CNADataAccess::_bSupprimeTout() {
  _Close();
  if (m_pclConnection == nullptr || !m_pclConnection->bOpen(m_pclError)) return FALSE;
  // Rows that are no table rows, and a query sent as written, are refused before the browse reads one.
  if (m_bSourceIsQuery) return _bQueryRowsWritable() && _bNotSentAsWritten() && _bSupprimeTout_HSupprime();
  if (!_bInitCurrentRecord()) return FALSE;
  CNAStatement* stmt = _pclGetWriteStatement();
  if (stmt == nullptr) {
    _NoMemory();
    return FALSE;
  }
  const BOOL answer = _bOperation(stmt, NA_QUERY_DELETEALL, 0, nullptr);
  stmt->ResetStatement();
  stmt->nRelease();
  return answer;
}

BOOL CNADataAccess::_bSupprimeTout_HSupprime() {
  // Only the rows the query selects go, one by one, each by its own key.
  const CTString item(pszGetBestParseItemName());
  const eNA_LOCKTYPE noLock = static_cast<eNA_LOCKTYPE>(1);
  eNA_LOCKTYPE lockOut = noLock;
  // All or none: a row nothing names exactly (a key whose character the page lost) or the record
  // cannot hold (its read fails, on every page) is found before the first DELETE, which would
  // leave the call half done. The first pass names each row, the second deletes it.
  for (const bool deleting : {false, true}) {
    if (!bHLitxxx(item.pszGet(), NA_PARSE_FIRST, 1, noLock, &lockOut, 0)) return FALSE;
    for (;;) {
      // Checked before each delete: an empty query must not delete the record left from before.
      int out = 1;
      if (!bHEndehors(item.pszGet(), &out)) return FALSE;
      if (out) break;
      if (!(deleting ? bHSupprime(0, noLock) : _bDeleteNamesRow())) return FALSE;
      if (!bHLitxxx(item.pszGet(), NA_PARSE_NEXT, 1, noLock, &lockOut, 0)) return FALSE;
    }
  }
  return TRUE;
}

BOOL CNADataAccess::_bCreateIndex(CNAStatement* stmt, unsigned int flags) {
  CNACommand* command = pclAllocCommand(m_pclError);
  if (command == nullptr) return FALSE;
  command->AddRef();
  BOOL answer = TRUE;
  for (int i = 0; i < m_pclCurrentRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(i);
    INAItemDescription* item = column->piGetItemNoRef();
    if (item == nullptr) continue;
    CColumnList list;
    if (column->bIsComposedKey()) {
      if ((flags & 2) == 0 || column->pclGetTabComponent() == nullptr) continue;
      const CRefArray<CNAColumn>& parts = *column->pclGetTabComponent();
      for (int j = 0; j < parts.nGetCount(); ++j) list.AddColumn(parts[j]->pszGetFormatedName());
    } else if ((item->bDuplicates() && (flags & 2) != 0) || (item->bUnique() && (flags & 1) != 0)) {
      list.AddColumn(column->pszGetFormatedName());
    } else {
      continue;
    }
    CTString name;
    if (!_bGetUniqueIndexName(column, &name)) answer = FALSE;
    command->ResetCommand(0);
    command->bComplete(L"CREATE ");
    if (item->bUnique()) command->bComplete(L"UNIQUE");
    command->bComplete(L" INDEX ");
    command->bComplete(name.pszGet());
    command->bComplete(L" ON ");
    command->bComplete(pszGetFormatedTableName());
    command->bComplete(L" ( ");
    command->bComplete(list.pszGet());
    command->bComplete(L" ) ");
    command->SetNAQueryType(NA_QUERY_CREATE);
    if (!stmt->bExecuteDirectNewCommand(command, 0, CNAStatement::NA_ST_NOPREPARE)) answer = FALSE;
  }
  command->nRelease();
  return answer;
}

BOOL CNADataAccess::_bGetUniqueIndexName(CNAColumn* column, CTString* out) {
  if (column != nullptr && column->bIsComposedKey()) {
    if (m_pclConnection == nullptr || !m_pclConnection->bIndexNamesCommonOnDatabase()) {
      *out = column->pszGetFormatedName();
      return TRUE;
    }
    CTString name;
    name.printf(L"%s_%s", pszGetDBTableName(), column->pszGetName());
    return m_pclConnection->bFormatItemName(m_pclError, name.pszGet(), out);
  }
  return _bGetGeneratedIndexName(out);
}

BOOL CNADataAccess::_bGetGeneratedIndexName(CTString* out) {
  out->printf(L"QXIDX%u%d", static_cast<unsigned int>(time(nullptr)), static_cast<int>(ms_nIndexNameCounter++));
  return TRUE;
}

// ---------------------------------------------------------------- query sources

BOOL CNADataAccess::bSourceIsQueryOnMultipleTables() const {
  return m_bSourceIsQuery && m_pclSourceQuery != nullptr && m_pclSourceQuery->nGetFichierFromNbr() > 1 ? TRUE : FALSE;
}

eNAQUERYTYPE CNADataAccess::eSourceQueryType() const {
  if (!m_bSourceIsQuery || m_pclSourceQuery == nullptr) return NA_QUERY_NONE;
  return eConvertTypeQuery(static_cast<eTYPEREQUETE>(m_pclSourceQuery->nGetQueryKind()));
}

BOOL CNADataAccess::bGetQueryWriteTable(CTString* table, int quote) const {
  table->Vide();
  if (m_pclSourceQuery == nullptr || bSourceIsQueryOnMultipleTables() || !m_pclSourceQuery->bHOperationAllowed())
    return FALSE;
  CNAColumn* first = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetColumnNoRef(0) : nullptr;
  if (first != nullptr) _GetDBSourceName(first->piGetItemNoRef(), table, quote);
  return table->nTaille() > 0 ? TRUE : FALSE;
}

void CNADataAccess::_GetDBSourceName(INAItemDescription* item, CTString* name, int quote) const {
  if (item == nullptr || name == nullptr) return;
  const wchar_t* source = item->pszGetSourceName();
  if (source == nullptr || *source == 0) return;
  CTString table;
  INADataSourceDescription* desc =
      m_pclSourceQuery != nullptr ? m_pclSourceQuery->piGetNADataSourceDescription(source) : nullptr;
  if (desc != nullptr) {
    table = desc->pszGetDBTableName();
    desc->nExternalRelease();
  }
  if (table.nTaille() == 0) {
    const wchar_t* physical = m_pclSourceQuery != nullptr ? m_pclSourceQuery->pszGetPhysicalName(source) : nullptr;
    table = physical != nullptr && *physical != 0 ? physical : source;
  }
  if (quote && m_pclConnection != nullptr) {
    CTString formatted;
    if (m_pclConnection->bFormatTableName(m_pclError, table.pszGet(), &formatted)) table = formatted;
  }
  *name = table;
}

BOOL CNADataAccess::bInitImportedDataSourceDesc(CNAStatement* stmt) {
  CNADataSourceDescription* desc = _pclAllocDataSource(m_pclConnection, m_pclError);
  if (desc == nullptr) {
    _NoMemory();
    return FALSE;
  }
  desc->AddRef();
  desc->SetLogicalName(pszGetLogicalName());
  desc->SetDBName(pszGetLogicalName());
  const BOOL ok = stmt != nullptr && stmt->_bGetQueryStructure(desc);
  if (ok) _SetImportedDataSourceDesc(desc);
  desc->nRelease();
  return ok;
}

CNAIDAuto* CNADataAccess::pclGetIDAuto() {
  if (m_pclIDAuto == nullptr) {
    m_pclIDAuto = _pclAllocIDAuto();
    if (m_pclIDAuto == nullptr) {
      _NoMemory();
      return nullptr;
    }
    m_pclIDAuto->AddRef();
  }
  m_pclIDAuto->AddRef();
  return m_pclIDAuto;
}

BOOL CNADataAccess::bSetNewAutoId(CAny* unheld) {
  CNAColumn* column = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetColumnIDAutoNoRef() : nullptr;
  if (column == nullptr) return TRUE;
  CNAIDAuto* generator = pclGetIDAuto();
  if (generator == nullptr) return FALSE;
  CAny value;
  BOOL ok = generator->bGetNextValue(this, column, m_pclError, &value);
  generator->nRelease();
  if (!ok) return FALSE;
  // A host item of 4 bytes would wrap the server's next value past its range.
  long long next = 0;
  const bool fits = column->piGetItemNoRef()->eNAGetItemType() != NA_IT_IDAUTO4 ||
                    (value.nGetINT_64(&next) <= 99 && next >= INT32_MIN && next <= INT32_MAX);
  if (fits) return column->bSetValue(&value, 0);
  if (unheld == nullptr) return FALSE;
  *unheld = value;
  return TRUE;
}

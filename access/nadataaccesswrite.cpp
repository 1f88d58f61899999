// The write road of CNADataAccess: add, modify and delete of the current record, the statement
// that runs them, the naming of a duplicate or missing value the server refused, and the news of
// an accepted write to the caches and statements. Nothing of the access (record-save, original
// value, caches) changes before the server accepted the statement.
#include <new>

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "access/natablecache.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "driver/naregistrywalk.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/naconvertvariant.h"
#include "sql/nafilter.h"
#include "sql/nastatement.h"

using naguards::CHeldStatement;

namespace {

constexpr unsigned int kErrWriteRefused = 35;
enum : int { kSiteWriteRefused = 3 };
constexpr eNA_ERRORTYPE kTypeDuplicate = static_cast<eNA_ERRORTYPE>(3);
constexpr eNA_ERRORTYPE kTypeNeedValue = static_cast<eNA_ERRORTYPE>(8);
constexpr NA_WRITEPARSEFLAGS kKeepAsRead = 0x40;
constexpr NA_WRITEPARSEFLAGS kReinsert = 0x100;
constexpr eNA_LOCKTYPE kLockWrite = static_cast<eNA_LOCKTYPE>(2);
constexpr eNA_LOCKTYPE kLockNone = static_cast<eNA_LOCKTYPE>(1);

eNA_LOCKTYPE AtLeastWrite(eNA_LOCKTYPE lock) {
  return static_cast<int>(lock) < static_cast<int>(kLockWrite) ? kLockWrite : lock;
}

// The write statement is left without its query when no lock asked to keep it.
void DoneWith(CNAStatement* stmt) {
  if (stmt->eGetLockType() == kLockNone) stmt->ResetStatement();
}

// The error becomes kind, naming table and item (whose reference it drops); FALSE without an item.
BOOL NameRefusedItem(CNAError* error, eNA_ERRORTYPE kind, const wchar_t* table, INAItemDescription* item) {
  if (item == nullptr) return FALSE;
  error->SetErrorType(kind);
  error->SetInfoNames(table, item->pszGetName());
  item->nExternalRelease();
  return TRUE;
}

}  // namespace

// ---------------------------------------------------------------- host operations

BOOL CNADataAccess::_bQueryRowsWritable() {
  CTString table;
  if (!m_bSourceIsQuery || m_pclSourceQuery == nullptr || bGetQueryWriteTable(&table, 0)) return TRUE;
  // A write would reach every table row the result row stands for, or no table at all.
  _RaiseNotSupported();
  return FALSE;
}

BOOL CNADataAccess::_bNotSentAsWritten() {
  if (!bRequeteSansCorrection()) return TRUE;
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_DATAACCESS, kSiteWriteRefused, m_pclConnection,
                             pszGetLogicalName(), nullptr, kErrWriteRefused, pszGetLogicalName());
  return FALSE;
}

BOOL CNADataAccess::bHAjoute(NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock) {
  if (!_bQueryRowsWritable() || !_bCheckAndCorrectKJRecordValues()) return FALSE;
  // Up to the INSERT only memos are read into the record (see bKJRecordChecked).
  m_bKJRecordChecked = true;
  const BOOL added = _bHAjoute(flags, lock);
  m_bKJRecordChecked = false;
  if (!added) return FALSE;
  _DropWrittenSave();
  // The record is now the row inserted: a delete mark it carried named a row gone before.
  if (CNARecordValue* current = m_pclCurrentRecord->pclGetCurrentValueNoRef()) current->SetState(NA_RECORDSTATE_NONE);
  if (bRequeteSansCorrection()) return TRUE;
  if ((flags & kKeepAsRead) != 0) return bSetCurrentRecordRead(0);
  if (!m_pclCurrentRecord->bOriginalSet() && !bSetCurrentRecordRead(0)) return FALSE;
  if (m_nRecordSaveID != -1) nReleaseRecordSave(m_nRecordSaveID);
  m_nRecordSaveID = nKeepCurrentRecordSave();
  if (m_nRecordSaveID != -1) AddRefRecordSave(m_nRecordSaveID);
  return TRUE;
}

BOOL CNADataAccess::_bHAjoute(NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock) {
  if (m_pclCurrentRecord == nullptr) return FALSE;
  // Memos not read yet are fetched so that the INSERT carries them all; one that cannot be
  // fetched fails the add before anything is sent (a NULL in its place would lose it).
  const CRefArray<CNAColumn>& memos = *m_pclCurrentRecord->pclGetTabColumnMemo();
  for (int i = 0; i < memos.nGetCount(); ++i) {
    CNAColumn* column = memos[i];
    if (column == nullptr || !column->bValueIsUnreadYet()) continue;
    CAny value;
    if (!bGetBLOB(static_cast<unsigned int>(i), &value) || !column->bSetValue(&value, 0)) return FALSE;
  }
  CHeldStatement stmt(_pclGetWriteStatement());
  if (stmt.get() == nullptr) {
    _NoMemory();
    return FALSE;
  }
  // An identifier numbered here goes into the record while the INSERT is built: a refused add
  // gives the host back the record it built.
  CNAColumn* idAuto = m_pclCurrentRecord->pclGetColumnIDAutoNoRef();
  const bool numbered = idAuto != nullptr && (flags & 0x500) == 0 &&
                        ((flags & 0x200) != 0 || !idAuto->bIsAutoIncrementOnDataBase());
  auto built = CHeldRef<CNARecordValue>::Take(numbered ? m_pclCurrentRecord->pclGetCurrentValueNoRef()->pclGetClone(-1)
                                                       : nullptr);
  if (numbered && built.get() == nullptr) return FALSE;
  BOOL ok = stmt.get()->bSetLockType(lock);
  ok = _bOperation(stmt.get(), NA_QUERY_INSERT, flags, nullptr) && ok;
  if (!ok && built.get() != nullptr && m_pclCurrentRecord->bCopyToCurrentRecord(built.get()))
    m_pclCurrentRecord->OnNAKJRecordChanged();
  if (ok) ok = bLockRecord(stmt.get(), lock, 0, nullptr);
  DoneWith(stmt.get());
  return ok;
}

BOOL CNADataAccess::bHModifie(long long recnum, NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock) {
  if (!_bIsValidRecordNumber(recnum) || m_pclCurrentRecord == nullptr || !_bQueryRowsWritable()) return FALSE;
  BOOL ok = _bCheckAndCorrectKJRecordValues();
  if (ok && recnum == 0 && m_nRecordSaveID != -1) ok = bRestoreOriginalRecordSave(m_nRecordSaveID);
  if (!ok) return FALSE;
  CNARecordValue* original = m_pclCurrentRecord->pclGetOriginalValueNoRef();
  CNARecordValue* clone = original != nullptr ? original->pclGetClone(-1) : nullptr;
  if (clone == nullptr) {
    _NoMemory();
    return FALSE;
  }
  clone->AddRef();
  ok = _bHModifie(recnum, flags, lock, clone);
  if (ok && (flags & kKeepAsRead) != 0 && !bRequeteSansCorrection() && !m_pclCurrentRecord->bOriginalSet())
    ok = bSetCurrentRecordRead(0);
  if (ok) {
    _KeepWrittenSave(flags, clone);
    _NoteWrittenRow(clone);
  }
  clone->nRelease();
  return ok;
}

void CNADataAccess::_KeepWrittenSave(NA_WRITEPARSEFLAGS flags, CNARecordValue* before) {
  _DropWrittenSave();
  if ((flags & kKeepAsRead) != 0 || bRequeteSansCorrection() || m_pclRecordSave == nullptr) return;
  m_nWrittenSaveID = nKeepCurrentRecordSave();
  if (m_nWrittenSaveID == -1) return;
  AddRefRecordSave(m_nWrittenSaveID);
  // A roll-back gives the row back as it was, and so the copy of it.
  if (m_pclConnection != nullptr && m_pclConnection->nOpenTransactions() > 0)
    _KeepSaveUndo({m_nWrittenSaveID, m_pclRecordSave->eGetRecordState(m_nWrittenSaveID), before},
                  m_pclCurrentRecord->pclGetCurrentValueNoRef());
}

BOOL CNADataAccess::_bHModifie(long long, NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock, CNARecordValue* original) {
  const eNA_LOCKTYPE raised = AtLeastWrite(lock);
  CHeldStatement stmt(_pclGetWriteStatement());
  if (stmt.get() == nullptr) {
    _NoMemory();
    return FALSE;
  }
  CNARecordValue* current = m_pclCurrentRecord->pclGetCurrentValueNoRef();
  const bool deleted = current != nullptr && current->eGetState() == NA_RECORDSTATE_DELETED;
  // A deleted row named by its values alone would be one of its equal twins: no UPDATE is sent.
  BOOL written = bLockRecord(stmt.get(), raised, 0, nullptr) &&
                 !(deleted && stmt.get()->bLatestReadWithoutUniqueKey()) &&
                 _bOperation(stmt.get(), NA_QUERY_UPDATE, flags, original);
  // A deleted record is written back.
  if (!written && deleted) written = _bOperation(stmt.get(), NA_QUERY_INSERT, flags | kReinsert, original);
  BOOL ok = written ? bSetCurrentRecordRead(0) : FALSE;
  ok = bUnlockRecord(stmt.get(), lock, 0, nullptr) && ok;
  DoneWith(stmt.get());
  return ok;
}

void CNADataAccess::_ForgetWrittenServerTexts(CNARecordValue* current) {
  if (current == nullptr || !current->bHasServerTexts()) return;
  // Asked before the row becomes the one read: a column written now holds the value sent.
  for (int i = 0; i < m_pclCurrentRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(i);
    if (column != nullptr && !column->bIsComposedKey() && column->bValueModified())
      current->ForgetWrittenServerText(column->nGetPhysicalIndice());
  }
}

BOOL CNADataAccess::bHEcrit(long long recnum, NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock) {
  return bHModifie(recnum, flags, lock);
}

BOOL CNADataAccess::bHSupprime(long long recnum, eNA_LOCKTYPE lock) {
  if (!_bIsValidRecordNumber(recnum) || m_pclCurrentRecord == nullptr || !_bQueryRowsWritable()) return FALSE;
  if (recnum == 0 && m_nRecordSaveID != -1 && !bRestoreOriginalRecordSave(m_nRecordSaveID)) return FALSE;
  // A deleted record names no row: deleting it again sends nothing (by its values it would name
  // an equal twin).
  const CNARecordValue* current = m_pclCurrentRecord->pclGetCurrentValueNoRef();
  if (current != nullptr && current->eGetState() == NA_RECORDSTATE_DELETED) return TRUE;
  CHeldStatement stmt(_pclGetWriteStatement());
  // Without a statement nothing was deleted: the record is not marked.
  if (stmt.get() == nullptr) {
    _NoMemory();
    return FALSE;
  }
  eNA_LOCKTYPE obtained = lock;
  BOOL ok = bLockRecord(stmt.get(), AtLeastWrite(lock), recnum, &obtained);
  if (ok) {
    ok = _bOperation(stmt.get(), NA_QUERY_DELETE, 0, nullptr);
    ok = bUnlockRecord(stmt.get(), kLockNone, 0, nullptr) && ok;
  }
  stmt.get()->ResetStatement();
  if (ok) {
    m_pclCurrentRecord->SetDeleted();
    _DropWrittenSave();
    _ForgetWrittenRow();
  }
  return ok;
}

// ---------------------------------------------------------------- the statement of a write

BOOL CNADataAccess::_bOperation(CNAStatement* stmt, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags,
                                CNARecordValue* original) {
  if ((type == NA_QUERY_UPDATE || type == NA_QUERY_INSERT || type == NA_QUERY_DELETE) && !_bNotSentAsWritten())
    return FALSE;
  const BOOL ok = _bBuildAndExecuteQuery(stmt, type, flags);
  // The row written holds what was sent, before any cache or save takes a copy of it: an added
  // row has no server text, a modified one none of the items written (the texts of the row read
  // before would name another row).
  CNARecordValue* current = ok && m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetCurrentValueNoRef() : nullptr;
  if (current != nullptr && type == NA_QUERY_INSERT) current->ClearServerTexts();
  if (current != nullptr && type == NA_QUERY_UPDATE) _ForgetWrittenServerTexts(current);
  if (ok && type != NA_QUERY_SELECT) _NotifyOperation(type, stmt, flags, original);
  return ok;
}

BOOL CNADataAccess::_bDeleteNamesRow() {
  CHeldStatement stmt(_pclGetWriteStatement());
  if (stmt.get() == nullptr) {
    _NoMemory();
    return FALSE;
  }
  const BOOL built = _bBuildAndExecuteQuery(stmt.get(), NA_QUERY_DELETE, 0, false);
  stmt.get()->ResetStatement();
  return built;
}

BOOL CNADataAccess::_bBuildAndExecuteQuery(CNAStatement* stmt, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags,
                                           bool send) {
  stmt->ResetQuery();
  // A kept command: its blocks and literal parameters serve the next write.
  CNACommand* command = _pclSelectCommand();
  if (command == nullptr) return FALSE;
  command->AddRef();
  // The statement was reset above (its kept command freed for the recycle): not again.
  BOOL answer = stmt->bBuildResetQuery(type, command, flags);
  if (answer && send) {
    answer = stmt->bExecute(flags, CNAStatement::NA_ST_PREPARE);
    if (!answer)
      answer = _bProcessError(command, stmt, type, flags);
    else if (type == NA_QUERY_UPDATE)
      answer = stmt->bUpdateRecordAfterUpdate(NA_QUERY_UPDATE, static_cast<int>(flags));
    else if (type == NA_QUERY_INSERT)
      answer = stmt->bUpdateRecordAfterInsert(type, static_cast<int>(flags));
  }
  command->nRelease();
  return answer;
}

namespace {

// The server refused a CREATE for a size its columns or rows take (a column, key or row too
// long): the CREATE with memo columns may pass. Any other failure, a lost session first among
// them, is reported as it came.
bool bSizeRefusal(unsigned int serverCode) {
  switch (serverCode) {
    case 1071:  // key too long
    case 1074:  // column length too big
    case 1118:  // row size too large
    case 1709:  // index column too long
      return true;
    default:
      return false;
  }
}

}  // namespace

BOOL CNADataAccess::_bProcessError(CNACommand* command, CNAStatement* stmt, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS) {
  const eNA_ERRORTYPE kind = eGetNAErrorType();
  switch (static_cast<int>(kind)) {
    case 0:
      return type == NA_QUERY_CREATE && bSizeRefusal(m_pclError->dwGetDataBaseErrorCode())
                 ? _bCorrectCREATE(command, stmt)
                 : FALSE;
    case 1:
    case 2:
    case 4:
    case 7:
      m_pclError->SetErrorType(kind);
      return FALSE;
    case 3:
      if (!_bInitErrorDuplicateItemName(type)) m_pclError->SetErrorType(kind);
      return FALSE;
    case 8:
      if (!_bInitErrorNeedItemValueItemName(type)) m_pclError->SetErrorType(kind);
      return FALSE;
    default:
      return FALSE;
  }
}

BOOL CNADataAccess::_bCorrectCREATE(CNACommand* command, CNAStatement* stmt) {
  if (command == nullptr || stmt == nullptr || m_pclConnection == nullptr) return FALSE;
  const int varcharMax = m_pclConnection->nGetVarCharMaxLen();
  const int nvarcharMax = m_pclConnection->nGetNVarCharMaxLen();
  if (varcharMax == -1 && nvarcharMax == -1) return FALSE;
  const wchar_t* refused = command->pszGetFormatedSQL(NA_PARAMCONV_ALL);
  if (refused == nullptr) return FALSE;
  CXYStringConcat<wchar_t> narrow, wide;
  const bool varchar = varcharMax != -1 &&
                       CNAStatement::bQueryCREATE_AutoCorrectVarcharMax(&narrow, refused, m_pclConnection->pszGetVarCharType(),
                                                                       varcharMax, m_pclConnection->pszGetCLOBType());
  const bool nvarchar =
      nvarcharMax != -1 &&
      CNAStatement::bQueryCREATE_AutoCorrectVarcharMax(&wide, varchar ? narrow.pszGet() : refused,
                                                      m_pclConnection->pszGetNVarCharType(), nvarcharMax,
                                                      m_pclConnection->pszGetNCLOBType());
  if (!varchar && !nvarchar) return FALSE;
  const CXYStringConcat<wchar_t>& corrected = nvarchar ? wide : narrow;
  auto retry = CHeldRef<CNACommand>::Take(pclAllocCommand(m_pclError));
  if (retry.get() == nullptr) return FALSE;
  retry.get()->bComplete(corrected.pszGet(), corrected.nGetLength());
  retry.get()->SetNAQueryType(NA_QUERY_CREATE);
  // Run once: a corrected text the server refuses again keeps its error.
  if (!stmt->bExecuteDirectNewCommand(retry.get(), 0, CNAStatement::NA_ST_PREPARE)) return FALSE;
  m_pclError->Reset();
  return TRUE;
}

BOOL CNADataAccess::_bCheckAndCorrectKJRecordValues() {
  if (m_pclCurrentRecord == nullptr) return TRUE;
  for (int i = 0; i < m_pclCurrentRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(i);
    if (column == nullptr || column->bIsComposedKey()) continue;
    if (!column->bCheckAndCorrectKJRecordValues()) return FALSE;
  }
  return TRUE;
}

// ---------------------------------------------------------------- naming what the server refused

BOOL CNADataAccess::_bInitErrorDuplicateItemName(eNAQUERYTYPE type) {
  return NameRefusedItem(m_pclError, kTypeDuplicate, pszGetLogicalName(),
                         piGetDuplicateItem(type == NA_QUERY_INSERT ? 1 : 0));
}

BOOL CNADataAccess::_bInitErrorNeedItemValueItemName(eNAQUERYTYPE type) {
  return NameRefusedItem(m_pclError, kTypeNeedValue, pszGetLogicalName(),
                         piGetNullItemDesc(type == NA_QUERY_INSERT ? 1 : 0));
}

INAItemDescription* CNADataAccess::piGetDuplicateItem(int bInsert) {
  if (m_pclCurrentRecord == nullptr) return nullptr;
  CNAStatement* stmt = _pclAllocStatement(this, m_pclError);
  if (stmt == nullptr) return nullptr;
  stmt->AddRef();
  INAItemDescription* found = nullptr;
  for (int i = 0; found == nullptr && i < m_pclCurrentRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(i);
    if (column == nullptr || !column->bUnique() || (!bInsert && !column->bValueModified())) continue;
    if (__bDuplicateItem(column->piGetItemNoRef(), stmt)) found = column->piGetItem();
  }
  stmt->nRelease();
  return found;
}

BOOL CNADataAccess::bIsDuplicateItem(int bInsert, CNAColumn* column) {
  if (column == nullptr || !column->bUnique() || (!bInsert && !column->bValueModified())) return FALSE;
  CNAStatement* stmt = _pclAllocStatement(this, m_pclError);
  if (stmt == nullptr) return FALSE;
  stmt->AddRef();
  const BOOL found = __bDuplicateItem(column->piGetItemNoRef(), stmt);
  stmt->nRelease();
  return found;
}

BOOL CNADataAccess::__bDuplicateItem(INAItemDescription* item, CNAStatement* stmt) {
  if (item == nullptr || stmt == nullptr || m_pclCurrentRecord == nullptr) return FALSE;
  CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(item);
  CAny value;
  // NULL is never a duplicate: a filter on it would count the rows holding NULL.
  if (column == nullptr || !column->bGetCurrentValue(&value, 0) || value.bIsNull()) return FALSE;
  CNAFilter* filter = stmt->pclAllocFilter(m_pclError);
  if (filter == nullptr) return FALSE;
  filter->AddRef();
  long long count = 0;
  BOOL found = FALSE;
  // The value as both bounds: the server's collation decides what equals it.
  if (filter->bSetFilter(m_pclCurrentRecord, item, &value, 1, &value, 1, nullptr, 0)) {
    filter->ActivateFilter(1);
    stmt->_SetFilter(filter);
    found = stmt->bGetNbEnr(&count, 0, 0) && count >= 1 ? TRUE : FALSE;
    stmt->_SetFilter(nullptr);
  }
  filter->nRelease();
  return found;
}

INAItemDescription* CNADataAccess::piGetNullItemDesc(int) {
  if (m_pclCurrentRecord == nullptr) return nullptr;
  for (int i = 0; i < m_pclCurrentRecord->nGetNbColumn(); ++i) {
    CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(i);
    // Composite keys follow the real columns.
    if (column == nullptr || column->bIsComposedKey()) return nullptr;
    if (!column->bIsNullableOnDataBase() && !column->bValueDefined()) return column->piGetItem();
  }
  return nullptr;
}

// ---------------------------------------------------------------- news of an accepted write

int CNADataAccess::nUpdateRecordInCache(NA_WRITEPARSEFLAGS flags, CNARecordCache* cache) {
  if (cache == nullptr || m_pclCurrentRecord == nullptr) return -1;
  return cache->nOnNotifyOperation(NA_QUERY_UPDATE, m_pclCurrentRecord->pclGetCurrentValueNoRef(),
                                   m_pclCurrentRecord->pclGetOriginalValueNoRef(), flags, 0);
}

int CNADataAccess::nSetRecordDeletedInCache(CNARecordCache* cache) {
  if (cache == nullptr || m_pclCurrentRecord == nullptr) return -1;
  CNARecordValue* original = m_pclCurrentRecord->pclGetOriginalValueNoRef();
  CNARecordId* id = original != nullptr ? original->pclGetRecordIdNoRef() : nullptr;
  return id != nullptr ? cache->nSetRecordState(id, NA_RECORDSTATE_DELETED) : -1;
}

void CNADataAccess::_NotifyOperation(eNAQUERYTYPE type, CNAStatement* stmt, NA_WRITEPARSEFLAGS flags,
                                     CNARecordValue* original) {
  if ((m_nNotifyFlags & 2) != 0) return;
  const bool statements = m_pclTableCache != nullptr || (m_nNotifyFlags & 1) != 0;
  CNARecordCache* full = m_pclTableCache != nullptr ? m_pclTableCache->pclGetFullCache() : nullptr;
  const bool completed = full != nullptr && m_pclTableCache->bCacheCompleted();
  int index = -1;
  switch (type) {
    case NA_QUERY_INSERT:
      if (full != nullptr && m_pclCurrentRecord != nullptr) index = full->nAjoute(m_pclCurrentRecord->pclGetCurrentValueNoRef());
      break;
    case NA_QUERY_DELETE: {
      const STSaveBefore before = _stSaveBefore();
      if (nSetRecordDeletedInCache(m_pclRecordSave) >= 0) _KeepSaveUndo(before, nullptr);
      if (completed) index = nSetRecordDeletedInCache(full);
      break;
    }
    case NA_QUERY_UPDATE: {
      const STSaveBefore before = _stSaveBefore();
      if (nUpdateRecordInCache(flags, m_pclRecordSave) >= 0)
        _KeepSaveUndo(before, m_pclCurrentRecord->pclGetCurrentValueNoRef());
      _vUpdateRecordInCacheLock(flags);
      if (completed) index = nUpdateRecordInCache(flags, full);
      break;
    }
    default:
      break;
  }
  if (!statements) return;
  CNARegistryWalk<CNAStatement*> walk(&m_tabStatement);
  CNAStatement* each = nullptr;
  while (walk.bNext(&each)) {
    each->AddRef();
    each->OnNotifyOperation(type, index, stmt, flags, original);
    each->nRelease();
  }
}

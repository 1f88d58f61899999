// The saved positions of CNADataAccess: saving, returning, freeing and comparing them, and the
// host's positioning questions answered by the browse statement of an item.
#include <climits>
#include <new>

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/naposition.h"
#include "access/narecord.h"
#include "common/str_buffer.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nastatement.h"
#include "values/any.h"
#include "values/any_operators.h"

using naguards::CHeldItemDesc;
using naguards::CHeldStatement;

namespace {

enum : int { kSourceFile = 3 };
enum : int { kSiteNoStatement = 7, kSiteUnknownPosition = 11, kSiteNoBrowse = 7 };
// The host's item buffer, NUL included.
constexpr int kItemBuffer = 255;

using CHeldPosition = CHeldRef<CNAPosition>;

}  // namespace

int CNADataAccess::ms_nPositionID = 1;

// ---------------------------------------------------------------- the position table

CNAPosition* CNADataAccess::pclAllocPosition() { return new (std::nothrow) CNAPosition(); }

CNAPosition* CNADataAccess::_pclFindPosition(int id) const {
  CNAPosition* position = nullptr;
  if (!m_tabPosition.bGetValue(id, &position) || position == nullptr) return nullptr;
  position->AddRef();
  return position;
}

int CNADataAccess::_nNewPositionID() const {
  int id = ms_nPositionID;
  for (;;) {
    if (id <= 0) id = 1;
    if (!m_tabPosition.bGetValue(id, nullptr)) return id;
    id = id == INT_MAX ? 1 : id + 1;
  }
}

BOOL CNADataAccess::_bFreePosition(int id) {
  CHeldPosition position(_pclFindPosition(id));
  if (position.get() == nullptr) return TRUE;
  m_tabPosition.bRemoveValue(id);
  CNAStatement* stmt = position.get()->pclGetStatementNoRef();
  if (stmt != nullptr) stmt->bRemoveSavedPosition(id);
  return TRUE;
}

BOOL CNADataAccess::_bDeleteAllSavedPosition() {
  unsigned int cursor = 0;
  void* value = nullptr;
  void* key = nullptr;
  // Each entry leaves the table before its statement forgets it and its reference goes.
  while (m_tabPosition.bParseTable(&cursor, TRUE, &value, &key)) {
    auto* position = static_cast<CNAPosition*>(value);
    if (position == nullptr) continue;
    CNAStatement* stmt = position->pclGetStatementNoRef();
    if (stmt != nullptr) stmt->bRemoveSavedPosition(static_cast<int>(reinterpret_cast<intptr_t>(key)));
    position->nRelease();
  }
  return TRUE;
}

void CNADataAccess::SetLatestFilter(CNAFilter* filter) {
  if (filter == m_pclLatestFilter) return;
  if (filter != nullptr) filter->AddRef();
  if (m_pclLatestFilter != nullptr) m_pclLatestFilter->nRelease();
  m_pclLatestFilter = filter;
}

// ---------------------------------------------------------------- saving and returning

BOOL CNADataAccess::bHSauvePosition(int* id, const wchar_t* item, eNAPOSITION) {
  if (id != nullptr) *id = -1;
  CNAPosition* made = pclAllocPosition();
  if (made == nullptr) {
    _NoMemory();
    return FALSE;
  }
  made->AddRef();
  CHeldPosition position(made);
  made->SetItem(item);
  CNAStatement* found = _pclFindStatement(item);
  if (found == nullptr) {
    found = _pclInitStatement(item);
    if (found != nullptr) found->SetBrowseItem(item);
  }
  CHeldStatement held(found);
  CNAStatement* stmt = held.get();
  if (stmt == nullptr) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoStatement, m_pclConnection,
                               pszGetLogicalName(), item, 7, pszGetLogicalName());
    return FALSE;
  }
  const BOOL filled = stmt->bGetPosition(made, static_cast<eNAPOSITION>(0));
  if (m_nRecordSaveID != -1)
    made->SetRecordSaveID_VerrueHAjouteHLit(this, m_nRecordSaveID);
  else if (_bOnWrittenRow())
    made->SetRecordSaveID_VerrueHAjouteHLit(this, m_nWrittenSaveID);
  else if (const int written =
               _nWrittenRowOf(made->nGetStatementSave(), made->nGetRowIndex() >= 0 ? stmt->nGetFreshRowsSerial() : 0);
           written != -1)
    // The browse's copy is the row before the host wrote it: the return gives it as written.
    made->SetRecordSaveID_VerrueHAjouteHLit(this, written);
  if (!filled) return FALSE;
  const int newId = _nNewPositionID();
  if (!m_tabPosition.bAddValue(newId, made)) {
    _NoMemory();
    return FALSE;
  }
  if (!stmt->bAddSavedPosition(newId, made)) {
    m_tabPosition.bRemoveValue(newId);
    return FALSE;
  }
  ms_nPositionID = newId == INT_MAX ? 1 : newId + 1;
  if (id != nullptr) *id = newId;
  return TRUE;
}

BOOL CNADataAccess::bHRetourPosition(int id, wchar_t* itemOut, int keep, eNAPOSITION mode) {
  CHeldPosition position(_pclFindPosition(id));
  if (position.get() == nullptr) {
    if (itemOut != nullptr) *itemOut = 0;
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteUnknownPosition, m_pclConnection,
                               pszGetLogicalName(), nullptr, 11);
    return FALSE;
  }
  if (itemOut != nullptr) STR_nCopy(itemOut, kItemBuffer, position.get()->pszGetItem(), -1);
  _DropWrittenSave();
  BOOL ok = _bRestorePositionStatement(position.get(), mode);
  if (ok && m_pclCurrentRecord != nullptr) {
    CNARecordValue* current = m_pclCurrentRecord->pclGetCurrentValueNoRef();
    if (current != nullptr) current->SetState(NA_RECORDSTATE_NONE);
    const int save = position.get()->nGetAccessSave();
    // The position's hold on the save is its own: the access takes one more.
    if (save != -1) AddRefRecordSave(save);
    if (m_nRecordSaveID != -1) nReleaseRecordSave(m_nRecordSaveID);
    m_nRecordSaveID = save;
    if (save != -1)
      ok = bRestoreOriginalRecordSave(save) && m_pclCurrentRecord->bCopyOriginalRecordToCurrentRecord() ? TRUE : FALSE;
  }
  if (keep == 0) ok = _bFreePosition(id) && ok ? TRUE : FALSE;
  return ok;
}

BOOL CNADataAccess::bHLiberePosition(int id) { return _bFreePosition(id); }

BOOL CNADataAccess::_bRestorePositionStatement(CNAPosition* position, eNAPOSITION mode) {
  CNAStatement* stmt = position->pclGetStatementNoRef();
  if (stmt == nullptr) return FALSE;
  m_pclLastStatement = stmt;
  return stmt->bSetPosition(position, mode);
}

// ---------------------------------------------------------------- comparing

BOOL CNADataAccess::bCompareTablePosition(int first, int second, int* equal) {
  if (equal == nullptr) return FALSE;
  if (first == second) {
    *equal = 1;
    return TRUE;
  }
  CHeldPosition a(_pclFindPosition(first));
  CHeldPosition b(_pclFindPosition(second));
  if (a.get() == nullptr || b.get() == nullptr) {
    *equal = 0;
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteUnknownPosition, m_pclConnection,
                               pszGetLogicalName(), nullptr, 11);
    return FALSE;
  }
  return _bCompareTablePosition(a.get(), b.get(), equal);
}

BOOL CNADataAccess::_bCompareTablePosition(CNAPosition* a, CNAPosition* b, int* equal) {
  *equal = 0;
  CNAStatement* sa = a->pclGetStatementNoRef();
  CNAStatement* sb = b->pclGetStatementNoRef();
  if (sa == nullptr || sb == nullptr || sa != sb) {
    _bCheckRecordSaveID(a, b, equal);
  } else if (a->nGetRowIndex() >= 0 && b->nGetRowIndex() >= 0) {
    *equal = a->nGetRowIndex() == b->nGetRowIndex() ? 1 : 0;
  } else if (!_bCheckRecordSaveID(a, b, equal)) {
    _bCheckReccordId(a, b, equal);
  }
  return TRUE;
}

BOOL CNADataAccess::_bCheckRecordSaveID(CNAPosition* a, CNAPosition* b, int* equal) {
  const int first = a->nGetSave();
  const int second = b->nGetSave();
  if (first == -1 || second == -1 || second == -2) return FALSE;
  if (first == second) {
    *equal = 1;
    return TRUE;
  }
  CHeldItemDesc best(m_piDescription != nullptr ? m_piDescription->piGetBestParseItemDesc() : nullptr);
  if (best.get() == nullptr || !best.get()->bUnique()) return FALSE;
  CAny x, y;
  if (!_bGetItemValueInRecordSave(&x, first, best.get()) || !_bGetItemValueInRecordSave(&y, second, best.get()))
    return FALSE;
  const bool nullX = x.bIsNull(), nullY = y.bIsNull();
  // Rows whose unique key is NULL in both cannot be told apart by it.
  if (nullX && nullY) return FALSE;
  if (nullX || nullY) {
    *equal = 0;
    return TRUE;
  }
  int same = 0;
  if (nEgalite(x, y, &same, 0) > 99) return FALSE;
  *equal = same != 0 ? 1 : 0;
  return TRUE;
}

// ---------------------------------------------------------------- host positioning

BOOL CNADataAccess::bHPositionne(const wchar_t* item, unsigned int position, eNA_PRECISION precision,
                                 NA_WRITEPARSEFLAGS flags) {
  CHeldStatement held(_pclFindStatement(item));
  if (held.get() == nullptr) return TRUE;
  // The browse counted is the one its skip reads: a filter the flags carry to it comes first.
  CHeldStatement browse(_pclGetNewItemStatement(item, NA_PARSE_FIRST, flags));
  if (browse.get() == nullptr || !browse.get()->bHPositionne(position, precision, flags)) return FALSE;
  return bSetCurrentRecordRead(0);
}

BOOL CNADataAccess::bHPositionCourante(int* position, const wchar_t* item, eNA_PRECISION precision) {
  CHeldStatement held(_pclFindStatement(item));
  // A browse started stands somewhere also while its result waits for a new run.
  if (held.get() == nullptr || (!held.get()->bGetOpened() && !held.get()->bGetParseStarted())) {
    if (position != nullptr) *position = -1;
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoBrowse, m_pclConnection,
                               pszGetLogicalName(), nullptr, 7, pszGetLogicalName());
    return FALSE;
  }
  return held.get()->bHPositionCourante(position, precision);
}

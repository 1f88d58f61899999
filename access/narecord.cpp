#include "access/narecord.h"

#include <algorithm>
#include <cwchar>
#include <new>

#include "access/nadataaccess.h"
#include "access/nadatasourcedescription.h"
#include "access/narecordid.h"
#include "common/str_compare.h"
#include "common/xystring.h"
#include "common/xystringconcat.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/nacolumnlist.h"
#include "sql/naconvertvariant.h"
#include "sql/nakjrecord.h"
#include "sql/sqlparserinfo.h"
#include "values/any.h"

namespace {

constexpr int kSiteNoItem = 1;
constexpr unsigned int kErrNoItem = 1;

bool bSameText(const wchar_t* a, const wchar_t* b) {
  a = a != nullptr ? a : L"";
  b = b != nullptr ? b : L"";
  // A name spelt as the column's own needs no locale's comparison (every further block asks).
  return wcscmp(a, b) == 0 || STR_nCompareW(a, b, 3) == 0;
}

bool bHasText(const wchar_t* s) { return s != nullptr && *s != 0; }

int nIndexOf(const CRefArray<CNAColumn>& list, const CNAColumn* c) {
  for (int i = 0; i < list.nGetCount(); ++i)
    if (list[i] == c) return i;
  return -1;
}

void NoMemoryOn(CNAError* error) {
  if (error != nullptr) error->pclGetXError()->SetErrorNoMemory();
}

}  // namespace

// ================================================================ CNARecordMemo

BOOL CNARecordMemo::_bExtendTo(int i) {
  while (m_tabValue.nGetCount() <= i)
    if (m_tabValue.Ajoute(nullptr) == nullptr) return FALSE;
  return TRUE;
}

BOOL CNARecordMemo::bShareAt(int i, CNAConvertVariant* value) {
  if (i < 0 || !_bExtendTo(i)) return FALSE;
  CNAConvertVariant* former = m_tabValue[i];
  m_tabValue._AddRef(value);
  m_tabValue[i] = value;
  m_tabValue._Release(former);
  return TRUE;
}

BOOL CNARecordMemo::bCopyMemoValue(int i, const CNAConvertVariant* value) {
  if (i < 0) return FALSE;
  CNAConvertVariant* entry = pclGetAt(i);
  if (entry != nullptr) return entry->bCopyVariant(value);
  CNAConvertVariant* copy = nullptr;
  if (value != nullptr) {
    copy = value->pclGetCloneVariant();
    if (copy == nullptr) return FALSE;
  }
  if (copy != nullptr) copy->AddRef();
  const BOOL ok = bShareAt(i, copy);
  if (copy != nullptr) copy->nRelease();
  return ok;
}

BOOL CNARecordMemo::bSetServerText(unsigned int physical, const char* text, size_t length, bool lost, int kind) {
  try {
    for (STServerText& t : m_tabServerText) {
      if (t.nPhysical != physical) continue;
      t.bLost = lost;
      t.nKind = static_cast<uint8_t>(kind);
      t.sText.assign(text != nullptr ? text : "", text != nullptr ? length : 0);
      return TRUE;
    }
    m_tabServerText.push_back(STServerText{physical, lost, static_cast<uint8_t>(kind),
                                           std::string(text != nullptr ? text : "", text != nullptr ? length : 0)});
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

BOOL CNARecordMemo::bCopyRecordMemo(const CNARecordMemo* source) {
  if (source == this) return TRUE;
  const int n = source != nullptr ? source->nGetCount() : 0;
  for (int i = 0; i < n; ++i)
    if (!bCopyMemoValue(i, source->m_tabValue[i])) return FALSE;
  for (int i = n; i < nGetCount(); ++i)
    if (m_tabValue[i] != nullptr) m_tabValue[i]->SetNull();
  if (source == nullptr || source->m_tabServerText.empty()) {
    m_tabServerText.clear();
    return TRUE;
  }
  try {
    m_tabServerText = source->m_tabServerText;
  } catch (...) {
    return FALSE;
  }
  return TRUE;
}

BOOL CNARecordMemo::g_bEqualsNARecordMemo(const CNARecordMemo* a, const CNARecordMemo* b) {
  if (a == b) return TRUE;
  // Rows whose records look alike may still be two rows of the server.
  const bool ta = a != nullptr && a->bHasServerTexts(), tb = b != nullptr && b->bHasServerTexts();
  if ((ta || tb) && (!ta || !tb || a->m_tabServerText != b->m_tabServerText)) return FALSE;
  const int na = a != nullptr ? a->nGetCount() : 0, nb = b != nullptr ? b->nGetCount() : 0;
  const int n = na > nb ? na : nb;
  for (int i = 0; i < n; ++i) {
    const CNAConvertVariant* x = a != nullptr ? a->pclGetAt(i) : nullptr;
    const CNAConvertVariant* y = b != nullptr ? b->pclGetAt(i) : nullptr;
    if (!CNAVariant::g_bEqualsNAVariant(x, y)) return FALSE;
  }
  return TRUE;
}

// ================================================================ CNARecordValue

CNARecordValue::CNARecordValue(CNAError* error) : m_pclError(error) {
  if (CNADriver* driver = CNADriver::s_pclDriver; m_pclError == nullptr && driver != nullptr)
    m_pclError = driver->pclAllocError();
  CNAError::s_Hold(m_pclError);
}

CNARecordValue::~CNARecordValue() {
  if (m_pclRecordId != nullptr) m_pclRecordId->dwRelease();
  if (m_pclMemo != nullptr) m_pclMemo->dwRelease();
  if (m_pclRecord != nullptr) m_pclRecord->nRelease();
  CNAError::s_Drop(&m_pclError);
}

void CNARecordValue::_NoMemory() const { NoMemoryOn(m_pclError); }

BOOL CNARecordValue::_bHaveMemo() {
  if (m_pclMemo != nullptr) return TRUE;
  CNAKJRecord::s_MoveLayouts();
  m_pclMemo = new (std::nothrow) CNARecordMemo();
  if (m_pclMemo == nullptr) {
    _NoMemory();
    return FALSE;
  }
  m_pclMemo->AddRef();
  return TRUE;
}

BOOL CNARecordValue::bSetServerText(unsigned int physical, const char* text, size_t length, bool lost, int kind) {
  if (!_bHaveMemo()) return FALSE;
  if (m_pclMemo->bSetServerText(physical, text, length, lost, kind)) return TRUE;
  _NoMemory();
  return FALSE;
}

bool CNARecordMemo::bForgetServerText(unsigned int physical) {
  const auto at = std::find_if(m_tabServerText.begin(), m_tabServerText.end(),
                               [&](const STServerText& t) { return t.nPhysical == physical; });
  if (at == m_tabServerText.end()) return false;
  m_tabServerText.erase(at);
  return true;
}

void CNARecordValue::ForgetWrittenServerText(unsigned int physical) {
  if (!bHasServerTexts()) return;
  m_pclMemo->bForgetServerText(physical);
  m_pclMemo->bForgetServerText(CNARecordMemo::kRowTexts);
  if (m_pclMemo->bEmpty()) bShareTabMemoValue(nullptr);
}

// Out of the way of every row read, which has none to clear.
[[gnu::noinline]] void CNARecordValue::_ClearServerTexts() {
  m_pclMemo->ClearServerTexts();
  if (m_pclMemo->bEmpty()) bShareTabMemoValue(nullptr);
}

BOOL CNARecordValue::bCopyNAKJRecord(const CNAKJRecord* record) {
  if (record == nullptr) return FALSE;
  if (m_pclRecord != nullptr) return m_pclRecord->Copy(record);
  CNAKJRecord* clone = record->pclGetClone();
  if (clone == nullptr) {
    _NoMemory();
    return FALSE;
  }
  clone->AddRef();
  CNAKJRecord::s_MoveLayouts();
  m_pclRecord = clone;
  return TRUE;
}

BOOL CNARecordValue::bCopyTabMemoValue(const CNARecordMemo* memo) {
  const bool mineEmpty = m_pclMemo == nullptr || m_pclMemo->bEmpty();
  if (mineEmpty && (memo == nullptr || memo->bEmpty())) return bShareTabMemoValue(nullptr);
  if (!_bHaveMemo()) return FALSE;
  if (m_pclMemo->bCopyRecordMemo(memo)) return TRUE;
  _NoMemory();
  return FALSE;
}

BOOL CNARecordValue::bCopyRecordID(CNARecordId* id) {
  if (id == nullptr) return FALSE;
  if (m_pclRecordId != nullptr) return m_pclRecordId->bCopy(this, id);
  CNARecordId* clone = id->pclGetClone(this);
  if (clone == nullptr) {
    _NoMemory();
    return FALSE;
  }
  return bShareRecordID(clone);
}

BOOL CNARecordValue::bCopyRecordValue(const CNARecordValue* source, int flags) {
  return _bCopyRecordValue(source, flags);
}

[[gnu::always_inline]] inline BOOL CNARecordValue::_bCopyRecordValue(const CNARecordValue* source, int flags) {
  if (source == nullptr) return FALSE;
  if (source == this) return TRUE;
  m_eState = source->m_eState;
  // Every row read is copied twice: the buffer of the same layout and no memo at all, in line.
  if (flags & NA_COPY_RECORD) {
    const BOOL copied = m_pclRecord != nullptr && source->m_pclRecord != nullptr ? m_pclRecord->Copy(source->m_pclRecord)
                                                                                 : bCopyNAKJRecord(source->m_pclRecord);
    if (!copied) return FALSE;
  }
  if ((flags & NA_COPY_MEMO) && (m_pclMemo != nullptr || source->m_pclMemo != nullptr) &&
      !bCopyTabMemoValue(source->m_pclMemo))
    return FALSE;
  // A value made without a data access has no identifier to give; one held already takes the
  // source's (every row copied) without the clone's road.
  if ((flags & NA_COPY_RECORDID) && source->m_pclRecordId != nullptr) {
    // The record-values kind, every row's, is taken without the virtual call.
    CNARecordId* mine = m_pclRecordId;
    const BOOL copied = mine == nullptr ? bCopyRecordID(source->m_pclRecordId)
                        : mine->eGetKind() == NA_RECORDID_RECORDVALUES
                            ? static_cast<CNARecordId_RecordValues*>(mine)->bCopy(this, source->m_pclRecordId)
                            : mine->bCopy(this, source->m_pclRecordId);
    if (!copied) return FALSE;
  }
  return TRUE;
}

CNARecordValue* CNARecordValue::pclGetClone(int flags) const {
  CNARecordValue* clone = new (std::nothrow) CNARecordValue(m_pclError);
  if (clone == nullptr) {
    _NoMemory();
    return nullptr;
  }
  if (clone->bCopyRecordValue(this, flags)) return clone;
  delete clone;
  return nullptr;
}

BOOL CNARecordValue::bShareRecordID(CNARecordId* id) {
  if (id != nullptr) id->AddRef();
  if (m_pclRecordId != nullptr) m_pclRecordId->dwRelease();
  CNAKJRecord::s_MoveLayouts();
  m_pclRecordId = id;
  return TRUE;
}

BOOL CNARecordValue::bShareTabMemoValue(CNARecordMemo* memo) {
  if (memo != nullptr && !memo->bEmpty())
    memo->AddRef();
  else
    memo = nullptr;
  if (m_pclMemo != nullptr) m_pclMemo->dwRelease();
  CNAKJRecord::s_MoveLayouts();
  m_pclMemo = memo;
  return TRUE;
}

BOOL CNARecordValue::bShareMemoValue(int i, CNAConvertVariant* value) {
  if (!_bHaveMemo()) return FALSE;
  if (m_pclMemo->bShareAt(i, value)) return TRUE;
  _NoMemory();
  return FALSE;
}

BOOL CNARecordValue::bCopyMemoValue(int i, CNAConvertVariant* value) {
  CNAConvertVariant* copy = value != nullptr ? value->pclGetCloneVariant() : nullptr;
  if (value != nullptr && copy == nullptr) {
    _NoMemory();
    return FALSE;
  }
  if (copy != nullptr) copy->AddRef();
  const BOOL ok = bShareMemoValue(i, copy);
  if (copy != nullptr) copy->nRelease();
  return ok;
}

CNAConvertVariant* CNARecordValue::pclGetMemoValueNoRef(int i) const {
  return m_pclMemo != nullptr ? m_pclMemo->pclGetAt(i) : nullptr;
}

CNAConvertVariant* CNARecordValue::pclGetMemoValue(int i) const {
  CNAConvertVariant* value = pclGetMemoValueNoRef(i);
  if (value != nullptr) value->AddRef();
  return value;
}

BOOL CNARecordValue::bGetMemoValue(CAny* out, int i) const {
  if (out == nullptr) return FALSE;
  const CNAConvertVariant* value = pclGetMemoValueNoRef(i);
  if (value != nullptr) return value->bGetValue(out);
  out->SetNull(true);
  return TRUE;
}

BOOL CNARecordValue::bGetItemValue(CAny* out, INAItemDescription* item) const {
  if (out == nullptr) return FALSE;
  if (m_pclRecord != nullptr && item != nullptr && m_pclRecord->bItemValueDefined(item, 0)) {
    m_pclRecord->GetItemValue(out, item, 0);
    return TRUE;
  }
  if (item != nullptr) out->__SetType(ConverteItemToZVType(item), 0);
  out->SetNull(true);
  return TRUE;
}

BOOL CNARecordValue::bEquals(const CNARecordValue* other, int withMemos) const {
  if (other == nullptr) return FALSE;
  if (m_pclRecord == nullptr || !m_pclRecord->bEquals(other->m_pclRecord)) return FALSE;
  return withMemos == 0 || CNARecordMemo::g_bEqualsNARecordMemo(m_pclMemo, other->m_pclMemo);
}

// ================================================================ CNARecord

CNARecord::CNARecord(CNAError* error, CNADataAccess* access)
    : m_pclError(error),
      m_pclDataAccess(access),
      m_tabColumn(20),
      m_tabColumnOrder(10),
      m_tabColumnMemo(1),
      m_tabComposedKey(1) {
  CNAError::s_Hold(m_pclError);
}

CNARecord::~CNARecord() {
  DeleteAllColumn();
  if (m_pclColumnIDAuto != nullptr) m_pclColumnIDAuto->nRelease();
  if (m_pclUniqueKey != nullptr) m_pclUniqueKey->nRelease();
  _FreeRecordsBuffer();
  _SetConnection(nullptr);
  m_tabComposedKey.SupprimeTout();
  m_tabColumnMemo.SupprimeTout();
  m_tabColumnOrder.SupprimeTout();
  CNAError::s_Drop(&m_pclError);
}

void CNARecord::_NoMemory() const { NoMemoryOn(m_pclError); }

void CNARecord::_SetConnection(CNAConnectionDescription* cnx) {
  if (cnx == m_pclConnection) return;
  if (cnx != nullptr) cnx->AddRef();
  CNAConnectionDescription* former = m_pclConnection;
  m_pclConnection = cnx;
  CNADriver::g_nReleaseConnection(former);
}

const wchar_t* CNARecord::pszGetTableName() const {
  return m_pclDataAccess != nullptr ? m_pclDataAccess->pszGetLogicalName() : L"";
}
CSQLParserInfo* CNARecord::pclGetSourceQueryNoRef() const {
  return m_pclDataAccess != nullptr ? m_pclDataAccess->pclGetSourceQueryNoRef() : nullptr;
}
BOOL CNARecord::bSourceIsQuery() const { return m_pclDataAccess != nullptr && m_pclDataAccess->bSourceIsQuery(); }

// ---------------------------------------------------------------- buffers

void CNARecord::_FreeRecordsBuffer() {
  _EndOriginalTwin();
  if (m_pclCurrent != nullptr) m_pclCurrent->nRelease();
  if (m_pclOriginal != nullptr) m_pclOriginal->nRelease();
  if (m_pclTemplate != nullptr) m_pclTemplate->nRelease();
  m_pclCurrent = m_pclOriginal = nullptr;
  m_pclTemplate = nullptr;
  m_nPlainCopyFound = 0;
}

BOOL CNARecord::_bAllocRecordsBuffer(INADataSourceDescription* desc) {
  _FreeRecordsBuffer();
  CNAKJRecord* record = new (std::nothrow) CNAKJRecord();
  if (record == nullptr || !record->bInit(desc, NA_INIT_DEFAULT)) {
    delete record;
    _NoMemory();
    return FALSE;
  }
  record->AddRef();
  m_pclTemplate = record;
  CNARecordValue* original = new (std::nothrow) CNARecordValue(m_pclError);
  if (original == nullptr) {
    _NoMemory();
    _FreeRecordsBuffer();
    return FALSE;
  }
  original->AddRef();
  m_pclOriginal = original;
  if (!original->bCopyNAKJRecord(m_pclTemplate)) {
    _FreeRecordsBuffer();
    return FALSE;
  }
  if (m_pclDataAccess != nullptr) original->bShareRecordID(m_pclDataAccess->pclAllocRecordID(original));
  m_pclCurrent = original->pclGetClone(NA_COPY_ALL);
  if (m_pclCurrent == nullptr) {
    _FreeRecordsBuffer();
    return FALSE;
  }
  m_pclCurrent->AddRef();
  return TRUE;
}

CNAKJRecord* CNARecord::pclGetOriginalNAKJRecord() const {
  _EndOriginalTwin();
  return m_pclOriginal != nullptr ? m_pclOriginal->pclGetNAKJRecord() : nullptr;
}

BOOL CNARecord::bEquals(const CNARecordValue* value, int withMemos) const {
  return m_pclCurrent != nullptr && m_pclCurrent->bEquals(value, withMemos);
}
BOOL CNARecord::bCopyToCurrentRecord(const CNARecordValue* value) {
  return m_pclCurrent != nullptr && m_pclCurrent->bCopyRecordValue(value, NA_COPY_ALL);
}
BOOL CNARecord::bCopyOriginalRecordToCurrentRecord() { return bCopyToCurrentRecord(m_pclOriginal); }
BOOL CNARecord::bCopyCurrentRecordToOriginalRecord() {
  _EndOriginalTwin();
  m_bOriginalSet = 1;
  return m_pclOriginal != nullptr && m_pclOriginal->_bCopyRecordValue(m_pclCurrent, NA_COPY_ALL);
}

// ---------------------------------------------------------------- the twin

void CNARecord::_GiveTwinItsCopy() const {
  CNARecordValue* twin = m_pclOriginalTwin;
  m_pclOriginalTwin = nullptr;
  // Same layout, no memo, identifiers of the record-values kind: the copy cannot fail.
  if (m_pclOriginal != nullptr) twin->bCopyRecordValue(m_pclOriginal, NA_COPY_ALL);
  twin->nRelease();
}

BOOL CNARecord::bSetNAKJRecord(const CNAKJRecord* record) {
  if (m_pclCurrent == nullptr) return FALSE;
  const BOOL ok = m_pclCurrent->bCopyNAKJRecord(record);
  OnNAKJRecordChanged();
  return ok;
}

void CNARecord::OnNAKJRecordChanged() {
  CNAKJRecord* kj = pclGetNAKJRecord();
  if (kj == nullptr) return;
  for (int i = 0; i < m_tabColumn.nGetCount(); ++i) {
    CNAColumn* c = m_tabColumn[i];
    CNAConvertVariant* value = c->pclGetNAValue();
    if (c->bIsMemo() || c->bIsComposedKey() || value == nullptr) continue;
    // The bit of the item's slot: its physical index read once, not asked of the host per column.
    if (kj->bSlotDefined(c->Slot()))
      value->SetNotNull();
    else
      value->SetNull();
  }
}

BOOL CNARecord::bShareCurrentRecordMemoValue(CNAColumn* column, CNAConvertVariant* value) {
  const int i = nIndexOf(m_tabColumnMemo, column);
  if (i < 0) return TRUE;
  return m_pclCurrent != nullptr && m_pclCurrent->bShareMemoValue(i, value);
}

BOOL CNARecord::bUpdateChangedTypeInCurrentRecord(INADataSourceDescription* desc) {
  if (!_bAllocRecordsBuffer(desc)) return FALSE;
  BOOL ok = TRUE;
  for (int i = 0; ok && i < m_tabColumn.nGetCount(); ++i) ok = m_tabColumn[i]->bUpdateChangedTypeInCurrentRecord();
  return ok;
}

void CNARecord::SetDeleted() {
  if (m_pclCurrent != nullptr) m_pclCurrent->SetState(NA_RECORDSTATE_DELETED);
}

// ---------------------------------------------------------------- columns

CNAColumn* CNARecord::_pclAllocColumn(CNAError* error, INAItemDescription* item) {
  CNADriver* driver = CNADriver::s_pclDriver;
  return driver != nullptr ? driver->pclAllocColumn(error, item) : nullptr;
}

BOOL CNARecord::bAddColumn(INAItemDescription* item, CNAItemDescription* imported) {
  if (item == nullptr) return FALSE;
  CNAColumn* column = _pclAllocColumn(m_pclError, item);
  if (column == nullptr) return FALSE;
  column->AddRef();
  m_nColumnStamp = CNAReadStamp::nMove();
  const bool listed = m_tabColumn.AjouteRef(column) != nullptr &&
                      (!column->bIsMemo() || m_tabColumnMemo.AjouteRef(column) != nullptr) &&
                      (!column->bIsComposedKey() || !column->bUnique() || m_tabComposedKey.AjouteRef(column) != nullptr);
  const BOOL ok = listed ? column->vbInit(this, imported) : FALSE;
  if (!listed) _NoMemory();
  column->nRelease();
  return ok;
}

void CNARecord::DeleteAllColumn() {
  m_nColumnStamp = CNAReadStamp::nMove();
  m_tabColumn.SupprimeTout();
}

CNAColumn* CNARecord::pclGetColumnNoRef(const wchar_t* name) const {
  for (int i = 0; i < m_tabColumn.nGetCount(); ++i)
    if (bSameText(m_tabColumn[i]->pszGetName(), name)) return m_tabColumn[i];
  return nullptr;
}

CNAColumn* CNARecord::pclGetColumnNoRef(INAItemDescription* item) const {
  if (item == nullptr) return nullptr;
  if (!bSourceIsQuery()) {
    CNAColumn* c = pclGetColumnNoRef(static_cast<int>(item->nGetPhysicalIndice()));
    if (c != nullptr && (c->piGetItemNoRef() == item || bSameText(c->pszGetName(), item->pszGetName()))) return c;
    // A composite key has no physical place of its own: its physical index names another item.
    return pclGetColumnNoRef(item->pszGetName());
  }
  const wchar_t* inSource = item->pszGetNameInSource();
  const wchar_t* source = item->pszGetSourceName();
  CNAColumn* remembered = nullptr;
  for (int i = 0; i < m_tabColumn.nGetCount(); ++i) {
    CNAColumn* c = m_tabColumn[i];
    INAItemDescription* other = c->piGetItemNoRef();
    const wchar_t* otherInSource = other->pszGetNameInSource();
    const wchar_t* otherSource = other->pszGetSourceName();
    const bool sameName = bSameText(item->pszGetName(), other->pszGetName());
    if (bHasText(inSource) && bHasText(source) && bHasText(otherInSource) && bHasText(otherSource)) {
      if (!bSameText(inSource, otherInSource) || !bSameText(source, otherSource)) continue;
      if (sameName) return c;
      remembered = c;
    } else if (sameName) {
      return c;
    }
  }
  return remembered;
}

CNAColumn* CNARecord::pclGetNAColumnIdentityNoRef() const {
  for (int i = 0; i < m_tabColumn.nGetCount(); ++i)
    if (m_tabColumn[i]->bIsAutoIncrementOnDataBase()) return m_tabColumn[i];
  return nullptr;
}

CNAColumn* CNARecord::pclGetUniqueKeyNotNullNoRef() const {
  if (m_pclUniqueKey != nullptr && m_pclUniqueKey->bValueDefined()) return m_pclUniqueKey;
  CNAColumn* first = pclGetColumnOrderNoRef(0);
  if (first != nullptr && first->bIsUnique() && first->bValueDefined()) return first;
  for (int i = 0; i < m_tabColumn.nGetCount(); ++i)
    if (m_tabColumn[i]->bIsUnique() && m_tabColumn[i]->bValueDefined()) return m_tabColumn[i];
  return nullptr;
}

CNAColumn* CNARecord::pclGetColumnOrderNoRef(int i) const {
  return i >= 0 && i < m_tabColumnOrder.nGetCount() ? m_tabColumnOrder[i] : nullptr;
}

CNAColumn* CNARecord::pclGetComposedKeyNoRef(int i) const {
  return i >= 0 && i < m_tabComposedKey.nGetCount() ? m_tabComposedKey[i] : nullptr;
}

// ---------------------------------------------------------------- initialisation

BOOL CNARecord::bInitRecord(INADataSourceDescription* desc, CNADataSourceDescription* imported,
                            CNAConnectionDescription* cnx) {
  _SetConnection(cnx);
  if (desc == nullptr) return FALSE;
  const int n = desc->nGetNumItems();
  if (n <= 0) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_RECORD, kSiteNoItem, m_pclConnection,
                               desc->pszGetLogicalName(), nullptr, kErrNoItem);
    return FALSE;
  }
  if (!_bAllocRecordsBuffer(desc)) return FALSE;
  for (int i = 0; i < n; ++i) {
    INAItemDescription* item = desc->piNAGetItem(static_cast<unsigned int>(i));
    if (item == nullptr) return FALSE;
    // The server's item of the same name (trailing blanks ignored); composite keys have none.
    CNAItemDescription* importedItem =
        imported != nullptr && !item->bIsComposedKey() ? imported->pclNAGetItem(item->pszGetName(), 3) : nullptr;
    const BOOL added = bAddColumn(item, importedItem);
    if (importedItem != nullptr) importedItem->nExternalRelease();
    item->nExternalRelease();
    if (!added) return FALSE;
    CNAColumn* column = m_tabColumn[m_tabColumn.nGetCount() - 1];
    const eNA_ITEMTYPE type = column->eNAGetItemType();
    if ((type == NA_IT_IDAUTO || type == NA_IT_IDAUTO4) && m_pclColumnIDAuto == nullptr) {
      column->AddRef();
      m_pclColumnIDAuto = column;
    }
    if (m_pclUniqueKey == nullptr && column->piGetItemNoRef()->bUnique()) {
      column->AddRef();
      m_pclUniqueKey = column;
    }
  }
  for (int i = 0; i < m_tabColumn.nGetCount(); ++i) {
    CNAColumn* key = m_tabColumn[i];
    if (!key->bIsComposedKey() || (key->pclGetTabComponent() != nullptr && key->pclGetTabComponent()->nGetCount() > 0))
      continue;
    INAItemDescription* item = key->piGetItemNoRef();
    for (int k = 1; k <= item->nGetNumComponents(); ++k) {
      INAItemDescription* part = item->piGetItemComponent(k);
      CNAColumn* component = pclGetColumnNoRef(part);
      if (part != nullptr) part->nExternalRelease();
      if (component != nullptr && !key->AddCompositeKey(component)) {
        _NoMemory();
        return FALSE;
      }
    }
  }
  _InitOrderBy();
  return TRUE;
}

// ---------------------------------------------------------------- browse order

void CNARecord::_SetOrderAlone(CNAColumn* c) {
  m_tabColumnOrder.SupprimeTout();
  _AddColumnOrder(c);
}

void CNARecord::_AddColumnOrder(CNAColumn* c) {
  const int limit = m_pclConnection != nullptr ? m_pclConnection->nGetOrderByMaxExpressionNbr() : INT32_MAX;
  if (c == nullptr || m_tabColumnOrder.nGetCount() >= limit) return;
  if (!c->bIsComposedKey()) {
    if (nIndexOf(m_tabColumnOrder, c) < 0) m_tabColumnOrder.AjouteRef(c);
    return;
  }
  for (int i = 0; i < m_tabColumnOrder.nGetCount(); ++i)
    if (c->bIsComposedKeyComponent(m_tabColumnOrder[i])) return;
  INAItemDescription* item = c->piGetItemNoRef();
  // An ORDER BY longer than the server allows is refused: a key's last components stay out.
  for (int k = 1; k <= item->nGetNumComponents() && m_tabColumnOrder.nGetCount() < limit; ++k) {
    INAItemDescription* part = item->piGetItemComponent(k);
    CNAColumn* component = pclGetColumnNoRef(part);
    if (part != nullptr) part->nExternalRelease();
    if (component != nullptr) m_tabColumnOrder.AjouteRef(component);
  }
}

void CNARecord::_InitOrderBy() {
  // The ORDER BY of a parsed source query comes first; a table has none. Once it reaches the
  // automatic identifier the order is total and stays as the query wrote it.
  CSQLParserInfo* query = bSourceIsQuery() ? pclGetSourceQueryNoRef() : nullptr;
  if (query != nullptr) {
    for (IInfoOrderBy* entry = query->piEnumRubriqueClauseOrder(1); entry != nullptr;
         entry = query->piEnumRubriqueClauseOrder(0)) {
      CNAColumn* c = pclGetColumnNoRef(entry->nGetIndex());
      _AddColumnOrder(c);
      if (c != nullptr && c == m_pclColumnIDAuto && nIndexOf(m_tabColumnOrder, c) >= 0) return;
    }
  }
  if (m_pclColumnIDAuto != nullptr) {
    _SetOrderAlone(m_pclColumnIDAuto);
    return;
  }
  const int n = m_tabColumn.nGetCount();
  for (int composite = 0; composite < 2; ++composite) {
    for (int i = 0; i < n; ++i) {
      CNAColumn* c = m_tabColumn[i];
      if ((c->bIsComposedKey() ? 1 : 0) != composite || !c->piGetItemNoRef()->bUnique()) continue;
      if (!c->bIsNullableOnDataBase()) {
        _SetOrderAlone(c);
        return;
      }
      _AddColumnOrder(c);
    }
  }
  for (int composite = 0; composite < 2; ++composite)
    for (int i = 0; i < n; ++i) {
      CNAColumn* c = m_tabColumn[i];
      if ((c->bIsComposedKey() ? 1 : 0) == composite && c->piGetItemNoRef()->bDuplicates()) _AddColumnOrder(c);
    }
  for (int i = 0; i < n; ++i) {
    CNAColumn* c = m_tabColumn[i];
    INAItemDescription* item = c->piGetItemNoRef();
    if (!item->bUnique() && !item->bDuplicates() && !c->bIsMemo()) _AddColumnOrder(c);
  }
}

// ---------------------------------------------------------------- composite keys in searches

BOOL CNARecord::bComposedKeyUniqueNotNullAdded(const CRefArray<CNAColumn>* list, int n,
                                               CColumnNullValueExcluded* excluded) {
  if (list == nullptr || n < 2 || n > list->nGetCount() || m_tabComposedKey.nGetCount() == 0) return FALSE;
  CNAColumn* last = (*list)[n - 1];
  for (int k = 0; k < m_tabComposedKey.nGetCount(); ++k) {
    CNAColumn* key = m_tabComposedKey[k];
    const CRefArray<CNAColumn>* components = key->pclGetTabComponent();
    if (components == nullptr || nIndexOf(*components, last) < 0 || n < components->nGetCount()) continue;
    bool notNull = !key->bIsNullableOnDataBase();
    bool complete = true;
    for (int c = 0; c < components->nGetCount(); ++c) {
      CNAColumn* component = (*components)[c];
      bool listed = false;
      for (int j = 0; j < n && !listed; ++j) listed = (*list)[j] == component;
      if (!listed) {
        complete = false;
        break;
      }
      if (!notNull)
        notNull = excluded != nullptr ? !excluded->bColumnValuesNullSelected(component) : component->bValueDefined();
    }
    if (complete && notNull) return TRUE;
  }
  return FALSE;
}

// ---------------------------------------------------------------- dump

void CNARecord::CurrentRecordToString(CXYStringConcat<wchar_t>* out) const {
  if (out == nullptr) return;
  out->Vide();
  CNARecordId* id = m_pclCurrent != nullptr ? m_pclCurrent->pclGetRecordIdNoRef() : nullptr;
  if (id != nullptr) {
    CXYString<wchar_t> line;
    id->RecordIdToString(&line, L"<Record ID> : ", 1);
    out->Add(line.pszGet());
  } else {
    out->Add(L"<Record ID> : NULL");
  }
  out->Add(L"\n<NullValuesFlags (0=NULL)> :");
  const CNAKJRecord* kj = pclGetNAKJRecord();
  for (unsigned int i = 0; kj != nullptr && i < kj->nGetFlagFieldSize(); ++i) {
    out->Add(L" ");
    out->AddNumberBinary(kj->pbyGetNullValuesFlags()[i], 1);
  }
  CXYStringConcat<wchar_t> line;
  for (int i = 0; i < m_tabColumn.nGetCount() && !m_tabColumn[i]->bIsComposedKey(); ++i) {
    m_tabColumn[i]->bCurrentValueToString(&line, 1);
    out->Add(L"\n");
    out->Add(line.pszGet());
  }
}

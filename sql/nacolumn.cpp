#include "sql/nacolumn.h"
#include "sql/nastatement.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "access/narecord.h"
#include "common/utf.h"
#include "common/xystring.h"
#include "common/xystring_conversion.h"
#include "common/xystringconcat.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "platform/codepage.h"
#include "sql/inaitemdescription.h"
#include "sql/naconvertvariant.h"
#include "sql/nainsertform.h"
#include "sql/naitemdescription.h"
#include "sql/nakjrecord.h"
#include "values/any.h"
#include "values/any_display.h"
#include "values/any_operators.h"

namespace {

bool bIsDate(eNA_ITEMTYPE t) { return t == NA_IT_DATE6 || t == NA_IT_DATE8 || t == NA_IT_DATETIME; }
bool bIsText(eNA_ITEMTYPE t) {
  return t == NA_IT_TEXTE || t == NA_IT_MEMOTEXTE || t == NA_IT_UNICODE || t == NA_IT_MEMOUNICODE || t == NA_IT_CHAR;
}
bool bIsBinary(eNA_ITEMTYPE t) { return t == NA_IT_BINAIRE || t == NA_IT_MEMOBINAIRE; }
bool bIsAuto(eNA_ITEMTYPE t) { return t == NA_IT_IDAUTO || t == NA_IT_IDAUTO4; }

// The value's data bytes (text without terminator); false for a class that has none.
bool bValueBytes(const CAny& value, const unsigned char** bytes, unsigned int* size) {
  void* p = nullptr;
  unsigned int n = 0;
  if (value.Intern()->nGetDataAdr(&p) != 0 || value.Intern()->nGetUtilDataSize(&n) != 0) return false;
  *bytes = static_cast<const unsigned char*>(p);
  *size = p != nullptr ? n : 0;
  return true;
}

// Integers and reals: a condition on the server compares the sought value converted to the
// item's type first ("0.1" is the double nearest to it, "1.5" an integer rounded).
bool bSoughtInItsType(eNA_ITEMTYPE t) {
  switch (t) {
    case NA_IT_I1: case NA_IT_I2: case NA_IT_I4: case NA_IT_I8: case NA_IT_UI1: case NA_IT_UI2: case NA_IT_UI4:
    case NA_IT_UI8: case NA_IT_IDAUTO: case NA_IT_IDAUTO4: case NA_IT_R4: case NA_IT_R8: case NA_IT_REELTURBO:
      return true;
    default: return false;
  }
}

bool bAnsiOrSame(unsigned short a, unsigned short b) {
  return a == b || (g_bIsZVTextAnsi(a) && g_bIsZVTextAnsi(b)) || (g_bIsZVTextWide(a) && g_bIsZVTextWide(b));
}

}  // namespace

CNAColumn::CNAColumn(CNAError* error, INAItemDescription* item) : m_piItem(item), m_pclError(error) {
  if (m_piItem != nullptr) m_piItem->ExternalAddRef();
  CNAError::s_Hold(m_pclError);
}

CNAColumn::~CNAColumn() {
  if (m_piItem != nullptr) m_piItem->nExternalRelease();
  if (m_pclValue != nullptr) m_pclValue->nRelease();
  if (m_pclImported != nullptr) m_pclImported->nExternalRelease();
  CNAError::s_Drop(&m_pclError);
  delete m_pTabComponent;
}

// ---------------------------------------------------------------- the item

INAItemDescription* CNAColumn::piGetItem() const {
  return m_piItem != nullptr ? m_piItem->ExternalAddRef() : nullptr;
}
const wchar_t* CNAColumn::pszGetName() const { return m_piItem != nullptr ? m_piItem->pszGetName() : L""; }
const wchar_t* CNAColumn::pszGetOriginalName() const {
  const wchar_t* inSource = m_piItem != nullptr ? m_piItem->pszGetNameInSource() : nullptr;
  return inSource != nullptr && *inSource != 0 ? inSource : pszGetName();
}
const wchar_t* CNAColumn::pszGetSourceName() const {
  const wchar_t* s = m_piItem != nullptr ? m_piItem->pszGetSourceName() : nullptr;
  return s != nullptr ? s : L"";
}
unsigned int CNAColumn::nGetPhysicalIndice() const { return m_piItem->nGetPhysicalIndice(); }
// Once the item's shape is read (Slot), it answers: the item is the column's for its life.
BOOL CNAColumn::bIsComposedKey() const { return m_stSlot.bRead ? m_stSlot.bComposedKey : m_piItem->bIsComposedKey(); }
BOOL CNAColumn::bIsMemo() const { return m_stSlot.bRead ? m_stSlot.bMemo : m_piItem->bMemo(); }
BOOL CNAColumn::bIsMemoText() const { return m_piItem->bMemoText(); }
BOOL CNAColumn::bIsMemoBin() const { return m_piItem->bMemoBinary(); }
BOOL CNAColumn::bLiteral() const { return m_piItem->bLiteral(); }
int CNAColumn::nGetIntegerPart() const { return m_piItem->nGetIntegerPart(); }
int CNAColumn::nGetDecimalPart() const { return m_piItem->nGetDecimalPart(); }
eNA_ITEMTYPE CNAColumn::eNAGetItemType() const { return m_piItem->eNAGetItemType(); }
BOOL CNAColumn::bGetDescendantComponent(int n) const { return m_piItem->bGetDescendant(n); }
unsigned int CNAColumn::nGetItemSize() const { return m_piItem->nGetItemSize(); }
unsigned int CNAColumn::nGetLogicalSize() const { return m_piItem->nGetLogicalSize(0); }
int CNAColumn::nGetLogicalSizeOnDatabase() const {
  return m_pclImported != nullptr ? static_cast<int>(m_pclImported->nGetLogicalSize(0)) : -1;
}
BOOL CNAColumn::bIsMemoDB() const { return m_pclImported != nullptr ? m_pclImported->bMemo() : bIsMemo(); }
eNA_ITEMTYPE CNAColumn::eNAGetItemTypeOnDatabaseEx() const {
  return m_pclImported != nullptr ? m_pclImported->eNAGetItemType() : eNAGetItemType();
}
eNA_ITEMTYPE CNAColumn::eNAGetItemTypeOnDatabase() const {
  return m_pclImported != nullptr ? m_pclImported->eNAGetDBType(pclGetCnx()) : NA_IT_EMPTY;
}
int CNAColumn::nGetDBType() const { return m_pclImported != nullptr ? m_pclImported->nGetDBType() : 0; }
BOOL CNAColumn::bIsIdAuto() const { return bIsAuto(eNAGetItemType()); }
BOOL CNAColumn::bIsAutoIncrementOnDataBase() const {
  return m_pclImported != nullptr && bIsAuto(m_pclImported->eNAGetItemType()) ? TRUE : FALSE;
}
BOOL CNAColumn::bUpdatable() const {
  // A column the server has not described follows its own item.
  return m_pclImported != nullptr ? m_pclImported->bUpdatable() : m_piItem->bUpdatable();
}
BOOL CNAColumn::bIsUnique() const {
  return m_piItem->bUnique() || (m_pclImported != nullptr && m_pclImported->bUnique()) ? TRUE : FALSE;
}
BOOL CNAColumn::bUnique() const { return bIsUnique(); }
BOOL CNAColumn::bPrimary() const {
  return bIsIdAuto() || m_piItem->bPrimary() || (m_pclImported != nullptr && m_pclImported->bPrimary()) ? TRUE
                                                                                                         : FALSE;
}
BOOL CNAColumn::bGetIgnoreCase(int n) const {
  return m_pclImported != nullptr ? m_pclImported->bGetIgnoreCase(n) : m_piItem->bGetIgnoreCase(n);
}
BOOL CNAColumn::bUniqueNotNull() const {
  return m_piItem->bUniqueNotNull() || (m_pclImported != nullptr && m_pclImported->bUniqueNotNull()) ? TRUE : FALSE;
}
BOOL CNAColumn::bIsNullable() const {
  if (m_piItem->nGetVersion() > 8) return m_piItem->vbConstraintNullAllowed();
  return m_piItem->bPrimary() || bIsIdAuto() ? FALSE : TRUE;
}
BOOL CNAColumn::bIsNullableOnDataBase() const {
  if (m_pclImported != nullptr) return m_pclImported->bNullable();
  // A composite key is NULL only through a part: one whose every part the server holds NOT NULL
  // is never NULL, whatever the host's item of the key says.
  if (m_pTabComponent != nullptr && m_pTabComponent->nGetCount() > 0) {
    bool partNullable = false;
    for (int i = 0; i < m_pTabComponent->nGetCount() && !partNullable; ++i)
      partNullable = (*m_pTabComponent)[i]->bIsNullableOnDataBase() != FALSE;
    if (!partNullable) return FALSE;
  }
  return bIsNullable();
}
unsigned short CNAColumn::eGetZVType() const { return ConverteItemToZVType(m_piItem); }

// ---------------------------------------------------------------- the record

CNAConnectionDescription* CNAColumn::pclGetCnx() const {
  return m_pclRecord != nullptr ? m_pclRecord->pclGetConnectionNoRef() : nullptr;
}
BOOL CNAColumn::bSourceIsQuery() const { return m_pclRecord != nullptr && m_pclRecord->bSourceIsQuery(); }
const wchar_t* CNAColumn::pszGetTableName() const {
  return m_pclRecord != nullptr ? m_pclRecord->pszGetTableName() : L"";
}
CSQLParserInfo* CNAColumn::pclGetSourceQueryNoRef() const {
  return m_pclRecord != nullptr ? m_pclRecord->pclGetSourceQueryNoRef() : nullptr;
}
int CNAColumn::eGetTypeColonne() const {
  if (!bSourceIsQuery()) return 0;
  // A query's items are the driver's own descriptions.
  const auto* item = dynamic_cast<const CNAItemDescription*>(m_piItem);
  return item != nullptr ? item->nGetCalculation() : 0;
}
int CNAColumn::nGetMemoIndice() const {
  if (m_pclRecord == nullptr) return -1;
  const CRefArray<CNAColumn>* memos = m_pclRecord->pclGetTabColumnMemo();
  for (int i = 0; i < memos->nGetCount(); ++i)
    if ((*memos)[i] == this) return i;
  return -1;
}
BYTE* CNAColumn::pGetValuePtr(CNARecord* record) const {
  if (record == nullptr) record = m_pclRecord;
  CNAKJRecord* kj = record != nullptr ? record->pclGetNAKJRecord() : nullptr;
  return kj != nullptr ? kj->pbyGetItemValue(m_piItem, 0) : nullptr;
}
CNAKJRecord* CNAColumn::_pclCurrentKJ() const {
  return m_pclRecord != nullptr ? m_pclRecord->pclGetNAKJRecord() : nullptr;
}
CNAKJRecord* CNAColumn::_pclOriginalKJ() const {
  return m_pclRecord != nullptr ? m_pclRecord->pclGetOriginalNAKJRecord() : nullptr;
}

// ---------------------------------------------------------------- composite keys

BOOL CNAColumn::AddCompositeKey(CNAColumn* component) {
  if (component == nullptr) return FALSE;
  if (m_pTabComponent == nullptr) {
    m_pTabComponent = new (std::nothrow) CRefArray<CNAColumn>(1);
    if (m_pTabComponent == nullptr) return FALSE;
  }
  return m_pTabComponent->AjouteRef(component) != nullptr ? TRUE : FALSE;
}

BOOL CNAColumn::bIsComposedKeyComponent(CNAColumn* column) const {
  if (column == nullptr || m_pclRecord == nullptr) return FALSE;
  const int n = m_piItem->nGetNumComponents();
  for (int k = 1; k <= n; ++k) {
    INAItemDescription* component = m_piItem->piGetItemComponent(k);
    if (component == nullptr) continue;
    const bool found = m_pclRecord->pclGetColumnNoRef(component) == column;
    component->nExternalRelease();
    if (found) return TRUE;
  }
  return FALSE;
}

BOOL CNAColumn::_bGetComposedKeyValue(unsigned char* buffer, unsigned int size) {
  if (m_pTabComponent == nullptr) return TRUE;
  unsigned int at = 0;
  for (int k = 0; k < m_pTabComponent->nGetCount(); ++k) {
    CNAColumn* c = (*m_pTabComponent)[k];
    const eNA_ITEMTYPE type = c->eNAGetItemType();
    unsigned int width = c->piGetItemNoRef()->nGetTotalSize();
    if (type == NA_IT_TEXTE) width = width >= 1 ? width - 1 : 0;
    if (type == NA_IT_UNICODE) width = width >= 2 ? width - 2 : 0;
    // The key never grows past its own size.
    width = std::min(width, size - at);
    unsigned char* field = buffer + at;
    memset(field, 0, width);
    at += width;
    CAny value;
    if (!c->bGetCurrentValue(&value, 0)) return FALSE;
    if (value.bIsNull()) continue;
    if (type == NA_IT_UNICODE) {
      // UTF-16 units as the host's keys hold them: a pair that does not fit is left out whole.
      const wchar_t* text = nullptr;
      unsigned int n = 0;
      if (value.Intern()->nGetPCWSTR(&text) != 0 || text == nullptr) continue;
      value.Intern()->nGetSTRLEN(&n);
      std::vector<unsigned short> units(width / 2 + 1);
      const int written =
          WideCharToUTF16(text, static_cast<int>(n), units.data(), static_cast<int>(width / 2));
      memcpy(field, units.data(), static_cast<size_t>(written) * 2);
      continue;
    }
    const unsigned char* bytes = nullptr;
    unsigned int n = 0;
    if (type == NA_IT_DECIMAL) {
      // A decimal has no bytes of its own: its slot holds the host's form of it.
      bytes = c->pGetValuePtr();
      n = bytes != nullptr ? c->nGetItemSize() : 0;
    } else if (!bValueBytes(value, &bytes, &n)) {
      return FALSE;
    }
    if (type == NA_IT_BINAIRE) {
      // The host's form: the 16-bit length, then the bytes, zero-filled to the component's size.
      if (width < 2) continue;
      const uint16_t length = static_cast<uint16_t>(std::min<unsigned int>({n, width - 2, 0xFFFFu}));
      memcpy(field, &length, 2);
      if (bytes != nullptr) memcpy(field + 2, bytes, length);
      continue;
    }
    if (bytes != nullptr) memcpy(field, bytes, std::min(n, width));
  }
  return TRUE;
}

// ---------------------------------------------------------------- names

BOOL CNAColumn::bFormatName() {
  CNAConnectionDescription* cnx = pclGetCnx();
  if (cnx == nullptr) return FALSE;
  CNAInsertForm::NoteNameMade();
  return cnx->bFormatItemName(m_pclError, pszGetName(), &m_csFormatedName) &&
                 cnx->bFormatItemName(m_pclError, pszGetOriginalName(), &m_csFormatedOriginalName)
             ? TRUE
             : FALSE;
}

const wchar_t* CNAColumn::pszGetFormatedSelectName(int withName) {
  // Every SELECT a table's browse sends names its columns: a name that needs nothing added is
  // handed out as the column keeps it, not copied.
  if (withName != 0) return m_csFormatedName.pszGet();
  if (!bSourceIsQuery()) return m_csFormatedOriginalName.pszGet();
  m_csFormatedSelectName.Vide();
  if (m_csFormatedAliasNomTable.nTaille() > 0) {
    m_csFormatedSelectName = m_csFormatedAliasNomTable;
  } else if (*pszGetSourceName() != 0 && pclGetCnx() != nullptr) {
    pclGetCnx()->bFormatTableName(m_pclError, pszGetSourceName(), &m_csFormatedSelectName);
  }
  if (m_csFormatedSelectName.nTaille() > 0) m_csFormatedSelectName.Add(L'.');
  m_csFormatedSelectName.Add(m_csFormatedOriginalName.pszGet());
  return m_csFormatedSelectName.pszGet();
}

// ---------------------------------------------------------------- initialisation

BOOL CNAColumn::vbInit(CNARecord* record, CNAItemDescription* imported) {
  m_pclRecord = record;
  if (!bFormatName()) return FALSE;
  if (imported != nullptr && !bSetImportedItemDesc(imported)) return FALSE;
  return bIsComposedKey() ? TRUE : bInitVariant(record);
}

BOOL CNAColumn::bSetImportedItemDesc(CNAItemDescription* imported) {
  if (imported == m_pclImported) return TRUE;
  if (imported != nullptr) imported->ExternalAddRef();
  // The converter reads and writes by the server's item: it follows (its host item stays).
  if (m_pclValue != nullptr) m_pclValue->SetItemDesc(m_piItem, imported);
  if (m_pclImported != nullptr) m_pclImported->nExternalRelease();
  m_pclImported = imported;
  return TRUE;
}

BOOL CNAColumn::bInitVariant(CNARecord* record) {
  if (record == nullptr) return FALSE;
  if (m_pclValue == nullptr) {
    CNADriver* driver = CNADriver::s_pclDriver;
    CNAConvertVariant* value = driver != nullptr ? driver->pclAllocVariant(m_pclError, record->pclGetConnectionNoRef())
                                                 : nullptr;
    if (value == nullptr) return FALSE;
    value->AddRef();
    m_pclValue = value;
  }
  if (bIsMemo()) {
    m_pclValue->InitTypeVariantAny(eGetZVType(), 0);
    m_pclValue->SetItemDesc(m_piItem, m_pclImported);
  } else {
    BYTE* slot = pGetValuePtr(record);
    if (slot == nullptr || !m_pclValue->bInitTypeVariant(NA_VAR_BUFFER, slot, nGetItemSize(), eGetZVType()))
      return FALSE;
    m_pclValue->SetItemDesc(m_piItem, m_pclImported);
  }
  // A new converter says what the record says, so a memo not yet set is NULL.
  CNAKJRecord* kj = record->pclGetNAKJRecord();
  if (kj != nullptr && !kj->bItemValueDefined(m_piItem, 0))
    m_pclValue->SetNull();
  if (bIsMemo()) return record->bShareCurrentRecordMemoValue(this, m_pclValue);
  return TRUE;
}

BOOL CNAColumn::bUpdateChangedTypeInCurrentRecord() {
  // A composite key has no value of its own to bind.
  return bIsComposedKey() ? TRUE : bInitVariant(m_pclRecord);
}

BOOL CNAColumn::bInitVariant_NV_Any(CNAError*, CNAConvertVariant* converter, unsigned short hostType) {
  if (converter == nullptr) return FALSE;
  converter->InitTypeVariantAny(hostType != 0 ? hostType : eGetZVType(), m_piItem, m_pclImported);
  return TRUE;
}

CNAConvertVariant* CNAColumn::pclGetVariantClone() const {
  return m_pclValue != nullptr ? m_pclValue->pclGetCloneVariant() : nullptr;
}

BOOL CNAColumn::bValueIsUnreadYet() const {
  return m_pclValue != nullptr && m_pclValue->eGetVarType() == NA_VAR_NOTREAD ? TRUE : FALSE;
}

void CNAColumn::_SyncNullWithRecord() {
  CNAKJRecord* kj = _pclCurrentKJ();
  if (m_pclValue == nullptr || kj == nullptr) return;
  if (kj->bItemValueDefined(m_piItem, 0))
    m_pclValue->SetNotNull();
  else
    m_pclValue->SetNull();
}

BOOL CNAColumn::bConvertDataToDB() {
  if (m_pclValue == nullptr) return FALSE;
  if (m_pclValue->eGetVarType() == NA_VAR_BUFFER) _SyncNullWithRecord();
  return m_pclValue->bConvertDataToDB();
}

// ---------------------------------------------------------------- reading

BOOL CNAColumn::_bGetValue(const CNAKJRecord* record, CAny* out) const {
  if (out == nullptr || record == nullptr) return FALSE;
  if (!record->bItemValueDefined(m_piItem, 0)) {
    out->__SetType(eGetZVType(), 0);
    out->SetNull(true);
    return TRUE;
  }
  record->GetItemValue(out, m_piItem, 0);
  return TRUE;
}

BOOL CNAColumn::bGetCurrentValue(CAny* out, unsigned int) {
  if (out == nullptr) return FALSE;
  if (bIsComposedKey()) {
    std::vector<unsigned char> key(nGetItemSize(), 0);
    const BOOL ok = _bGetComposedKeyValue(key.data(), static_cast<unsigned int>(key.size()));
    out->SetBIN(key.data(), static_cast<unsigned int>(key.size()));
    return ok;
  }
  if (!bIsMemo()) return _bGetValue(_pclCurrentKJ(), out);
  if (m_pclValue == nullptr) {
    out->__SetType(eGetZVType(), 0);
    out->SetNull(true);
    return TRUE;
  }
  if (m_csMemoFile.nTaille() > 0 && m_pclValue->bIsNull() && !_bLoadMemoFile()) return FALSE;
  m_pclValue->bGetValue(out);
  return TRUE;
}

BOOL CNAColumn::_bLoadMemoFile() {
  const eNA_ITEMTYPE type = eNAGetItemType();
  // A text memo's value keeps its type: the rows read after the write are text again.
  if (type != NA_IT_MEMOUNICODE)
    return m_pclValue->bLoadFile(m_csMemoFile.pszGet(), m_pclError, type == NA_IT_MEMOTEXTE ? 0 : 1);
  CAny file;
  if (!CNAVariant::gbLoadFile(&file, m_csMemoFile.pszGet(), m_pclError, 1)) return FALSE;
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  if (!bValueBytes(file, &data, &size)) size = 0;
  const char* bytes = size > 0 ? reinterpret_cast<const char*>(data) : "";
  // A file that is no UTF-8 is taken as text of the host's page, as any attached file was.
  CNAConnectionDescription* cnx = pclGetCnx();
  const int page = UTF8Valide(bytes, static_cast<int>(size)) || cnx == nullptr ? CP_UTF8 : cnx->nGetHostCodePage();
  const CXYString<wchar_t> wide = PCASTR_To_CWString(bytes, page, static_cast<int>(size));
  CAny text;
  text.__SetType(ZV_DSTRW, 0);
  text.Intern()->SetValue(wide.pszGet(), static_cast<unsigned int>(wide.nGetLength()) * sizeof(wchar_t));
  text.SetFlags(0);
  return m_pclValue->bSetValue(&text);
}

BOOL CNAColumn::bGetOriginalValue(CAny* out, unsigned int) { return _bGetValue(_pclOriginalKJ(), out); }

BOOL CNAColumn::bCurrentValueToString(CXYStringConcat<wchar_t>* out, int withName) {
  if (out == nullptr) return FALSE;
  out->Vide();
  if (withName != 0) {
    out->Add(L"<");
    out->Add(pszGetName());
    out->Add(L"> = <");
  }
  BOOL ok = TRUE;
  if (bValueIsUnreadYet()) {
    out->Add(L"UNREAD YET");
  } else {
    CAny value;
    ok = bGetCurrentValue(&value, 0);
    if (!ok) {
      if (withName != 0) out->Add(L"ERROR RETRIEVING VALUE");
    } else if (value.bIsNull()) {
      if (withName != 0) out->Add(L"NULL");
    } else {
      CXYString<wchar_t> text;
      if (nGetString(&text, value, nullptr, 0) == 0) {
        out->Add(text.pszGet());
      } else if (withName != 0) {
        unsigned int size = 0;
        value.Intern()->nGetDataSize(&size);
        out->Add(L"IMPOSSIBLE TEXT CONVERSION (ZV Type=");
        out->AddNumber(static_cast<int>(value.wGetType()));
        out->Add(L", Data Size=");
        out->AddNumber(static_cast<long long>(size));
        out->Add(L")");
      }
    }
  }
  if (withName != 0) out->Add(L">");
  return ok;
}

// ---------------------------------------------------------------- writing

BOOL CNAColumn::bSetValue(const CAny* value, unsigned int) {
  if (bIsMemo()) {
    if (m_pclValue == nullptr) return FALSE;
    m_csMemoFile.Vide();
    m_bMemoModified = 0;
    const BOOL ok = m_pclValue->bSetValue(value);
    // The record's bit says what the converter holds: a memo set NULL is NULL for the host too.
    if (ok) _SetItemValueDefinedInKJRecord(m_pclValue->bIsNull() ? FALSE : TRUE, 0);
    return ok;
  }
  CNAKJRecord* kj = _pclCurrentKJ();
  if (kj == nullptr) return FALSE;
  kj->SetItemValue(m_piItem, value, 0);
  _SyncNullWithRecord();
  return TRUE;
}

BOOL CNAColumn::bSetValueNULL() {
  CAny null;
  null.SetNull(true);
  return bSetValue(&null, 0);
}

BOOL CNAColumn::bSetValueToDB(const CAny* value, unsigned int flags) {
  if (bIsMemo()) return _bSetValueMemoToDB(value, flags);
  return m_pclValue != nullptr ? m_pclValue->bSetValue(value) : FALSE;
}

BOOL CNAColumn::_bMemoValueNULL(const CAny* value) { return value == nullptr || value->bIsNull() ? TRUE : FALSE; }

BOOL CNAColumn::_bSetValueMemoToDB(const CAny* value, unsigned int) {
  if (m_pclValue == nullptr) return FALSE;
  // An empty memo is a value of its own, never NULL: written over NULL as an add writes it.
  const BOOL isNull = _bMemoValueNULL(value);
  CNAKJRecord* kj = _pclCurrentKJ();
  if (!isNull && kj != nullptr && !kj->bItemValueDefined(m_piItem, 0)) _SetItemValueDefinedInKJRecord(TRUE, 0);
  m_csMemoFile.Vide();
  if (m_pclValue->eGetVarType() == NA_VAR_NOTREAD) {
    m_bMemoModified = 1;
    return m_pclValue->bSetValue(value);
  }
  CNAKJRecord* original = _pclOriginalKJ();
  if (original != nullptr && !original->bItemValueDefined(m_piItem, 0) && isNull) {
    m_pclValue->SetNull();
    m_bMemoModified = 0;
    return TRUE;
  }
  if (!m_bMemoModified) {
    if (m_pclValue->bIsNull()) {
      m_bMemoModified = isNull ? 0 : 1;
    } else if (isNull) {
      // NULL over a value: the comparison below answers nothing when one side is NULL.
      m_bMemoModified = 1;
    } else {
      CAny current;
      m_pclValue->bGetValue(&current);
      int different = 0;
      CAny given;
      if (value != nullptr) given = *value;
      nDifferent(current, given, &different, 0);
      if (different) m_bMemoModified = 1;
    }
  }
  return m_bMemoModified ? m_pclValue->bSetValue(value) : TRUE;
}

BOOL CNAColumn::bCheckAndCorrectKJRecordValues() {
  if (bIsComposedKey()) return TRUE;
  if (bIsMemo()) {
    CNAKJRecord* kj = _pclCurrentKJ();
    if (kj != nullptr && kj->bItemValueDefined(m_piItem, 0)) {
      _SetItemValueDefinedInKJRecord(TRUE, 0);
      return TRUE;
    }
    CAny null;
    null.SetNull(true);
    _bSetValueMemoToDB(&null, 0);
    return TRUE;
  }
  if (!bValueDefined()) {
    bSetValueNULL();
    // From here the bit says what bValueDefined says, whether or not the NULL was taken.
    _SetItemValueDefinedInKJRecord(FALSE, 0);
  } else if (m_pclValue != nullptr && m_pclValue->eGetVarType() == NA_VAR_BUFFER)
    m_pclValue->SetNotNull();
  return TRUE;
}

BOOL CNAColumn::bSetValueFromDB(CNAStatement*, unsigned int) { return FALSE; }

void CNAColumn::_SetItemValueDefinedInKJRecord(BOOL defined, int element) {
  CNAKJRecord* kj = _pclCurrentKJ();
  if (kj == nullptr) return;
  // Marking defined a plain item already marked changes nothing: no bytes move for it.
  if (defined && !bIsMemo() && kj->bItemValueDefined(m_piItem, element)) return;
  kj->SetItemValueDefined(m_piItem, defined, element);
}

// ---------------------------------------------------------------- NULL tests

BOOL CNAColumn::bNull() const { return m_pclValue == nullptr || m_pclValue->bIsNull() ? TRUE : FALSE; }

BOOL CNAColumn::bNullOrEquivalent(const CAny* value) const {
  if (value == nullptr || value->bIsNull()) return TRUE;
  const eNA_ITEMTYPE t = eNAGetItemType(), d = eNAGetItemTypeOnDatabase();
  const bool date = bIsDate(t) || d == NA_IT_DATE6 || d == NA_IT_DATE8 || (d == NA_IT_DATETIME && t != NA_IT_HEURE);
  if (!date) {
    const CNAConnectionDescription* cnx = pclGetCnx();
    if (cnx == nullptr || cnx->nGetDataSource() != 1) return FALSE;
    if (!bIsText(t) && !bIsText(d)) {
      if (!bIsBinary(t) && !bIsBinary(d)) return FALSE;
      unsigned int size = 0;
      return value->Intern()->nGetUtilDataSize(&size) == 0 && size == 0 ? TRUE : FALSE;
    }
  }
  if (value->wGetType() == ZV_DATETIME) {
    unsigned char words[8] = {};
    void* p = nullptr;
    if (value->Intern()->nGetDataAdr(&p) == 0 && p != nullptr) memcpy(words, p, sizeof words);
    static const unsigned char zero[8] = {};
    return memcmp(words, zero, sizeof words) == 0 ? TRUE : FALSE;
  }
  if (!bIsNullableOnDataBase() && (bIsText(t) || bIsText(d) || t == NA_IT_HEURE || d == NA_IT_HEURE)) return FALSE;
  CAny text(*value);
  const wchar_t* s = nullptr;
  if (text.__nCastToString(&s, nullptr) > 99) return FALSE;
  return s == nullptr || *s == 0 ? TRUE : FALSE;
}

BOOL CNAColumn::bNullOrEquivalent(const CNAVariant* value) const {
  if (value == nullptr || value->pclGetValue()->bIsNull()) return TRUE;
  CAny held;
  value->vbGetValue(&held);
  return bNullOrEquivalent(&held);
}

// What the NULL-equivalence of a defined value of a plain column depends on, by its types and
// dialect alone (the rules of bNullOrEquivalent(const CAny*)).
CNAColumn::eNULLTEST CNAColumn::_eNullTest() const {
  const eNA_ITEMTYPE t = eNAGetItemType(), d = eNAGetItemTypeOnDatabase();
  const bool date = bIsDate(t) || d == NA_IT_DATE6 || d == NA_IT_DATE8 || (d == NA_IT_DATETIME && t != NA_IT_HEURE);
  if (!date) {
    const CNAConnectionDescription* cnx = pclGetCnx();
    if (cnx == nullptr || cnx->nGetDataSource() != 1) return NA_NULLTEST_NEVER;
    return bIsText(t) || bIsText(d) || bIsBinary(t) || bIsBinary(d) ? NA_NULLTEST_VALUE : NA_NULLTEST_NEVER;
  }
  // The record reads a DATETIME item as a date-time of its bytes.
  return m_piItem->eNAGetItemType() == NA_IT_DATETIME ? NA_NULLTEST_DATETIME : NA_NULLTEST_VALUE;
}

BOOL CNAColumn::bNullOrEquivalent() {
  CNAKJRecord* kj = _pclCurrentKJ();
  if (kj == nullptr || m_piItem == nullptr) return TRUE;
  // The item's shape is read once (see m_stSlot).
  const STItemSlot& slot = Slot();
  if (!kj->bSlotDefined(slot)) return TRUE;
  if (slot.bMemo && m_csMemoFile.nTaille() > 0) return FALSE;
  if (!slot.bMemo && !bIsComposedKey()) {
    // The slot answers without the value being made where the value's bytes or nothing decide.
    const eNULLTEST test = _eNullTest();
    if (test != NA_NULLTEST_VALUE) {
      const BYTE* p = kj->pbySlotElement(slot);
      if (p == nullptr) return TRUE;
      if (test == NA_NULLTEST_NEVER) return FALSE;
      const unsigned int n = std::min(slot.nSize, 8u);
      for (unsigned int i = 0; i < n; ++i)
        if (p[i] != 0) return FALSE;
      return TRUE;
    }
  }
  CAny value;
  if (!bGetCurrentValue(&value, 0)) return TRUE;
  return bNullOrEquivalent(&value);
}

BOOL CNAColumn::bValueDefined() {
  if (bIsComposedKey()) {
    for (int k = 0; m_pTabComponent != nullptr && k < m_pTabComponent->nGetCount(); ++k)
      if ((*m_pTabComponent)[k]->bValueDefined()) return TRUE;
    return FALSE;
  }
  if (!bIsMemo()) return bNullOrEquivalent() ? FALSE : TRUE;
  if (m_csMemoFile.nTaille() > 0) return TRUE;
  return m_pclValue != nullptr && !m_pclValue->bIsNull() ? TRUE : FALSE;
}

BOOL CNAColumn::bOriginalValueDefined() {
  CNAKJRecord* kj = _pclOriginalKJ();
  return kj != nullptr && kj->bItemValueDefined(m_piItem, 0) ? TRUE : FALSE;
}

// ---------------------------------------------------------------- changes

bool g_bSameFixedText(const BYTE* a, const BYTE* b, size_t size, size_t unit) {
  for (size_t at = 0; at + unit <= size; at += unit) {
    if (memcmp(a + at, b + at, unit) != 0) return false;
    bool end = true;
    for (size_t i = 0; i < unit; ++i) end = end && a[at + i] == 0;
    if (end) return true;
  }
  return true;
}

BOOL CNAColumn::bValueModified() {
  if (bIsComposedKey()) {
    for (int k = 0; m_pTabComponent != nullptr && k < m_pTabComponent->nGetCount(); ++k)
      if ((*m_pTabComponent)[k]->bValueModified()) return TRUE;
    return FALSE;
  }
  if (bIsMemo()) return m_bMemoModified ? TRUE : FALSE;
  const CNAKJRecord* current = _pclCurrentKJ();
  const CNAKJRecord* original = _pclOriginalKJ();
  const BYTE* a = current != nullptr ? current->pbyGetItemValue(m_piItem, -1) : nullptr;
  const BYTE* b = original != nullptr ? original->pbyGetItemValue(m_piItem, -1) : nullptr;
  const bool sameBytes = a != nullptr && b != nullptr && memcmp(a, b, m_piItem->nGetTotalSize()) == 0;
  if (bValueDefined() != bOriginalValueDefined()) {
    // A value read that counts as NULL (a zero date, which the check of the record made NULL),
    // left as read, is no change: written, the server's value would become NULL.
    if (!sameBytes || bValueDefined()) return TRUE;
    CAny read;
    original->GetItemValue(&read, m_piItem, 0);
    return bNullOrEquivalent(&read) ? FALSE : TRUE;
  }
  if (current == nullptr || original == nullptr) return FALSE;
  if (a == nullptr || b == nullptr) return a != b ? TRUE : FALSE;
  if (sameBytes) return FALSE;
  // A fixed text ends at its terminator: what a value read with a NUL inside left after it is no
  // part of what the host reads, and the host giving the text back as read changes nothing.
  const eNA_ITEMTYPE type = m_piItem->eNAGetItemType();
  if (type == NA_IT_TEXTE || type == NA_IT_UNICODE)
    return g_bSameFixedText(a, b, m_piItem->nGetTotalSize(), type == NA_IT_UNICODE ? 2 : 1) ? FALSE : TRUE;
  return TRUE;
}

BOOL CNAColumn::bSoughtAsHeld(const CAny* value, CAny* out, unsigned int flags) const {
  const eNA_ITEMTYPE type = eNAGetItemType();
  if (value == nullptr || value->bIsNull() || (!bSoughtInItsType(type) && type != NA_IT_HEURE)) return FALSE;
  const unsigned short own = eGetZVType();
  const bool start = type == NA_IT_HEURE && (flags & NA_SAMEVALUE_PREFIX) != 0;
  *out = *value;
  // The start of a time is its own digits: as a time they would be read as a whole one.
  const unsigned short to = start ? static_cast<unsigned short>(ZV_DSTRA) : own;
  if (out->wGetType() != to && (out->__nCastTo(to, nullptr, 1) > 99 || out->wGetType() != to)) return FALSE;
  if (type != NA_IT_HEURE || own != ZV_TIMEA) return TRUE;
  const unsigned char* bytes = nullptr;
  unsigned int size = 0;
  if (!bValueBytes(*out, &bytes, &size)) return FALSE;
  // The least time it starts; the empty time is none.
  if (size == 0) return FALSE;
  std::string digits(reinterpret_cast<const char*>(bytes), size);
  digits.resize(nGetItemSize() > 0 ? nGetItemSize() - 1 : 0, '0');
  out->SetTIMEA(digits.c_str());
  return TRUE;
}

BOOL CNAColumn::bSameValue(const CAny* value, unsigned int flags) {
  if (value == nullptr) return FALSE;
  if (!bIsComposedKey() && !bValueDefined()) return value->bIsNull() ? TRUE : FALSE;
  if (value->bIsNull()) return FALSE;
  CAny current;
  if (!bGetCurrentValue(&current, 0)) return FALSE;
  unsigned short a = value->wGetType();
  const unsigned short b = current.wGetType();
  const eNA_ITEMTYPE type = eNAGetItemType();
  const bool time = type == NA_IT_HEURE;
  CAny converted;
  unsigned int size = 0;
  if (a != b && bSoughtInItsType(type) && bSoughtAsHeld(value, &converted)) {
    int equal = 0;
    return nEgalite(current, converted, &equal, 0) == 0 && equal ? TRUE : FALSE;
  }
  // A sought empty time is the host's NULL: no time is it, nor starts with it.
  if (a != b && time && g_bIsZVText(a) && value->Intern()->nGetUtilDataSize(&size) == 0 && size == 0) return FALSE;
  if (a != b && time && (flags & NA_SAMEVALUE_PREFIX) == 0 && bSoughtAsHeld(value, &converted)) {
    value = &converted;
    a = converted.wGetType();
  } else if (!bAnsiOrSame(a, b) && g_bIsZVText(a) && g_bIsZVText(b)) {
    // A text of the other width is compared in the column's own: the value's type alone would
    // send a starts-with test to a whole-value comparison. The start of a time is its own
    // digits: as a time it would be completed with zeros.
    converted = *value;
    if (converted.__nCastTo(time ? static_cast<unsigned short>(ZV_DSTRA) : b, nullptr, 1) < 100) {
      value = &converted;
      a = converted.wGetType();
    }
  }
  const unsigned char *given = nullptr, *held = nullptr;
  unsigned int nGiven = 0, nHeld = 0;
  if (bAnsiOrSame(a, b) && a != ZV_DECIMAL && b != ZV_DECIMAL && bValueBytes(*value, &given, &nGiven) &&
      bValueBytes(current, &held, &nHeld)) {
    if (nGiven > nHeld || (nGiven > 0 && memcmp(given, held, nGiven) != 0)) return FALSE;
    if (flags & NA_SAMEVALUE_PREFIX) return TRUE;
    // A binary string's NUL bytes are its own: X'00' is not X'0000'.
    if (nGiven != nHeld && m_pclImported != nullptr && m_pclImported->bBinaryText()) return FALSE;
    for (unsigned int i = nGiven; i < nHeld; ++i)
      if (held[i] != 0) return FALSE;
    return TRUE;
  }
  int equal = 0;
  return nEgalite(current, *value, &equal, 0) == 0 && equal ? TRUE : FALSE;
}

void CNAColumn::SetNotModified() {
  m_csMemoFile.Vide();
  m_bMemoModified = 0;
}

BOOL CNAColumn::bRestaureOriginalValue(CNAConvertVariant* original) {
  SetNotModified();
  if (m_pclValue == nullptr) return TRUE;
  if (original != nullptr)
    m_pclValue->bCopyVariant(original);
  else
    m_pclValue->SetNull();
  return TRUE;
}

void CNAColumn::SetValueIsUnreadYet() {
  if (m_pclValue != nullptr) {
    m_pclValue->SetNull();
    m_pclValue->SetNotRead();
  }
  if (bIsMemo()) SetNotModified();
  _SetItemValueDefinedInKJRecord(TRUE, 0);
}

// ---------------------------------------------------------------- memo files

BOOL CNAColumn::bHAttacheMemo(const wchar_t* path) {
  m_csMemoFile = path != nullptr ? path : L"";
  if (m_pclValue != nullptr) m_pclValue->SetNull();
  m_bMemoModified = 1;
  return TRUE;
}

BOOL CNAColumn::bHExtraitMemo(const wchar_t* path) {
  if (m_pclValue == nullptr || m_pclValue->bIsNull()) {
    // An empty value of a class that has a size: the file is created empty.
    CAny empty;
    empty.SetBIN(nullptr, 0);
    empty.SetNull(true);
    return CNAVariant::gbStoreFile(&empty, path, m_pclError);
  }
  if (!g_bIsZVTextWide(m_pclValue->wGetType())) return m_pclValue->bStoreFile(path, m_pclError);
  // A Unicode text is written as UTF-8, which attaching the file reads back (_bLoadMemoFile).
  CAny value;
  m_pclValue->bGetValue(&value);
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  if (!bValueBytes(value, &data, &size)) size = 0;
  const CXYString<char> utf8 =
      PCWSTR_To_CAString(reinterpret_cast<const wchar_t*>(data), CP_UTF8, static_cast<int>(size / sizeof(wchar_t)));
  CAny file;
  file.SetBIN(reinterpret_cast<const unsigned char*>(utf8.pszGet()), static_cast<unsigned int>(utf8.nGetLength()));
  return CNAVariant::gbStoreFile(&file, path, m_pclError);
}

// ---------------------------------------------------------------- statements

BOOL CNAColumn::bMustDefine(unsigned int mode) {
  if (bIsComposedKey()) return FALSE;
  if (!bIsMemo()) return TRUE;
  return (mode & 2) != 0 ? TRUE : FALSE;
}

BOOL CNAColumn::bMustBind(unsigned int mode) {
  if (bIsComposedKey() || eGetTypeColonne() != 0) return FALSE;
  if (!bIsMemo()) return TRUE;
  return (mode & 1) != 0 ? TRUE : FALSE;
}

BOOL CNASQLColumn::bSetValueFromDB(CNAStatement* statement, unsigned int) {
  if (statement == nullptr || m_pclValue == nullptr) return FALSE;
  // Every row of every read comes through here: the item is asked once, not per row.
  if (Slot().bMemo) {
    SetNotModified();
    const BOOL read = statement->bGetSQLColumnValue(m_pclValue, m_stSlot.nPhysical);
    if (!read) m_pclValue->SetNull();
    if (CNAKJRecord* kj = _pclCurrentKJ(); kj != nullptr)
      kj->SetSlotDefined(m_stSlot, m_pclValue->bIsNull() ? FALSE : TRUE);
    return read;
  }
  const BOOL read = statement->bGetSQLColumnValue(m_pclValue, m_stSlot.nPhysical);
  CNAKJRecord* kj = read ? _pclCurrentKJ() : nullptr;
  if (kj != nullptr) kj->SetSlotDefined(m_stSlot, m_pclValue->bIsNull() ? FALSE : TRUE);
  return read;
}

#include "sql/narowbinding.h"

#include <typeinfo>

#include "access/narecord.h"
#include "driver/naconnectiondescription.h"
#include "sql/nacolumn.h"
#include "sql/nakjrecord.h"
#include "sql/nastatementsql.h"

namespace {

int nServerCodePage(const CNAStatementSQL* sql) {
  const CNAConnectionDescription* cnx = sql->pclGetConnectionNoRef();
  return cnx != nullptr ? cnx->nGetServerCodePage() : 0;
}

int nHostCodePage(const CNAStatementSQL* sql) {
  const CNAConnectionDescription* cnx = sql->pclGetConnectionNoRef();
  return cnx != nullptr ? cnx->nGetHostCodePage() : 0;
}

}  // namespace

bool CNARowBinding::bValidFor(const CNARecord* record, const CNAStatementSQL* sql) const {
  return m_bBound && record == m_pclRecord && sql == m_pclSQL && sql != nullptr &&
         record->nGetColumnStamp() == m_nColumnStamp && sql->nGetResultStamp() == m_nResultStamp &&
         nServerCodePage(sql) == m_nServerCodePage && nHostCodePage(sql) == m_nHostCodePage;
}

void CNARowBinding::Bind(CNARecord* record, CNAStatementSQL* sql) {
  m_bBound = false;
  m_tabEntry.clear();
  if (record == nullptr || sql == nullptr) return;
  const int columns = record->nGetNbColumn();
  m_tabEntry.reserve(static_cast<size_t>(columns));
  for (int i = 0; i < columns; ++i) {
    CNAColumn* column = record->pclGetColumnNoRef(i);
    if (column == nullptr || column->Slot().bComposedKey) break;
    const STItemSlot& slot = column->Slot();
    CNAConvertVariant* value = column->pclGetNAValue();
    STEntry entry{nullptr,
                  value,
                  column,
                  &slot,
                  slot.nPhysical,
                  value != nullptr ? value->nGetShapeStamp() : 0,
                  slot.nPhysical / 8,
                  slot.nOffset >= 0 ? static_cast<unsigned int>(slot.nOffset) + slot.nSize : 0,
                  static_cast<uint8_t>(0x80u >> (slot.nPhysical % 8)),
                  false};
    // Only the SQL column's own read is what a writer stands in for; a memo keeps its own rules.
    if (value != nullptr && !slot.bMemo && typeid(*column) == typeid(CNASQLColumn) &&
        column->pclGetRecordNoRef() == record) {
      entry.pfnWrite = sql->pfnGetRowWriter(slot.nPhysical, value);
      entry.bPending = entry.pfnWrite == nullptr && !value->bDBReady();
    }
    m_tabEntry.push_back(entry);
  }
  m_pclRecord = record;
  m_pclSQL = sql;
  m_nColumnStamp = record->nGetColumnStamp();
  m_nResultStamp = sql->nGetResultStamp();
  m_nServerCodePage = nServerCodePage(sql);
  m_nHostCodePage = nHostCodePage(sql);
  m_bBound = true;
}

BOOL CNARowBinding::bReadRow(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql) {
  const char* const* texts = nullptr;
  const unsigned long* lengths = nullptr;
  const bool row = sql->bGetRowTexts(&texts, &lengths) != FALSE;
  // The record's shape, read once: no writer touches it. A written value's slot that lies in it
  // only sets its bit (SetSlotDefined's own first step); any other goes through SetSlotDefined.
  CNAKJRecord* kj = record->pclGetNAKJRecord();
  BYTE* flags = nullptr;
  unsigned int items = 0, values = 0;
  if (kj != nullptr && kj->pbyGetValues() != nullptr) {
    flags = kj->pbyGetNullValuesFlags();
    items = kj->nGetItemCount();
    values = kj->nGetTotalSize() - kj->nGetFlagFieldSize();
  }
  bool changed = false;
  for (STEntry& e : m_tabEntry) {
    if (e.pfnWrite != nullptr && row) {
      if (e.pclValue->nGetShapeStamp() == e.nShapeStamp) {
        const char* text = texts[e.nPhysical];
        if (text == nullptr) {
          e.pclValue->SetNull();
          if (kj != nullptr) kj->SetSlotDefined(*e.pSlot, FALSE);
          continue;
        }
        if (e.pfnWrite(e.pclValue, text, static_cast<unsigned int>(lengths[e.nPhysical]))) {
          if (e.nPhysical < items && e.nElementEnd != 0 && e.nElementEnd <= values)
            flags[e.nFlagByte] |= e.byFlagMask;
          else if (kj != nullptr)
            kj->SetSlotDefined(*e.pSlot, TRUE);
          continue;
        }
      } else {
        changed = true;
      }
    }
    if (!e.pclColumn->bSetValueFromDB(statement, 0)) {
      if (changed) Forget();
      return FALSE;
    }
    if (e.bPending && e.pclValue->bDBReady()) {
      e.bPending = false;
      e.pfnWrite = sql->pfnGetRowWriter(e.nPhysical, e.pclValue);
      e.nShapeStamp = e.pclValue->nGetShapeStamp();
    }
  }
  if (changed) Forget();
  return TRUE;
}

unsigned int CNARowBinding::nGetWriterCount() const {
  unsigned int n = 0;
  for (const STEntry& e : m_tabEntry) n += e.pfnWrite != nullptr ? 1 : 0;
  return n;
}

// A formatted SQL its builder writes itself: the pieces and literals of a statement whose values
// all have their literal when it is built, in the bytes the formatter would give them.
#include <cstring>

#include "access/narecord.h"
#include "driver/naconnectiondescription.h"
#include "driver/naliteraltext.h"
#include "sql/inaitemdescription.h"
#include "sql/naitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"
#include "sql/nakjrecord.h"
#include "values/any.h"

bool CNACommand::bBeginFormated() {
  const int cp = _nFormatedCodePage();
  if (m_pclCnx == nullptr || cp == CTStringConcatAW::kWideContent) return false;
  ResetCommand(0);
  // As a build of every value class would set it.
  m_clFormated.SetCodePages(cp, m_pclCnx->nGetHostCodePage());
  m_eFormatedMode = NA_PARAMCONV_ALL;
  m_nLastLiteralAt = -1;
  // The statement is gathered as its bytes, then handed to the formatted SQL whole.
  m_clTextBytes.Vide();
  return true;
}

void CNACommand::AddFormatedText(const char* ascii, int n) {
  if (n <= 0) return;
  // _AddSpaceBetween's blank, on bytes: ASCII is itself in the formatted SQL's code page.
  const unsigned int length = m_clTextBytes.nGetLength();
  if (length > 0 && ascii[0] != ' ' && m_clTextBytes.pszGet()[length - 1] != ' ') {
    // The blank and a short text go in one append (a separator between every two values).
    char spaced[16];
    if (n < static_cast<int>(sizeof spaced)) {
      spaced[0] = ' ';
      memcpy(spaced + 1, ascii, static_cast<size_t>(n));
      AddFormated(spaced, n + 1);
      return;
    }
    AddFormated(" ", 1);
  }
  AddFormated(ascii, n);
}

int CNACommand::_nAddFormatedFromElement(CNAColumn* column) {
  INAItemDescription* item = column->piGetItemNoRef();
  CNARecord* record = column->pclGetRecordNoRef();
  CNAKJRecord* kj = record != nullptr ? record->pclGetNAKJRecord() : nullptr;
  // The literal road's conditions (_bLiteralTypes), and ASCII that is its own bytes.
  if (kj == nullptr || item == nullptr || m_pclCnx == nullptr || column->bIsMemo() || column->bIsComposedKey() ||
      !bLiteralAsciiCodePage(m_clFormated.nGetCodePage()))
    return -1;
  const eNA_ITEMTYPE analysis = column->eNAGetItemType();
  if (analysis == NA_IT_EMPTY) return -1;
  const STItemSlot& slot = column->Slot();
  // An undefined item reads as NULL, whatever its type.
  if (!kj->bSlotDefined(slot)) {
    AddFormated("NULL", 4);
    return 1;
  }
  // The item's type as the column just read it: asking the host again gives the same.
  const unsigned short type = ConverteItemToZVType(analysis);
  const CNAItemDescription* imported = column->piGetImportedItemDescNoRef();
  const eNA_ITEMTYPE db = imported != nullptr ? imported->eNAGetItemType() : NA_IT_EMPTY;
  const BYTE* element = kj->pbySlotElement(slot);
  if (type == ZV_DSTRA) {
    // The text as the record reads it: up to its NUL, which must lie inside the element.
    const auto* text = reinterpret_cast<const char*>(element);
    const size_t n = text != nullptr ? strnlen(text, slot.nSize) : slot.nSize;
    return n < slot.nSize &&
                   m_pclCnx->bAppendPlainNarrowText(&m_clTextBytes, text, static_cast<unsigned int>(n), db, analysis)
               ? 1
               : -1;
  }
  CLiteralText text;
  if (type == ZV_DATETIME) {
    if (!m_pclCnx->bDateTimeFieldsLiteral(element, slot.nSize, db, analysis, &text)) return -1;
    AddFormated(text.pszGet(), text.nGetLength());
    return 1;
  }
  // The types bElementLiteralText may write.
  if (type != ZV_DECIMAL && type != ZV_CY && (type < ZV_UI1 || type > ZV_I8)) return -1;
  // The record reads a decimal item through the host's form of the item's precision and scale.
  const bool decimal = analysis == NA_IT_DECIMAL;
  const long long scale = decimal ? item->nGetDecimalPart() : 0;
  const long long precision = decimal ? item->nGetIntegerPart() + scale : 0;
  if (precision > 18 || !bElementLiteralText(element, slot.nSize, type,
                                            ConverteItemToZVType(db != NA_IT_EMPTY ? db : analysis),
                                            static_cast<int>(precision), static_cast<int>(scale), &text))
    return -1;
  AddFormated(text.pszGet(), text.nGetLength());
  return 1;
}

int CNACommand::nAddFormatedColumnLiteral(CNAColumn* column) {
  if (_nAddFormatedFromElement(column) > 0) return 1;
  CAny value;
  const int written = _nRecordLiteral(column, &value);
  if (written == -2) return -1;
  if (written < 0) {
    CAny read;
    if (!column->bGetCurrentValue(&read, 0)) return 0;
    eNA_ITEMTYPE db = NA_IT_EMPTY, analysis = NA_IT_EMPTY;
    if (!_bLiteralTypes(column, &db, &analysis) || _nValueLiteral(&read, column, db, analysis) < 0) return -1;
  }
  AddFormated(m_clLiteral.pszGetA(), m_clLiteral.nGetLength());
  return 1;
}

void CNACommand::EndFormated() {
  // The text says what is sent: the statement whole, with no parameter left to format. It is
  // widened only when someone reads it.
  m_clFormated.Add(m_clTextBytes.pszGet(), static_cast<int>(m_clTextBytes.nGetLength()),
                   static_cast<unsigned int>(m_clFormated.nGetCodePage()));
  m_nTextBytesCodePage = m_clFormated.nGetCodePage();
  m_bTextInFormated = 1;
  _RewriteRowLimit();
}

void CNACommand::_WidenText() const {
  m_bTextInFormated = 0;
  m_clTextHeld.Vide();
  m_clTextHeld.Add(m_clTextBytes.pszGet(), static_cast<int>(m_clTextBytes.nGetLength()),
                   static_cast<unsigned int>(m_nTextBytesCodePage));
}

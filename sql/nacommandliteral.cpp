// Values written as literals when they are added to a command: the literal parameters that carry
// them and the command's reuse of those parameters.
#include <cstring>
#include <new>

#include "driver/naconnectiondescription.h"
#include "access/narecord.h"
#include "sql/nacolumn.h"
#include "sql/nakjrecord.h"
#include "sql/naitemdescription.h"
#include "sql/nacommand.h"
#include "values/any.h"

namespace {

// Host types whose value class holds a fixed width of bytes, as the record's elements give them.
bool bFixedWidth(unsigned short type) {
  switch (type) {
    case ZV_I1: case ZV_I2: case ZV_I4: case ZV_I8: case ZV_UI1: case ZV_UI2: case ZV_UI4: case ZV_UI8:
    case ZV_R4: case ZV_R8: case ZV_CY: case ZV_DATETIME:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool CNAParameterLiteral::bSetLiteral(const char* bytes, int n, int cp, unsigned int position) {
  if (m_clBytes.nGetCapacity() > kKeptBytes) m_clBytes.Libere();
  m_clBytes.Vide();
  m_clBytes.Add(bytes, n);
  m_nCodePage = cp;
  SetPosition(position);
  SetOptions(0);
  SetColum(nullptr);
  SetEscape(0);
  SetOperator(static_cast<eOPEXPRESSION>(-1));
  SetDirection(NA_PARAM_IN);
  return static_cast<int>(m_clBytes.nGetLength()) == n;
}

CNAParameter* CNAParameterLiteral::pclGetClone() {
  auto* clone = new (std::nothrow) CNAParameterLiteral();
  if (clone == nullptr) return nullptr;
  clone->AddRef();
  if (!clone->bSetLiteral(m_clBytes.pszGet(), static_cast<int>(m_clBytes.nGetLength()), m_nCodePage, nGetPosition())) {
    clone->nRelease();
    return nullptr;
  }
  clone->SetOptions(dwGetOptions());
  clone->SetEscape(cGetEscape());
  return clone;
}

CNAParameterLiteral* CNACommand::_pclTakeLiteral() {
  for (const int n = m_tabLiteral.nGetCount(); m_nLiteralNext < n;) {
    CNAParameterLiteral* kept = m_tabLiteral[m_nLiteralNext++];
    if (kept->nGetRefCount() == 1) return kept;
  }
  auto* made = new (std::nothrow) CNAParameterLiteral();
  if (made != nullptr && m_tabLiteral.nGetCount() < kLiteralsKept && m_tabLiteral.AjouteRef(made) != nullptr)
    m_nLiteralNext = m_tabLiteral.nGetCount();
  return made;
}

bool CNACommand::_bLiteralTypes(CNAColumn* column, eNA_ITEMTYPE* db, eNA_ITEMTYPE* analysis) {
  if (column == nullptr || m_pclCnx == nullptr || _nFormatedCodePage() == CTStringConcatAW::kWideContent) return false;
  *analysis = column->eNAGetItemType();
  if (column->piGetItemNoRef() == nullptr || *analysis == NA_IT_EMPTY) return false;
  const CNAItemDescription* imported = column->piGetImportedItemDescNoRef();
  *db = imported != nullptr ? imported->eNAGetItemType() : NA_IT_EMPTY;
  // The formatter's scratch, with the code pages the formatted SQL takes.
  m_clLiteral.Vide();
  m_clLiteral.SetCodePages(_nFormatedCodePage(), m_pclCnx->nGetHostCodePage());
  return true;
}

bool CNACommand::_bLiteralOfFormated() const {
  // Bytes the formatter would convert are left to it.
  return !m_clLiteral.bIsWide() && m_clLiteral.nGetCodePage() == _nFormatedCodePage();
}

int CNACommand::_nAddWrittenLiteral() {
  const int cp = _nFormatedCodePage();
  CNAParameterLiteral* parameter = _pclTakeLiteral();
  if (parameter == nullptr) return 0;
  parameter->AddRef();
  // A literal cut short by memory is no value: nothing is added.
  const BOOL added = parameter->bSetLiteral(m_clLiteral.pszGetA(), m_clLiteral.nGetLength(), cp,
                                            static_cast<unsigned int>(_Text().nGetLength())) &&
                     bAddParameter(parameter);
  parameter->nRelease();
  return added ? 1 : 0;
}

BOOL CNACommand::bAddValueLiteral(const CAny* value, CNAColumn* column) {
  eNA_ITEMTYPE db = NA_IT_EMPTY, analysis = NA_IT_EMPTY;
  const int added = value != nullptr && _bLiteralTypes(column, &db, &analysis) &&
                            _nValueLiteral(value, column, db, analysis) > 0
                        ? _nAddWrittenLiteral()
                        : -1;
  if (added >= 0) return added;
  return bAddParameter(value, static_cast<eOPEXPRESSION>(-1), 0, column, 0, CNAParameter::NA_PARAM_IN);
}

bool CNACommand::_bBitLiteral(const CNAColumn* column, const CAny* value) {
  const CNAItemDescription* item = column != nullptr ? column->piGetImportedItemDescNoRef() : nullptr;
  if (item == nullptr || !item->bBit() || value == nullptr || value->bIsNull()) return false;
  const unsigned short type = value->wGetType();
  if (type != ZV_BIN && type != ZV_BUFFER) return false;
  void* data = nullptr;
  unsigned int size = 0;
  if (value->Intern()->nGetDataAdr(&data) >= 100 || value->Intern()->nGetDataSize(&size) >= 100) return false;
  if (data == nullptr) size = 0;
  m_clLiteral.Vide();
  m_clLiteral.SetCodePages(m_clFormated.nGetCodePage(), m_clFormated.nGetAnsiCodePage());
  m_clLiteral.Add(size == 0 ? "0" : "0x", size == 0 ? 1 : 2, static_cast<unsigned int>(m_clFormated.nGetCodePage()));
  // Without memory for the digits the value takes the ordinary path.
  if (size > 0 && !CNAConnectionDescription::s_bBinaryToStringHexa(
                      m_pclError, static_cast<const unsigned char*>(data), size, &m_clLiteral)) {
    m_clLiteral.Vide();
    return false;
  }
  return true;
}

int CNACommand::_nValueLiteral(const CAny* value, CNAColumn* column, eNA_ITEMTYPE db, eNA_ITEMTYPE analysis) {
  if (_bBitLiteral(column, value)) return _bLiteralOfFormated() ? 1 : -1;
  // The holder takes the item's host type and a value of that type as it is, its flags dropped;
  // a NULL it keeps as NULL whatever its type.
  if (!value->bIsNull() &&
      (value->wGetType() == ZV_VIDE || value->wGetTypeWord() != ConverteItemToZVType(column->piGetItemNoRef())))
    return -1;
  if (!m_pclCnx->bConvertValueToString(m_pclError, &m_clLiteral, value, db, analysis)) return -1;
  return _bLiteralOfFormated() ? 1 : -1;
}

int CNACommand::_nRecordLiteral(CNAColumn* column, CAny* value) {
  eNA_ITEMTYPE db = NA_IT_EMPTY, analysis = NA_IT_EMPTY;
  CNARecord* record = column != nullptr ? column->pclGetRecordNoRef() : nullptr;
  CNAKJRecord* kj = record != nullptr ? record->pclGetNAKJRecord() : nullptr;
  const unsigned short type = column != nullptr ? ConverteItemToZVType(column->piGetItemNoRef()) : 0;
  if (kj == nullptr || column->bIsMemo() || column->bIsComposedKey() || (type != ZV_DSTRA && !bFixedWidth(type)) ||
      !_bLiteralTypes(column, &db, &analysis))
    return -1;
  // The record's narrow text as its value would hold it: up to its first NUL, which must lie
  // inside the element to end the bytes here.
  const STItemSlot& slot = column->Slot();
  const BYTE* element = kj->bSlotDefined(slot) ? kj->pbySlotElement(slot) : nullptr;
  if (element == nullptr) return -1;
  if (type != ZV_DSTRA) {
    // The value the record hands out, taken from the element itself: a class of a fixed width
    // reads no more than the element and zero-fills the rest.
    value->__SetType(type, 0);
    value->Intern()->SetValue(element, slot.nSize);
    value->SetFlags(0);
    return _nValueLiteral(value, column, db, analysis) > 0 ? 1 : -2;
  }
  const auto* text = reinterpret_cast<const char*>(element);
  const size_t n = strnlen(text, slot.nSize);
  if (n >= slot.nSize) return -1;
  const int written =
      m_pclCnx->nNarrowTextToString(m_pclError, &m_clLiteral, text, static_cast<unsigned int>(n), db, analysis);
  return written > 0 && _bLiteralOfFormated() ? 1 : -1;
}

int CNACommand::nAddColumnLiteral(CNAColumn* column) {
  CAny value;
  const int written = _nRecordLiteral(column, &value);
  if (written == 1) return _nAddWrittenLiteral();
  if (written == -2)
    return bAddParameter(&value, static_cast<eOPEXPRESSION>(-1), 0, column, 0, CNAParameter::NA_PARAM_IN);
  return -1;
}

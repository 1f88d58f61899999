// Values written as literals when they are added to a command: the literal parameters that carry
// them and the command's reuse of those parameters.
#include <cstring>
#include <new>

#include "driver/naconnectiondescription.h"
#include "sql/nacolumn.h"
#include "sql/naitemdescription.h"
#include "sql/nacommand.h"
#include "values/any.h"

namespace {

// A literal longer than this gives its memory back when its parameter is taken again.
constexpr unsigned int kKeptLiteralBytes = 16384;

}  // namespace

bool CNAParameterLiteral::bSetLiteral(const char* bytes, int n, int cp, unsigned int position) {
  if (m_clBytes.nGetCapacity() > kKeptLiteralBytes) m_clBytes.Libere();
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

BOOL CNACommand::bAddValueLiteral(const CAny* value, CNAColumn* column) {
  auto asParameter = [&] {
    return bAddParameter(value, static_cast<eOPEXPRESSION>(-1), 0, column, 0, CNAParameter::NA_PARAM_IN);
  };
  const int cp = _nFormatedCodePage();
  if (value == nullptr || column == nullptr || m_pclCnx == nullptr || cp == CTStringConcatAW::kWideContent)
    return asParameter();
  const INAItemDescription* item = column->piGetItemNoRef();
  const eNA_ITEMTYPE analysis = column->eNAGetItemType();
  if (item == nullptr || analysis == NA_IT_EMPTY) return asParameter();
  // The holder takes the item's host type and a value of that type as it is, its flags dropped;
  // a NULL it keeps as NULL whatever its type.
  if (!value->bIsNull() && (value->wGetType() == ZV_VIDE || value->wGetTypeWord() != ConverteItemToZVType(item)))
    return asParameter();
  const CNAItemDescription* imported = column->piGetImportedItemDescNoRef();
  const eNA_ITEMTYPE db = imported != nullptr ? imported->eNAGetItemType() : NA_IT_EMPTY;
  // The formatter's scratch, with the code pages the formatted SQL takes.
  m_clLiteral.Vide();
  m_clLiteral.SetCodePages(cp, m_pclCnx->nGetHostCodePage());
  if (!m_pclCnx->bConvertValueToString(m_pclError, &m_clLiteral, value, db, analysis) || m_clLiteral.bIsWide() ||
      m_clLiteral.nGetCodePage() != cp)
    return asParameter();
  CNAParameterLiteral* parameter = _pclTakeLiteral();
  if (parameter == nullptr) return FALSE;
  parameter->AddRef();
  // A literal cut short by memory is no value: nothing is added.
  const BOOL added = parameter->bSetLiteral(m_clLiteral.pszGetA(), m_clLiteral.nGetLength(), cp,
                                            static_cast<unsigned int>(m_clText.nGetLength())) &&
                     bAddParameter(parameter);
  parameter->nRelease();
  return added;
}

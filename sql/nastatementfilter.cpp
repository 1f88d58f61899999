// The filter of a CNAStatement: set from the host's bounds and condition, switched on and off.
#include <new>

#include "access/nadataaccessguards.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naerror.h"
#include "sql/nafilter.h"
#include "sql/nastatement.h"

using naguards::CHeldItemDesc;

BOOL CNAStatement::bSetFilter(const wchar_t* item, const CAny* min, int minIncluded, const CAny* max, int maxIncluded,
                              ISQLParserInformation* condition) {
  if (m_piDescription == nullptr || item == nullptr) return FALSE;
  CHeldItemDesc desc(m_piDescription->piNAGetItem(item));
  if (desc.get() == nullptr) return FALSE;
  // A filter another holder still sees (the browse's snapshot, a saved position) stays as it was,
  // so that the change shows.
  if (m_pclFilter == nullptr || m_pclFilter->nGetRefCount() != 1) {
    CNAFilter* filter = pclAllocFilter(m_pclError);
    if (filter == nullptr) {
      CNAError::g_RaiseNoMemory(m_pclError, pclGetConnectionNoRef());
      return FALSE;
    }
    _SetFilter(filter);
  }
  return m_pclFilter->bSetFilter(m_pclRecord, desc.get(), min, minIncluded, max, maxIncluded, condition, 0);
}

CNAFilter* CNAStatement::pclActivateFilter() {
  if (m_pclFilter != nullptr) m_pclFilter->ActivateFilter(1);
  return m_pclFilter;
}

void CNAStatement::DesactivateFilter() {
  if (m_pclFilter != nullptr) m_pclFilter->ActivateFilter(0);
}

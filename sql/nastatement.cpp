#include "sql/nastatement.h"

#include <new>

#include "access/narecordcache.h"
#include "driver/naerror.h"
#include "sql/nafilter.h"

CNAStatement::CNAStatement(CNADataAccess* access, CNAError* error) : m_pclError(error), m_pclDataAccess(access) {
  CNAError::s_Hold(m_pclError);
}

CNAStatement::~CNAStatement() {
  if (m_pclFilter != nullptr) m_pclFilter->nRelease();
  if (m_pclRecordCache != nullptr) m_pclRecordCache->nRelease();
  CNAError::s_Drop(&m_pclError);
}

void CNAStatement::_SetFilter(CNAFilter* filter) {
  if (filter == m_pclFilter) return;
  if (filter != nullptr) filter->AddRef();
  if (m_pclFilter != nullptr) m_pclFilter->nRelease();
  m_pclFilter = filter;
}

void CNAStatement::EnableCache(int enable) {
  if (enable) {
    if (m_pclRecordCache == nullptr) {
      m_pclRecordCache = new (std::nothrow) CNARecordCache();
      if (m_pclRecordCache == nullptr) return;
      m_pclRecordCache->AddRef();
    }
    m_pclRecordCache->SetActive(TRUE);
    return;
  }
  if (m_pclRecordCache == nullptr) return;
  if (m_pclRecordCache->nGetRefCount() > 1) {
    m_pclRecordCache->nRelease();
    m_pclRecordCache = nullptr;
    return;
  }
  m_pclRecordCache->SupprimeTout();
  m_pclRecordCache->SetActive(FALSE);
}

BOOL CNAStatement::bCacheEnabled() const {
  return m_pclRecordCache != nullptr && m_pclRecordCache->bIsActive() ? TRUE : FALSE;
}

BOOL CNAStatement::bCacheCompleted() const {
  return bCacheEnabled() && m_pclRecordCache->bIsFetchComplete() ? TRUE : FALSE;
}

CNARecordCache* CNAStatement::pclGetFullRecordCache() {
  if (!bCacheCompleted() && !_bCompleteCache()) return nullptr;
  return bCacheCompleted() ? m_pclRecordCache : nullptr;
}

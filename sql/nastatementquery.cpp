// A statement's side of queries run as data accesses: describing the open result, preparing a
// command without running it, and reading a row's values for the driver's internal queries.
#include <algorithm>

#include "access/nadatasourcedescription.h"
#include "access/narecord.h"
#include "driver/nadriver.h"
#include "driver/nadriversql.h"
#include "driver/naerror.h"
#include "sql/nacolumn.h"
#include "sql/nastatement.h"
#include "values/any.h"

BOOL CNAStatement::_bGetQueryStructure(CNADataSourceDescription* desc) {
  if (desc == nullptr || m_pclStatementSQL == nullptr) return FALSE;
  return desc->bInitDataSourceDescriptionFromStatement(m_pclStatementSQL);
}

BOOL CNAStatement::bGetQueryStructure(CNADataSourceDescription* desc) {
  if (!_bGetQueryStructure(desc)) return FALSE;
  if (m_pclCommand != nullptr && m_pclCommand->eGetQueryType() == NA_QUERY_NONE)
    m_pclCommand->SetNAQueryType(desc->nGetNumItems() > 0 ? NA_QUERY_SELECT : NA_QUERY_OTHER);
  return TRUE;
}

BOOL CNAStatement::_bPrepare() {
  if (m_pclCommand == nullptr) return FALSE;
  if (m_pclStatementSQL == nullptr) {
    CNADriver* driver = CNADriver::s_pclDriver;
    CNADriverSQL* service = driver != nullptr ? driver->pclGetDriverSQL() : nullptr;
    m_pclStatementSQL = service != nullptr ? service->pclAllocStatementSQL(pclGetConnectionNoRef(), m_pclError) : nullptr;
    if (m_pclStatementSQL == nullptr) {
      CNAError::g_RaiseNoMemory(m_pclError, pclGetConnectionNoRef());
      return FALSE;
    }
    m_pclStatementSQL->AddRef();
  } else {
    m_pclStatementSQL->bReset();
  }
  CTStringConcatAW* text = m_pclCommand->pclGetFormatedSQL(NA_PARAMCONV_ALL);
  return text != nullptr && m_pclStatementSQL->bPrepareSQL(text);
}

BOOL CNAStatement::bFetchData(eNA_PARSEDIRECTION direction, int* outOfRange, CAny* values, int count) {
  const BOOL ok = bFetch(direction, 1, 1);
  if (outOfRange != nullptr) *outOfRange = m_bOutOfRange;
  if (!ok || m_bOutOfRange || m_pclRecord == nullptr) return ok;
  const int n = std::min(count, m_pclRecord->nGetNbColumn());
  for (int i = 0; i < n; ++i)
    if (!m_pclRecord->pclGetColumnNoRef(i)->bGetCurrentValue(&values[i], 0)) return FALSE;
  return TRUE;
}

#include "sql/nastatement.h"

#include <new>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/nadriversql.h"
#include "driver/naerror.h"
#include "sql/nafilter.h"
#include "sql/narecherche.h"

CNAStatement::CNAStatement(CNADataAccess* access, CNAError* error) : m_pclError(error), m_pclDataAccess(access) {
  CNAError::s_Hold(m_pclError);
  if (m_pclDataAccess == nullptr) return;
  INADataSourceDescription* desc = m_pclDataAccess->piGetDataSourceDescriptionNoRef();
  if (desc != nullptr) m_piDescription = desc->ExternalAddRef();
  m_pclRecord = m_pclDataAccess->pclGetCurrentRecordNoRef();
  if (m_pclRecord != nullptr) m_pclRecord->AddRef();
  CNADriver* driver = CNADriver::s_pclDriver;
  CNADriverSQL* service = driver != nullptr ? driver->pclGetDriverSQL() : nullptr;
  if (service != nullptr) m_pclStatementSQL = service->pclAllocStatementSQL(m_pclDataAccess->pclGetConnectionNoRef(), m_pclError);
  if (m_pclStatementSQL != nullptr) m_pclStatementSQL->AddRef();
}

CNAStatement::~CNAStatement() {
  m_eParseNeedUpdate = NA_PARSE_UPTODATE;
  _SetRecordSaveId(-1);
  if (m_pclRecherche != nullptr) m_pclRecherche->nRelease();
  if (m_pclFilter != nullptr) m_pclFilter->nRelease();
  if (m_pclRecordCache != nullptr) m_pclRecordCache->nRelease();
  delete[] m_pnRecordSave;
  if (m_pclCommand != nullptr) m_pclCommand->nRelease();
  if (m_pclStatementSQL != nullptr) m_pclStatementSQL->nRelease();
  if (m_pclRecord != nullptr) m_pclRecord->nRelease();
  if (m_piDescription != nullptr) m_piDescription->nExternalRelease();
  CNAError::s_Drop(&m_pclError);
}

void CNAStatement::_SetFilter(CNAFilter* filter) {
  if (filter == m_pclFilter) return;
  if (filter != nullptr) filter->AddRef();
  if (m_pclFilter != nullptr) m_pclFilter->nRelease();
  m_pclFilter = filter;
}

void CNAStatement::_SetRecherche(CNARecherche* search) {
  if (search == m_pclRecherche) return;
  if (search != nullptr) search->AddRef();
  if (m_pclRecherche != nullptr) m_pclRecherche->nRelease();
  m_pclRecherche = search;
}

void CNAStatement::_SetRecordSaveId(int id) {
  if (id == m_nRecordSaveId) return;
  if (m_pclDataAccess != nullptr) {
    if (id != -1) m_pclDataAccess->AddRefRecordSave(id);
    if (m_nRecordSaveId != -1) m_pclDataAccess->nReleaseRecordSave(m_nRecordSaveId);
  }
  m_nRecordSaveId = id;
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

// ---- Declared; bodies follow ----
void CNAStatement::ResetQuery() {}
void CNAStatement::Close() {}
BOOL CNAStatement::bExecute(NA_WRITEPARSEFLAGS, eNA_ST_PREPARE) { return FALSE; }
BOOL CNAStatement::bExecuteDirectNewCommand(CNACommand*, NA_WRITEPARSEFLAGS, eNA_ST_PREPARE) { return FALSE; }
BOOL CNAStatement::bExecuteDirect(NA_WRITEPARSEFLAGS, eNA_ST_PREPARE) { return FALSE; }
BOOL CNAStatement::bExecuteAndFetch(CAny*, int, eNA_ST_PREPARE) { return FALSE; }
BOOL CNAStatement::bGetRequestedValue(CAny*) { return FALSE; }
BOOL CNAStatement::bGetResultValue(CAny*, unsigned int) { return FALSE; }
BOOL CNAStatement::bGetSQLColumnValue(CNAConvertVariant*, unsigned int) { return FALSE; }
BOOL CNAStatement::bGetSQLColumnValue(CAny*, unsigned int) { return FALSE; }
BOOL CNAStatement::bBuildQuerySELECT(CNACommand*, NA_WRITEPARSEFLAGS, const wchar_t*, int, CNACommand*) { return FALSE; }
BOOL CNAStatement::bGetClauseWHERE(CNACommand*) { return FALSE; }
BOOL CNAStatement::bBuildQueryCREATE(CNACommand*) { return FALSE; }
BOOL CNAStatement::bBuildQueryINSERT(CNACommand*, NA_WRITEPARSEFLAGS) { return FALSE; }
BOOL CNAStatement::bBuildQueryUPDATE(CNACommand*, NA_WRITEPARSEFLAGS) { return FALSE; }
BOOL CNAStatement::bBuildQueryDELETE(CNACommand*, NA_WRITEPARSEFLAGS) { return FALSE; }
BOOL CNAStatement::bUpdateRecordAfterInsert(eNAQUERYTYPE, int) { return FALSE; }
BOOL CNAStatement::bUpdateRecordAfterUpdate(eNAQUERYTYPE, int) { return FALSE; }
BOOL CNAStatement::bSetLockType(eNA_LOCKTYPE lock) {
  m_eLockType = lock;
  return TRUE;
}
BOOL CNAStatement::bGetNbEnr(long long* count, unsigned int, int) {
  if (count != nullptr) *count = -1;
  return FALSE;
}
BOOL CNAStatement::bGetNbEnrCurrentParse(long long*, unsigned int, int) { return FALSE; }
BOOL CNAStatement::bGetBLOB(INAItemDescription*, CAny*) { return FALSE; }
BOOL CNAStatement::bExtraitMemo(INAItemDescription*, const wchar_t*) { return FALSE; }
void CNAStatement::DesactivateRecherche() {}
CNARecherche* CNAStatement::pclAllocRecherche() { return nullptr; }
CNAFilter* CNAStatement::pclAllocFilter(CNAError*) { return nullptr; }
BOOL CNAStatement::_bExecutePreparedQuery(NA_WRITEPARSEFLAGS) { return FALSE; }
BOOL CNAStatement::_vbGetQueryResult(CAny*, unsigned int) { return FALSE; }
BOOL CNAStatement::_bGetNativeDataType(CNAColumn*, CTString*) { return FALSE; }
BOOL CNAStatement::_bGetNativeConstraint(CNAColumn*, CTString*) { return FALSE; }
void CNAStatement::_FormatItemORDERBY(CNAColumn*, CSQLParserInfo*, int, CTString*, int*) {}
BOOL CNAStatement::_bAddClauseReturning(eNAQUERYTYPE, NA_WRITEPARSEFLAGS) { return TRUE; }
BOOL CNAStatement::_bAddColumnValue(CNACommand*, CNAColumn*, eNAQUERYTYPE, NA_WRITEPARSEFLAGS) { return FALSE; }
BOOL CNAStatement::_bBuildQueryCOUNT(CNACommand*, unsigned int, int) { return FALSE; }
BOOL CNAStatement::bBuildQuery(eNAQUERYTYPE, CNACommand*, NA_WRITEPARSEFLAGS) { return FALSE; }
BOOL CNAStatement::bBuildQueryDELETEALL(CNACommand*, NA_WRITEPARSEFLAGS) { return FALSE; }
BOOL CNAStatement::bQueryCREATE_AutoCorrectVarcharMax(CXYStringConcat<wchar_t>*, const wchar_t*, const wchar_t*, int,
                                                      const wchar_t*) {
  return FALSE;
}
BOOL CNAStatement::bPrepare(CNACommand*, unsigned int) { return FALSE; }
BOOL CNAStatement::bExecutePreparedQuery(NA_WRITEPARSEFLAGS, int) { return FALSE; }
BOOL CNAStatement::bFetch(eNA_PARSEDIRECTION, int, long long, long long*) { return FALSE; }
BOOL CNAStatement::bSetParseNeedUpdate(ePARSENEEDUPDATECAUSE, int) { return FALSE; }
BOOL CNAStatement::bSetParseNeedUpdate(ePARSENEEDUPDATECAUSE) { return FALSE; }
BOOL CNAStatement::bCanUpdateParse() const { return FALSE; }
BOOL CNAStatement::bKeepModifiedRecordSave(long long, int) { return FALSE; }
BOOL CNAStatement::bInvertFetch() const { return FALSE; }
eNAQUERYTYPE CNAStatement::eGetQueryType() const { return NA_QUERY_SELECT; }
int CNAStatement::nGetBindDefineFlag() const { return 0; }
const wchar_t* CNAStatement::pszGetTableName() const { return L""; }
CNAConnectionDescription* CNAStatement::pclGetConnectionNoRef() const { return nullptr; }
void CNAStatement::SetDataSource(INADataSourceDescription*) {}
void CNAStatement::SetCurrentRecord(CNARecord*) {}
unsigned int CNAStatement::nGetRowMaxLen() const { return 0; }

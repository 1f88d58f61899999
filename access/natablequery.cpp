// The table object's query run: the driver's query entry runs a host query in the data access of
// the caller's context and hands the host a table whose description is the result's.
#include "access/nadataaccess.h"
#include "access/natable.h"
#include "access/natableheld.h"
#include "driver/inadatasourcedescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"

using namespace natable;

BOOL CNATable::bExecuteQuery(int* result, INAContext* ctx, const wchar_t* name, ISQLParserInformation* query,
                             unsigned int mode, const INAQueryExecution* execution) {
  if (!_bCheckSQLEngine(query)) return FALSE;
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  if (result == nullptr) {
    // The driver reads the table's error after a failed run.
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_TABLE, kSiteNoResultOut, m_pclConnection,
                               pszGetLogicalName(), nullptr, kErrInternal);
    return FALSE;
  }
  *result = 0;
  int created = 0;
  HeldDataAccess access(_pclGetDataAccess(ctx, &created));
  if (access == nullptr) return FALSE;
  CNAError* error = access->pclGetErrorNoRef();
  ResetError(error);
  const BOOL ok = access->bExecuteQuery(result, name, query, static_cast<eNA_QUERYMODE>(mode), execution);
  const BOOL prepared = access->bHPrepareRequeteCalled();
  if (ok) {
    if (!prepared && *result != 0) {
      INADataSourceDescription* former = m_piDescription;
      m_piDescription = access->piGetDataSourceDescriptionForKJ();
      if (former != nullptr) former->nExternalRelease();
    }
    return TRUE;
  }
  if (m_pclError != nullptr && error != nullptr) m_pclError->Copy(error);
  if (!prepared) _RemoveDataAccess(ctx, access.get());
  return FALSE;
}

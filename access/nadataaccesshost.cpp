// The host's announcement of its next operation on a query run as a table: an operation that
// needs the whole result refuses while the table cache does not hold it yet.
#include "access/nadataaccess.h"
#include "access/natablecache.h"
#include "driver/naerror.h"

namespace {
enum : int { kSiteNotLoaded = 41 };
constexpr unsigned int kErrNotLoaded = 55, kMsgNotLoaded = 25667;
}  // namespace

BOOL CNADataAccess::bSetNextOperation(eNA_OPERATION operation) {
  m_eNextOperation = operation;
  if (m_pclTableCache == nullptr) return TRUE;
  const int op = static_cast<int>(operation);
  if (op == 2) return m_pclTableCache->bHasFullCache();
  if (op != 1 && op != 3) return TRUE;
  if (m_pclTableCache->bHasFullCache() && m_pclTableCache->bCacheCompleted()) return TRUE;
  if (m_pclError->eGetErrorLevel() == NAERRORLEVEL_NONE)
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_DATAACCESS, kSiteNotLoaded, m_pclConnection,
                               pszGetLogicalName(), nullptr, kErrNotLoaded, pszGetLogicalName());
  else
    m_pclError->AddUserMessageFirst(kMsgNotLoaded, pszGetLogicalName());
  return FALSE;
}

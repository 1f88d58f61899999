#include "driver/nacontext.h"

#include <memory>

#include "access/nadataaccess.h"
#include "access/natable.h"
#include "common/str_compare.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "driver/naregistrywalk.h"

namespace {

// One reference on a data access, given back however the scope is left.
struct DataAccessRelease {
  void operator()(CNADataAccess* access) const { access->nRelease(); }
};
using HeldDataAccess = std::unique_ptr<CNADataAccess, DataAccessRelease>;

}  // namespace

CNAContext::CNAContext(CNAError* error) : m_pclError(error) { CNAError::s_Hold(m_pclError); }

CNAContext::~CNAContext() {
  CNAError::s_Drop(&m_pclError);
  m_tabDataAccess.RemoveAll();
}

CNADataAccess* CNAContext::_pclAllocDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                               CNAError* error) {
  CNADriverLock lock;
  CNADriver* driver = CNADriver::s_pclDriver;
  return driver != nullptr ? driver->pclAllocDataAccess(desc, cnx, error) : nullptr;
}

void CNAContext::_AddDataAccess(INAContext* ctx, CNADataAccess* access) {
  CNADriverLock lock;
  if (!m_tabDataAccess.bAddValue(ctx->dwGetDataID(), access)) return;
  access->SetContext(this);
}

CNADataAccess* CNAContext::pclFindDataAccess(INAContext* ctx) {
  CNADriverLock lock;
  CNADataAccess* access = nullptr;
  if (!m_tabDataAccess.bGetValue(ctx->dwGetDataID(), &access)) return nullptr;
  access->AddRef();
  return access;
}

CNADataAccess* CNAContext::pclGetDataAccess(INAContext* ctx, CNAConnectionDescription* cnx,
                                            INADataSourceDescription* desc, int* created) {
  CNADriverLock lock;
  if (created != nullptr) *created = 0;
  if (CNADataAccess* found = pclFindDataAccess(ctx)) return found;
  CNADataAccess* access = _pclAllocDataAccess(desc, cnx, m_pclError);
  if (access == nullptr) {
    if (m_pclError != nullptr) m_pclError->pclGetXError()->SetErrorNoMemory();
    return nullptr;
  }
  access->AddRef();
  _AddDataAccess(ctx, access);
  if (created != nullptr) *created = 1;
  return access;
}

void CNAContext::RemoveDataAccess(INAContext* ctx, CNADataAccess* access) {
  CNADriverLock lock;
  CNADataAccess* held = nullptr;
  const unsigned int id = ctx->dwGetDataID();
  if (access == nullptr || (m_tabDataAccess.bGetValue(id, &held) && held == access)) {
    m_tabDataAccess.bRemoveValue(id);
    return;
  }
  // access is held under another file id (closed for its name, not for ctx's own file): the
  // file of ctx's id belongs to another access and stays.
  unsigned int cursor = 0;
  void* value = nullptr;
  void* key = nullptr;
  while (m_tabDataAccess.bParseTable(&cursor, FALSE, &value, &key)) {
    if (value != access) continue;
    m_tabDataAccess.StopParsing();
    m_tabDataAccess.bRemoveValue(static_cast<unsigned int>(reinterpret_cast<uintptr_t>(key)));
    return;
  }
}

void CNAContext::CloseAllDataAccess() {
  CNADriverLock lock;
  for (;;) {
    // Each access leaves the table before anything is called on it.
    unsigned int cursor = 0;
    void* value = nullptr;
    if (!m_tabDataAccess.bParseTable(&cursor, TRUE, &value, nullptr)) break;
    m_tabDataAccess.StopParsing();
    HeldDataAccess access(static_cast<CNADataAccess*>(value));
    if (access->bIsOpened()) access->bHFerme();
    // Nothing may find it again under this context's ids: not its table, not the cache.
    if (CNATable* table = access->pclGetTableNoRef())
      table->_DetachDataAccess(access.get());
    else
      CNATable::g_ForgetDataAccess(access.get());
  }
}

CNADataAccess* CNAContext::_pclFindBy(CNAConnectionDescription* cnx, const wchar_t* name, bool bAlias) {
  CNADriverLock lock;
  CNARegistryWalk<CNADataAccess*> walk(&m_tabDataAccess);
  CNADataAccess* access = nullptr;
  while (walk.bNext(&access)) {
    if (access->pclGetConnectionNoRef() != cnx) continue;
    const wchar_t* own = bAlias ? access->pszGetAliasName() : access->pszGetDBTableName();
    if (STR_nCompareW(own, name != nullptr ? name : L"", 3) != 0) continue;
    access->AddRef();
    return access;
  }
  return nullptr;
}

CNADataAccess* CNAContext::pclFindDataAccessByAliasName(CNAConnectionDescription* cnx, const wchar_t* name) {
  return _pclFindBy(cnx, name, true);
}

CNADataAccess* CNAContext::pclFindDataAccessByDBTableName(CNAConnectionDescription* cnx, const wchar_t* name) {
  return _pclFindBy(cnx, name, false);
}

BOOL CNAContext::bHMode(const wchar_t* logicalName, _eNA_HMODE mode) {
  CNADriverLock lock;
  BOOL ok = TRUE;
  CNARegistryWalk<CNADataAccess*> walk(&m_tabDataAccess);
  CNADataAccess* access = nullptr;
  while (walk.bNext(&access)) {
    if (STR_nCompareW(access->pszGetLogicalName(), logicalName != nullptr ? logicalName : L"", 3) != 0) continue;
    if (!access->bHMode(mode)) ok = FALSE;
  }
  _SetDefaultMode(mode);
  return ok;
}

BOOL CNAContext::bHasDataAccess() const {
  CNADriverLock lock;
  return m_tabDataAccess.dwGetNumElement() != 0;
}

// The table object's walks over all its data accesses: transaction end, record-lock cancel,
// notifications, closing, automatic filters and the query test.
#include <vector>

#include "access/nadataaccess.h"
#include "access/natable.h"
#include "access/natableheld.h"
#include "common/str_compare.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naregistrywalk.h"

using natable::HeldDataAccess;

namespace {

bool SameName(const CNADataAccess* access, const wchar_t* name) {
  return STR_nCompareW(access->pszGetLogicalName(), name != nullptr ? name : L"", 3) == 0;
}

}  // namespace

template <typename F>
auto CNATable::_Collect(F&& keep) const {
  CNADriverLock lock;
  return CollectHeld<HeldDataAccess>(&m_tabDataAccess, keep);
}

void CNATable::SetTransactionTermined() {
  CNADriverLock lock;
  const auto all = _Collect([](CNADataAccess*) { return true; });
  for (const HeldDataAccess& access : all) access->SetTransactionTermined();
}

void CNATable::TransactionCommitted() {
  CNADriverLock lock;
  const auto all = _Collect([](CNADataAccess*) { return true; });
  for (const HeldDataAccess& access : all) access->TransactionCommitted();
}

void CNATable::CancelRecordLock(INAConnectionDescription* host, CNATransaction* transaction) {
  CNADriverLock lock;
  const auto made = _Collect([host](CNADataAccess* access) {
    const CNAConnectionDescription* cnx = access->pclGetConnectionNoRef();
    return cnx != nullptr && cnx->piGetHostDescription() == host;
  });
  for (const HeldDataAccess& access : made) access->CancelRecordLock(host, transaction);
}

void CNATable::NotifyDataAccessOperation(CNADataAccess* source, eNAQUERYTYPE type, CNAStatement* stmt,
                                         unsigned int flags) {
  CNADriverLock lock;
  const auto others = _Collect([source](CNADataAccess* access) { return access != source; });
  for (const HeldDataAccess& access : others) access->NotifyOperation(type, stmt, flags);
}

CNADataAccess* CNATable::pclFindDataAccessByContext(unsigned int contextId) {
  CNADriverLock lock;
  CNARegistryWalk<CNADataAccess*> walk(&m_tabDataAccess);
  CNADataAccess* access = nullptr;
  while (walk.bNext(&access)) {
    if (access->dwGetContextID() != contextId) continue;
    access->AddRef();
    return access;
  }
  return nullptr;
}

BOOL CNATable::bCloseAllDataAccess() {
  CNADriverLock lock;
  const auto all = _Collect([](CNADataAccess*) { return true; });
  BOOL ok = TRUE;
  for (const HeldDataAccess& access : all)
    if (!access->bHFerme()) ok = FALSE;
  return ok;
}

BOOL CNATable::bCloseAllDataAccess(INAContext* ctx, const wchar_t* logicalName) {
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  const DWORD id = ctx->dwGetCtxID();
  // Removing while walking the set would skip entries: collect first.
  const auto named = _Collect([id, logicalName](CNADataAccess* access) {
    return access->dwGetContextID() == id && SameName(access, logicalName);
  });
  BOOL ok = TRUE;
  for (const HeldDataAccess& access : named) {
    if (!access->bHFerme()) ok = FALSE;
    _RemoveDataAccess(ctx, access.get());
  }
  return ok;
}

BOOL CNATable::bFiltreAuto(INAContext* ctx, int mode, const wchar_t* name, const wchar_t* name2,
                           INADataSourceDescription* desc) {
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  const DWORD id = ctx->dwGetCtxID();
  const bool every = name != nullptr && name[0] == L'*';
  const auto named = _Collect([id, every, name](CNADataAccess* access) {
    return access->dwGetContextID() == id && (every || SameName(access, name));
  });
  BOOL ok = TRUE;
  for (const HeldDataAccess& access : named)
    if (!access->bSetFiltreAuto(mode, name, name2, desc)) ok = FALSE;
  return ok;
}

BOOL CNATable::bFiltreAuto(INAContext* ctx, int mode, const wchar_t* name) {
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  const DWORD id = ctx->dwGetCtxID();
  const auto named = _Collect([id, name](CNADataAccess* access) {
    return access->dwGetContextID() == id && SameName(access, name);
  });
  if (!named.empty()) named.front()->SetFiltreAuto(mode);
  return TRUE;
}

BOOL CNATable::bNeedCloseQuery(INAContext* ctx, ISQLParserInformation* query) {
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  int created = 0;
  HeldDataAccess access(_pclGetDataAccess(ctx, &created));
  if (access == nullptr || created) return FALSE;
  return access->bSameQuery(query) ? FALSE : TRUE;
}

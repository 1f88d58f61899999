#include "access/natable.h"

#include <exception>
#include <new>

#include "access/nadataaccess.h"
#include "access/nadataaccessstep.h"
#include "access/natableheld.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nacontext.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "driver/naregistrywalk.h"
#include "sql/isqlparserinformation.h"

using namespace natable;

namespace {

constexpr unsigned int kErrNotSupported = 8;
constexpr unsigned int kErrEngine = 16;
constexpr unsigned int kErrNotOpened = 19;
constexpr eNA_ERRORTYPE kTypeNotSupported = static_cast<eNA_ERRORTYPE>(7);

// What an entry resets for a table or an access without an error object: never raised into, so
// always found clear.
CNAError g_clNoError;

}  // namespace

CNADataAccess* CNATable::gpclLastDataAccess = nullptr;
uint32_t CNATable::gdwCtxID = 0;
uint32_t CNATable::gdwDataID = 0;
CNAError* CNATable::gpclLastAccessError = &g_clNoError;

// ---------------------------------------------------------------- life and counts

CNATable::CNATable(const wchar_t* identification, INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                   CNAError* error)
    : m_pclError(error),
      m_pclResetError(error != nullptr ? error : &g_clNoError),
      m_pclConnection(cnx),
      m_csIdentification(identification) {
  if (m_pclConnection != nullptr) m_pclConnection->AddRef();
  if (desc != nullptr) m_piDescription = desc->ExternalAddRef();
  CNAError::s_Hold(m_pclError);
}

CNATable::~CNATable() {
  {
    // A context may keep an access alive: it must not point at a dead table, nor stay in the
    // cache, whose accesses all have a table.
    CNADriverLock lock;
    CNARegistryWalk<CNADataAccess*> walk(&m_tabDataAccess);
    CNADataAccess* access = nullptr;
    while (walk.bNext(&access)) {
      if (access->pclGetTableNoRef() != this) continue;
      access->SetTable(nullptr);
      g_ForgetDataAccess(access);
    }
  }
  m_tabDataAccess.RemoveAll();
  if (m_piDescription != nullptr) m_piDescription->nExternalRelease();
  CNADriver::g_nReleaseConnection(m_pclConnection);
  CNAError::s_Drop(&m_pclError);
  try {
    if (m_piBindVariable != nullptr) m_piBindVariable->nRelease();
  } catch (...) {
  }
}

INATable* CNATable::ExternalAddRef() {
  CNADriverLock lock;
  ++m_nExternalRef;
  return this;
}

int CNATable::nExternalRelease() {
  CNADriverLock lock;
  if (m_nExternalRef == 0) return 0;
  if (--m_nExternalRef != 0) return static_cast<int>(m_nExternalRef);
  if (m_nRef == 1) {
    // Only the registry holds it: the driver's release sees one left and unregisters it.
    m_nRef = 2;
    CNADriver* driver = CNADriver::s_pclDriver;
    if (driver != nullptr) return driver->nReleaseTable(this);
    m_nRef = 1;
  } else if (m_nRef == 0) {
    // Nobody inside the driver holds it any more (a query result never registered).
    delete this;
  }
  return 0;
}

int CNATable::nRelease() {
  if (m_nRef == 0) return 0;
  const uint32_t left = --m_nRef;
  if (left == 0 && m_nExternalRef == 0) delete this;
  return static_cast<int>(left);
}

void CNATable::SetQueryBindVariable(INAQueryParametersValue* values) {
  if (values == m_piBindVariable) return;
  if (m_piBindVariable != nullptr) m_piBindVariable->nRelease();
  m_piBindVariable = values;
  if (values != nullptr) values->AddRef();
}

// ---------------------------------------------------------------- the registry of data accesses

void CNATable::g_ForgetDataAccess(CNADataAccess* access) {
  CNADriverLock lock;
  if (gpclLastDataAccess == access) gpclLastDataAccess = nullptr;
}

void CNATable::_Adopt(CNADataAccess* access) const {
  if (access->pclGetTableNoRef() != nullptr) return;
  const_cast<CNATable*>(this)->__AddDataAccess(access);
}

// Every row read passes here three times: the cache's hit is answered without a call of ours.
// A cached access has its table: one it lost (its table died) left the cache with it.
inline CNADataAccess* CNATable::_pclCachedDataAccess(INAContext* ctx) const {
  CNADataAccess* last = gpclLastDataAccess;
  if (last == nullptr || ctx->dwGetCtxID() != gdwCtxID || ctx->dwGetDataID() != gdwDataID) return nullptr;
  return last;
}

inline CNADataAccess* CNATable::_pclFindDataAccessOf(INAContext* ctx) const {
  CNADataAccess* last = _pclCachedDataAccess(ctx);
  if (last == nullptr) return _pclLookUpDataAccess(ctx);
  last->AddRef();
  return last;
}

CNADataAccess* CNATable::_pclFindDataAccess(INAContext* ctx) const {
  return ctx != nullptr ? _pclFindDataAccessOf(ctx) : nullptr;
}

CNADataAccess* CNATable::_pclLookUpDataAccess(INAContext* ctx) const {
  HeldContext context(_pclFindContext(ctx));
  if (context == nullptr) return nullptr;
  CNADataAccess* access = context->pclFindDataAccess(ctx);
  context.reset();
  if (access == nullptr) return nullptr;
  _Adopt(access);
  // One left without a table (no memory to adopt it) is adopted again at the next lookup.
  if (access->pclGetTableNoRef() == nullptr) return access;
  gdwCtxID = ctx->dwGetCtxID();
  gdwDataID = ctx->dwGetDataID();
  gpclLastDataAccess = access;
  CNAError* error = access->pclGetErrorNoRef();
  gpclLastAccessError = error != nullptr ? error : &g_clNoError;
  return access;
}

CNADataAccess* CNATable::_pclGetDataAccess(INAContext* ctx, int* created) {
  CNADriverLock lock;
  if (created != nullptr) *created = 0;
  int contextCreated = 0;
  HeldContext context(_pclGetContext(ctx, &contextCreated));
  if (context == nullptr) return nullptr;
  int made = 0;
  CNADataAccess* access = context->pclGetDataAccess(ctx, m_pclConnection, m_piDescription, &made);
  if (access == nullptr) return nullptr;
  if (made)
    __AddDataAccess(access);
  else
    _Adopt(access);
  if (created != nullptr) *created = made;
  return access;
}

CNAContext* CNATable::_pclFindContext(INAContext* ctx) const {
  CNADriver* driver = CNADriver::s_pclDriver;
  return driver != nullptr && ctx != nullptr ? driver->pclFindContext(ctx) : nullptr;
}

CNAContext* CNATable::_pclGetContext(INAContext* ctx, int* created) {
  CNADriver* driver = CNADriver::s_pclDriver;
  if (driver != nullptr && ctx != nullptr) return driver->pclGetContext(ctx, created);
  if (created != nullptr) *created = 0;
  return nullptr;
}

int CNATable::_nReleaseContext(INAContext* ctx, CNAContext* context) {
  if (context == nullptr) return 0;
  CNADriver* driver = CNADriver::s_pclDriver;
  return driver != nullptr ? driver->nReleaseContext(ctx, context) : context->nRelease();
}

void CNATable::__AddDataAccess(CNADataAccess* access) {
  CNADriverLock lock;
  if (m_tabDataAccess.bAddValue(access, access)) access->SetTable(this);
}

void CNATable::_DetachDataAccess(CNADataAccess* access) {
  CNADriverLock lock;
  if (gpclLastDataAccess == access) gpclLastDataAccess = nullptr;
  if (access->pclGetTableNoRef() == this) access->SetTable(nullptr);
  m_tabDataAccess.bRemoveValue(access);
}

void CNATable::_RemoveDataAccess(INAContext* ctx, CNADataAccess* access) {
  CNADriverLock lock;
  HeldContext context(_pclFindContext(ctx));
  if (context == nullptr) return;
  if (access != nullptr) {
    // The caller's reference keeps access alive through both removals.
    context->RemoveDataAccess(ctx, access);
    _DetachDataAccess(access);
  }
  // A context its last file left goes out of the registry.
  _nReleaseContext(ctx, context.release());
}

void CNATable::_SetContextLastNAError(INAContext* ctx, CNAError* error) const {
  HeldContext context(_pclFindContext(ctx));
  if (context != nullptr && context->pclGetErrorNoRef() != nullptr) context->pclGetErrorNoRef()->Copy(error);
}

void CNATable::_SetLastNAError(INAContext* ctx, CNAError* error) {
  _SetContextLastNAError(ctx, error);
  if (m_pclError != nullptr) m_pclError->Copy(error);
}

// ---------------------------------------------------------------- errors and checks

void CNATable::_RaiseNoDataAccess(int site, CNAConnectionDescription* cnx) const {
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_TABLE, site, cnx, pszGetLogicalName(), nullptr,
                             kErrNotOpened, pszGetLogicalName());
}

bool CNATable::_bNoContext(INAContext* ctx) const {
  if (ctx != nullptr) return false;
  CNADriverLock lock;
  _RaiseNoDataAccess(kSiteNoContext, nullptr);
  return true;
}

BOOL CNATable::_bRefuse(INAContext* ctx, int site) const {
  // The table's error is the driver's, shared by every table and thread.
  CNADriverLock lock;
  CNAError::g_RaiseUserError(m_pclError, kTypeNotSupported, NA_SRC_TABLE, site, m_pclConnection, pszGetLogicalName(),
                             nullptr, kErrNotSupported);
  _SetContextLastNAError(ctx, m_pclError);
  return FALSE;
}

BOOL CNATable::_bCheckSQLEngine(ISQLParserInformation* query) const {
  CNADriverLock lock;
  CNADriver* driver = CNADriver::s_pclDriver;
  if (query == nullptr || driver == nullptr || driver->m_bHostSQLModuleAccepted) return TRUE;
  if (!query->bHandshake(32, 32, &CNADriver::s_nID_QXSQL)) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_TABLE, kSiteEngineSilent, m_pclConnection,
                               nullptr, nullptr, kErrEngine, L"qx200msql.so", L"qx200sql.so");
    return FALSE;
  }
  if (CNADriver::s_nID_QXSQL <= 31) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_TABLE, kSiteEngineOld, m_pclConnection,
                               nullptr, nullptr, kErrEngine, L"qx200sql.so", L"qx200msql.so");
    return FALSE;
  }
  driver->m_bHostSQLModuleAccepted = 1;
  return TRUE;
}

// ---------------------------------------------------------------- the common shape

template <typename F>
[[gnu::always_inline]] inline BOOL CNATable::_bCallAccess(CNADataAccess* access, F& call, bool bOutsGiven) const {
  ResetError(access->pclGetErrorNoRef());
  if (!bOutsGiven) return _bRaiseNullOut(access);
  return call(access);
}

template <typename F>
[[gnu::always_inline]] inline BOOL CNATable::_bCallCached(CNADataAccess* cached, F& call, bool bOutsGiven) const {
  // The cached access's own error: an access's error object is the one it was made with.
  gpclLastAccessError->ResetLocked();
  if (!bOutsGiven) return _bRaiseNullOut(cached);
  return call(cached);
}

[[gnu::noinline]] BOOL CNATable::_bRaiseNullOut(CNADataAccess* access) const {
  // Where the host reads the failures of its file.
  CNAError::g_RaiseUserError(access->pclGetErrorNoRef(), NA_ERRORTYPE_DEFAULT, NA_SRC_TABLE, kSiteNullOut,
                             m_pclConnection, pszGetLogicalName(), nullptr, kErrInternal);
  return FALSE;
}

template <bool kHold, typename F>
[[gnu::always_inline]] inline BOOL CNATable::_bForward(INAContext* ctx, F&& call, BOOL whenNone, bool bOutsGiven) const {
  // The read's hold is quiet (CNADriverMutex::LockQuiet): bHostLitxxx moves the entry count on
  // every road that may change what an armed statement stands for.
  struct SLock {
    SLock() {
      if (kHold)
        CNADriver::m_gstDriverCriticalSection.Lock();
      else
        CNADriver::m_gstDriverCriticalSection.LockQuiet();
    }
    ~SLock() {
      if (kHold)
        CNADriver::m_gstDriverCriticalSection.Unlock();
      else
        CNADriver::m_gstDriverCriticalSection.UnlockQuiet();
    }
  } lock;
  m_pclResetError->ResetLocked();
  if (ctx == nullptr && _bNoContext(ctx)) return FALSE;
  // A call that cannot let the access go uses the cached one as it is, under the driver lock: no
  // reference to give back on that road.
  if (!kHold) {
    if (CNADataAccess* cached = _pclCachedDataAccess(ctx)) {
      try {
        return _bCallCached(cached, call, bOutsGiven);
      } catch (...) {
        // A read left half done.
        CNADriverMutex::s_Moved();
        throw;
      }
    }
  }
  return _bCallHeld(kHold ? _pclFindDataAccessOf(ctx) : _pclLookUpDataAccess(ctx), call, whenNone, bOutsGiven);
}

template <typename F>
[[gnu::always_inline]] inline BOOL CNATable::_bForwardLean(INAContext* ctx, F call) const {
  // Written before the lock: the arguments' registers are free from here on.
  STLeanCall<F> c{this, ctx, call};
  CNADriverMutex& mutex = CNADriver::m_gstDriverCriticalSection;
  mutex.LockQuiet();
  BOOL answer;
  bool thrown = true;
  try {
    c.table->m_pclResetError->ResetLocked();
    // The cache read anew after the getters: _pclCachedDataAccess's test in that order.
    if (c.ctx != nullptr && gpclLastDataAccess != nullptr && c.ctx->dwGetCtxID() == gdwCtxID &&
        c.ctx->dwGetDataID() == gdwDataID) {
      // The access read after its error's reset: nothing waits across that reset's call.
      gpclLastAccessError->ResetLocked();
      answer = c.call(c.table, gpclLastDataAccess);
    } else {
      answer = s_bForwardMissed(c);
    }
    thrown = false;
  } catch (...) {
    s_KeepCaught();
  }
  // Thrown on once the handler is left: the frame keeps nothing for that road.
  if (thrown) [[unlikely]]
    s_UnlockRethrow();
  // The answer is given back through the release: nothing of it waits across a call.
  return mutex.nUnlockQuietAnswering(answer);
}

namespace {
// What _bForwardLean caught, between its handler and its rethrow (this thread's only): raw bytes,
// so that no thread-exit destructor is registered that would pin the library.
alignas(std::exception_ptr) thread_local unsigned char t_abyCaught[sizeof(std::exception_ptr)];
}  // namespace

[[gnu::noinline]] void CNATable::s_KeepCaught() { new (t_abyCaught) std::exception_ptr(std::current_exception()); }

[[noreturn, gnu::noinline]] void CNATable::s_UnlockRethrow() {
  std::exception_ptr* kept = std::launder(reinterpret_cast<std::exception_ptr*>(t_abyCaught));
  const std::exception_ptr thrown = std::move(*kept);
  kept->~exception_ptr();
  CNADriver::m_gstDriverCriticalSection.Unlock();
  std::rethrow_exception(thrown);
}

// Opaque to GCC's analysis across functions; clang knows no such attribute.
#if defined(__GNUC__) && !defined(__clang__)
#define QX_OPAQUE_CALL [[gnu::noipa]]
#else
#define QX_OPAQUE_CALL [[gnu::noinline]]
#endif

template <typename F>
QX_OPAQUE_CALL BOOL CNATable::s_bForwardMissed(const STLeanCall<F>& c) {
  const CNATable* table = c.table;
  if (table->_bNoContext(c.ctx)) return FALSE;
  auto call = [&c](CNADataAccess* a) { return c.call(c.table, a); };
  return table->_bCallHeld(table->_pclLookUpDataAccess(c.ctx), call, FALSE, true);
}

template <typename F>
[[gnu::always_inline]] inline BOOL CNATable::_bCallHeld(CNADataAccess* access, F& call, BOOL whenNone,
                                                        bool bOutsGiven) const {
  HeldDataAccess held(access);
  if (held == nullptr) {
    if (!whenNone) _RaiseNoDataAccess(kSiteNoDataAccess, nullptr);
    return whenNone;
  }
  return _bCallAccess(held.get(), call, bOutsGiven);
}

BOOL CNATable::bNbEnrNeedParse(INAContext* ctx, int* needParse, const wchar_t* item) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bNbEnrNeedParse(needParse, item); }, FALSE,
                   needParse != nullptr);
}
BOOL CNATable::bHAjoute(INAContext* ctx, unsigned int flags, eNA_LOCKTYPE lock) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHAjoute(flags, lock); });
}
BOOL CNATable::bHEcrit(INAContext* ctx, long long recnum, unsigned int flags, eNA_LOCKTYPE lock) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHEcrit(recnum, flags, lock); });
}
BOOL CNATable::bHRaye(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHRaye(recnum, lock); });
}
BOOL CNATable::bHSupprime(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHSupprime(recnum, lock); });
}
BOOL CNATable::bHModifie(INAContext* ctx, long long recnum, unsigned int flags, eNA_LOCKTYPE lock) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHModifie(recnum, flags, lock); });
}
BOOL CNATable::bHRecherche(INAContext* ctx, const wchar_t* item, const CAny* value, int generic, int setRead,
                           eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, int fromFirst, unsigned int flags) {
  // The item sought is the one browsed: straight to the seek, without the one-item form's call.
  return _bForward(ctx, [&](CNADataAccess* a) {
    return a->bHRecherche(item, item, value, generic, setRead, lock, lockOut, fromFirst, flags);
  });
}
BOOL CNATable::bHLibere(INAContext* ctx) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHLibere(); });
}
BOOL CNATable::bHLit(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHLit(recnum, lock, lockOut); });
}
BOOL CNATable::bHLitxxx(INAContext* ctx, const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                        eNA_LOCKTYPE* lockOut, unsigned int flags) {
  // Forced in line in both of _bForward's roads: left alone, the compiler made the step road a call of
  // its own, a frame more a row.
  return _bForward<false>(ctx, [&](CNADataAccess* a) __attribute__((always_inline)) {
    return a->bHostLitxxx(item, dir, setRead, lock, lockOut, flags);
  });
}
BOOL CNATable::bSkipRecord(INAContext* ctx, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                           int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, unsigned int flags) {
  return _bForward(ctx,
                   [&](CNADataAccess* a) { return a->bSkipRecord(item, dir, count, setRead, lock, lockOut, flags); });
}
BOOL CNATable::bHBloqueFichier(INAContext* ctx, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHBloqueFichier(lock, lockOut); });
}
BOOL CNATable::bHDebloqueFichier(INAContext* ctx) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHDebloqueFichier(); });
}
BOOL CNATable::bHBloqueNumEnr(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHBloqueNumEnr(recnum, lock, lockOut); });
}
BOOL CNATable::bHDebloqueNumEnr(INAContext* ctx, long long recnum) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHDebloqueNumEnr(recnum); });
}
BOOL CNATable::bHEnDehors(INAContext* ctx, const wchar_t* item, int* out) {
  return _bForwardLean(ctx, [item, out](const CNATable* table, CNADataAccess* a) {
    return out != nullptr ? a->bHEndehors(item, out) : table->_bRaiseNullOut(a);
  });
}
BOOL CNATable::bEvalHTrouve(INAContext* ctx, const wchar_t* item, int* found, int* second) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bEvalHTrouve(item, found, second); }, FALSE,
                   found != nullptr);
}
BOOL CNATable::bSetNextOperation(INAContext* ctx, eNA_OPERATION operation) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bSetNextOperation(operation); });
}
BOOL CNATable::bGetRecNumState(INAContext* ctx, long long recnum, unsigned int* state) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bGetRecNumState(recnum, state); }, FALSE,
                   state != nullptr);
}
BOOL CNATable::bHFiltre(INAContext* ctx, ISQLParserInformation* condition, wchar_t* item) {
  if (!_bCheckSQLEngine(condition)) return FALSE;
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHFiltre(condition, item); }, FALSE, item != nullptr);
}
BOOL CNATable::bHFiltre(INAContext* ctx, const wchar_t* item, const CAny* min, int minIncluded, const CAny* max,
                        int maxIncluded, ISQLParserInformation* condition) {
  if (!_bCheckSQLEngine(condition)) return FALSE;
  return _bForward(ctx,
                   [&](CNADataAccess* a) { return a->bHFiltre(item, min, minIncluded, max, maxIncluded, condition); });
}
BOOL CNATable::bHActiveFiltre(INAContext* ctx, const wchar_t* item, unsigned int) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHActiveFiltre(item); });
}
BOOL CNATable::bHDesactiveFiltre(INAContext* ctx, const wchar_t* item, unsigned int) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHDesactiveFiltre(item); }, TRUE);
}
BOOL CNATable::bHRetourPosition(INAContext* ctx, int id, wchar_t* itemOut, int keep, unsigned int mode) {
  return _bForward(ctx, [&](CNADataAccess* a) {
    return a->bHRetourPosition(id, itemOut, keep, static_cast<eNAPOSITION>(mode));
  });
}
BOOL CNATable::bHLiberePosition(INAContext* ctx, int id) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHLiberePosition(id); }, TRUE);
}
BOOL CNATable::bHSauvePosition(INAContext* ctx, const wchar_t* item, int* id, unsigned int mode) {
  return _bForward(
      ctx, [&](CNADataAccess* a) { return a->bHSauvePosition(id, item, static_cast<eNAPOSITION>(mode)); }, FALSE,
      id != nullptr);
}
BOOL CNATable::bHVersion(INAContext* ctx, int* version) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHVersion(version); }, FALSE, version != nullptr);
}
BOOL CNATable::bHNbEnr(INAContext* ctx, long long* count, unsigned int options, unsigned int flags) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHNbEnr(count, options, flags); }, FALSE,
                   count != nullptr);
}
BOOL CNATable::bHPositionCourante(INAContext* ctx, const wchar_t* item, int* position, eNA_PRECISION precision,
                                  unsigned int) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHPositionCourante(position, item, precision); }, FALSE,
                   position != nullptr);
}
BOOL CNATable::bHPositionne(INAContext* ctx, const wchar_t* item, unsigned int position, eNA_PRECISION precision,
                            unsigned int flags) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHPositionne(item, position, precision, flags); });
}
BOOL CNATable::bGetBLOB(INAContext* ctx, unsigned int memo, CAny* value) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bGetBLOB(memo, value); }, FALSE, value != nullptr);
}
BOOL CNATable::bSetBLOB(INAContext* ctx, unsigned int memo, const CAny* value) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bSetBLOB(memo, value); });
}
BOOL CNATable::bGetRecord(INAContext* ctx, CNAKJRecord** record) const {
  return _bForwardLean(ctx, [record](const CNATable* table, CNADataAccess* a) {
    return record != nullptr ? a->bGetRecord(record) : table->_bRaiseNullOut(a);
  });
}
BOOL CNATable::bSetRecord(INAContext* ctx, CNAKJRecord* record) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bSetRecord(record); });
}
BOOL CNATable::bHAttacheMemo(INAContext* ctx, unsigned int memo, const wchar_t* path) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHAttacheMemo(memo, path); });
}
BOOL CNATable::bExtraitMemo(INAContext* ctx, unsigned int memo, const wchar_t* path) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bExtraitMemo(memo, path); });
}
BOOL CNATable::bHAnnuleRecherche(INAContext* ctx, const wchar_t* item) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHAnnuleRecherche(item); });
}
BOOL CNATable::bHChangeCle(INAContext* ctx, const wchar_t* item, unsigned int flags) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHChangeCle(item, flags); });
}
BOOL CNATable::bHConstruitValCle(INAContext* ctx, CAny* out, const wchar_t* item, unsigned int options,
                                 CAny** values) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bHConstruitValCle(out, item, options, values); });
}
BOOL CNATable::bFreeCache(INAContext* ctx) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bFreeCache(); });
}
BOOL CNATable::bCompareTablePosition(INAContext* ctx, int first, int second, int* equal) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bCompareTablePosition(first, second, equal); }, FALSE,
                   equal != nullptr);
}
BOOL CNATable::bSupprimeTout(INAContext* ctx) {
  return _bForward(ctx, [&](CNADataAccess* a) { return a->bSupprimeTout(); });
}

long long CNATable::llGetRecNum(INAContext* ctx) {
  CNADriverLock lock;
  HeldDataAccess access(_pclFindDataAccess(ctx));
  if (access == nullptr) {
    _RaiseNoDataAccess(kSiteRecNum, m_pclConnection);
    return 0;
  }
  return access->llGetRecNum();
}

// ---------------------------------------------------------------- entries of their own shapes

INAError* CNATable::piGetLastError(INAContext* ctx) {
  CNADriverLock lock;
  HeldContext context(_pclFindContext(ctx));
  if (context != nullptr) return context->pclGetErrorNoRef();
  return m_pclError;
}

BOOL CNATable::bIsOpened(INAContext* ctx) {
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  HeldDataAccess access(_pclFindDataAccess(ctx));
  return access != nullptr && access->bIsOpened() ? TRUE : FALSE;
}

INADataSourceDescription* CNATable::piGetDataSourceDescription() {
  CNADriverLock lock;
  return m_piDescription != nullptr ? m_piDescription->ExternalAddRef() : nullptr;
}

template <typename F>
BOOL CNATable::_bOpenAndCall(INAContext* ctx, bool bOpenOnly, bool bAlwaysRemove, F&& call) {
  CNADriverLock lock;
  ResetError(m_pclError);
  if (_bNoContext(ctx)) return FALSE;
  const BOOL open = m_pclConnection != nullptr &&
                    (bOpenOnly ? m_pclConnection->bOpen(m_pclError) : m_pclConnection->bOpenCreate(m_pclError));
  if (!open) {
    _SetContextLastNAError(ctx, m_pclError);
    return FALSE;
  }
  int created = 0;
  HeldDataAccess access(_pclGetDataAccess(ctx, &created));
  if (access == nullptr) return FALSE;
  ResetError(access->pclGetErrorNoRef());
  const BOOL ok = call(access.get());
  if (!ok && m_pclError != nullptr) m_pclError->Copy(access->pclGetErrorNoRef());
  if (bAlwaysRemove || (!ok && created)) _RemoveDataAccess(ctx, access.get());
  return ok;
}

BOOL CNATable::bHOuvre(INAContext* ctx, eNA_ACCESS mode, const wchar_t* password) {
  return _bOpenAndCall(ctx, true, false, [&](CNADataAccess* a) { return a->bHOuvre(mode, password); });
}

BOOL CNATable::bHCreation(INAContext* ctx, const wchar_t* password) {
  return _bOpenAndCall(ctx, false, false, [&](CNADataAccess* a) { return a->bHCreation(password, 1); });
}

BOOL CNATable::bHCreationSiInexistant(INAContext* ctx, eNA_ACCESS mode, const wchar_t* password) {
  return _bOpenAndCall(ctx, false, false, [&](CNADataAccess* a) { return a->bHCreationSiInexistant(mode, password); });
}

BOOL CNATable::bSupprimeFichier(INAContext* ctx) {
  return _bOpenAndCall(ctx, false, true, [&](CNADataAccess* a) { return a->bSupprimeFichier(); });
}

BOOL CNATable::bHFerme(INAContext* ctx) {
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  HeldDataAccess access(_pclFindDataAccess(ctx));
  if (access == nullptr) return TRUE;
  ResetError(access->pclGetErrorNoRef());
  const BOOL ok = access->bHFerme();
  if (!ok && m_pclError != nullptr) m_pclError->Copy(access->pclGetErrorNoRef());
  _RemoveDataAccess(ctx, access.get());
  SetQueryBindVariable(nullptr);
  return ok;
}

BOOL CNATable::bHMode(INAContext* ctx, _eNA_HMODE mode) {
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  int created = 0;
  HeldContext context(_pclGetContext(ctx, &created));
  if (context == nullptr) return TRUE;
  return context->bHMode(pszGetLogicalName(), mode);
}

BOOL CNATable::bHReindexe(INAContext* ctx, unsigned int options, IGaugeControl* gauge) {
  CNADriverLock lock;
  if (_bNoContext(ctx)) return FALSE;
  int created = 0;
  HeldDataAccess access(_pclGetDataAccess(ctx, &created));
  if (access == nullptr) return FALSE;
  return access->bHReindexe(options, gauge);
}

BOOL CNATable::FreeMemory(INAContext* ctx, void**) const { return _bRefuse(ctx, kSiteFreeMemory); }
BOOL CNATable::bHInterditModif(INAContext* ctx) { return _bRefuse(ctx, kSiteInterditModif); }
BOOL CNATable::bHFinInterditModif(INAContext* ctx) { return _bRefuse(ctx, kSiteFinInterditModif); }
BOOL CNATable::bCalculateKeyValue(INAContext* ctx, const wchar_t*, void**, const void*, unsigned int*, unsigned short,
                                  int) {
  return _bRefuse(ctx, kSiteCalculateKeyValue);
}

const wchar_t* CNATable::pszGetLogicalName() const {
  return m_piDescription != nullptr ? m_piDescription->pszGetLogicalName() : L"";
}

const wchar_t* CNATable::pszGetDBTableName() const {
  return m_piDescription != nullptr ? m_piDescription->pszGetDBTableName() : L"";
}

INAError* CNATable::piGetLastError() const { return m_pclError; }

// The driver's host operations that drive transactions, locks, diagnosis, query results, file
// deletion and the constant answers (CNADriver, declared in nadriver.h).
#include <new>

#include "access/natable.h"
#include "driver/nacontext.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/isqlparserinformation.h"
#include "values/any.h"

namespace {

// The bits of a host error raise for user error 8: the driver's own refusals.
constexpr eNA_ERRORTYPE kTypeNotSupported = static_cast<eNA_ERRORTYPE>(7);
// Flag of bHExecuteRequeteSQLEx: the host keeps a result without rows, or one that failed.
constexpr unsigned int kKeepQuery = 16;

// Whether the host prepared the query of table (its bind values say so).
bool HostPrepared(CNATable* table) {
  INAQueryParametersValue* values = table->piGetQueryBindVariableNoRef();
  return values != nullptr && values->bHPrepareRequeteCalled();
}

}  // namespace

void CNADriver::_RaiseNotRegistered(INAConnectionDescription* host, int site) {
  const CNAConnectionName* name = host != nullptr ? host->pclGetConnectionName() : nullptr;
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, NA_SRC_DRIVER, site, nullptr, nullptr, nullptr, 14,
                             name != nullptr ? name->pszGetName() : L"");
}

CNAConnectionDescription* CNADriver::_pclGetOpenConnection(INAConnectionDescription* host) {
  CNAConnectionDescription* cnx = host != nullptr ? _pclGetConnection(host) : nullptr;
  if (cnx == nullptr || cnx->bOpen(m_pclError)) return cnx;
  if (m_pclError != nullptr) m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
  nReleaseConnection(cnx);
  return nullptr;
}

// ---------------------------------------------------------------- transactions

BOOL CNADriver::bTransactionBegin(INAConnectionDescription* host, const wchar_t* name) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  CNAHeldConnection cnx(this, host != nullptr ? _pclGetConnection(host) : nullptr);
  return cnx.get() != nullptr && cnx.get()->bTransactionBegin(m_pclError, name);
}

BOOL CNADriver::bTransactionCommit(INAConnectionDescription* host, const wchar_t* name) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  return _bOnFoundConnection(host, NA_SITE_COMMIT, [&](CNAConnectionDescription* cnx) {
    const BOOL committed = cnx->bTransactionCommit(m_pclError, name);
    if (committed) _TransactionCommitted(cnx);
    if (!committed || cnx->bTransactionEndCloseParse()) _SetTransactionTermined(cnx);
    return committed;
  });
}

// The server has dropped the transaction's rows, whatever the dialect says of its cursors: the
// tables are told after the roll-back too, so that caches filled inside it go.
BOOL CNADriver::bTransactionRollBack(INAConnectionDescription* host, const wchar_t* name) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  return _bOnFoundConnection(host, NA_SITE_ROLLBACK, [&](CNAConnectionDescription* cnx) {
    if (cnx->bTransactionEndCloseParse()) _SetTransactionTermined(cnx);
    const BOOL rolledBack = cnx->bTransactionRollBack(m_pclError, name);
    _SetTransactionTermined(cnx);
    return rolledBack;
  });
}

// ---------------------------------------------------------------- locks and diagnosis

BOOL CNADriver::bSQLBloqueTable(INAConnectionDescription* host, const wchar_t* tables) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  return _bOnFoundConnection(host, NA_SITE_LOCK_TABLE, [&](CNAConnectionDescription* cnx) {
    return cnx->bOpen(m_pclError) && cnx->bSQLBloque(m_pclError, tables);
  });
}

BOOL CNADriver::bSQLBloqueRequete(INAConnectionDescription* host, ISQLParserInformation* query) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  return _bOnFoundConnection(host, NA_SITE_LOCK_QUERY, [&](CNAConnectionDescription* cnx) {
    return cnx->bOpen(m_pclError) && cnx->bSQLBloque(m_pclError, query);
  });
}

BOOL CNADriver::bHConnexionDiagnose(CAny* out, INAConnectionDescription* host, const wchar_t* text,
                                    unsigned int flags) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  return _bOnFoundConnection(host, NA_SITE_DIAGNOSE, [&](CNAConnectionDescription* cnx) {
    return cnx->bDiagnose(m_pclError, out, text, flags);
  });
}

// ---------------------------------------------------------------- tables and query results

BOOL CNADriver::bTableExists(int* exists, const wchar_t* name, INAConnectionDescription* host) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  CNAHeldConnection cnx(this, _pclGetOpenConnection(host));
  return cnx.get() != nullptr && _bTableExists(exists, name, cnx.get());
}

BOOL CNADriver::bSupprimeFichier(INAContext* ctx, INAConnectionDescription* host, const wchar_t*,
                                 INADataSourceDescription* desc) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  CNAHeldConnection cnx(this, _pclGetOpenConnection(host));
  if (cnx.get() == nullptr) return FALSE;
  if (desc == nullptr) return TRUE;
  CNATable* table = _pclGetTable(desc, cnx.get());
  if (table == nullptr) return FALSE;
  const BOOL dropped = table->bSupprimeFichier(ctx);
  if (!dropped && m_pclError != nullptr) m_pclError->Copy(table->piGetLastError());
  nReleaseTable(table);
  return dropped;
}

BOOL CNADriver::bHExecuteRequeteSQL(INATable** out, INAContext* ctx, const wchar_t* name,
                                    INAConnectionDescription* host, ISQLParserInformation* query, unsigned int flags) {
  return bHExecuteRequeteSQLEx(out, ctx, name, host, query, flags, nullptr);
}

BOOL CNADriver::bHExecuteRequeteSQLEx(INATable** out, INAContext* ctx, const wchar_t* name,
                                      INAConnectionDescription* host, ISQLParserInformation* query, unsigned int flags,
                                      const INAQueryExecution* execution) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  if (out != nullptr) *out = nullptr;
  if (ctx == nullptr || host == nullptr) return FALSE;
  CNAHeldConnection cnx(this, _pclGetConnection(host));
  if (cnx.get() == nullptr) return FALSE;
  CNATable* table = _pclGetQuery(ctx, name, cnx.get(), 0, 1);
  if (table == nullptr) return FALSE;
  int hasResult = 0;
  const BOOL ran = table->bExecuteQuery(&hasResult, ctx, name, query, flags, execution);
  if (!ran && m_pclError != nullptr) m_pclError->Copy(table->piGetLastError());
  if (ran && hasResult != 0) {
    _AddTable(table);
    if (out != nullptr) {
      table->ExternalAddRef();
      *out = table;
    }
  } else if ((flags & kKeepQuery) == 0 && !HostPrepared(table)) {
    _bReleaseTable(ctx, table);
  } else {
    // Kept for the host's later run of that name: a new table is registered too, else it would
    // go with this call's reference.
    _AddTable(table);
  }
  // Only this call's reference: a registered result stays for the next call of that name.
  table->nRelease();
  return ran;
}

BOOL CNADriver::bFreeDataSource(INAContext* ctx, const wchar_t* name, INAConnectionDescription* host) {
  CNADriverLock lock;
  if (ctx == nullptr || host == nullptr) return FALSE;
  CNAHeldConnection cnx(this, _pclGetConnection(host));
  if (cnx.get() == nullptr) return FALSE;
  CNATable* table = _pclGetQuery(ctx, name, cnx.get(), 0, 0);
  if (table == nullptr) return TRUE;
  const BOOL closed = table->bHFerme(ctx);
  nReleaseTable(table);
  return closed;
}

BOOL CNADriver::SetNextLogicalName(INAContext* ctx, const wchar_t* name) {
  CNADriverLock lock;
  CNAContext* context = ctx != nullptr ? pclGetContext(ctx, nullptr) : nullptr;
  if (context == nullptr) return FALSE;
  context->SetNextLogicalName(name);
  // The registry keeps the context (and the name) though it holds no file yet.
  context->nRelease();
  return TRUE;
}

// ---------------------------------------------------------------- refusals and constant answers

BOOL CNADriver::bGetProviderList(CAny*) {
  CNADriverLock lock;
  CNAError::g_RaiseUserError(m_pclError, kTypeNotSupported, NA_SRC_DRIVER, NA_SITE_PROVIDERS, nullptr, nullptr,
                             nullptr, 8);
  return FALSE;
}

BOOL CNADriver::bFiltreAuto(INAContext*, INAConnectionDescription*, int, const wchar_t* table,
                            INADataSourceDescription*, const wchar_t*, INADataSourceDescription*) {
  CNADriverLock lock;
  CNAError::g_RaiseUserError(m_pclError, kTypeNotSupported, NA_SRC_DRIVER, NA_SITE_FILTREAUTO, nullptr, table, nullptr,
                             8);
  return FALSE;
}

BOOL CNADriver::bGetListeSource(CAny* out, int) {
  if (out == nullptr) return TRUE;
  out->__SetType(ZV_PSTRW, 0);
  out->Intern()->SetValue(L"", 0);
  out->SetFlags(0);
  return TRUE;
}

BOOL CNADriver::bCopyContext(INACopyCtx*, INAContext*, INAContext*, unsigned int) { return FALSE; }
BOOL CNADriver::bSetQueryParameters(INAContext*, INAConnectionDescription*, INAQueryParametersValue*) { return TRUE; }
BOOL CNADriver::bValidConnection(INAConnectionDescription*) { return TRUE; }

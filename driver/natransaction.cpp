#include "driver/natransaction.h"

#include <new>

#include "common/str_compare.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/nadriversql.h"
#include "driver/naerror.h"
#include "sql/nastatementsql.h"
#include "values/any.h"

namespace {

enum { kSiteCommitNestedOpen = 1, kSiteRollBackUnknown = 2, kSiteCommitLost = 3 };
enum { kSiteCnxCommitNone = 1, kSiteCnxRollBackNone = 2, kSiteCnxDiagnose = 3, kSiteCnxCommitLost = 4 };
// A transaction lost with its session: the driver's (its name, the server code), or one the host
// opened by SQL text (the database, the server code).
constexpr unsigned int kUserErrorTransactionLost = 320103;
constexpr unsigned int kUserErrorSessionTransactionLost = 320104;

const wchar_t* OrEmpty(const wchar_t* s) { return s != nullptr ? s : L""; }
bool IsEmpty(const wchar_t* s) { return s == nullptr || *s == 0; }

}  // namespace

CNATransaction::~CNATransaction() {
  if (m_pclNested != nullptr) m_pclNested->nRelease();
}

// MySQL and MariaDB commit the open transaction on a second BEGIN: nested levels are savepoints.
BOOL CNATransaction::_bSavepoints() const { return m_bInternal && m_pclConnection->nGetDataSource() == 5; }

BOOL CNATransaction::_bNABegin(CNAError* error) {
  if (_bSavepoints()) return m_pclConnection->bSavepointDirect(error, L"SAVEPOINT", m_nDepth);
  return m_pclConnection->bTransactionBeginDirect(error);
}

BOOL CNATransaction::_bNACommit(CNAError* error) {
  if (_bSavepoints()) return m_pclConnection->bSavepointDirect(error, L"RELEASE SAVEPOINT", m_nDepth);
  return m_pclConnection->bTransactionCommitDirect(error);
}

BOOL CNATransaction::_bNARollBack(CNAError* error) {
  if (_bSavepoints()) return m_pclConnection->bSavepointDirect(error, L"ROLLBACK TO SAVEPOINT", m_nDepth);
  return m_pclConnection->bTransactionRollBackDirect(error);
}

BOOL CNATransaction::bBegin(CNAError* error, const wchar_t* name, int internal) {
  m_csName = OrEmpty(name);
  m_bInternal = internal;
  m_bActive = _bNABegin(error) ? 1 : 0;
  return m_bActive;
}

BOOL CNATransaction::bInternalTransactionBegin(CNAError* error, const wchar_t* name) {
  CNATransaction* last = this;
  while (last->_bInternalTransactionOpened()) last = last->m_pclNested;
  if (last->m_pclNested == nullptr) {
    CNATransaction* nested = m_pclConnection->pclAllocTransaction();
    if (nested == nullptr) {
      CNAError::g_RaiseNoMemory(error, m_pclConnection);
      return FALSE;
    }
    nested->AddRef();
    last->m_pclNested = nested;
  }
  last->m_pclNested->m_nDepth = last->m_nDepth + 1;
  return last->m_pclNested->bBegin(error, name, 1);
}

BOOL CNATransaction::_bIsMyName(const wchar_t* name) const {
  return STR_nCompareW(name, m_csName.pszGet(), 3) == 0;
}

BOOL CNATransaction::_bInternalTransactionOpened() const { return m_pclNested != nullptr && m_pclNested->m_bActive; }

BOOL CNATransaction::bCommit(CNAError* error, const wchar_t* name) {
  if (IsEmpty(name)) return _bInternalTransactionOpened() ? m_pclNested->bCommit(error, nullptr) : _bCommit(error);
  if (!_bIsMyName(name)) return _bInternalTransactionOpened() ? m_pclNested->bCommit(error, name) : FALSE;
  if (_bInternalTransactionOpened()) {
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_TRANSACTION, kSiteCommitNestedOpen,
                               m_pclConnection, nullptr, nullptr, 10, name, m_pclNested->pszGetName());
    return FALSE;
  }
  return _bCommit(error);
}

BOOL CNATransaction::bRollBack(CNAError* error, const wchar_t* name) {
  if (IsEmpty(name)) return _bInternalTransactionOpened() ? m_pclNested->bRollBack(error, nullptr) : _bRollBack(error);
  if (!_bIsMyName(name)) {
    if (_bInternalTransactionOpened()) return m_pclNested->bRollBack(error, name);
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_TRANSACTION, kSiteRollBackUnknown, m_pclConnection,
                               nullptr, nullptr, 9, name);
    return FALSE;
  }
  return _bInternalTransactionOpened() ? m_pclNested->bRollBackAll(error) : _bRollBack(error);
}

BOOL CNATransaction::bRollBackAll(CNAError* error) {
  const BOOL nested = _bInternalTransactionOpened() ? m_pclNested->bRollBackAll(error) : TRUE;
  const BOOL own = _bRollBack(error);
  return nested && own;
}

BOOL CNATransaction::_bCommit(CNAError* error) {
  m_bActive = 0;
  if (m_pclConnection->bTransactionLost())
    return m_pclConnection->bRaiseTransactionLost(error, NA_SRC_TRANSACTION, kSiteCommitLost);
  return _bNACommit(error);
}

BOOL CNATransaction::_bRollBack(CNAError* error) {
  if (!m_bActive) return TRUE;
  m_bActive = 0;
  // The server rolled the work back when it ended the session: nothing is left to send.
  if (m_pclConnection->bTransactionLost()) return TRUE;
  return _bNARollBack(error);
}

// ---------------------------------------------------------------- the connection's side

namespace {

// run(a new statement of the service's factory on cnx), the statement freed afterwards; FALSE
// when there is no factory.
template <typename F>
BOOL bOnServiceStatement(CNAConnectionDescription* cnx, CNAError* error, F&& run) {
  CNADriverLock lock;
  CNADriverSQL* service = CNADriver::s_pclGetDriverSQL();
  CNAStatementSQL* st = service != nullptr ? service->pclAllocStatementSQL(cnx, error) : nullptr;
  if (st == nullptr) return FALSE;
  st->AddRef();
  const BOOL result = run(st);
  st->nRelease();
  return result;
}

}  // namespace

BOOL CNAConnectionDescription::bExecuteQueryNoResult(CNAError* error, const wchar_t* sql) {
  return bOnServiceStatement(this, error, [&](CNAStatementSQL* st) { return st->bExecuteDirect(sql, nullptr, 0); });
}

BOOL CNAConnectionDescription::bGetRequestedValue(CNAError* error, CAny* out, int column, const wchar_t* sql) {
  return bOnServiceStatement(this, error,
                             [&](CNAStatementSQL* st) { return st->bGetRequestedValue(out, column, sql); });
}

BOOL CNAConnectionDescription::bGetRequestedValueString(CNAError* error, CTString* out, int column,
                                                        const wchar_t* sql) {
  CAny value;
  const BOOL result = bGetRequestedValue(error, &value, column, sql);
  const wchar_t* text = nullptr;
  // A value still empty was never read: there was no row.
  if (result && value.wGetType() != ZV_VIDE && value.__nCastTo(ZV_PSTRW, nullptr, 0) < 100)
    *out = value.bIsNull() || value.__nCastToString(&text, nullptr) >= 100 || text == nullptr ? L"" : text;
  return result;
}

BOOL CNAConnectionDescription::bTransactionBeginDirect(CNAError* error) {
  return bExecuteQueryNoResult(error, L"BEGIN");
}

BOOL CNAConnectionDescription::bTransactionCommitDirect(CNAError* error) {
  return bExecuteQueryNoResult(error, L"COMMIT");
}

BOOL CNAConnectionDescription::bTransactionRollBackDirect(CNAError* error) {
  return bExecuteQueryNoResult(error, L"ROLLBACK");
}

BOOL CNAConnectionDescription::bSavepointDirect(CNAError* error, const wchar_t* verb, int depth) {
  CTString sql;
  sql.printf(L"%s qx_savepoint_%d", verb, depth);
  return bExecuteQueryNoResult(error, sql.pszGet());
}

CNATransaction* CNAConnectionDescription::pclAllocTransaction() { return new (std::nothrow) CNATransaction(this); }

BOOL CNAConnectionDescription::bTransactionBegin(CNAError* error, const wchar_t* name) {
  if (!bOpen(error)) return FALSE;
  if (m_pclTransaction == nullptr) {
    m_pclTransaction = pclAllocTransaction();
    if (m_pclTransaction == nullptr) {
      CNAError::g_RaiseNoMemory(error, this);
      return FALSE;
    }
    m_pclTransaction->AddRef();
  }
  if (m_pclTransaction->bIsActive()) {
    if (m_bNestedTransactions) return m_pclTransaction->bInternalTransactionBegin(error, name);
    ++m_nBeginCounter;
    return TRUE;
  }
  m_nBeginCounter = 0;
  const BOOL result = m_pclTransaction->bBegin(error, name, 0);
  // Only a session opened since the loss can begin: the lost work is behind it.
  if (result) _ForgetTransactionLoss();
  if (result && !m_bNestedTransactions) ++m_nBeginCounter;
  return result;
}

BOOL CNAConnectionDescription::bTransactionCommit(CNAError* error, const wchar_t* name) {
  return _bTransactionEnd(error, name, true);
}

BOOL CNAConnectionDescription::bTransactionRollBack(CNAError* error, const wchar_t* name) {
  return _bTransactionEnd(error, name, false);
}

BOOL CNAConnectionDescription::_bTransactionEnd(CNAError* error, const wchar_t* name, bool bCommit) {
  // The host's entries end a lost transaction that its SQL text opened, as its texts do: a
  // roll-back finds nothing left to undo, a commit is told that nothing was committed.
  if (bSessionTransactionLost() && !_bTransactionOpened()) {
    const BOOL result = bCommit ? bRaiseTransactionLost(error, NA_SRC_CONNECTION, kSiteCnxCommitLost) : TRUE;
    _EndTransactionLoss();
    return result;
  }
  if (m_pclTransaction == nullptr) {
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_CONNECTION,
                               bCommit ? kSiteCnxCommitNone : kSiteCnxRollBackNone, this, nullptr, nullptr, 9,
                               OrEmpty(name));
    return FALSE;
  }
  // A commit or roll-back that leaves nothing active ends a lost transaction: its work is gone
  // and the next statement opens a new session.
  auto ended = [&] {
    if (bTransactionLost() && !_bTransactionOpened()) _EndTransactionLoss();
  };
  if (!m_bNestedTransactions && m_nBeginCounter != 1) {
    if (m_nBeginCounter > 0) --m_nBeginCounter;
    if (!bCommit) ended();
    return TRUE;
  }
  const BOOL result = bCommit ? m_pclTransaction->bCommit(error, name) : m_pclTransaction->bRollBack(error, name);
  ended();
  if (result) _CancelRecordLock(m_pclTransaction);
  if (!m_bNestedTransactions && m_nBeginCounter > 0) --m_nBeginCounter;
  return result;
}

void CNAConnectionDescription::MarkTransactionLost(unsigned int serverCode, const wchar_t* message,
                                                   bool sessionTransaction) {
  if (m_nTransactionLost != 0 || serverCode == 0) return;
  const bool driver = _bTransactionOpened() != 0;
  if (!driver && !sessionTransaction) return;
  m_nTransactionLost = serverCode;
  m_bSessionTransactionLost = driver ? 0 : 1;
  m_csTransactionLost = OrEmpty(message);
}

BOOL CNAConnectionDescription::bRaiseTransactionLost(CNAError* error, int file, int site) {
  if (error == nullptr) return FALSE;
  const bool session = m_bSessionTransactionLost != 0;
  const wchar_t* name = session ? pszGetDefaultDataBaseEx()
                        : m_pclTransaction != nullptr ? m_pclTransaction->pszGetName()
                                                      : nullptr;
  CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, file, site, this, nullptr, nullptr,
                             session ? kUserErrorSessionTransactionLost : kUserErrorTransactionLost, OrEmpty(name),
                             m_nTransactionLost);
  if (!IsEmpty(m_csTransactionLost.pszGet())) error->AddUserMessageNoFormat(m_csTransactionLost.pszGet());
  error->SetDataBaseErrorCode(m_nTransactionLost);
  return FALSE;
}

void CNAConnectionDescription::_CloseTransactions() {
  if (m_pclTransaction != nullptr) m_pclTransaction->nRelease();
  m_pclTransaction = nullptr;
}

BOOL CNAConnectionDescription::_bTransactionOpened() const {
  return m_pclTransaction != nullptr && m_pclTransaction->bIsActive();
}

BOOL CNAConnectionDescription::bResumeCurrentTransaction(CNAError* error) {
  if (!_bTransactionOpened()) return TRUE;
  return m_pclTransaction->bResume(error) & 1;
}

BOOL CNAConnectionDescription::bActiveCurrentTransaction(CNAError* error, int active) {
  if (!_bTransactionOpened()) return TRUE;
  return m_pclTransaction->bSetActive(error, active) & 1;
}

BOOL CNAConnectionDescription::bSQLBloque(CNAError* error, const wchar_t* table) {
  CTString sql(L"LOCK TABLE ");
  sql.Add(OrEmpty(table));
  return bExecuteQueryNoResult(error, sql.pszGet());
}

BOOL CNAConnectionDescription::bSQLBloqueRequete(CNAError* error, const wchar_t* sql) {
  CTString text(OrEmpty(sql));
  text.Add(L" FOR UPDATE");
  return bExecuteQueryIgnoreResult(error, text.pszGet());
}

BOOL CNAConnectionDescription::bDiagnose(CNAError* error, CAny*, const wchar_t* table, unsigned int) {
  CNAError::g_RaiseUserError(error, static_cast<eNA_ERRORTYPE>(7), NA_SRC_CONNECTION, kSiteCnxDiagnose, this, table,
                             nullptr, 8);
  return FALSE;
}

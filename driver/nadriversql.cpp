#include "driver/nadriversql.h"

#include <memory>
#include <new>

#include "access/nadatasourcedescription.h"
#include "common/ctstring.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"

int CNADriverSQL::m_gnCnxNameGenerator = 0;

namespace {

enum { kSiteLockQuery = 2, kSiteLockTable = 3 };

// Every SQL-function transaction of a connection goes by this one name.
constexpr const wchar_t* kTransactionName = L"SQLTransaction";

struct StatementRelease {
  void operator()(CNAStatementSQL* st) const { st->nRelease(); }
};
using HeldStatement = std::unique_ptr<CNAStatementSQL, StatementRelease>;

// Through the driver, so that a connection whose close was requested goes with its last holder.
struct ConnectionRelease {
  CNADriver* pclDriver;
  void operator()(CNAConnectionDescription* cnx) const { pclDriver->nReleaseConnection(cnx); }
};
using HeldConnection = std::unique_ptr<CNAConnectionDescription, ConnectionRelease>;

}  // namespace

CNADriverSQL::CNADriverSQL(CNADriver* driver, CNAError* error) : m_pclDriver(driver), m_pclError(error) {
  CNAError::s_Hold(m_pclError);
}

CNADriverSQL::~CNADriverSQL() {
  CNADriverLock lock;
  m_tabStatement.RemoveAll();
  CNAError::s_Drop(&m_pclError);
}

// ---------------------------------------------------------------- counts

void CNADriverSQL::AddRef() {
  CNADriverLock lock;
  ++m_nRef;
}

int CNADriverSQL::nRelease() { return _nDrop(&m_nRef); }

INADriverSQL* CNADriverSQL::ExternalAddRef() {
  CNADriverLock lock;
  ++m_nExternalRef;
  return this;
}

int CNADriverSQL::nExternalRelease() { return _nDrop(&m_nExternalRef); }

int CNADriverSQL::_nDrop(int* count) {
  CNADriverLock lock;
  if (*count == 0) return 0;
  const int left = --*count;
  if (m_nRef == 0 && m_nExternalRef == 0) delete this;
  return left;
}

INAError* CNADriverSQL::piGetLastError() const {
  CNADriverLock lock;
  return m_pclError;
}

void CNADriverSQL::_ResetError() {
  if (m_pclError != nullptr) m_pclError->Reset();
}

// ---------------------------------------------------------------- frames

template <typename F>
BOOL CNADriverSQL::_bOnConnection(int number, F&& op) {
  CNADriverLock lock;
  _ResetError();
  if (bIsDetached()) return FALSE;
  HeldConnection cnx(_pclGetConnection(number), {m_pclDriver});
  if (cnx == nullptr) return FALSE;
  return op(cnx.get());
}

template <typename F>
BOOL CNADriverSQL::_bOnStatement(int number, bool bReset, F&& op) {
  // Statement 0 is refused before the lock, touching nothing shared but the error (which locks
  // for itself).
  if (bReset) _ResetError();
  if (number == 0) return FALSE;
  CNADriverLock lock;
  CNAStatementSQL* found = nullptr;
  if (bIsDetached() || !m_tabStatement.bGetValue(number, &found)) return FALSE;
  found->AddRef();
  HeldStatement st(found);
  if (bReset) st->ResetLastError();
  return op(st.get());
}

// ---------------------------------------------------------------- connections

CNAConnectionDescription* CNADriverSQL::_pclGetConnection(int number) {
  CNADriverLock lock;
  CNAConnectionDescription* cnx = m_pclDriver != nullptr ? m_pclDriver->pclGetConnectionByID(number) : nullptr;
  if (cnx == nullptr) return nullptr;
  // The numbers name this service's connections only, from their open to their close.
  const bool closed = !cnx->bIsOpen() && cnx->bIsCloseRequested() && cnx->nGetOpenCount() == 0;
  if (cnx->bIsSQLService() && !closed) return cnx;
  m_pclDriver->nReleaseConnection(cnx);
  return nullptr;
}

CNAConnectionDescription* CNADriverSQL::_pclGetNewConnection(INAConnectionDescription* host) {
  CNADriverLock lock;
  CTString identification;
  if (m_pclDriver == nullptr || host == nullptr || !m_pclDriver->bBuildCnxIdentification(&identification, host))
    return nullptr;
  CTString suffix;
  suffix.printf(L";SQLConnecte%d", ++m_gnCnxNameGenerator);
  identification.Add(suffix.pszGet());
  return m_pclDriver->_pclAddConnection(identification.pszGet(), host);
}

BOOL CNADriverSQL::bOpenConnection(int* number, INAConnectionDescription* host) {
  CNADriverLock lock;
  _ResetError();
  if (number != nullptr) *number = 0;
  if (bIsDetached()) return FALSE;
  HeldConnection cnx(_pclGetNewConnection(host), {m_pclDriver});
  if (cnx == nullptr) return FALSE;
  cnx->SetSQLService(TRUE);
  if (!m_pclDriver->_bOpenConnection(cnx.get())) return FALSE;
  if (number != nullptr) *number = static_cast<int>(cnx->nGetConnectionID());
  return TRUE;
}

BOOL CNADriverSQL::bCloseConnection(int number) {
  CNADriverLock lock;
  _ResetError();
  if (bIsDetached()) return FALSE;
  HeldConnection cnx(_pclGetConnection(number), {m_pclDriver});
  if (cnx == nullptr) return TRUE;
  m_pclDriver->_bCloseConnection(cnx.get());
  // The statements left on it would hold its session open: it is closed now (unless a
  // transaction keeps it) and leaves the registry with its last holder.
  if (cnx->nGetOpenCount() == 0 && cnx->bAutoCloseEnabled() && cnx->bIsOpen()) cnx->bClose(m_pclError);
  return TRUE;
}

// ---------------------------------------------------------------- catalogue

BOOL CNADriverSQL::bGetTableList(CAny* out, int cnx, const wchar_t* filter, unsigned int flags) {
  return _bOnConnection(cnx, [&](CNAConnectionDescription* c) { return bGetTableList(out, c, filter, flags); });
}

BOOL CNADriverSQL::bGetColumnList(CAny* out, int cnx, const wchar_t* table, unsigned int flags) {
  return _bOnConnection(cnx, [&](CNAConnectionDescription* c) { return bGetColumnList(out, c, table, flags); });
}

INADataSourceDescription* CNADriverSQL::piGetTableDesc(int cnx, const wchar_t* table, unsigned int) {
  INADataSourceDescription* desc = nullptr;
  _bOnConnection(cnx, [&](CNAConnectionDescription* connection) {
    desc = m_pclDriver->_piGetTableDesc(table, connection);
    return desc != nullptr;
  });
  return desc;
}

INADataSourceDescription* CNADriverSQL::piGetTableDesc(int, int stmt, unsigned int) {
  INADataSourceDescription* out = nullptr;
  _bOnStatement(stmt, true, [&](CNAStatementSQL* st) {
    CNADataSourceDescription* desc = m_pclDriver->pclNewDataSourceDescription(st->pclGetConnectionNoRef(), m_pclError);
    if (desc == nullptr) return FALSE;
    if (desc->bInitDataSourceDescriptionFromStatement(st)) out = desc->ExternalAddRef();
    desc->nRelease();
    return out != nullptr ? TRUE : FALSE;
  });
  return out;
}
BOOL CNADriverSQL::bGetColumnTypeList(CAny* out, int, unsigned int) {
  CNADriverLock lock;
  _ResetError();
  g_SetList(out, L"", 0);
  return TRUE;
}

// ---------------------------------------------------------------- statements

BOOL CNADriverSQL::bExecute(CNAError* error, CNAStatementSQL** out, CNAConnectionDescription* cnx,
                            const wchar_t* sql, CTabValParser* values, NA_WRITEPARSEFLAGS flags) {
  CNADriverLock lock;
  *out = nullptr;
  CNAStatementSQL* made = pclAllocStatementSQL(cnx, error);
  if (made == nullptr) {
    CNAError::g_RaiseNoMemory(error, cnx);
    return FALSE;
  }
  made->AddRef();
  HeldStatement st(made);
  const BOOL result = st->bExecuteDirect(sql, values, flags);
  int columns = 0;
  if (result && st->bGetColumnNbr(&columns, 0) && columns != 0) *out = st.release();
  return result;
}

BOOL CNADriverSQL::bExecute(int* stmt, int cnx, const wchar_t* sql, CTabValParser* values, unsigned int flags) {
  return _bOnConnection(cnx, [&](CNAConnectionDescription* connection) {
    CNAStatementSQL* made = nullptr;
    BOOL result = bExecute(m_pclError, &made, connection, sql, values, flags);
    HeldStatement st(made);
    int number = 0;
    if (st != nullptr) {
      number = static_cast<int>(st->nGetStmtNumber());
      if (!m_tabStatement.bAddValue(number, st.get())) {
        CNAError::g_RaiseNoMemory(m_pclError, connection);
        number = 0;
        result = FALSE;
      }
    }
    if (stmt != nullptr) *stmt = number;
    return result;
  });
}

BOOL CNADriverSQL::bFreeStmt(int, int stmt, unsigned int) {
  CNADriverLock lock;
  _ResetError();
  if (stmt != 0) m_tabStatement.bRemoveValue(stmt);
  return TRUE;
}

BOOL CNADriverSQL::bGetStmtLastError(INAError** error, int, int stmt) {
  return _bOnStatement(stmt, false, [&](CNAStatementSQL* st) { return st->bGetStmtLastError(error); });
}

BOOL CNADriverSQL::bGetColumnNbr(int* count, int, int stmt, unsigned int flags) {
  if (stmt == 0) {
    // As bOpenConnection and bExecute: a null out-parameter is not written.
    if (count != nullptr) *count = 0;
    return TRUE;
  }
  return _bOnStatement(stmt, true, [&](CNAStatementSQL* st) { return st->bGetColumnNbr(count, flags); });
}

BOOL CNADriverSQL::bGetColumnName(CAny* out, int, int stmt, unsigned int column, unsigned int flags) {
  return _bOnStatement(stmt, true, [&](CNAStatementSQL* st) { return st->bGetColumnName(out, column - 1, flags); });
}

BOOL CNADriverSQL::bFetch(int, int stmt, unsigned int flags) {
  return _bOnStatement(stmt, true, [&](CNAStatementSQL* st) { return st->bFetch(flags) && !st->bIsEnd(); });
}

BOOL CNADriverSQL::bGetRow(CAny* out, int, int stmt, const wchar_t* separator, int columns, unsigned int flags) {
  return _bOnStatement(stmt, true,
                       [&](CNAStatementSQL* st) { return st->bGetRow(out, separator, columns, flags); });
}

BOOL CNADriverSQL::bGetValue(CAny* out, int, int stmt, unsigned int column, unsigned int flags) {
  return _bOnStatement(stmt, true, [&](CNAStatementSQL* st) { return st->bGetValue(out, column - 1, flags); });
}

BOOL CNADriverSQL::bGetBLOBValue(CAny* out, int, int stmt, unsigned int column, unsigned int flags) {
  return _bOnStatement(stmt, true, [&](CNAStatementSQL* st) { return st->bGetBLOBValue(out, column - 1, flags); });
}

BOOL CNADriverSQL::bGetColumnList(CAny* out, int, int stmt, unsigned int flags) {
  return _bOnStatement(stmt, true, [&](CNAStatementSQL* st) { return st->bGetColumnList(out, flags); });
}

// ---------------------------------------------------------------- transactions and locks

BOOL CNADriverSQL::bTrsBegin(int*, int cnx, unsigned int) {
  return _bOnConnection(cnx, [&](CNAConnectionDescription* c) {
    return c->bTransactionBegin(m_pclError, kTransactionName);
  });
}

BOOL CNADriverSQL::bTrsCommit(int cnx, int, unsigned int) {
  return _bOnConnection(cnx, [&](CNAConnectionDescription* c) {
    return c->bTransactionCommit(m_pclError, kTransactionName);
  });
}

BOOL CNADriverSQL::bTrsRollBack(int cnx, int, unsigned int) {
  return _bOnConnection(cnx, [&](CNAConnectionDescription* c) {
    return c->bTransactionRollBack(m_pclError, kTransactionName);
  });
}

BOOL CNADriverSQL::bSQLBloqueTable(int cnx, const wchar_t* table, unsigned int flags) {
  return _bOnConnection(cnx, [&](CNAConnectionDescription* c) {
    return g_bLockInTransaction(m_pclError, c, table, true) && bSQLBloqueTable(m_pclError, c, table, flags);
  });
}

BOOL CNADriverSQL::bSQLBloqueRequete(int cnx, const wchar_t* sql, unsigned int flags) {
  return _bOnConnection(cnx, [&](CNAConnectionDescription* c) {
    return g_bLockInTransaction(m_pclError, c, nullptr, false) && bSQLBloqueRequete(c, sql, flags);
  });
}

BOOL CNADriverSQL::g_bLockInTransaction(CNAError* error, CNAConnectionDescription* cnx, const wchar_t* table,
                                        bool bTable) {
  if (cnx->_bTransactionOpened()) return TRUE;
  CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_DRIVERSQL, bTable ? kSiteLockTable : kSiteLockQuery,
                             cnx, bTable ? table : nullptr, nullptr, 29);
  return FALSE;
}

BOOL CNADriverSQL::bSQLBloqueTable(CNAError* error, CNAConnectionDescription* cnx, const wchar_t* table,
                                   unsigned int) {
  return cnx->bOpen(error) && cnx->bSQLBloque(error, table);
}

BOOL CNADriverSQL::bSQLBloqueRequete(CNAConnectionDescription* cnx, const wchar_t* sql, unsigned int) {
  return cnx->bOpen(m_pclError) && cnx->bSQLBloqueRequete(m_pclError, sql);
}

BOOL CNADriverSQL::bSetVMAndLibShop(ILibShop* libShop, IVMData* vmData) {
  CNADriverLock lock;
  return m_pclDriver != nullptr && m_pclDriver->bSetVMAndLibShop(libShop, vmData);
}

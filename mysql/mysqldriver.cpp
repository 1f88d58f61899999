#include "mysql/mysqldriver.h"

#include <new>

#include "driver/nafunctionloader.h"
#include "driver/naerror.h"
#include "sql/isqlparserinformation.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqldataaccess.h"
#include "mysql/mysqldatasourcedescription.h"
#include "mysql/mysqldriversql.h"
#include "mysql/mysqlstatement.h"

CMySQLDriver::CMySQLDriver() { m_llDefaultCacheSize = 100; }

CMySQLDriver::~CMySQLDriver() = default;

CNADataSourceDescription* CMySQLDriver::pclAllocDataSourceDescription(CNAConnectionDescription* cnx,
                                                                     CNAError* error) const {
  return new (std::nothrow) CMySQLDataSourceDescription(cnx, error);
}

CNADataAccess* CMySQLDriver::pclAllocDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                               CNAError* error) const {
  return new (std::nothrow) CMySQLDataAccess(desc, cnx, error);
}

// The connection is not passed on: the statement takes its access's.
CNAStatement* CMySQLDriver::pclAllocStatement(CNADataAccess* access, CNAConnectionDescription*, CNAError* error) const {
  return new (std::nothrow) CMySQLStatement(access, error);
}

CNAConnectionDescription* CMySQLDriver::_pclAllocConnectionDescription(const wchar_t* identification,
                                                                       INAConnectionDescription* cnx) {
  return new (std::nothrow) CMySQLConnection(identification, cnx);
}

CNADriverSQL* CMySQLDriver::_pclAllocDriverSQL(CNAError* error) {
  return new (std::nothrow) CMySQLDriverSQL(this, error);
}

BOOL CMySQLDriver::bSQLBloqueTable(INAConnectionDescription* host, const wchar_t* tables) {
  CNADriverLock lock;
  if (pclGetErrorNoRef() != nullptr) pclGetErrorNoRef()->Reset();
  return _bOnFoundConnection(host, NA_SITE_LOCK_TABLE, [&](CNAConnectionDescription* cnx) {
    CNADriverSQL* service = pclGetDriverSQL();
    return service != nullptr && CNADriverSQL::g_bLockInTransaction(pclGetErrorNoRef(), cnx, tables, true) &&
           service->bSQLBloqueTable(pclGetErrorNoRef(), cnx, tables, 0);
  });
}

BOOL CMySQLDriver::bSQLBloqueRequete(INAConnectionDescription* host, ISQLParserInformation* query) {
  CNADriverLock lock;
  if (pclGetErrorNoRef() != nullptr) pclGetErrorNoRef()->Reset();
  return _bOnFoundConnection(host, NA_SITE_LOCK_QUERY, [&](CNAConnectionDescription* cnx) {
    CNADriverSQL* service = pclGetDriverSQL();
    return service != nullptr && CNADriverSQL::g_bLockInTransaction(pclGetErrorNoRef(), cnx, nullptr, false) &&
           service->bSQLBloqueRequete(cnx, query != nullptr ? query->pszGetRequete() : L"", 0);
  });
}

BOOL CMySQLDriver::_bTableExists(int* exists, const wchar_t* name, CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  CNAError* error = pclGetErrorNoRef();
  CTString formatted;
  CNADriverSQL* service = pclGetDriverSQL();
  if (service == nullptr || !cnx->bFormatTableName(error, name, &formatted)) return FALSE;
  CTString sql(L"SHOW COLUMNS FROM ");
  sql.Add(formatted.pszGet());
  CNAStatementSQL* statement = nullptr;
  const BOOL found = service->bExecute(error, &statement, cnx, sql.pszGet(), nullptr, 0);
  if (statement != nullptr) statement->nRelease();
  if (exists != nullptr) *exists = found ? 1 : 0;
  return found || (error != nullptr && error->dwGetDataBaseErrorCode() == 1146);
}

void CMySQLDriver::OnFatalErrorAddDebugMessage(CNAError* error, CNAConnectionDescription* cnx) {
  if (error == nullptr) return;
  error->AddDebugMessage(3355, L"3.23.52", cnx != nullptr ? CNAConnectionDescription::m_csClientVersion.pszGet() : L"");
}

BOOL CMySQLDriver::g_NATermModule() {
  CMySQLConnection::g_TermNativeLibrary();
  CNAFunctionLoader::g_Term();
  return CNADriver::g_NATermModule();
}

#include "mysql/mysqldriver.h"

#include <new>

#include "driver/nafunctionloader.h"
#include "driver/naerror.h"
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

void CMySQLDriver::OnFatalErrorAddDebugMessage(CNAError* error, CNAConnectionDescription* cnx) {
  if (error == nullptr) return;
  error->AddDebugMessage(3355, L"3.23.52", cnx != nullptr ? CNAConnectionDescription::m_csClientVersion.pszGet() : L"");
}

BOOL CMySQLDriver::g_NATermModule() {
  CMySQLConnection::g_TermNativeLibrary();
  CNAFunctionLoader::g_Term();
  return CNADriver::g_NATermModule();
}

#include "mysql/mysqldriver.h"

CMySQLDriver::CMySQLDriver() { m_llDefaultCacheSize = 100; }

CMySQLDriver::~CMySQLDriver() = default;

// The MySQL statement and connection classes come with the backend.
CNAStatement* CMySQLDriver::pclAllocStatement(CNADataAccess*, CNAConnectionDescription*, CNAError*) const {
  return nullptr;
}

CNAConnectionDescription* CMySQLDriver::_pclAllocConnectionDescription(const wchar_t*, INAConnectionDescription*) {
  return nullptr;
}

// The client library is unloaded here once the loader exists.
BOOL CMySQLDriver::g_NATermModule() { return CNADriver::g_NATermModule(); }

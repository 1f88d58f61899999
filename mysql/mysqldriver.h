// CMySQLDriver: the driver class the host gets; it substitutes the MySQL classes in the driver's
// factories as they are built (until then those factories make nothing): the connection, the
// table description, the data access and the SQL-function service so far.
#pragma once

#include "driver/nadriver.h"

class CMySQLDriver : public CNADriver {
 public:
  // Rows cached by default: 100.
  CMySQLDriver();
  ~CMySQLDriver() override;

  // A CMySQLDataSourceDescription.
  CNADataSourceDescription* pclAllocDataSourceDescription(CNAConnectionDescription* cnx,
                                                          CNAError* error) const override;
  // A CMySQLDataAccess.
  CNADataAccess* pclAllocDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                    CNAError* error) const override;
  CNAStatement* pclAllocStatement(CNADataAccess* access, CNAConnectionDescription* cnx,
                                  CNAError* error) const override;
  CNAConnectionDescription* _pclAllocConnectionDescription(const wchar_t* identification,
                                                           INAConnectionDescription* cnx) override;
  // A CMySQLDriverSQL on this driver and error.
  CNADriverSQL* _pclAllocDriverSQL(CNAError* error) override;
  // Debug message 3355: the reference client version and the loaded one (empty without a
  // connection).
  void OnFatalErrorAddDebugMessage(CNAError* error, CNAConnectionDescription* cnx) override;

  // Ends the backend, unloads the client library, then ends the driver's module; the common
  // runtime's result.
  static BOOL g_NATermModule();
};

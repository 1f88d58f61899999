// CMySQLDriver: the driver class the host gets; it substitutes the MySQL classes in the driver's
// factories (the connection, the table description, the data access, the statement and the
// SQL-function service), locks through the SQL-function service only inside a transaction, and
// asks the server whether a table exists.
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
  // The lock of the generic driver, run by the SQL-function service, and only inside a
  // transaction of the connection: outside one, user error 29, nothing sent (autocommit would
  // release the lock as its statement ends). The query lock sends the query's text.
  BOOL bSQLBloqueTable(INAConnectionDescription* cnx, const wchar_t* tables) override;
  BOOL bSQLBloqueRequete(INAConnectionDescription* cnx, ISQLParserInformation* query) override;
  // Asks the server for the table's columns: 1146 (no such table) is a success with *exists 0;
  // any other failure is FALSE. The server's error stays in the driver's error either way.
  BOOL _bTableExists(int* exists, const wchar_t* name, CNAConnectionDescription* cnx) override;
  // Debug message 3355: the reference client version and the loaded one (empty without a
  // connection).
  void OnFatalErrorAddDebugMessage(CNAError* error, CNAConnectionDescription* cnx) override;

  // Ends the backend, unloads the client library, then ends the driver's module; the common
  // runtime's result.
  static BOOL g_NATermModule();
};

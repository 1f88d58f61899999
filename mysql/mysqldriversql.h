// CMySQLDriverSQL: the MySQL driver's SQL-function service: the generic service with the MySQL
// statement (CMySQLStatementSQL) as the statement every layer gets from pclAllocStatementSQL.
// Its connections are CMySQLConnection objects, as the MySQL driver makes them.
#pragma once

#include "driver/nadriversql.h"

class CMySQLDriverSQL : public CNADriverSQL {
 public:
  CMySQLDriverSQL(CNADriver* driver, CNAError* error) : CNADriverSQL(driver, error) {}
  ~CMySQLDriverSQL() override;

  // A new CMySQLStatementSQL, stored results, not yet referenced; null without memory.
  CNAStatementSQL* pclAllocStatementSQL(CNAConnectionDescription* cnx, CNAError* error) override;
};

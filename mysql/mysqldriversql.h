// CMySQLDriverSQL: the MySQL driver's SQL-function service: the generic service with the MySQL
// statement (CMySQLStatementSQL) as the statement every layer gets from pclAllocStatementSQL,
// and MySQL's own catalogue: its column types, SHOW COLUMNS, and SHOW statements in place of
// INFORMATION_SCHEMA on servers below version 5.
// Its connections are CMySQLConnection objects, as the MySQL driver makes them.
#pragma once

#include "driver/nadriversql.h"

class CMySQLDriverSQL : public CNADriverSQL {
 public:
  CMySQLDriverSQL(CNADriver* driver, CNAError* error) : CNADriverSQL(driver, error) {}
  ~CMySQLDriverSQL() override;

  // The 35 type lines "name TAB code", the same for every connection number. TRUE.
  BOOL bGetColumnTypeList(CAny* out, int cnx, unsigned int flags) override;
  using CNADriverSQL::bGetColumnList;
  using CNADriverSQL::bGetTableList;
  // From version 5 the generic list; when it fails, or below 5, SHOW TABLES (base tables only:
  // without option 1 the empty list).
  BOOL bGetTableList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* filter, unsigned int flags) override;
  // The rows of SHOW COLUMNS, first field only.
  BOOL bGetColumnList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* table, unsigned int flags) override;
  BOOL _bGetDatabaseListQuery(CTStringConcatAW* out, CNAConnectionDescription* cnx, unsigned int flags) override;
  BOOL _bGetDatabaseTableListQuery(CTStringConcatAW* out, const wchar_t* database, CNAConnectionDescription* cnx,
                                   unsigned int flags) override;

  // A new CMySQLStatementSQL, stored results, not yet referenced; null without memory.
  CNAStatementSQL* pclAllocStatementSQL(CNAConnectionDescription* cnx, CNAError* error) override;
};

#include "mysql/mysqldriversql.h"

#include <new>

#include "mysql/mysqlstatementsql.h"

CMySQLDriverSQL::~CMySQLDriverSQL() = default;

CNAStatementSQL* CMySQLDriverSQL::pclAllocStatementSQL(CNAConnectionDescription* cnx, CNAError* error) {
  return new (std::nothrow) CMySQLStatementSQL(cnx, error);
}

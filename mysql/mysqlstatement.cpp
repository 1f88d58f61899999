#include "mysql/mysqlstatement.h"

CMySQLStatement::~CMySQLStatement() = default;

BOOL CMySQLStatement::bBuildQueryCREATE(CNACommand* command) { return CNAStatement::bBuildQueryCREATE(command); }
BOOL CMySQLStatement::bUpdateRecordAfterInsert(eNAQUERYTYPE, int) { return FALSE; }
BOOL CMySQLStatement::bGetNbEnr(long long* count, unsigned int flags, int withoutCondition) {
  return CNAStatement::bGetNbEnr(count, flags, withoutCondition);
}
BOOL CMySQLStatement::_bGetNativeConstraint(CNAColumn* column, CTString* constraint) {
  return CNAStatement::_bGetNativeConstraint(column, constraint);
}

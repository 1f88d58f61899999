// CMySQLStatement: the statement the MySQL driver makes for every data access. It keeps the
// generic statement's behaviour and changes four points: the storage-engine clause of CREATE
// TABLE, the key constraints of a column, the automatic identifier read after an INSERT, and the
// count of a query that the server cannot count as a sub-query. No state of its own; its SQL
// statement is a CMySQLStatementSQL and its connection a CMySQLConnection.
#pragma once

#include "sql/nastatement.h"

class CMySQLStatement : public CNAStatement {
 public:
  CMySQLStatement(CNADataAccess* access, CNAError* error) : CNAStatement(access, error) {}
  ~CMySQLStatement() override;

  // The generic CREATE TABLE, then " ENGINE=InnoDB" (" Type=InnoDB" before server version 5).
  BOOL bBuildQueryCREATE(CNACommand* command) override;
  // The generic UPDATE and DELETE of the row last read; " LIMIT 1" after them when it came from
  // a source without a unique not-null key, so that one write never reaches its twins.
  BOOL bBuildQueryUPDATE(CNACommand* command, NA_WRITEPARSEFLAGS flags) override;
  BOOL bBuildQueryDELETE(CNACommand* command, NA_WRITEPARSEFLAGS flags) override;
  // The client's last insert id into the automatic identifier (host type 9); 0 leaves the record.
  // No client call without such a column. FALSE when the guarded call fails, else what setting
  // the value answered.
  BOOL bUpdateRecordAfterInsert(eNAQUERYTYPE type, int flags) override;
  // A table, or a query sent as written: the generic COUNT. A query the driver rewrites: its
  // browse SELECT streamed and its rows counted; a connection error met while reading fails the
  // count. The SQL statement is back in stored mode afterwards in every case.
  BOOL bGetNbEnr(long long* count, unsigned int flags, int withoutCondition) override;
  // An automatic identifier: " NOT NULL AUTO_INCREMENT, PRIMARY KEY (<name>)"; any other primary
  // key: " PRIMARY KEY" (the server refuses a table constraint after a column's type); else the
  // generic constraint.
  BOOL _bGetNativeConstraint(CNAColumn* column, CTString* constraint) override;

  static constexpr int kSourceFile = 105;
};

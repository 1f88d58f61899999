#include "mysql/mysqlstatement.h"

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqlguard.h"
#include "mysql/mysqlstatementsql.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"
#include "values/any.h"

namespace {

enum : int { kSiteInsertId = 1, kSiteCountEnd = 2 };

}  // namespace

CMySQLStatement::~CMySQLStatement() = default;

BOOL CMySQLStatement::bBuildQueryCREATE(CNACommand* command) {
  if (!CNAStatement::bBuildQueryCREATE(command)) return FALSE;
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  return command->bComplete(cnx != nullptr && cnx->nGetServerVersionMajor() < 5 ? L" Type=InnoDB" : L" ENGINE=InnoDB");
}

BOOL CMySQLStatement::bBuildQueryUPDATE(CNACommand* command, NA_WRITEPARSEFLAGS flags) {
  if (!CNAStatement::bBuildQueryUPDATE(command, flags)) return FALSE;
  if (command->nGetOriginalSQLLength() == 0 || !bLatestReadWithoutUniqueKey()) return TRUE;
  return command->bComplete(L" LIMIT 1");
}

BOOL CMySQLStatement::bBuildQueryDELETE(CNACommand* command, NA_WRITEPARSEFLAGS flags) {
  if (!CNAStatement::bBuildQueryDELETE(command, flags)) return FALSE;
  return !bLatestReadWithoutUniqueKey() || command->bComplete(L" LIMIT 1");
}

BOOL CMySQLStatement::_bGetNativeConstraint(CNAColumn* column, CTString* constraint) {
  constraint->Vide();
  INAItemDescription* item = column->piGetItemNoRef();
  const eNA_ITEMTYPE type = item->eNAGetItemType();
  if (type == NA_IT_IDAUTO || type == NA_IT_IDAUTO4) {
    *constraint = CTString(L" NOT NULL AUTO_INCREMENT, PRIMARY KEY (", column->pszGetFormatedName(), L")");
    return TRUE;
  }
  if (item->bPrimary()) {
    *constraint = L" PRIMARY KEY";
    return TRUE;
  }
  return CNAStatement::_bGetNativeConstraint(column, constraint);
}

BOOL CMySQLStatement::bUpdateRecordAfterInsert(eNAQUERYTYPE, int) {
  CNARecord* record = pclGetCurrentRecordNoRef();
  CNAColumn* idAuto = record != nullptr ? record->pclGetColumnIDAutoNoRef() : nullptr;
  if (idAuto == nullptr) return TRUE;
  auto* cnx = static_cast<CMySQLConnection*>(pclGetConnectionNoRef());
  MYSQL* handle = cnx != nullptr ? cnx->pGetHandle() : nullptr;
  my_ulonglong id = 0;
  if (!bMySQLGuard(m_pclError, cnx, kSourceFile, kSiteInsertId, [&] { id = __mysql_insert_id(handle); }))
    return FALSE;
  if (id == 0) return TRUE;
  CAny value;
  value.SetI8(static_cast<long long>(id));
  value.SetNull(false);
  value.SetFlags(0);
  return idAuto->bSetValue(&value, 0);
}

BOOL CMySQLStatement::bGetNbEnr(long long* count, unsigned int flags, int withoutCondition) {
  CNADataAccess* access = pclGetDataAccessNoRef();
  if (access == nullptr || access->pclGetSourceQueryNoRef() == nullptr || !access->bSourceIsQuery() ||
      access->bRequeteSansCorrection())
    return CNAStatement::bGetNbEnr(count, flags, withoutCondition);
  if (count != nullptr) *count = -1;
  ResetQuery();
  EnableCache(0);
  CNACommand* command = access->pclAllocCommand(m_pclError);
  if (command == nullptr) return FALSE;
  command->AddRef();
  auto* sql = static_cast<CMySQLStatementSQL*>(m_pclStatementSQL);
  BOOL result = FALSE;
  if (sql != nullptr && access->bBuildSelect(command, this, nullptr, 1, 0, nullptr)) {
    // Every row is read: neither a start row nor a row limit may cut the count.
    command->SetRowLimit(-1, -1);
    command->ResetFormatedSQL();
    sql->SetStoreResult(FALSE);
    result = bExecuteDirectNewCommand(command, 0, NA_ST_PREPARE);
    if (result) {
      long long rows = 0;
      while (sql->__pFetchRow() != nullptr) ++rows;
      // A row read fails like the end of the rows: only the connection tells them apart.
      auto* cnx = static_cast<CMySQLConnection*>(pclGetConnectionNoRef());
      unsigned int code = 0;
      if (!cnx->bGetLastError(m_pclError, &code)) {
        result = FALSE;
      } else if (code != 0) {
        cnx->bInitError(m_pclError, kSourceFile, kSiteCountEnd);
        result = FALSE;
      } else if (count != nullptr) {
        *count = rows;
      }
    }
  }
  if (sql != nullptr) {
    sql->bReset();
    sql->SetStoreResult(TRUE);
  }
  ResetQuery();
  command->nRelease();
  return result;
}

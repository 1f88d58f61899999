// INADriverSQL: the SQL-function service as the host holds it after INADriver::piGetInterface(1):
// connections and statements named by integers, SQL texts, rows and values, transactions, locks
// and catalogue lists. Called by position in this order; the reserved slots hold the places of
// operations this driver does not offer.
//
// A connection number is valid from the bOpenConnection that gave it until its bCloseConnection,
// a statement number from the bExecute that gave it until its bFreeStmt. Number 0 names no
// statement. Statement operations take the connection number too but read only the statement's.
// Columns are numbered from 1. The host's reference is the external count.
#pragma once

#include "driver/inaversion.h"
#include "driver/nahost.h"
#include "platform/wintypes.h"

class CAny;
class INAError;
class INADataSourceDescription;
struct CTabValParser;

class INADriverSQL : public INAVersion {
 public:
  virtual INADriverSQL* ExternalAddRef() = 0;
  // The external count left; the release that leaves no count at all deletes the service.
  virtual int nExternalRelease() = 0;
  // The service's error object, no reference added: where connecting, transactions and locks
  // report (and the statements it makes, which share it).
  virtual INAError* piGetLastError() const = 0;
  virtual void* piGetInterface(int id) = 0;
  virtual void* pReservedFct1(unsigned char*) = 0;
  virtual void* pReservedFct2(unsigned char*) = 0;
  virtual void* pReservedFct3(unsigned char*) = 0;
  virtual void* pReservedFct4(unsigned char*) = 0;
  virtual void* pReservedFct5(unsigned char*) = 0;
  virtual BOOL bLoadNativeDll(unsigned char* name, unsigned int flags) = 0;
  virtual BOOL bFreeNativeDll(unsigned char* name, unsigned int flags) = 0;
  // *number = the new connection's number, 0 when the open fails. Never shares a connection.
  virtual BOOL bOpenConnection(int* number, INAConnectionDescription* cnx) = 0;
  // TRUE, also for a number not open.
  virtual BOOL bCloseConnection(int number) = 0;
  virtual void EmptySlot87() {}
  virtual BOOL bGetTableList(CAny* out, int cnx, const wchar_t* filter, unsigned int flags) = 0;
  virtual BOOL bGetColumnList(CAny* out, int cnx, const wchar_t* table, unsigned int flags) = 0;
  // The result's column names, "\r\n" between them.
  virtual BOOL bGetColumnList(CAny* out, int cnx, int stmt, unsigned int flags) = 0;
  virtual INADataSourceDescription* piGetTableDesc(int cnx, const wchar_t* table, unsigned int flags) = 0;
  virtual INADataSourceDescription* piGetTableDesc(int cnx, int stmt, unsigned int flags) = 0;
  virtual BOOL bGetColumnTypeList(CAny* out, int cnx, unsigned int flags) = 0;
  // *stmt = the statement's number when the text gave result columns, else 0 (untouched for a
  // connection number not open).
  virtual BOOL bExecute(int* stmt, int cnx, const wchar_t* sql, CTabValParser* values, unsigned int flags) = 0;
  virtual BOOL bFreeStmt(int cnx, int stmt, unsigned int flags) = 0;
  virtual BOOL bGetStmtLastError(INAError** error, int cnx, int stmt) = 0;
  virtual BOOL bGetColumnNbr(int* count, int cnx, int stmt, unsigned int flags) = 0;
  virtual BOOL bGetColumnName(CAny* out, int cnx, int stmt, unsigned int column, unsigned int flags) = 0;
  // TRUE only when a row is current afterwards.
  virtual BOOL bFetch(int cnx, int stmt, unsigned int flags) = 0;
  virtual BOOL bGetRow(CAny* out, int cnx, int stmt, const wchar_t* separator, int columns, unsigned int flags) = 0;
  virtual BOOL bGetValue(CAny* out, int cnx, int stmt, unsigned int column, unsigned int flags) = 0;
  virtual BOOL bGetBLOBValue(CAny* out, int cnx, int stmt, unsigned int column, unsigned int flags) = 0;
  virtual BOOL bTrsBegin(int* unused, int cnx, unsigned int flags) = 0;
  virtual BOOL bTrsCommit(int cnx, int unused, unsigned int flags) = 0;
  virtual BOOL bTrsRollBack(int cnx, int unused, unsigned int flags) = 0;
  // Inside a transaction only: outside one, user error 29 and nothing is sent.
  virtual BOOL bSQLBloqueTable(int cnx, const wchar_t* table, unsigned int flags) = 0;
  virtual BOOL bSQLBloqueRequete(int cnx, const wchar_t* sql, unsigned int flags) = 0;
  virtual BOOL bSetVMAndLibShop(ILibShop* libShop, IVMData* vmData) = 0;
#define QX_SQL_SLOT(n) virtual void EmptySlot##n() {}
  QX_SQL_SLOT(258) QX_SQL_SLOT(259) QX_SQL_SLOT(261) QX_SQL_SLOT(262) QX_SQL_SLOT(263) QX_SQL_SLOT(264)
  QX_SQL_SLOT(265) QX_SQL_SLOT(267) QX_SQL_SLOT(268) QX_SQL_SLOT(269) QX_SQL_SLOT(270) QX_SQL_SLOT(271)
  QX_SQL_SLOT(273) QX_SQL_SLOT(274) QX_SQL_SLOT(275) QX_SQL_SLOT(276) QX_SQL_SLOT(277) QX_SQL_SLOT(279)
  QX_SQL_SLOT(280) QX_SQL_SLOT(281) QX_SQL_SLOT(282) QX_SQL_SLOT(283) QX_SQL_SLOT(285) QX_SQL_SLOT(286)
  QX_SQL_SLOT(287) QX_SQL_SLOT(288) QX_SQL_SLOT(289) QX_SQL_SLOT(291) QX_SQL_SLOT(292) QX_SQL_SLOT(293)
  QX_SQL_SLOT(294) QX_SQL_SLOT(295) QX_SQL_SLOT(297) QX_SQL_SLOT(298) QX_SQL_SLOT(299) QX_SQL_SLOT(300)
  QX_SQL_SLOT(301)
#undef QX_SQL_SLOT

 protected:
  ~INADriverSQL() = default;
};

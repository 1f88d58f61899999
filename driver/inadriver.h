// INADriver: the driver as the host holds it after piQueryInterface, called by position in this
// order. Operations that find rather than get a connection never create one.
#pragma once

#include "driver/inaversion.h"
#include "driver/nahost.h"
#include "platform/wintypes.h"

class CAny;
class INAError;
class INATable;
class INADriverSQL;
class INACopyCtx;
class INADataSourceDescription;
class ISQLParserInformation;
class INAQueryExecution;
class INAQueryParametersValue;
template <typename T>
class CXYString;

class INADriver : public INAVersion {
 public:
  virtual INADriver* ExternalAddRef() = 0;
  // The count left; the release that reaches 0 deletes the driver.
  virtual int nExternalRelease() = 0;
  virtual INADriverSQL* piGetInterface(int id) = 0;
  virtual BOOL bOpenConnection(INAConnectionDescription* cnx) = 0;
  virtual BOOL bCloseConnection(INAConnectionDescription* cnx) = 0;
  virtual BOOL bCopyContext(INACopyCtx* copy, INAContext* from, INAContext* to, unsigned int flags) = 0;
  // The driver's error object, no reference added.
  virtual INAError* piGetLastError() const = 0;
  virtual BOOL bHMode(INAContext* ctx, _eNA_HMODE mode) = 0;
  virtual INATable* piGetTable(INAConnectionDescription* cnx, INADataSourceDescription* desc) = 0;
  virtual BOOL bGetTableList(CAny* out, INAConnectionDescription* cnx, unsigned int flags) = 0;
  virtual INADataSourceDescription* piGetTableDesc(const wchar_t* name, INAConnectionDescription* cnx) = 0;
  virtual BOOL bHExecuteRequeteSQL(INATable** out, INAContext* ctx, const wchar_t* name,
                                   INAConnectionDescription* cnx, ISQLParserInformation* query,
                                   unsigned int flags) = 0;
  virtual BOOL bCloseContext(INAContext* ctx) = 0;
  virtual BOOL bTransactionBegin(INAConnectionDescription* cnx, const wchar_t* name) = 0;
  virtual BOOL bTransactionCommit(INAConnectionDescription* cnx, const wchar_t* name) = 0;
  virtual BOOL bTransactionRollBack(INAConnectionDescription* cnx, const wchar_t* name) = 0;
  virtual BOOL bSQLBloqueTable(INAConnectionDescription* cnx, const wchar_t* tables) = 0;
  virtual BOOL bSQLBloqueRequete(INAConnectionDescription* cnx, ISQLParserInformation* query) = 0;
  virtual BOOL bSQLFormatColonne(INAConnectionDescription* cnx, CAny* out) = 0;
  virtual BOOL bHConnexionDiagnose(CAny* out, INAConnectionDescription* cnx, const wchar_t* text,
                                   unsigned int flags) = 0;
  virtual BOOL bGetProviderList(CAny* out) = 0;
  virtual BOOL bTableExists(int* exists, const wchar_t* name, INAConnectionDescription* cnx) = 0;
  virtual BOOL bGetLinkList(CAny* out, const wchar_t* name, INADataSourceDescription* desc,
                            INAConnectionDescription* cnx, unsigned int flags) = 0;
  virtual BOOL bGetListeSource(CAny* out, int flags) = 0;
  virtual BOOL bSetQueryParameters(INAContext* ctx, INAConnectionDescription* cnx,
                                   INAQueryParametersValue* values) = 0;
  // Kept for the driver's life, without a reference.
  virtual BOOL bSetVMAndLibShop(ILibShop* libShop, IVMData* vmData) = 0;
  virtual BOOL bFiltreAuto(INAContext* ctx, INAConnectionDescription* cnx, int n, const wchar_t* table,
                           INADataSourceDescription* desc, const wchar_t* link,
                           INADataSourceDescription* linkedDesc) = 0;
  virtual BOOL SetNextLogicalName(INAContext* ctx, const wchar_t* name) = 0;
  virtual BOOL bHExecuteRequeteSQLEx(INATable** out, INAContext* ctx, const wchar_t* name,
                                     INAConnectionDescription* cnx, ISQLParserInformation* query, unsigned int flags,
                                     const INAQueryExecution* execution) = 0;
  virtual BOOL bFreeDataSource(INAContext* ctx, const wchar_t* name, INAConnectionDescription* cnx) = 0;
  virtual BOOL bValidConnection(INAConnectionDescription* cnx) = 0;
  // Kept for the driver's life, without a reference.
  virtual BOOL bSetKJ(IKJForNA* kj) = 0;
  virtual BOOL bSupprimeFichier(INAContext* ctx, INAConnectionDescription* cnx, const wchar_t* name,
                                INADataSourceDescription* desc) = 0;
  virtual BOOL bGetDatabaseList(CXYString<wchar_t>* out, INAConnectionDescription* cnx, unsigned int flags) = 0;

 protected:
  ~INADriver() = default;
};

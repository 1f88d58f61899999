// CNATable: the table object the host holds for one table (per description and connection) or one
// query result (per query name and context). Two counts: the internal one (the driver's registry
// and driver code) and the external one (the host); the table goes when both are 0. It holds one
// reference on its connection (given back through the driver), one external reference on its
// description when it has one, and one on the error object it is given (the driver's, shared by
// the driver and all its tables).
//
// The host's table operations, the table's data accesses of each context and the query run come
// with the table operations; until then a table has no data access, and the operations that find
// one behave as for a context that never opened the file.
#pragma once

#include <cstdint>

#include "access/inatable.h"
#include "common/ctstring.h"
#include "driver/nahost.h"

class CNAError;
class CNAConnectionDescription;
class CNATransaction;
class INAError;
class INADataSourceDescription;
class INAQueryParametersValue;
class INAQueryExecution;
class ISQLParserInformation;

class CNATable : public INATable {
 public:
  CNATable(const wchar_t* identification, INADataSourceDescription* desc, CNAConnectionDescription* cnx,
           CNAError* error);
  CNATable(const CNATable&) = delete;
  CNATable& operator=(const CNATable&) = delete;

  int nGetVersion() const override { return 11; }
  int nGetCompatSince() const override { return 8; }
  // Both under the driver mutex. The host's last release of a table that only the registry still
  // holds hands it back to the driver, which unregisters it.
  INATable* ExternalAddRef() override;
  int nExternalRelease() override;

  // The context's lock mode for the files of this table's logical name; TRUE without a context.
  virtual BOOL bHMode(INAContext* ctx, _eNA_HMODE mode);
  // TRUE when the context has nothing open here.
  virtual BOOL bHFerme(INAContext* ctx);
  virtual BOOL bSupprimeFichier(INAContext* ctx);
  virtual ~CNATable();
  // *result non-zero when the query yields a result the host browses; FALSE until queries run.
  virtual BOOL bExecuteQuery(int* result, INAContext* ctx, const wchar_t* name, ISQLParserInformation* query,
                             unsigned int mode, const INAQueryExecution* execution);

  void CancelRecordLock(INAConnectionDescription* host, CNATransaction* transaction);
  void SetTransactionTermined();

  // Internal count; no lock (the callers hold the driver mutex). The release that leaves both
  // counts at 0 deletes the table. Each answers the internal count.
  void AddRef() { ++m_nRef; }
  int nRelease();
  unsigned int nGetRefCount() const { return m_nRef; }
  unsigned int nGetExternalRefCount() const { return m_nExternalRef; }

  const wchar_t* pszGetIdentification() const { return m_csIdentification.pszGet(); }
  // The description's names, "" without a description.
  const wchar_t* pszGetLogicalName() const;
  const wchar_t* pszGetDBTableName() const;
  // The table's own error object, borrowed.
  INAError* piGetLastError() const;
  INAQueryParametersValue* piGetQueryBindVariableNoRef() const { return m_piBindVariable; }
  CNAConnectionDescription* pclGetConnectionNoRef() const { return m_pclConnection; }

 private:
  uint32_t m_nRef = 0;
  uint32_t m_nExternalRef = 0;
  CNAError* m_pclError;
  CNAConnectionDescription* m_pclConnection;
  INADataSourceDescription* m_piDescription = nullptr;
  CTString m_csIdentification;
  INAQueryParametersValue* m_piBindVariable = nullptr;
};

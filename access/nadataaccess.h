// CNADataAccess: one table or query opened in one host context. It holds one reference on its
// connection (given back through the driver), one external reference on the host description and
// one on its error object (the context's); it borrows its context. Opening, browsing, writing and
// queries come with the data-access operations; here it knows its names, its lock mode, whether
// it is open, its parsed source query (none for a table) and makes its rows' identifiers. It
// names the statement it used last (borrowed) and declares the position operations the table
// cache calls; saving and returning to positions come with the positions road.
#pragma once

#include "common/ctstring.h"
#include "common/interf.h"
#include "driver/nahost.h"
#include "sql/nastatementsql.h"

class CNACommand;
class CNAContext;
class CNADataSourceDescription;
class CNARecord;
class CNAStatement;
class INAItemDescription;
class CNARecordId;
class CNARecordValue;
class CSQLParserInfo;
class CNAError;
class CNAConnectionDescription;
class INADataSourceDescription;

class CNADataAccess : public CInterf {
 public:
  CNADataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx, CNAError* error);
  ~CNADataAccess() override;
  CNADataAccess(const CNADataAccess&) = delete;
  CNADataAccess& operator=(const CNADataAccess&) = delete;

  // Closes the file; the access is no longer open afterwards.
  virtual BOOL bHFerme();
  // Attaches the access to its context (borrowed).
  virtual void SetContext(CNAContext* ctx) { m_pclContext = ctx; }

  BOOL bIsOpened() const { return m_bOpened; }
  // Keeps the lock mode for the next operations.
  BOOL bHMode(_eNA_HMODE mode);
  _eNA_HMODE eGetHMode() const { return m_eHMode; }
  // The host description's names, "" without a description.
  const wchar_t* pszGetLogicalName() const;
  const wchar_t* pszGetDBTableName() const;
  const wchar_t* pszGetAliasName() const { return m_csAliasName.pszGet(); }
  // The context's next logical name when it has one, else the logical name.
  void _SetAliasNameFromContext();
  CNAConnectionDescription* pclGetConnectionNoRef() const { return m_pclConnection; }
  CNAContext* pclGetContextNoRef() const { return m_pclContext; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }

  // ---- Positions ----
  // Saves where item's browse stands under a new id. FALSE here: no position is kept yet.
  virtual BOOL bHSauvePosition(int* id, const wchar_t* item, eNAPOSITION mode);
  // Returns to position id and writes its item into itemOut (255 characters with the
  // terminator); keep 0 frees the position. FALSE here.
  virtual BOOL bHRetourPosition(int id, wchar_t* itemOut, int keep, eNAPOSITION mode);
  // Frees position id; TRUE also for an id that names none.
  virtual BOOL bHLiberePosition(int id);
  // The statement of the last browse read (borrowed); null before the first.
  CNAStatement* pclGetLastStatementNoRef() const { return m_pclLastStatement; }

  // The kind of row identifier the access gives its rows (eNA_RECORDIDTYPE): record values.
  virtual int eEvaluateRecordIdType() const { return 1; }
  // A new identifier of value's row by eEvaluateRecordIdType (not referenced): record values, or
  // a server row id when the driver makes its converter; null otherwise or without memory.
  CNARecordId* pclAllocRecordID(const CNARecordValue* value) const;
  // The host's parsed query of a query source; null for a table.
  CSQLParserInfo* pclGetSourceQueryNoRef() const { return m_pclSourceQuery; }
  BOOL bSourceIsQuery() const { return m_bSourceIsQuery; }
  // A host query sent as written (query flag 4).
  BOOL bRequeteSansCorrection() const { return m_bSourceIsQuery && (m_dwQueryFlags & 4) != 0 ? TRUE : FALSE; }

 // ==== What the statements read of their access ====
  // Bodies here are the least the statements need; the data-access lifecycle gives the rest.
  INADataSourceDescription* piGetDataSourceDescriptionNoRef() const { return m_piDescription; }
  // The database table name quoted by the connection, made on first use; "" when it cannot be.
  const wchar_t* pszGetFormatedTableName();
  // The current record (borrowed); null before the access is opened.
  CNARecord* pclGetCurrentRecordNoRef() const { return m_pclCurrentRecord; }
  // The description built from a query's result; null when none.
  CNADataSourceDescription* pclGetImportedDescNoRef() const { return m_pclImportedDesc; }
  // The word of query flags the rewriting of the source query reads.
  unsigned int dwGetQueryFlags() const { return m_dwQueryFlags; }
  // A new command of the driver's on the access's connection and error (not referenced); null
  // without memory.
  CNACommand* pclAllocCommand(CNAError* error) const;
  // A query whose FROM names more than one table.
  BOOL bSourceIsQueryOnMultipleTables() const;
  // name = the database table name of the query column's source table, quoted when asked;
  // nothing when the column has none.
  void _GetDBSourceName(INAItemDescription* item, CTString* name, int quote) const;
  // Builds the description of the statement's result and installs it. FALSE here.
  virtual BOOL bInitImportedDataSourceDesc(CNAStatement* statement);
  // The statement ends its result: a table cache it fills goes. Nothing here.
  virtual void ClosingStatement(CNAStatement* statement);
  // The browse SELECT of the access for statement into command: here the statement's SELECT under
  // its search and filter, without a record limit.
  virtual BOOL bBuildSelect(CNACommand* command, CNAStatement* statement, const wchar_t* item, int forward,
                            NA_WRITEPARSEFLAGS flags, long long* position);
  // The next automatic identifier set into the record's column; TRUE without such a column.
  // FALSE here with a column: no generator yet.
  virtual BOOL bSetNewAutoId();
  // Record saves: the id of a kept copy (-1 none); references taken and dropped. None here.
  virtual int nKeepOriginalRecordSave(CNAStatement* statement);
  virtual int nKeepCurrentRecordSave();
  virtual void AddRefRecordSave(int id);
  virtual int nReleaseRecordSave(int id);

 protected:
  CNARecord* m_pclCurrentRecord = nullptr;
  CNADataSourceDescription* m_pclImportedDesc = nullptr;
  CTString m_csFormatedTableName;
  // ==== End of what the statements read ====

 protected:
  int m_bOpened = 0;
  // Set by the query run.
  CSQLParserInfo* m_pclSourceQuery = nullptr;
  int m_bSourceIsQuery = 0;
  unsigned int m_dwQueryFlags = 0;
  // Set by the browse reads.
  CNAStatement* m_pclLastStatement = nullptr;

 private:
  CNAError* m_pclError;
  CNAConnectionDescription* m_pclConnection;
  INADataSourceDescription* m_piDescription = nullptr;
  CNAContext* m_pclContext = nullptr;
  _eNA_HMODE m_eHMode = static_cast<_eNA_HMODE>(1);
  CTString m_csAliasName;
};

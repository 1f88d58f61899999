// CNADataAccess: one table or query opened in one host context. The table object keeps one per
// context and forwards the host's file operations to it; a backend derives its own class and the
// driver's factory makes it.
//
// Ownership: it holds one reference on its connection (given back through the driver), one on its
// error object (the context's), one external reference on each of its three descriptions (the
// host's, the clone for the host layout of a query, the one read from the server), and one on
// each of its current record, statements, record-save caches, table cache, latest filter,
// identifier generator, parsed source query and saved positions (freed when it closes: they hold
// their statements). It borrows its table and its context.
//
// Lifecycle: made (descriptions, connection, error held), opened (current record set up, table
// known to match), closed (statements, table cache and generator gone; record and descriptions
// kept for the next open), reset at destruction (everything). Statements hand their record saves
// back to the access when they go, so the record-save caches are the last thing it frees.
//
// Rules: every failure is reported into the error object; a failed open, creation or deletion
// sets the error level to 2. Everything runs under the driver mutex.
#pragma once

#include <cstdint>
#include <vector>

#include "common/ctstring.h"
#include "common/interf.h"
#include "common/refhashtable.h"
#include "common/refstringhashtable.h"
#include "driver/inaerror.h"
#include "driver/nadrivermutex.h"
#include "driver/nahost.h"
#include "access/naposition.h"
#include "access/narecord.h"
#include "sql/nacommand.h"
#include "sql/nastatement.h"
#include "sql/nastatementsql.h"

class CAny;
class CNAColumn;
class CNAConnectionDescription;
class CNAContext;
class CNADataSourceDescription;
class CNAError;
class CNAFilter;
class CNAIDAuto;
class CNAItemDescription;
class CNAKJRecord;
class CNAPosition;
class CNARecord;
class CNARecordCache;
class CNARecordCachePosition;
class CNARecordId;
class CNARecordValue;
class CNAStatement;
class CNATable;
class CNATableCache;
class CNATransaction;
class CSQLParserInfo;
class IGaugeControl;
class INAConnectionDescription;
class INADataSourceDescription;
class INAItemDescription;
class INAQueryExecution;
class ISQLParserInformation;

// Next operation of a query run as a data access.
enum eNA_OPERATION : int32_t { NA_OPERATION_NONE = 0 };
// Flags of a query run as a table: 4 sent as written, 8 may modify the file, 16 prepare only,
// 0x80 no record cache; the driver's own queries run with 132.
enum eNA_QUERYMODE : uint32_t {};

class CNADataAccess : public CInterf {
 public:
  // Holds the connection and the error; with a description, holds it and formats its DB table
  // name for the server.
  CNADataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx, CNAError* error);
  CNADataAccess(const CNADataAccess&) = delete;
  CNADataAccess& operator=(const CNADataAccess&) = delete;

  // ---- Virtual operations, in their slot order ----
  // Resets the access (statements, record, descriptions), gives the connection and the error
  // back, then frees the record-save caches.
  ~CNADataAccess() override;
  // The memo operations answer FALSE with user error 26 for a number past the description's
  // memos, before anything else. Without a browse read yet the value is the record's own (NULL
  // without a record).
  virtual BOOL bGetBLOB(unsigned int memoNumber, CAny* value);
  virtual BOOL bSetBLOB(unsigned int memoNumber, const CAny* value);
  // TRUE, nothing written, before any browse read.
  virtual BOOL bExtraitMemo(unsigned int memoNumber, const wchar_t* path);
  // Creates the table (dropping it first when dropFirst) with its indexes and opens it. The
  // password is not read.
  virtual BOOL bHCreation(const wchar_t* password, int dropFirst);
  // Drops the table; the access is closed afterwards and no longer knows the table to match.
  virtual BOOL bSupprimeFichier();
  // Deletes every row (one DELETE for a table); the access is closed afterwards.
  virtual BOOL bSupprimeTout();
  // Opens an existing table (which must match the host description; it is never altered), or
  // creates a missing one.
  virtual BOOL bHCreationSiInexistant(eNA_ACCESS access, const wchar_t* password);
  // Checks the table on the server (once it matched, never again) and sets up the current
  // record; TRUE at once when opened already.
  virtual BOOL bHOuvre(eNA_ACCESS access, const wchar_t* password);
  // _Close. TRUE.
  virtual BOOL bHFerme();
  virtual BOOL bHAjoute(NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock);
  virtual BOOL bHEcrit(long long recnum, NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock);
  virtual BOOL bHSupprime(long long recnum, eNA_LOCKTYPE lock);
  virtual BOOL bHModifie(long long recnum, NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock);
  // The server keeps no such locks: FALSE with user error 8, type 7.
  virtual BOOL bHRaye(long long recnum, eNA_LOCKTYPE lock);
  virtual BOOL bHLibere();
  virtual BOOL bHLit(long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut);
  virtual BOOL bHLitxxx(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                        eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  // bHLitxxx as the table's host entry calls it (nadataaccessstep.h): a class that reads as the
  // generic access does has its read in line there, any other its own bHLitxxx. The caller need
  // not hold the access: a road that could let it go holds it itself.
  BOOL bHostLitxxx(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                   eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  virtual BOOL bSkipRecord(const wchar_t* item, eNA_PARSEDIRECTION dir, long long count, int setRead,
                           eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  virtual BOOL bHRecherche(const wchar_t* item, const CAny* value, int generic, int setRead, eNA_LOCKTYPE lock,
                           eNA_LOCKTYPE* lockOut, int fromFirst, NA_WRITEPARSEFLAGS flags);
  virtual BOOL bHRecherche(const wchar_t* item, const wchar_t* soughtItem, const CAny* value, int generic,
                           int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, int fromFirst,
                           NA_WRITEPARSEFLAGS flags);
  virtual BOOL bHAnnuleRecherche(const wchar_t* item);
  // FALSE with user error 8, type 7, level 2.
  virtual BOOL bHBloqueFichier(eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut);
  virtual BOOL bHDebloqueFichier();
  // FALSE with user error 8, type 7, level 2.
  virtual BOOL bHBloqueNumEnr(long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut);
  virtual BOOL bHDebloqueNumEnr(long long recnum);
  virtual BOOL bHFiltre(const wchar_t* item, const CAny* min, int minIncluded, const CAny* max, int maxIncluded,
                        ISQLParserInformation* condition);
  // *id = a new position id of the current record of item's browse; user error 7 when item has
  // no statement and none can be made.
  virtual BOOL bHSauvePosition(int* id, const wchar_t* item, eNAPOSITION mode);
  // Puts the browse back on the saved position and writes its item into itemOut, a buffer of
  // 255 characters: at most 254 and the NUL. keep 0 frees the position (also on failure). User
  // error 11 for an id not saved here.
  virtual BOOL bHRetourPosition(int id, wchar_t* itemOut, int keep, eNAPOSITION mode);
  // _bFreePosition: TRUE, also for an unknown id.
  virtual BOOL bHLiberePosition(int id);
  // *version = 0. TRUE.
  virtual BOOL bHVersion(int* version);
  virtual BOOL bHNbEnr(long long* count, unsigned int options, NA_WRITEPARSEFLAGS flags);
  virtual BOOL bGetNbEnr(long long* count, unsigned int options, NA_WRITEPARSEFLAGS flags, CNAStatement* browse,
                         eNA_PARSEDIRECTION dir);
  // Counting needs a run over the item: *needParse 1. TRUE.
  virtual BOOL bNbEnrNeedParse(int* needParse, const wchar_t* item);
  // Record numbers are not kept: 0.
  virtual long long llGetRecNum();
  virtual BOOL bGetRecNumState(long long recnum, unsigned int* state);
  // FALSE with user error 8, type 7.
  virtual BOOL bHConstruitValCle(CAny* out, const wchar_t* item, unsigned int options, CAny** values);
  virtual BOOL bExecuteQuery(int* result, const wchar_t* name, ISQLParserInformation* query, eNA_QUERYMODE mode,
                             const INAQueryExecution* execution);
  // The browse SELECT of the access for stmt into cmd, made stmt's command: the statement's SELECT
  // under its search and filter, with its row limit. A seek that differs from the last one by its
  // value only, on a cmd of the access's own (_pclSelectCommand), gets the statement's kept SELECT
  // as its command instead, cmd left as it is.
  virtual BOOL bBuildSelect(CNACommand* cmd, CNAStatement* stmt, const wchar_t* item, int forward,
                            NA_WRITEPARSEFLAGS flags, long long* count);
  // The record locks are the server's own: TRUE, nothing done.
  virtual BOOL bLockRecord(CNAStatement* stmt, eNA_LOCKTYPE lock, long long recnum, eNA_LOCKTYPE* lockOut);
  virtual BOOL bUnlockRecord(CNAStatement* stmt, eNA_LOCKTYPE lock, long long recnum, eNA_LOCKTYPE* lockOut);
  virtual BOOL bLockUnlockRecord(CNAStatement* stmt, eNA_LOCKTYPE lock, long long recnum, eNA_LOCKTYPE* lockOut);
  // TRUE; the gauge is never called.
  virtual BOOL bHReindexe(unsigned int options, IGaugeControl* gauge);
  // The table as the server describes it, with one internal reference for the caller; null with
  // the reason in the error object (a table the server does not know included).
  virtual CNADataSourceDescription* pclGetDataSourceDescriptionFromDB(const wchar_t* dbTableName, int option);
  // The kind of row identifier the access gives its rows (eNA_RECORDIDTYPE): record values.
  virtual int eEvaluateRecordIdType() const { return 1; }
  virtual BOOL bHChangeCle(const wchar_t* item, NA_WRITEPARSEFLAGS flags);
  virtual BOOL bSetCurrentRecordRead(int keepSave);
  // Whether bSetPlainRowRead reads record's row with no record save to let go.
  bool bPlainRowReadOf(const CNARecord* record) const { return record != nullptr && bPlainRowReadOf(*record); }
  bool bPlainRowReadOf(const CNARecord& record) const {
    return &record == m_pclCurrentRecord && m_nRecordSaveID == -1 && m_nWrittenSaveID == -1;
  }
  // bSetCurrentRecordRead(0) in line for a row with no record save to let go and a plain copy to
  // the original (every row of a browse), the call otherwise.
  [[gnu::always_inline]] BOOL bSetPlainRowRead() {
    CNARecord* record = m_pclCurrentRecord;
    if (!bPlainRowReadOf(record)) return bSetCurrentRecordRead(0);
    CNARecordValue* current = record->pclGetCurrentValueNoRef();
    if (current != nullptr) current->SetState(NA_RECORDSTATE_NONE);
    return record->bCopyPlainCurrentToOriginal() ? TRUE : bSetCurrentRecordRead(0);
  }
  // A row the current record could not hold whole was read into it: the record names no row
  // until the next row read, so that a modify or delete refuses (no record read) instead of
  // naming the row read before with this one's values. The record-save held goes too.
  void ForgetRowRead();
  // *exists: the server knows the table (its description becomes the imported one); *compatible
  // (when given): it holds every item of the host description. FALSE when the table cannot be
  // described: user error 15 (no error held before) or message 28541 put first.
  virtual BOOL bFichierExiste(int* exists, int* compatible);
  // A new position, no reference taken; null without memory.
  virtual CNAPosition* pclAllocPosition();
  // The error's own kind when set, else the connection's kind of the server's error number.
  virtual eNA_ERRORTYPE eGetNAErrorType();
  // Attaches the access to its context (borrowed).
  virtual void SetContext(CNAContext* ctx) { m_pclContext = ctx; }
  virtual void CancelRecordLock(INAConnectionDescription* cnx, CNATransaction* transaction);
  // TRUE, nothing done.
  virtual BOOL bSetFiltreAuto(int n, const wchar_t* table, const wchar_t* link, INADataSourceDescription* desc);
  virtual void SetFiltreAuto(int n);
  // Factories through the driver; each object comes back with no reference taken.
  virtual CNAStatement* _pclAllocStatement(CNADataAccess* access, CNAError* error);
  virtual CNADataSourceDescription* _pclAllocDataSource(CNAConnectionDescription* cnx, CNAError* error);
  virtual CNARecord* _pclAllocRecord(CNAError* error);
  virtual CNAIDAuto* _pclAllocIDAuto();
  virtual BOOL _bMove(long long recnum, int setRead);
  virtual BOOL _bSetBLOB(INAItemDescription* item, const CAny* value);
  virtual BOOL _bHAttacheMemo(INAItemDescription* item, const wchar_t* path);
  virtual void _SetTransactionTermined(CNAStatement* stmt);
  // Makes the current record when there is none, then gives its columns their imported items.
  virtual BOOL _bInitCurrentRecord();
  // Frees the table cache and the statements (with the generator); the access is not opened.
  virtual void _Close();
  // Refuses writes to a query sent as written (user error 35); else builds and runs type on stmt.
  virtual BOOL _bOperation(CNAStatement* stmt, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags, CNARecordValue* original);
  virtual long long _nGetSequenceCurrentVal(CNAColumn* column);
  // cmd run on stmt as its new command, the first column of its first row into out; FALSE when
  // the run fails or gives no row. stmt's former command and result are gone.
  virtual BOOL _bGetRequestedValue(CNAStatement* stmt, CAny* out, CNACommand* cmd);
  virtual BOOL _bIsValidRecordNumber(long long recnum);
  virtual BOOL _bFetch(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count, int setRead,
                       eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags, int reopen);
  // Drops the table (drop), creates it with its indexes (create). A refused DROP of error type 1
  // stops it; any other DROP failure is ignored. Create: answers whether the new table matches.
  virtual BOOL _bHCreation(int drop, int create);
  virtual BOOL _bSupprimeTout();
  // desc (held with an external reference) becomes the imported description; the host items of
  // the same names (for a query, failing that, of the same place) follow its updatability; a query's
  // binary memos read into host texts become text memos; the current record's columns take its
  // items.
  virtual void _SetImportedDataSourceDesc(CNADataSourceDescription* desc);
  virtual void _vUpdateRecordInCacheLock(NA_WRITEPARSEFLAGS flags);
  // The name of the index of column: "QXIDX<time><counter>" for a single column.
  virtual BOOL _bGetUniqueIndexName(CNAColumn* column, CTString* out);
  virtual BOOL _bUpdateIdAutoAfterInsertFailure(CNAColumn* column);
  virtual BOOL _bHModifie(long long recnum, NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock, CNARecordValue* original);
  virtual BOOL _bHAjoute(NA_WRITEPARSEFLAGS flags, eNA_LOCKTYPE lock);
  virtual BOOL _bRepriseErreurParcours(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir,
                                       eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  virtual BOOL _bCompareTablePosition(CNAPosition* a, CNAPosition* b, int* equal);
  virtual BOOL _bCheckRecordSaveID(CNAPosition* a, CNAPosition* b, int* equal);
  virtual BOOL _bCheckReccordId(CNAPosition* a, CNAPosition* b, int* equal);
  // A new table cache on the access's error (no reference taken); null without memory.
  virtual CNATableCache* _AllocTableCache();

  // ---- Names, owners and state ----
  void SetTable(CNATable* table) { m_pclTable = table; }
  CNATable* pclGetTableNoRef() const { return m_pclTable; }
  DWORD dwGetContextID() const;
  BOOL bIsOpened() const { return m_bOpened; }
  // Keeps the lock mode for the next operations. TRUE.
  BOOL bHMode(_eNA_HMODE mode);
  _eNA_HMODE eGetHMode() const { return m_eHMode; }
  // The host description's names, "" without a description.
  const wchar_t* pszGetLogicalName() const;
  const wchar_t* pszGetDBTableName() const;
  // The DB table name as the server wants it written (quoted when needed).
  const wchar_t* pszGetFormatedTableName() const { return m_csFormatedTableName.pszGet(); }
  const wchar_t* pszGetAliasName() const { return m_csAliasName.pszGet(); }
  // The context's next logical name when it has one, else the logical name.
  void _SetAliasNameFromContext();
  CNAConnectionDescription* pclGetConnectionNoRef() const { return m_pclConnection; }
  CNAContext* pclGetContextNoRef() const { return m_pclContext; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }
  // With one external reference for the caller; null when there is none.
  INADataSourceDescription* piGetDataSourceDescription() const;
  // The description the host lays its record out in, with one external reference for the
  // caller: a table's own; for a query its clone whose items that are neither key nor memo text
  // become keys (made on the first call, kept). Null without a description or a clone.
  INADataSourceDescription* piGetDataSourceDescriptionForKJ();
  // The first key of the host description that is an automatic identifier, with one external
  // reference for the caller; null when none.
  INAItemDescription* pclGetIdAutoItem() const;
  // The current value is identified by a server row id.
  BOOL bSupportROWID() const;
  // A table may always be written; a query when its flags say so (8).
  BOOL bRequeteAutoriseModifierFichier() const { return !m_bSourceIsQuery || (m_dwQueryFlags & 8) != 0 ? TRUE : FALSE; }
  // A query whose flags ask for a prepared run (16); never a table.
  BOOL bRequeteAPreparer() const { return m_bSourceIsQuery && (m_dwQueryFlags & 16) != 0 ? TRUE : FALSE; }
  void _RAZPrepare() { m_dwQueryFlags &= ~16u; }
  CNADataSourceDescription* pclGetImportedDataSourceDesc() const;
  // With one reference for the caller; null before the first open or creation.
  CNARecord* pclGetCurrentRecord() const;
  CNARecord* pclGetCurrentRecordNoRef() const { return m_pclCurrentRecord; }
  // Only while opened: the record's host buffer with one reference for the caller.
  BOOL bGetRecord(CNAKJRecord** out);
  // Only while opened: the record's buffer takes record's bytes; one reference of record is
  // dropped for the caller (also on FALSE).
  BOOL bSetRecord(CNAKJRecord* record);
  // Whether the database table is known to exist and match (asked again while it is not).
  BOOL bCheckCompatibilityWithDatabase();
  int nGetIndexCreationFlags() const { return m_nIndexCreationFlags; }
  void SetIndexCreationFlags(int flags) { m_nIndexCreationFlags = flags; }
  // A new command on the access's connection and error (the argument is not read), not
  // referenced; null with the no-memory error.
  CNACommand* pclAllocCommand(CNAError* error) const;
  // A command for the SELECT of a read, a seek or a further block, as pclAllocCommand gives one:
  // a kept command that nobody else holds any more, emptied (Recycle), else a new one, kept when
  // there is room. Every read builds its SELECT and the condition under it, and every write its
  // statement, in commands of their own: kept ones spare their making and their blocks. null
  // with the no-memory error. recycle false: a kept one comes owing its Recycle (OweRecycle).
  CNACommand* _pclSelectCommand(bool recycle = true);
  // command is one of those _pclSelectCommand keeps.
  bool _bOwnSelectCommand(const CNACommand* command) const;
  INADataSourceDescription* piGetDataSourceDescriptionNoRef() const { return m_piDescription; }
  CNADataSourceDescription* pclGetImportedDescNoRef() const { return m_pclImportedDesc; }
  // The word of query flags the rewriting of the source query reads.
  unsigned int dwGetQueryFlags() const { return m_dwQueryFlags; }
  // A query whose FROM names more than one table.
  BOOL bSourceIsQueryOnMultipleTables() const;
  // The kind of the source query's statement (a SELECT, UPDATE, INSERT, DELETE or another);
  // NA_QUERY_NONE for a table.
  eNAQUERYTYPE eSourceQueryType() const;
  // The database table the rows of the source query are rows of, as the first column of the
  // current record names it (quoted when asked). FALSE when they are rows of no one table: a
  // query over several tables, DISTINCT, grouped or aggregated rows, or no source table named.
  BOOL bGetQueryWriteTable(CTString* table, int quote) const;
  // TRUE unless the source query's rows are not table rows (see bGetQueryWriteTable): then
  // user error 8, before a write builds or sends anything.
  BOOL _bQueryRowsWritable();
  // TRUE unless the source is a query sent as written, which no write reaches: then user error
  // 35, nothing built or sent.
  BOOL _bNotSentAsWritten();
  // name = the database table name of the query column's source table, quoted when asked;
  // nothing when the column has none.
  void _GetDBSourceName(INAItemDescription* item, CTString* name, int quote) const;
  // Builds the description of the statement's result (named after the logical name) and
  // installs it.
  BOOL bInitImportedDataSourceDesc(CNAStatement* stmt);
  // The next automatic identifier set into the record's column; TRUE without such a column. A
  // value the column's host type cannot hold is left out of the record: into *unheld when given
  // (the INSERT sends it as it is and the server refuses it), else FALSE.
  BOOL bSetNewAutoId(CAny* unheld = nullptr);
  // The generator, made on first use and kept, with one reference for the caller; null with the
  // no-memory error.
  CNAIDAuto* pclGetIDAuto();

  // ---- Statements ----
  // The statement of item with one reference for the caller; null when there is none. In line:
  // every read and seek asks it.
  CNAStatement* _pclFindStatement(const wchar_t* item) {
    CNAStatement* stmt = nullptr;
    return m_tabStatement.bFindValue(item != nullptr ? item : L"", &stmt) ? stmt : nullptr;
  }
  // The same without a reference taken: a statement only looked at within the call.
  CNAStatement* _pclPeekStatement(const wchar_t* item);
  // A new statement of item, kept under item, with one reference for the caller; null (no memory
  // raised) when it cannot be made.
  CNAStatement* _pclInitStatement(const wchar_t* item);
  // The statement of the last browse read (borrowed); null before the first.
  CNAStatement* pclGetLastStatementNoRef() const { return m_pclLastStatement; }
  int nGetStatementCount() const { return static_cast<int>(m_tabStatement.dwGetNumElement()); }
  // Every statement's browse that has started is marked for a new run, and the record saves a
  // write changed inside a transaction no longer open are put back as they were before it.
  void SetTransactionTermined();
  // The record saves written inside the transactions that ended by a commit keep their writes.
  void TransactionCommitted();

  // A new number of the access's results, one above every number given before: a browse's row
  // read from a result numbered above a write's was read after that write.
  unsigned int nNextResultSerial() { return ++m_nResultSerial; }

  // ---- Record saves ----
  // Copies of records kept by save id in the record-save cache. A keep takes no reference: the
  // keeper takes one (AddRefRecordSave) before the next keep may reuse the row. -1 when nothing
  // could be kept.
  int nKeepCurrentRecordSave();
  // The statement's own last row when stmt is given, else the current record's original value.
  int nKeepOriginalRecordSave(CNAStatement* stmt);
  int _nKeepRecordSave(const CNARecordValue* value);
  void AddRefRecordSave(int id);
  // The references left; the last one frees the row for a later keep.
  int nReleaseRecordSave(int id);
  // dest takes the kept row; FALSE for an id that holds no row or is free.
  BOOL bCopySaveToRecord(int id, CNARecordValue* dest);
  // The current record's original value takes the kept row.
  BOOL bRestoreOriginalRecordSave(int id);
  // The same with the save stmt holds (its rebuild point); FALSE when it holds none.
  BOOL bRestoreOriginalRecordSave(CNAStatement* stmt);
  // The item's value in the kept row (NULL of its type when not defined).
  BOOL _bGetItemValueInRecordSave(CAny* out, int id, INAItemDescription* item);
  // Whether the kept row is marked deleted.
  BOOL bRecordDeleted(int id) const;
  // The save held as the current record's original (-1: none).
  int nGetRecordSaveID() const { return m_nRecordSaveID; }
  CNARecordCachePosition* pclGetRecordSaveCacheNoRef() const { return m_pclRecordSave; }

  // ---- Writes ----
  BOOL bHAttacheMemo(unsigned int memo, const wchar_t* path);
  // Every column but the composite keys checks and corrects its host value; the first refusal
  // is the answer.
  BOOL _bCheckAndCorrectKJRecordValues();
  // While an add runs after that check: every plain column's defined bit says what its
  // bValueDefined says, and no plain column changes before the INSERT is built (the write's
  // column choice need not set the bits again).
  bool bKJRecordChecked() const { return m_bKJRecordChecked; }
  // After a write the server accepted: the record-save cache, the table cache and every statement
  // of the access learn of it (nothing with notification flags 2; statements only with a table
  // cache or flags 1).
  void _NotifyOperation(eNAQUERYTYPE type, CNAStatement* stmt, NA_WRITEPARSEFLAGS flags, CNARecordValue* original);
  void NotifyOperation(eNAQUERYTYPE type, CNAStatement* stmt, NA_WRITEPARSEFLAGS flags) {
    _NotifyOperation(type, stmt, flags, nullptr);
  }
  // The row of the current record's original value in cache takes its current value; the row
  // index or -1.
  int nUpdateRecordInCache(NA_WRITEPARSEFLAGS flags, CNARecordCache* cache);
  // The row of the original value in cache is marked deleted; the row index or -1.
  int nSetRecordDeletedInCache(CNARecordCache* cache);
  // The first unique item of the current record whose value the table holds already (for a
  // modify only modified ones), with one external reference for the caller; null when none.
  INAItemDescription* piGetDuplicateItem(int bInsert);
  BOOL bIsDuplicateItem(int bInsert, CNAColumn* column);
  // Whether a row holds the current record's value of item, counted by stmt under a filter
  // (the server's collation decides).
  BOOL __bDuplicateItem(INAItemDescription* item, CNAStatement* stmt);
  // The first NOT NULL column's item whose value is not defined, with one external reference;
  // null when none. The argument is not read.
  INAItemDescription* piGetNullItemDesc(int bInsert);
  // The error names the table and the item found (type 3, resp. 8); FALSE when none is found.
  BOOL _bInitErrorDuplicateItemName(eNAQUERYTYPE type);
  BOOL _bInitErrorNeedItemValueItemName(eNAQUERYTYPE type);
  int nGetNotifyFlags() const { return m_nNotifyFlags; }
  void SetNotifyFlags(int flags) { m_nNotifyFlags = flags; }

  // ---- Row identifiers and query source ----
  // A new identifier of value's row by eEvaluateRecordIdType (not referenced): record values, or
  // a server row id when the driver makes its converter; null otherwise or without memory.
  CNARecordId* pclAllocRecordID(const CNARecordValue* value) const;
  // The host's parsed query of a query source; null for a table.
  CSQLParserInfo* pclGetSourceQueryNoRef() const { return m_pclSourceQuery; }
  BOOL bSourceIsQuery() const { return m_bSourceIsQuery; }
  // Whether the access runs query: its source query's text and query's are equal ignoring case.
  // An access without a source query never matches.
  BOOL bSameQuery(ISQLParserInformation* query) const;
  // A host query sent as written (query flag 4).
  BOOL bRequeteSansCorrection() const { return m_bSourceIsQuery && (m_dwQueryFlags & 4) != 0 ? TRUE : FALSE; }

  // ---- Browsing ----
  // The statement of item made current (found or made), with one reference for the caller; with
  // flag 0x8000 it takes the former current statement's active filter.
  CNAStatement* _pclGetNewItemStatement(const wchar_t* item, eNA_PARSEDIRECTION dir, NA_WRITEPARSEFLAGS flags);
  // The current statement with one reference for the caller; with none, the statement of the best
  // browse item (found or made) becomes current. Null when it cannot be made.
  CNAStatement* _pclGetLastStatement();
  // The step road of bHLitxxx (nadataaccessstep.h): a next or previous read on the current
  // statement's item, where the general road reduces to moving the statement one row. Taken only
  // when no query run is being handed over, there is no table cache, the default item is not
  // asked, and the statement (the current one, found for item) has a started browse under an
  // unchanged filter and no search object. It then writes what the general road writes before
  // its fetch step and, when the statement needs no rebuild, stands inside its rows and can move
  // that way, moves it without the checks of _bFetch (a backend overriding _bFetch must leave
  // such a step to _bFetchMove); else it goes on through _bFetch. taken false: nothing done;
  // else read is the read's result.
  struct STStepRead {
    bool taken;
    BOOL read;
  };
  template <bool kHeld>
  STStepRead _stStepRead(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                         eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  bool _bStepRoadOpen(eNA_PARSEDIRECTION dir, NA_WRITEPARSEFLAGS flags) const;
  CNAStatement* _pclPlainStep(const wchar_t* item) const;
  BOOL _bPlainStepMove(CNAStatement* last, const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                       eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  BOOL _bPlainStepEnded(CNAStatement* last, int plain, long long moved, const wchar_t* item, eNA_PARSEDIRECTION dir,
                        int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  // Off, every read takes the general road: set (SetStepRoad) only by tests that compare the two
  // roads, while no read runs.
  static inline bool s_bStepRoad = true;
  static void SetStepRoad(bool on) {
    s_bStepRoad = on;
    CNADriverMutex::s_Moved();
  }
  // bHLitxxx's body: the step road when it may be taken, else the general road.
  BOOL _bReadAsGeneric(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                       eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  // Whether this object's bHLitxxx, and its bLockUnlockRecord, are the generic ones: their
  // addresses in the object's class against the ones the generic constructor saw (g++ reads both
  // from the virtual table; another compiler always takes the virtual call).
  using FnLitxxx = BOOL (*)(CNADataAccess*, const wchar_t*, eNA_PARSEDIRECTION, int, eNA_LOCKTYPE, eNA_LOCKTYPE*,
                            NA_WRITEPARSEFLAGS);
  using FnLockUnlock = BOOL (*)(CNADataAccess*, CNAStatement*, eNA_LOCKTYPE, long long, eNA_LOCKTYPE*);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
  FnLitxxx _pfnLitxxx() { return reinterpret_cast<FnLitxxx>(this->*(&CNADataAccess::bHLitxxx)); }
  FnLockUnlock _pfnLockUnlock() {
    return reinterpret_cast<FnLockUnlock>(this->*(&CNADataAccess::bLockUnlockRecord));
  }
#pragma GCC diagnostic pop
  // The class of an object is settled once its constructors ran: both answers are worked out at
  // the first read or lock and kept.
  bool _bReadsAsGeneric() { return (_byGenericRoads() & kGenericReads) != 0; }
  bool _bLocksAsGeneric() { return (_byGenericRoads() & kGenericLocks) != 0; }
  [[gnu::always_inline]] uint8_t _byGenericRoads() {
    const uint8_t roads = m_byGenericRoads;
    if (roads == (kGenericKnown | kGenericReads | kGenericLocks)) return roads;
    return roads != 0 ? roads : _byLearnGenericRoads();
  }
  uint8_t _byLearnGenericRoads() {
    m_byGenericRoads = static_cast<uint8_t>(kGenericKnown | (_pfnLitxxx() == m_pfnGenericLitxxx ? kGenericReads : 0) |
                                            (_pfnLockUnlock() == m_pfnGenericLockUnlock ? kGenericLocks : 0));
    return m_byGenericRoads;
  }
#else
  FnLitxxx _pfnLitxxx() { return nullptr; }
  FnLockUnlock _pfnLockUnlock() { return nullptr; }
  bool _bReadsAsGeneric() { return false; }
  bool _bLocksAsGeneric() { return false; }
#endif
  // bHLitxxx's general road.
  BOOL _bReadGeneral(const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                     eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  // A position of stmt as it stands, with one reference for the caller; null when none can be made.
  CNAPosition* _pclPositionBeforeLock(CNAStatement* stmt);
  // _bFetch from its move on: the statement stands where the move starts (opened or kept). A
  // record lock of kind 2 or 3 refused after the move puts the statement back where it stood.
  BOOL _bFetchMove(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count, int setRead,
                   eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  BOOL _bFetchMoveInLine(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                         int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  // _bFetchMove's parts kept out of the one-row step (nadataaccessstep.cpp).
  BOOL _bFetchMoveLocked(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                         int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  BOOL _bFetchMoveLanded(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                         long long moved, int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut,
                         NA_WRITEPARSEFLAGS flags, CNAPosition* before);
  BOOL _bFetchMoveFailed(CNAStatement* stmt);
  bool _bFetchMoveRest(CNAStatement* stmt, eNA_PARSEDIRECTION dir, int setRead, long long* count, long long* moved,
                       int* out);
  // _stStepRead's parts (nadataaccessstep.cpp): its road after a read other than a plain step (false:
  // not taken), and the move, made without _bFetch's checks when ready.
  bool _bStepChecked(const wchar_t* name, bool known, uint32_t stamp, const wchar_t* item, eNA_PARSEDIRECTION dir,
                     int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags, BOOL* read);
  BOOL _bStepMove(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                  eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags, bool ready);
  BOOL _bStepReadFailed(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, eNA_LOCKTYPE lock,
                        eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  // A read's arguments in one place, for the rarer roads the step road calls: a call with more
  // than the registers' worth of arguments would cost the host entry that inlines the step a
  // frame pointer at every row.
  struct STReadCall {
    const wchar_t* item;
    eNA_PARSEDIRECTION dir;
    int setRead;
    eNA_LOCKTYPE lock;
    eNA_LOCKTYPE* lockOut;
    NA_WRITEPARSEFLAGS flags;
  };
  // bHostLitxxx's road when the plain step is not taken.
  BOOL _bHostReadRest(const STReadCall& c, bool generic);
  // _bStepMove's roads out of the plain move: _bFetch with stmt held, and the recovery of a failed read.
  BOOL _bStepFetchHeld(const STReadCall& c, CNAStatement* stmt);
  BOOL _bStepFailedHeld(const STReadCall& c, CNAStatement* stmt);
  BOOL _bPlainStepRest(const STReadCall& c, CNAStatement* stmt);
  BOOL _bFetchMoveLockedOf(const STReadCall& c, CNAStatement* stmt, long long count);
  BOOL _bContinueSearchOf(const STReadCall& c, CNAStatement* stmt, long long count);
  // The browse SELECT built into a new command and run on stmt; the row cache follows flags.
  BOOL _bOpenStatement(CNAStatement* stmt, const wchar_t* item, int forward, NA_WRITEPARSEFLAGS flags,
                       long long* count, CNAStatement::eNA_ST_PREPARE prepare);
  // Whether a browse on item may be fetched in limited blocks: its rows must be told apart by
  // values the host holds exactly.
  BOOL _bEnableRecordLimit(const wchar_t* item);
  // The item a seek's search found for its name in this access's description, noted (with an
  // external reference) for the rest of that seek only: the same name looked up in the same
  // description during the same call answers the same item.
  struct STSeekItem {
    const wchar_t* name = nullptr;
    INADataSourceDescription* desc = nullptr;
    INAItemDescription* item = nullptr;
  };
  // The next block of stmt's browse in dir (next or previous, host order) after its original
  // record, or on it with atRecord; the server skips *skip - 1 rows of a long move (then *skip
  // is 1); a negative *skip asks for a block of at least -*skip rows, none skipped (then *skip
  // is 0). The current record is left as it was.
  BOOL _bOpenBlock(CNAStatement* stmt, eNA_PARSEDIRECTION dir, int atRecord, long long* skip);
  // stmt's browse again from its start without a row limit, in the order of its command
  // (forward: the host's); the statement's search and state are kept.
  BOOL _bOpenWhole(CNAStatement* stmt, int forward);
  // A browse marked for a rebuild put back on its rebuild point, then moved count in dir.
  BOOL _bUpdateParse(int keep, CNAStatement* stmt, int setRead, eNA_PARSEDIRECTION dir, long long count);
  BOOL bGoToOriginalRecord(int keep, CNAStatement* stmt, int setRead, eNA_PARSEDIRECTION dir, long long count);
  BOOL _bGoToOriginalRecord(int keep, CNAStatement* stmt, INAItemDescription* item, int setRead,
                            eNA_PARSEDIRECTION dir, long long count);
  BOOL _bGoToCurrentRecord(CNAStatement* stmt, INAItemDescription* item, int setRead, eNA_PARSEDIRECTION dir,
                           long long count);
  // Turns a move from the rank-th of the rows equal to the current one into a move of the
  // rebuilt browse (equal rows counted by the server).
  BOOL _bGotoCurrentRecord_DuplicateProcess(CNAStatement* stmt, long long rank, eNA_PARSEDIRECTION* dir,
                                            long long* count);
  // Counts the rows after, before or equal to (dir) the current record's value on item, the
  // current buffer holding lent (when not null) for the time of the count; item null counts all.
  // Only the rows filter (when not null) lets through are counted.
  BOOL _bCountFromRecord(long long* count, unsigned int options, const wchar_t* item, eNA_PARSEDIRECTION dir,
                         const CNARecordValue* lent, CNAFilter* filter = nullptr);
  // _bCountFromRecord on counter, its filter set (filtered) or none.
  BOOL _bCountOn(CNAStatement* counter, long long* count, unsigned int options, const wchar_t* item,
                 eNA_PARSEDIRECTION dir, const CNARecordValue* lent, bool filtered);
  BOOL bGoToStmtOriginalRecord(int keep, CNAStatement* stmt, int setRead, eNA_PARSEDIRECTION dir, long long count);
  // A read that left the rows of stmt's search goes on with the rows beyond them (from their
  // first for next, their last for previous); a search that cannot go on, or an internal
  // positioning, leaves the browse out. The rows still to move are count. A read that left the
  // whole browse (further blocks read it past the rows sought) drops the search: coming back
  // reads the browse from that end.
  BOOL _bContinueSearch(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count, int setRead,
                        eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags);
  // A read of stmt in dir after its filter changed: *changed 1 for an end to read anew, 2 when
  // the browse was marked to be found again, 0 with the filter unchanged. FALSE when the marking
  // fails.
  BOOL _bFollowFilterChange(CNAStatement* stmt, eNA_PARSEDIRECTION dir, int* changed);
  // Re-reads the current row (only number 0: else user error 18).
  BOOL bMove(long long recnum, int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut);
  // TRUE with *out the item's browse out-of-range flag; user error 5 without a browse on item.
  // Asked after every read, in line: the statement is only looked at, no reference is taken. The
  // one the last read found for the same text is still that text's while the statements stay as
  // they were.
  // A null item (the empty text) is looked up.
  [[gnu::always_inline]] BOOL bHEndehors(const wchar_t* item, int* out) {
    CNAStatement* last = m_pclLastStatement;
    if (item != nullptr && last != nullptr && last->bFoundAt(m_tabStatement.dwGetStamp()) &&
        s_bSameItem(item, last->pszGetBrowseItem()))
      return last->HEndehors(out);
    return _bHEndehorsLookedUp(item, out);
  }
  // bHEndehors for an item other than the last statement's: out of line, so that the entry's
  // road keeps nothing across a call.
  BOOL _bHEndehorsLookedUp(const wchar_t* item, int* out);
  // Whether the host's item text is ours (neither null), read no further than its NUL: each
  // character compared before the next is read. Eight a turn, the first turn in a straight line:
  // the known-item tests of every row read and every bHEndehors compare a short name, where the
  // loop's own steps weigh.
  [[gnu::always_inline]] static bool s_bSameItem(const wchar_t* host, const wchar_t* ours) {
    // 1: the same to the NUL, 0: they differ, -1: the same for all n.
    const auto run = [](const wchar_t* h, const wchar_t* o, int n) __attribute__((always_inline)) {
      for (int i = 0; i < n; ++i) {
        if (h[i] != o[i]) return 0;
        if (h[i] == 0) return 1;
      }
      return -1;
    };
    int same = run(host, ours, 8);
    while (same < 0) {
      host += 8;
      ours += 8;
      same = run(host, ours, 8);
    }
    return same != 0;
  }
  // User error 5 for item; FALSE.
  BOOL _bNoBrowse(const wchar_t* item);
  // TRUE with the found state of item's browse; user error 5 without a browse on item.
  BOOL bEvalHTrouve(const wchar_t* item, int* found, int* second);
  const wchar_t* _pszGetDefaultParseItem();
  const wchar_t* pszGetBestParseItemName();

  // ---- Filters ----
  // The filter of the item bFindBestItem chooses for condition alone; the item is written into
  // item, a buffer of 255 characters (at most 254 and the NUL).
  BOOL bHFiltre(ISQLParserInformation* condition, wchar_t* item);
  // The item a condition's parameters name that carries it best: a unique key, else a key with
  // duplicates, else the first item named, else the best browse item; its name into itemOut (a
  // buffer of 255 characters, at most 254 and the NUL). User error 17 when there is none.
  BOOL bFindBestItem(ISQLParserInformation* condition, wchar_t* itemOut);
  // The latest filter switched on again; item's opened browse is then put back on its record.
  BOOL bHActiveFiltre(const wchar_t* item);
  // item's filter switched off. TRUE.
  BOOL bHDesactiveFiltre(const wchar_t* item);
  // Every statement's filter switched off.
  void _DesactivateAllFilter();

  // ---- Queries run as data accesses ----
  // The query's road with a null text: *result 1 when the result has columns (0 without). For a
  // SELECT that may be corrected the description comes from the parse and the first record is
  // read before the answer; any other query runs once as one command and is described from the
  // server's answer. Prepare-only (16) prepares and keeps the execution statement, running nothing.
  BOOL _bExecuteQuery(int* result, const wchar_t* name, eNA_QUERYMODE mode, const wchar_t* text,
                      ISQLParserInformation* parser, const INAQueryExecution* execution);
  // The driver's own text run as a query sent as written (mode 132): *out = the statement that ran
  // it, with one reference, when it produced columns; else null. FALSE when it cannot run.
  BOOL bExecuteQueryInternal(CNAStatement** out, const wchar_t* name, const wchar_t* text);
  // A query source whose host prepared its parse.
  BOOL bHPrepareRequeteCalled() const;
  // Op 1 or 3 before the table cache holds the whole result: FALSE, user error 55 at error level 1,
  // else message 25667 put first. Op 2 with a table cache: whether it holds its full cache.
  BOOL bSetNextOperation(eNA_OPERATION operation);
  // The owning context's access on this connection whose DB table name is name, with one reference
  // for the caller; null without.
  CNADataAccess* pclFindDataAccessByDBTableName(const wchar_t* name) const;
  // The record-number statement "" (found or made) with one reference for the caller.
  CNAStatement* _pclGetQueryStatement();
  // _bGetRequestedValue on the record-number statement, which is reset afterwards.
  BOOL _bGetRequestedValue(CAny* out, CNACommand* cmd);
  // The prepared statement of a prepare-only run (borrowed); null for none.
  CNAStatement* pclGetExecuteStatementNoRef() const { return m_pclExecuteStatement; }
  // The former one released, stmt held; the same pointer changes nothing.
  void _SetExecutionStatement(CNAStatement* stmt);
  // stmt (null: the statement of oldItem) is kept under newItem instead of oldItem, browsing and
  // asked for as newItem; a statement newItem named before leaves the table. FALSE, nothing
  // changed, when oldItem does not name stmt or when memory fails.
  BOOL _bChangeStatementKey(const wchar_t* newItem, const wchar_t* oldItem, CNAStatement* stmt);
  // A query's executed statement becomes the current browse, started; a query sent as written
  // browses its best item with its row cache on and fills a new table cache.
  BOOL _bInitParcoursRequete(CNAStatement* stmt);
  // Whether the next browse read is the first after a query run.
  int bQueryParseStarted() const { return m_bQueryParseStarted; }
  // The first read after a query run: *flags gains reuse (0x2000) when the run's result serves
  // it; with 0x4000 the current statement asked for item is taken (one reference, started).
  // Null: the read takes the item's statement as any read does.
  CNAStatement* _pclFirstReadAfterQuery(const wchar_t* item, NA_WRITEPARSEFLAGS* flags);
  // Whether a first or last read with flags on a query goes through the table cache: a query
  // browsed with 0x4000, sent as written or limited by its own text, unless the read keeps caches
  // out.
  BOOL _bTableCacheRoad(NA_WRITEPARSEFLAGS flags);
  // The table cache of a first or last read on stmt: the open cache serves it (stmt moved onto an
  // index of it unless it reads the cache's own rows, or the cache still fills), or a new cache
  // takes stmt's rows, or *reopen is set so that the run fills it. FALSE when stmt cannot be
  // moved onto the cache.
  BOOL _bChooseTableCache(CNAStatement* stmt, const wchar_t* item, NA_WRITEPARSEFLAGS flags, int* reopen);
  // stmt moves onto an index of the table cache and stays the current statement.
  BOOL _bOpenOnTableCache(CNAStatement* stmt);
  // The same for a browse marked to be put back, which keeps its cause and rebuild point.
  BOOL _bMoveOntoTableCache(CNAStatement* stmt);
  // stmt reads the table cache's rows: through an index of it, or as the statement whose row
  // cache the cache holds.
  BOOL _bReadsTableCache(const CNAStatement* stmt) const;

  // ---- Host positioning in thousandths of a browse ----
  // *position = the current record's place in item's browse; FALSE, *position -1, with user
  // error 7 when item's browse was never started.
  BOOL bHPositionCourante(int* position, const wchar_t* item, eNA_PRECISION precision);
  // item's browse moves to position thousandths of its records and that record is read; TRUE
  // without moving when item was never browsed.
  BOOL bHPositionne(const wchar_t* item, unsigned int position, eNA_PRECISION precision, NA_WRITEPARSEFLAGS flags);

  // ---- Saved positions ----
  // Equal ids: *equal 1 without a lookup. Else each id must be saved here (user error 11).
  BOOL bCompareTablePosition(int first, int second, int* equal);
  // With a reference for the caller; null when id is not saved here.
  CNAPosition* _pclFindPosition(int id) const;
  // The position leaves the table and its statement. TRUE, also for an unknown id.
  BOOL _bFreePosition(int id);
  BOOL _bDeleteAllSavedPosition();
  // position's statement becomes the current one and puts itself back on the position.
  BOOL _bRestorePositionStatement(CNAPosition* position, eNAPOSITION mode);
  int nGetSavedPositionCount() const { return static_cast<int>(m_tabPosition.dwGetNumElement()); }
  // The next position id: it grows from 1 across the process and after INT_MAX starts again at 1,
  // passing over the ids this access still holds.
  int _nNewPositionID() const;
  // The filter the host set last (held); null for none.
  CNAFilter* pclGetLatestFilterNoRef() const { return m_pclLatestFilter; }
  // The former one released, filter held; the same pointer changes nothing.
  void SetLatestFilter(CNAFilter* filter);

  // ---- Table cache ----
  CNATableCache* pclGetTableCacheNoRef() const { return m_pclTableCache; }
  // Frees the table cache if any. TRUE.
  BOOL bFreeCache();
  // A closing statement that fills the table cache frees it.
  void ClosingStatement(CNAStatement* stmt);
  // A new, empty table cache in place of any former one; FALSE with the no-memory error.
  BOOL _bCreateNewTableCache(CNAStatement* stmt);

 protected:
  // _Close, the latest filter, the record-save caches' rows, the parsed query, the current record
  // and the three descriptions.
  void _ResetDataAccess();
  // desc (an external reference taken) becomes the host description in place of the former one.
  void _SetDataSource(INADataSourceDescription* desc);
  // The source becomes a query (or a table) of mode: the access reset, the parse wrapped, the
  // flags set (4 without a parse; bit 31 for " JOIN " after the text's first character). User
  // error 77 for a text sent as written that the connection's single-byte code page cannot hold.
  BOOL _bSetQuery(int isQuery, const wchar_t* name, ISQLParserInformation* parser, eNA_QUERYMODE mode);
  // Sets the query up under a description of its own name. A query sent as written or any other
  // than a SELECT: *command (one reference) holds its text, *itemName stays empty. A SELECT that
  // may be corrected: described from the parse and read at its first record on the requested (or
  // best) column, whose item name goes to *itemName.
  BOOL _bInitQuery(CNACommand** command, CTString* itemName, const wchar_t* name, eNA_QUERYMODE mode,
                   const wchar_t* text, ISQLParserInformation* parser, const INAQueryExecution* execution);
  // Runs (or with 16 only prepares) command on the statement of itemName (a query sent as written:
  // the record-number statement); *stmt with one reference, null on failure.
  BOOL _bExecuteQuery(CNAStatement** stmt, CNACommand* command, const wchar_t* itemName, int prepared,
                      eNA_QUERYMODE mode);
  // Describes stmt's result as the query's description and hands the result to the browse.
  BOOL _bInitQueryParse(int* result, CNAStatement* stmt, const wchar_t* itemName, eNA_QUERYMODE mode);
  void _ResetRecordCache();
  void _CloseAllStatement();
  void _FreeTableCache();
  // The save held as the current record's original becomes id; the reference of the former one
  // and the one id needs are the caller's business.
  void _SetRecordSaveID(int id) { m_nRecordSaveID = id; }
  // Every index the host description asks for, on the current record's columns; TRUE when each
  // was named and created.
  BOOL _bCreateIndex(CNAStatement* stmt, unsigned int flags);
  // The write's statement built and, with send, run; without, only its refusal is known.
  BOOL _bBuildAndExecuteQuery(CNAStatement* stmt, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags, bool send = true);
  // The server's error kind becomes the error's type; FALSE. A CREATE refused for no recognised
  // kind is corrected once (_bCorrectCREATE).
  BOOL _bProcessError(CNACommand* command, CNAStatement* stmt, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags);
  // command's CREATE with each VARCHAR (then NVARCHAR) longer than the connection's maximum made
  // its long type, run once on stmt: TRUE (the error reset) when the server takes it; FALSE with
  // the first error kept when nothing needed correcting.
  BOOL _bCorrectCREATE(CNACommand* command, CNAStatement* stmt);
  // "QXIDX" with the time in seconds and a process-wide counter.
  BOOL _bGetGeneratedIndexName(CTString* out);
  BOOL _bInitCurrentRecord_SetImportedItemDesc();
  // Each column of a query that may be corrected takes the table its item reads (the alias the
  // query gives it, or the physical name) as its table alias: the clauses written into the
  // query name it so, which is all the server knows it by where several tables share a name.
  void _InitAliasFichierColonne(INADataSourceDescription* desc);
  // A query's result column the host named otherwise is the host item at its place, when the
  // driver made it: it takes name and its column formats it again. With one external reference;
  // null otherwise.
  INAItemDescription* _piRenameQueryItem(int i, const wchar_t* name);
  // A query's host item typed by the parsed query takes imported's type when it cannot hold the
  // server's values; true when the types are changed (also when only the exact types differ).
  bool _bAdoptResultType(INAItemDescription* host, CNAItemDescription* imported);
  // After types changed: the description's sizes, the record (buffers of the new layout) and
  // every statement follow; the record saves, of the former layout, are dropped. FALSE at the
  // first step that fails.
  BOOL _bUpdateChangedTypeInCurrentRecord();
  // The statement "" of writes, CREATE, DROP and DELETE of all rows, with one reference for the
  // caller; null (no memory raised) when it cannot be made.
  CNAStatement* _pclGetWriteStatement();
  // A deletion that succeeded leaves the access closed; one that failed sets error level 2.
  BOOL _bClosedAfter(BOOL deleted);
  // Delete-all of a query: deletes the rows of its browse on its best item, one by one, from the
  // first until the browse is out of its data; FALSE at the first read or delete that fails. A
  // row no DELETE can name, or the record cannot hold, refuses the call before any row goes.
  BOOL _bSupprimeTout_HSupprime();
  // User error 8, type 7: what the source cannot do (a lock the server keeps none of, a write
  // on rows that are no table rows).
  void _RaiseNotSupported();
  void _NoMemory();

  int m_bOpened = 0;
  // Set by the query run.
  CSQLParserInfo* m_pclSourceQuery = nullptr;
  int m_bSourceIsQuery = 0;
  unsigned int m_dwQueryFlags = 0;
  // The SELECT being built reads the whole selection (_bOpenWhole).
  bool m_bWholeSelect = false;
  // Set by the browse reads.
  CNAStatement* m_pclLastStatement = nullptr;
  // Set by the open (test benches make their own).
  CNARecord* m_pclCurrentRecord = nullptr;
  CNADataSourceDescription* m_pclImportedDesc = nullptr;

 private:
  CNAError* m_pclError;
  CNAConnectionDescription* m_pclConnection;
  INADataSourceDescription* m_piDescription = nullptr;
  INADataSourceDescription* m_piDescriptionForKJ = nullptr;
  CRefStringHashTable<CNAStatement*> m_tabStatement;
  eNA_OPERATION m_eNextOperation = NA_OPERATION_NONE;
  CTString m_csLastParseItem;
  // 1 once the table is known to exist and match; 0 is asked again.
  int m_nDBCompatibility = 0;
  // Value 2: writes notify nothing; else value 1: statements are notified.
  int m_nNotifyFlags = 1;
  // Value 1: an index per unique item; value 2: per item with duplicates and composite key.
  int m_nIndexCreationFlags = 2;
  CTString m_csFormatedTableName;
  _eNA_HMODE m_eHMode = static_cast<_eNA_HMODE>(1);
  CNATable* m_pclTable = nullptr;
  CNAContext* m_pclContext = nullptr;
  CNAFilter* m_pclLatestFilter = nullptr;
  CNARecordCachePosition* m_pclRecordSave = nullptr;
  CNARecordCachePosition* m_pclRecordSave2 = nullptr;
  int m_nRecordSaveID = -1;
  // The row as the host's last modify wrote it, while its browses stay at the row's former
  // place (a modify not kept as read): a position saved before the next read gives it back, not
  // the copy of the place. -1 for none.
  int m_nWrittenSaveID = -1;
  // The row the host's last modifies wrote: how it was before each write of the chain (the
  // modifies' own clones, held) and a held copy of it as written (-1 for none). A position whose browse copy is one of
  // the former gives the row back as written, even after other reads; a delete, a roll-back or
  // another row written forgets it. Each write's result serial goes with its row as before it:
  // a copy read from a later result is another row of equal values (a twin another connection
  // added), not the row written.
  struct STWrittenBefore {
    CNARecordValue* row;
    unsigned int serial;
  };
  std::vector<STWrittenBefore> m_tabWrittenBefore;
  int m_nWrittenRowID = -1;
  unsigned int m_nResultSerial = 0;
  void _NoteWrittenRow(CNARecordValue* before);
  void _ForgetWrittenRow();
  // The held copy of the written row when save holds the row as it was before one of its writes
  // and was not read from a result numbered readSince after that write (0: not known when it was
  // read).
  int _nWrittenRowOf(int save, unsigned int readSince) const;
  // A row of the record-save cache a write changed inside a transaction, with what it held
  // before: the server gives the row back on a roll-back, and so must the copies kept of it.
  struct STSaveUndo {
    int row;
    int depth;  // transactions open at the write
    eNA_RECORDSTATE state;
    CNARecordValue* before;  // owned
    CNARecordValue* after;   // owned; null for a delete
  };
  std::vector<STSaveUndo> m_tabSaveUndo;
  // The kept copy a write is about to change, asked only inside a transaction: its row (-1 for
  // none), state and the row as the server held it (the current record's original).
  struct STSaveBefore {
    int row = -1;
    eNA_RECORDSTATE state{};
    const CNARecordValue* value = nullptr;
  };
  STSaveBefore _stSaveBefore() const;
  // Remembers the write of before's row (after: its new value, null for a delete).
  void _KeepSaveUndo(const STSaveBefore& before, const CNARecordValue* after);
  // Puts back the rows written in transactions deeper than those still open.
  void _UndoSaves();
  // Lets the written row's copy go (m_nWrittenSaveID).
  void _DropWrittenSave();
  // The host's record still stands on the row as the last modify wrote it.
  bool _bOnWrittenRow() const;
  // After a modify of flags: the written row's copy, when its browses stay at the row's former
  // place; before is the row as read.
  void _KeepWrittenSave(NA_WRITEPARSEFLAGS flags, CNARecordValue* before);
  // After a modify that wrote: the server's texts of current's written items go.
  [[gnu::noinline]] void _ForgetWrittenServerTexts(CNARecordValue* current);
  // Whether the DELETE of the current row can be written (its WHERE built, nothing sent); FALSE
  // with the error that refuses it.
  [[gnu::noinline]] BOOL _bDeleteNamesRow();
  void _DropSaveUndo(size_t from);
  bool m_bKJRecordChecked = false;
  CNATableCache* m_pclTableCache = nullptr;
  STSeekItem m_clSeekItem;
  class CSeekItemNote;
  // _bEnableRecordLimit's last answer on whether the host holds an item's values exactly: the
  // item and its column's imported description held (external references), for the current
  // record while it keeps its columns. Dropped when the descriptions are imported again (which
  // may retype items in place) and with the access.
  struct STExactItem {
    void Drop();
    INAItemDescription* item = nullptr;
    CNAItemDescription* imported = nullptr;
    const CNARecord* record = nullptr;
    unsigned int columns = 0;
    const CNAColumn* column = nullptr;
    bool exact = false;
  } m_clExactItem;
  // The commands _pclSelectCommand keeps, one reference each; released by _Close.
  CNACommand* m_tabSelectCommand[3] = {};
  CNAIDAuto* m_pclIDAuto = nullptr;
  int m_bQueryParseStarted = 0;
  CNAStatement* m_pclExecuteStatement = nullptr;
  CTString m_csAliasName;
  int m_nSelectOption = 0;
  int m_bQueryExecutionGiven = 0;
  CTString m_csBestParseItem;
  // Saved positions by id, one reference each.
  CRefHashTable<int, CNAPosition*> m_tabPosition{7};
  // The generic bHLitxxx and bLockUnlockRecord, as the generic constructor saw them.
  FnLitxxx m_pfnGenericLitxxx = nullptr;
  FnLockUnlock m_pfnGenericLockUnlock = nullptr;
  static constexpr uint8_t kGenericKnown = 1, kGenericReads = 2, kGenericLocks = 4;
  // 0 until _byLearnGenericRoads, then kGenericKnown and the generic ones of the two.
  uint8_t m_byGenericRoads = 0;

  static unsigned int ms_nIndexNameCounter;

 public:
  // The id the next saved position takes (process-wide, under the driver mutex).
  static int ms_nPositionID;
};

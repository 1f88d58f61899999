// CNAStatement: one statement (cursor) of a data access. It builds the SQL text of a read, count,
// insert, update, delete, create or drop on the access's table or host-parsed query in a
// CNACommand, runs it through its low-level CNAStatementSQL and reads the result. Values never
// enter the text here: they are command parameters the command writes as literals; names come
// quoted from the connection (tables) or the columns (items).
//
// Ownership: a count on its error object, one reference on its SQL statement, on its command,
// its current record, its search, filter, row cache and table-cache index, an external reference
// on its description, and a reference in the data access on the record save it holds (-1 none).
// It borrows its data access, which owns it. Everything here runs under the driver mutex.
//
// Rules every builder keeps: it appends to the command it is given and answers FALSE on the first
// step that fails, leaving a partial command the caller drops; a raised error names the access's
// logical name and the statement's source file (4).
//
// Saved positions are held here with a reference each (and hold the statement): the data access
// frees them. A statement browsing the access's table cache through a client-side index holds
// the index and, as its row cache, the table cache's full cache; it keeps no server result then.
#pragma once

#include <string>
#include <vector>

#include <cstdint>
#include <memory>
#include <cwchar>

#include "common/ctstring.h"
#include "common/interf.h"
#include "common/refarray.h"
#include "common/str_buffer.h"
#include "common/xystringconcat.h"
#include "driver/nadrivermutex.h"
#include "driver/nahost.h"
#include "platform/wintypes.h"
#include "sql/nacolumnlist.h"
#include "sql/nacommand.h"
#include "sql/nafilter.h"
#include "sql/nainsertform.h"
#include "sql/narowbinding.h"
#include "sql/nastatementsql.h"

class CAny;
class CNAColumn;
class CNAConnectionDescription;
class CNAConvertVariant;
class CNADataAccess;
class CNADataSourceDescription;
class CNAError;
class CNAPosition;
class CNARecherche;
class CNARecord;
class CNARecordCache;
class CNARecordValue;
class CNATableCacheIndex;
class CSQLParserInfo;
class INADataSourceDescription;
class INAItemDescription;
class ISQLParserInformation;
template <typename K, typename V>
class CRefHashTable;

// Why a browse must be rebuilt before its next read.
enum ePARSENEEDUPDATECAUSE : int32_t {
  NA_PARSE_UPTODATE = 0,
  // The result is stale: run the query again.
  NA_PARSE_RERUN = 1,
  // The result stays; the browse is put back on the saved record first.
  NA_PARSE_REPLACE = 2,
};

// Flag bits of NA_WRITEPARSEFLAGS the statement reads.
enum : unsigned int {
  NA_WPF_IDAUTO_KEEP = 0x100,
  NA_WPF_IDAUTO_NEW = 0x200,
  NA_WPF_IDAUTO_FORCE = 0x400,
  NA_WPF_DISTINCT = 0x800,
  NA_WPF_CACHE = 0x4000,
  NA_WPF_REQUESTED_VALUE = 0x10000,
  NA_WPF_DEFAULT_PARSE_ITEM = 0x20000,
  NA_WPF_NO_ORDER_COMPLETION = 0x100000,
};

class CNAStatement : public CInterf {
 public:
  // The ORDER BY lists a statement keeps (nastatement.cpp).
  struct STOrderLists;

  // The record limit of a result that is not limited.
  static constexpr long long NO_LIMIT = -1;
  static constexpr int kSourceFile = 4;

  enum eNA_ST_PREPARE : int32_t { NA_ST_NOPREPARE = 0, NA_ST_PREPARE = 1 };

  // Takes a count on error, the access's description (external reference) and current record,
  // and makes the SQL statement through the driver (none without a driver). Borrows access.
  CNAStatement(CNADataAccess* access, CNAError* error);
  ~CNAStatement() override;
  CNAStatement(const CNAStatement&) = delete;
  CNAStatement& operator=(const CNAStatement&) = delete;

  // ---- Virtual operations, in their slot order ----
  // Close, then the command released and row valid cleared.
  virtual void ResetQuery();
  // Ends the result: record-save table freed, browse state back to before the first read, cache
  // off, held record save dropped, SQL statement reset.
  virtual void Close();
  // Runs the command (TRUE at once for an empty one); after a SELECT on an access without an
  // imported description the access builds one from this result.
  virtual BOOL bExecute(NA_WRITEPARSEFLAGS flags, eNA_ST_PREPARE prepare);
  virtual BOOL bExecuteDirectNewCommand(CNACommand* command, NA_WRITEPARSEFLAGS flags, eNA_ST_PREPARE prepare);
  // The command's formatted text sent as one text. An UPDATE that matched no row while there is
  // a current record fails with user error 13 (type 9); the row it meant is left untouched.
  virtual BOOL bExecuteDirect(NA_WRITEPARSEFLAGS flags, eNA_ST_PREPARE prepare);
  // Execute, fetch the first row, read count values; Close in every case.
  virtual BOOL bExecuteAndFetch(CAny* values, int count, eNA_ST_PREPARE prepare);
  // The first column of the first row of the command's result; FALSE, value untouched, without a
  // row.
  virtual BOOL bGetRequestedValue(CAny* value);
  // One SQL fetch, then the column; FALSE without a row.
  virtual BOOL bGetResultValue(CAny* value, unsigned int column);
  // The current row's column; a failure copies the SQL statement's error into the statement's.
  virtual BOOL bGetSQLColumnValue(CNAConvertVariant* value, unsigned int column);
  virtual BOOL bGetSQLColumnValue(CAny* value, unsigned int column);
  // The browse SELECT ordered on item (none: the statement's order), forward or backward, with
  // condition (may be null or empty) as its WHERE.
  virtual BOOL bBuildQuerySELECT(CNACommand* command, NA_WRITEPARSEFLAGS flags, const wchar_t* item, int forward,
                                 CNACommand* condition);
  // Appends the condition of the active search and filter; TRUE with nothing to add.
  virtual BOOL bGetClauseWHERE(CNACommand* command);

  // ---- The kept SELECT of a seek or of a browse's further block (nastatementseek.cpp) ----
  // After a SELECT built whole into command (this statement's command, rows and offset its row
  // limit): a seek's SELECT on a table, whose condition is the equal tree of a value seek with a
  // text that depends on the value only through its literal and no filter, is kept (a reference)
  // for the next seek; so is a further block's (while continuing), whose condition is the tree
  // the browse goes on by; anything else drops what was kept.
  void KeepSeekSELECT(CNACommand* command, NA_WRITEPARSEFLAGS flags, const wchar_t* item, int forward);
  // The kept SELECT made this statement's command for a seek (a further block) that differs from
  // its own only by the sought value: same search with the same trees (stamp) for a seek, a tree
  // on the same column by the same operator for a block, and the same item, direction, flags,
  // order completion, row limit and offset, table and record columns, no filter. Its parameter
  // takes the new value and its formatted SQL keeps what comes before the literal; the search's
  // parameters are those a write makes. FALSE, nothing used, otherwise; a failure on the way
  // drops what was kept (the search's parameters are then written again by the whole build).
  BOOL bBuildKeptSeekSELECT(NA_WRITEPARSEFLAGS flags, const wchar_t* item, int forward, long long rows,
                            long long offset);
  bool bHasKeptSeekSELECT() const { return m_clKeptSeek.command != nullptr; }
  // DefinesRecordColumns of the kept command and the record, its last answer taken back while
  // neither the record's columns nor the command's defines moved.
  bool _bKeptDefinesRecordColumns();
  CNAExpression* _pclKeptSELECTTree(const CNAColumn* answered = nullptr) const;
  virtual BOOL bBuildQueryCREATE(CNACommand* command);
  virtual BOOL bHAjoute(NA_WRITEPARSEFLAGS) { return FALSE; }
  virtual BOOL bBuildQueryINSERT(CNACommand* command, NA_WRITEPARSEFLAGS flags);
  virtual BOOL bHModifie(NA_WRITEPARSEFLAGS) { return FALSE; }
  // No modified column: an empty command and TRUE.
  virtual BOOL bBuildQueryUPDATE(CNACommand* command, NA_WRITEPARSEFLAGS flags);
  virtual BOOL bHSupprime(NA_WRITEPARSEFLAGS) { return FALSE; }
  virtual BOOL bBuildQueryDELETE(CNACommand* command, NA_WRITEPARSEFLAGS flags);
  // The row last read came from a source without a unique not-null key (nor a server row id):
  // the WHERE of a write may fit its twins too.
  BOOL bLatestReadWithoutUniqueKey() const;
  // A write of type by writer (a sibling or this statement) on the access, original the row as it
  // was read: a started browse is marked for a rebuild unless the write left its rows in place (an
  // update of its current row that keeps the browse key: the new version is kept for that row;
  // a delete of its current row: the row is marked deleted and skipped).
  virtual void OnNotifyOperation(eNAQUERYTYPE type, int row, CNAStatement* writer, NA_WRITEPARSEFLAGS flags,
                                 CNARecordValue* original);
  // Puts the new automatic identifier into the record; nothing with flag bits 0x500.
  virtual BOOL bUpdateRecordAfterInsert(eNAQUERYTYPE type, int flags);
  // The identifier's bytes go back from the original record; nothing with flag bits 0x500.
  virtual BOOL bUpdateRecordAfterUpdate(eNAQUERYTYPE type, int flags);
  // The kind is only kept (no statement locks by itself): in line on every step.
  BOOL bSetLockType(eNA_LOCKTYPE lock) {
    m_eLockType = lock;
    return TRUE;
  }
  virtual BOOL bCanFetchBackward() { return TRUE; }
  // The selection's record count; -1 in count on failure.
  virtual BOOL bGetNbEnr(long long* count, unsigned int flags, int withoutCondition);
  // The count without a query when the browse already knows it; FALSE otherwise.
  virtual BOOL bGetNbEnrCurrentParse(long long* count, unsigned int flags, int ignoreFilter);
  virtual BOOL bGetBLOB(INAItemDescription* item, CAny* value);
  virtual BOOL bExtraitMemo(INAItemDescription* item, const wchar_t* path);
  // Fills position: this statement, the filter in force, and the current row's place with a
  // record save of it (or, off a row, a record save alone). TRUE.
  virtual BOOL bGetPosition(CNAPosition* position, eNAPOSITION mode);
  // Puts the browse back on position's row: by its place while that still names it, else by a
  // search on its record save at the next read; then its user search and, with mode bit 1, its
  // filter. A position without a record save moves nothing.
  virtual BOOL bSetPosition(CNAPosition* position, eNAPOSITION mode);
  virtual void DesactivateRecherche();
  // A new search of the statement's class (not referenced); null without memory.
  virtual CNARecherche* pclAllocRecherche();
  virtual CNAFilter* pclAllocFilter(CNAError* error);
  virtual BOOL bDefaultParseNeedRecordCache() { return FALSE; }
  // One item per column of the last run's result (none for a query without result columns), the
  // description laid out; FALSE without an SQL statement.
  virtual BOOL _bGetQueryStructure(CNADataSourceDescription* desc);
  // The SQL statement (made, else reset) prepares the command's text; FALSE when it cannot.
  virtual BOOL _bPrepare();
  virtual BOOL _bExecutePreparedQuery(NA_WRITEPARSEFLAGS flags);
  // One SQL fetch, then columns 0 .. count-1 into values[0 ..], stopping at the first failure.
  virtual BOOL _vbGetQueryResult(CAny* values, unsigned int count);
  virtual BOOL _bGetNativeDataType(CNAColumn* column, CTString* type);
  virtual BOOL _bGetNativeConstraint(CNAColumn* column, CTString* constraint);
  // text = column's ORDER BY entry; *direction inverted by a descending entry of the query's own
  // ORDER BY on it (a query that may be corrected).
  virtual void _FormatItemORDERBY(CNAColumn* column, CSQLParserInfo* query, int byName, CTString* text,
                                  int* direction);
  virtual BOOL _bAddClauseReturning(eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags);
  // The column's value at the end of values: an identifier the driver numbers, else the record's
  // value (from its bytes where they tell the literal).
  virtual BOOL _bAddColumnValue(CNACommand* values, CNAColumn* column, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags);
  // Moves count live rows in direction inside the open result (0: the current row) and fills the
  // record from the landed row; *outOfRange when the move left the result, *moved the rows passed.
  virtual BOOL _bFetch(eNA_PARSEDIRECTION direction, int update, int* outOfRange, long long count, long long* moved);
  // "SELECT COUNT(*) AS QXACCESNATIF_NBENR" over the selection (its condition unless told not).
  virtual BOOL _bBuildQueryCOUNT(CNACommand* command, unsigned int flags, int withoutCondition);
  // The record from the current SQL row (or from the modified version kept for it). Not virtual:
  // every row of a browse passes here, and no statement reads its rows otherwise.
  BOOL _bUpdateNARecord(eNA_PARSEDIRECTION) {
    if (m_pclRecord == nullptr) return FALSE;
    // Every row a browse reads comes here: the kept rows' road stays out of its way.
    if (m_pnRecordSave != nullptr && m_pclDataAccess != nullptr) return _bUpdateNARecordFromSave();
    return _bUpdateNARecordFromDB();
  }
  BOOL _bUpdateNARecordFromDB();
  virtual BOOL _bSetPositionParametersEx(CNAPosition*) { return TRUE; }
  // The current record from row of the row cache or of the open result; user error 11 when the
  // cached row cannot be read, FALSE when the result cannot be moved there.
  virtual BOOL _bGoToRowId(int row, CNAPosition* position);
  // Row index of the row cache into the record's original and current values.
  virtual void _RestaureRecordFromCache(int index);
  virtual void _SetBestCacheMethod() {}
  // The browse reads through an index of the access's table cache on its browse item, whose full
  // cache becomes its row cache; its own server result is let go. The saved record and rebuild
  // cause are kept. FALSE without a table cache or when the index cannot be built.
  virtual BOOL _bCreateTableCacheIndex();

  // ---- Building ----
  // ResetQuery, the command attached and typed, then the builder of type (7, 8 and above 9:
  // FALSE).
  BOOL bBuildQuery(eNAQUERYTYPE type, CNACommand* command, NA_WRITEPARSEFLAGS flags);
  // bBuildQuery on a statement its caller has just reset (ResetQuery): the reset is not repeated.
  BOOL bBuildResetQuery(eNAQUERYTYPE type, CNACommand* command, NA_WRITEPARSEFLAGS flags);
  BOOL bBuildQueryDELETEALL(CNACommand* command, NA_WRITEPARSEFLAGS flags);
  // out = text with each "<type>(<digits>)" whose size is above maximum replaced by replacement;
  // TRUE when something was replaced, else FALSE with out empty.
  static BOOL bQueryCREATE_AutoCorrectVarcharMax(CXYStringConcat<wchar_t>* out, const wchar_t* text,
                                                 const wchar_t* type, int maximum, const wchar_t* replacement);

  // ---- Running ----
  // desc described from the open result; a command still untyped becomes a SELECT (1) when the
  // result has columns, else another query (8).
  BOOL bGetQueryStructure(CNADataSourceDescription* desc);
  // One host read in direction (the record marked read), then the first count values of the
  // record (at most its columns) into values. *outOfRange: the read left the data.
  BOOL bFetchData(eNA_PARSEDIRECTION direction, int* outOfRange, CAny* values, int count);
  BOOL bPrepare(CNACommand* command, unsigned int flags);
  // User error 2 for a command never built; else Close and the prepared run.
  BOOL bExecutePreparedQuery(NA_WRITEPARSEFLAGS flags, int refresh);
  void ResetStatement() { ResetQuery(); }
  // The host read: count rows in direction (0: the current row), through the row cache when it
  // is on, opening further blocks through the access when a limited result runs out. On a row:
  // the record holds it, the statement's original record is its copy, and with update the
  // access marks it read. Out of the data: the record keeps its former content.
  BOOL bFetch(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved = nullptr);
  // Re-reads the latest row by the key of its latest read (the number is not read).
  BOOL bMove(long long number, int update);

  // ---- Rebuild cause ----
  // Cause 2 never replaces a pending 1; the record save held changes (references moved in the
  // access); cause 1 resets the SQL statement at once. TRUE.
  BOOL bSetParseNeedUpdate(ePARSENEEDUPDATECAUSE cause, int recordSaveId);
  // A non-zero cause first keeps the original record in the access; nothing to keep: TRUE, no
  // change.
  BOOL bSetParseNeedUpdate(ePARSENEEDUPDATECAUSE cause);
  ePARSENEEDUPDATECAUSE eParseNeedUpdate() const { return m_eParseNeedUpdate; }
  // FALSE for a query sent as written, and for a query browsed on its default order without an
  // ORDER BY of its own.
  BOOL bCanUpdateParse() const;
  int nGetRecordSaveID() const { return m_nRecordSaveId; }
  // The statement's own copy of the last row it fetched; null before the first. A row read may
  // leave it a twin of the record's original value (CNARecord::TakeOriginalTwin): this gives it
  // its copy first, as every reader of it inside the statement does.
  CNARecordValue* pclGetStmtOriginalRecord() const;
  // Where the browse stands before a move that may pass rows it does not land on: its own copy of
  // its row, its rank, the record's rank and its rebuild point (held, so that no save made on the
  // way takes its number). GiveBack, once the move landed on no row, puts them back; the row the
  // move passed last stays as the edge anchor when a move back needs it. Owns its copy and its
  // hold on the point.
  class CStandingKept {
   public:
    explicit CStandingKept(CNAStatement* stmt);
    ~CStandingKept();
    CStandingKept(const CStandingKept&) = delete;
    CStandingKept& operator=(const CStandingKept&) = delete;
    void GiveBack();

   private:
    CNAStatement* m_pclStmt;
    CNARecordValue* m_pclOwn = nullptr;
    // False when the copy could not be made: the statement keeps what the move left.
    bool m_bOwnKept = true;
    int m_nRank = 0;
    int m_nRecordRank = 0;
    int m_nPoint = -1;
  };
  // After the record took buffers of new item types: the statement's copy of its last row is a
  // buffer of the new layout (the record's current value), and its rebuild point is dropped
  // with the access's record saves. FALSE when the copy cannot be made.
  BOOL bUpdateChangedTypeInCurrentRecord();
  // Row row shows the modified version kept under id (the former one released).
  BOOL bKeepModifiedRecordSave(long long row, int id);

  // ---- Saved positions ----
  BOOL bSetPositionInitParcours(CNAPosition* position, eNAPOSITION mode) { return bSetPosition(position, mode); }
  // Keeps position under id with a reference. TRUE; FALSE without memory.
  BOOL bAddSavedPosition(int id, CNAPosition* position);
  // With a reference for the caller; null when absent.
  CNAPosition* pclGetSavedPosition(int id) const;
  // Drops the reference kept under id; FALSE when absent.
  BOOL bRemoveSavedPosition(int id);
  // The browse is marked to be put back on position's record save at the next read; the record
  // holds that row meanwhile.
  BOOL _bSetPositionBySearch(CNAPosition* position);
  // Every saved position's place is forgotten: the result or cache it indexed is gone.
  void _InvalidatePositionRowIds() {
    if (m_pTabSavedPosition != nullptr) _InvalidateSavedRowIds();
  }
  void _InvalidateSavedRowIds();

  // ---- Sibling writes ----
  void OnNotifyInsertOperation(CNAStatement* writer, NA_WRITEPARSEFLAGS flags);
  void OnNotifyUpdateOperation(CNAStatement* writer, NA_WRITEPARSEFLAGS flags);
  // The write of the current record left the browse item's value as read (a composite key
  // counts as changed).
  bool _bBrowseKeyKept();
  // A browse to be put back on a row (a return found it by search) that a write moved to another
  // key goes on from the row's place before the write, as from a row it read: its save, which
  // followed the row, gives way to a copy of original.
  void _KeepPlaceOfRowToPutBack(const CNARecordValue* original);
  // The deleted row (writer's original) is marked deleted in the row cache, or, without one,
  // when it is this browse's current row; the positions saved on it come back by search. FALSE
  // when it is not the current row.
  BOOL OnNotifyDeleteOperation(CNAStatement* writer, NA_WRITEPARSEFLAGS flags);
  // The saved positions on row (the current row's place) are marked deleted.
  void _UpdateSavedPositionAfterDelete(long long row);
  // The row writer deleted: its record's original value (this statement's without a writer).
  CNARecordValue* _pclDeletedValue(CNAStatement* writer) const;

  // ---- Table cache ----
  // The browse moves onto the access's table cache (taken whole first): closed, then read
  // through an index on its browse item. With an index already, only the rebuild cause goes.
  BOOL bOpenUsingTableCache();
  // The index and the row cache it lent go; every saved place is forgotten. A started browse on
  // a row is marked to be put back on it (cause 2); off a row its record is lost. TRUE unless
  // the mark fails.
  BOOL DestroyCacheIndex();
  // The row cache becomes cache (references moved).
  void _SetRecordCache(CNARecordCache* cache);
  // Lets the table cache index go (none held: nothing); the row cache is left as it is.
  void _ReleaseTableCacheIndex();
  CNATableCacheIndex* pclGetTableCacheIndexNoRef() const { return m_pclTableCacheIndex; }

  // ---- Host positioning ----
  // Moves to the record at position thousandths of the browse (0: the first), counted by the
  // access; the precision is not read.
  BOOL bHPositionne(unsigned int position, eNA_PRECISION precision, NA_WRITEPARSEFLAGS flags);
  // *position = the current record's rank in thousandths, rounded up (1 on an empty browse).
  BOOL bHPositionCourante(int* position, eNA_PRECISION precision);

  // ---- Browse state, searches and filters ----
  // The statement's filter becomes item between min and max (each bound null for none), ANDed
  // with condition; switched on or off as before. FALSE when the description has no such item.
  BOOL bSetFilter(const wchar_t* item, const CAny* min, int minIncluded, const CAny* max, int maxIncluded,
                  ISQLParserInformation* condition);
  // The filter switched on (borrowed; null without one).
  CNAFilter* pclActivateFilter();
  void DesactivateFilter();
  // A search of value on item from dir (exact 0: starts-with) that the host's found state
  // follows; the rebuild cause is cleared. FALSE when the description has no such item.
  BOOL bSetUserSearch(const wchar_t* item, const CAny* value, eNA_PARSEDIRECTION dir, int exact);
  // Marks the browse started and notes the filter in force as the browse's. Every read ends
  // here: the same filter (nearly always none) is kept in line.
  void SetParseStarted() {
    m_bParseStarted = 1;
    CNAFilter* const now = bExistFilter() ? m_pclFilter : nullptr;
    if (now != m_clFilterSave.pclGetFilterNoRef()) m_clFilterSave.SetFilter(now);
  }
  // The current record cannot be found again: lost, out of range, not found, user error 13.
  void CurrentRecordNotFound(const wchar_t* item, int file, int site);
  // TRUE; *out = the last fetch left the data.
  BOOL HEndehors(int* out) const {
    if (out != nullptr) *out = m_bOutOfRange;
    return TRUE;
  }
  // *found: the browse stands on a row its search (or the host's search) sought; *second the same.
  void EvalHTrouve(int* found, int* second) const;
  int bGetStay() const { return m_bCurrentRecordLost; }
  void ClearStay() { m_bCurrentRecordLost = 0; }
  int bGetOpened() const {
    if (m_pclTableCacheIndex != nullptr) return m_bParseStarted;
    return m_pclStatementSQL != nullptr && m_pclStatementSQL->bIsResultOpen() ? m_bParseStarted : 0;
  }
  // The last read was a plain step (m_bPlainStep: no index, row marks, filter, search, internal
  // or host's search) and the browse still stands on a row of its open result with no rebuild
  // asked: the step road's checks all hold, and AnnuleRechercheUser has nothing to cancel. All
  // but the result's end (the SQL statement's, which may close it for another) is kept in
  // m_bPlainReady.
  bool bPlainStepReady() const { return m_bPlainReady && m_pclStatementSQL->bIsResultOpen(); }
  // bFetch(direction, update, 1) once bPlainStepReady held, direction next or previous but not
  // against the statement's order (bInvertFetch) and the step road on (sql/nastatementstep.h, in
  // line in the access's step road): a step one row on in the result's order on a browse whose
  // key no two rows share, or in the active row cache; -1, nothing done, for any other step,
  // which bFetch takes. moved as bFetch's, never null.
  int nPlainStep(eNA_PARSEDIRECTION direction, int update, long long* moved);
  // Armed: the host's last read was a whole plain step of this statement (every check of the
  // step road held), or an armed step that landed as armed, and only the read loop's quiet roads
  // ran since (CNADriverMutex::s_nEntries). ArmAfterPlainStep arms it at the end of such a read.
  // nArmedStep: nPlainStep once armed, where only what a row may change is asked; kOnRow when it
  // landed as armed, -1, nothing done, when the next row is not among the result's, else the
  // step's answer (after which the arm must go).
  static constexpr int kOnRow = 2;
  bool bArmed() const;
  void ArmAfterPlainStep();
  int nArmedStep(eNA_PARSEDIRECTION direction, long long* moved);
  // nPlainStep stepped the whole plain road (which ArmAfterPlainStep asks).
  bool bSteppedPlain() const { return m_bSteppedPlain != 0; }
  // The one way an armed statement steps (next, previous where its fetch runs inverted).
  eNA_PARSEDIRECTION eArmedWay() const { return m_eArmedWay; }
  void ClearSteppedPlain() { m_bSteppedPlain = 0; }
  // The search, made on first use, with a reference for the caller; null without memory.
  CNARecherche* pclGetRecherche();
  BOOL bExistRechercheObject() const { return m_pclRecherche != nullptr ? TRUE : FALSE; }
  // The search becomes the statement's own (internal): a user search no longer decides found.
  void PrepareInternalSearch();
  void AnnuleRecherche();
  // Cancels the user search and, unless internal, the search. Every read asks: with nothing to
  // cancel it is answered here.
  void AnnuleRechercheUser() {
    if (bNoUserSearch() && (m_bInternalSearch || m_pclRecherche == nullptr)) return;
    _AnnuleRechercheUser();
  }
  // No host's search: nothing to cancel.
  bool bNoUserSearch() const {
    return m_clUserSearch.piGetItemNoRef() == nullptr && m_clUserSearch.dwGetFlags() == 0 &&
           m_clUserSearch.pclGetValue()->wGetTypeWord() == ZV_VIDE;
  }
  void _AnnuleRechercheUser();
  void DesactivateRechercheUserAndInternal();
  // The host's search and the search are cancelled and the search dropped: the browse no longer
  // runs in the rows it selected.
  void DropSearch();
  BOOL bSetContinueParcours(eNA_PARSEDIRECTION direction);
  BOOL bExistFilter() const { return m_pclFilter != nullptr && m_pclFilter->bIsFilterActive() ? TRUE : FALSE; }
  // Whether the filter in force is the one noted when the browse started.
  // Asked on every row read: no filter now and none saved is answered in line.
  BOOL bFilterUnchanged() const {
    const bool exists = bExistFilter();
    if (!exists && !m_clFilterSave.bWasActive()) return TRUE;
    return m_clFilterSave.bFilterEquals(exists ? m_pclFilter : nullptr);
  }
  // The current row's rank among the rows equal to it, in the browse's order: k >= 0 rows of
  // its run before it, or -(k + 1) with k rows of its run after it (read from the other end).
  int nGetEqualRows() const { return m_nEqualRows; }
  void SetEqualRows(int rank);
  int bGetContinuing() const { return m_bContinuing; }
  // The access's result serial of the run every row the browse now holds was read from (none
  // kept from a run before it), or 0 when rows may come from elsewhere (a table cache).
  unsigned int nGetFreshRowsSerial() const { return m_pclTableCacheIndex == nullptr ? m_nRunSerial : 0; }
  void SetReverse(int reverse) { m_bReverse = reverse; }

  // ---- Row cache ----
  // On: makes the row cache on first use (500 rows or 2 MiB a block) and marks it active. Off:
  // a cache another holder shares is released and dropped; one held only here is emptied and
  // marked inactive, so that rows come straight from the server's result.
  void EnableCache(int enable);
  BOOL bCacheEnabled() const;
  // The row cache is active and holds the whole result.
  BOOL bCacheCompleted() const;
  // The row cache once it holds the whole result (the rest of the result read first); null when
  // it cannot be had.
  CNARecordCache* pclGetFullRecordCache();
  CNARecordCache* pclGetRecordCacheNoRef() const { return m_pclRecordCache; }

  // ---- State ----
  // Built in reverse order and not browsing a table-cache index.
  BOOL bInvertFetch() const { return m_bReverse && m_pclTableCacheIndex == nullptr ? TRUE : FALSE; }
  // The command's type (1 on a table-cache index or without a command).
  eNAQUERYTYPE eGetQueryType() const;
  int nGetBindDefineFlag() const;
  const wchar_t* pszGetTableName() const;
  CNAConnectionDescription* pclGetConnectionNoRef() const;
  // External references moved from the old description to the new one.
  void SetDataSource(INADataSourceDescription* desc);
  INADataSourceDescription* piGetDataSourceNoRef() const { return m_piDescription; }
  // Replaces the record read into (references moved).
  void SetCurrentRecord(CNARecord* record);
  CNARecord* pclGetCurrentRecordNoRef() const { return m_pclRecord; }
  CNACommand* pclGetQueryNoRef() const { return m_pclCommand; }
  CNAStatementSQL* pclGetStatementSQLNoRef() const { return m_pclStatementSQL; }
  unsigned int nGetRowMaxLen() const;
  long long nGetCurrentRecord() const { return m_llCurrentRecord; }
  eNA_LOCKTYPE eGetLockType() const { return m_eLockType; }
  int bGetOutOfRange() const { return m_bOutOfRange; }
  int bGetFound() const { return m_bFound; }
  int bGetParseStarted() const { return m_bParseStarted; }
  int bGetFirstBlock() const { return m_bFirstBlock; }
  // The open result holds the rows a host's seek selected, not the browse's.
  int bGetSoughtRows() const { return m_bSoughtRows; }
  // Out of the rows, and only out of those its search selected: a further block reads the whole
  // browse past its record, so that running out of one is running out of the browse, while a row
  // cache holds nothing before the first row of the search's own result.
  BOOL bOutOfSearchRows() const;
  int nGetBlockLimit() const { return m_nBlockLimit; }
  // Out of the rows: 1 past the last of the browse in the host's order, -1 before its first; 0
  // on a row.
  int nGetOutSide() const { return bInvertFetch() ? -m_nOutSide : m_nOutSide; }
  // The record limit of the browse SELECT (NO_LIMIT: none) and the rows it skips, written by the
  // access's SELECT builder.
  long long llGetRecordLimit() const { return m_llRecordLimit; }
  long long llGetRemainingSkip() const { return m_llRemainingSkip; }
  void SetRecordLimit(long long limit, long long skip) {
    m_llRecordLimit = limit;
    m_llRemainingSkip = skip;
    if (skip > 0) m_bPlainReady = 0;
  }
  NA_WRITEPARSEFLAGS dwGetParseFlags() const { return m_dwParseFlags; }
  void SetParseFlags(NA_WRITEPARSEFLAGS flags) { m_dwParseFlags = flags; }
  // Bit 0: complete the ORDER BY read forward; bit 1: read backward.
  void SetOrderCompletion(unsigned int bits) { m_dwOrderCompletion = bits & 3; }

  // The item (key) the browse runs on; empty for none.
  const wchar_t* pszGetParseItem() const { return m_csParseItem.pszGet(); }
  void SetParseItem(const wchar_t* item) { m_csParseItem = item; }
  const wchar_t* pszGetBrowseItem() const { return m_csBrowseItem.pszGet(); }
  // Every browse read names its item again, nearly always the one already kept.
  void SetBrowseItem(const wchar_t* item) {
    if (STR_bSameW(m_csBrowseItem.pszGet(), item != nullptr ? item : L"")) return;
    m_csBrowseItem = item;
    m_dwFoundStamp = 0;
    m_clSoughtItem.browse = false;
    _ForgetUniqueBrowse();
    _EndPlainStep();
    // The rows' server texts are noted for the columns that name them, this one among them.
    m_clRowBinding.Forget();
  }
  // Whether name is the browse item's text.
  bool bBrowseItemIs(const wchar_t* name) const { return STR_bSameW(name, m_csBrowseItem.pszGet()); }
  // The access found this statement for the very text of its browse item while its statement
  // table had stamp (never 0); forgotten when the browse item changes.
  void NoteFoundAt(uint32_t stamp) { m_dwFoundStamp = stamp; }
  bool bFoundAt(uint32_t stamp) const { return m_dwFoundStamp == stamp; }
  // The record's column of the browse item; null for none.
  CNAColumn* pclGetBrowsedColumnNoRef() const;
  // A rebuild on a row that nothing but its texts names (a key with a character the connection's
  // page lost): the whole browse is read again and the row found by every text it came with (past
  // rank rows of the same texts), then the move is made from it (a current read lands on it). A
  // row no longer there is the lost current record (user error 13).
  BOOL bGoToKeptRowWhole(const CNARecordValue* kept, int rank, eNA_PARSEDIRECTION direction, long long count,
                         int update);
  // The search's key, or the unique key ordering its equal rows, holds an ENUM or SET, which the
  // server orders by member number and compares with a literal by its text.
  bool bSearchOrdersByMember() const;
  // bGoToKeptRowWhole for the row the SQL statement stands on, read by its texts.
  BOOL bGoToCurrentRowWhole(eNA_PARSEDIRECTION direction, long long count, int update);
  // Whoever may change the host's search ends the plain step.
  CNAUserSearch* pclGetUserSearch() {
    _EndPlainStep();
    return &m_clUserSearch;
  }
  const CNAUserSearch* pclGetUserSearch() const { return &m_clUserSearch; }
  // The filter in force on the browse (held with a reference); null for none.
  CNAFilter* pclGetFilterNoRef() const { return m_pclFilter; }
  void _SetFilter(CNAFilter* filter);
  // The search (held with a reference); null for none.
  CNARecherche* pclGetRechercheNoRef() const { return m_pclRecherche; }
  void _SetRecherche(CNARecherche* search);
  CNADataAccess* pclGetDataAccessNoRef() const { return m_pclDataAccess; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }

 protected:
  // The command becomes the statement's (a reference taken; the previous one released, its text
  // left to its other holders).
  void _SetQuery(CNACommand* command);
  BOOL _bAddDistinct(NA_WRITEPARSEFLAGS flags);
  // The key-bytes entries of the SELECT list (g_bReadsKeyBytes), after the record's columns.
  void _AddKeyBytesColumns(CNACommand* command);
  BOOL _bBuildQuerySELECTFromTable(CNACommand* command, const wchar_t* table, NA_WRITEPARSEFLAGS flags,
                                   const wchar_t* item, int forward, CNACommand* condition, int withOrderBy);
  BOOL _bBuildQuerySELECTFromQuery(CNACommand* command, CSQLParserInfo* query, NA_WRITEPARSEFLAGS flags,
                                   const wchar_t* item, int forward, CNACommand* condition, int withOrderBy,
                                   int asSubQuery);
  // ")" and, on dialects that need a name for a derived table, " QX_SUBQUERY".
  BOOL _bCloseSubQuery(CNACommand* command);
  BOOL _bFormatOrderBy(CNACommand* command, const wchar_t* table, CSQLParserInfo* query, NA_WRITEPARSEFLAGS flags,
                       const wchar_t* item, int forward);
  BOOL _FormatORDERBYList(CNACommand* command, CNAColumn* column, int forward, CSQLParserInfo* query,
                          NA_WRITEPARSEFLAGS flags);
  BOOL _bBuildQueryStart(CNACommand* command, eNAQUERYTYPE type);
  BOOL _bBuildQueryInsertUpdate(CNACommand* command, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags);
  // The columns a write sends, in record order, up to the first composite key; every column
  // visited has its defined bit set from its value. An INSERT that chose none takes the first
  // updatable column that is no automatic identifier.
  void _ChooseWriteColumns(std::vector<CNAColumn*>* chosen, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags);
  // The chosen columns' values into command (as their literals where CNACommand::bAddValueLiteral
  // writes them, else as parameters), ", " between them (an UPDATE's as name = value); FALSE at
  // the first that cannot be added.
  BOOL _bWriteColumnValues(CNACommand* command, const std::vector<CNAColumn*>& chosen, eNAQUERYTYPE type,
                           NA_WRITEPARSEFLAGS flags);
  // An INSERT on the table whose values all have their literal from _bAddColumnValue's literal
  // road, written by the statement straight into the command's formatted SQL (its head kept in
  // m_clInsertForm): TRUE built, FALSE failed as the command's build would (command reset), -1
  // (command reset, nothing else changed) where a value goes as a parameter, an identifier is
  // numbered here or the connection adds a RETURNING: the command's build is to be taken.
  int _nBuildInsertFormated(CNACommand* command, const std::vector<CNAColumn*>& chosen, NA_WRITEPARSEFLAGS flags);
  // withMemos: a row read without a unique not-null key is named by its memos too (a write's).
  BOOL _bAddWHERELatestRead(CNACommand* command, int withKeyword, const CNARefArray<CNAColumn>* columns,
                            int withMemos = 0);
  // memos: the memo values to name the row by as well; none without.
  BOOL _bAddWHERECurrentRecord(CNACommand* command, int withKeyword, const CNARefArray<CNAColumn>* columns,
                               const CNARecordValue* memos = nullptr);
  BOOL _bBuildSubQueryCREATEColumn(CNACommand* command, CNAColumn* column);
  // The record save held changes to id (references moved in the access).
  void _SetRecordSaveId(int id) {
    if (id != m_nRecordSaveId) _ChangeRecordSaveId(id);
  }
  void _ChangeRecordSaveId(int id);
  // The rest of the result read into the row cache (through further blocks); the record and the
  // position are left as they were.
  BOOL _bCompleteCache();
  BOOL _bFetchCacheDisabled(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved,
                            int* outOfRange);
  // The record's values, and where the browse stands (CStandingKept), kept over a move that may
  // read rows it does not land on.
  class CCurrentBeforeMove;
  // kept (the statement's copy before a move, owned, null for none) and its rank become the
  // statement's again, and a rebuild point made on the way gives way to pointBefore (held by the
  // caller; -1: a save of kept); the row passed last becomes the edge anchor when needed.
  void _GiveBackOwnOriginal(CNARecordValue* kept, int rank, int pointBefore);
  // A block after the first that holds no row (the open result's statement is there).
  bool _bOnEmptyFurtherBlock() const { return !m_bFirstBlock && m_pclStatementSQL->llGetRowCount() == 0; }
  // The edge anchor becomes the statement's copy (the move back reads the block on it).
  void _TakeEdgeAnchor();
  void _DropEdgeAnchor();
  // _bFetchCacheDisabled's move, before keeping the current value before the first edge row or
  // further block it reads.
  BOOL _bFetchBlocks(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved, int* outOfRange,
                     CCurrentBeforeMove* before);
  // A one-row next or previous (server order) that lands inside the rows held, no row marked,
  // coming from inside them: what _bFetchCacheDisabled and _bFetch reduce to (a statement
  // overriding the virtual _bFetch must leave such a move to _bReadRowAt). -1: not such a move,
  // nothing done. Off with CNADataAccess::s_bStepRoad.
  int _nStepInRows(eNA_PARSEDIRECTION direction, long long* moved, int* outOfRange);
  // bFetch's state of a move starting in direction (server order): no row valid, none from the
  // row cache.
  void _StartFetch(eNA_PARSEDIRECTION direction);
  // bFetch's end after the move (ok, out of the rows, the rows moved): the found and out-of-range
  // state, and on a row its original record (a twin where it may be) and, with update, the row
  // marked read through the access. Gives the fetch's result.
  // kPlain: a plain step's landing (m_bPlainStep held), whose search and filter state is known.
  template <bool kPlain = false>
  [[gnu::always_inline]] inline BOOL _bFetchLanded(BOOL ok, int outOfRange, int update, long long moved);
  // _bFetchLanded<true> of a row read by a one-row step in host (the caller's order), when the
  // original stays the record's twin through a plain copy; false, nothing changed, otherwise.
  bool _bPlainTwinLanded(eNA_PARSEDIRECTION host);
  // Its test, and its landing once the rank is known.
  bool _bPlainTwinHolds() const;
  bool _bPlainStepTwinHolds() const;
  void _PlainTwinLand(int rank);
  // nPlainStep's rarer ends: _bFetchLanded<true>(ok, outOfRange, 1, 1), and the SQL fetch's failure
  // (its error copied) ending so.
  BOOL _bPlainStepEnd(BOOL ok, int outOfRange);
  int _nPlainFetch(CNAStatementSQL* sql, long long target, long long* moved);
  void _PlainStepLand(eNA_PARSEDIRECTION direction);
  BOOL _bPlainStepFetchFailed();
  // The plain step of a browse with an active row cache, one row in way (server order).
  BOOL _bPlainCacheStep(eNA_PARSEDIRECTION way, long long* moved);
  // Its step onto the row after the last of a whole result's rows left pending, the browse on
  // that last one: _bFetchCacheEnabled's road for it, without asking again what the browse and
  // the pending rows tell. -1, nothing done, when the step is not that one.
  int _nPendingStep(long long* moved, int* outOfRange);
  // The end of _bFetchCacheEnabled's one step forward from start, the last row the cache held,
  // once the next row was asked for (outOfRange: none came): -1 when the general move is left.
  int _nFreshStepLanded(long long start, int outOfRange, int update, long long* moved, int* out);
  // bFetch's road other than the plain step.
  BOOL _bFetchRoad(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved);
  // What a plain step takes for granted, asked of a row that landed on the twin road (a row cache
  // keeps its own state: its step takes the cache road).
  bool _bPlainStepHolds() const {
    return m_pclTableCacheIndex == nullptr && m_pnRecordSave == nullptr &&
           m_pclRecherche == nullptr && !m_bInternalSearch && m_pclFilter == nullptr &&
           m_clFilterSave.pclGetFilterNoRef() == nullptr && m_pclStatementSQL != nullptr && m_pclRecord != nullptr &&
           bNoUserSearch();
  }
  void _EndPlainStep() {
    m_bPlainStep = 0;
    m_bPlainReady = 0;
  }
  // m_nOutSide = side: 1 past the end, -1 before the start, 0 on a row.
  void _SetOutSide(int side) {
    m_nOutSide = side;
    if (side != 0) m_bPlainReady = 0;
  }
  // _bFetch from the row it lands on: the SQL statement moved to target and the record filled
  // from it; *outOfRange left set when the SQL statement has no row there.
  // kStep: target is the row next to the current one, either way.
  template <bool kStep = false>
  BOOL _bReadRowAt(long long target, eNA_PARSEDIRECTION direction, int* outOfRange);
  BOOL _bFetchCacheEnabled(eNA_PARSEDIRECTION direction, int update, long long count, long long* moved,
                           int* outOfRange);
  // _bFetchCacheEnabled's move from start once no row is pending.
  BOOL _bMoveInCache(eNA_PARSEDIRECTION direction, int update, long long count, long long start, long long* moved,
                     int* outOfRange);
  // count entries of the table-cache index in direction (0 or the current direction: the entry it
  // stands on) into the record; *outOfRange when the index has none there.
  BOOL _bFetchCacheIndex(eNA_PARSEDIRECTION direction, long long count, long long* moved, int* outOfRange);
  // A browse marked for a rebuild is put back in the index on its saved record: on it when it is
  // still there, else between its neighbours, so that next and previous (direction and count
  // adjusted) read the rows that follow and precede its place. The cause is cleared.
  BOOL bUpdateParsePositionInCacheIndex(eNA_PARSEDIRECTION* direction, long long* count);
  // One more server row appended to the row cache (opening the next block when the block ran
  // out); *outOfRange when the selection has no more.
  BOOL _bFetchAndCache(int* outOfRange, bool pending = false);
  // Its body once the cache is known active and not complete.
  BOOL _bFetchIntoCache(CNARecordCache* cache, int* outOfRange, bool pending);
  // Its first step, all it needs but at a block's end: the block's next row read and appended.
  // 1 when it came, 0 when the block has none left, -1 on an error. With pending, a plain row of
  // a result held whole is left pending instead (m_nPendingRows).
  int _nFetchRowIntoCache(CNARecordCache* cache, bool pending = false);
  // The row cache's rows, the pending ones included.
  long long _nCacheRows() const;
  // The pending rows read again from the result into the row cache, in order; the record and the
  // result's position are left as they were. A row that cannot be read again is kept empty.
  void _KeepPendingRows() {
    if (m_nPendingRows != 0) _KeepPendingRowsNow();
  }
  void _KeepPendingRowsNow();
  // Before the row cache is let go or emptied: its pending rows are kept when another holder
  // shares it, else forgotten.
  void _LeavePendingRows();
  // Its rest, when the block ran out: the next block opened and its first row taken, or the
  // cache marked complete.
  BOOL _bFetchAndCacheFromNextBlock(CNARecordCache* cache, int* outOfRange);
  // What _RestaureRecordFromCache(index) does, for the row just appended from the current value
  // that still holds it: its bytes are not read back (nastatementrowcache.cpp).
  void _RestaureFetchedRow(int index);
  // Row index of the row cache (fresh: the row just appended, which the current value still
  // holds) into the current value alone, for a read that takes the twin road (bFetch): the
  // access's copy into the record's original then gives the original its row, as the restore
  // would have. FALSE, nothing of the original touched, when the read does not qualify: no
  // memo on either side, an identifier over the record's own bytes, the original's state word
  // none (the restore would give the current value that word) and _bTwinRead; the current value
  // may then hold the row already, which the restore writes again (nastatementfetch.cpp, beside
  // _bTwinRead).
  BOOL _bRowIntoCurrentForTwin(int index, bool fresh);
  // Whether the row just appended from the current value, which holds it, qualifies for that.
  bool _bFreshRowTakesTwin() const;
  // The browse stands on row index of the row cache, held by the current value alone.
  void _TwinRowLanded(int index);
  // The browse stands on row of the row cache, read by a move of count rows (fresh: the row just
  // appended): into the current value alone for the twin road when the read qualifies, else
  // restored. FALSE when the row could not be read.
  BOOL _bLandInCache(int row, bool fresh, int update, long long count);
  // Whether a limited result may go on past its end in direction (server order).
  BOOL _bNextBlockCanExist(eNA_PARSEDIRECTION direction) const;
  // The next block in direction (server order) opened through the access after the original
  // record (atRecord: on it); *skip rows still to move, lowered by what the server skipped.
  BOOL _bFetchNextBloc(eNA_PARSEDIRECTION direction, int atRecord, long long* skip);
  // Whether the row the SQL statement stands on holds, in a column of the browse's key, a value
  // the record cannot hold as the server sent it (a NUL ends a fixed text; on a code page
  // connection the server sends '?' for a character the page has not): a block continued after
  // the record would start from the wrong row.
  bool _bRowKeyInexact() const;
  // _bUpdateNARecord for a result some of whose rows were kept modified: the kept row, or the
  // server's.
  BOOL _bUpdateNARecordFromSave();
  // The row the SQL statement stands on, kept as the server sent it.
  void _KeepEdgeRow();
  // The texts value was read with, kept as _KeepEdgeRow keeps them; false when value has none.
  bool _bKeepEdgeRowOf(const CNARecordValue* value);
  // The browse's SELECT again, in this command's order and without a row limit, standing on the
  // row _KeepEdgeRow kept (past equalBefore rows of the same texts); *whole false (the result as
  // it was) when no row of it is that one.
  BOOL _bGoOnWhole(bool* whole, int equalBefore = 0);
  // bGoToKeptRowWhole's rest, the row's texts kept (m_tabEdgeRow).
  BOOL _bGoToEdgeRowWhole(int rank, eNA_PARSEDIRECTION direction, long long count, int update);
  // Copies the record into the statement's original record and keeps the equal-row count.
  BOOL bSetStmtOriginalRecord(eNA_PARSEDIRECTION direction);
  // A new original (one reference, the caller's) holding current as its clone would: the last
  // result's original set aside by bExecute when it stands as such a clone once written (the
  // statement's alone, of current's error and record layout; its memo and identifier let go
  // first), else a clone. Null when neither can be had.
  CNARecordValue* _pclNewStmtOriginalRecord(const CNARecordValue* current);
  // A row read by one step that the access then copies into the record's original value: the
  // statement's original becomes that value's twin instead of a copy of its own (whether the
  // read qualifies: _bTwinRead). The same ranks and contents as bSetStmtOriginalRecord followed
  // by the access's bSetCurrentRecordRead(0), whose result it gives.
  BOOL _bTwinRead() const;
  BOOL _bSetStmtOriginalRecordAsTwin(eNA_PARSEDIRECTION direction);
  // The same for a result's first row, the statement without an original: the value bExecute set
  // aside becomes the twin where _pclNewStmtOriginalRecord would take it with its identifier
  // (whether it qualifies: _bSpareTwinRead).
  BOOL _bSpareTwinRead() const;
  BOOL _bSetSpareOriginalRecordAsTwin(eNA_PARSEDIRECTION direction);
  // The rank among equal rows of current read in direction (host order) after the row before.
  int _nRankAfter(eNA_PARSEDIRECTION host, const CNARecordValue* before, const CNARecordValue* current) const;
  // Whether the browse item is a key no two rows of the table share (unique, never NULL): then
  // no row read is one of a run of equal rows. Worked out again when the browse item, the
  // record or its columns change.
  bool _bBrowseKeyUnique() const;
  bool _bBrowseKeyUniqueAgain() const;
  // The same for the plain step, whose record is never null: one compare of the record and one
  // of its column stamp while the verdict kept is unique.
  bool _bPlainKeyUnique() const;
  void _ForgetUniqueBrowse() const { m_clUniqueBrowse = {}; }
  // The rows equal to the original record just before it in the open block or row cache (server
  // order); the record and the result are left on the original row.
  BOOL _bCountEqualRowsBefore(int* count);
  // One SQL fetch: TRUE with a row current; a failed fetch copies the SQL statement's error.
  BOOL _bFetchSQLRow();
  // The SQL statement made (the no-memory error when it cannot be), or reset with the record-save
  // table freed, ready for a new text.
  BOOL _bNewStatementSQL();
  // The logical name for error texts.
  const wchar_t* _pszLogicalName() const;
  CSQLParserInfo* _pclGetSourceQueryNoRef() const;

  // ---- Members of the statement ----
  CNAError* m_pclError = nullptr;
  CNAStatementSQL* m_pclStatementSQL = nullptr;
  unsigned int m_dwOrderCompletion = 3;
  // The lists of the ORDER BY every SELECT makes, kept with their blocks between SELECTs (made on
  // first use); empty, no column referenced, outside _FormatORDERBYList.
  std::unique_ptr<STOrderLists> m_pOrderLists;
  CNADataAccess* m_pclDataAccess;
  INADataSourceDescription* m_piDescription = nullptr;
  CTString m_csParseItem;
  CTString m_csBrowseItem;
  uint32_t m_dwFoundStamp = 0;
  CNACommand* m_pclCommand = nullptr;
  CNAInsertForm m_clInsertForm;
  // The room of a write's column choice, kept from one write to the next.
  std::vector<CNAColumn*> m_tabWriteColumns;
  // Set by the ORDER BY of the last SELECT built: its rows arrive in reverse order.
  int m_bReverse = 0;
  // The last seek's SELECT and what it was built for (KeepSeekSELECT); the command referenced,
  // the search only compared.
  struct STKeptSeek {
    ~STKeptSeek() { Drop(); }
    void Drop();
    CNACommand* command = nullptr;
    // Built for a further block of a browse rather than a seek.
    bool block = false;
    const CNARecherche* search = nullptr;
    uint64_t stamp = 0;
    const CNAColumn* column = nullptr;
    eNAOperator op = NA_OP_EQ;
    CTString item;
    bool itemNull = false;
    int forward = 0;
    NA_WRITEPARSEFLAGS flags = 0;
    unsigned int orderCompletion = 0;
    long long rows = -1;
    long long offset = -1;
    int reverse = 0;
    // The tree's eWhereConversion in the command, for the column and operator above.
    eNA_ITEMTYPE conversion = NA_IT_EMPTY;
    unsigned int conditionAt = 0;
    unsigned int selectAt = 0;
    // The last walk that found the command's defines to be the record's (DefinesRecordColumns)
    // with every value holder there: the record, its columns' stamp, the defines' stamp and mode.
    const CNARecord* definesRecord = nullptr;
    unsigned int recordColumns = 0;
    unsigned int definesStamp = 0;
    int defineMode = 0;
  } m_clKeptSeek;
  CNARecord* m_pclRecord = nullptr;
  eNA_LOCKTYPE m_eLockType = static_cast<eNA_LOCKTYPE>(0);
  NA_WRITEPARSEFLAGS m_dwParseFlags = 0;
  int m_bOutOfRange = 1;
  int m_bFound = 0;
  long long m_llCurrentRecord = -1;
  int m_nRecordSaveId = -1;
  ePARSENEEDUPDATECAUSE m_eParseNeedUpdate = NA_PARSE_UPTODATE;
  CNAFilter* m_pclFilter = nullptr;
  CNAFilterSave m_clFilterSave;
  CNAUserSearch m_clUserSearch;
  // The item the description gave for the name the last seek sought (external reference): a
  // seek by the same text takes it again while the item still bears that very name.
  struct STSoughtItem {
    ~STSoughtItem() { Drop(); }
    void Drop();
    CTString name;
    INAItemDescription* item = nullptr;
    // name is the browse item's text, which has not changed since.
    bool browse = false;
  } m_clSoughtItem;
  // The description's item of that name, held by m_clSoughtItem only (until the next look-up);
  // null when it has none.
  INAItemDescription* _piFindSoughtItemNoRef(const wchar_t* name);
  CNARecherche* m_pclRecherche = nullptr;
  int m_bInternalSearch = 0;
  // Set by a run after which the browse holds no row of an earlier run (a block going on with
  // the row cache keeps them).
  unsigned int m_nRunSerial = 0;
  // Made by the positions road on first use.
  CRefHashTable<int, CNAPosition*>* m_pTabSavedPosition = nullptr;
  CNARecordCache* m_pclRecordCache = nullptr;
  // Rows a browse read one after the other from a result held whole on the client, counted here
  // instead of being copied into the row cache as they come: the cache's next rows, still in the
  // result. A browse read to its end and let go never copies them; whatever needs the cache's
  // rows, or lets the result go, keeps them first (_KeepPendingRows).
  int m_nPendingRows = 0;
  CNATableCacheIndex* m_pclTableCacheIndex = nullptr;
  int* m_pnRecordSave = nullptr;

  // ---- Browse state ----
  int m_bParseStarted = 0;
  eNA_PARSEDIRECTION m_eLastDirection = NA_PARSE_FIRST;
  int m_bFoundByFetch = 0;
  int m_nBlockLimit = -1;
  int m_bFirstBlock = 1;
  int m_bSoughtRows = 0;
  int m_bContinuing = 0;
  int m_nBlockBase = 0;
  // The raw row a block ended on, when its key could not say where the next block starts
  // (_bGoOnWhole); a NULL cell is flagged in the second.
  std::vector<std::string> m_tabEdgeRow;
  std::vector<bool> m_tabEdgeNull;
  bool m_bEdgeInexact = false;
  int m_nEqualRows = 0;
  // _bBrowseKeyUnique's answer for record at its column stamp; null record: none. uniqueColumns:
  // that stamp when the answer is unique, else 0.
  mutable struct {
    const CNARecord* record = nullptr;
    unsigned int columns = 0;
    unsigned int uniqueColumns = 0;
  } m_clUniqueBrowse;
  long long m_llLastMoved = 0;
  // The rows equal to the row the last index move landed on just before it in the index.
  unsigned int m_nIndexEqualBefore = 0;
  int m_bRowFromCache = 0;
  // The row read from the row cache went into the current value alone (_bRowIntoCurrentForTwin):
  // the read must take the twin road.
  int m_bRowForTwin = 0;
  // The last row landed by a one-row step on the twin road with no index, row marks, search,
  // host's search or filter (_bPlainStepHolds): the next step asks only what a row can change. Every
  // road that changes one of those clears it; bFetch's other road sets it again.
  int m_bPlainStep = 0;
  // m_bPlainStep, no rebuild asked, the browse started and on a row, not lost, an access (the
  // statement's for good), no rows to skip: set by the landing that sets m_bPlainStep, cleared
  // by every change of one of them (_EndPlainStep, _SetOutSide and the other setters of each),
  // so that a step asks one word for all.
  int m_bPlainReady = 0;
  int m_bSteppedPlain = 0;
  uint64_t m_nArmedEntries = 0;
  // Armed with the binding's lean run ready (its stamps are the arm's).
  bool m_bArmedLean = false;
  eNA_PARSEDIRECTION m_eArmedWay = NA_PARSE_NEXT;
  int m_bCurrentRowDeleted = 0;
  int m_bCurrentRecordLost = 0;
  int m_bRowValid = 0;
  int m_nDeletedRows = 0;
  // 1: the browse stands past the end of the result, -1: before its start, 0: on a row.
  int m_nOutSide = 0;
  long long m_llRecordLimit = NO_LIMIT;
  long long m_llRemainingSkip = 0;
  CNARecordValue* m_pclOriginalRecord = nullptr;
  // The original of the result before, the statement's alone, kept for the next one's first row.
  CNARecordValue* m_pclSpareOriginalRecord = nullptr;
  // A move over blocks that ended on an empty further block: the last row it passed, where a
  // move back reads from, while m_pclOriginalRecord went back to the row the browse stood on.
  // Held until the move back takes it or a new block, result or landing drops it.
  CNARecordValue* m_pclEdgeAnchor = nullptr;
  CNAColumn* m_pclBestColumn = nullptr;
  // The writers of the open result's rows into m_pclRecord (_bUpdateNARecordFromDB). Checked
  // before each row against the record's columns, the result and the code pages; forgotten when
  // the record is replaced (SetCurrentRecord).
  CNARowBinding m_clRowBinding;
};

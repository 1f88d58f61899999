// CNATable: the table object the host holds for one table (per description and connection) or one
// query result (per query name and context). Two counts: the internal one (the driver's registry
// and driver code) and the external one (the host); the table goes when both are 0. It holds one
// reference on its connection (given back through the driver), one external reference on its
// description when it has one, one on the error object it is given (the driver's, shared by the
// driver and all its tables), and one on each data access in its set: one per host context and
// file in which it is open. A data access borrows its table; the table clears that pointer when
// the access leaves its set or the table goes, and adopts an access it finds without a table.
//
// Every host entry runs under the driver mutex (released on an exception), resets the error
// objects, finds the data access of the caller's context and forwards to the operation of the
// same name. A context in which the file is not open answers user error 19 in the table's own
// error object. The data access of the last (context id, file id) found is kept in a one-entry
// cache shared by all tables, touched only under the mutex; it holds no reference and is cleared
// when that access leaves its table, its context closes or it dies.
//
// Arguments: a null context answers user error 19 (nothing is asked of it); a null pointer that
// an entry answers through, on a file open in the context, FALSE with user error 4 in the data
// access's error (the context's), nothing forwarded. The pointers the data access may leave alone (lock states, a second found
// flag, the item of a position given back) may be null.
#pragma once

#include <cstdint>

#include "access/inatable.h"
#include "common/ctstring.h"
#include "common/refhashtable.h"
#include "driver/nahost.h"

class CNAContext;
class CNADataAccess;
class CNAStatement;
class CNAError;
class CNAConnectionDescription;
class CNATransaction;
class INAError;
class INADataSourceDescription;
class INAQueryParametersValue;
class INAQueryExecution;
class ISQLParserInformation;
enum eNAQUERYTYPE : int32_t;

class CNATable : public INATable {
 public:
  CNATable(const wchar_t* identification, INADataSourceDescription* desc, CNAConnectionDescription* cnx,
           CNAError* error);
  CNATable(const CNATable&) = delete;
  CNATable& operator=(const CNATable&) = delete;

  // ---- INATable, in slot order ----
  int nGetVersion() const override { return 11; }
  int nGetCompatSince() const override { return 8; }
  // Both under the driver mutex. The host's last release of a table that only the registry still
  // holds hands it back to the driver, which unregisters it.
  INATable* ExternalAddRef() override;
  int nExternalRelease() override;
  // The context's error object when the driver has a context for ctx, else the table's own.
  INAError* piGetLastError(INAContext* ctx) override;
  // FALSE, no error, when the file is not open in ctx.
  BOOL bIsOpened(INAContext* ctx) override;
  INADataSourceDescription* piGetDataSourceDescription() override;
  BOOL bNbEnrNeedParse(INAContext* ctx, int* needParse, const wchar_t* item) override;
  // The four refusals answer FALSE with user error 8 in the table's and the context's errors.
  BOOL FreeMemory(INAContext* ctx, void** memory) const override;
  // Makes the context's data access when needed (it stays); FALSE only when none can be made.
  BOOL bHReindexe(INAContext* ctx, unsigned int options, IGaugeControl* gauge) override;
  // The three opens make the data access when needed; one made by a failed call is dropped, one
  // that existed stays whatever the result. A connection that cannot be opened: FALSE, its error
  // in the context's error object, no data access made.
  BOOL bHCreationSiInexistant(INAContext* ctx, eNA_ACCESS access, const wchar_t* password) override;
  BOOL bHCreation(INAContext* ctx, const wchar_t* password) override;
  BOOL bHOuvre(INAContext* ctx, eNA_ACCESS access, const wchar_t* password) override;
  // The context's lock mode for the files of this table's logical name; TRUE without a context.
  BOOL bHMode(INAContext* ctx, _eNA_HMODE mode) override;
  // TRUE, nothing touched, when the file is not open in ctx. Else the access is closed and
  // dropped whatever the result, and the bind variables go.
  BOOL bHFerme(INAContext* ctx) override;
  BOOL bHAjoute(INAContext* ctx, unsigned int flags, eNA_LOCKTYPE lock) override;
  BOOL bHEcrit(INAContext* ctx, long long recnum, unsigned int flags, eNA_LOCKTYPE lock) override;
  BOOL bHRaye(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock) override;
  BOOL bHSupprime(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock) override;
  BOOL bHModifie(INAContext* ctx, long long recnum, unsigned int flags, eNA_LOCKTYPE lock) override;
  BOOL bHRecherche(INAContext* ctx, const wchar_t* item, const CAny* value, int generic, int setRead,
                   eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, int fromFirst, unsigned int flags) override;
  BOOL bHLibere(INAContext* ctx) override;
  BOOL bHLit(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) override;
  BOOL bHLitxxx(INAContext* ctx, const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead, eNA_LOCKTYPE lock,
                eNA_LOCKTYPE* lockOut, unsigned int flags) override;
  BOOL bSkipRecord(INAContext* ctx, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count, int setRead,
                   eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, unsigned int flags) override;
  BOOL bHBloqueFichier(INAContext* ctx, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) override;
  BOOL bHDebloqueFichier(INAContext* ctx) override;
  BOOL bHBloqueNumEnr(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) override;
  BOOL bHDebloqueNumEnr(INAContext* ctx, long long recnum) override;
  BOOL bHEnDehors(INAContext* ctx, const wchar_t* item, int* out) override;
  BOOL bEvalHTrouve(INAContext* ctx, const wchar_t* item, int* found, int* second) override;
  BOOL bSetNextOperation(INAContext* ctx, eNA_OPERATION operation) override;
  // No error object is reset; 0 with user error 19 when the file is not open in ctx.
  long long llGetRecNum(INAContext* ctx) override;
  BOOL bGetRecNumState(INAContext* ctx, long long recnum, unsigned int* state) override;
  // Both filters check the host's SQL engine first (when given a parsed query).
  BOOL bHFiltre(INAContext* ctx, ISQLParserInformation* condition, wchar_t* item) override;
  BOOL bHFiltre(INAContext* ctx, const wchar_t* item, const CAny* min, int minIncluded, const CAny* max,
                int maxIncluded, ISQLParserInformation* condition) override;
  BOOL bHActiveFiltre(INAContext* ctx, const wchar_t* item, unsigned int flags) override;
  // TRUE, no error, when the file is not open in ctx.
  BOOL bHDesactiveFiltre(INAContext* ctx, const wchar_t* item, unsigned int flags) override;
  BOOL bHRetourPosition(INAContext* ctx, int id, wchar_t* itemOut, int keep, unsigned int mode) override;
  // TRUE, no error, when the file is not open in ctx.
  BOOL bHLiberePosition(INAContext* ctx, int id) override;
  BOOL bHSauvePosition(INAContext* ctx, const wchar_t* item, int* id, unsigned int mode) override;
  BOOL bHVersion(INAContext* ctx, int* version) override;
  BOOL bHNbEnr(INAContext* ctx, long long* count, unsigned int options, unsigned int flags) override;
  BOOL bHPositionCourante(INAContext* ctx, const wchar_t* item, int* position, eNA_PRECISION precision,
                          unsigned int flags) override;
  BOOL bHPositionne(INAContext* ctx, const wchar_t* item, unsigned int position, eNA_PRECISION precision,
                    unsigned int flags) override;
  BOOL bGetBLOB(INAContext* ctx, unsigned int memo, CAny* value) override;
  BOOL bSetBLOB(INAContext* ctx, unsigned int memo, const CAny* value) override;
  BOOL bGetRecord(INAContext* ctx, CNAKJRecord** record) const override;
  BOOL bSetRecord(INAContext* ctx, CNAKJRecord* record) override;
  BOOL bHAttacheMemo(INAContext* ctx, unsigned int memo, const wchar_t* path) override;
  BOOL bExtraitMemo(INAContext* ctx, unsigned int memo, const wchar_t* path) override;
  BOOL bHAnnuleRecherche(INAContext* ctx, const wchar_t* item) override;
  BOOL bHChangeCle(INAContext* ctx, const wchar_t* item, unsigned int flags) override;
  BOOL bHConstruitValCle(INAContext* ctx, CAny* out, const wchar_t* item, unsigned int options,
                         CAny** values) override;
  BOOL bHInterditModif(INAContext* ctx) override;
  BOOL bHFinInterditModif(INAContext* ctx) override;
  BOOL bCalculateKeyValue(INAContext* ctx, const wchar_t* item, void** out, const void* record, unsigned int* size,
                          unsigned short options, int mode) override;
  BOOL bFreeCache(INAContext* ctx) override;
  BOOL bCompareTablePosition(INAContext* ctx, int first, int second, int* equal) override;
  BOOL bTableVirtualMoveSupported() override { return FALSE; }
  BOOL bTableVirtualMove(INAContext*, const wchar_t*, long long*, unsigned int, int) override { return FALSE; }
  BOOL bSupprimeTout(INAContext* ctx) override;

  // ---- The class's own slots ----
  // Drops the file; the data access leaves the table whatever the result.
  virtual BOOL bSupprimeFichier(INAContext* ctx);
  virtual ~CNATable();
  // Runs query in ctx's data access (made when needed; natablequery.cpp). *result non-zero when
  // the query yields a result the host browses; then, unless the host prepared the query, the
  // table's description becomes the access's for the host layout. A failed run leaves its error in
  // the table's own error object and drops the access unless the host prepared the query. The
  // table's error is not reset.
  virtual BOOL bExecuteQuery(int* result, INAContext* ctx, const wchar_t* name, ISQLParserInformation* query,
                             unsigned int mode, const INAQueryExecution* execution);

  // ---- Walks over the table's data accesses (natablewalk.cpp) ----
  // Each collects its accesses, one reference each, under the driver mutex before it calls any of
  // them, so that a call may change the set; each visited access is held while it works.
  // Every started browse of every access is marked for a new run (its transaction ended).
  void SetTransactionTermined();
  // Every access keeps the writes of the transactions a commit ended.
  void TransactionCommitted();
  // The accesses whose connection was made from host (compared by identity) cancel their record
  // locks of transaction.
  void CancelRecordLock(INAConnectionDescription* host, CNATransaction* transaction);
  // Every access but source learns of a write the server accepted.
  void NotifyDataAccessOperation(CNADataAccess* source, eNAQUERYTYPE type, CNAStatement* stmt, unsigned int flags);
  // The first access of that context id with a reference for the caller; null when none.
  CNADataAccess* pclFindDataAccessByContext(unsigned int contextId);
  // Closes every access; they stay in the set. TRUE when every close succeeded, and for none.
  BOOL bCloseAllDataAccess();
  // Closes ctx's accesses of that logical name (case and accents ignored) and takes each out of
  // its context, the cache and the set, whatever the close answered. TRUE when every close
  // succeeded, and for none.
  BOOL bCloseAllDataAccess(INAContext* ctx, const wchar_t* logicalName);
  // bSetFiltreAuto on ctx's accesses of that logical name, or on all of ctx's when name begins
  // with '*'. TRUE when every one succeeded, and for none.
  BOOL bFiltreAuto(INAContext* ctx, int mode, const wchar_t* name, const wchar_t* name2,
                   INADataSourceDescription* desc);
  // SetFiltreAuto on ctx's first access of that logical name. TRUE.
  BOOL bFiltreAuto(INAContext* ctx, int mode, const wchar_t* name);
  // Whether ctx's access runs another query than query (texts compared ignoring case), so that
  // its file must be closed first. Makes the access when there is none (then FALSE: it stays).
  BOOL bNeedCloseQuery(INAContext* ctx, ISQLParserInformation* query);

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
  // Holds values (one reference) in place of the former ones.
  void SetQueryBindVariable(INAQueryParametersValue* values);
  CNAConnectionDescription* pclGetConnectionNoRef() const { return m_pclConnection; }
  DWORD dwGetDataAccessCount() const { return m_tabDataAccess.dwGetNumElement(); }

  // ---- Data accesses of the host contexts ----
  // The access of ctx with a reference for the caller, or null; through the one-entry cache.
  // The caller holds the driver lock.
  CNADataAccess* _pclFindDataAccess(INAContext* ctx) const;
  // Finds or makes (*created 1) the access of ctx, with a reference for the caller; null when
  // none can be made (the no-memory error in the context's error). Skips the cache.
  CNADataAccess* _pclGetDataAccess(INAContext* ctx, int* created);
  // The set takes one reference and the access is told its table.
  void __AddDataAccess(CNADataAccess* access);
  // Takes access out of ctx's context, the cache and the set.
  void _RemoveDataAccess(INAContext* ctx, CNADataAccess* access);
  // Takes access out of the set and the cache only (its context is closing it).
  void _DetachDataAccess(CNADataAccess* access);
  // The driver's pclFindContext, pclGetContext and nReleaseContext for ctx (null without a driver
  // or a ctx): a context found or made comes with one reference, which _nReleaseContext gives back.
  CNAContext* _pclFindContext(INAContext* ctx) const;
  CNAContext* _pclGetContext(INAContext* ctx, int* created);
  int _nReleaseContext(INAContext* ctx, CNAContext* context);
  void _SetContextLastNAError(INAContext* ctx, CNAError* error) const;
  void _SetLastNAError(INAContext* ctx, CNAError* error);
  // The cache forgets access if it names it (under the driver mutex).
  static void g_ForgetDataAccess(CNADataAccess* access);

  // The one-entry cache (under the driver mutex; no reference held), of an access with a table.
  static CNADataAccess* gpclLastDataAccess;
  static uint32_t gdwCtxID;
  static uint32_t gdwDataID;
  // The cached access's error, or one never raised into when it has none: the hit resets it with
  // no null test. Set with the cache; what it holds while the cache is empty is never used.
  static CNAError* gpclLastAccessError;

 private:
  // The common shape of a host entry: lock, reset, find, user error 19 when none, reset the
  // access's error, call(access), release, unlock. whenNone answers for a file not open in ctx
  // (FALSE: with the error 19; TRUE: quietly). bOutsGiven false: a pointer the entry answers
  // through is null (user error 4, nothing forwarded). kHold false: call never releases the
  // access, which then takes no reference when it is the cached one.
  template <bool kHold = true, typename F>
  BOOL _bForward(INAContext* ctx, F&& call, BOOL whenNone = FALSE, bool bOutsGiven = true) const;
  // _bForward's end for the access found: its error reset, user error 4 without the out pointer,
  // else call(access).
  template <typename F>
  BOOL _bCallAccess(CNADataAccess* access, F& call, bool bOutsGiven) const;
  // _bCallAccess for the cache's hit.
  template <typename F>
  BOOL _bCallCached(CNADataAccess* cached, F& call, bool bOutsGiven) const;
  // The entries asked at every row that never let the access go: _bForward<false> for call(table,
  // access), which raises user error 4 itself. Only the cache's hit is in line; its arguments wait
  // in the frame (STLeanCall), which the miss's road is given: the host's id getters may thus
  // write it, so the hit reads back the few it needs instead of holding all in saved registers.
  template <typename F>
  struct STLeanCall {
    const CNATable* table;
    INAContext* ctx;
    F call;
  };
  template <typename F>
  BOOL _bForwardLean(INAContext* ctx, F call) const;
  // _bForwardLean's roads but the cache's hit: a null ctx, the lookup, user error 19. Opaque to the
  // compiler's analysis across functions, so that c counts as escaped in the entry.
  template <typename F>
  static BOOL s_bForwardMissed(const STLeanCall<F>& c);
  // _bForwardLean's road for what its calls throw: the handler keeps it, and once the handler is
  // left the driver mutex is given up and it is thrown on. Apart, so that the entry keeps no
  // saved register for that road.
  static void s_KeepCaught();
  [[noreturn]] static void s_UnlockRethrow();
  // _bForward's end for the access looked up, whose reference it gives back: whenNone when there
  // is none, with user error 19 for FALSE; else _bCallAccess.
  template <typename F>
  BOOL _bCallHeld(CNADataAccess* access, F& call, BOOL whenNone, bool bOutsGiven) const;
  // Raises user error 19 into the table's error for a null ctx and answers whether it was null.
  bool _bNoContext(INAContext* ctx) const;
  // _pclFindDataAccess for a non-null ctx, its cache hit in line (natable.cpp only); the miss
  // looks the access up through the driver's context and fills the cache.
  CNADataAccess* _pclFindDataAccessOf(INAContext* ctx) const;
  // The cache's access for ctx (adopted), without a reference; null on a miss.
  CNADataAccess* _pclCachedDataAccess(INAContext* ctx) const;
  CNADataAccess* _pclLookUpDataAccess(INAContext* ctx) const;
  // The accesses that pass keep, each held (one reference, given back with the vector), collected
  // under the driver mutex (natablewalk.cpp).
  template <typename F>
  auto _Collect(F&& keep) const;
  // The host's SQL engine answers the handshake with an id above 31, once for the driver. FALSE
  // with user error 16 in the table's error otherwise.
  BOOL _bCheckSQLEngine(ISQLParserInformation* query) const;
  // Opens the connection (bOpen for open, else bOpenCreate), gets the access and runs call on it
  // as the three opens and the deletion do.
  template <typename F>
  BOOL _bOpenAndCall(INAContext* ctx, bool bOpenOnly, bool bAlwaysRemove, F&& call);
  void _RaiseNoDataAccess(int site, CNAConnectionDescription* cnx) const;
  // User error 4 into access's error; FALSE. Out of line: the entries' own frames stay free of the
  // pushed arguments of a raise.
  BOOL _bRaiseNullOut(CNADataAccess* access) const;
  BOOL _bRefuse(INAContext* ctx, int site) const;
  // The found access joins the set when it has no table (its former one is gone).
  void _Adopt(CNADataAccess* access) const;

  uint32_t m_nRef = 0;
  uint32_t m_nExternalRef = 0;
  CNAError* m_pclError;
  // m_pclError, or one that nothing raises into when it is null: the forwarded entries reset it
  // without a null test.
  CNAError* m_pclResetError;
  CNAConnectionDescription* m_pclConnection;
  INADataSourceDescription* m_piDescription = nullptr;
  CTString m_csIdentification;
  // Keyed by the access itself, made for 7; one reference each.
  mutable CNARefHashTable<CNADataAccess*, CNADataAccess*> m_tabDataAccess;
  INAQueryParametersValue* m_piBindVariable = nullptr;
};

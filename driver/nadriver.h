// CNADriver: the driver object the host holds (made as the backend's driver class). It owns three
// registries: connections keyed by their identification text (compared exactly: the text holds
// the password), tables and query results keyed by theirs (case and accents ignored), contexts
// keyed by the host's context id. Each registry holds one reference on each entry; the registry
// operations take the driver mutex themselves. It also owns the driver's error object, the dump
// labels, and is the factory of every driver object: a backend overrides the factories.
//
// Several drivers may live at once: each registers itself when made and leaves when destroyed;
// CNADriver::s_pclDriver designates the newest one alive (null when none is), and every part of
// the driver reaches its factories and its error object through it. It is written under the
// driver mutex and read atomically; a reader that goes on to use the driver holds the mutex.
//
// Factories of counted objects return them with a count of 0; the caller takes the first
// reference. Finders and getters return objects with a reference for the caller.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "common/ctstring.h"
#include "common/refhashtable.h"
#include "common/refstringhashtable.h"
#include "driver/inadriver.h"
#include "driver/nadrivermutex.h"
#include "driver/nahost.h"
#include "sql/naconvertvariant.h"

class CAny;
class CNAColumn;
class CNACommand;
class CNAConnectionDescription;
class CNAContext;
class CNAConvertVariant;
class CNADataAccess;
class CNADataSourceDescription;
class CNADriverSQL;
class CNAError;
class CNAIDAuto;
class CNAItemDescription;
class CNAParameter;
class CNAStatement;
class CNATable;
class CNATransaction;
class INAItemDescription;
struct CTabValParser;

// The dump labels, in the order they are loaded.
enum eNA_DUMPLABEL : int {
  NA_LABEL_QUERY_TEXT,
  NA_LABEL_PARAMETER_COUNT,
  NA_LABEL_PARAMETER,
  NA_LABEL_HOST_TYPE,
  NA_LABEL_DATABASE_TYPE,
  NA_LABEL_VALUE,
  NA_LABEL_VALUE_NOT_CONVERTIBLE,
  NA_LABEL_PARAMETER_BINDING,
  NA_LABEL_CONNECTION_PARAMETERS,
  NA_LABEL_DATA_SOURCE,
  NA_LABEL_NATIVE_LIBRARY,
  NA_LABEL_PROVIDER,
  NA_LABEL_USER,
  NA_LABEL_DATABASE,
  NA_LABEL_CONNECTION_TIMEOUT,
  NA_LABEL_COMMAND_TIMEOUT,
  NA_LABEL_LOCK_TIMEOUT,
  NA_LABEL_CURSOR_POSITION,
  NA_LABEL_UNICODE,
  NA_LABEL_LOCK_TAG,
  NA_LABEL_LOCK_MODE,
  NA_LABEL_DATE_FORMAT,
  NA_LABEL_CHARSET,
  NA_LABEL_HOST_CODE_PAGE,
  NA_LABEL_CONNECTION_CODE_PAGE,
  NA_LABEL_COUNT
};

class CNADriver : public INADriver {
 public:
  CNADriver();
  CNADriver(const CNADriver&) = delete;
  CNADriver& operator=(const CNADriver&) = delete;

  // ---- INADriver ----
  int nGetVersion() const override { return 18; }
  int nGetCompatSince() const override { return 17; }
  INADriver* ExternalAddRef() override;
  int nExternalRelease() override;
  // id 1: the SQL-function service with a reference for the host; null for any other id, or
  // when none can be made.
  INADriverSQL* piGetInterface(int id) override;
  // The lists, the SQL locks and the diagnosis hold the driver mutex like the locking entries.
  // The lists get their connection (registering it, not opening it); the service's lists open it.
  // The entries that find a connection never make one: user error 14 naming the host's
  // connection, FALSE.
  BOOL bOpenConnection(INAConnectionDescription* cnx) override;
  BOOL bCloseConnection(INAConnectionDescription* cnx) override;
  BOOL bCopyContext(INACopyCtx* copy, INAContext* from, INAContext* to, unsigned int flags) override;
  INAError* piGetLastError() const override;
  BOOL bHMode(INAContext* ctx, _eNA_HMODE mode) override;
  INATable* piGetTable(INAConnectionDescription* cnx, INADataSourceDescription* desc) override;
  BOOL bGetTableList(CAny* out, INAConnectionDescription* cnx, unsigned int flags) override;
  // The table's description read from the server on the (opened) connection, with an external
  // reference for the host; null with the reason in the error object (a failed open at level 2).
  INADataSourceDescription* piGetTableDesc(const wchar_t* name, INAConnectionDescription* cnx) override;
  BOOL bHExecuteRequeteSQL(INATable** out, INAContext* ctx, const wchar_t* name, INAConnectionDescription* cnx,
                           ISQLParserInformation* query, unsigned int flags) override;
  BOOL bCloseContext(INAContext* ctx) override;
  BOOL bTransactionBegin(INAConnectionDescription* cnx, const wchar_t* name) override;
  // A commit that failed leaves its outcome unknown: the connection's tables are told the
  // transaction ended, as after every roll-back, so no cache serves rows the server may not
  // hold (the dialect's bTransactionEndCloseParse only adds the successful commit).
  BOOL bTransactionCommit(INAConnectionDescription* cnx, const wchar_t* name) override;
  BOOL bTransactionRollBack(INAConnectionDescription* cnx, const wchar_t* name) override;
  // Opens the connection and has it lock (bSQLBloque); a backend may ask more first.
  BOOL bSQLBloqueTable(INAConnectionDescription* cnx, const wchar_t* tables) override;
  BOOL bSQLBloqueRequete(INAConnectionDescription* cnx, ISQLParserInformation* query) override;
  BOOL bSQLFormatColonne(INAConnectionDescription* cnx, CAny* out) override;
  BOOL bHConnexionDiagnose(CAny* out, INAConnectionDescription* cnx, const wchar_t* text,
                           unsigned int flags) override;
  // User error 8 (type 7) added to what the error holds; FALSE.
  BOOL bGetProviderList(CAny* out) override;
  // FALSE, the open's failure at level 2, when the connection cannot be opened.
  BOOL bTableExists(int* exists, const wchar_t* name, INAConnectionDescription* cnx) override;
  BOOL bGetLinkList(CAny* out, const wchar_t* name, INADataSourceDescription* desc, INAConnectionDescription* cnx,
                    unsigned int flags) override;
  // out := the empty wide text (type 110, never NULL); TRUE.
  BOOL bGetListeSource(CAny* out, int flags) override;
  BOOL bSetQueryParameters(INAContext* ctx, INAConnectionDescription* cnx, INAQueryParametersValue* values) override;
  BOOL bSetVMAndLibShop(ILibShop* libShop, IVMData* vmData) override;
  BOOL bFiltreAuto(INAContext* ctx, INAConnectionDescription* cnx, int n, const wchar_t* table,
                   INADataSourceDescription* desc, const wchar_t* link,
                   INADataSourceDescription* linkedDesc) override;
  // Registers the context when needed; the name waits there for the context's next open.
  BOOL SetNextLogicalName(INAContext* ctx, const wchar_t* name) override;
  // Runs the query as the result table of (ctx, name), reusing the one registered. A result with
  // rows is registered and *out (when given) gets it with an external reference. Without rows,
  // or on failure (the table's error copied into the driver's), *out is null and the table is
  // closed and unregistered, unless the host keeps the query (flag 16, or a query the host
  // prepared): then it stays, or becomes, registered for the host's later run.
  BOOL bHExecuteRequeteSQLEx(INATable** out, INAContext* ctx, const wchar_t* name, INAConnectionDescription* cnx,
                             ISQLParserInformation* query, unsigned int flags,
                             const INAQueryExecution* execution) override;
  // Closes ctx's result of that name and lets the registry drop it; TRUE when there is none.
  BOOL bFreeDataSource(INAContext* ctx, const wchar_t* name, INAConnectionDescription* cnx) override;
  BOOL bValidConnection(INAConnectionDescription* cnx) override;
  BOOL bSetKJ(IKJForNA* kj) override;
  // Drops the described table; FALSE when the open or the drop fails. Without a description
  // nothing is dropped: TRUE.
  BOOL bSupprimeFichier(INAContext* ctx, INAConnectionDescription* cnx, const wchar_t* name,
                        INADataSourceDescription* desc) override;
  BOOL bGetDatabaseList(CXYString<wchar_t>* out, INAConnectionDescription* cnx, unsigned int flags) override;

  // Contexts, then tables, then connections, then the error object go.
  virtual ~CNADriver();

  // ---- Overridable operations and factories, in their order ----
  virtual BOOL bSetCharset(unsigned int charset, void* data);
  // "Connection=…;Provider=…;ExtendedInformation=…;Data source=…;user id=…;password=…;access=R|RW",
  // each part written "<length>:<text>", a null one "NULL", so that different parts never give
  // one text. TRUE.
  virtual BOOL bBuildCnxIdentification(CTString* out, INAConnectionDescription* cnx) const;
  // The SQL-function service, made on first use; no reference for the caller; null without one.
  virtual CNADriverSQL* pclGetDriverSQL();
  virtual CNAConvertVariant* pclAllocVariant(CNAError* error, CNAConnectionDescription* cnx);
  virtual CNAConvertVariant* pclAllocVariantRowID(CNAError* error, CNAConnectionDescription* cnx);
  // A new converter (pclAllocVariant) of the host type, or, with a value, of its type and holding
  // it; null, nothing left, when it cannot be had or refuses. With a column the column types it
  // (its item's host type and descriptions).
  CNAConvertVariant* pclGetNewVariant_NV_Any(CNAError* error, CNAConnectionDescription* cnx, CNAColumn* column,
                                             unsigned short hostType);
  CNAConvertVariant* pclGetNewVariant_NV_Any(CNAError* error, CNAConnectionDescription* cnx, CNAColumn* column,
                                             const CAny* value);
  // value, when it stands as pclAllocVariant(error, cnx) would make one and only its held
  // holders refer to it (count held, not static), restarted as new: TRUE. FALSE, untouched,
  // otherwise. The holders may then use it as the new converter the factory would give.
  // keepItems: see CNAConvertVariant::Restart.
  BOOL bRestartVariant(CNAConvertVariant* value, unsigned int held, CNAError* error, CNAConnectionDescription* cnx,
                       bool keepItems = false) const;
  // bRestartVariant's test alone: value may be restarted and used as new.
  BOOL bRestartableVariant(const CNAConvertVariant* value, unsigned int held, const CNAError* error,
                           const CNAConnectionDescription* cnx) const;
  // What pclGetNewVariant_NV_Any does to its new converter value to hold any: typed by column
  // (or any's type without one), then any set. FALSE when either refuses.
  static BOOL s_bTypeVariant_NV_Any(CNAError* error, CNAConvertVariant* value, CNAColumn* column, const CAny* any);
  // pclAllocParameter, then the column (and its item) set on the parameter.
  CNAParameter* pclAllocParameter_col(CNAColumn* column, CNAConvertVariant* value, unsigned int position,
                                      unsigned int options, const wchar_t* name);
  virtual CNADataSourceDescription* pclAllocDataSourceDescription(CNAConnectionDescription* cnx,
                                                                  CNAError* error) const;
  // pclAllocDataSourceDescription with a reference for the caller; null with no memory raised in error.
  CNADataSourceDescription* pclNewDataSourceDescription(CNAConnectionDescription* cnx, CNAError* error) const;
  virtual CNAContext* pclAllocContext() const;
  virtual CNADataAccess* pclAllocDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                            CNAError* error) const;
  virtual CNAStatement* pclAllocStatement(CNADataAccess* access, CNAConnectionDescription* cnx,
                                          CNAError* error) const = 0;
  // A record column (CNASQLColumn) for an item of type 1 to 31 but 8; null otherwise.
  virtual CNAColumn* pclAllocColumn(CNAError* error, INAItemDescription* item) const;
  virtual CNACommand* pclAllocCommand(CNAError* error, CNAConnectionDescription* cnx) const;
  virtual CNAError* pclAllocError() const;
  virtual CNAIDAuto* pclAllocIDAuto();
  // The table's description read from the server, with a reference for the caller; null with the
  // reason in the driver's error object.
  virtual CNADataSourceDescription* _pclGetTableDesc(const wchar_t* name, CNAConnectionDescription* cnx);
  virtual CNAParameter* pclAllocParameter(CNAConvertVariant* value, unsigned int position, unsigned int options,
                                          const wchar_t* name);
  // CNATable::CancelRecordLock on every registered table.
  virtual void CancelRecordLock(INAConnectionDescription* cnx, CNATransaction* transaction);
  virtual CNAItemDescription* pclAllocItemDescription();
  virtual void OnFatalErrorAddDebugMessage(CNAError* error, CNAConnectionDescription* cnx);
  virtual CNAConnectionDescription* _pclAllocConnectionDescription(const wchar_t* identification,
                                                                   INAConnectionDescription* cnx) = 0;
  virtual CNATable* _pclAllocTable(const wchar_t* identification, INADataSourceDescription* desc,
                                   CNAConnectionDescription* cnx, CNAError* error);
  virtual CNADriverSQL* _pclAllocDriverSQL(CNAError* error);
  virtual BOOL _bGetDatabaseList(CXYString<wchar_t>* out, CNAConnectionDescription* cnx, unsigned int flags);
  virtual BOOL _bGetTableList(CAny* out, CNAConnectionDescription* cnx, unsigned int flags);
  // exists 1 when the table is found; a table-not-found error (30) is a success with exists 0.
  virtual BOOL _bTableExists(int* exists, const wchar_t* name, CNAConnectionDescription* cnx);
  virtual BOOL _bGetLinkList(CNAConnectionDescription* cnx, const wchar_t* name, INADataSourceDescription* desc,
                             CAny* out, unsigned int flags);
  virtual void _BeforeDeath();

  // _pclGetTableDesc handed over with an external reference instead of the internal one.
  INADataSourceDescription* _piGetTableDesc(const wchar_t* name, CNAConnectionDescription* cnx);

  // The query text and its bind values, one line each, for the host's traces; cut to
  // maximumLength characters (0xFFFFFFFF keeps all). Never a connection's identification. TRUE.
  BOOL bGetQueryDump(CTString* out, const wchar_t* query, CTabValParser* parameters, unsigned int maximumLength);

  // ---- Error object and labels ----
  // Replaces the error object by a new one with the driver's reference.
  void AllocError();
  BOOL bInitDriver();
  void InitQueryDumpRessources();
  // The label with its trailing blank ("" before InitQueryDumpRessources).
  const wchar_t* pszGetDumpLabel(eNA_DUMPLABEL label) const { return m_tabLabel[label].pszGet(); }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }

  // ---- Connections ----
  CNAConnectionDescription* _pclFindConnection(const wchar_t* identification);
  CNAConnectionDescription* _pclFindConnection(INAConnectionDescription* cnx);
  // Makes and registers one (not opened).
  CNAConnectionDescription* _pclAddConnection(const wchar_t* identification, INAConnectionDescription* cnx);
  CNAConnectionDescription* _pclGetConnection(INAConnectionDescription* cnx);
  // Success: one more (open) reference and the open counted. Failure: the connection leaves the
  // registry, the error gets level 2.
  BOOL _bOpenConnection(CNAConnectionDescription* cnx);
  // Drops one reference; the last user's release of a registered connection whose close was
  // requested closes and unregisters it (answer 0). Else the count left.
  int nReleaseConnection(CNAConnectionDescription* cnx);
  // The same for a caller that holds the driver lock.
  int _nReleaseConnectionLocked(CNAConnectionDescription* cnx);
  // Requests the close and gives back one open reference while an open is left to match. TRUE.
  BOOL _bCloseConnection(CNAConnectionDescription* cnx);
  BOOL _bCloseConnectionById(int id);
  CNAConnectionDescription* pclGetConnectionByID(int id);
  // Name compared ignoring case and accents.
  CNAConnectionDescription* pclGetConnectionByName(const wchar_t* name);
  // A table, data access or description gives its connection back through the designated
  // driver, or straight to the connection when no driver is left.
  static int g_nReleaseConnection(CNAConnectionDescription* cnx);

  // ---- Tables and query results ----
  CNATable* _pclFindTable(const wchar_t* identification);
  // Writes the table's identification into *identification, then finds it.
  CNATable* _pclFindTable(INADataSourceDescription* desc, CNAConnectionDescription* cnx, CTString* identification);
  // Registers the table unless one of its identification is registered already.
  void _AddTable(CNATable* table);
  CNATable* _pclAddTable(const wchar_t* identification, INADataSourceDescription* desc,
                         CNAConnectionDescription* cnx);
  CNATable* _pclGetTable(INADataSourceDescription* desc, CNAConnectionDescription* cnx);
  // Unregisters this very table; whether it was registered.
  BOOL _bReleaseTable(CNATable* table);
  BOOL _bReleaseTable(INAContext* ctx, CNATable* table);
  // Drops one internal reference; the registry's being the last one left, it unregisters the
  // table (answer 0). Else the count left.
  int nReleaseTable(CNATable* table);
  // The result table of this context and name: the registered one (renewed when bCloseExisting
  // and its close succeeds), else with bCreate a new unregistered one; null otherwise.
  CNATable* _pclGetQuery(INAContext* ctx, const wchar_t* name, CNAConnectionDescription* cnx, int bCloseExisting,
                         int bCreate);
  void _SetTransactionTermined(CNAConnectionDescription* cnx);
  // The tables of cnx keep the writes of the transactions its last commit ended.
  void _TransactionCommitted(CNAConnectionDescription* cnx);
  template <typename F>
  void _OnTablesOf(CNAConnectionDescription* cnx, F&& op);
  // From *cursor (0 to start), the next registered table on cnx; null at the end. A walk must be
  // run to its end.
  CNATable* pclEnumTableByConnection(unsigned int* cursor, CNAConnectionDescription* cnx);

  // ---- Contexts ----
  void __AddContext(INAContext* host, CNAContext* ctx);
  CNAContext* _pclAddContext(INAContext* host);
  CNAContext* pclFindContext(INAContext* host) const;
  CNAContext* pclGetContext(INAContext* host, int* created);
  // Drops the caller's reference; a context left without data access leaves the registry
  // (answer 0). Else the count left.
  int nReleaseContext(INAContext* host, CNAContext* ctx);

  // ---- Identification texts (TRUE) ----
  // "CTX=<id>;Table=<length>:<name>;<connection's>" and "Table=<length>:<name>;<connection's>";
  // the registry compares the name without case and accents, the rest exactly.
  BOOL bBuildQueryIdentification(CTString* out, const wchar_t* name, const wchar_t* cnxIdentification,
                                 INAContext* ctx) const;
  BOOL bBuildTableIdentification(CTString* out, const wchar_t* table, const wchar_t* cnxIdentification) const;

  // ---- Statics ----
  // "Expr" followed by index + 1000.
  static void g_GenerateItemName(CTString* out, int index);
  static CNADriverSQL* s_pclGetDriverSQL();
  static BOOL g_NAInitModule(void* module);
  // Ends the common runtime once; its result.
  static BOOL g_NATermModule();

  // ---- State read by the other layers ----
  long long llGetDefaultCacheSize() const { return m_llDefaultCacheSize; }
  int m_bHostSQLModuleAccepted = 0;
  // The host engine's interface as given to bSetKJ (no reference; read by the key conversion).
  IKJForNA* piGetKJ() const { return m_piKJ; }
  ILibShop* piGetLibShop() const { return m_piLibShop; }
  IVMData* piGetVMData() const { return m_piVMData; }
  unsigned int nGetExternalRefCount() const { return m_nExternalRef; }
  DWORD dwGetConnectionCount() const { return m_tabConnection.dwGetNumElement(); }
  DWORD dwGetTableCount() const { return m_tabTable.dwGetNumElement(); }
  DWORD dwGetContextCount() const { return m_tabContext.dwGetNumElement(); }

  static std::atomic<CNADriver*> s_pclDriver;
  static HINSTANCE__* s_hDllHandle;
  static unsigned int s_nID_QXKJ;
  static unsigned int s_nID_QXSQL;
  // Set when a client-library call ended in an exception other than a missing function's
  // (under the driver mutex).
  static int s_bGPFCatched;
  // Lives from load to unload: made statically, never destroyed.
  static CNADriverMutex m_gstDriverCriticalSection;

 protected:
  // The sites of user error 14 (the connection is not registered) and of user error 8.
  enum eNA_DRIVERSITE : int {
    NA_SITE_LOCK_TABLE = 1,
    NA_SITE_LOCK_QUERY = 2,
    NA_SITE_DIAGNOSE = 3,
    NA_SITE_COMMIT = 4,
    NA_SITE_ROLLBACK = 5,
    NA_SITE_PROVIDERS = 6,
    NA_SITE_FILTREAUTO = 7,
  };
  // op(the registered connection of host) under the driver mutex, the connection given back
  // after; user error 14 at site naming the host's connection, FALSE, when none is registered.
  template <typename F>
  BOOL _bOnFoundConnection(INAConnectionDescription* host, int site, F&& op);
  void _RaiseNotRegistered(INAConnectionDescription* host, int site);
  // The connection of host, got and opened, with a reference for the caller; null when none can
  // be had or it cannot be opened (the open's failure then at level 2).
  CNAConnectionDescription* _pclGetOpenConnection(INAConnectionDescription* host);

  long long m_llDefaultCacheSize = -1;

 private:
  void _Term();
  // The frame of the list entries: the driver mutex, the error reset when bReset, op on the
  // connection got for host (released after).
  template <typename F>
  BOOL _bOnListConnection(INAConnectionDescription* host, bool bReset, F&& op);
  // The service is made with the driver's error object and held by one internal reference.
  void _InitDriverSQL();
  // Detaches the service (it never reaches this driver again) and gives back the reference.
  void _FreeDriverSQL();
  // Out of the list of live drivers, the designation handed to the newest one left; once only.
  void _LeaveLiveDrivers();
  CNAConnectionDescription* _pclFindConnectionLocked(const wchar_t* identification);
  // Unregisters this very connection; whether it was registered.
  BOOL _bRemoveConnection(CNAConnectionDescription* cnx);

  CTString m_tabLabel[NA_LABEL_COUNT];
  uint32_t m_nExternalRef = 0;
  // Each made for 7 entries.
  CRefStringHashTable<CNAConnectionDescription*> m_tabConnection;
  CRefStringHashTable<CNATable*> m_tabTable;
  CNARefHashTable<unsigned int, CNAContext*> m_tabContext;
  CNAError* m_pclError = nullptr;
  CNADriverSQL* m_pclDriverSQL = nullptr;
  ILibShop* m_piLibShop = nullptr;
  IVMData* m_piVMData = nullptr;
  IKJForNA* m_piKJ = nullptr;
  // The live drivers, newest first.
  CNADriver* m_pclOlder = nullptr;
  CNADriver* m_pclNewer = nullptr;
  bool m_bLive = true;
};

// Holds the driver mutex for its scope, however the scope is left.
class CNADriverLock {
 public:
  CNADriverLock() { CNADriver::m_gstDriverCriticalSection.Lock(); }
  ~CNADriverLock() { CNADriver::m_gstDriverCriticalSection.Unlock(); }
  CNADriverLock(const CNADriverLock&) = delete;
  CNADriverLock& operator=(const CNADriverLock&) = delete;
};

// One reference on a connection, given back through its driver (so that a requested close
// happens) however the scope is left; null holds nothing.
class CNAHeldConnection {
 public:
  CNAHeldConnection(CNADriver* driver, CNAConnectionDescription* cnx) : m_pclDriver(driver), m_pclConnection(cnx) {}
  ~CNAHeldConnection() { m_pclDriver->nReleaseConnection(m_pclConnection); }
  CNAHeldConnection(const CNAHeldConnection&) = delete;
  CNAHeldConnection& operator=(const CNAHeldConnection&) = delete;
  CNAConnectionDescription* get() const { return m_pclConnection; }

 private:
  CNADriver* m_pclDriver;
  CNAConnectionDescription* m_pclConnection;
};

template <typename F>
BOOL CNADriver::_bOnFoundConnection(INAConnectionDescription* host, int site, F&& op) {
  CNADriverLock lock;
  CNAHeldConnection cnx(this, host != nullptr ? _pclFindConnection(host) : nullptr);
  if (cnx.get() == nullptr) {
    _RaiseNotRegistered(host, site);
    return FALSE;
  }
  return op(cnx.get());
}

// In line: every seek asks it of the holder it renews.
inline BOOL CNADriver::bRestartableVariant(const CNAConvertVariant* value, unsigned int held, const CNAError* error,
                                           const CNAConnectionDescription* cnx) const {
  // The factory's class (final: no other can stand here), on these two.
  return value != nullptr && value->nGetRefCount() == held && !value->bIsStatic() && value->pclGetCnx() == cnx &&
         value->pclGetError() == (error != nullptr ? error : m_pclError);
}

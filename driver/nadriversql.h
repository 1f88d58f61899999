// CNADriverSQL: the SQL-function service behind INADriverSQL, made once per driver through the
// driver's factory (the backend's class) and the factory of every low-level statement
// (pclAllocStatementSQL). Its connections live in the driver's registry under identification
// texts no other open can produce, so they are never shared; its statements live in its own
// table under their statement numbers, the table holding one reference on each.
//
// It holds a count on its error object (the driver's, as the driver makes it) and a raw pointer
// to its driver, which holds one internal reference on it; the host holds it by the external
// count. The driver's end detaches it: a detached service answers FALSE or null to everything
// but still frees its statements, and their connections, on bFreeStmt and at its own end,
// without reaching the dead driver. It deletes itself when both counts are 0.
//
// Every entry runs under the driver mutex. A numbered connection is closed by bCloseConnection
// even while statements of it are left: their stored rows stay readable, anything that needs the
// server answers FALSE with an error.
//
// The identification texts hold the password: they are registry keys and nothing else.
#pragma once

#include "common/refhashtable.h"
#include "common/tstringconcataw.h"
#include "common/xystring.h"
#include "common/xystringconcat.h"
#include "driver/inadriversql.h"
#include "sql/nastatementsql.h"

class CNADriver;
class CNAError;
class CTString;
class CNAConnectionDescription;
class INADataSourceDescription;

class CNADriverSQL : public INADriverSQL {
 public:
  // Counts 0; a count taken on error.
  CNADriverSQL(CNADriver* driver, CNAError* error);
  CNADriverSQL(const CNADriverSQL&) = delete;
  CNADriverSQL& operator=(const CNADriverSQL&) = delete;

  // ---- INADriverSQL ----
  int nGetVersion() const override { return 4; }
  int nGetCompatSince() const override { return 2; }
  INADriverSQL* ExternalAddRef() override;
  int nExternalRelease() override;
  INAError* piGetLastError() const override;
  void* piGetInterface(int) override { return nullptr; }
  void* pReservedFct1(unsigned char*) override { return nullptr; }
  void* pReservedFct2(unsigned char*) override { return nullptr; }
  void* pReservedFct3(unsigned char*) override { return nullptr; }
  void* pReservedFct4(unsigned char*) override { return nullptr; }
  void* pReservedFct5(unsigned char*) override { return nullptr; }
  BOOL bLoadNativeDll(unsigned char*, unsigned int) override { return TRUE; }
  BOOL bFreeNativeDll(unsigned char*, unsigned int) override { return TRUE; }
  BOOL bOpenConnection(int* number, INAConnectionDescription* cnx) override;
  BOOL bCloseConnection(int number) override;
  // The catalogue lists of a numbered connection (the class's own lists below); the statement's
  // column list is the statement's.
  BOOL bGetTableList(CAny* out, int cnx, const wchar_t* filter, unsigned int flags) override;
  BOOL bGetColumnList(CAny* out, int cnx, const wchar_t* table, unsigned int flags) override;
  BOOL bGetColumnList(CAny* out, int cnx, int stmt, unsigned int flags) override;
  // The table's description read from the server, with an external reference for the host; null
  // for a number that names no open connection, or with the reason in the service's error.
  INADataSourceDescription* piGetTableDesc(int cnx, const wchar_t* table, unsigned int flags) override;
  // The statement's result described column by column (named after the statement), with an
  // external reference for the host; null for statement 0 or one not in the table.
  INADataSourceDescription* piGetTableDesc(int cnx, int stmt, unsigned int flags) override;
  // The server's column types as a list; the generic service knows none: the empty list, TRUE.
  BOOL bGetColumnTypeList(CAny* out, int cnx, unsigned int flags) override;
  BOOL bExecute(int* stmt, int cnx, const wchar_t* sql, CTabValParser* values, unsigned int flags) override;
  // TRUE always.
  BOOL bFreeStmt(int cnx, int stmt, unsigned int flags) override;
  // The statement's error as it is: nothing is reset first.
  BOOL bGetStmtLastError(INAError** error, int cnx, int stmt) override;
  // Statement 0: *count = 0, TRUE.
  BOOL bGetColumnNbr(int* count, int cnx, int stmt, unsigned int flags) override;
  BOOL bGetColumnName(CAny* out, int cnx, int stmt, unsigned int column, unsigned int flags) override;
  BOOL bFetch(int cnx, int stmt, unsigned int flags) override;
  BOOL bGetRow(CAny* out, int cnx, int stmt, const wchar_t* separator, int columns, unsigned int flags) override;
  BOOL bGetValue(CAny* out, int cnx, int stmt, unsigned int column, unsigned int flags) override;
  BOOL bGetBLOBValue(CAny* out, int cnx, int stmt, unsigned int column, unsigned int flags) override;
  // All under the one transaction name "SQLTransaction"; a begin inside one nests.
  BOOL bTrsBegin(int* unused, int cnx, unsigned int flags) override;
  BOOL bTrsCommit(int cnx, int unused, unsigned int flags) override;
  BOOL bTrsRollBack(int cnx, int unused, unsigned int flags) override;
  BOOL bSQLBloqueTable(int cnx, const wchar_t* table, unsigned int flags) override;
  BOOL bSQLBloqueRequete(int cnx, const wchar_t* sql, unsigned int flags) override;
  BOOL bSetVMAndLibShop(ILibShop* libShop, IVMData* vmData) override;

  // Frees the statements left (and with them their connections), then gives back the error.
  virtual ~CNADriverSQL();

  // ---- The class's own operations ----
  using INADriverSQL::bSQLBloqueRequete;
  using INADriverSQL::bSQLBloqueTable;
  // Opens the connection (with the service's error), then locks the rows of the query.
  virtual BOOL bSQLBloqueRequete(CNAConnectionDescription* cnx, const wchar_t* sql, unsigned int flags);
  // Opens the connection, then the backend locks the table.
  virtual BOOL bSQLBloqueTable(CNAError* error, CNAConnectionDescription* cnx, const wchar_t* table,
                               unsigned int flags);
  // Outside a transaction a lock would end with its own statement: user error 29 (naming the
  // table of a table lock) into error, FALSE, nothing sent. TRUE inside one.
  static BOOL g_bLockInTransaction(CNAError* error, CNAConnectionDescription* cnx, const wchar_t* table, bool bTable);
  // A new statement of the backend on cnx reporting into error, not yet referenced; null without
  // memory.
  virtual CNAStatementSQL* pclAllocStatementSQL(CNAConnectionDescription* cnx, CNAError* error) = 0;

  // ---- Catalogue lists ----
  // Every list reaches the host as wide text (type 16, never NULL): TAB between fields, CR LF
  // between lines, nothing after the last. Option bits: 1 base tables, 2 views, 4 system tables,
  // 16 sorted ignoring case, 32 extended lines. They run under the caller's driver mutex.

  // The tables of the current database (filter: extra SQL joined to the type filter, may be
  // null). No type option: the empty list, TRUE. A failed query leaves out untouched.
  virtual BOOL bGetTableList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* filter, unsigned int flags);
  // The item names of the table up to its first composite key; no description: out flagged
  // NULL, FALSE.
  virtual BOOL bGetColumnList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* table, unsigned int flags);
  // One line of database names separated by TAB; with a type option, a line per database: its
  // name, TAB, and its tables separated by TAB.
  BOOL bGetDatabaseList(CXYString<wchar_t>* out, CNAConnectionDescription* cnx, unsigned int flags);

  // The foreign keys of the table (its description's name wins when one is given), a line each:
  // name, referenced table, its columns, "0,N", table, its columns, "0,1", update and delete
  // rule codes; lines only with option 32. Another dialect than MySQL's: TRUE, out untouched.
  virtual BOOL bGetLinkList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* table,
                            INADataSourceDescription* desc, unsigned int flags);

  // Foreign-key rules as the links carry them; -1 for a text none of them reads.
  enum eSQLForeignKeysRules : int {
    SQLFK_CASCADE = 0,
    SQLFK_RESTRICT = 1,
    SQLFK_SET_NULL = 2,
    SQLFK_NO_ACTION = 3,
    SQLFK_SET_DEFAULT = 4,
    SQLFK_UNKNOWN = -1
  };
  // The link lines of a CREATE TABLE text appended to out. Quoted texts and names are stepped
  // over, so nothing inside a comment or a name reads as a constraint; a constraint the reading
  // cannot follow gives no line. desc (may be null, not released) describes table. TRUE.
  BOOL _bExtraitLink_FromShowCreateTable(CXYStringConcat<wchar_t>* out, const wchar_t* text, const wchar_t* table,
                                         CNAConnectionDescription* cnx, INADataSourceDescription* desc,
                                         unsigned int flags);
  // columns (count names joined by ",") becomes the name of the described table's composite key
  // made of exactly those columns in that order, when it has one. TRUE.
  static BOOL _bGetNomCleComposee(INADataSourceDescription* desc, CTString* columns, int count);
  // The rule of an upper- or lower-case rule text. TRUE.
  static BOOL _bTextToeSQLForeignKeysRules(eSQLForeignKeysRules* rule, const wchar_t* text);
  // A link line of a backend that reads its links from a catalogue, appended to out after "\r\n"
  // when out holds text: the name [owner1.]table1_[owner2.]table2, [owner1.]table1 with its
  // columns and "0,N", [owner2.]table2 with its columns and "0,1"; with option 32 the two rule
  // codes after them, a code left empty for a rule outside 0 to 4. An empty owner is left out. TRUE.
  static BOOL s_bConcatConstraint(CXYStringConcat<wchar_t>* out, unsigned int flags, const wchar_t* owner1,
                                  const wchar_t* table1, const wchar_t* columns1, const wchar_t* owner2,
                                  const wchar_t* table2, const wchar_t* columns2, eSQLForeignKeysRules rule1,
                                  eSQLForeignKeysRules rule2);

  // The type filter, parenthesised, followed by a blank and the extra text when one is given
  // (the whole in a second pair then); empty without a type option.
  virtual void _GetTableList_GetFilter(CXYStringConcat<wchar_t>* out, const wchar_t* extra, unsigned int flags);
  virtual BOOL _bGetTableList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* filter, unsigned int flags);
  virtual BOOL _bGetDatabaseList(CXYStringConcat<wchar_t>* out, CNAConnectionDescription* cnx, unsigned int flags);
  virtual BOOL _bGetDatabaseListQuery(CTStringConcatAW* out, CNAConnectionDescription* cnx, unsigned int flags);
  // FALSE, out untouched, when the name cannot be made a literal.
  virtual BOOL _bGetDatabaseTableListQuery(CTStringConcatAW* out, const wchar_t* database,
                                           CNAConnectionDescription* cnx, unsigned int flags);
  // Runs sql and joins its rows (columns fields separated by TAB) with separator (null or empty:
  // nothing between). out is emptied first and keeps the rows read before a failure.
  BOOL _bGetList(CXYStringConcat<wchar_t>* out, CNAConnectionDescription* cnx, const wchar_t* sql, unsigned int columns,
                 unsigned int fetchFlags, const wchar_t* separator);
  // The same joined with CR LF and stored into out whatever the result.
  BOOL _bGetList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* sql, unsigned int columns,
                 unsigned int fetchFlags);
  // out := text as a list (type 16, the NULL and 0x400 flags cleared).
  static void g_SetList(CAny* out, const wchar_t* text, unsigned int length);
  static void g_SetList(CAny* out, const CXYStringConcat<wchar_t>& text) { g_SetList(out, text.pszGet(), text.nGetLength()); }

  // ---- Counts (under the driver mutex) ----
  void AddRef();
  // The internal count left; the release that leaves no count at all deletes the service.
  int nRelease();
  int nGetRef() const { return m_nRef; }
  int nGetExternalRef() const { return m_nExternalRef; }

  // Runs sql on cnx in a new statement. *out gets it, with a reference for the caller, only when
  // the run succeeded with result columns; else *out is null (a text without columns succeeds).
  // FALSE without memory for a statement, or with the run's error in error.
  using INADriverSQL::bExecute;
  BOOL bExecute(CNAError* error, CNAStatementSQL** out, CNAConnectionDescription* cnx, const wchar_t* sql,
                CTabValParser* values, NA_WRITEPARSEFLAGS flags);
  // The open connection of that number, with a reference for the caller; null when none.
  CNAConnectionDescription* _pclGetConnection(int number);
  // A new connection registered (not opened) under the host description's identification and
  // ";SQLConnecte<n>", n drawn from m_gnCnxNameGenerator; with a reference for the caller.
  CNAConnectionDescription* _pclGetNewConnection(INAConnectionDescription* host);

  // The driver's end: the service stops reaching it.
  void _Detach() { m_pclDriver = nullptr; }
  BOOL bIsDetached() const { return m_pclDriver == nullptr; }
  DWORD dwGetStatementCount() const { return m_tabStatement.dwGetNumElement(); }

  // Connections opened by the services of the process; each open draws the next (the first is 1).
  static int m_gnCnxNameGenerator;

 private:
  // The frame of a connection operation: the lock, the error reset, the connection held for op.
  template <typename F>
  BOOL _bOnConnection(int number, F&& op);
  // The frame of a statement operation; bReset FALSE keeps every error as it is.
  template <typename F>
  BOOL _bOnStatement(int number, bool bReset, F&& op);
  void _ResetError();
  // Drops one of *count (one of the two counts); the last of both deletes the service.
  int _nDrop(int* count);

  int m_nRef = 0;
  int m_nExternalRef = 0;
  CNADriver* m_pclDriver;

 protected:
  // The service's error object (counted).
  CNAError* m_pclError;

 private:
  CNARefHashTable<int, CNAStatementSQL*> m_tabStatement{7};
};

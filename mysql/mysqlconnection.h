// CMySQLConnection: the MySQL connection. Made by the driver's connection factory, opened by the
// driver. It owns its client handle: every failure after mysql_init closes the handle and forgets
// it, and so does bClose; a call that needs the server without a handle raises user error 14.
//
// "Unix Socket", "Client Flag" and "Server Port" are taken out of the extended information once,
// at construction, and kept: every reopen (after bClose, or a reconnection) uses them again.
// The client's own reconnection is never turned on: a lost server is reported, never hidden.
// A lost session (2006, or 2013 during a query) inside an open transaction marks the transaction
// lost (CNAConnectionDescription::MarkTransactionLost); so does one whose last reply said a
// transaction may be open (in a transaction, or autocommit off: one the host opened by SQL text).
// Outside one, the statement that met it may close and reopen the connection by the same open
// road (CMySQLStatementSQL). While a loss is kept no text is sent (bPassLostTransaction); once
// the host ends it, the dead session is closed and the next call opens a new one. A session
// lost with autocommit off is replaced by one with autocommit off: the host's later roll-back
// must undo what it wrote since. No other setting the host made by text comes back. A deadlock
// inside a transaction is kept as a loss the same way, but its session lives on and stays.
//
// It knows the one statement whose streamed result is open on its handle (borrowed; the
// statement registers and deregisters itself): bClose has it free that result first, since the
// client reads the handle when it frees an unfinished streamed result. Stored results hold no
// handle and survive the close.
#pragma once

#include <cstdint>

#include <mariadb/mysql.h>

#include "driver/naconnectiondescription.h"
#include "sql/naitemtype.h"

class CTStringConcatAW;
class CMySQLStatementSQL;

class CMySQLConnection : public CNAConnectionDescription {
 public:
  CMySQLConnection(const wchar_t* identification, INAConnectionDescription* host);
  ~CMySQLConnection() override;

  BOOL bOpen(CNAError* error) override { return _bOpenCreate(error, 0); }
  // As bOpen; a missing database is created and selected.
  BOOL bOpenCreate(CNAError* error) override { return _bOpenCreate(error, 1); }
  BOOL bIsOpen() override { return m_bOpen; }
  // Closes an open connection (the handle goes); TRUE unless the close threw. The loss of a
  // transaction the host opened by SQL text goes with the session closed, and so does the
  // autocommit-off that a lost session hands to the next one.
  BOOL bClose(CNAError* error) override;

  // code = the client's last error number (0 none). FALSE when the call threw.
  BOOL bGetLastError(CNAError* error, unsigned int* code);
  // 2006 (gone away), 2013 (lost during the query) and 1153 (a text above the server's packet
  // limit, after which the server closes the session): the session is gone.
  static BOOL s_bSessionLost(unsigned int serverCode) {
    return serverCode == 2006 || serverCode == 2013 || serverCode == 1153;
  }
  // A deadlock: the server rolled back the session's whole transaction and the session goes on.
  static constexpr unsigned int kServerDeadlock = 1213;
  // Adds the client's last error as user error 22 (data source, number; the server's message as
  // user message; information 15) to error. Nothing when there is none. bGetLastError's result,
  // FALSE also when reading the message threw. A lost session marks an open transaction lost.
  BOOL bInitError(CNAError* error, unsigned int file, unsigned int site) override;
  // 1062 duplicate value (3), 1205 lock wait (2), 1048 NULL in a NOT NULL column (8), else 0.
  eNA_ERRORTYPE eGetNAErrorType(unsigned int serverError) override;
  // Runs the text; every result it produces is read and freed, so the connection is ready for
  // the next command. FALSE with the server's error when the text or a later result fails, and
  // with the conversion error, nothing sent, when the text holds a character a single-byte
  // connection has no byte for.
  BOOL bExecuteQueryNoResult(CNAError* error, const wchar_t* sql) override;
  // Runs the text in a statement of the SQL-function service, which reads its rows and steps
  // over its further results, then frees it: the connection is ready for the next text. FALSE
  // without the service.
  BOOL bExecuteQueryIgnoreResult(CNAError* error, const wchar_t* sql) override;

  // ---- Dialect (mysql/mysqldialect.cpp) ----
  // out = the SQL literal of a text (host types 17, 18, 19 narrow; 81, 16, 110 wide) or of bytes
  // (any other type), as narrow text in the connection's code page, escaped by the client on this
  // handle so that it holds in the server's current SQL mode. 1; 0 with out unchanged and user
  // error 14 without a handle, 12 without memory, the guard's error, 60 for a text the
  // connection's code page cannot carry (it converts to nothing), or the client's error (22)
  // when its escaper refuses the text (60 when it gives none).
  int _bEscapeString(CNAError* error, CTStringConcatAW* out, unsigned short valueType, unsigned char* data,
                     unsigned int size) override;
  // A narrow text of up to 256 bytes whose escape copies every character (no NUL, LF, CR,
  // backslash, quote or Ctrl-Z): quoted ASCII for a narrow or wide column, and for a wide column
  // under utf8 the host page's other bytes as the UTF-8 of their characters. Needs a handle, as
  // the escape does.
  bool bAppendPlainNarrowText(CXYStringConcat<char>* out, const char* text, unsigned int n, eNA_ITEMTYPE itemType,
                              eNA_ITEMTYPE itemType2) override;
  // "SELECT * FROM <table> FOR UPDATE", rows read and dropped.
  BOOL bSQLBloque(CNAError* error, const wchar_t* table) override;
  using CNAConnectionDescription::bSQLBloque;
  BOOL bDBTypeToString(CTString* out, int fieldType) const override;
  BOOL bSupportOrderByMemo() const override { return TRUE; }
  // IS NULL of a NOT NULL date or date-time column selects its zero dates as well.
  const wchar_t* pszDateIsNull() const override { return L" <=> NULL"; }
  // Not under NO_BACKSLASH_ESCAPES, which the last reply's status tells: the server then leaves
  // LIKE without an escape on some character sets (latin1) and not on others.
  BOOL bLikeEscapesByBackslash() const override {
    return m_pMySQL == nullptr || (m_pMySQL->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES) == 0 ? TRUE : FALSE;
  }
  BOOL bFormatTextBytes(CTString* out, const wchar_t* name) const override;
  BOOL bFormatServerText(CTString* out, int kind, const char* text, size_t length) const override;
  BOOL bFormatKeyBytesColumn(CTString* out, const wchar_t* name, const wchar_t* alias) const override;
  static BOOL bCharsetUnicode(unsigned int charset);
  // The item flags (NA_ITEM_SERVERFACTS) of what the server's description of a column says beyond
  // its item type, for every road that reads one: the client library's field type code (an ENUM
  // or SET may come as a string marked by ENUM_FLAG or SET_FLAG in fieldFlags) and the name of the
  // column's own character set ("binary" for bytes), null when the description does not give it
  // (a result's field gives the result's), which counts a text as wide.
  static uint32_t s_dwColumnFacts(int fieldType, unsigned int fieldFlags, const wchar_t* charset);
  // The item type and size of a result column of the server; bUnsigned: the field's UNSIGNED_FLAG.
  static void ConvertItemType(eNA_ITEMTYPE* type, unsigned int* size, int fieldType, unsigned int length,
                              int integerDigits, int decimals, unsigned int charset, BOOL bUnsigned = FALSE);

  // Before a text goes to the server: TRUE when no lost transaction stands in its way. While the
  // driver's lost transaction is open, FALSE with its error. While the host's own lost one is
  // kept, a COMMIT text is refused with its error and a ROLLBACK text goes on, both ending the
  // loss (the dead session closed, the next text opening a new one); any other text: FALSE.
  BOOL bPassLostTransaction(CNAError* error, const char* text, unsigned long length, unsigned int file, int site);
  // After a failed text: a COMMIT or ROLLBACK that met the loss of the host's own transaction
  // ended it (_EndTransactionLoss).
  void EndLostTransactionByText(const char* text, unsigned long length);
  void EndLostTransactionByText(const wchar_t* text, size_t length);
  // The server's status flags of its last reply are kept: a loss decides from them whether a
  // transaction may have gone with the session.
  void NoteServerStatus() {
    if (m_pMySQL != nullptr) m_nServerStatus = m_pMySQL->server_status;
  }
  // The client handle; null while closed.
  MYSQL* pGetHandle() const { return m_pMySQL; }
  // A session lost outside a transaction whose reopening failed (the server was away): the next
  // call that needs the server opens again, once per call, so that the connection works again
  // once the server is back. Cleared by any close and by a successful open.
  void SetReopenWanted() { m_bReopenWanted = 1; }
  // TRUE with a handle. Without one: when a reopening is wanted and no transaction is open or
  // lost, one open (FALSE with the open road's error when it fails); else user error 14.
  BOOL bHandleOrReopen(CNAError* error, unsigned int file, int site);
  // statement's streamed result is open on the handle (null: none is); a statement clears only
  // its own registration.
  void SetStreamedResult(CMySQLStatementSQL* statement) { m_pclStreamed = statement; }
  void ClearStreamedResult(const CMySQLStatementSQL* statement) {
    if (m_pclStreamed == statement) m_pclStreamed = nullptr;
  }
  int nGetPort() const { return m_nPort; }
  int nGetClientFlag() const { return m_nClientFlag; }
  BOOL bGetUnixSocket(CTString* socket) const;

  // Client 4.1 or later: by its version text, or by exporting mysql_next_result and
  // mysql_set_character_set (newer libraries number themselves from 3).
  static BOOL bClientVersionGreaterThan4_1();
  BOOL bServerVersionGreaterThan4_1() const;
  BOOL bServerVersionGreaterThan4_1_2() const;
  static BOOL bMultipleRecordsetEnabled();
  static void g_TermNativeLibrary() {}

  // Set by the first load when the library exports mysql_next_result.
  static int gbUseNextResult;

 protected:
  void _InitKJ2NativeType() override;
  // The loss is forgotten, the dead session closed, and the next call opens a new one.
  void _EndTransactionLoss() override;

 private:
  BOOL _bOpenCreate(CNAError* error, int bCreate);
  // bClose keeping what a lost session hands to the next one.
  BOOL _bCloseSession(CNAError* error);
  BOOL _bLoadClientLibrary(CNAError* error);
  BOOL _bGetClientLibraryVersion(CNAError* error);
  BOOL _bProcessUnicodeCnxParameters(CNAError* error, int bSSL, const wchar_t* const texts[10]);
  BOOL _bSetSSLParameters(CNAError* error, const wchar_t* const ssl[5]);
  BOOL _bOpenCreateDatabase(CNAError* error, int bCreate, const wchar_t* host, const wchar_t* user,
                            const wchar_t* password, const wchar_t* database, const wchar_t* socket);
  BOOL _bConnect(CNAError* error, int site, const wchar_t* host, const wchar_t* user, const wchar_t* password,
                 const wchar_t* database, const wchar_t* socket);
  BOOL _bGetServerVersion(CNAError* error);
  void _SwitchServerToUTF8();
  // Closes and forgets the handle after a failed open; FALSE.
  BOOL _bAbandon();
  // After a text of its own (BEGIN, a savepoint, a lock) met a lost session outside any
  // transaction: the dead session closed, so that the next call opens a new one instead of
  // failing on it too.
  void _LetLostSessionGo();
  // bHandleOrReopen with this file's number.
  BOOL _bHasHandle(CNAError* error, int site);
  template <typename F>
  BOOL _bCall(CNAError* error, int site, F&& call);
  // One option given to the client before the connect; a refusal raises user error 76 (FALSE).
  BOOL _bSetOption(CNAError* error, int site, enum mysql_option option, const void* value);

  // The fuzz targets hand the connection a client handle that reached no server.
  friend struct CMySQLConnectionTestAccess;

  int m_bOpen = 0;
  int m_bReopenWanted = 0;
  // The session was lost with autocommit off: the next open turns it off. Cleared by that open
  // and by bClose.
  int m_bAutocommitOffLost = 0;
  // The status flags of the session's last reply (SERVER_STATUS_*); a fresh session's after an
  // open and after a loss.
  unsigned int m_nServerStatus = SERVER_STATUS_AUTOCOMMIT;
  MYSQL* m_pMySQL = nullptr;
  CMySQLStatementSQL* m_pclStreamed = nullptr;
  CTString m_csUnixSocket;
  int m_nClientFlag = 0;
  int m_nPort = 0;
  // The UTF-8 of the host page's bytes 0x80-0xFF as a narrow text cast to wide gives them (length
  // in [3], 0: the cast refuses the byte), for the page m_nHighBytesPage (0: not made).
  unsigned char m_abyHighBytes[128][4] = {};
  int m_nHighBytesPage = 0;
};

// CNAConnectionDescription: the driver's object for one server connection, made by the backend's
// factory when the driver meets a new identification text, kept in the driver's connection
// registry and counted like every CInterf. It holds one reference on the host's description for
// its whole life. Opening, closing and the open state belong to the backend.
//
// Settings are taken once, at construction, from the host's extended information: the driver's
// keys are removed from its copy, the rest stays for the backend. Numbers that do not fit an int
// saturate; a value that starts with no digit reads 0.
//
// The identification text holds the password: it is a registry key and nothing else, never
// written to an error, a dump or a debug line.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/ctstring.h"
#include "common/interf.h"
#include "driver/inaerror.h"
#include "driver/nahost.h"
#include "driver/nareadstamp.h"

class CNAError;
class CXError;
class CNADriver;
class CNATransaction;
class CNAMapConvertType;
class INAItemDescription;
class ISQLParserInformation;
class CAny;
class CTStringConcatAW;
template <typename T>
class CXYStringConcat;
class CXTime;
class CLiteralText;
class CNAItemDescription;
template <typename T>
class CXYString;
enum eNA_ITEMTYPE : int32_t;

enum eCURSORLOCATION : int { CURSORLOCATION_DEFAULT = 0, CURSORLOCATION_CLIENT = 1, CURSORLOCATION_SERVER = 2 };

class CNAConnectionDescription : public CInterf {
 public:
  // Draws the next connection id, takes a reference on the host description and reads the
  // settings.
  CNAConnectionDescription(const wchar_t* identification, INAConnectionDescription* host);
  ~CNAConnectionDescription() override;
  CNAConnectionDescription(const CNAConnectionDescription&) = delete;
  CNAConnectionDescription& operator=(const CNAConnectionDescription&) = delete;

  // TRUE when open, also when it was open already; the reason of a failure goes to error.
  virtual BOOL bOpen(CNAError* error) = 0;
  virtual BOOL bIsOpen() = 0;
  virtual BOOL bClose(CNAError* error) = 0;
  // Opens, creating what the backend allows; generic: bOpen.
  virtual BOOL bOpenCreate(CNAError* error) { return bOpen(error); }
  // Turns the server's last error into a driver error; generic: nothing, FALSE.
  virtual BOOL bInitError(CNAError*, unsigned int, unsigned int) { return FALSE; }
  virtual eNA_ERRORTYPE eGetNAErrorType(unsigned int) { return NA_ERRORTYPE_DEFAULT; }
  // Adds the versions, the loaded library and the settings (never the password) to an error
  // being raised.
  virtual void AddInfoNativeXError(CXError* e);
  // Runs a statement whose rows are not wanted. Generic: in a statement of the SQL-function
  // service's factory, freed at once; FALSE without an error of its own when there is no factory.
  virtual BOOL bExecuteQueryNoResult(CNAError* error, const wchar_t* sql);
  virtual BOOL bExecuteQueryIgnoreResult(CNAError* error, const wchar_t* sql) {
    return bExecuteQueryNoResult(error, sql);
  }
  // The 0-based column of the first row of sql into out, left untouched when there is no row
  // (TRUE). Runs like bExecuteQueryNoResult.
  virtual BOOL bGetRequestedValue(CNAError* error, CAny* out, int column, const wchar_t* sql);
  // The same as text: empty for NULL; out untouched when there is no row or the value has no text.
  BOOL bGetRequestedValueString(CNAError* error, CTString* out, int column, const wchar_t* sql);
  // Major, minor and release of the server version text; FALSE when it starts with no digit.
  virtual BOOL _bDecomposeServerVersion(CNAError* error);
  void AddInfoNative(CNAError* error);

  // ---- Dialect features (driver/nadialect.cpp) ----
  int nGetDataSource() const { return m_eDataSource; }
  BOOL bSupportSubQuery() const;
  BOOL bSupportLimitOrTop() const;
  virtual BOOL bTreat0000DateAsNULL() const;
  // -1: no limit.
  int nGetVarCharMaxLen() const;
  int nGetNVarCharMaxLen() const;
  // Digits of milliseconds written in time literals.
  int nGetTimeMillisecondDigits() const;
  const wchar_t* pszGetVarCharType() const;
  const wchar_t* pszGetNVarCharType() const;
  const wchar_t* pszGetCLOBType() const;
  const wchar_t* pszGetNCLOBType() const;
  virtual int nGetOrderByMaxExpressionNbr() const;
  virtual BOOL bSupportOrderByMemo() const { return FALSE; }
  virtual BOOL bOrderByIndiceAllowed() const { return TRUE; }
  // out = an expression of the text column name that sorts and compares by its bytes (no case
  // or trailing-blank folding); FALSE when the server has none, and out is left empty.
  virtual BOOL bFormatTextBytes(CTString* out, const wchar_t* name) const;
  // out = a literal (ASCII) of the value whose server text, as the connection received it, is
  // text: kind is an eNASERVERTEXT (sql/naservertext.h). FALSE when the server has none, and out
  // is left empty.
  virtual BOOL bFormatServerText(CTString* out, int kind, const char* text, size_t length) const;
  // out = a SELECT list entry of the text column name's value as UTF-8 bytes, named alias (an
  // expression of them without alias); FALSE when the server has none, and out is left empty.
  virtual BOOL bFormatKeyBytesColumn(CTString* out, const wchar_t* name, const wchar_t* alias) const;
  virtual BOOL bTransactionEndCloseParse() const { return FALSE; }
  virtual BOOL bTreatEmptyDateAsNULL() const { return TRUE; }
  virtual BOOL bSupportItemTime() const { return FALSE; }
  virtual BOOL bSupportItemDate() const { return FALSE; }
  virtual BOOL bNULLBeforeNotNULL() const { return TRUE; }
  // What follows a column's name to select its NULLs when the column may be a date the server
  // holds NOT NULL, where " IS NULL" may select more than NULLs.
  virtual const wchar_t* pszDateIsNull() const { return L" IS NULL"; }
  // A LIKE without ESCAPE takes the backslash as its escape in the session's present SQL mode.
  virtual BOOL bLikeEscapesByBackslash() const { return TRUE; }
  virtual BOOL bSupportInsertReturning() const { return FALSE; }
  virtual BOOL bCanPrepareQuery() const { return TRUE; }
  virtual BOOL bIndexNamesCommonOnDatabase() const { return FALSE; }
  // The name of a server column type code; FALSE when the backend has none.
  virtual BOOL bDBTypeToString(CTString*, int) const { return FALSE; }
  // Whether the server does not know its own column type code.
  virtual BOOL bDBTypeUnkwnownByDB(int) const { return FALSE; }

  // Major, minor and patch read from text cut at "."; reading stops at the first piece without
  // a number, the later outputs keep their values. TRUE.
  static BOOL g_bDecomposeVersion(CNAError* error, const CTString* text, int* major, int* minor, int* patch);
  // The item type and size of a server column type text (any case; charset: the column's
  // collation or character set, may be null). Numbers are read after the matched name only.
  // TRUE.
  BOOL bSQLTypeNameToNAType(CNAError* error, eNA_ITEMTYPE* type, unsigned int* size, unsigned int* integerDigits,
                            unsigned int* decimalDigits, const wchar_t* declaration, const wchar_t* charset);
  // The size in "<keyword>(n)" at the start of declaration; 1 when there is no such single size.
  static int _nGetSizeInTypeDecl(const wchar_t* declaration, const wchar_t* keyword);
  // The column type text for item; FALSE with error 46 for a Unicode item the connection does
  // not allow.
  BOOL bGetMatchingSQLType(CNAError* error, INAItemDescription* item, CTString* out);

  // ---- Literals and date-time expressions (driver/naliteral.cpp) ----
  // Writers empty out first and answer TRUE on success; out holds nothing useful after a failure.
  // out = the SQL literal of value, brought first to the host type of the item type (itemType2
  // when itemType is 0). A real that is not finite is refused (cast error, kind 16).
  virtual BOOL bConvertValueToString(CNAError* error, CTStringConcatAW* out, const CAny* value, eNA_ITEMTYPE itemType,
                                     eNA_ITEMTYPE itemType2);
  // Whether n characters of text (n below 0: up to its terminator) hold one the connection's
  // code page has no bytes for, which its narrowing would turn into '?' (on UTF-8: a surrogate or
  // a code point past U+10FFFF).
  bool bTextLostInPage(const wchar_t* text, int n) const;
  // The host's SQL text as given (n as above) is refused rather than sent with '?' in place of a
  // character: TRUE with the conversion error (user error 60) in error, as a value is refused.
  BOOL bRefuseTextLost(CNAError* error, const wchar_t* text, int n);
  // Whether a wide text value cast to the narrow text type target would lose a character the
  // connection's single-byte code page has no byte for (never on UTF-8).
  bool _bWideTextLostInPage(const CAny& value, unsigned short target) const;
  // A wide text value a single-byte connection cannot carry whole (a value sought where no
  // literal is written) is refused as its literal would be: TRUE with user error 60 in error.
  BOOL bRefuseWideTextLost(CNAError* error, const CAny& value);
  // The same for a cast to the narrow text type target.
  BOOL bRefuseWideTextLost(CNAError* error, const CAny& value, unsigned short target);
  // What this class's bConvertValueToString writes for a narrow dynamic string of the n bytes at
  // text, which holds no NUL and has one after it: 1 written, 0 failed as it fails, -1 (nothing
  // written) where only the value itself can tell (a cast the host makes).
  int nNarrowTextToString(CNAError* error, CTStringConcatAW* out, const char* text, unsigned int n,
                          eNA_ITEMTYPE itemType, eNA_ITEMTYPE itemType2);
  // What this class's bConvertValueToString writes for a DATETIME value of these size bytes (a
  // host date-time) for those item types, appended to out, where the bytes alone tell it: no cast
  // and the fixed layout. false, out untouched, elsewhere.
  bool bDateTimeFieldsLiteral(const unsigned char* element, unsigned int size, eNA_ITEMTYPE itemType,
                              eNA_ITEMTYPE itemType2, CLiteralText* out) const;
  // Appends to out, a narrow builder of an ASCII code page, what this class's
  // bConvertValueToString writes for an integer value that needs no cast: true; false, out
  // untouched, elsewhere (NULL, another type, a cast, a wide or other builder).
  static bool s_bAppendIntegerLiteral(CTStringConcatAW* out, const CAny* value, eNA_ITEMTYPE itemType,
                                      eNA_ITEMTYPE itemType2);
  // The same digits into *digits, out not written (it only tells the form): true where
  // s_bAppendIntegerLiteral would append them.
  static bool s_bIntegerLiteral(const CTStringConcatAW& out, const CAny* value, eNA_ITEMTYPE itemType,
                                eNA_ITEMTYPE itemType2, CLiteralText* digits);
  // Appends to out, as bytes of the server's code page, what nNarrowTextToString writes for the
  // same text where the dialect knows it has nothing to escape: true; false, out untouched,
  // elsewhere (here: always).
  virtual bool bAppendPlainNarrowText(CXYStringConcat<char>*, const char*, unsigned int, eNA_ITEMTYPE, eNA_ITEMTYPE) {
    return false;
  }
  // Brings value in place to the host type of the item type; FALSE with the cast error (kind 14
  // time text, 15 date or time, 16 other) when it does not convert. strict 0 leaves numbers the
  // target can hold.
  virtual BOOL bCastCAnyIntoDBType(CNAError* error, CAny* value, eNA_ITEMTYPE itemType, eNA_ITEMTYPE itemType2,
                                   int strict);
  // value as wide text; empty when it does not convert or is NULL. TRUE.
  BOOL bCopyString(CNAError* error, CXYString<wchar_t>* out, const CAny* value);
  // The quoted, escaped literal of size bytes of a text (16, 20, 81, 110 wide) or of bytes; never
  // reads past size, a narrow text ends at its first NUL.
  virtual int _bEscapeString(CNAError* error, CTStringConcatAW* out, unsigned short hostType, unsigned char* bytes,
                             unsigned int size);
  virtual BOOL _bBoolToString(CNAError* error, CTStringConcatAW* out, int value);
  virtual BOOL _bDateToString(CNAError* error, CTStringConcatAW* out, const CAny* value, eNA_ITEMTYPE itemType);
  BOOL _bDateToString(CNAError* error, CTStringConcatAW* out, const CAny* value, int escape, eNA_ITEMTYPE itemType);
  // The text forms take a whole quoted literal and only wrap it in the escape form.
  BOOL _bDateToString(CNAError* error, CTStringConcatAW* out, const wchar_t* text, int escape);
  BOOL _bDateToString(CNAError* error, CTStringConcatAW* out, CXTime& time, int escape);
  BOOL _bDateTimeToString(CNAError* error, CTStringConcatAW* out, const wchar_t* text, int escape);
  BOOL _bDateTimeToString(CNAError* error, CTStringConcatAW* out, CXTime& time, int escape);
  BOOL _bTimeToString(CNAError* error, CTStringConcatAW* out, CXTime& time, int escape);
  // The dialect's literal of a time, of a date-time (zero: its date part is all zeros; a year 0
  // of dialect 2 is set to 0 in time), appended to out (escape: in its escape form).
  void _TimeLiteral(const CXTime& time, int escape, CLiteralText* out) const;
  void _DateTimeLiteral(CXTime& time, bool zero, int escape, eNA_ITEMTYPE itemType, CLiteralText* out) const;
  // Two upper-case digits a byte, terminated (out holds 2 * count + 1 units).
  static void s_BinaryToStringHexa(const unsigned char* bytes, unsigned int count, wchar_t* out);
  static void s_BinaryToStringHexa(const unsigned char* bytes, unsigned int count, char* out);
  static BOOL s_bBinaryToStringHexa(CNAError* error, const unsigned char* bytes, unsigned int count,
                                    CTStringConcatAW* out);
  // Zeroes size bytes of out, then fills at most size bytes from digit pairs, high digit first,
  // up to a NUL in either place; a character that is not a hexadecimal digit counts as 0.
  static void s_StringHexaToBinary(const wchar_t* text, unsigned char* out, unsigned int size);
  static void s_StringHexaToBinary(const char* text, unsigned char* out, unsigned int size);
  // Removes ":", "-", " ", "/" and ".".
  static void s_DateStandardise(CTString* text);
  // Up to 9 digits HHMMSSmmm as "HH:MM:SS<separator>mmm", ending after the last digit given.
  static BOOL s_bTimeToStringIncomplete(CNAError* error, CTStringConcatAW* out, const wchar_t* digits,
                                        wchar_t separator);
  // The dialect's SQL expression giving a date or time column as the host's digit text; FALSE,
  // with expression copied, for an item it has no form for.
  BOOL bConvertExpressionToString(CNAError* error, CTStringConcatAW* out, const wchar_t* expression,
                                  INAItemDescription* item, INAItemDescription* item2);
  BOOL _bConvertToString_Date8(CTStringConcatAW* out, const wchar_t* x);
  BOOL _bConvertToString_DateTime(CTStringConcatAW* out, const wchar_t* x, INAItemDescription* item2);
  BOOL _bConvertToString_Heure4(CTStringConcatAW* out, const wchar_t* x);
  BOOL _bConvertToString_Heure6(CTStringConcatAW* out, const wchar_t* x, int n);
  BOOL _bConvertToString_Heure9(CTStringConcatAW* out, const wchar_t* x, int n, INAItemDescription* item2);
  // out takes the item's host type and the value of a column default written as text.
  BOOL bConvertStringToDefaultValue(CAny* out, const wchar_t* text, CNAItemDescription* item, CNAError* error);

  // ---- Identifiers ----
  // A name counts as quoted only when it starts and ends with the quotes and every closing
  // quote inside is doubled: anything else is quoted again, so no name ends its identifier.
  BOOL _bNeedFormatName(CNAError* error, const wchar_t* name) const;
  static BOOL s_bNeedFormat_Oracle(const wchar_t* name);
  static BOOL s_bReservedSQLWord(const wchar_t* name);
  // out = name, or quoted with every closing quote inside doubled: TRUE. When the quoted name
  // cannot be allocated: out empty, the no-memory error on error, FALSE.
  BOOL bFormatItemName(CNAError* error, const wchar_t* name, CTString* out) const;
  // Each "."-separated piece quoted as an item; a "." inside a quoted piece does not separate.
  BOOL bFormatTableName(CNAError* error, const wchar_t* name, CTString* out) const;
  // A quoted name without its quotes and with its doubled closing quotes made single; any other
  // name as it is. name may be out's own text.
  void UnFormatItemName(const wchar_t* name, CTString* out) const;
  static void DecomposeTableName(CTString* first, CTString* second, CTString* table, const wchar_t* name);
  static BOOL bExtractOwner(const wchar_t* owner, const wchar_t* name, CTString* ownerOut, CTString* tableOut);

  // ---- Operations and transactions (driver/natransaction.cpp) ----
  virtual BOOL bTransactionBeginDirect(CNAError* error);
  virtual BOOL bTransactionCommitDirect(CNAError* error);
  virtual BOOL bTransactionRollBackDirect(CNAError* error);
  // "<verb> <the savepoint name of depth>", for nested transactions.
  BOOL bSavepointDirect(CNAError* error, const wchar_t* verb, int depth);
  // A new transaction on this connection, not yet referenced; null without memory.
  virtual CNATransaction* pclAllocTransaction();
  // Opens the connection when it is closed. A begin while a transaction is active opens a
  // nested one (or, nested transactions off, is counted). No transaction object to be had: the
  // no-memory error, FALSE.
  BOOL bTransactionBegin(CNAError* error, const wchar_t* name);
  // FALSE with error 9 before any begin. A commit or roll-back whose SQL failed leaves the
  // transaction inactive and answers FALSE: with a dropped connection its outcome is unknown.
  // While the loss of a transaction the host's SQL text opened is kept, both end it: the
  // roll-back answers TRUE, the commit FALSE with the loss (320104).
  BOOL bTransactionCommit(CNAError* error, const wchar_t* name);
  BOOL bTransactionRollBack(CNAError* error, const wchar_t* name);
  void _CloseTransactions();
  BOOL _bTransactionEnd(CNAError* error, const wchar_t* name, bool bCommit);
  // The server session was lost (serverCode, message): when a transaction is open, its work went
  // with the session; so it did when the session's last reply said one may have been open
  // (sessionTransaction: one the host opened by its own SQL text). The first loss is kept until
  // a commit or roll-back leaves no level of the driver's transaction active, a new outermost
  // one begins, or (for the session's own) the host ends it by its entries or its texts;
  // meanwhile commits and savepoint releases answer FALSE with it (a reopened session would
  // commit nothing and say TRUE), roll-backs send nothing and answer TRUE, and statements never
  // reopen.
  void MarkTransactionLost(unsigned int serverCode, const wchar_t* message, bool sessionTransaction = false);
  BOOL bTransactionLost() const { return m_nTransactionLost != 0; }
  // The kept loss is of a transaction the host opened by SQL text, not of the driver's.
  BOOL bSessionTransactionLost() const { return m_nTransactionLost != 0 && m_bSessionTransactionLost != 0; }
  // The kept loss into error, with its server code as information 15: user error 320103 naming
  // the driver's transaction, or 320104 naming the database for the session's own; FALSE.
  BOOL bRaiseTransactionLost(CNAError* error, int file, int site);
  // The kept loss is over: the next statement may reopen the session.
  void _ForgetTransactionLoss() {
    m_nTransactionLost = 0;
    m_bSessionTransactionLost = 0;
  }
  // The host ended the kept loss: forgotten, and a backend lets the dead session go so that the
  // next statement opens a new one at once.
  virtual void _EndTransactionLoss() { _ForgetTransactionLoss(); }
  virtual void _CancelRecordLock(CNATransaction*) {}
  // "LOCK TABLE <table>".
  virtual BOOL bSQLBloque(CNAError* error, const wchar_t* table);
  virtual BOOL bSQLBloque(CNAError*, ISQLParserInformation*) { return FALSE; }
  // "<sql> FOR UPDATE", rows read and dropped.
  virtual BOOL bSQLBloqueRequete(CNAError* error, const wchar_t* sql);
  // Not supported here: error 8.
  virtual BOOL bDiagnose(CNAError* error, CAny* result, const wchar_t* table, unsigned int flags);

  // The identifier quotes of the dialect (empty when it has none).
  const wchar_t* pszGetQuoteOpen() const { return m_csQuoteOpen.pszGet(); }
  const wchar_t* pszGetQuoteClose() const { return m_csQuoteClose.pszGet(); }
  // What an escaped "%" and an escaped "_" of a LIKE pattern become on dialect 3: a text, its
  // prefix and its suffix each. Nothing in this system fills them.
  enum eLIKEESCAPE : int {
    LIKE_PERCENT, LIKE_PERCENT_PREFIX, LIKE_PERCENT_SUFFIX,
    LIKE_UNDERSCORE, LIKE_UNDERSCORE_PREFIX, LIKE_UNDERSCORE_SUFFIX, LIKE_ESCAPE_COUNT
  };
  const wchar_t* pszGetLikeEscape(eLIKEESCAPE text) const { return m_tabLikeEscape[text].pszGet(); }

  const wchar_t* pszGetIdentification() const { return m_csIdentification.pszGet(); }
  unsigned int nGetConnectionID() const { return m_nConnectionID; }
  INAConnectionDescription* piGetHostDescription() const { return m_piHost; }

  // ---- Settings ----
  int nGetConnectionTimeout() const { return m_nConnectionTimeout; }
  int nGetCommandTimeout() const { return m_nCommandTimeout; }
  int nGetLockTimeout() const { return m_nLockTimeout; }
  long long llGetCacheSize() const { return m_llCacheSize; }
  eCURSORLOCATION eGetCursorLocation() const { return m_eCursorLocation; }
  int bGetUnicodeSupport() const { return m_bUnicodeSupport; }
  const wchar_t* pszGetNoLockHint() const { return m_csRecordLock.pszGet(); }
  const wchar_t* pszGetSSLMode() const { return m_csSSLMode.pszGet(); }
  const wchar_t* pszGetSSLKey() const { return m_csSSLKey.pszGet(); }
  const wchar_t* pszGetSSLCert() const { return m_csSSLCert.pszGet(); }
  const wchar_t* pszGetSSLCA() const { return m_csSSLCA.pszGet(); }
  const wchar_t* pszGetSSLCAPath() const { return m_csSSLCAPath.pszGet(); }
  const wchar_t* pszGetSSLCipher() const { return m_csSSLCipher.pszGet(); }
  const wchar_t* pszGetClientVersionWanted() const { return m_csClientVersionWanted.pszGet(); }
  const wchar_t* pszGetClientLibrary() const { return m_csClientLibraryWanted.pszGet(); }
  // The extended information without the driver's keys.
  const wchar_t* pszGetExtendedInfo() const { return m_csExtendedInfo.pszGet(); }
  // Provider, extended information (whole), data source, user and password as the host gave them.
  const wchar_t* pszGetConnectionString() const { return m_csConnectionString.pszGet(); }
  int nGetHostCodePage() const { return m_nHostCodePage; }
  int nGetServerCodePage() const { return m_nServerCodePage; }
  // Moves whenever any connection's code pages are set: a reader that kept them (a statement's
  // row binding) knows them unchanged while it stays.
  static unsigned int s_nCodePageStamp() { return CNAReadStamp::nNow(); }
  const wchar_t* pszGetServerVersion() const { return m_csServerVersion.pszGet(); }
  int nGetServerVersionMajor() const { return m_nServerVersionMajor; }
  int nGetServerVersionMinor() const { return m_nServerVersionMinor; }
  int nGetServerVersionPatch() const { return m_nServerVersionPatch; }

  // ---- Asked of the host description at each call ----
  const wchar_t* pszGetUserName() const { return m_piHost->pszGetUserName(); }
  const wchar_t* pszGetPassword() const { return m_piHost->pszGetPassword(); }
  const wchar_t* pszGetDataBase() const { return m_piHost->pszGetDataBase(); }
  const wchar_t* pszGetDescription() const { return m_piHost->pszGetDescription(); }
  eNA_ACCESS eGetAccess() const { return m_piHost->eGetAccess(); }
  long lGetCursorOptions() const { return m_piHost->lGetCursorOptions(); }
  const wchar_t* pszGetDefaultDataBase() const { return m_piHost->pszGetDefaultDataBase(); }
  const wchar_t* pszGetLogicalConnectionName() const { return m_piHost->pszGetLogicalConnectionName(); }
  // The text of the host's connection-name object; "" without one.
  const wchar_t* pszGetConnectionName() const;

  // value = the key's value in the extended information (empty when absent), *found whether it
  // is there; bRemove takes the pair out. TRUE.
  BOOL _bGetExtendedParameter(CTString* value, int* found, const wchar_t* key, int bRemove);
  BOOL _bGetExtendedParameter(CTString* value, const wchar_t* key, int bRemove) {
    return _bGetExtendedParameter(value, nullptr, key, bRemove);
  }
  // "Initial Catalog" of the extended information, else of the provider text, else the host's
  // default database; kept once found.
  const wchar_t* pszGetDefaultDataBaseEx();
  // "Application Name", else the executable's name, else "Morvex Quenda".
  const wchar_t* pszGetApplicationName();
  // TRUE when no library is wanted or the loaded one is it (same path, or same file name for a
  // bare wanted name); else error 74.
  BOOL _bCheckClientLibraryWanted(CNAError* error);

  // TRUE when a close was requested and no transaction keeps the connection.
  BOOL bAutoCloseEnabled() const;
  BOOL _bTransactionOpened() const;
  // How many transactions of the chain are active: 0 outside one, 2 inside a nested one.
  int nOpenTransactions() const;
  // TRUE without an active transaction; else the low bit of the transaction's own answer.
  BOOL bResumeCurrentTransaction(CNAError* error);
  BOOL bActiveCurrentTransaction(CNAError* error, int active);

  BOOL bIsCloseRequested() const { return m_bCloseRequested; }
  // Set on the connections the SQL-function service opens.
  BOOL bIsSQLService() const { return m_bSQLService; }
  void SetSQLService(BOOL bSQLService) { m_bSQLService = bSQLService ? 1 : 0; }
  unsigned int nGetOpenCount() const { return m_nOpenCount; }

  // The running executable's path; FALSE when there is none.
  static BOOL g_bGetModuleFileName(HINSTANCE__* module, CTString* out);
  // That path's file name without directory and extension.
  static BOOL g_bGetExeName(CTString* out);
  static const wchar_t* s_pszGetCursorLocation(eCURSORLOCATION location);
  // The number of a setting's text, saturated at the int limits.
  static int s_nSettingNumber(const CTString& text);

  // Process-wide, touched under the driver mutex only: the connection-id counter, the loaded
  // client library's path and version text, and its version numbers (-1 until loaded).
  static unsigned int m_gnCnxGenerator;
  static CTString m_csClientVersion;
  static CTString m_csClientLibrary;
  static int m_nClientVersionMajor;
  static int m_nClientVersionMinor;

 protected:
  void _InitCodePageFromZV();
  void SetHostCodePage(int page) {
    m_nHostCodePage = page;
    CNAReadStamp::nMove();
  }
  void SetServerCodePage(int page) {
    m_nServerCodePage = page;
    CNAReadStamp::nMove();
  }

  int m_bUnicodeSupport = 1;

 private:
  // Set through the two setters only, which move the stamp.
  int m_nHostCodePage = -1;
  int m_nServerCodePage = -1;

 protected:
  int m_eDataSource = 0;
  CTString m_csServerVersion;
  int m_nServerVersionMajor = -1;
  int m_nServerVersionMinor = 0;
  int m_nServerVersionPatch = 0;
  CTString m_csQuoteOpen;
  int m_nQuoteOpenLength = 0;
  CTString m_csQuoteClose;
  int m_nQuoteCloseLength = 0;
  CTString m_tabLikeEscape[LIKE_ESCAPE_COUNT];
  // Adds the backend's entries to the type map once it holds the generic ones.
  virtual void _InitKJ2NativeType() {}
  CNAMapConvertType* m_pclMapConvertType = nullptr;
  int m_bUnicodeTypes = 1;
  CNATransaction* m_pclTransaction = nullptr;
  // 1: a begin inside a transaction opens a nested one; 0: begins are counted.
  int m_bNestedTransactions = 1;
  int m_nBeginCounter = 0;
  // The server code and message of a loss inside a transaction; 0 when none is kept.
  unsigned int m_nTransactionLost = 0;
  CTString m_csTransactionLost;
  int m_bSessionTransactionLost = 0;

 private:
  // The driver's registry opens, closes and counts.
  friend class CNADriver;

  void _BuildConnexionString();
  void _ReadSettings();

  unsigned int m_nConnectionID;
  INAConnectionDescription* m_piHost;
  CTString m_csIdentification;
  CTString m_csConnectionString;
  int m_bAutoClose = 1;
  CTString m_csDefaultDataBase;
  long long m_llCacheSize = -2;
  eCURSORLOCATION m_eCursorLocation = CURSORLOCATION_DEFAULT;
  CTString m_csExtendedInfo;
  int m_nConnectionTimeout = -1;
  int m_nCommandTimeout = -1;
  int m_nLockTimeout = -1;
  CTString m_csRecordLock;
  CTString m_csSSLMode, m_csSSLKey, m_csSSLCert, m_csSSLCA, m_csSSLCAPath, m_csSSLCipher;
  CTString m_csClientVersionWanted;
  CTString m_csClientLibraryWanted;
  CTString m_csApplicationName;
  // Set until an open succeeds and again by each close: the last user's release then closes and
  // unregisters the connection.
  int m_bCloseRequested = 1;
  // Successful opens not yet matched by a close: only these may give back an open reference.
  unsigned int m_nOpenCount = 0;
  int m_bSQLService = 0;
};

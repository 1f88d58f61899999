#include "mysql/mysqlconnection.h"

#include <climits>
#include <cwchar>

#include "common/str_charclass.h"
#include "driver/mysqlapi.h"
#include "driver/nadriver.h"
#include "driver/nadriversql.h"
#include "driver/naerror.h"
#include "driver/nafunctionloader.h"
#include "mysql/mysqlguard.h"
#include "mysql/mysqlstatementsql.h"
#include "platform/xerror.h"

int CMySQLConnection::gbUseNextResult = 0;

namespace {

constexpr int kFile = NA_SRC_MYSQL_CONNECTION;

// Raise sites of this file.
enum {
  kSiteClose = 1,
  kSiteErrno,
  kSiteError,
  kSiteQuery,
  kSiteStore,
  kSiteFree,
  kSiteNext,
  kSiteClientInfo,
  kSiteInit,
  kSiteInitNull,
  kSiteOptions,
  kSiteUnicode,
  kSiteSSLMissing,
  kSiteSSL,
  kSiteConnect,
  kSiteConnectNoDatabase,
  kSiteUseDatabase,
  kSiteServerInfo,
  kSiteCharset,
  kSiteNoHandle,
  kSiteLatin1,
  kSiteTimeout,
  kSiteLost,
};

const wchar_t* NullIfEmpty(const wchar_t* s) { return s != nullptr && *s != 0 ? s : nullptr; }

// `name` with its backquotes doubled.
CTString BackQuoted(const wchar_t* name) {
  CTString out(L"`");
  for (const wchar_t* p = name; p != nullptr && *p != 0; ++p) {
    if (*p == L'`') out.Add(L'`');
    out.Add(*p);
  }
  out.Add(L'`');
  return out;
}

}  // namespace

CMySQLConnection::CMySQLConnection(const wchar_t* identification, INAConnectionDescription* host)
    : CNAConnectionDescription(identification, host) {
  m_eDataSource = 5;
  m_csQuoteOpen = L"`";
  m_csQuoteClose = L"`";
  m_nQuoteOpenLength = m_nQuoteCloseLength = 1;
  CTString value;
  _bGetExtendedParameter(&m_csUnixSocket, L"Unix Socket", 1);
  _bGetExtendedParameter(&value, L"Client Flag", 1);
  m_nClientFlag = s_nSettingNumber(value);
  _bGetExtendedParameter(&value, L"Server Port", 1);
  m_nPort = s_nSettingNumber(value);
}

CMySQLConnection::~CMySQLConnection() { bClose(nullptr); }

template <typename F>
BOOL CMySQLConnection::_bCall(CNAError* error, int site, F&& call) {
  return bMySQLGuard(error, this, kFile, site, call);
}

BOOL CMySQLConnection::bGetUnixSocket(CTString* socket) const {
  *socket = m_csUnixSocket;
  return TRUE;
}

BOOL CMySQLConnection::bClose(CNAError* error) {
  m_bAutocommitOffLost = 0;
  return _bCloseSession(error);
}

BOOL CMySQLConnection::_bCloseSession(CNAError* error) {
  m_bReopenWanted = 0;
  if (bSessionTransactionLost()) _ForgetTransactionLoss();
  if (m_pclStreamed != nullptr) m_pclStreamed->_DropStreamedResult();
  if (!m_bOpen && m_pMySQL == nullptr) return TRUE;
  MYSQL* handle = m_pMySQL;
  m_pMySQL = nullptr;
  m_bOpen = 0;
  return _bCall(error, kSiteClose, [&] { __mysql_close(handle); });
}

BOOL CMySQLConnection::_bAbandon() {
  _bCloseSession(nullptr);
  return FALSE;
}

void CMySQLConnection::_EndTransactionLoss() {
  const bool sessionLives = m_nTransactionLost == kServerDeadlock;
  _ForgetTransactionLoss();
  if (sessionLives) return;
  _bCloseSession(nullptr);
  m_bReopenWanted = 1;
}

void CMySQLConnection::_LetLostSessionGo() {
  unsigned int code = 0;
  if (m_pMySQL == nullptr || !bGetLastError(nullptr, &code) || !s_bSessionLost(code)) return;
  // Inside a transaction the loss is kept until the host ends it.
  if (_bTransactionOpened() || bTransactionLost()) return;
  _bCloseSession(nullptr);
  m_bReopenWanted = 1;
}

BOOL CMySQLConnection::_bHasHandle(CNAError* error, int site) { return bHandleOrReopen(error, kFile, site); }

BOOL CMySQLConnection::bHandleOrReopen(CNAError* error, unsigned int file, int site) {
  if (m_pMySQL != nullptr) return TRUE;
  if (m_bReopenWanted && !_bTransactionOpened() && !bTransactionLost()) {
    if (bOpen(error)) return TRUE;
    // The failed open closed what it made: the server may still come back.
    m_bReopenWanted = 1;
    return FALSE;
  }
  CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, file, site, this, nullptr, nullptr, 14,
                             pszGetConnectionName());
  return FALSE;
}

// ---------------------------------------------------------------- errors

BOOL CMySQLConnection::bGetLastError(CNAError* error, unsigned int* code) {
  *code = 0;
  if (m_pMySQL == nullptr) return TRUE;
  return _bCall(error, kSiteErrno, [&] { *code = __mysql_errno(m_pMySQL); });
}

BOOL CMySQLConnection::bInitError(CNAError* error, unsigned int file, unsigned int site) {
  unsigned int code = 0;
  BOOL result = bGetLastError(error, &code);
  if (code == 0) return result;
  const char* message = nullptr;
  if (!_bCall(error, kSiteError, [&] { message = __mysql_error(m_pMySQL); })) {
    message = nullptr;
    result = FALSE;
  }
  const CNACodePageCnvOUTPtr text(message, nGetServerCodePage());
  const bool mayHold =
      (m_nServerStatus & SERVER_STATUS_IN_TRANS) != 0 || (m_nServerStatus & SERVER_STATUS_AUTOCOMMIT) == 0;
  // The work before the deadlock is gone: what follows would run outside the transaction, and
  // its commit would answer TRUE for nothing.
  if (code == kServerDeadlock) MarkTransactionLost(code, text.psz(), mayHold);
  if (s_bSessionLost(code)) {
    MarkTransactionLost(code, text.psz(), mayHold);
    // A host that turned autocommit off rolls back what it writes next: the session that
    // replaces this one must not commit it behind the host's back.
    if ((m_nServerStatus & SERVER_STATUS_AUTOCOMMIT) == 0) m_bAutocommitOffLost = 1;
    // What the dead session said is spent.
    m_nServerStatus = SERVER_STATUS_AUTOCOMMIT;
  }
  const wchar_t* dataSource = pszGetDataBase();
  _CXErrorModule32 e;
  e.SetUserError(&gstMyModuleInfo32, 22, dataSource != nullptr ? dataSource : L"", code);
  if (text.psz() != nullptr && *text.psz() != 0) e.AddUserMessageNoFormat(text.psz());
  e.AddInfo(EIT_BASECODE, &code);
  const unsigned int userCode = 22;
  e.AddInfo(EIT_NATIVECODE, &userCode);
  if (error == nullptr) return result;
  if (!error->bIsQuiet()) CNAError::g_AddDebugInfo(&e, static_cast<int>(file), static_cast<int>(site));
  error->AddError(NA_ERRORTYPE_DEFAULT, &e, this);
  return result;
}

eNA_ERRORTYPE CMySQLConnection::eGetNAErrorType(unsigned int serverError) {
  switch (serverError) {
    case 1062: return static_cast<eNA_ERRORTYPE>(3);
    case 1205: return static_cast<eNA_ERRORTYPE>(2);
    case 1048: return static_cast<eNA_ERRORTYPE>(8);
    default: return NA_ERRORTYPE_DEFAULT;
  }
}

// ---------------------------------------------------------------- statements

BOOL CMySQLConnection::bExecuteQueryNoResult(CNAError* error, const wchar_t* sql) {
  // A name the host gave (a database to create) is never sent with '?' in place of a character.
  if (bRefuseTextLost(error, sql, -1)) return FALSE;
  const CNACodePageCnvIN text(sql, nGetServerCodePage());
  if (!bPassLostTransaction(error, text.psz(), text.nLength(), kFile, kSiteLost)) return FALSE;
  if (!_bHasHandle(error, kSiteNoHandle)) return FALSE;
  int rc = 0;
  if (!_bCall(error, kSiteQuery, [&] { rc = __mysql_real_query(m_pMySQL, text.psz(), text.nLength()); })) return FALSE;
  if (rc != 0) {
    bInitError(error, kFile, kSiteQuery);
    EndLostTransactionByText(text.psz(), text.nLength());
    _LetLostSessionGo();
    return FALSE;
  }
  // A result the text produced anyway, and every further one, is read and freed: otherwise the
  // next command would find the connection out of sync.
  const BOOL bMultiple = bMultipleRecordsetEnabled();
  for (;;) {
    MYSQL_RES* result = nullptr;
    if (!_bCall(error, kSiteStore, [&] { result = __mysql_store_result(m_pMySQL); })) return FALSE;
    if (result != nullptr) {
      if (!_bCall(error, kSiteFree, [&] { __mysql_free_result(result); })) return FALSE;
    } else {
      unsigned int code = 0;
      if (!bGetLastError(error, &code)) return FALSE;
      if (code != 0) return bInitError(error, kFile, kSiteStore), _LetLostSessionGo(), FALSE;
    }
    if (!bMultiple) return NoteServerStatus(), TRUE;
    int next = -1;
    if (!_bCall(error, kSiteNext, [&] { next = __mysql_next_result(m_pMySQL); })) return FALSE;
    if (next < 0) return NoteServerStatus(), TRUE;
    if (next > 0) {
      bInitError(error, kFile, kSiteNext);
      return FALSE;
    }
  }
}

BOOL CMySQLConnection::bExecuteQueryIgnoreResult(CNAError* error, const wchar_t* sql) {
  CNADriverLock lock;
  CNADriverSQL* service = CNADriver::s_pclGetDriverSQL();
  if (service == nullptr) return FALSE;
  CNAStatementSQL* st = nullptr;
  const BOOL result = service->bExecute(error, &st, this, sql, nullptr, 0);
  if (st != nullptr) st->nRelease();
  return result;
}

// ---------------------------------------------------------------- versions

BOOL CMySQLConnection::bClientVersionGreaterThan4_1() {
  if (m_nClientVersionMajor > 4 || (m_nClientVersionMajor == 4 && m_nClientVersionMinor > 0)) return TRUE;
  return QX_MYSQL_RESOLVED(mysql_next_result) && QX_MYSQL_RESOLVED(mysql_set_character_set);
}

BOOL CMySQLConnection::bServerVersionGreaterThan4_1() const {
  return m_nServerVersionMajor > 4 || (m_nServerVersionMajor == 4 && m_nServerVersionMinor > 0);
}

BOOL CMySQLConnection::bServerVersionGreaterThan4_1_2() const {
  if (m_nServerVersionMajor != 4) return m_nServerVersionMajor > 4;
  return m_nServerVersionMinor > 1 || (m_nServerVersionMinor == 1 && m_nServerVersionPatch > 1);
}

BOOL CMySQLConnection::bMultipleRecordsetEnabled() { return gbUseNextResult && bClientVersionGreaterThan4_1(); }

// ---------------------------------------------------------------- the open road

BOOL CMySQLConnection::_bOpenCreate(CNAError* error, int bCreate) {
  if (m_bOpen) return TRUE;
  _InitCodePageFromZV();
  SetServerCodePage(1252);
  if (!CNAFunctionLoader::g_bLoaded() && !_bLoadClientLibrary(error)) return FALSE;
  // The process has one client library: a connection that names another is refused.
  if (!_bCheckClientLibraryWanted(error)) return FALSE;
  m_pMySQL = nullptr;
  if (!_bCall(error, kSiteInit, [&] { m_pMySQL = __mysql_init(nullptr); })) {
    m_pMySQL = nullptr;
    if (error != nullptr) error->AddErrorFirst(NA_ERRORTYPE_DEFAULT, kFile, kSiteInit, this, 78);
    return FALSE;
  }
  if (m_pMySQL == nullptr) {
    if (error != nullptr) {
      error->AddErrorFirst(NA_ERRORTYPE_DEFAULT, kFile, kSiteInitNull, this, 78);
      error->AddDebugMessageNoFormat(L"mysql_init returned NULL");
    }
    return FALSE;
  }
  const wchar_t* const ssl[5] = {NullIfEmpty(pszGetSSLKey()), NullIfEmpty(pszGetSSLCert()),
                                 NullIfEmpty(pszGetSSLCA()), NullIfEmpty(pszGetSSLCAPath()),
                                 NullIfEmpty(pszGetSSLCipher())};
  const BOOL bSSL = ssl[0] || ssl[1] || ssl[2] || ssl[3] || ssl[4];
  const wchar_t* const texts[10] = {pszGetDataBase(), pszGetUserName(),  pszGetPassword(),
                                    pszGetDefaultDataBaseEx(), NullIfEmpty(m_csUnixSocket.pszGet()),
                                    ssl[0], ssl[1], ssl[2], ssl[3], ssl[4]};
  if (m_bUnicodeSupport && !_bProcessUnicodeCnxParameters(error, bSSL, texts)) return _bAbandon();
  // The client's default character set is not 1252: say so, when the client can be told. A
  // client that was not told would read every text sent in 1252 as its own character set.
  if (nGetServerCodePage() == 1252 && QX_MYSQL_RESOLVED(mysql_options)) {
    if (!_bSetOption(error, kSiteLatin1, MYSQL_SET_CHARSET_NAME, "latin1")) return _bAbandon();
  }
  // Without a bound, a server that takes the TCP connection and never greets holds the host's
  // thread for good: the connection's time-out (seconds) bounds the connect and the greeting.
  // A client that refuses the bound fails the open as a refused character set does.
  if (nGetConnectionTimeout() > 0 && QX_MYSQL_RESOLVED(mysql_options)) {
    const unsigned int seconds = static_cast<unsigned int>(nGetConnectionTimeout());
    if (!_bSetOption(error, kSiteTimeout, MYSQL_OPT_CONNECT_TIMEOUT, &seconds)) return _bAbandon();
  }
  if (bSSL && !_bSetSSLParameters(error, ssl)) return _bAbandon();
  if (!_bOpenCreateDatabase(error, bCreate, texts[0], texts[1], texts[2], texts[3], texts[4])) return _bAbandon();
  if (!_bGetServerVersion(error)) return _bAbandon();
  if (m_bUnicodeSupport && bServerVersionGreaterThan4_1() && bClientVersionGreaterThan4_1())
    _SwitchServerToUTF8();
  else
    m_bUnicodeSupport = 0;
  m_nServerStatus = SERVER_STATUS_AUTOCOMMIT;
  if (m_bAutocommitOffLost) {
    if (!bExecuteQueryNoResult(error, L"SET autocommit=0")) return _bAbandon();
    m_bAutocommitOffLost = 0;
  }
  if (m_bOpen) m_bReopenWanted = 0;
  NoteServerStatus();
  return m_bOpen;
}

void CMySQLConnection::_SwitchServerToUTF8() {
  const bool bMB4 = m_nServerVersionMajor > 5 || (m_nServerVersionMajor == 5 && m_nServerVersionMinor >= 5);
  const char* charset = bMB4 ? "utf8mb4" : "utf8";
  BOOL ok = FALSE;
  if (QX_MYSQL_RESOLVED(mysql_set_character_set)) {
    int rc = -1;
    ok = _bCall(nullptr, kSiteCharset, [&] { rc = __mysql_set_character_set(m_pMySQL, charset); }) && rc == 0;
  } else {
    ok = bExecuteQueryNoResult(nullptr, bMB4 ? L"SET NAMES 'utf8mb4'" : L"SET NAMES 'utf8'");
  }
  if (ok)
    SetServerCodePage(65001);
  else
    m_bUnicodeSupport = 0;
}

BOOL CMySQLConnection::_bLoadClientLibrary(CNAError* error) {
  if (!CNAFunctionLoader::g_bInitNative(error, &m_csClientLibrary, pszGetClientLibrary(), 0)) return FALSE;
  if (QX_MYSQL_RESOLVED(mysql_next_result)) gbUseNextResult = 1;
  return _bGetClientLibraryVersion(error);
}

BOOL CMySQLConnection::_bGetClientLibraryVersion(CNAError* error) {
  const char* version = nullptr;
  if (!_bCall(error, kSiteClientInfo, [&] { version = __mysql_get_client_info(); })) return FALSE;
  const CNACodePageCnvOUTPtr text(version, 1252);
  m_csClientVersion = text.psz();
  int parts[2] = {0, 0};
  int phase = 0;
  for (const wchar_t* p = m_csClientVersion.pszGet(); *p != 0 && phase < 2; ++p) {
    if (*p >= L'0' && *p <= L'9')
      parts[phase] = parts[phase] < INT_MAX / 10 ? parts[phase] * 10 + (*p - L'0') : parts[phase];
    else
      ++phase;
  }
  m_nClientVersionMajor = parts[0];
  m_nClientVersionMinor = parts[1];
  return TRUE;
}

BOOL CMySQLConnection::_bProcessUnicodeCnxParameters(CNAError* error, int bSSL, const wchar_t* const texts[10]) {
  bool bLatin1Only = true;
  for (int i = 0; i < (bSSL ? 10 : 5) && bLatin1Only; ++i) bLatin1Only = bLatin1(texts[i]) != FALSE;
  if (bLatin1Only) return TRUE;
  if (!QX_MYSQL_RESOLVED(mysql_options)) {
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, kFile, kSiteUnicode, this, nullptr, nullptr, 76,
                               m_csClientVersion.pszGet());
    return FALSE;
  }
  if (!_bSetOption(error, kSiteOptions, MYSQL_SET_CHARSET_NAME, "utf8mb4")) return FALSE;
  SetServerCodePage(65001);
  return TRUE;
}

BOOL CMySQLConnection::_bSetOption(CNAError* error, int site, enum mysql_option option, const void* value) {
  int rc = -1;
  if (_bCall(error, site, [&] { rc = __mysql_options(m_pMySQL, option, value); }) && rc == 0) return TRUE;
  if (error != nullptr) error->AddErrorFirst(NA_ERRORTYPE_DEFAULT, kFile, site, this, 76, m_csClientVersion.pszGet());
  return FALSE;
}

BOOL CMySQLConnection::_bSetSSLParameters(CNAError* error, const wchar_t* const ssl[5]) {
  if (!QX_MYSQL_RESOLVED(mysql_ssl_set)) {
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, kFile, kSiteSSLMissing, this, nullptr, nullptr, 75,
                               m_csClientVersion.pszGet());
    return FALSE;
  }
  const int page = nGetServerCodePage();
  const CNACodePageCnvIN key(ssl[0], page), cert(ssl[1], page), ca(ssl[2], page), capath(ssl[3], page),
      cipher(ssl[4], page);
  int rc = -1;
  if (_bCall(error, kSiteSSL,
             [&] { rc = __mysql_ssl_set(m_pMySQL, key.psz(), cert.psz(), ca.psz(), capath.psz(), cipher.psz()); }) &&
      rc == 0)
    return TRUE;
  bInitError(error, kFile, kSiteSSL);
  if (error != nullptr) error->AddErrorFirst(NA_ERRORTYPE_DEFAULT, kFile, kSiteSSL, this, 79);
  return FALSE;
}

BOOL CMySQLConnection::_bConnect(CNAError* error, int site, const wchar_t* host, const wchar_t* user,
                                 const wchar_t* password, const wchar_t* database, const wchar_t* socket) {
  // The client forgets the handle's options (character set, SSL) after a failed connect unless
  // told to keep them: the retry that creates a missing database needs them.
  unsigned long flags = static_cast<unsigned int>(m_nClientFlag) | CLIENT_FOUND_ROWS | CLIENT_REMEMBER_OPTIONS;
  if (gbUseNextResult && bClientVersionGreaterThan4_1()) flags |= CLIENT_MULTI_STATEMENTS;
  const int cp = nGetServerCodePage();
  const CNACodePageCnvIN h(host, cp), u(user, cp), pw(password, cp), db(NullIfEmpty(database), cp), s(socket, cp);
  MYSQL* connected = nullptr;
  _bCall(error, site, [&] {
    connected = __mysql_real_connect(m_pMySQL, h.psz(), u.psz(), pw.psz(), db.psz(), static_cast<unsigned int>(m_nPort),
                                     s.psz(), flags);
  });
  m_bOpen = connected != nullptr ? 1 : 0;
  return m_bOpen;
}

BOOL CMySQLConnection::_bOpenCreateDatabase(CNAError* error, int bCreate, const wchar_t* host, const wchar_t* user,
                                            const wchar_t* password, const wchar_t* database, const wchar_t* socket) {
  // A name the page has no byte for would go with '?' and reach another database or user.
  for (const wchar_t* text : {host, user, password, database, socket})
    if (bRefuseTextLost(error, text, -1)) return FALSE;
  if (_bConnect(error, kSiteConnect, host, user, password, database, socket)) return TRUE;
  const BOOL bKnown = bInitError(error, kFile, kSiteConnect);
  if (error != nullptr) error->AddErrorFirst(NA_ERRORTYPE_DEFAULT, kFile, kSiteConnect, this, 79);
  unsigned int code = 0;
  if (!bKnown || !bCreate || !bGetLastError(nullptr, &code) || code != 1049) return FALSE;
  if (!_bConnect(error, kSiteConnectNoDatabase, host, user, password, nullptr, socket)) return FALSE;
  CTString sql(L"CREATE DATABASE ");
  sql.Add(BackQuoted(database).pszGet());
  if (!bExecuteQueryNoResult(error, sql.pszGet())) return FALSE;
  if (error != nullptr) error->Reset();
  // The database is selected on this very connection: a new connect with it would fail on the
  // handle that is already connected.
  sql = L"USE ";
  sql.Add(BackQuoted(database).pszGet());
  if (bExecuteQueryNoResult(error, sql.pszGet())) return TRUE;
  if (error != nullptr) error->AddErrorFirst(NA_ERRORTYPE_DEFAULT, kFile, kSiteUseDatabase, this, 79);
  return FALSE;
}

BOOL CMySQLConnection::_bGetServerVersion(CNAError* error) {
  const char* version = nullptr;
  if (!_bCall(error, kSiteServerInfo, [&] { version = __mysql_get_server_info(m_pMySQL); })) return FALSE;
  const CNACodePageCnvOUTPtr text(version, nGetServerCodePage());
  m_csServerVersion = text.psz();
  return _bDecomposeServerVersion(error);
}

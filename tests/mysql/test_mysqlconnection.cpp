// The MySQL connection against the private server, over TCP and the socket: character sets,
// failures and their errors, create mode, a lost connection, and the guard around client calls.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <string>
#include <vector>

#include "common/tstringconcataw.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqldriver.h"
#include "mysql/mysqlguard.h"
#include "platform/xerror.h"
#include "values/any.h"
#include "host/host_nadescription.h"
#include "tests/support/rawmysql.h"

namespace {

using Strings = std::vector<std::string>;
std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

unsigned int ServerCode(const CXError* e) {
  const void* value = nullptr;
  return e->bGetInfo(EIT_BASECODE, &value) ? static_cast<unsigned int>(reinterpret_cast<uintptr_t>(value)) : 0;
}

// The first column of a query's rows, read through the driver's client table on its handle.
Strings Column(CMySQLConnection& cnx, const std::string& sql) {
  if (__mysql_real_query(cnx.pGetHandle(), sql.c_str(), sql.size()) != 0) return {"error"};
  Strings out;
  MYSQL_RES* result = __mysql_store_result(cnx.pGetHandle());
  while (MYSQL_ROW row = result != nullptr ? __mysql_fetch_row(result) : nullptr)
    out.emplace_back(row[0], __mysql_fetch_lengths(result)[0]);
  if (result != nullptr) __mysql_free_result(result);
  return out;
}

class Live : public ::testing::TestWithParam<RawTransport> {
 protected:
  void SetUp() override {
    if (!TestServer::fromEnv(&m_server)) FAIL() << TestServer::setupHint();
    m_strUser = Wide(m_server.user);
    m_strPassword = Wide(m_server.password);
    m_strSource = GetParam() == RawTransport::Tcp ? Wide(m_server.host) : L"localhost";
    m_strName = "qxtest_" + std::to_string(getpid()) + (GetParam() == RawTransport::Tcp ? "_tcp" : "_socket");
    m_host.m_pszUser = m_strUser.c_str();
    m_host.m_pszPassword = m_strPassword.c_str();
    m_host.m_pszDataSource = m_strSource.c_str();
    Describe(m_server.database, "");
  }
  // The test server with this database, the transport's own route (or route) and extra settings.
  void Describe(const std::string& database, const std::string& extra, const std::string& route = "") {
    const std::string own = GetParam() == RawTransport::Tcp ? "Server Port=" + std::to_string(m_server.port)
                                                            : "Unix Socket=" + m_server.socket;
    m_strExtended = Wide((route.empty() ? own : route) + ";Initial Catalog=" + database + extra);
    m_host.m_pszExtendedInfo = m_strExtended.c_str();
  }
  BOOL Run(CMySQLConnection& cnx, const std::wstring& sql) { return cnx.bExecuteQueryNoResult(&m_error, sql.c_str()); }
  BOOL Run(CMySQLConnection& cnx, const std::string& sql) { return Run(cnx, Wide(sql)); }

  CMySQLDriver m_driver;  // the guard reaches the driver's debug message through it
  TestServer m_server;
  CHostConnectionDescription m_host;
  std::wstring m_strUser, m_strPassword, m_strSource, m_strExtended;
  std::string m_strName;  // of what the test creates
  CNAError m_error;
};

TEST_P(Live, OpensInTheCharacterSetItsTextsNeed) {
  const struct {
    const char *pszUnicode, *pszClientCharset;
    int nCodePage;
    const wchar_t* pszText;
    const char* pszHex;  // the text as the server stored it, in UTF-8
  } rows[] = {
      {"1", "utf8mb4", 65001, L"caf\u00e9 \U0001F600", "636166C3A920F09F9880"},
      {"0", "latin1", 1252, L"caf\u00e9 \u20AC", "636166C3A920E282AC"},
  };
  for (const auto& row : rows) {
    Describe(m_server.database, std::string(";QX Unicode Support=") + row.pszUnicode);
    CMySQLConnection cnx(L"id", &m_host);
    ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
    EXPECT_EQ(cnx.nGetServerVersionMajor() * 100 + cnx.nGetServerVersionMinor(), 1011) << cnx.pszGetServerVersion();
    EXPECT_EQ(cnx.nGetServerCodePage(), row.nCodePage);
    EXPECT_EQ(Column(cnx, "SELECT @@character_set_client"), Strings{row.pszClientCharset});
    ASSERT_TRUE(Run(cnx, "CREATE TABLE " + m_strName + " (c VARCHAR(20) CHARACTER SET utf8mb4)"));
    EXPECT_TRUE(Run(cnx, Wide("INSERT INTO " + m_strName + " VALUES ('") + row.pszText + L"')"));
    EXPECT_EQ(Column(cnx, "SELECT HEX(c) FROM " + m_strName), Strings{row.pszHex});
    const CNACodePageCnvOUT back(Column(cnx, "SELECT c FROM " + m_strName).at(0).c_str(), row.nCodePage);
    EXPECT_STREQ(back.psz(), row.pszText);
    EXPECT_TRUE(Run(cnx, "DROP TABLE " + m_strName));
    EXPECT_TRUE(cnx.bClose(&m_error) && cnx.pGetHandle() == nullptr);
  }
}

TEST_P(Live, BadSettingsFailUnderError79AndCreateModeMakesTheMissingDatabase) {
  const struct {
    const wchar_t *pszSource, *pszPassword;
    std::string strRoute, strDatabase;
    unsigned int nServerCode;
  } rows[] = {
      {L"nohost.invalid", nullptr, "Server Port=" + std::to_string(m_server.port), m_server.database, 2005},
      {L"127.0.0.1", nullptr, "Server Port=1", m_server.database, 2002},  // the client's "can't connect"
      {nullptr, L"wrong password", "", m_server.database, 1045},
      {nullptr, nullptr, "", m_strName, 1049},
  };
  for (const auto& row : rows) {
    Describe(row.strDatabase, "", row.strRoute);
    m_host.m_pszDataSource = row.pszSource != nullptr ? row.pszSource : m_strSource.c_str();
    m_host.m_pszPassword = row.pszPassword != nullptr ? row.pszPassword : m_strPassword.c_str();
    CMySQLConnection cnx(L"id", &m_host);
    m_error.Reset();
    EXPECT_FALSE(cnx.bOpen(&m_error) || cnx.bIsOpen() || cnx.pGetHandle() != nullptr) << row.nServerCode;
    const CXError* e = m_error.pclGetXError();
    EXPECT_EQ(e->nGetUserErrorCode(), 79u);
    ASSERT_EQ(e->nGetNbSubError(), 1) << m_error.pszGetError();
    EXPECT_EQ(e->pclGetSubError(0)->nGetUserErrorCode(), 22u);
    EXPECT_EQ(ServerCode(e->pclGetSubError(0)), row.nServerCode) << m_error.pszGetError();
  }
  // The last row's database, in create mode: made and selected, and nothing reported.
  CMySQLConnection cnx(L"id", &m_host);
  m_error.Reset();
  ASSERT_TRUE(cnx.bOpenCreate(&m_error)) << m_error.pszGetError();
  EXPECT_EQ(m_error.eGetErrorType(), NA_ERRORTYPE_NONE);
  EXPECT_EQ(Column(cnx, "SELECT DATABASE()"), Strings{m_strName});
  EXPECT_TRUE(Run(cnx, "DROP DATABASE " + m_strName));
}

// A database name a 1252 connection cannot carry went with '?' in its place: the open reached a
// database the host did not name.
TEST_P(Live, OpenDoesNotReachADatabaseWhoseNameHoldsAQuestionMarkForACharacter) {
  const std::wstring route = GetParam() == RawTransport::Tcp ? L"Server Port=" + std::to_wstring(m_server.port)
                                                             : L"Unix Socket=" + Wide(m_server.socket);
  CMySQLConnection look(L"id", &m_host);
  ASSERT_TRUE(look.bOpen(&m_error)) << m_error.pszGetError();
  ASSERT_TRUE(Run(look, "CREATE DATABASE `" + m_strName + "_?`"));
  m_strExtended = route + L";Initial Catalog=" + Wide(m_strName) + L"_\u0151;QX Unicode Support=0";
  m_host.m_pszExtendedInfo = m_strExtended.c_str();
  CMySQLConnection cnx(L"id", &m_host);
  EXPECT_FALSE(cnx.bOpen(&m_error));
  EXPECT_EQ(m_error.nGetUserErrorCode(), 60u) << m_error.pszGetError();
  EXPECT_TRUE(Run(look, "DROP DATABASE `" + m_strName + "_?`"));
}

// A database name a 1252 connection cannot carry went with '?' in its place: create mode made
// and selected a database the host did not name. Refused now, and none is made.
TEST_P(Live, CreateModeMakesNoDatabaseUnderANameBeyondThePage) {
  const std::wstring route = GetParam() == RawTransport::Tcp ? L"Server Port=" + std::to_wstring(m_server.port)
                                                             : L"Unix Socket=" + Wide(m_server.socket);
  m_strExtended = route + L";Initial Catalog=" + Wide(m_strName) + L"_\u0151;QX Unicode Support=0";
  m_host.m_pszExtendedInfo = m_strExtended.c_str();
  CMySQLConnection cnx(L"id", &m_host);
  EXPECT_FALSE(cnx.bOpenCreate(&m_error));
  Describe(m_server.database, "");
  CMySQLConnection look(L"id", &m_host);
  ASSERT_TRUE(look.bOpen(&m_error)) << m_error.pszGetError();
  const Strings made = Column(look, "SHOW DATABASES LIKE '" + m_strName + "%'");
  for (const std::string& name : made) Run(look, "DROP DATABASE `" + name + "`");
  EXPECT_EQ(made, Strings{});
}

// The client forgets a handle's options after a failed connect: the retry without the missing
// database must still speak the connection's character set, and later literals with it.
TEST_P(Live, CreatedDatabaseConnectionKeepsItsCharacterSet) {
  const struct {
    const char *pszUnicode, *pszCharset;
    bool bNoBackslashEscapes;
  } rows[] = {{"0", "latin1", false}, {"0", "latin1", true}, {"1", "utf8mb4", false}, {"1", "utf8mb4", true}};
  char text[] = "\xE9\x80'\\";  // "é€'\" in 1252
  for (const auto& row : rows) {
    const std::wstring database = L"qxtest_\u00e9t\u00e9_" + Wide(m_strName.substr(7)) +
                                  (row.bNoBackslashEscapes ? L"_b" : L"_") + Wide(row.pszUnicode);
    const std::string utf8 = CNACodePageCnvIN(database.c_str(), 65001).psz();
    m_strExtended = (GetParam() == RawTransport::Tcp ? L"Server Port=" + std::to_wstring(m_server.port)
                                                     : L"Unix Socket=" + Wide(m_server.socket)) +
                    L";Initial Catalog=" + database + L";QX Unicode Support=" + Wide(row.pszUnicode);
    m_host.m_pszExtendedInfo = m_strExtended.c_str();
    CMySQLConnection cnx(L"id", &m_host);
    m_error.Reset();
    ASSERT_TRUE(cnx.bOpenCreate(&m_error)) << row.pszCharset << " " << m_error.pszGetError();
    EXPECT_EQ(Column(cnx, "SELECT @@character_set_connection"), Strings{row.pszCharset});
    std::string hex;
    for (unsigned char c : utf8) hex += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    EXPECT_EQ(Column(cnx, "SELECT HEX(CONVERT(DATABASE() USING utf8mb4))"), Strings{hex});
    EXPECT_TRUE(!row.bNoBackslashEscapes ||
                Run(cnx, "SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')"));
    CTStringConcatAW literal(CTStringConcatAW::kWideContent, 1252);
    ASSERT_TRUE(cnx._bEscapeString(&m_error, &literal, 18, reinterpret_cast<unsigned char*>(text), sizeof text));
    EXPECT_TRUE(Run(cnx, L"CREATE TABLE t (c VARCHAR(8) CHARACTER SET utf8mb4)")) << m_error.pszGetError();
    EXPECT_EQ(Column(cnx, "INSERT INTO t VALUES (" + std::string(literal.pszGetA()) + ")"), Strings{});
    EXPECT_EQ(Column(cnx, "SELECT HEX(c) FROM t"), Strings{"C3A9E282AC275C"});
    EXPECT_TRUE(Run(cnx, L"DROP DATABASE `" + database + L"`")) << m_error.pszGetError();
  }
}

// Wide text of ASCII is narrowed without the converter, other text through it: the server
// stores the same characters either way, in both SQL modes and whatever the text's length.
TEST_P(Live, WideTextsReachTheServerAsTheirCharactersWhetherAsciiOrNot) {
  Describe(m_server.database, ";QX Unicode Support=1");
  CMySQLConnection cnx(L"id", &m_host);
  ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
  const std::wstring table = Wide(m_strName) + L"_wide";
  ASSERT_TRUE(Run(cnx, L"CREATE TABLE " + table + L" (c TEXT CHARACTER SET utf8mb4)")) << m_error.pszGetError();
  const std::wstring texts[] = {L"O'Brien \\ %_\"x\"", std::wstring(255, L'a') + L"'", std::wstring(256, L'\\'),
                                std::wstring(300, L'q'), L"caf\u00e9 '\\", L"\x01\x7F", std::wstring(L"a\0b", 3),
                                L"\u07ff\u0800 \u20ac\u65e5\ud7ff\ue000\uffff", std::wstring(255, L'\u20ac') + L"'",
                                std::wstring(256, L'\u00e9'), L"\U0001F600 \u00e9", std::wstring(257, L'\u0800')};
  for (bool noBackslash : {false, true}) {
    if (noBackslash) {
      ASSERT_TRUE(Run(cnx, "SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')"));
    }
    for (const std::wstring& text : texts) {
      CTStringConcatAW literal(CTStringConcatAW::kWideContent, 1252);
      ASSERT_TRUE(cnx._bEscapeString(&m_error, &literal, ZV_DSTRW, reinterpret_cast<unsigned char*>(const_cast<wchar_t*>(text.c_str())),
                                     static_cast<unsigned int>((text.size() + 1) * sizeof(wchar_t))));
      ASSERT_TRUE(Run(cnx, L"DELETE FROM " + table));
      EXPECT_EQ(Column(cnx, "INSERT INTO " + std::string(table.begin(), table.end()) + " VALUES (" +
                                std::string(literal.pszGetA(), static_cast<size_t>(literal.nGetLengthA())) + ")"),
                Strings{});
      std::string want;
      for (wchar_t c : text) {
        if (c < 0x80) {
          want += static_cast<char>(c);
        } else if (c < 0x800) {
          want += static_cast<char>(0xC0 | (c >> 6));
          want += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
          want += static_cast<char>(0xE0 | (c >> 12));
          want += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
          want += static_cast<char>(0x80 | (c & 0x3F));
        } else {
          want += static_cast<char>(0xF0 | (c >> 18));
          want += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
          want += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
          want += static_cast<char>(0x80 | (c & 0x3F));
        }
      }
      EXPECT_EQ(Column(cnx, "SELECT c FROM " + std::string(table.begin(), table.end())), Strings{want})
          << text.size() << " " << noBackslash;
    }
  }
  EXPECT_TRUE(Run(cnx, L"DROP TABLE " + table));
}

// Bytes the driver quotes without calling the client are exactly the client's literal of them,
// and every other byte string still is: in both character sets, both SQL modes, and around each
// byte value and the edges of UTF-8.
TEST_P(Live, LiteralsAreTheClientsEscapeWhetherOrNotItIsCalled) {
  std::vector<std::string> texts = {
      "", "plain text 123", std::string(300, 'a'), "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", "\xE0\xA0\x80", "\xED\x9F\xBF",
      "\xEF\xBF\xBF", "\xED\xA0\x80", "\xF0\x9F\x98\x80", "\xC3", "\xE2\x82", "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF",
      "\xC3\xA9'", "\xC3\x5C", "\xBF\x27", "a\xF5\x80\x80\x80", "\x80\xC3\xA9"};
  for (int c = 0; c < 256; ++c) texts.push_back("a" + std::string(1, static_cast<char>(c)) + "b");
  for (const char* unicode : {"0", "1"}) {
    Describe(m_server.database, std::string(";QX Unicode Support=") + unicode);
    CMySQLConnection cnx(L"id", &m_host);
    ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
    for (bool noBackslash : {false, true}) {
      if (noBackslash) {
        ASSERT_TRUE(Run(cnx, "SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')"));
      }
      for (const std::string& text : texts) {
        CTStringConcatAW literal(CTStringConcatAW::kWideContent, 1252);
        std::string bytes = text;
        ASSERT_TRUE(cnx._bEscapeString(&m_error, &literal, ZV_BIN, reinterpret_cast<unsigned char*>(bytes.data()),
                                       static_cast<unsigned int>(bytes.size())));
        std::string escaped(2 * text.size() + 1, '\0');
        const unsigned long n =
            text.empty() ? 0
            : QX_MYSQL_RESOLVED(mysql_real_escape_string_quote)
                ? __mysql_real_escape_string_quote(cnx.pGetHandle(), escaped.data(), text.data(), text.size(), '\'')
                : __mysql_real_escape_string(cnx.pGetHandle(), escaped.data(), text.data(), text.size());
        escaped.resize(n);
        EXPECT_EQ(std::string(literal.pszGetA(), static_cast<size_t>(literal.nGetLengthA())), "'" + escaped + "'")
            << unicode << " " << noBackslash << " " << text;
      }
    }
  }
}

TEST_P(Live, LostConnectionIsReportedThenReopenedBySameRoute) {
  RawMySQL lib;
  RawConnection other(lib);
  std::string err;
  ASSERT_TRUE(other.connect(m_server, GetParam(), &err)) << err;  // the same account may KILL
  ASSERT_TRUE(other.exec("CREATE TABLE " + m_strName + " (n INT) ENGINE=InnoDB", &err)) << err;
  CMySQLConnection cnx(L"id", &m_host);
  ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
  EXPECT_TRUE(Run(cnx, "BEGIN") && Run(cnx, "INSERT INTO " + m_strName + " VALUES (1)"));
  ASSERT_TRUE(other.exec("KILL " + Column(cnx, "SELECT CONNECTION_ID()").at(0), &err)) << err;
  EXPECT_FALSE(Run(cnx, "COMMIT"));
  EXPECT_EQ(m_error.dwGetErrorId(), 22u);
  const unsigned int code = ServerCode(m_error.pclGetXError());
  EXPECT_TRUE(code == 2013 || code == 2006) << code;
  // The COMMIT that met the loss said so and ended the transaction: the next text runs on a new
  // session, where nothing of the transaction is.
  EXPECT_TRUE(Run(cnx, "DO 1")) << m_error.pszGetError();
  RawRows rows;
  ASSERT_TRUE(other.query("SELECT COUNT(*) FROM " + m_strName, &rows, &err)) << err;
  EXPECT_EQ(rows.at(0).at(0), RawCell("0"));
  EXPECT_TRUE(cnx.bClose(&m_error));
  m_error.Reset();
  ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
  EXPECT_TRUE(Run(cnx, "DO 1"));
  EXPECT_TRUE(other.exec("DROP TABLE " + m_strName, &err)) << err;
}

// Branches the server cannot produce: table entries replaced by scripted functions.
int QueryThrowsText(MYSQL*, const char*, unsigned long) { throw CTString("mysql_real_query"); }
int QueryThrowsOther(MYSQL*, const char*, unsigned long) { throw 42; }
MYSQL* InitGivesNull(MYSQL*) { return nullptr; }
MYSQL* InitThrows(MYSQL*) { throw std::bad_alloc(); }

TEST_P(Live, ScriptedFailuresGiveTheGuardsErrors) {
  const struct {
    decltype(__mysql_real_query) pfnQuery;  // else pfnInit, for an open
    decltype(__mysql_init) pfnInit;
    int nCode, nSubCode, bGPF;
    const wchar_t* pszDebug;
  } rows[] = {
      {QueryThrowsText, nullptr, 37, 0, 0, L"IEQXMSQL=101."},
      {QueryThrowsOther, nullptr, 23, 0, 1, L"3.23.52"},
      {nullptr, InitGivesNull, 78, 0, 0, L"mysql_init returned NULL"},
      {nullptr, InitThrows, 78, 23, 1, L"3.23.52"},
  };
  CMySQLConnection cnx(L"id", &m_host);
  ASSERT_TRUE(cnx.bOpen(&m_error) && cnx.bClose(&m_error));  // the entries to restore are the library's
  const auto query = __mysql_real_query;
  const auto init = __mysql_init;
  for (const auto& row : rows) {
    m_error.Reset();
    CNADriver::s_bGPFCatched = 0;
    const bool bQueryRow = row.pfnQuery != nullptr;
    ASSERT_TRUE(!bQueryRow || cnx.bOpen(&m_error)) << m_error.pszGetError();
    __mysql_real_query = bQueryRow ? row.pfnQuery : query;
    __mysql_init = bQueryRow ? init : row.pfnInit;
    EXPECT_FALSE(bQueryRow ? Run(cnx, "DO 1") : cnx.bOpen(&m_error));
    __mysql_real_query = query;
    __mysql_init = init;
    EXPECT_EQ(m_error.dwGetErrorId(), static_cast<DWORD>(row.nCode));
    const CXError* e = m_error.pclGetXError();
    EXPECT_EQ(e->nGetNbSubError() > 0 ? static_cast<int>(e->pclGetSubError(0)->nGetUserErrorCode()) : 0, row.nSubCode);
    EXPECT_NE(std::wstring(m_error.pszGetError()).find(row.pszDebug), std::wstring::npos) << m_error.pszGetError();
    EXPECT_EQ(CNADriver::s_bGPFCatched, row.bGPF);
    cnx.bClose(nullptr);
  }
}

TEST_P(Live, ServerErrorsAndResultsLeaveTheConnectionReady) {
  CMySQLConnection cnx(L"id", &m_host);
  ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
  EXPECT_TRUE(cnx.bInitError(&m_error, 101, 99));  // no error: nothing added
  EXPECT_EQ(m_error.eGetErrorType(), NA_ERRORTYPE_NONE);
  const struct {
    std::string strSql;
    unsigned int nServerCode;
  } rows[] = {
      {"CREATE TABLE " + m_strName + " (k INT PRIMARY KEY)", 0}, {"INSERT INTO " + m_strName + " VALUES (1)", 0},
      {"INSERT INTO " + m_strName + " VALUES (1)", 1062},       {"SELECT 1; SELECT 2", 0},
      {"DO 1; SELECT * FROM " + m_strName + "_none", 1146},     {"DROP TABLE " + m_strName, 0},
  };
  for (const auto& row : rows) {
    m_error.Reset();
    EXPECT_EQ(Run(cnx, row.strSql), row.nServerCode == 0) << row.strSql;
    EXPECT_EQ(m_error.dwGetErrorId(), row.nServerCode == 0 ? 0u : 22u) << row.strSql;
    EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), row.nServerCode) << row.strSql;
    EXPECT_EQ(Column(cnx, "SELECT 7"), Strings{"7"}) << "after " << row.strSql;
  }
  // Closed: a call raises 14 instead of reaching the client with a freed handle.
  EXPECT_TRUE(cnx.bClose(&m_error));
  m_error.Reset();
  EXPECT_FALSE(Run(cnx, "DO 1"));
  EXPECT_EQ(m_error.dwGetErrorId(), 14u);
}

// A server that takes the TCP connection and never greets held the open (and the host's thread)
// for as long as the peer kept quiet: the connection's time-out now bounds it.
TEST(SilentServer, SilentServerFailsWithinTheConnectionTimeout) {
  TestServer server;
  if (!TestServer::fromEnv(&server)) FAIL() << TestServer::setupHint();
  // Connections wait in the listener's queue unanswered; the listener closes after 8 s at most.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  std::atomic<bool> done{false};
  std::thread closer([&] {
    for (int i = 0; i < 80 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    close(listener);
  });
  CMySQLDriver driver;
  CHostConnectionDescription host;
  const std::wstring user = Wide(server.user), password = Wide(server.password),
                     info = Wide("Server Port=" + std::to_string(ntohs(address.sin_port)) + ";QX Connection Timeout=2");
  host.m_pszUser = user.c_str();
  host.m_pszPassword = password.c_str();
  host.m_pszDataSource = L"127.0.0.1";
  host.m_pszExtendedInfo = info.c_str();
  CMySQLConnection cnx(L"id", &host);
  CNAError error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(cnx.bOpen(&error));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  done = true;
  closer.join();
  EXPECT_GE(seconds, 1.5);
  EXPECT_LT(seconds, 5.0);
  const CXError* e = error.pclGetXError();
  EXPECT_EQ(e->nGetUserErrorCode(), 79u);
  ASSERT_EQ(e->nGetNbSubError(), 1) << error.pszGetError();
  EXPECT_EQ(ServerCode(e->pclGetSubError(0)), 2013u) << error.pszGetError();
}

INSTANTIATE_TEST_SUITE_P(Transports, Live, ::testing::Values(RawTransport::Tcp, RawTransport::Socket),
                         [](const auto& info) { return info.param == RawTransport::Tcp ? "Tcp" : "Socket"; });

}  // namespace

// The MySQL connection against the private server, over TCP and the socket: character sets,
// failures and their errors, create mode, a lost connection, and the guard around client calls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqldriver.h"
#include "mysql/mysqlguard.h"
#include "platform/xerror.h"
#include "tests/mysql/host_connection.h"
#include "tests/support/rawmysql.h"

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string Unique(const char* stem) { return "qxtest_" + std::string(stem) + "_" + std::to_string(getpid()); }

unsigned int ServerCode(const CXError* e) {
  const void* value = nullptr;
  return e != nullptr && e->bGetInfo(EIT_BASECODE, &value) ? static_cast<unsigned int>(reinterpret_cast<uintptr_t>(value)) : 0;
}

// The rows of a query, read through the driver's own client table on the connection's handle.
std::vector<std::string> Column(CMySQLConnection& cnx, const char* sql) {
  std::vector<std::string> out;
  if (__mysql_real_query(cnx.pGetHandle(), sql, strlen(sql)) != 0) return {"error " + std::to_string(__mysql_errno(cnx.pGetHandle()))};
  MYSQL_RES* result = __mysql_store_result(cnx.pGetHandle());
  while (MYSQL_ROW row = result != nullptr ? __mysql_fetch_row(result) : nullptr)
    out.emplace_back(row[0] != nullptr ? std::string(row[0], __mysql_fetch_lengths(result)[0]) : "NULL");
  if (result != nullptr) __mysql_free_result(result);
  return out;
}

class LiveConnection : public ::testing::TestWithParam<RawTransport> {
 protected:
  static void SetUpTestSuite() {
    s_pclDriver = new CMySQLDriver();
    s_pclDriver->bInitDriver();
  }
  static void TearDownTestSuite() { delete s_pclDriver; }
  void SetUp() override {
    if (!TestServer::fromEnv(&m_server)) FAIL() << TestServer::setupHint();
    Describe(m_server.database, "");
  }
  // The host description of the test server with these database and further settings.
  void Describe(const std::string& database, const std::string& extra, const std::string& route = "") {
    const bool tcp = GetParam() == RawTransport::Tcp;
    m_strUser = Wide(m_server.user);
    m_strPassword = Wide(m_server.password);
    m_strSource = tcp ? Wide(m_server.host) : L"localhost";
    const std::string own = tcp ? "Server Port=" + std::to_string(m_server.port) : "Unix Socket=" + m_server.socket;
    m_strExtended = Wide((route.empty() ? own : route) + ";Initial Catalog=" + database + extra);
    m_host.pszUser = m_strUser.c_str();
    m_host.pszPassword = m_strPassword.c_str();
    m_host.pszDataSource = m_strSource.c_str();
    m_host.pszExtendedInfo = m_strExtended.c_str();
  }

  static CMySQLDriver* s_pclDriver;
  TestServer m_server;
  CTestHostConnection m_host;
  std::wstring m_strUser, m_strPassword, m_strSource, m_strExtended;
  CNAError m_error;
};
CMySQLDriver* LiveConnection::s_pclDriver = nullptr;

TEST_P(LiveConnection, OpensInTheCharacterSetItsTextsNeed) {
  const std::string table = Unique("charset");
  const struct {
    const char* pszUnicode;
    int nCodePage;
    const char* pszClientCharset;
    const wchar_t* pszText;
    const char* pszHex;  // the text as the server stored it, in UTF-8
  } rows[] = {
      {"1", 65001, "utf8mb4", L"caf\u00e9 \U0001F600", "636166C3A920F09F9880"},
      {"0", 1252, "latin1", L"caf\u00e9 \u20AC", "636166C3A920E282AC"},
  };
  for (const auto& row : rows) {
    Describe(m_server.database, std::string(";QX Unicode Support=") + row.pszUnicode);
    CMySQLConnection cnx(L"id", &m_host);
    ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
    EXPECT_TRUE(std::wstring(cnx.pszGetServerVersion()).starts_with(L"10.11."));
    EXPECT_EQ(cnx.nGetServerVersionMajor() * 100 + cnx.nGetServerVersionMinor(), 1011);
    EXPECT_EQ(cnx.nGetServerCodePage(), row.nCodePage);
    EXPECT_EQ(Column(cnx, "SELECT @@character_set_client"), std::vector<std::string>{row.pszClientCharset});
    std::wstring sql = Wide("CREATE TABLE " + table + " (c VARCHAR(20) CHARACTER SET utf8mb4)");
    ASSERT_TRUE(cnx.bExecuteQueryNoResult(&m_error, sql.c_str())) << m_error.pszGetError();
    sql = Wide("INSERT INTO " + table + " VALUES ('") + row.pszText + L"')";
    EXPECT_TRUE(cnx.bExecuteQueryNoResult(&m_error, sql.c_str())) << m_error.pszGetError();
    EXPECT_EQ(Column(cnx, ("SELECT HEX(c) FROM " + table).c_str()), std::vector<std::string>{row.pszHex});
    const CNACodePageCnvIN sent(row.pszText, row.nCodePage);
    EXPECT_EQ(Column(cnx, ("SELECT c FROM " + table).c_str()), std::vector<std::string>{sent.psz()});
    EXPECT_TRUE(cnx.bExecuteQueryNoResult(&m_error, Wide("DROP TABLE " + table).c_str()));
    EXPECT_TRUE(cnx.bClose(&m_error));
    EXPECT_EQ(cnx.pGetHandle(), nullptr);
  }
}

TEST_P(LiveConnection, BadSettingsFailWithTheServersError) {
  const std::string tcp = "Server Port=" + std::to_string(m_server.port);
  const struct {
    const wchar_t* pszSource;
    std::string strRoute;
    const wchar_t* pszPassword;
    std::string strDatabase;
    unsigned int nServerCode;
  } rows[] = {
      {L"nohost.invalid", tcp, nullptr, m_server.database, 2005},
      {L"127.0.0.1", "Server Port=1", nullptr, m_server.database, 2002},  // the client's "can't connect"
      {nullptr, "", L"wrong password", m_server.database, 1045},
      {nullptr, "", nullptr, Unique("missing"), 1049},
  };
  for (const auto& row : rows) {
    Describe(row.strDatabase, "", row.strRoute);
    if (row.pszSource != nullptr) m_host.pszDataSource = row.pszSource;
    if (row.pszPassword != nullptr) m_host.pszPassword = row.pszPassword;
    CMySQLConnection cnx(L"id", &m_host);
    m_error.Reset();
    EXPECT_FALSE(cnx.bOpen(&m_error)) << row.nServerCode;
    EXPECT_FALSE(cnx.bIsOpen());
    EXPECT_EQ(cnx.pGetHandle(), nullptr);
    const CXError* e = m_error.pclGetXError();
    EXPECT_EQ(e->nGetUserErrorCode(), 79u);
    ASSERT_EQ(e->nGetNbSubError(), 1) << m_error.pszGetError();
    EXPECT_EQ(e->pclGetSubError(0)->nGetUserErrorCode(), 22u);
    EXPECT_EQ(ServerCode(e->pclGetSubError(0)), row.nServerCode) << m_error.pszGetError();
  }
}

TEST_P(LiveConnection, CreateModeCreatesAndSelectsTheMissingDatabase) {
  const std::string database = Unique(GetParam() == RawTransport::Tcp ? "create_tcp" : "create_socket");
  Describe(database, "");
  CMySQLConnection cnx(L"id", &m_host);
  ASSERT_TRUE(cnx.bOpenCreate(&m_error)) << m_error.pszGetError();
  EXPECT_EQ(m_error.eGetErrorType(), NA_ERRORTYPE_NONE);
  EXPECT_EQ(m_error.dwGetErrorId(), 0u);
  EXPECT_EQ(Column(cnx, "SELECT DATABASE()"), std::vector<std::string>{database});
  EXPECT_TRUE(cnx.bExecuteQueryNoResult(&m_error, Wide("DROP DATABASE " + database).c_str()));
}

TEST_P(LiveConnection, LostConnectionIsReportedThenReopenedBySameRoute) {
  const std::string table = Unique(GetParam() == RawTransport::Tcp ? "lost_tcp" : "lost_socket");
  RawMySQL lib;
  RawConnection other(lib);
  std::string err;
  ASSERT_TRUE(other.connect(m_server, GetParam(), &err)) << err;  // the same account may KILL
  ASSERT_TRUE(other.exec("CREATE TABLE " + table + " (n INT) ENGINE=InnoDB", &err)) << err;
  CMySQLConnection cnx(L"id", &m_host);
  ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
  EXPECT_TRUE(cnx.bExecuteQueryNoResult(&m_error, L"BEGIN"));
  EXPECT_TRUE(cnx.bExecuteQueryNoResult(&m_error, Wide("INSERT INTO " + table + " VALUES (1)").c_str()));
  ASSERT_TRUE(other.exec("KILL " + Column(cnx, "SELECT CONNECTION_ID()").at(0), &err)) << err;
  EXPECT_FALSE(cnx.bExecuteQueryNoResult(&m_error, L"COMMIT"));
  EXPECT_EQ(m_error.dwGetErrorId(), 22u);
  const unsigned int code = ServerCode(m_error.pclGetXError());
  EXPECT_TRUE(code == 2013 || code == 2006) << code;
  EXPECT_FALSE(cnx.bExecuteQueryNoResult(&m_error, L"DO 1"));  // no silent reconnection
  RawRows rows;
  ASSERT_TRUE(other.query("SELECT COUNT(*) FROM " + table, &rows, &err)) << err;
  EXPECT_EQ(rows.at(0).at(0), RawCell("0"));
  EXPECT_TRUE(cnx.bClose(&m_error));
  m_error.Reset();
  ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
  EXPECT_TRUE(cnx.bExecuteQueryNoResult(&m_error, L"DO 1"));
  EXPECT_TRUE(other.exec("DROP TABLE " + table, &err)) << err;
}

INSTANTIATE_TEST_SUITE_P(Transports, LiveConnection, ::testing::Values(RawTransport::Tcp, RawTransport::Socket),
                         [](const auto& info) { return info.param == RawTransport::Tcp ? "Tcp" : "Socket"; });

// ---- Branches the server cannot produce: table entries replaced by scripted functions ----

int QueryThrowsText(MYSQL*, const char*, unsigned long) { throw CTString("mysql_real_query"); }
int QueryThrowsOther(MYSQL*, const char*, unsigned long) { throw 42; }
MYSQL* InitGivesNull(MYSQL*) { return nullptr; }
MYSQL* InitThrows(MYSQL*) { throw std::bad_alloc(); }

using LiveGuard = LiveConnection;

TEST_P(LiveGuard, ScriptedFailuresGiveTheGuardsErrors) {
  const struct {
    decltype(__mysql_real_query) pfnQuery;
    decltype(__mysql_init) pfnInit;
    unsigned int nCode, nSubCode;
    const wchar_t* pszDebug;
    int bGPF;
  } rows[] = {
      {QueryThrowsText, nullptr, 37, 0, L"IEQXMSQL=101.", 0},
      {QueryThrowsOther, nullptr, 23, 0, L"3.23.52", 1},
      {nullptr, InitGivesNull, 78, 0, L"mysql_init returned NULL", 0},
      {nullptr, InitThrows, 78, 23, L"3.23.52", 1},
  };
  {
    CMySQLConnection loads(L"id", &m_host);  // the entries to restore are the library's
    ASSERT_TRUE(loads.bOpen(&m_error)) << m_error.pszGetError();
  }
  const auto query = __mysql_real_query;
  const auto init = __mysql_init;
  for (const auto& row : rows) {
    CMySQLConnection cnx(L"id", &m_host);
    m_error.Reset();
    CNADriver::s_bGPFCatched = 0;
    const bool bQueryRow = row.pfnQuery != nullptr;
    ASSERT_TRUE(!bQueryRow || cnx.bOpen(&m_error)) << m_error.pszGetError();
    __mysql_real_query = bQueryRow ? row.pfnQuery : query;
    __mysql_init = bQueryRow ? init : row.pfnInit;
    const BOOL ok = bQueryRow ? cnx.bExecuteQueryNoResult(&m_error, L"DO 1") : cnx.bOpen(&m_error);
    __mysql_real_query = query;
    __mysql_init = init;
    EXPECT_FALSE(ok);
    EXPECT_EQ(m_error.dwGetErrorId(), row.nCode);
    const CXError* e = m_error.pclGetXError();
    EXPECT_EQ(e->nGetNbSubError() > 0 ? e->pclGetSubError(0)->nGetUserErrorCode() : 0u, row.nSubCode);
    EXPECT_NE(std::wstring(m_error.pszGetError()).find(row.pszDebug), std::wstring::npos) << m_error.pszGetError();
    EXPECT_EQ(CNADriver::s_bGPFCatched, row.bGPF);
  }
}

TEST_P(LiveGuard, ServerErrorsAndResultsLeaveTheConnectionReady) {
  const std::string table = Unique(GetParam() == RawTransport::Tcp ? "errors_tcp" : "errors_socket");
  CMySQLConnection cnx(L"id", &m_host);
  ASSERT_TRUE(cnx.bOpen(&m_error)) << m_error.pszGetError();
  EXPECT_TRUE(cnx.bInitError(&m_error, 101, 99));  // no error: nothing added
  EXPECT_EQ(m_error.eGetErrorType(), NA_ERRORTYPE_NONE);
  const struct {
    std::string strSql;
    BOOL bResult;
    unsigned int nServerCode;
  } rows[] = {
      {"CREATE TABLE " + table + " (k INT PRIMARY KEY)", TRUE, 0},
      {"INSERT INTO " + table + " VALUES (1)", TRUE, 0},
      {"INSERT INTO " + table + " VALUES (1)", FALSE, 1062},
      {"SELECT 1; SELECT 2", TRUE, 0},
      {"DO 1; SELECT * FROM " + table + "_none", FALSE, 1146},
      {"DROP TABLE " + table, TRUE, 0},
  };
  for (const auto& row : rows) {
    m_error.Reset();
    EXPECT_EQ(cnx.bExecuteQueryNoResult(&m_error, Wide(row.strSql).c_str()), row.bResult) << row.strSql;
    EXPECT_EQ(m_error.dwGetErrorId(), row.bResult ? 0u : 22u) << row.strSql;
    EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), row.nServerCode) << row.strSql;
    EXPECT_EQ(Column(cnx, "SELECT 7"), std::vector<std::string>{"7"}) << "after " << row.strSql;
  }
  const std::pair<unsigned int, int> types[] = {{1062, 3}, {1205, 2}, {1048, 8}, {1049, 0}};
  for (const auto& [code, type] : types) EXPECT_EQ(cnx.eGetNAErrorType(code), type) << code;
  // Closed: a call raises 14 instead of reaching the client with a freed handle.
  EXPECT_TRUE(cnx.bClose(&m_error));
  m_error.Reset();
  EXPECT_FALSE(cnx.bExecuteQueryNoResult(&m_error, L"DO 1"));
  EXPECT_EQ(m_error.dwGetErrorId(), 14u);
}

INSTANTIATE_TEST_SUITE_P(Transports, LiveGuard, ::testing::Values(RawTransport::Tcp, RawTransport::Socket),
                         [](const auto& info) { return info.param == RawTransport::Tcp ? "Tcp" : "Socket"; });

}  // namespace

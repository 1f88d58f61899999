// The settings a connection takes from the host's description and its extended information.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "mysql/mysqlconnection.h"
#include "tests/mysql/host_connection.h"

namespace {

struct Expected {
  int nConnectionTimeout = 15, nLockTimeout = -1;
  long long llCacheSize = 500;
  eCURSORLOCATION eCursor = CURSORLOCATION_DEFAULT;
  const wchar_t* pszExtendedLeft = L"";
  const wchar_t* pszSSLCA = L"";
  const wchar_t* pszSSLCAPath = L"";
  int nPort = 0, nClientFlag = 0;
  const wchar_t* pszSocket = L"";
  const wchar_t* pszDatabase = L"";
};

TEST(ConnectionSettings, TakesItsKeysOutOfTheExtendedInformation) {
  const struct {
    const wchar_t* pszExtended;
    long lCursorOptions;
    int nHostVersion;
    Expected x;
  } rows[] = {
      {L"QX Lock Timeout = 30 ;Other=1", 0, 4, {.nLockTimeout = 30, .pszExtendedLeft = L"Other=1"}},
      {L"QX Cursor Location=server", 0, 4, {.eCursor = CURSORLOCATION_SERVER}},
      {L"QX Cursor Location=elsewhere", 3, 4, {.eCursor = CURSORLOCATION_DEFAULT}},
      {nullptr, 3, 4, {.eCursor = CURSORLOCATION_SERVER}},
      {nullptr, 2, 4, {.eCursor = CURSORLOCATION_CLIENT}},
      {nullptr, 0, 3, {.llCacheSize = -2}},
      {L"QX Cache Size=-7", 0, 3, {.llCacheSize = -7}},
      {L"SSL CAPath=/p;SSL CA=/ca", 0, 4, {.pszSSLCA = L"/ca", .pszSSLCAPath = L"/p"}},
      {L"SSL CA=/ca;SSL CAPath=/p", 0, 4, {.pszSSLCA = L"/ca", .pszSSLCAPath = L"/p"}},
      // Out of the int range: the limit, as a 32-bit long would give, never a cut value.
      {L"QX Connection Timeout=99999999999;QX Lock Timeout=-99999999999", 0, 4,
       {.nConnectionTimeout = INT_MAX, .nLockTimeout = INT_MIN}},
      {L"QX Connection Timeout=4294967326", 0, 4, {.nConnectionTimeout = INT_MAX}},
      {L"QX Connection Timeout=;QX Lock Timeout=x", 0, 4, {.nLockTimeout = 0}},
      {L"Server Port=3307;Client Flag=32;Unix Socket=/run/s.sock;Initial Catalog=db", 0, 4,
       {.pszExtendedLeft = L"Initial Catalog=db", .nPort = 3307, .nClientFlag = 32, .pszSocket = L"/run/s.sock",
        .pszDatabase = L"db"}},
  };
  for (const auto& row : rows) {
    CTestHostConnection host;
    host.pszExtendedInfo = row.pszExtended;
    host.lCursorOptions = row.lCursorOptions;
    host.nVersion = row.nHostVersion;
    CMySQLConnection cnx(L"id", &host);
    const Expected& x = row.x;
    const std::wstring context = row.pszExtended != nullptr ? row.pszExtended : L"(none)";
    SCOPED_TRACE(std::string(context.begin(), context.end()));
    EXPECT_EQ(cnx.nGetConnectionTimeout(), x.nConnectionTimeout);
    EXPECT_EQ(cnx.nGetCommandTimeout(), 25);
    EXPECT_EQ(cnx.nGetLockTimeout(), x.nLockTimeout);
    EXPECT_EQ(cnx.llGetCacheSize(), x.llCacheSize);
    EXPECT_EQ(cnx.eGetCursorLocation(), x.eCursor);
    EXPECT_STREQ(cnx.pszGetExtendedInfo(), x.pszExtendedLeft);
    EXPECT_STREQ(cnx.pszGetSSLCA(), x.pszSSLCA);
    EXPECT_STREQ(cnx.pszGetSSLCAPath(), x.pszSSLCAPath);
    EXPECT_EQ(cnx.nGetPort(), x.nPort);
    EXPECT_EQ(cnx.nGetClientFlag(), x.nClientFlag);
    CTString socket;
    cnx.bGetUnixSocket(&socket);
    EXPECT_STREQ(socket.pszGet(), x.pszSocket);
    EXPECT_STREQ(cnx.pszGetDefaultDataBaseEx(), x.pszDatabase);
    // The connection text keeps the host's whole extended information.
    EXPECT_NE(std::wstring(cnx.pszGetConnectionString()).find(row.pszExtended ? row.pszExtended : L"NULL"),
              std::wstring::npos);
  }
}

TEST(ConnectionSettings, HostTextsFillTheConnectionTextDatabaseAndApplicationName) {
  CTestHostConnection host;
  host.pszProvider = L"MySQL;Initial Catalog=fromprovider";
  host.pszExtendedInfo = L"Application Name=";
  CMySQLConnection cnx(L"id", &host);
  EXPECT_NE(std::wstring(cnx.pszGetConnectionString()).find(L";user id=NULL;password=NULL"), std::wstring::npos);
  EXPECT_STREQ(cnx.pszGetDefaultDataBaseEx(), L"fromprovider");
  EXPECT_STREQ(cnx.pszGetApplicationName(), L"test_connection_settings");
  EXPECT_EQ(host.nRef, 1);
}

}  // namespace

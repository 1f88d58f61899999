// The settings a connection takes from the host's description and its extended information.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "host/host_nadescription.h"
#include "mysql/mysqlconnection.h"

namespace {

struct Expected {
  int nConnectionTimeout = -1, nLockTimeout = -1;
  long long llCacheSize = -1;
  eCURSORLOCATION eCursor = CURSORLOCATION_DEFAULT;
  const wchar_t *pszLeft = L"", *pszSSLCA = L"", *pszSSLCAPath = L"", *pszSocket = L"", *pszDatabase = L"";
  int nPort = 0, nClientFlag = 0;
};

TEST(ConnectionSettings, HostCacheSizeAndCursorOptionsServeWhereTheKeysAreSilent) {
  const struct {
    int nHostVersion;
    long long llHostCache;
    long lOptions;
    const wchar_t* pszExtended;
    long long llCacheSize;
    eCURSORLOCATION eCursor;
  } rows[] = {
      {4, 250, 0, nullptr, 250, CURSORLOCATION_DEFAULT},
      {3, 250, 0, nullptr, -2, CURSORLOCATION_DEFAULT},  // before version 4 the host has none
      {4, 250, 0, L"QX Cache Size=15", 15, CURSORLOCATION_DEFAULT},
      {4, -1, 1, nullptr, -1, CURSORLOCATION_SERVER},
      {4, -1, 2, nullptr, -1, CURSORLOCATION_CLIENT},
      {4, -1, 3, nullptr, -1, CURSORLOCATION_SERVER},
      {4, -1, 4, nullptr, -1, CURSORLOCATION_DEFAULT},
      {4, -1, 1, L"QX Cursor Location=Client", -1, CURSORLOCATION_CLIENT},
  };
  for (const auto& row : rows) {
    CHostConnectionDescription host;
    host.m_nVersion = row.nHostVersion;
    host.m_llCacheSize = row.llHostCache;
    host.m_lCursorOptions = row.lOptions;
    host.m_pszExtendedInfo = row.pszExtended;
    CMySQLConnection cnx(L"id", &host);
    SCOPED_TRACE(testing::Message() << row.nHostVersion << " " << row.llHostCache << " " << row.lOptions);
    EXPECT_EQ(cnx.llGetCacheSize(), row.llCacheSize);
    EXPECT_EQ(cnx.eGetCursorLocation(), row.eCursor);
  }
}

TEST(ConnectionSettings, TakesItsKeysOutOfTheExtendedInformation) {
  const struct {
    const wchar_t* pszExtended;
    int nHostVersion;
    Expected x;
  } rows[] = {
      {L"QX Lock Timeout = 30 ;Other=1", 4, {.nLockTimeout = 30, .pszLeft = L"Other=1"}},
      {L"QX Cursor Location=server", 4, {.eCursor = CURSORLOCATION_SERVER}},
      {L"QX Cursor Location=Client;QX Cache Size=-7", 3, {.llCacheSize = -7, .eCursor = CURSORLOCATION_CLIENT}},
      {L"QX Cursor Location=elsewhere", 3, {.llCacheSize = -2}},
      {L"SSL CAPath=/p;SSL CA=/ca", 4, {.pszSSLCA = L"/ca", .pszSSLCAPath = L"/p"}},
      // Out of the int range: the limit, as a 32-bit long would give, never a cut value.
      {L"QX Connection Timeout=99999999999;QX Lock Timeout=-99999999999", 4,
       {.nConnectionTimeout = INT_MAX, .nLockTimeout = INT_MIN}},
      {L"QX Connection Timeout=4294967326", 4, {.nConnectionTimeout = INT_MAX}},
      {L"QX Connection Timeout=;QX Lock Timeout=x", 4, {.nLockTimeout = 0}},
      {L"Server Port=3307;Client Flag=32;Unix Socket=/run/s.sock;Initial Catalog=db", 4,
       {.pszLeft = L"Initial Catalog=db", .pszSocket = L"/run/s.sock", .pszDatabase = L"db", .nPort = 3307,
        .nClientFlag = 32}},
  };
  for (const auto& row : rows) {
    CHostConnectionDescription host;
    host.m_pszExtendedInfo = row.pszExtended;
    host.m_nVersion = row.nHostVersion;
    CMySQLConnection cnx(L"id", &host);
    const Expected& x = row.x;
    SCOPED_TRACE(testing::Message() << row.pszExtended);
    EXPECT_EQ(cnx.nGetConnectionTimeout(), x.nConnectionTimeout);
    EXPECT_EQ(cnx.nGetLockTimeout(), x.nLockTimeout);
    EXPECT_EQ(cnx.llGetCacheSize(), x.llCacheSize);
    EXPECT_EQ(cnx.eGetCursorLocation(), x.eCursor);
    EXPECT_STREQ(cnx.pszGetExtendedInfo(), x.pszLeft);
    EXPECT_STREQ(cnx.pszGetSSLCA(), x.pszSSLCA);
    EXPECT_STREQ(cnx.pszGetSSLCAPath(), x.pszSSLCAPath);
    EXPECT_EQ(cnx.nGetPort(), x.nPort);
    EXPECT_EQ(cnx.nGetClientFlag(), x.nClientFlag);
    CTString socket;
    cnx.bGetUnixSocket(&socket);
    EXPECT_STREQ(socket.pszGet(), x.pszSocket);
    EXPECT_STREQ(cnx.pszGetDefaultDataBaseEx(), x.pszDatabase);
    // The connection text keeps the host's whole extended information.
    EXPECT_NE(std::wstring(cnx.pszGetConnectionString()).find(row.pszExtended), std::wstring::npos);
  }
}

TEST(ConnectionSettings, HostTextsFillTheConnectionTextDatabaseAndApplicationName) {
  CHostConnectionDescription host;
  host.m_pszUser = nullptr;
  host.m_pszProvider = L"MySQL;Initial Catalog=fromprovider";
  host.m_pszExtendedInfo = L"Application Name=";
  CMySQLConnection cnx(L"id", &host);
  EXPECT_NE(std::wstring(cnx.pszGetConnectionString()).find(L";user id=NULL;password=Secret"), std::wstring::npos);
  EXPECT_STREQ(cnx.pszGetDefaultDataBaseEx(), L"fromprovider");
  EXPECT_STREQ(cnx.pszGetApplicationName(), L"test_connection_settings");
  EXPECT_EQ(host.nGetRefCount(), 1);
}

}  // namespace

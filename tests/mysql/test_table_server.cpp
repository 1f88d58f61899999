// The table object in the process, against the private server: a connection closed underneath an
// open file (as another holder of the connection may close it) fails the next server read with
// user error 14 for the host, and the file can still be closed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <string>

#include "access/natable.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "host/host_context.h"
#include "host/host_datasource.h"
#include "host/host_nadescription.h"
#include "mysql/mysqldriver.h"
#include "tests/support/rawmysql.h"

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST(TableOnServer, ConnectionClosedUnderneathFailsTheNextServerReadWithError14) {
  TestServer server;
  if (!TestServer::fromEnv(&server)) GTEST_FAIL() << TestServer::setupHint();
  RawMySQL lib;
  RawConnection raw(lib);
  std::string err;
  ASSERT_TRUE(lib.load(&err) && raw.connect(server, RawTransport::Tcp, &err)) << err;
  const std::string table = "qx_closed_" + std::to_string(getpid());
  ASSERT_TRUE(raw.exec("CREATE TABLE " + table + " (id INT PRIMARY KEY)", &err)) << err;
  for (int i = 1; i <= 20; ++i) ASSERT_TRUE(raw.exec("INSERT INTO " + table + " VALUES (" + std::to_string(i) + ")", &err));

  const std::wstring user = Wide(server.user), password = Wide(server.password), source = Wide(server.host),
                     info = Wide("Server Port=" + std::to_string(server.port) + ";Initial Catalog=" + server.database +
                                 ";QX Cache Size=15"),
                     name = Wide(table);
  CHostConnectionDescription host;
  host.m_pszUser = user.c_str();
  host.m_pszPassword = password.c_str();
  host.m_pszDataSource = source.c_str();
  host.m_pszExtendedInfo = info.c_str();
  CHostItemDescription id(L"id", NA_IT_I4, 4);
  id.m_wKeyFlags = 0x8000;
  id.m_pszNameInSource = L"";
  CHostRecordDescription desc;
  desc.Add(&id);
  desc.m_pszName = desc.m_pszPhysicalName = desc.m_pszDBTableName = name.c_str();
  {
    CMySQLDriver driver;
    CNATable* t = static_cast<CNATable*>(driver.piGetTable(&host, &desc));
    ASSERT_NE(t, nullptr);
    CHostContext ctx(1, 1);
    auto next = [&](eNA_PARSEDIRECTION dir) { return t->bHLitxxx(&ctx, L"id", dir, 1, eNA_LOCKTYPE{0}, nullptr, 0); };
    ASSERT_TRUE(t->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr)) << t->piGetLastError(&ctx)->pszGetError();
    ASSERT_TRUE(next(NA_PARSE_FIRST));
    for (int i = 1; i < 15; ++i) ASSERT_TRUE(next(NA_PARSE_NEXT)) << i;
    ASSERT_TRUE(t->pclGetConnectionNoRef()->bClose(nullptr));
    EXPECT_FALSE(next(NA_PARSE_NEXT));
    EXPECT_EQ(t->piGetLastError(&ctx)->pclGetXError()->nGetUserErrorCode(), 14u);
    EXPECT_TRUE(t->bHFerme(&ctx));
    EXPECT_EQ(t->nExternalRelease(), 0);
  }
  EXPECT_EQ(host.nGetRefCount(), 0);
  EXPECT_EQ(desc.nGetRefCount(), 0);
  raw.exec("DROP TABLE " + table, &err);
}

}  // namespace

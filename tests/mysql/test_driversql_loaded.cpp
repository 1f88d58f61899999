// The SQL-function service of the loaded driver, as the host gets it and may keep it: one
// service per driver, a numbered statement on the private server, and the host's release of the
// driver while it still holds both.
#include <gtest/gtest.h>

#include <string>

#include "driver/inadriver.h"
#include "driver/inadriversql.h"
#include "driver/inaerror.h"
#include "host/host_control.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "platform/component.h"
#include "tests/support/rawmysql.h"

namespace {

using PFNINIT = BOOL (*)(HINSTANCE__*);
using PFNQUERY = INADriver* (*)();
using PFNTERM = BOOL (*)();

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST(LoadedDriverSQL, HostKeepsTheServiceAndAStatementPastTheDriver) {
  TestServer server;
  if (!TestServer::fromEnv(&server)) FAIL() << TestServer::setupHint();
  CHostLoader loader;
  std::string err;
  ASSERT_TRUE(loader.Load(&err)) << err;
  auto init = loader.DriverEntry<PFNINIT>("bInitLibrary");
  auto query = loader.DriverEntry<PFNQUERY>("piQueryInterface");
  auto term = loader.DriverEntry<PFNTERM>("TermLibrary");
  auto execution = loader.DriverEntry<PFNEXECUTION>("Execution");
  ASSERT_TRUE(init && query && term && execution);
  // The host's component start-up: its locale and text services.
  intptr_t block[5] = {12, reinterpret_cast<intptr_t>(loader.HostHandle()), 0, 0, 0};
  ASSERT_EQ(execution(EXEC_INITIALISE, block), 1);
  ASSERT_TRUE(init(static_cast<HINSTANCE__*>(loader.DriverHandle())));
  INADriver* driver = query();
  ASSERT_NE(driver, nullptr);

  INADriverSQL* service = driver->piGetInterface(1);
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(driver->piGetInterface(1), service);
  EXPECT_EQ(driver->piGetInterface(2), nullptr);
  EXPECT_EQ(service->nExternalRelease(), 1);  // two hands held it
  EXPECT_EQ(service->nGetVersion(), 4);

  const std::wstring user = Wide(server.user), password = Wide(server.password), source = Wide(server.host),
                     info = Wide("Server Port=" + std::to_string(server.port) + ";Initial Catalog=" + server.database);
  CHostConnectionDescription host;
  host.m_pszUser = user.c_str();
  host.m_pszPassword = password.c_str();
  host.m_pszDataSource = source.c_str();
  host.m_pszExtendedInfo = info.c_str();
  int cnx = 0, stmt = 0;
  ASSERT_TRUE(service->bOpenConnection(&cnx, &host)) << service->piGetLastError()->pszGetError();
  ASSERT_TRUE(service->bExecute(&stmt, cnx, L"SELECT 1 UNION SELECT 2", nullptr, 0));
  ASSERT_NE(stmt, 0);
  EXPECT_TRUE(service->bFetch(cnx, stmt, 0));

  EXPECT_EQ(driver->nExternalRelease(), 0);
  int unchanged = -7;
  EXPECT_FALSE(service->bFetch(cnx, stmt, 0));
  EXPECT_FALSE(service->bExecute(&unchanged, cnx, L"SELECT 3", nullptr, 0));
  EXPECT_FALSE(service->bTrsBegin(nullptr, cnx, 0));
  EXPECT_EQ(unchanged, -7);
  EXPECT_NE(service->piGetLastError(), nullptr);
  EXPECT_TRUE(service->bFreeStmt(cnx, stmt, 0));
  EXPECT_EQ(host.nGetRefCount(), 0);  // the statement's connection went with it
  EXPECT_EQ(service->nExternalRelease(), 0);
  EXPECT_TRUE(term());
  EXPECT_EQ(execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_EQ(loader.Control()->nLiveBlocks(), 0);
}

}  // namespace

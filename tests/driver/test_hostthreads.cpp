// The driver from eight host threads at once: opens that fail (a closed port of this machine) or
// succeed (the private server) write the driver's error object while other threads read it,
// drivers are made and released while others reach the designated one, and the library is
// started and ended from every thread. Each thread checks what it sees; run in the
// ThreadSanitizer build (scripts/build tsan) the same tests must also report no race.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "access/nadataaccess.h"
#include "driver/naconnectiondescription.h"
#include "driver/nacontext.h"
#include "driver/naentry.h"
#include "driver/naerror.h"
#include "host/host_nadescription.h"
#include "mysql/mysqldriver.h"
#include "mysql/mysqlguard.h"
#include "platform/errortable.h"
#include "platform/maincommun.h"
#include "tests/support/rawmysql.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 40;

// Runs body(thread index) on kThreads threads released together.
void OnEightThreads(const std::function<void(int)>& body) {
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back([&, i] {
      start.arrive_and_wait();
      body(i);
    });
  for (std::thread& t : threads) t.join();
}

// A port of this machine nobody listens on: bound, then let go.
unsigned int ClosedPort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  const bool ok = s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  if (s >= 0) close(s);
  return ok ? ntohs(address.sin_port) : 1;
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

using Counts = std::vector<int>;
Counts Zeros() { return Counts(kThreads, 0); }

TEST(HostThreads, ErrorObjectIsReadWhileFailingOpensWriteIt) {
  INADriver* host = piQueryInterface();
  auto* driver = static_cast<CNADriver*>(host);
  const std::wstring route = L"Server Port=" + std::to_wstring(ClosedPort());
  CHostConnectionDescription refused;
  refused.m_pszDataSource = L"127.0.0.1";
  refused.m_pszExtendedInfo = route.c_str();
  const std::wstring emptyDump = CNAError().pszGetError();
  Counts opened = Zeros(), failed = Zeros(), torn = Zeros();
  OnEightThreads([&](int i) {
    for (int n = 0; n < kRounds; ++n) {
      INAError* error = host->piGetLastError();
      if (i % 2 == 0) {
        // A failing open as a host entry runs it: the error object emptied first.
        error->Reset();
        CNAConnectionDescription* cnx = driver->_pclGetConnection(&refused);
        (driver->_bOpenConnection(cnx) ? opened : failed)[i]++;
        driver->nReleaseConnection(cnx);
        continue;
      }
      // Each read whole: no error, or the refused open's (79, level 2) with its place.
      const std::wstring dump = error->pszGetError();
      const DWORD id = error->dwGetErrorId();
      const eNA_ERRORTYPE type = error->eGetErrorType();
      const eNAERRORLEVEL level = error->eGetErrorLevel();
      if ((dump != emptyDump && dump.find(L"IEQXMSQL=") == std::wstring::npos) || (id != 0 && id != 79) ||
          (type != NA_ERRORTYPE_NONE && type != NA_ERRORTYPE_DEFAULT) || level > NAERRORLEVEL_WARNING ||
          error->pszGetLogicalTableName() != nullptr || error->pszGetItemName() != nullptr)
        ++torn[i];
    }
  });
  EXPECT_EQ(opened, Zeros());
  EXPECT_EQ(torn, Zeros());
  for (int i = 0; i < kThreads; i += 2) EXPECT_EQ(failed[i], kRounds) << i;
  EXPECT_EQ(driver->dwGetConnectionCount(), 0u);
  EXPECT_EQ(refused.nGetRefCount(), 0);
  EXPECT_EQ(host->nExternalRelease(), 0);
}

TEST(HostThreads, LiveOpensAndTransactionsRunFromEightThreads) {
  TestServer server;
  if (!TestServer::fromEnv(&server)) FAIL() << TestServer::setupHint();
  INADriver* host = piQueryInterface();
  auto* driver = static_cast<CNADriver*>(host);
  const std::wstring user = Wide(server.user), password = Wide(server.password), source = Wide(server.host),
                     route = Wide("Server Port=" + std::to_string(server.port) + ";Initial Catalog=" + server.database);
  CHostConnectionDescription live;
  live.m_pszUser = user.c_str();
  live.m_pszPassword = password.c_str();
  live.m_pszDataSource = source.c_str();
  live.m_pszExtendedInfo = route.c_str();
  Counts done = Zeros(), torn = Zeros();
  OnEightThreads([&](int i) {
    for (int n = 0; n < kRounds / 4; ++n) {
      INAError* error = host->piGetLastError();
      if (i % 2 != 0) {
        if (error->dwGetErrorId() != 0 || error->eGetErrorType() != NA_ERRORTYPE_NONE) ++torn[i];
        continue;
      }
      // One host entry: the whole cycle under the driver mutex.
      CNADriverLock entry;
      error->Reset();
      CNAConnectionDescription* cnx = driver->_pclGetConnection(&live);
      CNAError* e = driver->pclGetErrorNoRef();
      const bool ok = driver->_bOpenConnection(cnx) && cnx->bTransactionBegin(e, L"") &&
                      cnx->bResumeCurrentTransaction(e) && cnx->bActiveCurrentTransaction(e, 1) &&
                      cnx->bExecuteQueryNoResult(e, L"SELECT 1") && cnx->bTransactionCommit(e, L"") &&
                      driver->_bCloseConnection(cnx);
      driver->nReleaseConnection(cnx);
      done[i] += ok ? 1 : 0;
    }
  });
  EXPECT_EQ(torn, Zeros());
  for (int i = 0; i < kThreads; i += 2) EXPECT_EQ(done[i], kRounds / 4) << i << " " << host->piGetLastError()->pszGetError();
  EXPECT_EQ(driver->dwGetConnectionCount(), 0u);
  EXPECT_EQ(host->nExternalRelease(), 0);
}

// Most drivers made go again at once: the designation is handed on while it is read.
TEST(HostThreads, DesignatedDriverIsReadWhileDriversAreMadeAndReleased) {
  INADriver* first = piQueryInterface();
  auto* firstDriver = static_cast<CNADriver*>(first);
  CHostConnectionDescription never;  // the connection is made, never opened
  CNAConnectionDescription* cnx = firstDriver->_pclGetConnection(&never);
  std::vector<std::vector<INADriver*>> made(kThreads);
  Counts wrong = Zeros();
  std::atomic<int> makers{kThreads / 2};
  OnEightThreads([&](int i) {
    if (i % 2 == 0) {
      // One in kKept made is kept to the end, the others go at once: the release rarely meets a
      // reader in the moment that matters, so it is done often.
      constexpr int kKept = 128;
      for (int n = 0; n < kKept * kRounds; ++n) {
        INADriver* driver = piQueryInterface();
        if (n % kKept == 0)
          made[i].push_back(driver);
        else if (driver->nExternalRelease() != 0)
          ++wrong[i];
      }
      --makers;
      return;
    }
    // The four readers of the designated driver, for as long as drivers come and go.
    CNAContext context(nullptr);
    for (int n = 0; n < kRounds || makers > 0; ++n) {
      if (CNADriver::s_pclGetDriverSQL() == nullptr) ++wrong[i];
      CNADataAccess* access = context._pclAllocDataAccess(nullptr, nullptr, firstDriver->pclGetErrorNoRef());
      if (access == nullptr) {
        ++wrong[i];
      } else {
        access->AddRef();
        access->nRelease();
      }
      MySQLGuardReport(nullptr, cnx, NA_SRC_MYSQL_CONNECTION, 1, nullptr);
      _CXErrorModule32 report;
      cnx->AddInfoNativeXError(&report);
      if (std::wstring(report.pszGetDebugMessage()).find(L"provider") == std::wstring::npos) ++wrong[i];
    }
  });
  EXPECT_EQ(wrong, Zeros());
  EXPECT_EQ(firstDriver->nReleaseConnection(cnx), 0);
  for (const auto& drivers : made)
    for (INADriver* driver : drivers) EXPECT_EQ(driver->nExternalRelease(), 0);
  EXPECT_EQ(CNADriver::s_pclDriver.load(), first);
  EXPECT_EQ(first->nExternalRelease(), 0);
  EXPECT_EQ(CNADriver::s_pclDriver.load(), nullptr);
}

// Last: it ends the library of the process.
TEST(HostThreads, LibraryStartsAndEndsOnceFromEightThreads) {
  ASSERT_EQ(gnNbInitialisation, 0) << "the library must not have been started in this process";
  Counts started = Zeros(), ended = Zeros();
  // Each caller returns with the runtime started, by itself or by another thread.
  OnEightThreads([&](int i) { started[i] = bInitLibrary(nullptr) && CMainCommun::ms_bInitialise; });
  EXPECT_EQ(started, Counts(kThreads, 1));
  EXPECT_EQ(gnNbInitialisation, kThreads);
  OnEightThreads([&](int i) { ended[i] = TermLibrary() && !CMainCommun::ms_bInitialise; });
  EXPECT_EQ(ended, Counts(kThreads, 1));
}

}  // namespace

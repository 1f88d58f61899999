// The table object in the process, against the private server: a connection closed underneath an
// open file (as another holder of the connection may close it) fails the next server read with
// user error 14 for the host, and the file can still be closed; a transaction's end marks every
// started browse of the table for a new run, which then reads on from its record; four host
// threads mix the refusals and the automatic filters with their browses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "access/nadataaccess.h"
#include "access/natable.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "host/host_context.h"
#include "host/host_datasource.h"
#include "host/host_nadescription.h"
#include "mysql/mysqldriver.h"
#include "sql/nakjrecord.h"
#include "sql/nastatement.h"
#include "tests/support/any_test_values.h"
#include "tests/support/rawmysql.h"

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

constexpr int kRows = 20;
const eNA_LOCKTYPE kNoLock{0};

// A table (id INT PRIMARY KEY) of kRows rows 1..kRows, its host description and a connection
// description of the server with blocks of 15 rows; the driver lives in the process.
class TableOnServer : public testing::Test {
 protected:
  // The values' bridge to the host VM linked into the test.
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    if (!TestServer::fromEnv(&m_server)) GTEST_FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_lib.load(&err) && m_raw.connect(m_server, RawTransport::Tcp, &err)) << err;
    m_table = "qx_tbl_" + std::to_string(getpid());
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_table + " (id INT PRIMARY KEY)", &err)) << err;
    for (int i = 1; i <= kRows; ++i)
      ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_table + " VALUES (" + std::to_string(i) + ")", &err)) << err;
    m_user = Wide(m_server.user);
    m_password = Wide(m_server.password);
    m_source = Wide(m_server.host);
    m_info = Wide("Server Port=" + std::to_string(m_server.port) + ";Initial Catalog=" + m_server.database +
                  ";QX Cache Size=15");
    m_name = Wide(m_table);
    m_host.m_pszUser = m_user.c_str();
    m_host.m_pszPassword = m_password.c_str();
    m_host.m_pszDataSource = m_source.c_str();
    m_host.m_pszExtendedInfo = m_info.c_str();
    m_id.m_wKeyFlags = 0x8000;
    m_id.m_pszNameInSource = L"";
    m_desc.Add(&m_id);
    m_desc.m_pszName = m_desc.m_pszPhysicalName = m_desc.m_pszDBTableName = m_name.c_str();
    m_driver = std::make_unique<CMySQLDriver>();
    m_driver->AllocError();  // as the driver's entry point gives it
    m_pTable = static_cast<CNATable*>(m_driver->piGetTable(&m_host, &m_desc));
    ASSERT_NE(m_pTable, nullptr);
  }
  void TearDown() override {
    if (m_pTable != nullptr) {
      EXPECT_EQ(m_pTable->nExternalRelease(), 0);
    }
    m_driver.reset();
    EXPECT_EQ(m_host.nGetRefCount(), 0);
    EXPECT_EQ(m_desc.nGetRefCount(), 0);
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err);
  }
  BOOL Read(INAContext* ctx, eNA_PARSEDIRECTION dir) {
    return m_pTable->bHLitxxx(ctx, L"id", dir, 1, kNoLock, nullptr, 0);
  }
  // The id of ctx's current record; 0 without one.
  int32_t Id(INAContext* ctx) {
    CNAKJRecord* record = nullptr;
    if (!m_pTable->bGetRecord(ctx, &record) || record == nullptr) return 0;
    int32_t id = 0;
    memcpy(&id, record->pbyGetValues() + m_id.nGetOffset(0), 4);
    record->vnRelease();
    return id;
  }
  CNAStatement* Browse(INAContext* ctx) {
    CNADataAccess* access = m_pTable->_pclFindDataAccess(ctx);
    if (access == nullptr) return nullptr;
    CNAStatement* stmt = access->_pclFindStatement(L"id");
    access->nRelease();
    if (stmt != nullptr) stmt->nRelease();  // the access keeps it
    return stmt;
  }

  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_raw{m_lib};
  std::string m_table;
  std::wstring m_user, m_password, m_source, m_info, m_name;
  CHostConnectionDescription m_host;
  CHostItemDescription m_id{L"id", NA_IT_I4, 4};
  CHostRecordDescription m_desc;
  std::unique_ptr<CMySQLDriver> m_driver;
  CNATable* m_pTable = nullptr;
};

TEST_F(TableOnServer, ConnectionClosedUnderneathFailsTheNextServerReadWithError14) {
  CHostContext ctx(1, 1);
  ASSERT_TRUE(m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr)) << m_pTable->piGetLastError(&ctx)->pszGetError();
  ASSERT_TRUE(Read(&ctx, NA_PARSE_FIRST));
  for (int i = 1; i < 15; ++i) ASSERT_TRUE(Read(&ctx, NA_PARSE_NEXT)) << i;
  ASSERT_TRUE(m_pTable->pclGetConnectionNoRef()->bClose(nullptr));
  EXPECT_FALSE(Read(&ctx, NA_PARSE_NEXT));
  EXPECT_EQ(m_pTable->piGetLastError(&ctx)->pclGetXError()->nGetUserErrorCode(), 14u);
  EXPECT_TRUE(m_pTable->bHFerme(&ctx));
}

TEST_F(TableOnServer, TransactionEndMarksEveryStartedBrowseForANewRunThatReadsOn) {
  // Two files browsing (one past its first block), one open and never browsed.
  CHostContext a(2, 1), b(3, 1), idle(4, 1);
  for (CHostContext* ctx : {&a, &b, &idle}) ASSERT_TRUE(m_pTable->bHOuvre(ctx, eNA_ACCESS{0}, nullptr));
  ASSERT_TRUE(Read(&a, NA_PARSE_FIRST));
  for (int i = 1; i < 16; ++i) ASSERT_TRUE(Read(&a, NA_PARSE_NEXT));
  ASSERT_TRUE(Read(&b, NA_PARSE_LAST));
  ASSERT_EQ(Id(&a), 16);
  ASSERT_EQ(Id(&b), kRows);
  m_pTable->SetTransactionTermined();
  for (CHostContext* ctx : {&a, &b}) {
    ASSERT_NE(Browse(ctx), nullptr);
    EXPECT_EQ(Browse(ctx)->eParseNeedUpdate(), NA_PARSE_RERUN);
  }
  EXPECT_EQ(Browse(&idle), nullptr);
  // A row another session added meanwhile is met by the new run.
  std::string err;
  ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_table + " VALUES (0), (17000)", &err)) << err;
  for (int want : {17, 18, 19, 20, 17000}) {
    ASSERT_TRUE(Read(&a, NA_PARSE_NEXT)) << want;
    EXPECT_EQ(Id(&a), want);
  }
  ASSERT_TRUE(Read(&b, NA_PARSE_PREVIOUS));
  EXPECT_EQ(Id(&b), kRows - 1);
  for (CHostContext* ctx : {&a, &b, &idle}) EXPECT_TRUE(m_pTable->bHFerme(ctx));
}

TEST_F(TableOnServer, FourThreadsMixRefusalsAndAutomaticFiltersWithReads) {
  std::string failures[4];
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      std::string& failed = failures[i];
      CHostContext ctx(50 + static_cast<DWORD>(i), 1);
      if (!m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr)) {
        failed = "not opened";
        return;
      }
      for (int round = 0; round < 20; ++round) {
        int want = 1;
        for (eNA_PARSEDIRECTION dir = NA_PARSE_FIRST; want <= kRows; dir = NA_PARSE_NEXT, ++want) {
          if (!Read(&ctx, dir) || Id(&ctx) != want) failed += "row " + std::to_string(want) + "; ";
          switch ((want + i) % 5) {
            case 0:
              if (m_pTable->bHInterditModif(&ctx) || m_pTable->bCalculateKeyValue(&ctx, L"id", nullptr, nullptr,
                                                                                   nullptr, 0, 0))
                failed += "refusal answered TRUE; ";
              if (m_pTable->piGetLastError(&ctx)->pclGetXError()->nGetUserErrorCode() != 8)
                failed += "refusal not copied; ";
              break;
            case 1:
              if (!m_pTable->bFiltreAuto(&ctx, 1, L"*", L"", nullptr)) failed += "filter; ";
              break;
            case 2:
              if (!m_pTable->bFiltreAuto(&ctx, 1, m_name.c_str())) failed += "first filter; ";
              break;
            case 3:
              if (m_pTable->FreeMemory(&ctx, nullptr) || m_pTable->bHFinInterditModif(&ctx)) failed += "refusal; ";
              break;
            default:
              break;
          }
        }
      }
      if (!m_pTable->bHFerme(&ctx)) failed += "not closed";
      m_driver->bCloseContext(&ctx);
    });
  }
  for (std::thread& th : threads) th.join();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(failures[i], "") << "thread " << i;
}

}  // namespace

// The SQL-function service on the driver double, without a server: the interface's slot places,
// one service per driver, numbered connections that are never shared and name only the service's
// own, numbers that name nothing, locks outside a transaction, and a service left to the host
// after its driver ended.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "driver/nadriversql.h"
#include "driver_doubles.h"
#include "host/host_nadescription.h"
#include "values/any.h"

namespace {

// The vtable slot of a virtual member function (Itanium ABI: 1 + its byte offset).
template <typename M>
long SlotOf(M member) {
  struct {
    uintptr_t ptr;
    ptrdiff_t adj;
  } rep;
  static_assert(sizeof member == sizeof rep);
  memcpy(&rep, &member, sizeof rep);
  return static_cast<long>((rep.ptr - 1) / sizeof(void*));
}

using I = INADriverSQL;

TEST(DriverSQLInterface, SlotsStandWhereTheHostCallsThem) {
  const std::pair<long, long> rows[] = {
      {SlotOf(&I::nGetVersion), 0},
      {SlotOf(&I::NAVersion_EmptySlot_3), 4},
      {SlotOf(&I::ExternalAddRef), 5},
      {SlotOf(&I::nExternalRelease), 6},
      {SlotOf(&I::piGetLastError), 7},
      {SlotOf(&I::piGetInterface), 8},
      {SlotOf(&I::pReservedFct1), 9},
      {SlotOf(&I::pReservedFct5), 13},
      {SlotOf(&I::bLoadNativeDll), 14},
      {SlotOf(&I::bFreeNativeDll), 15},
      {SlotOf(&I::bOpenConnection), 16},
      {SlotOf(&I::bCloseConnection), 17},
      {SlotOf(&I::EmptySlot87), 18},
      {SlotOf(&I::bGetTableList), 19},
      {SlotOf(static_cast<BOOL (I::*)(CAny*, int, const wchar_t*, unsigned int)>(&I::bGetColumnList)), 20},
      {SlotOf(static_cast<BOOL (I::*)(CAny*, int, int, unsigned int)>(&I::bGetColumnList)), 21},
      {SlotOf(static_cast<INADataSourceDescription* (I::*)(int, const wchar_t*, unsigned int)>(&I::piGetTableDesc)),
       22},
      {SlotOf(static_cast<INADataSourceDescription* (I::*)(int, int, unsigned int)>(&I::piGetTableDesc)), 23},
      {SlotOf(&I::bGetColumnTypeList), 24},
      {SlotOf(&I::bExecute), 25},
      {SlotOf(&I::bFreeStmt), 26},
      {SlotOf(&I::bGetStmtLastError), 27},
      {SlotOf(&I::bGetColumnNbr), 28},
      {SlotOf(&I::bGetColumnName), 29},
      {SlotOf(&I::bFetch), 30},
      {SlotOf(&I::bGetRow), 31},
      {SlotOf(&I::bGetValue), 32},
      {SlotOf(&I::bGetBLOBValue), 33},
      {SlotOf(&I::bTrsBegin), 34},
      {SlotOf(&I::bTrsCommit), 35},
      {SlotOf(&I::bTrsRollBack), 36},
      {SlotOf(&I::bSQLBloqueTable), 37},
      {SlotOf(&I::bSQLBloqueRequete), 38},
      {SlotOf(&I::bSetVMAndLibShop), 39},
      // 37 reserved slots: 258 to 301 but for every sixth from 260
      {SlotOf(&I::EmptySlot258), 40},
      {SlotOf(&I::EmptySlot261), 42},
      {SlotOf(&I::EmptySlot295), 71},
      {SlotOf(&I::EmptySlot301), 76},
      // the class's own operations follow its destructor's two slots
      {SlotOf(static_cast<BOOL (CNADriverSQL::*)(CNAConnectionDescription*, const wchar_t*, unsigned int)>(
           &CNADriverSQL::bSQLBloqueRequete)),
       79},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

class DriverSQL : public testing::Test {
 protected:
  void SetUp() override {
    g_log.Take();
    m_pService = m_pDriver->piGetInterface(1);
    ASSERT_NE(m_pService, nullptr);
  }
  void TearDown() override {
    if (m_pService != nullptr) {
      EXPECT_EQ(m_pService->nExternalRelease(), 0);
    }
    delete m_pDriver;
    EXPECT_EQ(g_nLiveConnections, 0);
  }
  CNADriverSQL* Service() const { return static_cast<CNADriverSQL*>(m_pService); }
  int Open(CHostConnectionDescription* host) {
    int number = -1;
    EXPECT_TRUE(m_pService->bOpenConnection(&number, host));
    return number;
  }
  // The registered connection's identification (its counts unchanged), "" when none.
  std::wstring Identification(int number, BOOL* sqlService = nullptr) {
    CNAConnectionDescription* cnx = m_pDriver->pclGetConnectionByID(number);
    if (cnx == nullptr) return L"";
    const std::wstring text = cnx->pszGetIdentification();
    if (sqlService != nullptr) *sqlService = cnx->bIsSQLService();
    m_pDriver->nReleaseConnection(cnx);
    return text;
  }
  DWORD ErrorId() const { return m_pService->piGetLastError()->dwGetErrorId(); }

  CHostConnectionDescription m_host;
  CLogDriver* m_pDriver = new CLogDriver();
  INADriverSQL* m_pService = nullptr;
};

TEST_F(DriverSQL, OneServicePerDriverWithAnExternalCountForEachHand) {
  EXPECT_EQ(m_pDriver->piGetInterface(1), m_pService);
  EXPECT_EQ(m_pDriver->piGetInterface(2), nullptr);
  EXPECT_EQ(m_pDriver->piGetInterface(0), nullptr);
  EXPECT_EQ(std::tuple(Service()->nGetExternalRef(), Service()->nGetRef()), std::tuple(2, 1));
  EXPECT_EQ(m_pService->nExternalRelease(), 1);
  EXPECT_EQ(m_pDriver->pclGetDriverSQL(), Service());  // no reference for that caller
  EXPECT_EQ(std::tuple(m_pService->nGetVersion(), m_pService->nGetCompatSince(), m_pService->nGetNAVersion()),
            std::tuple(4, 2, -1));
  EXPECT_EQ(m_pService->piGetLastError(), m_pDriver->piGetLastError());
  EXPECT_EQ(m_pService->piGetInterface(1), nullptr);
  EXPECT_EQ(m_pService->pReservedFct3(nullptr), nullptr);
  EXPECT_TRUE(m_pService->bLoadNativeDll(nullptr, 0) && m_pService->bFreeNativeDll(nullptr, 0));
}

TEST_F(DriverSQL, OpensNeverShareAConnectionAndDrawConsecutiveNames) {
  const int first = Open(&m_host), second = Open(&m_host);
  EXPECT_NE(first, second);
  CTString key;
  m_pDriver->bBuildCnxIdentification(&key, &m_host);
  BOOL flags[2] = {};
  const std::wstring names[2] = {Identification(first, &flags[0]), Identification(second, &flags[1])};
  const std::wstring stem = std::wstring(key.pszGet()) + L";SQLConnecte";
  ASSERT_EQ(names[0].rfind(stem, 0), 0u);
  ASSERT_EQ(names[1].rfind(stem, 0), 0u);
  EXPECT_EQ(std::stoi(names[1].substr(stem.size())), std::stoi(names[0].substr(stem.size())) + 1);
  EXPECT_TRUE(flags[0] && flags[1]);
  EXPECT_EQ(g_log.Take(), (Events{"open", "open"}));
  EXPECT_TRUE(m_pService->bCloseConnection(first));
  EXPECT_TRUE(m_pService->bCloseConnection(first));  // no longer open: nothing
  EXPECT_EQ(g_log.Take(), (Events{"close", "~cnx"}));
  EXPECT_EQ(Identification(first), L"");
  EXPECT_EQ(m_pDriver->dwGetConnectionCount(), 1u);
  EXPECT_EQ(m_host.nGetRefCount(), 1);
}

TEST_F(DriverSQL, AFailedOpenGivesNumberZeroAndLeavesTheReason) {
  m_host.m_pszPassword = L"bad";
  int number = -1;
  EXPECT_FALSE(m_pService->bOpenConnection(&number, &m_host));
  EXPECT_EQ(std::tuple(number, ErrorId(), m_pService->piGetLastError()->eGetErrorLevel()),
            std::tuple(0, 1u, NAERRORLEVEL_WARNING));
  EXPECT_FALSE(m_pService->bOpenConnection(&number, nullptr));
  EXPECT_EQ(std::tuple(m_pDriver->dwGetConnectionCount(), m_host.nGetRefCount()), std::tuple(0u, 0));
  EXPECT_EQ(g_log.Take(), Events{"~cnx"});
}

// Connection ids come from one counter: a number the service did not give may be that of a
// connection of the host's file operations.
TEST_F(DriverSQL, NumbersOfTheHostsOwnConnectionsAreRefused) {
  CNAConnectionDescription* own = m_pDriver->_pclGetConnection(&m_host);
  ASSERT_TRUE(m_pDriver->_bOpenConnection(own));
  const int number = static_cast<int>(own->nGetConnectionID());
  int out = -7;
  EXPECT_FALSE(m_pService->bExecute(&out, number, L"SELECT 1", nullptr, 0));
  EXPECT_FALSE(m_pService->bTrsBegin(nullptr, number, 0));
  EXPECT_TRUE(m_pService->bCloseConnection(number));
  EXPECT_EQ(std::tuple(out, own->nGetOpenCount(), own->bIsCloseRequested()), std::tuple(-7, 1u, FALSE));
  EXPECT_EQ(g_log.Take(), Events{"open"});
  m_pDriver->_bCloseConnection(own);
  m_pDriver->nReleaseConnection(own);
}

TEST_F(DriverSQL, NumbersThatNameNothingTouchNothing) {
  const int cnx = Open(&m_host);
  g_log.Take();
  INAError* const sentinel = reinterpret_cast<INAError*>(uintptr_t{8});
  for (int stmt : {0, 12345}) {
    int count = -7;
    INAError* error = sentinel;
    CAny value;
    const bool zero = stmt == 0;
    // The column count of statement 0 is 0.
    EXPECT_EQ(m_pService->bGetColumnNbr(&count, cnx, stmt, 0), zero) << stmt;
    EXPECT_EQ(count, zero ? 0 : -7) << stmt;
    const std::pair<const char*, std::function<BOOL()>> calls[] = {
        {"bGetStmtLastError", [&] { return m_pService->bGetStmtLastError(&error, cnx, stmt); }},
        {"bGetColumnName", [&] { return m_pService->bGetColumnName(&value, cnx, stmt, 1, 0); }},
        {"bFetch", [&] { return m_pService->bFetch(cnx, stmt, 0); }},
        {"bGetRow", [&] { return m_pService->bGetRow(&value, cnx, stmt, L"\t", 0, 0); }},
        {"bGetValue", [&] { return m_pService->bGetValue(&value, cnx, stmt, 1, 0); }},
        {"bGetBLOBValue", [&] { return m_pService->bGetBLOBValue(&value, cnx, stmt, 1, 0); }},
        {"bGetColumnList", [&] { return m_pService->bGetColumnList(&value, cnx, stmt, 0); }},
        {"piGetTableDesc", [&] { return BOOL(m_pService->piGetTableDesc(cnx, stmt, 0) != nullptr); }},
    };
    for (const auto& [name, call] : calls) EXPECT_FALSE(call()) << name << " " << stmt;
    EXPECT_TRUE(m_pService->bFreeStmt(cnx, stmt, 0));
    EXPECT_EQ(std::tuple(error, value.wGetTypeWord()), std::tuple(sentinel, 0)) << stmt;
  }
  const int none = cnx + 1000;
  int out = -7;
  const std::pair<const char*, std::function<BOOL()>> calls[] = {
      {"bExecute", [&] { return m_pService->bExecute(&out, none, L"SELECT 1", nullptr, 0); }},
      {"bTrsBegin", [&] { return m_pService->bTrsBegin(nullptr, none, 0); }},
      {"bTrsCommit", [&] { return m_pService->bTrsCommit(none, 0, 0); }},
      {"bTrsRollBack", [&] { return m_pService->bTrsRollBack(none, 0, 0); }},
      {"bSQLBloqueTable", [&] { return m_pService->bSQLBloqueTable(none, L"t", 0); }},
      {"bSQLBloqueRequete", [&] { return m_pService->bSQLBloqueRequete(none, L"SELECT 1", 0); }},
      {"bGetTableList", [&] { return m_pService->bGetTableList(nullptr, cnx, nullptr, 1); }},
      {"bGetColumnTypeList", [&] { return m_pService->bGetColumnTypeList(nullptr, cnx, 0); }},
  };
  for (const auto& [name, call] : calls) EXPECT_FALSE(call()) << name;
  EXPECT_TRUE(m_pService->bCloseConnection(none));
  EXPECT_EQ(std::tuple(out, ErrorId(), Service()->dwGetStatementCount()), std::tuple(-7, 0u, 0u));
  EXPECT_EQ(g_log.Take(), Events{});
}

TEST_F(DriverSQL, LocksOutsideATransactionAreRefusedWithError29) {
  const int cnx = Open(&m_host);
  EXPECT_FALSE(m_pService->bSQLBloqueTable(cnx, L"t1 WHERE a = 1", 0));
  const INAError* error = m_pService->piGetLastError();
  EXPECT_EQ(std::tuple(ErrorId(), std::wstring(error->pszGetLogicalTableName())),
            std::tuple(29u, std::wstring(L"t1 WHERE a = 1")));
  EXPECT_FALSE(m_pService->bSQLBloqueRequete(cnx, L"SELECT * FROM t1", 0));
  EXPECT_EQ(std::tuple(ErrorId(), error->pszGetLogicalTableName()), std::tuple(29u, nullptr));
}

// The host may keep the service after its last release of the driver.
TEST_F(DriverSQL, ServiceOutlivingItsDriverNeverReachesIt) {
  const int cnx = Open(&m_host);
  g_log.Take();
  delete m_pDriver;
  m_pDriver = nullptr;
  EXPECT_EQ(g_log.Take(), (Events{"~cnx"}));  // the driver's end gives back the open connections
  int out = -7;
  ILibShop* shop = nullptr;
  EXPECT_FALSE(m_pService->bOpenConnection(&out, &m_host));
  EXPECT_FALSE(m_pService->bExecute(&out, cnx, L"SELECT 1", nullptr, 0));
  EXPECT_FALSE(m_pService->bTrsBegin(nullptr, cnx, 0));
  EXPECT_FALSE(m_pService->bCloseConnection(cnx));
  EXPECT_FALSE(m_pService->bSetVMAndLibShop(shop, nullptr));
  EXPECT_TRUE(m_pService->bFreeStmt(cnx, 1, 0));
  EXPECT_EQ(std::tuple(out, ErrorId(), Service()->bIsDetached()), std::tuple(0, 0u, true));
  EXPECT_EQ(m_pService->nExternalRelease(), 0);
  m_pService = nullptr;
}

}  // namespace

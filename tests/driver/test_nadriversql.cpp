// The SQL-function service on the driver double, without a server: the interface's slot places,
// numbers that name nothing or a connection of the host's own, and a service the host keeps after
// its driver ended.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "driver/nadriversql.h"
#include "driver_doubles.h"
#include "host/host_nadescription.h"
#include "tests/support/slot_of.h"
#include "values/any.h"

namespace {

using I = INADriverSQL;

TEST(DriverSQLInterface, SlotsStandWhereTheHostCallsThem) {
  using Stmt = BOOL (I::*)(CAny*, int, int, unsigned int);
  using Desc = INADataSourceDescription* (I::*)(int, int, unsigned int);
  const std::pair<long, long> rows[] = {
      {SlotOf(&I::NAVersion_EmptySlot_3), 4},  {SlotOf(&I::ExternalAddRef), 5},
      {SlotOf(&I::pReservedFct5), 13},         {SlotOf(&I::bOpenConnection), 16},
      {SlotOf(&I::EmptySlot87), 18},           {SlotOf(static_cast<Stmt>(&I::bGetColumnList)), 21},
      {SlotOf(static_cast<Desc>(&I::piGetTableDesc)), 23}, {SlotOf(&I::bExecute), 25},
      {SlotOf(&I::bGetColumnNbr), 28},         {SlotOf(&I::bGetBLOBValue), 33},
      {SlotOf(&I::bTrsBegin), 34},             {SlotOf(&I::bSetVMAndLibShop), 39},
      {SlotOf(&I::EmptySlot258), 40},          {SlotOf(&I::EmptySlot261), 42},  // 260 is not reserved
      {SlotOf(&I::EmptySlot301), 76},  // 37 reserved slots in all
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

class DriverSQL : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(m_pService = m_pDriver->piGetInterface(1), nullptr);
    EXPECT_TRUE(m_pService->bOpenConnection(&m_nCnx, &m_host));
    g_log.Take();
  }
  void TearDown() override {
    if (m_pService != nullptr) {
      EXPECT_EQ(m_pService->nExternalRelease(), 0) << "the driver holds it";
    }
    delete m_pDriver;
    EXPECT_EQ(g_nLiveConnections, 0);
  }
  DWORD ErrorId() const { return m_pService->piGetLastError()->dwGetErrorId(); }

  CHostConnectionDescription m_host;
  CLogDriver* m_pDriver = new CLogDriver();
  INADriverSQL* m_pService = nullptr;
  int m_nCnx = 0;
};

// Connection ids come from one counter: a number the service did not give may name a connection
// of the host's file operations.
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
  const int cnx = m_nCnx, none = m_nCnx + 1000;
  INAError* const sentinel = reinterpret_cast<INAError*>(uintptr_t{8});
  INAError* error = sentinel;
  CAny value;
  int count = -7, out = -7;
  EXPECT_TRUE(m_pService->bGetColumnNbr(&count, cnx, 0, 0) && count == 0);  // statement 0 has no column
  count = -7;
  for (int stmt : {0, 12345}) {
    const std::function<BOOL()> calls[] = {
        [&] { return m_pService->bGetColumnNbr(&count, cnx, 12345, 0); },
        [&] { return m_pService->bGetStmtLastError(&error, cnx, stmt); },
        [&] { return m_pService->bGetColumnName(&value, cnx, stmt, 1, 0); },
        [&] { return m_pService->bFetch(cnx, stmt, 0); },
        [&] { return m_pService->bGetRow(&value, cnx, stmt, L"\t", 0, 0); },
        [&] { return m_pService->bGetValue(&value, cnx, stmt, 1, 0); },
        [&] { return m_pService->bGetBLOBValue(&value, cnx, stmt, 1, 0); },
        [&] { return m_pService->bGetColumnList(&value, cnx, stmt, 0); },
        [&] { return BOOL(m_pService->piGetTableDesc(cnx, stmt, 0) != nullptr); },
        [&] { return m_pService->bExecute(&out, none, L"SELECT 1", nullptr, 0); },
        [&] { return m_pService->bTrsBegin(nullptr, none, 0); },
        [&] { return m_pService->bTrsCommit(none, 0, 0); },
        [&] { return m_pService->bTrsRollBack(none, 0, 0); },
        [&] { return m_pService->bSQLBloqueTable(none, L"t", 0); },
        [&] { return m_pService->bSQLBloqueRequete(none, L"SELECT 1", 0); },
        [&] { return !m_pService->bFreeStmt(cnx, stmt, 0); },
        [&] { return !m_pService->bCloseConnection(none); },
    };
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_FALSE(calls[i]()) << "call " << i << ", statement " << stmt;
  }
  EXPECT_EQ(std::tuple(count, out, error, value.wGetTypeWord()), std::tuple(-7, -7, sentinel, 0));
  EXPECT_EQ(std::tuple(ErrorId(), g_log.Take()), std::tuple(0u, Events{}));
}

// The host may keep the service after its last release of the driver.
// Statement 0 answers its count of 0 as the other operations answer: a null out-parameter is
// left unwritten, not written through.
TEST_F(DriverSQL, ColumnCountOfStatementZeroIntoNullPointerWritesNothing) {
  EXPECT_TRUE(m_pService->bGetColumnNbr(nullptr, m_nCnx, 0, 0));
  int out = -7;
  EXPECT_TRUE(m_pService->bGetColumnNbr(&out, m_nCnx, 0, 0) && out == 0);
}

TEST_F(DriverSQL, ServiceOutlivingItsDriverNeverReachesIt) {
  delete m_pDriver;
  m_pDriver = nullptr;
  EXPECT_EQ(g_log.Take(), (Events{"~cnx"}));  // the driver's end gives back the open connections
  int out = -7;
  EXPECT_FALSE(m_pService->bOpenConnection(&out, &m_host));
  EXPECT_FALSE(m_pService->bExecute(&out, m_nCnx, L"SELECT 1", nullptr, 0));
  EXPECT_FALSE(m_pService->bTrsBegin(nullptr, m_nCnx, 0));
  EXPECT_FALSE(m_pService->bCloseConnection(m_nCnx));
  EXPECT_FALSE(m_pService->bSetVMAndLibShop(nullptr, nullptr));
  EXPECT_TRUE(m_pService->bFreeStmt(m_nCnx, 1, 0));
  EXPECT_EQ(std::tuple(out, ErrorId()), std::tuple(0, 0u));
  EXPECT_EQ(m_pService->nExternalRelease(), 0);
  m_pService = nullptr;
}

}  // namespace

namespace {

using Rule = CNADriverSQL::eSQLForeignKeysRules;

TEST(DriverSQLLinks, RuleTextsAreReadWhateverTheirCase) {
  const struct {
    const wchar_t* text;
    Rule rule;
  } rows[] = {
      {L"CASCADE", CNADriverSQL::SQLFK_CASCADE},     {L"restrict", CNADriverSQL::SQLFK_RESTRICT},
      {L"Set Null", CNADriverSQL::SQLFK_SET_NULL},   {L"NO ACTION", CNADriverSQL::SQLFK_NO_ACTION},
      {L"set default", CNADriverSQL::SQLFK_SET_DEFAULT}, {L"SET  NULL", CNADriverSQL::SQLFK_UNKNOWN},
      {L"CASCADE ", CNADriverSQL::SQLFK_UNKNOWN},    {L"", CNADriverSQL::SQLFK_UNKNOWN},
      {L"NO", CNADriverSQL::SQLFK_UNKNOWN},
  };
  for (const auto& row : rows) {
    Rule rule = CNADriverSQL::SQLFK_CASCADE;
    EXPECT_TRUE(CNADriverSQL::_bTextToeSQLForeignKeysRules(&rule, row.text));
    EXPECT_EQ(rule, row.rule) << "row " << (&row - rows);
  }
}

TEST(DriverSQLLinks, CatalogueLinkLinesNameBothTablesWithTheirOwners) {
  const Rule cascade = CNADriverSQL::SQLFK_CASCADE, restrict = CNADriverSQL::SQLFK_RESTRICT,
             setNull = CNADriverSQL::SQLFK_SET_NULL, noAction = CNADriverSQL::SQLFK_NO_ACTION,
             setDefault = CNADriverSQL::SQLFK_SET_DEFAULT, unknown = CNADriverSQL::SQLFK_UNKNOWN;
  const struct {
    const char* name;
    const wchar_t* before;
    unsigned int flags;
    const wchar_t *owner1, *owner2;
    Rule rule1, rule2;
    const wchar_t* want;
  } rows[] = {
      {"no owners", L"", 32, L"", L"", cascade, restrict, L"p_c\tp\tid\t0,N\tc\ta\t0,1\t2022\t2021"},
      {"null owners", L"", 32, nullptr, nullptr, setNull, noAction, L"p_c\tp\tid\t0,N\tc\ta\t0,1\t2023\t2020"},
      {"both owners", L"", 32, L"s1", L"s2", setDefault, cascade,
       L"s1.p_s2.c\ts1.p\tid\t0,N\ts2.c\ta\t0,1\t2023\t2022"},
      {"second owner", L"", 32, L"", L"s2", restrict, restrict, L"p_s2.c\tp\tid\t0,N\ts2.c\ta\t0,1\t2021\t2021"},
      {"first owner", L"", 0, L"s1", L"", cascade, cascade, L"s1.p_c\ts1.p\tid\t0,N\tc\ta\t0,1"},
      {"no rules without 32", L"", 1 | 2 | 16, L"", L"", cascade, cascade, L"p_c\tp\tid\t0,N\tc\ta\t0,1"},
      {"unknown rules", L"", 32, L"", L"", unknown, static_cast<Rule>(5), L"p_c\tp\tid\t0,N\tc\ta\t0,1\t\t"},
      {"after a line", L"x", 32, L"", L"", noAction, unknown, L"x\r\np_c\tp\tid\t0,N\tc\ta\t0,1\t2020\t"},
  };
  for (const auto& row : rows) {
    CXYStringConcat<wchar_t> out;
    out.Add(row.before);
    EXPECT_TRUE(CNADriverSQL::s_bConcatConstraint(&out, row.flags, row.owner1, L"p", L"id", row.owner2, L"c", L"a",
                                                  row.rule1, row.rule2));
    EXPECT_EQ(std::wstring(out.pszGet()), row.want) << row.name;
  }
}

}  // namespace

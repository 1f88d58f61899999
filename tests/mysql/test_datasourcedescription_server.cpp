// Table and query descriptions against the private server, in both code pages: every mapped
// column type, keys of every kind, defaults, names that need quoting, a view, a table without
// index and a missing one, all read through the host's interfaces; a statement's result
// described by the SQL-function service; and the generic table-existence test.
#include <cstdio>
#include <cwctype>

#include "access/nadatasourcedescription.h"
#include "driver/nadriversql.h"
#include "mysql/mysqldatasourcedescription.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/any_test_values.h"

namespace {

struct DescRelease {
  void operator()(INADataSourceDescription* p) const { p->nExternalRelease(); }
};
using HeldDesc = std::unique_ptr<INADataSourceDescription, DescRelease>;

// An item as "name type size flags nullable integer.decimal default", every part read through
// the interface but the exact key flags.
std::wstring Shown(INAItemDescription* item) {
  const auto* own = dynamic_cast<CNAItemDescription*>(item);
  wchar_t flags[16];
  swprintf(flags, 16, L"%04X", own != nullptr ? own->wGetKeyFlags() : 0xFFFF);
  const CAny* value = item->pclGetDefaultValue();
  return std::wstring(item->pszGetName()) + L" " + std::to_wstring(item->eNAGetItemType()) + L" " +
         std::to_wstring(item->nGetItemSize()) + L" " + flags + L" " +
         (item->vbConstraintNullAllowed() ? L"null" : L"notnull") + L" " + std::to_wstring(item->nGetIntegerPart()) +
         L"." + std::to_wstring(item->nGetDecimalPart()) + L" " + (value != nullptr ? Show(*value) : L"-");
}

// A description's items (one per line), its keys with their key indexes and components, its
// memos.
std::wstring Shown(INADataSourceDescription* desc) {
  std::wstring out;
  for (int i = 0; i < desc->nGetNumItems(); ++i) {
    INAItemDescription* item = desc->piNAGetItem(static_cast<unsigned int>(i));
    out += Shown(item) + L"\n";
    EXPECT_EQ(item->nGetPhysicalIndice(), static_cast<unsigned int>(i));
    item->nExternalRelease();
  }
  out += L"keys:";
  for (int i = 0; i < desc->nGetNumKeys(); ++i) {
    INAItemDescription* key = desc->piNAGetKey(static_cast<unsigned int>(i));
    out += L" " + std::wstring(key->pszGetName()) + L"#" + std::to_wstring(key->nGetKeyIndice());
    for (int c = 1; c <= key->nGetNumComponents(); ++c) {
      INAItemDescription* part = key->piGetItemComponent(c);
      out += (c == 1 ? L"(" : L",") + std::wstring(part->pszGetName());
      part->nExternalRelease();
    }
    if (key->nGetNumComponents() > 0) out += L")";
    key->nExternalRelease();
  }
  out += L" memos:" + std::to_wstring(desc->nGetNumMemos());
  return out;
}

class LiveDescription : public LiveConnection {
 protected:
  struct VM : AnyTest { static void Bind() { SetUpTestSuite(); } };
  LiveDescription() : LiveConnection("_desc") {}
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    if (HasFatalFailure()) return;
    m_pCnx->AddRef();  // the fixture's own: descriptions on it never delete it
    m_driver.AllocError();
    m_nBaseConnections = m_driver.dwGetConnectionCount();
  }
  void TearDown() override {
    for (const std::wstring& name : m_tabDrop) m_pCnx->bExecuteQueryNoResult(&m_error, (L"DROP " + name).c_str());
    // Every description given back: its connection went with it.
    EXPECT_EQ(m_driver.dwGetConnectionCount(), m_nBaseConnections);
    LiveConnection::TearDown();
  }
  bool Unicode() const { return std::get<0>(GetParam()) == 65001; }
  std::wstring T() const { return Wide(m_strTable); }
  // Creates a table (or view: kind "VIEW") dropped at the end.
  void Create(const std::wstring& name, const std::wstring& body, const wchar_t* kind = L"TABLE") {
    m_tabDrop.insert(m_tabDrop.begin(), std::wstring(kind) + L" IF EXISTS " + name);
    ASSERT_TRUE(m_pCnx->bExecuteQueryNoResult(&m_error, (L"CREATE " + std::wstring(kind) + L" " + name + L" " + body).c_str()));
  }
  HeldDesc Describe(const std::wstring& name) {
    return HeldDesc(static_cast<INADriver&>(m_driver).piGetTableDesc(name.c_str(), &m_host));
  }
  // The driver's error as "<user code>/<server code>", "" without one.
  std::string Error() const {
    const CNAError* e = m_driver.pclGetErrorNoRef();
    if (e == nullptr || e->dwGetErrorId() == 0) return "";
    return std::to_string(e->dwGetErrorId()) + "/" + std::to_string(e->dwGetDataBaseErrorCode());
  }

  DWORD m_nBaseConnections = 0;
  std::vector<std::wstring> m_tabDrop;
};

TEST_P(LiveDescription, EveryMappedTypeIsDescribedAsTheServerHoldsIt) {
  Create(T(),
         L"(id INT AUTO_INCREMENT PRIMARY KEY, ti TINYINT, tu TINYINT UNSIGNED, si SMALLINT, su SMALLINT UNSIGNED, "
         L"mi MEDIUMINT, ii INT NOT NULL DEFAULT 42, iu INT UNSIGNED, bi BIGINT, bu BIGINT UNSIGNED, fl FLOAT, "
         L"db DOUBLE DEFAULT NULL, d1 DECIMAL(10,2) DEFAULT '-1.25', d2 DECIMAL(30,5), d3 DECIMAL(5,0), dt DATE, "
         L"dtm DATETIME, ts TIMESTAMP NULL DEFAULT current_timestamp(), tm TIME, tm3 TIME(3) DEFAULT '10:30:45.5', "
         L"yr YEAR DEFAULT 2024, c1 CHAR(1), vc VARCHAR(20) DEFAULT 'x''y', vl VARCHAR(10) CHARACTER SET latin1, "
         L"v16 VARCHAR(5) CHARACTER SET utf16, tt TINYTEXT, tx TEXT, mt MEDIUMTEXT, lt LONGTEXT, tb TINYBLOB, "
         L"bl BLOB, mb MEDIUMBLOB, lb LONGBLOB, en ENUM('a','b'), st SET('a','b'), bt BIT(1), vb VARBINARY(16), "
         L"bo BOOL)");
  HeldDesc desc = Describe(Wide(m_strTable));
  ASSERT_NE(desc, nullptr) << Error();
  EXPECT_EQ(std::wstring(desc->pszGetLogicalName()) + L"|" + desc->pszGetDBTableName() + L"|" +
                desc->pszGetPhysicalName(),
            Wide(m_strTable + "|" + m_strTable + "|" + m_strTable));
  EXPECT_EQ(desc->eGetNASubDataType(), 1);
  EXPECT_TRUE(desc->bGetNullSupported());
  EXPECT_EQ(desc->nGetNumItemPhysicallyInFic(), desc->nGetNumItems());
  // The database road leaves the layout to whoever needs it.
  EXPECT_EQ(desc->nGetDiskRecordSize() + desc->nGetMemoryRecordSize(), 0);
  const std::wstring want =
      L"id 28 4 8800 notnull 0.0 NULL\n"
      L"ti 4 1 0000 null 0.0 NULL\n"
      L"tu 12 1 0000 null 0.0 NULL\n"
      L"si 3 2 0000 null 0.0 NULL\n"
      L"su 9 2 0000 null 0.0 NULL\n"
      L"mi 5 4 0000 null 0.0 NULL\n"
      L"ii 5 4 0000 notnull 0.0 42\n"
      L"iu 22 4 0000 null 0.0 NULL\n"
      L"bi 19 8 0000 null 0.0 NULL\n"
      L"bu 20 8 0000 null 0.0 NULL\n"
      L"fl 6 4 0000 null 0.0 NULL\n"
      L"db 7 8 0000 null 0.0 NULL\n"
      L"d1 17 10 0000 null 0.0 -1.25\n"
      L"d2 31 13 0000 null 25.5 NULL\n"
      L"d3 5 4 0000 null 0.0 NULL\n"
      L"dt 14 9 0000 null 0.0 NULL\n"
      L"dtm 24 8 0000 null 0.0 NULL\n"
      L"ts 24 8 0000 null 0.0 NULL\n"
      L"tm 11 7 0000 null 0.0 NULL\n"
      L"tm3 11 10 0000 null 0.3 103045500\n"
      L"yr 3 2 0000 null 0.0 2024\n"
      L"c1 29 4 0000 null 0.0 NULL\n"
      L"vc 29 42 0000 null 0.0 x'y\n"
      L"vl 2 11 0000 null 0.0 NULL\n"
      L"v16 29 12 0000 null 0.0 NULL\n"
      L"tt 30 8 0000 null 0.0 NULL\n"
      L"tx 30 8 0000 null 0.0 NULL\n"
      L"mt 30 8 0000 null 0.0 NULL\n"
      L"lt 30 8 0000 null 0.0 NULL\n"
      L"tb 18 8 0000 null 0.0 NULL\n"
      L"bl 18 8 0000 null 0.0 NULL\n"
      L"mb 18 8 0000 null 0.0 NULL\n"
      L"lb 18 8 0000 null 0.0 NULL\n"
      L"en 30 8 0000 null 0.0 NULL\n"
      L"st 30 8 0000 null 0.0 NULL\n"
      L"bt 23 3 0000 null 0.0 NULL\n"  // a BIT(1) is its byte
      L"vb 23 18 0000 null 0.0 NULL\n"
      L"bo 4 1 0000 null 0.0 NULL\n"
      L"keys: id#0 memos:10";
  EXPECT_EQ(Shown(desc.get()), want);
  EXPECT_EQ(Error(), "");
}

// Defaults that are expressions are no values: the items get none, and nothing is raised (the
// host would read a failed open into a success).
TEST_P(LiveDescription, DefaultTheItemCannotHoldIsNoneAndRaisesNothing) {
  Create(T(), L"(ts TIMESTAMP NULL DEFAULT current_timestamp(), d DATE DEFAULT curdate(), "
              L"n INT DEFAULT (1 + 1), ok INT DEFAULT 7)");
  HeldDesc desc = Describe(T());
  ASSERT_NE(desc, nullptr) << Error();
  EXPECT_EQ(Shown(desc.get()),
            L"ts 24 8 0000 null 0.0 NULL\n"
            L"d 14 9 0000 null 0.0 NULL\n"
            L"n 5 4 0000 null 0.0 NULL\n"
            L"ok 5 4 0000 null 0.0 7\n"
            L"keys: memos:0");
  EXPECT_EQ(Error(), "");
}

// An automatic identifier narrower than 4 bytes is held in 8: in its own width the record would
// cut every identifier it reads.
TEST_P(LiveDescription, NarrowAutoIncrementIdentifierIsHeldInEightBytes) {
  const std::wstring tiny = T() + L"_tiny";
  Create(T(), L"(id SMALLINT UNSIGNED AUTO_INCREMENT PRIMARY KEY, v INT)");
  Create(tiny, L"(v INT, id TINYINT AUTO_INCREMENT, PRIMARY KEY (id))");
  HeldDesc small = Describe(T()), narrow = Describe(tiny);
  ASSERT_TRUE(small != nullptr && narrow != nullptr) << Error();
  EXPECT_EQ(Shown(small.get()), L"id 1 8 8800 notnull 0.0 NULL\nv 5 4 0000 null 0.0 NULL\nkeys: id#0 memos:0");
  EXPECT_EQ(Shown(narrow.get()), L"v 5 4 0000 null 0.0 NULL\nid 1 8 8800 notnull 0.0 NULL\nkeys: id#0 memos:0");
}

TEST_P(LiveDescription, KeysOfEveryKindAreNeverWeakened) {
  const std::wstring t = T(), big = T() + L"_big", pk = T() + L"_pk", uq = T() + L"_uq";
  Create(t,
         L"(a INT NOT NULL, b VARCHAR(5) NOT NULL, u INT, d INT, e INT, n INT NULL, PRIMARY KEY (a, b), "
         L"UNIQUE KEY uq (u), KEY (u), KEY (d, e))");
  Create(big, L"(id BIGINT AUTO_INCREMENT PRIMARY KEY, s SMALLINT UNSIGNED NOT NULL, UNIQUE KEY (s))");
  Create(pk, L"(code INT NOT NULL PRIMARY KEY, v INT)");
  Create(uq, L"(x INT NOT NULL, y INT NOT NULL, z INT, UNIQUE KEY xy (x, y), UNIQUE KEY yz (y, z), KEY zx (z, x))");
  const struct {
    std::wstring table;
    std::wstring want;
  } rows[] = {
      {t,
       L"a 5 4 0000 notnull 0.0 NULL\n"
       L"b 29 12 0000 notnull 0.0 NULL\n"
       L"u 5 4 4800 null 0.0 NULL\n"
       L"d 5 4 0000 null 0.0 NULL\n"
       L"e 5 4 0000 null 0.0 NULL\n"
       L"n 5 4 0000 null 0.0 NULL\n"
       L"PRIMARY 23 14 D800 notnull 0.0 NULL\n"
       L"d2 23 8 3800 null 0.0 NULL\n"
       L"keys: PRIMARY#0(a,b) u#1 d2#2(d,e) memos:0"},
      {big,
       L"id 1 8 8800 notnull 0.0 NULL\n"
       L"s 9 2 4800 notnull 0.0 NULL\n"
       L"keys: id#0 s#1 memos:0"},
      {pk,
       L"code 5 4 C800 notnull 0.0 NULL\n"
       L"v 5 4 0000 null 0.0 NULL\n"
       L"keys: code#0 memos:0"},
      // A composite key is NULL only through a part that allows NULL.
      {uq,
       L"x 5 4 0000 notnull 0.0 NULL\n"
       L"y 5 4 0000 notnull 0.0 NULL\n"
       L"z 5 4 0000 null 0.0 NULL\n"
       L"xy 23 8 5800 notnull 0.0 NULL\n"
       L"yz 23 8 5800 null 0.0 NULL\n"
       L"zx 23 8 3800 null 0.0 NULL\n"
       L"keys: xy#0(x,y) yz#1(y,z) zx#2(z,x) memos:0"},
  };
  for (const auto& row : rows) {
    HeldDesc desc = Describe(row.table);
    ASSERT_NE(desc, nullptr) << Error();
    EXPECT_EQ(Shown(desc.get()), row.want);
  }
  HeldDesc desc = Describe(t);
  // The server's first unique key that allows no NULL drives browsing: the primary key here.
  INAItemDescription* best = desc->piGetBestParseItemDesc();
  EXPECT_STREQ(best->pszGetName(), L"PRIMARY");
  best->nExternalRelease();
}

TEST_P(LiveDescription, NamesViewsTablesWithoutIndexAndMissingTables) {
  // Names the connection quotes: a blank, an accent (in the connection's code page), a backquote.
  for (const std::wstring& name : {T() + L" a b", T() + L"_\u00e9", T() + L"_x`y"}) {
    std::wstring quoted = name;
    for (size_t at = quoted.find(L'`'); at != std::wstring::npos; at = quoted.find(L'`', at + 2)) quoted.insert(at, L"`");
    Create(L"`" + quoted + L"`", L"(k INT)");
    HeldDesc desc = Describe(name);
    ASSERT_NE(desc, nullptr) << Error();
    EXPECT_EQ(desc->pszGetDBTableName(), name);
    // A table without index: its items and no key.
    EXPECT_EQ(Shown(desc.get()), L"k 5 4 0000 null 0.0 NULL\nkeys: memos:0");
  }
  Create(T() + L"_v", L"AS SELECT 1 AS one, 'x' AS two", L"VIEW");
  HeldDesc view = Describe(T() + L"_v");
  ASSERT_NE(view, nullptr) << Error();
  EXPECT_EQ(view->nGetNumItems(), 2);
  EXPECT_EQ(view->nGetNumKeys(), 0);

  EXPECT_EQ(Describe(T() + L"_missing"), nullptr);
  // The server's answer alone: no table, and nothing raised after it.
  EXPECT_EQ(Error(), "22/1146");
  EXPECT_EQ(m_driver.pclGetErrorNoRef()->pclGetXError()->nGetNbSubError(), 0);
}

TEST_P(LiveDescription, TheServiceDescribesTablesAndStatementResults) {
  Create(T(), L"(a INT, b VARCHAR(5))");
  CNADriverSQL* service = static_cast<CNADriverSQL*>(m_driver.piGetInterface(1));
  ASSERT_NE(service, nullptr);
  int cnx = 0;
  ASSERT_TRUE(service->bOpenConnection(&cnx, &m_host));
  {
    HeldDesc table(service->piGetTableDesc(cnx, Wide(m_strTable).c_str(), 0));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->nGetNumItems(), 2);
    EXPECT_EQ(service->piGetTableDesc(cnx + 1000, Wide(m_strTable).c_str(), 0), nullptr);
  }
  int stmt = 0;
  ASSERT_TRUE(service->bExecute(&stmt, cnx, (L"SELECT a, a, a + 1, '', b AS x, '' FROM " + Wide(m_strTable)).c_str(),
                                nullptr, 0));
  {
    HeldDesc result(service->piGetTableDesc(cnx, stmt, 0));
    ASSERT_NE(result, nullptr);
    // Named after the statement's address, and laid out.
    const std::wstring name = result->pszGetLogicalName();
    EXPECT_TRUE(!name.empty() && name.find_first_not_of(L"0123456789") == std::wstring::npos);
    EXPECT_EQ(name, result->pszGetDBTableName());
    // The server types: text columns in the connection's character set.
    const std::wstring text = Unicode() ? L"30 8" : L"15 8", x = Unicode() ? L"29 42" : L"2 6";
    std::wstring shown;
    for (int i = 0; i < result->nGetNumItems(); ++i) {
      INAItemDescription* item = result->piNAGetItem(static_cast<unsigned int>(i));
      shown += std::wstring(item->pszGetName()) + L" " + std::to_wstring(item->eNAGetItemType()) + L" " +
               std::to_wstring(item->nGetItemSize()) + L" " + std::to_wstring(item->nGetOffset(0)) + L";";
      EXPECT_STREQ(item->pszGetSourceName(), name.c_str());
      item->nExternalRelease();
    }
    EXPECT_EQ(shown, L"a 5 4 0;a2 5 4 4;a + 1 19 8 8;Expr1000 " + text + L" 16;x " + x + L" 24;Expr10002 " + text +
                         L" " + std::to_wstring(24 + std::stoi(x.substr(x.find(L' ')))) + L";");
    EXPECT_EQ(service->piGetTableDesc(cnx, 0, 0), nullptr);
  }
  EXPECT_TRUE(service->bFreeStmt(cnx, stmt, 0) && service->bCloseConnection(cnx));
  EXPECT_EQ(service->nExternalRelease(), 0);
}

// The description of the generic table-existence test, whose column query finds no column.
class CNoColumnDescription final : public CMySQLDataSourceDescription {
 public:
  using CMySQLDataSourceDescription::CMySQLDataSourceDescription;
  BOOL _bGetQueryShowColumns(CXYStringConcat<wchar_t>* text) override {
    if (!CMySQLDataSourceDescription::_bGetQueryShowColumns(text)) return FALSE;
    text->Add(L" LIKE 'no such column'");
    return TRUE;
  }
};
class CNoColumnDriver final : public CMySQLDriver {
 public:
  CNADataSourceDescription* pclAllocDataSourceDescription(CNAConnectionDescription* cnx,
                                                          CNAError* error) const override {
    return new CNoColumnDescription(cnx, error);
  }
};

TEST_P(LiveDescription, GenericTableExistenceTellsMissingFromFailed) {
  Create(T(), L"(a INT)");
  int exists = -1;
  EXPECT_TRUE(m_driver.CNADriver::_bTableExists(&exists, Wide(m_strTable).c_str(), m_pCnx.get()));
  EXPECT_EQ(exists, 1);
  // A failure of the server (no such table) is no answer.
  exists = -1;
  EXPECT_FALSE(m_driver.CNADriver::_bTableExists(&exists, Wide(m_strTable + "_missing").c_str(), m_pCnx.get()));
  EXPECT_EQ(exists, 0);
  EXPECT_EQ(Error(), "22/1146");
  // A table the import finds no column of is missing.
  CNoColumnDriver driver;
  driver.AllocError();
  exists = -1;
  EXPECT_TRUE(driver.CNADriver::_bTableExists(&exists, Wide(m_strTable).c_str(), m_pCnx.get()));
  EXPECT_EQ(exists, 0);
  EXPECT_EQ(driver.pclGetErrorNoRef()->nGetUserErrorCode(), 30u);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveDescription,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

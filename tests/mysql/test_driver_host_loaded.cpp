// The driver's host operations through the loaded library against the private server: every
// INADriver slot with its answer and its error rule, the refusals and the connections it must not
// make, transactions and SQL locks as a second session sees them, the catalogue entries beside
// table reads on four threads, and what a browse shows after a roll-back.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "access/inatable.h"
#include "common/xystring.h"
#include "driver/inadriver.h"
#include "driver/inadriversql.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "host/host_queryexecution.h"
#include "host/host_sqlparser.h"
#include "platform/information_dll.h"
#include "platform/xerror.h"
#include "sql/nakjrecord.h"
#include "tests/support/hostconnections.h"
#include "tests/support/rawmysql.h"
#include "values/any.h"

namespace {

constexpr eNA_ACCESS kReadWrite{0};
constexpr eNA_LOCKTYPE kNoLock{0};
constexpr unsigned int kNotRegistered = 14;
constexpr unsigned int kNotSupported = 8;
constexpr unsigned int kNoTransaction = 29;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string Narrow(const wchar_t* w) {
  std::string s;
  for (; w != nullptr && *w != 0; ++w) s += *w < 128 ? static_cast<char>(*w) : '?';
  return s;
}

// The text of a list the driver handed over (its own value class reads it).
std::string ListText(const CAny& list) {
  void* p = nullptr;
  unsigned int bytes = 0;
  list.Intern()->nGetDataAdr(&p);
  list.Intern()->nGetUtilDataSize(&bytes);
  return p != nullptr ? Narrow(std::wstring(static_cast<const wchar_t*>(p), bytes / sizeof(wchar_t)).c_str()) : "";
}

unsigned int TopCode(INAError* e) { return e->pclGetXError()->nGetUserErrorCode(); }
std::string Debug(INAError* e) { return Narrow(e->pclGetXError()->pszGetDebugMessage()); }

class LoadedHost : public testing::Test {
 protected:
  void SetUp() override {
    if (!TestServer::fromEnv(&m_server)) GTEST_FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_lib.load(&err)) << err;
    ASSERT_TRUE(m_raw.connect(m_server, RawTransport::Tcp, &err)) << err;
    // A test stopped inside a transaction of the driver must not leave the drop waiting forever.
    ASSERT_TRUE(m_raw.exec("SET SESSION lock_wait_timeout = 10", &err)) << err;
    m_table = "qx_host_" + std::to_string(getpid());
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_table + " (id INT PRIMARY KEY, t VARCHAR(20)) ENGINE=InnoDB", &err))
        << err;
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_table + " VALUES (10,'a'),(20,'b'),(30,'c'),(40,'d'),(50,'e')", &err))
        << err;
    m_wtable = Wide(m_table);
    m_desc.m_pszName = m_desc.m_pszPhysicalName = m_desc.m_pszDBTableName = m_wtable.c_str();
    m_desc.Add(&m_items.emplace_back(L"id", NA_IT_I4, 4));
    m_items.back().m_wKeyFlags = 0x8000;
    m_desc.Add(&m_items.emplace_back(L"t", NA_IT_TEXTE, 21));
    for (CHostItemDescription& item : m_items) item.m_pszNameInSource = L"";
    m_catalogue.Add(Desc(m_wtable, true));
    m_driver = m_loader.piQueryInterface(&err);
    ASSERT_NE(m_driver, nullptr) << err;
    // The lists the driver hands over are the host's strings: the test frees them as the host
    // does, through the host's allocator.
    CInformationModule::ms_piStrMemAlloc = m_loader.Control()->Allocator();
  }
  void TearDown() override {
    if (m_driver != nullptr) {
      for (INATable* t : m_tabHeld) t->nExternalRelease();
      EXPECT_EQ(m_driver->nExternalRelease(), 0);
      CInformationModule::ms_piStrMemAlloc = nullptr;
      EXPECT_TRUE(m_loader.Stop());
      EXPECT_EQ(m_loader.Control()->nLiveBlocks(), 0);
    }
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err);
  }
  CHostConnectionDescription* Host(const std::string& extra = "", const wchar_t* name = L"cnx") {
    CHostConnectionDescription* host = m_connections.Add(m_server, extra);
    host->m_clName.SetName(name);
    return host;
  }
  INATable* Table(CHostConnectionDescription* host) {
    INATable* t = m_loader.piGetTable(host, &m_desc);
    if (t != nullptr) m_tabHeld.push_back(t);
    return t;
  }
  ISQLParserInformation* Parse(const std::string& sql) {
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParse(m_texts.emplace_back(Wide(sql)).c_str(), m_catalogue, &error);
    EXPECT_NE(parse, nullptr) << Narrow(error.pszGet());
    return parse;
  }
  // The ids of the file read first to last, then last to first, by item.
  std::string Ids(INATable* t, INAContext* ctx, const wchar_t* item = L"id") {
    std::string s;
    for (bool forward : {true, false}) {
      for (eNA_PARSEDIRECTION dir = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;;
           dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS) {
        int out = 0;
        if (!t->bHLitxxx(ctx, item, dir, 1, kNoLock, nullptr, 0) || !t->bHEnDehors(ctx, item, &out))
          return s + "read failed: " + Narrow(t->piGetLastError(ctx)->pszGetError());
        if (out != 0) break;
        s += std::to_string(Id(t, ctx)) + " ";
      }
      s += forward ? "| " : "";
    }
    return s;
  }
  int Id(INATable* t, INAContext* ctx) {
    CHostRow row;
    if (!m_loader.bGetRecord(t, ctx, m_desc, &row)) return -1;
    int id = 0;
    memcpy(&id, row[0].tabBytes.data(), 4);
    return id;
  }
  // The current record of ctx becomes (id, text).
  bool Put(INATable* t, INAContext* ctx, int id, const char* text) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return false;
    char bytes[21] = {};
    strncpy(bytes, text, 20);
    record->vSetItemValue(&m_items[0], &id, 4, 0);
    record->vSetItemValueDefined(&m_items[0], TRUE, 0);
    record->vSetItemValue(&m_items[1], bytes, 21, 0);
    record->vSetItemValueDefined(&m_items[1], TRUE, 0);
    const BOOL set = m_loader.bSetRecord(t, ctx, record);
    record->vnRelease();
    return set != FALSE;
  }
  // The ids the server holds, in order.
  std::string ServerIds() {
    RawRows rows;
    std::string err;
    if (!m_raw.query("SELECT id FROM " + m_table + " ORDER BY id", &rows, &err)) return err;
    std::string s;
    for (const RawRow& r : rows) s += *r[0] + " ";
    return s;
  }

  // A description of another table laid out as the test's own. The host's queries know a table
  // by such a description, whose items name their source (bQuery).
  CHostRecordDescription* Desc(const std::wstring& table, bool bQuery = false) {
    CHostRecordDescription& desc = m_otherDescs.emplace_back();
    const std::wstring& name = m_texts.emplace_back(table);
    desc.m_pszName = desc.m_pszPhysicalName = desc.m_pszDBTableName = name.c_str();
    for (size_t i = 0; i < 2; ++i) {
      CHostItemDescription& item = m_items.emplace_back(m_items[i]);
      if (bQuery) {
        item.m_pszNameInSource = item.pszGetName();
        item.m_pszSourceName = name.c_str();
      }
      desc.Add(&item);
    }
    return &desc;
  }

  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_raw{m_lib};
  std::string m_table;
  std::wstring m_wtable;
  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_desc;
  std::deque<CHostRecordDescription> m_otherDescs;
  CHostSQLCatalogue m_catalogue;
  CTestHostConnections m_connections;
  std::deque<std::wstring> m_texts;
  CHostLoader m_loader;
  INADriver* m_driver = nullptr;
  std::vector<INATable*> m_tabHeld;
  std::mutex m_parseMutex;
};

// The server's general log, into its table, for as long as it lives. The test runs as the
// system user who started the server, which the server knows through its socket.
class GeneralLog {
 public:
  explicit GeneralLog(RawMySQL& lib, const TestServer& server) : m_admin(lib) {
    TestServer admin = server;
    const passwd* user = getpwuid(geteuid());
    admin.user = user != nullptr ? user->pw_name : "root";
    admin.password.clear();
    std::string err;
    m_ok = m_admin.connect(admin, RawTransport::Socket, &err) &&
           m_admin.exec("SET GLOBAL log_output = 'TABLE'", &err) && m_admin.exec("TRUNCATE mysql.general_log", &err) &&
           m_admin.exec("SET GLOBAL general_log = 1", &err);
    m_error = err;
  }
  ~GeneralLog() {
    std::string err;
    m_admin.exec("SET GLOBAL general_log = 0", &err);
    m_admin.exec("SET GLOBAL log_output = 'FILE'", &err);
  }
  bool ok() const { return m_ok; }
  const std::string& error() const { return m_error; }
  // The statements logged that hold text, one a line.
  std::string Holding(const std::string& text) {
    RawRows rows;
    std::string err;
    if (!m_admin.query("SELECT argument FROM mysql.general_log WHERE command_type = 'Query' AND argument LIKE '%" +
                           text + "%' AND argument NOT LIKE '%general_log%' ORDER BY event_time",
                       &rows, &err))
      return err;
    std::string s;
    for (const RawRow& r : rows) s += *r[0] + "\n";
    return s;
  }

 private:
  RawConnection m_admin;
  bool m_ok = false;
  std::string m_error;
};

// Every slot of INADriver in its order, each after an earlier error (8 from the provider list):
// the entries that reset leave only their own error, the others add to what was there.
TEST_F(LoadedHost, EverySlotAnswersWithItsOwnErrorRule) {
  CHostConnectionDescription* open = Host();
  CHostConnectionDescription* never = Host("", L"never");
  never->m_pszPassword = L"another";  // its own identification: never registered
  ASSERT_TRUE(m_loader.bOpenConnection(open));
  CHostContext ctx(4, 1), unknown(5, 1);
  ISQLParserInformation* lock = Parse("SELECT id FROM " + m_table + " WHERE id = 10");
  const std::wstring quoted = L"`" + m_wtable + L"`";
  CAny out;
  CXYString<wchar_t> databases;
  INATable* table = nullptr;
  INADataSourceDescription* desc = nullptr;
  int exists = -1;
  enum Keep : bool { kResets = false, kKeeps = true };
  const struct {
    const char* slot;
    std::function<BOOL()> call;
    BOOL result;
    Keep keeps;
    unsigned int code;  // the error's own code afterwards (0: none)
  } rows[] = {
      {"piGetInterface 2", [&] { return m_driver->piGetInterface(2) != nullptr; }, FALSE, kResets, 0},
      {"bOpenConnection", [&] { return m_driver->bOpenConnection(open); }, TRUE, kResets, 0},
      {"bCloseConnection never opened", [&] { return m_driver->bCloseConnection(never); }, TRUE, kResets, 0},
      {"bCopyContext", [&] { return m_driver->bCopyContext(nullptr, &ctx, &unknown, 0); }, FALSE, kKeeps, 0},
      {"bHMode", [&] { return m_driver->bHMode(&ctx, static_cast<_eNA_HMODE>(1)); }, TRUE, kKeeps, 0},
      {"piGetTable", [&] { return (table = Table(open)) != nullptr; }, TRUE, kResets, 0},
      {"bGetTableList", [&] { return m_driver->bGetTableList(&out, open, 1); }, TRUE, kResets, 0},
      {"piGetTableDesc", [&] { return (desc = m_driver->piGetTableDesc(m_wtable.c_str(), open)) != nullptr; }, TRUE,
       kResets, 0},
      {"bCloseContext unknown", [&] { return m_driver->bCloseContext(&unknown); }, FALSE, kResets, 0},
      {"bTransactionBegin", [&] { return m_driver->bTransactionBegin(open, L"slots"); }, TRUE, kResets, 0},
      {"bSQLBloqueTable", [&] { return m_driver->bSQLBloqueTable(open, quoted.c_str()); }, TRUE, kResets, 0},
      {"bSQLBloqueRequete", [&] { return m_driver->bSQLBloqueRequete(open, lock); }, TRUE, kResets, 0},
      {"bTransactionCommit", [&] { return m_driver->bTransactionCommit(open, L"slots"); }, TRUE, kResets, 0},
      {"bTransactionRollBack after the commit", [&] { return m_driver->bTransactionRollBack(open, L"slots"); }, TRUE,
       kResets, 0},
      {"bSQLBloqueTable outside", [&] { return m_driver->bSQLBloqueTable(open, quoted.c_str()); }, FALSE, kResets,
       kNoTransaction},
      // The entry keeps the error, the SQL-function service it asks resets it (the driver's own).
      {"bSQLFormatColonne", [&] { return m_driver->bSQLFormatColonne(open, &out); }, TRUE, kResets, 0},
      {"bHConnexionDiagnose", [&] { return m_driver->bHConnexionDiagnose(&out, open, m_wtable.c_str(), 0); }, FALSE,
       kResets, kNotSupported},
      {"bGetProviderList", [&] { return m_driver->bGetProviderList(&out); }, FALSE, kKeeps, kNotSupported},
      {"bTableExists", [&] { return m_driver->bTableExists(&exists, m_wtable.c_str(), open); }, TRUE, kResets, 0},
      {"bGetLinkList", [&] { return m_driver->bGetLinkList(&out, m_wtable.c_str(), nullptr, open, 0); }, TRUE, kKeeps,
       0},
      {"bGetListeSource", [&] { return m_driver->bGetListeSource(&out, 0); }, TRUE, kKeeps, 0},
      {"bSetQueryParameters", [&] { return m_driver->bSetQueryParameters(&ctx, open, nullptr); }, TRUE, kKeeps, 0},
      {"bSetVMAndLibShop", [&] { return m_driver->bSetVMAndLibShop(nullptr, nullptr); }, TRUE, kKeeps, 0},
      {"bFiltreAuto", [&] { return m_driver->bFiltreAuto(&ctx, open, 0, L"f", nullptr, L"", nullptr); }, FALSE, kKeeps,
       kNotSupported},
      {"SetNextLogicalName", [&] { return m_driver->SetNextLogicalName(&ctx, L"alias"); }, TRUE, kKeeps, 0},
      {"bFreeDataSource none", [&] { return m_driver->bFreeDataSource(&ctx, L"q", open); }, TRUE, kKeeps, 0},
      {"bValidConnection", [&] { return m_driver->bValidConnection(open); }, TRUE, kKeeps, 0},
      {"bSetKJ", [&] { return m_driver->bSetKJ(nullptr); }, TRUE, kKeeps, 0},
      {"bSupprimeFichier without a description",
       [&] { return m_driver->bSupprimeFichier(&ctx, open, m_wtable.c_str(), nullptr); }, TRUE, kResets, 0},
      {"bGetDatabaseList", [&] { return m_driver->bGetDatabaseList(&databases, open, 0); }, TRUE, kResets, 0},
  };
  INAError* e = m_driver->piGetLastError();
  for (const auto& row : rows) {
    CAny ignored;
    m_driver->piGetInterface(2);
    ASSERT_FALSE(m_driver->bGetProviderList(&ignored));
    EXPECT_EQ(row.call(), row.result) << row.slot << ": " << Narrow(e->pszGetError());
    if (row.keeps) {
      EXPECT_EQ(TopCode(e), kNotSupported) << row.slot;
      CXError* added = e->pclGetXError()->pclGetSubError(0);
      EXPECT_EQ(added != nullptr ? added->nGetUserErrorCode() : 0u, row.code) << row.slot;
    } else {
      EXPECT_EQ(TopCode(e), row.code) << row.slot << ": " << Narrow(e->pszGetError());
    }
  }
  EXPECT_EQ(exists, 1);
  EXPECT_EQ(out.wGetType(), ZV_PSTRW);  // the source list, empty
  EXPECT_NE(std::wstring(databases.pszGet()).find(Wide(m_server.database)), std::wstring::npos);
  ASSERT_NE(desc, nullptr);
  EXPECT_EQ(desc->nGetNumItems(), 2);
  desc->nExternalRelease();
  // The table stays registered, its rows untouched by the deletion without a description.
  EXPECT_EQ(ServerIds(), "10 20 30 40 50 ");
  EXPECT_NE(table, nullptr);
  INADriverSQL* service = m_driver->piGetInterface(1);
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(m_driver->piGetInterface(1), service);
  EXPECT_EQ(service->nExternalRelease(), 1);
  EXPECT_EQ(service->nExternalRelease(), 0);
  lock->nRelease();
}

// The server answers: a missing table is an answer (1146 kept in the error), any other refusal
// a failure, as is a connection that cannot be opened.
TEST_F(LoadedHost, TableExistenceIsAskedOfTheServer) {
  CHostConnectionDescription* host = Host();
  CHostConnectionDescription* refused = Host();
  refused->m_pszPassword = L"not the password";
  const struct {
    const char* name;
    CHostConnectionDescription* host;
    std::wstring table;
    BOOL result;
    int exists;
    DWORD server;  // the server's error code left in the error
  } rows[] = {
      {"existing", host, m_wtable, TRUE, 1, 0},
      {"missing", host, L"qx_no_such_table", TRUE, 0, 1146},
      {"another database's", host, L"mysql.user", FALSE, 0, 1142},
      {"connection refused", refused, m_wtable, FALSE, -1, 1045},
  };
  for (const auto& row : rows) {
    int exists = -1;
    EXPECT_EQ(m_driver->bTableExists(&exists, row.table.c_str(), row.host), row.result) << row.name;
    EXPECT_EQ(exists, row.exists) << row.name;
    EXPECT_NE(Narrow(m_driver->piGetLastError()->pszGetError()).find(row.server ? std::to_string(row.server) : ""),
              std::string::npos)
        << row.name << Narrow(m_driver->piGetLastError()->pszGetError());
  }
  EXPECT_EQ(m_driver->piGetLastError()->eGetErrorLevel(), 2);
}

// The deletion of a file answers its failures, which the host once read as success.
TEST_F(LoadedHost, FileDeletionThatFailsAnswersFalse) {
  std::string err;
  const std::string copy = m_table + "_copy";
  ASSERT_TRUE(m_raw.exec("CREATE TABLE IF NOT EXISTS " + copy + " LIKE " + m_table, &err)) << err;
  CHostConnectionDescription* host = Host();
  CHostConnectionDescription* refused = Host();
  refused->m_pszPassword = L"not the password";
  CHostContext ctx(6, 1);
  const struct {
    const char* name;
    CHostConnectionDescription* host;
    CHostRecordDescription* desc;
    BOOL result;
  } rows[] = {
      {"existing", host, Desc(Wide(copy)), TRUE},
      {"dropped already: nothing left to drop", host, Desc(Wide(copy)), TRUE},
      {"connection refused", refused, &m_desc, FALSE},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(m_driver->bSupprimeFichier(&ctx, row.host, row.desc->pszGetLogicalName(), row.desc), row.result)
        << row.name;
    if (!row.result) {
      EXPECT_EQ(m_driver->piGetLastError()->eGetErrorLevel(), 2) << row.name;
    }
  }
  RawRows tables;
  ASSERT_TRUE(m_raw.query("SHOW TABLES LIKE '" + copy + "'", &tables, &err)) << err;
  EXPECT_TRUE(tables.empty());
  EXPECT_EQ(ServerIds(), "10 20 30 40 50 ");
}

// With "QX Cache Size" unset the browse asks the server for blocks of 100 rows.
TEST_F(LoadedHost, BrowseWithoutACacheSizeAsksBlocksOf100) {
  GeneralLog log(m_lib, m_server);
  ASSERT_TRUE(log.ok()) << log.error();
  INATable* t = Table(Host());
  CHostContext ctx(7, 1);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr));
  ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
  const std::string selects = log.Holding("SELECT%FROM `" + m_table + "`%");
  EXPECT_NE(selects.find(" LIMIT 100\n"), std::string::npos) << selects;
  EXPECT_TRUE(t->bHFerme(&ctx));
}

// The entries that find a connection never make one: 14 naming the host's connection, at each
// entry's own site, and no connection object holds the host's description.
TEST_F(LoadedHost, UnregisteredConnectionGives14WithItsNameAndNoConnection) {
  CHostConnectionDescription* host = Host("", L"nowhere cnx");
  ISQLParserInformation* query = Parse("SELECT id FROM " + m_table);
  CAny out;
  const struct {
    const char* name;
    std::function<BOOL()> call;
    int site;
  } rows[] = {
      {"table lock", [&] { return m_driver->bSQLBloqueTable(host, m_wtable.c_str()); }, 1},
      {"query lock", [&] { return m_driver->bSQLBloqueRequete(host, query); }, 2},
      {"diagnose", [&] { return m_driver->bHConnexionDiagnose(&out, host, L"", 0); }, 3},
      {"commit", [&] { return m_driver->bTransactionCommit(host, L"t"); }, 4},
      {"roll-back", [&] { return m_driver->bTransactionRollBack(host, L"t"); }, 5},
  };
  for (const auto& row : rows) {
    EXPECT_FALSE(row.call()) << row.name;
    INAError* e = m_driver->piGetLastError();
    EXPECT_EQ(TopCode(e), kNotRegistered) << row.name;
    EXPECT_NE(std::wstring(e->pszGetError()).find(L"nowhere cnx"), std::wstring::npos) << row.name;
    EXPECT_NE(Debug(e).find("=5." + std::to_string(row.site) + "\r\n"), std::string::npos) << row.name << Debug(e);
    EXPECT_EQ(host->nGetRefCount(), 0) << row.name;
  }
  query->nRelease();
}

TEST_F(LoadedHost, ProviderListAndAutomaticFilterAreRefusedWith8OfType7) {
  CAny out;
  EXPECT_FALSE(m_driver->bGetProviderList(&out));
  INAError* e = m_driver->piGetLastError();
  EXPECT_EQ(TopCode(e), kNotSupported);
  EXPECT_EQ(static_cast<int>(e->eGetErrorType()), 7);
  EXPECT_NE(Debug(e).find("=5.6\r\n"), std::string::npos) << Debug(e);
  // Neither resets: the automatic filter's refusal follows the first as a sub-error.
  CHostContext ctx(1, 1);
  EXPECT_FALSE(m_driver->bFiltreAuto(&ctx, Host(), 0, L"Orders", nullptr, L"", nullptr));
  EXPECT_EQ(TopCode(e), kNotSupported);
  ASSERT_NE(e->pclGetXError()->pclGetSubError(0), nullptr);
  EXPECT_NE(Narrow(e->pclGetXError()->pclGetSubError(0)->pszGetDebugMessage()).find("=5.7\r\n"), std::string::npos);
  m_driver->piGetInterface(2);  // resets
  EXPECT_FALSE(m_driver->bFiltreAuto(&ctx, Host(), 0, L"Orders", nullptr, L"", nullptr));
  EXPECT_STREQ(e->pszGetLogicalTableName(), L"Orders");
}

// Outside a transaction a lock would end with its own statement: 29 and nothing sent. Inside one
// a second session waits for the rows until the commit.
TEST_F(LoadedHost, LocksHoldOnlyInsideATransaction) {
  GeneralLog log(m_lib, m_server);
  ASSERT_TRUE(log.ok()) << log.error();
  CHostConnectionDescription* host = Host();
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  const std::wstring table = L"`" + m_wtable + L"`";
  ISQLParserInformation* query = Parse("SELECT id FROM " + m_table + " WHERE id = 20");
  EXPECT_FALSE(m_driver->bSQLBloqueTable(host, table.c_str()));
  EXPECT_EQ(TopCode(m_driver->piGetLastError()), kNoTransaction);
  EXPECT_STREQ(m_driver->piGetLastError()->pszGetLogicalTableName(), table.c_str());
  EXPECT_FALSE(m_driver->bSQLBloqueRequete(host, query));
  EXPECT_EQ(TopCode(m_driver->piGetLastError()), kNoTransaction);
  EXPECT_EQ(log.Holding(m_table + "%FOR UPDATE"), "");

  RawConnection other{m_lib};
  std::string err;
  ASSERT_TRUE(other.connect(m_server, RawTransport::Tcp, &err)) << err;
  ASSERT_TRUE(other.exec("SET SESSION innodb_lock_wait_timeout = 1", &err)) << err;
  const struct {
    const char* name;
    std::function<BOOL()> lock;
    std::string blocked;  // what the other session cannot have until the commit
  } rows[] = {
      {"table", [&] { return m_driver->bSQLBloqueTable(host, table.c_str()); },
       "DELETE FROM " + m_table + " WHERE id = 40"},
      {"query", [&] { return m_driver->bSQLBloqueRequete(host, query); },
       "UPDATE " + m_table + " SET t = 'x' WHERE id = 20"},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(m_driver->bTransactionBegin(host, L"locks")) << Narrow(m_driver->piGetLastError()->pszGetError());
    ASSERT_TRUE(row.lock()) << row.name << Narrow(m_driver->piGetLastError()->pszGetError());
    EXPECT_FALSE(other.exec(row.blocked, &err)) << row.name;
    EXPECT_EQ(other.lastErrno(), 1205u) << row.name << err;
    ASSERT_TRUE(m_driver->bTransactionCommit(host, L"locks"));
    EXPECT_TRUE(other.exec(row.blocked, &err)) << row.name << err;
  }
  // The query lock sends the host's query text.
  EXPECT_EQ(log.Holding(m_table + "%FOR UPDATE"), "SELECT * FROM `" + m_table + "` FOR UPDATE\nSELECT id FROM " +
                                                      m_table + " WHERE id = 20 FOR UPDATE\n");
  query->nRelease();
}

// Begin, commit and roll-back as a raw session sees the rows a table of the connection writes.
TEST_F(LoadedHost, TransactionsAreSeenFromARawConnectionOnlyWhenCommitted) {
  CHostConnectionDescription* host = Host();
  INATable* t = Table(host);
  CHostContext ctx(2, 1);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
  ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
  const struct {
    bool commit;
    int id;
    const char* after;
  } rows[] = {
      {false, 60, "10 20 30 40 50 "},
      {true, 70, "10 20 30 40 50 70 "},
      {false, 80, "10 20 30 40 50 70 "},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(m_driver->bTransactionBegin(host, L"work"));
    ASSERT_TRUE(Put(t, &ctx, row.id, "new"));
    ASSERT_TRUE(t->bHAjoute(&ctx, 0, kNoLock)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
    EXPECT_EQ(ServerIds().find(std::to_string(row.id)), std::string::npos) << "seen before the end";
    EXPECT_TRUE(row.commit ? m_driver->bTransactionCommit(host, L"work") : m_driver->bTransactionRollBack(host, L"work"));
    EXPECT_EQ(ServerIds(), row.after);
  }
  EXPECT_TRUE(t->bHFerme(&ctx));
}

// A browse on a table written inside a transaction: after the roll-back first, next, previous
// and last show the server's rows only; after a commit they show the work.
TEST_F(LoadedHost, RollBackLeavesTheBrowseOnTheServersRowsOnly) {
  for (const char* extra : {"", ";QX Cache Size=2"}) {
    for (bool commit : {false, true}) {
      SCOPED_TRACE(std::string(extra) + (commit ? " commit" : " roll-back"));
      std::string err;
      ASSERT_TRUE(m_raw.exec("DELETE FROM " + m_table, &err)) << err;
      ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_table + " VALUES (10,'a'),(20,'a'),(30,'a'),(40,'a'),(50,'a')", &err))
          << err;
      CHostConnectionDescription* host = Host(extra);
      INATable* t = Table(host);
      CHostContext ctx(3, 1);
      ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr));
      ASSERT_EQ(Ids(t, &ctx), "10 20 30 40 50 | 50 40 30 20 10 ");
      ASSERT_TRUE(m_driver->bTransactionBegin(host, L"work"));
      // Added, modified (its key moved) and deleted, each through the browse.
      ASSERT_TRUE(Put(t, &ctx, 25, "added"));
      ASSERT_TRUE(t->bHAjoute(&ctx, 0, kNoLock)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
      ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_LAST, 1, kNoLock, nullptr, 0));
      ASSERT_TRUE(Put(t, &ctx, 55, "moved"));
      ASSERT_TRUE(t->bHModifie(&ctx, 0, 0, kNoLock)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
      ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
      ASSERT_TRUE(t->bHSupprime(&ctx, 0, kNoLock)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
      ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0));
      ASSERT_EQ(Id(t, &ctx), 20);
      ASSERT_TRUE(commit ? m_driver->bTransactionCommit(host, L"work") : m_driver->bTransactionRollBack(host, L"work"));
      const std::string rows = commit ? "20 25 30 40 55 " : "10 20 30 40 50 ";
      const std::string back = commit ? "55 40 30 25 20 " : "50 40 30 20 10 ";
      EXPECT_EQ(ServerIds(), rows);
      // Going on from where the browse stood, then from each end.
      std::string seen;
      for (eNA_PARSEDIRECTION dir : {NA_PARSE_NEXT, NA_PARSE_PREVIOUS, NA_PARSE_PREVIOUS}) {
        int out = 0;
        ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", dir, 1, kNoLock, nullptr, 0));
        ASSERT_TRUE(t->bHEnDehors(&ctx, L"id", &out));
        seen += out != 0 ? "out " : std::to_string(Id(t, &ctx)) + " ";
      }
      EXPECT_EQ(seen, commit ? "25 20 out " : "30 20 10 ");
      EXPECT_EQ(Ids(t, &ctx), rows + "| " + back);
      EXPECT_TRUE(t->bHFerme(&ctx));
      EXPECT_TRUE(m_driver->bCloseConnection(host));
    }
  }
}

}  // namespace

namespace {

// Lists, locks and diagnoses on four threads beside table reads: each gets and gives back its
// connection under the driver's lock, so the reads stay whole and every connection lets go of
// its host description once the driver goes.
TEST_F(LoadedHost, FourThreadsMixCatalogueLocksAndDiagnosisWithReads) {
  CHostConnectionDescription* reads = Host();
  CHostConnectionDescription* locks = Host(";Application Name=locks");
  INATable* t = Table(reads);
  const std::string all = "10 20 30 40 50 | 50 40 30 20 10 ";
  std::string failures[4];
  auto reader = [&](int i) {
    CHostContext ctx(200 + static_cast<DWORD>(i), 1);
    if (!t->bHOuvre(&ctx, kReadWrite, nullptr)) {
      failures[i] = "not opened";
      return;
    }
    for (int round = 0; round < 15; ++round) {
      const std::string seen = Ids(t, &ctx);
      if (seen != all) failures[i] += seen + "; ";
    }
    t->bHFerme(&ctx);
    m_driver->bCloseContext(&ctx);
  };
  auto catalogue = [&](int i) {
    for (int round = 0; round < 15; ++round) {
      CAny tables, links, types;
      CXYString<wchar_t> databases;
      if (!m_driver->bGetTableList(&tables, reads, 1) || !m_driver->bGetDatabaseList(&databases, reads, 1) ||
          !m_driver->bGetLinkList(&links, m_wtable.c_str(), nullptr, reads, 32) ||
          !m_driver->bSQLFormatColonne(reads, &types))
        failures[i] += "list failed; ";
      else if (ListText(tables).find(m_table) == std::string::npos)
        failures[i] += "table not listed; ";
    }
  };
  auto locker = [&](int i) {
    ISQLParserInformation* query = nullptr;
    {
      std::lock_guard<std::mutex> guard(m_parseMutex);
      query = Parse("SELECT id FROM " + m_table + " WHERE id = 30");
    }
    for (int round = 0; round < 15; ++round) {
      CAny diagnosis;
      const bool outside = !m_driver->bSQLBloqueTable(locks, m_wtable.c_str());
      const bool inside = m_driver->bTransactionBegin(locks, L"t") && m_driver->bSQLBloqueRequete(locks, query) &&
                          m_driver->bTransactionCommit(locks, L"t");
      const bool refused = !m_driver->bHConnexionDiagnose(&diagnosis, locks, m_wtable.c_str(), 0);
      if (!outside || !inside || !refused) failures[i] += "lock round " + std::to_string(round) + "; ";
    }
    query->nRelease();
  };
  ASSERT_TRUE(m_loader.bOpenConnection(locks));
  std::vector<std::thread> threads;
  threads.emplace_back(reader, 0);
  threads.emplace_back(reader, 1);
  threads.emplace_back(catalogue, 2);
  threads.emplace_back(locker, 3);
  for (std::thread& th : threads) th.join();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(failures[i], "") << "thread " << i;
  EXPECT_TRUE(m_driver->bCloseConnection(locks));
  for (INATable* held : m_tabHeld) held->nExternalRelease();
  m_tabHeld.clear();
  EXPECT_EQ(m_driver->nExternalRelease(), 0);
  m_driver = nullptr;
  for (CHostConnectionDescription& host : m_connections.All()) EXPECT_EQ(host.nGetRefCount(), 0);
  CInformationModule::ms_piStrMemAlloc = nullptr;
  EXPECT_TRUE(m_loader.Stop());
  EXPECT_EQ(m_loader.Control()->nLiveBlocks(), 0);
}

}  // namespace

namespace {

// The host's queries run as result tables: a result with rows is registered under its context
// and name and reused by the next run of that name; without rows, or on failure, nothing stays
// registered unless the host keeps it (flag 16). A registered result holds its connection, so a
// closed connection lets go of the host's description only once nothing is registered.
TEST_F(LoadedHost, QueryResultsAreRegisteredOnlyWithRows) {
  m_catalogue.Add(Desc(L"qx_no_such_table", true));
  const struct {
    const char* name;
    std::string sql;
    unsigned int flags;
    BOOL result;
    bool table;       // *out given
    bool registered;  // still held once the connection is closed
    unsigned int serverError;
  } rows[] = {
      {"select", "SELECT id, t FROM " + m_table + " ORDER BY id", 0, TRUE, true, true, 0},
      {"update", "UPDATE " + m_table + " SET t = 'u' WHERE id = 10", 0, TRUE, false, false, 0},
      // Flag 16 only prepares, which an UPDATE cannot be here; the host keeps the query though.
      {"update kept", "UPDATE " + m_table + " SET t = 'v' WHERE id = 10", 16, FALSE, false, true, 0},
      {"failure", "SELECT id, t FROM qx_no_such_table", 0, FALSE, false, false, 1146},
      {"failure kept", "SELECT id, t FROM qx_no_such_table", 16, FALSE, false, true, 1146},
  };
  int n = 0;
  for (const auto& row : rows) {
    CHostConnectionDescription* host = Host(";Application Name=q" + std::to_string(++n));
    ASSERT_TRUE(m_loader.bOpenConnection(host));
    CHostContext ctx(10 + static_cast<DWORD>(n), 1);
    ISQLParserInformation* query = Parse(row.sql);
    INATable* out = reinterpret_cast<INATable*>(&ctx);  // overwritten by every run
    EXPECT_EQ(m_driver->bHExecuteRequeteSQL(&out, &ctx, L"Q", host, query, row.flags), row.result)
        << row.name << ": " << Narrow(m_driver->piGetLastError()->pszGetError());
    EXPECT_EQ(out != nullptr, row.table) << row.name;
    const std::string error = Narrow(m_driver->piGetLastError()->pszGetError());
    if (row.serverError != 0) {
      EXPECT_NE(error.find(std::to_string(row.serverError)), std::string::npos) << error;
    }
    if (out != nullptr) {
      EXPECT_EQ(Ids(out, &ctx), "10 20 30 40 50 | 50 40 30 20 10 ") << row.name;
    }
    query->nRelease();
    EXPECT_TRUE(m_driver->bCloseConnection(host));
    EXPECT_EQ(host->nGetRefCount(), row.registered ? 1 : 0) << row.name;
    // Freeing the context's result lets the connection go.
    EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"Q", host));
    if (out != nullptr) out->nExternalRelease();
    EXPECT_EQ(host->nGetRefCount(), 0) << row.name;
  }
  EXPECT_EQ(ServerIds(), "10 20 30 40 50 ");
}

// Two descriptions of databases whose names differ only in case got two connections but one
// table object, bound to the first: the second's reads and writes went to the first database.
TEST_F(LoadedHost, TablesOfDatabasesDifferingInCaseWriteToTheirOwn) {
  const std::string bases[2] = {"qxtest_Case" + std::to_string(getpid()), "qxtest_case" + std::to_string(getpid())};
  std::string err;
  auto drop = [&] {
    for (const std::string& base : bases) m_raw.exec("DROP DATABASE IF EXISTS " + base, &err);
  };
  drop();
  for (const std::string& base : bases) {
    ASSERT_TRUE(m_raw.exec("CREATE DATABASE " + base, &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + base + "." + m_table + " (id INT PRIMARY KEY, t VARCHAR(20))", &err))
        << err;
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + base + "." + m_table + " VALUES (1, '" + base + "')", &err)) << err;
  }
  auto rows = [&](int i) {
    RawRows raw;
    if (!m_raw.query("SELECT id, t FROM " + bases[i] + "." + m_table + " ORDER BY id", &raw, &err)) return err;
    std::string out;
    for (const RawRow& r : raw) out += *r[0] + ":" + *r[1] + " ";
    return out;
  };
  for (const char* unicode : {"0", "1"}) {
    SCOPED_TRACE(unicode);
    INATable* tables[2];
    CHostContext ctx(30, 1);
    for (int i = 0; i < 2; ++i) {
      CHostConnectionDescription* host =
          m_connections.Add(m_server, std::string(";QX Unicode Support=") + unicode, nullptr, bases[i]);
      ASSERT_TRUE(m_loader.bOpenConnection(host));
      ASSERT_NE(tables[i] = Table(host), nullptr);
    }
    EXPECT_NE(tables[0], tables[1]);
    // The second one's add, then its delete of the row it reads first, reach its own database.
    INATable* t = tables[1];
    ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
    ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    ASSERT_TRUE(Put(t, &ctx, 2, "added"));
    ASSERT_TRUE(t->bHAjoute(&ctx, 0, kNoLock)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
    ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    EXPECT_EQ(Id(t, &ctx), 1);
    ASSERT_TRUE(t->bHSupprime(&ctx, 0, kNoLock)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
    EXPECT_TRUE(t->bHFerme(&ctx));
    EXPECT_EQ(rows(0), "1:" + bases[0] + " ");
    EXPECT_EQ(rows(1), "2:added ");
    ASSERT_TRUE(m_raw.exec("REPLACE INTO " + bases[1] + "." + m_table + " VALUES (1, '" + bases[1] + "')", &err));
    ASSERT_TRUE(m_raw.exec("DELETE FROM " + bases[1] + "." + m_table + " WHERE id = 2", &err));
  }
  drop();
}

// A second run of a name in a context reuses the result table; another context has its own.
TEST_F(LoadedHost, RunsOfOneNameShareTheContextsResult) {
  CHostConnectionDescription* host = Host();
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  CHostContext ctx(20, 1), other(21, 1);
  ISQLParserInformation* first = Parse("SELECT id, t FROM " + m_table + " WHERE id > 20 ORDER BY id");
  ISQLParserInformation* second = Parse("SELECT id, t FROM " + m_table + " WHERE id < 40 ORDER BY id");
  CHostQueryExecution execution(0, L"id");
  INATable* a = nullptr;
  INATable* b = nullptr;
  INATable* c = nullptr;
  ASSERT_TRUE(m_driver->bHExecuteRequeteSQLEx(&a, &ctx, L"R", host, first, 0, &execution));
  EXPECT_EQ(Ids(a, &ctx), "30 40 50 | 50 40 30 ");
  ASSERT_TRUE(m_driver->bHExecuteRequeteSQLEx(&b, &ctx, L"r", host, second, 0, &execution));
  EXPECT_EQ(b, a);
  EXPECT_EQ(Ids(b, &ctx), "10 20 30 | 30 20 10 ");
  ASSERT_TRUE(m_driver->bHExecuteRequeteSQLEx(&c, &other, L"R", host, first, 0, nullptr));
  EXPECT_NE(c, a);
  EXPECT_EQ(Ids(c, &other), "30 40 50 | 50 40 30 ");
  EXPECT_EQ(Ids(a, &ctx), "10 20 30 | 30 20 10 ");
  for (INATable* t : {a, b, c}) t->nExternalRelease();
  EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"R", host));
  EXPECT_TRUE(m_driver->bFreeDataSource(&other, L"R", host));
  first->nRelease();
  second->nRelease();
}

// A calculated column the host's parse types narrower than the server's result (UPPER of a text
// the catalogue gives 4 bytes, over a VARCHAR(20)) takes the result's type at the run: the host,
// laying the query's record out by the description the driver hands it, reads the whole texts;
// the catalogue keeps its own type.
TEST_F(LoadedHost, CalculatedColumnTakesTheServersTypeInTheDescriptionTheHostLaysItsRecordBy) {
  std::string err;
  ASSERT_TRUE(m_raw.exec("UPDATE " + m_table + " SET t = 'abcdefghij' WHERE id = 20", &err)) << err;
  // The test's table under another name, as a host that gives its text 4 bytes describes it.
  CHostRecordDescription* desc = Desc(L"narrow", true);
  desc->m_pszDBTableName = desc->m_pszPhysicalName = m_wtable.c_str();
  CHostItemDescription* t = desc->pclGetItemNoRef(1);
  t->m_pszSourceName = m_wtable.c_str();
  desc->pclGetItemNoRef(0)->m_pszSourceName = m_wtable.c_str();
  t->m_nItemSize = 4;
  m_catalogue.Add(desc);
  CHostConnectionDescription* host = Host();
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  CHostContext ctx(30, 1);
  ISQLParserInformation* query = Parse("SELECT id, UPPER(t) AS u FROM narrow WHERE id <= 20 ORDER BY id");
  INATable* out = nullptr;
  ASSERT_TRUE(m_driver->bHExecuteRequeteSQL(&out, &ctx, L"N", host, query, 0) && out != nullptr)
      << Narrow(m_driver->piGetLastError()->pszGetError());
  INADataSourceDescription* result = out->piGetDataSourceDescription();
  ASSERT_NE(result, nullptr);
  INAItemDescription* item = result->piNAGetItem(L"u");
  ASSERT_NE(item, nullptr);
  EXPECT_GT(item->nGetItemSize(), 4u);
  EXPECT_EQ(t->nGetItemSize(), 4u);
  // The host's reading of the text at the description's offset.
  std::string seen;
  for (eNA_PARSEDIRECTION dir = NA_PARSE_FIRST;; dir = NA_PARSE_NEXT) {
    int outside = 0;
    ASSERT_TRUE(out->bHLitxxx(&ctx, L"id", dir, 1, kNoLock, nullptr, 0) && out->bHEnDehors(&ctx, L"id", &outside))
        << Narrow(out->piGetLastError(&ctx)->pszGetError());
    if (outside != 0) break;
    CNAKJRecord* record = nullptr;
    ASSERT_TRUE(out->bGetRecord(&ctx, &record) && record != nullptr);
    // A wide text of the host is UTF-16, a text its ANSI bytes; both zero-filled.
    const BYTE* at = record->pbyGetValues() + item->nGetOffset(0);
    const bool wide = item->eNAGetItemType() == NA_IT_UNICODE;
    for (unsigned int i = 0; i < item->nGetItemSize(); i += wide ? 2 : 1) {
      const unsigned int c = wide ? at[i] | (at[i + 1] << 8) : at[i];
      if (c == 0) break;
      seen += static_cast<char>(c);
    }
    seen += " ";
    record->vnRelease();
  }
  EXPECT_EQ(seen, "A ABCDEFGHIJ ");
  item->nExternalRelease();
  result->nExternalRelease();
  query->nRelease();
  out->nExternalRelease();
  EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"N", host));
}

}  // namespace

namespace {

// A query sent as written is browsed from its table cache (and refuses writes): run inside a
// transaction after rows were written through a table, its cache holds them; after the
// roll-back its browse shows the server's rows only.
TEST_F(LoadedHost, RollBackEmptiesTheTableCacheOfAQuery) {
  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "roll-back");
    std::string err;
    ASSERT_TRUE(m_raw.exec("DELETE FROM " + m_table, &err)) << err;
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_table + " VALUES (10,'a'),(20,'a'),(30,'a'),(40,'a'),(50,'a')", &err))
        << err;
    CHostConnectionDescription* host = Host();
    INATable* table = Table(host);
    CHostContext ctx(30, 1), file(31, 1);
    ASSERT_TRUE(table->bHOuvre(&file, kReadWrite, nullptr));
    ISQLParserInformation* query = Parse("SELECT id, t FROM " + m_table + " ORDER BY id");
    ASSERT_TRUE(m_driver->bTransactionBegin(host, L"work"));
    ASSERT_TRUE(table->bHLitxxx(&file, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    ASSERT_TRUE(table->bHSupprime(&file, 0, kNoLock)) << Narrow(table->piGetLastError(&file)->pszGetError());
    ASSERT_TRUE(Put(table, &file, 25, "added"));
    ASSERT_TRUE(table->bHAjoute(&file, 0, kNoLock)) << Narrow(table->piGetLastError(&file)->pszGetError());
    ASSERT_TRUE(table->bHLitxxx(&file, L"id", NA_PARSE_LAST, 1, kNoLock, nullptr, 0));
    ASSERT_TRUE(Put(table, &file, 55, "moved"));
    ASSERT_TRUE(table->bHModifie(&file, 0, 0, kNoLock)) << Narrow(table->piGetLastError(&file)->pszGetError());
    INATable* t = nullptr;
    // 4: sent as written, browsed from its table cache.
    ASSERT_TRUE(m_driver->bHExecuteRequeteSQL(&t, &ctx, L"C", host, query, 4))
        << Narrow(m_driver->piGetLastError()->pszGetError());
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(Ids(t, &ctx), "20 25 30 40 55 | 55 40 30 25 20 ");
    ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    ASSERT_TRUE(t->bHLitxxx(&ctx, L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0));
    ASSERT_TRUE(commit ? m_driver->bTransactionCommit(host, L"work") : m_driver->bTransactionRollBack(host, L"work"));
    EXPECT_EQ(ServerIds(), commit ? "20 25 30 40 55 " : "10 20 30 40 50 ");
    // After a commit the cache reads on from 25. After a roll-back the cache is gone and the row
    // cannot be found again: going on is refused (83); a read from an end runs the query again.
    for (auto [dir, id] : {std::pair{NA_PARSE_NEXT, 30}, std::pair{NA_PARSE_PREVIOUS, 25}}) {
      EXPECT_EQ(t->bHLitxxx(&ctx, L"id", dir, 1, kNoLock, nullptr, 0), commit);
      EXPECT_EQ(commit ? Id(t, &ctx) : static_cast<int>(TopCode(t->piGetLastError(&ctx))), commit ? id : 83);
    }
    EXPECT_EQ(Ids(t, &ctx), commit ? "20 25 30 40 55 | 55 40 30 25 20 " : "10 20 30 40 50 | 50 40 30 20 10 ");
    EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"C", host));
    t->nExternalRelease();
    query->nRelease();
    EXPECT_TRUE(table->bHFerme(&file));
  }
}

// A query sent as written, which the server's dialect cannot wrap to seek in, is sought in its
// table cache: a seek reads the item's order (ids up) while the query's own is down; next and
// previous go on from the row found, and the count, the place and a saved position come from
// the cache. Before, every seek failed with user error 41.
TEST_F(LoadedHost, SeeksInAQuerySentAsWrittenReadItsTableCache) {
  CHostConnectionDescription* host = Host();
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  CHostContext ctx(40, 1);
  ISQLParserInformation* query = Parse("SELECT id, t FROM " + m_table + " ORDER BY id DESC");
  INATable* t = nullptr;
  ASSERT_TRUE(m_driver->bHExecuteRequeteSQL(&t, &ctx, L"S", host, query, 4))
      << Narrow(m_driver->piGetLastError()->pszGetError());
  ASSERT_NE(t, nullptr);
  auto read = [&](eNA_PARSEDIRECTION dir) {
    int out = 1;
    if (!t->bHLitxxx(&ctx, L"id", dir, 1, kNoLock, nullptr, 0) || !t->bHEnDehors(&ctx, L"id", &out)) return -1;
    return out ? 0 : Id(t, &ctx);
  };
  auto seek = [&](int value, int fromFirst) {
    CAny sought;
    sought.SetI4(value);
    int out = 1;
    if (!t->bHRecherche(&ctx, L"id", &sought, 0, 1, kNoLock, nullptr, fromFirst, 0) ||
        !t->bHEnDehors(&ctx, L"id", &out))
      return -1;
    return out ? 0 : Id(t, &ctx);
  };
  const struct {
    int value, fromFirst, id, found, next, previous, place;
  } rows[] = {
      {30, 1, 30, 1, 40, 20, 600}, {30, 0, 30, 1, 40, 20, 600}, {25, 1, 30, 0, 40, 20, 600},
      {25, 0, 20, 0, 30, 10, 400}, {50, 1, 50, 1, 0, 40, 1000},  {10, 0, 10, 1, 20, 0, 200},
      {55, 1, 0, 0, 0, 0, 0},      {5, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& r : rows) {
    const std::string what = std::to_string(r.value) + (r.fromFirst ? " from first" : " from last");
    ASSERT_EQ(seek(r.value, r.fromFirst), r.id) << what << ": " << Narrow(t->piGetLastError(&ctx)->pszGetError());
    if (r.id == 0) continue;
    int found = -1;
    EXPECT_TRUE(t->bEvalHTrouve(&ctx, L"id", &found, nullptr));
    EXPECT_EQ(found, r.found) << what;
    int place = -1;
    EXPECT_TRUE(t->bHPositionCourante(&ctx, L"id", &place, eNA_PRECISION{0}, 0));
    EXPECT_EQ(place, r.place) << what;
    long long count = -1;
    EXPECT_TRUE(t->bHNbEnr(&ctx, &count, 16, 0));
    EXPECT_EQ(count, 5) << what;
    int saved = -1;
    ASSERT_TRUE(t->bHSauvePosition(&ctx, L"id", &saved, 0));
    EXPECT_EQ(read(NA_PARSE_NEXT), r.next) << what;
    wchar_t item[255] = {};
    ASSERT_TRUE(t->bHRetourPosition(&ctx, saved, item, 0, 0)) << what;
    EXPECT_EQ(Id(t, &ctx), r.id) << what;
    EXPECT_EQ(read(NA_PARSE_PREVIOUS), r.previous) << what;
  }
  EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"S", host));
  t->nExternalRelease();
  query->nRelease();
}

}  // namespace

namespace {

// A second table laid out as the test's own, so that a join of the two shares every column
// name, and the join's FROM over both under the aliases p and c.
class AliasedJoin : public LoadedHost {
 protected:
  void SetUp() override {
    LoadedHost::SetUp();
    if (HasFatalFailure()) return;
    m_cities = m_table + "_c";
    std::string err;
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + m_cities, &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_cities + " (id INT PRIMARY KEY, t VARCHAR(20)) ENGINE=InnoDB", &err))
        << err;
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_cities + " VALUES (10,'e'),(20,'d'),(30,'c'),(40,'b'),(50,'a')", &err))
        << err;
    m_catalogue.Add(Desc(Wide(m_cities), true));
    m_join = " FROM " + m_table + " p JOIN " + m_cities + " c ON p.id = c.id";
  }
  void TearDown() override {
    LoadedHost::TearDown();
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS " + m_cities, &err);
  }
  std::string m_cities, m_join;
};

// A query over aliased tables browsed by one of its columns: the order the driver adds names the
// column as the query does, by its table's alias, which is all the server knows it by there.
TEST_F(AliasedJoin, OrderByOfAnAliasedTableNamesTheAlias) {
  const std::string& join = m_join;
  const struct {
    const char* name;
    std::string sql;
    const wchar_t* item;
    const char* ids;
  } rows[] = {
      {"join by the second table's column", "SELECT p.id, c.t" + join, L"t", "50 40 30 20 10 | 10 20 30 40 50 "},
      {"join by the first table's column", "SELECT p.id, c.t" + join, L"id", "10 20 30 40 50 | 50 40 30 20 10 "},
      {"join with an order of its own", "SELECT p.id, c.t" + join + " ORDER BY c.t", L"id",
       "10 20 30 40 50 | 50 40 30 20 10 "},
      {"join by a renamed column", "SELECT p.id AS pid, c.t" + join, L"pid", "10 20 30 40 50 | 50 40 30 20 10 "},
      {"one aliased table", "SELECT p.id, p.t FROM " + m_table + " AS p WHERE p.id > 20", L"t",
       "30 40 50 | 50 40 30 "},
  };
  int n = 0;
  for (const auto& row : rows) {
    CHostConnectionDescription* host = Host(";QX Cache Size=2");
    CHostContext ctx(40 + static_cast<DWORD>(++n), 1);
    ISQLParserInformation* query = Parse(row.sql);
    ASSERT_NE(query, nullptr) << row.name;
    INATable* t = nullptr;
    EXPECT_TRUE(m_driver->bHExecuteRequeteSQLEx(&t, &ctx, L"A", host, query, 0, nullptr))
        << row.name << ": " << Narrow(m_driver->piGetLastError()->pszGetError());
    if (t != nullptr) {
      EXPECT_EQ(Ids(t, &ctx, row.item), row.ids) << row.name;
      t->nExternalRelease();
    }
    EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"A", host));
    query->nRelease();
  }
}

// Searches, filters, a count under a filter and a return to a saved position on a join whose
// tables share their column names: the conditions written into the query name each column by its
// table's alias (a bare name is ambiguous there); the count's, written behind the query made a
// derived table, by the name the query shows.
TEST_F(AliasedJoin, ConditionsOnAnAliasedJoinNameTheAlias) {
  CAny low, high, thirty;
  low.SetI4(20);
  high.SetI4(40);
  thirty.SetI4(30);
  const auto error = [](INATable* t, INAContext* ctx) { return Narrow(t->piGetLastError(ctx)->pszGetError()); };
  const struct {
    const char* name;
    std::string select;
    const wchar_t* item;  // the join's id column as the query shows it
    std::function<std::string(INATable*, INAContext*, const wchar_t*)> run;
    std::string want;
  } rows[] = {
      {"search", "SELECT p.id, c.t", L"id",
       [&](INATable* t, INAContext* ctx, const wchar_t* item) {
         return t->bHRecherche(ctx, item, &thirty, 0, 1, kNoLock, nullptr, 1, 0) ? std::to_string(Id(t, ctx))
                                                                                 : error(t, ctx);
       },
       "30"},
      {"filter", "SELECT p.id, c.t", L"id",
       [&](INATable* t, INAContext* ctx, const wchar_t* item) {
         return t->bHFiltre(ctx, item, &low, 1, &high, 1, nullptr) ? Ids(t, ctx, item) : error(t, ctx);
       },
       "20 30 40 | 40 30 20 "},
      {"count under a filter of a renamed column", "SELECT p.id AS pid, c.t", L"pid",
       [&](INATable* t, INAContext* ctx, const wchar_t* item) {
         long long n = -1;
         // 0x4000: under the filter.
         return t->bHFiltre(ctx, item, &low, 1, &high, 1, nullptr) && t->bHNbEnr(ctx, &n, 16, 0x4000)
                    ? std::to_string(n)
                    : error(t, ctx);
       },
       "3"},
      {"return to a saved position, then on", "SELECT p.id, c.t", L"id",
       [&](INATable* t, INAContext* ctx, const wchar_t* item) {
         int position = 0;
         wchar_t back[255] = L"";
         if (!t->bHLitxxx(ctx, item, NA_PARSE_FIRST, 1, kNoLock, nullptr, 0) ||
             !t->bHLitxxx(ctx, item, NA_PARSE_NEXT, 1, kNoLock, nullptr, 0) ||
             !t->bHSauvePosition(ctx, item, &position, 0) ||
             !t->bHLitxxx(ctx, item, NA_PARSE_LAST, 1, kNoLock, nullptr, 0) ||
             !t->bHRetourPosition(ctx, position, back, 0, 0) ||
             !t->bHLitxxx(ctx, item, NA_PARSE_NEXT, 1, kNoLock, nullptr, 0))
           return error(t, ctx);
         return std::to_string(Id(t, ctx));
       },
       "30"},
  };
  int n = 0;
  for (const auto& row : rows) {
    CHostConnectionDescription* host = Host(";QX Cache Size=2");
    CHostContext ctx(50 + static_cast<DWORD>(++n), 1);
    ISQLParserInformation* query = Parse(row.select + m_join);
    ASSERT_NE(query, nullptr) << row.name;
    INATable* t = nullptr;
    ASSERT_TRUE(m_driver->bHExecuteRequeteSQLEx(&t, &ctx, L"A", host, query, 0, nullptr))
        << row.name << ": " << Narrow(m_driver->piGetLastError()->pszGetError());
    EXPECT_EQ(row.run(t, &ctx, row.item), row.want) << row.name;
    t->nExternalRelease();
    EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"A", host));
    query->nRelease();
  }
}

}  // namespace

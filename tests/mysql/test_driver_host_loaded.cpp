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
#include "host/host_sqlparser.h"
#include "platform/xerror.h"
#include "sql/nakjrecord.h"
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

unsigned int TopCode(INAError* e) { return e->pclGetXError()->nGetUserErrorCode(); }
std::string Debug(INAError* e) { return Narrow(e->pclGetXError()->pszGetDebugMessage()); }

class LoadedHost : public testing::Test {
 protected:
  void SetUp() override {
    if (!TestServer::fromEnv(&m_server)) GTEST_FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_lib.load(&err)) << err;
    ASSERT_TRUE(m_raw.connect(m_server, RawTransport::Tcp, &err)) << err;
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
    m_catalogue.Add(&m_desc);
    m_user = Wide(m_server.user);
    m_password = Wide(m_server.password);
    m_source = Wide(m_server.host);
    m_driver = m_loader.piQueryInterface(&err);
    ASSERT_NE(m_driver, nullptr) << err;
  }
  void TearDown() override {
    if (m_driver != nullptr) {
      for (INATable* t : m_tabHeld) t->nExternalRelease();
      EXPECT_EQ(m_driver->nExternalRelease(), 0);
      EXPECT_TRUE(m_loader.Stop());
      EXPECT_EQ(m_loader.Control()->nLiveBlocks(), 0);
    }
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err);
  }
  CHostConnectionDescription* Host(const std::string& extra = "", const wchar_t* name = L"cnx") {
    CHostConnectionDescription& host = m_hosts.emplace_back();
    const std::wstring& info = m_texts.emplace_back(
        Wide("Server Port=" + std::to_string(m_server.port) + ";Initial Catalog=" + m_server.database + extra));
    host.m_pszUser = m_user.c_str();
    host.m_pszPassword = m_password.c_str();
    host.m_pszDataSource = m_source.c_str();
    host.m_pszExtendedInfo = info.c_str();
    host.m_llCacheSize = -2;
    host.m_clName.SetName(name);
    return &host;
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
  // The ids of the file read first to last, then last to first.
  std::string Ids(INATable* t, INAContext* ctx) {
    std::string s;
    for (bool forward : {true, false}) {
      for (eNA_PARSEDIRECTION dir = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;;
           dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS) {
        int out = 0;
        if (!t->bHLitxxx(ctx, L"id", dir, 1, kNoLock, nullptr, 0) || !t->bHEnDehors(ctx, L"id", &out))
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

  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_raw{m_lib};
  std::string m_table;
  std::wstring m_wtable, m_user, m_password, m_source;
  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_desc;
  CHostSQLCatalogue m_catalogue;
  std::deque<CHostConnectionDescription> m_hosts;
  std::deque<std::wstring> m_texts;
  CHostLoader m_loader;
  INADriver* m_driver = nullptr;
  std::vector<INATable*> m_tabHeld;
};

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
  CHostConnectionDescription* host = Host();
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  const std::wstring table = L"`" + m_wtable + L"`";
  ISQLParserInformation* query = Parse("SELECT id FROM " + m_table + " WHERE id = 20");
  EXPECT_FALSE(m_driver->bSQLBloqueTable(host, table.c_str()));
  EXPECT_EQ(TopCode(m_driver->piGetLastError()), kNoTransaction);
  EXPECT_STREQ(m_driver->piGetLastError()->pszGetLogicalTableName(), table.c_str());
  EXPECT_FALSE(m_driver->bSQLBloqueRequete(host, query));
  EXPECT_EQ(TopCode(m_driver->piGetLastError()), kNoTransaction);

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
       "SELECT id FROM " + m_table + " WHERE id = 40 FOR UPDATE"},
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

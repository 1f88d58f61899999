// The host's main road through the loaded driver against the private server: a connection, a
// table whose name needs backquotes, opened, browsed both ways and closed, each record read at
// the host's own offsets and compared with the row a raw connection reads; what the host meets
// on bad input; contexts closed and tables given back with files open; four host threads each
// browsing the table in a context of its own. Every run ends with no host string block alive.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "access/inatable.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "platform/xerror.h"
#include "sql/nakjrecord.h"
#include "tests/support/rawmysql.h"

namespace {

constexpr eNA_ACCESS kReadWrite{0};
constexpr int kRows = 45;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

unsigned int TopCode(INAError* e) { return e->pclGetXError()->nGetUserErrorCode(); }

class LoadedTable : public testing::Test {
 protected:
  void SetUp() override {
    if (!TestServer::fromEnv(&m_server)) GTEST_FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_lib.load(&err)) << err;
    ASSERT_TRUE(m_raw.connect(m_server, RawTransport::Tcp, &err)) << err;
    m_table = "qx t`able " + std::to_string(getpid());
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + Quoted(), &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + Quoted() + " (id INT PRIMARY KEY, t VARCHAR(20), n INT)", &err)) << err;
    for (int i = 1; i <= kRows; ++i) {
      // Every third n NULL; texts with the quote, the backslash, and an empty one.
      const std::string t = i % 7 == 0 ? "" : "r''" + std::to_string(i * 37 % 101) + "\\\\x";
      const std::string n = i % 3 == 0 ? "NULL" : std::to_string(i * 1000 - 7);
      ASSERT_TRUE(m_raw.exec("INSERT INTO " + Quoted() + " VALUES (" + std::to_string(kRows + 1 - i) + ", '" + t +
                                 "', " + n + ")",
                             &err))
          << err;
    }
    ASSERT_TRUE(m_raw.query("SELECT id, t, n FROM " + Quoted() + " ORDER BY id", &m_rows, &err)) << err;
    m_wtable = Wide(m_table);
    m_desc.m_pszName = m_desc.m_pszPhysicalName = m_desc.m_pszDBTableName = m_wtable.c_str();
    m_desc.Add(&m_items.emplace_back(L"id", NA_IT_I4, 4));
    m_items.back().m_wKeyFlags = 0x8000;
    m_desc.Add(&m_items.emplace_back(L"t", NA_IT_TEXTE, 21));
    m_desc.Add(&m_items.emplace_back(L"n", NA_IT_I4, 4));
    // A file of the host's own has no query source.
    for (CHostItemDescription& item : m_items) item.m_pszNameInSource = L"";
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
    m_raw.exec("DROP TABLE IF EXISTS " + Quoted(), &err);
  }
  std::string Quoted() const {
    std::string q = "`";
    for (char c : m_table) q += c == '`' ? std::string("``") : std::string(1, c);
    return q + "`";
  }
  // A connection description of the test server; extra goes into the extended information.
  CHostConnectionDescription* Host(const std::string& extra = "", const wchar_t* password = nullptr,
                                   const std::string& database = "") {
    CHostConnectionDescription& host = m_hosts.emplace_back();
    const std::wstring& info = m_texts.emplace_back(Wide("Server Port=" + std::to_string(m_server.port) +
                                                         ";Initial Catalog=" +
                                                         (database.empty() ? m_server.database : database) + extra));
    host.m_pszUser = m_user.c_str();
    host.m_pszPassword = password != nullptr ? password : m_password.c_str();
    host.m_pszDataSource = m_source.c_str();
    host.m_pszExtendedInfo = info.c_str();
    host.m_llCacheSize = -2;  // the driver's blocks unless the extended information says
    return &host;
  }
  INATable* Table(CHostConnectionDescription* host) {
    INATable* t = m_loader.piGetTable(host, &m_desc);
    if (t != nullptr) m_tabHeld.push_back(t);
    return t;
  }
  // The host's bytes of a raw row, laid out independently of the driver: a defined I4 is its four
  // little-endian bytes, a TEXTE its ANSI bytes zero-filled to its size.
  static CHostRow Expected(const RawRow& raw) {
    CHostRow row(3);
    auto integer = [](const RawCell& c, CHostItemValue* v) {
      v->tabBytes.assign(4, 0);
      if (!c) return;
      v->bDefined = true;
      const int32_t n = std::stoi(*c);
      memcpy(v->tabBytes.data(), &n, 4);
    };
    integer(raw[0], &row[0]);
    integer(raw[2], &row[2]);
    row[1].tabBytes.assign(21, 0);
    if (raw[1]) {
      row[1].bDefined = true;
      memcpy(row[1].tabBytes.data(), raw[1]->data(), raw[1]->size());
    }
    return row;
  }
  // The host's view: NULL items compared by their flag only.
  static CHostRow Seen(CHostRow row) {
    for (CHostItemValue& v : row)
      if (!v.bDefined) std::fill(v.tabBytes.begin(), v.tabBytes.end(), 0);
    return row;
  }
  BOOL Read(INATable* t, INAContext* ctx, eNA_PARSEDIRECTION dir) {
    return t->bHLitxxx(ctx, L"id", dir, 1, eNA_LOCKTYPE{0}, nullptr, 0);
  }
  // The whole table next from first then previous from last, each record checked against the raw
  // rows; the failures are returned as text (threads report them back). A read past the end
  // succeeds and leaves the file out of range.
  std::string Browse(INATable* t, INAContext* ctx) {
    std::string failures;
    for (bool forward : {true, false}) {
      const int step = forward ? 1 : -1;
      int at = forward ? 0 : kRows - 1;
      for (eNA_PARSEDIRECTION dir = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;;
           dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, at += step) {
        int out = 0;
        if (!Read(t, ctx, dir) || !t->bHEnDehors(ctx, L"id", &out)) {
          failures += "read " + std::to_string(at) + " failed; ";
          if (getenv("QX_SHOW") != nullptr) for (const wchar_t* p = t->piGetLastError(ctx)->pszGetError(); *p; ++p) fputc(*p < 128 ? int(*p) : 63, stderr);
          break;
        }
        if (out != 0) break;
        CHostRow row;
        if (at < 0 || at >= kRows || !m_loader.bGetRecord(t, ctx, m_desc, &row)) {
          failures += "record " + std::to_string(at) + " not readable; ";
          break;
        }
        if (Seen(row) != Expected(m_rows[static_cast<size_t>(at)])) failures += "row " + std::to_string(at) + "; ";
      }
      if (at != (forward ? kRows : -1)) failures += "stopped at " + std::to_string(at) + "; ";
    }
    return failures;
  }

  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_raw{m_lib};
  RawRows m_rows;
  std::string m_table;
  std::wstring m_wtable, m_user, m_password, m_source;
  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_desc;
  std::deque<CHostConnectionDescription> m_hosts;
  std::deque<std::wstring> m_texts;
  CHostLoader m_loader;
  INADriver* m_driver = nullptr;
  std::vector<INATable*> m_tabHeld;
  // Never used by a file: through it the host reads a table's own error.
  CHostContext m_noContext{0xFFFF0000u, 1};
};

TEST_F(LoadedTable, BrowsesBothWaysAndEveryRecordIsTheRawRow) {
  // The default blocks of 100, blocks of 15, the whole result; row cache on and off.
  for (const char* extra : {"", ";QX Cache Size=15", ";QX Cache Size=-1"}) {
    CHostConnectionDescription* host = Host(extra);
    ASSERT_TRUE(m_loader.bOpenConnection(host)) << m_driver->piGetLastError()->pszGetError();
    INATable* t = Table(host);
    ASSERT_NE(t, nullptr);
    CHostContext ctx(1, 1);
    ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << t->piGetLastError(&ctx)->pszGetError();
    EXPECT_TRUE(t->bIsOpened(&ctx));
    EXPECT_EQ(Browse(t, &ctx), "") << extra;
    EXPECT_TRUE(t->bHFerme(&ctx));
    EXPECT_FALSE(t->bIsOpened(&ctx));
    EXPECT_TRUE(m_driver->bCloseConnection(host));
  }
}

TEST_F(LoadedTable, RecordsGoBackOnlyIntoTheirOwnLayout) {
  CHostConnectionDescription* host = Host();
  INATable* t = Table(host);
  CHostContext ctx(2, 1);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << t->piGetLastError(&ctx)->pszGetError();
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << t->piGetLastError(&ctx)->pszGetError();
  CHostRow before;
  ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &before));
  // A record of another layout is refused whole.
  CHostRecordDescription otherDesc;
  CHostItemDescription wide(L"w", NA_IT_TEXTE, 64);
  otherDesc.Add(&wide);
  CNAKJRecord* other = new CNAKJRecord();
  ASSERT_TRUE(other->bInit(&otherDesc, NA_INIT_EMPTY));
  memset(other->pbyGetValues(), 'Z', 64);
  EXPECT_FALSE(m_loader.bSetRecord(t, &ctx, other));
  CHostRow after;
  ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &after));
  EXPECT_EQ(after, before);
  // Its own record, changed, is taken.
  CNAKJRecord* own = nullptr;
  ASSERT_TRUE(t->bGetRecord(&ctx, &own));
  memcpy(own->pbyGetValues() + 4, "changed", 8);
  EXPECT_TRUE(m_loader.bSetRecord(t, &ctx, own));
  own->vnRelease();
  ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &after));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(after[1].tabBytes.data())), "changed");
  EXPECT_TRUE(t->bHFerme(&ctx));
}

TEST_F(LoadedTable, BadInputLeavesTheHostAnErrorAndNoOpenFile) {
  CHostConnectionDescription* host = Host();
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  CHostContext ctx(3, 1);
  // An unknown table: error 15 at level 2 for the context, nothing left open.
  CHostRecordDescription missing;
  CHostItemDescription id(L"id", NA_IT_I4, 4);
  missing.Add(&id);
  missing.m_pszName = missing.m_pszPhysicalName = missing.m_pszDBTableName = L"qx_no_such_table";
  INATable* unknown = m_loader.piGetTable(host, &missing);
  EXPECT_FALSE(unknown->bHOuvre(&ctx, kReadWrite, nullptr));
  // The missing file's text (that of user error 15) over the server's report.
  const std::wstring message = unknown->piGetLastError(&ctx)->pszGetError();
  EXPECT_NE(message.find(L"Le fichier <qx_no_such_table> est introuvable"), std::wstring::npos);
  EXPECT_EQ(unknown->piGetLastError(&ctx)->eGetErrorLevel(), 2);
  EXPECT_FALSE(Read(unknown, &ctx, NA_PARSE_FIRST));
  EXPECT_EQ(TopCode(unknown->piGetLastError(&m_noContext)), 19u);
  EXPECT_EQ(unknown->nExternalRelease(), 0);
  // A wrong password: the connection's refusal, no open file.
  CHostConnectionDescription* wrong = Host("", L"not the password");
  INATable* refused = Table(wrong);
  CHostContext other(4, 1);
  EXPECT_FALSE(refused->bHOuvre(&other, kReadWrite, nullptr));
  EXPECT_EQ(TopCode(refused->piGetLastError(&other)), 79u);
  EXPECT_NE(std::wstring(refused->piGetLastError(&other)->pszGetError()).find(L"1045"), std::wstring::npos);
  EXPECT_FALSE(refused->bIsOpened(&other));
  // An unknown item: 6, the browse of the file goes on. Calls after the close: 19.
  INATable* t = Table(host);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr));
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST));
  EXPECT_FALSE(t->bHLitxxx(&ctx, L"no_such_item", NA_PARSE_FIRST, 1, eNA_LOCKTYPE{0}, nullptr, 0));
  EXPECT_EQ(TopCode(t->piGetLastError(&ctx)), 6u);
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_NEXT));
  CHostRow row;
  ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &row));
  EXPECT_EQ(Seen(row), Expected(m_rows[1]));
  EXPECT_TRUE(t->bHFerme(&ctx));
  EXPECT_FALSE(Read(t, &ctx, NA_PARSE_NEXT));
  EXPECT_EQ(TopCode(t->piGetLastError(&m_noContext)), 19u);
  EXPECT_TRUE(m_driver->bCloseConnection(host));
}

TEST_F(LoadedTable, ConnectionNamingAnotherClientLibraryIsRefused) {
  // The process has loaded its client library with the first connection.
  ASSERT_TRUE(m_loader.bOpenConnection(Host()));
  const struct {
    const char* library;
    unsigned int error;
  } rows[] = {
      {";QX CLIENT LIBRARY=libqx_other_client.so", 74},
      {";QX CLIENT LIBRARY=/nowhere/libmysqlclient.so", 74},
      {";QX CLIENT LIBRARY=libmysqlclient.so", 0},  // the loaded one by its file name
  };
  for (const auto& row : rows) {
    CHostConnectionDescription* host = Host(row.library);
    EXPECT_EQ(m_loader.bOpenConnection(host), row.error == 0) << row.library;
    EXPECT_EQ(TopCode(m_driver->piGetLastError()), row.error) << row.library;
    INATable* t = Table(host);
    CHostContext ctx(7, 1);
    EXPECT_EQ(t->bHOuvre(&ctx, kReadWrite, nullptr), row.error == 0) << row.library;
    t->bHFerme(&ctx);
  }
}

TEST_F(LoadedTable, ClosedContextsAndTablesGivenBackWithFilesOpen) {
  CHostConnectionDescription* host = Host();
  INATable* t = Table(host);
  CHostContext ctx(5, 1);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr));
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST));
  EXPECT_TRUE(m_driver->bCloseContext(&ctx));
  EXPECT_FALSE(Read(t, &ctx, NA_PARSE_NEXT));
  EXPECT_EQ(TopCode(t->piGetLastError(&m_noContext)), 19u);
  // Given back with a file open and got again, the file reads on.
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr));
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST));
  EXPECT_EQ(t->nExternalRelease(), 0);
  m_tabHeld.clear();
  INATable* again = Table(host);
  ASSERT_TRUE(Read(again, &ctx, NA_PARSE_NEXT));
  CHostRow row;
  ASSERT_TRUE(m_loader.bGetRecord(again, &ctx, m_desc, &row));
  EXPECT_EQ(Seen(row), Expected(m_rows[1]));
  EXPECT_TRUE(again->bHFerme(&ctx));
}

TEST_F(LoadedTable, FourThreadsBrowseOneTableInTheirOwnContexts) {
  CHostConnectionDescription* host = Host(";QX Cache Size=15");
  INATable* t = Table(host);
  std::string failures[4];
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      CHostContext ctx(100 + static_cast<DWORD>(i), 1);
      if (!t->bHOuvre(&ctx, kReadWrite, nullptr)) {
        failures[i] = "not opened";
        return;
      }
      for (int round = 0; round < 3; ++round) failures[i] += Browse(t, &ctx);
      if (!t->bHFerme(&ctx)) failures[i] += "not closed";
      m_driver->bCloseContext(&ctx);
    });
  }
  for (std::thread& th : threads) th.join();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(failures[i], "") << "thread " << i;
}

TEST_F(LoadedTable, AKilledConnectionFailsTheNextBlockOnceAndLeavesTheRecordAsItWas) {
  // A database of the test's own tells the driver's connection apart on the server.
  const std::string db = m_server.database + "_k" + std::to_string(getpid());
  const std::string copy = "`" + db + "`." + Quoted();
  std::string err;
  ASSERT_TRUE(m_raw.exec("CREATE DATABASE IF NOT EXISTS `" + db + "`", &err)) << err;
  ASSERT_TRUE(m_raw.exec("CREATE TABLE " + copy + " LIKE " + Quoted(), &err)) << err;
  ASSERT_TRUE(m_raw.exec("INSERT INTO " + copy + " SELECT * FROM " + Quoted(), &err)) << err;
  CHostConnectionDescription* host = Host(";QX Cache Size=15", nullptr, db);
  INATable* t = Table(host);
  CHostContext ctx(6, 1);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << t->piGetLastError(&ctx)->pszGetError();
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST));
  for (int i = 1; i < 10; ++i) ASSERT_TRUE(Read(t, &ctx, NA_PARSE_NEXT));
  RawRows ids;
  ASSERT_TRUE(m_raw.query("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = '" + db + "'", &ids, &err)) << err;
  ASSERT_EQ(ids.size(), 1u);
  ASSERT_TRUE(m_raw.exec("KILL " + *ids[0][0], &err)) << err;
  // The rest of the block is on the client.
  CHostRow row;
  for (int at = 10; at < 15; ++at) {
    ASSERT_TRUE(Read(t, &ctx, NA_PARSE_NEXT)) << at;
    ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &row));
    EXPECT_EQ(Seen(row), Expected(m_rows[static_cast<size_t>(at)])) << at;
  }
  EXPECT_FALSE(Read(t, &ctx, NA_PARSE_NEXT));
  const std::wstring message = t->piGetLastError(&ctx)->pszGetError();
  EXPECT_TRUE(message.find(L"2013") != std::wstring::npos || message.find(L"2006") != std::wstring::npos);
  CHostRow after;
  ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &after));
  EXPECT_EQ(after, row);
  // The failed read reopened the session: the next goes on from the record, then to the end.
  for (const auto& [dir, at] : {std::pair{NA_PARSE_NEXT, size_t{15}}, {NA_PARSE_NEXT, size_t{16}},
                                {NA_PARSE_LAST, m_rows.size() - 1}}) {
    ASSERT_TRUE(Read(t, &ctx, dir)) << at;
    ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &row));
    EXPECT_EQ(Seen(row), Expected(m_rows[at])) << at;
  }
  EXPECT_TRUE(t->bHFerme(&ctx));
  m_raw.exec("DROP DATABASE `" + db + "`", &err);
}

}  // namespace

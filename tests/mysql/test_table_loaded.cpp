// The host's main road through the loaded driver against the private server: a connection, a
// table whose name needs backquotes, opened, browsed both ways and closed, each record read at
// the host's own offsets and compared with the row a raw connection reads; what the host meets
// on bad input; contexts closed and tables given back with files open; four host threads each
// browsing the table in a context of its own. Every run ends with no host string block alive.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "access/inatable.h"
#include "access/natable.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "platform/xerror.h"
#include "sql/nakjrecord.h"
#include "values/any.h"
#include "tests/support/hostconnections.h"
#include "tests/support/rawmysql.h"

namespace {

constexpr eNA_ACCESS kReadWrite{0};
constexpr int kRows = 45;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

unsigned int TopCode(INAError* e) { return e->pclGetXError()->nGetUserErrorCode(); }

std::string Narrow(const wchar_t* w) {
  std::string s;
  for (; w != nullptr && *w; ++w) s += *w < 128 ? static_cast<char>(*w) : '?';
  return s;
}

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
    DescribeIdTextNumber(&m_desc, &m_items, m_wtable.c_str());
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
    return m_connections.Add(m_server, extra, password, database);
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

  // Item i of ctx's current record takes bytes, zero-filled to its size (null: NULL), as the host
  // writes its record.
  BOOL SetItem(INATable* t, INAContext* ctx, size_t i, const void* bytes, size_t size) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return FALSE;
    BYTE* at = record->pbyGetValues() + m_items[i].nGetOffset(0);
    memset(at, 0, m_items[i].nGetTotalSize());
    if (bytes != nullptr) memcpy(at, bytes, std::min<size_t>(size, m_items[i].nGetTotalSize()));
    record->vSetItemValueDefined(&m_items[i], bytes != nullptr ? TRUE : FALSE, 0);
    const BOOL ok = m_loader.bSetRecord(t, ctx, record);
    record->vnRelease();
    return ok;
  }
  BOOL SetI4(INATable* t, INAContext* ctx, size_t i, int32_t v) { return SetItem(t, ctx, i, &v, 4); }
  // The rows the server holds under where.
  size_t Count(const std::string& where) {
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_raw.query("SELECT id FROM " + Quoted() + " WHERE " + where, &rows, &err)) << err;
    return rows.size();
  }
  // How many tables of the fixture's name the server holds.
  size_t Tables() {
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_raw.query("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" +
                                m_server.database + "' AND TABLE_NAME = '" + m_table + "'",
                            &rows, &err))
        << err;
    return rows.size();
  }
  // "" when ctx's current record is the raw row at, else what differs.
  std::string RecordIs(INATable* t, INAContext* ctx, size_t at) {
    CHostRow row;
    if (!m_loader.bGetRecord(t, ctx, m_desc, &row)) return "no record";
    return Seen(row) == Expected(m_rows[at]) ? "" : "not row " + std::to_string(at);
  }

  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_raw{m_lib};
  RawRows m_rows;
  std::string m_table;
  std::wstring m_wtable;
  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_desc;
  CTestHostConnections m_connections;
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

// A last read that may reuse the open result of n runs the SELECT again when it asks for the
// default item (no order of its own on a table): the server's own order then gives its last row.
// Asked in n's order again, the result serves it.
TEST_F(LoadedTable, ReuseAcrossTheDefaultItemReadsInTheOrderAsked) {
  CHostConnectionDescription* host = Host(";QX Cache Size=-1");
  ASSERT_TRUE(m_loader.bOpenConnection(host)) << m_driver->piGetLastError()->pszGetError();
  INATable* t = Table(host);
  ASSERT_NE(t, nullptr);
  CHostContext ctx(1, 1);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << t->piGetLastError(&ctx)->pszGetError();
  RawRows byN, unordered;
  std::string err;
  ASSERT_TRUE(m_raw.query("SELECT id FROM " + Quoted() + " ORDER BY n, id", &byN, &err)) << err;
  ASSERT_TRUE(m_raw.query("SELECT id, t, n FROM " + Quoted(), &unordered, &err)) << err;
  auto rowOf = [&](const RawRows& rows) { return static_cast<size_t>(std::stoi(*rows.back()[0]) - 1); };
  const unsigned int reuse = 0x2000, defaultItem = 0x20000;
  const struct {
    unsigned int flags;
    size_t row;
  } rows[] = {{0, rowOf(byN)}, {reuse | defaultItem, rowOf(unordered)}, {reuse, rowOf(byN)}};
  ASSERT_NE(rowOf(byN), rowOf(unordered));
  for (const auto& row : rows) {
    EXPECT_TRUE(t->bHLitxxx(&ctx, L"n", NA_PARSE_LAST, 1, eNA_LOCKTYPE{0}, nullptr, row.flags))
        << Narrow(t->piGetLastError(&ctx)->pszGetError());
    EXPECT_EQ(RecordIs(t, &ctx, row.row), "") << row.flags;
  }
  EXPECT_TRUE(t->bHFerme(&ctx));
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

// The host's writes through the table: the record it fills is the row the server holds; a
// duplicate is refused with its kind and item, and leaves the table as it was.
TEST_F(LoadedTable, WritesThroughTheTableAreTheRecordTheHostFilled) {
  CHostConnectionDescription* host = Host();
  INATable* t = Table(host);
  CHostContext ctx(5, 1);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << t->piGetLastError(&ctx)->pszGetError();
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << t->piGetLastError(&ctx)->pszGetError();
  auto row = [&](int id) {
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_raw.query("SELECT CONCAT_WS('|', id, HEX(t), IFNULL(n, 'NULL')) FROM " + Quoted() +
                                " WHERE id = " + std::to_string(id),
                            &rows, &err))
        << err;
    return rows.empty() ? std::string("none") : rows[0][0].value_or("NULL");
  };
  auto fill = [&](int id, const char* text, int n) {
    CNAKJRecord* own = nullptr;
    ASSERT_TRUE(t->bGetRecord(&ctx, &own));
    char bytes[21] = {};
    memcpy(bytes, text, strlen(text));
    own->vSetItemValue(&m_items[0], &id, 4, 0);
    own->vSetItemValue(&m_items[1], bytes, 21, 0);
    own->vSetItemValue(&m_items[2], &n, 4, 0);
    for (CHostItemDescription& item : m_items) own->vSetItemValueDefined(&item, TRUE, 0);
    EXPECT_TRUE(m_loader.bSetRecord(t, &ctx, own));
    own->vnRelease();
  };
  struct Step {
    const char* what;
    char op;  // 'a' add, 'm' modify, 'd' delete
    int id;
    const char* text;
    int n;
    bool ok;
    std::string row;  // the row of id afterwards
  } steps[] = {
      {"add", 'a', 100, "it's \\ new", 7, true, "100|69742773205C206E6577|7"},
      {"duplicate add", 'a', 100, "other", 8, false, "100|69742773205C206E6577|7"},
      {"modify", 'm', 100, "changed", 9, true, "100|6368616E676564|9"},
      {"delete", 'd', 100, "", 0, true, "none"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.op != 'd') fill(s.id, s.text, s.n);
    const BOOL ok = s.op == 'a'   ? t->bHAjoute(&ctx, 0, eNA_LOCKTYPE{0})
                    : s.op == 'm' ? t->bHModifie(&ctx, 0, 0, eNA_LOCKTYPE{0})
                                  : t->bHSupprime(&ctx, 0, eNA_LOCKTYPE{0});
    EXPECT_EQ(ok, s.ok) << t->piGetLastError(&ctx)->pszGetError();
    if (!s.ok) {
      EXPECT_EQ(static_cast<int>(t->piGetLastError(&ctx)->eGetErrorType()), 3);
      ASSERT_NE(t->piGetLastError(&ctx)->pszGetItemName(), nullptr);
      EXPECT_EQ(std::wstring(t->piGetLastError(&ctx)->pszGetItemName()), L"id");
      // The host's record is the one it filled.
      CHostRow after;
      ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &after));
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(after[1].tabBytes.data())), s.text);
    }
    EXPECT_EQ(row(s.id), s.row);
  }
  EXPECT_TRUE(t->bHFerme(&ctx));
}

// A key change right after an open and an add, through the table on a description with no best
// browse item: the next read on the new item goes on from the added record.
TEST_F(LoadedTable, KeyChangeRightAfterAnAddGoesOnFromTheAddedRecord) {
  const std::string name = "qx_keys_" + std::to_string(getpid()), quoted = name;
  std::string err;
  ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + quoted, &err)) << err;
  ASSERT_TRUE(m_raw.exec("CREATE TABLE " + quoted + " (id INT PRIMARY KEY, n INT NOT NULL, KEY(n))", &err)) << err;
  ASSERT_TRUE(m_raw.exec("INSERT INTO " + quoted + " VALUES (1,30),(2,10),(3,20)", &err)) << err;
  const std::wstring wname = Wide(name);
  std::deque<CHostItemDescription> items;
  CHostRecordDescription desc;
  desc.m_pszName = desc.m_pszPhysicalName = desc.m_pszDBTableName = wname.c_str();
  desc.Add(&items.emplace_back(L"id", NA_IT_I4, 4));
  items.back().m_wKeyFlags = 0x8000;
  desc.Add(&items.emplace_back(L"n", NA_IT_I4, 4));
  items.back().m_wKeyFlags = 0x2000;
  for (CHostItemDescription& item : items) item.m_pszNameInSource = L"";
  INATable* t = m_loader.piGetTable(Host(), &desc);
  ASSERT_NE(t, nullptr);
  // The table holds the description, which goes at the end of the test: given back before it,
  // whatever fails.
  const struct Given {
    INATable* t;
    ~Given() { EXPECT_EQ(t->nExternalRelease(), 0); }
  } given{t};
  const struct {
    int id, n;  // added
    const wchar_t* item;
    eNA_PARSEDIRECTION dir;
    int read;  // the id read after the key change; 0 out of the data
  } rows[] = {
      {4, 15, L"n", NA_PARSE_NEXT, 3},
      {5, 25, L"n", NA_PARSE_PREVIOUS, 3},
      {6, 35, L"id", NA_PARSE_PREVIOUS, 5},
      {7, 1, L"n", NA_PARSE_PREVIOUS, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.id);
    CHostContext ctx(20 + r.id, 1);
    ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
    CNAKJRecord* own = nullptr;
    ASSERT_TRUE(t->bGetRecord(&ctx, &own));
    own->vSetItemValue(&items[0], &r.id, 4, 0);
    own->vSetItemValue(&items[1], &r.n, 4, 0);
    EXPECT_TRUE(m_loader.bSetRecord(t, &ctx, own));
    own->vnRelease();
    ASSERT_TRUE(t->bHAjoute(&ctx, 0, eNA_LOCKTYPE{0})) << Narrow(t->piGetLastError(&ctx)->pszGetError());
    EXPECT_TRUE(t->bHChangeCle(&ctx, r.item, 0)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
    ASSERT_TRUE(t->bHLitxxx(&ctx, r.item, r.dir, 1, eNA_LOCKTYPE{0}, nullptr, 0))
        << Narrow(t->piGetLastError(&ctx)->pszGetError());
    int out = 0;
    ASSERT_TRUE(t->bHEnDehors(&ctx, r.item, &out));
    CHostRow row;
    ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, desc, &row));
    int32_t id = 0;
    memcpy(&id, row[0].tabBytes.data(), 4);
    EXPECT_EQ(out ? 0 : id, r.read);
    EXPECT_TRUE(t->bHFerme(&ctx));
    m_driver->bCloseContext(&ctx);
  }
  m_raw.exec("DROP TABLE " + quoted, &err);
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
  const size_t last = m_rows.size() - 1;
  // From one end, the way on, the other end; rows are counted from the starting end.
  const struct {
    eNA_PARSEDIRECTION eFrom, eOn, eTo;
  } ways[] = {{NA_PARSE_FIRST, NA_PARSE_NEXT, NA_PARSE_LAST}, {NA_PARSE_LAST, NA_PARSE_PREVIOUS, NA_PARSE_FIRST}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.eOn);
    const auto rowAt = [&](size_t n) { return way.eFrom == NA_PARSE_FIRST ? n : last - n; };
    ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << t->piGetLastError(&ctx)->pszGetError();
    ASSERT_TRUE(Read(t, &ctx, way.eFrom));
    for (int i = 1; i < 10; ++i) ASSERT_TRUE(Read(t, &ctx, way.eOn));
    RawRows ids;
    // The session the first way killed may still be listed while it ends.
    ASSERT_TRUE(m_raw.query("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = '" + db +
                                "' AND ID <> CONNECTION_ID() AND COMMAND <> 'Killed'",
                            &ids, &err))
        << err;
    ASSERT_EQ(ids.size(), 1u);
    ASSERT_TRUE(m_raw.exec("KILL " + *ids[0][0], &err)) << err;
    // The rest of the block is on the client.
    CHostRow row;
    for (size_t at = 10; at < 15; ++at) {
      ASSERT_TRUE(Read(t, &ctx, way.eOn)) << at;
      ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &row));
      EXPECT_EQ(Seen(row), Expected(m_rows[rowAt(at)])) << at;
    }
    EXPECT_FALSE(Read(t, &ctx, way.eOn));
    const std::wstring message = t->piGetLastError(&ctx)->pszGetError();
    EXPECT_TRUE(message.find(L"2013") != std::wstring::npos || message.find(L"2006") != std::wstring::npos);
    CHostRow after;
    ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &after));
    EXPECT_EQ(after, row);
    // The failed read reopened the session: the next goes on from the record, then to the end.
    for (const auto& [dir, at] : {std::pair{way.eOn, rowAt(15)}, {way.eOn, rowAt(16)}, {way.eTo, rowAt(last)}}) {
      ASSERT_TRUE(Read(t, &ctx, dir)) << at;
      ASSERT_TRUE(m_loader.bGetRecord(t, &ctx, m_desc, &row));
      EXPECT_EQ(Seen(row), Expected(m_rows[at])) << at;
    }
    EXPECT_TRUE(t->bHFerme(&ctx));
  }
  m_raw.exec("DROP DATABASE `" + db + "`", &err);
}

TEST_F(LoadedTable, EverySlotReachesTheFileOfTheContext) {
  CHostConnectionDescription* host = Host(";QX Cache Size=15");
  INATable* t = Table(host);
  ASSERT_NE(t, nullptr);
  CHostContext ctx(20, 1), elsewhere(21, 1);
  ASSERT_TRUE(t->bHOuvre(&ctx, kReadWrite, nullptr)) << t->piGetLastError(&ctx)->pszGetError();
  const eNA_LOCKTYPE none{0};
  auto Is = [](long long got, long long want) {
    EXPECT_EQ(got, want);
    return got == want;
  };
  eNA_LOCKTYPE lockOut{0};
  int n = 0, n2 = 0, saved = -1, saved2 = -1;
  unsigned int state = 0;
  long long count = 0;
  wchar_t item[255] = L"";
  CNAKJRecord* record = nullptr;
  CAny value, ten, five, seven;
  ten.SetI4(10);
  five.SetI4(5);
  seven.SetI4(7);
  // Each row runs on the file as the rows before it left it. error: the host's top user code
  // afterwards (0: none), read for ctx, or the table's own for the calls without a file (mine
  // false). at: the raw row the record then is (-1: not looked at).
  struct Row {
    const char* slot;
    std::function<BOOL()> call;
    BOOL answer;
    unsigned int error;
    int at = -1;
    bool mine = true;
    // When set: the error's type, and the code of its first sub-error.
    int type = -1;
    unsigned int sub = 0;
  } rows[] = {
      {"nGetVersion", [&] { return t->nGetVersion() == 11 && t->nGetCompatSince() == 8; }, TRUE, 0},
      {"ExternalAddRef and nExternalRelease",
       [&] { return t->ExternalAddRef() == t && t->ExternalAddRef() == t && Is(t->nExternalRelease(), 2) &&
                    Is(t->nExternalRelease(), 1); },
       TRUE, 0},
      {"piGetDataSourceDescription",
       [&] {
         INADataSourceDescription* d = t->piGetDataSourceDescription();
         const bool same = d == &m_desc;
         if (d != nullptr) d->nExternalRelease();
         return BOOL(same);
       },
       TRUE, 0},
      {"bIsOpened", [&] { return t->bIsOpened(&ctx); }, TRUE, 0},
      {"bHOuvre again", [&] { return t->bHOuvre(&ctx, kReadWrite, nullptr); }, TRUE, 0},
      {"bHCreationSiInexistant on the table there", [&] { return t->bHCreationSiInexistant(&ctx, kReadWrite, nullptr); },
       TRUE, 0},
      {"bHVersion", [&] { return t->bHVersion(&ctx, &n) && n == 0; }, TRUE, 0},
      {"bHLitxxx first", [&] { return t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, none, &lockOut, 0); }, TRUE, 0, 0},
      {"bSkipRecord", [&] { return t->bSkipRecord(&ctx, L"id", NA_PARSE_NEXT, 3, 1, none, &lockOut, 0); }, TRUE, 0, 3},
      {"bHLit", [&] { return t->bHLit(&ctx, 0, none, &lockOut); }, TRUE, 0, 3},
      {"bHEnDehors", [&] { return t->bHEnDehors(&ctx, L"id", &n) && n == 0; }, TRUE, 0, 3},
      {"bEvalHTrouve", [&] { return t->bEvalHTrouve(&ctx, L"id", &n, &n2); }, TRUE, 0},
      {"bHSauvePosition", [&] { return t->bHSauvePosition(&ctx, L"id", &saved, 0) && saved > 0; }, TRUE, 0},
      {"bHRecherche", [&] { return t->bHRecherche(&ctx, L"id", &ten, 0, 1, none, &lockOut, 1, 0); }, TRUE, 0, 9},
      {"bHAnnuleRecherche", [&] { return t->bHAnnuleRecherche(&ctx, L"id"); }, TRUE, 0, 9},
      {"bHSauvePosition again", [&] { return t->bHSauvePosition(&ctx, L"id", &saved2, 0); }, TRUE, 0},
      {"bCompareTablePosition", [&] { return t->bCompareTablePosition(&ctx, saved, saved2, &n) && n == 0; }, TRUE, 0},
      {"bHRetourPosition", [&] { return t->bHRetourPosition(&ctx, saved, item, 1, 0) && item == std::wstring(L"id"); },
       TRUE, 0, 3},
      {"bHLiberePosition", [&] { return t->bHLiberePosition(&ctx, saved); }, TRUE, 0},
      {"bHRetourPosition freed", [&] { return t->bHRetourPosition(&ctx, saved, item, 1, 0); }, FALSE, 11},
      {"bHPositionCourante", [&] { return t->bHPositionCourante(&ctx, L"id", &n, eNA_PRECISION{0}, 0); }, TRUE, 0},
      {"bHPositionne", [&] { return t->bHPositionne(&ctx, L"id", 0, eNA_PRECISION{0}, 0); }, TRUE, 0, 0},
      {"bHFiltre by item", [&] { return t->bHFiltre(&ctx, L"id", &five, 1, &seven, 1, nullptr); }, TRUE, 0},
      {"bHLitxxx last under the filter", [&] { return t->bHLitxxx(&ctx, L"id", NA_PARSE_LAST, 1, none, nullptr, 0); },
       TRUE, 0, 6},
      {"bHNbEnr under the filter", [&] { return t->bHNbEnr(&ctx, &count, 16, 0x4000) && Is(count, 3); }, TRUE, 0},
      {"bHDesactiveFiltre", [&] { return t->bHDesactiveFiltre(&ctx, L"id", 0); }, TRUE, 0},
      {"bHActiveFiltre", [&] { return t->bHActiveFiltre(&ctx, L"id", 0); }, TRUE, 0},
      {"bHDesactiveFiltre again", [&] { return t->bHDesactiveFiltre(&ctx, L"id", 0); }, TRUE, 0},
      {"bHFiltre by a parse it cannot place", [&] { return t->bHFiltre(&ctx, nullptr, item); }, FALSE, 17},
      {"bHNbEnr", [&] { return t->bHNbEnr(&ctx, &count, 16, 0) && Is(count, kRows); }, TRUE, 0},
      {"bNbEnrNeedParse", [&] { return t->bNbEnrNeedParse(&ctx, &n, L"id") && n == 0; }, TRUE, 0},
      {"llGetRecNum", [&] { return t->llGetRecNum(&ctx) == 0; }, TRUE, 0},
      {"bGetRecNumState", [&] { return t->bGetRecNumState(&ctx, 0, &state); }, TRUE, 0},
      {"bHChangeCle", [&] { return t->bHChangeCle(&ctx, L"n", 0); }, TRUE, 0},
      {"bHLitxxx first by id", [&] { return t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, none, nullptr, 0); }, TRUE, 0,
       0},
      {"bGetRecord", [&] {
         const BOOL ok = t->bGetRecord(&ctx, &record) && record != nullptr;
         if (record != nullptr) record->vnRelease();
         return ok;
       }, TRUE, 0},
      {"bSetRecord of nothing", [&] { return t->bSetRecord(&ctx, nullptr); }, FALSE, 0, 0},
      {"bGetBLOB past the memos", [&] { return t->bGetBLOB(&ctx, 0, &value); }, FALSE, 26},
      {"bSetBLOB past the memos", [&] { return t->bSetBLOB(&ctx, 0, &value); }, FALSE, 26},
      {"bHAttacheMemo past the memos", [&] { return t->bHAttacheMemo(&ctx, 0, L"/nowhere"); }, FALSE, 26},
      {"bExtraitMemo past the memos", [&] { return t->bExtraitMemo(&ctx, 0, L"/nowhere"); }, FALSE, 26},
      {"bHConstruitValCle", [&] { return t->bHConstruitValCle(&ctx, &value, L"id", 0, nullptr); }, FALSE, 8},
      {"bSetNextOperation", [&] { return t->bSetNextOperation(&ctx, eNA_OPERATION{1}); }, TRUE, 0},
      {"bHBloqueFichier", [&] { return t->bHBloqueFichier(&ctx, none, &lockOut); }, FALSE, 8},
      {"bHDebloqueFichier", [&] { return t->bHDebloqueFichier(&ctx); }, TRUE, 0},
      {"bHBloqueNumEnr", [&] { return t->bHBloqueNumEnr(&ctx, 0, none, &lockOut); }, FALSE, 8},
      {"bHDebloqueNumEnr", [&] { return t->bHDebloqueNumEnr(&ctx, 0); }, TRUE, 0},
      {"bCalculateKeyValue alone", [&] { return t->bCalculateKeyValue(&ctx, L"id", nullptr, nullptr, nullptr, 0, 0); },
       FALSE, 8, -1, true, 7},
      {"bHRaye", [&] { return t->bHRaye(&ctx, 0, none); }, FALSE, 8},
      {"bHLibere", [&] { return t->bHLibere(&ctx); }, FALSE, 8},
      // These two reset no error: the refusal before them stays for the host to read.
      {"bHReindexe", [&] { return t->bHReindexe(&ctx, 0, nullptr); }, TRUE, 8},
      {"bHMode", [&] { return t->bHMode(&ctx, _eNA_HMODE{2}); }, TRUE, 8, 0},
      {"bFreeCache", [&] { return t->bFreeCache(&ctx); }, TRUE, 0},
      {"bTableVirtualMoveSupported", [&] { return t->bTableVirtualMoveSupported(); }, FALSE, 0},
      {"bTableVirtualMove", [&] { return t->bTableVirtualMove(&ctx, L"id", nullptr, 0, 0); }, FALSE, 0},
      // Writes: the record the host set, at record number 0.
      {"bHModifie",
       [&] { return SetI4(t, &ctx, 2, 424242) && t->bHModifie(&ctx, 0, 0, none) && Is(Count("n = 424242"), 1); },
       TRUE, 0},
      {"bHEcrit",
       [&] { return SetI4(t, &ctx, 2, 434343) && t->bHEcrit(&ctx, 0, 0, none) && Is(Count("n = 434343"), 1); }, TRUE,
       0},
      {"bHAjoute",
       [&] { return SetI4(t, &ctx, 0, 1000) && t->bHAjoute(&ctx, 0, none) && Is(Count("n = 434343"), 2); }, TRUE, 0},
      {"bHSupprime", [&] { return t->bHSupprime(&ctx, 0, none) && Is(Count("id = 1000"), 0); }, TRUE, 0},
      // The four refusals, on a table error left by a call without a file: 8 joins it.
      {"bHLitxxx elsewhere", [&] { return t->bHLitxxx(&elsewhere, L"id", NA_PARSE_FIRST, 1, none, nullptr, 0); }, FALSE,
       19, -1, false},
      {"bHInterditModif", [&] { return t->bHInterditModif(&ctx); }, FALSE, 19, -1, true, -1, 8},
      {"bHFinInterditModif", [&] { return t->bHFinInterditModif(&ctx); }, FALSE, 19},
      {"FreeMemory", [&] { return t->FreeMemory(&ctx, nullptr); }, FALSE, 19},
      {"bCalculateKeyValue", [&] { return t->bCalculateKeyValue(&ctx, L"id", nullptr, nullptr, nullptr, 0, 0); },
       FALSE, 19},
      // Null arguments: no context, 19 in the table's error; a null answer pointer, 4 for the file.
      {"bHLitxxx without a context", [&] { return t->bHLitxxx(nullptr, L"id", NA_PARSE_FIRST, 1, none, nullptr, 0); },
       FALSE, 19, -1, false},
      {"bHFerme without a context", [&] { return t->bHFerme(nullptr); }, FALSE, 19, -1, false},
      {"bIsOpened without a context", [&] { return t->bIsOpened(nullptr); }, FALSE, 19, -1, false},
      {"bHMode without a context", [&] { return t->bHMode(nullptr, _eNA_HMODE{1}); }, FALSE, 19, -1, false},
      {"bHReindexe without a context", [&] { return t->bHReindexe(nullptr, 0, nullptr); }, FALSE, 19, -1, false},
      {"bHOuvre without a context", [&] { return t->bHOuvre(nullptr, kReadWrite, nullptr); }, FALSE, 19, -1, false},
      {"llGetRecNum without a context", [&] { return BOOL(t->llGetRecNum(nullptr) != 0); }, FALSE, 19, -1, false},
      {"bHNbEnr into nothing", [&] { return t->bHNbEnr(&ctx, nullptr, 0, 0); }, FALSE, 4},
      {"bHSauvePosition into nothing", [&] { return t->bHSauvePosition(&ctx, L"id", nullptr, 0); }, FALSE, 4},
      {"bGetRecord into nothing", [&] { return t->bGetRecord(&ctx, nullptr); }, FALSE, 4},
      {"bHEnDehors into nothing", [&] { return t->bHEnDehors(&ctx, L"id", nullptr); }, FALSE, 4},
      {"bHVersion into nothing", [&] { return t->bHVersion(&ctx, nullptr); }, FALSE, 4},
      {"bNbEnrNeedParse into nothing", [&] { return t->bNbEnrNeedParse(&ctx, nullptr, L"id"); }, FALSE, 4},
      {"bGetRecNumState into nothing", [&] { return t->bGetRecNumState(&ctx, 0, nullptr); }, FALSE, 4},
      {"bHPositionCourante into nothing", [&] { return t->bHPositionCourante(&ctx, L"id", nullptr, eNA_PRECISION{0}, 0); },
       FALSE, 4},
      {"bCompareTablePosition into nothing", [&] { return t->bCompareTablePosition(&ctx, 1, 2, nullptr); }, FALSE, 4},
      {"bGetBLOB into nothing", [&] { return t->bGetBLOB(&ctx, 0, nullptr); }, FALSE, 4},
      {"bEvalHTrouve into nothing", [&] { return t->bEvalHTrouve(&ctx, L"id", nullptr, nullptr); }, FALSE, 4},
      {"bHFiltre into nothing", [&] { return t->bHFiltre(&ctx, nullptr, nullptr); }, FALSE, 4},
      {"bHLitxxx still reads", [&] { return t->bHLitxxx(&ctx, L"id", NA_PARSE_LAST, 1, none, nullptr, 0); }, TRUE, 0,
       kRows - 1},
      {"bSupprimeTout", [&] { return t->bSupprimeTout(&ctx) && Is(Count("TRUE"), 0); }, TRUE, 0},
      {"bIsOpened after deleting every row", [&] { return t->bIsOpened(&ctx); }, FALSE, 0},
      {"bHCreation after the close", [&] { return t->bHCreation(&ctx, nullptr) && Is(Count("TRUE"), 0); }, TRUE, 0},
      {"bHAjoute into the new table", [&] { return SetI4(t, &ctx, 0, 7) && t->bHAjoute(&ctx, 0, none); }, TRUE, 0},
      {"bHFerme", [&] { return t->bHFerme(&ctx); }, TRUE, 0},
      {"bIsOpened after the close", [&] { return t->bIsOpened(&ctx); }, FALSE, 0},
      {"bSupprimeFichier after the close", [&] { return static_cast<CNATable*>(t)->bSupprimeFichier(&ctx) && Is(Tables(), 0); }, TRUE,
       0},
      {"bHLitxxx after the deletion", [&] { return t->bHLitxxx(&ctx, L"id", NA_PARSE_FIRST, 1, none, nullptr, 0); },
       FALSE, 19, -1, false},
  };
  for (Row& row : rows) {
    EXPECT_EQ(row.call(), row.answer) << row.slot << ": " << Narrow(t->piGetLastError(&ctx)->pszGetError());
    INAError* error = t->piGetLastError(row.mine ? &ctx : nullptr);
    EXPECT_EQ(TopCode(error), row.error) << row.slot << ": " << Narrow(error->pszGetError());
    if (row.type >= 0) {
      EXPECT_EQ(static_cast<int>(error->eGetErrorType()), row.type) << row.slot;
    }
    if (row.sub != 0) {
      CXError* first = error->pclGetXError()->nGetNbSubError() > 0 ? error->pclGetXError()->pclGetSubError(0) : nullptr;
      EXPECT_EQ(first != nullptr ? first->nGetUserErrorCode() : 0u, row.sub) << row.slot;
    }
    if (row.at >= 0) {
      EXPECT_EQ(RecordIs(t, &ctx, static_cast<size_t>(row.at)), "") << row.slot;
    }
  }
}

TEST_F(LoadedTable, ACreatedFileIsFilledBrowsedSoughtFilteredCountedModifiedAndDeleted) {
  // The host's description creates the table: id and n may not be NULL.
  std::string err;
  ASSERT_TRUE(m_raw.exec("DROP TABLE " + Quoted(), &err)) << err;
  m_items[0].m_bNullAllowed = FALSE;
  m_items[2].m_bNullAllowed = FALSE;
  CHostConnectionDescription* host = Host(";QX Cache Size=15");
  INATable* t = Table(host);
  CHostContext ctx(30, 1);
  ASSERT_TRUE(t->bHCreation(&ctx, nullptr)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
  RawRows columns;
  ASSERT_TRUE(m_raw.query("SELECT COLUMN_NAME, IS_NULLABLE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = '" +
                              m_server.database + "' AND TABLE_NAME = '" + m_table + "' ORDER BY ORDINAL_POSITION",
                          &columns, &err))
      << err;
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(*columns[0][1] + *columns[1][1] + *columns[2][1], "NOYESNO");
  // Filled out of order: even ids, texts with a quote and a backslash, every fifth NULL.
  for (int i = kRows; i >= 1; --i) {
    const std::string text = "f'" + std::to_string(i) + "\\";
    ASSERT_TRUE(SetI4(t, &ctx, 0, i * 2) && SetItem(t, &ctx, 1, i % 5 == 0 ? nullptr : text.c_str(), text.size()) &&
                SetI4(t, &ctx, 2, i * 7));
    ASSERT_TRUE(t->bHAjoute(&ctx, 0, eNA_LOCKTYPE{0})) << i << ": " << Narrow(t->piGetLastError(&ctx)->pszGetError());
  }
  ASSERT_TRUE(m_raw.query("SELECT id, t, n FROM " + Quoted() + " ORDER BY id", &m_rows, &err)) << err;
  ASSERT_EQ(m_rows.size(), static_cast<size_t>(kRows));
  EXPECT_EQ(*m_rows[3][0] + "|" + m_rows[3][1].value_or("NULL") + "|" + *m_rows[3][2], "8|f'4\\|28");
  EXPECT_FALSE(m_rows[4][1].has_value());
  EXPECT_EQ(Browse(t, &ctx), "");
  // Seek id 20, then the next record.
  CAny sought, low, high;
  sought.SetI4(20);
  ASSERT_TRUE(t->bHRecherche(&ctx, L"id", &sought, 0, 1, eNA_LOCKTYPE{0}, nullptr, 1, 0));
  int found = 0;
  EXPECT_TRUE(t->bEvalHTrouve(&ctx, L"id", &found, nullptr) && found == 1);
  EXPECT_EQ(RecordIs(t, &ctx, 9), "");
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_NEXT));
  EXPECT_EQ(RecordIs(t, &ctx, 10), "");
  // Filter ids 10 to 20: first, last and the count under the filter; then all of them again.
  low.SetI4(10);
  high.SetI4(20);
  ASSERT_TRUE(t->bHFiltre(&ctx, L"id", &low, 1, &high, 1, nullptr));
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST));
  EXPECT_EQ(RecordIs(t, &ctx, 4), "");
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_LAST));
  EXPECT_EQ(RecordIs(t, &ctx, 9), "");
  long long count = 0;
  EXPECT_TRUE(t->bHNbEnr(&ctx, &count, 16, 0x4000));
  EXPECT_EQ(count, 6);
  ASSERT_TRUE(t->bHDesactiveFiltre(&ctx, L"id", 0));
  EXPECT_TRUE(t->bHNbEnr(&ctx, &count, 16, 0));
  EXPECT_EQ(count, kRows);
  // Modify id 30, then delete it.
  sought.SetI4(30);
  ASSERT_TRUE(t->bHRecherche(&ctx, L"id", &sought, 0, 1, eNA_LOCKTYPE{0}, nullptr, 1, 0));
  ASSERT_TRUE(SetI4(t, &ctx, 2, -1));
  ASSERT_TRUE(t->bHModifie(&ctx, 0, 0, eNA_LOCKTYPE{0})) << Narrow(t->piGetLastError(&ctx)->pszGetError());
  EXPECT_EQ(Count("id = 30 AND n = -1"), 1u);
  ASSERT_TRUE(t->bHSupprime(&ctx, 0, eNA_LOCKTYPE{0})) << Narrow(t->piGetLastError(&ctx)->pszGetError());
  EXPECT_EQ(Count("id = 30"), 0u);
  EXPECT_TRUE(t->bHNbEnr(&ctx, &count, 16, 0));
  EXPECT_EQ(count, kRows - 1);
  // Refused adds: a duplicate id (error type 3), a NULL where the column may not hold one (8).
  const struct {
    const char* what;
    int32_t id;
    bool nNull;
    int type;
  } refused[] = {{"duplicate", 2, false, 3}, {"NULL n", 999, true, 8}};
  for (const auto& r : refused) {
    ASSERT_TRUE(SetI4(t, &ctx, 0, r.id)) << r.what;
    int32_t n = 5;
    ASSERT_TRUE(SetItem(t, &ctx, 2, r.nNull ? nullptr : &n, 4)) << r.what;
    EXPECT_FALSE(t->bHAjoute(&ctx, 0, eNA_LOCKTYPE{0})) << r.what;
    EXPECT_EQ(static_cast<int>(t->piGetLastError(&ctx)->eGetErrorType()), r.type)
        << r.what << ": " << Narrow(t->piGetLastError(&ctx)->pszGetError());
  }
  EXPECT_EQ(Count("TRUE"), static_cast<size_t>(kRows - 1));
  EXPECT_TRUE(t->bHFerme(&ctx));
  // Released with the rest and the library ended: no host string block is left (TearDown).
}

}  // namespace

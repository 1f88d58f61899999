// What the fault, kill and restart tests share: the loaded driver with the fault client as its
// client library, a table of 50 rows rebuilt by a raw connection before each run, the host's
// description of it and its parse of a query of it, and the host's reads and writes of its
// records.
//
// The fault client (tests/mysql/fault_client.cpp) is opened by the bench before the driver
// loads it by the same path, so that both hold one instance; its controls are bound here.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "access/inatable.h"
#include "driver/inadatasourcedescription.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "host/host_sqlparser.h"
#include "sql/inaitemdescription.h"
#include "sql/nakjrecord.h"
#include "sql/naitemtype.h"
#include "tests/support/hostconnections.h"
#include "tests/support/rawmysql.h"

// The fault client's controls.
struct FaultClient {
  void (*arm)(long n, int after) = nullptr;
  long (*count)() = nullptr;
  int (*fired)() = nullptr;
  const char* (*call)(long n, int* sendsText) = nullptr;

  bool Bind(std::string* err) {
    void* h = dlopen(QX_FAULT_CLIENT, RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) return *err = dlerror(), false;
    arm = reinterpret_cast<decltype(arm)>(dlsym(h, "qxfault_arm"));
    count = reinterpret_cast<decltype(count)>(dlsym(h, "qxfault_count"));
    fired = reinterpret_cast<decltype(fired)>(dlsym(h, "qxfault_fired"));
    call = reinterpret_cast<decltype(call)>(dlsym(h, "qxfault_call"));
    if (arm && count && fired && call) return true;
    return *err = "the fault client lacks its controls", false;
  }
  // Name (and text head) of counted call n since the arm, "" past the count.
  std::string Call(long n, bool* sendsText = nullptr) const {
    int text = 0;
    const char* name = call(n, &text);
    if (sendsText != nullptr) *sendsText = text != 0;
    return name != nullptr ? name : "";
  }
};

inline std::wstring WideOf(const std::string& s) { return std::wstring(s.begin(), s.end()); }

inline std::string Narrow(const wchar_t* w) {
  std::string s;
  for (; w != nullptr && *w != 0; ++w) s += *w < 128 ? static_cast<char>(*w) : '?';
  return s;
}

// An error as "<user code>/<server code>": the first "Code d'erreur" of the text and its
// EIT_BASECODE (0 without one); "" for no error.
inline std::string Short(const wchar_t* text) {
  const std::string s = Narrow(text);
  auto number = [&](const std::string& key, const char* end) {
    const size_t at = s.find(key);
    if (at == std::string::npos) return std::string("0");
    const size_t from = at + key.size();
    return s.substr(from, s.find_first_of(end, from) - from);
  };
  if (s.empty()) return "";
  return number("Code d'erreur : ", "\r\n") + "/" + number("EIT_BASECODE : <", ">");
}

// One row of the table as the test knows it: id, t (NULL when absent), n (NULL when absent).
struct BenchRow {
  int id = 0;
  std::optional<std::string> t;
  std::optional<int> n;
  bool operator==(const BenchRow&) const = default;
};

class FaultBench : public testing::Test {
 protected:
  static constexpr int kRows = 50;
  static constexpr eNA_ACCESS kReadWrite{0};

  void SetUp() override {
    // The host ignores SIGPIPE: a write to a connection the server dropped fails, never kills.
    signal(SIGPIPE, SIG_IGN);
    if (!TestServer::fromEnv(&m_server)) GTEST_FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_fault.Bind(&err)) << err;
    m_fault.arm(0, 0);
    ASSERT_TRUE(m_lib.load(&err)) << err;
    ASSERT_TRUE(m_raw.connect(m_server, RawTransport::Tcp, &err)) << err;
    m_table = "qx_fault_" + std::to_string(getpid());
    m_wtable = WideOf(m_table);
    DescribeIdTextNumber(&m_desc, &m_items, m_wtable.c_str());
    m_user = WideOf(m_server.user);
    m_password = WideOf(m_server.password);
    m_driver = m_loader.piQueryInterface(&err);
    ASSERT_NE(m_driver, nullptr) << err;
  }
  void TearDown() override {
    if (m_driver != nullptr) {
      EXPECT_EQ(m_driver->nExternalRelease(), 0);
      EXPECT_TRUE(m_loader.Stop());
      EXPECT_EQ(m_loader.Control()->nLiveBlocks(), 0);
    }
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err);
  }

  // The rows every run starts from: texts with a quote and a backslash, every fourth n NULL.
  static BenchRow Initial(int id) {
    BenchRow r{id, "r'" + std::to_string(id) + "\\x", id * 10};
    if (id % 4 == 0) r.n.reset();
    return r;
  }
  static std::string Literal(const BenchRow& r) {
    std::string t = "NULL";
    if (r.t) {
      t = "'";
      for (char c : *r.t) t += c == '\'' ? std::string("''") : c == '\\' ? std::string("\\\\") : std::string(1, c);
      t += "'";
    }
    return "(" + std::to_string(r.id) + "," + t + "," + (r.n ? std::to_string(*r.n) : "NULL") + ")";
  }
  void Rebuild() {
    std::string err, values;
    for (int id = 1; id <= kRows; ++id) values += (id > 1 ? "," : "") + Literal(Initial(id));
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_table + " (id INT PRIMARY KEY, t VARCHAR(20), n INT) ENGINE=InnoDB",
                           &err))
        << err;
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_table + " VALUES " + values, &err)) << err;
  }
  // The rows a raw connection reads now, by id.
  std::vector<BenchRow> ServerRows() {
    RawRows rows;
    std::string err;
    std::vector<BenchRow> out;
    EXPECT_TRUE(m_raw.query("SELECT id, t, n FROM " + m_table + " ORDER BY id", &rows, &err)) << err;
    for (const RawRow& r : rows) {
      BenchRow b{std::stoi(*r[0]), r[1], std::nullopt};
      if (r[2]) b.n = std::stoi(*r[2]);
      out.push_back(b);
    }
    return out;
  }

  // A connection description of the test server through the fault client; socket: by the
  // server's Unix socket instead of TCP.
  CHostConnectionDescription* Host(const std::string& extra = "", const TestServer* server = nullptr,
                                   bool socket = false) {
    const TestServer& s = server != nullptr ? *server : m_server;
    CHostConnectionDescription& host = m_hosts.emplace_back();
    std::string info = "Initial Catalog=" + s.database + ";QX CLIENT LIBRARY=" + QX_FAULT_CLIENT + extra;
    info += socket ? ";Unix Socket=" + s.socket : ";Server Port=" + std::to_string(s.port);
    host.m_pszExtendedInfo = m_texts.emplace_back(WideOf(info)).c_str();
    host.m_pszUser = m_user.c_str();
    host.m_pszPassword = m_password.c_str();
    host.m_pszDataSource = m_texts.emplace_back(WideOf(socket ? "localhost" : s.host)).c_str();
    host.m_llCacheSize = -2;
    return &host;
  }

  // The host's query of the whole table, parsed by the host over its description of the table.
  ISQLParserInformation* Parse() {
    if (m_catalogue.Descriptions().empty()) {
      m_queryDesc.m_pszName = m_queryDesc.m_pszPhysicalName = m_queryDesc.m_pszDBTableName = m_wtable.c_str();
      for (size_t i = 0; i < 3; ++i) {
        CHostItemDescription& item = m_items.emplace_back(m_items[i]);
        item.m_pszNameInSource = item.pszGetName();
        item.m_pszSourceName = m_wtable.c_str();
        m_queryDesc.Add(&item);
      }
      m_catalogue.Add(&m_queryDesc);
    }
    m_querySQL = L"SELECT id, t, n FROM " + m_wtable + L" ORDER BY id";
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParse(m_querySQL.c_str(), m_catalogue, &error);
    EXPECT_NE(parse, nullptr) << Narrow(error.pszGet());
    return parse;
  }

  BOOL Read(INATable* t, INAContext* ctx, eNA_PARSEDIRECTION dir) {
    return t->bHLitxxx(ctx, L"id", dir, 1, eNA_LOCKTYPE{0}, nullptr, 0);
  }
  // The current record as a row, laid out as the file's own description says (a query's text
  // sent as written comes back in UTF-16); nullopt when the driver hands none.
  std::optional<BenchRow> Current(INATable* t, INAContext* ctx) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return std::nullopt;
    INADataSourceDescription* desc = t->piGetDataSourceDescription();
    BenchRow b;
    for (const wchar_t* name : {L"id", L"t", L"n"}) {
      INAItemDescription* item = desc != nullptr ? desc->piNAGetItem(name) : nullptr;
      if (item == nullptr) continue;
      const BYTE* at = record->pbyGetValues() + item->nGetOffset(0);
      if (record->vbItemValueDefined(item, 0)) {
        int32_t v = 0;
        if (name[0] == L't') {
          b.t.emplace();
          for (size_t i = 0; i < item->nGetTotalSize(); i += item->eNAGetItemType() == NA_IT_UNICODE ? 2 : 1) {
            if (at[i] == 0 && (item->eNAGetItemType() != NA_IT_UNICODE || at[i + 1] == 0)) break;
            *b.t += static_cast<char>(at[i]);
          }
        } else {
          memcpy(&v, at, 4);
          (name[0] == L'i' ? b.id : b.n.emplace()) = v;
        }
      }
      item->nExternalRelease();
    }
    if (desc != nullptr) desc->nExternalRelease();
    record->vnRelease();
    return b;
  }
  // Puts r into the current record of ctx's file, every item defined or NULL as r says.
  BOOL SetCurrent(INATable* t, INAContext* ctx, const BenchRow& r) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return FALSE;
    const int32_t id = r.id;
    record->vSetItemValue(&m_items[0], &id, 4, 0);
    if (r.t)
      record->vSetItemValue(&m_items[1], r.t->c_str(), static_cast<unsigned int>(r.t->size()), 0);
    else
      record->vSetItemValueDefined(&m_items[1], FALSE, 0);
    const int32_t n = r.n.value_or(0);
    if (r.n)
      record->vSetItemValue(&m_items[2], &n, 4, 0);
    else
      record->vSetItemValueDefined(&m_items[2], FALSE, 0);
    const BOOL ok = m_loader.bSetRecord(t, ctx, record);
    record->vnRelease();
    return ok;
  }

  // Opens host's connection and *t, a file of the table in ctx, then begins a host transaction.
  void OpenInTransaction(CHostConnectionDescription* host, CHostContext* ctx, INATable** t) {
    ASSERT_TRUE(m_loader.bOpenConnection(host)) << Short(m_driver->piGetLastError()->pszGetError());
    *t = m_loader.piGetTable(host, &m_desc);
    ASSERT_NE(*t, nullptr);
    ASSERT_TRUE((*t)->bHOuvre(ctx, kReadWrite, nullptr)) << Short((*t)->piGetLastError(ctx)->pszGetError());
    ASSERT_TRUE(m_driver->bTransactionBegin(host, L"work")) << Short(m_driver->piGetLastError()->pszGetError());
  }
  // After a lost transaction was rolled back: an add of fresh through t lands, and the server
  // holds the initial rows and fresh only. Then t is closed and released, and host closed.
  void AddLandsAloneThenClose(INATable* t, INAContext* ctx, CHostConnectionDescription* host, const BenchRow& fresh) {
    EXPECT_TRUE(SetCurrent(t, ctx, fresh) && t->bHAjoute(ctx, 0, eNA_LOCKTYPE{0}))
        << Short(t->piGetLastError(ctx)->pszGetError());
    std::vector<BenchRow> want;
    for (int id = 1; id <= kRows; ++id) want.push_back(Initial(id));
    want.push_back(fresh);
    EXPECT_EQ(ServerRows(), want);
    CloseFile(t, ctx, host);
  }
  // t closed, its context closed, t released to none, then host closed.
  void CloseFile(INATable* t, INAContext* ctx, CHostConnectionDescription* host) {
    EXPECT_TRUE(t->bHFerme(ctx));
    m_driver->bCloseContext(ctx);
    EXPECT_EQ(t->nExternalRelease(), 0);
    EXPECT_TRUE(m_driver->bCloseConnection(host));
  }

  TestServer m_server;
  FaultClient m_fault;
  RawMySQL m_lib;
  RawConnection m_raw{m_lib};
  std::string m_table;
  std::wstring m_wtable, m_user, m_password;
  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_desc;
  // The host's description of the table for its queries (items naming their source), made by
  // the first Parse.
  CHostRecordDescription m_queryDesc;
  CHostSQLCatalogue m_catalogue;
  std::wstring m_querySQL;
  std::deque<CHostConnectionDescription> m_hosts;
  std::deque<std::wstring> m_texts;
  CHostLoader m_loader;
  INADriver* m_driver = nullptr;
};

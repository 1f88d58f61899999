// What the live browse tests share: MySQL data accesses over tables of the private server whose
// names need backquotes, opened on connections of a chosen record limit ("QX Cache Size"), with
// statements whose row cache and backward reading the test chooses; a model of a table's rows in
// the order a browse item reads them; the SELECTs sent and the rows fetched, counted at the
// client library. The fixture owns its connections and accesses and gives them back at the end.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "driver/mysqlapi.h"
#include "host/host_datasource.h"
#include "mysql/mysqldataaccess.h"
#include "mysql/mysqlstatement.h"
#include "sql/nacolumn.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/any_test_values.h"

// The test's knobs on the MySQL statement.
struct BrowseKnobs {
  bool rowCache = false;
  bool backward = true;
};

class CBrowseStatement final : public CMySQLStatement {
 public:
  CBrowseStatement(CNADataAccess* access, CNAError* error, const BrowseKnobs* knobs)
      : CMySQLStatement(access, error), m_pKnobs(knobs) {}
  BOOL bDefaultParseNeedRecordCache() override { return m_pKnobs->rowCache ? TRUE : FALSE; }
  BOOL bCanFetchBackward() override { return m_pKnobs->backward ? TRUE : FALSE; }

 private:
  const BrowseKnobs* m_pKnobs;
};

class CBrowseAccess final : public CMySQLDataAccess {
 public:
  using CMySQLDataAccess::CMySQLDataAccess;
  using CNADataAccess::_SetRecordSaveID;
  CNAStatement* _pclAllocStatement(CNADataAccess* access, CNAError* error) override {
    return new (std::nothrow) CBrowseStatement(access, error, &m_knobs);
  }
  BrowseKnobs m_knobs;
};

// Client-library calls counted: texts sent and rows fetched.
struct ClientCounts {
  static inline int nQueries = 0;
  static inline int nFetches = 0;
  static inline std::vector<std::string> tabSent;
  static inline decltype(__mysql_real_query) pfnQuery = nullptr;
  static inline decltype(__mysql_fetch_row) pfnFetch = nullptr;
  static int Query(MYSQL* h, const char* text, unsigned long length) {
    ++nQueries;
    tabSent.emplace_back(text, length);
    if (tabSent.size() > 50) tabSent.erase(tabSent.begin());
    return pfnQuery(h, text, length);
  }
  static MYSQL_ROW Fetch(MYSQL_RES* result) {
    ++nFetches;
    return pfnFetch(result);
  }
  static void Install() {
    if (pfnQuery != nullptr) return;
    pfnQuery = __mysql_real_query;
    pfnFetch = __mysql_fetch_row;
    __mysql_real_query = Query;
    __mysql_fetch_row = Fetch;
  }
  static void Remove() {
    if (pfnQuery == nullptr) return;
    __mysql_real_query = pfnQuery;
    __mysql_fetch_row = pfnFetch;
    pfnQuery = nullptr;
    pfnFetch = nullptr;
  }
  static void Reset() {
    nQueries = nFetches = 0;
    tabSent.clear();
  }
};

// A value of a model row: a text, a number or NULL.
using Cell = std::optional<std::wstring>;

// How a column of the model orders: a collation of texts, or numbers.
enum class Collation { Number, GeneralCi, NoPadBin };

// One ORDER BY term of the model.
struct Term {
  int column;
  Collation collation;
  bool descending = false;
};

inline std::vector<unsigned int> Weights(const std::wstring& s, Collation c) {
  std::vector<unsigned int> w;
  size_t n = s.size();
  if (c == Collation::GeneralCi)
    while (n > 0 && s[n - 1] == L' ') --n;
  for (size_t i = 0; i < n; ++i) {
    unsigned int ch = static_cast<unsigned int>(s[i]);
    if (c == Collation::GeneralCi) {
      if (ch > 0xFFFF) ch = 0xFFFD;
      if (ch >= 'a' && ch <= 'z') ch -= 32;
    }
    w.push_back(ch);
  }
  return w;
}

// -1, 0, 1: NULL first, then the collation's weights (numbers by value).
inline int CompareCells(const Cell& a, const Cell& b, Collation c) {
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  if (c == Collation::Number) {
    const long long x = std::stoll(*a), y = std::stoll(*b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  const auto wa = Weights(*a, c), wb = Weights(*b, c);
  return wa < wb ? -1 : wa > wb ? 1 : 0;
}

// A table's rows in a browse item's order; rows equal in every ORDER BY term form one group,
// read in any order.
struct BrowseModel {
  std::vector<std::vector<Cell>> rows;  // sorted
  std::vector<int> group;               // group number of each sorted row

  BrowseModel(std::vector<std::vector<Cell>> all, const std::vector<Term>& order) {
    auto cmp = [&](const std::vector<Cell>& x, const std::vector<Cell>& y) {
      for (const Term& t : order) {
        int r = CompareCells(x[static_cast<size_t>(t.column)], y[static_cast<size_t>(t.column)], t.collation);
        if (t.descending) r = -r;
        if (r != 0) return r;
      }
      return 0;
    };
    std::stable_sort(all.begin(), all.end(), [&](const auto& x, const auto& y) { return cmp(x, y) < 0; });
    for (size_t i = 0; i < all.size(); ++i)
      group.push_back(i == 0 ? 0 : group.back() + (cmp(all[i - 1], all[i]) != 0 ? 1 : 0));
    rows = std::move(all);
  }
  long long n() const { return static_cast<long long>(rows.size()); }
  // Whether values are those of a row of p's group.
  bool InGroup(long long p, const std::vector<Cell>& values) const {
    for (size_t i = 0; i < rows.size(); ++i)
      if (group[i] == group[static_cast<size_t>(p)] && rows[i] == values) return true;
    return false;
  }
};

// A server literal of a cell, through its UTF-8 bytes.
inline std::string SqlCell(const Cell& c, bool number) {
  if (!c) return "NULL";
  if (number) return Utf8(*c);
  std::string hex = "_utf8mb4 X'";
  for (unsigned char ch : Utf8(*c)) {
    static const char* const d = "0123456789ABCDEF";
    hex += d[ch >> 4];
    hex += d[ch & 15];
  }
  return hex + "'";
}

// The seeds a random walk runs: QX_BROWSE_SEED when set (a failure to replay, or the fresh seed
// of scripts/walk), else the same fixed ones on every run. The first four each met a fault once:
// three a place counted in a result of a seek's rows once the seek was left, one a skip by no row
// from before the first row that forgot which end the browse stood past.
inline std::vector<unsigned int> Seeds() {
  if (const char* given = std::getenv("QX_BROWSE_SEED"))
    return {static_cast<unsigned int>(std::strtoul(given, nullptr, 10))};
  return {4022100653u, 1178507578u, 1904701270u, 1883390232u, 1u, 2u, 3u};
}

// One browse item of a table with its model order.
struct Browse {
  const wchar_t* item;
  std::vector<Term> order;
};

// A table made on the server and described for the host, with its rows as the model holds them.
struct Table {
  std::wstring name;
  CHostRecordDescription* desc = nullptr;
  std::vector<const wchar_t*> columns;
  std::vector<std::vector<Cell>> rows;
  std::vector<Browse> browses;
};

class LiveBrowse : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveBrowse() : LiveConnection("_brw") { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    ASSERT_FALSE(HasFatalFailure());
    m_pCnx->SetStatic(true);
    m_nBlocks = CHostServices::Instance().nLiveBlocks();
    ClientCounts::Install();
    ClientCounts::Reset();
  }
  void TearDown() override {
    ClientCounts::Remove();
    GiveBack();
    EXPECT_EQ(CHostServices::Instance().nLiveBlocks(), m_nBlocks) << "host string blocks left alive";
    LiveConnection::TearDown();
  }
  // The accesses, connections and tables made so far given back.
  void GiveBack() {
    for (CNADataAccess* a : m_accesses) a->nRelease();
    m_accesses.clear();
    for (auto& c : m_connections) c->nRelease();
    m_connections.clear();
    for (const std::wstring& t : m_tabCreated) Raw("DROP TABLE IF EXISTS " + Quoted(t));
    m_tabCreated.clear();
  }
  // walk once per seed of Seeds(), each from its own tables and connections, given back after
  // it, as a run of that seed alone makes them; a failure names its seed and ends the walks.
  void ForEachSeed(const std::function<void(std::mt19937*)>& walk) {
    for (const unsigned int seed : Seeds()) {
      SCOPED_TRACE("QX_BROWSE_SEED=" + std::to_string(seed));
      std::mt19937 rng(seed);
      walk(&rng);
      GiveBack();
      if (HasFailure()) return;
    }
  }
  bool Unicode() const { return std::get<0>(GetParam()) == 65001; }

  // A table name the server only takes between backquotes.
  std::wstring Name(const std::wstring& shape) {
    std::wstring name = shape + std::to_wstring(getpid());
    m_tabCreated.push_back(name);
    return name;
  }
  // The session cnx reads on (each result it holds is already stored) ended from the second
  // connection. Its id is the client's own, asked of no server: a session killed already is only
  // replaced at the driver's next call to the server, so until then there is nothing to kill.
  void KillSession(CMySQLConnection* cnx) {
    const MYSQL* handle = cnx->pGetHandle();
    ASSERT_NE(handle, nullptr);
    if (handle->thread_id == m_nKilledSession) return;
    m_nKilledSession = handle->thread_id;
    std::string err;
    EXPECT_TRUE(m_raw.exec("KILL " + std::to_string(m_nKilledSession), &err)) << err;
  }
  // The rows' values as an INSERT into table name; numeric: by column, whether its cells go
  // unquoted; columns: the list of the columns they fill ("(x,s)"), none for every column.
  void InsertRows(const std::wstring& name, const std::vector<std::vector<Cell>>& rows,
                  const std::vector<bool>& numeric, const std::string& columns = "") {
    std::string values;
    for (const auto& row : rows) {
      values += values.empty() ? "(" : ",(";
      for (size_t i = 0; i < row.size(); ++i) values += (i != 0 ? "," : "") + SqlCell(row[i], numeric[i]);
      values += ")";
    }
    Raw("INSERT INTO " + Quoted(name) + columns + " VALUES " + values);
  }
  // SQL in UTF-8 on the second connection.
  void Raw(const std::string& sql) {
    std::string err;
    ::RawRows rows;
    ASSERT_TRUE(m_raw.query(sql, &rows, &err)) << sql << ": " << err;
  }

  // A connection of the driver with "QX Cache Size" set to cache (none: left to the host, which
  // leaves it to the driver).
  CMySQLConnection* Connect(const char* cache) {
    auto& host = m_hosts.emplace_back();
    auto& info = m_infos.emplace_back(m_str[3] + (cache != nullptr ? Wide(std::string(";QX Cache Size=") + cache) : L""));
    host.m_pszUser = m_str[0].c_str();
    host.m_pszPassword = m_str[1].c_str();
    host.m_pszDataSource = m_str[2].c_str();
    host.m_pszExtendedInfo = info.c_str();
    host.m_llCacheSize = -2;
    auto* cnx = new CMySQLConnection(L"id", &host);
    cnx->AddRef();
    m_connections.push_back(cnx);
    EXPECT_TRUE(cnx->bOpen(&m_error)) << Utf8(m_error.pszGetError());
    if (std::get<1>(GetParam())) {
      EXPECT_TRUE(cnx->bExecuteQueryNoResult(&m_error, L"SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')"));
    }
    return cnx;
  }

  // The description's items.
  CHostItemDescription* Item(CHostRecordDescription* desc, const wchar_t* name, eNA_ITEMTYPE type, unsigned int size,
                             unsigned short keys = 0, std::initializer_list<CHostItemDescription*> parts = {}) {
    CHostItemDescription& item = m_items.emplace_back(name, type, size);
    item.m_wKeyFlags = keys;
    item.m_pszNameInSource = name;
    item.m_pszSourceName = nullptr;
    item.m_tabComponents.assign(parts.begin(), parts.end());
    desc->Add(&item);
    return &item;
  }
  CHostRecordDescription* Description(const std::wstring& table) {
    CHostRecordDescription& desc = m_descs.emplace_back();
    const std::wstring& name = m_names.emplace_back(table);
    desc.m_pszName = desc.m_pszDBTableName = desc.m_pszPhysicalName = name.c_str();
    return &desc;
  }
  // An opened access over desc on cnx.
  CBrowseAccess* Open(CHostRecordDescription* desc, CMySQLConnection* cnx, BrowseKnobs knobs = {}) {
    auto* a = new CBrowseAccess(desc, cnx, &m_error);
    a->AddRef();
    a->m_knobs = knobs;
    m_accesses.push_back(a);
    EXPECT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
    m_error.Reset();
    return a;
  }

  // Key flags of the host's items.
  static constexpr unsigned short kKeyPrimary = 0x8000, kKeyUnique = 0x4000, kKeyDuplicates = 0x2000,
                                  kKeyComposite = 0x1000;
  // Which of MakeKeyed's columns (id, d, b, u, a, c) are numbers.
  inline static const std::vector<bool> kKeyedNumeric = {true, false, false, true, true, true};
  // Keys of every kind on one table: a unique integer, duplicates under a case- and
  // blank-insensitive collation, duplicates under a binary collation without padding, a nullable
  // UNIQUE with several NULLs, and a composite (a, c descending).
  void MakeKeyed(Table* t, std::mt19937* rng, int n, const std::wstring& shape = L"qx brw`keys ") {
    t->name = Name(shape);
    Raw("CREATE TABLE " + Quoted(t->name) +
        " (id INT PRIMARY KEY, d VARCHAR(12) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL,"
        " b VARCHAR(12) CHARACTER SET utf8mb4 COLLATE utf8mb4_nopad_bin NULL, u INT NULL UNIQUE, a INT NULL,"
        " c INT NULL, KEY (d), KEY (b), KEY (a, c DESC))");
    std::vector<Cell> dPool = {L"abc", L"ABC", L"Abc", L"a", L"a ", L"A", L"b", L"b  ", L"B", L"", std::nullopt, L"zz"};
    std::vector<Cell> bPool = {L"a", L"a ", L"A", L"b", L"b ", L"", std::nullopt, L"ab"};
    if (Unicode()) {
      for (const wchar_t* s : {L"\U0001F600x", L"\U00010400x", L"x\U0001F600", L"x\U00010400"}) dPool.emplace_back(s);
      for (const wchar_t* s : {L"\U0001F600", L"\U00010400", L"a\U0001F600", L"a\U00010400"}) bPool.emplace_back(s);
    }
    auto pick = [&](const std::vector<Cell>& pool) { return pool[(*rng)() % pool.size()]; };
    auto number = [&](int range) -> Cell {
      const int v = static_cast<int>((*rng)() % static_cast<unsigned int>(range + 1)) - 1;
      return v < 0 ? Cell() : Cell(std::to_wstring(v));
    };
    for (int i = 1; i <= n; ++i) {
      Cell u = (*rng)() % 5 == 0 ? Cell() : Cell(std::to_wstring((i * 37) % 1009));
      t->rows.push_back({std::to_wstring(i), pick(dPool), pick(bPool), u, number(4), number(5)});
    }
    InsertRows(t->name, t->rows, kKeyedNumeric);
    t->desc = Description(t->name);
    CHostItemDescription* id = Item(t->desc, L"id", NA_IT_I4, 4, kKeyPrimary);
    id->m_bNullAllowed = FALSE;
    // Characters above U+FFFF need the host's Unicode texts.
    const eNA_ITEMTYPE text = Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE;
    const unsigned int size = Unicode() ? 26 : 13;
    Item(t->desc, L"d", text, size, kKeyDuplicates);
    Item(t->desc, L"b", text, size, kKeyDuplicates);
    Item(t->desc, L"u", NA_IT_I4, 4, kKeyUnique);
    CHostItemDescription* a = Item(t->desc, L"a", NA_IT_I4, 4);
    CHostItemDescription* c = Item(t->desc, L"c", NA_IT_I4, 4);
    Item(t->desc, L"ac", NA_IT_BINAIRE, 8, kKeyComposite | kKeyDuplicates, {a, c})->m_dwDescendingComponents = 2;
    t->desc->m_pBestParseItem = id;
    t->columns = {L"id", L"d", L"b", L"u", L"a", L"c"};
    const Term byId{0, Collation::Number};
    t->browses = {{L"id", {byId}},
                  {L"d", {{1, Collation::GeneralCi}, byId}},
                  {L"b", {{2, Collation::NoPadBin}, byId}},
                  {L"u", {{3, Collation::Number}}},
                  {L"ac", {{4, Collation::Number}, {5, Collation::Number, true}, byId}}};
  }
  // A table without a key whose rows repeat whole or differ only in case and trailing blanks.
  // Without variants, rows the server holds equal have the same bytes. computed ("VIRTUAL",
  // "STORED"): a third column g the server computes from x, described as an item of the host.
  void MakeKeyless(Table* t, std::mt19937* rng, int n, bool variants = true, const char* computed = nullptr) {
    t->name = Name(variants ? L"qx brw`bare " : L"qx brw`same ");
    Raw("CREATE TABLE " + Quoted(t->name) +
        " (x INT NULL, s VARCHAR(4) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL" +
        (computed != nullptr ? std::string(", g INT AS (x + 100) ") + computed : "") + ")");
    const std::vector<Cell> xPool = {std::nullopt, L"1", L"2"};
    std::vector<Cell> sPool = variants ? std::vector<Cell>{L"p", L"P", L"p ", L"q"} : std::vector<Cell>{L"p", L"q"};
    // Characters above U+FFFF, all equal under the collation, need the host's Unicode texts.
    if (variants && Unicode()) sPool.insert(sPool.end(), {L"\U0001F600", L"\U00010400", L"p\U0001F600"});
    for (int i = 0; i < n; ++i) t->rows.push_back({xPool[(*rng)() % xPool.size()], sPool[(*rng)() % sPool.size()]});
    InsertRows(t->name, t->rows, {true, false}, "(x,s)");
    t->desc = Description(t->name);
    Item(t->desc, L"x", NA_IT_I4, 4);
    Item(t->desc, L"s", Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE, Unicode() ? 10 : 5);
    if (computed != nullptr) Item(t->desc, L"g", NA_IT_I4, 4);
    t->columns = {L"x", L"s"};
    t->browses = {{L"x", {{0, Collation::Number}, {1, Collation::GeneralCi}}},
                  {L"s", {{1, Collation::GeneralCi}, {0, Collation::Number}}}};
  }

  // One walk: "" when every step agreed with the model, else what differed.
  using WalkOne = std::function<std::string(CNADataAccess*, const Table&, const Browse&, unsigned int flags,
                                            std::mt19937*)>;
  // walk on every browse of the browse tables (keys of every kind, two tables without a key), for
  // each seed, over blocks of 100 and 15 rows and whole results, with the row cache on and off
  // (flags 0x10000 when off).
  void WalkEveryKindOfKey(const WalkOne& walk) {
    ForEachSeed([&](std::mt19937* rng) { WalkEveryKindOfKey(walk, rng); });
  }
  void WalkEveryKindOfKey(const WalkOne& walk, std::mt19937* rng) {
    Table keyed, bare, same;
    MakeKeyed(&keyed, rng, 130);
    MakeKeyless(&bare, rng, 40);
    MakeKeyless(&same, rng, 40, false);
    ASSERT_FALSE(HasFatalFailure());
    for (const char* cache : {static_cast<const char*>(nullptr), "15", "-1"}) {
      CMySQLConnection* cnx = Connect(cache);
      for (const bool rowCache : {false, true}) {
        for (Table* t : {&keyed, &bare, &same}) {
          CNADataAccess* a = Open(t->desc, cnx, {rowCache, true});
          for (const Browse& b : t->browses) {
            EXPECT_EQ(walk(a, *t, b, rowCache ? 0u : 0x10000u, rng), "")
                << "cache size " << (cache != nullptr ? cache : "unset") << ", row cache " << rowCache << ", table "
                << Utf8(t->name) << ", item " << Utf8(b.item);
          }
        }
      }
    }
  }

  // The record's values of the columns named, as the model holds them.
  static std::vector<Cell> Values(CNADataAccess* a, const std::vector<const wchar_t*>& columns) {
    std::vector<Cell> out;
    for (const wchar_t* name : columns) {
      CNAColumn* c = a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(name);
      CAny v;
      if (c == nullptr || !c->bGetCurrentValue(&v, 0)) {
        out.emplace_back(L"<no value>");
        continue;
      }
      if (v.bIsNull()) out.emplace_back(std::nullopt);
      else out.emplace_back(Show(v));
    }
    return out;
  }
  static std::string Text(const std::vector<Cell>& row) {
    std::string s;
    for (const Cell& c : row) s += (s.empty() ? "" : "|") + (c ? Utf8(*c) : std::string("NULL"));
    return s;
  }
  static int Out(CNADataAccess* a, const wchar_t* item) {
    int out = -1;
    a->bHEndehors(item, &out);
    return out;
  }
  // One browse read on item: 'f' first, 'l' last, 'n' next, 'p' previous, 's' a skip by k (back
  // when negative). *p becomes the model's position over n rows (-1 before the first, n past the
  // last) from where the browse stood (out: outside the rows); *name says the read.
  static BOOL ModelRead(CNADataAccess* a, const wchar_t* item, char op, long long k, unsigned int flags, long long n,
                        bool out, long long* p, std::string* name) {
    const eNA_LOCKTYPE none{0};
    switch (op) {
      case 'f':
        *name = "first", *p = 0;
        return a->bHLitxxx(item, NA_PARSE_FIRST, 1, none, nullptr, flags);
      case 'l':
        *name = "last", *p = n - 1;
        return a->bHLitxxx(item, NA_PARSE_LAST, 1, none, nullptr, flags);
      case 'n':
        *name = "next", *p = std::min(*p + 1, n);
        return a->bHLitxxx(item, NA_PARSE_NEXT, 1, none, nullptr, flags);
      case 'p':
        *name = "previous", *p = std::max(*p - 1, -1LL);
        return a->bHLitxxx(item, NA_PARSE_PREVIOUS, 1, none, nullptr, flags);
      default:
        *name = "skip " + std::to_string(k);
        if (k != 0 || out) *p = std::clamp(*p + k, -1LL, n);
        return a->bSkipRecord(item, k < 0 ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, k < 0 ? -k : k, 1, none, nullptr, flags);
    }
  }
  // The last SELECTs sent, for a failure's message.
  static std::string Sent() {
    std::string s;
    for (const std::string& t : ClientCounts::tabSent) s += "\n  " + t;
    return s;
  }

  long m_nBlocks = 0;
  std::deque<CHostConnectionDescription> m_hosts;
  std::deque<std::wstring> m_infos;
  std::deque<std::wstring> m_names;
  std::deque<CHostItemDescription> m_items;
  std::deque<CHostRecordDescription> m_descs;
  std::vector<CMySQLConnection*> m_connections;
  std::vector<CNADataAccess*> m_accesses;
  unsigned long m_nKilledSession = 0;  // KillSession's last
  std::vector<std::wstring> m_tabCreated;
};

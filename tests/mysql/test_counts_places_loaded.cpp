// What the loaded driver answers about how many rows a browse has and where it stands, against the
// server's own answer over a raw connection: the count (all rows, under the filter), HPositionne to
// a proportion and the place HPositionCourante reports back, skips by counts beyond a block past
// either end, the out-of-range flag and the re-read of the current record, on a keyed table, a
// table without a key and queries the host parsed (WHERE, ORDER BY, DISTINCT, GROUP BY, LIMIT),
// while filters are set, switched and changed and rows are deleted and added by the host and by
// the raw connection; in blocks of 1, 3, the default and the whole result, row cache on and off,
// both code pages and both SQL modes. After every change the model is the server's rows of the
// browse, read again and ordered by their key.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "access/inatable.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_sqlparser.h"
#include "sql/nakjrecord.h"
#include "tests/support/loaded_types.h"

namespace {

constexpr eNA_ACCESS kReadWrite{0};
constexpr eNA_LOCKTYPE kNoLock{0};
constexpr eNA_PRECISION kPrecision{0};
constexpr unsigned int kCountRows = 16, kUnderFilter = 0x4000, kNoRowCache = 0x10000, kDefaultItem = 0x20000;
constexpr int kKeyedRows = 130, kBareRows = 60;
// A NULL key in the model's order.
constexpr long long kNull = -1000000000000LL;

// The texts of the rows: each page holds them all.
const char* const kTexts[] = {"\xC3\xA9t\xC3\xA9", "\xC3\x9C\x62\x65r", "Stra\xC3\x9F\x65", "\xC3\xA7\x61", "plain"};

// The host's files: the keyed table with d a key with duplicates, the same with d descending,
// and the table without a key.
enum class ESource { kKeyed, kDescending, kBare };

// One road to the rows and how the server orders them. {K} and {B} stand for the keyed and the
// bare table's names.
struct SRoad {
  const char* name;
  ESource source;
  const char* query;    // null: the table itself
  bool asWritten;       // the query sent as written
  const wchar_t* item;  // the browse item
  unsigned int flags;   // read flags beside the row cache's
  const char* columns;  // what tells a row: its columns' values joined by ','
  const char* key;      // the browse's order as integer columns of the result, "-" before a descending one
  const char* remove;   // a raw DELETE of the result's row whose first column is {0}
  bool writes;          // the host adds and deletes through it
  bool filters;         // the host filters it
  bool limited;         // read in blocks when a block size is set
  bool numeric = true;  // its browse item holds integers: it is sought and filtered by the test's values
  const wchar_t* filterItem = nullptr;  // the item filtered, carried to the browse (null: the browse item)
};

const char* const kById = "DELETE FROM {K} WHERE id = {0}";
const char* const kByD = "DELETE FROM {K} WHERE d = {0}";
const SRoad kRoads[] = {
    {"table by its unique key", ESource::kKeyed, nullptr, false, L"id", 0, "id", "id", kById, true, true, true},
    {"table by a key with duplicates", ESource::kKeyed, nullptr, false, L"d", 0, "id", "d,id", kById, true, true, true},
    {"table by its unique key, filtered on another", ESource::kKeyed, nullptr, false, L"id", 0x8000, "id", "id", kById, true,
     true, true, true, L"d"},
    {"table by a key with duplicates, filtered on another", ESource::kKeyed, nullptr, false, L"d", 0x8000, "id", "d,id", kById,
     true, true, true, true, L"id"},
    {"table by a descending key", ESource::kDescending, nullptr, false, L"d", 0, "id", "-d,-id", kById, true, true, true},
    {"table by a text key", ESource::kKeyed, nullptr, false, L"t", 0, "id", "DENSE_RANK() OVER (ORDER BY t),id", kById,
     true, false, true, false},
    {"table by a key holding NULLs", ESource::kKeyed, nullptr, false, L"e", 0, "id", "e,id", kById, true, true, true},
    {"table without a key", ESource::kBare, nullptr, false, L"x", 0, "x,y", "x,y", "DELETE FROM {B} WHERE y = {1}", true,
     true, false},
    {"query with WHERE", ESource::kKeyed, "SELECT id, d FROM {K} WHERE d >= 4", false, L"id", 0, "id", "id", kById, false,
     true, true},
    {"query with ORDER BY", ESource::kKeyed, "SELECT id, d FROM {K} ORDER BY d DESC, id", false, L"d", kDefaultItem, "id",
     "-d,id", kById, false, true, false},
    {"query with DISTINCT", ESource::kKeyed, "SELECT DISTINCT d FROM {K}", false, L"d", 0, "d", "d", kByD, false, true,
     false},
    {"query with GROUP BY", ESource::kKeyed, "SELECT d, COUNT(*) AS n FROM {K} GROUP BY d", false, L"d", 0, "d", "d", kByD,
     false, true, false},
    {"query with LIMIT", ESource::kKeyed, "SELECT id, d FROM {K} ORDER BY id LIMIT 50", false, L"id", 0, "id", "id", kById,
     false, true, false},
    // Neither filtered nor sought: the condition goes into the query's WHERE, before its LIMIT.
    {"query with LIMIT and OFFSET", ESource::kKeyed, "SELECT id, d FROM {K} WHERE d < 9 ORDER BY id LIMIT 40 OFFSET 7", false,
     L"id", 0, "id", "id", kById, false, false, false, false},
    {"query with GROUP BY and HAVING", ESource::kKeyed, "SELECT d, COUNT(*) AS n FROM {K} GROUP BY d HAVING COUNT(*) > 9",
     false, L"d", 0, "d", "d", kByD, false, true, false},
    {"query sent as written", ESource::kKeyed, "SELECT id, d FROM {K} WHERE d >= 4 ORDER BY id", true, L"id", 0, "id", "id",
     kById, false, false, false},
};

// A script of the host's calls, each checked against the model:
//   f l n p      read first, last, next, previous
//   k<+-m>       skip m rows forward or backward; K<m> skip m rows from the first
//   x<t>         HPositionne to t thousandths
//   c            HPositionCourante answers the current row's place
//   N            the counts: all rows, under the filter, and none asked
//   r            the current record read again (HLit 0); r5 asks record number 5
//   F<a>,<b>     filter the browse item on [a%, b%] of its values; F0 on a value no row holds;
//                F- off, F+ on again
//   X<m>         the raw connection deletes the row m rows from the current one
//   A<m>         the raw connection adds a row just after the row m rows from the current one
//   D            the host deletes the current row
//   H            the host adds a row just after the current row (the browse is then read from an end)
//   M            the host moves the current row past every other by its browse item (the browse
//                goes on from the row's former place)
struct SScript {
  const char* name;
  const char* ops;
  bool writes;   // needs the host's writes
  bool filters;  // needs the host's filters
  bool values = false;  // seeks, filters or moves the browse item by the test's integers
};
const SScript kScripts[] = {
    {"ends and long skips",
     "N f c k+1 c k+2 k+3 c k+10 k+11 c k+37 c k-5 c k-40 n p k+200 p c k-1 l c k-3 k-100 k-1000 n k+7 c "
     "k-1000000000000 n k+1000000000000 p c",
     false, false},
    {"from the ends", "K1 c K3 c K60 c K200 K0 n c l k-0 k+0 c", false, false},
    {"proportions", "f x0 c x1 c x250 c x500 c n c x999 c x1000 c p x333 c k-1 c N x1001 p c x4294967295 l c", false,
     false},
    {"seeks", "s10 N c k+3 c s40 x500 c s0 p n c k-2 c N", false, false, true},
    {"filters on, off and changed",
     "F25,75 N f c k+3 c x500 c k+100 p c F- N n c x500 c F+ N n c F10,50 N n c k-2 c x999 c l k-7 c N", false, true,
     true},
    {"rows the raw connection deletes",
     "f k+5 X0 N n c X1 X-1 k+2 c x500 c X0 r p c f N k+5 c x500 c l X0 r p c l N c k-3 c", false, false},
    {"rows the raw connection adds",
     "f k+6 A1 A-1 N n c k+1 c p p c A0 N x500 c f N k+6 c k+1 c l A-2 N p p c l N c k-4 c x500 c", false, false},
    {"rows the host deletes", "f k+4 D N n c D p c x500 D N k+3 c l D N p c x999 D N k-2 c", true, false},
    {"rows the host adds", "f k+6 H N f k+7 c x500 H N l k-3 c", true, false},
    {"rows the host modifies", "f k+3 M N n c p c x500 M N k+2 c l k-4 M p c N", true, false, true},
    {"filtered deletes", "F20,80 f k+3 D N n c D N x500 c k+2 c X0 f N k+3 c D N x999 c", true, true, true},
    {"filtered seeks", "F20,80 s30 N c k+2 c x500 c s70 c", false, true, true},
    {"filters switched between moves", "f k+10 F25,75 x500 c F- x250 c F+ k-2 c F- K5 c F10,90 l c F+ k-3 c x999 c N", false, true, true},
    {"nothing through the filter", "f k+3 r5 F0 N f l x500 K2 k+1 F- N f c r", false, true, true},
};

struct SRow {
  std::string tell;            // the row's columns as the driver reads them
  std::vector<long long> key;  // its place in the browse's order
};

std::vector<std::string> Split(const std::string& text, char by) {
  std::vector<std::string> out(1);
  for (char ch : text)
    if (ch == by)
      out.emplace_back();
    else
      out.back() += ch;
  return out;
}

std::string Replaced(std::string text, const std::string& what, const std::string& by) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + by.size()))
    text.replace(at, what.size(), by);
  return text;
}

// Code page and SQL mode (NO_BACKSLASH_ESCAPES added).
using Param = std::tuple<int, bool>;

class CountsPlacesLoaded : public CLoadedTypes<Param> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    const std::string suffix = NameOfRun("");
    m_keyed = "qx_cnt_k_" + suffix;
    m_bare = "qx_cnt_b_" + suffix;
    Raw("DROP TABLE IF EXISTS `" + m_keyed + "`, `" + m_bare + "`");
    Raw("CREATE TABLE `" + m_keyed +
        "` (id INT NOT NULL PRIMARY KEY, d INT NOT NULL, t VARCHAR(10) CHARACTER SET utf8mb4, e INT NULL, KEY (d),"
        " KEY (e))");
    Raw("CREATE TABLE `" + m_bare + "` (x INT NOT NULL, y INT NOT NULL, s VARCHAR(10) CHARACTER SET utf8mb4)");
    m_wkeyed = WideOfUTF8(m_keyed);
    m_wbare = WideOfUTF8(m_bare);
    Describe(&m_keyedFile, m_wkeyed, {{L"id", 0x8000}, {L"d", 0x2000}, {L"t", 0x2000}, {L"e", 0x2000}});
    Describe(&m_descendingFile, m_wkeyed, {{L"id", 0x8000}, {L"d", 0x2000 | 0x400}, {L"t", 0}, {L"e", 0x2000}});
    Describe(&m_bareFile, m_wbare, {{L"x", 0}, {L"y", 0}, {L"s", 0}});
  }
  void TearDown() override {
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS `" + m_keyed + "`, `" + m_bare + "`, `" + m_placed + "`", &err);
    if (m_driver != nullptr)
      for (auto& [cache, host] : m_hosts) m_driver->bCloseConnection(host);
    Stop();
  }

  struct SFile {
    std::deque<std::wstring> names;
    std::deque<CHostItemDescription> items;
    CHostRecordDescription desc;
  };
  static void Describe(SFile* f, const std::wstring& table, std::vector<std::pair<const wchar_t*, unsigned short>> items) {
    f->desc.m_pszName = f->desc.m_pszPhysicalName = f->desc.m_pszDBTableName = table.c_str();
    for (const auto& [name, keys] : items) {
      const bool text = name[0] == L't' || name[0] == L's';
      CHostItemDescription& item = f->items.emplace_back(name, text ? NA_IT_TEXTE : NA_IT_I4, text ? 11 : 4);
      item.m_wKeyFlags = keys;
      item.m_bNullAllowed = text || name[0] == L'e' ? TRUE : FALSE;
      item.m_pszNameInSource = name;
      item.m_pszSourceName = table.c_str();
      f->desc.Add(&item);
    }
    if (f->items.front().m_wKeyFlags != 0) f->desc.m_pBestParseItem = &f->items.front();
  }

  // The connection of a block size (0 the default, -1 the whole result).
  CHostConnectionDescription* Host(int cache) {
    auto found = m_hosts.find(cache);
    if (found != m_hosts.end()) return found->second;
    CHostConnectionDescription* host = AddConnection(std::get<0>(GetParam()) == 65001,
                                                     cache == 0 ? "" : ";QX Cache Size=" + std::to_string(cache));
    EXPECT_TRUE(m_loader.bOpenConnection(host)) << Narrow(m_driver->piGetLastError()->pszGetError());
    m_hosts[cache] = host;
    return host;
  }

  // The rows made anew when a script changed them.
  void Fill() {
    if (!m_changed) return;
    m_changed = false;
    std::string keyed, bare;
    for (int i = 1; i <= kKeyedRows; ++i)
      keyed += (keyed.empty() ? "(" : ",(") + std::to_string(3 * i) + "," + std::to_string(i * 7 % 13) + ",'" +
               kTexts[i % 5] + "'," + (i % 4 == 0 ? "NULL" : std::to_string(i % 6)) + ")";
    for (int i = 1; i <= kBareRows; ++i)
      bare += (bare.empty() ? "(" : ",(") + std::to_string(i % 9) + "," + std::to_string(10 * i) + ",'" +
              kTexts[i % 5] + "')";
    Raw("DELETE FROM `" + m_keyed + "`");
    Raw("INSERT INTO `" + m_keyed + "` VALUES " + keyed);
    Raw("DELETE FROM `" + m_bare + "`");
    Raw("INSERT INTO `" + m_bare + "` VALUES " + bare);
  }
  std::string Named(const std::string& text) const {
    // Plain names: the host's parser takes no quoted one.
    return Replaced(Replaced(text, "{K}", m_keyed), "{B}", m_bare);
  }

  // One road opened in a context of its own.
  struct SOpen {
    const SRoad* road = nullptr;
    INATable* table = nullptr;
    CHostContext* ctx = nullptr;
    ISQLParserInformation* parse = nullptr;
    std::wstring text;
    INAConnectionDescription* host = nullptr;
    unsigned int flags = 0;  // of every read
  };
  std::string Open(SOpen* o, const SRoad& road, int cache, bool rowCache) {
    o->road = &road;
    o->host = Host(cache);
    o->ctx = &m_contexts.emplace_back(static_cast<DWORD>(5000 + m_contexts.size()), 1);
    o->flags = road.flags | (rowCache ? 0 : kNoRowCache);
    SFile& file = File(road.source);
    if (road.query == nullptr) {
      o->table = m_loader.piGetTable(o->host, &file.desc);
      if (o->table == nullptr) return "no table";
      if (!o->table->bHOuvre(o->ctx, kReadWrite, nullptr)) return "not opened: " + Error(*o);
      return "";
    }
    CHostSQLCatalogue catalogue;
    catalogue.Add(&m_keyedFile.desc);
    catalogue.Add(&m_bareFile.desc);
    o->text = WideOfUTF8(Named(road.query));
    CTString error;
    o->parse = CHostSQLParser::piParse(o->text.c_str(), catalogue, &error);
    if (o->parse == nullptr) return "no parse: " + Narrow(error.pszGet());
    if (!m_driver->bHExecuteRequeteSQLEx(&o->table, o->ctx, L"Q", o->host, o->parse, road.asWritten ? 4 : 0, nullptr) ||
        o->table == nullptr)
      return "query refused: " + Narrow(m_driver->piGetLastError()->pszGetError());
    return "";
  }
  void Close(SOpen* o) {
    if (o->table != nullptr) {
      if (o->road->query == nullptr) o->table->bHFerme(o->ctx);
      o->table->nExternalRelease();
      if (o->road->query != nullptr) m_driver->bFreeDataSource(o->ctx, L"Q", o->host);
    }
    if (o->ctx != nullptr) m_driver->bCloseContext(o->ctx);
    if (o->parse != nullptr) o->parse->nRelease();
    *o = SOpen{};
  }
  static std::string Error(const SOpen& o) {
    INAError* error = o.table->piGetLastError(o.ctx);
    std::string text;
    for (const char ch : Narrow(error->pszGetError()))
      if (ch != '\r') text += ch == '\n' ? ' ' : ch;
    return std::to_string(error->dwGetErrorId()) + " " + text.substr(0, 160);
  }
  // The record's description: the host's file on a table, the query's own on a query.
  INAItemDescription* Item(const SOpen& o, const wchar_t* name) {
    if (o.road->query == nullptr)
      return File(o.road->source).desc.piNAGetItem(name);
    INADataSourceDescription* desc = o.table->piGetDataSourceDescription();
    INAItemDescription* item = desc != nullptr ? desc->piNAGetItem(name) : nullptr;
    if (desc != nullptr) desc->nExternalRelease();
    return item;
  }
  // The current record told by its columns, whether in range or not.
  std::string Told(const SOpen& o) {
    CNAKJRecord* record = nullptr;
    if (!o.table->bGetRecord(o.ctx, &record) || record == nullptr) return "no record";
    std::string told;
    for (const std::string& column : Split(o.road->columns, ',')) {
      INAItemDescription* item = Item(o, WideOfUTF8(column).c_str());
      long long value = 0;
      if (item == nullptr) {
        told += "?";
      } else {
        const unsigned char* at = record->pbyGetValues() + item->nGetOffset(0);
        if (item->nGetItemSize() == 8) {
          memcpy(&value, at, 8);
        } else {
          int32_t v = 0;
          memcpy(&v, at, 4);
          value = v;
        }
        item->nExternalRelease();
      }
      told += (told.empty() ? "" : ",") + std::to_string(value);
    }
    record->vnRelease();
    return told;
  }
  // "out", the row, or what failed.
  std::string Current(const SOpen& o) {
    int out = 0;
    if (!o.table->bHEnDehors(o.ctx, o.road->item, &out)) return "HEnDehors failed " + Error(o);
    return out != 0 ? "out" : Told(o);
  }

  // The road's rows as the server's FROM reads them.
  std::string Source(const SRoad& road) const {
    return road.query != nullptr ? "(" + Named(road.query) + ")" : road.source == ESource::kBare ? Named("{B}") : Named("{K}");
  }
  static const wchar_t* FilterItem(const SRoad& road) { return road.filterItem != nullptr ? road.filterItem : road.item; }

  // The server's rows of the road, under the filter when given, in the browse's order.
  std::vector<SRow> Rows(const SRoad& road, const std::string& filter) {
    const std::string source = Source(road);
    std::string key;
    for (const std::string& k : Split(road.key, ',')) key += ", " + (k[0] == '-' ? k.substr(1) : k);
    RawRows rows;
    std::string err;
    std::vector<SRow> out;
    const std::string sql = "SELECT CONCAT_WS(',', " + std::string(road.columns) + ")" + key + " FROM " + source +
                            " q" + (filter.empty() ? "" : " WHERE " + filter);
    EXPECT_TRUE(m_raw.query(sql, &rows, &err)) << sql << ": " << err;
    const std::vector<std::string> keys = Split(road.key, ',');
    for (const RawRow& r : rows) {
      SRow row{r.at(0).value_or("NULL"), {}};
      for (size_t i = 0; i < keys.size(); ++i) {
        // NULL first, as the server sorts it upwards.
        const std::optional<std::string>& cell = r.at(i + 1);
        const long long v = cell ? std::stoll(*cell) : kNull;
        row.key.push_back(keys[i][0] == '-' ? -v : v);
      }
      out.push_back(row);
    }
    std::sort(out.begin(), out.end(), [](const SRow& a, const SRow& b) { return a.key < b.key; });
    return out;
  }
  // Whether the keyed table holds id.
  bool Taken(long long id) {
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_raw.query(Named("SELECT id FROM {K} WHERE id = " + std::to_string(id)), &rows, &err)) << err;
    return !rows.empty();
  }
  long long ServerCount(const SRoad& road, const std::string& filter) {
    return static_cast<long long>(Rows(road, filter).size());
  }

  // Where the model stands.
  enum class EAt { kNowhere, kRow, kBefore, kAfter };
  struct SModel {
    EAt at = EAt::kNowhere;
    SRow row;
    std::string filter;      // the filter's condition as the server reads it, "" for none
    std::string latest;      // the one set last, for F+
    std::vector<SRow> rows;  // under the filter in force
    bool stale = true;
    // Rows changed by the raw connection since the browse last ran its SELECT from an end: an
    // open result or block still shows the rows as they were.
    bool snapshot = false;
  };
  const std::vector<SRow>& Model(SModel* m, const SRoad& road) {
    if (m->stale) m->rows = Rows(road, m->filter);
    m->stale = false;
    return m->rows;
  }
  // The rows before the model's row in the browse's order; its own rank when it is one of them.
  static long long Before(const std::vector<SRow>& rows, const SRow& row) {
    return std::lower_bound(rows.begin(), rows.end(), row, [](const SRow& a, const SRow& b) { return a.key < b.key; }) -
           rows.begin();
  }
  static bool Holds(const std::vector<SRow>& rows, const SRow& row) {
    const long long at = Before(rows, row);
    return at < static_cast<long long>(rows.size()) && rows[static_cast<size_t>(at)].key == row.key;
  }
  // The model lands on rank i of its rows, or out.
  static void Land(SModel* m, long long i) {
    const long long n = static_cast<long long>(m->rows.size());
    if (i < 0) {
      m->at = EAt::kBefore;
    } else if (i >= n) {
      m->at = EAt::kAfter;
    } else {
      m->at = EAt::kRow;
      m->row = m->rows[static_cast<size_t>(i)];
    }
  }
  // The model moved by m rows from where it stands (m > 0 forward).
  static void Move(SModel* m, long long by) {
    const long long n = static_cast<long long>(m->rows.size());
    if (m->at == EAt::kRow) {
      const long long before = Before(m->rows, m->row);
      const bool held = Holds(m->rows, m->row);
      Land(m, by > 0 ? before + by - (held ? 0 : 1) : before + by);
    } else if (m->at == EAt::kBefore && by > 0) {
      Land(m, by - 1);
    } else if (m->at == EAt::kAfter && by < 0) {
      Land(m, n + by);
    }
  }

  // The filter's bounds: the browse item's values at a% and b% of the rows.
  // The filter's bounds: the filtered item's values at a% and b% of the rows; its condition as the
  // server reads it.
  std::string FilterOf(const SRoad& road, int a, int b, CAny* lo, CAny* hi) {
    const std::string column = Narrow(FilterItem(road));
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_raw.query("SELECT " + column + " FROM " + Source(road) + " q WHERE " + column + " IS NOT NULL ORDER BY " +
                                column,
                            &rows, &err))
        << err;
    if (rows.empty()) return "";
    const size_t n = rows.size();
    const long long low = std::stoll(rows[std::min(n - 1, n * static_cast<size_t>(a) / 100)].at(0).value_or("0"));
    const long long high = std::stoll(rows[std::min(n - 1, n * static_cast<size_t>(b) / 100)].at(0).value_or("0"));
    lo->SetI4(static_cast<int>(low));
    hi->SetI4(static_cast<int>(high));
    return column + " BETWEEN " + std::to_string(std::min(low, high)) + " AND " + std::to_string(std::max(low, high));
  }



 public:
  // Runs a script on a road in blocks of cache (0 the default, -1 the whole result); "" when
  // every answer was the model's, else what differed.
  std::string Run(const SRoad& road, const SScript& script, int cache, bool rowCache) {
    const std::string where = std::string(road.name) + ", " + script.name + ", blocks of " +
                              (cache == 0 ? "default" : std::to_string(cache)) + (rowCache ? "" : ", no row cache");
    Fill();
    SOpen o;
    const std::string why = Open(&o, road, cache, rowCache);
    if (!why.empty()) {
      Close(&o);
      return where + ": " + why + "\n";
    }
    std::string failures;
    SModel m;
    // Every move, count and place asks the server.
    const bool strict = cache == 1 && !rowCache && road.limited;
    int added = 0;
    {
      int need = -1;
      if (!o.table->bNbEnrNeedParse(o.ctx, &need, road.item) || need != (road.query != nullptr ? 1 : 0))
        failures += where + ": bNbEnrNeedParse " + std::to_string(need) + "\n";
    }
    const std::vector<std::string> ops = Split(script.ops, ' ');
    for (size_t step = 0; step < ops.size(); ++step) {
      const std::string& op = ops[step];
      const std::string at = where + ", at " + op + " (step " + std::to_string(step) + "): ";
      const std::vector<SRow>& rows = Model(&m, road);
      const long long n = static_cast<long long>(rows.size());
      const long long arg = op.size() > 1 && op[0] != 'F' && op[0] != 'r' ? std::stoll(op.substr(1)) : 0;
      BOOL ok = TRUE;
      bool moves = true;
      if (op[0] == 'X' || op[0] == 'A' || op[0] == 'D' || op[0] == 'H' || op[0] == 'M') m_changed = true;
      switch (op[0]) {
        case 'f':
        case 'l':
        case 'n':
        case 'p': {
          const eNA_PARSEDIRECTION dir = op[0] == 'f'   ? NA_PARSE_FIRST
                                         : op[0] == 'l' ? NA_PARSE_LAST
                                         : op[0] == 'n' ? NA_PARSE_NEXT
                                                        : NA_PARSE_PREVIOUS;
          ok = o.table->bHLitxxx(o.ctx, road.item, dir, 1, kNoLock, nullptr, o.flags);
          if (op[0] == 'f') Land(&m, 0);
          if (op[0] == 'l') Land(&m, n - 1);
          if (op[0] == 'n') Move(&m, 1);
          if (op[0] == 'p') Move(&m, -1);
          break;
        }
        case 'k': {
          const bool back = op[1] == '-';
          ok = o.table->bSkipRecord(o.ctx, road.item, back ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, arg < 0 ? -arg : arg, 1,
                                    kNoLock, nullptr, o.flags);
          if (arg != 0) Move(&m, arg);
          break;
        }
        case 'K':
          ok = o.table->bSkipRecord(o.ctx, road.item, NA_PARSE_FIRST, arg, 1, kNoLock, nullptr, o.flags);
          // By none from before the first row stays there.
          Land(&m, arg - 1);
          break;
        case 's': {
          // The value of the browse item the row of rank arg holds (the next one not NULL),
          // sought from the first row.
          long long rank = arg;
          while (rank < n && rows[static_cast<size_t>(rank)].key[0] == kNull) ++rank;
          if (rank >= n) break;
          const long long sign = road.key[0] == '-' ? -1 : 1;
          const long long wanted = rows[static_cast<size_t>(rank)].key[0];
          CAny value;
          value.SetI4(static_cast<int>(sign * wanted));
          ok = o.table->bHRecherche(o.ctx, road.item, &value, 0, 1, kNoLock, nullptr, 1, o.flags);
          long long first = 0;
          while (rows[static_cast<size_t>(first)].key[0] != wanted) ++first;
          Land(&m, first);
          int found = 0;
          if (ok && (!o.table->bEvalHTrouve(o.ctx, road.item, &found, nullptr) || found == 0))
            failures += at + "the value " + std::to_string(sign * wanted) + " not found\n";
          break;
        }
        case 'x': {
          ok = o.table->bHPositionne(o.ctx, road.item, static_cast<unsigned int>(arg), kPrecision, o.flags);
          Land(&m, (arg == 0 ? 1 : std::max(n * arg / 1000, 1LL)) - 1);
          break;
        }
        case 'c': {
          moves = false;
          if (m.at != EAt::kRow || !Holds(rows, m.row) || (m.snapshot && !strict)) break;
          int place = -1;
          if (!o.table->bHPositionCourante(o.ctx, road.item, &place, kPrecision, 0)) {
            failures += at + "HPositionCourante failed " + Error(o) + "\n";
            break;
          }
          // Any rank inside the run of rows the browse item holds equal.
          std::vector<int> places;
          for (long long r = 0; r < n; ++r)
            if (rows[static_cast<size_t>(r)].key[0] == m.row.key[0])
              places.push_back(static_cast<int>((1000 * (r + 1) + n - 1) / n));
          if (std::find(places.begin(), places.end(), place) == places.end())
            failures += at + "place " + std::to_string(place) + " of row " + m.row.tell + ", the server's " +
                        std::to_string(places.front()) + " (" + std::to_string(n) + " rows)\n";
          break;
        }
        case 'N': {
          moves = false;
          if (m.snapshot && !strict) break;
          const long long all = ServerCount(road, "");
          const long long filtered = static_cast<long long>(rows.size());
          struct {
            unsigned int options, flags;
            long long want;
          } asks[] = {{kCountRows, 0, all}, {kCountRows, kUnderFilter, m.filter.empty() ? all : filtered}, {0, 0, 0}};
          for (const auto& ask : asks) {
            long long count = -7;
            const BOOL answered = o.table->bHNbEnr(o.ctx, &count, ask.options, ask.flags);
            if (!answered || count != ask.want)
              failures += at + "count (" + std::to_string(ask.options) + ", " + std::to_string(ask.flags) + ") " +
                          (answered ? std::to_string(count) : "failed " + Error(o)) + ", the server's " +
                          std::to_string(ask.want) + "\n";
          }
          break;
        }
        case 'r': {
          // The row read last is shown again, marked deleted when the server no longer holds it.
          moves = false;
          const std::string was = Current(o);
          if (was == "out") break;
          if (op == "r5") {
            // Only record number 0 is known: user error 18, the row left as it was.
            const BOOL read = o.table->bHLit(o.ctx, 5, kNoLock, nullptr);
            if (read || o.table->piGetLastError(o.ctx)->dwGetErrorId() != 18 || Current(o) != was)
              failures += at + "record number 5 read: " + (read ? "TRUE" : Error(o)) + ", on " + Current(o) + "\n";
            break;
          }
          ok = o.table->bHLit(o.ctx, 0, kNoLock, nullptr);
          if (ok && Told(o) != was) failures += at + "read again " + Told(o) + " for " + was + "\n";
          bool held = false;
          for (const SRow& r : Rows(road, "")) held = held || r.tell == was;
          unsigned int state = 0;
          if (ok && road.query == nullptr && (!o.table->bGetRecNumState(o.ctx, 0, &state) || (state == 128) == held))
            failures += at + "row " + was + (held ? " held" : " gone") + " read again in state " + std::to_string(state) + "\n";
          break;
        }
        case 'F': {
          moves = false;
          if (op == "F-") {
            // Off on the statement of the filter and on the browse it was carried to.
            ok = o.table->bHDesactiveFiltre(o.ctx, road.item, 0) && o.table->bHDesactiveFiltre(o.ctx, FilterItem(road), 0);
            m.filter = "";
          } else if (op == "F+") {
            ok = o.table->bHActiveFiltre(o.ctx, FilterItem(road), 0);
            m.filter = m.latest;
          } else if (op == "F0") {
            // A value no row holds.
            CAny none;
            none.SetI4(987654);
            m.latest = m.filter = Narrow(FilterItem(road)) + " = 987654";
            ok = o.table->bHFiltre(o.ctx, FilterItem(road), &none, 1, &none, 1, nullptr);
          } else {
            const std::vector<std::string> bounds = Split(op.substr(1), ',');
            CAny lo, hi;
            m.latest = m.filter = FilterOf(road, std::stoi(bounds[0]), std::stoi(bounds[1]), &lo, &hi);
            ok = o.table->bHFiltre(o.ctx, FilterItem(road), &lo, 1, &hi, 1, nullptr);
          }
          m.stale = true;
          break;
        }
        case 'X':
        case 'A': {
          moves = false;
          if (m.at != EAt::kRow) break;
          const long long i = Before(rows, m.row) + arg;
          if (i < 0 || i >= n) break;
          const std::vector<std::string> told = Split(rows[static_cast<size_t>(i)].tell, ',');
          if (op[0] == 'X') {
            std::string sql = Named(road.remove);
            for (size_t c = 0; c < told.size(); ++c) sql = Replaced(sql, "{" + std::to_string(c) + "}", told[c]);
            Raw(sql);
          } else if (road.source == ESource::kBare) {
            Raw(Named("INSERT INTO {B} VALUES (" + told[0] + ", " + told[1] + " + 1 + " + std::to_string(++added) +
                      ", 'a')"));
          } else {
            // Just after the row in the order of id and of each key then id: a free id next to it,
            // the same values.
            const long long id = std::stoll(told[0]);
            const long long free = Taken(id + 1) ? id + 2 : id + 1;
            Raw(Named("INSERT INTO {K} SELECT " + std::to_string(free) + ", d, t, e FROM {K} WHERE id = " + told[0]));
          }
          m.stale = true;
          m.snapshot = true;
          break;
        }
        case 'D':
          ok = o.table->bHSupprime(o.ctx, 0, kNoLock);
          m.stale = true;
          moves = false;
          break;
        case 'M': {
          // The browse item of the current row moved past every other value.
          if (m.at != EAt::kRow) break;
          CNAKJRecord* record = nullptr;
          ok = o.table->bGetRecord(o.ctx, &record) && record != nullptr;
          if (ok) {
            INAItemDescription* item = Item(o, road.item);
            int32_t value = 0;
            memcpy(&value, record->pbyGetValues() + item->nGetOffset(0), 4);
            value += 1000;
            record->vSetItemValue(item, &value, 4, 0);
            item->nExternalRelease();
            ok = m_loader.bSetRecord(o.table, o.ctx, record) && o.table->bHModifie(o.ctx, 0, 0, kNoLock);
            record->vnRelease();
          }
          m.stale = true;
          moves = false;
          break;
        }
        case 'H': {
          CNAKJRecord* record = nullptr;
          ok = o.table->bGetRecord(o.ctx, &record) && record != nullptr;
          if (ok) {
            const std::vector<std::string> told = Split(m.row.tell, ',');
            const bool bare = road.source == ESource::kBare;
            INAItemDescription* item = Item(o, bare ? L"y" : L"id");
            const int32_t value = std::stoi(told[bare ? 1 : 0]) + 1;
            record->vSetItemValue(item, &value, 4, 0);
            item->nExternalRelease();
            ok = m_loader.bSetRecord(o.table, o.ctx, record) && o.table->bHAjoute(o.ctx, 0, kNoLock);
            record->vnRelease();
          }
          m.stale = true;
          m.at = EAt::kNowhere;
          moves = false;
          break;
        }
        default:
          ADD_FAILURE() << "no such op " << op;
      }
      // A row of a query sent as written is named only in its table cache: without it, the
      // server (no sub-query on MySQL) cannot be asked for it again (user error 41).
      if (!ok && road.asWritten && (op[0] == 'r' || op[0] == 's') &&
          o.table->piGetLastError(o.ctx)->dwGetErrorId() == 41) {
        m.at = EAt::kNowhere;
        continue;
      }
      if (!ok) {
        failures += at + "FALSE " + Error(o) + "\n";
        break;
      }
      if (op == "f" || op == "l") m.snapshot = false;
      if (!moves || m.at == EAt::kNowhere || (m.snapshot && !strict)) continue;
      const std::string got = Current(o);
      const std::string want = m.at == EAt::kRow ? m.row.tell : "out";
      if (got != want) {
        failures += at + "on " + got + ", the server's " + want + "\n";
        break;
      }
    }
    Close(&o);
    return failures;
  }

 protected:
  std::string m_keyed, m_bare, m_placed = "qx_cnt_none";
  std::wstring m_wkeyed, m_wbare;
  SFile m_keyedFile, m_descendingFile, m_bareFile;
  SFile& File(ESource source) {
    return source == ESource::kKeyed ? m_keyedFile : source == ESource::kDescending ? m_descendingFile : m_bareFile;
  }
  std::map<int, CHostConnectionDescription*> m_hosts;
  std::deque<CHostContext> m_contexts;
  bool m_changed = true;
};

TEST_P(CountsPlacesLoaded, CountsPlacesAndSkipsAreTheServers) {
  std::string failures;
  for (const SRoad& road : kRoads)
    for (const SScript& script : kScripts) {
      if ((script.writes && !road.writes) || (script.filters && !road.filters) || (script.values && !road.numeric))
        continue;
      for (const int cache : {1, 3, 0, -1})
        for (const bool rowCache : {true, false})
          failures += Run(road, script, cache, rowCache);
    }
  EXPECT_EQ(failures, "");
}

// Short scripts on one road each, every block size, row cache on and off.
struct SCase {
  const char* road;  // a name of kRoads
  const char* ops;
};
std::string RunCases(CountsPlacesLoaded* test, const std::vector<SCase>& cases) {
  std::string failures;
  for (const SCase& c : cases)
    for (const SRoad& road : kRoads)
      if (std::string(road.name) == c.road)
        for (const int cache : {1, 3, 0, -1})
          for (const bool rowCache : {true, false})
            failures += test->Run(road, SScript{c.ops, c.ops, false, false}, cache, rowCache);
  return failures;
}


// Rows the host deleted from a result are no longer counted off the next result the browse
// reads, which never held them.
TEST_P(CountsPlacesLoaded, CountAfterOwnDeletesInAResultReadAgainIsTheServers) {
  EXPECT_EQ(RunCases(this, {{"table by its unique key", "f D l N x500 c"},
                            {"table by a key with duplicates", "f k+2 D p l D x999 N c"},
                            {"table without a key", "f D k+3 D x500 N l N c"}}),
            "");
}

// The current row deleted a second time (the server deletes nothing more) is counted off once.
TEST_P(CountsPlacesLoaded, RowDeletedTwiceIsCountedOffOnce) {
  EXPECT_EQ(RunCases(this, {{"table by its unique key", "f k+3 D D N p x999 c"},
                            {"table by a key with duplicates", "f k+2 D D p x999 N c"}}),
            "");
}

// A skip right after the filter changed (no read between) moves among the new filter's rows
// from the current row's place in them, as a read does; from an end it reads them anew.
TEST_P(CountsPlacesLoaded, SkipAfterAFilterChangeMovesAmongTheNewFiltersRows) {
  EXPECT_EQ(RunCases(this, {{"table by its unique key", "f k+5 F20,80 k+2 c F- k-1 c"},
                            {"table by a key with duplicates", "l F20,80 k-3 c F10,50 K2 c"},
                            {"query with WHERE", "f F20,80 k+2 c"},
                            {"query with LIMIT", "f k+5 F20,80 k+2 c k-1 c"},
                            {"query with DISTINCT", "f F20,80 k+2 c x500 c"}}),
            "");
}

// A browse on a table's descending key goes on downwards in blocks, skips, seeks, counts the
// rows before its row and filters, as the server orders it.
TEST_P(CountsPlacesLoaded, BrowseOnADescendingKeyGoesOnDownwardsInBlocks) {
  EXPECT_EQ(RunCases(this, {{"table by a descending key", "f n n c k+5 c k+40 c p K60 c l p k-7 c"},
                            {"table by a descending key", "s40 n c k+3 c F20,80 N f k+2 c x500 c l c"}}),
            "");
}

// HPositionne counts the rows of the filter its flags carry from the browse the filter was set
// on, the rows its skip then moves among.
TEST_P(CountsPlacesLoaded, PositionneCountsTheRowsOfTheFilterItCarries) {
  EXPECT_EQ(RunCases(this, {{"table by its unique key, filtered on another", "f k+10 F25,75 x500 c"},
                            {"table by its unique key, filtered on another", "l F10,60 x250 c x999 c"}}),
            "");
}

// HPositionCourante answers the place among the rows of the filter in force, as HPositionne
// counts them: not a rank among them over the count of every row.
TEST_P(CountsPlacesLoaded, PlaceUnderAFilterIsAmongTheFiltersRows) {
  EXPECT_EQ(RunCases(this, {{"table by its unique key", "F25,75 f c k+3 c x500 c l c"},
                            {"table by a key with duplicates", "F25,75 l c k-5 c x250 c"},
                            {"query with WHERE", "F25,75 f c x750 c"},
                            {"query with DISTINCT", "F25,75 f c n c"}}),
            "");
}

// A filter on the column a query sorts descending lets its rows through, bounds given either
// way round.
TEST_P(CountsPlacesLoaded, FilterOnAColumnAQuerySortsDescendingKeepsItsRows) {
  EXPECT_EQ(RunCases(this, {{"query with ORDER BY", "F25,75 N f c n c l c"}, {"query with ORDER BY", "F75,25 N l p c"}}),
            "");
}

// A row of a grouped query is read again and found again by its group: its aggregate is no
// condition a WHERE may hold.
TEST_P(CountsPlacesLoaded, GroupedQueryRowIsReadAgainAndFoundAgainByItsGroup) {
  EXPECT_EQ(RunCases(this, {{"query with GROUP BY", "f k+2 r n c"}, {"query with GROUP BY", "F25,75 f n F- n c N"}}), "");
}

// HPositionCourante answers a place within 0 and 1,000 whether the row stood on before the filter
// was set lies before, among or after the filter's rows; on one of them, its rank among them over
// their count, as HPositionne counts them.
TEST_P(CountsPlacesLoaded, PlaceOfARowStoodOnBeforeTheFilterStaysWithinAThousand) {
  // a the primary key; (g, h) a composite key ordering the rows by a's last digit, then a.
  m_placed = "qx_cnt_p_" + NameOfRun("");
  Raw("DROP TABLE IF EXISTS `" + m_placed + "`");
  Raw("CREATE TABLE `" + m_placed +
      "` (a INT NOT NULL PRIMARY KEY, g INT NOT NULL, h INT NOT NULL, UNIQUE KEY (g, h))");
  std::string values;
  for (int a = 1; a <= 500; ++a)
    values += (values.empty() ? "(" : ",(") + std::to_string(a) + "," + std::to_string(a % 10) + "," +
              std::to_string(a) + ")";
  Raw("INSERT INTO `" + m_placed + "` VALUES " + values);
  const std::wstring table = WideOfUTF8(m_placed);
  SFile file;
  file.desc.m_pszName = file.desc.m_pszPhysicalName = file.desc.m_pszDBTableName = table.c_str();
  for (const wchar_t* name : {L"a", L"g", L"h", L"gh"}) {
    const bool composite = name[1] != 0;
    CHostItemDescription& item = file.items.emplace_back(name, composite ? NA_IT_BINAIRE : NA_IT_I4, composite ? 8 : 4);
    item.m_wKeyFlags = name[0] == L'a' ? 0x8000 : composite ? 0x1000 | 0x4000 : 0;
    item.m_bNullAllowed = FALSE;
    item.m_pszNameInSource = composite ? L"" : name;
    item.m_pszSourceName = table.c_str();
    if (composite) item.m_tabComponents = {&file.items[1], &file.items[2]};
    file.desc.Add(&item);
  }
  file.desc.m_pBestParseItem = &file.items.front();

  // The browse item is the one filtered: a by a's bounds, gh by (g, h) bounds.
  const struct {
    const wchar_t* item;
    int row;  // the a of the row stood on
    int lo[2], hi[2];
  } cases[] = {
      // After the filter's rows, before them, among them.
      {L"a", 402, {44}, {269}}, {L"a", 270, {44}, {269}}, {L"a", 500, {44}, {269}},
      {L"a", 43, {44}, {269}}, {L"a", 1, {44}, {269}},
      {L"a", 44, {44}, {269}}, {L"a", 150, {44}, {269}}, {L"a", 269, {44}, {269}},
      {L"a", 301, {300}, {300}}, {L"a", 299, {300}, {300}}, {L"a", 300, {300}, {300}},
      // (6, 306) and (9, 499) after, (1, 11) and (2, 52) before, (2, 102), (4, 4) and (6, 296) among.
      {L"gh", 306, {2, 100}, {6, 300}}, {L"gh", 499, {2, 100}, {6, 300}},
      {L"gh", 11, {2, 100}, {6, 300}}, {L"gh", 52, {2, 100}, {6, 300}},
      {L"gh", 102, {2, 100}, {6, 300}}, {L"gh", 4, {2, 100}, {6, 300}}, {L"gh", 296, {2, 100}, {6, 300}},
  };
  const auto number = [&](const std::string& sql) {
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_raw.query(sql, &rows, &err)) << sql << ": " << err;
    return rows.empty() ? 0LL : std::stoll(rows.front().at(0).value_or("0"));
  };
  std::string failures;
  for (const auto& c : cases) {
    const bool composite = c.item[1] != 0;
    // The host's value of the browse item: a composite key holds its components' 4 bytes each.
    const auto key = [&](const int* v, CAny* value) {
      if (composite)
        value->SetBIN(reinterpret_cast<const unsigned char*>(v), 8);
      else
        value->SetI4(v[0]);
    };
    const auto pair = [](const int* v) { return "(" + std::to_string(v[0]) + ", " + std::to_string(v[1]) + ")"; };
    const std::string filter = composite ? "(g, h) >= " + pair(c.lo) + " AND (g, h) <= " + pair(c.hi)
                                         : "a BETWEEN " + std::to_string(c.lo[0]) + " AND " + std::to_string(c.hi[0]);
    const std::string ranked = "SELECT r FROM (SELECT a, ROW_NUMBER() OVER (ORDER BY " +
                               std::string(composite ? "g, h" : "a") + ") r FROM `" + m_placed + "`{W}) q WHERE a = " +
                               std::to_string(c.row);
    const long long all = number(Replaced(ranked, "{W}", ""));
    const long long rank = number(Replaced(ranked, "{W}", " WHERE " + filter));
    const long long count = number("SELECT COUNT(*) FROM `" + m_placed + "` WHERE " + filter);
    for (const bool sought : {false, true})
      for (const int cache : {1, 3, 0, -1})
        for (const bool rowCache : {true, false}) {
          const std::string where = Narrow(c.item) + " on a = " + std::to_string(c.row) +
                                    (sought ? " sought, " : " read, ") + filter + ", blocks of " +
                                    std::to_string(cache) + (rowCache ? "" : ", no row cache") + ": ";
          const unsigned int flags = rowCache ? 0 : kNoRowCache;
          CHostContext* ctx = &m_contexts.emplace_back(static_cast<DWORD>(5000 + m_contexts.size()), 1);
          INATable* t = m_loader.piGetTable(Host(cache), &file.desc);
          if (t == nullptr || !t->bHOuvre(ctx, kReadWrite, nullptr)) {
            failures += where + "not opened\n";
            if (t != nullptr) t->nExternalRelease();
            m_driver->bCloseContext(ctx);
            continue;
          }
          const int row[2] = {c.row % 10, c.row};
          CAny value, lo, hi;
          key(composite ? row : &c.row, &value);
          key(c.lo, &lo);
          key(c.hi, &hi);
          const BOOL stood = sought ? t->bHRecherche(ctx, c.item, &value, 0, 1, kNoLock, nullptr, 1, flags)
                                    : t->bSkipRecord(ctx, c.item, NA_PARSE_FIRST, all, 1, kNoLock, nullptr, flags);
          CNAKJRecord* record = nullptr;
          int32_t a = 0;
          if (stood && t->bGetRecord(ctx, &record) && record != nullptr) {
            memcpy(&a, record->pbyGetValues() + file.items.front().nGetOffset(0), 4);
            record->vnRelease();
          }
          int place = -1;
          if (a != c.row)
            failures += where + "stood on " + std::to_string(a) + "\n";
          else if (!t->bHFiltre(ctx, c.item, &lo, 1, &hi, 1, nullptr))
            failures += where + "not filtered " + Narrow(t->piGetLastError(ctx)->pszGetError()) + "\n";
          else if (!t->bHPositionCourante(ctx, c.item, &place, kPrecision, 0))
            failures += where + "HPositionCourante failed " + Narrow(t->piGetLastError(ctx)->pszGetError()) + "\n";
          else if (place < 0 || place > 1000 || (rank != 0 && place != (1000 * rank + count - 1) / count))
            failures += where + "place " + std::to_string(place) +
                        (rank != 0 ? ", the server's rank " + std::to_string(rank) : ", outside") + " of " +
                        std::to_string(count) + "\n";
          t->bHFerme(ctx);
          t->nExternalRelease();
          m_driver->bCloseContext(ctx);
        }
  }
  EXPECT_EQ(failures, "");
}

INSTANTIATE_TEST_SUITE_P(PagesAndModes, CountsPlacesLoaded,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Values(false, true)));

}  // namespace

// Two files of one table (two contexts), on one connection description and on two, beside a raw
// connection of the client library, through the loaded library on both code pages and SQL modes:
// a unique key, a key with duplicates, a composite key and a table without a key. One file
// browses both ways in blocks of 1, 3, the default and the whole result, row cache on and off,
// while the other file and the raw connection add, modify (the key moving and not) and delete rows
// around its current row between reads. The server is the model, read raw after every change:
// - a browse in blocks of one row reads, each time, the server's next row after the place of the
//   row it stands on, with the server's values;
// - any browse reads rows in the order of their places, never one twice, never one added behind
//   it, every row there from the start and never touched, and only values a row held;
// - a modify or delete naming a row the other file changed reaches that row as the server holds
//   it or fails, never another row, and never answers TRUE for nothing written;
// - a return to a saved position lands on its row after the other file wrote around or on it;
// - a read after a file deleted the last row of its block goes on past that row's place;
// - a write after the file moved its row and read past the end names the row as written.
// Random walks of both files (fixed seeds) mix reads both ways with writes of the rows they stand
// on; a file's own caches may show its record as it wrote it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "access/inatable.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "sql/nakjrecord.h"
#include "tests/support/loaded_types.h"

namespace {

constexpr eNA_ACCESS kReadWrite{0};
constexpr eNA_LOCKTYPE kNoLock{0};
constexpr unsigned int kNoRowCache = 0x10000;
constexpr unsigned short kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000, kComposite = 0x1000;

using Row = std::vector<int>;

std::string Text(const Row& r) {
  std::string s;
  for (int v : r) s += (s.empty() ? "" : ",") + std::to_string(v);
  return "(" + s + ")";
}

// The keyed table's columns (id its primary key, d a key with duplicates, (a, b) a unique
// composite key) and the keyless table's, in the host file's order.
const std::vector<std::string> kKeyedColumns = {"id", "d", "a", "b", "w"};
const std::vector<std::string> kKeylessColumns = {"k", "w"};
constexpr size_t kId = 0, kD = 1, kA = 2, kB = 3, kW = 4;

// A browse: its table, the item the file reads on and the columns of the server's order of it.
struct SBrowse {
  const char* name;
  bool keyless;
  const wchar_t* item;
  std::vector<size_t> order;
};
const SBrowse kBrowses[] = {
    {"unique key", false, L"id", {kId}},
    {"key with duplicates", false, L"d", {kD, kId}},
    {"composite key", false, L"ab", {kA, kB}},
    {"no key", true, L"k", {0, 1}},
};

// What changes around the reading file's current row between two reads.
enum Change {
  kValueCurrent,    // a column outside the order
  kMoveCurrentAhead,
  kMoveCurrentBehind,
  kValueAhead,
  kMoveAheadBehind,
  kDeleteCurrent,
  kDeleteAhead,
  kAddAhead,
  kAddBehind,
};
const Change kChanges[] = {kValueCurrent, kMoveCurrentAhead, kMoveCurrentBehind, kValueAhead, kMoveAheadBehind,
                           kDeleteCurrent, kDeleteAhead,     kAddAhead,          kAddBehind};
const char* ChangeName(Change c) {
  switch (c) {
    case kValueCurrent: return "the current row's value changed";
    case kMoveCurrentAhead: return "the current row moved ahead";
    case kMoveCurrentBehind: return "the current row moved behind";
    case kValueAhead: return "the row ahead changed";
    case kMoveAheadBehind: return "the row ahead moved behind";
    case kDeleteCurrent: return "the current row deleted";
    case kDeleteAhead: return "the row ahead deleted";
    case kAddAhead: return "a row added ahead";
    case kAddBehind: return "a row added behind";
  }
  return "";
}

// A file's reads: its block size ("QX Cache Size"; 0 the driver's default, -1 the whole result)
// and the row cache.
struct SMode {
  int block;
  bool rowCache;
};
const SMode kModes[] = {{1, true}, {1, false}, {3, true}, {3, false}, {0, true}, {0, false}, {-1, true}, {-1, false}};
std::string ModeName(const SMode& m) {
  return std::string("blocks of ") + (m.block == 0 ? "default" : m.block < 0 ? "whole" : std::to_string(m.block)) +
         (m.rowCache ? "" : ", no row cache");
}

// ---------------------------------------------------------------- the model's order

// The place of a row in a browse: its values of the order's columns.
Row Place(const SBrowse& b, const Row& r) {
  Row p;
  for (size_t c : b.order) p.push_back(r[c]);
  return p;
}
// A row is told apart from another by its place, and on the keyed table by its id as well: a row
// whose key moved is another row of the browse.
Row Identity(const SBrowse& b, const Row& r) {
  Row p = Place(b, r);
  if (!b.keyless) p.push_back(r[kId]);
  return p;
}
// -1, 0 or 1 as p comes before, at or after q in the direction of s (1 forward, -1 backward).
int Compare(const Row& p, const Row& q, int s) { return p < q ? -s : q < p ? s : 0; }

// The rows of state in the browse's order in the direction of s.
std::vector<Row> Ordered(const SBrowse& b, std::vector<Row> state, int s) {
  std::sort(state.begin(), state.end(), [&](const Row& x, const Row& y) { return Compare(Place(b, x), Place(b, y), s) < 0; });
  return state;
}
// The first row of state after place (none: from the start) in the direction of s.
std::optional<Row> After(const SBrowse& b, const std::vector<Row>& state, const std::optional<Row>& place, int s) {
  for (const Row& r : Ordered(b, state, s))
    if (!place || Compare(Place(b, r), *place, s) > 0) return r;
  return std::nullopt;
}
std::optional<Row> Before(const SBrowse& b, const std::vector<Row>& state, const Row& place, int s) {
  return After(b, state, place, -s);
}

// A row of a place just past from in the direction of s, before to (none: no bound), free in
// state: its last order column moved on by 1 to 9; the columns outside the order of template.
std::optional<Row> Between(const SBrowse& b, const std::vector<Row>& state, const Row& from, const std::optional<Row>& to,
                           int s, Row row) {
  for (size_t c : b.order) row[c] = from[c];
  for (int delta = 1; delta < 10; ++delta) {
    row[b.order.back()] = from[b.order.back()] + s * delta;
    if (to && Compare(Place(b, row), Place(b, *to), s) >= 0) return std::nullopt;
    bool free = true;
    for (const Row& r : state)
      free = free && Place(b, r) != Place(b, row) && (b.keyless || (r[kId] != row[kId] && !(r[kA] == row[kA] && r[kB] == row[kB])));
    if (free) return row;
  }
  return std::nullopt;
}

// row moved just past target in the direction of s: on the key with duplicates by d alone, past
// the rows equal to target's.
std::optional<Row> Moved(const SBrowse& b, const std::vector<Row>& state, Row row, const Row& target, int s) {
  if (!b.keyless && b.order.front() == kD) {
    row[kD] = target[kD] + s * 5;
    return row;
  }
  return Between(b, state, target, std::nullopt, s, row);
}

// An open file: its table object, context and the items of its columns.
struct SFile {
  INATable* table = nullptr;
  CHostContext* ctx = nullptr;
  std::vector<INAItemDescription*> items;
};

// What a read gave: a row, out of range (no row), or a failure.
struct SRead {
  enum { kRow, kOut, kFailed } state = kFailed;
  Row row;
  std::string error;
};

class TwoFiles : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    const std::string tail = NameOfRun("");
    m_keyed = "qx_two_" + tail;
    m_keyless = "qx_twonk_" + tail;
    m_wkeyed.assign(m_keyed.begin(), m_keyed.end());
    m_wkeyless.assign(m_keyless.begin(), m_keyless.end());
    Raw("DROP TABLE IF EXISTS `" + m_keyed + "`, `" + m_keyless + "`");
    Raw("CREATE TABLE `" + m_keyed +
        "` (id INT NOT NULL PRIMARY KEY, d INT NOT NULL, a INT NOT NULL, b INT NOT NULL, w INT NOT NULL, KEY (d), "
        "UNIQUE KEY (a, b)) ENGINE=InnoDB");
    Raw("CREATE TABLE `" + m_keyless + "` (k INT NOT NULL, w INT NOT NULL) ENGINE=InnoDB");
    // The keyed file: id its best browse item.
    m_keyedFile.m_pszName = m_keyedFile.m_pszPhysicalName = m_keyedFile.m_pszDBTableName = m_wkeyed.c_str();
    const std::pair<const wchar_t*, unsigned short> keyed[] = {
        {L"id", kPrimary}, {L"d", kDuplicates}, {L"a", 0}, {L"b", 0}, {L"w", 0}};
    for (const auto& [name, keys] : keyed) AddItem(&m_keyedFile, name, NA_IT_I4, 4, keys);
    CHostItemDescription* ab = AddItem(&m_keyedFile, L"ab", NA_IT_BINAIRE, 8, kComposite | kUnique);
    ab->m_tabComponents = {&m_items[2], &m_items[3]};
    m_keyedFile.m_pBestParseItem = &m_items[0];
    // The keyless file: k a key of the host's only.
    m_keylessFile.m_pszName = m_keylessFile.m_pszPhysicalName = m_keylessFile.m_pszDBTableName = m_wkeyless.c_str();
    AddItem(&m_keylessFile, L"k", NA_IT_I4, 4, kDuplicates);
    AddItem(&m_keylessFile, L"w", NA_IT_I4, 4, 0);
  }
  void TearDown() override {
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS `" + m_keyed + "`, `" + m_keyless + "`", &err);
    if (m_driver != nullptr)
      for (auto& [text, host] : m_hosts) m_driver->bCloseConnection(host);
    Stop();
  }
  CHostItemDescription* AddItem(CHostRecordDescription* file, const wchar_t* name, eNA_ITEMTYPE type,
                                unsigned int size, unsigned short keys) {
    CHostItemDescription& item = m_items.emplace_back(name, type, size);
    item.m_wKeyFlags = keys;
    item.m_bNullAllowed = FALSE;
    item.m_pszNameInSource = L"";
    file->Add(&item);
    return &item;
  }

  // The connection description of a block size; second: another description (another session)
  // of the same server.
  CHostConnectionDescription* Host(int block, bool second) {
    const std::string more = (block == 0 ? "" : ";QX Cache Size=" + std::to_string(block)) +
                             (second ? ";QX Command Timeout=600" : "");
    auto found = m_hosts.find(more);
    if (found != m_hosts.end()) return found->second;
    CHostConnectionDescription* host = AddConnection(std::get<0>(GetParam()) == 65001, more);
    EXPECT_TRUE(m_loader.bOpenConnection(host)) << Narrow(m_driver->piGetLastError()->pszGetError());
    m_hosts[more] = host;
    return host;
  }

  const std::string& Table(bool keyless) const { return keyless ? m_keyless : m_keyed; }
  const std::vector<std::string>& Columns(bool keyless) const { return keyless ? kKeylessColumns : kKeyedColumns; }

  // Rows id 100 .. 1200: d with duplicates, (a, b) unique in another order than id; keyless rows
  // with duplicates of k and w set apart by tens.
  void Fill(bool keyless) {
    std::string values;
    for (int i = 1; i <= 12; ++i) {
      const Row r = keyless ? Row{10 * (i % 5), 10 * i} : Row{100 * i, 10 * (1 + i % 4), 10 * (i % 3), 1000 - 10 * i, i};
      values += (values.empty() ? "" : ",") + std::string("(") + Text(r).substr(1);
    }
    Raw("DELETE FROM `" + Table(keyless) + "`");
    Raw("INSERT INTO `" + Table(keyless) + "` VALUES " + values);
  }
  // The server's rows, read raw.
  std::vector<Row> State(bool keyless) {
    std::string columns;
    for (const std::string& c : Columns(keyless)) columns += (columns.empty() ? "" : ", ") + c;
    RawRows rows;
    std::string err;
    EXPECT_TRUE(m_raw.query("SELECT " + columns + " FROM `" + Table(keyless) + "`", &rows, &err)) << err;
    std::vector<Row> out;
    for (const RawRow& r : rows) {
      Row row;
      for (const auto& v : r) row.push_back(std::stoi(v.value_or("0")));
      out.push_back(row);
    }
    return out;
  }

  bool Open(SFile* f, CHostConnectionDescription* host, bool keyless) {
    f->ctx = &m_contexts.emplace_back(static_cast<DWORD>(5000 + m_contexts.size()), 1);
    f->table = m_loader.piGetTable(host, keyless ? &m_keylessFile : &m_keyedFile);
    if (f->table == nullptr || !f->table->bHOuvre(f->ctx, kReadWrite, nullptr)) return false;
    INADataSourceDescription* desc = f->table->piGetDataSourceDescription();
    for (const std::string& c : Columns(keyless)) f->items.push_back(desc->piNAGetItem(std::wstring(c.begin(), c.end()).c_str()));
    desc->nExternalRelease();
    return std::find(f->items.begin(), f->items.end(), nullptr) == f->items.end();
  }
  static void Close(SFile* f) {
    for (INAItemDescription* item : f->items)
      if (item != nullptr) item->nExternalRelease();
    if (f->table != nullptr) {
      f->table->bHFerme(f->ctx);
      f->table->nExternalRelease();
    }
    *f = SFile{};
  }
  static std::string Error(const SFile* f) {
    INAError* error = f->table->piGetLastError(f->ctx);
    return std::to_string(error->dwGetErrorId()) + " " + Narrow(error->pszGetError());
  }
  static Row Values(const SFile* f) {
    CNAKJRecord* record = nullptr;
    if (!f->table->bGetRecord(f->ctx, &record) || record == nullptr) return {};
    Row r;
    for (const INAItemDescription* item : f->items) {
      int32_t v = 0;
      memcpy(&v, record->pbyGetValues() + item->nGetOffset(0), 4);
      r.push_back(v);
    }
    record->vnRelease();
    return r;
  }
  static SRead Current(const SFile* f, const wchar_t* item) {
    int out = 0;
    if (!f->table->bHEnDehors(f->ctx, item, &out)) return {SRead::kFailed, {}, Error(f)};
    if (out != 0) return {SRead::kOut, {}, ""};
    return {SRead::kRow, Values(f), ""};
  }
  static SRead Read(const SFile* f, const wchar_t* item, eNA_PARSEDIRECTION dir, unsigned int flags) {
    if (!f->table->bHLitxxx(f->ctx, item, dir, 1, kNoLock, nullptr, flags)) return {SRead::kFailed, {}, Error(f)};
    return Current(f, item);
  }
  static SRead Seek(const SFile* f, const wchar_t* item, int value) {
    CAny any;
    any.SetI4(value);
    if (!f->table->bHRecherche(f->ctx, item, &any, 0, 1, kNoLock, nullptr, 1, 0)) return {SRead::kFailed, {}, Error(f)};
    int found = 0;
    if (!f->table->bEvalHTrouve(f->ctx, item, &found, nullptr)) return {SRead::kFailed, {}, Error(f)};
    return found != 0 ? Current(f, item) : SRead{SRead::kOut, {}, ""};
  }
  // The file's current record takes the columns of to that differ from it (every column for an
  // add) and is written.
  bool Write(const SFile* f, const Row& to, bool add) {
    CNAKJRecord* record = nullptr;
    if (!f->table->bGetRecord(f->ctx, &record) || record == nullptr) return false;
    const Row now = Values(f);
    for (size_t i = 0; i < to.size(); ++i)
      if (add || now.size() != to.size() || now[i] != to[i]) {
        const int32_t v = to[i];
        record->vSetItemValue(f->items[i], &v, 4, 0);
      }
    const bool ok = m_loader.bSetRecord(f->table, f->ctx, record) &&
                    (add ? f->table->bHAjoute(f->ctx, 0, kNoLock) : f->table->bHModifie(f->ctx, 0, 0, kNoLock));
    record->vnRelease();
    return ok;
  }
  // The file stands on the row of these values: by a seek of its id, or of k and reads on.
  static bool Find(const SFile* f, bool keyless, const Row& row) {
    SRead r = Seek(f, keyless ? L"k" : L"id", row[0]);
    for (int i = 0; i < 20 && r.state == SRead::kRow && r.row != row && r.row[0] == row[0]; ++i)
      r = Read(f, L"k", NA_PARSE_NEXT, 0);
    return r.state == SRead::kRow && r.row == row;
  }
  std::string RawWhere(bool keyless, const Row& row) {
    const std::vector<std::string>& columns = Columns(keyless);
    if (!keyless) return " WHERE id = " + std::to_string(row[kId]);
    std::string where;
    for (size_t i = 0; i < columns.size(); ++i)
      where += (where.empty() ? " WHERE " : " AND ") + columns[i] + " = " + std::to_string(row[i]);
    return where + " LIMIT 1";
  }
  // One write by the other file (which is left wherever its seek left it) or the raw connection:
  // from becomes to (none: added), or from is deleted (to none). "" once written.
  std::string Apply(const SFile* other, bool keyless, const std::optional<Row>& from, const std::optional<Row>& to) {
    const std::string q = "`" + Table(keyless) + "`";
    if (other == nullptr) {
      std::string set;
      if (to && from)
        for (size_t i = 0; i < to->size(); ++i)
          if ((*to)[i] != (*from)[i]) set += (set.empty() ? "" : ", ") + Columns(keyless)[i] + " = " + std::to_string((*to)[i]);
      std::string err;
      const bool ok = !from   ? m_raw.exec("INSERT INTO " + q + " VALUES (" + Text(*to).substr(1), &err)
                      : to    ? m_raw.exec("UPDATE " + q + " SET " + set + RawWhere(keyless, *from), &err)
                              : m_raw.exec("DELETE FROM " + q + RawWhere(keyless, *from), &err);
      return ok ? "" : "raw write refused: " + err;
    }
    if (from && !Find(other, keyless, *from)) return "the other file did not find " + Text(*from) + ": " + Error(other);
    const bool ok = !from ? Write(other, *to, true)
                    : to  ? Write(other, *to, false)
                          : other->table->bHSupprime(other->ctx, 0, kNoLock) != FALSE;
    return ok ? "" : "the other file's write refused: " + Error(other);
  }

  // A fresh row for an add: outside the order its own id and (a, b).
  Row Fresh(bool keyless) {
    const int n = 7000 + ++m_fresh;
    return keyless ? Row{0, 0} : Row{n, 10, 99, n, n};
  }

  // One browse of b by file A while, every second row, the other file (B) or the raw connection
  // makes change around the row A stands on. "" when A read what the model says.
  std::string Browse(const SBrowse& b, const SMode& m, bool second, bool forward, Change change) {
    const std::string where = std::string(b.name) + ", " + ModeName(m) + (second ? ", two descriptions" : "") +
                              (forward ? ", forward, " : ", backward, ") + ChangeName(change);
    Fill(b.keyless);
    SFile a, other;
    if (!Open(&a, Host(m.block, false), b.keyless) || !Open(&other, Host(m.block, second), b.keyless)) {
      Close(&a);
      Close(&other);
      return where + ": not opened\n";
    }
    const int s = forward ? 1 : -1;
    const unsigned int flags = m.rowCache ? 0 : kNoRowCache;
    // Read one row at a time from the server: the model's next row each time, as it is now.
    const bool strict = m.block == 1 && !b.keyless;
    std::vector<Row> state = State(b.keyless);
    std::map<Row, std::set<Row>> held;  // every version of each row since the start
    std::set<Row> untouched, behind, seen;
    for (const Row& r : state) {
      held[Identity(b, r)].insert(r);
      untouched.insert(Identity(b, r));
    }
    std::string failure, reads;
    std::optional<Row> expected = After(b, state, std::nullopt, s), last;
    SRead r = Read(&a, b.item, forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
    for (int step = 0; r.state == SRead::kRow && step < 40; ++step) {
      const Row id = Identity(b, r.row);
      reads += " " + Text(r.row);
      if (strict && (!expected || r.row != *expected))
        failure += where + ": after" + (last ? Text(*last) : " the start") + " read " + Text(r.row) + ", the server's " +
                   (expected ? Text(*expected) : "end") + "\n";
      if (!seen.insert(id).second) failure += where + ": " + Text(r.row) + " read twice\n";
      if (behind.count(id) != 0) failure += where + ": " + Text(r.row) + " added behind and read\n";
      if (held[id].count(r.row) == 0) failure += where + ": " + Text(r.row) + " is no row the server held\n";
      if (last && Compare(Place(b, r.row), Place(b, *last), s) <= 0)
        failure += where + ": " + Text(r.row) + " read after " + Text(*last) + "\n";
      last = r.row;
      if (step % 2 == 1) {
        // The row as the server holds it now, and its neighbours.
        std::optional<Row> current;
        for (const Row& x : state)
          if (Identity(b, x) == id) current = x;
        const std::optional<Row> ahead = After(b, state, Place(b, r.row), s);
        const std::optional<Row> beyond = ahead ? After(b, state, Place(b, *ahead), s) : std::nullopt;
        const std::optional<Row> back = Before(b, state, Place(b, r.row), s);
        std::optional<Row> from, to;
        auto valueOf = [&](const std::optional<Row>& x, const std::optional<Row>& next) -> std::optional<Row> {
          if (!x) return std::nullopt;
          if (b.keyless) return Between(b, state, *x, next, s, *x);
          Row y = *x;
          y[kW] += 1;
          return y;
        };
        switch (change) {
          case kValueCurrent: from = current, to = valueOf(current, ahead); break;
          case kMoveCurrentAhead:
            if (current && (beyond || ahead)) from = current, to = Moved(b, state, *current, beyond ? *beyond : *ahead, s);
            break;
          case kMoveCurrentBehind:
            if (current && back) from = current, to = Moved(b, state, *current, *back, -s);
            break;
          case kValueAhead: from = ahead, to = valueOf(ahead, beyond); break;
          case kMoveAheadBehind:
            if (ahead) from = ahead, to = Between(b, state, r.row, back, -s, *ahead);
            break;
          case kDeleteCurrent: from = current; break;
          case kDeleteAhead: from = ahead; break;
          case kAddAhead: to = Between(b, state, r.row, ahead, s, Fresh(b.keyless)); break;
          case kAddBehind: to = Between(b, state, r.row, back, -s, Fresh(b.keyless)); break;
        }
        const bool deletes = change == kDeleteCurrent || change == kDeleteAhead;
        const bool adds = change == kAddAhead || change == kAddBehind;
        if (deletes ? from.has_value() : adds ? to.has_value() : from && to && *from != *to) {
          const bool byRaw = (m_changes++ % 2) == 1;
          const std::string refused = Apply(byRaw ? nullptr : &other, b.keyless, from, to);
          if (!refused.empty()) failure += where + ": " + refused + "\n";
          if (from) {
            untouched.erase(Identity(b, *from));
            state.erase(std::find(state.begin(), state.end(), *from));
          }
          if (to) {
            held[Identity(b, *to)].insert(*to);
            state.push_back(*to);
            if (Compare(Place(b, *to), Place(b, r.row), s) < 0 && (!from || Identity(b, *from) != Identity(b, *to)))
              behind.insert(Identity(b, *to));
          }
          const std::vector<Row> now = State(b.keyless);
          if (std::set<Row>(now.begin(), now.end()) != std::set<Row>(state.begin(), state.end()))
            failure += where + ": the change " + (from ? Text(*from) : "") + " -> " + (to ? Text(*to) : "") +
                       " left the server otherwise\n";
          state = now;
        }
      }
      expected = After(b, state, Place(b, r.row), s);
      r = Read(&a, b.item, forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, flags);
    }
    if (r.state == SRead::kFailed) failure += where + ": read failed after" + reads + ": " + r.error + "\n";
    if (r.state == SRead::kRow) failure += where + ": no end after" + reads + "\n";
    if (r.state == SRead::kOut && strict && expected)
      failure += where + ": out after" + reads + ", the server's " + Text(*expected) + "\n";
    // The rows there from the start and never touched: each read (in order, as every read was).
    for (const Row& x : Ordered(b, state, s))
      if (untouched.count(Identity(b, x)) != 0 && seen.count(Identity(b, x)) == 0)
        failure += where + ": " + Text(x) + " never read; read" + reads + "\n";
    Close(&a);
    Close(&other);
    return failure;
  }

  // A file of a random walk: where it stands (the row as it read or wrote it, and the place its
  // browse goes on from) and when it last read from an end.
  struct SWalker {
    SFile f;
    const char* name = "";
    std::optional<Row> row, place;
    bool anchored = false;
    int opened = 0;
    // A position saved, the row it was saved on (as the file's own writes left it) and the place
    // it was saved at.
    int position = 0;
    Row saved, savedPlace;
    // After a return to a row the file moved since it saved the position: its place now, which
    // the browse may go on from as well.
    std::optional<Row> otherPlace;
  };

  // Both files read both ways on b, modify, move and delete the row they stand on and add rows,
  // and the raw connection writes beside them, chosen by seed; every read is checked against the
  // server. "" when every read and write answered as the model says.
  std::string Walk(const SBrowse& b, const SMode& m, bool second, unsigned int seed, int steps) {
    const std::string where = std::string(b.name) + ", " + ModeName(m) + (second ? ", two descriptions" : "") +
                              ", seed " + std::to_string(seed);
    Fill(b.keyless);
    SWalker walkers[2];
    walkers[0].name = "A";
    walkers[1].name = "B";
    if (!Open(&walkers[0].f, Host(m.block, false), b.keyless) || !Open(&walkers[1].f, Host(m.block, second), b.keyless)) {
      Close(&walkers[0].f);
      Close(&walkers[1].f);
      return where + ": not opened\n";
    }
    const unsigned int flags = m.rowCache ? 0 : kNoRowCache;
    // Reads one row at a time from the server both ways: each the model's row.
    const bool strict = m.block == 1 && !m.rowCache && !b.keyless;
    // Without a key, rows of one browse value have no order of their own: a row the file moved
    // among them keeps its place in the file's reads.
    auto Key = [&](const Row& place) { return b.keyless ? Row{place[0]} : place; };
    std::mt19937 rng(seed);
    auto roll = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned int>(n)); };
    std::vector<Row> state = State(b.keyless);
    std::map<Row, std::set<Row>> held;
    std::map<Row, int> changed;  // the step each row (by identity) last came, changed or went
    for (const Row& r : state) {
      held[Identity(b, r)].insert(r);
      changed[Identity(b, r)] = -1;
    }
    std::string failure, log;
    // The model after a write: before without from, with to.
    auto note = [&](int step, const std::optional<Row>& from, const std::optional<Row>& to) {
      if (from) changed[Identity(b, *from)] = step;
      if (to) {
        changed[Identity(b, *to)] = step;
        held[Identity(b, *to)].insert(*to);
      }
      state = State(b.keyless);
    };
    for (int step = 0; step < steps && failure.empty(); ++step) {
      SWalker& w = walkers[roll(2)];
      const int op = roll(100);
      const int s = roll(2) == 0 ? 1 : -1;
      if (op < 70 && (!w.anchored || op < 8 || !w.place)) {
        const SRead r = Read(&w.f, b.item, s > 0 ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
        const std::optional<Row> want = After(b, state, std::nullopt, s);
        log += std::string(" ") + w.name + (s > 0 ? " first " : " last ") + (r.state == SRead::kRow ? Text(r.row) : "out");
        if (r.state == SRead::kFailed || (r.state == SRead::kRow) != want.has_value() || (want && r.row != *want))
          failure = "read " + (r.state == SRead::kRow ? Text(r.row) : r.state == SRead::kOut ? "out" : r.error) +
                    ", the server's " + (want ? Text(*want) : "end");
        w.anchored = true;
        w.opened = step;
        w.otherPlace.reset();
        w.row = r.state == SRead::kRow ? std::optional<Row>(r.row) : std::nullopt;
        w.place = w.row ? std::optional<Row>(Place(b, *w.row)) : std::nullopt;
      } else if (op < 70) {
        const SRead r = Read(&w.f, b.item, s > 0 ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, flags);
        log += std::string(" ") + w.name + (s > 0 ? " next " : " previous ") + (r.state == SRead::kRow ? Text(r.row) : "out");
        const bool got = r.state == SRead::kRow;
        // What is wrong with the read as one from place; "" when nothing.
        auto wrongFrom = [&](const Row& place) -> std::string {
          const std::optional<Row> want = After(b, state, place, s);
          if (r.state == SRead::kFailed) return "read failed: " + r.error;
          if (strict)
            return got != want.has_value() || (want && r.row != *want)
                       ? "read " + (got ? Text(r.row) : "out") + ", the server's " + (want ? Text(*want) : "end")
                       : "";
          if (got && (Compare(Key(Place(b, r.row)), Key(place), s) < (b.keyless ? 0 : 1) ||
                      held[Identity(b, r.row)].count(r.row) == 0))
            return "read " + Text(r.row) + ", no row the server held after " + Text(place);
          for (const Row& x : state)
            if (changed[Identity(b, x)] < w.opened && Compare(Key(Place(b, x)), Key(place), s) > 0 &&
                (!got || Compare(Key(Place(b, x)), Key(Place(b, r.row)), s) < 0))
              return "read " + (got ? Text(r.row) : "out") + ", passing over " + Text(x);
          return "";
        };
        failure = wrongFrom(*w.place);
        // After a return to a row the file itself moved since, from either place.
        if (!failure.empty() && w.otherPlace && wrongFrom(*w.otherPlace).empty()) failure.clear();
        w.otherPlace.reset();
        if (got) w.row = r.row, w.place = Place(b, r.row);
        // Out of range: the next read starts from an end; the record stays as it was.
        if (!got) w.anchored = false;
      } else if (op < 87 && w.row) {
        // The file's own write of the row it stands on (or an add): it reaches the row the
        // server holds under its key, or fails with 13 and writes nothing when there is none.
        const Row x = *w.row;
        const bool adds = op >= 84, deletes = op >= 81 && !adds;
        std::optional<Row> to;
        if (op < 76) {
          to = x;
          (*to)[b.keyless ? 1 : kW] += 1 + roll(3);
        } else if (op < 81 && !state.empty()) {
          to = Moved(b, state, x, state[static_cast<size_t>(roll(static_cast<int>(state.size())))], s);
        } else if (adds) {
          to = Between(b, state, x, After(b, state, Place(b, x), s), s, Fresh(b.keyless));
        }
        // A modify that changes nothing sends nothing.
        if ((!deletes && !to) || (!adds && to == x)) continue;
        std::optional<Row> server, written;
        for (const Row& r : state)
          if (b.keyless ? r == x : r[kId] == x[kId]) server = r;
        if (adds) {
          written = to;
        } else if (server && to) {
          written = *server;
          for (size_t i = 0; i < x.size(); ++i)
            if ((*to)[i] != x[i]) (*written)[i] = (*to)[i];
        }
        // No write the server would refuse as a duplicate (nor, without a key, a twin row).
        const bool twin = written && std::any_of(state.begin(), state.end(), [&](const Row& r) {
          return r != server && (Place(b, r) == Place(b, *written) ||
                                 (!b.keyless && (r[kId] == (*written)[kId] || (r[kA] == (*written)[kA] && r[kB] == (*written)[kB]))));
        });
        if (twin) continue;
        const bool reaches = adds || server.has_value();
        const BOOL ok = deletes ? w.f.table->bHSupprime(w.f.ctx, 0, kNoLock) : Write(&w.f, *to, adds) ? TRUE : FALSE;
        const unsigned int error = ok ? 0 : w.f.table->piGetLastError(w.f.ctx)->dwGetErrorId();
        const char* what = op < 76 ? "modify" : op < 81 ? "move" : deletes ? "delete" : "add";
        log += std::string(" ") + w.name + " " + what + " " + Text(x) + (to ? "->" + Text(*to) : "") + (ok ? "" : " refused");
        std::vector<Row> want = state;
        if (reaches && server && !adds) want.erase(std::find(want.begin(), want.end(), *server));
        if (reaches && written) want.push_back(*written);
        note(step, reaches && !adds ? server : std::nullopt, reaches ? written : std::nullopt);
        // The file's caches hold its record as written (the columns it did not write as it read them).
        if (ok && to) held[Identity(b, *to)].insert(*to);
        const bool right = std::set<Row>(state.begin(), state.end()) == std::set<Row>(want.begin(), want.end());
        if (ok != (reaches ? TRUE : FALSE) || (!reaches && error != 13) || !right)
          failure = std::string(what) + " answered " + (ok ? "TRUE" : "FALSE " + std::to_string(error)) +
                    (right ? "" : ", the server otherwise");
        // The browse goes on from the place it read; the record, and the copy a position keeps of
        // the row, are the row as written.
        if (ok && !adds && to && w.position != 0 && w.saved == x) w.saved = *to;
        if (ok) w.row = to;
        if (ok && adds) w.anchored = false;
      } else if (op < 90 && b.order.front() != kA) {
        // A seek of a value of the browse item, held by a row or not: the first row holding it in
        // the server's order, read now.
        const int value = state.empty() || roll(4) == 0 ? 1 + roll(50) : state[static_cast<size_t>(roll(static_cast<int>(state.size())))][b.order.front()];
        const SRead r = Seek(&w.f, b.item, value);
        std::optional<Row> want;
        for (const Row& x : Ordered(b, state, 1))
          if (!want && x[b.order.front()] == value) want = x;
        log += std::string(" ") + w.name + " seek " + std::to_string(value) + " " + (r.state == SRead::kRow ? Text(r.row) : "none");
        if (r.state == SRead::kFailed || (r.state == SRead::kRow) != want.has_value() || (want && r.row != *want))
          failure = "seek read " + (r.state == SRead::kRow ? Text(r.row) : r.state == SRead::kOut ? "none" : r.error) +
                    ", the server's " + (want ? Text(*want) : "none");
        w.opened = step;
        w.otherPlace.reset();
        // Not found: where the file stands is not the model's; it starts again from an end.
        w.anchored = want.has_value();
        w.row = want;
        w.place = want ? std::optional<Row>(Place(b, *want)) : std::nullopt;
      } else if (op < 93 && w.anchored && w.row && w.place == Place(b, *w.row)) {
        if (w.position != 0) w.f.table->bHLiberePosition(w.f.ctx, w.position);
        w.position = 0;
        if (!w.f.table->bHSauvePosition(w.f.ctx, b.item, &w.position, 0)) failure = "position not saved: " + Error(&w.f);
        w.saved = *w.row;
        w.savedPlace = *w.place;
        log += std::string(" ") + w.name + " save " + Text(w.saved);
      } else if (op < 95 && w.position != 0) {
        // The row comes back as it was saved, and the browse goes on from its place.
        wchar_t item[256] = L"";
        const BOOL back = w.f.table->bHRetourPosition(w.f.ctx, w.position, item, 1, 0);
        const SRead r = back ? Current(&w.f, b.item) : SRead{SRead::kFailed, {}, Error(&w.f)};
        log += std::string(" ") + w.name + " return " + (r.state == SRead::kRow ? Text(r.row) : "out");
        if (r.state != SRead::kRow || r.row != w.saved)
          failure = "the return to " + Text(w.saved) + " landed on " + (r.state == SRead::kRow ? Text(r.row) : r.error);
        w.row = w.saved;
        w.place = w.savedPlace;
        if (Place(b, w.saved) != w.savedPlace) w.otherPlace = Place(b, w.saved);
        w.anchored = true;
      } else if (w.place) {
        // The raw connection beside the file's place: a value, a delete or an add.
        const std::optional<Row> near = roll(2) == 0 ? After(b, state, *w.place, s) : After(b, state, *w.place, -s);
        const int kind = roll(3);
        std::optional<Row> from, to;
        if (kind == 0 && near) {
          from = to = near;
          (*to)[b.keyless ? 1 : kW] += 1;
          if (b.keyless && std::any_of(state.begin(), state.end(), [&](const Row& r) { return r == *to; })) continue;
        } else if (kind == 1 && near) {
          from = near;
        } else if (kind == 2) {
          std::optional<Row> at;
          for (const Row& r : state)
            if (Place(b, r) == *w.place) at = r;
          if (!at) continue;
          to = Between(b, state, *at, After(b, state, *w.place, s), s, Fresh(b.keyless));
        }
        if (!from && !to) continue;
        const std::string refused = Apply(nullptr, b.keyless, from, to);
        log += " raw " + (from ? Text(*from) : "") + "->" + (to ? Text(*to) : "");
        if (!refused.empty()) failure = refused;
        note(step, from, to);
      }
      if (!failure.empty()) failure = where + ": " + failure + " after" + log + "\n";
    }
    Close(&walkers[0].f);
    Close(&walkers[1].f);
    return failure;
  }

  int m_fresh = 0, m_changes = 0;
  std::string m_keyed, m_keyless;
  std::wstring m_wkeyed, m_wkeyless;
  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_keyedFile, m_keylessFile;
  std::map<std::string, CHostConnectionDescription*> m_hosts;
  std::deque<CHostContext> m_contexts;
};

// Every browse reads the model's rows (see the head of the file) while the other file, on the
// same connection description or on another, and the raw connection write around its current row.
TEST_P(TwoFiles, BrowseReadsTheServersRowsWhileTheOtherFileWritesAroundIt) {
  std::string failures;
  for (const SBrowse& b : kBrowses)
    for (const SMode& m : kModes) {
      // A table without a key is read whole whatever the block size.
      if (b.keyless && m.block != 0) continue;
      for (const bool second : {false, true})
        for (const bool forward : {true, false})
          for (const Change change : kChanges) failures += Browse(b, m, second, forward, change);
    }
  EXPECT_EQ(failures, "");
}

// A file stands on a row; the other file or the raw connection changes or deletes it; the file's
// modify or delete of the row it read reaches the row the server holds under its key, or fails
// with user error 13 and writes nothing (never TRUE for nothing written).
TEST_P(TwoFiles, ModifyOrDeleteOfARowTheOtherFileChangedReachesItOrFailsWritingNothing) {
  const struct {
    const char* what;
    bool keyless;
    size_t column;  // the column changed, or none (past the row): deleted
    int by;
    bool replaced;  // deleted, and another row added under its key
    bool reaches;
  } cases[] = {
      {"a value changed", false, kW, 1, false, true},
      {"the key with duplicates changed", false, kD, 5, false, true},
      {"the composite key changed", false, kB, 1, false, true},
      {"the primary key changed", false, kId, 1, false, false},
      {"deleted", false, 9, 0, false, false},
      {"deleted, its key taken by another row", false, 9, 0, true, true},
      {"a value changed", true, 1, 1, false, false},
      {"the key changed", true, 0, 1, false, false},
      {"deleted", true, 9, 0, false, false},
  };
  std::string failures;
  for (const auto& c : cases)
    for (const bool second : {false, true})
      for (const bool byRaw : {false, true})
        for (const std::string write : {"modify of a value", "modify of a key", "delete"}) {
          if (byRaw && second) continue;
          const std::string how = std::string(c.keyless ? "no key" : "keyed") + ", " + c.what +
                                  (byRaw ? " by the raw connection" : " by the other file") +
                                  (second ? " on another description" : "") + ", then a " + write;
          Fill(c.keyless);
          SFile a, other;
          ASSERT_TRUE(Open(&a, Host(0, false), c.keyless) && Open(&other, Host(0, second), c.keyless));
          const Row x = State(c.keyless)[4];
          const SRead read = Seek(&a, c.keyless ? L"k" : L"id", x[0]);
          if (read.state != SRead::kRow || read.row != x) failures += how + ": " + Text(x) + " not read\n";
          std::optional<Row> changed = x;
          if (c.column < x.size())
            (*changed)[c.column] += c.by;
          else
            changed.reset();
          std::string refused = Apply(byRaw ? nullptr : &other, c.keyless, x, changed);
          if (c.replaced) refused += Apply(byRaw ? nullptr : &other, c.keyless, std::nullopt, Row{x[kId], 15, 98, 1, 77});
          if (!refused.empty()) failures += how + ": " + refused + "\n";
          const std::vector<Row> before = State(c.keyless);
          Row mine = x;
          const bool deletes = write == "delete";
          if (!deletes) mine[write == "modify of a value" ? (c.keyless ? 1 : kW) : (c.keyless ? 0 : kD)] = 555;
          const BOOL ok = deletes ? a.table->bHSupprime(a.ctx, 0, kNoLock) : Write(&a, mine, false) ? TRUE : FALSE;
          const unsigned int error = ok ? 0 : a.table->piGetLastError(a.ctx)->dwGetErrorId();
          std::vector<Row> want;
          for (Row r : before) {
            if (c.reaches && r[kId] == x[kId]) {
              if (deletes) continue;
              for (size_t i = 0; i < r.size(); ++i)
                if (mine[i] != x[i]) r[i] = mine[i];
            }
            want.push_back(r);
          }
          const std::vector<Row> after = State(c.keyless);
          if (ok != (c.reaches ? TRUE : FALSE) || error != (c.reaches ? 0u : 13u) ||
              std::set<Row>(after.begin(), after.end()) != std::set<Row>(want.begin(), want.end())) {
            std::string rows;
            for (const Row& r : after) rows += Text(r);
            failures += how + ": answered " + (ok ? "TRUE" : "FALSE") + " (" + std::to_string(error) +
                        "), the server holds " + rows + "\n";
          }
          Close(&a);
          Close(&other);
        }
  EXPECT_EQ(failures, "");
}

// A position saved on a row, the file read on, the other file or the raw connection writing on
// the row or beside it: the return lands on the row, and the browse goes on after its place.
TEST_P(TwoFiles, ReturnToAPositionLandsOnItsRowAfterTheOtherFileWrote) {
  std::string failures;
  // Which description the other file opens and who writes, taken in turn.
  int n = 0;
  for (const SBrowse& b : kBrowses)
    for (const SMode& m : kModes)
      for (const bool forward : {true, false})
        for (int change = 0; change < 6; ++change) {
          if (b.keyless && m.block != 0) continue;
          const bool second = (++n % 2) == 0;
          const bool byRaw = (n % 3) == 0;
          const int s = forward ? 1 : -1;
          const unsigned int flags = m.rowCache ? 0 : kNoRowCache;
          const auto next = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
          const std::string where = std::string(b.name) + ", " + ModeName(m) + (second ? ", two descriptions" : "") +
                                    (forward ? ", forward" : ", backward") + (byRaw ? ", raw" : ", other file") +
                                    ", change " + std::to_string(change);
          Fill(b.keyless);
          SFile a, other;
          ASSERT_TRUE(Open(&a, Host(m.block, false), b.keyless) && Open(&other, Host(m.block, second), b.keyless));
          const std::vector<Row> start = State(b.keyless);
          SRead r = Read(&a, b.item, forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
          for (int i = 0; i < 4; ++i) r = Read(&a, b.item, next, flags);
          const Row x = r.row;
          int id = 0;
          if (!a.table->bHSauvePosition(a.ctx, b.item, &id, 0)) failures += where + ": not saved: " + Error(&a) + "\n";
          for (int i = 0; i < 3; ++i) r = Read(&a, b.item, next, flags);
          std::vector<Row> state = State(b.keyless);
          const std::optional<Row> ahead = After(b, state, Place(b, x), s);
          std::optional<Row> from, to;
          switch (change) {
            case 1: from = x, to = x, (*to)[b.keyless ? 1 : kW] += b.keyless ? 1 : 100; break;
            case 2: from = x, to = Moved(b, state, x, *After(b, state, Place(b, *ahead), s), s); break;
            case 3: from = x; break;
            case 4: from = ahead; break;
            case 5: to = Between(b, state, x, ahead, s, Fresh(b.keyless)); break;
          }
          if (change != 0) {
            const std::string refused = Apply(byRaw ? nullptr : &other, b.keyless, from, to);
            if (!refused.empty()) failures += where + ": " + refused + "\n";
          }
          state = State(b.keyless);
          wchar_t item[256] = L"";
          const BOOL back = a.table->bHRetourPosition(a.ctx, id, item, 1, 0);
          const SRead landed = back ? Current(&a, b.item) : SRead{SRead::kFailed, {}, Error(&a)};
          const SRead after = Read(&a, b.item, next, flags);
          // The row comes back as it was saved (a row gone too); a browse in blocks of one row
          // goes on to the server's next row after its place, any other to a row the server
          // held after it, passing over none that stayed there untouched.
          if (landed.state != SRead::kRow || landed.row != x)
            failures += where + ": the return to " + Text(x) + " landed on " +
                        (landed.state == SRead::kRow ? Text(landed.row) : landed.error) + "\n";
          const std::optional<Row> want = After(b, state, Place(b, x), s);
          const std::string got = after.state == SRead::kRow ? Text(after.row) : after.state == SRead::kOut ? "end" : after.error;
          if (m.block == 1 && !b.keyless) {
            if (got != (want ? Text(*want) : "end"))
              failures += where + ": after the return to " + Text(x) + " read " + got + ", the server's " +
                          (want ? Text(*want) : "end") + "\n";
          } else if (after.state == SRead::kFailed ||
                     (after.state == SRead::kRow &&
                      (Compare(Place(b, after.row), Place(b, x), s) <= 0 ||
                       (std::find(start.begin(), start.end(), after.row) == start.end() &&
                        std::find(state.begin(), state.end(), after.row) == state.end())))) {
            failures += where + ": after the return to " + Text(x) + " read " + got + "\n";
          } else {
            for (const Row& r : state)
              if (std::find(start.begin(), start.end(), r) != start.end() && Compare(Place(b, r), Place(b, x), s) > 0 &&
                  (after.state == SRead::kOut || Compare(Place(b, r), Place(b, after.row), s) < 0))
                failures += where + ": after the return to " + Text(x) + " read " + got + ", passing over " + Text(r) + "\n";
          }
          Close(&a);
          Close(&other);
        }
  EXPECT_EQ(failures, "");
}

// A file moves its row away, the raw connection adds a row equal to the row as it was, the file
// finds that row and saves its position there: the return lands on it, not on the row moved.
TEST_P(TwoFiles, PositionOnARowEqualToOneTheFileMovedComesBackToIt) {
  std::string failures;
  for (const bool keyless : {false, true})
    for (const SMode& m : kModes) {
      if (keyless && m.block != 0) continue;
      const std::string where = std::string(keyless ? "no key" : "unique key") + ", " + ModeName(m);
      const wchar_t* item = keyless ? L"k" : L"id";
      const unsigned int flags = m.rowCache ? 0 : kNoRowCache;
      Fill(keyless);
      SFile a;
      ASSERT_TRUE(Open(&a, Host(m.block, false), keyless));
      SRead r = Read(&a, item, NA_PARSE_FIRST, flags);
      r = Read(&a, item, NA_PARSE_NEXT, flags);
      const Row x = r.row;
      Row moved = x;
      moved[keyless ? 1 : kId] += 1;
      if (!keyless) moved[kB] += 1;
      int id = 0;
      if (r.state != SRead::kRow || !Write(&a, moved, false))
        failures += where + ": " + Text(x) + " not moved: " + Error(&a) + "\n";
      else if (const std::string refused = Apply(nullptr, keyless, std::nullopt, x); !refused.empty())
        failures += where + ": " + refused + "\n";
      else if (!Find(&a, keyless, x) || !a.table->bHSauvePosition(a.ctx, item, &id, 0))
        failures += where + ": " + Text(x) + " added again not found or saved: " + Error(&a) + "\n";
      else {
        Read(&a, item, NA_PARSE_NEXT, flags);
        wchar_t saved[256] = L"";
        const SRead landed =
            a.table->bHRetourPosition(a.ctx, id, saved, 0, 0) ? Current(&a, item) : SRead{SRead::kFailed, {}, Error(&a)};
        if (landed.state != SRead::kRow || landed.row != x)
          failures += where + ": the return to " + Text(x) + " landed on " +
                      (landed.state == SRead::kRow ? Text(landed.row) : landed.error) + "\n";
      }
      Close(&a);
    }
  EXPECT_EQ(failures, "");
}

// The seeds of the walks: QX_BROWSE_SEED when set (a failure to replay, or the fresh seed of
// scripts/walk), else the same fixed ones on every run. The first three each met a fault once: a
// next block started behind the deleted last row of the block before; a write after a key move
// and a read past the end named the row's former key; a delete of a row gone answered TRUE. The
// fifth: a file put back on its row by a search moved the row, then read on from its new key. The
// last: a position saved on a row of a keyless table equal to one the file had moved before came
// back on the moved row.
std::vector<unsigned int> Seeds() {
  if (const char* given = std::getenv("QX_BROWSE_SEED"))
    return {static_cast<unsigned int>(std::strtoul(given, nullptr, 10))};
  return {2u, 7u, 3u, 1u, 4126230565u, 1705348273u};
}

// Both files walk at random (fixed seeds) on every browse, reading both ways and writing the rows
// they stand on, beside the raw connection.
TEST_P(TwoFiles, RandomWalksOfBothFilesReadAndWriteWhatTheServerHolds) {
  std::string failures;
  for (const SBrowse& b : kBrowses)
    for (const SMode& m : kModes) {
      if (b.keyless && m.block != 0) continue;
      for (const unsigned int seed : Seeds()) failures += Walk(b, m, seed % 2 == 0, seed, 120);
    }
  EXPECT_EQ(failures, "");
}

// A file deletes the row it stands on, the last of the block it read; the other file (or the
// raw connection) adds a row between that row and the one before it: the next read goes on past
// the deleted row's place, never back to the row added behind it.
TEST_P(TwoFiles, NextAfterDeletingTheBlocksLastRowGoesOnPastItsPlace) {
  std::string failures;
  for (const bool forward : {true, false})
    for (const bool rowCache : {true, false})
      for (const auto& [writer, second, byRaw] : {std::tuple{"other file", false, false},
                                                  {"other file on another description", true, false},
                                                  {"raw connection", false, true}}) {
        const std::string where = std::string(forward ? "forward" : "backward") + (rowCache ? "" : ", no row cache") +
                                  ", added by the " + writer;
        Fill(false);
        SFile a, other;
        ASSERT_TRUE(Open(&a, Host(3, false), false) && Open(&other, Host(3, second), false));
        const unsigned int flags = rowCache ? 0 : kNoRowCache;
        const auto next = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
        SRead r = Read(&a, L"id", forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
        for (int i = 0; i < 2; ++i) r = Read(&a, L"id", next, flags);
        const Row edge = r.row;
        if (!a.table->bHSupprime(a.ctx, 0, kNoLock)) failures += where + ": delete refused: " + Error(&a) + "\n";
        const Row added{edge[kId] - (forward ? 50 : -50), 10, 99, 1, 1};
        const std::string refused = Apply(byRaw ? nullptr : &other, false, std::nullopt, added);
        if (!refused.empty()) failures += where + ": " + refused + "\n";
        std::string got;
        for (int i = 0; i < 2 && (r = Read(&a, L"id", next, flags)).state == SRead::kRow; ++i) got += Text(r.row);
        const std::string want = forward ? "(400,10,10,960,4)(500,20,20,950,5)" : "(900,20,0,910,9)(800,10,20,920,8)";
        if (got != want) failures += where + ": after " + Text(edge) + " deleted read " + got + ", the server's " + want + "\n";
        Close(&a);
        Close(&other);
      }
  EXPECT_EQ(failures, "");
}

// A file moves the row it stands on to another key and reads on past the end of the browse: its
// record still shows the row as written, and a modify or delete of it reaches that row (not the
// row's former key, which names nothing any more).
TEST_P(TwoFiles, WriteAfterAKeyMoveAndAReadPastTheEndReachesTheRowAsWritten) {
  std::string failures;
  for (const bool keyless : {false, true})
    for (const SMode& m : kModes)
      for (const bool deletes : {false, true}) {
        if (keyless && m.block != 0) continue;
        const std::string where = std::string(keyless ? "no key, " : "unique key, ") + ModeName(m) +
                                  (deletes ? ", delete" : ", modify");
        Fill(keyless);
        SFile a;
        ASSERT_TRUE(Open(&a, Host(m.block, false), keyless));
        const unsigned int flags = m.rowCache ? 0 : kNoRowCache;
        const wchar_t* item = keyless ? L"k" : L"id";
        SRead r = Read(&a, item, NA_PARSE_LAST, flags);
        Row moved = r.row;
        moved[0] = keyless ? 5 : 50;
        if (!Write(&a, moved, false)) failures += where + ": move refused: " + Error(&a) + "\n";
        r = Read(&a, item, NA_PARSE_NEXT, flags);
        if (r.state != SRead::kOut || Values(&a) != moved)
          failures += where + ": after the move read " + (r.state == SRead::kRow ? Text(r.row) : r.error) + ", record " +
                      Text(Values(&a)) + "\n";
        std::vector<Row> want = State(keyless);
        want.erase(std::find(want.begin(), want.end(), moved));
        Row again = moved;
        again[1] += 1;
        if (!deletes) want.push_back(again);
        const bool ok = deletes ? a.table->bHSupprime(a.ctx, 0, kNoLock) != FALSE : Write(&a, again, false);
        const std::vector<Row> after = State(keyless);
        if (!ok || std::set<Row>(after.begin(), after.end()) != std::set<Row>(want.begin(), want.end()))
          failures += where + ": " + (ok ? "TRUE" : "FALSE " + std::to_string(a.table->piGetLastError(a.ctx)->dwGetErrorId())) +
                      ", the server otherwise\n";
        Close(&a);
      }
  EXPECT_EQ(failures, "");
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, TwoFiles, testing::Combine(testing::Values(1252, 65001), testing::Bool()));

}  // namespace

// Filtered browses through the loaded library while rows move into and out of the filter, beside
// a raw connection of the client library, on both code pages: a unique key, a key with
// duplicates and a composite key, both ways, in blocks of every size, row cache on and off. After
// every change the server's own SELECT of the filter in the key's order is the model: a browse
// read in blocks of one reads the model's next row each time; any browse reads each row once,
// never a row outside the filter, and every row that stayed inside untouched, in order. The
// host's own modify reaches the row it read; a saved position goes on in the filter's order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "access/inatable.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "sql/nakjrecord.h"
#include "tests/support/loaded_types.h"

namespace {

constexpr eNA_ACCESS kReadWrite{0};
constexpr eNA_LOCKTYPE kNoLock{0};
constexpr unsigned int kNoRowCache = 0x10000, kCarryFilter = 0x8000;
constexpr unsigned short kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000, kComposite = 0x1000;
constexpr int kRows = 40;

// What happens between two reads, every third row read.
enum Change { kNone, kOutAhead, kInAhead, kDeleteCurrent, kInsertAround, kOwnModifyOut, kOwnAddInside };
const char* ChangeName(Change c) {
  switch (c) {
    case kNone: return "";
    case kOutAhead: return ", the row ahead moved out";
    case kInAhead: return ", a row moved in ahead";
    case kDeleteCurrent: return ", the current row deleted";
    case kInsertAround: return ", rows inserted around";
    case kOwnModifyOut: return ", own modify moves the current row out";
    case kOwnAddInside: return ", own add inside";
  }
  return "";
}

// A browse: the item read, the filter's column and bounds (both included).
struct SBrowse {
  const wchar_t* item;
  const char* order;  // the server's order of the item
  const wchar_t* filterItem;
  const char* column;
  int lo, hi;
};
const SBrowse kBrowses[] = {
    {L"id", "id", L"id", "id", 100, 300},
    {L"d", "d, id", L"d", "d", 3, 6},
    {L"ab", "a, b", L"d", "d", 2, 7},  // the filter on d carried to the composite key
};

struct SRowRead {
  int id, d, a, b;
  int Of(const std::string& column) const { return column == "id" ? id : column == "d" ? d : column == "a" ? a : b; }
};

std::string Joined(const std::vector<int>& v) {
  std::string s;
  for (int n : v) s += (s.empty() ? "" : " ") + std::to_string(n);
  return s;
}

class FilterMovesLoaded : public CLoadedTypes<int> {
 protected:
  void SetUp() override {
    StartInSqlMode(false);
    if (HasFatalFailure()) return;
    m_name = "qx_fmoves_" + std::to_string(getpid()) + "_" + std::to_string(GetParam());
    m_wname.assign(m_name.begin(), m_name.end());
    Raw("DROP TABLE IF EXISTS `" + m_name + "`");
    Raw("CREATE TABLE `" + m_name +
        "` (id INT NOT NULL PRIMARY KEY, d INT NOT NULL, a INT NOT NULL, b INT NOT NULL, KEY (d), UNIQUE KEY (a, b))");
    m_file.m_pszName = m_file.m_pszPhysicalName = m_file.m_pszDBTableName = m_wname.c_str();
    const struct {
      const wchar_t* name;
      eNA_ITEMTYPE type;
      unsigned int size;
      unsigned short keys;
    } items[] = {{L"id", NA_IT_I4, 4, kPrimary},
                 {L"d", NA_IT_I4, 4, kDuplicates},
                 {L"a", NA_IT_I4, 4, 0},
                 {L"b", NA_IT_I4, 4, 0},
                 {L"ab", NA_IT_BINAIRE, 8, kComposite | kUnique}};
    for (const auto& i : items) {
      CHostItemDescription& item = m_items.emplace_back(i.name, i.type, i.size);
      item.m_wKeyFlags = i.keys;
      item.m_bNullAllowed = FALSE;
      item.m_pszNameInSource = L"";
      m_file.Add(&item);
    }
    m_items.back().m_tabComponents = {&m_items[2], &m_items[3]};
    m_file.m_pBestParseItem = &m_items[0];
  }
  void TearDown() override {
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS `" + m_name + "`", &err);
    if (m_driver != nullptr)
      for (auto& [cache, host] : m_hosts) m_driver->bCloseConnection(host);
    Stop();
  }
  CHostConnectionDescription* Host(int cache) {
    auto found = m_hosts.find(cache);
    if (found != m_hosts.end()) return found->second;
    CHostConnectionDescription* host = AddConnection(GetParam() == 65001, cache == 0 ? "" : ";QX Cache Size=" + std::to_string(cache));
    EXPECT_TRUE(m_loader.bOpenConnection(host)) << Narrow(m_driver->piGetLastError()->pszGetError());
    m_hosts[cache] = host;
    return host;
  }
  // Rows id 10, 20, ... 400: d spread with duplicates, (a, b) unique in another order than id.
  void Fill() {
    std::string values;
    for (int i = 1; i <= kRows; ++i)
      values += (values.empty() ? "(" : ",(") + std::to_string(10 * i) + "," + std::to_string(i * 7 % 10) + "," +
                std::to_string(i % 5) + "," + std::to_string(kRows - i) + ")";
    Raw("DELETE FROM `" + m_name + "`");
    Raw("INSERT INTO `" + m_name + "` VALUES " + values);
  }
  std::vector<int> Ids(const std::string& where, const std::string& order) {
    RawRows rows;
    std::string err;
    std::vector<int> out;
    EXPECT_TRUE(m_raw.query("SELECT id FROM `" + m_name + "` WHERE " + where + " ORDER BY " + order, &rows, &err)) << err;
    for (const RawRow& r : rows) out.push_back(std::stoi(r.at(0).value_or("0")));
    return out;
  }
  std::string State() {
    RawRows rows;
    std::string err, s;
    m_raw.query("SELECT CONCAT_WS(',', id, d, a, b) FROM `" + m_name + "` ORDER BY id", &rows, &err);
    for (const RawRow& r : rows) s += r.at(0).value_or("?") + " ";
    return s;
  }
  static std::vector<std::string> Columns(const SBrowse& b) {
    std::vector<std::string> out(1);
    for (const char* p = b.order; *p != 0; ++p)
      if (*p == ',') out.emplace_back();
      else if (*p != ' ') out.back() += *p;
    return out;
  }
  static std::string Order(const SBrowse& b, bool forward) {
    std::string s;
    for (const std::string& c : Columns(b)) s += (s.empty() ? "" : ", ") + c + (forward ? "" : " DESC");
    return s;
  }
  static std::string Inside(const SBrowse& b) {
    return std::string(b.column) + " BETWEEN " + std::to_string(b.lo) + " AND " + std::to_string(b.hi);
  }

  struct SFile {
    INATable* table = nullptr;
    CHostContext* ctx = nullptr;
    INAItemDescription *id = nullptr, *d = nullptr, *a = nullptr, *b = nullptr;
  };
  bool Open(SFile* f, int cache) {
    f->ctx = &m_contexts.emplace_back(static_cast<DWORD>(100 + m_contexts.size()), 1);
    f->table = m_loader.piGetTable(Host(cache), &m_file);
    if (f->table == nullptr || !f->table->bHOuvre(f->ctx, kReadWrite, nullptr)) return false;
    INADataSourceDescription* desc = f->table->piGetDataSourceDescription();
    f->id = desc->piNAGetItem(L"id");
    f->d = desc->piNAGetItem(L"d");
    f->a = desc->piNAGetItem(L"a");
    f->b = desc->piNAGetItem(L"b");
    desc->nExternalRelease();
    return f->id != nullptr && f->d != nullptr && f->a != nullptr && f->b != nullptr;
  }
  static void Close(SFile* f) {
    for (INAItemDescription* item : {f->id, f->d, f->a, f->b})
      if (item != nullptr) item->nExternalRelease();
    if (f->table != nullptr) {
      f->table->bHFerme(f->ctx);
      f->table->nExternalRelease();
    }
    *f = SFile{};
  }
  static std::string Error(SFile* f) { return Narrow(f->table->piGetLastError(f->ctx)->pszGetError()); }
  // The current row; id 0 out of range, -1 on a failure.
  static SRowRead Current(SFile* f, const wchar_t* item) {
    int out = 0;
    if (!f->table->bHEnDehors(f->ctx, item, &out)) return {-1, 0, 0, 0};
    if (out != 0) return {};
    CNAKJRecord* record = nullptr;
    if (!f->table->bGetRecord(f->ctx, &record) || record == nullptr) return {-1, 0, 0, 0};
    SRowRead r{};
    memcpy(&r.id, record->pbyGetValues() + f->id->nGetOffset(0), 4);
    memcpy(&r.d, record->pbyGetValues() + f->d->nGetOffset(0), 4);
    memcpy(&r.a, record->pbyGetValues() + f->a->nGetOffset(0), 4);
    memcpy(&r.b, record->pbyGetValues() + f->b->nGetOffset(0), 4);
    record->vnRelease();
    return r;
  }
  static SRowRead Read(SFile* f, const wchar_t* item, eNA_PARSEDIRECTION dir, unsigned int flags) {
    return f->table->bHLitxxx(f->ctx, item, dir, 1, kNoLock, nullptr, flags) ? Current(f, item) : SRowRead{-1, 0, 0, 0};
  }
  // The current record's id and d set to these and written by modify or add.
  bool Write(SFile* f, bool add, int id, int d, int a, int b) {
    CNAKJRecord* record = nullptr;
    if (!f->table->bGetRecord(f->ctx, &record) || record == nullptr) return false;
    const INAItemDescription* items[] = {f->id, f->d, f->a, f->b};
    const int32_t values[] = {id, d, a, b};
    for (int i = 0; i < 4; ++i)
      if (add || i == 1) record->vSetItemValue(items[i], &values[i], 4, 0);
    const bool ok = m_loader.bSetRecord(f->table, f->ctx, record) &&
                    (add ? f->table->bHAjoute(f->ctx, 0, kNoLock) : f->table->bHModifie(f->ctx, 0, 0, kNoLock));
    record->vnRelease();
    return ok;
  }

  // One filtered browse from an end to the other with change made every third row. "" when it
  // reads what the model says.
  std::string Browse(const SBrowse& b, int cache, bool rowCache, bool forward, Change change) {
    const std::string where = Narrow(b.item) + " filtered on " + b.column + ", blocks of " +
                              (cache == 0 ? "default" : std::to_string(cache)) + (rowCache ? "" : ", no row cache") +
                              (forward ? ", forward" : ", backward") + ChangeName(change);
    Fill();
    SFile f;
    if (!Open(&f, cache)) {
      Close(&f);
      return where + ": not opened\n";
    }
    const bool strict = cache == 1;
    const std::string order = Order(b, forward), inside = Inside(b);
    CAny lo, hi;
    lo.SetI4(b.lo);
    hi.SetI4(b.hi);
    std::string failure;
    if (!f.table->bHFiltre(f.ctx, b.filterItem, &lo, 1, &hi, 1, nullptr)) failure += where + ": not filtered: " + Error(&f) + "\n";
    const unsigned int flags = (rowCache ? 0 : kNoRowCache) | (b.item != b.filterItem ? kCarryFilter : 0);
    std::set<int> touched;  // rows moved, deleted or added: their reads are judged by the strict model only
    std::vector<int> seen;
    int fresh = 1000;
    SRowRead r = Read(&f, b.item, forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
    for (int step = 0; r.id > 0 && step < 3 * kRows; ++step) {
      seen.push_back(r.id);
      const bool in = b.column[0] == 'i' ? r.id >= b.lo && r.id <= b.hi : r.d >= b.lo && r.d <= b.hi;
      if (!in) failure += where + ": row " + std::to_string(r.id) + " read outside the filter (d " + std::to_string(r.d) + ")\n";
      // The model's rows of the filter after the current one, whose place is its key as read.
      std::string values;
      for (const std::string& column : Columns(b)) values += (values.empty() ? "" : ", ") + std::to_string(r.Of(column));
      const std::string place = "(" + std::string(b.order) + ") " + (forward ? "> (" : "< (") + values + ")";
      if (step % 3 == 1 && change != kNone && r.id % 10 == 0 && r.id < 1000) {
        const std::vector<int> ahead = Ids(inside + " AND " + place, order);
        const std::string q = "`" + m_name + "`", cur = std::to_string(r.id);
        if (change == kOutAhead && !ahead.empty()) {
          Raw("UPDATE " + q + " SET d = 99, id = id + 5000 WHERE id = " + std::to_string(ahead[0]));
          touched.insert(ahead[0]);
        } else if (change == kInAhead) {
          const std::vector<int> out = Ids("NOT (" + inside + ") AND id < 1000", "id");
          if (!out.empty()) {
            // Takes the current row's filter value and a key just past it.
            const int id = r.id + (forward ? 1 : -1);
            Raw("UPDATE " + q + " SET id = " + std::to_string(id) + ", d = " + std::to_string(r.d) + ", a = " +
                std::to_string(r.a) + ", b = " + std::to_string(r.b + (forward ? 100 : -100)) + " WHERE id = " +
                std::to_string(out[0]));
            touched.insert(id);
          }
        } else if (change == kDeleteCurrent) {
          Raw("DELETE FROM " + q + " WHERE id = " + cur);
          touched.insert(r.id);
        } else if (change == kInsertAround) {
          for (const int delta : {-1, 1}) {
            const int id = r.id + delta;
            Raw("INSERT INTO " + q + " VALUES (" + std::to_string(id) + "," + std::to_string(r.d) + ", 9, " +
                std::to_string(id) + ")");
            touched.insert(id);
          }
        } else if (change == kOwnModifyOut) {
          Raw("UPDATE " + q + " SET d = 99 WHERE id = " + cur);
          const std::string want = State();
          Raw("UPDATE " + q + " SET d = " + std::to_string(r.d) + " WHERE id = " + cur);
          if (!Write(&f, false, r.id, 99, 0, 0)) failure += where + ": modify failed: " + Error(&f) + "\n";
          if (State() != want) failure += where + ": modify of " + cur + " left " + State() + "\nfor " + want + "\n";
          touched.insert(r.id);
        } else if (change == kOwnAddInside) {
          const int id = ++fresh;
          if (!Write(&f, true, id, b.lo, 8, id)) failure += where + ": add failed: " + Error(&f) + "\n";
          touched.insert(id);
        }
      }
      const std::vector<int> model = Ids(inside + " AND " + place, order);
      SRowRead next = Read(&f, b.item, forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, flags);
      if (strict && next.id >= 0 && change != kOwnAddInside && next.id != (model.empty() ? 0 : model[0]))
        failure += where + ": after " + std::to_string(r.id) + " read " + std::to_string(next.id) + ", the model's " +
                   (model.empty() ? "end" : std::to_string(model[0])) + "\n";
      r = next;
    }
    if (r.id < 0) failure += where + ": read failed after " + Joined(seen) + ": " + Error(&f) + "\n";
    if (r.id > 0) failure += where + ": no end after " + Joined(seen) + "\n";
    Close(&f);
    // Rows inside from the start to the end and never touched: each read once, in order.
    std::vector<int> stayed, got;
    for (int id : Ids(inside, order))
      if (touched.count(id) == 0 && id < 1000) stayed.push_back(id);
    std::set<int> once;
    for (int id : seen) {
      if (!once.insert(id).second) failure += where + ": " + std::to_string(id) + " read twice\n";
      if (std::find(stayed.begin(), stayed.end(), id) != stayed.end()) got.push_back(id);
    }
    if (got != stayed) failure += where + ": read " + Joined(seen) + ", the rows that stayed " + Joined(stayed) + "\n";
    return failure;
  }

  // The model's row after (or before) place in the browse's order, under the filter when
  // filtered; 0 at the end.
  int ModelNext(const SBrowse& b, const SRowRead& at, bool forward, bool filtered) {
    std::string values;
    for (const std::string& column : Columns(b)) values += (values.empty() ? "" : ", ") + std::to_string(at.Of(column));
    const std::vector<int> ids = Ids((filtered ? Inside(b) + " AND " : std::string()) + "(" + b.order + ") " +
                                         (forward ? "> (" : "< (") + values + ")",
                                     Order(b, forward));
    return ids.empty() ? 0 : ids[0];
  }

  std::string m_name;
  std::wstring m_wname;
  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_file;
  std::map<int, CHostConnectionDescription*> m_hosts;
  std::deque<CHostContext> m_contexts;
};

TEST_P(FilterMovesLoaded, FilteredBrowsesReadTheModelsRowsWhileRowsMove) {
  std::string failures;
  for (const SBrowse& b : kBrowses)
    for (const Change change : {kNone, kOutAhead, kInAhead, kDeleteCurrent, kInsertAround, kOwnModifyOut, kOwnAddInside})
      for (const int cache : {1, 2, 3, 17, 0, -1})
        for (const bool forward : {true, false})
          for (const bool rowCache : {true, false})
            if (rowCache || cache == 3) failures += Browse(b, cache, rowCache, forward, change);
  EXPECT_EQ(failures, "");
}

// Under a filter: a return to a saved position lands on its row, or on its saved copy when
// another connection deleted it, and the browse goes on in the filter's order from it; a filter switched
// off mid-browse lets the next read reach every row, switched on again the next one inside.
TEST_P(FilterMovesLoaded, PositionsAndSwitchedFiltersGoOnInTheFiltersOrder) {
  std::string failures;
  for (const SBrowse& b : kBrowses)
    for (const int cache : {1, 3, -1})
      for (const bool forward : {true, false}) {
        const std::string where = Narrow(b.item) + ", blocks of " + std::to_string(cache) + (forward ? ", next" : ", previous");
        const auto dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
        const unsigned int flags = b.item != b.filterItem ? kCarryFilter : 0;
        for (const bool gone : {false, true}) {
          Fill();
          SFile f;
          if (!Open(&f, cache)) {
            failures += where + ": not opened\n";
            Close(&f);
            continue;
          }
          CAny lo, hi;
          lo.SetI4(b.lo);
          hi.SetI4(b.hi);
          f.table->bHFiltre(f.ctx, b.filterItem, &lo, 1, &hi, 1, nullptr);
          SRowRead r = Read(&f, b.item, forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
          for (int i = 0; i < 4 && r.id > 0; ++i) r = Read(&f, b.item, dir, flags);
          const SRowRead saved = r;
          int id = 0;
          wchar_t item[256] = L"";
          if (!f.table->bHSauvePosition(f.ctx, b.item, &id, 0)) failures += where + ": not saved: " + Error(&f) + "\n";
          for (int i = 0; i < 5 && r.id > 0; ++i) r = Read(&f, b.item, dir, flags);
          if (gone) Raw("DELETE FROM `" + m_name + "` WHERE id = " + std::to_string(saved.id));
          const BOOL back = f.table->bHRetourPosition(f.ctx, id, item, 0, 0);
          const int landed = back ? Current(&f, b.item).id : -1;
          // A row gone shows its saved copy, from whose place the browse goes on.
          const std::string how = where + (gone ? ", saved row gone" : "");
          if (landed != saved.id)
            failures += how + ": return to " + std::to_string(saved.id) + " landed on " + std::to_string(landed) + "\n";
          const int want = ModelNext(b, saved, forward, true);
          const int got = Read(&f, b.item, dir, flags).id;
          if (got != want)
            failures += how + ": after the return read " + std::to_string(got) + " for " + std::to_string(want) + "\n";
          // Switched off: the next row of every row; on again: the next inside.
          r = Read(&f, b.item, forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
          r = Read(&f, b.item, dir, flags);
          f.table->bHDesactiveFiltre(f.ctx, b.item, 0);
          f.table->bHDesactiveFiltre(f.ctx, b.filterItem, 0);
          std::string off;
          for (int i = 0; i < 3 && r.id > 0; ++i) {
            const int want = ModelNext(b, r, forward, false);
            r = Read(&f, b.item, dir, 0);
            if (r.id != want) off += " " + std::to_string(r.id) + " for " + std::to_string(want);
          }
          f.table->bHActiveFiltre(f.ctx, b.filterItem, 0);
          for (int i = 0; i < 3 && r.id > 0; ++i) {
            const int want = ModelNext(b, r, forward, true);
            r = Read(&f, b.item, dir, flags);
            if (r.id != want) off += " on again " + std::to_string(r.id) + " for " + std::to_string(want);
          }
          if (!off.empty()) failures += where + ": filter switched off then on read" + off + "\n";
          Close(&f);
        }
      }
  EXPECT_EQ(failures, "");
}

INSTANTIATE_TEST_SUITE_P(CodePages, FilterMovesLoaded, ::testing::Values(1252, 65001));

}  // namespace

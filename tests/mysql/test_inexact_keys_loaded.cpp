// Rows whose key the host's record holds otherwise than the server, through the loaded library
// beside a raw connection of the client library: a character the connection's page cannot carry
// ('?' from the server on 1252), a character a text item of the host's page cannot hold ('?' in a
// TEXTE item on 65001), a text cut to its item, a NUL ending a fixed text. Each table holds such
// rows beside the rows that hold what the record shows of them. On the table road, a parsed query
// and a query sent as written (read only), on both code pages and both SQL modes:
// - browses both ways at every block size, row cache on and off, read each row once in the order
//   the raw connection reads them, also while the raw connection deletes, changes and adds rows
//   around the current one between reads;
// - a return to a position saved on each kind of row goes on from that row;
// - a seek goes on across block edges in the server's order;
// - a modify, a delete and a delete-all of a query reach exactly the row read (read back over the
//   raw connection), or are refused naming their item (user error 320105) with nothing written;
// - chains of writes from a row (an add then a delete or a modify, a modify of the key then of
//   another item, the key put back as the record shows it, a delete then a write, a return to a
//   position saved then a modify), also on tables without a unique key holding equal twins and with
//   a column the server computes, reach exactly the rows they name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "access/inatable.h"
#include "driver/inadatasourcedescription.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_itemdescription.h"
#include "host/host_loader.h"
#include "host/host_sqlparser.h"
#include "platform/xerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nakjrecord.h"
#include "tests/support/loaded_file.h"
#include "tests/support/loaded_types.h"
#include "values/any.h"

namespace {

constexpr eNA_LOCKTYPE kNoLock{0};
constexpr unsigned int kNoRowCache = 0x10000;
constexpr unsigned int kRowNotNamed = 320105;
constexpr unsigned short kPrimary = 0x8000, kDuplicates = 0x2000, kComposite = 0x1000;

// How the record holds a row's key: exactly, or otherwise in one of the four ways.
enum Kind : char { kExact = 'x', kLostCharacter = 'a', kCut = 'c', kNul = 'd' };

struct SRow {
  Kind kind;
  std::vector<std::string> key;  // the key columns as SQL literals
  int n;
};

using SItemShape = SHostItem;

// A table and the host's file over it.
struct SShape {
  const char* name;
  std::string columns;                 // the CREATE TABLE body
  std::vector<std::string> keyColumns;  // the server's order, and the names of SRow::key
  std::vector<SItemShape> items;
  const wchar_t* tableItem;  // the item a browse of the table runs on
  const wchar_t* queryItem;  // ... of a query over it
  const wchar_t* lastKeyItem;  // the item a seek and a refusal name
  // Its browse items hold every value of their columns and it has a unique key: browses read
  // it in blocks. Otherwise they read their whole result, and blocks say nothing of what a
  // browse sees.
  bool blocks;
  // Its keys are no keys of a query's result: a query sent as written is browsed by a
  // client-side index of the record's values, which orders the rows the record holds alike
  // otherwise than the server.
  bool keyless;
  std::vector<SRow> rows;
};

std::string U8(const char* hex) { return std::string("_utf8mb4 X'") + hex + "'"; }

std::vector<SShape> Shapes() {
  // 'B' U+0151 and 'B' U+0171 show as 'B?'; 'Babcdef' as 'Babcd'; 'B' NUL 'z' as 'B'.
  const std::vector<std::pair<Kind, std::string>> keys = {
      {kExact, "'A'"},          {kExact, "'B?'"},         {kLostCharacter, U8("42C591")}, {kLostCharacter, U8("42C5B1")},
      {kExact, "'BZ'"},         {kExact, "'Babcd'"},      {kCut, "'Babcdef'"},           {kExact, "'B'"},
      {kNul, U8("42007A")},     {kExact, "'C'"},          {kExact, "'D'"},
  };
  // With cut: the rows of a column wider than its item.
  auto single = [&](const std::string& prefix, bool cut = true) {
    std::vector<SRow> rows;
    int n = 0;
    for (const auto& [kind, k] : keys) {
      ++n;
      if (!cut && (kind == kCut || k == "'Babcd'")) continue;
      rows.push_back({kind, prefix.empty() ? std::vector<std::string>{k} : std::vector<std::string>{prefix, k}, n});
    }
    return rows;
  };
  std::vector<SRow> composite = single("'FRA'");
  composite.push_back({kExact, {"'AAA'", U8("42C591")}, 20});
  composite.push_back({kExact, {"'GBR'", "'B'"}, 21});
  // The first of them names its row exactly: its country is not FRA's.
  composite[composite.size() - 2].kind = kLostCharacter;
  // A table without a unique key of a k as wide as width, which the TEXTE item holds whole
  // (5 characters) or cuts.
  auto keyless = [&](const char* name, int width) {
    return SShape{name,
                  "k VARCHAR(" + std::to_string(width) + ") CHARACTER SET ucs2 COLLATE ucs2_bin NOT NULL, n INT NOT NULL",
                  {"k"},
                  {{L"k", NA_IT_TEXTE, 6, kDuplicates, {}}, {L"n", NA_IT_I4, 4, 0, {}}},
                  L"k",
                  L"k",
                  L"k",
                  false,
                  true,
                  single("", width > 5)};
  };
  return {
      {"single utf8mb4 key",
       "k VARCHAR(12) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL PRIMARY KEY, n INT NOT NULL",
       {"k"},
       {{L"k", NA_IT_TEXTE, 6, kPrimary, {}}, {L"n", NA_IT_I4, 4, 0, {}}},
       L"k",
       L"k",
       L"k",
       false,
       false,
       single("")},
      {"single utf8mb4 key its item holds",
       "k VARCHAR(5) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL PRIMARY KEY, n INT NOT NULL",
       {"k"},
       {{L"k", NA_IT_TEXTE, 6, kPrimary, {}}, {L"n", NA_IT_I4, 4, 0, {}}},
       L"k",
       L"k",
       L"k",
       true,
       false,
       single("", false)},
      {"composite key (CHAR(3), utf8mb3 CHAR(30))",
       "country CHAR(3) CHARACTER SET ascii NOT NULL, language CHAR(30) CHARACTER SET utf8mb3 COLLATE utf8mb3_bin "
       "NOT NULL, n INT NOT NULL, PRIMARY KEY (country, language)",
       {"country", "language"},
       {{L"country", NA_IT_TEXTE, 4, kDuplicates, {}},
        {L"language", NA_IT_TEXTE, 6, 0, {}},
        {L"n", NA_IT_I4, 4, 0, {}},
        {L"cl", NA_IT_BINAIRE, 10, kComposite | kPrimary, {0, 1}}},
       L"cl",
       L"country",
       L"language",
       true,
       false,
       composite},
      keyless("keyless ucs2", 12),
      keyless("keyless ucs2 its item holds", 5),
  };
}

// The item of a column the server computes.
constexpr const wchar_t* kComputed = L"gv";

// Tables without a unique key holding equal twins, on which the chains of writes run beside the
// shapes': the keyless ucs2 table with a twin of each row held inexactly; a utf8mb4 key of
// duplicates; no key and a column the server computes (VIRTUAL, STORED), described as an item.
// The utf8mb4 tables hold ('A', 1) and 'A' U+0151 twice each.
std::vector<SShape> TwinShapes(const std::vector<SShape>& shapes) {
  SShape twins = *std::find_if(shapes.begin(), shapes.end(),
                               [](const SShape& s) { return strcmp(s.name, "keyless ucs2") == 0; });
  twins.name = "keyless ucs2 with equal twins";
  for (size_t i = 0, count = twins.rows.size(); i < count; ++i)
    if (twins.rows[i].kind != kExact) twins.rows.push_back(twins.rows[i]);
  const std::vector<SRow> rows = {{kExact, {"'A'"}, 1},
                                  {kExact, {"'A'"}, 1},
                                  {kLostCharacter, {U8("41C591")}, 2},
                                  {kLostCharacter, {U8("41C591")}, 2},
                                  {kExact, {"'C'"}, 3}};
  auto utf8 = [&](const char* name, const char* computed) {
    std::vector<SItemShape> items = {{L"k", NA_IT_TEXTE, 6, kDuplicates, {}}, {L"n", NA_IT_I4, 4, 0, {}}};
    if (computed != nullptr) items.push_back({kComputed, NA_IT_I4, 4, 0, {}});
    const std::string columns = std::string("k VARCHAR(12) CHARACTER SET utf8mb4, n INT, ") +
                                (computed != nullptr ? std::string("gv INT AS (n + 100) ") + computed : "KEY (k)");
    return SShape{name, columns, {"k"}, items, L"k", L"k", L"k", false, true, rows};
  };
  return {twins, utf8("keyless utf8mb4 with equal twins", nullptr),
          utf8("VIRTUAL column, equal twins", "VIRTUAL"), utf8("STORED column, equal twins", "STORED")};
}

enum Road { kTableRoad, kParsedRoad, kWrittenRoad };
const char* RoadName(Road r) { return r == kTableRoad ? "table" : r == kParsedRoad ? "parsed query" : "query as written"; }

// What the raw connection changes while a browse stands on a row of an inexact kind.
enum Change { kNoChange, kDeleteCurrent, kChangeCurrent, kDeleteAhead, kAddBeside };
const char* ChangeName(Change c) {
  switch (c) {
    case kNoChange: return "";
    case kDeleteCurrent: return ", the current row deleted";
    case kChangeCurrent: return ", the current row's key changed";
    case kDeleteAhead: return ", the row ahead deleted";
    case kAddBeside: return ", a row added just after the current one";
  }
  return "";
}

const std::vector<int> kCaches = {1, 2, 3, 17, 100, -1};

std::string Joined(const std::vector<int>& v) {
  std::string s;
  for (int n : v) s += (s.empty() ? "" : " ") + std::to_string(n);
  return s;
}

// A row of a kind in the server's order, with the n of the rows before and after it (0 past an
// end).
struct SAround {
  Kind kind;
  int before, n, after;
};
// The first row of each kind in order.
std::vector<SAround> FirstOfEachKind(const SShape& shape, const std::vector<int>& order) {
  std::vector<SAround> out;
  for (const Kind kind : {kExact, kLostCharacter, kCut, kNul}) {
    for (size_t i = 0; i < order.size(); ++i) {
      const auto row = std::find_if(shape.rows.begin(), shape.rows.end(), [&](const SRow& r) { return r.n == order[i]; });
      if (row == shape.rows.end() || row->kind != kind) continue;
      out.push_back({kind, i > 0 ? order[i - 1] : 0, order[i], i + 1 < order.size() ? order[i + 1] : 0});
      break;
    }
  }
  return out;
}

// Cases the roads do not answer alike yet, by name: left out of the comparisons.
// A query sent as written seeks and returns to positions through a client-side index of the
// record's values, which orders rows the record holds alike by what the record shows.
bool WrittenIndexOrdersByTheRecord(Road road, Kind kind) { return road == kWrittenRoad && kind != kExact; }

enum Write { kModify, kDelete, kDeleteAll };
const char* WriteName(Write w) { return w == kModify ? "modify" : w == kDelete ? "delete" : "delete-all of a query"; }

// A step of a chain the host makes on its current record: an add ('a'), a modify ('m'), a delete
// ('d'), a seek of key on the last key item (key null: of n on n) ('s'), a position saved on the
// browse item ('p'), a
// read of its first or last row ('f', 'l') or a return to the position saved ('r'); before an add
// or a modify the record's last key item takes key ("": the text the record shows for it, as a
// form puts it back; null: untouched) and n takes n. A write, a save and a read answer TRUE, or
// FALSE with the user error and the item it names; a seek and a return the n of the row they
// stand on ("none" out of range).
struct SStep {
  char op;
  const char* key = nullptr;
  int n = 0;
};
// Chained writes, the steps' answers, and the same writes over the raw connection.
struct SChain {
  const char* name;
  std::vector<SStep> steps;
  std::vector<std::string> answers;
  std::vector<std::string> raw;
};

class InexactKeysLoaded : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    m_tag = std::to_string(getpid()) + "_" + std::to_string(Page()) + (std::get<1>(GetParam()) ? "n" : "d");
  }
  void TearDown() override {
    std::string err;
    for (const std::string& t : m_tables) m_raw.exec("DROP TABLE IF EXISTS `" + t + "`", &err);
    Stop();
  }
  int Page() const { return std::get<0>(GetParam()); }

  CHostConnectionDescription* Host(int cache) { return HostOfCache(cache); }

  // The shape's table made on the server with the host's descriptions of it.
  struct STable : SHostTable {
    const SShape* shape = nullptr;
    std::vector<std::string> columns;  // every column, the server's order
  };
  STable* Make(const SShape& shape) {
    STable& t = m_made.emplace_back();
    t.shape = &shape;
    t.Describe("qx_inexact_" + m_tag + "_" + std::to_string(m_made.size()), shape.items,
               // A column the server computes may be left undefined.
               [](const SHostItem& s) {
                 return (s.keys == 0 && s.type != NA_IT_I4) || wcscmp(s.name, kComputed) == 0;
               });
    m_tables.push_back(t.name);
    Raw("DROP TABLE IF EXISTS `" + t.name + "`");
    Raw("CREATE TABLE `" + t.name + "` (" + shape.columns + ")");
    RawRows columns;
    Raw("SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" +
            t.name + "' ORDER BY ORDINAL_POSITION",
        &columns);
    for (const RawRow& c : columns) t.columns.push_back(c.at(0).value_or(""));
    return &t;
  }
  // The shape's rows, and nothing else, in the table.
  void Fill(const STable& t) {
    std::string values, columns;
    for (const std::string& k : t.shape->keyColumns) columns += k + ", ";
    for (const SRow& r : t.shape->rows) {
      values += values.empty() ? "(" : ",(";
      for (const std::string& k : r.key) values += k + ",";
      values += std::to_string(r.n) + ")";
    }
    Raw("DELETE FROM `" + t.name + "`");
    Raw("INSERT INTO `" + t.name + "` (" + columns + "n) VALUES " + values);
  }
  std::string KeyList(const STable& t, const char* direction = "") {
    std::string s;
    for (const std::string& k : t.shape->keyColumns) s += (s.empty() ? "" : ", ") + k + direction;
    return s;
  }
  // The n of the table's rows in the server's order.
  std::vector<int> Order(const STable& t, bool forward) {
    RawRows rows;
    std::vector<int> out;
    if (!Raw("SELECT n FROM `" + t.name + "` ORDER BY " + KeyList(t, forward ? "" : " DESC"), &rows)) return out;
    for (const RawRow& r : rows) out.push_back(std::stoi(r.at(0).value_or("0")));
    return out;
  }
  // Every row as key bytes, n and every other column, the rows sorted (equal twins leave the
  // server's order undecided): what a write may change is compared here.
  std::string State(const STable& t) {
    const std::vector<std::string>& keys = t.shape->keyColumns;
    std::string text;
    for (const std::string& k : keys) text += (text.empty() ? "IFNULL(HEX(" : ", '|', IFNULL(HEX(") + k + "), 'NULL')";
    text += ", '=', IFNULL(n, 'NULL')";
    for (const std::string& c : t.columns)
      if (c != "n" && std::find(keys.begin(), keys.end(), c) == keys.end()) text += ", ',', IFNULL(" + c + ", 'NULL')";
    RawRows rows;
    if (!Raw("SELECT CONCAT(" + text + ") FROM `" + t.name + "`", &rows)) return "";
    std::vector<std::string> texts;
    for (const RawRow& r : rows) texts.push_back(r.at(0).value_or("NULL"));
    std::sort(texts.begin(), texts.end());
    std::string s;
    for (const std::string& r : texts) s += r + " ";
    return s;
  }

  // A file over the table on a road, opened in its own context.
  using SFile = SLoadedFile;
  std::string Open(SFile* f, STable& t, Road road, int cache, const std::string& where = "") {
    f->host = Host(cache);
    f->ctx = &m_contexts.emplace_back(static_cast<DWORD>(100 + m_contexts.size()), 1);
    f->item = road == kTableRoad ? t.shape->tableItem : t.shape->queryItem;
    if (road == kTableRoad) return f->OpenTable(m_loader, &t.file, L"n");
    std::string columns;
    for (const SItemShape& s : t.shape->items)
      if (s.parts.empty()) columns += (columns.empty() ? "" : ", ") + Narrow(s.name);
    return f->OpenQuery(m_driver, "SELECT " + columns + " FROM " + t.name + where, t.catalogue,
                        road == kWrittenRoad ? 4 : 0, nullptr, L"n");
  }

  // A browse of t from one end to the other; between reads the raw connection makes change
  // around the row the browse stands on, each time it stands on a row whose key its record
  // holds inexactly. Rows added behind are never read; rows there from the start that stay are
  // read, in order; no row is read twice. A table read in blocks of one row reads a row added
  // ahead and no row deleted ahead; a browse that read ahead may have read either. "" when so.
  std::string Browse(STable* t, Road road, int cache, bool rowCache, bool forward, Change change) {
    const SShape& shape = *t->shape;
    const std::string where = std::string(shape.name) + ", " + RoadName(road) + ", blocks of " + std::to_string(cache) +
                              (rowCache ? "" : ", no row cache") + (forward ? ", forward" : ", backward") +
                              ChangeName(change);
    std::map<int, Kind> kinds;
    for (const SRow& r : shape.rows) kinds[r.n] = r.kind;
    Fill(*t);
    SFile f;
    if (const std::string why = Open(&f, *t, road, cache); !why.empty()) {
      f.Close(m_driver);
      return where + ": " + why + "\n";
    }
    // Rows read one by one, each its own block: a table in blocks of one. A query's text columns
    // are described by its result, in bytes of the connection's character set, which an item of
    // as many characters does not hold: it reads its whole result.
    const bool strict = cache == 1 && shape.blocks && road == kTableRoad;
    // Not answered alike (see SShape::keyless): each row once, in any order.
    const bool anyOrder = road == kWrittenRoad && shape.keyless;
    std::set<int> added, addedAhead, deletedAhead, touched;
    std::vector<int> seen;
    const unsigned int flags = rowCache ? 0 : kNoRowCache;
    const std::string q = "`" + t->name + "`", last = shape.keyColumns.back();
    int n = f.Read(forward ? NA_PARSE_FIRST : NA_PARSE_LAST, flags);
    for (size_t guard = 0; n > 0 && guard < 3 * shape.rows.size() + 6; ++guard) {
      seen.push_back(n);
      const auto kind = kinds.find(n);
      if (change != kNoChange && kind != kinds.end() && kind->second != kExact && touched.insert(n).second) {
        const std::vector<int> order = Order(*t, forward);
        const auto at = std::find(order.begin(), order.end(), n);
        const int ahead = at != order.end() && at + 1 != order.end() ? *(at + 1) : 0;
        const std::string row = std::to_string(n);
        if (change == kDeleteCurrent) {
          Raw("DELETE FROM " + q + " WHERE n = " + row);
        } else if (change == kChangeCurrent) {
          // Its key goes just past its own, and it becomes another row.
          Raw("UPDATE " + q + " SET " + last + " = CONCAT(" + last + ", '1'), n = n + 1000 WHERE n = " + row);
          (forward ? addedAhead : added).insert(n + 1000);
        } else if (change == kDeleteAhead && ahead != 0) {
          Raw("DELETE FROM " + q + " WHERE n = " + std::to_string(ahead));
          deletedAhead.insert(ahead);
        } else if (change == kAddBeside) {
          std::string columns;
          for (const std::string& k : shape.keyColumns) columns += (k == last ? "CONCAT(" + k + ", '0')" : k) + ", ";
          Raw("INSERT INTO " + q + " SELECT " + columns + "n + 2000 FROM " + q + " WHERE n = " + row);
          (forward ? addedAhead : added).insert(n + 2000);
        }
      }
      n = f.Read(forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, flags);
    }
    std::string failure;
    if (n < 0) failure = where + ": read failed after " + Joined(seen) + ": " + f.Error() + "\n";
    f.Close(m_driver);
    // What must be read, in the server's order now.
    std::vector<int> want, got;
    for (int r : Order(*t, forward))
      if (touched.count(r) == 0 && added.count(r) == 0 && (addedAhead.count(r) == 0 || strict)) want.push_back(r);
    std::set<int> once;
    std::string wrong;
    for (int r : seen) {
      if (!once.insert(r).second) wrong += " " + std::to_string(r) + " twice;";
      if (added.count(r) != 0) wrong += " " + std::to_string(r) + " added behind;";
      if (strict && deletedAhead.count(r) != 0) wrong += " " + std::to_string(r) + " deleted ahead;";
      if (std::find(want.begin(), want.end(), r) != want.end()) got.push_back(r);
    }
    if (anyOrder) std::sort(got.begin(), got.end()), std::sort(want.begin(), want.end());
    if (got != want || !wrong.empty())
      failure += where + ": read " + Joined(seen) + ", the server's " + Joined(want) + wrong + "\n";
    return failure;
  }

  // A position saved on row, the browse gone to the other end: the return finds the row, and the
  // browse goes on from it to the next row and, after a second return, to the row before. ""
  // when so.
  std::string Return(STable* t, Road road, int cache, const SAround& row) {
    const std::string where = std::string(t->shape->name) + ", " + RoadName(road) + ", blocks of " +
                              std::to_string(cache) + ", saved on row " + std::to_string(row.n) + " (" +
                              static_cast<char>(row.kind) + ")";
    Fill(*t);
    SFile f;
    std::string failure;
    if (const std::string why = Open(&f, *t, road, cache); !why.empty()) {
      f.Close(m_driver);
      return where + ": " + why + "\n";
    }
    int n = f.Read(NA_PARSE_FIRST, 0);
    while (n > 0 && n != row.n) n = f.Read(NA_PARSE_NEXT, 0);
    int saved = 0;
    wchar_t item[256] = L"";
    if (n != row.n || !f.table->bHSauvePosition(f.ctx, f.item, &saved, 0)) {
      failure = where + ": not saved (" + std::to_string(n) + "): " + f.Error() + "\n";
    } else {
      std::string got;
      for (const bool forward : {true, false}) {
        f.Read(forward ? NA_PARSE_LAST : NA_PARSE_FIRST, 0);
        const BOOL back = f.table->bHRetourPosition(f.ctx, saved, item, forward ? 1 : 0, 0);
        got += std::to_string(back ? f.Current() : -1) + ">";
        got += std::to_string(f.Read(forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 0)) + " ";
      }
      const std::string want = std::to_string(row.n) + ">" + std::to_string(row.after) + " " + std::to_string(row.n) +
                               ">" + std::to_string(row.before) + " ";
      if (got != want) failure = where + ": " + got + "for " + want + "\n";
    }
    f.Close(m_driver);
    return failure;
  }

  // A seek of the key sought (a row of t holds it), then reads to one end: the rows from the one
  // found on, in the server's order. "" when so.
  std::string Seek(STable* t, Road road, int cache, const char* sought, bool forward) {
    const std::string where = std::string(t->shape->name) + ", " + RoadName(road) + ", blocks of " +
                              std::to_string(cache) + ", seek of " + sought + (forward ? ", next" : ", previous");
    Fill(*t);
    RawRows found;
    Raw("SELECT n FROM `" + t->name + "` WHERE k = '" + sought + "'", &found);
    const int first = found.empty() ? 0 : std::stoi(found[0].at(0).value_or("0"));
    std::vector<int> order = Order(*t, forward);
    order.erase(order.begin(), std::find(order.begin(), order.end(), first));
    SFile f;
    if (const std::string why = Open(&f, *t, road, cache); !why.empty()) {
      f.Close(m_driver);
      return where + ": " + why + "\n";
    }
    const std::wstring text(sought, sought + strlen(sought));
    CAny value;
    value.__SetType(ZV_DSTRW, 0);
    value.SetValueByte(text.data(), static_cast<unsigned int>(text.size() * sizeof(wchar_t)));
    std::vector<int> seen;
    int n = f.table->bHRecherche(f.ctx, f.item, &value, 0, 1, kNoLock, nullptr, 1, 0) ? f.Current() : -1;
    for (size_t guard = 0; n > 0 && guard < 2 * t->shape->rows.size(); ++guard) {
      seen.push_back(n);
      n = f.Read(forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 0);
    }
    std::string failure;
    if (n < 0)
      failure = where + ": failed after " + Joined(seen) + ": " + f.Error() + "\n";
    else if (seen != order)
      failure = where + ": read " + Joined(seen) + ", the server's " + Joined(order) + "\n";
    f.Close(m_driver);
    return failure;
  }

  // A '?' from a 1252 connection may stand for a lost character, and a query reads its key in no
  // other form: a write on the road names row by nothing.
  bool Refused(Road road, const SRow& row) const {
    bool questionMark = false;
    for (const std::string& k : row.key) questionMark = questionMark || k.find('?') != std::string::npos;
    return road == kParsedRoad && Page() == 1252 && (row.kind == kLostCharacter || questionMark);
  }

  // A write of row: it reaches that row alone (the server's rows read back and compared with the
  // same write made over the raw connection), or, where nothing read names the row exactly (a
  // key read with a '?' from a 1252 connection, of which no other form is read), it is refused
  // naming its item, nothing written. "" when so.
  std::string WriteRow(STable* t, Road road, Write write, const SRow& row) {
    const SShape& shape = *t->shape;
    const std::string where = std::string(shape.name) + ", " + RoadName(road) + ", " + WriteName(write) + " of row " +
                              std::to_string(row.n) + " (" + static_cast<char>(row.kind) + ")";
    const std::string q = "`" + t->name + "`", nText = std::to_string(row.n);
    Fill(*t);
    const std::string before = State(*t);
    Raw(write == kModify ? "UPDATE " + q + " SET n = n + 500 WHERE n = " + nText : "DELETE FROM " + q + " WHERE n = " + nText);
    const std::string written = State(*t);
    Fill(*t);
    const bool refused = Refused(road, row);
    SFile f;
    if (const std::string why = Open(&f, *t, road, 2, write == kDeleteAll ? " WHERE n = " + nText : ""); !why.empty()) {
      f.Close(m_driver);
      return where + ": " + why + "\n";
    }
    BOOL ok = FALSE;
    if (write == kDeleteAll) {
      ok = f.table->bSupprimeTout(f.ctx);
    } else {
      int n = f.Read(NA_PARSE_FIRST, 0);
      while (n > 0 && n != row.n) n = f.Read(NA_PARSE_NEXT, 0);
      if (n != row.n) {
        f.Close(m_driver);
        return where + ": the row is not read\n";
      }
      if (write == kDelete) {
        ok = f.table->bHSupprime(f.ctx, 0, kNoLock);
      } else {
        CNAKJRecord* record = nullptr;
        ok = f.table->bGetRecord(f.ctx, &record) && record != nullptr;
        if (ok) {
          const int32_t value = row.n + 500;
          record->vSetItemValue(f.number, &value, 4, 0);
          ok = m_loader.bSetRecord(f.table, f.ctx, record) && f.table->bHModifie(f.ctx, 0, 0, kNoLock);
          record->vnRelease();
        }
      }
    }
    const std::string got = Answer(f, ok);
    const std::string after = State(*t);
    const std::string want = refused ? Refusal(shape) : "TRUE";
    std::string failure;
    if (got != want || after != (refused ? before : written))
      failure = where + ": " + got + (ok ? "" : " (" + f.Error() + ")") + ", the server holds " + after + "\nfor " +
                want + ", " + (refused ? before : written) + "\n";
    f.Close(m_driver);
    return failure;
  }
  // TRUE, or FALSE with the user error and the item it names.
  static std::string Answer(const SFile& f, BOOL ok) {
    if (ok) return "TRUE";
    INAError* error = f.table->piGetLastError(f.ctx);
    return "FALSE " + std::to_string(error->pclGetXError()->nGetUserErrorCode()) + " " + Narrow(error->pszGetItemName());
  }
  static std::string Refusal(const SShape& shape) {
    return "FALSE " + std::to_string(kRowNotNamed) + " " + Narrow(shape.lastKeyItem);
  }

  // The chains on row: from it, an add of a row of key 'Q1' (its other key columns the row's) then a
  // delete or a modify of the current record, or two; a modify of the key, then of n; the key put
  // back as the record shows it; a delete then another, or a modify (the record inserted again as
  // the host holds it, its key the server's), or an add then a modify or a delete; n modified
  // twice; a return to a position saved after the row's key and n were modified and a seek found
  // nothing, then n; a return from the other end, then n.
  static std::vector<SChain> Chains(const STable& t, const SRow& row) {
    const std::vector<std::string>& keys = t.shape->keyColumns;
    const std::string q = "`" + t.name + "`", k = keys.back(), n = std::to_string(row.n);
    const std::string added = " WHERE " + k + " = 'Q1' LIMIT 1", read = " WHERE n = " + n + " LIMIT 1";
    std::string columns, others, otherValues, values;
    for (size_t i = 0; i < keys.size(); ++i) {
      columns += keys[i] + ", ";
      values += row.key[i] + ", ";
      if (i + 1 < keys.size()) others += keys[i] + ", ", otherValues += row.key[i] + ", ";
    }
    const std::string into = "INSERT INTO " + q + " (" + columns + "n) ";
    const std::string add = into + "SELECT " + others + "'Q1', 7 FROM " + q + read;
    const std::string addAfterDelete = into + "VALUES (" + otherValues + "'Q1', 7)";
    const std::string del = "DELETE FROM " + q + read, delAdded = "DELETE FROM " + q + added;
    const std::string set = "UPDATE " + q + " SET ";
    return {
        {"add then delete", {{'a', "Q1", 7}, {'d'}}, {"TRUE", "TRUE"}, {add, delAdded}},
        {"add then modify", {{'a', "Q1", 7}, {'m', nullptr, 8}}, {"TRUE", "TRUE"}, {add, set + "n = 8" + added}},
        {"key modified then n",
         {{'m', "Q1", row.n}, {'m', nullptr, 12}},
         {"TRUE", "TRUE"},
         {set + k + " = 'Q1'" + read, set + "n = 12" + added}},
        {"key put back as shown", {{'m', "", 11}}, {"TRUE"}, {set + "n = 11" + read}},
        // The row found again by its new key (from the query's cache of rows, or read again).
        {"key modified, sought, then n",
         {{'m', "Q1", row.n}, {'s', "Q1"}, {'m', nullptr, 12}},
         {"TRUE", n, "TRUE"},
         {set + k + " = 'Q1'" + read, set + "n = 12" + added}},
        {"delete then delete", {{'d'}, {'d'}}, {"TRUE", "TRUE"}, {del}},
        {"delete then modify",
         {{'d'}, {'m', nullptr, 41}},
         {"TRUE", "TRUE"},
         {del, into + "VALUES (" + values + "41)"}},
        {"delete, add, then modify",
         {{'d'}, {'a', "Q1", 7}, {'m', nullptr, 8}},
         {"TRUE", "TRUE", "TRUE"},
         {del, addAfterDelete, set + "n = 8" + added}},
        {"delete, add, then delete",
         {{'d'}, {'a', "Q1", 7}, {'d'}},
         {"TRUE", "TRUE", "TRUE"},
         {del, addAfterDelete, delAdded}},
        {"add then modify twice",
         {{'a', "Q1", 7}, {'m', nullptr, 8}, {'m', nullptr, 9}},
         {"TRUE", "TRUE", "TRUE"},
         {add, set + "n = 8" + added, set + "n = 9" + added}},
        {"n modified twice",
         {{'m', nullptr, 41}, {'m', nullptr, 42}},
         {"TRUE", "TRUE"},
         {set + "n = 41" + read, set + "n = 42 WHERE n = 41 LIMIT 1"}},
        {"key and n modified, a seek of n finding nothing, a position saved, the first read, a return, then n",
         {{'m', "E", 5001}, {'s', nullptr, 5000}, {'p'}, {'f'}, {'r'}, {'m', nullptr, 7}},
         {"TRUE", "none", "TRUE", "TRUE", "5001", "TRUE"},
         {set + k + " = 'E', n = 5001" + read, set + "n = 7 WHERE n = 5001 LIMIT 1"}},
        {"a position saved, the last read, a return, then n",
         {{'p'}, {'l'}, {'r'}, {'m', nullptr, 43}},
         {"TRUE", "TRUE", n, "TRUE"},
         {set + "n = 43" + read}},
    };
  }
  // The step on f's current record, and its answer (see SStep); saved is the position saved.
  std::string Step(const SFile& f, const wchar_t* keyItem, const SStep& step, int* saved) {
    const auto standsOn = [&](BOOL ok) {
      if (!ok) return Answer(f, ok);
      const int n = f.Current();
      return n > 0 ? std::to_string(n) : n == 0 ? std::string("none") : "no record";
    };
    wchar_t item[256] = L"";
    switch (step.op) {
      case 's': {
        CAny value;
        if (step.key != nullptr) {
          const std::wstring text(step.key, step.key + strlen(step.key));
          value.__SetType(ZV_DSTRW, 0);
          value.SetValueByte(text.data(), static_cast<unsigned int>(text.size() * sizeof(wchar_t)));
        } else {
          value.SetI4(step.n);
        }
        const wchar_t* sought = step.key != nullptr ? keyItem : L"n";
        int found = 0, second = 0;
        if (!f.table->bHRecherche(f.ctx, sought, &value, 0, 1, kNoLock, nullptr, 1, 0)) return Answer(f, FALSE);
        return !f.table->bEvalHTrouve(f.ctx, sought, &found, &second) ? Answer(f, FALSE)
               : found != 0                                          ? standsOn(TRUE)
                                                                     : "none";
      }
      case 'p': return Answer(f, f.table->bHSauvePosition(f.ctx, f.item, saved, 0));
      case 'f':
      case 'l':
        return Answer(f, f.table->bHLitxxx(f.ctx, f.item, step.op == 'f' ? NA_PARSE_FIRST : NA_PARSE_LAST, 1, kNoLock,
                                           nullptr, 0));
      case 'r': return standsOn(f.table->bHRetourPosition(f.ctx, *saved, item, 0, 0));
      case 'd': return Answer(f, f.table->bHSupprime(f.ctx, 0, kNoLock));
    }
    if (!Put(f, keyItem, step)) return Answer(f, FALSE);
    return Answer(f, step.op == 'a' ? f.table->bHAjoute(f.ctx, 0, kNoLock) : f.table->bHModifie(f.ctx, 0, 0, kNoLock));
  }
  // The current record as step leaves it, handed back; FALSE when refused. An add leaves the item
  // of a column the server computes undefined (NULL).
  bool Put(const SFile& f, const wchar_t* keyItem, const SStep& step) {
    CNAKJRecord* record = nullptr;
    if (!f.table->bGetRecord(f.ctx, &record) || record == nullptr) return false;
    INADataSourceDescription* desc = f.table->piGetDataSourceDescription();
    // The item takes text, null: NULL; false without the item.
    const auto set = [&](const wchar_t* name, const char* text) {
      INAItemDescription* item = desc != nullptr ? desc->piNAGetItem(name) : nullptr;
      if (item == nullptr) return false;
      CAny value = HostAny(text == nullptr, false, text != nullptr ? text : "");
      if (text != nullptr && *text == 0) record->vGetItemValue(&value, item, 0);
      record->vSetItemValue(item, &value, 0);
      item->nExternalRelease();
      return true;
    };
    bool ok = step.key == nullptr || set(keyItem, step.key);
    if (step.op == 'a') set(kComputed, nullptr);
    if (desc != nullptr) desc->nExternalRelease();
    const int32_t n = step.n;
    record->vSetItemValue(f.number, &n, 4, 0);
    ok = ok && m_loader.bSetRecord(f.table, f.ctx, record);
    record->vnRelease();
    return ok;
  }
  // The chain's steps from row, read on the road: each answers as the chain says and each write
  // reaches exactly the row it names (every row of the server read back and compared with the
  // chain made over the raw connection), or the first write naming the row read, where nothing
  // names it (see Refused), is refused with nothing written. "" when so.
  std::string WriteChain(STable* t, Road road, const SChain& chain, const SRow& row) {
    const SShape& shape = *t->shape;
    const std::string where = std::string(shape.name) + ", " + RoadName(road) + ", " + chain.name + " on row " +
                              std::to_string(row.n) + " (" + static_cast<char>(row.kind) + ")";
    Fill(*t);
    const std::string before = State(*t);
    for (const std::string& sql : chain.raw) Raw(sql);
    const std::string written = State(*t);
    Fill(*t);
    // The first write naming the row read, where Refused says so; an add before it makes the record
    // the row added, which its key names.
    std::vector<std::string> want = chain.answers;
    bool refused = false;
    for (size_t i = 0; i < chain.steps.size() && Refused(road, row) && chain.steps[i].op != 'a'; ++i)
      if (chain.steps[i].op == 'm' || chain.steps[i].op == 'd') {
        want.resize(i);
        want.push_back(Refusal(shape));
        refused = true;
        break;
      }
    SFile f;
    std::string why = Open(&f, *t, road, 2);
    int n = why.empty() ? f.Read(NA_PARSE_FIRST, 0) : -1;
    while (n > 0 && n != row.n) n = f.Read(NA_PARSE_NEXT, 0);
    if (why.empty() && n != row.n) why = "the row is not read";
    if (!why.empty()) {
      f.Close(m_driver);
      return where + ": " + why + "\n";
    }
    // Up to the first FALSE.
    std::vector<std::string> got;
    int saved = -1;
    while (got.size() < want.size() && (got.empty() || got.back().rfind("FALSE", 0) != 0))
      got.push_back(Step(f, shape.lastKeyItem, chain.steps[got.size()], &saved));
    const std::string after = State(*t);
    std::string failure;
    const auto joined = [](const std::vector<std::string>& answers) {
      std::string s;
      for (const std::string& a : answers) s += (s.empty() ? "" : ", ") + a;
      return s;
    };
    if (got != want || after != (refused ? before : written))
      failure = where + ": " + joined(got) + "; the server holds " + after + "\nfor " + joined(want) + "; " +
                (refused ? before : written) + "\n";
    f.Close(m_driver);
    return failure;
  }

  // The shape named name.
  const SShape& ShapeNamed(const char* name) const {
    for (const SShape& shape : m_shapes)
      if (strcmp(shape.name, name) == 0) return shape;
    ADD_FAILURE() << "no shape " << name;
    return m_shapes.front();
  }
  STable* MakeShape(const char* name) { return Make(ShapeNamed(name)); }

  const std::vector<SShape> m_shapes = Shapes();
  const std::vector<SShape> m_twins = TwinShapes(m_shapes);

  std::deque<STable> m_made;
  std::vector<std::string> m_tables;
  std::string m_tag;
  std::deque<CHostContext> m_contexts;
};

// Every browse reads each row once in the server's order, also while the raw connection
// changes rows around the one it stands on (see Browse).
TEST_P(InexactKeysLoaded, BrowsesReadEachRowOnceInTheServersOrder) {
  std::string failures;
  for (const SShape& shape : m_shapes) {
    STable* t = Make(shape);
    for (const Road road : {kTableRoad, kParsedRoad, kWrittenRoad})
      for (const int cache : kCaches)
        for (const bool rowCache : {true, false})
          for (const bool forward : {true, false})
            for (const Change change : {kNoChange, kDeleteCurrent, kChangeCurrent, kDeleteAhead, kAddBeside})
              // A query sent as written reads the whole result at once: changes make no case.
              if (road != kWrittenRoad || change == kNoChange)
                failures += Browse(t, road, cache, rowCache, forward, change);
  }
  EXPECT_EQ(failures, "");
}

// A return to a position saved on a row of each kind goes on from that row.
TEST_P(InexactKeysLoaded, ReturnToAPositionGoesOnFromItsRow) {
  std::string failures;
  for (const SShape& shape : m_shapes) {
    STable* t = Make(shape);
    Fill(*t);
    const std::vector<SAround> rows = FirstOfEachKind(shape, Order(*t, true));
    for (const Road road : {kTableRoad, kParsedRoad, kWrittenRoad}) {
      // Not answered alike (see SShape::keyless).
      if (road == kWrittenRoad && shape.keyless) continue;
      for (const int cache : kCaches)
        for (const SAround& row : rows)
          if (!WrittenIndexOrdersByTheRecord(road, row.kind))
            failures += Return(t, road, cache, row);
    }
  }
  EXPECT_EQ(failures, "");
}

// A seek of a key next to rows held inexactly, then reads to either end: the rows from the one
// found on, in the server's order, across the edges of the blocks. A composite key is sought by
// no single value: its tables are left out. A query sent as written is sought through its
// client-side index (see WrittenIndexOrdersByTheRecord): only the table and a parsed query are
// compared.
TEST_P(InexactKeysLoaded, SeekThenReadsAcrossBlockEdgesFollowTheServersOrder) {
  std::string failures;
  for (const SShape& shape : m_shapes) {
    if (shape.keyColumns.size() > 1) continue;
    STable* t = Make(shape);
    for (const char* sought : {"B", "BZ", "C"})
      for (const Road road : {kTableRoad, kParsedRoad})
        for (const int cache : kCaches)
          for (const bool forward : {true, false}) failures += Seek(t, road, cache, sought, forward);
  }
  EXPECT_EQ(failures, "");
}

// A modify, a delete and a delete-all of a query of one row, on each kind of row, reach that row
// alone or are refused naming the item (see WriteRow).
TEST_P(InexactKeysLoaded, WritesReachTheRowReadOrAreRefusedNamingTheItem) {
  std::string failures;
  for (const SShape& shape : m_shapes) {
    STable* t = Make(shape);
    for (const SRow& row : shape.rows)
      for (const Road road : {kTableRoad, kParsedRoad})
        for (const Write write : {kModify, kDelete, kDeleteAll})
          if (write != kDeleteAll || road == kParsedRoad) failures += WriteRow(t, road, write, row);
  }
  EXPECT_EQ(failures, "");
}

// On 1252 a keyless table reads its wide text as UTF-8 bytes beside it: a write names the row by
// them in the comparison of the text's bytes too (it compared the record's '?', which the server
// could not even convert, or the record's cut text, and wrote nothing).
TEST_P(InexactKeysLoaded, KeylessWriteNamesTheRowByItsTextsBytesAsTheServerHoldsThem) {
  STable* t = MakeShape("keyless ucs2");
  std::string failures;
  for (const SRow& row : t->shape->rows)
    if (row.kind != kExact)
      for (const Write write : {kModify, kDelete}) failures += WriteRow(t, kTableRoad, write, row);
  EXPECT_EQ(failures, "");
}

// On 1252, a return to a position saved on a keyless row whose text its record holds cut or
// ended by a NUL goes on from that row (it went on from the record's text, and read the row
// again).
TEST_P(InexactKeysLoaded, ReturnToAKeylessRowHeldCutGoesOnFromTheServersText) {
  STable* t = MakeShape("keyless ucs2");
  Fill(*t);
  std::string failures;
  for (const SAround& row : FirstOfEachKind(*t->shape, Order(*t, true)))
    if (row.kind == kCut || row.kind == kNul)
      for (const int cache : {1, -1}) failures += Return(t, kTableRoad, cache, row);
  EXPECT_EQ(failures, "");
}

// On 1252 a parsed query reads a utf8mb4 key with a '?' for a character the page has no place
// for, and in no other form: a write of such a row, or of a row whose key holds a '?' of its own,
// is refused naming the key (it was written to the row whose key the '?' spells, or to none).
TEST_P(InexactKeysLoaded, ParsedQueryWriteOnAKeyReadWithAQuestionMarkIsRefusedOrReachesItsRow) {
  STable* t = MakeShape("single utf8mb4 key");
  std::string failures;
  for (const SRow& row : t->shape->rows)
    if (row.n <= 4)
      for (const Write write : {kModify, kDelete, kDeleteAll}) failures += WriteRow(t, kParsedRoad, write, row);
  EXPECT_EQ(failures, "");
}

// On 1252 a parsed query browsed in blocks on a utf8mb4 key reads its whole result: no block
// goes on from a '?' (a row changed or deleted under the browse made it read rows twice).
TEST_P(InexactKeysLoaded, ParsedQueryOnTextKeysReadWithAQuestionMarkReadsEachRowOnceThroughChanges) {
  STable* t = MakeShape("single utf8mb4 key its item holds");
  std::string failures;
  for (const Change change : {kDeleteCurrent, kChangeCurrent, kDeleteAhead})
    for (const bool forward : {true, false}) failures += Browse(t, kParsedRoad, 2, true, forward, change);
  EXPECT_EQ(failures, "");
}

// Chains of the host's writes on a row of each kind, on the table and a parsed query, reach the rows
// they name (see WriteChain): a delete or a modify after an add reaches the row added (it reached
// the row read before, or nothing where a computed column named it by the record's value); a
// second modify after the key's reaches the row by its new key (it named it by the former key: not
// found, or an equal twin of a keyless table modified); a key put back as the record shows it
// keeps the server's (a key ended by a NUL was cut at it); after a delete the record names no row
// (a second delete, or a modify, reached its equal twin); a return gives back the row as written
// (it gave back the row as read).
TEST_P(InexactKeysLoaded, ChainedWritesOnARowReachTheRowsTheyName) {
  std::vector<const SShape*> shapes;
  for (const SShape& shape : m_twins) shapes.push_back(&shape);
  for (const SShape& shape : m_shapes) shapes.push_back(&shape);
  std::string failures;
  for (const SShape* shape : shapes) {
    STable* t = Make(*shape);
    for (const Kind kind : {kExact, kLostCharacter, kCut, kNul}) {
      const auto row = std::find_if(shape->rows.begin(), shape->rows.end(), [&](const SRow& r) { return r.kind == kind; });
      if (row == shape->rows.end()) continue;
      for (const Road road : {kTableRoad, kParsedRoad})
        for (const SChain& chain : Chains(*t, *row)) {
          // A part of a composite key is sought by no value of its own.
          const bool seeks = std::any_of(chain.steps.begin(), chain.steps.end(),
                                         [](const SStep& s) { return s.op == 's' && s.key != nullptr; });
          if (!seeks || shape->keyColumns.size() == 1) failures += WriteChain(t, road, chain, *row);
        }
    }
  }
  EXPECT_EQ(failures, "");
}

// A delete-all of a query deletes every row or none, on both pages: a parsed query over a key read
// with a '?' for a lost character (on 1252 it deleted the rows before that one, then refused; on
// 65001 every row goes); over a TIME beyond a day, a row the record cannot hold (on 65001 it deleted
// the rows before it); a query sent as written refuses before it reads a row (on 1252 it named the
// rows first, and answered their refusal or the read's failure).
TEST_P(InexactKeysLoaded, ParsedQueryDeleteAllDeletesEveryRowOrNone) {
  // w goes with the key columns, which SRow::key fills; no item of a query takes it as a key.
  const SShape times{"TIME beyond a day",
                     "id INT NOT NULL PRIMARY KEY, w TIME NULL, n INT NOT NULL",
                     {"id", "w"},
                     {{L"id", NA_IT_I4, 4, kPrimary, {}}, {L"w", NA_IT_HEURE, 10, 0, {}}, {L"n", NA_IT_I4, 4, 0, {}}},
                     L"id",
                     L"id",
                     L"id",
                     false,
                     false,
                     {{kExact, {"1", "'10:00:00'"}, 1},
                      {kExact, {"2", "'11:00:00'"}, 2},
                      {kExact, {"3", "'25:00:00'"}, 3},
                      {kExact, {"4", "'12:00:00'"}, 4},
                      {kExact, {"0", "'-00:00:01'"}, 5}}};
  const struct {
    const SShape& shape;
    std::vector<int> rows;  // the n of the shape's rows the table holds
    Road road;
    const char* on1252;  // the answer; FALSE deletes nothing
    const char* on65001;
  } cases[] = {
      // 'A', 'B' U+0151, 'B', 'B' NUL 'z', 'C'.
      {ShapeNamed("single utf8mb4 key"), {1, 3, 8, 9, 10}, kParsedRoad, "FALSE 320105 k", "TRUE"},
      {ShapeNamed("single utf8mb4 key"), {1, 3, 10}, kWrittenRoad, "FALSE 35 ", "FALSE 35 "},
      {times, {1, 2, 3, 4}, kParsedRoad, "FALSE 53 w", "FALSE 53 w"},
      {times, {5, 1}, kWrittenRoad, "FALSE 35 ", "FALSE 35 "},
  };
  std::deque<SShape> shapes;
  for (const auto& c : cases) {
    SShape& shape = shapes.emplace_back(c.shape);
    std::erase_if(shape.rows,
                  [&](const SRow& r) { return std::find(c.rows.begin(), c.rows.end(), r.n) == c.rows.end(); });
    STable* t = Make(shape);
    Fill(*t);
    const std::string before = State(*t), answer = Page() == 1252 ? c.on1252 : c.on65001;
    const std::string where =
        std::string(shape.name) + ", " + RoadName(c.road) + ", " + std::to_string(c.rows.size()) + " rows";
    SFile f;
    if (const std::string why = Open(&f, *t, c.road, 2); !why.empty()) {
      f.Close(m_driver);
      ADD_FAILURE() << where << ": " << why;
      continue;
    }
    const BOOL ok = f.table->bSupprimeTout(f.ctx);
    const std::string got = Answer(f, ok), after = State(*t);
    f.Close(m_driver);
    EXPECT_EQ(got + ", the server holds " + after, answer + ", the server holds " + (ok ? "" : before)) << where;
  }
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, InexactKeysLoaded,
                         testing::Combine(testing::Values(1252, 65001), testing::Bool()));

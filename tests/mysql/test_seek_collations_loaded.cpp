// Seeks and filters on text keys under the collations a user meets, through the loaded driver,
// against what the server answers over a raw connection: a seek (exact or starts-with, from the
// first or the last of the rows it finds) stands on the first (last) row of those the server's
// WHERE k = value (or k LIKE the value's pattern followed by '%') selects, in the key's order,
// says whether it found, and next and previous go on through that order, each row once; not
// found, it stands on the first row past the value in the way it reads. A filter reads the rows
// the server's range selects (a starts-with filter: those of the range from the value that start
// with it). Keys are CHAR, VARCHAR and TEXT columns of every character set and kind of collation
// (case and accent folding, PAD SPACE and NO PAD, binary), and a composite key sought by its
// first components; the values differ by case, accents, blanks before and after, hold LIKE's
// wildcards, the backslash, quotes, a NUL, characters above U+FFFF, or are empty or NULL. On the
// table and a query the host parsed, in blocks of the default size and of 3 rows, and on a query
// read through its table cache and one sent as written, on both code pages and SQL modes.
//
// Left out, as the server answers them otherwise than it orders: a CHAR key of a NO PAD
// collation (its ORDER BY pads the value with blanks, its comparisons do not: 'ab' sorts after
// 'ab' TAB but is not greater than it). A table cache's index orders texts by code unit and a
// NULL as the empty text: it is compared on a binary NO PAD key, without NULLs or NULs.
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
#include "common/utf.h"
#include "driver/inadatasourcedescription.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_queryexecution.h"
#include "host/host_sqlparser.h"
#include "sql/nakjrecord.h"
#include "tests/support/loaded_file.h"
#include "tests/support/loaded_types.h"
#include "values/any.h"

namespace {

constexpr eNA_LOCKTYPE kNoLock{0};
constexpr unsigned short kPrimary = 0x8000, kDuplicates = 0x2000, kComposite = 0x1000;
constexpr unsigned int kReuse = 0x2000, kContinue = 0x4000;

// The characters a column's character set holds.
enum class Repertoire { kAscii, kLatin1, kBmp, kAll };

// A key column: its SQL type, character set and collation.
struct SKey {
  std::string type;  // CHAR(16), VARCHAR(16) or TEXT
  std::string charset, collation;
  Repertoire holds;
};
std::string KeyName(const SKey& k) { return k.type + " " + k.collation; }

const std::vector<SKey>& Keys() {
  static const std::vector<SKey> keys = {
      {"VARCHAR(16)", "utf8mb4", "utf8mb4_general_ci", Repertoire::kAll},
      {"VARCHAR(16)", "utf8mb4", "utf8mb4_unicode_ci", Repertoire::kAll},
      {"VARCHAR(16)", "utf8mb4", "utf8mb4_bin", Repertoire::kAll},
      {"VARCHAR(16)", "utf8mb4", "utf8mb4_nopad_bin", Repertoire::kAll},
      {"VARCHAR(16)", "utf8mb4", "utf8mb4_general_nopad_ci", Repertoire::kAll},
      {"VARCHAR(16)", "latin1", "latin1_swedish_ci", Repertoire::kLatin1},
      {"VARCHAR(16)", "latin1", "latin1_bin", Repertoire::kLatin1},
      {"VARCHAR(16)", "ascii", "ascii_general_ci", Repertoire::kAscii},
      {"VARCHAR(16)", "ucs2", "ucs2_general_ci", Repertoire::kBmp},
      {"VARCHAR(16)", "ucs2", "ucs2_bin", Repertoire::kBmp},
      {"VARCHAR(16)", "utf8mb3", "utf8mb3_general_ci", Repertoire::kBmp},
      {"CHAR(16)", "utf8mb4", "utf8mb4_general_ci", Repertoire::kAll},
      {"CHAR(16)", "latin1", "latin1_bin", Repertoire::kLatin1},
      {"TEXT", "utf8mb4", "utf8mb4_general_ci", Repertoire::kAll},
      {"TEXT", "utf8mb4", "utf8mb4_nopad_bin", Repertoire::kAll},
  };
  return keys;
}

using Text = std::optional<std::string>;  // UTF-8; nullopt: NULL

// The rows' keys (UTF-8), some twice.
const std::vector<Text>& Values() {
  static const std::vector<Text> values = {
      "ab", "AB", "Ab", "ab", "ab ", "ab  ", " ab", "ab\t", "abc", "ABC", "abd", "aa",
      "\xC3\xA4" "b", "\xC3\x84" "b", "\xC3\xA1" "b", std::string("ab\0c", 4), "a%b", "a%", "a_b", "axb",
      "a\\b", "a\\", "a\\%", "a\\_", "it's", "'", "''", "\"", "a\"b", "\xC3\x9F", "ss", "sa", "st",
      "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80" "a", "a\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81", "", "", " ",
      std::nullopt, std::nullopt, "zz", "z", "\xE2\x82\xAC"};
  return values;
}

// The values sought whole, beyond every row's own.
const std::vector<std::string> kMoreExact = {"aa ", "abb", "ac", "a", "b", "\xC3\xA4", "\xF0\x9F\x98\x82", "it"};
// The values sought by their start.
const std::vector<std::string> kStarts = {
    "a", "ab", "AB", "a%", "a_", "a\\", "a\\%", "it'", "'", "''", "", " ", "ab ", "s", "\xC3\x9F", "\"",
    "\xC3\xA4", "\xF0\x9F\x98\x80", "z", "Z", "ab\t", std::string("ab\0", 3)};

bool Holds(Repertoire r, const std::string& utf8) {
  for (const wchar_t w : WideOfUTF8(utf8)) {
    const uint32_t c = static_cast<uint32_t>(w);
    if (r == Repertoire::kAscii && c >= 0x80) return false;
    if (r == Repertoire::kLatin1 && (c > 0xFF || (c >= 0x80 && c < 0xA0))) return false;
    if (r == Repertoire::kBmp && c > 0xFFFF) return false;
  }
  return true;
}
// Whether the host's text of code page 1252 carries it (the page's own places of 0x80-0x9F aside).
bool InPage1252(const std::string& utf8) { return Holds(Repertoire::kLatin1, utf8); }

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
  return out;
}
// A readable form of a value for messages.
std::string Shown(const std::string& utf8) {
  std::string out = "'";
  for (const unsigned char c : utf8) {
    if (c < 0x20) out += "\\x" + Hex(std::string(1, static_cast<char>(c)));
    else out += static_cast<char>(c);
  }
  return out + "'";
}

CAny WideAny(const std::wstring& w, unsigned short type = ZV_DSTRW) {
  CAny any;
  any.__SetType(type, 0);
  any.SetValueByte(w.data(), static_cast<unsigned int>(w.size() * sizeof(wchar_t)));
  return any;
}

// The highest text that starts with w: w and the host's maximum fill.
CAny Topped(const std::wstring& w) { return WideAny(w + static_cast<wchar_t>(0xFFFFFFFFu), ZV_PSTRW); }

enum Road { kTableRoad, kParsedRoad, kCacheRoad, kWrittenRoad };
const char* RoadName(Road r) {
  switch (r) {
    case kTableRoad: return "table";
    case kParsedRoad: return "parsed query";
    case kCacheRoad: return "parsed query through its table cache";
    case kWrittenRoad: return "query as written";
  }
  return "";
}

// One seek on a road over a key's table of rows, then reads on: Sought's answer.
struct SSeekCase {
  const SKey* key;
  std::vector<std::pair<int, Text>> rows;
  Road road;
  std::string value;
  bool generic, fromFirst, forward;
  std::string want;
};

// The server's answer for one row against one value: NULL, equal, below, starting with it.
struct SCompared {
  bool null = false, eq = false, lt = false, like = false;
};

class SeekCollationsLoaded : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    m_host = AddConnection(Page() == 65001);
    ASSERT_TRUE(m_loader.bOpenConnection(m_host)) << Narrow(m_driver->piGetLastError()->pszGetError());
    // Blocks of 3 rows: reads on from a row found cross the blocks' edges.
    m_blocks = AddConnection(Page() == 65001, ";QX Cache Size=3");
    ASSERT_TRUE(m_loader.bOpenConnection(m_blocks)) << Narrow(m_driver->piGetLastError()->pszGetError());
    m_tag = std::to_string(getpid()) + "_" + std::to_string(Page()) + (std::get<1>(GetParam()) ? "n" : "d");
  }
  void TearDown() override {
    std::string err;
    for (const std::string& t : m_tables) m_raw.exec("DROP TABLE IF EXISTS `" + t + "`", &err);
    for (CHostConnectionDescription* host : {m_host, m_blocks})
      if (m_driver != nullptr && host != nullptr) m_driver->bCloseConnection(host);
    Stop();
  }
  int Page() const { return std::get<0>(GetParam()); }
  bool Wide() const { return Page() == 65001; }

  // A table of the server with the host's descriptions of it.
  struct STable : SHostTable {
    std::string order;  // the key's ORDER BY
  };
  STable* Make(const std::string& columns, const std::vector<SHostItem>& items, const std::string& order) {
    STable& t = m_made.emplace_back();
    t.order = order;
    t.Describe("qx_seekcoll_" + m_tag + "_" + std::to_string(m_made.size()), items,
               [](const SHostItem& s) { return (s.keys & kPrimary) == 0; });
    m_tables.push_back(t.name);
    Raw("DROP TABLE IF EXISTS `" + t.name + "`");
    Raw("CREATE TABLE `" + t.name + "` (" + columns + ")");
    return &t;
  }
  // The host's text item of a key column of n characters.
  SHostItem TextItem(const wchar_t* name, unsigned int n, unsigned short keys) const {
    return Wide() ? SHostItem{name, NA_IT_UNICODE, 2 * (n + 1), keys, {}, n + 1}
                  : SHostItem{name, NA_IT_TEXTE, n + 1, keys, {}, n + 1};
  }

  // A file over a table on a road, in its own context, and the flags of its seeks and reads.
  struct SFile : SLoadedFile {
    unsigned int seekFlags = 0, readFlags = 0;
  };
  std::string Open(SFile* f, STable& t, Road road, const wchar_t* item, const std::string& columns,
                   CHostConnectionDescription* host = nullptr) {
    f->host = host != nullptr ? host : m_host;
    f->item = item;
    f->ctx = &m_contexts.emplace_back(static_cast<DWORD>(300 + m_contexts.size()), 1);
    if (road == kTableRoad) return f->OpenTable(m_loader, &t.file, L"id");
    // Through its table cache: the host asks for the query's whole result to be kept (its
    // execution given), then seeks and reads in it.
    CHostQueryExecution execution(0, L"id");
    if (road == kCacheRoad) f->seekFlags = kReuse | kContinue, f->readFlags = kContinue;
    return f->OpenQuery(m_driver, "SELECT " + columns + " FROM " + t.name, t.catalogue, road == kWrittenRoad ? 4 : 0,
                        road == kCacheRoad ? &execution : nullptr, L"id");
  }
  void Close(SFile* f) {
    CHostContext* ctx = f->ctx;
    f->Close(m_driver);
    if (ctx != nullptr) m_driver->bCloseContext(ctx);
    *f = SFile{};
  }
  static int Read(SFile* f, eNA_PARSEDIRECTION dir) { return f->Read(dir, f->readFlags); }
  // The ids read on from the current one to the end in the way asked, the current one first; at
  // most most of them.
  static std::vector<int> On(SFile* f, int first, bool forward, size_t most) {
    std::vector<int> seen;
    for (int n = first; n > 0 && seen.size() < most; n = Read(f, forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS))
      seen.push_back(n);
    return seen;
  }

  // The ids of t in the key's order.
  std::vector<int> Order(const STable& t) {
    RawRows rows;
    std::vector<int> out;
    if (!Raw("SELECT id FROM `" + t.name + "` ORDER BY " + t.order + ", id", &rows)) return out;
    for (const RawRow& r : rows) out.push_back(std::stoi(r.at(0).value_or("0")));
    return out;
  }
  // The value as a literal of the key's character set (NULL for none), and of its collation.
  static std::string Stored(const SKey& key, const Text& utf8) {
    return utf8 ? "CONVERT(_utf8mb4 X'" + Hex(*utf8) + "' USING " + key.charset + ")" : "NULL";
  }
  static std::string Literal(const SKey& key, const std::string& utf8) {
    return Stored(key, utf8) + " COLLATE " + key.collation;
  }
  // The pattern of the texts starting with the value, its wildcards escaped by '!'.
  static std::string Pattern(const SKey& key, const std::string& utf8) {
    std::string p;
    for (const char c : utf8) {
      if (c == '!' || c == '%' || c == '_') p += '!';
      p += c;
    }
    return Literal(key, p + "%") + " ESCAPE '!'";
  }
  // How each row of t compares with the value on column, by id: each set of rows the server's own
  // WHERE selects, through the key's index as the driver's SELECTs are answered, or row by row as
  // a client-side index is to answer. (The server's index bounds a LIKE below the characters
  // above U+FFFF: 'a' followed by one starts with 'a' only row by row.)
  std::map<int, SCompared> Compare(const STable& t, const SKey& key, const std::string& utf8, bool rowByRow) {
    const std::string l = Literal(key, utf8);
    return Compare(t, {"v IS NULL", "v = " + l, "v < " + l, "v LIKE " + Pattern(key, utf8)},
                   rowByRow ? " IGNORE INDEX (v)" : "");
  }
  // The same of the conditions that say a row is NULL, equal, below and starting with a value,
  // the table read with hint.
  std::map<int, SCompared> Compare(const STable& t, const std::vector<std::string>& where,
                                   const std::string& hint = "") {
    std::map<int, SCompared> out;
    for (const int id : Order(t)) out[id] = {};
    bool SCompared::*const fields[] = {&SCompared::null, &SCompared::eq, &SCompared::lt, &SCompared::like};
    for (size_t i = 0; i < where.size() && i < std::size(fields); ++i) {
      RawRows rows;
      if (!Raw("SELECT id FROM `" + t.name + "`" + hint + " WHERE " + where[i], &rows)) return out;
      for (const RawRow& r : rows) out[std::stoi(r.at(0).value_or("0"))].*fields[i] = true;
    }
    return out;
  }
  // The ids of the rows where holds, in the key's order, then from the last to the first.
  std::string Selected(const STable& t, const std::string& where) {
    RawRows rows;
    std::vector<int> ids;
    if (!Raw("SELECT id FROM `" + t.name + "` WHERE " + where + " ORDER BY " + t.order + ", id", &rows)) return "";
    for (const RawRow& r : rows) ids.push_back(std::stoi(r.at(0).value_or("0")));
    std::string out;
    for (const int id : ids) out += " " + std::to_string(id);
    out += " |";
    for (auto id = ids.rbegin(); id != ids.rend(); ++id) out += " " + std::to_string(*id);
    return out;
  }
  // A filter of the file's item from lo to hi (each included or not), read from the first row to
  // the last, then from the last to the first, as Selected gives them.
  static std::string Filtered(SFile* f, const CAny& lo, int loIncluded, const CAny& hi, int hiIncluded) {
    if (!f->table->bHFiltre(f->ctx, f->item, &lo, loIncluded, &hi, hiIncluded, nullptr))
      return "refused: " + f->Error();
    std::string ids;
    for (const bool forward : {true, false}) {
      int n = Read(f, forward ? NA_PARSE_FIRST : NA_PARSE_LAST);
      for (size_t guard = 0; n > 0 && guard < 200; ++guard) {
        ids += " " + std::to_string(n);
        n = Read(f, forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS);
      }
      if (n < 0) ids += " failed: " + f->Error();
      if (forward) ids += " |";
    }
    f->table->bHDesactiveFiltre(f->ctx, f->item, 0);
    return ids;
  }

  // A seek of value, then reads to one end: the row found, whether found, and the rows read on,
  // against the server's (order, and how each row compares with the value). "" when alike.
  static std::string SeekAndReadOn(SFile* f, const CAny& value, bool generic, bool like, bool fromFirst, bool forward,
                                   const std::vector<int>& order, const std::map<int, SCompared>& compared) {
    // The server's: the first (last) row that matches, or the first past the value in the way of
    // reading (the last below it).
    long long p = -1;
    bool found = false;
    for (size_t i = 0; i < order.size(); ++i) {
      const SCompared& c = compared.at(order[i]);
      if (!(like ? c.like : c.eq)) continue;
      if (!found || !fromFirst) p = static_cast<long long>(i);
      found = true;
    }
    if (!found) {
      p = fromFirst ? static_cast<long long>(order.size()) : -1;
      for (size_t i = 0; i < order.size(); ++i) {
        const SCompared& c = compared.at(order[i]);
        if (fromFirst && !c.null && !c.lt && !c.eq) {
          p = static_cast<long long>(i);
          break;
        }
        if (!fromFirst && (c.null || c.lt)) p = static_cast<long long>(i);
      }
    }
    std::string want = std::string(found ? "found" : "not found") + ":";
    if (p >= 0 && p < static_cast<long long>(order.size()))
      for (long long i = p; i >= 0 && i < static_cast<long long>(order.size()); i += forward ? 1 : -1)
        want += " " + std::to_string(order[static_cast<size_t>(i)]);
    // A row read twice shows past the end.
    const std::string got = Sought(f, value, generic, fromFirst, forward, order.size() + 2);
    return got == want ? "" : got + "\n    for " + want;
  }
  // A seek of value, then reads toward one end: "found: <id> <id> ..." from the row found, "not
  // found: ..." from the row it stands on (at most most ids), or why the seek was refused.
  static std::string Sought(SFile* f, const CAny& value, bool generic, bool fromFirst, bool forward, size_t most) {
    if (!f->table->bHRecherche(f->ctx, f->item, &value, generic ? 1 : 0, 1, kNoLock, nullptr, fromFirst ? 1 : 0,
                               f->seekFlags))
      return "seek refused: " + f->Error();
    int foundFlag = -1;
    f->table->bEvalHTrouve(f->ctx, f->item, &foundFlag, nullptr);
    std::string got = std::string(foundFlag == 1 ? "found" : foundFlag == 0 ? "not found" : "found?") + ":";
    for (const int n : On(f, f->Current(), forward, most)) got += " " + std::to_string(n);
    return got;
  }

  // key's table of column v holding rows (id, value).
  STable* MakeKeyTable(const SKey& key, const std::vector<std::pair<int, Text>>& rows) {
    const bool text = key.type == "TEXT";
    STable* t = Make("id INT NOT NULL PRIMARY KEY, v " + key.type + " CHARACTER SET " + key.charset + " COLLATE " +
                         key.collation + " NULL, KEY (v" + (text ? "(20)" : "") + ")",
                     {{L"id", NA_IT_I4, 4, kPrimary, {}}, TextItem(L"v", 16, kDuplicates)}, "v");
    std::string values;
    for (const auto& [id, v] : rows)
      values += (values.empty() ? "(" : ",(") + std::to_string(id) + "," + Stored(key, v) + ")";
    Raw("INSERT INTO `" + t->name + "` VALUES " + values);
    return t;
  }

  // Every value of rows sought whole, and more, and the starts sought, on each road over key's
  // table of rows: from the first and the last of the rows found, then read on either way. The
  // failures, a line each.
  std::string SeekEverything(const SKey& key, const std::vector<std::pair<int, Text>>& rows,
                             const std::vector<Road>& roads, CHostConnectionDescription* host = nullptr) {
    // A client-side index answers as the server's rows one by one, not as its index.
    const bool rowByRow =
        std::all_of(roads.begin(), roads.end(), [](Road r) { return r == kCacheRoad || r == kWrittenRoad; });
    STable* t = MakeKeyTable(key, rows);
    const std::vector<int> order = Order(*t);
    std::vector<std::pair<std::string, bool>> sought;
    for (const auto& [id, v] : rows)
      if (v && std::find(sought.begin(), sought.end(), std::make_pair(*v, false)) == sought.end())
        sought.emplace_back(*v, false);
    for (const std::string& v : kMoreExact) sought.emplace_back(v, false);
    for (const std::string& v : kStarts) sought.emplace_back(v, true);
    // A value its column cannot hold is answered otherwise (see the ucs2 tests), and one the
    // page cannot carry is refused.
    auto unsought = [&](const auto& s) { return !Holds(key.holds, s.first) || (!Wide() && !InPage1252(s.first)); };
    sought.erase(std::remove_if(sought.begin(), sought.end(), unsought), sought.end());
    // The server's answers. A text that ends with its terminator is sought whole, as the text
    // before it.
    std::vector<std::map<int, SCompared>> compared;
    std::vector<bool> likes;
    for (const auto& [v, generic] : sought) {
      const bool whole = generic && !v.empty() && v.back() == 0;
      compared.push_back(Compare(*t, key, whole ? v.substr(0, v.size() - 1) : v, rowByRow));
      likes.push_back(generic && !whole);
    }
    std::string failures;
    for (const Road road : roads) {
      SFile f;
      if (const std::string why = Open(&f, *t, road, L"v", "id, v", host); !why.empty()) {
        failures += KeyName(key) + ", " + RoadName(road) + ": " + why + "\n";
        Close(&f);
        continue;
      }
      for (size_t s = 0; s < sought.size(); ++s) {
        const auto& [v, generic] = sought[s];
        const CAny value = WideAny(WideOfUTF8(v));
        for (const bool fromFirst : {true, false})
          for (const bool forward : {true, false}) {
            const std::string wrong =
                SeekAndReadOn(&f, value, generic, likes[s], fromFirst, forward, order, compared[s]);
            if (!wrong.empty())
              failures += KeyName(key) + ", " + RoadName(road) + (host == m_blocks ? " in blocks of 3" : "") + ", " +
                          (generic ? "starts with " : "equal to ") + Shown(v) +
                          (fromFirst ? " from the first" : " from the last") + (forward ? ", next" : ", previous") +
                          ": " + wrong + "\n";
          }
      }
      Close(&f);
    }
    return failures;
  }

  // The case's seek on a fresh table: "" when it answers what the case wants.
  std::string Run(const SSeekCase& c) {
    STable* t = MakeKeyTable(*c.key, c.rows);
    SFile f;
    if (const std::string why = Open(&f, *t, c.road, L"v", "id, v"); !why.empty()) {
      Close(&f);
      return why + "\n";
    }
    const std::string got =
        Sought(&f, WideAny(WideOfUTF8(c.value)), c.generic, c.fromFirst, c.forward, c.rows.size() + 2);
    Close(&f);
    return got == c.want ? "" : KeyName(*c.key) + ", " + RoadName(c.road) + ", " + Shown(c.value) + ": " + got + "\n";
  }

  CHostConnectionDescription* m_blocks = nullptr;
  std::string m_tag;
  std::deque<STable> m_made;
  std::vector<std::string> m_tables;
  std::deque<CHostContext> m_contexts;
};

// The rows of a key's table: each value its column can hold, ids from 1.
std::vector<std::pair<int, Text>> RowsOf(const SKey& key) {
  std::vector<std::pair<int, Text>> rows;
  int id = 0;
  for (const Text& v : Values()) {
    ++id;
    if (!v || Holds(key.holds, *v)) rows.emplace_back(id, v);
  }
  return rows;
}

// ids, " 3 4 | 4 3", without the ids of drop.
std::string WithoutIds(const std::string& ids, const std::vector<int>& drop) {
  std::string out;
  for (size_t at = 0; at < ids.size();) {
    const size_t end = std::min(ids.find(' ', at + 1), ids.size());
    const std::string word = ids.substr(at, end - at);
    const bool number = word.size() > 1 && isdigit(static_cast<unsigned char>(word[1]));
    if (!number || std::find(drop.begin(), drop.end(), std::stoi(word.substr(1))) == drop.end()) out += word;
    at = end;
  }
  return out;
}

// Exact and starts-with seeks of every value on every key, from the first and from the last of
// the rows found, then next or previous to the end: the rows found and read on are the server's.
TEST_P(SeekCollationsLoaded, SeeksAndReadsOnFollowTheServersCollation) {
  std::string failures;
  for (const SKey& key : Keys()) failures += SeekEverything(key, RowsOf(key), {kTableRoad, kParsedRoad});
  EXPECT_EQ(failures, "");
}

// A query read through its table cache, and one sent as written, seek in the cache's index,
// which orders texts by their code units and a NULL as the empty text, and holds a text ended by
// a NUL as its record does: on a binary NO PAD key of rows that hold neither, whose order is the
// code units', they answer as the server.
TEST_P(SeekCollationsLoaded, SeeksInATableCacheFollowTheServerWhereItsIndexOrdersAlike) {
  std::string failures;
  for (const SKey& key : Keys()) {
    if (key.collation != "utf8mb4_nopad_bin" || key.type == "CHAR(16)") continue;
    std::vector<std::pair<int, Text>> rows;
    for (const auto& [id, v] : RowsOf(key))
      if (v && v->find('\0') == std::string::npos && (Wide() || InPage1252(*v))) rows.emplace_back(id, v);
    failures += SeekEverything(key, rows, {kCacheRoad, kWrittenRoad});
  }
  EXPECT_EQ(failures, "");
}

// The same read in blocks of 3 rows on the keys that fold case, accents or trailing blanks: each
// block goes on from the server's text of the row before it, also where that row is equal to
// others under the collation.
TEST_P(SeekCollationsLoaded, SeeksAndReadsOnInBlocksFollowTheServersCollation) {
  std::string failures;
  for (const SKey& key : Keys())
    if (key.collation.find("_bin") == std::string::npos)
      failures += SeekEverything(key, RowsOf(key), {kTableRoad}, m_blocks);
  EXPECT_EQ(failures, "");
}

// Filters of every key: between two values (each bound included or not) and starting with a
// value (from it to it followed by the highest character), read both ways, in blocks too: the
// rows the server's range selects (of those from the value, the ones that start with it).
TEST_P(SeekCollationsLoaded, FiltersReadTheRowsTheServerSelects) {
  const struct {
    std::string lo, hi;
  } ranges[] = {{"a", "b"},       {"ab", "ab"},        {"AB", "abc"},   {"", "a"},    {"", ""},  {"a%", "a_"},
                {"a\\", "a\\z"}, {" ", "ab "},     {"ab ", "ab "},   {"\xC3\xA4", "z"}, {"it'", "it's"},
                {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81"}};
  const std::string starts[] = {"a", "ab", "AB", "a%", "a_", "a\\", "it'", "'", "ab ", "\xC3\xA4", "\xF0\x9F\x98\x80"};
  std::string failures;
  for (const SKey& key : Keys()) {
    STable* t = MakeKeyTable(key, RowsOf(key));
    std::vector<int> nulls;
    for (const auto& [id, v] : RowsOf(key))
      if (!v) nulls.push_back(id);
    for (const Road road : {kTableRoad, kParsedRoad})
      for (CHostConnectionDescription* host : {m_host, m_blocks}) {
        const std::string where = KeyName(key) + ", " + RoadName(road) + (host == m_blocks ? " in blocks of 3" : "");
        SFile f;
        if (const std::string why = Open(&f, *t, road, L"v", "id, v", host); !why.empty()) {
          failures += where + ": " + why + "\n";
          Close(&f);
          continue;
        }
        auto usable = [&](const std::string& v) { return Holds(key.holds, v) && (Wide() || InPage1252(v)); };
        for (const auto& r : ranges) {
          if (!usable(r.lo) || !usable(r.hi)) continue;
          for (const auto& [loIn, hiIn] : {std::pair{1, 1}, std::pair{0, 0}, std::pair{1, 0}}) {
            const std::string want = Selected(*t, "v " + std::string(loIn ? ">=" : ">") + " " + Literal(key, r.lo) +
                                                      " AND v " + (hiIn ? "<=" : "<") + " " + Literal(key, r.hi));
            std::string got = Filtered(&f, WideAny(WideOfUTF8(r.lo)), loIn, WideAny(WideOfUTF8(r.hi)), hiIn);
            // From the empty text included, the NULL keys may be read or not: the host's empty
            // text may stand for its NULL (a filter equal to it reads them, one up to 'a' does not).
            if (r.lo.empty() && loIn) got = WithoutIds(got, nulls);
            if (got != want)
              failures += where + ", " + (loIn ? "[" : "(") + Shown(r.lo) + ", " + Shown(r.hi) + (hiIn ? "]" : ")") +
                          ":" + got + "\n    for" + want + "\n";
          }
        }
        for (const std::string& v : starts) {
          if (!usable(v)) continue;
          // A range from the value: under PAD SPACE a text that goes on below the blank ('ab' TAB)
          // sorts before the value, outside it.
          const std::string want = Selected(*t, "v >= " + Literal(key, v) + " AND v LIKE " + Pattern(key, v));
          const std::wstring w = WideOfUTF8(v);
          const std::string got = Filtered(&f, WideAny(w), 1, Topped(w), 1);
          if (got != want) failures += where + ", starting with " + Shown(v) + ":" + got + "\n    for" + want + "\n";
        }
        Close(&f);
      }
  }
  EXPECT_EQ(failures, "");
}

// A composite key (a, b) sought by its first components: a whole and the start of b, or the
// start of a alone (starts-with), and both whole (exact), on the table in blocks of the default
// size and of 3: the rows found and read on are those the server says are a = a AND b LIKE
// 'b%', a LIKE 'a%', or a = a AND b = b, in the key's order.
TEST_P(SeekCollationsLoaded, CompositeKeySoughtByItsFirstComponentsFollowsTheServersCollation) {
  const std::vector<Text> as = {"ab", "AB", "ab ", "\xC3\xA4" "b", "a%", "a_", "", std::nullopt, "b", "a\\"};
  const std::vector<Text> bs = {"x", "X", "xy", "x%", "", std::nullopt, "y", "x "};
  const struct {
    std::string a;
    Text b;  // none: a is a start, alone
    bool generic;
  } seeks[] = {
      {"ab", "x", true},   {"AB", "X", true},   {"ab", "x%", true},  {"a%", "x", true},  {"a_", "x", true},
      {"ab ", "x", true},  {"\xC3\xA4" "b", "x", true}, {"", "x", true}, {"ab", "xy", true}, {"b", "z", true},
      {"ab", "x ", true},  {"a\\", "x", true}, {"a", std::nullopt, true}, {"ab", std::nullopt, true},
      {"a%", std::nullopt, true}, {"a_", std::nullopt, true}, {"\xC3\xA4", std::nullopt, true},
      {"AB", std::nullopt, true}, {"c", std::nullopt, true}, {"a\\", std::nullopt, true},
      {"ab", "x", false},  {"AB", "xy", false}, {"ab ", "x ", false}, {"\xC3\xA4" "b", "X", false},
      {"a%", "x%", false}, {"ab", "z", false},  {"", "x", false},   {"a\\", "y", false},
  };
  const unsigned int n = 8;
  std::string failures;
  for (const SKey& key : Keys()) {
    if (key.type != "VARCHAR(16)" || (key.collation != "utf8mb4_general_ci" && key.collation != "utf8mb4_bin" &&
                                      key.collation != "utf8mb4_nopad_bin" && key.collation != "latin1_swedish_ci"))
      continue;
    const std::string column = "VARCHAR(" + std::to_string(n) + ") CHARACTER SET " + key.charset + " COLLATE " +
                               key.collation + " NULL";
    const SHostItem a = TextItem(L"a", n, 0), b = TextItem(L"b", n, 0);
    const unsigned int part = a.logical * (Wide() ? 2 : 1);
    STable* t = Make("id INT NOT NULL PRIMARY KEY, a " + column + ", b " + column + ", KEY k (a, b)",
                     {{L"id", NA_IT_I4, 4, kPrimary, {}},
                      a,
                      b,
                      {L"ab", NA_IT_BINAIRE, 2 * part, kComposite | kDuplicates, {1, 2}}},
                     "a, b");
    std::string values;
    int id = 0;
    for (const Text& x : as)
      for (const Text& y : bs) {
        ++id;
        if (x && !Holds(key.holds, *x)) continue;
        values +=
            (values.empty() ? "(" : ",(") + std::to_string(id) + "," + Stored(key, x) + "," + Stored(key, y) + ")";
      }
    Raw("INSERT INTO `" + t->name + "` VALUES " + values);
    const std::vector<int> order = Order(*t);
    // The host's composite value: each component's text in the item's width (the page's bytes or
    // UTF-16), a whole one padded with zeros to its size.
    auto bytes = [&](const std::string& utf8, bool whole) {
      std::string out;
      for (const wchar_t w : WideOfUTF8(utf8)) {
        const uint32_t c = static_cast<uint32_t>(w);
        if (!Wide()) {
          out += static_cast<char>(c);
        } else if (c > 0xFFFF) {
          const uint32_t v = c - 0x10000, hi = 0xD800 + (v >> 10), lo = 0xDC00 + (v & 0x3FF);
          out += {static_cast<char>(hi & 0xFF), static_cast<char>(hi >> 8), static_cast<char>(lo & 0xFF),
                  static_cast<char>(lo >> 8)};
        } else {
          out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        }
      }
      if (whole) out.resize(part, '\0');
      return out;
    };
    for (CHostConnectionDescription* host : {m_host, m_blocks}) {
      SFile f;
      if (const std::string why = Open(&f, *t, kTableRoad, L"ab", "", host); !why.empty()) {
        failures += KeyName(key) + ": " + why + "\n";
        Close(&f);
        continue;
      }
      for (const auto& seek : seeks) {
        if (!Holds(key.holds, seek.a) || (seek.b && !Holds(key.holds, *seek.b))) continue;
        const std::string la = Literal(key, seek.a);
        std::vector<std::string> where;
        if (!seek.b) {
          where = {"a IS NULL", "a = " + la, "a < " + la, "a LIKE " + Pattern(key, seek.a)};
        } else {
          const std::string lb = Literal(key, *seek.b);
          where = {"a IS NULL OR (a = " + la + " AND b IS NULL)", "a = " + la + " AND b = " + lb,
                   "a < " + la + " OR (a = " + la + " AND b < " + lb + ")",
                   "a = " + la + " AND b LIKE " + Pattern(key, *seek.b)};
        }
        const std::map<int, SCompared> compared = Compare(*t, where);
        const std::string value =
            bytes(seek.a, seek.b || !seek.generic) + (seek.b ? bytes(*seek.b, !seek.generic) : "");
        CAny sought;
        sought.SetBIN(reinterpret_cast<const unsigned char*>(value.data()), static_cast<unsigned int>(value.size()));
        for (const bool fromFirst : {true, false})
          for (const bool forward : {true, false}) {
            const std::string wrong =
                SeekAndReadOn(&f, sought, seek.generic, seek.generic, fromFirst, forward, order, compared);
            if (!wrong.empty())
              failures += KeyName(key) + (host == m_blocks ? " in blocks of 3" : "") + ", " +
                          (seek.generic ? "starting with " : "equal to ") + Shown(seek.a) +
                          (seek.b ? ", " + Shown(*seek.b) : "") + (fromFirst ? " from the first" : " from the last") +
                          (forward ? ", next" : ", previous") + ": " + wrong + "\n";
          }
      }
      Close(&f);
    }
  }
  EXPECT_EQ(failures, "");
}

// ---------------------------------------------------------------- Faults mended

const SKey kLatin1{"VARCHAR(16)", "latin1", "latin1_swedish_ci", Repertoire::kLatin1};
const SKey kBinary{"VARCHAR(16)", "utf8mb4", "utf8mb4_bin", Repertoire::kAll};
const SKey kNoPadText{"TEXT", "utf8mb4", "utf8mb4_nopad_bin", Repertoire::kAll};
const SKey kNoPad{"VARCHAR(16)", "utf8mb4", "utf8mb4_nopad_bin", Repertoire::kAll};


// Under NO_BACKSLASH_ESCAPES the server takes no escape for a LIKE on a latin1 column unless told
// one: a starts-with of a text holding '%', '_' or a backslash selected the texts where these were
// wildcards or the backslash itself ('a%' found 'a\' and 'a\b', 'a\' found nothing). Seeks and
// a filter starting with them find the texts that start with them.
TEST_P(SeekCollationsLoaded, StartsWithWildcardsOnALatin1KeyUnderNoBackslashEscapesFindTheTextsStartingWithThem) {
  const std::vector<std::pair<int, Text>> rows = {{1, "a\\"}, {2, "a\\b"}, {3, "a%b"}, {4, "a_b"}, {5, "axb"}};
  std::string failures;
  for (const Road road : {kTableRoad, kParsedRoad}) {
    STable* t = MakeKeyTable(kLatin1, rows);
    SFile f;
    ASSERT_EQ(Open(&f, *t, road, L"v", "id, v"), "");
    const struct {
      std::string value, seek, filter;
    } cases[] = {{"a%", "found: 3", " 3 | 3"}, {"a_", "found: 4", " 4 | 4"}, {"a\\", "found: 1", " 1 2 | 2 1"}};
    for (const auto& c : cases) {
      const std::wstring w = WideOfUTF8(c.value);
      const std::string seek = Sought(&f, WideAny(w), true, true, true, 1);
      const std::string filter = Filtered(&f, WideAny(w), 1, Topped(w), 1);
      if (seek != c.seek || filter != c.filter)
        failures += std::string(RoadName(road)) + ", " + Shown(c.value) + ": " + seek + ", filtered" + filter + "\n";
    }
    Close(&f);
  }
  EXPECT_EQ(failures, "");
}

// A starts-with seek of a text that carries its own terminator asks for that text whole: it was
// sought with the NUL at its end, which no row holds (not found, on the server and in a table
// cache's index alike).
TEST_P(SeekCollationsLoaded, StartsWithSeekOfATextCarryingItsTerminatorFindsTheTextItself) {
  const std::vector<std::pair<int, Text>> rows = {{1, "aa"}, {2, "ab"}, {3, "abc"}, {4, "AB"}};
  std::string failures;
  for (const Road road : {kTableRoad, kParsedRoad, kCacheRoad}) {
    STable* t = MakeKeyTable(kBinary, rows);
    SFile f;
    ASSERT_EQ(Open(&f, *t, road, L"v", "id, v"), "");
    for (const bool fromFirst : {true, false}) {
      const std::string got = Sought(&f, WideAny(std::wstring(L"ab") + L'\0'), true, fromFirst, true, rows.size() + 2);
      if (got != "found: 2 3") failures += std::string(RoadName(road)) + ": " + got + "\n";
    }
    Close(&f);
  }
  EXPECT_EQ(failures, "");
}

// In a table cache's index, a starts-with seek from the last of the rows found stood on the last
// row equal to the value, or before it ('ab' on 'ab', not on 'abd'; 'a' on no row of its own).
// It stands on the last row that starts with it, in the fixed-size index and in a memo's.
TEST_P(SeekCollationsLoaded, StartsWithSeekFromTheLastInATableCacheStandsOnTheLastRowStartingWithTheValue) {
  const std::vector<std::pair<int, Text>> rows = {{1, "aa"}, {2, "ab"}, {3, "abc"}, {4, "abd"}, {5, "b"}};
  const SSeekCase cases[] = {
      {&kNoPad, rows, kCacheRoad, "ab", true, false, false, "found: 4 3 2 1"},
      {&kNoPad, rows, kCacheRoad, "a", true, false, true, "found: 4 5"},
      {&kNoPad, rows, kWrittenRoad, "ab", true, false, true, "found: 4 5"},
      {&kNoPadText, rows, kWrittenRoad, "ab", true, false, false, "found: 4 3 2 1"},
      {&kNoPadText, rows, kWrittenRoad, "a", true, false, true, "found: 4 5"},
      {&kNoPadText, rows, kWrittenRoad, "abc", true, false, true, "found: 3 4 5"},
  };
  std::string failures;
  for (const SSeekCase& c : cases) failures += Run(c);
  EXPECT_EQ(failures, "");
}

// A query sent as written keeps a TEXT column of a Unicode character set as a wide memo: its
// index compared the memos' 4-byte units byte by byte, least significant first, and put U+0100
// before U+00E9 and a character above U+FFFF before 'a'. It orders them by their characters, as
// the server's binary collation does.
TEST_P(SeekCollationsLoaded, QueryMemoIndexOrdersWideTextsByTheirCharacters) {
  if (!Wide()) GTEST_SKIP() << "a page connection keeps the memo narrow";
  const std::vector<std::pair<int, Text>> rows = {
      {1, "z"}, {2, "\xC3\xA9"}, {3, "\xC4\x80"}, {4, "\xF0\x9F\x98\x80"}, {5, "a"}, {6, "\xC3\xA9" "b"}};
  const SSeekCase cases[] = {
      {&kNoPadText, rows, kWrittenRoad, "\xC3\xA9", false, true, true, "found: 2 6 3 4"},
      {&kNoPadText, rows, kWrittenRoad, "\xC4\x80", false, true, false, "found: 3 6 2 1 5"},
      {&kNoPadText, rows, kWrittenRoad, "\xC3\xA9", true, false, true, "found: 6 3 4"},
      {&kNoPadText, rows, kWrittenRoad, "b", false, true, true, "not found: 1 2 6 3 4"},
  };
  std::string failures;
  for (const SSeekCase& c : cases) failures += Run(c);
  EXPECT_EQ(failures, "");
}

// A filter between two equal bounds, one of them left out, holds no row: it read the rows equal
// to the bound, as if both were included.
TEST_P(SeekCollationsLoaded, FilterBetweenEqualBoundsOneLeftOutReadsNoRow) {
  const std::vector<std::pair<int, Text>> rows = {{1, "aa"}, {2, "ab"}, {3, "AB"}, {4, "abc"}};
  std::string failures;
  for (const Road road : {kTableRoad, kParsedRoad}) {
    STable* t = MakeKeyTable(Keys().front(), rows);
    SFile f;
    ASSERT_EQ(Open(&f, *t, road, L"v", "id, v"), "");
    const CAny ab = WideAny(L"ab");
    const struct {
      int loIncluded, hiIncluded;
      const char* want;
    } cases[] = {{1, 1, " 2 3 | 3 2"}, {1, 0, " |"}, {0, 1, " |"}, {0, 0, " |"}};
    for (const auto& c : cases) {
      const std::string got = Filtered(&f, ab, c.loIncluded, ab, c.hiIncluded);
      if (got != c.want)
        failures += std::string(RoadName(road)) + ", " + (c.loIncluded ? "[" : "(") + "ab, ab" +
                    (c.hiIncluded ? "]" : ")") + ":" + got + "\n";
    }
    Close(&f);
  }
  EXPECT_EQ(failures, "");
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, SeekCollationsLoaded,
                         testing::Combine(testing::Values(1252, 65001), testing::Bool()));

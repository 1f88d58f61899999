// Seeks on live tables: exact and starts-with seeks read from the first or the last of the rows
// they find, and the browse goes on from the found row in the order of its item, checked against a
// model of the rows; the found state and the host's errors.
#include <cwctype>
#include <functional>
#include <random>

#include "tests/mysql/browse_bench.h"

namespace {

enum : unsigned short { kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000 };

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

class LiveSeek : public LiveBrowse {
 protected:
  // id, d under a case- and blank-insensitive collation with duplicates, n nullable with
  // duplicates.
  CHostRecordDescription* MakeTable(std::vector<std::vector<Cell>>* rows) {
    const std::wstring name = Name(L"qx seek`d ");
    Raw("CREATE TABLE " + Quoted(name) +
        " (id INT PRIMARY KEY, d VARCHAR(12) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL, n INT NULL,"
        " KEY (d), KEY (n))");
    std::vector<Cell> pool = {L"abc", L"ABc", L"ab", L"a", L"a ", L"A", L"b", L"", std::nullopt, L"zz", L"Abd"};
    if (Unicode()) {
      // Characters above U+FFFF weigh the same under this collation.
      pool.emplace_back(L"\U0001F600");
      pool.emplace_back(L"\U00010400");
    }
    std::string insert;
    for (int i = 1; i <= 40; ++i) {
      std::vector<Cell> row = {std::to_wstring(i), pool[static_cast<size_t>(i * 7) % pool.size()],
                               i % 6 == 0 ? Cell() : Cell(std::to_wstring(i % 5 - 1))};
      insert += (insert.empty() ? "" : ",") + std::string("(") + SqlCell(row[0], true) + "," + SqlCell(row[1], false) +
                "," + SqlCell(row[2], true) + ")";
      rows->push_back(row);
    }
    Raw("INSERT INTO " + Quoted(name) + " VALUES " + insert);
    CHostRecordDescription* desc = Description(name);
    CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kPrimary);
    id->m_bNullAllowed = FALSE;
    Item(desc, L"d", Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE, Unicode() ? 26 : 13, kDuplicates);
    Item(desc, L"n", NA_IT_I4, 4, kDuplicates);
    desc->m_pBestParseItem = id;
    return desc;
  }
  // An exact seek of an integer value from the first row: whether it succeeded, the last SQL
  // sent and the row it read (none when out).
  std::tuple<BOOL, std::string, std::vector<Cell>> SeekSentRow(CNADataAccess* a, const wchar_t* item,
                                                               const wchar_t* value) {
    const CAny sought = FromText(ZV_I4, value);
    ClientCounts::tabSent.clear();
    const BOOL ok = a->bHRecherche(item, &sought, 0, 1, kNoLock, nullptr, 1, 0);
    m_error.Reset();
    const std::string sent = ClientCounts::tabSent.empty() ? "" : ClientCounts::tabSent.back();
    const std::vector<Cell> row = !ok || Out(a, item) ? std::vector<Cell>{} : Values(a, {L"id", L"d", L"n"});
    return std::make_tuple(ok, sent, row);
  }
  // One access seeks step after step, each seek answering, sending and reading what the first seek
  // of a new access does (each opened before the first step, while the description still matched
  // the table); before(i) changes the host for step i and gives its item and value. Whether each
  // seek of the one access succeeded.
  std::vector<BOOL> SeeksLikeFirsts(CHostRecordDescription* desc, size_t steps,
                                    const std::function<std::pair<const wchar_t*, const wchar_t*>(size_t)>& before) {
    CMySQLConnection* cnx = Connect("15");
    CNADataAccess* kept = Open(desc, cnx);
    std::vector<CNADataAccess*> firsts;
    for (size_t i = 0; i < steps; ++i) firsts.push_back(Open(desc, cnx));
    std::vector<BOOL> oks;
    for (size_t i = 0; i < steps; ++i) {
      const auto [item, value] = before(i);
      const auto got = SeekSentRow(kept, item, value);
      EXPECT_EQ(got, SeekSentRow(firsts[i], item, value)) << "step " << i;
      oks.push_back(std::get<0>(got));
    }
    return oks;
  }
  static bool Matches(const Cell& d, const std::wstring& v, bool generic) {
    if (!d) return false;
    if (!generic) return CompareCells(d, Cell(v), Collation::GeneralCi) == 0;
    if (d->size() < v.size()) return false;
    for (size_t i = 0; i < v.size(); ++i)
      if (std::towupper((*d)[i]) != std::towupper(v[i])) return false;
    return true;
  }
};

// From the first and from the last found row, in both directions of reading: the found row is the
// first (last) of the rows that match in the browse's order, the found state says so, and next and
// previous read the rows around it, past the rows that match.
TEST_P(LiveSeek, NextAndPreviousAfterASeekGoOnFromTheFoundRow) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  const BrowseModel model(rows, {{1, Collation::GeneralCi}, {0, Collation::Number}});
  std::vector<std::pair<std::wstring, bool>> seeks = {{L"abc", false}, {L"ab", true}, {L"a", false},
                                                      {L"A", true},    {L"", false},  {L"zz", false}};
  if (Unicode()) seeks.emplace_back(L"\U0001F601", false);
  CMySQLConnection* cnx = Connect("15");
  for (const auto& [value, generic] : seeks) {
    for (const int fromFirst : {1, 0}) {
      for (const eNA_PARSEDIRECTION then : {NA_PARSE_NEXT, NA_PARSE_PREVIOUS}) {
        long long p = -1;
        for (long long i = 0; i < model.n(); ++i) {
          if (!Matches(model.rows[static_cast<size_t>(i)][1], value, generic)) continue;
          if (p == -1 || !fromFirst) p = i;
        }
        ASSERT_NE(p, -1) << Utf8(value);
        const std::string what = "seek " + Utf8(value) + (generic ? "*" : "") + (fromFirst ? " from first" : " from last") +
                                 (then == NA_PARSE_NEXT ? ", next" : ", previous");
        CNADataAccess* a = Open(desc, cnx);
        const CAny sought = FromText(ZV_DSTRW, value.c_str());
        ASSERT_TRUE(a->bHRecherche(L"d", &sought, generic ? 1 : 0, 1, kNoLock, nullptr, fromFirst, 0))
            << what << ": " << Utf8(m_error.pszGetError());
        EXPECT_EQ(Values(a, {L"id", L"d", L"n"}), model.rows[static_cast<size_t>(p)]) << what << Sent();
        int found = 0, second = 0;
        EXPECT_TRUE(a->bEvalHTrouve(L"d", &found, &second));
        EXPECT_EQ(found, 1) << what;
        const long long q = p + (then == NA_PARSE_NEXT ? 1 : -1);
        ASSERT_TRUE(a->bHLitxxx(L"d", then, 1, kNoLock, nullptr, 0)) << what << ": " << Utf8(m_error.pszGetError());
        if (q < 0 || q >= model.n()) {
          EXPECT_EQ(Out(a, L"d"), 1) << what;
        } else {
          EXPECT_EQ(Values(a, {L"id", L"d", L"n"}), model.rows[static_cast<size_t>(q)]) << what << Sent();
        }
      }
    }
  }
}

// Reads that go on with the seek in force pass every row that matches, then go on past them in
// the browse's order: a seek read through to its end does not stop at its last match.
TEST_P(LiveSeek, ReadsThroughASeekGoPastEveryMatch) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  const BrowseModel model(rows, {{1, Collation::GeneralCi}, {0, Collation::Number}});
  std::vector<std::wstring> values = {L"a", L"ab", L"zz", L"m"};
  if (Unicode()) values.emplace_back(L"\U00010401");
  CMySQLConnection* cnx = Connect("15");
  for (const std::wstring& value : values) {
    for (const bool forward : {true, false}) {
      CNADataAccess* a = Open(desc, cnx);
      const CAny sought = FromText(ZV_DSTRW, value.c_str());
      const std::string what = "seek " + Utf8(value) + (forward ? " read forward" : " read backward");
      ASSERT_TRUE(a->bHRecherche(L"d", &sought, 0, 1, kNoLock, nullptr, forward ? 1 : 0, 0)) << what;
      // The first row at or past the value in the way of reading (the value itself when it is there).
      long long p = forward ? model.n() : -1;
      for (long long i = 0; i < model.n(); ++i) {
        const int c = CompareCells(model.rows[static_cast<size_t>(i)][1], Cell(value), Collation::GeneralCi);
        if (forward && c >= 0 && p == model.n()) p = i;
        if (!forward && c <= 0) p = i;
      }
      for (int step = 0; step < 25; ++step) {
        if (p < 0 || p >= model.n()) {
          EXPECT_EQ(Out(a, L"d"), 1) << what << ", step " << step;
          break;
        }
        ASSERT_EQ(Out(a, L"d"), 0) << what << ", step " << step << Sent();
        EXPECT_EQ(Values(a, {L"id", L"d", L"n"}), model.rows[static_cast<size_t>(p)]) << what << ", step " << step << Sent();
        int found = -1, second = -1;
        EXPECT_TRUE(a->bEvalHTrouve(L"d", &found, &second));
        EXPECT_EQ(found, Matches(model.rows[static_cast<size_t>(p)][1], value, false) ? 1 : 0) << what << ", step " << step;
        ASSERT_TRUE(a->bSkipRecord(L"d", forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 1, 1, kNoLock, nullptr, 0))
            << what << ": " << Utf8(m_error.pszGetError());
        p += forward ? 1 : -1;
      }
    }
  }
}

// A seek read backward through its matches and on past them, on a text and on a number key that
// hold NULLs: every row before the matches is read, the NULL keys last. A seek of the empty text
// or of 0 went on below its matches with a plain comparison, which no NULL key passes.
TEST_P(LiveSeek, BackwardThroughASeekReachesTheRowsWhoseKeyIsNull) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  const struct {
    const wchar_t* item;
    int column;
    Collation collation;
    const wchar_t* value;
    int generic;
  } cases[] = {
      {L"d", 1, Collation::GeneralCi, L"", 0},  {L"d", 1, Collation::GeneralCi, L"a", 0},
      {L"d", 1, Collation::GeneralCi, L"ab", 1}, {L"n", 2, Collation::Number, L"0", 0},
      {L"n", 2, Collation::Number, L"-1", 0},   {L"n", 2, Collation::Number, L"2", 0},
  };
  for (const char* cache : {"15", "-1"}) {
    CMySQLConnection* cnx = Connect(cache);
    for (const auto& c : cases) {
      const BrowseModel model(rows, {{c.column, c.collation}, {0, Collation::Number}});
      const bool number = c.collation == Collation::Number;
      auto matches = [&](const Cell& v) {
        if (!v) return false;
        if (!c.generic) return CompareCells(v, Cell(c.value), c.collation) == 0;
        return v->size() >= wcslen(c.value) && CompareCells(Cell(v->substr(0, wcslen(c.value))), Cell(c.value), c.collation) == 0;
      };
      long long p = -1;
      for (long long i = 0; i < model.n(); ++i)
        if (matches(model.rows[static_cast<size_t>(i)][static_cast<size_t>(c.column)])) p = i;
      ASSERT_NE(p, -1) << Utf8(c.value);
      const std::string what = "cache " + std::string(cache) + ", " + Utf8(c.item) + " = '" + Utf8(c.value) + "'" +
                               (c.generic ? "*" : "");
      CNADataAccess* a = Open(desc, cnx);
      const CAny sought = FromText(number ? ZV_I4 : ZV_DSTRW, c.value);
      ASSERT_TRUE(a->bHRecherche(c.item, &sought, c.generic, 1, kNoLock, nullptr, 0, 0)) << what;
      for (int step = 0; step < 60 && p >= 0; ++step, --p) {
        ASSERT_EQ(Out(a, c.item), 0) << what << ", step " << step << Sent();
        ASSERT_EQ(Values(a, {L"id", L"d", L"n"}), model.rows[static_cast<size_t>(p)]) << what << ", step " << step << Sent();
        ASSERT_TRUE(a->bSkipRecord(c.item, NA_PARSE_PREVIOUS, 1, 1, kNoLock, nullptr, 0)) << what;
      }
      EXPECT_EQ(p, -1) << what;
      EXPECT_EQ(Out(a, c.item), 1) << what << Sent();
    }
  }
}

// Skips of several rows with the seek in force, from the first and from the last found row, each
// way and back: the browse lands where the model's order puts it, over the matches and past them,
// or out of the rows when a skip leaves them.
TEST_P(LiveSeek, SkipsThroughASeekAreOutOfTheRowsOnlyWhereTheModelIs) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  const BrowseModel model(rows, {{1, Collation::GeneralCi}, {0, Collation::Number}});
  const std::vector<std::wstring> values = {L"a", L"b", L"", L"zz", L"abc"};
  const std::vector<std::vector<long long>> skips = {{2}, {-2}, {5}, {-5}, {9, -12}, {-9, 12}, {17, -3}, {-17, 3},
                                                     {30}, {-30}, {45}, {-45}, {19, -16}, {-19, 16}, {6, 6, -20}};
  for (const char* cache : {"15", "-1", "4"}) {
    CMySQLConnection* cnx = Connect(cache);
    for (const bool rowCache : {false, true}) {
      for (const std::wstring& value : values) {
        for (const int fromFirst : {1, 0}) {
          long long found = -1;
          for (long long i = 0; i < model.n(); ++i) {
            if (!Matches(model.rows[static_cast<size_t>(i)][1], value, false)) continue;
            if (found == -1 || !fromFirst) found = i;
          }
          ASSERT_NE(found, -1) << Utf8(value);
          for (const auto& ks : skips) {
            std::string what = "cache " + std::string(cache) + (rowCache ? ", row cache" : "") + ", seek '" +
                               Utf8(value) + "'" + (fromFirst ? " from first" : " from last") + ", skip";
            CNADataAccess* a = Open(desc, cnx, {rowCache, true});
            const CAny sought = FromText(ZV_DSTRW, value.c_str());
            ASSERT_TRUE(a->bHRecherche(L"d", &sought, 0, 1, kNoLock, nullptr, fromFirst, 0)) << what;
            long long p = found;
            for (const long long k : ks) {
              what += " " + std::to_string(k);
              ASSERT_TRUE(a->bSkipRecord(L"d", k < 0 ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, k < 0 ? -k : k, 1, kNoLock,
                                         nullptr, 0))
                  << what << ": " << Utf8(m_error.pszGetError());
              p = std::clamp(p + k, -1LL, model.n());
              if (p < 0 || p >= model.n()) {
                EXPECT_EQ(Out(a, L"d"), 1) << what << ": read " << Text(Values(a, {L"id", L"d", L"n"})) << Sent();
                continue;
              }
              EXPECT_EQ(Out(a, L"d"), 0) << what << Sent();
              EXPECT_EQ(Values(a, {L"id", L"d", L"n"}), model.rows[static_cast<size_t>(p)]) << what << Sent();
            }
          }
        }
      }
    }
  }
}

// Reads after a seek on the 40 ids: the switched-off seek was left behind and every later next ran
// the browse again from its first row; a position returned to after a seek was put back on the
// seek's row instead; a browse read past its end after a seek came back in at the other end.
TEST_P(LiveSeek, ReadsAfterASeekGoOnFromWhereTheBrowseStands) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  const struct {
    const char* name;
    const char* ops;             // f l n p: reads; s<id>: seek; k<n>: skip; v, v1: save; r, r1: return (keep 1)
    std::vector<long long> ids;  // after each op (0: out of the rows; saves not listed)
  } cases[] = {
      {"SeekLeftBehindRanTheBrowseAgain", "s20 n n n", {20, 21, 22, 23}},
      {"ReturnAfterASeekGoesOnFromThePosition", "f n v s30 r n", {1, 2, 30, 2, 3}},
      {"OutsideAfterASeekStaysOutsideUntilItComesBack", "s39 n n n p", {39, 40, 0, 0, 40}},
      {"ComingBackBeforeTheFirstAfterASeek", "s2 p p n", {2, 1, 0, 1}},
      // The return to a position saved before the seek dropped it, and the one saved on the
      // seek's row came back into the seek's result without it: the browse ended with that row.
      {"ReturnIntoASeeksResultAfterTheSeekWasDropped", "f n v s30 v1 r r1 p p", {1, 2, 30, 2, 30, 29, 28}},
      {"ReturnIntoASeeksResultAfterTheSeekWasDroppedGoingOn", "l v s5 v1 r r1 n", {40, 5, 40, 5, 6}},
      // Skipped out past the seek's rows, the browse came back into the rows beyond them, which
      // were none: it stayed out.
      {"BackFromPastTheEndAfterASkipThroughASeek", "s40 k2 p p", {40, 0, 40, 39}},
      {"BackFromBeforeTheFirstAfterASkipThroughASeek", "s1 k-3 n n", {1, 0, 1, 2}},
      {"OnPastTheEndAfterASkipThroughASeek", "s38 k5 n p", {38, 0, 0, 40}},
      {"SkipBackFromPastTheEndAfterASkipThroughASeek", "s40 k2 n k-3", {40, 0, 0, 38}},
  };
  // Blocks of 15 rows, and whole results that serve a browse coming back from an end.
  for (const char* cache : {"15", "-1"}) {
    CMySQLConnection* cnx = Connect(cache);
    for (const auto& c : cases) {
      CNADataAccess* a = Open(desc, cnx);
      int saved[2] = {-1, -1};
      size_t k = 0;
      std::string ops = c.ops;
      for (size_t at = 0; at < ops.size();) {
        const size_t end = std::min(ops.find(' ', at), ops.size());
        const std::string op = ops.substr(at, end - at);
        at = end + 1;
        BOOL ok = TRUE;
        if (op[0] == 'v') {
          ASSERT_TRUE(a->bHSauvePosition(&saved[op.size() > 1 ? 1 : 0], L"id", eNAPOSITION{0})) << c.name;
          continue;
        }
        if (op[0] == 'r') {
          wchar_t item[255];
          ok = a->bHRetourPosition(saved[op.size() > 1 ? 1 : 0], item, 1, eNAPOSITION{0});
        } else if (op[0] == 'k') {
          const long long k = std::stoll(op.substr(1));
          ok = a->bSkipRecord(L"id", k < 0 ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, k < 0 ? -k : k, 1, kNoLock, nullptr, 0);
        } else if (op[0] == 's') {
          const CAny sought = FromText(ZV_I4, Wide(op.substr(1)).c_str());
          ok = a->bHRecherche(L"id", &sought, 0, 1, kNoLock, nullptr, 1, 0);
        } else {
          const eNA_PARSEDIRECTION dir = op == "f"   ? NA_PARSE_FIRST
                                         : op == "l" ? NA_PARSE_LAST
                                         : op == "n" ? NA_PARSE_NEXT
                                                     : NA_PARSE_PREVIOUS;
          ok = a->bHLitxxx(L"id", dir, 1, kNoLock, nullptr, 0);
        }
        ASSERT_TRUE(ok) << c.name << ", " << op << ": " << Utf8(m_error.pszGetError());
        ASSERT_LT(k, c.ids.size()) << c.name;
        const long long want = c.ids[k++];
        if (want == 0) {
          EXPECT_EQ(Out(a, L"id"), 1) << c.name << ", cache " << cache << ", op " << k;
        } else {
          EXPECT_EQ(Out(a, L"id"), 0) << c.name << ", cache " << cache << ", op " << k;
          EXPECT_EQ(Values(a, {L"id"})[0], Cell(std::to_wstring(want)))
              << c.name << ", cache " << cache << ", op " << k << Sent();
        }
      }
    }
  }
}

// Seeks on two items in turn, each followed by a read on: every item's statement keeps its own
// SELECT while the other's runs, and the commands the access keeps for its SELECTs go round them.
TEST_P(LiveSeek, SeeksOnTwoItemsInTurnReadTheirOwnRows) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  const BrowseModel byD(rows, {{1, Collation::GeneralCi}, {0, Collation::Number}});
  std::mt19937 random(7);
  for (const char* cache : {"15", "-1"}) {
    CNADataAccess* a = Open(desc, Connect(cache));
    for (int k = 0; k < 40; ++k) {
      const bool onId = random() % 2 == 0;
      const size_t r = random() % rows.size();
      const std::string what = std::string("cache ") + cache + ", op " + std::to_string(k);
      long long p = -1;  // the found row's place in the item's order
      if (onId) {
        const CAny sought = FromText(ZV_I4, rows[r][0]->c_str());
        ASSERT_TRUE(a->bHRecherche(L"id", &sought, 0, 1, kNoLock, nullptr, 1, 0)) << what << ": " << Utf8(m_error.pszGetError());
        p = static_cast<long long>(r);
        EXPECT_EQ(Values(a, {L"id", L"d", L"n"}), rows[r]) << what << Sent();
      } else {
        if (!byD.rows[r][1]) continue;  // NULL is sought otherwise
        const std::wstring value = *byD.rows[r][1];
        for (long long i = 0; i < byD.n() && p == -1; ++i)
          if (Matches(byD.rows[static_cast<size_t>(i)][1], value, false)) p = i;
        const CAny sought = FromText(ZV_DSTRW, value.c_str());
        ASSERT_TRUE(a->bHRecherche(L"d", &sought, 0, 1, kNoLock, nullptr, 1, 0)) << what << ": " << Utf8(m_error.pszGetError());
        EXPECT_EQ(Values(a, {L"id", L"d", L"n"}), byD.rows[static_cast<size_t>(p)]) << what << Sent();
      }
      const std::vector<std::vector<Cell>>& order = onId ? rows : byD.rows;
      ASSERT_TRUE(a->bHLitxxx(onId ? L"id" : L"d", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0)) << what;
      if (p + 1 >= static_cast<long long>(order.size()))
        EXPECT_EQ(Out(a, onId ? L"id" : L"d"), 1) << what;
      else
        EXPECT_EQ(Values(a, {L"id", L"d", L"n"}), order[static_cast<size_t>(p + 1)]) << what << Sent();
    }
  }
}

// One access seeks step after step (a seek that differs from the one before by its value only
// sends its statement's kept SELECT): every step sends the text and reads the rows a new access
// sends and reads for the same seek, and holds the same original row, whatever changed since the
// step before (value, item, direction, a filter switched on or off, a read on another item, a NULL
// sought, a column retyped by another session, the session killed).
TEST_P(LiveSeek, SeeksAgainSendWhatAFirstSeekSends) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  struct Step {
    const wchar_t* item;
    Cell value;
    int fromFirst;
    bool filter;     // a filter on id from 5 to 30 in force
    bool readOther;  // a read on d first
    char event = 0;  // before the step: 's'/'i' n retyped SMALLINT/INT by another session, 'k' KILL
  } steps[] = {
      {L"id", L"3", 1, false, false},  {L"id", L"17", 1, false, false}, {L"id", L"-2", 1, false, false},
      {L"id", L"40", 0, false, false}, {L"id", L"39", 0, false, false}, {L"id", L"8", 1, true, false},
      {L"id", L"12", 1, true, false},  {L"id", L"12", 1, false, false}, {L"id", L"9", 1, true, false},
      {L"id", L"10", 1, false, false}, {L"id", L"30", 1, false, true},
      {L"id", L"31", 1, false, false}, {L"n", L"1", 1, false, false},   {L"n", L"2", 1, false, false},
      {L"n", std::nullopt, 1, false, false}, {L"n", L"0", 1, false, false}, {L"n", L"-1", 0, false, false},
      {L"d", L"ab", 1, false, false},  {L"id", L"5", 1, false, false},  {L"n", L"3", 1, false, false},
      {L"id", L"6", 1, false, false},  {L"id", L"7", 1, false, false, 's'}, {L"id", L"8", 1, false, false},
      {L"n", L"2", 1, false, false, 'i'}, {L"n", L"3", 1, false, false}, {L"id", L"9", 1, false, false, 'k'},
      {L"id", L"10", 1, false, false},  {L"id", L"11", 1, false, false, 'k'}, {L"n", L"1", 1, false, false, 'k'},
      {L"n", L"0", 1, false, false},
  };
  const std::wstring table = desc->m_pszDBTableName;
  for (const char* cache : {"15", "-1"}) {
    CMySQLConnection* cnx = Connect(cache);
    CNADataAccess* kept = Open(desc, cnx);
    bool filtered = false;
    // The SELECT a seek sent, and the row it read (empty when it found none).
    auto seek = [&](CNADataAccess* a, const Step& step, bool* filterOn) {
      const CAny low = FromText(ZV_I4, L"5"), high = FromText(ZV_I4, L"30");
      if (step.filter && !*filterOn) {
        EXPECT_TRUE(a->bHFiltre(L"id", &low, 1, &high, 1, nullptr));
      }
      if (!step.filter && *filterOn) {
        EXPECT_TRUE(a->bHDesactiveFiltre(L"id"));
      }
      *filterOn = step.filter;
      if (step.readOther) {
        EXPECT_TRUE(a->bHLitxxx(L"d", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
      }
      CAny sought = FromText(step.item == std::wstring(L"d") ? ZV_DSTRW : ZV_I4, step.value ? step.value->c_str() : L"0");
      if (!step.value) sought.SetNull(true);
      if (step.event == 'k') KillSession(cnx);
      ClientCounts::tabSent.clear();
      const BOOL ok = a->bHRecherche(step.item, &sought, 0, 1, kNoLock, nullptr, step.fromFirst, 0);
      EXPECT_TRUE(ok || step.event == 'k') << Utf8(m_error.pszGetError());
      std::string sent = ClientCounts::tabSent.empty() ? "" : ClientCounts::tabSent.back();
      std::vector<Cell> row = !ok || Out(a, step.item) ? std::vector<Cell>{} : Values(a, {L"id", L"d", L"n"});
      return std::make_tuple(ok, sent, row);
    };
    // The statement's original row: its state, bytes, memo and identifier.
    auto original = [](CNADataAccess* a, const wchar_t* item) {
      CHeldRef<CNAStatement> stmt(a->_pclFindStatement(item));
      const CNARecordValue* own = stmt.get() != nullptr ? stmt.get()->pclGetStmtOriginalRecord() : nullptr;
      if (own == nullptr) return std::string("none");
      const CNAKJRecord* kj = own->pclGetNAKJRecord();
      std::string out = std::to_string(own->eGetState()) + " " + std::to_string(own->pclGetTabMemoNoRef() != nullptr) +
                        " " + std::to_string(own->pclGetRecordIdNoRef() != nullptr) + " ";
      if (kj != nullptr)
        out += std::to_string(kj->nGetItemCount()) + " " +
               std::string(reinterpret_cast<const char*>(kj->pbyGetNullValuesFlags()), kj->nGetTotalSize());
      return out;
    };
    for (size_t k = 0; k < std::size(steps); ++k) {
      const Step& step = steps[k];
      const std::string what = std::string("cache ") + cache + ", step " + std::to_string(k);
      if (step.event == 's' || step.event == 'i')
        Raw("ALTER TABLE " + Quoted(table) + " MODIFY n " + (step.event == 's' ? "SMALLINT" : "INT") + " NULL");
      const auto got = seek(kept, step, &filtered);
      bool none = false;
      CNADataAccess* fresh = Open(desc, cnx);
      const auto want = seek(fresh, step, &none);
      EXPECT_EQ(got, want) << what;
      if (!std::get<0>(got)) continue;
      EXPECT_EQ(original(kept, step.item), original(fresh, step.item)) << what;
      // The searches hold the parameters their writes make, at the same places (two NULLs sought
      // are not equal values).
      CNARecherche* mine = kept->pclGetLastStatementNoRef()->pclGetRecherche();
      CNARecherche* theirs = fresh->pclGetLastStatementNoRef()->pclGetRecherche();
      if (step.value) {
        EXPECT_TRUE(mine->bEqualsSearch(theirs)) << what;
      }
      EXPECT_EQ(mine->nGetNbParameter(), theirs->nGetNbParameter()) << what;
      for (int i = 0; i < mine->nGetNbParameter() && i < theirs->nGetNbParameter(); ++i) {
        CNAParameter* p = mine->pclGetParameter(i);
        CNAParameter* q = theirs->pclGetParameter(i);
        EXPECT_EQ(p->nGetPosition(), q->nGetPosition()) << what;
        p->nRelease();
        q->nRelease();
      }
      mine->nRelease();
      theirs->nRelease();
    }
  }
}

// A seek of the last one's shape takes the kept SELECT's column list as its last look found it
// only while the record's columns stay as they were: a column added to the record (the sought
// one and its search left as they were), the next seek sends and reads what a SELECT built whole
// does.
TEST_P(LiveSeek, SeeksAgainAfterAColumnIsAddedNameItToo) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  CNADataAccess* a = Open(desc, Connect("15"));
  auto seek = [&](const wchar_t* value) {
    const CAny sought = FromText(ZV_I4, value);
    ClientCounts::tabSent.clear();
    EXPECT_TRUE(a->bHRecherche(L"id", &sought, 0, 1, kNoLock, nullptr, 1, 0)) << Utf8(m_error.pszGetError());
    return std::make_pair(ClientCounts::tabSent.empty() ? std::string() : ClientCounts::tabSent.back(),
                          Values(a, {L"id", L"d", L"n"}));
  };
  seek(L"3");
  const auto before = seek(L"4");
  CNARecord* record = a->pclGetCurrentRecordNoRef();
  CNAColumn* d = record->pclGetColumnNoRef(1);
  ASSERT_TRUE(record->bAddColumn(d->piGetItemNoRef(), d->piGetImportedItemDescNoRef()));
  const auto kept = seek(L"5");
  CHeldRef<CNAStatement> stmt(a->_pclFindStatement(L"id"));
  ASSERT_NE(stmt.get(), nullptr);
  // Nothing kept: built whole.
  stmt.get()->KeepSeekSELECT(nullptr, 0, nullptr, 0);
  const auto whole = seek(L"5");
  EXPECT_NE(kept.first, before.first);
  EXPECT_EQ(kept, whole);
  EXPECT_EQ(kept.second, rows[4]);
}

// The item a seek names is the one the description gives for that text at that seek: seeks
// again by the same text, by another case of it, and by a name the host gave the item in between
// (its old name then refused) answer, send and read what a first seek of a new access does.
TEST_P(LiveSeek, SeeksAgainTakeTheItemTheDescriptionNamesNow) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  CHostItemDescription* n = nullptr;
  for (CHostItemDescription& item : m_items)
    if (wcscmp(item.pszGetName(), L"n") == 0) n = &item;
  ASSERT_NE(n, nullptr);
  // (before the seek: the host's name for n, none to keep it) item sought, value, whether the
  // description has an item of that name
  const struct {
    const wchar_t* rename;
    const wchar_t* item;
    const wchar_t* value;
    bool named;
  } steps[] = {
      {nullptr, L"n", L"1", true},  {nullptr, L"n", L"2", true},  {nullptr, L"N", L"2", true},
      {nullptr, L"n", L"3", true},  {L"m", L"n", L"1", false},    {nullptr, L"m", L"1", true},
      {nullptr, L"m", L"2", true},  {nullptr, L"n", L"2", false}, {L"n", L"m", L"1", false},
      {nullptr, L"n", L"0", true},  {nullptr, L"n", L"1", true},
  };
  const std::vector<BOOL> oks = SeeksLikeFirsts(desc, std::size(steps), [&](size_t i) {
    if (steps[i].rename != nullptr) n->m_csName = steps[i].rename;
    return std::make_pair(steps[i].item, steps[i].value);
  });
  for (size_t i = 0; i < std::size(steps); ++i) EXPECT_EQ(oks[i] != 0, steps[i].named) << "step " << i;
  n->m_csName = L"n";
}

// A seek takes again the item of its last seek only for the text that found it: a seek on the same
// browse by another case of its name, which the kept item bears now while the description gives
// that name (in another case) to an item before it, takes that item, as a first seek of a new
// access does.
TEST_P(LiveSeek, SeeksOnANewBrowseItemTakeTheItemTheDescriptionNamesFirst) {
  std::vector<std::vector<Cell>> rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  CHostItemDescription* id = nullptr;
  CHostItemDescription* n = nullptr;
  for (CHostItemDescription& item : m_items) {
    if (wcscmp(item.pszGetName(), L"id") == 0) id = &item;
    if (wcscmp(item.pszGetName(), L"n") == 0) n = &item;
  }
  ASSERT_NE(id, nullptr);
  ASSERT_NE(n, nullptr);
  // The host's names for id and n before the seek, the item sought and the value.
  const struct {
    const wchar_t* idName;
    const wchar_t* nName;
    const wchar_t* item;
    const wchar_t* value;
  } steps[] = {
      {L"id", L"n", L"n", L"1"}, {L"n", L"N", L"N", L"1"}, {L"n", L"N", L"N", L"2"},
      {L"id", L"n", L"n", L"2"}, {L"id", L"n", L"N", L"1"},
  };
  const std::vector<BOOL> oks = SeeksLikeFirsts(desc, std::size(steps), [&](size_t i) {
    id->m_csName = steps[i].idName;
    n->m_csName = steps[i].nName;
    return std::make_pair(steps[i].item, steps[i].value);
  });
  for (size_t i = 0; i < std::size(steps); ++i) EXPECT_TRUE(oks[i]) << "step " << i;
  id->m_csName = L"id";
  n->m_csName = L"n";
}

// Seeks again on number items of every kind (a 64-bit integer, a real, a currency) write each
// value's literal where a first seek writes it: one access seeking value after value sends the
// text and reads the row of a new access's first seek of that value.
TEST_P(LiveSeek, SeeksAgainOnNumberItemsWriteEachLiteralAsAFirstSeek) {
  const std::wstring table = Name(L"qx seek`num ");
  Raw("CREATE TABLE " + Quoted(table) +
      " (id INT PRIMARY KEY, big BIGINT NULL UNIQUE, r DOUBLE NULL, c DECIMAL(10,2) NULL, KEY (r), KEY (c))");
  Raw("INSERT INTO " + Quoted(table) +
      " SELECT seq, (CAST(seq AS SIGNED) - 10) * 922337203685477580, seq / 4 - 2, (CAST(seq AS SIGNED) - 10) * 12.25"
      " FROM seq_1_to_20");
  CHostRecordDescription* desc = Description(table);
  CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kPrimary);
  id->m_bNullAllowed = FALSE;
  Item(desc, L"big", NA_IT_I8, 8, kUnique);
  Item(desc, L"r", NA_IT_R8, 8, kDuplicates);
  Item(desc, L"c", NA_IT_MONETAIRE, 10, kDuplicates);
  desc->m_pBestParseItem = id;
  const struct {
    const wchar_t* item;
    unsigned short type;
    std::vector<const wchar_t*> values;
  } items[] = {
      {L"big", ZV_I8, {L"922337203685477580", L"-9223372036854775800", L"0", L"7", L"-922337203685477580"}},
      {L"r", ZV_R8, {L"0.5", L"-1.75", L"3", L"1e300", L"-0.25"}},
      {L"c", ZV_CY, {L"12.25", L"-122.5", L"0", L"122.5", L"0.01"}},
  };
  CMySQLConnection* cnx = Connect("15");
  for (const int fromFirst : {1, 0}) {
    CNADataAccess* kept = Open(desc, cnx);
    for (const auto& it : items) {
      for (const wchar_t* text : it.values) {
        const std::string what = Utf8(it.item) + " " + Utf8(text) + (fromFirst ? " from first" : " from last");
        auto seek = [&](CNADataAccess* a) {
          const CAny sought = FromText(it.type, text);
          ClientCounts::tabSent.clear();
          EXPECT_TRUE(a->bHRecherche(it.item, &sought, 0, 1, kNoLock, nullptr, fromFirst, 0))
              << what << ": " << Utf8(m_error.pszGetError());
          const std::string sent = ClientCounts::tabSent.empty() ? "" : ClientCounts::tabSent.back();
          return std::make_pair(sent, Out(a, it.item) ? std::vector<Cell>{} : Values(a, {L"id"}));
        };
        const auto got = seek(kept);
        const auto want = seek(Open(desc, cnx));
        EXPECT_EQ(got.first, want.first) << what;
        EXPECT_EQ(got.second, want.second) << what;
      }
    }
  }
}

// A seek limits its blocks as a browse on the same item does (the seek finds its item once for
// both its search and that choice): limited for items the host holds exactly, not for a real, a
// text item narrower than its column, or a date item over a date-time.
TEST_P(LiveSeek, SeeksLimitTheirBlocksAsBrowsesOfTheItemDo) {
  const std::wstring table = Name(L"qx seek`limit ");
  Raw("CREATE TABLE " + Quoted(table) +
      " (id INT PRIMARY KEY, r DOUBLE NULL, w VARCHAR(12) NULL, s VARCHAR(12) NULL, t DATETIME NULL, n INT NULL,"
      " KEY (r), KEY (w), KEY (s), KEY (t), KEY (n))");
  Raw("INSERT INTO " + Quoted(table) + " SELECT seq, seq / 4, CONCAT('w', seq), CONCAT('s', seq),"
      " '2024-01-02 03:04:05', seq % 3 FROM seq_1_to_20");
  CHostRecordDescription* desc = Description(table);
  CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kPrimary);
  id->m_bNullAllowed = FALSE;
  Item(desc, L"r", NA_IT_R8, 8, kDuplicates);
  Item(desc, L"w", NA_IT_TEXTE, 13, kDuplicates);
  Item(desc, L"s", NA_IT_TEXTE, 4, kDuplicates);
  Item(desc, L"t", NA_IT_DATE8, 9, kDuplicates);
  Item(desc, L"n", NA_IT_I4, 4, kDuplicates);
  desc->m_pBestParseItem = id;
  const struct {
    const wchar_t* item;
    unsigned short type;
    const wchar_t* value;
    bool limited;
  } rows[] = {
      {L"id", ZV_I4, L"7", true},   {L"r", ZV_R8, L"1.5", false}, {L"w", ZV_DSTRW, L"w7", true},
      {L"s", ZV_DSTRW, L"s7", false}, {L"t", ZV_DSTRW, L"20240102", false}, {L"n", ZV_I4, L"1", true},
      {L"id", ZV_I4, L"8", true},
  };
  CMySQLConnection* cnx = Connect("15");
  CNADataAccess* seeking = Open(desc, cnx);
  auto limited = [](const std::string& sent) { return sent.find(" LIMIT ") != std::string::npos; };
  for (const auto& row : rows) {
    const std::string what = Utf8(row.item);
    const CAny sought = FromText(row.type, row.value);
    ClientCounts::tabSent.clear();
    ASSERT_TRUE(seeking->bHRecherche(row.item, &sought, 0, 1, kNoLock, nullptr, 1, 0)) << what;
    ASSERT_FALSE(ClientCounts::tabSent.empty()) << what;
    const bool seekLimited = limited(ClientCounts::tabSent.back());
    CNADataAccess* browsing = Open(desc, cnx);
    ClientCounts::tabSent.clear();
    ASSERT_TRUE(browsing->bHLitxxx(row.item, NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << what;
    ASSERT_FALSE(ClientCounts::tabSent.empty()) << what;
    EXPECT_EQ(seekLimited, limited(ClientCounts::tabSent.back())) << what;
    EXPECT_EQ(seekLimited, row.limited) << what;
  }
}

// A seek limits its blocks by its item's column as the access imported it last: one access
// seeking again and again on a unique item whose column another session retypes (the table read
// again before the next seek) sends what a new access sends, limited only while the host holds the
// column's values exactly.
TEST_P(LiveSeek, SeeksAgainLimitTheirBlocksByTheColumnImportedNow) {
  const std::wstring table = Name(L"qx seek`retype ");
  Raw("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, n INT NULL UNIQUE)");
  Raw("INSERT INTO " + Quoted(table) + " SELECT seq, seq + 100 FROM seq_1_to_20");
  CHostRecordDescription* desc = Description(table);
  CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kPrimary);
  id->m_bNullAllowed = FALSE;
  Item(desc, L"n", NA_IT_I4, 4, kUnique);
  desc->m_pBestParseItem = id;
  // (before the seek: n's new column type, read again) value sought on n, whether limited
  const struct {
    const char* retype;
    const wchar_t* value;
    bool limited;
  } steps[] = {
      {nullptr, L"101", true},          {nullptr, L"102", true},  {"DECIMAL(12,2)", L"103", false},
      {nullptr, L"104", false},         {"BIGINT", L"105", true}, {nullptr, L"106", true},
      {"DOUBLE", L"107", false},        {"INT", L"108", true},
  };
  CMySQLConnection* cnx = Connect("15");
  CNADataAccess* kept = Open(desc, cnx);
  auto seek = [&](CNADataAccess* a, const wchar_t* value) {
    const CAny sought = FromText(ZV_I4, value);
    ClientCounts::tabSent.clear();
    EXPECT_TRUE(a->bHRecherche(L"n", &sought, 0, 1, kNoLock, nullptr, 1, 0)) << Utf8(m_error.pszGetError());
    const std::string sent = ClientCounts::tabSent.empty() ? "" : ClientCounts::tabSent.back();
    return std::make_pair(sent, Out(a, L"n") ? std::vector<Cell>{} : Values(a, {L"id", L"n"}));
  };
  for (const auto& step : steps) {
    const std::string what = "step " + std::to_string(&step - steps);
    if (step.retype != nullptr) {
      Raw("ALTER TABLE " + Quoted(table) + " MODIFY n " + step.retype + " NULL UNIQUE");
      int exists = 0, compatible = 0;
      ASSERT_TRUE(kept->bFichierExiste(&exists, &compatible)) << what;
    }
    const auto got = seek(kept, step.value);
    EXPECT_EQ(got, seek(Open(desc, cnx), step.value)) << what;
    EXPECT_EQ(got.first.find(" LIMIT ") != std::string::npos, step.limited) << what << ": " << got.first;
  }
}

// The host's questions on an item that has no browse: user error 5.
TEST_P(LiveSeek, FoundStateOfAnItemWithoutBrowseIsUserError5) {
  std::vector<std::vector<Cell>> rows;
  CNADataAccess* a = Open(MakeTable(&rows), Connect(nullptr));
  int found = -1, second = -1;
  EXPECT_FALSE(a->bEvalHTrouve(L"d", &found, &second));
  EXPECT_EQ(m_error.nGetUserErrorCode(), 5u);
  m_error.Reset();
  EXPECT_TRUE(a->bHAnnuleRecherche(L"d"));
  EXPECT_TRUE(a->bHAnnuleRecherche(nullptr));
}

// A unique key of a binary and an integer: the driver built its value without the binary's length
// and cut the integer, so two rows differing only in the integer's high bytes had one key value and
// the found test answered for either. Each seek reads its own row and says it found it.
TEST_P(LiveSeek, SeeksOnAKeyWithABinaryComponentFindTheirOwnRow) {
  const std::wstring name = Name(L"qx bin`key ");
  Raw("CREATE TABLE " + Quoted(name) +
      " (id INT PRIMARY KEY, b VARBINARY(4) NOT NULL, n INT NOT NULL, UNIQUE KEY k (b, n))");
  Raw("INSERT INTO " + Quoted(name) +
      " VALUES (1, 'ab', 16909060), (2, 'ab', 2139030276), (3, 'wxyz', -1), (4, '', 7), (5, 'a', 0)");
  CHostRecordDescription* desc = Description(name);
  Item(desc, L"id", NA_IT_I4, 4, kPrimary)->m_bNullAllowed = FALSE;
  CHostItemDescription* b = Item(desc, L"b", NA_IT_BINAIRE, 6);
  b->m_nLogicalSize = 4;
  b->m_bNullAllowed = FALSE;
  CHostItemDescription* n = Item(desc, L"n", NA_IT_I4, 4);
  n->m_bNullAllowed = FALSE;
  Item(desc, L"k", NA_IT_BINAIRE, 10, kKeyComposite | kUnique, {b, n});
  auto key = [](const std::string& binary, int number) {
    std::string bytes(10, '\0');
    bytes[0] = static_cast<char>(binary.size());
    memcpy(&bytes[2], binary.data(), binary.size());
    memcpy(&bytes[6], &number, 4);
    return bytes;
  };
  const struct {
    std::string binary;
    int number;
    const char* id;  // null: no such row
  } seeks[] = {{"ab", 16909060, "1"}, {"ab", 2139030276, "2"}, {"wxyz", -1, "3"}, {"", 7, "4"},
               {"a", 0, "5"},         {"ab", 16909061, nullptr}, {"abc", 16909060, nullptr}};
  CMySQLConnection* cnx = Connect(nullptr);
  for (const auto& seek : seeks) {
    const std::string what = seek.binary + "," + std::to_string(seek.number);
    CNADataAccess* a = Open(desc, cnx);
    const std::string bytes = key(seek.binary, seek.number);
    CAny sought;
    sought.SetBIN(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size()));
    ASSERT_TRUE(a->bHRecherche(L"k", &sought, 0, 1, kNoLock, nullptr, 1, 0)) << what << ": " << Utf8(m_error.pszGetError());
    int found = 0, second = 0;
    EXPECT_TRUE(a->bEvalHTrouve(L"k", &found, &second));
    EXPECT_EQ(found, seek.id != nullptr ? 1 : 0) << what << Sent();
    if (seek.id != nullptr) {
      EXPECT_EQ(Text(Values(a, {L"id"})), seek.id) << what << Sent();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveSeek,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

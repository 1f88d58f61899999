// Saved positions and the host's positioning on live tables: seeded walks that save positions
// along the way and come back to them, checked against a model of the rows in the browse's order;
// the answers of the position operations to the host's edge cases. The walks run fixed seeds
// (scripts/walk draws fresh ones); a failing walk prints its seed, and QX_BROWSE_SEED=<seed>
// replays it.
#include <algorithm>
#include <climits>
#include <functional>
#include <cstdlib>
#include <map>
#include <random>

#include "tests/mysql/browse_bench.h"

namespace {

enum : unsigned short { kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000 };
enum : unsigned int { kNoRowCache = 0x10000 };

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};
const eNAPOSITION kPlain = eNAPOSITION{0};
const eNA_PRECISION kPrecision = eNA_PRECISION{0};

// A saved position as the model knows it.
struct Saved {
  long long p;
  std::vector<Cell> values;
};

class LivePosition : public LiveBrowse {
 protected:
  // A unique integer, duplicates under a case- and blank-insensitive collation and a nullable
  // UNIQUE; id is the best browse item.
  void MakeTable(Table* t, std::mt19937* rng, int n) {
    t->name = Name(L"qx pos`keys ");
    Raw("CREATE TABLE " + Quoted(t->name) +
        " (id INT PRIMARY KEY, d VARCHAR(12) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL,"
        " u INT NULL UNIQUE, KEY (d))");
    const std::vector<Cell> pool = {L"abc", L"ABC", L"a", L"a ", L"A", L"b", L"", std::nullopt, L"zz"};
    std::string insert;
    for (int i = 1; i <= n; ++i) {
      Cell u = (*rng)() % 4 == 0 ? Cell() : Cell(std::to_wstring((i * 37) % 1009));
      std::vector<Cell> row = {std::to_wstring(i), pool[(*rng)() % pool.size()], u};
      insert += (insert.empty() ? "" : ",") + std::string("(") + SqlCell(row[0], true) + "," + SqlCell(row[1], false) +
                "," + SqlCell(row[2], true) + ")";
      t->rows.push_back(row);
    }
    Raw("INSERT INTO " + Quoted(t->name) + " VALUES " + insert);
    t->desc = Description(t->name);
    CHostItemDescription* id = Item(t->desc, L"id", NA_IT_I4, 4, kPrimary);
    id->m_bNullAllowed = FALSE;
    Item(t->desc, L"d", NA_IT_TEXTE, 13, kDuplicates);
    Item(t->desc, L"u", NA_IT_I4, 4, kUnique);
    t->desc->m_pBestParseItem = id;
    t->columns = {L"id", L"d", L"u"};
    const Term byId{0, Collation::Number};
    t->browses = {{L"id", {byId}}, {L"d", {{1, Collation::GeneralCi}, byId}}};
  }
  // Rows 1 .. n of one integer key.
  CHostRecordDescription* MakeCounted(int n) {
    const std::wstring name = Name(L"qx pos`n" + std::to_wstring(n) + L" ");
    Raw("CREATE TABLE " + Quoted(name) + " (id INT PRIMARY KEY)");
    if (n > 0) Raw("INSERT INTO " + Quoted(name) + " SELECT seq FROM seq_1_to_" + std::to_string(n));
    CHostRecordDescription* desc = Description(name);
    CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kPrimary);
    id->m_bNullAllowed = FALSE;
    desc->m_pBestParseItem = id;
    return desc;
  }
  static long long Id(CNADataAccess* a) {
    const std::vector<Cell> v = Values(a, {L"id"});
    return v[0] ? std::stoll(*v[0]) : -1;
  }

  // The places in thousandths that HPositionCourante may answer on row p of the model: any rank
  // inside p's run of rows equal in the browse's order.
  static std::vector<int> Thousandths(const BrowseModel& model, long long p) {
    std::vector<int> out;
    const long long n = model.n();
    for (long long r = 0; r < n; ++r) {
      if (model.group[static_cast<size_t>(r)] != model.group[static_cast<size_t>(p)]) continue;
      const long long scaled = (r + 1) * 1000;
      out.push_back(static_cast<int>(scaled / n + (scaled % n != 0 ? 1 : 0)));
    }
    return out;
  }

  // Random reads on one browse item with seeks, HPositionne, saves, returns (keep 1 and 0), frees
  // and comparisons between them, and HPositionCourante on every row read; "" when every step
  // agreed with the model, else what differed.
  std::string Walk(CNADataAccess* a, const Table& t, const Browse& b, unsigned int flags, std::mt19937* rng,
                   int steps) {
    const BrowseModel model(t.rows, b.order);
    const long long n = model.n();
    long long p = -1;
    bool out = true;
    std::map<int, Saved> saved;
    std::string trail;
    for (int step = 0; step < steps; ++step) {
      const unsigned int roll = step == 0 ? 0 : (*rng)() % 100;
      BOOL ok = FALSE;
      std::string op;
      std::vector<Cell> expected;
      bool exact = false;
      if (roll < 55) {
        const char kind = roll < 5 ? 'f' : roll < 10 ? 'l' : roll < 30 ? 'n' : roll < 45 ? 'p' : 's';
        const long long k = kind == 's' ? static_cast<long long>((*rng)() % 41) - 20 : 0;
        ok = ModelRead(a, b.item, kind, k, flags, n, out, &p, &op);
      } else if (roll < 62) {
        // A seek of a value some row holds, from the first or from the last row holding it (not
        // on a composite key, whose value the model does not make).
        if (b.order.size() > 2) continue;
        const Term& key = b.order[0];
        const Cell value = model.rows[(*rng)() % model.rows.size()][static_cast<size_t>(key.column)];
        if (!value) continue;
        const int fromFirst = static_cast<int>((*rng)() % 2);
        op = "seek " + Utf8(*value) + (fromFirst ? " from first" : " from last");
        const CAny sought = key.collation == Collation::Number ? FromText(ZV_I4, value->c_str())
                                                                : FromText(ZV_DSTRW, value->c_str());
        ok = a->bHRecherche(b.item, &sought, 0, 1, kNoLock, nullptr, fromFirst, flags);
        for (long long i = 0; i < n; ++i) {
          if (CompareCells(model.rows[static_cast<size_t>(i)][static_cast<size_t>(key.column)], value, key.collation) != 0)
            continue;
          if (fromFirst) {
            p = i;
            break;
          }
          p = i;
        }
      } else if (roll < 70) {
        if (out) continue;
        int id = -1;
        ok = a->bHSauvePosition(&id, b.item, kPlain);
        op = "save " + std::to_string(id);
        if (ok && saved.count(id) != 0) return "step " + std::to_string(step) + ": id given twice" + trail;
        if (ok) saved[id] = {p, Values(a, t.columns)};
      } else if (roll < 88) {
        if (saved.empty()) continue;
        auto it = std::next(saved.begin(), static_cast<long>((*rng)() % saved.size()));
        const int keep = (*rng)() % 3 != 0 ? 1 : 0;
        op = "return " + std::to_string(it->first) + " keep " + std::to_string(keep);
        wchar_t item[255] = L"?";
        ok = a->bHRetourPosition(it->first, item, keep, kPlain);
        if (ok && std::wstring(item) != b.item) return "step " + std::to_string(step) + ": item " + Utf8(item);
        p = it->second.p;
        expected = it->second.values;
        exact = true;
        if (keep == 0) saved.erase(it);
      } else if (roll < 92) {
        if (saved.empty()) continue;
        auto it = std::next(saved.begin(), static_cast<long>((*rng)() % saved.size()));
        op = "free " + std::to_string(it->first);
        ok = a->bHLiberePosition(it->first);
        saved.erase(it);
        trail += " " + op;
        continue;
      } else if (roll < 94) {
        if (saved.size() < 2 || t.desc->m_pBestParseItem == nullptr) continue;
        auto x = std::next(saved.begin(), static_cast<long>((*rng)() % saved.size()));
        auto y = std::next(saved.begin(), static_cast<long>((*rng)() % saved.size()));
        op = "compare " + std::to_string(x->first) + " " + std::to_string(y->first);
        int equal = -1;
        ok = a->bCompareTablePosition(x->first, y->first, &equal);
        trail += " " + op;
        if (ok && equal != (x->second.values[0] == y->second.values[0] ? 1 : 0))
          return "step " + std::to_string(step) + " (" + op + "): equal " + std::to_string(equal) + trail;
      } else if (roll < 98) {
        // The record at x thousandths of the count, at least the first; the count by option 16.
        const unsigned int x = (*rng)() % 1001;
        op = "position " + std::to_string(x);
        long long count = -1;
        if (!a->bHNbEnr(&count, 16, 0) || count != n)
          return "step " + std::to_string(step) + ": count " + std::to_string(count) + " of " + std::to_string(n) + trail;
        ok = a->bHPositionne(b.item, x, kPrecision, flags);
        p = std::max(n * x / 1000, 1LL) - 1;
      } else {
        op = "transaction end";
        a->SetTransactionTermined();
        ok = TRUE;
      }
      if (op.rfind("compare", 0) != 0) trail += " " + op;
      if (op.rfind("save", 0) == 0 || op.rfind("compare", 0) == 0 || op == "transaction end") {
        if (!ok) return "step " + std::to_string(step) + " (" + op + "): failed: " + Utf8(m_error.pszGetError()) + trail;
        continue;
      }
      out = p < 0 || p >= n;
      const std::string where = "step " + std::to_string(step) + " (" + op + "), row " + std::to_string(p) + " of " +
                                std::to_string(n) + "; steps:" + trail;
      if (!ok) return where + ": failed: " + Utf8(m_error.pszGetError()) + Sent();
      if (Out(a, b.item) != (out ? 1 : 0)) return where + ": out of range " + std::to_string(Out(a, b.item)) + Sent();
      if (out) continue;
      const std::vector<Cell> got = Values(a, t.columns);
      if (exact ? got != expected : !model.InGroup(p, got))
        return where + ": read " + Text(got) + ", expected " + Text(exact ? expected : model.rows[static_cast<size_t>(p)]) +
               Sent();
      int place = -1;
      if (!a->bHPositionCourante(&place, b.item, kPrecision)) return where + ": no place: " + Utf8(m_error.pszGetError());
      const std::vector<int> places = Thousandths(model, p);
      if (std::find(places.begin(), places.end(), place) == places.end())
        return where + ": place " + std::to_string(place) + ", expected " + std::to_string(places.front()) + Sent();
    }
    return "";
  }
};

// Walks over blocks of 15 rows and over whole results, with the row cache on and off, on a unique
// key and on duplicates: every seek lands on the first (last) row holding the value and every
// return on the saved row's bytes, and the browse goes on from there in the model's order;
// comparisons answer whether the two rows are one.
TEST_P(LivePosition, SavedPositionsComeBackToTheirRowsInRandomWalks) {
  ForEachSeed([&](std::mt19937* rng) {
    Table t;
    MakeTable(&t, rng, 90);
    ASSERT_FALSE(HasFatalFailure());
    for (const char* cache : {"15", "-1"}) {
      CMySQLConnection* cnx = Connect(cache);
      for (const bool rowCache : {false, true}) {
        CNADataAccess* a = Open(t.desc, cnx, {rowCache, true});
        for (const Browse& b : t.browses) {
          const unsigned int flags = rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
          EXPECT_EQ(Walk(a, t, b, flags, rng, 80), "")
              << "cache size " << cache << ", row cache " << rowCache << ", item " << Utf8(b.item);
        }
      }
    }
  });
}

// The same walks on the browse test's own tables: keys of every kind (a unique integer,
// duplicates under two collations, a nullable UNIQUE, a composite with a descending part) and
// tables without a key, over blocks of 100 and 15 rows and whole results, the row cache on and off.
TEST_P(LivePosition, SavedPositionsAndSeeksFollowTheModelOnEveryKindOfKey) {
  WalkEveryKindOfKey([&](CNADataAccess* a, const Table& t, const Browse& b, unsigned int flags, std::mt19937* rng) {
    return Walk(a, t, b, flags, rng, 50);
  });
}

// Positions saved on the same row from two browse items compare equal through the unique best
// item; two rows whose unique best item is NULL never compare equal.
TEST_P(LivePosition, PositionsOfTwoBrowsesCompareByTheUniqueBestItem) {
  const std::wstring name = Name(L"qx pos`nul ");
  Raw("CREATE TABLE " + Quoted(name) + " (u INT NULL UNIQUE, x INT NOT NULL, KEY (x))");
  Raw("INSERT INTO " + Quoted(name) + " VALUES (NULL, 1), (NULL, 2), (5, 3)");
  CHostRecordDescription* desc = Description(name);
  CHostItemDescription* u = Item(desc, L"u", NA_IT_I4, 4, kUnique);
  Item(desc, L"x", NA_IT_I4, 4, kDuplicates);
  desc->m_pBestParseItem = u;
  CNADataAccess* a = Open(desc, Connect(nullptr));
  // A position saved on item's browse standing on the row of x.
  auto saveOn = [&](const wchar_t* item, int x) {
    EXPECT_TRUE(a->bHLitxxx(item, NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    for (int i = 0; i < 3 && Values(a, {L"x"})[0] != Cell(std::to_wstring(x)); ++i)
      EXPECT_TRUE(a->bHLitxxx(item, NA_PARSE_NEXT, 1, kNoLock, nullptr, 0));
    EXPECT_EQ(Values(a, {L"x"})[0], Cell(std::to_wstring(x)));
    int id = -1;
    EXPECT_TRUE(a->bHSauvePosition(&id, item, kPlain)) << Utf8(m_error.pszGetError());
    return id;
  };
  const struct {
    const char* name;
    const wchar_t* first;
    int x1;
    const wchar_t* second;
    int x2;
    int equal;
  } rows[] = {
      {"same row, same browse", L"x", 3, L"x", 3, 1},
      {"other rows, same browse", L"x", 1, L"x", 3, 0},
      {"same row by key, two browses", L"x", 3, L"u", 3, 1},
      {"NULL key and a value", L"x", 1, L"u", 3, 0},
      {"two NULL-key rows, two browses", L"x", 1, L"u", 2, 0},
  };
  for (const auto& r : rows) {
    const int first = saveOn(r.first, r.x1);
    const int second = saveOn(r.second, r.x2);
    int equal = -1;
    EXPECT_TRUE(a->bCompareTablePosition(first, second, &equal)) << r.name;
    EXPECT_EQ(equal, r.equal) << r.name;
  }
}

// The answers the host relies on: ids grow across accesses and start again at 1 after INT_MAX,
// passing over ids still held; comparing an id with itself needs no lookup; a return with keep 0
// frees the position (a second one is user error 11, as a comparison with an unknown id); a long
// item comes back cut to 254 characters and its NUL.
TEST_P(LivePosition, PositionIdsAndErrorsAreWhatTheHostExpects) {
  CHostRecordDescription* desc = MakeCounted(5);
  CMySQLConnection* cnx = Connect(nullptr);
  CNADataAccess* a = Open(desc, cnx);
  CNADataAccess* b = Open(desc, cnx);
  ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
  ASSERT_TRUE(b->bHLitxxx(L"id", NA_PARSE_LAST, 1, kNoLock, nullptr, 0));
  int ids[4] = {-1, -1, -1, -1};
  ASSERT_TRUE(a->bHSauvePosition(&ids[0], L"id", kPlain));
  ASSERT_TRUE(b->bHSauvePosition(&ids[1], L"id", kPlain));
  ASSERT_TRUE(a->bHSauvePosition(&ids[2], L"id", kPlain));
  EXPECT_LT(ids[0], ids[1]);
  EXPECT_LT(ids[1], ids[2]);

  int equal = -1;
  EXPECT_TRUE(a->bCompareTablePosition(987654, 987654, &equal));
  EXPECT_EQ(equal, 1);
  EXPECT_FALSE(a->bCompareTablePosition(ids[0], ids[1], &equal)) << "saved in the other access";
  EXPECT_EQ(m_error.nGetUserErrorCode(), 11u);
  m_error.Reset();

  wchar_t item[255];
  EXPECT_TRUE(a->bHRetourPosition(ids[0], item, 1, kPlain));
  EXPECT_TRUE(a->bHRetourPosition(ids[0], item, 0, kPlain));
  EXPECT_FALSE(a->bHRetourPosition(ids[0], item, 1, kPlain));
  EXPECT_EQ(m_error.nGetUserErrorCode(), 11u);
  EXPECT_EQ(item[0], L'\0');
  m_error.Reset();

  // A name of 300 characters, read into a buffer with guards after its 255 characters.
  const std::wstring longName(300, L'n');
  int longId = -1;
  ASSERT_TRUE(a->bHSauvePosition(&longId, longName.c_str(), kPlain)) << Utf8(m_error.pszGetError());
  std::vector<wchar_t> guarded(265, L'#');
  EXPECT_TRUE(a->bHRetourPosition(longId, guarded.data(), 1, kPlain)) << Utf8(m_error.pszGetError());
  EXPECT_EQ(std::wstring(guarded.data()), std::wstring(254, L'n'));
  EXPECT_EQ(std::wstring(guarded.begin() + 255, guarded.end()), std::wstring(10, L'#'));

  // The counter starts again at 1 after INT_MAX and passes over the ids this access holds.
  CNADataAccess::ms_nPositionID = 1;
  int one = -1;
  ASSERT_TRUE(a->bHSauvePosition(&one, L"id", kPlain));
  CNADataAccess::ms_nPositionID = INT_MAX;
  ASSERT_TRUE(a->bHSauvePosition(&ids[3], L"id", kPlain));
  EXPECT_EQ(ids[3], INT_MAX);
  int wrapped = -1;
  ASSERT_TRUE(a->bHSauvePosition(&wrapped, L"id", kPlain));
  EXPECT_EQ(one, 1);
  EXPECT_EQ(wrapped, 2);
  EXPECT_GT(CNADataAccess::ms_nPositionID, 0);
}

// HPositionne goes to count x position / 1000 (at least the first record), counted over limited
// blocks too; HPositionCourante answers the rank in thousandths rounded up, 1 on an empty browse;
// neither answers for an item never browsed as the host expects.
TEST_P(LivePosition, PositioningByThousandthsLandsOnTheRecordTheHostComputes) {
  const struct {
    int rows;
    const char* cache;
    unsigned int position;
    long long id;
  } moves[] = {
      {10, nullptr, 1, 1}, {10, nullptr, 1000, 10}, {10, nullptr, 0, 1}, {10, nullptr, 550, 5},
      {1000, "100", 500, 500}, {1000, "100", 999, 999}, {1000, "100", 1, 1},
  };
  std::map<int, CHostRecordDescription*> tables;
  for (const auto& m : moves) {
    if (tables.count(m.rows) == 0) tables[m.rows] = MakeCounted(m.rows);
    CNADataAccess* a = Open(tables[m.rows], Connect(m.cache));
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_LAST, 1, kNoLock, nullptr, 0));
    EXPECT_TRUE(a->bHPositionne(L"id", m.position, kPrecision, 0)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Id(a), m.id) << m.rows << " rows, position " << m.position;
    EXPECT_TRUE(a->bHLitxxx(L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0));
    if (m.id < m.rows) {
      EXPECT_EQ(Id(a), m.id + 1) << "the browse goes on from there";
    } else {
      EXPECT_EQ(Out(a, L"id"), 1);
    }
  }

  const struct {
    int rows;
    const char* cache;
    long long skip;  // rows passed after the first; -1: an empty browse
    int expected;
  } ranks[] = {
      {7, nullptr, 2, 429}, {7, nullptr, 0, 143}, {7, nullptr, 6, 1000}, {0, nullptr, -1, 1}, {1000, "100", 449, 450},
  };
  for (const auto& r : ranks) {
    if (tables.count(r.rows) == 0) tables[r.rows] = MakeCounted(r.rows);
    CNADataAccess* a = Open(tables[r.rows], Connect(r.cache));
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    if (r.skip > 0) {
      ASSERT_TRUE(a->bSkipRecord(L"id", NA_PARSE_NEXT, r.skip, 1, kNoLock, nullptr, 0));
    }
    int position = -5;
    EXPECT_TRUE(a->bHPositionCourante(&position, L"id", kPrecision)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(position, r.expected) << r.rows << " rows, skip " << r.skip;
  }

  CNADataAccess* a = Open(tables[10], Connect(nullptr));
  ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_LAST, 1, kNoLock, nullptr, 0));
  EXPECT_TRUE(a->bHPositionne(L"never", 500, kPrecision, 0));
  EXPECT_EQ(Id(a), 10) << "an item never browsed moves nothing";
  int position = 0;
  EXPECT_FALSE(a->bHPositionCourante(&position, L"never", kPrecision));
  EXPECT_EQ(position, -1);
  EXPECT_EQ(m_error.nGetUserErrorCode(), 7u);
  // The message names the file it is about.
  EXPECT_NE(std::wstring(m_error.pszGetError()).find(L"<" + std::wstring(a->pszGetLogicalName()) + L">"),
            std::wstring::npos)
      << Utf8(m_error.pszGetError());
  m_error.Reset();
}

// Places and moves after seeks, returns and transaction ends on the ids 1 .. 40, over whole
// results: each case pins a fault the walks found.
TEST_P(LivePosition, PlacesAndMovesAfterSeeksAndReturnsAreThoseOfTheWholeBrowse) {
  CHostRecordDescription* desc = MakeCounted(40);
  const struct {
    const char* name;
    // f l n p: reads; s<id>: seek; k<n>: skip (k-0: back by none); v, v1: save; r, r1: return
    // (keep 1); x<n>: HPositionne; t: transaction end; c<n>: HPositionCourante answers n
    const char* ops;
    std::vector<long long> ids;  // after each move (0: out of the rows)
  } cases[] = {
      {"TotalCountedOnTheRowsOfASeekLeft", "l v s20 v1 r r1 c500", {40, 20, 40, 20}},
      {"RankCountedFromTheRowLeftBeforeAReturnBySearch", "f n n v l r c75 n", {1, 2, 3, 40, 3, 4}},
      {"PositionneWithASeekInForcePlacedInTheSeeksRows", "s30 x500 n", {30, 20, 21}},
      {"BrowseOutAfterARebuildWentBackIntoTheSeeksRows", "s36 t k10 k-1", {36, 0, 40}},
      {"SeekPutBackByAReturnTakenForAPositioning", "s20 v r k-5 x500 n", {20, 20, 15, 20, 21}},
      {"SeekPutBackByAReturnTakenForAPositioningGoingOn", "s20 v r k5 k30 k-2", {20, 20, 25, 0, 39}},
      {"PlaceAfterATransactionEndWasUserError7", "f n v t r c50 n", {1, 2, 2, 3}},
      {"PlaceOfARowPastASeeksRowsCountedInTheWholeBrowse", "s20 k5 v k30 n r c625 n", {20, 25, 0, 0, 25, 26}},
      {"PlaceOfARowBeforeASeeksRowsCountedInTheWholeBrowse", "s20 k-5 v k-30 p r c375 p", {20, 15, 0, 0, 15, 14}},
      {"NoMoveFromBeforeTheFirstRowStaysThere", "s20 k-25 k0 p n", {20, 0, 0, 0, 1}},
      {"NoMoveFromPastTheLastRowStaysThere", "s20 k25 k-0 n p", {20, 0, 0, 0, 40}},
  };
  CMySQLConnection* cnx = Connect("-1");
  for (const bool rowCache : {false, true})
    for (const auto& c : cases) {
      CNADataAccess* a = Open(desc, cnx, {rowCache, true});
      int saved[2] = {-1, -1};
      size_t k = 0;
      const std::string ops = c.ops;
      for (size_t at = 0; at < ops.size();) {
        const size_t end = std::min(ops.find(' ', at), ops.size());
        const std::string op = ops.substr(at, end - at);
        at = end + 1;
        const std::string what = std::string(c.name) + (rowCache ? ", row cache, " : ", ") + op;
        const long long arg = op.size() > 1 && op[0] != 'v' && op[0] != 'r' ? std::stoll(op.substr(1)) : 0;
        BOOL ok = TRUE;
        switch (op[0]) {
          case 'v':
            ASSERT_TRUE(a->bHSauvePosition(&saved[op.size() > 1 ? 1 : 0], L"id", kPlain)) << what;
            continue;
          case 't':
            a->SetTransactionTermined();
            continue;
          case 'c': {
            int place = -1;
            EXPECT_TRUE(a->bHPositionCourante(&place, L"id", kPrecision))
                << what << ": " << Utf8(m_error.pszGetError());
            EXPECT_EQ(place, arg) << what;
            continue;
          }
          case 'r': {
            wchar_t item[255];
            ok = a->bHRetourPosition(saved[op.size() > 1 ? 1 : 0], item, 1, kPlain);
            break;
          }
          case 'k':
            ok = a->bSkipRecord(L"id", op[1] == '-' ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, arg < 0 ? -arg : arg, 1,
                                kNoLock, nullptr, 0);
            break;
          case 's': {
            const CAny sought = FromText(ZV_I4, std::to_wstring(arg).c_str());
            ok = a->bHRecherche(L"id", &sought, 0, 1, kNoLock, nullptr, 1, 0);
            break;
          }
          case 'x':
            ok = a->bHPositionne(L"id", static_cast<unsigned int>(arg), kPrecision, 0);
            break;
          default:
            ok = a->bHLitxxx(L"id",
                             op == "f"   ? NA_PARSE_FIRST
                             : op == "l" ? NA_PARSE_LAST
                             : op == "n" ? NA_PARSE_NEXT
                                         : NA_PARSE_PREVIOUS,
                             1, kNoLock, nullptr, 0);
        }
        ASSERT_TRUE(ok) << what << ": " << Utf8(m_error.pszGetError());
        ASSERT_LT(k, c.ids.size()) << c.name;
        const long long want = c.ids[k++];
        EXPECT_EQ(Out(a, L"id"), want == 0 ? 1 : 0) << what << Sent();
        if (want != 0) {
          EXPECT_EQ(Id(a), want) << what << Sent();
        }
      }
      EXPECT_EQ(k, c.ids.size()) << c.name;
    }
}

// The host's questions on an item of the file it never browsed, while it browses another: a
// positioning moves nothing and answers TRUE, the place is user error 7, out of range and found
// are user error 5 (also for no item named); a key change to the item browsed changes nothing.
TEST_P(LivePosition, ItemNeverBrowsedAnswersAsTheHostExpects) {
  std::mt19937 rng(7);
  Table t;
  MakeTable(&t, &rng, 12);
  ASSERT_FALSE(HasFatalFailure());
  const struct {
    const char* name;
    std::function<BOOL(CNADataAccess*)> call;
    BOOL ok;
    unsigned int error;  // 0: none
  } rows[] = {
      {"positionne", [](CNADataAccess* a) { return a->bHPositionne(L"d", 500, kPrecision, 0); }, TRUE, 0},
      {"place",
       [](CNADataAccess* a) {
         int place = 0;
         const BOOL ok = a->bHPositionCourante(&place, L"d", kPrecision);
         return ok || place != -1 ? TRUE : FALSE;
       },
       FALSE, 7},
      {"out of range",
       [](CNADataAccess* a) {
         int out = 0;
         return a->bHEndehors(L"d", &out);
       },
       FALSE, 5},
      {"out of range, no item named",
       [](CNADataAccess* a) {
         int out = 0;
         return a->bHEndehors(nullptr, &out);
       },
       FALSE, 5},
      {"found",
       [](CNADataAccess* a) {
         int found = 0, second = 0;
         return a->bEvalHTrouve(L"d", &found, &second);
       },
       FALSE, 5},
      {"key change to the item browsed", [](CNADataAccess* a) { return a->bHChangeCle(L"id", 0); }, TRUE, 0},
  };
  CNADataAccess* a = Open(t.desc, Connect(nullptr));
  for (const auto& r : rows) {
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0));
    m_error.Reset();
    EXPECT_EQ(r.call(a), r.ok) << r.name;
    EXPECT_EQ(m_error.nGetUserErrorCode(), r.error) << r.name;
    EXPECT_EQ(Id(a), 2) << r.name << ": the record did not move";
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0));
    EXPECT_EQ(Id(a), 3) << r.name << ": the browse goes on from where it stood";
  }
  m_error.Reset();
}

// A statement of the same access writes the current record (a delete, an update that keeps or
// changes the browse key, an insert) and every statement is told, as the write road tells them:
// the browses give the rebuild causes and marks the writes call for and read on as the model
// after the write reads.
TEST_P(LivePosition, SiblingWritesKeepTheBrowsesRight) {
  const std::wstring name = Name(L"qx pos`sib ");
  Raw("CREATE TABLE " + Quoted(name) +
      " (id INT PRIMARY KEY, d VARCHAR(12) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL, KEY (d))");
  Raw("INSERT INTO " + Quoted(name) + " SELECT seq, CHAR(ASCII('a') + seq % 5) FROM seq_1_to_12");
  CHostRecordDescription* desc = Description(name);
  CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kPrimary);
  id->m_bNullAllowed = FALSE;
  Item(desc, L"d", NA_IT_TEXTE, 13, kDuplicates);
  desc->m_pBestParseItem = id;
  CMySQLConnection* cnx = Connect(nullptr);
  auto row = [](int i, const wchar_t* d = nullptr) {
    return std::vector<Cell>{std::to_wstring(i), d != nullptr ? std::wstring(d) : std::wstring(1, L'a' + i % 5)};
  };
  // Reads on id from the first to the row of id at; the writer's operation on that row; then the
  // reads after it, each with the row expected ("" out).
  const struct {
    const char* name;
    const wchar_t* item;
    int at;
    eNAQUERYTYPE type;
    const wchar_t* newD;  // the d written by an update or an insert
    int newId;            // the id written by an insert
    ePARSENEEDUPDATECAUSE cause;                           // without a row cache; with one, a new run is a re-placement
    std::vector<std::pair<char, std::vector<Cell>>> then;  // n / p reads
    // The saves follow the written row: back on it, a key moved past every row reads no further.
    bool pastEndAfterReturn = false;
  } cases[] = {
      {"delete of the current row", L"id", 5, NA_QUERY_DELETE, nullptr, 0, NA_PARSE_UPTODATE,
       {{'n', row(6)}, {'p', row(4)}, {'n', row(6)}}},
      {"update keeping the key", L"id", 5, NA_QUERY_UPDATE, L"kept", 0, NA_PARSE_UPTODATE,
       {{'n', row(6)}, {'p', row(5, L"kept")}, {'p', row(4)}}},
      {"update changing the key", L"d", 3, NA_QUERY_UPDATE, L"zz", 0, NA_PARSE_RERUN,
       {{'n', row(8)}, {'p', row(12)}}, true},
      {"insert", L"id", 5, NA_QUERY_INSERT, L"new", 40, NA_PARSE_RERUN, {{'n', row(6)}, {'p', row(5)}}},
  };
  for (const bool rowCache : {false, true})
    for (const auto& c : cases) {
      Raw("DELETE FROM " + Quoted(name));
      Raw("INSERT INTO " + Quoted(name) + " SELECT seq, CHAR(ASCII('a') + seq % 5) FROM seq_1_to_12");
      CNADataAccess* a = Open(desc, cnx, {rowCache, true});
      const std::string what = std::string(c.name) + (rowCache ? ", row cache" : "");
      ASSERT_TRUE(a->bHLitxxx(c.item, NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
      for (int i = 0; i < 12 && Values(a, {L"id"})[0] != Cell(std::to_wstring(c.at)); ++i)
        ASSERT_TRUE(a->bHLitxxx(c.item, NA_PARSE_NEXT, 1, kNoLock, nullptr, 0));
      int saved = -1;
      ASSERT_TRUE(a->bHSauvePosition(&saved, c.item, kPlain));
      CNARecord* record = a->pclGetCurrentRecordNoRef();
      CNARecordValue* original = record->pclGetOriginalValueNoRef()->pclGetClone(NA_COPY_ALL);
      original->AddRef();
      if (c.newD != nullptr) {
        const CAny d = FromText(ZV_DSTRW, c.newD);
        EXPECT_TRUE(record->pclGetColumnNoRef(L"d")->bSetValue(&d, 0));
      }
      if (c.newId != 0) {
        const CAny v = FromText(ZV_I4, std::to_wstring(c.newId).c_str());
        EXPECT_TRUE(record->pclGetColumnNoRef(L"id")->bSetValue(&v, 0));
      }
      CNAStatement* writer = a->_pclInitStatement(L"qx writer");
      ASSERT_NE(writer, nullptr);
      // The write road tells every statement of the access.
      EXPECT_TRUE(a->_bOperation(writer, c.type, 0, original)) << what << ": " << Utf8(m_error.pszGetError());
      CNAStatement* browse = a->_pclFindStatement(c.item);
      EXPECT_EQ(browse->eParseNeedUpdate(), rowCache && c.cause == NA_PARSE_RERUN ? NA_PARSE_REPLACE : c.cause) << what;
      browse->nRelease();
      writer->nRelease();
      original->nRelease();
      // The record shows the row as written until the next read.
      for (size_t i = 0; i < c.then.size(); ++i) {
        const auto& [op, want] = c.then[i];
        ASSERT_TRUE(a->bHLitxxx(c.item, op == 'n' ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, 0))
            << what << ": " << Utf8(m_error.pszGetError());
        EXPECT_EQ(Values(a, {L"id", L"d"}), want) << what << ", read " << i << Sent();
      }
      // The position saved on the written row comes back to it as written, or after a delete to
      // its saved copy, from which the browse goes on.
      wchar_t item[255];
      ASSERT_TRUE(a->bHRetourPosition(saved, item, 0, kPlain)) << what << ": " << Utf8(m_error.pszGetError());
      EXPECT_EQ(Values(a, {L"id"})[0], Cell(std::to_wstring(c.at))) << what;
      ASSERT_TRUE(a->bHLitxxx(c.item, NA_PARSE_NEXT, 1, kNoLock, nullptr, 0)) << what;
      if (c.pastEndAfterReturn) {
        EXPECT_EQ(Out(a, c.item), 1) << what;
        continue;
      }
      EXPECT_EQ(Values(a, {L"id", L"d"}), c.then[0].second) << what << ", next after the return" << Sent();
    }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LivePosition,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

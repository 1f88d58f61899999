// Browsing a live table through the MySQL data access, checked step by step against a model of
// its rows in each browse item's order: seeded random walks of first, last, next, previous,
// skips, re-reads and transaction ends under every record limit, with the row cache on and off.
// The walks run fixed seeds (scripts/walk draws fresh ones); a failing walk prints its seed, and
// QX_BROWSE_SEED=<seed> replays it.
#include <cstdlib>
#include <map>
#include <random>

#include "tests/mysql/browse_bench.h"

namespace {

enum : unsigned short { kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000, kComposite = 0x1000 };
enum : unsigned int { kNoRowCache = 0x10000 };

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

class LiveBrowseWalk : public LiveBrowse {
 protected:
  // A walk of steps random reads on item compared with the model at each step; "" when every
  // step agreed, else what differed.
  std::string Walk(CNADataAccess* a, const Table& t, const Browse& b, unsigned int flags, std::mt19937* rng,
                   int steps, bool rebuilds) {
    const BrowseModel model(t.rows, b.order);
    const long long n = model.n();
    long long p = -1;
    bool out = true, read = false;
    std::string trail;
    for (int step = 0; step < steps; ++step) {
      // A browse starts at one end.
      const unsigned int roll = step == 0 ? (*rng)() % 16 : (*rng)() % (rebuilds ? 100 : 93);
      BOOL ok = FALSE;
      std::string op;
      if (roll < 8) {
        op = "first";
        ok = a->bHLitxxx(b.item, NA_PARSE_FIRST, 1, kNoLock, nullptr, flags);
        p = 0;
      } else if (roll < 16) {
        op = "last";
        ok = a->bHLitxxx(b.item, NA_PARSE_LAST, 1, kNoLock, nullptr, flags);
        p = n - 1;
      } else if (roll < 40) {
        op = "next";
        ok = a->bHLitxxx(b.item, NA_PARSE_NEXT, 1, kNoLock, nullptr, flags);
        p = std::min(p + 1, n);
      } else if (roll < 60) {
        op = "previous";
        ok = a->bHLitxxx(b.item, NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, flags);
        p = std::max(p - 1, -1LL);
      } else if (roll < 86) {
        const long long k = static_cast<long long>((*rng)() % 121) - 60;
        op = "skip " + std::to_string(k);
        ok = a->bSkipRecord(b.item, k < 0 ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, k < 0 ? -k : k, 1, kNoLock, nullptr,
                            flags);
        if (k != 0 || out) p = std::clamp(p + k, -1LL, n);
      } else if (roll < 93) {
        op = "re-read";
        ok = a->bHLit(0, kNoLock, nullptr);
        if (!read) ok = !ok;
      } else {
        op = "transaction end";
        a->SetTransactionTermined();
        ok = TRUE;
      }
      trail += " " + op;
      if (op != "re-read" && op != "transaction end") {
        out = p < 0 || p >= n;
        read = read || !out;
      }
      const std::string where = "step " + std::to_string(step) + " (" + op + "), row " + std::to_string(p) + " of " +
                                std::to_string(n) + "; steps:" + trail;
      if (!ok) return where + ": failed: " + Utf8(m_error.pszGetError()) + Sent();
      if (op == "transaction end") continue;
      if (op != "re-read" && Out(a, b.item) != (out ? 1 : 0))
        return where + ": out of range " + std::to_string(Out(a, b.item)) + Sent();
      if (out) continue;
      const std::vector<Cell> got = Values(a, t.columns);
      if (!model.InGroup(p, got))
        return where + ": read " + Text(got) + ", expected " + Text(model.rows[static_cast<size_t>(p)]) + Sent();
    }
    return "";
  }
};

// Walks over blocks of 100 and of 15 rows and over whole results, with the row cache on and
// off, on a unique integer, on duplicates under a case- and blank-insensitive and under a binary
// collation, on a nullable UNIQUE with several NULLs, on a composite key with a descending part
// and on tables without a key, with rebuilds: each step reads what the model reads.
TEST_P(LiveBrowseWalk, RandomWalksReadWhatTheModelReads) {
  const int steps = std::get<0>(GetParam()) == 65001 && !std::get<1>(GetParam()) ? 120 : 40;
  WalkEveryKindOfKey([&](CNADataAccess* a, const Table& t, const Browse& b, unsigned int flags, std::mt19937* rng) {
    return Walk(a, t, b, flags, rng, steps, true);
  });
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveBrowseWalk,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
namespace {

// Reads that leave the rows and come back, with the blocks of 100 rows a SELECT reads: a block's
// own positioning search taken for the host's search ran the browse again from an end; a block
// found again from a record was taken for the first of the browse and ended it early; a browse
// past its end, rebuilt, stepped back from its last row instead of reading it; a move by no row
// of a rebuilt browse left the rows.
TEST_P(LiveBrowseWalk, BrowseOffAnEndComesBackFromThatEnd) {
  std::mt19937 rng(1);
  Table keyed;
  MakeKeyed(&keyed, &rng, 130);
  CMySQLConnection* cnx = Connect(nullptr);
  struct Step {
    char op;  // f l n p: reads; s: skip by count; t: transaction end
    long long count;
    const char* id;  // expected id, "" out of range
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
  } rows[] = {
      {"InternalSearchOfABlockIsNotTheHostsSearch", {{'l', 1, "130"}, {'n', 1, ""}, {'p', 1, "130"}, {'n', 1, ""}}},
      {"BlockFoundAgainFromARecordIsNotTheFirst",
       {{'l', 1, "130"}, {'s', -53, "77"}, {'t', 0, ""}, {'s', -41, "36"}, {'n', 1, "37"}, {'s', 52, "89"}}},
      {"RebuiltBrowsePastItsEndReadsTheLastRowBack",
       {{'l', 1, "130"}, {'t', 0, ""}, {'n', 1, ""}, {'n', 1, ""}, {'s', -13, "118"}}},
      {"MoveByNoRowOfARebuiltBrowseRereadsTheRow", {{'l', 1, "130"}, {'s', -9, "121"}, {'t', 0, ""}, {'s', 0, "121"}}},
      {"RebuiltBrowsePastItsEndStaysOut", {{'l', 1, "130"}, {'n', 1, ""}, {'t', 0, ""}, {'s', 5, ""}, {'p', 1, "130"}}},
  };
  for (const auto& row : rows) {
    CNADataAccess* a = Open(keyed.desc, cnx);
    for (size_t i = 0; i < row.steps.size(); ++i) {
      const Step& st = row.steps[i];
      BOOL ok = TRUE;
      switch (st.op) {
        case 't':
          a->SetTransactionTermined();
          continue;
        case 's':
          ok = a->bSkipRecord(L"id", st.count < 0 ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, std::llabs(st.count), 1, kNoLock,
                              nullptr, 0);
          break;
        default:
          ok = a->bHLitxxx(L"id", st.op == 'f'   ? NA_PARSE_FIRST
                                  : st.op == 'l' ? NA_PARSE_LAST
                                  : st.op == 'n' ? NA_PARSE_NEXT
                                                 : NA_PARSE_PREVIOUS,
                           1, kNoLock, nullptr, 0);
      }
      ASSERT_TRUE(ok) << row.name << " step " << i;
      const bool out = *st.id == 0;
      EXPECT_EQ(Out(a, L"id"), out ? 1 : 0) << row.name << " step " << i << Sent();
      if (!out) {
        EXPECT_EQ(Text(Values(a, {L"id"})), st.id) << row.name << " step " << i << Sent();
      }
    }
  }
}

}  // namespace

namespace {

// Rebuilt and continued browses on small tables made for each fault: a table without a key
// counted its equal rows on a best item it does not have and refused the rebuild; the rank among
// equal rows read from the end was taken as counted from the start; a re-read or a move by no row
// reset that rank, and a skip landing inside a run took it as the run's first; a browse rebuilt
// with the row cache could not read back past the row it landed on; the next block after a 0 of a
// descending part lost the NULLs sorted after it; coming back from past the end of a run read its
// first row, and coming back from before its start counted it from the end; rows taken into the
// row cache after a deleted row was read again kept its deleted mark and were passed over; rows
// equal under a text collation but not in bytes came in no fixed order and a rebuild counted
// them as one run where the browse had counted runs of equal bytes, and a re-read of such a row
// read the first row equal to it under the collation.
TEST_P(LiveBrowseWalk, RebuiltAndContinuedBrowsesLandWhereTheyLeft) {
  const std::wstring bare = Name(L"qx brw`runs ");
  Raw("CREATE TABLE " + Quoted(bare) + " (x INT NULL)");
  Raw("INSERT INTO " + Quoted(bare) + " VALUES (1),(1),(2),(3),(3),(3)");
  CHostRecordDescription* bareDesc = Description(bare);
  Item(bareDesc, L"x", NA_IT_I4, 4);
  // Rows equal under the collation, two of them in bytes too.
  const std::wstring cases = Name(L"qx brw`cases ");
  Raw("CREATE TABLE " + Quoted(cases) +
      " (x INT NULL, s VARCHAR(4) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL)");
  Raw("INSERT INTO " + Quoted(cases) + " VALUES (1,'p'),(1,'P'),(1,'p '),(1,'P'),(2,'q'),(3,'e'),(3," +
      SqlCell(L"\u00C9", false) + "),(3," + SqlCell(L"\u00E9", false) + ")");
  CHostRecordDescription* casesDesc = Description(cases);
  Item(casesDesc, L"x", NA_IT_I4, 4);
  Item(casesDesc, L"s", NA_IT_TEXTE, 5);
  const std::wstring pairs = Name(L"qx brw`pairs ");
  Raw("CREATE TABLE " + Quoted(pairs) + " (id INT PRIMARY KEY, a INT NULL, c INT NULL, KEY (a, c DESC))");
  Raw("INSERT INTO " + Quoted(pairs) + " VALUES (1,NULL,2),(2,NULL,1),(3,NULL,0),(4,NULL,NULL),(5,NULL,NULL),(6,1,5)");
  CHostRecordDescription* pairsDesc = Description(pairs);
  CHostItemDescription* id = Item(pairsDesc, L"id", NA_IT_I4, 4, kPrimary);
  id->m_bNullAllowed = FALSE;
  CHostItemDescription* a = Item(pairsDesc, L"a", NA_IT_I4, 4);
  CHostItemDescription* c = Item(pairsDesc, L"c", NA_IT_I4, 4);
  Item(pairsDesc, L"ac", NA_IT_BINAIRE, 8, kComposite | kDuplicates, {a, c})->m_dwDescendingComponents = 2;
  pairsDesc->m_pBestParseItem = id;
  Table keyed;
  std::mt19937 rng(1);
  MakeKeyed(&keyed, &rng, 130);
  ASSERT_FALSE(HasFatalFailure());

  // f l n p: reads; k j 0: skips by 4, -4 and 0; r: re-read; t: transaction end; D: the current
  // row deleted by the second connection. Expected: the column's value read, "" out.
  const struct {
    const char* name;
    CHostRecordDescription* desc;
    const wchar_t* item;
    const char* cache;
    bool rowCache;
    const char* ops;
    std::vector<const char*> expected;
  } rows[] = {
      {"RebuildOnATableWithoutAKeyCountsOnTheBrowseItem", bareDesc, L"x", nullptr, false, "lptnnn",
       {"3", "3", "", "3", "", ""}},
      {"RankReadFromTheEndIsCountedFromTheEnd", bareDesc, L"x", nullptr, false, "ltppp", {"3", "", "3", "3", "2"}},
      {"ReReadKeepsTheRank", bareDesc, L"x", nullptr, false, "lprtnn", {"3", "3", "3", "", "3", ""}},
      {"RebuiltBrowseWithTheRowCacheReadsBackPastWhereItLanded", keyed.desc, L"id", "-1", true, "lptnpp",
       {"130", "129", "", "130", "129", "128"}},
      {"BlockAfterAZeroOfADescendingPartReachesTheNulls", pairsDesc, L"ac", "3", false, "fnnnnnn",
       {"1", "2", "3", "4", "5", "6", ""}},
      {"SkipIntoARunCountsTheEqualRowsBeforeTheLanding", bareDesc, L"x", nullptr, false, "fktnn",
       {"1", "3", "", "3", ""}},
      {"MoveByNoRowKeepsTheRank", bareDesc, L"x", nullptr, false, "lp0tnn", {"3", "3", "3", "", "3", ""}},
      {"BackFromPastTheEndOfARunReadsItsLastRow", bareDesc, L"x", nullptr, false, "ltpnnpj",
       {"3", "", "3", "3", "", "3", "1"}},
      {"BackFromBeforeTheStartOfARunCountsFromItsFirstRow", bareDesc, L"x", nullptr, false, "fntpjntnn",
       {"1", "1", "", "1", "", "1", "", "1", "2"}},
      {"RebuildAmongRowsEqualUnderTheCollationLandsOnTheRowLeft", casesDesc, L"x", nullptr, false, "fnntnn",
       {"1|P", "1|P", "1|p", "", "1|p ", "2|q"}},
      {"RebuildAmongRowsEqualUnderTheCollationFromTheEndLandsOnTheRowLeft", casesDesc, L"x", nullptr, false,
       "lppppptppp", {"3|\xC3\xA9", "3|\xC3\x89", "3|e", "2|q", "1|p ", "1|p", "", "1|P", "1|P", ""}},
      {"RebuildAmongAccentedRowsEqualUnderTheCollationLandsOnTheRowLeft", casesDesc, L"x", nullptr, false, "lptpp",
       {"3|\xC3\xA9", "3|\xC3\x89", "", "3|e", "2|q"}},
      {"ReReadAmongRowsEqualUnderTheCollationReadsTheRowLeft", casesDesc, L"x", nullptr, false, "fnnnr",
       {"1|P", "1|P", "1|p", "1|p ", "1|p "}},
      {"RebuildOnATextItemAmongRowsEqualUnderTheCollationLandsOnTheRowLeft", casesDesc, L"s", nullptr, false,
       "fnnnntnn", {"3|e", "3|\xC3\x89", "3|\xC3\xA9", "1|P", "1|P", "", "1|p", "1|p "}},
      {"RowsCachedAfterADeletedRowWasReadAgainAreNotDeleted", keyed.desc, L"id", "15", true, "fnDrnn",
       {"1", "2", "", "2", "3", "4"}},
  };
  for (const auto& row : rows) {
    CMySQLConnection* cnx = Connect(row.cache);
    CNADataAccess* access = Open(row.desc, cnx, {row.rowCache, true});
    const unsigned int flags = row.rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
    const std::vector<const wchar_t*> shown = row.desc == bareDesc    ? std::vector<const wchar_t*>{L"x"}
                                              : row.desc == casesDesc ? std::vector<const wchar_t*>{L"x", L"s"}
                                                                      : std::vector<const wchar_t*>{L"id"};
    for (size_t i = 0; row.ops[i] != 0; ++i) {
      const char op = row.ops[i];
      BOOL ok = TRUE;
      if (op == 't') {
        access->SetTransactionTermined();
      } else if (op == 'D') {
        Raw("DELETE FROM " + Quoted(row.desc->m_pszDBTableName) + " WHERE id=" + Text(Values(access, {L"id"})));
      } else if (op == 'r') {
        ok = access->bHLit(0, kNoLock, nullptr);
      } else if (op == 'k' || op == 'j' || op == '0') {
        ok = access->bSkipRecord(row.item, op == 'j' ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, op == '0' ? 0 : 4, 1, kNoLock,
                                 nullptr, flags);
      } else {
        ok = access->bHLitxxx(row.item, op == 'f'   ? NA_PARSE_FIRST
                                        : op == 'l' ? NA_PARSE_LAST
                                        : op == 'n' ? NA_PARSE_NEXT
                                                    : NA_PARSE_PREVIOUS,
                              1, kNoLock, nullptr, flags);
      }
      if (!ok) {
        ADD_FAILURE() << row.name << " step " << i << ": " << Utf8(m_error.pszGetError()) << Sent();
        break;
      }
      if (op == 't' || op == 'D') continue;
      const bool out = *row.expected[i] == 0;
      if (op != 'r') {
        EXPECT_EQ(Out(access, row.item), out ? 1 : 0) << row.name << " step " << i << Sent();
      }
      if (!out) {
        EXPECT_EQ(Text(Values(access, shown)), row.expected[i]) << row.name << " step " << i << Sent();
      }
    }
  }
}

}  // namespace

namespace {

// The order of a browse with the key appended, as the SELECT sorts: -1, 0, 1.
int CompareInBrowse(const Browse& b, const std::vector<Cell>& x, const std::vector<Cell>& y) {
  for (const Term& t : b.order) {
    int r = CompareCells(x[static_cast<size_t>(t.column)], y[static_cast<size_t>(t.column)], t.collation);
    if (t.descending) r = -r;
    if (r != 0) return r;
  }
  return CompareCells(x[0], y[0], Collation::Number);
}

// Blocks of 15 rows read by next from first and by previous from last, with rebuilds, while a
// second connection inserts, deletes and moves rows ahead of, at and behind the position: the rows no write
// touched are each read once, with their values, and every read follows the one before in the
// browse's order; a current row deleted meanwhile is read again as deleted (state 128) with the
// values the browse read.
TEST_P(LiveBrowseWalk, WritesOfAnotherConnectionLeaveUntouchedRowsReadOnceInOrder) {
  ForEachSeed([&](std::mt19937* seeded) {
    std::mt19937& rng = *seeded;
    CMySQLConnection* cnx = Connect("15");
    int made = 0;
    for (const bool rowCache : {false, true}) {
      for (const wchar_t* item : {L"id", L"d", L"u", L"ac"}) {
        for (const bool forward : {true, false}) {
          Table t;
          MakeKeyed(&t, &rng, 90, L"qx brw`writes " + std::to_wstring(made++) + L" ");
          ASSERT_FALSE(HasFatalFailure());
          const Browse* b = nullptr;
          for (const Browse& x : t.browses)
            if (std::wstring(x.item) == item) b = &x;
          std::map<std::wstring, std::vector<Cell>> untouched;
          for (const auto& r : t.rows) untouched[*r[0]] = r;
          const std::string table = Quoted(t.name);
          int fresh = 5000;
          auto anyId = [&]() { return *t.rows[rng() % t.rows.size()][0]; };
          // A write of the second connection on the row id: its deletion or a move of its key,
          // ahead of the position or behind it.
          auto write = [&](const std::wstring& id, bool remove) {
            untouched.erase(id);
            const std::string where = " WHERE id=" + Utf8(id);
            const bool up = rng() % 2 != 0;
            std::string set = "a=" + std::to_string(rng() % 5) + ", c=NULL";
            if (std::wstring(item) == L"id") set = "id=" + std::to_string(up ? ++fresh : -++fresh);
            if (std::wstring(item) == L"d") set = std::string("d=") + (up ? "'zzz'" : "'a'");
            if (std::wstring(item) == L"u") set = "u=" + (up ? std::to_string(++fresh) : std::string("NULL"));
            Raw(remove ? "DELETE FROM " + table + where : "UPDATE " + table + " SET " + set + where);
          };
          CNADataAccess* a = Open(t.desc, cnx, {rowCache, true});
          const unsigned int flags = rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
          const eNA_PARSEDIRECTION start = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;
          const eNA_PARSEDIRECTION step = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
          std::vector<std::vector<Cell>> read;
          std::string trail;
          ASSERT_TRUE(a->bHLitxxx(item, start, 1, kNoLock, nullptr, flags)) << Utf8(m_error.pszGetError());
          for (int guard = 0; Out(a, item) == 0 && guard < 300; ++guard) {
            const std::vector<Cell> row = Values(a, t.columns);
            read.push_back(row);
            const unsigned int roll = rng() % 12;
            if (roll == 0) {
              // The current row goes: read again, it is the row read, marked deleted.
              write(*row[0], true);
              trail += " delete-current";
              ASSERT_TRUE(a->bHLit(0, kNoLock, nullptr)) << Utf8(m_error.pszGetError());
              unsigned int state = 0;
              ASSERT_TRUE(a->bGetRecNumState(0, &state));
              EXPECT_EQ(state, 128u) << Utf8(item) << trail;
              EXPECT_EQ(Text(Values(a, t.columns)), Text(row)) << Utf8(item) << trail;
            } else if (roll == 1) {
              write(*row[0], false);
              trail += " move-current";
            } else if (roll < 4) {
              const std::wstring id = anyId();
              write(id, roll == 2);
              trail += roll == 2 ? " delete " : " move ";
              trail += Utf8(id);
            } else if (roll == 4) {
              std::vector<Cell> copy = t.rows[rng() % t.rows.size()];
              copy[0] = std::to_wstring(++fresh);
              copy[3] = std::nullopt;
              Raw("INSERT INTO " + table + " VALUES (" + SqlCell(copy[0], true) + "," + SqlCell(copy[1], false) + "," +
                  SqlCell(copy[2], false) + ",NULL," + SqlCell(copy[4], true) + "," + SqlCell(copy[5], true) + ")");
              trail += " insert " + Utf8(*copy[0]);
            } else if (roll == 5) {
              a->SetTransactionTermined();
              trail += " transaction-end";
            }
            ASSERT_TRUE(a->bHLitxxx(item, step, 1, kNoLock, nullptr, flags)) << Utf8(m_error.pszGetError()) << trail;
            trail += forward ? " next" : " previous";
          }
          const std::string where = std::string("item ") + Utf8(item) + (rowCache ? ", row cache" : "") +
                                    (forward ? ", forward" : ", backward") + ";" + trail + Sent();
          std::map<std::wstring, int> seen;
          for (size_t i = 0; i < read.size(); ++i) {
            ++seen[*read[i][0]];
            if (i > 0) {
              const int order = CompareInBrowse(*b, read[i - 1], read[i]);
              EXPECT_EQ(order, forward ? -1 : 1) << "read " << i << ": " << Text(read[i - 1]) << " then " << Text(read[i])
                                                 << "; " << where;
            }
            const auto kept = untouched.find(*read[i][0]);
            if (kept != untouched.end()) {
              EXPECT_EQ(Text(read[i]), Text(kept->second)) << where;
            }
          }
          for (const auto& [id, row] : untouched) EXPECT_EQ(seen[id], 1) << "row " << Text(row) << "; " << where;
          if (HasFailure()) return;
        }
      }
    }
  });
}

}  // namespace

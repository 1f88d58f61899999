// Fetching through the MySQL data access on a live table: every row read once each way in the
// server's order whatever the block size, row cache and direction of the SELECT; re-reads, the
// count of equal rows, what the row cache spares the server; long skips, the record limit and
// its rules, and the errors a browse answers with.
#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "access/nadataaccessguards.h"
#include "access/nadatasourcedescription.h"
#include "access/natablecache.h"
#include "sql/nafilter.h"
#include "sql/sqlparserinfo.h"
#include "tests/mysql/browse_bench.h"
#include "tests/support/parse_bench.h"

namespace {

// A statement whose count throws, as a failing backend might.
class CThrowingCountStatement final : public CMySQLStatement {
 public:
  using CMySQLStatement::CMySQLStatement;
  BOOL bGetNbEnr(long long*, unsigned int, int) override { throw std::runtime_error("count"); }
};
class CThrowingCountAccess final : public CMySQLDataAccess {
 public:
  using CMySQLDataAccess::CMySQLDataAccess;
  CNAStatement* _pclAllocStatement(CNADataAccess* access, CNAError* error) override {
    return new (std::nothrow) CThrowingCountStatement(access, error);
  }
};

enum : unsigned short { kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000 };
enum : unsigned int { kReuse = 0x2000, kNoRowCache = 0x10000 };

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

class LiveBrowseFetch : public LiveBrowse {
 protected:
  // A table of n rows: id 1..n, v = 1000 - id, and d among a few texts in case and blank
  // variants that utf8mb4_general_ci holds equal.
  CHostRecordDescription* Numbers(int n) {
    m_table = Name(L"qx brw`fetch ");
    Raw("CREATE TABLE " + Quoted(m_table) +
        " (id INT PRIMARY KEY, v INT NOT NULL, d VARCHAR(8) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL,"
        " u INT NULL UNIQUE, KEY (d))");
    Raw("INSERT INTO " + Quoted(m_table) +
        " SELECT seq, 1000 - seq, ELT(1 + seq % 5, 'b', 'A', 'a ', 'B', 'c'), IF(seq % 4 = 0, NULL, 5000 - seq)"
        " FROM seq_1_to_" + std::to_string(n));
    CHostRecordDescription* desc = Description(m_table);
    CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kPrimary);
    id->m_bNullAllowed = FALSE;
    Item(desc, L"v", NA_IT_I4, 4);
    Item(desc, L"d", NA_IT_TEXTE, 9, kDuplicates);
    Item(desc, L"u", NA_IT_I4, 4, kUnique);
    desc->m_pBestParseItem = id;
    return desc;
  }
  // A table without a key, (x INT, s VARCHAR(4)), of the rows values lists, described with x
  // and s, neither unique.
  CHostRecordDescription* Keyless(const std::string& values) {
    const std::wstring table = Name(L"qx brw`bare ");
    Raw("CREATE TABLE " + Quoted(table) + " (x INT NULL, s VARCHAR(4) NULL)");
    Raw("INSERT INTO " + Quoted(table) + " VALUES " + values);
    CHostRecordDescription* desc = Description(table);
    Item(desc, L"x", NA_IT_I4, 4, kDuplicates);
    Item(desc, L"s", NA_IT_TEXTE, 5);
    return desc;
  }
  // The ids in the server's own order of item (completed by id), as one text.
  std::string ServerOrder(const char* item, bool descending) {
    const std::string dir = descending ? " DESC" : "";
    const std::string order = std::string(item) == "id" ? "id" + dir : std::string(item) + dir + ", id" + dir;
    return Rows("SELECT id FROM " + Quoted(m_table) + " ORDER BY " + order, true);
  }
  // One read; the id read, "" out of the rows, "failed: ..." when the read fails.
  std::string Read(CNADataAccess* a, const wchar_t* item, eNA_PARSEDIRECTION dir, unsigned int flags,
                   long long skip = -1) {
    const BOOL ok = skip < 0 ? a->bHLitxxx(item, dir, 1, kNoLock, nullptr, flags)
                             : a->bSkipRecord(item, dir, skip, 1, kNoLock, nullptr, flags);
    if (!ok) return "failed: " + Utf8(m_error.pszGetError());
    return Out(a, item) != 0 ? "" : Text(Values(a, {L"id"}));
  }
  // Reads from one end by dir until the rows end (at most limit reads): the ids read, "|" between.
  std::string Run(CNADataAccess* a, const wchar_t* item, eNA_PARSEDIRECTION start, eNA_PARSEDIRECTION dir,
                  unsigned int flags, int limit) {
    std::string ids;
    std::string id = start == NA_PARSE_CURRENT ? Read(a, item, dir, flags) : Read(a, item, start, flags);
    for (int i = 0; !id.empty() && i < limit; ++i) {
      if (id.rfind("failed", 0) == 0) return ids + " " + id;
      ids += (ids.empty() ? "" : "|") + id;
      id = Read(a, item, dir, flags);
    }
    return ids;
  }
  // The item's statement (borrowed).
  static CNAStatement* Statement(CNADataAccess* a, const wchar_t* item) {
    CNAStatement* s = a->_pclFindStatement(item);
    if (s != nullptr) s->nRelease();
    return s;
  }
  int Selects() const {
    int n = 0;
    for (const std::string& t : ClientCounts::tabSent) n += t.rfind("SELECT", 0) == 0 ? 1 : 0;
    return n;
  }

  std::wstring m_table;
};

// Every row is read exactly once, in the server's order, from first to the end and back, and
// from last to the start and back: in blocks of 3, of 100 and whole, with the row cache on and
// off, on a unique key, on duplicates the collation holds equal and on a nullable unique key
// whose NULLs fill whole blocks, on a statement that cannot read backward.
TEST_P(LiveBrowseFetch, EveryRowIsReadOnceEachWayInTheServersOrder) {
  CHostRecordDescription* desc = Numbers(250);
  ASSERT_FALSE(HasFatalFailure());
  const std::string up[] = {ServerOrder("id", false), ServerOrder("d", false), ServerOrder("u", false)};
  const std::string down[] = {ServerOrder("id", true), ServerOrder("d", true), ServerOrder("u", true)};
  const struct {
    const char* cache;
    bool rowCache;
    bool backward;
  } rows[] = {
      {"3", false, true},  {"3", true, true},  {nullptr, false, true}, {nullptr, true, true},
      {"-1", false, true}, {"-1", true, true}, {"3", false, false},    {nullptr, false, false},
  };
  for (const auto& row : rows) {
    CMySQLConnection* cnx = Connect(row.cache);
    const unsigned int flags = row.rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
    for (int k = 0; k < 3; ++k) {
      const wchar_t* item = k == 0 ? L"id" : k == 1 ? L"d" : L"u";
      const std::string where = std::string("cache ") + (row.cache != nullptr ? row.cache : "unset") +
                                (row.rowCache ? ", row cache" : "") + (row.backward ? "" : ", no backward reads") +
                                ", item " + Utf8(item);
      CBrowseAccess* a = Open(desc, cnx, {row.rowCache, row.backward});
      EXPECT_EQ(Run(a, item, NA_PARSE_FIRST, NA_PARSE_NEXT, flags, 260), up[k]) << where << Sent();
      EXPECT_EQ(Run(a, item, NA_PARSE_CURRENT, NA_PARSE_PREVIOUS, flags, 260), down[k]) << where << Sent();
      CBrowseAccess* b = Open(desc, cnx, {row.rowCache, row.backward});
      EXPECT_EQ(Run(b, item, NA_PARSE_LAST, NA_PARSE_PREVIOUS, flags, 260), down[k]) << where << Sent();
      EXPECT_EQ(Run(b, item, NA_PARSE_CURRENT, NA_PARSE_NEXT, flags, 260), up[k]) << where << Sent();
    }
  }
}

// A move by no row reads the current row again into the record, wherever the browse stands in
// its blocks; out of the rows, and on a table without rows, it stays out and finds nothing.
TEST_P(LiveBrowseFetch, MoveByNoRowRereadsTheCurrentRow) {
  CHostRecordDescription* desc = Numbers(20);
  ASSERT_FALSE(HasFatalFailure());
  const struct {
    const char* cache;
    bool rowCache;
    eNA_PARSEDIRECTION start;
    int steps;  // next reads after start
    const char* id;
  } rows[] = {
      {"3", false, NA_PARSE_FIRST, 0, "1"},  {"3", false, NA_PARSE_FIRST, 4, "5"}, {"3", true, NA_PARSE_FIRST, 7, "8"},
      {nullptr, false, NA_PARSE_LAST, 0, "20"}, {"3", false, NA_PARSE_LAST, 3, ""}, {"-1", true, NA_PARSE_LAST, 0, "20"},
  };
  for (const auto& row : rows) {
    const std::string where = std::string("cache ") + (row.cache != nullptr ? row.cache : "unset") + ", " +
                              std::to_string(row.steps) + " reads";
    CBrowseAccess* a = Open(desc, Connect(row.cache), {row.rowCache, true});
    const unsigned int flags = row.rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
    std::string id = Read(a, L"id", row.start, flags);
    for (int i = 0; i < row.steps; ++i) id = Read(a, L"id", NA_PARSE_NEXT, flags);
    ASSERT_EQ(id, row.id) << where << Sent();
    if (!id.empty()) {
      // The record is changed by the host; the re-read brings the row back.
      const CAny other = FromText(ZV_I4, L"-5");
      ASSERT_TRUE(a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(L"v")->bSetValue(&other, 0));
    }
    EXPECT_EQ(Read(a, L"id", NA_PARSE_NEXT, flags, 0), row.id) << where << Sent();
    if (!id.empty()) {
      EXPECT_EQ(Text(Values(a, {L"v"})), std::to_string(1000 - std::stoi(id))) << where;
    }
  }
  // No rows at all: out of the rows, nothing found.
  Raw("DELETE FROM " + Quoted(m_table));
  for (bool rowCache : {false, true}) {
    CBrowseAccess* a = Open(desc, Connect(nullptr), {rowCache, true});
    const unsigned int flags = rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
    EXPECT_EQ(Read(a, L"id", NA_PARSE_FIRST, flags), "");
    EXPECT_EQ(Read(a, L"id", NA_PARSE_NEXT, flags, 0), "");
    EXPECT_FALSE(Statement(a, L"id")->bGetFound());
  }
}

// Consecutive rows with the same bytes are counted into the record as they are read, either
// way, with the row cache on and off: the rows of the run before the current one when it was
// reached from the start, those after it when reached from the end; a row that differs, first
// and last start the count again.
TEST_P(LiveBrowseFetch, EqualRowsAreCountedAsTheyAreRead) {
  CHostRecordDescription* desc = Keyless("(2, 'r'), (1, 'p'), (2, 'q'), (1, 'p'), (2, 'r'), (1, 'p')");
  struct Step {
    eNA_PARSEDIRECTION dir;
    const char* row;
    int equal;
  };
  const std::vector<Step> forward = {{NA_PARSE_FIRST, "1|p", 0}, {NA_PARSE_NEXT, "1|p", 1}, {NA_PARSE_NEXT, "1|p", 2},
                                     {NA_PARSE_NEXT, "2|q", 0},  {NA_PARSE_NEXT, "2|r", 0}, {NA_PARSE_NEXT, "2|r", 1},
                                     {NA_PARSE_FIRST, "1|p", 0}};
  // Reached from the end, a row's rank counts the rows of its run after it: -(k + 1).
  const std::vector<Step> backward = {{NA_PARSE_LAST, "2|r", -1},     {NA_PARSE_PREVIOUS, "2|r", -2},
                                      {NA_PARSE_PREVIOUS, "2|q", -1}, {NA_PARSE_PREVIOUS, "1|p", -1},
                                      {NA_PARSE_PREVIOUS, "1|p", -2}, {NA_PARSE_PREVIOUS, "1|p", -3},
                                      {NA_PARSE_NEXT, "1|p", -2},     {NA_PARSE_LAST, "2|r", -1}};
  for (bool rowCache : {false, true}) {
    CMySQLConnection* cnx = Connect(nullptr);
    for (const auto* steps : {&forward, &backward}) {
      CBrowseAccess* a = Open(desc, cnx, {rowCache, true});
      for (size_t i = 0; i < steps->size(); ++i) {
        const Step& st = (*steps)[i];
        ASSERT_TRUE(a->bHLitxxx(L"x", st.dir, 1, kNoLock, nullptr, rowCache ? 0u : static_cast<unsigned int>(kNoRowCache)))
            << Utf8(m_error.pszGetError());
        EXPECT_EQ(Text(Values(a, {L"x", L"s"})), st.row) << "step " << i << (rowCache ? ", row cache" : "");
        EXPECT_EQ(a->pclGetCurrentRecordNoRef()->nGetEqualRows(), st.equal) << "step " << i << (rowCache ? ", row cache" : "");
      }
    }
  }
}

// Once last has read the whole result into the row cache, previous reads come from the cache:
// no SELECT and no row fetched from the result.
TEST_P(LiveBrowseFetch, PreviousAfterLastComesFromTheRowCache) {
  CHostRecordDescription* desc = Numbers(60);
  ASSERT_FALSE(HasFatalFailure());
  CBrowseAccess* a = Open(desc, Connect("-1"), {true, true});
  ASSERT_EQ(Read(a, L"id", NA_PARSE_FIRST, 0), "1");
  ASSERT_EQ(Read(a, L"id", NA_PARSE_LAST, kReuse), "60") << Sent();
  CNAStatement* st = Statement(a, L"id");
  ASSERT_NE(st, nullptr);
  EXPECT_TRUE(st->bCacheCompleted());
  const int queries = ClientCounts::nQueries, fetches = ClientCounts::nFetches;
  std::string ids;
  for (std::string id = Read(a, L"id", NA_PARSE_PREVIOUS, 0); !id.empty() && ids.size() < 400;
       id = Read(a, L"id", NA_PARSE_PREVIOUS, 0))
    ids += id + ",";
  EXPECT_EQ(ids.substr(0, 9), "59,58,57,");
  EXPECT_EQ(ids.size(), 59u * 3u - 9u * 1u);
  EXPECT_EQ(ClientCounts::nQueries, queries) << Sent();
  EXPECT_EQ(ClientCounts::nFetches, fetches);
}

// A read back into the rows from past an end is a move in the open result: when that result
// holds the whole selection it serves the read without a new SELECT.
TEST_P(LiveBrowseFetch, ComingBackFromAnEndRunsNoSelectWhenTheResultServesIt) {
  CHostRecordDescription* desc = Numbers(30);
  ASSERT_FALSE(HasFatalFailure());
  CMySQLConnection* whole = Connect("-1");
  const struct {
    bool rowCache;
    eNA_PARSEDIRECTION start, away, back;
    const char* id;
  } rows[] = {
      {true, NA_PARSE_FIRST, NA_PARSE_PREVIOUS, NA_PARSE_NEXT, "1"},
      {false, NA_PARSE_FIRST, NA_PARSE_PREVIOUS, NA_PARSE_NEXT, "1"},
      {true, NA_PARSE_LAST, NA_PARSE_NEXT, NA_PARSE_PREVIOUS, "30"},
      {false, NA_PARSE_LAST, NA_PARSE_NEXT, NA_PARSE_PREVIOUS, "30"},
  };
  for (const auto& row : rows) {
    const unsigned int flags = row.rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
    CBrowseAccess* a = Open(desc, whole, {row.rowCache, true});
    ASSERT_EQ(Read(a, L"id", row.start, flags), row.id);
    ASSERT_EQ(Read(a, L"id", row.away, flags), "");
    const int queries = ClientCounts::nQueries;
    EXPECT_EQ(Read(a, L"id", row.back, flags), row.id) << (row.rowCache ? "row cache" : "");
    EXPECT_EQ(ClientCounts::nQueries, queries) << (row.rowCache ? "row cache" : "") << Sent();
  }
}

// Skips of at least the record limit land on the row they name: the first SELECT reads a
// small block and the server passes over the rest; a skip past the end leaves the rows on that
// side.
TEST_P(LiveBrowseFetch, LongSkipsLandOnTheRowTheyName) {
  CHostRecordDescription* desc = Numbers(600);
  ASSERT_FALSE(HasFatalFailure());
  const struct {
    const char* cache;
    bool rowCache;
    eNA_PARSEDIRECTION start;  // first, last, or a read of row 7 (next) or 550 (previous) first
    long long count;
    const char* id;
    const char* back;  // the read back the other way after it
  } rows[] = {
      {nullptr, false, NA_PARSE_FIRST, 500, "500", "499"},
      {"15", false, NA_PARSE_FIRST, 50, "50", "49"},
      {nullptr, false, NA_PARSE_LAST, 500, "101", "102"},
      {"15", false, NA_PARSE_LAST, 50, "551", "552"},
      {nullptr, false, NA_PARSE_NEXT, 300, "307", "306"},
      {nullptr, false, NA_PARSE_PREVIOUS, 520, "30", "31"},
      {nullptr, false, NA_PARSE_FIRST, 700, "", "600"},
      {nullptr, false, NA_PARSE_LAST, 601, "", "1"},
      {"15", false, NA_PARSE_NEXT, 593, "600", "599"},
      {"15", false, NA_PARSE_NEXT, 594, "", "600"},
      {"3", false, NA_PARSE_FIRST, 3, "3", "2"},
      {nullptr, false, NA_PARSE_FIRST, 100, "100", "99"},
      {"3", false, NA_PARSE_LAST, 4, "597", "598"},
      {"700", false, NA_PARSE_FIRST, 800, "", "600"},
      {"700", false, NA_PARSE_LAST, 700, "", "1"},
      {nullptr, true, NA_PARSE_FIRST, 500, "500", "499"},
      {"15", true, NA_PARSE_FIRST, 50, "50", "49"},
      {nullptr, true, NA_PARSE_NEXT, 300, "307", "306"},
      {nullptr, true, NA_PARSE_LAST, 500, "101", "102"},
      {"15", true, NA_PARSE_PREVIOUS, 520, "30", "31"},
      {"15", true, NA_PARSE_FIRST, 700, "", "600"},
  };
  for (const auto& row : rows) {
    const std::string where = std::string("cache ") + (row.cache != nullptr ? row.cache : "unset") +
                              (row.rowCache ? ", row cache" : "") + ", skip " + std::to_string(row.count) + " from " +
                              std::to_string(row.start);
    const unsigned int flags = row.rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
    CBrowseAccess* a = Open(desc, Connect(row.cache), {row.rowCache, true});
    eNA_PARSEDIRECTION dir = row.start;
    if (dir == NA_PARSE_NEXT) {
      ASSERT_EQ(Read(a, L"id", NA_PARSE_FIRST, flags, 7), "7") << where;
    }
    if (dir == NA_PARSE_PREVIOUS) {
      ASSERT_EQ(Read(a, L"id", NA_PARSE_LAST, flags, 51), "550") << where;
    }
    ClientCounts::Reset();
    EXPECT_EQ(Read(a, L"id", dir, flags, row.count), row.id) << where << Sent();
    // Without a row cache the server passes over the rows skipped; a row cache keeps every row
    // passed, read in limited blocks.
    // (one more SELECT when the skip runs past the rows, to count those it passed).
    if (!row.rowCache) {
      EXPECT_LE(Selects(), *row.id != 0 ? 2 : 3) << where << Sent();
      // A skip past a whole further block is the server's.
      const std::string limit = row.cache != nullptr ? row.cache : "100";
      const std::string offset = ", " + limit;
      EXPECT_EQ(std::any_of(ClientCounts::tabSent.begin(), ClientCounts::tabSent.end(),
                            [&](const std::string& t) { return t.find(offset) != std::string::npos; }),
                row.count >= 2 * std::stoll(limit))
          << where << Sent();
    } else {
      for (const std::string& t : ClientCounts::tabSent) EXPECT_NE(t.find(" LIMIT "), std::string::npos) << where << t;
    }
    const bool forward = dir == NA_PARSE_FIRST || dir == NA_PARSE_NEXT;
    EXPECT_EQ(Read(a, L"id", forward ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, flags), row.back) << where << Sent();
  }
}

// Long skips on an item with duplicates land where the server's own order puts them: the
// server passes over rows after a value shared by many rows, in blocks of 15 and of 100, either
// way, from either end and from a row inside a run of equal values.
TEST_P(LiveBrowseFetch, LongSkipsOnDuplicatesLandWhereTheServersOrderSays) {
  CHostRecordDescription* desc = Numbers(600);
  ASSERT_FALSE(HasFatalFailure());
  std::vector<std::string> up, down;
  for (const auto& [text, out] : {std::pair{ServerOrder("d", false), &up}, std::pair{ServerOrder("d", true), &down}})
    for (size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 1) {
      bar = text.find('|', at);
      out->push_back(text.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
    }
  ASSERT_EQ(up.size(), 600u);
  const struct {
    const char* cache;
    eNA_PARSEDIRECTION dir;  // first, last; next from the 130th row, previous from the 470th
    long long count;
    long long landing;  // 1-based, in the order read; 0: out
  } rows[] = {
      {nullptr, NA_PARSE_FIRST, 500, 500}, {"15", NA_PARSE_FIRST, 50, 50},   {nullptr, NA_PARSE_LAST, 333, 333},
      {"15", NA_PARSE_LAST, 77, 77},       {nullptr, NA_PARSE_NEXT, 300, 430}, {"15", NA_PARSE_NEXT, 140, 270},
      {"15", NA_PARSE_PREVIOUS, 200, 270}, {nullptr, NA_PARSE_NEXT, 471, 0},  {"15", NA_PARSE_NEXT, 470, 600},
  };
  for (const auto& row : rows) {
    const std::string where = std::string("cache ") + (row.cache != nullptr ? row.cache : "unset") + ", skip " +
                              std::to_string(row.count) + " from " + std::to_string(row.dir);
    CBrowseAccess* a = Open(desc, Connect(row.cache));
    const bool backward = row.dir == NA_PARSE_LAST;
    if (row.dir == NA_PARSE_NEXT) {
      ASSERT_EQ(Read(a, L"d", NA_PARSE_FIRST, kNoRowCache, 130), up[129]) << where;
    }
    if (row.dir == NA_PARSE_PREVIOUS) {
      ASSERT_EQ(Read(a, L"d", NA_PARSE_FIRST, kNoRowCache, 470), up[469]) << where;
    }
    const std::string want = row.landing == 0 ? "" : (backward ? down : up)[static_cast<size_t>(row.landing - 1)];
    EXPECT_EQ(Read(a, L"d", row.dir, kNoRowCache, row.count), want) << where << Sent();
  }
}

// The statement's move tells how many rows it really passed, also when further blocks and the
// server's skipping share the move, and when the move runs out of rows (up to the last row).
TEST_P(LiveBrowseFetch, MoveCountsOnlyTheRowsReallyPassed) {
  CHostRecordDescription* desc = Numbers(100);
  ASSERT_FALSE(HasFatalFailure());
  const struct {
    const char* cache;
    eNA_PARSEDIRECTION dir;
    long long count;
    long long moved;
    const char* id;
  } rows[] = {
      {"15", NA_PARSE_NEXT, 40, 40, "81"},      {"15", NA_PARSE_NEXT, 59, 59, "100"},
      {"15", NA_PARSE_NEXT, 60, 59, ""},        {"15", NA_PARSE_NEXT, 500, 59, ""},
      {"15", NA_PARSE_PREVIOUS, 30, 30, "11"},  {"15", NA_PARSE_PREVIOUS, 40, 40, "1"},
      {"15", NA_PARSE_PREVIOUS, 41, 40, ""},    {nullptr, NA_PARSE_NEXT, 59, 59, "100"},
      {"3", NA_PARSE_NEXT, 25, 25, "66"},       {"3", NA_PARSE_PREVIOUS, 25, 25, "16"},
  };
  for (const auto& row : rows) {
    const std::string where = std::string("cache ") + (row.cache != nullptr ? row.cache : "unset") + ", move " +
                              std::to_string(row.count) + (row.dir == NA_PARSE_NEXT ? " on" : " back");
    CBrowseAccess* a = Open(desc, Connect(row.cache), {false, true});
    ASSERT_EQ(Read(a, L"id", NA_PARSE_FIRST, kNoRowCache, 41), "41") << where;
    CNAStatement* st = Statement(a, L"id");
    ASSERT_NE(st, nullptr);
    long long moved = -1;
    ClientCounts::Reset();
    ASSERT_TRUE(st->bFetch(row.dir, 1, row.count, &moved)) << where << Utf8(m_error.pszGetError());
    EXPECT_EQ(moved, row.moved) << where << Sent();
    EXPECT_EQ(Out(a, L"id") != 0 ? "" : Text(Values(a, {L"id"})), row.id) << where << Sent();
  }
}

// A browse is read in limited blocks only when its rows are told apart by values the host holds
// exactly (a further block starts after a literal of the value read): not on an R4 or R8 item,
// nor on an item over a FLOAT or DOUBLE column, nor on one that drops the column's fractions of
// seconds, its time of day, the fraction of its numbers or the end of its texts (which made a
// further block start again at the same rows for ever); a non-unique item only when the best
// browse item is unique and no R4 or R8 item comes before it. Limited or not, every row is read
// once.
TEST_P(LiveBrowseFetch, RecordLimitOnlyWhereTheHostHoldsTheValuesExactly) {
  const std::wstring table = Name(L"qx brw`limit ");
  Raw("CREATE TABLE " + Quoted(table) +
      " (id INT PRIMARY KEY, r DOUBLE NULL UNIQUE, n INT NULL, t6 DATETIME(6) NULL UNIQUE, t3 DATETIME(3) NULL UNIQUE,"
      " dd DOUBLE NULL UNIQUE, day DATETIME NULL UNIQUE, q DECIMAL(10,2) NULL UNIQUE,"
      " c DECIMAL(10,2) NULL UNIQUE, w VARCHAR(12) NULL UNIQUE,"
      " x VARCHAR(4) NULL UNIQUE, KEY (n))");
  Raw("INSERT INTO " + Quoted(table) +
      " SELECT seq, seq / 3, seq % 4, '2020-01-01 00:00:00' + INTERVAL seq MICROSECOND,"
      " '2020-01-01 00:00:00' + INTERVAL seq * 1000 MICROSECOND, seq / 10, '2020-01-01' + INTERVAL seq HOUR, seq / 4, seq / 4, CONCAT('wwww', LPAD(seq, 3, '0')), CONCAT('x', seq)"
      " FROM seq_1_to_12");
  enum Shape { kIdFirst, kRealFirst, kNoUniqueBest };
  auto describe = [&](Shape shape) {
    CHostRecordDescription* desc = Description(table);
    if (shape == kRealFirst) Item(desc, L"r", NA_IT_R8, 8, kUnique);
    CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, shape == kNoUniqueBest ? kDuplicates : kPrimary);
    id->m_bNullAllowed = FALSE;
    if (shape != kRealFirst) Item(desc, L"r", NA_IT_R8, 8, kUnique);
    CHostItemDescription* n = Item(desc, L"n", NA_IT_I4, 4, kDuplicates);
    Item(desc, L"t6", NA_IT_DATETIME, 8, kUnique);
    Item(desc, L"t3", NA_IT_DATETIME, 8, kUnique);
    Item(desc, L"dd", NA_IT_TEXTE, 21, kUnique);
    Item(desc, L"day", NA_IT_DATE8, 9, kUnique);
    Item(desc, L"q", NA_IT_I4, 4, kUnique);
    Item(desc, L"c", NA_IT_MONETAIRE, 10, kUnique);
    Item(desc, L"w", NA_IT_TEXTE, 5, kUnique);
    Item(desc, L"x", NA_IT_TEXTE, 5, kUnique);
    desc->m_pBestParseItem = shape == kNoUniqueBest ? n : id;
    return desc;
  };
  CHostRecordDescription* shapes[] = {describe(kIdFirst), describe(kRealFirst), describe(kNoUniqueBest)};
  const struct {
    Shape shape;
    const wchar_t* item;
    bool limited;
  } rows[] = {
      {kIdFirst, L"id", true},      {kIdFirst, L"r", false},       {kIdFirst, L"n", true},
      {kIdFirst, L"t6", false},     {kIdFirst, L"t3", true},       {kIdFirst, L"dd", false},
      {kIdFirst, L"day", false},    {kIdFirst, L"q", false},       {kIdFirst, L"c", true},
      {kIdFirst, L"w", false},      {kIdFirst, L"x", true},        {kRealFirst, L"id", true},
      {kRealFirst, L"n", false},    {kNoUniqueBest, L"n", false},  {kNoUniqueBest, L"id", false},
  };
  CMySQLConnection* cnx = Connect("3");
  for (const auto& row : rows) {
    const std::string where = "item " + Utf8(row.item) + " of description " + std::to_string(row.shape);
    CBrowseAccess* a = Open(shapes[row.shape], cnx);
    ClientCounts::Reset();
    std::vector<int> seen(13, 0);
    int reads = 0;
    for (std::string id = Read(a, row.item, NA_PARSE_FIRST, kNoRowCache); !id.empty() && reads < 40;
         id = Read(a, row.item, NA_PARSE_NEXT, kNoRowCache), ++reads) {
      ASSERT_EQ(id.find("failed"), std::string::npos) << where << ": " << id << Sent();
      ++seen[static_cast<size_t>(std::clamp(std::atoi(id.c_str()), 0, 12))];
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), 12) << where << Sent();
    const std::string first = ClientCounts::tabSent.empty() ? "" : ClientCounts::tabSent.front();
    EXPECT_EQ(first.find(" LIMIT 3") != std::string::npos, row.limited) << where << Sent();
  }
}

// A browse rebuilt (after a transaction end) on a table without a key is put back on the very
// row of a run of equal rows it stood on: the last row of the table is the last of its run.
TEST_P(LiveBrowseFetch, RebuiltBrowseOnTheLastOfEqualRowsStaysOnIt) {
  CHostRecordDescription* desc = Keyless("(2, 'r'), (1, 'p'), (2, 'q'), (2, 'r')");
  const struct {
    eNA_PARSEDIRECTION start;
    int before;  // previous reads before the transaction end
    std::vector<const char*> after;  // rows read by previous after it
  } rows[] = {
      {NA_PARSE_LAST, 0, {"2|r", "2|q", "1|p"}},
      {NA_PARSE_LAST, 1, {"2|q", "1|p"}},
      {NA_PARSE_FIRST, 0, {""}},
  };
  for (bool rowCache : {false, true}) {
    const unsigned int flags = rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
    for (const auto& row : rows) {
      CBrowseAccess* a = Open(desc, Connect(nullptr), {rowCache, true});
      ASSERT_TRUE(a->bHLitxxx(L"x", row.start, 1, kNoLock, nullptr, flags));
      for (int i = 0; i < row.before; ++i) ASSERT_TRUE(a->bHLitxxx(L"x", NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, flags));
      a->SetTransactionTermined();
      for (size_t i = 0; i < row.after.size(); ++i) {
        ASSERT_TRUE(a->bHLitxxx(L"x", NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, flags)) << Utf8(m_error.pszGetError());
        EXPECT_EQ(Out(a, L"x") != 0 ? "" : Text(Values(a, {L"x", L"s"})), row.after[i])
            << "from " << row.start << " and " << row.before << " back, read " << i << (rowCache ? ", row cache" : "")
            << Sent();
      }
    }
  }
}

// A re-read with a record save held keeps the save's count as it was, whether the read fails
// before it fetches (a record number other than 0), reads the row or finds it gone; the save
// stays the one held.
TEST_P(LiveBrowseFetch, RereadWithARecordSaveHeldKeepsTheSavesCount) {
  CHostRecordDescription* desc = Numbers(5);
  ASSERT_FALSE(HasFatalFailure());
  const struct {
    long long number;
    bool gone;
    BOOL ok;
    unsigned int error;
  } rows[] = {{5, false, FALSE, 18}, {0, false, TRUE, 0}, {0, true, TRUE, 0}};
  for (const auto& row : rows) {
    const std::string where = "record " + std::to_string(row.number) + (row.gone ? ", row gone" : "");
    CBrowseAccess* a = Open(desc, Connect(nullptr));
    ASSERT_EQ(Read(a, L"id", NA_PARSE_FIRST, 0, 3), "3") << where;
    const int id = a->nKeepCurrentRecordSave();
    ASSERT_NE(id, -1);
    a->AddRefRecordSave(id);
    a->_SetRecordSaveID(id);
    auto count = [&] {
      a->AddRefRecordSave(id);
      return a->nReleaseRecordSave(id);
    };
    const int before = count();
    if (row.gone) Raw("DELETE FROM " + Quoted(m_table) + " WHERE id = 3");
    m_error.Reset();
    EXPECT_EQ(a->bHLit(row.number, kNoLock, nullptr), row.ok) << where << Utf8(m_error.pszGetError());
    EXPECT_EQ(m_error.dwGetErrorId(), row.error) << where;
    EXPECT_EQ(count(), before) << where;
    EXPECT_EQ(a->nGetRecordSaveID(), id) << where;
    if (row.gone) {
      unsigned int state = 0;
      EXPECT_TRUE(a->bGetRecNumState(0, &state));
      EXPECT_EQ(state, 128u) << where;
      Raw("INSERT INTO " + Quoted(m_table) + " VALUES (3, 997, 'a ', NULL)");
    }
    a->_SetRecordSaveID(-1);
    a->nReleaseRecordSave(id);
  }
}

// A count of the rows equal to the browse's own last row, and a rebuild among equal rows, lend a
// row to the current record for the time of their search: the record gets what the host had put
// in it back even when the count throws, and the counting statement keeps no search of it.
TEST_P(LiveBrowseFetch, RecordLentForACountComesBackWhenTheCountThrows) {
  CHostRecordDescription* desc = Numbers(10);
  ASSERT_FALSE(HasFatalFailure());
  auto* a = new CThrowingCountAccess(desc, Connect(nullptr), &m_error);
  a->AddRef();
  m_accesses.push_back(a);
  ASSERT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
  ASSERT_EQ(Read(a, L"id", NA_PARSE_FIRST, 0, 3), "3");
  const CAny edited = FromText(ZV_I4, L"-5");
  ASSERT_TRUE(a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(L"v")->bSetValue(&edited, 0));
  long long n = -1;
  EXPECT_THROW(a->bGetNbEnr(&n, 16, 0, Statement(a, L"id"), NA_PARSE_CURRENT), std::runtime_error);
  EXPECT_EQ(Text(Values(a, {L"id", L"v"})), "3|-5");
  CNAStatement* counter = Statement(a, L"");
  ASSERT_NE(counter, nullptr);
  EXPECT_FALSE(counter->bExistRechercheObject());
  // A rebuild among equal rows counts them: the record lent for the search comes back too.
  const std::wstring table = Name(L"qx brw`throw ");
  Raw("CREATE TABLE " + Quoted(table) + " (x INT NULL, v INT NULL)");
  Raw("INSERT INTO " + Quoted(table) + " VALUES (1, 1), (1, 1), (1, 1)");
  CHostRecordDescription* bare = Description(table);
  Item(bare, L"x", NA_IT_I4, 4, kDuplicates);
  Item(bare, L"v", NA_IT_I4, 4);
  auto* b = new CThrowingCountAccess(bare, Connect(nullptr), &m_error);
  b->AddRef();
  m_accesses.push_back(b);
  ASSERT_TRUE(b->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
  ASSERT_NE(Read(b, L"x", NA_PARSE_FIRST, kNoRowCache, 2), "");
  b->SetTransactionTermined();
  ASSERT_TRUE(b->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(L"v")->bSetValue(&edited, 0));
  EXPECT_THROW(b->bHLitxxx(L"x", NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, kNoRowCache), std::runtime_error);
  EXPECT_EQ(Text(Values(b, {L"x", L"v"})), "1|-5");
}

// A browse rebuilt (after a transaction end) on the third of five rows equal on its browse item
// stays on that row and moves from it: a move by no row reads it again, moves inside the run
// read its other rows, longer moves leave the run either way. The third row is reached from the
// start and from the end, in blocks and whole, with the row cache on and off; the rows equal on
// the item are told apart by a unique key, or, on a table without one whose five rows are the
// same bytes, only by their rank.
TEST_P(LiveBrowseFetch, RebuiltBrowseKeepsItsRankAmongFiveEqualRows) {
  const std::wstring keyed = Name(L"qx brw`five ");
  Raw("CREATE TABLE " + Quoted(keyed) +
      " (id INT PRIMARY KEY, d VARCHAR(8) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL, KEY (d))");
  Raw("INSERT INTO " + Quoted(keyed) +
      " VALUES (1, 'a'), (2, 'b'), (3, 'c'), (10, 'm'), (11, 'M'), (12, 'm '), (13, 'm'), (14, 'M '), (20, 'x'),"
      " (21, 'y'), (22, 'z')");
  CHostRecordDescription* keyedDesc = Description(keyed);
  CHostItemDescription* id = Item(keyedDesc, L"id", NA_IT_I4, 4, kPrimary);
  id->m_bNullAllowed = FALSE;
  Item(keyedDesc, L"d", NA_IT_TEXTE, 9, kDuplicates);
  keyedDesc->m_pBestParseItem = id;
  CHostRecordDescription* bareDesc = Keyless(
      "(5, 'r'), (1, 'a'), (9, 'z'), (5, 'r'), (1, 'c'), (5, 'r'), (9, 'x'), (5, 'r'), (1, 'b'), (5, 'r'), (9, 'y')");
  struct Move {
    eNA_PARSEDIRECTION dir;
    long long count;
    const char* row;
  };
  const struct {
    CHostRecordDescription* desc;
    const wchar_t* item;
    std::vector<const wchar_t*> columns;
    const char* third;
    std::vector<Move> moves;
  } shapes[] = {
      {keyedDesc,
       L"d",
       {L"id"},
       "12",
       {{NA_PARSE_NEXT, 0, "12"}, {NA_PARSE_PREVIOUS, 1, "11"}, {NA_PARSE_PREVIOUS, 2, "10"}, {NA_PARSE_PREVIOUS, 3, "3"},
        {NA_PARSE_PREVIOUS, 4, "2"}, {NA_PARSE_NEXT, 1, "13"}, {NA_PARSE_NEXT, 2, "14"}, {NA_PARSE_NEXT, 3, "20"},
        {NA_PARSE_NEXT, 5, "22"}, {NA_PARSE_NEXT, 6, ""}, {NA_PARSE_PREVIOUS, 6, ""}}},
      {bareDesc,
       L"x",
       {L"x", L"s"},
       "5|r",
       {{NA_PARSE_NEXT, 0, "5|r"}, {NA_PARSE_PREVIOUS, 1, "5|r"}, {NA_PARSE_PREVIOUS, 2, "5|r"},
        {NA_PARSE_PREVIOUS, 3, "1|c"}, {NA_PARSE_PREVIOUS, 4, "1|b"}, {NA_PARSE_NEXT, 1, "5|r"},
        {NA_PARSE_NEXT, 2, "5|r"}, {NA_PARSE_NEXT, 3, "9|x"}, {NA_PARSE_NEXT, 5, "9|z"}, {NA_PARSE_NEXT, 6, ""},
        {NA_PARSE_PREVIOUS, 6, ""}, {NA_PARSE_PREVIOUS, 5, "1|a"}}},
  };
  for (const char* cache : {static_cast<const char*>(nullptr), "3"}) {
    CMySQLConnection* cnx = Connect(cache);
    for (const auto& shape : shapes) {
      for (bool rowCache : {false, true}) {
        const unsigned int flags = rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
        for (int reach = 0; reach < 4; ++reach) {
          // From the start or the end, row by row or in one skip.
          const bool fromEnd = (reach & 1) != 0, rowByRow = (reach & 2) != 0;
          for (const Move& move : shape.moves) {
            const std::string where = "item " + Utf8(shape.item) + ", cache " + (cache != nullptr ? cache : "unset") +
                                      (rowCache ? ", row cache" : "") + (fromEnd ? ", from the end" : "") +
                                      (rowByRow ? " row by row" : " in one skip") + ", move " +
                                      std::to_string(move.count) + (move.dir == NA_PARSE_NEXT ? " on" : " back");
            CBrowseAccess* a = Open(shape.desc, cnx, {rowCache, true});
            if (rowByRow) {
              ASSERT_NE(Read(a, shape.item, fromEnd ? NA_PARSE_LAST : NA_PARSE_FIRST, flags), "") << where;
              for (int i = 0; i < 5; ++i)
                ASSERT_NE(Read(a, shape.item, fromEnd ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, flags), "") << where;
            } else {
              ASSERT_NE(Read(a, shape.item, fromEnd ? NA_PARSE_LAST : NA_PARSE_FIRST, flags, 6), "") << where;
            }
            ASSERT_EQ(Text(Values(a, shape.columns)), shape.third) << where;
            a->SetTransactionTermined();
            ClientCounts::Reset();
            const BOOL ok = a->bSkipRecord(shape.item, move.dir, move.count, 1, kNoLock, nullptr, flags);
            EXPECT_TRUE(ok) << where << ": " << Utf8(m_error.pszGetError());
            EXPECT_EQ(!ok || Out(a, shape.item) != 0 ? "" : Text(Values(a, shape.columns)), move.row) << where << Sent();
          }
        }
      }
    }
  }
}

// A data access whose record locks of kinds 2 and 3 are refused, as a backend's are when another
// session holds the row.
class CRefusedLockAccess final : public CMySQLDataAccess {
 public:
  using CMySQLDataAccess::CMySQLDataAccess;
  CNAStatement* _pclAllocStatement(CNADataAccess* access, CNAError* error) override {
    return new (std::nothrow) CBrowseStatement(access, error, &m_knobs);
  }
  BOOL bLockUnlockRecord(CNAStatement* stmt, eNA_LOCKTYPE lock, long long n, eNA_LOCKTYPE* out) override {
    if (lock == 2 || lock == 3) return FALSE;
    return CMySQLDataAccess::bLockUnlockRecord(stmt, lock, n, out);
  }
  BrowseKnobs m_knobs;
};

std::vector<std::string> Split(const std::string& ids) {
  std::vector<std::string> out;
  for (size_t at = 0; at <= ids.size();) {
    const size_t bar = std::min(ids.find('|', at), ids.size());
    out.push_back(ids.substr(at, bar - at));
    at = bar + 1;
  }
  return out;
}

// A record lock refused after a move leaves the browse, and the record, on the row it stood on:
// the next read goes on from there, in blocks or whole, with the row cache on or off, either way.
TEST_P(LiveBrowseFetch, RefusedLockPutsTheBrowseBackOnItsRow) {
  CHostRecordDescription* desc = Numbers(20);
  ASSERT_FALSE(HasFatalFailure());
  const struct {
    const char* cache;
    bool rowCache;
    const wchar_t* item;
    bool backward;  // from the last row by previous reads
    int lock;
    int reads;  // reads before the refused one
  } rows[] = {
      {nullptr, false, L"id", false, 2, 2}, {nullptr, true, L"id", false, 3, 2}, {"-1", false, L"d", false, 2, 5},
      {"-1", true, L"d", true, 3, 4},       {"4", false, L"id", false, 2, 2},   {"4", true, L"d", false, 3, 3},
      {"4", false, L"d", true, 2, 2},       {"4", false, L"id", false, 2, 4},   {"4", true, L"d", false, 3, 4},
      {"4", false, L"d", true, 3, 4},
  };
  for (const auto& row : rows) {
    const std::string where = std::string("cache ") + (row.cache != nullptr ? row.cache : "unset") +
                              (row.rowCache ? ", row cache" : "") + ", item " + Utf8(row.item) +
                              (row.backward ? ", backward" : "") + ", lock " + std::to_string(row.lock);
    std::vector<std::string> order = Split(ServerOrder(Utf8(row.item).c_str(), row.backward));
    const unsigned int flags = row.rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
    auto* a = new CRefusedLockAccess(desc, Connect(row.cache), &m_error);
    a->AddRef();
    a->m_knobs = {row.rowCache, true};
    m_accesses.push_back(a);
    ASSERT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
    const eNA_PARSEDIRECTION step = row.backward ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT;
    std::string id = Read(a, row.item, row.backward ? NA_PARSE_LAST : NA_PARSE_FIRST, flags);
    for (int i = 1; i < row.reads; ++i) id = Read(a, row.item, step, flags);
    ASSERT_EQ(id, order[static_cast<size_t>(row.reads - 1)]) << where;
    eNA_LOCKTYPE out{0};
    EXPECT_FALSE(a->bHLitxxx(row.item, step, 1, eNA_LOCKTYPE{row.lock}, &out, flags)) << where;
    EXPECT_EQ(Text(Values(a, {L"id"})), id) << where;
    m_error.Reset();
    EXPECT_EQ(Read(a, row.item, step, flags), order[static_cast<size_t>(row.reads)]) << where << Sent();
    EXPECT_EQ(Read(a, row.item, step, flags), order[static_cast<size_t>(row.reads + 1)]) << where << Sent();
  }
}

// A first or last read that may reuse the open result runs the SELECT again when the result was
// opened on the default item and the read asks for its own item, or the other way round: the two
// are not in the same order. Under the same choice the result serves it.
TEST_P(LiveBrowseFetch, ReuseAcrossTheDefaultItemRunsTheSelectAgain) {
  CHostRecordDescription* desc = Numbers(20);
  ASSERT_FALSE(HasFatalFailure());
  const unsigned int kDefault = 0x20000;
  const std::string byD = Split(ServerOrder("d", false)).back();
  const std::string unordered = Split(Rows("SELECT id, v FROM " + Quoted(m_table), true)).back();
  ASSERT_NE(byD, unordered);
  const struct {
    unsigned int opened, read;
    const std::string& id;
    bool select;
  } rows[] = {
      {0, kReuse | kDefault, unordered, true},
      {kDefault, kReuse, byD, true},
      {0, kReuse, byD, false},
      {kDefault, kReuse | kDefault, unordered, false},
  };
  CMySQLConnection* cnx = Connect("-1");
  for (const auto& row : rows) {
    const std::string where = "opened " + std::to_string(row.opened) + ", read " + std::to_string(row.read);
    CBrowseAccess* a = Open(desc, cnx, {false, true});
    ASSERT_NE(Read(a, L"d", NA_PARSE_FIRST, row.opened | kNoRowCache), "") << where;
    const int selects = Selects();
    EXPECT_EQ(Read(a, L"d", NA_PARSE_LAST, row.read | kNoRowCache), row.id) << where << Sent();
    EXPECT_EQ(Selects() - selects, row.select ? 1 : 0) << where << Sent();
  }
}

// Each further block's SELECT goes on past the row the block before ended on, in the way of the
// move, under the filter in force: also when the SELECT of the block before serves again with a
// new literal, and when a seek, a filter, a turn of direction or another item come between.
TEST_P(LiveBrowseFetch, FurtherBlocksGoOnPastTheRowTheLastBlockEndedOn) {
  CHostRecordDescription* desc = Numbers(40);
  ASSERT_FALSE(HasFatalFailure());
  CMySQLConnection* cnx = Connect("3");
  CBrowseAccess* a = Open(desc, cnx, {false, true});
  const CAny low = FromText(ZV_I4, L"5"), high = FromText(ZV_I4, L"30"), sought = FromText(ZV_I4, L"20");
  const struct {
    char op;  // f first, l last, n next, p previous, s seek id 20, F filter on id 5..30, U filter off, d next on d
    int times;
    const char* ids;  // the ids read, "|" between
  } steps[] = {
      {'f', 1, "1"},  {'n', 7, "2|3|4|5|6|7|8"}, {'p', 5, "7|6|5|4|3"}, {'n', 4, "4|5|6|7"},
      {'s', 1, "20"}, {'n', 4, "21|22|23|24"},   {'p', 6, "23|22|21|20|19|18"}, {'F', 1, ""},
      {'n', 4, "19|20|21|22"}, {'U', 1, ""},     {'n', 3, "23|24|25"},           {'d', 1, ""},
      {'n', 3, "2|3|4"},       {'l', 1, "40"},   {'p', 4, "39|38|37|36"},        {'F', 1, ""},
      {'p', 4, "30|29|28|27"},
  };
  std::string last = "1";
  bool filtered = false;
  for (size_t k = 0; k < std::size(steps); ++k) {
    const auto& step = steps[k];
    const std::string where = "step " + std::to_string(k);
    if (step.op == 'F' || step.op == 'U') {
      EXPECT_TRUE(step.op == 'F' ? a->bHFiltre(L"id", &low, 1, &high, 1, nullptr) : a->bHDesactiveFiltre(L"id"))
          << where;
      filtered = step.op == 'F';
      continue;
    }
    if (step.op == 'd') {
      last = Read(a, L"d", NA_PARSE_FIRST, kNoRowCache);
      EXPECT_EQ(last, "1") << where;
      EXPECT_TRUE(a->bHChangeCle(L"id", 0)) << where;
      continue;
    }
    std::string ids;
    for (int i = 0; i < step.times; ++i) {
      ClientCounts::tabSent.clear();
      std::string id;
      if (step.op == 's') {
        EXPECT_TRUE(a->bHRecherche(L"id", &sought, 0, 1, kNoLock, nullptr, 1, kNoRowCache)) << where;
        id = Out(a, L"id") != 0 ? "" : Text(Values(a, {L"id"}));
      } else {
        const eNA_PARSEDIRECTION dir = step.op == 'f'   ? NA_PARSE_FIRST
                                       : step.op == 'l' ? NA_PARSE_LAST
                                       : step.op == 'n' ? NA_PARSE_NEXT
                                                        : NA_PARSE_PREVIOUS;
        id = Read(a, L"id", dir, kNoRowCache);
      }
      ids += (ids.empty() ? "" : "|") + id;
      // A block that goes on names the row it goes on past, the way of the move and the filter.
      for (const std::string& text : ClientCounts::tabSent) {
        if (step.op != 'n' && step.op != 'p') continue;
        const std::string past = step.op == 'n' ? "`id`>" + last + " " : "`id`<" + last + " ";
        EXPECT_NE(text.find(past), std::string::npos) << where << ": " << text;
        EXPECT_EQ(text.find(" DESC") != std::string::npos, step.op == 'p') << where << ": " << text;
        EXPECT_EQ(text.find("`id`>=5") != std::string::npos, filtered) << where << ": " << text;
      }
      last = id;
    }
    EXPECT_EQ(ids, step.ids) << where << Sent();
  }
}

// The value a command asks for, read from the first column of its first row: on a browse
// statement and on the record-number statement, which is reset afterwards; a refused text and a
// text without rows answer FALSE, the refusal with the server's error.
TEST_P(LiveBrowseFetch, RequestedValueIsTheFirstColumnOfTheFirstRow) {
  CHostRecordDescription* desc = Numbers(20);
  ASSERT_FALSE(HasFatalFailure());
  CBrowseAccess* a = Open(desc, Connect(nullptr), {true, true});
  ASSERT_EQ(Read(a, L"id", NA_PARSE_FIRST, 0), "1");
  const std::wstring table = Wide(Quoted(m_table));
  const struct {
    const char* name;
    bool browse;  // on the browse statement of id, else the record-number statement
    std::wstring sql;
    BOOL ok;
    std::string value;
    unsigned int serverError;
  } rows[] = {
      {"count", false, L"SELECT COUNT(*), 7 FROM " + table, TRUE, "20", 0},
      {"largest", true, L"SELECT MAX(v) FROM " + table + L" WHERE id > 3", TRUE, "996", 0},
      {"text", false, L"SELECT d FROM " + table + L" WHERE id = 2", TRUE, "a ", 0},
      {"NULL", true, L"SELECT u FROM " + table + L" WHERE id = 8", TRUE, "NULL", 0},
      {"no row", false, L"SELECT id FROM " + table + L" WHERE id > 99", FALSE, "", 0},
      {"refused", true, L"SELECT nothere FROM " + table, FALSE, "", 1054},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    m_error.Reset();
    CNACommand* cmd = a->pclAllocCommand(&m_error);
    ASSERT_NE(cmd, nullptr);
    cmd->AddRef();
    cmd->bComplete(row.sql.c_str());
    CAny value;
    CNAStatement* browse = Statement(a, L"id");
    const BOOL ok = row.browse ? a->_bGetRequestedValue(browse, &value, cmd) : a->_bGetRequestedValue(&value, cmd);
    cmd->nRelease();
    EXPECT_EQ(ok, row.ok) << Utf8(m_error.pszGetError());
    if (ok) {
      EXPECT_EQ(value.bIsNull() ? "NULL" : Utf8(Show(value)), row.value);
    }
    EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), row.serverError);
    if (!row.browse) {
      CNAStatement* numbered = Statement(a, L"");
      ASSERT_NE(numbered, nullptr);
      EXPECT_EQ(numbered->pclGetQueryNoRef(), nullptr);
    }
  }
}

// A host query browsed as a data access, its parsed form set directly with the host's query
// flags (4: sent as written), on statements whose row cache and backward reading the test sets.
class CQueryAccess final : public CMySQLDataAccess {
 public:
  using CMySQLDataAccess::CMySQLDataAccess;
  // query (a reference taken) is the source; the current record is made over the description.
  BOOL bSetQuery(CSQLParserInfo* query, unsigned int flags) {
    query->AddRef();
    m_pclSourceQuery = query;
    m_bSourceIsQuery = 1;
    m_dwQueryFlags = flags;
    return _bInitCurrentRecord();
  }
  CNAStatement* _pclAllocStatement(CNADataAccess* access, CNAError* error) override {
    return new (std::nothrow) CBrowseStatement(access, error, &m_knobs);
  }
  BrowseKnobs m_knobs;
};

class LiveBrowseQuery : public LiveBrowseFetch {
 protected:
  void TearDown() override {
    LiveBrowseFetch::TearDown();
    for (CNADataSourceDescription* d : m_queryDescs) d->nExternalRelease();
    for (CSQLParserInfo* q : m_queries) q->nRelease();
    EXPECT_EQ(CHostSQLParser::nLive(), m_nParserObjects) << "stand-in parser objects leaked";
  }
  // A table of n rows (id 1..n, v = 1000 - id) under a name a query sent as written can use.
  void Plain(int n) {
    m_plain = Name(L"qxnums");
    Raw("CREATE TABLE " + Quoted(m_plain) + " (id INT PRIMARY KEY, v INT NOT NULL)");
    Raw("INSERT INTO " + Quoted(m_plain) + " SELECT seq, 1000 - seq FROM seq_1_to_" + std::to_string(n));
  }
  // An access over text, where "nums" stands for the table of Plain, on cnx.
  CQueryAccess* Query(std::wstring text, unsigned int flags, CMySQLConnection* cnx, BrowseKnobs knobs) {
    text.replace(text.find(L"nums"), 4, m_plain);
    if (m_nums == nullptr) {
      m_nums = m_parses.Table(m_plain.c_str(), m_plain.c_str());
      m_nums->m_pszDBTableName = m_nums->m_pszPhysicalName;
      for (const wchar_t* name : {L"id", L"v"}) {
        CHostItemDescription* item = m_parses.Item(m_nums, name, NA_IT_I4, 4, *name == L'i' ? ParseBench::kPrimary : 0,
                                                   *name != L'i');
        item->m_pszNameInSource = item->pszGetName();
        item->m_pszSourceName = m_nums->m_pszDBTableName;
      }
    }
    ISQLParserInformation* parse = m_parses.Parse(text);
    if (parse == nullptr) return nullptr;
    auto* query = new CSQLParserInfo(&m_error, parse, nullptr, 0);
    query->AddRef();
    parse->nRelease();
    m_queries.push_back(query);
    CNADataSourceDescription* desc = m_driver.pclAllocDataSourceDescription(cnx, &m_error);
    desc->ExternalAddRef();
    m_queryDescs.push_back(desc);
    desc->SetLogicalName(L"query");
    desc->SetDBName(L"query");
    EXPECT_TRUE(desc->bCompleteDescription(query));
    auto* a = new CQueryAccess(desc, cnx, &m_error);
    a->AddRef();
    a->m_knobs = knobs;
    m_accesses.push_back(a);
    EXPECT_TRUE(a->bSetQuery(query, flags)) << Utf8(m_error.pszGetError());
    return a;
  }

  ParseBench m_parses;
  std::wstring m_plain;
  CHostRecordDescription* m_nums = nullptr;
  std::vector<CSQLParserInfo*> m_queries;
  std::vector<CNADataSourceDescription*> m_queryDescs;
  const long m_nParserObjects = CHostSQLParser::nLive();
};

// What a query browse refuses: previous on a statement that cannot read backward and cannot be
// rebuilt (a query sent as written, or one read in its own order without an ORDER BY) is user
// error 82; a query sent as written under a filter is user error 35; a rebuild that such a
// query needs after a read without caches is user error 83. A query read in an order of its own
// is rebuilt instead.
TEST_P(LiveBrowseQuery, QueryBrowsesRefuseWhatTheyCannotServe) {
  Plain(20);
  ASSERT_FALSE(HasFatalFailure());
  CMySQLConnection* cnx = Connect(nullptr);
  enum Setup { kNone, kFilter, kTransactionEnd };
  const struct {
    const wchar_t* query;
    unsigned int queryFlags, readFlags;
    Setup setup;
    eNA_PARSEDIRECTION dir;
    unsigned int error;  // 0: the read succeeds with id
    const char* id;
  } rows[] = {
      {L"SELECT id, v FROM nums", 4, kNoRowCache, kNone, NA_PARSE_PREVIOUS, 82, ""},
      {L"SELECT id, v FROM nums", 0, kNoRowCache | 0x20000, kNone, NA_PARSE_PREVIOUS, 82, ""},
      {L"SELECT id, v FROM nums ORDER BY id", 0, kNoRowCache | 0x20000, kNone, NA_PARSE_PREVIOUS, 0, "5"},
      {L"SELECT id, v FROM nums", 0, kNoRowCache, kNone, NA_PARSE_PREVIOUS, 0, "5"},
      {L"SELECT id, v FROM nums", 4, kNoRowCache, kFilter, NA_PARSE_FIRST, 35, ""},
      {L"SELECT id, v FROM nums", 4, 0x100000, kTransactionEnd, NA_PARSE_NEXT, 83, ""},
      {L"SELECT id, v FROM nums", 0, 0x100000, kTransactionEnd, NA_PARSE_NEXT, 0, "7"},
  };
  for (const auto& row : rows) {
    const std::string where = Utf8(row.query) + ", query flags " + std::to_string(row.queryFlags) + ", read flags " +
                              std::to_string(row.readFlags);
    CQueryAccess* a = Query(row.query, row.queryFlags, cnx, {false, false});
    ASSERT_NE(a, nullptr);
    const wchar_t* item = L"id";
    if (row.setup == kFilter) {
      CNAStatement* st = a->_pclGetNewItemStatement(item, NA_PARSE_FIRST, 0);
      ASSERT_NE(st, nullptr);
      CNAFilter* filter = st->pclAllocFilter(&m_error);
      filter->AddRef();
      const CAny low = FromText(ZV_I4, L"3");
      naguards::CHeldItemDesc held(a->piGetDataSourceDescriptionNoRef()->piNAGetItem(item));
      EXPECT_TRUE(filter->bSetFilter(a->pclGetCurrentRecordNoRef(), held.get(), &low, 1, nullptr, 0, nullptr, 0));
      filter->Activate();
      st->_SetFilter(filter);
      filter->nRelease();
      st->nRelease();
    } else {
      ASSERT_EQ(Read(a, item, NA_PARSE_FIRST, row.readFlags, 6), "6") << where << Sent();
      if (row.setup == kTransactionEnd) a->SetTransactionTermined();
    }
    m_error.Reset();
    const BOOL ok = a->bHLitxxx(item, row.dir, 1, kNoLock, nullptr, row.readFlags);
    EXPECT_EQ(ok, row.error == 0 ? TRUE : FALSE) << where << Sent();
    EXPECT_EQ(m_error.dwGetErrorId(), row.error) << where << ": " << Utf8(m_error.pszGetError());
    if (ok) {
      EXPECT_EQ(Out(a, item) != 0 ? "" : Text(Values(a, {L"id"})), row.id) << where << Sent();
    }
  }
}

// The count of every row of a query browse whose table cache holds the whole result comes from
// the cache, without the server; while the cache is still being filled, or once the browse's
// filter is another than the cache's, it is the server's.
TEST_P(LiveBrowseQuery, CountOfAWholeTableCacheAsksNothingOfTheServer) {
  Plain(20);
  ASSERT_FALSE(HasFatalFailure());
  CMySQLConnection* cnx = Connect("-1");
  for (unsigned int queryFlags : {0u, 4u}) {
    for (bool whole : {true, false}) {
      const std::string where = "query flags " + std::to_string(queryFlags) + (whole ? ", whole cache" : "");
      CQueryAccess* a = Query(L"SELECT id, v FROM nums WHERE id > 4", queryFlags, cnx, {true, true});
      ASSERT_NE(a, nullptr);
      ASSERT_EQ(Read(a, L"id", NA_PARSE_FIRST, 0), "5") << where << Sent();
      CNAStatement* st = Statement(a, L"id");
      ASSERT_TRUE(a->_bCreateNewTableCache(st));
      CNATableCache* cache = a->pclGetTableCacheNoRef();
      ASSERT_TRUE(cache->bSetStatementParse(st));
      if (whole) {
        ASSERT_NE(cache->pclGetFullCache(), nullptr) << where;
      }
      ClientCounts::Reset();
      long long n = -1;
      EXPECT_TRUE(a->bHNbEnr(&n, 16, 0)) << where << Utf8(m_error.pszGetError());
      EXPECT_EQ(n, 16) << where;
      if (whole) {
        EXPECT_EQ(ClientCounts::nQueries, 0) << where << Sent();
      }
      // Without option 16 nothing is counted, and nothing asked.
      const int queries = ClientCounts::nQueries;
      n = -1;
      EXPECT_TRUE(a->bHNbEnr(&n, 0, 0));
      EXPECT_EQ(n, 0) << where;
      EXPECT_EQ(ClientCounts::nQueries, queries) << where;
      if (!whole || queryFlags != 0) continue;
      // A filter other than the one the cache was filled with: the server counts.
      CNAFilter* filter = st->pclAllocFilter(&m_error);
      filter->AddRef();
      const CAny low = FromText(ZV_I4, L"10");
      naguards::CHeldItemDesc held(a->piGetDataSourceDescriptionNoRef()->piNAGetItem(L"id"));
      EXPECT_TRUE(filter->bSetFilter(a->pclGetCurrentRecordNoRef(), held.get(), &low, 1, nullptr, 0, nullptr, 0));
      filter->Activate();
      st->_SetFilter(filter);
      filter->nRelease();
      EXPECT_TRUE(a->bHNbEnr(&n, 16, 0)) << where << Utf8(m_error.pszGetError());
      EXPECT_GT(ClientCounts::nQueries, queries) << where << Sent();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveBrowseQuery,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveBrowseFetch,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

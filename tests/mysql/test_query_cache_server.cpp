// A query's result browsed through its table cache against the private server: seeks on a query
// sent as written (which the server's dialect cannot wrap in a sub-query) and on a query browsed
// with 0x4000, each compared with the rows sorted the way the cache's indexes sort them (code
// unit by code unit, NULL as the empty value, equal keys in the result's order), then moves, counts, places
// and saved positions from the rows found.
#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "host/host_queryexecution.h"
#include "sql/nacolumn.h"
#include "sql/nakjrecord.h"
#include "sql/nastatement.h"
#include "tests/mysql/browse_bench.h"
#include "tests/support/any_test_values.h"
#include "tests/support/parse_bench.h"

namespace {

const eNA_LOCKTYPE kNoLock = static_cast<eNA_LOCKTYPE>(1);
enum : unsigned int { kReuse = 0x2000, kContinue = 0x4000 };

struct Row {
  int id;
  std::optional<std::wstring> d;
  std::optional<int> n;
};

// d under utf8mb4_general_ci holds texts equal but for case; n and d hold NULLs and duplicates.
const std::vector<Row> kRows = {
    {1, L"b", 5},  {2, L"A", {}},  {3, L"a", 3},   {4, L"B", 5},   {5, L"c", 1},  {6, L"ab", {}},
    {7, L"ABc", 3}, {8, {}, 2},    {9, L"a", 5},   {10, L"b", 4},  {11, {}, 1},   {12, L"Ab", {}},
};

// -1, 0, 1: a's key against b's on item; a NULL key is the empty value's (0, the empty text).
template <typename T>
int Compare(const std::optional<T>& a, const std::optional<T>& b) {
  const T x = a.value_or(T{}), y = b.value_or(T{});
  return x < y ? -1 : y < x ? 1 : 0;
}
int CompareOn(const Row& a, const Row& b, char item) {
  if (item == 'd') return Compare(a.d, b.d);
  if (item == 'n') return Compare(a.n, b.n);
  return a.id < b.id ? -1 : a.id > b.id ? 1 : 0;
}

// The letter CompareOn knows an item by.
char KeyOf(const wchar_t* item) { return item[0] == L'i' ? 'i' : static_cast<char>(item[0]); }

// The rows in the order of item's index.
std::vector<Row> IndexOrder(char item) {
  std::vector<Row> rows = kRows;
  std::stable_sort(rows.begin(), rows.end(), [item](const Row& a, const Row& b) { return CompareOn(a, b, item) < 0; });
  return rows;
}

class LiveQueryCache : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveQueryCache() : LiveConnection("_qcache") { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    ASSERT_FALSE(HasFatalFailure());
    m_pCnx->SetStatic(true);
    std::string values;
    for (const Row& r : kRows) {
      values += std::string(values.empty() ? "" : ",") + "(" + std::to_string(r.id) + "," +
                (r.d ? "'" + Utf8(*r.d) + "'" : "NULL") + "," + (r.n ? std::to_string(*r.n) : "NULL") + ")";
    }
    std::string err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_strTable +
                               " (id INT PRIMARY KEY, d VARCHAR(8) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL,"
                               " n INT NULL, KEY (d), KEY (n))",
                           &err))
        << err;
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_strTable + " VALUES " + values, &err)) << err;
    m_wTable = Wide(m_strTable);
    CHostRecordDescription* t = m_bench.Table(m_wTable.c_str(), m_wTable.c_str());
    t->m_pszDBTableName = t->m_pszPhysicalName;
    m_bench.Item(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    m_bench.Item(t, L"d", NA_IT_TEXTE, 9);
    m_bench.Item(t, L"n", NA_IT_I4, 4);
    for (size_t i = m_bench.m_items.size() - 3; i < m_bench.m_items.size(); ++i) {
      m_bench.m_items[i].m_pszNameInSource = m_bench.m_items[i].pszGetName();
      m_bench.m_items[i].m_pszSourceName = m_wTable.c_str();
    }
  }
  void TearDown() override {
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = nullptr;
    for (ISQLParserInformation* p : m_parses) p->nRelease();
    m_parses.clear();
    LiveConnection::TearDown();
  }
  // The query over the test's table run in a new access: sent as written, or browsed with 0x4000
  // on id.
  CNADataAccess* Run(bool asWritten) {
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = m_driver.pclAllocDataAccess(nullptr, m_pCnx.get(), &m_error);
    m_pAccess->AddRef();
    m_error.Reset();
    ISQLParserInformation* parse = m_bench.Parse(L"SELECT id, d, n FROM " + m_wTable + L" ORDER BY id");
    if (parse == nullptr) return nullptr;
    m_parses.push_back(parse);
    CHostQueryExecution execution(0, L"id");
    int result = 0;
    const BOOL ok = m_pAccess->bExecuteQuery(&result, L"q", parse, static_cast<eNA_QUERYMODE>(asWritten ? 4 : 0),
                                             asWritten ? nullptr : &execution);
    EXPECT_TRUE(ok && result == 1) << Utf8(m_error.pszGetError());
    return ok ? m_pAccess : nullptr;
  }
  // The id of the current record, 0 out of the rows, -1 when the step failed.
  int Id(CNADataAccess* a, const wchar_t* item, BOOL ok) {
    if (!ok) return -1;
    int out = 1;
    a->bHEndehors(item, &out);
    if (out) return 0;
    CAny v;
    a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(0)->bGetCurrentValue(&v, 0);
    return std::stoi(Show(v));
  }
  int Read(CNADataAccess* a, const wchar_t* item, eNA_PARSEDIRECTION dir, unsigned int flags) {
    return Id(a, item, a->bHLitxxx(item, dir, 1, kNoLock, nullptr, flags));
  }
  int Seek(CNADataAccess* a, const wchar_t* item, const CAny& value, int generic, int fromFirst, unsigned int flags) {
    return Id(a, item, a->bHRecherche(item, &value, generic, 1, kNoLock, nullptr, fromFirst, flags));
  }
  static CAny Value(char item, const std::wstring& text) {
    if (item == 'd') return FromText(ZV_DSTRW, text.c_str());
    CAny v;
    v.SetI4(std::stoi(text));
    return v;
  }

  ParseBench m_bench;
  std::vector<ISQLParserInformation*> m_parses;
  std::wstring m_wTable;
  CNADataAccess* m_pAccess = nullptr;
};

// The place of the first row at or above value (fromFirst) or the last at or below it; -1 none.
long long ModelSeek(const std::vector<Row>& order, char item, const std::wstring& value, bool fromFirst) {
  Row probe{0, value, {}};
  if (item == 'n') probe.n = std::stoi(value);
  if (item == 'i') probe.id = std::stoi(value);
  long long p = -1;
  for (size_t i = 0; i < order.size(); ++i) {
    const int c = CompareOn(order[i], probe, item);
    if (fromFirst && c >= 0) return static_cast<long long>(i);
    if (!fromFirst && c <= 0) p = static_cast<long long>(i);
  }
  return p;
}

// Exact and starts-with seeks on every item, from the first and from the last of the rows, each
// then read next and previous from the row found: the found row, the found state and the rows
// around it are the index's, whether the query was sent as written or browsed with 0x4000.
TEST_P(LiveQueryCache, SeeksAndMovesFromTheFoundRowFollowTheIndex) {
  const struct Case {
    const wchar_t* item;
    const wchar_t* value;
    int generic;
    int fromFirst;
    int found;
  } cases[] = {
      {L"id", L"7", 0, 1, 1},  {L"id", L"7", 0, 0, 1},   {L"id", L"0", 0, 1, 0},  {L"id", L"13", 0, 0, 0},
      {L"n", L"5", 0, 1, 1},   {L"n", L"5", 0, 0, 1},    {L"n", L"1", 0, 0, 1},   {L"n", L"0", 0, 1, 0},
      {L"d", L"a", 0, 1, 1},   {L"d", L"a", 0, 0, 1},    {L"d", L"ab", 1, 1, 1},  {L"d", L"Ab", 1, 1, 1},
      {L"d", L"b", 0, 0, 1},   {L"d", L"bb", 0, 1, 0},   {L"d", L"A", 0, 0, 1},   {L"d", L"zz", 0, 1, 0},
  };
  for (const bool asWritten : {true, false}) {
    const unsigned int flags = asWritten ? 0u : kReuse | kContinue;
    for (const Case& c : cases) {
      const char key = KeyOf(c.item);
      const std::vector<Row> order = IndexOrder(key);
      const long long p = ModelSeek(order, key, c.value, c.fromFirst != 0);
      for (const eNA_PARSEDIRECTION then : {NA_PARSE_NEXT, NA_PARSE_PREVIOUS}) {
        const std::string what = std::string(asWritten ? "as written" : "0x4000") + ", " + Utf8(c.item) + " " +
                                 Utf8(c.value) + (c.generic ? "*" : "") + (c.fromFirst ? " from first" : " from last") +
                                 (then == NA_PARSE_NEXT ? ", next" : ", previous");
        CNADataAccess* a = Run(asWritten);
        ASSERT_NE(a, nullptr) << what;
        const int id = Seek(a, c.item, Value(key, c.value), c.generic, c.fromFirst, flags);
        ASSERT_EQ(id, p < 0 || p >= static_cast<long long>(order.size()) ? 0 : order[static_cast<size_t>(p)].id)
            << what << ": " << Utf8(m_error.pszGetError());
        if (id > 0) {
          int found = -1, second = -1;
          EXPECT_TRUE(a->bEvalHTrouve(c.item, &found, &second));
          EXPECT_EQ(found, c.found) << what;
        }
        const long long q = p + (then == NA_PARSE_NEXT ? 1 : -1);
        const int expected = id <= 0 || q < 0 || q >= static_cast<long long>(order.size()) ? 0 : order[static_cast<size_t>(q)].id;
        if (id > 0) {
          EXPECT_EQ(Read(a, c.item, then, flags & ~kReuse), expected) << what << ": " << Utf8(m_error.pszGetError());
        }
      }
    }
  }
}

// A browse of the query in its own order, first to last, a few rows back, then seeks on each
// item with moves from the row found: the browse's rows are the query's, each seek and move
// lands where the index says, and after every read the record's original value holds the row
// read.
TEST_P(LiveQueryCache, SeeksAfterAForwardBrowseFollowTheIndexAndKeepTheOriginal) {
  const struct Case {
    const wchar_t* item;
    const wchar_t* value;
    int fromFirst;
  } cases[] = {{L"id", L"7", 1}, {L"id", L"12", 0}, {L"n", L"5", 1}, {L"n", L"3", 0}, {L"d", L"a", 1}, {L"d", L"b", 0}};
  for (const bool asWritten : {true, false}) {
    const unsigned int flags = asWritten ? 0u : kReuse | kContinue;
    for (const Case& c : cases) {
      // Browsed with 0x4000, the seek on d goes to the server, whose collation ties "A" and "a":
      // the index's order does not tell its row.
      if (!asWritten && c.item[0] == L'd') continue;
      const std::string what = std::string(asWritten ? "as written" : "0x4000") + ", " + Utf8(c.item) + " " +
                               Utf8(c.value) + (c.fromFirst ? " from first" : " from last");
      CNADataAccess* a = Run(asWritten);
      ASSERT_NE(a, nullptr) << what;
      CNARecord* record = a->pclGetCurrentRecordNoRef();
      auto originalHoldsTheRow = [&]() {
        const CNAKJRecord* current = record->pclGetCurrentValueNoRef()->pclGetNAKJRecord();
        const CNAKJRecord* original = record->pclGetOriginalValueNoRef()->pclGetNAKJRecord();
        return original->bEquals(current) != FALSE;
      };
      for (size_t i = 0; i <= kRows.size(); ++i) {
        const int expected = i < kRows.size() ? kRows[i].id : 0;
        ASSERT_EQ(Read(a, L"id", i == 0 ? NA_PARSE_FIRST : NA_PARSE_NEXT, 0), expected) << what << " row " << i;
        if (expected != 0) {
          ASSERT_TRUE(originalHoldsTheRow()) << what << " row " << i;
        }
      }
      for (size_t back = 1; back <= 3; ++back) {
        ASSERT_EQ(Read(a, L"id", NA_PARSE_PREVIOUS, 0), kRows[kRows.size() - back].id) << what;
        ASSERT_TRUE(originalHoldsTheRow()) << what;
      }
      const char key = KeyOf(c.item);
      const std::vector<Row> order = IndexOrder(key);
      const long long n = static_cast<long long>(order.size());
      long long p = ModelSeek(order, key, c.value, c.fromFirst != 0);
      ASSERT_TRUE(p >= 0 && p < n) << what;
      ASSERT_EQ(Seek(a, c.item, Value(key, c.value), 0, c.fromFirst, flags), order[static_cast<size_t>(p)].id)
          << what << ": " << Utf8(m_error.pszGetError());
      ASSERT_TRUE(originalHoldsTheRow()) << what;
      for (const eNA_PARSEDIRECTION then : {NA_PARSE_NEXT, NA_PARSE_NEXT, NA_PARSE_PREVIOUS, NA_PARSE_PREVIOUS,
                                            NA_PARSE_PREVIOUS}) {
        p = then == NA_PARSE_NEXT ? std::min(p + 1, n) : std::max(p - 1, -1LL);
        const int expected = p < 0 || p >= n ? 0 : order[static_cast<size_t>(p)].id;
        ASSERT_EQ(Read(a, c.item, then, flags & ~kReuse), expected) << what << ": " << Utf8(m_error.pszGetError());
        if (expected != 0) {
          ASSERT_TRUE(originalHoldsTheRow()) << what;
        }
      }
    }
  }
}

// A starts-with seek whose text is of the other width than the column's (the host's wide text
// on a narrow item) is found on a row longer than the text: it was taken for a whole-value
// comparison and reported not found.
TEST_P(LiveQueryCache, StartsWithSeekOfTheOtherTextWidthIsFound) {
  const struct {
    const wchar_t* value;
    int id;
  } cases[] = {{L"AB", 7}, {L"a", 3}, {L"b", 1}, {L"Ab", 12}};
  for (const auto& c : cases) {
    CNADataAccess* a = Run(true);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(Seek(a, L"d", Value('d', c.value), 1, 1, 0), c.id) << Utf8(c.value);
    int found = -1, second = -1;
    EXPECT_TRUE(a->bEvalHTrouve(L"d", &found, &second));
    EXPECT_EQ(found, 1) << Utf8(c.value);
  }
}

// A short random walk on each item of each query (seeks, first, last, next, previous, places in
// thousandths, saved positions returned to) against the rows in the index's order: the record
// after every step, its place in thousandths and the count.
TEST_P(LiveQueryCache, RandomWalkAgreesWithTheIndexOrder) {
  for (const unsigned int seed : {20261207u, 7u, 99u, 12345u, 6u}) {
  std::mt19937 random(seed);
  for (const bool asWritten : {true, false}) {
    const unsigned int flags = asWritten ? 0u : kReuse | kContinue;
    for (const wchar_t* item : {L"id", L"d", L"n"}) {
      const char key = KeyOf(item);
      const std::vector<Row> order = IndexOrder(key);
      const long long n = static_cast<long long>(order.size());
      CNADataAccess* a = Run(asWritten);
      ASSERT_NE(a, nullptr);
      // Browse reads from an end go through the cache when told to reuse it.
      long long p = ModelSeek(order, key, key == 'd' ? L"a" : L"3", true);
      ASSERT_EQ(Seek(a, item, Value(key, key == 'd' ? L"a" : L"3"), 0, 1, flags), order[static_cast<size_t>(p)].id);
      int saved = -1;
      long long savedAt = -1;
      for (int step = 0; step < 60; ++step) {
        const int op = static_cast<int>(random() % 13);
        std::string what = "seed " + std::to_string(seed) + ", " + (asWritten ? "as written" : "0x4000") + ", " + Utf8(item) + ", step " +
                           std::to_string(step) + ", op " + std::to_string(op);
        int id = 0;
        if (op < 4) {
          id = Read(a, item, NA_PARSE_NEXT, flags & ~kReuse);
          p = std::min(p + 1, n);
        } else if (op < 8) {
          id = Read(a, item, NA_PARSE_PREVIOUS, flags & ~kReuse);
          p = std::max(p - 1, -1LL);
        } else if (op == 8) {
          const bool first = random() % 2 == 0;
          id = Read(a, item, first ? NA_PARSE_FIRST : NA_PARSE_LAST, flags | kReuse);
          p = first ? 0 : n - 1;
        } else if (op == 10) {
          const unsigned int thousandths = static_cast<unsigned int>(random() % 1001);
          id = Id(a, item, a->bHPositionne(item, thousandths, eNA_PRECISION{0}, flags));
          p = std::max(n * thousandths / 1000, 1LL) - 1;
          what += " to " + std::to_string(thousandths);
        } else if (op == 11) {
          if (p < 0 || p >= n) continue;
          if (saved != -1) a->bHLiberePosition(saved);
          ASSERT_TRUE(a->bHSauvePosition(&saved, item, eNAPOSITION{0})) << what;
          savedAt = p;
          continue;
        } else if (op == 12) {
          if (saved == -1) continue;
          wchar_t itemOut[255] = {};
          ASSERT_TRUE(a->bHRetourPosition(saved, itemOut, 1, eNAPOSITION{0})) << what;
          p = savedAt;
          id = Id(a, item, TRUE);
        } else {
          const Row& r = kRows[random() % kRows.size()];
          const std::wstring value = key == 'd' ? r.d.value_or(L"b") : std::to_wstring(key == 'n' ? r.n.value_or(4) : r.id);
          const int fromFirst = static_cast<int>(random() % 2);
          id = Seek(a, item, Value(key, value), 0, fromFirst, flags);
          p = ModelSeek(order, key, value, fromFirst != 0);
          what += " seek " + Utf8(value);
          if (p < 0) p = fromFirst ? n : -1;
        }
        const int expected = p < 0 || p >= n ? 0 : order[static_cast<size_t>(p)].id;
        ASSERT_EQ(id, expected) << what << ": " << Utf8(m_error.pszGetError());
        if (expected == 0) continue;
        int place = -1;
        EXPECT_TRUE(a->bHPositionCourante(&place, item, eNA_PRECISION{0})) << what;
        EXPECT_EQ(place, static_cast<int>(((p + 1) * 1000 + n - 1) / n)) << what;
        long long count = -1;
        EXPECT_TRUE(a->bHNbEnr(&count, 16, 0)) << what;
        EXPECT_EQ(count, n) << what;
      }
    }
  }
  }
}

// A position saved on a row found in the index comes back to it by its place; saved again, it
// comes back by a search on its record after the index went with the table cache (a read from
// an end that runs the query again), and the browse of the query browsed with 0x4000 goes on from it.
TEST_P(LiveQueryCache, SavedPositionsComeBackAfterTheIndexWent) {
  const std::vector<Row> order = IndexOrder('n');
  for (const bool asWritten : {true, false}) {
    SCOPED_TRACE(asWritten ? "as written" : "0x4000");
    const unsigned int flags = asWritten ? 0u : kReuse | kContinue;
    CNADataAccess* a = Run(asWritten);
    ASSERT_NE(a, nullptr);
    const long long p = ModelSeek(order, 'n', L"3", true);
    ASSERT_EQ(Seek(a, L"n", Value('n', L"3"), 0, 1, flags), order[static_cast<size_t>(p)].id);
    int saved = -1;
    ASSERT_TRUE(a->bHSauvePosition(&saved, L"n", eNAPOSITION{0}));
    ASSERT_EQ(Read(a, L"n", NA_PARSE_LAST, flags | kReuse), order.back().id);
    wchar_t itemOut[255] = {};
    ASSERT_TRUE(a->bHRetourPosition(saved, itemOut, 1, eNAPOSITION{0})) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Id(a, L"n", TRUE), order[static_cast<size_t>(p)].id);
    EXPECT_EQ(Read(a, L"n", NA_PARSE_NEXT, 0), order[static_cast<size_t>(p + 1)].id);
    ASSERT_TRUE(a->bHRetourPosition(saved, itemOut, 0, eNAPOSITION{0}));
    EXPECT_EQ(Read(a, L"n", NA_PARSE_PREVIOUS, 0), order[static_cast<size_t>(p - 1)].id);
    // On id, whose index order is also the server's: the index goes with the cache a read from
    // the first row without reuse drops.
    ASSERT_EQ(Seek(a, L"id", Value('i', L"5"), 0, 1, flags), 5);
    ASSERT_TRUE(a->bHSauvePosition(&saved, L"id", eNAPOSITION{0}));
    ASSERT_EQ(Read(a, L"id", NA_PARSE_FIRST, flags & ~kReuse), 1) << Utf8(m_error.pszGetError());
    ASSERT_TRUE(a->bHRetourPosition(saved, itemOut, 0, eNAPOSITION{0})) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Id(a, L"id", TRUE), 5);
    EXPECT_EQ(Read(a, L"id", NA_PARSE_NEXT, flags & ~kReuse), 6) << Utf8(m_error.pszGetError());
  }
}

// A position returned to in an index leaves the browse on its row: a place asked then, a
// position saved then and returned to later, and a place in thousandths (which the value sought
// before the first save no longer bounds) all name that row. They named the row read before the
// return, or the rows after the value once sought.
TEST_P(LiveQueryCache, ReturnedPositionLeavesTheBrowseOnItsRow) {
  const struct {
    const wchar_t* item;
    const wchar_t* value;
    int nexts;     // moves from the row sought to the row saved
    int savedId;
    int place;     // of the saved row, after the return
    int to;        // thousandths asked after the second return
    int toId;
  } cases[] = {
      {L"n", L"5", 2, 9, 1000, 911, 1},
      {L"d", L"ABc", 0, 7, 334, 911, 1},
      {L"id", L"4", 1, 5, 417, 500, 6},
  };
  for (const bool asWritten : {true, false}) {
    const unsigned int flags = asWritten ? 0u : kReuse | kContinue;
    for (const auto& c : cases) {
      const std::string what = std::string(asWritten ? "as written, " : "0x4000, ") + Utf8(c.item);
      const char key = KeyOf(c.item);
      CNADataAccess* a = Run(asWritten);
      ASSERT_NE(a, nullptr);
      ASSERT_GT(Seek(a, c.item, Value(key, c.value), 0, 1, flags), 0) << what;
      for (int i = 0; i < c.nexts; ++i) Read(a, c.item, NA_PARSE_NEXT, 0);
      ASSERT_EQ(Id(a, c.item, TRUE), c.savedId) << what;
      int first = -1, second = -1;
      wchar_t itemOut[255] = {};
      ASSERT_TRUE(a->bHSauvePosition(&first, c.item, eNAPOSITION{0}));
      ASSERT_GT(Read(a, c.item, NA_PARSE_FIRST, flags | kReuse), 0) << what;
      ASSERT_TRUE(a->bHRetourPosition(first, itemOut, 0, eNAPOSITION{0}));
      int place = -1;
      EXPECT_TRUE(a->bHPositionCourante(&place, c.item, eNA_PRECISION{0}));
      EXPECT_EQ(place, c.place) << what;
      ASSERT_TRUE(a->bHSauvePosition(&second, c.item, eNAPOSITION{0}));
      ASSERT_GT(Read(a, c.item, NA_PARSE_LAST, flags | kReuse), 0) << what;
      ASSERT_TRUE(a->bHRetourPosition(second, itemOut, 1, eNAPOSITION{0}));
      EXPECT_EQ(Id(a, c.item, TRUE), c.savedId) << what;
      EXPECT_EQ(Id(a, c.item, a->bHPositionne(c.item, static_cast<unsigned int>(c.to), eNA_PRECISION{0}, flags)), c.toId)
          << what;
      ASSERT_TRUE(a->bHRetourPosition(second, itemOut, 0, eNAPOSITION{0}));
      EXPECT_EQ(Id(a, c.item, TRUE), c.savedId) << what;
    }
  }
}

// A browse goes on from its row after a seek on another item ran the query again and took its
// index away: next and previous on the first item read the rows around the row it stood on.
// A query sent as written has no other way to find the row again: it answered 83 before.
TEST_P(LiveQueryCache, BrowseGoesOnAfterASeekOnAnotherItemTookItsIndex) {
  const struct {
    const wchar_t* item;
    const wchar_t* value;
    const wchar_t* other;
    const wchar_t* otherValue;
    eNA_PARSEDIRECTION then;
    int id;
  } cases[] = {
      {L"d", L"a", L"n", L"3", NA_PARSE_NEXT, 9},     {L"d", L"a", L"n", L"3", NA_PARSE_PREVIOUS, 4},
      {L"n", L"2", L"id", L"10", NA_PARSE_NEXT, 3},   {L"id", L"12", L"d", L"b", NA_PARSE_NEXT, 0},
      {L"id", L"12", L"d", L"b", NA_PARSE_PREVIOUS, 11},
  };
  for (const bool asWritten : {true, false}) {
    const unsigned int flags = asWritten ? 0u : kReuse | kContinue;
    for (const auto& c : cases) {
      const std::string what = std::string(asWritten ? "as written, " : "0x4000, ") + Utf8(c.item) + " then " +
                               Utf8(c.other) + (c.then == NA_PARSE_NEXT ? ", next" : ", previous");
      const char key = KeyOf(c.item);
      const char otherKey = KeyOf(c.other);
      CNADataAccess* a = Run(asWritten);
      ASSERT_NE(a, nullptr);
      ASSERT_GT(Seek(a, c.item, Value(key, c.value), 0, 1, flags), 0) << what;
      ASSERT_GT(Seek(a, c.other, Value(otherKey, c.otherValue), 0, 1, flags), 0) << what;
      EXPECT_EQ(Read(a, c.item, c.then, 0), c.id) << what << ": " << Utf8(m_error.pszGetError());
    }
  }
}

// A filter on a query sent as written is refused at the next read (35); on the query browsed with
// 0x4000 it runs on the server, and counts and reads follow it.
TEST_P(LiveQueryCache, FiltersOnTheCachedQuery) {
  for (const bool asWritten : {true, false}) {
    SCOPED_TRACE(asWritten ? "as written" : "0x4000");
    const unsigned int flags = asWritten ? 0u : kContinue;
    CNADataAccess* a = Run(asWritten);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(Seek(a, L"id", Value('i', L"4"), 0, 1, asWritten ? 0u : kReuse | kContinue), 4);
    const CAny low = Value('i', L"3"), high = Value('i', L"7");
    ASSERT_TRUE(a->bHFiltre(L"id", &low, 1, &high, 0, nullptr));
    m_error.Reset();
    const int first = Read(a, L"id", NA_PARSE_FIRST, flags);
    if (asWritten) {
      EXPECT_EQ(first, -1);
      EXPECT_EQ(m_error.nGetUserErrorCode(), 35u);
      continue;
    }
    EXPECT_EQ(first, 3) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Read(a, L"id", NA_PARSE_NEXT, flags), 4);
    EXPECT_EQ(Read(a, L"id", NA_PARSE_LAST, flags), 6);
    long long count = -1;
    EXPECT_TRUE(a->bHNbEnr(&count, 16, kContinue));
    EXPECT_EQ(count, 4);
  }
}

// The query browsed with 0x4000 may be written to: a row deleted while a browse stands on it in
// an index leaves the index, and the browse goes on to the rows around its former place; a row
// modified without its key keeps its place and shows its new values when the browse comes back.
TEST_P(LiveQueryCache, NextAfterADeleteUnderAnIndexBrowseReadsTheFollowingRow) {
  const struct {
    const char* what;
    bool remove;  // else d becomes "z"
    eNA_PARSEDIRECTION then;
    int id;
  } cases[] = {
      {"delete, next", true, NA_PARSE_NEXT, 7},
      {"delete, previous", true, NA_PARSE_PREVIOUS, 8},
      {"update, next", false, NA_PARSE_NEXT, 7},
      {"update, previous", false, NA_PARSE_PREVIOUS, 8},
  };
  for (const auto& c : cases) {
    std::string err;
    ASSERT_TRUE(m_raw.exec("REPLACE INTO " + m_strTable + " VALUES (3, 'a', 3)", &err)) << err;
    CNADataAccess* a = Run(false);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(Seek(a, L"n", Value('n', L"3"), 0, 1, kReuse | kContinue), 3) << c.what;
    BOOL written = FALSE;
    if (c.remove) {
      written = a->bHSupprime(0, kNoLock);
    } else {
      const CAny z = Value('d', L"z");
      written = a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(1)->bSetValue(&z, 0) && a->bHModifie(0, 0, kNoLock);
    }
    ASSERT_TRUE(written) << c.what << ": " << Utf8(m_error.pszGetError());
    EXPECT_EQ(Read(a, L"n", c.then, 0), c.id) << c.what << ": " << Utf8(m_error.pszGetError());
    if (c.remove) continue;
    // Back on the row written: its new value.
    EXPECT_EQ(Read(a, L"n", c.then == NA_PARSE_NEXT ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, 0), 3) << c.what;
    CAny d;
    a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(1)->bGetCurrentValue(&d, 0);
    EXPECT_EQ(Show(d), L"z") << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Live, LiveQueryCache,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Values(false, true)));

}  // namespace

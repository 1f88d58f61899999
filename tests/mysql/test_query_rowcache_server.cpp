// A parsed query browsed through its row cache against the private server: thousands of rows,
// past the cache's first blocks and into the larger ones, read first to last and then back, each
// row's values, NULLs and memo as the server holds them, and the record's original value the row
// read, whether the read marks the record read or not.
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "access/narecordcache.h"
#include "host/host_queryexecution.h"
#include "sql/nacolumn.h"
#include "sql/nakjrecord.h"
#include "tests/mysql/browse_bench.h"
#include "tests/support/any_test_values.h"
#include "tests/support/parse_bench.h"

namespace {

const eNA_LOCKTYPE kNoLock = static_cast<eNA_LOCKTYPE>(1);
// Past five blocks of 500 rows, so that the sixth, twice as large, holds rows too.
constexpr int kRows = 3100;

// The row the server holds for id k (the table is filled by the same rules in SQL).
struct Row {
  std::wstring d;  // empty: NULL
  std::wstring n;
  std::wstring memo;
};
Row Expected(int k) {
  Row r;
  if (k % 7 != 0) r.d = std::wstring(static_cast<size_t>(k % 30), L'x') + std::to_wstring(k);
  r.n = k % 5 == 0 ? L"NULL" : std::to_wstring(k * 3 - 4000);
  if (k % 4 != 0) r.memo = L"m" + std::to_wstring(k);
  return r;
}

// The query's columns, with the memo or without, each read marking the row read or not.
struct ColumnsCase {
  const wchar_t* columns;
  int setRead;
  bool Memo() const { return std::wstring(columns).find(L'm') != std::wstring::npos; }
};
const ColumnsCase kColumnsCases[] = {{L"id, d, n", 0}, {L"id, d, n", 1}, {L"id, d, n, m", 0}, {L"id, d, n, m", 1}};

class LiveQueryRowCache : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveQueryRowCache() : LiveConnection("_qrow") { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    ASSERT_FALSE(HasFatalFailure());
    m_pCnx->SetStatic(true);
    std::string err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_strTable + " (id INT PRIMARY KEY, d VARCHAR(40) NULL, n INT NULL, m TEXT NULL)",
                           &err))
        << err;
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_strTable +
                               " SELECT seq, IF(seq % 7 = 0, NULL, CONCAT(REPEAT('x', seq % 30), seq)),"
                               " IF(seq % 5 = 0, NULL, CAST(seq AS SIGNED) * 3 - 4000), IF(seq % 4 = 0, NULL, CONCAT('m', seq))"
                               " FROM seq_1_to_" + std::to_string(kRows),
                           &err))
        << err;
    m_wTable = Wide(m_strTable);
    Describe(m_wTable, {{L"d", NA_IT_TEXTE, 41}, {L"n", NA_IT_I4, 4}, {L"m", NA_IT_MEMOTEXTE, 8}});
  }
  struct Column {
    const wchar_t* name;
    eNA_ITEMTYPE type;
    unsigned int size;
  };
  // The host's description of the server's table (name kept alive by the caller): its key id,
  // then columns.
  void Describe(const std::wstring& table, std::initializer_list<Column> columns) {
    CHostRecordDescription* t = m_bench.Table(table.c_str(), table.c_str());
    t->m_pszDBTableName = t->m_pszPhysicalName;
    m_bench.Item(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    for (const Column& c : columns) m_bench.Item(t, c.name, c.type, c.size);
    for (size_t i = m_bench.m_items.size() - 1 - columns.size(); i < m_bench.m_items.size(); ++i) {
      m_bench.m_items[i].m_pszNameInSource = m_bench.m_items[i].pszGetName();
      m_bench.m_items[i].m_pszSourceName = table.c_str();
    }
  }
  void TearDown() override {
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    m_pAccess = nullptr;
    if (m_pParse != nullptr) m_pParse->nRelease();
    m_pParse = nullptr;
    LiveConnection::TearDown();
  }
  // The query over the table (the fixture's unless named), in a new access, browsed on id as the
  // host's query run asks.
  CNADataAccess* Run(const std::wstring& columns, const std::wstring* table = nullptr) {
    if (m_pAccess != nullptr) m_pAccess->nRelease();
    if (m_pParse != nullptr) m_pParse->nRelease();
    m_pAccess = m_driver.pclAllocDataAccess(nullptr, m_pCnx.get(), &m_error);
    m_pAccess->AddRef();
    m_error.Reset();
    m_pParse = m_bench.Parse(L"SELECT " + columns + L" FROM " + (table != nullptr ? *table : m_wTable) + L" ORDER BY id");
    if (m_pParse == nullptr) return nullptr;
    CHostQueryExecution execution(0, L"id");
    int result = 0;
    const BOOL ok = m_pAccess->bExecuteQuery(&result, L"q", m_pParse, static_cast<eNA_QUERYMODE>(0), &execution);
    EXPECT_TRUE(ok && result == 1) << Utf8(m_error.pszGetError());
    return ok ? m_pAccess : nullptr;
  }
  static std::wstring Value(CNADataAccess* a, int column) {
    CAny v;
    a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(column)->bGetCurrentValue(&v, 0);
    return Show(v);
  }
  // The current record holds the server's row k (its memo too with memo).
  static void ExpectRow(CNADataAccess* a, int k, bool memo, const std::string& what) {
    const Row r = Expected(k);
    ASSERT_EQ(Value(a, 0), std::to_wstring(k)) << what;
    EXPECT_EQ(Value(a, 1), r.d.empty() ? L"NULL" : r.d) << what << " id " << k;
    EXPECT_EQ(Value(a, 2), r.n) << what << " id " << k;
    if (memo) {
      EXPECT_EQ(Value(a, 3), r.memo.empty() ? L"NULL" : r.memo) << what << " id " << k;
    }
  }
  static std::string Bytes(const CNARecordValue* v) {
    const CNAKJRecord* r = v != nullptr ? v->pclGetNAKJRecord() : nullptr;
    return r == nullptr ? std::string("none")
                        : std::string(reinterpret_cast<const char*>(r->pbyGetNullValuesFlags()), r->nGetTotalSize());
  }

  ParseBench m_bench;
  ISQLParserInformation* m_pParse = nullptr;
  std::wstring m_wTable;
  CNADataAccess* m_pAccess = nullptr;
};

// First to last, then last to first: every row read is the server's, NULLs and memo included.
// Read first to last, the record's original value holds the row read, whether the read marks the
// record read or not, and afterwards the statement's full row cache holds every row as it was
// read, bytes and memos.
TEST_P(LiveQueryRowCache, RowsReadBothWaysAreTheServersAndTheOriginalValueHoldsThem) {
  for (const ColumnsCase& c : kColumnsCases) {
    const bool memo = c.Memo();
    const std::string what = Utf8(c.columns) + " setRead " + std::to_string(c.setRead);
    CNADataAccess* a = Run(c.columns);
    ASSERT_NE(a, nullptr) << what;
    std::vector<CNARecordValue*> kept;
    for (eNA_PARSEDIRECTION first : {NA_PARSE_FIRST, NA_PARSE_LAST}) {
      const bool forward = first == NA_PARSE_FIRST;
      const eNA_PARSEDIRECTION then = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
      int read = 0;
      for (BOOL ok = a->bHLitxxx(L"id", first, c.setRead, kNoLock, nullptr, 0);;
           ok = a->bHLitxxx(L"id", then, c.setRead, kNoLock, nullptr, 0)) {
        ASSERT_TRUE(ok) << what << ": " << Utf8(m_error.pszGetError());
        int out = 1;
        a->bHEndehors(L"id", &out);
        if (out) break;
        const int k = forward ? read + 1 : kRows - read;
        ++read;
        ASSERT_NO_FATAL_FAILURE(ExpectRow(a, k, memo, what));
        if (!forward) continue;
        CNARecord* record = a->pclGetCurrentRecordNoRef();
        ASSERT_EQ(Bytes(record->pclGetOriginalValueNoRef()), Bytes(record->pclGetCurrentValueNoRef()))
            << what << " id " << k;
        kept.push_back(record->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL));
        kept.back()->AddRef();
      }
      EXPECT_EQ(read, kRows) << what;
      if (!forward) continue;
      CNARecordCache* cache = a->pclGetLastStatementNoRef()->pclGetFullRecordCache();
      ASSERT_NE(cache, nullptr) << what;
      ASSERT_EQ(cache->nGetCount(), kRows) << what;
      CNARecordValue* back = kept.front()->pclGetClone(NA_COPY_ALL);
      back->AddRef();
      for (int i = 0; i < kRows; ++i) {
        ASSERT_TRUE(cache->bGetAt(back, static_cast<unsigned int>(i))) << what << " row " << i;
        ASSERT_EQ(Bytes(back), Bytes(kept[static_cast<size_t>(i)])) << what << " row " << i;
        ASSERT_TRUE(CNARecordMemo::g_bEqualsNARecordMemo(back->pclGetTabMemoNoRef(), kept[static_cast<size_t>(i)]->pclGetTabMemoNoRef()))
            << what << " row " << i;
      }
      back->nRelease();
    }
    for (CNARecordValue* v : kept) v->nRelease();
  }
}

// Walks over the row cache: forward reads that fill it, moves back over rows it keeps, forward
// again over kept rows and on into rows still on the server, re-reads of the current row, and
// host writes into the current record between reads. After every move the row is the server's,
// the record's original value and the statement's own copy of it hold the row read (the copy
// looked at every third move only, so that it also stays put off between reads), and a row the
// host wrote over reads back as the server holds it.
TEST_P(LiveQueryRowCache, MovesBackAndForthOverTheRowCacheKeepTheServersRowsAndTheOriginals) {
  struct Step {
    eNA_PARSEDIRECTION direction;
    int times;
    bool hostWrites;  // the host writes over the current record before the first of them
  };
  const Step walk[] = {{NA_PARSE_FIRST, 1, false},    {NA_PARSE_NEXT, 620, false},    {NA_PARSE_PREVIOUS, 320, false},
                       {NA_PARSE_CURRENT, 2, true},   {NA_PARSE_NEXT, 1, true},       {NA_PARSE_PREVIOUS, 1, false},
                       {NA_PARSE_NEXT, 700, false},   {NA_PARSE_PREVIOUS, 3, true},   {NA_PARSE_NEXT, 4, true},
                       {NA_PARSE_FIRST, 1, true},     {NA_PARSE_PREVIOUS, 1, false},  {NA_PARSE_NEXT, 2, false}};
  // setRead 2: reads that mark the row read and reads that do not, in turn, so that the roads
  // with and without the statement's put-off copy follow each other.
  std::vector<ColumnsCase> cases(std::begin(kColumnsCases), std::end(kColumnsCases));
  cases.push_back({L"id, d, n", 2});
  cases.push_back({L"id, d, n, m", 2});
  for (const ColumnsCase& c : cases) {
    const bool memo = c.Memo();
    CNADataAccess* a = Run(c.columns);
    ASSERT_NE(a, nullptr);
    CNARecord* record = a->pclGetCurrentRecordNoRef();
    int at = 0;  // the row's id; 0 before the first, kRows + 1 past the last
    int moves = 0;
    bool restarted = false;
    for (const Step& s : walk) {
      for (int t = 0; t < s.times; ++t) {
        const std::string what = Utf8(c.columns) + " setRead " + std::to_string(c.setRead) + ", move " +
                                 std::to_string(moves) + " from id " + std::to_string(at);
        if (s.hostWrites && t == 0) {
          CNAKJRecord* kj = record->pclGetCurrentValueNoRef()->pclGetNAKJRecord();
          memset(kj->pbyGetValues(), 'z', kj->nGetTotalSize() - kj->nGetFlagFieldSize());
        }
        const int setRead = c.setRead == 2 ? moves % 2 : c.setRead;
        ASSERT_TRUE(a->bHLitxxx(L"id", s.direction, setRead, kNoLock, nullptr, 0))
            << what << ": " << Utf8(m_error.pszGetError());
        ++moves;
        at = s.direction == NA_PARSE_FIRST      ? 1
             : s.direction == NA_PARSE_NEXT     ? std::min(at + 1, kRows + 1)
             : s.direction == NA_PARSE_PREVIOUS ? std::max(at - 1, 0)
                                                : at;
        int out = 1;
        a->bHEndehors(L"id", &out);
        ASSERT_EQ(out != 0, at < 1 || at > kRows) << what;
        if (out) continue;
        ASSERT_NO_FATAL_FAILURE(ExpectRow(a, at, memo, what));
        const std::string bytes = Bytes(record->pclGetCurrentValueNoRef());
        // A first read after the browse began reads on from the server, where a read that does
        // not mark the row read leaves the original where it was.
        restarted = restarted || (s.direction == NA_PARSE_FIRST && moves > 1);
        if (setRead || !restarted) {
          ASSERT_EQ(Bytes(record->pclGetOriginalValueNoRef()), bytes) << what;
        }
        if (moves % 3 == 0) {
          ASSERT_EQ(Bytes(a->pclGetLastStatementNoRef()->pclGetStmtOriginalRecord()), bytes) << what;
        }
      }
    }
  }
}

// Reads in direction until the browse leaves the rows: their count and the sum of their ids.
// Kept out of line and free of checks, so that a profiler can take one pass alone
// (valgrind --toggle-collect='*ReadPass*').
__attribute__((noinline)) std::pair<int, long long> ReadPass(CNADataAccess* a, eNA_PARSEDIRECTION direction) {
  std::pair<int, long long> seen{0, 0};
  CNAColumn* id = a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(0);
  CAny v;
  for (;;) {
    if (!a->bHLitxxx(L"id", direction, 1, kNoLock, nullptr, 0)) return {-1, -1};
    int out = 1;
    a->bHEndehors(L"id", &out);
    if (out) return seen;
    id->bGetCurrentValue(&v, 0);
    int n = 0;
    v.nGetINT(&n);
    ++seen.first;
    seen.second += n;
  }
}

// A pass from first to last fills the row cache; a pass back from past the last reads every row
// from it, once, in reverse; a second pass forward from before the first reads them again.
TEST_P(LiveQueryRowCache, PassesForwardBackAndForwardAgainReadEveryRowOnce) {
  const std::pair<int, long long> all{kRows, static_cast<long long>(kRows) * (kRows + 1) / 2};
  for (const wchar_t* columns : {L"id, d, n", L"id, d, n, m"}) {
    CNADataAccess* a = Run(columns);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    std::pair<int, long long> forward = ReadPass(a, NA_PARSE_NEXT);
    forward.first += 1;
    forward.second += 1;
    EXPECT_EQ(forward, all) << Utf8(columns);
    EXPECT_EQ(ReadPass(a, NA_PARSE_PREVIOUS), all) << Utf8(columns);
    EXPECT_EQ(ReadPass(a, NA_PARSE_NEXT), all) << Utf8(columns);
    EXPECT_EQ(a->pclGetLastStatementNoRef()->pclGetRecordCacheNoRef()->nGetCount(), kRows) << Utf8(columns);
  }
}

// Rows read one after the other stay in the client's result until something needs them from the
// cache: moves back, a place saved and gone back to, the last row and the count, each with and
// without memos (rows with a memo are copied as they come, between rows left in the result).
TEST_P(LiveQueryRowCache, RowsLeftInTheResultComeBackForEveryUseOfTheRowCache) {
  constexpr int kStop = 1000;
  for (const wchar_t* columns : {L"id, d, n", L"id, d, n, m"}) {
    const bool memo = std::wstring(columns).find(L'm') != std::wstring::npos;
    const std::string what = Utf8(columns);
    CNADataAccess* a = Run(columns);
    ASSERT_NE(a, nullptr);
    auto step = [&](eNA_PARSEDIRECTION direction, int times) {
      for (int i = 0; i < times; ++i) ASSERT_TRUE(a->bHLitxxx(L"id", direction, 1, kNoLock, nullptr, 0)) << what;
    };
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_FIRST, 1));
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_NEXT, kStop - 1));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kStop, memo, what));
    if (!memo) {
      // Nothing copied yet but the first row.
      EXPECT_EQ(a->pclGetLastStatementNoRef()->pclGetRecordCacheNoRef()->nGetCount(), 1) << what;
    }
    int saved = -1;
    ASSERT_TRUE(a->bHSauvePosition(&saved, L"id", static_cast<eNAPOSITION>(0))) << what;
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_PREVIOUS, 10));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kStop - 10, memo, what));
    // One row past the rows kept, and back: the single pending row is the result's current one.
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_NEXT, 11));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kStop + 1, memo, what));
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_PREVIOUS, 1));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kStop, memo, what));
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_NEXT, 2));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kStop + 2, memo, what));
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_NEXT, 498));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kStop + 500, memo, what));
    wchar_t item[255];
    ASSERT_TRUE(a->bHRetourPosition(saved, item, 0, static_cast<eNAPOSITION>(0))) << what;
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kStop, memo, what));
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_NEXT, 1));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kStop + 1, memo, what));
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_LAST, 1));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kRows, memo, what));
    ASSERT_NO_FATAL_FAILURE(step(NA_PARSE_PREVIOUS, 1));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(a, kRows - 1, memo, what));
    long long count = 0;
    EXPECT_TRUE(a->bHNbEnr(&count, 16, 0)) << what;
    EXPECT_EQ(count, kRows) << what;
    // Every row once, in order, as the cache holds it now.
    EXPECT_EQ(ReadPass(a, NA_PARSE_PREVIOUS).first, kRows - 2) << what;
    EXPECT_EQ(ReadPass(a, NA_PARSE_NEXT), (std::pair<int, long long>{kRows, static_cast<long long>(kRows) * (kRows + 1) / 2}))
        << what;
  }
}

// A browse stands on row 1000 (or past the last row), the rows after the first still in the
// client's result, when its row is written, deleted, its transaction ends, another browse of the
// access reads the record or a seek takes the query's table cache whole: the seek finds the row
// sought, moves go on from there, the row written reads as written, the row deleted is passed
// over, and passes over all rows read every row once.
TEST_P(LiveQueryRowCache, RowsLeftInTheResultFollowWritesAndOtherReadsOfTheAccess) {
  enum Road { kModify, kDelete, kTransactionEnd, kOtherBrowse, kSeekTakesTableCache, kSeekPastTheEnd };
  const struct {
    const char* what;
    Road road;
    unsigned int flags;
  } cases[] = {{"modify", kModify, 0},           {"modify, table cache", kModify, 0x6000},
               {"delete", kDelete, 0},           {"delete, table cache", kDelete, 0x6000},
               {"transaction end", kTransactionEnd, 0}, {"other browse", kOtherBrowse, 0},
               {"seek", kSeekTakesTableCache, 0x6000}, {"seek past the end", kSeekPastTheEnd, 0x6000}};
  constexpr int kStop = 1000;
  for (const auto& c : cases) {
    std::string err;
    ASSERT_TRUE(m_raw.exec("REPLACE INTO " + m_strTable + " VALUES (1000, NULL, NULL, 'm1000')", &err)) << err;
    CNADataAccess* a = Run(L"id, d, n");
    ASSERT_NE(a, nullptr);
    auto step = [&](const wchar_t* item, eNA_PARSEDIRECTION direction, int times) {
      for (int i = 0; i < times; ++i)
        ASSERT_TRUE(a->bHLitxxx(item, direction, 1, kNoLock, nullptr, c.flags)) << c.what << ": " << Utf8(m_error.pszGetError());
    };
    auto id = [&]() {
      int out = 1;
      a->bHEndehors(L"id", &out);
      return out ? 0 : std::stoi(Value(a, 0));
    };
    ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_FIRST, 1));
    ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_NEXT, kStop - 1));
    ASSERT_EQ(id(), kStop) << c.what;
    CNAColumn* d = a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(1);
    const CAny z = FromText(ZV_DSTRW, L"z");
    if (c.road == kModify) {
      ASSERT_TRUE(d->bSetValue(&z, 0) && a->bHModifie(0, 0, kNoLock)) << c.what << ": " << Utf8(m_error.pszGetError());
    } else if (c.road == kDelete) {
      ASSERT_TRUE(a->bHSupprime(0, kNoLock)) << c.what << ": " << Utf8(m_error.pszGetError());
      // Counted before the browse reached its end: the row deleted is not one of them.
      long long count = 0;
      EXPECT_TRUE(a->bHNbEnr(&count, 16, 0)) << c.what;
      EXPECT_EQ(count, kRows - 1) << c.what;
    } else if (c.road == kTransactionEnd) {
      a->SetTransactionTermined();
    } else if (c.road == kOtherBrowse) {
      ASSERT_NO_FATAL_FAILURE(step(L"n", NA_PARSE_FIRST, 1));
      ASSERT_NO_FATAL_FAILURE(step(L"n", NA_PARSE_NEXT, 3));
    } else {
      // Past the end, the browse's row cache is complete while rows are still in the result.
      if (c.road == kSeekPastTheEnd) {
        ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_NEXT, kRows - kStop + 1));
      }
      CAny n;
      n.SetI4(1501 * 3 - 4000);
      ASSERT_TRUE(a->bHRecherche(L"n", &n, 0, 1, kNoLock, nullptr, 1, c.flags)) << c.what;
      EXPECT_EQ(id(), 1501) << c.what;
      ASSERT_NO_FATAL_FAILURE(step(L"n", NA_PARSE_NEXT, 1));
      EXPECT_EQ(id(), 1502) << c.what;
    }
    if (c.road == kSeekPastTheEnd) {
      ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_FIRST, 1));
      ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_NEXT, kStop - 1));
    }
    ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_NEXT, 1));
    EXPECT_EQ(id(), kStop + 1) << c.what;
    ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_PREVIOUS, c.road == kDelete ? 1 : 5));
    EXPECT_EQ(id(), c.road == kDelete ? kStop - 1 : kStop - 4) << c.what;
    if (c.road != kDelete) {
      ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_NEXT, 4));
      EXPECT_EQ(id(), kStop) << c.what;
      EXPECT_EQ(Value(a, 1), c.road == kModify ? L"z" : L"NULL") << c.what;
    }
    const int rows = c.road == kDelete ? kRows - 1 : kRows;
    const long long sum = static_cast<long long>(kRows) * (kRows + 1) / 2 - (c.road == kDelete ? kStop : 0);
    ASSERT_NO_FATAL_FAILURE(step(L"id", NA_PARSE_LAST, 1));
    EXPECT_EQ(ReadPass(a, NA_PARSE_PREVIOUS), (std::pair<int, long long>{rows - 1, sum - kRows})) << c.what;
    EXPECT_EQ(ReadPass(a, NA_PARSE_NEXT), (std::pair<int, long long>{rows, sum})) << c.what;
  }
}

// Rows the row cache keeps short: texts ending in spaces, filling their slot, empty and NULL,
// binary values ending in zero bytes or all 0xFF. A pass first to last, a pass back over the
// cache, then steps back and forth over it and a last read: after every move the record holds
// the bytes the first pass read at that row, the text the server holds and, as original value,
// the row read; the cache keeps its rows short. Then the same rows without their key, many of
// them equal, browsed both ways.
TEST_P(LiveQueryRowCache, ShortKeptRowsReadBackAsTheServersBytes) {
  const char* const texts[] = {"NULL", "''", "'a'", "'a   '", "'abcdefghijkl'", "' x '"};
  const char* const binaries[] = {"NULL", "x''", "x'00'", "x'4100'", "x'000000000001'", "x'FFFFFFFFFFFF'", "x'20'"};
  constexpr int kShortRows = 300;
  const std::string table = "s" + m_strTable;
  std::string err;
  ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + table, &err)) << err;
  ASSERT_TRUE(m_raw.exec("CREATE TABLE " + table + " (id INT PRIMARY KEY, t VARCHAR(12) NULL, b VARBINARY(6) NULL)", &err))
      << err;
  std::string insert = "INSERT INTO " + table + " VALUES ";
  for (int k = 1; k <= kShortRows; ++k)
    insert += (k > 1 ? "," : "") + std::string("(") + std::to_string(k) + "," + texts[k % 6] + "," +
              binaries[(k / 6) % 7] + ")";
  ASSERT_TRUE(m_raw.exec(insert, &err)) << err;
  const std::wstring wide = Wide(table);
  Describe(wide, {{L"t", NA_IT_TEXTE, 13}, {L"b", NA_IT_BINAIRE, 6}});
  for (int setRead : {0, 1}) {
    const std::string what = "setRead " + std::to_string(setRead);
    CNADataAccess* a = Run(L"id, t, b", &wide);
    ASSERT_NE(a, nullptr) << what;
    CNARecord* record = a->pclGetCurrentRecordNoRef();
    std::vector<std::string> first;  // the bytes of each row, as the first pass read them
    std::vector<std::wstring> text;
    struct Step {
      eNA_PARSEDIRECTION direction;
      int times;
    };
    const Step walk[] = {{NA_PARSE_FIRST, 1},         {NA_PARSE_NEXT, kShortRows - 1}, {NA_PARSE_PREVIOUS, kShortRows - 1},
                         {NA_PARSE_NEXT, 130},        {NA_PARSE_PREVIOUS, 70},         {NA_PARSE_CURRENT, 1},
                         {NA_PARSE_NEXT, 5},          {NA_PARSE_LAST, 1},              {NA_PARSE_PREVIOUS, 3}};
    int at = 0;
    for (const Step& step : walk) {
      // After a pass forward and back, the statement's row cache holds every row, kept short.
      if (&step == &walk[3]) {
        const CNARecordCache* cache = a->pclGetLastStatementNoRef()->pclGetRecordCacheNoRef();
        ASSERT_NE(cache, nullptr) << what;
        ASSERT_EQ(cache->nGetCount(), kShortRows) << what;
        EXPECT_TRUE(cache->bKeepsShortRows()) << what;
        size_t stored = 0;
        for (int i = 0; i < kShortRows; ++i) {
          unsigned int n = 0;
          if (cache->GetRecordTable().pGetElement(i, &n) != nullptr) stored += n;
        }
        EXPECT_LT(stored, first.front().size() * kShortRows) << what;
      }
      for (int n = 0; n < step.times; ++n) {
        ASSERT_TRUE(a->bHLitxxx(L"id", step.direction, setRead, kNoLock, nullptr, 0)) << what;
        at = step.direction == NA_PARSE_FIRST  ? 1
             : step.direction == NA_PARSE_LAST ? kShortRows
             : step.direction == NA_PARSE_NEXT ? at + 1
             : step.direction == NA_PARSE_PREVIOUS ? at - 1
                                                   : at;
        int out = 1;
        a->bHEndehors(L"id", &out);
        ASSERT_EQ(out != 0, at < 1 || at > kShortRows) << what << " at " << at;
        if (out) continue;
        const std::string bytes = Bytes(record->pclGetCurrentValueNoRef());
        if (static_cast<int>(first.size()) < at) {
          first.push_back(bytes);
          text.push_back(Value(a, 1));
          const std::string server = texts[at % 6];
          EXPECT_EQ(Utf8(text.back().c_str()), server == "NULL" ? "NULL" : server.substr(1, server.size() - 2))
              << what << " at " << at;
        }
        const std::string where = what + " at " + std::to_string(at);
        ASSERT_EQ(bytes, first[static_cast<size_t>(at - 1)]) << where;
        EXPECT_EQ(Value(a, 1), text[static_cast<size_t>(at - 1)]) << where;
        if (setRead) {
          EXPECT_EQ(Bytes(record->pclGetOriginalValueNoRef()), bytes) << where;
        }
      }
    }
  }
  // Without the key, rows repeat: browsed on t, a pass forward and a pass forward again read the
  // same rows in the same order, bytes for bytes, and a pass back from the last the same rows.
  CNADataAccess* a = Run(L"t, b", &wide);
  ASSERT_NE(a, nullptr);
  const CNARecord* record = a->pclGetCurrentRecordNoRef();
  std::vector<std::string> passes[3];
  const eNA_PARSEDIRECTION starts[3] = {NA_PARSE_FIRST, NA_PARSE_LAST, NA_PARSE_FIRST};
  for (int pass = 0; pass < 3; ++pass) {
    const eNA_PARSEDIRECTION then = starts[pass] == NA_PARSE_FIRST ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
    for (BOOL ok = a->bHLitxxx(L"t", starts[pass], 1, kNoLock, nullptr, 0);;
         ok = a->bHLitxxx(L"t", then, 1, kNoLock, nullptr, 0)) {
      ASSERT_TRUE(ok) << "pass " << pass;
      int out = 1;
      a->bHEndehors(L"t", &out);
      if (out) break;
      passes[pass].push_back(Bytes(record->pclGetCurrentValueNoRef()));
      ASSERT_LE(passes[pass].size(), static_cast<size_t>(kShortRows)) << "pass " << pass;
    }
  }
  ASSERT_EQ(passes[0].size(), static_cast<size_t>(kShortRows));
  EXPECT_EQ(passes[2], passes[0]);
  // Read back from the end, rows the order ties may come in another order.
  std::multiset<std::string> back(passes[1].begin(), passes[1].end());
  EXPECT_EQ(back, std::multiset<std::string>(passes[0].begin(), passes[0].end()));
  EXPECT_LT(std::set<std::string>(passes[0].begin(), passes[0].end()).size(), static_cast<size_t>(kShortRows));
  ASSERT_TRUE(m_raw.exec("DROP TABLE " + table, &err)) << err;
}

INSTANTIATE_TEST_SUITE_P(Live, LiveQueryRowCache,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Values(false, true)));

}  // namespace

// Client-side indexes against a model ordered by key, then row number (memo indexes: raw bytes,
// empties first, then arrival): fixed-size indexes over I4, I8, R8, TEXTE, UNICODE, DATETIME and
// DECIMAL columns and memo indexes over text and binary memos, with NULLs, duplicates past 256
// rows on one key and rows in state 128; walks with and without a user search value; upkeep
// through random inserts, updates and deletes; positioning on the current record among equal
// keys. Then the table cache's bookkeeping over a statement whose row cache is complete, with a
// data access that records the position calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "access/narecordcache.h"
#include "access/natablecache.h"
#include "access/natablecacheindex.h"
#include "sql/nafilter.h"
#include "sql/nastatement.h"
#include "values/datetime.h"
#include "values/idecimal.h"
#include "tests/support/record_bench.h"

namespace {

// A kind of indexed column: values by rank, rank order being key order; the rank NULL keys as
// (the empty value), and a value above every rank.
struct Kind {
  const wchar_t* name;
  eNA_ITEMTYPE type;
  unsigned int size;
  int ranks;
  int nullRank;
  bool memo;
};

const wchar_t* const kTexts[] = {L"", L"0", L"A", L"AB", L"B", L"Z", L"a", L"ab", L"b", L"~", L"~~"};
// Code-point order: U+1F600 after U+FFFD (in UTF-16 units it would come first).
const wchar_t* const kUnicode[] = {L"", L"A", L"a", L"\u00e9", L"\u03a9", L"\ufffd", L"\U0001F600", L"\U0010FFFD"};
const wchar_t* const kMemoTexts[] = {L"", L"A", L"a", L"ab", L"b", L"z", L"zz"};
const std::string kMemoBins[] = {std::string(), std::string(1, '\0'), std::string(2, '\0'), std::string("\0\1", 2),
                                 "\1", "\xff", std::string("\xff\0", 2), "\xff\xff"};

// The last rank of each table is the value above every row.
const Kind kKinds[] = {
    {L"i4", NA_IT_I4, 4, 10, 5, false},
    {L"i8", NA_IT_I8, 8, 10, 5, false},
    {L"r8", NA_IT_R8, 8, 10, 5, false},
    {L"tx", NA_IT_TEXTE, 12, 10, 0, false},
    {L"uc", NA_IT_UNICODE, 12, 7, 0, false},
    {L"dt", NA_IT_DATETIME, 8, 8, 0, false},
    {L"dec", NA_IT_DECIMAL, 16, 10, 5, false},
    {L"mt", NA_IT_MEMOTEXTE, 8, 6, 0, true},
    {L"mb", NA_IT_MEMOBINAIRE, 8, 7, 0, true},
};
constexpr int kKindCount = sizeof kKinds / sizeof kKinds[0];

// One row's value in every kind; -1 is NULL.
using Ranks = std::vector<int>;

class Table : public AnyTest {
 protected:
  void SetUp() override {
    m_pBench = std::make_unique<RecordBench>();
    for (const Kind& k : kKinds) {
      CHostItemDescription* item = m_pBench->Add(k.name, k.type, k.size);
      if (k.type == NA_IT_DECIMAL) {
        item->m_nIntegerPart = 10;
        item->m_nDecimalPart = 2;
      }
    }
    ASSERT_TRUE(m_pBench->Build());
    m_pStatement = new CNAStatement(m_pBench->m_pAccess, &m_pBench->m_error);
    m_pStatement->AddRef();
    m_pCache = new CNARecordCache();
    m_pCache->AddRef();
  }
  void TearDown() override {
    for (CNATableCacheIndex* ix : m_indexes) ix->dwRelease();
    m_pCache->nRelease();
    m_pStatement->nRelease();
    m_pBench.reset();
    AnyTest::TearDown();
  }

  CNAColumn* Column(int k) const { return m_pBench->Column(kKinds[k].name); }
  CNARecord* Record() const { return m_pBench->Record(); }

  // The value of rank r of kind k (r may be the rank above every row).
  CAny Value(int k, int r) const {
    const Kind& kind = kKinds[k];
    const unsigned short zv = Column(k)->eGetZVType();
    CAny a;
    switch (kind.type) {
      case NA_IT_I4:
        a.SetI4((r - 5) * 1000);
        break;
      case NA_IT_I8:
        a.SetI8((r - 5) * 1000000000000LL);
        break;
      case NA_IT_R8:
        a.SetR8((r - 5) * 0.5);
        break;
      case NA_IT_TEXTE:
        return FromText(zv, kTexts[r]);
      case NA_IT_UNICODE:
        return FromText(zv, kUnicode[r]);
      case NA_IT_DATETIME: {
        // Rank 0 is the empty date, which NULL keys as.
        CDateTime d;
        if (r > 0) d.Set(1999 + r, 1 + r % 12, 1 + r, r % 24, 0, 0, 0);
        a.SetDATETIME(d);
        break;
      }
      case NA_IT_DECIMAL: {
        wchar_t text[24];
        swprintf(text, 24, L"%.2f", (r - 5) * 1.25);
        return FromText(ZV_DECIMAL, text);
      }
      case NA_IT_MEMOTEXTE:
        return FromText(zv, kMemoTexts[r]);
      default:
        a.SetBIN(reinterpret_cast<const unsigned char*>(kMemoBins[r].data()),
                 static_cast<unsigned int>(kMemoBins[r].size()));
        break;
    }
    return a;
  }
  void SetCurrent(const Ranks& ranks) {
    for (int k = 0; k < kKindCount; ++k) {
      if (ranks[k] < 0) {
        Column(k)->bSetValueNULL();
        continue;
      }
      CAny v = Value(k, ranks[k]);
      ASSERT_TRUE(Column(k)->bSetValue(&v, 0)) << kKinds[k].name << " " << ranks[k];
    }
  }
  // Rank 1 everywhere but in kind 1, which makes the row's bytes its own.
  static Ranks Distinct(int row) {
    Ranks r(kKindCount, 1);
    r[1] = row % 9;
    return r;
  }
  // Appends a row to the full cache; its index.
  int Append(const Ranks& ranks, int state = 0) {
    SetCurrent(ranks);
    CNARecordValue* v = Record()->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL);
    v->AddRef();
    v->SetState(static_cast<eNA_RECORDSTATE>(state));
    const int row = m_pCache->nAjoute(v);
    v->nRelease();
    m_rows.push_back(ranks);
    m_states.push_back(state);
    m_arrival.push_back(std::vector<int>(kKindCount, ++m_nArrival));
    return row;
  }
  CNATableCacheIndex* Build(int k) {
    auto* ix = new CNATableCacheIndex(&m_pBench->m_error, m_pStatement, m_pCache, Column(k));
    ix->AddRef();
    m_indexes.push_back(ix);
    EXPECT_TRUE(ix->bInit()) << kKinds[k].name;
    return ix;
  }
  void Search(int k, std::optional<int> rank) {
    CNAUserSearch* search = m_pStatement->pclGetUserSearch();
    if (!rank) {
      search->CancelUserSearch();
      return;
    }
    CAny v = Value(k, *rank);
    search->SetUserSearch(Column(k)->piGetItemNoRef(), &v, 0);
  }

  // The key rank of row's value in kind k.
  int Key(int k, int row) const { return m_rows[row][k] < 0 ? kKinds[k].nullRank : m_rows[row][k]; }
  // The indexed rows in the model's order.
  std::vector<int> Order(int k) const {
    std::vector<int> rows;
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r)
      if (m_states[r] == 0) rows.push_back(r);
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
      if (Key(k, a) != Key(k, b)) return Key(k, a) < Key(k, b);
      return kKinds[k].memo ? m_arrival[a][k] < m_arrival[b][k] : a < b;
    });
    return rows;
  }
  // Rows read with first/last and then next/previous to the end.
  static std::vector<int> Walk(CNATableCacheIndex* ix, bool forward, int firstN = 1,
                               std::vector<unsigned int>* dups = nullptr) {
    std::vector<int> rows;
    int row;
    unsigned int dup = 0;
    ix->bGetRecordPosition(forward ? NA_PARSE_FIRST : NA_PARSE_LAST, firstN, &row, dups != nullptr ? &dup : nullptr);
    while (row >= 0 && rows.size() < 100000) {
      rows.push_back(row);
      if (dups != nullptr) dups->push_back(dup);
      ix->bGetRecordPosition(forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 1, &row, dups != nullptr ? &dup : nullptr);
    }
    return rows;
  }
  // Rows equal in bytes and memo values (NULL and empty memos alike).
  bool RowsEqual(int a, int b) {
    CNARecordValue* va = Record()->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL);
    CNARecordValue* vb = Record()->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL);
    va->AddRef();
    vb->AddRef();
    bool equal = m_pCache->bGetAt(va, static_cast<unsigned int>(a)) && m_pCache->bGetAt(vb, static_cast<unsigned int>(b));
    const CNAKJRecord *ra = va->pclGetNAKJRecord(), *rb = vb->pclGetNAKJRecord();
    equal = equal && memcmp(ra->pbyGetNullValuesFlags(), rb->pbyGetNullValuesFlags(), ra->nGetTotalSize()) == 0;
    for (int m = 0; equal && m < 2; ++m) {
      const CNAConvertVariant *x = va->pclGetMemoValueNoRef(m), *y = vb->pclGetMemoValueNoRef(m);
      const unsigned int nx = x != nullptr && !x->pclGetValue()->bIsNull() ? x->nGetSize() : 0;
      const unsigned int ny = y != nullptr && !y->pclGetValue()->bIsNull() ? y->nGetSize() : 0;
      equal = nx == ny && (nx == 0 || memcmp(x->pGetData(), y->pGetData(), nx) == 0);
    }
    va->nRelease();
    vb->nRelease();
    return equal;
  }

  // Made in SetUp and gone before the base checks that no decimal object is left.
  std::unique_ptr<RecordBench> m_pBench;
  CNAStatement* m_pStatement = nullptr;
  CNARecordCache* m_pCache = nullptr;
  std::vector<CNATableCacheIndex*> m_indexes;
  std::vector<Ranks> m_rows;
  std::vector<int> m_states;
  std::vector<std::vector<int>> m_arrival;
  int m_nArrival = 0;
};

// Rows with NULLs, a key held by more than 256 rows, exact copies and rows in state 128.
void Fill(Table* t, std::mt19937& rng, int n, const std::function<int(const Ranks&, int)>& append) {
  Ranks previous;
  for (int row = 0; row < n; ++row) {
    Ranks ranks(kKindCount);
    for (int k = 0; k < kKindCount; ++k) {
      const int top = kKinds[k].ranks - 1;  // the last rank stays above every row
      if (row >= 100 && row < 400 && rng() % 10 != 0)
        ranks[k] = 2;
      else
        ranks[k] = rng() % 9 == 0 ? -1 : static_cast<int>(rng() % top);
    }
    if (row % 9 == 1 && !previous.empty()) ranks = previous;
    append(ranks, row % 13 == 12 ? 128 : 0);
    previous = ranks;
  }
  (void)t;
}

TEST_F(Table, IndexesWalkInKeyOrderWithAndWithoutASearchValue) {
  std::mt19937 rng(35);
  Fill(this, rng, 700, [&](const Ranks& r, int s) { return Append(r, s); });
  for (int k = 0; k < kKindCount; ++k) {
    SCOPED_TRACE(testing::Message() << "kind " << k);
    CNATableCacheIndex* ix = Build(k);
    const std::vector<int> order = Order(k);
    ASSERT_EQ(ix->nGetRecordNbr(), static_cast<int>(order.size()));
    int biggest = 0;
    for (int r : order) biggest = std::max<int>(biggest, static_cast<int>(std::count_if(order.begin(), order.end(), [&](int o) {
                                                      return Key(k, o) == Key(k, r);
                                                    })));
    EXPECT_GT(biggest, 256);

    Search(k, std::nullopt);
    std::vector<unsigned int> dups;
    ASSERT_EQ(Walk(ix, true, 1, &dups), order);
    std::vector<int> reversed(order.rbegin(), order.rend());
    ASSERT_EQ(Walk(ix, false), reversed);
    // Equal rows just before each one, in the walk (fixed-size indexes count them).
    if (!kKinds[k].memo) {
      for (size_t i = 0; i < order.size(); ++i) {
        unsigned int expected = 0;
        for (size_t j = i; j > 0 && RowsEqual(order[j - 1], order[i]); --j) ++expected;
        ASSERT_EQ(dups[i], expected) << i;
      }
    }
    // Counts from the first and the last; entries before the current one.
    int row;
    ASSERT_TRUE(ix->bGetRecordPosition(NA_PARSE_FIRST, 3, &row, nullptr));
    EXPECT_EQ(row, order[2]);
    EXPECT_EQ(ix->nGetPreviousRecordNbr(), 2);
    ASSERT_TRUE(ix->bGetRecordPosition(NA_PARSE_LAST, 2, &row, nullptr));
    EXPECT_EQ(row, order[order.size() - 2]);
    EXPECT_EQ(ix->nGetCurrentRecordId(), row);
    EXPECT_EQ(ix->nGetPreviousRecordNbr(), static_cast<int>(order.size()) - 2);
    ASSERT_TRUE(ix->bGetRecordPosition(NA_PARSE_NEXT, 5, &row, nullptr));
    EXPECT_EQ(row, -1);
    EXPECT_EQ(ix->nGetCurrentRecordId(), order[order.size() - 2]) << "a move that cannot be made stays";

    // A search value bounds first and last: the walks go on to the end from there.
    for (int s : {0, 1, 2, 4, kKinds[k].ranks - 1}) {
      Search(k, s);
      std::vector<int> from, upTo;
      for (int r : order)
        if (Key(k, r) >= s) from.push_back(r);
      for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (Key(k, *it) <= s) upTo.push_back(*it);
      ASSERT_EQ(Walk(ix, true), from) << "search rank " << s;
      ASSERT_EQ(Walk(ix, false), upTo) << "search rank " << s;
    }
    Search(k, std::nullopt);
  }
}

TEST_F(Table, EqualKeysWalkInRowOrderPast256) {
  for (int row = 0; row < 300; ++row) Append(Ranks(kKindCount, 3));
  for (int k : {0, 3}) {
    std::vector<int> rows(300);
    for (int r = 0; r < 300; ++r) rows[r] = r;
    EXPECT_EQ(Walk(Build(k), true), rows);
  }
}

TEST_F(Table, IndexesFollowRandomInsertsUpdatesAndDeletes) {
  std::mt19937 rng(8);
  // Rows differ in their bytes: the full cache finds each by them.
  for (int row = 0; row < 120; ++row) {
    Ranks r(kKindCount);
    for (int k = 0; k < kKindCount; ++k) r[k] = rng() % 7 == 0 ? -1 : static_cast<int>(rng() % (kKinds[k].ranks - 1));
    Append(r, row % 13 == 12 ? 128 : 0);
  }
  std::vector<CNATableCacheIndex*> ix;
  for (int k = 0; k < kKindCount; ++k) ix.push_back(Build(k));
  CNARecordValue* original = Record()->pclGetOriginalValueNoRef();
  auto random = [&] {
    Ranks r(kKindCount);
    for (int k = 0; k < kKindCount; ++k) r[k] = rng() % 7 == 0 ? -1 : static_cast<int>(rng() % (kKinds[k].ranks - 1));
    return r;
  };
  auto notify = [&](eNAQUERYTYPE type, int row) {
    for (CNATableCacheIndex* i : ix) i->OnNotifyOperation(type, row, 0);
  };
  for (int step = 0; step < 300; ++step) {
    const int op = static_cast<int>(rng() % 3);
    std::vector<int> live;
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r)
      if (m_states[r] == 0) live.push_back(r);
    if (op == 0 || live.empty()) {  // insert: the full cache appends, then every index hears it
      const Ranks r = random();
      SetCurrent(r);
      const int row = m_pCache->nOnNotifyOperation(NA_QUERY_INSERT, Record()->pclGetCurrentValueNoRef(), nullptr, 0, 0);
      ASSERT_EQ(row, static_cast<int>(m_rows.size()));
      m_rows.push_back(r);
      m_states.push_back(0);
      m_arrival.push_back(std::vector<int>(kKindCount, ++m_nArrival));
      notify(NA_QUERY_INSERT, row);
    } else {
      const int row = live[rng() % live.size()];
      ASSERT_TRUE(m_pCache->bGetAt(original, static_cast<unsigned int>(row)));
      ASSERT_TRUE(Record()->bCopyOriginalRecordToCurrentRecord());
      if (op == 1) {  // update: some columns keep their value
        Ranks r = random();
        for (int k = 0; k < kKindCount; ++k) {
          if (rng() % 2 == 0) r[k] = m_rows[row][k];
          // Whether an empty memo (NULL or none) equals another empty one is the values' own
          // business; the index is not asked that here.
          if (kKinds[k].memo && Key(k, row) == 0 && r[k] <= 0) r[k] = 1 + static_cast<int>(rng() % (kKinds[k].ranks - 2));
        }
        SetCurrent(r);
        ASSERT_EQ(m_pCache->nOnNotifyOperation(NA_QUERY_UPDATE, Record()->pclGetCurrentValueNoRef(), original, 0, 0), row);
        notify(NA_QUERY_UPDATE, row);
        // A memo entry moves (to the end of its equals) unless its value stays equal.
        for (int k = 0; k < kKindCount; ++k)
          if (kKinds[k].memo && !(r[k] > 0 && r[k] == m_rows[row][k])) m_arrival[row][k] = ++m_nArrival;
        m_rows[row] = r;
      } else {  // delete: marked in the full cache, out of every index
        ASSERT_EQ(m_pCache->nOnNotifyOperation(NA_QUERY_DELETE, nullptr, original, 0, 0), row);
        notify(NA_QUERY_DELETE, row);
        m_states[row] = 128;
      }
    }
    for (int k = 0; k < kKindCount; ++k) {
      ASSERT_EQ(Walk(ix[k], true), Order(k)) << "step " << step << " op " << op << " kind " << k;
    }
  }
}

TEST_F(Table, SetCurrentPosAmongFiveEqualKeys) {
  // Key 7 (text column rank 7) on five rows: bytes A, B, B, B, C; other keys around them.
  const int kKey = 3, kText = 4;
  auto ranks = [&](int key, int text) {
    Ranks r(kKindCount, 1);
    r[kKey] = key;
    r[kText] = text;
    return r;
  };
  Append(ranks(2, 0));                                                 // row 0
  for (int text : {1, 2, 2, 2, 3}) Append(ranks(7, text));            // rows 1-5
  Append(ranks(8, 0));                                                 // row 6
  CNATableCacheIndex* ix = Build(kKey);
  struct Case {
    const char* what;
    int key, text, pos, dup;
    int found, current;
  } cases[] = {
      {"the first equal row", 7, 2, -1, 0, 1, 2},
      {"two more equal rows: on the last", 7, 2, -1, 2, 1, 4},
      {"three more reach an unequal one: back to the first equal", 7, 2, -1, 3, 0, 2},
      {"the first duplicate is the equal one", 7, 1, -1, 0, 1, 1},
      {"no equal row: the first duplicate", 7, 4, -1, 0, 0, 1},
      {"a key that is not there: the first key above", 5, 0, -1, 0, 0, 1},
      {"a row given", 7, 3, 3, 0, 1, 3},
      {"a row given under another key", 7, 1, 6, 0, 0, -2},
  };
  for (const Case& c : cases) {
    SetCurrent(ranks(c.key, c.text));
    ASSERT_TRUE(Record()->bCopyCurrentRecordToOriginalRecord());
    int found = -1;
    ASSERT_TRUE(ix->bSetCurrentPos(c.pos, c.dup, &found)) << c.what;
    EXPECT_EQ(found, c.found) << c.what;
    if (c.current != -2) {
      EXPECT_EQ(ix->nGetCurrentRecordId(), c.current) << c.what;
    }
  }
}

TEST_F(Table, MemoIndexPositionsAndRemovals) {
  // Memo text ranks: empties (NULL and "") first in arrival order, then by bytes.
  const int kMemo = 7;
  for (int m : {3, -1, 2, 0, 2, 4, -1}) {
    Ranks r = Distinct(static_cast<int>(m_rows.size()));
    r[kMemo] = m;
    Append(r);
  }
  CNATableCacheIndex* ix = Build(kMemo);
  ASSERT_EQ(Walk(ix, true), (std::vector<int>{1, 3, 6, 2, 4, 0, 5}));
  EXPECT_EQ(static_cast<CIndexMemo*>(ix->pclGetItemNoRef())->nGetEmptyEnd(), 2);
  int row;
  // Above every row: last is the last row, first finds none.
  Search(kMemo, kKinds[kMemo].ranks - 1);
  ASSERT_TRUE(ix->bGetRecordPosition(NA_PARSE_LAST, 1, &row, nullptr));
  EXPECT_EQ(row, 5);
  ASSERT_TRUE(ix->bGetRecordPosition(NA_PARSE_FIRST, 1, &row, nullptr));
  EXPECT_EQ(row, -1);
  Search(kMemo, std::nullopt);

  // Removing the current entry: staying on it answers no row until the next move.
  ASSERT_TRUE(ix->bGetRecordPosition(NA_PARSE_FIRST, 4, &row, nullptr));
  ASSERT_EQ(row, 2);
  CNARecordValue* original = Record()->pclGetOriginalValueNoRef();
  ASSERT_TRUE(m_pCache->bGetAt(original, 2u));
  ASSERT_EQ(m_pCache->nOnNotifyOperation(NA_QUERY_DELETE, nullptr, original, 0, 0), 2);
  ix->OnNotifyOperation(NA_QUERY_DELETE, 2, 0);
  EXPECT_EQ(ix->nGetCurrentRecordId(), -1);
  ASSERT_TRUE(ix->bGetRecordPosition(static_cast<eNA_PARSEDIRECTION>(4), 0, &row, nullptr));
  EXPECT_EQ(row, -1);
  ASSERT_TRUE(ix->bGetRecordPosition(NA_PARSE_PREVIOUS, 1, &row, nullptr));
  EXPECT_EQ(row, 6);
  EXPECT_EQ(ix->nGetCurrentRecordId(), 6);

  // An empty one removed and another inserted: the empties stay first, in arrival order.
  ASSERT_TRUE(m_pCache->bGetAt(original, 3u));
  m_pCache->nOnNotifyOperation(NA_QUERY_DELETE, nullptr, original, 0, 0);
  ix->OnNotifyOperation(NA_QUERY_DELETE, 3, 0);
  Ranks empty = Distinct(8);
  empty[kMemo] = 0;
  SetCurrent(empty);
  const int added = m_pCache->nOnNotifyOperation(NA_QUERY_INSERT, Record()->pclGetCurrentValueNoRef(), nullptr, 0, 0);
  ix->OnNotifyOperation(NA_QUERY_INSERT, added, 0);
  EXPECT_EQ(Walk(ix, true), (std::vector<int>{1, 6, added, 4, 0, 5}));
  EXPECT_EQ(static_cast<CIndexMemo*>(ix->pclGetItemNoRef())->nGetEmptyEnd(), 2);
  // The walk ended on row 5; an entry put before it leaves it current.
  empty = Distinct(7);
  empty[kMemo] = -1;
  SetCurrent(empty);
  const int more = m_pCache->nOnNotifyOperation(NA_QUERY_INSERT, Record()->pclGetCurrentValueNoRef(), nullptr, 0, 0);
  ix->OnNotifyOperation(NA_QUERY_INSERT, more, 0);
  EXPECT_EQ(ix->nGetCurrentRecordId(), 5);
  EXPECT_EQ(ix->nGetPreviousRecordNbr(), 6);
}

TEST_F(Table, MemoFirstWithASearchValueStartsAtItsFirstEqualRow) {
  const int kMemo = 8;
  for (int m : {2, 4, 4, 4, 5}) {
    Ranks r(kKindCount, 1);
    r[kMemo] = m;
    Append(r);
  }
  CNATableCacheIndex* ix = Build(kMemo);
  Search(kMemo, 4);
  EXPECT_EQ(Walk(ix, true), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(Walk(ix, false), (std::vector<int>{3, 2, 1, 0}));
}

TEST_F(Table, MemoPositionOnARowFindsItsEntry) {
  const int kMemo = 8;
  for (int m : {5, 1, 3}) {
    Ranks r(kKindCount, 1);
    r[kMemo] = m;
    Append(r);
  }
  CNATableCacheIndex* ix = Build(kMemo);  // entries: rows 1, 2, 0
  int found = 0;
  ASSERT_TRUE(ix->bSetCurrentPos(0, 0, &found));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(ix->nGetCurrentRecordId(), 0);
  EXPECT_EQ(ix->nGetPreviousRecordNbr(), 2);
  EXPECT_FALSE(ix->bSetCurrentPos(7, 0, &found));
}

TEST_F(Table, MemoPositionOnTheOriginalRowUsesItsMemoValue) {
  const int kMemo = 7;
  for (int m : {4, 1, 3, 3}) {
    Ranks r(kKindCount, 1);
    r[kMemo] = m;
    Append(r);
  }
  CNATableCacheIndex* ix = Build(kMemo);  // entries: rows 1, 2, 3, 0
  CNARecordValue* original = Record()->pclGetOriginalValueNoRef();
  ASSERT_TRUE(m_pCache->bGetAt(original, 2u));
  int found = 0;
  ASSERT_TRUE(ix->bSetCurrentPos(-1, 0, &found));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(ix->nGetCurrentRecordId(), 3) << "the last of the equal entries";
  ASSERT_TRUE(m_pCache->bGetAt(original, 0u));
  ASSERT_TRUE(ix->bSetCurrentPos(-1, 0, &found));
  EXPECT_EQ(ix->nGetCurrentRecordId(), 0);
}

TEST_F(Table, KeyOfAValueThatWritesNoByteIsZero) {
  const int kDec = 6;
  for (int d : {8, 9}) {
    Ranks r(kKindCount, 1);
    r[kDec] = d;
    Append(r);
  }
  CNATableCacheIndex* ix = Build(kDec);
  // Without a decimal object a decimal key writes nothing: the key is all zeros, below every
  // value, not the key of the row converted before it.
  static IDecimalFactory* s_real;
  struct : IDecimalFactory {
    IDecimal* piCreate(int) override { return nullptr; }
    void Free(IDecimal* p) override { s_real->Free(p); }
  } failing;
  CAny value = Value(kDec, 7);
  s_real = gpiVMFactory;
  gpiVMFactory = &failing;
  const BOOL inserted = ix->pclGetItemNoRef()->bInsertRecord(2, &value);
  gpiVMFactory = s_real;
  ASSERT_TRUE(inserted);
  EXPECT_EQ(Walk(ix, true), (std::vector<int>{2, 0, 1}));
}

TEST_F(Table, RowsNotInStateZeroAreNotIndexedAndUnreadableRowsFailTheBuild) {
  Append(Ranks(kKindCount, 1));
  Append(Ranks(kKindCount, 2), 128);
  Append(Ranks(kKindCount, 3), 0x81);
  Append(Ranks(kKindCount, 4));
  for (int k : {0, 7}) EXPECT_EQ(Walk(Build(k), true), (std::vector<int>{0, 3})) << k;
  // A row in state 0 whose bytes are gone cannot be read.
  m_pCache->Update(0, nullptr);
  m_pCache->SetRecordState(0, NA_RECORDSTATE_NONE);
  for (int k : {0, 7}) {
    CNATableCacheIndex ix(&m_pBench->m_error, m_pStatement, m_pCache, Column(k));
    ix.AddRef();
    EXPECT_FALSE(ix.bInit()) << k;
    ix.OnNotifyOperation(NA_QUERY_INSERT, 3, 0);  // no item upkeep after a failed build
  }
  CNATableCacheIndex none(&m_pBench->m_error, m_pStatement, m_pCache, Column(0));
  none.AddRef();
  int found = 1;
  EXPECT_EQ(none.nGetCurrentRecordId(), -1);
  EXPECT_EQ(none.nGetRecordNbr() + none.nGetPreviousRecordNbr(), 0);
  EXPECT_FALSE(none.bSetCurrentPos(0, 0, &found));
  int row = 0;
  EXPECT_FALSE(none.bGetRecordPosition(NA_PARSE_FIRST, 1, &row, nullptr));
  EXPECT_EQ(row, -1);
}

// ================================================================ table cache

// A data access that records the position calls the table cache makes.
class CRecordingAccess final : public CNADataAccess {
 public:
  using CNADataAccess::CNADataAccess;
  BOOL bHSauvePosition(int* id, const wchar_t* item, eNAPOSITION mode) override {
    m_csCalls += L"save " + std::wstring(item) + L" " + std::to_wstring(mode) + L";";
    *id = 41;
    return TRUE;
  }
  BOOL bHRetourPosition(int id, wchar_t* itemOut, int keep, eNAPOSITION) override {
    m_csCalls += L"return " + std::to_wstring(id) + L" keep " + std::to_wstring(keep) + L";";
    *itemOut = 0;
    return TRUE;
  }
  BOOL bHLiberePosition(int id) override {
    m_csCalls += L"free " + std::to_wstring(id) + L";";
    return TRUE;
  }
  void SetLastStatement(CNAStatement* statement) { m_pclLastStatement = statement; }
  std::wstring Calls() {
    std::wstring calls = m_csCalls;
    m_csCalls.clear();
    return calls;
  }

 private:
  std::wstring m_csCalls;
};

class TableCache : public Table {};

TEST_F(TableCache, BookkeepingOverACompleteParseStatement) {
  CRecordingAccess access(&m_pBench->m_desc, &m_pBench->m_cnx, &m_pBench->m_error);
  access.SetStatic(true);
  CNATableCache* tc = new CNATableCache(&m_pBench->m_error, &access);
  tc->AddRef();
  auto* parse = new CNAStatement(&access, &m_pBench->m_error);
  auto* other = new CNAStatement(&access, &m_pBench->m_error);
  parse->AddRef();
  other->AddRef();
  parse->SetParseItem(L"i4");

  EXPECT_TRUE(tc->bInitDone());
  EXPECT_TRUE(tc->bCacheCompleted());
  EXPECT_EQ(tc->pclGetFullCache(), nullptr);
  EXPECT_TRUE(tc->bSetStatementParse(parse));
  EXPECT_TRUE(tc->bSetStatementParse(other));  // kept the first; the second's cache is on too
  EXPECT_TRUE(tc->bIsStatementParse(parse) && !tc->bIsStatementParse(other));
  EXPECT_TRUE(other->bCacheEnabled());
  EXPECT_FALSE(tc->bInitDone());
  CNARecordCache* rows = parse->pclGetRecordCacheNoRef();
  ASSERT_NE(rows, nullptr);
  EXPECT_TRUE(tc->bIsRecordCache(rows));
  EXPECT_FALSE(tc->bIsRecordCache(other->pclGetRecordCacheNoRef()) || tc->bIsRecordCache(nullptr));
  EXPECT_TRUE(tc->bIsEmpty());

  for (int r = 0; r < 10; ++r) {
    SetCurrent(Ranks(kKindCount, r % 5));
    rows->nAjoute(Record()->pclGetCurrentValueNoRef());
  }
  rows->SetRecordState(4, NA_RECORDSTATE_DELETED);
  EXPECT_FALSE(tc->bCacheCompleted());
  rows->SetFetchComplete();
  EXPECT_TRUE(tc->bCacheCompleted());

  // Taken while another statement browses: the access's position is saved and returned to.
  access.SetLastStatement(other);
  EXPECT_EQ(tc->llGetRecordNbr(), 10);
  EXPECT_EQ(access.Calls(), L"save i4 0;return 41 keep 0;");
  EXPECT_EQ(tc->pclGetFullCache(), rows);
  EXPECT_EQ(access.Calls(), L"");
  EXPECT_EQ(tc->llGetRecordNbrActive(), 9);
  EXPECT_FALSE(tc->bIsStatementParse(parse));
  EXPECT_EQ(parse->nGetRefCount(), 1u);
  EXPECT_FALSE(tc->bInitDone() || tc->bIsEmpty());
  EXPECT_TRUE(tc->bIsRecordCache(rows));
  EXPECT_TRUE(tc->bCacheCompleted());
  EXPECT_EQ(rows->nGetRefCount(), 2u);

  CNATableCacheIndex* ix = tc->pclGetCacheIndex(other, Column(0));
  ASSERT_NE(ix, nullptr);
  EXPECT_EQ(ix->nGetRecordNbr(), 9);
  EXPECT_EQ(ix->pclGetRecordCacheNoRef(), rows);
  // An index that cannot be built is released: none for the caller.
  rows->Update(0, nullptr);
  rows->SetRecordState(0, NA_RECORDSTATE_NONE);
  EXPECT_EQ(tc->pclGetCacheIndex(other, Column(0)), nullptr);
  ix->dwRelease();

  tc->dwRelease();
  EXPECT_EQ(rows->nGetRefCount(), 1u);
  parse->nRelease();
  other->nRelease();
}

// The filter in force when the parse statement was set is what later filters are compared with.
TEST_F(TableCache, RecordsTheParseStatementsFilter) {
  CRecordingAccess access(&m_pBench->m_desc, &m_pBench->m_cnx, &m_pBench->m_error);
  access.SetStatic(true);
  auto filter = [&](bool active) {
    CNAFilter* f = new CNAFilter(&m_pBench->m_error, &m_pBench->m_cnx);
    f->AddRef();
    f->ActivateFilter(active ? 1 : 0);
    return f;
  };
  CNAFilter* on = filter(true);
  CNAFilter* off = filter(false);
  for (CNAFilter* inForce : {static_cast<CNAFilter*>(nullptr), off, on}) {
    CNATableCache* tc = new CNATableCache(&m_pBench->m_error, &access);
    tc->AddRef();
    auto* parse = new CNAStatement(&access, &m_pBench->m_error);
    parse->AddRef();
    parse->_SetFilter(inForce);
    ASSERT_TRUE(tc->bSetStatementParse(parse));
    parse->_SetFilter(nullptr);  // the record holds its own reference
    const bool recordedActive = inForce == on;
    EXPECT_EQ(tc->bFilterEquals(nullptr) != 0, !recordedActive);
    EXPECT_EQ(tc->bFilterEquals(off) != 0, !recordedActive);
    EXPECT_EQ(tc->bFilterEquals(on) != 0, recordedActive);
    tc->dwRelease();
    parse->nRelease();
  }
  on->ActivateFilter(0);  // the activation recorded was that of the time it was set
  off->nRelease();
  on->nRelease();
}

TEST_F(TableCache, FailedFullCacheTakeFreesTheSavedPosition) {
  CRecordingAccess access(&m_pBench->m_desc, &m_pBench->m_cnx, &m_pBench->m_error);
  access.SetStatic(true);
  struct Case {
    const char* what;
    bool lastIsParse;
    const wchar_t* calls;
  } cases[] = {
      {"another statement browses: the position saved is freed", false, L"save  0;free 41;"},
      {"the parse statement browses: nothing saved", true, L""},
  };
  for (const Case& c : cases) {
    access.Calls();
    CNATableCache* tc = new CNATableCache(&m_pBench->m_error, &access);
    tc->AddRef();
    auto* parse = new CNAStatement(&access, &m_pBench->m_error);
    parse->AddRef();
    tc->bSetStatementParse(parse);
    parse->pclGetRecordCacheNoRef()->nAjoute(Record()->pclGetCurrentValueNoRef());
    access.SetLastStatement(c.lastIsParse ? parse : nullptr);
    // The rest of the result cannot be read yet: the take fails.
    EXPECT_EQ(tc->pclGetFullCache(), nullptr) << c.what;
    EXPECT_EQ(access.Calls(), c.calls) << c.what;
    EXPECT_EQ(tc->llGetRecordNbr(), 0) << c.what;
    access.Calls();
    EXPECT_TRUE(tc->bIsStatementParse(parse)) << c.what;
    EXPECT_EQ(tc->pclGetCacheIndex(parse, Column(0)), nullptr) << c.what;
    tc->dwRelease();
    EXPECT_EQ(parse->nGetRefCount(), 1u) << c.what;
    parse->nRelease();
  }
}

TEST_F(TableCache, StatementCacheSwitchedOffIsEmptiedOrDropped) {
  auto* st = new CNAStatement(m_pBench->m_pAccess, &m_pBench->m_error);
  st->AddRef();
  EXPECT_EQ(st->pclGetFullRecordCache(), nullptr);
  st->EnableCache(TRUE);
  CNARecordCache* rows = st->pclGetRecordCacheNoRef();
  rows->nAjoute(Record()->pclGetCurrentValueNoRef());
  rows->SetFetchComplete();
  EXPECT_EQ(st->pclGetFullRecordCache(), rows);
  // Held only here: emptied and switched off, kept.
  st->EnableCache(FALSE);
  EXPECT_EQ(st->pclGetRecordCacheNoRef(), rows);
  EXPECT_FALSE(rows->bIsActive() || st->bCacheEnabled() || st->bCacheCompleted());
  EXPECT_EQ(rows->nGetCount(), 0);
  st->EnableCache(TRUE);
  EXPECT_TRUE(st->bCacheEnabled());
  // Shared: dropped, the other holder keeps it whole.
  rows->nAjoute(Record()->pclGetCurrentValueNoRef());
  rows->AddRef();
  st->EnableCache(FALSE);
  EXPECT_EQ(st->pclGetRecordCacheNoRef(), nullptr);
  EXPECT_EQ(rows->nGetCount(), 1);
  EXPECT_EQ(rows->nRelease(), 0);
  st->nRelease();
}

}  // namespace

// Row caches against a model: seeded random appends, inserts, removals, updates, state changes
// and write notifications over thousands of rows, with record-values and with row-id
// identifiers, each step checked against a std::vector of rows; the block sizes; the position
// cache's reuse of released rows; lookups across identifier kinds.
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
#include "tests/support/record_bench.h"

namespace {

using Memos = std::vector<std::optional<std::string>>;
using Value = std::shared_ptr<CNARecordValue>;

// Trailing NULL entries say nothing: a set is equal to itself without them.
Memos Trim(Memos m) {
  while (!m.empty() && !m.back()) m.pop_back();
  return m;
}

// Values of one layout (an I4 key and a text), with memo sets of binary entries; each value's
// identifier is a record-values one over its own bytes, or a row id holding the bytes given.
class Rows {
 public:
  Rows() {
    m_pN = m_bench.Add(L"n", NA_IT_I4, 4);
    m_pT = m_bench.Add(L"t", NA_IT_TEXTE, 21);
    EXPECT_TRUE(m_bench.Build());
  }

  Value Make(int key, const std::string& text, const Memos& memos = {}, int state = 0,
             const std::optional<std::string>& rowId = std::nullopt) {
    Value v = Hold(m_bench.Record()->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_RECORD | NA_COPY_RECORDID));
    CNAKJRecord* r = v->pclGetNAKJRecord();
    r->SetItemValue(m_pN, &key, sizeof key, 0);
    r->SetItemValue(m_pT, text.data(), static_cast<unsigned int>(text.size()), 0);
    for (size_t k = 0; k < memos.size(); ++k) {
      CNAConvertVariant* c = Binary(memos[k].value_or(""));
      if (!memos[k]) c->SetNull();
      v->bShareMemoValue(static_cast<int>(k), c);
      c->nRelease();
    }
    v->SetState(static_cast<eNA_RECORDSTATE>(state));
    if (rowId) SetRowId(v.get(), *rowId);
    return v;
  }
  // A value holding exactly these record bytes (and that row id).
  Value FromBytes(const std::string& bytes, const std::optional<std::string>& rowId = std::nullopt) {
    Value v = Make(0, "");
    memcpy(v->pclGetNAKJRecord()->pbyGetNullValuesFlags(), bytes.data(), bytes.size());
    if (rowId) SetRowId(v.get(), *rowId);
    return v;
  }
  void SetRowId(CNARecordValue* v, const std::string& bytes) {
    CNAConvertVariant* c = Binary(bytes);
    v->bShareRecordID(new CNARecordId_RowId(c));
    c->nRelease();
  }
  CNAConvertVariant* Binary(const std::string& bytes) {
    CNAConvertVariant* c = m_bench.m_driver.pclAllocVariant(nullptr, nullptr);
    c->AddRef();
    c->InitTypeVariantAny(ZV_BIN, 0);
    CAny bin;
    bin.SetBIN(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size()));
    c->bSetValue(&bin);
    return c;
  }
  static Value Hold(CNARecordValue* v) {
    v->AddRef();
    return Value(v, [](CNARecordValue* p) { p->nRelease(); });
  }

  static std::string Bytes(const CNARecordValue* v) {
    const CNAKJRecord* r = v->pclGetNAKJRecord();
    return std::string(reinterpret_cast<const char*>(r->pbyGetNullValuesFlags()), r->nGetTotalSize());
  }
  static Memos MemosOf(const CNARecordValue* v) {
    Memos out;
    const CNARecordMemo* m = v->pclGetTabMemoNoRef();
    for (int k = 0; m != nullptr && k < m->nGetCount(); ++k) {
      const CNAConvertVariant* c = m->pclGetAt(k);
      if (c == nullptr || c->pclGetValue()->bIsNull())
        out.emplace_back();
      else
        out.emplace_back(std::string(static_cast<const char*>(c->pGetData()), c->nGetSize()));
    }
    return Trim(out);
  }
  static std::string RowIdOf(const CNARecordValue* v) {
    const auto* id = static_cast<const CNARecordId_RowId*>(v->pclGetRecordIdNoRef());
    const CNAConvertVariant* c = id->pclGetValueNoRef();
    return std::string(static_cast<const char*>(c->pGetData()), c->nGetSize());
  }

 private:
  RecordBench m_bench;
  CHostItemDescription* m_pN;
  CHostItemDescription* m_pT;
};

class RecordCache : public AnyTest {};

// The model of one row.
struct Row {
  bool stored = false;  // record bytes and identifier kept
  std::string bytes;
  std::string rowId;
  Memos memos;
  int state = 0;
};

// Drives a cache and its model with the same random operations and compares them.
class ModelRun {
 public:
  ModelRun(Rows& rows, CNARecordCache& cache, bool rowIds, unsigned seed)
      : m_rows(rows), m_cache(cache), m_bRowIds(rowIds), m_rng(seed) {}

  Value NewValue(int state = 0) {
    const int key = ++m_nKey;
    std::string text = "t" + std::to_string(key % 97);
    Memos memos;
    switch (Pick(4)) {
      case 0:
        memos = {std::string("m") + std::to_string(key)};
        break;
      case 1:
        memos = {std::nullopt, std::string(Pick(3), '\0') + "x"};
        break;
      case 2:
        memos = {std::string()};
        break;
      default:
        break;
    }
    std::optional<std::string> id;
    // Row ids of every length, so that a replacement is sometimes longer than its slot.
    if (m_bRowIds) id = "id" + std::to_string(key) + std::string(Pick(40), 'p');
    return m_rows.Make(key, text, memos, state, id);
  }
  Row RowOf(const Value& v) const {
    Row r;
    r.stored = true;
    r.bytes = Rows::Bytes(v.get());
    if (m_bRowIds) r.rowId = Rows::RowIdOf(v.get());
    r.memos = Rows::MemosOf(v.get());
    r.state = v->eGetState();
    return r;
  }
  static Row EmptyRow() {
    Row r;
    r.state = 128;
    return r;
  }
  int Find(const Value& v) const {
    const std::string key = m_bRowIds ? Rows::RowIdOf(v.get()) : Rows::Bytes(v.get());
    for (size_t i = 0; i < m_model.size(); ++i)
      if (m_model[i].stored && (m_bRowIds ? m_model[i].rowId : m_model[i].bytes) == key) return static_cast<int>(i);
    return -1;
  }
  Value Probe(int i) const {
    const Row& r = m_model[i];
    return m_rows.FromBytes(r.bytes, m_bRowIds ? std::optional<std::string>(r.rowId) : std::nullopt);
  }

  void Append(const Value& v) {
    Row r = RowOf(v);
    m_model.push_back(r);
  }
  void ModelInsert(const Value& v, size_t i) {
    while (m_model.size() < i) m_model.push_back(EmptyRow());
    if (!v)
      m_model.insert(m_model.begin() + static_cast<long>(i), EmptyRow());
    else
      m_model.insert(m_model.begin() + static_cast<long>(i), RowOf(v));
  }
  void ModelUpdate(size_t i, const Value& v) {
    Row& r = m_model[i];
    if (!v) {
      r.stored = false;
      r.state = 128;
      return;
    }
    Row n = RowOf(v);
    if (n.memos.empty() && !HasMemoSet(v)) n.memos = r.memos;
    r = n;
  }
  static bool HasMemoSet(const Value& v) {
    return v->pclGetTabMemoNoRef() != nullptr && v->pclGetTabMemoNoRef()->nGetCount() > 0;
  }

  // One random operation on both sides.
  void Step(bool growing) {
    const size_t n = m_model.size();
    const int op = growing ? (Pick(10) < 6 ? 0 : 1 + Pick(9)) : Pick(10);
    switch (op) {
      case 0: {  // append
        Value v = Pick(20) == 0 ? Value() : NewValue(Pick(8) == 0 ? 128 : 0);
        EXPECT_EQ(m_cache.nAjoute(v.get()), static_cast<int>(n));
        if (v)
          Append(v);
        else
          m_model.push_back(EmptyRow());
        break;
      }
      case 1: {  // insert, past the end too
        const size_t i = Pick(static_cast<int>(n) + 4);
        Value v = Pick(10) == 0 ? Value() : NewValue();
        m_cache.Insere(v.get(), static_cast<unsigned int>(i));
        ModelInsert(v, i);
        break;
      }
      case 2: {  // remove, past the end too
        const size_t i = Pick(static_cast<int>(n) + 2);
        m_cache.Supprime(static_cast<unsigned int>(i));
        if (i < n) m_model.erase(m_model.begin() + static_cast<long>(i));
        break;
      }
      case 3: {  // replace, empty a slot, or refill an emptied one
        if (n == 0) break;
        const size_t i = Pick(static_cast<int>(n));
        Value old = m_model[i].stored ? Probe(static_cast<int>(i)) : Value();
        Value v = Pick(6) == 0 ? Value() : NewValue(Pick(5) == 0 ? 128 : 0);
        m_cache.Update(static_cast<unsigned int>(i), v.get());
        ModelUpdate(i, v);
        if (old) {
          EXPECT_EQ(m_cache.nGetRecordIndice(old.get()), -1) << "a replaced row is found by its old identity";
        }
        break;
      }
      case 4: {  // state
        if (n == 0) break;
        const size_t i = Pick(static_cast<int>(n));
        const int s = Pick(3) == 0 ? 128 : (Pick(2) == 0 ? 0 : 0x81);
        m_cache.SetRecordState(static_cast<int>(i), static_cast<eNA_RECORDSTATE>(s));
        m_model[i].state = s;
        break;
      }
      case 5:
      case 6: {  // notified insert, at the head or at the end
        Value v = NewValue();
        const bool atHead = Pick(2) == 0;
        const int at = m_cache.nOnNotifyOperation(NA_QUERY_INSERT, v.get(), nullptr, 0, atHead);
        EXPECT_EQ(at, atHead ? 0 : static_cast<int>(n));
        ModelInsert(v, atHead ? 0 : n);
        break;
      }
      case 7: {  // notified update of a row, or of a row no longer there
        if (n == 0) break;
        const int i = static_cast<int>(Pick(static_cast<int>(n)));
        Value old = m_model[i].stored ? Probe(i) : NewValue();
        Value v = NewValue();
        const int expected = Find(old);
        EXPECT_EQ(m_cache.nOnNotifyOperation(NA_QUERY_UPDATE, v.get(), old.get(), 0, 0), expected);
        if (expected >= 0) ModelUpdate(static_cast<size_t>(expected), v);
        break;
      }
      default: {  // notified delete
        if (n == 0) break;
        const int i = static_cast<int>(Pick(static_cast<int>(n)));
        Value old = m_model[i].stored ? Probe(i) : NewValue();
        const int expected = Find(old);
        EXPECT_EQ(m_cache.nOnNotifyOperation(NA_QUERY_DELETE, nullptr, old.get(), 0, 0), expected);
        if (expected >= 0 && (m_model[expected].state & 128) == 0) m_model[expected].state = 128;
        break;
      }
    }
  }

  // Counts and states always; reads and lookups of every row when full, else of a sample.
  void Check(bool full) {
    const int n = static_cast<int>(m_model.size());
    ASSERT_EQ(m_cache.nGetCount(), n);
    int deleted = 0;
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(m_cache.eGetRecordState(i), m_model[i].state) << i;
      deleted += (m_model[i].state & 128) != 0;
    }
    ASSERT_EQ(m_cache.nGetDeletedCount(), deleted);
    for (int k = 0; k < (full ? n : std::min(n, 12)); ++k) CheckRow(full ? k : static_cast<int>(Pick(n)));
    CheckMoves();
  }
  void CheckRow(int i) {
    const Row& r = m_model[i];
    Value read = m_bRowIds ? m_rows.FromBytes(std::string(), std::string("-")) : m_rows.Make(0, "");
    ASSERT_EQ(m_cache.bGetAt(read.get(), static_cast<unsigned int>(i)), r.stored) << i;
    ASSERT_EQ(m_cache.bRecordInCache(static_cast<unsigned int>(i)), r.stored) << i;
    if (!r.stored) return;
    ASSERT_EQ(Rows::Bytes(read.get()), r.bytes) << i;
    ASSERT_EQ(Rows::MemosOf(read.get()), r.memos) << i;
    if (m_bRowIds) {
      ASSERT_EQ(Rows::RowIdOf(read.get()), r.rowId) << i;
    }
    ASSERT_EQ(m_cache.nGetRecordIndice(Probe(i).get()), i) << i;
  }
  // Moves against the positions that count: the live rows, then every position past the end.
  void CheckMoves() {
    const long long count = static_cast<long long>(m_model.size());
    std::vector<long long> live;
    for (long long i = 0; i < count; ++i)
      if ((m_model[i].state & 128) == 0) live.push_back(i);
    for (int k = 0; k < 8; ++k) {
      const auto d = static_cast<eNA_PARSEDIRECTION>(Pick(4));
      long long start = static_cast<long long>(Pick(static_cast<int>(count) + 5)) - 1;
      const long long n = 1 + Pick(5);
      if (d == NA_PARSE_FIRST) start = -1;
      if (d == NA_PARSE_LAST) start = count;
      long long expected = -1;
      if (d == NA_PARSE_FIRST || d == NA_PARSE_NEXT) {
        long long seen = 0;
        for (long long i : live)
          if (i > start && ++seen == n) expected = i;
        if (seen < n) expected = std::max(start + 1, count) + (n - seen) - 1;
      } else {
        std::vector<long long> before;
        for (long long i : live)
          if (i < start) before.push_back(i);
        for (long long p = count; p < start; ++p) before.push_back(p);
        if (static_cast<long long>(before.size()) >= n) expected = before[before.size() - n];
      }
      ASSERT_EQ(m_cache.nGetPosition(start, d, n), expected) << "d " << d << " start " << start << " n " << n;
    }
    // No move at all stays (-1 before the first row) once rows are deleted.
    if (!live.empty() && static_cast<long long>(live.size()) < count) {
      ASSERT_EQ(m_cache.nGetPosition(count - 1, NA_PARSE_NEXT, 0), count - 1);
      ASSERT_EQ(m_cache.nGetPosition(-1, NA_PARSE_PREVIOUS, 0), -1);
    }
  }

  int Pick(int n) { return n <= 0 ? 0 : static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
  size_t Size() const { return m_model.size(); }
  void Clear() { m_model.clear(); }

 private:
  Rows& m_rows;
  CNARecordCache& m_cache;
  bool m_bRowIds;
  std::mt19937 m_rng;
  std::vector<Row> m_model;
  int m_nKey = 0;
};

// Blocks of rows of one size: the first five alike, the sixth and later ones twice as large.
template <typename Table>
void ExpectSixthBlockDoubledOnce(const Table& table) {
  ASSERT_GE(table.nGetBlockCount(), 6);
  for (int b = 1; b < 5; ++b) EXPECT_EQ(table.pGetBlock(b)->nCapacity, table.pGetBlock(0)->nCapacity);
  for (int b = 5; b < table.nGetBlockCount(); ++b)
    EXPECT_EQ(table.pGetBlock(b)->nCapacity, 2 * table.pGetBlock(0)->nCapacity) << b;
}
void ExpectSixthBlockDoubledOnce(const CNARecordCache& cache) {
  ExpectSixthBlockDoubledOnce(cache.GetRecordTable());
  ExpectSixthBlockDoubledOnce(cache.GetRecordIdTable());
}

TEST_F(RecordCache, RecordValueRowsFollowTheModelPastSixBlocksAndAfterEmptying) {
  Rows rows;
  for (unsigned seed : {1u, 2u}) {
    CNARecordCache cache;
    ModelRun run(rows, cache, false, seed);
    int step = 0;
    while (run.Size() < 3000) {
      run.Step(true);
      ASSERT_NO_FATAL_FAILURE(run.Check(++step % 500 == 0));
    }
    ASSERT_NO_FATAL_FAILURE(run.Check(true));
    ExpectSixthBlockDoubledOnce(cache);
    EXPECT_EQ(cache.eGetRecordIdType(), NA_RECORDID_RECORDVALUES);

    // Fetch complete: rows past the end need no fetch, an emptied row still does.
    const int n = cache.nGetCount();
    EXPECT_TRUE(cache.bMustFetch(n) && cache.bMustFetch(n + 5));
    EXPECT_FALSE(cache.bMustFetch(-1));
    cache.SetFetchComplete();
    EXPECT_FALSE(cache.bMustFetch(n) || cache.bMustFetch(-1));
    for (int i = 0; i < n; ++i) ASSERT_EQ(cache.bMustFetch(i), !cache.bRecordInCache(static_cast<unsigned int>(i)));
    cache.SetActive(FALSE);
    EXPECT_TRUE(cache.bMustFetch(-1) && cache.bMustFetch(0));
    cache.SetFetchComplete();
    cache.SetActive(TRUE);

    cache.SupprimeTout();
    run.Clear();
    EXPECT_FALSE(cache.bIsFetchComplete());
    EXPECT_EQ(cache.GetRecordTable().nGetBlockCount(), 0);
    ASSERT_NO_FATAL_FAILURE(run.Check(true));
    while (run.Size() < 3000) {
      run.Step(true);
      ASSERT_NO_FATAL_FAILURE(run.Check(++step % 500 == 0));
    }
    ExpectSixthBlockDoubledOnce(cache);
    for (int k = 0; k < 600; ++k) {
      run.Step(false);
      ASSERT_NO_FATAL_FAILURE(run.Check(k % 200 == 0));
    }
    ASSERT_NO_FATAL_FAILURE(run.Check(true));
  }
}

TEST_F(RecordCache, RowIdRowsFollowTheModelThroughLongerSerialForms) {
  Rows rows;
  CNARecordCache cache;
  cache.SetGrowStep(40, 4096);
  ModelRun run(rows, cache, true, 7);
  for (int k = 0; k < 2500; ++k) {
    run.Step(k < 600);
    ASSERT_NO_FATAL_FAILURE(run.Check(k % 100 == 0));
  }
  ASSERT_NO_FATAL_FAILURE(run.Check(true));
  EXPECT_EQ(cache.eGetRecordIdType(), NA_RECORDID_ROWID);
}

TEST_F(RecordCache, RefilledCacheDoublesItsSixthBlockOnlyOnce) {
  Rows rows;
  CNARecordCache cache;
  cache.SetGrowStep(10, 0);
  const unsigned int row = rows.Make(0, "").get()->pclGetNAKJRecord()->nGetTotalSize() + 4;
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 0; k < 100; ++k) cache.nAjoute(rows.Make(k, "x").get());
    ExpectSixthBlockDoubledOnce(cache);
    EXPECT_EQ(cache.GetRecordTable().pGetBlock(0)->nCapacity, 10 * row) << pass;
    EXPECT_EQ(cache.GetRecordTable().nGetRowsPerBlock(), 20);
    cache.SupprimeTout();
    EXPECT_EQ(cache.GetRecordTable().nGetRowsPerBlock(), 10);
    EXPECT_EQ(cache.GetRecordIdTable().nGetRowsPerBlock(), 10);
  }
}

TEST_F(RecordCache, BlocksAreCappedInBytesButHoldAnyRow) {
  Rows rows;
  CNARecordCache cache;
  const unsigned int row = rows.Make(0, "").get()->pclGetNAKJRecord()->nGetTotalSize() + 4;
  struct Case {
    int rows;
    unsigned int bytes;
    unsigned int capacity;
  } cases[] = {{10, 0x200000, 10 * row}, {10, 3 * row + 1, 3 * row + 1}, {10, 5, row}};
  for (const Case& c : cases) {
    cache.SupprimeTout();
    cache.SetGrowStep(c.rows, static_cast<int>(c.bytes));
    cache.nAjoute(rows.Make(1, "a").get());
    EXPECT_EQ(cache.GetRecordTable().pGetBlock(0)->nCapacity, c.capacity) << c.bytes;
  }
}

TEST_F(RecordCache, InsertPastTheEndAddsEmptyDeletedRows) {
  Rows rows;
  CNARecordCache cache;
  for (int k = 0; k < 3; ++k) cache.nAjoute(rows.Make(k, "r").get());
  Value v = rows.Make(9, "v");
  cache.Insere(v.get(), 5);
  ASSERT_EQ(cache.nGetCount(), 6);
  EXPECT_EQ(cache.nGetDeletedCount(), 2);
  for (int i : {3, 4}) EXPECT_TRUE(cache._bRecordDeleted(i) && !cache.bRecordInCache(static_cast<unsigned int>(i)));
  EXPECT_EQ(cache.nGetRecordIndice(v.get()), 5);
  // Moving next from the last row by 3 over deleted rows counts positions past the end.
  cache.SetRecordState(1, NA_RECORDSTATE_DELETED);
  EXPECT_EQ(cache.nGetPosition(5, NA_PARSE_NEXT, 3), 8);
  EXPECT_EQ(cache.nGetPosition(0, NA_PARSE_NEXT, 1), 2);
  Value read = rows.Make(0, "");
  EXPECT_TRUE(cache.bGetAt(read.get(), 1u));  // a deleted row is still read
}

TEST_F(RecordCache, RemovingARowKeepsTheLookupOfItsTwin) {
  Rows rows;
  CNARecordCache cache;
  // Rows 1 and 3 hold the same bytes: one key in the map, two entries.
  for (int k : {10, 20, 30, 20, 40}) cache.nAjoute(rows.Make(k, "same").get());
  Value twin = rows.Make(20, "same");
  const int found = cache.nGetRecordIndice(twin.get());
  ASSERT_TRUE(found == 1 || found == 3);
  cache.Supprime(1);
  EXPECT_EQ(cache.nGetRecordIndice(twin.get()), 2);
  cache.Update(2, rows.Make(50, "other").get());
  EXPECT_EQ(cache.nGetRecordIndice(twin.get()), -1);
  EXPECT_EQ(cache.nGetRecordIndice(rows.Make(40, "same").get()), 3);
}

TEST_F(RecordCache, ReadIntoAValueOfAnotherSizeIsRefused) {
  Rows rows;
  RecordBench other;
  other.Add(L"wide", NA_IT_TEXTE, 200);
  ASSERT_TRUE(other.Build());
  CNARecordCache cache;
  cache.nAjoute(rows.Make(1, "one").get());
  Value wide = Rows::Hold(other.Record()->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL));
  const std::string before = Rows::Bytes(wide.get());
  EXPECT_FALSE(cache.bGetAt(wide.get(), 0u));
  EXPECT_EQ(Rows::Bytes(wide.get()), before);
  // A value without buffer takes the layout of the cache's first row.
  CNARecordValue* bare = new CNARecordValue(nullptr);
  Value empty = Rows::Hold(bare);
  ASSERT_TRUE(cache.bGetAt(empty.get(), 0u));
  EXPECT_EQ(Rows::Bytes(empty.get()), Rows::Bytes(rows.Make(1, "one").get()));
}

TEST_F(RecordCache, UpdateNeverWritesPastTheOldSerialForm) {
  Rows rows;
  CNARecordCache cache;
  cache.nAjoute(rows.Make(1, "a", {}, 0, std::string("short")).get());
  cache.nAjoute(rows.Make(2, "b", {}, 0, std::string("next")).get());
  cache.Update(0, rows.Make(3, "c", {}, 0, std::string(64, 'L')).get());
  Value read = rows.FromBytes(std::string(), std::string("-"));
  ASSERT_TRUE(cache.bGetAt(read.get(), 1u));
  EXPECT_EQ(Rows::RowIdOf(read.get()), "next");
  ASSERT_TRUE(cache.bGetAt(read.get(), 0u));
  EXPECT_EQ(Rows::RowIdOf(read.get()), std::string(64, 'L'));
  EXPECT_EQ(cache.nGetRecordIndice(rows.FromBytes(std::string(), std::string("next")).get()), 1);
}

TEST_F(RecordCache, LookupsOfAnotherKindFindNothing) {
  Rows rows;
  CNARecordCache rowIds, values;
  Value byRowId = rows.Make(1, "a", {}, 0, std::string("rid"));
  Value byBytes = rows.Make(1, "a");
  rowIds.nAjoute(byRowId.get());
  values.nAjoute(byBytes.get());
  EXPECT_EQ(rowIds.nGetRecordIndice(byRowId.get()), 0);
  EXPECT_EQ(rowIds.nGetRecordIndice(byBytes.get()), -1);
  EXPECT_EQ(values.nGetRecordIndice(byRowId.get()), -1);
  EXPECT_FALSE(rowIds.bGetAt(byBytes.get(), byBytes->pclGetRecordIdNoRef()));
  // A read value whose row id is of the other kind is refused, not filled with a foreign form.
  Value read = rows.Make(0, "", {}, 0, std::string("-"));
  EXPECT_FALSE(values.bGetAt(read.get(), 0u));
  // An empty cache has no kind yet.
  CNARecordCache none;
  EXPECT_EQ(none.nGetRecordIndice(byBytes.get()), -1);
}

// Appended rows are indexed only when something needs the index: after every mix of appends with
// the changes that index first, a cache left to defer must find each value in a row that holds it
// (the model's), and answer every lookup and hold every identifier form as a twin indexed after
// each step (its identifier table asked for) does. Row forms are compared by hash and length
// (their addresses differ between the two caches).
TEST_F(RecordCache, DeferredIndexAgreesWithIndexingEveryStep) {
  Rows rows;
  struct Op {
    char kind;  // a append, n append nothing, i insert at, r remove, u update, c empty
    int at;
    int key;
    const char* text;
  };
  const struct Case {
    const char* what;
    bool rowIds;
    std::vector<Op> ops;
  } cases[] = {
      {"appends with twins", false, {{'a', 0, 1, "a"}, {'a', 0, 2, "b"}, {'a', 0, 1, "a"}, {'a', 0, 3, "c"}}},
      {"insert among deferred rows",
       false,
       {{'a', 0, 1, "a"}, {'a', 0, 2, "b"}, {'a', 0, 3, "c"}, {'i', 1, 9, "z"}, {'a', 0, 5, "e"}, {'a', 0, 9, "z"}}},
      {"insert, then remove the row that moved last",
       false,
       {{'a', 0, 1, "a"}, {'a', 0, 2, "b"}, {'a', 0, 3, "c"}, {'i', 1, 9, "z"}, {'r', 3, 0, ""}}},
      {"insert past the end pads deleted rows", false, {{'a', 0, 1, "a"}, {'n', 0, 0, ""}, {'i', 5, 7, "g"}, {'a', 0, 8, "h"}}},
      {"remove a deferred row, then append",
       false,
       {{'a', 0, 1, "a"}, {'a', 0, 2, "b"}, {'a', 0, 3, "c"}, {'a', 0, 4, "d"}, {'r', 2, 0, ""}, {'a', 0, 6, "f"},
        {'a', 0, 3, "c"}}},
      {"remove the first of three twins",
       false,
       {{'a', 0, 1, "a"}, {'a', 0, 1, "a"}, {'a', 0, 1, "a"}, {'r', 0, 0, ""}, {'a', 0, 1, "a"}}},
      {"update a deferred row into its neighbour's twin",
       false,
       {{'a', 0, 1, "a"}, {'a', 0, 2, "b"}, {'a', 0, 3, "c"}, {'u', 0, 2, "b"}, {'a', 0, 8, "h"}, {'u', 3, 9, ""}}},
      {"emptied, then filled again", false, {{'a', 0, 1, "a"}, {'a', 0, 2, "b"}, {'c', 0, 0, ""}, {'a', 0, 2, "b"}, {'a', 0, 3, "c"}}},
      {"row ids: insert and remove among waiting map entries",
       true,
       {{'a', 0, 1, "a"}, {'a', 0, 2, "b"}, {'i', 0, 3, "c"}, {'a', 0, 4, "d"}, {'r', 1, 0, ""}, {'a', 0, 5, "e"}}},
  };
  for (const Case& c : cases) {
    CNARecordCache deferred, eager;
    std::vector<Value> made;
    std::vector<std::optional<std::string>> model;  // each row's key: bytes or row id
    auto make = [&](const Op& op) {
      made.push_back(c.rowIds ? rows.Make(op.key, op.text, {}, 0, "id" + std::to_string(op.key))
                              : rows.Make(op.key, op.text));
      return made.back().get();
    };
    for (const Op& op : c.ops) {
      CNARecordValue* v = op.kind == 'a' || op.kind == 'i' || op.kind == 'u' ? make(op) : nullptr;
      std::optional<std::string> key;
      if (v != nullptr) key = c.rowIds ? Rows::RowIdOf(v) : Rows::Bytes(v);
      if (op.kind == 'a' || op.kind == 'n') model.push_back(key);
      if (op.kind == 'i') {
        if (static_cast<size_t>(op.at) > model.size()) model.resize(static_cast<size_t>(op.at));
        model.insert(model.begin() + op.at, key);
      }
      if (op.kind == 'r') model.erase(model.begin() + op.at);
      if (op.kind == 'u') model[static_cast<size_t>(op.at)] = key;
      if (op.kind == 'c') model.clear();
      for (CNARecordCache* cache : {&deferred, &eager}) {
        switch (op.kind) {
          case 'a':
          case 'n':
            cache->nAjoute(v);
            break;
          case 'i':
            cache->Insere(v, static_cast<unsigned int>(op.at));
            break;
          case 'r':
            cache->Supprime(static_cast<unsigned int>(op.at));
            break;
          case 'u':
            cache->Update(static_cast<unsigned int>(op.at), v);
            break;
          default:
            cache->SupprimeTout();
            break;
        }
      }
      eager.GetRecordIdTable();
    }
    ASSERT_EQ(deferred.nGetCount(), static_cast<int>(model.size())) << c.what;
    ASSERT_EQ(eager.nGetCount(), static_cast<int>(model.size())) << c.what;
    for (const Value& v : made) {
      const std::string key = c.rowIds ? Rows::RowIdOf(v.get()) : Rows::Bytes(v.get());
      const int found = deferred.nGetRecordIndice(v.get());
      const bool held = std::find(model.begin(), model.end(), key) != model.end();
      if (held) {
        EXPECT_TRUE(found >= 0 && model[static_cast<size_t>(found)] == key) << c.what << " found " << found;
      } else {
        EXPECT_EQ(found, -1) << c.what;
      }
      EXPECT_EQ(found, eager.nGetRecordIndice(v.get())) << c.what;
    }
    const CNABufferTable<CNARecordId>& mine = deferred.GetRecordIdTable();
    const CNABufferTable<CNARecordId>& theirs = eager.GetRecordIdTable();
    ASSERT_EQ(mine.nGetCount(), theirs.nGetCount()) << c.what;
    for (int i = 0; i < mine.nGetCount(); ++i) {
      unsigned int a = 0, b = 0;
      const unsigned char* x = mine.pGetElement(i, &a);
      const unsigned char* y = theirs.pGetElement(i, &b);
      ASSERT_EQ(x == nullptr, y == nullptr) << c.what << " row " << i;
      ASSERT_EQ(a, b) << c.what << " row " << i;
      // Record-values forms: hash and length; row-id forms hold no address at all.
      if (x != nullptr) {
        EXPECT_EQ(memcmp(x, y, c.rowIds ? a : 8), 0) << c.what << " row " << i;
      }
    }
  }
}

// Rows are kept without the zeros after their last non-zero word. A table of record bytes (a
// non-zero byte at every place, zero tails of every length, texts ending in spaces or filling
// their slot, all zeros, all 0xFF, equal rows), each appended: every row reads back as its whole
// bytes, every value sought finds a row holding its bytes, a value differing from every row only
// in a byte the kept form cut finds none, and the rows take fewer bytes than whole ones.
TEST_F(RecordCache, ShortRowsReadBackWholeAndAreFoundByTheirWholeBytes) {
  Rows rows;
  const size_t size = Rows::Bytes(rows.Make(0, "").get()).size();
  std::vector<std::string> kept;
  for (size_t at = 0; at < size; ++at) {
    std::string b(size, '\0');
    b[at] = static_cast<char>(at % 2 != 0 ? 0x80 : 0x01);
    kept.push_back(b);
  }
  for (size_t tail = 0; tail <= size; ++tail) {
    std::string b(size, '\0');
    for (size_t k = 0; k < size - tail; ++k) b[k] = static_cast<char>('a' + (k + tail) % 26);
    kept.push_back(b);
  }
  kept.push_back(std::string(size, '\0'));
  kept.push_back(std::string(size, '\xFF'));
  kept.push_back(Rows::Bytes(rows.Make(7, "ends in spaces   ").get()));
  kept.push_back(Rows::Bytes(rows.Make(-1, std::string(20, 'f')).get()));
  // Equal rows: each of these twice more.
  for (size_t k = 0; k < 4; ++k) kept.push_back(kept[k * 7]);
  kept.push_back(kept.back());
  CNARecordCache cache;
  for (const std::string& b : kept) cache.nAjoute(rows.FromBytes(b).get());
  ASSERT_TRUE(cache.bKeepsShortRows());
  ASSERT_EQ(cache.nGetCount(), static_cast<int>(kept.size()));
  Value read = rows.Make(0, "x");
  unsigned int stored = 0;
  for (int i = 0; i < cache.nGetCount(); ++i) {
    unsigned int n = 0;
    ASSERT_NE(cache.GetRecordTable().pGetElement(i, &n), nullptr) << i;
    stored += n;
    ASSERT_TRUE(cache.bGetAt(read.get(), static_cast<unsigned int>(i))) << i;
    EXPECT_EQ(Rows::Bytes(read.get()), kept[static_cast<size_t>(i)]) << "row " << i;
  }
  EXPECT_LT(stored, kept.size() * size * 3 / 4);
  for (size_t k = 0; k < kept.size(); ++k) {
    const int found = cache.nGetRecordIndice(rows.FromBytes(kept[k]).get());
    ASSERT_GE(found, 0) << "value " << k;
    EXPECT_EQ(kept[static_cast<size_t>(found)], kept[k]) << "value " << k;
  }
  // A kept row's bytes with more set past its kept form: one byte, or two words whose sum (the
  // map's hash) is nothing, so that only the bytes tell the rows apart.
  std::string sumZero(size, '\0');
  sumZero[0] = 0x01;
  sumZero[8] = 0x01;
  for (size_t k = 12; k < 16; ++k) sumZero[k] = '\xFF';
  for (size_t at : {size - 1, size - 2, size / 2, size_t{0}}) {
    std::string b(size, '\0');
    b[0] = 0x01;
    b[at] = 0x02;
    EXPECT_EQ(cache.nGetRecordIndice(rows.FromBytes(at == 0 ? sumZero : b).get()), -1) << at;
  }
}

// A row of another record size makes the cache keep every row whole from then on: the rows kept
// short before read back whole and are still found (also those indexed before), the other size's
// row reads back only into its own size, and emptying the cache keeps rows short again. Each way
// a row of another size comes in: appended, inserted, or written over a row.
TEST_F(RecordCache, ARowOfAnotherSizeMakesEveryRowWholeAndKeepsLookups) {
  Rows rows;
  RecordBench other;
  other.Add(L"wide", NA_IT_TEXTE, 60);
  ASSERT_TRUE(other.Build());
  Value wide = Rows::Hold(other.Record()->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL));
  memcpy(wide->pclGetNAKJRecord()->pbyGetValues(), "wide", 4);
  const std::string wideBytes = Rows::Bytes(wide.get());
  struct Case {
    const char* how;
    std::function<void(CNARecordCache&)> add;
  } cases[] = {
      {"appended", [&](CNARecordCache& c) { c.nAjoute(wide.get()); }},
      {"inserted", [&](CNARecordCache& c) { c.Insere(wide.get(), 1); }},
      {"written over the last row", [&](CNARecordCache& c) { c.Update(static_cast<unsigned int>(c.nGetCount() - 1), wide.get()); }},
  };
  for (const Case& c : cases) {
    for (bool indexedFirst : {false, true}) {
      const std::string what = std::string(c.how) + (indexedFirst ? ", rows indexed first" : "");
      CNARecordCache cache;
      std::vector<std::string> bytes;
      for (int k = 0; k < 40; ++k) {
        Value v = rows.Make(k, std::string(static_cast<size_t>(k % 9), 'q'));
        bytes.push_back(Rows::Bytes(v.get()));
        cache.nAjoute(v.get());
      }
      if (indexedFirst) {
        ASSERT_EQ(cache.nGetRecordIndice(rows.FromBytes(bytes[5]).get()), 5) << what;
      }
      c.add(cache);
      EXPECT_FALSE(cache.bKeepsShortRows()) << what;
      const int wideAt = cache.nGetRecordIndice(wide.get());
      ASSERT_GE(wideAt, 0) << what;
      if (c.how[0] == 'i') bytes.insert(bytes.begin() + 1, wideBytes);
      if (c.how[0] == 'w') bytes.back() = wideBytes;
      if (c.how[0] == 'a') bytes.push_back(wideBytes);
      EXPECT_EQ(bytes[static_cast<size_t>(wideAt)], wideBytes) << what;
      Value read = rows.Make(0, "");
      for (int i = 0; i < cache.nGetCount(); ++i) {
        const bool isWide = bytes[static_cast<size_t>(i)] == wideBytes;
        EXPECT_EQ(cache.bGetAt(read.get(), static_cast<unsigned int>(i)) != FALSE, !isWide) << what << " row " << i;
        EXPECT_EQ(cache.bGetAt(wide.get(), static_cast<unsigned int>(i)) != FALSE, isWide) << what << " row " << i;
        if (isWide) continue;
        EXPECT_EQ(Rows::Bytes(read.get()), bytes[static_cast<size_t>(i)]) << what << " row " << i;
        EXPECT_EQ(cache.nGetRecordIndice(rows.FromBytes(bytes[static_cast<size_t>(i)]).get()), i) << what << " row " << i;
      }
      cache.SupprimeTout();
      cache.nAjoute(rows.Make(1, "a").get());
      EXPECT_TRUE(cache.bKeepsShortRows()) << what;
      EXPECT_EQ(cache.nGetRecordIndice(rows.Make(1, "a").get()), 0) << what;
      EXPECT_EQ(cache.nGetRecordIndice(wide.get()), -1) << what;
    }
  }
}

// A short row's kept bytes are no record of their own length: a value of a layout whose size is
// that length is refused the row, as for any other size, and keeps its bytes.
TEST_F(RecordCache, ShortRowIsRefusedByARecordOfItsKeptLength) {
  Rows rows;
  const size_t size = Rows::Bytes(rows.Make(0, "").get()).size();
  int tried = 0;
  for (unsigned int text = 1; text < size; ++text) {
    RecordBench other;
    other.Add(L"narrow", NA_IT_TEXTE, text);
    ASSERT_TRUE(other.Build());
    Value narrow = Rows::Hold(other.Record()->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL));
    const size_t kept = Rows::Bytes(narrow.get()).size();
    if (kept % 4 != 0 || kept >= size) continue;
    ++tried;
    std::string b(size, '\0');
    for (size_t k = 0; k < kept; ++k) b[k] = static_cast<char>(0x41 + k % 26);
    CNARecordCache cache;
    cache.nAjoute(rows.FromBytes(b).get());
    ASSERT_TRUE(cache.bKeepsShortRows());
    memset(narrow->pclGetNAKJRecord()->pbyGetNullValuesFlags(), 0x5A, kept);
    const std::string before = Rows::Bytes(narrow.get());
    EXPECT_FALSE(cache.bGetAt(narrow.get(), 0u)) << kept << " bytes";
    EXPECT_EQ(Rows::Bytes(narrow.get()), before) << kept << " bytes";
  }
  EXPECT_GT(tried, 1);
}

// Once rows of two sizes are kept, a row is found only by a record of its own size: a wider row
// holding a narrower one's bytes and then zeros (an equal word sum) is neither found by the
// narrower bytes nor finds the narrower row, whichever size came first, added in either order.
TEST_F(RecordCache, RowsOfTwoSizesAreFoundOnlyByTheirOwnSize) {
  Rows rows;
  RecordBench other;
  other.Add(L"wide", NA_IT_TEXTE, 60);
  ASSERT_TRUE(other.Build());
  Value narrow = rows.Make(5, "five");
  const std::string narrowBytes = Rows::Bytes(narrow.get());
  Value wide = Rows::Hold(other.Record()->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL));
  ASSERT_GT(Rows::Bytes(wide.get()).size(), narrowBytes.size());
  CNAKJRecord* w = wide->pclGetNAKJRecord();
  memset(w->pbyGetNullValuesFlags(), 0, w->nGetTotalSize());
  memcpy(w->pbyGetNullValuesFlags(), narrowBytes.data(), narrowBytes.size());
  Value other5 = rows.Make(6, "six");
  struct Case {
    const char* what;
    std::vector<Value> added;
    int narrowAt, wideAt;
  } cases[] = {
      {"narrow then wide", {narrow, wide}, 0, 1},
      {"wide then narrow", {wide, narrow}, 1, 0},
      {"only the wide one", {other5, wide}, -1, 1},
      {"only the narrow one, after a wide", {wide, narrow, other5}, 1, 0},
  };
  for (const Case& c : cases) {
    CNARecordCache cache;
    cache.SetGrowStep(1, 0);
    for (const Value& v : c.added) cache.nAjoute(v.get());
    EXPECT_EQ(cache.nGetRecordIndice(narrow.get()), c.narrowAt) << c.what;
    EXPECT_EQ(cache.nGetRecordIndice(wide.get()), c.wideAt) << c.what;
  }
}

// Record saves of texts of every length reuse released rows: a short row written over by a
// longer one is stored anew, a longer one by a shorter one in its place. After each keep, every
// held save reads back as its value and is found by it.
TEST_F(RecordCache, ReusedSaveRowsOfOtherLengthsReadBackWhole) {
  Rows rows;
  CNARecordCachePosition saves;
  const std::string texts[] = {"", "a", std::string(20, 'l'), "mid text", std::string(19, 'm') + "\xFF", "z"};
  std::vector<std::pair<int, std::string>> held;  // row, bytes
  std::mt19937 rng(8);
  Value read = rows.Make(0, "");
  for (int step = 0; step < 200; ++step) {
    if (!held.empty() && rng() % 3 == 0) {
      const size_t k = rng() % held.size();
      saves.nReleaseRecordSave(held[k].first);
      held.erase(held.begin() + static_cast<long>(k));
      continue;
    }
    Value v = rows.Make(step, texts[rng() % 6]);
    const int row = saves.nKeepRecordSave(v.get());
    ASSERT_GE(row, 0) << step;
    saves.AddRefRecordSave(row);
    held.emplace_back(row, Rows::Bytes(v.get()));
    for (const auto& [at, bytes] : held) {
      ASSERT_TRUE(saves.bGetAt(read.get(), static_cast<unsigned int>(at))) << step << " row " << at;
      ASSERT_EQ(Rows::Bytes(read.get()), bytes) << step << " row " << at;
      ASSERT_EQ(saves.nGetRecordIndice(rows.FromBytes(bytes).get()), at) << step << " row " << at;
    }
  }
  EXPECT_FALSE(saves.bKeepsShortRows());
}

// Saves kept and released one after the other, each longer than the last in turn, are written
// over in place: the cache does not grow with the number of saves.
TEST_F(RecordCache, ReusedSaveRowsOfGrowingLengthsStayInTheirPlace) {
  Rows rows;
  CNARecordCachePosition saves;
  Value read = rows.Make(0, "");
  for (int step = 0; step < 5000; ++step) {
    const std::string text(static_cast<size_t>(step % 21), static_cast<char>('a' + step % 26));
    Value v = rows.Make(step, text);
    const int row = saves.nKeepRecordSave(v.get());
    ASSERT_EQ(row, 0) << step;
    saves.AddRefRecordSave(row);
    ASSERT_TRUE(saves.bGetAt(read.get(), 0u)) << step;
    ASSERT_EQ(Rows::Bytes(read.get()), Rows::Bytes(v.get())) << step;
    saves.nReleaseRecordSave(row);
  }
  EXPECT_EQ(saves.GetRecordTable().nGetBlockCount(), 1);
}

TEST_F(RecordCache, PositionCacheReusesReleasedRows) {
  Rows rows;
  CNARecordCachePosition saves;
  saves.SetGrowStep(50, 0);
  Value a = rows.Make(1, "a"), b = rows.Make(2, "b"), c = rows.Make(3, "c"), d = rows.Make(4, "d");
  Value read = rows.Make(0, "");
  struct Step {
    const char* what;
    std::function<int()> call;
    int expected;
  } steps[] = {
      {"keep a", [&] { return saves.nKeepRecordSave(a.get()); }, 0},
      {"keep a again: its row", [&] { return saves.nKeepRecordSave(a.get()); }, 0},
      {"a referenced", [&] { return saves.AddRefRecordSave(0), saves.nGetRefCount(0); }, 1},
      {"keep b: no free row before any release", [&] { return saves.nKeepRecordSave(b.get()); }, 1},
      {"b referenced twice", [&] { return saves.AddRefRecordSave(1), saves.AddRefRecordSave(1), saves.nGetRefCount(1); }, 2},
      {"keep c", [&] { return saves.nKeepRecordSave(c.get()); }, 2},
      {"c referenced", [&] { return saves.AddRefRecordSave(2), 0; }, 0},
      {"release b once", [&] { return saves.nReleaseRecordSave(1); }, 1},
      {"b still found", [&] { return saves.nGetRecordIndice(b.get()); }, 1},
      {"release c", [&] { return saves.nReleaseRecordSave(2); }, 0},
      {"c left the map", [&] { return saves.nGetRecordIndice(c.get()); }, -1},
      {"release a", [&] { return saves.nReleaseRecordSave(0); }, 0},
      {"a released twice stays at 0", [&] { return saves.nReleaseRecordSave(0); }, 0},
      {"keep d: the first free row", [&] { return saves.nKeepRecordSave(d.get()); }, 0},
      {"d is there", [&] { return saves.bGetAt(read.get(), 0u) && Rows::Bytes(read.get()) == Rows::Bytes(d.get()); }, 1},
      {"d referenced", [&] { return saves.AddRefRecordSave(0), saves.nGetRefCount(0); }, 1},
      {"keep a: the next free row", [&] { return saves.nKeepRecordSave(a.get()); }, 2},
      {"keep b: cached", [&] { return saves.nKeepRecordSave(b.get()); }, 1},
      {"a referenced", [&] { return saves.AddRefRecordSave(2), saves.nGetRefCount(2); }, 1},
      {"keep c: no free row left", [&] { return saves.nKeepRecordSave(c.get()); }, 3},
      {"rows", [&] { return saves.nGetCount(); }, 4},
      {"nAjoute adds nothing", [&] { return saves.nAjoute(c.get()); }, -1},
      {"nor Insere", [&] { return saves.Insere(c.get(), 0), saves.Insere(c.get(), 9), saves.nGetCount(); }, 4},
      {"nor Supprime", [&] { return saves.Supprime(0), saves.nGetCount(); }, 4},
      {"a kept row stays found", [&] { return saves.nGetRecordIndice(a.get()); }, 2},
      {"emptied", [&] { return saves.SupprimeTout(), saves.nGetCount() + saves.nGetRefCount(0); }, 0},
      {"no hint after emptying", [&] { return saves._nGetFirstFreePos(); }, -1},
      {"keep after emptying", [&] { return saves.nKeepRecordSave(c.get()); }, 0},
  };
  for (const Step& s : steps) EXPECT_EQ(s.call(), s.expected) << s.what;
}

}  // namespace

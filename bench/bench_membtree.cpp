// The in-memory B+tree in the table cache's shape (random 8-byte keys, 4-byte row numbers, both
// compared with memcmp), against std::multimap under a memcmp comparator in the same run: a
// million inserts, a million searches, a whole forward walk, and a bulk load of the same records.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "common/membtree.h"

namespace {

const int kRecords = 1000000;

typedef std::array<uint8_t, 8> Key;
struct MemcmpLess {
  bool operator()(const Key& a, const Key& b) const { return memcmp(a.data(), b.data(), a.size()) < 0; }
};
typedef std::multimap<Key, uint32_t, MemcmpLess> Multimap;

int Memcmp(const void* a, const void* b, unsigned int n) { return memcmp(a, b, n); }

struct Records {
  std::vector<Key> keys;  // in arrival order
  std::vector<uint32_t> rows;
  std::vector<Key> probes;  // the same keys in another order
};

const Records& records() {
  static const Records r = [] {
    Records out;
    std::mt19937_64 rng(7);
    for (int i = 0; i < kRecords; ++i) {
      const uint64_t k = rng();
      Key key;
      memcpy(key.data(), &k, sizeof k);
      out.keys.push_back(key);
      out.rows.push_back(static_cast<uint32_t>(i));
    }
    out.probes = out.keys;
    std::shuffle(out.probes.begin(), out.probes.end(), rng);
    return out;
  }();
  return r;
}

std::unique_ptr<CMemBTree> NewTree() {
  std::unique_ptr<CMemBTree> tree(new CMemBTree);
  if (!tree->bInit(sizeof(Key), sizeof(uint32_t), Memcmp, Memcmp, 0)) std::abort();
  return tree;
}

std::unique_ptr<CMemBTree> FilledTree() {
  const Records& r = records();
  std::unique_ptr<CMemBTree> tree = NewTree();
  for (int i = 0; i < kRecords; ++i) tree->bInsert(r.keys[i].data(), &r.rows[i]);
  return tree;
}

Multimap FilledMultimap() {
  const Records& r = records();
  Multimap map;
  for (int i = 0; i < kRecords; ++i) map.emplace(r.keys[i], r.rows[i]);
  return map;
}

// Heap in use, in MB: what a structure holds, whatever the allocator kept from earlier runs.
double HeapMB() { return static_cast<double>(mallinfo2().uordblks) / (1 << 20); }

void BM_Insert_Tree(benchmark::State& state) {
  records();
  for (auto _ : state) {
    const double before = HeapMB();
    std::unique_ptr<CMemBTree> tree = FilledTree();
    state.counters["MB"] = HeapMB() - before;
    if (tree->nGetNumRecord() != kRecords) state.SkipWithError("records lost");
    state.PauseTiming();
    tree.reset();
    state.ResumeTiming();
  }
}

void BM_Insert_Multimap(benchmark::State& state) {
  records();
  for (auto _ : state) {
    const double before = HeapMB();
    Multimap* map = new Multimap(FilledMultimap());
    state.counters["MB"] = HeapMB() - before;
    state.PauseTiming();
    delete map;
    state.ResumeTiming();
  }
}

void BM_BulkLoad_Tree(benchmark::State& state) {
  const Records& r = records();
  for (auto _ : state) {
    std::unique_ptr<CMemBTree> tree = NewTree();
    if (!tree->bLoadBulk(r.keys.data(), r.rows.data(), kRecords)) state.SkipWithError("bulk load refused");
    state.PauseTiming();
    tree.reset();
    state.ResumeTiming();
  }
}

void BM_Search_Tree(benchmark::State& state) {
  const Records& r = records();
  std::unique_ptr<CMemBTree> tree = FilledTree();
  for (auto _ : state)
    for (const Key& k : r.probes) benchmark::DoNotOptimize(tree->pSearch(k.data(), 0));
  if (memcmp(tree->pReadKey(), r.probes.back().data(), sizeof(Key)) != 0) state.SkipWithError("wrong record");
}

void BM_Search_Multimap(benchmark::State& state) {
  const Records& r = records();
  const Multimap map = FilledMultimap();
  for (auto _ : state)
    for (const Key& k : r.probes) benchmark::DoNotOptimize(map.lower_bound(k));
}

void BM_Walk_Tree(benchmark::State& state) {
  std::unique_ptr<CMemBTree> tree = FilledTree();
  for (auto _ : state) {
    int moved = 0, count = 1;
    uint64_t sum = 0;
    tree->GotoFirstRecord();
    do {
      uint32_t row;
      memcpy(&row, tree->pReadValue(), sizeof row);
      sum += row;
    } while (tree->bAdvance(1, &moved, 0) && ++count);
    benchmark::DoNotOptimize(sum);
    if (count != kRecords) state.SkipWithError("walk missed records");
  }
}

void BM_Walk_Multimap(benchmark::State& state) {
  const Multimap map = FilledMultimap();
  for (auto _ : state) {
    uint64_t sum = 0;
    for (const auto& item : map) sum += item.second;
    benchmark::DoNotOptimize(sum);
  }
}

}  // namespace

// Each iteration handles all 1,000,000 records.
BENCHMARK(BM_Insert_Tree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_Multimap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulkLoad_Tree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search_Tree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search_Multimap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Tree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Multimap)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

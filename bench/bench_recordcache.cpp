// The row cache against the standard library in one run: 200,000 rows of 170 record bytes with
// record-values identifiers appended (one allocation per block), read back by index into a row
// value, and found by identifier; the baseline is a std::vector<std::string> of the rows with a
// std::unordered_map from their bytes to their index, doing the same three things. Each side's
// CPU per row comes from getrusage (user + system); the paired benchmark runs the sides in turn
// and gives the cache's CPU over the baseline's for each operation (medians: below 1 is faster).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "access/narecordcache.h"
#include "driver/naerror.h"
#include "host/host_datasource.h"
#include "host/host_itemdescription.h"

namespace {

constexpr int kRows = 200000;
constexpr unsigned int kRecordSize = 170;

// The rows' bytes, one after the other: a row number and text, as a fetched row looks.
const std::vector<unsigned char>& RowBytes() {
  static const std::vector<unsigned char> bytes = [] {
    std::vector<unsigned char> out(static_cast<size_t>(kRows) * kRecordSize);
    std::mt19937 rng(170);
    for (int r = 0; r < kRows; ++r) {
      unsigned char* row = out.data() + static_cast<size_t>(r) * kRecordSize;
      for (unsigned int i = 0; i < kRecordSize; ++i) row[i] = static_cast<unsigned char>('a' + rng() % 26);
      memcpy(row + 1, &r, sizeof r);
    }
    return out;
  }();
  return bytes;
}
const unsigned char* Row(int r) { return RowBytes().data() + static_cast<size_t>(r) * kRecordSize; }

// A row value of 170 record bytes (a bit-field byte, an I4 and a 165-byte text) whose identifier
// names its own bytes.
struct CRowValue {
  CNAError error;
  CHostItemDescription number{L"n", NA_IT_I4, 4};
  CHostItemDescription text{L"t", NA_IT_TEXTE, 165};
  CHostRecordDescription desc;
  CNARecordValue* value = nullptr;

  CRowValue() {
    CNAError::s_Hold(&error);
    desc.Add(&number);
    desc.Add(&text);
    CNAKJRecord record;
    if (!record.bInit(&desc, NA_INIT_EMPTY) || record.nGetTotalSize() != kRecordSize) std::abort();
    value = new CNARecordValue(&error);
    value->AddRef();
    value->bCopyNAKJRecord(&record);
    value->bShareRecordID(new CNARecordId_RecordValues(value));
  }
  ~CRowValue() { value->nRelease(); }
  unsigned char* Bytes() const { return value->pclGetNAKJRecord()->pbyGetNullValuesFlags(); }
};

double CpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One run of a side: CPU seconds of each operation over all rows.
struct Times {
  double append = 0, read = 0, find = 0;
};

Times RunCache(CRowValue& row) {
  Times t;
  auto cache = std::make_unique<CNARecordCache>();
  double t0 = CpuSeconds();
  for (int r = 0; r < kRows; ++r) {
    memcpy(row.Bytes(), Row(r), kRecordSize);
    cache->nAjoute(row.value);
  }
  t.append = CpuSeconds() - t0;

  uint64_t sum = 0;
  t0 = CpuSeconds();
  for (int r = 0; r < kRows; ++r) {
    cache->bGetAt(row.value, static_cast<unsigned int>(r));
    sum += row.Bytes()[1];
  }
  t.read = CpuSeconds() - t0;
  benchmark::DoNotOptimize(sum);

  int found = 0;
  t0 = CpuSeconds();
  for (int r = 0; r < kRows; ++r) {
    const CNARecordId_RecordValues id(Row(r), kRecordSize, nullptr);
    found += cache->nGetRecordIndice(&id) == r;
  }
  t.find = CpuSeconds() - t0;
  if (found != kRows) std::abort();
  return t;
}

Times RunBaseline() {
  Times t;
  auto rows = std::make_unique<std::vector<std::string>>();
  auto index = std::make_unique<std::unordered_map<std::string, size_t>>();
  double t0 = CpuSeconds();
  for (int r = 0; r < kRows; ++r) {
    rows->emplace_back(reinterpret_cast<const char*>(Row(r)), kRecordSize);
    index->emplace(rows->back(), rows->size() - 1);
  }
  t.append = CpuSeconds() - t0;

  unsigned char out[kRecordSize];
  uint64_t sum = 0;
  t0 = CpuSeconds();
  for (int r = 0; r < kRows; ++r) {
    const std::string& s = (*rows)[static_cast<size_t>(r)];
    memcpy(out, s.data(), s.size());
    sum += out[1];
  }
  t.read = CpuSeconds() - t0;
  benchmark::DoNotOptimize(sum);

  // The probes are made beforehand, as the cache's are the rows' bytes already there.
  std::vector<std::string> probes;
  probes.reserve(kRows);
  for (int r = 0; r < kRows; ++r) probes.emplace_back(reinterpret_cast<const char*>(Row(r)), kRecordSize);
  int found = 0;
  t0 = CpuSeconds();
  for (int r = 0; r < kRows; ++r) {
    auto it = index->find(probes[static_cast<size_t>(r)]);
    found += it != index->end() && it->second == static_cast<size_t>(r);
  }
  t.find = CpuSeconds() - t0;
  if (found != kRows) std::abort();
  return t;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Report(benchmark::State& state, const Times& t) {
  state.counters["append_ns_row"] = t.append * 1e9 / kRows;
  state.counters["read_ns_row"] = t.read * 1e9 / kRows;
  state.counters["find_ns_row"] = t.find * 1e9 / kRows;
}

void BM_Cache(benchmark::State& state) {
  RowBytes();
  CRowValue row;
  Times t;
  for (auto _ : state) t = RunCache(row);
  Report(state, t);
}

void BM_Baseline(benchmark::State& state) {
  RowBytes();
  Times t;
  for (auto _ : state) t = RunBaseline();
  Report(state, t);
}

void BM_Paired(benchmark::State& state) {
  RowBytes();
  CRowValue row;
  std::vector<double> append, read, find;
  for (auto _ : state) {
    const Times c = RunCache(row), b = RunBaseline();
    append.push_back(c.append / b.append);
    read.push_back(c.read / b.read);
    find.push_back(c.find / b.find);
  }
  state.counters["append_ratio"] = Median(append);
  state.counters["read_ratio"] = Median(read);
  state.counters["find_ratio"] = Median(find);
}

}  // namespace

BENCHMARK(BM_Cache)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paired)->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

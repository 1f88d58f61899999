// The host's browse through the loaded driver against the client library called directly, in one
// run over TCP loopback to the private server (scripts/testdb; its env file loaded), on the
// 200,000 rows of the statement benchmark's table (made here when missing) read as the host
// file (id INT PRIMARY KEY, name VARCHAR(64), qty INT, price DECIMAL(12,2), created DATETIME).
//
// The driver side is the host's file layer over qx200msql.so: first, next to the end, and each
// record read at the host's own offsets (every value). The raw side runs the texts the driver
// sends and touches every value (fetch_row, fetch_lengths, the first byte):
// - whole result ("QX Cache Size=-1", row cache off by 0x10000) against one stored result;
// - the driver's blocks of 100 (row cache on) against the same block texts stored one after the
//   other, and, without a goal, against one stored result of the whole table;
// - the blocks of 100 with the row cache off: the resident set added, the raw side streaming.
// Both sides run in turn; the figures are medians of the driver's over the raw side's: rows per
// second, client CPU per row (getrusage, user + system), the resident set added (sampled).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "access/inatable.h"
#include "bench/bench_measure.h"
#include "driver/inadriver.h"
#include "host/host_context.h"
#include "host/host_datasource.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "tests/support/rawmysql.h"
#include "values/any.h"

namespace {

constexpr long long kRows = 200000;
constexpr long long kBlock = 100;
constexpr unsigned int kNoRowCache = 0x10000;
const char* const kColumns = "SELECT `id`,`name`,`qty`,`price`,`created` FROM `qxbench_statement`";

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The driver loaded once, its three host connections and the host's description of the table.
struct CSetup {
  TestServer server;
  RawMySQL lib;
  RawConnection raw{lib};
  CHostLoader loader;
  INADriver* driver = nullptr;
  std::deque<std::wstring> texts;
  std::deque<CHostConnectionDescription> hosts;
  std::deque<CHostItemDescription> items;
  CHostRecordDescription desc;
  std::string why;
  bool bOk = false;

  CSetup() {
    if (!TestServer::fromEnv(&server)) {
      why = "no test server: load .testdb/env first";
      return;
    }
    if (!lib.load(&why) || !raw.connect(server, RawTransport::Tcp, &why) || !bFill()) return;
    driver = loader.piQueryInterface(&why);
    if (driver == nullptr) return;
    desc.m_pszName = desc.m_pszPhysicalName = desc.m_pszDBTableName = L"qxbench_statement";
    const struct {
      const wchar_t* name;
      eNA_ITEMTYPE type;
      unsigned int size;
    } layout[] = {{L"id", NA_IT_I4, 4},
                  {L"name", NA_IT_TEXTE, 65},
                  {L"qty", NA_IT_I4, 4},
                  {L"price", NA_IT_DECIMAL, 24},
                  {L"created", NA_IT_DATETIME, 8}};
    for (const auto& l : layout) {
      CHostItemDescription& item = items.emplace_back(l.name, l.type, l.size);
      item.m_pszNameInSource = L"";
      desc.Add(&item);
    }
    items[0].m_wKeyFlags = 0x8000;
    items[3].m_nIntegerPart = 10;
    items[3].m_nDecimalPart = 2;
    bOk = true;
  }

  bool bFill() {
    RawRows rows;
    if (raw.query("SELECT COUNT(*) FROM qxbench_statement", &rows, nullptr) && rows.size() == 1 && rows[0][0] &&
        std::stoll(*rows[0][0]) == kRows)
      return true;
    return raw.exec("DROP TABLE IF EXISTS qxbench_statement", &why) &&
           raw.exec("CREATE TABLE qxbench_statement (id INT PRIMARY KEY, name VARCHAR(64), qty INT, "
                    "price DECIMAL(12,2), created DATETIME, note TEXT) CHARACTER SET utf8mb4",
                    &why) &&
           raw.exec("INSERT INTO qxbench_statement SELECT seq, CONCAT('name \xc3\xa9 ', seq), "
                    "CAST(seq % 1000 AS SIGNED) - 500, seq * 1.25, '2024-01-01' + INTERVAL seq MINUTE, "
                    "REPEAT('note ', seq % 20) FROM seq_1_to_200000",
                    &why);
  }

  // The table of a host connection whose extended information ends with extra.
  INATable* Table(const std::string& extra) {
    CHostConnectionDescription& host = hosts.emplace_back();
    static std::wstring user, password, source;
    user = Wide(server.user), password = Wide(server.password), source = Wide(server.host);
    host.m_pszUser = user.c_str();
    host.m_pszPassword = password.c_str();
    host.m_pszDataSource = source.c_str();
    host.m_pszExtendedInfo =
        texts.emplace_back(Wide("Server Port=" + std::to_string(server.port) + ";Initial Catalog=" + server.database + extra))
            .c_str();
    host.m_llCacheSize = -2;
    return loader.piGetTable(&host, &desc);
  }
};

CSetup& Setup() {
  static CSetup setup;
  return setup;
}

bool Ready(benchmark::State& state) {
  if (!Setup().bOk) state.SkipWithError(Setup().why.c_str());
  return Setup().bOk;
}

// One host browse of the whole file: first, next to the end, every record read.
class CHostBrowse {
 public:
  CHostBrowse(const std::string& extra, unsigned int flags, DWORD ctx)
      : m_pTable(Setup().Table(extra)), m_ctx(ctx, 1), m_dwFlags(flags) {
    m_bOpen = m_pTable != nullptr && m_pTable->bHOuvre(&m_ctx, eNA_ACCESS{0}, nullptr);
  }
  ~CHostBrowse() {
    if (m_pTable == nullptr) return;
    m_pTable->bHFerme(&m_ctx);
    m_pTable->nExternalRelease();
  }
  bool bOpen() const { return m_bOpen; }

  STPass Pass() {
    return Measure([&](auto sample) -> long long {
      long long rows = 0;
      unsigned long touched = 0;
      for (eNA_PARSEDIRECTION dir = NA_PARSE_FIRST;; dir = NA_PARSE_NEXT) {
        int out = 0;
        if (!m_pTable->bHLitxxx(&m_ctx, L"id", dir, 1, eNA_LOCKTYPE{0}, nullptr, m_dwFlags) ||
            !m_pTable->bHEnDehors(&m_ctx, L"id", &out))
          return -1;
        if (out) break;
        if (!Setup().loader.bGetRecord(m_pTable, &m_ctx, Setup().desc, &m_row)) return -1;
        for (const CHostItemValue& v : m_row) touched += v.tabBytes[0];
        sample(rows++);
      }
      benchmark::DoNotOptimize(touched);
      return rows;
    });
  }

 private:
  INATable* m_pTable;
  CHostContext m_ctx;
  unsigned int m_dwFlags;
  bool m_bOpen = false;
  CHostRow m_row;
};

// The raw side: texts run one after the other, each result stored or streamed and every value
// touched. The block texts continue after the last key read, as the driver's next block does.
long long RawRun(RawMySQL::MYSQL* mysql, const std::string& text, bool stored, long long* lastId,
                 const std::function<void(long long)>& sample, long long* rows) {
  RawMySQL& lib = Setup().lib;
  if (lib.real_query(mysql, text.data(), text.size()) != 0) return -1;
  RawMySQL::MYSQL_RES* result = stored ? lib.store_result(mysql) : lib.use_result(mysql);
  if (result == nullptr) return -1;
  const unsigned int fields = lib.num_fields(result);
  long long got = 0;
  unsigned long touched = 0;
  while (RawMySQL::MYSQL_ROW row = lib.fetch_row(result)) {
    const unsigned long* lengths = lib.fetch_lengths(result);
    for (unsigned int i = 0; i < fields; ++i) touched += lengths[i] + (row[i] != nullptr ? row[i][0] : 0);
    *lastId = atoll(row[0]);
    ++got;
    sample((*rows)++);
  }
  lib.free_result(result);
  benchmark::DoNotOptimize(touched);
  return got;
}

STPass RawWhole(RawMySQL::MYSQL* mysql, bool stored) {
  return Measure([&](auto sample) -> long long {
    long long rows = 0, last = 0;
    const std::function<void(long long)> s = sample;
    return RawRun(mysql, std::string(kColumns) + " ORDER BY `id`", stored, &last, s, &rows) < 0 ? -1 : rows;
  });
}

STPass RawBlocks(RawMySQL::MYSQL* mysql, bool stored) {
  return Measure([&](auto sample) -> long long {
    long long rows = 0, last = 0;
    const std::function<void(long long)> s = sample;
    std::string text = std::string(kColumns) + " ORDER BY `id` LIMIT " + std::to_string(kBlock);
    for (;;) {
      const long long got = RawRun(mysql, text, stored, &last, s, &rows);
      if (got < 0) return -1;
      if (got < kBlock) return rows;
      text = std::string(kColumns) + " WHERE `id`>" + std::to_string(last) + " ORDER BY `id` LIMIT " +
             std::to_string(kBlock);
    }
  });
}

bool Check(benchmark::State& state, const STPass& p, const char* side) {
  if (p.rows == kRows) return true;
  state.SkipWithError((std::string(side) + ": wrong row count " + std::to_string(p.rows)).c_str());
  return false;
}

// The host browse and a raw pass in turn, each first in every other pair.
template <typename Raw>
void Paired(benchmark::State& state, CHostBrowse& browse, Raw&& raw, const char* prefix) {
  std::vector<double> rowsRatio, cpuRatio, hostCpu, rawCpu;
  long hostRss = 0, rawRss = 0;
  bool rawFirst = true;
  for (auto _ : state) {
    STPass r, h;
    if (rawFirst)
      r = raw(), h = browse.Pass();
    else
      h = browse.Pass(), r = raw();
    rawFirst = !rawFirst;
    if (!Check(state, r, "raw") || !Check(state, h, "host")) return;
    rowsRatio.push_back(r.wall / h.wall);
    cpuRatio.push_back(h.cpu / r.cpu);
    hostCpu.push_back(h.cpu * 1e9 / static_cast<double>(h.rows));
    rawCpu.push_back(r.cpu * 1e9 / static_cast<double>(r.rows));
    hostRss = std::max(hostRss, h.rssKb);
    rawRss = std::max(rawRss, r.rssKb);
    state.counters["host_rows_per_s"] = static_cast<double>(h.rows) / h.wall;
  }
  const std::string p(prefix);
  state.counters[p + "rows_ratio"] = Median(rowsRatio);
  state.counters[p + "cpu_ratio"] = Median(cpuRatio);
  state.counters["host_cpu_ns_per_row"] = Median(hostCpu);
  state.counters[p + "raw_cpu_ns_per_row"] = Median(rawCpu);
  state.counters["host_rss_added_kb"] = static_cast<double>(hostRss);
  state.counters[p + "raw_rss_added_kb"] = static_cast<double>(rawRss);
}

struct CRaw {
  RawConnection cnx{Setup().lib};
  bool bOk = false;
  CRaw() {
    std::string err;
    bOk = cnx.connect(Setup().server, RawTransport::Tcp, &err);
  }
};

// Whole result, row cache off, against one stored result.
void BM_WholeResult(benchmark::State& state) {
  if (!Ready(state)) return;
  CRaw raw;
  CHostBrowse browse(";QX Cache Size=-1", kNoRowCache, 1);
  if (!raw.bOk || !browse.bOpen()) return state.SkipWithError("open failed");
  Paired(state, browse, [&] { return RawWhole(raw.cnx.handle(), true); }, "");
}

// Blocks of 100, row cache on, against the same block texts; then against one whole result.
void BM_DefaultBlocks(benchmark::State& state) {
  if (!Ready(state)) return;
  CRaw raw;
  CHostBrowse browse("", 0, 2);
  if (!raw.bOk || !browse.bOpen()) return state.SkipWithError("open failed");
  if (state.range(0) == 0)
    Paired(state, browse, [&] { return RawBlocks(raw.cnx.handle(), true); }, "");
  else
    Paired(state, browse, [&] { return RawWhole(raw.cnx.handle(), true); }, "whole_");
}

// Blocks of 100 with the row cache off: the resident set they add, a streamed raw pass beside.
void BM_BlocksNoRowCache(benchmark::State& state) {
  if (!Ready(state)) return;
  CRaw raw;
  CHostBrowse browse("", kNoRowCache, 3);
  if (!raw.bOk || !browse.bOpen()) return state.SkipWithError("open failed");
  Paired(state, browse, [&] { return RawWhole(raw.cnx.handle(), false); }, "streamed_");
}

// Seeks: kSeeks point seeks by primary key (a fixed generator's values), each followed by the
// record read with every value, against the same point SELECTs run and stored one by one.
constexpr long long kSeeks = 20000;

long long SeekKey(long long i) { return (i * 7919 + 13) % kRows + 1; }

void BM_Seeks(benchmark::State& state) {
  if (!Ready(state)) return;
  CRaw raw;
  INATable* table = Setup().Table("");
  CHostContext ctx(4, 1);
  if (!raw.bOk || table == nullptr || !table->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr)) {
    if (table != nullptr) table->nExternalRelease();
    return state.SkipWithError("open failed");
  }
  CHostRow row;
  auto host = [&] {
    return Measure([&](auto sample) -> long long {
      unsigned long touched = 0;
      CAny key;
      for (long long i = 0; i < kSeeks; ++i) {
        key.SetI4(static_cast<int>(SeekKey(i)));
        int out = 0;
        if (!table->bHRecherche(&ctx, L"id", &key, 0, 1, eNA_LOCKTYPE{0}, nullptr, 1, 0) ||
            !table->bHEnDehors(&ctx, L"id", &out) || out != 0 ||
            !Setup().loader.bGetRecord(table, &ctx, Setup().desc, &row))
          return -1;
        for (const CHostItemValue& v : row) touched += v.tabBytes[0];
        sample(i);
      }
      benchmark::DoNotOptimize(touched);
      return kSeeks;
    });
  };
  auto direct = [&] {
    return Measure([&](auto sample) -> long long {
      long long rows = 0, last = 0;
      const std::function<void(long long)> s = sample;
      for (long long i = 0; i < kSeeks; ++i) {
        const std::string text = std::string(kColumns) + " WHERE `id`=" + std::to_string(SeekKey(i));
        if (RawRun(raw.cnx.handle(), text, true, &last, s, &rows) != 1) return -1;
      }
      return rows;
    });
  };
  std::vector<double> opsRatio, cpuRatio;
  bool rawFirst = true;
  for (auto _ : state) {
    STPass r, h;
    if (rawFirst)
      r = direct(), h = host();
    else
      h = host(), r = direct();
    rawFirst = !rawFirst;
    if (r.rows != kSeeks || h.rows != kSeeks) {
      state.SkipWithError("a seek failed");
      break;
    }
    opsRatio.push_back(r.wall / h.wall);
    cpuRatio.push_back(h.cpu / r.cpu);
    state.counters["host_seeks_per_s"] = static_cast<double>(h.rows) / h.wall;
    state.counters["host_cpu_us_per_seek"] = h.cpu * 1e6 / static_cast<double>(h.rows);
    state.counters["raw_cpu_us_per_seek"] = r.cpu * 1e6 / static_cast<double>(r.rows);
  }
  if (!opsRatio.empty()) {
    state.counters["ops_ratio"] = Median(opsRatio);
    state.counters["cpu_ratio"] = Median(cpuRatio);
  }
  table->bHFerme(&ctx);
  table->nExternalRelease();
}

BENCHMARK(BM_WholeResult)->Iterations(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DefaultBlocks)->ArgName("against_whole")->Arg(0)->Arg(1)->Iterations(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlocksNoRowCache)->Iterations(4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seeks)->Iterations(4)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The MySQL SQL statement against the client library called directly, in one run over TCP
// loopback to the private server (scripts/testdb; its env file loaded), on 200,000 rows of
// (id INT PRIMARY KEY, name VARCHAR(64), qty INT, price DECIMAL(12,2), created DATETIME, note TEXT).
//
// The raw side stores or streams the result and touches every value of every row (fetch_row,
// fetch_lengths, the first byte); the statement runs the same text stored or streamed and reads
// every column with bGetValue into converters bound to a host record buffer, typed by the
// result's columns as a query browse binds them. Both call the library through the same
// resolved entries. Counters: rows per second, client CPU per row (getrusage, user + system) and
// the resident set added during the run (sampled); the paired benchmarks run both sides in turn
// and give the statement's figures over the raw ones (medians).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_measure.h"
#include "bench/bench_server.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "host/host_itemdescription.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqldriver.h"
#include "mysql/mysqlstatementsql.h"
#include "sql/naconvertvariant.h"
#include "values/vmbind.h"

namespace {

constexpr long long kRows = 200000;
constexpr const char* kTable = "qxbench_statement";
constexpr const char* kSelect = "SELECT id, name, qty, price, created, note FROM qxbench_statement";

struct CSetup : CBenchServer {
  CMySQLDriver driver;
  CNAError error;
  std::unique_ptr<CMySQLConnection> cnx;
  bool bOk = false;

  CSetup() {
    void* self = dlopen(nullptr, RTLD_NOW);
    if (!bFound || !bInitZVConvFromVM(self, 2, 0) || !bInitZVCalcFromVM(self, 2, 0)) return;
    CNAError::s_Hold(&error);
    cnx = std::make_unique<CMySQLConnection>(L"bench", &host);
    cnx->AddRef();
    bOk = cnx->bOpen(&error) && bFill();
  }

  // The table, made once and kept between runs.
  bool bFill() {
    CMySQLStatementSQL st(cnx.get(), &error);
    CAny count;
    if (st.bGetRequestedValue(&count, 0, L"SELECT COUNT(*) FROM qxbench_statement")) {
      long long n = 0;
      if (count.__nCastTo(ZV_I8, nullptr, 1) < 100 && count.nGetINT_64(&n) < 100 && n == kRows) return true;
    }
    error.Reset();
    return cnx->bExecuteQueryNoResult(&error, L"DROP TABLE IF EXISTS qxbench_statement") &&
           cnx->bExecuteQueryNoResult(&error, L"CREATE TABLE qxbench_statement (id INT PRIMARY KEY, "
                                              L"name VARCHAR(64), qty INT, price DECIMAL(12,2), created DATETIME, "
                                              L"note TEXT) CHARACTER SET utf8mb4") &&
           cnx->bExecuteQueryNoResult(&error, L"INSERT INTO qxbench_statement SELECT seq, CONCAT('name \u00e9 ', seq), "
                                              L"CAST(seq % 1000 AS SIGNED) - 500, seq * 1.25, '2024-01-01' + INTERVAL seq MINUTE, "
                                              L"REPEAT('note ', seq % 20) FROM seq_1_to_200000");
  }
};

CSetup& Setup() {
  static CSetup setup;
  return setup;
}

bool Ready(benchmark::State& state) { return bBenchReady(state, Setup().bOk); }

MYSQL* RawOpen() {
  const CSetup& s = Setup();
  MYSQL* mysql = __mysql_init(nullptr);
  if (__mysql_real_connect(mysql, s.server.host.c_str(), s.server.user.c_str(), s.server.password.c_str(),
                           s.server.database.c_str(), s.server.port, nullptr,
                           CLIENT_FOUND_ROWS | CLIENT_MULTI_STATEMENTS) == nullptr ||
      __mysql_set_character_set(mysql, "utf8mb4") != 0) {
    __mysql_close(mysql);
    return nullptr;
  }
  return mysql;
}

STPass RawPass(MYSQL* mysql, bool stored) {
  return Measure([&](auto sample) -> long long {
    if (__mysql_real_query(mysql, kSelect, strlen(kSelect)) != 0) return -1;
    MYSQL_RES* result = stored ? __mysql_store_result(mysql) : __mysql_use_result(mysql);
    if (result == nullptr) return -1;
    const unsigned int fields = __mysql_num_fields(result);
    long long rows = 0;
    unsigned long touched = 0;
    while (MYSQL_ROW row = __mysql_fetch_row(result)) {
      const unsigned long* lengths = __mysql_fetch_lengths(result);
      for (unsigned int i = 0; i < fields; ++i) touched += lengths[i] + (row[i] != nullptr ? row[i][0] : 0);
      sample(rows++);
    }
    __mysql_free_result(result);
    benchmark::DoNotOptimize(touched);
    return rows;
  });
}

// The statement with a converter per column, each bound to its slot of one record buffer (a memo
// is held by its converter), typed by the result's columns.
class CStatementReader {
 public:
  CStatementReader() : m_st(Setup().cnx.get(), &Setup().error) {}
  ~CStatementReader() {
    for (auto& c : m_tabConv) c->ResetVariant();
  }

  STPass Pass(bool stored) {
    m_st.SetStoreResult(stored);
    return Measure([&](auto sample) -> long long {
      if (!m_st.bExecuteDirect(kSelect, 0) || !_bBind()) return -1;
      long long rows = 0;
      while (m_st.bFetch(0) && !m_st.bIsEnd()) {
        for (unsigned int i = 0; i < m_tabConv.size(); ++i)
          if (!m_st.bGetValue(m_tabConv[i].get(), i, 0)) return -1;
        sample(rows++);
      }
      return m_st.bReset() ? rows : -1;
    });
  }

 private:
  bool _bBind() {
    if (!m_tabConv.empty()) return true;
    const unsigned int n = m_st.nGetColumnCount();
    unsigned int offset = 0;
    for (unsigned int i = 0; i < n; ++i) {
      const CNAColumnSQL* c = m_st.pclGetNAColumnSQL(static_cast<int>(i));
      if (c == nullptr) return false;
      m_tabItem.push_back(std::make_unique<CHostItemDescription>(c->m_csName.pszGet(), c->m_eItemType, c->m_nItemSize));
      m_tabItem.back()->m_nIntegerPart = c->m_nPrecision;
      m_tabItem.back()->m_nDecimalPart = c->m_nDecimals;
      m_tabConv.push_back(std::make_unique<CNAConvertVariant>(&Setup().error, Setup().cnx.get()));
      m_tabConv.back()->SetStatic(true);
      m_tabOffset.push_back(offset);
      offset += c->m_eItemType == NA_IT_MEMOUNICODE || c->m_eItemType == NA_IT_MEMOTEXTE ? 0 : c->m_nItemSize;
    }
    m_tabRecord.assign(offset, 0);
    for (unsigned int i = 0; i < n; ++i) {
      const CHostItemDescription& item = *m_tabItem[i];
      const unsigned short type = ConverteItemToZVType(item.m_eType);
      if (item.bMemo())
        m_tabConv[i]->InitTypeVariantAny(type, 0);
      else if (!m_tabConv[i]->bInitTypeVariant(NA_VAR_BUFFER, m_tabRecord.data() + m_tabOffset[i], item.m_nItemSize, type))
        return false;
      m_tabConv[i]->SetItemDesc(m_tabItem[i].get(), nullptr);
    }
    return true;
  }

  CMySQLStatementSQL m_st;
  std::vector<std::unique_ptr<CHostItemDescription>> m_tabItem;
  std::vector<std::unique_ptr<CNAConvertVariant>> m_tabConv;
  std::vector<unsigned int> m_tabOffset;
  std::vector<unsigned char> m_tabRecord;
};

void Report(benchmark::State& state, const std::vector<STPass>& passes) {
  double wall = 0, cpu = 0;
  long long rows = 0;
  long rss = 0;
  for (const STPass& p : passes) wall += p.wall, cpu += p.cpu, rows += p.rows, rss = std::max(rss, p.rssKb);
  state.counters["rows_per_s"] = static_cast<double>(rows) / wall;
  state.counters["cpu_ns_per_row"] = cpu * 1e9 / static_cast<double>(rows);
  state.counters["rss_added_kb"] = static_cast<double>(rss);
}

bool Check(benchmark::State& state, const STPass& p) {
  if (p.rows == kRows) return true;
  const std::wstring why = Setup().error.pszGetError();
  state.SkipWithError(("wrong row count " + std::to_string(p.rows) + ": " + std::string(why.begin(), why.end())).c_str());
  return false;
}

void BM_Raw(benchmark::State& state) {
  if (!Ready(state)) return;
  MYSQL* mysql = RawOpen();
  if (mysql == nullptr) return state.SkipWithError("open failed");
  std::vector<STPass> passes;
  for (auto _ : state)
    if (passes.push_back(RawPass(mysql, state.range(0) != 0)), !Check(state, passes.back())) break;
  __mysql_close(mysql);
  Report(state, passes);
}

void BM_Statement(benchmark::State& state) {
  if (!Ready(state)) return;
  CStatementReader reader;
  std::vector<STPass> passes;
  for (auto _ : state)
    if (passes.push_back(reader.Pass(state.range(0) != 0)), !Check(state, passes.back())) break;
  Report(state, passes);
}

// Both sides in turn, so that drift of the server and the machine falls on both alike, each
// first in every other pair: the statement's rows per second over the raw side's, its CPU per
// row over theirs.
void BM_Paired(benchmark::State& state) {
  if (!Ready(state)) return;
  const bool stored = state.range(0) != 0;
  MYSQL* mysql = RawOpen();
  if (mysql == nullptr) return state.SkipWithError("open failed");
  CStatementReader reader;
  std::vector<double> rowsRatio, cpuRatio, rawCpu, statementCpu;
  long rss = 0;
  bool rawFirst = true;
  for (auto _ : state) {
    STPass raw, statement;
    if (rawFirst)
      raw = RawPass(mysql, stored), statement = reader.Pass(stored);
    else
      statement = reader.Pass(stored), raw = RawPass(mysql, stored);
    rawFirst = !rawFirst;
    if (!Check(state, raw) || !Check(state, statement)) break;
    rowsRatio.push_back(raw.wall / statement.wall);
    cpuRatio.push_back(statement.cpu / raw.cpu);
    rawCpu.push_back(raw.cpu * 1e9 / static_cast<double>(raw.rows));
    statementCpu.push_back(statement.cpu * 1e9 / static_cast<double>(statement.rows));
    rss = std::max(rss, statement.rssKb);
  }
  __mysql_close(mysql);
  if (rowsRatio.empty()) return;
  state.counters["rows_ratio"] = Median(rowsRatio);
  state.counters["cpu_ratio"] = Median(cpuRatio);
  state.counters["raw_cpu_ns_per_row"] = Median(rawCpu);
  state.counters["stmt_cpu_ns_per_row"] = Median(statementCpu);
  state.counters["stmt_rss_added_kb"] = static_cast<double>(rss);
}

BENCHMARK(BM_Raw)->ArgName("stored")->Arg(1)->Arg(0)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Statement)->ArgName("stored")->Arg(1)->Arg(0)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paired)->ArgName("stored")->Arg(1)->Arg(0)->Iterations(16)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The MySQL connection against the client library called directly with the same calls, in the
// same run, over TCP loopback to the private server (scripts/testdb; its env file loaded):
// open + close of a connection, and "DO 1" through bExecuteQueryNoResult. Both sides call the
// library through the same resolved entries, so the difference is the connection's own work.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_server.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"

namespace {

struct CSetup : CBenchServer {
  bool bOk = false;

  CSetup() {
    if (!bFound) return;
    CMySQLConnection first(L"bench", &host);  // loads the library
    CNAError error;
    bOk = first.bOpen(&error) && first.bClose(&error);
  }
};

CSetup& Setup() {
  static CSetup setup;
  return setup;
}

bool Ready(benchmark::State& state) { return bBenchReady(state, Setup().bOk); }

// What the connection's open sends for texts that are all Latin-1, with Unicode on.
MYSQL* RawOpen(const CSetup& s) {
  MYSQL* mysql = __mysql_init(nullptr);
  __mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "latin1");
  if (__mysql_real_connect(mysql, s.server.host.c_str(), s.server.user.c_str(), s.server.password.c_str(),
                           s.server.database.c_str(), s.server.port, nullptr,
                           CLIENT_FOUND_ROWS | CLIENT_MULTI_STATEMENTS) == nullptr ||
      __mysql_get_server_info(mysql) == nullptr || __mysql_set_character_set(mysql, "utf8mb4") != 0) {
    __mysql_close(mysql);
    return nullptr;
  }
  return mysql;
}

void BM_OpenClose_Connection(benchmark::State& state) {
  if (!Ready(state)) return;
  CMySQLConnection cnx(L"bench", &Setup().host);
  CNAError error;
  for (auto _ : state) {
    if (!cnx.bOpen(&error) || !cnx.bClose(&error)) state.SkipWithError("open failed");
  }
}

void BM_OpenClose_Raw(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    MYSQL* mysql = RawOpen(Setup());
    if (mysql == nullptr) state.SkipWithError("open failed");
    __mysql_close(mysql);
  }
}

void BM_Do1_Connection(benchmark::State& state) {
  if (!Ready(state)) return;
  CMySQLConnection cnx(L"bench", &Setup().host);
  CNAError error;
  if (!cnx.bOpen(&error)) return state.SkipWithError("open failed");
  for (auto _ : state) {
    if (!cnx.bExecuteQueryNoResult(&error, L"DO 1")) state.SkipWithError("DO 1 failed");
  }
}

void BM_Do1_Raw(benchmark::State& state) {
  if (!Ready(state)) return;
  MYSQL* mysql = RawOpen(Setup());
  if (mysql == nullptr) return state.SkipWithError("open failed");
  for (auto _ : state) {
    bool ok = __mysql_real_query(mysql, "DO 1", 4) == 0;
    if (MYSQL_RES* result = __mysql_store_result(mysql))
      __mysql_free_result(result);
    else
      ok = ok && __mysql_errno(mysql) == 0;
    ok = ok && __mysql_next_result(mysql) == -1;
    if (!ok) state.SkipWithError("DO 1 failed");
  }
  __mysql_close(mysql);
}

// Opens and closes of both sides in turn within one loop, so that drift of the server and the
// machine falls on both alike; the counter is the raw median time over the driver's (1.0: no cost
// of our own). Medians, because a loopback round trip now and then stalls for milliseconds. (Two
// connections querying in turn stall each other in a pattern, so "DO 1" is timed side by side.)
double MedianRatio(std::vector<long long>& raw, std::vector<long long>& driver) {
  if (raw.empty()) return 0;
  std::nth_element(raw.begin(), raw.begin() + raw.size() / 2, raw.end());
  std::nth_element(driver.begin(), driver.begin() + driver.size() / 2, driver.end());
  return static_cast<double>(raw[raw.size() / 2]) / static_cast<double>(driver[driver.size() / 2]);
}

void BM_OpenClose_Paired(benchmark::State& state) {
  if (!Ready(state)) return;
  CMySQLConnection cnx(L"bench", &Setup().host);
  CNAError error;
  using Clock = std::chrono::steady_clock;
  std::vector<long long> raw, driver;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    MYSQL* mysql = RawOpen(Setup());
    if (mysql != nullptr) __mysql_close(mysql);
    const Clock::time_point t1 = Clock::now();
    const bool ok = mysql != nullptr && cnx.bOpen(&error) && cnx.bClose(&error);
    driver.push_back((Clock::now() - t1).count());
    raw.push_back((t1 - t0).count());
    if (!ok) state.SkipWithError("open failed");
  }
  state.counters["raw_over_driver"] = MedianRatio(raw, driver);
}

BENCHMARK(BM_OpenClose_Connection)->UseRealTime();
BENCHMARK(BM_OpenClose_Raw)->UseRealTime();
BENCHMARK(BM_Do1_Connection)->UseRealTime();
BENCHMARK(BM_Do1_Raw)->UseRealTime();
BENCHMARK(BM_OpenClose_Paired)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

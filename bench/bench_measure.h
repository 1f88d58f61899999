// What the row benchmarks measure of one pass: wall and CPU time (getrusage, user + system), the
// resident set the pass added at most (sampled every 4,096 rows), and the median of the runs.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

inline long RssKb() {
  FILE* f = fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f != nullptr) {
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One pass over a result: its wall and CPU time and the resident set it added at most.
struct STPass {
  double wall = 0, cpu = 0;
  long rssKb = 0;
  long long rows = 0;
};

// pass(sample) answers its row count and calls sample(row) after each row.
template <typename F>
STPass Measure(F&& pass) {
  const long rss0 = RssKb();
  long peak = rss0;
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  STPass p;
  p.rows = pass([&](long long row) {
    if ((row & 4095) == 0) peak = std::max(peak, RssKb());
  });
  p.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  p.cpu = CpuSeconds() - cpu0;
  p.rssKb = std::max(peak, RssKb()) - rss0;
  return p;
}

// 0 for no runs.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

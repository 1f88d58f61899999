// UTF-8 <-> wide conversion of 1 MB of mixed text, ours against glibc iconv on the same buffers.
#include "common/utf.h"

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

struct Corpus {
  std::wstring wide;
  std::string utf8;
};

// Mostly ASCII words, with accented Latin letters, some CJK and a few emoji.
const Corpus& corpus() {
  static const Corpus c = [] {
    static const wchar_t accented[] = L"\u00E9\u00E8\u00EA\u00E0\u00E7\u00F4\u00FC\u00F1\u00C9\u00DF";
    Corpus r;
    std::mt19937 rng(42);
    while (r.utf8.size() < (1u << 20)) {
      std::wstring word;
      for (unsigned len = 2 + rng() % 8; len > 0; --len) {
        const unsigned k = rng() % 1000;
        if (k < 900) word += static_cast<wchar_t>('a' + rng() % 26);
        else if (k < 970) word += accented[rng() % 10];
        else if (k < 995) word += static_cast<wchar_t>(0x4E00 + rng() % 0x5000);
        else word += static_cast<wchar_t>(0x1F600 + rng() % 0x40);
      }
      word += rng() % 12 == 0 ? L".\n" : L" ";
      std::string bytes(word.size() * 4, '\0');
      bytes.resize(static_cast<size_t>(nWideToUTF8(bytes.data(), static_cast<int>(bytes.size()), word.data(), static_cast<int>(word.size()))));
      r.wide += word;
      r.utf8 += bytes;
    }
    return r;
  }();
  return c;
}

iconv_t openOnce(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::perror("iconv_open");
    std::abort();
  }
  return cd;
}

size_t runIconv(iconv_t cd, const void* src, size_t srcBytes, void* dst, size_t dstBytes) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = static_cast<char*>(const_cast<void*>(src));
  char* out = static_cast<char*>(dst);
  size_t inLeft = srcBytes, outLeft = dstBytes;
  if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) std::abort();
  return dstBytes - outLeft;
}

void BM_Utf8ToWide_Ours(benchmark::State& state) {
  const Corpus& c = corpus();
  std::vector<wchar_t> dst(c.wide.size());
  for (auto _ : state) {
    const int n = nUTF8ToWide(dst.data(), static_cast<int>(dst.size()), c.utf8.data(), static_cast<int>(c.utf8.size()));
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  if (std::wstring(dst.data(), dst.size()) != c.wide) state.SkipWithError("wrong result");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.utf8.size()));
}

void BM_Utf8ToWide_Iconv(benchmark::State& state) {
  const Corpus& c = corpus();
  std::vector<wchar_t> dst(c.wide.size());
  iconv_t cd = openOnce("WCHAR_T", "UTF-8");
  for (auto _ : state) {
    benchmark::DoNotOptimize(runIconv(cd, c.utf8.data(), c.utf8.size(), dst.data(), dst.size() * sizeof(wchar_t)));
    benchmark::ClobberMemory();
  }
  iconv_close(cd);
  if (std::wstring(dst.data(), dst.size()) != c.wide) state.SkipWithError("wrong result");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.utf8.size()));
}

void BM_WideToUtf8_Ours(benchmark::State& state) {
  const Corpus& c = corpus();
  std::string dst(c.utf8.size(), '\0');
  for (auto _ : state) {
    const int n = nWideToUTF8(dst.data(), static_cast<int>(dst.size()), c.wide.data(), static_cast<int>(c.wide.size()));
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  if (dst != c.utf8) state.SkipWithError("wrong result");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.utf8.size()));
}

void BM_WideToUtf8_Iconv(benchmark::State& state) {
  const Corpus& c = corpus();
  std::string dst(c.utf8.size(), '\0');
  iconv_t cd = openOnce("UTF-8", "WCHAR_T");
  for (auto _ : state) {
    benchmark::DoNotOptimize(runIconv(cd, c.wide.data(), c.wide.size() * sizeof(wchar_t), dst.data(), dst.size()));
    benchmark::ClobberMemory();
  }
  iconv_close(cd);
  if (dst != c.utf8) state.SkipWithError("wrong result");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.utf8.size()));
}

}  // namespace

// Throughput is counted in UTF-8 bytes in both directions.
BENCHMARK(BM_Utf8ToWide_Ours);
BENCHMARK(BM_Utf8ToWide_Iconv);
BENCHMARK(BM_WideToUtf8_Ours);
BENCHMARK(BM_WideToUtf8_Iconv);

BENCHMARK_MAIN();

// Code-page conversions against one raw iconv call over the same text with a descriptor opened
// once: the cost a conversion adds per value of a row.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "platform/codepage.h"

namespace {

// French text: mostly ASCII with accents, as values read from a server usually are.
const char kSentence1252[] = "Le c\xE9l\xE8" "bre g\xE2teau \xE0 la cr\xE8me br\xFBl\xE9" "e co\xFBte 12,50 \x80. ";
const char kShort1252[] = "Caf\xE9 cr\xE8me br\xFBl";  // 16 bytes

std::string NarrowText(unsigned int cp, bool large) {
  if (!large && cp == 65001) return "Caf\xC3\xA9 cr\xC3\xA8me bru";  // 16 bytes
  std::string base = large ? kSentence1252 : kShort1252;
  if (large) {
    std::string big;
    while (big.size() < (1u << 20)) big += base;
    base = big;
  }
  if (cp == 1252) return base;
  std::vector<char> out(base.size() * 3 + 1);
  const int n = MultiByteToUTF8(1252, base.data(), static_cast<unsigned>(base.size()), out.data(),
                                static_cast<unsigned>(out.size()), 0);
  return std::string(out.data(), static_cast<size_t>(n));
}

std::wstring WideText(unsigned int cp, bool large) {
  const std::string narrow = NarrowText(cp, large);
  std::wstring w(narrow.size(), L'\0');
  const int n = MultiByteToWideChar(cp, 0, narrow.data(), static_cast<int>(narrow.size()), w.data(),
                                    static_cast<int>(w.size()));
  w.resize(static_cast<size_t>(n));
  return w;
}

void BM_MultiByteToWideChar(benchmark::State& state) {
  const unsigned int cp = static_cast<unsigned int>(state.range(0));
  const std::string text = NarrowText(cp, state.range(1) != 0);
  std::vector<wchar_t> out(text.size() + 1);
  for (auto _ : state) {
    const int n = MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                      static_cast<int>(out.size()));
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_WideCharToMultiByte(benchmark::State& state) {
  const unsigned int cp = static_cast<unsigned int>(state.range(0));
  const std::wstring text = WideText(cp, state.range(1) != 0);
  std::vector<char> out(text.size() * 4 + 1);
  for (auto _ : state) {
    const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                      static_cast<int>(out.size()), nullptr, nullptr);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * sizeof(wchar_t)));
}

const char* IConvName(unsigned int cp) { return cp == 1252 ? "CP1252" : "UTF-8"; }

void BM_RawIconvToWide(benchmark::State& state) {
  const unsigned int cp = static_cast<unsigned int>(state.range(0));
  const std::string text = NarrowText(cp, state.range(1) != 0);
  std::vector<wchar_t> out(text.size() + 1);
  iconv_t cd = iconv_open("UTF32LE//IGNORE", IConvName(cp));
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* ip = const_cast<char*>(text.data());
    size_t il = text.size();
    char* op = reinterpret_cast<char*>(out.data());
    size_t ol = out.size() * sizeof(wchar_t);
    benchmark::DoNotOptimize(iconv(cd, &ip, &il, &op, &ol));
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_RawIconvFromWide(benchmark::State& state) {
  const unsigned int cp = static_cast<unsigned int>(state.range(0));
  const std::wstring text = WideText(cp, state.range(1) != 0);
  std::vector<char> out(text.size() * 4 + 1);
  iconv_t cd = iconv_open(IConvName(cp), "UTF32LE");
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* ip = reinterpret_cast<char*>(const_cast<wchar_t*>(text.data()));
    size_t il = text.size() * sizeof(wchar_t);
    char* op = out.data();
    size_t ol = out.size();
    benchmark::DoNotOptimize(iconv(cd, &ip, &il, &op, &ol));
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * sizeof(wchar_t)));
}

// Arguments: code page, then 0 for the 16-byte text or 1 for the 1 MB text.
void Cases(benchmark::internal::Benchmark* b) {
  for (int cp : {1252, 65001})
    for (int large : {0, 1}) b->Args({cp, large});
}

BENCHMARK(BM_MultiByteToWideChar)->Apply(Cases);
BENCHMARK(BM_RawIconvToWide)->Apply(Cases);
BENCHMARK(BM_WideCharToMultiByte)->Apply(Cases);
BENCHMARK(BM_RawIconvFromWide)->Apply(Cases);

}  // namespace

BENCHMARK_MAIN();

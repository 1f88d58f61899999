// The SQL text builder against a std::string / std::wstring fed the same 100,000 fragments in the
// same run: narrow text of the ANSI code page, wide text and numbers, onto content of code page
// 1252, 65001 and wide content. The reference converts with the same code-page functions through
// a scratch buffer and writes numbers with std::to_chars, so the difference is the builder's own
// cost. A second reference appends fragments already in the content's form: the floor.
#include <benchmark/benchmark.h>

#include <charconv>
#include <string>
#include <vector>

#include "common/tstringconcataw.h"
#include "platform/codepage.h"

namespace {

constexpr int kFragments = 100000;
constexpr unsigned int kAnsi = 1252;

struct CFragment {
  enum Kind { NARROW, WIDE, INT, LONG } kind;
  std::string narrow;
  std::wstring wide;
  long long number = 0;
};

const std::vector<CFragment>& Fragments() {
  static const std::vector<CFragment> list = [] {
    const char* narrow[] = {"SELECT ", "caf\xE9", ", ", " FROM ", "cr\xE8me_br\xFBl\xE9" "e", " = '", "' AND ",
                            "\x80 "};
    const wchar_t* wide[] = {L"col_\u00E9t\u00E9", L" WHERE ", L"`table`", L"prix \u20AC", L"(", L")",
                             L"nom LIKE 'gar\u00E7on%'", L" ORDER BY 1"};
    std::vector<CFragment> v;
    v.reserve(kFragments);
    for (int i = 0; i < kFragments; ++i) {
      CFragment f{};
      switch (i % 4) {
        case 0: f.kind = CFragment::NARROW; f.narrow = narrow[(i / 4) % 8]; break;
        case 1: f.kind = CFragment::WIDE; f.wide = wide[(i / 4) % 8]; break;
        case 2: f.kind = CFragment::INT; f.number = (i * 7919) % 100000 - 500; break;
        default: f.kind = CFragment::LONG; f.number = 1234567890123LL * (i % 13) - i; break;
      }
      v.push_back(std::move(f));
    }
    return v;
  }();
  return list;
}

int Len(const std::string& s) { return static_cast<int>(s.size()); }
int Len(const std::wstring& s) { return static_cast<int>(s.size()); }

void BM_Builder(benchmark::State& state) {
  const int content = static_cast<int>(state.range(0));
  const auto& fragments = Fragments();
  size_t length = 0;
  for (auto _ : state) {
    CTStringConcatAW b(content, static_cast<int>(kAnsi));
    for (const CFragment& f : fragments) {
      switch (f.kind) {
        case CFragment::NARROW: b.Add(f.narrow.data(), Len(f.narrow)); break;
        case CFragment::WIDE: b.Add(f.wide.data(), Len(f.wide)); break;
        case CFragment::INT: b.AddNumber(static_cast<int>(f.number)); break;
        case CFragment::LONG: b.AddNumber(f.number); break;
      }
    }
    length = static_cast<size_t>(b.nGetLength());
    benchmark::DoNotOptimize(b.bIsWide() ? static_cast<const void*>(b.pszGetW()) : b.pszGetA());
  }
  state.counters["units"] = static_cast<double>(length);
  state.SetItemsProcessed(state.iterations() * kFragments);
}

// The same appends onto a standard string with the same converters.
template <typename S>
void ReferenceAppend(S& out, const CFragment& f, unsigned int content, std::vector<char>& narrowScratch,
                     std::vector<wchar_t>& wideScratch) {
  using T = typename S::value_type;
  if (f.kind == CFragment::INT || f.kind == CFragment::LONG) {
    char digits[24];
    const int n = static_cast<int>(std::to_chars(digits, digits + sizeof digits, f.number).ptr - digits);
    T text[24];
    for (int i = 0; i < n; ++i) text[i] = static_cast<T>(digits[i]);
    out.append(text, static_cast<size_t>(n));
    return;
  }
  if constexpr (sizeof(T) == 1) {
    if (f.kind == CFragment::NARROW && content == kAnsi) {
      out.append(f.narrow);
      return;
    }
    const int n = f.kind == CFragment::NARROW
                      ? MultiByteToUTF8(kAnsi, f.narrow.data(), static_cast<unsigned int>(f.narrow.size()),
                                        narrowScratch.data(), static_cast<unsigned int>(4 * f.narrow.size()), 0)
                      : WideCharToMultiByte(content, 0, f.wide.data(), Len(f.wide), narrowScratch.data(),
                                            static_cast<int>(narrowScratch.size()), nullptr, nullptr);
    out.append(narrowScratch.data(), static_cast<size_t>(n));
  } else {
    if (f.kind == CFragment::WIDE) {
      out.append(f.wide);
      return;
    }
    const int n = MultiByteToWideChar(kAnsi, 0, f.narrow.data(), Len(f.narrow), wideScratch.data(),
                                      static_cast<int>(wideScratch.size()));
    out.append(wideScratch.data(), static_cast<size_t>(n));
  }
}

template <typename S>
void RunReference(benchmark::State& state, unsigned int content) {
  const auto& fragments = Fragments();
  std::vector<char> narrowScratch(256);
  std::vector<wchar_t> wideScratch(256);
  size_t length = 0;
  for (auto _ : state) {
    S out;
    for (const CFragment& f : fragments) ReferenceAppend(out, f, content, narrowScratch, wideScratch);
    length = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["units"] = static_cast<double>(length);
  state.SetItemsProcessed(state.iterations() * kFragments);
}

void BM_Reference(benchmark::State& state) {
  const int content = static_cast<int>(state.range(0));
  if (content == CTStringConcatAW::kWideContent)
    RunReference<std::wstring>(state, 0);
  else
    RunReference<std::string>(state, static_cast<unsigned int>(content));
}

// Fragments already in the content's form: plain appends only.
void BM_ReferencePreconverted(benchmark::State& state) {
  const int content = static_cast<int>(state.range(0));
  const auto& fragments = Fragments();
  std::vector<char> narrowScratch(256);
  std::vector<wchar_t> wideScratch(256);
  std::vector<std::string> narrow;
  std::vector<std::wstring> wide;
  for (const CFragment& f : fragments) {
    if (content == CTStringConcatAW::kWideContent) {
      std::wstring w;
      ReferenceAppend(w, f, 0, narrowScratch, wideScratch);
      wide.push_back(std::move(w));
    } else {
      std::string s;
      ReferenceAppend(s, f, static_cast<unsigned int>(content), narrowScratch, wideScratch);
      narrow.push_back(std::move(s));
    }
  }
  for (auto _ : state) {
    if (content == CTStringConcatAW::kWideContent) {
      std::wstring out;
      for (const std::wstring& w : wide) out.append(w);
      benchmark::DoNotOptimize(out.data());
    } else {
      std::string out;
      for (const std::string& s : narrow) out.append(s);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * kFragments);
}

void ContentPages(benchmark::internal::Benchmark* b) {
  for (int content : {1252, 65001, CTStringConcatAW::kWideContent}) b->Arg(content);
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Builder)->Apply(ContentPages);
BENCHMARK(BM_Reference)->Apply(ContentPages);
BENCHMARK(BM_ReferencePreconverted)->Apply(ContentPages);

}  // namespace

BENCHMARK_MAIN();

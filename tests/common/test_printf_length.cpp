// The formatted-length estimate: its amounts, its walk over the arguments, and that it bounds the
// formatter's real length for every conversion, flag, width and precision.
#include "common/printf_length.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <string>
#include <type_traits>

#include "platform/winformat.h"

namespace {

template <typename T>
int Est(const T* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = STRG_nCalculeLongueurPrintf<T>(format, ap);
  va_end(ap);
  return r;
}

// The formatter's real length.
int Real(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  wchar_t* p = nullptr;
  const int r = vaswprintf(&p, format, ap);
  va_end(ap);
  free(p);
  return r;
}
int Real(const char* format, ...) {
  static char buffer[1 << 16];
  va_list ap;
  va_start(ap, format);
  const int r = vsznprintf(buffer, sizeof buffer - 1, format, ap);
  va_end(ap);
  return r;
}

struct Case { const char* call; int got, want; };
#define EST(want, ...) Case{#__VA_ARGS__, Est(__VA_ARGS__), want}

const wchar_t* const kNullW = nullptr;
const char* const kNullA = nullptr;

TEST(PrintfLength, AmountsPerConversion) {
  const Case rows[] = {
      EST(8, L"ab"), EST(32, L"%d", 1), EST(512, L"%5.2f", 1.0), EST(5, L"%s", L"hello"), EST(1, L"%s", L""),
      EST(6, L"%s", kNullW), EST(6, L"%S", kNullA),  // a null string of either width prints "(null)"
      EST(10, L"%10s", L"abc"), EST(2, L"%.2s", L"abcdef"), EST(6, L"%S", "narrow"), EST(2, L"%c", L'x'),
      EST(40, L"%*d", 40, 1), EST(4, L"%%"), EST(4, L"x%"), EST(2, "ab"), EST(1, "%%"), EST(34, "%#x", 1),
      EST(3, "%s", "abc"), EST(0, "%n", nullptr),
      EST(4, "%-5y"),  // unknown conversions print as they stand
  };
  for (const Case& c : rows) EXPECT_EQ(c.got, c.want) << c.call;
  EXPECT_EQ(Est<wchar_t>(nullptr), 0);
}

TEST(PrintfLength, ConsumesTheArgumentsTheFormatterReads) {
  // A wrong walk would take the string from a number's slot and crash or misjudge its length.
  // Unknown conversions take nothing; a precision bounds how far a string is read (no terminator
  // needed); a negative star width left-justifies by its size, a negative star precision is none.
  const std::wstring s(100, L'a');
  const wchar_t unterminated[3] = {L'a', L'b', L'c'};
  const char narrow[2] = {'a', 'b'};
  const Case rows[] = {
      EST(132, L"%I64d%s", 1LL << 40, s.c_str()), EST(132, L"%lld%s", 1LL << 40, s.c_str()),
      EST(132, L"%ld%s", 1L, s.c_str()),          EST(107, L"%*.*s|%s", 3, 2, L"xyz", s.c_str()),
      EST(612, L"%f%s", 1.0, s.c_str()),          EST(612, L"%Lf%s", 1.0L, s.c_str()),
      EST(104, L"%c%C%s", L'x', 'y', s.c_str()),  EST(132, L"%p%n%s", nullptr, nullptr, s.c_str()),
      EST(112, L"%*y%s", s.c_str()),              EST(3, L"%.3s", unterminated),
      EST(2, L"%.2S", narrow),                    EST(9, L"%*s", -9, L"ab"),
      EST(4, L"%.*s", -1, L"abcd"),
      EST(8 + 4 * 8, L"ab%2$s%1$s", L"x", L"y"),  // numbered arguments stop the walk: the rest is text
  };
  for (const Case& c : rows) EXPECT_EQ(c.got, c.want) << c.call;
}

// Every flag set, width and precision (digits or stars) around one conversion and argument; the
// estimate must never be short of what the formatter writes.
template <typename T, typename V>
void ExpectBound(const std::string& conv, V v) {
  struct Part { const char* text; int star; };  // star: the argument a '*' takes
  static const char* const kFlags[] = {"", "#0", "-+ "};
  static const Part kWidths[] = {{"", 0}, {"70", 0}, {"*", -40}};
  static const Part kPrecisions[] = {{"", 0}, {".", 0}, {".3", 0}, {".420", 0}, {".*", 420}, {".*", -5}};
  for (const char* flags : kFlags)
    for (const Part& w : kWidths)
      for (const Part& p : kPrecisions) {
        const std::string narrow = std::string("x%") + flags + w.text + p.text + conv + "z";
        const std::basic_string<T> f(narrow.begin(), narrow.end());
        const auto check = [&](auto... args) {
          const int real = Real(f.c_str(), args...);
          ASSERT_GE(real, 0) << narrow;
          ASSERT_GE(Est(f.c_str(), args...), real) << narrow;
        };
        const bool ws = w.text[0] == '*', ps = p.text[0] != 0 && p.text[1] == '*';
        if (ws && ps) check(w.star, p.star, v);
        else if (ws || ps) check(ws ? w.star : p.star, v);
        else check(v);
      }
}

template <typename T>
void BoundsEveryConversion() {
  constexpr bool kWide = std::is_same_v<T, wchar_t>;
  for (const char* conv : {"d", "i", "o", "u", "x", "X"}) {
    for (const char* size : {"", "h", "hh", "I32"})
      for (int v : {0, -1, INT_MIN, INT_MAX}) ExpectBound<T>(std::string(size) + conv, v);
    for (const char* size : {"l", "ll", "I64", "I", "z", "j"})
      for (long long v : {LLONG_MIN, LLONG_MAX, -1LL}) ExpectBound<T>(std::string(size) + conv, v);
  }
  for (const char* conv : {"a", "A", "e", "E", "f", "F", "g", "G"})
    for (double v : {0.0, -0.0, 1e308, -DBL_MAX, 1e-308, 4.9e-324, 123.456, -9.999999, 0.5, 1e22, 999999.5,
                     HUGE_VAL, std::nan("")})
      ExpectBound<T>(conv, v);
  for (const char* conv : {"Le", "LF", "Lg"})
    for (long double v : {-1e4000L, LDBL_MIN, 1.0L}) ExpectBound<T>(conv, v);
  const std::string ascii = "The quick brown fox jumps over the lazy dog, 0123456789 times, ~!@#$%^&*()_+{}|";
  const std::wstring wide = std::wstring(ascii.begin(), ascii.end()) + (kWide ? L"\u00E9\u263A\U0001F600" : L"");
  for (const char* conv : {"ls", kWide ? "s" : "S"})
    for (const wchar_t* v : {L"", L"abc", wide.c_str(), kNullW}) ExpectBound<T>(conv, v);
  for (const char* conv : {"hs", kWide ? "S" : "s"})
    for (const char* v : {"", "abc", ascii.c_str(), kNullA}) ExpectBound<T>(conv, v);
  for (wint_t v : {wint_t{'A'}, wint_t{kWide ? 0x263A : '~'}, wint_t{kWide ? 0x1F600 : ' '}})
    ExpectBound<T>(kWide ? "c" : "C", v);
  for (int v : {'A', '~'}) ExpectBound<T>(kWide ? "C" : "c", v);
  for (void* v : {static_cast<void*>(nullptr), reinterpret_cast<void*>(INTPTR_MAX)}) {
    ExpectBound<T>("p", v);
    ExpectBound<T>("y", v);
  }
}

TEST(PrintfLength, BoundsTheWideFormatter) { BoundsEveryConversion<wchar_t>(); }
TEST(PrintfLength, BoundsTheNarrowFormatter) { BoundsEveryConversion<char>(); }

}  // namespace

// The formatted-length estimate: its documented amounts, its argument walk, and that it bounds the
// real formatted length over many generated formats and arguments.
#include "common/printf_length.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "platform/winformat.h"

namespace {

int EstW(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = STRG_nCalculeLongueurPrintf<wchar_t>(format, ap);
  va_end(ap);
  return r;
}

int EstA(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = STRG_nCalculeLongueurPrintf<char>(format, ap);
  va_end(ap);
  return r;
}

// The formatter's real length.
int RealW(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  wchar_t* p = nullptr;
  const int r = vaswprintf(&p, format, ap);
  va_end(ap);
  free(p);
  return r;
}

int RealA(const char* format, ...) {
  static char buffer[1 << 16];
  va_list ap;
  va_start(ap, format);
  const int r = vsznprintf(buffer, sizeof buffer - 1, format, ap);
  va_end(ap);
  return r;
}

TEST(PrintfLength, DocumentedAmounts) {
  EXPECT_EQ(EstW(L"ab"), 8);
  EXPECT_EQ(EstW(L"%d", 1), 32);
  EXPECT_EQ(EstW(L"%5.2f", 1.0), 512);
  EXPECT_EQ(EstW(L"%s", L"hello"), 5);
  EXPECT_EQ(EstW(L"%s", L""), 1);
  EXPECT_EQ(EstW(L"%s", static_cast<const wchar_t*>(nullptr)), 6);
  EXPECT_EQ(EstW(L"%10s", L"abc"), 10);
  EXPECT_EQ(EstW(L"%.2s", L"abcdef"), 2);
  EXPECT_EQ(EstW(L"%S", "narrow"), 6);
  EXPECT_EQ(EstW(L"%c", L'x'), 2);
  EXPECT_EQ(EstW(L"%*d", 40, 1), 40);
  EXPECT_EQ(EstW(L"%%"), 4);
  EXPECT_EQ(EstW(L"x%"), 4);
  EXPECT_EQ(EstA("ab"), 2);
  EXPECT_EQ(EstA("%%"), 1);
  EXPECT_EQ(EstA("%#x", 1), 34);
  EXPECT_EQ(EstA("%s", "abc"), 3);
  EXPECT_EQ(EstA("%n", nullptr), 0);
  EXPECT_EQ(EstW(nullptr), 0);
  // Unknown conversions print as they stand.
  EXPECT_EQ(EstA("%-5y"), 4);
  // A null string of either width prints "(null)".
  EXPECT_EQ(EstW(L"%S", static_cast<const char*>(nullptr)), 6);
}

TEST(PrintfLength, ConsumesTheArgumentsTheFormatterReads) {
  // A wrong walk would take the string from a number's slot and crash or misjudge its length.
  const std::wstring s(100, L'a');
  EXPECT_EQ(EstW(L"%I64d%s", 1LL << 40, s.c_str()), 132);
  EXPECT_EQ(EstW(L"%lld%s", 1LL << 40, s.c_str()), 132);
  EXPECT_EQ(EstW(L"%ld%s", 1L, s.c_str()), 132);
  EXPECT_EQ(EstW(L"%*.*s|%s", 3, 2, L"xyz", s.c_str()), 3 + 4 + 100);
  EXPECT_EQ(EstW(L"%f%s", 1.0, s.c_str()), 612);
  EXPECT_EQ(EstW(L"%Lf%s", 1.0L, s.c_str()), 612);
  EXPECT_EQ(EstW(L"%c%C%s", L'x', 'y', s.c_str()), 104);
  EXPECT_EQ(EstW(L"%p%n%s", nullptr, nullptr, s.c_str()), 132);
  // Unknown conversions and a trailing conversion take nothing.
  EXPECT_EQ(EstW(L"%*y%s", s.c_str()), 12 + 100);
  // A precision bounds how far a string is read (no terminator needed).
  const wchar_t unterminated[3] = {L'a', L'b', L'c'};
  EXPECT_EQ(EstW(L"%.3s", unterminated), 3);
  const char narrow[2] = {'a', 'b'};
  EXPECT_EQ(EstW(L"%.2S", narrow), 2);
  // Negative star width: left-justified by its size; negative star precision: none.
  EXPECT_EQ(EstW(L"%*s", -9, L"ab"), 9);
  EXPECT_EQ(EstW(L"%.*s", -1, L"abcd"), 4);
}

TEST(PrintfLength, NumberedArgumentsStopTheWalk) {
  // Not a bound: the rest counts as literal text.
  EXPECT_EQ(EstW(L"ab%2$s%1$s", L"x", L"y"), 8 + 4 * 8);
}

// Random conversions with matching arguments; the estimate must never be short.
class CGenerator {
 public:
  explicit CGenerator(unsigned seed) : m_rng(seed) {}

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  bool Coin() { return Int(0, 1) == 1; }

  // "%", flags, width and precision (stars are reported through the counts).
  template <typename T>
  std::basic_string<T> Head(int* stars, int* starValues) {
    std::basic_string<T> f(1, '%');
    const char* flags = "-+ #0";
    for (int i = 0; i < 5; ++i)
      if (Int(0, 3) == 0) f += static_cast<T>(flags[i]);
    *stars = 0;
    switch (Int(0, 3)) {
      case 1:
        Append(f, std::to_string(Int(0, 70)));
        break;
      case 2:
        f += '*';
        starValues[(*stars)++] = Int(-40, 70);
        break;
      default:
        break;
    }
    switch (Int(0, 4)) {
      case 1:
        f += '.';
        break;
      case 2:
        f += '.';
        Append(f, std::to_string(Int(0, 12)));
        break;
      case 3:
        f += '.';
        Append(f, std::to_string(Int(0, 420)));
        break;
      case 4:
        f += '.';
        f += '*';
        starValues[(*stars)++] = Int(-5, 420);
        break;
      default:
        break;
    }
    return f;
  }

  double Double() {
    static const double kSpecial[] = {0.0, -0.0, 1e308, -1.7976931348623157e308, 1e-308, 4.9e-324, 123.456,
                                      -9.999999, 0.5, std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(), 1e22, 999999.5};
    if (Coin()) return kSpecial[Int(0, static_cast<int>(sizeof kSpecial / sizeof kSpecial[0]) - 1)];
    return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(m_rng), Int(-1070, 1023));
  }

  std::string Ascii(size_t max) {
    std::string s(static_cast<size_t>(Int(0, static_cast<int>(max))), ' ');
    for (char& c : s) c = static_cast<char>(Int(32, 126));
    return s;
  }

 private:
  template <typename T>
  static void Append(std::basic_string<T>& f, const std::string& digits) {
    for (char c : digits) f += static_cast<T>(c);
  }
  std::mt19937 m_rng;
};

template <typename T, typename V>
void Check(const std::basic_string<T>& f, int stars, const int* sv, V v, int* cases) {
  int est, real;
  if constexpr (sizeof(T) == sizeof(wchar_t)) {
    if (stars == 0) {
      est = EstW(f.c_str(), v);
      real = RealW(f.c_str(), v);
    } else if (stars == 1) {
      est = EstW(f.c_str(), sv[0], v);
      real = RealW(f.c_str(), sv[0], v);
    } else {
      est = EstW(f.c_str(), sv[0], sv[1], v);
      real = RealW(f.c_str(), sv[0], sv[1], v);
    }
  } else {
    if (stars == 0) {
      est = EstA(f.c_str(), v);
      real = RealA(f.c_str(), v);
    } else if (stars == 1) {
      est = EstA(f.c_str(), sv[0], v);
      real = RealA(f.c_str(), sv[0], v);
    } else {
      est = EstA(f.c_str(), sv[0], sv[1], v);
      real = RealA(f.c_str(), sv[0], sv[1], v);
    }
  }
  ASSERT_GE(real, 0) << std::string(f.begin(), f.end());
  ASSERT_GE(est, real) << std::string(f.begin(), f.end());
  ++*cases;
}

template <typename T>
void RandomFormats(unsigned seed) {
  CGenerator g(seed);
  int cases = 0;
  for (int round = 0; round < 6000; ++round) {
    int stars = 0, sv[2] = {0, 0};
    std::basic_string<T> f;
    const std::string lead = g.Ascii(3);
    for (char c : lead)
      if (c != '%') f += static_cast<T>(c);
    f += g.Head<T>(&stars, sv);
    const std::basic_string<T> tail(static_cast<size_t>(g.Int(0, 2)), static_cast<T>('z'));
    switch (g.Int(0, 6)) {
      case 0: {  // integers of every size prefix
        static const char* const k32[] = {"", "h", "hh", "I32"};
        static const char* const k64[] = {"l", "ll", "I64", "I", "z", "j"};
        const char conv = "diouxX"[g.Int(0, 5)];
        if (g.Coin()) {
          for (const char* m = k32[g.Int(0, 3)]; *m; ++m) f += static_cast<T>(*m);
          f += static_cast<T>(conv);
          Check(f + tail, stars, sv, g.Int(INT32_MIN + 1, INT32_MAX) | (g.Coin() ? INT32_MIN : 0), &cases);
        } else {
          for (const char* m = k64[g.Int(0, 5)]; *m; ++m) f += static_cast<T>(*m);
          f += static_cast<T>(conv);
          const long long v = static_cast<long long>((static_cast<unsigned long long>(g.Int(0, INT32_MAX)) << 33) ^
                                                     static_cast<unsigned long long>(g.Int(0, INT32_MAX)));
          Check(f + tail, stars, sv, g.Coin() ? v : -v, &cases);
        }
        break;
      }
      case 1: {
        f += static_cast<T>("aAeEfFgG"[g.Int(0, 7)]);
        Check(f + tail, stars, sv, g.Double(), &cases);
        break;
      }
      case 2: {
        f += static_cast<T>('L');
        f += static_cast<T>("eEfFgG"[g.Int(0, 5)]);
        const long double v = g.Coin() ? std::ldexp(1.0L, g.Int(-16000, 16383)) : static_cast<long double>(g.Double());
        Check(f + tail, stars, sv, v, &cases);
        break;
      }
      case 3: {  // wide strings
        const std::string a = g.Ascii(80);
        std::wstring w(a.begin(), a.end());
        if constexpr (sizeof(T) == sizeof(wchar_t)) {
          if (g.Coin()) w += L"\u00E9\u263A\U0001F600";
        }
        f += static_cast<T>(sizeof(T) == sizeof(wchar_t) ? (g.Coin() ? 's' : 'l') : 'l');
        if (f.back() == static_cast<T>('l')) f += static_cast<T>('s');
        Check(f + tail, stars, sv, g.Int(0, 9) == 0 ? static_cast<const wchar_t*>(nullptr) : w.c_str(), &cases);
        break;
      }
      case 4: {  // narrow strings
        const std::string a = g.Ascii(80);
        f += static_cast<T>(sizeof(T) == sizeof(wchar_t) ? (g.Coin() ? 'S' : 'h') : 's');
        if (f.back() == static_cast<T>('h')) f += static_cast<T>('s');
        Check(f + tail, stars, sv, g.Int(0, 9) == 0 ? static_cast<const char*>(nullptr) : a.c_str(), &cases);
        break;
      }
      case 5: {
        f += static_cast<T>("cC"[g.Int(0, 1)]);
        const bool wideArg = (f.back() == static_cast<T>('c')) == (sizeof(T) == sizeof(wchar_t));
        if (wideArg)
          Check(f + tail, stars, sv, static_cast<wint_t>(sizeof(T) == 1 ? g.Int(32, 126) : g.Int(32, 0x10FFFF) & ~0xF800),
                &cases);
        else
          Check(f + tail, stars, sv, g.Int(32, 126), &cases);
        break;
      }
      default: {
        f += static_cast<T>(g.Coin() ? 'p' : 'y');
        Check(f + tail, stars, sv, reinterpret_cast<void*>(static_cast<intptr_t>(g.Int(0, INT32_MAX))), &cases);
        break;
      }
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_EQ(cases, 6000);
}

TEST(PrintfLength, BoundsTheWideFormatter) { RandomFormats<wchar_t>(11); }
TEST(PrintfLength, BoundsTheNarrowFormatter) { RandomFormats<char>(23); }

TEST(PrintfLength, LargeValuesAndPrecisions) {
  EXPECT_GE(EstW(L"%.300f", 1e308), RealW(L"%.300f", 1e308));
  EXPECT_GE(EstW(L"%f", -1.7976931348623157e308), RealW(L"%f", -1.7976931348623157e308));
  EXPECT_GE(EstW(L"%Lf", 1e4000L), RealW(L"%Lf", 1e4000L));
  EXPECT_GE(EstW(L"%+.400d", -1), RealW(L"%+.400d", -1));
  EXPECT_GE(EstW(L"%#.200o", 8), RealW(L"%#.200o", 8));
  EXPECT_GE(EstW(L"%.500a", 1.0), RealW(L"%.500a", 1.0));
}

}  // namespace

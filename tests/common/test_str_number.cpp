// Number texts and small string functions in exact-size blocks (a character too far is reported),
// the prime test against trial division, and the heap wrappers.
#include "common/str_number.h"

#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/xmalloc.h"
#include "common/xmath.h"
#include "tests/support/exact_alloc.h"

namespace {

// std::to_chars writes the same digits (lower-case letters, "-" before the magnitude); values of
// every magnitude: a random bit count, then random bits below it.
template <typename V, typename T>
void CheckRadix(T* (*convert)(V, T*, int)) {
  using U = std::make_unsigned_t<V>;
  using L = std::numeric_limits<V>;
  constexpr int kBits = std::numeric_limits<U>::digits;
  std::mt19937_64 rng(sizeof(V) * 10 + sizeof(T));
  for (int radix = 2; radix <= 36; ++radix) {
    std::vector<V> values = {0, 1, L::max(), L::min(), V(radix), V(radix - 1)};
    for (int i = 0; i < 40; ++i) values.push_back(static_cast<V>(static_cast<U>(rng()) >> (rng() % kBits)));
    for (V value : values) {
      char ref[80];
      const std::string want(ref, std::to_chars(ref, ref + sizeof ref, value, radix).ptr);
      Heap<T> buffer = Exact<T>(want.size() + 1);
      EXPECT_EQ(convert(value, buffer.get(), radix), buffer.get());
      ASSERT_EQ(std::basic_string<T>(buffer.get()), std::basic_string<T>(want.begin(), want.end())) << value;
    }
  }
}

TEST(StrNumber, RadixConversionsMatchToCharsInEveryRadix) {
  CheckRadix<uint32_t, char>(ultoa);
  CheckRadix<uint32_t, wchar_t>(ultow);
  CheckRadix<int32_t, char>(itoa);
  CheckRadix<int32_t, wchar_t>(itow);
  CheckRadix<unsigned long long, char>(ui64toa);
  CheckRadix<unsigned long long, wchar_t>(ui64tow);
  CheckRadix<unsigned long long, char>(_ui64toaMvx);
  CheckRadix<unsigned long long, wchar_t>(_ui64towMvx);
  CheckRadix<long long, char>(i64toa);
  CheckRadix<long long, wchar_t>(i64tow);
  CheckRadix<long long, char>(_i64toaMvx);
  CheckRadix<long long, wchar_t>(_i64towMvx);
  char a[80];
  wchar_t w[80];
  for (int radix : {-1, 0, 1, 37}) {  // outside 2..36: the empty text
    strcpy(a, "junk");
    EXPECT_STREQ(itoa(5, a, radix), "");
    EXPECT_STREQ(ui64tow(5, w, radix), L"");
  }
}

TEST(StrNumber, TextToNumbers) {
  // Only the first 99 characters reach the scratch, which stays terminated.
  const Heap<wchar_t> padded = ExactText(std::wstring(97, L' ') + L"42" + std::wstring(200, L'7'));
  const std::pair<const wchar_t*, long long> ints[] = {
      {L"12345", 12345}, {L"  -9223372036854775808xyz", LLONG_MIN}, {L"\u20ac12", 0}, {L"", 0}, {nullptr, 0},
      {padded.get(), 42}};
  for (const auto& [text, value] : ints) EXPECT_EQ(_wtoi64Mvx(text), value);
  EXPECT_DOUBLE_EQ(wtof(L"3.5e2"), 350.0);
  EXPECT_DOUBLE_EQ(wtof(L"-0.25"), -0.25);
  EXPECT_EQ(wtof(nullptr), 0.0);
  Heap<wchar_t> g = Exact<wchar_t>(32);
  EXPECT_STREQ(_wgcvt(3.14159, 3, g.get()), L"3.14");
  EXPECT_STREQ(_wgcvt(-1234567.0, 10, g.get()), L"-1234567");
  _wgcvt(-1.2345678901234567e-300, 1000, g.get());  // more digits than a double has
  EXPECT_EQ(wcsncmp(g.get(), L"-1.234567890123456", 18), 0);

  struct Hex {
    const wchar_t* text;
    long long value;
    int count;
  };
  for (const Hex& h : {Hex{L"1aZ", 26, 2}, Hex{L"zz", 0, 0}, Hex{L"FFFFFFFFFFFFFFFF", -1, 16},
                       Hex{L"123456789abcdef01", 0x23456789abcdef01LL, 17}, Hex{nullptr, 0, 0}}) {
    int count = -1;
    EXPECT_EQ(nGetEntierHexa(h.text, count), h.value);
    EXPECT_EQ(count, h.count);
  }
  EXPECT_EQ(nGetEntierHexa4(L"1A2f"), 0x1a2f);
  EXPECT_EQ(nGetEntierHexa4(L"00419"), 0x41);
  EXPECT_EQ(nGetEntierHexa4(ExactText<wchar_t>(L"ab").get()), 0xab);  // read up to the terminator only
  nGetEntierHexa4(L"\U0010FFFF\U0010FFFF\U0010FFFF\U0010FFFF");     // unchecked characters: no overflow (UBSan)
}

TEST(StrNumber, CaseFillingAndLengths) {
  wchar_t w[] = L"aBc1";
  EXPECT_STREQ(my_struprW(w), L"ABC1");
  EXPECT_STREQ(my_strlwrW(w), L"abc1");
  char a[] = "aBc\xE9";
  EXPECT_STREQ(my_struprA(a), "ABC\xE9");
  EXPECT_STREQ(my_strlwrA(a), "abc\xE9");
  wchar_t five[] = L"abcde";
  EXPECT_STREQ(wcsnset(five, L'*', 2), L"**cde");
  EXPECT_STREQ(wcsset(five, L'#'), L"#####");
  Heap<char> shortText = ExactText<char>("ab");
  EXPECT_STREQ(_strnset(shortText.get(), 'x', 50), "xx");
  EXPECT_STREQ(_strset(shortText.get(), 'y'), "yy");
  EXPECT_EQ(wcsnset(nullptr, L'x', 3), nullptr);
  EXPECT_EQ(xwcsnlen(ExactChars<wchar_t>(L"abcd").get(), 4), 4u);
  EXPECT_EQ(xstrnlen(ExactText<char>("ab").get(), 100), 2u);
  EXPECT_EQ(xstrnlen(nullptr, 100), 0u);
}

TEST(StrNumber, ByteSearchMatchesANaiveOne) {
  std::mt19937 rng(5);
  for (int round = 0; round < 5000; ++round) {
    const char* alphabet = round % 2 ? "abb" : "a\0b";  // NUL bytes are ordinary bytes here
    std::string block(rng() % 15, ' '), pattern(rng() % 6, ' ');
    for (char& c : block) c = alphabet[rng() % 3];
    for (char& c : pattern) c = alphabet[rng() % 3];
    const Heap<char> b = ExactChars(block), p = ExactChars(pattern);
    const size_t at = pattern.empty() ? std::string::npos : block.find(pattern);
    EXPECT_EQ(xmemmem(b.get(), static_cast<unsigned>(block.size()), p.get(), static_cast<unsigned>(pattern.size())),
              at == std::string::npos ? nullptr : b.get() + at)
        << block << " / " << pattern;
  }
}

TEST(StrNumber, UnalignedWideTextAtEveryOffset) {
  const std::wstring text = L"z\u00e9ro\U0001F600";
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  for (size_t so = 0; so < 4; ++so) {
    Heap<char> src = Exact<char>(so + bytes);
    memcpy(src.get() + so, text.c_str(), bytes);
    const char* s = src.get() + so;
    EXPECT_EQ(__UNALIGNED__UNICODE__STRLEN__(s), text.size());
    for (size_t d = 0; d < 4; ++d) {
      Heap<char> dst = Exact<char>(d + bytes);
      EXPECT_EQ(__UNALIGNED__UNICODE__STRCPY__(dst.get() + d, s), dst.get() + d);
      EXPECT_EQ(memcmp(dst.get() + d, text.c_str(), bytes), 0);
      for (size_t n = 0; n <= text.size() + 3; ++n) {
        // dst is exactly n characters: at most n - 1 copied, the rest zeroed, always terminated.
        Heap<char> nd = Exact<char>(d + n * sizeof(wchar_t));
        __UNALIGNED__UNICODE__STRNCPY__(nd.get() + d, s, static_cast<int>(n));
        std::wstring want = text.substr(0, n > 0 ? n - 1 : 0), got(n, L'?');
        want.resize(n, L'\0');
        memcpy(got.data(), nd.get() + d, n * sizeof(wchar_t));
        EXPECT_EQ(got, want) << so << " " << d << " " << n;
      }
    }
  }
}

TEST(StrNumber, OwnedCopies) {
  const std::pair<Heap<char>, std::string> narrow[] = {
      {Heap<char>(pszXSTR2CSTR(L"abc\u20ac", -1)), std::string("abc\x80\0", 5)},
      {Heap<char>(pszXSTR2CSTR(L"abcd", 2)), std::string("ab\0", 3)},
      // n beyond the text: read to its terminator only, the block still has n + 1 zeroed bytes.
      {Heap<char>(pszXSTR2CSTR(ExactText<wchar_t>(L"ab").get(), 10)), "ab" + std::string(9, '\0')},
      {Heap<char>(pszXSTR2CSTR(L"", -1)), std::string(1, '\0')},
      {Heap<char>(pszXSTR2CSTR(nullptr, 3)), std::string(4, '\0')}};
  for (const auto& [got, want] : narrow) EXPECT_EQ(std::string(got.get(), want.size()), want);
  const std::pair<Heap<wchar_t>, const wchar_t*> wide[] = {
      {Heap<wchar_t>(pszCSTR2XSTR(nullptr, -1, 1252)), L""},
      {Heap<wchar_t>(pszCSTR2XSTR("a\x80", -1, 1252)), L"a\u20ac"}, {Heap<wchar_t>(pszCSTR2XSTR("abc", 1, 1252)), L"a"},
      {Heap<wchar_t>(pszCSTR2XSTR("\xC3\xA9t\xC3\xA9", 5, 65001)), L"\u00e9t\u00e9"},  // ends after what converted
      {Heap<wchar_t>(pszCSTR2XSTR(ExactText<char>("xy").get(), 40, 1252)), L"xy"},
      {Heap<wchar_t>(pszWSTR2XSTR(L"abcd", 2, 0)), L"ab"}, {Heap<wchar_t>(pszXSTR2WSTR(L"abcd", 0, 0)), L"abcd"},
      {Heap<wchar_t>(pszWSTR2XSTR(ExactText<wchar_t>(L"ab").get(), 5, 0)), L"ab"}};
  for (const auto& [got, want] : wide) EXPECT_STREQ(got.get(), want);
  EXPECT_EQ(pszWSTR2XSTR(nullptr, 3, 0), nullptr);
}

bool NaivePrime(unsigned long long n) {
  for (unsigned long long d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return n >= 2;
}

TEST(XMath, PrimeTestAgreesWithTrialDivision) {
  for (unsigned int n = 0; n <= 30000; ++n) ASSERT_EQ(CXMath::bEstPremier(n) != FALSE, NaivePrime(n)) << n;
  // Large primes, and products of two large factors (the division runs to its last divisors).
  std::vector<unsigned int> large = {4294967291u, 4294967279u, 2147483647u, 4294967295u, 4294967293u,
                                     65521u * 65537u, 65535u * 65535u};
  std::mt19937 rng(9);
  for (int i = 0; i < 300; ++i) large.push_back(static_cast<unsigned int>(rng()) | 1u);
  for (unsigned int n : large) EXPECT_EQ(CXMath::bEstPremier(n) != FALSE, NaivePrime(n)) << n;
}

TEST(XMalloc, ResizeKeepsTheBytesAndSizeZeroKeepsABlock) {
  char* p = static_cast<char*>(XMALLOC_pResize_(nullptr, 16));
  ASSERT_NE(p, nullptr);
  memcpy(p, "0123456789abcdef", 16);
  p = static_cast<char*>(XMALLOC_pResize_(p, 4096));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(memcmp(p, "0123456789abcdef", 16), 0);
  p[4095] = 0;
  void* q = XMALLOC_pResize_(p, 0);  // null here would leave the caller freeing p twice
  ASSERT_NE(q, nullptr);
  XMALLOC_Del_(q);
  XMALLOC_Del_(nullptr);
}

}  // namespace

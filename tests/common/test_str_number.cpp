// Number text and small string functions. Results go into exact-size heap blocks, so that
// AddressSanitizer reports a write or read one character too far.
#include "common/str_number.h"

#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include "tests/support/exact_alloc.h"

namespace {

// std::to_chars writes the same digits (lower-case letters, "-" before the magnitude).
template <typename V, typename T>
void CheckRadix(T* (*convert)(V, T*, int), V value, int radix) {
  char ref[80];
  const auto r = std::to_chars(ref, ref + sizeof ref, value, radix);
  const std::string want(ref, r.ptr);
  Heap<T> buffer = Exact<T>(want.size() + 1);
  EXPECT_EQ(convert(value, buffer.get(), radix), buffer.get());
  EXPECT_EQ(std::basic_string<T>(buffer.get()), std::basic_string<T>(want.begin(), want.end()))
      << value << " radix " << radix;
}

// Values of every magnitude: a random bit count, then random bits below it, then a random sign.
template <typename V>
V RandomValue(std::mt19937_64& rng) {
  using U = std::make_unsigned_t<V>;
  const int bits = std::uniform_int_distribution<int>(0, std::numeric_limits<U>::digits)(rng);
  U u = bits == 0 ? 0 : static_cast<U>(rng()) >> (std::numeric_limits<U>::digits - bits);
  return static_cast<V>(u);
}

template <typename V, typename T>
void CheckRadixFunction(T* (*convert)(V, T*, int)) {
  std::mt19937_64 rng(sizeof(V) * 10 + sizeof(T));
  for (int radix = 2; radix <= 36; ++radix) {
    for (V v : {V(0), V(1), std::numeric_limits<V>::max(), std::numeric_limits<V>::min(), V(radix), V(radix - 1)}) {
      CheckRadix(convert, v, radix);
    }
    for (int i = 0; i < 150; ++i) CheckRadix(convert, RandomValue<V>(rng), radix);
  }
}

TEST(StrNumber, RadixConversionsMatchToCharsInEveryRadix) {
  CheckRadixFunction<uint32_t, char>(ultoa);
  CheckRadixFunction<uint32_t, wchar_t>(ultow);
  CheckRadixFunction<int32_t, char>(itoa);
  CheckRadixFunction<int32_t, wchar_t>(itow);
  CheckRadixFunction<unsigned long long, char>(ui64toa);
  CheckRadixFunction<unsigned long long, wchar_t>(ui64tow);
  CheckRadixFunction<unsigned long long, char>(_ui64toaMvx);
  CheckRadixFunction<unsigned long long, wchar_t>(_ui64towMvx);
  CheckRadixFunction<long long, char>(i64toa);
  CheckRadixFunction<long long, wchar_t>(i64tow);
  CheckRadixFunction<long long, char>(_i64toaMvx);
  CheckRadixFunction<long long, wchar_t>(_i64towMvx);
}

TEST(StrNumber, RadixExamplesAndBadRadix) {
  char a[80];
  wchar_t w[80];
  EXPECT_STREQ(itoa(-255, a, 16), "-ff");
  EXPECT_STREQ(ui64tow(18446744073709551615ULL, w, 10), L"18446744073709551615");
  EXPECT_STREQ(i64toa(LLONG_MIN, a, 10), "-9223372036854775808");
  EXPECT_STREQ(i64toa(LLONG_MIN, a, 2), ("-1" + std::string(63, '0')).c_str());
  for (int radix : {-1, 0, 1, 37}) {
    strcpy(a, "junk");
    EXPECT_STREQ(itoa(5, a, radix), "");
    EXPECT_STREQ(ui64tow(5, w, radix), L"");
  }
}

TEST(StrNumber, TextToNumbers) {
  EXPECT_EQ(_wtoi64Mvx(L"12345"), 12345);
  EXPECT_EQ(_wtoi64Mvx(L"  -9223372036854775808xyz"), LLONG_MIN);
  EXPECT_EQ(_wtoi64Mvx(L"\u20ac12"), 0);
  EXPECT_EQ(_wtoi64Mvx(L""), 0);
  EXPECT_EQ(_wtoi64Mvx(nullptr), 0);
  // Only the first 99 characters reach the scratch, which stays terminated.
  const std::wstring padded = std::wstring(97, L' ') + L"42" + std::wstring(200, L'7');
  EXPECT_EQ(_wtoi64Mvx(ExactText(padded).get()), 42);
  EXPECT_DOUBLE_EQ(wtof(L"3.5e2"), 350.0);
  EXPECT_DOUBLE_EQ(wtof(L"-0.25"), -0.25);
  EXPECT_EQ(wtof(nullptr), 0.0);

  Heap<wchar_t> g = Exact<wchar_t>(32);
  EXPECT_STREQ(_wgcvt(3.14159, 3, g.get()), L"3.14");
  EXPECT_STREQ(_wgcvt(-1234567.0, 10, g.get()), L"-1234567");
  _wgcvt(-1.2345678901234567e-300, 1000, g.get());  // more digits than a double has
  EXPECT_EQ(wcsncmp(g.get(), L"-1.234567890123456", 18), 0);
  EXPECT_LE(wcslen(g.get()), 31u);
}

TEST(StrNumber, HexadecimalReading) {
  int count = -1;
  EXPECT_EQ(nGetEntierHexa(L"1aZ", count), 26);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(nGetEntierHexa(L"zz", count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(nGetEntierHexa(L"FFFFFFFFFFFFFFFF", count), -1);
  EXPECT_EQ(count, 16);
  EXPECT_EQ(nGetEntierHexa(L"123456789abcdef01", count), 0x23456789abcdef01LL);
  EXPECT_EQ(count, 17);
  EXPECT_EQ(nGetEntierHexa(nullptr, count), 0);
  EXPECT_EQ(count, 0);

  EXPECT_EQ(nGetEntierHexa4(L"1A2f"), 0x1a2f);
  EXPECT_EQ(nGetEntierHexa4(L"ffff"), 0xffff);
  EXPECT_EQ(nGetEntierHexa4(L"00419"), 0x41);
  // A text shorter than four characters is read up to its terminator only.
  EXPECT_EQ(nGetEntierHexa4(ExactText<wchar_t>(L"ab").get()), 0xab);
  // Unchecked characters give a value, never an overflow (UBSan would object).
  nGetEntierHexa4(L"\U0010FFFF\U0010FFFF\U0010FFFF\U0010FFFF");
}

TEST(StrNumber, CaseFillingAndLengths) {
  wchar_t w[] = L"aBc1";
  EXPECT_STREQ(my_struprW(w), L"ABC1");
  EXPECT_STREQ(my_strlwrW(w), L"abc1");
  char a[] = "aBc\xE9";
  EXPECT_STREQ(my_struprA(a), "ABC\xE9");
  EXPECT_STREQ(my_strlwrA(a), "abc\xE9");
  EXPECT_EQ(my_struprA(nullptr), nullptr);

  wchar_t five[] = L"abcde";
  EXPECT_STREQ(wcsnset(five, L'*', 2), L"**cde");
  EXPECT_STREQ(wcsset(five, L'#'), L"#####");
  Heap<char> shortText = ExactText<char>("ab");
  EXPECT_STREQ(_strnset(shortText.get(), 'x', 50), "xx");
  EXPECT_STREQ(_strset(shortText.get(), 'y'), "yy");
  EXPECT_STREQ(_strnset(shortText.get(), 'z', 0), "yy");
  EXPECT_EQ(wcsnset(nullptr, L'x', 3), nullptr);

  Heap<wchar_t> four = ExactChars<wchar_t>(L"abcd");
  EXPECT_EQ(xwcsnlen(four.get(), 4), 4u);
  EXPECT_EQ(xwcsnlen(four.get(), 0), 0u);
  EXPECT_EQ(xstrnlen(ExactChars<char>("abc").get(), 3), 3u);
  EXPECT_EQ(xstrnlen(ExactText<char>("ab").get(), 100), 2u);
  EXPECT_EQ(xstrnlen(nullptr, 100), 0u);
}

const void* NaiveMemmem(const std::string& block, const std::string& pattern, const char* base) {
  if (pattern.empty() || pattern.size() > block.size()) return nullptr;
  const size_t p = block.find(pattern);
  return p == std::string::npos ? nullptr : base + p;
}

TEST(StrNumber, ByteSearchMatchesANaiveOne) {
  std::mt19937 rng(5);
  for (int round = 0; round < 20000; ++round) {
    const size_t size = std::uniform_int_distribution<size_t>(0, 14)(rng);
    const size_t psize = std::uniform_int_distribution<size_t>(0, 5)(rng);
    const char* alphabet = round % 2 ? "abb" : "a\0b";  // NUL bytes are ordinary bytes here
    std::string block, pattern;
    for (size_t i = 0; i < size; ++i) block += alphabet[rng() % 3];
    for (size_t i = 0; i < psize; ++i) pattern += alphabet[rng() % 3];
    Heap<char> b = ExactChars(block);
    Heap<char> p = ExactChars(pattern);
    EXPECT_EQ(xmemmem(b.get(), static_cast<unsigned>(size), p.get(), static_cast<unsigned>(psize)),
              NaiveMemmem(block, pattern, b.get()))
        << block << " / " << pattern;
  }
  const char* aaab = "aaab";
  EXPECT_EQ(xmemmem(aaab, 4, "aab", 3), aaab + 1);
  EXPECT_EQ(xmemmem(aaab, 4, "aaaab", 5), nullptr);
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
      for (int n = 0; n <= static_cast<int>(text.size()) + 3; ++n) {
        // dst is exactly n characters: at most n - 1 copied, the rest zeroed, always terminated.
        Heap<char> nd = Exact<char>(d + static_cast<size_t>(n) * sizeof(wchar_t));
        memset(nd.get(), 0x55, d + static_cast<size_t>(n) * sizeof(wchar_t));
        __UNALIGNED__UNICODE__STRNCPY__(nd.get() + d, s, n);
        std::wstring want = text.substr(0, n > 0 ? static_cast<size_t>(n) - 1 : 0);
        want.resize(static_cast<size_t>(n), L'\0');
        std::wstring got(static_cast<size_t>(n), L'?');
        if (n > 0) memcpy(got.data(), nd.get() + d, static_cast<size_t>(n) * sizeof(wchar_t));
        EXPECT_EQ(got, want) << so << " " << d << " " << n;
      }
    }
  }
}

TEST(StrNumber, OwnedNarrowCopies) {
  Heap<char> all(pszXSTR2CSTR(L"abc\u20ac", -1));
  EXPECT_STREQ(all.get(), "abc\x80");
  Heap<char> two(pszXSTR2CSTR(L"abcd", 2));
  EXPECT_STREQ(two.get(), "ab");
  // n beyond the text: the source is read to its terminator only, the block still has n + 1 zeroed bytes.
  Heap<char> wide(pszXSTR2CSTR(ExactText<wchar_t>(L"ab").get(), 10));
  ASSERT_TRUE(wide);
  EXPECT_EQ(std::string(wide.get(), 11), std::string("ab") + std::string(9, '\0'));
  Heap<char> empty(pszXSTR2CSTR(L"", -1));
  EXPECT_STREQ(empty.get(), "");
  Heap<char> none(pszXSTR2CSTR(nullptr, 3));
  EXPECT_EQ(std::string(none.get(), 4), std::string(4, '\0'));
}

TEST(StrNumber, OwnedWideCopies) {
  Heap<wchar_t> fromNull(pszCSTR2XSTR(nullptr, -1, 1252));
  ASSERT_TRUE(fromNull);
  EXPECT_STREQ(fromNull.get(), L"");
  Heap<wchar_t> euro(pszCSTR2XSTR("a\x80", -1, 1252));
  EXPECT_STREQ(euro.get(), L"a\u20ac");
  Heap<wchar_t> first(pszCSTR2XSTR("abc", 1, 1252));
  EXPECT_STREQ(first.get(), L"a");
  // Fewer characters than bytes: the result ends after what was converted, nothing undefined.
  Heap<wchar_t> utf8(pszCSTR2XSTR("\xC3\xA9t\xC3\xA9", 5, 65001));
  EXPECT_STREQ(utf8.get(), L"\u00e9t\u00e9");
  Heap<wchar_t> shortSource(pszCSTR2XSTR(ExactText<char>("xy").get(), 40, 1252));
  EXPECT_STREQ(shortSource.get(), L"xy");

  Heap<wchar_t> copy2(pszWSTR2XSTR(L"abcd", 2, 0));
  EXPECT_STREQ(copy2.get(), L"ab");
  Heap<wchar_t> whole(pszXSTR2WSTR(L"abcd", 0, 0));
  EXPECT_STREQ(whole.get(), L"abcd");
  Heap<wchar_t> longer(pszWSTR2XSTR(ExactText<wchar_t>(L"ab").get(), 5, 0));
  EXPECT_STREQ(longer.get(), L"ab");
  EXPECT_EQ(pszWSTR2XSTR(nullptr, 3, 0), nullptr);
}

}  // namespace

// Raw text buffers, number texts and small string functions, at the end of exact-size blocks so
// that a character too far is reported; the prime test against trial division; the heap wrappers.
#include "common/str_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/str_number.h"
#include "common/xmalloc.h"
#include "common/xmath.h"
#include "tests/support/exact_alloc.h"

namespace {

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST(StrBuffer, CreationSizesAndCopies) {
  for (unsigned n : {0u, 1u, 7u}) {
    Heap<wchar_t> w(STR_pszCreate(n)), gw(STRG_pszCreate<wchar_t>(n));
    Heap<char> a(STR_pszCreateA(n)), ga(STRG_pszCreate<char>(n));
    ASSERT_TRUE(w && a && gw && ga);
    w.get()[n] = gw.get()[n] = 0;  // index n must be inside the block
    a.get()[n] = ga.get()[n] = 0;
  }
  const struct { wchar_t* got; const wchar_t* want; } wide[] = {
      {STR_pszCreate(ExactText<wchar_t>(L"abc").get()), L"abc"}, {STR_pszCreateW(L"ab", L"cd"), L"abcd"},
      {STR_pszConcatPoint(L"table", L"item"), L"table.item"},   {STR_pszConcat(L"a", nullptr, L"c"), L"ac"}};
  for (const auto& r : wide) EXPECT_STREQ(Heap<wchar_t>(r.got).get(), r.want);
  EXPECT_STREQ(Heap<char>(STR_pszCreateA(ExactText<char>("xy").get())).get(), "xy");
  EXPECT_STREQ(Heap<char>(STR_pszCreateA("ab", nullptr)).get(), "ab");
  EXPECT_EQ(STR_pszCreate(static_cast<const wchar_t*>(nullptr)), nullptr);
  EXPECT_EQ(STR_pszCreateW(static_cast<const wchar_t*>(nullptr)), nullptr);
  EXPECT_EQ(STR_pszCreateA(static_cast<const char*>(nullptr)), nullptr);
}

// The loop answers as the library's compare does, and reads neither text past its terminator
// (each text ends its exact-size block).
TEST(StrBuffer, SameWideTextsAgreeWithTheLibraryCompare) {
  const struct { const wchar_t* a; const wchar_t* b; } cases[] = {
      {L"", L""},           {L"", L"a"},          {L"id", L"id"},     {L"id", L"ID"},    {L"id", L"idx"},
      {L"idx", L"id"},      {L"name", L"namf"},   {L"a\u00e9", L"a\u00e9"}, {L"a\u00e9", L"ae"},
      {L"\U0001F600x", L"\U0001F600x"},             {L"\U0001F600x", L"\U0001F601x"},
      {L"longer_item_name_1", L"longer_item_name_2"}, {L"longer_item_name_1", L"longer_item_name_1"}};
  for (const auto& c : cases) {
    const bool want = wcscmp(c.a, c.b) == 0;
    EXPECT_EQ(STR_bSameW(ExactText<wchar_t>(c.a).get(), ExactText<wchar_t>(c.b).get()), want)
        << std::wstring(c.a).size() << " " << std::wstring(c.b).size();
    EXPECT_EQ(STR_bSameW(ExactText<wchar_t>(c.b).get(), ExactText<wchar_t>(c.a).get()), want);
  }
}

TEST(StrBuffer, CreateWithLengthPadsAndNeverReadsPastTheSource) {
  for (unsigned n = 0; n <= 6; ++n) {
    for (const std::string src : {"", "ab", "abcdef"}) {
      Heap<wchar_t> w(STR_pszCreate(n, ExactText(W(src)).get()));
      Heap<char> a(STR_pszCreateA(n, ExactText(src).get()));
      ASSERT_TRUE(w && a);
      std::string want = src.substr(0, n);
      want.resize(n + 1, '\0');
      EXPECT_EQ(std::wstring(w.get(), n + 1), W(want)) << n << " " << src;
      EXPECT_EQ(std::string(a.get(), n + 1), want) << n << " " << src;
    }
  }
  Heap<wchar_t> fromNull(STR_pszCreateW(2u, static_cast<const wchar_t*>(nullptr)));
  EXPECT_EQ(std::wstring(fromNull.get(), 3), std::wstring(3, L'\0'));
}

TEST(StrBuffer, SizesThatDoNotFitFailCleanly) {
  EXPECT_EQ(STR_pszCreate(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(STR_pszCreateA(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(STRG_pszCreate<wchar_t>(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(STRG_pszCreate<char>(0x7FFFFFFFu), nullptr);
  EXPECT_EQ(STR_pszCreate(0xFFFFFFFFu, L"abc"), nullptr);
  EXPECT_EQ(STR_pszCreateW_UNALIGNED(0xFFFFFFFFu, "\0\0\0\0"), nullptr);
  wchar_t* p = STR_pszCreate(L"keep");
  EXPECT_FALSE(STR_bResizeW(&p, 0xFFFFFFFFu));
  EXPECT_STREQ(p, L"keep");
  STR_DeleteW(p);
}

TEST(StrBuffer, RedefineAndResize) {
  wchar_t* p = STR_pszCreate(L"abcdef");
  EXPECT_TRUE(STR_bRedefine(&p, p + 2));  // part of the old text: copied before the old is freed
  EXPECT_STREQ(p, L"cdef");
  EXPECT_FALSE(STR_bRedefine(&p, nullptr));
  EXPECT_EQ(p, nullptr);
  p = STR_pszCreate(L"ab");
  ASSERT_TRUE(STR_bResizeW(&p, 100));
  EXPECT_STREQ(p, L"ab");
  p[99] = 0;
  // Resizing to 0 characters keeps a live block (realloc to 0 would free it behind our back).
  ASSERT_TRUE(STR_bResizeW(&p, 0));
  ASSERT_NE(p, nullptr);
  p[0] = 0;
  STR_DeleteW(p);
  char* a = STR_pszCreateA("xyz");
  ASSERT_TRUE(STR_bResizeA(&a, 2));
  EXPECT_EQ(memcmp(a, "xy", 2), 0);
  STR_DeleteA(a);
  STR_Delete(nullptr);
  STR_DeleteW(nullptr);

  Heap<wchar_t> w = ExactChars<wchar_t>(L"abcd");  // no terminator within the bound
  const struct { int max, want; } lens[] = {{4, 4}, {2, 2}, {0, 0}, {-5, 0}};
  for (const auto& r : lens) {
    EXPECT_EQ(STR_nLenW(w.get(), r.max), r.want);
    EXPECT_EQ(STR_nLen(w.get(), r.max), r.want);
  }
  EXPECT_EQ(STR_nLenA(ExactText<char>("ab").get(), 10), 2);
  EXPECT_EQ(STR_nLenA(nullptr, 10), 0);
}

// Every source length, capacity and count (10: the cut forms, which take none), copied into a fresh
// destination (used -1) or appended onto every existing length (used == cap: not terminated within
// the capacity): min(count, length, room left) characters, and nothing written without room.
template <typename T>
void CheckCopies(int (*copy)(T*, int, const T*, int), int (*cut)(T*, int, const T*),
                 int (*cat)(T*, int, const T*, int), int (*catCut)(T*, int, const T*)) {
  using S = std::basic_string<T>;
  const S full = {'a', 'b', 'c', 'd', 'e', 'f'}, head = {'x', 'y', 'z', 'w', 'v', 'u', 't', 's'};
  for (size_t len = 0; len <= full.size(); ++len) {
    const S src = full.substr(0, len);
    Heap<T> s = ExactText(src);
    for (int cap = 0; cap <= 8; ++cap) {
      for (int n = -3; n <= 10; ++n) {
        for (int used = -1; used <= cap; ++used) {
          Heap<T> dst = Exact<T>(static_cast<size_t>(std::max(cap, 1)));
          dst.get()[0] = 'Z';
          std::copy(head.begin(), head.begin() + std::max(used, 0), dst.get());
          if (used >= 0 && used < cap) dst.get()[used] = 0;
          const int got = used < 0 ? (n == 10 ? cut(dst.get(), cap, s.get()) : copy(dst.get(), cap, s.get(), n))
                                   : (n == 10 ? catCut(dst.get(), cap, s.get()) : cat(dst.get(), cap, s.get(), n));
          const size_t kept = used < 0 || cap == 0 ? 0 : std::min(used, cap - 1);
          const size_t asked = n == 10 || n == -1 ? len : static_cast<size_t>(std::max(n, 0));
          const size_t added = cap == 0 ? 0 : std::min({asked, len, static_cast<size_t>(cap) - 1 - kept});
          EXPECT_EQ(got, static_cast<int>(added)) << len << " " << cap << " " << n << " " << used;
          const S want = cap == 0 ? S(1, 'Z') : head.substr(0, kept) + src.substr(0, added);
          EXPECT_EQ(cap == 0 ? S(1, dst.get()[0]) : S(dst.get()), want);
        }
      }
    }
  }
}

TEST(StrBuffer, BoundedCopiesCutsAndConcatenations) {
  CheckCopies<wchar_t>(STR_nCopyW, STR_nCut, STR_nCatW, STR_nCatCut);
  CheckCopies<wchar_t>(STR_nCopy, STR_nCut, STR_nCat, STR_nCatCut);
  CheckCopies<char>(STR_nCopyA, STR_nCut, STR_nCatA, STR_nCatCut);
  wchar_t dst[10];
  EXPECT_EQ(STR_nCopyW(dst, 10, nullptr, -1), 0);
  EXPECT_STREQ(dst, L"");
}

TEST(StrBuffer, TrimmingInPlace) {
  // A NUL as the character to strip must not walk past the terminator.
  const struct { void (*f)(wchar_t*); std::wstring text, want; } wide[] = {
      {STR_SuppressAllSpacesW, L" \ta b\n c \r", L"abc"}, {STR_SuppressRightSpaces, L"  x y \t ", L"  x y"},
      {STR_SuppressLeftSpaces, L" \t x y ", L"x y "},
      {[](wchar_t* s) { STR_SuppressRightCar(s, L'0'); }, L"x00", L"x"},
      {[](wchar_t* s) { STR_SuppressSideCar(s, L'-'); }, L"--a-b--", L"a-b"},
      {[](wchar_t* s) { STR_SuppressLeftCar(s, L'\0'); }, L"", L""},
      {[](wchar_t* s) { STR_SuppressSideCar(s, L'\0'); }, L"", L""}};
  for (const auto& r : wide) {
    Heap<wchar_t> s = ExactText(r.text);
    r.f(s.get());
    EXPECT_EQ(std::wstring(s.get()), r.want) << r.text;
  }
  const struct { void (*f)(char*); std::string text, want; } narrow[] = {
      {STR_SuppressAllSpacesA, " \ta b\xA0 c \v", "ab\xA0" "c"}, {STR_SuppressSideSpaces, "\n  x  \n", "x"},
      {STR_SuppressSideSpaces, "   ", ""}, {[](char* s) { STR_SuppressRightCar(s, '0'); }, "000", ""},
      {[](char* s) { STR_SuppressLeftCar(s, '*'); }, "**a*", "a*"}};
  for (const auto& r : narrow) {
    Heap<char> s = ExactText(r.text);
    r.f(s.get());
    EXPECT_EQ(std::string(s.get()), r.want) << r.text;
  }
  STR_SuppressAllSpacesW(nullptr);
  STR_SuppressSideSpaces(static_cast<char*>(nullptr));
  STR_SuppressSideCar(nullptr, L'x');
}

TEST(StrBuffer, CompleteStaysWithinItsSize) {
  char longer[] = "abcdef";
  STR_Complete(longer, 4, '*');
  EXPECT_STREQ(longer, "abc");
  // Blocks of exactly size characters, with the terminator anywhere or nowhere in them.
  for (int size = 1; size <= 7; ++size) {
    for (int nul = 0; nul <= size; ++nul) {
      Heap<wchar_t> s = Exact<wchar_t>(static_cast<size_t>(size));
      for (int i = 0; i < size; ++i) s.get()[i] = i == nul ? 0 : L'a' + i;
      STR_Complete(s.get(), size, L'.');
      const int kept = std::min(nul, size - 1);
      EXPECT_EQ(std::wstring(s.get()), std::wstring(L"abcdefg").substr(0, static_cast<size_t>(kept)) +
                                           std::wstring(static_cast<size_t>(size - 1 - kept), L'.'))
          << size << " " << nul;
    }
  }
  char untouched = 'q';
  STR_Complete(&untouched, 0, '*');
  EXPECT_EQ(untouched, 'q');
}

constexpr size_t npos = std::string::npos;
template <typename T>
const T* At(const T* base, size_t pos) { return pos == npos ? nullptr : base + pos; }
// The last position at or before start where sub begins, the terminator included.
template <typename T>
const T* NaiveRStr(const std::basic_string<T>& s, const T* base, int start, const std::basic_string<T>& sub) {
  const std::basic_string<T> whole(s.c_str(), s.size() + 1);
  return At(base, start < 0 ? npos : whole.rfind(sub, std::min<size_t>(start, s.size())));
}

TEST(StrBuffer, BackwardSearchesMatchNaiveOnes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    const std::string s = RandomText(rng, "abc", 10), sub = RandomText(rng, "abc", 3);
    Heap<char> a = ExactText(s), subA = ExactText(sub);
    Heap<wchar_t> w = ExactText(W(s)), subW = ExactText(W(sub));
    for (int start = -2; start <= static_cast<int>(s.size()) + 3; ++start) {
      for (char c : {'a', 'c', '\0'}) {
        const std::string one(1, c);
        EXPECT_EQ(strrchr(static_cast<const char*>(a.get()), start, c), NaiveRStr<char>(s, a.get(), start, one));
        EXPECT_EQ(wcsrchr(w.get(), start, static_cast<wchar_t>(c)), NaiveRStr<wchar_t>(W(s), w.get(), start, W(one)));
      }
      EXPECT_EQ(STRRSTRA(a.get(), start, subA.get()), NaiveRStr<char>(s, a.get(), start, sub)) << s << " " << sub;
      EXPECT_EQ(STRRSTR(w.get(), start, subW.get()), NaiveRStr<wchar_t>(W(s), w.get(), start, W(sub)));
    }
  }
  const char* text = "a/b/c";  // the C library's two-argument form is still reachable beside them
  EXPECT_EQ(strrchr(text, '/'), text + 3);
  const wchar_t* set = L"a,b;c";
  const struct { const wchar_t *s, *set; int want; } lasts[] = {
      {set, L",;", 3}, {set, L",", 1}, {set, L"xyz", -1}, {set, L"", -1}, {L"", L",", -1}};
  for (const auto& r : lasts) EXPECT_EQ(STRRPBRK(r.s, r.set), r.want < 0 ? nullptr : r.s + r.want) << r.set;
}

// Where sub first lies within the first n characters of s, ignoring the case of letters or not.
size_t Find(std::string s, std::string sub, size_t n, bool noCase) {
  for (std::string* t : {&s, &sub})
    for (char& c : *t) c = noCase ? static_cast<char>(tolower(c)) : c;
  return s.substr(0, n).find(sub);
}

TEST(StrBuffer, ForwardSearchesMatchNaiveOnes) {
  std::mt19937 rng(11);
  for (int round = 0; round < 2000; ++round) {
    const std::string s = RandomText(rng, "abAB", 12), sub = RandomText(rng, "abAB", 3);
    const size_t n = std::uniform_int_distribution<size_t>(0, s.size())(rng), same = Find(s, sub, n, false);
    const int ni = static_cast<int>(n);
    // Only the first n characters exist: any read beyond them is caught.
    Heap<char> headA = ExactChars(s.substr(0, n)), subA = ExactText(sub);
    Heap<wchar_t> headW = ExactChars(W(s.substr(0, n))), subW = ExactText(W(sub)), whole = ExactText(W(s));
    EXPECT_EQ(STR_pszStrnstr(headW.get(), subW.get(), ni), At(headW.get(), same)) << s << " " << sub << " " << n;
    EXPECT_EQ(STR_strnstrA(headA.get(), subA.get(), ni), At(headA.get(), n == 0 ? npos : same));
    EXPECT_EQ(STR_strnistrA(headA.get(), subA.get(), ni), At(headA.get(), n == 0 ? npos : Find(s, sub, n, true)));
    const wchar_t* wantI = At(whole.get(), Find(s, sub, s.size(), true));
    EXPECT_EQ(STR_StrIStr(whole.get(), subW.get()), wantI) << s << " " << sub;
    if (round % 10 == 0) {
      EXPECT_EQ(STR_pszUpStrstr(whole.get(), subW.get()), wantI) << s << " " << sub;
    }
  }
  const wchar_t* s = L"abc";
  EXPECT_EQ(STR_pszStrnstr(s, nullptr, 0), s);
  EXPECT_EQ(STR_pszStrnstr(s, L"abcd", 3), nullptr);
  // Upper case through the locale service: accents count.
  const wchar_t* t = L"le CAF\u00c9 cr\u00e8me";
  EXPECT_EQ(STR_pszUpStrstr(t, L"caf\u00e9"), t + 3);
  EXPECT_EQ(STR_pszUpStrstr(t, L"CR\u00c8ME"), t + 8);
  EXPECT_EQ(STR_pszUpStrstr(t, L"creme"), nullptr);
  EXPECT_EQ(STR_pszUpStrstr(L"ab", L"abc"), nullptr);
}

TEST(StrBuffer, RtfSignatureIgnoresCase) {
  const struct { const char* s; bool want; } rows[] = {{"{\\rtf1\\ansi", true}, {"{\\RTF1", true}, {"{\\RtF{", true},
                                                       {" {\\rtf1", false},   {"{\\rtf2", false}, {"{\\rt", false},
                                                       {"{", false}};
  for (const auto& r : rows) {
    EXPECT_EQ(bEstDuTexteRTF(ExactText<char>(r.s).get()) != FALSE, r.want) << r.s;
    EXPECT_EQ(bEstDuTexteRTF(ExactText(W(r.s)).get()) != FALSE, r.want) << r.s;
  }
  EXPECT_FALSE(bEstDuTexteRTF(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(bEstDuTexteRTF(static_cast<const wchar_t*>(nullptr)));
}

TEST(StrBuffer, ReplacementMatchesAStringReference) {
  std::mt19937 rng(3);
  for (int round = 0; round < 3000; ++round) {
    std::string s = RandomText(rng, "ab-", 14), from = RandomText(rng, "ab-", 3);
    const std::string to = RandomText(rng, "xy-", 4);
    if (s.empty()) s = "a";
    if (from.empty()) from = "-";
    std::wstring want = W(s);
    for (size_t p = want.find(W(from)); p != std::wstring::npos; p = want.find(W(from), p + to.size()))
      want.replace(p, from.size(), W(to));
    Heap<wchar_t> got(STR_RemplaceW(ExactText(W(s)).get(), ExactText(W(from)).get(), ExactText(W(to)).get()));
    ASSERT_TRUE(got);
    EXPECT_EQ(std::wstring(got.get()), want) << s << " " << from << " " << to;
  }
  // No occurrence gives a copy; a null to removes; an empty from or text gives null.
  EXPECT_STREQ(Heap<wchar_t>(STR_RemplaceW(L"a-b-c", L"-", L"--")).get(), L"a--b--c");
  EXPECT_STREQ(Heap<wchar_t>(STR_RemplaceW(L"abc", L"x", L"y")).get(), L"abc");
  EXPECT_STREQ(Heap<wchar_t>(STR_RemplaceW(L"aXbX", L"X", nullptr)).get(), L"ab");
  EXPECT_EQ(STR_RemplaceW(L"abc", L"", L"y"), nullptr);
  EXPECT_EQ(STR_RemplaceW(L"", L"a", L"y"), nullptr);
  EXPECT_EQ(STR_RemplaceW(nullptr, L"a", L"y"), nullptr);
}

TEST(StrBuffer, EllipsisForEveryWidthAndPosition) {
  // Below width 3 the text is cut, terminated; a position outside the three writes an empty text.
  const std::wstring alphabet = L"abcdefghijkl";
  for (size_t len = 0; len <= alphabet.size(); ++len) {
    const std::wstring src = alphabet.substr(0, len);
    for (unsigned w = 0; w <= len + 2; ++w) {
      for (int position = 0; position <= 3; ++position) {
        std::wstring want = src;
        if (len > w && w < 3) want = src.substr(0, w);
        else if (len > w && position == 0) want = src.substr(0, w - 3) + L"...";
        else if (len > w && position == 1) want = src.substr(0, (w - 3) / 2) + L"..." + src.substr(len - (w - 2) / 2);
        else if (len > w && position == 2) want = L"..." + src.substr(len - (w - 3));
        else if (len > w) want = L"";
        Heap<wchar_t> dst = Exact<wchar_t>(w + 1);
        STR_Ellipsis(dst.get(), ExactText(src).get(), w, static_cast<eELLIPSISPOSITION>(position));
        EXPECT_EQ(std::wstring(dst.get()), want) << len << " " << w << " " << position;
      }
    }
  }
}


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
  struct Hex { const wchar_t* text; long long value; int count; };
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

TEST(StrBuffer, UnalignedWideTextAtEveryOffset) {
  const std::wstring text = L"z\u00e9ro\U0001F600";
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  for (size_t so = 0; so < 4; ++so) {
    Heap<char> src = Exact<char>(so + bytes);
    memcpy(src.get() + so, text.c_str(), bytes);
    const char* s = src.get() + so;
    EXPECT_EQ(__UNALIGNED__UNICODE__STRLEN__(s), text.size());
    Heap<wchar_t> whole(STR_pszCreateW_UNALIGNED(s)), three(STR_pszCreateW_UNALIGNED(3, s));
    Heap<wchar_t> padded(STR_pszCreateW_UNALIGNED(9, s));
    EXPECT_EQ(std::wstring(whole.get()), text) << so;
    EXPECT_STREQ(three.get(), L"z\u00e9r");
    EXPECT_EQ(std::wstring(padded.get(), 10), text + std::wstring(10 - text.size(), L'\0'));
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

// The heap text builder: growth in whole steps, conversions written in place (redone exactly when the
// first reservation is short, leaving the text whole when refused), numbers, searches and edits.
#include "common/xystringconcat.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "platform/codepage.h"

namespace {

template <typename T>
std::basic_string<T> Text(const CXYStringConcat<T>& b) {
  EXPECT_LE(b.nGetLength(), b.nGetCapacity());
  EXPECT_EQ(b.pszGet()[b.nGetLength()], T(0)) << "terminated";
  return std::basic_string<T>(b.pszGet(), b.nGetLength());
}

template <typename T>
std::basic_string<T> Widen(const char* ascii) {
  return std::basic_string<T>(ascii, ascii + std::strlen(ascii));
}

template <typename T>
class XYStringConcatBoth : public testing::Test {};
using Units = testing::Types<char, wchar_t>;
TYPED_TEST_SUITE(XYStringConcatBoth, Units);

// Capacity after adding the lengths in turn: the next whole step strictly above the length.
TYPED_TEST(XYStringConcatBoth, GrowsToTheNextWholeStepAboveTheLength) {
  using T = TypeParam;
  const unsigned int max = CXYStringConcat<T>::kMaxLength;
  // A length beyond the limit is refused before a unit of the piece is read (INT_MAX).
  const struct { unsigned int step; std::vector<int> adds; unsigned int capacity, length; } rows[] = {
      {1024, {1023}, 1024, 1023}, {1024, {1023, 1}, 1024, 1024}, {1024, {1024}, 2048, 1024}, {10, {95}, 100, 95},
      {10, {9, 1, 1}, 20, 11},    {0, {3}, 4, 3} /* a step of 0 counts as 1 */,     {8, {3, INT_MAX}, 8, 3},
      {0xFFFFFFFFu, {3, 3}, 6, 6}, {max, {3, 3}, max, 6}};  // near the 32-bit limit: no wrap, no step past it
  const std::basic_string<T> x(1024, T('x'));
  for (const auto& r : rows) {
    CXYStringConcat<T> b(r.step);
    for (int n : r.adds) b.Add(x.data(), n);
    EXPECT_EQ(b.nGetCapacity(), r.capacity) << r.step << " " << r.length;
    EXPECT_EQ(Text(b), x.substr(0, r.length));
    EXPECT_FALSE(b._AugmenteTaille(max + 1));
  }
  CXYStringConcat<T> b;
  EXPECT_TRUE(b._AugmenteTaille(5000));
  EXPECT_EQ(b.nGetCapacity(), 5120u);
}

// A real allocation failure: the old block and its text stay, the addition is dropped.
TEST(XYStringConcat, FailedReallocationKeepsTheText) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator does not fail under an address-space limit";
#else
  EXPECT_EXIT(
      {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = 512u << 20;
        setrlimit(RLIMIT_AS, &limit);
        CXYStringConcat<char> b(16);
        b.Add("before", 6);
        b.SetStep(0x7FF00000u);  // the next growth asks for about 2 GiB
        b.Add("-after-after-after", 18);
        const bool kept = std::string(b.pszGet()) == "before" && b.nGetLength() == 6 && b.nGetCapacity() == 16;
        CXYStringConcat<wchar_t> w(0x3FF00000u);  // first block: about 4 GiB
        w.Add(L"x", 1);
        std::exit(kept && w.nGetLength() == 0 && w.pGetData() == nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
#endif
}

TYPED_TEST(XYStringConcatBoth, EmptyPiecesAddNothingAndTheOwnTextSurvivesGrowth) {
  using T = TypeParam;
  CXYStringConcat<T> b(4);
  b.Add(nullptr, 5);
  b.Add(CXYStringConcat<T>::ChaineVide, 0);
  b.Add(static_cast<const T*>(nullptr));
  EXPECT_EQ(b.pGetData(), nullptr);
  EXPECT_EQ(b.pszGet(), CXYStringConcat<T>::ChaineVide);
  std::basic_string<T> model = Widen<T>("abc");
  b.Add(model.c_str());
  b.Add(model.data(), -1);
  for (int i = 0; i < 8; ++i, model += model) b.Add(b.pszGet(), static_cast<int>(b.nGetLength()));  // reallocates
  b.bRemplace(1, 2, b.pszGet() + 5, 40);
  EXPECT_EQ(Text(b), model.replace(1, 2, model.substr(5, 40)));
}

TYPED_TEST(XYStringConcatBoth, Numbers) {
  using T = TypeParam;
  const struct { long long v; int width; const char* want; } decimals[] = {
      {7, 2, "07"}, {2024, 2, "2024"}, {0, 2, "0"}, {-5, 3, "-5"}, {42, -1, "42"}, {123, 20, "00000000000000000123"},
      {5, 0, "5"},  {LLONG_MIN, 30, "-9223372036854775808"},          {LLONG_MAX, -1, "9223372036854775807"}};
  for (const auto& c : decimals) {
    CXYStringConcat<T> b;
    b.AddNumber(c.v, c.width);
    EXPECT_EQ(Text(b), Widen<T>(c.want)) << c.v << " width " << c.width;
  }
  CXYStringConcat<T> b;  // (hexadecimal: with the mixed-width builder's numbers)
  b.AddNumber(INT_MIN);
  b.AddNumber(4, 2);  // the int form pads the same way
  b.AddNumberBinary(5, 1);
  b.AddNumberBinary(5, 0);
  EXPECT_EQ(Text(b), Widen<T>("-2147483648040000010110100000"));
  T digits[16] = {T('4'), T('2'), 0};
  CXYStringConcat<T>::_AddPrefix0(digits, 5);
  CXYStringConcat<T>::_AddPrefix0(digits, 3);
  EXPECT_EQ(std::basic_string<T>(digits), Widen<T>("00042"));
}

TYPED_TEST(XYStringConcatBoth, EqualitySearchAndUpperCase) {
  using T = TypeParam;
  CXYStringConcat<T> b;
  EXPECT_TRUE(b.bEstEgal(CXYStringConcat<T>::ChaineVide));
  EXPECT_EQ(b.nPos(Widen<T>("a").c_str(), 0), -1);
  EXPECT_EQ(b.nPos(T('a'), 0), -1);
  const auto text = Widen<T>("select a from b where a = b");
  b.Add(text.c_str());
  EXPECT_TRUE(b.bEstEgal(text.c_str()));
  EXPECT_FALSE(b.bEstEgal(Widen<T>("select").c_str()) || b.bEstEgal((text + T('x')).c_str()));
  const struct { const char* s; int start, want; } texts[] = {
      {"select", 0, 0}, {"a", 8, 22}, {"= b", 0, 24}, {"= bx", 0, -1}, {"insert", 0, -1}, {"", 4, 4}, {"a", 1000, -1}};
  for (const auto& r : texts) EXPECT_EQ(b.nPos(Widen<T>(r.s).c_str(), r.start), r.want) << r.s;
  EXPECT_EQ(b.nPos(T('w'), 0), 16);
  EXPECT_EQ(b.nPos(T(0), 3), static_cast<int>(text.size()));  // the terminator: the length
  CXYStringConcat<char> narrow;  // (wide text: with the mixed-width builder)
  narrow.Majuscule();
  narrow.Add("caf\xE9 b", 6);  // the host's code page 1252
  narrow.Majuscule();
  EXPECT_EQ(Text(narrow), "CAF\xC9 B");
}

// Conversions write straight into the block. One that gives nothing is refused and one that fails
// after writing leaves nothing behind: the text, its length and its terminator stay (the refused
// pieces come last, where a later addition would not hide a broken terminator). A conversion
// larger than its reservation (a kanji takes 8 bytes of ISO-2022-JP, 4 are reserved) is redone
// with the exact size; UTF-8 onto UTF-8 is copied whole (the converters keep a byte for a
// terminator and stop at a zero byte).
TEST(XYStringConcat, ConvertingAdditionsWriteInPlaceOrLeaveTheTextWhole) {
  for (unsigned int step : {1u, 8u}) {
    CXYStringConcat<wchar_t> w(step);
    w.AddAnsi("\x80 caf\xE9", 6, 1252);
    w.AddAnsiToUTF8("\xE0", 1, 1252);
    w.AddUTF8("\xE2\x9C\x93\xF0\x9D\x84\x9E", 7, 1252);  // the code page is not used
    w.AddUTF8("x\xE2\x82", 3, 65001);                     // a cut final character is dropped alone
    w.AddAnsi("\x81\x8D", 2, 1252);                       // undefined in 1252: refused
    w.AddUTF8("\xFF\xC3", 2, 65001);
    EXPECT_EQ(Text(w), L"\u20AC caf\u00E9\u00E0\u2713\U0001D11Ex");
  }
  CXYStringConcat<char> b(4);
  int lost[3] = {-1, -1, -1};
  b.AddWide(L"\u20ACa\u00E9", 3, 1252, &lost[0]);
  b.AddWide(L"\u2713", 1, 1252, &lost[1]);
  b.AddUTF8("\xC3\xA9 \xE2\x82\xAC", 6, 1252);
  b.AddAnsi("\xE9", 1, 65001);                          // narrow onto narrow: the bytes as they are
  b.AddAnsiToAnsi("\xE9\x80", 2, 1252, 1251, &lost[2]);  // Cyrillic page: no é, € at 0x88
  b.AddUTF8("\xFF\xC3", 2, 1252);
  b.AddAnsiToUTF8("\x81", 1, 1252);
  b.AddAnsiToAnsi("\x81", 1, 1252, 1250);
  b.AddWide(L"\U000E0041", 1, 1252);  // a tag character: nothing in 1252
  b.AddUTF8("x\xC3", 2, 1252);  // the direct conversion fails after writing 'x'; the retry keeps it
  EXPECT_EQ(Text(b), "\x80" "a\xE9?\xE9 \x80\xE9?\x88x");
  EXPECT_EQ(std::vector<int>(lost, lost + 3), (std::vector<int>{0, 1, 1}));
  // ASCII, copied without the converter, and text with one character above it give the
  // converter's bytes in every page, whatever the growth step.
  const std::wstring ascii(L"INSERT INTO `t` (`a`) VALUES ( \x01\x7F", 36);
  for (unsigned int cp : {65001u, 1252u, 1250u, 932u, 50220u})
    for (const std::wstring& w : {ascii, ascii + L"\u00E9", L"\u00E9" + ascii}) {
      char want[128];
      const int count = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), want, sizeof want, nullptr, nullptr);
      for (unsigned int step : {1u, 1024u}) {
        CXYStringConcat<char> c(step);
        c.Add("x", 1);
        c.AddWide(w.data(), static_cast<int>(w.size()), cp);
        EXPECT_EQ(Text(c), "x" + std::string(want, static_cast<size_t>(count))) << cp << " " << step;
      }
    }
  char kanji[32];
  const int n = WideCharToMultiByte(50220, 0, L"\u6F22", 1, kanji, sizeof kanji, nullptr, nullptr);
  CXYStringConcat<char> jis(1);
  jis.AddWide(L"\u6F22", 1, 50220);
  jis.AddUTF8("\xE6\xBC\xA2", 3, 50220);
  jis.AddAnsiToAnsi("\xE6\xBC\xA2", 3, 65001, 50220);
  EXPECT_EQ(Text(jis), std::string(kanji, n) + std::string(kanji, n) + std::string(kanji, n));
  const std::string text = "caf\xC3\xA9 \xE2\x9C\x93", zero("a\0b", 3);
  for (unsigned int step : {1u, 8u, 1024u}) {
    CXYStringConcat<char> u(step);
    u.AddUTF8(text.data(), static_cast<int>(text.size()), 65001);
    u.AddAnsiToUTF8(text.data(), static_cast<int>(text.size()), 65001);
    u.AddAnsiToAnsi(text.data(), static_cast<int>(text.size()), 65001, 65001);
    u.AddAnsiToUTF8(zero.data(), 3, 65001);
    EXPECT_EQ(Text(u), text + text + text + zero) << step;
  }
  char dst[16];
  wchar_t wdst[4];
  EXPECT_EQ(CXYStringConcat<char>::_nUTF8ToX(text.data(), 9, dst, 65001), 9);
  EXPECT_EQ(CXYStringConcat<char>::_nUTF8ToX("\xC3\xA9z", 3, dst + 9, 1252), 2);
  EXPECT_EQ(std::string(dst, 11), text + "\xE9z");
  EXPECT_EQ(CXYStringConcat<wchar_t>::_nUTF8ToX("a\xC3\xA9", 3, wdst, 0), 2);
  EXPECT_EQ(wdst[1], L'\u00E9');
}

// Splicing and replacing all, also with patterns taken from the text itself (which the
// rearrangement moves); replace-all never searches the text it inserted.
TYPED_TEST(XYStringConcatBoth, SplicesAndReplacements) {
  using T = TypeParam;
  const struct { int start, count; const char* piece; BOOL ok; const char* want; } splices[] = {
      {1, 2, "XY", TRUE, "aXYdef"}, {4, -1, "!", TRUE, "abcd!"}, {4, 9, "", TRUE, "abcd"}, {6, 0, "+", TRUE, "abcdef+"},
      {7, 0, "+", FALSE, "abcdef"}, {-1, 1, "+", FALSE, "abcdef"}, {0, 0, "", TRUE, "abcdef"}};
  for (const auto& r : splices) {
    CXYStringConcat<T> b(2);
    b.Add(Widen<T>("abcdef").c_str());
    EXPECT_EQ(b.bRemplace(r.start, r.count, Widen<T>(r.piece).c_str(), static_cast<int>(std::strlen(r.piece))), r.ok);
    EXPECT_EQ(Text(b), Widen<T>(r.want)) << r.start << " " << r.count;
  }
  CXYStringConcat<T> b;
  b.Add(Widen<T>("a-b-c").c_str());
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("-").c_str(), 1, Widen<T>("--").c_str(), 2, 0), 2);  // "a--b--c"
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("-").c_str(), 1, nullptr, 0, 3), 2);                // "a--bc"
  EXPECT_EQ(b.nRemplaceTout(b.pszGet() + 1, 1, b.pszGet() + 3, 1, 0), 2);               // '-' -> 'b'
  EXPECT_EQ(b.nRemplaceTout(b.pszGet() + 1, 1, b.pszGet(), 2, 0), 3);                   // 'b' -> "ab"
  EXPECT_EQ(Text(b), Widen<T>("aabababc"));
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("aabababcx").c_str(), 9, nullptr, 0, 0), 0);
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("c").c_str(), 1, nullptr, 0, 8), 0);
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("aabababc").c_str(), 8, nullptr, 0, 0), 1);
  EXPECT_EQ(Text(b), Widen<T>(""));
}

}  // namespace

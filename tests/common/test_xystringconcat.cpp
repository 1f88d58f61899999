// The heap text builder: growth in whole steps, conversions written in place (with the exact
// retry when the first reservation is short), numbers, and the editing operations against a
// std::basic_string model, on UTF-8 text with multi-byte characters.
#include "common/xystringconcat.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/resource.h>

#include "platform/codepage.h"

namespace {

template <typename T>
std::basic_string<T> Text(const CXYStringConcat<T>& b) {
  return std::basic_string<T>(b.pszGet(), b.nGetLength());
}

template <typename T>
std::basic_string<T> Widen(const char* ascii) {
  return std::basic_string<T>(ascii, ascii + std::char_traits<char>::length(ascii));
}

// The builder's invariants after any operation.
template <typename T>
void ExpectSound(const CXYStringConcat<T>& b) {
  EXPECT_LE(b.nGetLength(), b.nGetCapacity());
  EXPECT_EQ(b.pszGet()[b.nGetLength()], T(0));
}

template <typename T>
class XYStringConcatBoth : public testing::Test {};
using Units = testing::Types<char, wchar_t>;
TYPED_TEST_SUITE(XYStringConcatBoth, Units);

// ---- Growth ----

TYPED_TEST(XYStringConcatBoth, GrowsToTheNextWholeStepAboveTheLength) {
  using T = TypeParam;
  const std::basic_string<T> k1023(1023, T('x'));
  const std::basic_string<T> k1024(1024, T('x'));
  CXYStringConcat<T> a, a2;
  a.Add(k1023.data(), 1023);
  EXPECT_EQ(a.nGetCapacity(), 1024u);
  a.Add(k1023.data(), 1);  // fills the capacity exactly
  EXPECT_EQ(a.nGetCapacity(), 1024u);
  a2.Add(k1024.data(), 1024);  // 1024 needed: the next step strictly above
  EXPECT_EQ(a2.nGetCapacity(), 2048u);
  ExpectSound(a);
  ExpectSound(a2);

  CXYStringConcat<T> b(10);
  unsigned int seen = 0;
  for (int i = 0; i < 95; ++i) {
    b.Add(k1023.data(), 1);
    if (b.nGetCapacity() != seen) {
      seen = b.nGetCapacity();
      EXPECT_EQ(seen, (b.nGetLength() / 10 + 1) * 10) << "length " << b.nGetLength();
    }
  }
  EXPECT_EQ(b.nGetCapacity(), 100u);
  EXPECT_EQ(Text(b), std::basic_string<T>(95, T('x')));

  CXYStringConcat<T> zeroStep(0);
  EXPECT_EQ(zeroStep.nGetStep(), 1u);
  zeroStep.Add(k1023.data(), 3);
  EXPECT_EQ(zeroStep.nGetCapacity(), 4u);
}

// Steps near the 32-bit limit must not wrap the capacity; a length beyond the limit is refused
// before a unit of the piece is read.
TYPED_TEST(XYStringConcatBoth, LimitsAreKept) {
  using T = TypeParam;
  const auto abc = Widen<T>("abc");
  for (unsigned int step : {0xFFFFFFFFu, 0x80000000u, CXYStringConcat<T>::kMaxLength}) {
    CXYStringConcat<T> b(step);
    b.Add(abc.data(), 3);
    b.Add(abc.data(), 3);
    EXPECT_EQ(Text(b), abc + abc) << step;
    EXPECT_LE(b.nGetCapacity(), CXYStringConcat<T>::kMaxLength);
    ExpectSound(b);
  }
  CXYStringConcat<T> b;
  b.Add(abc.data(), 3);
  b.Add(abc.data(), INT_MAX);
  EXPECT_FALSE(b._AugmenteTaille(CXYStringConcat<T>::kMaxLength + 1));
  EXPECT_EQ(Text(b), abc);
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
        const bool empty = w.nGetLength() == 0 && w.pszGet()[0] == 0 && w.pGetData() == nullptr;
        std::exit(kept && empty ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
#endif
}

// ---- Plain additions ----

TYPED_TEST(XYStringConcatBoth, EmptyPiecesAddNothingAndTheBlockCanBeHandedOver) {
  using T = TypeParam;
  CXYStringConcat<T> b;
  b.Add(nullptr, 5);
  b.Add(CXYStringConcat<T>::ChaineVide, 0);
  b.Add(static_cast<const T*>(nullptr));
  EXPECT_EQ(b.pGetData(), nullptr);
  EXPECT_EQ(b.pszGet(), CXYStringConcat<T>::ChaineVide);
  const auto hello = Widen<T>("hello");
  b.Add(hello.c_str());
  b.Add(hello.data(), -1);
  CXYStringConcat<T> moved(std::move(b));
  T* block = moved.pDetache();
  EXPECT_EQ(std::basic_string<T>(block), hello);
  free(block);
  EXPECT_EQ(moved.pszGet(), CXYStringConcat<T>::ChaineVide);
}

TYPED_TEST(XYStringConcatBoth, PieceTakenFromTheOwnTextSurvivesGrowth) {
  using T = TypeParam;
  CXYStringConcat<T> b(4);
  const auto start = Widen<T>("abc");
  b.Add(start.data(), 3);
  std::basic_string<T> model = start;
  for (int i = 0; i < 8; ++i) {  // each doubling reallocates under the piece
    b.Add(b.pszGet(), static_cast<int>(b.nGetLength()));
    model += model;
  }
  EXPECT_EQ(Text(b), model);
  b.bRemplace(1, 2, b.pszGet() + 5, 40);
  model.replace(1, 2, model.substr(5, 40));
  EXPECT_EQ(Text(b), model);
}

// ---- Numbers ----

TYPED_TEST(XYStringConcatBoth, DecimalNumbersPadOnlyPositiveValues) {
  using T = TypeParam;
  const struct {
    long long v;
    int width;
    const char* want;
  } cases[] = {
      {7, 2, "07"},          {2024, 2, "2024"},          {0, 2, "0"},  {-5, 3, "-5"},
      {42, -1, "42"},        {123, 20, "00000000000000000123"},       {5, 0, "5"},
      {LLONG_MIN, 30, "-9223372036854775808"},                          {LLONG_MAX, -1, "9223372036854775807"},
  };
  for (const auto& c : cases) {
    CXYStringConcat<T> b;
    b.AddNumber(c.v, c.width);
    EXPECT_EQ(Text(b), Widen<T>(c.want)) << c.v << " width " << c.width;
  }
  CXYStringConcat<T> b;
  b.AddNumber(INT_MIN);
  EXPECT_EQ(Text(b), Widen<T>("-2147483648"));
  b.Vide();
  b.AddNumber(4, 2);  // the int form pads the same way
  EXPECT_EQ(Text(b), Widen<T>("04"));

  T digits[16] = {T('4'), T('2'), 0};
  CXYStringConcat<T>::_AddPrefix0(digits, 5);
  EXPECT_EQ(std::basic_string<T>(digits), Widen<T>("00042"));
  CXYStringConcat<T>::_AddPrefix0(digits, 3);
  EXPECT_EQ(std::basic_string<T>(digits), Widen<T>("00042"));
}

TYPED_TEST(XYStringConcatBoth, HexadecimalAndBinaryHaveFixedWidths) {
  using T = TypeParam;
  CXYStringConcat<T> b;
  b.AddNumberHexa(static_cast<unsigned char>(10));
  b.AddNumberHexa(static_cast<unsigned short>(0xBEEF));
  b.AddNumberHexa(0x1234ABCDu);
  b.AddNumberHexa(1ull);
  b.AddNumberHexa(0xFEDCBA9876543210ull);
  EXPECT_EQ(Text(b), Widen<T>("0ABEEF1234ABCD0000000000000001FEDCBA9876543210"));
  b.Vide();
  b.AddNumberBinary(5, 1);
  b.AddNumberBinary(5, 0);
  b.AddNumberBinary(0x80, 7);
  EXPECT_EQ(Text(b), Widen<T>("000001011010000010000000"));
}

// ---- Queries ----

TYPED_TEST(XYStringConcatBoth, EqualityAndSearch) {
  using T = TypeParam;
  CXYStringConcat<T> b;
  EXPECT_TRUE(b.bEstEgal(CXYStringConcat<T>::ChaineVide));
  EXPECT_EQ(b.nPos(Widen<T>("a").c_str(), 0), -1);
  EXPECT_EQ(b.nPos(T('a'), 0), -1);
  const auto text = Widen<T>("select a from b where a = b");
  b.Add(text.c_str());
  EXPECT_TRUE(b.bEstEgal(text.c_str()));
  EXPECT_FALSE(b.bEstEgal(Widen<T>("select").c_str()));
  EXPECT_FALSE(b.bEstEgal((text + T('x')).c_str()));
  EXPECT_EQ(b.nPos(Widen<T>("select").c_str(), 0), 0);
  EXPECT_EQ(b.nPos(Widen<T>("a").c_str(), 8), 22);
  EXPECT_EQ(b.nPos(Widen<T>("= b").c_str(), 0), 24);  // ends on the last unit
  EXPECT_EQ(b.nPos(Widen<T>("= bx").c_str(), 0), -1);
  EXPECT_EQ(b.nPos(Widen<T>("insert").c_str(), 0), -1);
  EXPECT_EQ(b.nPos(Widen<T>("").c_str(), 4), 4);
  EXPECT_EQ(b.nPos(T('w'), 0), 16);
  EXPECT_EQ(b.nPos(T(0), 3), static_cast<int>(text.size()));
  EXPECT_EQ(b.nPos(T('a'), -1), -1);
  EXPECT_EQ(b.nPos(Widen<T>("a").c_str(), 1000), -1);
}

TYPED_TEST(XYStringConcatBoth, UpperCaseThroughTheLocaleService) {
  using T = TypeParam;
  CXYStringConcat<T> b;
  b.Majuscule();
  if constexpr (sizeof(T) == 1) {
    b.Add("caf\xE9 b", 6);  // the host's code page 1252
    b.Majuscule();
    EXPECT_EQ(Text(b), "CAF\xC9 B");
  } else {
    b.Add(L"caf\u00E9 \u03C9");
    b.Majuscule();
    EXPECT_EQ(Text(b), L"CAF\u00C9 \u03A9");
  }
}

// ---- Conversions ----

TEST(XYStringConcat, ConversionsWriteIntoTheBlock) {
  CXYStringConcat<wchar_t> w(8);
  w.AddAnsi("\x80 caf\xE9", 6, 1252);
  w.AddAnsiToUTF8("\xE0", 1, 1252);
  w.AddUTF8("\xE2\x9C\x93\xF0\x9D\x84\x9E", 7, 1252);  // the code page is not used
  EXPECT_EQ(Text(w), L"\u20AC caf\u00E9\u00E0\u2713\U0001D11E");
  ExpectSound(w);

  CXYStringConcat<char> b(4);
  int lost = -1;
  b.AddWide(L"\u20ACa\u00E9", 3, 1252, &lost);
  EXPECT_EQ(lost, 0);
  b.AddWide(L"\u2713", 1, 1252, &lost);
  EXPECT_EQ(lost, 1);
  b.AddUTF8("\xC3\xA9 \xE2\x82\xAC", 6, 1252);
  b.AddAnsi("\xE9", 1, 65001);  // narrow onto narrow: the bytes as they are
  EXPECT_EQ(Text(b), "\x80" "a\xE9?\xE9 \x80\xE9");
  b.Vide();
  b.AddWide(L"\u00E9\u2713\U0001D11E", 3, 65001);
  b.AddAnsiToUTF8("\xE9\x80", 2, 1252);
  EXPECT_EQ(Text(b), "\xC3\xA9\xE2\x9C\x93\xF0\x9D\x84\x9E\xC3\xA9\xE2\x82\xAC");
  b.Vide();
  b.AddAnsiToAnsi("\xE9\x80", 2, 1252, 1251, &lost);  // Cyrillic page: no é, € at 0x88
  EXPECT_EQ(Text(b), "?\x88");
  EXPECT_EQ(lost, 1);
  ExpectSound(b);

  wchar_t wdst[4];
  char dst[4];
  EXPECT_EQ(CXYStringConcat<wchar_t>::_nUTF8ToX("a\xC3\xA9", 3, wdst, 0), 2);
  EXPECT_EQ(wdst[1], L'\u00E9');
  EXPECT_EQ(CXYStringConcat<char>::_nUTF8ToX("\xC3\xA9z", 3, dst, 1252), 2);
  EXPECT_EQ(std::string(dst, 2), "\xE9z");
}

// A conversion that gives nothing is refused and one that fails after writing leaves nothing
// behind: the text, its length and its terminator stay as they were.
TEST(XYStringConcat, RefusedConversionLeavesTheTextWhole) {
  CXYStringConcat<wchar_t> w(8);
  w.Add(L"AB", 2);
  w.AddUTF8("x\xE2\x82", 3, 65001);  // a cut final character is dropped alone
  w.AddAnsi("\x81\x8D", 2, 1252);    // undefined in 1252: refused
  w.AddUTF8("\xFF\xC3", 2, 65001);
  EXPECT_EQ(Text(w), L"ABx");
  ExpectSound(w);
  CXYStringConcat<char> b(4);
  b.Add("AB", 2);
  b.AddUTF8("\xFF\xC3", 2, 1252);
  b.AddAnsiToUTF8("\x81", 1, 1252);
  b.AddAnsiToAnsi("\x81", 1, 1252, 1250);
  b.AddWide(L"\U000E0041", 1, 1252);  // a tag character: nothing in 1252
  b.AddUTF8("x\xC3", 2, 1252);  // the direct conversion fails after writing 'x'; the retry keeps it
  EXPECT_EQ(Text(b), "ABx");
  ExpectSound(b);
}

// One kanji in ISO-2022-JP takes 8 bytes with its escape sequences: more than the 4 per
// character reserved first, so the exact size is asked for.
TEST(XYStringConcat, ConversionLargerThanItsReservationIsRedoneExactly) {
  const wchar_t kanji[] = L"\u6F22";
  char want[32];
  const int n = WideCharToMultiByte(50220, 0, kanji, 1, want, sizeof want, nullptr, nullptr);
  ASSERT_GT(n, 4);
  CXYStringConcat<char> b(1);
  b.AddWide(kanji, 1, 50220);
  EXPECT_EQ(Text(b), std::string(want, n));
  b.Vide();
  b.AddUTF8("\xE6\xBC\xA2", 3, 50220);
  EXPECT_EQ(Text(b), std::string(want, n));
  b.Vide();
  b.AddAnsiToAnsi("\xE6\xBC\xA2", 3, 65001, 50220);
  EXPECT_EQ(Text(b), std::string(want, n));
  ExpectSound(b);
}

// UTF-8 onto UTF-8 is copied whole: the converters keep a byte for a terminator (and stop at a
// zero byte), which would lose the last byte or everything after a zero.
TEST(XYStringConcat, UTF8OntoUTF8IsLossless) {
  const char text[] = "caf\xC3\xA9 \xE2\x9C\x93";
  const int n = sizeof text - 1;
  for (unsigned int step : {1u, 8u, 1024u}) {
    CXYStringConcat<char> b(step);
    b.AddUTF8(text, n, 65001);
    b.AddAnsiToUTF8(text, n, 65001);
    b.AddAnsiToAnsi(text, n, 65001, 65001);
    b.AddAnsiToUTF8("a\0b", 3, 65001);
    EXPECT_EQ(Text(b), std::string(text) + text + text + std::string("a\0b", 3)) << step;
    ExpectSound(b);
  }
  char dst[sizeof text];
  EXPECT_EQ(CXYStringConcat<char>::_nUTF8ToX(text, n, dst, 65001), n);
  EXPECT_EQ(std::string(dst, n), text);
}

// ---- Editing against a model ----

// UTF-8 pieces with characters of 1 to 4 bytes; positions fall anywhere, inside characters too.
const char* const kPieces[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E", " x", "\xC3\xA9\xC3\xA9", ""};

template <typename T>
std::basic_string<T> PieceIn(const char* utf8) {
  if constexpr (sizeof(T) == 1) {
    return utf8;
  } else {
    CXYStringConcat<wchar_t> w;
    w.AddUTF8(utf8, static_cast<int>(strlen(utf8)), 0);
    return Text(w);
  }
}

TYPED_TEST(XYStringConcatBoth, SpliceMatchesTheModel) {
  using T = TypeParam;
  std::mt19937 rng(17);
  CXYStringConcat<T> b(7);
  std::basic_string<T> model;
  for (int step = 0; step < 3000; ++step) {
    const std::basic_string<T> piece = PieceIn<T>(kPieces[rng() % 7]);
    const int len = static_cast<int>(model.size());
    const int start = static_cast<int>(rng() % (len + 3)) - 1;  // one outside at each end
    const int count = static_cast<int>(rng() % 6) - 1;          // -1: up to the end
    const bool ok = b.bRemplace(start, count, piece.data(), static_cast<int>(piece.size()));
    if (start < 0 || start > len) {
      EXPECT_FALSE(ok);
    } else {
      EXPECT_TRUE(ok);
      const size_t removed = count < 0 ? std::basic_string<T>::npos : static_cast<size_t>(count);
      model.replace(static_cast<size_t>(start), removed, piece);
    }
    if (model.size() > 200) {
      b.Tronque(20);
      model.resize(20);
    }
    ASSERT_EQ(Text(b), model) << "step " << step;
    ExpectSound(b);
  }
}

template <typename T>
int ReplaceAllModel(std::basic_string<T>& s, const std::basic_string<T>& from, const std::basic_string<T>& to,
                    size_t start) {
  int n = 0;
  for (size_t p = s.find(from, start); p != std::basic_string<T>::npos; p = s.find(from, p + to.size()), ++n)
    s.replace(p, from.size(), to);
  return n;
}

TYPED_TEST(XYStringConcatBoth, ReplaceAllMatchesTheModel) {
  using T = TypeParam;
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    std::basic_string<T> model;
    for (int i = 0, n = static_cast<int>(rng() % 12); i < n; ++i) model += PieceIn<T>(kPieces[rng() % 7]);
    CXYStringConcat<T> b(static_cast<unsigned int>(rng() % 9) + 1);
    b.Add(model.data(), static_cast<int>(model.size()));
    std::basic_string<T> from = PieceIn<T>(kPieces[rng() % 6]);
    if (rng() % 3 == 0 && from.size() > 1) from.resize(1);  // half a character
    const std::basic_string<T> to = PieceIn<T>(kPieces[rng() % 7]);
    const int start = model.empty() ? 0 : static_cast<int>(rng() % model.size());
    const int want = model.size() >= from.size() && static_cast<size_t>(start) <= model.size()
                         ? ReplaceAllModel(model, from, to, static_cast<size_t>(start))
                         : 0;
    EXPECT_EQ(b.nRemplaceTout(from.data(), static_cast<int>(from.size()), to.data(), static_cast<int>(to.size()),
                              start),
              want);
    ASSERT_EQ(Text(b), model) << "round " << round;
    ExpectSound(b);
  }
}

TYPED_TEST(XYStringConcatBoth, ReplaceAllNeverSearchesInsertedText) {
  using T = TypeParam;
  CXYStringConcat<T> b;
  b.Add(Widen<T>("a-b-c").c_str());
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("-").c_str(), 1, Widen<T>("--").c_str(), 2, 0), 2);
  EXPECT_EQ(Text(b), Widen<T>("a--b--c"));
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("-").c_str(), 1, nullptr, 0, 3), 2);
  EXPECT_EQ(Text(b), Widen<T>("a--bc"));
  // Patterns taken from the text itself.
  EXPECT_EQ(b.nRemplaceTout(b.pszGet() + 1, 1, b.pszGet() + 3, 1, 0), 2);  // '-' -> 'b'
  EXPECT_EQ(Text(b), Widen<T>("abbbc"));
  EXPECT_EQ(b.nRemplaceTout(b.pszGet() + 1, 1, b.pszGet(), 2, 0), 3);  // 'b' -> "ab"
  EXPECT_EQ(Text(b), Widen<T>("aabababc"));
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("aabababcx").c_str(), 9, nullptr, 0, 0), 0);
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("c").c_str(), 1, nullptr, 0, 8), 0);
  EXPECT_EQ(b.nRemplaceTout(Widen<T>("aabababc").c_str(), 8, nullptr, 0, 0), 1);
  EXPECT_EQ(b.nGetLength(), 0u);
  ExpectSound(b);
}

}  // namespace

// Raw text buffers. Buffers under test sit at the end of exact-size heap blocks, so that
// AddressSanitizer reports any read or write one character too far.
#include "common/str_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "tests/support/exact_alloc.h"

namespace {

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string RandomText(std::mt19937& rng, size_t maxLen, const char* alphabet) {
  const size_t n = std::uniform_int_distribution<size_t>(0, maxLen)(rng);
  const size_t k = strlen(alphabet);
  std::string s;
  for (size_t i = 0; i < n; ++i) s += alphabet[std::uniform_int_distribution<size_t>(0, k - 1)(rng)];
  return s;
}

TEST(StrBuffer, CreationSizesAndCopies) {
  for (unsigned n : {0u, 1u, 7u}) {
    Heap<wchar_t> w(STR_pszCreate(n));
    Heap<char> a(STR_pszCreateA(n));
    Heap<wchar_t> gw(STRG_pszCreate<wchar_t>(n));
    Heap<char> ga(STRG_pszCreate<char>(n));
    ASSERT_TRUE(w && a && gw && ga);
    w.get()[n] = 0;  // index n must be inside the block
    a.get()[n] = 0;
    gw.get()[n] = 0;
    ga.get()[n] = 0;
  }
  Heap<wchar_t> c(STR_pszCreate(ExactText<wchar_t>(L"abc").get()));
  EXPECT_STREQ(c.get(), L"abc");
  Heap<char> ca(STR_pszCreateA(ExactText<char>("xy").get()));
  EXPECT_STREQ(ca.get(), "xy");
  EXPECT_EQ(STR_pszCreate(static_cast<const wchar_t*>(nullptr)), nullptr);
  EXPECT_EQ(STR_pszCreateW(static_cast<const wchar_t*>(nullptr)), nullptr);
  EXPECT_EQ(STR_pszCreateA(static_cast<const char*>(nullptr)), nullptr);

  Heap<wchar_t> ab(STR_pszCreateW(L"ab", L"cd"));
  EXPECT_STREQ(ab.get(), L"abcd");
  Heap<char> aba(STR_pszCreateA("ab", nullptr));
  EXPECT_STREQ(aba.get(), "ab");
  Heap<wchar_t> pt(STR_pszConcatPoint(L"table", L"item"));
  EXPECT_STREQ(pt.get(), L"table.item");
  Heap<wchar_t> three(STR_pszConcat(L"a", nullptr, L"c"));
  EXPECT_STREQ(three.get(), L"ac");
}

TEST(StrBuffer, CreateWithLengthPadsAndNeverReadsPastTheSource) {
  for (unsigned n = 0; n <= 6; ++n) {
    for (const std::string& src : {std::string(""), std::string("ab"), std::string("abcdef")}) {
      Heap<wchar_t> s = ExactText(W(src));
      Heap<wchar_t> w(STR_pszCreate(n, s.get()));
      Heap<char> a(STR_pszCreateA(n, ExactText(src).get()));
      ASSERT_TRUE(w && a);
      for (unsigned i = 0; i <= n; ++i) {
        const char want = i < n && i < src.size() ? src[i] : 0;
        EXPECT_EQ(w.get()[i], static_cast<wchar_t>(want)) << n << " " << src << " " << i;
        EXPECT_EQ(a.get()[i], want) << n << " " << src << " " << i;
      }
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

TEST(StrBuffer, UnalignedSourcesAtEveryOffset) {
  const std::wstring text = L"h\u00e9llo\U0001F600";
  for (size_t off = 0; off < 4; ++off) {
    const size_t bytes = off + (text.size() + 1) * sizeof(wchar_t);
    Heap<char> raw = Exact<char>(bytes);
    memcpy(raw.get() + off, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    const char* s = raw.get() + off;
    Heap<wchar_t> whole(STR_pszCreateW_UNALIGNED(s));
    EXPECT_EQ(std::wstring(whole.get()), text) << off;
    Heap<wchar_t> three(STR_pszCreateW_UNALIGNED(3, s));
    EXPECT_STREQ(three.get(), L"h\u00e9l");
    Heap<wchar_t> padded(STR_pszCreateW_UNALIGNED(9, s));
    EXPECT_EQ(std::wstring(padded.get(), 10), text + std::wstring(10 - text.size(), L'\0'));
  }
}

TEST(StrBuffer, RedefineAndResize) {
  wchar_t* p = STR_pszCreate(L"abcdef");
  // The new text may be part of the old one: it is copied before the old one is freed.
  EXPECT_TRUE(STR_bRedefine(&p, p + 2));
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
}

TEST(StrBuffer, BoundedLengths) {
  Heap<wchar_t> w = ExactChars<wchar_t>(L"abcd");
  EXPECT_EQ(STR_nLenW(w.get(), 4), 4);
  EXPECT_EQ(STR_nLen(w.get(), 2), 2);
  EXPECT_EQ(STR_nLenW(w.get(), 0), 0);
  EXPECT_EQ(STR_nLenW(w.get(), -5), 0);
  EXPECT_EQ(STR_nLenA(ExactText<char>("ab").get(), 10), 2);
  EXPECT_EQ(STR_nLenA(nullptr, 10), 0);
}

// Every capacity, count and source length against the rule min(n, length, capacity - 1).
template <typename T>
void CheckCopies(int (*copy)(T*, int, const T*, int), int (*cut)(T*, int, const T*)) {
  const std::basic_string<T> full = {'a', 'b', 'c', 'd', 'e', 'f'};
  for (size_t len = 0; len <= full.size(); ++len) {
    const std::basic_string<T> src = full.substr(0, len);
    Heap<T> s = ExactText(src);
    for (int cap = 0; cap <= 8; ++cap) {
      for (int n = -3; n <= 8; ++n) {
        Heap<T> dst = Exact<T>(cap == 0 ? 1 : static_cast<size_t>(cap));
        dst.get()[0] = 'Z';
        const int got = copy(dst.get(), cap, s.get(), n);
        if (cap == 0) {
          EXPECT_EQ(got, 0);
          EXPECT_EQ(dst.get()[0], 'Z');
          continue;
        }
        size_t want = n == -1 ? len : (n <= 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), len));
        want = std::min<size_t>(want, static_cast<size_t>(cap) - 1);
        EXPECT_EQ(got, static_cast<int>(want)) << len << " " << cap << " " << n;
        EXPECT_EQ(std::basic_string<T>(dst.get()), src.substr(0, want));
      }
      Heap<T> dst = Exact<T>(cap == 0 ? 1 : static_cast<size_t>(cap));
      dst.get()[0] = 'Z';
      const int got = cut(dst.get(), cap, s.get());
      const size_t want = cap == 0 ? 0 : std::min<size_t>(len, static_cast<size_t>(cap) - 1);
      EXPECT_EQ(got, static_cast<int>(want));
      if (cap > 0) {
        EXPECT_EQ(std::basic_string<T>(dst.get()), src.substr(0, want));
      }
    }
  }
}

TEST(StrBuffer, BoundedCopiesAndCuts) {
  CheckCopies<wchar_t>(STR_nCopyW, STR_nCut);
  CheckCopies<wchar_t>(STR_nCopy, STR_nCut);
  CheckCopies<char>(STR_nCopyA, STR_nCut);

  wchar_t dst[10];
  EXPECT_EQ(STR_nCopyW(dst, 10, nullptr, -1), 0);
  EXPECT_STREQ(dst, L"");
}

// Appending: the existing text of every length (including none terminated within the capacity).
template <typename T>
void CheckCats(int (*cat)(T*, int, const T*, int), int (*catCut)(T*, int, const T*)) {
  const std::basic_string<T> head = {'x', 'y', 'z', 'w', 'v', 'u', 't', 's', 'r'};
  const std::basic_string<T> tail = {'1', '2', '3', '4'};
  Heap<T> s = ExactText(tail);
  for (int cap = 1; cap <= 8; ++cap) {
    for (size_t used = 0; used <= static_cast<size_t>(cap); ++used) {
      for (int n : {-1, 0, 2, 9}) {
        for (int useCut = 0; useCut < 2; ++useCut) {
          Heap<T> dst = Exact<T>(static_cast<size_t>(cap));
          std::copy(head.begin(), head.begin() + static_cast<long>(used), dst.get());
          if (used < static_cast<size_t>(cap)) dst.get()[used] = 0;
          const int got = useCut ? catCut(dst.get(), cap, s.get()) : cat(dst.get(), cap, s.get(), n);
          const size_t kept = std::min(used, static_cast<size_t>(cap) - 1);
          const size_t asked = useCut || n == -1 ? tail.size() : (n <= 0 ? 0 : static_cast<size_t>(n));
          const size_t added = std::min({asked, tail.size(), static_cast<size_t>(cap) - 1 - kept});
          EXPECT_EQ(got, static_cast<int>(added)) << cap << " " << used << " " << n << " " << useCut;
          EXPECT_EQ(std::basic_string<T>(dst.get()), head.substr(0, kept) + tail.substr(0, added));
        }
      }
    }
  }
}

TEST(StrBuffer, BoundedConcatenations) {
  CheckCats<wchar_t>(STR_nCatW, STR_nCatCut);
  CheckCats<wchar_t>(STR_nCat, STR_nCatCut);
  CheckCats<char>(STR_nCatA, STR_nCatCut);
  wchar_t one[1] = {L'q'};
  EXPECT_EQ(STR_nCatW(one, 0, L"abc", -1), 0);
  EXPECT_EQ(one[0], L'q');
}

TEST(StrBuffer, Trimming) {
  wchar_t w[] = L" \ta b\n c \r";
  STR_SuppressAllSpacesW(w);
  EXPECT_STREQ(w, L"abc");
  char a[] = " \ta b\xA0 c \v";
  STR_SuppressAllSpacesA(a);
  EXPECT_STREQ(a, "ab\xA0" "c");

  wchar_t side[] = L"  x y \t ";
  STR_SuppressRightSpaces(side);
  EXPECT_STREQ(side, L"  x y");
  STR_SuppressLeftSpaces(side);
  EXPECT_STREQ(side, L"x y");
  char sideA[] = "\n  x  \n";
  STR_SuppressSideSpaces(sideA);
  EXPECT_STREQ(sideA, "x");
  char blanks[] = "   ";
  STR_SuppressSideSpaces(blanks);
  EXPECT_STREQ(blanks, "");

  wchar_t zeros[] = L"x00";
  STR_SuppressRightCar(zeros, L'0');
  EXPECT_STREQ(zeros, L"x");
  char allZeros[] = "000";
  STR_SuppressRightCar(allZeros, '0');
  EXPECT_STREQ(allZeros, "");
  char lead[] = "**a*";
  STR_SuppressLeftCar(lead, '*');
  EXPECT_STREQ(lead, "a*");
  wchar_t both[] = L"--a-b--";
  STR_SuppressSideCar(both, L'-');
  EXPECT_STREQ(both, L"a-b");
  // A NUL as the character to strip must not walk past the terminator.
  Heap<wchar_t> empty = ExactText<wchar_t>(L"");
  STR_SuppressLeftCar(empty.get(), L'\0');
  STR_SuppressSideCar(empty.get(), L'\0');
  EXPECT_STREQ(empty.get(), L"");

  STR_SuppressAllSpacesW(nullptr);
  STR_SuppressSideSpaces(static_cast<char*>(nullptr));
  STR_SuppressSideCar(nullptr, L'x');
}

TEST(StrBuffer, CompleteStaysWithinItsSize) {
  wchar_t ab[6] = L"ab";
  STR_Complete(ab, 5, L'*');
  EXPECT_STREQ(ab, L"ab**");
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
      std::wstring want;
      for (int i = 0; i < kept; ++i) want += static_cast<wchar_t>(L'a' + i);
      want += std::wstring(static_cast<size_t>(size - 1 - kept), L'.');
      EXPECT_EQ(std::wstring(s.get()), want) << size << " " << nul;
    }
  }
  char untouched = 'q';
  STR_Complete(&untouched, 0, '*');
  EXPECT_EQ(untouched, 'q');
}

template <typename T>
const T* NaiveRChr(const std::basic_string<T>& s, const T* base, int start, T c) {
  if (start < 0) return nullptr;
  for (int i = std::min(start, static_cast<int>(s.size())); i >= 0; --i) {
    if ((i < static_cast<int>(s.size()) ? s[static_cast<size_t>(i)] : 0) == c) return base + i;
  }
  return nullptr;
}

template <typename T>
const T* NaiveRStr(const std::basic_string<T>& s, const T* base, int start, const std::basic_string<T>& sub) {
  if (start < 0 || sub.size() > s.size()) return nullptr;
  for (int i = std::min(start, static_cast<int>(s.size() - sub.size())); i >= 0; --i) {
    if (s.compare(static_cast<size_t>(i), sub.size(), sub) == 0) return base + i;
  }
  return nullptr;
}

TEST(StrBuffer, BackwardSearchesMatchNaiveOnes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    const std::string s = RandomText(rng, 10, "abc");
    const std::string sub = RandomText(rng, 3, "abc");
    Heap<char> a = ExactText(s);
    Heap<wchar_t> w = ExactText(W(s));
    Heap<char> subA = ExactText(sub);
    Heap<wchar_t> subW = ExactText(W(sub));
    for (int start = -2; start <= static_cast<int>(s.size()) + 3; ++start) {
      for (char c : {'a', 'c', '\0'}) {
        EXPECT_EQ(strrchr(static_cast<const char*>(a.get()), start, c), NaiveRChr<char>(s, a.get(), start, c));
        EXPECT_EQ(wcsrchr(w.get(), start, static_cast<wchar_t>(c)),
                  NaiveRChr<wchar_t>(W(s), w.get(), start, static_cast<wchar_t>(c)));
      }
      EXPECT_EQ(STRRSTRA(a.get(), start, subA.get()), NaiveRStr<char>(s, a.get(), start, sub))
          << s << " " << sub << " " << start;
      EXPECT_EQ(STRRSTR(w.get(), start, subW.get()), NaiveRStr<wchar_t>(W(s), w.get(), start, W(sub)));
    }
  }
  // The C library's two-argument forms are still reachable beside them.
  const char* text = "a/b/c";
  EXPECT_EQ(strrchr(text, '/'), text + 3);
  EXPECT_EQ(strrchr(text, 2, '/'), text + 1);
}

TEST(StrBuffer, LastOfASet) {
  const wchar_t* s = L"a,b;c";
  EXPECT_EQ(STRRPBRK(s, L",;"), s + 3);
  EXPECT_EQ(STRRPBRK(s, L","), s + 1);
  EXPECT_EQ(STRRPBRK(s, L"xyz"), nullptr);
  EXPECT_EQ(STRRPBRK(s, L""), nullptr);
  EXPECT_EQ(STRRPBRK(L"", L","), nullptr);
}

template <typename T, typename Eq>
const T* NaiveFind(const std::basic_string<T>& s, const T* base, size_t n, const std::basic_string<T>& sub, Eq eq) {
  for (size_t p = 0; p + sub.size() <= std::min(n, s.size()); ++p) {
    bool same = true;
    for (size_t j = 0; j < sub.size(); ++j) same = same && eq(s[p + j], sub[j]);
    if (same) return base + p;
  }
  return nullptr;
}

bool SameAscii(wchar_t a, wchar_t b) { return towlower(static_cast<wint_t>(a)) == towlower(static_cast<wint_t>(b)); }
bool Same(wchar_t a, wchar_t b) { return a == b; }

TEST(StrBuffer, ForwardSearchesMatchNaiveOnes) {
  std::mt19937 rng(11);
  for (int round = 0; round < 2000; ++round) {
    const std::string s = RandomText(rng, 12, "abAB");
    const std::string sub = RandomText(rng, 3, "abAB");
    const size_t n = std::uniform_int_distribution<size_t>(0, s.size())(rng);
    // Only the first n characters exist: any read beyond them is caught.
    Heap<char> headA = ExactChars(s.substr(0, n));
    Heap<wchar_t> headW = ExactChars(W(s.substr(0, n)));
    const int ni = static_cast<int>(n);
    auto narrowSame = [](char a, char b) { return a == b; };
    auto narrowNoCase = [](char a, char b) { return tolower(a) == tolower(b); };
    const wchar_t* wantW = sub.empty() ? headW.get() : NaiveFind<wchar_t>(W(s), headW.get(), n, W(sub), Same);
    EXPECT_EQ(STR_pszStrnstr(headW.get(), ExactText(W(sub)).get(), ni), wantW) << s << " " << sub << " " << n;
    const char* want = n == 0 ? nullptr : sub.empty() ? headA.get() : NaiveFind<char>(s, headA.get(), n, sub, narrowSame);
    EXPECT_EQ(STR_strnstrA(headA.get(), ExactText(sub).get(), ni), want) << s << " " << sub << " " << n;
    want = n == 0 ? nullptr : sub.empty() ? headA.get() : NaiveFind<char>(s, headA.get(), n, sub, narrowNoCase);
    EXPECT_EQ(STR_strnistrA(headA.get(), ExactText(sub).get(), ni), want) << s << " " << sub << " " << n;

    Heap<wchar_t> whole = ExactText(W(s));
    const wchar_t* wantI = sub.empty() ? whole.get() : NaiveFind<wchar_t>(W(s), whole.get(), s.size(), W(sub), SameAscii);
    EXPECT_EQ(STR_StrIStr(whole.get(), ExactText(W(sub)).get()), wantI) << s << " " << sub;
    if (round % 10 == 0) {
      EXPECT_EQ(STR_pszUpStrstr(whole.get(), ExactText(W(sub)).get()), wantI) << s << " " << sub;
    }
  }
  const wchar_t* s = L"abc";
  EXPECT_EQ(STR_pszStrnstr(s, nullptr, 0), s);
  EXPECT_EQ(STR_pszStrnstr(s, L"abcd", 3), nullptr);
}

TEST(StrBuffer, UpperCaseSearchGoesThroughTheLocaleService) {
  const wchar_t* s = L"le CAF\u00c9 cr\u00e8me";
  EXPECT_EQ(STR_pszUpStrstr(s, L"caf\u00e9"), s + 3);
  EXPECT_EQ(STR_pszUpStrstr(s, L"CR\u00c8ME"), s + 8);
  EXPECT_EQ(STR_pszUpStrstr(s, L"creme"), nullptr);
  EXPECT_EQ(STR_pszUpStrstr(L"ab", L"abc"), nullptr);
}

TEST(StrBuffer, RtfSignature) {
  EXPECT_TRUE(bEstDuTexteRTF(L"{\\rtf1\\ansi"));
  EXPECT_TRUE(bEstDuTexteRTF(L"{\\RTF1"));
  EXPECT_TRUE(bEstDuTexteRTF("{\\RtF{"));
  EXPECT_FALSE(bEstDuTexteRTF(" {\\rtf1"));
  EXPECT_FALSE(bEstDuTexteRTF(L"{\\rtf2"));
  EXPECT_FALSE(bEstDuTexteRTF(ExactText<char>("{\\rt").get()));
  EXPECT_FALSE(bEstDuTexteRTF(ExactText<wchar_t>(L"{").get()));
  EXPECT_FALSE(bEstDuTexteRTF(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(bEstDuTexteRTF(static_cast<const wchar_t*>(nullptr)));
}

std::wstring NaiveReplace(std::wstring s, const std::wstring& from, const std::wstring& to) {
  for (size_t p = s.find(from); p != std::wstring::npos; p = s.find(from, p + to.size())) {
    s.replace(p, from.size(), to);
  }
  return s;
}

TEST(StrBuffer, ReplacementMatchesAStringReference) {
  std::mt19937 rng(3);
  for (int round = 0; round < 3000; ++round) {
    std::string s = RandomText(rng, 14, "ab-");
    if (s.empty()) s = "a";
    std::string from = RandomText(rng, 3, "ab-");
    if (from.empty()) from = "-";
    const std::string to = RandomText(rng, 4, "xy-");
    Heap<wchar_t> got(STR_RemplaceW(ExactText(W(s)).get(), ExactText(W(from)).get(), ExactText(W(to)).get()));
    ASSERT_TRUE(got);
    EXPECT_EQ(std::wstring(got.get()), NaiveReplace(W(s), W(from), W(to))) << s << " " << from << " " << to;
  }
  Heap<wchar_t> dashes(STR_RemplaceW(L"a-b-c", L"-", L"--"));
  EXPECT_STREQ(dashes.get(), L"a--b--c");
  Heap<wchar_t> copy(STR_RemplaceW(L"abc", L"x", L"y"));
  EXPECT_STREQ(copy.get(), L"abc");
  Heap<wchar_t> removed(STR_RemplaceW(L"aXbX", L"X", nullptr));
  EXPECT_STREQ(removed.get(), L"ab");
  EXPECT_EQ(STR_RemplaceW(L"abc", L"", L"y"), nullptr);
  EXPECT_EQ(STR_RemplaceW(L"", L"a", L"y"), nullptr);
  EXPECT_EQ(STR_RemplaceW(nullptr, L"a", L"y"), nullptr);
}

std::wstring NaiveEllipsis(const std::wstring& src, size_t w, int position) {
  if (src.size() <= w) return src;
  if (w < 3) return src.substr(0, w);
  switch (position) {
    case 0:
      return src.substr(0, w - 3) + L"...";
    case 1:
      return src.substr(0, (w - 3) / 2) + L"..." + src.substr(src.size() - (w - 2) / 2);
    case 2:
      return L"..." + src.substr(src.size() - (w - 3));
    default:
      return L"";
  }
}

TEST(StrBuffer, EllipsisForEveryWidthAndPosition) {
  const std::wstring alphabet = L"abcdefghijkl";
  for (size_t len = 0; len <= alphabet.size(); ++len) {
    const std::wstring src = alphabet.substr(0, len);
    for (unsigned w = 0; w <= len + 2; ++w) {
      for (int position = 0; position <= 3; ++position) {
        Heap<wchar_t> dst = Exact<wchar_t>(w + 1);
        STR_Ellipsis(dst.get(), ExactText(src).get(), w, static_cast<eELLIPSISPOSITION>(position));
        const std::wstring got(dst.get());
        EXPECT_EQ(got, NaiveEllipsis(src, w, position)) << len << " " << w << " " << position;
        if (position < 3) {
          EXPECT_EQ(got.size(), std::min<size_t>(w, len));
        }
      }
    }
  }
  wchar_t dst[8];
  STR_Ellipsis(dst, L"abcdefghij", 7, ELLIPSIS_END);
  EXPECT_STREQ(dst, L"abcd...");
  STR_Ellipsis(dst, L"abcdefghij", 7, ELLIPSIS_MIDDLE);
  EXPECT_STREQ(dst, L"ab...ij");
  STR_Ellipsis(dst, L"abcdefghij", 7, ELLIPSIS_START);
  EXPECT_STREQ(dst, L"...ghij");
}

}  // namespace

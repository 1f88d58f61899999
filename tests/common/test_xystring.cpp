// Host dynamic strings and binary buffers: sharing and copy on write, the block header, sizes,
// editing, searching, allocation failures under both allocator versions, and the atomic count.
#include "common/xystring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "common/zvbin.h"
#include "tests/common/host_string_test.h"

namespace {

// Narrow text keeps 4 zero bytes after its content, wide text one zero character.
void ExpectTerminated(const AStr& s) {
  ASSERT_NE(s.pGetData(), nullptr);
  EXPECT_EQ(memcmp(s.pGetData() + s.nGetLength(), "\0\0\0\0", 4), 0);
}
void ExpectTerminated(const WStr& s) {
  ASSERT_NE(s.pGetData(), nullptr);
  EXPECT_EQ(s.pGetData()[s.nGetLength()], 0);
}

TEST(XYString, ValueIsOnePointerOverTheHostBlock) {
  static_assert(sizeof(AStr) == sizeof(void*) && sizeof(WStr) == sizeof(void*) && sizeof(CZVBIN) == sizeof(void*));
  static_assert(sizeof(STManipAUB) == 16);
  WStr w = W(L"abc");
  const STStrMemHeader* h = StrMemHeader(w.pGetData());
  EXPECT_EQ(h->dwFlags, 0u);
  EXPECT_EQ(h->nRefCount, 1);
  EXPECT_EQ(h->dwLength, 12u);  // bytes: 4 per character
  EXPECT_GE(h->dwCapacity, 12u);
  ExpectTerminated(w);
  AStr a = A("xyz");
  EXPECT_EQ(StrMemHeader(a.pGetData())->dwLength, 3u);
  ExpectTerminated(a);

  AStr empty;
  EXPECT_EQ(empty.pGetData(), nullptr);
  EXPECT_STREQ(empty.pszGet(), "");
  EXPECT_STREQ(WStr().pszGet(), L"");
  EXPECT_EQ(CBaseStrMem::ChaineVide, 0u);
  EXPECT_STREQ(CNomStandardStatique::ChaineVide.pszGetNom(), L"");
  EXPECT_STREQ(CNomStandardStatique::ChaineVide.pszGetNomStandard(), L"");
  CBaseStrMem::s_ReleaseStrMem(nullptr);
}

TEST(XYString, CopiesShareAndReleaseDropsOneReference) {
  AStr a = A("hello");
  {
    AStr b(a);
    AStr c;
    c = b;
    EXPECT_EQ(b.pGetData(), a.pGetData());
    EXPECT_EQ(Count(a.pGetData()), 3);
    c = c;  // self-assignment keeps the reference
    EXPECT_EQ(Count(a.pGetData()), 3);
  }
  EXPECT_EQ(Count(a.pGetData()), 1);
  AStr moved(std::move(a));
  EXPECT_EQ(a.pGetData(), nullptr);
  EXPECT_EQ(Text(moved), "hello");
  char* raw = moved.Detach();
  AStr adopted;
  adopted.Attach(raw);
  EXPECT_EQ(Text(adopted), "hello");
  EXPECT_EQ(Count(raw), 1);
  CBaseStrMem::s_AddRefStrMem(raw);
  adopted.Attach(raw);  // the same block handed over again: the extra reference is dropped
  EXPECT_EQ(Count(raw), 1);
}

TEST(XYString, AssignmentReusesASoleBlockAndReplacesASharedOne) {
  AStr a = A("abcd");
  char* block = a.pGetData();
  EXPECT_EQ(a.nAffecte("wxyz", 4), 0);
  EXPECT_EQ(a.pGetData(), block);
  EXPECT_EQ(a.nAffecte("x", -1), 0);
  EXPECT_EQ(a.pGetData(), block);
  EXPECT_EQ(Text(a), "x");
  ExpectTerminated(a);

  AStr other(a);
  EXPECT_EQ(a.nAffecte("pq", 2), 0);
  EXPECT_NE(a.pGetData(), block);
  EXPECT_EQ(Text(other), "x");
  EXPECT_EQ(Count(block), 1);

  // A sub-text of the value's own block.
  AStr self = A("0123456789");
  EXPECT_EQ(self.nAffecte(self.pGetData() + 3, 4), 0);
  EXPECT_EQ(Text(self), "3456");

  EXPECT_EQ(a.nAffecte("", -1), 0);
  EXPECT_EQ(a.pGetData(), nullptr);
  a = A("k");
  EXPECT_EQ(a.nAffecte("k", 0), 0);
  EXPECT_EQ(a.pGetData(), nullptr);
  a = A("k");
  EXPECT_EQ(a.nAffecte(nullptr, 5), 0);
  EXPECT_EQ(a.pGetData(), nullptr);

  WStr w;
  w.Set(L"wide");
  EXPECT_EQ(Text(w), L"wide");
  w.Set(nullptr);
  EXPECT_EQ(w.pGetData(), nullptr);
  EXPECT_EQ(Text(AStr("abc")), "abc");
  EXPECT_EQ(AStr("").pGetData(), nullptr);
  EXPECT_EQ(AStr(nullptr).pGetData(), nullptr);
}

TEST(XYString, SizesAreRefusedWhenTheirBytesDoNotFit) {
  const long calls = StandIn().nAllocCalls(false) + StandIn().nAllocCalls(true);
  AStr a;
  WStr w;
  EXPECT_EQ(a.__nNew(0, "x", 1), 0);
  EXPECT_EQ(a.pGetData(), nullptr);
  EXPECT_EQ(a.__nNew(-1, nullptr, 0), XYSTR_ERR_SIZE);
  EXPECT_EQ(a.__nNew(0x7FFFFF00, nullptr, 0), XYSTR_ERR_SIZE);
  // A wide count whose 4-byte size passes the byte limit, although the count itself does not.
  EXPECT_EQ(w.__nNew(0x1FFFFFC0, nullptr, 0), XYSTR_ERR_SIZE);
  EXPECT_EQ(w.nSetLength(0x20000000), XYSTR_ERR_SIZE);
  EXPECT_EQ(w.nAffecteConversion(L"x", 0x7FFFFEFF), XYSTR_ERR_SIZE);
  EXPECT_EQ(StandIn().nAllocCalls(false) + StandIn().nAllocCalls(true), calls) << "refused sizes never reach the host";

  // Sums are taken in 64 bits: a growth past the limit is refused and the value kept.
  w = W(L"abc");
  EXPECT_EQ(w.nConcat(L"x", WStr::kMaxUnits - 2), XYSTR_ERR_SIZE);
  EXPECT_EQ(w.__nPrepareModification(WStr::kMaxUnits + 1), XYSTR_ERR_SIZE);
  EXPECT_EQ(Text(w), L"abc");
  AStr many = A(std::string(1000, 'a'));
  EXPECT_EQ(many.RemplaceBinaire("a", 1, "b", 3000000, 0), XYSTR_ERR_SIZE);
  EXPECT_EQ(many.nGetLength(), 1000);
  WStr wide = W(std::wstring(1000, L'a'));
  EXPECT_EQ(wide.RemplaceBinaire(L"a", 1, L"b", 600000, 0), XYSTR_ERR_SIZE);  // 6e8 characters: 2.4e9 bytes
  wide.Remplace(0, 1, L"z", INT_MAX);
  EXPECT_EQ(wide.nGetLength(), 1000);
}

TEST(XYString, NewFillAndLengthOfABlock) {
  WStr w;
  EXPECT_EQ(w.__nNew(8, L"abcdef", 3), 0);
  EXPECT_EQ(Text(w), L"abc");
  ExpectTerminated(w);
  w.__FillDynStr(L"XY", 2, 3);
  EXPECT_EQ(Text(w), L"abcXY");
  w.__FillDynStr(L"123456", 6, 5);  // no room for it: ignored
  EXPECT_EQ(Text(w), L"abcXY");

  AStr a;
  EXPECT_EQ(a.__nNew(4, "abcdefgh", 8), 0);  // the copy is clipped to the block
  EXPECT_EQ(Text(a), "abcd");
  EXPECT_EQ(a.__nNew(2, nullptr, 0), 0);  // a held block is released, not leaked
  EXPECT_EQ(a.nGetLength(), 0);

  WStr s;
  EXPECT_EQ(s.nSetLength(5), 0);
  EXPECT_EQ(s.nGetLength(), 0);
  wcsncpy(s.pGetData(), L"hello", 5);
  s.SetUtilLength(5);
  EXPECT_EQ(Text(s), L"hello");
  ExpectTerminated(s);
  WStr shared(s);
  EXPECT_EQ(s.nSetLength(3), 0);  // a shared block's copy keeps at most n characters
  EXPECT_EQ(Text(s), L"hel");
  EXPECT_EQ(Text(shared), L"hello");
  shared.SetUtilLength(99);  // beyond the capacity: ignored
  EXPECT_EQ(Text(shared), L"hello");
}

TEST(XYString, ConcatenationGrowsSharesAndHandlesItsOwnText) {
  AStr a = A("ab");
  EXPECT_EQ(a.nConcat("cd", 2), 0);
  EXPECT_EQ(a.nConcat("ef"), 0);
  EXPECT_EQ(a.Add("g"), 0);
  EXPECT_EQ(a.nConcat(nullptr, 3), 0);
  EXPECT_EQ(a.nConcat("zz", 0), 0);
  EXPECT_EQ(Text(a), "abcdefg");
  ExpectTerminated(a);
  // Appending the value's own text, which may move when the block grows.
  EXPECT_EQ(a.nConcat(a.pGetData(), a.nGetLength()), 0);
  EXPECT_EQ(Text(a), "abcdefgabcdefg");
  AStr empty;
  EXPECT_EQ(empty.nConcat("new", 3), 0);
  EXPECT_EQ(Text(empty), "new");

  WStr w = W(L"xy");
  WStr onto;
  EXPECT_EQ(onto.nConcat(w), 0);
  EXPECT_EQ(onto.pGetData(), w.pGetData());
  EXPECT_EQ(Count(w.pGetData()), 2);
  EXPECT_EQ(onto.nConcat(onto), 0);  // doubles, and the shared block is left alone
  EXPECT_EQ(Text(onto), L"xyxy");
  EXPECT_EQ(Text(w), L"xy");
  EXPECT_EQ(Count(w.pGetData()), 1);
  WStr single = W(L"ab");
  EXPECT_EQ(single.nConcat(single), 0);
  EXPECT_EQ(Text(single), L"abab");
  ExpectTerminated(single);
  EXPECT_EQ(single.nConcat(WStr()), 0);
  EXPECT_EQ(Text(single), L"abab");
}

TEST(XYString, EndMarkerFlagFollowsTheContent) {
  WStr marked = W(L"ab\xFFFFFFFF");
  SetFlags(marked.pGetData(), 0x101);
  WStr copy(marked);
  EXPECT_EQ(copy.nConcat(L"z", 1), 0);
  EXPECT_EQ(copy.dwGetFlags(), 0x100u) << "appending ends the marker, host bits stay";
  EXPECT_EQ(marked.dwGetFlags(), 0x101u);

  WStr plain = W(L"x");
  EXPECT_EQ(plain.nConcat(marked), 0);
  EXPECT_EQ(plain.dwGetFlags() & 1, 1u) << "the appended string's marker is the result's";
  EXPECT_EQ(plain.nConcat(W(L"y")), 0);
  EXPECT_EQ(plain.dwGetFlags() & 1, 0u);

  WStr shared(marked);
  EXPECT_EQ(shared.nSetLength(10), 0);  // a copy on write keeps the whole flags word
  EXPECT_EQ(shared.dwGetFlags(), 0x101u);

  // New content in a reused block is not marked (a new block would not be either).
  AStr narrow = A("ab\xFF");
  SetFlags(narrow.pGetData(), 0x201);
  char* block = narrow.pGetData();
  EXPECT_EQ(narrow.nAffecte("xy\xFF", 3), 0);
  EXPECT_EQ(narrow.pGetData(), block);
  EXPECT_EQ(narrow.dwGetFlags(), 0x200u);
}

TEST(XYString, SearchAndReplaceAll) {
  const std::string text("abcab\0cab", 9);
  AStr a = A(text);
  EXPECT_EQ(a.nPosBinaire("ab", 2, 0), 0);
  EXPECT_EQ(a.nPosBinaire("ab", 2, 1), 3);
  EXPECT_EQ(a.nPosBinaire("\0c", 2, 0), 5) << "zero units match like any other";
  EXPECT_EQ(a.nPosBinaire("ab", 2, 7), 7) << "an occurrence ending at the last unit";
  EXPECT_EQ(a.nPosBinaire("abc", 3, 7), -1) << "longer than the rest";
  EXPECT_EQ(a.nPosBinaire("ab", 0, 0), -1);
  EXPECT_EQ(a.nPosBinaire("ab", 2, -1), -1);
  EXPECT_EQ(AStr().nPosBinaire("a", 1, 0), -1);

  EXPECT_EQ(a.RemplaceBinaire("ab", 2, "X", 1, 1), 0);
  EXPECT_EQ(Text(a), std::string("abcX\0cX", 7));
  ExpectTerminated(a);
  char* block = a.pGetData();
  EXPECT_EQ(a.RemplaceBinaire("zz", 2, "y", 1, 0), 0);
  EXPECT_EQ(a.pGetData(), block) << "no occurrence: untouched";

  AStr aaa = A("aaaa");
  EXPECT_EQ(aaa.RemplaceBinaire("aa", 2, "b", 1, 0), 0);  // non-overlapping, left to right
  EXPECT_EQ(Text(aaa), "bb");
  EXPECT_EQ(aaa.RemplaceBinaire("b", 1, nullptr, 0, 0), 0);
  EXPECT_EQ(aaa.pGetData(), nullptr) << "removing everything empties the value";

  // Patterns taken from the value itself.
  WStr w = W(L"one two one");
  EXPECT_EQ(w.RemplaceBinaire(w.pGetData(), 3, w.pGetData() + 4, 3, 0), 0);
  EXPECT_EQ(Text(w), L"two two two");
  WStr shared(w);
  EXPECT_EQ(w.RemplaceBinaire(L"two", 3, L"2", 1, 4), 0);
  EXPECT_EQ(Text(w), L"two 2 2");
  EXPECT_EQ(Text(shared), L"two two two");
}

TEST(XYString, RemplaceEditsInPlace) {
  WStr w = W(L"hello world");
  w.Remplace(6, 5, L"there", -1);
  EXPECT_EQ(Text(w), L"hello there");
  w.Remplace(0, 99, L"HE", 2);  // n past the end: up to the end
  EXPECT_EQ(Text(w), L"HE");
  w.Remplace(1, -1, L"ello", 4);
  EXPECT_EQ(Text(w), L"Hello");
  w.Remplace(1, 0, nullptr, 5);
  EXPECT_EQ(Text(w), L"Hello");
  w.Remplace(5, 1, L"x", 1);  // start at the length
  w.Remplace(-1, 1, L"x", 1);
  EXPECT_EQ(Text(w), L"Hello");
  w.Remplace(1, 3, L"", -1);
  EXPECT_EQ(Text(w), L"Ho");
  ExpectTerminated(w);
  // The replacement is the value's own text.
  WStr own = W(L"abcdef");
  own.Remplace(0, 1, own.pGetData() + 1, 5);
  EXPECT_EQ(Text(own), L"bcdefbcdef");
  WStr none;
  none.Remplace(0, 0, L"x", 1);
  EXPECT_EQ(none.pGetData(), nullptr);
}

// Every change through a value that shares its block leaves the other holder's text, length
// and flags as they were.
TEST(XYString, CopyOnWriteNeverChangesTheOtherHolder) {
  struct Op {
    const char* name;
    void (*run)(AStr&);
  };
  const Op ops[] = {
      {"nAffecte", [](AStr& a) { a.nAffecte("xy", 2); }},
      {"nConcat", [](AStr& a) { a.nConcat("!", 1); }},
      {"nConcat(other)", [](AStr& a) { a.nConcat(a); }},
      {"nSetLength", [](AStr& a) {
         a.nSetLength(3);
         a.pGetData()[0] = 'X';
         a.SetUtilLength(3);
       }},
      {"__nPrepareModification", [](AStr& a) {
         a.__nPrepareModification(2);
         a.pGetData()[0] = 'Y';
       }},
      {"Remplace", [](AStr& a) { a.Remplace(1, 2, "ZZZ", 3); }},
      {"RemplaceBinaire", [](AStr& a) { a.RemplaceBinaire("l", 1, "L", 1, 0); }},
      {"__FillDynStr", [](AStr& a) { a.__FillDynStr("QQ", 2, 0); }},
      {"SetUtilLength", [](AStr& a) { a.SetUtilLength(1); }},
      {"nAffecteUTF8", [](AStr& a) { a.nAffecteUTF8("\xC3\xA9", 2, 1252, 0, nullptr, nullptr); }},
  };
  for (const Op& op : ops) {
    SCOPED_TRACE(op.name);
    AStr b = A("hello");
    SetFlags(b.pGetData(), 0x101);
    AStr a(b);
    op.run(a);
    EXPECT_EQ(Text(b), "hello");
    EXPECT_EQ(b.dwGetFlags(), 0x101u);
    EXPECT_EQ(Count(b.pGetData()), a.pGetData() == b.pGetData() ? 2 : 1);
  }

  struct BinOp {
    const char* name;
    void (*run)(CZVBIN&);
  };
  const BinOp binOps[] = {
      {"nAssign", [](CZVBIN& x) { x.nAssign("xy", 2); }},
      {"nConcat", [](CZVBIN& x) { x.nConcat("!", 1); }},
      {"nSetSize", [](CZVBIN& x) {
         x.nSetSize(2);
         x.pGetData()[0] = 'X';
       }},
      {"nSetMemorySize", [](CZVBIN& x) {
         x.nSetMemorySize(64);
         x.pGetData()[0] = 'X';
       }},
      {"SetUtilSize", [](CZVBIN& x) { x.SetUtilSize(1); }},
      {"__FillDynBin", [](CZVBIN& x) { x.__FillDynBin("QQ", 2, 0); }},
      {"Remplace", [](CZVBIN& x) { x.Remplace(0, 1, B("JJ")); }},
      {"nConcatSeparateur", [](CZVBIN& x) {
         const CZVBIN sep = B(",");
         const CZVBIN b = B("b");
         x.nConcatSeparateur(&sep, &b, 0);
       }},
      {"Assign cut", [](CZVBIN& x) { x.Assign(x, 2); }},
  };
  for (const BinOp& op : binOps) {
    SCOPED_TRACE(op.name);
    CZVBIN y = B("hello");
    SetFlags(y.pGetData(), 0x101);
    CZVBIN x(y);
    op.run(x);
    EXPECT_EQ(Text(y), "hello");
    EXPECT_EQ(y.dwGetFlags(), 0x101u);
    EXPECT_EQ(Count(y.pGetData()), x.pGetData() == y.pGetData() ? 2 : 1);
  }
}

// ---- CZVBIN ----

TEST(ZVBIN, AssignmentsAndCuts) {
  CZVBIN x = B("hello");
  EXPECT_EQ(x.nGetSize(), 5);
  EXPECT_EQ(CZVBIN("abc", 0).pGetData(), nullptr);
  EXPECT_EQ(CZVBIN("abc", -2).pGetData(), nullptr);

  CZVBIN y;
  y.Assign(x, 0);
  EXPECT_EQ(y.pGetData(), nullptr);
  y.Assign(x, -1);
  EXPECT_EQ(y.pGetData(), x.pGetData());
  SetFlags(x.pGetData(), 1);
  y.Assign(x, 2);  // a private cut: the source keeps its block and flags
  EXPECT_EQ(Text(y), "he");
  EXPECT_NE(y.pGetData(), x.pGetData());
  EXPECT_EQ(y.dwGetFlags() & 1, 0u);
  EXPECT_EQ(x.dwGetFlags(), 1u);
  EXPECT_EQ(Count(x.pGetData()), 1);
  y.Assign(x, 99);
  EXPECT_EQ(y.pGetData(), x.pGetData());
  y.Assign(static_cast<const CZVBIN*>(nullptr), -1);
  EXPECT_EQ(y.pGetData(), nullptr);
  x.Assign(x, 3);  // cutting itself
  EXPECT_EQ(Text(x), "hel");

  CZVBIN z;
  EXPECT_EQ(z.nAssignInit("abc", 3), 0);
  EXPECT_EQ(Text(z), "abc");
  EXPECT_EQ(z.nAssignInit(nullptr, 3), 0);
  EXPECT_EQ(z.pGetData(), nullptr);
  EXPECT_EQ(z.nAssignInit("a", -1), XYSTR_ERR_SIZE);
  EXPECT_EQ(z.nAssignInit("a", 0x7FFFFF00), XYSTR_ERR_SIZE);

  EXPECT_EQ(z.nAssign("abcd", 4), 0);
  BYTE* block = z.pGetData();
  EXPECT_EQ(z.nAssign("wxyz", 4), 0);
  EXPECT_EQ(z.pGetData(), block);
  EXPECT_EQ(z.nAssign(z.pGetData() + 1, 2), 0);
  EXPECT_EQ(Text(z), "xy");
  EXPECT_EQ(z.nAssign("q", -1), XYSTR_ERR_SIZE);
  EXPECT_EQ(Text(z), "xy");
  EXPECT_EQ(z.nAssign("q", 0), 0);
  EXPECT_EQ(z.pGetData(), nullptr);

  CZVBIN src = B("data");
  CZVBIN taker = B("old");
  taker.Take(src);
  EXPECT_EQ(Text(taker), "data");
  EXPECT_EQ(src.pGetData(), nullptr) << "the reference moved: src cannot release it again";
  EXPECT_EQ(Count(taker.pGetData()), 1);
}

TEST(ZVBIN, SizesAndMemory) {
  CZVBIN x;
  EXPECT_EQ(x.nSetSize(6), 0);
  EXPECT_EQ(x.nGetSize(), 6);
  memcpy(x.pGetData(), "abcdef", 6);
  EXPECT_EQ(x.nSetSize(3), 0);
  EXPECT_EQ(Text(x), "abc");
  EXPECT_EQ(x.nSetSize(-1), XYSTR_ERR_SIZE);

  CZVBIN m;
  EXPECT_EQ(m.nSetMemorySize(16), 0);
  EXPECT_EQ(m.nGetSize(), 0);
  EXPECT_GE(m.nGetCapacity(), 16);
  BYTE* block = m.pGetData();
  EXPECT_EQ(m.nSetMemorySize(8), 0);
  EXPECT_EQ(m.pGetData(), block);
  EXPECT_EQ(m.nSetMemorySize(-1), XYSTR_ERR_SIZE);
  EXPECT_EQ(m.nSetMemorySize(0x7FFFFF00), XYSTR_ERR_SIZE);
  m.__FillDynBin("xyz", 3, 0);
  EXPECT_EQ(Text(m), "xyz");
  m.SetUtilSize(2);
  EXPECT_EQ(Text(m), "xy");
  m.SetUtilSize(1000);
  EXPECT_EQ(Text(m), "xy");

  // A shared block grown for room is copied, not moved under its other holder.
  CZVBIN other(x);
  EXPECT_EQ(x.nSetMemorySize(4096), 0);
  EXPECT_NE(x.pGetData(), other.pGetData());
  EXPECT_EQ(Text(x), "abc");
  EXPECT_EQ(Text(other), "abc");
}

TEST(ZVBIN, ConcatenationForms) {
  CZVBIN x;
  EXPECT_EQ(x.nConcat("ab", 2), 0);
  EXPECT_EQ(x.nConcat("cd", 2), 0);
  EXPECT_EQ(x.nConcat(x.pGetData(), x.nGetSize()), 0);
  EXPECT_EQ(Text(x), "abcdabcd");
  EXPECT_EQ(x.nConcat("z", -1), XYSTR_ERR_SIZE);
  CZVBIN shared(x);
  SetFlags(x.pGetData(), 0x100);
  EXPECT_EQ(x.nConcat("!", 1), 0);
  EXPECT_EQ(x.dwGetFlags(), 0x100u) << "a shared block's replacement keeps the flags word";
  EXPECT_EQ(Text(shared), "abcdabcd");

  CZVBIN a = B("ab");
  CZVBIN b = B("cd");
  SetFlags(b.pGetData(), 1);
  CZVBIN r;
  EXPECT_EQ(r.nConcatInit(a, b, 0), 0);
  EXPECT_EQ(Text(r), "abcd");
  EXPECT_EQ(r.dwGetFlags(), 1u) << "the end marker is b's";
  CZVBIN emptyA;
  EXPECT_EQ(r.nConcatInit(emptyA, b, 0), 0);
  EXPECT_EQ(r.pGetData(), b.pGetData());
  EXPECT_EQ(r.nConcatInit(a, CZVBIN(), 0), 0);
  EXPECT_EQ(r.pGetData(), a.pGetData());

  // Mode 1: a's block moves over when nothing else holds it.
  CZVBIN r1;
  CZVBIN sole = B("xy");
  EXPECT_EQ(r1.nConcatInit(sole, b, 1), 0);
  EXPECT_EQ(sole.pGetData(), nullptr);
  EXPECT_EQ(Text(r1), "xycd");
  CZVBIN held = B("xy");
  CZVBIN keep(held);
  CZVBIN r2;
  EXPECT_EQ(r2.nConcatInit(held, b, 1), 0);
  EXPECT_EQ(Text(r2), "xycd");
  EXPECT_EQ(Text(held), "xy");
  EXPECT_EQ(Text(keep), "xy");
  // a and b the same value, and this value one of them.
  CZVBIN twice = B("ab");
  CZVBIN r3;
  EXPECT_EQ(r3.nConcatInit(twice, twice, 1), 0);
  EXPECT_EQ(Text(r3), "abab");
  CZVBIN self = B("q");
  EXPECT_EQ(self.nConcatInit(self, self, 0), 0);
  EXPECT_EQ(Text(self), "qq");
}

TEST(ZVBIN, ConcatWithSeparator) {
  const CZVBIN sep = B(",");
  const CZVBIN b = B("b");
  const CZVBIN bWithSep = B(",b");
  CZVBIN x = B("a");
  EXPECT_EQ(x.nConcatSeparateur(&sep, &b, 0), 0);
  EXPECT_EQ(Text(x), "a,b");
  x = B("a,");
  EXPECT_EQ(x.nConcatSeparateur(&sep, &b, 0), 0);
  EXPECT_EQ(Text(x), "a,b");
  x = B("a");
  EXPECT_EQ(x.nConcatSeparateur(&sep, &bWithSep, 0), 0);
  EXPECT_EQ(Text(x), "a,b");
  CZVBIN e;
  EXPECT_EQ(e.nConcatSeparateur(&sep, &b, 1), 0);
  EXPECT_EQ(Text(e), "b");
  CZVBIN e2;
  EXPECT_EQ(e2.nConcatSeparateur(&sep, &b, 0), 0);
  EXPECT_EQ(Text(e2), ",b");
  x = B("a");
  const CZVBIN none;
  EXPECT_EQ(x.nConcatSeparateur(&sep, &none, 0), 0);
  EXPECT_EQ(Text(x), "a");
  EXPECT_EQ(x.nConcatSeparateur(&sep, nullptr, 0), 0);
  EXPECT_EQ(Text(x), "a,");
  EXPECT_EQ(x.nConcatSeparateur(nullptr, &b, 0), 0);
  EXPECT_EQ(Text(x), "a,b");
  CZVBIN self = B("xy");
  EXPECT_EQ(self.nConcatSeparateur(&sep, &self, 0), 0);
  EXPECT_EQ(Text(self), "xy,xy");
}

TEST(ZVBIN, ExtractionEditingAndRepetition) {
  const CZVBIN x = B("hello");
  CZVBIN part;
  EXPECT_EQ(x.nMilieu(&part, 1, 3), 0);
  EXPECT_EQ(Text(part), "ell");
  EXPECT_EQ(x.nMilieu(&part, 3, -1), 0);
  EXPECT_EQ(Text(part), "lo");
  EXPECT_EQ(x.nMilieu(&part, 3, 99), 0);
  EXPECT_EQ(Text(part), "lo");
  EXPECT_EQ(x.nMilieu(&part, 5, 1), 0);
  EXPECT_EQ(part.pGetData(), nullptr);
  part = B("keep");
  EXPECT_EQ(x.nMilieu(&part, -1, 2), 0);
  EXPECT_EQ(part.pGetData(), nullptr);
  EXPECT_EQ(Text(x.clMilieu(0, 2)), "he");
  CZVBIN self = B("abcdef");
  EXPECT_EQ(self.nMilieu(&self, 2, 2), 0);
  EXPECT_EQ(Text(self), "cd");

  CZVBIN r = B("hello");
  r.Remplace(1, 3, B("ipp"));
  EXPECT_EQ(Text(r), "hippo");
  r.Remplace(4, -1, B("ie!"));
  EXPECT_EQ(Text(r), "hippie!");
  r.Remplace(0, 99, CZVBIN());
  EXPECT_EQ(r.nGetSize(), 0);
  CZVBIN own = B("ab");
  own.Remplace(1, 1, own);
  EXPECT_EQ(Text(own), "aab");

  CZVBIN rep;
  EXPECT_EQ(rep.nRepete(B("ab"), 3), 0);
  EXPECT_EQ(Text(rep), "ababab");
  EXPECT_EQ(rep.nRepete(rep, 2), 0);
  EXPECT_EQ(Text(rep), "abababababab");
  EXPECT_EQ(rep.nRepete(B("ab"), 0), 0);
  EXPECT_EQ(rep.pGetData(), nullptr);
  EXPECT_EQ(rep.nRepete(B("ab"), 0x40000000), XYSTR_ERR_SIZE);
  EXPECT_EQ(rep.nRepete(B("ab"), -1), XYSTR_ERR_SIZE);
}

TEST(ZVBIN, SearchesAndComparisons) {
  const CZVBIN x = B(std::string("ab\0cab", 6));
  EXPECT_EQ(x.nPos("ab", 2, 0), 0);
  EXPECT_EQ(x.nPos("ab", 2, 1), 4);
  EXPECT_EQ(x.nPos("\0c", 2, 0), 2);
  EXPECT_EQ(x.nPos("ab", 2, 5), -1);
  EXPECT_EQ(x.nPos("ab", 2, -1), -1);
  EXPECT_EQ(x.nPos("ab", 0, 0), -1);
  EXPECT_EQ(CZVBIN().nPos("a", 1, 0), -1);

  const CZVBIN ab = B("ab");
  const CZVBIN cab = B("cab");
  const CZVBIN empty;
  EXPECT_TRUE(CZVBIN::bCommencePar(&x, &ab));
  EXPECT_FALSE(CZVBIN::bCommencePar(&ab, &x));
  EXPECT_TRUE(CZVBIN::bTerminePar(&x, &cab));
  EXPECT_TRUE(CZVBIN::bContient(&x, &cab));
  EXPECT_FALSE(CZVBIN::bContient(&ab, &cab));
  EXPECT_TRUE(CZVBIN::bCommencePar(&ab, &empty));
  EXPECT_TRUE(CZVBIN::bTerminePar(&empty, nullptr));
  EXPECT_TRUE(CZVBIN::bContient(nullptr, &empty));

  const CZVBIN abc = B("abc");
  const CZVBIN high = B("\x80");
  EXPECT_EQ(CZVBIN::nCompare(&ab, &abc), -1);
  EXPECT_EQ(CZVBIN::nCompare(&abc, &ab), 1);
  EXPECT_EQ(CZVBIN::nCompare(&empty, nullptr), 0);
  EXPECT_EQ(CZVBIN::nCompare(&high, &ab), 1) << "bytes compare unsigned";
  EXPECT_EQ(CZVBIN::nCompare(&ab, &abc, 2), 0);
  EXPECT_EQ(CZVBIN::nCompare(&ab, &abc, 3), -1);
  EXPECT_EQ(CZVBIN::nCompare(&ab, &abc, -1), -1);
}

TEST(STManipAUB, ViewsOfTheThreeTypes) {
  AStr a = A("abc");
  WStr w = W(L"xy");
  CZVBIN b = B("bytes");
  int size = -1;
  STManipAUB va{a.pGetData(), STManipAUB::TYPE_DSTRA, 0};
  EXPECT_STREQ(va.pszGetStringA(), "abc");
  EXPECT_EQ(va.pbyGetContenu(size), reinterpret_cast<const BYTE*>(a.pGetData()));
  EXPECT_EQ(size, 4);
  va.pbyGetContenuUtile(size);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(va.nGetLongueur(), 3);

  STManipAUB vw{w.pGetData(), STManipAUB::TYPE_DSTRW, 0};
  EXPECT_STREQ(vw.pszGetStringW(), L"xy");
  vw.pbyGetContenu(size);
  EXPECT_EQ(size, 12);
  EXPECT_EQ(vw.nGetLongueur(), 2);
  EXPECT_EQ(vw.nGetTailleUtile(), 8);

  STManipAUB vb{b.pGetData(), STManipAUB::TYPE_BIN, 0};
  vb.pbyGetContenu(size);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(vb.nGetLongueur(), 5);

  // Without a block the content is an empty text readable for the size given.
  STManipAUB nullWide{nullptr, STManipAUB::TYPE_DSTRW, 0};
  const BYTE* p = nullWide.pbyGetContenu(size);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(memcmp(p, "\0\0\0\0", 4), 0);
  STManipAUB nullNarrow{nullptr, STManipAUB::TYPE_DSTRA, 0};
  EXPECT_EQ(*nullNarrow.pbyGetContenu(size), 0);
  EXPECT_EQ(size, 1);
  EXPECT_STREQ(nullNarrow.pszGetStringA(), "");
  STManipAUB other{a.pGetData(), 8, 0};
  EXPECT_EQ(other.pbyGetContenu(size), reinterpret_cast<const BYTE*>(&CBaseStrMem::ChaineVide));
  EXPECT_EQ(size, 0);
  EXPECT_EQ(other.nGetLongueur(), 0);
  EXPECT_EQ(other.nGetTailleUtile(), 0);
}

// ---- Allocation failures, under both allocator versions ----

struct Values {
  AStr a, b;
  WStr w, v;
  CZVBIN x, y, z;
};

std::vector<FailureCase<Values>> StringCases() {
  const auto empty = [](Values&) {};
  const auto sole = [](Values& s) { s.a = A("hello"); };
  const auto shared = [](Values& s) {
    s.a = A("hello");
    s.b = s.a;
  };
  const auto stillEmpty = [](Values& s) { EXPECT_EQ(s.a.pGetData(), nullptr); };
  const auto unchanged = [](Values& s) {
    EXPECT_EQ(Text(s.a), "hello");
    ExpectTerminated(s.a);
  };
  // A failed copy on write leaves the value empty and the other holder as it was.
  const auto emptiedShared = [](Values& s) {
    EXPECT_EQ(s.a.pGetData(), nullptr);
    EXPECT_EQ(Text(s.b), "hello");
    EXPECT_EQ(Count(s.b.pGetData()), 1);
  };
  return {
      {"__nNew", empty, [](Values& s) { return s.a.__nNew(8, "abc", 3); }, stillEmpty},
      {"constructor", empty, [](Values& s) { return s.a = AStr("abc"), kNoResult; }, stillEmpty},
      {"nAffecte new", empty, [](Values& s) { return s.a.nAffecte("abc", 3); }, stillEmpty},
      {"nAffecte grow", sole, [](Values& s) { return s.a.nAffecte("a longer text", -1); }, unchanged},
      {"nAffecte shared", shared, [](Values& s) { return s.a.nAffecte("xy", 2); }, emptiedShared},
      {"Set grow", [](Values& s) { s.w = W(L"hi"); }, [](Values& s) { return s.w.Set(L"a longer text"), kNoResult; },
       [](Values& s) { EXPECT_EQ(Text(s.w), L"hi"); }},
      {"nConcat grow", sole, [](Values& s) { return s.a.nConcat(" world", 6); }, unchanged},
      {"nConcat own text", sole, [](Values& s) { return s.a.nConcat(s.a.pGetData(), 5); }, unchanged},
      {"nConcat shared", shared, [](Values& s) { return s.a.nConcat("!", 1); }, emptiedShared},
      {"nConcat onto empty", empty, [](Values& s) { return s.a.nConcat("ab"); }, stillEmpty},
      {"nConcat(other)", sole, [](Values& s) { return s.a.nConcat(s.a); }, unchanged},
      {"nConcat(other) shared", shared, [](Values& s) { return s.a.nConcat(s.b); }, emptiedShared},
      {"__nPrepareModification grow", sole, [](Values& s) { return s.a.__nPrepareModification(100); }, unchanged},
      {"__nPrepareModification shared", shared, [](Values& s) { return s.a.__nPrepareModification(5); },
       emptiedShared},
      {"nSetLength new", empty, [](Values& s) { return s.w.nSetLength(10); },
       [](Values& s) { EXPECT_EQ(s.w.pGetData(), nullptr); }},
      {"Remplace grow", sole, [](Values& s) { return s.a.Remplace(1, 1, "EEEEEEEE", -1), kNoResult; }, unchanged},
      {"Remplace shared", shared, [](Values& s) { return s.a.Remplace(1, 1, "E", 1), kNoResult; }, emptiedShared},
      {"RemplaceBinaire", sole, [](Values& s) { return s.a.RemplaceBinaire("l", 1, "LL", 2, 0); }, unchanged},
  };
}

std::vector<FailureCase<Values>> BinaryCases() {
  const auto empty = [](Values&) {};
  const auto sole = [](Values& s) { s.x = B("hello"); };
  const auto shared = [](Values& s) {
    s.x = B("hello");
    s.y = s.x;
  };
  const auto stillEmpty = [](Values& s) { EXPECT_EQ(s.x.pGetData(), nullptr); };
  const auto unchanged = [](Values& s) { EXPECT_EQ(Text(s.x), "hello"); };
  const auto emptiedShared = [](Values& s) {
    EXPECT_EQ(s.x.pGetData(), nullptr);
    EXPECT_EQ(Text(s.y), "hello");
  };
  const auto twoSources = [](Values& s) {
    s.y = B("ab");
    s.z = B("cd");
  };
  const auto sourcesKept = [](Values& s) {
    EXPECT_EQ(s.x.pGetData(), nullptr);
    EXPECT_EQ(Text(s.y), "ab");
    EXPECT_EQ(Text(s.z), "cd");
  };
  return {
      {"constructor", empty, [](Values& s) { return s.x = CZVBIN("abc", 3), kNoResult; }, stillEmpty},
      {"_nNew", empty, [](Values& s) { return s.x._nNew(4, "abc", 3); }, stillEmpty},
      {"nAssignInit", empty, [](Values& s) { return s.x.nAssignInit("abc", 3); }, stillEmpty},
      {"nAssign grow", sole, [](Values& s) { return s.x.nAssign("a longer text", 13); }, unchanged},
      {"nAssign shared", shared, [](Values& s) { return s.x.nAssign("xy", 2); }, emptiedShared},
      {"Assign cut", [](Values& s) { s.y = B("hello"); }, [](Values& s) { return s.x.Assign(s.y, 2), kNoResult; },
       [](Values& s) {
         EXPECT_EQ(s.x.pGetData(), nullptr);
         EXPECT_EQ(Text(s.y), "hello");
       }},
      {"nSetSize new", empty, [](Values& s) { return s.x.nSetSize(10); }, stillEmpty},
      {"nSetSize grow", sole, [](Values& s) { return s.x.nSetSize(20); }, unchanged},
      {"nSetMemorySize grow", sole, [](Values& s) { return s.x.nSetMemorySize(100); }, unchanged},
      {"nSetMemorySize shared", shared, [](Values& s) { return s.x.nSetMemorySize(100); }, emptiedShared},
      {"SetUtilSize shared", shared, [](Values& s) { return s.x.SetUtilSize(2), kNoResult; }, emptiedShared},
      {"__nPrepareModification shared", shared, [](Values& s) { return s.x.__nPrepareModification(3); },
       emptiedShared},
      {"nConcat grow", sole, [](Values& s) { return s.x.nConcat("!!", 2); }, unchanged},
      {"nConcat shared", shared, [](Values& s) { return s.x.nConcat("!!", 2); }, emptiedShared},
      {"nConcatInit mode 0", twoSources, [](Values& s) { return s.x.nConcatInit(s.y, s.z, 0); }, sourcesKept},
      {"nConcatInit mode 1 moved", twoSources, [](Values& s) { return s.x.nConcatInit(s.y, s.z, 1); }, sourcesKept},
      {"nConcatInit mode 1 shared",
       [](Values& s) {
         s.y = B("ab");
         s.z = B("cd");
         s.x = B("old");
       },
       [](Values& s) {
         const CZVBIN pin(s.y);  // a's block has another holder while the operation runs
         return s.x.nConcatInit(s.y, s.z, 1);
       },
       sourcesKept},
      {"nConcatSeparateur",
       [](Values& s) {
         s.x = B("hello");
         s.y = B(",");
         s.z = B("b");
       },
       [](Values& s) { return s.x.nConcatSeparateur(&s.y, &s.z, 0); }, unchanged},
      {"nMilieu", sole, [](Values& s) { return s.x.nMilieu(&s.y, 1, 3); },
       [](Values& s) {
         EXPECT_EQ(Text(s.x), "hello");
         EXPECT_EQ(s.y.pGetData(), nullptr);
       }},
      {"clMilieu", sole, [](Values& s) { return s.y = s.x.clMilieu(1, 3), kNoResult; },
       [](Values& s) { EXPECT_EQ(s.y.pGetData(), nullptr); }},
      {"Remplace grow",
       [](Values& s) {
         s.x = B("hello");
         s.y = B("EEEEEE");
       },
       [](Values& s) { return s.x.Remplace(1, 1, s.y), kNoResult; }, unchanged},
      {"nRepete", [](Values& s) { s.y = B("ab"); }, [](Values& s) { return s.x.nRepete(s.y, 3); },
       [](Values& s) {
         EXPECT_EQ(s.x.pGetData(), nullptr);
         EXPECT_EQ(Text(s.y), "ab");
       }},
  };
}

class HostStringFailures : public testing::TestWithParam<int> {};

TEST_P(HostStringFailures, StringsFailCleanlyAtEveryAllocation) { ExpectCleanFailures(StringCases(), GetParam()); }

TEST_P(HostStringFailures, BinariesFailCleanlyAtEveryAllocation) { ExpectCleanFailures(BinaryCases(), GetParam()); }

INSTANTIATE_TEST_SUITE_P(AllocatorVersions, HostStringFailures, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                           return info.param < 2 ? std::string("OldSlots") : std::string("NewSlots");
                         });

// ---- The atomic count ----

TEST(XYStringThreads, OneBlockCopiedAndReleasedFromManyThreads) {
  const long live = StandIn().nLiveBlocks();
  const WStr source = W(L"shared between threads");
  wchar_t* block = source.pGetData();
  std::vector<std::thread> threads;
  std::atomic<int> changedThroughCopy{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&source, &changedThroughCopy, t] {
      for (int i = 0; i < 5000; ++i) {
        WStr copy(source);
        WStr second;
        second = copy;
        if ((i + t) % 64 == 0) {
          copy.nConcat(L"!", 1);  // a private copy; the shared text stays
          if (copy.pGetData() == source.pGetData()) changedThroughCopy++;
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(changedThroughCopy.load(), 0);
  EXPECT_EQ(Count(block), 1);
  EXPECT_EQ(Text(source), L"shared between threads");

  // The last of many concurrent releases frees the block exactly once (the stand-in aborts on a
  // second free).
  for (int round = 0; round < 50; ++round) {
    std::vector<WStr> copies(8, W(L"released together"));
    std::atomic<int> ready{0};
    std::vector<std::thread> releasers;
    for (WStr& c : copies) {
      releasers.emplace_back([&c, &ready] {
        ready++;
        while (ready.load() < 8) {
        }
        c.ReleaseDynStr();
      });
    }
    for (std::thread& th : releasers) th.join();
  }
  EXPECT_EQ(StandIn().nLiveBlocks(), live + 1);  // the source only
}

}  // namespace

// Host dynamic strings and binaries: sharing, copy on write, sizes, edits, conversions (1252,
// UTF-8/16/32, the end marker), allocation failures and the atomic count.
#include "common/xystring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

#include "common/xystring_conversion.h"
#include "common/zvbin.h"
#include "tests/common/host_string_test.h"

namespace {

using namespace std::string_literals;

// Narrow text keeps 4 zero bytes after its content, wide text one zero character.
void ExpectTerminated(const AStr& s) {
  ASSERT_NE(s.pGetData(), nullptr);
  EXPECT_EQ(memcmp(s.pGetData() + s.nGetLength(), "\0\0\0\0", 4), 0);
}
void ExpectTerminated(const WStr& s) {
  ASSERT_NE(s.pGetData(), nullptr);
  EXPECT_EQ(s.pGetData()[s.nGetLength()], 0);
}

// A value as one text: its content, reference count and flags word (hex), "-" without a block.
// A text's terminator is checked on the way.
template <typename V>
std::string Info(const V& v) {
  if (v.pGetData() == nullptr) return "-";
  if constexpr (!std::is_same_v<V, CZVBIN>) ExpectTerminated(v);
  const auto t = Text(v);
  char tail[32];
  snprintf(tail, sizeof tail, "/%d/%x", Count(v.pGetData()), v.dwGetFlags());
  return std::string(t.begin(), t.end()) + tail;
}

TEST(XYString, ValueIsOnePointerOverTheHostBlock) {
  static_assert(sizeof(AStr) == sizeof(void*) && sizeof(WStr) == sizeof(void*) && sizeof(CZVBIN) == sizeof(void*));
  static_assert(sizeof(STManipAUB) == 16);
  const WStr w = W(L"abc");
  const AStr a = A("xyz");
  const STStrMemHeader* h = StrMemHeader(w.pGetData());
  EXPECT_EQ(Info(w), "abc/1/0");
  EXPECT_EQ(h->dwLength, 12u);  // bytes: 4 per character
  EXPECT_GE(h->dwCapacity, 12u);
  EXPECT_EQ(StrMemHeader(a.pGetData())->dwLength, 3u);
  ExpectTerminated(a);
  EXPECT_STREQ(AStr().pszGet(), "");
  EXPECT_STREQ(WStr().pszGet(), L"");
  EXPECT_EQ(CBaseStrMem::ChaineVide, 0u);
  EXPECT_STREQ(CNomStandardStatique::ChaineVide.pszGetNomStandard(), L"");
  CBaseStrMem::s_ReleaseStrMem(nullptr);
}

TEST(XYString, CopiesShareAndReleaseDropsOneReference) {
  AStr a = A("hello");
  {
    AStr b(a), c;
    c = b;
    c = c;  // self-assignment keeps the reference
    EXPECT_EQ(b.pGetData(), a.pGetData());
    EXPECT_EQ(Info(a), "hello/3/0");
  }
  EXPECT_EQ(Info(a), "hello/1/0");
  AStr moved(std::move(a)), adopted;
  EXPECT_EQ(a.pGetData(), nullptr);
  char* raw = moved.Detach();
  adopted.Attach(raw);
  CBaseStrMem::s_AddRefStrMem(raw);
  adopted.Attach(raw);  // the same block handed over again: the extra reference is dropped
  EXPECT_EQ(Info(adopted), "hello/1/0");
}

TEST(XYString, AssignmentReusesASoleBlockAndReplacesASharedOne) {
  AStr a = A("abcd");
  char* block = a.pGetData();
  EXPECT_EQ(a.nAffecte("wxyz", 4), 0);
  EXPECT_EQ(a.nAffecte("x", -1), 0);
  EXPECT_EQ(a.pGetData(), block);
  ExpectTerminated(a);
  AStr other(a);
  EXPECT_EQ(a.nAffecte("pq", 2), 0);
  EXPECT_NE(a.pGetData(), block);
  EXPECT_EQ(Info(other), "x/1/0");
  AStr self = A("0123456789");  // a sub-text of the value's own block
  EXPECT_EQ(self.nAffecte(self.pGetData() + 3, 4), 0);
  EXPECT_EQ(Text(self), "3456");
  // Nothing to assign releases the value to empty.
  const struct { const char* src; int n; } empties[] = {{"", -1}, {"k", 0}, {nullptr, 5}};
  for (const auto& e : empties) {
    AStr k = A("k");
    EXPECT_EQ(k.nAffecte(e.src, e.n), 0);
    EXPECT_EQ(k.pGetData(), nullptr) << e.n;
  }
  WStr w;
  w.Set(L"wide");
  EXPECT_EQ(Text(w), L"wide");
  w.Set(nullptr);
  EXPECT_EQ(w.pGetData(), nullptr);
  EXPECT_EQ(Info(AStr("abc")) + Info(AStr("")) + Info(AStr(nullptr)), "abc/1/0--");
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
  ExpectTerminated(w);
  w.__FillDynStr(L"XY", 2, 3);
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
  ExpectTerminated(s);
  WStr shared(s);
  EXPECT_EQ(s.nSetLength(3), 0);  // a shared block's copy keeps at most n characters
  shared.SetUtilLength(99);       // beyond the capacity: ignored
  EXPECT_EQ(Info(s) + " " + Info(shared), "hel/1/0 hello/1/0");
}

TEST(XYString, ConcatenationGrowsSharesAndHandlesItsOwnText) {
  AStr a = A("ab"), empty;
  EXPECT_EQ(a.nConcat("cd", 2) + a.nConcat("ef") + a.Add("g") + a.nConcat(nullptr, 3) + a.nConcat("zz", 0), 0);
  EXPECT_EQ(a.nConcat(a.pGetData(), a.nGetLength()), 0);  // its own text, which moves as the block grows
  EXPECT_EQ(Info(a), "abcdefgabcdefg/1/0");
  EXPECT_EQ(empty.nConcat("new", 3), 0);
  EXPECT_EQ(Text(empty), "new");
  WStr w = W(L"xy"), onto, single = W(L"ab");
  EXPECT_EQ(onto.nConcat(w), 0);  // onto an empty value: the block is shared
  EXPECT_EQ(onto.pGetData(), w.pGetData());
  EXPECT_EQ(Info(w), "xy/2/0");
  EXPECT_EQ(onto.nConcat(onto), 0);  // doubles, and the shared block is left alone
  EXPECT_EQ(Info(onto) + " " + Info(w), "xyxy/1/0 xy/1/0");
  EXPECT_EQ(single.nConcat(single) + single.nConcat(WStr()), 0);
  EXPECT_EQ(Info(single), "abab/1/0");
}

TEST(XYString, EndMarkerFlagFollowsTheContent) {
  // Appending ends the marker and keeps the host's bits; the appended string's marker is the
  // result's; a copy on write keeps the whole flags word.
  WStr marked = W(L"ab\xFFFFFFFF");
  SetFlags(marked.pGetData(), 0x101);
  WStr copy(marked), plain = W(L"x"), shared(marked);
  EXPECT_EQ(copy.nConcat(L"z", 1), 0);
  EXPECT_EQ(copy.dwGetFlags(), 0x100u);
  EXPECT_EQ(plain.nConcat(marked), 0);
  EXPECT_EQ(plain.dwGetFlags() & 1, 1u);
  EXPECT_EQ(plain.nConcat(W(L"y")), 0);
  EXPECT_EQ(plain.dwGetFlags() & 1, 0u);
  EXPECT_EQ(shared.nSetLength(10), 0);
  EXPECT_EQ(shared.dwGetFlags(), 0x101u);
  EXPECT_EQ(marked.dwGetFlags(), 0x101u);
  // New content in a reused block is not marked (a new block would not be either).
  AStr narrow = A("ab\xFF");
  SetFlags(narrow.pGetData(), 0x201);
  char* block = narrow.pGetData();
  EXPECT_EQ(narrow.nAffecte("xy\xFF", 3), 0);
  EXPECT_EQ(narrow.pGetData(), block);
  EXPECT_EQ(narrow.dwGetFlags(), 0x200u);
}

TEST(XYString, SearchAndReplaceAll) {
  // Zero units match like any other; an occurrence may end at the last unit.
  const AStr a = A("abcab\0cab"s);
  const struct { std::string s; int start, want; } finds[] = {
      {"ab", 0, 0}, {"ab", 1, 3}, {"\0c"s, 0, 5}, {"ab", 7, 7}, {"abc", 7, -1}, {"", 0, -1}, {"ab", -1, -1}};
  for (const auto& f : finds) EXPECT_EQ(a.nPosBinaire(f.s.data(), static_cast<int>(f.s.size()), f.start), f.want) << f.s;
  EXPECT_EQ(AStr().nPosBinaire("a", 1, 0), -1);
  // Occurrences do not overlap and are taken left to right; removing everything empties the value;
  // without an occurrence the block is untouched.
  const struct { std::string text, from, to; int start; std::string want; } replaces[] = {
      {"abcab\0cab"s, "ab", "X", 1, "abcX\0cX"s}, {"abcab", "zz", "y", 0, "abcab"}, {"aaaa", "aa", "b", 0, "bb"},
      {"bb", "b", "", 0, ""}};
  for (const auto& r : replaces) {
    AStr v = A(r.text);
    char* block = v.pGetData();
    EXPECT_EQ(v.RemplaceBinaire(r.from.data(), static_cast<int>(r.from.size()), r.to.data(),
                                static_cast<int>(r.to.size()), r.start), 0);
    EXPECT_EQ(Info(v), r.want.empty() ? "-" : r.want + "/1/0") << r.text << " " << r.from;
    EXPECT_EQ(v.pGetData() == block, r.text == r.want);
  }
  WStr w = W(L"one two one");  // patterns taken from the value itself
  EXPECT_EQ(w.RemplaceBinaire(w.pGetData(), 3, w.pGetData() + 4, 3, 0), 0);
  WStr shared(w);
  EXPECT_EQ(w.RemplaceBinaire(L"two", 3, L"2", 1, 4), 0);
  EXPECT_EQ(Info(w) + " " + Info(shared), "two 2 2/1/0 two two two/1/0");
}

TEST(XYString, RemplaceEditsInPlace) {
  // n past the end replaces up to the end; a start at or past the length, or before 0, does nothing.
  const struct { const wchar_t* text; int start, n; const wchar_t* src; int len; const wchar_t* want; } rows[] = {
      {L"hello world", 6, 5, L"there", -1, L"hello there"}, {L"hello", 0, 99, L"HE", 2, L"HE"},
      {L"HE", 1, -1, L"ello", 4, L"Hello"},                 {L"Hello", 1, 0, nullptr, 5, L"Hello"},
      {L"Hello", 5, 1, L"x", 1, L"Hello"},                  {L"Hello", -1, 1, L"x", 1, L"Hello"},
      {L"Hello", 1, 3, L"", -1, L"Ho"},                     {L"ab", 1, 0, L"xyz", 2, L"axyb"}};
  for (const auto& r : rows) {
    WStr w = W(r.text);
    w.Remplace(r.start, r.n, r.src, r.len);
    EXPECT_EQ(Text(w), r.want) << r.text << " " << r.start << " " << r.n;
    ExpectTerminated(w);
  }
  WStr own = W(L"abcdef"), none;
  own.Remplace(0, 1, own.pGetData() + 1, 5);  // the replacement is the value's own text
  none.Remplace(0, 0, L"x", 1);
  EXPECT_EQ(Info(own) + Info(none), "bcdefbcdef/1/0-");
}

// Every change through a value that shares its block leaves the other holder's text, length and
// flags as they were.
template <typename V>
void ExpectOtherHolderKept(const char* name, V (*make)(const std::string&), void (*run)(V&)) {
  V other = make("hello");
  SetFlags(other.pGetData(), 0x101);
  V v(other);
  run(v);
  EXPECT_EQ(Info(other), v.pGetData() == other.pGetData() ? "hello/2/101" : "hello/1/101") << name;
}

#define CHANGE(...) {#__VA_ARGS__, [](auto& v) { __VA_ARGS__; }}
TEST(XYString, CopyOnWriteNeverChangesTheOtherHolder) {
  const struct { const char* name; void (*run)(AStr&); } ops[] = {
      CHANGE(v.nAffecte("xy", 2)), CHANGE(v.nConcat("!", 1)), CHANGE(v.nConcat(v)),
      CHANGE(v.nSetLength(3), v.pGetData()[0] = 'X', v.SetUtilLength(3)),
      CHANGE(v.__nPrepareModification(2), v.pGetData()[0] = 'Y'), CHANGE(v.Remplace(1, 2, "ZZZ", 3)),
      CHANGE(v.RemplaceBinaire("l", 1, "L", 1, 0)), CHANGE(v.__FillDynStr("QQ", 2, 0)), CHANGE(v.SetUtilLength(1)),
      CHANGE(v.nAffecteUTF8("\xC3\xA9", 2, 1252, 0, nullptr, nullptr))};
  for (const auto& op : ops) ExpectOtherHolderKept<AStr>(op.name, A, op.run);
  const struct { const char* name; void (*run)(CZVBIN&); } binOps[] = {
      CHANGE(v.nAssign("xy", 2)), CHANGE(v.nConcat("!", 1)), CHANGE(v.nSetSize(2), v.pGetData()[0] = 'X'),
      CHANGE(v.nSetMemorySize(64), v.pGetData()[0] = 'X'), CHANGE(v.SetUtilSize(1)), CHANGE(v.__FillDynBin("QQ", 2, 0)),
      CHANGE(v.Remplace(0, 1, B("JJ"))),
      CHANGE(const CZVBIN sep = B(","), b = B("b"); v.nConcatSeparateur(&sep, &b, 0)), CHANGE(v.Assign(v, 2))};
  for (const auto& op : binOps) ExpectOtherHolderKept<CZVBIN>(op.name, B, op.run);
}

TEST(ZVBIN, AssignmentsAndCuts) {
  EXPECT_EQ(Info(CZVBIN("abc", 0)) + Info(CZVBIN("abc", -2)), "--");
  CZVBIN x = B("hello"), y;
  y.Assign(x, 0);
  EXPECT_EQ(Info(y), "-");
  y.Assign(x, -1);
  EXPECT_EQ(Info(y), "hello/2/0");
  SetFlags(x.pGetData(), 1);
  y.Assign(x, 2);  // a private cut without the end marker: the source keeps its block and flags
  EXPECT_EQ(Info(y) + " " + Info(x), "he/1/0 hello/1/1");
  y.Assign(x, 99);
  EXPECT_EQ(y.pGetData(), x.pGetData());
  y.Assign(static_cast<const CZVBIN*>(nullptr), -1);
  x.Assign(x, 3);  // cutting itself
  EXPECT_EQ(Info(y) + " " + Info(x), "- hel/1/0");

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
  EXPECT_EQ(z.nAssign("q", -1), XYSTR_ERR_SIZE);
  EXPECT_EQ(Text(z), "xy");
  EXPECT_EQ(z.nAssign("q", 0), 0);
  EXPECT_EQ(z.pGetData(), nullptr);

  CZVBIN src = B("data"), taker = B("old");
  taker.Take(src);  // the reference moves: src cannot release it again
  EXPECT_EQ(Info(taker) + " " + Info(src), "data/1/0 -");
}

TEST(ZVBIN, SizesAndMemory) {
  CZVBIN x, m;
  EXPECT_EQ(x.nSetSize(6), 0);
  EXPECT_EQ(x.nGetSize(), 6);
  memcpy(x.pGetData(), "abcdef", 6);
  EXPECT_EQ(x.nSetSize(3), 0);
  EXPECT_EQ(x.nSetSize(-1), XYSTR_ERR_SIZE);
  EXPECT_EQ(Text(x), "abc");
  EXPECT_EQ(m.nSetMemorySize(16), 0);
  EXPECT_EQ(m.nGetSize(), 0);
  EXPECT_GE(m.nGetCapacity(), 16);
  BYTE* block = m.pGetData();
  EXPECT_EQ(m.nSetMemorySize(8), 0);
  EXPECT_EQ(m.pGetData(), block);
  EXPECT_EQ(m.nSetMemorySize(-1), XYSTR_ERR_SIZE);
  EXPECT_EQ(m.nSetMemorySize(0x7FFFFF00), XYSTR_ERR_SIZE);
  m.__FillDynBin("xyz", 3, 0);
  m.SetUtilSize(2);
  m.SetUtilSize(1000);  // beyond the capacity: ignored
  EXPECT_EQ(Text(m), "xy");
  CZVBIN other(x);  // a shared block grown for room is copied, not moved under its other holder
  EXPECT_EQ(x.nSetMemorySize(4096), 0);
  EXPECT_EQ(Info(x) + " " + Info(other), "abc/1/0 abc/1/0");
}

TEST(ZVBIN, ConcatenationForms) {
  CZVBIN x;
  EXPECT_EQ(x.nConcat("ab", 2) + x.nConcat("cd", 2), 0);
  EXPECT_EQ(x.nConcat(x.pGetData(), x.nGetSize()), 0);
  EXPECT_EQ(x.nConcat("z", -1), XYSTR_ERR_SIZE);
  CZVBIN shared(x);
  SetFlags(x.pGetData(), 0x100);
  EXPECT_EQ(x.nConcat("!", 1), 0);  // a shared block's replacement keeps the flags word
  EXPECT_EQ(Info(x) + " " + Info(shared), "abcdabcd!/1/100 abcdabcd/1/100");
  // Mode 0: a new block whose end marker is b's, or an empty side's partner shared.
  CZVBIN a = B("ab"), b = B("cd"), r, emptyA;
  SetFlags(b.pGetData(), 1);
  EXPECT_EQ(r.nConcatInit(a, b, 0), 0);
  EXPECT_EQ(Info(r), "abcd/1/1");
  EXPECT_EQ(r.nConcatInit(emptyA, b, 0), 0);
  EXPECT_EQ(r.pGetData(), b.pGetData());
  EXPECT_EQ(r.nConcatInit(a, CZVBIN(), 0), 0);
  EXPECT_EQ(r.pGetData(), a.pGetData());
  // Mode 1: a's block moves over when nothing else holds it.
  CZVBIN r1, r2, r3, sole = B("xy"), held = B("xy"), keep(held), twice = B("ab"), self = B("q");
  EXPECT_EQ(r1.nConcatInit(sole, b, 1), 0);
  EXPECT_EQ(Info(r1) + " " + Info(sole), "xycd/1/0 -");
  EXPECT_EQ(r2.nConcatInit(held, b, 1), 0);
  EXPECT_EQ(Info(r2) + " " + Info(held), "xycd/1/0 xy/2/0");
  // a and b the same value, and this value one of them.
  EXPECT_EQ(r3.nConcatInit(twice, twice, 1), 0);
  EXPECT_EQ(self.nConcatInit(self, self, 0), 0);
  EXPECT_EQ(Text(r3) + Text(self), "ababqq");
}
TEST(ZVBIN, ConcatWithSeparatorNeverDoublesIt) {
  // null b, sep: no value given; "-" for this value: empty.
  const struct { const char* text; const char* sep; const char* b; int noLeadingSep; const char* want; } rows[] = {
      {"a", ",", "b", 0, "a,b"},  {"a,", ",", "b", 0, "a,b"}, {"a", ",", ",b", 0, "a,b"}, {"-", ",", "b", 1, "b"},
      {"-", ",", "b", 0, ",b"},   {"a", ",", "-", 0, "a"},    {"a", ",", nullptr, 0, "a,"}, {"a,", nullptr, "b", 0, "a,b"},
      {"a", nullptr, "b", 0, "ab"}};
  for (const auto& r : rows) {
    const auto value = [](const char* s) { return s[0] == '-' ? CZVBIN() : B(s); };
    CZVBIN x = value(r.text);
    const CZVBIN sep = r.sep ? value(r.sep) : CZVBIN(), b = r.b ? value(r.b) : CZVBIN();
    EXPECT_EQ(x.nConcatSeparateur(r.sep ? &sep : nullptr, r.b ? &b : nullptr, r.noLeadingSep), 0);
    EXPECT_EQ(Text(x), r.want) << r.text << " " << (r.sep ? r.sep : "null") << " " << (r.b ? r.b : "null");
  }
  CZVBIN self = B("xy");
  const CZVBIN sep = B(",");
  EXPECT_EQ(self.nConcatSeparateur(&sep, &self, 0), 0);
  EXPECT_EQ(Text(self), "xy,xy");
}

TEST(ZVBIN, ExtractionEditingAndRepetition) {
  // A start outside the value, or n 0, gives the empty value; n -1 or past the end: to the end.
  const CZVBIN x = B("hello");
  const struct { int start, n; const char* want; } parts[] = {
      {1, 3, "ell"}, {3, -1, "lo"}, {3, 99, "lo"}, {5, 1, ""}, {-1, 2, ""}, {0, 0, ""}};
  for (const auto& p : parts) {
    CZVBIN part = B("keep");
    EXPECT_EQ(x.nMilieu(&part, p.start, p.n), 0);
    EXPECT_EQ(Text(part), p.want) << p.start << " " << p.n;
    EXPECT_EQ(Text(x.clMilieu(p.start, p.n)), p.want);
  }
  CZVBIN self = B("abcdef");
  EXPECT_EQ(self.nMilieu(&self, 2, 2), 0);
  EXPECT_EQ(Text(self), "cd");

  const struct { const char* text; int start, n; const char* by; const char* want; } edits[] = {
      {"hello", 1, 3, "ipp", "hippo"}, {"hippo", 4, -1, "ie!", "hippie!"}, {"hippie!", 0, 99, "", ""},
      {"ab", 2, 1, "x", "ab"}};
  for (const auto& e : edits) {
    CZVBIN r = B(e.text);
    r.Remplace(e.start, e.n, B(e.by));
    EXPECT_EQ(Text(r), e.want) << e.text;
  }
  CZVBIN own = B("ab"), rep;
  own.Remplace(1, 1, own);
  EXPECT_EQ(Text(own), "aab");
  EXPECT_EQ(rep.nRepete(B("ab"), 3), 0);
  EXPECT_EQ(rep.nRepete(rep, 2), 0);
  EXPECT_EQ(Text(rep), "abababababab");
  EXPECT_EQ(rep.nRepete(B("ab"), 0), 0);
  EXPECT_EQ(rep.pGetData(), nullptr);
  EXPECT_EQ(rep.nRepete(B("ab"), 0x40000000), XYSTR_ERR_SIZE);
  EXPECT_EQ(rep.nRepete(B("ab"), -1), XYSTR_ERR_SIZE);
}

TEST(ZVBIN, SearchesAndComparisons) {
  const CZVBIN x = B("ab\0cab"s);
  const struct { std::string s; int start, want; } finds[] = {
      {"ab", 0, 0}, {"ab", 1, 4}, {"\0c"s, 0, 2}, {"ab", 5, -1}, {"ab", -1, -1}, {"", 0, -1}};
  for (const auto& f : finds) EXPECT_EQ(x.nPos(f.s.data(), static_cast<int>(f.s.size()), f.start), f.want) << f.s;
  EXPECT_EQ(CZVBIN().nPos("a", 1, 0), -1);
  // A null pointer counts as the empty value; an empty b is always found.
  const CZVBIN ab = B("ab"), abc = B("abc"), cab = B("cab"), high = B("\x80"), empty;
  const struct { BOOL (*f)(const CZVBIN*, const CZVBIN*); const CZVBIN *a, *b; bool want; } tests[] = {
      {CZVBIN::bCommencePar, &x, &ab, true},  {CZVBIN::bCommencePar, &ab, &x, false},
      {CZVBIN::bTerminePar, &x, &cab, true},  {CZVBIN::bContient, &x, &cab, true},
      {CZVBIN::bContient, &ab, &cab, false},  {CZVBIN::bCommencePar, &ab, &empty, true},
      {CZVBIN::bTerminePar, &empty, nullptr, true}, {CZVBIN::bContient, nullptr, &empty, true}};
  for (const auto& t : tests) EXPECT_EQ(t.f(t.a, t.b) != FALSE, t.want) << &t - tests;
  // Bytes compare unsigned; n past the shorter length compares as a whole.
  constexpr int kWhole = INT_MIN;  // the two-argument form
  const struct { const CZVBIN *a, *b; int n, want; } compares[] = {
      {&ab, &abc, kWhole, -1}, {&abc, &ab, kWhole, 1}, {&empty, nullptr, kWhole, 0}, {&high, &ab, kWhole, 1},
      {&ab, &abc, 2, 0},       {&ab, &abc, 3, -1},     {&ab, &abc, -1, -1}};
  for (const auto& c : compares) {
    EXPECT_EQ(c.n == kWhole ? CZVBIN::nCompare(c.a, c.b) : CZVBIN::nCompare(c.a, c.b, c.n), c.want) << &c - compares;
  }
}

TEST(STManipAUB, ViewsOfTheThreeTypes) {
  // Without a block a text reads as an empty text of the size given; another type gives the
  // static empty word with size 0.
  const AStr a = A("abc");
  const WStr w = W(L"xy");
  const CZVBIN b = B("bytes");
  const struct { void* data; int type, contenu, utile, longueur; } rows[] = {
      {a.pGetData(), STManipAUB::TYPE_DSTRA, 4, 3, 3}, {w.pGetData(), STManipAUB::TYPE_DSTRW, 12, 8, 2},
      {b.pGetData(), STManipAUB::TYPE_BIN, 5, 5, 5},   {nullptr, STManipAUB::TYPE_DSTRA, 1, 0, 0},
      {nullptr, STManipAUB::TYPE_DSTRW, 4, 0, 0},      {a.pGetData(), 8, 0, 0, 0}};
  for (const auto& r : rows) {
    const STManipAUB v{r.data, r.type, 0};
    int size = -1, utile = -1;
    const BYTE* p = v.pbyGetContenu(size);
    v.pbyGetContenuUtile(utile);
    const void* want = r.type == 8 ? &CBaseStrMem::ChaineVide : r.data;
    EXPECT_TRUE(want != nullptr ? p == want : memcmp(p, "\0\0\0\0", static_cast<size_t>(r.contenu)) == 0) << r.type;
    EXPECT_EQ(std::vector<int>({size, utile, v.nGetTailleUtile(), v.nGetLongueur()}),
              std::vector<int>({r.contenu, r.utile, r.utile, r.longueur})) << r.type << (r.data ? "" : " null");
  }
  EXPECT_STREQ(STManipAUB({w.pGetData(), STManipAUB::TYPE_DSTRW, 0}).pszGetStringW(), L"xy");
  EXPECT_STREQ(STManipAUB({nullptr, STManipAUB::TYPE_DSTRA, 0}).pszGetStringA(), "");
}

struct Values { AStr a, b; WStr w; CZVBIN x, y, z; };

std::vector<FailureCase<Values>> StringCases() {
  const auto empty = [](Values&) {};
  const auto sole = [](Values& s) { s.a = A("hello"); };
  const auto shared = [](Values& s) { s.a = A("hello"), s.b = s.a; };
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
      FAILURE_CASE(empty, stillEmpty, s.a.__nNew(8, "abc", 3)),
      FAILURE_CASE(empty, stillEmpty, s.a = AStr("abc"), kNoResult),
      FAILURE_CASE(empty, stillEmpty, s.a.nAffecte("abc", 3)),
      FAILURE_CASE(sole, unchanged, s.a.nAffecte("a longer text", -1)),
      FAILURE_CASE(shared, emptiedShared, s.a.nAffecte("xy", 2)),
      FAILURE_CASE(SET(s.w = W(L"hi")), SET(EXPECT_EQ(Text(s.w), L"hi")), s.w.Set(L"a longer text"), kNoResult),
      FAILURE_CASE(sole, unchanged, s.a.nConcat(" world", 6)),
      FAILURE_CASE(sole, unchanged, s.a.nConcat(s.a.pGetData(), 5)),
      FAILURE_CASE(shared, emptiedShared, s.a.nConcat("!", 1)), FAILURE_CASE(empty, stillEmpty, s.a.nConcat("ab")),
      FAILURE_CASE(sole, unchanged, s.a.nConcat(s.a)), FAILURE_CASE(shared, emptiedShared, s.a.nConcat(s.b)),
      FAILURE_CASE(sole, unchanged, s.a.__nPrepareModification(100)),
      FAILURE_CASE(shared, emptiedShared, s.a.__nPrepareModification(5)),
      FAILURE_CASE(empty, SET(EXPECT_EQ(s.w.pGetData(), nullptr)), s.w.nSetLength(10)),
      FAILURE_CASE(sole, unchanged, s.a.Remplace(1, 1, "EEEEEEEE", -1), kNoResult),
      FAILURE_CASE(shared, emptiedShared, s.a.Remplace(1, 1, "E", 1), kNoResult),
      FAILURE_CASE(sole, unchanged, s.a.RemplaceBinaire("l", 1, "LL", 2, 0))};
}

std::vector<FailureCase<Values>> BinaryCases() {
  const auto empty = [](Values&) {};
  const auto sole = [](Values& s) { s.x = B("hello"); };
  const auto shared = [](Values& s) { s.x = B("hello"), s.y = s.x; };
  const auto twoSources = [](Values& s) { s.y = B("ab"), s.z = B("cd"); };
  const auto stillEmpty = [](Values& s) { EXPECT_EQ(s.x.pGetData(), nullptr); };
  const auto unchanged = [](Values& s) { EXPECT_EQ(Text(s.x), "hello"); };
  const auto emptiedShared = [](Values& s) {
    EXPECT_EQ(s.x.pGetData(), nullptr);
    EXPECT_EQ(Text(s.y), "hello");
  };
  const auto sourcesKept = [](Values& s) {
    EXPECT_EQ(s.x.pGetData(), nullptr);
    EXPECT_EQ(Text(s.y) + Text(s.z), "abcd");
  };
  return {
      FAILURE_CASE(empty, stillEmpty, s.x = CZVBIN("abc", 3), kNoResult),
      FAILURE_CASE(empty, stillEmpty, s.x._nNew(4, "abc", 3)),
      FAILURE_CASE(empty, stillEmpty, s.x.nAssignInit("abc", 3)),
      FAILURE_CASE(sole, unchanged, s.x.nAssign("a longer text", 13)),
      FAILURE_CASE(shared, emptiedShared, s.x.nAssign("xy", 2)),
      FAILURE_CASE(SET(s.y = B("hello")), SET(EXPECT_EQ(Text(s.x) + "|" + Text(s.y), "|hello")), s.x.Assign(s.y, 2),
       kNoResult),
      FAILURE_CASE(empty, stillEmpty, s.x.nSetSize(10)), FAILURE_CASE(sole, unchanged, s.x.nSetSize(20)),
      FAILURE_CASE(sole, unchanged, s.x.nSetMemorySize(100)),
      FAILURE_CASE(shared, emptiedShared, s.x.nSetMemorySize(100)),
      FAILURE_CASE(shared, emptiedShared, s.x.SetUtilSize(2), kNoResult),
      FAILURE_CASE(shared, emptiedShared, s.x.__nPrepareModification(3)),
      FAILURE_CASE(sole, unchanged, s.x.nConcat("!!", 2)), FAILURE_CASE(shared, emptiedShared, s.x.nConcat("!!", 2)),
      FAILURE_CASE(twoSources, sourcesKept, s.x.nConcatInit(s.y, s.z, 0)),
      FAILURE_CASE(twoSources, sourcesKept, s.x.nConcatInit(s.y, s.z, 1)),
      // a's block has another holder while the operation runs
      {"nConcatInit mode 1 shared", SET(s.y = B("ab"), s.z = B("cd"), s.x = B("old")),
       [](Values& s) { const CZVBIN pin(s.y); return s.x.nConcatInit(s.y, s.z, 1); }, sourcesKept},
      FAILURE_CASE(SET(s.x = B("hello"), s.y = B(","), s.z = B("b")), unchanged, s.x.nConcatSeparateur(&s.y, &s.z, 0)),
      FAILURE_CASE(sole, SET(EXPECT_EQ(Text(s.x) + "|" + Text(s.y), "hello|")), s.x.nMilieu(&s.y, 1, 3)),
      FAILURE_CASE(sole, SET(EXPECT_EQ(s.y.pGetData(), nullptr)), s.y = s.x.clMilieu(1, 3), kNoResult),
      FAILURE_CASE(SET(s.x = B("hello"), s.y = B("EEEEEE")), unchanged, s.x.Remplace(1, 1, s.y), kNoResult),
      FAILURE_CASE(SET(s.y = B("ab")), SET(EXPECT_EQ(Text(s.x) + "|" + Text(s.y), "|ab")), s.x.nRepete(s.y, 3))};
}

constexpr wchar_t kMarker = static_cast<wchar_t>(0xFFFFFFFFu);
const std::wstring kLatin = L"A\u00E9\u20AC\u00FF\u0152z";  // A é € ÿ Œ z
const std::string kLatin1252 = "A\xE9\x80\xFF\x8Cz";
const std::wstring kLatinBytes = L"A\xE9\x80\xFF\x8Cz";       // kLatin1252 byte for character
const std::wstring kAstral = L"a\u00E9\U0001F600\u4E2D";       // a é 😀 中
const std::string kAstralUTF8 = "a\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD";
const std::wstring kAstralBytes = L"a\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD";
const unsigned short kUnits[] = {'a', 0xE9, 0xD83D, 0xDE00, 0x4E2D};  // kAstral in UTF-16

// A value ending with the marker, flagged as the host would hand it over.
template <typename V>
V Marked(V v) {
  SetFlags(v.pGetData(), 1);
  return v;
}
WStr MarkedWide(const std::wstring& text) { return Marked(W(text + kMarker)); }
CZVBIN MarkedBin() { return Marked(CZVBIN(MarkedWide(L"AB").pGetData(), 12)); }

// (result code, content with one character per unit or byte, flags); "<none>" for no block.
using Result = std::tuple<int, std::wstring, uint32_t>;
template <typename V>
Result R(int code, const V& v) {
  if (v.pGetData() == nullptr) return {code, L"<none>", 0};
  std::wstring text;
  if constexpr (std::is_same_v<V, WStr>) {
    text = Text(v);
    EXPECT_EQ(v.pGetData()[v.nGetLength()], 0) << "terminator";
  } else {
    for (unsigned char c : Text(v)) text += static_cast<wchar_t>(c);
  }
  return {code, text, v.dwGetFlags()};
}
Result RW(int code, const CZVBIN& b) {  // a binary holding wide text
  std::wstring text(reinterpret_cast<const wchar_t*>(b.pGetData()), static_cast<size_t>(b.nGetSize() / 4));
  return {code, b.pGetData() ? text : L"<none>", b.dwGetFlags()};
}

// One target of each kind, "old" or empty, run through one operation.
Result Narrow(std::function<int(AStr&)> op, AStr a = AStr()) { return R(op(a), a); }
Result Wide(std::function<int(WStr&)> op, WStr w = WStr()) { return R(op(w), w); }
Result Bin(std::function<int(CZVBIN&)> op, Result (*read)(int, const CZVBIN&) = R<CZVBIN>, CZVBIN x = CZVBIN()) {
  return read(op(x), x);
}

Result Explicit(const WStr& w, int cp) {
  AStr a;
  return R(a.nAffecteConversionExplicite(w, cp, 0, nullptr), a);
}

TEST(XYStringConversion, MemberConversions) {
  int used[3] = {-1, -1, -1};  // whether the default text was used
  const std::pair<Result, Result> rows[] = {
      {Narrow([](AStr& a) { return a.__nConversion(kLatin.c_str(), -1, 0, 1252, 0, nullptr); }), {0, kLatinBytes, 0}},
      // Code page 1252 without flags by the table, which keeps an undefined byte; any flag: the
      // converter, which drops it. Nothing converted is still 0 for __nConversion.
      {Wide([](WStr& w) { return w.__nConversion("\x80\x81", 2, 0, 1252, 0, nullptr); }), {0, L"\u20AC\u0081", 0}},
      {Wide([](WStr& w) { return w.__nConversion(kLatin1252.c_str(), -1, 0, 1252, 1, nullptr); }), {0, kLatin, 0}},
      {Wide([](WStr& w) { return w.__nConversion("\x81", 1, 0, 1252, 1, nullptr); }, W(L"old")), {0, L"<none>", 0}},
      {Wide([](WStr& w) { return w.__nConversion("\xFF", 1, 0, 65001, 0, nullptr); }, W(L"old")), {0, L"<none>", 0}},
      {Narrow([](AStr& a) { return a.nAffecteToUTF8(kAstral.c_str(), 4, 0); }), {0, kAstralBytes, 0}},
      {Narrow([&](AStr& a) { return a.nAffecteUTF8("t\xC3\xA9t\xC3\xA9", 6, 1252, 0, nullptr, &used[0]); }),
       {0, L"t\xE9t\xE9", 0}},
      {Narrow([](AStr& a) { return a.nAffecteToUTF8("t\xE9t\xE9", 4, 1252); }), {0, L"t\xC3\xA9t\xC3\xA9", 0}},
      {Narrow([](AStr& a) { return a.nAffecteUTF8("\xFF\xFE", 2, 65001, 0, nullptr, nullptr); }), {0, L"\xFF\xFE", 0}},
      {Narrow([](AStr& a) { return a.nAffecteUTF8("\xFF\xFE", 2, 1252, 0, nullptr, nullptr); }, A("old")),
       {XYSTR_ERR_CONVERSION, L"<none>", 0}},
      {Narrow([](AStr& a) { return a.nAffecteToUTF8("\x82", 1, 932); }, A("old")),
       {XYSTR_ERR_CONVERSION, L"<none>", 0}},
      {Wide([](WStr& w) { return w.nAffecteUTF16(kUnits, 5); }), {0, kAstral, 0}},  // a pair is one character
      {Narrow([](AStr& a) { return a.nAffecteUTF16(kUnits, 5, 1252, 0, nullptr); }), {0, L"a\xE9??", 0}},
      {Wide([](WStr& w) { return w.nAffecteUTF16(nullptr, 3) + w.nAffecteUTF32(L"x", 0); }, W(L"old")),
       {0, L"<none>", 0}},
      // The wide string has no UTF-8 forms: they do nothing.
      {Wide([](WStr& w) { return w.nAffecteToUTF8(L"x", 1, 0) + w.nAffecteToUTF8("x", 1, 1252); }, W(L"kept")),
       {0, L"kept", 0}},
      {Bin([](CZVBIN& x) { return x.nAffecteToUNICODE(kLatin1252.c_str(), -1, 1252, 0); }, RW), {0, kLatin, 0}},
      {Bin([](CZVBIN& x) { return x.nAffecteToUNICODE("\xFF", 1, 65001, 0); }, RW, CZVBIN("old", 3)),
       {XYSTR_ERR_CONVERSION, L"<none>", 0}},
      {Bin([](CZVBIN& x) { return x.nAffecteToANSI(kLatin.c_str(), 6, 1252, 0, nullptr, nullptr); }),
       {0, kLatinBytes, 0}},
      // Default texts longer than one byte are counted in the size.
      {Narrow([](AStr& a) { return a.__nConversion(L"a\u4E2Db", -1, 0, 1252, 0, "[?]"); }), {0, L"a[?]b", 0}},
      {Narrow([](AStr& a) { return a.nAffecteUTF32(L"\u4E2D\u4E2D", 2, 1252, 0, "<none>"); }), {0, L"<none><none>", 0}},
      {Narrow([](AStr& a) { return a.nAffecteUTF16(kUnits + 4, 1, 1252, 0, "[?]"); }), {0, L"[?]", 0}},
      {Bin([&](CZVBIN& x) { return x.nAffecteToANSI(L"\u4E2D", 1, 1252, 0, "[?]", &used[1]); }), {0, L"[?]", 0}},
      {Narrow([&](AStr& a) { return a.nAffecteUTF8("\xC4\x80" "abc", 5, 1252, 0, "[?]", &used[2]); }),
       {0, L"[?]abc", 0}},
      // The source may be the target's own text.
      {Narrow([](AStr& a) { return a.nAffecteUTF8(a.pGetData(), 6, 1252, 0, nullptr, nullptr); },
              A("t\xC3\xA9t\xC3\xA9")),
       {0, L"t\xE9t\xE9", 0}},
      {Narrow([](AStr& a) { return a.nAffecteToUTF8(a.pGetData(), 2, 1252); }, A("t\xE9")), {0, L"t\xC3\xA9", 0}},
      {Wide([](WStr& w) { return w.nAffecteUTF32(w.pGetData(), 4); }, W(L"self")), {0, L"self", 0}},
      {Bin([](CZVBIN& x) { return x.nAffecteToUNICODE(reinterpret_cast<const char*>(x.pGetData()), 3, 1252, 0); }, RW,
           CZVBIN("abc", 3)),
       {0, L"abc", 0}},
      // End marker: carried as a marker to a code page, converted as a character to UTF-8.
      {Explicit(MarkedWide(L"AB"), 1252), {0, L"AB\xFF", 1}}, {Explicit(MarkedWide(L"AB"), 65001), {0, L"AB?", 0}},
      {Explicit(MarkedWide(L""), 1252), {0, L"\xFF", 1}},
      {Explicit(W(std::wstring(L"AB") + kMarker), 1252), {0, L"AB?", 0}},  // not flagged
      {Bin([](CZVBIN& x) { return x.nAffecteToANSI(&x, 1252, 0, nullptr, nullptr); }, R<CZVBIN>, MarkedBin()),
       {0, L"AB\xFF", 1}}};
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
  EXPECT_EQ(std::vector<int>(used, used + 3), std::vector<int>({0, 1, 1}));

  WStr roomy;  // room asked beyond the text
  EXPECT_EQ(roomy.__nConversion("ab", 2, 10, 1252, 0, nullptr), 0);
  EXPECT_GE(roomy.nGetCapacity(), 13);
  AStr stateful;  // UTF-8 whose code-page form is longer than itself
  EXPECT_EQ(stateful.nAffecteUTF8("\xE6\x97\xA5", 3, 50220, 0, nullptr, nullptr), 0);
  EXPECT_GT(stateful.nGetLength(), 3);
  EXPECT_EQ(Text(PCASTR_To_CWString(stateful.pszGet(), 50220, stateful.nGetLength())), L"\u65E5");
}

TEST(XYStringConversion, FreeFunctions) {
  const AStr marked = Marked(A("AB\xFF"));
  const std::pair<AStr, std::string> narrow[] = {
      {PCWSTR_To_UTF8(kAstral.c_str()), kAstralUTF8}, {PCWSTR_N_To_UTF8(kAstral.c_str(), 2), "a\xC3\xA9"},
      {CWString_To_UTF8(MarkedWide(L"AB")), "AB?"}, {UTF8_To_CAString("\xC3\xA9\xE2\x82\xAC", 1252), "\xE9\x80"},
      {UTF8_To_CAString("\xC3\xA9xyz", 3, 1252), "\xE9x"}, {UTF8_To_CAString("abc", 2, 65001), "ab"},
      {PCASTR_To_UTF8("\xE9\x80", 1252), "\xC3\xA9\xE2\x82\xAC"}, {PCASTR_N_To_UTF8("\xE9\x80", 1, 1252), "\xC3\xA9"},
      {PCASTR_To_UTF8("\xC3\xA9", 65001), "\xC3\xA9"}, {CAString_To_UTF8(A("\xE9t\xE9"), 1252), "\xC3\xA9t\xC3\xA9"},
      {CAString_To_UTF8(marked, 1252), "AB?"}, {CAString_To_UTF8(A("AB\xFF"), 1252), "AB\xC3\xBF"}};
  for (const auto& [got, want] : narrow) EXPECT_EQ(Text(got), want);
  EXPECT_EQ(Text(PCASTR_To_CWString(kLatin1252.c_str(), 1252, -1)), kLatin);
  EXPECT_EQ(Text(UTF8_To_CWString(kAstralUTF8.c_str())), kAstral);
  EXPECT_EQ(Text(UTF8_To_CWString(kAstralUTF8.c_str(), 3)), L"a\u00E9");
  EXPECT_EQ(PCWSTR_To_UTF8(nullptr).pGetData(), nullptr);
  EXPECT_EQ(UTF8_To_CWString("").pGetData(), nullptr);
  const AStr already = A("d\xC3\xA9j\xC3\xA0");
  EXPECT_EQ(CAString_To_UTF8(already, 65001).pGetData(), already.pGetData()) << "UTF-8 to UTF-8 shares the block";
  // A reused block holding new text is no longer marked: its last 0xFF is a character again.
  AStr reused = marked;
  EXPECT_EQ(reused.nAffecte("xy\xFF", 3), 0);
  EXPECT_EQ(Text(CAString_To_UTF8(reused, 1252)), "xy\xC3\xBF");
  // Code page -1 is the host's current one.
  CHostServices::Instance().SetCurrentLocale(1049, 1251, 204);
  const AStr cyrillic = PCWSTR_To_CAString(L"\u0416a", -1, 2);
  const WStr back = PCASTR_To_CWString("\xC6", -1, 1);
  CHostServices::Instance().SetCurrentLocale(1036, 1252, 0);
  EXPECT_EQ(Text(cyrillic), "\xC6" "a");
  EXPECT_EQ(Text(back), L"\u0416");
}

TEST(XYStringConversion, HeapCopiesCarryTheMarker) {
  const std::pair<WStr, const char*> narrow[] = {
      {MarkedWide(L"AB"), "AB\xFF"}, {MarkedWide(L""), "\xFF"}, {W(L"\u00E9"), "\xE9"}, {WStr(), nullptr}};
  for (const auto& [value, want] : narrow) {
    char* out = nullptr;
    EXPECT_TRUE(value.bCreateY(out, 1252));
    EXPECT_EQ(out ? std::string(out) : "<null>", want ? want : "<null>");
    free(out);
  }
  const AStr marked = Marked(A("AB\xFF"));
  // The marker byte never reaches the converter: in code page 932 it is no character at all.
  const std::tuple<AStr, int, const wchar_t*> wide[] = {{marked, 1252, L"AB\xFFFFFFFF"}, {marked, 932, L"AB\xFFFFFFFF"},
                                                        {A("\xE9"), 1252, L"\u00E9"},     {AStr(), 1252, nullptr}};
  for (const auto& [value, cp, want] : wide) {
    wchar_t* out = nullptr;
    EXPECT_TRUE(value.bCreateY(out, cp));
    EXPECT_EQ(out ? std::wstring(out) : L"<null>", want ? want : L"<null>");
    free(out);
  }
}

struct Targets {
  AStr a = A("old"), result;
  WStr w = W(L"old"), wideResult;
  CZVBIN x = CZVBIN("old", 3), y;
};
template <auto M>
void Emptied(Targets& s) { EXPECT_EQ((s.*M).pGetData(), nullptr); }

std::vector<FailureCase<Targets>> ConversionCases() {
  const auto none = [](Targets&) {};
  const auto a = Emptied<&Targets::a>, w = Emptied<&Targets::w>, x = Emptied<&Targets::x>;
  const auto result = Emptied<&Targets::result>;
  static const unsigned short units[] = {'a', 0xD83D, 0xDE00};
  return {
      FAILURE_CASE(none, a, s.a.__nConversion(L"a\u00E9", -1, 0, 1252, 0, nullptr)),
      FAILURE_CASE(none, w, s.w.__nConversion("a\xE9", -1, 0, 1252, 0, nullptr)),
      FAILURE_CASE(none, w, s.w.__nConversion("a\xC3\xA9", 3, 0, 65001, 0, nullptr)),
      FAILURE_CASE(SET(s.w = MarkedWide(L"AB")),
                   SET(EXPECT_EQ(s.a.pGetData(), nullptr); EXPECT_EQ(Text(s.w), L"AB" + std::wstring(1, kMarker))),
                   s.a.nAffecteConversionExplicite(s.w, 1252, 0, nullptr)),
      FAILURE_CASE(none, a, s.a.nAffecteToUTF8("\xE9", 1, 1252)),
      FAILURE_CASE(none, a, s.a.nAffecteUTF8("\xC3\xA9", 2, 1252, 0, nullptr, nullptr)),
      FAILURE_CASE(none, a, s.a.nAffecteUTF8("\xE6\x97\xA5", 3, 50220, 0, nullptr, nullptr)),
      FAILURE_CASE(none, a, s.a.nAffecteUTF16(units, 3, 65001, 0, nullptr)),
      FAILURE_CASE(none, a, s.a.nAffecteUTF32(L"xy", 2, 1252, 0, nullptr)),
      FAILURE_CASE(none, w, s.w.nAffecteUTF16(units, 3)), FAILURE_CASE(none, w, s.w.nAffecteUTF32(L"xy", 2)),
      FAILURE_CASE(none, x, s.x.nAffecteToUNICODE("\xE9", -1, 1252, 0)),
      FAILURE_CASE(none, x, s.x.nAffecteToANSI(L"\u00E9", 1, 1252, 0, nullptr, nullptr)),
      FAILURE_CASE(SET(s.y = MarkedBin(), s.x = s.y),
                   SET(EXPECT_EQ(s.x.pGetData(), nullptr); EXPECT_EQ(s.y.nGetSize(), 12)),
                   s.x.nAffecteToANSI(&s.x, 1252, 0, nullptr, nullptr)),
      FAILURE_CASE(none, result, s.result = PCWSTR_To_CAString(L"x", 1252, 1), kNoResult),
      FAILURE_CASE(none, Emptied<&Targets::wideResult>, s.wideResult = PCASTR_To_CWString("x", 1252, 1), kNoResult),
      FAILURE_CASE(none, result, s.result = UTF8_To_CAString("\xC3\xA9", 2, 1252), kNoResult),
      FAILURE_CASE(none, result, s.result = PCASTR_N_To_UTF8("\xE9", 1, 1252), kNoResult),
      FAILURE_CASE(SET(s.a = Marked(A("AB\xFF"))), result, s.result = CAString_To_UTF8(s.a, 1252), kNoResult)};
}

class HostStringFailures : public testing::TestWithParam<int> {};

TEST_P(HostStringFailures, StringsFailCleanlyAtEveryAllocation) { ExpectCleanFailures(StringCases(), GetParam()); }
TEST_P(HostStringFailures, BinariesFailCleanlyAtEveryAllocation) { ExpectCleanFailures(BinaryCases(), GetParam()); }
TEST_P(HostStringFailures, ConversionsFailCleanlyAtEveryAllocation) {
  ExpectCleanFailures(ConversionCases(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(AllocatorVersions, HostStringFailures, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                           return info.param < 2 ? std::string("OldSlots") : std::string("NewSlots");
                         });

TEST(XYStringThreads, OneBlockCopiedAndReleasedFromManyThreads) {
  const long live = StandIn().nLiveBlocks();
  const WStr source = W(L"shared between threads");
  std::atomic<int> changedThroughCopy{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&source, &changedThroughCopy, t] {
      for (int i = 0; i < 5000; ++i) {
        WStr copy(source), second;
        second = copy;
        // Now and then a private copy: the shared text stays.
        if ((i + t) % 64 == 0 && (copy.nConcat(L"!", 1), copy.pGetData() == source.pGetData())) changedThroughCopy++;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(changedThroughCopy.load(), 0);
  EXPECT_EQ(Info(source), "shared between threads/1/0");
  // The last of many concurrent releases frees the block exactly once (the stand-in aborts on a
  // second free).
  for (int round = 0; round < 50; ++round) {
    std::vector<WStr> copies(8, W(L"released together"));
    std::atomic<int> ready{0};
    std::vector<std::thread> releasers;
    for (WStr& c : copies) {
      releasers.emplace_back([&c, &ready] {
        for (ready++; ready.load() < 8;) std::this_thread::yield();
        c.ReleaseDynStr();
      });
    }
    for (std::thread& th : releasers) th.join();
  }
  EXPECT_EQ(StandIn().nLiveBlocks(), live + 1);  // the source only
}

}  // namespace

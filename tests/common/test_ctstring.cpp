// CTString (arguments inside its own text, formatting past the estimate), CTStringArray (owned
// strings, search, sort, split, join) and CStringParameter (items found only where one starts,
// writes that would break the items refused, random sequences against a list of items).
#include "common/ctstring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/stringparameter.h"
#include "common/tstringarray.h"
#include "common/xystring.h"
#include "tests/support/exact_alloc.h"

namespace {

std::wstring Str(const CTString& s) { return std::wstring(s.pszGet()); }
// Table rows: an edit of s, a query of s, a part of s, a piece of s extracted into o.
#define EDIT(...) [](CTString& s) { __VA_ARGS__; }
#define ASK(...) [](const CTString& s) -> long long { return __VA_ARGS__; }
#define PART(...) [](const CTString& s) { return __VA_ARGS__; }
#define PIECE(...) [](const CTString& s, CTString* o) { return __VA_ARGS__; }

TEST(CTString, EmptyConstructionAndBuffers) {
  CTString empty;
  ASSERT_NE(empty.pszGet(), nullptr);
  EXPECT_STREQ(empty.pszGet(), L"");
  EXPECT_EQ(empty.nTaille(), 0);
  EXPECT_EQ(empty.cGetChar(5), 0);
  const struct { CTString s; const wchar_t* want; } made[] = {
      {CTString(L"abc"), L"abc"}, {CTString(L"abcdef", 3), L"abc"}, {CTString(L"ab", 10), L"ab"},
      {CTString(L"a", nullptr, L"c"), L"ac"}, {CTString("caf\xe9"), L"caf\u00E9"}, {CTString(L"x") + L"!", L"x!"}};
  for (const auto& m : made) EXPECT_EQ(Str(m.s), m.want);
  CTString a(L"text");
  CTString copy(a);
  CTString moved(std::move(copy));
  EXPECT_EQ(copy.nTaille(), 0);
  EXPECT_TRUE(a == moved && !(a != moved) && CTString() == CTString(L""));
  a = a;
  EXPECT_EQ(Str(a), L"text");

  wchar_t* p = static_cast<wchar_t*>(malloc(3 * sizeof(wchar_t)));
  wcscpy(p, L"hi");
  a.SetBuffer(p);
  CTString other;
  other.Transfert(a);
  EXPECT_EQ(other.pszGet(), p);
  EXPECT_EQ(a.nTaille(), 0);
  other.Transfert(other);
  EXPECT_EQ(Str(other), L"hi");
  ASSERT_TRUE(other._SetBufferSize(5));
  wcscpy(const_cast<wchar_t*>(other.pszGet()), L"hello");
  EXPECT_EQ(Str(other), L"hello");
}

// Each row starts from a text, edits the string and gives the text expected.
TEST(CTString, EditsGiveTheirText) {
  const struct { const wchar_t* text; void (*edit)(CTString&); const wchar_t* want; } rows[] = {
      {L"ab  ", EDIT(s.SansEspace()), L"ab"}, {L"   ", EDIT(s.SansEspace()), L""},
      {L"  ab", EDIT(s.SansEspace()), L"  ab"}, {L"ab\t", EDIT(s.SansEspace()), L"ab\t"},
      {L"ab", EDIT(s.Complete(5, L'*')), L"ab***"}, {L"abcdefg", EDIT(s.Complete(5, L'*')), L"abcde"},
      {L"aBcAB", EDIT(s.RemplaceI(L"ab", L"X", 0)), L"XcX"}, {L"abab", EDIT(s.Remplace(L"ab", L"X", 2)), L"abX"},
      {L"abcd", EDIT(s.Coupe(1, 2)), L"ad"}, {L"abcd", EDIT(s.Coupe(2, 10)), L"ab"},
      {L"a", EDIT(s.Add(L"xy\0", 3)), L"axy"},  // one NUL at s[n - 1] is dropped
      {L"a", EDIT(s.Add(L"zzz", 0), s.Add(nullptr, 4), s.Add(L"12345", 2)), L"a12"},
      {L"a", EDIT(s.Add(nullptr, L"-", L"+")), L"a-+"}, {L"a", EDIT(s.Insert(L'<'), s.Add(L'>'), s.Add(L'\0')), L"<a>"},
      {L"a b c", EDIT(s.Insecable()), L"a\u00A0b\u00A0c"}, {L"  a b \t", EDIT(s.Trim()), L"a b"},
      {L"xxaxx", EDIT(s.RTrim(L'x')), L"xxa"}, {L"xxaxx", EDIT(s.LTrim(L'x')), L"axx"},
      {L"xxaxx", EDIT(s.Trim(L'x')), L"a"}, {L"\u00E9cole", EDIT(s.Majuscule()), L"\u00C9COLE"},
      {L"\u00C9COLE", EDIT(s.Minuscule()), L"\u00E9cole"}, {L"\u00C9l\u00E8ve", EDIT(s.SansAccent()), L"Eleve"},
      {L"", EDIT(s.Majuscule(), s.SansAccent()), L""}, {L"x", EDIT(s.SetStandard(L"\u00E9l\u00E8ve")), L"ELEVE"},
      {L"d\u00E9j\u00E0", EDIT(s.SetStandard(s.pszGet())), L"DEJA"}, {L"x", EDIT(s.SetStandard(nullptr)), L""},
      {L"x", EDIT(s.Ellipse(L"abcdefghij", 6, ELLIPSIS_END)), L"abc..."},
      {L"x", EDIT(s.Ellipse(L"abcdefghij", 6, ELLIPSIS_START)), L"...hij"},
      {L"x", EDIT(s.Ellipse(L"abcdefghij", 2, ELLIPSIS_END)), L"ab"},
      {L"x", EDIT(s.Ellipse(L"abc", UINT_MAX, ELLIPSIS_END)), L"abc"},
      {L"x", EDIT(s.Ellipse(nullptr, 5, ELLIPSIS_END)), L""},
      {L"0123456789", EDIT(s.Ellipse(s.pszGet(), 7, ELLIPSIS_MIDDLE)), L"01...89"},
      {L"abc", EDIT(s.SetChar(1, L'X'), s.SetChar(3, L'Y')), L"aXc"},  // beyond: nothing
      {L"abc", EDIT(s.Set(L"abcdef", 4u)), L"abcd"}, {L"abc", EDIT(s.Set(nullptr)), L""},
      {L"", EDIT(s.SetI8(LLONG_MIN), s.AddI4(INT_MIN)), L"-9223372036854775808-2147483648"},
      {L"abc", EDIT(s = L'x'), L"x"}, {L"abc", EDIT(s = L'\0'), L""},
      {L"", EDIT(const CXYString<wchar_t> host(L"host"); s.Set(host), s.Add(&host), s.Add(host)), L"hosthosthost"},
      {L"x", EDIT(s.Set(static_cast<const CXYString<wchar_t>*>(nullptr))), L""},
      {L"x", EDIT(s.Set(CXYString<wchar_t>())), L""},
      // SetANSIEx converts exactly n bytes (nothing follows them) and empties on failure; a NUL ends
      // the text; a double-byte lead cut short fails.
      {L"x", EDIT(s.SetANSIEx(ExactChars(std::string("abcdef")).get(), 3, 1252)), L"abc"},
      {L"x", EDIT(s.SetANSIEx(ExactChars(std::string("abcdef")).get(), 6, 1252)), L"abcdef"},
      {L"x", EDIT(s.SetANSIEx(ExactChars(std::string("\xc3\xa9x\xe2\x98\xba")).get(), 6, 65001)), L"\u00E9x\u263A"},
      {L"x", EDIT(s.SetANSIEx(ExactChars(std::string("\xc3\xa9x\xe2")).get(), 3, 65001)), L"\u00E9x"},
      {L"x", EDIT(s.SetANSIEx("a\0b", 3, 1252)), L"a"}, {L"x", EDIT(s.SetANSIEx("whole", -1, 1252)), L"whole"},
      {L"x", EDIT(s.SetANSIEx("\x82", 1, 932)), L""}, {L"x", EDIT(s.SetANSIEx(nullptr, 3, 1252)), L""},
      {L"x", EDIT(s.SetANSIEx("abc", 0, 1252)), L""},
      {L"a;b;", EDIT(s.bExtraitEtRemplaceChaine(1, L";", L"XY")), L"a;XY;"},
      {L"a;XY;", EDIT(s.bExtraitEtRemplaceChaine(2, L";", L"end")), L"a;XY;end"},
      {L"first;second", EDIT(s.bExtraitChaine(1, L";", &s)), L"second"},
      {L"dir/file", EDIT(s.pszSetFinPremier(s.pszGet(), L'/')), L"file"},
      {L"abc", EDIT(s.AddPrintf(L"[%c]", L'\u263A')), L"abc[\u263A]"},
      {L"abcdef", EDIT(s.Insert(L"xy", -2, 1)), L"abcdef"},  // a count below -1: nothing
      {L"abcdef", EDIT(s.Insert(L"xyz", 2, 99)), L"abcdefxy"}, {L"", EDIT(s.Insert(L"xyz", -1, 3)), L"xyz"},
      {L"abcdef", EDIT(s.Tronque(-1), s.Tronque(7), s.Tronque(4), s.TronqueDebut(1)), L"bcd"},
      {L"abcabc", EDIT(s.Remplace(L'a', L'x', 1), s.Renverse()), L"cbxcba"},
      {L"abcd", EDIT(s.Remplace(1, 2, L"XYZ"), s.Coupe(9, 1), s.Coupe(-1, 1)), L"aXYZd"},
      // Arguments inside the string's own text, which moves when the buffer grows.
      {L"abcdef", EDIT(s.Add(s.pszGet() + 2)), L"abcdefcdef"}, {L"abcdef", EDIT(s.Set(s.pszGet() + 2)), L"cdef"},
      {L"abcdef", EDIT(s.Set(s.pszGet() + 2, 2u)), L"cd"},
      {L"abcdef", EDIT(s.Insert(s.pszGet() + 1, 3, 2)), L"abbcdcdef"},
      {L"abcdef", EDIT(s.Insert(s.pszGet(), -1, 99)), L"abcdefabcdef"},
      {L"abcdef", EDIT(s.Remplace(1, 2, s.pszGet() + 3)), L"adefdef"},
      {L"abcdef", EDIT(s.printf(L"%s|%s", s.pszGet(), s.pszGet() + 4)), L"abcdef|ef"},
      {L"abcdef", EDIT(s.Set(L"x", s.pszGet() + 4, s.pszGet())), L"xefabcdef"},
      {L"abcdef", EDIT(s.Add(s.pszGet(), L"-", s.pszGet() + 4)), L"abcdefabcdef-ef"},
      {L"abcdef", EDIT(s.Remplace(s.pszGet() + 4, s.pszGet(), 0)), L"abcdabcdef"},
      // Message formatting: a failure leaves the text as it was.
      {L"old", EDIT(s.FormatMessageW(L"%s has %d rows", L"t", 3)), L"t has 3 rows"},
      {L"old", EDIT(s.FormatMessageWin(L"%1 has %2!d! rows%0 ignored", L"u", 4)), L"u has 4 rows"},
      {L"old", EDIT(s.FormatMessageWin(L"bad %", 1)), L"old"}, {L"old", EDIT(s.FormatMessageW(L"%S", "\xff")), L"old"}};
  for (const auto& r : rows) {
    CTString s(r.text);
    r.edit(s);
    EXPECT_EQ(Str(s), r.want) << r.text << " -> " << r.want;
    EXPECT_EQ(s.nTaille(), static_cast<int>(wcslen(r.want)));
  }
}

TEST(CTString, QueriesAnswer) {
  using Query = long long (*)(const CTString&);
  const struct { const wchar_t* text; Query q; long long want; } rows[] = {
      {L"\u00C9COLE", ASK(s.bEstEgalI(L"ecole")), TRUE}, {L"\u00C9COLE", ASK(s.bEstEgal(L"ecole")), FALSE},
      {L"\u00C9COLE", ASK(s.bEstEgalI(CTString(L"\u00E9cole"))), TRUE},
      {L"", ASK(s.bEstEgal(nullptr) && s.bEstEgalI(L"")), TRUE}, {L"\u00C9cole", ASK(s.bCommencePar(L"eco")), FALSE},
      {L"\u00C9cole", ASK(s.bCommenceParI(L"ECOLE")), TRUE}, {L"\u00C9cole x", ASK(s.bTermineParI(L"E X")), TRUE},
      {L"ab", ASK(s.bTermineParI(L"a longer text than it")), FALSE}, {L"ab", ASK(s.bTerminePar(L'b')), TRUE},
      {L"", ASK(s.bTerminePar(L'b')), FALSE}, {L"aBcAbab", ASK(s.nUpPos(L"ab")), 0},
      {L"aBcAbab", ASK(s.nUpPos(L"ab", 1)), 3}, {L"aBcAbab", ASK(s.nUpPos(L"abc", 5)), -1},  // cannot fit
      {L"aaaa", ASK(s.nRPos(L"aa")), 2},  // overlapping
      {L"", ASK(s.nRPos(L'a')), -1}, {L"abc", ASK(s.cGetChar(-1)), 0}, {L"abcabc", ASK(s.nPos(L"b", 2)), 4},
      {L"abcabc", ASK(s.nPos(L"b", -2)), 1}, {L"abcabc", ASK(s.nPos(L"", 0)), -1},
      {L"abcabc", ASK(s.nPos(L"c", 6)), -1}, {L"abcabc", ASK(s.nPos(L'c', 3)), 5}, {L"abcabc", ASK(s.nRPos(L"bc")), 4},
      {L"abcabc", ASK(s.nRPos(L'a')), 3}, {L"aaaa", ASK(s.nNbOcc(L"aa")), 2},  // not overlapping
      {L"aaaa", ASK(s.nNbOcc(L"")), 0}, {L"abcabc", ASK(s.nPosParmi(L"xc")), 2}, {L"abcabc", ASK(s.nPosParmi(L"")), -1},
      {L"abcabc", ASK(s.bCommencePar(L"") && s.bTerminePar(L"bc")), TRUE},
      // Reading stops at the first non-digit of the base; no sign; 64-bit arithmetic that wraps.
      {L"1aZ", ASK(s.nVal(16, 0, -1)), 26}, {L"ab12x", ASK(s.nVal(10, 2, -1)), 12},
      {L"ab12x", ASK(s.nVal(10, 2, 1)), 1}, {L"zz", ASK(s.nVal(36)), 35 * 36 + 35},
      {L"ffffffffffffffffff", ASK(s.nVal(16)), -1}, {L"12", ASK(s.nVal(1)), 0}, {L"", ASK(s.nVal(10)), 0}};
  for (const auto& r : rows) EXPECT_EQ(r.q(CTString(r.text)), r.want) << r.text << " #" << &r - rows;
  // Pieces: a negative position counts from 0, one past the end gives the empty text.
  using Piece = CTString (*)(const CTString&);
  const struct { const wchar_t* text; Piece f; const wchar_t* want; } pieces[] = {
      {L"abcdef", PART(s.clMilieu(2, 3)), L"cde"}, {L"abcdef", PART(s.clMilieu(4, 9)), L"ef"},
      {L"abcdef", PART(s.clMilieu(6, 1)), L""}, {L"abcdef", PART(s.clMilieu(-1, 2)), L"ab"},
      {L"abcdef", PART(s.clMilieu(3)), L"def"}, {L"abcdef", PART(s.clGauche(2) + s.clGauche(-1).pszGet()), L"ab"},
      {L"abcdef", PART(s.clDroite(2) + s.clDroite(9).pszGet() + s.clDroite(0).pszGet()), L"efabcdef"},
      {L"abcabc", PART(s.clExclu(L"xc")), L"ab"}, {L"abcabc", PART(s.clContientUniquement(L"ba")), L"ab"},
      {L"", PART(s.clMilieu(0, 1) + s.clDroite(1).pszGet()), L""}};
  for (const auto& r : pieces) EXPECT_EQ(Str(r.f(CTString(r.text))), r.want) << r.text << " #" << &r - pieces;
}

TEST(CTString, SeparatedPieces) {
  // Piece n counts from 0; a missing piece answers FALSE and leaves out alone (null); n below 0 is
  // piece 0 for the text separators; a missing token leaves out alone, n < 0 empties it.
  using Extract = BOOL (*)(const CTString&, CTString*);
  const struct { const wchar_t* text; Extract f; const wchar_t* out; } rows[] = {
      {L"a;b;", PIECE(s.bExtraitChaine(2, L";", o)), L""}, {L"a;b;", PIECE(s.bExtraitChaine(3, L";", o)), nullptr},
      {L"a;b;", PIECE(s.bExtraitChaine(1u, L';', o)), L"b"}, {L"abc", PIECE(s.bExtraitChaine(0, L";", o)), L"abc"},
      {L"", PIECE(s.bExtraitChaine(0u, L';', o)), nullptr}, {L"a::b::c", PIECE(s.bExtraitChaine(2, L"::", o)), L"c"},
      {L"a;b", PIECE(s.bExtraitChaine(-3, L";", o)), L"a"}, {L",,a,,b", PIECE(s.bExtraitChaineTok(1, L",", o)), L"b"},
      {L",,a,,b", PIECE(s.bExtraitChaineTok(2, L",", o)), nullptr},
      {L"x", PIECE(s.bExtraitChaineTok(-1, L",", o)), L""}, {L"", PIECE(s.bExtraitChaineTok(0, L",", o)), nullptr}};
  for (const auto& r : rows) {
    CTString out(L"unchanged");
    EXPECT_EQ(r.f(CTString(r.text), &out) != FALSE, r.out != nullptr) << r.text << " #" << &r - rows;
    EXPECT_EQ(Str(out), r.out ? r.out : L"unchanged") << r.text << " #" << &r - rows;
  }
  const CTString s(L"a;b;");
  const wchar_t* start = nullptr;
  int pos = -1, len = -1;
  EXPECT_TRUE(s.bExtraitPosTailleChaine(1, L";", &pos, &len));
  EXPECT_EQ(std::make_pair(pos, len), std::make_pair(2, 1));
  EXPECT_TRUE(s.bExtraitChainePos(0u, L'\0', &start, &len));
  EXPECT_EQ(len, 4);
  EXPECT_FALSE(s.bExtraitChainePos(1u, L'\0', &start, &len));
  CTString r(L"a;b");
  EXPECT_FALSE(r.bExtraitEtRemplaceChaine(2, L";", L"no"));
  EXPECT_FALSE(CTString().bExtraitEtRemplaceChaine(0, L";", L"no"));
  EXPECT_EQ(Str(r), L"a;b");
  // The visitor sees every piece, the last one empty too; its 0 stops the walk at once.
  struct CCollect : IVisiteurPourTouteChaine {
    int nVisite(int index, const wchar_t* p, int length) override {
      seen += std::to_wstring(index) + L":" + std::wstring(p, static_cast<size_t>(length)) + L" ";
      return index == stopAt ? 0 : 2;
    }
    std::wstring seen;
    int stopAt = -1;
  } all, stop, none;
  EXPECT_EQ(CTString(L"a--bc--").PourTouteChaineSepareePar(L"--", &all), 2);
  EXPECT_EQ(all.seen, L"0:a 1:bc 2: ");
  stop.stopAt = 1;
  EXPECT_EQ(CTString(L"a,b,c").PourTouteChaineSepareePar(L",", &stop), 0);
  EXPECT_EQ(stop.seen, L"0:a 1:b ");
  EXPECT_EQ(CTString().PourTouteChaineSepareePar(L",", &none), 1);
  EXPECT_EQ(none.seen, L"");
}

TEST(CTString, SetAroundACharacter) {
  // Without the character the plain forms take the whole text and answer null; the Existant forms
  // empty the string and answer the text.
  using Around = const wchar_t* (CTString::*)(const wchar_t*, wchar_t);
  const wchar_t* text = L"a/b/c";
  const wchar_t* plain = L"abc";
  const struct { Around f; const wchar_t* s; const wchar_t* answer; const wchar_t* want; } rows[] = {
      {&CTString::pszSetFinDernier, text, text + 4, L"c"},   {&CTString::pszSetDebutPremier, text, text + 2, L"a"},
      {&CTString::pszSetDebutDernier, text, text + 4, L"a/b"}, {&CTString::pszSetFinPremier, text, text + 2, L"b/c"},
      {&CTString::pszSetFinDernier, plain, nullptr, L"abc"}, {&CTString::pszSetDebutPremier, plain, nullptr, L"abc"},
      {&CTString::pszSetFinDernierExistant, plain, plain, L""},
      {&CTString::pszSetDebutPremierExistant, plain, plain, L""},
      {&CTString::pszSetFinPremierExistant, text, text + 2, L"b/c"},
      {&CTString::pszSetDebutDernierExistant, text, text + 4, L"a/b"}};
  for (const auto& r : rows) {
    CTString s(L"x");
    EXPECT_EQ((s.*r.f)(r.s, L'/'), r.answer) << &r - rows;
    EXPECT_EQ(Str(s), r.want) << &r - rows;
  }
}

TEST(CTString, FormatGrowsPastTheEstimateAndFailsEmpty) {
  CTString s;
  EXPECT_EQ(s.printf(L"%.300f", 1e308), 610);
  EXPECT_EQ(s.nTaille(), 610);
  EXPECT_EQ(s.printf(L"%s=%d|%S|%I64d", L"k", 5, "n", 1LL << 40), 19);
  EXPECT_EQ(Str(s), L"k=5|n|1099511627776");
  const std::wstring big(50000, L'b');
  EXPECT_EQ(s.printf(L"<%s>", big.c_str()), 50002);
  s.Set(L"abc");
  EXPECT_EQ(s.printf(L"%s-%s", s.pszGet(), s.pszGet() + 1), 6);  // arguments from the string itself
  EXPECT_EQ(Str(s), L"abc-bc");
  EXPECT_EQ(s.printf(L"%S", "\xff"), -1);
  EXPECT_EQ(s.nTaille(), 0);
  s.Set(L"x");
  EXPECT_EQ(s.printf(nullptr), -1);
  EXPECT_EQ(s.nTaille(), 0);
  EXPECT_EQ(s.printf(L""), 0);
}

TEST(CTString, TemporaryFileNamesDecodeUtf8) {
  char dirTemplate[] = "/tmp/qxtmpXXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const char* saved = getenv("TMPDIR");
  const std::string savedValue = saved != nullptr ? saved : "";
  setenv("TMPDIR", dirTemplate, 1);
  const std::wstring dir(dirTemplate, dirTemplate + strlen(dirTemplate));
  CTString name, other;
  name.FichierTemporaire(L"q\u00E9");
  other.FichierTemporaire(L"q\u00E9");
  EXPECT_EQ(Str(name).substr(0, dir.size() + 3), dir + L"/q\u00E9");
  EXPECT_EQ(name.nTaille(), static_cast<int>(dir.size() + 1 + 2 + 6)) << Str(name);
  EXPECT_FALSE(name == other);
  name.FichierTemporaire(nullptr);
  EXPECT_EQ(Str(name).substr(0, dir.size() + 1), dir + L"/");
  saved != nullptr ? setenv("TMPDIR", savedValue.c_str(), 1) : unsetenv("TMPDIR");
  rmdir(dirTemplate);
}


using Items = std::vector<std::wstring>;

Items Of(const CTStringArray& a) {
  Items out;
  for (int i = 0; i < a.nGetCount(); ++i) out.push_back(a[i] != nullptr ? a[i]->pszGet() : L"<null>");
  return out;
}
void Fill(CTStringArray& a, const Items& items) {
  a.SupprimeTout();
  for (const std::wstring& s : items) a.Ajoute(s.c_str());
}

template <class A>
concept CanDuplicate = requires(A& a, const CTTableau<CTString*>& b) { a.Duplique(b); };
static_assert(!CanDuplicate<CTStringArray>, "a copied pointer would be deleted twice");

TEST(CTStringArray, AddReplaceRemoveOwnTheStrings) {
  CTStringArray a;
  a.Ajoute(L"a");
  a.Ajoute(static_cast<const wchar_t*>(nullptr));
  CTString b(L"b"), moved(L"m");
  a.Ajoute(&b);
  a.vAjoute(L"cdef", 2);
  a.AjouteRecupere(&moved);
  EXPECT_EQ(moved.nTaille(), 0);
  a.Insere(L"x", 5);  // at the count: appended
  a.Insere(L"y", 0);
  a.Insere(L"lost", 9);  // out of range: nothing, and nothing leaks
  a.Insere(L"lost", -1);
  a.AjoutePrintf(L"%s=%d", L"n", 5);
  a.AjouteFormatMessageWin(L"%s has %d rows", L"t", 3);
  a.AjouteFormatMessageWin(nullptr);  // fails: an empty element
  EXPECT_EQ(Of(a), (Items{L"y", L"a", L"", L"b", L"cd", L"m", L"x", L"n=5", L"t has 3 rows", L""}));

  Fill(a, {L"a", L"b"});
  a.SetAt(L"z", 0);
  EXPECT_EQ(Of(a), (Items{L"z", L"b"}));
  a.SetAt(a[0]->pszGet(), 0);  // its own text
  a.SetAt(a[1], 0);             // another element
  a.SetAt(L"q", 2);             // out of range
  a.Supprime(0);
  a.Supprime(5);
  EXPECT_EQ(Of(a), (Items{L"b"}));
  a.Initialise(a[0]->pszGet(), 2);  // appends copies, even of its own text
  a.Ajoute(a);                      // itself: doubles
  EXPECT_EQ(Of(a), Items(6, L"b"));
  const int capacity = a.nGetCapacity();
  a.SupprimeTout();
  EXPECT_EQ(a.nGetCount(), 0);
  EXPECT_EQ(a.nGetCapacity(), capacity);
  // The inherited initialisers copy the text instead of the pointer.
  Fill(a, {L"old", L"older"});
  static_cast<CTTableau<CTString*>&>(a).Initialise(a[1], 3);  // an element that is replaced meanwhile
  EXPECT_EQ(Of(a), Items(3, L"older"));
  CTString* first = a[0];
  static_cast<CTableauDeBuffer&>(a).Initialise(&first, 2);
  EXPECT_EQ(Of(a), Items(2, L"older"));
  static_cast<CTableauDeBuffer&>(a).Initialise(nullptr, 1);
  EXPECT_EQ(Of(a), Items(1, L""));
}

TEST(CTStringArray, SearchIgnoresCaseAndAccents) {
  CTStringArray a;
  Fill(a, {L"ecole", L"x", L"\u00C9cole", L""});
  a.CTableauDeBuffer::Ajoute(nullptr);  // a null element reads as ""
  const std::tuple<const wchar_t*, int, int, int> rows[] = {  // text, case-sensitive, start, index
      {L"\u00C9COLE", FALSE, 0, 0}, {L"\u00C9COLE", FALSE, 1, 2}, {L"ECOLE", TRUE, 0, -1}, {L"\u00C9cole", TRUE, 0, 2},
      {L"x", TRUE, 5, -1}, {L"x", TRUE, -7, 1}, {nullptr, TRUE, 0, 3}, {L"", FALSE, 4, 4}};
  for (auto [text, exact, start, index] : rows) EXPECT_EQ(a.nRecherche(text, exact, start), index) << start;

  Fill(a, {L"ab", L"Ae", L"A\u00C9", L"AE"});
  const std::tuple<const wchar_t*, int, int, int> folded[] = {
      {L"a\u00E9", FALSE, 0, 1}, {L"a\u00E9", TRUE, 0, -1}, {L"AE", TRUE, 0, 3}, {L"aE", FALSE, 2, 2},
      {L"ae", FALSE, 4, -1}};
  for (auto [text, exact, start, index] : folded) EXPECT_EQ(a.nRecherche(text, exact, start), index) << start;
}

TEST(CTStringArray, Sorting) {
  CTStringArray a;
  const Items items = {L"b", L"Ab", L"\u00E9", L"a", L"C"}, up = {L"Ab", L"C", L"a", L"b", L"\u00E9"};
  Fill(a, items);
  a.TrieCroisssant();
  EXPECT_EQ(Of(a), up);
  a.TrieDecroisssant();
  EXPECT_EQ(Of(a), Items(up.rbegin(), up.rend()));
  a.TrieCroisssantI();
  EXPECT_EQ(Of(a), (Items{L"a", L"Ab", L"b", L"C", L"\u00E9"}));
  Fill(a, {L"b", L"a"});
  a.CTableauDeBuffer::Ajoute(nullptr);  // sorts as the empty text
  a.TrieCroisssant();
  EXPECT_EQ(Of(a), (Items{L"<null>", L"a", L"b"}));
  CTString out(L"old");
  using Row = std::tuple<const wchar_t*, const wchar_t*, const wchar_t*>;
  for (auto [text, sep, sorted] : {Row{L"b,A,c", L",", L"A,b,c"}, Row{L"", L",", L""},
                                   Row{L"t2\r\nT1\r\nt3", L"\r\n", L"T1\r\nt2\r\nt3"}}) {
    EXPECT_TRUE(CTStringArray::g_bTrieCroissantI(&out, text, sep));
    EXPECT_STREQ(out.pszGet(), sorted);
  }
  EXPECT_TRUE(CTStringArray::g_bTrieCroissantI(&out, L"b,a", L","));
  EXPECT_TRUE(CTStringArray::g_bTrieCroissantI(&out, out.pszGet(), L","));  // its own text
  EXPECT_STREQ(out.pszGet(), L"a,b");
}

TEST(CTStringArray, SplitAndJoin) {
  CTStringArray a;
  CTString out(L"old");
  ASSERT_TRUE(a.bFusion(&out, L","));  // nothing joined is the empty text
  EXPECT_STREQ(out.pszGet(), L"");
  Fill(a, {L"x", L"y"});
  ASSERT_TRUE(a.bFusion(&out, L", "));
  EXPECT_STREQ(out.pszGet(), L"x, y");
  ASSERT_TRUE(a.bFusion(&out, nullptr));
  EXPECT_STREQ(out.pszGet(), L"xy");
  ASSERT_TRUE(a.bFusion(a[1], L"-"));  // into one of its own elements
  EXPECT_EQ(Of(a), (Items{L"x", L"x-y"}));
  EXPECT_FALSE(a.bFusion(nullptr, L"-"));
  a.Decoupe(L"a;b", nullptr);
  EXPECT_EQ(Of(a), (Items{L"a;b"}));
  Fill(a, {L"p:q:r", L":"});
  a.Decoupe(*a[0], a[1]->pszGet());  // one of its own elements by another's text
  EXPECT_EQ(Of(a), (Items{L"p", L"q", L"r"}));
  // Splitting gives the pieces between separators (none for the empty text); joining them back
  // gives the text.
  const std::tuple<const wchar_t*, const wchar_t*, Items> splits[] = {
      {L"a;b;", L";", {L"a", L"b", L""}}, {L";;a;;;b", L";;", {L"", L"a", L";b"}}, {L"", L";", {}},
      {L"ab,;ab", L"ab", {L"", L",;", L""}}, {L"a;b", L"", {L"a;b"}},        {L";", L";", {L"", L""}}};
  for (const auto& [text, sep, pieces] : splits) {
    a.Decoupe(text, sep);
    EXPECT_EQ(Of(a), pieces) << text << L" / " << sep;
    ASSERT_TRUE(a.bFusion(&out, sep));
    EXPECT_STREQ(out.pszGet(), text);
  }
}


using SP = CStringParameter;
using Read = std::pair<std::wstring, int>;  // value, found

Read Get(CTString& settings, const wchar_t* name, int bRemove = FALSE) {
  CTString value(L"stale");
  int found = -1;
  EXPECT_TRUE(SP::s_bGetParameterValue(&value, &found, &settings, name, bRemove));
  return {value.pszGet(), found};
}

TEST(CStringParameter, ReadRemoveAndReplace) {
  // The settings after removing the item and after writing value (null: no write); a null
  // afterRemove or afterReplace means unchanged.
  struct Row { const wchar_t *settings, *name; Read read; const wchar_t *afterRemove, *value, *afterReplace; };
  const Row rows[] = {
      {L"Server = db1 ; Port=3306", L"server", {L"db1", 1}, L"Port=3306", L"x", L"Server = x; Port=3306"},
      {L"A=;B=2", L"a", {L"", 1}, L"B=2", L"7", L"A=7;B=2"},
      {L"A=1; B=2", L"B", {L"2", 1}, L"A=1;", L"7", L"A=1; B=7"},  // the ';' before the last item stays
      {L"A=1", L"A", {L"1", 1}, L"", L"", L"A="},
      {L"A=xyz;B=1", L"C", {L"", 0}, L"A=xyz;B=1", L"7", L"A=xyz;B=1;C=7"},
      {L"", L"C", {L"", 0}, L"", L"7", L"C=7"},
      {L" ;A=1 ; ;B=2", L"A", {L"1", 1}, L"B=2", L"", L" ;A=; ;B=2"},
      {L"A=1;B=2 ; ", L"B", {L"2", 1}, L"A=1;", L"x=y", L"A=1;B=x=y; "},
      // Only where an item starts: not at the end of a longer name, not inside a value.
      {L"Server Port=3306;Port=1", L"Port", {L"1", 1}, L"Server Port=3306;", L"2", L"Server Port=3306;Port=2"},
      {L"A=B=2; B =3", L"B", {L"3", 1}, L"A=B=2;", L"4", L"A=B=2; B =4"},
      {L"A=B=2; B =3", L"A", {L"B=2", 1}, L"B =3", L"1", L"A=1; B =3"},  // '=' belongs to the value
      {L"Unix Socket=/s;Port Number=5", L"Socket", {L"", 0}, nullptr, L"1", L"Unix Socket=/s;Port Number=5;Socket=1"},
      {L"Unix Socket=/s;Port Number=5", L"Port", {L"", 0}, nullptr, nullptr, nullptr},
      {L"Unix Socket=/s", L"unix socket", {L"/s", 1}, L"", nullptr, nullptr},
      // Case is ignored, accents are not.
      {L"D\u00C9LAI=5", L"d\u00E9lai", {L"5", 1}, L"", L"6", L"D\u00C9LAI=6"},
      {L"D\u00C9LAI=5", L"delai", {L"", 0}, nullptr, nullptr, nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(r.settings)) << " " << r.name);
    CTString s(r.settings);
    EXPECT_EQ(Get(s, r.name), r.read);
    EXPECT_EQ(SP::s_bParameterDefined(&s, r.name) != FALSE, r.read.second == 1);
    EXPECT_EQ(Get(s, r.name, TRUE), r.read);
    EXPECT_STREQ(s.pszGet(), r.afterRemove ? r.afterRemove : r.settings);
    s = r.settings;
    EXPECT_TRUE(!r.value || SP::s_bReplaceParameterValue(&s, r.value, r.name));
    EXPECT_STREQ(s.pszGet(), r.afterReplace ? r.afterReplace : r.settings);
  }
  int namePos, valueStart, valueEnd;
  CTString s(L"A=1;  B = xy ");
  EXPECT_TRUE(SP::_s_bGetParameterPos(namePos, valueStart, valueEnd, &s, L"B"));
  EXPECT_EQ(std::vector<int>({namePos, valueStart, valueEnd}), std::vector<int>({6, 10, 12}));
  EXPECT_FALSE(SP::_s_bGetParameterPos(namePos, valueStart, valueEnd, &s, L"C"));
  EXPECT_EQ(std::vector<int>({namePos, valueStart, valueEnd}), std::vector<int>({-1, -1, -1}));
  EXPECT_TRUE(SP::s_bReplaceParameterValue(&s, nullptr, L"A"));
  EXPECT_STREQ(s.pszGet(), L"A=;  B = xy ");
}

TEST(CStringParameter, NamesAndValuesThatWouldBreakItemsAreRefused) {
  CTString s(L"A=1; B=2");
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L" B", L"B ", L"A=1", L"1; B"}) {
    EXPECT_EQ(Get(s, name), (Read{L"", 0}));
    EXPECT_FALSE(SP::s_bReplaceParameterValue(&s, L"2", name));
  }
  EXPECT_FALSE(SP::s_bReplaceParameterValue(&s, L"2;Port=0", L"A"));
  EXPECT_FALSE(SP::s_bReplaceParameterValue(nullptr, L"2", L"A"));
  EXPECT_STREQ(s.pszGet(), L"A=1; B=2");
  EXPECT_TRUE(SP::s_bGetParameterValue(nullptr, nullptr, nullptr, L"A", TRUE));
  EXPECT_FALSE(SP::s_bParameterDefined(nullptr, L"b"));
}

TEST(CStringParameter, OneParameter) {
  SP p(L"Dir");
  EXPECT_FALSE(p.bIsDefined());
  p.SetParameterValue(L"abc  def", 5);
  EXPECT_STREQ(p.pszGetValue(), L"abc");
  using Pair = std::pair<const wchar_t*, const wchar_t*>;
  for (const auto& [value, stored] : {Pair{L"/tmp/dir", L"/tmp/dir\\"}, Pair{L"/d\\", L"/d\\"}, Pair{L"", L""}}) {
    p.SetParameterValueRep(value);
    EXPECT_STREQ(p.pszGetValue(), stored);
    EXPECT_TRUE(p.bIsDefined());
  }
  p.SetParameterValue(nullptr);
  EXPECT_FALSE(p.bIsDefined());
  CTString s(L"X=1");
  EXPECT_TRUE(p.bCompleteConnectionString(&s));  // undefined: nothing
  EXPECT_STREQ(s.pszGet(), L"X=1");
  // Completing appends; an item of the name holding another value would be read before the
  // appended one, so that item gets the value instead.
  s = L"dir = /a ;X=1";
  EXPECT_TRUE(p.bInitParameterValue(&s, TRUE));
  EXPECT_STREQ(p.pszGetValue(), L"/a");
  for (const auto& [value, after] : {Pair{L"/a", L"X=1;Dir=/a"}, Pair{L"/b", L"X=1;Dir=/b"},
                                     Pair{L"/b", L"X=1;Dir=/b;Dir=/b"}, Pair{L"/c;X=2", nullptr}}) {
    if (wcscmp(value, p.pszGetValue()) != 0) p.SetParameterValue(value);
    EXPECT_EQ(p.bCompleteConnectionString(&s) != FALSE, after != nullptr) << value;
    EXPECT_STREQ(s.pszGet(), after ? after : L"X=1;Dir=/b;Dir=/b");
  }
  EXPECT_TRUE(p.bInitParameterValue(&s, FALSE));
  EXPECT_STREQ(p.pszGetValue(), L"/b");
}

// Spellings of one name per group; names within a group match, across groups never (one is the
// tail or the head of another, or differs by an accent).
const std::vector<std::vector<std::wstring>> kNames = {
    {L"Port", L"PORT", L"port"}, {L"Server Port", L"server PORT"}, {L"Port Number"}, {L"Socket", L"SOCKET"},
    {L"Unix Socket"},            {L"D\u00E9lai", L"D\u00C9LAI"},    {L"Delai", L"dELAI"},
};

TEST(CStringParameter, SequencesMatchAModel) {
  struct Item { size_t group; std::wstring name, value; };
  std::mt19937 rng(5);
  for (int round = 0; round < 20; ++round) {
    CTString s;
    std::vector<Item> model;
    for (int step = 0; step < 30; ++step) {
      const size_t group = rng() % kNames.size();
      const std::wstring& name = kNames[group][rng() % kNames[group].size()];
      auto it = std::find_if(model.begin(), model.end(), [&](const Item& i) { return i.group == group; });
      if (rng() % 2) {
        std::wstring v = rng() % 4 ? L"" : kNames[rng() % kNames.size()][0] + L"=";  // looks like an item
        for (int i = static_cast<int>(rng() % 5); i > 0; --i) v += L"xy1=\u00E9"[rng() % 5];
        ASSERT_TRUE(SP::s_bReplaceParameterValue(&s, v.c_str(), name.c_str()));
        if (it == model.end()) model.push_back({group, name, v});
        else it->value = v;
      } else {
        ASSERT_EQ(Get(s, name.c_str(), TRUE), (it == model.end() ? Read{L"", 0} : Read{it->value, 1}));
        if (it != model.end()) model.erase(it);
      }
      // The text holds the model's items in order; a removed last item leaves an empty one.
      std::vector<std::wstring> items, expected;
      for (const Item& item : model) expected.push_back(item.name + L"=" + item.value);
      const std::wstring text = s.pszGet();
      ASSERT_TRUE(text.empty() || (text[0] != L';' && text[0] != L' '));
      for (size_t from = 0, end; from <= text.size(); from = end + 1) {
        end = std::min(text.find(L';', from), text.size());
        if (end > from) items.push_back(text.substr(from, end - from));
      }
      ASSERT_EQ(items, expected);
    }
  }
}

}  // namespace

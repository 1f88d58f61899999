// CTString: edge cases, arguments inside the string's own text, formatting past the estimate.
#include "common/ctstring.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

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
  // Piece n counts from 0; a missing piece answers FALSE and leaves out alone; n below 0 is
  // piece 0 for the text separators; a missing token leaves out alone, n < 0 empties it.
  using Extract = BOOL (*)(const CTString&, CTString*);
  const struct { const wchar_t* text; Extract f; bool ok; const wchar_t* out; } rows[] = {
      {L"a;b;", PIECE(s.bExtraitChaine(2, L";", o)), true, L""},
      {L"a;b;", PIECE(s.bExtraitChaine(3, L";", o)), false, L"unchanged"},
      {L"a;b;", PIECE(s.bExtraitChaine(1u, L';', o)), true, L"b"},
      {L"abc", PIECE(s.bExtraitChaine(0, L";", o)), true, L"abc"},
      {L"", PIECE(s.bExtraitChaine(0u, L';', o)), false, L"unchanged"},
      {L"a::b::c", PIECE(s.bExtraitChaine(2, L"::", o)), true, L"c"},
      {L"a;b", PIECE(s.bExtraitChaine(-3, L";", o)), true, L"a"},
      {L",,a,,b", PIECE(s.bExtraitChaineTok(1, L",", o)), true, L"b"},
      {L",,a,,b", PIECE(s.bExtraitChaineTok(2, L",", o)), false, L"unchanged"},
      {L"x", PIECE(s.bExtraitChaineTok(-1, L",", o)), true, L""},
      {L"", PIECE(s.bExtraitChaineTok(0, L",", o)), false, L"unchanged"}};
  for (const auto& r : rows) {
    CTString out(L"unchanged");
    EXPECT_EQ(r.f(CTString(r.text), &out) != FALSE, r.ok) << r.text << " #" << &r - rows;
    EXPECT_EQ(Str(out), r.out) << r.text << " #" << &r - rows;
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
  if (saved != nullptr)
    setenv("TMPDIR", savedValue.c_str(), 1);
  else
    unsetenv("TMPDIR");
  rmdir(dirTemplate);
}

}  // namespace

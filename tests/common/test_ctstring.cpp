// CTString: the edge cases of its operations, texts that lie in the string's own buffer, the
// formatting that must grow past the length estimate, and random operation sequences checked
// against std::wstring.
#include "common/ctstring.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/xystring.h"
#include "tests/support/exact_alloc.h"

namespace {

std::wstring Str(const CTString& s) { return std::wstring(s.pszGet()); }

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

using Edit = void (*)(CTString&);

// Each row starts from a text, edits the string and gives the text expected.
TEST(CTString, EditsGiveTheirText) {
  const struct { const wchar_t* text; Edit edit; const wchar_t* want; } rows[] = {
      {L"ab  ", [](CTString& s) { s.SansEspace(); }, L"ab"},
      {L"   ", [](CTString& s) { s.SansEspace(); }, L""},
      {L"  ab", [](CTString& s) { s.SansEspace(); }, L"  ab"},
      {L"ab\t", [](CTString& s) { s.SansEspace(); }, L"ab\t"},
      {L"ab", [](CTString& s) { s.Complete(5, L'*'); }, L"ab***"},
      {L"abcdefg", [](CTString& s) { s.Complete(5, L'*'); }, L"abcde"},
      {L"aBcAB", [](CTString& s) { s.RemplaceI(L"ab", L"X", 0); }, L"XcX"},
      {L"abab", [](CTString& s) { s.Remplace(L"ab", L"X", 2); }, L"abX"},
      {L"abcd", [](CTString& s) { s.Coupe(1, 2); }, L"ad"},
      {L"abcd", [](CTString& s) { s.Coupe(2, 10); }, L"ab"},
      {L"a", [](CTString& s) { s.Add(L"xy\0", 3); }, L"axy"},  // one NUL at s[n - 1] is dropped
      {L"a", [](CTString& s) { s.Add(L"zzz", 0), s.Add(nullptr, 4), s.Add(L"12345", 2); }, L"a12"},
      {L"a", [](CTString& s) { s.Add(nullptr, L"-", L"+"); }, L"a-+"},
      {L"a", [](CTString& s) { s.Insert(L'<'), s.Add(L'>'), s.Add(L'\0'); }, L"<a>"},
      {L"a b c", [](CTString& s) { s.Insecable(); }, L"a\u00A0b\u00A0c"},
      {L"  a b \t", [](CTString& s) { s.Trim(); }, L"a b"},
      {L"xxaxx", [](CTString& s) { s.RTrim(L'x'); }, L"xxa"},
      {L"xxaxx", [](CTString& s) { s.LTrim(L'x'); }, L"axx"},
      {L"xxaxx", [](CTString& s) { s.Trim(L'x'); }, L"a"},
      {L"\u00E9cole", [](CTString& s) { s.Majuscule(); }, L"\u00C9COLE"},
      {L"\u00C9COLE", [](CTString& s) { s.Minuscule(); }, L"\u00E9cole"},
      {L"\u00C9l\u00E8ve", [](CTString& s) { s.SansAccent(); }, L"Eleve"},
      {L"", [](CTString& s) { s.Majuscule(), s.SansAccent(); }, L""},
      {L"x", [](CTString& s) { s.SetStandard(L"\u00E9l\u00E8ve"); }, L"ELEVE"},
      {L"d\u00E9j\u00E0", [](CTString& s) { s.SetStandard(s.pszGet()); }, L"DEJA"},
      {L"x", [](CTString& s) { s.SetStandard(nullptr); }, L""},
      {L"x", [](CTString& s) { s.Ellipse(L"abcdefghij", 6, ELLIPSIS_END); }, L"abc..."},
      {L"x", [](CTString& s) { s.Ellipse(L"abcdefghij", 6, ELLIPSIS_START); }, L"...hij"},
      {L"x", [](CTString& s) { s.Ellipse(L"abcdefghij", 2, ELLIPSIS_END); }, L"ab"},
      {L"x", [](CTString& s) { s.Ellipse(L"abc", UINT_MAX, ELLIPSIS_END); }, L"abc"},
      {L"x", [](CTString& s) { s.Ellipse(nullptr, 5, ELLIPSIS_END); }, L""},
      {L"0123456789", [](CTString& s) { s.Ellipse(s.pszGet(), 7, ELLIPSIS_MIDDLE); }, L"01...89"},
      {L"abc", [](CTString& s) { s.SetChar(1, L'X'), s.SetChar(3, L'Y'); }, L"aXc"},  // beyond: nothing
      {L"abc", [](CTString& s) { s.Set(L"abcdef", 4u); }, L"abcd"},
      {L"abc", [](CTString& s) { s.Set(nullptr); }, L""},
      {L"", [](CTString& s) { s.SetI8(LLONG_MIN), s.AddI4(INT_MIN); }, L"-9223372036854775808-2147483648"},
      {L"abc", [](CTString& s) { s = L'x'; }, L"x"},
      {L"abc", [](CTString& s) { s = L'\0'; }, L""},
      {L"", [](CTString& s) {
         const CXYString<wchar_t> host(L"host");
         s.Set(host), s.Add(&host), s.Add(host);
       }, L"hosthosthost"},
      {L"x", [](CTString& s) { s.Set(static_cast<const CXYString<wchar_t>*>(nullptr)); }, L""},
      {L"x", [](CTString& s) { s.Set(CXYString<wchar_t>()); }, L""},
      // SetANSIEx converts exactly n bytes (nothing follows them) and empties on failure; a NUL ends
      // the text; a double-byte lead cut short fails.
      {L"x", [](CTString& s) { s.SetANSIEx(ExactChars(std::string("abcdef")).get(), 3, 1252); }, L"abc"},
      {L"x", [](CTString& s) { s.SetANSIEx(ExactChars(std::string("abcdef")).get(), 6, 1252); }, L"abcdef"},
      {L"x", [](CTString& s) { s.SetANSIEx(ExactChars(std::string("\xc3\xa9x\xe2\x98\xba")).get(), 6, 65001); },
       L"\u00E9x\u263A"},
      {L"x", [](CTString& s) { s.SetANSIEx(ExactChars(std::string("\xc3\xa9x\xe2")).get(), 3, 65001); }, L"\u00E9x"},
      {L"x", [](CTString& s) { s.SetANSIEx("a\0b", 3, 1252); }, L"a"},
      {L"x", [](CTString& s) { s.SetANSIEx("whole", -1, 1252); }, L"whole"},
      {L"x", [](CTString& s) { s.SetANSIEx("\x82", 1, 932); }, L""},
      {L"x", [](CTString& s) { s.SetANSIEx(nullptr, 3, 1252); }, L""},
      {L"x", [](CTString& s) { s.SetANSIEx("abc", 0, 1252); }, L""},
      {L"a;b;", [](CTString& s) { s.bExtraitEtRemplaceChaine(1, L";", L"XY"); }, L"a;XY;"},
      {L"a;XY;", [](CTString& s) { s.bExtraitEtRemplaceChaine(2, L";", L"end"); }, L"a;XY;end"},
      {L"first;second", [](CTString& s) { s.bExtraitChaine(1, L";", &s); }, L"second"},
      {L"dir/file", [](CTString& s) { s.pszSetFinPremier(s.pszGet(), L'/'); }, L"file"},
      {L"abc", [](CTString& s) { s.AddPrintf(L"[%c]", L'\u263A'); }, L"abc[\u263A]"},
      // Message formatting: a failure leaves the text as it was.
      {L"old", [](CTString& s) { s.FormatMessageW(L"%s has %d rows", L"t", 3); }, L"t has 3 rows"},
      {L"old", [](CTString& s) { s.FormatMessageWin(L"%1 has %2!d! rows%0 ignored", L"u", 4); }, L"u has 4 rows"},
      {L"old", [](CTString& s) { s.FormatMessageWin(L"bad %", 1); }, L"old"},
      {L"old", [](CTString& s) { s.FormatMessageW(L"%S", "\xff"); }, L"old"}};
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
      {L"\u00C9COLE", [](const CTString& s) -> long long { return s.bEstEgalI(L"ecole"); }, TRUE},
      {L"\u00C9COLE", [](const CTString& s) -> long long { return s.bEstEgal(L"ecole"); }, FALSE},
      {L"\u00C9COLE", [](const CTString& s) -> long long { return s.bEstEgalI(CTString(L"\u00E9cole")); }, TRUE},
      {L"", [](const CTString& s) -> long long { return s.bEstEgal(nullptr) && s.bEstEgalI(L""); }, TRUE},
      {L"\u00C9cole", [](const CTString& s) -> long long { return s.bCommencePar(L"eco"); }, FALSE},
      {L"\u00C9cole", [](const CTString& s) -> long long { return s.bCommenceParI(L"ECOLE"); }, TRUE},
      {L"\u00C9cole x", [](const CTString& s) -> long long { return s.bTermineParI(L"E X"); }, TRUE},
      {L"ab", [](const CTString& s) -> long long { return s.bTermineParI(L"a longer text than it"); }, FALSE},
      {L"ab", [](const CTString& s) -> long long { return s.bTerminePar(L'b'); }, TRUE},
      {L"", [](const CTString& s) -> long long { return s.bTerminePar(L'b'); }, FALSE},
      {L"aBcAbab", [](const CTString& s) -> long long { return s.nUpPos(L"ab"); }, 0},
      {L"aBcAbab", [](const CTString& s) -> long long { return s.nUpPos(L"ab", 1); }, 3},
      {L"aBcAbab", [](const CTString& s) -> long long { return s.nUpPos(L"abc", 5); }, -1},  // cannot fit
      {L"aaaa", [](const CTString& s) -> long long { return s.nRPos(L"aa"); }, 2},            // overlapping
      {L"", [](const CTString& s) -> long long { return s.nRPos(L'a'); }, -1},
      {L"abc", [](const CTString& s) -> long long { return s.cGetChar(-1); }, 0},
      // Reading stops at the first non-digit of the base; no sign; 64-bit arithmetic that wraps.
      {L"1aZ", [](const CTString& s) { return s.nVal(16, 0, -1); }, 26},
      {L"ab12x", [](const CTString& s) { return s.nVal(10, 2, -1); }, 12},
      {L"ab12x", [](const CTString& s) { return s.nVal(10, 2, 1); }, 1},
      {L"zz", [](const CTString& s) { return s.nVal(36); }, 35 * 36 + 35},
      {L"ffffffffffffffffff", [](const CTString& s) { return s.nVal(16); }, -1},
      {L"12", [](const CTString& s) { return s.nVal(1); }, 0},
      {L"", [](const CTString& s) { return s.nVal(10); }, 0}};
  for (const auto& r : rows) EXPECT_EQ(r.q(CTString(r.text)), r.want) << r.text << " #" << &r - rows;
}

TEST(CTString, SeparatedPieces) {
  // Piece n counts from 0; a missing piece answers FALSE and leaves out alone; n below 0 is
  // piece 0 for the text separators; a missing token leaves out alone, n < 0 empties it.
  using Extract = BOOL (*)(const CTString&, CTString*);
  const struct { const wchar_t* text; Extract f; bool ok; const wchar_t* out; } rows[] = {
      {L"a;b;", [](const CTString& s, CTString* o) { return s.bExtraitChaine(2, L";", o); }, true, L""},
      {L"a;b;", [](const CTString& s, CTString* o) { return s.bExtraitChaine(3, L";", o); }, false, L"unchanged"},
      {L"a;b;", [](const CTString& s, CTString* o) { return s.bExtraitChaine(1u, L';', o); }, true, L"b"},
      {L"abc", [](const CTString& s, CTString* o) { return s.bExtraitChaine(0, L";", o); }, true, L"abc"},
      {L"", [](const CTString& s, CTString* o) { return s.bExtraitChaine(0u, L';', o); }, false, L"unchanged"},
      {L"a::b::c", [](const CTString& s, CTString* o) { return s.bExtraitChaine(2, L"::", o); }, true, L"c"},
      {L"a;b", [](const CTString& s, CTString* o) { return s.bExtraitChaine(-3, L";", o); }, true, L"a"},
      {L",,a,,b", [](const CTString& s, CTString* o) { return s.bExtraitChaineTok(1, L",", o); }, true, L"b"},
      {L",,a,,b", [](const CTString& s, CTString* o) { return s.bExtraitChaineTok(2, L",", o); }, false, L"unchanged"},
      {L"x", [](const CTString& s, CTString* o) { return s.bExtraitChaineTok(-1, L",", o); }, true, L""},
      {L"", [](const CTString& s, CTString* o) { return s.bExtraitChaineTok(0, L",", o); }, false, L"unchanged"}};
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
      {&CTString::pszSetFinDernierExistant, plain, plain, L""}, {&CTString::pszSetDebutPremierExistant, plain, plain, L""},
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
  name.FichierTemporaire(L"prefixtoolong");
  EXPECT_EQ(Str(name).substr(dir.size()).size(), 1u + 5 + 6);
  EXPECT_EQ(Str(name).substr(dir.size(), 6), L"/prefi");
  name.FichierTemporaire(nullptr);
  EXPECT_EQ(Str(name).substr(dir.size(), 5), L"/file");
  struct stat st;
  const std::string narrow(name.pszGet(), name.pszGet() + name.nTaille());
  EXPECT_NE(lstat(narrow.c_str(), &st), 0);  // a name only, no file
  setenv("TMPDIR", "/nonexistent/dir", 1);
  name.FichierTemporaire(L"x");
  EXPECT_EQ(Str(name).substr(0, 6), L"/tmp/x");
  if (saved != nullptr)
    setenv("TMPDIR", savedValue.c_str(), 1);
  else
    unsetenv("TMPDIR");
  rmdir(dirTemplate);
}

// ---- Random operations against std::wstring, arguments often taken from the string itself ----

std::wstring ReplaceAllRef(const std::wstring& s, const std::wstring& from, const std::wstring& to, int start) {
  const size_t st = start < 0 ? 0 : static_cast<size_t>(start);
  if (from.empty() || st >= s.size()) return s;
  std::wstring out = s.substr(0, st);
  size_t i = st;
  for (size_t h; (h = s.find(from, i)) != std::wstring::npos; i = h + from.size()) out += s.substr(i, h - i) + to;
  return out + s.substr(i);
}

size_t Clamp(int i, size_t len) { return i < 0 ? 0 : std::min(static_cast<size_t>(i), len); }
int Found(size_t h) { return h == std::wstring::npos ? -1 : static_cast<int>(h); }

class CModel {
 public:
  explicit CModel(unsigned seed) : m_rng(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  std::wstring Text(int max) {
    std::wstring s(static_cast<size_t>(Int(0, max)), L'a');
    for (wchar_t& c : s) c = L"ab ;\u00E9"[Int(0, 4)];
    return s;
  }

  // One random operation on s and ref.
  void Step(CTString& s, std::wstring& ref) {
    const std::wstring t = Text(6);
    const int a = Int(-2, static_cast<int>(ref.size()) + 2), b = Int(-2, 6);
    const size_t len = ref.size(), k = len == 0 ? 0 : static_cast<size_t>(Int(0, static_cast<int>(len)));
    const size_t nb = b <= 0 ? 0 : static_cast<size_t>(b);
    const auto part = [&](const std::wstring& x, size_t from) {
      return x.substr(from, b == -1 ? std::wstring::npos : static_cast<size_t>(b));
    };
    switch (Int(0, 22)) {
      case 0: s.Set(t.c_str()), ref = t; break;
      case 1: s.Add(t.c_str()), ref += t; break;
      case 2: s.Add(t.c_str(), b), ref += t.substr(0, nb); break;
      case 3: s.Insert(L'z'), ref.insert(ref.begin(), L'z'); break;
      case 4:
        s.Insert(t.c_str(), b, a);
        if (!t.empty() && b != 0 && b >= -1) ref.insert(Clamp(a, len), part(t, 0));
        break;
      case 5:
        s.Remplace(a, b, t.c_str());
        if (len > 0) ref.replace(Clamp(a, len), nb, t);
        break;
      case 6: {
        const std::wstring from = Text(2), to = Text(3);
        s.Remplace(from.c_str(), to.c_str(), a), ref = ReplaceAllRef(ref, from, to, a);
        break;
      }
      case 7:
        s.Remplace(L'a', L'b', a);
        std::replace(ref.begin() + static_cast<long>(Clamp(a, len)), ref.end(), L'a', L'b');
        break;
      case 8:
        s.Tronque(a);
        if (a >= 0 && static_cast<size_t>(a) <= len) ref.resize(static_cast<size_t>(a));
        break;
      case 9: s.TronqueDebut(b), ref.erase(0, nb); break;
      case 10:
        s.Coupe(a, b);
        if (a >= 0 && static_cast<size_t>(a) < len) ref.erase(static_cast<size_t>(a), nb);
        break;
      case 11: s.Renverse(), std::reverse(ref.begin(), ref.end()); break;
      case 12: s.Complete(b, L'.'), ref = ref.substr(0, nb) + std::wstring(nb - std::min(len, nb), L'.'); break;
      // The string's own text as the argument.
      case 13: s.Add(s.pszGet() + k), ref += ref.substr(k); break;
      case 14: s.Set(s.pszGet() + k), ref = ref.substr(k); break;
      case 15:
        s.Insert(s.pszGet() + k, b, a);
        if (k < len && b != 0 && b >= -1) ref.insert(Clamp(a, len), part(ref, k));
        break;
      case 16:
        s.Remplace(a, b, s.pszGet() + k);
        if (len > 0) ref.replace(Clamp(a, len), nb, ref.substr(k));
        break;
      case 17: s.printf(L"%s|%s", s.pszGet(), s.pszGet() + k), ref = ref + L"|" + ref.substr(k); break;
      case 18: s.Set(t.c_str(), s.pszGet() + k, s.pszGet()), ref = t + ref.substr(k) + ref; break;
      case 19: s.Add(s.pszGet(), t.c_str(), s.pszGet() + k), ref = ref + ref + t + ref.substr(k); break;
      case 20: s.Remplace(s.pszGet() + k, s.pszGet(), 0), ref = ReplaceAllRef(ref, ref.substr(k), ref, 0); break;
      case 21: s.Set(s.pszGet() + (len - std::min(len, nb)), static_cast<unsigned>(std::min(len, nb)));
        ref = ref.substr(len - std::min(len, nb));
        break;
      default: {
        CTString copy;
        copy = s;
        s = copy + t.c_str(), ref += t;
        break;
      }
    }
  }

  // The queries on a random needle, position and count.
  void Check(const CTString& s, const std::wstring& ref) {
    const std::wstring needle = Text(2);
    const int start = Int(-2, static_cast<int>(ref.size()) + 1), pos = Int(-2, static_cast<int>(ref.size()) + 1),
              n = Int(-1, 5);
    const bool found = !needle.empty() && start < static_cast<int>(ref.size());
    EXPECT_EQ(s.nPos(needle.c_str(), start), found ? Found(ref.find(needle, Clamp(start, ref.size()))) : -1);
    EXPECT_EQ(s.nRPos(needle.c_str()), needle.empty() ? -1 : Found(ref.rfind(needle)));
    int count = 0;
    for (size_t h = ref.find(needle); !needle.empty() && h != std::wstring::npos; h = ref.find(needle, h + needle.size()))
      ++count;
    EXPECT_EQ(s.nNbOcc(needle.c_str()), count);
    EXPECT_EQ(s.nPosParmi(needle.c_str()), needle.empty() ? -1 : Found(ref.find_first_of(needle)));
    EXPECT_EQ(Str(s.clExclu(needle.c_str())), ref.substr(0, std::min(ref.find_first_of(needle), ref.size())));
    EXPECT_EQ(Str(s.clContientUniquement(needle.c_str())),
              ref.substr(0, std::min(ref.find_first_not_of(needle), ref.size())));
    const size_t nn = n < 0 ? std::wstring::npos : static_cast<size_t>(n);
    EXPECT_EQ(Str(s.clMilieu(pos, n)), static_cast<size_t>(std::max(pos, 0)) >= ref.size() ? L"" : ref.substr(Clamp(pos, ref.size()), nn));
    EXPECT_EQ(Str(s.clGauche(n)), n <= 0 ? L"" : ref.substr(0, nn));
    EXPECT_EQ(Str(s.clDroite(n)), n <= 0 ? L"" : ref.substr(ref.size() - std::min(ref.size(), nn)));
    EXPECT_EQ(s.bCommencePar(needle.c_str()) != FALSE, ref.compare(0, needle.size(), needle) == 0);
    EXPECT_EQ(s.bTerminePar(needle.c_str()) != FALSE,
              ref.size() >= needle.size() && ref.compare(ref.size() - needle.size(), needle.size(), needle) == 0);
  }

 private:
  std::mt19937 m_rng;
};

TEST(CTString, RandomOperationsMatchStdWstring) {
  CModel m(2024);
  for (int round = 0; round < 400; ++round) {
    CTString s;
    std::wstring ref;
    for (int step = 0; step < 40; ++step) {
      m.Step(s, ref);
      if (ref.size() > 2000) s.Tronque(100), ref.resize(100);
      ASSERT_EQ(Str(s), ref) << "round " << round << " step " << step;
      ASSERT_EQ(s.nTaille(), static_cast<int>(ref.size()));
      m.Check(s, ref);
    }
  }
}

}  // namespace

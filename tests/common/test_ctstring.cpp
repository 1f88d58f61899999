// CTString: the edge cases of its operations, texts that lie in the string's own buffer, the
// formatting that must grow past the length estimate, and random operation sequences checked
// against std::wstring.
#include "common/ctstring.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
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

TEST(CTString, EmptyAndConstruction) {
  CTString empty;
  ASSERT_NE(empty.pszGet(), nullptr);
  EXPECT_STREQ(empty.pszGet(), L"");
  EXPECT_EQ(empty.nTaille(), 0);
  EXPECT_EQ(empty.cGetChar(0), 0);
  EXPECT_EQ(empty.cGetChar(5), 0);

  EXPECT_EQ(Str(CTString(L"abc")), L"abc");
  EXPECT_EQ(Str(CTString(L"abcdef", 3)), L"abc");
  EXPECT_EQ(Str(CTString(L"ab", 10)), L"ab");
  EXPECT_EQ(Str(CTString(L"a", nullptr, L"c")), L"ac");
  EXPECT_EQ(Str(CTString("caf\xe9")), L"caf\u00E9");  // code page 1252
  CTString a(L"text");
  CTString copy(a);
  CTString moved(std::move(copy));
  EXPECT_EQ(Str(moved), L"text");
  EXPECT_EQ(copy.nTaille(), 0);
  EXPECT_TRUE(a == moved);
  EXPECT_FALSE(a != moved);
  EXPECT_TRUE(CTString() == CTString(L""));
  EXPECT_EQ(Str(a + L"!"), L"text!");
  a = a;
  EXPECT_EQ(Str(a), L"text");
  a = L'x';
  EXPECT_EQ(Str(a), L"x");
  a = L'\0';
  EXPECT_EQ(a.nTaille(), 0);
}

TEST(CTString, AssignmentAndBuffers) {
  CTString s(L"abc");
  s.Set(L"xyz");  // same length: the buffer is reused
  EXPECT_EQ(Str(s), L"xyz");
  s.Set(nullptr);
  EXPECT_EQ(s.nTaille(), 0);
  s.Set(L"abcdef", 4u);
  EXPECT_EQ(Str(s), L"abcd");
  s.SetI8(LLONG_MIN);
  s.AddI4(INT_MIN);
  EXPECT_EQ(Str(s), L"-9223372036854775808-2147483648");

  wchar_t* p = static_cast<wchar_t*>(malloc(3 * sizeof(wchar_t)));
  p[0] = L'h';
  p[1] = L'i';
  p[2] = 0;
  s.SetBuffer(p);
  EXPECT_EQ(s.pszGet(), p);
  CTString other;
  other.Transfert(s);
  EXPECT_EQ(other.pszGet(), p);
  EXPECT_EQ(s.nTaille(), 0);
  other.Transfert(other);
  EXPECT_EQ(Str(other), L"hi");
  ASSERT_TRUE(other._SetBufferSize(5));
  wcscpy(const_cast<wchar_t*>(other.pszGet()), L"hello");
  EXPECT_EQ(Str(other), L"hello");
  other.Vide();
  EXPECT_EQ(other.nTaille(), 0);

  other.Set(L"abc");
  other.SetChar(1, L'X');
  other.SetChar(3, L'Y');  // beyond the text: nothing
  EXPECT_EQ(Str(other), L"aXc");
  EXPECT_EQ(other.cGetChar(-1), 0);
}

TEST(CTString, HostStrings) {
  CXYString<wchar_t> host(L"host");
  CTString s;
  s.Set(host);
  EXPECT_EQ(Str(s), L"host");
  s.Add(&host);
  s.Add(host);
  EXPECT_EQ(Str(s), L"hosthosthost");
  s.Set(static_cast<const CXYString<wchar_t>*>(nullptr));
  EXPECT_EQ(s.nTaille(), 0);
  CXYString<wchar_t> none;
  s.Set(&none);
  EXPECT_EQ(s.nTaille(), 0);
}

TEST(CTString, SetANSIExConvertsExactlyNBytes) {
  CTString s(L"before");
  // No terminator after the n bytes: reading one more would be caught.
  Heap<char> abc = ExactChars(std::string("abcdef"));
  s.SetANSIEx(abc.get(), 3, 1252);
  EXPECT_EQ(Str(s), L"abc");
  s.SetANSIEx(abc.get(), 6, 1252);
  EXPECT_EQ(Str(s), L"abcdef");
  Heap<char> utf8 = ExactChars(std::string("\xc3\xa9x\xe2\x98\xba"));
  s.SetANSIEx(utf8.get(), 6, 65001);
  EXPECT_EQ(Str(s), L"\u00E9x\u263A");
  s.SetANSIEx(utf8.get(), 3, 65001);
  EXPECT_EQ(Str(s), L"\u00E9x");
  s.SetANSIEx("a\0b", 3, 1252);  // a NUL ends the text
  EXPECT_EQ(Str(s), L"a");
  s.SetANSIEx("whole", -1, 1252);
  EXPECT_EQ(Str(s), L"whole");
  // A double-byte lead cut short fails the conversion: the string is emptied.
  s.SetANSIEx("\x82", 1, 932);
  EXPECT_EQ(s.nTaille(), 0);
  s.Set(L"x");
  s.SetANSIEx(nullptr, 3, 1252);
  EXPECT_EQ(s.nTaille(), 0);
  s.SetANSIEx("abc", 0, 1252);
  EXPECT_EQ(s.nTaille(), 0);
}

TEST(CTString, Comparisons) {
  CTString s(L"\u00C9COLE");
  EXPECT_TRUE(s.bEstEgalI(L"ecole"));
  EXPECT_FALSE(s.bEstEgal(L"ecole"));
  EXPECT_TRUE(s.bEstEgal(L"\u00C9COLE"));
  EXPECT_TRUE(CTString().bEstEgal(nullptr));
  EXPECT_TRUE(CTString().bEstEgalI(L""));
  EXPECT_TRUE(s.bEstEgalI(CTString(L"\u00E9cole")));

  CTString t(L"\u00C9cole normale");
  EXPECT_TRUE(t.bCommencePar(L"\u00C9co"));
  EXPECT_FALSE(t.bCommencePar(L"eco"));
  EXPECT_TRUE(t.bCommenceParI(L"ECOLE"));
  EXPECT_TRUE(t.bTerminePar(L"male"));
  EXPECT_TRUE(t.bTermineParI(L"NORMALE"));
  EXPECT_FALSE(t.bTermineParI(L"x normale plus long que le texte"));
  EXPECT_TRUE(t.bCommencePar(L""));
  EXPECT_TRUE(t.bTerminePar(L'e'));
  EXPECT_FALSE(CTString().bTerminePar(L'e'));
}

TEST(CTString, SearchesIgnoringCase) {
  CTString s(L"aBcAbab");
  EXPECT_EQ(s.nUpPos(L"ab"), 0);
  EXPECT_EQ(s.nUpPos(L"ab", 1), 3);
  EXPECT_EQ(s.nUpPos(L"abc", 5), -1);  // cannot fit
  EXPECT_EQ(CTString(L"aaaa").nRPos(L"aa"), 2);  // overlapping
  EXPECT_EQ(CTString().nRPos(L'a'), -1);
}

TEST(CTString, NumberInAnyBase) {
  CTString s(L"1aZ");
  EXPECT_EQ(s.nVal(16, 0, -1), 26);
  EXPECT_EQ(CTString(L"ab12x").nVal(10, 2, -1), 12);
  EXPECT_EQ(CTString(L"ab12x").nVal(10, 2, 1), 1);
  EXPECT_EQ(CTString(L"zz").nVal(36, 0, -1), 35 * 36 + 35);
  EXPECT_EQ(CTString(L"ffffffffffffffffff").nVal(16), -1);  // wraps
  EXPECT_EQ(CTString(L"12").nVal(1), 0);
  EXPECT_EQ(CTString().nVal(10), 0);
}

TEST(CTString, SeparatedPieces) {
  CTString s(L"a;b;");
  CTString out(L"unchanged");
  EXPECT_TRUE(s.bExtraitChaine(2, L";", &out));
  EXPECT_EQ(out.nTaille(), 0);
  out.Set(L"unchanged");
  EXPECT_FALSE(s.bExtraitChaine(3, L";", &out));
  EXPECT_EQ(Str(out), L"unchanged");
  EXPECT_TRUE(s.bExtraitChaine(1u, L';', &out));
  EXPECT_EQ(Str(out), L"b");
  EXPECT_TRUE(CTString(L"abc").bExtraitChaine(0, L";", &out));
  EXPECT_EQ(Str(out), L"abc");
  EXPECT_FALSE(CTString().bExtraitChaine(0u, L';', &out));
  EXPECT_TRUE(CTString(L"a::b::c").bExtraitChaine(2, L"::", &out));
  EXPECT_EQ(Str(out), L"c");
  EXPECT_TRUE(CTString(L"a;b").bExtraitChaine(-3, L";", &out));
  EXPECT_EQ(Str(out), L"a");

  const wchar_t* start = nullptr;
  int pos = -1, len = -1;
  EXPECT_TRUE(s.bExtraitPosTailleChaine(1, L";", &pos, &len));
  EXPECT_EQ(pos, 2);
  EXPECT_EQ(len, 1);
  EXPECT_TRUE(s.bExtraitChainePos(0u, L'\0', &start, &len));
  EXPECT_EQ(len, 4);
  EXPECT_FALSE(s.bExtraitChainePos(1u, L'\0', &start, &len));

  EXPECT_TRUE(CTString(L",,a,,b").bExtraitChaineTok(1, L",", &out));
  EXPECT_EQ(Str(out), L"b");
  out.Set(L"keep");
  EXPECT_FALSE(CTString(L",,a,,b").bExtraitChaineTok(2, L",", &out));
  EXPECT_EQ(Str(out), L"keep");
  EXPECT_TRUE(CTString(L"x").bExtraitChaineTok(-1, L",", &out));
  EXPECT_EQ(out.nTaille(), 0);
  EXPECT_FALSE(CTString().bExtraitChaineTok(0, L",", &out));

  CTString r(L"a;b;");
  EXPECT_TRUE(r.bExtraitEtRemplaceChaine(1, L";", L"XY"));
  EXPECT_EQ(Str(r), L"a;XY;");
  EXPECT_TRUE(r.bExtraitEtRemplaceChaine(2, L";", L"end"));
  EXPECT_EQ(Str(r), L"a;XY;end");
  EXPECT_FALSE(r.bExtraitEtRemplaceChaine(3, L";", L"no"));
  EXPECT_FALSE(CTString().bExtraitEtRemplaceChaine(0, L";", L"no"));

  // A piece extracted into the string itself.
  CTString self(L"first;second");
  EXPECT_TRUE(self.bExtraitChaine(1, L";", &self));
  EXPECT_EQ(Str(self), L"second");
}

class CCollect : public IVisiteurPourTouteChaine {
 public:
  int nVisite(int index, const wchar_t* start, int length) override {
    pieces.emplace_back(index, std::wstring(start, static_cast<size_t>(length)));
    return index == stopAt ? 0 : 2;
  }
  std::vector<std::pair<int, std::wstring>> pieces;
  int stopAt = -1;
};

TEST(CTString, VisitsSeparatedPieces) {
  CCollect v;
  EXPECT_EQ(CTString(L"a--bc--").PourTouteChaineSepareePar(L"--", &v), 2);
  const std::vector<std::pair<int, std::wstring>> want = {{0, L"a"}, {1, L"bc"}, {2, L""}};
  EXPECT_EQ(v.pieces, want);
  CCollect stop;
  stop.stopAt = 1;
  EXPECT_EQ(CTString(L"a,b,c").PourTouteChaineSepareePar(L",", &stop), 0);
  EXPECT_EQ(stop.pieces.size(), 2u);
  CCollect none;
  EXPECT_EQ(CTString().PourTouteChaineSepareePar(L",", &none), 1);
  EXPECT_TRUE(none.pieces.empty());
}

TEST(CTString, SetAroundACharacter) {
  CTString s;
  const wchar_t* text = L"a/b/c";
  EXPECT_EQ(s.pszSetFinDernier(text, L'/'), text + 4);
  EXPECT_EQ(Str(s), L"c");
  EXPECT_EQ(s.pszSetDebutPremier(text, L'/'), text + 2);
  EXPECT_EQ(Str(s), L"a");
  EXPECT_EQ(s.pszSetDebutDernier(text, L'/'), text + 4);
  EXPECT_EQ(Str(s), L"a/b");
  EXPECT_EQ(s.pszSetFinPremier(text, L'/'), text + 2);
  EXPECT_EQ(Str(s), L"b/c");
  EXPECT_EQ(s.pszSetFinDernier(L"abc", L'/'), nullptr);
  EXPECT_EQ(Str(s), L"abc");
  EXPECT_EQ(s.pszSetDebutPremier(L"xyz", L'/'), nullptr);
  EXPECT_EQ(Str(s), L"xyz");
  const wchar_t* plain = L"abc";
  EXPECT_EQ(s.pszSetFinDernierExistant(plain, L'/'), plain);
  EXPECT_EQ(s.nTaille(), 0);
  s.Set(L"x");
  EXPECT_EQ(s.pszSetDebutPremierExistant(plain, L'/'), plain);
  EXPECT_EQ(s.nTaille(), 0);
  EXPECT_NE(s.pszSetFinPremierExistant(text, L'/'), nullptr);
  EXPECT_EQ(Str(s), L"b/c");
  EXPECT_NE(s.pszSetDebutDernierExistant(text, L'/'), nullptr);
  EXPECT_EQ(Str(s), L"a/b");
  // The string's own text as the source.
  s.Set(L"dir/file");
  s.pszSetFinPremier(s.pszGet(), L'/');
  EXPECT_EQ(Str(s), L"file");
}

TEST(CTString, EditingEdgeCases) {
  CTString s(L"ab  ");
  s.SansEspace();
  EXPECT_EQ(Str(s), L"ab");
  s.Set(L"   ");
  s.SansEspace();
  EXPECT_EQ(s.nTaille(), 0);
  s.Set(L"  ab");
  s.SansEspace();
  EXPECT_EQ(Str(s), L"  ab");
  s.Set(L"ab\t");
  s.SansEspace();
  EXPECT_EQ(Str(s), L"ab\t");

  s.Set(L"ab");
  s.Complete(5, L'*');
  EXPECT_EQ(Str(s), L"ab***");
  s.Set(L"abcdefg");
  s.Complete(5, L'*');
  EXPECT_EQ(Str(s), L"abcde");

  s.Set(L"aBcAB");
  s.RemplaceI(L"ab", L"X", 0);
  EXPECT_EQ(Str(s), L"XcX");
  s.Set(L"abab");
  s.Remplace(L"ab", L"X", 2);
  EXPECT_EQ(Str(s), L"abX");
  s.Set(L"abcd");
  s.Coupe(1, 2);
  EXPECT_EQ(Str(s), L"ad");
  s.Set(L"abcd");
  s.Coupe(2, 10);
  EXPECT_EQ(Str(s), L"ab");

  s.Set(L"a");
  const wchar_t xy[3] = {L'x', L'y', 0};
  s.Add(xy, 3);
  EXPECT_EQ(Str(s), L"axy");
  s.Add(L"zzz", 0);
  s.Add(nullptr, 4);
  s.Add(L"12345", 2);
  EXPECT_EQ(Str(s), L"axy12");
  s.Add(nullptr, L"-", L"+");
  EXPECT_EQ(Str(s), L"axy12-+");
  s.Insert(L'<');
  s.Add(L'>');
  s.Add(L'\0');
  EXPECT_EQ(Str(s), L"<axy12-+>");

  s.Set(L"a b c");
  s.Insecable();
  EXPECT_EQ(Str(s), L"a\u00A0b\u00A0c");
  s.Set(L"  a b \t");
  s.Trim();
  EXPECT_EQ(Str(s), L"a b");
  s.Set(L"xxaxx");
  s.RTrim(L'x');
  EXPECT_EQ(Str(s), L"xxa");
  s.LTrim(L'x');
  EXPECT_EQ(Str(s), L"a");
  s.Set(L"xxaxx");
  s.Trim(L'x');
  EXPECT_EQ(Str(s), L"a");
}

TEST(CTString, LocaleFolding) {
  CTString s(L"\u00E9cole");
  s.Majuscule();
  EXPECT_EQ(Str(s), L"\u00C9COLE");
  s.Minuscule();
  EXPECT_EQ(Str(s), L"\u00E9cole");
  s.Set(L"\u00C9l\u00E8ve");
  s.SansAccent();
  EXPECT_EQ(Str(s), L"Eleve");
  s.SetStandard(L"\u00E9l\u00E8ve");
  EXPECT_EQ(Str(s), L"ELEVE");
  s.Set(L"d\u00E9j\u00E0");
  s.SetStandard(s.pszGet());
  EXPECT_EQ(Str(s), L"DEJA");
  s.SetStandard(nullptr);
  EXPECT_EQ(s.nTaille(), 0);
  CTString e;
  e.Majuscule();
  e.SansAccent();
  EXPECT_EQ(e.nTaille(), 0);
}

TEST(CTString, Ellipse) {
  CTString s;
  s.Ellipse(L"abcdefghij", 6, ELLIPSIS_END);
  EXPECT_EQ(Str(s), L"abc...");
  s.Ellipse(L"abcdefghij", 6, ELLIPSIS_START);
  EXPECT_EQ(Str(s), L"...hij");
  s.Ellipse(L"abcdefghij", 2, ELLIPSIS_END);
  EXPECT_EQ(Str(s), L"ab");
  s.Ellipse(L"abc", UINT_MAX, ELLIPSIS_END);
  EXPECT_EQ(Str(s), L"abc");
  s.Ellipse(nullptr, 5, ELLIPSIS_END);
  EXPECT_EQ(s.nTaille(), 0);
  s.Set(L"0123456789");
  s.Ellipse(s.pszGet(), 7, ELLIPSIS_MIDDLE);
  EXPECT_EQ(s.nTaille(), 7);
}

TEST(CTString, FormatGrowsPastTheEstimate) {
  CTString s;
  EXPECT_EQ(s.printf(L"%.300f", 1e308), 610);
  EXPECT_EQ(s.nTaille(), 610);
  EXPECT_EQ(s.printf(L"%s=%d|%S|%I64d", L"k", 5, "n", 1LL << 40), 19);
  EXPECT_EQ(Str(s), L"k=5|n|1099511627776");
  const std::wstring big(50000, L'b');
  EXPECT_EQ(s.printf(L"<%s>", big.c_str()), 50002);
  // Arguments taken from the string itself.
  s.Set(L"abc");
  EXPECT_EQ(s.printf(L"%s-%s", s.pszGet(), s.pszGet() + 1), 6);
  EXPECT_EQ(Str(s), L"abc-bc");
  s.AddPrintf(L"[%c]", L'\u263A');
  EXPECT_EQ(Str(s), L"abc-bc[\u263A]");
  // A failure leaves an empty text.
  EXPECT_EQ(s.printf(L"%S", "\xff"), -1);
  EXPECT_EQ(s.nTaille(), 0);
  s.Set(L"x");
  EXPECT_EQ(s.printf(nullptr), -1);
  EXPECT_EQ(s.nTaille(), 0);
  EXPECT_EQ(s.printf(L""), 0);
  EXPECT_EQ(s.nTaille(), 0);
}

TEST(CTString, MessageFormatting) {
  CTString s(L"old");
  s.FormatMessageW(L"%s has %d rows", L"t", 3);
  EXPECT_EQ(Str(s), L"t has 3 rows");
  s.FormatMessageWin(L"%1 has %2!d! rows%0 ignored", L"u", 4);
  EXPECT_EQ(Str(s), L"u has 4 rows");
  // Failures leave the string as it was.
  s.FormatMessageWin(L"bad %", 1);
  EXPECT_EQ(Str(s), L"u has 4 rows");
  s.FormatMessageW(L"%S", "\xff");
  EXPECT_EQ(Str(s), L"u has 4 rows");
}

TEST(CTString, TemporaryFileNames) {
  char dirTemplate[] = "/tmp/qxtmpXXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const char* saved = getenv("TMPDIR");
  const std::string savedValue = saved != nullptr ? saved : "";
  setenv("TMPDIR", dirTemplate, 1);
  const std::wstring dir(dirTemplate, dirTemplate + strlen(dirTemplate));

  CTString name;
  name.FichierTemporaire(L"q\u00E9");
  EXPECT_EQ(name.nTaille(), static_cast<int>(dir.size() + 1 + 2 + 6)) << Str(name);
  EXPECT_EQ(Str(name).substr(0, dir.size() + 3), dir + L"/q\u00E9");
  CTString other;
  other.FichierTemporaire(L"q\u00E9");
  EXPECT_FALSE(name == other);
  name.FichierTemporaire(L"prefixtoolong");
  EXPECT_EQ(Str(name).substr(dir.size(), 6), L"/prefi");
  EXPECT_EQ(name.nTaille(), static_cast<int>(dir.size() + 1 + 5 + 6));
  name.FichierTemporaire(nullptr);
  EXPECT_EQ(Str(name).substr(dir.size(), 5), L"/file");
  struct stat st;
  std::string narrow;
  for (wchar_t c : Str(name)) narrow += static_cast<char>(c);
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

// ---- Random operations against std::wstring ----

class CRandomText {
 public:
  explicit CRandomText(unsigned seed) : m_rng(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  std::wstring Text(int max) {
    static const wchar_t kAlphabet[] = L"ab ;\u00E9";
    std::wstring s(static_cast<size_t>(Int(0, max)), L'a');
    for (wchar_t& c : s) c = kAlphabet[Int(0, 4)];
    return s;
  }

 private:
  std::mt19937 m_rng;
};

std::wstring ReplaceAllRef(const std::wstring& s, const std::wstring& from, const std::wstring& to, int start) {
  if (from.empty() || s.empty()) return s;
  const size_t st = start < 0 ? 0 : static_cast<size_t>(start);
  if (st >= s.size()) return s;
  std::wstring out = s.substr(0, st);
  for (size_t i = st;;) {
    const size_t h = s.find(from, i);
    if (h == std::wstring::npos) {
      out += s.substr(i);
      return out;
    }
    out += s.substr(i, h - i) + to;
    i = h + from.size();
  }
}

size_t Clamp(int i, size_t len) { return i < 0 ? 0 : std::min(static_cast<size_t>(i), len); }

void CheckQueries(const CTString& s, const std::wstring& ref, CRandomText& r) {
  const std::wstring needle = r.Text(2);
  const int start = r.Int(-2, static_cast<int>(ref.size()) + 1);
  int want = -1;
  if (!ref.empty() && !needle.empty() && start < static_cast<int>(ref.size())) {
    const size_t h = ref.find(needle, Clamp(start, ref.size()));
    want = h == std::wstring::npos ? -1 : static_cast<int>(h);
  }
  EXPECT_EQ(s.nPos(needle.c_str(), start), want);
  const size_t rh = needle.empty() ? std::wstring::npos : ref.rfind(needle);
  EXPECT_EQ(s.nRPos(needle.c_str()), rh == std::wstring::npos ? -1 : static_cast<int>(rh));
  int count = 0;
  if (!needle.empty())
    for (size_t h = ref.find(needle); h != std::wstring::npos; h = ref.find(needle, h + needle.size())) ++count;
  EXPECT_EQ(s.nNbOcc(needle.c_str()), count);
  const size_t fo = needle.empty() ? std::wstring::npos : ref.find_first_of(needle);
  EXPECT_EQ(s.nPosParmi(needle.c_str()), fo == std::wstring::npos ? -1 : static_cast<int>(fo));
  EXPECT_EQ(Str(s.clExclu(needle.c_str())), ref.substr(0, std::min(ref.find_first_of(needle), ref.size())));
  EXPECT_EQ(Str(s.clContientUniquement(needle.c_str())),
            ref.substr(0, std::min(ref.find_first_not_of(needle), ref.size())));
  const int pos = r.Int(-2, static_cast<int>(ref.size()) + 1), n = r.Int(-1, 5);
  const std::wstring mid = static_cast<size_t>(std::max(pos, 0)) >= ref.size()
                               ? L""
                               : ref.substr(Clamp(pos, ref.size()), n < 0 ? std::wstring::npos : static_cast<size_t>(n));
  EXPECT_EQ(Str(s.clMilieu(pos, n)), mid);
  EXPECT_EQ(Str(s.clGauche(n)), n <= 0 ? L"" : ref.substr(0, static_cast<size_t>(n)));
  EXPECT_EQ(Str(s.clDroite(n)), n <= 0 ? L"" : ref.substr(ref.size() - std::min(ref.size(), static_cast<size_t>(n))));
  EXPECT_EQ(s.bCommencePar(needle.c_str()) != FALSE, ref.compare(0, needle.size(), needle) == 0);
  EXPECT_EQ(s.bTerminePar(needle.c_str()) != FALSE,
            ref.size() >= needle.size() && ref.compare(ref.size() - needle.size(), needle.size(), needle) == 0);
}

TEST(CTString, RandomOperationsMatchStdWstring) {
  CRandomText r(2024);
  for (int round = 0; round < 400; ++round) {
    CTString s;
    std::wstring ref;
    for (int step = 0; step < 40; ++step) {
      const std::wstring t = r.Text(6);
      const int op = r.Int(0, 24);
      const int a = r.Int(-2, static_cast<int>(ref.size()) + 2), b = r.Int(-2, 6);
      const size_t len = ref.size();
      const size_t k = len == 0 ? 0 : static_cast<size_t>(r.Int(0, static_cast<int>(len)));
      switch (op) {
        case 0:
          s.Set(t.c_str());
          ref = t;
          break;
        case 1:
          s.Add(t.c_str());
          ref += t;
          break;
        case 2:
          s.Add(t.c_str(), b);
          if (b > 0) ref += t.substr(0, static_cast<size_t>(b));
          break;
        case 3:
          s.Add(static_cast<wchar_t>(L'a' + step % 3));
          ref += static_cast<wchar_t>(L'a' + step % 3);
          break;
        case 4:
          s.Insert(L'z');
          ref.insert(ref.begin(), L'z');
          break;
        case 5:
          s.Insert(t.c_str(), b, a);
          if (!t.empty() && b != 0 && b >= -1)
            ref.insert(Clamp(a, len), t.substr(0, b == -1 ? std::wstring::npos : static_cast<size_t>(b)));
          break;
        case 6:
          s.Remplace(a, b, t.c_str());
          if (len > 0) ref.replace(Clamp(a, len), b <= 0 ? 0 : static_cast<size_t>(b), t);
          break;
        case 7: {
          const std::wstring from = r.Text(2), to = r.Text(3);
          s.Remplace(from.c_str(), to.c_str(), a);
          ref = ReplaceAllRef(ref, from, to, a);
          break;
        }
        case 8:
          s.Remplace(L'a', L'b', a);
          for (size_t i = Clamp(a, len); i < len; ++i)
            if (ref[i] == L'a') ref[i] = L'b';
          break;
        case 9:
          s.Tronque(a);
          if (a >= 0 && static_cast<size_t>(a) <= len) ref.resize(static_cast<size_t>(a));
          break;
        case 10:
          s.TronqueDebut(b);
          if (b > 0) ref.erase(0, static_cast<size_t>(b));
          break;
        case 11:
          s.Coupe(a, b);
          if (a >= 0 && static_cast<size_t>(a) < len && b > 0) ref.erase(static_cast<size_t>(a), static_cast<size_t>(b));
          break;
        case 12:
          s.SansEspace();
          while (!ref.empty() && ref.back() == L' ') ref.pop_back();
          break;
        case 13:
          s.Renverse();
          std::reverse(ref.begin(), ref.end());
          break;
        case 14:
          s.Complete(b, L'.');
          ref = b <= 0 ? L"" : ref.substr(0, static_cast<size_t>(b)) + std::wstring(static_cast<size_t>(b) - std::min(len, static_cast<size_t>(b)), L'.');
          break;
        // The string's own text as the argument.
        case 15:
          s.Add(s.pszGet() + k);
          ref += ref.substr(k);
          break;
        case 16:
          s.Set(s.pszGet() + k);
          ref = ref.substr(k);
          break;
        case 17:
          s.Insert(s.pszGet() + k, b, a);
          if (k < len && b != 0 && b >= -1)
            ref.insert(Clamp(a, len), ref.substr(k, b == -1 ? std::wstring::npos : static_cast<size_t>(b)));
          break;
        case 18:
          s.Remplace(a, b, s.pszGet() + k);
          if (len > 0) ref.replace(Clamp(a, len), b <= 0 ? 0 : static_cast<size_t>(b), ref.substr(k));
          break;
        case 19:
          s.printf(L"%s|%s", s.pszGet(), s.pszGet() + k);
          ref = ref + L"|" + ref.substr(k);
          break;
        case 20:
          s.Set(t.c_str(), s.pszGet() + k, s.pszGet());
          ref = t + ref.substr(k) + ref;
          break;
        case 21:
          s.Add(s.pszGet(), t.c_str(), s.pszGet() + k);
          ref = ref + ref + t + ref.substr(k);
          break;
        case 22:
          s.Remplace(s.pszGet() + k, s.pszGet(), 0);
          ref = ReplaceAllRef(ref, ref.substr(k), ref, 0);
          break;
        case 23: {
          CTString copy;
          copy = s;
          s = copy + t.c_str();
          ref += t;
          break;
        }
        default: {
          const size_t ln = std::min<size_t>(len, static_cast<size_t>(std::max(b, 0)));
          s.Set(s.pszGet() + (len - ln), static_cast<unsigned int>(ln));
          ref = ref.substr(len - ln);
          break;
        }
      }
      if (ref.size() > 2000) {
        s.Tronque(100);
        ref.resize(100);
      }
      ASSERT_EQ(Str(s), ref) << "round " << round << " step " << step << " op " << op;
      ASSERT_EQ(s.nTaille(), static_cast<int>(ref.size()));
      CheckQueries(s, ref, r);
    }
  }
}

}  // namespace

// CTStringArray: ownership through every add, replace and remove (the sanitizers see leaks and
// double deletes), texts from the array itself, search, sort, and split/join against a model.
#include "common/tstringarray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

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
std::wstring Random(std::mt19937& rng, const std::wstring& alphabet, size_t maxLen) {
  std::wstring s(rng() % (maxLen + 1), L' ');
  for (wchar_t& c : s) c = alphabet[rng() % alphabet.size()];
  return s;
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
      {L"a\u00E9", FALSE, 0, 1}, {L"a\u00E9", TRUE, 0, -1}, {L"AE", TRUE, 0, 3}, {L"aE", FALSE, 2, 2}, {L"ae", FALSE, 4, -1}};
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
  // gives the text; pieces free of separator characters come back from their join.
  std::mt19937 rng(3);
  const Items seps = {L";", L";;", L",;", L"ab", L""};
  for (int round = 0; round < 200; ++round) {
    const std::wstring sep = round == 0 ? L";" : seps[rng() % seps.size()];
    const std::wstring text = round == 0 ? L"a;b;" : Random(rng, L"ab;,", 12);
    Items pieces;
    for (size_t from = 0, hit; !text.empty(); from = hit + sep.size()) {
      hit = sep.empty() ? std::wstring::npos : text.find(sep, from);
      pieces.push_back(text.substr(from, hit - from));
      if (hit == std::wstring::npos) break;
    }
    a.Decoupe(text.c_str(), sep.c_str());
    ASSERT_EQ(Of(a), pieces) << text << L" / " << sep;
    ASSERT_TRUE(a.bFusion(&out, sep.c_str()));
    ASSERT_STREQ(out.pszGet(), text.c_str());
    pieces.clear();
    for (int i = 0, n = 1 + static_cast<int>(rng() % 5); i < n; ++i) pieces.push_back(Random(rng, L"xyz", 3));
    if (sep.empty() || (pieces.size() == 1 && pieces[0].empty())) continue;
    Fill(a, pieces);
    ASSERT_TRUE(a.bFusion(&out, sep.c_str()));
    a.Decoupe(out, sep.c_str());
    ASSERT_EQ(Of(a), pieces);
  }
}

}  // namespace

// CStringParameter: items found only where one starts, case but not accents ignored, writes that
// would break the items refused, and random sequences against a list of (name, value) items.
#include "common/stringparameter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

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
  struct Row {
    const wchar_t *settings, *name;
    Read read;
    const wchar_t *afterRemove, *value, *afterReplace;
  };
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
  struct Item {
    size_t group;
    std::wstring name, value;
  };
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

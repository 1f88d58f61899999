// CStringParameter: items found only where one starts, names matched ignoring case but not
// accents, writes that would break the item structure refused, and random read/write/remove
// sequences checked against a list of (name, value) items.
#include "common/stringparameter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct Read {
  std::wstring value;
  int found;
  bool operator==(const Read&) const = default;
};
void PrintTo(const Read& r, std::ostream* os) { *os << testing::PrintToString(r.value) << " found " << r.found; }

Read Get(CTString& settings, const wchar_t* name, int bRemove = FALSE) {
  CTString value(L"stale");
  int found = -1;
  EXPECT_TRUE(CStringParameter::s_bGetParameterValue(&value, &found, &settings, name, bRemove));
  return {value.pszGet(), found};
}

std::wstring Removed(const wchar_t* text, const wchar_t* name) {
  CTString s(text);
  Get(s, name, TRUE);
  return s.pszGet();
}

std::wstring Replaced(const wchar_t* text, const wchar_t* name, const wchar_t* value) {
  CTString s(text);
  EXPECT_TRUE(CStringParameter::s_bReplaceParameterValue(&s, value, name));
  return s.pszGet();
}

TEST(CStringParameter, Reading) {
  CTString s(L"Server = db1 ; Port=3306");
  EXPECT_EQ(Get(s, L"server"), (Read{L"db1", 1}));
  EXPECT_EQ(Get(s, L"PORT"), (Read{L"3306", 1}));
  s = L"A=;B=2";
  EXPECT_EQ(Get(s, L"A"), (Read{L"", 1}));
  EXPECT_EQ(Get(s, L"C"), (Read{L"", 0}));
  EXPECT_STREQ(s.pszGet(), L"A=;B=2");

  // Only where an item starts: not at the end of a longer name, not inside a value.
  s = L"Server Port=3306;Port=1";
  EXPECT_EQ(Get(s, L"Port"), (Read{L"1", 1}));
  s = L"A=B=2; B =3;Unix Socket=/s;Port Number=5";
  EXPECT_EQ(Get(s, L"B"), (Read{L"3", 1}));
  EXPECT_EQ(Get(s, L"A"), (Read{L"B=2", 1}));  // '=' belongs to the value; ';' ends it
  EXPECT_EQ(Get(s, L"Socket"), (Read{L"", 0}));
  EXPECT_EQ(Get(s, L"Port"), (Read{L"", 0}));
  EXPECT_EQ(Get(s, L"unix socket"), (Read{L"/s", 1}));

  // Case is ignored, accents are not.
  s = L"D\u00C9LAI=5";
  EXPECT_EQ(Get(s, L"d\u00E9lai"), (Read{L"5", 1}));
  EXPECT_EQ(Get(s, L"delai"), (Read{L"", 0}));

  // Names that could never be written are never found.
  s = L"A=1; B=2";
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L" B", L"B ", L"A=1", L"1; B"})
    EXPECT_EQ(Get(s, name), (Read{L"", 0}));
  EXPECT_TRUE(CStringParameter::s_bGetParameterValue(nullptr, nullptr, nullptr, L"A", TRUE));
  EXPECT_TRUE(CStringParameter::s_bParameterDefined(&s, L"b"));
  EXPECT_FALSE(CStringParameter::s_bParameterDefined(nullptr, L"b"));

  int namePos, valueStart, valueEnd;
  s = L"A=1;  B = xy ";
  ASSERT_TRUE(CStringParameter::_s_bGetParameterPos(namePos, valueStart, valueEnd, &s, L"B"));
  EXPECT_EQ(namePos, 6);
  EXPECT_EQ(valueStart, 10);
  EXPECT_EQ(valueEnd, 12);
  EXPECT_FALSE(CStringParameter::_s_bGetParameterPos(namePos, valueStart, valueEnd, &s, L"C"));
  EXPECT_EQ(namePos, -1);
}

TEST(CStringParameter, RemovingAndReplacing) {
  EXPECT_EQ(Removed(L"A=1; B=2", L"A"), L"B=2");
  EXPECT_EQ(Removed(L"A=1; B=2", L"B"), L"A=1;");  // the separator before the last item stays
  EXPECT_EQ(Removed(L"A=1", L"a"), L"");
  EXPECT_EQ(Removed(L"Server Port=3306;Port=1", L"Port"), L"Server Port=3306;");
  EXPECT_EQ(Removed(L"A=1;B=2 ; ", L"B"), L"A=1;");
  EXPECT_EQ(Removed(L" ;A=1 ; ;B=2", L"A"), L"B=2");
  EXPECT_EQ(Removed(L"A=1;B=2;C=3", L"B"), L"A=1;C=3");

  EXPECT_EQ(Replaced(L"A=xyz;B=1", L"A", L"7"), L"A=7;B=1");
  EXPECT_EQ(Replaced(L"A=;B=1", L"a", L"7"), L"A=7;B=1");
  EXPECT_EQ(Replaced(L"A=xyz;B=1", L"C", L"7"), L"A=xyz;B=1;C=7");
  EXPECT_EQ(Replaced(L"", L"C", L"7"), L"C=7");
  EXPECT_EQ(Replaced(L"A=1", L"B", L"x=y"), L"A=1;B=x=y");
  EXPECT_EQ(Replaced(L"A=1", L"A", nullptr), L"A=");

  // Writes that would add or break items are refused.
  CTString s(L"A=1");
  EXPECT_FALSE(CStringParameter::s_bReplaceParameterValue(&s, L"2;Port=0", L"A"));
  EXPECT_FALSE(CStringParameter::s_bReplaceParameterValue(&s, L"2", L"B=C"));
  EXPECT_FALSE(CStringParameter::s_bReplaceParameterValue(&s, L"2", L""));
  EXPECT_FALSE(CStringParameter::s_bReplaceParameterValue(nullptr, L"2", L"A"));
  EXPECT_STREQ(s.pszGet(), L"A=1");
}

TEST(CStringParameter, OneParameter) {
  CStringParameter p(L"Dir");
  EXPECT_FALSE(p.bIsDefined());
  p.SetParameterValue(L"abc  def", 5);
  EXPECT_STREQ(p.pszGetValue(), L"abc");
  EXPECT_TRUE(p.bIsDefined());
  p.SetParameterValueRep(L"/tmp/dir");
  EXPECT_STREQ(p.pszGetValue(), L"/tmp/dir\\");
  p.SetParameterValueRep(L"/tmp/dir\\");
  EXPECT_STREQ(p.pszGetValue(), L"/tmp/dir\\");
  p.SetParameterValueRep(L"");
  EXPECT_STREQ(p.pszGetValue(), L"");
  EXPECT_TRUE(p.bIsDefined());
  p.SetParameterValue(nullptr);
  EXPECT_FALSE(p.bIsDefined());

  CTString s(L"X=1");
  EXPECT_TRUE(p.bCompleteConnectionString(&s));  // undefined: nothing
  EXPECT_STREQ(s.pszGet(), L"X=1");
  s = L"dir = /a ;X=1";
  EXPECT_TRUE(p.bInitParameterValue(&s, TRUE));
  EXPECT_STREQ(p.pszGetValue(), L"/a");
  EXPECT_STREQ(s.pszGet(), L"X=1");
  EXPECT_TRUE(p.bCompleteConnectionString(&s));
  EXPECT_STREQ(s.pszGet(), L"X=1;Dir=/a");
  // Already there with another value: an appended item would be read after it, so it gets the
  // value instead; with the same value the item is appended.
  p.SetParameterValue(L"/b");
  EXPECT_TRUE(p.bCompleteConnectionString(&s));
  EXPECT_STREQ(s.pszGet(), L"X=1;Dir=/b");
  EXPECT_TRUE(p.bCompleteConnectionString(&s));
  EXPECT_STREQ(s.pszGet(), L"X=1;Dir=/b;Dir=/b");
  p.SetParameterValue(L"/c;X=2");
  EXPECT_FALSE(p.bCompleteConnectionString(&s));
  EXPECT_STREQ(s.pszGet(), L"X=1;Dir=/b;Dir=/b");
  EXPECT_TRUE(p.bInitParameterValue(&s, FALSE));
  EXPECT_STREQ(p.pszGetValue(), L"/b");
}

// Names in groups of spellings of one name; names within a group match, across groups never
// (one is the tail or the head of another, or differs by an accent).
const std::vector<std::vector<std::wstring>> kNames = {
    {L"Port", L"PORT", L"port"}, {L"Server Port", L"server PORT"}, {L"Port Number"},
    {L"Socket", L"SOCKET"},      {L"Unix Socket"},                 {L"D\u00E9lai", L"D\u00C9LAI", L"d\u00E9lai"},
    {L"Delai", L"dELAI"},
};

TEST(CStringParameter, SequencesMatchAModel) {
  struct Item {
    size_t group;
    std::wstring spelling, value;
  };
  std::mt19937 rng(5);
  auto value = [&] {
    std::wstring v;
    if (rng() % 4 == 0) v = kNames[rng() % kNames.size()][0] + L"=";  // looks like an item
    for (int i = static_cast<int>(rng() % 5); i > 0; --i) v += L"xy1 =\u00E9"[rng() % 6];
    while (!v.empty() && v.back() == L' ') v.pop_back();
    while (!v.empty() && v.front() == L' ') v.erase(0, 1);
    return v;
  };
  for (int round = 0; round < 40; ++round) {
    CTString s;
    std::vector<Item> model;
    for (int step = 0; step < 30; ++step) {
      const size_t group = rng() % kNames.size();
      const std::wstring& name = kNames[group][rng() % kNames[group].size()];
      auto it = model.begin();
      while (it != model.end() && it->group != group) ++it;
      switch (rng() % 3) {
        case 0: {
          const std::wstring v = value();
          ASSERT_TRUE(CStringParameter::s_bReplaceParameterValue(&s, v.c_str(), name.c_str()));
          if (it != model.end())
            it->value = v;
          else
            model.push_back({group, name, v});
          break;
        }
        case 1:
          ASSERT_EQ(Get(s, name.c_str(), TRUE), (it != model.end() ? Read{it->value, 1} : Read{L"", 0}));
          if (it != model.end()) model.erase(it);
          break;
        default:
          ASSERT_EQ(CStringParameter::s_bParameterDefined(&s, name.c_str()) != FALSE, it != model.end());
      }
      // The text holds the model's items in order; a removed last item leaves its ';'.
      std::vector<std::wstring> items, expected;
      for (const Item& item : model) expected.push_back(item.spelling + L"=" + item.value);
      std::wstring text = s.pszGet();
      ASSERT_TRUE(text.empty() || (text[0] != L';' && text[0] != L' '));
      for (size_t from = 0; from <= text.size();) {
        size_t end = text.find(L';', from);
        if (end == std::wstring::npos) end = text.size();
        if (end > from) items.push_back(text.substr(from, end - from));
        from = end + 1;
      }
      ASSERT_EQ(items, expected);
      for (const Item& item : model) ASSERT_EQ(Get(s, kNames[item.group].back().c_str()), (Read{item.value, 1}));
    }
  }
}

}  // namespace

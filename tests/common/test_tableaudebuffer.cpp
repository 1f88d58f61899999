// Growable arrays against std::vector, reference-counted objects and arrays, simple buffers; pooled
// hash tables against std::unordered_map, reference-holding tables with a counted double, and
// name-keyed tables with their lookup cache.
#include "common/tableaudebuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/hash_bounce.h"
#include "common/interf.h"
#include "common/refarray.h"
#include "common/refhashtable.h"
#include "common/refstringhashtable.h"
#include "common/simplebuffer.h"
#include "common/ttableau.h"

namespace {

using Ints = std::vector<int>;
Ints Items(const CTTableau<int>& a) { return Ints(a.pGetElements(), a.pGetElements() + a.nGetCount()); }
void Fill(CTTableau<int>* a, int n) { for (int i = 0; i < n; ++i) a->Ajoute(i); }

TEST(CTableauDeBuffer, GrowthAndCompaction) {
  CTTableau<int> small;
  Ints caps;
  for (int i = 0; i < 141; ++i) {
    small.Ajoute(i);
    if (caps.empty() || caps.back() != small.nGetCapacity()) caps.push_back(small.nGetCapacity());
  }
  ASSERT_EQ(caps.size(), 103u);  // 1, 2, ..., 101, then 20 at a time
  EXPECT_EQ(caps[100], 101);
  EXPECT_EQ(caps[102], 141);
  struct Big { char bytes[300]; };
  CTTableau<Big> bigs;
  for (int i = 0; i < 130; ++i) bigs.Ajoute(Big{});
  EXPECT_EQ(bigs.nGetCapacity(), 130);
  CTTableau<int> zero(0);  // a step of 0 still makes room
  Fill(&zero, 3);
  EXPECT_EQ(Items(zero), (Ints{0, 1, 2}));
  CTTableau<int> a(5);
  Fill(&a, 3);
  a.Compacter();
  a.AlloueMemoire(4);
  a.AgranditMemoire(7);  // 6 missing, rounded up to two steps
  EXPECT_EQ(a.nGetCapacity(), 14);
  Fill(&a, 68);
  a.Compacter();
  a.AlloueMemoire(100);
  a.SupprimeCompacte(70);  // 30 free slots: not more than 30
  EXPECT_EQ(a.nGetCapacity(), 100);
  a.SupprimeCompacte(69);
  EXPECT_EQ(a.nGetCapacity(), 69);
  a.Supprime(0, 69);
  a.Compacter();
  EXPECT_EQ(a.pGetData(), nullptr);
}

TEST(CTableauDeBuffer, MovingBadRangesAndOwnSources) {
  CTTableau<int> a;
  Fill(&a, 6);
  a.Deplace(4, 1);
  EXPECT_EQ(Items(a), (Ints{0, 4, 1, 2, 3, 5}));
  a.Deplace(1, 4);
  EXPECT_EQ(Items(a), (Ints{0, 1, 2, 3, 4, 5}));
  CTTableau<char> s;
  for (char ch : std::string("abcdefg")) s.Ajoute(ch);
  const _STBlocATrier blocks[] = {{4, 2}, {1, 1}};
  s.PermuteMultiple(1, blocks, 2);
  EXPECT_EQ(std::string(s.pGetElements(), 7), "aefbefg");
  // Blocks reaching past the elements, or copying more than the count, are cut.
  const _STBlocATrier wild[] = {{5, 50}, {-3, 5}, {100, 2}, {0, 7}};
  s.PermuteMultiple(2, wild, 4);
  EXPECT_EQ(std::string(s.pGetElements(), 7), "aefgaea");
  CTTableau<int> e;
  e.Etend(5, 9, 7);
  EXPECT_EQ(Items(e), (Ints{7, 7, 7, 7, 7, 9}));
  EXPECT_EQ(a.Insere(9, 8), nullptr);
  a.Supprime(4, 10);
  EXPECT_EQ(a.nGetCount(), 4);
  a.SupprimeDernier(10);
  EXPECT_EQ(a.nGetCount(), 0);
  // Sources in the array's own block, read while the block moves.
  Fill(&a, 4);
  a.Compacter();
  a.Ajoute(a[1]);
  a.Insere(a[0], 0);
  EXPECT_EQ(Items(a), (Ints{0, 0, 1, 2, 3, 1}));
  a.Initialise(a[2], 3);
  a.Etend(6, a[0], a[1]);
  EXPECT_EQ(Items(a), Ints(7, 1));
  a._Duplique(a);
  a.Recupere(a);
  EXPECT_EQ(Items(a), Ints(7, 1));
}

// Deplace, Compacter and SupprimeCompacte have their fixed cases above.
template <typename T>
void RunModel(int growStep) {
  std::mt19937 rng(growStep);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(std::max(n, 1))); };
  auto make = [](int v) {
    T t{};
    memcpy(&t, &v, sizeof v);
    return t;
  };
  CTTableau<T> a(growStep);
  std::vector<T> m;
  for (int step = 0, next = 0; step < 3000; ++step, ++next) {
    const int n = a.nGetCount(), i = pick(n + 1), j = pick(n);
    const bool shrinking = (step / 500) % 2 == 1;
    switch (n == 0 ? pick(4) : pick(8)) {
      case 0: case 1:
        if (!shrinking || pick(2)) a.Ajoute(make(next)), m.push_back(make(next));
        break;
      case 2: a.Insere(make(next), i), m.insert(m.begin() + i, make(next)); break;
      case 3: {
        const int k = i + pick(4);
        a.Etend(k, make(next), make(-1));
        if (k >= n) m.resize(k + 1, make(-1));
        m[k] = make(next);
        break;
      }
      case 4: a.Ajoute(a[j]), m.push_back(m[j]); break;  // from the array's own block
      case 5: {
        const int k = 1 + pick(shrinking ? 12 : 3);
        a.Supprime(j, k), m.erase(m.begin() + j, m.begin() + std::min(n, j + k));
        break;
      }
      case 6: a.Swap(j, i % n), std::swap(m[j], m[i % n]); break;
      default: {
        CTTableau<T> copy(growStep);
        copy.Duplique(a);
        a.SupprimeToutEtLibere();
        CTableauDeBuffer::EchangeTableau(&a, &copy);
        a.AgranditMemoire(pick(40));
      }
    }
    ASSERT_EQ(a.nGetCount(), static_cast<int>(m.size())) << "step " << step;
    ASSERT_LE(a.nGetCount(), a.nGetCapacity());
    ASSERT_TRUE(m.empty() || memcmp(a.pGetData(), m.data(), m.size() * sizeof(T)) == 0) << "step " << step;
  }
}

TEST(CTableauDeBuffer, RandomAgainstVector) {
  struct Rec300 { char bytes[300]; };
  RunModel<int>(1);
  RunModel<Rec300>(3);
}

struct CObj : CInterf {
  CObj(Ints* log, int id) : m_pLog(log), m_nId(id) {}
  ~CObj() override { m_pLog->push_back(m_nId); }
  Ints* m_pLog;
  int m_nId;
};

TEST(CInterf, ReleaseRules) {
  Ints log;
  CObj* p = new CObj(&log, 1);
  EXPECT_EQ(p->nRelease(), 0);  // no reference: nothing happens
  for (int i = 0; i < 3; ++i) p->AddRef();
  EXPECT_EQ(p->nRelease() + p->nRelease(), 3);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(p->nRelease(), 0);
  EXPECT_EQ(log, Ints{1});  // through the derived destructor
  CObj embedded(&log, 2);
  embedded.SetStatic(true);
  embedded.AddRef();
  EXPECT_EQ(embedded.nRelease(), 0);
  EXPECT_EQ(log, Ints{1});
}

TEST(CSimpleBuffer, SizeAndCopies) {
  CSimpleBuffer b("abcd", 4);
  b.SetSize(4);
  EXPECT_EQ(memcmp(b.pGetData(), "abcd", 4), 0);  // same size keeps the bytes
  CSimpleBuffer d(&b), e(b);                      // independent blocks, not second owners
  static_cast<char*>(d.pGetData())[0] = 'Q';
  EXPECT_EQ(memcmp(b.pGetData(), "abcd", 4), 0);
  EXPECT_NE(e.pGetData(), b.pGetData());
  b.SetSize(0);
  EXPECT_EQ(b.pGetData(), nullptr);
  e.CopyBuffer("p", 0);
  EXPECT_EQ(e.nGetSize(), 0u);
  CSimpleBuffer s("0123456789", 10);
  s.CopyBuffer(static_cast<char*>(s.pGetData()) + 4, 3);  // from the block the resize frees
  ASSERT_EQ(s.nGetSize(), 3u);
  EXPECT_EQ(memcmp(s.pGetData(), "456", 3), 0);
}

TEST(CRefArray, ReleasesFromLastToFirst) {
  Ints log;
  {
    CRefArray<CObj> a(10);
    for (int id = 1; id <= 3; ++id) a.AjouteRef(new CObj(&log, id));
    a.Ajoute(nullptr);  // skipped by the releases
  }
  EXPECT_EQ(log, (Ints{3, 2, 1}));
  log.clear();
  CNARefArray<CObj>* shared = new CNARefArray<CObj>;
  shared->AddRef();
  shared->AjouteRef(new CObj(&log, 1));
  shared->AjouteRef(new CObj(&log, 2));
  shared->SupprimeRef(0);
  EXPECT_EQ(log, (Ints{1}));
  EXPECT_EQ(shared->dwRelease(), 0u);  // deletes the array, which releases its elements
  EXPECT_EQ(log, (Ints{1, 2}));
}


void* K(intptr_t k) { return reinterpret_cast<void*>(k); }
intptr_t I(void* p) { return reinterpret_cast<intptr_t>(p); }
intptr_t Get(const CHashTableBounce& t, intptr_t key) {
  void* v = nullptr;
  return t.bGetElement(K(key), &v, nullptr) ? I(v) : -1;
}
void Fill(CHashTableBounce* t, intptr_t from, intptr_t to) {
  for (intptr_t k = from; k < to; ++k) t->bAddElement(K(k), K(k * 10));
}

TEST(CHashTableBounce, SizingShrinkingAndDuplicates) {
  CHashTableBounce t(7);
  EXPECT_EQ(t.dwGetBucketCount(), 17u);
  EXPECT_EQ(t.dwGetPoolCapacity(), 8u);
  Fill(&t, 0, 9);
  EXPECT_EQ(t.dwGetBucketCount(), 53u);
  EXPECT_EQ(t.dwGetPoolCapacity(), 26u);
  for (intptr_t k = 8; k >= 4; --k) t.bDeleteElement(K(k), nullptr, nullptr);
  EXPECT_EQ(t.nGetLevel(), 1);  // 4 entries left: not below 17 / 4
  t.bDeleteElement(K(3), nullptr, nullptr);
  EXPECT_EQ(t.nGetLevel(), 0);
  for (intptr_t k = 0; k < 3; ++k) EXPECT_EQ(Get(t, k), k * 10);
  t.bAddElement(K(1), K(99));
  Fill(&t, 100, 130);  // resizing keeps the newest entry of a key first
  EXPECT_EQ(Get(t, 1), 99);
  t.bDeleteElement(K(1), nullptr, nullptr);
  EXPECT_EQ(Get(t, 1), 10);
  t.DeleteAll(0);
  EXPECT_EQ(t.nGetLevel(), 0);
  Fill(&t, 0, 49);
  ASSERT_EQ(t.nGetLevel(), 3);
  unsigned int cursor = 0;
  while (t.bParseTable(&cursor, TRUE, nullptr, nullptr)) {
  }
  EXPECT_EQ(t.nGetLevel(), 3);  // no shrink during a walk
  t.DeleteAll(0);
  EXPECT_EQ(t.nGetLevel(), 3);  // an empty table keeps its size
}

TEST(CHashTableBounce, WalksAndCursors) {
  CHashTableBounce t(7);
  unsigned int cursor = 0, outer = 0, inner = 0;
  EXPECT_FALSE(t.bParseTable(&cursor, FALSE, nullptr, nullptr));
  EXPECT_EQ(t.dwGetParseCount(), 0u);
  Fill(&t, 0, 6);
  void* key;
  ASSERT_TRUE(t.bParseTable(&outer, FALSE, nullptr, nullptr));
  while (t.bParseTable(&inner, FALSE, nullptr, &key))
    if (I(key) == 2) t.bParseSetKey(inner, K(1002), nullptr);  // refiled under its own hash
  // A finished walk called again, or stopped twice, must not end the walk still under way.
  EXPECT_FALSE(t.bParseTable(&inner, FALSE, nullptr, nullptr));
  EXPECT_FALSE(t.bParseSetElement(inner, K(1), nullptr));
  EXPECT_EQ(t.dwGetParseCount(), 1u);
  t.StopParsing();
  t.StopParsing();
  EXPECT_EQ(t.dwGetParseCount(), 0u);
  EXPECT_EQ(Get(t, 2), -1);
  EXPECT_EQ(Get(t, 1002), 20);
}

// Keys from a small range, so chains and duplicates are common; each key's values are kept
// newest last. Walks delete along the way, here and elsewhere, and add.
TEST(CHashTableBounce, RandomAgainstUnorderedMap) {
  std::mt19937 rng(11);
  auto pick = [&](unsigned n) { return static_cast<intptr_t>(rng() % n); };
  CHashTableBounce t(7);
  std::unordered_map<intptr_t, std::vector<intptr_t>> m;
  size_t total = 0;
  intptr_t next = 1;
  auto add = [&](intptr_t key) {
    ASSERT_TRUE(t.bAddElement(K(key), K(next)));
    m[key].push_back(next++), ++total;
  };
  auto forget = [&](intptr_t key, intptr_t value) {
    m[key].erase(std::find(m[key].begin(), m[key].end(), value)), --total;
  };
  for (int step = 0; step < 16000; ++step) {
    const intptr_t key = pick(1200), op = pick(100);
    std::vector<intptr_t>& values = m[key];
    if (op < ((step / 4000) % 2 == 0 ? 55 : 25)) {
      add(key);
    } else if (op < 75) {
      void *v = nullptr, *stored = nullptr;
      ASSERT_EQ(t.bDeleteElement(K(key), &v, &stored) != FALSE, !values.empty());
      if (values.empty()) continue;
      ASSERT_EQ(std::make_pair(I(v), I(stored)), std::make_pair(values.back(), key));
      forget(key, I(v));
      const int level = t.nGetLevel();
      ASSERT_TRUE(level == 0 || total >= CHashTableBounce::g__ToutPretToutChaud[level - 1] / 4);
    } else if (op < 99) {
      ASSERT_EQ(Get(t, key), values.empty() ? -1 : values.back());
    } else {
      std::set<intptr_t> unvisited, seen;  // unvisited: there when the walk starts, not yet seen nor deleted
      for (auto& [k, vs] : m) unvisited.insert(vs.begin(), vs.end());
      const int level = t.nGetLevel();
      unsigned int cursor = 0;
      void *v, *k;
      for (int bDelete = 0; t.bParseTable(&cursor, bDelete, &v, &k); bDelete = pick(4) == 0) {
        ASSERT_TRUE(seen.insert(I(v)).second) << "entry visited twice";
        unvisited.erase(I(v));
        if (bDelete) forget(I(k), I(v));
        const intptr_t other = pick(1200);
        if (pick(8) == 0 && !m[other].empty()) {
          unvisited.erase(m[other].back());
          forget(other, m[other].back());
          ASSERT_TRUE(t.bDeleteElement(K(other), nullptr, nullptr));
        }
        if (pick(8) == 0) add(key);
      }
      ASSERT_EQ(t.dwGetParseCount(), 0u);
      ASSERT_GE(t.nGetLevel(), level);
      ASSERT_TRUE(unvisited.empty()) << "missed";
    }
    ASSERT_EQ(t.dwGetNumElement(), total);
    ASSERT_EQ(t.dwGetPoolCapacity(), CHashTableBounce::g__ToutPretToutChaud[t.nGetLevel()] / 2);
  }
}

// Stands for the table object: AddRef / nRelease, and it deletes itself at 0.
struct CCounted {
  static int s_nLive;
  CCounted() { ++s_nLive, AddRef(); }  // the test's own reference
  ~CCounted() { --s_nLive; }
  void AddRef() { ++m_nRef; }
  int nRelease() {
    EXPECT_GT(m_nRef, 0) << "released without a reference";
    if (--m_nRef > 0) return m_nRef;
    delete this;
    return 0;
  }
  int m_nRef = 0;
};
int CCounted::s_nLive = 0;

// A value's count is 1 + the entries holding it; duplicates, a null value (held without a
// reference), growth, shrinking, RemoveAll and the destructor each give back exactly what they held.
TEST(CRefHashTable, ValuesReleasedExactlyOnce) {
  CCounted *a = new CCounted, *b = new CCounted, *v = nullptr;
  const auto refs = [&] { return std::make_pair(a->m_nRef, b->m_nRef); };
  {
    CNARefHashTable<unsigned int, CCounted*> t;
    for (unsigned int key = 0; key < 60; ++key) ASSERT_TRUE(t.bAddValue(key, key % 2 ? a : b));
    ASSERT_TRUE(t.bAddValue(7, b) && t.bAddValue(7, nullptr));
    EXPECT_EQ(refs(), std::make_pair(31, 32));
    ASSERT_TRUE(t.bGetValue(7, &v) && v == nullptr);
    ASSERT_TRUE(t.bRemoveValue(7) && t.bRemoveValue(7) && t.bGetValue(7, &v));
    EXPECT_EQ(v, a);
    for (unsigned int key = 0; key < 50; ++key) ASSERT_TRUE(t.bRemoveValue(key));
    EXPECT_FALSE(t.bRemoveValue(0));
    EXPECT_EQ(refs(), std::make_pair(6, 6));
    t.RemoveAll();
    EXPECT_EQ(t.nGetLevel(), 0);
    EXPECT_EQ(refs(), std::make_pair(1, 1));
    ASSERT_TRUE(t.bAddValue(1, a) && t.bAddValue(1, a) && t.bAddValue(2, b));
  }  // the destructor gives back what the table still holds
  EXPECT_EQ(a->nRelease() + b->nRelease(), 0);
  EXPECT_EQ(CCounted::s_nLive, 0);
}

class CNameTable : public testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"\u00C9cole", L"Table", L"client"}) Add(name);
  }
  void TearDown() override {
    m_table.RemoveAll();
    for (CCounted* c : m_values) EXPECT_EQ(c->nRelease(), 0);
    EXPECT_EQ(CCounted::s_nLive, 0);
  }
  CCounted* Add(const wchar_t* name) {
    EXPECT_TRUE(m_table.bAddValue(name, m_values.emplace_back(new CCounted)));
    return m_values.back();
  }
  // Looks the name up through the cache and gives back the reference taken.
  CCounted* Find(const wchar_t* name) {
    CCounted* v = nullptr;
    if (!m_table.bFindValue(name, &v)) return nullptr;
    v->nRelease();
    return v;
  }
  // The holder's part of a raw removal: the value's reference and the key copy.
  void Drop(void* key, void* value) {
    free(key);
    m_table._Release(static_cast<CCounted*>(value));
  }
  CRefStringHashTable<CCounted*> m_table;
  std::vector<CCounted*> m_values;
};

TEST_F(CNameTable, FindsAnySpelling) {
  typedef CHashTableBounce H;
  EXPECT_EQ(H::dwStringLogiqueHashVal(L"ab"), static_cast<unsigned int>(L'A' + L'B'));
  const std::wstring longName(600, L'\u00E9'), longUpper(600, L'E');  // mapped on the heap
  EXPECT_EQ(H::dwStringLogiqueHashVal(longName.c_str()), H::dwStringLogiqueHashVal(longUpper.c_str()));
  EXPECT_EQ(Find(L"ECOLE"), m_values[0]);
  EXPECT_EQ(Find(L"\u00E9cole"), m_values[0]);
  EXPECT_EQ(Find(L"tabl"), nullptr);
  const wchar_t* stored = nullptr;
  CCounted* v = nullptr;
  ASSERT_TRUE(m_table.bGetValue(L"CLIENT", &v, &stored));
  EXPECT_STREQ(stored, L"client");
  EXPECT_EQ(m_values[0]->m_nRef, 2);  // lookups gave their references back
}

// Each way out of the table, with "école" in the cache first; the lookup after it must not
// answer from the cache (a freed key under AddressSanitizer, or a stale value).
TEST_F(CNameTable, CacheForgetsEveryRemoval) {
  void *value, *key;
  unsigned int cursor = 0;
  const std::vector<std::function<void()>> removals = {
      [&] { m_table.bRemoveValue(L"ECOLE"); },
      [&] { m_table.bDeleteElement(L"ecole", &value, &key), Drop(key, value); },
      [&] {
        for (cursor = 0; m_table.bParseTable(&cursor, TRUE, &value, &key);) Drop(key, value);
      },
      [&] {
        std::vector<std::pair<void*, void*>> held;
        for (cursor = 0; m_table.bParseTable(&cursor, FALSE, &value, &key);) held.emplace_back(key, value);
        m_table.DeleteAll(7);
        for (auto& [k, v] : held) Drop(k, v);
      },
      [&] { m_table.RemoveAll(); },
  };
  for (size_t i = 0; i < removals.size(); ++i) {
    if (!Find(L"ecole")) Add(L"\u00C9cole");
    ASSERT_NE(Find(L"ECOLE"), nullptr);
    ASSERT_TRUE(m_table.bHasCache());
    removals[i]();
    EXPECT_EQ(Find(L"ECOLE"), nullptr) << "removal path " << i;
  }
}

// The cache keeps the entry's address: the pool moved by growth and shrink (the cached entry
// at the moved end) is never read through the address it had.
TEST_F(CNameTable, CacheFollowsThePoolAsItGrowsAndShrinks) {
  std::vector<std::wstring> names;
  for (int i = 0; i < 200; ++i) names.push_back(L"name" + std::to_wstring(i));
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(Find(L"ECOLE"), m_values[0]);
    for (const std::wstring& name : names) Add(name.c_str());
    EXPECT_GT(m_table.dwGetPoolCapacity(), 200u);
    EXPECT_EQ(Find(L"\u00E9cole"), m_values[0]) << round;
    CCounted* last = m_values.back();
    ASSERT_EQ(Find(L"NAME199"), last);
    for (size_t i = 0; i + 1 < names.size(); ++i) ASSERT_TRUE(m_table.bRemoveValue(names[i].c_str()));
    EXPECT_LT(m_table.dwGetPoolCapacity(), 200u);
    EXPECT_EQ(Find(L"name199"), last) << round;
    EXPECT_EQ(Find(L"CLIENT"), m_values[2]) << round;
    ASSERT_TRUE(m_table.bRemoveValue(L"name199"));
  }
}

TEST_F(CNameTable, CacheNeverHidesANewerEntryOrValue) {
  ASSERT_EQ(Find(L"ecole"), m_values[0]);
  CCounted* newer = Add(L"ECOLE");
  EXPECT_EQ(Find(L"\u00C9COLE"), newer);
  m_table.bRemoveValue(L"ecole");
  EXPECT_EQ(Find(L"ECOLE"), m_values[0]);
  void** slot = m_table.pGetElement(L"table");  // changed in place by the holder
  ASSERT_EQ(Find(L"table"), m_values[1]);
  m_table._AddRef(m_values[2]);
  m_table._Release(static_cast<CCounted*>(*slot));
  *slot = m_values[2];
  EXPECT_EQ(Find(L"TABLE"), m_values[2]);
}

// Whoever keeps what a name found keeps it while the stamp holds: every change of the entries
// moves it, no lookup does.
TEST_F(CNameTable, StampMovesWithEveryChangeAndNoLookup) {
  void *value, *key, *old;
  unsigned int cursor = 0;
  // The walk's first entry, taken out of the table when remove.
  auto first = [&](bool remove) {
    cursor = 0;
    return m_table.bParseTable(&cursor, remove, &value, &key);
  };
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"add", [&] { Add(L"ECOLE"); }},
      {"remove", [&] { m_table.bRemoveValue(L"ecole"); }},
      {"delete", [&] { m_table.bDeleteElement(L"ecole", &value, &key), Drop(key, value); }},
      {"value set in a walk", [&] { EXPECT_TRUE(first(false) && m_table.bParseSetElement(cursor, value, &old)); }},
      {"key set in a walk", [&] { EXPECT_TRUE(first(false) && m_table.bParseSetKey(cursor, key, &old)); }},
      {"removed in a walk",
       [&] {
         ASSERT_TRUE(first(true));
         Drop(key, value);
       }},
      {"clear", [&] { m_table.RemoveAll(); }},
  };
  for (const auto& [name, change] : changes) {
    if (!Find(L"ecole")) Add(L"\u00C9cole");
    const uint32_t before = m_table.dwGetStamp();
    CCounted* peeked = nullptr;
    const wchar_t* stored = nullptr;
    EXPECT_NE(Find(L"ECOLE"), nullptr);
    EXPECT_TRUE(m_table.bPeekValue(L"table", &peeked));
    EXPECT_TRUE(m_table.bGetValue(L"client", &peeked, &stored));
    EXPECT_EQ(m_table.dwGetStamp(), before) << name << ": lookups";
    change();
    EXPECT_NE(m_table.dwGetStamp(), before) << name;
  }
}

// The peek answers as the find, through the same cache, and leaves the counts alone.
TEST_F(CNameTable, PeekAnswersAsFindWithoutAReference) {
  const struct {
    const wchar_t* name;
    CCounted* want;
  } cases[] = {{L"ECOLE", m_values[0]}, {L"ecole", m_values[0]}, {L"table", m_values[1]}, {L"tabl", nullptr}};
  for (const auto& c : cases) {
    CCounted* peeked = nullptr;
    EXPECT_EQ(m_table.bPeekValue(c.name, &peeked) != FALSE, c.want != nullptr) << c.name;
    EXPECT_EQ(peeked, c.want) << c.name;
    EXPECT_EQ(Find(c.name), c.want) << c.name;
  }
  for (CCounted* v : m_values) EXPECT_EQ(v->m_nRef, 2);  // the test's and the table's
  CCounted* peeked = nullptr;
  ASSERT_TRUE(m_table.bPeekValue(L"client", &peeked));
  CCounted* newer = Add(L"CLIENT");  // a newer entry is never hidden by the cache
  ASSERT_TRUE(m_table.bPeekValue(L"client", &peeked));
  EXPECT_EQ(peeked, newer);
}

// Compares made by the table of the next test: the logical compare, counted.
int g_nCompares = 0;
int CountedCompare(const void* a, const void* b) {
  ++g_nCompares;
  return CHashTableBounce::nStringLogiqueCompare(a, b);
}

TEST_F(CNameTable, NameFoundLastIsRecognisedByItsSpellingAlone) {
  m_table.SetCmp(CountedCompare);
  const struct {
    const wchar_t* name;
    size_t value;  // index in m_values; 3: not found
    bool compared;
  } kRows[] = {
      // The cached key is the stored spelling: another spelling of it is compared each time.
      {L"Table", 1, true},        {L"Table", 1, false},        {L"TABLE", 1, true},  {L"TABLE", 1, true},
      {L"Table", 1, false},       {L"client", 2, true},        {L"client", 2, false}, {L"Tabl", 3, true},
      {L"client", 2, true},       {L"\u00E9cole", 0, true},    {L"\u00E9cole", 0, true}, {L"\u00C9cole", 0, false},
      {L"", 3, true},             {L"\u00C9cole", 0, true},
  };
  for (const auto& row : kRows) {
    g_nCompares = 0;
    EXPECT_EQ(Find(row.name), row.value < m_values.size() ? m_values[row.value] : nullptr);
    EXPECT_EQ(g_nCompares != 0, row.compared) << static_cast<int>(&row - kRows);
  }
  m_table.SetCmp(CHashTableBounce::nStringLogiqueCompare);
}

}  // namespace

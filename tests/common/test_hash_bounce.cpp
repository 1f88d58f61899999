// Pooled hash table against std::unordered_map, reference-holding tables with a counted double,
// and name-keyed tables with their lookup cache.
#include "common/hash_bounce.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <unordered_map>
#include <vector>

#include "common/refhashtable.h"
#include "common/refstringhashtable.h"

namespace {

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

}  // namespace

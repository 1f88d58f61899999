#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <unordered_map>
#include <vector>

#include "common/hashbase.h"
#include "common/listedebuffer.h"

namespace {

bool g_bFailAlloc = false;
void* MaybeAlloc(size_t n) { return g_bFailAlloc ? nullptr : malloc(n); }

class AllocSeam : public testing::Test {
 protected:
  AllocSeam() { CListeDeBuffer::ms_pfnAlloc = MaybeAlloc; }
  ~AllocSeam() override {
    g_bFailAlloc = false;
    CListeDeBuffer::ms_pfnAlloc = malloc;
  }
};

// The list as a vector and a cursor index (-1 before the head, count past the tail).
struct ListModel {
  std::vector<int> items;
  int cur = -1;
  bool On() const { return cur >= 0 && cur < static_cast<int>(items.size()); }
};

int Value(const void* p) { return p != nullptr ? *static_cast<const int*>(p) : -1; }

void ExpectSame(const CListeDeBuffer& l, const ListModel& m, int step) {
  ASSERT_EQ(l.nGetCount(), static_cast<int>(m.items.size())) << step;
  ASSERT_EQ(l.nGetCurrentIndex(), m.cur) << step;
  ASSERT_EQ(Value(l.pCourant()), m.On() ? m.items[m.cur] : -1) << step;
  std::vector<int> forward, backward;
  for (auto* n = l.pGetHead(); n != nullptr; n = n->pNext) forward.push_back(Value(n->pData()));
  for (auto* n = l.pGetTail(); n != nullptr; n = n->pPrev) backward.insert(backward.begin(), Value(n->pData()));
  ASSERT_EQ(forward, m.items) << step;
  ASSERT_EQ(backward, m.items) << step;
}

// A cursor copy of list moved to index i (on a node, or off at -1 or count).
void PlaceCursor(CListeDeBuffer& cursor, int i) {
  const int count = cursor.nGetCount();
  if (count == 0) return;
  cursor.pVaSurNumero(i < 0 ? 0 : i >= count ? count - 1 : i);
  if (i < 0) cursor.VaPrecedent();
  if (i >= count) cursor.VaSuivant();
}

using ListTest = AllocSeam;

TEST_F(ListTest, RandomOperationsFollowTheModel) {
  std::mt19937 rng(128);
  CListeDeBuffer list(sizeof(int));
  ListModel m;
  int next = 0;
  for (int step = 0; step < 20000; ++step) {
    const int count = static_cast<int>(m.items.size());
    switch (rng() % 11) {
      case 0:
      case 1: {
        const int v = next++, before = static_cast<int>(rng() % 2);
        g_bFailAlloc = rng() % 16 == 0;
        ASSERT_EQ(list.Ajoute(&v, before), !g_bFailAlloc);
        if (g_bFailAlloc) break;
        if (count == 0 || !m.On()) m.cur = count == 0 || m.cur < 0 ? 0 : count;
        else if (!before) ++m.cur;
        m.items.insert(m.items.begin() + m.cur, v);
        break;
      }
      case 2:
        list.SupprimeCourant();
        if (!m.On()) break;
        m.items.erase(m.items.begin() + m.cur);
        if (m.cur > 0) --m.cur;
        if (m.items.empty()) m.cur = -1;
        break;
      case 3: list.VaSuivant(); m.cur += m.On(); break;
      case 4: list.VaPrecedent(); m.cur -= m.On(); break;
      case 5: {
        const bool moves = m.On() && m.cur + 1 < count;
        ASSERT_EQ(Value(list.pVaSuivant()), moves ? m.items[m.cur + 1] : -1) << step;
        m.cur += moves;
        break;
      }
      case 6: {
        const bool moves = m.On() && m.cur > 0;
        ASSERT_EQ(Value(list.pVaPrecedent()), moves ? m.items[m.cur - 1] : -1) << step;
        m.cur -= moves;
        break;
      }
      case 7: {
        const int n = static_cast<int>(rng() % (count + 4)) - 2;
        const bool inside = n >= 0 && n < count;
        ASSERT_EQ(Value(list.pVaSurNumero(n)), inside ? m.items[n] : -1) << step;
        if (inside) m.cur = n;
        break;
      }
      case 8:
        if (rng() % 8 == 0) list.SupprimeTout(), m = ListModel();
        break;
      default: {
        CListeDeBuffer from(list, CListeDeBuffer::eCURSOR), to(list, CListeDeBuffer::eCURSOR), run(sizeof(int));
        const int f = static_cast<int>(rng() % (count + 2)) - 1, t = static_cast<int>(rng() % (count + 2)) - 1;
        PlaceCursor(from, f);
        PlaceCursor(to, t);
        if (rng() % 8 == 0) run.Ajoute(&next, 0);
        const bool moves = run.nGetCount() == 0 && f >= 0 && f < count && t >= 0 && (t >= count || t > f);
        run.ExtraitListe(list, from, to);
        if (!moves) break;
        const int end = std::min(t, count), n = end - f;
        ListModel extracted{std::vector<int>(m.items.begin() + f, m.items.begin() + end), 0};
        m.items.erase(m.items.begin() + f, m.items.begin() + end);
        if (m.cur >= f && m.cur < end) m.cur = f;
        else if (m.cur >= end) m.cur -= n;
        ExpectSame(run, extracted, step);
        for (const CListeDeBuffer* c : {&from, &to}) {
          ASSERT_EQ(c->nGetCurrentIndex(), f) << step;
          ASSERT_EQ(c->nGetCount(), count - n) << step;
          ASSERT_EQ(Value(c->pCourant()), f < count - n ? m.items[f] : -1) << step;
        }
      }
    }
    ExpectSame(list, m, step);
  }
}

struct IntHash final : CHashBase {
  using CHashBase::CHashBase;
  unsigned int dwHashVal(void* key) const override { return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(key)); }
  int bCompare(void* stored, void* searched) const override { return stored == searched; }
};
void* P(uintptr_t v) { return reinterpret_cast<void*>(v); }

using HashTest = AllocSeam;

TEST_F(HashTest, RandomOperationsFollowAMultimap) {
  std::mt19937 rng(129);
  IntHash table(17);
  std::unordered_multimap<uintptr_t, uintptr_t> m;
  for (int step = 0; step < 30000; ++step) {
    const uintptr_t key = rng() % 300, value = rng() % 4;  // value 0 is a null pointer
    const int op = static_cast<int>(rng() % 10);
    void* found = nullptr;
    if (op < 5) {
      // An add right after a missed search lands in a bucket whose cursor ran off its tail.
      const uintptr_t absent = key + 1000u * static_cast<unsigned int>(table.nGetBucketCount());
      ASSERT_TRUE(op != 0 || !table.bRecherche(P(absent), nullptr, nullptr));
      g_bFailAlloc = rng() % 32 == 0;
      ASSERT_EQ(op < 2 ? table.Ajoute(P(key), P(value)) : table.AjouteDYN(P(key), P(value)), !g_bFailAlloc);
      if (!g_bFailAlloc) m.emplace(key, value);
      g_bFailAlloc = false;
    } else if (op < 8) {
      const bool has = table.bRecherche(P(key), &found, nullptr);
      ASSERT_EQ(has, m.count(key) > 0) << step;
      if (!has) continue;
      auto range = m.equal_range(key);
      auto it = std::find_if(range.first, range.second, [&](auto& e) { return P(e.second) == found; });
      ASSERT_NE(it, range.second) << step;
      ASSERT_TRUE(op == 5 ? table.bSupprime(P(key)) : table.bSupprimeDYN(P(key))) << step;
      m.erase(it);
    } else {
      ASSERT_EQ(table.bRechercheConst(P(key), &found, nullptr), m.count(key) > 0) << step;
    }
    ASSERT_EQ(table.nGetCount(), static_cast<int>(m.size())) << step;
  }
  // Failed resize keeps the table; then every entry drains once, null values included.
  const int buckets = table.nGetBucketCount();
  g_bFailAlloc = true;
  table.RedimensionneTable(buckets + 2);
  g_bFailAlloc = false;
  ASSERT_EQ(table.nGetBucketCount(), buckets);
  for (int bucket = 0, n = table.nGetCount(); n > 0; --n) {
    void *value = P(99), *key = nullptr;
    table.SupprimeCourant(&bucket, &value, &key);
    auto range = m.equal_range(reinterpret_cast<uintptr_t>(key));
    auto it = std::find_if(range.first, range.second, [&](auto& e) { return P(e.second) == value; });
    ASSERT_NE(it, range.second);
    m.erase(it);
  }
  EXPECT_TRUE(m.empty());
  int past = 0;
  void* value = P(99);
  table.SupprimeCourant(&past, &value, nullptr);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(past, table.nGetBucketCount());
}

TEST_F(HashTest, ResizesAtTheThresholds) {
  IntHash table(17);
  for (uintptr_t k = 0; k < 51; ++k) table.AjouteDYN(P(k), P(k));
  EXPECT_EQ(table.nGetBucketCount(), 17);
  table.AjouteDYN(P(51), nullptr);
  EXPECT_EQ(table.nGetBucketCount(), 37);
  IntHash shrinking(37);
  for (uintptr_t k = 0; k < 37; ++k) shrinking.Ajoute(P(k), P(k));
  shrinking.bSupprimeDYN(P(5));
  EXPECT_EQ(shrinking.nGetBucketCount(), 43) << "below the floor the table grows to it";
  shrinking.bSupprimeDYN(P(6));
  EXPECT_EQ(shrinking.nGetBucketCount(), 43);
  for (uintptr_t k = 0; k < 52; ++k) EXPECT_EQ(shrinking.bRechercheConst(P(k), nullptr, nullptr), k < 37 && k != 5 && k != 6) << k;

  IntHash empty(0);
  EXPECT_FALSE(empty.bRecherche(P(1), nullptr, nullptr));
  EXPECT_FALSE(empty.bSupprimeDYN(P(1)));
  EXPECT_TRUE(empty.Ajoute(P(1), nullptr));
  EXPECT_EQ(empty.nGetBucketCount(), CHashBase::kMinBuckets);
}

TEST_F(HashTest, ConstSearchMovesNoCursor) {
  IntHash table(3);
  for (uintptr_t k = 0; k < 12; ++k) table.Ajoute(P(k), P(k));
  std::vector<int> cursors;
  for (int b = 0; b < 3; ++b) cursors.push_back(table.pclGetBucket(b)->nGetCurrentIndex());
  for (uintptr_t k = 0; k < 14; ++k) table.bRechercheConst(P(k), nullptr, nullptr);
  for (int b = 0; b < 3; ++b) EXPECT_EQ(table.pclGetBucket(b)->nGetCurrentIndex(), cursors[b]);
  void* key = nullptr;
  ASSERT_TRUE(table.bRecherche(P(4), nullptr, &key));
  EXPECT_EQ(key, P(4));
  EXPECT_EQ(Value(table.pclGetBucket(1)->pCourant()), 4) << "the cursor stays on the match";
}

TEST(HashBaseStrings, SumSignedBytesAndUpperCasedCharacters) {
  EXPECT_EQ(CHashBase::dwHashValTA("\x41\xe9"), 42u);
  EXPECT_EQ(CHashBase::dwHashValTiA("a\xe9"), 42u);
  EXPECT_EQ(CHashBase::dwHashValTiA("\xff"), static_cast<DWORD>(-1));
  EXPECT_EQ(CHashBase::dwHashValT(L"ab"), 195u);
  EXPECT_EQ(CHashBase::dwHashValTi(L"ab"), 131u);
  EXPECT_EQ(CHashBase::dwHashValT(nullptr), 0u);
  EXPECT_EQ(CHashBase::dwHashValTiA(""), 0u);
}

}  // namespace

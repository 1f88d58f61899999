// Growable arrays: growth ladder, compaction, moves, sources in the array's own block, random
// sequences against std::vector; reference-counted objects and arrays of them; simple buffers.
#include "common/tableaudebuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/interf.h"
#include "common/refarray.h"
#include "common/simplebuffer.h"
#include "common/ttableau.h"

namespace {

using Ints = std::vector<int>;
Ints Items(const CTTableau<int>& a) { return Ints(a.pGetElements(), a.pGetElements() + a.nGetCount()); }
void Fill(CTTableau<int>* a, int n) {
  for (int i = 0; i < n; ++i) a->Ajoute(i);
}

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
  struct Big {
    char bytes[300];
  };
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
  struct Rec300 {
    char bytes[300];
  };
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

}  // namespace

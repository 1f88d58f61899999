// Object pools and the in-memory B+tree: random operation sequences against a sorted array of
// records with every invariant of the tree checked after each step, heap exhaustion at every
// chunk allocation of a run, and the shapes that splits, rotations, merges, buckets and bulk
// loads must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/membtree.h"
#include "common/membucket.h"
#include "common/tobjalloc.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
const int kModelSteps = 1800;
#else
const int kModelSteps = 18500;
#endif

typedef const unsigned char* Bytes;

int CmpBytes(const void* a, const void* b, unsigned int n) { return memcmp(a, b, n); }
// Little-endian numbers: an order that is neither byte order nor arrival order.
int CmpLittleEndian(const void* a, const void* b, unsigned int n) {
  for (unsigned int i = n; i-- > 0;)
    if (int d = static_cast<Bytes>(a)[i] - static_cast<Bytes>(b)[i]) return d;
  return 0;
}

// Chunk allocations counted, and the n-th one failed.
long g_nChunkCalls = 0, g_nFailAt = 0, g_nLiveChunks = 0;
void* CountingAlloc(size_t n) {
  if (++g_nChunkCalls == g_nFailAt) return nullptr;
  ++g_nLiveChunks;
  return malloc(n);
}
void CountingFree(void* p) {
  --g_nLiveChunks;
  free(p);
}
struct CountingChunks {
  CountingChunks() {
    g_nChunkCalls = g_nFailAt = g_nLiveChunks = 0;
    CTObjAlloc::ms_pfnAllocChunk = CountingAlloc;
    CTObjAlloc::ms_pfnFreeChunk = CountingFree;
  }
  ~CountingChunks() {
    CTObjAlloc::ms_pfnAllocChunk = malloc;
    CTObjAlloc::ms_pfnFreeChunk = free;
  }
};

// The model: records (key then value) sorted by the tree's comparisons, and the position as an
// index (-1 none, size() the end).
struct Model {
  PFMEMBTREECOMPARE ck, cv;
  unsigned int ks, vs;
  std::vector<unsigned char> d;
  long pos = -1;

  size_t rs() const { return ks + vs; }
  long n() const { return static_cast<long>(d.size() / rs()); }
  Bytes at(long i) const { return d.data() + i * rs(); }
  int Cmp(Bytes a, Bytes b, bool keyOnly) const {
    const int c = ck(a, b, ks);
    return c != 0 || keyOnly || vs == 0 ? c : cv(a + ks, b + ks, vs);
  }
  // First index not below r (upper: first above r).
  long Bound(Bytes r, bool keyOnly, bool upper) const {
    long lo = 0, hi = n();
    while (lo < hi) {
      const long mid = (lo + hi) / 2;
      const int c = Cmp(at(mid), r, keyOnly);
      (c < 0 || (upper && c == 0)) ? lo = mid + 1 : hi = mid;
    }
    return lo;
  }
  long KeyStart(long i) const { return Bound(at(i), true, false); }
  void Insert(long i, Bytes r) {
    d.insert(d.begin() + i * rs(), r, r + rs());
    pos = pos < 0 ? n() : pos + (pos >= i);
  }
  // Removes [a, b): a position inside goes to the record that followed.
  void Erase(long a, long b) {
    d.erase(d.begin() + a * rs(), d.begin() + b * rs());
    pos = n() == 0 ? -1 : pos >= b ? pos - (b - a) : std::min(pos, a);
  }
};

}  // namespace

// Walks a tree and checks every invariant, handing each record to emit in tree order.
struct CMemBTreeTestAccess {
  typedef std::function<void(Bytes key, Bytes value)> Emit;
  CMemBTreeTestAccess(const CMemBTree& tree, bool strict, Emit e) : t(tree), strictClasses(strict), emit(e) {}
  const CMemBTree& t;
  bool strictClasses;
  Emit emit;
  std::string fault;
  std::vector<const CMemDataNode*> leaves;
  unsigned int keys = 0;
  int inner = 0, buckets[CMemBucket::kSubTreeClass + 1] = {};

  // Leaf key counts, the root's separators (low byte), each bucket's class and count.
  static std::string Shape(const CMemBTree& t) {
    CMemBTreeTestAccess walk{t, true, nullptr};
    std::string out = walk.Run();
    for (const CMemDataNode* leaf : walk.leaves) out += std::to_string(leaf->nKeys) + " ";
    for (uint32_t i = 0; t.m_pclRoot != nullptr && i < t.m_pclRoot->nKeys; ++i)
      out += "/" + std::to_string(t.__pIndexKey(t.m_pclRoot, static_cast<int>(i))[1]);
    for (const CMemDataNode* leaf : walk.leaves)
      for (int i = 0; i < static_cast<int>(leaf->nKeys); ++i)
        if (t.__bHasBucket(leaf, i))
          out += " c" + std::to_string(t.__pclBucket(leaf, i)->nGetClass()) + "x" +
                 std::to_string(t.__pclBucket(leaf, i)->nGetNumKey());
    return out;
  }
  static int MinFill(const CMemBTree& t) { return t.m_nMinFill; }
  void Require(bool ok, const char* what) {
    if (!ok && fault.empty()) fault = what;
  }
  std::string Run() {
    Require(t.m_pclRoot != nullptr || (t.m_nKeyCount == 0 && t.m_clPos.m_pclLeaf == nullptr),
            "empty tree keeps keys or a position");
    int leafDepth = -1;
    if (t.m_pclRoot != nullptr) Walk(t.m_pclRoot, true, false, 0, &leafDepth);
    // Nothing held by the pools that the tree does not reach.
    bool pools = t.m_clLeafPool.nGetObjectsInUse() == static_cast<int>(leaves.size()) &&
                 t.m_clIndexPool.nGetObjectsInUse() == inner;
    for (int c = 0; c <= CMemBucket::kSubTreeClass; ++c)
      pools = pools && t.m_tabBucketPool[c].nGetObjectsInUse() == buckets[c];
    Require(pools, "pool objects in use that the tree does not hold");
    if (t.m_pclRoot == nullptr) return fault;
    for (size_t i = 0; i < leaves.size(); ++i)
      Require(leaves[i]->pPrev == (i > 0 ? leaves[i - 1] : nullptr) &&
                  leaves[i]->pNext == (i + 1 < leaves.size() ? leaves[i + 1] : nullptr),
              "leaf links");
    Require(keys == t.m_nKeyCount, "key count");
    const CMemBTree::CIterator& p = t.m_clPos;
    Require(p.m_pclLeaf == nullptr || std::find(leaves.begin(), leaves.end(), p.m_pclLeaf) != leaves.end(),
            "position on a leaf of another tree");
    Require(p.m_pclLeaf == nullptr || p.m_nKey < static_cast<int>(p.m_pclLeaf->nKeys) || p.m_pclLeaf->pNext == nullptr,
            "position after a leaf that has a next one");
    return fault;
  }
  uint32_t Walk(const CMemNode* node, bool root, bool alone, int depth, int* leafDepth) {
    Require(node->nKeys <= static_cast<uint32_t>(t.m_nOrder), "node above the order");
    if (node->nType == CMemNode::eData) {
      const CMemDataNode* leaf = static_cast<const CMemDataNode*>(node);
      Require(*leafDepth < 0 || *leafDepth == depth, "leaves at different depths");
      *leafDepth = depth;
      Require(alone || leaf->nKeys >= static_cast<uint32_t>(t.m_nMinFill), "leaf below the minimum fill");
      leaves.push_back(leaf);
      keys += leaf->nKeys;
      uint32_t records = 0;
      for (int i = 0; i < static_cast<int>(leaf->nKeys); ++i) {
        Bytes key = t.__pLeafKey(leaf, i);
        Require(!emit || i == 0 || t.nCompareKey(t.__pLeafKey(leaf, i - 1), key) < 0, "leaf keys out of order");
        if (!t.__bHasBucket(leaf, i)) {
          if (emit) emit(key, t.m_nValueSize ? t.__pLeafSlot(leaf, i) : nullptr);
          ++records;
          continue;
        }
        const CMemBucket* b = t.__pclBucket(leaf, i);
        const int n = b->nGetNumKey(), c = b->nGetClass();
        records += static_cast<uint32_t>(n);
        ++buckets[c];
        if (c == CMemBucket::kSubTreeClass) {
          Require(n >= (strictClasses ? CMemBucket::kSubTreeBelow : 2), "sub-tree bucket too small");
          CMemBTreeTestAccess sub{*b->pclSubTree(), strictClasses, nullptr};
          if (emit) sub.emit = [&](Bytes v, Bytes) { emit(key, v); };
          Require(sub.Run().empty(), "sub-tree bucket broken");
          continue;
        }
        const CMemBucket::STSizeThreshold& th = CMemBucket::mg_stTabSizeThreshold[c];
        Require(n >= 2 && n <= th.nCapacity && (!strictClasses || n >= th.nShrink), "bucket of the wrong class");
        for (int v = 0; v < n; ++v) {
          Require(v == 0 || t.m_pfnCompareValue(b->pValue(&t, v - 1), b->pValue(&t, v), t.m_nValueSize) < 0,
                  "bucket values out of order");
          if (emit) emit(key, b->pValue(&t, v));
        }
      }
      Require(leaf->nRecords == records, "leaf record count");
      return records;
    }
    const CMemIndexNode* index = static_cast<const CMemIndexNode*>(node);
    ++inner;
    Require(node->nType == (root ? CMemNode::eRoot : CMemNode::eIndex), "node type");
    Require(root || node->nKeys >= static_cast<uint32_t>(t.m_nMinFill), "inner node below the minimum fill");
    uint32_t records = 0;
    for (uint32_t i = 0; i <= node->nKeys; ++i) {
      const CMemNode* child = t.__ppChildren(index)[i];
      records += Walk(child, false, root && node->nKeys == 0, depth + 1, leafDepth);
      Require(i == 0 || memcmp(t.__pIndexKey(index, static_cast<int>(i) - 1), t.__pFirstKey(child), t.m_nKeySize) == 0,
              "separator is not the first key of its subtree");
    }
    Require(node->nRecords == records, "inner record count");
    return records;
  }
};

namespace {

// Every invariant, the count and the position against the model; with full, every record too.
void Compare(const CMemBTree& t, const Model& m, bool strictClasses, const std::string& step, bool full) {
  long i = 0;
  bool same = true;
  CMemBTreeTestAccess walk{t, strictClasses, nullptr};
  if (full)
    walk.emit = [&](Bytes k, Bytes v) {
      same = same && i < m.n() && memcmp(k, m.at(i), m.ks) == 0 && (m.vs == 0 || memcmp(v, m.at(i) + m.ks, m.vs) == 0);
      ++i;
    };
  const std::string fault = walk.Run();
  ASSERT_EQ(fault, "") << step;
  ASSERT_TRUE(same && (!full || i == m.n())) << step << ": records differ from the model";
  ASSERT_EQ(t.nGetNumRecord(), m.n()) << step;
  const bool onRecord = m.pos >= 0 && m.pos < m.n();
  ASSERT_EQ(const_cast<CMemBTree&>(t).bAdvance(0, nullptr, 4), m.pos >= 0) << step;
  ASSERT_EQ(t.pReadKey() != nullptr, onRecord) << step << " position " << m.pos;
  if (!onRecord) return;
  ASSERT_EQ(memcmp(t.pReadKey(), m.at(m.pos), m.ks), 0) << step << " position " << m.pos;
  const void* value = t.pReadValue();
  ASSERT_TRUE(m.vs == 0 ? value == nullptr : memcmp(value, m.at(m.pos) + m.ks, m.vs) == 0) << step << " " << m.pos;
  ASSERT_EQ(t.nNumDuplicates(), m.Bound(m.at(m.pos), true, true) - m.KeyStart(m.pos)) << step;
}

// Where bAdvance lands on the model: the steps made, or 0 when the move fails.
long ModelAdvance(const Model& m, long want, int flags, long* target) {
  const bool byKeys = flags & 1;
  const long n = m.n();
  long p = m.pos, steps = 0;
  for (; steps < std::abs(want); ++steps) {
    if (want > 0 && p >= n) break;
    if (want > 0) {
      p = byKeys ? m.Bound(m.at(p), true, true) : p + 1;
      continue;
    }
    const long from = byKeys ? (p == n ? n : m.KeyStart(p)) : p;
    if (from == 0) break;
    p = byKeys ? m.KeyStart(from - 1) : p - 1;
  }
  if (want > 0 && p == n && !(flags & 4) && steps > 0) {
    p = byKeys ? m.KeyStart(n - 1) : n - 1;
    --steps;
  }
  if (steps != std::abs(want) && !((flags & 2) && steps > 0)) return 0;
  *target = p;
  return want > 0 ? steps : -steps;
}

// count distinct byte strings of size bytes.
std::vector<std::string> Distinct(std::mt19937& rng, unsigned int size, size_t count) {
  std::vector<std::string> out;
  while (out.size() < count) {
    std::string s(size, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    if (std::find(out.begin(), out.end(), s) == out.end()) out.push_back(s);
  }
  return out;
}

struct Config {
  int order;
  unsigned int ks, vs;
  PFMEMBTREECOMPARE ck, cv;
  size_t keys;
};

// Random steps on one tree and its model. Key 0 is hot: its value count is driven up to 75 and
// down to 45 again and again; every eighth key is warm (up to 24 values); the others take up to 4.
class Runner {
 public:
  Runner(const Config& c, uint32_t seed, bool strict)
      : c_(c), rng_(seed), strict_(strict), m_{c.ck, c.cv, c.ks, c.vs, {}, -1} {
    keys_ = Distinct(rng_, c.ks, c.keys);
    values_ = Distinct(rng_, c.vs, c.vs == 0 ? 1 : 150);
    EXPECT_TRUE(t_->bInit(c.ks, c.vs, c.ck, c.cv, c.order));
  }
  int crossingsUp = 0, crossingsDown = 0;

  // A failed insert or bulk load is allowed only when a chunk allocation failed in it.
  void Step(int i) {
    const long hot = HotCount();
    hotUp_ = hot <= 45 || (hotUp_ && hot < 75);
    int op = static_cast<int>(rng_() % 100);
    const bool toHot = c_.vs != 0 && (op < 58 || op >= 64) && rng_() % 3 == 0;  // never wipe the hot key
    if (toHot && op < 58) op = hotUp_ || hot == 0 ? 0 : 40;
    Do(i, op, !toHot ? RandomRecord() : HotRecord(op < 58 ? op == 0 : hot == 0 || rng_() % 2));
  }
  // Operation op (0-33 insert, 34-57 delete, ... as below) with record r.
  void Do(int i, int op, const std::string& r) {
    const long n = m_.n(), hot = HotCount();
    Bytes rec = reinterpret_cast<Bytes>(r.data());
    Bytes key = rec, value = c_.vs ? rec + c_.ks : nullptr;
    const std::string what = "step " + std::to_string(i) + " op " + std::to_string(op);
    if (op < 34) {
      const long at = m_.Bound(rec, false, false);
      const bool fresh = at == n || m_.Cmp(m_.at(at), rec, false) != 0;
      const long before = g_nChunkCalls;
      const BOOL done = t_->bInsert(key, value);
      ASSERT_TRUE(done == fresh || (fresh && g_nFailAt > before && g_nFailAt <= g_nChunkCalls)) << what;
      if (done) m_.Insert(at, rec);
    } else if (op < 58) {
      const long at = m_.Bound(rec, false, false);
      const bool present = at < n && m_.Cmp(m_.at(at), rec, false) == 0;
      ASSERT_EQ(t_->bDelete(key, value), present) << what;
      if (present) m_.Erase(at, at + 1);
    } else if (op < 61) {
      const long a = m_.Bound(rec, true, false), b = m_.Bound(rec, true, true);
      ASSERT_EQ(t_->bDelete(key, nullptr), a < b) << what;
      if (a < b) m_.Erase(a, b);
    } else if (op < 64) {
      const bool on = m_.pos >= 0 && m_.pos < n;
      ASSERT_EQ(t_->bDeleteCurrentRecord(), on) << what;
      if (on) m_.Erase(m_.pos, m_.pos + 1);
    } else if (op < 74) {
      const int mode = static_cast<int>(rng_() % 4);
      const long lo = m_.Bound(rec, true, false), hi = m_.Bound(rec, true, true);
      long target = (mode & 2) ? (lo < hi ? hi - 1 : lo - 1) : lo;
      if (((mode & 1) && lo == hi) || target < 0 || target >= n) target = -1;
      ASSERT_EQ(t_->pSearch(key, mode) != nullptr, target >= 0 && c_.vs != 0) << what << " mode " << mode;
      if (target >= 0) m_.pos = target;
    } else if (op < 80) {
      const bool withValue = c_.vs != 0 && rng_() % 2;
      const long at = m_.Bound(rec, !withValue, false);
      ASSERT_EQ(t_->bFindRecord(key, withValue ? value : nullptr), at < n && m_.Cmp(m_.at(at), rec, !withValue) == 0)
          << what;
      if (n > 0) m_.pos = at;
    } else if (op < 83) {
      const int to = static_cast<int>(rng_() % (n + 4)) - 2;
      t_->MoveTo(to);
      if (n > 0) m_.pos = std::clamp<long>(to, 0, n);
    } else if (op < 96) {
      const int want = static_cast<int>(rng_() % 13) - 6, flags = static_cast<int>(rng_() % 8);
      long target = m_.pos, moved = 0;
      int got = 99;
      const bool ok = m_.pos >= 0 && (want == 0 ? (m_.pos < n || ((flags & 4) && m_.pos == n))
                                                : (moved = ModelAdvance(m_, want, flags, &target)) != 0);
      ASSERT_EQ(t_->bAdvance(want, &got, flags), ok) << what << " advance " << want << " flags " << flags;
      ASSERT_EQ(got, ok ? moved : 0) << what;
      if (ok) m_.pos = target;
    } else if (op < 98) {
      (op & 1) ? t_->GotoFirstRecord() : t_->GotoEnd();
      if (n > 0) m_.pos = (op & 1) ? 0 : n;
    } else if (rng_() % 20 == 0) {
      Rebuild(what);
    }
    Compare(*t_, m_, strict_, what, i % 16 == 0 || op >= 98);
    const long now = HotCount();
    crossingsUp += hot <= 64 && now > 64;
    crossingsDown += hot >= 56 && now < 56;
  }

  // Empties the tree key by key, then bulk-loads a new record set; the same set with one record
  // repeated is refused first and leaves the tree empty.
  void Rebuild(const std::string& what) {
    if (m_.n() > 0) {
      ASSERT_FALSE(t_->bLoadBulk(m_.d.data(), m_.d.data(), 1)) << what;
    }
    while (m_.n() > 0) {
      ASSERT_TRUE(t_->bDelete(m_.at(0), nullptr)) << what;
      m_.Erase(0, m_.Bound(m_.at(0), true, true));
    }
    std::vector<std::string> recs;
    for (size_t n = c_.keys / 2 + rng_() % (c_.keys * 2); n > 0; --n) {
      const std::string r = rng_() % 4 ? RandomRecord() : HotRecord(true);
      if (std::find(recs.begin(), recs.end(), r) == recs.end()) recs.push_back(r);
    }
    for (int repeat = rng_() % 4 == 0; repeat >= 0; --repeat) {
      std::string keys, values;
      for (size_t i = 0; i <= recs.size() - (repeat ? 0 : 1); ++i) {
        const std::string& r = recs[i < recs.size() ? i : rng_() % recs.size()];
        keys += r.substr(0, c_.ks);
        values += r.substr(c_.ks);
      }
      const long before = g_nChunkCalls;
      const BOOL done = t_->bLoadBulk(keys.data(), values.data(), static_cast<int>(keys.size() / c_.ks));
      ASSERT_TRUE(done == !repeat || (!repeat && g_nFailAt > before && g_nFailAt <= g_nChunkCalls)) << what;
      ASSERT_TRUE(done || (t_->nGetNumRecord() == 0 && !t_->bAdvance(0, nullptr, 4))) << what;
    }
    if (t_->nGetNumRecord() == 0) return;
    for (const std::string& r : recs)
      m_.Insert(m_.Bound(reinterpret_cast<Bytes>(r.data()), false, false), reinterpret_cast<Bytes>(r.data()));
    m_.pos = m_.n();
  }

  std::string Record(size_t k, size_t v) const { return keys_[k] + (c_.vs ? values_[v] : std::string()); }
  void Destroy() { t_.reset(); }

 private:
  std::string RandomRecord() {
    const size_t k = 1 + rng_() % (keys_.size() - 1);
    const size_t v = rng_() % (k % 8 == 0 && c_.order < 32 ? 24 : 4);
    return keys_[k] + (c_.vs ? values_[v] : std::string());
  }
  // A new value for the hot key, or one it holds.
  std::string HotRecord(bool fresh) {
    if (fresh) return keys_[0] + values_[rng_() % values_.size()];
    Bytes k = reinterpret_cast<Bytes>(keys_[0].data());
    const long lo = m_.Bound(k, true, false), hi = m_.Bound(k, true, true);
    return std::string(reinterpret_cast<const char*>(m_.at(lo + static_cast<long>(rng_() % (hi - lo)))), m_.rs());
  }
  long HotCount() const {
    Bytes k = reinterpret_cast<Bytes>(keys_[0].data());
    return m_.Bound(k, true, true) - m_.Bound(k, true, false);
  }

  Config c_;
  std::mt19937 rng_;
  bool strict_;
  Model m_;
  std::vector<std::string> keys_, values_;
  bool hotUp_ = true;
  std::unique_ptr<CMemBTree> t_{new CMemBTree};
};

class CMemBTreeModel : public testing::TestWithParam<int> {};

// Per order, every value size (0: keys only) and key size, with both comparisons.
TEST_P(CMemBTreeModel, RandomOperationsFollowTheModel) {
  const int order = GetParam();
  int up = 0, down = 0;
  long steps = 0;
  for (unsigned int vs : {0u, 1u, 4u, 12u})
    for (unsigned int ks : {1u, 3u, 8u}) {
      const bool le = (order + vs + ks) % 2;
      const bool big = order == 32 && ks > 1;
      const Config c{order,
                     ks,
                     vs,
                     le ? CmpLittleEndian : CmpBytes,
                     le ? CmpBytes : CmpLittleEndian,
                     order == 32 ? (big ? 2000u : 250u) : 80u};
      Runner r(c, 1000u * order + 10 * vs + ks, true);
      r.Rebuild("first bulk load");
      const int n = big ? kModelSteps * 2 / 7 : kModelSteps;
      for (int i = 0; i < n && !HasFatalFailure(); ++i) r.Step(i);
      ASSERT_FALSE(HasFatalFailure()) << "key " << ks << " value " << vs;
      up += r.crossingsUp;
      down += r.crossingsDown;
      steps += n;
    }
  EXPECT_GE(steps, kModelSteps * 6L);  // a million steps over the 5 orders
  EXPECT_GT(up, kModelSteps / 200);    // crossings of 64 up and 55 down
  EXPECT_GT(down, kModelSteps / 200);
}
INSTANTIATE_TEST_SUITE_P(Orders, CMemBTreeModel, testing::Values(2, 3, 4, 5, 32));

// A run of inserts, deletes, bucket conversions and bulk loads, redone with the n-th chunk
// allocation failing for every n it makes: no failed insert or load changes anything, deletes
// always complete, and every chunk is given back.
TEST(CMemBTree, HeapExhaustionAtEveryChunkLeavesTheTreeWhole) {
  CountingChunks counting;
  long total = 0;
  for (long failAt = 0; failAt == 0 || failAt <= total; ++failAt) {
    g_nChunkCalls = 0;
    g_nFailAt = failAt;
    Runner r({3, 600, 600, CmpBytes, CmpLittleEndian, 60}, 7, false);
    // Three keys grow past 64 values and shrink back to one together, so that the buckets of
    // every class and the sub-trees take and give back chunks; then new keys and random steps.
    for (int i = 0; i < 400 && !HasFatalFailure(); ++i)
      r.Do(i, i < 200 ? 0 : 40, r.Record(1 + i % 3, i < 200 ? i / 3 : 66 - (i - 200) / 3));
    for (int i = 0; i < 40 && !HasFatalFailure(); ++i) r.Do(i, 0, r.Record(4 + i, 0));
    r.Rebuild("bulk load");
    for (int i = 0; i < 300 && !HasFatalFailure(); ++i) r.Step(i);
    ASSERT_FALSE(HasFatalFailure()) << "chunk " << failAt << " of " << total;
    if (failAt == 0) total = g_nChunkCalls;
    r.Destroy();
    ASSERT_EQ(g_nLiveChunks, 0) << "chunk " << failAt;
  }
  EXPECT_GT(total, 100);
}

TEST(CTObjAlloc, ChunksMoveBetweenListsAndEmptyOnesAreReleased) {
  CountingChunks counting;
  {
    CTObjAlloc pool(3, 20);
    void* a[4];
    for (void*& p : a) p = pool.pAllocate();
    for (void* p : a) EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
    EXPECT_EQ(pool.nGetChunkCount(), 2);  // the first one filled up
    pool.Free(a[1]);
    EXPECT_EQ(pool.pAllocate(), a[1]);  // the chunk went back to the head of the available list
    pool.Free(a[0]);
    pool.Free(a[3]);
    EXPECT_EQ(pool.nGetChunkCount(), 1);  // emptied while not alone in its list
    pool.Free(a[1]);
    pool.Free(a[2]);
    EXPECT_EQ(pool.nGetChunkCount(), 1);  // emptied, but alone
    EXPECT_EQ(pool.nGetObjectsInUse(), 0);
    CTObjAlloc one(1, 8);  // served as two per chunk
    void* b[3] = {one.pAllocate(), one.pAllocate(), one.pAllocate()};
    EXPECT_EQ(one.nGetChunkCount(), 2);
    for (void* p : b) one.Free(p);
    EXPECT_EQ(one.nGetChunkCount(), 1);
    one.pAllocate();  // in use when the pool goes: its chunk goes too
  }
  EXPECT_EQ(g_nLiveChunks, 0);
}

std::string Key(int k) { return std::string{static_cast<char>(k >> 8), static_cast<char>(k)}; }
void Insert(CMemBTree* t, int from, int to, int step = 1, int value = 0) {
  for (int k = from; k <= to; k += step) t->bInsert(Key(k).data(), Key(value ? value : k).data());
}
// Keys from..to, or with key given, its values from..to.
void Delete(CMemBTree* t, int from, int to, int key = 0) {
  for (int i = from; i <= to; ++i) t->bDelete(Key(key ? key : i).data(), key ? Key(i).data() : nullptr);
}
// Values 1..n of key 7.
void Values(CMemBTree* t, int n) {
  for (int v = 1; v <= n; ++v) t->bInsert(Key(7).data(), Key(v).data());
}

TEST(CMemBTree, SplitsRotationsMergesBucketsAndBulkLoadsGiveTheirShapes) {
  struct Row {
    const char* what;
    unsigned int valueSize;
    std::function<void(CMemBTree*)> build;
    const char* shape;
  } rows[] = {
      {"33 increasing keys split 16 / 17", 0, [](CMemBTree* t) { Insert(t, 0, 32); }, "16 17 /16"},
      {"a full leaf hands its last key to a right brother with room", 0,
       [](CMemBTree* t) { Insert(t, 0, 128, 4), Insert(t, 1, 61, 4), Insert(t, 2, 2); }, "32 18 /61"},
      {"a leaf of 16 merges with a brother of 17", 0, [](CMemBTree* t) { Insert(t, 0, 32), Delete(t, 0, 0); }, "32 "},
      {"a leaf of 16 borrows from a brother of 18", 0, [](CMemBTree* t) { Insert(t, 0, 33), Delete(t, 0, 0); },
       "16 17 /17"},
      {"64 values fill a vector", 2, [](CMemBTree* t) { Values(t, 64); }, "1  c5x64"},
      {"the 65th makes a sub-tree", 2, [](CMemBTree* t) { Values(t, 65); }, "1  c6x65"},
      {"a sub-tree of 56 stays", 2, [](CMemBTree* t) { Values(t, 65), Delete(t, 57, 65, 7); }, "1  c6x56"},
      {"at 55 it is a vector again", 2, [](CMemBTree* t) { Values(t, 65), Delete(t, 56, 65, 7); }, "1  c5x55"},
      {"3 values of class 2 keep it at 2", 2,
       [](CMemBTree* t) { Values(t, 5), Delete(t, 4, 5, 7), Delete(t, 3, 3, 7); }, "1  c2x2"},
      {"2 values of class 2 go back inline", 2,
       [](CMemBTree* t) { Values(t, 5), Delete(t, 3, 5, 7), Delete(t, 2, 2, 7); }, "1 "},
      {"a bulk load of 100 keys makes 4 leaves of 25", 2,
       [](CMemBTree* t) {
         std::string k;
         for (int i = 0; i < 100; ++i) k += Key(i * 2);
         EXPECT_TRUE(t->bLoadBulk(k.data(), k.data(), 100));
       },
       "25 25 25 25 /50/100/150"},
      {"a bulk load of 33 keys makes leaves of 17 and 16", 0,
       [](CMemBTree* t) {
         std::string k;
         for (int i = 32; i >= 0; --i) k += Key(i);
         EXPECT_TRUE(t->bLoadBulk(k.data(), nullptr, 33));
       },
       "17 16 /17"},
      {"a keys-only bulk load with a repeated key leaves the tree empty", 0,
       [](CMemBTree* t) { EXPECT_FALSE(t->bLoadBulk((Key(1) + Key(2) + Key(1)).data(), nullptr, 3)); }, ""},
  };
  for (const Row& row : rows) {
    CMemBTree t;
    ASSERT_TRUE(t.bInit(2, row.valueSize, CmpBytes, CmpBytes, 0));
    row.build(&t);
    EXPECT_EQ(CMemBTreeTestAccess::Shape(t), row.shape) << row.what;
  }
}

// Positions that the random runs seldom reach.
TEST(CMemBTree, FirstRecordSearchesAndMovesAtTheEdges) {
  CMemBTree t;
  ASSERT_TRUE(t.bInit(2, 2, CmpBytes, CmpBytes, 5));
  t.MoveTo(0);
  EXPECT_FALSE(t.bAdvance(0, nullptr, 4));  // empty: no position
  t.bInsert(Key(10).data(), Key(1).data());
  EXPECT_TRUE(t.pReadKey() == nullptr && t.bAdvance(0, nullptr, 4));  // the first record leaves it at the end
  for (int v : {5, 9, 7}) t.bInsert(Key(20).data(), Key(v).data());
  int moved = 0;
  EXPECT_EQ(memcmp(t.pSearch(Key(20).data(), 0), Key(5).data(), 2), 0);
  EXPECT_EQ(memcmp(t.pSearch(Key(20).data(), 2), Key(9).data(), 2), 0);
  EXPECT_TRUE(t.pSearch(Key(9).data(), 2) == nullptr && t.nNumDuplicates() == 3);   // below every key: kept
  EXPECT_TRUE(t.pSearch(Key(21).data(), 0) == nullptr && t.nNumDuplicates() == 3);  // above every key: kept
  EXPECT_FALSE(t.bAdvance(1, &moved, 0));                                           // on the last record
  EXPECT_EQ(moved, 0);
  EXPECT_TRUE(t.bAdvance(1, &moved, 4) && moved == 1 && t.pReadKey() == nullptr);
  EXPECT_TRUE(t.bAdvance(-2, &moved, 1) && moved == -2 && memcmp(t.pReadValue(), Key(1).data(), 2) == 0);
}

struct CMemBTreeInit {
  unsigned int keySize, valueSize;
  int order;
  BOOL ok;
  int minFill;
};

TEST(CMemBTree, InitRefusesLayoutsItCannotHold) {
  const CMemBTreeInit rows[] = {
      {4, 4, 0, TRUE, 16},  {4, 4, 5, TRUE, 2},   {4, 0, 2, TRUE, 1},           {4, 4, 1, FALSE, 0},
      {4, 4, -3, FALSE, 0}, {0, 4, 32, FALSE, 0}, {200000000, 4, 32, FALSE, 0}, {4, 100000000, 32, FALSE, 0},
  };
  for (const CMemBTreeInit& row : rows) {
    CMemBTree t;
    EXPECT_EQ(t.bInit(row.keySize, row.valueSize, CmpBytes, CmpBytes, row.order), row.ok)
        << row.keySize << " " << row.valueSize << " " << row.order;
    EXPECT_EQ(row.ok ? CMemBTreeTestAccess::MinFill(t) : 0, row.minFill);
    EXPECT_FALSE(row.ok && t.bInit(row.keySize, row.valueSize, CmpBytes, CmpBytes, row.order));
  }
}

}  // namespace

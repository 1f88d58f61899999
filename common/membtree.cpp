#include "common/membtree.h"

#include <cassert>
#include <climits>
#include <cstring>
#include <new>

#include "common/membucket.h"
#include "common/simplebuffer.h"

namespace {

const int kDefaultOrder = 32;

inline size_t BitWords(int order) { return static_cast<size_t>((order - 1) / 32 + 1); }

void SwapRecords(unsigned char* a, unsigned char* b, size_t size) {
  unsigned char tmp[64];
  while (size > 0) {
    const size_t k = size < sizeof tmp ? size : sizeof tmp;
    memcpy(tmp, a, k);
    memcpy(a, b, k);
    memcpy(b, tmp, k);
    a += k;
    b += k;
    size -= k;
  }
}

}  // namespace

// A saved position: the tree's own, and the one inside the current key's sub-tree bucket.
struct CMemBTree::STPlace {
  CIterator outer;
  CIterator inner;
};

int CMemNode::nSearch(unsigned int size, int count, const unsigned char* keys, const void* key,
                      PFMEMBTREECOMPARE compare, int* pFound) {
  int low = 0;
  int high = count - 1;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int c = compare(key, keys + static_cast<size_t>(mid) * size, size);
    if (c > 0) {
      low = mid + 1;
    } else if (c < 0) {
      high = mid - 1;
    } else {
      *pFound = 1;
      return mid;
    }
  }
  *pFound = 0;
  return low;
}

CMemBTree::CMemBTree() { m_clPos.m_pclTree = this; }

CMemBTree::~CMemBTree() {
  if (m_pclRoot != nullptr) __DestroySubtree(m_pclRoot);
}

BOOL CMemBTree::bInit(unsigned int keySize, unsigned int valueSize, PFMEMBTREECOMPARE compareKey,
                      PFMEMBTREECOMPARE compareValue, int order) {
  if (m_pfnCompareKey != nullptr || keySize == 0 || compareKey == nullptr ||
      (valueSize != 0 && compareValue == nullptr))
    return FALSE;
  if (order == 0) order = kDefaultOrder;
  // Order 1 would split a leaf into an empty one.
  if (order < 2) return FALSE;
  const uint64_t slot = valueSize == 0 ? 0 : (valueSize < sizeof(void*) ? sizeof(void*) : valueSize);
  const uint64_t bits = valueSize == 0 ? 0 : 4 * BitWords(order);
  const uint64_t leaf = sizeof(CMemDataNode) + bits + static_cast<uint64_t>(order) * (keySize + slot);
  const uint64_t children = sizeof(CMemIndexNode) + (static_cast<uint64_t>(order) + 1) * sizeof(CMemNode*);
  const uint64_t index = children + static_cast<uint64_t>(order) * keySize;
  // A sub-tree bucket's nodes hold values as keys.
  const uint64_t subIndex = children + static_cast<uint64_t>(order) * valueSize;
  if (leaf > UINT32_MAX || index > UINT32_MAX || subIndex > UINT32_MAX ||
      CMemBucket::nGetFullSize(valueSize, 5) > UINT32_MAX)
    return FALSE;

  m_nOrder = order;
  m_nMinFill = order / 2;
  m_pfnCompareKey = compareKey;
  m_pfnCompareValue = compareValue;
  m_nKeySize = keySize;
  m_nValueSize = valueSize;
  m_nSlotSize = static_cast<unsigned int>(slot);
  m_nLeafKeysOffset = sizeof(CMemDataNode) + bits;
  m_nLeafSlotsOffset = m_nLeafKeysOffset + static_cast<size_t>(order) * keySize;
  m_nIndexKeysOffset = children;
  m_clIndexPool.Reset(CTObjAlloc::nObjectsPerChunk(index), static_cast<unsigned int>(index));
  m_clLeafPool.Reset(CTObjAlloc::nObjectsPerChunk(leaf), static_cast<unsigned int>(leaf));
  if (valueSize != 0)
    for (int k = 0; k <= CMemBucket::kSubTreeClass; ++k) {
      const uint64_t size = CMemBucket::nGetFullSize(valueSize, k);
      m_tabBucketPool[k].Reset(CTObjAlloc::nObjectsPerChunk(size), static_cast<unsigned int>(size));
    }
  return TRUE;
}

CMemBTree* CMemBTree::pclCreate(unsigned int keySize, unsigned int valueSize, PFMEMBTREECOMPARE compareKey,
                                PFMEMBTREECOMPARE compareValue, int order) {
  CMemBTree* tree = new (std::nothrow) CMemBTree;
  if (tree != nullptr && !tree->bInit(keySize, valueSize, compareKey, compareValue, order)) {
    delete tree;
    tree = nullptr;
  }
  return tree;
}

int CMemBTree::_nCompareRec(const void* a, const void* b) const {
  const int c = m_pfnCompareKey(a, b, m_nKeySize);
  if (c != 0 || m_nValueSize == 0) return c;
  return m_pfnCompareValue(static_cast<const unsigned char*>(a) + m_nKeySize,
                           static_cast<const unsigned char*>(b) + m_nKeySize, m_nValueSize);
}

int CMemBTree::nGetNumRecord() const { return m_pclRoot != nullptr ? static_cast<int>(m_pclRoot->nRecords) : 0; }

// ---- leaf slots -------------------------------------------------------------------------------

bool CMemBTree::__bHasBucket(const CMemDataNode* leaf, int i) const {
  return m_nValueSize != 0 && ((__pBits(leaf)[i >> 5] >> (i & 31)) & 1u) != 0;
}

void CMemBTree::__SetBucketBit(CMemDataNode* leaf, int i, bool on) const {
  uint32_t& word = __pBits(leaf)[i >> 5];
  const uint32_t bit = 1u << (i & 31);
  word = on ? (word | bit) : (word & ~bit);
}

CMemBucket* CMemBTree::__pclBucket(const CMemDataNode* leaf, int i) const {
  CMemBucket* bucket;
  memcpy(&bucket, __pLeafSlot(leaf, i), sizeof bucket);
  return bucket;
}

void CMemBTree::__SetBucket(CMemDataNode* leaf, int i, CMemBucket* bucket) const {
  memcpy(__pLeafSlot(leaf, i), &bucket, sizeof bucket);
  __SetBucketBit(leaf, i, true);
}

uint32_t CMemBTree::__nKeyRecords(const CMemDataNode* leaf, int i) const {
  return __bHasBucket(leaf, i) ? static_cast<uint32_t>(__pclBucket(leaf, i)->nGetNumKey()) : 1;
}

const unsigned char* CMemBTree::__pFirstKey(const CMemNode* node) const {
  while (node->nType != CMemNode::eData) node = __ppChildren(static_cast<const CMemIndexNode*>(node))[0];
  return __pLeafKey(static_cast<const CMemDataNode*>(node), 0);
}

CMemDataNode* CMemBTree::__pclNewLeaf() {
  CMemDataNode* leaf = static_cast<CMemDataNode*>(m_clLeafPool.pAllocate());
  if (leaf == nullptr) return nullptr;
  leaf->nType = CMemNode::eData;
  leaf->nKeys = leaf->nRecords = leaf->nSpare = 0;
  leaf->pPrev = leaf->pNext = nullptr;
  if (m_nValueSize != 0) memset(__pBits(leaf), 0, 4 * BitWords(m_nOrder));
  return leaf;
}

void CMemBTree::__FreeBucket(CMemBucket* bucket) {
  CMemBTree* sub = bucket->pclSubTree();
  if (sub != nullptr) sub->~CMemBTree();
  m_tabBucketPool[bucket->nGetClass()].Free(bucket);
}

void CMemBTree::__FreeLeafBuckets(CMemDataNode* leaf) {
  for (int i = 0; i < static_cast<int>(leaf->nKeys); ++i)
    if (__bHasBucket(leaf, i)) __FreeBucket(__pclBucket(leaf, i));
}

void CMemBTree::__DestroySubtree(CMemNode* node) {
  if (node->nType == CMemNode::eData) {
    __FreeLeafBuckets(static_cast<CMemDataNode*>(node));
    m_clLeafPool.Free(node);
    return;
  }
  CMemNode** children = __ppChildren(static_cast<CMemIndexNode*>(node));
  for (uint32_t i = 0; i <= node->nKeys; ++i) __DestroySubtree(children[i]);
  m_clIndexPool.Free(node);
}

// Moves n slots of a leaf (keys, values, bucket bits) from index from to index to.
void CMemBTree::__ShiftLeaf(CMemDataNode* leaf, int from, int to, int n) {
  if (n <= 0 || from == to) return;
  memmove(__pLeafKey(leaf, to), __pLeafKey(leaf, from), static_cast<size_t>(n) * m_nKeySize);
  if (m_nValueSize == 0) return;
  memmove(__pLeafSlot(leaf, to), __pLeafSlot(leaf, from), static_cast<size_t>(n) * m_nSlotSize);
  if (to > from)
    for (int i = n - 1; i >= 0; --i) __SetBucketBit(leaf, to + i, __bHasBucket(leaf, from + i));
  else
    for (int i = 0; i < n; ++i) __SetBucketBit(leaf, to + i, __bHasBucket(leaf, from + i));
}

void CMemBTree::__InsertNewKey(CMemDataNode* leaf, int p, const void* key, const void* value) {
  __ShiftLeaf(leaf, p, p + 1, static_cast<int>(leaf->nKeys) - p);
  memcpy(__pLeafKey(leaf, p), key, m_nKeySize);
  if (m_nValueSize != 0) {
    memcpy(__pLeafSlot(leaf, p), value, m_nValueSize);
    __SetBucketBit(leaf, p, false);
  }
  ++leaf->nKeys;
  ++leaf->nRecords;
  ++m_nKeyCount;
  if (m_clPos.m_pclLeaf == leaf && m_clPos.m_nKey >= p) ++m_clPos.m_nKey;
}

// Removes slot p (its bucket already freed, records already counted off). A position on it moves
// to the key that follows, whose first value it takes once merges and borrows have brought the
// right key there (bDelete).
void CMemBTree::__DeleteKey(CMemDataNode* leaf, int p) {
  __ShiftLeaf(leaf, p + 1, p, static_cast<int>(leaf->nKeys) - p - 1);
  --leaf->nKeys;
  --m_nKeyCount;
  if (m_clPos.m_pclLeaf != leaf) return;
  if (m_clPos.m_nKey > p) {
    --m_clPos.m_nKey;
  } else if (m_clPos.m_nKey == p) {
    m_clPos.m_nDup = 0;
    m_bEnterKey = true;
  }
}

// Moves keys from..from+n-1 of src to index at of dst, its neighbour in the leaf list, with their
// values, buckets and records. A position follows its record; the boundary after a leaf's last
// key (the end, or the next leaf's first record) stays in front of the record it stood before.
void CMemBTree::__TransferKeys(CMemDataNode* dst, int at, CMemDataNode* src, int from, int n) {
  const int dstCount = static_cast<int>(dst->nKeys);
  const int srcCount = static_cast<int>(src->nKeys);
  uint32_t records = 0;
  for (int i = from; i < from + n; ++i) records += __nKeyRecords(src, i);
  __ShiftLeaf(dst, at, at + n, dstCount - at);
  memcpy(__pLeafKey(dst, at), __pLeafKey(src, from), static_cast<size_t>(n) * m_nKeySize);
  if (m_nValueSize != 0) {
    memcpy(__pLeafSlot(dst, at), __pLeafSlot(src, from), static_cast<size_t>(n) * m_nSlotSize);
    for (int i = 0; i < n; ++i) __SetBucketBit(dst, at + i, __bHasBucket(src, from + i));
  }
  __ShiftLeaf(src, from + n, from, srcCount - from - n);
  dst->nKeys += n;
  src->nKeys -= n;
  dst->nRecords += records;
  src->nRecords -= records;

  int& k = m_clPos.m_nKey;
  if (m_clPos.m_pclLeaf == src) {
    if (k >= from && (k < from + n || (k == srcCount && from + n == srcCount))) {
      m_clPos.m_pclLeaf = dst;
      k = at + k - from;
    } else if (k >= from + n) {
      k -= n;
    }
  } else if (m_clPos.m_pclLeaf == dst && k >= at && !(k == dstCount && dst->pNext == src)) {
    k += n;
  }
}

// ---- inner-node moves -------------------------------------------------------------------------

void CMemBTree::__InsertChild(CMemIndexNode* node, int c, CMemNode* child) {
  const int n = static_cast<int>(node->nKeys);
  CMemNode** children = __ppChildren(node);
  memmove(__pIndexKey(node, c + 1), __pIndexKey(node, c), static_cast<size_t>(n - c) * m_nKeySize);
  memmove(children + c + 2, children + c + 1, static_cast<size_t>(n - c) * sizeof(CMemNode*));
  memcpy(__pIndexKey(node, c), __pFirstKey(child), m_nKeySize);
  children[c + 1] = child;
  ++node->nKeys;
}

// Removes separator sep and child sep + 1.
void CMemBTree::__RemoveChild(CMemIndexNode* parent, int sep) {
  const int n = static_cast<int>(parent->nKeys);
  CMemNode** children = __ppChildren(parent);
  memmove(__pIndexKey(parent, sep), __pIndexKey(parent, sep + 1), static_cast<size_t>(n - sep - 1) * m_nKeySize);
  memmove(children + sep + 1, children + sep + 2, static_cast<size_t>(n - sep - 1) * sizeof(CMemNode*));
  --parent->nKeys;
}

// Moves n separators from index from of src to index at of dst, and the n children that follow
// them (from + 1 ..) to dst's children at + 1 ..; record counts follow the children.
void CMemBTree::__MoveChildren(CMemIndexNode* dst, int at, CMemIndexNode* src, int from, int n) {
  const int dstCount = static_cast<int>(dst->nKeys);
  const int srcCount = static_cast<int>(src->nKeys);
  CMemNode** dc = __ppChildren(dst);
  CMemNode** sc = __ppChildren(src);
  uint32_t records = 0;
  for (int i = 0; i < n; ++i) records += sc[from + 1 + i]->nRecords;
  memmove(__pIndexKey(dst, at + n), __pIndexKey(dst, at), static_cast<size_t>(dstCount - at) * m_nKeySize);
  memmove(dc + at + n + 1, dc + at + 1, static_cast<size_t>(dstCount - at) * sizeof(CMemNode*));
  memcpy(__pIndexKey(dst, at), __pIndexKey(src, from), static_cast<size_t>(n) * m_nKeySize);
  memcpy(dc + at + 1, sc + from + 1, static_cast<size_t>(n) * sizeof(CMemNode*));
  memmove(__pIndexKey(src, from), __pIndexKey(src, from + n), static_cast<size_t>(srcCount - from - n) * m_nKeySize);
  memmove(sc + from + 1, sc + from + n + 1, static_cast<size_t>(srcCount - from - n) * sizeof(CMemNode*));
  dst->nKeys += n;
  src->nKeys -= n;
  dst->nRecords += records;
  src->nRecords -= records;
}

void CMemBTree::__MergeLeaves(CMemIndexNode* parent, int left) {
  CMemNode** children = __ppChildren(parent);
  CMemDataNode* l = static_cast<CMemDataNode*>(children[left]);
  CMemDataNode* r = static_cast<CMemDataNode*>(children[left + 1]);
  __TransferKeys(l, static_cast<int>(l->nKeys), r, 0, static_cast<int>(r->nKeys));
  l->pNext = r->pNext;
  if (r->pNext != nullptr) r->pNext->pPrev = l;
  m_clLeafPool.Free(r);
  __RemoveChild(parent, left);
}

// The parent's separator comes down between the two key lists.
void CMemBTree::__MergeIndexNodes(CMemIndexNode* parent, int left) {
  CMemNode** children = __ppChildren(parent);
  CMemIndexNode* l = static_cast<CMemIndexNode*>(children[left]);
  CMemIndexNode* r = static_cast<CMemIndexNode*>(children[left + 1]);
  const int n = static_cast<int>(l->nKeys);
  memcpy(__pIndexKey(l, n), __pIndexKey(parent, left), m_nKeySize);
  __ppChildren(l)[n + 1] = __ppChildren(r)[0];
  l->nKeys = n + 1;
  l->nRecords += __ppChildren(r)[0]->nRecords;
  r->nRecords -= __ppChildren(r)[0]->nRecords;
  __MoveChildren(l, n + 1, r, 0, static_cast<int>(r->nKeys));
  m_clIndexPool.Free(r);
  __RemoveChild(parent, left);
}

// ---- insertion --------------------------------------------------------------------------------

int CMemBTree::__nRoute(const CMemIndexNode* node, const void* key) const {
  int found;
  const int p =
      CMemNode::nSearch(m_nKeySize, static_cast<int>(node->nKeys), __pIndexKey(node, 0), key, m_pfnCompareKey, &found);
  return found ? p + 1 : p;
}

BOOL CMemBTree::bInsert(const void* key, const void* value) {
  if (m_pfnCompareKey == nullptr) return FALSE;
  if (m_pclRoot == nullptr) {
    if (!m_clIndexPool.bReserve(1) || !m_clLeafPool.bReserve(1)) return FALSE;
    CMemIndexNode* root = static_cast<CMemIndexNode*>(m_clIndexPool.pAllocate());
    CMemDataNode* leaf = __pclNewLeaf();
    root->nType = CMemNode::eRoot;
    root->nKeys = root->nSpare = 0;
    root->nRecords = 1;
    __ppChildren(root)[0] = leaf;
    __InsertNewKey(leaf, 0, key, value);
    m_pclRoot = root;
    m_clPos.m_pclLeaf = leaf;
    m_clPos.m_nKey = 1;
    m_clPos.m_nDup = 0;
    return TRUE;
  }
  CMemNode* split = nullptr;
  if (!__bInsertIndex(m_pclRoot, nullptr, 0, 1, key, value, &split)) return FALSE;
  if (split != nullptr) {
    CMemIndexNode* root = static_cast<CMemIndexNode*>(m_clIndexPool.pAllocate());
    root->nType = CMemNode::eRoot;
    root->nKeys = root->nSpare = 0;
    root->nRecords = m_pclRoot->nRecords;
    m_pclRoot->nType = CMemNode::eIndex;
    __ppChildren(root)[0] = m_pclRoot;
    __InsertChild(root, 0, split);
    root->nRecords += split->nRecords;
    m_pclRoot = root;
  }
  return TRUE;
}

// depth: inner nodes above the leaf. On a split the new right node is left in *ppNew.
BOOL CMemBTree::__bInsertLeaf(CMemDataNode* leaf, CMemIndexNode* parent, int idx, int depth, const void* key,
                              const void* value, CMemNode** ppNew) {
  int found;
  const int n = static_cast<int>(leaf->nKeys);
  const int p = CMemNode::nSearch(m_nKeySize, n, __pLeafKey(leaf, 0), key, m_pfnCompareKey, &found);
  if (found) return m_nValueSize != 0 && __bAddValue(leaf, p, value);
  if (n < m_nOrder) {
    __InsertNewKey(leaf, p, key, value);
    return TRUE;
  }
  CMemNode** brothers = __ppChildren(parent);
  if (idx < static_cast<int>(parent->nKeys) && brothers[idx + 1]->nKeys < static_cast<uint32_t>(m_nOrder)) {
    CMemDataNode* right = static_cast<CMemDataNode*>(brothers[idx + 1]);
    if (p == n) {
      __InsertNewKey(right, 0, key, value);
    } else {
      __TransferKeys(right, 0, leaf, n - 1, 1);
      __InsertNewKey(leaf, p, key, value);
    }
    memcpy(__pIndexKey(parent, idx), __pLeafKey(right, 0), m_nKeySize);
    return TRUE;
  }
  if (idx > 0 && brothers[idx - 1]->nKeys < static_cast<uint32_t>(m_nOrder)) {
    // The key routed here is at or above the separator, which is this leaf's first key, and is
    // not that key: it lands after it.
    assert(p >= 1);
    __TransferKeys(static_cast<CMemDataNode*>(brothers[idx - 1]), static_cast<int>(brothers[idx - 1]->nKeys), leaf, 0,
                   1);
    __InsertNewKey(leaf, p - 1, key, value);
    memcpy(__pIndexKey(parent, idx - 1), __pLeafKey(leaf, 0), m_nKeySize);
    return TRUE;
  }
  // A split may climb to the root and add a new one: take everything before changing anything.
  if (!m_clLeafPool.bReserve(1) || !m_clIndexPool.bReserve(static_cast<unsigned int>(depth) + 1)) return FALSE;
  CMemDataNode* right = __pclNewLeaf();
  right->pPrev = leaf;
  right->pNext = leaf->pNext;
  if (leaf->pNext != nullptr) leaf->pNext->pPrev = right;
  leaf->pNext = right;
  const int kept = (n + 1) / 2;
  __TransferKeys(right, 0, leaf, kept, n - kept);
  if (p > kept)
    __InsertNewKey(right, p - kept, key, value);
  else
    __InsertNewKey(leaf, p, key, value);
  *ppNew = right;
  return TRUE;
}

// A second value for the key at p: all-or-nothing, no key moves.
BOOL CMemBTree::__bAddValue(CMemDataNode* leaf, int p, const void* value) {
  const bool keep = m_clPos.m_pclLeaf == leaf && m_clPos.m_nKey == p;
  unsigned char* slot = __pLeafSlot(leaf, p);
  if (__bHasBucket(leaf, p)) {
    CMemBucket* bucket = __pclBucket(leaf, p);
    CMemBucket* now = bucket->pclInsert(this, value, keep ? &m_clPos : nullptr);
    if (now == nullptr) return FALSE;
    if (now != bucket) {
      __FreeBucket(bucket);
      __SetBucket(leaf, p, now);
    }
  } else {
    const int c = m_pfnCompareValue(value, slot, m_nValueSize);
    if (c == 0) return FALSE;
    CMemBucket* bucket = CMemBucket::__pclAllocate(this, 0);
    if (bucket == nullptr) return FALSE;
    memcpy(bucket->pValue(this, c < 0 ? 1 : 0), slot, m_nValueSize);
    memcpy(bucket->pValue(this, c < 0 ? 0 : 1), value, m_nValueSize);
    bucket->m_nCount = 2;
    if (keep) m_clPos.m_nDup = c < 0 ? 1 : 0;
    __SetBucket(leaf, p, bucket);
  }
  ++leaf->nRecords;
  return TRUE;
}

BOOL CMemBTree::__bInsertIndex(CMemIndexNode* node, CMemIndexNode* parent, int idx, int depth, const void* key,
                               const void* value, CMemNode** ppNew) {
  const int c = __nRoute(node, key);
  CMemNode** children = __ppChildren(node);
  CMemNode* split = nullptr;
  const BOOL ok =
      children[c]->nType == CMemNode::eData
          ? __bInsertLeaf(static_cast<CMemDataNode*>(children[c]), node, c, depth, key, value, &split)
          : __bInsertIndex(static_cast<CMemIndexNode*>(children[c]), node, c, depth + 1, key, value, &split);
  if (!ok) return FALSE;
  ++node->nRecords;
  if (split == nullptr) return TRUE;
  const int n = static_cast<int>(node->nKeys);
  if (n < m_nOrder) {
    __InsertChild(node, c, split);
    return TRUE;
  }
  if (parent != nullptr) {
    CMemNode** brothers = __ppChildren(parent);
    if (idx < static_cast<int>(parent->nKeys) && brothers[idx + 1]->nKeys < static_cast<uint32_t>(m_nOrder)) {
      // The last child (the new one when c = n) goes to the front of the right brother, behind
      // the parent's separator coming down; its first key goes up.
      CMemIndexNode* right = static_cast<CMemIndexNode*>(brothers[idx + 1]);
      CMemNode* moved = c != n ? children[n] : split;
      CMemNode** rc = __ppChildren(right);
      unsigned char* sep = __pIndexKey(parent, idx);
      memmove(__pIndexKey(right, 1), __pIndexKey(right, 0), static_cast<size_t>(right->nKeys) * m_nKeySize);
      memmove(rc + 1, rc, (static_cast<size_t>(right->nKeys) + 1) * sizeof(CMemNode*));
      memcpy(__pIndexKey(right, 0), sep, m_nKeySize);
      rc[0] = moved;
      ++right->nKeys;
      right->nRecords += moved->nRecords;
      node->nRecords -= moved->nRecords;
      memcpy(sep, __pFirstKey(moved), m_nKeySize);
      if (c != n) {
        --node->nKeys;
        __InsertChild(node, c, split);
      }
      return TRUE;
    }
    if (idx > 0 && brothers[idx - 1]->nKeys < static_cast<uint32_t>(m_nOrder)) {
      // The first child goes to the end of the left brother behind the parent's separator.
      CMemIndexNode* left = static_cast<CMemIndexNode*>(brothers[idx - 1]);
      const int ln = static_cast<int>(left->nKeys);
      memcpy(__pIndexKey(left, ln), __pIndexKey(parent, idx - 1), m_nKeySize);
      __ppChildren(left)[ln + 1] = children[0];
      ++left->nKeys;
      left->nRecords += children[0]->nRecords;
      node->nRecords -= children[0]->nRecords;
      if (c == 0) {
        children[0] = split;
      } else {
        memmove(__pIndexKey(node, 0), __pIndexKey(node, 1), static_cast<size_t>(n - 1) * m_nKeySize);
        memmove(children, children + 1, static_cast<size_t>(n) * sizeof(CMemNode*));
        --node->nKeys;
        __InsertChild(node, c - 1, split);
      }
      memcpy(__pIndexKey(parent, idx - 1), __pFirstKey(children[0]), m_nKeySize);
      return TRUE;
    }
  }
  *ppNew = __pclSplitIndex(node, c, split);
  return TRUE;
}

// Splits a full inner node whose child c split into child c and child: the new right node takes
// the upper half; the separator in front of it stays behind in node's unused slots.
CMemIndexNode* CMemBTree::__pclSplitIndex(CMemIndexNode* node, int c, CMemNode* child) {
  CMemIndexNode* right = static_cast<CMemIndexNode*>(m_clIndexPool.pAllocate());
  right->nType = CMemNode::eIndex;
  right->nKeys = right->nSpare = 0;
  const int n = static_cast<int>(node->nKeys);
  const int m = (n + 1) / 2;
  const int from = c > m ? m + 1 : m;  // the first separator that moves
  CMemNode* first = c == m ? child : __ppChildren(node)[from];
  __ppChildren(right)[0] = first;
  right->nRecords = first->nRecords;
  node->nRecords -= first->nRecords;
  __MoveChildren(right, 0, node, from, n - from);
  node->nKeys = static_cast<uint32_t>(c < m ? m - 1 : m);
  if (c > m) {
    __InsertChild(right, c - m - 1, child);
    right->nRecords += child->nRecords;
    node->nRecords -= child->nRecords;
  } else if (c < m) {
    __InsertChild(node, c, child);
  }
  return right;
}

// ---- deletion ---------------------------------------------------------------------------------

BOOL CMemBTree::bDelete(const void* key, const void* value) {
  if (m_pclRoot == nullptr) return FALSE;
  uint32_t removed = 0;
  bool firstChanged = false;
  if (!__bDeleteNode(m_pclRoot, key, value, &removed, &firstChanged)) return FALSE;
  while (m_pclRoot->nKeys == 0 && __ppChildren(m_pclRoot)[0]->nType != CMemNode::eData) {
    CMemIndexNode* child = static_cast<CMemIndexNode*>(__ppChildren(m_pclRoot)[0]);
    m_clIndexPool.Free(m_pclRoot);
    child->nType = CMemNode::eRoot;
    m_pclRoot = child;
  }
  const bool enter = m_bEnterKey;
  m_bEnterKey = false;
  if (m_pclRoot->nRecords == 0) {
    __DestroySubtree(m_pclRoot);
    m_pclRoot = nullptr;
    m_nKeyCount = 0;
    m_clPos.m_pclLeaf = nullptr;
    m_clPos.m_nKey = m_clPos.m_nDup = 0;
    return TRUE;
  }
  __Normalize();
  if (enter) __EnterKey(false);
  return TRUE;
}

BOOL CMemBTree::bDeleteCurrentRecord() {
  // The key and value are read in place: nothing moves before they have been searched.
  if (!__bOnRecord()) return FALSE;
  return bDelete(pReadKey(), pReadValue());
}

// *pbFirstChanged: the first key of node's subtree changed (its separator higher up must follow).
BOOL CMemBTree::__bDeleteNode(CMemNode* node, const void* key, const void* value, uint32_t* pnRemoved,
                              bool* pbFirstChanged) {
  if (node->nType == CMemNode::eData)
    return __bDeleteLeaf(static_cast<CMemDataNode*>(node), key, value, pnRemoved, pbFirstChanged);
  CMemIndexNode* index = static_cast<CMemIndexNode*>(node);
  const int c = __nRoute(index, key);
  CMemNode** children = __ppChildren(index);
  CMemNode* child = children[c];
  if (!__bDeleteNode(child, key, value, pnRemoved, pbFirstChanged)) return FALSE;
  node->nRecords -= *pnRemoved;
  const bool firstChanged = *pbFirstChanged;
  *pbFirstChanged = firstChanged && c == 0;
  const bool under = child->nKeys < static_cast<uint32_t>(m_nMinFill) && index->nKeys > 0;
  if (child->nType != CMemNode::eData) {
    if (firstChanged && c > 0) memcpy(__pIndexKey(index, c - 1), __pFirstKey(child), m_nKeySize);
    if (under) __RebalanceChild(index, c);
    return TRUE;
  }
  if (under) __RebalanceChild(index, c);
  if (under || firstChanged)
    for (int j = c; j <= c + 1; ++j)
      if (j >= 1 && j <= static_cast<int>(index->nKeys))
        memcpy(__pIndexKey(index, j - 1), __pLeafKey(static_cast<CMemDataNode*>(children[j]), 0), m_nKeySize);
  return TRUE;
}

BOOL CMemBTree::__bDeleteLeaf(CMemDataNode* leaf, const void* key, const void* value, uint32_t* pnRemoved,
                              bool* pbFirstChanged) {
  int found;
  const int p =
      CMemNode::nSearch(m_nKeySize, static_cast<int>(leaf->nKeys), __pLeafKey(leaf, 0), key, m_pfnCompareKey, &found);
  if (!found) return FALSE;
  const bool keep = m_clPos.m_pclLeaf == leaf && m_clPos.m_nKey == p;
  if (__bHasBucket(leaf, p)) {
    CMemBucket* bucket = __pclBucket(leaf, p);
    if (value != nullptr) {
      CMemBucket* now = bucket->pclDelete(this, value, keep ? &m_clPos : nullptr);
      if (now == nullptr) return FALSE;
      if (now != bucket) __FreeBucket(bucket);
      __SetBucket(leaf, p, now);
      --leaf->nRecords;
      *pnRemoved = 1;
      *pbFirstChanged = false;
      const bool stays = keep && !now->bEnd(m_clPos);
      if (now->nGetNumKey() == 1) {
        memcpy(__pLeafSlot(leaf, p), now->pGetOnlyKey(), m_nValueSize);
        __SetBucketBit(leaf, p, false);
        __FreeBucket(now);
        if (stays) m_clPos.m_nDup = 0;
      }
      if (keep && !stays) __NextKey();
      return TRUE;
    }
    *pnRemoved = static_cast<uint32_t>(bucket->nGetNumKey());
    __FreeBucket(bucket);
    __SetBucketBit(leaf, p, false);
  } else {
    if (value != nullptr && m_nValueSize != 0 && m_pfnCompareValue(value, __pLeafSlot(leaf, p), m_nValueSize) != 0)
      return FALSE;
    *pnRemoved = 1;
  }
  leaf->nRecords -= *pnRemoved;
  __DeleteKey(leaf, p);
  *pbFirstChanged = p == 0;
  return TRUE;
}

// Child c fell below the minimum fill: merged with a brother when both fit in one node, else
// refilled from a brother that has keys to spare.
void CMemBTree::__RebalanceChild(CMemIndexNode* node, int c) {
  CMemNode** children = __ppChildren(node);
  const int n = static_cast<int>(node->nKeys);
  CMemNode* self = children[c];
  CMemNode* left = c > 0 ? children[c - 1] : nullptr;
  CMemNode* right = c < n ? children[c + 1] : nullptr;
  const bool leaves = self->nType == CMemNode::eData;
  const int pair = left != nullptr && (right == nullptr || left->nKeys < right->nKeys) ? c - 1 : c;
  const uint32_t together = children[pair]->nKeys + children[pair + 1]->nKeys;
  if (leaves ? together <= static_cast<uint32_t>(m_nOrder) : together < static_cast<uint32_t>(m_nOrder)) {
    if (leaves)
      __MergeLeaves(node, pair);
    else
      __MergeIndexNodes(node, pair);
    return;
  }
  const uint32_t fill = static_cast<uint32_t>(m_nMinFill);
  if (leaves) {
    CMemDataNode* leaf = static_cast<CMemDataNode*>(self);
    if (right != nullptr && right->nKeys > fill)
      __TransferKeys(leaf, static_cast<int>(leaf->nKeys), static_cast<CMemDataNode*>(right), 0, 1);
    else if (left != nullptr && left->nKeys > fill)
      __TransferKeys(leaf, 0, static_cast<CMemDataNode*>(left), static_cast<int>(left->nKeys) - 1, 1);
    return;  // the caller sets the separators from the leaves
  }
  CMemIndexNode* inner = static_cast<CMemIndexNode*>(self);
  if (right != nullptr && right->nKeys > fill) {
    // Right's first child comes over behind the parent's separator; right's first separator goes up.
    CMemIndexNode* r = static_cast<CMemIndexNode*>(right);
    const int sn = static_cast<int>(inner->nKeys);
    memcpy(__pIndexKey(inner, sn), __pIndexKey(node, c), m_nKeySize);
    CMemNode* moved = __ppChildren(r)[0];
    __ppChildren(inner)[sn + 1] = moved;
    ++inner->nKeys;
    inner->nRecords += moved->nRecords;
    r->nRecords -= moved->nRecords;
    memcpy(__pIndexKey(node, c), __pIndexKey(r, 0), m_nKeySize);
    const int rn = static_cast<int>(r->nKeys);
    memmove(__pIndexKey(r, 0), __pIndexKey(r, 1), static_cast<size_t>(rn - 1) * m_nKeySize);
    memmove(__ppChildren(r), __ppChildren(r) + 1, static_cast<size_t>(rn) * sizeof(CMemNode*));
    --r->nKeys;
  } else if (left != nullptr && left->nKeys > fill) {
    // Left's last child comes to the front behind the parent's separator; left's last separator goes up.
    CMemIndexNode* l = static_cast<CMemIndexNode*>(left);
    const int ln = static_cast<int>(l->nKeys);
    const int sn = static_cast<int>(inner->nKeys);
    CMemNode** sc = __ppChildren(inner);
    memmove(__pIndexKey(inner, 1), __pIndexKey(inner, 0), static_cast<size_t>(sn) * m_nKeySize);
    memmove(sc + 1, sc, (static_cast<size_t>(sn) + 1) * sizeof(CMemNode*));
    memcpy(__pIndexKey(inner, 0), __pIndexKey(node, c - 1), m_nKeySize);
    CMemNode* moved = __ppChildren(l)[ln];
    sc[0] = moved;
    ++inner->nKeys;
    inner->nRecords += moved->nRecords;
    l->nRecords -= moved->nRecords;
    memcpy(__pIndexKey(node, c - 1), __pIndexKey(l, ln - 1), m_nKeySize);
    --l->nKeys;
  }
}

// ---- position ---------------------------------------------------------------------------------

bool CMemBTree::__bOnRecord() const {
  return m_clPos.m_pclLeaf != nullptr && m_clPos.m_nKey < static_cast<int>(m_clPos.m_pclLeaf->nKeys);
}

bool CMemBTree::__bAtEnd() const {
  return m_clPos.m_pclLeaf != nullptr && m_clPos.m_nKey >= static_cast<int>(m_clPos.m_pclLeaf->nKeys);
}

// Puts the position on the first (or last) value of the key it stands on.
void CMemBTree::__EnterKey(bool last) {
  m_clPos.m_nDup = 0;
  if (!__bOnRecord() || !__bHasBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)) return;
  CMemBucket* bucket = __pclBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey);
  if (last)
    bucket->GotoLastRecord(&m_clPos);
  else
    bucket->GotoFirstRecord(&m_clPos);
}

// A position after a leaf's last key moves to the next leaf's first record.
void CMemBTree::__Normalize() {
  while (m_clPos.m_pclLeaf != nullptr && m_clPos.m_nKey >= static_cast<int>(m_clPos.m_pclLeaf->nKeys) &&
         m_clPos.m_pclLeaf->pNext != nullptr) {
    m_clPos.m_pclLeaf = m_clPos.m_pclLeaf->pNext;
    m_clPos.m_nKey = 0;
    __EnterKey(false);
  }
}

void CMemBTree::__NextKey() {
  ++m_clPos.m_nKey;
  __EnterKey(false);
  __Normalize();
}

bool CMemBTree::__bPastBucketEnd() const {
  return __bHasBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey) &&
         __pclBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)->bEnd(m_clPos);
}

void CMemBTree::__SavePlace(STPlace* place) const {
  place->outer = m_clPos;
  if (__bOnRecord() && __bHasBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)) {
    const CMemBTree* sub = __pclBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)->pclSubTree();
    if (sub != nullptr) place->inner = sub->m_clPos;
  }
}

void CMemBTree::__RestorePlace(const STPlace& place) {
  m_clPos = place.outer;
  if (__bOnRecord() && __bHasBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)) {
    CMemBTree* sub = __pclBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)->pclSubTree();
    if (sub != nullptr) sub->m_clPos = place.inner;
  }
}

int CMemBTree::nNumDuplicates() const {
  return __bOnRecord() ? static_cast<int>(__nKeyRecords(m_clPos.m_pclLeaf, m_clPos.m_nKey)) : 0;
}

const void* CMemBTree::pReadKey() const {
  return __bOnRecord() ? __pLeafKey(m_clPos.m_pclLeaf, m_clPos.m_nKey) : nullptr;
}

const void* CMemBTree::pReadValue() const {
  if (!__bOnRecord() || m_nValueSize == 0) return nullptr;
  if (__bHasBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey))
    return __pclBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)->pGetValue(this, m_clPos);
  return __pLeafSlot(m_clPos.m_pclLeaf, m_clPos.m_nKey);
}

CMemDataNode* CMemBTree::__pclEdgeLeaf(bool last) const {
  CMemNode* node = m_pclRoot;
  while (node->nType != CMemNode::eData) node = __ppChildren(static_cast<CMemIndexNode*>(node))[last ? node->nKeys : 0];
  return static_cast<CMemDataNode*>(node);
}

void CMemBTree::GotoFirstRecord() {
  if (m_pclRoot == nullptr) return;
  m_clPos.m_pclLeaf = __pclEdgeLeaf(false);
  m_clPos.m_nKey = 0;
  __EnterKey(false);
}

void CMemBTree::GotoEnd() {
  if (m_pclRoot == nullptr) return;
  m_clPos.m_pclLeaf = __pclEdgeLeaf(true);
  m_clPos.m_nKey = static_cast<int>(m_clPos.m_pclLeaf->nKeys);
  m_clPos.m_nDup = 0;
}

void CMemBTree::MoveTo(int n) {
  if (m_pclRoot == nullptr) return;
  if (n < 0) n = 0;
  uint32_t rest = static_cast<uint32_t>(n);
  if (rest >= m_pclRoot->nRecords) {
    GotoEnd();
    return;
  }
  CMemNode* node = m_pclRoot;
  while (node->nType != CMemNode::eData) {
    CMemNode** children = __ppChildren(static_cast<CMemIndexNode*>(node));
    int i = 0;
    while (rest >= children[i]->nRecords) rest -= children[i++]->nRecords;
    node = children[i];
  }
  CMemDataNode* leaf = static_cast<CMemDataNode*>(node);
  int k = 0;
  while (rest >= __nKeyRecords(leaf, k)) rest -= __nKeyRecords(leaf, k++);
  m_clPos.m_pclLeaf = leaf;
  m_clPos.m_nKey = k;
  m_clPos.m_nDup = 0;
  if (__bHasBucket(leaf, k)) __pclBucket(leaf, k)->GotoRecord(&m_clPos, static_cast<int>(rest));
}

// Up to n steps forward from a record; reaching the end counts as a step.
int CMemBTree::__nStepForward(int n, bool byKeys) {
  int steps = 0;
  while (steps < n && __bOnRecord()) {
    if (!byKeys && __bHasBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)) {
      // Past the bucket's last value is the next key's first record.
      steps += __pclBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)->nMoveForward(&m_clPos, n - steps);
      if (__bPastBucketEnd()) __NextKey();
      continue;
    }
    __NextKey();
    ++steps;
  }
  return steps;
}

// Up to n steps back; by keys each step lands on the first value of the key before.
int CMemBTree::__nStepBackward(int n, bool byKeys) {
  int steps = 0;
  while (steps < n) {
    if (!byKeys && __bOnRecord() && __bHasBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)) {
      steps += __pclBucket(m_clPos.m_pclLeaf, m_clPos.m_nKey)->nMoveBackward(&m_clPos, n - steps);
      if (steps == n) break;
    }
    if (m_clPos.m_nKey > 0) {
      --m_clPos.m_nKey;
    } else if (m_clPos.m_pclLeaf->pPrev != nullptr) {
      m_clPos.m_pclLeaf = m_clPos.m_pclLeaf->pPrev;
      m_clPos.m_nKey = static_cast<int>(m_clPos.m_pclLeaf->nKeys) - 1;
    } else {
      break;
    }
    __EnterKey(!byKeys);
    ++steps;
  }
  return steps;
}

BOOL CMemBTree::bAdvance(int n, int* pnMoved, int flags) {
  if (pnMoved != nullptr) *pnMoved = 0;
  if (m_clPos.m_pclLeaf == nullptr) return FALSE;
  if (n == 0) return __bOnRecord() || ((flags & 4) != 0 && __bAtEnd());
  const bool byKeys = (flags & 1) != 0;
  STPlace saved;
  __SavePlace(&saved);
  int steps;
  if (n > 0) {
    steps = __nStepForward(n, byKeys);
    if (steps > 0 && __bAtEnd() && (flags & 4) == 0) {
      __nStepBackward(1, byKeys);
      --steps;
    }
  } else {
    steps = -__nStepBackward(n == INT_MIN ? INT_MAX : -n, byKeys);
  }
  if (steps == n || ((flags & 2) != 0 && steps != 0)) {
    if (pnMoved != nullptr) *pnMoved = steps;
    return TRUE;
  }
  __RestorePlace(saved);
  return FALSE;
}

// ---- search -----------------------------------------------------------------------------------

CMemDataNode* CMemBTree::__pclFindLeaf(const void* key) const {
  const CMemNode* node = m_pclRoot;
  while (node->nType != CMemNode::eData) {
    const CMemIndexNode* index = static_cast<const CMemIndexNode*>(node);
    node = __ppChildren(index)[__nRoute(index, key)];
  }
  return const_cast<CMemDataNode*>(static_cast<const CMemDataNode*>(node));
}

const void* CMemBTree::pSearch(const void* key, int mode) {
  if (m_pclRoot == nullptr) return nullptr;
  CMemDataNode* leaf = __pclFindLeaf(key);
  int found;
  int p =
      CMemNode::nSearch(m_nKeySize, static_cast<int>(leaf->nKeys), __pLeafKey(leaf, 0), key, m_pfnCompareKey, &found);
  if ((mode & 1) != 0 && !found) return nullptr;
  if ((mode & 2) != 0 && !found) {
    // Only the leftmost leaf can hold keys above the one searched at its front.
    if (p == 0) return nullptr;
    --p;
  }
  if (p == static_cast<int>(leaf->nKeys)) {
    if (leaf->pNext == nullptr) return nullptr;
    leaf = leaf->pNext;
    p = 0;
  }
  m_clPos.m_pclLeaf = leaf;
  m_clPos.m_nKey = p;
  __EnterKey((mode & 2) != 0);
  return pReadValue();
}

BOOL CMemBTree::bFindRecord(const void* key, const void* value) {
  if (m_pclRoot == nullptr) return FALSE;
  CMemDataNode* leaf = __pclFindLeaf(key);
  int found;
  const int p =
      CMemNode::nSearch(m_nKeySize, static_cast<int>(leaf->nKeys), __pLeafKey(leaf, 0), key, m_pfnCompareKey, &found);
  m_clPos.m_pclLeaf = leaf;
  m_clPos.m_nKey = p;
  m_clPos.m_nDup = 0;
  if (!found || value == nullptr || m_nValueSize == 0) {
    __EnterKey(false);
    __Normalize();
    return found;
  }
  // Where the record would stand: in front of the first greater value of the key, or behind the key.
  BOOL present;
  if (__bHasBucket(leaf, p)) {
    present = __pclBucket(leaf, p)->bSearch(this, &m_clPos, value);
    if (__bPastBucketEnd()) __NextKey();
  } else {
    const int c = m_pfnCompareValue(value, __pLeafSlot(leaf, p), m_nValueSize);
    present = c == 0;
    if (c > 0) __NextKey();
  }
  return present;
}

unsigned int CMemBTree::__nDumpKeys(void* out) const {
  if (m_pclRoot == nullptr) return 0;
  unsigned char* dst = static_cast<unsigned char*>(out);
  const CMemDataNode* leaf = __pclEdgeLeaf(false);
  unsigned int index = 0;
  unsigned int current = 0;
  for (; leaf != nullptr; leaf = leaf->pNext) {
    if (leaf == m_clPos.m_pclLeaf) current = index + static_cast<unsigned int>(m_clPos.m_nKey);
    memcpy(dst + static_cast<size_t>(index) * m_nKeySize, __pLeafKey(leaf, 0),
           static_cast<size_t>(leaf->nKeys) * m_nKeySize);
    index += leaf->nKeys;
  }
  return current;
}

// ---- bulk loading -----------------------------------------------------------------------------

int CMemBTree::__nCompareForSort(const void* a, const void* b) const {
  return m_nValueSize == 0 ? nCompareKey(a, b) : _nCompareRec(a, b);
}

// Quick sort of n records of size bytes; the pivot is copied to scratch. The larger partition
// waits on the stack while the smaller one is sorted, so the stack never holds more than log2(n).
void CMemBTree::__QSort(unsigned char* base, size_t n, size_t size, unsigned char* scratch) const {
  if (n < 2) return;
  struct STRange {
    size_t lo, hi;
  } stack[64];
  int depth = 0;
  size_t lo = 0;
  size_t hi = n - 1;
  auto rec = [&](size_t i) { return base + i * size; };
  for (;;) {
    if (hi - lo + 1 < 9) {
      // Selection sort: the largest record goes to the end.
      for (size_t end = hi; end > lo; --end) {
        size_t max = lo;
        for (size_t i = lo + 1; i <= end; ++i)
          if (__nCompareForSort(rec(i), rec(max)) > 0) max = i;
        if (max != end) SwapRecords(rec(max), rec(end), size);
      }
      if (depth == 0) return;
      --depth;
      lo = stack[depth].lo;
      hi = stack[depth].hi;
      continue;
    }
    const size_t mid = lo + (hi - lo) / 2;
    if (__nCompareForSort(rec(lo), rec(mid)) > 0) SwapRecords(rec(lo), rec(mid), size);
    if (__nCompareForSort(rec(lo), rec(hi)) > 0) SwapRecords(rec(lo), rec(hi), size);
    if (__nCompareForSort(rec(mid), rec(hi)) > 0) SwapRecords(rec(mid), rec(hi), size);
    memcpy(scratch, rec(mid), size);
    // rec(lo) <= pivot <= rec(hi) stop both scans inside the range.
    size_t i = lo;
    size_t j = hi;
    for (;;) {
      do ++i;
      while (__nCompareForSort(rec(i), scratch) < 0);
      do --j;
      while (__nCompareForSort(rec(j), scratch) > 0);
      if (i >= j) break;
      SwapRecords(rec(i), rec(j), size);
    }
    // lo..j and j+1..hi, both non-empty.
    if (j - lo < hi - j - 1) {
      stack[depth++] = {j + 1, hi};
      hi = j;
    } else {
      stack[depth++] = {lo, j};
      lo = j + 1;
    }
  }
}

BOOL CMemBTree::bLoadBulk(const void* keys, const void* values, int n) {
  if (m_pfnCompareKey == nullptr || m_pclRoot != nullptr || n < 0 || (n > 0 && keys == nullptr) ||
      (n > 0 && m_nValueSize != 0 && values == nullptr))
    return FALSE;
  if (n == 0) return TRUE;
  const size_t count = static_cast<size_t>(n);
  const size_t size = static_cast<size_t>(m_nKeySize) + m_nValueSize;
  // One record more serves as the sort's pivot.
  if ((count + 1) > UINT32_MAX / size) return FALSE;
  CSimpleBuffer buffer(static_cast<unsigned int>((count + 1) * size));
  unsigned char* records = static_cast<unsigned char*>(buffer.pGetData());
  if (records == nullptr) return FALSE;
  for (size_t i = 0; i < count; ++i) {
    memcpy(records + i * size, static_cast<const unsigned char*>(keys) + i * m_nKeySize, m_nKeySize);
    if (m_nValueSize != 0)
      memcpy(records + i * size + m_nKeySize, static_cast<const unsigned char*>(values) + i * m_nValueSize,
             m_nValueSize);
  }
  __QSort(records, count, size, records + count * size);
  return __bBuildFromVector(records, size, count);
}

BOOL CMemBTree::__bBuildFromVector(const unsigned char* records, size_t stride, size_t n) {
  if (m_pclRoot != nullptr || n == 0 || n > UINT32_MAX) return FALSE;
  auto rec = [&](size_t i) { return records + i * stride; };
  size_t distinct = 1;
  for (size_t i = 1; i < n; ++i) {
    if (nCompareKey(rec(i - 1), rec(i)) != 0)
      ++distinct;
    else if (m_nValueSize == 0 || m_pfnCompareValue(rec(i - 1) + m_nKeySize, rec(i) + m_nKeySize, m_nValueSize) == 0)
      return FALSE;
  }
  const size_t order = static_cast<size_t>(m_nOrder);
  const size_t leaves = (distinct - 1) / order + 1;
  // Parents take up to order + 1 children: a level split over fewer children per parent could
  // leave a parent below the minimum fill.
  const size_t fanout = order + 1;
  size_t inner = 0;
  for (size_t c = leaves;;) {
    c = (c - 1) / fanout + 1;
    inner += c;
    if (c == 1) break;
  }
  if (leaves > UINT32_MAX / sizeof(CMemNode*) || !m_clLeafPool.bReserve(static_cast<unsigned int>(leaves)) ||
      !m_clIndexPool.bReserve(static_cast<unsigned int>(inner)))
    return FALSE;
  CSimpleBuffer level(static_cast<unsigned int>(leaves * sizeof(CMemNode*)));
  CMemNode** nodes = static_cast<CMemNode**>(level.pGetData());
  if (nodes == nullptr) return FALSE;

  size_t r = 0;
  CMemDataNode* prev = nullptr;
  for (size_t j = 0; j < leaves; ++j) {
    CMemDataNode* leaf = __pclNewLeaf();
    nodes[j] = leaf;
    leaf->pPrev = prev;
    if (prev != nullptr) prev->pNext = leaf;
    prev = leaf;
    const size_t share = distinct / leaves + (j < distinct % leaves ? 1 : 0);
    for (size_t k = 0; k < share; ++k) {
      size_t run = 1;
      while (r + run < n && nCompareKey(rec(r), rec(r + run)) == 0) ++run;
      const int slot = static_cast<int>(k);
      memcpy(__pLeafKey(leaf, slot), rec(r), m_nKeySize);
      if (m_nValueSize != 0) {
        if (run == 1) {
          memcpy(__pLeafSlot(leaf, slot), rec(r) + m_nKeySize, m_nValueSize);
          __SetBucketBit(leaf, slot, false);
        } else {
          CMemBucket* bucket = CMemBucket::pclCreate(this, rec(r) + m_nKeySize, stride, run);
          if (bucket == nullptr) {
            for (size_t i = 0; i <= j; ++i) __DestroySubtree(nodes[i]);
            return FALSE;
          }
          __SetBucket(leaf, slot, bucket);
        }
      }
      ++leaf->nKeys;
      leaf->nRecords += static_cast<uint32_t>(run);
      r += run;
    }
  }
  // Inner levels bottom up; each parent is written over the slots of children already taken.
  for (size_t c = leaves;;) {
    const size_t parents = (c - 1) / fanout + 1;
    size_t s = 0;
    for (size_t p = 0; p < parents; ++p) {
      const size_t take = c / parents + (p < c % parents ? 1 : 0);
      CMemIndexNode* node = static_cast<CMemIndexNode*>(m_clIndexPool.pAllocate());
      node->nType = CMemNode::eIndex;
      node->nKeys = node->nSpare = 0;
      node->nRecords = nodes[s]->nRecords;
      __ppChildren(node)[0] = nodes[s];
      for (size_t i = 1; i < take; ++i) {
        __InsertChild(node, static_cast<int>(i) - 1, nodes[s + i]);
        node->nRecords += nodes[s + i]->nRecords;
      }
      s += take;
      nodes[p] = node;
    }
    c = parents;
    if (c == 1) break;
  }
  m_pclRoot = static_cast<CMemIndexNode*>(nodes[0]);
  m_pclRoot->nType = CMemNode::eRoot;
  m_nKeyCount = static_cast<unsigned int>(distinct);
  GotoEnd();
  return TRUE;
}

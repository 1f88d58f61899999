#include "common/membucket.h"

#include <cstring>
#include <new>

const CMemBucket::STSizeThreshold CMemBucket::mg_stTabSizeThreshold[7] = {{0, 2},  {1, 4},   {2, 8}, {6, 16},
                                                                          {9, 32}, {18, 64}, {56, 0}};

namespace {

// A keys-only sub-tree never compares values; it still gets a comparison.
int CompareBytes(const void* a, const void* b, unsigned int size) { return memcmp(a, b, size); }

inline int Capacity(int sizeClass) { return CMemBucket::mg_stTabSizeThreshold[sizeClass].nCapacity; }

}  // namespace

static_assert(alignof(CMemBTree) <= 8, "the sub-tree sits 8 bytes into the bucket");

uint64_t CMemBucket::nGetFullSize(unsigned int valueSize, int sizeClass) {
  if (sizeClass == kSubTreeClass) return kHeader + sizeof(CMemBTree);
  return kHeader + static_cast<uint64_t>(Capacity(sizeClass)) * valueSize;
}

CMemBucket* CMemBucket::__pclAllocate(CMemBTree* tree, int sizeClass) {
  void* p = tree->m_tabBucketPool[sizeClass].pAllocate();
  if (p == nullptr) return nullptr;
  CMemBucket* bucket = new (p) CMemBucket;
  bucket->m_nClass = static_cast<int16_t>(sizeClass);
  if (sizeClass == kSubTreeClass) {
    bucket->m_nCount = -1;
    CMemBTree* sub = new (bucket->pclSubTree()) CMemBTree;
    // The owner's layout checks cover the sub-tree's nodes, so this cannot be refused.
    sub->bInit(tree->nGetValueSize(), 0, tree->pfnGetCompareValue(), CompareBytes, tree->nGetOrder());
  }
  return bucket;
}

CMemBucket* CMemBucket::pclCreate(CMemBTree* tree, const unsigned char* values, size_t stride, size_t n) {
  if (n > static_cast<size_t>(Capacity(kSubTreeClass - 1))) {
    CMemBucket* bucket = __pclAllocate(tree, kSubTreeClass);
    if (bucket != nullptr && !bucket->pclSubTree()->__bBuildFromVector(values, stride, n)) {
      tree->__FreeBucket(bucket);
      bucket = nullptr;
    }
    return bucket;
  }
  int sizeClass = 0;
  while (static_cast<size_t>(Capacity(sizeClass)) < n) ++sizeClass;
  CMemBucket* bucket = __pclAllocate(tree, sizeClass);
  if (bucket == nullptr) return nullptr;
  for (size_t i = 0; i < n; ++i)
    memcpy(bucket->pValue(tree, static_cast<int>(i)), values + i * stride, tree->nGetValueSize());
  bucket->m_nCount = static_cast<int16_t>(n);
  return bucket;
}

int CMemBucket::nGetNumKey() const {
  const CMemBTree* sub = pclSubTree();
  return sub != nullptr ? sub->nGetNumRecord() : m_nCount;
}

const unsigned char* CMemBucket::pGetOnlyKey() const {
  const CMemBTree* sub = pclSubTree();
  if (sub == nullptr) return reinterpret_cast<const unsigned char*>(this) + kHeader;
  return sub->__pFirstKey(sub->m_pclRoot);
}

CMemBucket* CMemBucket::pclInsert(CMemBTree* tree, const void* value, CMemBTree::CIterator* pPos) {
  CMemBTree* sub = pclSubTree();
  if (sub != nullptr) return sub->bInsert(value, nullptr) ? this : nullptr;
  const unsigned int size = tree->nGetValueSize();
  int found;
  const int i = CMemNode::nSearch(size, m_nCount, pValue(tree, 0), value, tree->pfnGetCompareValue(), &found);
  if (found) return nullptr;
  const int n = m_nCount;
  // The position follows its value whatever bucket ends up holding it.
  int dup = pPos != nullptr ? pPos->m_nDup : 0;
  if (i <= dup) ++dup;
  CMemBucket* target = this;
  if (n == Capacity(m_nClass)) {
    if (m_nClass == kSubTreeClass - 1) {
      target = __pclConvertToTree(tree, pValue(tree, 0), n, value);
      if (target != nullptr && pPos != nullptr) target->pclSubTree()->MoveTo(dup);
      return target;
    }
    target = __pclAllocate(tree, m_nClass + 1);
    if (target == nullptr) return nullptr;
    memcpy(target->pValue(tree, 0), pValue(tree, 0), static_cast<size_t>(i) * size);
  }
  memmove(target->pValue(tree, i + 1), pValue(tree, i), static_cast<size_t>(n - i) * size);
  memcpy(target->pValue(tree, i), value, size);
  target->m_nCount = static_cast<int16_t>(n + 1);
  if (pPos != nullptr) pPos->m_nDup = dup;
  return target;
}

// The 64 values of a full vector and one more become a sub-tree.
CMemBucket* CMemBucket::__pclConvertToTree(CMemBTree* tree, const unsigned char* values, int count, const void* value) {
  CMemBucket* bucket = __pclAllocate(tree, kSubTreeClass);
  if (bucket == nullptr) return nullptr;
  CMemBTree* sub = bucket->pclSubTree();
  if (!sub->__bBuildFromVector(values, tree->nGetValueSize(), static_cast<size_t>(count)) ||
      !sub->bInsert(value, nullptr)) {
    tree->__FreeBucket(bucket);
    return nullptr;
  }
  return bucket;
}

CMemBucket* CMemBucket::pclDelete(CMemBTree* tree, const void* value, CMemBTree::CIterator* pPos) {
  CMemBTree* sub = pclSubTree();
  if (sub != nullptr) {
    if (!sub->bDelete(value, nullptr)) return nullptr;
    const int n = sub->nGetNumRecord();
    if (n >= 2 && n < kSubTreeBelow) {
      CMemBucket* vector = __pclConvertToVector(tree, pPos);
      if (vector != nullptr) return vector;
    }
    return this;
  }
  const unsigned int size = tree->nGetValueSize();
  int found;
  const int i = CMemNode::nSearch(size, m_nCount, pValue(tree, 0), value, tree->pfnGetCompareValue(), &found);
  if (!found) return nullptr;
  const int n = m_nCount;
  CMemBucket* target = this;
  // One value left goes back inline: no smaller bucket for it.
  if (n - 1 >= 2 && n <= mg_stTabSizeThreshold[m_nClass].nShrink && m_nClass > 0) {
    target = __pclAllocate(tree, m_nClass - 1);
    if (target == nullptr)
      target = this;
    else
      memcpy(target->pValue(tree, 0), pValue(tree, 0), static_cast<size_t>(i) * size);
  }
  memmove(target->pValue(tree, i), pValue(tree, i + 1), static_cast<size_t>(n - i - 1) * size);
  target->m_nCount = static_cast<int16_t>(n - 1);
  if (pPos != nullptr && i < pPos->m_nDup) --pPos->m_nDup;
  return target;
}

// A sub-tree that fell below 56 values becomes the smallest vector class that holds them.
CMemBucket* CMemBucket::__pclConvertToVector(CMemBTree* tree, CMemBTree::CIterator* pPos) {
  const CMemBTree* sub = pclSubTree();
  const int n = sub->nGetNumRecord();
  int sizeClass = kSubTreeClass - 1;
  while (sizeClass > 0 && !(mg_stTabSizeThreshold[sizeClass].nShrink < n && Capacity(sizeClass) >= n)) --sizeClass;
  CMemBucket* bucket = __pclAllocate(tree, sizeClass);
  if (bucket == nullptr) return nullptr;
  const unsigned int current = sub->__nDumpKeys(bucket->pValue(tree, 0));
  bucket->m_nCount = static_cast<int16_t>(n);
  if (pPos != nullptr) pPos->m_nDup = static_cast<int>(current);
  return bucket;
}

void CMemBucket::GotoFirstRecord(CMemBTree::CIterator* pPos) const {
  CMemBTree* sub = pclSubTree();
  if (sub != nullptr)
    sub->GotoFirstRecord();
  else
    pPos->m_nDup = 0;
}

void CMemBucket::GotoLastRecord(CMemBTree::CIterator* pPos) const { GotoRecord(pPos, nGetNumKey() - 1); }

void CMemBucket::GotoRecord(CMemBTree::CIterator* pPos, int n) const {
  CMemBTree* sub = pclSubTree();
  if (sub != nullptr)
    sub->MoveTo(n);
  else
    pPos->m_nDup = n;
}

bool CMemBucket::bEnd(const CMemBTree::CIterator& pos) const {
  const CMemBTree* sub = pclSubTree();
  return sub != nullptr ? !sub->__bOnRecord() : pos.m_nDup >= m_nCount;
}

// A vector stops one past its last value, a sub-tree at its end.
int CMemBucket::nMoveForward(CMemBTree::CIterator* pPos, int n) const {
  CMemBTree* sub = pclSubTree();
  if (sub != nullptr) {
    int moved;
    sub->bAdvance(n, &moved, 2 | 4);
    return moved;
  }
  const int steps = n < m_nCount - pPos->m_nDup ? n : m_nCount - pPos->m_nDup;
  pPos->m_nDup += steps;
  return steps;
}

int CMemBucket::nMoveBackward(CMemBTree::CIterator* pPos, int n) const {
  CMemBTree* sub = pclSubTree();
  if (sub != nullptr) {
    int moved;
    sub->bAdvance(-n, &moved, 2);
    return -moved;
  }
  const int steps = n < pPos->m_nDup ? n : pPos->m_nDup;
  pPos->m_nDup -= steps;
  return steps;
}

BOOL CMemBucket::bSearch(const CMemBTree* tree, CMemBTree::CIterator* pPos, const void* value) const {
  CMemBTree* sub = pclSubTree();
  if (sub != nullptr) return sub->bFindRecord(value, nullptr);
  int found;
  pPos->m_nDup =
      CMemNode::nSearch(tree->nGetValueSize(), m_nCount, pValue(tree, 0), value, tree->pfnGetCompareValue(), &found);
  return found;
}

const unsigned char* CMemBucket::pGetValue(const CMemBTree* tree, const CMemBTree::CIterator& pos) const {
  const CMemBTree* sub = pclSubTree();
  return sub != nullptr ? static_cast<const unsigned char*>(sub->pReadKey()) : pValue(tree, pos.m_nDup);
}

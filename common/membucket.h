// CMemBucket: the values of one key of a CMemBTree that has two or more, kept in the order of the
// tree's value comparison. Classes 0 to 5 are sorted vectors of 2, 4, 8, 16, 32 and 64 values;
// class 6 holds the values as the keys of an embedded keys-only sub-tree. A bucket lives in the
// owner's pool of its class and grows or shrinks by being replaced with one of the next class.
//
// Shared rules:
// - pclInsert and pclDelete answer the bucket that now holds the values (this one or a new one;
//   the caller stores it and frees this one when they differ), or null with nothing changed.
// - A position given to them (the owner's current position on this key) follows its value; when
//   its value is removed it goes to the value that followed, possibly past the last one.
// - Running out of memory: an insert answers null; a delete keeps the larger class instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/membtree.h"

class CMemBucket {
 public:
  struct STSizeThreshold {
    int nShrink;  // a delete that starts at or below this count moves to the class below
    int nCapacity;
  };
  static const STSizeThreshold mg_stTabSizeThreshold[7];
  static constexpr int kSubTreeClass = 6;
  static constexpr int kSubTreeBelow = 56;  // a sub-tree that falls below this becomes a vector

  // Pool object size of a class for the tree's value size.
  static uint64_t nGetFullSize(unsigned int valueSize, int sizeClass);
  // A bucket holding n sorted values read every stride bytes (n >= 2), of the smallest class that
  // holds them; null when memory runs out.
  static CMemBucket* pclCreate(CMemBTree* tree, const unsigned char* values, size_t stride, size_t n);

  int nGetNumKey() const;
  int nGetClass() const { return m_nClass; }
  const unsigned char* pGetOnlyKey() const;
  // Value i of a vector bucket.
  unsigned char* pValue(const CMemBTree* tree, int i) const {
    return reinterpret_cast<unsigned char*>(const_cast<CMemBucket*>(this)) + kHeader +
           static_cast<size_t>(i) * tree->nGetValueSize();
  }
  CMemBTree* pclSubTree() const {
    if (m_nClass != kSubTreeClass) return nullptr;
    return reinterpret_cast<CMemBTree*>(reinterpret_cast<unsigned char*>(const_cast<CMemBucket*>(this)) + kHeader);
  }

  CMemBucket* pclInsert(CMemBTree* tree, const void* value, CMemBTree::CIterator* pPos);
  CMemBucket* pclDelete(CMemBTree* tree, const void* value, CMemBTree::CIterator* pPos);

  // Positioning of the owner's iterator inside the bucket.
  void GotoFirstRecord(CMemBTree::CIterator* pPos) const;
  void GotoLastRecord(CMemBTree::CIterator* pPos) const;
  void GotoRecord(CMemBTree::CIterator* pPos, int n) const;
  bool bEnd(const CMemBTree::CIterator& pos) const;
  // Up to n steps inside the bucket, never past its last value (forward) or first (backward).
  int nMoveForward(CMemBTree::CIterator* pPos, int n) const;
  int nMoveBackward(CMemBTree::CIterator* pPos, int n) const;
  // Positions on value or where it would stand (possibly past the last value); TRUE when present.
  BOOL bSearch(const CMemBTree* tree, CMemBTree::CIterator* pPos, const void* value) const;
  const unsigned char* pGetValue(const CMemBTree* tree, const CMemBTree::CIterator& pos) const;

 private:
  friend class CMemBTree;
  static constexpr size_t kHeader = 8;
  static CMemBucket* __pclAllocate(CMemBTree* tree, int sizeClass);
  static CMemBucket* __pclConvertToTree(CMemBTree* tree, const unsigned char* values, int count, const void* value);
  CMemBucket* __pclConvertToVector(CMemBTree* tree, CMemBTree::CIterator* pPos);

  int16_t m_nCount = 0;  // -1 for the sub-tree form
  int16_t m_nClass = 0;
};

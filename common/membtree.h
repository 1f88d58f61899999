// CMemBTree: an ordered in-memory index of fixed-size records, each a key and an optional value
// (value size 0: a keys-only tree), compared by the owner's functions. A key with several values
// keeps them in a duplicate bucket (CMemBucket), in the order of the value comparison. Nodes and
// buckets come from the tree's own pools (CTObjAlloc) and die with the tree.
//
// Shared rules:
// - Keys and values are raw bytes moved with memcpy; the caller's may lie at any address. bDelete
//   and bFindRecord may be given the tree's own current key and value; bInsert may not.
// - One current position: on a record, at the end (after the last record), or none (empty tree).
//   Inserts and deletes leave it on its record; when its own record goes, it moves to the record
//   that followed (or to the end).
// - bInsert is all-or-nothing: whatever it may need is taken from the pools before the first
//   change, so running out of memory answers FALSE with the tree as it was. bDelete never needs
//   memory it does not have.
// - Separator i of an inner node is exactly the first key of the subtree under child i + 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/tobjalloc.h"
#include "platform/wintypes.h"

class CMemBucket;

typedef int (*PFMEMBTREECOMPARE)(const void* a, const void* b, unsigned int size);

// Every node starts with these words.
struct CMemNode {
  enum { eIndex = 1, eData = 2, eRoot = 3 };
  uint32_t nType;
  uint32_t nKeys;
  uint32_t nRecords;  // inline values count 1, a bucket its number of values
  uint32_t nSpare;

  // Binary search of key among count keys of size bytes: the index of an equal key (*pFound = 1)
  // or the insertion point (*pFound = 0).
  static int nSearch(unsigned int size, int count, const unsigned char* keys, const void* key,
                     PFMEMBTREECOMPARE compare, int* pFound);
};

// Inner node: then order + 1 child pointers, then order keys.
struct CMemIndexNode : CMemNode {};

// Leaf: then, with values, the bucket bits ((order - 1) / 32 + 1 words, bit i: slot i holds a
// bucket pointer), then order keys, then order value slots of max(value size, 8) bytes.
struct CMemDataNode : CMemNode {
  CMemDataNode* pPrev;
  CMemDataNode* pNext;
};

class CMemBTree {
 public:
  // The current position: leaf null for none; key index = the leaf's key count on the last leaf
  // for the end. In a vector bucket, nDup is the value's index; a sub-tree bucket keeps the
  // position inside it as its own current position.
  class CIterator {
   public:
    CMemBTree* m_pclTree = nullptr;
    CMemDataNode* m_pclLeaf = nullptr;
    int m_nKey = 0;
    int m_nDup = 0;
  };

  CMemBTree();
  CMemBTree(const CMemBTree&) = delete;
  CMemBTree& operator=(const CMemBTree&) = delete;
  ~CMemBTree();

  // Order 0 means 32. FALSE (nothing set) for a second call, a key size of 0, an order of 1 or
  // below 0, or a layout whose nodes or buckets do not fit 32-bit sizes.
  BOOL bInit(unsigned int keySize, unsigned int valueSize, PFMEMBTREECOMPARE compareKey, PFMEMBTREECOMPARE compareValue,
             int order);
  // A tree on the heap after bInit, or null.
  static CMemBTree* pclCreate(unsigned int keySize, unsigned int valueSize, PFMEMBTREECOMPARE compareKey,
                              PFMEMBTREECOMPARE compareValue, int order);

  // FALSE when the record is already there (a keys-only tree: the key), or memory ran out. The
  // first record leaves the position at the end.
  BOOL bInsert(const void* key, const void* value);
  // Removes the record, or with value null the key with all its values. FALSE when absent.
  BOOL bDelete(const void* key, const void* value);
  BOOL bDeleteCurrentRecord();

  // Mode bit 0: the key must match; bit 1: the last record at or before the key (else the first
  // at or after). Answers the value of the record positioned on; null (position unchanged) when
  // there is none; null with the position set in a keys-only tree.
  const void* pSearch(const void* key, int mode);
  // TRUE when the record exists (value null: the key). The position goes where the record stands
  // or would stand, also on FALSE.
  BOOL bFindRecord(const void* key, const void* value);
  void GotoFirstRecord();
  void GotoEnd();
  // Record n counted from 0 over every value; n at or past the count: the end.
  void MoveTo(int n);
  // Flags: 1 by keys (landing on a key's first value), 2 a partial move succeeds, 4 the end may be
  // reached. *pnMoved gets the steps made (negative backwards); on FALSE the position stays and
  // *pnMoved is 0. n = 0: whether the position is on a record (or, with flag 4, at the end).
  BOOL bAdvance(int n, int* pnMoved, int flags);

  int nGetNumRecord() const;
  // The number of values of the current key; 0 without a record under the position.
  int nNumDuplicates() const;
  // Null without a record under the position (none, or the end); pReadValue always in a keys-only tree.
  const void* pReadKey() const;
  const void* pReadValue() const;

  int nCompareKey(const void* a, const void* b) const { return m_pfnCompareKey(a, b, m_nKeySize); }
  // Records laid out as key then value.
  int _nCompareRec(const void* a, const void* b) const;

  // Builds the tree from n packed keys and n packed values (ignored in a keys-only tree). FALSE,
  // leaving the tree empty, when it is not empty, a record repeats, or memory runs out.
  BOOL bLoadBulk(const void* keys, const void* values, int n);
  // Copies every key in order into out; answers the index there of the current key (the key count
  // at the end, 0 without a position).
  unsigned int __nDumpKeys(void* out) const;

  unsigned int nGetKeySize() const { return m_nKeySize; }
  unsigned int nGetValueSize() const { return m_nValueSize; }
  int nGetOrder() const { return m_nOrder; }
  PFMEMBTREECOMPARE pfnGetCompareValue() const { return m_pfnCompareValue; }

 private:
  friend class CMemBucket;
  friend struct CMemBTreeTestAccess;
  struct STPlace;

  // Sorted records of stride bytes, key first (and the value right after it), built into an empty
  // tree; FALSE with nothing built when a record repeats or memory runs out.
  BOOL __bBuildFromVector(const unsigned char* records, size_t stride, size_t n);
  // Returns a bucket to its pool (a sub-tree bucket first destroys its sub-tree).
  void __FreeBucket(CMemBucket* bucket);

  unsigned char* __pLeafKey(const CMemDataNode* leaf, int i) const {
    return reinterpret_cast<unsigned char*>(const_cast<CMemDataNode*>(leaf)) + m_nLeafKeysOffset +
           static_cast<size_t>(i) * m_nKeySize;
  }
  unsigned char* __pLeafSlot(const CMemDataNode* leaf, int i) const {
    return reinterpret_cast<unsigned char*>(const_cast<CMemDataNode*>(leaf)) + m_nLeafSlotsOffset +
           static_cast<size_t>(i) * m_nSlotSize;
  }
  uint32_t* __pBits(const CMemDataNode* leaf) const {
    return reinterpret_cast<uint32_t*>(const_cast<CMemDataNode*>(leaf) + 1);
  }
  CMemNode** __ppChildren(const CMemIndexNode* node) const {
    return reinterpret_cast<CMemNode**>(const_cast<CMemIndexNode*>(node) + 1);
  }
  unsigned char* __pIndexKey(const CMemIndexNode* node, int i) const {
    return reinterpret_cast<unsigned char*>(const_cast<CMemIndexNode*>(node)) + m_nIndexKeysOffset +
           static_cast<size_t>(i) * m_nKeySize;
  }
  bool __bHasBucket(const CMemDataNode* leaf, int i) const;
  void __SetBucketBit(CMemDataNode* leaf, int i, bool on) const;
  CMemBucket* __pclBucket(const CMemDataNode* leaf, int i) const;
  void __SetBucket(CMemDataNode* leaf, int i, CMemBucket* bucket) const;
  uint32_t __nKeyRecords(const CMemDataNode* leaf, int i) const;
  const unsigned char* __pFirstKey(const CMemNode* node) const;

  CMemDataNode* __pclNewLeaf();
  void __DestroySubtree(CMemNode* node);
  void __FreeLeafBuckets(CMemDataNode* leaf);

  void __ShiftLeaf(CMemDataNode* leaf, int from, int to, int n);
  void __InsertNewKey(CMemDataNode* leaf, int p, const void* key, const void* value);
  void __DeleteKey(CMemDataNode* leaf, int p);
  void __TransferKeys(CMemDataNode* dst, int at, CMemDataNode* src, int from, int n);
  void __MergeLeaves(CMemIndexNode* parent, int left);
  void __MergeIndexNodes(CMemIndexNode* parent, int left);
  void __RemoveChild(CMemIndexNode* parent, int sep);
  void __InsertChild(CMemIndexNode* node, int c, CMemNode* child);
  void __MoveChildren(CMemIndexNode* dst, int at, CMemIndexNode* src, int from, int n);

  BOOL __bInsertLeaf(CMemDataNode* leaf, CMemIndexNode* parent, int idx, int depth, const void* key, const void* value,
                     CMemNode** ppNew);
  BOOL __bInsertIndex(CMemIndexNode* node, CMemIndexNode* parent, int idx, int depth, const void* key,
                      const void* value, CMemNode** ppNew);
  BOOL __bAddValue(CMemDataNode* leaf, int p, const void* value);
  CMemIndexNode* __pclSplitIndex(CMemIndexNode* node, int c, CMemNode* child);
  BOOL __bDeleteNode(CMemNode* node, const void* key, const void* value, uint32_t* pnRemoved, bool* pbFirstChanged);
  BOOL __bDeleteLeaf(CMemDataNode* leaf, const void* key, const void* value, uint32_t* pnRemoved, bool* pbFirstChanged);
  void __RebalanceChild(CMemIndexNode* node, int c);

  int __nRoute(const CMemIndexNode* node, const void* key) const;
  CMemDataNode* __pclFindLeaf(const void* key) const;
  CMemDataNode* __pclEdgeLeaf(bool last) const;
  bool __bOnRecord() const;
  bool __bAtEnd() const;
  void __EnterKey(bool last);
  void __Normalize();
  void __NextKey();
  bool __bPastBucketEnd() const;
  void __SavePlace(STPlace* place) const;
  void __RestorePlace(const STPlace& place);
  int __nStepForward(int n, bool byKeys);
  int __nStepBackward(int n, bool byKeys);

  void __QSort(unsigned char* base, size_t n, size_t size, unsigned char* scratch) const;
  int __nCompareForSort(const void* a, const void* b) const;

  CTObjAlloc m_clIndexPool;
  CTObjAlloc m_clLeafPool;
  int m_nOrder = 32;
  int m_nMinFill = 16;
  PFMEMBTREECOMPARE m_pfnCompareKey = nullptr;
  PFMEMBTREECOMPARE m_pfnCompareValue = nullptr;
  unsigned int m_nKeySize = 0;
  unsigned int m_nValueSize = 0;
  unsigned int m_nSlotSize = 0;
  CTObjAlloc m_tabBucketPool[7];
  CMemIndexNode* m_pclRoot = nullptr;
  unsigned int m_nKeyCount = 0;
  CIterator m_clPos;
  size_t m_nLeafKeysOffset = 0;
  size_t m_nLeafSlotsOffset = 0;
  size_t m_nIndexKeysOffset = 0;
  bool m_bEnterKey = false;  // the position's record was deleted: it takes the next key's first value
};

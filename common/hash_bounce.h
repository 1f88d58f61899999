// CHashTableBounce: hash map from an opaque key to an opaque value, both pointer-sized, with a
// comparison and a hash function given by the owner. Entries are records of one pool, linked
// by 1-based indexes (0 = none) and reused through a free list, so adding makes no allocation
// of its own; the bucket count and the pool size (half the bucket count) follow a ladder of
// primes. The table owns pool and buckets; keys and values stay the owner's.
//
// Shared rules:
// - No duplicate check: a key added twice is stored twice and lookups find the newest first,
//   also after the table has been resized.
// - Cursor walks (bParseTable) count themselves; while one is under way the table never
//   shrinks, so entries keep their indexes and a cursor stays valid across removals.
// - A failed reallocation is reported (FALSE) and leaves a consistent table of the old size.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

class CHashTableBounce {
 public:
  typedef int (*PFCOMPARE)(const void* searched, const void* stored);  // 0 = equal
  typedef unsigned int (*PFHASHVAL)(const void* key);

  static const uint32_t g__ToutPretToutChaud[29];

  // Sized for n entries on the lowest level whose pool holds them (7 gives 17 buckets, 8 entries).
  explicit CHashTableBounce(unsigned int n);
  CHashTableBounce(const CHashTableBounce&) = delete;
  CHashTableBounce& operator=(const CHashTableBounce&) = delete;
  virtual ~CHashTableBounce();

  // Owner-given functions; null ones compare and hash the key's own value. A new hash function
  // refiles the entries already held.
  virtual void SetCmp(PFCOMPARE pfCompare);
  virtual void SetHashVal(PFHASHVAL pfHashVal);
  virtual DWORD dwGetNumElement() const;
  // FALSE when the pool was full and could not grow; nothing is added then.
  virtual BOOL bAddElement(void* key, void* value);
  // Removes the newest entry of the key, handing back its value and stored key through the
  // non-null pointers. FALSE when absent, and also when the entry was removed but the shrink
  // that followed could not reallocate.
  virtual BOOL bDeleteElement(const void* key, void** pValue, void** pStoredKey);
  virtual BOOL bGetElement(const void* key, void** pValue, void** pStoredKey) const;
  // Walk in pool order: *cursor = 0 starts a walk, and each TRUE leaves *cursor at the entry
  // returned. The walk ends with FALSE (or StopParsing when left early). With bDelete the entry
  // returned is removed.
  virtual BOOL bParseTable(unsigned int* cursor, int bDelete, void** pValue, void** pKey);
  // Ends a walk left before its end.
  virtual void StopParsing();
  // Address of the newest entry's value, to change in place; valid until the next add, removal
  // or clear. Null when absent.
  virtual void** pGetElement(const void* key);

 protected:
  virtual BOOL __bGrow();
  virtual BOOL __bReduce();
  virtual void __RehashElement();
  virtual void __Compact(uint32_t newCapacity);

 public:
  virtual PFCOMPARE pfGetCmp() const;
  virtual PFHASHVAL pfGetHashVal() const;
  // Empties a table that holds entries and sizes it again from level 0 for n entries (0: 7).
  // An empty table keeps its size.
  virtual void DeleteAll(unsigned int n);
  // Replace the value (or key) of the entry a walk just returned, handing back the old one.
  // FALSE when the cursor names no entry. A new key is filed under its own hash.
  virtual BOOL bParseSetElement(unsigned int cursor, void* value, void** pOldValue);
  virtual BOOL bParseSetKey(unsigned int cursor, void* key, void** pOldKey);

  // Wide-text keys compared and hashed ignoring case and accents (the host locale's flags 3);
  // keys that compare equal hash equal. A null key counts as the empty text.
  static int nStringLogiqueCompare(const void* searched, const void* stored);
  static unsigned int dwStringLogiqueHashVal(const void* key);

  int nGetLevel() const { return m_nLevel; }
  uint32_t dwGetBucketCount() const { return m_dwBucketCount; }
  uint32_t dwGetPoolCapacity() const { return m_dwPoolCapacity; }
  uint32_t dwGetParseCount() const { return m_dwParseCount; }

 protected:
  struct STEntry {
    void* pKey;
    void* pValue;
    uint32_t dwPrev;  // 0: first of its bucket; kFree: on the free list
    uint32_t dwNext;
  };
  static const uint32_t kFree = 0xFFFFFFFFu;

  // Empties the table, whatever it holds, and sizes it again for n entries (0: 7).
  void _Reset(unsigned int n);
  // 1-based index of the newest entry of the key, 0 when absent.
  uint32_t _dwFind(const void* key) const;
  const STEntry* _pEntry(uint32_t index1) const { return &m_pPool[index1 - 1]; }
  int _nCompare(const void* searched, const void* stored) const;

 private:
  void _Init(unsigned int n);
  uint32_t _dwBucket(const void* key) const;
  void _Detach(uint32_t i, uint32_t bucket);
  void _Unlink(uint32_t i, uint32_t bucket);
  void _LinkAtHead(uint32_t i, uint32_t bucket);
  void _ChainFree(uint32_t from, uint32_t to);
  void _Refile(uint32_t* buckets, uint32_t bucketCount);
  unsigned int _dwHash(const void* key) const;

  STEntry* m_pPool = nullptr;
  uint32_t m_dwPoolCapacity = 0;
  uint32_t m_dwFreeHead = 0;
  uint32_t* m_pBuckets = nullptr;
  uint32_t m_dwBucketCount = 0;
  uint32_t m_dwCount = 0;
  uint32_t m_dwParseCount = 0;
  PFCOMPARE m_pfCompare = nullptr;
  PFHASHVAL m_pfHashVal = nullptr;
  int m_nLevel = 0;
};

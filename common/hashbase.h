// CHashBase: a hash map from a pointer-sized key to a pointer-sized value with separate chaining:
// each bucket is a CListeDeBuffer of (key, value) pairs. A derived class gives the hash and the
// key comparison. The table owns its buckets and nodes; keys and values stay the owner's.
//
// Shared rules:
// - No duplicate check: a key added twice is stored twice, and searches find the first in its
//   bucket.
// - A table without buckets finds nothing and takes kMinBuckets on its first add.
// - The dynamic operations follow the load: growing to a prime from twice the bucket count when
//   the table holds grow factor x bucket count entries, shrinking to a prime from half of it (never
//   below kMinBuckets) when it holds fewer than shrink factor x bucket count.
// - Resizing moves the nodes and allocates only the new bucket array; when that cannot be had
//   the old table stays as it was. A failed node allocation adds nothing and answers FALSE.
#pragma once

#include <cstdint>

#include "common/listedebuffer.h"
#include "platform/wintypes.h"

class CHashBase {
 public:
  static constexpr int kMinBuckets = 43;

  explicit CHashBase(int bucketCount);
  CHashBase(const CHashBase&) = delete;
  CHashBase& operator=(const CHashBase&) = delete;
  virtual ~CHashBase();
  virtual unsigned int dwHashVal(void* key) const = 0;
  // Non-zero when the stored key equals the searched one.
  virtual int bCompare(void* stored, void* searched) const = 0;

  void SetNiveau(int growFactor, int shrinkFactor) {
    m_nGrow = growFactor;
    m_nShrink = shrinkFactor;
  }
  // Before the bucket's current element (the bucket's cursor then on it).
  BOOL Ajoute(void* key, void* value);
  BOOL AjouteDYN(void* key, void* value);
  // The bucket's cursor stays on the match, or off the bucket's tail when there is none. Value and
  // stored key through the non-null pointers.
  BOOL bRecherche(void* key, void** pValue, void** pKey);
  // The same without moving any cursor.
  BOOL bRechercheConst(void* key, void** pValue, void** pKey) const;
  BOOL bSupprime(void* key);
  BOOL bSupprimeDYN(void* key);
  // Removes the first entry of the first non-empty bucket from *bucket on (which it advances to),
  // giving its value and key; past the last bucket *pValue gets null and nothing is removed.
  void SupprimeCourant(int* bucket, void** pValue, void** pKey);
  // Keeps the bucket count.
  void SupprimeTout();
  // Refiles every entry into n buckets; n < 1 or the current count does nothing.
  void RedimensionneTable(int n);

  int nGetCount() const { return m_nCount; }
  int nGetBucketCount() const { return m_nBuckets; }
  const CListeDeBuffer* pclGetBucket(int i) const { return &m_pBuckets[i]; }

  // Sums with 32-bit wrap-around; 0 for a null or empty text. The narrow ones add each byte as a
  // signed value, the "i" ones after upper-casing it.
  static DWORD dwHashValT(const wchar_t* s);
  static DWORD dwHashValTi(const wchar_t* s);
  static DWORD dwHashValTA(const char* s);
  static DWORD dwHashValTiA(const char* s);

 private:
  struct STEntry {
    void* pKey;
    void* pValue;
  };
  // n empty buckets, or null when they cannot be had.
  static CListeDeBuffer* __pNewBuckets(int n);
  static void __DeleteBuckets(CListeDeBuffer* buckets, int n);
  static int __nPrimeFrom(int n);
  CListeDeBuffer* __pBucket(void* key) const;
  void _RedimentionneTablePlus();
  void _RedimentionneTableMoins();

  int32_t m_nGrow = 3;
  int32_t m_nShrink = 1;
  int32_t m_nBuckets = 0;
  CListeDeBuffer* m_pBuckets = nullptr;
  int32_t m_nCount = 0;
};

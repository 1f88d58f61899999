#include "common/hashbase.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <new>

#include "common/xmath.h"

CHashBase::CHashBase(int bucketCount) {
  if (bucketCount < 1) return;
  m_pBuckets = __pNewBuckets(bucketCount);
  if (m_pBuckets != nullptr) m_nBuckets = bucketCount;
}

CHashBase::~CHashBase() { __DeleteBuckets(m_pBuckets, m_nBuckets); }

CListeDeBuffer* CHashBase::__pNewBuckets(int n) {
  void* block = CListeDeBuffer::ms_pfnAlloc(static_cast<size_t>(n) * sizeof(CListeDeBuffer));
  if (block == nullptr) return nullptr;
  auto* buckets = static_cast<CListeDeBuffer*>(block);
  for (int i = 0; i < n; ++i) new (&buckets[i]) CListeDeBuffer(static_cast<int>(sizeof(STEntry)));
  return buckets;
}

void CHashBase::__DeleteBuckets(CListeDeBuffer* buckets, int n) {
  if (buckets == nullptr) return;
  for (int i = n - 1; i >= 0; --i) buckets[i].~CListeDeBuffer();
  free(buckets);
}

int CHashBase::__nPrimeFrom(int n) {
  unsigned int m = n > 0 ? static_cast<unsigned int>(n) : 0;
  while (!CXMath::bEstPremier(m)) ++m;
  return static_cast<int>(m);
}

CListeDeBuffer* CHashBase::__pBucket(void* key) const {
  return &m_pBuckets[dwHashVal(key) % static_cast<unsigned int>(m_nBuckets)];
}

BOOL CHashBase::Ajoute(void* key, void* value) {
  if (m_nBuckets == 0) RedimensionneTable(kMinBuckets);
  if (m_nBuckets == 0) return FALSE;
  const STEntry entry{key, value};
  if (!__pBucket(key)->Ajoute(&entry, 1)) return FALSE;
  ++m_nCount;
  return TRUE;
}

BOOL CHashBase::AjouteDYN(void* key, void* value) {
  _RedimentionneTablePlus();
  return Ajoute(key, value);
}

void CHashBase::_RedimentionneTablePlus() {
  if (m_nBuckets > 0 && static_cast<int64_t>(m_nGrow) * m_nBuckets <= m_nCount)
    RedimensionneTable(__nPrimeFrom(2 * m_nBuckets));
}

void CHashBase::_RedimentionneTableMoins() {
  if (static_cast<int64_t>(m_nShrink) * m_nBuckets <= m_nCount) return;
  int n = __nPrimeFrom(m_nBuckets / 2);
  if (n < kMinBuckets) n = kMinBuckets;
  RedimensionneTable(n);
}

namespace {
// Walks cursor from the first element to the first match; the cursor ends on it, or off the tail.
template <typename Compare>
BOOL bWalkToMatch(CListeDeBuffer& bucket, void* key, void** pValue, void** pKey, const Compare& compare) {
  for (bucket.pVaSurNumero(0); bucket.pCourant() != nullptr; bucket.VaSuivant()) {
    void* entry[2];
    memcpy(entry, bucket.pCourant(), sizeof entry);
    if (compare(entry[0], key)) {
      if (pKey != nullptr) *pKey = entry[0];
      if (pValue != nullptr) *pValue = entry[1];
      return TRUE;
    }
  }
  return FALSE;
}
}  // namespace

BOOL CHashBase::bRecherche(void* key, void** pValue, void** pKey) {
  if (m_nBuckets == 0) return FALSE;
  return bWalkToMatch(*__pBucket(key), key, pValue, pKey,
                      [this](void* stored, void* searched) { return bCompare(stored, searched); });
}

BOOL CHashBase::bRechercheConst(void* key, void** pValue, void** pKey) const {
  if (m_nBuckets == 0) return FALSE;
  CListeDeBuffer cursor(*__pBucket(key), CListeDeBuffer::eCURSOR);
  return bWalkToMatch(cursor, key, pValue, pKey,
                      [this](void* stored, void* searched) { return bCompare(stored, searched); });
}

BOOL CHashBase::bSupprime(void* key) {
  if (!bRecherche(key, nullptr, nullptr)) return FALSE;
  __pBucket(key)->SupprimeCourant();
  --m_nCount;
  return TRUE;
}

BOOL CHashBase::bSupprimeDYN(void* key) {
  if (!bSupprime(key)) return FALSE;
  _RedimentionneTableMoins();
  return TRUE;
}

void CHashBase::SupprimeCourant(int* bucket, void** pValue, void** pKey) {
  if (*bucket < 0) *bucket = 0;
  while (*bucket < m_nBuckets && m_pBuckets[*bucket].nGetCount() == 0) ++*bucket;
  if (*bucket >= m_nBuckets) {
    if (pValue != nullptr) *pValue = nullptr;
    return;
  }
  CListeDeBuffer& list = m_pBuckets[*bucket];
  STEntry entry;
  memcpy(&entry, list.pVaSurNumero(0), sizeof entry);
  if (pValue != nullptr) *pValue = entry.pValue;
  if (pKey != nullptr) *pKey = entry.pKey;
  list.SupprimeCourant();
  --m_nCount;
}

void CHashBase::SupprimeTout() {
  if (m_nCount == 0) return;
  for (int i = 0; i < m_nBuckets; ++i) m_pBuckets[i].SupprimeTout();
  m_nCount = 0;
}

void CHashBase::RedimensionneTable(int n) {
  if (n < 1 || n == m_nBuckets) return;
  CListeDeBuffer* buckets = __pNewBuckets(n);
  if (buckets == nullptr) return;
  for (int i = 0; i < m_nBuckets; ++i) {
    while (CListeDeBuffer::CLinkedElement* node = m_pBuckets[i].__pDetachHead()) {
      STEntry entry;
      memcpy(&entry, node->pData(), sizeof entry);
      buckets[dwHashVal(entry.pKey) % static_cast<unsigned int>(n)].__Attach(node, 1);
    }
  }
  __DeleteBuckets(m_pBuckets, m_nBuckets);
  m_pBuckets = buckets;
  m_nBuckets = n;
}

DWORD CHashBase::dwHashValT(const wchar_t* s) {
  DWORD sum = 0;
  for (; s != nullptr && *s != 0; ++s) sum += static_cast<DWORD>(*s);
  return sum;
}

DWORD CHashBase::dwHashValTi(const wchar_t* s) {
  DWORD sum = 0;
  for (; s != nullptr && *s != 0; ++s) sum += static_cast<DWORD>(towupper(static_cast<wint_t>(*s)));
  return sum;
}

DWORD CHashBase::dwHashValTA(const char* s) {
  DWORD sum = 0;
  for (; s != nullptr && *s != 0; ++s) sum += static_cast<DWORD>(static_cast<signed char>(*s));
  return sum;
}

DWORD CHashBase::dwHashValTiA(const char* s) {
  DWORD sum = 0;
  for (; s != nullptr && *s != 0; ++s)
    sum += static_cast<DWORD>(static_cast<signed char>(toupper(static_cast<unsigned char>(*s))));
  return sum;
}

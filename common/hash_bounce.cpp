#include "common/hash_bounce.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/str_compare.h"

const uint32_t CHashTableBounce::g__ToutPretToutChaud[29] = {
    17u,        53u,        97u,        193u,       389u,       769u,        1543u,       3079u,
    6151u,      12289u,     24593u,     49157u,     98317u,     196613u,     393241u,     786433u,
    1572869u,   3145739u,   6291469u,   12582917u,  25165843u,  50331653u,  100663319u,  201326611u,
    402653189u, 805306457u, 1610612741u, 3221225473u, 4294967291u};

namespace {

const int kTopLevel = 28;

inline uint32_t PoolSize(int level) { return CHashTableBounce::g__ToutPretToutChaud[level] / 2; }

int LevelFor(unsigned int n) {
  int level = 0;
  while (level < kTopLevel && PoolSize(level) < n) ++level;
  return level;
}

}  // namespace

CHashTableBounce::CHashTableBounce(unsigned int n) { _Init(n); }

CHashTableBounce::~CHashTableBounce() {
  free(m_pPool);
  free(m_pBuckets);
}

void CHashTableBounce::_Init(unsigned int n) {
  const int level = LevelFor(n);
  const uint32_t capacity = PoolSize(level);
  STEntry* pool = static_cast<STEntry*>(malloc(static_cast<size_t>(capacity) * sizeof(STEntry)));
  uint32_t* buckets = static_cast<uint32_t*>(calloc(g__ToutPretToutChaud[level], sizeof(uint32_t)));
  m_nLevel = level;
  m_dwCount = 0;
  if (pool == nullptr || buckets == nullptr) {
    // An empty table of no capacity: the first add tries to grow it.
    free(pool);
    free(buckets);
    m_pPool = nullptr;
    m_pBuckets = nullptr;
    m_dwPoolCapacity = m_dwBucketCount = m_dwFreeHead = 0;
    return;
  }
  m_pPool = pool;
  m_pBuckets = buckets;
  m_dwPoolCapacity = capacity;
  m_dwBucketCount = g__ToutPretToutChaud[level];
  m_dwFreeHead = 0;
  _ChainFree(0, capacity);
}

// Puts entries from..to-1 (0-based) on the free list in ascending order, ahead of the old list.
void CHashTableBounce::_ChainFree(uint32_t from, uint32_t to) {
  if (from >= to) return;
  for (uint32_t i = from; i < to; ++i) {
    m_pPool[i].dwPrev = kFree;
    m_pPool[i].dwNext = i + 2;
  }
  m_pPool[to - 1].dwNext = m_dwFreeHead;
  m_dwFreeHead = from + 1;
}

unsigned int CHashTableBounce::_dwHash(const void* key) const {
  return m_pfHashVal != nullptr ? m_pfHashVal(key) : static_cast<unsigned int>(reinterpret_cast<uintptr_t>(key));
}

int CHashTableBounce::_nCompare(const void* searched, const void* stored) const {
  return m_pfCompare != nullptr ? m_pfCompare(searched, stored) : (searched != stored ? 1 : 0);
}

uint32_t CHashTableBounce::_dwBucket(const void* key) const { return _dwHash(key) % m_dwBucketCount; }

void CHashTableBounce::_LinkAtHead(uint32_t i, uint32_t bucket) {
  STEntry& e = m_pPool[i - 1];
  e.dwPrev = 0;
  e.dwNext = m_pBuckets[bucket];
  if (e.dwNext != 0) m_pPool[e.dwNext - 1].dwPrev = i;
  m_pBuckets[bucket] = i;
}

void CHashTableBounce::_Detach(uint32_t i, uint32_t bucket) {
  STEntry& e = m_pPool[i - 1];
  if (e.dwNext != 0) m_pPool[e.dwNext - 1].dwPrev = e.dwPrev;
  if (e.dwPrev != 0) {
    m_pPool[e.dwPrev - 1].dwNext = e.dwNext;
    return;
  }
  // A hash that no longer files the key where it was put must not cut another bucket's chain.
  if (m_pBuckets[bucket] != i)
    for (bucket = 0; bucket < m_dwBucketCount && m_pBuckets[bucket] != i; ++bucket) {
    }
  if (bucket < m_dwBucketCount) m_pBuckets[bucket] = e.dwNext;
}

void CHashTableBounce::_Unlink(uint32_t i, uint32_t bucket) {
  _Detach(i, bucket);
  STEntry& e = m_pPool[i - 1];
  e.dwPrev = kFree;
  e.dwNext = m_dwFreeHead;
  m_dwFreeHead = i;
  --m_dwCount;
}

uint32_t CHashTableBounce::_dwFind(const void* key) const {
  if (m_dwCount == 0 || m_dwBucketCount == 0) return 0;
  for (uint32_t i = m_pBuckets[_dwBucket(key)]; i != 0; i = m_pPool[i - 1].dwNext)
    if (_nCompare(key, m_pPool[i - 1].pKey) == 0) return i;
  return 0;
}

void CHashTableBounce::SetCmp(PFCOMPARE pfCompare) { m_pfCompare = pfCompare; }
void CHashTableBounce::SetHashVal(PFHASHVAL pfHashVal) {
  const bool bChanged = pfHashVal != m_pfHashVal;
  m_pfHashVal = pfHashVal;
  // Entries already filed would no longer be found under the new hash.
  if (bChanged && m_dwCount != 0) __RehashElement();
}
CHashTableBounce::PFCOMPARE CHashTableBounce::pfGetCmp() const { return m_pfCompare; }
CHashTableBounce::PFHASHVAL CHashTableBounce::pfGetHashVal() const { return m_pfHashVal; }
DWORD CHashTableBounce::dwGetNumElement() const { return m_dwCount; }

BOOL CHashTableBounce::bAddElement(void* key, void* value) {
  if (m_dwFreeHead == 0 && !__bGrow()) return FALSE;
  const uint32_t i = m_dwFreeHead;
  STEntry& e = m_pPool[i - 1];
  m_dwFreeHead = e.dwNext;
  e.pKey = key;
  e.pValue = value;
  _LinkAtHead(i, _dwBucket(key));
  ++m_dwCount;
  return TRUE;
}

BOOL CHashTableBounce::bGetElement(const void* key, void** pValue, void** pStoredKey) const {
  const uint32_t i = _dwFind(key);
  if (i == 0) return FALSE;
  if (pValue != nullptr) *pValue = m_pPool[i - 1].pValue;
  if (pStoredKey != nullptr) *pStoredKey = m_pPool[i - 1].pKey;
  return TRUE;
}

void** CHashTableBounce::pGetElement(const void* key) {
  const uint32_t i = _dwFind(key);
  return i != 0 ? &m_pPool[i - 1].pValue : nullptr;
}

BOOL CHashTableBounce::bDeleteElement(const void* key, void** pValue, void** pStoredKey) {
  const uint32_t i = _dwFind(key);
  if (i == 0) return FALSE;
  if (pValue != nullptr) *pValue = m_pPool[i - 1].pValue;
  if (pStoredKey != nullptr) *pStoredKey = m_pPool[i - 1].pKey;
  // Found in the chain of the searched key's bucket, which is the entry's bucket.
  _Unlink(i, _dwBucket(key));
  if (m_dwParseCount == 0 && m_nLevel >= 1 && m_dwCount < g__ToutPretToutChaud[m_nLevel - 1] / 4)
    return __bReduce();
  return TRUE;
}

BOOL CHashTableBounce::bParseTable(unsigned int* cursor, int bDelete, void** pValue, void** pKey) {
  if (cursor == nullptr || *cursor == kFree) return FALSE;
  if (*cursor == 0) ++m_dwParseCount;
  uint32_t i = *cursor;
  while (i < m_dwPoolCapacity && m_pPool[i].dwPrev == kFree) ++i;
  if (i >= m_dwPoolCapacity) {
    // A finished cursor stays finished: calling again must not end another walk.
    *cursor = kFree;
    if (m_dwParseCount > 0) --m_dwParseCount;
    return FALSE;
  }
  STEntry& e = m_pPool[i];
  if (pValue != nullptr) *pValue = e.pValue;
  if (pKey != nullptr) *pKey = e.pKey;
  if (bDelete) _Unlink(i + 1, _dwBucket(e.pKey));
  *cursor = i + 1;
  return TRUE;
}

void CHashTableBounce::StopParsing() {
  if (m_dwParseCount > 0) --m_dwParseCount;
}

BOOL CHashTableBounce::bParseSetElement(unsigned int cursor, void* value, void** pOldValue) {
  if (cursor == 0 || cursor > m_dwPoolCapacity || m_pPool[cursor - 1].dwPrev == kFree) return FALSE;
  STEntry& e = m_pPool[cursor - 1];
  if (pOldValue != nullptr) *pOldValue = e.pValue;
  e.pValue = value;
  return TRUE;
}

BOOL CHashTableBounce::bParseSetKey(unsigned int cursor, void* key, void** pOldKey) {
  if (cursor == 0 || cursor > m_dwPoolCapacity || m_pPool[cursor - 1].dwPrev == kFree) return FALSE;
  STEntry& e = m_pPool[cursor - 1];
  if (pOldKey != nullptr) *pOldKey = e.pKey;
  // Refiled under the new key's hash; the entry keeps its index, so the walk goes on.
  _Detach(cursor, _dwBucket(e.pKey));
  e.pKey = key;
  _LinkAtHead(cursor, _dwBucket(key));
  return TRUE;
}

void CHashTableBounce::DeleteAll(unsigned int n) {
  if (m_dwCount != 0) _Reset(n);
}

void CHashTableBounce::_Reset(unsigned int n) {
  STEntry* oldPool = m_pPool;
  uint32_t* oldBuckets = m_pBuckets;
  const uint32_t oldCapacity = m_dwPoolCapacity, oldBucketCount = m_dwBucketCount;
  const int oldLevel = m_nLevel;
  _Init(n == 0 ? 7 : n);
  if (m_pPool != nullptr) {
    free(oldPool);
    free(oldBuckets);
    return;
  }
  // No memory for a fresh table: empty the old one in place.
  m_pPool = oldPool;
  m_pBuckets = oldBuckets;
  m_dwPoolCapacity = oldCapacity;
  m_dwBucketCount = oldBucketCount;
  m_nLevel = oldLevel;
  if (m_pBuckets != nullptr) memset(m_pBuckets, 0, static_cast<size_t>(m_dwBucketCount) * sizeof(uint32_t));
  m_dwCount = 0;
  m_dwFreeHead = 0;
  _ChainFree(0, m_dwPoolCapacity);
}

BOOL CHashTableBounce::__bGrow() {
  if (m_nLevel >= kTopLevel) return FALSE;
  const int level = m_nLevel + 1;
  const uint32_t capacity = PoolSize(level), bucketCount = g__ToutPretToutChaud[level];
  STEntry* pool = static_cast<STEntry*>(realloc(m_pPool, static_cast<size_t>(capacity) * sizeof(STEntry)));
  if (pool == nullptr) return FALSE;
  // From here on a failure leaves a larger block behind the old capacity: still consistent.
  m_pPool = pool;
  uint32_t* buckets = static_cast<uint32_t*>(calloc(bucketCount, sizeof(uint32_t)));
  if (buckets == nullptr) return FALSE;
  _ChainFree(m_dwPoolCapacity, capacity);
  m_dwPoolCapacity = capacity;
  m_nLevel = level;
  _Refile(buckets, bucketCount);
  return TRUE;
}

BOOL CHashTableBounce::__bReduce() {
  if (m_nLevel == 0) return TRUE;
  int level = m_nLevel - 1;
  while (level > 0 && m_dwCount < PoolSize(level - 1)) --level;
  const uint32_t capacity = PoolSize(level), bucketCount = g__ToutPretToutChaud[level];
  if (m_dwCount > capacity) return TRUE;
  // The new bucket array comes first, so that a failure leaves the table as it was.
  uint32_t* buckets = static_cast<uint32_t*>(calloc(bucketCount, sizeof(uint32_t)));
  if (buckets == nullptr) return FALSE;
  __Compact(capacity);
  STEntry* pool = static_cast<STEntry*>(realloc(m_pPool, static_cast<size_t>(capacity) * sizeof(STEntry)));
  if (pool != nullptr) m_pPool = pool;  // else the larger block serves
  m_dwPoolCapacity = capacity;
  m_nLevel = level;
  _Refile(buckets, bucketCount);
  return TRUE;
}

// Moves the used entries at or above newCapacity into the free slots below it, keeping their
// chains linked, and rebuilds the free list over those slots (highest first).
void CHashTableBounce::__Compact(uint32_t newCapacity) {
  uint32_t low = 0;
  for (uint32_t j = m_dwPoolCapacity; j-- > newCapacity;) {
    if (m_pPool[j].dwPrev == kFree) continue;
    while (low < newCapacity && m_pPool[low].dwPrev != kFree) ++low;
    if (low >= newCapacity) break;  // more entries than room: never asked for
    STEntry& e = m_pPool[low];
    e = m_pPool[j];
    m_pPool[j].dwPrev = kFree;
    if (e.dwNext != 0) m_pPool[e.dwNext - 1].dwPrev = low + 1;
    if (e.dwPrev != 0) {
      m_pPool[e.dwPrev - 1].dwNext = low + 1;
    } else {
      uint32_t b = _dwBucket(e.pKey);
      if (m_pBuckets[b] != j + 1)
        for (b = 0; b < m_dwBucketCount && m_pBuckets[b] != j + 1; ++b) {
        }
      if (b < m_dwBucketCount) m_pBuckets[b] = low + 1;
    }
    ++low;
  }
  uint32_t head = 0;
  for (uint32_t i = low; i < newCapacity; ++i) {
    if (m_pPool[i].dwPrev != kFree) continue;
    m_pPool[i].dwNext = head;
    head = i + 1;
  }
  m_dwFreeHead = head;
}

// Moves every chain into the zeroed bucket array given, which replaces the current one. Each
// chain is taken from its tail, so entries of one key keep their order (newest first).
void CHashTableBounce::_Refile(uint32_t* buckets, uint32_t bucketCount) {
  uint32_t* old = m_pBuckets;
  const uint32_t oldCount = m_dwBucketCount;
  m_pBuckets = buckets;
  m_dwBucketCount = bucketCount;
  for (uint32_t b = 0; b < oldCount; ++b) {
    uint32_t i = old[b];
    if (i == 0) continue;
    while (m_pPool[i - 1].dwNext != 0) i = m_pPool[i - 1].dwNext;
    while (i != 0) {
      const uint32_t prev = m_pPool[i - 1].dwPrev;
      _LinkAtHead(i, _dwBucket(m_pPool[i - 1].pKey));
      i = prev;
    }
  }
  free(old);
}

// Files every entry again under the current hash function.
void CHashTableBounce::__RehashElement() {
  uint32_t* buckets = static_cast<uint32_t*>(calloc(m_dwBucketCount, sizeof(uint32_t)));
  if (buckets != nullptr) {
    _Refile(buckets, m_dwBucketCount);
    return;
  }
  // No room for a second array: refile in pool order, in place.
  memset(m_pBuckets, 0, static_cast<size_t>(m_dwBucketCount) * sizeof(uint32_t));
  uint32_t seen = 0;
  for (uint32_t i = 0; i < m_dwPoolCapacity && seen < m_dwCount; ++i) {
    if (m_pPool[i].dwPrev == kFree) continue;
    _LinkAtHead(i + 1, _dwBucket(m_pPool[i].pKey));
    ++seen;
  }
}

int CHashTableBounce::nStringLogiqueCompare(const void* searched, const void* stored) {
  const wchar_t* a = searched != nullptr ? static_cast<const wchar_t*>(searched) : L"";
  const wchar_t* b = stored != nullptr ? static_cast<const wchar_t*>(stored) : L"";
  return STR_nCompareW(a, b, LOCALE_FLAG_CASE_ACCENT);
}

unsigned int CHashTableBounce::dwStringLogiqueHashVal(const void* key) {
  const wchar_t* s = key != nullptr ? static_cast<const wchar_t*>(key) : L"";
  const size_t length = wcslen(s) + 1;  // the terminator is mapped too
  if (length > INT32_MAX) return 0;
  const int srcLen = static_cast<int>(length);
  wchar_t local[255];
  wchar_t* heap = nullptr;
  wchar_t* buf = local;
  int size = srcLen;
  if (length > sizeof(local) / sizeof(wchar_t)) buf = heap = static_cast<wchar_t*>(malloc(length * sizeof(wchar_t)));
  int n = buf != nullptr ? STR_nMapStringEx(LOCALE_FLAG_CASE_ACCENT, buf, size, s, srcLen) : 0;
  if (n <= 0) {
    // The mapped text may be longer than the key (one letter can fold to two).
    size = STR_nMapStringEx(LOCALE_FLAG_CASE_ACCENT, nullptr, 0, s, srcLen);
    free(heap);
    buf = heap = size > 0 ? static_cast<wchar_t*>(malloc(static_cast<size_t>(size) * sizeof(wchar_t))) : nullptr;
    n = buf != nullptr ? STR_nMapStringEx(LOCALE_FLAG_CASE_ACCENT, buf, size, s, srcLen) : 0;
  }
  if (n > size) n = size;
  unsigned int sum = 0;
  for (int i = 0; i < n; ++i) sum += static_cast<unsigned int>(buf[i]);
  free(heap);
  return sum;
}

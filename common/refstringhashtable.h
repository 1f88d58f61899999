// CRefStringHashTable<V>: a reference-holding table keyed by wide-text names compared and hashed
// ignoring case and accents (CHashTableBounce::nStringLogiqueCompare / dwStringLogiqueHashVal).
// Stored keys are malloc'ed copies owned by the table's holder: bAddValue makes the copy, and
// bRemoveValue, RemoveAll and the destructor free it. A one-entry lookup cache keeps the entry
// found last (by its pool index, so in-place changes of the value show through); every add,
// removal and clear forgets it, so it never names a freed entry or hides a newer one; it keeps
// the entry's address, which the pool moves only in those (its growth, shrink and reset). A name
// spelt as the cached key is that key: the logical compare is made only for other spellings.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "common/refhashtable.h"
#include "common/str_buffer.h"

template <typename V>
class CRefStringHashTable : public CRefHashTable<wchar_t*, V> {
  typedef CRefHashTable<wchar_t*, V> Base;

 public:
  explicit CRefStringHashTable(unsigned int n = 7) : Base(n) {
    this->SetCmp(CHashTableBounce::nStringLogiqueCompare);
    this->SetHashVal(CHashTableBounce::dwStringLogiqueHashVal);
  }
  ~CRefStringHashTable() override {
    _ClearCache();
    this->_ReleaseAll(true, false);
  }

  // Adds a copy of the name with a reference taken on the value; FALSE (nothing kept) when
  // memory fails.
  BOOL bAddValue(const wchar_t* name, V value) {
    wchar_t* key = STR_pszCreate(name != nullptr ? name : L"");
    if (key == nullptr) return FALSE;
    if (Base::bAddValue(key, value)) return TRUE;
    free(key);
    return FALSE;
  }
  // The newest value of the name, with a reference taken for the caller, through the cache.
  BOOL bFindValue(const wchar_t* name, V* pValue) {
    if (!_bFindCached(name)) return FALSE;
    const V value = static_cast<V>(m_pCached->pValue);
    this->_AddRef(value);
    if (pValue != nullptr) *pValue = value;
    return TRUE;
  }
  // The same without a reference taken: for a value read at once and let go.
  BOOL bPeekValue(const wchar_t* name, V* pValue) {
    if (!_bFindCached(name)) return FALSE;
    *pValue = static_cast<V>(m_pCached->pValue);
    return TRUE;
  }
  // The newest value of the name, without a reference taken.
  BOOL bGetValue(const wchar_t* name, V* pValue, const wchar_t** pStoredKey = nullptr) const {
    wchar_t* stored;
    if (!Base::bGetValue(const_cast<wchar_t*>(name), pValue, &stored)) return FALSE;
    if (pStoredKey != nullptr) *pStoredKey = stored;
    return TRUE;
  }
  // Removes the newest entry of the name, releasing its value and freeing its key.
  BOOL bRemoveValue(const wchar_t* name) {
    void* value = nullptr;
    void* key = this->_pAbsent();
    bDeleteElement(name, &value, &key);
    if (key == this->_pAbsent()) return FALSE;
    this->_Release(static_cast<V>(value));
    free(key);
    return TRUE;
  }
  void RemoveAll() {
    _ClearCache();
    this->_ReleaseAll(true, true);
  }

  BOOL bAddElement(void* key, void* value) override {
    _ClearCache();  // a newer entry of the same name must win over the cached one
    return Base::bAddElement(key, value);
  }
  BOOL bDeleteElement(const void* key, void** pValue, void** pStoredKey) override {
    _ClearCache();
    return Base::bDeleteElement(key, pValue, pStoredKey);
  }
  BOOL bParseTable(unsigned int* cursor, int bDelete, void** pValue, void** pKey) override {
    if (bDelete) _ClearCache();
    return Base::bParseTable(cursor, bDelete, pValue, pKey);
  }
  void DeleteAll(unsigned int n) override {
    _ClearCache();
    Base::DeleteAll(n);
  }
  BOOL bParseSetElement(unsigned int cursor, void* value, void** pOldValue) override {
    _Stamp();
    return Base::bParseSetElement(cursor, value, pOldValue);
  }
  BOOL bParseSetKey(unsigned int cursor, void* key, void** pOldKey) override {
    _Stamp();
    return Base::bParseSetKey(cursor, key, pOldKey);
  }

  bool bHasCache() const { return m_pCached != nullptr; }
  // Moves with every add, removal, replacement through a walk and clear: while it holds, a name
  // finds what it found before (unless a holder wrote a value through pGetElement). Never 0 once
  // an entry was added.
  uint32_t dwGetStamp() const { return m_dwStamp; }

 private:
  void _ClearCache() {
    m_pCached = nullptr;
    _Stamp();
  }
  void _Stamp() {
    if (++m_dwStamp == 0) m_dwStamp = 1;
  }
  // The cache holds the newest entry of the name after it, true; false when there is none.
  bool _bFindCached(const wchar_t* name) {
    if (m_pCached != nullptr && _bCachedName(name)) return true;
    const uint32_t found = this->_dwFind(name);
    m_pCached = found != 0 ? this->_pEntry(found) : nullptr;
    return m_pCached != nullptr;
  }
  bool _bCachedName(const wchar_t* name) const {
    const void* key = m_pCached->pKey;
    if (name != nullptr && key != nullptr && STR_bSameW(name, static_cast<const wchar_t*>(key))) return true;
    return this->_nCompare(name, key) == 0;
  }

  // The entry found last; null = none.
  const typename Base::STEntry* m_pCached = nullptr;
  uint32_t m_dwStamp = 0;
};

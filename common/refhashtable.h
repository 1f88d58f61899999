// CRefHashTable<K,V>: a CHashTableBounce with typed keys and values, holding one reference on
// every non-null value (V is a pointer to an object taken and dropped through CRefPolicy).
// Keys are integers, enumerations or pointers compared by value and hashed to their own value.
// Holders either use the reference-taking operations (bAddValue, bRemoveValue, RemoveAll) or
// pair the raw ones with _AddRef and _Release themselves. The destructor releases every value
// still held.
// CNARefHashTable<K,V>: the same table under the name the driver's registries use.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "common/hash_bounce.h"
#include "common/refpolicy.h"

template <typename K, typename V>
class CRefHashTable : public CHashTableBounce {
  static_assert(std::is_pointer_v<V>, "values are pointers to reference-counted objects");
  static_assert(std::is_pointer_v<K> || std::is_integral_v<K> || std::is_enum_v<K>, "keys are pointer-sized scalars");
  static_assert(sizeof(K) <= sizeof(void*), "keys are pointer-sized scalars");
  typedef std::remove_pointer_t<V> Object;

 public:
  explicit CRefHashTable(unsigned int n = 7) : CHashTableBounce(n) {
    SetCmp(_nHTBDefaultCompare);
    SetHashVal(_dwHTBDefaultHashVal);
  }
  ~CRefHashTable() override { _ReleaseAll(false, false); }

  static int _nHTBDefaultCompare(const void* a, const void* b) { return a != b ? 1 : 0; }
  static unsigned int _dwHTBDefaultHashVal(const void* k) {
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(k));
  }

  void _AddRef(V value) const {
    if (value != nullptr) CRefPolicy<Object>::AddRef(value);
  }
  void _Release(V value) const {
    if (value != nullptr) CRefPolicy<Object>::Release(value);
  }

  // Adds the pair with a reference taken on the value; FALSE (no reference kept) when the
  // table could not grow.
  BOOL bAddValue(K key, V value) {
    _AddRef(value);
    if (bAddElement(_ToVoid(key), value)) return TRUE;
    _Release(value);
    return FALSE;
  }
  // The newest value of the key, without a reference taken.
  BOOL bGetValue(K key, V* pValue, K* pStoredKey = nullptr) const {
    void *value, *stored;
    if (!bGetElement(_ToVoid(key), &value, &stored)) return FALSE;
    if (pValue != nullptr) *pValue = static_cast<V>(value);
    if (pStoredKey != nullptr) *pStoredKey = _FromVoid(stored);
    return TRUE;
  }
  // Removes the newest entry of the key and releases its value; FALSE when absent.
  BOOL bRemoveValue(K key) {
    void* value = nullptr;
    void* stored = _pAbsent();
    // FALSE may also mean a failed shrink after the removal: the stored key tells them apart.
    bDeleteElement(_ToVoid(key), &value, &stored);
    if (stored == _pAbsent()) return FALSE;
    _Release(static_cast<V>(value));
    return TRUE;
  }
  // Removes every entry, releasing each value, and sizes the table again for 7 entries.
  void RemoveAll() { _ReleaseAll(false, true); }

 protected:
  static void* _ToVoid(K key) {
    if constexpr (std::is_pointer_v<K>)
      return const_cast<void*>(static_cast<const void*>(key));
    else
      return reinterpret_cast<void*>(static_cast<intptr_t>(key));
  }
  static K _FromVoid(void* p) {
    if constexpr (std::is_pointer_v<K>)
      return static_cast<K>(p);
    else
      return static_cast<K>(reinterpret_cast<intptr_t>(p));
  }

  // A key no entry can hold, to see whether a removal found anything.
  static void* _pAbsent() {
    static char s_absent;
    return &s_absent;
  }

  // Each entry leaves the table before its value is released, so a value that looks at the
  // table while it is being destroyed no longer finds itself there.
  void _ReleaseAll(bool bFreeKeys, bool bResize) {
    unsigned int cursor = 0;
    void *value, *key;
    while (bParseTable(&cursor, TRUE, &value, &key)) {
      _Release(static_cast<V>(value));
      if (bFreeKeys) free(key);
    }
    if (bResize && this->nGetLevel() != 0) this->_Reset(7);
  }
};

template <typename K, typename V>
class CNARefHashTable : public CRefHashTable<K, V> {
 public:
  explicit CNARefHashTable(unsigned int n = 7) : CRefHashTable<K, V>(n) {}
};

// CNARegistryWalk: a cursor walk over one of the driver's hash tables that ends the walk however
// its scope is left (an early return or an exception), so the table can shrink again afterwards.
// The walk itself removes nothing: entries may be removed meanwhile, the cursor stays valid.
// CollectHeld: the entries that pass a filter, each held by one reference.
#pragma once

#include <vector>

#include "common/hash_bounce.h"

template <typename V>
class CNARegistryWalk {
 public:
  explicit CNARegistryWalk(CHashTableBounce* table) : m_pTable(table) {}
  ~CNARegistryWalk() {
    if (m_dwCursor != 0 && !m_bDone) m_pTable->StopParsing();
  }
  CNARegistryWalk(const CNARegistryWalk&) = delete;
  CNARegistryWalk& operator=(const CNARegistryWalk&) = delete;

  // The next value; FALSE at the end.
  bool bNext(V* value) {
    void* v = nullptr;
    if (m_bDone || !m_pTable->bParseTable(&m_dwCursor, FALSE, &v, nullptr)) {
      m_bDone = true;
      return false;
    }
    *value = static_cast<V>(v);
    return true;
  }

 private:
  CHashTableBounce* m_pTable;
  unsigned int m_dwCursor = 0;
  bool m_bDone = false;
};

// The values of table that pass keep, each with one reference (AddRef) that Held (a holder of
// Held::element_type, a unique_ptr that gives it back) keeps, so that the caller may call out on
// them while entries come and go. The caller holds the driver lock.
template <typename Held, typename F>
std::vector<Held> CollectHeld(CHashTableBounce* table, F&& keep) {
  using V = typename Held::element_type;
  std::vector<Held> out;
  out.reserve(table->dwGetNumElement());
  CNARegistryWalk<V*> walk(table);
  V* value = nullptr;
  while (walk.bNext(&value)) {
    if (!keep(value)) continue;
    value->AddRef();
    out.emplace_back(value);
  }
  return out;
}

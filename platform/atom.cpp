// The atom table (declared in platform/atom.h).
#include "platform/atom.h"

#include <cstdlib>
#include <cwchar>
#include <new>

// A C++ static: its destructor runs when the library is unloaded, not only at process exit.
CAtomList gclAtomList;
uint32_t CAtom::gnId = 1;

namespace {

constexpr uint32_t kLastId = 0xFFFF;

CAtomList::Entry* Find(const wchar_t* name) {
  for (CAtomList::Entry* e = gclAtomList.m_pFirst; e != nullptr; e = e->pNext)
    if (wcscasecmp(e->pszName, name) == 0) return e;
  return nullptr;
}

CAtomList::Entry* Find(unsigned short id) {
  for (CAtomList::Entry* e = gclAtomList.m_pFirst; e != nullptr; e = e->pNext)
    if (e->nId == id) return e;
  return nullptr;
}

}  // namespace

CAtomList::~CAtomList() {
  while (m_pFirst != nullptr) {
    Entry* e = m_pFirst;
    m_pFirst = e->pNext;
    free(e->pszName);
    delete e;
  }
}

unsigned short AddAtom(const wchar_t* name) {
  if (name == nullptr) return 0;
  if (CAtomList::Entry* e = Find(name)) {
    ++e->nCount;
    return static_cast<unsigned short>(e->nId);
  }
  if (CAtom::gnId > kLastId) return 0;
  wchar_t* copy = wcsdup(name);
  if (copy == nullptr) return 0;
  auto* e = new (std::nothrow) CAtomList::Entry{1, CAtom::gnId, nullptr, copy};
  if (e == nullptr) {
    free(copy);
    return 0;
  }
  ++CAtom::gnId;
  CAtomList::Entry** tail = &gclAtomList.m_pFirst;
  while (*tail != nullptr) tail = &(*tail)->pNext;
  *tail = e;
  return static_cast<unsigned short>(e->nId);
}

unsigned short FindAtom(const wchar_t* name) {
  const CAtomList::Entry* e = name != nullptr ? Find(name) : nullptr;
  return e != nullptr ? static_cast<unsigned short>(e->nId) : 0;
}

int GetAtomName(unsigned short id, wchar_t* buffer, int size) {
  const CAtomList::Entry* e = Find(id);
  if (e == nullptr || buffer == nullptr || size < 1) return 0;
  size_t n = wcslen(e->pszName);
  if (n > static_cast<size_t>(size) - 1) n = static_cast<size_t>(size) - 1;
  wmemcpy(buffer, e->pszName, n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

unsigned short DeleteAtom(unsigned short id) {
  for (CAtomList::Entry** p = &gclAtomList.m_pFirst; *p != nullptr; p = &(*p)->pNext) {
    CAtomList::Entry* e = *p;
    if (e->nId != id) continue;
    if (--e->nCount == 0) {
      *p = e->pNext;
      free(e->pszName);
      delete e;
    }
    return 0;
  }
  return id;
}

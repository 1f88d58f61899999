// The process-wide atom table of the Win32 emulation: names registered once, referred to by a
// 16-bit id, with a count per name. Names compare without regard to case; ids run from 1 to
// 0xFFFF and are never reused. The table is a static object emptied when the library is unloaded
// (or the process ends). No lock: one thread at a time.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

class CAtomList {
 public:
  struct Entry {
    uint32_t nCount;
    uint32_t nId;
    Entry* pNext;
    wchar_t* pszName;
  };
  CAtomList() = default;
  CAtomList(const CAtomList&) = delete;
  CAtomList& operator=(const CAtomList&) = delete;
  ~CAtomList();
  Entry* m_pFirst = nullptr;
};

class CAtom {
 public:
  // The next id to hand out.
  static uint32_t gnId;
};

extern CAtomList gclAtomList;

// The name's id, its count raised; a new name gets the next id. 0 for a null name, when the ids
// are used up, or when memory runs out.
unsigned short AddAtom(const wchar_t* name);
// The name's id, or 0.
unsigned short FindAtom(const wchar_t* name);
// The name cut to size - 1 characters and terminated; the characters copied, 0 for an unknown id
// or a size below 1.
int GetAtomName(unsigned short id, wchar_t* buffer, int size);
// Lowers the count, freeing the entry at 0: 0 when the id was found, else the id.
unsigned short DeleteAtom(unsigned short id);

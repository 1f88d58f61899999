// CFindFile: owns one directory search (CDiskFile::_stXFINDDATA, platform/diskfile.h) and closes
// it when destroyed. The search, the tree walks and the tree deletions themselves are static
// operations of CDiskFile (platform/findfile.cpp).
#pragma once

#include "platform/diskfile.h"

class CFindFile {
 public:
  CFindFile() = default;
  CFindFile(const CFindFile&) = delete;
  CFindFile& operator=(const CFindFile&) = delete;
  ~CFindFile() { CDiskFile::bFindClose(&m_find, nullptr); }

  // A search still open is closed first.
  BOOL bFindFirst(const wchar_t* search, int required, int excluded, CXError* err) {
    return CDiskFile::bFindFirst(search, &m_find, required, excluded, err);
  }
  BOOL bFindNext(CXError* err) { return CDiskFile::bFindNext(&m_find, err); }
  BOOL bFindClose(CXError* err) { return CDiskFile::bFindClose(&m_find, err); }
  // The target's search is closed and replaced by this one; this object is left idle. 0.
  int TransfertTo(CFindFile& target);
  // The search and the entry last found.
  const CDiskFile::_stXFINDDATA& stGetData() const { return m_find; }

 private:
  CDiskFile::_stXFINDDATA m_find{};
};

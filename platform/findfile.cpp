// Directory search, tree walks and tree deletions of CDiskFile (declared in platform/diskfile.h),
// and CFindFile (platform/findfile.h).
//
// A path is never cut: an entry whose directory + name does not fit kMaxPath stops the search,
// so that no other file's name reaches a callback or the file system. The walks and deletions
// type entries with lstat, so a symbolic link is handled as the link itself.
#include "platform/findfile.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/syscall_seam.h"
#include "platform/unixname.h"
#include "platform/xerror.h"

namespace {

enum : unsigned int { kResOpenDir = 28135, kResReadDir = 28136, kResCloseDir = 28137 };

constexpr int kDirectoryBit = 0x4000;
constexpr unsigned int kMaxPath = CDiskFile::kMaxPath;
constexpr auto OnError = &CDiskFile::_bOnError;

using FINDDATA = CDiskFile::_stXFINDDATA;

// Fails the search (raised as id with errno e) and closes it; errno stays e.
BOOL Fail(FINDDATA* find, CXError* err, unsigned int id, int e) {
  errno = e;
  OnError(FALSE, err, find->szDirectory, id);
  CDiskFile::bFindClose(find, nullptr);
  errno = e;
  return FALSE;
}

// The attribute word (mode & 0xE1FF, 0x80000000 for a dot-file), size and time of path.
bool bStatus(const wchar_t* path, const wchar_t* name, bool bLinks, FINDDATA* find) {
  struct stat st;
  if ((bLinks ? CDiskFile::Unix_lstat(path, &st) : CDiskFile::Unix_stat(path, &st, nullptr)) != 0) return false;
  find->nAttributes = static_cast<int>((st.st_mode & 0xE1FF) | (name[0] == L'.' ? 0x80000000u : 0));
  find->oSize = st.st_size;
  _FILETIME modified;
  if (!TimeToFileTime(st.st_mtime, &modified) || !CDiskFile::bFileTimeToSystemTime(&modified, &find->stTime))
    find->stTime = CDiskFile::_stXFILETIME{};
  return true;
}

// bFindNext, typing entries with lstat when bLinks. At the end: FALSE with errno 0.
BOOL Next(FINDDATA* find, CXError* err, bool bLinks) {
  if (find == nullptr || find->pDir == nullptr) {
    errno = 0;
    return FALSE;
  }
  for (;;) {
    errno = 0;  // readdir leaves it alone at the end of the listing
    const dirent* entry = SEAM_readdir(find->pDir);
    if (entry == nullptr) {
      if (errno != 0) return Fail(find, err, kResReadDir, errno);
      if (!CDiskFile::bFindClose(find, err)) return FALSE;
      errno = 0;
      return FALSE;
    }
    const std::wstring name = UNIX_strDecode(entry->d_name, strlen(entry->d_name));
    if (CDiskFile::bIsAVirtualDirectory(name.c_str()) || !CDiskFile::_bFiltreFileName(name.c_str(), find->szPattern))
      continue;
    // A backslash would be read as a slash: the name of another file.
    if (name.find(L'\\') != std::wstring::npos) return Fail(find, err, kResReadDir, EILSEQ);
    wchar_t path[kMaxPath + 1];
    if (!CDiskFile::MakePath(path, find->szDirectory, name.c_str(), nullptr))
      return Fail(find, err, kResReadDir, ENAMETOOLONG);
    if (!bStatus(path, name.c_str(), bLinks, find) ||
        !CDiskFile::_bFindGoodFile(name.c_str(), static_cast<unsigned int>(find->nAttributes), find))
      continue;
    UNIX_bFit(name, find->szName, kMaxPath + 1);  // a name has at most 255 characters
    OnError(TRUE, err, nullptr, 0);
    return TRUE;
  }
}

BOOL First(const wchar_t* search, FINDDATA* find, int required, int excluded, CXError* err, bool bLinks) {
  if (find == nullptr) {
    errno = EINVAL;
    return FALSE;
  }
  CDiskFile::bFindClose(find, nullptr);  // a search still open in the record
  *find = FINDDATA{};
  find->nRequired = required;
  find->nExcluded = excluded;
  const std::wstring s = CDiskFile::s_strSlashed(search);
  const size_t slash = s.rfind(L'/');
  if (slash == std::wstring::npos) {
    if (!CDiskFile::Unix_getcwd(find->szDirectory, kMaxPath + 1) ||
        !CDiskFile::DirectoryWithEndSlash(find->szDirectory))
      return OnError(TRUE, err, nullptr, 0), FALSE;
  } else if (!UNIX_bFit(s.substr(0, slash + 1), find->szDirectory, kMaxPath + 1)) {
    return OnError(FALSE, err, s.c_str(), kResOpenDir);
  }
  if (!UNIX_bFit(s.substr(slash + 1), find->szPattern, kMaxPath + 1))
    return OnError(FALSE, err, s.c_str(), kResOpenDir);
  find->pDir = CDiskFile::__Unix_opendir(find->szDirectory);
  if (find->pDir == nullptr) {
    if (errno != ENOENT) return OnError(FALSE, err, find->szDirectory, kResOpenDir);
    OnError(TRUE, err, nullptr, 0);
    errno = 0;  // nothing found is no failure
    return FALSE;
  }
  return Next(find, err, bLinks);
}

// One search of a walk or deletion, closed on every path. After a FALSE, errno 0 means the end.
struct CSearch {
  CSearch() = default;
  CSearch(const CSearch&) = delete;
  CSearch& operator=(const CSearch&) = delete;
  ~CSearch() { CDiskFile::bFindClose(&m_find, nullptr); }
  BOOL bFirst(const std::wstring& search, int required, int excluded, CXError* err) {
    if (search.size() > kMaxPath) {
      errno = ENAMETOOLONG;
      return OnError(FALSE, err, search.c_str(), kResOpenDir);
    }
    return First(search.c_str(), &m_find, required, excluded, err, true);
  }
  BOOL bNext(CXError* err) { return Next(&m_find, err, true); }
  bool bIsDirectory() const { return (m_find.nAttributes & kDirectoryBit) != 0; }
  // Directory + name of the entry found (checked to fit by the search).
  std::wstring strPath() const { return std::wstring(m_find.szDirectory) + m_find.szName; }
  FINDDATA m_find{};
};

// One level of a walk; dir ends with "/" (or is empty: the current directory).
BOOL Walk(const std::wstring& dir, const std::wstring& pattern, CDiskFile::PFTREECALLBACK callback, intptr_t data,
          int bWithDirectories, int bRecurse, bool bDirectoryTree) {
  {
    CSearch s;
    const int excluded = bWithDirectories ? 0 : kDirectoryBit;
    BOOL found = s.bFirst(dir + pattern, bDirectoryTree ? kDirectoryBit : 0, excluded, nullptr);
    for (; found; found = s.bNext(nullptr))
      if (callback(s.strPath().c_str(), data) == 0) return FALSE;
    if (errno != 0) return FALSE;
  }
  if (!bRecurse) return TRUE;
  CSearch s;
  BOOL found = s.bFirst(dir + L"*", kDirectoryBit, 0, nullptr);
  for (; found; found = s.bNext(nullptr)) {
    const std::wstring sub = s.strPath() + L"/";
    if (sub.size() > kMaxPath) {
      errno = ENAMETOOLONG;
      return FALSE;
    }
    if (!Walk(sub, pattern, callback, data, bWithDirectories, bRecurse, bDirectoryTree)) return FALSE;
  }
  return errno == 0 ? TRUE : FALSE;
}

BOOL WalkTree(const wchar_t* directory, const wchar_t* pattern, CDiskFile::PFTREECALLBACK callback, intptr_t data,
              int bWithDirectories, int bRecurse, bool bDirectoryTree) {
  if (callback == nullptr) {
    errno = EINVAL;
    return FALSE;
  }
  std::wstring dir = CDiskFile::s_strSlashed(directory);
  if (!dir.empty() && dir.back() != L'/') dir += L'/';
  return Walk(dir, CDiskFile::s_strSlashed(pattern), callback, data, bWithDirectories, bRecurse, bDirectoryTree);
}

// Empties dir (ending with "/").
BOOL Purge(const std::wstring& dir, CXError* err) {
  CSearch s;
  BOOL found = s.bFirst(dir + L"*", 0, 0, err);
  for (; found; found = s.bNext(err)) {
    const std::wstring path = s.strPath();
    const bool ok = s.bIsDirectory() ? Purge(path + L"/", err) && CDiskFile::bDeleteDirectory(path.c_str(), err)
                                     : CDiskFile::bDelete(path.c_str(), err);
    if (!ok) return FALSE;
  }
  return errno == 0 ? TRUE : FALSE;
}

// A tree deletion given a symbolic link (end slashes aside) unlinks it and never enters it: TRUE,
// with the answer in *pResult.
bool bUnlinkedTopLink(const wchar_t* directory, CXError* err, BOOL* pResult) {
  if (directory == nullptr) return false;
  std::wstring path = CDiskFile::s_strSlashed(directory);
  while (path.size() > 1 && path.back() == L'/') path.pop_back();
  struct stat st;
  if (path.empty() || CDiskFile::Unix_lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
  *pResult = CDiskFile::bDelete(path.c_str(), err);
  return true;
}

}  // namespace

BOOL CDiskFile::bFindFirst(const wchar_t* search, _stXFINDDATA* find, int required, int excluded, CXError* err) {
  return First(search, find, required, excluded, err, false);
}

BOOL CDiskFile::bFindNext(_stXFINDDATA* find, CXError* err) { return Next(find, err, false); }

BOOL CDiskFile::bFindClose(_stXFINDDATA* find, CXError* err) {
  if (find == nullptr || find->pDir == nullptr) return TRUE;
  DIR* dir = find->pDir;
  find->pDir = nullptr;
  return OnError(SEAM_closedir(dir) == 0, err, find->szDirectory, kResCloseDir);
}

// Backtracks only to the last "*" seen: each position of the name is tried once per "*".
BOOL CDiskFile::_bFiltreFileName(const wchar_t* name, const wchar_t* pattern) {
  if (name == nullptr || pattern == nullptr) return FALSE;
  const wchar_t *n = name, *p = pattern, *afterStar = nullptr, *starName = nullptr;
  while (*n != 0) {
    if (*p == L'*') {
      afterStar = ++p;
      starName = n;
    } else if (*p != 0 && (*p == L'?' || *p == *n)) {
      ++p;
      ++n;
    } else if (afterStar != nullptr) {
      p = afterStar;
      n = ++starName;
    } else {
      return FALSE;
    }
  }
  while (*p == L'*') ++p;
  return *p == 0 ? TRUE : FALSE;
}

BOOL CDiskFile::_bFindGoodFile(const wchar_t* name, unsigned int attributes, const _stXFINDDATA* find) {
  if (bIsAVirtualDirectory(name) || !_bFiltreFileName(name, find->szPattern)) return FALSE;
  const unsigned int required = static_cast<unsigned int>(find->nRequired);
  return (attributes & required) == required && (attributes & static_cast<unsigned int>(find->nExcluded)) == 0;
}

BOOL CDiskFile::bDoOnFileTree(const wchar_t* directory, const wchar_t* pattern, PFTREECALLBACK callback, intptr_t data,
                              int bWithDirectories, int bRecurse) {
  return WalkTree(directory, pattern, callback, data, bWithDirectories, bRecurse, false);
}

BOOL CDiskFile::bDoOnDirectoryTree(const wchar_t* directory, const wchar_t* pattern, PFTREECALLBACK callback,
                                   intptr_t data, int bWithDirectories, int bRecurse) {
  return WalkTree(directory, pattern, callback, data, bWithDirectories, bRecurse, true);
}

int CDiskFile::__bForceDeleteOnTree(const wchar_t* path, intptr_t) { return bForceDelete(path); }

BOOL CDiskFile::bForceDeleteOnFileTree(const wchar_t* directory, const wchar_t* pattern, int bRecurse, CXError* err) {
  return bDoOnFileTree(directory, pattern, __bForceDeleteOnTree, reinterpret_cast<intptr_t>(err), 0, bRecurse);
}

BOOL CDiskFile::_bDeltree(const wchar_t* directory, CXError* err) {
  if (directory == nullptr || directory[0] == 0) {
    errno = EINVAL;
    return FALSE;
  }
  BOOL unlinked;
  if (bUnlinkedTopLink(directory, err, &unlinked)) return unlinked;
  std::wstring dir = CDiskFile::s_strSlashed(directory);
  if (dir.back() != L'/') dir += L'/';
  return Purge(dir, err);
}

BOOL CDiskFile::bDeleteTree(const wchar_t* directory, CXError* err) {
  BOOL unlinked;
  if (bUnlinkedTopLink(directory, err, &unlinked)) return unlinked;
  return bPurgeTree(directory, err) && bDeleteDirectory(directory, err);
}

BOOL CDiskFile::bForceDeleteTree(const wchar_t* directory, CXError* err) {
  BOOL unlinked;
  if (bUnlinkedTopLink(directory, err, &unlinked)) return unlinked;
  return bForcePurgeTree(directory, err) && bDeleteDirectory(directory, err);
}

BOOL CDiskFile::bDeleteTreeEvenReadOnly(const wchar_t* directory, CXError* err) {
  BOOL unlinked;
  if (bUnlinkedTopLink(directory, err, &unlinked)) return unlinked;
  std::wstring dir = CDiskFile::s_strSlashed(directory);
  if (!dir.empty() && dir.back() != L'/') dir += L'/';
  bForceDeleteOnFileTree(dir.c_str(), L"*", 1, err);  // what it leaves, bDeleteTree reports
  return bDeleteTree(dir.c_str(), err);
}

// ---- CFindFile ----

int CFindFile::TransfertTo(CFindFile& target) {
  if (&target == this) return 0;
  target.bFindClose(nullptr);
  target.m_find = m_find;
  m_find = CDiskFile::_stXFINDDATA{};
  return 0;
}

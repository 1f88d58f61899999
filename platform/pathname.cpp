// Path names of CDiskFile (declared in platform/diskfile.h): texts only, except the current and
// home directories that GetFullPathName reads.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

#include "common/ctstring.h"
#include "common/str_buffer.h"
#include "common/xystring.h"
#include "platform/diskfile.h"
#include "platform/modulepath.h"
#include "platform/unixname.h"

namespace {

constexpr size_t kPathBuffer = CDiskFile::kMaxPath + 1;

template <typename T>
T* Replace(T* s, T from, T to) {
  if (s != nullptr)
    for (T* p = s; *p != 0; ++p)
      if (*p == from) *p = to;
  return s;
}

// The string's text with from replaced, written into its own block (a shared block is copied).
void Replace(CXYString<wchar_t>& s, wchar_t from, wchar_t to) {
  const int n = s.nGetLength();
  if (n == 0 || s.nPosBinaire(&from, 1, 0) < 0 || s.__nPrepareModification(n) != 0) return;
  std::replace(s.pGetData(), s.pGetData() + n, from, to);
}

bool bIsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Index of the extension's "." in s, or npos.
size_t ExtensionAt(const std::wstring& s) {
  const size_t dot = s.rfind(L'.');
  const size_t sep = s.find_last_of(L"/\\");
  return dot != std::wstring::npos && (sep == std::wstring::npos || dot > sep) ? dot : std::wstring::npos;
}

// s with its extension replaced by ext (or ext appended), as ChangeExtension does.
std::wstring WithExtension(const std::wstring& s, const std::wstring& ext) {
  const size_t dot = ExtensionAt(s);
  const bool dotted = !ext.empty() && ext[0] == L'.';
  return (dot != std::wstring::npos ? s.substr(0, dot) : s) + (dotted ? L"" : L".") + ext;
}

void WithEndSlash(std::wstring* s) {
  if (!s->empty() && s->back() != L'/') s->push_back(L'/');
}

void WithoutOneEndSlash(std::wstring* s) {
  if (!s->empty() && s->back() == L'/') s->pop_back();
}

// The parent with its end slash ("/a/b/" and "/a/b" give "/a/"); "" without a "/".
std::wstring Parent(std::wstring s) {
  WithoutOneEndSlash(&s);
  const size_t slash = s.rfind(L'/');
  return slash != std::wstring::npos ? s.substr(0, slash + 1) : std::wstring();
}

// Slashes, then trailing blanks removed.
std::wstring Standardized(const wchar_t* name) {
  std::wstring s = CDiskFile::s_strSlashed(name);
  STR_SuppressRightSpaces(s.data());
  s.resize(wcslen(s.c_str()));
  return s;
}

// "/./" removed, then each "/../" with the component before it. bAbsolute: "/../" at the root is
// "/"; otherwise a ".." component, or one with no "/" before it, stays.
void Normalise(std::wstring* p, bool bAbsolute) {
  for (size_t i; (i = p->find(L"/./")) != std::wstring::npos;) p->erase(i, 2);
  for (size_t from = 0, i; (i = p->find(L"/../", from)) != std::wstring::npos;) {
    const size_t j = i == 0 ? std::wstring::npos : p->rfind(L'/', i - 1);
    if (j == std::wstring::npos && bAbsolute && i == 0) {
      p->erase(0, 3);
    } else if (j == std::wstring::npos || p->compare(j + 1, i - j - 1, L"..") == 0) {
      from = i + 3;
    } else {
      p->erase(j, i + 3 - j);
      from = j;
    }
  }
}

// The normalised absolute path of name, unbounded. false with errno.
bool bFullPath(const wchar_t* name, std::wstring* full) {
  const std::wstring n = CDiskFile::s_strSlashed(name);
  if (n.empty()) {
    errno = ENOENT;
    return false;
  }
  if (n[0] == L'~' && (n.size() == 1 || n[1] == L'/')) {
    if (!UNIX_bUserHome(full)) return false;
    *full += n.substr(1);
  } else if (n[0] == L'/') {
    *full = n;
  } else {
    if (!UNIX_bCurrentDirectory(full)) return false;
    WithEndSlash(full);
    *full += n;
  }
  Normalise(full, true);
  return true;
}

// s into out when it fits size characters with its terminator; else out is left as it was.
BOOL Fit(const std::wstring& s, wchar_t* out, size_t size = kPathBuffer) {
  if (out == nullptr) return FALSE;
  if (s.size() >= size) {
    errno = ENAMETOOLONG;
    return FALSE;
  }
  wmemcpy(out, s.c_str(), s.size() + 1);
  return TRUE;
}

}  // namespace

char* CDiskFile::pszBackSlash2Slash(char* s) { return Replace(s, '\\', '/'); }
wchar_t* CDiskFile::pszBackSlash2Slash(wchar_t* s) { return Replace(s, L'\\', L'/'); }
void CDiskFile::pszBackSlash2Slash(CTString& s) { s.Remplace(L'\\', L'/'); }
std::wstring CDiskFile::s_strSlashed(const wchar_t* s) {
  std::wstring w = s != nullptr ? s : L"";
  pszBackSlash2Slash(w.data());
  return w;
}
void CDiskFile::pszBackSlash2Slash(CXYString<wchar_t>& s) { Replace(s, L'\\', L'/'); }
char* CDiskFile::pszSlash2BackSlash(char* s) { return Replace(s, '/', '\\'); }
wchar_t* CDiskFile::pszSlash2BackSlash(wchar_t* s) { return Replace(s, L'/', L'\\'); }
void CDiskFile::pszSlash2BackSlash(CTString& s) { s.Remplace(L'/', L'\\'); }
void CDiskFile::pszSlash2BackSlash(CXYString<wchar_t>& s) { Replace(s, L'/', L'\\'); }

const wchar_t* CDiskFile::pszGetPtrToFileName(const wchar_t* path) {
  if (path == nullptr) return nullptr;
  const wchar_t* start = path[0] != 0 && path[1] == L':' ? path + 2 : path;
  for (const wchar_t* p = start; *p != 0; ++p)
    if (bIsSeparator(*p)) start = p + 1;
  return start;
}

const wchar_t* CDiskFile::pszGetPtrToExtension(const wchar_t* path) {
  if (path == nullptr || path[0] == 0) return path;
  const size_t dot = ExtensionAt(path);
  return dot != std::wstring::npos ? path + dot : path + wcslen(path);
}

void CDiskFile::DelExtension(wchar_t* path) {
  if (path == nullptr) return;
  pszBackSlash2Slash(path);
  const_cast<wchar_t*>(pszGetPtrToExtension(path))[0] = 0;
}

void CDiskFile::DelExtension(CXYString<wchar_t>& path) {
  const std::wstring s(path.pszGet(), static_cast<size_t>(path.nGetLength()));
  const size_t dot = s.rfind(L'.'), sep = s.rfind(L'/');
  if (dot == std::wstring::npos || (sep != std::wstring::npos && sep > dot)) return;
  if (path.__nPrepareModification(path.nGetLength()) == 0) path.SetUtilLength(static_cast<int>(dot));
}

BOOL CDiskFile::ChangeExtension(wchar_t* path, unsigned int size, const wchar_t* ext) {
  if (path == nullptr) return FALSE;
  return Fit(WithExtension(CDiskFile::s_strSlashed(path), CDiskFile::s_strSlashed(ext)), path, size);
}

BOOL CDiskFile::ChangeExtension(CXYString<wchar_t>& path, const wchar_t* ext) {
  const std::wstring s = WithExtension(CDiskFile::s_strSlashed(path.pszGet()), CDiskFile::s_strSlashed(ext));
  return path.nAffecte(s.c_str(), static_cast<int>(s.size())) == 0 ? TRUE : FALSE;
}

BOOL CDiskFile::MakePath(wchar_t* out, const wchar_t* directory, const wchar_t* name, const wchar_t* ext) {
  const std::wstring d = CDiskFile::s_strSlashed(directory), n = CDiskFile::s_strSlashed(name),
                     e = CDiskFile::s_strSlashed(ext);
  return makepath(out, nullptr, d.c_str(), n.c_str(), e.c_str());
}

BOOL CDiskFile::bGetLongPathName(wchar_t* out, unsigned int size, const wchar_t* name) {
  return Fit(name != nullptr ? name : L"", out, size);
}

BOOL CDiskFile::DirectoryWithEndSlash(wchar_t* path) {
  if (path == nullptr) return FALSE;
  std::wstring s = CDiskFile::s_strSlashed(path);
  WithEndSlash(&s);
  return Fit(s, path);
}

int CDiskFile::DirectoryWithEndSlash(char* path) {
  if (path == nullptr) return -1;
  pszBackSlash2Slash(path);
  const size_t n = strlen(path);
  if (n == 0 || path[n - 1] == '/') return static_cast<int>(n);
  if (n + 1 > kMaxPath) {
    errno = ENAMETOOLONG;
    return -1;
  }
  path[n] = '/';
  path[n + 1] = 0;
  return static_cast<int>(n);
}

void CDiskFile::DirectoryWithEndSlash(CTString& path) {
  pszBackSlash2Slash(path);
  if (path.nTaille() > 0 && !path.bTerminePar(L'/')) path.Add(L'/');
}

void CDiskFile::DirectoryWithEndSlash(CXYString<wchar_t>& path) {
  pszBackSlash2Slash(path);
  const int n = path.nGetLength();
  if (n > 0 && path.pszGet()[n - 1] != L'/') path.nConcat(L"/");
}

void CDiskFile::DirectoryWithoutEndSlash(wchar_t* path) {
  if (path == nullptr) return;
  pszBackSlash2Slash(path);
  for (size_t n = wcslen(path); n > 0 && path[n - 1] == L'/'; --n) path[n - 1] = 0;
}

void CDiskFile::DirectoryWithoutEndSlash(CTString& path) {
  pszBackSlash2Slash(path);
  if (path.bTerminePar(L'/')) path.Tronque(path.nTaille() - 1);
}

void CDiskFile::DirectoryWithoutEndSlash(CXYString<wchar_t>& path) {
  pszBackSlash2Slash(path);
  const int n = path.nGetLength();
  if (n > 0 && path.pszGet()[n - 1] == L'/' && path.__nPrepareModification(n) == 0) path.SetUtilLength(n - 1);
}

BOOL CDiskFile::PrefixeCurrentDirectory(wchar_t* path) {
  return path != nullptr ? Fit(L"./" + std::wstring(path), path) : FALSE;
}

BOOL CDiskFile::bIsRelativePath(const wchar_t* path) { return path != nullptr && path[0] == L'.'; }

BOOL CDiskFile::bIsRelativeFileName(const wchar_t* path) { return path == nullptr || path[0] != L'/'; }

BOOL CDiskFile::bIsRelativeFileName_WIN32(const wchar_t* path) {
  if (path == nullptr || path[0] == 0) return TRUE;
  const bool drive = ((path[0] | 0x20) >= L'a' && (path[0] | 0x20) <= L'z') && path[1] == L':';
  return path[0] != L'\\' && !drive && path[wcslen(path) - 1] != L':';
}

BOOL CDiskFile::bUNCName(const wchar_t* path) {
  return path != nullptr && path[0] == L'\\' && path[1] == L'\\' && wcschr(path + 2, L'\\') != nullptr;
}

BOOL CDiskFile::bUNCNameA(const char* path) {
  return path != nullptr && path[0] == '\\' && path[1] == '\\' && strchr(path + 2, '\\') != nullptr;
}

BOOL CDiskFile::bIsAVirtualDirectory(const wchar_t* name) {
  return name != nullptr && (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0);
}

BOOL CDiskFile::bValidName(const wchar_t* name) { return name != nullptr && wcspbrk(name, L"\\/:*?\"<>|") == nullptr; }

unsigned int CDiskFile::GetFullPathName(const wchar_t* name, unsigned int size, wchar_t* out, wchar_t**) {
  std::wstring full;
  if (!bFullPath(name, &full)) return 0;
  if (out == nullptr || full.size() >= size) return static_cast<unsigned int>(full.size() + 1);
  wmemcpy(out, full.c_str(), full.size() + 1);
  return static_cast<unsigned int>(full.size());
}

BOOL CDiskFile::bGetUNCName(wchar_t* out, unsigned int size, const wchar_t* name, CXError* err) {
  return bGetFullPath(out, size, name, nullptr, err);
}

BOOL CDiskFile::bStandardizeExistingFileName(wchar_t* out, unsigned int size, const wchar_t* name) {
  std::wstring full;
  return bFullPath(name, &full) ? Fit(full, out, size) : FALSE;
}

BOOL CDiskFile::StandardizeFileName(wchar_t* out, const wchar_t* name) {
  return Fit(Standardized(name != nullptr ? name : out), out);
}

void CDiskFile::SimplifyPath(wchar_t* path) {
  if (path == nullptr) return;
  std::wstring s = path;
  Normalise(&s, false);
  wmemcpy(path, s.c_str(), s.size() + 1);
}

BOOL CDiskFile::bSameFileName(const wchar_t* a, const wchar_t* b) { return Standardized(a) == Standardized(b); }

BOOL CDiskFile::bSameDirectoryName(const wchar_t* a, const wchar_t* b) {
  return bSameDirectoryNameEx(a, FALSE, b, FALSE);
}

BOOL CDiskFile::bSameDirectoryNameEx(const wchar_t* a, int bAExists, const wchar_t* b, int bBExists) {
  std::wstring sides[2];
  const wchar_t* names[2] = {a, b};
  const int exists[2] = {bAExists, bBExists};
  for (int i = 0; i < 2; ++i) {
    if (exists[i] == 0)
      sides[i] = Standardized(names[i]);
    else if (!bFullPath(names[i], &sides[i]))
      return FALSE;
    WithoutOneEndSlash(&sides[i]);
  }
  return sides[0] == sides[1];
}

BOOL CDiskFile::bRelativeToFullPath(wchar_t* out, const wchar_t* relative, const wchar_t* base, int mode) {
  std::wstring r = CDiskFile::s_strSlashed(relative), b = CDiskFile::s_strSlashed(base);
  const bool dotted = !r.empty() && r[0] == L'.';
  if (r == L"." || (mode == 0 && !dotted) || (mode == 1 && !r.empty() && r[0] == L'/')) {
    if (r == L".") r = b;
  } else if (r.compare(0, 2, L"./") == 0) {
    WithoutOneEndSlash(&b);
    r = b + r.substr(1);
  } else {
    for (; r.compare(0, 3, L"../") == 0; r.erase(0, 3))
      if (b != L"/") b = Parent(b);
    WithEndSlash(&b);
    r = b + r;
  }
  return Fit(r, out);
}

BOOL CDiskFile::bPathRelativePathTo(wchar_t* out, const wchar_t* path, const wchar_t* base, int) {
  if (CDiskFile::s_strSlashed(base).empty()) return Fit(CDiskFile::s_strSlashed(path), out);
  std::wstring p = Standardized(path), b = Standardized(base);
  WithEndSlash(&b);
  std::wstring up;
  for (; p.compare(0, b.size(), b) != 0; b = Parent(b)) up += L"../";
  return Fit((up.empty() ? L"./" : up) + p.substr(b.size()), out);
}

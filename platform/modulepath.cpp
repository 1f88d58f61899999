#include "platform/modulepath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/syscall_seam.h"
#include "platform/unixname.h"

namespace {

constexpr size_t kMaxPath = 260;

// The whole target of a symbolic link.
bool bReadLink(const char* link, std::string* target) {
  for (size_t size = 256; size <= (1u << 20); size *= 2) {
    target->resize(size);
    const ssize_t n = SEAM_readlink(link, target->data(), size);
    if (n < 0) return false;
    if (static_cast<size_t>(n) < size) {
      target->resize(static_cast<size_t>(n));
      return true;
    }
  }
  errno = ENAMETOOLONG;
  return false;
}

// The path of the process's first mapping that names a file: the executable's, mapped lowest.
// (Anonymous mappings, such as a sanitizer's shadow memory, may come before it.)
bool bFirstMappedPath(std::string* path) {
  const int fd = SEAM_open("/proc/self/maps", O_RDONLY, 0);
  if (fd < 0) return false;
  std::string maps;
  char chunk[4096];
  for (ssize_t n;
       maps.size() < (1u << 20) && ((n = SEAM_read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR));)
    if (n > 0) maps.append(chunk, static_cast<size_t>(n));
  SEAM_close(fd);
  for (size_t line = 0; line < maps.size();) {
    const size_t end = std::min(maps.find('\n', line), maps.size());
    const size_t slash = maps.find('/', line);
    if (slash < end) {
      *path = maps.substr(slash, end - slash);
      return true;
    }
    line = end + 1;
  }
  errno = ENOENT;
  return false;
}

bool bExecutablePath(std::string* path) { return bReadLink("/proc/self/exe", path) || bFirstMappedPath(path); }

}  // namespace

BOOL makepath(wchar_t* path, const wchar_t*, const wchar_t* directory, const wchar_t* name, const wchar_t* extension) {
  if (path == nullptr) return FALSE;
  std::wstring out = directory != nullptr ? directory : L"";
  if (!out.empty() && out.back() != L'/') out += L'/';
  if (name != nullptr) out += name;
  if (extension != nullptr && extension[0] != 0) {
    if (extension[0] != L'.') out += L'.';
    out += extension;
  }
  return UNIX_bFit(out, path, kMaxPath + 1) ? TRUE : FALSE;
}

BOOL GetModuleFileNameW(HINSTANCE__*, wchar_t* buffer, unsigned int size) {
  std::string path;
  if (buffer == nullptr || !bExecutablePath(&path)) return FALSE;
  return UNIX_bFit(UNIX_strDecode(path.data(), path.size()), buffer, size) ? TRUE : FALSE;
}

BOOL GetModuleFileNameA(HINSTANCE__*, char* buffer, unsigned int size) {
  std::string path;
  if (buffer == nullptr || !bExecutablePath(&path)) return FALSE;
  if (path.size() >= size) {
    if (size > 0) buffer[0] = 0;
    errno = ENAMETOOLONG;
    return FALSE;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return TRUE;
}

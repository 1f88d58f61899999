// Profile files and the exported line readers (declared in platform/profile.h).
#include "platform/profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <type_traits>
#include <vector>

#include "common/str_buffer.h"
#include "common/utf.h"
#include "platform/codepage.h"
#include "platform/diskfile.h"
#include "platform/syscall_seam.h"
#include "platform/unixname.h"

namespace {

constexpr size_t kPathChars = CDiskFile::kMaxPath + 1;

bool g_bHomeForTests = false;
std::wstring g_homeForTests;

bool bHome(std::wstring* out) {
  if (!g_bHomeForTests) return UNIX_bUserHome(out);
  *out = g_homeForTests;
  return true;
}

int UTF16Unit(FILE* file) {
  const int lo = fgetc(file);
  if (lo == EOF) return -1;
  const int hi = fgetc(file);
  if (hi == EOF) return -1;
  return lo | (hi << 8);
}

// The line readers' one loop. *pNoMemory tells a failed allocation from a 12-byte line.
template <typename T>
int ReadLine(T** line, unsigned int* bytes, FILE* file, int (*get)(FILE*), unsigned int unitBytes, bool* pNoMemory) {
  constexpr unsigned int kStep = sizeof(T) == 1 ? 64 : 256;
  constexpr unsigned int kReserve = sizeof(T) == 1 ? 2 : 8;
  *pNoMemory = false;
  if (*line == nullptr) {
    *line = static_cast<T*>(malloc(kStep));
    if (*line == nullptr) {
      *pNoMemory = true;
      return 12;
    }
    *bytes = kStep;
  }
  const off_t start = sizeof(T) == 1 || unitBytes == 2 ? -1 : ftello(file);
  unsigned int n = 0;
  int c = 0;
  int result = 0;
  while ((c = get(file)) != -1) {
    if (*bytes - n * sizeof(T) < kReserve) {
      T* grown = static_cast<T*>(realloc(*line, *bytes + kStep));
      if (grown == nullptr) {
        *pNoMemory = true;
        result = 12;
        break;
      }
      *line = grown;
      *bytes += kStep;
    }
    (*line)[n++] = static_cast<T>(c);
    if (c == '\n') break;
  }
  (*line)[n] = 0;
  if (result != 0) return result;
  if (n == 0) return -1;
  const off_t end = start < 0 ? -1 : ftello(file);
  return end >= start && start >= 0 ? static_cast<int>(end - start) : static_cast<int>(n * unitBytes);
}

}  // namespace

// ---- Line readers ----

template <typename T, typename U>
int STRG_nGetChar(FILE* file) {
  if constexpr (std::is_same_v<U, unsigned short>) {
    return UTF16Unit(file);
  } else if constexpr (sizeof(T) == sizeof(wchar_t)) {
    const wint_t c = fgetwc(file);
    return c == WEOF ? -1 : static_cast<int>(c);
  } else {
    return fgetc(file);
  }
}

template <typename T>
int STRG_nGetLine(T** line, unsigned int* bytes, FILE* file) {
  bool bNoMemory = false;
  if constexpr (sizeof(T) == 1)
    return ReadLine(line, bytes, file, STRG_nGetChar<char, char>, 1, &bNoMemory);
  else
    return ReadLine(line, bytes, file, STRG_nGetChar<wchar_t, wchar_t>, 4, &bNoMemory);
}

int STRG_nGetLineUTF16(wchar_t** line, unsigned int* bytes, FILE* file) {
  bool bNoMemory = false;
  return ReadLine(line, bytes, file, STRG_nGetChar<wchar_t, unsigned short>, 2, &bNoMemory);
}

template __attribute__((visibility("default"))) int STRG_nGetChar<wchar_t, unsigned short>(FILE*);
template __attribute__((visibility("default"))) int STRG_nGetChar<wchar_t, wchar_t>(FILE*);
template __attribute__((visibility("default"))) int STRG_nGetChar<char, char>(FILE*);
template __attribute__((visibility("default"))) int STRG_nGetLine<wchar_t>(wchar_t**, unsigned int*, FILE*);
template __attribute__((visibility("default"))) int STRG_nGetLine<char>(char**, unsigned int*, FILE*);

namespace {

bool bIsBreak(wchar_t c) { return c == L'\r' || c == L'\n'; }
bool bHasBreak(const wchar_t* s) { return s != nullptr && wcspbrk(s, L"\r\n") != nullptr; }

// One open profile file read line by line as wide text, with each line's byte offset.
class CIniFile {
 public:
  explicit CIniFile(FILE* file) : m_file(file), m_bWide(bFichierUnicode(file) != FALSE) {}
  CIniFile(const CIniFile&) = delete;
  CIniFile& operator=(const CIniFile&) = delete;
  ~CIniFile() {
    free(m_pWide);
    free(m_pNarrow);
    fclose(m_file);
  }
  // The next line (LF kept, surrogate pairs joined) in m_line, its offset in m_start; false at the end.
  bool bNext() {
    m_start = ftello(m_file);
    bool bNoMemory = false;
    int n;
    if (m_bWide) {
      n = ReadLine(&m_pWide, &m_nWide, m_file, STRG_nGetChar<wchar_t, unsigned short>, 2, &bNoMemory);
      if (n > 0 && !bNoMemory) {
        std::vector<unsigned short> units(m_pWide, m_pWide + wcslen(m_pWide));
        m_line.assign(units.size(), 0);
        m_line.resize(UTF16ToWideChar(units.data(), static_cast<int>(units.size()), m_line.data(),
                                      static_cast<int>(units.size())));
      }
    } else {
      n = ReadLine(&m_pNarrow, &m_nNarrow, m_file, STRG_nGetChar<char, char>, 1, &bNoMemory);
      if (n > 0 && !bNoMemory) {
        const int len = static_cast<int>(strlen(m_pNarrow));
        m_line.assign(len, 0);
        m_line.resize(len == 0 ? 0 : MultiByteToWideChar(0, 0, m_pNarrow, len, m_line.data(), len));
      }
    }
    if (bNoMemory) m_bFailed = true;
    if (n <= 0 || bNoMemory) return false;
    m_bLastHadLF = !m_line.empty() && m_line.back() == L'\n';
    return true;
  }
  // The line as reading sees it: leading blanks removed, cut at the first CR or LF.
  std::wstring Trimmed() const {
    size_t i = 0;
    while (i < m_line.size() && iswspace(m_line[i])) ++i;
    size_t j = i;
    while (j < m_line.size() && !bIsBreak(m_line[j])) ++j;
    return m_line.substr(i, j - i);
  }
  FILE* m_file;
  bool m_bWide;
  bool m_bFailed = false;
  bool m_bLastHadLF = true;
  std::wstring m_line;
  off_t m_start = 0;

 private:
  wchar_t* m_pWide = nullptr;
  unsigned int m_nWide = 0;
  char* m_pNarrow = nullptr;
  unsigned int m_nNarrow = 0;
};

bool bStartsWithI(const std::wstring& s, const wchar_t* prefix, size_t n) {
  return s.size() >= n && wcsncasecmp(s.c_str(), prefix, n) == 0;
}
bool bIsHeader(const std::wstring& t, const wchar_t* section) {
  const size_t n = wcslen(section);
  return !t.empty() && t[0] == L'[' && t.size() > n + 1 && wcsncasecmp(t.c_str() + 1, section, n) == 0 &&
         t[n + 1] == L']';
}
bool bEndsSection(const std::wstring& t) { return !t.empty() && t[0] == L'[' && t.find(L']') != std::wstring::npos; }
// key, then "=", a blank or a TAB, then an "=" somewhere on.
bool bIsEntry(const std::wstring& t, const wchar_t* key) {
  const size_t n = wcslen(key);
  return bStartsWithI(t, key, n) && t.size() > n && (t[n] == L'=' || t[n] == L' ' || t[n] == L'\t') &&
         t.find(L'=', n) != std::wstring::npos;
}
// Appends item and CR LF while the text so far leaves room in size characters.
bool bList(std::wstring* out, const std::wstring& item, size_t size) {
  if (out->size() + 1 >= size) return false;
  *out += item;
  *out += L"\r\n";
  return true;
}

// One pass over the file; *found only for a key's value.
std::wstring ReadProfile(CIniFile& ini, const wchar_t* section, const wchar_t* key, size_t size, bool* found) {
  std::wstring out;
  *found = false;
  while (ini.bNext()) {
    const std::wstring t = ini.Trimmed();
    if (section == nullptr) {
      const size_t close = t.find(L']');
      if (!t.empty() && t[0] == L'[' && close != std::wstring::npos && !bList(&out, t.substr(1, close - 1), size))
        break;
      continue;
    }
    if (!bIsHeader(t, section)) continue;
    while (ini.bNext()) {
      const std::wstring e = ini.Trimmed();
      if (bEndsSection(e)) break;
      if (!e.empty() && e[0] == L':') continue;
      if (key == nullptr) {
        size_t eq = e.find(L'=');
        if (eq == std::wstring::npos) continue;
        while (eq > 0 && iswspace(e[eq - 1])) --eq;
        if (!bList(&out, e.substr(0, eq), size)) break;
        continue;
      }
      if (!bIsEntry(e, key)) continue;
      const size_t eq = e.find(L'=', wcslen(key));
      size_t v = eq + 1;
      while (v < e.size() && (e[v] == L' ' || e[v] == L'\t')) ++v;
      *found = true;
      return e.substr(v);
    }
    break;
  }
  return out;
}

unsigned int CopyOut(const wchar_t* text, wchar_t* buffer, unsigned int size) {
  if (buffer == nullptr || size == 0) return 0;
  return static_cast<unsigned int>(STR_nCut(buffer, static_cast<int>(size), text));
}

unsigned int GetFromPath(const wchar_t* path, const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                         wchar_t* buffer, unsigned int size) {
  if (buffer != nullptr && size > 0) buffer[0] = 0;
  FILE* file = path[0] != 0 ? CDiskFile::Unix_fopen(path, "r") : nullptr;
  if (file != nullptr) {
    bool found = false;
    std::wstring text;
    {
      CIniFile ini(file);
      text = ReadProfile(ini, section, key, size, &found);
    }
    if (!text.empty()) return CopyOut(text.c_str(), buffer, size);
    if (found) return 0;
  }
  return defaultText != nullptr ? CopyOut(defaultText, buffer, size) : 0;
}

std::string Encode(const std::wstring& text, bool bWide) {
  if (text.empty()) return {};
  if (bWide) {
    const int units = WideCharToUTF16(text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::vector<unsigned short> u(units);
    WideCharToUTF16(text.c_str(), static_cast<int>(text.size()), u.data(), units);
    std::string bytes;
    for (unsigned short x : u) {
      bytes += static_cast<char>(x & 0xFF);
      bytes += static_cast<char>(x >> 8);
    }
    return bytes;
  }
  const int n = static_cast<int>(text.size());
  std::string bytes(WideCharToMultiByte(0, 0, text.c_str(), n, nullptr, 0, nullptr, nullptr), 0);
  WideCharToMultiByte(0, 0, text.c_str(), n, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
  return bytes;
}

// The file a write replaces, with its mode. Links are followed, so that the new file takes the
// place of the file and not of a link to it.
struct STTarget {
  std::string path;
  mode_t mode = 0;
  bool bCreated = false;  // made empty by this write, and removed again when the write fails
};

bool bFollowLinks(std::string* path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (SEAM_lstat(path->c_str(), &st) != 0) return false;
    if (!S_ISLNK(st.st_mode)) return true;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = SEAM_readlink(path->c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) {
      if (n >= 0) errno = ENAMETOOLONG;
      return false;
    }
    target.resize(static_cast<size_t>(n));
    const size_t slash = path->rfind('/');
    if (target[0] != '/' && slash != std::string::npos) target.insert(0, *path, 0, slash + 1);
    *path = std::move(target);
  }
  errno = ELOOP;
  return false;
}

bool bWriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = SEAM_write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Puts text in place of the bytes [from, to). The new content goes to a temporary file beside the
// old one, which it then replaces: any failure (a full disk) leaves the old file whole.
bool bReplace(CIniFile& ini, const STTarget& target, off_t from, off_t to, const std::wstring& text) {
  FILE* f = ini.m_file;
  std::string old;
  if (fseeko(f, 0, SEEK_SET) != 0) return false;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) old.append(chunk, n);
  if (ferror(f) || from < 0 || from > to || static_cast<size_t>(to) > old.size()) return false;
  const std::string bytes = old.substr(0, static_cast<size_t>(from)) + Encode(text, ini.m_bWide) +
                            old.substr(static_cast<size_t>(to));
  const size_t slash = target.path.rfind('/');
  std::string temp = target.path.substr(0, slash == std::string::npos ? 0 : slash + 1) + ".qxprofile.XXXXXX";
  const int fd = SEAM_mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = bWriteAll(fd, bytes) && SEAM_fsync(fd) == 0 && SEAM_chmod(temp.c_str(), target.mode) == 0;
  ok = SEAM_close(fd) == 0 && ok;
  ok = ok && SEAM_rename(temp.c_str(), target.path.c_str(), 0) == 0;
  if (!ok) {
    const int e = errno;
    SEAM_unlink(temp.c_str());
    errno = e;
  }
  return ok;
}

std::wstring Entry(const wchar_t* key, const wchar_t* value) {
  return value == nullptr ? std::wstring() : std::wstring(key) + L" = " + value + L"\n";
}

// The write once the file is open; the file's text goes out through bReplace.
bool bWrite(CIniFile& ini, const STTarget& target, const wchar_t* section, const wchar_t* key, const wchar_t* value) {
  FILE* file = ini.m_file;
  bool found = false;
  while (!found && ini.bNext()) found = bIsHeader(ini.Trimmed(), section);
  if (ini.m_bFailed) return false;
  const off_t header = ini.m_start;
  if (!found) {
    if (key == nullptr) return true;
    const off_t end = ftello(file);
    const std::wstring lead = ini.m_bLastHadLF ? L"" : L"\n";
    return bReplace(ini, target, end, end, lead + L"[" + section + L"]\n" + Entry(key, value));
  }
  while (ini.bNext()) {
    const std::wstring t = ini.Trimmed();
    if (key == nullptr) {
      if (!t.empty() && t[0] == L'[') return bReplace(ini, target, header, ini.m_start, L"");
      continue;
    }
    if (bIsEntry(t, key)) return bReplace(ini, target, ini.m_start, ftello(file), Entry(key, value));
    if (bEndsSection(t) || (!ini.m_line.empty() && bIsBreak(ini.m_line[0]))) {
      return value == nullptr || bReplace(ini, target, ini.m_start, ini.m_start, Entry(key, value));
    }
  }
  if (ini.m_bFailed) return false;
  const off_t end = ftello(file);
  if (key == nullptr) return bReplace(ini, target, header, end, L"");
  if (value == nullptr) return true;
  return bReplace(ini, target, end, end, (ini.m_bLastHadLF ? L"" : L"\n") + Entry(key, value));
}

BOOL WriteToPath(const wchar_t* path, const wchar_t* section, const wchar_t* key, const wchar_t* value) {
  if (section == nullptr || bHasBreak(section) || bHasBreak(key) || bHasBreak(value) || path[0] == 0) return FALSE;
  // Opened for writing although the file is replaced: a file the user may not write stays so.
  // Created only when it does not exist: "w+" on any other failure would empty a file.
  STTarget target;
  FILE* file = CDiskFile::Unix_fopen(path, "r+");
  if (file == nullptr && errno == ENOENT) {
    file = CDiskFile::Unix_fopen(path, "w+");
    target.bCreated = true;
  }
  if (file == nullptr) return FALSE;
  const CUnixName name(path);
  if (name.bOk()) target.path = name.psz();
  const bool resolved = name.bOk() && bFollowLinks(&target.path);
  struct stat st;
  bool ok = resolved && SEAM_fstat(fileno(file), &st) == 0;
  target.mode = ok ? st.st_mode & 07777 : 0;
  {
    CIniFile ini(file);  // closes the file
    ok = ok && bWrite(ini, target, section, key, value);
  }
  if (!ok && resolved && target.bCreated) SEAM_unlink(target.path.c_str());
  return ok ? TRUE : FALSE;
}

std::wstring Widened(const char* s) {
  if (s == nullptr) return {};
  const int n = static_cast<int>(strlen(s));
  std::wstring w(n, 0);
  w.resize(n == 0 ? 0 : MultiByteToWideChar(0, 0, s, n, w.data(), n));
  return w;
}
const wchar_t* OrNull(const char* s, const std::wstring& w) { return s == nullptr ? nullptr : w.c_str(); }

}  // namespace

BOOL bFichierUnicode(FILE* file) {
  const off_t at = ftello(file);
  unsigned char mark[2];
  const bool bWide = fread(mark, 1, 2, file) == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
  clearerr(file);
  if (!(bWide && at == 0)) fseeko(file, at, SEEK_SET);
  return bWide ? TRUE : FALSE;
}

// ---- Paths ----

BOOL bGetMVXCONFPath(wchar_t* path) {
  std::wstring home;
  if (path == nullptr) return FALSE;
  path[0] = 0;
  return bHome(&home) && UNIX_bFit(home + L"/.MVX.conf", path, kPathChars) ? TRUE : FALSE;
}

BOOL __PrivateProfilePatchName(const wchar_t* name, wchar_t* path) {
  if (path == nullptr) return FALSE;
  path[0] = 0;
  if (name == nullptr) return FALSE;
  std::wstring full = name;
  if (full.find_first_of(L"/\\") == std::wstring::npos) {
    std::wstring home;
    if (!bHome(&home)) return FALSE;
    full = home + L"/" + full;
  }
  for (wchar_t& c : full)
    if (c == L'\\') c = L'/';
  return UNIX_bFit(full, path, kPathChars) ? TRUE : FALSE;
}

BOOL __PrivateProfilePatchName(const char* name, char* path) {
  if (path == nullptr) return FALSE;
  path[0] = 0;
  if (name == nullptr) return FALSE;
  wchar_t wide[kPathChars];
  if (!__PrivateProfilePatchName(UNIX_strDecode(name, strlen(name)).c_str(), wide)) return FALSE;
  const CUnixName bytes(wide);
  if (!bytes.bOk() || strlen(bytes.psz()) >= kPathChars) {
    errno = bytes.bOk() ? ENAMETOOLONG : errno;
    return FALSE;
  }
  strcpy(path, bytes.psz());
  return TRUE;
}

// ---- Reading ----

unsigned int GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                                      wchar_t* buffer, unsigned int size, const wchar_t* file) {
  wchar_t path[kPathChars];
  __PrivateProfilePatchName(file, path);
  return GetFromPath(path, section, key, defaultText, buffer, size);
}

unsigned int GetPrivateProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                                     wchar_t* buffer, unsigned int size, const wchar_t* file) {
  return GetPrivateProfileStringW(section, key, defaultText, buffer, size, file);
}

unsigned int GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                                      unsigned int size, const char* file) {
  const std::wstring s = Widened(section), k = Widened(key), d = Widened(defaultText);
  const std::wstring f = file == nullptr ? std::wstring() : UNIX_strDecode(file, strlen(file));
  std::vector<wchar_t> wide(size + 1, 0);
  const unsigned int n =
      GetPrivateProfileStringW(OrNull(section, s), OrNull(key, k), OrNull(defaultText, d), wide.data(), size,
                               OrNull(file, f));
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = 0;
  if (n == 0) return 0;
  // Code page 1252 gives one byte per character, so the narrow text fits as the wide one did.
  const int bytes = WideCharToMultiByte(0, 0, wide.data(), static_cast<int>(n), buffer, static_cast<int>(size) - 1,
                                        nullptr, nullptr);
  buffer[bytes] = 0;
  return static_cast<unsigned int>(bytes);
}

int GetPrivateProfileInt(const wchar_t* section, const wchar_t* key, int defaultValue, const wchar_t* file) {
  wchar_t text[20];
  wchar_t value[20];
  swprintf(text, 20, L"%d", defaultValue);
  GetPrivateProfileStringW(section, key, text, value, 20, file);
  return static_cast<int>(wcstol(value, nullptr, 10));
}

unsigned int GetProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                              wchar_t* buffer, unsigned int size) {
  wchar_t path[kPathChars];
  bGetMVXCONFPath(path);
  return GetFromPath(path, section, key, defaultText, buffer, size);
}

int GetProfileInt(const wchar_t* section, const wchar_t* key, int defaultValue) {
  wchar_t path[kPathChars];
  if (!bGetMVXCONFPath(path)) return defaultValue;
  return GetPrivateProfileInt(section, key, defaultValue, path);
}

// ---- Writing ----

BOOL WritePrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                                const wchar_t* file) {
  wchar_t path[kPathChars];
  if (!__PrivateProfilePatchName(file, path)) return FALSE;
  return WriteToPath(path, section, key, value);
}

BOOL WritePrivateProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                               const wchar_t* file) {
  return WritePrivateProfileStringW(section, key, value, file);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
  const std::wstring s = Widened(section), k = Widened(key), v = Widened(value);
  const std::wstring f = file == nullptr ? std::wstring() : UNIX_strDecode(file, strlen(file));
  return WritePrivateProfileStringW(OrNull(section, s), OrNull(key, k), OrNull(value, v), OrNull(file, f));
}

BOOL WriteProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
  wchar_t path[kPathChars];
  if (!bGetMVXCONFPath(path)) return FALSE;
  return WriteToPath(path, section, key, value);
}

void PROFILE_SetHomeForTests(const wchar_t* home) {
  g_bHomeForTests = home != nullptr;
  g_homeForTests = home != nullptr ? home : L"";
}

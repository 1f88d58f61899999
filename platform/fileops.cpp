// File-system operations of CDiskFile by name (declared in platform/diskfile.h), and the file
// times of the Win32-style interface.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <string>
#include <utility>

#include "common/ctstring.h"
#include "platform/diskfile.h"
#include "platform/errortable.h"
#include "platform/syscall_seam.h"
#include "platform/unixname.h"
#include "platform/xerror.h"

extern char** environ;

BOOL CDiskFile::_bOnError(BOOL ok, CXError* err, const wchar_t* name, unsigned int id, ...) {
  if (err == nullptr) return ok;
  const int saved = errno;
  err->RAZ();
  if (!ok) {
    err->SetErrorLevel(ERRORLEVEL_ERROR);
    errno = saved;
    err->SetSystemErrorParam(static_cast<unsigned int>(saved));
    err->InitModInfo(&gstMyModuleInfo32, TRUE);
    va_list ap;
    va_start(ap, id);
    err->AddUserMessageList(&gstMyModuleInfo32, id, ap);
    va_end(ap);
    err->AddInfo(EIT_SRCFILE, name);
  }
  errno = saved;
  return ok;
}

namespace {

// Resource ids of the failures.
enum : unsigned int {
  kResDelete = 28123,
  kResRename = 28124,
  kResCreateDirectory = 28126,
  kResDeleteDirectory = 28127,
  kResStatus = 28128,
  kResLocalTime = 28129,
  kResAttributes = 28130,
  kResFullPath = 28131,
  kResTempDirectory = 28133,
  kResTempName = 28134,
  kResDiskSpace = 28138,
  kResCurrentDirectory = 28307,
  kResOwner = 25852,
};

constexpr auto OnError = &CDiskFile::_bOnError;

const wchar_t* Text(const wchar_t* s) { return s != nullptr ? s : L""; }

// The system call on the UTF-8 form of name; failure (errno set) when the name has none.
template <typename R, typename F>
R WithName(const wchar_t* name, R failure, F call) {
  const CUnixName u(name);
  return u.bOk() ? call(u.psz()) : failure;
}

bool bStoreErrno(int result, unsigned int* pErrno) {
  if (pErrno != nullptr) *pErrno = result == 0 ? 0 : static_cast<unsigned int>(errno);
  return result == 0;
}

// Whole seconds of a file time, rounded down (also before 1970).
time_t UnixSeconds(const _FILETIME* ft) {
  const long long v =
      static_cast<long long>((static_cast<unsigned long long>(ft->dwHighDateTime) << 32) | ft->dwLowDateTime) -
      static_cast<long long>(kFileTimeUnixEpoch);
  const long long s = static_cast<long long>(kFileTimePerSecond);
  return static_cast<time_t>(v >= 0 ? v / s : -((-v + s - 1) / s));
}

BOOL Renamed(const wchar_t* newName, const wchar_t* oldName, unsigned int flags, CXError* err) {
  const CUnixName from(oldName), to(newName);
  bool ok = from.bOk() && to.bOk();
  if (ok) {
    ok = SEAM_rename(from.psz(), to.psz(), flags) == 0;
    // A file system without the no-replace form: the test and the rename are two steps there.
    if (!ok && flags != 0 && (errno == EINVAL || errno == ENOSYS)) {
      if (SEAM_access(to.psz(), F_OK) == 0)
        errno = EEXIST;
      else
        ok = SEAM_rename(from.psz(), to.psz(), 0) == 0;
    }
  }
  const BOOL result = OnError(ok ? TRUE : FALSE, err, oldName, kResRename, Text(newName), Text(oldName));
  if (!ok && err != nullptr) err->AddInfo(EIT_DSTFILE, newName);
  return result;
}

}  // namespace

// ---- System-call wrappers ----

int CDiskFile::Unix_system(const wchar_t* command) {
  if (command == nullptr) return SEAM_access("/bin/sh", X_OK) == 0 ? 1 : 0;
  const CUnixName text(command, true);
  if (!text.bOk()) return -1;
  char sh[] = "sh", c[] = "-c";
  char* argv[] = {sh, c, const_cast<char*>(text.psz()), nullptr};
  pid_t pid;
  const int e = SEAM_spawn(&pid, "/bin/sh", argv, environ);
  if (e != 0) {
    errno = e;
    return -1;
  }
  int status = 0;
  while (SEAM_waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return status;
}

int CDiskFile::Unix_chdir(const wchar_t* path) { return WithName(path, -1, SEAM_chdir); }
DIR* CDiskFile::__Unix_opendir(const wchar_t* path) { return WithName(path, static_cast<DIR*>(nullptr), SEAM_opendir); }

int CDiskFile::__Unix_statfs(const wchar_t* path, struct statfs* st) {
  return WithName(path, -1, [st](const char* p) { return SEAM_statfs(p, st); });
}

int CDiskFile::Unix_access(const wchar_t* path, int mode, unsigned int* pErrno) {
  const int r = WithName(path, -1, [mode](const char* p) { return SEAM_access(p, mode); });
  bStoreErrno(r, pErrno);
  return r;
}

int CDiskFile::__Unix_chown(const wchar_t* path, unsigned int uid, unsigned int gid) {
  return WithName(path, -1, [uid, gid](const char* p) { return SEAM_chown(p, uid, gid); });
}

int CDiskFile::Unix_chmod(const wchar_t* path, unsigned int mode) {
  return WithName(path, -1, [mode](const char* p) { return SEAM_chmod(p, mode); });
}

int CDiskFile::Unix_lstat(const wchar_t* path, struct stat* st) {
  return WithName(path, -1, [st](const char* p) { return SEAM_lstat(p, st); });
}

int CDiskFile::Unix_utime(const wchar_t* path, const utimbuf* times) {
  return WithName(path, -1, [times](const char* p) { return SEAM_utime(p, times); });
}

int CDiskFile::Unix_stat(const wchar_t* path, struct stat* st, unsigned int* pErrno) {
  const int r = WithName(path, -1, [st](const char* p) { return SEAM_stat(p, st); });
  bStoreErrno(r, pErrno);
  return r;
}

int CDiskFile::__Unix_rename(const wchar_t* from, const wchar_t* to) {
  const CUnixName f(from), t(to);
  return f.bOk() && t.bOk() ? SEAM_rename(f.psz(), t.psz(), 0) : -1;
}

int CDiskFile::Unix_mkfifo(const wchar_t* path, unsigned int mode) {
  return WithName(path, -1, [mode](const char* p) { return SEAM_mkfifo(p, mode); });
}

int CDiskFile::Unix_unlink(const wchar_t* path) { return WithName(path, -1, SEAM_unlink); }
int CDiskFile::__Unix_rmdir(const wchar_t* path) { return WithName(path, -1, SEAM_rmdir); }

int CDiskFile::Unix_ropen(const wchar_t* path, int flags, unsigned int mode) {
  return WithName(path, -1, [flags, mode](const char* p) { return SEAM_open(p, flags, mode); });
}

int CDiskFile::Unix_open(const wchar_t* path, int flags, unsigned int mode) { return Unix_ropen(path, flags, mode); }
int CDiskFile::Unix_open(const wchar_t* path, int flags) { return Unix_ropen(path, flags, 0); }

FILE* CDiskFile::Unix_fopen(const wchar_t* path, const char* mode) {
  return WithName(path, static_cast<FILE*>(nullptr), [mode](const char* p) { return SEAM_fopen(p, mode); });
}

int CDiskFile::__Unix_mkdir(const wchar_t* path, unsigned int mode) {
  return WithName(path, -1, [mode](const char* p) { return SEAM_mkdir(p, mode); });
}

BOOL CDiskFile::Unix_getcwd(wchar_t* out, unsigned int size) {
  std::wstring cwd;
  if (out == nullptr || !UNIX_bCurrentDirectory(&cwd)) return FALSE;
  if (UNIX_bFit(cwd, out, size)) return TRUE;
  errno = ERANGE;
  return FALSE;
}

int CDiskFile::Unix_gethomedir(wchar_t* out, unsigned int size) {
  std::wstring home;
  if (out == nullptr || size == 0) return 0;
  if (!UNIX_bHomeDirectory(&home)) home = L".";
  if (!UNIX_bFit(home, out, size)) return 0;
  return home == L"." ? 0 : static_cast<int>(home.size());
}

// ---- File times ----

BOOL GetFileTime(int fd, _FILETIME* creation, _FILETIME* access, _FILETIME* write) {
  struct stat st;
  if (SEAM_fstat(fd, &st) != 0) return FALSE;
  const std::pair<_FILETIME*, time_t> times[] = {{creation, st.st_ctime}, {access, st.st_atime}, {write, st.st_mtime}};
  for (const auto& [ft, t] : times)
    if (ft != nullptr && !TimeToFileTime(t, ft)) return FALSE;
  return TRUE;
}

BOOL SetFileTime(const wchar_t* path, const _FILETIME*, const _FILETIME* access, const _FILETIME* write) {
  if (access == nullptr && write == nullptr) return TRUE;
  struct stat st;
  // The stat that follows a link, like utime: the kept time is the file's own.
  if ((access == nullptr || write == nullptr) && CDiskFile::Unix_stat(path, &st, nullptr) != 0) return FALSE;
  utimbuf times;
  times.actime = access != nullptr ? UnixSeconds(access) : st.st_atime;
  times.modtime = write != nullptr ? UnixSeconds(write) : st.st_mtime;
  return CDiskFile::Unix_utime(path, &times) == 0 ? TRUE : FALSE;
}

// ---- Operations by name ----

BOOL CDiskFile::bExist(const wchar_t* name, unsigned int& nErrno, CXError*) {
  return Unix_access(name, F_OK, &nErrno) == 0 ? TRUE : FALSE;
}

BOOL CDiskFile::bExist(const wchar_t* name, CXError* err) {
  unsigned int e;
  return bExist(name, e, err);
}

BOOL CDiskFile::bIsADirectory(const wchar_t* name, CXError*) {
  struct stat st;
  return Unix_stat(name, &st, nullptr) == 0 && S_ISDIR(st.st_mode) ? TRUE : FALSE;
}

BOOL CDiskFile::bIsAFile(const wchar_t* name, CXError*) {
  struct stat st;
  return Unix_stat(name, &st, nullptr) == 0 && S_ISREG(st.st_mode) ? TRUE : FALSE;
}

BOOL CDiskFile::bGetFileStatus(const wchar_t* name, struct stat* st, CXError* err) {
  return OnError(Unix_stat(name, st, nullptr) == 0, err, name, kResStatus, Text(name));
}

long long CDiskFile::s_oGetSize(const wchar_t* name, CXError* err) {
  struct stat st;
  if (!bGetFileStatus(name, &st, err)) return -1;
  if (S_ISREG(st.st_mode)) return st.st_size;
  errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  OnError(FALSE, err, name, kResStatus, Text(name));
  return -1;
}

BOOL CDiskFile::bGetLastModificationTime(const wchar_t* name, _stXFILETIME* t, CXError* err) {
  struct stat st;
  if (!bGetFileStatus(name, &st, err)) return FALSE;
  if (st.st_mtime < 0) {
    errno = EOVERFLOW;
    return OnError(FALSE, err, name, kResStatus, Text(name));
  }
  tm local;
  tzset();
  if (localtime_r(&st.st_mtime, &local) == nullptr) return OnError(FALSE, err, name, kResLocalTime, Text(name));
  *t = _stXFILETIME{static_cast<WORD>(local.tm_year + 1900),
                    static_cast<WORD>(local.tm_mon + 1),
                    static_cast<WORD>(local.tm_mday),
                    static_cast<WORD>(local.tm_hour),
                    static_cast<WORD>(local.tm_min),
                    static_cast<WORD>(local.tm_sec),
                    0};
  return TRUE;
}

BOOL CDiskFile::__bGetFileAttributesAndSize(int& attributes, long long* size, _FILETIME* modified, const wchar_t* name,
                                            unsigned int& nErrno, CXError* err) {
  struct stat st;
  if (Unix_stat(name, &st, &nErrno) != 0) return OnError(FALSE, err, name, kResAttributes, attributes, Text(name));
  const wchar_t* last = pszGetPtrToFileName(name);
  attributes = static_cast<int>((st.st_mode & 0xE1FF) | (last != nullptr && last[0] == L'.' ? 0x80000000u : 0));
  if (size != nullptr) *size = st.st_size;
  if (modified != nullptr) TimeToFileTime(st.st_mtime, modified);
  return OnError(TRUE, err, name, 0);
}

BOOL CDiskFile::bGetFileAttributes(const wchar_t* name, int& attributes, unsigned int& nErrno, CXError* err) {
  return __bGetFileAttributesAndSize(attributes, nullptr, nullptr, name, nErrno, err);
}

BOOL CDiskFile::bGetFileAttributes(int* attributes, const wchar_t* name, CXError* err) {
  unsigned int e;
  return bGetFileAttributes(name, *attributes, e, err);
}

BOOL CDiskFile::bSetFileAttributesUnix(const wchar_t* name, unsigned int mode, CXError* err) {
  return OnError(Unix_chmod(name, mode) == 0, err, name, kResAttributes, mode, Text(name));
}

BOOL CDiskFile::bSetFileOwnerUnix(const wchar_t* name, unsigned int uid, unsigned int gid, CXError* err) {
  return OnError(__Unix_chown(name, uid, gid) == 0, err, name, kResOwner, uid, gid, Text(name));
}

BOOL CDiskFile::bSetFileOwnerAttributes(const wchar_t* name, unsigned int mode, unsigned int uid, unsigned int gid,
                                        CXError* err) {
  return bSetFileOwnerUnix(name, uid, gid, err) && bSetFileAttributesUnix(name, mode, err);
}

BOOL CDiskFile::bSetFileAttributes(const wchar_t* name, int attributes, CXError* err) {
  const bool readOnly = (static_cast<unsigned int>(attributes) & ~1u) == 0xFFFFFFFEu;
  return bSetFileAttributesUnix(name, readOnly ? 0444 : 0666, err);
}

BOOL CDiskFile::bGetFullPath(wchar_t* out, unsigned int size, const wchar_t* name, unsigned int* pLength,
                             CXError* err) {
  const unsigned int n = GetFullPathName(name, size, out, nullptr);
  const bool fits = n != 0 && n < size;
  if (pLength != nullptr) *pLength = fits ? n + 1 : n;
  if (n != 0 && !fits) errno = ENAMETOOLONG;
  return OnError(fits, err, name, kResFullPath, Text(name));
}

BOOL CDiskFile::bCreateDirectory(const wchar_t* name, CXError* err) {
  std::wstring d = name != nullptr ? name : L"";
  for (wchar_t& c : d)
    if (c == L'\\') c = L'/';
  while (d.size() > 1 && d.back() == L'/') d.pop_back();
  if (d.empty()) errno = ENOENT;
  if (d.size() > kMaxPath) errno = ENAMETOOLONG;
  if (d.empty() || d.size() > kMaxPath) return OnError(FALSE, err, name, kResCreateDirectory, Text(name));
  for (size_t i = d.find(L'/', 1); i != std::wstring::npos; i = d.find(L'/', i + 1)) {
    const std::wstring parent = d.substr(0, i);
    if (!bExist(parent.c_str()) && __Unix_mkdir(parent.c_str(), 0777) != 0 && errno != EEXIST)
      return OnError(FALSE, err, parent.c_str(), kResCreateDirectory, parent.c_str());
  }
  const bool ok = __Unix_mkdir(d.c_str(), 0777) == 0 || (errno == EEXIST && bIsADirectory(d.c_str()));
  return OnError(ok, err, name, kResCreateDirectory, Text(name));
}

BOOL CDiskFile::bDeleteDirectory(const wchar_t* name, CXError* err) {
  return OnError(__Unix_rmdir(name) == 0, err, name, kResDeleteDirectory, Text(name));
}

BOOL CDiskFile::bDelete(const wchar_t* name, CXError* err) {
  return OnError(Unix_unlink(name) == 0, err, name, kResDelete, Text(name));
}

BOOL CDiskFile::bForceDelete(const wchar_t* name, CXError*) { return Unix_unlink(name) == 0 ? TRUE : FALSE; }

BOOL CDiskFile::bRename(const wchar_t* newName, const wchar_t* oldName, CXError* err) {
  return Renamed(newName, oldName, RENAME_NOREPLACE, err);
}

BOOL CDiskFile::bMove(const wchar_t* newName, const wchar_t* oldName, CXError* err) {
  if (bSameFileName(newName, oldName)) return OnError(TRUE, err, oldName, 0);
  return Renamed(newName, oldName, 0, err);
}

BOOL CDiskFile::bGetTempDirectory(wchar_t* out, CXError* err) {
  const char* tmp = getenv("TMPDIR");
  if (tmp == nullptr || tmp[0] == 0) tmp = P_tmpdir;
  std::wstring dir = UNIX_strDecode(tmp, strlen(tmp));
  if (dir.back() != L'/') dir += L'/';
  return OnError(out != nullptr && UNIX_bFit(dir, out, kMaxPath + 1), err, nullptr, kResTempDirectory);
}

BOOL CDiskFile::bGetTempName(wchar_t* out, const wchar_t* directory, const wchar_t* prefix, CXError* err) {
  std::wstring path = directory != nullptr ? directory : L"";
  for (wchar_t& c : path)
    if (c == L'\\') c = L'/';
  if (!path.empty() && path.back() != L'/') path += L'/';
  path += std::wstring(Text(prefix)) + L"XXXXXX";
  bool ok = false;
  const CUnixName u(path.c_str());
  if (path.size() > kMaxPath || out == nullptr) {
    errno = ENAMETOOLONG;
  } else if (u.bOk()) {
    std::string templ = u.psz();
    const int fd = SEAM_mkstemp(templ.data());
    if (fd >= 0) {
      SEAM_close(fd);
      ok = UNIX_bFit(UNIX_strDecode(templ.data(), templ.size()), out, kMaxPath + 1);
    }
  }
  return OnError(ok, err, directory, kResTempName, Text(directory), Text(prefix));
}

BOOL CDiskFile::bGetTempName(wchar_t* out, const wchar_t* prefix, CXError* err) {
  wchar_t dir[kMaxPath + 1];
  if (!bGetTempDirectory(dir, err)) return FALSE;
  if (!bExist(dir) && !bCreateDirectory(dir, err)) return FALSE;
  return bGetTempName(out, dir, prefix, err);
}

BOOL CDiskFile::bGetCurrentDirectory(wchar_t* out, CXError* err) {
  return OnError(Unix_getcwd(out, kMaxPath + 1), err, nullptr, kResCurrentDirectory);
}

void CDiskFile::GetHomeDir(CTString* out) {
  std::wstring home;
  if (out != nullptr) out->Set(UNIX_bHomeDirectory(&home) ? home.c_str() : L".");
}

BOOL CDiskFile::bGetDiskSpace(const wchar_t* path, unsigned long long* total, unsigned long long* free, CXError* err) {
  struct statfs st;
  const bool ok = __Unix_statfs(path != nullptr ? path : L".", &st) == 0;
  if (ok && total != nullptr) *total = static_cast<unsigned long long>(st.f_bsize) * st.f_blocks;
  if (ok && free != nullptr) *free = static_cast<unsigned long long>(st.f_bsize) * st.f_bavail;
  return OnError(ok, err, path, kResDiskSpace, Text(path));
}

BOOL CDiskFile::bGetDiskFreeSpace(const wchar_t* path, unsigned long long* free, CXError* err) {
  return bGetDiskSpace(path, nullptr, free, err);
}

BOOL CDiskFile::bFileTimeToSystemTime(const _FILETIME* ft, _stXFILETIME* t) {
  _SYSTEMTIME utc, local;
  if (ft == nullptr || t == nullptr || !FileTimeToSystemTime(ft, &utc) || !bUTCVersLocal(&utc, &local)) return FALSE;
  *t = _stXFILETIME{local.wYear,   local.wMonth,  local.wDay,         local.wHour,
                    local.wMinute, local.wSecond, local.wMilliseconds};
  return TRUE;
}

BOOL CDiskFile::bSystemTimeToFileTime(const _stXFILETIME* t, _FILETIME* ft) {
  if (t == nullptr || ft == nullptr) return FALSE;
  const _SYSTEMTIME local{t->wYear, t->wMonth, 0, t->wDay, t->wHour, t->wMinute, t->wSecond, t->wMilliseconds};
  _SYSTEMTIME utc;
  return bLocalVersUTC(&local, &utc) && SystemTimeToFileTime(&utc, ft);
}

int CDiskFile::nCompareSystemTime(const _stXFILETIME* a, const _stXFILETIME* b) {
  const WORD fa[] = {a->wYear, a->wMonth, a->wDay, a->wHour, a->wMinute, a->wSecond, a->wMilliseconds};
  const WORD fb[] = {b->wYear, b->wMonth, b->wDay, b->wHour, b->wMinute, b->wSecond, b->wMilliseconds};
  for (int i = 0; i < 7; ++i)
    if (fa[i] != fb[i]) return fb[i] - fa[i];
  return 0;
}

BOOL CDiskFile::bSystemTimeToDosFileTime(const _stXFILETIME* t, unsigned int* dos) {
  // The date keeps years 1980 to 2107 in its 7 bits.
  if (t == nullptr || dos == nullptr || t->wYear < 1980 || t->wYear > 2107) {
    errno = EINVAL;
    return FALSE;
  }
  const unsigned int date = (t->wYear - 1980u) << 9 | (t->wMonth & 0xFu) << 5 | (t->wDay & 0x1Fu);
  const unsigned int time = (t->wHour & 0x1Fu) << 11 | (t->wMinute & 0x3Fu) << 5 | (t->wSecond / 2u & 0x1Fu);
  *dos = date << 16 | time;
  return TRUE;
}

BOOL CDiskFile::bDosFileTimeToSystemTime(unsigned int dos, _stXFILETIME* t) {
  if (t == nullptr) return FALSE;
  const unsigned int date = dos >> 16, time = dos & 0xFFFF;
  *t = _stXFILETIME{static_cast<WORD>(1980 + (date >> 9)),
                    static_cast<WORD>(date >> 5 & 0xF),
                    static_cast<WORD>(date & 0x1F),
                    static_cast<WORD>(time >> 11),
                    static_cast<WORD>(time >> 5 & 0x3F),
                    static_cast<WORD>(2 * (time & 0x1F)),
                    0};
  return TRUE;
}

// The disk-file stream of CDiskFile (declared in platform/diskfile.h).
#include "platform/diskfile.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <string_view>

#include "common/ctstring.h"
#include "common/str_buffer.h"
#include "platform/errortable.h"
#include "platform/syscall_seam.h"
#include "platform/unixname.h"
#include "platform/xerror.h"

namespace {

// Resource ids of the stream's failures; the error name is the first insert of each.
enum eRes : unsigned int {
  kResFlush = 28001,
  kResOpenOrCreate = 28002,
  kResRead = 28003,
  kResSetSize = 28004,
  kResSeek = 28005,
  kResWrite = 28008,
  kResOpen = 28139,
  kResCreate = 28140,
  kResLock = 28145,
  kResUnlock = 28146,
};

// Most bytes one read(2) or write(2) moves.
constexpr size_t kMaxTransfer = 0x7ffff000;
constexpr unsigned int kLineBufferChars = 65536;

int AccessFlags(IXStream::eACCESS access) {
  switch (access) {
    case IXStream::ACCESS_READ:
      return O_RDONLY;
    case IXStream::ACCESS_WRITE:
      return O_WRONLY;
    case IXStream::ACCESS_READWRITE:
      return O_RDWR;
    default:
      return O_RDONLY;  // no access bits
  }
}

// Other create values are system flags as they are.
int CreateFlags(IXStream::eCREATE create) {
  switch (create) {
    case IXStream::CREATE_OPEN:
      return 0;
    case IXStream::CREATE_OPEN_ALWAYS:
      return O_CREAT;
    case IXStream::CREATE_ALWAYS:
      return O_CREAT | O_TRUNC;
    default:
      return create;
  }
}

int Whence(IXStream::eSEEK from) {
  switch (from) {
    case IXStream::SEEK_FROM_START:
      return SEEK_SET;
    case IXStream::SEEK_FROM_CURRENT:
      return SEEK_CUR;
    case IXStream::SEEK_FROM_END:
      return SEEK_END;
    default:
      return -1;
  }
}

bool bIsConflict(int e) { return e == EAGAIN || e == EACCES || e == EDEADLK; }

}  // namespace

CDiskFile::CDiskFile() {
  m_pclError = new CXError(&gstMyModuleInfo32);
  m_pclError->AddRef();
}

CDiskFile::~CDiskFile() {
  if (m_nFd != -1) Close();
  std::free(m_pLineBuffer);
  std::free(m_pszErrorName);
}

void CDiskFile::_ClearError() const { m_pclError->SetErrorLevel(ERRORLEVEL_NONE); }

void CDiskFile::_Raise(unsigned int id, const wchar_t* name, const wchar_t* debug, unsigned int a,
                       unsigned int b) const {
  const int saved = errno;
  CXError* e = m_pclError;
  e->SetErrorLevel(ERRORLEVEL_ERROR);
  e->InitModInfo(&gstMyModuleInfo32, TRUE);
  errno = saved;
  e->SetSystemErrorParam(static_cast<unsigned int>(saved));
  e->AddDebugMessagePrintf(L"##(IXStream)-Handle=<%p>##", reinterpret_cast<void*>(static_cast<intptr_t>(m_nFd)));
  if (debug != nullptr) e->AddDebugMessageNoFormat(debug);
  if (name == nullptr) name = _pszErrorName();
  if (id != 0) e->AddUserMessageFirst(&gstMyModuleInfo32, id, name, a, b);
  e->AddInfo(EIT_SRCFILE, name);
  errno = saved;
}

// ---- Open and close ----

bool CDiskFile::_bOpenDescriptor(const char* path, int flags, int mode, eSHARE share, bool bTruncate) {
  m_nOpenFlags = flags;
  m_nFd = SEAM_open(path, flags, static_cast<mode_t>(mode));
  if (m_nFd < 0) {
    m_nFd = -1;
    return false;
  }
  bool ok = true;
  if (share == SHARE_SHARED || share == SHARE_EXCLUSIVE) {
    ok = _bFileLock(F_OFD_SETLK, share == SHARE_SHARED ? F_RDLCK : F_WRLCK, 0, 0);
    if (!ok && bIsConflict(errno)) errno = static_cast<int>(kLockConflictErrno);
  } else if (share != SHARE_NOLOCK) {
    errno = EINVAL;
    ok = false;
  }
  // Emptied only under the lock: another holder's file stays intact. A descriptor without write
  // access truncates through a second, write-only description of the same file.
  if (ok && bTruncate) {
    if ((flags & O_ACCMODE) != O_RDONLY) {
      ok = SEAM_ftruncate(m_nFd, 0) == 0;
    } else {
      const std::string self = "/proc/self/fd/" + std::to_string(m_nFd);
      const int w = SEAM_open(self.c_str(), O_WRONLY | O_TRUNC, 0);
      ok = w >= 0;
      if (ok) SEAM_close(w);
    }
  }
  if (!ok) {
    const int e = errno;
    SEAM_close(m_nFd);
    m_nFd = -1;
    errno = e;
  }
  return ok;
}

BOOL CDiskFile::bOpen(const wchar_t* name, eACCESS access, eSHARE share, eCREATE create, eFLAG flags, int* pbCreated) {
  if (m_nFd != -1) Close();  // an open descriptor would leak, and its lock with it
  _ClearError();
  if (pbCreated != nullptr) *pbCreated = 0;
  const unsigned int id = create == CREATE_OPEN          ? unsigned{kResOpen}
                          : create == CREATE_OPEN_ALWAYS ? unsigned{kResOpenOrCreate}
                          : create == CREATE_ALWAYS      ? unsigned{kResCreate}
                                                         : 0u;
  if (name != m_szFullName) {
    const unsigned int n = GetFullPathName(name, kMaxPath + 1, m_szFullName, nullptr);
    if (n == 0 || n > kMaxPath) {
      if (n != 0) errno = ENAMETOOLONG;
      m_szFullName[0] = 0;
      _Raise(id, name != nullptr ? name : L"");
      return FALSE;
    }
  }
  const CUnixName path(m_szFullName);
  bool created = false, ok = path.bOk();
  if (ok && flags == FLAG_DIRECTORY && bIsADirectory(m_szFullName)) {
    ok = _bOpenDescriptor(path.psz(), O_DIRECTORY | O_RDONLY, 0, SHARE_NOLOCK, false);
  } else if (ok) {
    const int base = O_NONBLOCK | AccessFlags(access), more = CreateFlags(create);
    const bool truncate = (more & O_TRUNC) != 0;
    if (create == CREATE_OPEN_ALWAYS) {
      // Created only by this call (O_EXCL): a file another process makes meanwhile is opened.
      ok = _bOpenDescriptor(path.psz(), base, 0666, share, false);
      if (!ok && errno == ENOENT) {
        created = ok = _bOpenDescriptor(path.psz(), base | O_CREAT | O_EXCL, 0666, share, false);
        if (!ok && errno == EEXIST) ok = _bOpenDescriptor(path.psz(), base, 0666, share, false);
      }
    } else {
      ok = _bOpenDescriptor(path.psz(), base | (more & ~O_TRUNC), 0666, share, truncate);
    }
  }
  if (!ok) {
    _Raise(id);
    m_nOpenFlags = -1;
    return FALSE;
  }
  m_oOffset = 0;
  if (pbCreated != nullptr && (created || create == CREATE_ALWAYS)) *pbCreated = 1;
  if (create == CREATE_OPEN_ALWAYS && !created) errno = EEXIST;
  return TRUE;
}

void CDiskFile::Close() {
  if (m_nFd == -1) return;
  // close(2) releases the number even when it fails: keeping it would hand this object's writes
  // to whatever the number is given to next.
  if (SEAM_close(m_nFd) != 0) _Raise(kResWrite, nullptr, L"##(IXStream)-Close##");
  m_nFd = -1;
  m_oOffset = 0;
  m_nOpenFlags = -1;
  vbSetNameForError(nullptr);
}

BOOL CDiskFile::bReopen(eACCESS access, eSHARE share, eCREATE create, eFLAG flags) {
  Close();
  return bOpen(m_szFullName, access, share, create, flags, nullptr);
}

// ---- Transfers ----

BOOL CDiskFile::bRead(void* buffer, unsigned int size, unsigned int* pnRead) {
  _ClearError();
  if (pnRead != nullptr) *pnRead = 0;
  size_t total = 0;
  ssize_t n = 0;
  while (total < size) {
    n = SEAM_read(m_nFd, static_cast<char*>(buffer) + total, std::min<size_t>(size - total, kMaxTransfer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  m_oOffset += static_cast<long long>(total);
  if (pnRead != nullptr) *pnRead = static_cast<unsigned int>(total);
  if (n < 0 || (pnRead == nullptr && total < size)) {
    const int e = n < 0 ? errno : 0;  // a short exact read has no system error
    CTString debug;
    debug.printf(L"##(IXStream)-bExact=<%d>##\r\n##(IXStream)-A lire=<%u>, lu=<%u>##", pnRead == nullptr ? 1 : 0, size,
                 static_cast<unsigned int>(total));
    errno = e;
    _Raise(kResRead, nullptr, debug.pszGet());
    return FALSE;
  }
  return TRUE;
}

BOOL CDiskFile::bWrite(const void* data, unsigned int size, unsigned int* pnWritten) {
  _ClearError();
  if (pnWritten != nullptr) *pnWritten = 0;
  size_t total = 0;
  while (total < size) {
    const ssize_t n =
        SEAM_write(m_nFd, static_cast<const char*>(data) + total, std::min<size_t>(size - total, kMaxTransfer));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  m_oOffset += static_cast<long long>(total);
  if (pnWritten != nullptr) *pnWritten = static_cast<unsigned int>(total);
  if (total == size) return TRUE;
  const int e = errno;
  CTString debug;
  debug.printf(L"##(IXStream)-Access=<%x>##", static_cast<unsigned int>(m_nOpenFlags));
  errno = e;
  _Raise(kResWrite, nullptr, debug.pszGet());
  return FALSE;
}

BOOL CDiskFile::bSeek(long long offset, eSEEK from) {
  _ClearError();
  const int whence = Whence(from);
  const off_t r = whence >= 0 ? SEAM_lseek(m_nFd, offset, whence) : (errno = EINVAL, -1);
  if (r < 0) {
    _Raise(kResSeek);
    return FALSE;
  }
  m_oOffset = r;
  return TRUE;
}

long long CDiskFile::oGetSizeFast() { return bSeek(0, SEEK_FROM_END) ? m_oOffset : -1; }

long long CDiskFile::oGetSize() {
  const long long at = m_oOffset;
  if (!bSeek(0, SEEK_FROM_END)) return -1;
  const long long size = m_oOffset;
  return bSeek(at, SEEK_FROM_START) ? size : -1;
}

BOOL CDiskFile::bFlush() {
  _ClearError();
  if (SEAM_fsync(m_nFd) == 0) return TRUE;
  _Raise(kResFlush);
  return FALSE;
}

BOOL CDiskFile::bSetSize(long long size, eGROW grow) {
  _ClearError();
  if (grow != GROW_SET && grow != GROW_ADD) {
    errno = EINVAL;
    _Raise(kResSetSize);
    return FALSE;
  }
  if (!bSeek(size, grow == GROW_SET ? SEEK_FROM_START : SEEK_FROM_END)) return FALSE;
  if (SEAM_ftruncate(m_nFd, m_oOffset) == 0) return TRUE;
  _Raise(kResSetSize);
  return FALSE;
}

BOOL CDiskFile::bIncreaseSize(long long delta) {
  _ClearError();
  if (delta == 0) return TRUE;
  if (delta < 0) {
    errno = EINVAL;
    _Raise(kResSetSize);
    return FALSE;
  }
  const char zero = 0;
  return bSeek(delta - 1, SEEK_FROM_END) && bWrite(&zero, 1, nullptr);
}

BOOL CDiskFile::bExtendFile(long long size) {
  _ClearError();
  if (size <= 0) {
    errno = EINVAL;
    _Raise(kResSetSize);
    return FALSE;
  }
  const long long current = oGetSize();
  if (current < 0) return FALSE;
  if (current >= size) return TRUE;
  const char zero = 0;
  return bSetSize(size, GROW_SET) && bWrite(size - 1, &zero, 1, nullptr);
}

BOOL CDiskFile::bExtract(IXStream* target, long long size) {
  _ClearError();
  return IXStream::bExtract(target, size);
}

// ---- Locks ----

BOOL CDiskFile::_bFileLock(int command, short type, unsigned long long offset, unsigned long long length) const {
  if (offset > static_cast<unsigned long long>(INT64_MAX) || length > static_cast<unsigned long long>(INT64_MAX)) {
    errno = EINVAL;
    return FALSE;
  }
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  int r;
  while ((r = SEAM_fcntl_lock(m_nFd, command, &lock)) != 0 && errno == EINTR && command == F_OFD_SETLKW) {
  }
  return r == 0 ? TRUE : FALSE;
}

BOOL CDiskFile::bLock(unsigned long long offset, unsigned long long length) const {
  const short type = (m_nOpenFlags & O_ACCMODE) != O_RDONLY ? F_WRLCK : F_RDLCK;
  if (_bFileLock(F_OFD_SETLK, type, offset, length)) return TRUE;
  if (bIsConflict(errno)) errno = static_cast<int>(kLockConflictErrno);
  return FALSE;
}

BOOL CDiskFile::bLockShare(unsigned long long offset, unsigned long long length) const {
  if (_bFileLock(F_OFD_SETLK, F_RDLCK, offset, length)) return TRUE;
  if (bIsConflict(errno)) errno = static_cast<int>(kLockConflictErrno);
  return FALSE;
}

BOOL CDiskFile::bUnlock(unsigned long long offset, unsigned long long length) const {
  return _bFileLock(F_OFD_SETLK, F_UNLCK, offset, length);
}

BOOL CDiskFile::bLockFile(unsigned long long offset, unsigned long long length) const {
  _ClearError();
  if (bLock(offset, length)) return TRUE;
  _Raise(kResLock, nullptr, nullptr, static_cast<unsigned int>(offset), static_cast<unsigned int>(length));
  return FALSE;
}

BOOL CDiskFile::bUnlockFile(unsigned long long offset, unsigned long long length) const {
  _ClearError();
  if (bUnlock(offset, length)) return TRUE;
  _Raise(kResUnlock, nullptr, nullptr, static_cast<unsigned int>(offset), static_cast<unsigned int>(length));
  return FALSE;
}

BOOL CDiskFile::bLockFileEx(int bLock, int bExclusive) const {
  if (!bLock) {
    _bFileLock(F_OFD_SETLK, F_UNLCK, 0, 2);
    return TRUE;
  }
  _ClearError();
  if (_bFileLock(F_OFD_SETLKW, bExclusive ? F_WRLCK : F_RDLCK, 0, 2)) return TRUE;
  _Raise(kResLock, nullptr, nullptr, 0, 1);
  return FALSE;
}

BOOL CDiskFile::bOpenExclusifReessais(const wchar_t* name, int bCountTries, unsigned int n, eACCESS access,
                                      eCREATE create, eFLAG flags, int* pbCreated) {
  if (access == ACCESS_READ) access = ACCESS_READWRITE;
  const DWORD start = GetTickCount();
  for (unsigned int attempt = 1;; ++attempt) {
    if (bOpen(name, access, SHARE_EXCLUSIVE, create, flags, pbCreated)) return TRUE;
    if (m_pclError->dwGetSystemErrorCode() != kLockConflictErrno) return FALSE;
    const int e = errno;
    if (bCountTries == 0 ? GetTickCount() - start > n : attempt >= n) return FALSE;
    if (bCountTries == 0)
      usleep(100000);
    else
      sched_yield();
    errno = e;
  }
}

// ---- Names and times ----

BOOL CDiskFile::vbSetNameForError(const wchar_t* name) {
  std::free(m_pszErrorName);
  m_pszErrorName = nullptr;
  if (name == nullptr) return TRUE;
  m_pszErrorName = STR_pszCreateW(name);
  return m_pszErrorName != nullptr ? TRUE : FALSE;
}

BOOL CDiskFile::bGetTime(_stXFILETIME* creation, _stXFILETIME* access, _stXFILETIME* write) {
  _FILETIME times[3];
  if (!GetFileTime(m_nFd, &times[0], &times[1], &times[2])) return FALSE;
  _stXFILETIME* out[3] = {creation, access, write};
  for (int i = 0; i < 3; ++i)
    if (out[i] != nullptr && !bFileTimeToSystemTime(&times[i], out[i])) return FALSE;
  return TRUE;
}

BOOL CDiskFile::bSetTime(const _FILETIME* creation, const _FILETIME* access, const _FILETIME* write) {
  return SetFileTime(m_szFullName, creation, access, write);
}

BOOL CDiskFile::bSetTime(const _stXFILETIME*, const _stXFILETIME* access, const _stXFILETIME* write) {
  _FILETIME a, w;
  if ((access != nullptr && !bSystemTimeToFileTime(access, &a)) ||
      (write != nullptr && !bSystemTimeToFileTime(write, &w)))
    return FALSE;
  return SetFileTime(m_szFullName, nullptr, access != nullptr ? &a : nullptr, write != nullptr ? &w : nullptr);
}

// ---- Lines of wide characters ----

bool CDiskFile::_bReadLineChunk() {
  const unsigned int kept = m_nLineCount - m_nLinePos;
  wmemmove(m_pLineBuffer, m_pLineBuffer + m_nLinePos, kept);
  m_nLinePos = 0;
  m_nLineCount = kept;
  unsigned int got = 0;
  if (kept >= kLineBufferChars ||
      !bRead(m_pLineBuffer + kept, (kLineBufferChars - kept) * static_cast<unsigned int>(sizeof(wchar_t)), &got))
    return false;
  m_nLineCount = kept + got / sizeof(wchar_t);  // a partial last character is left out
  m_pLineBuffer[m_nLineCount] = 0;
  return m_nLineCount > kept;
}

wchar_t* CDiskFile::pszReadLine(wchar_t* buffer, unsigned int size, CTString* pLong, const wchar_t* separator) {
  if (buffer == nullptr || (size < 2 && pLong == nullptr)) {
    errno = EINVAL;
    return nullptr;
  }
  if (size > 0) buffer[0] = 0;
  if (m_pLineBuffer == nullptr) {
    m_pLineBuffer = static_cast<wchar_t*>(std::malloc((kLineBufferChars + 1) * sizeof(wchar_t)));
    if (m_pLineBuffer == nullptr) return nullptr;
    m_nLinePos = m_nLineCount = 0;
  }
  const size_t sepLen = separator != nullptr ? wcslen(separator) : 0;
  std::wstring line;
  bool any = false, eof = false;
  for (;;) {
    if (m_nLinePos == m_nLineCount && (eof || !_bReadLineChunk())) break;
    any = true;
    const wchar_t* p = m_pLineBuffer + m_nLinePos;
    const size_t avail = m_nLineCount - m_nLinePos;
    const std::wstring_view chunk(p, avail);
    // end: characters of the line; carry: a tail that the next chunk may complete into a line end.
    size_t end = avail, endLen = 0, carry = 0;
    const size_t sep = sepLen > 0 ? chunk.find(std::wstring_view(separator, sepLen)) : std::wstring_view::npos;
    const size_t cr = chunk.find(L'\r'), lf = chunk.find(L'\n');
    if (sepLen > 0) {
      if (sep != std::wstring_view::npos) end = sep, endLen = sepLen;
      carry = endLen == 0 && !eof ? std::min(sepLen - 1, avail) : 0;
    } else if (cr != std::wstring_view::npos) {
      end = cr;
      if (cr + 1 < avail)
        endLen = p[cr + 1] == L'\n' ? 2 : 1;
      else if (eof)
        endLen = 1;
      else
        carry = 1;
    } else if (lf != std::wstring_view::npos) {
      end = lf, endLen = 1;
    }
    if (carry > 0) end = avail - carry;
    line.append(p, end);
    m_nLinePos += static_cast<unsigned int>(end + endLen);
    if (endLen > 0) break;
    if (carry > 0 && !_bReadLineChunk()) eof = true;
  }
  if (!any) return nullptr;
  if (line.size() < size) {
    wmemcpy(buffer, line.c_str(), line.size() + 1);
    return buffer;
  }
  if (pLong == nullptr) {
    STR_nCopyW(buffer, static_cast<int>(size), line.c_str(), -1);
    return buffer;
  }
  pLong->Set(line.c_str());
  return const_cast<wchar_t*>(pLong->pszGet());
}

// CDiskFile: the stream (platform/ixstream.h) on a POSIX file descriptor, and the static
// operations on path texts (platform/splitpath.cpp, platform/pathname.cpp) and on files and
// directories by name (platform/fileops.cpp).
//
// Ownership: a disk file owns its descriptor, its line buffer, a separate error name when one was
// set, and (through IXStream) one reference on its error object, made at construction.
//
// Shared rules:
// - Names are wide text; a backslash is read as a slash; they reach the system as exact UTF-8
//   (platform/unixname.h): a name without an exact form fails with EILSEQ.
// - Path buffers hold kMaxPath characters and a terminator unless a size is given. A result that
//   does not fit is refused (FALSE, or 0, with errno ENAMETOOLONG), never cut and used.
// - Operations with an optional CXError* reset it on success; on failure they answer FALSE (or
//   -1) and leave level 3, the system error of errno, the resource text with the name and the
//   EIT_SRCFILE item. Stream operations do the same in the stream's own error. errno keeps the
//   system's value after a failure; a lock conflict leaves 0x80000000.
// - Locks are open-file-description locks: they belong to this object's descriptor, so two objects
//   of one process exclude each other as two processes do, and closing another descriptor of the
//   same file keeps them.
// - Every system call goes through platform/syscall_seam.h; every descriptor is close-on-exec.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <utime.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

#include "platform/ixstream.h"
#include "platform/wintime.h"

class CTString;
template <typename T>
class CXYString;
class CZVBIN;

// errno after a record-lock conflict.
constexpr unsigned int kLockConflictErrno = 0x80000000u;

class CDiskFile : public IXStream {
 public:
  // Characters of a path buffer before its terminator.
  static constexpr unsigned int kMaxPath = 260;

  // A local time: year, month (1-12), day, hour, minute, second, milliseconds.
  struct _stXFILETIME {
    WORD wYear;
    WORD wMonth;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
  };

  CDiskFile();
  ~CDiskFile() override;

  using IXStream::bRead;
  using IXStream::bWrite;

  // ---- Stream ----
  // Full path into the full-name buffer (a name whose full path does not fit fails with
  // ENAMETOOLONG and leaves the buffer empty), then open(2), then the share lock. Create 0x40
  // opens or creates (*pbCreated 1 when it created; errno EEXIST when it opened); 0x240 empties
  // the file only once the lock is held (*pbCreated 1). A lock conflict closes the file again
  // and fails with errno 0x80000000.
  BOOL bOpen(const wchar_t* name, eACCESS access, eSHARE share, eCREATE create, eFLAG flags, int* pbCreated) override;
  // The descriptor is forgotten even when close(2) fails; the failure is recorded in the error.
  void Close() override;
  BOOL bReopen(eACCESS access, eSHARE share, eCREATE create, eFLAG flags) override;
  // Without pnRead the read is exact (short of size is an error with system code 0); with it a
  // short read at the end of the file succeeds. Loops over short transfers and EINTR.
  BOOL bRead(void* buffer, unsigned int size, unsigned int* pnRead) override;
  // All or an error; *pnWritten holds what was written either way.
  BOOL bWrite(const void* data, unsigned int size, unsigned int* pnWritten) override;
  BOOL bSeek(long long offset, eSEEK from) override;
  // Keeps the position.
  long long oGetSize() override;
  // Leaves the position at the end.
  long long oGetSizeFast() override;
  BOOL bFlush() override;
  // Truncates or extends to the position reached by the seek (GROW_SET: size from the start,
  // GROW_ADD: size from the end); other grow values FALSE, nothing done. Position at the new end.
  BOOL bSetSize(long long size, eGROW grow) override;
  // delta > 0: one zero byte written at end + delta - 1. delta 0 does nothing (TRUE); below 0 is
  // refused.
  BOOL bIncreaseSize(long long delta) override;
  BOOL bExtract(IXStream* target, long long size) override;
  BOOL bLockFile(unsigned long long offset, unsigned long long length) const override;
  BOOL bUnlockFile(unsigned long long offset, unsigned long long length) const override;
  // Write lock when open for writing, else read lock; never waits. Only errno reports failure.
  BOOL bLock(unsigned long long offset, unsigned long long length) const override;
  BOOL bUnlock(unsigned long long offset, unsigned long long length) const override;
  BOOL bLockShare(unsigned long long offset, unsigned long long length) const;
  const wchar_t* pszGetName() const override { return m_szFullName; }
  long long oGetOffset() override { return m_oOffset; }
  BOOL bIsOpen() const override { return m_nFd != -1 ? TRUE : FALSE; }
  // A copy of name becomes the name of error texts (null: the full name again).
  BOOL vbSetNameForError(const wchar_t* name) override;
  // The open flags of the last open (-1 when closed).
  int veGetAccess() const override { return m_nOpenFlags; }
  BOOL bGetVFSFileName(wchar_t*) override { return FALSE; }
  // Bytes 0 and 1: bLock waits for the lock (write lock when bExclusive); !bLock unlocks, TRUE.
  BOOL bLockFileEx(int bLock, int bExclusive) const override;
  // The next line of a file of 4-byte characters: into buffer while it fits size characters,
  // else into *pLong (the result points to whichever holds it; without pLong the line is cut to
  // size - 1). Line end: the separator, else the first CR (CR LF a pair) of the chunk read, else
  // its first LF. Null at the end of the file or on a failed read.
  wchar_t* pszReadLine(wchar_t* buffer, unsigned int size, CTString* pLong, const wchar_t* separator) override;
  // Grows the file to size bytes (zeros), never shortening or overwriting; size <= 0 refused.
  BOOL bExtendFile(long long size) override;
  // Exclusive open (share 1; access 0 taken as 2) retried while the failure is a lock conflict:
  // bCountTries 0: for n milliseconds, 100 ms apart; else n attempts in all (0 tries once).
  BOOL bOpenExclusifReessais(const wchar_t* name, int bCountTries, unsigned int n, eACCESS access, eCREATE create,
                             eFLAG flags, int* pbCreated);
  BOOL bGetTime(_stXFILETIME* creation, _stXFILETIME* access, _stXFILETIME* write);
  BOOL bSetTime(const _FILETIME* creation, const _FILETIME* access, const _FILETIME* write);
  // The creation time is ignored.
  BOOL bSetTime(const _stXFILETIME* creation, const _stXFILETIME* access, const _stXFILETIME* write);
  // This file from offset (size < 0: to its end) into a new file targetName, removed again when
  // the copy fails. A target that is this very file is refused (EINVAL).
  virtual BOOL bExtract(const wchar_t* targetName, long long offset, long long size);
  // Appends size bytes (< 0: to its end) of sourceName from offset; a failed copy cuts this file
  // back to its former end.
  virtual BOOL bExtractFromFile(const wchar_t* sourceName, long long offset, long long size);
  virtual BOOL bOpenW() { return FALSE; }
  virtual BOOL bExtractW() { return FALSE; }
  virtual const wchar_t* pwszGetName() const { return pszGetName(); }
  virtual BOOL vbIsUNICODEFileName() { return TRUE; }
  virtual BOOL bExtractFromFileW() { return FALSE; }
  virtual BOOL vbSetNameForErrorW() { return FALSE; }
  static BOOL sbIsBadNetworkFile(const wchar_t*) { return FALSE; }
  static BOOL bSystemSupportHugeFile(CXError*) { return TRUE; }

  // ---- Path splitting (splitpath.cpp) ----
  // The character type comes from the path alone, so that null outputs can be given.
  template <typename T>
  using Out = std::type_identity_t<T>;
  // dir: up to and including the last separator ("/" alone under the root); name: the rest
  // before its last "."; ext: from that "." on. Backslashes come back as slashes. Null outputs
  // are skipped; each output needs room for the path's length + 1.
  template <typename T>
  static void __SplitPath(const T* path, Out<T>* dir, Out<T>* name, Out<T>* ext);
  // The same with the extension left on the name.
  template <typename T>
  static void __SplitPath(const T* path, Out<T>* dir, Out<T>* name);

  // ---- Path names (pathname.cpp) ----
  static char* pszBackSlash2Slash(char* s);
  static wchar_t* pszBackSlash2Slash(wchar_t* s);
  static void pszBackSlash2Slash(CTString& s);
  // Copies a shared block before changing it.
  static void pszBackSlash2Slash(CXYString<wchar_t>& s);
  // A copy of s with every '\\' turned into '/'; null gives the empty text.
  static std::wstring s_strSlashed(const wchar_t* s);
  static char* pszSlash2BackSlash(char* s);
  static wchar_t* pszSlash2BackSlash(wchar_t* s);
  static void pszSlash2BackSlash(CTString& s);
  static void pszSlash2BackSlash(CXYString<wchar_t>& s);
  // After a drive prefix and the last "/" or "\".
  static const wchar_t* pszGetPtrToFileName(const wchar_t* path);
  // The extension's "." of the last component, else the end of the text.
  static const wchar_t* pszGetPtrToExtension(const wchar_t* path);
  static void DelExtension(wchar_t* path);
  static void DelExtension(CXYString<wchar_t>& path);
  // Replaces the extension (or appends one); ext with or without its ".". FALSE (ENAMETOOLONG,
  // path unchanged) when the result does not fit size characters.
  static BOOL ChangeExtension(wchar_t* path, unsigned int size, const wchar_t* ext);
  static BOOL ChangeExtension(CXYString<wchar_t>& path, const wchar_t* ext);
  // makepath of the three parts (each may be null) with backslashes read as slashes.
  static BOOL MakePath(wchar_t* out, const wchar_t* directory, const wchar_t* name, const wchar_t* ext);
  static BOOL bGetLongPathName(wchar_t* out, unsigned int size, const wchar_t* name);
  // Appends "/" to a non-empty text without one. Buffer forms: FALSE (ENAMETOOLONG, unchanged)
  // past kMaxPath; the narrow form answers the length before the append, or -1.
  static BOOL DirectoryWithEndSlash(wchar_t* path);
  static int DirectoryWithEndSlash(char* path);
  static void DirectoryWithEndSlash(CTString& path);
  static void DirectoryWithEndSlash(CXYString<wchar_t>& path);
  // Every trailing "/"; the string forms remove one.
  static void DirectoryWithoutEndSlash(wchar_t* path);
  static void DirectoryWithoutEndSlash(CTString& path);
  static void DirectoryWithoutEndSlash(CXYString<wchar_t>& path);
  // "./" in front; FALSE (ENAMETOOLONG, unchanged) past kMaxPath.
  static BOOL PrefixeCurrentDirectory(wchar_t* path);
  static BOOL bIsRelativePath(const wchar_t* path);
  static BOOL bIsRelativeFileName(const wchar_t* path);
  static BOOL bIsRelativeFileName_WIN32(const wchar_t* path);
  static BOOL bUNCName(const wchar_t* path);
  static BOOL bUNCNameA(const char* path);
  static BOOL bIsAVirtualDirectory(const wchar_t* name);
  static BOOL bValidName(const wchar_t* name);
  // The absolute path: "~" and "~/..." from the user's home directory, "/..." as it is, other
  // names after the current directory; then "/./" and "/../" resolved, in that order. Returns
  // the length, or the size needed (terminator included) when it does not fit size characters
  // (out untouched), or 0 with errno. filePart is not written.
  static unsigned int GetFullPathName(const wchar_t* name, unsigned int size, wchar_t* out, wchar_t** filePart);
  static BOOL bGetUNCName(wchar_t* out, unsigned int size, const wchar_t* name, CXError* err);
  static BOOL bStandardizeExistingFileName(wchar_t* out, unsigned int size, const wchar_t* name);
  // Backslashes to slashes and trailing blanks removed, in out (name null: out itself).
  static BOOL StandardizeFileName(wchar_t* out, const wchar_t* name);
  // "/./" removed, then "x/../" pairs (the root's ".." and a leading ".." are kept).
  static void SimplifyPath(wchar_t* path);
  static BOOL bSameFileName(const wchar_t* a, const wchar_t* b);
  static BOOL bSameDirectoryName(const wchar_t* a, const wchar_t* b);
  static BOOL bSameDirectoryNameEx(const wchar_t* a, int bAExists, const wchar_t* b, int bBExists);
  // mode 0: a relative not starting with "." is kept; mode 1: one starting with "/" is kept.
  static BOOL bRelativeToFullPath(wchar_t* out, const wchar_t* relative, const wchar_t* base, int mode);
  static BOOL bPathRelativePathTo(wchar_t* out, const wchar_t* path, const wchar_t* base, int flag);

  // ---- System-call wrappers (fileops.cpp): the system call's result; EILSEQ for a name ----
  // "/bin/sh -c command" by posix_spawn; the wait status, or -1. Null: whether a shell exists.
  static int Unix_system(const wchar_t* command);
  static int Unix_chdir(const wchar_t* path);
  static DIR* __Unix_opendir(const wchar_t* path);
  static int __Unix_statfs(const wchar_t* path, struct statfs* st);
  // *pErrno: errno after a failure, 0 after a success.
  static int Unix_access(const wchar_t* path, int mode, unsigned int* pErrno);
  static int __Unix_chown(const wchar_t* path, unsigned int uid, unsigned int gid);
  static int Unix_chmod(const wchar_t* path, unsigned int mode);
  static int Unix_lstat(const wchar_t* path, struct stat* st);
  static int Unix_utime(const wchar_t* path, const utimbuf* times);
  static int Unix_stat(const wchar_t* path, struct stat* st, unsigned int* pErrno);
  static int __Unix_rename(const wchar_t* from, const wchar_t* to);
  static int Unix_mkfifo(const wchar_t* path, unsigned int mode);
  static int Unix_unlink(const wchar_t* path);
  static int __Unix_rmdir(const wchar_t* path);
  static int Unix_ropen(const wchar_t* path, int flags, unsigned int mode);
  static int Unix_open(const wchar_t* path, int flags, unsigned int mode);
  static int Unix_open(const wchar_t* path, int flags);
  static FILE* Unix_fopen(const wchar_t* path, const char* mode);
  static int __Unix_mkdir(const wchar_t* path, unsigned int mode);
  // The current directory into out (size characters); FALSE (ERANGE) when it does not fit.
  static BOOL Unix_getcwd(wchar_t* out, unsigned int size);
  // HOME, else the user database; the characters written. Neither: "." and 0; too long: "" and 0.
  static int Unix_gethomedir(wchar_t* out, unsigned int size);

  // ---- Operations by name (fileops.cpp) ----
  // Existence and type tests never write the error.
  static BOOL bExist(const wchar_t* name, unsigned int& nErrno, CXError* err);
  static BOOL bExist(const wchar_t* name, CXError* err = nullptr);
  static BOOL bIsADirectory(const wchar_t* name, CXError* err = nullptr);
  static BOOL bIsAFile(const wchar_t* name, CXError* err = nullptr);
  static BOOL bGetFileStatus(const wchar_t* name, struct stat* st, CXError* err);
  // Size of a regular file, -1 otherwise.
  static long long s_oGetSize(const wchar_t* name, CXError* err);
  static BOOL bGetLastModificationTime(const wchar_t* name, _stXFILETIME* t, CXError* err);
  // Attribute word: mode & 0xE1FF, | 0x80000000 when the last component begins with ".".
  static BOOL __bGetFileAttributesAndSize(int& attributes, long long* size, _FILETIME* modified, const wchar_t* name,
                                          unsigned int& nErrno, CXError* err);
  static BOOL bGetFileAttributes(const wchar_t* name, int& attributes, unsigned int& nErrno, CXError* err);
  static BOOL bGetFileAttributes(int* attributes, const wchar_t* name, CXError* err);
  static BOOL bSetFileAttributesUnix(const wchar_t* name, unsigned int mode, CXError* err);
  static BOOL bSetFileOwnerUnix(const wchar_t* name, unsigned int uid, unsigned int gid, CXError* err);
  static BOOL bSetFileOwnerAttributes(const wchar_t* name, unsigned int mode, unsigned int uid, unsigned int gid,
                                      CXError* err);
  // Mode 0444 for attributes -1 and -2, else 0666.
  static BOOL bSetFileAttributes(const wchar_t* name, int attributes, CXError* err);
  // *pLength: the length + 1 on success, the size needed when out is too small (FALSE, raised).
  static BOOL bGetFullPath(wchar_t* out, unsigned int size, const wchar_t* name, unsigned int* pLength, CXError* err);
  // The directory and its missing parents (mode 0777); an existing directory succeeds.
  static BOOL bCreateDirectory(const wchar_t* name, CXError* err);
  static BOOL bDeleteDirectory(const wchar_t* name, CXError* err);
  static BOOL bDelete(const wchar_t* name, CXError* err);
  static BOOL bForceDelete(const wchar_t* name, CXError* err = nullptr);
  // Refuses an existing newName (EEXIST) atomically; both files unchanged on failure.
  static BOOL bRename(const wchar_t* newName, const wchar_t* oldName, CXError* err);
  // Replaces newName by one rename(2): on failure (EXDEV among others) both files are unchanged.
  static BOOL bMove(const wchar_t* newName, const wchar_t* oldName, CXError* err);
  // TMPDIR, else P_tmpdir, with a trailing slash.
  static BOOL bGetTempDirectory(wchar_t* out, CXError* err);
  // Creates directory/prefixXXXXXX (empty, mode 0600) and gives its name.
  static BOOL bGetTempName(wchar_t* out, const wchar_t* directory, const wchar_t* prefix, CXError* err);
  static BOOL bGetTempName(wchar_t* out, const wchar_t* prefix, CXError* err);
  static BOOL bGetCurrentDirectory(wchar_t* out, CXError* err);
  static void GetHomeDir(CTString* out);
  // Of the path, or of the current directory for null.
  static BOOL bGetDiskSpace(const wchar_t* path, unsigned long long* total, unsigned long long* free, CXError* err);
  static BOOL bGetDiskFreeSpace(const wchar_t* path, unsigned long long* free, CXError* err);
  static BOOL bFileTimeToSystemTime(const _FILETIME* ft, _stXFILETIME* t);
  static BOOL bSystemTimeToFileTime(const _stXFILETIME* t, _FILETIME* ft);
  // b's field minus a's at the first difference (year first); 0 when equal.
  static int nCompareSystemTime(const _stXFILETIME* a, const _stXFILETIME* b);
  static BOOL bSystemTimeToDosFileTime(const _stXFILETIME* t, unsigned int* dos);
  static BOOL bDosFileTimeToSystemTime(unsigned int dos, _stXFILETIME* t);
  // The error pattern of the operations by name: err reset; on failure level 3, errno, the
  // resource text of id with the inserts and EIT_SRCFILE = name. errno is kept.
  static BOOL _bOnError(BOOL ok, CXError* err, const wchar_t* name, unsigned int id, ...);

  // ---- Directory search and tree walks (findfile.cpp) ----
  // One search: the stream, the pattern and directory (its final "/" included), the masks, and
  // the entry last found (attribute word as bGetFileAttributes, local modification time).
  struct _stXFINDDATA {
    DIR* pDir;
    wchar_t szPattern[kMaxPath + 1];
    wchar_t szDirectory[kMaxPath + 1];
    int nRequired;
    int nExcluded;
    wchar_t szName[kMaxPath + 1];
    int nAttributes;
    long long oSize;
    _stXFILETIME stTime;
  };
  // Callback of the walks: the path of an entry and the walk's data; 0 stops the walk.
  using PFTREECALLBACK = int (*)(const wchar_t* path, intptr_t data);
  // The entries of a directory matching search's name part ("*", "?"; case counts) whose
  // attribute word has every required bit and no excluded bit; never "." or "..". The record
  // is zeroed or holds an earlier search, which is closed first. FALSE with err reset (errno 0) when nothing matches or the
  // directory is missing; a directory that cannot be opened raises 28135.
  static BOOL bFindFirst(const wchar_t* search, _stXFINDDATA* find, int required, int excluded, CXError* err);
  // The next match (typed with stat: a link gives its target's attributes; an entry whose status
  // cannot be read is skipped). At the end the search is closed: FALSE with err reset and errno
  // 0. A failed listing raises 28136 (errno kept), also for a matching entry whose path does not
  // fit kMaxPath (ENAMETOOLONG) or whose name holds a backslash (EILSEQ: it would be read as a
  // slash), and closes the search.
  static BOOL bFindNext(_stXFINDDATA* find, CXError* err);
  // TRUE at once when idle; a failed closedir raises 28137. The record is idle afterwards.
  static BOOL bFindClose(_stXFINDDATA* find, CXError* err);
  // The pattern matches the whole name; time in name length x pattern length.
  static BOOL _bFiltreFileName(const wchar_t* name, const wchar_t* pattern);
  static BOOL _bFindGoodFile(const wchar_t* name, unsigned int attributes, const _stXFINDDATA* find);
  // Walks (directory with or without its end slash): entries are typed with lstat, so a link is
  // reported as a file and never descended into. callback gets directory + name for each file
  // matching pattern (and directory too with bWithDirectories), a directory's matches before its
  // subdirectories' when bRecurse. FALSE when the callback answers 0, when a directory cannot be
  // listed, and (ENAMETOOLONG) when a path does not fit kMaxPath: no cut path is ever used.
  static BOOL bDoOnFileTree(const wchar_t* directory, const wchar_t* pattern, PFTREECALLBACK callback, intptr_t data,
                            int bWithDirectories, int bRecurse);
  // The same with the directory bit required in each level's matches (so with bWithDirectories
  // 0 the callback is never called).
  static BOOL bDoOnDirectoryTree(const wchar_t* directory, const wchar_t* pattern, PFTREECALLBACK callback,
                                 intptr_t data, int bWithDirectories, int bRecurse);
  // Unlinks every matching file (links included, never their targets); stops at the first that
  // cannot be unlinked.
  static BOOL bForceDeleteOnFileTree(const wchar_t* directory, const wchar_t* pattern, int bRecurse, CXError* err);
  static int __bForceDeleteOnTree(const wchar_t* path, intptr_t data);
  // Deletes everything inside directory (links unlinked, never followed) and keeps it. A directory
  // that is itself a link is unlinked, here and in the deletions below, never entered. A missing
  // directory is TRUE; one that cannot be listed, a path too long, or the first failed deletion
  // is FALSE with the failure in err.
  static BOOL _bDeltree(const wchar_t* directory, CXError* err);
  static BOOL bPurgeTree(const wchar_t* directory, CXError* err) { return _bDeltree(directory, err); }
  static BOOL bForcePurgeTree(const wchar_t* directory, CXError* err) { return _bDeltree(directory, err); }
  // Emptied, then removed.
  static BOOL bDeleteTree(const wchar_t* directory, CXError* err);
  static BOOL bForceDeleteTree(const wchar_t* directory, CXError* err);
  static BOOL bDeleteTreeEvenReadOnly(const wchar_t* directory, CXError* err);

  // ---- Whole-file copies and loads (filecopy.cpp) ----
  // Encoding found by the text loads: the caller's code page, UTF-8, UTF-16.
  enum etxType : int { TXT_CODEPAGE = 0, TXT_UTF8 = 1, TXT_UTF16 = 2 };
  // Largest file or text the host's buffers take.
  static constexpr long long kMaxLoad = 0x7FFFFEFF;
  // A copy of source as target (mode 0666 less the umask). Refused (EINVAL) when both name the
  // same file; a failed copy leaves no target. Failure raises 28125 (target, source).
  static BOOL bCopy(const wchar_t* target, const wchar_t* source, CXError* err);
  static BOOL _sbCopyUnix(const wchar_t* target, const wchar_t* source);
  // Appends the bytes source holds at the start (a missing source is created empty); a failure
  // cuts target back to its former length.
  static BOOL bConcat(const wchar_t* target, const wchar_t* source);
  // Opens source (created empty when missing) and extracts from it into target.
  static BOOL bExtract(const wchar_t* target, const wchar_t* source, long long offset, long long size);
  // The whole file into buffer; a file above kMaxLoad (or of unknown size) is refused (EFBIG).
  // On failure the buffer is empty and the file's error moved into err.
  static BOOL bChargeFichier(CZVBIN& buffer, const wchar_t* name, CXError* err);
  // The whole text file decoded by its byte-order mark, else UTF-8 when valid, else codePage.
  static BOOL bChargeTexteBOM(CXYString<wchar_t>& text, const wchar_t* name, unsigned int codePage, etxType* type);
  // The same on count bytes, which a UTF-16 big-endian text swaps in place. UTF-16 surrogate
  // pairs become one character. FALSE (text empty) only when count exceeds kMaxLoad or memory
  // runs out.
  static BOOL bChargeTexteBOMFromBuffer(CXYString<wchar_t>& text, unsigned char* bytes, unsigned int count,
                                        unsigned int codePage, etxType* type);

 private:
  // Level 3 with errno (kept), the descriptor's debug line and debug, resource id (name, else the
  // error name, then a and b) in front of the user message (id 0: none), and EIT_SRCFILE.
  void _Raise(unsigned int id, const wchar_t* name = nullptr, const wchar_t* debug = nullptr, unsigned int a = 0,
              unsigned int b = 0) const;
  void _ClearError() const;
  // Open, lock and truncate on the system path; m_nFd set on success. errno on failure.
  bool _bOpenDescriptor(const char* path, int flags, int mode, eSHARE share, bool bTruncate);
  // OFD lock command on [offset, offset + length); type F_RDLCK, F_WRLCK or F_UNLCK.
  BOOL _bFileLock(int command, short type, unsigned long long offset, unsigned long long length) const;
  // Moves the unused rest of the line buffer to its start and reads behind it; false when no
  // whole character came.
  bool _bReadLineChunk();
  const wchar_t* _pszErrorName() const { return m_pszErrorName != nullptr ? m_pszErrorName : m_szFullName; }

  wchar_t m_szFullName[kMaxPath + 1] = {0};
  int m_nFd = -1;
  long long m_oOffset = 0;
  // pszReadLine's chunk: kLineBufferChars + 1 characters; [m_nLinePos, m_nLineCount) not yet used.
  wchar_t* m_pLineBuffer = nullptr;
  unsigned int m_nLinePos = 0;
  unsigned int m_nLineCount = 0;
  int m_nOpenFlags = -1;
  // A separate name for error texts (heap), or null for the full name.
  wchar_t* m_pszErrorName = nullptr;
};

// ---- File times of the Win32-style interface (fileops.cpp) ----
// Status-change, access and modification times of the descriptor, whole seconds; null skipped.
BOOL GetFileTime(int fd, _FILETIME* creation, _FILETIME* access, _FILETIME* write);
// Access and modification times of the file (a missing one kept from the file); creation ignored.
BOOL SetFileTime(const wchar_t* path, const _FILETIME* creation, const _FILETIME* access, const _FILETIME* write);

extern template void CDiskFile::__SplitPath<wchar_t>(const wchar_t*, wchar_t*, wchar_t*, wchar_t*);
extern template void CDiskFile::__SplitPath<wchar_t>(const wchar_t*, wchar_t*, wchar_t*);

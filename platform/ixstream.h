// IXStream: the abstract byte stream that the disk file (platform/diskfile.h) implements and the
// file object (platform/xfile.h) forwards to. It owns one reference on the stream's error object,
// which every failing operation of an implementation fills and callers read through
// pclGetXError(); the destructor gives that reference back.
//
// Shared rules:
// - Results are TRUE/FALSE, or a 64-bit size or offset with -1 for failure.
// - The enumerations keep the values the callers pass; an implementation maps them to the
//   system's own flags explicitly.
// - Argument lists are va_list, never consumed: each use takes a copy.
// - Bodies given here serve streams that do not override them; the positioned forms, the
//   formatted writes and the line readers go through the virtual slots of the stream.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

#include "platform/qxunknown.h"
#include "platform/wintypes.h"

class CTString;
class CXError;

class IXStream : public CQXUnknown {
 public:
  enum eACCESS : int { ACCESS_NONE = -1, ACCESS_READ = 0, ACCESS_WRITE = 1, ACCESS_READWRITE = 2 };
  // The whole-file lock taken at open: shared (read lock), exclusive (write lock) or none.
  enum eSHARE : int { SHARE_SHARED = 0, SHARE_EXCLUSIVE = 1, SHARE_NOLOCK = 2 };
  // Other values are system open flags added as they are.
  enum eCREATE : int { CREATE_OPEN = 0, CREATE_OPEN_ALWAYS = 0x40, CREATE_ALWAYS = 0x240 };
  enum eFLAG : int { FLAG_NONE = 0, FLAG_DIRECTORY = 0x10000 };
  enum eSEEK : int { SEEK_FROM_START = 0, SEEK_FROM_CURRENT = 1, SEEK_FROM_END = 2 };
  // bSetSize: the size given is the new size, or is added to the current end.
  enum eGROW : int { GROW_SET = 0, GROW_ADD = 1 };
  // The format word of a typed file's header (platform/qxfile.h), kept as given.
  enum eFORMAT : int { FORMAT_DEFAULT = 0 };

  // Bytes read per chunk by the line readers, in characters of the reader's width.
  static constexpr unsigned int kLineChunk = 80;

  IXStream() = default;
  IXStream(const IXStream&) = delete;
  IXStream& operator=(const IXStream&) = delete;
  ~IXStream() override;

  virtual BOOL bOpen(const wchar_t* name, eACCESS access, eSHARE share, eCREATE create, eFLAG flags, int* pbCreated);
  virtual void Close() = 0;
  virtual BOOL bReopen(eACCESS access, eSHARE share, eCREATE create, eFLAG flags);
  // Seeks to offset first unless oGetOffset() is already there.
  virtual BOOL bWrite(long long offset, const void* data, unsigned int size, unsigned int* pnWritten);
  virtual BOOL bRead(long long offset, void* buffer, unsigned int size, unsigned int* pnRead);
  virtual BOOL bWrite(const void* data, unsigned int size, unsigned int* pnWritten);
  virtual BOOL bRead(void* buffer, unsigned int size, unsigned int* pnRead);
  virtual BOOL bSeek(long long offset, eSEEK from);
  virtual long long oGetSize();
  virtual long long oGetSizeFast();
  virtual BOOL bFlush();
  virtual BOOL bSetSize(long long size, eGROW grow);
  virtual BOOL bIncreaseSize(long long delta);
  // The whole formatted text is written (narrow: bytes of vsnprintf; wide: 4 bytes a character,
  // Windows format conventions). FALSE with errno when formatting fails, nothing written.
  virtual BOOL bWriteString(const char* format, ...);
  virtual BOOL bWriteStringList(const char* format, va_list args);
  virtual BOOL bWriteString(const wchar_t* format, ...);
  virtual BOOL bWriteStringList(const wchar_t* format, va_list args);
  // One line into buffer (capacity characters, terminator included; below 2 refused with EINVAL),
  // the line end never stored. Flags bit 0: only CR LF ends a line; otherwise the first CR of a
  // chunk decides (CR LF or CR alone) and a chunk without CR ends at its first LF. A line that does
  // not fit comes back in pieces of capacity - 1 characters with *pbCut = 1, the stream left right
  // after the last character kept. FALSE at the end of the data or on a failed read or seek. Wide:
  // a last partial character of the data is dropped.
  virtual BOOL bReadLine(char* buffer, unsigned int capacity, int* pbCut, unsigned int flags);
  virtual BOOL bReadLine(wchar_t* buffer, unsigned int capacity, int* pbCut, unsigned int flags);
  // Copies size bytes from the position (negative: up to the end) into target in 64 KB blocks; a
  // size the data does not reach fails.
  virtual BOOL bExtract(IXStream* target, long long size);
  virtual BOOL bLockFile(unsigned long long offset, unsigned long long length) const;
  virtual BOOL bUnlockFile(unsigned long long offset, unsigned long long length) const;
  virtual BOOL bLock(unsigned long long offset, unsigned long long length) const;
  virtual BOOL bUnlock(unsigned long long offset, unsigned long long length) const;
  virtual const wchar_t* pszGetName() const;
  virtual long long oGetOffset();
  virtual BOOL bIsOpen() const;
  virtual CXError* pclGetXError() const;
  virtual CXError* _pclGetXError() const;
  virtual BOOL vbSetNameForError(const wchar_t* name);
  virtual int veGetAccess() const = 0;
  virtual BOOL bGetVFSFileName(wchar_t* out);
  virtual BOOL bLockFileEx(int bLock, int bExclusive) const;
  virtual wchar_t* pszReadLine(wchar_t* buffer, unsigned int size, CTString* pLong, const wchar_t* separator);
  virtual BOOL bExtendFile(long long size);
  virtual void m565EmptyMethodXStream() const {}
  virtual void m566EmptyMethodXStream() const {}
  virtual void m567EmptyMethodXStream() const {}
  virtual void m568EmptyMethodXStream() const {}
  virtual void m569EmptyMethodXStream() const {}
  virtual void m570EmptyMethodXStream() const {}
  virtual void m571EmptyMethodXStream() const {}
  virtual void m572EmptyMethodXStream() const {}
  virtual void m573EmptyMethodXStream() const {}
  virtual void m574EmptyMethodXStream() const {}
  virtual void m575EmptyMethodXStream() const {}
  virtual void m576EmptyMethodXStream() const {}
  virtual void m577EmptyMethodXStream() const {}
  virtual void m578EmptyMethodXStream() const {}

 protected:
  // The stream's error, one reference held (set by the implementation).
  CXError* m_pclError = nullptr;
};

// The copy of bExtract for a source and a target of stream or file-object type, through their
// slots: exact reads, so that a size the data does not reach fails instead of copying less.
template <typename Source, typename Target>
BOOL XS_bCopyBlocks(Source* source, Target* target, long long size) {
  constexpr unsigned int kBlock = 65536;
  if (target == nullptr) {
    errno = EINVAL;
    return FALSE;
  }
  if (size < 0) {
    const long long total = source->oGetSize(), at = source->oGetOffset();
    if (total < 0 || at < 0) return FALSE;
    size = total > at ? total - at : 0;
  }
  if (size == 0) return TRUE;
  void* block = std::malloc(kBlock);
  if (block == nullptr) return FALSE;
  BOOL ok = TRUE;
  for (unsigned int n; ok && size > 0; size -= n) {
    n = static_cast<unsigned int>(size < kBlock ? size : kBlock);
    ok = source->bRead(block, n, nullptr) && target->bWrite(block, n, nullptr);
  }
  std::free(block);
  return ok;
}

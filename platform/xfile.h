// CXFile: the file object the higher layers hold. It owns at most one reference on a stream
// (platform/ixstream.h) and forwards every file operation to it; given none, it makes a disk file
// on first need through the virtual factory __xpclAllocDiskFile, so a derived class can put
// another stream in its place.
//
// Without a stream every operation answers FALSE (errno EBADF), -1, or null, and Close does
// nothing: nothing is ever called through a null stream.
#pragma once

#include <cstdarg>

#include "platform/ixstream.h"
#include "platform/wintypes.h"

class CXFile {
 public:
  CXFile() = default;
  // Takes a reference on the stream.
  explicit CXFile(IXStream* stream);
  CXFile(const CXFile&) = delete;
  CXFile& operator=(const CXFile&) = delete;
  virtual ~CXFile();

  virtual BOOL bOpen(const wchar_t* name, IXStream::eACCESS access, IXStream::eSHARE share, IXStream::eCREATE create,
                     IXStream::eFLAG flags, int* pbCreated);
  virtual void Close();
  virtual BOOL bReopen(IXStream::eACCESS access, IXStream::eSHARE share, IXStream::eCREATE create,
                       IXStream::eFLAG flags);
  virtual BOOL bWrite(long long offset, const void* data, unsigned int size, unsigned int* pnWritten);
  virtual BOOL bRead(long long offset, void* buffer, unsigned int size, unsigned int* pnRead);
  virtual BOOL bWrite(const void* data, unsigned int size, unsigned int* pnWritten);
  virtual BOOL bRead(void* buffer, unsigned int size, unsigned int* pnRead);
  virtual BOOL bSeek(long long offset, IXStream::eSEEK from);
  virtual long long oGetSize();
  virtual long long oGetSizeFast();
  virtual BOOL bFlush();
  virtual BOOL bSetSize(long long size, IXStream::eGROW grow);
  virtual BOOL bIncreaseSize(long long delta);
  // Through this object's own bWriteStringList.
  virtual BOOL bWriteString(const char* format, ...);
  virtual BOOL bWriteStringList(const char* format, va_list args);
  virtual BOOL bWriteString(const wchar_t* format, ...);
  virtual BOOL bWriteStringList(const wchar_t* format, va_list args);
  virtual BOOL bReadLine(char* buffer, unsigned int capacity, int* pbCut, unsigned int flags);
  virtual BOOL bReadLine(wchar_t* buffer, unsigned int capacity, int* pbCut, unsigned int flags);
  // Copies size bytes from the position (negative: up to the end) into target in 64 KB blocks; a
  // size the data does not reach fails.
  virtual BOOL bExtract(CXFile* target, long long size);
  virtual BOOL bLockFile(unsigned long long offset, unsigned long long length) const;
  virtual BOOL bUnlockFile(unsigned long long offset, unsigned long long length) const;
  virtual BOOL bLock(unsigned long long offset, unsigned long long length) const;
  virtual BOOL bUnlock(unsigned long long offset, unsigned long long length) const;
  virtual const wchar_t* pszGetName() const;
  virtual long long oGetOffset();
  virtual BOOL bIsOpen() const;
  virtual CXError* pclGetXError() const;
  // Releases the stream's reference; no stream afterwards.
  virtual void _FreeStream();
  // A new disk file, no reference taken yet.
  virtual IXStream* __xpclAllocDiskFile();
  virtual CXError* _pclGetXError();
  // The stream's wide line reader with flags 0.
  virtual BOOL bReadLineUNICODE(wchar_t* buffer, unsigned int capacity, int* pbCut);
  virtual int veGetAccess() const;
  virtual void m242EmptyMethodXStream() const {}
  virtual void m243EmptyMethodXStream() const {}
  virtual void m244EmptyMethodXStream() const {}
  virtual void m245EmptyMethodXStream() const {}
  virtual void m246EmptyMethodXStream() const {}
  virtual void m247EmptyMethodXStream() const {}
  virtual void m248EmptyMethodXStream() const {}
  virtual void m249EmptyMethodXStream() const {}
  virtual void m250EmptyMethodXStream() const {}
  virtual void m251EmptyMethodXStream() const {}
  virtual void m252EmptyMethodXStream() const {}
  virtual void m253EmptyMethodXStream() const {}

  // The stream held from now on (a reference taken; null: none); it may be the one already held.
  void SetStream(IXStream* stream);
  // The stream, or null when this object made it.
  IXStream* piGetStream() const { return m_bMadeHere ? nullptr : m_piStream; }
  BOOL bCreateStream();
  BOOL bSetNameForError(const wchar_t* name);
  // The text (4 bytes a character), then CR LF as two wide characters unless the text failed.
  BOOL bWriteLine(const wchar_t* text);

 private:
  IXStream* m_piStream = nullptr;
  int m_bMadeHere = 0;
};

#include "platform/xfile.h"

#include <cerrno>
#include <climits>
#include <cwchar>

#include "platform/diskfile.h"

namespace {

// FALSE with EBADF: the object holds no stream.
BOOL NoStream() {
  errno = EBADF;
  return FALSE;
}

}  // namespace

CXFile::CXFile(IXStream* stream) { SetStream(stream); }

CXFile::~CXFile() { CXFile::_FreeStream(); }

void CXFile::_FreeStream() {
  if (m_piStream != nullptr) m_piStream->dwRelease();
  m_piStream = nullptr;
  m_bMadeHere = 0;
}

void CXFile::SetStream(IXStream* stream) {
  // The new reference comes first: the stream may be the one held, or live only through it.
  if (stream != nullptr) stream->AddRef();
  _FreeStream();
  m_piStream = stream;
}

IXStream* CXFile::__xpclAllocDiskFile() { return new CDiskFile; }

BOOL CXFile::bCreateStream() {
  SetStream(__xpclAllocDiskFile());
  if (m_piStream == nullptr) return FALSE;
  m_bMadeHere = 1;
  return TRUE;
}

BOOL CXFile::bOpen(const wchar_t* name, IXStream::eACCESS access, IXStream::eSHARE share, IXStream::eCREATE create,
                   IXStream::eFLAG flags, int* pbCreated) {
  if (m_piStream == nullptr && !bCreateStream()) return FALSE;
  return m_piStream->bOpen(name, access, share, create, flags, pbCreated);
}

BOOL CXFile::bSetNameForError(const wchar_t* name) {
  if (m_piStream == nullptr && !bCreateStream()) return FALSE;
  return m_piStream->vbSetNameForError(name);
}

void CXFile::Close() {
  if (m_piStream != nullptr) m_piStream->Close();
}

BOOL CXFile::bReopen(IXStream::eACCESS access, IXStream::eSHARE share, IXStream::eCREATE create,
                     IXStream::eFLAG flags) {
  return m_piStream != nullptr ? m_piStream->bReopen(access, share, create, flags) : NoStream();
}

BOOL CXFile::bWrite(long long offset, const void* data, unsigned int size, unsigned int* pnWritten) {
  return m_piStream != nullptr ? m_piStream->bWrite(offset, data, size, pnWritten) : NoStream();
}

BOOL CXFile::bRead(long long offset, void* buffer, unsigned int size, unsigned int* pnRead) {
  return m_piStream != nullptr ? m_piStream->bRead(offset, buffer, size, pnRead) : NoStream();
}

BOOL CXFile::bWrite(const void* data, unsigned int size, unsigned int* pnWritten) {
  return m_piStream != nullptr ? m_piStream->bWrite(data, size, pnWritten) : NoStream();
}

BOOL CXFile::bRead(void* buffer, unsigned int size, unsigned int* pnRead) {
  return m_piStream != nullptr ? m_piStream->bRead(buffer, size, pnRead) : NoStream();
}

BOOL CXFile::bSeek(long long offset, IXStream::eSEEK from) {
  return m_piStream != nullptr ? m_piStream->bSeek(offset, from) : NoStream();
}

long long CXFile::oGetSize() { return m_piStream != nullptr ? m_piStream->oGetSize() : (NoStream(), -1); }
long long CXFile::oGetSizeFast() { return m_piStream != nullptr ? m_piStream->oGetSizeFast() : (NoStream(), -1); }
BOOL CXFile::bFlush() { return m_piStream != nullptr ? m_piStream->bFlush() : NoStream(); }

BOOL CXFile::bSetSize(long long size, IXStream::eGROW grow) {
  return m_piStream != nullptr ? m_piStream->bSetSize(size, grow) : NoStream();
}

BOOL CXFile::bIncreaseSize(long long delta) {
  return m_piStream != nullptr ? m_piStream->bIncreaseSize(delta) : NoStream();
}

BOOL CXFile::bWriteString(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const BOOL ok = bWriteStringList(format, ap);
  va_end(ap);
  return ok;
}

BOOL CXFile::bWriteStringList(const char* format, va_list args) {
  return m_piStream != nullptr ? m_piStream->bWriteStringList(format, args) : NoStream();
}

BOOL CXFile::bWriteString(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const BOOL ok = bWriteStringList(format, ap);
  va_end(ap);
  return ok;
}

BOOL CXFile::bWriteStringList(const wchar_t* format, va_list args) {
  return m_piStream != nullptr ? m_piStream->bWriteStringList(format, args) : NoStream();
}

BOOL CXFile::bReadLine(char* buffer, unsigned int capacity, int* pbCut, unsigned int flags) {
  return m_piStream != nullptr ? m_piStream->bReadLine(buffer, capacity, pbCut, flags) : NoStream();
}

BOOL CXFile::bReadLine(wchar_t* buffer, unsigned int capacity, int* pbCut, unsigned int flags) {
  return m_piStream != nullptr ? m_piStream->bReadLine(buffer, capacity, pbCut, flags) : NoStream();
}

BOOL CXFile::bReadLineUNICODE(wchar_t* buffer, unsigned int capacity, int* pbCut) {
  return m_piStream != nullptr ? m_piStream->bReadLine(buffer, capacity, pbCut, 0) : NoStream();
}

BOOL CXFile::bExtract(CXFile* target, long long size) { return XS_bCopyBlocks(this, target, size); }

BOOL CXFile::bLockFile(unsigned long long offset, unsigned long long length) const {
  return m_piStream != nullptr ? m_piStream->bLockFile(offset, length) : NoStream();
}

BOOL CXFile::bUnlockFile(unsigned long long offset, unsigned long long length) const {
  return m_piStream != nullptr ? m_piStream->bUnlockFile(offset, length) : NoStream();
}

BOOL CXFile::bLock(unsigned long long offset, unsigned long long length) const {
  return m_piStream != nullptr ? m_piStream->bLock(offset, length) : NoStream();
}

BOOL CXFile::bUnlock(unsigned long long offset, unsigned long long length) const {
  return m_piStream != nullptr ? m_piStream->bUnlock(offset, length) : NoStream();
}

const wchar_t* CXFile::pszGetName() const { return m_piStream != nullptr ? m_piStream->pszGetName() : nullptr; }
long long CXFile::oGetOffset() { return m_piStream != nullptr ? m_piStream->oGetOffset() : -1; }
BOOL CXFile::bIsOpen() const { return m_piStream != nullptr ? m_piStream->bIsOpen() : FALSE; }
CXError* CXFile::pclGetXError() const { return m_piStream != nullptr ? m_piStream->pclGetXError() : nullptr; }
CXError* CXFile::_pclGetXError() { return m_piStream != nullptr ? m_piStream->_pclGetXError() : nullptr; }
int CXFile::veGetAccess() const { return m_piStream != nullptr ? m_piStream->veGetAccess() : -1; }

BOOL CXFile::bWriteLine(const wchar_t* text) {
  static const wchar_t kCrLf[2] = {L'\r', L'\n'};
  if (m_piStream == nullptr) return NoStream();
  const size_t n = text != nullptr ? wcslen(text) : 0;
  if (n > UINT_MAX / sizeof(wchar_t)) {
    errno = EOVERFLOW;
    return FALSE;
  }
  if (!m_piStream->bWrite(text, static_cast<unsigned int>(n * sizeof(wchar_t)), nullptr)) return FALSE;
  return m_piStream->bWrite(kCrLf, sizeof kCrLf, nullptr);
}

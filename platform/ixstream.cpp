#include "platform/ixstream.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/winformat.h"
#include "platform/xerror.h"

namespace {

// The line reader of both widths (see IXStream::bReadLine).
template <typename T>
BOOL ReadLine(IXStream* s, T* buffer, unsigned int capacity, int* pbCut, unsigned int flags) {
  constexpr unsigned int kUnit = sizeof(T), kChunk = IXStream::kLineChunk;
  if (pbCut != nullptr) *pbCut = 0;
  if (buffer == nullptr || capacity < 2) {
    if (buffer != nullptr && capacity == 1) buffer[0] = 0;
    errno = EINVAL;
    return FALSE;
  }
  buffer[0] = 0;
  T chunk[kChunk];
  unsigned int length = 0;
  for (;;) {
    unsigned int got = 0;
    if (!s->bRead(chunk, kChunk * kUnit, &got)) return FALSE;
    const unsigned int n = got / kUnit;  // a last partial character is left out
    if (n == 0) return length > 0 ? TRUE : FALSE;
    const bool full = got == kChunk * kUnit;
    // end: characters of the chunk in the line; used: characters the chunk keeps (a CR that ends
    // a full chunk is given back so that the next chunk tests it with its follower).
    unsigned int end = n, endLen = 0, used = n;
    const auto decide = [&](unsigned int cr, bool bLoneCrEnds) {
      if (cr + 1 < n) {
        if (chunk[cr + 1] == '\n' || bLoneCrEnds) end = cr, endLen = chunk[cr + 1] == '\n' ? 2 : 1;
      } else if (full) {
        end = used = cr;
      } else if (bLoneCrEnds) {
        end = cr, endLen = 1;
      }
    };
    if ((flags & 1) != 0) {
      for (unsigned int i = 0; i < n && endLen == 0 && used == n; ++i)
        if (chunk[i] == '\r') decide(i, false);
    } else {
      unsigned int i = 0;
      while (i < n && chunk[i] != '\r') ++i;
      if (i < n) {
        decide(i, true);
      } else {
        for (i = 0; i < n && chunk[i] != '\n'; ++i) {
        }
        if (i < n) end = i, endLen = 1;
      }
    }
    if (length + end < capacity) {
      std::memcpy(buffer + length, chunk, end * kUnit);
      length += end;
      buffer[length] = 0;
      const long long back = static_cast<long long>(got) - (endLen > 0 ? end + endLen : used) * kUnit;
      if (back > 0 && !s->bSeek(-back, IXStream::SEEK_FROM_CURRENT)) return FALSE;
      if (endLen > 0 || !full) return TRUE;
      continue;
    }
    const unsigned int keep = capacity - 1 - length;
    std::memcpy(buffer + length, chunk, keep * kUnit);
    buffer[capacity - 1] = 0;
    if (pbCut != nullptr) *pbCut = 1;
    return s->bSeek(-static_cast<long long>(got - keep * kUnit), IXStream::SEEK_FROM_CURRENT);
  }
}

}  // namespace

IXStream::~IXStream() {
  if (m_pclError != nullptr) m_pclError->dwRelease();
  m_pclError = nullptr;
}

BOOL IXStream::bOpen(const wchar_t*, eACCESS, eSHARE, eCREATE, eFLAG, int*) { return TRUE; }
BOOL IXStream::bReopen(eACCESS, eSHARE, eCREATE, eFLAG) { return TRUE; }

BOOL IXStream::bWrite(long long offset, const void* data, unsigned int size, unsigned int* pnWritten) {
  if (oGetOffset() != offset && !bSeek(offset, SEEK_FROM_START)) return FALSE;
  return bWrite(data, size, pnWritten);
}

BOOL IXStream::bRead(long long offset, void* buffer, unsigned int size, unsigned int* pnRead) {
  if (oGetOffset() != offset && !bSeek(offset, SEEK_FROM_START)) return FALSE;
  return bRead(buffer, size, pnRead);
}

BOOL IXStream::bWrite(const void*, unsigned int, unsigned int*) { return TRUE; }
BOOL IXStream::bRead(void*, unsigned int, unsigned int*) { return TRUE; }
BOOL IXStream::bSeek(long long, eSEEK) { return TRUE; }
long long IXStream::oGetSize() { return 0; }
long long IXStream::oGetSizeFast() { return 0; }
BOOL IXStream::bFlush() { return TRUE; }
BOOL IXStream::bSetSize(long long, eGROW) { return TRUE; }
BOOL IXStream::bIncreaseSize(long long) { return TRUE; }

BOOL IXStream::bWriteString(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const BOOL ok = bWriteStringList(format, ap);
  va_end(ap);
  return ok;
}

BOOL IXStream::bWriteStringList(const char* format, va_list args) {
  if (format == nullptr) {
    errno = EINVAL;
    return FALSE;
  }
  va_list ap;
  va_copy(ap, args);
  const int n = vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  char* text = n >= 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1)) : nullptr;
  if (text == nullptr) return FALSE;
  va_copy(ap, args);
  vsnprintf(text, static_cast<size_t>(n) + 1, format, ap);
  va_end(ap);
  const BOOL ok = bWrite(text, static_cast<unsigned int>(n), nullptr);
  std::free(text);
  return ok;
}

BOOL IXStream::bWriteString(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const BOOL ok = bWriteStringList(format, ap);
  va_end(ap);
  return ok;
}

BOOL IXStream::bWriteStringList(const wchar_t* format, va_list args) {
  wchar_t* text = nullptr;
  va_list ap;
  va_copy(ap, args);
  const int n = vaswprintf(&text, format, ap);
  va_end(ap);
  BOOL ok = FALSE;
  if (n >= 0 && static_cast<unsigned long long>(n) * sizeof(wchar_t) <= UINT_MAX)
    ok = bWrite(text, static_cast<unsigned int>(n * sizeof(wchar_t)), nullptr);
  else if (n >= 0)
    errno = EOVERFLOW;
  std::free(text);
  return ok;
}

BOOL IXStream::bReadLine(char* buffer, unsigned int capacity, int* pbCut, unsigned int flags) {
  return ReadLine(this, buffer, capacity, pbCut, flags);
}

BOOL IXStream::bReadLine(wchar_t* buffer, unsigned int capacity, int* pbCut, unsigned int flags) {
  return ReadLine(this, buffer, capacity, pbCut, flags);
}

BOOL IXStream::bExtract(IXStream* target, long long size) { return XS_bCopyBlocks(this, target, size); }
BOOL IXStream::bLockFile(unsigned long long, unsigned long long) const { return TRUE; }
BOOL IXStream::bUnlockFile(unsigned long long, unsigned long long) const { return TRUE; }
BOOL IXStream::bLock(unsigned long long, unsigned long long) const { return TRUE; }
BOOL IXStream::bUnlock(unsigned long long, unsigned long long) const { return TRUE; }
const wchar_t* IXStream::pszGetName() const { return nullptr; }
long long IXStream::oGetOffset() { return -1; }
BOOL IXStream::bIsOpen() const { return TRUE; }
CXError* IXStream::pclGetXError() const { return m_pclError; }
CXError* IXStream::_pclGetXError() const { return m_pclError; }
BOOL IXStream::vbSetNameForError(const wchar_t*) { return TRUE; }
BOOL IXStream::bGetVFSFileName(wchar_t*) { return FALSE; }
BOOL IXStream::bLockFileEx(int, int) const { return TRUE; }
wchar_t* IXStream::pszReadLine(wchar_t*, unsigned int, CTString*, const wchar_t*) { return nullptr; }
BOOL IXStream::bExtendFile(long long) { return TRUE; }

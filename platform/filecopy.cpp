// Whole-file copies, extracts and loads of CDiskFile (declared in platform/diskfile.h). Each opens
// its own disk files and closes them when done; a copy that fails leaves no cut file behind that
// could pass for a whole one.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "common/simplebuffer.h"
#include "common/utf.h"
#include "common/xystring.h"
#include "common/zvbin.h"
#include "platform/codepage.h"
#include "platform/diskfile.h"
#include "platform/syscall_seam.h"
#include "platform/xerror.h"

namespace {

enum : unsigned int { kResCopy = 28125, kResRead = 28003, kResCreate = 28140 };
constexpr unsigned int kCopyBlock = 4096;

constexpr auto kRead = IXStream::ACCESS_READ;
constexpr auto kWrite = IXStream::ACCESS_WRITE;
constexpr auto kNoLock = IXStream::SHARE_NOLOCK;

// Both names exist and are one file (also through a link).
bool bSameFile(const wchar_t* a, const wchar_t* b) {
  struct stat sa, sb;
  return CDiskFile::Unix_stat(a, &sa, nullptr) == 0 && CDiskFile::Unix_stat(b, &sb, nullptr) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Closes a file written by a copy; false when the close failed (the data may be lost).
bool bClosed(CDiskFile& f) {
  f.Close();
  return f.pclGetXError()->eGetErrorLevel() != ERRORLEVEL_ERROR;
}

// Closes and removes a file a copy failed to fill; FALSE, errno kept.
BOOL Removed(CDiskFile& f) {
  const int e = errno;
  f.Close();
  CDiskFile::Unix_unlink(f.pszGetName());
  errno = e;
  return FALSE;
}

// The whole file's size, refused (EFBIG, raised as a read failure) above what a host buffer takes.
long long LoadSize(CDiskFile& f, CXError* error) {
  const long long size = f.oGetSize();
  if (size <= CDiskFile::kMaxLoad) return size;
  errno = EFBIG;
  CDiskFile::_bOnError(FALSE, error, f.pszGetName(), kResRead, f.pszGetName());
  return -1;
}

// text = the count characters that convert writes into its buffer.
template <typename F>
BOOL Filled(CXYString<wchar_t>& text, int count, F convert) {
  if (count <= 0) return TRUE;
  if (text.nSetLength(count) != 0) return FALSE;
  text.SetUtilLength(convert(text.pGetData(), count));
  return TRUE;
}

}  // namespace

BOOL CDiskFile::_sbCopyUnix(const wchar_t* target, const wchar_t* source) {
  CDiskFile in, out;
  if (!in.bOpen(source, kRead, kNoLock, CREATE_OPEN, FLAG_NONE, nullptr) ||
      !out.bOpen(target, kWrite, kNoLock, CREATE_ALWAYS, FLAG_NONE, nullptr))
    return FALSE;
  char block[kCopyBlock];
  unsigned int n = kCopyBlock;
  bool ok = true;
  while (ok && n == kCopyBlock) ok = in.bRead(block, kCopyBlock, &n) && (n == 0 || out.bWrite(block, n, nullptr));
  return ok && bClosed(out) ? TRUE : Removed(out);
}

BOOL CDiskFile::bCopy(const wchar_t* target, const wchar_t* source, CXError* err) {
  std::wstring t = target != nullptr ? target : L"", s = source != nullptr ? source : L"";
  pszBackSlash2Slash(t.data());
  pszBackSlash2Slash(s.data());
  bool ok = false;
  if (t == s || bSameFile(t.c_str(), s.c_str()))
    errno = EINVAL;  // a copy onto itself would empty the file first
  else
    ok = _sbCopyUnix(t.c_str(), s.c_str());
  const BOOL result = _bOnError(ok ? TRUE : FALSE, err, s.c_str(), kResCopy, t.c_str(), s.c_str());
  if (!ok && err != nullptr) err->AddInfo(EIT_DSTFILE, t.c_str());
  return result;
}

BOOL CDiskFile::bConcat(const wchar_t* target, const wchar_t* source) {
  CDiskFile in, out;
  if (!in.bOpen(source, kRead, kNoLock, CREATE_OPEN_ALWAYS, FLAG_NONE, nullptr) ||
      !out.bOpen(target, kWrite, kNoLock, CREATE_OPEN_ALWAYS, FLAG_NONE, nullptr))
    return FALSE;
  // Only the bytes the source holds now: appended to itself it would grow without end.
  const long long end = out.oGetSizeFast(), size = in.oGetSize();
  if (end < 0 || size < 0) return FALSE;
  if (in.bExtract(&out, size) && bClosed(out)) return TRUE;
  const int e = errno;
  out.bSetSize(end, GROW_SET);
  errno = e;
  return FALSE;
}

BOOL CDiskFile::bExtract(const wchar_t* targetName, long long offset, long long size) {
  if (!bSeek(offset, SEEK_FROM_START)) return FALSE;
  if (bSameFile(targetName, m_szFullName)) {  // creating the target would empty the source
    errno = EINVAL;
    _Raise(kResCreate, targetName);
    return FALSE;
  }
  CDiskFile out;
  if (!out.bOpen(targetName, kWrite, kNoLock, CREATE_ALWAYS, FLAG_NONE, nullptr)) return FALSE;
  return bExtract(&out, size) && bClosed(out) ? TRUE : Removed(out);
}

BOOL CDiskFile::bExtractFromFile(const wchar_t* sourceName, long long offset, long long size) {
  const long long end = oGetSizeFast();
  if (end < 0) return FALSE;
  CDiskFile in;
  if (!in.bOpen(sourceName, kRead, kNoLock, CREATE_OPEN, FLAG_NONE, nullptr) || !in.bSeek(offset, SEEK_FROM_START))
    return FALSE;
  if (in.bExtract(this, size)) return TRUE;
  // Cut back past this file's error, which says why the copy failed.
  const int e = errno;
  if (SEAM_ftruncate(m_nFd, end) == 0 && SEAM_lseek(m_nFd, end, SEEK_SET) == end) m_oOffset = end;
  errno = e;
  return FALSE;
}

BOOL CDiskFile::bExtract(const wchar_t* target, const wchar_t* source, long long offset, long long size) {
  CDiskFile in;
  return in.bOpen(source, kRead, kNoLock, CREATE_OPEN_ALWAYS, FLAG_NONE, nullptr) && in.bExtract(target, offset, size);
}

BOOL CDiskFile::bChargeFichier(CZVBIN& buffer, const wchar_t* name, CXError* err) {
  CDiskFile f;
  bool ok = f.bOpen(name, kRead, kNoLock, CREATE_OPEN, FLAG_NONE, nullptr);
  const long long size = ok ? LoadSize(f, f.m_pclError) : -1;
  if (ok && size >= 0 && buffer.nSetSize(static_cast<int>(size)) != 0) f.m_pclError->SetErrorNoMemory();
  ok = size >= 0 && buffer.nGetSize() == size &&
       (size == 0 || f.bRead(buffer.pGetData(), static_cast<unsigned int>(size), nullptr));
  if (ok) {
    if (err != nullptr) err->RAZ();
    return TRUE;
  }
  buffer.Release();
  if (err != nullptr) err->LightCopy(f.m_pclError);
  return FALSE;
}

BOOL CDiskFile::bChargeTexteBOM(CXYString<wchar_t>& text, const wchar_t* name, unsigned int codePage, etxType* type) {
  text.ReleaseDynStr();
  if (type != nullptr) *type = TXT_CODEPAGE;
  CDiskFile f;
  if (!f.bOpen(name, kRead, kNoLock, CREATE_OPEN, FLAG_NONE, nullptr)) return FALSE;
  const long long size = LoadSize(f, f.m_pclError);
  if (size <= 0) return size == 0 ? TRUE : FALSE;
  CSimpleBuffer bytes;
  bytes.SetSize(static_cast<unsigned int>(size));
  if (bytes.pGetData() == nullptr || !f.bRead(bytes.pGetData(), bytes.nGetSize(), nullptr)) return FALSE;
  return bChargeTexteBOMFromBuffer(text, static_cast<unsigned char*>(bytes.pGetData()), bytes.nGetSize(), codePage,
                                   type);
}

BOOL CDiskFile::bChargeTexteBOMFromBuffer(CXYString<wchar_t>& text, unsigned char* bytes, unsigned int count,
                                          unsigned int codePage, etxType* type) {
  text.ReleaseDynStr();
  if (type != nullptr) *type = TXT_CODEPAGE;
  if (count > kMaxLoad || (bytes == nullptr && count > 0)) {
    errno = count > kMaxLoad ? EFBIG : EINVAL;
    return FALSE;
  }
  etxType found = TXT_CODEPAGE;
  unsigned int skip = 0;
  if (count >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    for (unsigned int i = 0; i + 1 < count; i += 2) std::swap(bytes[i], bytes[i + 1]);
    found = TXT_UTF16, skip = 2;
  } else if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    found = TXT_UTF16, skip = 2;
  } else if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    found = TXT_UTF8, skip = 3, codePage = 65001;
  } else if (UTF8Valide(reinterpret_cast<const char*>(bytes), static_cast<int>(count))) {
    found = TXT_UTF8, codePage = 65001;
  }
  if (type != nullptr) *type = found;
  const char* rest = reinterpret_cast<const char*>(bytes) + skip;
  const int n = static_cast<int>(count - skip);
  if (found != TXT_UTF16) {
    return Filled(text, MultiByteToWideChar(codePage, 0, rest, n, nullptr, 0),
                  [&](wchar_t* out, int chars) { return MultiByteToWideChar(codePage, 0, rest, n, out, chars); });
  }
  // The units may be unaligned in the caller's buffer.
  const int units = n / 2;
  if (units == 0) return TRUE;
  auto* aligned = static_cast<unsigned short*>(std::malloc(static_cast<size_t>(units) * 2));
  if (aligned == nullptr) return FALSE;
  std::memcpy(aligned, rest, static_cast<size_t>(units) * 2);
  const BOOL ok = Filled(text, UTF16ToWideChar(aligned, units, nullptr, 0),
                         [&](wchar_t* out, int chars) { return UTF16ToWideChar(aligned, units, out, chars); });
  std::free(aligned);
  return ok;
}

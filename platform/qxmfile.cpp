// The resource module file (platform/qxmfile.h).
#include "platform/qxmfile.h"

#include <cstdlib>

#include "common/ctstring.h"
#include "common/simplebuffer.h"
#include "common/str_buffer.h"
#include "platform/diskfile.h"

CQXMFile::~CQXMFile() { std::free(m_pEntries); }

void CQXMFile::Purge() {
  std::free(m_pEntries);
  m_pEntries = nullptr;
  m_dwIndexOffset = 0;
  m_oDataBase = 0;
  m_dwCount = 0;
  m_dwFormatVersion = 0;
  m_bIndexTried = 0;
}

BOOL CQXMFile::bReadHeader(long long* offset) {
  Purge();
  long long at = offset != nullptr ? *offset : 0;
  if (!CQXFile::bReadHeader(&at)) return FALSE;
  unsigned char words[8];
  unsigned int n = 0;
  if (!bRead(at, words, sizeof words, &n) || n < sizeof words) return FALSE;
  m_dwFormatVersion = QX_dwGet32(words);
  m_nCodePage = m_dwFormatVersion < 2 ? 1252 : 65001;
  m_dwIndexOffset = QX_dwGet32(words + 4);
  at += 8;
  m_oDataBase = m_dwIndexOffset + static_cast<uint64_t>(at);
  if (offset != nullptr) *offset = at;
  return TRUE;
}

BOOL CQXMFile::_bChargeIndex() {
  if (m_pEntries != nullptr) return TRUE;
  if (m_bIndexTried) return FALSE;
  m_bIndexTried = 1;
  const long long size = oGetSize();
  unsigned char word[4];
  if (size < 0 || m_oDataBase > static_cast<uint64_t>(size) ||
      !bRead(static_cast<long long>(m_oDataBase), word, 4, nullptr))
    return FALSE;
  const uint64_t count = QX_dwGet32(word), bytes = 12 * count, end = m_oDataBase + 4 + bytes;
  if (end > static_cast<uint64_t>(size) || bytes > static_cast<uint64_t>(CDiskFile::kMaxLoad)) return FALSE;
  auto* entries = static_cast<STOffsetRessource*>(std::malloc(bytes > 0 ? bytes : 1));
  if (entries == nullptr) return FALSE;
  auto* raw = reinterpret_cast<unsigned char*>(entries);
  if (bytes > 0 && !bRead(raw, static_cast<unsigned int>(bytes), nullptr)) {
    std::free(entries);
    return FALSE;
  }
  for (uint64_t i = 0; i < count; ++i) {
    const uint32_t id = QX_dwGet32(raw + 12 * i);
    const uint64_t at = QX_qwGet64(raw + 12 * i + 4);
    entries[i].dwId = id;
    entries[i].oOffset = at;
  }
  m_pEntries = entries;
  m_dwCount = static_cast<uint32_t>(count);
  m_oDataBase = end;
  return TRUE;
}

// A found entry at offset 0 (the first resource after the index) is read like any other.
bool CQXMFile::_bReadText(unsigned int id, CSimpleBuffer* text) {
  if (!_bChargeIndex()) return false;
  uint32_t lo = 0, hi = m_dwCount;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (m_pEntries[mid].dwId < id)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == m_dwCount || m_pEntries[lo].dwId != id) return false;
  const uint64_t offset = m_pEntries[lo].oOffset;
  const long long size = oGetSize();
  if (size < 0 || offset > static_cast<uint64_t>(size) || m_oDataBase + offset + 5 > static_cast<uint64_t>(size))
    return false;
  const long long at = static_cast<long long>(m_oDataBase + offset);
  unsigned char word[4];
  if (!bRead(at + 1, word, 4, nullptr)) return false;
  const uint32_t length = QX_dwGet32(word);
  if (static_cast<uint64_t>(at) + 5 + length > static_cast<uint64_t>(size)) return false;
  text->SetSize(length);
  return length == 0 || (text->pGetData() != nullptr && bRead(at + 5, text->pGetData(), length, nullptr));
}

namespace {

void Decode(const CSimpleBuffer& bytes, unsigned int codePage, CTString* out) {
  if (bytes.nGetSize() == 0)
    out->Set(nullptr);
  else
    out->SetANSIEx(static_cast<const char*>(bytes.pGetData()), static_cast<int>(bytes.nGetSize()), codePage);
}

}  // namespace

BOOL CQXMFile::bVerifieFormat(const wchar_t* name) {
  Purge();
  const BOOL ok = bOpen(name, IXStream::FORMAT_DEFAULT, IXStream::ACCESS_READ, IXStream::SHARE_NOLOCK,
                        IXStream::CREATE_OPEN, IXStream::FLAG_NONE) &&
                  _bChargeIndex();
  Close();
  return ok;
}

BOOL CQXMFile::bLoadString(unsigned int id, CTString* out) {
  CSimpleBuffer bytes;
  if (out == nullptr || !_bReadText(id, &bytes)) return FALSE;
  Decode(bytes, m_nCodePage, out);
  return TRUE;
}

int CQXMFile::nLoadString(unsigned int id, wchar_t* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = 0;
  CSimpleBuffer bytes;
  CTString text;
  if (!_bReadText(id, &bytes)) return 0;
  Decode(bytes, m_nCodePage, &text);
  STR_nCopyW(buffer, size, text.pszGet(), -1);
  return static_cast<int>(bytes.nGetSize());
}

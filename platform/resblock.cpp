#include "platform/resblock.h"

#include <cstdlib>

namespace {

uint16_t nReadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

CResAnsi32::CResAnsi32(const unsigned char* block, unsigned int size)
    : m_stRessource{block, block != nullptr ? size : 0, &CResAnsi32::nCompareRes, {}, FALSE, 0} {}

int CResAnsi32::nCompareRes(const void* key, const void* offset) {
  const STResKey* k = static_cast<const STResKey*>(key);
  const uint32_t at = *static_cast<const uint32_t*>(offset);
  return static_cast<int>(k->nId) - static_cast<int>(nReadU16(k->pbyBuffer + at + 2));
}

void CResAnsi32::_Index() {
  const unsigned char* block = m_stRessource.pbyBuffer;
  const unsigned int size = m_stRessource.nTaille;
  unsigned int at = 0;
  while (size >= 2 && at <= size - 2) {
    const unsigned int length = nReadU16(block + at);
    if (length == 0) break;
    if (length < RES_RECORD_HEADER || length > size - at) break;
    if (RES_RECORD_HEADER + nReadU16(block + at + 5) > length) break;
    m_stRessource.tabOffsets.push_back(at);
    at += length;
  }
  m_stRessource.nRecords = static_cast<int>(m_stRessource.tabOffsets.size());
  m_stRessource.bIndexed = TRUE;
}

int CResAnsi32::nGetRecordCount() {
  std::call_once(m_once, [this] { _Index(); });
  return m_stRessource.nRecords;
}

BOOL CResAnsi32::bGetRes(STRessourceModule& request) {
  if (nGetRecordCount() == 0) return FALSE;
  const STResKey key{static_cast<uint16_t>(request.nId & 0xFFFF), m_stRessource.pbyBuffer};
  const void* found = bsearch(&key, m_stRessource.tabOffsets.data(), static_cast<size_t>(m_stRessource.nRecords),
                              sizeof(uint32_t), m_stRessource.pfnCompare);
  if (found == nullptr) return FALSE;
  const unsigned char* record = m_stRessource.pbyBuffer + *static_cast<const uint32_t*>(found);
  const unsigned char flags = record[4];
  request.pbyData = record + RES_RECORD_HEADER;
  request.nTaille = nReadU16(record + 5);
  request.nEncodage = (flags & RES_FLAG_UTF16) != 0 ? RES_ENCODING_UTF16 : RES_ENCODING_UTF8;
  request.nUtilisation = flags & RES_FLAG_KIND_MASK;
  return TRUE;
}

BOOL bGetResAnsi32(STRessourceModule& request) {
  static CResAnsi32 s_clModule(_pbyBufferRes32, g_nTailleBufferRes32);
  return s_clModule.bGetRes(request);
}

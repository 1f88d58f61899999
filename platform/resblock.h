// The module's embedded resource block and its lookup by id. The block (_pbyBufferRes32) is
// generated at build time from platform/resources/texts.txt by the packer of
// platform/resources/respack.cpp; CResAnsi32 reads any block of the same record format, and
// bGetResAnsi32 is the lookup named in this module's information record.
//
// Record, little-endian: u16 record length (this field included), u16 id, u8 flags (bits 0-1
// the kind 0 to 3, bit 6 set for UTF-16 text, clear for UTF-8), u16 packed length (unaligned),
// the packed text (platform/datacompressor.h), possibly bytes nobody reads. A record length of 0
// ends the block. Records are sorted by id, ascending, each id once; the last record has the id
// RES_ID_END_MARKER and the marker text RES_END_MARKER_TEXT, packed like any other text.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/dllres.h"

enum : unsigned int {
  RES_RECORD_HEADER = 7,  // bytes before the packed text
  RES_FLAG_KIND_MASK = 0x03,
  RES_FLAG_UTF16 = 0x40,
  RES_ID_END_MARKER = 0xFFFF,
};
inline constexpr char RES_END_MARKER_TEXT[] = "QUENDA RES BLOC UTF16 STOP";

// The embedded block, its terminating zero length included, and its size in bytes.
extern const unsigned char _pbyBufferRes32[];
extern const unsigned int g_nTailleBufferRes32;

class CResAnsi32 {
 public:
  // The block is not copied; it must outlive the reader.
  CResAnsi32(const unsigned char* block, unsigned int size);
  CResAnsi32(const CResAnsi32&) = delete;
  CResAnsi32& operator=(const CResAnsi32&) = delete;

  // Completes the request and answers TRUE when the block holds its id (low 16 bits); otherwise
  // the request is left as it was. The first call indexes the block (safe from any thread).
  BOOL bGetRes(STRessourceModule& request);
  // Records indexed (indexes first). The walk stops at a zero length, or before a record that
  // would run past the block or is shorter than its own header and text.
  int nGetRecordCount();
  BOOL bIsIndexed() const { return m_stRessource.bIndexed; }

  // bsearch comparison: the id of the key (an STResKey) minus that of the record at the offset.
  static int nCompareRes(const void* key, const void* offset);

  struct STResKey {
    uint16_t nId;
    const unsigned char* pbyBuffer;
  };

 private:
  void _Index();

  struct STRessource {
    const unsigned char* pbyBuffer;
    unsigned int nTaille;
    int (*pfnCompare)(const void*, const void*);
    std::vector<uint32_t> tabOffsets;  // record starts
    BOOL bIndexed;
    int nRecords;
  };
  STRessource m_stRessource;
  std::once_flag m_once;
};

// The module's own lookup, over the embedded block.
BOOL bGetResAnsi32(STRessourceModule& request);

// CQXMFile: the resource module file, a typed file (platform/qxfile.h) of any type that holds
// texts by numeric id behind an index sorted by id. After the header: the format version (below 2
// the texts are in code page 1252, from 2 on UTF-8), the index offset (from header end + 8); at
// the index the entry count and the 12-byte entries (id, offset from the index end); at each
// resource a skipped byte, the text's length in bytes and the text.
//
// Counts, lengths and offsets are checked against the file's size before anything is allocated
// or read, so a corrupt file fails the lookup instead of making a huge allocation. Index and text
// reads report failure by their result only.
#pragma once

#include <cstdint>

#include "platform/qxfile.h"

class CSimpleBuffer;
class CTString;

#pragma pack(push, 1)
struct STOffsetRessource {
  uint32_t dwId;
  uint64_t oOffset;
};
#pragma pack(pop)
static_assert(sizeof(STOffsetRessource) == 12, "entries are packed as in the file");

class CQXMFile : public CQXFile {
 public:
  CQXMFile() = default;
  ~CQXMFile() override;

  // Forgets the index, the offsets, the count and the version; the index may be loaded again.
  void Purge();
  // The typed header, then the format version and the index offset. A new file's index is
  // loaded afresh.
  BOOL bReadHeader(long long* offset) override;
  // Opens name read-only without lock, loads the index, closes.
  BOOL bVerifieFormat(const wchar_t* name);
  // The text of id converted from the file's code page.
  BOOL bLoadString(unsigned int id, CTString* out);
  // The text of id converted into at most size - 1 characters of buffer (cut there), terminated.
  // Answers the text's length in bytes as the file holds it (not the characters written), 0 on
  // failure (and for an empty text).
  int nLoadString(unsigned int id, wchar_t* buffer, int size);
  unsigned int nGetCodePage() const { return m_nCodePage; }
  uint32_t dwGetFormatVersion() const { return m_dwFormatVersion; }

 private:
  // Once: TRUE when loaded; a failed attempt fails every later call until Purge.
  BOOL _bChargeIndex();
  // The stored bytes of id's text.
  bool _bReadText(unsigned int id, CSimpleBuffer* text);

  uint32_t m_dwIndexOffset = 0;
  // The index position; after loading, the end of the index.
  uint64_t m_oDataBase = 0;
  uint32_t m_dwCount = 0;
  STOffsetRessource* m_pEntries = nullptr;
  uint32_t m_dwFormatVersion = 0;
  unsigned int m_nCodePage = 65001;
  int m_bIndexTried = 0;
};

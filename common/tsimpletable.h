// CTSimpleTable<T>: a list of elements kept serialised in large blocks, one entry per element.
// An element is stored as a 32-bit length followed by the bytes T writes through its hooks:
//   unsigned int _nGetDataSize() const;           the bytes it needs
//   void _Serialize(void* out) const;             writes exactly them
//   BOOL _Deserialize(const void* in, unsigned int size);  reads them back into an existing T
// and may have
//   unsigned int _nGetRoomSize() const;           the most bytes any element of its kind needs
// An entry is {offset of the element in its block, the block's number}, eight bytes; an empty
// entry has offset kEmptyOffset and block number kNoBlock.
//
// Ownership: the table owns its blocks (the block's bookkeeping and its bytes are one malloc).
// Blocks are never moved, grown, shrunk or freed before SupprimeTout or the destructor, so the
// address of a stored element stays valid that long, also after its entry is removed or
// repointed: owners may key maps on those addresses. Elements and their lengths lie at any
// offset: every access goes through memcpy.
//
// Block rule: an element of s bytes needs s + 4. It goes at the end of the current block when
// that block has room; otherwise a new block becomes current, of rows per block x (s + 4)
// bytes, capped at the maximum bytes per block but never below s + 4. A table that cannot get
// a block leaves the entry empty (nothing is reported beyond the answer). Elements of a T with a
// room size r (kept forms shorter than their whole) size a new block on r instead of s, and a
// block takes at most rows per block elements: the block rule counts rows as for whole ones,
// and the part of a block its short elements leave is never written.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/ttableau.h"
#include "platform/wintypes.h"

template <typename T>
class CTSimpleTable {
 public:
  // A block's bookkeeping; its bytes follow it in the same allocation.
  struct stBUFFERINFO {
    uint32_t nUsed;
    uint32_t nCapacity;
  };
  struct stENTRY {
    uint32_t nOffset;
    uint32_t nBlock;
  };
  static constexpr uint32_t kEmptyOffset = 0xFFFFFFFFu;
  static constexpr uint32_t kNoBlock = 0xFFFFFFFFu;

  CTSimpleTable(int rowsPerBlock, unsigned int maxBytesPerBlock)
      : m_nRowsPerBlock(rowsPerBlock > 0 ? rowsPerBlock : 1),
        m_nMaxBytes(maxBytesPerBlock),
        m_tabEntry(m_nRowsPerBlock),
        m_tabBlock(10),
        m_nBaseRows(m_nRowsPerBlock),
        m_nBaseBytes(maxBytesPerBlock) {}
  CTSimpleTable(const CTSimpleTable&) = delete;
  CTSimpleTable& operator=(const CTSimpleTable&) = delete;
  virtual ~CTSimpleTable() { _FreeBlocks(); }

  int nGetCount() const { return m_tabEntry.nGetCount(); }
  int nGetBlockCount() const { return m_tabBlock.nGetCount(); }
  int nGetRowsPerBlock() const { return m_nRowsPerBlock; }
  unsigned int nGetMaxBytesPerBlock() const { return m_nMaxBytes; }
  const stBUFFERINFO* pGetBlock(int i) const { return m_tabBlock[i]; }

  // Non-zero rows sets the rows per block and the entry list's grow step, non-zero bytes the
  // maximum bytes per block; both become the sizes SupprimeTout goes back to.
  void SetGrowStep(int rows, unsigned int bytes) {
    if (rows > 0) {
      m_nRowsPerBlock = m_nBaseRows = rows;
      m_tabEntry.SetGrowStep(rows);
    }
    if (bytes > 0) m_nMaxBytes = m_nBaseBytes = bytes;
  }

  BOOL bIsEmpty(int i) const { return i < 0 || i >= nGetCount() || m_tabEntry[i].nBlock == kNoBlock; }
  // The stored bytes of entry i (after their length) and their count; null for an empty entry.
  const unsigned char* pGetElement(int i, unsigned int* size) const {
    if (bIsEmpty(i)) {
      if (size != nullptr) *size = 0;
      return nullptr;
    }
    const stENTRY& e = m_tabEntry[i];
    const unsigned char* at = _pData(m_tabBlock[static_cast<int>(e.nBlock)]) + e.nOffset;
    if (size != nullptr) memcpy(size, at, sizeof(uint32_t));
    return at + sizeof(uint32_t);
  }
  // t takes entry i's bytes (_Deserialize); FALSE for an empty entry or when t refuses them.
  BOOL bGetAt(int i, T* t) const {
    unsigned int size = 0;
    const unsigned char* bytes = pGetElement(i, &size);
    return bytes != nullptr && t != nullptr ? t->_Deserialize(bytes, size) : FALSE;
  }

  // Room in the entry list for rows entries in all (none taken back); nothing without memory.
  void Reserve(int rows) {
    if (rows > m_tabEntry.nGetCapacity()) m_tabEntry.AgranditMemoire(rows - m_tabEntry.nGetCount());
  }
  // Room for one more entry, so that the next bAjoute or bInsere cannot fail on the list. The
  // list grows by a quarter of its count at least: a long list is not copied again every few
  // blocks.
  BOOL bMakeRoom() {
    if (m_tabEntry.nGetCapacity() > m_tabEntry.nGetCount()) return TRUE;
    m_tabEntry.AgranditMemoire(m_tabEntry.nGetCount() / 4 > 1 ? m_tabEntry.nGetCount() / 4 : 1);
    return m_tabEntry.nGetCapacity() > m_tabEntry.nGetCount() ? TRUE : FALSE;
  }
  // Appends an entry for t (empty for a null t, or when no block can be had). FALSE, nothing
  // appended, when the entry list cannot grow.
  BOOL bAjoute(const T* t) {
    const stENTRY e = _Store(t);
    return m_tabEntry.Ajoute(e) != nullptr ? TRUE : FALSE;
  }
  // bAjoute of a non-null t when the entry list and the current block have room for it, in
  // line; FALSE, nothing done, when they have not (bAjoute then makes the room).
  BOOL bAjouteInPlace(const T* t) {
    stBUFFERINFO* block = m_pCurrent;
    const uint64_t need = static_cast<uint64_t>(t->_nGetDataSize()) + sizeof(uint32_t);
    if (block == nullptr || m_tabEntry.nGetCount() >= m_tabEntry.nGetCapacity() || !_bRoomIn(block, need))
      return FALSE;
    m_tabEntry.Ajoute(_Append(block, t, need));
    return TRUE;
  }
  // The same, inserted at i (0 <= i <= count).
  BOOL bInsere(const T* t, int i) {
    const stENTRY e = _Store(t);
    return m_tabEntry.Insere(e, i) != nullptr ? TRUE : FALSE;
  }
  // Entry i holds t: written over its element when t fits there (never past it), else stored
  // as for an append and the entry repointed. A null t empties the entry. FALSE (the entry
  // empty) when t could not be stored.
  BOOL bSetAt(int i, const T* t) {
    if (i < 0 || i >= nGetCount()) return FALSE;
    stENTRY& e = m_tabEntry[i];
    if (t != nullptr && e.nBlock != kNoBlock) {
      unsigned char* at = _pData(m_tabBlock[static_cast<int>(e.nBlock)]) + e.nOffset;
      uint32_t room;
      memcpy(&room, at, sizeof room);
      const unsigned int size = t->_nGetDataSize();
      if (size <= room) {
        _Write(at, t, size);
        return TRUE;
      }
    }
    e = _Store(t);
    return t == nullptr || e.nBlock != kNoBlock ? TRUE : FALSE;
  }
  void SetEmpty(int i) {
    if (i >= 0 && i < nGetCount()) m_tabEntry[i] = kEmpty;
  }
  // Removes entry i; its bytes stay where they are until SupprimeTout.
  void Supprime(int i) { m_tabEntry.Supprime(i, 1); }
  // Frees every block, empties the entries and goes back to the sizes of construction or of
  // the last SetGrowStep.
  void SupprimeTout() {
    _FreeBlocks();
    m_tabEntry.SupprimeToutEtLibere();
    m_nRowsPerBlock = m_nBaseRows;
    m_nMaxBytes = m_nBaseBytes;
  }

 protected:
  // Called before a new block is sized; may change the sizes below.
  virtual void _BeforeNewBlock() {}

  int m_nRowsPerBlock;
  unsigned int m_nMaxBytes;

 private:
  static constexpr stENTRY kEmpty = {kEmptyOffset, kNoBlock};

  // The current block is always the last one made.
  uint32_t _nCurrentBlock() const { return static_cast<uint32_t>(m_tabBlock.nGetCount() - 1); }
  static constexpr bool kRoomed = requires(const T* t) { t->_nGetRoomSize(); };

  // The bytes a new block is sized on for t (need: t's own, length included).
  static uint64_t _nBlockNeed(const T* t, uint64_t need) {
    if constexpr (kRoomed) {
      const uint64_t room = static_cast<uint64_t>(t->_nGetRoomSize()) + sizeof(uint32_t);
      return room > need ? room : need;
    }
    return need;
  }
  bool _bRoomIn(const stBUFFERINFO* block, uint64_t need) const {
    if constexpr (kRoomed)
      if (m_nCurrentRows >= static_cast<uint32_t>(m_nRowsPerBlock)) return false;
    return block->nUsed + need <= block->nCapacity;
  }

  // A block's bytes follow its bookkeeping: reading an element then needs no load of the block.
  static unsigned char* _pData(stBUFFERINFO* block) { return reinterpret_cast<unsigned char*>(block + 1); }

  static void _Write(unsigned char* at, const T* t, unsigned int size) {
    const uint32_t length = size;
    memcpy(at, &length, sizeof length);
    t->_Serialize(at + sizeof length);
  }

  stENTRY _Store(const T* t) {
    if (t == nullptr) return kEmpty;
    const uint64_t need = static_cast<uint64_t>(t->_nGetDataSize()) + sizeof(uint32_t);
    // Offsets are 32-bit and kEmptyOffset is no offset.
    if (need >= kEmptyOffset) return kEmpty;
    stBUFFERINFO* block = m_pCurrent;
    if (block == nullptr || !_bRoomIn(block, need)) {
      const uint64_t sized = _nBlockNeed(t, need);
      block = _pNewBlock(static_cast<uint32_t>(sized < kEmptyOffset ? sized : need));
      if (block == nullptr) return kEmpty;
    }
    return _Append(block, t, need);
  }

  // t written at the end of the current block, which has room for need bytes (length included).
  stENTRY _Append(stBUFFERINFO* block, const T* t, uint64_t need) {
    const stENTRY e = {block->nUsed, _nCurrentBlock()};
    _Write(_pData(block) + block->nUsed, t, static_cast<unsigned int>(need - sizeof(uint32_t)));
    block->nUsed += static_cast<uint32_t>(need);
    if constexpr (kRoomed) ++m_nCurrentRows;
    return e;
  }

  stBUFFERINFO* _pNewBlock(uint32_t need) {
    _BeforeNewBlock();
    uint64_t capacity = static_cast<uint64_t>(m_nRowsPerBlock) * need;
    if (capacity > m_nMaxBytes) capacity = m_nMaxBytes;
    if (capacity < need) capacity = need;
    // One allocation: the bookkeeping, then the bytes.
    auto* block = static_cast<stBUFFERINFO*>(malloc(sizeof(stBUFFERINFO) + capacity));
    if (block == nullptr) return nullptr;
    block->nUsed = 0;
    block->nCapacity = static_cast<uint32_t>(capacity);
    if (m_tabBlock.Ajoute(block) == nullptr) {
      free(block);
      return nullptr;
    }
    m_pCurrent = block;
    m_nCurrentRows = 0;
    return block;
  }

  void _FreeBlocks() {
    for (int i = 0; i < m_tabBlock.nGetCount(); ++i) free(m_tabBlock[i]);
    m_tabBlock.SupprimeToutEtLibere();
    m_pCurrent = nullptr;
  }

  CTTableau<stENTRY> m_tabEntry;
  CTTableau<stBUFFERINFO*> m_tabBlock;
  stBUFFERINFO* m_pCurrent = nullptr;
  // Elements in the current block (counted for roomed elements only).
  uint32_t m_nCurrentRows = 0;
  int m_nBaseRows;
  unsigned int m_nBaseBytes;
};

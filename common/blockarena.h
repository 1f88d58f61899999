// CBlockArena: memory for the large blocks of a growing table, carved one after the other out of
// slabs of 4 MiB aligned on 2 MiB, which the kernel may back with huge pages: a table of tens of
// megabytes then costs a few page faults instead of thousands.
//
// Ownership: the arena owns its slabs; a block it hands out is never freed on its own, only all
// together by Free or the destructor. Blocks are never moved. A request larger than a slab, or
// one the system refuses, answers null (the caller takes its memory elsewhere).
#pragma once

#include <cstddef>

#include "common/ttableau.h"

class CBlockArena {
 public:
  static constexpr size_t kSlabBytes = size_t{4} << 20;

  CBlockArena() : m_tabSlab(8) {}
  CBlockArena(const CBlockArena&) = delete;
  CBlockArena& operator=(const CBlockArena&) = delete;
  ~CBlockArena() { Free(); }

  // bytes (rounded up to 16) after the last block carved, or at the start of a new slab when the
  // current one has no room left; null as said above.
  void* pAlloc(size_t bytes);
  // The last block carved, of which only used bytes are kept: the rest goes back to the slab for
  // the next block. Nothing happens for another block.
  void Trim(const void* block, size_t used);
  bool bOwns(const void* p) const;
  // Unmaps every slab: every block handed out is gone.
  void Free();

 private:
  CTTableau<unsigned char*> m_tabSlab;
  unsigned char* m_pLast = nullptr;  // the last block carved
  unsigned char* m_pNext = nullptr;
  unsigned char* m_pEnd = nullptr;
};

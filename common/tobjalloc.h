// CTObjAlloc: a pool of objects of one fixed size, carved from malloc'ed chunks of about 4 KB so
// that the many small nodes and buckets of the in-memory B+tree cost no malloc each. The pool
// owns its chunks and frees all of them when destroyed, in use or not; the objects themselves
// are raw memory (no constructor or destructor runs).
//
// Shared rules:
// - Every object is 8-aligned: a slot is an 8-byte header (the owning chunk while the object is
//   in use, the next free slot while it is free) followed by the object, whose size is rounded
//   up to 8.
// - A chunk with free slots sits in the available list, a full one in the full list. A chunk
//   that becomes entirely free is released unless it is the only chunk of its list.
// - A chunk holds at least 2 objects, whatever the owner asks for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

class CTObjAlloc {
 public:
  class CChunk;

  static constexpr unsigned int mg_nSpaceCostPerObj = 8;
  static const unsigned int mg_nSpaceCostPerChunk;

  // Where chunks come from; a test may put a failing allocator here.
  static void* (*ms_pfnAllocChunk)(size_t size);
  static void (*ms_pfnFreeChunk)(void* block);

  // Objects per chunk for an object size: 4096 / (size + slot header), at least 2.
  static int nObjectsPerChunk(uint64_t objectSize);

  // A pool of object size 0 that holds nothing until Reset gives it its layout.
  CTObjAlloc() = default;
  CTObjAlloc(int objectsPerChunk, unsigned int objectSize);
  CTObjAlloc(const CTObjAlloc&) = delete;
  CTObjAlloc& operator=(const CTObjAlloc&) = delete;
  ~CTObjAlloc();

  // Frees every chunk and gives the pool a new layout (no object of the old one may be in use).
  void Reset(int objectsPerChunk, unsigned int objectSize);

  // The address of a free object (8-aligned, objectSize bytes), or null when a new chunk cannot be had.
  void* pAllocate();
  // Gives back an object that pAllocate of this pool returned.
  void Free(void* object);
  // Makes sure the next n pAllocate calls take no new chunk, creating chunks as needed. FALSE when
  // a chunk cannot be had (chunks already made stay as free room).
  BOOL bReserve(unsigned int n);

  int nGetChunkCount() const { return m_nChunks; }
  int nGetObjectsInUse() const { return m_nInUse; }
  unsigned int nGetObjectSize() const { return m_nObjSize; }

 private:
  CChunk* __pclCreateChunk();
  void __UpdateAfterDeletion(CChunk* chunk);
  void __FreeList(CChunk* head);

  int m_nObjPerChunk = 2;
  CChunk* m_pclFull = nullptr;
  CChunk* m_pclAvailable = nullptr;
  int m_nChunks = 0;
  int m_nInUse = 0;
  unsigned int m_nObjSize = 0;
};

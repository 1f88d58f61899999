#include "common/tobjalloc.h"

#include <cassert>
#include <cstdlib>

// A chunk header, then the slots. The free slots form a ring through their headers.
class CTObjAlloc::CChunk {
 public:
  uint32_t nFree;
  void* pRing;  // one free slot, null when the chunk is full
  CChunk* pNext;
  CChunk* pPrev;
  CTObjAlloc* pOwner;

  // Unlinks the chunk from the list whose head is *head.
  void Remove(CChunk** head) {
    if (pPrev != nullptr) pPrev->pNext = pNext;
    if (pNext != nullptr) pNext->pPrev = pPrev;
    if (*head == this) *head = pNext;
    pNext = pPrev = nullptr;
  }
  void PushFront(CChunk** head) {
    pPrev = nullptr;
    pNext = *head;
    if (*head != nullptr) (*head)->pPrev = this;
    *head = this;
  }
};

const unsigned int CTObjAlloc::mg_nSpaceCostPerChunk = sizeof(CTObjAlloc::CChunk);
void* (*CTObjAlloc::ms_pfnAllocChunk)(size_t) = malloc;
void (*CTObjAlloc::ms_pfnFreeChunk)(void*) = free;

namespace {

static_assert(sizeof(CTObjAlloc::CChunk) % 8 == 0, "slots start 8-aligned");

inline void*& Link(void* slot) { return *static_cast<void**>(slot); }

inline size_t SlotSize(unsigned int objectSize) {
  return CTObjAlloc::mg_nSpaceCostPerObj + ((static_cast<size_t>(objectSize) + 7) & ~static_cast<size_t>(7));
}

}  // namespace

int CTObjAlloc::nObjectsPerChunk(uint64_t objectSize) {
  const uint64_t n = 4096 / (((objectSize + 7) & ~uint64_t{7}) + mg_nSpaceCostPerObj);
  return n < 2 ? 2 : static_cast<int>(n);
}

CTObjAlloc::CTObjAlloc(int objectsPerChunk, unsigned int objectSize) { Reset(objectsPerChunk, objectSize); }

CTObjAlloc::~CTObjAlloc() {
  __FreeList(m_pclAvailable);
  __FreeList(m_pclFull);
}

void CTObjAlloc::Reset(int objectsPerChunk, unsigned int objectSize) {
  __FreeList(m_pclAvailable);
  __FreeList(m_pclFull);
  m_pclAvailable = m_pclFull = nullptr;
  m_nChunks = m_nInUse = 0;
  // With one object a chunk would go from full to entirely free in one step and be released
  // from the wrong list.
  m_nObjPerChunk = objectsPerChunk < 2 ? 2 : objectsPerChunk;
  m_nObjSize = objectSize;
}

void CTObjAlloc::__FreeList(CChunk* head) {
  while (head != nullptr) {
    CChunk* next = head->pNext;
    ms_pfnFreeChunk(head);
    head = next;
  }
}

CTObjAlloc::CChunk* CTObjAlloc::__pclCreateChunk() {
  const size_t slot = SlotSize(m_nObjSize);
  CChunk* chunk = static_cast<CChunk*>(ms_pfnAllocChunk(sizeof(CChunk) + static_cast<size_t>(m_nObjPerChunk) * slot));
  if (chunk == nullptr) return nullptr;
  chunk->pNext = chunk->pPrev = nullptr;
  chunk->pOwner = this;
  // Slot i links to slot i + 1 and the last one back to slot 0: served 1, 2, ... and 0 last.
  char* first = reinterpret_cast<char*>(chunk + 1);
  for (int i = 0; i < m_nObjPerChunk; ++i)
    Link(first + i * slot) = i + 1 < m_nObjPerChunk ? first + (i + 1) * slot : first;
  chunk->pRing = first;
  chunk->nFree = static_cast<uint32_t>(m_nObjPerChunk);
  ++m_nChunks;
  chunk->PushFront(&m_pclAvailable);
  return chunk;
}

void* CTObjAlloc::pAllocate() {
  if (m_pclAvailable == nullptr && __pclCreateChunk() == nullptr) return nullptr;
  CChunk* chunk = m_pclAvailable;
  void* ring = chunk->pRing;
  void* slot = Link(ring);
  if (slot == ring)
    chunk->pRing = nullptr;
  else
    Link(ring) = Link(slot);
  Link(slot) = chunk;
  if (--chunk->nFree == 0) {
    chunk->Remove(&m_pclAvailable);
    chunk->PushFront(&m_pclFull);
  }
  ++m_nInUse;
  return static_cast<char*>(slot) + mg_nSpaceCostPerObj;
}

void CTObjAlloc::Free(void* object) {
  void* slot = static_cast<char*>(object) - mg_nSpaceCostPerObj;
  CChunk* chunk = static_cast<CChunk*>(Link(slot));
  assert(chunk->pOwner == this);
  if (chunk->pRing == nullptr) {
    Link(slot) = slot;
    chunk->pRing = slot;
  } else {
    Link(slot) = Link(chunk->pRing);
    Link(chunk->pRing) = slot;
  }
  ++chunk->nFree;
  __UpdateAfterDeletion(chunk);
}

void CTObjAlloc::__UpdateAfterDeletion(CChunk* chunk) {
  if (chunk->nFree == static_cast<uint32_t>(m_nObjPerChunk)) {
    // Entirely free, so it had a free slot before: it is in the available list.
    if (chunk->pNext != nullptr || chunk->pPrev != nullptr) {
      chunk->Remove(&m_pclAvailable);
      ms_pfnFreeChunk(chunk);
      --m_nChunks;
    }
  } else if (chunk->nFree == 1) {
    chunk->Remove(&m_pclFull);
    chunk->PushFront(&m_pclAvailable);
  }
  --m_nInUse;
}

BOOL CTObjAlloc::bReserve(unsigned int n) {
  while (static_cast<uint64_t>(m_nChunks) * static_cast<uint64_t>(m_nObjPerChunk) - static_cast<uint64_t>(m_nInUse) < n)
    if (__pclCreateChunk() == nullptr) return FALSE;
  return TRUE;
}

#include "common/blockarena.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr size_t kHuge = size_t{2} << 20;

size_t Round16(size_t n) { return (n + 15) & ~size_t{15}; }

// A fresh slab aligned on kHuge: a larger mapping, its unaligned ends given back.
unsigned char* NewSlab() {
  const size_t span = CBlockArena::kSlabBytes + kHuge;
  void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + kHuge - 1) & ~uintptr_t{kHuge - 1};
  if (aligned > start) munmap(p, aligned - start);
  const uintptr_t end = aligned + CBlockArena::kSlabBytes;
  if (start + span > end) munmap(reinterpret_cast<void*>(end), start + span - end);
#ifdef MADV_HUGEPAGE
  // Only a hint: without huge pages the slab is ordinary memory, touched page by page.
  madvise(reinterpret_cast<void*>(aligned), CBlockArena::kSlabBytes, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<unsigned char*>(aligned);
}

}  // namespace

void* CBlockArena::pAlloc(size_t bytes) {
  const size_t need = Round16(bytes);
  if (need > kSlabBytes || need == 0) return nullptr;
  if (m_pNext == nullptr || static_cast<size_t>(m_pEnd - m_pNext) < need) {
    unsigned char* slab = NewSlab();
    if (slab == nullptr) return nullptr;
    if (m_tabSlab.Ajoute(slab) == nullptr) {
      munmap(slab, kSlabBytes);
      return nullptr;
    }
    m_pNext = slab;
    m_pEnd = slab + kSlabBytes;
  }
  m_pLast = m_pNext;
  m_pNext += need;
  return m_pLast;
}

void CBlockArena::Trim(const void* block, size_t used) {
  if (block == nullptr || block != m_pLast) return;
  unsigned char* next = m_pLast + Round16(used);
  if (next < m_pNext) m_pNext = next;
}

bool CBlockArena::bOwns(const void* p) const {
  const auto* b = static_cast<const unsigned char*>(p);
  for (int i = 0; i < m_tabSlab.nGetCount(); ++i)
    if (b >= m_tabSlab[i] && b < m_tabSlab[i] + kSlabBytes) return true;
  return false;
}

void CBlockArena::Free() {
  for (int i = 0; i < m_tabSlab.nGetCount(); ++i) munmap(m_tabSlab[i], kSlabBytes);
  m_tabSlab.SupprimeToutEtLibere();
  m_pLast = m_pNext = m_pEnd = nullptr;
}

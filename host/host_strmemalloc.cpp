#include "host/host_strmemalloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Fresh data is filled with a pattern so that a missing terminator shows up in tests.
constexpr unsigned char kFresh = 0xCD;
constexpr size_t kSpare = 4;

size_t BlockBytes(uint32_t nSize) { return sizeof(STStrMemHeader) + nSize + kSpare; }
}  // namespace

bool CHostStrMemAlloc::ShouldFail() {
  int n = m_nFailNext.load();
  while (n > 0) {
    if (m_nFailNext.compare_exchange_weak(n, n - 1)) return true;
  }
  return false;
}

int CHostStrMemAlloc::Alloc(void** ppData, uint32_t nSize) {
  if (ShouldFail() || nSize > 0x7FFFFF00u) return kErrNoMemory;
  char* block = static_cast<char*>(malloc(BlockBytes(nSize)));
  if (block == nullptr) return kErrNoMemory;
  STStrMemHeader* h = reinterpret_cast<STStrMemHeader*>(block);
  h->dwFlags = 0;
  h->nRefCount = 1;
  h->dwCapacity = nSize;
  h->dwLength = 0;
  void* data = block + sizeof(STStrMemHeader);
  memset(data, kFresh, nSize + kSpare);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocks.insert(data);
  }
  ++m_nLive;
  *ppData = data;
  return 0;
}

int CHostStrMemAlloc::Realloc(void** ppData, uint32_t nSize) {
  void* old = *ppData;
  if (old == nullptr) return Alloc(ppData, nSize);
  if (ShouldFail() || nSize > 0x7FFFFF00u) return kErrNoMemory;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_blocks.find(old) == m_blocks.end()) {
    fprintf(stderr, "stand-in allocator: reallocation of a block it does not own (%p)\n", old);
    abort();
  }
  const uint32_t oldCapacity = StrMemHeader(old)->dwCapacity;
  char* block = static_cast<char*>(realloc(StrMemHeader(old), BlockBytes(nSize)));
  if (block == nullptr) return kErrNoMemory;
  STStrMemHeader* h = reinterpret_cast<STStrMemHeader*>(block);
  h->dwCapacity = nSize;
  void* data = block + sizeof(STStrMemHeader);
  if (nSize > oldCapacity) memset(static_cast<char*>(data) + oldCapacity, kFresh, nSize - oldCapacity + kSpare);
  m_blocks.erase(old);
  m_blocks.insert(data);
  *ppData = data;
  return 0;
}

void CHostStrMemAlloc::FreeStrMem(void* pData) {
  if (pData == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_blocks.erase(pData) == 0) {
      fprintf(stderr, "stand-in allocator: free of a block it does not own (%p)\n", pData);
      abort();
    }
  }
  --m_nLive;
  free(StrMemHeader(pData));
}

int CHostStrMemAlloc::nAllocStrMemOld(void** ppData, uint32_t nSize) {
  ++m_nOldCalls;
  return Alloc(ppData, nSize);
}
int CHostStrMemAlloc::nReallocStrMemOld(void** ppData, uint32_t nSize) {
  ++m_nOldCalls;
  return Realloc(ppData, nSize);
}
int CHostStrMemAlloc::nAllocStrMemNew(void** ppData, uint32_t nSize, uint32_t) {
  ++m_nNewCalls;
  return Alloc(ppData, nSize);
}
int CHostStrMemAlloc::nReallocStrMemNew(void** ppData, uint32_t nSize, uint32_t) {
  ++m_nNewCalls;
  return Realloc(ppData, nSize);
}

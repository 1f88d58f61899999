// The stand-in host's string allocator. Blocks carry the four-word header before the data and 4
// spare bytes after the capacity. It counts live blocks, refuses pointers it did not hand out
// (aborting, so a double free shows in a test), and can be told to fail the next N requests.
#pragma once

#include <atomic>
#include <mutex>
#include <unordered_set>

#include "platform/istrmemalloc.h"

class CHostStrMemAlloc : public IStrMemAlloc {
 public:
  // The code the allocator answers when it cannot (or is told not to) allocate.
  static constexpr int kErrNoMemory = 101;

  int nGetVersion() override { return m_nVersion; }
  int nAllocStrMemOld(void** ppData, uint32_t nSize) override;
  int nReallocStrMemOld(void** ppData, uint32_t nSize) override;
  void FreeStrMem(void* pData) override;
  int nAllocStrMemNew(void** ppData, uint32_t nSize, uint32_t dwOption) override;
  int nReallocStrMemNew(void** ppData, uint32_t nSize, uint32_t dwOption) override;

  // Beyond the host's slots, for tests (virtual so they work across module boundaries).
  virtual void SetVersion(int nVersion) { m_nVersion = nVersion; }
  virtual long nLiveBlocks() { return m_nLive.load(); }
  virtual long nAllocCalls(bool bNewForm) { return bNewForm ? m_nNewCalls.load() : m_nOldCalls.load(); }
  virtual void FailNext(int nCount) { m_nFailNext.store(nCount); }

 private:
  int Alloc(void** ppData, uint32_t nSize);
  int Realloc(void** ppData, uint32_t nSize);
  bool ShouldFail();

  std::mutex m_mutex;
  std::unordered_set<void*> m_blocks;
  std::atomic<long> m_nLive{0};
  std::atomic<long> m_nOldCalls{0};
  std::atomic<long> m_nNewCalls{0};
  std::atomic<int> m_nFailNext{0};
  int m_nVersion = 2;
};

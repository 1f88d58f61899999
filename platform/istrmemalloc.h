// The host's string allocator behind every host dynamic string and binary buffer. The host owns the
// object; the runtime keeps the pointer without a reference. Slot order is the host's: keep it.
//
// A block is four 32-bit words (flags, atomic reference count, capacity in bytes, length in bytes)
// immediately before the data, and 4 usable bytes beyond the capacity for a terminator. Operations
// take the address of a value's data pointer and store the new data pointer there; they answer 0
// or the allocator's own error code. The caller, never the allocator, writes length and terminator.
#pragma once

#include <cstdint>

struct STStrMemHeader {
  uint32_t dwFlags;
  int32_t nRefCount;
  uint32_t dwCapacity;
  uint32_t dwLength;
};
static_assert(sizeof(STStrMemHeader) == 16, "the block header is four 32-bit words");

class IStrMemAlloc {
 public:
  // Below 2 the old forms (slots 1, 2) are used, otherwise the new ones (4, 5).
  virtual int nGetVersion() = 0;
  // New block: flags 0, count 1, capacity at least nSize; *ppData receives the data pointer.
  virtual int nAllocStrMemOld(void** ppData, uint32_t nSize) = 0;
  // Keeps content, flags and count; may move the block and rewrites *ppData.
  virtual int nReallocStrMemOld(void** ppData, uint32_t nSize) = 0;
  virtual void FreeStrMem(void* pData) = 0;
  virtual int nAllocStrMemNew(void** ppData, uint32_t nSize, uint32_t dwOption) = 0;
  virtual int nReallocStrMemNew(void** ppData, uint32_t nSize, uint32_t dwOption) = 0;

 protected:
  ~IStrMemAlloc() = default;
};

inline STStrMemHeader* StrMemHeader(void* pData) {
  return reinterpret_cast<STStrMemHeader*>(static_cast<char*>(pData) - sizeof(STStrMemHeader));
}

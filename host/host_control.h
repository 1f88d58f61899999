// The stand-in host's control surface for tests and the program.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/iinfolocale.h"
#include "platform/istrmemalloc.h"

// What a test or the program may inspect or steer in the stand-in host, through a pointer
// obtained from the loaded host module. Purely abstract, so that callers need nothing of the
// host module but this declaration.
class CHostControl {
 public:
  virtual IInfoLocale* Locale() = 0;
  virtual IStrMemAlloc* Allocator() = 0;
  virtual long nLiveBlocks() = 0;
  // Strings the allocator has handed out since start, in both forms of its interface.
  virtual long nAllocCalls() = 0;
  virtual void FailNextAllocations(int nCount) = 0;
  virtual void SetAllocatorVersion(int nVersion) = 0;
  virtual void SetCurrentLocale(int lcid, int codePage, int charset) = 0;
  virtual void SetGlobalFactoryVersion(int nVersion) = 0;
  // The (code, argument) pairs the host's "Execution" received, oldest first.
  virtual std::vector<std::pair<unsigned int, intptr_t>> Calls() = 0;
  virtual void ClearCalls() = 0;

 protected:
  ~CHostControl() = default;
};

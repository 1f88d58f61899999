// CQXUnknown: reference-counted root of the platform objects that the host's threads may share
// (error object, streams, image memos, reference-counted arrays). Only the count is atomic.
// A new object has count 0; whoever keeps it first takes the first reference, and the release
// that brings the count to 0 deletes it.
#pragma once

#include <atomic>

#include "platform/wintypes.h"

class CQXUnknown {
 public:
  CQXUnknown() = default;
  // A copy is a new object with no reference of its own.
  CQXUnknown(const CQXUnknown&) {}
  CQXUnknown& operator=(const CQXUnknown&) { return *this; }
  virtual ~CQXUnknown();
  // Drops one reference and answers the count left; the release that reaches 0 deletes the
  // object. A release without a reference changes nothing and answers 0.
  virtual DWORD dwRelease();

  DWORD AddRef() { return m_dwRef.fetch_add(1, std::memory_order_relaxed) + 1; }
  DWORD dwGetRefCount() const { return m_dwRef.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> m_dwRef{0};
};

#include "platform/qxunknown.h"

CQXUnknown::~CQXUnknown() = default;

DWORD CQXUnknown::dwRelease() {
  uint32_t count = m_dwRef.load(std::memory_order_relaxed);
  // Never below 0: an extra release would otherwise wrap the count and the object would leak
  // or, worse, be deleted by a later holder's release while still referenced elsewhere.
  do {
    if (count == 0) return 0;
  } while (!m_dwRef.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel,
                                          std::memory_order_relaxed));
  if (count == 1) delete this;
  return count - 1;
}

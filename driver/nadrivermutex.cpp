#include "driver/nadrivermutex.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

long Futex(std::atomic<int>* word, int op, int value) {
  static_assert(sizeof(std::atomic<int>) == sizeof(int), "the kernel waits on a plain int");
  return syscall(SYS_futex, reinterpret_cast<int*>(word), op | FUTEX_PRIVATE_FLAG, value, nullptr, nullptr, 0);
}

}  // namespace

void CNADriverMutex::_LockTaken() {
  const uintptr_t self = s_nSelf();
  // Only this thread writes its own id here, so the test cannot be fooled by another.
  if (m_owner.load(std::memory_order_relaxed) == self) {
    ++m_nNested;
    return;
  }
  _LockSlow();
  m_owner.store(self, std::memory_order_relaxed);
}

void CNADriverMutex::_LockSlow() {
  // Marked as waited before sleeping, so that the holder's release wakes a sleeper; a woken
  // thread marks it again, since others may still sleep.
  while (m_nState.exchange(kWaited, std::memory_order_acquire) != kFree) Futex(&m_nState, FUTEX_WAIT, kWaited);
}

void CNADriverMutex::_Wake() { Futex(&m_nState, FUTEX_WAKE, 1); }

bool CNADriverMutex::bTryLock() {
  const uintptr_t self = s_nSelf();
  if (m_owner.load(std::memory_order_relaxed) == self) {
    ++m_nNested;
    return true;
  }
  int free = kFree;
  if (!m_nState.compare_exchange_strong(free, kHeld, std::memory_order_acquire, std::memory_order_relaxed))
    return false;
  m_owner.store(self, std::memory_order_relaxed);
  return true;
}

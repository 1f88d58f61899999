// CNADriverMutex: the driver mutex, one for the process (CNADriver::m_gstDriverCriticalSection),
// made statically and never destroyed. Recursive: the thread that holds it takes it again with a
// counter of its own, and gives it up when its last hold ends. Every host entry takes it
// first, so the uncontended first hold is one compare-exchange and the owner's id written; a
// nested hold (the registries, the data accesses) finds the word taken and its own id there.
//
// Rules: Lock and Unlock pair on one thread; Unlock by a thread that does not hold it is a fault
// of the caller (not checked). A thread that waits sleeps in the kernel until the holder leaves;
// nothing spins. Acquire/release ordering: what the holder wrote is seen by the next holder.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

class CNADriverMutex {
 public:
  constexpr CNADriverMutex() = default;
  CNADriverMutex(const CNADriverMutex&) = delete;
  CNADriverMutex& operator=(const CNADriverMutex&) = delete;

  // The compare-exchange first: a nested hold finds the word taken and counts itself apart.
  void Lock() {
    int free = kFree;
    if (!m_nState.compare_exchange_strong(free, kHeld, std::memory_order_acquire, std::memory_order_relaxed)) {
      _LockTaken();
      return;
    }
    m_owner.store(s_nSelf(), std::memory_order_relaxed);
  }
  // In line at every host entry's end, as Lock is at its start.
  [[gnu::always_inline]] void Unlock() {
    if (m_nNested != 0) {
      --m_nNested;
      return;
    }
    m_owner.store(0, std::memory_order_relaxed);
    if (m_nState.exchange(kFree, std::memory_order_release) == kWaited) _Wake();
  }
  // Takes it when it is free or already this thread's; whether it did (then Unlock once).
  bool bTryLock();
  // Whether the calling thread holds it.
  bool bHeldByMe() const { return m_owner.load(std::memory_order_relaxed) == s_nSelf(); }

 private:
  // The calling thread, never 0: its thread pointer where the compiler reads it in one
  // instruction (every host entry asks), else its pthread_self.
  static uintptr_t s_nSelf() {
#if !defined(__clang__) && (defined(__x86_64__) || defined(__aarch64__))
    return reinterpret_cast<uintptr_t>(__builtin_thread_pointer());
#else
    return static_cast<uintptr_t>(pthread_self());
#endif
  }
  // kWaited: held, and a thread may sleep on it (the release wakes one).
  enum : int { kFree = 0, kHeld = 1, kWaited = 2 };
  // Lock's end when the word was taken: a further hold of this thread's, else the wait.
  void _LockTaken();
  void _LockSlow();
  void _Wake();

  std::atomic<int> m_nState{kFree};
  std::atomic<uintptr_t> m_owner{0};
  // The owner's holds beyond its first (0 whenever the mutex is free, so that the first hold need
  // not write it); touched by the owner only.
  uint32_t m_nNested = 0;
};

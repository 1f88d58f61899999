#include "driver/nadrivermutex.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <bit>

namespace {

long Futex(int* word, int op, int value) {
  return syscall(SYS_futex, word, op | FUTEX_PRIVATE_FLAG, value, nullptr, nullptr, 0);
}

}  // namespace

int* CNADriverMutex::_pnFutexWord() {
  static_assert(sizeof(std::atomic<uintptr_t>) == sizeof(uintptr_t) && std::atomic<uintptr_t>::is_always_lock_free,
                "the kernel waits on the word's own bytes");
  // The kernel waits on a plain int: the word's half with the marks, which tells a sleeper's
  // expected state from a release and from a holder that nobody waited for.
  int* word = reinterpret_cast<int*>(&m_nState);
  if constexpr (std::endian::native == std::endian::big) word += sizeof(uintptr_t) / sizeof(int) - 1;
  return word;
}

void CNADriverMutex::_Nest() {
  // A waiter may mark the word meanwhile: the mark goes in by an atomic or, never a store.
  if (m_nNested++ == 0) m_nState.fetch_or(kNested, std::memory_order_relaxed);
}

void CNADriverMutex::_LockTaken(uintptr_t seen) {
  const uintptr_t self = s_nSelf();
  // Only this thread writes its own id into the word, so the test cannot be fooled by another.
  if ((seen & ~kMarks) == self) {
    _Nest();
    return;
  }
  _LockSlow(self);
}

void CNADriverMutex::_LockSlow(uintptr_t self) {
  // Marked as waited before sleeping, so that the holder's release wakes a sleeper; a thread that
  // takes it here marks it again, since others may still sleep.
  uintptr_t seen = m_nState.load(std::memory_order_relaxed);
  for (;;) {
    if (seen == kFree) {
      if (m_nState.compare_exchange_weak(seen, self | kWaited, std::memory_order_acquire, std::memory_order_relaxed))
        return;
      continue;
    }
    if ((seen & kWaited) == 0) {
      if (!m_nState.compare_exchange_weak(seen, seen | kWaited, std::memory_order_relaxed, std::memory_order_relaxed))
        continue;
      seen |= kWaited;
    }
    Futex(_pnFutexWord(), FUTEX_WAIT, static_cast<int>(static_cast<uint32_t>(seen)));
    seen = m_nState.load(std::memory_order_relaxed);
  }
}

void CNADriverMutex::_UnlockMarked() {
  if (m_nNested != 0) {
    if (--m_nNested == 0) m_nState.fetch_and(~kNested, std::memory_order_relaxed);
    return;
  }
  // No hold nested: the mark that failed the release's compare is a waiter's.
  if ((m_nState.exchange(kFree, std::memory_order_release) & kWaited) != 0) Futex(_pnFutexWord(), FUTEX_WAKE, 1);
}

[[gnu::noinline]] int CNADriverMutex::_nUnlockMarkedAnswering(int answer) noexcept {
  _UnlockMarked();
  return answer;
}

bool CNADriverMutex::bTryLock() {
  const uintptr_t self = s_nSelf();
  uintptr_t seen = kFree;
  if (m_nState.compare_exchange_strong(seen, self, std::memory_order_acquire, std::memory_order_relaxed)) {
    s_Moved();
    return true;
  }
  if ((seen & ~kMarks) != self) return false;
  _Nest();
  s_Moved();
  return true;
}

// CNADriverMutex: the driver mutex, one for the process (CNADriver::m_gstDriverCriticalSection),
// made statically and never destroyed. Recursive: the thread that holds it takes it again with a
// counter of its own, and gives it up when its last hold ends. One word holds the owner's id and
// two marks (a thread may sleep on it; the owner holds it more than once): every host entry takes
// it first and leaves it last, so the uncontended first hold and its release are each one
// compare-exchange of the owner's id; anything else finds the word not as expected and goes out
// of line.
//
// Every hold but the quiet ones moves the entry count (s_nEntries) at both ends.
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

  // The compare-exchange first: a nested hold or a wait finds the word taken and goes apart.
  void Lock() {
    LockQuiet();
    s_Moved();
  }
  // Lock and Unlock that leave s_nEntries as it was: the read loop's host entries (bHLitxxx,
  // bHEnDehors, bGetRecord), which move it themselves on every road that may change what an
  // armed statement stands for (CNADataAccess::bHostLitxxx).
  [[gnu::always_inline]] void LockQuiet() {
    uintptr_t free = kFree;
    if (!m_nState.compare_exchange_strong(free, s_nSelf(), std::memory_order_acquire, std::memory_order_relaxed))
      _LockTaken(free);
  }
  // Raised at both ends of every hold but the quiet ones, and by every new record layout or read
  // stamp (which a host thread may move outside the mutex): equal counts mean that only the read
  // loop's own roads ran between them (CNAStatement::bArmed).
  static inline std::atomic<uint64_t> s_nEntries{1};
  static void s_Moved() { s_nEntries.fetch_add(1, std::memory_order_relaxed); }
  static uint64_t s_nEntriesNow() { return s_nEntries.load(std::memory_order_relaxed); }
  // In line at every host entry's end, as Lock is at its start: the word is the owner's id alone
  // when no hold is nested and nobody waits.
  [[gnu::always_inline]] void Unlock() {
    s_Moved();
    UnlockQuiet();
  }
  [[gnu::always_inline]] void UnlockQuiet() {
    uintptr_t held = s_nSelf();
    if (!m_nState.compare_exchange_strong(held, kFree, std::memory_order_release, std::memory_order_relaxed))
      _UnlockMarked();
  }
  // UnlockQuiet that answers answer: its marked end is a tail call, so that a host entry that
  // returns what it hands here keeps nothing in a saved register across the release.
  [[gnu::always_inline]] int nUnlockQuietAnswering(int answer) noexcept {
    uintptr_t held = s_nSelf();
    if (!m_nState.compare_exchange_strong(held, kFree, std::memory_order_release, std::memory_order_relaxed))
      return _nUnlockMarkedAnswering(answer);
    return answer;
  }
  // Takes it when it is free or already this thread's; whether it did (then Unlock once).
  bool bTryLock();
  // Whether the calling thread holds it.
  bool bHeldByMe() const { return (m_nState.load(std::memory_order_relaxed) & ~kMarks) == s_nSelf(); }

 private:
  // The calling thread, never 0, with its two low bits clear (the marks'): its thread pointer
  // where one instruction reads it (every host entry asks; it points at the thread's control
  // block, aligned for pointers), else its pthread_self moved past the marks. Read anew at each
  // ask: kept from Lock to Unlock, it would hold a saved register through the whole entry.
  static uintptr_t s_nSelf() {
#if defined(__x86_64__)
    uintptr_t self;
    asm volatile("mov %%fs:0, %0" : "=r"(self));
    return self;
#elif defined(__aarch64__)
    uintptr_t self;
    asm volatile("mrs %0, tpidr_el0" : "=r"(self));
    return self;
#else
    return static_cast<uintptr_t>(pthread_self()) << 2;
#endif
  }
  // kWaited: a thread may sleep on it (the release wakes one). kNested: the owner's holds beyond
  // its first are counted in m_nNested.
  static constexpr uintptr_t kFree = 0, kWaited = 1, kNested = 2, kMarks = kWaited | kNested;
  // Lock's end when the word was seen taken: a further hold of this thread's, else the wait.
  void _LockTaken(uintptr_t seen);
  void _LockSlow(uintptr_t self);
  // Unlock's end when a mark is set: a nested hold's end, else the release that wakes a sleeper.
  void _UnlockMarked();
  int _nUnlockMarkedAnswering(int answer) noexcept;
  // The owner's nested hold: counted, and marked in the word at the first.
  void _Nest();
  // The kernel's word: the half of m_nState that holds the marks.
  int* _pnFutexWord();

  std::atomic<uintptr_t> m_nState{kFree};
  // The owner's holds beyond its first (0 whenever the mutex is free, so that the first hold need
  // not write it); touched by the owner only.
  uint32_t m_nNested = 0;
};

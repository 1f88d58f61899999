// The driver mutex: a thread's nested holds keep the others out until the last one ends, and
// threads that meet on it see each other's writes whole.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "driver/nadrivermutex.h"

namespace {

bool OtherThreadTakes(CNADriverMutex* mutex) {
  bool taken = false;
  std::thread other([&] {
    taken = mutex->bTryLock();
    if (taken) mutex->Unlock();
  });
  other.join();
  return taken;
}

TEST(DriverMutex, NestedHoldsKeepOtherThreadsOutUntilTheLastEnds) {
  struct Case {
    int holds;
    bool tryLockNested;  // the inner holds taken by bTryLock instead of Lock
    bool answering;      // the releases by nUnlockQuietAnswering, which answers what it is given
  };
  const Case cases[] = {{1, false, false}, {2, false, false}, {3, false, false}, {2, true, false},
                        {4, true, false},  {1, false, true},  {3, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.holds);
    CNADriverMutex mutex;
    mutex.Lock();
    for (int i = 1; i < c.holds; ++i) {
      if (c.tryLockNested)
        EXPECT_TRUE(mutex.bTryLock());
      else
        mutex.Lock();
    }
    for (int i = c.holds; i > 0; --i) {
      EXPECT_TRUE(mutex.bHeldByMe());
      EXPECT_FALSE(OtherThreadTakes(&mutex)) << "holds left " << i;
      if (c.answering)
        EXPECT_EQ(mutex.nUnlockQuietAnswering(i), i);
      else
        mutex.Unlock();
    }
    EXPECT_FALSE(mutex.bHeldByMe());
    EXPECT_TRUE(OtherThreadTakes(&mutex));
    // Free again: this thread takes it anew.
    EXPECT_TRUE(mutex.bTryLock());
    mutex.Unlock();
  }
}

// Every hold moves the entry count when it starts and when it ends, but the quiet ones (the read
// loop's): a quiet hold inside another leaves the outer hold's end to move it.
TEST(DriverMutex, EveryHoldButTheQuietOnesMovesTheEntryCount) {
  CNADriverMutex mutex;
  const struct {
    const char* what;
    std::function<void()> hold;
    bool moves;
  } cases[] = {
      {"Lock, Unlock", [&] { mutex.Lock(), mutex.Unlock(); }, true},
      {"bTryLock, Unlock",
       [&] {
         EXPECT_TRUE(mutex.bTryLock());
         mutex.Unlock();
       },
       true},
      {"LockQuiet, UnlockQuiet", [&] { mutex.LockQuiet(), mutex.UnlockQuiet(); }, false},
      {"LockQuiet, nUnlockQuietAnswering",
       [&] {
         mutex.LockQuiet();
         EXPECT_EQ(mutex.nUnlockQuietAnswering(7), 7);
       },
       false},
      {"quiet holds nested", [&] { mutex.LockQuiet(), mutex.LockQuiet(), mutex.UnlockQuiet(), mutex.UnlockQuiet(); },
       false},
  };
  for (const auto& c : cases) {
    const uint64_t before = CNADriverMutex::s_nEntriesNow();
    c.hold();
    EXPECT_EQ(CNADriverMutex::s_nEntriesNow() != before, c.moves) << c.what;
  }
  mutex.Lock();
  const uint64_t inside = CNADriverMutex::s_nEntriesNow();
  mutex.LockQuiet();
  mutex.UnlockQuiet();
  EXPECT_EQ(CNADriverMutex::s_nEntriesNow(), inside);
  mutex.Unlock();
  EXPECT_NE(CNADriverMutex::s_nEntriesNow(), inside);
}

// A thread that sleeps on the mutex while the owner's holds are nested: the inner releases keep it
// asleep, the last one wakes it, whichever the order of its sleep and the nesting.
TEST(DriverMutex, SleeperWaitsThroughNestedReleasesAndWakesAtTheLast) {
  for (const bool nestFirst : {true, false}) {
    SCOPED_TRACE(nestFirst);
    CNADriverMutex mutex;
    std::atomic<int> stage{0};
    mutex.Lock();
    if (nestFirst) mutex.Lock();
    std::thread other([&] {
      stage = 1;
      mutex.Lock();
      stage = 2;
      mutex.Unlock();
    });
    while (stage.load() == 0) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!nestFirst) mutex.Lock();
    mutex.Lock();
    mutex.Unlock();
    mutex.Unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stage.load(), 1);
    EXPECT_TRUE(mutex.bHeldByMe());
    mutex.Unlock();
    other.join();
    EXPECT_EQ(stage.load(), 2);
    EXPECT_FALSE(mutex.bHeldByMe());
    EXPECT_TRUE(OtherThreadTakes(&mutex));
  }
}

// Several threads add to one plain counter, each add inside a nested hold; the waiting ones
// sleep and are woken. A lost wake-up hangs the test, a broken exclusion loses adds.
TEST(DriverMutex, ContendedThreadsLoseNoUpdate) {
  CNADriverMutex mutex;
  constexpr int kThreads = 4;
  constexpr int kAdds = 20000;
  long long counter = 0;
  std::atomic<int> insideAtOnce{0};
  std::atomic<bool> overlapped{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kAdds; ++i) {
        mutex.Lock();
        if (insideAtOnce.fetch_add(1) != 0) overlapped = true;
        mutex.Lock();
        const long long seen = counter;
        if ((i & 1023) == 0) std::this_thread::yield();
        counter = seen + 1;
        mutex.Unlock();
        insideAtOnce.fetch_sub(1);
        mutex.Unlock();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, static_cast<long long>(kThreads) * kAdds);
  EXPECT_FALSE(overlapped.load());
  EXPECT_TRUE(OtherThreadTakes(&mutex));
}

}  // namespace

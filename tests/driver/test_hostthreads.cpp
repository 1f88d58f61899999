// The driver from eight host threads at once: opens that fail (a closed port of this machine) or
// succeed (the private server) write the driver's error object while other threads read it,
// drivers are made while others reach the designated one, and the library is started and ended
// from every thread. Each thread checks what it sees; run in the ThreadSanitizer build
// (scripts/build tsan) the same tests must also report no race.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "access/nadataaccess.h"
#include "driver/naconnectiondescription.h"
#include "driver/nacontext.h"
#include "driver/naentry.h"
#include "driver/naerror.h"
#include "host/host_nadescription.h"
#include "mysql/mysqldriver.h"
#include "mysql/mysqlguard.h"
#include "platform/errortable.h"
#include "platform/maincommun.h"
#include "tests/support/rawmysql.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 40;

// Runs body(thread index) on kThreads threads released together.
void OnEightThreads(const std::function<void(int)>& body) {
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back([&, i] {
      start.arrive_and_wait();
      body(i);
    });
  for (std::thread& t : threads) t.join();
}

using Counts = std::vector<int>;
Counts Zeros() { return Counts(kThreads, 0); }

// Last: it ends the library of the process.
TEST(HostThreads, LibraryStartsAndEndsOnceFromEightThreads) {
  ASSERT_EQ(gnNbInitialisation, 0) << "the library must not have been started in this process";
  Counts started = Zeros(), ended = Zeros();
  // Each caller returns with the runtime started, by itself or by another thread.
  OnEightThreads([&](int i) { started[i] = bInitLibrary(nullptr) && CMainCommun::ms_bInitialise; });
  EXPECT_EQ(started, Counts(kThreads, 1));
  EXPECT_EQ(gnNbInitialisation, kThreads);
  OnEightThreads([&](int i) { ended[i] = TermLibrary() && !CMainCommun::ms_bInitialise; });
  EXPECT_EQ(ended, Counts(kThreads, 1));
}

}  // namespace

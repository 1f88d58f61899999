// Environment, programs started without a shell or a fork, polling waits that leave the test's
// own alarm alone, threads and UUIDs.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "platform/environ.h"
#include "platform/modulepath.h"
#include "platform/process.h"
#include "tests/platform/file_test_dir.h"

namespace {

class Process : public CFileTestDir {
 protected:
  void SetUp() override {
    CFileTestDir::SetUp();
    wchar_t exe[512];
    ASSERT_TRUE(GetModuleFileNameW(nullptr, exe, 512));
    m_echo = std::wstring(exe).substr(0, std::wstring(exe).rfind(L'/') + 1) + L"qx_echoargs";
    ASSERT_EQ(chdir(U8(m_dir).c_str()), 0);
    SetEnvironmentVariable(L"QX_ECHO_FILE", P(L"words").c_str());
  }
  // The words the echo program received, each followed by "|".
  std::string Words() {
    std::string s = ReadAll(P(L"words"));
    for (char& c : s)
      if (c == 0) c = '|';
    return s;
  }
  std::wstring m_echo;
};

TEST_F(Process, CommandLineWordsReachTheProgramWithoutAShell) {
  struct Row {
    const wchar_t* line;
    const char* words;
  } rows[] = {
      {L"a \"b c\" d", "a|b c|d|"},
      {L"x\\\"y", "x\\\"y|"},
      {L"\"a \\\"q\\\" b\" z", "a \\\"q\\\" b|z|"},
      {L"x\"a b\"y", "xa by|"},
      {L"; | $(touch pwned) `touch pwned2` > out < in 2>&1 && $HOME",
       ";|||$(touch|pwned)|`touch|pwned2`|>|out|<|in|2>&1|&&|$HOME|"},
      {L"\"unclosed word", "\"unclosed word|"},
      {L"'single quoted'", "'single|quoted'|"},
      {L"  \"trailing  \"  \"\"  ", "trailing|"},
      {L"\u00e9t\u00e9 \U0001F600", "\xC3\xA9t\xC3\xA9|\xF0\x9F\x98\x80|"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(U8(r.line));
    unlink(U8(P(L"words")).c_str());
    int pid = 0, running = -1, code = -1;
    EXPECT_TRUE(CreateProcess(m_echo.c_str(), r.line, &pid, 1, &running, &code));
    EXPECT_GT(pid, 0);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Words(), r.words);
  }
  EXPECT_FALSE(std::filesystem::exists(U8(P(L"pwned"))));
  EXPECT_FALSE(std::filesystem::exists(U8(P(L"out"))));

  EXPECT_TRUE(CreateProcess(nullptr, (m_echo + L" first").c_str(), nullptr, 1, nullptr, nullptr));
  EXPECT_EQ(Words(), "first|");
  EXPECT_FALSE(CreateProcess(nullptr, L"qx_echoargs a", nullptr, 1, nullptr, nullptr));  // no PATH search
  EXPECT_FALSE(CreateProcess(nullptr, L"sh -c true", nullptr, 1, nullptr, nullptr));
  WriteAll(P(L"plain"), "x");
  EXPECT_FALSE(CreateProcess(P(L"plain").c_str(), L"a", nullptr, 1, nullptr, nullptr));
  SetEnvironmentVariable(L"QX_ECHO_EXIT", L"255");
  EXPECT_FALSE(CreateProcess(m_echo.c_str(), L"a", nullptr, 1, nullptr, nullptr));
  SetEnvironmentVariable(L"QX_ECHO_EXIT", nullptr);
}

TEST_F(Process, ProgramsStartWhileThreadsAllocate) {
  SetEnvironmentVariable(L"QX_ECHO_FILE", L"");
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&stop] {
      while (!stop.load(std::memory_order_relaxed)) delete[] new char[64 + rand() % 4096];
    });
  int ended = 0;
  for (int i = 0; i < 200; ++i) {
    int pid = 0, code = -1;
    if (CreateProcess(m_echo.c_str(), L"x", &pid, 0, nullptr, nullptr) && WaitPid(pid, 20000, &code) == pid &&
        code == 0)
      ++ended;
  }
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(ended, 200);
}

int g_alarms = 0;
void CountAlarm(int) { ++g_alarms; }

TEST_F(Process, WaitPollsUntilTheTimeOutAndLeavesTheAlarmAlone) {
  struct sigaction mine {}, seen{};
  mine.sa_handler = CountAlarm;
  sigaction(SIGALRM, &mine, nullptr);
  alarm(100);
  int pid = 0;
  ASSERT_TRUE(CreateProcess(L"/bin/sleep", L"30", &pid, 0, nullptr, nullptr));
  int status = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitPid(pid, 1500, &status), 0);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 1500);
  EXPECT_LT(ms, 2500);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(WaitPid(pid, 0, nullptr), 0);
  EXPECT_GE(alarm(0), 98u);
  sigaction(SIGALRM, nullptr, &seen);
  EXPECT_EQ(seen.sa_handler, CountAlarm);
  EXPECT_EQ(g_alarms, 0);
  EXPECT_TRUE(TerminateProcess(pid, 0));
  EXPECT_EQ(WaitPid(pid, 10000, &status), pid);
  EXPECT_EQ(WaitPid(pid, 0, &status), -1);
  EXPECT_FALSE(TerminateProcess(0, 0));
  EXPECT_FALSE(TerminateProcess(-1, 0));
  signal(SIGALRM, SIG_DFL);
}

TEST(Environment, LengthsAndCutCopies) {
  ASSERT_TRUE(SetEnvironmentVariable(L"QX_T_\u00c9", L"abc"));
  struct Row {
    unsigned int size;
    unsigned int result;
    const wchar_t* text;
  } rows[] = {{4, 3, L"abc"}, {3, 4, L"ab"}, {1, 4, L""}, {0, 4, L"#"}};
  for (const Row& r : rows) {
    wchar_t buffer[8] = {L'#', 0};
    EXPECT_EQ(GetEnvironmentVariableW(L"QX_T_\u00c9", buffer, r.size), r.result) << r.size;
    EXPECT_EQ(std::wstring(buffer), r.text);
  }
  EXPECT_TRUE(SetEnvironmentVariable(L"QX_T_\u00c9", nullptr));
  EXPECT_EQ(GetEnvironmentVariableW(L"QX_T_\u00c9", nullptr, 0), 0u);
}

TEST(Uuid, ThreadsNeverGetOneUuidTwice) {
  _GUID first{};
  EXPECT_EQ(UuidCreate(&first), 1824);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&first);
  EXPECT_EQ(bytes[6] >> 4, 1);  // version 1
  EXPECT_EQ(bytes[8] & 0xC0, 0x80);
  EXPECT_EQ(bytes[10] & 0x80, 0x80);
  std::vector<std::vector<_GUID>> made(4, std::vector<_GUID>(2000));
  std::vector<std::thread> threads;
  for (auto& list : made)
    threads.emplace_back([&list] {
      for (_GUID& g : list) EXPECT_EQ(UuidCreate(&g), 0);
    });
  for (std::thread& t : threads) t.join();
  std::set<std::string> seen;
  for (const auto& list : made)
    for (const _GUID& g : list) seen.insert(std::string(reinterpret_cast<const char*>(&g), sizeof g));
  EXPECT_EQ(seen.size(), 8000u);
  EXPECT_TRUE(IsEqualGUID(first, first));
  EXPECT_FALSE(IsEqualGUID(first, made[0][0]));
}

}  // namespace

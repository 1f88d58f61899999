// Environment, programs started without a shell or a fork, polling waits that leave the test's
// own alarm alone, threads and UUIDs.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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
    std::replace(s.begin(), s.end(), '\0', '|');
    return s;
  }
  std::wstring m_echo;
};

TEST_F(Process, CommandLineWordsReachTheProgramWithoutAShell) {
  const std::pair<const wchar_t*, const char*> rows[] = {
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
  for (const auto& [line, words] : rows) {
    unlink(U8(P(L"words")).c_str());
    int pid = 0, running = -1, code = -1;
    EXPECT_TRUE(CreateProcess(m_echo.c_str(), line, &pid, 1, &running, &code) && pid > 0 && !running && !code);
    EXPECT_EQ(Words(), words) << U8(line);
  }
  EXPECT_FALSE(std::filesystem::exists(U8(P(L"pwned"))) || std::filesystem::exists(U8(P(L"out"))));

  EXPECT_TRUE(CreateProcess(nullptr, (m_echo + L" first").c_str(), nullptr, 1, nullptr, nullptr));
  EXPECT_EQ(Words(), "first|");
  EXPECT_FALSE(CreateProcess(nullptr, L"qx_echoargs a", nullptr, 1, nullptr, nullptr));  // no PATH search
  EXPECT_FALSE(CreateProcess(nullptr, L"sh -c true", nullptr, 1, nullptr, nullptr));
  WriteAll(P(L"plain"), "x");
  EXPECT_FALSE(CreateProcess(P(L"plain").c_str(), L"a", nullptr, 1, nullptr, nullptr));
  EXPECT_FALSE(CreateProcess(L"/bin/sh", L"-c \"exit 255\"", nullptr, 1, nullptr, nullptr));
}

TEST_F(Process, ChildEndedBySignalReportsItsSignal) {
  const std::pair<const wchar_t*, int> rows[] = {
      {L"-c \"exit 3\"", 3}, {L"-c \"kill -TERM $$\"", 128 + SIGTERM}, {L"-c \"kill -KILL $$\"", 128 + SIGKILL}};
  for (const auto& [line, expected] : rows) {
    int pid = 0, running = -1, code = -1;
    EXPECT_TRUE(CreateProcess(L"/bin/sh", line, &pid, 1, &running, &code) && !running) << U8(line);
    EXPECT_EQ(code, expected) << U8(line);
    ASSERT_TRUE(CreateProcess(L"/bin/sh", line, &pid, 0, nullptr, nullptr));
    EXPECT_TRUE(WaitPid(pid, 10000, &code) == pid && code == expected) << U8(line);
  }
}

TEST_F(Process, ProgramsStartWhileThreadsAllocate) {
  SetEnvironmentVariable(L"QX_ECHO_FILE", L"");
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&stop] {
      while (!stop.load(std::memory_order_relaxed)) delete[] new char[64 + rand() % 4096];
    });
  int ended = 0, pid = 0, code = -1;
  for (int i = 0; i < 200; ++i)
    ended += CreateProcess(m_echo.c_str(), L"x", &pid, 0, nullptr, nullptr) && WaitPid(pid, 20000, &code) == pid;
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
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(took.count() >= 1.5 && took.count() < 2.5) << took.count();
  EXPECT_TRUE(status == 0 && WaitPid(pid, 0, nullptr) == 0);
  EXPECT_GE(alarm(0), 98u);  // the test's own alarm is still pending
  sigaction(SIGALRM, nullptr, &seen);
  EXPECT_TRUE(seen.sa_handler == CountAlarm && g_alarms == 0);
  EXPECT_TRUE(TerminateProcess(pid, 0) && WaitPid(pid, 10000, &status) == pid && WaitPid(pid, 0, &status) == -1);
  EXPECT_FALSE(TerminateProcess(0, 0) || TerminateProcess(-1, 0));  // never a process group
  signal(SIGALRM, SIG_DFL);
}

TEST(Environment, LengthsAndCutCopies) {
  ASSERT_TRUE(SetEnvironmentVariable(L"QX_\u00c9", L"abc"));
  const std::pair<unsigned int, const wchar_t*> rows[] = {{4, L"abc"}, {3, L"ab"}, {1, L""}, {0, L"#"}};
  for (const auto& [size, text] : rows) {
    wchar_t buffer[8] = {L'#', 0};
    EXPECT_EQ(GetEnvironmentVariableW(L"QX_\u00c9", buffer, size), size == 4 ? 3u : 4u);
    EXPECT_EQ(std::wstring(buffer), text);
  }
  EXPECT_TRUE(SetEnvironmentVariable(L"QX_\u00c9", nullptr) && GetEnvironmentVariableW(L"QX_\u00c9", nullptr, 0) == 0);
}

TEST(Uuid, ThreadsNeverGetOneUuidTwice) {
  std::vector<std::array<unsigned char, 16>> made(8001);
  EXPECT_EQ(UuidCreate(reinterpret_cast<_GUID*>(made[8000].data())), 1824);
  EXPECT_TRUE(made[8000][6] >> 4 == 1 && (made[8000][8] & 0xC0) == 0x80 && (made[8000][10] & 0x80) == 0x80);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&made, t] {
      for (int i = t; i < 8000; i += 4) EXPECT_EQ(UuidCreate(reinterpret_cast<_GUID*>(made[i].data())), 0);
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ((std::set<std::array<unsigned char, 16>>(made.begin(), made.end()).size()), 8001u);
}

}  // namespace

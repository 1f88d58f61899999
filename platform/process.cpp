// Processes, threads and UUIDs (declared in platform/process.h).
#include "platform/process.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cwctype>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/diskfile.h"
#include "platform/syscall_seam.h"
#include "platform/unixname.h"

extern char** environ;

namespace {

std::vector<std::wstring> Words(const wchar_t* line) {
  std::vector<std::wstring> words;
  if (line == nullptr) return words;
  const wchar_t* p = line;
  while (*p != 0) {
    while (*p != 0 && iswspace(*p)) ++p;
    if (*p == 0) break;
    std::wstring word;
    bool bQuoted = false;
    size_t open = 0;
    for (; *p != 0 && (bQuoted || !iswspace(*p)); ++p) {
      if (*p == L'"' && (word.empty() || word.back() != L'\\')) {
        if (!bQuoted) open = word.size();
        bQuoted = !bQuoted;
        if (bQuoted) word += L'"';  // removed again when a closing quote comes
        else word.erase(open, 1);
        continue;
      }
      word += *p;
    }
    while (!word.empty() && iswspace(word.back())) word.pop_back();
    if (!word.empty()) words.push_back(word);
  }
  return words;
}

std::mutex g_uuidLock;
bool g_bUuidStarted = false;
uint8_t g_node[6];
uint16_t g_clockSeq;
uint64_t g_lastTime;
unsigned int g_counter;

uint64_t Now() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

void Random(void* out, size_t n) {
  auto* p = static_cast<uint8_t*>(out);
  while (n > 0) {
    const ssize_t got = getrandom(p, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      // No random source: the time and the pid still separate processes.
      const uint64_t seed = Now() ^ (static_cast<uint64_t>(getpid()) << 40);
      for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(seed >> (8 * (i % 8)));
      return;
    }
    p += got;
    n -= static_cast<size_t>(got);
  }
}

}  // namespace

BOOL CreateProcess(const wchar_t* application, const wchar_t* commandLine, int* processId, int wait,
                   int* stillRunning, int* exitCode) {
  unsigned int e = 0;
  if (application != nullptr && CDiskFile::Unix_access(application, X_OK, &e) != 0) return FALSE;
  // Built here, before the child exists: the child only execs.
  std::vector<std::unique_ptr<CUnixName>> bytes;
  if (application != nullptr) bytes.push_back(std::make_unique<CUnixName>(application));
  for (const std::wstring& w : Words(commandLine)) bytes.push_back(std::make_unique<CUnixName>(w.c_str(), true));
  std::vector<char*> argv;
  for (const auto& b : bytes) {
    if (!b->bOk()) return FALSE;
    argv.push_back(const_cast<char*>(b->psz()));
  }
  if (argv.empty()) return FALSE;
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (SEAM_spawn(&pid, argv[0], argv.data(), environ) != 0) return FALSE;
  if (processId != nullptr) *processId = pid;
  if (!wait) return TRUE;
  int code = 0;
  const int ended = WaitPid(pid, 1000, &code);
  if (exitCode != nullptr) *exitCode = code;
  if (stillRunning != nullptr) *stillRunning = ended == 0 ? 1 : 0;
  return ended == 0 || (ended == pid && code != 255) ? TRUE : FALSE;
}

int WaitPid(int pid, unsigned int timeoutMs, int* status) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int raw = 0;
  int result;
  for (;;) {
    result = SEAM_waitpid(pid, &raw, WNOHANG);
    if (result < 0 && errno == EINTR) continue;
    if (result != 0 || timeoutMs == 0) break;
    const auto now = Clock::now();
    if (now >= deadline) break;
    std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(10)));
  }
  // A child ended by a signal reads as a shell reports it, never as a success.
  if (status != nullptr) *status = result <= 0 ? 0 : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
  return result;
}

BOOL TerminateProcess(int pid, int) { return pid > 0 && kill(pid, SIGTERM) == 0 ? TRUE : FALSE; }

void DefaultAlarmHandler(int) {}

void InitAlarmHandler(void (*handler)(int)) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = handler != nullptr ? handler : DefaultAlarmHandler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the signal interrupts system calls
  sigaction(SIGALRM, &action, nullptr);
}

namespace {

uintptr_t Start(void* (*start)(void*), unsigned int stackSize, void* argument, bool bDetached, int* error) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  int e = stackSize != 0 ? pthread_attr_setstacksize(&attr, stackSize) : 0;
  if (e == 0 && bDetached) e = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread{};
  if (e == 0) e = pthread_create(&thread, &attr, start, argument);
  pthread_attr_destroy(&attr);
  *error = e;
  return e == 0 ? static_cast<uintptr_t>(thread) : 0;
}

}  // namespace

uintptr_t _beginthread(void* (*start)(void*), unsigned int stackSize, void* argument) {
  int e = 0;
  const uintptr_t id = Start(start, stackSize, argument, true, &e);
  if (e == 0) return id;
  errno = e;
  return static_cast<uintptr_t>(-1);
}

uintptr_t _beginthreadex(void*, unsigned int stackSize, void* (*start)(void*), void* argument, unsigned int,
                         unsigned long* threadId) {
  int e = 0;
  const uintptr_t id = Start(start, stackSize, argument, false, &e);
  if (e != 0) {
    errno = e;
    return 0;
  }
  if (threadId != nullptr) *threadId = id;
  return id;
}

uintptr_t CreateThread(void* security, unsigned int stackSize, void* (*start)(void*), void* argument,
                       unsigned int flags, unsigned long* threadId) {
  return _beginthreadex(security, stackSize, start, argument, flags, threadId);
}

BOOL SetThreadPriority(unsigned long thread, int priority) {
  sched_param param{};
  param.sched_priority = priority;
  const int e = pthread_setschedparam(static_cast<pthread_t>(thread), SCHED_OTHER, &param);
  if (e == 0) return TRUE;
  errno = e;
  return FALSE;
}

BOOL IsEqualGUID(const _GUID& a, const _GUID& b) { return memcmp(&a, &b, sizeof(_GUID)) == 0 ? TRUE : FALSE; }

int UuidCreate(_GUID* uuid) {
  std::lock_guard<std::mutex> lock(g_uuidLock);
  const bool bFirst = !g_bUuidStarted;
  if (bFirst) {
    Random(g_node, sizeof g_node);
    g_node[0] |= 0x80;
    Random(&g_clockSeq, sizeof g_clockSeq);
    g_clockSeq &= 0x1FFF;
    g_lastTime = Now() - 1000000;
    g_bUuidStarted = true;
  }
  uint64_t now;
  for (;;) {
    now = Now();
    if (now < g_lastTime) {
      g_clockSeq = (g_clockSeq + 1) & 0x1FFF;
      g_counter = 0;
    } else if (now == g_lastTime) {
      if (g_counter >= 9) continue;  // ten in this microsecond: wait for the next one
      ++g_counter;
    } else {
      g_counter = 0;
    }
    break;
  }
  g_lastTime = now;
  const uint64_t t = (now / 1000000) * 10000000 + (now % 1000000) * 10 + g_counter + 122192928000000000ull;
  uint8_t b[16];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(t >> (24 - 8 * i));
  b[4] = static_cast<uint8_t>(t >> 40);
  b[5] = static_cast<uint8_t>(t >> 32);
  b[6] = static_cast<uint8_t>(((t >> 56) & 0x0F) | 0x10);
  b[7] = static_cast<uint8_t>(t >> 48);
  b[8] = static_cast<uint8_t>(((g_clockSeq >> 8) & 0x3F) | 0x80);
  b[9] = static_cast<uint8_t>(g_clockSeq);
  memcpy(b + 10, g_node, 6);
  if (uuid != nullptr) memcpy(uuid, b, 16);
  return bFirst ? 1824 : 0;
}

// Processes, threads and UUIDs of the Win32 emulation. These run inside the host's process, so
// nothing here installs a signal handler, changes a signal's disposition, arms an alarm or forks:
// programs start with posix_spawn, waits poll. Only InitAlarmHandler touches a signal, and only
// when a caller calls it. Process-wide state: the UUID generator's, under its own mutex.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

// Starts a program without a shell: the argument words are the application path (when given)
// and the command line's words; the program is the application path, else the first word, run
// as execve runs it (no PATH search). FALSE when the application path is not executable or the
// program cannot start. With wait: waits up to one second; *stillRunning tells whether it still
// runs, and an ended child whose exit code is 255 answers FALSE. Words: blanks separate them
// outside double quotes; a quote at a word's start or not after a backslash opens or closes a
// quoted part and is removed (the backslash stays); an unclosed quote stays in the word; trailing
// blanks are removed and empty words dropped.
BOOL CreateProcess(const wchar_t* application, const wchar_t* commandLine, int* processId, int wait,
                   int* stillRunning, int* exitCode);
// Polls the child until it ends or timeoutMs pass (0: one check): the pid when it ended, 0 when
// it still runs, -1 on an error. *status becomes the exit code (0 while it runs), 128 + the
// signal number for a child ended by a signal.
int WaitPid(int pid, unsigned int timeoutMs, int* status);
// SIGTERM to one process; FALSE for a pid below 1 (never a process group) or when kill fails.
BOOL TerminateProcess(int pid, int exitCode);
// Installs handler (null: DefaultAlarmHandler) for SIGALRM, interrupting system calls.
void InitAlarmHandler(void (*handler)(int));
void DefaultAlarmHandler(int);

// A detached thread; its id, or (uintptr_t)-1 with errno set.
uintptr_t _beginthread(void* (*start)(void*), unsigned int stackSize, void* argument);
// A joinable thread (the caller joins it); its id, also in *threadId, or 0 with errno set.
uintptr_t _beginthreadex(void* security, unsigned int stackSize, void* (*start)(void*), void* argument,
                         unsigned int flags, unsigned long* threadId);
uintptr_t CreateThread(void* security, unsigned int stackSize, void* (*start)(void*), void* argument,
                       unsigned int flags, unsigned long* threadId);
BOOL SetThreadPriority(unsigned long thread, int priority);

BOOL IsEqualGUID(const _GUID& a, const _GUID& b);
// A version 1 UUID from the time, a counter within the microsecond and a random node and clock
// sequence (getrandom); safe from any thread. 1824 on the process's first call, else 0.
int UuidCreate(_GUID* uuid);

#include "platform/syscall_seam.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct STFault {
  int nErr = 0;       // 0: no failure armed
  int nSkip = 0;      // calls of the kind to let through first
  bool bShort = false;  // a short transfer armed
  size_t nShort = 0;
};

STFault s_faults[SYSCALL_COUNT];
std::atomic<int> s_nArmed{0};

// TRUE (errno set) when this call must fail.
bool bFails(eSYSCALL kind) {
  if (s_nArmed.load(std::memory_order_relaxed) == 0) return false;
  STFault& f = s_faults[kind];
  if (f.nErr == 0) return false;
  if (f.nSkip > 0) {
    --f.nSkip;
    return false;
  }
  errno = f.nErr;
  f.nErr = 0;
  s_nArmed.fetch_sub(1, std::memory_order_relaxed);
  return true;
}

// The count this transfer may move.
size_t nAllowed(eSYSCALL kind, size_t count) {
  if (s_nArmed.load(std::memory_order_relaxed) == 0) return count;
  STFault& f = s_faults[kind];
  if (!f.bShort) return count;
  const size_t n = f.nShort < count ? f.nShort : count;
  f.bShort = false;
  s_nArmed.fetch_sub(1, std::memory_order_relaxed);
  return n;
}

}  // namespace

void SEAM_FailNext(eSYSCALL kind, int err, int skip) {
  if (err == 0) return;
  if (s_faults[kind].nErr == 0) s_nArmed.fetch_add(1, std::memory_order_relaxed);
  s_faults[kind].nErr = err;
  s_faults[kind].nSkip = skip;
}

void SEAM_ShortNext(eSYSCALL kind, size_t n) {
  if (!s_faults[kind].bShort) s_nArmed.fetch_add(1, std::memory_order_relaxed);
  s_faults[kind].bShort = true;
  s_faults[kind].nShort = n;
}

void SEAM_ClearFaults() {
  for (STFault& f : s_faults) f = STFault{};
  s_nArmed.store(0, std::memory_order_relaxed);
}

int SEAM_open(const char* path, int flags, mode_t mode) {
  return bFails(SYSCALL_OPEN) ? -1 : open(path, flags | O_CLOEXEC, mode);
}

// The descriptor is released even when the call fails, as Linux does.
int SEAM_close(int fd) {
  const int r = close(fd);
  return bFails(SYSCALL_CLOSE) ? -1 : r;
}

ssize_t SEAM_read(int fd, void* buffer, size_t count) {
  return bFails(SYSCALL_READ) ? -1 : read(fd, buffer, nAllowed(SYSCALL_READ, count));
}

ssize_t SEAM_write(int fd, const void* buffer, size_t count) {
  return bFails(SYSCALL_WRITE) ? -1 : write(fd, buffer, nAllowed(SYSCALL_WRITE, count));
}

off_t SEAM_lseek(int fd, off_t offset, int whence) { return bFails(SYSCALL_LSEEK) ? -1 : lseek(fd, offset, whence); }

int SEAM_fsync(int fd) { return bFails(SYSCALL_FSYNC) ? -1 : fsync(fd); }

int SEAM_ftruncate(int fd, off_t length) { return bFails(SYSCALL_FTRUNCATE) ? -1 : ftruncate(fd, length); }

int SEAM_fcntl_lock(int fd, int command, struct flock* lock) {
  return bFails(SYSCALL_FCNTL) ? -1 : fcntl(fd, command, lock);
}

int SEAM_fstat(int fd, struct stat* st) { return bFails(SYSCALL_FSTAT) ? -1 : fstat(fd, st); }
int SEAM_stat(const char* path, struct stat* st) { return bFails(SYSCALL_STAT) ? -1 : stat(path, st); }
int SEAM_lstat(const char* path, struct stat* st) { return bFails(SYSCALL_LSTAT) ? -1 : lstat(path, st); }
int SEAM_access(const char* path, int mode) { return bFails(SYSCALL_ACCESS) ? -1 : access(path, mode); }
int SEAM_mkdir(const char* path, mode_t mode) { return bFails(SYSCALL_MKDIR) ? -1 : mkdir(path, mode); }
int SEAM_rmdir(const char* path) { return bFails(SYSCALL_RMDIR) ? -1 : rmdir(path); }
int SEAM_unlink(const char* path) { return bFails(SYSCALL_UNLINK) ? -1 : unlink(path); }

int SEAM_rename(const char* from, const char* to, unsigned int flags) {
  if (bFails(SYSCALL_RENAME)) return -1;
  return flags == 0 ? rename(from, to) : renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

int SEAM_chmod(const char* path, mode_t mode) { return bFails(SYSCALL_CHMOD) ? -1 : chmod(path, mode); }

int SEAM_chown(const char* path, uid_t uid, gid_t gid) { return bFails(SYSCALL_CHOWN) ? -1 : chown(path, uid, gid); }

int SEAM_utime(const char* path, const struct utimbuf* times) {
  return bFails(SYSCALL_UTIME) ? -1 : utime(path, times);
}

int SEAM_statfs(const char* path, struct statfs* st) { return bFails(SYSCALL_STATFS) ? -1 : statfs(path, st); }
DIR* SEAM_opendir(const char* path) { return bFails(SYSCALL_OPENDIR) ? nullptr : opendir(path); }
struct dirent* SEAM_readdir(DIR* dir) { return bFails(SYSCALL_READDIR) ? nullptr : readdir(dir); }

int SEAM_closedir(DIR* dir) {
  const int r = closedir(dir);
  return bFails(SYSCALL_CLOSEDIR) ? -1 : r;
}

int SEAM_chdir(const char* path) { return bFails(SYSCALL_CHDIR) ? -1 : chdir(path); }

char* SEAM_getcwd(char* buffer, size_t size) { return bFails(SYSCALL_GETCWD) ? nullptr : getcwd(buffer, size); }

int SEAM_mkfifo(const char* path, mode_t mode) { return bFails(SYSCALL_MKFIFO) ? -1 : mkfifo(path, mode); }

FILE* SEAM_fopen(const char* path, const char* mode) {
  if (bFails(SYSCALL_FOPEN)) return nullptr;
  const std::string m = std::string(mode != nullptr ? mode : "") + "e";
  return fopen(path, m.c_str());
}

int SEAM_mkstemp(char* templ) { return bFails(SYSCALL_MKSTEMP) ? -1 : mkostemp(templ, O_CLOEXEC); }

ssize_t SEAM_readlink(const char* path, char* buffer, size_t size) {
  return bFails(SYSCALL_READLINK) ? -1 : readlink(path, buffer, size);
}

int SEAM_spawn(pid_t* pid, const char* path, char* const argv[], char* const envp[]) {
  if (bFails(SYSCALL_SPAWN)) return errno;
  return posix_spawn(pid, path, nullptr, nullptr, argv, envp);
}

pid_t SEAM_waitpid(pid_t pid, int* status, int options) {
  return bFails(SYSCALL_WAITPID) ? -1 : waitpid(pid, status, options);
}

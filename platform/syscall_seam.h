// The one door of the file layer to the system: every system call of the path, file-system,
// disk-file and module-path operations goes through these wrappers, so that a test can make the
// next call of a kind fail with an errno or move fewer bytes than asked. Unarmed, a wrapper is
// the system call itself (one relaxed load more).
//
// Rules of the wrappers:
// - Results and errno are those of the system call; an injected failure returns -1 (null for the
//   pointer results; the error number for SEAM_spawn) with the injected errno and makes no call,
//   except close, which releases the descriptor first as Linux does on a failed close.
// - Every descriptor opened here is close-on-exec (O_CLOEXEC, "e" for fopen, mkostemp), so a
//   program started by the process inherits none.
// - Faults are process-wide and meant for single-threaded tests; a forked child inherits them.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <utime.h>

#include <cstddef>
#include <cstdio>

enum eSYSCALL : int {
  SYSCALL_OPEN,
  SYSCALL_CLOSE,
  SYSCALL_READ,
  SYSCALL_WRITE,
  SYSCALL_LSEEK,
  SYSCALL_FSYNC,
  SYSCALL_FTRUNCATE,
  SYSCALL_FCNTL,
  SYSCALL_FSTAT,
  SYSCALL_STAT,
  SYSCALL_LSTAT,
  SYSCALL_ACCESS,
  SYSCALL_MKDIR,
  SYSCALL_RMDIR,
  SYSCALL_UNLINK,
  SYSCALL_RENAME,
  SYSCALL_CHMOD,
  SYSCALL_CHOWN,
  SYSCALL_UTIME,
  SYSCALL_STATFS,
  SYSCALL_OPENDIR,
  SYSCALL_CHDIR,
  SYSCALL_GETCWD,
  SYSCALL_MKFIFO,
  SYSCALL_FOPEN,
  SYSCALL_MKSTEMP,
  SYSCALL_READLINK,
  SYSCALL_SPAWN,
  SYSCALL_WAITPID,
  SYSCALL_READDIR,
  SYSCALL_CLOSEDIR,
  SYSCALL_COUNT
};

// ---- Test control ----
// The call of kind after `skip` further calls of it fails with err (one call only).
void SEAM_FailNext(eSYSCALL kind, int err, int skip = 0);
// The next read or write moves at most n bytes; with n = 0 it moves none, which a read reports
// as the end of the file.
void SEAM_ShortNext(eSYSCALL kind, size_t n);
// Disarms every fault.
void SEAM_ClearFaults();

// ---- Wrappers ----
int SEAM_open(const char* path, int flags, mode_t mode);
int SEAM_close(int fd);
ssize_t SEAM_read(int fd, void* buffer, size_t count);
ssize_t SEAM_write(int fd, const void* buffer, size_t count);
off_t SEAM_lseek(int fd, off_t offset, int whence);
int SEAM_fsync(int fd);
int SEAM_ftruncate(int fd, off_t length);
// F_OFD_* lock commands (and any other command taking a struct flock).
int SEAM_fcntl_lock(int fd, int command, struct flock* lock);
int SEAM_fstat(int fd, struct stat* st);
int SEAM_stat(const char* path, struct stat* st);
int SEAM_lstat(const char* path, struct stat* st);
int SEAM_access(const char* path, int mode);
int SEAM_mkdir(const char* path, mode_t mode);
int SEAM_rmdir(const char* path);
int SEAM_unlink(const char* path);
// flags 0: rename(2); RENAME_NOREPLACE: renameat2.
int SEAM_rename(const char* from, const char* to, unsigned int flags);
int SEAM_chmod(const char* path, mode_t mode);
int SEAM_chown(const char* path, uid_t uid, gid_t gid);
int SEAM_utime(const char* path, const struct utimbuf* times);
int SEAM_statfs(const char* path, struct statfs* st);
DIR* SEAM_opendir(const char* path);
// errno is left as readdir leaves it: unchanged at the end of the listing.
struct dirent* SEAM_readdir(DIR* dir);
// The stream is released even when the call fails.
int SEAM_closedir(DIR* dir);
int SEAM_chdir(const char* path);
char* SEAM_getcwd(char* buffer, size_t size);
int SEAM_mkfifo(const char* path, mode_t mode);
// mode gets "e" appended.
FILE* SEAM_fopen(const char* path, const char* mode);
// The template's six X replaced; the file created with mode 0600.
int SEAM_mkstemp(char* templ);
ssize_t SEAM_readlink(const char* path, char* buffer, size_t size);
// posix_spawn: 0 or an error number.
int SEAM_spawn(pid_t* pid, const char* path, char* const argv[], char* const envp[]);
pid_t SEAM_waitpid(pid_t pid, int* status, int options);

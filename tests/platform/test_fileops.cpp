// File-system operations by name on real directories with non-ASCII names: every failure leaves
// the system error, the text and the name; moves and renames keep both files on failure; paths
// too long are refused; failures injected at the system-call seam; temporary names and times.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "common/ctstring.h"
#include "file_test_dir.h"
#include "platform/diskfile.h"
#include "platform/errortable.h"
#include "platform/unixname.h"

namespace {

using DF = CDiskFile;

class CFileOps : public CFileTestDir {
 protected:
  void SetUp() override {
    CFileTestDir::SetUp();
    WriteAll(P(L"f é"), "file");
    WriteAll(P(L"g"), "other");
    ASSERT_TRUE(std::filesystem::create_directory(U8(P(L"d 文"))));
    WriteAll(P(L"d 文/in"), "x");
    std::filesystem::create_symlink("loop", U8(P(L"loop")));
  }
};

TEST_F(CFileOps, FailuresLeaveTheSystemErrorTheTextAndTheName) {
  const std::wstring file = P(L"f é"), dir = P(L"d 文"), missing = P(L"none"), loop = P(L"loop");
  const std::wstring component = P(std::wstring(100, L'文')), tooLong = P(std::wstring(260, L'a'));
  wchar_t out[261];
  unsigned int length = 0;
  struct stat st;
  DF::_stXFILETIME t;
  const struct {
    std::function<BOOL(CXError*)> op;
    unsigned int id, err;
    std::wstring name;  // the name in the text and in EIT_SRCFILE
  } kRows[] = {
      {[&](CXError* e) { return DF::bDelete(missing.c_str(), e); }, 28123, ENOENT, missing},
      {[&](CXError* e) { return DF::bDelete(dir.c_str(), e); }, 28123, EISDIR, dir},
      {[&](CXError* e) { return DF::bDeleteDirectory(dir.c_str(), e); }, 28127, ENOTEMPTY, dir},
      {[&](CXError* e) { return DF::bCreateDirectory(file.c_str(), e); }, 28126, EEXIST, file},
      {[&](CXError* e) { return DF::bCreateDirectory((file + L"/x").c_str(), e); }, 28126, ENOTDIR, file + L"/x"},
      {[&](CXError* e) { return DF::bCreateDirectory(component.c_str(), e); }, 28126, ENAMETOOLONG, component},
      {[&](CXError* e) { return DF::bCreateDirectory(tooLong.c_str(), e); }, 28126, ENAMETOOLONG, tooLong},
      {[&](CXError* e) { return DF::bCreateDirectory(L"", e); }, 28126, ENOENT, L""},
      {[&](CXError* e) { return DF::bGetFileStatus(loop.c_str(), &st, e); }, 28128, ELOOP, loop},
      {[&](CXError* e) { return DF::bGetLastModificationTime(missing.c_str(), &t, e); }, 28128, ENOENT, missing},
      {[&](CXError* e) { return DF::s_oGetSize(dir.c_str(), e) >= 0; }, 28128, EISDIR, dir},
      {[&](CXError* e) { return DF::bRename(P(L"g").c_str(), file.c_str(), e); }, 28124, EEXIST, file},
      {[&](CXError* e) { return DF::bSetFileAttributesUnix(missing.c_str(), 0600, e); }, 28130, ENOENT, missing},
      {[&](CXError* e) { return DF::bSetFileOwnerUnix(missing.c_str(), 0, 0, e); }, 25852, ENOENT, missing},
      {[&](CXError* e) { return DF::bGetFullPath(out, 5, file.c_str(), &length, e); }, 28131, ENAMETOOLONG, file},
      {[&](CXError* e) { return DF::bGetTempName(out, missing.c_str(), L"p", e); }, 28134, ENOENT, missing},
      {[&](CXError* e) { return DF::bGetDiskSpace(missing.c_str(), nullptr, nullptr, e); }, 28138, ENOENT, missing},
      {[&](CXError* e) { return SEAM_FailNext(SYSCALL_GETCWD, EACCES), DF::bGetCurrentDirectory(out, e); }, 28307,
       EACCES, L""},
  };
  for (const auto& r : kRows) {
    _CXErrorModule32 e;
    EXPECT_FALSE(r.op(&e));
    ExpectRaised(&e, r.id, r.err, r.name, U8(r.name).c_str());
    EXPECT_EQ(static_cast<unsigned int>(errno), r.err) << "errno kept for the caller";
  }
  EXPECT_EQ(length, file.size() + 1);  // the size needed
  EXPECT_EQ(ReadAll(file) + ReadAll(P(L"g")), "fileother");
  _CXErrorModule32 e;
  ASSERT_FALSE(DF::bDelete(missing.c_str(), &e));
  EXPECT_TRUE(DF::bDelete(file.c_str(), &e));
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_NONE);
}

TEST_F(CFileOps, CreateDirectoryMakesEveryMissingParentOrFailsAtTheOneThatFails) {
  const std::wstring deep = P(L"é/文/\U0001F600/");
  for (int n = 0; n < 3; ++n) {
    std::filesystem::remove_all(U8(P(L"é")));
    _CXErrorModule32 e;
    SEAM_FailNext(SYSCALL_MKDIR, EIO, n);
    EXPECT_FALSE(DF::bCreateDirectory(deep.c_str(), &e));
    const std::wstring failed = n < 2 ? deep.substr(0, deep.find(L'/', m_dir.size() + 1 + 2 * n)) : deep;
    ExpectRaised(&e, 28126, EIO, failed, U8(failed).c_str());
  }
  EXPECT_TRUE(DF::bCreateDirectory(deep.c_str(), nullptr));
  EXPECT_TRUE(DF::bCreateDirectory(deep.c_str(), nullptr));  // exists already
  EXPECT_TRUE(DF::bIsADirectory((deep + L"\\").c_str()));
}

TEST_F(CFileOps, MovesAndRenamesKeepBothFilesWhenTheyFail) {
  const std::wstring f = P(L"f é"), g = P(L"g");
  EXPECT_TRUE(DF::bMove(f.c_str(), (m_dir + L"\\f é  ").c_str(), nullptr));  // the same name
  EXPECT_TRUE(DF::bMove(g.c_str(), f.c_str(), nullptr));                     // replaces g
  EXPECT_EQ(ReadAll(g), "file");
  EXPECT_FALSE(DF::bExist(f.c_str()));
  EXPECT_TRUE(DF::bRename(f.c_str(), g.c_str(), nullptr));
  SEAM_FailNext(SYSCALL_RENAME, EIO);
  EXPECT_FALSE(DF::bMove(g.c_str(), f.c_str(), nullptr));
  EXPECT_EQ(ReadAll(f), "file");
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no second file system";
  const std::wstring shm = Wide("/dev/shm/qx_" + std::to_string(getpid()) + "_é");
  WriteAll(shm, "target");
  _CXErrorModule32 e;
  EXPECT_FALSE(DF::bMove(shm.c_str(), f.c_str(), &e));
  ExpectRaised(&e, 28124, EXDEV, f, "across devices");
  const void* dst = nullptr;
  EXPECT_TRUE(e.bGetInfo(EIT_DSTFILE, &dst) && shm == static_cast<const wchar_t*>(dst));
  EXPECT_EQ(ReadAll(shm) + ReadAll(f), "targetfile");
  std::filesystem::remove(U8(shm));
}

TEST_F(CFileOps, TemporaryNamesAndHomeDirectory) {
  const char* savedTmp = getenv("TMPDIR");
  const std::string keepTmp = savedTmp != nullptr ? savedTmp : "";
  setenv("TMPDIR", U8(m_dir).c_str(), 1);
  wchar_t dir[261], a[261], b[261];
  ASSERT_TRUE(DF::bGetTempDirectory(dir, nullptr));
  EXPECT_EQ(std::wstring(dir), m_dir + L"/");
  ASSERT_TRUE(DF::bGetTempName(a, L"lög", nullptr));
  ASSERT_TRUE(DF::bGetTempName(b, L"lög", nullptr));
  EXPECT_NE(std::wstring(a), std::wstring(b));
  EXPECT_EQ(std::wstring(a).substr(0, m_dir.size() + 4), m_dir + L"/lög");
  EXPECT_EQ(wcslen(a), m_dir.size() + 10);
  struct stat st;
  ASSERT_EQ(DF::Unix_stat(a, &st, nullptr), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::wstring prefix(260 - m_dir.size() - 6, L'p');  // one character too many
  EXPECT_FALSE(DF::bGetTempName(a, m_dir.c_str(), prefix.c_str(), nullptr));
  EXPECT_EQ(errno, ENAMETOOLONG);
  setenv("TMPDIR", std::string(300, 'a').c_str(), 1);
  _CXErrorModule32 e;
  EXPECT_FALSE(DF::bGetTempDirectory(dir, &e));
  ExpectRaised(&e, 28133, ENAMETOOLONG, L"", "TMPDIR too long");
  savedTmp != nullptr ? setenv("TMPDIR", keepTmp.c_str(), 1) : unsetenv("TMPDIR");

  const std::string keepHome = getenv("HOME") != nullptr ? getenv("HOME") : "";
  setenv("HOME", "/home/\xC3\xA9t\xFF", 1);  // an invalid byte comes back as U+DCFF
  CTString home;
  DF::GetHomeDir(&home);
  EXPECT_EQ(std::wstring(home.pszGet()), L"/home/ét\xDCFF");
  unsetenv("HOME");
  std::wstring user;
  ASSERT_TRUE(UNIX_bUserHome(&user));
  DF::GetHomeDir(&home);
  EXPECT_EQ(std::wstring(home.pszGet()), user);
  setenv("HOME", keepHome.c_str(), 1);
}

TEST_F(CFileOps, SystemRunsTheShellAndKeepsBackslashes) {
  const std::wstring out = P(L"out é");
  const int status = DF::Unix_system((L"printf '%s' 'a\\b' > '" + out + L"'; exit 3").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(ReadAll(out), "a\\b");
  EXPECT_EQ(DF::Unix_system(nullptr), 1);
  SEAM_FailNext(SYSCALL_SPAWN, EAGAIN);
  EXPECT_EQ(DF::Unix_system(L"true"), -1);
  EXPECT_EQ(errno, EAGAIN);
}

TEST_F(CFileOps, AttributesSizesAndTimes) {
  const std::wstring hidden = P(L".caché");
  WriteAll(hidden, "12345");
  ASSERT_TRUE(DF::bSetFileAttributesUnix(hidden.c_str(), 0640, nullptr));
  int attributes = 0;
  unsigned int err = 99;
  long long size = 0;
  ASSERT_TRUE(DF::__bGetFileAttributesAndSize(attributes, &size, nullptr, hidden.c_str(), err, nullptr));
  EXPECT_EQ(static_cast<unsigned int>(attributes), 0x80000000u | 0x8000 | 0640);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(err, 0u);
  ASSERT_TRUE(DF::bGetFileAttributes(&attributes, P(L"d 文").c_str(), nullptr));
  EXPECT_EQ(attributes & 0xF000, 0x4000);
  ASSERT_TRUE(DF::bSetFileAttributes(hidden.c_str(), -2, nullptr));
  EXPECT_EQ(std::filesystem::status(U8(hidden)).permissions(), std::filesystem::perms(0444));

  // Only a write time: the access time stays.
  const time_t access = 1000000000, write = 1200000000;
  utimbuf times{access, access};
  ASSERT_EQ(DF::Unix_utime(hidden.c_str(), &times), 0);
  _FILETIME ft;
  ASSERT_TRUE(TimeToFileTime(write, &ft));
  ASSERT_TRUE(SetFileTime(hidden.c_str(), nullptr, nullptr, &ft));
  struct stat st;
  ASSERT_EQ(DF::Unix_stat(hidden.c_str(), &st, nullptr), 0);
  EXPECT_EQ(st.st_atime, access);
  EXPECT_EQ(st.st_mtime, write);

  const struct {
    DF::_stXFILETIME t;
    unsigned int dos;
  } kDos[] = {{{2024, 3, 15, 10, 42, 36, 0}, 0x586F5552u}, {{1980, 1, 1, 0, 0, 0, 0}, 0x00210000u},
              {{2107, 12, 31, 23, 59, 58, 0}, 0xFF9FBF7Du}};
  for (const auto& r : kDos) {
    unsigned int dos = 0;
    DF::_stXFILETIME back;
    ASSERT_TRUE(DF::bSystemTimeToDosFileTime(&r.t, &dos));
    EXPECT_EQ(dos, r.dos);
    ASSERT_TRUE(DF::bDosFileTimeToSystemTime(dos, &back));
    EXPECT_EQ(DF::nCompareSystemTime(&r.t, &back), 0);
  }
  const DF::_stXFILETIME before{1979, 12, 31, 0, 0, 0, 0}, later{2024, 3, 15, 10, 42, 37, 0};
  unsigned int dos;
  EXPECT_FALSE(DF::bSystemTimeToDosFileTime(&before, &dos));
  EXPECT_EQ(DF::nCompareSystemTime(&kDos[0].t, &later), 1);
  EXPECT_EQ(DF::nCompareSystemTime(&later, &before), -45);
}

}  // namespace

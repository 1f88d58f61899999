// The disk file on real files: line readers of both widths against a reference splitter, open
// modes, transfers that keep data or fail with the error left (ENOSPC from /dev/full, EFBIG under
// RLIMIT_FSIZE, short transfers and EINTR from the seam), sizes, copies, wide lines, and locks
// between processes and between objects of one process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <functional>
#include <random>
#include <string>

#include "common/ctstring.h"
#include "file_test_dir.h"
#include "platform/diskfile.h"

namespace {

using DF = CDiskFile;
using XS = IXStream;

// Runs body in a forked child; its result is the child's exit code.
int InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = -1;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Where the line starting at pos ends: {text length, line-end length}. Flags bit 0: CR LF only.
// Otherwise the first CR of the 80-character window decides (with the character after it), else
// the window's first LF; a window shorter than 80 ends the data.
template <typename T>
std::pair<size_t, size_t> ReferenceLineEnd(const std::basic_string<T>& text, size_t pos, unsigned int flags) {
  const size_t n = text.size();
  if ((flags & 1) != 0) {
    const size_t i = text.find(std::basic_string<T>{'\r', '\n'}, pos);
    return i == std::basic_string<T>::npos ? std::pair{n - pos, size_t{0}} : std::pair{i - pos, size_t{2}};
  }
  for (size_t w = pos;; w += 80) {
    const size_t e = std::min(w + 80, n);
    for (size_t i = w; i < e; ++i)
      if (text[i] == '\r') return {i - pos, i + 1 < n && text[i + 1] == '\n' ? 2 : 1};
    for (size_t i = w; i < e; ++i)
      if (text[i] == '\n') return {i - pos, 1};
    if (e - w < 80) return {n - pos, 0};
  }
}

template <typename T>
void CheckLineReader(const std::wstring& path, std::mt19937& rng) {
  std::basic_string<T> text;
  const size_t length = rng() % 500;
  for (size_t i = 0; i < length; ++i) {
    const bool boundary = (i + 1) % 80 <= 1;  // line ends around every chunk boundary
    const unsigned int r = rng() % (boundary ? 3 : 10);
    text.push_back(r == 0 ? '\r' : r == 1 ? '\n' : static_cast<T>('a' + r));
  }
  const unsigned int flags = rng() % 2, capacity = 2 + rng() % 120;
  const size_t partial = sizeof(T) == 1 ? 0 : rng() % 4;  // bytes of a cut last character
  WriteAll(path, Bytes(text) + std::string(partial, 'z'));
  DF f;
  ASSERT_TRUE(f.bOpen(path.c_str(), XS::ACCESS_READ, XS::SHARE_SHARED, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr));
  std::vector<T> line(capacity);
  int cut = -1;
  for (size_t pos = 0; pos < text.size();) {
    const auto [len, endLen] = ReferenceLineEnd(text, pos, flags);
    const size_t kept = std::min<size_t>(len, capacity - 1);
    ASSERT_TRUE(f.bReadLine(line.data(), capacity, &cut, flags)) << pos;
    ASSERT_EQ(std::basic_string<T>(line.data()), text.substr(pos, kept)) << "at " << pos << " flags " << flags;
    ASSERT_EQ(cut, kept < len ? 1 : 0);
    pos += kept < len ? kept : len + endLen;
  }
  EXPECT_FALSE(f.bReadLine(line.data(), capacity, &cut, flags));
  EXPECT_FALSE(f.bReadLine(line.data(), 1, &cut, flags));  // capacity below 2 refused
  EXPECT_EQ(errno, EINVAL);
}

TEST_F(CFileTestDir, LineReadersAgreeWithTheReferenceSplitter) {
  std::mt19937 rng(14);
  for (int i = 0; i < 400; ++i) {
    CheckLineReader<char>(P(L"narrow é"), rng);
    CheckLineReader<wchar_t>(P(L"wide 文"), rng);
  }
}

// A CR LF pair across the 65,536-character chunk, a long line, a separator, and a cut last
// character that is left out.
TEST_F(CFileTestDir, WideLinesOfAFile) {
  const std::wstring path = P(L"lines");
  WriteAll(path, Bytes(std::wstring(65535, L'x') + L"\r\ny\nab||cd||e") + "zz");
  wchar_t buffer[8];
  CTString longLine;
  DF f;
  ASSERT_TRUE(f.bOpen(path.c_str(), XS::ACCESS_READ, XS::SHARE_SHARED, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr));
  const wchar_t* line = f.pszReadLine(buffer, 8, &longLine, nullptr);
  EXPECT_EQ(line, longLine.pszGet());
  EXPECT_EQ(std::wstring(longLine.pszGet()), std::wstring(65535, L'x'));
  EXPECT_EQ(std::wstring(f.pszReadLine(buffer, 8, nullptr, nullptr)), L"y");
  EXPECT_EQ(std::wstring(f.pszReadLine(buffer, 8, nullptr, L"||")), L"ab");
  EXPECT_EQ(std::wstring(f.pszReadLine(buffer, 2, nullptr, L"||")), L"c");  // cut without a long text
  EXPECT_EQ(std::wstring(f.pszReadLine(buffer, 8, nullptr, nullptr)), L"e");
  EXPECT_EQ(f.pszReadLine(buffer, 8, nullptr, nullptr), nullptr);
}

class CDiskFileTest : public CFileTestDir {
 protected:
  // Opens path read-write with no lock; the file is created when create says so.
  ::testing::AssertionResult Open(DF& f, const std::wstring& path, XS::eCREATE create = XS::CREATE_OPEN,
                                  XS::eSHARE share = XS::SHARE_NOLOCK) {
    if (f.bOpen(path.c_str(), XS::ACCESS_READWRITE, share, create, XS::FLAG_NONE, nullptr))
      return testing::AssertionSuccess();
    return testing::AssertionFailure() << U8(f.pclGetXError()->pszGetUserMessage());
  }
};

TEST_F(CDiskFileTest, OpenModes) {
  const std::wstring path = P(L"mode é"), dir = P(L"dir");
  const std::wstring tooLong = P(std::wstring(261 - m_dir.size(), L'文'));
  ASSERT_TRUE(std::filesystem::create_directory(U8(dir)));
  const struct {
    std::wstring name;
    XS::eCREATE create;
    bool before;           // the file holds "kept" before the open
    BOOL result, created;
    std::string after;     // "-": no file
    unsigned int id, err;  // of a failure; err of a success: errno after it
  } kRows[] = {
      {path, XS::CREATE_OPEN, false, FALSE, 0, "-", 28139, ENOENT},
      {path, XS::CREATE_OPEN_ALWAYS, false, TRUE, 1, "", 0, 0},
      {m_dir + L"\\mode é", XS::CREATE_OPEN_ALWAYS, true, TRUE, 0, "kept", 0, EEXIST},
      {path, XS::CREATE_ALWAYS, true, TRUE, 1, "", 0, 0},
      {P(L"no/x"), XS::CREATE_ALWAYS, true, FALSE, 0, "kept", 28140, ENOENT},
      {dir, XS::CREATE_OPEN_ALWAYS, true, FALSE, 0, "kept", 28002, EISDIR},
      {tooLong, XS::CREATE_OPEN_ALWAYS, true, FALSE, 0, "kept", 28002, ENAMETOOLONG},
  };
  for (const auto& r : kRows) {
    if (r.before) WriteAll(path, "kept");
    DF f;
    int created = -1;
    const BOOL result =
        f.bOpen(r.name.c_str(), XS::ACCESS_READWRITE, XS::SHARE_EXCLUSIVE, r.create, XS::FLAG_NONE, &created);
    const int err = errno;
    EXPECT_EQ(result, r.result) << U8(r.name);
    EXPECT_EQ(created, r.created) << U8(r.name);
    if (r.result) {
      EXPECT_EQ(std::wstring(f.pszGetName()), path);
      EXPECT_TRUE(r.err == 0 || err == static_cast<int>(r.err)) << U8(r.name);
    } else {
      ExpectRaised(f.pclGetXError(), r.id, r.err, r.name, U8(r.name).c_str());
    }
    EXPECT_EQ(std::filesystem::exists(U8(path)) ? ReadAll(path) : "-", r.after);
    std::filesystem::remove(U8(path));
  }
  DF f;
  EXPECT_FALSE(f.bOpen(tooLong.c_str(), XS::ACCESS_READ, XS::SHARE_NOLOCK, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr));
  EXPECT_EQ(std::wstring(f.pszGetName()), L"");  // nothing partial for bReopen
  EXPECT_FALSE(f.bReopen(XS::ACCESS_READ, XS::SHARE_NOLOCK, XS::CREATE_OPEN_ALWAYS, XS::FLAG_NONE));
  ASSERT_TRUE(f.bOpen(dir.c_str(), XS::ACCESS_READ, XS::SHARE_EXCLUSIVE, XS::CREATE_OPEN, XS::FLAG_DIRECTORY, nullptr));
  EXPECT_EQ(f.veGetAccess(), O_DIRECTORY);
  char c;
  EXPECT_FALSE(f.bRead(&c, 1, nullptr));
  ExpectRaised(f.pclGetXError(), 28003, EISDIR, dir, "read of a directory");
}

TEST_F(CDiskFileTest, TransfersMoveEverythingOrFailWithTheError) {
  const std::wstring path = P(L"data");
  DF f;
  ASSERT_TRUE(Open(f, path, XS::CREATE_ALWAYS));
  // Every descriptor is close-on-exec.
  int found = 0;
  std::error_code ec;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
    if (std::filesystem::read_symlink(fd.path(), ec).string() == U8(path))
      found += fcntl(std::stoi(fd.path().filename().string()), F_GETFD) & FD_CLOEXEC ? 1 : 100;
  EXPECT_EQ(found, 1);
  SEAM_FailNext(SYSCALL_WRITE, EIO);
  EXPECT_TRUE(f.bWrite("", 0, nullptr));  // no system call
  SEAM_ClearFaults();
  SEAM_ShortNext(SYSCALL_WRITE, 3);
  SEAM_FailNext(SYSCALL_WRITE, EINTR, 1);
  unsigned int n = 0;
  EXPECT_TRUE(f.bWrite("0123456789", 10, &n));
  EXPECT_EQ(n, 10u);
  SEAM_ShortNext(SYSCALL_READ, 2);
  char buffer[16] = {};
  EXPECT_TRUE(f.bRead(0, buffer, 10, nullptr));
  EXPECT_EQ(std::string(buffer), "0123456789");
  ASSERT_TRUE(f.bSeek(-4, XS::SEEK_FROM_END));
  EXPECT_TRUE(f.bRead(buffer, 10, &n));
  EXPECT_EQ(n, 4u);
  ASSERT_TRUE(f.bSeek(6, XS::SEEK_FROM_START));
  EXPECT_FALSE(f.bRead(buffer, 10, nullptr));
  ExpectRaised(f.pclGetXError(), 28003, 0, path, "exact read short");
  EXPECT_NE(std::wstring(f.pclGetXError()->pszGetDebugMessage()).find(L"bExact=<1>"), std::wstring::npos);
  // The whole formatted text, past any fixed buffer.
  ASSERT_TRUE(f.bSetSize(0, XS::GROW_SET));
  EXPECT_TRUE(f.bWriteString("%s", std::string(3000, 'n').c_str()));
  EXPECT_TRUE(f.bWriteString(L"%s", std::wstring(2000, L'w').c_str()));
  EXPECT_EQ(f.oGetSize(), 3000 + 8000);
  SEAM_FailNext(SYSCALL_CLOSE, EIO);
  f.Close();  // the number is given back all the same
  EXPECT_FALSE(f.bIsOpen());
  ExpectRaised(f.pclGetXError(), 28008, EIO, path, "close");
  EXPECT_FALSE(f.bRead(buffer, 1, &n));
  EXPECT_EQ(f.pclGetXError()->dwGetSystemErrorCode(), static_cast<unsigned int>(EBADF));

  DF full;
  ASSERT_TRUE(Open(full, L"/dev/full"));
  EXPECT_FALSE(full.bWrite("x", 1, &n));
  ExpectRaised(full.pclGetXError(), 28008, ENOSPC, L"/dev/full", "/dev/full");
  // Past the file-size limit: the bytes up to it are written, then EFBIG.
  const int child = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    DF g;
    unsigned int written = 0;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || !Open(g, P(L"big"), XS::CREATE_ALWAYS)) return 1;
    const std::string data(200, 'b');
    const BOOL ok = g.bWrite(data.data(), 200, &written);
    return !ok && written == 100 && g.pclGetXError()->dwGetSystemErrorCode() == EFBIG ? 0 : 2;
  });
  EXPECT_EQ(child, 0);
}

TEST_F(CDiskFileTest, SizesAndCopiesKeepData) {
  const std::wstring path = P(L"sizes");
  WriteAll(path, std::string(100000, 'd'));
  DF f, target;
  ASSERT_TRUE(Open(f, path));
  ASSERT_TRUE(f.bSeek(10, XS::SEEK_FROM_START));
  EXPECT_EQ(f.oGetSize(), 100000);
  EXPECT_EQ(f.oGetOffset(), 10);
  EXPECT_TRUE(f.bIncreaseSize(0));
  EXPECT_TRUE(f.bExtendFile(50));
  EXPECT_EQ(ReadAll(path), std::string(100000, 'd'));  // nothing shortened or zeroed
  ASSERT_TRUE(f.bSeek(10, XS::SEEK_FROM_START));
  ASSERT_TRUE(Open(target, P(L"copy"), XS::CREATE_ALWAYS));
  EXPECT_TRUE(f.bExtract(&target, -1));
  EXPECT_EQ(ReadAll(P(L"copy")), std::string(99990, 'd'));
  EXPECT_TRUE(f.bExtract(&target, -1));  // at the end: nothing to copy
  ASSERT_TRUE(f.bSeek(-5, XS::SEEK_FROM_END));
  EXPECT_FALSE(f.bExtract(&target, 6));  // the data ends first
  EXPECT_EQ(f.pclGetXError()->eGetErrorLevel(), ERRORLEVEL_ERROR);

  EXPECT_TRUE(f.bSetSize(-10, XS::GROW_ADD));
  EXPECT_FALSE(f.bSetSize(5, static_cast<XS::eGROW>(2)));
  EXPECT_EQ(f.oGetSizeFast(), 99990);
  EXPECT_FALSE(f.bIncreaseSize(-1));
  EXPECT_TRUE(f.bIncreaseSize(3));
  EXPECT_FALSE(f.bExtendFile(0));
  EXPECT_TRUE(f.bExtendFile(100000));
  EXPECT_EQ(ReadAll(path), std::string(99990, 'd') + std::string(10, '\0'));
}

TEST_F(CDiskFileTest, LocksExcludeOtherProcessesAndOtherObjects) {
  const std::wstring path = P(L"locked é");
  WriteAll(path, "payload");
  DF holder, beside, other;
  ASSERT_TRUE(Open(holder, path, XS::CREATE_OPEN, XS::SHARE_EXCLUSIVE));
  // An open and close of the file without lock leaves the holder's lock in place.
  ASSERT_TRUE(Open(beside, path));
  beside.Close();
  EXPECT_FALSE(Open(other, path, XS::CREATE_OPEN, XS::SHARE_SHARED));  // another object of this process
  ExpectRaised(other.pclGetXError(), 28139, kLockConflictErrno, path, "same process");
  EXPECT_EQ(static_cast<unsigned int>(errno), kLockConflictErrno);
  const int child = InChild([&] {
    DF f;
    int bits = 0;
    if (!f.bOpen(path.c_str(), XS::ACCESS_READ, XS::SHARE_SHARED, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr) &&
        static_cast<unsigned int>(errno) == kLockConflictErrno)
      bits |= 1;
    if (!f.bOpen(path.c_str(), XS::ACCESS_WRITE, XS::SHARE_EXCLUSIVE, XS::CREATE_ALWAYS, XS::FLAG_NONE, nullptr) &&
        ReadAll(path) == "payload")
      bits |= 2;
    const DWORD start = GetTickCount();
    if (!f.bOpenExclusifReessais(path.c_str(), 0, 250, XS::ACCESS_READ, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr) &&
        GetTickCount() - start > 250 && GetTickCount() - start < 1000)
      bits |= 4;
    SEAM_FailNext(SYSCALL_OPEN, EMFILE, 1);  // a second attempt would fail otherwise
    if (!f.bOpenExclusifReessais(path.c_str(), 1, 0, XS::ACCESS_READ, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr) &&
        f.pclGetXError()->dwGetSystemErrorCode() == kLockConflictErrno)
      bits |= 8;
    return bits;
  });
  EXPECT_EQ(child, 15);
  holder.Close();
  EXPECT_TRUE(Open(other, path, XS::CREATE_OPEN, XS::SHARE_SHARED));
  other.Close();

  // Byte ranges: write locks between two objects; a conflict raised with its range.
  DF a, b;
  ASSERT_TRUE(Open(a, path));
  ASSERT_TRUE(Open(b, path));
  EXPECT_TRUE(a.bLockFile(0, 10));
  EXPECT_FALSE(b.bLock(5, 1));
  EXPECT_EQ(static_cast<unsigned int>(errno), kLockConflictErrno);
  EXPECT_FALSE(b.bLockFile(5, 1));
  EXPECT_NE(std::wstring(b.pclGetXError()->pszGetUserMessage()).find(L"position 5, longueur 1"), std::wstring::npos);
  EXPECT_TRUE(b.bLock(10, 5));
  EXPECT_TRUE(a.bUnlockFile(0, 10));
  EXPECT_TRUE(b.bLockFileEx(TRUE, TRUE));
  EXPECT_TRUE(b.bLockFileEx(FALSE, TRUE));
  EXPECT_TRUE(a.bLock(0, 5));
}

}  // namespace

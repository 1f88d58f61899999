// Path texts: splitting, the path-name operations in one table, absolute paths in a non-ASCII
// working directory and of random paths against std::filesystem's lexical normal form, names
// that reach the system exactly, and the executable's path.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "common/ctstring.h"
#include "common/xystring.h"
#include "file_test_dir.h"
#include "platform/diskfile.h"
#include "platform/modulepath.h"
#include "platform/unixname.h"

namespace {

using DF = CDiskFile;

// clang-format off
TEST(CDiskFileSplitPath, DirectoryNameAndExtension) {
  const struct {
    const wchar_t *path, *dir, *name, *ext;
  } kRows[] = {
      {L"/a/b\\c.tar.gz", L"/a/b/", L"c.tar", L".gz"}, {L"name", L"", L"name", L""}, {L"/f.txt", L"/", L"f", L".txt"},
      {L".profile", L"", L"", L".profile"}, {L"d.x\\f", L"d.x/", L"f", L""}, {nullptr, L"", L"", L""}};
  for (const auto& r : kRows) {
    wchar_t dir[64], name[64], ext[64], whole[64];
    DF::__SplitPath(r.path, dir, name, ext);
    EXPECT_EQ(std::wstring(dir) + L"|" + name + L"|" + ext, std::wstring(r.dir) + L"|" + r.name + L"|" + r.ext);
    DF::__SplitPath(r.path, nullptr, whole);
    EXPECT_EQ(std::wstring(whole), std::wstring(r.name) + r.ext);
  }
}

enum eOp { EXT, FILENAME, DELEXT, CHANGEEXT, ENDSLASH, NOENDSLASH, NOENDSLASH_CT, PREFIX, SIMPLIFY, REL0, REL1,
           TOREL, SAMEFILE, SAMEDIR, WIN32REL, VALID, UNC, VIRTUAL, MAKEPATH, LONGNAME };

// The text after the operation and its result (1 for operations without one).
std::pair<std::wstring, int> Apply(eOp op, const std::wstring& in, const std::wstring& arg) {
  wchar_t b[1024];
  wcscpy(b, in.c_str());
  const wchar_t *s = in.c_str(), *a = arg.c_str();
  CTString ct(s);
  const size_t bar = arg.find(L'|');
  int r = 1;
  switch (op) {
    case EXT: return {DF::pszGetPtrToExtension(s), 1};
    case FILENAME: return {DF::pszGetPtrToFileName(s), 1};
    case DELEXT: DF::DelExtension(b); break;
    case CHANGEEXT: r = DF::ChangeExtension(b, 261, a); break;
    case ENDSLASH: r = DF::DirectoryWithEndSlash(b); break;
    case NOENDSLASH: DF::DirectoryWithoutEndSlash(b); break;
    case NOENDSLASH_CT: DF::DirectoryWithoutEndSlash(ct); return {ct.pszGet(), 1};
    case PREFIX: r = DF::PrefixeCurrentDirectory(b); break;
    case SIMPLIFY: DF::SimplifyPath(b); break;
    case REL0: case REL1: r = DF::bRelativeToFullPath(b, s, a, op == REL0 ? 0 : 1); break;
    case TOREL: r = DF::bPathRelativePathTo(b, s, a, 0); break;
    case SAMEFILE: return {L"", DF::bSameFileName(s, a)};
    case SAMEDIR: return {L"", DF::bSameDirectoryName(s, a)};
    case WIN32REL: return {L"", DF::bIsRelativeFileName_WIN32(s)};
    case VALID: return {L"", DF::bValidName(s)};
    case UNC: return {L"", DF::bUNCName(s)};
    case VIRTUAL: return {L"", DF::bIsAVirtualDirectory(s)};
    case MAKEPATH: r = DF::MakePath(b, s, arg.substr(0, bar).c_str(), arg.substr(bar + 1).c_str()); break;
    case LONGNAME: r = DF::bGetLongPathName(b, static_cast<unsigned int>(arg.size()), s); break;
  }
  return {b, r};
}

TEST(CDiskFilePathNames, OperationsOnTexts) {
  const std::wstring l257(257, L'é'), l259(259, L'é'), l260(260, L'é');
  const struct {
    eOp op;
    std::wstring in, arg, out;
    int result;
  } kRows[] = {
      {EXT, L"/x.y/z", L"", L"", 1}, {EXT, L"a.tar.gz", L"", L".gz", 1}, {EXT, L"f.", L"", L".", 1},
      {FILENAME, L"c:dir\\f.txt", L"", L"f.txt", 1}, {FILENAME, L"plain", L"", L"plain", 1},
      {DELEXT, L"d\\f.txt", L"", L"d/f", 1}, {DELEXT, L"f.", L"", L"f", 1}, {DELEXT, L"d.x/f", L"", L"d.x/f", 1},
      {CHANGEEXT, L"f.txt", L"csv", L"f.csv", 1}, {CHANGEEXT, L"f.txt", L".csv", L"f.csv", 1},
      {CHANGEEXT, L"f", L"csv", L"f.csv", 1}, {CHANGEEXT, L"d.x\\f", L".c", L"d.x/f.c", 1},
      {CHANGEEXT, l257 + L".t", L"csvv", l257 + L".t", 0},  // 262 characters: refused, not cut
      {ENDSLASH, L"/usr\\lib", L"", L"/usr/lib/", 1}, {ENDSLASH, L"", L"", L"", 1},
      {ENDSLASH, l259, L"", l259 + L"/", 1}, {ENDSLASH, l260, L"", l260, 0},
      {NOENDSLASH, L"/a//", L"", L"/a", 1}, {NOENDSLASH, L"/", L"", L"", 1}, {NOENDSLASH_CT, L"/a//", L"", L"/a/", 1},
      {PREFIX, L"x", L"", L"./x", 1}, {PREFIX, l259, L"", l259, 0},
      {SIMPLIFY, L"/a/./b/../c", L"", L"/a/c", 1}, {SIMPLIFY, L"../../x", L"", L"../../x", 1},
      {SIMPLIFY, L"/././x", L"", L"/x", 1}, {SIMPLIFY, L"a/b/../../c", L"", L"a/../c", 1},
      {SIMPLIFY, L"/a/../../x", L"", L"/../x", 1},
      {REL0, L"../x", L"/a/b/", L"/a/x", 1}, {REL0, L"y", L"/a/", L"y", 1}, {REL0, L".", L"/b", L"/b", 1},
      {REL0, L".\\c", L"/a/b/", L"/a/b/c", 1}, {REL0, L"../../../x", L"/a/", L"/x", 1},
      {REL0, L"./" + l257, L"/abc", L"./" + l257, 0},  // bounded by the path buffer
      {REL1, L"/abs", L"/b/", L"/abs", 1}, {REL1, L"y", L"/a", L"/a/y", 1},
      {TOREL, L"/a/b/c", L"/a/d", L"../b/c", 1}, {TOREL, L"/a/b/c", L"/a", L"./b/c", 1}, {TOREL, L"x", L"", L"x", 1},
      {TOREL, L"/q/" + l257, L"/a/b/", L"/q/" + l257, 0},
      {SAMEFILE, L"a\\b  ", L"a/b", L"", 1}, {SAMEFILE, L"a/b", L"a/B", L"", 0}, {SAMEDIR, L"/a/", L"/a", L"", 1},
      {WIN32REL, L"c:x", L"", L"", 0}, {WIN32REL, L"x:", L"", L"", 0}, {WIN32REL, L"x", L"", L"", 1},
      {WIN32REL, L"\\x", L"", L"", 0}, {VALID, L"a:b", L"", L"", 0}, {VALID, L"ab", L"", L"", 1},
      {UNC, L"\\\\srv\\x", L"", L"", 1}, {UNC, L"\\\\srv", L"", L"", 0}, {VIRTUAL, L"..", L"", L"", 1},
      {VIRTUAL, L"...", L"", L"", 0}, {MAKEPATH, L"/tmp", L"x|txt", L"/tmp/x.txt", 1},
      {MAKEPATH, L"d\\e/", L"x|.txt", L"d/e/x.txt", 1}, {MAKEPATH, L"", L"x|", L"x", 1},
      {MAKEPATH, l257, L"x|txt", L"", 0},  // makepath empties its output
      {LONGNAME, L"abc", L"1234", L"abc", 1}, {LONGNAME, L"abcd", L"1234", L"abcd", 0}};
  for (const auto& r : kRows) {
    const auto [out, result] = Apply(r.op, r.in, r.arg);
    EXPECT_EQ(out, r.out) << r.op << " " << U8(r.in);
    EXPECT_EQ(result, r.result) << r.op << " " << U8(r.in);
  }
}
// clang-format on

TEST(CDiskFilePathNames, HostStringFormsCopyASharedBlock) {
  CXYString<wchar_t> a(L"d\\f.txt"), b(a);
  DF::pszBackSlash2Slash(b);
  DF::DelExtension(b);
  EXPECT_EQ(std::wstring(a.pszGet()), L"d\\f.txt");
  EXPECT_EQ(std::wstring(b.pszGet()), L"d/f");
  EXPECT_TRUE(DF::ChangeExtension(b, L"csv"));
  DF::DirectoryWithEndSlash(b);
  EXPECT_EQ(std::wstring(b.pszGet()), L"d/f.csv/");
}

TEST_F(CFileTestDir, AbsolutePathsOfNames) {
  ASSERT_EQ(chdir(U8(m_dir).c_str()), 0);
  std::wstring home;
  ASSERT_TRUE(UNIX_bUserHome(&home));
  const std::wstring parent = m_dir.substr(0, m_dir.rfind(L'/'));
  const struct {
    std::wstring name, full;
  } kRows[] = {
      {L"a/../b", m_dir + L"/b"},
      {L"./../x", parent + L"/x"},
      {L"~x", m_dir + L"/~x"},
      {L"~/x", home + L"/x"},
      {L"~", home},
      {L"/a/./b/../c", L"/a/c"},
      {L"/../x", L"/x"},
      {L"\\a\\b", L"/a/b"},
  };
  for (const auto& r : kRows) {
    wchar_t out[300] = L"untouched";
    const unsigned int n = static_cast<unsigned int>(r.full.size());
    EXPECT_EQ(DF::GetFullPathName(r.name.c_str(), n, out, nullptr), n + 1) << U8(r.name);
    EXPECT_EQ(std::wstring(out), L"untouched");
    EXPECT_EQ(DF::GetFullPathName(r.name.c_str(), n + 1, out, nullptr), n);
    EXPECT_EQ(std::wstring(out), r.full);
  }
  wchar_t out[8];
  EXPECT_EQ(DF::GetFullPathName(L"", 8, out, nullptr), 0u);
}

TEST_F(CFileTestDir, ALongNonAsciiWorkingDirectoryRoundTrips) {
  std::wstring dir = m_dir;
  for (const wchar_t* part = L"é文\U0001F600ü"; dir.size() < 200;) {
    dir += L"/" + std::wstring(std::min<size_t>(30, 200 - dir.size()), part[dir.size() % 4]);
    ASSERT_EQ(mkdir(U8(dir).c_str(), 0777), 0);
  }
  ASSERT_EQ(chdir(U8(dir).c_str()), 0);
  wchar_t out[261];
  ASSERT_TRUE(DF::bGetCurrentDirectory(out, nullptr));
  EXPECT_EQ(std::wstring(out), dir);
  EXPECT_FALSE(DF::Unix_getcwd(out, static_cast<unsigned int>(dir.size())));
  EXPECT_TRUE(DF::Unix_getcwd(out, static_cast<unsigned int>(dir.size() + 1)));
  EXPECT_EQ(DF::GetFullPathName(L"x", 261, out, nullptr), dir.size() + 2);
}

// Where both define the result: no "//", no last "." or ".." component; SimplifyPath only when
// the path never climbs above the root (it keeps such a "..").
TEST(CDiskFilePathNames, RandomPathsAgreeWithTheLexicalNormalForm) {
  std::mt19937 rng(14);
  const std::wstring parts[] = {L"a", L"é", L"文", L"\U0001F600", L".", L".."};
  for (int i = 0; i < 3000; ++i) {
    std::wstring path;
    int depth = 0;
    bool aboveRoot = false;
    const int n = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < n; ++k) {
      const std::wstring& part = parts[rng() % 6];
      path += L"/" + part;
      depth += part == L".." ? -1 : part == L"." ? 0 : 1;
      aboveRoot |= depth < 0;
      depth = std::max(depth, 0);
    }
    if (path.back() == L'.' || rng() % 3 == 0) path += L"/";
    const std::wstring normal = Wide(std::filesystem::path(U8(path)).lexically_normal().string());
    wchar_t out[300];
    ASSERT_EQ(DF::GetFullPathName(path.c_str(), 300, out, nullptr), normal.size()) << U8(path);
    EXPECT_EQ(std::wstring(out), normal) << U8(path);
    wcscpy(out, path.c_str());
    DF::SimplifyPath(out);
    if (!aboveRoot) {
      EXPECT_EQ(std::wstring(out), normal) << U8(path);
    }
  }
}

TEST_F(CFileTestDir, NamesReachTheSystemExactly) {
  const struct {
    std::wstring name;
    int err;  // 0: the name has a system form
  } kRows[] = {{L"é文\U0001F600", 0}, {L"raw\xDCFF", 0}, {L"x\xD800", EILSEQ}, {L"\xDCC3\xDCA9", EILSEQ},
               {std::wstring(1, static_cast<wchar_t>(0x110000)), EILSEQ}, {L"\xDC41", EILSEQ}};
  for (const auto& r : kRows) {
    const int fd = DF::Unix_open(P(r.name).c_str(), O_CREAT | O_WRONLY, 0600);
    EXPECT_EQ(fd < 0 ? errno : 0, r.err) << U8(r.name);
    if (fd >= 0) close(fd);
  }
  // A name the system holds with a byte that starts no character comes back as U+DC00 + byte and
  // names the same file again.
  ASSERT_EQ(close(open((U8(m_dir) + "/b\xC3(").c_str(), O_CREAT | O_WRONLY, 0600)), 0);
  DIR* d = DF::__Unix_opendir(m_dir.c_str());
  ASSERT_NE(d, nullptr);
  std::vector<std::wstring> names;
  for (dirent* e; (e = readdir(d)) != nullptr;) names.push_back(UNIX_strDecode(e->d_name, strlen(e->d_name)));
  closedir(d);
  for (const std::wstring& name : {std::wstring(L"b\xDCC3("), std::wstring(L"raw\xDCFF")}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << U8(name);
    EXPECT_TRUE(DF::bIsAFile(P(name).c_str()));
  }
}

TEST(GetModuleFileName, WholePathOrNothing) {
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
  const unsigned int n = static_cast<unsigned int>(Wide(exe).size());
  wchar_t w[4096];
  char a[4096];
  for (const bool viaMaps : {false, true}) {
    if (viaMaps) SEAM_FailNext(SYSCALL_READLINK, EACCES);
    ASSERT_TRUE(GetModuleFileNameW(nullptr, w, n + 1));
    EXPECT_EQ(std::wstring(w), Wide(exe));
  }
  EXPECT_FALSE(GetModuleFileNameW(nullptr, w, n));
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_EQ(w[0], 0);
  ASSERT_TRUE(GetModuleFileNameA(nullptr, a, static_cast<unsigned int>(exe.size() + 1)));
  EXPECT_EQ(std::string(a), exe);
  EXPECT_FALSE(GetModuleFileNameA(nullptr, a, static_cast<unsigned int>(exe.size())));
}

}  // namespace

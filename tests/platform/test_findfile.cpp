// Searches, walks and tree deletions on real trees: links unlinked, never followed; names not UTF-8
// handled like others; paths beyond 260 characters stop the walk; wildcards against std::regex.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <regex>
#include <set>
#include <tuple>
#include <vector>

#include "file_test_dir.h"
#include "platform/errortable.h"
#include "platform/findfile.h"

namespace {

using DF = CDiskFile;
namespace fs = std::filesystem;
using Paths = std::vector<std::wstring>;
using Names = std::set<std::wstring>;
long Depth(const std::wstring& path) { return std::count(path.begin(), path.end(), L'/'); }

class CFindTree : public CFileTestDir {
 protected:
  // t: dot-files, links out of it, a cycle, a dangling link, names not UTF-8; keep, beside t, must survive.
  void Build() {
    const std::string t = U8(P(L"t"));
    fs::create_directories(t + "/s1/.dot");
    for (const std::string f : {"/a.tmp", "/.h", "/s1/b.tmp", "/s1/.dot/c", "/été 文.tmp", "/\xFF\xFEx", "/s1/\xE9"})
      std::ofstream(t + f) << "x";
    WriteAll(P(L"keep"), "keep");
    fs::create_directory_symlink(U8(m_dir), t + "/out.tmp");  // a link out of t, to a directory holding t
    fs::create_directory_symlink("..", t + "/s1/up");
    fs::create_symlink("nowhere", t + "/gone");
  }
  static int Record(const wchar_t* p, intptr_t seen) { return reinterpret_cast<Paths*>(seen)->push_back(p), 1; }
  Paths Walk(const std::wstring& pattern, int bWithDirs, int bRecurse, bool bDirTree = false, BOOL expected = TRUE) {
    Paths seen;
    const auto walk = bDirTree ? DF::bDoOnDirectoryTree : DF::bDoOnFileTree;
    EXPECT_EQ(walk(P(L"t").c_str(), pattern.c_str(), Record, reinterpret_cast<intptr_t>(&seen), bWithDirs, bRecurse),
              expected);
    return seen;
  }
};

TEST_F(CFindTree, DeletionsRemoveExactlyTheTreeAndOnlyUnlinkLinks) {
  using Op = BOOL (*)(const wchar_t*, CXError*);
  for (Op op : {DF::bPurgeTree, DF::bDeleteTree, DF::bForceDeleteTree, DF::bDeleteTreeEvenReadOnly}) {
    const bool keepsDirectory = op == Op(DF::bPurgeTree);
    Build();
    _CXErrorModule32 e;
    EXPECT_TRUE(op((P(L"t") + L"\\").c_str(), &e) && e.eGetErrorLevel() == ERRORLEVEL_NONE);
    EXPECT_EQ(fs::exists(U8(P(L"t"))) && fs::is_empty(U8(P(L"t"))), keepsDirectory);
    EXPECT_EQ(ReadAll(P(L"keep")), "keep");
  }
  EXPECT_TRUE(DF::bPurgeTree(P(L"missing").c_str(), nullptr) && !DF::bPurgeTree(L"", nullptr));
}

TEST_F(CFindTree, TopLevelLinkToADirectoryIsUnlinkedNeverEntered) {
  using Op = BOOL (*)(const wchar_t*, CXError*);
  Build();
  const auto tree = [this] {
    Names names;
    for (const auto& entry : fs::recursive_directory_iterator(U8(P(L"t")))) names.insert(Wide(entry.path().string()));
    return names;
  };
  const Names before = tree();
  for (Op op : {DF::bPurgeTree, DF::bDeleteTree, DF::bForceDeleteTree, DF::bDeleteTreeEvenReadOnly}) {
    for (const wchar_t* end : {L"", L"/", L"\\"}) {
      fs::create_directory_symlink(U8(P(L"t")), U8(P(L"link")));
      _CXErrorModule32 e;
      EXPECT_TRUE(op((P(L"link") + end).c_str(), &e) && e.eGetErrorLevel() == ERRORLEVEL_NONE) << U8(end);
      EXPECT_FALSE(fs::is_symlink(U8(P(L"link"))));
      EXPECT_EQ(tree(), before) << "the target is left whole";
    }
  }
}

TEST_F(CFileTestDir, SearchStartedAgainClosesTheOpenOne) {
  for (const wchar_t* f : {L"a", L"b", L"c"}) WriteAll(P(f), "x");
  const auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  DF::_stXFINDDATA find{};
  ASSERT_TRUE(DF::bFindFirst(P(L"*").c_str(), &find, 0, 0, nullptr));
  const auto searching = openFiles();
  // The next search finds an entry, finds none, or cannot open its directory.
  for (const wchar_t* pattern : {L"*", L"none*", L"missing/*", L"b"}) {
    DF::bFindFirst(P(pattern).c_str(), &find, 0, 0, nullptr);
    EXPECT_LE(openFiles(), searching) << U8(pattern);
  }
  EXPECT_NE(find.pDir, nullptr);  // the last one, b, is still open
  DF::bFindClose(&find, nullptr);
  EXPECT_EQ(openFiles(), searching - 1);
}

TEST_F(CFindTree, WalksVisitADirectorysMatchesBeforeItsSubdirectoriesAndStopOnZero) {
  Build();
  const std::wstring t = P(L"t") + L"/";
  // pattern, bWithDirectories, bRecurse, directory walk, the paths
  const std::tuple<std::wstring, int, int, bool, Names> kRows[] = {
      // The link out.tmp is a file of the walk; ".." behind s1/up is never entered.
      {L"*.tmp", 0, 1, false, {t + L"a.tmp", t + L"été 文.tmp", t + L"out.tmp", t + L"s1/b.tmp"}},
      {L"*.tmp", 0, 0, false, {t + L"a.tmp", t + L"été 文.tmp", t + L"out.tmp"}},
      {L"s*", 1, 1, false, {t + L"s1"}},
      {L"\xDCFF\xDCFE?", 0, 1, false, {t + L"\xDCFF\xDCFEx"}},
      {L"\xDCE9", 0, 1, false, {t + L"s1/\xDCE9"}},
      {L"*", 1, 1, true, {t + L"s1", t + L"s1/.dot"}}};
  for (const auto& [pattern, bWithDirs, bRecurse, bDirTree, expected] : kRows) {
    const Paths seen = Walk(pattern, bWithDirs, bRecurse, bDirTree);
    EXPECT_EQ(Names(seen.begin(), seen.end()), expected) << U8(pattern);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(), [](auto& a, auto& b) { return Depth(a) < Depth(b); }));
  }
  int calls = 0;
  const auto stop = [](const wchar_t*, intptr_t n) { return ++*reinterpret_cast<int*>(n) < 2 ? 1 : 0; };
  EXPECT_TRUE(!DF::bDoOnFileTree(t.c_str(), L"*", stop, reinterpret_cast<intptr_t>(&calls), 0, 1) && calls == 2);
}

TEST_F(CFindTree, PathsBeyond260CharactersStopTheWalkInsteadOfBeingCut) {
  const std::wstring a = P(L"t/") + std::wstring(100, L'a') + L"/";
  const std::wstring deep = a + std::wstring(260 - a.size() - 2, L'b') + L"/";  // 259 characters
  fs::create_directories(U8(deep));
  WriteAll(deep + L"file", "deep");
  WriteAll(deep + L"f", "the cut name");  // 260 characters
  const auto seen = Walk(L"*", 0, 1, false, FALSE);
  EXPECT_TRUE(errno == ENAMETOOLONG && Names(seen.begin(), seen.end()).size() == seen.size());
  for (const std::wstring& p : seen) EXPECT_TRUE(fs::exists(U8(p)) && p.size() <= 260) << U8(p);
  _CXErrorModule32 e;
  EXPECT_FALSE(DF::bDeleteTree(P(L"t").c_str(), &e));
  ExpectRaised(&e, 28136, ENAMETOOLONG, L"", "deletion");
  EXPECT_EQ(ReadAll(deep + L"file"), "deep");
}

TEST_F(CFindTree, SearchesListByPatternAndMasks) {
  for (const wchar_t* f : {L"x1.log", L"xa.log", L"y.log", L".x.log"}) WriteAll(P(f), "x");
  fs::create_directory(U8(P(L"xd.log")));
  // pattern, required, excluded, the names
  const std::tuple<std::wstring, int, unsigned int, Names> kRows[] = {
      {L"x?.log", 0, 0x4000, {L"x1.log", L"xa.log"}},
      {L"*", 0x4000, 0, {L"xd.log"}},
      {L"?.log", 0, 0, {L"y.log"}},
      {L"*.log", 0, 0x80004000, {L"x1.log", L"xa.log", L"y.log"}},
      {L"none*", 0, 0, {}},
      {L"missing/*", 0, 0, {}}};
  for (const auto& [pattern, required, excluded, expected] : kRows) {
    CFindFile find, moved;
    Names names;
    _CXErrorModule32 e;
    BOOL ok = find.bFindFirst((m_dir + L"\\" + pattern).c_str(), required, static_cast<int>(excluded), &e);
    for (; ok; ok = find.bFindNext(&e)) {
      names.insert(find.stGetData().szName);
      find.TransfertTo(moved), moved.TransfertTo(find);  // the search goes on in the other object
    }
    EXPECT_EQ(names, expected) << U8(pattern);
    EXPECT_TRUE(e.eGetErrorLevel() == ERRORLEVEL_NONE && find.stGetData().pDir == nullptr);
  }
  // A name with a backslash would be read as another path: the search stops (no fault armed).
  std::ofstream(U8(m_dir) + "/x\\y.log") << "x";
  _CXErrorModule32 e;
  DF::_stXFINDDATA find{};
  const std::tuple<eSYSCALL, int, int, unsigned int, const wchar_t*> kFaults[] = {
      {SYSCALL_OPENDIR, EACCES, 0, 28135, L"*"},
      {SYSCALL_READDIR, EBADF, 1, 28136, L"*"},
      {SYSCALL_CLOSEDIR, EIO, 0, 28137, L"?.log"},
      {SYSCALL_COUNT, EILSEQ, 0, 28136, L"x?y.log"}};
  for (const auto& [kind, err, skip, id, pattern] : kFaults) {
    if (kind != SYSCALL_COUNT) SEAM_FailNext(kind, err, skip);
    BOOL ok = DF::bFindFirst(P(pattern).c_str(), &find, 0, 0, &e);
    while (ok) ok = DF::bFindNext(&find, &e);
    ExpectRaised(&e, id, static_cast<unsigned int>(err), L"", "fault");
    EXPECT_EQ(find.pDir, nullptr);
  }
}

// The reference matcher: the pattern as a regular expression.
bool RegexMatch(const std::wstring& name, const std::wstring& pattern) {
  std::wstring re;
  for (wchar_t c : pattern) re += c == L'*' ? L".*" : c == L'?' ? L"." : c == L'.' ? L"\\." : std::wstring(1, c);
  return std::regex_match(name, std::wregex(re));
}

TEST(CDiskFileWildcards, MatchLikeTheReferenceWithinLinearTime) {
  const std::tuple<const wchar_t*, const wchar_t*, BOOL> kRows[] = {
      {L"abc", L"a?c", TRUE}, {L"ac", L"a?c", FALSE}, {L"abbc", L"a?c", FALSE}, {L".x", L"*", TRUE},
      {L"", L"*", TRUE},      {L"", L"?", FALSE},     {L"A", L"a", FALSE},      {L"ab", L"*b*", TRUE}};
  for (const auto& [name, pattern, expected] : kRows) EXPECT_EQ(DF::_bFiltreFileName(name, pattern), expected);
  std::mt19937 rng(17);
  for (int i = 0; i < 3000; ++i) {
    std::wstring name, pattern;
    for (size_t n = rng() % 9; n > 0; --n) name += L"ab."[rng() % 3];
    for (size_t n = rng() % 7; n > 0; --n) pattern += L"ab.*?"[rng() % 5];
    EXPECT_EQ(DF::_bFiltreFileName(name.c_str(), pattern.c_str()) != FALSE, RegexMatch(name, pattern))
        << U8(name) << " " << U8(pattern);
  }
  const std::wstring name(100000, L'a'), pattern = L"*a*a*a*a*a*a*a*a*b";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(DF::_bFiltreFileName(name.c_str(), pattern.c_str()));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace

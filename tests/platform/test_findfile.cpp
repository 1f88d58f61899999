// Directory search, walks and tree deletions on real temporary trees: links are removed and never
// followed, names that are not UTF-8 are handled like others, paths beyond 260 characters stop the
// walk instead of being cut, wildcards against a std::regex reference within a time bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <vector>

#include "file_test_dir.h"
#include "platform/errortable.h"
#include "platform/findfile.h"

namespace {

using DF = CDiskFile;
namespace fs = std::filesystem;

class CFindTree : public CFileTestDir {
 protected:
  // A tree at t with dot-files, a subdirectory, links out of it, a cycle, a dangling link and
  // names not all UTF-8; outside/keep must survive every deletion of t.
  void Build() {
    const std::string t = U8(P(L"t")), out = U8(P(L"outside"));
    fs::create_directories(t + "/s1/.dot");
    fs::create_directories(out);
    for (const std::string f : {"/a.tmp", "/.h", "/s1/b.tmp", "/s1/.dot/c", "/été 文.tmp", "/\xFF\xFEx", "/s1/\xE9"})
      std::ofstream(t + f) << "x";
    WriteAll(P(L"outside/keep"), "keep");
    fs::create_directory_symlink(out, t + "/out.tmp");
    fs::create_directory_symlink("..", t + "/s1/up");
    fs::create_symlink("nowhere", t + "/gone");
  }
  static int Record(const wchar_t* path, intptr_t data) {
    reinterpret_cast<std::vector<std::wstring>*>(data)->push_back(path);
    return 1;
  }
  std::vector<std::wstring> Walk(const std::wstring& pattern, int bWithDirectories, int bRecurse, bool bDirTree = false,
                                 BOOL expected = TRUE) {
    std::vector<std::wstring> seen;
    const auto data = reinterpret_cast<intptr_t>(&seen);
    const std::wstring t = P(L"t");
    EXPECT_EQ(bDirTree ? DF::bDoOnDirectoryTree(t.c_str(), pattern.c_str(), Record, data, bWithDirectories, bRecurse)
                       : DF::bDoOnFileTree(t.c_str(), pattern.c_str(), Record, data, bWithDirectories, bRecurse),
              expected);
    return seen;
  }
};

TEST_F(CFindTree, DeletionsRemoveExactlyTheTreeAndOnlyUnlinkLinks) {
  using Op = std::function<BOOL(const wchar_t*, CXError*)>;
  const std::pair<Op, bool> kRows[] = {{DF::bPurgeTree, true}, {DF::bDeleteTree, false},
                                       {DF::bForceDeleteTree, false}, {DF::bDeleteTreeEvenReadOnly, false}};
  for (const auto& [op, keepsDirectory] : kRows) {
    Build();
    _CXErrorModule32 e;
    EXPECT_TRUE(op((P(L"t") + L"\\").c_str(), &e)) << U8(e.pszGetUserMessage());
    EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_NONE);
    EXPECT_EQ(fs::exists(U8(P(L"t"))), keepsDirectory);
    EXPECT_TRUE(!keepsDirectory || fs::is_empty(U8(P(L"t"))));
    EXPECT_EQ(ReadAll(P(L"outside/keep")), "keep");
  }
  EXPECT_TRUE(DF::bPurgeTree(P(L"missing").c_str(), nullptr));
  EXPECT_FALSE(DF::bPurgeTree(L"", nullptr));
}

TEST_F(CFindTree, WalksVisitADirectorysMatchesBeforeItsSubdirectoriesAndStopOnZero) {
  Build();
  const std::wstring t = P(L"t") + L"/";
  const struct {
    std::wstring pattern;
    int bWithDirectories, bRecurse;
    bool bDirTree;
    std::set<std::wstring> expected;
  } kRows[] = {
      // The link out.tmp is a file of the walk; ".." behind s1/up is never entered.
      {L"*.tmp", 0, 1, false, {t + L"a.tmp", t + L"été 文.tmp", t + L"out.tmp", t + L"s1/b.tmp"}},
      {L"*.tmp", 0, 0, false, {t + L"a.tmp", t + L"été 文.tmp", t + L"out.tmp"}},
      {L"s*", 1, 1, false, {t + L"s1"}},
      {L"\xFF\xFE?", 0, 1, false, {}},  // the name's bytes are U+DCFF U+DCFE
      {L"\xDCFF\xDCFE?", 0, 1, false, {t + L"\xDCFF\xDCFEx"}},
      {L"\xDCE9", 0, 1, false, {t + L"s1/\xDCE9"}},
      {L"*", 1, 1, true, {t + L"s1", t + L"s1/.dot"}},
      {L"*", 0, 1, true, {}},
  };
  for (const auto& r : kRows) {
    const auto seen = Walk(r.pattern, r.bWithDirectories, r.bRecurse, r.bDirTree);
    EXPECT_EQ(std::set<std::wstring>(seen.begin(), seen.end()), r.expected) << U8(r.pattern);
  }
  const auto all = Walk(L"*", 0, 1);
  const auto at = [&](const std::wstring& p) { return std::find(all.begin(), all.end(), t + p) - all.begin(); };
  EXPECT_LT(at(L"a.tmp"), at(L"s1/b.tmp"));
  EXPECT_LT(at(L"s1/b.tmp"), at(L"s1/.dot/c"));
  int calls = 0;
  const auto stop = [](const wchar_t*, intptr_t n) { return ++*reinterpret_cast<int*>(n) < 2 ? 1 : 0; };
  EXPECT_FALSE(DF::bDoOnFileTree(t.c_str(), L"*", stop, reinterpret_cast<intptr_t>(&calls), 0, 1));
  EXPECT_EQ(calls, 2);
}

TEST_F(CFindTree, PathsBeyond260CharactersStopTheWalkInsteadOfBeingCut) {
  const std::wstring a = P(L"t/") + std::wstring(100, L'a') + L"/";
  const std::wstring deep = a + std::wstring(260 - a.size() - 2, L'b') + L"/";  // 258 characters
  fs::create_directories(U8(deep));
  WriteAll(deep + L"file", "deep");
  WriteAll(deep + L"f", "the cut name");  // 260 characters
  const auto seen = Walk(L"*", 0, 1, false, FALSE);
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_EQ(std::set<std::wstring>(seen.begin(), seen.end()).size(), seen.size());
  for (const std::wstring& p : seen) EXPECT_TRUE(fs::exists(U8(p)) && p.size() <= 260) << U8(p);
  _CXErrorModule32 e;
  EXPECT_FALSE(DF::bDeleteTree(P(L"t").c_str(), &e));
  ExpectRaised(&e, 28136, ENAMETOOLONG, L"", "deletion");
  EXPECT_EQ(ReadAll(deep + L"file"), "deep");
  EXPECT_FALSE(DF::bForceDeleteOnFileTree(P(L"t").c_str(), L"*", 1, nullptr));
  EXPECT_EQ(ReadAll(deep + L"file"), "deep");
}

TEST_F(CFindTree, SearchesListByPatternAndMasks) {
  for (const wchar_t* f : {L"x1.log", L"xa.log", L"y.log", L".x.log"}) WriteAll(P(f), "x");
  fs::create_directory(U8(P(L"xd.log")));
  const struct {
    std::wstring pattern;
    int required, excluded;
    std::set<std::wstring> expected;
  } kRows[] = {
      {L"x?.log", 0, 0x4000, {L"x1.log", L"xa.log"}}, {L"*", 0x4000, 0, {L"xd.log"}},
      {L"?.log", 0, 0, {L"y.log"}},                  {L"*.log", 0, static_cast<int>(0x80004000u), {L"x1.log", L"xa.log", L"y.log"}},
      {L"none*", 0, 0, {}},
  };
  for (const auto& r : kRows) {
    CFindFile find, moved;
    std::set<std::wstring> names;
    _CXErrorModule32 e;
    for (BOOL ok = find.bFindFirst((m_dir + L"\\" + r.pattern).c_str(), r.required, r.excluded, &e); ok;
         ok = find.bFindNext(&e)) {
      names.insert(find.stGetData().szName);
      find.TransfertTo(moved);  // the search goes on in the other object
      moved.TransfertTo(find);
    }
    EXPECT_EQ(names, r.expected) << U8(r.pattern);
    EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_NONE);
    EXPECT_EQ(find.stGetData().pDir, nullptr);
  }
  // A name with a backslash would be read as another path: the search stops.
  std::ofstream(U8(m_dir) + "/x\\y.log") << "x";
  _CXErrorModule32 e;
  DF::_stXFINDDATA find{};
  EXPECT_FALSE(DF::bFindFirst(P(L"x?y.log").c_str(), &find, 0, 0, &e));
  ExpectRaised(&e, 28136, EILSEQ, L"", "backslash");
  fs::remove(U8(m_dir) + "/x\\y.log");
  EXPECT_FALSE(DF::bFindFirst(P(L"missing/*").c_str(), &find, 0, 0, &e));
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_NONE);
  const struct {
    eSYSCALL kind;
    int err, skip;
    unsigned int id;
  } kFaults[] = {{SYSCALL_OPENDIR, EACCES, 0, 28135}, {SYSCALL_READDIR, EBADF, 1, 28136},
                 {SYSCALL_CLOSEDIR, EIO, 0, 28137}};
  for (const auto& f : kFaults) {
    SEAM_FailNext(f.kind, f.err, f.skip);
    BOOL ok = DF::bFindFirst(P(L"*").c_str(), &find, 0, 0, &e);
    while (ok) ok = DF::bFindNext(&find, &e);
    ExpectRaised(&e, f.id, static_cast<unsigned int>(f.err), L"", "fault");
    EXPECT_EQ(find.pDir, nullptr);
  }
}

// The pattern as a regular expression: the reference matcher.
bool RegexMatch(const std::wstring& name, const std::wstring& pattern) {
  std::wstring re;
  for (wchar_t c : pattern) re += c == L'*' ? L".*" : c == L'?' ? L"." : c == L'.' ? L"\\." : std::wstring(1, c);
  return std::regex_match(name, std::wregex(re));
}

TEST(CDiskFileWildcards, MatchLikeTheReferenceWithinLinearTime) {
  const struct {
    const wchar_t *name, *pattern;
    BOOL expected;
  } kRows[] = {{L"abc", L"a?c", TRUE}, {L"ac", L"a?c", FALSE}, {L"abbc", L"a?c", FALSE}, {L".x", L"*", TRUE},
               {L"", L"*", TRUE},      {L"", L"?", FALSE},      {L"A", L"a", FALSE},      {L"ab", L"*b*", TRUE}};
  for (const auto& r : kRows) EXPECT_EQ(DF::_bFiltreFileName(r.name, r.pattern), r.expected) << U8(r.name);
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

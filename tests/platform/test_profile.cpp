// Profile files in a temporary home with a non-ASCII name: reading, listing into bounded buffers,
// writing narrow and UTF-16 files, the per-user file, and the exported line readers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>

#include "platform/profile.h"
#include "tests/platform/file_test_dir.h"

namespace {

class Profile : public CFileTestDir {
 protected:
  void SetUp() override {
    CFileTestDir::SetUp();
    PROFILE_SetHomeForTests(m_dir.c_str());
  }
  void TearDown() override {
    PROFILE_SetHomeForTests(nullptr);
    CFileTestDir::TearDown();
  }
};

std::string UTF16(const std::u16string& u) { return std::string("\xFF\xFE", 2) + Bytes(u); }

const wchar_t* Opt(const wchar_t* s) { return s[0] == L'\x1' ? nullptr : s; }
constexpr const wchar_t* kNull = L"\x1";

TEST_F(Profile, ReadsValuesAndListsWithinTheBuffer) {
  struct Row {
    const char* file;
    const wchar_t *section, *key, *def;
    unsigned int size, result;
    const wchar_t* text;
  } rows[] = {
      {"[Db]\n  Port= 3306\nport2=1\n", L"db", L"PORT", L"x", 20, 4, L"3306"},
      {"[Db]\nport2=1\n", L"Db", L"port", L"dflt", 20, 4, L"dflt"},
      {"[S]\nk=\n", L"S", L"k", L"d", 20, 0, L""},
      {"[S]\nk=1\n", L"S", L"q", kNull, 20, 0, L""},
      {"[S]\nk = 3306\n", L"S", L"k", L"d", 3, 2, L"33"},
      {"[S]\nk = \t v  \r\n", L"S", L"K", L"d", 20, 3, L"v  "},
      {"[Dbx]\nk=1\n", L"Db", L"k", L"d", 20, 1, L"d"},
      {"[S]\n:k=1\nk=2\n", L"S", L"k", L"d", 20, 1, L"2"},
      {"[S]\nk=1\n[T x]\nk=2\n", L"T", L"k", L"d", 20, 1, L"d"},
      {"[A]\nx=1\n [B\xE9ta]\n", kNull, kNull, L"d", 20, 9, L"A\r\nB\u00e9ta\r\n"},
      {"[A]\n[B]\n[C]\n", kNull, kNull, L"d", 5, 4, L"A\r\nB"},
      {"[S]\nk1 = 1\n:c=2\nk2\t=2\nnone\n[T]\nz=1\n", L"s", kNull, L"d", 20, 8, L"k1\r\nk2\r\n"},
      {"[S]\nk1=1\nk2=2\nk3=3\n", L"S", kNull, L"d", 7, 6, L"k1\r\nk2"},
      {"[S]\nv=\xE9t\xE9\n", L"S", L"v", L"d", 20, 3, L"\u00e9t\u00e9"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.file);
    WriteAll(P(L"f.ini"), r.file);
    wchar_t buffer[32];
    wmemset(buffer, L'#', 32);
    EXPECT_EQ(GetPrivateProfileStringW(Opt(r.section), Opt(r.key), Opt(r.def), buffer, r.size, P(L"f.ini").c_str()),
              r.result);
    EXPECT_TRUE(std::wstring(buffer) == r.text && buffer[r.size] == L'#') << U8(buffer);  // text, guard
  }
  EXPECT_EQ(GetPrivateProfileStringW(L"S", L"k", L"dflt", nullptr, 0, P(L"none.ini").c_str()), 0u);
  char narrow[8];  // the last row's file
  EXPECT_TRUE(GetPrivateProfileStringA("S", "v", "d", narrow, 8, U8(P(L"f.ini")).c_str()) == 3 &&
              strcmp(narrow, "\xE9t\xE9") == 0);
  EXPECT_EQ(GetPrivateProfileInt(L"S", L"n", -12, L"none.ini"), -12);
}

TEST_F(Profile, WritesReplaceInsertAndDeleteMatchingKeysWithoutCase) {
  struct Row {
    const char* before;
    const wchar_t *section, *key, *value;
    BOOL result;
    const char* after;
  } rows[] = {
      {nullptr, L"New", L"k", L"v", TRUE, "[New]\nk = v\n"},
      {"[S]\nport = 1\n", L"S", L"Port", L"2", TRUE, "[S]\nPort = 2\n"},
      {"[S]\n  Port= 3306\nx=1\n", L"s", L"port", L"1", TRUE, "[S]\nport = 1\nx=1\n"},
      {"[S]\na = 1\n\n[T]\n", L"S", L"b", L"2", TRUE, "[S]\na = 1\nb = 2\n\n[T]\n"},
      {"[S]\na = 1\n[T]\n", L"S", L"b", L"", TRUE, "[S]\na = 1\nb = \n[T]\n"},
      {"[S]\na = 1\nb = 2\n[T]\nc = 3\n", L"S", L"A", kNull, TRUE, "[S]\nb = 2\n[T]\nc = 3\n"},
      {"[S]\na = 1\n[T]\nc = 3\n", L"s", kNull, kNull, TRUE, "[T]\nc = 3\n"},
      {"[T]\nc = 3\n[S]\na = 1\n", L"S", kNull, kNull, TRUE, "[T]\nc = 3\n"},
      {"[S]\na = 1", L"S", L"b", L"2", TRUE, "[S]\na = 1\nb = 2\n"},
      {"x=1", L"N", L"b", L"2", TRUE, "x=1\n[N]\nb = 2\n"},
      {"[S]\na = 1\n", L"T", kNull, kNull, TRUE, "[S]\na = 1\n"},
      {"[S]\na = 1\n", L"S", L"z", kNull, TRUE, "[S]\na = 1\n"},
      {"[S]\na = 1\n", L"S", L"a", L"1\n[X]", FALSE, "[S]\na = 1\n"},
      {"[S]\na = 1\n", L"S", L"a\r", L"1", FALSE, "[S]\na = 1\n"},
      {"[S]\na = 1\n", L"S", L"a", L"\u00e9t\u00e9", TRUE, "[S]\na = \xE9t\xE9\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.before != nullptr ? r.before : "(no file)");
    unlink(U8(P(L"w.ini")).c_str());
    if (r.before != nullptr) WriteAll(P(L"w.ini"), r.before);
    EXPECT_EQ(WritePrivateProfileStringW(r.section, Opt(r.key), Opt(r.value), P(L"w.ini").c_str()), r.result);
    EXPECT_EQ(ReadAll(P(L"w.ini")), r.after);
  }
}

TEST_F(Profile, FailedWriteLeavesTheOldFileWhole) {
  const std::string before = "[S]\na = 1\nb = 2\n[T]\nc = 3\n";
  const auto files = [this] { return std::distance(std::filesystem::directory_iterator(U8(m_dir)), {}); };
  // The call that fails; skip: calls of its kind let through first; short: the first write moves 3 bytes.
  const std::tuple<eSYSCALL, int, int, bool> faults[] = {
      {SYSCALL_MKSTEMP, EACCES, 0, false}, {SYSCALL_WRITE, ENOSPC, 0, false}, {SYSCALL_WRITE, ENOSPC, 1, true},
      {SYSCALL_FSYNC, EIO, 0, false},      {SYSCALL_CHMOD, EPERM, 0, false},  {SYSCALL_CLOSE, EIO, 0, false},
      {SYSCALL_RENAME, EXDEV, 0, false},   {SYSCALL_FSTAT, EIO, 0, false}};
  for (const bool exists : {true, false}) {
    for (const auto& [kind, err, skip, shortWrite] : faults) {
      SCOPED_TRACE(testing::Message() << kind << " " << exists);
      unlink(U8(P(L"w.ini")).c_str());
      if (exists) WriteAll(P(L"w.ini"), before);
      if (shortWrite) SEAM_ShortNext(SYSCALL_WRITE, 3);
      SEAM_FailNext(kind, err, skip);
      EXPECT_FALSE(WritePrivateProfileStringW(L"S", L"a", L"22", P(L"w.ini").c_str()));
      SEAM_ClearFaults();
      EXPECT_EQ(std::filesystem::exists(U8(P(L"w.ini"))), exists);
      EXPECT_EQ(exists ? ReadAll(P(L"w.ini")) : before, before);
      EXPECT_EQ(files(), exists ? 1 : 0) << "no temporary file is left";
    }
  }
  // A replaced file keeps its mode; a link keeps pointing at it.
  WriteAll(P(L"w.ini"), before);
  ASSERT_EQ(chmod(U8(P(L"w.ini")).c_str(), 0640), 0);
  std::filesystem::create_symlink("w.ini", U8(P(L"link.ini")));
  EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"a", L"22", P(L"link.ini").c_str()));
  EXPECT_EQ(ReadAll(P(L"w.ini")), "[S]\na = 22\nb = 2\n[T]\nc = 3\n");
  EXPECT_TRUE(std::filesystem::is_symlink(U8(P(L"link.ini"))));
  struct stat st;
  ASSERT_EQ(stat(U8(P(L"w.ini")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(Profile, UTF16FileKeepsItsFormAndCharactersAboveTheBasicPlane) {
  const std::wstring value = L"\U0001F600 \u00e9t\u00e9";
  WriteAll(P(L"u.ini"), UTF16(u"[S]\nk = 1\n"));
  EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"k", value.c_str(), P(L"u.ini").c_str()) &&
              WritePrivateProfileStringW(L"\u00c9", L"k2", L"2", P(L"u.ini").c_str()));
  EXPECT_EQ(ReadAll(P(L"u.ini")), UTF16(u"[S]\nk = \U0001F600 \u00e9t\u00e9\n[\u00c9]\nk2 = 2\n"));
  wchar_t buffer[20];
  EXPECT_TRUE(GetPrivateProfileStringW(L"S", L"k", L"", buffer, 20, P(L"u.ini").c_str()) == 5 && buffer == value);
  char narrow[20];
  EXPECT_TRUE(GetPrivateProfileStringA("S", "k", "", narrow, 20, U8(P(L"u.ini")).c_str()) == 5 &&
              strcmp(narrow, "? \xE9t\xE9") == 0);
}

TEST_F(Profile, PerUserFileLivesInTheHomeAndPathsThatDoNotFitAreRefused) {
  EXPECT_EQ(GetProfileInt(L"S", L"n", 7), 7);
  EXPECT_TRUE(WriteProfileString(L"S", L"n", L"42") && WritePrivateProfileStringW(L"S", L"k", L"v", L"plain.ini"));
  EXPECT_EQ(GetProfileInt(L"S", L"n", 7), 42);
  EXPECT_EQ(ReadAll(P(L".MVX.conf")) + ReadAll(P(L"plain.ini")), "[S]\nn = 42\n[S]\nk = v\n");
  PROFILE_SetHomeForTests((L"/" + std::wstring(250, L'h')).c_str());
  wchar_t path[261];
  EXPECT_TRUE(!bGetMVXCONFPath(path) && path[0] == 0 && !__PrivateProfilePatchName(L"name-too-long", path));
  EXPECT_FALSE(WriteProfileString(L"S", L"n", L"1"));
  EXPECT_EQ(GetProfileInt(L"S", L"n", 7), 7);
  EXPECT_TRUE(__PrivateProfilePatchName(L"x\\y.ini", path));
  EXPECT_EQ(std::wstring(path), L"x/y.ini");
}

TEST_F(Profile, LineReadersGrowTheirBufferAndCountBytes) {
  WriteAll(P(L"l.txt"), std::string(300, 'x') + "\nab\nc");
  FILE* f = fopen(U8(P(L"l.txt")).c_str(), "r");
  char* line = nullptr;
  unsigned int bytes = 0;
  for (const int n : {301, 3, 1, -1}) EXPECT_EQ(STRG_nGetLine<char>(&line, &bytes, f), n);
  EXPECT_TRUE(strcmp(line, "") == 0 && bytes >= 302);
  free(line);
  fclose(f);
  WriteAll(P(L"w.txt"), UTF16(u"a\U0001F600\n"));
  f = fopen(U8(P(L"w.txt")).c_str(), "r");
  wchar_t* wide = nullptr;
  EXPECT_TRUE(bFichierUnicode(f));
  EXPECT_EQ(STRG_nGetLineUTF16(&wide, &bytes, f), 8);
  EXPECT_EQ(std::wstring(wide), L"a\xD83D\xDE00\n");
  fseek(f, 2, SEEK_SET);
  EXPECT_TRUE(!bFichierUnicode(f) && ftell(f) == 2);
  free(wide);
  fclose(f);
}

}  // namespace

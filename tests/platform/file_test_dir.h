// Test support of the file-layer tests: a fresh directory with a non-ASCII name under the
// temporary directory, removed with its contents afterwards, wide <-> UTF-8 for the tests' own
// checks, and the check that an error object holds a raised failure.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/utf.h"
#include "platform/syscall_seam.h"
#include "platform/xerror.h"

inline std::string U8(const std::wstring& w) {
  std::string s(w.size() * 4 + 1, '\0');
  return s.substr(0, static_cast<size_t>(nWideToUTF8(s.data(), static_cast<int>(s.size()), w.c_str(), -1) - 1));
}

inline std::wstring Wide(const std::string& s) {
  std::wstring w(s.size() + 1, L'\0');
  return w.substr(0, static_cast<size_t>(nUTF8ToWide(w.data(), static_cast<int>(w.size()), s.c_str(), -1) - 1));
}

template <typename T>
std::string Bytes(const std::basic_string<T>& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(T));
}

inline std::string ReadAll(const std::wstring& path) {
  std::ifstream in(U8(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::wstring& path, const std::string& bytes) {
  std::ofstream(U8(path), std::ios::binary) << bytes;
}

// Accents, CJK and a character above U+FFFF in every directory the tests make.
class CFileTestDir : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string base = tmp != nullptr && *tmp != 0 ? tmp : "/tmp";
    std::string templ = base + "/qx_été_文件_\xF0\x9F\x98\x80_XXXXXX";
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    m_dir = Wide(templ);
    m_pszCwd = getcwd(nullptr, 0);
  }
  void TearDown() override {
    SEAM_ClearFaults();
    EXPECT_EQ(chdir(m_pszCwd), 0);
    free(m_pszCwd);
    std::error_code ec;
    std::filesystem::remove_all(U8(m_dir), ec);
  }
  // The directory's path followed by "/" and name.
  std::wstring P(const std::wstring& name) const { return m_dir + L"/" + name; }

  std::wstring m_dir;
  char* m_pszCwd = nullptr;  // restored afterwards
};

// A failure left level 3, the system code, the resource text holding the name and EIT_SRCFILE.
inline void ExpectRaised(const CXError* e, unsigned int id, unsigned int systemCode, const std::wstring& name,
                         const char* where) {
  SCOPED_TRACE(where);
  EXPECT_EQ(e->eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(e->dwGetSystemErrorCode(), systemCode);
  ASSERT_GE(e->nNumErrorId(), 1);
  EXPECT_EQ(e->nGetErrorId(0), id);
  if (name.empty()) return;  // texts without a name
  EXPECT_NE(std::wstring(e->pszGetUserMessage()).find(L"<" + name + L">"), std::wstring::npos)
      << U8(e->pszGetUserMessage());
  const void* item = nullptr;
  ASSERT_TRUE(e->bGetInfo(EIT_SRCFILE, &item));
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(item)), name);
}
